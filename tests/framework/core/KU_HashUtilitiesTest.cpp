#include "framework/core/KU_HashUtilities.h"
#include "framework/core/KU_MathUtilities.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{

const std::uint8_t* Bytes(const char* pText)
{
    return reinterpret_cast<const std::uint8_t*>(pText);
}

TEST(KU_HashUtilities, StartFromThePrimeNotTheOffsetBasis)
{
    EXPECT_EQ(KU_HashUtilities::HashFNV1a32(Bytes(""), 0), 16777619u);
    EXPECT_EQ(KU_HashUtilities::HashFNV1a32(nullptr, 0), 16777619u);
    EXPECT_EQ(KU_HashUtilities::HashFNV1a64(Bytes(""), 0), 0x100000001b3ull);

    std::uint32_t uiExpected32 = 16777619u;
    std::uint64_t uiExpected64 = 0x100000001b3ull;
    for (const char c : {'a', 'b', 'c'})
    {
        uiExpected32 = (uiExpected32 ^ static_cast<std::uint8_t>(c)) * 16777619u;
        uiExpected64 = (uiExpected64 ^ static_cast<std::uint8_t>(c)) * 0x100000001b3ull;
    }
    EXPECT_EQ(KU_HashUtilities::HashFNV1a32(Bytes("abc"), 3), uiExpected32);
    EXPECT_EQ(KU_HashUtilities::HashFNV1a64(Bytes("abc"), 3), uiExpected64);
    // Worked by hand: (16777619 ^ 97) * 16777619 mod 2^32.
    EXPECT_EQ(KU_HashUtilities::HashFNV1a32(Bytes("a"), 1), 0x85030FF6u);
}

TEST(KU_HashUtilities, HighBytesAreUnsigned)
{
    const std::uint8_t high[] = {0xFF, 0x80};
    std::uint32_t uiExpected = 16777619u;
    uiExpected = (uiExpected ^ 0xFFu) * 16777619u;
    uiExpected = (uiExpected ^ 0x80u) * 16777619u;
    EXPECT_EQ(KU_HashUtilities::HashFNV1a32(high, 2), uiExpected);
    EXPECT_NE(KU_HashUtilities::HashFNV1a64(high, 2), KU_HashUtilities::HashFNV1a64(high, 1));
}

TEST(Log2OfPow2, GivesTheExponent)
{
    for (std::uint32_t i = 0; i < 32; ++i)
        EXPECT_EQ(Log2OfPow2(1u << i), i);
    static_assert(Log2OfPow2(256) == 8);
    EXPECT_EQ(Log2OfPow2(0), 0u);
}

} // namespace
