#include "framework/core/KU_ByteCursorMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

using namespace DirectX;

namespace
{

XMMATRIX CountingMatrix()
{
    XMMATRIX m;
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            m.r[row].f[column] = static_cast<float>(row * 4 + column) + 0.5f;
    return m;
}

TEST(KU_ByteCursorMath, VectorsAreFourLanesAndMatricesFourRowsInOrder)
{
    std::vector<std::uint8_t> vectorBytes(KU_ByteCursorMath::VECTOR_BYTES);
    KB_ByteWriter vectorWriter(vectorBytes.data(), vectorBytes.size());
    ASSERT_TRUE(KU_ByteCursorMath::WriteVector(vectorWriter, XMVECTOR{{1.5f, -2.0f, 0.0f, 3.0f}}));
    EXPECT_EQ(vectorWriter.GetRemaining(), 0u);
    const std::uint8_t expected[] = {0x00, 0x00, 0xC0, 0x3F, 0x00, 0x00, 0x00, 0xC0,
                                     0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x40};
    EXPECT_EQ(std::memcmp(vectorBytes.data(), expected, sizeof(expected)), 0);

    std::vector<std::uint8_t> matrixBytes(KU_ByteCursorMath::MATRIX_BYTES);
    KB_ByteWriter matrixWriter(matrixBytes.data(), matrixBytes.size());
    ASSERT_TRUE(KU_ByteCursorMath::WriteMatrix(matrixWriter, CountingMatrix()));
    EXPECT_EQ(matrixWriter.GetRemaining(), 0u);
    KB_ByteReader floats(matrixBytes.data(), matrixBytes.size());
    for (int i = 0; i < 16; ++i)
    {
        float value = 0.0f;
        ASSERT_TRUE(floats.ReadF32(&value));
        EXPECT_EQ(value, static_cast<float>(i) + 0.5f) << "float " << i;
    }
}

TEST(KU_ByteCursorMath, ValuesReadBackWithTheirExactBits)
{
    const XMVECTOR vOdd{{-0.0f, NAN, INFINITY, 1e-45f}};
    XMMATRIX mOdd = CountingMatrix();
    mOdd.r[2] = vOdd;
    std::vector<std::uint8_t> buffer(KU_ByteCursorMath::VECTOR_BYTES + KU_ByteCursorMath::MATRIX_BYTES);
    KB_ByteWriter writer(buffer.data(), buffer.size());
    ASSERT_TRUE(KU_ByteCursorMath::WriteVector(writer, vOdd));
    ASSERT_TRUE(KU_ByteCursorMath::WriteMatrix(writer, mOdd));

    KB_ByteReader reader(buffer.data(), buffer.size());
    XMVECTOR vRead{};
    XMMATRIX mRead{};
    ASSERT_TRUE(KU_ByteCursorMath::ReadVector(reader, &vRead));
    ASSERT_TRUE(KU_ByteCursorMath::ReadMatrix(reader, &mRead));
    EXPECT_EQ(reader.GetRemaining(), 0u);
    EXPECT_EQ(std::memcmp(&vRead, &vOdd, sizeof(XMVECTOR)), 0);
    EXPECT_EQ(std::memcmp(&mRead, &mOdd, sizeof(XMMATRIX)), 0);
}

// Every capacity short of a matrix fails, within the buffer, and the failure sticks.
TEST(KU_ByteCursorMath, ShortBuffersFailAndStayFailed)
{
    for (std::uint64_t capacity = 0; capacity < KU_ByteCursorMath::MATRIX_BYTES; ++capacity)
    {
        std::vector<std::uint8_t> buffer(capacity + 1, 0xEE);
        KB_ByteWriter writer(capacity == 0 ? nullptr : buffer.data(), capacity);
        EXPECT_FALSE(KU_ByteCursorMath::WriteMatrix(writer, CountingMatrix())) << capacity;
        EXPECT_EQ(writer.GetWritten(), capacity / 4 * 4) << capacity;
        EXPECT_EQ(buffer[capacity], 0xEE) << capacity;
        EXPECT_FALSE(KU_ByteCursorMath::WriteVector(writer, XMVECTOR{})) << capacity;
        EXPECT_EQ(writer.GetWritten(), capacity / 4 * 4) << capacity;
    }

    std::vector<std::uint8_t> full(KU_ByteCursorMath::MATRIX_BYTES);
    KB_ByteWriter fullWriter(full.data(), full.size());
    ASSERT_TRUE(KU_ByteCursorMath::WriteMatrix(fullWriter, CountingMatrix()));
    for (std::uint64_t size = 0; size < KU_ByteCursorMath::MATRIX_BYTES; ++size)
    {
        std::vector<std::uint8_t> cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(size));
        KB_ByteReader reader(cut.data(), cut.size());
        XMMATRIX mRead = XMMatrixIdentity();
        EXPECT_FALSE(KU_ByteCursorMath::ReadMatrix(reader, &mRead)) << size;
        const std::uint64_t uiWhole = size / 4;
        for (std::uint64_t i = 0; i < 16; ++i)
        {
            const float fExpected = i < uiWhole ? static_cast<float>(i) + 0.5f : (i % 5 == 0 ? 1.0f : 0.0f);
            EXPECT_EQ(mRead.r[i / 4].f[i % 4], fExpected) << size << " float " << i;
        }
        XMVECTOR vRead{};
        EXPECT_FALSE(KU_ByteCursorMath::ReadVector(reader, &vRead)) << size;
    }
}

} // namespace
