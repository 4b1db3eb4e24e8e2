#pragma once
// Shared helpers of the curve tests: building vectors, reading lanes, comparing values and
// evaluating curves.

#include "platform/directxmath/DirectXMath.h"
#include "timing/KU_Interpolation.h"
#include "timing/KU_InterpolationValue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

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

inline ::testing::AssertionResult MatrixEq(const DirectX::XMMATRIX& a, const DirectX::XMMATRIX& b)
{
    for (int r = 0; r < 4; ++r)
    {
        ::testing::AssertionResult row = VectorEq(a.r[r], b.r[r]);
        if (!row)
            return row << " in row " << r;
    }
    return ::testing::AssertionSuccess();
}

// The value of a vertex or quaternion curve at local time t, read as the engine reads it (through
// the pointer GetValueAt answers; KU_InterpolationValueTest checks that pointer).
inline DirectX::XMVECTOR At(KU_Interpolation& curve, double t)
{
    return KU_GetVectorAt(&curve, t);
}

// The value of a matrix curve at local time t.
inline DirectX::XMMATRIX MatrixAt(KU_Interpolation& curve, double t)
{
    return KU_GetMatrixAt(&curve, t);
}

inline std::vector<double> Stamps(const KU_Interpolation& curve)
{
    std::vector<double> stamps;
    for (std::uint32_t i = 0; i < curve.GetNumTimeStamps(); ++i)
        stamps.push_back(curve.GetTimeStamp(i));
    return stamps;
}

} // namespace curvetest
