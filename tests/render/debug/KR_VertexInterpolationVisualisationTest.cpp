#include "render/debug/KR_VertexInterpolationVisualisation.h"

#include "render/debug/KR_DebugCube.h"
#include "render/debug/KR_Ray.h"
#include "render/debug/KR_TranslateGizmo.h"
#include "tests/render/debug/CurveVisualisationTestHelpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <utility>

using namespace DirectX;
using curvevisualisationtest::SetTwoKeys;

namespace
{

// Two keys 10 units ahead of the origin, 5 apart along +x, 2.35 s apart.
struct RailCurve
{
    RailCurve() { SetTwoKeys(&m_Curve, XMVectorSet(0, 0, 10, 0), XMVectorSet(5, 0, 10, 0), 2.35); }

    KB_LinearInterpolation m_Curve{KB_String("rail.int")};
};

class KR_VertexInterpolationVisualisationTest : public curvevisualisationtest::DispatcherTest,
                                                protected RailCurve
{
protected:
    static KR_Ray Ray(float x, float y) { return KR_Ray{XMVectorSet(x, y, 0, 1), XMVectorSet(0, 0, 1, 0)}; }
};

} // namespace

TEST_F(KR_VertexInterpolationVisualisationTest, KeysArePickedAfterTheFirstRender)
{
    KR_VertexInterpolationVisualisation rail(&m_Curve);
    EXPECT_EQ(rail.GetPickDistance(Ray(0, 0)), FLT_MAX); // nothing built yet
    rail.Render(0.0, nullptr, XMVectorSet(0, 0, 0, 1));
    EXPECT_EQ(rail.GetNumSegments(), 24u); // 2.35 s at 10 segments per second
    // The box's half size is 0.01 x the key's distance to the camera.
    EXPECT_NEAR(rail.GetPickDistance(Ray(5, 0)), 10.0f - 0.01f * std::sqrt(125.0f), 1e-4f);

    EXPECT_TRUE(rail.PickControlPoint(Ray(5, 0)));
    EXPECT_EQ(rail.GetSelectedIndex(), 1u);
    EXPECT_TRUE(rail.PickControlPoint(Ray(5, 0))); // the same key again deselects
    EXPECT_EQ(rail.GetSelectedIndex(), KR_VertexInterpolationVisualisation::NO_SELECTION);
    EXPECT_FALSE(rail.PickControlPoint(Ray(2, 0)));
}

TEST_F(KR_VertexInterpolationVisualisationTest, EditorCommandsAndKeyEdits)
{
    KR_VertexInterpolationVisualisation rail(&m_Curve);
    KR_VertexInterpolationVisualisation other(&m_Curve);
    other.SelectControlPoint(0);
    rail.SelectControlPoint(0); // deselects every other rail
    EXPECT_EQ(other.GetSelectedIndex(), KR_VertexInterpolationVisualisation::NO_SELECTION);
    EXPECT_EQ(rail.GetSelectedIndex(), 0u);
    EXPECT_FALSE(rail.Receive(KE_MT_EditorCommand, KE_MST_PreviousControlPoint, nullptr));
    EXPECT_TRUE(rail.Receive(KE_MT_EditorCommand, KE_MST_NextControlPoint, nullptr));
    EXPECT_FALSE(rail.Receive(KE_MT_EditorCommand, KE_MST_NextControlPoint, nullptr));
    EXPECT_EQ(rail.GetSelectedIndex(), 1u);

    m_Curve.HasChanged(true);
    rail.SetSelectedVertex(XMVectorSet(7, 1, 10, 0));
    EXPECT_EQ(XMVectorGetX(m_Curve.GetVertex(1)), 7.0f);
    EXPECT_TRUE(m_Curve.HasChanged(false));

    m_Dispatcher.Dispatch(KE_MT_EditorCommand, KE_MST_HideSelected, nullptr);
    EXPECT_TRUE(rail.IsHidden());
    EXPECT_FALSE(other.IsHidden());
    rail.Render(0.0, nullptr, XMVectorSet(0, 0, 0, 1));
    EXPECT_EQ(rail.GetPickDistance(Ray(7, 1)), FLT_MAX);
    m_Dispatcher.Dispatch(KE_MT_EditorCommand, KE_MST_UnhideAll, nullptr);
    EXPECT_FALSE(rail.IsHidden());
}

namespace
{

class KR_VertexInterpolationVisualisationDrawTest : public curvevisualisationtest::DispatcherDrawTest,
                                                    protected RailCurve
{
protected:
    void TearDown() override
    {
        KR_TranslateGizmo::ReleaseStaticBuffers();
        KR_DebugCube::ReleaseStaticBuffers();
        DispatcherDrawTest::TearDown();
    }

    // The x extent of key k's box in the box vertex buffer.
    static std::pair<float, float> BoxExtentX(ID3D11Buffer* pBuffer, std::uint32_t k)
    {
        std::vector<std::uint8_t> vBytes;
        EXPECT_TRUE(D3D11Control::ReadSubresource(pBuffer, 0, &vBytes));
        float fMin = FLT_MAX, fMax = -FLT_MAX;
        for (std::uint32_t v = 8 * k; v < 8 * k + 8 && (v + 1) * 12 <= vBytes.size(); ++v)
        {
            float x = 0;
            std::memcpy(&x, vBytes.data() + v * 12, sizeof(x));
            fMin = std::min(fMin, x);
            fMax = std::max(fMax, x);
        }
        return {fMin, fMax};
    }
};

} // namespace

TEST_F(KR_VertexInterpolationVisualisationDrawTest, DrawsTheLineStripAndKeyBoxesFollowingAnEditedKey)
{
    KR_VertexInterpolationVisualisation rail(&m_Curve);
    rail.SetColors(KB_Color(1, 0.5f, 0, 1), KB_Color(0, 0, 1, 1), KB_Color(0, 1, 0, 1));
    const XMMATRIX viewProjection = XMMatrixPerspectiveFovLH(1.0f, 1.5f, 0.1f, 100.0f);
    rail.Render(0.0, &viewProjection, XMVectorSet(0, 0, 0, 1));

    std::vector<D3D11Control::CallRecord> vDraws = D3D11Control::GetDrawCalls();
    ASSERT_EQ(vDraws.size(), 2u);
    EXPECT_EQ(vDraws[0].Method, "Draw");
    EXPECT_EQ(vDraws[0].Values, (std::vector<double>{25, 0})); // 24 segments
    EXPECT_EQ(vDraws[0].Pipeline->Topology, D3D11_PRIMITIVE_TOPOLOGY_LINESTRIP);
    EXPECT_EQ(vDraws[0].Pipeline->VertexBuffers[0].Buffer, D3D11Control::GetObjectId(rail.GetLineVB()));
    EXPECT_EQ(vDraws[1].Method, "DrawIndexed");
    EXPECT_EQ(vDraws[1].Values, (std::vector<double>{72, 0, 0})); // 36 per key
    EXPECT_EQ(vDraws[1].Pipeline->Topology, D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
    EXPECT_EQ(vDraws[1].Pipeline->IndexFormat, DXGI_FORMAT_R16_UINT);
    for (const D3D11Control::CallRecord& draw : vDraws)
        ExpectFixedColorPipeline(draw);
    ASSERT_EQ(m_core.m_vDraws.size(), 2u);
    EXPECT_EQ(m_core.m_vDraws[0].color.y, 0.5f);
    EXPECT_EQ(m_core.m_vDraws[1].color.z, 1.0f);
    // World space: the matrix is the view-projection alone.
    EXPECT_TRUE(SameMatrix(m_core.m_vDraws[1].worldViewProjection, viewProjection));
    // Key 1 at (5, 0, 10): half size 0.01 x its distance to the camera.
    const float fHalf = 0.01f * std::sqrt(125.0f);
    std::pair<float, float> extent = BoxExtentX(rail.GetBoxVB(), 1);
    EXPECT_NEAR(extent.first, 5.0f - fHalf, 1e-5f);
    EXPECT_NEAR(extent.second, 5.0f + fHalf, 1e-5f);

    // Moving the key rebuilds the buffers at the next frame; the box follows.
    rail.SelectControlPoint(1);
    rail.SetSelectedVertex(XMVectorSet(8, 0, 6, 0));
    D3D11Control::ClearCallLog();
    m_core.m_vDraws.clear();
    rail.Render(0.0, &viewProjection, XMVectorSet(0, 0, 0, 1));
    extent = BoxExtentX(rail.GetBoxVB(), 1);
    EXPECT_NEAR(extent.first, 8.0f - 0.1f, 1e-5f);
    EXPECT_NEAR(extent.second, 8.0f + 0.1f, 1e-5f);
    vDraws = D3D11Control::GetDrawCalls();
    ASSERT_GE(vDraws.size(), 2u);
    EXPECT_EQ(vDraws[1].Values, (std::vector<double>{72, 0, 0}));
}

TEST_F(KR_VertexInterpolationVisualisationDrawTest, FailedBuffersDrawNothing)
{
    KR_VertexInterpolationVisualisation rail(&m_Curve);
    const XMMATRIX viewProjection = XMMatrixIdentity();
    D3D11Control::FailNext("CreateBuffer");
    D3D11Control::FailNext("CreateBuffer");
    D3D11Control::FailNext("CreateBuffer");
    rail.Render(0.0, &viewProjection, XMVectorSet(0, 0, 0, 1));
    EXPECT_EQ(rail.GetLineVB(), nullptr);
    EXPECT_TRUE(D3D11Control::GetDrawCalls().empty());
    EXPECT_EQ(rail.GetNumSegments(), 24u); // picking still has its geometry
}

TEST_F(KR_VertexInterpolationVisualisationDrawTest, GizmoAtTheSelectedKeyAndTheTravellingMarkerWhileActive)
{
    ASSERT_TRUE(KR_DebugCube::CreateStaticBuffers());
    ASSERT_TRUE(KR_TranslateGizmo::CreateStaticBuffers());
    KR_VertexInterpolationVisualisation rail(&m_Curve);
    rail.SetColors(KB_Color(1, 0, 0, 1), KB_Color(0, 0, 1, 1), KB_Color(0, 1, 0, 1));
    rail.SelectControlPoint(1);
    const XMMATRIX viewProjection = XMMatrixIdentity();
    D3D11Control::ClearCallLog();
    // At 1.175 s (half way) the curve is at (2.5, 0, 10).
    rail.Render(1.175, &viewProjection, XMVectorSet(0, 0, 0, 1));
    const std::vector<D3D11Control::CallRecord> vDraws = D3D11Control::GetDrawCalls();
    ASSERT_EQ(vDraws.size(), 2u + 6u + 1u); // rail, boxes, six gizmo handles, the marker
    EXPECT_EQ(vDraws[2].Pipeline->IndexBuffer,
              D3D11Control::GetObjectId(KR_TranslateGizmo::GetIndexBuffer()));
    EXPECT_EQ(vDraws[8].Pipeline->IndexBuffer, D3D11Control::GetObjectId(KR_DebugCube::GetIndexBuffer()));
    EXPECT_EQ(vDraws[8].Values, (std::vector<double>{36, 0, 0}));
    ASSERT_EQ(m_core.m_vDraws.size(), 9u);
    // The gizmo at key 1, (5, 0, 10): scale 0.01 x its distance.
    const float fKey = 0.01f * std::sqrt(125.0f);
    EXPECT_TRUE(SameMatrix(m_core.m_vDraws[2].worldViewProjection,
                           XMMatrixScaling(fKey, fKey, fKey) * XMMatrixTranslation(5, 0, 10)));
    // The marker: 0.011 x its distance, in the selection colour.
    const float fMarker = 0.011f * std::sqrt(2.5f * 2.5f + 100.0f);
    EXPECT_TRUE(SameMatrix(m_core.m_vDraws[8].worldViewProjection,
                           XMMatrixScaling(fMarker, fMarker, fMarker) * XMMatrixTranslation(2.5f, 0, 10)));
    EXPECT_EQ(m_core.m_vDraws[8].color.y, 1.0f);

    // Past the curve's end there is no marker.
    D3D11Control::ClearCallLog();
    rail.Render(10.0, &viewProjection, XMVectorSet(0, 0, 0, 1));
    EXPECT_EQ(D3D11Control::GetDrawCalls().size(), 8u);
}

TEST_F(KR_VertexInterpolationVisualisationTest, KeysPastTheSixteenBitIndexRangeGetNoBox)
{
    KB_LinearInterpolation curve{KB_String("long.int")};
    for (int i = 0; i < 8200; ++i)
        curve.InsertVertex(XMVectorSet(static_cast<float>(i), 0, 10, 0), i * 0.001);
    curve.SetEndTime(8.2);
    KR_VertexInterpolationVisualisation rail(&curve);
    // Near the last keys their boxes are small and apart.
    rail.Render(0.0, nullptr, XMVectorSet(8193, 0, 0, 1));
    EXPECT_TRUE(rail.PickControlPoint(Ray(8191, 0)));
    EXPECT_EQ(rail.GetSelectedIndex(), 8191u);
    EXPECT_FALSE(rail.PickControlPoint(Ray(8195, 0))); // no box, and no wrapped one either
}
