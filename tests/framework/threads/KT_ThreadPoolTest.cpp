#include "framework/threads/KT_ThreadPool.h"
#include "framework/core/KB_String.h"
#include "framework/threads/KT_BindStruct.h"
#include "framework/threads/KT_Future.h"

#include "platform/win32/Win32SystemControl.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace
{

void SpinUntil(const std::atomic<bool>& bFlag)
{
    while (!bFlag.load())
        std::this_thread::yield();
}

// What a test job records about its runs.
struct JobRecord
{
    std::atomic<int> iRuns{0};
    std::atomic<DWORD> uiThreadId{0};
    std::atomic<bool> bStarted{false};
    std::atomic<bool> bFinished{false};
    const std::atomic<bool>* pGate = nullptr; // the job waits for it when set
    std::mutex* pOrderLock = nullptr;
    std::vector<int>* pOrder = nullptr;
    int iNumber = 0;
};

void RecordJob(JobRecord* pRecord)
{
    pRecord->uiThreadId = GetCurrentThreadId();
    pRecord->bStarted = true;
    if (pRecord->pGate != nullptr)
        SpinUntil(*pRecord->pGate);
    if (pRecord->pOrder != nullptr)
    {
        std::lock_guard lock(*pRecord->pOrderLock);
        pRecord->pOrder->push_back(pRecord->iNumber);
    }
    ++pRecord->iRuns;
    pRecord->bFinished = true;
}

KT_Future<void>* Post(JobRecord* pRecord)
{
    return KT_RunAsync(KT_BindStruct1<void, JobRecord*>{&RecordJob, pRecord});
}

// Every test leaves the pool stopped, with no worker thread or handle left behind.
class KT_ThreadPoolTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Win32SystemControl::Reset();
        m_uiHandles = Win32SystemControl::GetOpenHandleCount();
        m_uiThreads = Win32SystemControl::GetRunningThreadCount();
    }
    void TearDown() override
    {
        KT_ThreadPool::Stop();
        KT_ThreadPool::Kill();
        Win32SystemControl::Reset();
        EXPECT_FALSE(KT_ThreadPool::IsRunning());
        EXPECT_EQ(KT_ThreadPool::GetNumThreads(), 0u);
        EXPECT_EQ(Win32SystemControl::GetOpenHandleCount(), m_uiHandles);
        while (Win32SystemControl::GetRunningThreadCount() > m_uiThreads)
            std::this_thread::yield(); // a worker that stopped the pool ends after its job
    }

    std::size_t m_uiHandles = 0;
    unsigned m_uiThreads = 0;
};

TEST_F(KT_ThreadPoolTest, OneWorkerRunsJobsInPostingOrder)
{
    KT_ThreadPool::Start(1);
    ASSERT_TRUE(KT_ThreadPool::IsRunning());
    ASSERT_EQ(KT_ThreadPool::GetNumThreads(), 1u);

    std::mutex orderLock;
    std::vector<int> order;
    JobRecord records[3];
    std::unique_ptr<KT_Future<void>> futures[3];
    for (int i = 0; i < 3; ++i)
    {
        records[i].iNumber = i + 1;
        records[i].pOrderLock = &orderLock;
        records[i].pOrder = &order;
        futures[i].reset(Post(&records[i]));
    }
    KT_ThreadPool::Stop(); // queued jobs still run before the workers end

    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ(futures[i]->GetState(), KT_FutureBase::KT_FutureBaseData::STATE_DONE);
        EXPECT_NE(records[i].uiThreadId.load(), GetCurrentThreadId());
        EXPECT_TRUE(futures[i]->Wait()) << "a finished job returns at once";
        EXPECT_EQ(records[i].iRuns.load(), 1);
    }
}

TEST_F(KT_ThreadPoolTest, WaitRunsQueuedJobOnCallerAndWorkerSkipsIt)
{
    KT_ThreadPool::Start(1);
    std::atomic<bool> bGate{false};
    JobRecord blocker;
    blocker.pGate = &bGate;
    JobRecord queued;
    std::unique_ptr<KT_Future<void>> blockerFuture(Post(&blocker));
    std::unique_ptr<KT_Future<void>> queuedFuture(Post(&queued));
    SpinUntil(blocker.bStarted);

    EXPECT_TRUE(queuedFuture->Wait());
    EXPECT_EQ(queued.uiThreadId.load(), GetCurrentThreadId());
    queuedFuture.reset(); // the packet still queued keeps the record alive

    bGate = true;
    EXPECT_TRUE(blockerFuture->Wait());
    KT_ThreadPool::Stop();
    EXPECT_EQ(queued.iRuns.load(), 1) << "the worker must not run a job a waiter has run";
    EXPECT_EQ(blocker.iRuns.load(), 1);
}

TEST_F(KT_ThreadPoolTest, WaitOnRunningJobBlocksUntilDoneForEveryWaiter)
{
    KT_ThreadPool::Start(1);
    std::atomic<bool> bGate{false};
    JobRecord running;
    running.pGate = &bGate;
    std::unique_ptr<KT_Future<void>> future(Post(&running));
    SpinUntil(running.bStarted);
    EXPECT_EQ(future->GetState(), KT_FutureBase::KT_FutureBaseData::STATE_RUNNING);

    std::atomic<int> iReturned{0};
    std::atomic<bool> bEarly{false};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i)
    {
        waiters.emplace_back(
            [&]
            {
                EXPECT_TRUE(future->Wait());
                if (!running.bFinished.load())
                    bEarly = true;
                ++iReturned;
            });
    }
    for (int i = 0; i < 100; ++i)
        std::this_thread::yield();
    EXPECT_EQ(iReturned.load(), 0);
    bGate = true;
    EXPECT_TRUE(future->Wait());
    for (std::thread& waiter : waiters)
        waiter.join();
    EXPECT_EQ(iReturned.load(), 4);
    EXPECT_FALSE(bEarly.load()) << "a waiter returned before the job was done";
    EXPECT_EQ(running.iRuns.load(), 1);
}

TEST_F(KT_ThreadPoolTest, DrainAndStopDropsQueuedJobsAndLetsTheRunningOneFinish)
{
    KT_ThreadPool::Start(1);
    std::atomic<bool> bGate{false};
    JobRecord running;
    running.pGate = &bGate;
    JobRecord dropped[2];
    std::unique_ptr<KT_Future<void>> runningFuture(Post(&running));
    std::unique_ptr<KT_Future<void>> droppedFutures[2] = {
        std::unique_ptr<KT_Future<void>>(Post(&dropped[0])),
        std::unique_ptr<KT_Future<void>>(Post(&dropped[1]))};
    SpinUntil(running.bStarted);

    // The stop packet is posted only once the queue has been drained; then the gate opens.
    const unsigned uiPostsBefore = Win32SystemControl::GetCallCount("PostQueuedCompletionStatus");
    std::thread opener(
        [&]
        {
            while (Win32SystemControl::GetCallCount("PostQueuedCompletionStatus") == uiPostsBefore)
                std::this_thread::yield();
            bGate = true;
        });
    KT_ThreadPool::DrainAndStop();
    opener.join();

    EXPECT_FALSE(KT_ThreadPool::IsRunning());
    EXPECT_EQ(KT_ThreadPool::GetNumThreads(), 0u);
    EXPECT_EQ(running.iRuns.load(), 1);
    EXPECT_EQ(runningFuture->GetState(), KT_FutureBase::KT_FutureBaseData::STATE_DONE);
    for (int i = 0; i < 2; ++i)
    {
        EXPECT_EQ(dropped[i].iRuns.load(), 0);
        EXPECT_EQ(droppedFutures[i]->GetState(), KT_FutureBase::KT_FutureBaseData::STATE_QUEUED);
    }
    EXPECT_TRUE(droppedFutures[0]->Wait());
    EXPECT_EQ(dropped[0].iRuns.load(), 1);
    EXPECT_EQ(dropped[0].uiThreadId.load(), GetCurrentThreadId());
    // droppedFutures[1] is deleted without ever running: its record must not leak.
}

TEST_F(KT_ThreadPoolTest, StartRestartsStopAndKillAreSafeWhenStopped)
{
    KT_ThreadPool::Stop();
    KT_ThreadPool::Kill();
    EXPECT_FALSE(KT_ThreadPool::IsRunning());

    KT_ThreadPool::Start(2);
    EXPECT_EQ(KT_ThreadPool::GetNumThreads(), 2u);
    KT_ThreadPool::Start(3);
    EXPECT_EQ(KT_ThreadPool::GetNumThreads(), 3u);
    JobRecord record;
    std::unique_ptr<KT_Future<void>> future(Post(&record));
    while (future->GetState() == KT_FutureBase::KT_FutureBaseData::STATE_QUEUED)
        std::this_thread::yield();
    EXPECT_TRUE(future->Wait());
    EXPECT_NE(record.uiThreadId.load(), GetCurrentThreadId()) << "the restarted pool runs jobs";

    KT_ThreadPool::Start(0);
    EXPECT_FALSE(KT_ThreadPool::IsRunning());
    EXPECT_EQ(KT_ThreadPool::GetNumThreads(), 0u);
    const unsigned uiTerminates = Win32SystemControl::GetCallCount("TerminateThread");
    KT_ThreadPool::Kill();
    EXPECT_EQ(Win32SystemControl::GetCallCount("TerminateThread"), uiTerminates) << "nothing to kill";
}

TEST_F(KT_ThreadPoolTest, JobPostedToStoppedPoolRunsOnWait)
{
    JobRecord record;
    std::unique_ptr<KT_Future<void>> future(Post(&record));
    EXPECT_EQ(future->GetState(), KT_FutureBase::KT_FutureBaseData::STATE_QUEUED);
    EXPECT_TRUE(future->Wait());
    EXPECT_EQ(record.iRuns.load(), 1);
    EXPECT_EQ(record.uiThreadId.load(), GetCurrentThreadId());
    EXPECT_TRUE(future->Wait());
    EXPECT_EQ(record.iRuns.load(), 1);

    KT_Future<void> empty(nullptr);
    EXPECT_FALSE(empty.Wait());
    EXPECT_EQ(empty.GetState(), -1);
}

TEST_F(KT_ThreadPoolTest, WorkerWithoutThreadLeavesJobsToWaiters)
{
    ASSERT_TRUE(Win32SystemControl::FailNext("CreateThread"));
    KT_ThreadPool::Start(1);
    EXPECT_TRUE(KT_ThreadPool::IsRunning());
    EXPECT_EQ(KT_ThreadPool::GetNumThreads(), 1u) << "the failed worker stays listed";
    JobRecord record;
    std::unique_ptr<KT_Future<void>> future(Post(&record));
    std::unique_ptr<KT_Future<void>> never(Post(&record));
    EXPECT_TRUE(future->Wait());
    EXPECT_EQ(record.iRuns.load(), 1);
    KT_ThreadPool::Stop(); // drops the packets left in the port
}

void StopPoolFromJob(JobRecord* pRecord)
{
    KT_ThreadPool::Stop();
    RecordJob(pRecord);
}

TEST_F(KT_ThreadPoolTest, StopFromAWorkerDoesNotJoinItself)
{
    KT_ThreadPool::Start(2);
    JobRecord record;
    std::unique_ptr<KT_Future<void>> future(
        KT_RunAsync(KT_BindStruct1<void, JobRecord*>{&StopPoolFromJob, &record}));
    while (future->GetState() == KT_FutureBase::KT_FutureBaseData::STATE_QUEUED)
        std::this_thread::yield();
    EXPECT_TRUE(future->Wait());
    EXPECT_NE(record.uiThreadId.load(), GetCurrentThreadId());
    EXPECT_FALSE(KT_ThreadPool::IsRunning());
    EXPECT_EQ(KT_ThreadPool::GetNumThreads(), 0u);
}

void AppendText(KB_String* pOut, KB_String text, int iRepeat)
{
    for (int i = 0; i < iRepeat; ++i)
        *pOut += text;
}

TEST_F(KT_ThreadPoolTest, BindStructHoldsItsArgumentsByValue)
{
    KT_ThreadPool::Start(1);
    KB_String out;
    KB_String text("ab");
    std::unique_ptr<KT_Future<void>> future(
        KT_RunAsync(KT_BindStruct3<void, KB_String*, KB_String, int>{&AppendText, &out, text, 3}));
    text = "changed";
    EXPECT_TRUE(future->Wait());
    EXPECT_EQ(out, KB_String("ababab"));
}

TEST_F(KT_ThreadPoolTest, DefaultThreadCountLeavesOneProcessor)
{
    const std::pair<DWORD, std::uint32_t> cases[] = {{1, 1}, {2, 1}, {3, 2}, {8, 7}};
    for (const auto& [uiProcessors, uiThreads] : cases)
    {
        Win32SystemControl::SetProcessorCount(uiProcessors);
        EXPECT_EQ(KT_ThreadPool::GetDefaultThreadCount(), uiThreads) << uiProcessors << " processors";
    }
}

struct StressJob
{
    std::atomic<int>* pRuns;
};

void CountStressRun(StressJob job)
{
    job.pRuns->fetch_add(1);
}

// Many producers post jobs, wait on them from several threads and delete the futures at once;
// every job must run exactly once and nothing may be touched after it is freed.
TEST_F(KT_ThreadPoolTest, StressManyJobsConcurrentWaitsAndDeletions)
{
    constexpr int PRODUCERS = 6;
    constexpr int JOBS_PER_PRODUCER = 400;
    KT_ThreadPool::Start(3);
    std::vector<std::atomic<int>> runs(PRODUCERS * JOBS_PER_PRODUCER);
    std::vector<std::thread> producers;
    for (int p = 0; p < PRODUCERS; ++p)
    {
        producers.emplace_back(
            [&, p]
            {
                for (int j = 0; j < JOBS_PER_PRODUCER; ++j)
                {
                    StressJob job{&runs[p * JOBS_PER_PRODUCER + j]};
                    KT_Future<void>* pFuture =
                        KT_RunAsync(KT_BindStruct1<void, StressJob>{&CountStressRun, job});
                    switch (j % 4)
                    {
                    case 0: // waited for and deleted at once
                        pFuture->Wait();
                        delete pFuture;
                        break;
                    case 1: // deleted without waiting; the job still runs on a worker
                        delete pFuture;
                        break;
                    case 2:
                    { // two threads wait on it together
                        std::thread helper([pFuture] { pFuture->Wait(); });
                        pFuture->Wait();
                        helper.join();
                        delete pFuture;
                        break;
                    }
                    default: // waits after the job had a chance to be taken by a worker
                        std::this_thread::yield();
                        pFuture->Wait();
                        delete pFuture;
                        break;
                    }
                }
            });
    }
    for (std::thread& producer : producers)
        producer.join();
    KT_ThreadPool::Stop();
    for (std::size_t i = 0; i < runs.size(); ++i)
        ASSERT_EQ(runs[i].load(), 1) << "job " << i;
}

TEST_F(KT_ThreadPoolTest, OneWorkerKeepsPostingOrderOverManyJobs)
{
    constexpr int JOBS = 1500; // several of the port's packet chunks
    KT_ThreadPool::Start(1);
    std::mutex orderLock;
    std::vector<int> order;
    auto records = std::make_unique<JobRecord[]>(JOBS);
    std::vector<std::unique_ptr<KT_Future<void>>> futures;
    for (int i = 0; i < JOBS; ++i)
    {
        records[i].iNumber = i;
        records[i].pOrderLock = &orderLock;
        records[i].pOrder = &order;
        futures.emplace_back(Post(&records[i]));
    }
    KT_ThreadPool::Stop();
    ASSERT_EQ(order.size(), static_cast<std::size_t>(JOBS));
    for (int i = 0; i < JOBS; ++i)
        ASSERT_EQ(order[i], i);
}

// Counts the copies of itself alive, so a test sees every job record freed exactly once.
struct CountedArgument
{
    static std::atomic<int> s_iAlive;

    explicit CountedArgument(std::atomic<int>* pRunsIn) : pRuns(pRunsIn) { ++s_iAlive; }
    CountedArgument(const CountedArgument& other) : pRuns(other.pRuns) { ++s_iAlive; }
    CountedArgument& operator=(const CountedArgument&) = default;
    ~CountedArgument() { --s_iAlive; }

    std::atomic<int>* pRuns;
};
std::atomic<int> CountedArgument::s_iAlive{0};

void CountRun(CountedArgument argument)
{
    argument.pRuns->fetch_add(1);
}

// Posters keep posting while the pool stops: jobs posted before the stop run on workers, later
// ones on their waiters; each runs once, and once every future is deleted every record is gone
// (none kept by a packet that missed the last drain, none freed twice).
TEST_F(KT_ThreadPoolTest, PostsRacingStopRunOnceAndLeaveNoRecord)
{
    constexpr int POSTERS = 3;
    constexpr int JOBS_PER_POSTER = 3000;
    for (int iCycle = 0; iCycle < 3; ++iCycle)
    {
        KT_ThreadPool::Start(2);
        std::vector<std::atomic<int>> runs(POSTERS * JOBS_PER_POSTER);
        std::atomic<int> iPosted{0};
        std::vector<std::thread> posters;
        for (int p = 0; p < POSTERS; ++p)
        {
            posters.emplace_back(
                [&, p]
                {
                    std::vector<KT_Future<void>*> kept;
                    for (int j = 0; j < JOBS_PER_POSTER; ++j)
                    {
                        KT_Future<void>* pFuture = KT_RunAsync(KT_BindStruct1<void, CountedArgument>{
                            &CountRun, CountedArgument(&runs[p * JOBS_PER_POSTER + j])});
                        ++iPosted;
                        if (j % 3 == 0)
                        { // waited for and deleted at once, while the workers are busy
                            pFuture->Wait();
                            delete pFuture;
                        }
                        else
                            kept.push_back(pFuture);
                    }
                    for (KT_Future<void>* pFuture : kept)
                    {
                        pFuture->Wait();
                        delete pFuture;
                    }
                });
        }
        while (iPosted.load() < POSTERS * JOBS_PER_POSTER / 3)
            std::this_thread::yield();
        if (iCycle == 1)
            KT_ThreadPool::DrainAndStop();
        else
            KT_ThreadPool::Stop();
        for (std::thread& poster : posters)
            poster.join();
        for (std::size_t i = 0; i < runs.size(); ++i)
            ASSERT_EQ(runs[i].load(), 1) << "job " << i << " in cycle " << iCycle;
        EXPECT_EQ(CountedArgument::s_iAlive.load(), 0) << "cycle " << iCycle;
    }
}

// Workers that have gone to sleep on the empty port end on Stop and on DrainAndStop, start
// after start.
TEST_F(KT_ThreadPoolTest, IdleWorkersStopAndStartRepeatedly)
{
    for (int iCycle = 0; iCycle < 20; ++iCycle)
    {
        KT_ThreadPool::Start(4);
        JobRecord record;
        std::unique_ptr<KT_Future<void>> future(Post(&record));
        while (future->GetState() == KT_FutureBase::KT_FutureBaseData::STATE_QUEUED)
            std::this_thread::yield();
        EXPECT_TRUE(future->Wait());
        EXPECT_NE(record.uiThreadId.load(), GetCurrentThreadId());
        for (int i = 0; i < 200 * (iCycle % 5); ++i)
            std::this_thread::yield(); // some cycles stop spinning workers, some sleeping ones
        if (iCycle % 2 == 0)
            KT_ThreadPool::Stop();
        else
            KT_ThreadPool::DrainAndStop();
        EXPECT_FALSE(KT_ThreadPool::IsRunning());
        EXPECT_EQ(KT_ThreadPool::GetNumThreads(), 0u);
    }
}

} // namespace
