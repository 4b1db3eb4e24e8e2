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

TEST(KR_Ray, PlaneAndTriangleTests)
{
    float t = 1.0f;
    EXPECT_FALSE(IntersectRayPlane(XMVectorSet(0, 1, 0, 0), MakeRay(0, 1, 0, 1, 0, 0), &t)); // parallel
    EXPECT_EQ(t, 0.0f);
    EXPECT_FALSE(IntersectRayPlane(XMVectorSet(0, 0, 1, 5), MakeRay(0, 0, 0, 0, 0, 1), &t)); // behind
    EXPECT_FLOAT_EQ(t, -5.0f);
    XMVECTOR point = XMVectorZero();
    EXPECT_TRUE(IntersectRayPlane(XMVectorSet(0, 0, 1, -5), MakeRay(1, 2, 0, 0, 0, 1), &point));
    EXPECT_FLOAT_EQ(XMVectorGetZ(point), 5.0f);
    EXPECT_FLOAT_EQ(XMVectorGetX(point), 1.0f);

    const XMFLOAT3 a(0, 0, 0), b(1, 0, 0), c(0, 1, 0);
    EXPECT_TRUE(IntersectRayTriangle(MakeRay(0.5f, 0.5f, -1, 0, 0, 1), a, b, c, &t)); // on the edge u + v = 1
    EXPECT_FLOAT_EQ(t, 1.0f);
    EXPECT_FALSE(IntersectRayTriangle(MakeRay(0.6f, 0.6f, -1, 0, 0, 1), a, b, c, &t));
    EXPECT_EQ(t, FLT_MAX);
}
