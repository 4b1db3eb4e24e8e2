#include "timing/KB_TrigonometryInterpolation.h"

#include "tests/timing/CurveTestHelpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace DirectX;
using curvetest::At;
using curvetest::Vec;
using curvetest::VectorEq;
using curvetest::VectorNear;

namespace
{

// From (0, 0, 0, 1) at 0 to (1, 1, 1, 1) at 1.
void MakeUnitRamp(KB_TrigonometryInterpolation& curve, std::uint32_t uiMode)
{
    curve.SetEndTime(10.0);
    curve.SetMode(uiMode);
    curve.InsertVertex(Vec(0, 0, 0, 1), 0.0);
    curve.InsertVertex(Vec(1, 1, 1, 1), 1.0);
}

} // namespace

TEST(KB_TrigonometryInterpolation, ModeNamesTheEasedCoordinate)
{
    const float eased = static_cast<float>(std::cos(1.25 * 3.141592653589793) + 1.0) * 0.5f;
    EXPECT_NEAR(eased, 0.1464466f, 1e-6f);
    struct Case
    {
        std::uint32_t uiMode;
        XMVECTOR vExpected;
    };
    for (const Case& c : {Case{0, Vec(eased, 0.25f, 0.25f)}, Case{1, Vec(0.25f, eased, 0.25f)},
                          Case{2, Vec(0.25f, 0.25f, eased)}, Case{3, Vec(eased, eased, eased)},
                          Case{5, Vec(eased, eased, eased)}, Case{0xFFFFFFFFu, Vec(eased, eased, eased)}})
    {
        KB_TrigonometryInterpolation curve(KB_String(""));
        MakeUnitRamp(curve, c.uiMode);
        EXPECT_EQ(curve.GetMode(), c.uiMode);
        // The fourth lane is always 0, whatever the keys hold.
        EXPECT_TRUE(VectorEq(At(curve, 0.25), c.vExpected)) << c.uiMode;
        EXPECT_TRUE(VectorNear(At(curve, 0.5), Vec(0.5f, 0.5f, 0.5f, 0.0f), 1e-7f)) << c.uiMode;
    }
}

TEST(KB_TrigonometryInterpolation, EaseRunsBetweenTheTwoKeysWithoutOvershoot)
{
    KB_TrigonometryInterpolation curve(KB_String(""));
    curve.SetEndTime(10.0);
    curve.SetMode(4);
    curve.InsertVertex(Vec(2, 4, -6), 1.0);
    curve.InsertVertex(Vec(4, 8, -2), 3.0);
    float fLast = 2.0f;
    for (int i = 0; i <= 20; ++i)
    {
        const float x = curvetest::Lanes(At(curve, 1.0 + 0.1 * i)).x;
        EXPECT_GE(x, fLast);
        EXPECT_LE(x, 4.0f);
        fLast = x;
    }
    EXPECT_TRUE(VectorEq(At(curve, 1.0), Vec(2, 4, -6)));
    EXPECT_TRUE(VectorEq(At(curve, 3.0), Vec(4, 8, -2)));
    EXPECT_TRUE(VectorEq(At(curve, std::numeric_limits<double>::quiet_NaN()), Vec(2, 4, -6)));
    EXPECT_TRUE(VectorNear(At(curve, 2.0), Vec(3, 6, -4), 1e-6f));
}

TEST(KB_TrigonometryInterpolation, EndsHoldTheKeysWithTheirFourthLane)
{
    KB_TrigonometryInterpolation curve(KB_String(""));
    MakeUnitRamp(curve, 1);
    EXPECT_TRUE(VectorEq(At(curve, -1.0), Vec(0, 0, 0, 1)));
    EXPECT_TRUE(VectorEq(At(curve, 2.0), Vec(1, 1, 1, 1)));
    KB_TrigonometryInterpolation empty(KB_String(""));
    EXPECT_TRUE(VectorEq(At(empty, 0.0), Vec(0, 0, 0)));
}
