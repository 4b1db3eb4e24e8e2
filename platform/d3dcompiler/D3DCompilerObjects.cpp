#include "platform/d3dcompiler/D3DCompilerObjects.h"

#include <cstring>
#include <new>

namespace d3dcompiler_internal
{

// The blob interface is known to callers under both names.
constexpr IID IID_ID3D10Blob = {0x8ba5fb08, 0x5195, 0x40e2, {0xac, 0x58, 0x0d, 0x98, 0x9c, 0x3a, 0x01, 0x02}};

Runtime& Runtime::Get()
{
    // Never destroyed: objects released during static destruction still find it.
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
    m_uiCompiles.store(0, std::memory_order_relaxed);
}

void Runtime::FailNext(const std::string& sCall, HRESULT hr)
{
    m_failures.Push(sCall, hr);
}

Blob* Blob::Create(const void* pData, std::size_t uiSize)
{
    Blob* pBlob = nullptr;
    try
    {
        pBlob = new Blob();
        pBlob->m_vBytes.assign(uiSize == 0 ? 1 : uiSize, 0);
    }
    catch (const std::bad_alloc&)
    {
        delete pBlob;
        return nullptr;
    }
    pBlob->m_uiSize = uiSize;
    if (pData != nullptr && uiSize != 0)
        std::memcpy(pBlob->m_vBytes.data(), pData, uiSize);
    return pBlob;
}

HRESULT Blob::QueryInterface(REFIID riid, void** ppvObject)
{
    if (ppvObject == nullptr)
        return E_POINTER;
    if (!IsEqualIID(riid, IID_ID3D10Blob) && !IsEqualIID(riid, IID_IUnknown))
    {
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    *ppvObject = static_cast<ID3DBlob*>(this);
    return S_OK;
}

ShaderReflection* ShaderReflection::Create(const std::uint32_t numThreads[3])
{
    auto* pReflection = new (std::nothrow) ShaderReflection();
    if (pReflection != nullptr)
        for (int i = 0; i < 3; ++i)
            pReflection->m_numThreads[i] = numThreads[i];
    return pReflection;
}

HRESULT ShaderReflection::QueryInterface(REFIID riid, void** ppvObject)
{
    if (ppvObject == nullptr)
        return E_POINTER;
    if (!IsEqualIID(riid, IID_ID3D11ShaderReflection) && !IsEqualIID(riid, IID_IUnknown))
    {
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    *ppvObject = static_cast<ID3D11ShaderReflection*>(this);
    return S_OK;
}

UINT ShaderReflection::GetThreadGroupSize(UINT* pSizeX, UINT* pSizeY, UINT* pSizeZ)
{
    if (pSizeX != nullptr)
        *pSizeX = m_numThreads[0];
    if (pSizeY != nullptr)
        *pSizeY = m_numThreads[1];
    if (pSizeZ != nullptr)
        *pSizeZ = m_numThreads[2];
    return m_numThreads[0] * m_numThreads[1] * m_numThreads[2];
}

} // namespace d3dcompiler_internal
