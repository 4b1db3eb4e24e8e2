#include "framework/threads/KT_Mutex.h"

#include "platform/win32/Windows.h"

KT_Mutex::KT_Mutex()
{
    m_pMutex = CreateMutexA(nullptr, FALSE, nullptr);
}

KT_Mutex::~KT_Mutex()
{
    if (m_pMutex != nullptr)
    {
        CloseHandle(m_pMutex);
        m_pMutex = nullptr;
    }
}

bool KT_Mutex::Lock()
{
    if (m_pMutex == nullptr)
        return false;
    const DWORD uiResult = WaitForSingleObject(m_pMutex, INFINITE);
    return uiResult == WAIT_OBJECT_0 || uiResult == WAIT_ABANDONED;
}

bool KT_Mutex::Unlock()
{
    return m_pMutex != nullptr && ReleaseMutex(m_pMutex) != FALSE;
}
