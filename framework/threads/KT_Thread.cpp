#include "framework/threads/KT_Thread.h"

KT_Thread::~KT_Thread()
{
    Close();
}

bool KT_Thread::Start(LPTHREAD_START_ROUTINE pRoutine, LPVOID pParameter)
{
    Close();
    DWORD uiThreadId = 0;
    m_pThread = CreateThread(nullptr, STACK_SIZE, pRoutine, pParameter, 0, &uiThreadId);
    m_uiThreadId = m_pThread != nullptr ? uiThreadId : 0;
    return m_pThread != nullptr;
}

bool KT_Thread::Join()
{
    if (m_pThread == nullptr)
        return false;
    const bool bEnded = WaitForSingleObject(m_pThread, INFINITE) == WAIT_OBJECT_0;
    Close();
    return bEnded;
}

bool KT_Thread::Terminate()
{
    if (m_pThread == nullptr)
        return false;
    const bool bEnded = TerminateThread(m_pThread, 0) != FALSE;
    Close();
    return bEnded;
}

void KT_Thread::Close()
{
    if (m_pThread != nullptr)
    {
        CloseHandle(m_pThread);
        m_pThread = nullptr;
    }
    m_uiThreadId = 0;
}

bool KT_Thread::IsCurrentThread() const
{
    return m_pThread != nullptr && m_uiThreadId == GetCurrentThreadId();
}
