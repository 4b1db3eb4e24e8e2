#pragma once
// Internal to the effects stand-in: one effect, holding the decoded bytecode it was made from,
// its techniques and variables, and a reference on its device; and the layer's process-wide
// state (queued failures, counters, the apply log).

#include "platform/d3d11/D3D11ShaderBytecode.h"
#include "platform/effects11/Effects11Control.h"
#include "platform/effects11/Effects11Technique.h"
#include "platform/effects11/Effects11Variable.h"
#include "platform/effects11/d3dx11effect.h"

#include "platform/win32/WinFailureQueue.h"
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
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

    bool IsApplyLogging() const { return m_bApplyLogging.load(std::memory_order_relaxed); }
    void SetApplyLogging(bool bEnabled) { m_bApplyLogging.store(bEnabled, std::memory_order_relaxed); }
    void LogApply(Effects11Control::ApplyRecord record);
    std::vector<Effects11Control::ApplyRecord> GetApplyLog();
    void ClearApplyLog();

    std::atomic<std::uint64_t> m_uiCreates{0};
    std::atomic<std::size_t> m_uiLive{0};
    std::atomic<std::uint64_t> m_uiNextNumber{1};

private:
    Runtime() = default;

    win32_internal::FailureQueue m_failures;
    // Off in a real run, which reads no snapshots (each Apply would copy every variable);
    // Reset turns it on for tests.
    std::atomic<bool> m_bApplyLogging{false};
    std::mutex m_mutex;
    std::deque<Effects11Control::ApplyRecord> m_applyLog;
};

class Effect final : public ID3DX11Effect
{
public:
    // Makes the effect with its shader and state objects; the device's failure, E_OUTOFMEMORY.
    static HRESULT Create(d3d11_internal::ShaderBytecode bytecode, ID3D11Device* pDevice, Effect** ppOut);
    // Null for null or for an object that is not ours.
    static Effect* From(ID3DX11Effect* pEffect);

    HRESULT QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG AddRef() override;
    ULONG Release() override;

    BOOL IsValid() override { return TRUE; }
    HRESULT GetDesc(D3DX11_EFFECT_DESC* pDesc) override;
    ID3DX11EffectTechnique* GetTechniqueByIndex(UINT Index) override;
    ID3DX11EffectTechnique* GetTechniqueByName(LPCSTR Name) override;
    ID3DX11EffectVariable* GetVariableByIndex(UINT Index) override;
    ID3DX11EffectVariable* GetVariableByName(LPCSTR Name) override;

    const d3d11_internal::ShaderBytecode& GetBytecode() const { return m_bytecode; }
    ID3D11Device* GetDevice() const { return m_pDevice; }
    std::uint64_t GetNumber() const { return m_uiNumber; }

    // Called by a pass that was applied: the snapshot for the log.
    void RecordApply(UINT uiTechnique, UINT uiPass);

private:
    Effect(d3d11_internal::ShaderBytecode bytecode, ID3D11Device* pDevice);
    ~Effect();

    std::atomic<ULONG> m_uiRefs{1};
    d3d11_internal::ShaderBytecode m_bytecode;
    ID3D11Device* m_pDevice; // one reference held
    std::uint64_t m_uiNumber;
    std::vector<std::unique_ptr<Variable>> m_vVariables;
    std::vector<std::unique_ptr<Technique>> m_vTechniques;
};

} // namespace effects11_internal
