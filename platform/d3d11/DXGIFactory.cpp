#include "platform/d3d11/DXGIFactory.h"

#include "platform/d3d11/DXGISwapChain.h"

#include <new>
#include <string>
#include <vector>

namespace d3d11_internal
{

namespace
{

// Copies a configured name into a fixed WCHAR array, cut to fit with its terminating zero.
template <std::size_t N>
void CopyName(const std::u16string& sName, WCHAR (&aOut)[N])
{
    std::size_t uiLength = sName.size() < N - 1 ? sName.size() : N - 1;
    for (std::size_t i = 0; i < uiLength; ++i)
        aOut[i] = sName[i];
    for (std::size_t i = uiLength; i < N; ++i)
        aOut[i] = 0;
}

// The checks the enumeration calls share, after the injected failure of pMethod: a null ppOut
// fails with DXGI_ERROR_INVALID_CALL, an index exists() denies with DXGI_ERROR_NOT_FOUND, a failed
// make() with E_OUTOFMEMORY. *ppOut (when not null) and *ppMade get the object made or null.
template <class Made, class Out, class Exists, class Make>
HRESULT Enumerate(const char* pInterface, const char* pMethod, Out** ppOut, Made** ppMade, Exists exists,
                  Make make)
{
    HRESULT hr = Runtime::Get().TakeFailure(pInterface, pMethod);
    Made* pMade = nullptr;
    if (SUCCEEDED(hr))
    {
        if (ppOut == nullptr)
        {
            hr = DXGI_ERROR_INVALID_CALL;
        }
        else if (!exists())
        {
            hr = DXGI_ERROR_NOT_FOUND;
        }
        else
        {
            pMade = make();
            hr = pMade != nullptr ? S_OK : E_OUTOFMEMORY;
        }
    }
    if (ppOut != nullptr)
        *ppOut = pMade;
    *ppMade = pMade;
    return hr;
}

} // namespace

Factory::Factory() : ComObject<IDXGIFactory>("IDXGIFactory")
{
}

Factory* Factory::Create()
{
    try
    {
        return new Factory();
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
}

bool Factory::Implements(REFIID riid) const
{
    return IsEqualIID(riid, IID_IDXGIFactory) || IsEqualIID(riid, IID_IDXGIObject) ||
           IsEqualIID(riid, IID_IUnknown);
}

HRESULT Factory::EnumAdapters(UINT uiAdapter, IDXGIAdapter** ppAdapter)
{
    Runtime& runtime = Runtime::Get();
    Adapter* pAdapter = nullptr;
    const HRESULT hr = Enumerate(
        "IDXGIFactory", "EnumAdapters", ppAdapter, &pAdapter,
        [&] { return uiAdapter < runtime.GetAdapterCount(); }, [&] { return Adapter::Create(uiAdapter); });
    runtime.Log("IDXGIFactory", "EnumAdapters", hr, {GetId(), Object::IdOf(pAdapter)},
                {static_cast<double>(uiAdapter)});
    return hr;
}

HRESULT Factory::CreateSwapChain(IUnknown* pDevice, DXGI_SWAP_CHAIN_DESC* pDesc, IDXGISwapChain** ppSwapChain)
{
    Runtime& runtime = Runtime::Get();
    HRESULT hr = runtime.TakeFailure("IDXGIFactory", "CreateSwapChain");
    SwapChain* pSwapChain = nullptr;
    if (SUCCEEDED(hr))
    {
        hr =
            ppSwapChain != nullptr ? SwapChain::Create(pDevice, pDesc, &pSwapChain) : DXGI_ERROR_INVALID_CALL;
    }
    if (ppSwapChain != nullptr)
        *ppSwapChain = SUCCEEDED(hr) ? pSwapChain : nullptr;
    DXGI_SWAP_CHAIN_DESC desc{};
    if (pDesc != nullptr)
        desc = *pDesc;
    runtime.Log("IDXGIFactory", "CreateSwapChain", hr,
                {GetId(), Object::IdOf(pDevice), Object::IdOf(pSwapChain)},
                {static_cast<double>(desc.BufferDesc.Width), static_cast<double>(desc.BufferDesc.Height),
                 static_cast<double>(desc.BufferDesc.RefreshRate.Numerator),
                 static_cast<double>(desc.BufferDesc.RefreshRate.Denominator),
                 static_cast<double>(desc.BufferDesc.Format), static_cast<double>(desc.SampleDesc.Count),
                 static_cast<double>(desc.SampleDesc.Quality), static_cast<double>(desc.BufferUsage),
                 static_cast<double>(desc.BufferCount), static_cast<double>(desc.Windowed),
                 static_cast<double>(desc.SwapEffect), static_cast<double>(desc.Flags)});
    return hr;
}

Adapter::Adapter(UINT uiIndex) : ComObject<IDXGIAdapter>("IDXGIAdapter"), m_uiIndex(uiIndex)
{
}

Adapter* Adapter::Create(UINT uiIndex)
{
    try
    {
        return new Adapter(uiIndex);
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
}

const Adapter* Adapter::From(IDXGIAdapter* pAdapter)
{
    return pAdapter != nullptr ? dynamic_cast<const Adapter*>(pAdapter) : nullptr;
}

bool Adapter::Implements(REFIID riid) const
{
    return IsEqualIID(riid, IID_IDXGIAdapter) || IsEqualIID(riid, IID_IDXGIObject) ||
           IsEqualIID(riid, IID_IUnknown);
}

HRESULT Adapter::EnumOutputs(UINT uiOutput, IDXGIOutput** ppOutput)
{
    Runtime& runtime = Runtime::Get();
    Output* pOutput = nullptr;
    D3D11Control::OutputConfig config;
    const HRESULT hr = Enumerate(
        "IDXGIAdapter", "EnumOutputs", ppOutput, &pOutput,
        [&] { return runtime.GetOutput(m_uiIndex, uiOutput, &config); },
        [&] { return Output::Create(m_uiIndex, uiOutput); });
    runtime.Log("IDXGIAdapter", "EnumOutputs", hr, {GetId(), Object::IdOf(pOutput)},
                {static_cast<double>(uiOutput)});
    return hr;
}

HRESULT Adapter::GetDesc(DXGI_ADAPTER_DESC* pDesc)
{
    Runtime& runtime = Runtime::Get();
    HRESULT hr = runtime.TakeFailure("IDXGIAdapter", "GetDesc");
    D3D11Control::AdapterConfig config;
    if (SUCCEEDED(hr))
    {
        if (pDesc == nullptr)
            hr = E_INVALIDARG;
        else if (!runtime.GetAdapter(m_uiIndex, &config) || config.FailGetDesc)
            hr = E_FAIL;
    }
    if (SUCCEEDED(hr))
    {
        *pDesc = DXGI_ADAPTER_DESC{};
        CopyName(config.Description, pDesc->Description);
        pDesc->DedicatedVideoMemory = SIZE_T{256} << 20;
        pDesc->AdapterLuid = {m_uiIndex + 1, 0};
    }
    runtime.Log("IDXGIAdapter", "GetDesc", hr, {GetId()}, {});
    return hr;
}

Output::Output(UINT uiAdapter, UINT uiIndex)
    : ComObject<IDXGIOutput>("IDXGIOutput"), m_uiAdapter(uiAdapter), m_uiIndex(uiIndex)
{
}

Output* Output::Create(UINT uiAdapter, UINT uiIndex)
{
    try
    {
        return new Output(uiAdapter, uiIndex);
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
}

bool Output::Implements(REFIID riid) const
{
    return IsEqualIID(riid, IID_IDXGIOutput) || IsEqualIID(riid, IID_IDXGIObject) ||
           IsEqualIID(riid, IID_IUnknown);
}

HRESULT Output::GetDesc(DXGI_OUTPUT_DESC* pDesc)
{
    Runtime& runtime = Runtime::Get();
    HRESULT hr = runtime.TakeFailure("IDXGIOutput", "GetDesc");
    D3D11Control::OutputConfig config;
    if (SUCCEEDED(hr))
    {
        if (pDesc == nullptr)
            hr = E_INVALIDARG;
        else if (!runtime.GetOutput(m_uiAdapter, m_uiIndex, &config) || config.FailGetDesc)
            hr = E_FAIL;
    }
    if (SUCCEEDED(hr))
    {
        *pDesc = DXGI_OUTPUT_DESC{};
        CopyName(config.DeviceName, pDesc->DeviceName);
        pDesc->DesktopCoordinates = config.DesktopCoordinates;
        pDesc->AttachedToDesktop = TRUE;
        pDesc->Rotation = DXGI_MODE_ROTATION_IDENTITY;
    }
    runtime.Log("IDXGIOutput", "GetDesc", hr, {GetId()}, {});
    return hr;
}

HRESULT Output::GetDisplayModeList(DXGI_FORMAT EnumFormat, UINT Flags, UINT* pNumModes, DXGI_MODE_DESC* pDesc)
{
    Runtime& runtime = Runtime::Get();
    HRESULT hr = runtime.TakeFailure("IDXGIOutput", "GetDisplayModeList");
    D3D11Control::OutputConfig config;
    UINT uiWritten = 0;
    if (SUCCEEDED(hr))
    {
        if (pNumModes == nullptr)
            hr = DXGI_ERROR_INVALID_CALL;
        else if (!runtime.GetOutput(m_uiAdapter, m_uiIndex, &config))
            hr = DXGI_ERROR_NOT_FOUND;
    }
    if (SUCCEEDED(hr))
    {
        std::vector<DXGI_MODE_DESC> vMatching;
        for (const DXGI_MODE_DESC& mode : config.Modes)
        {
            const bool bInterlaced = mode.ScanlineOrdering == DXGI_MODE_SCANLINE_ORDER_UPPER_FIELD_FIRST ||
                                     mode.ScanlineOrdering == DXGI_MODE_SCANLINE_ORDER_LOWER_FIELD_FIRST;
            const bool bScaled = mode.Scaling != DXGI_MODE_SCALING_UNSPECIFIED;
            if (mode.Format != EnumFormat || (bInterlaced && (Flags & DXGI_ENUM_MODES_INTERLACED) == 0) ||
                (bScaled && (Flags & DXGI_ENUM_MODES_SCALING) == 0))
            {
                continue;
            }
            vMatching.push_back(mode);
        }
        const auto uiCount = static_cast<UINT>(vMatching.size());
        if (pDesc == nullptr)
        {
            uiWritten = uiCount;
        }
        else
        {
            uiWritten = *pNumModes < uiCount ? *pNumModes : uiCount;
            for (UINT i = 0; i < uiWritten; ++i)
                pDesc[i] = vMatching[i];
            if (uiWritten < uiCount)
                hr = DXGI_ERROR_MORE_DATA;
        }
        *pNumModes = uiWritten;
    }
    runtime.Log(
        "IDXGIOutput", "GetDisplayModeList", hr, {GetId()},
        {static_cast<double>(EnumFormat), static_cast<double>(Flags), static_cast<double>(uiWritten)});
    return hr;
}

} // namespace d3d11_internal

HRESULT CreateDXGIFactory(REFIID riid, void** ppFactory)
{
    d3d11_internal::Runtime& runtime = d3d11_internal::Runtime::Get();
    HRESULT hr = runtime.TakeFailure("", "CreateDXGIFactory");
    d3d11_internal::Factory* pFactory = nullptr;
    if (SUCCEEDED(hr))
    {
        if (ppFactory == nullptr)
        {
            hr = E_POINTER;
        }
        else if (!IsEqualIID(riid, IID_IDXGIFactory) && !IsEqualIID(riid, IID_IDXGIObject) &&
                 !IsEqualIID(riid, IID_IUnknown))
        {
            hr = E_NOINTERFACE;
        }
        else
        {
            pFactory = d3d11_internal::Factory::Create();
            hr = pFactory != nullptr ? S_OK : E_OUTOFMEMORY;
        }
    }
    if (ppFactory != nullptr)
        *ppFactory = static_cast<IDXGIFactory*>(pFactory);
    runtime.Log("", "CreateDXGIFactory", hr, {d3d11_internal::Object::IdOf(pFactory)}, {});
    return hr;
}
