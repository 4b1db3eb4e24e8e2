#include "platform/crt/WinCrt.h"
#include "platform/crt/CrtControl.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

namespace
{

class WinCrt : public ::testing::Test
{
protected:
    void SetUp() override { CrtControl::Reset(); }
    void TearDown() override { CrtControl::Reset(); }
};

TEST_F(WinCrt, RandReproducesTheWindowsSequenceFromSeedOne)
{
    const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};
    for (int value : expected)
        EXPECT_EQ(wincrt::rand(), value);

    wincrt::srand(1);
    EXPECT_EQ(wincrt::rand(), 41);
    wincrt::srand(0);
    EXPECT_EQ(wincrt::rand(), 38); // (2531011 >> 16) & 0x7FFF
}

TEST_F(WinCrt, RandStaysWithinItsRangeOverAFullPeriodSample)
{
    wincrt::srand(12345);
    int lowest = wincrt::WIN_RAND_MAX;
    int highest = 0;
    for (int i = 0; i < 200000; ++i)
    {
        const int value = wincrt::rand();
        lowest = value < lowest ? value : lowest;
        highest = value > highest ? value : highest;
    }
    EXPECT_EQ(lowest, 0);
    EXPECT_EQ(highest, wincrt::WIN_RAND_MAX);
}

TEST_F(WinCrt, EachThreadStartsItsOwnSequenceAtOne)
{
    wincrt::srand(777);
    wincrt::rand();
    std::vector<int> fromThread;
    std::thread worker(
        [&fromThread]
        {
            for (int i = 0; i < 3; ++i)
                fromThread.push_back(wincrt::rand());
        });
    worker.join();
    EXPECT_EQ(fromThread, (std::vector<int>{41, 18467, 6334}));
    EXPECT_NE(CrtControl::GetRandState(), 1u);
}

TEST_F(WinCrt, ClockFollowsTheManualClockThenReturnsToRealTime)
{
    CrtControl::SetClock(5000);
    EXPECT_TRUE(CrtControl::IsClockManual());
    EXPECT_EQ(wincrt::clock(), 5000);
    CrtControl::AdvanceClock(250);
    EXPECT_EQ(wincrt::clock(), 5250);

    long fromThread = 0;
    std::thread worker([&fromThread] { fromThread = wincrt::clock(); });
    worker.join();
    EXPECT_EQ(fromThread, 5250);

    CrtControl::UseRealClock();
    const long first = wincrt::clock();
    EXPECT_GE(first, 0);
    EXPECT_GE(wincrt::clock(), first);
    EXPECT_EQ(wincrt::WIN_CLOCKS_PER_SEC, 1000);
}

TEST_F(WinCrt, CaseInsensitiveCompareLowersAsciiOnly)
{
    EXPECT_EQ(_stricmp("ABC", "abc"), 0);
    EXPECT_LT(_stricmp("abc", "abd"), 0);
    EXPECT_GT(_stricmp("abcd", "ABC"), 0);
    // Both sides are lowered first, so '_' (0x5F) sorts before 'A' ('a', 0x61).
    EXPECT_LT(_stricmp("_", "A"), 0);
    // Bytes above 0x7F compare unsigned and are not case-mapped.
    EXPECT_GT(_stricmp("\xC4", "a"), 0);
    EXPECT_NE(_stricmp("\xC4", "\xE4"), 0);
    EXPECT_EQ(_strnicmp("HelloX", "helloY", 5), 0);
    EXPECT_NE(_strnicmp("HelloX", "helloY", 6), 0);
}

TEST_F(WinCrt, CaseConversionInPlaceChecksTermination)
{
    char text[] = "MiXeD 123 \xC4";
    EXPECT_EQ(_strlwr_s(text, sizeof(text)), 0);
    EXPECT_STREQ(text, "mixed 123 \xC4");
    EXPECT_EQ(_strupr_s(text, sizeof(text)), 0);
    EXPECT_STREQ(text, "MIXED 123 \xC4");

    char unterminated[3] = {'a', 'b', 'c'};
    EXPECT_EQ(_strupr_s(unterminated, sizeof(unterminated)), EINVAL);
    EXPECT_EQ(std::memcmp(unterminated, "abc", 3), 0);
    EXPECT_EQ(_strlwr_s(nullptr, 4), EINVAL);
}

TEST_F(WinCrt, WorkingDirectoryFitsOrFails)
{
    const std::string current = std::filesystem::current_path().string();
    char buffer[260] = {};
    EXPECT_EQ(_getcwd(buffer, sizeof(buffer)), buffer);
    EXPECT_EQ(current, buffer);
    char tooSmall[2] = {};
    EXPECT_EQ(_getcwd(tooSmall, sizeof(tooSmall)), nullptr);
    EXPECT_EQ(_getcwd(nullptr, 260), nullptr);
}

TEST_F(WinCrt, AlignedMallocHonoursTheAlignment)
{
    for (std::size_t alignment : {1u, 8u, 16u, 64u, 4096u})
    {
        void* block = _aligned_malloc(24, alignment);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % alignment, 0u);
        std::memset(block, 0xAB, 24);
        _aligned_free(block);
    }
    EXPECT_EQ(_aligned_malloc(16, 3), nullptr);
    void* empty = _aligned_malloc(0, 16);
    EXPECT_NE(empty, nullptr);
    _aligned_free(empty);
    _aligned_free(nullptr);
}

} // namespace
