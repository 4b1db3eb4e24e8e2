#include "timing/KU_QuaternionInterpolation.h"

#include "tests/timing/CurveTestHelpers.h"
#include "timing/KB_RotationInterpolation.h"

#include <gtest/gtest.h>

#include <vector>

using namespace DirectX;
using curvetest::Stamps;
using curvetest::Vec;
using curvetest::VectorEq;

namespace
{

// The key value as the curve holds it: a one-key curve yields it everywhere.
XMVECTOR Stored(const XMVECTOR& q)
{
    KB_RotationInterpolation curve;
    curve.InsertQuaternion(q, 0.0);
    XMVECTOR v;
    curve.GetValueAt(&v, -1.0);
    return v;
}

} // namespace

TEST(KU_QuaternionInterpolation, KeysAreNormalisedAsFourVectors)
{
    EXPECT_TRUE(VectorEq(Stored(Vec(0, 0, 0, 2)), Vec(0, 0, 0, 1)));
    EXPECT_TRUE(VectorEq(Stored(Vec(0, 3, 0, 4)), Vec(0, 0.6f, 0, 0.8f)));
    EXPECT_TRUE(VectorEq(Stored(Vec(0, 0, 0, 0)), Vec(0, 0, 0, 0)));

    KB_RotationInterpolation curve;
    curve.InsertQuaternion(Vec(0, 0, 0, 1), 0.0);
    curve.HasChanged(true);
    curve.SetQuaternion(0, Vec(0, 0, 0, -5));
    EXPECT_TRUE(curve.HasChanged(true));
    XMVECTOR v;
    curve.GetValueAt(&v, 0.0);
    EXPECT_TRUE(VectorEq(v, Vec(0, 0, 0, -1)));
    curve.SetQuaternion(1, Vec(1, 0, 0, 0)); // out of range: nothing
    EXPECT_FALSE(curve.HasChanged(false));
    EXPECT_EQ(curve.GetNumQuaternions(), 1u);
}

TEST(KU_QuaternionInterpolation, KeyEditsKeepTheStampsSorted)
{
    KB_RotationInterpolation curve(KB_String(""));
    EXPECT_EQ(curve.InsertQuaternion(Vec(0, 0, 0, 1), 2.0), 0u);
    EXPECT_EQ(curve.InsertQuaternion(Vec(0, 1, 0, 0), 1.0), 0u);
    EXPECT_EQ(curve.InsertQuaternion(Vec(1, 0, 0, 0), 2.0), 2u);
    EXPECT_EQ(Stamps(curve), (std::vector<double>{1, 2, 2}));
    EXPECT_TRUE(curve.HasChanged(true));

    EXPECT_EQ(curve.SetQuaternionTimeStamp(0, 5.0), 2u);
    EXPECT_EQ(Stamps(curve), (std::vector<double>{2, 2, 5}));
    EXPECT_TRUE(curve.HasChanged(true));
    EXPECT_EQ(curve.SetQuaternionTimeStamp(1, 3.0), 1u);
    EXPECT_EQ(Stamps(curve), (std::vector<double>{2, 3, 5}));
    EXPECT_EQ(curve.SetQuaternionTimeStamp(3, 0.0), 3u);
    curve.SetEndTime(10.0);
    XMVECTOR v;
    curve.GetValueAt(&v, 6.0);
    EXPECT_TRUE(VectorEq(v, Vec(0, 1, 0, 0))); // the moved key is last now

    EXPECT_EQ(curve.GetNearestKeyIndex(2.5), 0u);
    curve.SetStartTime(1.0);
    EXPECT_EQ(curve.GetNearestKeyIndex(3.5), 0u);
    EXPECT_EQ(curve.GetNearestKeyIndex(3.6), 1u);
    EXPECT_EQ(curve.GetTimeStamp(3), 0.0);
}
