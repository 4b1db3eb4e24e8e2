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
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_vFailures.begin(); it != m_vFailures.end(); ++it)
    {
        if (it->first == pCall)
        {
            const HRESULT hr = it->second;
            m_vFailures.erase(it);
            return hr;
        }
    }
    return S_OK;
}

void State::Reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vFailures.clear();
    m_uiDecodes.store(0, std::memory_order_relaxed);
}

void State::FailNext(const std::string& sCall, HRESULT hr)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vFailures.emplace_back(sCall, hr);
}

} // namespace d3dx11_internal
