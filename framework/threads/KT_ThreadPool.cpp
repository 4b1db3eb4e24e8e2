#include "framework/threads/KT_ThreadPool.h"

#include "framework/threads/KT_Thread.h"

#include <thread>

std::atomic<HANDLE> KT_ThreadPool::s_pPort{INVALID_HANDLE_VALUE};
KB_GrowingArray<KT_Thread*> KT_ThreadPool::s_gThreads(0);

namespace
{

// Posts under way. Stop takes the port away first and then waits for this to reach 0 before
// its last drain, so no packet (and the reference it holds) is posted to a port after it; a
// post that starts later finds no port. A count instead of a lock keeps posters from queuing
// behind each other.
alignas(64) std::atomic<std::uint32_t> s_uiPostsUnderWay{0};

// Takes every packet off the port without running it, giving back the references held by the
// job packets (stop packets hold none).
void DrainPort(HANDLE pPort)
{
    DWORD uiBytes = 0;
    ULONG_PTR uiKey = 0;
    LPOVERLAPPED pOverlapped = nullptr;
    while (GetQueuedCompletionStatus(pPort, &uiBytes, &uiKey, &pOverlapped, 0))
        if (uiKey != 0)
            reinterpret_cast<KT_FutureBase::KT_FutureBaseData*>(uiKey)->RemoveReference();
}

} // namespace

void KT_ThreadPool::Start(std::uint32_t uiThreadCount)
{
    Stop();
    if (uiThreadCount == 0)
        return;
    HANDLE pPort = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, uiThreadCount);
    if (pPort == nullptr)
        return;
    s_pPort.store(pPort);
    for (std::uint32_t i = 0; i < uiThreadCount; ++i)
    {
        KT_Thread* pThread = new KT_Thread;
        pThread->Start(&KT_ThreadPool::WorkerThreadProc, pPort);
        s_gThreads.Add(pThread);
    }
}

void KT_ThreadPool::Stop()
{
    const HANDLE pPort = s_pPort.load();
    if (pPort != INVALID_HANDLE_VALUE)
        for (std::uint32_t i = 0; i < s_gThreads.GetNumMembers(); ++i)
            PostQueuedCompletionStatus(pPort, 0, 0, nullptr);
    for (std::uint32_t i = 0; i < s_gThreads.GetNumMembers(); ++i)
    {
        KT_Thread* pThread = s_gThreads[i];
        if (pThread->IsCurrentThread())
            pThread->Close(); // a worker stopping the pool ends when its job returns
        else
            pThread->Join();
    }
    s_gThreads.DeleteAll();

    const HANDLE pClosed = s_pPort.exchange(INVALID_HANDLE_VALUE);
    if (pClosed != INVALID_HANDLE_VALUE)
    {
        while (s_uiPostsUnderWay.load() != 0)
            std::this_thread::yield();
        DrainPort(pClosed);
        CloseHandle(pClosed);
    }
}

void KT_ThreadPool::DrainAndStop()
{
    const HANDLE pPort = s_pPort.load();
    if (pPort != INVALID_HANDLE_VALUE)
        DrainPort(pPort);
    Stop();
}

void KT_ThreadPool::Kill()
{
    for (std::uint32_t i = 0; i < s_gThreads.GetNumMembers(); ++i)
        s_gThreads[i]->Terminate();
    s_gThreads.DeleteAll();
}

DWORD KT_ThreadPool::WorkerThreadProc(LPVOID pParameter)
{
    const HANDLE pPort = static_cast<HANDLE>(pParameter);
    for (;;)
    {
        DWORD uiBytes = 0;
        ULONG_PTR uiKey = 0;
        LPOVERLAPPED pOverlapped = nullptr;
        if (!GetQueuedCompletionStatus(pPort, &uiBytes, &uiKey, &pOverlapped, INFINITE) || uiKey == 0)
            return 0;
        auto* pData = reinterpret_cast<KT_FutureBase::KT_FutureBaseData*>(uiKey);
        pData->Run(); // does nothing when a waiter has claimed the job first
        pData->RemoveReference();
    }
}

bool KT_ThreadPool::PostJob(KT_FutureBase::KT_FutureBaseData* pData)
{
    if (pData == nullptr)
        return false;
    // Both sequentially consistent, against the exchange and the load in Stop: either Stop sees
    // this post under way or this post sees the port gone.
    s_uiPostsUnderWay.fetch_add(1);
    const HANDLE pPort = s_pPort.load();
    bool bPosted = false;
    if (pPort != INVALID_HANDLE_VALUE)
    {
        pData->AddReference();
        bPosted = PostQueuedCompletionStatus(pPort, 0, reinterpret_cast<ULONG_PTR>(pData), nullptr) != FALSE;
        if (!bPosted)
            pData->RemoveReference();
    }
    s_uiPostsUnderWay.fetch_sub(1);
    return bPosted;
}

std::uint32_t KT_ThreadPool::GetDefaultThreadCount()
{
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    const std::uint32_t uiProcessors = info.dwNumberOfProcessors < 2 ? 2 : info.dwNumberOfProcessors;
    return uiProcessors - 1;
}

std::uint32_t KT_ThreadPool::GetNumThreads()
{
    return s_gThreads.GetNumMembers();
}

bool KT_ThreadPool::IsRunning()
{
    return s_pPort.load() != INVALID_HANDLE_VALUE;
}
