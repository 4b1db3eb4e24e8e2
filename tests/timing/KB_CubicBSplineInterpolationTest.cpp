#include "timing/KB_CubicBSplineInterpolation.h"

#include "tests/timing/CurveTestHelpers.h"
#include "timing/KB_LinearInterpolation.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <vector>

using namespace DirectX;
using curvetest::At;
using curvetest::Lanes;
using curvetest::Vec;
using curvetest::VectorEq;
using curvetest::VectorNear;

namespace
{

using Vec3 = std::array<double, 3>;

XMVECTOR ToVector(const Vec3& v)
{
    return Vec(static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2]));
}

// Irregular keys so that no tangent comes out symmetric by accident.
std::vector<Vec3> MakeKeys(std::size_t n)
{
    std::vector<Vec3> keys;
    for (std::size_t i = 0; i < n; ++i)
    {
        const double x = static_cast<double>(i);
        keys.push_back({x * 2.0 + std::sin(x * 1.3), std::cos(x * 0.7) * 3.0, x * x * 0.25 - x});
    }
    return keys;
}

// Builds a curve with keys at stamps 0, 1, 2, ... and end time n.
void Fill(KB_CubicBSplineInterpolation& curve, const std::vector<Vec3>& keys)
{
    curve.SetEndTime(static_cast<double>(keys.size()));
    for (std::size_t i = 0; i < keys.size(); ++i)
        curve.InsertVertex(ToVector(keys[i]), static_cast<double>(i));
}

// The tangents by Gaussian elimination on the whole (K - 1) x (K - 1) system in double:
// D[j-1] + 4 D[j] + D[j+1] = R[j], with D[0] and D[K] from the handles and R[j] the difference of
// the pass-through points around j (the first row always v[3] - v[0]).
std::vector<Vec3> DenseTangents(const std::vector<Vec3>& v)
{
    const std::size_t n = v.size();
    const std::size_t K = n - 3;
    auto sub = [](const Vec3& a, const Vec3& b) { return Vec3{a[0] - b[0], a[1] - b[1], a[2] - b[2]}; };
    std::vector<Vec3> D(K + 1);
    D[0] = sub(v[1], v[0]);
    D[K] = sub(v[n - 1], v[n - 2]);
    const std::size_t rows = K - 1;
    std::vector<std::vector<double>> A(rows, std::vector<double>(rows, 0.0));
    std::vector<Vec3> R(rows);
    for (std::size_t r = 0; r < rows; ++r)
    {
        const std::size_t j = r + 1;
        Vec3 rhs = j == 1 ? sub(v[3], v[0]) : (j == n - 4 ? sub(v[n - 1], v[n - 4]) : sub(v[j + 2], v[j]));
        A[r][r] = 4.0;
        if (r > 0)
            A[r][r - 1] = 1.0;
        else
            rhs = sub(rhs, D[0]);
        if (r + 1 < rows)
            A[r][r + 1] = 1.0;
        else
            rhs = sub(rhs, D[K]);
        R[r] = rhs;
    }
    for (std::size_t c = 0; c < rows; ++c)
    {
        for (std::size_t r = c + 1; r < rows; ++r)
        {
            const double f = A[r][c] / A[c][c];
            for (std::size_t k = c; k < rows; ++k)
                A[r][k] -= f * A[c][k];
            for (int l = 0; l < 3; ++l)
                R[r][l] -= f * R[c][l];
        }
    }
    for (std::size_t r = rows; r-- > 0;)
    {
        Vec3 x = R[r];
        for (std::size_t k = r + 1; k < rows; ++k)
            for (int l = 0; l < 3; ++l)
                x[l] -= A[r][k] * D[k + 1][l];
        for (int l = 0; l < 3; ++l)
            D[r + 1][l] = x[l] / A[r][r];
    }
    return D;
}

Vec3 Bezier(const Vec3& p0, const Vec3& d0, const Vec3& p3, const Vec3& d1, double u)
{
    const double a = u;
    const double b = 1.0 - u;
    Vec3 out;
    for (int l = 0; l < 3; ++l)
        out[l] = b * b * b * p0[l] + 3 * a * b * b * (p0[l] + d0[l]) + 3 * a * a * b * (p3[l] - d1[l]) +
                 a * a * a * p3[l];
    return out;
}

class RawSpline : public KB_CubicBSplineInterpolation
{
public:
    RawSpline() : KB_CubicBSplineInterpolation(KB_String("")) {}
    void MarkDerivedDataValid() { m_bDerivedDataValid = true; }
};

} // namespace

TEST(KB_CubicBSplineInterpolation, TangentsMatchADenseSolve)
{
    for (std::size_t n : {5u, 6u, 7u, 8u, 12u})
    {
        const std::vector<Vec3> keys = MakeKeys(n);
        KB_CubicBSplineInterpolation curve(KB_String(""));
        Fill(curve, keys);
        curve.BuildDerivates();
        EXPECT_TRUE(curve.IsDerivedDataValid());
        const std::vector<Vec3> expected = DenseTangents(keys);
        ASSERT_EQ(curve.GetNumDerivates(), n - 2);
        for (std::size_t j = 0; j < expected.size(); ++j)
            EXPECT_TRUE(
                VectorNear(curve.GetDerivate(static_cast<std::uint32_t>(j)), ToVector(expected[j]), 2e-5f))
                << "n " << n << " tangent " << j;
    }
}

TEST(KB_CubicBSplineInterpolation, FiveKeysPassThroughKeysButNotHandles)
{
    const std::vector<Vec3> keys = MakeKeys(5);
    KB_CubicBSplineInterpolation curve(KB_String(""));
    Fill(curve, keys);
    EXPECT_FALSE(curve.IsDerivedDataValid());

    EXPECT_TRUE(VectorEq(At(curve, 2.0), ToVector(keys[2])));
    EXPECT_TRUE(curve.IsDerivedDataValid());
    EXPECT_TRUE(VectorEq(At(curve, 0.0), ToVector(keys[0])));
    EXPECT_TRUE(VectorEq(At(curve, -1.0), ToVector(keys[0])));
    EXPECT_TRUE(VectorEq(At(curve, std::numeric_limits<double>::quiet_NaN()), ToVector(keys[0])));
    EXPECT_TRUE(VectorEq(At(curve, 4.0), ToVector(keys[4])));
    EXPECT_TRUE(VectorEq(At(curve, 5.0), ToVector(keys[4])));

    // The stamp of the first handle lies halfway through segment 0 (keys 0 and 2).
    const std::vector<Vec3> D = DenseTangents(keys);
    const XMVECTOR atHandle = At(curve, 1.0);
    EXPECT_FALSE(VectorNear(atHandle, ToVector(keys[1]), 1e-3f));
    EXPECT_TRUE(VectorNear(atHandle, ToVector(Bezier(keys[0], D[0], keys[2], D[1], 0.5)), 1e-4f));
    // Segment 1 runs from key 2 to key 4; the stamp of the end handle is ignored.
    EXPECT_TRUE(VectorNear(At(curve, 3.5), ToVector(Bezier(keys[2], D[1], keys[4], D[2], 0.75)), 1e-4f));
}

TEST(KB_CubicBSplineInterpolation, SegmentsJoinAtThePassThroughPoints)
{
    const std::vector<Vec3> keys = MakeKeys(8);
    KB_CubicBSplineInterpolation curve(KB_String(""));
    Fill(curve, keys);
    const std::vector<Vec3> D = DenseTangents(keys);
    // Pass-through points: keys 0, 2, 3, 4, 5, 7 with tangents D[0..5].
    const std::size_t points[] = {0, 2, 3, 4, 5, 7};
    for (std::size_t k = 0; k + 1 < 6; ++k)
    {
        const double s0 = static_cast<double>(points[k]);
        const double s1 = static_cast<double>(points[k + 1]);
        for (double u : {0.2, 0.5, 0.9})
        {
            const Vec3 expected = Bezier(keys[points[k]], D[k], keys[points[k + 1]], D[k + 1], u);
            EXPECT_TRUE(VectorNear(At(curve, s0 + u * (s1 - s0)), ToVector(expected), 1e-4f))
                << k << " " << u;
        }
        if (k == 0)
            continue;
        EXPECT_TRUE(VectorEq(At(curve, s0), ToVector(keys[points[k]]))) << k;
    }
}

TEST(KB_CubicBSplineInterpolation, RebuildsTangentsAfterAKeyChange)
{
    std::vector<Vec3> keys = MakeKeys(6);
    KB_CubicBSplineInterpolation curve(KB_String(""));
    Fill(curve, keys);
    const XMVECTOR before = At(curve, 1.5);
    keys[3] = {10.0, -4.0, 7.0};
    curve.SetVertex(3, ToVector(keys[3]));
    EXPECT_FALSE(curve.IsDerivedDataValid());
    const XMVECTOR after = At(curve, 1.5);
    EXPECT_TRUE(curve.IsDerivedDataValid());
    EXPECT_FALSE(VectorNear(before, after, 1e-3f));
    const std::vector<Vec3> D = DenseTangents(keys);
    EXPECT_TRUE(VectorNear(after, ToVector(Bezier(keys[0], D[0], keys[2], D[1], 0.75)), 1e-4f));

    // A removed key changes the tangent count; they are rebuilt for five keys.
    curve.RemoveVertex(5);
    keys.pop_back();
    curve.SetEndTime(5.0);
    EXPECT_TRUE(VectorNear(
        At(curve, 3.0),
        ToVector(Bezier(keys[2], DenseTangents(keys)[1], keys[4], DenseTangents(keys)[2], 0.5)), 1e-4f));
    EXPECT_EQ(curve.GetNumDerivates(), 3u);
}

TEST(KB_CubicBSplineInterpolation, MissingTangentsAreBuiltEvenWhenMarkedValid)
{
    const std::vector<Vec3> keys = MakeKeys(5);
    RawSpline curve;
    Fill(curve, keys);
    curve.MarkDerivedDataValid();
    EXPECT_EQ(curve.GetNumDerivates(), 0u);
    EXPECT_TRUE(VectorEq(At(curve, 2.0), ToVector(keys[2])));
    EXPECT_EQ(curve.GetNumDerivates(), 3u);

    // Tangents of the wrong count (a key added while marked valid) are rebuilt as well.
    curve.InsertVertex(Vec(1, 1, 1), 5.0);
    curve.MarkDerivedDataValid();
    curve.SetEndTime(6.0);
    At(curve, 2.5);
    EXPECT_EQ(curve.GetNumDerivates(), 4u);
}

TEST(KB_CubicBSplineInterpolation, FewKeysBlendLinearly)
{
    // Three keys: a linear curve through all three.
    KB_CubicBSplineInterpolation spline(KB_String(""));
    KB_LinearInterpolation linear;
    for (KU_VertexInterpolation* pCurve :
         {static_cast<KU_VertexInterpolation*>(&spline), static_cast<KU_VertexInterpolation*>(&linear)})
    {
        pCurve->SetEndTime(4.0);
        pCurve->InsertVertex(Vec(0, 0, 0), 0.0);
        pCurve->InsertVertex(Vec(2, 4, 0), 1.0);
        pCurve->InsertVertex(Vec(3, 0, 1), 3.0);
    }
    for (double t : {0.25, 0.5, 1.0, 1.5, 2.9, 3.0, 3.5})
        EXPECT_TRUE(VectorEq(At(spline, t), At(linear, t))) << t;
    // Only t <= 0 (not < 0) holds the first key: the same here, since the first stamp is 0.
    EXPECT_TRUE(VectorEq(At(spline, 0.0), Vec(0, 0, 0)));

    // Four keys: keys 1 and 2 are handles, keys 0 and 3 are blended directly.
    KB_CubicBSplineInterpolation four(KB_String(""));
    four.SetEndTime(10.0);
    four.InsertVertex(Vec(0, 0, 0), 0.0);
    four.InsertVertex(Vec(50, 50, 50), 1.0);
    four.InsertVertex(Vec(-50, -50, -50), 2.0);
    four.InsertVertex(Vec(4, 8, 0), 4.0);
    EXPECT_TRUE(VectorEq(At(four, 2.0), Vec(2, 4, 0)));
    EXPECT_TRUE(VectorEq(At(four, 1.0), Vec(1, 2, 0)));
    EXPECT_EQ(four.GetNumDerivates(), 0u);

    KB_CubicBSplineInterpolation empty(KB_String(""));
    EXPECT_TRUE(VectorEq(At(empty, 1.0), Vec(0, 0, 0)));
}

TEST(KB_CubicBSplineInterpolation, TimeBeforeTheFirstStampHoldsTheFirstKey)
{
    const std::vector<Vec3> keys = MakeKeys(5);
    KB_CubicBSplineInterpolation curve(KB_String(""));
    curve.SetEndTime(20.0);
    for (std::size_t i = 0; i < keys.size(); ++i)
        curve.InsertVertex(ToVector(keys[i]), 10.0 + static_cast<double>(i));
    EXPECT_TRUE(VectorEq(At(curve, 5.0), ToVector(keys[0])));
    EXPECT_TRUE(VectorEq(At(curve, 15.0), ToVector(keys[4])));
}

TEST(KB_CubicBSplineInterpolation, KeysReadFromBytesGetTheirOwnTangents)
{
    std::vector<Vec3> other = MakeKeys(5);
    for (Vec3& key : other)
        key = {key[1] * 3.0, key[2] - 2.0, key[0]};
    KB_CubicBSplineInterpolation source(KB_String(""));
    Fill(source, other);
    std::vector<std::uint8_t> bytes(4096);
    std::uint8_t* pWrite = bytes.data();
    std::uint64_t uiWritten = 0;
    ASSERT_TRUE(source.Serialize(&pWrite, bytes.size(), &uiWritten));

    // A curve whose tangents were built for other keys of the same count reads the record.
    KB_CubicBSplineInterpolation curve(KB_String(""));
    Fill(curve, MakeKeys(5));
    At(curve, 1.0);
    ASSERT_EQ(curve.GetNumDerivates(), 3u);
    const std::uint8_t* pRead = bytes.data();
    ASSERT_TRUE(curve.Deserialize(&pRead, bytes.data() + uiWritten));
    const std::vector<Vec3> D = DenseTangents(other);
    EXPECT_TRUE(VectorNear(At(curve, 1.0), ToVector(Bezier(other[0], D[0], other[2], D[1], 0.5)), 1e-4f));
}
