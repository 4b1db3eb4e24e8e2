#include "timing/KU_Interpolation.h"

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

#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

using namespace DirectX;
using curvetest::Stamps;
using curvetest::Vec;
using curvetest::VectorEq;

namespace
{

std::vector<std::uint8_t> Serialize(const KU_Interpolation& curve, std::uint64_t uiCapacity = 1 << 20)
{
    std::vector<std::uint8_t> bytes(uiCapacity);
    std::uint8_t* pCursor = bytes.data();
    std::uint64_t uiWritten = 0;
    EXPECT_TRUE(curve.Serialize(&pCursor, uiCapacity, &uiWritten));
    EXPECT_EQ(pCursor, bytes.data() + uiWritten);
    bytes.resize(uiWritten);
    return bytes;
}

// Reads the record from an exact-size heap copy, so any read past it is caught by AddressSanitizer.
bool Deserialize(KU_Interpolation& curve, const std::vector<std::uint8_t>& bytes, std::uint64_t uiLength)
{
    std::unique_ptr<std::uint8_t[]> pCopy(new std::uint8_t[uiLength == 0 ? 1 : uiLength]);
    if (uiLength != 0)
        std::memcpy(pCopy.get(), bytes.data(), uiLength);
    const std::uint8_t* pCursor = pCopy.get();
    const bool bOk = curve.Deserialize(&pCursor, pCopy.get() + uiLength);
    EXPECT_EQ(pCursor, bOk ? pCopy.get() + uiLength : pCopy.get());
    return bOk;
}

bool Deserialize(KU_Interpolation& curve, const std::vector<std::uint8_t>& bytes)
{
    return Deserialize(curve, bytes, bytes.size());
}

template <typename T>
void Append(std::vector<std::uint8_t>& bytes, T value)
{
    std::uint8_t raw[sizeof(T)];
    std::memcpy(raw, &value, sizeof(T)); // the host is little-endian
    bytes.insert(bytes.end(), raw, raw + sizeof(T));
}

void AppendText(std::vector<std::uint8_t>& bytes, const char* pText)
{
    bytes.insert(bytes.end(), pText, pText + std::strlen(pText) + 1);
}

void ExpectSameBase(KU_Interpolation& read, KU_Interpolation& written)
{
    EXPECT_EQ(read.GetStartTime(), written.GetStartTime());
    EXPECT_EQ(read.GetEndTime(), written.GetEndTime());
    EXPECT_EQ(Stamps(read), Stamps(written));
    EXPECT_EQ(read.GetTypeName(), written.GetTypeName());
    EXPECT_EQ(read.GetFilePath(), written.GetFilePath());
    EXPECT_EQ(read.GetDebugName(), written.GetDebugName());
}

class KU_InterpolationTest : public ::testing::Test
{
protected:
    KU_InterpolationTest() { m_engine->SetInterpolationManager(&m_registry); }

    TestEngine m_engine;
    KU_InterpolationManager m_registry;
};

} // namespace

TEST_F(KU_InterpolationTest, TwoKeyLinearCurveIsExactly95Bytes)
{
    KB_LinearInterpolation curve;
    curve.SetStartTime(1.0);
    curve.SetEndTime(4.0);
    curve.InsertVertex(Vec(1, 2, 3, 4), 0.5);
    curve.InsertVertex(Vec(-1, -2, -3, -4), 2.0);

    std::vector<std::uint8_t> expected;
    Append(expected, 1.0);
    Append(expected, 4.0);
    Append(expected, std::uint32_t{2});
    Append(expected, 0.5);
    Append(expected, 2.0);
    Append(expected, std::uint8_t{1});
    AppendText(expected, "LinearInterpolation");
    AppendText(expected, "");
    AppendText(expected, "");
    Append(expected, std::uint32_t{2});
    for (float f : {1.0f, 2.0f, 3.0f, 4.0f, -1.0f, -2.0f, -3.0f, -4.0f})
        Append(expected, f);
    ASSERT_EQ(expected.size(), 95u);

    // Written after 7 bytes of an enclosing record: the running total grows by 95.
    std::vector<std::uint8_t> buffer(7 + 95);
    std::uint8_t* pCursor = buffer.data() + 7;
    std::uint64_t uiWritten = 7;
    ASSERT_TRUE(curve.Serialize(&pCursor, buffer.size(), &uiWritten));
    EXPECT_EQ(uiWritten, 7u + 95u);
    EXPECT_EQ(pCursor, buffer.data() + buffer.size());
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin() + 7, buffer.end()), expected);
}

TEST_F(KU_InterpolationTest, SerializeFailsWhenTheRecordDoesNotFit)
{
    KB_LinearInterpolation curve;
    curve.InsertVertex(Vec(1, 2, 3), 0.0);
    const std::uint64_t uiSize = Serialize(curve).size();
    for (std::uint64_t uiCapacity : {std::uint64_t{0}, uiSize - 1, uiSize, uiSize + 1})
    {
        std::vector<std::uint8_t> buffer(uiCapacity + 1);
        std::uint8_t* pCursor = buffer.data();
        std::uint64_t uiWritten = 0;
        const bool bOk = curve.Serialize(&pCursor, uiCapacity, &uiWritten);
        EXPECT_EQ(bOk, uiCapacity >= uiSize) << uiCapacity;
        EXPECT_EQ(uiWritten, bOk ? uiSize : 0u);
        EXPECT_EQ(pCursor, buffer.data() + uiWritten);
    }
    // A running total already past the capacity leaves no room.
    std::uint8_t byte = 0;
    std::uint8_t* pCursor = &byte;
    std::uint64_t uiWritten = 100;
    EXPECT_FALSE(curve.Serialize(&pCursor, 50, &uiWritten));
    EXPECT_EQ(uiWritten, 100u);
}

TEST_F(KU_InterpolationTest, ARecordAfterOthersIsBoundedByTheBytesLeftNotTheBuffer)
{
    // In the model cache a curve record follows the header and earlier records, and the capacity
    // is the whole buffer's. Capacities that hold the record from 0 but not from the cursor fail,
    // move nothing and leave the guard bytes past the capacity as they were.
    KB_LinearInterpolation vertices;
    vertices.InsertVertex(Vec(1, 2, 3), 0.0);
    vertices.InsertVertex(Vec(4, 5, 6), 1.0);
    KB_RotationInterpolation rotations;
    rotations.InsertQuaternion(XMQuaternionIdentity(), 0.0);
    KB_LinearMatrixInterpolation matrices;
    matrices.InsertMatrix(XMMatrixTranslation(1, 2, 3), 0.0);
    constexpr std::uint64_t GUARD = 16;
    for (const KU_Interpolation* pCurve :
         std::initializer_list<const KU_Interpolation*>{&vertices, &rotations, &matrices})
    {
        const std::uint64_t uiSize = Serialize(*pCurve).size();
        for (const std::uint64_t uiBefore : {std::uint64_t{1}, std::uint64_t{20}, uiSize})
            for (const std::uint64_t uiCapacity : {uiSize, uiBefore + uiSize - 1, uiBefore + uiSize})
            {
                if (uiCapacity < uiSize)
                    continue;
                std::vector<std::uint8_t> buffer(uiCapacity + GUARD, 0xA5);
                std::uint8_t* pCursor = buffer.data() + uiBefore;
                std::uint64_t uiWritten = uiBefore;
                const bool bFits = uiCapacity == uiBefore + uiSize;
                EXPECT_EQ(bFits, pCurve->Serialize(&pCursor, uiCapacity, &uiWritten))
                    << uiBefore << " " << uiCapacity;
                EXPECT_EQ(bFits ? uiCapacity : uiBefore, uiWritten);
                EXPECT_EQ(buffer.data() + uiWritten, pCursor);
                EXPECT_EQ(std::vector<std::uint8_t>(GUARD, 0xA5),
                          std::vector<std::uint8_t>(buffer.begin() + uiCapacity, buffer.end()));
            }
    }
}

TEST_F(KU_InterpolationTest, LinearRoundTripRestoresEveryFieldAndRegisters)
{
    KB_LinearInterpolation written(KB_String("Assets/Models/crane.dae Animation TranslationInterpolation"));
    written.SetStartTime(0.25);
    written.SetEndTime(8.5);
    written.SetDebugName("crane arm");
    written.InsertVertex(Vec(1, 2, 3, 4), 0.0);
    written.InsertVertex(Vec(5, 6, 7, 8), 3.0);
    written.InsertVertex(Vec(9, 10, 11, 12), 8.25);
    const std::vector<std::uint8_t> bytes = Serialize(written);

    KB_LinearInterpolation read;
    ASSERT_TRUE(Deserialize(read, bytes));
    ExpectSameBase(read, written);
    EXPECT_TRUE(read.HasChanged(false));
    EXPECT_TRUE(read.IsDerivedDataValid());
    ASSERT_EQ(read.GetNumVertices(), 3u);
    for (std::uint32_t i = 0; i < 3; ++i)
        EXPECT_TRUE(VectorEq(read.GetVertex(i), written.GetVertex(i)));

    // Both curves are listed under the shared path, each once.
    const auto& entries = m_registry.GetAllVertexInterpolations();
    ASSERT_EQ(entries.GetNumMembers(), 2u);
    EXPECT_EQ(entries[1].second, &read);
    EXPECT_EQ(entries[1].first, written.GetFilePath());
}

TEST_F(KU_InterpolationTest, EveryVertexKindRoundTrips)
{
    const std::vector<std::function<KU_VertexInterpolation*()>> makers = {
        [] { return new KB_LinearInterpolation(KB_String("a.int")); },
        [] { return new KB_TrigonometryInterpolation(KB_String("b.int")); },
        [] { return new KB_CubicBSplineInterpolation(KB_String("c.int")); },
        [] { return new KB_AnimationTriggerInterpolation(KB_String("d.int")); },
        [] { return new KU_ConstantValueInterpolation(KB_String("e.int")); },
    };
    for (const auto& make : makers)
    {
        std::unique_ptr<KU_VertexInterpolation> pWritten(make());
        pWritten->SetEndTime(10.0);
        for (int i = 0; i < 6; ++i)
            pWritten->InsertVertex(Vec(float(i), float(i * i), -float(i), 0.5f), i * 1.5);
        pWritten->HasChanged(true);
        const std::vector<std::uint8_t> bytes = Serialize(*pWritten);

        // Read into a fresh curve of the same kind (path-constructed, then given the record's path).
        std::unique_ptr<KU_VertexInterpolation> pRead(make());
        ASSERT_TRUE(Deserialize(*pRead, bytes)) << pWritten->GetTypeName().GetBuffer();
        ExpectSameBase(*pRead, *pWritten);
        EXPECT_FALSE(pRead->HasChanged(false));
        ASSERT_EQ(pRead->GetNumVertices(), 6u);
        for (std::uint32_t t = 0; t < 40; ++t)
        {
            XMVECTOR vRead;
            XMVECTOR vWritten;
            pRead->GetValueAt(&vRead, t * 0.25);
            pWritten->GetValueAt(&vWritten, t * 0.25);
            EXPECT_TRUE(VectorEq(vRead, vWritten))
                << pWritten->GetTypeName().GetBuffer() << " at " << t * 0.25;
        }
    }
    EXPECT_EQ(m_registry.GetAllVertexInterpolations().GetNumMembers(), 0u);
}

TEST_F(KU_InterpolationTest, RotationCurveReadsBackUnchangedAndUnnormalised)
{
    KB_RotationInterpolation written(KB_String("view.int"));
    written.SetEndTime(2.0);
    written.InsertQuaternion(Vec(0, 0, 0, 1), 0.0);
    written.InsertQuaternion(Vec(0, 0.6f, 0, 0.8f), 1.0);
    ASSERT_TRUE(written.HasChanged(false));
    std::vector<std::uint8_t> bytes = Serialize(written);
    // Store a quaternion of length 2 in the record: it is read as stored.
    const float fTwo = 2.0f;
    std::memcpy(bytes.data() + bytes.size() - 4, &fTwo, 4);

    KB_RotationInterpolation read;
    ASSERT_TRUE(Deserialize(read, bytes));
    ExpectSameBase(read, written);
    EXPECT_FALSE(read.HasChanged(false));
    ASSERT_EQ(read.GetNumQuaternions(), 2u);
    XMVECTOR q;
    read.GetValueAt(&q, 5.0);
    EXPECT_TRUE(VectorEq(q, Vec(0, 0.6f, 0, 2.0f)));
    EXPECT_EQ(m_registry.GetAllVertexInterpolations().GetNumMembers(), 0u);
}

TEST_F(KU_InterpolationTest, MatrixCurveRoundTripsWithDerivedDataValid)
{
    KB_LinearMatrixInterpolation written;
    written.SetEndTime(5.0);
    written.InsertMatrix(XMMATRIX(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16), 0.0);
    written.InsertMatrix(XMMatrixIdentity(), 4.0);
    const std::vector<std::uint8_t> bytes = Serialize(written);
    EXPECT_EQ(bytes.size(), 16u + 4 + 16 + 1 + 26 + 1 + 1 + 4 + 128);

    KB_LinearMatrixInterpolation read;
    ASSERT_TRUE(Deserialize(read, bytes));
    ExpectSameBase(read, written);
    EXPECT_TRUE(read.HasChanged(false)); // kept as written
    EXPECT_TRUE(read.IsDerivedDataValid());
    ASSERT_EQ(read.GetNumMatrices(), 2u);
    for (std::uint32_t i = 0; i < 2; ++i)
        for (int r = 0; r < 4; ++r)
            EXPECT_TRUE(VectorEq(read.GetMatrix(i).r[r], written.GetMatrix(i).r[r]));
}

TEST_F(KU_InterpolationTest, EmptyCurveReadsBackEmpty)
{
    KU_ConstantValueInterpolation written;
    const std::vector<std::uint8_t> bytes = Serialize(written);
    EXPECT_EQ(bytes.size(), 16u + 4 + 1 + sizeof("ConstantValueInterpolation") + 1 + 1 + 4);
    KU_ConstantValueInterpolation read;
    ASSERT_TRUE(Deserialize(read, bytes));
    EXPECT_EQ(read.GetNumVertices(), 0u);
    EXPECT_EQ(read.GetNumTimeStamps(), 0u);
    // Listed even without keys, under its (empty) path.
    ASSERT_EQ(m_registry.GetAllVertexInterpolations().GetNumMembers(), 1u);
}

TEST_F(KU_InterpolationTest, TruncatedRecordsFailWithoutChangingTheCurve)
{
    KB_LinearInterpolation linear(KB_String("path.int"));
    linear.SetDebugName("debug");
    linear.InsertVertex(Vec(1, 2, 3), 0.0);
    linear.InsertVertex(Vec(4, 5, 6), 1.0);
    KB_RotationInterpolation rotation;
    rotation.InsertQuaternion(Vec(0, 0, 0, 1), 0.0);
    KB_LinearMatrixInterpolation matrix;
    matrix.InsertMatrix(XMMatrixIdentity(), 0.0);

    struct Case
    {
        KU_Interpolation* pWritten;
        std::function<KU_Interpolation*()> make;
    };
    const Case cases[] = {
        {&linear, [] { return new KB_LinearInterpolation(); }},
        {&rotation, [] { return new KB_RotationInterpolation(); }},
        {&matrix, [] { return new KB_LinearMatrixInterpolation(); }},
    };
    for (const Case& c : cases)
    {
        const std::vector<std::uint8_t> bytes = Serialize(*c.pWritten);
        for (std::uint64_t uiLength = 0; uiLength < bytes.size(); ++uiLength)
        {
            std::unique_ptr<KU_Interpolation> pRead(c.make());
            pRead->SetStartTime(-1.0);
            EXPECT_FALSE(Deserialize(*pRead, bytes, uiLength)) << uiLength;
            EXPECT_EQ(pRead->GetStartTime(), -1.0);
            EXPECT_EQ(pRead->GetNumTimeStamps(), 0u);
        }
    }
    // Only the path-constructed curve is listed: no failed read registered anything.
    EXPECT_EQ(m_registry.GetAllVertexInterpolations().GetNumMembers(), 1u);
}

TEST_F(KU_InterpolationTest, InconsistentCountsFailOrAreCut)
{
    KB_LinearInterpolation written;
    written.InsertVertex(Vec(1, 0, 0), 0.0);
    written.InsertVertex(Vec(2, 0, 0), 1.0);
    const std::vector<std::uint8_t> bytes = Serialize(written);
    const std::size_t uiStampCount = 16;
    const std::size_t uiValueCount = 16 + 4 + 16 + 1 + sizeof("LinearInterpolation") + 2;

    // Counts larger than the bytes left fail before anything is allocated.
    for (std::size_t uiOffset : {uiStampCount, uiValueCount})
    {
        for (std::uint32_t uiCount : {100u, 0x10000000u, 0xFFFFFFFFu})
        {
            std::vector<std::uint8_t> bad = bytes;
            std::memcpy(bad.data() + uiOffset, &uiCount, 4);
            KB_LinearInterpolation read;
            EXPECT_FALSE(Deserialize(read, bad)) << uiOffset << " " << uiCount;
        }
    }
    // A text without its NUL before the end fails.
    std::vector<std::uint8_t> unterminated(bytes.begin(), bytes.begin() + uiStampCount + 4 + 16 + 1);
    unterminated.insert(unterminated.end(), {'L', 'i', 'n'});
    KB_LinearInterpolation read;
    EXPECT_FALSE(Deserialize(read, unterminated));

    // One value fewer than stamps: both lists are cut to the shorter.
    std::vector<std::uint8_t> shorter(bytes.begin(), bytes.end() - 16);
    const std::uint32_t uiOne = 1;
    std::memcpy(shorter.data() + uiValueCount, &uiOne, 4);
    ASSERT_TRUE(Deserialize(read, shorter));
    EXPECT_EQ(read.GetNumVertices(), 1u);
    EXPECT_EQ(Stamps(read), std::vector<double>{0.0});
}

TEST_F(KU_InterpolationTest, ReadingAPathConstructedCurveMovesItsEntry)
{
    KB_LinearInterpolation source(KB_String("new.int"));
    const std::vector<std::uint8_t> bytes = Serialize(source);
    KB_LinearInterpolation other(KB_String("other.int"));
    KB_LinearInterpolation read(KB_String("old.int"));
    ASSERT_TRUE(Deserialize(read, bytes));
    const auto& entries = m_registry.GetAllVertexInterpolations();
    ASSERT_EQ(entries.GetNumMembers(), 3u);
    EXPECT_EQ(entries[2].first, KB_String("new.int"));
    EXPECT_EQ(entries[2].second, &read);
}

// A record holding a NaN or an infinity is damaged: reading it fails and changes nothing, for every
// number of the record (start, end, a stamp, a value) and every value class.
TEST_F(KU_InterpolationTest, RecordsWithNonFiniteNumbersFail)
{
    KB_LinearInterpolation linear;
    linear.InsertVertex(Vec(1, 2, 3), 0.0);
    KB_RotationInterpolation rotation;
    rotation.InsertQuaternion(Vec(0, 0, 0, 1), 0.0);
    KB_LinearMatrixInterpolation matrix;
    matrix.InsertMatrix(XMMatrixIdentity(), 0.0);

    struct Case
    {
        KU_Interpolation* pWritten;
        std::function<KU_Interpolation*()> make;
    };
    const Case cases[] = {
        {&linear, [] { return new KB_LinearInterpolation(); }},
        {&rotation, [] { return new KB_RotationInterpolation(); }},
        {&matrix, [] { return new KB_LinearMatrixInterpolation(); }},
    };
    for (const Case& c : cases)
    {
        const std::vector<std::uint8_t> bytes = Serialize(*c.pWritten);
        std::unique_ptr<KU_Interpolation> pRead(c.make());
        ASSERT_TRUE(Deserialize(*pRead, bytes));
        // start, end, the one stamp, then the last value lane (the record's last four bytes).
        const std::size_t doubleOffsets[] = {0, 8, 20};
        for (double fBad :
             {std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::infinity()})
            for (std::size_t uiOffset : doubleOffsets)
            {
                std::vector<std::uint8_t> bad = bytes;
                std::memcpy(bad.data() + uiOffset, &fBad, 8);
                pRead.reset(c.make());
                pRead->SetStartTime(-1.0);
                EXPECT_FALSE(Deserialize(*pRead, bad)) << uiOffset;
                EXPECT_EQ(pRead->GetStartTime(), -1.0);
                EXPECT_EQ(pRead->GetNumTimeStamps(), 0u);
            }
        for (float fBad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()})
        {
            std::vector<std::uint8_t> bad = bytes;
            std::memcpy(bad.data() + bad.size() - 4, &fBad, 4);
            pRead.reset(c.make());
            EXPECT_FALSE(Deserialize(*pRead, bad)) << c.pWritten->GetTypeName().GetBuffer();
            EXPECT_EQ(pRead->GetNumTimeStamps(), 0u);
        }
    }
}

// What a curve holds that is not finite is written finite, so its record reads back.
TEST_F(KU_InterpolationTest, NonFiniteNumbersAreWrittenFinite)
{
    constexpr float INF = std::numeric_limits<float>::infinity();
    KB_LinearInterpolation written;
    written.SetEndTime(std::numeric_limits<double>::infinity());
    written.InsertVertex(Vec(std::numeric_limits<float>::quiet_NaN(), INF, -INF, 1), 0.0);
    written.InsertVertex(Vec(1, 2, 3), std::numeric_limits<double>::quiet_NaN());
    KB_LinearInterpolation read;
    ASSERT_TRUE(Deserialize(read, Serialize(written)));
    EXPECT_EQ(read.GetEndTime(), std::numeric_limits<double>::max());
    ASSERT_EQ(read.GetNumVertices(), 2u);
    EXPECT_TRUE(VectorEq(read.GetVertex(0), Vec(1, 2, 3)));
    EXPECT_EQ(read.GetTimeStamp(0), 0.0);
    EXPECT_TRUE(VectorEq(read.GetVertex(1),
                         Vec(0, std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(), 1)));
}
