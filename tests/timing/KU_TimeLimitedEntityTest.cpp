#include "timing/KU_TimeLimitedEntity.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

TEST(KU_TimeLimitedEntity, ActiveIntervalHasMarginOffBothEnds)
{
    KU_TimeLimitedEntity entity;
    entity.SetStartTime(10.0);
    entity.SetEndTime(20.0);
    EXPECT_FALSE(entity.IsActive(9.9999998));
    EXPECT_TRUE(entity.IsActive(9.9999999));
    EXPECT_TRUE(entity.IsActive(10.0));
    EXPECT_TRUE(entity.IsActive(19.9999998));
    EXPECT_FALSE(entity.IsActive(19.9999999));
    EXPECT_FALSE(entity.IsActive(20.0));
    EXPECT_DOUBLE_EQ(entity.GetDuration(), 10.0);
}

TEST(KU_TimeLimitedEntity, EmptyAndReversedIntervalsAreNeverActive)
{
    KU_TimeLimitedEntity entity;
    EXPECT_EQ(entity.GetStartTime(), 0.0);
    EXPECT_EQ(entity.GetEndTime(), 0.0);
    EXPECT_EQ(entity.GetDuration(), 0.0);
    for (double t : {-1.0, -1e-7, 0.0, 1e-7, 1.0})
        EXPECT_FALSE(entity.IsActive(t)) << t;

    entity.SetStartTime(5.0);
    entity.SetEndTime(3.0);
    EXPECT_EQ(entity.GetDuration(), -2.0);
    for (double t : {2.0, 3.0, 4.0, 5.0, 6.0})
        EXPECT_FALSE(entity.IsActive(t)) << t;
}

TEST(KU_TimeLimitedEntity, ByteFormIsSixteenLittleEndianBytes)
{
    KU_TimeLimitedEntity entity;
    entity.SetStartTime(1.0);
    entity.SetEndTime(-0.1);
    std::uint8_t buffer[24] = {};
    std::uint8_t* pCursor = buffer + 4;
    std::uint64_t uiWritten = 4;
    ASSERT_TRUE(entity.Serialize(&pCursor, sizeof(buffer), &uiWritten));
    EXPECT_EQ(pCursor, buffer + 20);
    EXPECT_EQ(uiWritten, 20u);
    const std::uint8_t one[8] = {0, 0, 0, 0, 0, 0, 0xF0, 0x3F}; // 1.0
    EXPECT_EQ(std::memcmp(buffer + 4, one, 8), 0);

    KU_TimeLimitedEntity copy;
    const std::uint8_t* pRead = buffer + 4;
    ASSERT_TRUE(copy.Deserialize(&pRead, buffer + 20));
    EXPECT_EQ(pRead, buffer + 20);
    const double fEnd = -0.1;
    const double fCopyEnd = copy.GetEndTime();
    EXPECT_EQ(copy.GetStartTime(), 1.0);
    EXPECT_EQ(std::memcmp(&fCopyEnd, &fEnd, sizeof(double)), 0);
}

TEST(KU_TimeLimitedEntity, ByteFormFailsCleanlyWhenShort)
{
    KU_TimeLimitedEntity entity;
    entity.SetStartTime(3.0);
    entity.SetEndTime(4.0);
    std::uint8_t buffer[32] = {};
    for (std::uint64_t uiCapacity : {0u, 15u, 17u})
    {
        std::uint8_t* pCursor = buffer + 2;
        std::uint64_t uiWritten = 2;
        EXPECT_FALSE(entity.Serialize(&pCursor, uiCapacity, &uiWritten)) << uiCapacity;
        EXPECT_EQ(pCursor, buffer + 2);
        EXPECT_EQ(uiWritten, 2u);
    }
    std::uint8_t* pCursor = buffer;
    std::uint64_t uiWritten = 0;
    ASSERT_TRUE(entity.Serialize(&pCursor, 16, &uiWritten));

    KU_TimeLimitedEntity copy;
    copy.SetStartTime(7.0);
    const std::uint8_t* pRead = buffer;
    EXPECT_FALSE(copy.Deserialize(&pRead, buffer + 15));
    EXPECT_EQ(pRead, buffer);
    EXPECT_EQ(copy.GetStartTime(), 7.0);
    EXPECT_EQ(copy.GetEndTime(), 0.0);
}
