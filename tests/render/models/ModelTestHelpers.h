#pragma once
// Shared helpers of the model tests: byte forms written into and read from exact-size buffers,
// and matrix comparisons.

#include "platform/directxmath/DirectXMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace modeltest
{

// The whole record of anything with the (cursor, capacity, running total) Serialize.
template <typename T>
std::vector<std::uint8_t> Serialize(const T& object)
{
    std::vector<std::uint8_t> bytes(1 << 20);
    std::uint8_t* pCursor = bytes.data();
    std::uint64_t uiWritten = 0;
    EXPECT_TRUE(object.Serialize(&pCursor, bytes.size(), &uiWritten));
    EXPECT_EQ(pCursor, bytes.data() + uiWritten);
    bytes.resize(uiWritten);
    return bytes;
}

// Reads the first uiLength bytes from an exact-size heap copy, so AddressSanitizer catches any read
// past them; checks that the cursor moved to the end on success and not at all on failure.
template <typename T>
bool Deserialize(T& object, const std::vector<std::uint8_t>& bytes, std::uint64_t uiLength)
{
    std::unique_ptr<std::uint8_t[]> pCopy(new std::uint8_t[uiLength == 0 ? 1 : uiLength]);
    if (uiLength != 0)
        std::memcpy(pCopy.get(), bytes.data(), uiLength);
    const std::uint8_t* pCursor = pCopy.get();
    const bool bOk = object.Deserialize(&pCursor, pCopy.get() + uiLength);
    EXPECT_EQ(pCursor, bOk ? pCopy.get() + uiLength : pCopy.get());
    return bOk;
}

template <typename T>
bool Deserialize(T& object, const std::vector<std::uint8_t>& bytes)
{
    return Deserialize(object, bytes, bytes.size());
}

// Serialize into every capacity short of the record: each fails and moves neither the cursor nor
// the running total; the exact capacity succeeds.
template <typename T>
void ExpectSerializeNeedsExactly(const T& object, std::uint64_t uiSize)
{
    std::vector<std::uint8_t> bytes(uiSize + 8);
    for (std::uint64_t uiCapacity = 0; uiCapacity < uiSize; ++uiCapacity)
    {
        std::uint8_t* pCursor = bytes.data();
        std::uint64_t uiWritten = 0;
        EXPECT_FALSE(object.Serialize(&pCursor, uiCapacity, &uiWritten)) << "capacity " << uiCapacity;
        EXPECT_EQ(bytes.data(), pCursor);
        EXPECT_EQ(0u, uiWritten);
    }
    // A running total already at the capacity leaves no room at all.
    std::uint8_t* pCursor = bytes.data();
    std::uint64_t uiWritten = 5;
    EXPECT_FALSE(object.Serialize(&pCursor, uiSize + 4, &uiWritten));
    EXPECT_EQ(5u, uiWritten);
    uiWritten = 0;
    EXPECT_TRUE(object.Serialize(&pCursor, uiSize, &uiWritten));
    EXPECT_EQ(uiSize, uiWritten);
    EXPECT_EQ(bytes.data() + uiSize, pCursor);
}

inline ::testing::AssertionResult MatrixNear(const DirectX::XMMATRIX& actual,
                                             const DirectX::XMMATRIX& expected, float tolerance)
{
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            if (!(std::fabs(actual(row, column) - expected(row, column)) <= tolerance))
            {
                ::testing::AssertionResult result = ::testing::AssertionFailure();
                result << "element (" << row << ", " << column << "): got " << actual(row, column)
                       << ", expected " << expected(row, column) << "\nactual:";
                for (int r = 0; r < 4; ++r)
                    result << "\n  " << actual(r, 0) << " " << actual(r, 1) << " " << actual(r, 2) << " "
                           << actual(r, 3);
                return result;
            }
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult MatrixEq(const DirectX::XMMATRIX& actual, const DirectX::XMMATRIX& expected)
{
    return MatrixNear(actual, expected, 0.0f);
}

} // namespace modeltest
