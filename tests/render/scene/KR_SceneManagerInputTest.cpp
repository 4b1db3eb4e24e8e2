// The developer input of the scene manager, driven through Receive with key and button messages
// as the input manager sends them, against three loaded test scenes of 10 s each.

#include "audio/KA_AudioEditorObjects.h"
#include "audio/KA_AudioEntity.h"
#include "audio/KA_AudioResourceManager.h"
#include "framework/app/KE_Dispatcher.h"
#include "platform/crt/CrtControl.h"
#include "render/camera/KR_AnimatedCamera.h"
#include "render/camera/KR_ControllerCamera.h"
#include "render/debug/KR_Ray.h"
#include "render/scene/KR_SceneManager.h"
#include "tests/render/scene/SceneManagerTestRig.h"
#include "timing/KB_LinearInterpolation.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <string>
#include <vector>

using namespace DirectX;

namespace
{

using scenetest::CallLog;
using scenetest::RecordingScene;
using scenetest::Rig;

constexpr double SPEED = 13.0 / 12.0;

// Logs the editor operations and the entity passes (which still run the scene's own code), and
// answers a scripted pick distance.
class InputScene : public RecordingScene
{
public:
    InputScene(CallLog& log, const char* pName) : RecordingScene(log, pName), m_Log(log), m_sName(pName) {}
    float GetPickDistance(double, const KR_Ray&) override { return m_fPickDistance; }
    void SelectPicked(double, const KR_Ray&) override { m_Log.Add(m_sName + ".SelectPicked"); }
    void PickGizmoOfSelection(double, const KR_Ray&, bool bDragging) override
    {
        m_Log.Add(m_sName + ".PickGizmo " + (bDragging ? "drag" : "end"));
    }
    void MoveSelectedKeyTo(double, const XMVECTOR* pPosition) override
    {
        m_Log.Add(m_sName + ".MoveSelectedKeyTo " + std::to_string(XMVectorGetX(*pPosition)));
    }
    void RenderAllCubeMaps() override { m_Log.Add(m_sName + ".RenderAllCubeMaps"); }
    bool SaveAllEntities() override
    {
        m_Log.Add(m_sName + ".SaveAllEntities");
        return KR_Scene::SaveAllEntities();
    }
    bool ReloadAllEntities() override
    {
        m_Log.Add(m_sName + ".ReloadAllEntities");
        return KR_Scene::ReloadAllEntities();
    }

    float m_fPickDistance = FLT_MAX;

private:
    CallLog& m_Log;
    std::string m_sName;
};

class EditorCommandLog : public KE_MessageReceiver
{
public:
    bool Receive(KE_MessageType type, KE_MessageSubType subType, void*) override
    {
        if (type == KE_MT_EditorCommand)
            m_gSubTypes.push_back(subType);
        return true;
    }
    std::vector<KE_MessageSubType> m_gSubTypes;
};

// Markers hit at a scripted distance; the gizmo follows the ray's origin while dragged.
class ScriptedAudioEditorObjects : public KA_AudioEditorObjects
{
public:
    KR_DebugPolyhedron* CreateMarker(const XMFLOAT4&) override
    {
        return reinterpret_cast<KR_DebugPolyhedron*>(&m_iMarker);
    }
    void DeleteMarker(KR_DebugPolyhedron*) override {}
    void SetMarkerColor(KR_DebugPolyhedron*, const XMFLOAT4&) override {}
    void SetMarkerWorldMatrix(KR_DebugPolyhedron*, const XMMATRIX&) override {}
    void RenderMarker(KR_DebugPolyhedron*, const XMMATRIX&) override {}
    float GetMarkerPickDistance(KR_DebugPolyhedron*, const XMVECTOR&, const XMVECTOR&) override
    {
        return m_fDistance;
    }
    KR_TranslateGizmo* CreateGizmo() override { return reinterpret_cast<KR_TranslateGizmo*>(&m_iGizmo); }
    void DeleteGizmo(KR_TranslateGizmo*) override {}
    void SetGizmoWorldMatrix(KR_TranslateGizmo*, const XMMATRIX&) override {}
    void RenderGizmo(KR_TranslateGizmo*, const XMMATRIX&) override {}
    bool DragGizmo(KR_TranslateGizmo*, const XMVECTOR& origin, const XMVECTOR&, XMVECTOR* pPosition) override
    {
        *pPosition = origin;
        return true;
    }
    void EndGizmoDrag(KR_TranslateGizmo*) override { ++m_uiDragEnds; }
    KR_VertexInterpolationVisualisation* CreatePathVisualisation(KU_VertexInterpolation*, const XMFLOAT4&,
                                                                 const XMFLOAT4&, const XMFLOAT4&) override
    {
        return nullptr;
    }
    void DeletePathVisualisation(KR_VertexInterpolationVisualisation*) override {}
    void RenderPathVisualisation(KR_VertexInterpolationVisualisation*, double, const XMMATRIX&,
                                 const XMVECTOR&) override
    {
    }
    float GetPathPickDistance(KR_VertexInterpolationVisualisation*, const XMVECTOR&, const XMVECTOR&) override
    {
        return FLT_MAX;
    }
    bool PickControlPoint(KR_VertexInterpolationVisualisation*, const XMVECTOR&, const XMVECTOR&) override
    {
        return false;
    }
    void MoveSelectedControlPoint(KR_VertexInterpolationVisualisation*, const XMVECTOR&, const XMVECTOR&,
                                  bool) override
    {
    }
    bool HasSelectedControlPoint(const KR_VertexInterpolationVisualisation*) const override { return false; }
    void SetSelectedVertex(KR_VertexInterpolationVisualisation*, const XMVECTOR&) override {}

    float m_fDistance = FLT_MAX;
    std::uint32_t m_uiDragEnds = 0;

private:
    int m_iMarker = 0;
    int m_iGizmo = 0;
};

KR_AnimatedCamera* AddCamera(KR_Scene* pScene, double fStart, double fEnd,
                             KU_VertexInterpolation* pRail = nullptr)
{
    auto* pCamera = new KR_AnimatedCamera("", pRail, nullptr, nullptr, nullptr);
    pCamera->SetStartTime(fStart);
    pCamera->SetEndTime(fEnd);
    pScene->GetAnimatedCameras().Add(pCamera);
    return pCamera;
}

class KR_SceneManagerInput : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_Rig.m_pRepository->SetWritable(true);
        for (const char* pName : {"A", "B", "C"})
        {
            m_apScenes[m_gScenes.size()] = new InputScene(m_Rig.m_Log, pName);
            m_Scenes.AddScene(m_apScenes[m_gScenes.size()]);
            m_gScenes.push_back(pName);
        }
        m_Scenes.Start();
        m_Rig.RunUntilLoaded(m_Scenes);
        m_Rig.m_Log.Take();
    }
    void TearDown() override { m_Scenes.Shutdown(); }

    // Through the dispatcher, as the input manager sends them.
    void Key(std::uint64_t uiKey, bool bDown = true)
    {
        m_Rig.m_Dispatcher.Dispatch(KE_MT_Keyboard, bDown ? KE_MST_KeyDown : KE_MST_KeyUp, &uiKey);
    }
    void Button(std::uint32_t uiButton, bool bDown = true)
    {
        KE_ControllerButtonData data = {0, uiButton};
        m_Rig.m_Dispatcher.Dispatch(KE_MT_Controller, bDown ? KE_MST_ButtonDown : KE_MST_ButtonUp, &data);
    }
    double Time() const { return m_Scenes.GetSynchonizationTime(); }
    std::vector<std::string> PostLoads()
    {
        return m_Rig.m_Log.Filter({"A.PostLoad", "B.PostLoad", "C.PostLoad"});
    }

    Rig m_Rig;
    KR_SceneManager m_Scenes;
    InputScene* m_apScenes[3] = {}; // owned by m_Scenes
    std::vector<std::string> m_gScenes;
};

TEST_F(KR_SceneManagerInput, PageKeysAndButtonsJumpToTheNeighbouringScenesStarts)
{
    const std::vector<std::string> gAll = {"A.PostLoad", "B.PostLoad", "C.PostLoad"};
    m_Scenes.SetSynchronizationTime(15.0);
    Key(0x21); // Page Up in the middle of B: the start of A, not of B
    EXPECT_NEAR(Time(), 0.0, 1e-9);
    EXPECT_EQ(PostLoads(), gAll);
    m_Rig.m_Log.Take();
    Key(0x21); // inside the first scene: nothing
    EXPECT_NEAR(Time(), 0.0, 1e-9);
    EXPECT_TRUE(PostLoads().empty());
    m_Scenes.SetSynchronizationTime(5.0);
    Button(2); // next scene
    EXPECT_NEAR(Time(), 10.0, 1e-9);
    EXPECT_EQ(PostLoads(), gAll);
    Key(0x22);
    EXPECT_NEAR(Time(), 20.0, 1e-9);
    m_Rig.m_Log.Take();
    Key(0x22); // inside the last scene: nothing
    EXPECT_NEAR(Time(), 20.0, 1e-9);
    EXPECT_TRUE(PostLoads().empty());
    Button(0);
    EXPECT_NEAR(Time(), 10.0, 1e-9);
    // Another controller does not jump.
    KE_ControllerButtonData data = {1, 0};
    m_Rig.m_Dispatcher.Dispatch(KE_MT_Controller, KE_MST_ButtonDown, &data);
    EXPECT_NEAR(Time(), 10.0, 1e-9);
}

TEST_F(KR_SceneManagerInput, UpAndDownJumpBetweenCamerasAndSetUpScenesOnlyWhenLeavingTheCurrent)
{
    AddCamera(m_apScenes[0], 0.0, 4.0);
    AddCamera(m_apScenes[0], 4.0, 10.0);
    AddCamera(m_apScenes[1], 12.0, 20.0);
    m_Scenes.SetSynchronizationTime(6.0);
    Key(0x26); // Up: the first camera of A ended earlier; same scene, no set-up
    EXPECT_NEAR(Time(), 0.0, 1e-9);
    EXPECT_TRUE(PostLoads().empty());
    m_Scenes.SetSynchronizationTime(6.0);
    Key(0x28); // Down: B's camera, in another scene
    EXPECT_NEAR(Time(), 12.0, 1e-9);
    EXPECT_EQ(PostLoads().size(), 3u);
    m_Rig.m_Log.Take();
    Key(0x26); // Up from B: A's second camera
    EXPECT_NEAR(Time(), 4.0, 1e-9);
    EXPECT_EQ(PostLoads().size(), 3u);
    m_Scenes.SetSynchronizationTime(25.0);
    Key(0x28); // no camera starts later: nothing
    EXPECT_NEAR(Time(), 25.0, 1e-9);
}

TEST_F(KR_SceneManagerInput, HoldingLeftAndRightTogetherLeavesTheTimeAndEachKeyUpStopsItsStep)
{
    Key(0x71); // Rail holds the clock
    m_Scenes.SetSynchronizationTime(5.0);
    Key(0x25);
    Key(0x27);
    m_Scenes.UpdateClock();
    m_Scenes.UpdateClock();
    EXPECT_NEAR(Time(), 5.0, 1e-9);
    Key(0x27, false);
    m_Scenes.UpdateClock();
    EXPECT_NEAR(Time(), 5.0 - 0.01 * SPEED, 1e-9);
    Button(3, false); // button up of step back
    m_Scenes.UpdateClock();
    EXPECT_NEAR(Time(), 5.0 - 0.01 * SPEED, 1e-9);
}

TEST_F(KR_SceneManagerInput, ModesSetTheCursorAndButtonFourWalksBackToARunningDemo)
{
    EXPECT_FALSE(m_Scenes.IsCursorVisible());
    Key(0x72);
    EXPECT_EQ(m_Scenes.GetCameraMode(), KR_SCM_Edit);
    EXPECT_TRUE(m_Scenes.IsCursorVisible());
    EXPECT_FALSE(m_Scenes.IsPlaying());
    Button(4);
    EXPECT_EQ(m_Scenes.GetCameraMode(), KR_SCM_Roam);
    EXPECT_TRUE(m_Scenes.IsCursorVisible());
    Button(4);
    EXPECT_EQ(m_Scenes.GetCameraMode(), KR_SCM_Demo);
    EXPECT_FALSE(m_Scenes.IsCursorVisible());
    EXPECT_TRUE(m_Scenes.IsPlaying());
    Key(0x71);
    EXPECT_EQ(m_Scenes.GetCameraMode(), KR_SCM_Rail);
    EXPECT_FALSE(m_Scenes.IsCursorVisible());
}

TEST(KR_SceneManagerInputModes, DemoAfterAModeChosenDuringLoadingKeepsTheRunningClocksTime)
{
    Rig rig;
    KR_SceneManager scenes;
    scenes.AddScene(new RecordingScene(rig.m_Log, "A"));
    std::uint64_t uiKey = 0x71; // F2 before the hand-over
    scenes.Receive(KE_MT_Keyboard, KE_MST_KeyDown, &uiKey);
    scenes.Start();
    rig.RunUntilLoaded(scenes);
    ASSERT_TRUE(scenes.IsPlaying());
    CrtControl::SetClock(3000);
    scenes.UpdateClock();
    EXPECT_NEAR(scenes.GetSynchonizationTime(), 3.0 * SPEED, 1e-9);
    uiKey = 0x70; // F1: the clock was never held, so no time is paid back
    rig.m_Dispatcher.Dispatch(KE_MT_Keyboard, KE_MST_KeyDown, &uiKey);
    scenes.UpdateClock();
    EXPECT_NEAR(scenes.GetSynchonizationTime(), 3.0 * SPEED, 1e-9);
    scenes.Shutdown();
}

TEST_F(KR_SceneManagerInput, ReloadSaveAndCubeMapsReachTheActiveScenesOnlyAndKeepTheTime)
{
    m_Scenes.SetSynchronizationTime(15.0);
    m_Scenes.UpdateClock();
    ASSERT_FALSE(m_Scenes.IsResynchronizationPending());
    Key(0x08);
    // The reloaded music would start from its beginning: the running clock seeks it to now.
    EXPECT_TRUE(m_Scenes.IsResynchronizationPending());
    EXPECT_EQ(
        m_Rig.m_Log.Filter({"A.", "B.", "C.", "Tools."}),
        (std::vector<std::string>{"B.ReloadAllEntities", "B.PostLoad", "Tools.InvalidateEditorDialogs"}));
    EXPECT_NEAR(Time(), 15.0, 1e-9);
    m_Rig.m_Log.Take();
    Key(0x0D);
    Key(0x78);
    Key(0x77);
    Button(12);
    EXPECT_EQ(m_Rig.m_Log.Filter({"A.", "B.", "C.", "Tools.Show"}),
              (std::vector<std::string>{"B.SaveAllEntities", "B.RenderAllCubeMaps", "Tools.ShowEditorDialog",
                                        "B.SaveAllEntities"}));
    EXPECT_NEAR(Time(), 15.0, 1e-9);
}

TEST_F(KR_SceneManagerInput, NewCamerasAreMadeOutsideRoamSavedUnchangedAndTheirRailKeysFollowBAndV)
{
    const float afFrom[3] = {0.0f, 0.0f, 0.0f};
    const float afTo[3] = {10.0f, 0.0f, 0.0f};
    const float afTarget[3] = {0.0f, 0.0f, 50.0f};
    m_Scenes.SetSynchronizationTime(15.0);
    Key(0x73); // Roam: no new cameras, but new curves
    EXPECT_FALSE(m_Scenes.CreateNewCameraInterpolation(10.0, 20.0, 2.0, afFrom, afTo, afTarget, afTarget));
    EXPECT_TRUE(m_Scenes.CreateNewVertexInterpolation(10.0, 20.0, 2.0, afFrom, afTo));
    EXPECT_EQ(m_apScenes[1]->GetVertexInterpolations().GetNumMembers(), 1u);
    Key(0x72); // Edit: the other way round
    EXPECT_FALSE(m_Scenes.CreateNewVertexInterpolation(10.0, 20.0, 2.0, afFrom, afTo));
    EXPECT_FALSE(m_Scenes.CreateNewCameraInterpolation(10.0, 20.0, 2.0, nullptr, afTo, afTarget, afTarget));
    m_Scenes.GetControllerCamera()->SetFOV(50.0f);
    ASSERT_TRUE(m_Scenes.CreateNewCameraInterpolation(10.0, 20.0, 2.0, afFrom, afTo, afTarget, afTarget));
    ASSERT_EQ(m_apScenes[1]->GetAnimatedCameras().GetNumMembers(), 1u);
    KR_AnimatedCamera* pCamera = m_apScenes[1]->GetAnimatedCameras()[0];
    EXPECT_FLOAT_EQ(XMVectorGetX(pCamera->GetFOVInterpolation()->GetVertex(0)), 50.0f);
    const std::string sCameraFile = "Assets/Entities/B/AnimatedCameras/B_AnimatedCamera00.cam";
    ASSERT_TRUE(m_Rig.m_pRepository->HasFile(sCameraFile));
    const std::string sSaved = m_Rig.m_pRepository->GetFileContents(sCameraFile);

    // Saving without an edit writes the same file again.
    Key(0x0D);
    EXPECT_EQ(m_Rig.m_pRepository->GetFileContents(sCameraFile), sSaved);

    // Cameras without a rail and with an empty one are skipped by the rail edits.
    AddCamera(m_apScenes[1], 10.0, 20.0);
    auto* pEmpty = new KB_LinearInterpolation();
    pEmpty->SetEndTime(20.0);
    AddCamera(m_apScenes[1], 10.0, 20.0, pEmpty);

    // B: the key nearest 15 (local 5 lies between the keys at 4 and 6: the lower one, index 3)
    // jumps to the free camera.
    KU_VertexInterpolation* pRail = pCamera->GetCameraRailInterpolation();
    ASSERT_EQ(pRail->GetNearestKeyIndex(15.0), 3u);
    m_Scenes.GetControllerCamera()->SetPosition(XMVectorSet(1.0f, 2.0f, 3.0f, 1.0f));
    pRail->HasChanged(true);
    Key(0x42);
    EXPECT_FLOAT_EQ(XMVectorGetX(pRail->GetVertex(3)), 1.0f);
    EXPECT_FLOAT_EQ(XMVectorGetY(pRail->GetVertex(3)), 2.0f);
    EXPECT_FLOAT_EQ(XMVectorGetZ(pRail->GetVertex(3)), 3.0f);
    EXPECT_TRUE(pRail->HasChanged(true));
    EXPECT_EQ(pEmpty->GetNumVertices(), 0u);
    // V: that key moves onto the rail's value at the current time.
    XMVECTOR vOnRail = XMVectorZero();
    pRail->GetValueAt(&vOnRail, 5.0);
    Button(7);
    EXPECT_FLOAT_EQ(XMVectorGetX(pRail->GetVertex(3)), XMVectorGetX(vOnRail));
    EXPECT_FLOAT_EQ(XMVectorGetY(pRail->GetVertex(3)), XMVectorGetY(vOnRail));
    // Outside Edit mode the keys stay.
    Key(0x71);
    Key(0x42);
    EXPECT_FLOAT_EQ(XMVectorGetX(pRail->GetVertex(3)), XMVectorGetX(vOnRail));
    // The edit reaches the file on the next save.
    Key(0x0D);
    EXPECT_NE(m_Rig.m_pRepository->GetFileContents(
                  "Assets/Entities/B/AnimatedCameras/Interpolations/B_AnimatedCamera00_CP.int"),
              "");
}

TEST_F(KR_SceneManagerInput, PickingPrefersTheNearestLowerSceneAndGizmosAndMovesReachEveryScene)
{
    const KR_Ray ray = {XMVectorSet(0, 0, -10, 1), XMVectorSet(0, 0, 1, 0)};
    m_Scenes.PickEditorObject(ray); // all miss: nothing selected
    EXPECT_TRUE(m_Rig.m_Log.Filter({"A.Select", "B.Select", "C.Select"}).empty());
    m_apScenes[0]->m_fPickDistance = 3.0f;
    m_apScenes[1]->m_fPickDistance = 2.0f;
    m_apScenes[2]->m_fPickDistance = 2.0f;
    m_Scenes.PickEditorObject(ray);
    EXPECT_EQ(m_Rig.m_Log.Filter({"A.Select", "B.Select", "C.Select"}),
              (std::vector<std::string>{"B.SelectPicked"}));
    m_Scenes.PickEditorGizmo(ray, true);
    m_Scenes.PickEditorGizmo(ray, false);
    EXPECT_EQ(m_Rig.m_Log.Filter({"A.PickGizmo", "B.PickGizmo", "C.PickGizmo"}),
              (std::vector<std::string>{"A.PickGizmo drag", "B.PickGizmo drag", "C.PickGizmo drag",
                                        "A.PickGizmo end", "B.PickGizmo end", "C.PickGizmo end"}));

    m_Scenes.GetControllerCamera()->SetPosition(XMVectorSet(7.0f, 0.0f, 0.0f, 1.0f));
    Key(0x46); // F outside Edit mode: nothing
    EXPECT_TRUE(m_Rig.m_Log.Filter({"A.Move"}).empty());
    Key(0x72);
    Key(0x46);
    EXPECT_EQ(m_Rig.m_Log.Filter({"A.Move", "B.Move", "C.Move"}),
              (std::vector<std::string>{"A.MoveSelectedKeyTo 7.000000", "B.MoveSelectedKeyTo 7.000000",
                                        "C.MoveSelectedKeyTo 7.000000"}));
}

TEST_F(KR_SceneManagerInput, ASceneAudioTieGoesToTheSceneAndANearerAudioEntityIsPickedAndDragged)
{
    auto* pEditorObjects = new ScriptedAudioEditorObjects();
    KA_AudioResourceManager* pAudio = m_Rig.m_AudioContexts.GetAudioResourceManager();
    pAudio->SetEditorObjects(pEditorObjects);
    m_Rig.m_pRepository->SetFile("Audio/a.aud", "s 0\ne 30\npv 0 0 5\n");
    pAudio->SetAudioEntityPath("Audio/");
    m_Rig.m_Engine->SetDeveloperBuild(true); // markers and gizmos are made in developer builds only
    pAudio->LoadAll();
    ASSERT_EQ(pAudio->GetEntries().GetNumMembers(), 1u);
    KA_AudioEntity* pEntity = pAudio->GetEntries()[0].m_pEntity;
    const KR_Ray ray = {XMVectorSet(0, 0, -10, 1), XMVectorSet(0, 0, 1, 0)};
    m_apScenes[0]->m_fPickDistance = 2.0f;
    pEditorObjects->m_fDistance = 2.0f;
    m_Scenes.PickEditorObject(ray);
    EXPECT_EQ(m_Rig.m_Log.Filter({"A.Select"}).size(), 1u);
    EXPECT_FALSE(pEntity->IsSelected());
    pEditorObjects->m_fDistance = 1.0f;
    m_Scenes.PickEditorObject(ray);
    EXPECT_EQ(m_Rig.m_Log.Filter({"A.Select"}).size(), 1u);
    EXPECT_TRUE(pEntity->IsSelected());
    // The selected entity's gizmo moves its position while dragging and lets go at the end.
    m_Scenes.PickEditorGizmo(ray, true);
    EXPECT_FLOAT_EQ(XMVectorGetZ(pEntity->GetStaticPosition()), -10.0f);
    m_Scenes.PickEditorGizmo(ray, false);
    EXPECT_EQ(pEditorObjects->m_uiDragEnds, 1u);
    // F in Edit mode puts it at the free camera.
    Key(0x72);
    m_Scenes.GetControllerCamera()->SetPosition(XMVectorSet(4.0f, 0.0f, 0.0f, 1.0f));
    Key(0x46);
    EXPECT_FLOAT_EQ(XMVectorGetX(pEntity->GetStaticPosition()), 4.0f);
    m_Rig.m_Engine->SetDeveloperBuild(false);
}

TEST_F(KR_SceneManagerInput, EditorCommandKeysBroadcastToTheEditableObjects)
{
    EditorCommandLog log;
    m_Rig.m_Dispatcher.RegisterReceiver(KE_MT_EditorCommand, &log);
    for (std::uint64_t uiKey : {0x49u, 0x52u, 0x54u, 0x55u, 0x5Au, 0x76u, 0x79u})
        Key(uiKey);
    EXPECT_EQ(log.m_gSubTypes, (std::vector<KE_MessageSubType>{
                                   KE_MST_HideUnselected, KE_MST_PreviousControlPoint,
                                   KE_MST_NextControlPoint, KE_MST_UnhideAll, KE_MST_HideSelected}));
    m_Rig.m_Dispatcher.UnRegisterReceiver(KE_MT_EditorCommand, &log);
}

TEST(KR_SceneManagerInputStates, WithoutLoadedScenesOrInAGapTheCommandsDoNothing)
{
    Rig rig;
    KR_SceneManager scenes;
    auto* pScene = new InputScene(rig.m_Log, "A");
    pScene->m_fPickDistance = 1.0f;
    scenes.AddScene(pScene);
    const float afPoint[3] = {0.0f, 0.0f, 0.0f};
    const KR_Ray ray = {XMVectorSet(0, 0, -10, 1), XMVectorSet(0, 0, 1, 0)};
    // Not started: no picking, no new cameras.
    scenes.PickEditorObject(ray);
    scenes.PickEditorGizmo(ray, true);
    EXPECT_FALSE(scenes.CreateNewCameraInterpolation(0.0, 5.0, 1.0, afPoint, afPoint, afPoint, afPoint));
    EXPECT_TRUE(rig.m_Log.Take().empty());
    scenes.Start();
    rig.RunUntilLoaded(scenes);
    rig.m_Log.Take();
    // Past the only scene: nothing is active, so reload, save and creation find nothing.
    scenes.SetSynchronizationTime(10.0);
    for (std::uint64_t uiKey : {0x08u, 0x0Du, 0x78u})
        rig.m_Dispatcher.Dispatch(KE_MT_Keyboard, KE_MST_KeyDown, &uiKey);
    EXPECT_TRUE(rig.m_Log.Filter({"A."}).empty());
    EXPECT_FALSE(scenes.CreateNewCameraInterpolation(0.0, 5.0, 1.0, afPoint, afPoint, afPoint, afPoint));
    scenes.Shutdown();
}

} // namespace
