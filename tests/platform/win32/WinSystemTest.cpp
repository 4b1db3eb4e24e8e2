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
