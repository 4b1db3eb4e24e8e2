#include "render/debug/KR_DebugPolyhedron.h"
#include "render/debug/KR_Ray.h"
#include "tests/render/debug/DebugDrawingTestHelpers.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>

using namespace DirectX;

namespace
{

KR_Ray MakeRay(float x, float y, float z, float dx, float dy, float dz)
{
    return KR_Ray{XMVectorSet(x, y, z, 1.0f), XMVectorSet(dx, dy, dz, 0.0f)};
}

} // namespace

TEST(KR_DebugPolyhedron, PickDistanceFollowsTheWorldMatrixInWorldUnits)
{
    KR_DebugPolyhedron marker;
    const KR_Ray ray = MakeRay(0, 0, -10, 0, 0, 1);
    EXPECT_FLOAT_EQ(marker.GetPickDistance(ray), 9.0f);
    EXPECT_TRUE(marker.IsInverseValid());
    marker.SetWorldMatrix(XMMatrixTranslation(0, 5, 0));
    EXPECT_FALSE(marker.IsInverseValid());
    EXPECT_EQ(marker.GetPickDistance(ray), FLT_MAX);
    marker.SetWorldMatrix(XMMatrixScaling(2, 2, 2));
    EXPECT_FLOAT_EQ(marker.GetPickDistance(ray), 8.0f);
    // From inside, the far face counts.
    EXPECT_FLOAT_EQ(marker.GetPickDistance(MakeRay(0, 0, 0, 0, 0, 1)), 2.0f);
}

TEST(KR_DebugPolyhedron, RayOriginAndDirectionIgnoreTheirW)
{
    KR_DebugPolyhedron marker;
    marker.SetWorldMatrix(XMMatrixTranslation(0, 5, 0));
    const KR_Ray ray = MakeRay(0, 5, -10, 0, 0, 1);
    EXPECT_FLOAT_EQ(marker.GetPickDistance(ray), 9.0f);
    // A point with w = 0 would miss the translation; a direction with w = 1 would gain it.
    EXPECT_FLOAT_EQ(marker.GetPickDistance({XMVectorSetW(ray.origin, 0.0f), ray.direction}), 9.0f);
    EXPECT_FLOAT_EQ(marker.GetPickDistance({ray.origin, XMVectorSetW(ray.direction, 1.0f)}), 9.0f);
}

class KR_DebugPolyhedronDrawTest : public debugdrawingtest::DebugDrawingTest
{
protected:
    void TearDown() override
    {
        KR_DebugPolyhedron::ReleaseStaticBuffers();
        DebugDrawingTest::TearDown();
    }
};

TEST_F(KR_DebugPolyhedronDrawTest, DrawsTheSharedBuffersWithTheInstancesMatrixAndColour)
{
    ASSERT_TRUE(KR_DebugPolyhedron::CreateStaticBuffers());
    ID3D11Buffer* pVertices = KR_DebugPolyhedron::GetVertexBuffer();
    ID3D11Buffer* pIndices = KR_DebugPolyhedron::GetIndexBuffer();
    std::vector<std::uint8_t> vBytes;
    ASSERT_TRUE(D3D11Control::ReadSubresource(pVertices, 0, &vBytes));
    ASSERT_EQ(vBytes.size(), 288u); // 24 corners x 12 bytes
    float afFirst[3];
    std::memcpy(afFirst, vBytes.data(), sizeof(afFirst));
    EXPECT_FLOAT_EQ(afFirst[1], 1.0f);
    ASSERT_TRUE(D3D11Control::ReadSubresource(pIndices, 0, &vBytes));
    EXPECT_EQ(vBytes.size(), 264u); // 132 u16 indices
    // A second call makes nothing new.
    ASSERT_TRUE(KR_DebugPolyhedron::CreateStaticBuffers());
    EXPECT_EQ(KR_DebugPolyhedron::GetVertexBuffer(), pVertices);

    D3D11Control::ClearCallLog();
    KR_DebugPolyhedron marker;
    const XMMATRIX world = XMMatrixScaling(2, 2, 2) * XMMatrixTranslation(1, 2, 3);
    marker.SetWorldMatrix(world);
    marker.SetColor({0.25f, 0.5f, 1.0f, 1.0f});
    const XMMATRIX viewProjection = XMMatrixPerspectiveFovLH(1.0f, 1.5f, 0.1f, 100.0f);
    ASSERT_TRUE(marker.Render(&viewProjection));

    const std::vector<D3D11Control::CallRecord> vDraws = D3D11Control::GetDrawCalls();
    ASSERT_EQ(vDraws.size(), 1u);
    EXPECT_EQ(vDraws[0].Method, "DrawIndexed");
    EXPECT_EQ(vDraws[0].Values, (std::vector<double>{132, 0, 0}));
    const D3D11Control::DrawPipeline& pipeline = *vDraws[0].Pipeline;
    EXPECT_EQ(pipeline.Topology, D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
    EXPECT_EQ(pipeline.IndexFormat, DXGI_FORMAT_R16_UINT);
    EXPECT_EQ(pipeline.VertexBuffers[0].Buffer, D3D11Control::GetObjectId(pVertices));
    EXPECT_EQ(pipeline.IndexBuffer, D3D11Control::GetObjectId(pIndices));
    ExpectFixedColorPipeline(vDraws[0]);

    ASSERT_EQ(m_core.m_vDraws.size(), 1u);
    const debugdrawingtest::ShaderCoreDraw& draw = m_core.m_vDraws[0];
    EXPECT_TRUE(SameMatrix(draw.worldViewProjection, world * viewProjection));
    EXPECT_EQ(draw.color.x, 0.25f); // handed over as given, not raised
    EXPECT_EQ(draw.color.z, 1.0f);
    EXPECT_EQ(marker.GetColor().x, 0.25f);
}

TEST_F(KR_DebugPolyhedronDrawTest, WithoutItsBuffersNothingIsDrawn)
{
    const XMMATRIX identity = XMMatrixIdentity();
    EXPECT_FALSE(KR_DebugPolyhedron::Draw(&identity, &identity, {1, 1, 1, 1})); // never made
    D3D11Control::FailNext("CreateBuffer");
    EXPECT_FALSE(KR_DebugPolyhedron::CreateStaticBuffers());
    EXPECT_EQ(KR_DebugPolyhedron::GetVertexBuffer(), nullptr);
    EXPECT_FALSE(KR_DebugPolyhedron::Draw(&identity, &identity, {1, 1, 1, 1}));
    EXPECT_TRUE(D3D11Control::GetDrawCalls().empty());
    EXPECT_TRUE(m_core.m_vDraws.empty());
    // The next attempt makes the missing one; after release nothing is drawn again.
    EXPECT_TRUE(KR_DebugPolyhedron::CreateStaticBuffers());
    EXPECT_TRUE(KR_DebugPolyhedron::Draw(&identity, &identity, {1, 1, 1, 1}));
    KR_DebugPolyhedron::ReleaseStaticBuffers();
    EXPECT_FALSE(KR_DebugPolyhedron::Draw(&identity, &identity, {1, 1, 1, 1}));
}
