#include "render/device/KR_GraphicsContextDXGI.h"

#include "platform/win32/Windows.h"

#include <new>

namespace
{

// Keeps the low byte of each 16-bit character, up to the terminating zero.
template <std::size_t N>
KB_String NarrowName(const WCHAR (&aName)[N])
{
    char aNarrow[N + 1];
    std::size_t uiLength = 0;
    while (uiLength < N && aName[uiLength] != 0)
    {
        aNarrow[uiLength] = static_cast<char>(aName[uiLength] & 0xFF);
        ++uiLength;
    }
    aNarrow[uiLength] = '\0';
    return KB_String(aNarrow);
}

} // namespace

KR_GraphicsContextDXGI::KR_GraphicsContextDXGI()
{
    LoadDXGILibrary();
    if (m_pCreateDXGIFactory != nullptr &&
        FAILED(m_pCreateDXGIFactory(IID_IDXGIFactory, reinterpret_cast<void**>(&m_pDXGIFactory))))
    {
        m_pDXGIFactory = nullptr;
    }
}

KR_GraphicsContextDXGI::~KR_GraphicsContextDXGI()
{
    if (m_pDXGIFactory != nullptr)
    {
        m_pDXGIFactory->Release();
        m_pDXGIFactory = nullptr;
    }
}

void KR_GraphicsContextDXGI::LoadDXGILibrary()
{
    if (m_bDXGILibraryTried)
        return;
    m_bDXGILibraryTried = true;
    m_hDXGIModule = LoadLibraryA("dxgi.dll");
    if (m_hDXGIModule != nullptr)
    {
        m_pCreateDXGIFactory = reinterpret_cast<CreateDXGIFactoryFunction>(
            reinterpret_cast<void (*)()>(GetProcAddress(m_hDXGIModule, "CreateDXGIFactory")));
    }
}

bool KR_GraphicsContextDXGI::LoadLibraries()
{
    LoadDXGILibrary();
    return m_hDXGIModule != nullptr;
}

KB_GrowingArray<KB_String>* KR_GraphicsContextDXGI::GetAdapterNames()
{
    auto* pNames = new (std::nothrow) KB_GrowingArray<KB_String>();
    if (pNames == nullptr || !LoadLibraries() || m_pDXGIFactory == nullptr)
        return pNames;
    IDXGIAdapter* pAdapter = nullptr;
    for (UINT uiAdapter = 0; SUCCEEDED(m_pDXGIFactory->EnumAdapters(uiAdapter, &pAdapter)); ++uiAdapter)
    {
        // An adapter whose description cannot be read keeps its index with an empty name.
        DXGI_ADAPTER_DESC desc{};
        pNames->Add(SUCCEEDED(pAdapter->GetDesc(&desc)) ? NarrowName(desc.Description) : KB_String());
        pAdapter->Release();
    }
    return pNames;
}

KB_GrowingArray<KB_String>* KR_GraphicsContextDXGI::GetOutputNames(std::uint32_t uiAdapter)
{
    auto* pNames = new (std::nothrow) KB_GrowingArray<KB_String>();
    if (pNames == nullptr || !LoadLibraries() || m_pDXGIFactory == nullptr)
        return pNames;
    IDXGIAdapter* pAdapter = nullptr;
    if (FAILED(m_pDXGIFactory->EnumAdapters(uiAdapter, &pAdapter)))
        return pNames;
    IDXGIOutput* pOutput = nullptr;
    for (UINT uiOutput = 0; SUCCEEDED(pAdapter->EnumOutputs(uiOutput, &pOutput)); ++uiOutput)
    {
        DXGI_OUTPUT_DESC desc{};
        pNames->Add(SUCCEEDED(pOutput->GetDesc(&desc)) ? NarrowName(desc.DeviceName) : KB_String());
        pOutput->Release();
    }
    pAdapter->Release();
    return pNames;
}

KB_GrowingArray<KR_ScreenResolution>* KR_GraphicsContextDXGI::GetScreenResolutions(std::uint32_t uiAdapter,
                                                                                   std::uint32_t uiOutput)
{
    auto* pResolutions = new (std::nothrow) KB_GrowingArray<KR_ScreenResolution>();
    if (pResolutions == nullptr || !LoadLibraries() || m_pDXGIFactory == nullptr)
        return pResolutions;
    IDXGIAdapter* pAdapter = nullptr;
    if (FAILED(m_pDXGIFactory->EnumAdapters(uiAdapter, &pAdapter)))
        return pResolutions;
    IDXGIOutput* pOutput = nullptr;
    const HRESULT hrOutput = pAdapter->EnumOutputs(uiOutput, &pOutput);
    pAdapter->Release();
    if (FAILED(hrOutput))
        return pResolutions;
    UINT uiCount = 0;
    DXGI_MODE_DESC* pModes = nullptr;
    if (SUCCEEDED(pOutput->GetDisplayModeList(DXGI_FORMAT_R8G8B8A8_UNORM_SRGB, DXGI_ENUM_MODES_SCALING,
                                              &uiCount, nullptr)) &&
        uiCount > 0)
    {
        pModes = new (std::nothrow) DXGI_MODE_DESC[uiCount];
    }
    // The modes may have changed between the two calls: take what the second one wrote, never
    // more than the list holds.
    const UINT uiCapacity = uiCount;
    const HRESULT hrList = pModes != nullptr
                               ? pOutput->GetDisplayModeList(DXGI_FORMAT_R8G8B8A8_UNORM_SRGB,
                                                             DXGI_ENUM_MODES_SCALING, &uiCount, pModes)
                               : E_FAIL;
    if (hrList == S_OK || hrList == DXGI_ERROR_MORE_DATA)
    {
        for (UINT i = 0; i < uiCount && i < uiCapacity; ++i)
        {
            KR_ScreenResolution resolution;
            resolution.m_uiWidth = pModes[i].Width;
            resolution.m_uiHeight = pModes[i].Height;
            resolution.m_uiRefreshRateNumerator = pModes[i].RefreshRate.Numerator;
            resolution.m_uiRefreshRateDenominator = pModes[i].RefreshRate.Denominator;
            pResolutions->Add(resolution);
        }
    }
    delete[] pModes;
    pOutput->Release();
    return pResolutions;
}
