#include "render/models/KR_BoundingBox.h"

#include "tests/render/models/ModelTestHelpers.h"
#include "tests/timing/CurveTestHelpers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

using namespace DirectX;
using curvetest::Vec;
using curvetest::VectorEq;
using curvetest::VectorNear;

namespace
{

constexpr float BIG = 3.4028235e38f;

XMVECTOR MinOf(const KR_BoundingBox& box)
{
    XMVECTOR vMin, vMax;
    box.GetMinMax(&vMin, &vMax);
    return vMin;
}

XMVECTOR MaxOf(const KR_BoundingBox& box)
{
    XMVECTOR vMin, vMax;
    box.GetMinMax(&vMin, &vMax);
    return vMax;
}

void ExpectEmpty(const KR_BoundingBox& box)
{
    EXPECT_TRUE(box.IsEmpty());
    EXPECT_TRUE(VectorEq(MinOf(box), Vec(BIG, BIG, BIG, BIG)));
    EXPECT_TRUE(VectorEq(MaxOf(box), Vec(-BIG, -BIG, -BIG, -BIG)));
}

} // namespace

TEST(KR_BoundingBox, EmptyBoxUnionsAndExtension)
{
    KR_BoundingBox box;
    ExpectEmpty(box);
    EXPECT_EQ(BIG, KR_BoundingBox::EMPTY_EXTENT); // the largest finite float, not infinity

    KR_BoundingBox empty;
    empty.ExtendByBox(KR_BoundingBox());
    ExpectEmpty(empty);

    box.ExtendByPoint(Vec(1.0f, -2.0f, 3.0f, 0.0f));
    EXPECT_FALSE(box.IsEmpty());
    EXPECT_TRUE(VectorEq(MinOf(box), Vec(1.0f, -2.0f, 3.0f, 0.0f)));
    EXPECT_TRUE(VectorEq(MaxOf(box), Vec(1.0f, -2.0f, 3.0f, 0.0f)));

    // Extending by an empty box changes nothing; an empty box extended by a box becomes that box.
    box.ExtendByBox(KR_BoundingBox());
    EXPECT_TRUE(VectorEq(MinOf(box), Vec(1.0f, -2.0f, 3.0f, 0.0f)));
    KR_BoundingBox other(Vec(-1.0f, 0.0f, 0.0f, 0.0f), Vec(0.5f, 4.0f, 1.0f, 1.0f));
    empty.ExtendByBox(other);
    EXPECT_TRUE(VectorEq(MinOf(empty), MinOf(other)));
    EXPECT_TRUE(VectorEq(MaxOf(empty), MaxOf(other)));

    // The union encloses both boxes, every lane.
    box.ExtendByBox(other);
    EXPECT_TRUE(VectorEq(MinOf(box), Vec(-1.0f, -2.0f, 0.0f, 0.0f)));
    EXPECT_TRUE(VectorEq(MaxOf(box), Vec(1.0f, 4.0f, 3.0f, 1.0f)));

    // The two-vector constructor keeps what it is given, even reversed.
    KR_BoundingBox reversed(Vec(1.0f, 1.0f, 1.0f), Vec(0.0f, 0.0f, 0.0f));
    EXPECT_TRUE(VectorEq(MinOf(reversed), Vec(1.0f, 1.0f, 1.0f)));
    EXPECT_TRUE(reversed.IsEmpty());
}

TEST(KR_BoundingBox, OffsetsAndTranslatedCopies)
{
    const KR_BoundingBox box(Vec(0.0f, 1.0f, 2.0f, 0.0f), Vec(3.0f, 4.0f, 5.0f, 0.0f));
    const KR_BoundingBox moved(&box, Vec(1.0f, -1.0f, 0.5f, 0.0f));
    EXPECT_TRUE(VectorEq(MinOf(moved), Vec(1.0f, 0.0f, 2.5f, 0.0f)));
    EXPECT_TRUE(VectorEq(MaxOf(moved), Vec(4.0f, 3.0f, 5.5f, 0.0f)));
    ExpectEmpty(KR_BoundingBox(nullptr, Vec(1.0f, 1.0f, 1.0f)));

    EXPECT_EQ(nullptr, KR_BoundingBox::CreateTranslated(nullptr, Vec(1.0f, 1.0f, 1.0f)));
    std::unique_ptr<KR_BoundingBox> pCopy(
        KR_BoundingBox::CreateTranslated(&box, Vec(1.0f, -1.0f, 0.5f, 0.0f)));
    ASSERT_NE(nullptr, pCopy);
    EXPECT_EQ(0u, reinterpret_cast<std::uintptr_t>(pCopy.get()) % 16);
    EXPECT_TRUE(VectorEq(MinOf(*pCopy), MinOf(moved)));
    EXPECT_TRUE(VectorEq(MaxOf(*pCopy), MaxOf(moved)));
}

TEST(KR_BoundingBox, IdentityAndQuarterTurnTransforms)
{
    const KR_BoundingBox box(Vec(1.0f, 2.0f, 3.0f, 1.0f), Vec(4.0f, 6.0f, 8.0f, 1.0f));
    const KR_BoundingBox same(box, XMMatrixIdentity());
    EXPECT_TRUE(VectorEq(MinOf(same), MinOf(box)));
    EXPECT_TRUE(VectorEq(MaxOf(same), MaxOf(box)));

    // A quarter turn about y maps (x, y, z) to (z, y, -x) up to rounding: x from 3 to 8, z from
    // -4 to -1. The w lanes come out as 1 from the division by w.
    KR_BoundingBox turned = box;
    turned.Transform(XMMatrixRotationY(XM_PIDIV2));
    EXPECT_TRUE(VectorNear(MinOf(turned), Vec(3.0f, 2.0f, -4.0f, 1.0f), 1e-5f));
    EXPECT_TRUE(VectorNear(MaxOf(turned), Vec(8.0f, 6.0f, -1.0f, 1.0f), 1e-5f));
}

TEST(KR_BoundingBox, RotatedBoxEnclosesEveryTransformedVertex)
{
    // Vertices on a grid through the box (its corners among them): the transformed box must be
    // exactly the bounds of the transformed vertices, which only holds when all eight corners are
    // transformed.
    const XMVECTOR vLow = Vec(-1.0f, 0.5f, 2.0f, 0.0f);
    const XMVECTOR vHigh = Vec(3.0f, 2.0f, 2.5f, 0.0f);
    KR_BoundingBox box;
    std::vector<XMVECTOR> vertices;
    for (int i = 0; i <= 4; ++i)
        for (int j = 0; j <= 4; ++j)
            for (int k = 0; k <= 4; ++k)
            {
                const XMVECTOR v = Vec(vLow.f[0] + (vHigh.f[0] - vLow.f[0]) * i / 4.0f,
                                       vLow.f[1] + (vHigh.f[1] - vLow.f[1]) * j / 4.0f,
                                       vLow.f[2] + (vHigh.f[2] - vLow.f[2]) * k / 4.0f, 0.0f);
                vertices.push_back(v);
                box.ExtendByPoint(v);
            }

    const XMMATRIX mTransform = XMMatrixMultiply(
        XMMatrixMultiply(XMMatrixRotationRollPitchYaw(0.3f, 0.7f, -0.4f), XMMatrixScaling(2.0f, 1.0f, 0.5f)),
        XMMatrixTranslation(5.0f, -3.0f, 1.0f));
    KR_BoundingBox expected;
    for (const XMVECTOR& v : vertices)
        expected.ExtendByPoint(XMVector3TransformCoord(v, mTransform));

    const KR_BoundingBox transformed(box, mTransform);
    EXPECT_TRUE(VectorNear(MinOf(transformed), MinOf(expected), 1e-5f));
    EXPECT_TRUE(VectorNear(MaxOf(transformed), MaxOf(expected), 1e-5f));
    XMVECTOR vMin, vMax;
    box.GetTransformedMinMax(mTransform, &vMin, &vMax);
    EXPECT_TRUE(VectorEq(vMin, MinOf(transformed)));
    EXPECT_TRUE(VectorEq(vMax, MaxOf(transformed)));
    box.Transform(mTransform);
    EXPECT_TRUE(VectorEq(MinOf(box), MinOf(transformed)));
    EXPECT_TRUE(VectorEq(MaxOf(box), MaxOf(transformed)));

    // The rotated source min and max corners alone would miss part of the box.
    const XMVECTOR vA = XMVector3TransformCoord(vLow, mTransform);
    const XMVECTOR vB = XMVector3TransformCoord(vHigh, mTransform);
    EXPECT_FALSE(VectorNear(XMVectorMin(vA, vB), MinOf(transformed), 1e-3f) &&
                 VectorNear(XMVectorMax(vA, vB), MaxOf(transformed), 1e-3f));
}

TEST(KR_BoundingBox, EmptyBoxStaysEmptyUnderTransforms)
{
    const XMMATRIX mTransform =
        XMMatrixMultiply(XMMatrixRotationY(1.0f), XMMatrixTranslation(1.0f, 2.0f, 3.0f));
    KR_BoundingBox box;
    box.Transform(mTransform);
    ExpectEmpty(box);
    ExpectEmpty(KR_BoundingBox(KR_BoundingBox(), mTransform));
}

TEST(KR_BoundingBox, ByteFormIsThirtyTwoLittleEndianFloats)
{
    const KR_BoundingBox box(Vec(1.0f, -2.0f, 0.5f, 0.0f), Vec(3.0f, 4.0f, 5.0f, 1.0f));
    const std::vector<std::uint8_t> bytes = modeltest::Serialize(box);
    ASSERT_EQ(32u, bytes.size());
    const float expected[8] = {1.0f, -2.0f, 0.5f, 0.0f, 3.0f, 4.0f, 5.0f, 1.0f};
    for (int i = 0; i < 8; ++i)
    {
        std::uint32_t uiBits = 0;
        std::memcpy(&uiBits, &expected[i], 4);
        for (int b = 0; b < 4; ++b)
            EXPECT_EQ(static_cast<std::uint8_t>(uiBits >> (8 * b)), bytes[i * 4 + b]) << "float " << i;
    }
    modeltest::ExpectSerializeNeedsExactly(box, 32);

    KR_BoundingBox read;
    ASSERT_TRUE(modeltest::Deserialize(read, bytes));
    EXPECT_TRUE(VectorEq(MinOf(read), MinOf(box)));
    EXPECT_TRUE(VectorEq(MaxOf(read), MaxOf(box)));

    // Every shorter record fails and leaves the box as it was.
    for (std::uint64_t uiLength = 0; uiLength < bytes.size(); ++uiLength)
    {
        KR_BoundingBox untouched;
        EXPECT_FALSE(modeltest::Deserialize(untouched, bytes, uiLength));
        ExpectEmpty(untouched);
    }
}
