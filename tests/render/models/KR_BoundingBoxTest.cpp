#include "render/models/KR_BoundingBox.h"

#include "tests/render/models/ModelTestHelpers.h"
#include "tests/timing/CurveTestHelpers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

using namespace DirectX;
using curvetest::Vec;
using curvetest::VectorNear;

namespace
{

constexpr float BIG = 3.4028235e38f;

::testing::AssertionResult BoxEq(const KR_BoundingBox& box, const XMVECTOR& vMin, const XMVECTOR& vMax,
                                 float tolerance = 0.0f)
{
    XMVECTOR vBoxMin, vBoxMax;
    box.GetMinMax(&vBoxMin, &vBoxMax);
    ::testing::AssertionResult result = VectorNear(vBoxMin, vMin, tolerance);
    if (!result)
        return result << " (min)";
    return VectorNear(vBoxMax, vMax, tolerance) << " (max)";
}

const XMVECTOR EMPTY_MIN = Vec(BIG, BIG, BIG, BIG);
const XMVECTOR EMPTY_MAX = Vec(-BIG, -BIG, -BIG, -BIG);

} // namespace

TEST(KR_BoundingBox, EmptyBoxUnionsAndOffsets)
{
    KR_BoundingBox box;
    EXPECT_TRUE(box.IsEmpty());
    EXPECT_TRUE(BoxEq(box, EMPTY_MIN, EMPTY_MAX)); // finite extremes, not infinities
    box.ExtendByBox(KR_BoundingBox());
    EXPECT_TRUE(BoxEq(box, EMPTY_MIN, EMPTY_MAX));

    box.ExtendByPoint(Vec(1.0f, -2.0f, 3.0f, 0.0f));
    EXPECT_TRUE(BoxEq(box, Vec(1.0f, -2.0f, 3.0f, 0.0f), Vec(1.0f, -2.0f, 3.0f, 0.0f)));
    box.ExtendByBox(KR_BoundingBox(Vec(-1.0f, 0.0f, 0.0f, 0.0f), Vec(0.5f, 4.0f, 1.0f, 1.0f)));
    EXPECT_TRUE(BoxEq(box, Vec(-1.0f, -2.0f, 0.0f, 0.0f), Vec(1.0f, 4.0f, 3.0f, 1.0f)));

    const XMVECTOR vOffset = Vec(1.0f, -1.0f, 0.5f, 0.0f);
    EXPECT_TRUE(
        BoxEq(KR_BoundingBox(&box, vOffset), Vec(0.0f, -3.0f, 0.5f, 0.0f), Vec(2.0f, 3.0f, 3.5f, 1.0f)));
    EXPECT_TRUE(BoxEq(KR_BoundingBox(nullptr, vOffset), EMPTY_MIN, EMPTY_MAX));
    EXPECT_EQ(nullptr, KR_BoundingBox::CreateTranslated(nullptr, vOffset));
    std::unique_ptr<KR_BoundingBox> pMoved(KR_BoundingBox::CreateTranslated(&box, vOffset));
    ASSERT_NE(nullptr, pMoved);
    EXPECT_TRUE(BoxEq(*pMoved, Vec(0.0f, -3.0f, 0.5f, 0.0f), Vec(2.0f, 3.0f, 3.5f, 1.0f)));
}

TEST(KR_BoundingBox, TransformedBoxIsTheBoundOfEveryTransformedVertex)
{
    // Vertices on a grid through the box, its corners among them. The transformed box must be
    // exactly the bounds of the transformed vertices, which needs all eight corners transformed.
    const XMVECTOR vLow = Vec(-1.0f, 0.5f, 2.0f, 0.0f);
    const XMVECTOR vHigh = Vec(3.0f, 2.0f, 2.5f, 0.0f);
    const XMMATRIX mTransform = XMMatrixMultiply(
        XMMatrixMultiply(XMMatrixRotationRollPitchYaw(0.3f, 0.7f, -0.4f), XMMatrixScaling(2.0f, 1.0f, 0.5f)),
        XMMatrixTranslation(5.0f, -3.0f, 1.0f));
    KR_BoundingBox box;
    KR_BoundingBox expected;
    for (int i = 0; i < 125; ++i)
    {
        const float u[3] = {(i % 5) / 4.0f, (i / 5 % 5) / 4.0f, (i / 25) / 4.0f};
        XMVECTOR v = Vec(0.0f, 0.0f, 0.0f);
        for (int lane = 0; lane < 3; ++lane)
            v.f[lane] = vLow.f[lane] + (vHigh.f[lane] - vLow.f[lane]) * u[lane];
        box.ExtendByPoint(v);
        expected.ExtendByPoint(XMVector3TransformCoord(v, mTransform));
    }
    XMVECTOR vMin, vMax;
    expected.GetMinMax(&vMin, &vMax);

    // The w lanes come out as 1 from the division by w.
    EXPECT_TRUE(BoxEq(KR_BoundingBox(box, XMMatrixIdentity()), Vec(-1.0f, 0.5f, 2.0f, 1.0f),
                      Vec(3.0f, 2.0f, 2.5f, 1.0f)));
    EXPECT_TRUE(BoxEq(KR_BoundingBox(box, mTransform), vMin, vMax, 1e-5f));
    XMVECTOR vGotMin, vGotMax;
    box.GetTransformedMinMax(mTransform, &vGotMin, &vGotMax);
    EXPECT_TRUE(VectorNear(vGotMin, vMin, 1e-5f) && VectorNear(vGotMax, vMax, 1e-5f));
    box.Transform(mTransform);
    EXPECT_TRUE(BoxEq(box, vMin, vMax, 1e-5f));

    KR_BoundingBox empty;
    empty.Transform(mTransform);
    EXPECT_TRUE(BoxEq(empty, EMPTY_MIN, EMPTY_MAX));
}

TEST(KR_BoundingBox, ByteFormIsThirtyTwoBytesAndReadsBackOnlyWhole)
{
    const KR_BoundingBox box(Vec(1.0f, -2.0f, 0.5f, 0.0f), Vec(3.0f, 4.0f, 5.0f, 1.0f));
    const std::vector<std::uint8_t> bytes = modeltest::Serialize(box);
    const float lanes[8] = {1.0f, -2.0f, 0.5f, 0.0f, 3.0f, 4.0f, 5.0f, 1.0f};
    std::vector<std::uint8_t> expected(32);
    std::memcpy(expected.data(), lanes, 32); // this host is little-endian, as the byte form
    EXPECT_EQ(expected, bytes);

    KR_BoundingBox read;
    for (std::uint64_t uiLength = 0; uiLength < bytes.size(); ++uiLength)
    {
        EXPECT_FALSE(modeltest::Deserialize(read, bytes, uiLength));
        EXPECT_TRUE(BoxEq(read, EMPTY_MIN, EMPTY_MAX));
    }
    ASSERT_TRUE(modeltest::Deserialize(read, bytes));
    EXPECT_TRUE(BoxEq(read, Vec(1.0f, -2.0f, 0.5f, 0.0f), Vec(3.0f, 4.0f, 5.0f, 1.0f)));
}

TEST(KR_BoundingBox, ARecordAfterOthersIsBoundedByTheBytesLeftNotTheBuffer)
{
    const KR_BoundingBox box(Vec(1.0f, -2.0f, 0.5f, 0.0f), Vec(3.0f, 4.0f, 5.0f, 1.0f));
    EXPECT_TRUE(modeltest::BoundedByBytesLeft(box));
    EXPECT_TRUE(modeltest::WritesWithinBytesLeft(box, 32, 100, 131)); // refused one byte short
}
