#include "timing/KU_MatrixInterpolation.h"

#include "tests/timing/CurveTestHelpers.h"
#include "timing/KB_LinearMatrixInterpolation.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <vector>

using namespace DirectX;
using curvetest::MatrixAt;
using curvetest::MatrixEq;
using curvetest::Stamps;
using curvetest::Vec;
using curvetest::VectorEq;
using curvetest::VectorNear;

namespace
{

// A matrix whose 16 elements are base, base + 1, ... row by row.
XMMATRIX Counting(float base)
{
    XMMATRIX m;
    for (int r = 0; r < 4; ++r)
        m.r[r] = Vec(base + 4.0f * r, base + 4.0f * r + 1.0f, base + 4.0f * r + 2.0f, base + 4.0f * r + 3.0f);
    return m;
}

} // namespace

TEST(KU_MatrixInterpolation, EmptyCurveIsIdentityAndOneKeyHoldsEverywhere)
{
    KB_LinearMatrixInterpolation curve(KB_String("bones"));
    EXPECT_EQ(curve.GetTypeName(), KB_String("LinearMatrixInterpolation"));
    EXPECT_FALSE(curve.IsDerivedDataValid());
    curve.SetEndTime(4.0);
    EXPECT_TRUE(MatrixEq(MatrixAt(curve, 1.0), XMMatrixIdentity()));
    curve.InsertMatrix(Counting(1.0f), 2.0);
    for (double t : {-1.0, 0.0, 1.0, 2.0, 3.0, 4.0, 9.0, std::numeric_limits<double>::quiet_NaN()})
        EXPECT_TRUE(MatrixEq(MatrixAt(curve, t), Counting(1.0f))) << t;
}

TEST(KU_MatrixInterpolation, BlendsElementWise)
{
    KB_LinearMatrixInterpolation curve;
    curve.SetEndTime(10.0);
    curve.InsertMatrix(Counting(0.0f), 1.0);
    curve.InsertMatrix(Counting(8.0f), 3.0);
    EXPECT_TRUE(MatrixEq(MatrixAt(curve, 2.0), Counting(4.0f)));
    EXPECT_TRUE(MatrixEq(MatrixAt(curve, 2.5), Counting(6.0f)));
    EXPECT_TRUE(MatrixEq(MatrixAt(curve, 0.5), Counting(0.0f)));
    EXPECT_TRUE(MatrixEq(MatrixAt(curve, 3.0), Counting(8.0f)));
    XMMATRIX m;
    curve.SetStartTime(-10.0);
    EXPECT_TRUE(MatrixEq(*curve.GetValueAtAbsoluteTime(&m, -8.0), Counting(4.0f)));
}

TEST(KU_MatrixInterpolation, MovingAndRemovingKeys)
{
    for (double to : {4.0, 6.0})
    {
        KB_LinearMatrixInterpolation curve;
        curve.InsertMatrix(Counting(0.0f), 1.0);
        curve.InsertMatrix(Counting(10.0f), 3.0);
        curve.InsertMatrix(Counting(20.0f), 5.0);
        const std::uint32_t uiIndex = curve.SetMatrixTimeStamp(1, to);
        if (to == 4.0)
        {
            EXPECT_EQ(uiIndex, 1u);
            EXPECT_EQ(Stamps(curve), (std::vector<double>{1, 4, 5}));
        }
        else
        {
            EXPECT_EQ(uiIndex, 2u);
            EXPECT_EQ(Stamps(curve), (std::vector<double>{1, 5, 6}));
        }
        EXPECT_TRUE(MatrixEq(curve.GetMatrix(uiIndex), Counting(10.0f)));
        EXPECT_TRUE(curve.HasChanged(true));
    }

    KB_LinearMatrixInterpolation pair;
    pair.InsertMatrix(Counting(0.0f), 1.0);
    pair.InsertMatrix(Counting(10.0f), 3.0);
    pair.RemoveMatrix(0);
    EXPECT_EQ(pair.GetNumMatrices(), 1u);
    EXPECT_EQ(Stamps(pair), (std::vector<double>{3}));
    EXPECT_TRUE(MatrixEq(pair.GetMatrix(0), Counting(10.0f)));
}

TEST(KU_MatrixInterpolation, EditsMarkChangedAndIndicesOutOfRangeDoNothing)
{
    KB_LinearMatrixInterpolation curve;
    curve.InsertMatrix(Counting(0.0f), 1.0);
    EXPECT_TRUE(curve.HasChanged(true));
    curve.SetMatrix(0, Counting(5.0f));
    EXPECT_TRUE(curve.HasChanged(true));
    EXPECT_FALSE(curve.IsDerivedDataValid());
    EXPECT_TRUE(MatrixEq(curve.GetMatrix(0), Counting(5.0f)));

    curve.SetMatrix(1, Counting(9.0f));
    curve.RemoveMatrix(1);
    EXPECT_EQ(curve.SetMatrixTimeStamp(1, 0.0), 1u);
    EXPECT_FALSE(curve.HasChanged(false));
    EXPECT_TRUE(MatrixEq(curve.GetMatrix(1), XMMatrixIdentity()));
    EXPECT_EQ(curve.GetTimeStamp(1), 0.0);
    EXPECT_EQ(curve.GetNumMatrices(), 1u);
}

TEST(KU_MatrixInterpolation, NearestKeyAndFactory)
{
    std::unique_ptr<KU_MatrixInterpolation> pCurve(KU_MatrixInterpolation::CreateMatrixInterpolation(
        KB_String("LinearMatrixInterpolation"), KB_String("p")));
    ASSERT_NE(pCurve, nullptr);
    EXPECT_TRUE(pCurve->HasChanged(false));
    EXPECT_EQ(pCurve->GetFilePath(), KB_String("p"));
    EXPECT_EQ(pCurve->GetNearestKeyIndex(3.0), 0u);
    pCurve->SetStartTime(10.0);
    pCurve->InsertMatrix(Counting(0.0f), 0.0);
    pCurve->InsertMatrix(Counting(0.0f), 2.0);
    EXPECT_EQ(pCurve->GetNearestKeyIndex(11.0), 0u);
    EXPECT_EQ(pCurve->GetNearestKeyIndex(11.5), 1u);
    pCurve->SetFilePath(KB_String("q"));
    EXPECT_EQ(pCurve->GetFilePath(), KB_String("q"));

    EXPECT_EQ(
        KU_MatrixInterpolation::CreateMatrixInterpolation(KB_String("LinearInterpolation"), KB_String("p")),
        nullptr);
    EXPECT_EQ(KU_MatrixInterpolation::CreateMatrixInterpolation(KB_String(""), KB_String("p")), nullptr);
}

TEST(KU_MatrixInterpolation, LookAtFrames)
{
    const XMMATRIX look = KU_CreateLookAtFrame(Vec(1, 2, 3, 7), Vec(1, 2, 5, 7), Vec(0, 1, 0, 7));
    EXPECT_TRUE(VectorEq(look.r[0], Vec(1, 0, 0, 0)));
    EXPECT_TRUE(VectorEq(look.r[1], Vec(0, 1, 0, 0)));
    EXPECT_TRUE(VectorEq(look.r[2], Vec(0, 0, 1, 0)));
    EXPECT_TRUE(VectorEq(look.r[3], Vec(1, 2, 3, 1)));

    // Looking along +x with an up vector rolled by 45 degrees: the frame keeps the roll and is
    // orthonormal.
    const float s = 0.70710678f;
    const XMMATRIX rolled = KU_CreateLookAtFrame(Vec(0, 0, 0), Vec(4, 0, 0), Vec(0, 2, 2));
    EXPECT_TRUE(VectorNear(rolled.r[0], Vec(0, s, -s, 0), 1e-6f));
    EXPECT_TRUE(VectorNear(rolled.r[1], Vec(0, s, s, 0), 1e-6f));
    EXPECT_TRUE(VectorNear(rolled.r[2], Vec(1, 0, 0, 0), 1e-6f));

    const XMMATRIX locked = KU_CreateUpLockedFrame(Vec(1, 2, 3), Vec(1, 2, 5), Vec(0, 2, 0, 5));
    EXPECT_TRUE(VectorEq(locked.r[0], Vec(1, 0, 0, 0)));
    EXPECT_TRUE(VectorEq(locked.r[1], Vec(0, 2, 0, 0))); // the up vector itself, not normalised
    EXPECT_TRUE(VectorEq(locked.r[2], Vec(0, 0, 1, 0)));
    EXPECT_TRUE(VectorEq(locked.r[3], Vec(1, 2, 3, 1)));
}
