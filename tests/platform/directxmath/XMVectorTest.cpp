#include "platform/directxmath/DirectXMath.h"
#include "tests/platform/directxmath/XMTestSupport.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

using namespace DirectX;
using xmtest::ExpectVectorEq;
using xmtest::ExpectVectorNear;

TEST(XMVector, LaneWiseArithmeticAndOperators)
{
    const XMVECTOR a = XMVectorSet(1.0f, 2.0f, 3.0f, 4.0f);
    const XMVECTOR b = XMVectorSet(2.0f, 4.0f, 8.0f, 16.0f);
    ExpectVectorEq(a + b, 3.0f, 6.0f, 11.0f, 20.0f);
    ExpectVectorEq(b - a, 1.0f, 2.0f, 5.0f, 12.0f);
    ExpectVectorEq(a * b, 2.0f, 8.0f, 24.0f, 64.0f);
    ExpectVectorEq(b / a, 2.0f, 2.0f, 8.0f / 3.0f, 4.0f);
    ExpectVectorEq(2.0f * a, 2.0f, 4.0f, 6.0f, 8.0f);
    ExpectVectorEq(a * 2.0f, 2.0f, 4.0f, 6.0f, 8.0f);
    ExpectVectorEq(b / 2.0f, 1.0f, 2.0f, 4.0f, 8.0f);
    ExpectVectorEq(-a, -1.0f, -2.0f, -3.0f, -4.0f);
    XMVECTOR c = a;
    c += b;
    c -= a;
    c *= 0.5f;
    ExpectVectorEq(c, 1.0f, 2.0f, 4.0f, 8.0f);
    ExpectVectorEq(XMVectorLerp(a, b, 0.5f), 1.5f, 3.0f, 5.5f, 10.0f);
    ExpectVectorEq(XMVectorPow(b, XMVectorReplicate(0.5f)), std::sqrt(2.0f), 2.0f, std::sqrt(8.0f), 4.0f);
    ExpectVectorEq(XMVectorSplatZ(a), 3.0f, 3.0f, 3.0f, 3.0f);
    ExpectVectorEq(XMVectorSetY(a, 7.0f), 1.0f, 7.0f, 3.0f, 4.0f);
    EXPECT_EQ(XMVectorGetW(a), 4.0f);
}

TEST(XMVector, MinMaxFromTheLargestFiniteBoundsYieldThePoint)
{
    // The empty-box idiom: extending (+FLT_MAX, -FLT_MAX) by a point gives exactly that point.
    const XMVECTOR p = XMVectorSet(-1.0f, 0.0f, 5.0f, 1.0f);
    ExpectVectorEq(XMVectorMin(XMVectorReplicate(FLT_MAX), p), -1.0f, 0.0f, 5.0f, 1.0f);
    ExpectVectorEq(XMVectorMax(XMVectorReplicate(-FLT_MAX), p), -1.0f, 0.0f, 5.0f, 1.0f);
    const XMVECTOR q = XMVectorSet(0.0f, -2.0f, 6.0f, 1.0f);
    ExpectVectorEq(XMVectorMin(p, q), -1.0f, -2.0f, 5.0f, 1.0f);
    ExpectVectorEq(XMVectorMax(p, q), 0.0f, 0.0f, 6.0f, 1.0f);
}

TEST(XMVector, DotCrossAndLength)
{
    const XMVECTOR x = g_XMIdentityR0;
    const XMVECTOR y = g_XMIdentityR1;
    ExpectVectorEq(XMVector3Cross(x, y), 0.0f, 0.0f, 1.0f, 0.0f);
    ExpectVectorEq(XMVector3Cross(y, x), 0.0f, 0.0f, -1.0f, 0.0f);
    const XMVECTOR v = XMVectorSet(3.0f, 4.0f, 0.0f, 100.0f);
    ExpectVectorEq(XMVector3LengthSq(v), 25.0f, 25.0f, 25.0f, 25.0f);
    EXPECT_EQ(XMVectorGetX(XMVector3Length(v)), 5.0f);
    EXPECT_EQ(XMVectorGetX(XMVector4Length(XMVectorSet(1.0f, 1.0f, 1.0f, 1.0f))), 2.0f);
    EXPECT_EQ(XMVectorGetY(XMVector3Dot(v, XMVectorSet(1.0f, 2.0f, 3.0f, 4.0f))), 11.0f);
}

TEST(XMVector, NormalizeDividesAllLanesAndHandlesZeroAndInfinity)
{
    ExpectVectorEq(XMVector3Normalize(XMVectorSet(3.0f, 4.0f, 0.0f, 10.0f)), 0.6f, 0.8f, 0.0f, 2.0f);
    ExpectVectorEq(XMVector3Normalize(XMVectorZero()), 0.0f, 0.0f, 0.0f, 0.0f);
    // w alone does not count for the 3-component length.
    ExpectVectorEq(XMVector3Normalize(XMVectorSet(0.0f, 0.0f, 0.0f, 5.0f)), 0.0f, 0.0f, 0.0f, 0.0f);

    const XMVECTOR notFinite[] = {XMVectorSet(INFINITY, 0.0f, 0.0f, 0.0f), XMVectorSet(1.0f, NAN, 0.0f, 0.0f),
                                  XMVectorSet(-INFINITY, 1e30f, 0.0f, 0.0f)};
    for (const XMVECTOR& v : notFinite)
    {
        const XMVECTOR n = XMVector3Normalize(v);
        for (float lane : n.f)
            EXPECT_TRUE(std::isnan(lane));
    }

    ExpectVectorEq(XMVector4Normalize(XMVectorSet(0.0f, 0.0f, 0.0f, 2.0f)), 0.0f, 0.0f, 0.0f, 1.0f);
    ExpectVectorEq(XMVector4Normalize(XMVectorZero()), 0.0f, 0.0f, 0.0f, 0.0f);
    EXPECT_TRUE(std::isnan(XMVectorGetZ(XMVector4Normalize(XMVectorSet(0.0f, 0.0f, 0.0f, -INFINITY)))));
}

// A finite length normalises even where its square overflows or underflows a float.
TEST(XMVector, NormalizeScalesLongAndTinyVectors)
{
    const float h = 0.70710677f; // 1 / sqrt(2) in float
    ExpectVectorNear(XMVector3Normalize(XMVectorSet(1e20f, -1e20f, 0.0f, 1e20f)), h, -h, 0.0f, h, 1e-6f);
    ExpectVectorEq(XMVector3Normalize(XMVectorSet(1e-30f, 0.0f, 0.0f, 0.0f)), 1.0f, 0.0f, 0.0f, 0.0f);
    ExpectVectorNear(XMVector3Normalize(XMVectorSet(0.0f, 3e-40f, 4e-40f, 0.0f)), 0.0f, 0.6f, 0.8f, 0.0f,
                     1e-6f);
    const XMVECTOR q = XMVector4Normalize(XMVectorSet(0.0f, 0.0f, 1e20f, 1.0f));
    ExpectVectorEq(q, 0.0f, 0.0f, 1.0f, 1e-20f);
    const float fMax = std::numeric_limits<float>::max();
    ExpectVectorEq(XMVector4Normalize(XMVectorSet(fMax, -fMax, fMax, -fMax)), 0.5f, -0.5f, 0.5f, -0.5f);
    ExpectVectorEq(XMQuaternionNormalize(XMVectorSet(0.0f, 1e25f, 0.0f, 0.0f)), 0.0f, 1.0f, 0.0f, 0.0f);
}

TEST(XMVector, TransformsTreatTheFourthLaneAsTheirKindSays)
{
    const XMMATRIX m = XMMatrixScaling(2.0f, 2.0f, 2.0f) * XMMatrixTranslation(1.0f, 2.0f, 3.0f);
    const XMVECTOR v = XMVectorSet(1.0f, 1.0f, 1.0f, 7.0f);
    ExpectVectorEq(XMVector3Transform(v, m), 3.0f, 4.0f, 5.0f, 1.0f);
    ExpectVectorEq(XMVector3TransformNormal(v, m), 2.0f, 2.0f, 2.0f, 0.0f);
    ExpectVectorEq(XMVector4Transform(XMVectorSetW(v, 0.0f), m), 2.0f, 2.0f, 2.0f, 0.0f);
    ExpectVectorEq(XMVector4Transform(XMVectorSetW(v, 1.0f), m), 3.0f, 4.0f, 5.0f, 1.0f);

    // TransformCoord divides by the resulting w (a projection's depth).
    const XMMATRIX projection = XMMatrixPerspectiveFovLH(XM_PIDIV2, 1.0f, 1.0f, 11.0f);
    const XMVECTOR onFar = XMVector3TransformCoord(XMVectorSet(0.0f, 0.0f, 11.0f, 0.0f), projection);
    ExpectVectorNear(onFar, 0.0f, 0.0f, 1.0f, 1.0f, 1e-6f);
    const XMVECTOR onNear = XMVector3TransformCoord(XMVectorSet(0.0f, 0.0f, 1.0f, 0.0f), projection);
    ExpectVectorNear(onNear, 0.0f, 0.0f, 0.0f, 1.0f, 1e-6f);
}

TEST(XMVector, ScalarHelpers)
{
    EXPECT_EQ(XMScalarACos(1.0000001f), 0.0f);
    EXPECT_FLOAT_EQ(XMScalarACos(-1.5f), XM_PI);
    EXPECT_TRUE(std::isnan(XMScalarACos(NAN)));
    float s, c;
    XMScalarSinCos(&s, &c, XM_PIDIV2);
    EXPECT_FLOAT_EQ(s, 1.0f);
    EXPECT_NEAR(c, 0.0f, 1e-7f);
    EXPECT_EQ(XMScalarCos(0.0f), 1.0f);
}

TEST(XMPlane, NormalizeAndDistances)
{
    const XMVECTOR plane = XMPlaneNormalize(XMVectorSet(0.0f, 0.0f, 2.0f, -4.0f));
    ExpectVectorEq(plane, 0.0f, 0.0f, 1.0f, -2.0f);
    EXPECT_EQ(XMVectorGetX(XMPlaneDotCoord(plane, XMVectorSet(5.0f, 5.0f, 3.0f, 0.0f))), 1.0f);
    EXPECT_EQ(XMVectorGetX(XMPlaneDotNormal(plane, XMVectorSet(5.0f, 5.0f, 3.0f, 9.0f))), 3.0f);
    EXPECT_EQ(XMVectorGetX(XMPlaneDot(plane, XMVectorSet(0.0f, 0.0f, 3.0f, 2.0f))), -1.0f);
    // An infinite or a zero normal becomes the all-zero plane rather than infinities; a long
    // finite one normalises.
    ExpectVectorEq(XMPlaneNormalize(XMVectorSet(INFINITY, 0.0f, 0.0f, 1.0f)), 0.0f, 0.0f, 0.0f, 0.0f);
    ExpectVectorEq(XMPlaneNormalize(XMVectorSet(0.0f, -1e30f, 0.0f, 2e30f)), 0.0f, -1.0f, 0.0f, 2.0f);
    ExpectVectorEq(XMPlaneNormalize(XMVectorSet(0.0f, 0.0f, 0.0f, 1.0f)), 0.0f, 0.0f, 0.0f, 0.0f);
}
