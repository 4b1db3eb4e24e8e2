#include "framework/threads/KT_ThreadPool.h"
#include "platform/crt/CrtControl.h"
#include "render/camera/KR_ControllerCamera.h"
#include "render/scene/KR_SceneManager.h"
#include "tests/render/scene/SceneManagerTestRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace
{

using scenetest::RecordingScene;
using scenetest::Rig;

void PressKey(KR_SceneManager& scenes, std::uint64_t uiKey)
{
    scenes.Receive(KE_MT_Keyboard, KE_MST_KeyDown, &uiKey);
}

// Holds a scene's PreLoad (on the load job's worker) until opened.
class Gate
{
public:
    void Hold()
    {
        m_bEntered = true;
        while (!m_bOpen)
            std::this_thread::yield();
    }
    void WaitUntilEntered() const
    {
        while (!m_bEntered)
            std::this_thread::yield();
    }
    void Open() { m_bOpen = true; }

private:
    std::atomic<bool> m_bEntered{false};
    std::atomic<bool> m_bOpen{false};
};

TEST(KR_SceneManagerLoading, StartShowsTheLoaderAndTheJobRunsItsStepsInOrder)
{
    Rig rig;
    KR_SceneManager scenes;
    scenes.AddScene(new RecordingScene(rig.m_Log, "A"));
    scenes.AddScene(new RecordingScene(rig.m_Log, "B"));
    scenes.Start();
    for (KE_MessageType type : {KE_MT_Controller, KE_MT_Keyboard, KE_MT_Mouse})
        EXPECT_EQ(rig.m_Dispatcher.GetReceiverCount(type), 1u);
    ASSERT_NE(scenes.GetControllerCamera(), nullptr);
    EXPECT_FALSE(scenes.IsCursorVisible());
    Rig::WaitForLoadJob(scenes);
    const std::vector<std::string> gExpected = {
        "Device.Clear", "Device.Present", // the first loading frame
        "Particles.CreateResources", "Particles.Reset 0.000000",
        // the job
        "A.PreLoad", "B.PreLoad", "Particles.Initialize", "PostFX.Initialize", "OIT.Initialize",
        "MetaBalls.Initialize", "ShaderCore.Initialize", "Resources.LoadDefaultResources",
        "ShaderCore.CreateResources", "ShaderCore.CreateSizeDependentResources", "A.Load", "B.Load",
        "PostFX.CreateResources", "PostFX.CreateSizeDependentResources", "OIT.CreateResources",
        "OIT.CreateSizeDependentResources", "MetaBalls.CreateResources",
        "MetaBalls.CreateSizeDependentResources", "Resources.BeginLoadingPhase"};
    EXPECT_EQ(rig.m_Log.Take(), gExpected);
    EXPECT_NE(scenes.GetDebugHUD(), nullptr);
    EXPECT_FALSE(scenes.IsLoaded());
    scenes.Shutdown();
    for (KE_MessageType type : {KE_MT_Controller, KE_MT_Keyboard, KE_MT_Mouse})
        EXPECT_EQ(rig.m_Dispatcher.GetReceiverCount(type), 0u);
    EXPECT_EQ(scenes.GetControllerCamera(), nullptr);
    EXPECT_EQ(scenes.GetDebugHUD(), nullptr);
}

TEST(KR_SceneManagerLoading, ProgressCrossesOneThenCubeMapsQueryAndHandOver)
{
    Rig rig;
    KR_SceneManager scenes;
    scenes.AddScene(new RecordingScene(rig.m_Log, "A"));
    scenes.AddScene(new RecordingScene(rig.m_Log, "B"));
    scenes.Start();
    Rig::WaitForLoadJob(scenes);
    rig.m_Log.Take();
    float fShown = scenes.GetShownProgress();
    std::uint32_t uiFrame = 0;
    while (!scenes.IsHandOverQueryIssued() && uiFrame < 1000)
    {
        scenes.UpdateAndRender();
        ++uiFrame;
        EXPECT_GE(scenes.GetShownProgress(), fShown);
        fShown = scenes.GetShownProgress();
    }
    // The first frame sees everything loaded; 55 more take the shown progress past 1.
    EXPECT_EQ(uiFrame, 56u);
    EXPECT_FLOAT_EQ(scenes.GetTargetProgress(), 1.02f);
    EXPECT_GT(fShown, 1.0f);
    EXPECT_EQ(rig.m_Resources.m_uiTexture3DCalls.load(), 56u);
    EXPECT_EQ(rig.m_Log.Filter({"A.", "B."}),
              (std::vector<std::string>{"A.RenderCubeMapsAtLoad", "A.PostLoad", "B.RenderCubeMapsAtLoad",
                                        "B.PostLoad"}));
    EXPECT_FALSE(scenes.IsLoaded());
    EXPECT_FALSE(scenes.IsPlaying());

    CrtControl::SetClock(5000);
    scenes.UpdateAndRender();
    EXPECT_TRUE(scenes.IsLoaded());
    EXPECT_TRUE(scenes.IsPlaying());
    EXPECT_TRUE(scenes.IsLoadJobDone());
    EXPECT_DOUBLE_EQ(scenes.GetElapsedTime(), 0.0);
    scenes.SetCameraMode(KR_SCM_Edit);
    EXPECT_TRUE(scenes.IsCursorVisible());
    scenes.Shutdown();
}

TEST(KR_SceneManagerLoading, HandOverWaitsForTheJobEvenWhenTheResourcesAreDone)
{
    Rig rig;
    Gate gate;
    KR_SceneManager scenes;
    auto* pScene = new RecordingScene(rig.m_Log, "A");
    pScene->m_OnPreLoad = [&gate] { gate.Hold(); };
    scenes.AddScene(pScene);
    rig.m_Resources.m_bPhase = true; // the resource manager answers "finished" from the start
    scenes.Start();
    gate.WaitUntilEntered();
    for (int i = 0; i < 200; ++i)
        scenes.UpdateAndRender();
    EXPECT_FALSE(scenes.IsHandOverQueryIssued());
    EXPECT_FALSE(scenes.IsLoaded());
    EXPECT_FLOAT_EQ(scenes.GetTargetProgress(), 1.0f);
    gate.Open();
    rig.RunUntilLoaded(scenes);
    EXPECT_TRUE(scenes.IsLoaded());
    EXPECT_EQ(rig.m_Log.Filter({"A.Load"}).size(), 1u);
    scenes.Shutdown();
}

TEST(KR_SceneManagerLoading, WhileLoadingOnlyModesTogglesAndStepsAct)
{
    Rig rig;
    Gate gate;
    KR_SceneManager scenes;
    auto* pScene = new RecordingScene(rig.m_Log, "A");
    pScene->m_OnPreLoad = [&gate] { gate.Hold(); };
    scenes.AddScene(pScene);
    scenes.Start();
    gate.WaitUntilEntered();
    PressKey(scenes, 0x71); // F2: Rail
    PressKey(scenes, 0x59); // Y
    PressKey(scenes, 0x4C); // L
    PressKey(scenes, 0x74); // F5
    PressKey(scenes, 0x27); // Right
    // Screenshots, reload, save, jumps and cube maps need loaded scenes: nothing happens.
    for (std::uint64_t uiKey : {0x7Au, 0x08u, 0x0Du, 0x22u, 0x28u, 0x78u})
        PressKey(scenes, uiKey);
    KE_ControllerButtonData button = {0, 12}; // save
    scenes.Receive(KE_MT_Controller, KE_MST_ButtonDown, &button);
    EXPECT_TRUE(rig.m_Log.Filter({"A.PostLoad"}).empty());
    EXPECT_TRUE(rig.m_Log.Filter({"Tools."}).empty());
    EXPECT_EQ(scenes.GetSynchonizationTime(), 0.0);
    EXPECT_EQ(scenes.GetCameraMode(), KR_SCM_Rail);
    EXPECT_TRUE(scenes.GetControllerCamera()->IsControllerRegistered());
    EXPECT_TRUE(scenes.IsVisualisationOn(1));
    EXPECT_EQ(scenes.GetCompositionGuide(), 1u);
    EXPECT_FALSE(scenes.IsEditorTimeHeld());
    EXPECT_TRUE(scenes.IsSteppingForward());
    EXPECT_FALSE(scenes.IsScreenshotPending());
    // The music is not touched while the job may still be loading the audio entities.
    EXPECT_FALSE(scenes.IsPlaying());
    std::uint64_t uiKey = 0x27;
    scenes.Receive(KE_MT_Keyboard, KE_MST_KeyUp, &uiKey);
    gate.Open();
    rig.RunUntilLoaded(scenes);
    // Playback starts in Rail with the clock running.
    EXPECT_EQ(scenes.GetCameraMode(), KR_SCM_Rail);
    EXPECT_TRUE(scenes.IsPlaying());
    CrtControl::AdvanceClock(1200);
    scenes.UpdateAndRender();
    // Right was released before any playback frame ran: it still owed one step, taken now.
    EXPECT_NEAR(scenes.GetSynchonizationTime(), 1.3 + KR_SceneManager::STEP_SECONDS * scenes.GetSpeed(),
                1e-9);
    scenes.Shutdown();
}

TEST(KR_SceneManagerLoading, ShutdownWhileTheJobRunsWaitsForItAndStopsItBetweenSteps)
{
    Rig rig;
    Gate gate;
    auto* pScenes = new KR_SceneManager();
    auto* pScene = new RecordingScene(rig.m_Log, "A");
    pScene->m_OnPreLoad = [&gate] { gate.Hold(); };
    pScenes->AddScene(pScene);
    pScenes->AddScene(new RecordingScene(rig.m_Log, "B"));
    pScenes->Start();
    gate.WaitUntilEntered();
    std::thread opener([&gate] { gate.Open(); });
    pScenes->Shutdown();
    opener.join();
    delete pScenes;
    const std::vector<std::string> gCalls = rig.m_Log.Take();
    const auto itUnload = std::find(gCalls.begin(), gCalls.end(), "A.Unload");
    ASSERT_NE(itUnload, gCalls.end());
    // Nothing of the job comes after the teardown began.
    for (auto it = itUnload; it != gCalls.end(); ++it)
        EXPECT_TRUE(it->find("PreLoad") == std::string::npos && it->find(".Load") == std::string::npos &&
                    it->find("Initialize") == std::string::npos && *it != "Resources.BeginLoadingPhase")
            << *it;
    EXPECT_EQ(std::count(gCalls.begin(), gCalls.end(), "A.~"), 1);
}

TEST(KR_SceneManagerLoading, AJobThatNeverStartedDoesNothingAtShutdown)
{
    Rig rig;
    KT_ThreadPool::DrainAndStop(); // the job stays queued on its future
    KR_SceneManager scenes;
    scenes.AddScene(new RecordingScene(rig.m_Log, "A"));
    scenes.Start();
    EXPECT_FALSE(scenes.IsLoadJobDone());
    scenes.Shutdown();
    EXPECT_TRUE(rig.m_Log.Filter({"A.PreLoad", "A.Load", "PostFX.Initialize"}).empty());
    EXPECT_EQ(rig.m_Log.Filter({"A.Unload", "A.Shutdown"}).size(), 2u);
}

} // namespace
