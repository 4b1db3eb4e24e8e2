#include "render/light/KR_LightBase.h"

#include "render/debug/KR_DebugPolyhedron.h"
#include "render/debug/KR_TranslateGizmo.h"
#include "render/debug/KR_VertexInterpolationVisualisation.h"
#include "render/light/KR_OmniLight.h"
#include "render/light/KR_SpotLight.h"
#include "tests/render/camera/CameraTestHelpers.h"
#include "tests/render/light/LightTestHelpers.h"

#include <atomic>
#include <cfloat>
#include <cmath>
#include <thread>

using namespace DirectX;
using cameratest::ExpectVectorNear;
using lighttest::LightTest;
using lighttest::Message;
using lighttest::Rail;
using lighttest::Ray;

namespace
{

using KR_LightBaseTest = LightTest;

const Message DESELECT = {KE_MT_EditorCommand, KE_MST_DeselectControlPoints, nullptr};

Message Selected(KR_LightBase* pLight)
{
    return {KE_MT_LightSelection, KE_MST_LightSelected, pLight};
}

} // namespace

TEST_F(KR_LightBaseTest, RangeFollowsAttenuationAndStrengthAndCurvesDriveTheValues)
{
    KR_OmniLight light;
    light.SetLightAttenuation(XMFLOAT3(0, 0, 0.01f));
    EXPECT_NEAR(light.GetMaxLightDistance(0), 97.4679f, 1e-3f); // sqrt(0.95 / 0.0001)
    light.SetLightStrength(0.04f);
    EXPECT_EQ(light.GetMaxLightDistance(0), 0.0f); // below 0.05 the light reaches nowhere
    light.SetLightStrength(1.0f);
    light.SetLightAttenuation(XMFLOAT3(0, 0.5f, 0.01f));
    EXPECT_NEAR(light.GetMaxLightDistance(0), 190.0f, 1e-3f); // the linear reach is the longer
    light.SetLightAttenuation(XMFLOAT3(0.5f, 0, 0.01f));
    EXPECT_EQ(light.GetMaxLightDistance(0), FLT_MAX);
    light.SetMaxLightDistance(12.0f);
    EXPECT_EQ(light.GetMaxLightDistance(0), 12.0f);

    // The strength curve gives strength (x) and specular strength (y); the stored ones are ignored.
    light.SetLightSpecularStrength(9.0f);
    light.SetStrengthInterpolation(Rail(XMVectorSet(0, 2, 0, 0), XMVectorSet(4, 0, 0, 0)));
    EXPECT_EQ(light.GetLightStrength(0.5), 2.0f);
    EXPECT_EQ(light.GetLightSpecularStrength(0.5), 1.0f);
    light.SetPostitionRailInterpolation(Rail(XMVectorSet(0, 0, 0, 1), XMVectorSet(10, 0, 0, 1)));
    EXPECT_EQ(light.GetPositionAt(0.25).x, 2.5f);
}

TEST_F(KR_LightBaseTest, SelectionDeselectsEveryoneFirstAndAnnouncesOnlyNewSelections)
{
    KR_OmniLight a;
    KR_SpotLight b;
    a.SetEndTime(10.0);
    b.SetEndTime(10.0);
    b.SetPosition(XMFLOAT3(0, 50, 0));
    b.SetTarget(XMFLOAT3(0, 80, 0));
    const XMVECTOR vViewer = XMVectorSet(0, 0, -100, 1);
    a.RenderDebug(1.0, nullptr, vViewer);
    b.RenderDebug(1.0, nullptr, vViewer);
    const KR_Ray hitA = Ray(0, 0, -100, 0, 0, 1);

    a.Select(1.0, hitA);
    EXPECT_EQ(m_Log.m_Messages, (std::vector<Message>{DESELECT, Selected(&a)}));
    EXPECT_EQ(a.GetFlags() & KR_LightBase::FLAG_POSITION_SELECTED, KR_LightBase::FLAG_POSITION_SELECTED);
    EXPECT_EQ(a.GetPositionMarker()->GetColor().y, 1.0f); // the selection colour
    a.SetHighlighted(true);                               // leaves the selected marker alone
    EXPECT_EQ(a.GetPositionMarker()->GetColor().x, 0.0f);

    // A second click deselects silently; another light's click deselects the first.
    a.Select(1.0, hitA);
    EXPECT_EQ(a.GetFlags() & KR_LightBase::FLAG_POSITION_SELECTED, 0);
    EXPECT_EQ(m_Log.m_Messages.size(), 3u);
    a.Select(1.0, hitA);
    m_Log.m_Messages.clear();
    b.Select(1.0, Ray(0, 80, -100, 0, 0, 1)); // the target marker
    EXPECT_EQ(m_Log.m_Messages, (std::vector<Message>{DESELECT, Selected(&b)}));
    EXPECT_EQ(a.GetFlags() & KR_LightBase::FLAG_POSITION_SELECTED, 0);
    EXPECT_EQ(a.GetPositionMarker()->GetColor().x, a.GetMarkerColor().GetR());
    EXPECT_EQ(b.GetFlags() & 3, KR_LightBase::FLAG_TARGET_SELECTED);

    // Unselected markers take the highlight colours; inactive lights are never picked.
    b.SetHighlighted(true);
    EXPECT_EQ(b.GetPositionMarker()->GetColor().z, 1.0f);
    EXPECT_EQ(b.GetTargetMarker()->GetColor().y, 1.0f); // selected: keeps the selection colour
    KR_LightBase::DeselectAll();
    b.SetHighlighted(true);
    EXPECT_NEAR(b.GetTargetMarker()->GetColor().y, 0.0470588f, 1e-6f);
    b.SetHighlighted(false);
    EXPECT_EQ(b.GetTargetMarker()->GetColor().x, b.GetMarkerColor().GetR());
    EXPECT_EQ(b.GetPickDistance(20.0, Ray(0, 50, -100, 0, 0, 1)), FLT_MAX);
    m_Log.m_Messages.clear();
    b.Select(20.0, Ray(0, 50, -100, 0, 0, 1));
    EXPECT_TRUE(m_Log.m_Messages.empty());
}

TEST_F(KR_LightBaseTest, MarkersScaleWithDistanceAndTiesKeepThePositionMarker)
{
    KR_SpotLight light;
    light.SetEndTime(10.0);
    light.SetPosition(XMFLOAT3(1, 2, 3));
    light.SetTarget(XMFLOAT3(1, 2, 3)); // both markers in one place
    light.RenderDebug(1.0, nullptr, XMVectorSet(1, 2, -247, 1));
    XMFLOAT4X4 world;
    XMStoreFloat4x4(&world, light.GetPositionMarker()->GetWorldMatrix());
    EXPECT_FLOAT_EQ(world.m[0][0], 2.5f); // distance 250 / 100
    EXPECT_FLOAT_EQ(world.m[1][1], 2.5f);
    EXPECT_TRUE(world.m[3][0] == 1.0f && world.m[3][1] == 2.0f && world.m[3][2] == 3.0f);
    EXPECT_FALSE(light.GetPositionMarker()->IsInverseValid());

    const KR_Ray ray = Ray(1, 2, -100, 0, 0, 1);
    EXPECT_NEAR(light.GetPickDistance(1.0, ray), 100.5f, 1e-3f);
    light.Select(1.0, ray);
    EXPECT_EQ(light.GetFlags() & 3, KR_LightBase::FLAG_POSITION_SELECTED); // the tie keeps candidate 0
}

TEST_F(KR_LightBaseTest, DraggingMovesTheLightAndItsRailKeys)
{
    KR_OmniLight light;
    light.SetEndTime(10.0);
    light.ReloadLight(); // no rail: the position handle
    ASSERT_NE(light.GetPositionHandle(), nullptr);
    const XMVECTOR vViewer = XMVectorSet(0, 0, -100, 1); // marker and handle at scale 1
    light.RenderDebug(1.0, nullptr, vViewer);
    light.Select(1.0, Ray(0, 0, -100, 0, 0, 1));
    light.RenderDebug(1.0, nullptr, vViewer);                // the handle takes the marker's matrix
    light.DragSelection(1.0, Ray(4, 0, -10, 0, 0, 1), true); // grabs the x arrow
    light.DragSelection(1.0, Ray(6, 2, -10, 0, 0, 1), true);
    ExpectVectorNear(light.GetLightPosition(1.0), 2, 0, 0);
    light.DragSelection(1.0, Ray(6, 2, -10, 0, 0, 1), false);
    EXPECT_FALSE(light.GetPositionHandle()->IsDragStarted());
    light.MoveSelectedKeyTo(XMVectorSet(7, 8, 9, 1));
    ExpectVectorNear(light.GetLightPosition(1.0), 7, 8, 9);

    // On a rail the selected light shows it; a key picked on the rail keeps the light selected,
    // and the key follows the handle and the move-to-camera command.
    KR_OmniLight railed;
    railed.SetEndTime(10.0);
    railed.SetPositionRailPath(KB_String("P.int"));
    KU_VertexInterpolation* pRail = Rail(XMVectorSet(-5, 0, 0, 1), XMVectorSet(5, 0, 0, 1));
    pRail->SetFilePath(KB_String(Path("P.int").c_str()));
    ASSERT_TRUE(pRail->Save());
    delete pRail;
    SetFile("R.omn", "e 10\npp P.int\n");
    ASSERT_TRUE(railed.LoadFromFile(KB_String(Path("R.omn").c_str())));
    KR_VertexInterpolationVisualisation* pVis = railed.GetPositionRailVisualisation();
    ASSERT_TRUE(pVis != nullptr && railed.GetPositionHandle() == nullptr);
    railed.RenderDebug(0.5, nullptr, XMVectorSet(0, 0, -100, 1));
    railed.Select(0.5, Ray(0, 0, -100, 0, 0, 1)); // the marker, halfway along the rail
    ASSERT_EQ(railed.GetFlags() & 1, 1);
    railed.RenderDebug(0.5, nullptr, XMVectorSet(-5, 0, -100, 1));
    m_Log.m_Messages.clear();
    railed.Select(0.5, Ray(-20, 0, 0, 1, 0, 0)); // along x the first key's box comes first
    EXPECT_EQ(pVis->GetSelectedIndex(), 0u);
    EXPECT_EQ(railed.GetFlags() & 1, 1);
    EXPECT_TRUE(m_Log.m_Messages.size() == 1 && m_Log.m_Messages[0].pPayload == pVis); // no (6, 18) again
    railed.RenderDebug(0.5, nullptr, XMVectorSet(-5, 0, -100, 1)); // the key's gizmo at scale 1
    railed.DragSelection(0.5, Ray(-1, 0, -10, 0, 0, 1), true);     // grabs the x arrow
    railed.DragSelection(0.5, Ray(1, 0, -10, 0, 0, 1), true);
    ExpectVectorNear(railed.GetPostitionRailInterpolation()->GetVertex(0), -3, 0, 0);
    railed.MoveSelectedKeyTo(XMVectorSet(-5, 4, 0, 1));
    ExpectVectorNear(railed.GetPostitionRailInterpolation()->GetVertex(0), -5, 4, 0);
    EXPECT_TRUE(pVis->IsDirty());
    ExpectVectorNear(XMLoadFloat4(&railed.GetStoredPosition()), 0, 0, 0); // the rail, not the point

    // The editor clears the curve: the visualisation goes with it and a handle takes its place.
    KU_VertexInterpolation* pOld = railed.GetPostitionRailInterpolation();
    railed.SetPostitionRailInterpolation(nullptr);
    delete pOld;
    EXPECT_TRUE(railed.GetPositionRailVisualisation() == nullptr && railed.GetPositionHandle() != nullptr);
    railed.RenderDebug(0.5, nullptr, vViewer); // selected: would draw a visualisation of the freed curve
}

TEST_F(KR_LightBaseTest, LightsRegisterFromALoadingThreadWhileTheMainThreadDispatches)
{
    // While the load job makes lights, the main thread dispatches other messages and reads the
    // lists; no editor command reaches a light that is still being built.
    std::atomic<bool> bDone{false};
    std::thread loader(
        [&bDone]
        {
            for (int i = 0; i < 50; ++i)
            {
                KR_OmniLight omni;
                KR_SpotLight spot;
            }
            bDone = true;
        });
    while (!bDone)
    {
        m_Dispatcher.Dispatch(KE_MT_LightSelection, KE_MST_LightSelected, nullptr);
        EXPECT_LE(m_Dispatcher.GetReceiverCount(KE_MT_EditorCommand), 3u); // the log, one light of each kind
    }
    loader.join();
    EXPECT_EQ(m_Dispatcher.GetReceiverCount(KE_MT_EditorCommand), 1u); // only the log is left
}
