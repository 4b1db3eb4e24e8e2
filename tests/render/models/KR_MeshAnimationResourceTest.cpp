#include "render/models/KR_MeshAnimationResource.h"

#include "tests/render/models/ModelTestHelpers.h"
#include "tests/timing/CurveTestHelpers.h"
#include "timing/KB_LinearInterpolation.h"
#include "timing/KB_RotationInterpolation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

using namespace DirectX;
using curvetest::Vec;
using modeltest::MatrixEq;
using modeltest::MatrixNear;

namespace
{

using Keys = std::vector<std::pair<double, XMVECTOR>>;

KB_LinearInterpolation* MakeLinear(double fStart, double fEnd, const Keys& keys)
{
    auto* pCurve = new KB_LinearInterpolation();
    pCurve->SetStartTime(fStart);
    pCurve->SetEndTime(fEnd);
    for (const auto& key : keys)
        pCurve->InsertVertex(key.second, key.first);
    return pCurve;
}

KB_RotationInterpolation* MakeRotation(double fStart, double fEnd, const Keys& keys)
{
    auto* pCurve = new KB_RotationInterpolation();
    pCurve->SetStartTime(fStart);
    pCurve->SetEndTime(fEnd);
    for (const auto& key : keys)
        pCurve->InsertQuaternion(key.second, key.first);
    return pCurve;
}

// A rotation curve of one key holding q exactly as given: keys are normalised when inserted, so
// the value is patched into the byte form (whose last 16 bytes it is) and read back.
KB_RotationInterpolation* MakeUnnormalisedRotation(const XMVECTOR& q)
{
    KB_RotationInterpolation source;
    source.SetEndTime(1.0);
    source.InsertQuaternion(XMQuaternionIdentity(), 0.0);
    std::vector<std::uint8_t> bytes = modeltest::Serialize(source);
    std::memcpy(bytes.data() + bytes.size() - 16, q.f, 16);
    auto* pCurve = new KB_RotationInterpolation();
    EXPECT_TRUE(modeltest::Deserialize(*pCurve, bytes));
    return pCurve;
}

XMMATRIX Evaluate(KR_MeshAnimationResource& animation, double fTime)
{
    XMMATRIX m;
    EXPECT_EQ(&m, animation.Evaluate(&m, fTime));
    return m;
}

// Translation keys (0,0,0) and (2,4,6) at 1 s and 3 s, scale (1,1,1) to (3,5,7) over 0 s to 4 s,
// rotation a quarter turn about z over 0 s to 2 s.
KR_MeshAnimationResource* MakeKeyedAnimation()
{
    const float fHalf = std::sqrt(0.5f);
    return new KR_MeshAnimationResource(
        MakeLinear(1.0, 3.0, {{0.0, Vec(0.0f, 0.0f, 0.0f)}, {2.0, Vec(2.0f, 4.0f, 6.0f)}}),
        MakeLinear(0.0, 4.0, {{0.0, Vec(1.0f, 1.0f, 1.0f)}, {4.0, Vec(3.0f, 5.0f, 7.0f)}}),
        MakeRotation(0.0, 2.0, {{0.0, XMQuaternionIdentity()}, {2.0, Vec(0.0f, 0.0f, fHalf, fHalf)}}));
}

} // namespace

TEST(KR_MeshAnimationResource, IntervalSpansTheThreeCurves)
{
    KR_MeshAnimationResource animation(MakeLinear(1.0, 3.0, {}), MakeLinear(0.5, 4.0, {}),
                                       MakeRotation(2.0, 2.5, {}));
    EXPECT_EQ(0.5, animation.GetStartTime());
    EXPECT_EQ(4.0, animation.GetEndTime());

    KR_MeshAnimationResource partial(nullptr, MakeLinear(2.0, 3.0, {}), nullptr);
    EXPECT_EQ(2.0, partial.GetStartTime());
    EXPECT_EQ(3.0, partial.GetEndTime());
}

TEST(KR_MeshAnimationResource, UnitScaleAndIdentityRotationGiveATranslation)
{
    KR_MeshAnimationResource animation(MakeLinear(0.0, 1.0, {{0.0, Vec(1.0f, 2.0f, 3.0f)}}),
                                       MakeLinear(0.0, 1.0, {{0.0, Vec(1.0f, 1.0f, 1.0f)}}),
                                       MakeRotation(0.0, 1.0, {{0.0, XMQuaternionIdentity()}}));
    EXPECT_TRUE(MatrixEq(Evaluate(animation, 0.5), XMMatrixTranslation(1.0f, 2.0f, 3.0f)));
}

TEST(KR_MeshAnimationResource, UnnormalisedQuaternionRowsScaledAndTranslated)
{
    // Q = (1, 2, 3, 4) as it is: R0 = (1 - 2(y^2 + z^2), 2(xy + zw), 2(xz - yw)) = (-25, 28, -10),
    // R1 = (2(xy - zw), 1 - 2(x^2 + z^2), 2(yz + xw)) = (-20, -19, 20),
    // R2 = (2(xz + yw), 2(yz - xw), 1 - 2(x^2 + y^2)) = (22, 4, -9); rows scaled by S = (2, 3, 4).
    KR_MeshAnimationResource animation(MakeLinear(0.0, 1.0, {{0.0, Vec(5.0f, 6.0f, 7.0f)}}),
                                       MakeLinear(0.0, 1.0, {{0.0, Vec(2.0f, 3.0f, 4.0f)}}),
                                       MakeUnnormalisedRotation(Vec(1.0f, 2.0f, 3.0f, 4.0f)));
    const XMMATRIX expected(-50.0f, 56.0f, -20.0f, 0.0f, //
                            -60.0f, -57.0f, 60.0f, 0.0f, //
                            88.0f, 16.0f, -36.0f, 0.0f,  //
                            5.0f, 6.0f, 7.0f, 1.0f);
    EXPECT_TRUE(MatrixEq(Evaluate(animation, 0.0), expected));
}

TEST(KR_MeshAnimationResource, KeysAndBlendsEachAtItsOwnStartTime)
{
    std::unique_ptr<KR_MeshAnimationResource> pAnimation(MakeKeyedAnimation());
    const float fHalf = std::sqrt(0.5f);

    // At 1 s: T at its first key, S a quarter of the way, Q halfway (an eighth turn about z).
    const float c = fHalf, s = fHalf;
    EXPECT_TRUE(MatrixNear(Evaluate(*pAnimation, 1.0),
                           XMMATRIX(1.5f * c, 1.5f * s, 0.0f, 0.0f,  //
                                    -2.0f * s, 2.0f * c, 0.0f, 0.0f, //
                                    0.0f, 0.0f, 2.5f, 0.0f,          //
                                    0.0f, 0.0f, 0.0f, 1.0f),
                           1e-5f));
    // At 2 s: T halfway, S halfway, Q at its last key.
    EXPECT_TRUE(MatrixNear(Evaluate(*pAnimation, 2.0),
                           XMMATRIX(0.0f, 2.0f, 0.0f, 0.0f,  //
                                    -3.0f, 0.0f, 0.0f, 0.0f, //
                                    0.0f, 0.0f, 4.0f, 0.0f,  //
                                    1.0f, 2.0f, 3.0f, 1.0f),
                           1e-5f));
    // Before every start each curve holds its first key; after every end its last.
    EXPECT_TRUE(MatrixEq(Evaluate(*pAnimation, -1.0), XMMatrixIdentity()));
    EXPECT_TRUE(MatrixNear(Evaluate(*pAnimation, 9.0),
                           XMMATRIX(0.0f, 3.0f, 0.0f, 0.0f,  //
                                    -5.0f, 0.0f, 0.0f, 0.0f, //
                                    0.0f, 0.0f, 7.0f, 0.0f,  //
                                    2.0f, 4.0f, 6.0f, 1.0f),
                           1e-5f));
}

TEST(KR_MeshAnimationResource, MissingCurvesAreIdentityChannels)
{
    KR_MeshAnimationResource unread;
    EXPECT_TRUE(MatrixEq(Evaluate(unread, 1.0), XMMatrixIdentity()));
    EXPECT_EQ(0.0, unread.GetStartTime());
    EXPECT_EQ(0.0, unread.GetEndTime());

    KR_MeshAnimationResource translationOnly(MakeLinear(0.0, 1.0, {{0.0, Vec(1.0f, 2.0f, 3.0f)}}), nullptr,
                                             nullptr);
    EXPECT_TRUE(MatrixEq(Evaluate(translationOnly, 0.0), XMMatrixTranslation(1.0f, 2.0f, 3.0f)));
}

TEST(KR_MeshAnimationResource, ByteFormRoundTripKeepsTheStoredInterval)
{
    std::unique_ptr<KR_MeshAnimationResource> pAnimation(MakeKeyedAnimation());
    pAnimation->SetStartTime(-2.0); // not what the curves span: the reader must not recompute it
    const std::vector<std::uint8_t> bytes = modeltest::Serialize(*pAnimation);
    modeltest::ExpectSerializeNeedsExactly(*pAnimation, bytes.size());

    KR_MeshAnimationResource read;
    ASSERT_TRUE(modeltest::Deserialize(read, bytes));
    EXPECT_EQ(-2.0, read.GetStartTime());
    EXPECT_EQ(4.0, read.GetEndTime());
    EXPECT_NE(nullptr, dynamic_cast<KB_LinearInterpolation*>(read.GetTranslation()));
    EXPECT_NE(nullptr, dynamic_cast<KB_LinearInterpolation*>(read.GetScale()));
    EXPECT_NE(nullptr, dynamic_cast<KB_RotationInterpolation*>(read.GetRotation()));
    for (double fTime : {-1.0, 0.0, 0.5, 1.0, 1.7, 2.0, 3.0, 5.0})
        EXPECT_TRUE(MatrixEq(Evaluate(read, fTime), Evaluate(*pAnimation, fTime))) << "at " << fTime;

    // Reading again replaces the curves.
    ASSERT_TRUE(modeltest::Deserialize(read, bytes));
    EXPECT_TRUE(MatrixEq(Evaluate(read, 1.5), Evaluate(*pAnimation, 1.5)));

    // Without its curves an animation has no record to write.
    KR_MeshAnimationResource unread;
    std::vector<std::uint8_t> buffer(1024);
    std::uint8_t* pCursor = buffer.data();
    std::uint64_t uiWritten = 0;
    EXPECT_FALSE(unread.Serialize(&pCursor, buffer.size(), &uiWritten));
    EXPECT_EQ(buffer.data(), pCursor);
    EXPECT_EQ(0u, uiWritten);
}

TEST(KR_MeshAnimationResource, TruncatedAndHostileRecordsFailAndChangeNothing)
{
    std::unique_ptr<KR_MeshAnimationResource> pSource(MakeKeyedAnimation());
    const std::vector<std::uint8_t> bytes = modeltest::Serialize(*pSource);

    KR_MeshAnimationResource target(MakeLinear(0.0, 1.0, {{0.0, Vec(9.0f, 8.0f, 7.0f)}}), nullptr, nullptr);
    const XMMATRIX mBefore = Evaluate(target, 0.5);
    auto expectUnchanged = [&]()
    {
        EXPECT_TRUE(MatrixEq(Evaluate(target, 0.5), mBefore));
        EXPECT_EQ(0.0, target.GetStartTime());
        EXPECT_EQ(1.0, target.GetEndTime());
        EXPECT_EQ(nullptr, target.GetScale());
    };
    for (std::uint64_t uiLength = 0; uiLength < bytes.size(); ++uiLength)
    {
        ASSERT_FALSE(modeltest::Deserialize(target, bytes, uiLength)) << "length " << uiLength;
        expectUnchanged();
    }

    // Stamp counts far beyond the bytes left, in the first and in the second curve (its record
    // starts after the interval and the first curve's record; the count follows a curve's own
    // interval).
    const std::uint64_t uiTranslationSize = modeltest::Serialize(*pSource->GetTranslation()).size();
    for (std::uint64_t uiOffset : {std::uint64_t{16 + 16}, 16 + uiTranslationSize + 16})
        for (std::uint32_t uiCount : {0xFFFFFFFFu, 0x10000000u, 1000u})
        {
            std::vector<std::uint8_t> hostile = bytes;
            std::memcpy(hostile.data() + uiOffset, &uiCount, 4);
            EXPECT_FALSE(modeltest::Deserialize(target, hostile))
                << "count " << uiCount << " at " << uiOffset;
            expectUnchanged();
        }
}
