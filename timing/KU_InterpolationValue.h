#pragma once

#include "platform/directxmath/DirectXMath.h"
#include "timing/KU_Interpolation.h"

// Typed reads of a curve's value, for every caller that wants the value rather than an out
// pointer. KU_Interpolation::GetValueAt writes through an untyped pointer whose type the curve's
// kind fixes: a DirectX::XMVECTOR for vertex and quaternion curves, a DirectX::XMMATRIX for matrix
// curves. These name that type in one place and read the value through the pointer GetValueAt
// answers. Header-only and stateless; call them where the curve may be evaluated (the thread of
// its owner), with a curve that is not null.

// The value of a vertex or quaternion curve at local time fLocalTime.
inline DirectX::XMVECTOR KU_GetVectorAt(KU_Interpolation* pCurve, double fLocalTime)
{
    DirectX::XMVECTOR vValue = DirectX::XMVectorZero();
    return *static_cast<DirectX::XMVECTOR*>(pCurve->GetValueAt(&vValue, fLocalTime));
}

// The value of a vertex or quaternion curve at production time fTime, that is at local time
// fTime - the curve's start time.
inline DirectX::XMVECTOR KU_GetVectorAtTime(KU_Interpolation* pCurve, double fTime)
{
    return KU_GetVectorAt(pCurve, fTime - pCurve->GetStartTime());
}

// The value of a matrix curve at local time fLocalTime.
inline DirectX::XMMATRIX KU_GetMatrixAt(KU_Interpolation* pCurve, double fLocalTime)
{
    DirectX::XMMATRIX mValue = DirectX::XMMatrixIdentity();
    return *static_cast<DirectX::XMMATRIX*>(pCurve->GetValueAt(&mValue, fLocalTime));
}
