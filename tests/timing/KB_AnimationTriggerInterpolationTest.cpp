#include "timing/KB_AnimationTriggerInterpolation.h"

#include "tests/timing/CurveTestHelpers.h"

#include <gtest/gtest.h>

#include <limits>

using namespace DirectX;
using curvetest::At;
using curvetest::Vec;
using curvetest::VectorEq;

TEST(KB_AnimationTriggerInterpolation, ReportsTheLastPassedKey)
{
    KB_AnimationTriggerInterpolation curve(KB_String(""));
    EXPECT_TRUE(VectorEq(At(curve, 1.0), Vec(0, 0, 0)));
    // Values and interval play no part (end stays 0).
    for (double s : {0.0, 2.0, 6.0})
        curve.InsertVertex(Vec(9, 9, 9, 9), s);

    EXPECT_TRUE(VectorEq(At(curve, -1.0), Vec(0, 0, 0)));
    EXPECT_TRUE(VectorEq(At(curve, 0.0), Vec(0, 0, 0)));
    EXPECT_TRUE(VectorEq(At(curve, 1.0), Vec(1, 0, 0.5f)));
    EXPECT_TRUE(VectorEq(At(curve, 2.0), Vec(2, 0, 1)));
    EXPECT_TRUE(VectorEq(At(curve, 3.0), Vec(1, 1, 0.25f)));
    EXPECT_TRUE(VectorEq(At(curve, 7.0), Vec(1, 2, 0)));
    EXPECT_TRUE(VectorEq(At(curve, 1000.0), Vec(994, 2, 0)));
    EXPECT_TRUE(VectorEq(At(curve, std::numeric_limits<double>::quiet_NaN()), Vec(0, 0, 0)));
}

TEST(KB_AnimationTriggerInterpolation, EqualStampsGiveNoFraction)
{
    KB_AnimationTriggerInterpolation curve(KB_String(""));
    for (double s : {0.0, 2.0, 2.0, 6.0})
        curve.InsertVertex(Vec(0, 0, 0), s);
    EXPECT_TRUE(VectorEq(At(curve, 1.0), Vec(1, 0, 0.5f)));
    EXPECT_TRUE(VectorEq(At(curve, 3.0), Vec(1, 2, 0.25f)));

    KB_AnimationTriggerInterpolation pair(KB_String(""));
    pair.InsertVertex(Vec(0, 0, 0), 1.0);
    pair.InsertVertex(Vec(0, 0, 0), 1.0);
    EXPECT_TRUE(VectorEq(At(pair, 1.5), Vec(0.5f, 1, 0)));
}
