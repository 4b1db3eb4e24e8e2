#include "platform/win32/Win32SystemControl.h"
#include "platform/win32/Windows.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <atomic>
#include <thread>
#include <vector>

namespace
{

class WinSystem : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Win32SystemControl::Reset();
        m_uiHandlesBefore = Win32SystemControl::GetOpenHandleCount();
    }
    void TearDown() override
    {
        Win32SystemControl::Reset();
        EXPECT_EQ(Win32SystemControl::GetOpenHandleCount(), m_uiHandlesBefore) << "a handle was left open";
    }

    std::size_t m_uiHandlesBefore = 0;
};

ULONG_PTR TakeKey(HANDLE hPort, DWORD uiMilliseconds, BOOL* pOk)
{
    DWORD uiBytes = 0;
    ULONG_PTR uiKey = 0;
    OVERLAPPED dummy{};
    LPOVERLAPPED pOverlapped = &dummy;
    *pOk = GetQueuedCompletionStatus(hPort, &uiBytes, &uiKey, &pOverlapped, uiMilliseconds);
    EXPECT_TRUE(*pOk || pOverlapped == nullptr);
    return uiKey;
}

TEST_F(WinSystem, PortHandsOutPacketsInPostingOrderAndTimesOut)
{
    HANDLE hPort = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 2);
    ASSERT_NE(hPort, nullptr);
    OVERLAPPED overlapped{};
    ASSERT_TRUE(PostQueuedCompletionStatus(hPort, 7, 11, &overlapped));
    ASSERT_TRUE(PostQueuedCompletionStatus(hPort, 0, 22, nullptr));

    DWORD uiBytes = 0;
    ULONG_PTR uiKey = 0;
    LPOVERLAPPED pOverlapped = nullptr;
    ASSERT_TRUE(GetQueuedCompletionStatus(hPort, &uiBytes, &uiKey, &pOverlapped, 0));
    EXPECT_EQ(uiBytes, 7u);
    EXPECT_EQ(uiKey, 11u);
    EXPECT_EQ(pOverlapped, &overlapped);
    BOOL bOk = FALSE;
    EXPECT_EQ(TakeKey(hPort, INFINITE, &bOk), 22u);
    EXPECT_TRUE(bOk);
    TakeKey(hPort, 0, &bOk);
    EXPECT_FALSE(bOk);
    TakeKey(hPort, 5, &bOk);
    EXPECT_FALSE(bOk);
    EXPECT_TRUE(CloseHandle(hPort));
}

TEST_F(WinSystem, ClosingPortWakesWaitersAndRefusesPosts)
{
    HANDLE hPort = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
    ASSERT_NE(hPort, nullptr);
    std::atomic<int> iWoken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
    {
        waiters.emplace_back(
            [&]
            {
                BOOL bOk = TRUE;
                TakeKey(hPort, INFINITE, &bOk);
                if (!bOk)
                    ++iWoken;
            });
    }
    while (Win32SystemControl::GetCallCount("GetQueuedCompletionStatus") < 3)
        std::this_thread::yield();
    EXPECT_TRUE(CloseHandle(hPort));
    for (std::thread& waiter : waiters)
        waiter.join();
    EXPECT_EQ(iWoken.load(), 3);
    EXPECT_FALSE(PostQueuedCompletionStatus(hPort, 0, 1, nullptr));
    EXPECT_FALSE(CloseHandle(hPort));
}

TEST_F(WinSystem, OnlyNewUnboundPortsAreSupported)
{
    EXPECT_EQ(CreateIoCompletionPort(nullptr, nullptr, 0, 1), nullptr);
    HANDLE hPort = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
    EXPECT_EQ(CreateIoCompletionPort(INVALID_HANDLE_VALUE, hPort, 0, 1), nullptr);
    EXPECT_EQ(WaitForSingleObject(hPort, 0), WAIT_FAILED);
    CloseHandle(hPort);
}

// Packets cross many internal chunk boundaries, with the queue emptied and refilled in between,
// and leave in posting order with their bytes, keys and overlapped pointers intact.
TEST_F(WinSystem, PortKeepsOrderAndFieldsAcrossGrowthAndReuse)
{
    HANDLE hPort = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
    ASSERT_NE(hPort, nullptr);
    std::vector<OVERLAPPED> overlapped(1500);
    std::size_t uiPosted = 0;
    std::size_t uiTaken = 0;
    bool bInOrder = true;
    const auto post = [&](std::size_t uiCount)
    {
        for (std::size_t i = 0; i < uiCount; ++i, ++uiPosted)
            ASSERT_TRUE(PostQueuedCompletionStatus(hPort, static_cast<DWORD>(uiPosted), uiPosted + 1,
                                                   &overlapped[uiPosted]));
    };
    const auto take = [&](std::size_t uiCount)
    {
        for (std::size_t i = 0; i < uiCount; ++i, ++uiTaken)
        {
            DWORD uiBytes = 0;
            ULONG_PTR uiKey = 0;
            LPOVERLAPPED pOverlapped = nullptr;
            ASSERT_TRUE(
                GetQueuedCompletionStatus(hPort, &uiBytes, &uiKey, &pOverlapped, i % 2 == 0 ? 0 : INFINITE));
            bInOrder =
                bInOrder && uiBytes == uiTaken && uiKey == uiTaken + 1 && pOverlapped == &overlapped[uiTaken];
        }
    };
    post(300);
    take(200);
    post(700);
    take(800);
    post(500);
    take(250);
    take(250);
    EXPECT_TRUE(bInOrder);
    BOOL bOk = TRUE;
    TakeKey(hPort, 0, &bOk);
    EXPECT_FALSE(bOk) << "every packet was taken once";
    EXPECT_TRUE(CloseHandle(hPort));
}

// Closing drops a queue of several chunks; nothing more comes out of the handle.
TEST_F(WinSystem, ClosingPortDropsQueuedPackets)
{
    HANDLE hPort = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
    ASSERT_NE(hPort, nullptr);
    for (ULONG_PTR i = 1; i <= 1000; ++i)
        ASSERT_TRUE(PostQueuedCompletionStatus(hPort, 0, i, nullptr));
    EXPECT_TRUE(CloseHandle(hPort));
    BOOL bOk = TRUE;
    TakeKey(hPort, 0, &bOk);
    EXPECT_FALSE(bOk);
    TakeKey(hPort, 1, &bOk);
    EXPECT_FALSE(bOk);
}

// Several posters and takers at once (takers waiting without limit and with short time-outs):
// every packet is taken exactly once, and each taker sees any one poster's packets in the order
// they were posted.
TEST_F(WinSystem, PortDeliversEveryPacketOnceToManyTakersInOrder)
{
    constexpr int POSTERS = 4;
    constexpr int TAKERS = 4;
    constexpr ULONG_PTR PER_POSTER = 5000;
    HANDLE hPort = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, TAKERS);
    ASSERT_NE(hPort, nullptr);
    std::vector<std::atomic<int>> takes(POSTERS * PER_POSTER);
    std::atomic<bool> bOrderBroken{false};
    std::atomic<bool> bFieldsBroken{false};
    std::vector<std::thread> takers;
    for (int t = 0; t < TAKERS; ++t)
    {
        takers.emplace_back(
            [&, t]
            {
                std::vector<ULONG_PTR> lastSeen(POSTERS, 0);
                for (;;)
                {
                    DWORD uiBytes = 0;
                    ULONG_PTR uiKey = 0;
                    LPOVERLAPPED pOverlapped = nullptr;
                    if (!GetQueuedCompletionStatus(hPort, &uiBytes, &uiKey, &pOverlapped,
                                                   t % 2 == 0 ? INFINITE : 1))
                        continue; // a time-out; ask again
                    if (uiKey == 0)
                        return; // one end packet per taker
                    const ULONG_PTR uiPoster = (uiKey - 1) / PER_POSTER;
                    const ULONG_PTR uiNumber = (uiKey - 1) % PER_POSTER + 1;
                    if (uiBytes != uiNumber || pOverlapped != reinterpret_cast<LPOVERLAPPED>(uiKey * 8))
                        bFieldsBroken = true;
                    if (uiNumber <= lastSeen[uiPoster])
                        bOrderBroken = true;
                    lastSeen[uiPoster] = uiNumber;
                    ++takes[uiKey - 1];
                }
            });
    }
    std::vector<std::thread> posters;
    for (int p = 0; p < POSTERS; ++p)
    {
        posters.emplace_back(
            [&, p]
            {
                for (ULONG_PTR i = 1; i <= PER_POSTER; ++i)
                {
                    const ULONG_PTR uiKey = p * PER_POSTER + i;
                    if (!PostQueuedCompletionStatus(hPort, static_cast<DWORD>(i), uiKey,
                                                    reinterpret_cast<LPOVERLAPPED>(uiKey * 8)))
                        bFieldsBroken = true;
                    if (i % 512 == 0)
                        std::this_thread::yield(); // lets takers empty the port and go to sleep
                }
            });
    }
    for (std::thread& poster : posters)
        poster.join();
    for (int t = 0; t < TAKERS; ++t)
        ASSERT_TRUE(PostQueuedCompletionStatus(hPort, 0, 0, nullptr));
    for (std::thread& taker : takers)
        taker.join();
    EXPECT_FALSE(bFieldsBroken.load());
    EXPECT_FALSE(bOrderBroken.load());
    for (std::size_t i = 0; i < takes.size(); ++i)
        ASSERT_EQ(takes[i].load(), 1) << "packet " << i + 1;
    EXPECT_TRUE(CloseHandle(hPort));
}

// Takers asleep on an empty port, then a burst of one packet each: every taker gets one, round
// after round (a wake-up lost in a burst leaves a taker asleep for good).
TEST_F(WinSystem, BurstOfPostsWakesEverySleepingTaker)
{
    constexpr int TAKERS = 4;
    constexpr int ROUNDS = 40;
    HANDLE hPort = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, TAKERS);
    ASSERT_NE(hPort, nullptr);
    std::atomic<int> iTaken{0};
    for (int r = 0; r < ROUNDS; ++r)
    {
        const unsigned uiCallsBefore = Win32SystemControl::GetCallCount("GetQueuedCompletionStatus");
        std::vector<std::thread> takers;
        for (int t = 0; t < TAKERS; ++t)
        {
            takers.emplace_back(
                [&]
                {
                    BOOL bOk = FALSE;
                    TakeKey(hPort, INFINITE, &bOk);
                    if (bOk)
                        ++iTaken;
                });
        }
        while (Win32SystemControl::GetCallCount("GetQueuedCompletionStatus") < uiCallsBefore + TAKERS)
            std::this_thread::yield();
        for (int i = 0; i < 2000 * (r % 4); ++i)
            std::this_thread::yield(); // some rounds find the takers spinning, some asleep
        for (int t = 0; t < TAKERS; ++t)
            ASSERT_TRUE(PostQueuedCompletionStatus(hPort, 0, 1, nullptr));
        for (std::thread& taker : takers)
            taker.join();
    }
    EXPECT_EQ(iTaken.load(), TAKERS * ROUNDS);
    EXPECT_TRUE(CloseHandle(hPort));
}

// A taker with a time-out is woken by a post well before it, and one that waits out its
// time-out afterwards fails without a packet.
TEST_F(WinSystem, PostWakesTimedTakerBeforeItsTimeOut)
{
    HANDLE hPort = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
    ASSERT_NE(hPort, nullptr);
    BOOL bOk = FALSE;
    ULONG_PTR uiKey = 0;
    std::thread taker([&] { uiKey = TakeKey(hPort, 60000, &bOk); });
    while (Win32SystemControl::GetCallCount("GetQueuedCompletionStatus") < 1)
        std::this_thread::yield();
    ASSERT_TRUE(PostQueuedCompletionStatus(hPort, 0, 5, nullptr));
    taker.join(); // a minute only if the wake-up was lost
    EXPECT_TRUE(bOk);
    EXPECT_EQ(uiKey, 5u);
    TakeKey(hPort, 2, &bOk);
    EXPECT_FALSE(bOk);
    EXPECT_TRUE(CloseHandle(hPort));
}

struct ThreadProbe
{
    std::atomic<bool> bRelease{false};
    std::atomic<DWORD> uiSeenId{0};
    std::atomic<size_t> uiStackBytes{0};
};

DWORD ProbeRoutine(LPVOID pParameter)
{
    auto* pProbe = static_cast<ThreadProbe*>(pParameter);
    pProbe->uiSeenId = GetCurrentThreadId();
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) == 0)
    {
        size_t uiSize = 0;
        pthread_attr_getstacksize(&attr, &uiSize);
        pthread_attr_destroy(&attr);
        pProbe->uiStackBytes = uiSize;
    }
    while (!pProbe->bRelease.load())
        std::this_thread::yield();
    return 0;
}

TEST_F(WinSystem, ThreadRunsWithLargeStackAndSignalsWhenDone)
{
    ThreadProbe probe;
    DWORD uiId = 0;
    HANDLE hThread = CreateThread(nullptr, 16384, &ProbeRoutine, &probe, 0, &uiId);
    ASSERT_NE(hThread, nullptr);
    EXPECT_EQ(WaitForSingleObject(hThread, 0), WAIT_TIMEOUT);
    EXPECT_FALSE(TerminateThread(hThread, 0)) << "a running thread cannot be ended";
    EXPECT_GE(Win32SystemControl::GetRunningThreadCount(), 1u);

    probe.bRelease = true;
    EXPECT_EQ(WaitForSingleObject(hThread, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(hThread, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(TerminateThread(hThread, 0));
    EXPECT_EQ(probe.uiSeenId.load(), uiId);
    EXPECT_NE(uiId, GetCurrentThreadId());
    EXPECT_GE(probe.uiStackBytes.load(), 1024u * 1024u);
    EXPECT_TRUE(CloseHandle(hThread));
    EXPECT_EQ(WaitForSingleObject(hThread, 0), WAIT_FAILED);
}

TEST_F(WinSystem, ClosedThreadHandleLeavesThreadRunning)
{
    ThreadProbe probe;
    HANDLE hThread = CreateThread(nullptr, 0, &ProbeRoutine, &probe, 0, nullptr);
    ASSERT_NE(hThread, nullptr);
    const unsigned uiRunning = Win32SystemControl::GetRunningThreadCount();
    EXPECT_TRUE(CloseHandle(hThread));
    EXPECT_EQ(Win32SystemControl::GetRunningThreadCount(), uiRunning);
    probe.bRelease = true;
    while (Win32SystemControl::GetRunningThreadCount() == uiRunning)
        std::this_thread::yield();
}

TEST_F(WinSystem, MutexIsRecursiveAndOwnedByOneThread)
{
    HANDLE hMutex = CreateMutexA(nullptr, FALSE, nullptr);
    ASSERT_NE(hMutex, nullptr);
    EXPECT_EQ(WaitForSingleObject(hMutex, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(hMutex, INFINITE), WAIT_OBJECT_0);

    auto tryFromOtherThread = [&]
    {
        DWORD uiResult = 0;
        BOOL bReleased = TRUE;
        std::thread other(
            [&]
            {
                bReleased = ReleaseMutex(hMutex);
                uiResult = WaitForSingleObject(hMutex, 0);
                if (uiResult == WAIT_OBJECT_0)
                    ReleaseMutex(hMutex);
            });
        other.join();
        EXPECT_FALSE(bReleased) << "only the owner may release";
        return uiResult;
    };
    EXPECT_TRUE(ReleaseMutex(hMutex));
    EXPECT_EQ(tryFromOtherThread(), WAIT_TIMEOUT) << "still held once";
    EXPECT_TRUE(ReleaseMutex(hMutex));
    EXPECT_FALSE(ReleaseMutex(hMutex));
    EXPECT_EQ(tryFromOtherThread(), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(hMutex));

    HANDLE hOwned = CreateMutexA(nullptr, TRUE, nullptr);
    EXPECT_TRUE(ReleaseMutex(hOwned));
    EXPECT_FALSE(ReleaseMutex(hOwned));
    CloseHandle(hOwned);
    EXPECT_EQ(CreateMutexA(nullptr, FALSE, "named"), nullptr);
}

TEST_F(WinSystem, SemaphoreCountsBetweenZeroAndMaximum)
{
    EXPECT_EQ(CreateSemaphoreA(nullptr, 2, 1, nullptr), nullptr);
    EXPECT_EQ(CreateSemaphoreA(nullptr, 0, 0, nullptr), nullptr);
    EXPECT_EQ(CreateSemaphoreA(nullptr, -1, 1, nullptr), nullptr);

    HANDLE hSemaphore = CreateSemaphoreA(nullptr, 0, 2, nullptr);
    ASSERT_NE(hSemaphore, nullptr);
    EXPECT_EQ(WaitForSingleObject(hSemaphore, 0), WAIT_TIMEOUT);
    LONG iPrevious = -1;
    EXPECT_TRUE(ReleaseSemaphore(hSemaphore, 1, &iPrevious));
    EXPECT_EQ(iPrevious, 0);
    EXPECT_FALSE(ReleaseSemaphore(hSemaphore, 2, &iPrevious)) << "would exceed the maximum";
    EXPECT_FALSE(ReleaseSemaphore(hSemaphore, 0, nullptr));
    EXPECT_TRUE(ReleaseSemaphore(hSemaphore, 1, &iPrevious));
    EXPECT_EQ(iPrevious, 1);
    EXPECT_EQ(WaitForSingleObject(hSemaphore, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(hSemaphore, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(hSemaphore, 0), WAIT_TIMEOUT);

    std::thread releaser([&] { ReleaseSemaphore(hSemaphore, 1, nullptr); });
    EXPECT_EQ(WaitForSingleObject(hSemaphore, INFINITE), WAIT_OBJECT_0);
    releaser.join();
    CloseHandle(hSemaphore);
}

TEST_F(WinSystem, ControlsOverrideProcessorsFailCallsAndSkipSleep)
{
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    EXPECT_GE(info.dwNumberOfProcessors, 1u);
    Win32SystemControl::SetProcessorCount(6);
    GetSystemInfo(&info);
    EXPECT_EQ(info.dwNumberOfProcessors, 6u);
    EXPECT_EQ(info.dwActiveProcessorMask, 0x3Fu);

    EXPECT_FALSE(Win32SystemControl::FailNext("Sleep"));
    EXPECT_FALSE(Win32SystemControl::FailNext("NoSuchCall"));
    ASSERT_TRUE(Win32SystemControl::FailNext("CreateMutexA"));
    EXPECT_EQ(CreateMutexA(nullptr, FALSE, nullptr), nullptr);
    HANDLE hMutex = CreateMutexA(nullptr, FALSE, nullptr);
    EXPECT_NE(hMutex, nullptr) << "only the next call fails";
    CloseHandle(hMutex);
    ASSERT_TRUE(Win32SystemControl::FailNext("CreateThread"));
    EXPECT_EQ(CreateThread(nullptr, 0, &ProbeRoutine, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(Win32SystemControl::GetCallCount("CreateMutexA"), 2u);

    Win32SystemControl::SetSleepSkipped(true);
    Sleep(10000);
    Sleep(10);
    EXPECT_EQ(Win32SystemControl::GetSleptMilliseconds(), 10010u);
    EXPECT_EQ(Win32SystemControl::GetCallCount("Sleep"), 2u);

    Win32SystemControl::Reset();
    GetSystemInfo(&info);
    EXPECT_NE(info.dwNumberOfProcessors, 0u);
    EXPECT_EQ(Win32SystemControl::GetCallCount("Sleep"), 0u);
}

} // namespace
