#include "render/device/KR_GraphicsDeviceDX11.h"

#include "render/device/KR_ReleaseAndNull.h"
#include "render/device/KR_UtilitiesDX11.h"

KR_GraphicsDeviceDX11::KR_GraphicsDeviceDX11(ID3D11Device* pDevice, ID3D11DeviceContext* pImmediateContext,
                                             IDXGISwapChain* pSwapChain,
                                             const KR_ScreenResolution& screenResolution)
    : m_pDevice(pDevice), m_pImmediateContext(pImmediateContext), m_pSwapChain(pSwapChain),
      m_oScreenResolution(screenResolution)
{
}

KR_GraphicsDeviceDX11::~KR_GraphicsDeviceDX11()
{
    ReleaseSizeDependentResources();
    // References taken by pushes that were never popped.
    for (std::uint32_t i = 0; i < m_gRasterizerStateStack.GetNumMembers(); ++i)
        KR_ReleaseAndNull(m_gRasterizerStateStack[i]);
    m_gRasterizerStateStack.RemoveAll();
    if (m_pImmediateContext != nullptr)
    {
        m_pImmediateContext->ClearState();
        m_pImmediateContext->Flush();
        KR_ReleaseAndNull(m_pImmediateContext);
    }
    if (m_pSwapChain != nullptr)
    {
        if (IsFullscreen())
            m_pSwapChain->SetFullscreenState(FALSE, nullptr);
        KR_ReleaseAndNull(m_pSwapChain);
    }
    KR_ReleaseAndNull(m_pDevice);
}

ID3D11Device* KR_GraphicsDeviceDX11::GetDevice()
{
    return m_pDevice;
}

ID3D11DeviceContext* KR_GraphicsDeviceDX11::GetImmediateContext()
{
    return m_pImmediateContext;
}

void KR_GraphicsDeviceDX11::BindMainRenderTarget()
{
    m_pImmediateContext->OMSetRenderTargets(1, &m_pMainRenderTargetView, m_pMainDepthStencilView);
    m_pImmediateContext->RSSetViewports(1, &m_oMainViewport);
    m_pImmediateContext->RSSetState(m_pMainRasterizerState);
}

void KR_GraphicsDeviceDX11::UnbindRenderTargets()
{
    m_pImmediateContext->OMSetRenderTargets(0, nullptr, nullptr);
    m_pImmediateContext->RSSetViewports(0, nullptr);
    m_pImmediateContext->RSSetState(nullptr);
}

void KR_GraphicsDeviceDX11::ClearMainRenderTarget(const float colour[4])
{
    m_pImmediateContext->ClearRenderTargetView(m_pMainRenderTargetView, colour);
}

void KR_GraphicsDeviceDX11::ClearMainDepthStencil(float fDepth)
{
    m_pImmediateContext->ClearDepthStencilView(m_pMainDepthStencilView, D3D11_CLEAR_DEPTH, fDepth, 0);
}

void KR_GraphicsDeviceDX11::Present()
{
    m_pSwapChain->Present(IsVSync() ? 1 : 0, 0);
}

void KR_GraphicsDeviceDX11::PushRasterizerState()
{
    ID3D11RasterizerState* pState = nullptr;
    m_pImmediateContext->RSGetState(&pState);
    m_gRasterizerStateStack.Add(pState);
}

void KR_GraphicsDeviceDX11::PopRasterizerState()
{
    const std::uint32_t uiCount = m_gRasterizerStateStack.GetNumMembers();
    if (uiCount == 0)
        return;
    ID3D11RasterizerState* pState = m_gRasterizerStateStack[uiCount - 1];
    m_gRasterizerStateStack.Remove(uiCount - 1);
    m_pImmediateContext->RSSetState(pState);
    KR_ReleaseAndNull(pState);
}

bool KR_GraphicsDeviceDX11::CreateSizeDependentResources()
{
    const std::uint32_t uiSamples = m_oScreenResolution.m_uiAntiAliasing;
    const bool bMultisampled = uiSamples > 1;

    ID3D11Texture2D* pBackBuffer = nullptr;
    if (FAILED(m_pSwapChain->GetBuffer(0, IID_ID3D11Texture2D, reinterpret_cast<void**>(&pBackBuffer))))
        return false;
    const HRESULT hrView = m_pDevice->CreateRenderTargetView(pBackBuffer, nullptr, &m_pMainRenderTargetView);
    pBackBuffer->Release();
    if (FAILED(hrView))
        return false;

    D3D11_TEXTURE2D_DESC depthDesc{};
    depthDesc.Width = m_oScreenResolution.m_uiWidth;
    depthDesc.Height = m_oScreenResolution.m_uiHeight;
    depthDesc.MipLevels = 1;
    depthDesc.ArraySize = 1;
    depthDesc.Format = DXGI_FORMAT_R32_TYPELESS;
    depthDesc.SampleDesc.Count = uiSamples;
    depthDesc.SampleDesc.Quality = m_oScreenResolution.m_uiMultisampleQuality;
    depthDesc.Usage = D3D11_USAGE_DEFAULT;
    depthDesc.BindFlags =
        bMultisampled ? D3D11_BIND_DEPTH_STENCIL : (D3D11_BIND_DEPTH_STENCIL | D3D11_BIND_SHADER_RESOURCE);
    if (FAILED(m_pDevice->CreateTexture2D(&depthDesc, nullptr, &m_pDepthStencilTexture)))
        return false;

    D3D11_DEPTH_STENCIL_VIEW_DESC dsvDesc{};
    dsvDesc.Format = DXGI_FORMAT_D32_FLOAT;
    dsvDesc.ViewDimension = bMultisampled ? D3D11_DSV_DIMENSION_TEXTURE2DMS : D3D11_DSV_DIMENSION_TEXTURE2D;
    dsvDesc.Texture2D.MipSlice = 0;
    if (FAILED(m_pDevice->CreateDepthStencilView(m_pDepthStencilTexture, &dsvDesc, &m_pMainDepthStencilView)))
        return false;

    if (bMultisampled)
    {
        D3D11_TEXTURE2D_DESC resolvedDesc = depthDesc;
        resolvedDesc.SampleDesc.Count = 1;
        resolvedDesc.SampleDesc.Quality = 0;
        resolvedDesc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
        if (FAILED(m_pDevice->CreateTexture2D(&resolvedDesc, nullptr, &m_pResolvedDepthStencilTexture)))
            return false;
    }

    D3D11_SHADER_RESOURCE_VIEW_DESC srvDesc{};
    srvDesc.Format = DXGI_FORMAT_R32_FLOAT;
    srvDesc.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2D;
    srvDesc.Texture2D.MostDetailedMip = 0;
    srvDesc.Texture2D.MipLevels = 1;
    ID3D11Texture2D* pReadable = bMultisampled ? m_pResolvedDepthStencilTexture : m_pDepthStencilTexture;
    if (FAILED(m_pDevice->CreateShaderResourceView(pReadable, &srvDesc, &m_pDepthStencilSRV)))
        return false;

    m_oMainViewport.TopLeftX = 0.0f;
    m_oMainViewport.TopLeftY = 0.0f;
    m_oMainViewport.Width = static_cast<float>(m_oScreenResolution.m_uiWidth);
    m_oMainViewport.Height = static_cast<float>(m_oScreenResolution.m_uiHeight);
    m_oMainViewport.MinDepth = 0.0f;
    m_oMainViewport.MaxDepth = 1.0f;

    const D3D11_RASTERIZER_DESC rasterizerDesc =
        KR_UtilitiesDX11::SolidRasterizerDesc(D3D11_CULL_BACK, bMultisampled, bMultisampled);
    // Without it the frame simply runs with the default state.
    m_pDevice->CreateRasterizerState(&rasterizerDesc, &m_pMainRasterizerState);
    return true;
}

void KR_GraphicsDeviceDX11::ReleaseSizeDependentResources()
{
    KR_ReleaseAndNull(m_pMainRasterizerState);
    KR_ReleaseAndNull(m_pDepthStencilSRV);
    KR_ReleaseAndNull(m_pResolvedDepthStencilTexture);
    KR_ReleaseAndNull(m_pMainDepthStencilView);
    KR_ReleaseAndNull(m_pDepthStencilTexture);
    KR_ReleaseAndNull(m_pMainRenderTargetView);
}

bool KR_GraphicsDeviceDX11::IsFullscreen()
{
    return m_oScreenResolution.m_bFullscreen;
}

bool KR_GraphicsDeviceDX11::IsVSync()
{
    return m_oScreenResolution.m_bVSync;
}

std::uint32_t KR_GraphicsDeviceDX11::GetWidth()
{
    return m_oScreenResolution.m_uiWidth;
}

std::uint32_t KR_GraphicsDeviceDX11::GetHeight()
{
    return m_oScreenResolution.m_uiHeight;
}

float KR_GraphicsDeviceDX11::GetAspectRatio()
{
    switch (m_oScreenResolution.m_eAspectRatio)
    {
    case KR_ASPECT_RATIO_FROM_SIZE:
        return static_cast<float>(m_oScreenResolution.m_uiWidth) /
               static_cast<float>(m_oScreenResolution.m_uiHeight);
    case KR_ASPECT_RATIO_3_2:
        return 1.5f;
    case KR_ASPECT_RATIO_4_3:
        return 1.3333334f;
    case KR_ASPECT_RATIO_5_3:
        return 1.6666666f;
    case KR_ASPECT_RATIO_5_4:
        return 1.25f;
    case KR_ASPECT_RATIO_16_9:
        return 1.7777778f;
    case KR_ASPECT_RATIO_16_10:
        return 1.6f;
    default:
        return 1.33f;
    }
}

std::uint32_t KR_GraphicsDeviceDX11::GetAntiAliasing()
{
    return m_oScreenResolution.m_uiAntiAliasing;
}

std::uint32_t KR_GraphicsDeviceDX11::GetMultisampleQuality()
{
    return m_oScreenResolution.m_uiMultisampleQuality;
}

std::uint32_t KR_GraphicsDeviceDX11::GetRenderingQuality()
{
    return m_oScreenResolution.m_uiRenderingQuality;
}

ID3D11ShaderResourceView* KR_GraphicsDeviceDX11::GetDepthShaderResourceView()
{
    if (m_oScreenResolution.m_uiAntiAliasing >= 2 && m_pResolvedDepthStencilTexture != nullptr &&
        m_pDepthStencilTexture != nullptr)
    {
        m_pImmediateContext->ResolveSubresource(m_pResolvedDepthStencilTexture, 0, m_pDepthStencilTexture, 0,
                                                DXGI_FORMAT_R32_FLOAT);
    }
    return m_pDepthStencilSRV;
}

ID3D11Texture2D* KR_GraphicsDeviceDX11::GetDepthStencilTexture()
{
    return m_pDepthStencilTexture;
}

ID3D11DepthStencilView* KR_GraphicsDeviceDX11::GetMainDepthStencilView()
{
    return m_pMainDepthStencilView;
}

bool KR_GraphicsDeviceDX11::Resize(const KR_ScreenResolution* pScreenResolution)
{
    const KR_ScreenResolution previous = m_oScreenResolution;
    m_oScreenResolution = *pScreenResolution;
    if (m_pSwapChain->ResizeBuffers(0, m_oScreenResolution.m_uiWidth, m_oScreenResolution.m_uiHeight,
                                    DXGI_FORMAT_UNKNOWN, 0) != S_OK)
    {
        // The back buffer keeps its old size: so do the depth buffer and viewport made from the
        // resolution after this.
        m_oScreenResolution = previous;
        return false;
    }
    DXGI_SWAP_CHAIN_DESC desc{};
    m_pSwapChain->GetDesc(&desc);
    m_oScreenResolution.m_uiMultisampleQuality = desc.SampleDesc.Quality;
    return true;
}
