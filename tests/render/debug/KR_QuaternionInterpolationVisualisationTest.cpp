#include "render/debug/KR_QuaternionInterpolationVisualisation.h"

#include "render/debug/KR_Ray.h"
#include "render/debug/KR_VertexInterpolationVisualisation.h"
#include "tests/render/debug/CurveVisualisationTestHelpers.h"
#include "timing/KB_RotationInterpolation.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>

using namespace DirectX;
using curvevisualisationtest::SetTwoKeys;

namespace
{

// A camera moving 100 units along +x in one second, looking along +z at its target, with two
// identity orientation keys at 0 and 1 s.
struct CameraCurves
{
    CameraCurves()
    {
        SetTwoKeys(&m_Rail, XMVectorSet(0, 0, 0, 0), XMVectorSet(100, 0, 0, 0), 1.0);
        SetTwoKeys(&m_Target, XMVectorSet(0, 0, 100, 0), XMVectorSet(100, 0, 100, 0), 1.0);
        m_Orientation.InsertQuaternion(XMQuaternionIdentity(), 0.0);
        m_Orientation.InsertQuaternion(XMQuaternionIdentity(), 1.0);
        m_Orientation.SetEndTime(1.0);
    }

    KB_LinearInterpolation m_Rail{KB_String("cp.int")};
    KB_LinearInterpolation m_Target{KB_String("tp.int")};
    KB_RotationInterpolation m_Orientation{KB_String("op.int")};
};

// The viewer stands at the rail's start.
class KR_QuaternionInterpolationVisualisationTest : public curvevisualisationtest::DispatcherTest,
                                                    protected CameraCurves
{
protected:
    static KR_Ray Ray(float x, float y) { return KR_Ray{XMVectorSet(x, y, -50, 1), XMVectorSet(0, 0, 1, 0)}; }
};

} // namespace

TEST_F(KR_QuaternionInterpolationVisualisationTest, GeometryFollowsRailsKeysAndViewer)
{
    XMFLOAT3 arrow[6];
    KR_QuaternionInterpolationVisualisation::BuildArrow(XMVectorSet(1, 2, 3, 1), XMVectorSet(0, 1, 0, 0),
                                                        XMVectorSet(0, 0, 1, 0), 10.0f, arrow);
    // c = fin x direction = (-1, 0, 0): the ring is 2.5 out on the fin side, 1.5 on the others.
    const float expected[6][3] = {{1, 2, 3},       {1, 4.5f, 5.5f},  {2.5f, 4.5f, 3},
                                  {1, 4.5f, 1.5f}, {-0.5f, 4.5f, 3}, {1, 12, 3}};
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(arrow[i].x == expected[i][0] && arrow[i].y == expected[i][1] &&
                    arrow[i].z == expected[i][2])
            << "vertex " << i;

    KR_QuaternionInterpolationVisualisation visualisation(&m_Rail, &m_Target, &m_Orientation);
    EXPECT_TRUE(visualisation.Render(0.0, nullptr, XMVectorSet(0, 0, 0, 1)));
    EXPECT_EQ(visualisation.GetNumLineVertices(), 30u); // 3 x 10 samples
    EXPECT_EQ(visualisation.GetNumMarkerTriangles(), 16u);
    // Key 1 sits 100 units from the viewer: its arrow is 16 + 100 / 30 long, pointing up.
    EXPECT_NEAR(visualisation.GetMarkerVertices()[11].y, 16.0f + 100.0f / 30.0f, 1e-4f);

    m_Rail.SetEndTime(0.0); // a rail of duration 0: no lines, still one arrow per key
    m_Rail.SetVertexTimeStamp(1, 0.0);
    visualisation.Render(0.0, nullptr, XMVectorSet(0, 0, 0, 1));
    EXPECT_EQ(visualisation.GetNumLineVertices(), 0u);
    EXPECT_EQ(visualisation.GetNumMarkerTriangles(), 16u);

    KR_QuaternionInterpolationVisualisation noOrientation(&m_Rail, &m_Target, nullptr);
    EXPECT_FALSE(noOrientation.Render(0.0, nullptr, XMVectorSet(0, 0, 0, 1)));
}

TEST_F(KR_QuaternionInterpolationVisualisationTest, PickingAndEditorCommands)
{
    KR_QuaternionInterpolationVisualisation visualisation(&m_Rail, &m_Target, &m_Orientation);
    visualisation.Render(0.0, nullptr, XMVectorSet(0, 0, 0, 1));
    EXPECT_LT(visualisation.GetPickDistance(Ray(0, 8)), 50.0f);
    EXPECT_TRUE(visualisation.PickKey(Ray(0, 8)));
    EXPECT_EQ(visualisation.GetSelectedKey(), 0);
    EXPECT_FALSE(visualisation.Receive(KE_MT_EditorCommand, KE_MST_PreviousControlPoint, nullptr));
    EXPECT_FALSE(visualisation.Receive(KE_MT_EditorCommand, KE_MST_HideUnselected, nullptr));
    EXPECT_TRUE(visualisation.Receive(KE_MT_EditorCommand, KE_MST_NextControlPoint, nullptr));
    EXPECT_FALSE(
        visualisation.Receive(KE_MT_EditorCommand, KE_MST_NextControlPoint, nullptr)); // the last key
    EXPECT_EQ(visualisation.GetSelectedKey(), 1);
    visualisation.SelectKey(0);
    EXPECT_TRUE(visualisation.PickKey(Ray(0, 8))); // the selected key again deselects it
    EXPECT_EQ(visualisation.GetSelectedKey(), -1);
    EXPECT_FALSE(visualisation.PickKey(Ray(50, 50)));
    EXPECT_EQ(visualisation.GetPickDistance(Ray(50, 50)), FLT_MAX);
}

TEST_F(KR_QuaternionInterpolationVisualisationTest, OrientationAndRailKeysDeselectEachOther)
{
    KR_QuaternionInterpolationVisualisation orientation(&m_Rail, &m_Target, &m_Orientation);
    KR_VertexInterpolationVisualisation rail(&m_Target);
    orientation.Render(0.0, nullptr, XMVectorSet(0, 0, 0, 1));
    rail.SelectControlPoint(1);
    EXPECT_TRUE(orientation.PickKey(Ray(0, 8)));
    EXPECT_EQ(orientation.GetSelectedKey(), 0);
    EXPECT_EQ(rail.GetSelectedIndex(), KR_VertexInterpolationVisualisation::NO_SELECTION);
    EXPECT_TRUE(rail.IsDirty());

    rail.SelectControlPoint(0);
    EXPECT_EQ(orientation.GetSelectedKey(), KR_QuaternionInterpolationVisualisation::NO_SELECTION);
    EXPECT_EQ(rail.GetSelectedIndex(), 0u);
    // Out of range on either side: everything is deselected and nothing selected.
    orientation.SelectKey(-1);
    EXPECT_EQ(rail.GetSelectedIndex(), KR_VertexInterpolationVisualisation::NO_SELECTION);
    orientation.SelectKey(2);
    EXPECT_EQ(orientation.GetSelectedKey(), KR_QuaternionInterpolationVisualisation::NO_SELECTION);
    // Hiding the selected ones hides only the visualisation with a selection.
    orientation.SelectKey(1);
    m_Dispatcher.Dispatch(KE_MT_EditorCommand, KE_MST_HideSelected, nullptr);
    EXPECT_TRUE(orientation.IsHidden());
    EXPECT_FALSE(rail.IsHidden());
    EXPECT_FALSE(orientation.PickKey(Ray(0, 8))); // hidden: a miss
}

TEST_F(KR_QuaternionInterpolationVisualisationTest, DraggingTheArrowRollsTheKeyAboutTheLookDirection)
{
    KR_QuaternionInterpolationVisualisation visualisation(&m_Rail, &m_Target, &m_Orientation);
    visualisation.Render(0.0, nullptr, XMVectorSet(0, 0, 0, 1));
    visualisation.SelectKey(0);
    visualisation.Render(0.0, nullptr, XMVectorSet(0, 0, 0, 1));
    visualisation.RotateSelectedKey(Ray(0, 8), true); // grabs the arrow above the rail point
    EXPECT_TRUE(visualisation.IsGrabbed());
    // The cursor swings a quarter turn to +x: the camera's up follows it.
    visualisation.RotateSelectedKey(Ray(8, 0), true);
    XMVECTOR q;
    m_Orientation.GetValueAt(&q, 0.0);
    const XMVECTOR up = XMVector3Rotate(XMVectorSet(0, 1, 0, 0), q);
    EXPECT_NEAR(XMVectorGetX(up), 1.0f, 1e-5f);
    EXPECT_NEAR(XMVectorGetY(up), 0.0f, 1e-5f);
    EXPECT_TRUE(m_Orientation.HasChanged(false));
    visualisation.RotateSelectedKey(Ray(8, 0), false);
    EXPECT_FALSE(visualisation.IsGrabbed());
}

namespace
{

class KR_QuaternionInterpolationVisualisationDrawTest : public curvevisualisationtest::DispatcherDrawTest,
                                                        protected CameraCurves
{
};

} // namespace

TEST_F(KR_QuaternionInterpolationVisualisationDrawTest, DrawsThreeLineStripsAndTheKeyArrows)
{
    KR_QuaternionInterpolationVisualisation visualisation(&m_Rail, nullptr, &m_Orientation);
    const XMMATRIX viewProjection = XMMatrixPerspectiveFovLH(1.0f, 1.5f, 0.1f, 1000.0f);
    ASSERT_TRUE(visualisation.Render(0.0, &viewProjection, XMVectorSet(0, 0, -50, 1)));

    const std::vector<D3D11Control::CallRecord> vDraws = D3D11Control::GetDrawCalls();
    ASSERT_EQ(vDraws.size(), 5u);
    // Rail, up line and target rail (the camera rail without a target): 11 points each.
    for (std::uint32_t i = 0; i < 3; ++i)
    {
        EXPECT_EQ(vDraws[i].Method, "Draw");
        EXPECT_EQ(vDraws[i].Values, (std::vector<double>{11, 11.0 * i})) << i;
        EXPECT_EQ(vDraws[i].Pipeline->Topology, D3D11_PRIMITIVE_TOPOLOGY_LINESTRIP);
        EXPECT_EQ(vDraws[i].Pipeline->VertexBuffers[0].Buffer,
                  D3D11Control::GetObjectId(visualisation.GetLineVB()));
    }
    EXPECT_EQ(vDraws[3].Method, "DrawIndexed");
    EXPECT_EQ(vDraws[3].Values, (std::vector<double>{48, 0, 0})); // two arrows of 8 triangles
    EXPECT_EQ(vDraws[3].Pipeline->Topology, D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
    EXPECT_EQ(vDraws[3].Pipeline->IndexBuffer, D3D11Control::GetObjectId(visualisation.GetMarkerIB()));
    for (const D3D11Control::CallRecord& draw : vDraws)
        ExpectFixedColorPipeline(draw);
    ASSERT_EQ(m_core.m_vDraws.size(), 5u);
    EXPECT_EQ(m_core.m_vDraws[0].color.x, 1.0f);
    EXPECT_EQ(m_core.m_vDraws[1].color.x, 0.7f);
    EXPECT_EQ(m_core.m_vDraws[2].color.x, 0.4f);
    EXPECT_EQ(m_core.m_vDraws[3].color.z, 1.0f);
    EXPECT_TRUE(SameMatrix(m_core.m_vDraws[3].worldViewProjection, viewProjection));
    // The current orientation at time 0: the unit arrow at the rail's start, scaled to the marker
    // size there (16 + 50 / 30), identity rotation, in the current-orientation colour.
    EXPECT_EQ(vDraws[4].Values, (std::vector<double>{24, 0, 0}));
    EXPECT_EQ(m_core.m_vDraws[4].color.y, 1.0f);
    const float fSize = 16.0f + 50.0f / 30.0f;
    EXPECT_TRUE(SameMatrix(m_core.m_vDraws[4].worldViewProjection,
                           XMMatrixScaling(fSize, fSize, fSize) * viewProjection, 1e-4f));
    // The arrows' buffer holds the CPU geometry picking uses.
    std::vector<std::uint8_t> vBytes;
    ASSERT_TRUE(D3D11Control::ReadSubresource(visualisation.GetMarkerVB(), 0, &vBytes));
    ASSERT_EQ(vBytes.size(), 12u * visualisation.GetMarkerVertices().GetNumMembers());
    EXPECT_EQ(std::memcmp(vBytes.data(), &visualisation.GetMarkerVertices()[0], vBytes.size()), 0);

    // Hidden: nothing is drawn.
    D3D11Control::ClearCallLog();
    m_Dispatcher.Dispatch(KE_MT_EditorCommand, KE_MST_UnhideAll, nullptr);
    visualisation.SelectKey(0);
    m_Dispatcher.Dispatch(KE_MT_EditorCommand, KE_MST_HideSelected, nullptr);
    EXPECT_FALSE(visualisation.Render(0.0, &viewProjection, XMVectorSet(0, 0, -50, 1)));
    EXPECT_TRUE(D3D11Control::GetDrawCalls().empty());
    // Shown again but past the rail's end: no current-orientation arrow.
    m_Dispatcher.Dispatch(KE_MT_EditorCommand, KE_MST_UnhideAll, nullptr);
    EXPECT_TRUE(visualisation.Render(5.0, &viewProjection, XMVectorSet(0, 0, -50, 1)));
    EXPECT_EQ(D3D11Control::GetDrawCalls().size(), 4u);
}
