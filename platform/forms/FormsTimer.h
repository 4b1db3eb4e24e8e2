#pragma once
// Timers of the forms stand-in (System.Threading.Timer's model) and Thread::Sleep. A timer's
// callback runs on the UI thread, from the scheduler: in tests a manual scheduler that
// FormsControl::AdvanceTime moves, in real runs the steady clock, pumped by Application::DoEvents
// (the main loop and the modal runner).
//
// - Change(due, period) arms the timer due milliseconds from now; period Timeout::Infinite makes
//   it one-shot, and due Infinite stops it. A callback may re-arm or stop its own timer.
// - A timer runs at most once per millisecond of scheduler time, so a callback that re-arms with
//   due 0 cannot keep a pump from returning.
// - Stop and Dispose (and the destructor) wait for a callback running on another thread to finish;
//   called from the callback itself they return at once, and the callback may destroy its timer.
// Change, Stop and Dispose are thread-safe.

#include <functional>
#include <memory>

namespace forms
{

namespace forms_internal
{
struct TimerState;
}

struct Timeout
{
    static constexpr int Infinite = -1;
};

class Timer
{
public:
    explicit Timer(std::function<void()> callback); // stopped
    Timer(std::function<void()> callback, int dueMs, int periodMs);
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    bool Change(int dueMs, int periodMs); // false after Dispose or for a negative time but Infinite
    void Stop();                          // Change(Infinite, Infinite), then waits as Dispose does
    void Dispose();
    bool IsArmed() const;

private:
    std::shared_ptr<forms_internal::TimerState> m_pState;
};

class Thread
{
public:
    // Sleeps in real runs; tests only count the milliseconds (FormsControl::GetSleptMilliseconds).
    static void Sleep(int milliseconds);
};

} // namespace forms
