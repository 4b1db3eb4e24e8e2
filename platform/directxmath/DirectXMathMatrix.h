#pragma once
// Matrix construction, products, inverse, decomposition and the left-handed view and projection
// matrices. Row vectors throughout: a point p maps to p x M, the translation is the fourth row,
// and XMMatrixMultiply(A, B) = A x B applies A first. Angles are radians; a positive angle turns
// clockwise when looking along the axis towards the origin (left-handed).

#include "platform/directxmath/DirectXMathVector.h"

namespace DirectX
{

inline XMMATRIX XMMatrixSet(float m00, float m01, float m02, float m03, float m10, float m11, float m12,
                            float m13, float m20, float m21, float m22, float m23, float m30, float m31,
                            float m32, float m33)
{
    return XMMATRIX(m00, m01, m02, m03, m10, m11, m12, m13, m20, m21, m22, m23, m30, m31, m32, m33);
}

inline XMMATRIX XMMatrixIdentity()
{
    return XMMATRIX(g_XMIdentityR0, g_XMIdentityR1, g_XMIdentityR2, g_XMIdentityR3);
}

// A x B: row i is ((a_i0 b.r0 + a_i1 b.r1) + a_i2 b.r2) + a_i3 b.r3.
inline XMMATRIX XMMatrixMultiply(FXMMATRIX a, CXMMATRIX b)
{
    XMMATRIX result;
    for (int i = 0; i < 4; ++i)
        result.r[i] = XMVector4Transform(a.r[i], b);
    return result;
}

inline XMMATRIX XMMatrixTranspose(FXMMATRIX m)
{
    XMMATRIX result;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            result.r[i].f[j] = m.r[j].f[i];
    return result;
}

// The transposed product, (A x B) transposed, as shaders with column-major constants expect.
inline XMMATRIX XMMatrixMultiplyTranspose(FXMMATRIX a, CXMMATRIX b)
{
    return XMMatrixTranspose(XMMatrixMultiply(a, b));
}

inline XMMATRIX XMMatrixTranslation(float x, float y, float z)
{
    return XMMATRIX(1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, x, y, z, 1.0f);
}

inline XMMATRIX XMMatrixTranslationFromVector(FXMVECTOR v)
{
    return XMMatrixTranslation(v.f[0], v.f[1], v.f[2]);
}

inline XMMATRIX XMMatrixScaling(float x, float y, float z)
{
    return XMMATRIX(x, 0.0f, 0.0f, 0.0f, 0.0f, y, 0.0f, 0.0f, 0.0f, 0.0f, z, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f);
}

inline XMMATRIX XMMatrixScalingFromVector(FXMVECTOR v)
{
    return XMMatrixScaling(v.f[0], v.f[1], v.f[2]);
}

XMMATRIX XMMatrixRotationX(float angle);
XMMATRIX XMMatrixRotationY(float angle);
XMMATRIX XMMatrixRotationZ(float angle);

// Rotation about a unit axis (x, y, z used).
XMMATRIX XMMatrixRotationNormal(FXMVECTOR normalAxis, float angle);

// Rotation about an axis of any non-zero length (normalised first).
XMMATRIX XMMatrixRotationAxis(FXMVECTOR axis, float angle);

// Roll about z first, then pitch about x, then yaw about y.
XMMATRIX XMMatrixRotationRollPitchYaw(float pitch, float yaw, float roll);

// Angles as (pitch, yaw, roll, ignored).
XMMATRIX XMMatrixRotationRollPitchYawFromVector(FXMVECTOR angles);

// The rotation of a unit quaternion (x, y, z, w); the quaternion is used as given, not normalised.
XMMATRIX XMMatrixRotationQuaternion(FXMVECTOR quaternion);

// The determinant in every lane.
XMVECTOR XMMatrixDeterminant(FXMMATRIX m);

// The inverse; *pDeterminant (may be null) receives the determinant in every lane. A singular
// matrix (determinant 0) gives a matrix of infinities and NaNs, as the library documents.
XMMATRIX XMMatrixInverse(XMVECTOR* pDeterminant, FXMMATRIX m);

// Splits m into scale (w 0), rotation quaternion and translation (the fourth row), so that
// Scaling x RotationQuaternion x Translation rebuilds m. A zero scale axis is replaced by an axis
// orthogonal to the others; a mirroring matrix gets its largest scale negated. Returns false when
// the upper 3x3 is not a rotation times a scale (sheared); *outRotQuat is then left unwritten.
bool XMMatrixDecompose(XMVECTOR* outScale, XMVECTOR* outRotQuat, XMVECTOR* outTrans, FXMMATRIX m);

// Left-handed view looking from eye along eyeDirection (any length, not zero) with the given up
// direction (not parallel to eyeDirection).
XMMATRIX XMMatrixLookToLH(FXMVECTOR eyePosition, FXMVECTOR eyeDirection, FXMVECTOR upDirection);

// XMMatrixLookToLH(eye, focus - eye, up).
XMMATRIX XMMatrixLookAtLH(FXMVECTOR eyePosition, FXMVECTOR focusPosition, FXMVECTOR upDirection);

// Left-handed perspective projection; vertical field of view in radians; depth 0 at nearZ, 1 at farZ.
XMMATRIX XMMatrixPerspectiveFovLH(float fovAngleY, float aspectRatio, float nearZ, float farZ);

// Left-handed orthographic projection of a view volume centred on the z axis.
XMMATRIX XMMatrixOrthographicLH(float viewWidth, float viewHeight, float nearZ, float farZ);

inline XMMATRIX operator+(FXMMATRIX m)
{
    return m;
}

inline XMMATRIX operator-(FXMMATRIX m)
{
    return XMMATRIX(XMVectorNegate(m.r[0]), XMVectorNegate(m.r[1]), XMVectorNegate(m.r[2]),
                    XMVectorNegate(m.r[3]));
}

inline XMMATRIX operator+(FXMMATRIX a, CXMMATRIX b)
{
    return XMMATRIX(XMVectorAdd(a.r[0], b.r[0]), XMVectorAdd(a.r[1], b.r[1]), XMVectorAdd(a.r[2], b.r[2]),
                    XMVectorAdd(a.r[3], b.r[3]));
}

inline XMMATRIX operator-(FXMMATRIX a, CXMMATRIX b)
{
    return XMMATRIX(XMVectorSubtract(a.r[0], b.r[0]), XMVectorSubtract(a.r[1], b.r[1]),
                    XMVectorSubtract(a.r[2], b.r[2]), XMVectorSubtract(a.r[3], b.r[3]));
}

// The matrix product A x B.
inline XMMATRIX operator*(FXMMATRIX a, CXMMATRIX b)
{
    return XMMatrixMultiply(a, b);
}

inline XMMATRIX operator*(FXMMATRIX m, float s)
{
    return XMMATRIX(XMVectorScale(m.r[0], s), XMVectorScale(m.r[1], s), XMVectorScale(m.r[2], s),
                    XMVectorScale(m.r[3], s));
}

inline XMMATRIX operator*(float s, FXMMATRIX m)
{
    return m * s;
}

inline XMMATRIX operator/(FXMMATRIX m, float s)
{
    const XMVECTOR vs = XMVectorReplicate(s);
    return XMMATRIX(XMVectorDivide(m.r[0], vs), XMVectorDivide(m.r[1], vs), XMVectorDivide(m.r[2], vs),
                    XMVectorDivide(m.r[3], vs));
}

inline XMMATRIX& operator+=(XMMATRIX& a, CXMMATRIX b)
{
    return a = a + b;
}
inline XMMATRIX& operator-=(XMMATRIX& a, CXMMATRIX b)
{
    return a = a - b;
}
inline XMMATRIX& operator*=(XMMATRIX& a, CXMMATRIX b)
{
    return a = XMMatrixMultiply(a, b);
}
inline XMMATRIX& operator*=(XMMATRIX& m, float s)
{
    return m = m * s;
}
inline XMMATRIX& operator/=(XMMATRIX& m, float s)
{
    return m = m / s;
}

} // namespace DirectX
