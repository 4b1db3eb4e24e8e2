#include "platform/directxmath/DirectXMath.h"
#include "tests/platform/directxmath/XMTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace DirectX;
using xmtest::ExpectMatrixNear;
using xmtest::ExpectSameRotation;
using xmtest::ExpectVectorEq;
using xmtest::ExpectVectorNear;

namespace
{

XMVECTOR Apply(const XMVECTOR& point, const XMMATRIX& m)
{
    return XMVector3Transform(point, m);
}

} // namespace

TEST(XMMatrix, ProductAppliesTheLeftOperandFirst)
{
    const XMMATRIX identity = XMMatrixIdentity();
    const XMMATRIX t = XMMatrixTranslation(1.0f, 0.0f, 0.0f);
    const XMMATRIX s = XMMatrixScaling(2.0f, 3.0f, 4.0f);
    ExpectMatrixNear(identity * t, t, 0.0f);
    ExpectVectorEq(Apply(XMVectorZero(), t * s), 2.0f, 0.0f, 0.0f, 1.0f);
    ExpectVectorEq(Apply(XMVectorZero(), s * t), 1.0f, 0.0f, 0.0f, 1.0f);
    ExpectMatrixNear(XMMatrixMultiply(t, s), t * s, 0.0f);
    ExpectMatrixNear(XMMatrixScalingFromVector(XMVectorSet(2.0f, 3.0f, 4.0f, 9.0f)), s, 0.0f);
    ExpectMatrixNear(XMMatrixTranslationFromVector(g_XMIdentityR0), t, 0.0f);

    XMMATRIX m = t;
    m *= s;
    ExpectMatrixNear(m, t * s, 0.0f);
    ExpectMatrixNear(m * 2.0f - m, m, 0.0f);
    ExpectMatrixNear(XMMatrixMultiplyTranspose(t, s), XMMatrixTranspose(t * s), 0.0f);
}

TEST(XMMatrix, TransposeSwapsRowsAndColumns)
{
    const XMMATRIX m(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const XMMATRIX t = XMMatrixTranspose(m);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(t(r, c), m(c, r));
}

TEST(XMMatrix, QuarterTurnsAboutEachAxisAreLeftHanded)
{
    // A positive angle turns clockwise looking along the axis towards the origin: x -> -z about y.
    ExpectVectorNear(Apply(g_XMIdentityR1, XMMatrixRotationX(XM_PIDIV2)), 0.0f, 0.0f, 1.0f, 1.0f);
    ExpectVectorNear(Apply(g_XMIdentityR2, XMMatrixRotationY(XM_PIDIV2)), 1.0f, 0.0f, 0.0f, 1.0f);
    ExpectVectorNear(Apply(g_XMIdentityR0, XMMatrixRotationY(XM_PIDIV2)), 0.0f, 0.0f, -1.0f, 1.0f);
    ExpectVectorNear(Apply(g_XMIdentityR0, XMMatrixRotationZ(XM_PIDIV2)), 0.0f, 1.0f, 0.0f, 1.0f);

    // The axis, the quaternion and the per-axis forms agree; the axis need not be unit length.
    const float angle = 0.7f;
    ExpectMatrixNear(XMMatrixRotationAxis(XMVectorSet(3.0f, 0.0f, 0.0f, 0.0f), angle),
                     XMMatrixRotationX(angle));
    ExpectMatrixNear(XMMatrixRotationAxis(g_XMIdentityR1, angle), XMMatrixRotationY(angle));
    ExpectMatrixNear(XMMatrixRotationAxis(g_XMIdentityR2, angle), XMMatrixRotationZ(angle));
    const XMVECTOR axis = XMVectorSet(1.0f, -2.0f, 0.5f, 0.0f);
    ExpectMatrixNear(XMMatrixRotationQuaternion(XMQuaternionRotationAxis(axis, angle)),
                     XMMatrixRotationAxis(axis, angle));
    ExpectMatrixNear(XMMatrixRotationQuaternion(XMQuaternionIdentity()), XMMatrixIdentity(), 0.0f);
}

TEST(XMMatrix, RollPitchYawTurnsRollThenPitchThenYaw)
{
    const float pitch = 0.3f, yaw = -1.1f, roll = 2.0f;
    const XMMATRIX expected = XMMatrixRotationZ(roll) * XMMatrixRotationX(pitch) * XMMatrixRotationY(yaw);
    ExpectMatrixNear(XMMatrixRotationRollPitchYaw(pitch, yaw, roll), expected);
    ExpectMatrixNear(XMMatrixRotationRollPitchYawFromVector(XMVectorSet(pitch, yaw, roll, 0.0f)), expected);
    ExpectMatrixNear(XMMatrixRotationQuaternion(XMQuaternionRotationRollPitchYaw(pitch, yaw, roll)),
                     expected);
}

TEST(XMMatrix, InverseTimesOriginalIsIdentityAndReportsTheDeterminant)
{
    const XMMATRIX m = XMMatrixScaling(2.0f, 3.0f, 4.0f) *
                       XMMatrixRotationAxis(XMVectorSet(1.0f, 1.0f, 0.0f, 0.0f), 0.9f) *
                       XMMatrixTranslation(5.0f, -6.0f, 7.0f);
    XMVECTOR det;
    const XMMATRIX inverse = XMMatrixInverse(&det, m);
    ExpectVectorNear(det, 24.0f, 24.0f, 24.0f, 24.0f, 1e-4f);
    ExpectVectorNear(XMMatrixDeterminant(m), 24.0f, 24.0f, 24.0f, 24.0f, 1e-4f);
    ExpectMatrixNear(inverse * m, XMMatrixIdentity());
    ExpectMatrixNear(m * inverse, XMMatrixIdentity());

    // A general (projective) matrix inverts too.
    const XMMATRIX p = XMMatrixLookToLH(XMVectorSet(1, 2, 3, 0), XMVectorSet(1, -1, 2, 0), g_XMIdentityR1) *
                       XMMatrixPerspectiveFovLH(1.0f, 1.5f, 0.5f, 50.0f);
    ExpectMatrixNear(XMMatrixInverse(nullptr, p) * p, XMMatrixIdentity(), 1e-4f);

    ExpectMatrixNear(XMMatrixInverse(nullptr, XMMatrixIdentity()), XMMatrixIdentity(), 0.0f);
    ExpectMatrixNear(XMMatrixInverse(nullptr, XMMatrixTranslation(1, 2, 3)), XMMatrixTranslation(-1, -2, -3),
                     0.0f);
}

TEST(XMMatrix, SingularInverseIsInfiniteWithZeroDeterminant)
{
    XMVECTOR det = XMVectorReplicate(5.0f);
    const XMMATRIX inverse = XMMatrixInverse(&det, XMMatrixScaling(1.0f, 0.0f, 1.0f));
    ExpectVectorEq(det, 0.0f, 0.0f, 0.0f, 0.0f);
    EXPECT_TRUE(std::isinf(inverse(1, 1)));
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_FALSE(std::isfinite(inverse(r, c)));
}

TEST(XMMatrix, LookToPutsTheHandComputedAxesIntoColumns)
{
    // Looking along +x with y up: z axis = (1, 0, 0), x axis = up x z = (0, 0, -1), y axis = z x x.
    const XMVECTOR eye = XMVectorSet(1.0f, 2.0f, 3.0f, 0.0f);
    const XMMATRIX view = XMMatrixLookToLH(eye, XMVectorSet(4.0f, 0.0f, 0.0f, 0.0f), XMVectorSet(0, 3, 0, 0));
    const XMMATRIX expected(0.0f, 0.0f, 1.0f, 0.0f,  //
                            0.0f, 1.0f, 0.0f, 0.0f,  //
                            -1.0f, 0.0f, 0.0f, 0.0f, //
                            3.0f, -2.0f, -1.0f, 1.0f);
    ExpectMatrixNear(view, expected, 0.0f);
    ExpectVectorEq(Apply(eye, view), 0.0f, 0.0f, 0.0f, 1.0f);
    ExpectVectorEq(Apply(XMVectorSet(3.0f, 2.0f, 3.0f, 0.0f), view), 0.0f, 0.0f, 2.0f, 1.0f);

    const XMVECTOR focus = XMVectorSet(-2.0f, 5.0f, 1.0f, 0.0f);
    const XMVECTOR up = XMVectorSet(0.2f, 1.0f, 0.0f, 0.0f);
    ExpectMatrixNear(XMMatrixLookAtLH(eye, focus, up), XMMatrixLookToLH(eye, focus - eye, up), 0.0f);
    // The view is a rigid motion: its upper 3x3 is orthonormal.
    XMMATRIX rotation = XMMatrixLookAtLH(eye, focus, up);
    rotation.r[3] = g_XMIdentityR3;
    ExpectMatrixNear(rotation * XMMatrixTranspose(rotation), XMMatrixIdentity());
    EXPECT_NEAR(XMVectorGetX(XMMatrixDeterminant(rotation)), 1.0f, 1e-5f);
}

TEST(XMMatrix, PerspectiveAndOrthographicEntries)
{
    const XMMATRIX p = XMMatrixPerspectiveFovLH(XM_PIDIV2, 2.0f, 1.0f, 101.0f);
    const float h = std::cos(XM_PIDIV4) / std::sin(XM_PIDIV4);
    const float r = 101.0f / 100.0f;
    const XMMATRIX expected(h / 2.0f, 0, 0, 0, 0, h, 0, 0, 0, 0, r, 1.0f, 0, 0, -r * 1.0f, 0);
    ExpectMatrixNear(p, expected, 0.0f);

    const XMMATRIX o = XMMatrixOrthographicLH(4.0f, 2.0f, 1.0f, 5.0f);
    ExpectMatrixNear(o, XMMATRIX(0.5f, 0, 0, 0, 0, 1.0f, 0, 0, 0, 0, 0.25f, 0, 0, 0, -0.25f, 1.0f), 0.0f);
    ExpectVectorEq(XMVector3TransformCoord(XMVectorSet(2.0f, -1.0f, 5.0f, 0.0f), o), 1.0f, -1.0f, 1.0f, 1.0f);
}

TEST(XMMatrix, DecomposeThenRecomposeGivesTheMatrixBack)
{
    const XMVECTOR q = XMQuaternionRotationAxis(XMVectorSet(0.3f, 1.0f, -0.4f, 0.0f), 2.5f);
    const XMMATRIX m = XMMatrixScaling(1.0f, 2.0f, 3.0f) * XMMatrixRotationQuaternion(q) *
                       XMMatrixTranslation(4.0f, 5.0f, 6.0f);
    XMVECTOR scale, rotation, translation;
    ASSERT_TRUE(XMMatrixDecompose(&scale, &rotation, &translation, m));
    ExpectVectorNear(scale, 1.0f, 2.0f, 3.0f, 0.0f);
    ExpectSameRotation(rotation, q);
    ExpectVectorEq(translation, 4.0f, 5.0f, 6.0f, 1.0f);
    ExpectMatrixNear(XMMatrixScalingFromVector(scale) * XMMatrixRotationQuaternion(rotation) *
                         XMMatrixTranslationFromVector(translation),
                     m, 1e-5f);

    ASSERT_TRUE(XMMatrixDecompose(&scale, &rotation, &translation, XMMatrixIdentity()));
    ExpectVectorEq(scale, 1.0f, 1.0f, 1.0f, 0.0f);
    ExpectVectorEq(rotation, 0.0f, 0.0f, 0.0f, 1.0f);
}

TEST(XMMatrix, DecomposeMovesAMirrorIntoTheLargestScale)
{
    const XMMATRIX rotation = XMMatrixRotationY(0.4f);
    const XMMATRIX m = XMMatrixScaling(-1.0f, 2.0f, 3.0f) * rotation * XMMatrixTranslation(1, 1, 1);
    XMVECTOR scale, q, translation;
    ASSERT_TRUE(XMMatrixDecompose(&scale, &q, &translation, m));
    ExpectVectorNear(scale, 1.0f, 2.0f, -3.0f, 0.0f);
    ExpectMatrixNear(XMMatrixScalingFromVector(scale) * XMMatrixRotationQuaternion(q) *
                         XMMatrixTranslationFromVector(translation),
                     m, 1e-5f);
    // The rotation it finds is a proper one (mirror removed).
    EXPECT_NEAR(XMVectorGetX(XMMatrixDeterminant(XMMatrixRotationQuaternion(q))), 1.0f, 1e-5f);
}

TEST(XMMatrix, DecomposeRebuildsCollapsedAxesAndRejectsShear)
{
    XMVECTOR scale, q, translation;
    // One zero scale: the missing axis is rebuilt as the cross product of the others.
    const XMMATRIX flat = XMMatrixScaling(2.0f, 0.0f, 3.0f) * XMMatrixRotationZ(0.5f);
    ASSERT_TRUE(XMMatrixDecompose(&scale, &q, &translation, flat));
    ExpectVectorNear(scale, 2.0f, 0.0f, 3.0f, 0.0f);
    ExpectMatrixNear(XMMatrixScalingFromVector(scale) * XMMatrixRotationQuaternion(q), flat, 1e-5f);

    // Two and three zero scales: any rotation will do, but it is a valid one.
    for (const XMMATRIX& m : {XMMatrixScaling(0.0f, 0.0f, 5.0f), XMMatrixScaling(0.0f, 0.0f, 0.0f)})
    {
        ASSERT_TRUE(XMMatrixDecompose(&scale, &q, &translation, m));
        EXPECT_NEAR(XMVectorGetX(XMQuaternionLength(q)), 1.0f, 1e-5f);
        ExpectMatrixNear(XMMatrixScalingFromVector(scale) * XMMatrixRotationQuaternion(q), m, 1e-5f);
    }

    const XMMATRIX shear(1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0, 0, 0, 1);
    q = XMVectorReplicate(7.0f);
    EXPECT_FALSE(XMMatrixDecompose(&scale, &q, &translation, shear));
    ExpectVectorEq(q, 7.0f, 7.0f, 7.0f, 7.0f);
}

TEST(XMMatrix, DecomposedViewRebuildsFromEyeAndRotation)
{
    // A camera keeps a look-to view as eye plus rotation and rebuilds it as
    // Translation(-eye) x RotationQuaternion(rotation); directions in every octant.
    const XMVECTOR eye = XMVectorSet(-3.0f, 2.0f, 8.0f, 0.0f);
    const XMVECTOR directions[] = {XMVectorSet(1, 0.5f, 2, 0), XMVectorSet(-1, -0.2f, -3, 0),
                                   XMVectorSet(-2, 1, 0.1f, 0), XMVectorSet(0.3f, -1, -0.5f, 0)};
    for (const XMVECTOR& direction : directions)
    {
        const XMMATRIX view = XMMatrixLookToLH(eye, direction, g_XMIdentityR1);
        XMVECTOR scale, rotation, translation;
        ASSERT_TRUE(XMMatrixDecompose(&scale, &rotation, &translation, view));
        ExpectVectorNear(scale, 1.0f, 1.0f, 1.0f, 0.0f);
        const XMMATRIX rebuilt = XMMatrixTranslationFromVector(-eye) * XMMatrixRotationQuaternion(rotation);
        ExpectMatrixNear(rebuilt, view, 1e-5f);
    }
}
