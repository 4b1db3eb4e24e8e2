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
