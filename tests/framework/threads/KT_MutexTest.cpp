#include "framework/threads/KT_Mutex.h"
#include "framework/threads/KT_AutoLock.h"

#include "platform/win32/Win32SystemControl.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace
{

TEST(KT_Mutex, IsRecursiveOnTheSameThread)
{
    KT_Mutex mutex;
    {
        KT_AutoLock outer(&mutex);
        KT_AutoLock inner(&mutex); // must not deadlock
        EXPECT_TRUE(mutex.Lock());
        EXPECT_TRUE(mutex.Unlock());
    }
    EXPECT_FALSE(mutex.Unlock()) << "every hold was given back";
}

TEST(KT_Mutex, ExcludesOtherThreadsUntilFullyReleased)
{
    KT_Mutex mutex;
    std::atomic<bool> bOtherHolds{false};
    mutex.Lock();
    mutex.Lock();
    std::thread other(
        [&]
        {
            KT_AutoLock lock(&mutex);
            bOtherHolds = true;
        });
    mutex.Unlock();
    // Still held once: the other thread cannot have it yet.
    for (int i = 0; i < 1000; ++i)
        std::this_thread::yield();
    EXPECT_FALSE(bOtherHolds.load());
    mutex.Unlock();
    other.join();
    EXPECT_TRUE(bOtherHolds.load());
}

TEST(KT_AutoLock, SerialisesUpdatesFromManyThreads)
{
    KT_Mutex mutex;
    long iCounter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
    {
        threads.emplace_back(
            [&]
            {
                for (int i = 0; i < 2000; ++i)
                {
                    KT_AutoLock lock(&mutex);
                    KT_AutoLock again(&mutex);
                    ++iCounter;
                }
            });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(iCounter, 8000);
}

TEST(KT_AutoLock, NullAndFailedMutexesHoldNothing)
{
    const std::size_t uiHandles = Win32SystemControl::GetOpenHandleCount();
    {
        KT_AutoLock none(nullptr);
        ASSERT_TRUE(Win32SystemControl::FailNext("CreateMutexA"));
        KT_Mutex broken;
        EXPECT_FALSE(broken.Lock());
        EXPECT_FALSE(broken.Unlock());
        KT_AutoLock lock(&broken);
    }
    {
        KT_Mutex mutex;
        EXPECT_EQ(Win32SystemControl::GetOpenHandleCount(), uiHandles + 1);
    }
    EXPECT_EQ(Win32SystemControl::GetOpenHandleCount(), uiHandles) << "the mutex closes its handle";
    Win32SystemControl::Reset();
}

} // namespace
