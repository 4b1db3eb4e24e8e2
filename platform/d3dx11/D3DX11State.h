#pragma once
// Internal to the D3DX11 stand-in: the process-wide test state (queued failures, counters).

#include "platform/win32/WinTypes.h"

#include "platform/win32/WinFailureQueue.h"
#include <atomic>
#include <cstdint>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace d3dx11_internal
{

class State
{
public:
    static State& Get();

    // S_OK when no failure is queued for the call; else the queued result, taken once.
    HRESULT TakeFailure(const char* pCall);
    void CountDecode() { m_uiDecodes.fetch_add(1, std::memory_order_relaxed); }

    void Reset();
    void FailNext(const std::string& sCall, HRESULT hr);
    std::uint64_t GetDecodeCount() const { return m_uiDecodes.load(std::memory_order_relaxed); }

private:
    State() = default;

    win32_internal::FailureQueue m_failures;
    std::atomic<std::uint64_t> m_uiDecodes{0};
};

} // namespace d3dx11_internal
