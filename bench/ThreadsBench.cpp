// Worker pool cost per job against a plain std::thread + queue baseline in the same run.
// Target: the pool within 1.5x of the baseline per job.

#include "framework/threads/KT_BindStruct.h"
#include "framework/threads/KT_Future.h"
#include "framework/threads/KT_ThreadPool.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace
{

constexpr std::uint32_t WORKERS = 2;
constexpr int BATCH = 1000;

void SmallJob(std::atomic<std::uint64_t>* pCounter)
{
    pCounter->fetch_add(1, std::memory_order_relaxed);
}

// The baseline: workers on a mutex-guarded deque, each job with its own done signal.
class BaselinePool
{
public:
    struct Job
    {
        std::atomic<std::uint64_t>* pCounter = nullptr;
        bool bDone = false;
        std::mutex lock;
        std::condition_variable done;

        void Wait()
        {
            std::unique_lock guard(lock);
            done.wait(guard, [this] { return bDone; });
        }
    };

    explicit BaselinePool(std::uint32_t uiWorkers)
    {
        for (std::uint32_t i = 0; i < uiWorkers; ++i)
            m_Workers.emplace_back([this] { WorkerLoop(); });
    }

    ~BaselinePool()
    {
        {
            std::lock_guard guard(m_Lock);
            m_bStop = true;
        }
        m_Ready.notify_all();
        for (std::thread& worker : m_Workers)
            worker.join();
    }

    void Post(Job* pJob)
    {
        {
            std::lock_guard guard(m_Lock);
            m_Queue.push_back(pJob);
        }
        m_Ready.notify_one();
    }

private:
    void WorkerLoop()
    {
        for (;;)
        {
            Job* pJob = nullptr;
            {
                std::unique_lock guard(m_Lock);
                m_Ready.wait(guard, [this] { return m_bStop || !m_Queue.empty(); });
                if (m_Queue.empty())
                    return;
                pJob = m_Queue.front();
                m_Queue.pop_front();
            }
            SmallJob(pJob->pCounter);
            {
                std::lock_guard guard(pJob->lock);
                pJob->bDone = true;
            }
            pJob->done.notify_all();
        }
    }

    std::mutex m_Lock;
    std::condition_variable m_Ready;
    std::deque<Job*> m_Queue;
    std::vector<std::thread> m_Workers;
    bool m_bStop = false;
};

KT_Future<void>* PostSmallJob(std::atomic<std::uint64_t>* pCounter)
{
    return KT_RunAsync(KT_BindStruct1<void, std::atomic<std::uint64_t>*>{&SmallJob, pCounter});
}

// Post, run, wait, delete, as the engine does (a job still queued when waited for runs on the
// waiting thread).
void BM_PoolRoundTrip(benchmark::State& state)
{
    KT_ThreadPool::Start(WORKERS);
    std::atomic<std::uint64_t> counter{0};
    for (auto _ : state)
    {
        KT_Future<void>* pFuture = PostSmallJob(&counter);
        pFuture->Wait();
        delete pFuture;
    }
    KT_ThreadPool::Stop();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PoolRoundTrip)->UseRealTime();

// The same, but every job is left to a worker before it is waited for.
void BM_PoolRoundTripOnWorker(benchmark::State& state)
{
    KT_ThreadPool::Start(WORKERS);
    std::atomic<std::uint64_t> counter{0};
    for (auto _ : state)
    {
        KT_Future<void>* pFuture = PostSmallJob(&counter);
        while (pFuture->GetState() == KT_FutureBase::KT_FutureBaseData::STATE_QUEUED)
        {
        }
        pFuture->Wait();
        delete pFuture;
    }
    KT_ThreadPool::Stop();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PoolRoundTripOnWorker)->UseRealTime();

void BM_BaselineRoundTrip(benchmark::State& state)
{
    BaselinePool pool(WORKERS);
    std::atomic<std::uint64_t> counter{0};
    for (auto _ : state)
    {
        auto* pJob = new BaselinePool::Job;
        pJob->pCounter = &counter;
        pool.Post(pJob);
        pJob->Wait();
        delete pJob;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BaselineRoundTrip)->UseRealTime();

// Throughput: a batch of small jobs posted, then all waited for.
void BM_PoolThroughput(benchmark::State& state)
{
    KT_ThreadPool::Start(WORKERS);
    std::atomic<std::uint64_t> counter{0};
    std::vector<KT_Future<void>*> futures(BATCH);
    for (auto _ : state)
    {
        for (int i = 0; i < BATCH; ++i)
            futures[i] = PostSmallJob(&counter);
        for (int i = 0; i < BATCH; ++i)
        {
            futures[i]->Wait();
            delete futures[i];
        }
    }
    KT_ThreadPool::Stop();
    state.SetItemsProcessed(state.iterations() * BATCH);
}
BENCHMARK(BM_PoolThroughput)->UseRealTime();

void BM_BaselineThroughput(benchmark::State& state)
{
    BaselinePool pool(WORKERS);
    std::atomic<std::uint64_t> counter{0};
    std::vector<BaselinePool::Job*> jobs(BATCH);
    for (auto _ : state)
    {
        for (int i = 0; i < BATCH; ++i)
        {
            jobs[i] = new BaselinePool::Job;
            jobs[i]->pCounter = &counter;
            pool.Post(jobs[i]);
        }
        for (int i = 0; i < BATCH; ++i)
        {
            jobs[i]->Wait();
            delete jobs[i];
        }
    }
    state.SetItemsProcessed(state.iterations() * BATCH);
}
BENCHMARK(BM_BaselineThroughput)->UseRealTime();

} // namespace
