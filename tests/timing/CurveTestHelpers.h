#pragma once
// Shared helpers of the curve tests: building vectors, reading lanes and comparing them.

#include "platform/directxmath/DirectXMath.h"

#include <gtest/gtest.h>

#include <cmath>

namespace curvetest
{

inline DirectX::XMVECTOR Vec(float x, float y, float z, float w = 0.0f)
{
    return DirectX::XMVECTOR{{x, y, z, w}};
}

inline DirectX::XMFLOAT4 Lanes(const DirectX::XMVECTOR& v)
{
    DirectX::XMFLOAT4 f;
    DirectX::XMStoreFloat4(&f, v);
    return f;
}

inline ::testing::AssertionResult VectorNear(const DirectX::XMVECTOR& actual,
                                             const DirectX::XMVECTOR& expected, float tolerance)
{
    const DirectX::XMFLOAT4 a = Lanes(actual);
    const DirectX::XMFLOAT4 e = Lanes(expected);
    const float av[4] = {a.x, a.y, a.z, a.w};
    const float ev[4] = {e.x, e.y, e.z, e.w};
    for (int i = 0; i < 4; ++i)
        if (!(std::fabs(av[i] - ev[i]) <= tolerance))
            return ::testing::AssertionFailure()
                   << "lane " << i << ": got (" << a.x << ", " << a.y << ", " << a.z << ", " << a.w
                   << "), expected (" << e.x << ", " << e.y << ", " << e.z << ", " << e.w << ")";
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult VectorEq(const DirectX::XMVECTOR& actual, const DirectX::XMVECTOR& expected)
{
    return VectorNear(actual, expected, 0.0f);
}

} // namespace curvetest
