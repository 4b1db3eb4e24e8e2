#include "render/debug/KR_DebugCube.h"

#include "render/debug/KR_Ray.h"
#include "tests/render/debug/DebugDrawingTestHelpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <map>
#include <utility>

using namespace DirectX;

namespace
{

KR_Ray MakeRay(float x, float y, float z, float dx, float dy, float dz)
{
    return KR_Ray{XMVectorSet(x, y, z, 1.0f), XMVectorSet(dx, dy, dz, 0.0f)};
}

class KR_DebugCubeDrawTest : public debugdrawingtest::DebugDrawingTest
{
protected:
    void TearDown() override
    {
        KR_DebugCube::ReleaseStaticBuffers();
        DebugDrawingTest::TearDown();
    }
};

} // namespace

TEST(KR_DebugCube, PickDistanceFollowsTheWorldMatrixInWorldUnits)
{
    KR_DebugCube cube;
    const KR_Ray ray = MakeRay(0, 0, -10, 0, 0, 1);
    EXPECT_FLOAT_EQ(cube.GetPickDistance(ray), 9.0f); // along the diagonal of the z = -1 face
    cube.SetWorldMatrix(XMMatrixTranslation(0, 5, 0));
    EXPECT_EQ(cube.GetPickDistance(ray), FLT_MAX);
    cube.SetWorldMatrix(XMMatrixScaling(2, 2, 2));
    EXPECT_FLOAT_EQ(cube.GetPickDistance(ray), 8.0f);
    EXPECT_FLOAT_EQ(cube.GetPickDistance(MakeRay(0.5f, 0.25f, 0, 0, 0, 1)), 2.0f); // from inside
    // A singular matrix (scale 0) reads as a miss, not as an error.
    cube.SetWorldMatrix(XMMatrixScaling(0, 0, 0));
    EXPECT_EQ(cube.GetPickDistance(ray), FLT_MAX);
}

TEST_F(KR_DebugCubeDrawTest, DrawsThirtySixIndicesWithTheInstancesMatrixAndColour)
{
    ASSERT_TRUE(KR_DebugCube::CreateStaticBuffers());
    std::vector<std::uint8_t> vBytes;
    ASSERT_TRUE(D3D11Control::ReadSubresource(KR_DebugCube::GetVertexBuffer(), 0, &vBytes));
    EXPECT_EQ(vBytes.size(), 96u);
    ASSERT_TRUE(D3D11Control::ReadSubresource(KR_DebugCube::GetIndexBuffer(), 0, &vBytes));
    ASSERT_EQ(vBytes.size(), 72u);
    // Closed: every edge is shared by exactly two triangles.
    std::map<std::pair<std::uint16_t, std::uint16_t>, int> edges;
    const auto* pIndices = reinterpret_cast<const std::uint16_t*>(vBytes.data());
    for (int t = 0; t < 12; ++t)
        for (int e = 0; e < 3; ++e)
        {
            const std::uint16_t a = pIndices[3 * t + e], b = pIndices[3 * t + (e + 1) % 3];
            ++edges[{std::min(a, b), std::max(a, b)}];
        }
    for (const auto& edge : edges)
        EXPECT_EQ(edge.second, 2) << edge.first.first << "-" << edge.first.second;

    KR_DebugCube cube;
    const XMMATRIX world = XMMatrixTranslation(0, 1, 2);
    cube.SetWorldMatrix(world);
    cube.SetColor({0, 1, 0, 1});
    const XMMATRIX viewProjection = XMMatrixPerspectiveFovLH(1.0f, 1.5f, 0.1f, 100.0f);
    D3D11Control::ClearCallLog();
    ASSERT_TRUE(cube.Render(&viewProjection));
    const std::vector<D3D11Control::CallRecord> vDraws = D3D11Control::GetDrawCalls();
    ASSERT_EQ(vDraws.size(), 1u);
    EXPECT_EQ(vDraws[0].Values, (std::vector<double>{36, 0, 0}));
    EXPECT_EQ(vDraws[0].Pipeline->Topology, D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
    EXPECT_EQ(vDraws[0].Pipeline->IndexBuffer, D3D11Control::GetObjectId(KR_DebugCube::GetIndexBuffer()));
    ExpectFixedColorPipeline(vDraws[0]);
    ASSERT_EQ(m_core.m_vDraws.size(), 1u);
    EXPECT_TRUE(SameMatrix(m_core.m_vDraws[0].worldViewProjection, world * viewProjection));
    EXPECT_EQ(m_core.m_vDraws[0].color.y, 1.0f);
    KR_DebugCube::ReleaseStaticBuffers();
    EXPECT_FALSE(cube.Render(&viewProjection));
}
