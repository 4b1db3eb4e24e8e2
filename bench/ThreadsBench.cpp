// Worker pool cost per job and per round trip against two peers on the same workload in the same
// process: a plain mutex/condition-variable queue over std::thread, and oneTBB's task_group.
// Every iteration runs the three sides one after another (in turn first), each timed on its own,
// so machine noise falls on all of them alike. Counters: ns per job of each side and the pool's
// ratio to each peer. Targets: the pool within 1.5x of the plain queue per job and within 2x of it
// per round trip on a worker.

#include "framework/threads/KT_BindStruct.h"
#include "framework/threads/KT_Future.h"
#include "framework/threads/KT_ThreadPool.h"

#include <benchmark/benchmark.h>
#include <oneapi/tbb/task_arena.h>
#include <oneapi/tbb/task_group.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace
{

constexpr std::uint32_t WORKERS = 2;
constexpr int JOBS = 100000;
constexpr int ROUND_TRIPS = 2000;

void SmallJob(std::atomic<std::uint64_t>* pCounter)
{
    pCounter->fetch_add(1, std::memory_order_relaxed);
}

// The plain queue: workers on a mutex-guarded deque, each job with its own done signal.
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

bool IsQueued(const KT_Future<void>& future)
{
    return future.GetState() == KT_FutureBase::KT_FutureBaseData::STATE_QUEUED;
}

// The three sides of one workload, each started once for the whole benchmark. TBB gets as many
// threads as the pool's workers plus the waiting thread, which takes part in both.
struct Sides
{
    Sides() : baseline(WORKERS), arena(static_cast<int>(WORKERS) + 1) { KT_ThreadPool::Start(WORKERS); }
    ~Sides() { KT_ThreadPool::Stop(); }

    BaselinePool baseline;
    oneapi::tbb::task_arena arena;
    std::atomic<std::uint64_t> counter{0};
};

enum Side
{
    SIDE_POOL,
    SIDE_BASELINE,
    SIDE_TBB,
    SIDE_COUNT
};

// Runs every side once per iteration, first side in turn, and reports ns per item of each.
void RunSides(benchmark::State& state, int iItemsPerRun,
              const std::array<std::function<void()>, SIDE_COUNT>& runs)
{
    std::array<double, SIDE_COUNT> seconds{};
    int iFirst = 0;
    for (auto _ : state)
    {
        for (int i = 0; i < SIDE_COUNT; ++i)
        {
            const int iSide = (iFirst + i) % SIDE_COUNT;
            const auto start = std::chrono::steady_clock::now();
            runs[iSide]();
            seconds[iSide] += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        iFirst = (iFirst + 1) % SIDE_COUNT;
    }
    const double fItems = static_cast<double>(state.iterations()) * iItemsPerRun;
    const double fPool = seconds[SIDE_POOL] * 1e9 / fItems;
    const double fBaseline = seconds[SIDE_BASELINE] * 1e9 / fItems;
    const double fTbb = seconds[SIDE_TBB] * 1e9 / fItems;
    state.counters["pool_ns"] = fPool;
    state.counters["queue_ns"] = fBaseline;
    state.counters["tbb_ns"] = fTbb;
    state.counters["pool/queue"] = fPool / fBaseline;
    state.counters["pool/tbb"] = fPool / fTbb;
}

// 100,000 tiny jobs posted from one thread, then all waited for (the pool's waiter runs jobs
// still queued itself; TBB's waiting thread takes part as well; the plain queue only waits).
void BM_TinyJobs(benchmark::State& state)
{
    Sides sides;
    std::vector<KT_Future<void>*> futures(JOBS);
    std::vector<std::unique_ptr<BaselinePool::Job>> jobs(JOBS);
    const std::array<std::function<void()>, SIDE_COUNT> runs = {
        [&]
        {
            for (int i = 0; i < JOBS; ++i)
                futures[i] = PostSmallJob(&sides.counter);
            for (int i = 0; i < JOBS; ++i)
            {
                futures[i]->Wait();
                delete futures[i];
            }
        },
        [&]
        {
            for (int i = 0; i < JOBS; ++i)
            {
                jobs[i] = std::make_unique<BaselinePool::Job>();
                jobs[i]->pCounter = &sides.counter;
                sides.baseline.Post(jobs[i].get());
            }
            for (int i = 0; i < JOBS; ++i)
            {
                jobs[i]->Wait();
                jobs[i].reset();
            }
        },
        [&]
        {
            sides.arena.execute(
                [&]
                {
                    oneapi::tbb::task_group group;
                    for (int i = 0; i < JOBS; ++i)
                        group.run([&] { SmallJob(&sides.counter); });
                    group.wait();
                });
        }};
    RunSides(state, JOBS, runs);
}
BENCHMARK(BM_TinyJobs)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

// One job at a time: posted, taken by a worker (the poster spins until then), waited for and
// released, as the engine does when it hands one load to a worker and waits for it.
void BM_RoundTripOnWorker(benchmark::State& state)
{
    Sides sides;
    const std::array<std::function<void()>, SIDE_COUNT> runs = {
        [&]
        {
            for (int i = 0; i < ROUND_TRIPS; ++i)
            {
                KT_Future<void>* pFuture = PostSmallJob(&sides.counter);
                while (IsQueued(*pFuture))
                {
                }
                pFuture->Wait();
                delete pFuture;
            }
        },
        [&]
        {
            for (int i = 0; i < ROUND_TRIPS; ++i)
            {
                auto pJob = std::make_unique<BaselinePool::Job>();
                pJob->pCounter = &sides.counter;
                sides.baseline.Post(pJob.get());
                pJob->Wait();
            }
        },
        [&]
        {
            sides.arena.execute(
                [&]
                {
                    oneapi::tbb::task_group group;
                    for (int i = 0; i < ROUND_TRIPS; ++i)
                    {
                        std::atomic<bool> bTaken{false};
                        group.run(
                            [&]
                            {
                                bTaken.store(true);
                                SmallJob(&sides.counter);
                            });
                        while (!bTaken.load())
                        {
                        }
                        group.wait();
                    }
                });
        }};
    RunSides(state, ROUND_TRIPS, runs);
}
BENCHMARK(BM_RoundTripOnWorker)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

// One job at a time, waited for at once: the waiter usually runs it itself.
void BM_RoundTripWaiterRuns(benchmark::State& state)
{
    Sides sides;
    const std::array<std::function<void()>, SIDE_COUNT> runs = {
        [&]
        {
            for (int i = 0; i < ROUND_TRIPS; ++i)
            {
                KT_Future<void>* pFuture = PostSmallJob(&sides.counter);
                pFuture->Wait();
                delete pFuture;
            }
        },
        [&]
        {
            for (int i = 0; i < ROUND_TRIPS; ++i)
            {
                auto pJob = std::make_unique<BaselinePool::Job>();
                pJob->pCounter = &sides.counter;
                sides.baseline.Post(pJob.get());
                pJob->Wait();
            }
        },
        [&]
        {
            sides.arena.execute(
                [&]
                {
                    oneapi::tbb::task_group group;
                    for (int i = 0; i < ROUND_TRIPS; ++i)
                    {
                        group.run([&] { SmallJob(&sides.counter); });
                        group.wait();
                    }
                });
        }};
    RunSides(state, ROUND_TRIPS, runs);
}
BENCHMARK(BM_RoundTripWaiterRuns)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace
