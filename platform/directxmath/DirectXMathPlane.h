#pragma once
// Planes (a, b, c, d): the points p with a p.x + b p.y + c p.z + d = 0; (a, b, c) is the normal.

#include "platform/directxmath/DirectXMathVector.h"

namespace DirectX
{

// Four-lane dot product of the plane with v.
inline XMVECTOR XMPlaneDot(FXMVECTOR p, FXMVECTOR v)
{
    return XMVector4Dot(p, v);
}

// a x + b y + c z + d for the point v (its w ignored), in every lane.
inline XMVECTOR XMPlaneDotCoord(FXMVECTOR p, FXMVECTOR v)
{
    return XMVector4Dot(p, XMVectorSetW(v, 1.0f));
}

// a x + b y + c z for the direction v, in every lane.
inline XMVECTOR XMPlaneDotNormal(FXMVECTOR p, FXMVECTOR v)
{
    return XMVector3Dot(p, v);
}

// The plane with all four lanes divided by the length of (a, b, c), so the normal has unit length.
// A plane whose normal has an infinite lane becomes all zero, as does one with a zero normal; any
// finite non-zero normal normalises (as in XMVector3Normalize).
inline XMVECTOR XMPlaneNormalize(FXMVECTOR p)
{
    return directxmath_internal::DivideByLength(p, XMVectorGetX(XMVector3LengthSq(p)), 3, XMVectorZero());
}

} // namespace DirectX
