#include "timing/KB_RotationInterpolation.h"

#include "tests/timing/CurveTestHelpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace DirectX;
using curvetest::At;
using curvetest::Lanes;
using curvetest::Vec;
using curvetest::VectorEq;
using curvetest::VectorNear;

namespace
{

constexpr double PI = 3.141592653589793;

XMVECTOR AboutY(double degrees)
{
    const double half = degrees * PI / 360.0;
    return Vec(0.0f, static_cast<float>(std::sin(half)), 0.0f, static_cast<float>(std::cos(half)));
}

// Angle in degrees of the rotation between two unit quaternions, whatever their signs.
double AngleBetween(const XMVECTOR& a, const XMVECTOR& b)
{
    const XMFLOAT4 p = Lanes(a);
    const XMFLOAT4 q = Lanes(b);
    double dot = std::fabs(static_cast<double>(p.x) * q.x + static_cast<double>(p.y) * q.y +
                           static_cast<double>(p.z) * q.z + static_cast<double>(p.w) * q.w);
    if (dot > 1.0)
        dot = 1.0;
    return 2.0 * std::acos(dot) * 180.0 / PI;
}

} // namespace

TEST(KB_RotationInterpolation, TwoKeysMeetHalfwayOnTheGreatArc)
{
    KB_RotationInterpolation curve(KB_String("cam.int"));
    EXPECT_EQ(curve.GetTypeName(), KB_String("RotationInterpolation"));
    curve.SetEndTime(10.0);
    curve.InsertQuaternion(AboutY(0.0), 0.0);
    curve.InsertQuaternion(AboutY(90.0), 2.0);
    EXPECT_TRUE(VectorNear(At(curve, 1.0), AboutY(45.0), 1e-5f));
    // Neither end key is its own neighbour's mirror, so the path stays on the arc.
    for (int i = 0; i <= 8; ++i)
        EXPECT_NEAR(AngleBetween(At(curve, 0.25 * i), AboutY(0.0)) +
                        AngleBetween(At(curve, 0.25 * i), AboutY(90.0)),
                    90.0, 0.1)
            << i;
}

TEST(KB_RotationInterpolation, EndsHoldTheirKeys)
{
    KB_RotationInterpolation curve(KB_String(""));
    EXPECT_TRUE(VectorEq(At(curve, 1.0), Vec(0, 0, 0, 1)));
    curve.SetEndTime(5.0);
    curve.InsertQuaternion(AboutY(10.0), 1.0);
    curve.InsertQuaternion(AboutY(20.0), 2.0);
    curve.InsertQuaternion(AboutY(40.0), 3.0);
    EXPECT_TRUE(VectorEq(At(curve, -1.0), AboutY(10.0)));
    EXPECT_TRUE(VectorEq(At(curve, std::numeric_limits<double>::quiet_NaN()), AboutY(10.0)));
    EXPECT_TRUE(VectorEq(At(curve, 0.5), AboutY(10.0)));
    EXPECT_TRUE(VectorEq(At(curve, 3.5), AboutY(40.0)));
    EXPECT_TRUE(VectorEq(At(curve, 6.0), AboutY(40.0)));
    EXPECT_TRUE(VectorNear(At(curve, 2.0), AboutY(20.0), 1e-6f));
    XMVECTOR v;
    curve.SetStartTime(-2.0);
    EXPECT_TRUE(VectorNear(*curve.GetValueAtAbsoluteTime(&v, 0.0), AboutY(20.0), 1e-6f));
}

TEST(KB_RotationInterpolation, InnerSegmentsUseTheNeighbourKeys)
{
    // Uneven steps about one axis: squad stays on the axis and passes every key.
    KB_RotationInterpolation curve(KB_String(""));
    curve.SetEndTime(10.0);
    const double angles[] = {0.0, 10.0, 40.0, 50.0, 90.0};
    for (int i = 0; i < 5; ++i)
        curve.InsertQuaternion(AboutY(angles[i]), i);
    for (int i = 0; i < 5; ++i)
        EXPECT_LT(AngleBetween(At(curve, i), AboutY(angles[i])), 0.1) << i;
    for (int i = 0; i < 40; ++i)
    {
        const XMFLOAT4 q = Lanes(At(curve, 0.1 * i));
        EXPECT_NEAR(q.x, 0.0f, 1e-6f);
        EXPECT_NEAR(q.z, 0.0f, 1e-6f);
    }
}

TEST(KB_RotationInterpolation, HemisphereFlipDoesNotSpinAFullTurn)
{
    // q and -q are the same rotation: the curve must stay there.
    KB_RotationInterpolation same(KB_String(""));
    same.SetEndTime(10.0);
    const XMVECTOR q = AboutY(30.0);
    same.InsertQuaternion(q, 0.0);
    same.InsertQuaternion(XMVectorScale(q, -1.0f), 1.0);
    for (int i = 0; i <= 10; ++i)
        EXPECT_LT(AngleBetween(At(same, 0.1 * i), q), 0.1) << i;

    // A flip in the middle of a slow turn: every step stays small.
    KB_RotationInterpolation turn(KB_String(""));
    turn.SetEndTime(10.0);
    turn.InsertQuaternion(AboutY(0.0), 0.0);
    turn.InsertQuaternion(XMVectorScale(AboutY(20.0), -1.0f), 1.0);
    turn.InsertQuaternion(AboutY(40.0), 2.0);
    turn.InsertQuaternion(XMVectorScale(AboutY(60.0), -1.0f), 3.0);
    XMVECTOR previous = At(turn, 0.0);
    for (int i = 1; i <= 60; ++i)
    {
        const XMVECTOR current = At(turn, 0.05 * i);
        EXPECT_LT(AngleBetween(previous, current), 2.0) << i;
        previous = current;
    }
    EXPECT_LT(AngleBetween(At(turn, 1.5), AboutY(30.0)), 0.5);
}
