#include "platform/effects11/Effects11Effect.h"

#include <new>

namespace effects11_internal
{

namespace
{

constexpr std::size_t MAX_APPLY_LOG = 1024;
// Beyond any array a shader can declare (a constant buffer holds 4096 vectors); a larger size in
// a saved file is damage, refused before anything is allocated for it.
constexpr std::uint32_t MAX_ARRAY_ELEMENTS = 65536;

} // namespace

Runtime& Runtime::Get()
{
    // Never destroyed: effects released during static destruction still find it.
    static Runtime* s_pRuntime = new Runtime();
    return *s_pRuntime;
}

HRESULT Runtime::TakeFailure(const char* pCall)
{
    return m_failures.Take(pCall);
}

void Runtime::Reset()
{
    m_failures.Clear();
    m_uiCreates.store(0, std::memory_order_relaxed);
    SetApplyLogging(true);
    ClearApplyLog();
}

void Runtime::FailNext(const std::string& sCall, HRESULT hr)
{
    m_failures.Push(sCall, hr);
}

void Runtime::LogApply(Effects11Control::ApplyRecord record)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_applyLog.size() >= MAX_APPLY_LOG)
        m_applyLog.pop_front();
    m_applyLog.push_back(std::move(record));
}

std::vector<Effects11Control::ApplyRecord> Runtime::GetApplyLog()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return {m_applyLog.begin(), m_applyLog.end()};
}

void Runtime::ClearApplyLog()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_applyLog.clear();
}

Effect::Effect(d3d11_internal::ShaderBytecode bytecode, ID3D11Device* pDevice)
    : m_bytecode(std::move(bytecode)), m_pDevice(pDevice),
      m_uiNumber(Runtime::Get().m_uiNextNumber.fetch_add(1, std::memory_order_relaxed))
{
    m_pDevice->AddRef();
    Runtime::Get().m_uiLive.fetch_add(1, std::memory_order_relaxed);
}

Effect::~Effect()
{
    // The passes' shaders and states and the variables' views go before the device.
    m_vTechniques.clear();
    m_vVariables.clear();
    m_pDevice->Release();
    Runtime::Get().m_uiLive.fetch_sub(1, std::memory_order_relaxed);
}

HRESULT Effect::Create(d3d11_internal::ShaderBytecode bytecode, ID3D11Device* pDevice, Effect** ppOut)
{
    *ppOut = nullptr;
    Effect* pEffect = new (std::nothrow) Effect(std::move(bytecode), pDevice);
    if (pEffect == nullptr)
        return E_OUTOFMEMORY;
    const d3d11_internal::ShaderBytecode& code = pEffect->m_bytecode;
    for (const d3d11_internal::EffectVariable& variable : code.Variables)
    {
        if (variable.ArraySize > MAX_ARRAY_ELEMENTS)
        {
            pEffect->Release();
            return E_INVALIDARG;
        }
        pEffect->m_vVariables.push_back(std::make_unique<Variable>(variable));
    }
    const d3d11_internal::EffectVariableMap mapVariables = d3d11_internal::MapEffectVariables(code.Variables);
    for (std::size_t i = 0; i < code.Techniques.size(); ++i)
    {
        pEffect->m_vTechniques.push_back(
            std::make_unique<Technique>(pEffect, static_cast<UINT>(i), &code.Techniques[i]));
        const HRESULT hr = pEffect->m_vTechniques.back()->Create(pDevice, mapVariables);
        if (FAILED(hr))
        {
            pEffect->Release();
            return hr;
        }
    }
    *ppOut = pEffect;
    return S_OK;
}

Effect* Effect::From(ID3DX11Effect* pEffect)
{
    return dynamic_cast<Effect*>(pEffect);
}

HRESULT Effect::QueryInterface(REFIID riid, void** ppvObject)
{
    if (ppvObject == nullptr)
        return E_POINTER;
    if (!IsEqualIID(riid, IID_ID3DX11Effect) && !IsEqualIID(riid, IID_IUnknown))
    {
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    *ppvObject = static_cast<ID3DX11Effect*>(this);
    return S_OK;
}

ULONG Effect::AddRef()
{
    return m_uiRefs.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG Effect::Release()
{
    const ULONG uiLeft = m_uiRefs.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (uiLeft == 0)
        delete this;
    return uiLeft;
}

HRESULT Effect::GetDesc(D3DX11_EFFECT_DESC* pDesc)
{
    if (pDesc == nullptr)
        return E_INVALIDARG;
    *pDesc = {};
    pDesc->GlobalVariables = static_cast<UINT>(m_vVariables.size());
    pDesc->Techniques = static_cast<UINT>(m_vTechniques.size());
    return S_OK;
}

ID3DX11EffectTechnique* Effect::GetTechniqueByIndex(UINT Index)
{
    if (Index >= m_vTechniques.size())
        return Technique::Invalid();
    return m_vTechniques[Index].get();
}

ID3DX11EffectTechnique* Effect::GetTechniqueByName(LPCSTR Name)
{
    if (Name != nullptr)
        for (const std::unique_ptr<Technique>& pTechnique : m_vTechniques)
            if (pTechnique->GetName() == Name)
                return pTechnique.get();
    return Technique::Invalid();
}

ID3DX11EffectVariable* Effect::GetVariableByIndex(UINT Index)
{
    if (Index >= m_vVariables.size())
        return Variable::InvalidVariable();
    return m_vVariables[Index]->AsGeneric();
}

ID3DX11EffectVariable* Effect::GetVariableByName(LPCSTR Name)
{
    if (Name != nullptr)
        for (const std::unique_ptr<Variable>& pVariable : m_vVariables)
            if (pVariable->GetName() == Name)
                return pVariable->AsGeneric();
    return Variable::InvalidVariable();
}

void Effect::RecordApply(UINT uiTechnique, UINT uiPass)
{
    Runtime& runtime = Runtime::Get();
    if (!runtime.IsApplyLogging())
        return;
    Effects11Control::ApplyRecord record;
    record.Effect = m_uiNumber;
    record.Technique = uiTechnique;
    record.TechniqueName = m_bytecode.Techniques[uiTechnique].Name;
    record.Pass = uiPass;
    record.PassName = m_bytecode.Techniques[uiTechnique].Passes[uiPass].Name;
    record.Variables.reserve(m_vVariables.size());
    for (const std::unique_ptr<Variable>& pVariable : m_vVariables)
        record.Variables.push_back(pVariable->Snapshot());
    runtime.LogApply(std::move(record));
}

} // namespace effects11_internal

using effects11_internal::Runtime;

HRESULT D3DX11CreateEffectFromMemory(LPCVOID pData, SIZE_T DataLength, UINT FXFlags, ID3D11Device* pDevice,
                                     ID3DX11Effect** ppEffect)
{
    (void)FXFlags;
    if (ppEffect == nullptr)
        return E_INVALIDARG;
    *ppEffect = nullptr;
    const HRESULT hr = Runtime::Get().TakeFailure("D3DX11CreateEffectFromMemory");
    if (FAILED(hr))
        return hr;
    d3d11_internal::ShaderBytecode bytecode;
    if (pDevice == nullptr || !d3d11_internal::DecodeShaderBytecode(pData, DataLength, &bytecode) ||
        d3d11_internal::StageOfTarget(bytecode.Target) != d3d11_internal::ShaderStage::Effect)
    {
        return E_INVALIDARG;
    }
    effects11_internal::Effect* pEffect = nullptr;
    const HRESULT hrCreate = effects11_internal::Effect::Create(std::move(bytecode), pDevice, &pEffect);
    if (FAILED(hrCreate))
        return hrCreate;
    Runtime::Get().m_uiCreates.fetch_add(1, std::memory_order_relaxed);
    *ppEffect = pEffect;
    return S_OK;
}
