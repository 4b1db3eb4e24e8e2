#include "render/scene/KR_SceneManager.h"
#include "audio/KA_AudioResourceManager.h"
#include "framework/files/KU_XmlUtilities.h"
#include "platform/crt/CrtControl.h"
#include "render/camera/KR_ControllerCamera.h"
#include "tests/render/scene/SceneManagerTestRig.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

using scenetest::RecordingScene;
using scenetest::Rig;

constexpr double SPEED = 13.0 / 12.0;

void PressKey(KR_SceneManager& scenes, std::uint64_t uiKey, bool bDown = true)
{
    scenes.Receive(KE_MT_Keyboard, bDown ? KE_MST_KeyDown : KE_MST_KeyUp, &uiKey);
}

// Three back-to-back scenes of the default 10 s, playing from clock 0.
class KR_SceneManagerClock : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* pName : {"A", "B", "C"})
            m_Scenes.AddScene(new RecordingScene(m_Rig.m_Log, pName));
        m_Scenes.StartPlayback();
    }
    KA_AudioResourceManager* Audio() { return m_Rig.m_AudioContexts.GetAudioResourceManager(); }
    void FrameAt(long iMilliseconds)
    {
        CrtControl::SetClock(iMilliseconds);
        m_Scenes.UpdateClock();
    }

    Rig m_Rig;
    KR_SceneManager m_Scenes;
};

TEST_F(KR_SceneManagerClock, PlayingRunsThirteenTwelfthsOfTheWallClock)
{
    EXPECT_TRUE(m_Scenes.IsPlaying());
    EXPECT_FALSE(Audio()->IsPaused());
    FrameAt(12000);
    EXPECT_DOUBLE_EQ(m_Scenes.GetSynchonizationTime(), 13.0);
    EXPECT_DOUBLE_EQ(m_Scenes.GetElapsedTime(), 13.0);
    EXPECT_EQ(m_Scenes.GetCurrentScene(), m_Scenes.GetAllScenes()[1]);
}

TEST_F(KR_SceneManagerClock, PauseAndResumeKeepTheTimeContinuous)
{
    FrameAt(2000);
    m_Scenes.Pause();
    EXPECT_TRUE(Audio()->IsPaused());
    FrameAt(7000);
    EXPECT_DOUBLE_EQ(m_Scenes.GetSynchonizationTime(), 2.0 * SPEED);
    CrtControl::SetClock(7000);
    m_Scenes.Resume();
    EXPECT_FALSE(Audio()->IsPaused());
    // At once, not only after the next frame: the music resumes at this time.
    EXPECT_NEAR(m_Scenes.GetSynchonizationTime(), 2.0 * SPEED, 1e-9);
    FrameAt(8000);
    EXPECT_NEAR(m_Scenes.GetSynchonizationTime(), 3.0 * SPEED, 1e-9);
}

TEST_F(KR_SceneManagerClock, SteppingMovesTheHeldClockAndStopsWithTheKey)
{
    m_Scenes.Pause();
    PressKey(m_Scenes, 0x27); // Right
    for (int i = 0; i < 100; ++i)
        m_Scenes.UpdateClock();
    EXPECT_NEAR(m_Scenes.GetSynchonizationTime(), 100 * 0.01 * SPEED, 1e-9);
    PressKey(m_Scenes, 0x27, false);
    PressKey(m_Scenes, 0x25); // Left and Right together cancel
    PressKey(m_Scenes, 0x27);
    m_Scenes.UpdateClock();
    EXPECT_NEAR(m_Scenes.GetSynchonizationTime(), 100 * 0.01 * SPEED, 1e-9);
    PressKey(m_Scenes, 0x27, false);
    for (int i = 0; i < 150; ++i) // back past 0: held at 0
        m_Scenes.UpdateClock();
    EXPECT_DOUBLE_EQ(m_Scenes.GetSynchonizationTime(), 0.0);
}

TEST_F(KR_SceneManagerClock, AStepPressedAndReleasedBeforeTheNextFrameStepsOnce)
{
    // A terminal reports no releases: each key arrives pressed and released at once.
    m_Scenes.Pause();
    PressKey(m_Scenes, 0x27);
    PressKey(m_Scenes, 0x27, false);
    m_Scenes.UpdateClock();
    m_Scenes.UpdateClock();
    EXPECT_NEAR(m_Scenes.GetSynchonizationTime(), 0.01 * SPEED, 1e-9);
    KE_ControllerButtonData button = {0, 1}; // step forward
    m_Scenes.Receive(KE_MT_Controller, KE_MST_ButtonDown, &button);
    m_Scenes.Receive(KE_MT_Controller, KE_MST_ButtonUp, &button);
    m_Scenes.UpdateClock();
    EXPECT_NEAR(m_Scenes.GetSynchonizationTime(), 0.02 * SPEED, 1e-9);
    PressKey(m_Scenes, 0x25);
    PressKey(m_Scenes, 0x25, false);
    m_Scenes.UpdateClock();
    m_Scenes.UpdateClock();
    EXPECT_NEAR(m_Scenes.GetSynchonizationTime(), 0.01 * SPEED, 1e-9);
}

TEST_F(KR_SceneManagerClock, SeeksStayOnTheTimelineAndTheHeldEndIsJustBeforeIt)
{
    m_Scenes.SetSynchronizationTime(-5.0);
    EXPECT_DOUBLE_EQ(m_Scenes.GetSynchonizationTime(), 0.0);
    EXPECT_TRUE(m_Scenes.IsResynchronizationPending());
    m_Scenes.UpdateClock();
    EXPECT_FALSE(m_Scenes.IsResynchronizationPending());
    EXPECT_FALSE(Audio()->IsPaused()); // the music was re-positioned, and plays on in Demo

    m_Scenes.Pause();
    m_Scenes.SetSynchronizationTime(100.0);
    EXPECT_NEAR(m_Scenes.GetSynchonizationTime(), 30.0, 1e-9);
    PressKey(m_Scenes, 0x27); // stepping beyond the end while held
    m_Scenes.UpdateClock();
    PressKey(m_Scenes, 0x27, false);
    EXPECT_NEAR(m_Scenes.GetSynchonizationTime(), 30.0 - 0.001 * SPEED, 1e-9);
    EXPECT_EQ(m_Scenes.GetCurrentScene(), m_Scenes.GetAllScenes()[2]);
}

TEST(KR_SceneManagerModes, DemoEditDemoAfterTheHandOverResumesWhereTheClockWasHeld)
{
    Rig rig;
    KR_SceneManager scenes;
    scenes.AddScene(new RecordingScene(rig.m_Log, "A"));
    scenes.Start();
    rig.RunUntilLoaded(scenes);
    CrtControl::SetClock(1000);
    scenes.UpdateClock();
    PressKey(scenes, 0x72); // F3
    EXPECT_EQ(scenes.GetCameraMode(), KR_SCM_Edit);
    EXPECT_FALSE(scenes.IsPlaying());
    EXPECT_TRUE(rig.m_AudioContexts.GetAudioResourceManager()->IsPaused());
    EXPECT_TRUE(scenes.GetControllerCamera()->IsControllerRegistered());
    EXPECT_TRUE(scenes.GetControllerCamera()->IsActive());
    EXPECT_FALSE(scenes.IsTimelineRunning());
    EXPECT_TRUE(scenes.IsEditorCameraMode());
    EXPECT_TRUE(scenes.IsCursorVisible());
    CrtControl::SetClock(4000);
    scenes.UpdateClock();
    EXPECT_NEAR(scenes.GetSynchonizationTime(), SPEED, 1e-9);
    PressKey(scenes, 0x70); // F1
    EXPECT_FALSE(scenes.GetControllerCamera()->IsControllerRegistered());
    EXPECT_FALSE(scenes.GetControllerCamera()->IsActive());
    EXPECT_TRUE(scenes.IsPlaying());
    EXPECT_FALSE(rig.m_AudioContexts.GetAudioResourceManager()->IsPaused());
    scenes.UpdateClock();
    EXPECT_NEAR(scenes.GetSynchonizationTime(), SPEED, 1e-9);
    // Button 4 walks the modes; Edit -> Roam -> Demo.
    KE_ControllerButtonData button = {0, 4};
    scenes.Receive(KE_MT_Controller, KE_MST_ButtonDown, &button);
    EXPECT_EQ(scenes.GetCameraMode(), KR_SCM_Rail);
    button.device = 1; // only controller 0 acts
    scenes.Receive(KE_MT_Controller, KE_MST_ButtonDown, &button);
    EXPECT_EQ(scenes.GetCameraMode(), KR_SCM_Rail);
    scenes.Shutdown();
}

TEST(KR_SceneManagerModes, WithoutSynchronisedTimeScenesKeepTheirTimesAndTheTimelineStays)
{
    Rig rig(false);
    KR_SceneManager scenes;
    auto* pScene = new RecordingScene(rig.m_Log, "A");
    pScene->SetStartTime(-2.0);
    pScene->SetEndTime(3.0);
    scenes.AddScene(pScene);
    EXPECT_DOUBLE_EQ(pScene->GetStartTime(), -2.0);
    EXPECT_DOUBLE_EQ(scenes.GetTimelineStart(), -2.0);
    EXPECT_DOUBLE_EQ(scenes.GetTimelineEnd(), 3.0);
    scenes.StartPlayback();
    CrtControl::SetClock(5000);
    scenes.UpdateClock();
    EXPECT_DOUBLE_EQ(scenes.GetSynchonizationTime(), 0.0);
    EXPECT_TRUE(scenes.IsEditorCameraMode());
    EXPECT_TRUE(scenes.IsTimelineRunning());
}

TEST(KR_SceneManagerScenes, ConfigurationTimesTheScenesBackToBack)
{
    Rig rig;
    rig.m_pRepository->SetFile(
        "Assets/sceneconfig.xml",
        "<scene><duration>10</duration><far_distance>0.05</far_distance></scene>"
        "<scene><duration>20</duration></scene>"
        "<scene><duration>5</duration><far_distance_tools>100</far_distance_tools></scene>");
    KR_SceneManager scenes;
    scenes.LoadSceneConfig();
    ASSERT_EQ(scenes.GetSceneConfig().GetNumMembers(), 3u);
    for (const char* pName : {"A", "B", "C", "D"})
        scenes.AddScene(new RecordingScene(rig.m_Log, pName));
    scenes.AddScene(nullptr);
    const double afStarts[4] = {0.0, 10.0, 30.0, 35.0};
    const double afEnds[4] = {10.0, 30.0, 35.0, 45.0}; // the fourth has the default entry
    for (std::uint32_t i = 0; i < 4; ++i)
    {
        EXPECT_DOUBLE_EQ(scenes.GetAllScenes()[i]->GetStartTime(), afStarts[i]);
        EXPECT_DOUBLE_EQ(scenes.GetAllScenes()[i]->GetEndTime(), afEnds[i]);
    }
    EXPECT_DOUBLE_EQ(scenes.GetTimelineStart(), 0.0);
    EXPECT_DOUBLE_EQ(scenes.GetTimelineEnd(), 45.0);
    EXPECT_FLOAT_EQ(scenes.GetAllScenes()[0]->GetNearFarPlanes().y, 0.1f);
    EXPECT_FLOAT_EQ(scenes.GetAllScenes()[2]->GetEditorNearFarPlanes().y, 200.0f);
    // The editor pair takes the configured near plane.
    EXPECT_FLOAT_EQ(scenes.GetAllScenes()[3]->GetEditorNearFarPlanes().x, 0.1f);
}

TEST(KR_SceneManagerScenes, MissingOrBrokenConfigurationLeavesTheDefaults)
{
    Rig rig;
    KR_SceneManager scenes;
    scenes.LoadSceneConfig();
    EXPECT_EQ(scenes.GetSceneConfig().GetNumMembers(), 0u);
    // Cut short, text the parser stops reading at between two scenes, and an internal subset that
    // declares an entity, which the parser does not read.
    for (const char* pText :
         {"<scene><duration>3</duration>",
          "<scene><duration>3</duration></scene>x<scene><duration>4</duration></scene>",
          "<!DOCTYPE scenes [ <!ENTITY d \"3\"> ]><scene><duration>&d;</duration></scene>"})
    {
        rig.m_pRepository->SetFile("Assets/sceneconfig.xml", pText);
        scenes.LoadSceneConfig();
        EXPECT_EQ(scenes.GetSceneConfig().GetNumMembers(), 0u) << pText;
    }
    // An element of more attributes than XML loading reads.
    const auto withAttributes = [](int iCount)
    {
        std::string sText = "<scene";
        for (int i = 0; i < iCount; ++i)
            sText += " x" + std::to_string(i) + "=\"0\"";
        return sText + "><duration>3</duration></scene>";
    };
    for (int iCount : {KU_XmlUtilities::MAX_ELEMENT_ATTRIBUTES + 1, 200000})
    {
        rig.m_pRepository->SetFile("Assets/sceneconfig.xml", withAttributes(iCount));
        scenes.LoadSceneConfig();
        EXPECT_EQ(scenes.GetSceneConfig().GetNumMembers(), 0u) << iCount;
    }
    scenes.AddScene(new RecordingScene(rig.m_Log, "A"));
    EXPECT_DOUBLE_EQ(scenes.GetTimelineEnd(), 10.0);

    rig.m_pRepository->SetFile("Assets/sceneconfig.xml",
                               withAttributes(KU_XmlUtilities::MAX_ELEMENT_ATTRIBUTES));
    KR_SceneManager atTheLimit;
    atTheLimit.LoadSceneConfig();
    ASSERT_EQ(atTheLimit.GetSceneConfig().GetNumMembers(), 1u);
    EXPECT_DOUBLE_EQ(atTheLimit.GetSceneConfig()[0].fDuration, 3.0);
}

TEST(KR_SceneManagerScenes, ConfigurationAfterAnInternalSubsetThatDeclaresNothingKeepsItsScenes)
{
    Rig rig;
    for (const char* pDoctype :
         {"<!DOCTYPE scenes [ ]>", "<!DOCTYPE scenes [\n]>", "<!DOCTYPE scenes SYSTEM \"scenes.dtd\" [ ]>",
          "<!DOCTYPE scenes [ <!ELEMENT scene ANY> <!-- 2 > 1 --> ]>"})
    {
        rig.m_pRepository->SetFile("Assets/sceneconfig.xml", std::string(pDoctype) +
                                                                 "\n<scene><duration>10</duration></scene>\n"
                                                                 "<scene><duration>20</duration></scene>\n");
        KR_SceneManager scenes;
        scenes.LoadSceneConfig();
        ASSERT_EQ(scenes.GetSceneConfig().GetNumMembers(), 2u) << pDoctype;
        EXPECT_DOUBLE_EQ(scenes.GetSceneConfig()[1].fDuration, 20.0) << pDoctype;
    }
}

TEST(KR_SceneManagerScenes, OverlapsGoToTheLowerIndexAndGapsToNone)
{
    Rig rig;
    KR_SceneManager scenes;
    RecordingScene* pScenes[3] = {new RecordingScene(rig.m_Log, "A"), new RecordingScene(rig.m_Log, "B"),
                                  new RecordingScene(rig.m_Log, "C")};
    for (RecordingScene* pScene : pScenes)
        scenes.AddScene(pScene);
    pScenes[1]->SetStartTime(5.0); // [5, 20) overlaps A's [0, 10)
    pScenes[2]->SetStartTime(25.0);
    pScenes[2]->SetEndTime(30.0); // a gap [20, 25)
    scenes.SetSynchronizationTime(7.0);
    EXPECT_EQ(scenes.GetCurrentScene(), pScenes[0]);
    scenes.SetSynchronizationTime(12.0);
    EXPECT_EQ(scenes.GetCurrentScene(), pScenes[1]);
    scenes.SetSynchronizationTime(22.0);
    EXPECT_EQ(scenes.GetCurrentScene(), nullptr);
    EXPECT_EQ(&scenes.GetSpotLightsForCurrentScene(), &scenes.GetSpotLightsForCurrentScene());
    EXPECT_EQ(scenes.GetAnimatedCamerasForCurrentScene().GetNumMembers(), 0u);
    EXPECT_DOUBLE_EQ(scenes.GetMaxSceneEnd(), 30.0);
}

TEST(KR_SceneManagerScenes, QualityTablesFollowTheDeviceAndFallBackOutsideTheRange)
{
    Rig rig;
    KR_SceneManager scenes;
    const std::uint32_t auiSizes[6] = {32, 48, 64, 96, 128, 32};
    const float afScales[6] = {0.125f, 0.25f, 0.45f, 0.7f, 1.0f, 0.125f};
    const float afQualityScales[6] = {0.1f, 0.25f, 0.55f, 0.8f, 1.0f, 1.0f};
    for (std::uint32_t uiQuality = 0; uiQuality < 6; ++uiQuality)
    {
        rig.m_Device.m_uiQuality = uiQuality;
        std::uint32_t uiSize = 0;
        float fScale = 0.0f;
        scenes.GetQualityResolution(&uiSize, &fScale);
        EXPECT_EQ(uiSize, auiSizes[uiQuality]) << uiQuality;
        EXPECT_FLOAT_EQ(fScale, afScales[uiQuality]) << uiQuality;
        EXPECT_FLOAT_EQ(scenes.GetQualityScale(), afQualityScales[uiQuality]) << uiQuality;
    }
}

TEST(KR_SceneManagerScenes, TogglesAndTheGuideFollowTheirKeys)
{
    Rig rig;
    KR_SceneManager scenes;
    const std::uint64_t auiKeys[6] = {0x59, 0x58, 0x43, 0x47, 0x48, 0x4A}; // Y X C G H J
    for (std::uint32_t i = 0; i < 6; ++i)
    {
        PressKey(scenes, auiKeys[i]);
        EXPECT_TRUE(scenes.IsVisualisationOn(i + 1)) << i;
    }
    EXPECT_FALSE(scenes.IsVisualisationOn(7));
    for (std::uint32_t uiGuide : {1u, 2u, 0u})
    {
        PressKey(scenes, 0x4C);
        EXPECT_EQ(scenes.GetCompositionGuide(), uiGuide);
    }
    PressKey(scenes, 0x74);
    EXPECT_FALSE(scenes.IsEditorTimeHeld());
    // Every key and button message is taken, a null payload too (and ignored); mouse messages not.
    EXPECT_TRUE(scenes.Receive(KE_MT_Keyboard, KE_MST_KeyDown, nullptr));
    EXPECT_TRUE(scenes.Receive(KE_MT_Controller, KE_MST_ButtonDown, nullptr));
    std::uint64_t uiKey = 0x76; // F7: not the manager's
    EXPECT_TRUE(scenes.Receive(KE_MT_Keyboard, KE_MST_KeyDown, &uiKey));
    KE_MouseState mouse = {};
    EXPECT_FALSE(scenes.Receive(KE_MT_Mouse, KE_MST_MouseMove, &mouse));
}

} // namespace
