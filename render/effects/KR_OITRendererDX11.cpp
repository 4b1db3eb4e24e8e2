#include "render/effects/KR_OITRendererDX11.h"

#include "framework/app/KE_ApplicationManager.h"
#include "framework/app/KE_EngineMembers.h"
#include "render/device/KR_EngineDevice.h"
#include "render/device/KR_GraphicsDevice.h"
#include "render/device/KR_GraphicsResourceManager.h"
#include "render/device/KR_MaterialManager.h"
#include "render/device/KR_ReleaseAndNull.h"
#include "render/device/KR_ShaderCoreManager.h"
#include "render/device/KR_UtilitiesDX11.h"

#include <cstring>

namespace
{

// The description of a list buffer of count elements; false when its bytes do not fit the 32-bit
// width a buffer has (the description is then left empty).
bool DescribeList(KR_BufferResourceDescription& description, std::uint64_t uiCount, std::uint32_t uiStride,
                  std::uint32_t uiMiscFlags)
{
    return KR_BufferResourceDescription::Describe(description, uiCount, uiStride, D3D11_USAGE_DEFAULT,
                                                  D3D11_BIND_UNORDERED_ACCESS | D3D11_BIND_SHADER_RESOURCE,
                                                  uiMiscFlags, 0);
}

} // namespace

KR_OITRendererDX11::KR_OITRendererDX11() = default;

// Owned objects only: the pool may be gone by now, and ReleaseResources has handed back the lists.
KR_OITRendererDX11::~KR_OITRendererDX11()
{
    KR_ReleaseAndNull(m_pSavedRasterizerState);
    KR_ReleaseAndNull(m_pFullScreenQuadVB);
    KR_ReleaseAndNull(m_pConstantBuffer);
}

bool KR_OITRendererDX11::Initialize()
{
    return true;
}

bool KR_OITRendererDX11::CreateResources()
{
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    KR_GraphicsDevice* pGraphicsDevice = KE_GetGraphicsDevice();
    ID3D11Device* pDevice = pGraphicsDevice != nullptr ? pGraphicsDevice->GetDevice() : nullptr;
    if (pEngine == nullptr || pDevice == nullptr)
        return false;
    KR_ReleaseAndNull(m_pFullScreenQuadVB);
    KR_ReleaseAndNull(m_pConstantBuffer);
    const std::uint8_t uiFormat = RESOLVE_VERTEX_FORMAT;
    KR_MaterialManager* pMaterials = pEngine->GetMaterialManager();
    m_pResolveProgram = pMaterials != nullptr ? pMaterials->BuildOITShaderProperties(&uiFormat) : nullptr;
    KR_GraphicsResourceManager* pResources = pEngine->GetGraphicsResourceManager();
    m_pResolveInputLayout = pResources != nullptr ? pResources->GetInputLayout(&uiFormat) : nullptr;
    m_pFullScreenQuadVB = KR_UtilitiesDX11::CreateScreenCornersBuffer(pDevice);
    const D3D11_BUFFER_DESC desc{
        CONSTANT_BUFFER_SIZE, D3D11_USAGE_DYNAMIC, D3D11_BIND_CONSTANT_BUFFER, D3D11_CPU_ACCESS_WRITE, 0, 0};
    if (FAILED(pDevice->CreateBuffer(&desc, nullptr, &m_pConstantBuffer)))
        m_pConstantBuffer = nullptr;
    return m_pConstantBuffer != nullptr;
}

bool KR_OITRendererDX11::CreateSizeDependentResources()
{
    KR_GraphicsDevice* pDevice = KE_GetGraphicsDevice();
    KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager();
    m_bListsAvailable = false;
    if (pDevice == nullptr || pResources == nullptr)
        return true;
    const std::uint32_t uiWidth = pDevice->GetWidth();
    const std::uint64_t uiPixels = std::uint64_t{uiWidth} * pDevice->GetHeight();
    std::memset(m_aConstantData, 0, sizeof(m_aConstantData));
    std::memcpy(m_aConstantData, &uiWidth, sizeof(uiWidth));
    m_bMultisampled = pDevice->GetAntiAliasing() > 1;
    // Both are described, even when the first does not fit.
    const bool bFragments = DescribeList(m_oFragmentBufferDescription, uiPixels * FRAGMENTS_PER_PIXEL,
                                         FRAGMENT_STRIDE, D3D11_RESOURCE_MISC_BUFFER_STRUCTURED);
    const bool bHeads = DescribeList(m_oHeadBufferDescription, uiPixels, HEAD_STRIDE,
                                     D3D11_RESOURCE_MISC_BUFFER_ALLOW_RAW_VIEWS);
    const bool bDescribed = bFragments && bHeads;

    // Made once now, so the pool holds buffers of this size before a frame asks for them, and so
    // a size the device refuses is known before the frame.
    if (bDescribed)
    {
        std::uint32_t uiFragments = pResources->AcquireBuffer(&m_oFragmentBufferDescription);
        std::uint32_t uiHeads = pResources->AcquireBuffer(&m_oHeadBufferDescription);
        m_bListsAvailable = pResources->GetBufferUnorderedAccessView(uiFragments) != nullptr &&
                            pResources->GetBufferShaderResourceView(uiFragments) != nullptr &&
                            pResources->GetBufferUnorderedAccessView(uiHeads) != nullptr &&
                            pResources->GetBufferShaderResourceView(uiHeads) != nullptr;
        pResources->ReleaseBuffer(&uiFragments);
        pResources->ReleaseBuffer(&uiHeads);
    }

    const D3D11_RASTERIZER_DESC rasterizer =
        KR_UtilitiesDX11::SolidRasterizerDesc(D3D11_CULL_NONE, m_bMultisampled, false);
    m_pTransparencyRasterizerState = pResources->GetRasterizerState(&rasterizer);
    return true;
}

bool KR_OITRendererDX11::ReleaseResources()
{
    ReleaseListBuffers();
    KR_ReleaseAndNull(m_pSavedRasterizerState);
    m_bListsBound = false;
    m_bTransparencyActive = false;
    KR_ReleaseAndNull(m_pFullScreenQuadVB);
    KR_ReleaseAndNull(m_pConstantBuffer);
    m_pResolveProgram = nullptr;
    m_pResolveInputLayout = nullptr;
    m_pTransparencyRasterizerState = nullptr;
    return true;
}

bool KR_OITRendererDX11::ReleaseSizeDependentResources()
{
    return true;
}

void KR_OITRendererDX11::ReleaseListBuffers()
{
    KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager();
    if (pResources != nullptr)
    {
        if (m_uiFragmentBuffer != INVALID_HANDLE)
            pResources->ReleaseBuffer(&m_uiFragmentBuffer);
        if (m_uiHeadBuffer != INVALID_HANDLE)
            pResources->ReleaseBuffer(&m_uiHeadBuffer);
    }
    m_uiFragmentBuffer = INVALID_HANDLE;
    m_uiHeadBuffer = INVALID_HANDLE;
}

bool KR_OITRendererDX11::BindLists()
{
    ID3D11DeviceContext* pContext = KR_GetEngineContext();
    KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager();
    if (!m_bListsAvailable || pContext == nullptr || pResources == nullptr || m_pConstantBuffer == nullptr)
        return false;
    m_uiFragmentBuffer = pResources->AcquireBuffer(&m_oFragmentBufferDescription);
    m_uiHeadBuffer = pResources->AcquireBuffer(&m_oHeadBufferDescription);
    ID3D11UnorderedAccessView* apViews[2] = {pResources->GetBufferUnorderedAccessView(m_uiFragmentBuffer),
                                             pResources->GetBufferUnorderedAccessView(m_uiHeadBuffer)};
    if (apViews[0] == nullptr || apViews[1] == nullptr ||
        pResources->GetBufferShaderResourceView(m_uiFragmentBuffer) == nullptr ||
        pResources->GetBufferShaderResourceView(m_uiHeadBuffer) == nullptr)
    {
        // Not tried again before the next resize: each failed try would leave a record in the pool.
        ReleaseListBuffers();
        m_bListsAvailable = false;
        return false;
    }
    D3D11_MAPPED_SUBRESOURCE mapped{};
    if (FAILED(pContext->Map(m_pConstantBuffer, 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped)))
    {
        ReleaseListBuffers();
        return false;
    }
    std::memcpy(mapped.pData, m_aConstantData, sizeof(m_aConstantData));
    pContext->Unmap(m_pConstantBuffer, 0);

    pContext->VSSetConstantBuffers(CONSTANT_BUFFER_SLOT, 1, &m_pConstantBuffer);
    pContext->PSSetConstantBuffers(CONSTANT_BUFFER_SLOT, 1, &m_pConstantBuffer);
    const UINT auiEmpty[4] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
    pContext->ClearUnorderedAccessViewUint(apViews[1], auiEmpty);
    // Initial count 0 resets the fragment counter.
    const UINT auiInitialCounts[2] = {0, 0};
    pContext->OMSetRenderTargetsAndUnorderedAccessViews(D3D11_KEEP_RENDER_TARGETS_AND_DEPTH_STENCIL, nullptr,
                                                        nullptr, FIRST_UAV_SLOT, 2, apViews,
                                                        auiInitialCounts);
    m_bListsBound = true;
    return true;
}

void KR_OITRendererDX11::SaveRasterizerState(ID3D11DeviceContext* pContext)
{
    if (m_bTransparencyActive)
        return;
    KR_ReleaseAndNull(m_pSavedRasterizerState);
    pContext->RSGetState(&m_pSavedRasterizerState);
}

void KR_OITRendererDX11::RestoreSavedRasterizerState(ID3D11DeviceContext* pContext)
{
    if (pContext != nullptr)
        pContext->RSSetState(m_pSavedRasterizerState);
    KR_ReleaseAndNull(m_pSavedRasterizerState);
}

bool KR_OITRendererDX11::BeginTransparency()
{
    ID3D11DeviceContext* pContext = KR_GetEngineContext();
    if (pContext == nullptr || (!m_bListsBound && !BindLists()))
        return false;
    // A second begin without an end keeps the state of before the first.
    SaveRasterizerState(pContext);
    pContext->RSSetState(m_pTransparencyRasterizerState);
    m_bTransparencyActive = true;
    return true;
}

bool KR_OITRendererDX11::EndTransparency()
{
    if (!m_bTransparencyActive)
        return true;
    RestoreSavedRasterizerState(KR_GetEngineContext());
    m_bTransparencyActive = false;
    return true;
}

bool KR_OITRendererDX11::DiscardLists()
{
    EndTransparency();
    if (!m_bListsBound)
        return true;
    ID3D11DeviceContext* pContext = KR_GetEngineContext();
    if (pContext != nullptr)
    {
        ID3D11UnorderedAccessView* apNoViews[2] = {nullptr, nullptr};
        pContext->OMSetRenderTargetsAndUnorderedAccessViews(D3D11_KEEP_RENDER_TARGETS_AND_DEPTH_STENCIL,
                                                            nullptr, nullptr, FIRST_UAV_SLOT, 2, apNoViews,
                                                            nullptr);
    }
    ReleaseListBuffers();
    m_bListsBound = false;
    return true;
}

bool KR_OITRendererDX11::Resolve()
{
    if (!m_bListsBound)
        return true;
    ID3D11DeviceContext* pContext = KR_GetEngineContext();
    KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager();
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    if (pContext == nullptr || pResources == nullptr || pEngine == nullptr)
        return true;

    ID3D11UnorderedAccessView* apNoViews[2] = {nullptr, nullptr};
    pContext->OMSetRenderTargetsAndUnorderedAccessViews(D3D11_KEEP_RENDER_TARGETS_AND_DEPTH_STENCIL, nullptr,
                                                        nullptr, FIRST_UAV_SLOT, 2, apNoViews, nullptr);
    ID3D11ShaderResourceView* apLists[2] = {pResources->GetBufferShaderResourceView(m_uiFragmentBuffer),
                                            pResources->GetBufferShaderResourceView(m_uiHeadBuffer)};
    pContext->VSSetShaderResources(0, 2, apLists);
    pContext->PSSetShaderResources(0, 2, apLists);
    // The state to leave: the one of before the open transparency, else the one current now.
    SaveRasterizerState(pContext);
    m_bTransparencyActive = false;

    KR_ShaderCoreManager* pCore = pEngine->GetShaderCoreManager();
    if (pCore != nullptr && m_pResolveProgram != nullptr && m_pFullScreenQuadVB != nullptr)
    {
        const UINT uiStride = 12;
        const UINT uiOffset = 0;
        pContext->IASetInputLayout(m_pResolveInputLayout);
        pContext->IASetVertexBuffers(0, 1, &m_pFullScreenQuadVB, &uiStride, &uiOffset);
        pContext->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLESTRIP);
        pCore->ApplyShaderProgram(m_pResolveProgram);
        pContext->Draw(4, 0);
    }
    // After the draw: the resolve program brings a rasterizer state of its own.
    RestoreSavedRasterizerState(pContext);

    ReleaseListBuffers();
    ID3D11ShaderResourceView* apNone[2] = {nullptr, nullptr};
    pContext->VSSetShaderResources(0, 2, apNone);
    pContext->PSSetShaderResources(0, 2, apNone);
    m_bListsBound = false;
    return true;
}
