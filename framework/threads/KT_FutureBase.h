#pragma once
// Base of the futures: the caller's handle of one job on the worker pool.

#include <atomic>
#include <cstdint>

class KT_FutureBase
{
public:
    // The shared record of one job: its state and its completion signal. Reference-counted:
    // the future holds one reference and a packet queued on the pool another, so the record
    // lives until both have let go, whichever is last (also when Wait ran the job or the queue
    // was drained). Any thread.
    class KT_FutureBaseData
    {
    public:
        static constexpr std::int64_t STATE_QUEUED = 0;
        static constexpr std::int64_t STATE_RUNNING = 1;
        static constexpr std::int64_t STATE_DONE = 2;

        KT_FutureBaseData() = default;
        virtual ~KT_FutureBaseData() = default;

        KT_FutureBaseData(const KT_FutureBaseData&) = delete;
        KT_FutureBaseData& operator=(const KT_FutureBaseData&) = delete;

        // Runs the job on the calling thread unless a worker or waiter has claimed it already,
        // in which case it returns at once. Implementations claim with Claim and end with Finish.
        virtual void Run() = 0;

        // Blocks until the job is done; any number of threads may wait. Spins briefly first, as
        // small jobs are often done within a few microseconds.
        void WaitUntilDone();
        std::int64_t GetState() const { return m_iState.load(std::memory_order_acquire); }

        // A new record holds one reference.
        void AddReference();
        // Deletes the record when the last reference goes.
        void RemoveReference();

    protected:
        // Moves the state from queued to running; true for exactly one caller.
        bool Claim();
        // Marks the job done and wakes every waiter.
        void Finish();

    private:
        // A 32-bit word, so waiters block on it directly (a futex) instead of on a mutex and a
        // condition variable per job.
        std::atomic<std::int32_t> m_iState{STATE_QUEUED};
        std::atomic<std::uint32_t> m_uiReferences{1};
    };

    KT_FutureBase() = default;
    virtual ~KT_FutureBase() = default;

    KT_FutureBase(const KT_FutureBase&) = delete;
    KT_FutureBase& operator=(const KT_FutureBase&) = delete;

    // STATE_QUEUED, STATE_RUNNING or STATE_DONE; -1 without job data.
    std::int64_t GetState() const { return m_pData != nullptr ? m_pData->GetState() : -1; }

protected:
    KT_FutureBaseData* m_pData = nullptr; // one reference owned; released by the derived future
};
