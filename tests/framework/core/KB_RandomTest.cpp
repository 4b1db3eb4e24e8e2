#include "framework/core/KB_Random.h"

#include "framework/core/KB_GrowingArray.h"
#include "platform/crt/CrtControl.h"

#include <gtest/gtest.h>

namespace
{

std::uint32_t StateAfterDraws(int draws)
{
    wincrt::srand(1);
    for (int i = 0; i < draws; ++i)
        wincrt::rand();
    return CrtControl::GetRandState();
}

TEST(KB_Random, DefaultConstructionDrawsAUnitVector)
{
    CrtControl::Reset();
    const KB_Random r;
    EXPECT_FLOAT_EQ(r.x, 41.0f / 32767.0f * 2.0f - 1.0f);
    EXPECT_FLOAT_EQ(r.y, 18467.0f / 32767.0f * 2.0f - 1.0f);
    EXPECT_FLOAT_EQ(r.z, 6334.0f / 32767.0f * 2.0f - 1.0f);
    EXPECT_FLOAT_EQ(r.w, 26500.0f / 32767.0f * 2.0f - 1.0f);
    CrtControl::Reset();
}

TEST(KB_Random, TablesDrawForEveryConstructedSlot)
{
    const std::uint32_t after20 = StateAfterDraws(20);
    const std::uint32_t after64 = StateAfterDraws(64); // 4 + 20 (storage of 5) + 40 (storage of 10)
    CrtControl::Reset();
    {
        KB_GrowingArray<KB_Random> table;
        EXPECT_EQ(CrtControl::GetRandState(), 1u);
        table.ShrinkArrayToInitialCapacity();
        table.GrowArray();
        EXPECT_EQ(CrtControl::GetRandState(), after20);
    }
    CrtControl::Reset();
    KB_GrowingArray<KB_Random> table;
    for (int i = 0; i < 6; ++i)
        if (i == 0)
            table.Add(KB_Random());
        else
            table.Add(table[0]);
    EXPECT_EQ(CrtControl::GetRandState(), after64);
    CrtControl::Reset();
}

} // namespace
