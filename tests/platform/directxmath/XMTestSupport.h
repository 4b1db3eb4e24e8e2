#pragma once
// Comparison helpers for the math stand-in's tests.

#include "platform/directxmath/DirectXMath.h"

#include <gtest/gtest.h>

namespace xmtest
{

inline void ExpectVectorNear(const DirectX::XMVECTOR& v, float x, float y, float z, float w,
                             float tolerance = 1e-5f)
{
    EXPECT_NEAR(v.f[0], x, tolerance);
    EXPECT_NEAR(v.f[1], y, tolerance);
    EXPECT_NEAR(v.f[2], z, tolerance);
    EXPECT_NEAR(v.f[3], w, tolerance);
}

inline void ExpectVectorEq(const DirectX::XMVECTOR& v, float x, float y, float z, float w)
{
    EXPECT_EQ(v.f[0], x);
    EXPECT_EQ(v.f[1], y);
    EXPECT_EQ(v.f[2], z);
    EXPECT_EQ(v.f[3], w);
}

inline void ExpectVectorEq(const DirectX::XMVECTOR& v, const DirectX::XMVECTOR& expected)
{
    ExpectVectorEq(v, expected.f[0], expected.f[1], expected.f[2], expected.f[3]);
}

inline void ExpectVectorNear(const DirectX::XMVECTOR& v, const DirectX::XMVECTOR& expected,
                             float tolerance = 1e-5f)
{
    ExpectVectorNear(v, expected.f[0], expected.f[1], expected.f[2], expected.f[3], tolerance);
}

inline void ExpectMatrixNear(const DirectX::XMMATRIX& a, const DirectX::XMMATRIX& b, float tolerance = 1e-5f)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(a.r[r].f[c], b.r[r].f[c], tolerance) << "row " << r << " column " << c;
}

// Same rotation: q and -q are equal rotations.
inline void ExpectSameRotation(const DirectX::XMVECTOR& a, const DirectX::XMVECTOR& b,
                               float tolerance = 1e-5f)
{
    const float dot = DirectX::XMVectorGetX(DirectX::XMQuaternionDot(a, b));
    EXPECT_NEAR(std::fabs(dot), 1.0f, tolerance);
}

} // namespace xmtest
