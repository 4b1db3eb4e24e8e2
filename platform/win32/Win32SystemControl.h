#pragma once
// Test controls of the Win32 system services (WinSystem.h). Engine code never includes this.
//
// Call names are the Win32 names: "CreateIoCompletionPort", "PostQueuedCompletionStatus",
// "GetQueuedCompletionStatus", "CloseHandle", "CreateThread", "TerminateThread",
// "WaitForSingleObject", "CreateMutexA", "ReleaseMutex", "CreateSemaphoreA", "ReleaseSemaphore",
// "GetSystemInfo", "Sleep".

#include "platform/win32/WinTypes.h"

#include <cstddef>

namespace Win32SystemControl
{

// Number of processors GetSystemInfo reports; 0 returns to the machine's own count.
void SetProcessorCount(DWORD uiCount);

// The next call of that name fails as the real call would (null handle or FALSE). Only creation
// calls and PostQueuedCompletionStatus can be made to fail; false for any other name.
bool FailNext(const char* pCallName);

// Calls made since the last Reset; 0 for an unknown name.
unsigned GetCallCount(const char* pCallName);

// Handles created and not yet closed, of every kind.
std::size_t GetOpenHandleCount();

// Threads started by CreateThread whose routine has not returned yet.
unsigned GetRunningThreadCount();

// When set, Sleep returns at once (it still counts its calls and milliseconds).
void SetSleepSkipped(bool bSkipped);
// Milliseconds asked of Sleep since the last Reset.
unsigned long long GetSleptMilliseconds();

// Processor count, pending failures, call counters, the sleep switch and its total back to their
// start values. Open handles and running threads are not touched.
void Reset();

} // namespace Win32SystemControl
