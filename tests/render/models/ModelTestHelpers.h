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

// The whole record of anything with the (cursor, capacity, running total) Serialize; with
// bCheckShorter also checks that every smaller capacity fails and moves neither the cursor nor the
// total.
template <typename T>
std::vector<std::uint8_t> Serialize(const T& object, bool bCheckShorter = true)
{
    std::vector<std::uint8_t> bytes(1 << 20);
    std::uint8_t* pCursor = bytes.data();
    std::uint64_t uiWritten = 0;
    EXPECT_TRUE(object.Serialize(&pCursor, bytes.size(), &uiWritten));
    EXPECT_EQ(pCursor, bytes.data() + uiWritten);
    bytes.resize(uiWritten);
    for (std::uint64_t uiCapacity = 0; bCheckShorter && uiCapacity < uiWritten; ++uiCapacity)
    {
        std::uint8_t* pShort = bytes.data();
        std::uint64_t uiShort = 0;
        EXPECT_FALSE(object.Serialize(&pShort, uiCapacity, &uiShort)) << "capacity " << uiCapacity;
        EXPECT_TRUE(pShort == bytes.data() && uiShort == 0);
    }
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

inline ::testing::AssertionResult MatrixNear(const DirectX::XMMATRIX& actual,
                                             const DirectX::XMMATRIX& expected, float tolerance = 0.0f)
{
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            if (!(std::fabs(actual(row, column) - expected(row, column)) <= tolerance))
                return ::testing::AssertionFailure()
                       << "element (" << row << ", " << column << "): got " << actual(row, column)
                       << ", expected " << expected(row, column);
    return ::testing::AssertionSuccess();
}

} // namespace modeltest
