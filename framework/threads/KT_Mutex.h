#pragma once
// The engine's lock: an unnamed Win32 mutex, recursive (the owning thread may take it again and
// must release it as often), waited for without time-out. Any thread; used through KT_AutoLock.
// Holds no lock when its creation failed: Lock then answers false.

#include "platform/win32/WinTypes.h"

class KT_Mutex
{
public:
    KT_Mutex();
    ~KT_Mutex();

    KT_Mutex(const KT_Mutex&) = delete;
    KT_Mutex& operator=(const KT_Mutex&) = delete;

    // Waits until the calling thread owns the mutex; true also for an abandoned one, false when
    // the mutex could not be created or the wait failed.
    bool Lock();
    // Gives back one Lock of the calling thread; false when it did not hold the mutex.
    bool Unlock();

private:
    HANDLE m_pMutex = nullptr; // owned Win32 mutex; null when creation failed
};
