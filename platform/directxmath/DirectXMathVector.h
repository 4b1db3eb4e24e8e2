#pragma once
// Scalar helpers, lane-wise vector arithmetic, the XMVECTOR operators, 3- and 4-component vector
// functions and vector-by-matrix transforms.
//
// Sums are evaluated in the order written here (x, then y, then z, then w unless a function says
// otherwise), without fused multiply-add.

#include "platform/directxmath/DirectXMathTypes.h"

#include <cmath>
#include <limits>

namespace DirectX
{

// Scalar trigonometry in single precision (the C library's sinf, cosf and acosf).
inline float XMScalarSin(float value)
{
    return std::sin(value);
}
inline float XMScalarCos(float value)
{
    return std::cos(value);
}

inline void XMScalarSinCos(float* pSin, float* pCos, float value)
{
    *pSin = std::sin(value);
    *pCos = std::cos(value);
}

// Arc cosine in [0, pi]; inputs beyond [-1, 1] (rounding of a dot product) are clamped, NaN stays NaN.
inline float XMScalarACos(float value)
{
    if (value > 1.0f)
        value = 1.0f;
    else if (value < -1.0f)
        value = -1.0f;
    return std::acos(value);
}

inline bool XMScalarNearEqual(float s1, float s2, float epsilon)
{
    return std::fabs(s1 - s2) <= epsilon;
}

inline XMVECTOR XMVectorZero()
{
    return XMVECTOR{{0.0f, 0.0f, 0.0f, 0.0f}};
}
inline XMVECTOR XMVectorSet(float x, float y, float z, float w)
{
    return XMVECTOR{{x, y, z, w}};
}
inline XMVECTOR XMVectorReplicate(float value)
{
    return XMVECTOR{{value, value, value, value}};
}
inline XMVECTOR XMVectorSplatOne()
{
    return XMVectorReplicate(1.0f);
}
inline XMVECTOR XMVectorSplatInfinity()
{
    return XMVectorReplicate(std::numeric_limits<float>::infinity());
}
inline XMVECTOR XMVectorSplatQNaN()
{
    return XMVectorReplicate(std::numeric_limits<float>::quiet_NaN());
}
inline XMVECTOR XMVectorSplatX(FXMVECTOR v)
{
    return XMVectorReplicate(v.f[0]);
}
inline XMVECTOR XMVectorSplatY(FXMVECTOR v)
{
    return XMVectorReplicate(v.f[1]);
}
inline XMVECTOR XMVectorSplatZ(FXMVECTOR v)
{
    return XMVectorReplicate(v.f[2]);
}
inline XMVECTOR XMVectorSplatW(FXMVECTOR v)
{
    return XMVectorReplicate(v.f[3]);
}

inline float XMVectorGetX(FXMVECTOR v)
{
    return v.f[0];
}
inline float XMVectorGetY(FXMVECTOR v)
{
    return v.f[1];
}
inline float XMVectorGetZ(FXMVECTOR v)
{
    return v.f[2];
}
inline float XMVectorGetW(FXMVECTOR v)
{
    return v.f[3];
}

inline XMVECTOR XMVectorSetX(FXMVECTOR v, float x)
{
    return XMVECTOR{{x, v.f[1], v.f[2], v.f[3]}};
}
inline XMVECTOR XMVectorSetY(FXMVECTOR v, float y)
{
    return XMVECTOR{{v.f[0], y, v.f[2], v.f[3]}};
}
inline XMVECTOR XMVectorSetZ(FXMVECTOR v, float z)
{
    return XMVECTOR{{v.f[0], v.f[1], z, v.f[3]}};
}
inline XMVECTOR XMVectorSetW(FXMVECTOR v, float w)
{
    return XMVECTOR{{v.f[0], v.f[1], v.f[2], w}};
}

inline XMVECTOR XMVectorAdd(FXMVECTOR a, FXMVECTOR b)
{
    return XMVECTOR{{a.f[0] + b.f[0], a.f[1] + b.f[1], a.f[2] + b.f[2], a.f[3] + b.f[3]}};
}

inline XMVECTOR XMVectorSubtract(FXMVECTOR a, FXMVECTOR b)
{
    return XMVECTOR{{a.f[0] - b.f[0], a.f[1] - b.f[1], a.f[2] - b.f[2], a.f[3] - b.f[3]}};
}

inline XMVECTOR XMVectorMultiply(FXMVECTOR a, FXMVECTOR b)
{
    return XMVECTOR{{a.f[0] * b.f[0], a.f[1] * b.f[1], a.f[2] * b.f[2], a.f[3] * b.f[3]}};
}

inline XMVECTOR XMVectorDivide(FXMVECTOR a, FXMVECTOR b)
{
    return XMVECTOR{{a.f[0] / b.f[0], a.f[1] / b.f[1], a.f[2] / b.f[2], a.f[3] / b.f[3]}};
}

// a x b + c lane by lane, rounded after the product and after the sum.
inline XMVECTOR XMVectorMultiplyAdd(FXMVECTOR a, FXMVECTOR b, FXMVECTOR c)
{
    return XMVECTOR{{a.f[0] * b.f[0] + c.f[0], a.f[1] * b.f[1] + c.f[1], a.f[2] * b.f[2] + c.f[2],
                     a.f[3] * b.f[3] + c.f[3]}};
}

inline XMVECTOR XMVectorScale(FXMVECTOR v, float s)
{
    return XMVECTOR{{v.f[0] * s, v.f[1] * s, v.f[2] * s, v.f[3] * s}};
}

inline XMVECTOR XMVectorNegate(FXMVECTOR v)
{
    return XMVECTOR{{-v.f[0], -v.f[1], -v.f[2], -v.f[3]}};
}

inline XMVECTOR XMVectorAbs(FXMVECTOR v)
{
    return XMVECTOR{{std::fabs(v.f[0]), std::fabs(v.f[1]), std::fabs(v.f[2]), std::fabs(v.f[3])}};
}

// Lane-wise minimum: a lane of a when it is less than b's, else b's (so a NaN in either gives b's lane).
inline XMVECTOR XMVectorMin(FXMVECTOR a, FXMVECTOR b)
{
    XMVECTOR r;
    for (int i = 0; i < 4; ++i)
        r.f[i] = a.f[i] < b.f[i] ? a.f[i] : b.f[i];
    return r;
}

// Lane-wise maximum: a lane of a when it is greater than b's, else b's.
inline XMVECTOR XMVectorMax(FXMVECTOR a, FXMVECTOR b)
{
    XMVECTOR r;
    for (int i = 0; i < 4; ++i)
        r.f[i] = a.f[i] > b.f[i] ? a.f[i] : b.f[i];
    return r;
}

inline XMVECTOR XMVectorPow(FXMVECTOR v, FXMVECTOR e)
{
    return XMVECTOR{{std::pow(v.f[0], e.f[0]), std::pow(v.f[1], e.f[1]), std::pow(v.f[2], e.f[2]),
                     std::pow(v.f[3], e.f[3])}};
}

inline XMVECTOR XMVectorSqrt(FXMVECTOR v)
{
    return XMVECTOR{{std::sqrt(v.f[0]), std::sqrt(v.f[1]), std::sqrt(v.f[2]), std::sqrt(v.f[3])}};
}

inline XMVECTOR XMVectorReciprocal(FXMVECTOR v)
{
    return XMVECTOR{{1.0f / v.f[0], 1.0f / v.f[1], 1.0f / v.f[2], 1.0f / v.f[3]}};
}

// v0 + (v1 - v0) x t in every lane.
inline XMVECTOR XMVectorLerp(FXMVECTOR v0, FXMVECTOR v1, float t)
{
    return XMVectorMultiplyAdd(XMVectorSubtract(v1, v0), XMVectorReplicate(t), v0);
}

inline XMVECTOR operator+(FXMVECTOR v)
{
    return v;
}
inline XMVECTOR operator-(FXMVECTOR v)
{
    return XMVectorNegate(v);
}
inline XMVECTOR operator+(FXMVECTOR a, FXMVECTOR b)
{
    return XMVectorAdd(a, b);
}
inline XMVECTOR operator-(FXMVECTOR a, FXMVECTOR b)
{
    return XMVectorSubtract(a, b);
}
inline XMVECTOR operator*(FXMVECTOR a, FXMVECTOR b)
{
    return XMVectorMultiply(a, b);
}
inline XMVECTOR operator/(FXMVECTOR a, FXMVECTOR b)
{
    return XMVectorDivide(a, b);
}
inline XMVECTOR operator*(FXMVECTOR v, float s)
{
    return XMVectorScale(v, s);
}
inline XMVECTOR operator*(float s, FXMVECTOR v)
{
    return XMVectorScale(v, s);
}
inline XMVECTOR operator/(FXMVECTOR v, float s)
{
    return XMVectorDivide(v, XMVectorReplicate(s));
}

inline XMVECTOR& operator+=(XMVECTOR& a, FXMVECTOR b)
{
    return a = XMVectorAdd(a, b);
}
inline XMVECTOR& operator-=(XMVECTOR& a, FXMVECTOR b)
{
    return a = XMVectorSubtract(a, b);
}
inline XMVECTOR& operator*=(XMVECTOR& a, FXMVECTOR b)
{
    return a = XMVectorMultiply(a, b);
}
inline XMVECTOR& operator/=(XMVECTOR& a, FXMVECTOR b)
{
    return a = XMVectorDivide(a, b);
}
inline XMVECTOR& operator*=(XMVECTOR& v, float s)
{
    return v = XMVectorScale(v, s);
}
inline XMVECTOR& operator/=(XMVECTOR& v, float s)
{
    return v = XMVectorDivide(v, XMVectorReplicate(s));
}

// Dot product of x, y, z: ((x1 x2 + y1 y2) + z1 z2) in every lane.
inline XMVECTOR XMVector3Dot(FXMVECTOR a, FXMVECTOR b)
{
    return XMVectorReplicate(a.f[0] * b.f[0] + a.f[1] * b.f[1] + a.f[2] * b.f[2]);
}

// Cross product of x, y, z; w is 0.
inline XMVECTOR XMVector3Cross(FXMVECTOR a, FXMVECTOR b)
{
    return XMVECTOR{{a.f[1] * b.f[2] - a.f[2] * b.f[1], a.f[2] * b.f[0] - a.f[0] * b.f[2],
                     a.f[0] * b.f[1] - a.f[1] * b.f[0], 0.0f}};
}

inline XMVECTOR XMVector3LengthSq(FXMVECTOR v)
{
    return XMVector3Dot(v, v);
}
inline XMVECTOR XMVector3Length(FXMVECTOR v)
{
    return XMVectorSqrt(XMVector3LengthSq(v));
}

} // namespace DirectX

namespace directxmath_internal
{
// The normalisations' common part: all four lanes of v divided by the length of its first
// `lanes` lanes, whose squared length (summed as the dot products sum it) is lengthSq. A zero
// vector gives the zero vector, an infinite lane (an infinite length) gives infinite, a NaN lane
// NaN. When the squared length overflows or leaves the normal range although the length itself
// is a finite non-zero float, the lanes are first divided by the largest magnitude among them,
// so long and tiny vectors normalise too; other vectors take the plain division.
inline DirectX::XMVECTOR DivideByLength(DirectX::FXMVECTOR v, float lengthSq, int lanes,
                                        DirectX::FXMVECTOR infinite)
{
    if (lengthSq >= std::numeric_limits<float>::min() && lengthSq < std::numeric_limits<float>::infinity())
        return DirectX::XMVectorDivide(v, DirectX::XMVectorReplicate(std::sqrt(lengthSq)));
    if (std::isnan(lengthSq))
        return DirectX::XMVectorSplatQNaN();
    float largest = 0.0f;
    for (int i = 0; i < lanes; ++i)
        largest = std::fmax(largest, std::fabs(v.f[i]));
    if (largest == std::numeric_limits<float>::infinity())
        return infinite;
    if (largest == 0.0f)
        return DirectX::XMVectorZero();
    const DirectX::XMVECTOR scaled = DirectX::XMVectorDivide(v, DirectX::XMVectorReplicate(largest));
    float scaledSq = 0.0f; // in [1, lanes]
    for (int i = 0; i < lanes; ++i)
        scaledSq += scaled.f[i] * scaled.f[i];
    return DirectX::XMVectorDivide(scaled, DirectX::XMVectorReplicate(std::sqrt(scaledSq)));
}
} // namespace directxmath_internal

namespace DirectX
{

// All four lanes divided by the length of x, y, z. A zero length gives the zero vector; an
// infinite length (an infinite lane) gives quiet NaN in every lane. Any finite non-zero length
// normalises, also where its square overflows or underflows a float.
inline XMVECTOR XMVector3Normalize(FXMVECTOR v)
{
    return directxmath_internal::DivideByLength(v, XMVectorGetX(XMVector3LengthSq(v)), 3,
                                                XMVectorSplatQNaN());
}

// Dot product of all four lanes: (((x1 x2 + y1 y2) + z1 z2) + w1 w2) in every lane.
inline XMVECTOR XMVector4Dot(FXMVECTOR a, FXMVECTOR b)
{
    return XMVectorReplicate(a.f[0] * b.f[0] + a.f[1] * b.f[1] + a.f[2] * b.f[2] + a.f[3] * b.f[3]);
}

inline XMVECTOR XMVector4LengthSq(FXMVECTOR v)
{
    return XMVector4Dot(v, v);
}
inline XMVECTOR XMVector4Length(FXMVECTOR v)
{
    return XMVectorSqrt(XMVector4LengthSq(v));
}

// All four lanes divided by the four-lane length; zero and infinite lengths as XMVector3Normalize.
inline XMVECTOR XMVector4Normalize(FXMVECTOR v)
{
    return directxmath_internal::DivideByLength(v, XMVectorGetX(XMVector4LengthSq(v)), 4,
                                                XMVectorSplatQNaN());
}

// The point (x, y, z, 1) times m: ((z r2 + r3) + y r1) + x r0; no division by w.
inline XMVECTOR XMVector3Transform(FXMVECTOR v, FXMMATRIX m)
{
    XMVECTOR result = XMVectorMultiplyAdd(XMVectorSplatZ(v), m.r[2], m.r[3]);
    result = XMVectorMultiplyAdd(XMVectorSplatY(v), m.r[1], result);
    return XMVectorMultiplyAdd(XMVectorSplatX(v), m.r[0], result);
}

// XMVector3Transform, then every lane divided by the result's w.
inline XMVECTOR XMVector3TransformCoord(FXMVECTOR v, FXMMATRIX m)
{
    const XMVECTOR result = XMVector3Transform(v, m);
    return XMVectorDivide(result, XMVectorSplatW(result));
}

// The direction (x, y, z, 0) times m: (z r2 + y r1) + x r0; the translation row takes no part.
inline XMVECTOR XMVector3TransformNormal(FXMVECTOR v, FXMMATRIX m)
{
    XMVECTOR result = XMVectorMultiply(XMVectorSplatZ(v), m.r[2]);
    result = XMVectorMultiplyAdd(XMVectorSplatY(v), m.r[1], result);
    return XMVectorMultiplyAdd(XMVectorSplatX(v), m.r[0], result);
}

// The four-lane row vector times m: ((x r0 + y r1) + z r2) + w r3.
inline XMVECTOR XMVector4Transform(FXMVECTOR v, FXMMATRIX m)
{
    XMVECTOR result;
    for (int c = 0; c < 4; ++c)
        result.f[c] =
            v.f[0] * m.r[0].f[c] + v.f[1] * m.r[1].f[c] + v.f[2] * m.r[2].f[c] + v.f[3] * m.r[3].f[c];
    return result;
}

} // namespace DirectX
