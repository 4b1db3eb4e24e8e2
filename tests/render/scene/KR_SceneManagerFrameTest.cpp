#include "audio/KA_AudioResourceManager.h"
#include "platform/crt/CrtControl.h"
#include "render/camera/KR_ControllerCamera.h"
#include "render/device/KR_GraphicsContext.h"
#include "render/device/KU_GraphicsContextFactory.h"
#include "render/scene/KR_SceneManager.h"
#include "tests/render/scene/SceneManagerTestRig.h"
#include "tests/support/NullGraphicsContext.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

using scenetest::RecordingScene;
using scenetest::Rig;

void PressKey(KR_SceneManager& scenes, std::uint64_t uiKey)
{
    scenes.Receive(KE_MT_Keyboard, KE_MST_KeyDown, &uiKey);
}

// Two back-to-back scenes of 10 s with a camera, loaded and playing from clock 0.
class KR_SceneManagerFrame : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pA = new RecordingScene(m_Rig.m_Log, "A");
        m_pB = new RecordingScene(m_Rig.m_Log, "B");
        m_pA->m_pCamera = &m_Camera;
        m_pB->m_pCamera = &m_Camera;
        m_Scenes.AddScene(m_pA);
        m_Scenes.AddScene(m_pB);
        m_Scenes.Start();
        m_Rig.RunUntilLoaded(m_Scenes);
        m_Rig.m_Log.Take();
    }
    void TearDown() override { m_Scenes.Shutdown(); }
    std::vector<std::string> FrameAt(long iMilliseconds)
    {
        CrtControl::SetClock(iMilliseconds);
        m_Scenes.UpdateAndRender();
        return m_Rig.m_Log.Take();
    }

    Rig m_Rig;
    KR_Camera m_Camera;
    KR_SceneManager m_Scenes;
    RecordingScene* m_pA = nullptr; // owned by m_Scenes
    RecordingScene* m_pB = nullptr;
};

TEST_F(KR_SceneManagerFrame, APlaybackFrameRunsInTheOverviewsOrder)
{
    const std::vector<std::string> gExpected = {"Tools.UpdateEditorDialogs",
                                                "Particles.Reset 0.000000",
                                                "A.AcquireShadowMaps",
                                                "A.Update", // the light selection's
                                                "A.Update",
                                                "Device.Clear",
                                                "Audio.Listener",
                                                "PostFX.BeginFrame",
                                                "A.Render",
                                                "OIT.Resolve",
                                                "Particles.UpdateAndRender",
                                                "PostFX.EndFrame",
                                                "Device.Present"};
    EXPECT_EQ(FrameAt(0), gExpected);
    // The next frame in the same scene hands nothing over.
    const std::vector<std::string> gCalls = FrameAt(16);
    EXPECT_EQ(gCalls.size(), gExpected.size() - 2);
    EXPECT_EQ(gCalls[1], "A.Update");
}

TEST_F(KR_SceneManagerFrame, CrossingIntoTheNextSceneHandsOverBeforeItsFirstUpdate)
{
    FrameAt(0);
    const std::vector<std::string> gCalls = FrameAt(9300); // 10.075 s
    ASSERT_GE(gCalls.size(), 5u);
    EXPECT_EQ(gCalls[1], "A.ReleaseShadowMaps");
    EXPECT_EQ(gCalls[2].rfind("Particles.Reset 10.07", 0), 0u) << gCalls[2];
    EXPECT_EQ(gCalls[3], "B.AcquireShadowMaps");
    EXPECT_EQ(gCalls[4], "B.Update");
    // Seeking back inside the same scene keeps the particles.
    m_Scenes.SetSynchronizationTime(10.5);
    EXPECT_TRUE(m_Rig.m_Log.Filter({"Particles.Reset"}).empty());
    EXPECT_TRUE(FrameAt(9400).size() > 0 && m_Rig.m_Log.Filter({"Particles.Reset"}).empty());
}

TEST_F(KR_SceneManagerFrame, AGapOnlyClearsBracketsAndPresents)
{
    FrameAt(0);
    m_pB->SetStartTime(12.0); // a gap [10, 12)
    m_Scenes.SetSynchronizationTime(11.0);
    const std::vector<std::string> gCalls = FrameAt(0);
    const std::vector<std::string> gExpected = {
        "Tools.UpdateEditorDialogs", "A.ReleaseShadowMaps", "Particles.Reset 11.000000", "Device.Clear",
        "PostFX.BeginFrame",         "OIT.Resolve",         "PostFX.EndFrame",           "Device.Present"};
    EXPECT_EQ(gCalls, gExpected);
}

class QuitModeListener : public KE_MessageReceiver
{
public:
    explicit QuitModeListener(KR_SceneManager& scenes) : m_Scenes(scenes) {}
    bool Receive(KE_MessageType type, KE_MessageSubType, void*) override
    {
        if (type == KE_MT_Application)
            m_gModes.push_back(m_Scenes.GetCameraMode());
        return true;
    }
    KR_SceneManager& m_Scenes;
    std::vector<KR_SceneCameraMode> m_gModes;
};

TEST(KR_SceneManagerEnd, EveryModeHoldsTheClockAtTheEndSoAQuitIsAskedOnce)
{
    for (KR_SceneCameraMode eMode : {KR_SCM_Demo, KR_SCM_Rail, KR_SCM_Edit, KR_SCM_Roam})
    {
        Rig rig;
        KR_SceneManager scenes;
        QuitModeListener listener(scenes);
        rig.m_Dispatcher.RegisterReceiver(KE_MT_Application, &listener);
        scenes.AddScene(new RecordingScene(rig.m_Log, "A"));
        scenes.Start();
        // Chosen during loading: playback then starts in that mode with the clock running.
        PressKey(scenes, 0x70 + eMode);
        rig.RunUntilLoaded(scenes);
        ASSERT_TRUE(scenes.IsPlaying()) << eMode;
        CrtControl::SetClock(9000); // 9.75 s
        scenes.UpdateAndRender();
        EXPECT_EQ(rig.m_Quit.m_uiRequests, 0u);
        CrtControl::SetClock(9300); // 10.075 s: the end
        scenes.UpdateAndRender();
        // The application refused (nothing quits here): further frames ask no more.
        for (long iClock : {9400L, 12000L, 30000L})
        {
            CrtControl::SetClock(iClock);
            scenes.UpdateAndRender();
        }
        EXPECT_EQ(rig.m_Quit.m_uiRequests, 1u) << eMode;
        ASSERT_EQ(listener.m_gModes.size(), 1u);
        EXPECT_EQ(listener.m_gModes[0], KR_SCM_Rail) << eMode;
        EXPECT_FALSE(scenes.IsPlaying());
        EXPECT_TRUE(rig.m_AudioContexts.GetAudioResourceManager()->IsPaused());
        EXPECT_LT(scenes.GetSynchonizationTime(), 10.08);
        scenes.Shutdown();
        rig.m_Dispatcher.UnRegisterReceiver(KE_MT_Application, &listener);
    }
}

TEST(KR_SceneManagerResize, LoadingResizesTheRenderersButLeavesTheScenesToTheJob)
{
    Rig rig;
    KR_SceneManager scenes;
    scenes.AddScene(new RecordingScene(rig.m_Log, "A"));
    scenes.Start();
    rig.m_Device.SetAspectRatio(2.0f);
    scenes.OnResize();
    EXPECT_FLOAT_EQ(scenes.GetControllerCamera()->GetAspectRatio(), 2.0f);
    Rig::WaitForLoadJob(scenes);
    EXPECT_TRUE(rig.m_Log.Filter({"A.OnResize"}).empty());
    EXPECT_EQ(rig.m_Log.Filter({"ShaderCore.CreateSizeDependentResources"}).size(), 2u); // OnResize, job
    rig.RunUntilLoaded(scenes);
    rig.m_Log.Take();
    rig.m_Device.SetAspectRatio(0.5f);
    scenes.OnResize();
    EXPECT_EQ(rig.m_Log.Take(), (std::vector<std::string>{
                                    "PostFX.CreateSizeDependentResources", "OIT.CreateSizeDependentResources",
                                    "MetaBalls.CreateSizeDependentResources",
                                    "ShaderCore.CreateSizeDependentResources", "A.OnResize"}));
    EXPECT_FLOAT_EQ(scenes.GetControllerCamera()->GetAspectRatio(), 0.5f);
    scenes.Shutdown();
}

TEST_F(KR_SceneManagerFrame, ScreenshotsSkipNamesOnDiskAndTheEnlargedOneRestoresSizeAndClock)
{
    m_Rig.m_pRepository->SetFile("../Source/Screenshot/KV-27_Screenshot00001.png", "png");
    FrameAt(0);
    for (const char* pNumber : {"00002", "00003"})
    {
        PressKey(m_Scenes, 0x7A); // F11
        const std::vector<std::string> gCalls = FrameAt(100);
        EXPECT_EQ(gCalls[1], std::string("PostFX.EnableEffect 7 ../Source/Screenshot/KV-27_Screenshot") +
                                 pNumber + ".png");
        EXPECT_TRUE(m_Scenes.IsPlaying()); // a normal screenshot leaves the clock alone
        EXPECT_FALSE(m_Scenes.IsScreenshotPending());
    }

    const double fBefore = m_Scenes.GetSynchonizationTime();
    PressKey(m_Scenes, 0x7B); // F12 at 16:9, 1280 x 720
    EXPECT_FALSE(m_Scenes.IsPlaying());
    EXPECT_EQ(m_Rig.m_Contexts.GetSelectedScreenResolution().m_uiWidth, 7680u);
    EXPECT_EQ(m_Rig.m_Contexts.GetSelectedScreenResolution().m_uiHeight, 4320u);
    EXPECT_EQ(m_Rig.m_Log.Filter({"PostFX.CreateSizeDependentResources"}).size(), 1u);
    m_Rig.m_Log.Take();
    const std::vector<std::string> gCalls = FrameAt(5000); // the clock is held for this frame
    EXPECT_EQ(gCalls[1], "PostFX.EnableEffect 7 ../Source/Screenshot/KV-27_Screenshot00004.png");
    EXPECT_EQ(m_Rig.m_Contexts.GetSelectedScreenResolution().m_uiWidth, 1280u);
    EXPECT_EQ(m_Rig.m_Contexts.GetSelectedScreenResolution().m_uiHeight, 720u);
    EXPECT_TRUE(m_Scenes.IsPlaying());
    EXPECT_NEAR(m_Scenes.GetSynchonizationTime(), fBefore, 1e-9);
    FrameAt(5120);
    EXPECT_NEAR(m_Scenes.GetSynchonizationTime(), fBefore + 0.13, 1e-9);

    // Held by the user in Rail, the clock stays held after the screenshot.
    PressKey(m_Scenes, 0x71);
    PressKey(m_Scenes, 0x7B);
    FrameAt(6000);
    EXPECT_FALSE(m_Scenes.IsPlaying());
}

// Gives the rig's device every size the context manager applies, as the real context resizes
// the swap chain: the device then reports that size and its aspect ratio.
class ResizingContext : public NullGraphicsContext
{
public:
    explicit ResizingContext(scenetest::RecordingDevice& device) : m_Device(device) {}
    KB_String GetName() override { return KB_String("Resizing"); }
    bool ApplyScreenResolution(KR_ScreenResolution* pResolution) override
    {
        m_Device.m_uiWidth = pResolution->m_uiWidth;
        m_Device.m_uiHeight = pResolution->m_uiHeight;
        m_Device.SetAspectRatio(static_cast<float>(pResolution->m_uiWidth) /
                                static_cast<float>(pResolution->m_uiHeight));
        return true;
    }

private:
    scenetest::RecordingDevice& m_Device;
};

class ResizingContextFactory : public KU_GraphicsContextFactory
{
public:
    explicit ResizingContextFactory(scenetest::RecordingDevice& device) : m_Device(device) {}
    KR_GraphicsContext* CreateGraphicsContext() override { return new ResizingContext(m_Device); }

private:
    scenetest::RecordingDevice& m_Device;
};

TEST_F(KR_SceneManagerFrame, ASecondScreenshotKeyBeforeTheFrameLeavesTheWindowSizeToRestore)
{
    ResizingContextFactory factory(m_Rig.m_Device);
    KB_GrowingArray<KU_GraphicsContextFactory*> gFactories;
    gFactories.Add(&factory);
    m_Rig.m_Contexts.CreateGraphicsContexts(gFactories);
    FrameAt(0);
    long iClock = 100;
    // Key repeat, or F11 right after F12, while the main loop drains its messages.
    for (std::uint64_t uiSecondKey : {0x7Bu, 0x7Au})
    {
        const char* pCase = uiSecondKey == 0x7B ? "F12, F12" : "F12, F11";
        m_Rig.m_Contexts.SetScreenResolution(1280, 720);
        ASSERT_EQ(m_Rig.m_Device.GetWidth(), 1280u);
        PressKey(m_Scenes, 0x7B);
        ASSERT_EQ(m_Rig.m_Device.GetWidth(), 7680u);
        ASSERT_EQ(m_Rig.m_Device.GetHeight(), 4320u);
        PressKey(m_Scenes, uiSecondKey);
        FrameAt(iClock);
        iClock += 100;
        EXPECT_FALSE(m_Scenes.IsScreenshotPending());
        EXPECT_EQ(m_Rig.m_Contexts.GetSelectedScreenResolution().m_uiWidth, 1280u) << pCase;
        EXPECT_EQ(m_Rig.m_Contexts.GetSelectedScreenResolution().m_uiHeight, 720u) << pCase;
        EXPECT_EQ(m_Rig.m_Device.GetWidth(), 1280u) << pCase;
        EXPECT_EQ(m_Rig.m_Device.GetHeight(), 720u) << pCase;
        EXPECT_TRUE(m_Scenes.IsPlaying()) << pCase;
    }
}

} // namespace
