#include "platform/forms/FormsTimer.h"

#include "platform/forms/FormsInternal.h"
#include "platform/win32/Windows.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace forms
{

namespace forms_internal
{
struct TimerState
{
    std::function<void()> callback;
    std::int64_t due = -1;      // scheduler time; -1: not armed
    std::int64_t period = -1;   // -1: one-shot
    std::int64_t lastRun = -1;  // scheduler time of the last run
    std::uint64_t sequence = 0; // arming order, for timers due at the same time
    bool running = false;
    std::thread::id runner;
    bool disposed = false;
};
} // namespace forms_internal

namespace
{
using forms_internal::TimerState;

struct SchedulerState
{
    std::mutex mutex;
    std::condition_variable finished; // a callback returned
    std::vector<std::shared_ptr<TimerState>> timers;
    bool manual = false;
    std::int64_t manualNow = 0;
    std::uint64_t sequence = 0;
    bool pumping = false;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    std::atomic<std::uint64_t> sleptMs{0};
    std::atomic<bool> sleepCounted{false};
};

SchedulerState& Scheduler()
{
    static SchedulerState* s_pState = new SchedulerState;
    return *s_pState;
}

std::int64_t NowLocked(const SchedulerState& s)
{
    if (s.manual)
        return s.manualNow;
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - s.start)
        .count();
}

// Runs, one at a time, the armed timers due at or before limit. The manual clock moves to each due
// time. Called on the UI thread; never nested.
void RunDue(SchedulerState& s, std::int64_t limit)
{
    std::unique_lock<std::mutex> lock(s.mutex);
    if (s.pumping)
        return;
    s.pumping = true;
    for (;;)
    {
        std::shared_ptr<TimerState> pNext;
        for (const std::shared_ptr<TimerState>& pTimer : s.timers)
        {
            if (pTimer->due < 0 || pTimer->due > limit || pTimer->running)
                continue;
            if (!pNext || pTimer->due < pNext->due ||
                (pTimer->due == pNext->due && pTimer->sequence < pNext->sequence))
                pNext = pTimer;
        }
        if (!pNext)
            break;
        if (s.manual)
            s.manualNow = std::max(s.manualNow, pNext->due);
        const std::int64_t now = NowLocked(s);
        pNext->lastRun = now;
        pNext->due = pNext->period > 0 ? now + pNext->period : -1;
        if (pNext->period > 0)
            pNext->sequence = ++s.sequence;
        pNext->running = true;
        pNext->runner = std::this_thread::get_id();
        std::function<void()> callback = pNext->callback; // the timer may be destroyed by it
        lock.unlock();
        if (callback)
            callback();
        lock.lock();
        pNext->running = false;
        pNext->runner = std::thread::id();
        s.finished.notify_all();
    }
    s.pumping = false;
}

// Waits until the timer's callback is not running on another thread.
void WaitForCallback(SchedulerState& s, std::unique_lock<std::mutex>& lock, const TimerState& timer)
{
    if (timer.running && timer.runner == std::this_thread::get_id())
        return;
    s.finished.wait(lock, [&timer] { return !timer.running; });
}
} // namespace

namespace forms_internal
{
void RunDueTimers()
{
    SchedulerState& s = Scheduler();
    std::int64_t limit = 0;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.manual)
            return; // tests move time themselves
        limit = NowLocked(s);
    }
    RunDue(s, limit);
}

void ResetScheduler(bool manual)
{
    SchedulerState& s = Scheduler();
    std::lock_guard<std::mutex> lock(s.mutex);
    for (const std::shared_ptr<TimerState>& pTimer : s.timers)
        pTimer->due = -1;
    s.manual = manual;
    s.manualNow = 0;
    s.sequence = 0;
}

void AdvanceManualTime(std::int64_t milliseconds)
{
    SchedulerState& s = Scheduler();
    std::int64_t target = 0;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.manual || milliseconds < 0)
            return;
        target = s.manualNow + milliseconds;
    }
    RunDue(s, target);
    std::lock_guard<std::mutex> lock(s.mutex);
    s.manualNow = std::max(s.manualNow, target);
}

std::int64_t GetSchedulerTime()
{
    SchedulerState& s = Scheduler();
    std::lock_guard<std::mutex> lock(s.mutex);
    return NowLocked(s);
}

int GetArmedTimerCount()
{
    SchedulerState& s = Scheduler();
    std::lock_guard<std::mutex> lock(s.mutex);
    return int(std::count_if(s.timers.begin(), s.timers.end(),
                             [](const std::shared_ptr<TimerState>& p) { return p->due >= 0; }));
}

void ResetSleep()
{
    SchedulerState& s = Scheduler();
    s.sleepCounted = true;
    s.sleptMs = 0;
}

std::uint64_t GetSleptMilliseconds()
{
    return Scheduler().sleptMs.load();
}
} // namespace forms_internal

Timer::Timer(std::function<void()> callback) : m_pState(std::make_shared<TimerState>())
{
    m_pState->callback = std::move(callback);
    SchedulerState& s = Scheduler();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.timers.push_back(m_pState);
}

Timer::Timer(std::function<void()> callback, int dueMs, int periodMs) : Timer(std::move(callback))
{
    Change(dueMs, periodMs);
}

Timer::~Timer()
{
    Dispose();
}

bool Timer::Change(int dueMs, int periodMs)
{
    if ((dueMs < 0 && dueMs != Timeout::Infinite) || (periodMs < 0 && periodMs != Timeout::Infinite))
        return false;
    SchedulerState& s = Scheduler();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (m_pState->disposed)
        return false;
    if (dueMs == Timeout::Infinite)
    {
        m_pState->due = -1;
        return true;
    }
    // At most once per millisecond: a zero-due re-arm from the callback waits for the next one.
    m_pState->due = std::max(NowLocked(s) + dueMs, m_pState->lastRun + 1);
    m_pState->period = periodMs == Timeout::Infinite ? -1 : std::max(periodMs, 1);
    m_pState->sequence = ++s.sequence;
    return true;
}

void Timer::Stop()
{
    SchedulerState& s = Scheduler();
    std::unique_lock<std::mutex> lock(s.mutex);
    m_pState->due = -1;
    WaitForCallback(s, lock, *m_pState);
}

void Timer::Dispose()
{
    SchedulerState& s = Scheduler();
    std::unique_lock<std::mutex> lock(s.mutex);
    if (m_pState->disposed)
        return;
    m_pState->disposed = true;
    m_pState->due = -1;
    s.timers.erase(std::remove(s.timers.begin(), s.timers.end(), m_pState), s.timers.end());
    WaitForCallback(s, lock, *m_pState);
}

bool Timer::IsArmed() const
{
    SchedulerState& s = Scheduler();
    std::lock_guard<std::mutex> lock(s.mutex);
    return m_pState->due >= 0;
}

void Thread::Sleep(int milliseconds)
{
    if (milliseconds <= 0)
        return;
    SchedulerState& s = Scheduler();
    s.sleptMs += std::uint64_t(milliseconds);
    if (!s.sleepCounted)
        ::Sleep(DWORD(milliseconds));
}

} // namespace forms
