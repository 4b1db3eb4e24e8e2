#include "platform/d3d11/D3D11DeviceContext.h"

#include "platform/d3d11/D3D11Formats.h"
#include "platform/d3d11/D3D11Resources.h"
#include "platform/d3d11/D3D11States.h"
#include "platform/d3d11/D3D11Views.h"

#include <cstring>
#include <new>

namespace d3d11_internal
{

namespace
{

constexpr const char* INTERFACE_NAME = "ID3D11DeviceContext";

// Writes the element pattern (only the bits of mask, when given) into every element of the
// range. Elements of a multisampled resource include each sample.
void FillRange(ResourceImpl* pResource, const ViewRange& range, const std::uint8_t* pPattern,
               const std::uint8_t* pMask, UINT uiElementSize)
{
    const SubresourceLayout* pLayout = pResource->GetLayout(range.subresource);
    std::uint8_t* pData = pResource->GetData(range.subresource);
    if (pLayout == nullptr || pData == nullptr || uiElementSize == 0)
        return;
    const UINT uiElementsPerRow = pLayout->rowPitch / uiElementSize;
    for (UINT z = range.firstSlice; z < range.firstSlice + range.sliceCount && z < pLayout->depth; ++z)
    {
        for (UINT uiRow = 0; uiRow < pLayout->rowCount; ++uiRow)
        {
            std::uint8_t* pRow =
                pData + std::size_t{z} * pLayout->depthPitch + std::size_t{uiRow} * pLayout->rowPitch;
            for (UINT uiElement = 0; uiElement < uiElementsPerRow; ++uiElement)
            {
                std::uint8_t* pElement = pRow + std::size_t{uiElement} * uiElementSize;
                if (pMask == nullptr)
                {
                    std::memcpy(pElement, pPattern, uiElementSize);
                    continue;
                }
                for (UINT i = 0; i < uiElementSize; ++i)
                {
                    pElement[i] =
                        static_cast<std::uint8_t>((pElement[i] & ~pMask[i]) | (pPattern[i] & pMask[i]));
                }
            }
        }
    }
}

// The layout of the subresource a view writes (its first range); null when it has none.
const SubresourceLayout* TargetLayout(const ViewImpl* pView)
{
    if (pView == nullptr || pView->GetRanges().empty() || pView->GetResourceImpl() == nullptr)
        return nullptr;
    return pView->GetResourceImpl()->GetLayout(pView->GetRanges().front().subresource);
}

// The runtime refuses a depth-stencil view bound with a render target of another size.
bool SizesMatch(UINT NumViews, ID3D11RenderTargetView* const* ppRenderTargetViews,
                ID3D11DepthStencilView* pDepthStencilView)
{
    const SubresourceLayout* pDepth =
        pDepthStencilView != nullptr ? TargetLayout(DepthStencilView::From(pDepthStencilView)) : nullptr;
    if (pDepth == nullptr)
        return true;
    for (UINT i = 0; i < NumViews; ++i)
    {
        if (ppRenderTargetViews[i] == nullptr)
            continue;
        const SubresourceLayout* pTarget = TargetLayout(RenderTargetView::From(ppRenderTargetViews[i]));
        if (pTarget != nullptr && (pTarget->width != pDepth->width || pTarget->height != pDepth->height))
            return false;
    }
    return true;
}

} // namespace

DeviceContext::DeviceContext() : ComObject<ID3D11DeviceContext>(INTERFACE_NAME)
{
}

DeviceContext* DeviceContext::Create()
{
    try
    {
        return new DeviceContext();
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
}

DeviceContext* DeviceContext::From(ID3D11DeviceContext* pContext)
{
    return pContext != nullptr ? dynamic_cast<DeviceContext*>(pContext) : nullptr;
}

bool DeviceContext::Implements(REFIID riid) const
{
    return IsEqualIID(riid, IID_ID3D11DeviceContext) || IsEqualIID(riid, IID_ID3D11DeviceChild) ||
           IsEqualIID(riid, IID_IUnknown);
}

void DeviceContext::OMSetRenderTargets(UINT NumViews, ID3D11RenderTargetView* const* ppRenderTargetViews,
                                       ID3D11DepthStencilView* pDepthStencilView)
{
    D3D11Control::CallRecord record;
    record.Interface = INTERFACE_NAME;
    record.Method = "OMSetRenderTargets";
    record.Values = {static_cast<double>(NumViews)};
    bool bValid = NumViews <= D3D11_SIMULTANEOUS_RENDER_TARGET_COUNT &&
                  (NumViews == 0 || ppRenderTargetViews != nullptr);
    for (UINT i = 0; bValid && i < NumViews; ++i)
    {
        ID3D11RenderTargetView* pView = ppRenderTargetViews[i];
        bValid = pView == nullptr || RenderTargetView::From(pView) != nullptr;
        record.Objects.push_back(Object::IdOf(pView));
    }
    bValid = bValid && (pDepthStencilView == nullptr || DepthStencilView::From(pDepthStencilView) != nullptr);
    record.Objects.push_back(Object::IdOf(pDepthStencilView));
    if (!bValid)
    {
        record.Result = E_INVALIDARG;
        Runtime::Get().Log(std::move(record));
        return;
    }
    if (!SizesMatch(NumViews, ppRenderTargetViews, pDepthStencilView))
    {
        // As the runtime does: nothing stays bound, and the refusal shows in the log.
        record.Result = E_INVALIDARG;
        Runtime::Get().Log(std::move(record));
        for (auto& target : m_aRenderTargets)
            target.Set(nullptr);
        m_uiRenderTargetCount = 0;
        m_depthStencil.Set(nullptr);
        return;
    }
    Runtime::Get().Log(std::move(record));
    for (UINT i = 0; i < D3D11_SIMULTANEOUS_RENDER_TARGET_COUNT; ++i)
        m_aRenderTargets[i].Set(i < NumViews ? ppRenderTargetViews[i] : nullptr);
    m_uiRenderTargetCount = NumViews;
    m_depthStencil.Set(pDepthStencilView);
}

void DeviceContext::RSSetViewports(UINT NumViewports, const D3D11_VIEWPORT* pViewports)
{
    D3D11Control::CallRecord record;
    record.Interface = INTERFACE_NAME;
    record.Method = "RSSetViewports";
    record.Values = {static_cast<double>(NumViewports)};
    const bool bValid = NumViewports <= D3D11_VIEWPORT_AND_SCISSORRECT_OBJECT_COUNT_PER_PIPELINE &&
                        (NumViewports == 0 || pViewports != nullptr);
    if (bValid)
    {
        for (UINT i = 0; i < NumViewports; ++i)
        {
            const D3D11_VIEWPORT& vp = pViewports[i];
            record.Values.insert(record.Values.end(),
                                 {vp.TopLeftX, vp.TopLeftY, vp.Width, vp.Height, vp.MinDepth, vp.MaxDepth});
        }
    }
    else
    {
        record.Result = E_INVALIDARG;
    }
    Runtime::Get().Log(std::move(record));
    if (bValid)
        m_vViewports.assign(pViewports, pViewports + NumViewports);
}

void DeviceContext::RSSetState(ID3D11RasterizerState* pRasterizerState)
{
    const bool bValid = pRasterizerState == nullptr || RasterizerState::From(pRasterizerState) != nullptr;
    Runtime::Get().Log(INTERFACE_NAME, "RSSetState", bValid ? S_OK : E_INVALIDARG,
                       {Object::IdOf(pRasterizerState)}, {});
    if (bValid)
        m_rasterizerState.Set(pRasterizerState);
}

void DeviceContext::RSGetState(ID3D11RasterizerState** ppRasterizerState)
{
    ID3D11RasterizerState* pState = m_rasterizerState.Get();
    Runtime::Get().Log(INTERFACE_NAME, "RSGetState", S_OK, {Object::IdOf(pState)}, {});
    if (ppRasterizerState == nullptr)
        return;
    if (pState != nullptr)
        pState->AddRef();
    *ppRasterizerState = pState;
}

void DeviceContext::ClearRenderTargetView(ID3D11RenderTargetView* pRenderTargetView, const FLOAT ColorRGBA[4])
{
    RenderTargetView* pView = RenderTargetView::From(pRenderTargetView);
    if (pView == nullptr || ColorRGBA == nullptr)
    {
        Runtime::Get().Log(INTERFACE_NAME, "ClearRenderTargetView", E_INVALIDARG,
                           {Object::IdOf(pRenderTargetView)}, {});
        return;
    }
    Runtime::Get().Log(INTERFACE_NAME, "ClearRenderTargetView", S_OK, {pView->GetId()},
                       {ColorRGBA[0], ColorRGBA[1], ColorRGBA[2], ColorRGBA[3]});
    std::uint8_t aPattern[16];
    UINT uiSize = 0;
    if (!EncodeColor(pView->GetFormat(), ColorRGBA, aPattern, &uiSize))
        return;
    for (const ViewRange& range : pView->GetRanges())
        FillRange(pView->GetResourceImpl(), range, aPattern, nullptr, uiSize);
}

void DeviceContext::ClearDepthStencilView(ID3D11DepthStencilView* pDepthStencilView, UINT ClearFlags,
                                          FLOAT Depth, UINT8 Stencil)
{
    DepthStencilView* pView = DepthStencilView::From(pDepthStencilView);
    const UINT uiKnownFlags = D3D11_CLEAR_DEPTH | D3D11_CLEAR_STENCIL;
    const bool bValid =
        pView != nullptr && (ClearFlags & uiKnownFlags) != 0 && (ClearFlags & ~uiKnownFlags) == 0;
    Runtime::Get().Log(INTERFACE_NAME, "ClearDepthStencilView", bValid ? S_OK : E_INVALIDARG,
                       {Object::IdOf(pDepthStencilView)},
                       {static_cast<double>(ClearFlags), Depth, static_cast<double>(Stencil)});
    if (!bValid)
        return;
    std::uint8_t aPattern[8];
    std::uint8_t aMask[8];
    UINT uiSize = 0;
    if (!EncodeDepthStencil(pView->GetFormat(), ClearFlags, Depth, Stencil, aPattern, aMask, &uiSize))
        return;
    for (const ViewRange& range : pView->GetRanges())
        FillRange(pView->GetResourceImpl(), range, aPattern, aMask, uiSize);
}

void DeviceContext::ResolveSubresource(ID3D11Resource* pDstResource, UINT DstSubresource,
                                       ID3D11Resource* pSrcResource, UINT SrcSubresource, DXGI_FORMAT Format)
{
    ResourceImpl* pDst = ResourceImpl::From(pDstResource);
    ResourceImpl* pSrc = ResourceImpl::From(pSrcResource);
    const SubresourceLayout* pDstLayout = pDst != nullptr ? pDst->GetLayout(DstSubresource) : nullptr;
    const SubresourceLayout* pSrcLayout = pSrc != nullptr ? pSrc->GetLayout(SrcSubresource) : nullptr;
    FormatInfo info;
    bool bValid = pDstLayout != nullptr && pSrcLayout != nullptr && pDst != pSrc &&
                  GetFormatInfo(Format, &info) && info.kind != FormatKind::Typeless && info.blockWidth == 1 &&
                  info.blockHeight == 1;
    if (bValid)
    {
        const ResourceShape& dst = pDst->GetShape();
        const ResourceShape& src = pSrc->GetShape();
        bValid = dst.dimension == D3D11_RESOURCE_DIMENSION_TEXTURE2D &&
                 src.dimension == D3D11_RESOURCE_DIMENSION_TEXTURE2D && dst.sampleCount == 1 &&
                 src.sampleCount > 1 && dst.usage == D3D11_USAGE_DEFAULT &&
                 pDstLayout->width == pSrcLayout->width && pDstLayout->height == pSrcLayout->height &&
                 IsViewFormatCompatible(dst.format, Format) && IsViewFormatCompatible(src.format, Format);
    }
    Runtime::Get().Log(INTERFACE_NAME, "ResolveSubresource", bValid ? S_OK : E_INVALIDARG,
                       {Object::IdOf(pDstResource), Object::IdOf(pSrcResource)},
                       {static_cast<double>(DstSubresource), static_cast<double>(SrcSubresource),
                        static_cast<double>(Format)});
    if (!bValid)
        return;
    // The stand-in's resolve: sample 0 of every source pixel.
    const UINT uiElementSize = info.bytesPerBlock;
    const UINT uiSamples = pSrc->GetShape().sampleCount;
    const std::uint8_t* pSrcData = pSrc->GetData(SrcSubresource);
    std::uint8_t* pDstData = pDst->GetData(DstSubresource);
    for (UINT y = 0; y < pDstLayout->height; ++y)
    {
        for (UINT x = 0; x < pDstLayout->width; ++x)
        {
            std::memcpy(pDstData + std::size_t{y} * pDstLayout->rowPitch + std::size_t{x} * uiElementSize,
                        pSrcData + std::size_t{y} * pSrcLayout->rowPitch +
                            std::size_t{x} * uiSamples * uiElementSize,
                        uiElementSize);
        }
    }
}

void DeviceContext::UnbindAll()
{
    for (Ref<ID3D11RenderTargetView>& target : m_aRenderTargets)
        target.Reset();
    m_uiRenderTargetCount = 0;
    m_depthStencil.Reset();
    m_vViewports.clear();
    m_rasterizerState.Reset();
}

void DeviceContext::ClearState()
{
    Runtime::Get().Log(INTERFACE_NAME, "ClearState", S_OK, {}, {});
    UnbindAll();
}

void DeviceContext::Flush()
{
    Runtime::Get().Log(INTERFACE_NAME, "Flush", S_OK, {}, {});
}

D3D11Control::BoundState DeviceContext::GetBoundState() const
{
    D3D11Control::BoundState state;
    for (UINT i = 0; i < m_uiRenderTargetCount; ++i)
        state.RenderTargets.push_back(Object::IdOf(m_aRenderTargets[i].Get()));
    state.DepthStencil = Object::IdOf(m_depthStencil.Get());
    state.Viewports = m_vViewports;
    state.RasterizerState = Object::IdOf(m_rasterizerState.Get());
    return state;
}

} // namespace d3d11_internal
