#include "render/device/KR_TextureResource.h"

#include "render/device/KR_ReleaseAndNull.h"

namespace
{

// The view descriptions of a texture made from d: a 3-D texture (depth not 0) is viewed whole, a
// 2-D array (array size above 1) one slice per render-target and depth-stencil view and whole
// otherwise, a single 2-D texture (a cube under its own dimension for shader reads) whole.
//
// Render-target, depth-stencil and unordered-access views: a volume whole (a depth-stencil view
// has no volume dimension, eVolume is not used for it), uiCount array slices from uiFirst, or the
// single 2-D texture.
template <typename Desc, typename Dimension>
Desc SlicedViewDesc(const KR_TextureResourceDescription& d, Dimension eVolume, Dimension eArray,
                    Dimension eSingle, std::uint32_t uiFirst, std::uint32_t uiCount)
{
    Desc desc{};
    desc.Format = d.m_eFormat;
    if constexpr (requires { desc.Texture3D; })
    {
        if (d.m_uiDepth != 0)
        {
            desc.ViewDimension = eVolume;
            desc.Texture3D = {0, 0, d.m_uiDepth};
            return desc;
        }
    }
    if (d.m_uiArraySize > 1)
    {
        desc.ViewDimension = eArray;
        desc.Texture2DArray = {0, uiFirst, uiCount};
    }
    else
    {
        desc.ViewDimension = eSingle;
        desc.Texture2D = {0};
    }
    return desc;
}

D3D11_SHADER_RESOURCE_VIEW_DESC ShaderResourceViewDesc(const KR_TextureResourceDescription& d)
{
    D3D11_SHADER_RESOURCE_VIEW_DESC desc{};
    desc.Format = d.m_eFormat;
    if (d.m_uiDepth != 0)
    {
        desc.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE3D;
        desc.Texture3D = {0, d.m_uiMipLevels};
    }
    else if ((d.m_uiMiscFlags & D3D11_RESOURCE_MISC_TEXTURECUBE) != 0)
    {
        desc.ViewDimension = D3D11_SRV_DIMENSION_TEXTURECUBE;
        desc.TextureCube = {0, static_cast<UINT>(-1)};
    }
    else if (d.m_uiArraySize > 1)
    {
        desc.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2DARRAY;
        desc.Texture2DArray = {0, d.m_uiMipLevels, 0, d.m_uiArraySize};
    }
    else
    {
        desc.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2D;
        desc.Texture2D = {0, d.m_uiMipLevels};
    }
    return desc;
}

} // namespace

void KR_TextureResource::Release()
{
    KR_ReleaseAndNull(m_pTexture2D);
    KR_ReleaseAndNull(m_pTexture3D);
    for (ID3D11RenderTargetView*& pView : m_vRenderTargetViews)
        KR_ReleaseAndNull(pView);
    std::vector<ID3D11RenderTargetView*>().swap(m_vRenderTargetViews);
    for (ID3D11DepthStencilView*& pView : m_vDepthStencilViews)
        KR_ReleaseAndNull(pView);
    std::vector<ID3D11DepthStencilView*>().swap(m_vDepthStencilViews);
    KR_ReleaseAndNull(m_pShaderResourceView);
    KR_ReleaseAndNull(m_pUnorderedAccessView);
    m_bCreated = false;
}

void KR_TextureResource::Create(ID3D11Device* pDevice)
{
    Release();
    if (pDevice == nullptr)
        return;
    const KR_TextureResourceDescription& d = m_oDescription;
    const bool b3D = d.m_uiDepth != 0;
    if (b3D)
    {
        const D3D11_TEXTURE3D_DESC desc{d.m_uiWidth,     d.m_uiHeight,         d.m_uiDepth,
                                        d.m_uiMipLevels, d.m_eFormat,          d.m_eUsage,
                                        d.m_uiBindFlags, d.m_uiCPUAccessFlags, d.m_uiMiscFlags};
        pDevice->CreateTexture3D(&desc, nullptr, &m_pTexture3D);
    }
    else
    {
        const D3D11_TEXTURE2D_DESC desc{
            d.m_uiWidth, d.m_uiHeight, d.m_uiMipLevels, d.m_uiArraySize,      d.m_eFormat,
            {1, 0},      d.m_eUsage,   d.m_uiBindFlags, d.m_uiCPUAccessFlags, d.m_uiMiscFlags};
        pDevice->CreateTexture2D(&desc, nullptr, &m_pTexture2D);
    }
    ID3D11Resource* pResource = b3D ? static_cast<ID3D11Resource*>(m_pTexture3D) : m_pTexture2D;
    if (pResource == nullptr)
        return;
    m_bCreated = true;
    const std::uint32_t uiSlices = d.m_uiArraySize > 1 ? d.m_uiArraySize : 1;

    if ((d.m_uiBindFlags & D3D11_BIND_RENDER_TARGET) != 0)
    {
        // A volume has one view of all its depth slices.
        const std::uint32_t uiViews = b3D ? 1 : uiSlices;
        for (std::uint32_t uiSlice = 0; uiSlice < uiViews; ++uiSlice)
        {
            const auto desc = SlicedViewDesc<D3D11_RENDER_TARGET_VIEW_DESC>(
                d, D3D11_RTV_DIMENSION_TEXTURE3D, D3D11_RTV_DIMENSION_TEXTURE2DARRAY,
                D3D11_RTV_DIMENSION_TEXTURE2D, uiSlice, 1);
            ID3D11RenderTargetView* pView = nullptr;
            pDevice->CreateRenderTargetView(pResource, &desc, &pView);
            m_vRenderTargetViews.push_back(pView);
        }
    }

    if ((d.m_uiBindFlags & D3D11_BIND_DEPTH_STENCIL) != 0)
    {
        if (b3D)
        {
            // A volume cannot be a depth buffer: nothing of the request is kept.
            Release();
            return;
        }
        for (std::uint32_t uiSlice = 0; uiSlice < uiSlices; ++uiSlice)
        {
            const auto desc = SlicedViewDesc<D3D11_DEPTH_STENCIL_VIEW_DESC>(
                d, D3D11_DSV_DIMENSION_UNKNOWN, D3D11_DSV_DIMENSION_TEXTURE2DARRAY,
                D3D11_DSV_DIMENSION_TEXTURE2D, uiSlice, 1);
            ID3D11DepthStencilView* pView = nullptr;
            pDevice->CreateDepthStencilView(pResource, &desc, &pView);
            m_vDepthStencilViews.push_back(pView);
        }
    }

    if ((d.m_uiBindFlags & D3D11_BIND_SHADER_RESOURCE) != 0)
    {
        const D3D11_SHADER_RESOURCE_VIEW_DESC desc = ShaderResourceViewDesc(d);
        pDevice->CreateShaderResourceView(pResource, &desc, &m_pShaderResourceView);
    }

    if ((d.m_uiBindFlags & D3D11_BIND_UNORDERED_ACCESS) != 0)
    {
        const auto desc = SlicedViewDesc<D3D11_UNORDERED_ACCESS_VIEW_DESC>(
            d, D3D11_UAV_DIMENSION_TEXTURE3D, D3D11_UAV_DIMENSION_TEXTURE2DARRAY,
            D3D11_UAV_DIMENSION_TEXTURE2D, 0, d.m_uiArraySize);
        pDevice->CreateUnorderedAccessView(pResource, &desc, &m_pUnorderedAccessView);
    }
}
