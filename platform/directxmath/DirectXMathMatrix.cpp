#include "platform/directxmath/DirectXMathMatrix.h"

#include "platform/directxmath/DirectXMathQuaternion.h"

#include <cmath>

namespace DirectX
{

namespace
{

// Below this length a basis row of XMMatrixDecompose counts as collapsed, and above this squared
// distance of |det| from 1 the matrix counts as sheared.
constexpr float DECOMPOSE_EPSILON = 0.0001f;

// Indices 0..2 ordered by decreasing value; equal values keep their index order.
void RankDescending(const float value[3], int order[3])
{
    order[0] = 0;
    order[1] = 1;
    order[2] = 2;
    for (int i = 1; i < 3; ++i)
    {
        const int index = order[i];
        int j = i;
        while (j > 0 && value[order[j - 1]] < value[index])
        {
            order[j] = order[j - 1];
            --j;
        }
        order[j] = index;
    }
}

XMVECTOR CanonicalAxis(int index)
{
    XMVECTOR axis = XMVectorZero();
    axis.f[index] = 1.0f;
    return axis;
}

// The 2x2 minors of rows 0-1 (s) and rows 2-3 (c) from which both the determinant and the
// adjugate are built (Laplace expansion along the first two rows).
struct Minors
{
    float s[6];
    float c[6];
};

Minors ComputeMinors(FXMMATRIX m)
{
    const XMVECTOR& a0 = m.r[0];
    const XMVECTOR& a1 = m.r[1];
    const XMVECTOR& a2 = m.r[2];
    const XMVECTOR& a3 = m.r[3];
    Minors n;
    n.s[0] = a0.f[0] * a1.f[1] - a1.f[0] * a0.f[1];
    n.s[1] = a0.f[0] * a1.f[2] - a1.f[0] * a0.f[2];
    n.s[2] = a0.f[0] * a1.f[3] - a1.f[0] * a0.f[3];
    n.s[3] = a0.f[1] * a1.f[2] - a1.f[1] * a0.f[2];
    n.s[4] = a0.f[1] * a1.f[3] - a1.f[1] * a0.f[3];
    n.s[5] = a0.f[2] * a1.f[3] - a1.f[2] * a0.f[3];
    n.c[0] = a2.f[0] * a3.f[1] - a3.f[0] * a2.f[1];
    n.c[1] = a2.f[0] * a3.f[2] - a3.f[0] * a2.f[2];
    n.c[2] = a2.f[0] * a3.f[3] - a3.f[0] * a2.f[3];
    n.c[3] = a2.f[1] * a3.f[2] - a3.f[1] * a2.f[2];
    n.c[4] = a2.f[1] * a3.f[3] - a3.f[1] * a2.f[3];
    n.c[5] = a2.f[2] * a3.f[3] - a3.f[2] * a2.f[3];
    return n;
}

float DeterminantFromMinors(const Minors& n)
{
    return n.s[0] * n.c[5] - n.s[1] * n.c[4] + n.s[2] * n.c[3] + n.s[3] * n.c[2] - n.s[4] * n.c[1] +
           n.s[5] * n.c[0];
}

} // namespace

XMMATRIX XMMatrixRotationX(float angle)
{
    float s, c;
    XMScalarSinCos(&s, &c, angle);
    return XMMATRIX(1.0f, 0.0f, 0.0f, 0.0f, 0.0f, c, s, 0.0f, 0.0f, -s, c, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f);
}

XMMATRIX XMMatrixRotationY(float angle)
{
    float s, c;
    XMScalarSinCos(&s, &c, angle);
    return XMMATRIX(c, 0.0f, -s, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, s, 0.0f, c, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f);
}

XMMATRIX XMMatrixRotationZ(float angle)
{
    float s, c;
    XMScalarSinCos(&s, &c, angle);
    return XMMATRIX(c, s, 0.0f, 0.0f, -s, c, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f);
}

XMMATRIX XMMatrixRotationNormal(FXMVECTOR normalAxis, float angle)
{
    float s, c;
    XMScalarSinCos(&s, &c, angle);
    const float t = 1.0f - c;
    const float x = normalAxis.f[0];
    const float y = normalAxis.f[1];
    const float z = normalAxis.f[2];
    // c I + (1 - c) n n^T plus s times the cross-product terms, laid out for row vectors.
    return XMMATRIX(t * x * x + c, t * x * y + s * z, t * x * z - s * y, 0.0f, //
                    t * y * x - s * z, t * y * y + c, t * y * z + s * x, 0.0f, //
                    t * z * x + s * y, t * z * y - s * x, t * z * z + c, 0.0f, //
                    0.0f, 0.0f, 0.0f, 1.0f);
}

XMMATRIX XMMatrixRotationAxis(FXMVECTOR axis, float angle)
{
    return XMMatrixRotationNormal(XMVector3Normalize(axis), angle);
}

XMMATRIX XMMatrixRotationRollPitchYaw(float pitch, float yaw, float roll)
{
    float sp, cp, sy, cy, sr, cr;
    XMScalarSinCos(&sp, &cp, pitch);
    XMScalarSinCos(&sy, &cy, yaw);
    XMScalarSinCos(&sr, &cr, roll);
    // RotationZ(roll) x RotationX(pitch) x RotationY(yaw), multiplied out.
    return XMMATRIX(cr * cy + sr * sp * sy, sr * cp, sr * sp * cy - cr * sy, 0.0f, //
                    cr * sp * sy - sr * cy, cr * cp, sr * sy + cr * sp * cy, 0.0f, //
                    cp * sy, -sp, cp * cy, 0.0f,                                   //
                    0.0f, 0.0f, 0.0f, 1.0f);
}

XMMATRIX XMMatrixRotationRollPitchYawFromVector(FXMVECTOR angles)
{
    return XMMatrixRotationRollPitchYaw(angles.f[0], angles.f[1], angles.f[2]);
}

XMMATRIX XMMatrixRotationQuaternion(FXMVECTOR q)
{
    const float x = q.f[0], y = q.f[1], z = q.f[2], w = q.f[3];
    const float x2 = x + x, y2 = y + y, z2 = z + z;
    const float xx2 = x * x2, yy2 = y * y2, zz2 = z * z2;
    const float xy2 = x * y2, xz2 = x * z2, yz2 = y * z2;
    const float wx2 = w * x2, wy2 = w * y2, wz2 = w * z2;
    return XMMATRIX(1.0f - yy2 - zz2, xy2 + wz2, xz2 - wy2, 0.0f, //
                    xy2 - wz2, 1.0f - xx2 - zz2, yz2 + wx2, 0.0f, //
                    xz2 + wy2, yz2 - wx2, 1.0f - xx2 - yy2, 0.0f, //
                    0.0f, 0.0f, 0.0f, 1.0f);
}

XMVECTOR XMMatrixDeterminant(FXMMATRIX m)
{
    return XMVectorReplicate(DeterminantFromMinors(ComputeMinors(m)));
}

XMMATRIX XMMatrixInverse(XMVECTOR* pDeterminant, FXMMATRIX m)
{
    const Minors n = ComputeMinors(m);
    const float det = DeterminantFromMinors(n);
    if (pDeterminant != nullptr)
        *pDeterminant = XMVectorReplicate(det);
    const float inv = 1.0f / det;
    const float* s = n.s;
    const float* c = n.c;
    const XMVECTOR& a0 = m.r[0];
    const XMVECTOR& a1 = m.r[1];
    const XMVECTOR& a2 = m.r[2];
    const XMVECTOR& a3 = m.r[3];
    XMMATRIX b;
    b.r[0].f[0] = (a1.f[1] * c[5] - a1.f[2] * c[4] + a1.f[3] * c[3]) * inv;
    b.r[0].f[1] = (-a0.f[1] * c[5] + a0.f[2] * c[4] - a0.f[3] * c[3]) * inv;
    b.r[0].f[2] = (a3.f[1] * s[5] - a3.f[2] * s[4] + a3.f[3] * s[3]) * inv;
    b.r[0].f[3] = (-a2.f[1] * s[5] + a2.f[2] * s[4] - a2.f[3] * s[3]) * inv;
    b.r[1].f[0] = (-a1.f[0] * c[5] + a1.f[2] * c[2] - a1.f[3] * c[1]) * inv;
    b.r[1].f[1] = (a0.f[0] * c[5] - a0.f[2] * c[2] + a0.f[3] * c[1]) * inv;
    b.r[1].f[2] = (-a3.f[0] * s[5] + a3.f[2] * s[2] - a3.f[3] * s[1]) * inv;
    b.r[1].f[3] = (a2.f[0] * s[5] - a2.f[2] * s[2] + a2.f[3] * s[1]) * inv;
    b.r[2].f[0] = (a1.f[0] * c[4] - a1.f[1] * c[2] + a1.f[3] * c[0]) * inv;
    b.r[2].f[1] = (-a0.f[0] * c[4] + a0.f[1] * c[2] - a0.f[3] * c[0]) * inv;
    b.r[2].f[2] = (a3.f[0] * s[4] - a3.f[1] * s[2] + a3.f[3] * s[0]) * inv;
    b.r[2].f[3] = (-a2.f[0] * s[4] + a2.f[1] * s[2] - a2.f[3] * s[0]) * inv;
    b.r[3].f[0] = (-a1.f[0] * c[3] + a1.f[1] * c[1] - a1.f[2] * c[0]) * inv;
    b.r[3].f[1] = (a0.f[0] * c[3] - a0.f[1] * c[1] + a0.f[2] * c[0]) * inv;
    b.r[3].f[2] = (-a3.f[0] * s[3] + a3.f[1] * s[1] - a3.f[2] * s[0]) * inv;
    b.r[3].f[3] = (a2.f[0] * s[3] - a2.f[1] * s[1] + a2.f[2] * s[0]) * inv;
    return b;
}

bool XMMatrixDecompose(XMVECTOR* outScale, XMVECTOR* outRotQuat, XMVECTOR* outTrans, FXMMATRIX m)
{
    *outTrans = m.r[3];

    XMMATRIX basis(m.r[0], m.r[1], m.r[2], g_XMIdentityR3);
    float scale[3];
    for (int i = 0; i < 3; ++i)
        scale[i] = XMVectorGetX(XMVector3Length(basis.r[i]));

    // The longest row is trusted most; collapsed rows are rebuilt from the longer ones.
    int order[3];
    RankDescending(scale, order);
    const int a = order[0];
    const int b = order[1];
    const int c = order[2];

    if (scale[a] < DECOMPOSE_EPSILON)
        basis.r[a] = CanonicalAxis(a);
    basis.r[a] = XMVector3Normalize(basis.r[a]);

    if (scale[b] < DECOMPOSE_EPSILON)
    {
        // Any axis not parallel to row a: the world axis along which row a is shortest.
        const float magnitude[3] = {std::fabs(basis.r[a].f[0]), std::fabs(basis.r[a].f[1]),
                                    std::fabs(basis.r[a].f[2])};
        int axisOrder[3];
        RankDescending(magnitude, axisOrder);
        basis.r[b] = XMVector3Cross(basis.r[a], CanonicalAxis(axisOrder[2]));
    }
    basis.r[b] = XMVector3Normalize(basis.r[b]);

    if (scale[c] < DECOMPOSE_EPSILON)
        basis.r[c] = XMVector3Cross(basis.r[a], basis.r[b]);
    basis.r[c] = XMVector3Normalize(basis.r[c]);

    float det = XMVectorGetX(XMMatrixDeterminant(basis));
    if (det < 0.0f)
    {
        // A mirroring matrix: the mirror goes into the largest scale.
        scale[a] = -scale[a];
        basis.r[a] = XMVectorNegate(basis.r[a]);
        det = -det;
    }
    *outScale = XMVectorSet(scale[0], scale[1], scale[2], 0.0f);

    det -= 1.0f;
    det *= det;
    if (DECOMPOSE_EPSILON < det)
        return false;

    *outRotQuat = XMQuaternionRotationMatrix(basis);
    return true;
}

XMMATRIX XMMatrixLookToLH(FXMVECTOR eyePosition, FXMVECTOR eyeDirection, FXMVECTOR upDirection)
{
    const XMVECTOR zAxis = XMVector3Normalize(eyeDirection);
    const XMVECTOR xAxis = XMVector3Normalize(XMVector3Cross(upDirection, zAxis));
    const XMVECTOR yAxis = XMVector3Cross(zAxis, xAxis);
    const XMVECTOR negEye = XMVectorNegate(eyePosition);
    const float dx = XMVectorGetX(XMVector3Dot(xAxis, negEye));
    const float dy = XMVectorGetX(XMVector3Dot(yAxis, negEye));
    const float dz = XMVectorGetX(XMVector3Dot(zAxis, negEye));
    // The axes are the columns of the rotation part; the fourth row moves the eye to the origin.
    return XMMATRIX(xAxis.f[0], yAxis.f[0], zAxis.f[0], 0.0f, //
                    xAxis.f[1], yAxis.f[1], zAxis.f[1], 0.0f, //
                    xAxis.f[2], yAxis.f[2], zAxis.f[2], 0.0f, //
                    dx, dy, dz, 1.0f);
}

XMMATRIX XMMatrixLookAtLH(FXMVECTOR eyePosition, FXMVECTOR focusPosition, FXMVECTOR upDirection)
{
    return XMMatrixLookToLH(eyePosition, XMVectorSubtract(focusPosition, eyePosition), upDirection);
}

XMMATRIX XMMatrixPerspectiveFovLH(float fovAngleY, float aspectRatio, float nearZ, float farZ)
{
    float sinFov, cosFov;
    XMScalarSinCos(&sinFov, &cosFov, 0.5f * fovAngleY);
    const float height = cosFov / sinFov;
    const float width = height / aspectRatio;
    const float range = farZ / (farZ - nearZ);
    return XMMATRIX(width, 0.0f, 0.0f, 0.0f,  //
                    0.0f, height, 0.0f, 0.0f, //
                    0.0f, 0.0f, range, 1.0f,  //
                    0.0f, 0.0f, -range * nearZ, 0.0f);
}

XMMATRIX XMMatrixOrthographicLH(float viewWidth, float viewHeight, float nearZ, float farZ)
{
    const float range = 1.0f / (farZ - nearZ);
    return XMMATRIX(2.0f / viewWidth, 0.0f, 0.0f, 0.0f,  //
                    0.0f, 2.0f / viewHeight, 0.0f, 0.0f, //
                    0.0f, 0.0f, range, 0.0f,             //
                    0.0f, 0.0f, -range * nearZ, 1.0f);
}

} // namespace DirectX
