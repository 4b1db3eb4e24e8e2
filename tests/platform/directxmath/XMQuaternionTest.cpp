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

XMVECTOR TurnAboutY(float degrees)
{
    return XMQuaternionRotationAxis(g_XMIdentityR1, XMConvertToRadians(degrees));
}

// The angle in degrees by which q turns the x axis about y (x goes to -z at +90).
float YawDegrees(const XMVECTOR& q)
{
    const XMVECTOR x = XMVector3Rotate(g_XMIdentityR0, XMQuaternionNormalize(q));
    return XMConvertToDegrees(std::atan2(-XMVectorGetZ(x), XMVectorGetX(x)));
}

XMVECTOR SquadBetween(const XMVECTOR& q0, const XMVECTOR& q1, const XMVECTOR& q2, const XMVECTOR& q3, float t)
{
    XMVECTOR a, b, c;
    XMQuaternionSquadSetup(&a, &b, &c, q0, q1, q2, q3);
    return XMQuaternionSquad(q1, a, b, c, t);
}

} // namespace

TEST(XMQuaternion, MultiplyAppliesTheFirstArgumentFirst)
{
    const XMVECTOR qx = XMQuaternionRotationAxis(g_XMIdentityR0, XM_PIDIV2);
    const XMVECTOR qy = XMQuaternionRotationAxis(g_XMIdentityR1, XM_PIDIV2);
    ExpectMatrixNear(XMMatrixRotationQuaternion(XMQuaternionMultiply(qx, qy)),
                     XMMatrixRotationX(XM_PIDIV2) * XMMatrixRotationY(XM_PIDIV2));
    // y turned about x lands on z, which then turns about y onto x.
    ExpectVectorNear(XMVector3Rotate(XMVector3Rotate(g_XMIdentityR1, qx), qy), 1.0f, 0.0f, 0.0f, 0.0f);
    ExpectVectorNear(XMVector3Rotate(g_XMIdentityR1, XMQuaternionMultiply(qx, qy)), 1.0f, 0.0f, 0.0f, 0.0f);
    ExpectVectorNear(XMVector3Rotate(g_XMIdentityR0, qy), 0.0f, 0.0f, -1.0f, 0.0f);

    const XMVECTOR q = XMVectorSet(0.1f, 0.2f, 0.3f, 0.9f);
    ExpectVectorEq(XMQuaternionMultiply(XMQuaternionIdentity(), q), 0.1f, 0.2f, 0.3f, 0.9f);
    ExpectVectorEq(XMQuaternionConjugate(q), -0.1f, -0.2f, -0.3f, 0.9f);
}

TEST(XMQuaternion, AxisAngleAndRollPitchYaw)
{
    const float h = std::sin(XM_PIDIV4);
    ExpectVectorNear(XMQuaternionRotationAxis(XMVectorSet(0.0f, 5.0f, 0.0f, 0.0f), XM_PIDIV2), 0.0f, h, 0.0f,
                     std::cos(XM_PIDIV4), 1e-7f);
    const float pitch = -0.5f, yaw = 2.2f, roll = 0.8f;
    const XMVECTOR expected =
        XMQuaternionMultiply(XMQuaternionMultiply(XMQuaternionRotationAxis(g_XMIdentityR2, roll),
                                                  XMQuaternionRotationAxis(g_XMIdentityR0, pitch)),
                             XMQuaternionRotationAxis(g_XMIdentityR1, yaw));
    ExpectVectorNear(XMQuaternionRotationRollPitchYaw(pitch, yaw, roll), expected);
    ExpectVectorEq(XMQuaternionRotationRollPitchYawFromVector(XMVectorSet(pitch, yaw, roll, 0.0f)),
                   XMQuaternionRotationRollPitchYaw(pitch, yaw, roll));
}

TEST(XMQuaternion, NormalizeAndInverse)
{
    ExpectVectorEq(XMQuaternionNormalize(XMVectorSet(0.0f, 0.0f, 0.0f, 2.0f)), 0.0f, 0.0f, 0.0f, 1.0f);
    ExpectVectorEq(XMQuaternionNormalize(XMVectorZero()), 0.0f, 0.0f, 0.0f, 0.0f);

    const XMVECTOR q = XMVectorSet(0.2f, -0.4f, 1.0f, 1.5f);
    ExpectVectorNear(XMQuaternionMultiply(q, XMQuaternionInverse(q)), 0.0f, 0.0f, 0.0f, 1.0f);
    ExpectVectorEq(XMQuaternionInverse(XMVectorSet(0.0f, 0.0f, 0.0f, 2.0f)), 0.0f, 0.0f, 0.0f, 0.5f);
    // A squared length at or below FLT_EPSILON has no usable inverse: zero.
    ExpectVectorEq(XMQuaternionInverse(XMVectorSet(1e-4f, 0.0f, 0.0f, 0.0f)), 0.0f, 0.0f, 0.0f, 0.0f);
}

TEST(XMQuaternion, LogarithmAndExponentialAreInverse)
{
    const XMVECTOR axis = XMVector3Normalize(XMVectorSet(1.0f, 2.0f, -2.0f, 0.0f));
    const XMVECTOR q = XMQuaternionRotationNormal(axis, 1.2f);
    const XMVECTOR ln = XMQuaternionLn(q);
    ExpectVectorNear(ln, XMVectorSetW(axis * 0.6f, 0.0f));
    ExpectVectorNear(XMQuaternionExp(ln), q);
    ExpectVectorEq(XMQuaternionLn(XMQuaternionIdentity()), 0.0f, 0.0f, 0.0f, 0.0f);
    ExpectVectorEq(XMQuaternionExp(XMVectorZero()), 0.0f, 0.0f, 0.0f, 1.0f);
}

TEST(XMQuaternion, SlerpTakesTheShortArcAndSurvivesParallelInputs)
{
    const XMVECTOR q0 = XMQuaternionIdentity();
    const XMVECTOR q1 = TurnAboutY(90.0f);
    EXPECT_NEAR(YawDegrees(XMQuaternionSlerp(q0, q1, 0.5f)), 45.0f, 1e-4f);
    EXPECT_NEAR(YawDegrees(XMQuaternionSlerp(q0, q1, 0.25f)), 22.5f, 1e-4f);
    ExpectVectorNear(XMQuaternionSlerp(q0, q1, 0.0f), 0.0f, 0.0f, 0.0f, 1.0f);
    ExpectSameRotation(XMQuaternionSlerp(q0, q1, 1.0f), q1);

    // The opposite sign of q1 is the same rotation: the blend goes the same (short) way.
    ExpectVectorEq(XMQuaternionSlerp(q0, -q1, 0.5f), XMQuaternionSlerp(q0, q1, 0.5f));

    // Equal and opposite-equal inputs take the linear branch instead of dividing by sin 0.
    const XMVECTOR q = TurnAboutY(30.0f);
    for (const XMVECTOR& other : {q, -q})
        ExpectVectorNear(XMQuaternionSlerp(q, other, 0.3f), q, 1e-7f);
}

TEST(XMQuaternion, SquadWithRepeatedEndKeysBlendsLikeSlerp)
{
    const XMVECTOR q1 = XMQuaternionIdentity();
    const XMVECTOR q2 = TurnAboutY(90.0f);
    EXPECT_NEAR(YawDegrees(SquadBetween(q1, q1, q2, q2, 0.5f)), 45.0f, 1e-3f);
    ExpectSameRotation(SquadBetween(q1, q1, q2, q2, 0.0f), q1);
    ExpectSameRotation(SquadBetween(q1, q1, q2, q2, 1.0f), q2);
}

TEST(XMQuaternion, SquadAcrossAHemisphereFlipDoesNotSpin)
{
    // Keys every 60 degrees about y; the later two given with the opposite sign, as curves stored
    // from a full turn hold them.
    const XMVECTOR k0 = TurnAboutY(0.0f);
    const XMVECTOR k1 = TurnAboutY(60.0f);
    const XMVECTOR k2 = TurnAboutY(120.0f);
    const XMVECTOR k3 = TurnAboutY(180.0f);

    XMVECTOR a, b, c;
    XMQuaternionSquadSetup(&a, &b, &c, k0, k1, -k2, -k3);
    ExpectVectorEq(c, k2);

    float previous = 60.0f;
    for (int i = 0; i <= 20; ++i)
    {
        const float t = static_cast<float>(i) / 20.0f;
        const XMVECTOR flipped = SquadBetween(k0, k1, -k2, -k3, t);
        ExpectSameRotation(flipped, SquadBetween(k0, k1, k2, k3, t));
        const float yaw = YawDegrees(flipped);
        EXPECT_GE(yaw, previous - 1e-3f) << "t " << t;
        EXPECT_LE(yaw, 120.0f + 1e-3f) << "t " << t;
        previous = yaw;
    }
    EXPECT_NEAR(previous, 120.0f, 1e-3f);
    // Evenly spaced keys about one axis: the middle of the segment is the middle angle.
    EXPECT_NEAR(YawDegrees(SquadBetween(k0, k1, -k2, -k3, 0.5f)), 90.0f, 1e-3f);
}

TEST(XMQuaternion, FromMatrixRoundTripsInEveryBranch)
{
    const XMVECTOR rotations[] = {
        XMQuaternionRotationAxis(g_XMIdentityR0, XMConvertToRadians(170.0f)),
        XMQuaternionRotationAxis(g_XMIdentityR1, XMConvertToRadians(170.0f)),
        XMQuaternionRotationAxis(g_XMIdentityR2, XMConvertToRadians(170.0f)),
        XMQuaternionRotationAxis(XMVectorSet(1.0f, 1.0f, 1.0f, 0.0f), XMConvertToRadians(30.0f)),
        XMQuaternionRotationAxis(XMVectorSet(-1.0f, 0.5f, 2.0f, 0.0f), XMConvertToRadians(250.0f)),
    };
    for (const XMVECTOR& q : rotations)
        ExpectSameRotation(XMQuaternionRotationMatrix(XMMatrixRotationQuaternion(q)), q);
    ExpectVectorEq(XMQuaternionRotationMatrix(XMMatrixIdentity()), 0.0f, 0.0f, 0.0f, 1.0f);
}
