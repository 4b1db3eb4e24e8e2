#include "timing/KU_ConstantValueInterpolation.h"

#include "tests/timing/CurveTestHelpers.h"

#include <gtest/gtest.h>

#include <limits>

using namespace DirectX;
using curvetest::At;
using curvetest::Vec;
using curvetest::VectorEq;

TEST(KU_ConstantValueInterpolation, EachKeyHoldsUntilTheNext)
{
    KU_ConstantValueInterpolation curve(KB_String(""));
    EXPECT_EQ(curve.GetTypeName(), KB_String("ConstantValueInterpolation"));
    EXPECT_TRUE(VectorEq(At(curve, 1.0), Vec(0, 0, 0)));
    curve.InsertVertex(Vec(1, 0, 0), 1.0);
    curve.InsertVertex(Vec(2, 0, 0), 3.0);
    curve.InsertVertex(Vec(3, 0, 0), 5.0);

    EXPECT_TRUE(VectorEq(At(curve, -0.5), Vec(0, 0, 0)));
    EXPECT_TRUE(VectorEq(At(curve, std::numeric_limits<double>::quiet_NaN()), Vec(0, 0, 0)));
    EXPECT_TRUE(VectorEq(At(curve, 0.0), Vec(1, 0, 0)));
    EXPECT_TRUE(VectorEq(At(curve, 2.0), Vec(1, 0, 0)));
    EXPECT_TRUE(VectorEq(At(curve, 3.0), Vec(2, 0, 0)));
    EXPECT_TRUE(VectorEq(At(curve, 4.0), Vec(2, 0, 0)));
    // No end of interval: the end time is still 0.
    EXPECT_TRUE(VectorEq(At(curve, 100.0), Vec(3, 0, 0)));

    curve.InsertVertex(Vec(4, 0, 0), 3.0);
    EXPECT_TRUE(VectorEq(At(curve, 3.0), Vec(4, 0, 0)));
}
