#include "platform/d3d11/DXGISwapChain.h"

#include "platform/d3d11/D3D11Device.h"
#include "platform/d3d11/D3D11Resources.h"

#include <cstdint>
#include <new>

namespace d3d11_internal
{

namespace
{

constexpr const char* INTERFACE_NAME = "IDXGISwapChain";
constexpr UINT MAX_BUFFER_COUNT = 16;
constexpr UINT MAX_SYNC_INTERVAL = 4;
constexpr std::uint64_t NANOSECONDS_PER_SECOND = 1000000000;

bool IsDisplayFormat(DXGI_FORMAT format)
{
    switch (format)
    {
    case DXGI_FORMAT_R8G8B8A8_UNORM:
    case DXGI_FORMAT_R8G8B8A8_UNORM_SRGB:
    case DXGI_FORMAT_B8G8R8A8_UNORM:
    case DXGI_FORMAT_B8G8R8A8_UNORM_SRGB:
    case DXGI_FORMAT_R16G16B16A16_FLOAT:
    case DXGI_FORMAT_R10G10B10A2_UNORM:
    case DXGI_FORMAT_R10G10B10_XR_BIAS_A2_UNORM:
        return true;
    default:
        return false;
    }
}

} // namespace

SwapChain::SwapChain() : ComObject<IDXGISwapChain>(INTERFACE_NAME)
{
}

HRESULT SwapChain::Create(IUnknown* pDevice, const DXGI_SWAP_CHAIN_DESC* pDesc, SwapChain** ppOut)
{
    if (Device::From(pDevice) == nullptr || pDesc == nullptr || pDesc->OutputWindow == nullptr ||
        pDesc->BufferCount < 1 || pDesc->BufferCount > MAX_BUFFER_COUNT || pDesc->BufferDesc.Width == 0 ||
        pDesc->BufferDesc.Height == 0 || !IsDisplayFormat(pDesc->BufferDesc.Format) ||
        (pDesc->SwapEffect != DXGI_SWAP_EFFECT_DISCARD && pDesc->SwapEffect != DXGI_SWAP_EFFECT_SEQUENTIAL) ||
        (pDesc->SwapEffect == DXGI_SWAP_EFFECT_SEQUENTIAL && pDesc->SampleDesc.Count != 1))
    {
        return DXGI_ERROR_INVALID_CALL;
    }
    SwapChain* pSwapChain = nullptr;
    try
    {
        pSwapChain = new SwapChain();
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }
    const HRESULT hr = pSwapChain->CreateBackBuffer(*pDesc);
    if (FAILED(hr))
    {
        pSwapChain->Discard();
        return hr == E_INVALIDARG ? DXGI_ERROR_INVALID_CALL : hr;
    }
    pSwapChain->m_device.Set(pDevice);
    pSwapChain->m_desc = *pDesc;
    pSwapChain->m_bFullscreen = pDesc->Windowed == FALSE;
    *ppOut = pSwapChain;
    return S_OK;
}

bool SwapChain::Implements(REFIID riid) const
{
    return IsEqualIID(riid, IID_IDXGISwapChain) || IsEqualIID(riid, IID_IDXGIDeviceSubObject) ||
           IsEqualIID(riid, IID_IDXGIObject) || IsEqualIID(riid, IID_IUnknown);
}

HRESULT SwapChain::CreateBackBuffer(const DXGI_SWAP_CHAIN_DESC& desc)
{
    D3D11_TEXTURE2D_DESC textureDesc{};
    textureDesc.Width = desc.BufferDesc.Width;
    textureDesc.Height = desc.BufferDesc.Height;
    textureDesc.MipLevels = 1;
    textureDesc.ArraySize = 1;
    textureDesc.Format = desc.BufferDesc.Format;
    textureDesc.SampleDesc = desc.SampleDesc;
    textureDesc.Usage = D3D11_USAGE_DEFAULT;
    textureDesc.BindFlags = D3D11_BIND_RENDER_TARGET;
    if ((desc.BufferUsage & DXGI_USAGE_SHADER_INPUT) != 0)
        textureDesc.BindFlags |= D3D11_BIND_SHADER_RESOURCE;
    Texture2D* pTexture = nullptr;
    const HRESULT hr = Texture2D::Create(&textureDesc, nullptr, &pTexture);
    if (FAILED(hr))
        return hr;
    m_backBuffer.Adopt(pTexture);
    return S_OK;
}

HRESULT SwapChain::Present(UINT SyncInterval, UINT Flags)
{
    Runtime& runtime = Runtime::Get();
    HRESULT hr = runtime.TakeFailure(INTERFACE_NAME, "Present");
    if (SUCCEEDED(hr) && SyncInterval > MAX_SYNC_INTERVAL)
        hr = DXGI_ERROR_INVALID_CALL;
    if (SUCCEEDED(hr))
        PaceTo(SyncInterval);
    runtime.Log(INTERFACE_NAME, "Present", hr, {GetId()},
                {static_cast<double>(SyncInterval), static_cast<double>(Flags)});
    if (SUCCEEDED(hr))
        runtime.EndFrame(SyncInterval);
    return hr;
}

void SwapChain::PaceTo(UINT uiSyncInterval)
{
    Runtime& runtime = Runtime::Get();
    std::uint64_t uiDue = 0;
    if (m_bPresented && uiSyncInterval > 0 && runtime.IsPresentPacing())
    {
        // The mode's refresh rate; a mode that names none refreshes at 60 Hz.
        std::uint64_t uiNumerator = m_desc.BufferDesc.RefreshRate.Numerator;
        std::uint64_t uiDenominator = m_desc.BufferDesc.RefreshRate.Denominator;
        if (uiNumerator == 0 || uiDenominator == 0)
        {
            uiNumerator = 60;
            uiDenominator = 1;
        }
        uiDue = m_uiLastPresent + uiSyncInterval * NANOSECONDS_PER_SECOND * uiDenominator / uiNumerator;
    }
    m_uiLastPresent = runtime.WaitUntil(uiDue);
    m_bPresented = true;
}

HRESULT SwapChain::GetBuffer(UINT Buffer, REFIID riid, void** ppSurface)
{
    Runtime& runtime = Runtime::Get();
    HRESULT hr = runtime.TakeFailure(INTERFACE_NAME, "GetBuffer");
    if (SUCCEEDED(hr))
    {
        // Only the first buffer is reachable: always so for DXGI_SWAP_EFFECT_DISCARD, and the
        // stand-in keeps a single buffer for the sequential effect as well.
        if (ppSurface == nullptr || Buffer != 0)
            hr = DXGI_ERROR_INVALID_CALL;
        else
            hr = m_backBuffer.Get()->QueryInterface(riid, ppSurface);
    }
    else if (ppSurface != nullptr)
    {
        *ppSurface = nullptr;
    }
    runtime.Log(INTERFACE_NAME, "GetBuffer", hr,
                {GetId(), SUCCEEDED(hr) ? Object::IdOf(m_backBuffer.Get()) : 0},
                {static_cast<double>(Buffer)});
    return hr;
}

HRESULT SwapChain::SetFullscreenState(BOOL Fullscreen, IDXGIOutput* pTarget)
{
    Runtime& runtime = Runtime::Get();
    const HRESULT hr = runtime.TakeFailure(INTERFACE_NAME, "SetFullscreenState");
    if (SUCCEEDED(hr))
        m_bFullscreen = Fullscreen != FALSE;
    runtime.Log(INTERFACE_NAME, "SetFullscreenState", hr, {GetId(), Object::IdOf(pTarget)},
                {static_cast<double>(Fullscreen)});
    return hr;
}

HRESULT SwapChain::GetDesc(DXGI_SWAP_CHAIN_DESC* pDesc)
{
    Runtime& runtime = Runtime::Get();
    HRESULT hr = runtime.TakeFailure(INTERFACE_NAME, "GetDesc");
    if (SUCCEEDED(hr) && pDesc == nullptr)
        hr = E_INVALIDARG;
    if (SUCCEEDED(hr))
    {
        *pDesc = m_desc;
        pDesc->Windowed = m_bFullscreen ? FALSE : TRUE;
    }
    runtime.Log(INTERFACE_NAME, "GetDesc", hr, {GetId()}, {});
    return hr;
}

HRESULT SwapChain::ResizeBuffers(UINT BufferCount, UINT Width, UINT Height, DXGI_FORMAT NewFormat,
                                 UINT SwapChainFlags)
{
    Runtime& runtime = Runtime::Get();
    HRESULT hr = runtime.TakeFailure(INTERFACE_NAME, "ResizeBuffers");
    DXGI_SWAP_CHAIN_DESC desc = m_desc;
    if (SUCCEEDED(hr))
    {
        if (BufferCount != 0)
            desc.BufferCount = BufferCount;
        if (Width != 0)
            desc.BufferDesc.Width = Width;
        if (Height != 0)
            desc.BufferDesc.Height = Height;
        if (NewFormat != DXGI_FORMAT_UNKNOWN)
            desc.BufferDesc.Format = NewFormat;
        desc.Flags = SwapChainFlags;
        // Every reference to the back buffer (views included) must be gone first.
        const Object* pBuffer = Object::From(m_backBuffer.Get());
        if (desc.BufferCount > MAX_BUFFER_COUNT || !IsDisplayFormat(desc.BufferDesc.Format) ||
            pBuffer->GetRefCount() > 1)
        {
            hr = DXGI_ERROR_INVALID_CALL;
        }
    }
    if (SUCCEEDED(hr))
    {
        hr = CreateBackBuffer(desc);
        if (hr == E_INVALIDARG)
            hr = DXGI_ERROR_INVALID_CALL;
    }
    if (SUCCEEDED(hr))
        m_desc = desc;
    runtime.Log(INTERFACE_NAME, "ResizeBuffers", hr, {GetId()},
                {static_cast<double>(BufferCount), static_cast<double>(Width), static_cast<double>(Height),
                 static_cast<double>(NewFormat), static_cast<double>(SwapChainFlags)});
    return hr;
}

} // namespace d3d11_internal
