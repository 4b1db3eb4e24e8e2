#include "framework/files/KF_Zipper.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace
{

std::vector<std::uint8_t> MakeData(std::size_t size, bool bCompressible)
{
    std::vector<std::uint8_t> data(size);
    std::mt19937 random(static_cast<std::uint32_t>(size));
    for (std::size_t i = 0; i < size; ++i)
    {
        data[i] = bCompressible ? static_cast<std::uint8_t>("moorglow "[i % 9])
                                : static_cast<std::uint8_t>(random());
    }
    return data;
}

std::vector<std::uint8_t> CompressToVector(const std::vector<std::uint8_t>& source)
{
    std::uint8_t* pData = nullptr;
    std::uint64_t uiSize = 0;
    EXPECT_TRUE(KF_Zipper::Compress(source.data(), source.size(), &pData, &uiSize));
    std::vector<std::uint8_t> result(pData, pData + uiSize);
    delete[] pData;
    return result;
}

// Decompresses and frees; true when the result equals expected.
bool DecompressEquals(const std::vector<std::uint8_t>& stored, const std::vector<std::uint8_t>& expected)
{
    std::uint8_t* pData = nullptr;
    std::uint64_t uiSize = 0;
    if (!KF_Zipper::Decompress(stored.data(), &pData, &uiSize, stored.size()))
        return false;
    const bool bEqual = uiSize == expected.size() && pData[uiSize] == 0 &&
                        (uiSize == 0 || std::memcmp(pData, expected.data(), uiSize) == 0);
    delete[] pData;
    return bEqual;
}

bool DecompressFails(const std::vector<std::uint8_t>& stored, std::uint64_t uiStoredSize)
{
    std::uint8_t* pData = reinterpret_cast<std::uint8_t*>(&uiStoredSize); // must come back null
    std::uint64_t uiSize = 0;
    const bool bResult = KF_Zipper::Decompress(stored.data(), &pData, &uiSize, uiStoredSize);
    return !bResult && pData == nullptr;
}

} // namespace

TEST(KF_Zipper, RoundTripsSizesFromEmptyToLarge)
{
    for (const std::size_t size : {0u, 1u, 4u, 1000u, 0x40000u, 0x40001u, 3000000u})
    {
        for (const bool bCompressible : {true, false})
        {
            const std::vector<std::uint8_t> source = MakeData(size, bCompressible);
            const std::vector<std::uint8_t> stored = CompressToVector(source);
            ASSERT_GT(stored.size(), KF_Zipper::PREFIX_SIZE);
            const std::uint32_t uiPrefix = static_cast<std::uint32_t>(stored[0]) | (stored[1] << 8) |
                                           (stored[2] << 16) | (static_cast<std::uint32_t>(stored[3]) << 24);
            EXPECT_EQ(uiPrefix, size);
            EXPECT_TRUE(DecompressEquals(stored, source)) << size << " compressible " << bCompressible;
            if (!bCompressible || size < 1000)
                continue;
            EXPECT_LT(stored.size(), size / 10);
        }
    }
}

TEST(KF_Zipper, CompressRejectsInputsTheSizePrefixCannotHold)
{
    const std::uint8_t byte = 0;
    std::uint8_t* pData = nullptr;
    std::uint64_t uiSize = 7;
    EXPECT_FALSE(KF_Zipper::Compress(&byte, 0x100000000ull, &pData, &uiSize));
    EXPECT_EQ(pData, nullptr);
    EXPECT_EQ(uiSize, 0u);
    EXPECT_FALSE(KF_Zipper::Compress(nullptr, 1, &pData, &uiSize));
}

TEST(KF_Zipper, DecompressRejectsEveryTruncationAndTrailingBytes)
{
    const std::vector<std::uint8_t> source = MakeData(5000, false);
    std::vector<std::uint8_t> stored = CompressToVector(source);
    for (std::uint64_t uiLength = 0; uiLength < stored.size(); ++uiLength)
        EXPECT_TRUE(DecompressFails(stored, uiLength)) << uiLength;
    stored.push_back(0);
    EXPECT_TRUE(DecompressFails(stored, stored.size()));
}

TEST(KF_Zipper, DecompressRejectsAnAnnouncedSizeOtherThanTheStreams)
{
    const std::vector<std::uint8_t> source = MakeData(100, true);
    const std::vector<std::uint8_t> stored = CompressToVector(source);
    for (const std::uint32_t uiAnnounced : {0u, 99u, 101u, 5000u, 0xFFFFFFFFu})
    {
        std::vector<std::uint8_t> damaged = stored;
        std::memcpy(damaged.data(), &uiAnnounced, 4);
        EXPECT_TRUE(DecompressFails(damaged, damaged.size())) << uiAnnounced;
    }
}

TEST(KF_Zipper, DecompressRejectsDamagedStreamsAndBoundsTheAnnouncedSize)
{
    std::vector<std::uint8_t> garbage(64, 0xAB);
    EXPECT_TRUE(DecompressFails(garbage, garbage.size()));
    EXPECT_TRUE(DecompressFails(garbage, 4));

    // 0xFFFFFFFF announced by a ten-byte stream cannot be true: refused before any allocation.
    EXPECT_EQ(KF_Zipper::GetMaxUncompressedSize(4), 0u);
    EXPECT_LT(KF_Zipper::GetMaxUncompressedSize(14), 0xFFFFFFFFu);
    const std::vector<std::uint8_t> zeros(1 << 20, 0);
    const std::vector<std::uint8_t> stored = CompressToVector(zeros);
    EXPECT_LE(zeros.size(), KF_Zipper::GetMaxUncompressedSize(stored.size()));
}
