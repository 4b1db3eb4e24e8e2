#include "framework/threads/KT_Thread.h"

#include "platform/win32/Win32SystemControl.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace
{

struct Probe
{
    std::atomic<bool> bRelease{false};
    std::atomic<bool> bWasCurrent{false};
    KT_Thread* pThread = nullptr;
};

DWORD ProbeRoutine(LPVOID pParameter)
{
    auto* pProbe = static_cast<Probe*>(pParameter);
    while (!pProbe->bRelease.load())
        std::this_thread::yield();
    pProbe->bWasCurrent = pProbe->pThread->IsCurrentThread();
    return 0;
}

TEST(KT_Thread, StartJoinAndTerminate)
{
    const std::size_t uiHandles = Win32SystemControl::GetOpenHandleCount();
    Probe probe;
    KT_Thread thread;
    probe.pThread = &thread;
    EXPECT_FALSE(thread.Join()) << "no thread yet";
    ASSERT_TRUE(thread.Start(&ProbeRoutine, &probe));
    EXPECT_FALSE(thread.IsCurrentThread());
    probe.bRelease = true;
    EXPECT_TRUE(thread.Join());
    EXPECT_TRUE(probe.bWasCurrent.load());
    EXPECT_EQ(thread.GetHandle(), nullptr);

    // A running thread cannot be ended here: Terminate reports it and lets it go on alone.
    Probe detached;
    KT_Thread other;
    detached.pThread = &other;
    ASSERT_TRUE(other.Start(&ProbeRoutine, &detached));
    const unsigned uiRunning = Win32SystemControl::GetRunningThreadCount();
    EXPECT_FALSE(other.Terminate());
    EXPECT_EQ(other.GetHandle(), nullptr);
    detached.bRelease = true;
    while (Win32SystemControl::GetRunningThreadCount() == uiRunning)
        std::this_thread::yield();
    EXPECT_EQ(Win32SystemControl::GetOpenHandleCount(), uiHandles);

    ASSERT_TRUE(Win32SystemControl::FailNext("CreateThread"));
    EXPECT_FALSE(other.Start(&ProbeRoutine, &detached));
    EXPECT_FALSE(other.Terminate());
    Win32SystemControl::Reset();
}

} // namespace
