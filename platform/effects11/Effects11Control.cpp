#include "platform/effects11/Effects11Control.h"

#include "platform/effects11/Effects11Effect.h"

namespace Effects11Control
{

void Reset()
{
    effects11_internal::Runtime::Get().Reset();
}

void FailNext(const std::string& sCall, HRESULT hr)
{
    effects11_internal::Runtime::Get().FailNext(sCall, hr);
}

std::uint64_t GetCreateCount()
{
    return effects11_internal::Runtime::Get().m_uiCreates.load(std::memory_order_relaxed);
}

std::size_t GetLiveEffectCount()
{
    return effects11_internal::Runtime::Get().m_uiLive.load(std::memory_order_relaxed);
}

} // namespace Effects11Control
