#pragma once
// The process-wide pool of worker threads: one completion port, and workers that take job
// packets off it first in, first out and run them. Static only.
//
// Start, Stop, DrainAndStop and Kill are called by one controlling thread (the main thread);
// Stop and DrainAndStop may also be called from a job, and then never wait for the calling
// worker. PostJob (through KT_RunAsync) may be called from any thread at any time.

#include "framework/core/KB_GrowingArray.h"
#include "framework/threads/KT_FutureBase.h"
#include "platform/win32/Windows.h"

#include <atomic>
#include <cstdint>

class KT_Thread;

class KT_ThreadPool
{
public:
    KT_ThreadPool() = delete;

    // Stops the pool, then with a count above 0 opens the port and starts that many workers.
    // A worker that could not be created stays listed without a thread.
    static void Start(std::uint32_t uiThreadCount);
    // Queued jobs still run; then every worker ends, is waited for and removed, and the port is
    // closed. Jobs queued after the stop (and, when a job stops the pool, jobs no other worker
    // took) are dropped from the port and stay queued on their futures alone.
    static void Stop();
    // Takes every queued job off the port without running it, then Stop. A running job finishes;
    // the dropped jobs' futures stay queued, and waiting on one runs it on the waiting thread.
    static void DrainAndStop();
    // Ends and removes every listed worker without waiting (a worker that cannot be ended goes
    // on running on its own). Called last at shutdown, when Stop has normally emptied the list.
    static void Kill();

    // Routine of every worker; pParameter is the port. Returns 0 on a stop packet or a closed port.
    static DWORD WorkerThreadProc(LPVOID pParameter);

    // Queues the job with one more reference to it, held by the packet; false (no reference
    // kept) when the pool is stopped.
    static bool PostJob(KT_FutureBase::KT_FutureBaseData* pData);

    // max(number of processors, 2) - 1.
    static std::uint32_t GetDefaultThreadCount();
    static std::uint32_t GetNumThreads(); // listed workers; controlling thread only
    static bool IsRunning();              // true while the port is open

private:
    static std::atomic<HANDLE> s_pPort;            // INVALID_HANDLE_VALUE while stopped
    static KB_GrowingArray<KT_Thread*> s_gThreads; // owned records
};
