#include "platform/effects11/Effects11Control.h"

#include "platform/effects11/Effects11Effect.h"

namespace Effects11Control
{

const VariableSnapshot* ApplyRecord::Find(const std::string& sName) const
{
    for (const VariableSnapshot& variable : Variables)
        if (variable.Name == sName)
            return &variable;
    return nullptr;
}

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

std::vector<ApplyRecord> GetApplyLog()
{
    return effects11_internal::Runtime::Get().GetApplyLog();
}

void ClearApplyLog()
{
    effects11_internal::Runtime::Get().ClearApplyLog();
}

void SetApplyLogging(bool bEnabled)
{
    effects11_internal::Runtime::Get().SetApplyLogging(bEnabled);
}

std::uint64_t GetEffectNumber(ID3DX11Effect* pEffect)
{
    const effects11_internal::Effect* p = effects11_internal::Effect::From(pEffect);
    return p != nullptr ? p->GetNumber() : 0;
}

} // namespace Effects11Control
