#include "platform/effects11/Effects11Effect.h"

#include <new>

namespace effects11_internal
{

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
}

void Runtime::FailNext(const std::string& sCall, HRESULT hr)
{
    m_failures.Push(sCall, hr);
}

Effect::Effect(d3d11_internal::ShaderBytecode bytecode, ID3D11Device* pDevice)
    : m_bytecode(std::move(bytecode)), m_pDevice(pDevice)
{
    m_pDevice->AddRef();
    Runtime::Get().m_uiLive.fetch_add(1, std::memory_order_relaxed);
}

Effect::~Effect()
{
    m_pDevice->Release();
    Runtime::Get().m_uiLive.fetch_sub(1, std::memory_order_relaxed);
}

Effect* Effect::Create(d3d11_internal::ShaderBytecode bytecode, ID3D11Device* pDevice)
{
    return new (std::nothrow) Effect(std::move(bytecode), pDevice);
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
    effects11_internal::Effect* pEffect = effects11_internal::Effect::Create(std::move(bytecode), pDevice);
    if (pEffect == nullptr)
        return E_OUTOFMEMORY;
    Runtime::Get().m_uiCreates.fetch_add(1, std::memory_order_relaxed);
    *ppEffect = pEffect;
    return S_OK;
}
