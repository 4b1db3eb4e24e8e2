#include "platform/d3d11/D3D11Views.h"

#include "platform/d3d11/D3D11Formats.h"

#include <new>
#include <utility>

namespace d3d11_internal
{

namespace
{

constexpr UINT ALL_REMAINING = static_cast<UINT>(-1);

// Checks [first, first + count) against total; count ALL_REMAINING (where allowed) means the
// rest. Writes the resolved count.
bool ResolveSpan(UINT uiFirst, UINT uiCount, UINT uiTotal, bool bAllowAll, UINT* pResolved)
{
    if (uiFirst >= uiTotal)
        return false;
    if (uiCount == ALL_REMAINING && bAllowAll)
        uiCount = uiTotal - uiFirst;
    if (uiCount == 0 || uiCount > uiTotal - uiFirst)
        return false;
    *pResolved = uiCount;
    return true;
}

UINT MipSide(UINT uiSide, UINT uiMip)
{
    return (uiSide >> uiMip) > 0 ? (uiSide >> uiMip) : 1;
}

// One range per array slice of one mip; a 3-D texture has one range of depth slices instead.
std::vector<ViewRange> MakeRanges(const ResourceShape& shape, UINT uiMip, UINT uiFirstSlice,
                                  UINT uiSliceCount, UINT uiFirstZ, UINT uiZCount)
{
    std::vector<ViewRange> vRanges;
    if (shape.dimension == D3D11_RESOURCE_DIMENSION_TEXTURE3D)
    {
        vRanges.push_back({uiMip, uiFirstZ, uiZCount});
        return vRanges;
    }
    for (UINT uiSlice = uiFirstSlice; uiSlice < uiFirstSlice + uiSliceCount; ++uiSlice)
        vRanges.push_back({D3D11CalcSubresource(uiMip, uiSlice, shape.mipLevels), 0, 1});
    return vRanges;
}

bool CanRender(DXGI_FORMAT format)
{
    const float rgba[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    std::uint8_t bytes[16];
    UINT uiSize = 0;
    return EncodeColor(format, rgba, bytes, &uiSize);
}

// The view dimensions render-target and depth-stencil views share, as each names them.
template <class Dimension>
struct TargetDimensions
{
    Dimension tex1D;
    Dimension tex1DArray;
    Dimension tex2D;
    Dimension tex2DArray;
    Dimension tex2DMS;
    Dimension tex2DMSArray;
};

constexpr TargetDimensions<D3D11_RTV_DIMENSION> RTV_DIMENSIONS = {
    D3D11_RTV_DIMENSION_TEXTURE1D,   D3D11_RTV_DIMENSION_TEXTURE1DARRAY,
    D3D11_RTV_DIMENSION_TEXTURE2D,   D3D11_RTV_DIMENSION_TEXTURE2DARRAY,
    D3D11_RTV_DIMENSION_TEXTURE2DMS, D3D11_RTV_DIMENSION_TEXTURE2DMSARRAY};
constexpr TargetDimensions<D3D11_DSV_DIMENSION> DSV_DIMENSIONS = {
    D3D11_DSV_DIMENSION_TEXTURE1D,   D3D11_DSV_DIMENSION_TEXTURE1DARRAY,
    D3D11_DSV_DIMENSION_TEXTURE2D,   D3D11_DSV_DIMENSION_TEXTURE2DARRAY,
    D3D11_DSV_DIMENSION_TEXTURE2DMS, D3D11_DSV_DIMENSION_TEXTURE2DMSARRAY};

// The default target view of a 1-D or 2-D texture: the first mip, every slice, in the
// resource's format.
template <class Desc, class Dimension>
void FillDefaultTargetDesc(const ResourceShape& shape, const TargetDimensions<Dimension>& dimensions,
                           Desc* pDesc)
{
    pDesc->Format = shape.format;
    if (shape.dimension == D3D11_RESOURCE_DIMENSION_TEXTURE1D)
    {
        pDesc->ViewDimension = shape.arraySize > 1 ? dimensions.tex1DArray : dimensions.tex1D;
        pDesc->Texture1DArray = {0, 0, shape.arraySize};
    }
    else if (shape.sampleCount > 1)
    {
        pDesc->ViewDimension = shape.arraySize > 1 ? dimensions.tex2DMSArray : dimensions.tex2DMS;
        pDesc->Texture2DMSArray = {0, shape.arraySize};
    }
    else
    {
        pDesc->ViewDimension = shape.arraySize > 1 ? dimensions.tex2DArray : dimensions.tex2D;
        pDesc->Texture2DArray = {0, 0, shape.arraySize};
    }
}

// Checks a target view of one of the shared dimensions against the resource and lists the
// slices it covers; false when it does not fit or its dimension is none of them.
template <class Desc, class Dimension>
bool ResolveTargetRanges(const ResourceShape& shape, const Desc& desc,
                         const TargetDimensions<Dimension>& dimensions, std::vector<ViewRange>* pRanges)
{
    const bool b1D = shape.dimension == D3D11_RESOURCE_DIMENSION_TEXTURE1D;
    const bool b2D = shape.dimension == D3D11_RESOURCE_DIMENSION_TEXTURE2D && shape.sampleCount == 1;
    const bool b2DMS = shape.dimension == D3D11_RESOURCE_DIMENSION_TEXTURE2D && shape.sampleCount > 1;
    UINT uiCount = 0;
    if (desc.ViewDimension == dimensions.tex1D)
    {
        if (!b1D || desc.Texture1D.MipSlice >= shape.mipLevels)
            return false;
        *pRanges = MakeRanges(shape, desc.Texture1D.MipSlice, 0, 1, 0, 1);
        return true;
    }
    if (desc.ViewDimension == dimensions.tex1DArray)
    {
        if (!b1D || desc.Texture1DArray.MipSlice >= shape.mipLevels ||
            !ResolveSpan(desc.Texture1DArray.FirstArraySlice, desc.Texture1DArray.ArraySize, shape.arraySize,
                         false, &uiCount))
        {
            return false;
        }
        *pRanges = MakeRanges(shape, desc.Texture1DArray.MipSlice, desc.Texture1DArray.FirstArraySlice,
                              uiCount, 0, 1);
        return true;
    }
    if (desc.ViewDimension == dimensions.tex2D)
    {
        if (!b2D || desc.Texture2D.MipSlice >= shape.mipLevels)
            return false;
        *pRanges = MakeRanges(shape, desc.Texture2D.MipSlice, 0, 1, 0, 1);
        return true;
    }
    if (desc.ViewDimension == dimensions.tex2DArray)
    {
        if (!b2D || desc.Texture2DArray.MipSlice >= shape.mipLevels ||
            !ResolveSpan(desc.Texture2DArray.FirstArraySlice, desc.Texture2DArray.ArraySize, shape.arraySize,
                         false, &uiCount))
        {
            return false;
        }
        *pRanges = MakeRanges(shape, desc.Texture2DArray.MipSlice, desc.Texture2DArray.FirstArraySlice,
                              uiCount, 0, 1);
        return true;
    }
    if (desc.ViewDimension == dimensions.tex2DMS)
    {
        if (!b2DMS)
            return false;
        *pRanges = MakeRanges(shape, 0, 0, 1, 0, 1);
        return true;
    }
    if (desc.ViewDimension == dimensions.tex2DMSArray)
    {
        if (!b2DMS || !ResolveSpan(desc.Texture2DMSArray.FirstArraySlice, desc.Texture2DMSArray.ArraySize,
                                   shape.arraySize, false, &uiCount))
        {
            return false;
        }
        *pRanges = MakeRanges(shape, 0, desc.Texture2DMSArray.FirstArraySlice, uiCount, 0, 1);
        return true;
    }
    return false;
}

template <class T>
HRESULT Publish(T* pView, T** ppOut)
{
    if (ppOut == nullptr)
    {
        pView->Discard();
        return S_FALSE;
    }
    *ppOut = pView;
    return S_OK;
}

} // namespace

void ViewImpl::Bind(ID3D11Resource* pResource, ResourceImpl* pImpl, DXGI_FORMAT format,
                    std::vector<ViewRange> vRanges)
{
    m_resource.Set(pResource);
    m_pResourceImpl = pImpl;
    m_format = format;
    m_vRanges = std::move(vRanges);
}

void ViewImpl::GetResourceRef(ID3D11Resource** ppResource) const
{
    if (ppResource == nullptr)
        return;
    *ppResource = m_resource.Get();
    if (*ppResource != nullptr)
        (*ppResource)->AddRef();
}

RenderTargetView::RenderTargetView() : ComObject<ID3D11RenderTargetView>("ID3D11RenderTargetView")
{
}

HRESULT RenderTargetView::Create(ID3D11Resource* pResource, const D3D11_RENDER_TARGET_VIEW_DESC* pDesc,
                                 RenderTargetView** ppOut)
{
    ResourceImpl* pImpl = ResourceImpl::From(pResource);
    if (pImpl == nullptr)
        return E_INVALIDARG;
    const ResourceShape& shape = pImpl->GetShape();
    // Buffers as render targets are not supported by the stand-in.
    if ((shape.bindFlags & D3D11_BIND_RENDER_TARGET) == 0 ||
        shape.dimension == D3D11_RESOURCE_DIMENSION_BUFFER)
    {
        return E_INVALIDARG;
    }
    D3D11_RENDER_TARGET_VIEW_DESC desc{};
    if (pDesc != nullptr)
    {
        desc = *pDesc;
    }
    else if (shape.dimension == D3D11_RESOURCE_DIMENSION_TEXTURE3D)
    {
        desc.Format = shape.format;
        desc.ViewDimension = D3D11_RTV_DIMENSION_TEXTURE3D;
        desc.Texture3D = {0, 0, ALL_REMAINING};
    }
    else
    {
        FillDefaultTargetDesc(shape, RTV_DIMENSIONS, &desc);
    }
    if (desc.Format == DXGI_FORMAT_UNKNOWN)
        desc.Format = shape.format;
    if (!IsViewFormatCompatible(shape.format, desc.Format) || !CanRender(desc.Format))
        return E_INVALIDARG;

    std::vector<ViewRange> vRanges;
    if (desc.ViewDimension == D3D11_RTV_DIMENSION_TEXTURE3D)
    {
        UINT uiCount = 0;
        if (shape.dimension != D3D11_RESOURCE_DIMENSION_TEXTURE3D ||
            desc.Texture3D.MipSlice >= shape.mipLevels ||
            !ResolveSpan(desc.Texture3D.FirstWSlice, desc.Texture3D.WSize,
                         MipSide(shape.depth, desc.Texture3D.MipSlice), true, &uiCount))
        {
            return E_INVALIDARG;
        }
        desc.Texture3D.WSize = uiCount;
        vRanges = MakeRanges(shape, desc.Texture3D.MipSlice, 0, 1, desc.Texture3D.FirstWSlice, uiCount);
    }
    else if (!ResolveTargetRanges(shape, desc, RTV_DIMENSIONS, &vRanges))
    {
        return E_INVALIDARG;
    }

    RenderTargetView* pView = nullptr;
    try
    {
        pView = new RenderTargetView();
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }
    pView->m_desc = desc;
    pView->Bind(pResource, pImpl, desc.Format, std::move(vRanges));
    return Publish(pView, ppOut);
}

RenderTargetView* RenderTargetView::From(ID3D11RenderTargetView* pView)
{
    return pView != nullptr ? dynamic_cast<RenderTargetView*>(pView) : nullptr;
}

void RenderTargetView::GetResource(ID3D11Resource** ppResource)
{
    GetResourceRef(ppResource);
}

void RenderTargetView::GetDesc(D3D11_RENDER_TARGET_VIEW_DESC* pDesc)
{
    if (pDesc != nullptr)
        *pDesc = m_desc;
}

bool RenderTargetView::Implements(REFIID riid) const
{
    return IsEqualIID(riid, IID_ID3D11RenderTargetView) || IsEqualIID(riid, IID_ID3D11View) ||
           IsEqualIID(riid, IID_ID3D11DeviceChild) || IsEqualIID(riid, IID_IUnknown);
}

DepthStencilView::DepthStencilView() : ComObject<ID3D11DepthStencilView>("ID3D11DepthStencilView")
{
}

HRESULT DepthStencilView::Create(ID3D11Resource* pResource, const D3D11_DEPTH_STENCIL_VIEW_DESC* pDesc,
                                 DepthStencilView** ppOut)
{
    ResourceImpl* pImpl = ResourceImpl::From(pResource);
    if (pImpl == nullptr)
        return E_INVALIDARG;
    const ResourceShape& shape = pImpl->GetShape();
    if ((shape.bindFlags & D3D11_BIND_DEPTH_STENCIL) == 0)
        return E_INVALIDARG;
    D3D11_DEPTH_STENCIL_VIEW_DESC desc{};
    if (pDesc != nullptr)
        desc = *pDesc;
    else
        FillDefaultTargetDesc(shape, DSV_DIMENSIONS, &desc);
    if (desc.Format == DXGI_FORMAT_UNKNOWN)
        desc.Format = shape.format;
    if (!IsDepthFormat(desc.Format) || !IsViewFormatCompatible(shape.format, desc.Format) ||
        (desc.Flags & ~static_cast<UINT>(D3D11_DSV_READ_ONLY_DEPTH | D3D11_DSV_READ_ONLY_STENCIL)) != 0)
    {
        return E_INVALIDARG;
    }

    std::vector<ViewRange> vRanges;
    if (!ResolveTargetRanges(shape, desc, DSV_DIMENSIONS, &vRanges))
        return E_INVALIDARG;

    DepthStencilView* pView = nullptr;
    try
    {
        pView = new DepthStencilView();
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }
    pView->m_desc = desc;
    pView->Bind(pResource, pImpl, desc.Format, std::move(vRanges));
    return Publish(pView, ppOut);
}

DepthStencilView* DepthStencilView::From(ID3D11DepthStencilView* pView)
{
    return pView != nullptr ? dynamic_cast<DepthStencilView*>(pView) : nullptr;
}

void DepthStencilView::GetResource(ID3D11Resource** ppResource)
{
    GetResourceRef(ppResource);
}

void DepthStencilView::GetDesc(D3D11_DEPTH_STENCIL_VIEW_DESC* pDesc)
{
    if (pDesc != nullptr)
        *pDesc = m_desc;
}

bool DepthStencilView::Implements(REFIID riid) const
{
    return IsEqualIID(riid, IID_ID3D11DepthStencilView) || IsEqualIID(riid, IID_ID3D11View) ||
           IsEqualIID(riid, IID_ID3D11DeviceChild) || IsEqualIID(riid, IID_IUnknown);
}

ShaderResourceView::ShaderResourceView() : ComObject<ID3D11ShaderResourceView>("ID3D11ShaderResourceView")
{
}

namespace
{

// Resolves and checks a mip range [most detailed, + count) of a texture.
bool ResolveMips(UINT uiMostDetailed, UINT* pCount, UINT uiTotal)
{
    return ResolveSpan(uiMostDetailed, *pCount, uiTotal, true, pCount);
}

HRESULT ResolveBufferView(const ResourceShape& shape, D3D11_SHADER_RESOURCE_VIEW_DESC* pDesc)
{
    const bool bStructured = (shape.miscFlags & D3D11_RESOURCE_MISC_BUFFER_STRUCTURED) != 0;
    UINT uiElementBytes = 0;
    UINT uiFirst = 0;
    UINT uiCount = 0;
    if (pDesc->ViewDimension == D3D11_SRV_DIMENSION_BUFFEREX &&
        (pDesc->BufferEx.Flags & D3D11_BUFFEREX_SRV_FLAG_RAW) != 0)
    {
        if (pDesc->Format != DXGI_FORMAT_R32_TYPELESS ||
            (shape.miscFlags & D3D11_RESOURCE_MISC_BUFFER_ALLOW_RAW_VIEWS) == 0)
        {
            return E_INVALIDARG;
        }
        uiElementBytes = 4;
    }
    else if (bStructured)
    {
        if (pDesc->Format != DXGI_FORMAT_UNKNOWN)
            return E_INVALIDARG;
        uiElementBytes = shape.structureByteStride;
    }
    else
    {
        FormatInfo info;
        if (!GetFormatInfo(pDesc->Format, &info) || info.kind == FormatKind::Typeless ||
            info.blockWidth != 1 || info.blockHeight != 1)
        {
            return E_INVALIDARG;
        }
        uiElementBytes = info.bytesPerBlock;
    }
    if (pDesc->ViewDimension == D3D11_SRV_DIMENSION_BUFFEREX)
    {
        if ((pDesc->BufferEx.Flags & ~static_cast<UINT>(D3D11_BUFFEREX_SRV_FLAG_RAW)) != 0)
            return E_INVALIDARG;
        uiFirst = pDesc->BufferEx.FirstElement;
        uiCount = pDesc->BufferEx.NumElements;
    }
    else
    {
        uiFirst = pDesc->Buffer.FirstElement;
        uiCount = pDesc->Buffer.NumElements;
    }
    const UINT uiElements = shape.width / uiElementBytes;
    UINT uiResolved = 0;
    return ResolveSpan(uiFirst, uiCount, uiElements, false, &uiResolved) ? S_OK : E_INVALIDARG;
}

} // namespace

HRESULT ShaderResourceView::Create(ID3D11Resource* pResource, const D3D11_SHADER_RESOURCE_VIEW_DESC* pDesc,
                                   ShaderResourceView** ppOut)
{
    ResourceImpl* pImpl = ResourceImpl::From(pResource);
    if (pImpl == nullptr)
        return E_INVALIDARG;
    const ResourceShape& shape = pImpl->GetShape();
    if ((shape.bindFlags & D3D11_BIND_SHADER_RESOURCE) == 0)
        return E_INVALIDARG;
    const bool bBuffer = shape.dimension == D3D11_RESOURCE_DIMENSION_BUFFER;
    D3D11_SHADER_RESOURCE_VIEW_DESC desc{};
    if (pDesc != nullptr)
    {
        desc = *pDesc;
    }
    else
    {
        if (bBuffer)
            return E_INVALIDARG;
        desc.Format = shape.format;
        if (shape.dimension == D3D11_RESOURCE_DIMENSION_TEXTURE1D)
        {
            desc.ViewDimension =
                shape.arraySize > 1 ? D3D11_SRV_DIMENSION_TEXTURE1DARRAY : D3D11_SRV_DIMENSION_TEXTURE1D;
            desc.Texture1DArray = {0, ALL_REMAINING, 0, shape.arraySize};
        }
        else if (shape.dimension == D3D11_RESOURCE_DIMENSION_TEXTURE3D)
        {
            desc.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE3D;
            desc.Texture3D = {0, ALL_REMAINING};
        }
        else if (shape.sampleCount > 1)
        {
            desc.ViewDimension =
                shape.arraySize > 1 ? D3D11_SRV_DIMENSION_TEXTURE2DMSARRAY : D3D11_SRV_DIMENSION_TEXTURE2DMS;
            desc.Texture2DMSArray = {0, shape.arraySize};
        }
        else if ((shape.miscFlags & D3D11_RESOURCE_MISC_TEXTURECUBE) != 0)
        {
            desc.ViewDimension =
                shape.arraySize > 6 ? D3D11_SRV_DIMENSION_TEXTURECUBEARRAY : D3D11_SRV_DIMENSION_TEXTURECUBE;
            desc.TextureCubeArray = {0, ALL_REMAINING, 0, shape.arraySize / 6};
        }
        else
        {
            desc.ViewDimension =
                shape.arraySize > 1 ? D3D11_SRV_DIMENSION_TEXTURE2DARRAY : D3D11_SRV_DIMENSION_TEXTURE2D;
            desc.Texture2DArray = {0, ALL_REMAINING, 0, shape.arraySize};
        }
    }
    const bool bStructured = (shape.miscFlags & D3D11_RESOURCE_MISC_BUFFER_STRUCTURED) != 0;
    if (desc.Format == DXGI_FORMAT_UNKNOWN && !(bBuffer && bStructured))
        desc.Format = shape.format;
    const bool bRawView = desc.ViewDimension == D3D11_SRV_DIMENSION_BUFFEREX &&
                          (desc.BufferEx.Flags & D3D11_BUFFEREX_SRV_FLAG_RAW) != 0;
    if (!bBuffer && (IsTypelessFormat(desc.Format) || IsDepthFormat(desc.Format) ||
                     !IsViewFormatCompatible(shape.format, desc.Format)))
    {
        return E_INVALIDARG;
    }

    const bool b1D = shape.dimension == D3D11_RESOURCE_DIMENSION_TEXTURE1D;
    const bool b2D = shape.dimension == D3D11_RESOURCE_DIMENSION_TEXTURE2D && shape.sampleCount == 1;
    const bool b2DMS = shape.dimension == D3D11_RESOURCE_DIMENSION_TEXTURE2D && shape.sampleCount > 1;
    const bool bCube = b2D && (shape.miscFlags & D3D11_RESOURCE_MISC_TEXTURECUBE) != 0;
    UINT uiCount = 0;
    switch (desc.ViewDimension)
    {
    case D3D11_SRV_DIMENSION_BUFFER:
    case D3D11_SRV_DIMENSION_BUFFEREX:
        if (!bBuffer || (bRawView && desc.ViewDimension != D3D11_SRV_DIMENSION_BUFFEREX) ||
            FAILED(ResolveBufferView(shape, &desc)))
        {
            return E_INVALIDARG;
        }
        break;
    case D3D11_SRV_DIMENSION_TEXTURE1D:
        if (!b1D || !ResolveMips(desc.Texture1D.MostDetailedMip, &desc.Texture1D.MipLevels, shape.mipLevels))
            return E_INVALIDARG;
        break;
    case D3D11_SRV_DIMENSION_TEXTURE1DARRAY:
        if (!b1D ||
            !ResolveMips(desc.Texture1DArray.MostDetailedMip, &desc.Texture1DArray.MipLevels,
                         shape.mipLevels) ||
            !ResolveSpan(desc.Texture1DArray.FirstArraySlice, desc.Texture1DArray.ArraySize, shape.arraySize,
                         false, &uiCount))
        {
            return E_INVALIDARG;
        }
        break;
    case D3D11_SRV_DIMENSION_TEXTURE2D:
        if (!b2D || !ResolveMips(desc.Texture2D.MostDetailedMip, &desc.Texture2D.MipLevels, shape.mipLevels))
            return E_INVALIDARG;
        break;
    case D3D11_SRV_DIMENSION_TEXTURE2DARRAY:
        if (!b2D ||
            !ResolveMips(desc.Texture2DArray.MostDetailedMip, &desc.Texture2DArray.MipLevels,
                         shape.mipLevels) ||
            !ResolveSpan(desc.Texture2DArray.FirstArraySlice, desc.Texture2DArray.ArraySize, shape.arraySize,
                         false, &uiCount))
        {
            return E_INVALIDARG;
        }
        break;
    case D3D11_SRV_DIMENSION_TEXTURE2DMS:
        if (!b2DMS)
            return E_INVALIDARG;
        break;
    case D3D11_SRV_DIMENSION_TEXTURE2DMSARRAY:
        if (!b2DMS || !ResolveSpan(desc.Texture2DMSArray.FirstArraySlice, desc.Texture2DMSArray.ArraySize,
                                   shape.arraySize, false, &uiCount))
        {
            return E_INVALIDARG;
        }
        break;
    case D3D11_SRV_DIMENSION_TEXTURE3D:
        if (shape.dimension != D3D11_RESOURCE_DIMENSION_TEXTURE3D ||
            !ResolveMips(desc.Texture3D.MostDetailedMip, &desc.Texture3D.MipLevels, shape.mipLevels))
        {
            return E_INVALIDARG;
        }
        break;
    case D3D11_SRV_DIMENSION_TEXTURECUBE:
        if (!bCube ||
            !ResolveMips(desc.TextureCube.MostDetailedMip, &desc.TextureCube.MipLevels, shape.mipLevels))
        {
            return E_INVALIDARG;
        }
        break;
    case D3D11_SRV_DIMENSION_TEXTURECUBEARRAY:
        if (!bCube ||
            !ResolveMips(desc.TextureCubeArray.MostDetailedMip, &desc.TextureCubeArray.MipLevels,
                         shape.mipLevels) ||
            desc.TextureCubeArray.NumCubes == 0 ||
            !ResolveSpan(desc.TextureCubeArray.First2DArrayFace, desc.TextureCubeArray.NumCubes * 6,
                         shape.arraySize, false, &uiCount))
        {
            return E_INVALIDARG;
        }
        break;
    default:
        return E_INVALIDARG;
    }

    ShaderResourceView* pView = nullptr;
    try
    {
        pView = new ShaderResourceView();
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }
    pView->m_desc = desc;
    pView->Bind(pResource, pImpl, desc.Format, {});
    return Publish(pView, ppOut);
}

ShaderResourceView* ShaderResourceView::From(ID3D11ShaderResourceView* pView)
{
    return pView != nullptr ? dynamic_cast<ShaderResourceView*>(pView) : nullptr;
}

void ShaderResourceView::GetResource(ID3D11Resource** ppResource)
{
    GetResourceRef(ppResource);
}

void ShaderResourceView::GetDesc(D3D11_SHADER_RESOURCE_VIEW_DESC* pDesc)
{
    if (pDesc != nullptr)
        *pDesc = m_desc;
}

bool ShaderResourceView::Implements(REFIID riid) const
{
    return IsEqualIID(riid, IID_ID3D11ShaderResourceView) || IsEqualIID(riid, IID_ID3D11View) ||
           IsEqualIID(riid, IID_ID3D11DeviceChild) || IsEqualIID(riid, IID_IUnknown);
}

UnorderedAccessView::UnorderedAccessView() : ComObject<ID3D11UnorderedAccessView>("ID3D11UnorderedAccessView")
{
}

namespace
{

HRESULT ResolveBufferUav(const ResourceShape& shape, const D3D11_UNORDERED_ACCESS_VIEW_DESC& desc)
{
    const bool bStructured = (shape.miscFlags & D3D11_RESOURCE_MISC_BUFFER_STRUCTURED) != 0;
    const UINT uiFlags = desc.Buffer.Flags;
    UINT uiElementBytes = 0;
    if ((uiFlags & ~static_cast<UINT>(D3D11_BUFFER_UAV_FLAG_RAW | D3D11_BUFFER_UAV_FLAG_APPEND |
                                      D3D11_BUFFER_UAV_FLAG_COUNTER)) != 0 ||
        ((uiFlags & D3D11_BUFFER_UAV_FLAG_APPEND) != 0 && (uiFlags & D3D11_BUFFER_UAV_FLAG_COUNTER) != 0))
    {
        return E_INVALIDARG;
    }
    if ((uiFlags & D3D11_BUFFER_UAV_FLAG_RAW) != 0)
    {
        if (desc.Format != DXGI_FORMAT_R32_TYPELESS ||
            (shape.miscFlags & D3D11_RESOURCE_MISC_BUFFER_ALLOW_RAW_VIEWS) == 0 ||
            (uiFlags & (D3D11_BUFFER_UAV_FLAG_APPEND | D3D11_BUFFER_UAV_FLAG_COUNTER)) != 0)
        {
            return E_INVALIDARG;
        }
        uiElementBytes = 4;
    }
    else if (bStructured)
    {
        if (desc.Format != DXGI_FORMAT_UNKNOWN)
            return E_INVALIDARG;
        uiElementBytes = shape.structureByteStride;
    }
    else
    {
        FormatInfo info;
        if ((uiFlags & (D3D11_BUFFER_UAV_FLAG_APPEND | D3D11_BUFFER_UAV_FLAG_COUNTER)) != 0 ||
            !GetFormatInfo(desc.Format, &info) || info.kind == FormatKind::Typeless || info.blockWidth != 1 ||
            info.blockHeight != 1)
        {
            return E_INVALIDARG;
        }
        uiElementBytes = info.bytesPerBlock;
    }
    if (uiElementBytes == 0)
        return E_INVALIDARG;
    UINT uiResolved = 0;
    return ResolveSpan(desc.Buffer.FirstElement, desc.Buffer.NumElements, shape.width / uiElementBytes, false,
                       &uiResolved)
               ? S_OK
               : E_INVALIDARG;
}

} // namespace

HRESULT UnorderedAccessView::Create(ID3D11Resource* pResource, const D3D11_UNORDERED_ACCESS_VIEW_DESC* pDesc,
                                    UnorderedAccessView** ppOut)
{
    ResourceImpl* pImpl = ResourceImpl::From(pResource);
    if (pImpl == nullptr)
        return E_INVALIDARG;
    const ResourceShape& shape = pImpl->GetShape();
    if ((shape.bindFlags & D3D11_BIND_UNORDERED_ACCESS) == 0 || shape.sampleCount > 1)
        return E_INVALIDARG;
    const bool bBuffer = shape.dimension == D3D11_RESOURCE_DIMENSION_BUFFER;
    const bool b1D = shape.dimension == D3D11_RESOURCE_DIMENSION_TEXTURE1D;
    const bool b2D = shape.dimension == D3D11_RESOURCE_DIMENSION_TEXTURE2D;
    const bool b3D = shape.dimension == D3D11_RESOURCE_DIMENSION_TEXTURE3D;
    D3D11_UNORDERED_ACCESS_VIEW_DESC desc{};
    if (pDesc != nullptr)
    {
        desc = *pDesc;
    }
    else
    {
        if (bBuffer)
            return E_INVALIDARG;
        desc.Format = shape.format;
        if (b3D)
        {
            desc.ViewDimension = D3D11_UAV_DIMENSION_TEXTURE3D;
            desc.Texture3D = {0, 0, ALL_REMAINING};
        }
        else if (b1D)
        {
            desc.ViewDimension =
                shape.arraySize > 1 ? D3D11_UAV_DIMENSION_TEXTURE1DARRAY : D3D11_UAV_DIMENSION_TEXTURE1D;
            desc.Texture1DArray = {0, 0, shape.arraySize};
        }
        else
        {
            desc.ViewDimension =
                shape.arraySize > 1 ? D3D11_UAV_DIMENSION_TEXTURE2DARRAY : D3D11_UAV_DIMENSION_TEXTURE2D;
            desc.Texture2DArray = {0, 0, shape.arraySize};
        }
    }
    if (!bBuffer)
    {
        if (desc.Format == DXGI_FORMAT_UNKNOWN)
            desc.Format = shape.format;
        if (IsTypelessFormat(desc.Format) || IsDepthFormat(desc.Format) ||
            !IsViewFormatCompatible(shape.format, desc.Format))
        {
            return E_INVALIDARG;
        }
    }

    std::vector<ViewRange> vRanges;
    UINT uiCount = 0;
    switch (desc.ViewDimension)
    {
    case D3D11_UAV_DIMENSION_BUFFER:
        if (!bBuffer || FAILED(ResolveBufferUav(shape, desc)))
            return E_INVALIDARG;
        break;
    case D3D11_UAV_DIMENSION_TEXTURE1D:
        if (!b1D || desc.Texture1D.MipSlice >= shape.mipLevels)
            return E_INVALIDARG;
        vRanges = MakeRanges(shape, desc.Texture1D.MipSlice, 0, 1, 0, 1);
        break;
    case D3D11_UAV_DIMENSION_TEXTURE1DARRAY:
        if (!b1D || desc.Texture1DArray.MipSlice >= shape.mipLevels ||
            !ResolveSpan(desc.Texture1DArray.FirstArraySlice, desc.Texture1DArray.ArraySize, shape.arraySize,
                         false, &uiCount))
        {
            return E_INVALIDARG;
        }
        vRanges = MakeRanges(shape, desc.Texture1DArray.MipSlice, desc.Texture1DArray.FirstArraySlice,
                             uiCount, 0, 1);
        break;
    case D3D11_UAV_DIMENSION_TEXTURE2D:
        if (!b2D || desc.Texture2D.MipSlice >= shape.mipLevels)
            return E_INVALIDARG;
        vRanges = MakeRanges(shape, desc.Texture2D.MipSlice, 0, 1, 0, 1);
        break;
    case D3D11_UAV_DIMENSION_TEXTURE2DARRAY:
        if (!b2D || desc.Texture2DArray.MipSlice >= shape.mipLevels ||
            !ResolveSpan(desc.Texture2DArray.FirstArraySlice, desc.Texture2DArray.ArraySize, shape.arraySize,
                         false, &uiCount))
        {
            return E_INVALIDARG;
        }
        vRanges = MakeRanges(shape, desc.Texture2DArray.MipSlice, desc.Texture2DArray.FirstArraySlice,
                             uiCount, 0, 1);
        break;
    case D3D11_UAV_DIMENSION_TEXTURE3D:
    {
        if (!b3D || desc.Texture3D.MipSlice >= shape.mipLevels)
            return E_INVALIDARG;
        const UINT uiDepth = MipSide(shape.depth, desc.Texture3D.MipSlice);
        if (!ResolveSpan(desc.Texture3D.FirstWSlice, desc.Texture3D.WSize, uiDepth, true, &uiCount))
            return E_INVALIDARG;
        desc.Texture3D.WSize = uiCount;
        vRanges = MakeRanges(shape, desc.Texture3D.MipSlice, 0, 1, desc.Texture3D.FirstWSlice, uiCount);
        break;
    }
    default:
        return E_INVALIDARG;
    }

    UnorderedAccessView* pView = nullptr;
    try
    {
        pView = new UnorderedAccessView();
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }
    pView->m_desc = desc;
    pView->Bind(pResource, pImpl, desc.Format, std::move(vRanges));
    return Publish(pView, ppOut);
}

UnorderedAccessView* UnorderedAccessView::From(ID3D11UnorderedAccessView* pView)
{
    return pView != nullptr ? dynamic_cast<UnorderedAccessView*>(pView) : nullptr;
}

void UnorderedAccessView::GetResource(ID3D11Resource** ppResource)
{
    GetResourceRef(ppResource);
}

void UnorderedAccessView::GetDesc(D3D11_UNORDERED_ACCESS_VIEW_DESC* pDesc)
{
    if (pDesc != nullptr)
        *pDesc = m_desc;
}

bool UnorderedAccessView::HasCounter() const
{
    return m_desc.ViewDimension == D3D11_UAV_DIMENSION_BUFFER &&
           (m_desc.Buffer.Flags & (D3D11_BUFFER_UAV_FLAG_APPEND | D3D11_BUFFER_UAV_FLAG_COUNTER)) != 0;
}

bool UnorderedAccessView::GetBufferSpan(std::size_t* pFirstByte, std::size_t* pByteCount,
                                        bool* pWordView) const
{
    const ResourceImpl* pImpl = GetResourceImpl();
    if (m_desc.ViewDimension != D3D11_UAV_DIMENSION_BUFFER || pImpl == nullptr)
        return false;
    const ResourceShape& shape = pImpl->GetShape();
    const bool bRaw = (m_desc.Buffer.Flags & D3D11_BUFFER_UAV_FLAG_RAW) != 0;
    const bool bStructured = !bRaw && (shape.miscFlags & D3D11_RESOURCE_MISC_BUFFER_STRUCTURED) != 0;
    UINT uiElementBytes = 4;
    if (bStructured)
    {
        uiElementBytes = shape.structureByteStride;
    }
    else if (!bRaw)
    {
        FormatInfo info;
        if (!GetFormatInfo(m_desc.Format, &info))
            return false;
        uiElementBytes = info.bytesPerBlock;
    }
    // Creation resolved the span against the buffer's size.
    *pFirstByte = std::size_t{m_desc.Buffer.FirstElement} * uiElementBytes;
    *pByteCount = std::size_t{m_desc.Buffer.NumElements} * uiElementBytes;
    *pWordView = bRaw || bStructured;
    return true;
}

bool UnorderedAccessView::Implements(REFIID riid) const
{
    return IsEqualIID(riid, IID_ID3D11UnorderedAccessView) || IsEqualIID(riid, IID_ID3D11View) ||
           IsEqualIID(riid, IID_ID3D11DeviceChild) || IsEqualIID(riid, IID_IUnknown);
}

} // namespace d3d11_internal
