#include "timing/KB_LinearInterpolation.h"

#include "tests/timing/CurveTestHelpers.h"

#include <gtest/gtest.h>

#include <limits>

using namespace DirectX;
using curvetest::At;
using curvetest::Vec;
using curvetest::VectorEq;
using curvetest::VectorNear;

namespace
{

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// Gives the tests direct access to the key arrays, to build curves whose stamp and value counts
// differ (as a file may hold).
class RawLinear : public KB_LinearInterpolation
{
public:
    void AddStamp(double f)
    {
        m_gTimeStamps.Add(f);
        UpdateStampOrder();
    }
    void AddValue(const XMVECTOR& v) { m_gVertices.Add(v); }
};

} // namespace

TEST(KB_LinearInterpolation, EvaluationTable)
{
    KB_LinearInterpolation curve;
    curve.SetEndTime(10.0);
    const XMVECTOR a = Vec(1, 2, 3, 4);
    const XMVECTOR b = Vec(5, 6, 7, 8);
    curve.InsertVertex(a, 1.0);
    curve.InsertVertex(b, 3.0);

    EXPECT_TRUE(VectorEq(At(curve, -1.0), a));
    EXPECT_TRUE(VectorEq(At(curve, NaN), a));
    EXPECT_TRUE(VectorEq(At(curve, 0.0), a));
    EXPECT_TRUE(VectorEq(At(curve, 0.5), a));
    EXPECT_TRUE(VectorEq(At(curve, 1.0), a));
    EXPECT_TRUE(VectorEq(At(curve, 2.0), Vec(3, 4, 5, 6)));
    EXPECT_TRUE(VectorNear(At(curve, 1.5), Vec(2, 3, 4, 5), 1e-6f));
    EXPECT_TRUE(VectorEq(At(curve, 3.0), b));
    EXPECT_TRUE(VectorEq(At(curve, 5.0), b));
    EXPECT_TRUE(VectorEq(At(curve, 10.0), b));
    EXPECT_TRUE(VectorEq(At(curve, 1e300), b));

    XMVECTOR v;
    curve.SetStartTime(-10.0); // the duration grows to 20; stamps stay local
    EXPECT_TRUE(VectorEq(*curve.GetValueAtAbsoluteTime(&v, -8.0), Vec(3, 4, 5, 6)));
}

TEST(KB_LinearInterpolation, DurationEndsTheCurveBeforeItsLastKey)
{
    KB_LinearInterpolation curve;
    curve.SetEndTime(2.0);
    curve.InsertVertex(Vec(0, 0, 0), 0.0);
    curve.InsertVertex(Vec(4, 0, 0), 4.0);
    EXPECT_TRUE(VectorEq(At(curve, 1.0), Vec(1, 0, 0)));
    EXPECT_TRUE(VectorEq(At(curve, 2.0), Vec(4, 0, 0)));
}

TEST(KB_LinearInterpolation, EqualStamps)
{
    KB_LinearInterpolation pair;
    pair.SetEndTime(10.0);
    pair.InsertVertex(Vec(1, 0, 0), 2.0);
    pair.InsertVertex(Vec(2, 0, 0), 2.0);
    EXPECT_TRUE(VectorEq(At(pair, 2.0), Vec(2, 0, 0)));
    EXPECT_TRUE(VectorEq(At(pair, 1.999), Vec(1, 0, 0)));

    // A jump inside the curve: the later of the equal keys starts the next segment.
    KB_LinearInterpolation jump;
    jump.SetEndTime(10.0);
    jump.InsertVertex(Vec(0, 0, 0), 0.0);
    jump.InsertVertex(Vec(2, 0, 0), 2.0);
    jump.InsertVertex(Vec(10, 0, 0), 2.0);
    jump.InsertVertex(Vec(12, 0, 0), 4.0);
    EXPECT_TRUE(VectorEq(At(jump, 2.0), Vec(10, 0, 0)));
    EXPECT_TRUE(VectorEq(At(jump, 1.0), Vec(1, 0, 0)));
    EXPECT_TRUE(VectorEq(At(jump, 3.0), Vec(11, 0, 0)));
}

TEST(KB_LinearInterpolation, EmptyAndSingleKeyCurves)
{
    KB_LinearInterpolation curve;
    curve.SetEndTime(10.0);
    EXPECT_TRUE(VectorEq(At(curve, 1.0), Vec(0, 0, 0)));
    EXPECT_TRUE(VectorEq(At(curve, NaN), Vec(0, 0, 0)));
    curve.InsertVertex(Vec(1, 2, 3), 5.0);
    for (double t : {-1.0, 0.0, 4.0, 5.0, 6.0, 20.0})
        EXPECT_TRUE(VectorEq(At(curve, t), Vec(1, 2, 3))) << t;
}

TEST(KB_LinearInterpolation, WeightsAreTakenInDoubleAndAppliedInFloat)
{
    KB_LinearInterpolation curve;
    curve.SetEndTime(10.0);
    curve.InsertVertex(Vec(16777216.0f, 1.0f, 0), 0.0);
    curve.InsertVertex(Vec(16777220.0f, 3.0f, 0), 3.0);
    const double u = 1.0 / 3.0;
    const float wa = static_cast<float>(1.0 - u);
    const float wb = static_cast<float>(u);
    const XMVECTOR v = At(curve, 1.0);
    EXPECT_EQ(curvetest::Lanes(v).x, 16777216.0f * wa + 16777220.0f * wb);
    EXPECT_EQ(curvetest::Lanes(v).y, 1.0f * wa + 3.0f * wb);
}

TEST(KB_LinearInterpolation, MismatchedCountsNeverReadPastEitherArray)
{
    RawLinear moreStamps;
    moreStamps.SetEndTime(10.0);
    for (double s : {0.0, 1.0, 2.0, 3.0})
        moreStamps.AddStamp(s);
    moreStamps.AddValue(Vec(0, 0, 0));
    moreStamps.AddValue(Vec(1, 0, 0));
    EXPECT_TRUE(VectorEq(At(moreStamps, 0.5), Vec(0.5f, 0, 0)));
    EXPECT_TRUE(VectorEq(At(moreStamps, 2.5), Vec(1, 0, 0)));
    EXPECT_EQ(moreStamps.InsertVertex(Vec(7, 0, 0), 9.0), 2u); // after the complete keys
    EXPECT_EQ(moreStamps.SetVertexTimeStamp(3, 0.0), 3u);

    RawLinear moreValues;
    moreValues.SetEndTime(10.0);
    moreValues.AddStamp(1.0);
    for (float x : {1.0f, 2.0f, 3.0f})
        moreValues.AddValue(Vec(x, 0, 0));
    EXPECT_TRUE(VectorEq(At(moreValues, 0.5), Vec(1, 0, 0)));
    EXPECT_TRUE(VectorEq(At(moreValues, 5.0), Vec(3, 0, 0)));

    RawLinear noStamps;
    noStamps.SetEndTime(10.0);
    noStamps.AddValue(Vec(1, 0, 0));
    noStamps.AddValue(Vec(2, 0, 0));
    EXPECT_TRUE(VectorEq(At(noStamps, 5.0), Vec(2, 0, 0)));

    RawLinear noValues;
    noValues.SetEndTime(10.0);
    noValues.AddStamp(1.0);
    EXPECT_TRUE(VectorEq(At(noValues, 5.0), Vec(0, 0, 0)));
}
