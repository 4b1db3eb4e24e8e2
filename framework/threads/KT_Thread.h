#pragma once
// One Win32 thread, held by its handle. The pool's worker list owns these records; they are
// started and ended by the thread that starts and stops the pool.

#include "platform/win32/Windows.h"

class KT_Thread
{
public:
    // Stack size asked of CreateThread. It only sets the initial commit on Windows; the platform
    // layer gives every thread at least 1 MiB.
    static constexpr SIZE_T STACK_SIZE = 16384;

    KT_Thread() = default;
    ~KT_Thread(); // closes the handle; a thread still running goes on

    KT_Thread(const KT_Thread&) = delete;
    KT_Thread& operator=(const KT_Thread&) = delete;

    // Runs pRoutine(pParameter) on a new thread; false when none was made (the record stays
    // without handle). A handle held from before is closed first.
    bool Start(LPTHREAD_START_ROUTINE pRoutine, LPVOID pParameter);
    // Waits without time-out for the thread to end, then closes the handle; false without one.
    bool Join();
    // Ends the thread and closes the handle. Linux cannot end a running thread from outside: such
    // a thread goes on running on its own and false is returned.
    bool Terminate();
    // Closes the handle without waiting.
    void Close();

    bool IsCurrentThread() const; // true when called on this thread
    HANDLE GetHandle() const { return m_pThread; }

private:
    HANDLE m_pThread = nullptr; // owned Win32 handle; null when none
    DWORD m_uiThreadId = 0;     // 0 when none
};
