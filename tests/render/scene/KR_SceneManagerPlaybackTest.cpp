// The scene manager from Start to the end of a timeline of three test scenes, over the software
// Direct3D device (the loading wedge's buffers, the event query that answers after a few polls)
// and the one-worker pool, with the clock moving 16 ms per frame.

#include "platform/crt/CrtControl.h"
#include "platform/d3d11/D3D11Control.h"
#include "render/scene/KR_SceneManager.h"
#include "tests/render/scene/SceneManagerTestRig.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

using scenetest::RecordingScene;
using scenetest::Rig;

TEST(KR_SceneManagerPlayback, ATimelineOfTestScenesPlaysToItsEndAndQuitsOnce)
{
    D3D11Control::Reset();
    ID3D11Device* pDevice = nullptr;
    ID3D11DeviceContext* pContext = nullptr;
    ASSERT_EQ(S_OK, D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0,
                                      D3D11_SDK_VERSION, &pDevice, nullptr, &pContext));
    D3D11Control::SetEventQueryPolls(3);
    {
        Rig rig;
        scenetest::RecordingDevice device(rig.m_Log, pDevice, pContext);
        rig.m_Engine->SetGraphicsDevice(&device);
        rig.m_pRepository->SetFile("Assets/sceneconfig.xml", "<?xml version=\"1.0\"?>\n"
                                                             "<!-- three short scenes -->\n"
                                                             "<scene1><duration>1.5</duration></scene1>\n"
                                                             "<scene2><duration>0.5</duration></scene2>\n"
                                                             "<scene3><duration>1</duration></scene3>\n");
        KR_Camera camera;
        KR_SceneManager scenes;
        scenes.LoadSceneConfig();
        for (const char* pName : {"A", "B", "C"})
        {
            auto* pScene = new RecordingScene(rig.m_Log, pName);
            pScene->m_pCamera = &camera;
            scenes.AddScene(pScene);
        }
        scenes.Start();
        const std::uint32_t uiLoadingFrames = rig.RunUntilLoaded(scenes);
        EXPECT_GT(uiLoadingFrames, 56u);
        EXPECT_EQ(D3D11Control::GetCallCount("CreateQuery"), 1u);
        EXPECT_EQ(D3D11Control::GetCallCount("GetData"), 4u); // three "not yet", then done
        // One wedge buffer per loading frame, none kept.
        EXPECT_GE(D3D11Control::GetCallCount("CreateBuffer"), uiLoadingFrames);
        rig.m_Log.Take();

        long iClock = 0;
        std::uint32_t uiFrames = 0;
        while (rig.m_Quit.m_uiRequests == 0 && uiFrames < 1000)
        {
            iClock += 16;
            CrtControl::SetClock(iClock);
            scenes.UpdateAndRender();
            ++uiFrames;
        }
        EXPECT_EQ(rig.m_Quit.m_uiRequests, 1u);
        // 3 timeline seconds are 2.77 clock seconds.
        EXPECT_EQ(uiFrames, 174u);
        EXPECT_EQ(
            rig.m_Log.Filter({"A.AcquireShadowMaps", "B.AcquireShadowMaps", "C.AcquireShadowMaps"}),
            (std::vector<std::string>{"A.AcquireShadowMaps", "B.AcquireShadowMaps", "C.AcquireShadowMaps"}));
        EXPECT_EQ(rig.m_Log.Filter({"A.Render"}).size() + rig.m_Log.Filter({"B.Render"}).size() +
                      rig.m_Log.Filter({"C.Render"}).size(),
                  uiFrames - 1); // the last frame lies past the last scene
        EXPECT_EQ(scenes.GetCameraMode(), KR_SCM_Rail);
        EXPECT_FALSE(scenes.IsPlaying());
        scenes.Shutdown();
        rig.m_Engine->SetGraphicsDevice(nullptr);
    }
    pContext->ClearState();
    pContext->Release();
    pDevice->Release();
    EXPECT_EQ(D3D11Control::GetLiveObjectCount(), 0u);
    D3D11Control::Reset();
}

} // namespace
