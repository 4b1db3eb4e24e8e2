#include "render/camera/KR_ViewFrustum.h"

#include "render/camera/KR_Camera.h"
#include "render/models/KR_BoundingBox.h"
#include "tests/render/debug/DebugDrawingTestHelpers.h"

#include <gtest/gtest.h>

using namespace DirectX;

namespace
{

// The frustum's lines drawn through the developer drawing's program on the stand-in device.
class KR_ViewFrustumDrawTest : public debugdrawingtest::DebugDrawingTest
{
protected:
    void TearDown() override
    {
        m_engine->SetDeveloperBuild(false);
        DebugDrawingTest::TearDown();
    }
};

} // namespace

TEST_F(KR_ViewFrustumDrawTest, OutsideDeveloperModeNothingIsMadeOrDrawn)
{
    const std::uint64_t uiBuffers = D3D11Control::GetCallCount("CreateBuffer");
    KR_Camera camera;
    camera.Update(0.0);
    const XMMATRIX viewProjection = camera.GetViewProjectionMatrix();
    EXPECT_EQ(camera.GetFrustum()->GetLineIB(), nullptr);
    D3D11Control::ClearCallLog();
    EXPECT_FALSE(camera.GetFrustum()->Render(0.0, &viewProjection));
    EXPECT_EQ(D3D11Control::GetCallCount("CreateBuffer"), uiBuffers);
    EXPECT_TRUE(D3D11Control::GetCallLog().empty());
}

TEST_F(KR_ViewFrustumDrawTest, LinesDrawnGreenThroughTheFixedColourProgram)
{
    m_engine->SetDeveloperBuild(true);
    KR_Camera camera;
    camera.Update(0.0);
    KR_ViewFrustum* pFrustum = camera.GetFrustum();
    ASSERT_NE(pFrustum->GetLineIB(), nullptr);
    const XMMATRIX viewProjection = XMMatrixPerspectiveFovLH(1.0f, 1.5f, 0.1f, 1000.0f);
    D3D11Control::ClearCallLog();
    ASSERT_TRUE(pFrustum->Render(0.0, &viewProjection));
    const std::uint64_t uiFirstVB = D3D11Control::GetObjectId(pFrustum->GetLineVB());
    ASSERT_TRUE(pFrustum->Render(0.0, &viewProjection)); // a new vertex buffer each time
    EXPECT_NE(D3D11Control::GetObjectId(pFrustum->GetLineVB()), uiFirstVB);

    const std::vector<D3D11Control::CallRecord> vDraws = D3D11Control::GetDrawCalls();
    ASSERT_EQ(vDraws.size(), 2u);
    for (const D3D11Control::CallRecord& draw : vDraws)
    {
        EXPECT_EQ(draw.Method, "DrawIndexed");
        EXPECT_EQ(draw.Values, (std::vector<double>{28, 0, 0})); // 14 lines as indexed pairs
        EXPECT_EQ(draw.Pipeline->Topology, D3D11_PRIMITIVE_TOPOLOGY_LINELIST);
        EXPECT_EQ(draw.Pipeline->IndexBuffer, D3D11Control::GetObjectId(pFrustum->GetLineIB()));
        EXPECT_EQ(draw.Pipeline->IndexFormat, DXGI_FORMAT_R16_UINT);
        ExpectFixedColorPipeline(draw);
    }
    EXPECT_EQ(vDraws[1].Pipeline->VertexBuffers[0].Buffer, D3D11Control::GetObjectId(pFrustum->GetLineVB()));
    std::vector<std::uint8_t> vBytes;
    ASSERT_TRUE(D3D11Control::ReadSubresource(pFrustum->GetLineVB(), 0, &vBytes));
    EXPECT_EQ(vBytes.size(), 108u);

    ASSERT_EQ(m_core.m_vDraws.size(), 2u);
    // The points are in world space: the viewer's view-projection alone.
    EXPECT_TRUE(SameMatrix(m_core.m_vDraws[0].worldViewProjection, viewProjection));
    EXPECT_EQ(m_core.m_vDraws[0].color.x, 0.0f);
    EXPECT_EQ(m_core.m_vDraws[0].color.y, 1.0f);
}

TEST_F(KR_ViewFrustumDrawTest, AFrustumMadeBeforeTheMaterialsTakesItsProgramWhenDrawn)
{
    m_engine->SetDeveloperBuild(true);
    m_engine->SetMaterialManager(nullptr);
    KR_Camera camera;
    camera.Update(0.0);
    const XMMATRIX viewProjection = camera.GetViewProjectionMatrix();
    D3D11Control::ClearCallLog();
    EXPECT_FALSE(camera.GetFrustum()->Render(0.0, &viewProjection)); // no program: nothing drawn
    EXPECT_TRUE(D3D11Control::GetDrawCalls().empty());

    m_engine->SetMaterialManager(&m_materials);
    ASSERT_TRUE(camera.GetFrustum()->Render(0.0, &viewProjection));
    const std::vector<D3D11Control::CallRecord> vDraws = D3D11Control::GetDrawCalls();
    ASSERT_EQ(vDraws.size(), 1u);
    ExpectFixedColorPipeline(vDraws[0]);
}

TEST(KR_ViewFrustumCulling, TurnedAndScaledBoxesThatReachIntoTheViewAreKept)
{
    // A camera at the origin looking along +z: near 0.1, vertical field of view 45 degrees, 16:9.
    XMVECTOR planes[KR_ViewFrustum::NUM_PLANES];
    ExtractFrustumPlanes(XMMatrixPerspectiveFovLH(XMConvertToRadians(45.0f), 16.0f / 9.0f, 0.1f, 200.0f),
                         planes);
    const KR_BoundingBox unit(XMVectorSet(0, 0, 0, 1), XMVectorSet(1, 1, 1, 1));
    const KR_BoundingBox half(XMVectorSet(0, 0, 0, 1), XMVectorSet(0.5f, 0.5f, 0.5f, 1));
    const XMMATRIX turn = XMMatrixRotationY(XMConvertToRadians(45.0f));
    const XMMATRIX doubled = XMMatrixScaling(2.0f, 2.0f, 2.0f);
    // The box's centre lies behind the camera, and its min and max corners both land at z = -0.3,
    // but its corner (0, 0, 1) lands at about (0.007, -0.5, 0.407), inside the view.
    const XMMATRIX reaching = turn * XMMatrixTranslation(-0.7f, -0.5f, -0.3f);
    const XMMATRIX behind = turn * XMMatrixTranslation(-0.7f, -0.5f, -50.3f);
    const XMMATRIX beside = turn * XMMatrixTranslation(-20.0f, -0.5f, 5.0f);
    struct Case
    {
        const char* pName;
        const KR_BoundingBox* pBox;
        XMMATRIX world;
        bool bVisible;
    };
    const Case cases[] = {
        {"turned, reaching in", &unit, reaching, true},
        {"turned, 50 behind", &unit, behind, false},
        {"turned, beside the left plane", &unit, beside, false},
        {"half box scaled by 2, reaching in", &half, doubled * reaching, true},
        {"half box scaled by 2, 50 behind", &half, doubled * behind, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(KR_ViewFrustum::IsBoxInside(planes, c.pBox, &c.world), c.bVisible) << c.pName;
}
