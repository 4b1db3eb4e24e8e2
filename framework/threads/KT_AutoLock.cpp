#include "framework/threads/KT_AutoLock.h"

#include "framework/threads/KT_Mutex.h"

KT_AutoLock::KT_AutoLock(KT_Mutex* pMutex)
{
    // A lock that was not taken is not given back, so a failed wait never releases another
    // thread's hold.
    if (pMutex != nullptr && pMutex->Lock())
        m_pMutex = pMutex;
}

KT_AutoLock::~KT_AutoLock()
{
    if (m_pMutex != nullptr)
    {
        m_pMutex->Unlock();
        m_pMutex = nullptr;
    }
}
