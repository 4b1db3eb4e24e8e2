#pragma once
// Internal to the effects stand-in: one effect, holding the decoded bytecode it was made from
// and a reference on its device; and the layer's process-wide state (queued failures, counters).

#include "platform/d3d11/D3D11ShaderBytecode.h"
#include "platform/effects11/d3dx11effect.h"

#include "platform/win32/WinFailureQueue.h"
#include <atomic>
#include <cstdint>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace effects11_internal
{

class Runtime
{
public:
    static Runtime& Get();

    // S_OK when no failure is queued for the call; else the queued result, taken once.
    HRESULT TakeFailure(const char* pCall);
    void Reset();
    void FailNext(const std::string& sCall, HRESULT hr);

    std::atomic<std::uint64_t> m_uiCreates{0};
    std::atomic<std::size_t> m_uiLive{0};

private:
    Runtime() = default;

    win32_internal::FailureQueue m_failures;
};

class Effect final : public ID3DX11Effect
{
public:
    // Null when the memory cannot be had.
    static Effect* Create(d3d11_internal::ShaderBytecode bytecode, ID3D11Device* pDevice);

    HRESULT QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // What later effect interfaces read: techniques, passes, variables.
    const d3d11_internal::ShaderBytecode& GetBytecode() const { return m_bytecode; }
    ID3D11Device* GetDevice() const { return m_pDevice; }

private:
    Effect(d3d11_internal::ShaderBytecode bytecode, ID3D11Device* pDevice);
    ~Effect();

    std::atomic<ULONG> m_uiRefs{1};
    d3d11_internal::ShaderBytecode m_bytecode;
    ID3D11Device* m_pDevice; // one reference held
};

} // namespace effects11_internal
