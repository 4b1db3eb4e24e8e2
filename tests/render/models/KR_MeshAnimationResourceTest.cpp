#include "render/models/KR_MeshAnimationResource.h"

#include "tests/render/models/ModelTestHelpers.h"
#include "tests/support/FailingAllocation.h"
#include "tests/timing/CurveTestHelpers.h"
#include "timing/KB_LinearInterpolation.h"
#include "timing/KB_RotationInterpolation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

using namespace DirectX;
using curvetest::Vec;
using modeltest::MatrixNear;

namespace
{

using Keys = std::vector<std::pair<double, XMVECTOR>>;

template <typename Curve>
Curve* MakeCurve(double fStart, double fEnd, const Keys& keys)
{
    auto* pCurve = new Curve();
    pCurve->SetStartTime(fStart);
    pCurve->SetEndTime(fEnd);
    for (const auto& key : keys)
        if constexpr (std::is_same_v<Curve, KB_RotationInterpolation>)
            pCurve->InsertQuaternion(key.second, key.first);
        else
            pCurve->InsertVertex(key.second, key.first);
    return pCurve;
}

KB_LinearInterpolation* Constant(const XMVECTOR& v)
{
    return MakeCurve<KB_LinearInterpolation>(0.0, 1.0, {{0.0, v}});
}

XMMATRIX Evaluate(KR_MeshAnimationResource& animation, double fTime)
{
    XMMATRIX m;
    EXPECT_EQ(&m, animation.Evaluate(&m, fTime));
    return m;
}

// Translation (0,0,0) to (2,4,6) over 1 s to 3 s, scale (1,1,1) to (3,5,7) over 0 s to 4 s,
// rotation a quarter turn about z over 0 s to 2 s.
KR_MeshAnimationResource* MakeKeyedAnimation()
{
    const float fHalf = std::sqrt(0.5f);
    return new KR_MeshAnimationResource(
        MakeCurve<KB_LinearInterpolation>(1.0, 3.0, {{0.0, Vec(0, 0, 0)}, {2.0, Vec(2, 4, 6)}}),
        MakeCurve<KB_LinearInterpolation>(0.0, 4.0, {{0.0, Vec(1, 1, 1)}, {4.0, Vec(3, 5, 7)}}),
        MakeCurve<KB_RotationInterpolation>(0.0, 2.0,
                                            {{0.0, XMQuaternionIdentity()}, {2.0, Vec(0, 0, fHalf, fHalf)}}));
}

} // namespace

TEST(KR_MeshAnimationResource, IntervalSpansTheCurvesAndMissingCurvesAreIdentity)
{
    KR_MeshAnimationResource animation(MakeCurve<KB_LinearInterpolation>(1.0, 3.0, {}),
                                       MakeCurve<KB_LinearInterpolation>(0.5, 4.0, {}),
                                       MakeCurve<KB_RotationInterpolation>(2.0, 2.5, {}));
    EXPECT_EQ(0.5, animation.GetStartTime());
    EXPECT_EQ(4.0, animation.GetEndTime());

    KR_MeshAnimationResource unread;
    EXPECT_TRUE(MatrixNear(Evaluate(unread, 1.0), XMMatrixIdentity()));
    KR_MeshAnimationResource translationOnly(Constant(Vec(1, 2, 3)), nullptr, nullptr);
    EXPECT_TRUE(MatrixNear(Evaluate(translationOnly, 0.0), XMMatrixTranslation(1, 2, 3)));
    KR_MeshAnimationResource plain(
        Constant(Vec(1, 2, 3)), Constant(Vec(1, 1, 1)),
        MakeCurve<KB_RotationInterpolation>(0.0, 1.0, {{0.0, XMQuaternionIdentity()}}));
    EXPECT_TRUE(MatrixNear(Evaluate(plain, 0.5), XMMatrixTranslation(1, 2, 3)));
}

TEST(KR_MeshAnimationResource, UnnormalisedQuaternionRowsScaledAndTranslated)
{
    // Keys are normalised when inserted, so Q = (1, 2, 3, 4) is patched into the rotation curve's
    // byte form (its last 16 bytes) and read back as it is.
    KB_RotationInterpolation source;
    source.SetEndTime(1.0);
    source.InsertQuaternion(XMQuaternionIdentity(), 0.0);
    std::vector<std::uint8_t> bytes = modeltest::Serialize(source, false);
    const float q[4] = {1.0f, 2.0f, 3.0f, 4.0f};
    std::memcpy(bytes.data() + bytes.size() - 16, q, 16);
    auto* pRotation = new KB_RotationInterpolation();
    ASSERT_TRUE(modeltest::Deserialize(*pRotation, bytes));

    // R0 = (1 - 2(y^2 + z^2), 2(xy + zw), 2(xz - yw)) = (-25, 28, -10),
    // R1 = (2(xy - zw), 1 - 2(x^2 + z^2), 2(yz + xw)) = (-20, -19, 20),
    // R2 = (2(xz + yw), 2(yz - xw), 1 - 2(x^2 + y^2)) = (22, 4, -9); rows scaled by S = (2, 3, 4).
    KR_MeshAnimationResource animation(Constant(Vec(5, 6, 7)), Constant(Vec(2, 3, 4)), pRotation);
    EXPECT_TRUE(MatrixNear(Evaluate(animation, 0.0),
                           XMMATRIX(-50, 56, -20, 0, -60, -57, 60, 0, 88, 16, -36, 0, 5, 6, 7, 1)));
}

TEST(KR_MeshAnimationResource, KeysAndBlendsEachAtItsOwnStartTime)
{
    std::unique_ptr<KR_MeshAnimationResource> pAnimation(MakeKeyedAnimation());
    const float c = std::sqrt(0.5f);
    // 1 s: T at its first key, S a quarter of the way, Q halfway (an eighth turn about z).
    EXPECT_TRUE(MatrixNear(Evaluate(*pAnimation, 1.0),
                           XMMATRIX(1.5f * c, 1.5f * c, 0, 0, -2 * c, 2 * c, 0, 0, 0, 0, 2.5f, 0, 0, 0, 0, 1),
                           1e-5f));
    // 2 s: T and S halfway, Q at its last key.
    EXPECT_TRUE(MatrixNear(Evaluate(*pAnimation, 2.0),
                           XMMATRIX(0, 2, 0, 0, -3, 0, 0, 0, 0, 0, 4, 0, 1, 2, 3, 1), 1e-5f));
    // Before every start the first keys, after every end the last.
    EXPECT_TRUE(MatrixNear(Evaluate(*pAnimation, -1.0), XMMatrixIdentity()));
    EXPECT_TRUE(MatrixNear(Evaluate(*pAnimation, 9.0),
                           XMMATRIX(0, 3, 0, 0, -5, 0, 0, 0, 0, 0, 7, 0, 2, 4, 6, 1), 1e-5f));
}

TEST(KR_MeshAnimationResource, ByteFormRoundTripsAndBadRecordsChangeNothing)
{
    std::unique_ptr<KR_MeshAnimationResource> pSource(MakeKeyedAnimation());
    pSource->SetStartTime(-2.0); // not what the curves span: the reader must not recompute it
    const std::vector<std::uint8_t> bytes = modeltest::Serialize(*pSource);

    KR_MeshAnimationResource read;
    ASSERT_TRUE(modeltest::Deserialize(read, bytes));
    EXPECT_EQ(-2.0, read.GetStartTime());
    EXPECT_EQ(4.0, read.GetEndTime());
    EXPECT_NE(nullptr, dynamic_cast<KB_RotationInterpolation*>(read.GetRotation()));
    for (double fTime : {-1.0, 0.5, 1.7, 3.0, 5.0})
        EXPECT_TRUE(MatrixNear(Evaluate(read, fTime), Evaluate(*pSource, fTime))) << "at " << fTime;

    // Without its curves an animation has no record to write.
    std::uint8_t buffer[256];
    std::uint8_t* pCursor = buffer;
    std::uint64_t uiWritten = 0;
    EXPECT_FALSE(KR_MeshAnimationResource().Serialize(&pCursor, sizeof(buffer), &uiWritten));
    EXPECT_TRUE(pCursor == buffer && uiWritten == 0);

    // Every truncation, and stamp counts far beyond the bytes left in the first and second curve
    // (each count follows its curve's 16-byte interval), fail and leave the target as it was.
    KR_MeshAnimationResource target(Constant(Vec(9, 8, 7)), nullptr, nullptr);
    std::vector<std::vector<std::uint8_t>> bad;
    for (std::uint64_t uiLength = 0; uiLength < bytes.size(); ++uiLength)
        bad.emplace_back(bytes.begin(), bytes.begin() + uiLength);
    const std::uint64_t uiTranslationSize = modeltest::Serialize(*pSource->GetTranslation(), false).size();
    for (std::uint64_t uiOffset : {std::uint64_t{32}, 32 + uiTranslationSize})
        for (std::uint32_t uiCount : {0xFFFFFFFFu, 1000u})
        {
            bad.push_back(bytes);
            std::memcpy(bad.back().data() + uiOffset, &uiCount, 4);
        }
    for (const std::vector<std::uint8_t>& record : bad)
    {
        ASSERT_FALSE(modeltest::Deserialize(target, record)) << "record of " << record.size() << " bytes";
        ASSERT_TRUE(MatrixNear(Evaluate(target, 0.5), XMMatrixTranslation(9, 8, 7)));
        ASSERT_TRUE(target.GetEndTime() == 1.0 && target.GetScale() == nullptr);
    }
}

// A curve that cannot be allocated fails the record as a bad one does: false, the target as it
// was, the curves made before it freed (the sanitizer build sees a leak).
TEST(KR_MeshAnimationResource, ACurveThatCannotBeAllocatedFailsTheRecordAndChangesNothing)
{
    std::unique_ptr<KR_MeshAnimationResource> pSource(MakeKeyedAnimation());
    const std::vector<std::uint8_t> bytes = modeltest::Serialize(*pSource);
    KR_MeshAnimationResource target(Constant(Vec(9, 8, 7)), nullptr, nullptr);
    for (std::size_t uiSize : {sizeof(KB_LinearInterpolation), sizeof(KB_RotationInterpolation)})
    {
        FailingAllocation failing(uiSize);
        EXPECT_FALSE(modeltest::Deserialize(target, bytes)) << "objects of " << uiSize << " bytes";
        EXPECT_GE(failing.GetFailures(), 1u);
    }
    EXPECT_TRUE(MatrixNear(Evaluate(target, 0.5), XMMatrixTranslation(9, 8, 7)));
    EXPECT_TRUE(target.GetEndTime() == 1.0 && target.GetScale() == nullptr);
    EXPECT_TRUE(modeltest::Deserialize(target, bytes));
}

TEST(KR_MeshAnimationResource, ARecordAfterOthersIsBoundedByTheBytesLeftNotTheBuffer)
{
    std::unique_ptr<KR_MeshAnimationResource> pAnimation(MakeKeyedAnimation());
    EXPECT_TRUE(modeltest::BoundedByBytesLeft(*pAnimation));
}
