#include "framework/threads/KT_FutureBase.h"

namespace
{

// Polls of a waiter before it blocks: a small job on a worker is usually done within them, and
// a sleep and wake-up cost several microseconds.
constexpr int DONE_SPIN_ROUNDS = 2000;

void CpuRelax()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

} // namespace

void KT_FutureBase::KT_FutureBaseData::WaitUntilDone()
{
    for (int i = 0; i < DONE_SPIN_ROUNDS; ++i)
    {
        if (m_iState.load(std::memory_order_acquire) == STATE_DONE)
            return;
        CpuRelax();
    }
    for (std::int32_t iState = m_iState.load(std::memory_order_acquire); iState != STATE_DONE;
         iState = m_iState.load(std::memory_order_acquire))
        m_iState.wait(iState, std::memory_order_acquire);
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
    std::int32_t iExpected = STATE_QUEUED;
    return m_iState.load(std::memory_order_relaxed) == STATE_QUEUED &&
           m_iState.compare_exchange_strong(iExpected, static_cast<std::int32_t>(STATE_RUNNING),
                                            std::memory_order_acq_rel);
}

void KT_FutureBase::KT_FutureBaseData::Finish()
{
    // The caller holds a reference, so the record outlives the notification even when a waiter
    // sees the new state at once and lets go of its own.
    m_iState.store(static_cast<std::int32_t>(STATE_DONE), std::memory_order_release);
    m_iState.notify_all();
}
