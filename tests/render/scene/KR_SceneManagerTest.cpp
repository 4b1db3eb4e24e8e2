#include "render/scene/KR_SceneManager.h"
#include "framework/app/KE_Dispatcher.h"
#include "framework/app/KE_MessageReceiver.h"
#include "framework/app/KU_ApplicationFactory.h"
#include "framework/files/KF_FileManager.h"
#include "render/device/KR_MaterialManager.h"
#include "render/scene/KR_Scene.h"
#include "tests/support/LibraryFactory.h"
#include "tests/support/MemoryRepository.h"
#include "tests/support/TestEngine.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

class QuitListener : public KE_MessageReceiver
{
public:
    bool Receive(KE_MessageType type, KE_MessageSubType subType, void* pPayload) override
    {
        m_gSubTypes.push_back(subType);
        m_bPayload = m_bPayload || pPayload != nullptr;
        return type == KE_MT_Application;
    }
    std::vector<KE_MessageSubType> m_gSubTypes;
    bool m_bPayload = false;
};

class KR_SceneManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_Engine->SetDispatcher(&m_Dispatcher);
        m_Dispatcher.RegisterReceiver(KE_MT_Application, &m_Listener);
    }

    TestEngine m_Engine;
    KE_Dispatcher m_Dispatcher;
    QuitListener m_Listener;
};

TEST_F(KR_SceneManagerTest, ConstructionRegistersNothingAndFixesTheSpeed)
{
    KR_SceneManager scenes;
    EXPECT_DOUBLE_EQ(scenes.GetInverseSpeed(), 12.0 / 13.0);
    EXPECT_EQ(scenes.GetCameraMode(), KR_SCM_Demo);
    EXPECT_FALSE(scenes.IsPlaying());
    EXPECT_FALSE(scenes.IsCursorVisible());
    for (KE_MessageType type : {KE_MT_Controller, KE_MT_Keyboard, KE_MT_Mouse})
        EXPECT_EQ(m_Dispatcher.GetReceiverCount(type), 0u);
}

TEST_F(KR_SceneManagerTest, StartListensToInputUntilShutdown)
{
    KR_SceneManager scenes;
    scenes.Start();
    for (KE_MessageType type : {KE_MT_Controller, KE_MT_Keyboard, KE_MT_Mouse})
        EXPECT_EQ(m_Dispatcher.GetReceiverCount(type), 1u);
    scenes.Shutdown();
    scenes.Shutdown();
    for (KE_MessageType type : {KE_MT_Controller, KE_MT_Keyboard, KE_MT_Mouse})
        EXPECT_EQ(m_Dispatcher.GetReceiverCount(type), 0u);
}

TEST_F(KR_SceneManagerTest, DestructionWithoutShutdownLeavesNoRegistration)
{
    {
        KR_SceneManager scenes;
        scenes.Start();
    }
    for (KE_MessageType type : {KE_MT_Controller, KE_MT_Keyboard, KE_MT_Mouse})
        EXPECT_EQ(m_Dispatcher.GetReceiverCount(type), 0u);
}

TEST_F(KR_SceneManagerTest, EmptyTimelineEndsOnTheFirstFrameWithOneQuitRequest)
{
    KR_SceneManager scenes;
    scenes.Start();
    scenes.UpdateAndRender();
    EXPECT_EQ(m_Listener.m_gSubTypes, std::vector<KE_MessageSubType>{KE_MST_QuitRequest});
    EXPECT_FALSE(m_Listener.m_bPayload);
    EXPECT_FALSE(scenes.IsPlaying());
    EXPECT_EQ(scenes.GetCameraMode(), KR_SCM_Rail);
    // The cursor is allowed after loading, but shows only in the editor modes.
    EXPECT_FALSE(scenes.IsCursorVisible());

    // A refused quit leaves the clock held: no further request.
    scenes.UpdateAndRender();
    scenes.UpdateAndRender();
    EXPECT_EQ(m_Listener.m_gSubTypes.size(), 1u);
    scenes.Shutdown();
}

TEST(KR_SceneManagerLoading, FirstFrameLoadsTheMaterialLibrary)
{
    TestEngine engine(new LibraryFactory("Assets/Materials/Library.xml"));
    KF_FileManager files;
    auto* pRepository = new MemoryRepository(false); // owned by the file manager
    files.AddRepository(pRepository);
    pRepository->SetFile("Assets/Materials/Library.xml",
                         "<material_library><material id=\"A\"/></material_library>");
    KR_MaterialManager materials;
    engine->SetFileManager(&files);
    engine->SetMaterialManager(&materials);
    KR_SceneManager scenes;
    scenes.UpdateAndRender();
    EXPECT_NE(nullptr, materials.GetMaterial("A"));
    engine->SetMaterialManager(nullptr);
    engine->SetFileManager(nullptr);
}

class TimedScene : public KR_Scene
{
public:
    bool PreLoad() override { return true; }
    void OnResize() override {}
    void RenderModels(double, const DirectX::XMMATRIX*) override {}
    bool Shutdown() override { return true; }
    bool PostLoad() override { return true; }
};

class ClockFactory : public LibraryFactory
{
public:
    explicit ClockFactory(bool bSynchronized) : LibraryFactory(""), m_bSynchronized(bSynchronized) {}
    bool UseSynchronizedTime() override { return m_bSynchronized; }
    bool m_bSynchronized;
};

TEST(KR_SceneManagerScenes, ScenesPlayBackToBackWithDefaultEntries)
{
    TestEngine engine(new ClockFactory(true));
    KR_SceneManager scenes;
    KR_Scene* pScenes[3] = {new TimedScene(), new TimedScene(), new TimedScene()};
    for (KR_Scene* pScene : pScenes)
        scenes.AddScene(pScene); // owned from here
    scenes.AddScene(nullptr);
    ASSERT_EQ(scenes.GetAllScenes().GetNumMembers(), 3u);
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_DOUBLE_EQ(pScenes[i]->GetStartTime(), 10.0 * i);
        EXPECT_DOUBLE_EQ(pScenes[i]->GetEndTime(), 10.0 * (i + 1));
    }
    EXPECT_DOUBLE_EQ(scenes.GetTimelineStart(), 0.0);
    EXPECT_DOUBLE_EQ(scenes.GetTimelineEnd(), 30.0);
    EXPECT_FLOAT_EQ(pScenes[2]->GetNearFarPlanes().x, 0.1f);
    EXPECT_FLOAT_EQ(pScenes[2]->GetEditorNearFarPlanes().y, 500.0f);
}

TEST(KR_SceneManagerScenes, WithoutSynchronisedTimeScenesKeepTheirTimes)
{
    TestEngine engine(new ClockFactory(false));
    KR_SceneManager scenes;
    auto* pScene = new TimedScene();
    pScene->SetStartTime(-2.0);
    pScene->SetEndTime(3.0);
    scenes.AddScene(pScene);
    EXPECT_DOUBLE_EQ(pScene->GetStartTime(), -2.0);
    EXPECT_DOUBLE_EQ(scenes.GetTimelineStart(), -2.0);
    EXPECT_DOUBLE_EQ(scenes.GetTimelineEnd(), 3.0);
}

TEST(KR_SceneManagerScenes, TimelineIsHeldOnlyInTheEditorModesWithSynchronisedTime)
{
    for (const bool bSynchronized : {true, false})
    {
        TestEngine engine(new ClockFactory(bSynchronized));
        KR_SceneManager scenes;
        EXPECT_EQ(scenes.GetControllerCamera(), nullptr);
        for (KR_SceneCameraMode eMode : {KR_SCM_Demo, KR_SCM_Rail, KR_SCM_Edit, KR_SCM_Roam})
        {
            scenes.SetCameraMode(eMode);
            const bool bEditor = eMode == KR_SCM_Edit || eMode == KR_SCM_Roam;
            EXPECT_EQ(scenes.IsTimelineRunning(), !(bSynchronized && bEditor)) << eMode;
            scenes.SetEditorTimeHold(false);
            EXPECT_TRUE(scenes.IsTimelineRunning());
            scenes.SetEditorTimeHold(true);
        }
    }
}

} // namespace
