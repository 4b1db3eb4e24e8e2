#include "render/debug/KR_DebugPolyhedron.h"
#include "render/debug/KR_Ray.h"

#include <gtest/gtest.h>

#include <cfloat>

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
