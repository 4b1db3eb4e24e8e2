#include "framework/threads/KT_Future.h"

KT_Future<void>::KT_Future(KT_FutureResultData* pData)
{
    m_pData = pData;
}

KT_Future<void>::~KT_Future()
{
    if (m_pData != nullptr)
    {
        m_pData->RemoveReference();
        m_pData = nullptr;
    }
}

bool KT_Future<void>::Wait()
{
    if (m_pData == nullptr)
        return false;
    m_pData->Run();
    m_pData->WaitUntilDone();
    return true;
}
