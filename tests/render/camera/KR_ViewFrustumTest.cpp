#include "render/camera/KR_ViewFrustum.h"

#include "render/camera/KR_Camera.h"
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
