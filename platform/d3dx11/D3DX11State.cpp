#include "platform/d3dx11/D3DX11State.h"

namespace d3dx11_internal
{

State& State::Get()
{
    static State* s_pState = new State(); // never destroyed: late callers still find it
    return *s_pState;
}

HRESULT State::TakeFailure(const char* pCall)
{
    return m_failures.Take(pCall);
}

void State::Reset()
{
    m_failures.Clear();
    m_uiDecodes.store(0, std::memory_order_relaxed);
}

void State::FailNext(const std::string& sCall, HRESULT hr)
{
    m_failures.Push(sCall, hr);
}

} // namespace d3dx11_internal
