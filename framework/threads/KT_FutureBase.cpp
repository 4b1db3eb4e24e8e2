#include "framework/threads/KT_FutureBase.h"

void KT_FutureBase::KT_FutureBaseData::WaitUntilDone()
{
    if (m_iState.load() == STATE_DONE)
        return;
    std::unique_lock lock(m_DoneLock);
    m_DoneSignal.wait(lock, [this] { return m_iState.load() == STATE_DONE; });
}

void KT_FutureBase::KT_FutureBaseData::AddReference()
{
    m_uiReferences.fetch_add(1, std::memory_order_relaxed);
}

void KT_FutureBase::KT_FutureBaseData::RemoveReference()
{
    if (m_uiReferences.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete this;
}

bool KT_FutureBase::KT_FutureBaseData::Claim()
{
    std::int64_t iExpected = STATE_QUEUED;
    return m_iState.compare_exchange_strong(iExpected, STATE_RUNNING);
}

void KT_FutureBase::KT_FutureBaseData::Finish()
{
    {
        // Set under the lock so a waiter between its check and its wait cannot miss the signal.
        std::lock_guard lock(m_DoneLock);
        m_iState.store(STATE_DONE);
    }
    m_DoneSignal.notify_all();
}
