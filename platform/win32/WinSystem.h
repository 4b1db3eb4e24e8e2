#pragma once
// Win32 system services of the stand-in: completion ports, threads, mutexes, semaphores,
// waiting, processor information and Sleep. Every call is thread-safe.
//
// Handles are entries of one process-wide table; a handle value is never reused, so a call on a
// closed handle fails instead of reaching another object. Not provided: named objects, ports
// bound to files, abandoned-mutex detection, and ending a running thread (see TerminateThread).

#include "platform/win32/WinTypes.h"

using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID lpThreadParameter);
using PULONG_PTR = ULONG_PTR*;
using LPLONG = LONG*;

constexpr DWORD WAIT_OBJECT_0 = 0x00000000u;
constexpr DWORD WAIT_ABANDONED = 0x00000080u;
constexpr DWORD WAIT_TIMEOUT = 0x00000102u;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

constexpr WORD PROCESSOR_ARCHITECTURE_AMD64 = 9;

struct SYSTEM_INFO
{
    WORD wProcessorArchitecture;
    WORD wReserved;
    DWORD dwPageSize;
    LPVOID lpMinimumApplicationAddress;
    LPVOID lpMaximumApplicationAddress;
    DWORD_PTR dwActiveProcessorMask;
    DWORD dwNumberOfProcessors;
    DWORD dwProcessorType;
    DWORD dwAllocationGranularity;
    WORD wProcessorLevel;
    WORD wProcessorRevision;
};
using LPSYSTEM_INFO = SYSTEM_INFO*;

// Only a new port is supported: FileHandle INVALID_HANDLE_VALUE, ExistingCompletionPort null.
// Packets leave the port first in, first out. The concurrency value is kept but not enforced.
// Null on failure.
HANDLE CreateIoCompletionPort(HANDLE FileHandle, HANDLE ExistingCompletionPort, ULONG_PTR CompletionKey,
                              DWORD NumberOfConcurrentThreads);
// Queues one packet; FALSE when the port is not open.
BOOL PostQueuedCompletionStatus(HANDLE CompletionPort, DWORD dwNumberOfBytesTransferred,
                                ULONG_PTR dwCompletionKey, LPOVERLAPPED lpOverlapped);
// Takes the oldest packet, waiting up to dwMilliseconds (INFINITE: no limit). FALSE with
// *lpOverlapped null on time-out, on a bad handle and when the port is closed during the wait.
BOOL GetQueuedCompletionStatus(HANDLE CompletionPort, LPDWORD lpNumberOfBytesTransferred,
                               PULONG_PTR lpCompletionKey, LPOVERLAPPED* lpOverlapped, DWORD dwMilliseconds);
// Closes any handle of this file. Closing a port drops its packets and wakes its waiters; closing
// a thread handle leaves the thread running. FALSE for an unknown handle.
BOOL CloseHandle(HANDLE hObject);

// The thread gets at least 1 MiB of stack whatever dwStackSize asks (on Windows a small size
// only sets the initial commit). Only dwCreationFlags 0 is supported. Null on failure.
HANDLE CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                    LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter, DWORD dwCreationFlags,
                    LPDWORD lpThreadId);
// A running thread cannot be ended from outside on Linux: FALSE for a running thread (it goes on
// running), TRUE for one that has already ended.
BOOL TerminateThread(HANDLE hThread, DWORD dwExitCode);
DWORD GetCurrentThreadId();

// Threads: signalled once ended. Mutexes: acquired (recursively by the owner). Semaphores: one
// count taken. WAIT_OBJECT_0, WAIT_TIMEOUT, or WAIT_FAILED for a bad handle or a port.
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);

// Recursive mutex; unnamed only (lpName must be null). Null on failure.
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCSTR lpName);
// FALSE when the calling thread does not own the mutex.
BOOL ReleaseMutex(HANDLE hMutex);

// Unnamed only; 0 <= lInitialCount <= lMaximumCount, lMaximumCount > 0. Null on failure.
HANDLE CreateSemaphoreA(LPSECURITY_ATTRIBUTES lpSemaphoreAttributes, LONG lInitialCount, LONG lMaximumCount,
                        LPCSTR lpName);
// FALSE when lReleaseCount < 1 or the count would exceed the maximum (nothing changes then).
BOOL ReleaseSemaphore(HANDLE hSemaphore, LONG lReleaseCount, LPLONG lpPreviousCount);

// The machine's processor count unless a test has set another.
void GetSystemInfo(LPSYSTEM_INFO lpSystemInfo);
void Sleep(DWORD dwMilliseconds);
