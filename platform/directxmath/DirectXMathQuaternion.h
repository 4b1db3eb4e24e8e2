#pragma once
// Quaternions (x, y, z, w), w the scalar part. XMQuaternionMultiply(Q1, Q2) is the rotation Q1
// followed by Q2, that is the Hamilton product Q2 Q1. The curve functions (Slerp, Squad and its
// setup) expect unit quaternions and return them unnormalised.

#include "platform/directxmath/DirectXMathVector.h"

namespace DirectX
{

inline XMVECTOR XMQuaternionIdentity()
{
    return g_XMIdentityR3;
}
inline XMVECTOR XMQuaternionDot(FXMVECTOR q1, FXMVECTOR q2)
{
    return XMVector4Dot(q1, q2);
}
inline XMVECTOR XMQuaternionLengthSq(FXMVECTOR q)
{
    return XMVector4LengthSq(q);
}
inline XMVECTOR XMQuaternionLength(FXMVECTOR q)
{
    return XMVector4Length(q);
}

// XMVector4Normalize: zero stays zero, an infinite length gives quiet NaN in every lane.
inline XMVECTOR XMQuaternionNormalize(FXMVECTOR q)
{
    return XMVector4Normalize(q);
}

inline XMVECTOR XMQuaternionConjugate(FXMVECTOR q)
{
    return XMVECTOR{{-q.f[0], -q.f[1], -q.f[2], q.f[3]}};
}

// Q1 then Q2: the Hamilton product Q2 Q1.
inline XMVECTOR XMQuaternionMultiply(FXMVECTOR q1, FXMVECTOR q2)
{
    const float x1 = q1.f[0], y1 = q1.f[1], z1 = q1.f[2], w1 = q1.f[3];
    const float x2 = q2.f[0], y2 = q2.f[1], z2 = q2.f[2], w2 = q2.f[3];
    return XMVECTOR{{w2 * x1 + x2 * w1 + y2 * z1 - z2 * y1, w2 * y1 - x2 * z1 + y2 * w1 + z2 * x1,
                     w2 * z1 + x2 * y1 - y2 * x1 + z2 * w1, w2 * w1 - x2 * x1 - y2 * y1 - z2 * z1}};
}

// Conjugate divided by the squared length; zero when the squared length is at most FLT_EPSILON.
inline XMVECTOR XMQuaternionInverse(FXMVECTOR q)
{
    const XMVECTOR lengthSq = XMQuaternionLengthSq(q);
    if (lengthSq.f[0] <= g_XMEpsilon.f[0])
        return XMVectorZero();
    return XMVectorDivide(XMQuaternionConjugate(q), lengthSq);
}

// Rotates (x, y, z) by the unit quaternion q; w of the result is 0.
inline XMVECTOR XMVector3Rotate(FXMVECTOR v, FXMVECTOR q)
{
    const XMVECTOR pure = XMVectorSetW(v, 0.0f);
    return XMQuaternionMultiply(XMQuaternionMultiply(XMQuaternionConjugate(q), pure), q);
}

// Natural logarithm of a unit quaternion: (theta / sin theta) (x, y, z), 0 with w = cos theta;
// when |w| is within 1e-5 of 1 the vector part is kept as it is.
XMVECTOR XMQuaternionLn(FXMVECTOR q);

// Exponential of a pure quaternion (x, y, z, ignored): (sin theta / theta) (x, y, z), cos theta with
// theta the length of (x, y, z); (x, y, z) unchanged when theta is within FLT_EPSILON of 0.
XMVECTOR XMQuaternionExp(FXMVECTOR q);

// Spherical interpolation along the shorter arc (q1 is negated when the dot product is negative);
// for inputs whose |dot| is 1 - 1e-5 or more, the weights are the linear 1 - t and t.
XMVECTOR XMQuaternionSlerp(FXMVECTOR q0, FXMVECTOR q1, float t);

// Slerp(Slerp(q0, q3, t), Slerp(q1, q2, t), 2 t (1 - t)); called with (Q1, A, B, C) from
// XMQuaternionSquadSetup it blends from Q1 (t = 0) to C = Q2 (t = 1).
XMVECTOR XMQuaternionSquad(FXMVECTOR q0, FXMVECTOR q1, FXMVECTOR q2, GXMVECTOR q3, float t);

// Control quaternions for Squad between q1 and q2 with neighbours q0 and q3. First q2 is negated
// when it is nearer to -q1, then q0 when it is nearer to -q1, then q3 when it is nearer to the
// (possibly negated) q2. With the inverse I of q1 (and J of q2):
// A = q1 exp(-(ln(I q2) + ln(I q0)) / 4), B = q2 exp(-(ln(J q3) + ln(J q1)) / 4), C = q2,
// products in this library's XMQuaternionMultiply order.
void XMQuaternionSquadSetup(XMVECTOR* pA, XMVECTOR* pB, XMVECTOR* pC, FXMVECTOR q0, FXMVECTOR q1,
                            FXMVECTOR q2, GXMVECTOR q3);

// Rotation about a unit axis: (sin(angle/2) axis, cos(angle/2)).
XMVECTOR XMQuaternionRotationNormal(FXMVECTOR normalAxis, float angle);

// Rotation about an axis of any non-zero length (normalised first).
XMVECTOR XMQuaternionRotationAxis(FXMVECTOR axis, float angle);

// Roll about z first, then pitch about x, then yaw about y.
XMVECTOR XMQuaternionRotationRollPitchYaw(float pitch, float yaw, float roll);

// Angles as (pitch, yaw, roll, ignored).
XMVECTOR XMQuaternionRotationRollPitchYawFromVector(FXMVECTOR angles);

// The unit quaternion of the rotation in the upper 3x3 of m (which must be a pure rotation).
XMVECTOR XMQuaternionRotationMatrix(FXMMATRIX m);

} // namespace DirectX
