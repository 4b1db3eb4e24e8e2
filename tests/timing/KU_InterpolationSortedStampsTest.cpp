// Key lookup over sorted stamps (by halving) against the scan from the first stamp, and the sorted
// flag that chooses between them.

#include "timing/KU_Interpolation.h"

#include "tests/support/MemoryFiles.h"
#include "tests/support/TestEngine.h"
#include "tests/timing/CurveTestHelpers.h"
#include "timing/KB_AnimationTriggerInterpolation.h"
#include "timing/KB_CubicBSplineInterpolation.h"
#include "timing/KB_LinearInterpolation.h"
#include "timing/KB_LinearMatrixInterpolation.h"
#include "timing/KB_RotationInterpolation.h"
#include "timing/KB_TrigonometryInterpolation.h"
#include "timing/KU_ConstantValueInterpolation.h"
#include "timing/KU_InterpolationManager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

using namespace DirectX;
using curvetest::At;
using curvetest::Stamps;
using curvetest::Vec;
using curvetest::VectorEq;
using curvetest::VectorNear;

namespace
{

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();

// A curve whose lookups can be made to take the scan whatever its stamps hold: the reference the
// halving search must agree with bit for bit. Any key edit sets the flag again from the stamps.
template <typename Curve>
class Scanning : public Curve
{
public:
    Scanning() : Curve(KB_String("")) {}
    void ScanFromNowOn() { this->m_bStampsSorted = false; }
};

// The key edits and the evaluation of one value class, for the generic agreement test.
struct VectorKind
{
    template <typename Curve>
    static std::uint32_t Insert(Curve& curve, float f, double fStamp)
    {
        if constexpr (std::is_base_of_v<KU_QuaternionInterpolation, Curve>)
            return curve.InsertQuaternion(Vec(std::sin(f), 0.5f, std::cos(f), 1.0f), fStamp);
        else
            return curve.InsertVertex(Vec(f, f * f, -f, 1.0f), fStamp);
    }
    template <typename Curve>
    static std::uint32_t Move(Curve& curve, std::uint32_t uiIndex, double fStamp)
    {
        if constexpr (std::is_base_of_v<KU_QuaternionInterpolation, Curve>)
            return curve.SetQuaternionTimeStamp(uiIndex, fStamp);
        else
            return curve.SetVertexTimeStamp(uiIndex, fStamp);
    }
    static std::string Bytes(KU_Interpolation& curve, double t)
    {
        const XMVECTOR v = At(curve, t);
        return std::string(reinterpret_cast<const char*>(&v), sizeof(v));
    }
};

struct MatrixKind
{
    template <typename Curve>
    static std::uint32_t Insert(Curve& curve, float f, double fStamp)
    {
        XMMATRIX m = XMMatrixRotationY(f);
        m.r[3] = Vec(f, -f, 2.0f * f, 1.0f);
        return curve.InsertMatrix(m, fStamp);
    }
    template <typename Curve>
    static std::uint32_t Move(Curve& curve, std::uint32_t uiIndex, double fStamp)
    {
        return curve.SetMatrixTimeStamp(uiIndex, fStamp);
    }
    static std::string Bytes(KU_Interpolation& curve, double t)
    {
        const XMMATRIX m = curvetest::MatrixAt(curve, t);
        return std::string(reinterpret_cast<const char*>(&m), sizeof(m));
    }
};

// The times worth asking about: every stamp and its neighbouring doubles, the midpoints, both ends
// of the duration and the times outside it.
std::vector<double> ProbeTimes(const KU_Interpolation& curve)
{
    std::vector<double> times = {NaN, -INF, -1.0, -0.0, 0.0, curve.GetDuration(), 1e300, INF};
    const std::vector<double> stamps = Stamps(curve);
    for (std::size_t i = 0; i < stamps.size(); ++i)
    {
        times.push_back(stamps[i]);
        times.push_back(std::nextafter(stamps[i], -INF));
        times.push_back(std::nextafter(stamps[i], INF));
        if (i + 1 < stamps.size())
            times.push_back(0.5 * (stamps[i] + stamps[i + 1]));
    }
    return times;
}

// Builds the same random sorted curve twice, one through the scan, with many equal stamps, moves
// some keys, and checks that insertion and move indices, stamps and every value agree bit for bit.
template <typename Curve, typename Kind>
void ExpectHalvingAgreesWithTheScan(std::uint32_t uiSeed)
{
    std::mt19937 random(uiSeed);
    const std::uint32_t uiSizes[] = {0, 1, 2, 3, 4, 5, 6, 9, 17, 40};
    for (std::uint32_t uiKeys : uiSizes)
    {
        Scanning<Curve> fast;
        Scanning<Curve> scanned;
        // Few distinct stamps: runs of equal stamps are common.
        std::uniform_int_distribution<int> stampDistribution(0, static_cast<int>(uiKeys / 2 + 1));
        for (std::uint32_t i = 0; i < uiKeys; ++i)
        {
            const double fStamp = 0.5 * stampDistribution(random);
            const float f = static_cast<float>(i) * 0.37f;
            scanned.ScanFromNowOn();
            ASSERT_EQ(Kind::Insert(fast, f, fStamp), Kind::Insert(scanned, f, fStamp)) << uiKeys;
        }
        for (int iMove = 0; iMove < 3 && uiKeys != 0; ++iMove)
        {
            const auto uiIndex = static_cast<std::uint32_t>(random() % uiKeys);
            const double fStamp = 0.5 * stampDistribution(random);
            scanned.ScanFromNowOn();
            ASSERT_EQ(Kind::Move(fast, uiIndex, fStamp), Kind::Move(scanned, uiIndex, fStamp)) << uiKeys;
        }
        ASSERT_EQ(Stamps(fast), Stamps(scanned));
        ASSERT_TRUE(fast.AreTimeStampsSorted());

        // End at, before and after the last stamp.
        const double fLast = uiKeys == 0 ? 0.0 : fast.GetTimeStamp(uiKeys - 1);
        for (double fEnd : {fLast, fLast + 0.25, fLast - 0.75})
        {
            fast.SetEndTime(fEnd);
            scanned.SetEndTime(fEnd);
            scanned.ScanFromNowOn();
            for (double t : ProbeTimes(fast))
                ASSERT_EQ(Kind::Bytes(fast, t), Kind::Bytes(scanned, t))
                    << fast.GetTypeName().GetBuffer() << " with " << uiKeys << " keys at " << t;
        }
    }
}

// The engine with a file manager over one memory repository and a curve registry, for loads.
class KU_InterpolationSortedStampsTest : public ::testing::Test
{
protected:
    KU_InterpolationSortedStampsTest()
    {
        m_files.Install();
        m_engine->SetInterpolationManager(&m_registry);
    }

    std::unique_ptr<KU_VertexInterpolation> LoadVertex(const std::string& sText)
    {
        m_pRepository->SetFile("curve.int", sText);
        return std::unique_ptr<KU_VertexInterpolation>(
            KU_VertexInterpolation::LoadVertexInterpolation("curve.int"));
    }

    TestEngine m_engine;
    MemoryFiles m_files;
    KU_InterpolationManager m_registry;
    MemoryRepository* m_pRepository = m_files.GetRepository();
};

} // namespace

TEST(KU_InterpolationSortedStamps, HalvingAgreesWithTheScanForEveryKind)
{
    for (std::uint32_t uiSeed = 1; uiSeed <= 8; ++uiSeed)
    {
        ExpectHalvingAgreesWithTheScan<KB_LinearInterpolation, VectorKind>(uiSeed);
        ExpectHalvingAgreesWithTheScan<KB_CubicBSplineInterpolation, VectorKind>(uiSeed);
        ExpectHalvingAgreesWithTheScan<KB_TrigonometryInterpolation, VectorKind>(uiSeed);
        ExpectHalvingAgreesWithTheScan<KB_AnimationTriggerInterpolation, VectorKind>(uiSeed);
        ExpectHalvingAgreesWithTheScan<KU_ConstantValueInterpolation, VectorKind>(uiSeed);
        ExpectHalvingAgreesWithTheScan<KB_RotationInterpolation, VectorKind>(uiSeed);
        ExpectHalvingAgreesWithTheScan<KB_LinearMatrixInterpolation, MatrixKind>(uiSeed);
    }
}

TEST(KU_InterpolationSortedStamps, FlagFollowsEveryKindOfEdit)
{
    KB_LinearInterpolation curve;
    EXPECT_TRUE(curve.AreTimeStampsSorted()); // no stamps
    curve.InsertVertex(Vec(0, 0, 0), 2.0);
    curve.InsertVertex(Vec(1, 0, 0), 0.0);
    curve.InsertVertex(Vec(2, 0, 0), 2.0);
    EXPECT_TRUE(curve.AreTimeStampsSorted()); // insertion keeps the order

    curve.InsertVertex(Vec(3, 0, 0), NaN); // goes first, and no order holds with it
    EXPECT_TRUE(std::isnan(curve.GetTimeStamp(0)));
    EXPECT_FALSE(curve.AreTimeStampsSorted());
    curve.RemoveVertex(0);
    EXPECT_TRUE(curve.AreTimeStampsSorted());

    EXPECT_EQ(curve.SetVertexTimeStamp(0, 3.0), 2u); // a move keeps the order
    EXPECT_TRUE(curve.AreTimeStampsSorted());
    EXPECT_EQ(curve.SetVertexTimeStamp(1, NaN), 0u);
    EXPECT_FALSE(curve.AreTimeStampsSorted());
    EXPECT_EQ(curve.SetVertexTimeStamp(0, 1.0), 0u); // the NaN moved away again
    EXPECT_TRUE(curve.AreTimeStampsSorted());
    curve.SetVertex(0, Vec(9, 9, 9)); // values do not matter
    EXPECT_TRUE(curve.AreTimeStampsSorted());

    curve.ScaleTimeStamps(-1.0); // reverses the order
    EXPECT_FALSE(curve.AreTimeStampsSorted());
    curve.ScaleTimeStamps(0.0); // all equal
    EXPECT_TRUE(curve.AreTimeStampsSorted());

    curve.SetVertexTimeStamp(0, -INF);
    curve.SetVertexTimeStamp(1, 5.0);
    EXPECT_TRUE(curve.AreTimeStampsSorted());
    curve.NormalizeTimeStamps(); // -inf - -inf is NaN
    EXPECT_FALSE(curve.AreTimeStampsSorted());
    while (curve.GetNumVertices() != 0)
        curve.RemoveVertex(0);
    EXPECT_TRUE(curve.AreTimeStampsSorted());

    KB_LinearInterpolation single;
    single.InsertVertex(Vec(0, 0, 0), NaN); // even alone a NaN stamp is in no order
    EXPECT_FALSE(single.AreTimeStampsSorted());
    EXPECT_EQ(single.InsertVertex(Vec(1, 0, 0), 1.0), 0u); // the scan stops at the NaN

    KB_LinearMatrixInterpolation matrix;
    matrix.InsertMatrix(XMMatrixIdentity(), 1.0);
    matrix.InsertMatrix(XMMatrixIdentity(), NaN);
    EXPECT_FALSE(matrix.AreTimeStampsSorted());
    matrix.RemoveMatrix(0);
    EXPECT_TRUE(matrix.AreTimeStampsSorted());
    KB_RotationInterpolation rotation;
    rotation.InsertQuaternion(Vec(0, 0, 0, 1), 1.0);
    rotation.InsertQuaternion(Vec(0, 0, 0, 1), 2.0);
    rotation.SetQuaternionTimeStamp(1, NaN);
    EXPECT_FALSE(rotation.AreTimeStampsSorted());
}

// Stamps a file holds out of order are kept as they are and evaluated by the scan: it stops at
// the first stamp after the time, where a search by halving would land elsewhere.
TEST_F(KU_InterpolationSortedStampsTest, UnsortedFileIsEvaluatedByTheScan)
{
    std::unique_ptr<KU_VertexInterpolation> pCurve =
        LoadVertex("n LinearInterpolation\ns 0\ne 10\nv 0 0 0\nv 3 0 0\nv 100 0 0\nv 200 0 0\n"
                   "t 0\nt 3\nt 1\nt 4\n");
    ASSERT_NE(pCurve, nullptr);
    EXPECT_EQ(Stamps(*pCurve), (std::vector<double>{0, 3, 1, 4}));
    EXPECT_FALSE(pCurve->AreTimeStampsSorted());
    EXPECT_TRUE(VectorNear(At(*pCurve, 2.0), Vec(2, 0, 0), 1e-6f)); // between keys 0 and 1

    pCurve = LoadVertex("n CubicBSplineInterpolation\ns 0\ne 10\nv 0 0 0\nv 1 0 0\nv 2 0 0\nv 3 0 0\n"
                        "t 0\nt 9\nt 2\nt 3\n");
    ASSERT_NE(pCurve, nullptr);
    EXPECT_FALSE(pCurve->AreTimeStampsSorted());
    // Four keys: 1 and 2 are handles, so the scan blends 0 and 3 although stamp 1 lies past t.
    EXPECT_TRUE(VectorNear(At(*pCurve, 1.5), Vec(1.5f, 0, 0), 1e-6f));

    pCurve = LoadVertex("n AnimationTriggerInterpolation\ns 0\ne 10\nv 0 0 0\nv 0 0 0\nv 0 0 0\n"
                        "t 0\nt 5\nt 2\n");
    ASSERT_NE(pCurve, nullptr);
    EXPECT_FALSE(pCurve->AreTimeStampsSorted());
    EXPECT_TRUE(VectorEq(At(*pCurve, 3.0), Vec(1, 2, 0))); // the last stamp before 3 is key 2's

    // Removing the key out of order makes the rest sorted again.
    pCurve->RemoveVertex(1);
    EXPECT_TRUE(pCurve->AreTimeStampsSorted());
}

TEST_F(KU_InterpolationSortedStampsTest, FlagIsSetByEveryLoadAndRead)
{
    std::unique_ptr<KU_VertexInterpolation> pCurve =
        LoadVertex("n LinearInterpolation\nv 0 0 0\nv 1 0 0\nt 1\nt 1\n");
    ASSERT_NE(pCurve, nullptr);
    EXPECT_TRUE(pCurve->AreTimeStampsSorted());
    // A stamp out of order beyond the values is cut away with its line.
    pCurve = LoadVertex("n LinearInterpolation\nv 0 0 0\nv 1 0 0\nt 1\nt 2\nt 0\n");
    ASSERT_NE(pCurve, nullptr);
    EXPECT_TRUE(pCurve->AreTimeStampsSorted());

    m_pRepository->SetFile("rotation.int", "n RotationInterpolation\nq 0 0 0 1\nq 0 0 0 1\nt 2\nt 1\n");
    std::unique_ptr<KU_QuaternionInterpolation> pRotation(
        KU_QuaternionInterpolation::LoadQuaternionInterpolation("rotation.int"));
    ASSERT_NE(pRotation, nullptr);
    EXPECT_FALSE(pRotation->AreTimeStampsSorted());
    m_pRepository->SetFile("matrix.int", "n LinearMatrixInterpolation\nm 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1\n"
                                         "m 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1\nt 2\nt 1\n");
    std::unique_ptr<KU_MatrixInterpolation> pMatrix(
        KU_MatrixInterpolation::LoadMatrixInterpolation("matrix.int"));
    ASSERT_NE(pMatrix, nullptr);
    EXPECT_FALSE(pMatrix->AreTimeStampsSorted());

    // The byte form: a record with unsorted stamps clears the flag, a sorted one sets it.
    KB_LinearInterpolation sorted;
    sorted.InsertVertex(Vec(0, 0, 0), 0.0);
    sorted.InsertVertex(Vec(1, 0, 0), 1.0);
    std::vector<std::uint8_t> bytes(1024);
    std::uint8_t* pWrite = bytes.data();
    std::uint64_t uiWritten = 0;
    ASSERT_TRUE(sorted.Serialize(&pWrite, bytes.size(), &uiWritten));
    bytes.resize(uiWritten);
    std::vector<std::uint8_t> swapped = bytes;
    const double fLater = 5.0;
    std::memcpy(swapped.data() + 20, &fLater, sizeof(fLater)); // the first stamp, after the count

    KB_LinearInterpolation read;
    const std::uint8_t* pRead = swapped.data();
    ASSERT_TRUE(read.Deserialize(&pRead, swapped.data() + swapped.size()));
    EXPECT_FALSE(read.AreTimeStampsSorted());
    pRead = bytes.data();
    ASSERT_TRUE(read.Deserialize(&pRead, bytes.data() + bytes.size()));
    EXPECT_TRUE(read.AreTimeStampsSorted());
}
