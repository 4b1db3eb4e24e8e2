#include "platform/directxmath/DirectXMathQuaternion.h"

#include <cmath>

namespace DirectX
{

namespace
{

// |w| above this counts as "no rotation" for the logarithm, and |cos omega| at or above it as
// "parallel" for slerp.
constexpr float ONE_MINUS_EPSILON = 1.0f - 0.00001f;

XMVECTOR VectorPart(FXMVECTOR q)
{
    return XMVectorSetW(q, 0.0f);
}

float LengthSq4(FXMVECTOR v)
{
    return XMVectorGetX(XMVector4LengthSq(v));
}

// q2, or -q2 when q2 lies nearer to -q1 than to q1 (the same rotation on q1's side).
XMVECTOR OnSideOf(FXMVECTOR q1, FXMVECTOR q2)
{
    const float sumSq = LengthSq4(XMVectorAdd(q1, q2));
    const float diffSq = LengthSq4(XMVectorSubtract(q1, q2));
    return sumSq < diffSq ? XMVectorNegate(q2) : q2;
}

} // namespace

XMVECTOR XMQuaternionLn(FXMVECTOR q)
{
    const XMVECTOR v = VectorPart(q);
    const float w = q.f[3];
    if (!(std::fabs(w) <= ONE_MINUS_EPSILON))
        return v;
    const float theta = std::acos(w);
    const float scale = theta / std::sin(theta);
    return XMVectorScale(v, scale);
}

XMVECTOR XMQuaternionExp(FXMVECTOR q)
{
    const float theta = XMVectorGetX(XMVector3Length(q));
    float sinTheta, cosTheta;
    XMScalarSinCos(&sinTheta, &cosTheta, theta);
    XMVECTOR result = q;
    if (!XMScalarNearEqual(theta, 0.0f, g_XMEpsilon.f[0]))
        result = XMVectorScale(q, sinTheta / theta);
    return XMVectorSetW(result, cosTheta);
}

XMVECTOR XMQuaternionSlerp(FXMVECTOR q0, FXMVECTOR q1, float t)
{
    float cosOmega = XMVectorGetX(XMQuaternionDot(q0, q1));
    const float sign = cosOmega < 0.0f ? -1.0f : 1.0f;
    cosOmega *= sign;

    float scale0 = 1.0f - t;
    float scale1 = t;
    if (cosOmega < ONE_MINUS_EPSILON)
    {
        const float sinOmega = std::sqrt(1.0f - cosOmega * cosOmega);
        const float omega = std::atan2(sinOmega, cosOmega);
        const float invSinOmega = 1.0f / sinOmega;
        scale0 = std::sin(scale0 * omega) * invSinOmega;
        scale1 = std::sin(scale1 * omega) * invSinOmega;
    }
    scale1 *= sign;
    return XMVectorMultiplyAdd(q1, XMVectorReplicate(scale1), XMVectorScale(q0, scale0));
}

XMVECTOR XMQuaternionSquad(FXMVECTOR q0, FXMVECTOR q1, FXMVECTOR q2, GXMVECTOR q3, float t)
{
    const XMVECTOR outer = XMQuaternionSlerp(q0, q3, t);
    const XMVECTOR inner = XMQuaternionSlerp(q1, q2, t);
    const float blend = (t - t * t) * 2.0f;
    return XMQuaternionSlerp(outer, inner, blend);
}

void XMQuaternionSquadSetup(XMVECTOR* pA, XMVECTOR* pB, XMVECTOR* pC, FXMVECTOR q0, FXMVECTOR q1,
                            FXMVECTOR q2, GXMVECTOR q3)
{
    // Bring the neighbours into one hemisphere, each step using the result of the one before.
    const XMVECTOR sq2 = OnSideOf(q1, q2);
    const XMVECTOR sq0 = OnSideOf(q1, q0);
    const XMVECTOR sq3 = OnSideOf(sq2, q3);

    const XMVECTOR invQ1 = XMQuaternionInverse(q1);
    const XMVECTOR invQ2 = XMQuaternionInverse(sq2);

    const XMVECTOR lnQ0 = XMQuaternionLn(XMQuaternionMultiply(invQ1, sq0));
    const XMVECTOR lnQ2 = XMQuaternionLn(XMQuaternionMultiply(invQ1, sq2));
    const XMVECTOR lnQ1 = XMQuaternionLn(XMQuaternionMultiply(invQ2, q1));
    const XMVECTOR lnQ3 = XMQuaternionLn(XMQuaternionMultiply(invQ2, sq3));

    const XMVECTOR expQ02 = XMQuaternionExp(XMVectorScale(XMVectorAdd(lnQ0, lnQ2), -0.25f));
    const XMVECTOR expQ13 = XMQuaternionExp(XMVectorScale(XMVectorAdd(lnQ1, lnQ3), -0.25f));

    *pA = XMQuaternionMultiply(q1, expQ02);
    *pB = XMQuaternionMultiply(sq2, expQ13);
    *pC = sq2;
}

XMVECTOR XMQuaternionRotationNormal(FXMVECTOR normalAxis, float angle)
{
    float s, c;
    XMScalarSinCos(&s, &c, 0.5f * angle);
    return XMVECTOR{{normalAxis.f[0] * s, normalAxis.f[1] * s, normalAxis.f[2] * s, c}};
}

XMVECTOR XMQuaternionRotationAxis(FXMVECTOR axis, float angle)
{
    return XMQuaternionRotationNormal(XMVector3Normalize(axis), angle);
}

XMVECTOR XMQuaternionRotationRollPitchYaw(float pitch, float yaw, float roll)
{
    float sp, cp, sy, cy, sr, cr;
    XMScalarSinCos(&sp, &cp, 0.5f * pitch);
    XMScalarSinCos(&sy, &cy, 0.5f * yaw);
    XMScalarSinCos(&sr, &cr, 0.5f * roll);
    // The product yaw (x) pitch (x) roll of the three half-angle quaternions, multiplied out.
    return XMVECTOR{{cp * sy * sr + sp * cy * cr, -sp * cy * sr + cp * sy * cr, -sp * sy * cr + cp * cy * sr,
                     sp * sy * sr + cp * cy * cr}};
}

XMVECTOR XMQuaternionRotationRollPitchYawFromVector(FXMVECTOR angles)
{
    return XMQuaternionRotationRollPitchYaw(angles.f[0], angles.f[1], angles.f[2]);
}

XMVECTOR XMQuaternionRotationMatrix(FXMMATRIX m)
{
    // Take the square root of the largest of 4x^2, 4y^2, 4z^2, 4w^2 (read off the diagonal), which
    // keeps the division well conditioned, and the other three from the off-diagonal sums.
    const float m00 = m.r[0].f[0], m01 = m.r[0].f[1], m02 = m.r[0].f[2];
    const float m10 = m.r[1].f[0], m11 = m.r[1].f[1], m12 = m.r[1].f[2];
    const float m20 = m.r[2].f[0], m21 = m.r[2].f[1], m22 = m.r[2].f[2];
    if (m22 <= 0.0f)
    {
        // x^2 + y^2 >= z^2 + w^2
        const float dif10 = m11 - m00;
        const float omr22 = 1.0f - m22;
        if (dif10 <= 0.0f)
        {
            const float fourXSq = omr22 - dif10;
            const float inv = 0.5f / std::sqrt(fourXSq);
            return XMVECTOR{{fourXSq * inv, (m01 + m10) * inv, (m02 + m20) * inv, (m12 - m21) * inv}};
        }
        const float fourYSq = omr22 + dif10;
        const float inv = 0.5f / std::sqrt(fourYSq);
        return XMVECTOR{{(m01 + m10) * inv, fourYSq * inv, (m12 + m21) * inv, (m20 - m02) * inv}};
    }
    // z^2 + w^2 >= x^2 + y^2
    const float sum10 = m11 + m00;
    const float opr22 = 1.0f + m22;
    if (sum10 <= 0.0f)
    {
        const float fourZSq = opr22 - sum10;
        const float inv = 0.5f / std::sqrt(fourZSq);
        return XMVECTOR{{(m02 + m20) * inv, (m12 + m21) * inv, fourZSq * inv, (m01 - m10) * inv}};
    }
    const float fourWSq = opr22 + sum10;
    const float inv = 0.5f / std::sqrt(fourWSq);
    return XMVECTOR{{(m12 - m21) * inv, (m20 - m02) * inv, (m01 - m10) * inv, fourWSq * inv}};
}

} // namespace DirectX
