#include "render/effects/KR_MetaBallRendererDX11.h"

#include "framework/app/KE_EngineMembers.h"
#include "render/device/KR_GraphicsDevice.h"
#include "render/device/KR_GraphicsResourceManager.h"
#include "render/device/KR_ReleaseAndNull.h"
#include "render/device/KR_ShaderCoreManager.h"
#include "render/device/KR_ShaderProgram.h"
#include "render/device/KR_ShaderProperties.h"
#include "render/device/KR_UtilitiesDX11.h"
#include "render/effects/KR_PostFXEngine.h"

#include <cstring>

namespace
{

constexpr std::uint32_t NUM_VIEWS = 5; // t0 to t4

KR_ShaderProgram* GetProgram(KR_GraphicsResourceManager* pResources, const char* pVertexEntry,
                             const char* pPixelEntry, ID3D11DepthStencilState* pDepth,
                             ID3D11BlendState* pBlend, ID3D11RasterizerState* pRasterizer)
{
    KR_ShaderProperties properties;
    properties.SetShaderStage(KR_SHADER_STAGE_VERTEX, KR_MetaBallRendererDX11::SHADER_FILE, pVertexEntry);
    properties.SetShaderStage(KR_SHADER_STAGE_PIXEL, KR_MetaBallRendererDX11::SHADER_FILE, pPixelEntry);
    KR_ShaderProgram* pProgram = pResources->GetShaderProgram(&properties);
    if (pProgram == nullptr || pProgram->m_pVertexShader == nullptr || pProgram->m_pPixelShader == nullptr)
        return nullptr;
    pProgram->m_pDepthStencilState = pDepth;
    pProgram->m_pBlendState = pBlend;
    pProgram->m_pRasterizerState = pRasterizer;
    return pProgram;
}

} // namespace

KR_MetaBallRendererDX11::KR_MetaBallRendererDX11() = default;

// Owned objects only: the pool may be gone by now, and ReleaseResources has handed back the buffers.
KR_MetaBallRendererDX11::~KR_MetaBallRendererDX11()
{
    ReleaseCoreRadiusDepth();
    KR_ReleaseAndNull(m_pInputLayoutPosVertex);
    KR_ReleaseAndNull(m_pFullScreenQuadVB);
    KR_ReleaseAndNull(m_pConstantBuffer);
}

bool KR_MetaBallRendererDX11::Initialize()
{
    return true;
}

bool KR_MetaBallRendererDX11::CreateResources()
{
    KR_GraphicsDevice* pGraphicsDevice = KE_GetGraphicsDevice();
    ID3D11Device* pDevice = pGraphicsDevice != nullptr ? pGraphicsDevice->GetDevice() : nullptr;
    KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager();
    if (pDevice == nullptr || pResources == nullptr)
        return false;
    KR_ReleaseAndNull(m_pInputLayoutPosVertex);
    KR_ReleaseAndNull(m_pFullScreenQuadVB);
    KR_ReleaseAndNull(m_pConstantBuffer);

    D3D11_BLEND_DESC blend{};
    D3D11_RENDER_TARGET_BLEND_DESC& target = blend.RenderTarget[0];
    target = {FALSE,           D3D11_BLEND_ONE,  D3D11_BLEND_ZERO,   D3D11_BLEND_OP_ADD,
              D3D11_BLEND_ONE, D3D11_BLEND_ZERO, D3D11_BLEND_OP_ADD, D3D11_COLOR_WRITE_ENABLE_ALL};
    m_pOpaqueBlendState = pResources->GetBlendState(&blend);
    target = {TRUE,
              D3D11_BLEND_SRC_ALPHA,
              D3D11_BLEND_INV_SRC_ALPHA,
              D3D11_BLEND_OP_ADD,
              D3D11_BLEND_ONE,
              D3D11_BLEND_ONE,
              D3D11_BLEND_OP_ADD,
              D3D11_COLOR_WRITE_ENABLE_ALL};
    m_pAlphaBlendState = pResources->GetBlendState(&blend);

    D3D11_DEPTH_STENCIL_DESC depth{};
    depth.DepthEnable = TRUE;
    depth.DepthWriteMask = D3D11_DEPTH_WRITE_MASK_ALL;
    depth.DepthFunc = D3D11_COMPARISON_LESS;
    depth.StencilEnable = FALSE;
    depth.StencilReadMask = 0xFF;
    depth.StencilWriteMask = 0xFF;
    for (D3D11_DEPTH_STENCILOP_DESC* pFace : {&depth.FrontFace, &depth.BackFace})
        *pFace = {D3D11_STENCIL_OP_KEEP, D3D11_STENCIL_OP_KEEP, D3D11_STENCIL_OP_KEEP,
                  D3D11_COMPARISON_ALWAYS};
    m_pDepthWriteState = pResources->GetDepthStencilState(&depth);
    depth.DepthWriteMask = D3D11_DEPTH_WRITE_MASK_ZERO;
    m_pDepthTestOnlyState = pResources->GetDepthStencilState(&depth);
    depth.DepthEnable = FALSE;
    m_pDepthOffState = pResources->GetDepthStencilState(&depth);

    const bool bMultisample = pGraphicsDevice->GetAntiAliasing() > 1;
    const D3D11_RASTERIZER_DESC rasterizer =
        KR_UtilitiesDX11::SolidRasterizerDesc(D3D11_CULL_BACK, bMultisample, bMultisample);
    m_pRasterizerState = pResources->GetRasterizerState(&rasterizer);

    m_pCoreRadiusProgram =
        GetProgram(pResources, "RenderVS_CoreRadius_MetaBalls", "RenderScenePS_CoreRadiusDepth",
                   m_pDepthWriteState, m_pOpaqueBlendState, m_pRasterizerState);
    m_pEffectiveRadiusProgram = GetProgram(pResources, "RenderVS_EffectiveRadius_MetaBalls",
                                           "RenderScenePS_EffectiveRadiusStoreFragments",
                                           m_pDepthTestOnlyState, m_pAlphaBlendState, m_pRasterizerState);
    m_pRayCastProgram =
        GetProgram(pResources, "RenderVS_PassThrough_MetaBalls", "RenderScenePS_RayCastAndShadeMetaBalls",
                   m_pDepthOffState, m_pAlphaBlendState, m_pRasterizerState);

    ID3DBlob* pCode =
        m_pCoreRadiusProgram != nullptr ? m_pCoreRadiusProgram->m_pBlob[KR_SHADER_STAGE_VERTEX] : nullptr;
    const D3D11_INPUT_ELEMENT_DESC element{
        "SV_POSITION", 0, DXGI_FORMAT_R32G32B32_FLOAT, 0, 0, D3D11_INPUT_PER_VERTEX_DATA, 0};
    if (pCode != nullptr &&
        FAILED(pDevice->CreateInputLayout(&element, 1, pCode->GetBufferPointer(), pCode->GetBufferSize(),
                                          &m_pInputLayoutPosVertex)))
    {
        m_pInputLayoutPosVertex = nullptr;
    }
    // Drawn instanced: one screen quad per ball.
    m_pFullScreenQuadVB = KR_UtilitiesDX11::CreateScreenCornersBuffer(pDevice);

    const D3D11_BUFFER_DESC desc{KR_MetaBallConstants::SIZE,
                                 D3D11_USAGE_DYNAMIC,
                                 D3D11_BIND_CONSTANT_BUFFER,
                                 D3D11_CPU_ACCESS_WRITE,
                                 0,
                                 0};
    if (FAILED(pDevice->CreateBuffer(&desc, nullptr, &m_pConstantBuffer)))
        m_pConstantBuffer = nullptr;
    return m_pConstantBuffer != nullptr;
}

void KR_MetaBallRendererDX11::ReleaseCoreRadiusDepth()
{
    KR_ReleaseAndNull(m_pCoreRadiusSRV);
    KR_ReleaseAndNull(m_pCoreRadiusDSV);
    KR_ReleaseAndNull(m_pCoreRadiusDepthStencilTexture);
}

bool KR_MetaBallRendererDX11::CreateSizeDependentResources()
{
    ReleaseCoreRadiusDepth();
    m_bBuffersAvailable = false;
    KR_GraphicsDevice* pGraphicsDevice = KE_GetGraphicsDevice();
    ID3D11Device* pDevice = pGraphicsDevice != nullptr ? pGraphicsDevice->GetDevice() : nullptr;
    KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager();
    if (pDevice == nullptr || pResources == nullptr)
        return true;
    m_uiWidth = pGraphicsDevice->GetWidth();
    m_uiHeight = pGraphicsDevice->GetHeight();
    m_uiSampleCount = pGraphicsDevice->GetAntiAliasing();
    m_bMultisampled = m_uiSampleCount > 1;
    const std::uint32_t uiQuality = pGraphicsDevice->GetMultisampleQuality();

    const std::uint64_t uiPixels = std::uint64_t{m_uiWidth} * m_uiHeight;
    const std::uint32_t uiLists = D3D11_BIND_UNORDERED_ACCESS | D3D11_BIND_SHADER_RESOURCE;
    // All three are described, even when one does not fit.
    const bool bBalls = KR_BufferResourceDescription::Describe(
        m_oBallBufferDescription, MAX_BALLS, BALL_STRIDE, D3D11_USAGE_DYNAMIC, D3D11_BIND_SHADER_RESOURCE,
        D3D11_RESOURCE_MISC_BUFFER_STRUCTURED, D3D11_CPU_ACCESS_WRITE);
    const bool bFragments = KR_BufferResourceDescription::Describe(
        m_oFragmentBufferDescription, uiPixels * FRAGMENTS_PER_PIXEL, FRAGMENT_STRIDE, D3D11_USAGE_DEFAULT,
        uiLists, D3D11_RESOURCE_MISC_BUFFER_STRUCTURED, 0);
    const bool bHeads = KR_BufferResourceDescription::Describe(m_oHeadBufferDescription, uiPixels,
                                                               HEAD_STRIDE, D3D11_USAGE_DEFAULT, uiLists,
                                                               D3D11_RESOURCE_MISC_BUFFER_ALLOW_RAW_VIEWS, 0);
    const bool bDescribed = bBalls && bFragments && bHeads;
    // Made once now, so the pool holds buffers of this size before Render asks for them, and so a
    // size the device refuses is known beforehand.
    if (bDescribed && AcquireBuffers())
    {
        m_bBuffersAvailable = true;
        ReleaseBuffers();
    }

    const D3D11_TEXTURE2D_DESC texture{m_uiWidth,
                                       m_uiHeight,
                                       1,
                                       1,
                                       DXGI_FORMAT_R32_TYPELESS,
                                       {m_uiSampleCount, uiQuality},
                                       D3D11_USAGE_DEFAULT,
                                       D3D11_BIND_DEPTH_STENCIL | D3D11_BIND_SHADER_RESOURCE,
                                       0,
                                       0};
    if (FAILED(pDevice->CreateTexture2D(&texture, nullptr, &m_pCoreRadiusDepthStencilTexture)))
        m_pCoreRadiusDepthStencilTexture = nullptr;
    if (m_pCoreRadiusDepthStencilTexture == nullptr)
        return true;
    D3D11_DEPTH_STENCIL_VIEW_DESC depthView{};
    depthView.Format = DXGI_FORMAT_D32_FLOAT;
    depthView.ViewDimension =
        m_bMultisampled ? D3D11_DSV_DIMENSION_TEXTURE2DMS : D3D11_DSV_DIMENSION_TEXTURE2D;
    if (FAILED(
            pDevice->CreateDepthStencilView(m_pCoreRadiusDepthStencilTexture, &depthView, &m_pCoreRadiusDSV)))
        m_pCoreRadiusDSV = nullptr;
    D3D11_SHADER_RESOURCE_VIEW_DESC resourceView{};
    resourceView.Format = DXGI_FORMAT_R32_FLOAT;
    if (m_bMultisampled)
    {
        resourceView.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2DMS;
    }
    else
    {
        resourceView.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2D;
        resourceView.Texture2D = {0, 1};
    }
    if (FAILED(pDevice->CreateShaderResourceView(m_pCoreRadiusDepthStencilTexture, &resourceView,
                                                 &m_pCoreRadiusSRV)))
    {
        m_pCoreRadiusSRV = nullptr;
    }
    return true;
}

bool KR_MetaBallRendererDX11::ReleaseResources()
{
    ReleaseBuffers();
    ReleaseCoreRadiusDepth();
    KR_ReleaseAndNull(m_pInputLayoutPosVertex);
    KR_ReleaseAndNull(m_pFullScreenQuadVB);
    KR_ReleaseAndNull(m_pConstantBuffer);
    m_pOpaqueBlendState = nullptr;
    m_pAlphaBlendState = nullptr;
    m_pDepthWriteState = nullptr;
    m_pDepthTestOnlyState = nullptr;
    m_pDepthOffState = nullptr;
    m_pRasterizerState = nullptr;
    m_pCoreRadiusProgram = nullptr;
    m_pEffectiveRadiusProgram = nullptr;
    m_pRayCastProgram = nullptr;
    return true;
}

bool KR_MetaBallRendererDX11::ReleaseSizeDependentResources()
{
    return true;
}

bool KR_MetaBallRendererDX11::AcquireBuffers()
{
    KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager();
    if (pResources == nullptr)
        return false;
    m_uiBallBuffer = pResources->AcquireBuffer(&m_oBallBufferDescription);
    m_uiFragmentBuffer = pResources->AcquireBuffer(&m_oFragmentBufferDescription);
    m_uiHeadBuffer = pResources->AcquireBuffer(&m_oHeadBufferDescription);
    if (pResources->GetBuffer(m_uiBallBuffer) != nullptr &&
        pResources->GetBufferShaderResourceView(m_uiBallBuffer) != nullptr &&
        pResources->GetBufferUnorderedAccessView(m_uiFragmentBuffer) != nullptr &&
        pResources->GetBufferShaderResourceView(m_uiFragmentBuffer) != nullptr &&
        pResources->GetBufferUnorderedAccessView(m_uiHeadBuffer) != nullptr &&
        pResources->GetBufferShaderResourceView(m_uiHeadBuffer) != nullptr)
    {
        return true;
    }
    ReleaseBuffers();
    return false;
}

void KR_MetaBallRendererDX11::ReleaseBuffers()
{
    KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager();
    for (std::uint32_t* pHandle : {&m_uiBallBuffer, &m_uiFragmentBuffer, &m_uiHeadBuffer})
    {
        if (pResources != nullptr && *pHandle != INVALID_HANDLE)
            pResources->ReleaseBuffer(pHandle);
        *pHandle = INVALID_HANDLE;
    }
}

bool KR_MetaBallRendererDX11::Upload(ID3D11DeviceContext* pContext, ID3D11Buffer* pBuffer, const void* pData,
                                     std::size_t uiBytes)
{
    D3D11_MAPPED_SUBRESOURCE mapped{};
    if (FAILED(pContext->Map(pBuffer, 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped)))
        return false;
    std::memcpy(mapped.pData, pData, uiBytes);
    pContext->Unmap(pBuffer, 0);
    return true;
}

bool KR_MetaBallRendererDX11::Render(KR_Camera* pCamera, const KB_GrowingArray<KR_MetaBall>* pBalls,
                                     float fCoreRadius)
{
    const std::uint32_t uiCount = pBalls != nullptr ? pBalls->GetNumMembers() : 0;
    if (uiCount == 0 || uiCount >= MAX_BALLS || pCamera == nullptr)
        return false;
    KR_GraphicsDevice* pGraphicsDevice = KE_GetGraphicsDevice();
    ID3D11DeviceContext* pContext =
        pGraphicsDevice != nullptr ? pGraphicsDevice->GetImmediateContext() : nullptr;
    KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager();
    KR_ShaderCoreManager* pCore = KE_GetShaderCoreManager();
    if (pContext == nullptr || pResources == nullptr || pCore == nullptr)
        return false;
    // The scene's depth: pass 1 writes the cores into it, pass 2 tests against it. While the
    // post-processing chain runs, the scene draws into the engine's depth buffer, else the device's.
    KR_PostFXEngine* pPostFX = KE_GetPostFXEngine();
    ID3D11DepthStencilView* pSceneDepthView =
        pPostFX != nullptr ? pPostFX->GetDepthStencilView() : pGraphicsDevice->GetMainDepthStencilView();
    ID3D11Texture2D* pSceneDepthTexture =
        pPostFX != nullptr ? pPostFX->GetDepthStencilTexture() : pGraphicsDevice->GetDepthStencilTexture();
    if (!m_bBuffersAvailable || m_pCoreRadiusDepthStencilTexture == nullptr || m_pCoreRadiusSRV == nullptr ||
        m_pConstantBuffer == nullptr || m_pFullScreenQuadVB == nullptr ||
        m_pInputLayoutPosVertex == nullptr || m_pCoreRadiusProgram == nullptr ||
        m_pEffectiveRadiusProgram == nullptr || m_pRayCastProgram == nullptr || pSceneDepthView == nullptr ||
        pSceneDepthTexture == nullptr)
    {
        return false;
    }
    if (!AcquireBuffers())
    {
        // Not asked for again before the next resize: each failed request leaves a pool record.
        m_bBuffersAvailable = false;
        return false;
    }
    KR_MetaBallConstants::Pack(*pCamera, m_uiWidth, m_uiHeight, uiCount, m_uiSampleCount, fCoreRadius,
                               m_aConstantData);
    if (!Upload(pContext, pResources->GetBuffer(m_uiBallBuffer), &(*pBalls)[0],
                std::size_t{uiCount} * sizeof(KR_MetaBall)) ||
        !Upload(pContext, m_pConstantBuffer, m_aConstantData, sizeof(m_aConstantData)))
    {
        ReleaseBuffers();
        return false;
    }
    ID3D11ShaderResourceView* pBallView = pResources->GetBufferShaderResourceView(m_uiBallBuffer);
    ID3D11UnorderedAccessView* apLists[2] = {pResources->GetBufferUnorderedAccessView(m_uiFragmentBuffer),
                                             pResources->GetBufferUnorderedAccessView(m_uiHeadBuffer)};
    pContext->OMGetRenderTargets(1, &m_pSavedRenderTargetView, &m_pSavedDepthStencilView);
    const UINT auiEmpty[4] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
    pContext->ClearUnorderedAccessViewUint(apLists[1], auiEmpty);
    pContext->OMSetRenderTargets(0, nullptr, pSceneDepthView);

    const UINT uiStride = 12;
    const UINT uiOffset = 0;
    pContext->VSSetConstantBuffers(0, 1, &m_pConstantBuffer);
    pContext->PSSetConstantBuffers(0, 1, &m_pConstantBuffer);
    pContext->IASetInputLayout(m_pInputLayoutPosVertex);
    pContext->IASetVertexBuffers(0, 1, &m_pFullScreenQuadVB, &uiStride, &uiOffset);
    pContext->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLESTRIP);
    ID3D11ShaderResourceView* apViews[NUM_VIEWS] = {pBallView, nullptr, nullptr, nullptr, nullptr};
    pContext->VSSetShaderResources(0, NUM_VIEWS, apViews);
    pContext->PSSetShaderResources(0, NUM_VIEWS, apViews);

    // Pass 1: the cores into the scene depth, then a copy of that depth for pass 2 to read.
    pCore->ApplyShaderProgram(m_pCoreRadiusProgram);
    pContext->DrawInstanced(4, uiCount, 0, 0);
    pContext->CopyResource(m_pCoreRadiusDepthStencilTexture, pSceneDepthTexture);

    // Pass 2: the spheres of influence into the lists; initial count 0 resets the fragment counter.
    const UINT auiInitialCounts[2] = {0, 0};
    pContext->OMSetRenderTargetsAndUnorderedAccessViews(0, nullptr, pSceneDepthView, 0, 2, apLists,
                                                        auiInitialCounts);
    apViews[m_bMultisampled ? 4 : 3] = m_pCoreRadiusSRV;
    pContext->VSSetShaderResources(0, NUM_VIEWS, apViews);
    pContext->PSSetShaderResources(0, NUM_VIEWS, apViews);
    pCore->ApplyShaderProgram(m_pEffectiveRadiusProgram);
    pContext->DrawInstanced(4, uiCount, 0, 0);
    ID3D11UnorderedAccessView* apNoLists[2] = {nullptr, nullptr};
    pContext->OMSetRenderTargetsAndUnorderedAccessViews(0, nullptr, pSceneDepthView, 0, 2, apNoLists,
                                                        nullptr);
    pContext->OMSetRenderTargets(0, nullptr, nullptr);

    // Pass 3: ray cast of the lists into the caller's target.
    ID3D11ShaderResourceView* apCastViews[NUM_VIEWS] = {
        pBallView, pResources->GetBufferShaderResourceView(m_uiFragmentBuffer),
        pResources->GetBufferShaderResourceView(m_uiHeadBuffer), nullptr, nullptr};
    pContext->VSSetShaderResources(0, NUM_VIEWS, apCastViews);
    pContext->PSSetShaderResources(0, NUM_VIEWS, apCastViews);
    pContext->OMSetRenderTargets(1, &m_pSavedRenderTargetView, m_pSavedDepthStencilView);
    pCore->EnableCubeMaps(true);
    pCore->ApplyShaderProgram(m_pRayCastProgram);
    pContext->Draw(4, 0);

    ReleaseBuffers();
    ID3D11ShaderResourceView* apNone[NUM_VIEWS] = {};
    pContext->VSSetShaderResources(0, NUM_VIEWS, apNone);
    pContext->PSSetShaderResources(0, NUM_VIEWS, apNone);
    KR_ReleaseAndNull(m_pSavedRenderTargetView);
    KR_ReleaseAndNull(m_pSavedDepthStencilView);
    return true;
}
