#include "platform/d3d11/D3D11DeviceContext.h"

#include "platform/d3d11/D3D11Formats.h"
#include "platform/d3d11/D3D11Queries.h"
#include "platform/d3d11/D3D11Resources.h"
#include "platform/d3d11/D3D11Shaders.h"
#include "platform/d3d11/D3D11States.h"
#include "platform/d3d11/D3D11Views.h"

#include <algorithm>
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
    if (pLayout == nullptr || uiElementSize == 0 || uiElementSize > UniformValue::MAX_SIZE)
        return;
    // A mask that keeps no old bit (a depth format without stencil) writes whole elements.
    if (pMask != nullptr &&
        std::all_of(pMask, pMask + uiElementSize, [](std::uint8_t b) { return b == 0xFF; }))
        pMask = nullptr;
    // A range over the whole subresource only records the value it leaves: the pattern, or
    // under a mask the pattern merged into a uniform old value.
    if (range.firstSlice == 0 && range.sliceCount >= pLayout->depth)
    {
        std::uint8_t aMerged[UniformValue::MAX_SIZE];
        if (pMask == nullptr)
        {
            if (pResource->SetUniform(range.subresource, pPattern, uiElementSize))
                return;
        }
        else if (pResource->GetUniform(range.subresource).Expand(uiElementSize, aMerged))
        {
            for (UINT i = 0; i < uiElementSize; ++i)
                aMerged[i] = static_cast<std::uint8_t>((aMerged[i] & ~pMask[i]) | (pPattern[i] & pMask[i]));
            if (pResource->SetUniform(range.subresource, aMerged, uiElementSize))
                return;
        }
    }
    std::uint8_t* pData = pResource->GetData(range.subresource);
    if (pData == nullptr)
        return;
    const UINT uiElementsPerRow = pLayout->rowPitch / uiElementSize;
    for (UINT z = range.firstSlice; z < range.firstSlice + range.sliceCount && z < pLayout->depth; ++z)
    {
        for (UINT uiRow = 0; uiRow < pLayout->rowCount; ++uiRow)
        {
            std::uint8_t* pRow =
                pData + std::size_t{z} * pLayout->depthPitch + std::size_t{uiRow} * pLayout->rowPitch;
            if (pMask == nullptr)
            {
                FillPattern(pRow, pLayout->rowPitch, pPattern, uiElementSize);
                continue;
            }
            for (UINT uiElement = 0; uiElement < uiElementsPerRow; ++uiElement)
            {
                std::uint8_t* pElement = pRow + std::size_t{uiElement} * uiElementSize;
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

// The mip levels and array slices a shader resource view covers; false for buffer and
// multisampled views, which have no mips.
struct MipSpan
{
    UINT firstMip = 0;
    UINT mipCount = 0;
    UINT firstSlice = 0;
    UINT sliceCount = 1;
};

bool GetMipSpan(const D3D11_SHADER_RESOURCE_VIEW_DESC& desc, MipSpan* pSpan)
{
    switch (desc.ViewDimension)
    {
    case D3D11_SRV_DIMENSION_TEXTURE1D:
        *pSpan = {desc.Texture1D.MostDetailedMip, desc.Texture1D.MipLevels, 0, 1};
        return true;
    case D3D11_SRV_DIMENSION_TEXTURE1DARRAY:
        *pSpan = {desc.Texture1DArray.MostDetailedMip, desc.Texture1DArray.MipLevels,
                  desc.Texture1DArray.FirstArraySlice, desc.Texture1DArray.ArraySize};
        return true;
    case D3D11_SRV_DIMENSION_TEXTURE2D:
        *pSpan = {desc.Texture2D.MostDetailedMip, desc.Texture2D.MipLevels, 0, 1};
        return true;
    case D3D11_SRV_DIMENSION_TEXTURE2DARRAY:
        *pSpan = {desc.Texture2DArray.MostDetailedMip, desc.Texture2DArray.MipLevels,
                  desc.Texture2DArray.FirstArraySlice, desc.Texture2DArray.ArraySize};
        return true;
    case D3D11_SRV_DIMENSION_TEXTURE3D:
        *pSpan = {desc.Texture3D.MostDetailedMip, desc.Texture3D.MipLevels, 0, 1};
        return true;
    case D3D11_SRV_DIMENSION_TEXTURECUBE:
        *pSpan = {desc.TextureCube.MostDetailedMip, desc.TextureCube.MipLevels, 0, 6};
        return true;
    case D3D11_SRV_DIMENSION_TEXTURECUBEARRAY:
        *pSpan = {desc.TextureCubeArray.MostDetailedMip, desc.TextureCubeArray.MipLevels,
                  desc.TextureCubeArray.First2DArrayFace, desc.TextureCubeArray.NumCubes * 6};
        return true;
    default:
        return false;
    }
}

// Formats whose components the box filter can average: plain UNORM of 8 or 16 bits and FLOAT of
// 32 bits per component.
bool CanFilter(const FormatInfo& info)
{
    if (info.blockWidth != 1 || info.blockHeight != 1 || info.channels == 0)
        return false;
    return (info.kind == FormatKind::Unorm && (info.channelBits == 8 || info.channelBits == 16)) ||
           (info.kind == FormatKind::Float && info.channelBits == 32);
}

double ReadComponent(const std::uint8_t* p, const FormatInfo& info)
{
    if (info.kind == FormatKind::Float)
    {
        float f = 0.0f;
        std::memcpy(&f, p, sizeof(f));
        return f;
    }
    if (info.channelBits == 16)
    {
        std::uint16_t u = 0;
        std::memcpy(&u, p, sizeof(u));
        return u;
    }
    return *p;
}

void WriteComponent(std::uint8_t* p, const FormatInfo& info, double fValue)
{
    if (info.kind == FormatKind::Float)
    {
        const float f = static_cast<float>(fValue);
        std::memcpy(p, &f, sizeof(f));
        return;
    }
    // Averages of integers stay within the component's range; rounded to nearest.
    if (info.channelBits == 16)
    {
        const std::uint16_t u = static_cast<std::uint16_t>(fValue + 0.5);
        std::memcpy(p, &u, sizeof(u));
        return;
    }
    *p = static_cast<std::uint8_t>(fValue + 0.5);
}

// One level from the level above: each element the mean of the (up to) 2x2x2 elements it covers;
// an odd side's last element takes its one remaining neighbour twice.
void DownsampleLevel(ResourceImpl* pResource, UINT uiSource, UINT uiTarget, const FormatInfo& info)
{
    const SubresourceLayout* pFrom = pResource->GetLayout(uiSource);
    const SubresourceLayout* pTo = pResource->GetLayout(uiTarget);
    if (pFrom == nullptr || pTo == nullptr)
        return;
    const UINT uiElement = info.bytesPerBlock;
    const UINT uiComponent = info.channelBits / 8;
    // A uniform level gives a uniform level: every element the mean of eight equal ones,
    // computed as the loop below computes it. Elements with bytes outside the channels keep
    // the target's own bytes there, so those go the long way.
    std::uint8_t aSource[UniformValue::MAX_SIZE];
    if (info.channels * uiComponent == uiElement &&
        pResource->GetUniform(uiSource).Expand(uiElement, aSource))
    {
        std::uint8_t aTarget[UniformValue::MAX_SIZE];
        for (UINT c = 0; c < info.channels; ++c)
        {
            double fSum = 0.0;
            for (UINT i = 0; i < 8; ++i)
                fSum += ReadComponent(aSource + std::size_t{c} * uiComponent, info);
            WriteComponent(aTarget + std::size_t{c} * uiComponent, info, fSum / 8.0);
        }
        if (pResource->SetUniform(uiTarget, aTarget, uiElement))
            return;
    }
    // The target's memory only once the source's bytes are had: else it stays as it was.
    const std::uint8_t* pSource = pResource->GetData(uiSource);
    if (pSource == nullptr)
        return;
    std::uint8_t* pTarget = pResource->GetData(uiTarget);
    if (pTarget == nullptr)
        return;
    const auto clamp = [](UINT v, UINT uiSize) { return v < uiSize ? v : uiSize - 1; };
    for (UINT z = 0; z < pTo->depth; ++z)
        for (UINT y = 0; y < pTo->height; ++y)
            for (UINT x = 0; x < pTo->width; ++x)
            {
                std::uint8_t* pOut = pTarget + std::size_t{z} * pTo->depthPitch +
                                     std::size_t{y} * pTo->rowPitch + std::size_t{x} * uiElement;
                for (UINT c = 0; c < info.channels; ++c)
                {
                    double fSum = 0.0;
                    for (UINT i = 0; i < 8; ++i)
                    {
                        const UINT sx = clamp(2 * x + (i & 1), pFrom->width);
                        const UINT sy = clamp(2 * y + ((i >> 1) & 1), pFrom->height);
                        const UINT sz = clamp(2 * z + ((i >> 2) & 1), pFrom->depth);
                        fSum += ReadComponent(pSource + std::size_t{sz} * pFrom->depthPitch +
                                                  std::size_t{sy} * pFrom->rowPitch +
                                                  std::size_t{sx} * uiElement + std::size_t{c} * uiComponent,
                                              info);
                    }
                    WriteComponent(pOut + std::size_t{c} * uiComponent, info, fSum / 8.0);
                }
            }
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
    CallEntry record(INTERFACE_NAME, "OMSetRenderTargets");
    record.AddValue(static_cast<double>(NumViews));
    bool bValid = NumViews <= D3D11_SIMULTANEOUS_RENDER_TARGET_COUNT &&
                  (NumViews == 0 || ppRenderTargetViews != nullptr);
    for (UINT i = 0; bValid && i < NumViews; ++i)
    {
        ID3D11RenderTargetView* pView = ppRenderTargetViews[i];
        bValid = pView == nullptr || RenderTargetView::From(pView) != nullptr;
        record.AddObject(Object::IdOf(pView));
    }
    bValid = bValid && (pDepthStencilView == nullptr || DepthStencilView::From(pDepthStencilView) != nullptr);
    record.AddObject(Object::IdOf(pDepthStencilView));
    if (!bValid)
    {
        record.result = E_INVALIDARG;
        Runtime::Get().Log(record);
        return;
    }
    if (!SizesMatch(NumViews, ppRenderTargetViews, pDepthStencilView))
    {
        // As the runtime does: nothing stays bound, and the refusal shows in the log.
        record.result = E_INVALIDARG;
        Runtime::Get().Log(record);
        for (auto& target : m_aRenderTargets)
            target.Set(nullptr);
        m_uiRenderTargetCount = 0;
        m_depthStencil.Set(nullptr);
        return;
    }
    Runtime::Get().Log(record);
    for (UINT i = 0; i < D3D11_SIMULTANEOUS_RENDER_TARGET_COUNT; ++i)
        m_aRenderTargets[i].Set(i < NumViews ? ppRenderTargetViews[i] : nullptr);
    m_uiRenderTargetCount = NumViews;
    m_depthStencil.Set(pDepthStencilView);
}

// Objects: the views handed out. Values: the count asked for.
void DeviceContext::OMGetRenderTargets(UINT NumViews, ID3D11RenderTargetView** ppRenderTargetViews,
                                       ID3D11DepthStencilView** ppDepthStencilView)
{
    const bool bValid = NumViews <= D3D11_SIMULTANEOUS_RENDER_TARGET_COUNT &&
                        (NumViews == 0 || ppRenderTargetViews != nullptr);
    CallEntry record(INTERFACE_NAME, "OMGetRenderTargets");
    record.AddValue(static_cast<double>(NumViews));
    record.result = bValid ? S_OK : E_INVALIDARG;
    for (UINT i = 0; bValid && i < NumViews; ++i)
    {
        ID3D11RenderTargetView* pView = i < m_uiRenderTargetCount ? m_aRenderTargets[i].Get() : nullptr;
        if (pView != nullptr)
            pView->AddRef();
        ppRenderTargetViews[i] = pView;
        record.AddObject(Object::IdOf(pView));
    }
    if (ppDepthStencilView != nullptr)
    {
        ID3D11DepthStencilView* pDepth = m_depthStencil.Get();
        if (pDepth != nullptr)
            pDepth->AddRef();
        *ppDepthStencilView = pDepth;
        record.AddObject(Object::IdOf(pDepth));
    }
    Runtime::Get().Log(record);
}

// Objects: the render targets and the depth view (unless kept), then the UAVs. Values: the
// render-target count, the UAV start slot and count, then one initial count per UAV
// (0xFFFFFFFF for each when none are given).
void DeviceContext::OMSetRenderTargetsAndUnorderedAccessViews(
    UINT NumRTVs, ID3D11RenderTargetView* const* ppRenderTargetViews,
    ID3D11DepthStencilView* pDepthStencilView, UINT UAVStartSlot, UINT NumUAVs,
    ID3D11UnorderedAccessView* const* ppUnorderedAccessViews, const UINT* pUAVInitialCounts)
{
    const bool bKeepTargets = NumRTVs == D3D11_KEEP_RENDER_TARGETS_AND_DEPTH_STENCIL;
    const bool bKeepViews = NumUAVs == D3D11_KEEP_UNORDERED_ACCESS_VIEWS;
    CallEntry record(INTERFACE_NAME, "OMSetRenderTargetsAndUnorderedAccessViews");
    record.AddValue(static_cast<double>(NumRTVs));
    record.AddValue(static_cast<double>(UAVStartSlot));
    record.AddValue(static_cast<double>(NumUAVs));
    bool bValid = true;
    if (!bKeepTargets)
    {
        bValid = NumRTVs <= D3D11_SIMULTANEOUS_RENDER_TARGET_COUNT &&
                 (NumRTVs == 0 || ppRenderTargetViews != nullptr);
        for (UINT i = 0; bValid && i < NumRTVs; ++i)
        {
            bValid = ppRenderTargetViews[i] == nullptr ||
                     RenderTargetView::From(ppRenderTargetViews[i]) != nullptr;
            record.AddObject(Object::IdOf(ppRenderTargetViews[i]));
        }
        bValid = bValid &&
                 (pDepthStencilView == nullptr || DepthStencilView::From(pDepthStencilView) != nullptr) &&
                 SizesMatch(NumRTVs, ppRenderTargetViews, pDepthStencilView);
        record.AddObject(Object::IdOf(pDepthStencilView));
    }
    if (bValid && !bKeepViews && NumUAVs > 0)
    {
        // The UAVs share the output slots with the render targets and follow them.
        const UINT uiTargets = bKeepTargets ? m_uiRenderTargetCount : NumRTVs;
        bValid = ppUnorderedAccessViews != nullptr && UAVStartSlot >= uiTargets &&
                 UAVStartSlot < D3D11_PS_CS_UAV_REGISTER_COUNT &&
                 NumUAVs <= D3D11_PS_CS_UAV_REGISTER_COUNT - UAVStartSlot;
        for (UINT i = 0; bValid && i < NumUAVs; ++i)
        {
            bValid = ppUnorderedAccessViews[i] == nullptr ||
                     UnorderedAccessView::From(ppUnorderedAccessViews[i]) != nullptr;
            record.AddObject(Object::IdOf(ppUnorderedAccessViews[i]));
            record.AddValue(
                static_cast<double>(pUAVInitialCounts != nullptr ? pUAVInitialCounts[i] : 0xFFFFFFFFu));
        }
    }
    record.result = bValid ? S_OK : E_INVALIDARG;
    Runtime::Get().Log(record);
    if (!bValid)
        return;
    if (!bKeepTargets)
    {
        for (UINT i = 0; i < D3D11_SIMULTANEOUS_RENDER_TARGET_COUNT; ++i)
            m_aRenderTargets[i].Set(i < NumRTVs ? ppRenderTargetViews[i] : nullptr);
        m_uiRenderTargetCount = NumRTVs;
        m_depthStencil.Set(pDepthStencilView);
    }
    if (bKeepViews)
        return;
    for (UINT uiSlot = 0; uiSlot < D3D11_PS_CS_UAV_REGISTER_COUNT; ++uiSlot)
    {
        const bool bInRange = NumUAVs > 0 && uiSlot >= UAVStartSlot && uiSlot - UAVStartSlot < NumUAVs;
        ID3D11UnorderedAccessView* pView = bInRange ? ppUnorderedAccessViews[uiSlot - UAVStartSlot] : nullptr;
        m_aUnorderedAccessViews[uiSlot].Set(pView);
        UnorderedAccessView* pImpl = UnorderedAccessView::From(pView);
        if (pImpl != nullptr && pImpl->HasCounter() && pUAVInitialCounts != nullptr &&
            pUAVInitialCounts[uiSlot - UAVStartSlot] != 0xFFFFFFFFu)
        {
            pImpl->SetCounter(pUAVInitialCounts[uiSlot - UAVStartSlot]);
        }
    }
}

namespace
{

// One element of a plain, unpacked format holding the low bits of each value (stored in the
// format's component order); false for packed, compressed and depth formats.
bool EncodeUint(DXGI_FORMAT format, const UINT values[4], std::uint8_t out[16], UINT* pSize)
{
    FormatInfo info;
    if (!GetFormatInfo(format, &info) || info.kind == FormatKind::Packed ||
        info.kind == FormatKind::Compressed || info.kind == FormatKind::Depth || info.channels == 0 ||
        info.channels > 4 || (info.channelBits != 8 && info.channelBits != 16 && info.channelBits != 32) ||
        info.bytesPerBlock != info.channels * info.channelBits / 8)
    {
        return false;
    }
    const UINT uiBytes = info.channelBits / 8;
    for (UINT c = 0; c < info.channels; ++c)
    {
        const UINT uiValue = info.bgra && c < 3 ? values[2 - c] : values[c];
        for (UINT b = 0; b < uiBytes; ++b)
            out[c * uiBytes + b] = static_cast<std::uint8_t>(uiValue >> (8 * b));
    }
    *pSize = info.bytesPerBlock;
    return true;
}

} // namespace

// Objects: the view. Values: the four values.
void DeviceContext::ClearUnorderedAccessViewUint(ID3D11UnorderedAccessView* pUnorderedAccessView,
                                                 const UINT Values[4])
{
    UnorderedAccessView* pView = UnorderedAccessView::From(pUnorderedAccessView);
    std::size_t uiFirst = 0;
    std::size_t uiBytes = 0;
    bool bWords = false;
    const bool bBuffer = pView != nullptr && pView->GetBufferSpan(&uiFirst, &uiBytes, &bWords);
    std::uint8_t aPattern[16] = {};
    UINT uiSize = 0;
    bool bValid = pView != nullptr && Values != nullptr;
    if (bValid && bWords)
    {
        std::memcpy(aPattern, &Values[0], sizeof(UINT));
        uiSize = sizeof(UINT);
    }
    else if (bValid)
    {
        bValid = EncodeUint(pView->GetFormat(), Values, aPattern, &uiSize);
    }
    CallEntry record(INTERFACE_NAME, "ClearUnorderedAccessViewUint");
    record.result = bValid ? S_OK : E_INVALIDARG;
    record.AddObject(Object::IdOf(pUnorderedAccessView));
    for (UINT i = 0; Values != nullptr && i < 4; ++i)
        record.AddValue(static_cast<double>(Values[i]));
    Runtime::Get().Log(record);
    if (!bValid)
        return;
    if (!bBuffer)
    {
        for (const ViewRange& range : pView->GetRanges())
            FillRange(pView->GetResourceImpl(), range, aPattern, nullptr, uiSize);
        return;
    }
    ResourceImpl* pResource = pView->GetResourceImpl();
    if (uiFirst == 0 && uiBytes == pResource->GetLayout(0)->byteSize &&
        pResource->SetUniform(0, aPattern, uiSize))
        return;
    std::uint8_t* pData = pResource->GetData(0);
    if (pData != nullptr)
        FillPattern(pData + uiFirst, uiBytes, aPattern, uiSize);
}

void DeviceContext::RSSetViewports(UINT NumViewports, const D3D11_VIEWPORT* pViewports)
{
    CallEntry record(INTERFACE_NAME, "RSSetViewports");
    record.AddValue(static_cast<double>(NumViewports));
    const bool bValid = NumViewports <= D3D11_VIEWPORT_AND_SCISSORRECT_OBJECT_COUNT_PER_PIPELINE &&
                        (NumViewports == 0 || pViewports != nullptr);
    if (bValid)
    {
        for (UINT i = 0; i < NumViewports; ++i)
        {
            const D3D11_VIEWPORT& vp = pViewports[i];
            for (const double fValue :
                 {vp.TopLeftX, vp.TopLeftY, vp.Width, vp.Height, vp.MinDepth, vp.MaxDepth})
                record.AddValue(fValue);
        }
    }
    else
    {
        record.result = E_INVALIDARG;
    }
    Runtime::Get().Log(record);
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

void DeviceContext::RSGetViewports(UINT* pNumViewports, D3D11_VIEWPORT* pViewports)
{
    Runtime::Get().Log(INTERFACE_NAME, "RSGetViewports", pNumViewports != nullptr ? S_OK : E_INVALIDARG, {},
                       {});
    if (pNumViewports == nullptr)
        return;
    if (pViewports == nullptr)
    {
        *pNumViewports = static_cast<UINT>(m_vViewports.size());
        return;
    }
    for (UINT i = 0; i < *pNumViewports; ++i)
        pViewports[i] = i < m_vViewports.size() ? m_vViewports[i] : D3D11_VIEWPORT{};
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
    // The stand-in's resolve: sample 0 of every source pixel, so a uniform source whose
    // pattern tiles one element gives its own value.
    const UINT uiElementSize = info.bytesPerBlock;
    const UINT uiSamples = pSrc->GetShape().sampleCount;
    std::uint8_t aElement[UniformValue::MAX_SIZE];
    if (pSrc->GetUniform(SrcSubresource).Expand(uiElementSize, aElement) &&
        pDstLayout->rowPitch == pDstLayout->width * uiElementSize &&
        pDst->SetUniform(DstSubresource, aElement, uiElementSize))
    {
        return;
    }
    // The target's memory only once the source's bytes are had: else it stays as it was.
    const std::uint8_t* pSrcData = pSrc->GetData(SrcSubresource);
    if (pSrcData == nullptr)
        return;
    std::uint8_t* pDstData = pDst->GetData(DstSubresource);
    if (pDstData == nullptr)
        return;
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

namespace
{

// Block geometry of a resource: buffers count in bytes.
struct BlockShape
{
    UINT bytesPerBlock = 1;
    UINT blockWidth = 1;
    UINT blockHeight = 1;
};

bool GetBlockShape(const ResourceShape& shape, BlockShape* pOut)
{
    if (shape.dimension == D3D11_RESOURCE_DIMENSION_BUFFER)
    {
        *pOut = BlockShape{};
        return true;
    }
    FormatInfo info;
    if (!GetFormatInfo(shape.format, &info) || info.bytesPerBlock == 0)
        return false;
    pOut->bytesPerBlock = info.bytesPerBlock;
    pOut->blockWidth = info.blockWidth;
    pOut->blockHeight = info.blockHeight;
    return true;
}

// A box in texels turned into block columns, block rows and slices; false when it is empty,
// reversed, outside the subresource or not on block edges (the last partial block excepted).
bool ToBlockBox(const SubresourceLayout& layout, const BlockShape& block, const D3D11_BOX& box,
                D3D11_BOX* pBlocks)
{
    if (box.left >= box.right || box.top >= box.bottom || box.front >= box.back || box.right > layout.width ||
        box.bottom > layout.height || box.back > layout.depth)
    {
        return false;
    }
    const auto onEdge = [](UINT uiValue, UINT uiBlock, UINT uiSide)
    { return uiValue % uiBlock == 0 || uiValue == uiSide; };
    if (!onEdge(box.left, block.blockWidth, layout.width) ||
        !onEdge(box.right, block.blockWidth, layout.width) ||
        !onEdge(box.top, block.blockHeight, layout.height) ||
        !onEdge(box.bottom, block.blockHeight, layout.height))
    {
        return false;
    }
    pBlocks->left = box.left / block.blockWidth;
    pBlocks->right = (box.right + block.blockWidth - 1) / block.blockWidth;
    pBlocks->top = box.top / block.blockHeight;
    pBlocks->bottom = (box.bottom + block.blockHeight - 1) / block.blockHeight;
    pBlocks->front = box.front;
    pBlocks->back = box.back;
    return true;
}

D3D11_BOX WholeBox(const SubresourceLayout& layout)
{
    return D3D11_BOX{0, 0, 0, layout.width, layout.height, layout.depth};
}

// Copies block rows from one place to another; pitches in bytes.
void CopyBlocks(const std::uint8_t* pSrc, std::size_t uiSrcRowPitch, std::size_t uiSrcSlicePitch,
                std::uint8_t* pDst, std::size_t uiDstRowPitch, std::size_t uiDstSlicePitch,
                std::size_t uiRowBytes, UINT uiRows, UINT uiSlices)
{
    for (UINT z = 0; z < uiSlices; ++z)
    {
        for (UINT y = 0; y < uiRows; ++y)
        {
            std::memcpy(pDst + z * uiDstSlicePitch + y * uiDstRowPitch,
                        pSrc + z * uiSrcSlicePitch + y * uiSrcRowPitch, uiRowBytes);
        }
    }
}

std::size_t BlockOffset(const SubresourceLayout& layout, const BlockShape& block, UINT x, UINT y, UINT z)
{
    return std::size_t{z} * layout.depthPitch + std::size_t{y} * layout.rowPitch +
           std::size_t{x} * block.bytesPerBlock;
}

bool SameFamily(const ResourceShape& a, const ResourceShape& b)
{
    if (a.dimension == D3D11_RESOURCE_DIMENSION_BUFFER || b.dimension == D3D11_RESOURCE_DIMENSION_BUFFER)
        return a.dimension == b.dimension;
    FormatInfo infoA;
    FormatInfo infoB;
    return GetFormatInfo(a.format, &infoA) && GetFormatInfo(b.format, &infoB) && infoA.family == infoB.family;
}

} // namespace

HRESULT DeviceContext::Map(ID3D11Resource* pResource, UINT Subresource, D3D11_MAP MapType, UINT MapFlags,
                           D3D11_MAPPED_SUBRESOURCE* pMappedResource)
{
    ResourceImpl* pImpl = ResourceImpl::From(pResource);
    const SubresourceLayout* pLayout = pImpl != nullptr ? pImpl->GetLayout(Subresource) : nullptr;
    HRESULT hr = Runtime::Get().TakeFailure(INTERFACE_NAME, "Map");
    if (SUCCEEDED(hr))
    {
        bool bValid = pLayout != nullptr && pMappedResource != nullptr && !pImpl->IsMapped(Subresource) &&
                      pImpl->GetShape().sampleCount == 1;
        if (bValid)
        {
            const ResourceShape& shape = pImpl->GetShape();
            const bool bRead = (shape.cpuAccessFlags & D3D11_CPU_ACCESS_READ) != 0;
            const bool bWrite = (shape.cpuAccessFlags & D3D11_CPU_ACCESS_WRITE) != 0;
            const bool bStaging = shape.usage == D3D11_USAGE_STAGING;
            const bool bDynamic = shape.usage == D3D11_USAGE_DYNAMIC;
            switch (MapType)
            {
            case D3D11_MAP_READ:
                bValid = bRead;
                break;
            case D3D11_MAP_WRITE:
                bValid = bStaging && bWrite;
                break;
            case D3D11_MAP_READ_WRITE:
                bValid = bStaging && bRead && bWrite;
                break;
            case D3D11_MAP_WRITE_DISCARD:
            case D3D11_MAP_WRITE_NO_OVERWRITE:
                bValid = bDynamic && bWrite;
                break;
            default:
                bValid = false;
                break;
            }
        }
        hr = bValid ? S_OK : E_INVALIDARG;
    }
    Runtime::Get().Log(
        INTERFACE_NAME, "Map", hr, {Object::IdOf(pResource)},
        {static_cast<double>(Subresource), static_cast<double>(MapType), static_cast<double>(MapFlags)});
    if (FAILED(hr))
    {
        if (pMappedResource != nullptr)
            *pMappedResource = D3D11_MAPPED_SUBRESOURCE{};
        return hr;
    }
    std::uint8_t* pData = pImpl->GetData(Subresource);
    if (pData == nullptr)
    {
        *pMappedResource = D3D11_MAPPED_SUBRESOURCE{};
        return E_OUTOFMEMORY;
    }
    pImpl->SetMapped(Subresource, true);
    pMappedResource->pData = pData;
    pMappedResource->RowPitch = pLayout->rowPitch;
    pMappedResource->DepthPitch = pLayout->depthPitch;
    return S_OK;
}

void DeviceContext::Unmap(ID3D11Resource* pResource, UINT Subresource)
{
    ResourceImpl* pImpl = ResourceImpl::From(pResource);
    const bool bValid = pImpl != nullptr && pImpl->IsMapped(Subresource);
    Runtime::Get().Log(INTERFACE_NAME, "Unmap", bValid ? S_OK : E_INVALIDARG, {Object::IdOf(pResource)},
                       {static_cast<double>(Subresource)});
    if (bValid)
        pImpl->SetMapped(Subresource, false);
}

void DeviceContext::UpdateSubresource(ID3D11Resource* pDstResource, UINT DstSubresource,
                                      const D3D11_BOX* pDstBox, const void* pSrcData, UINT SrcRowPitch,
                                      UINT SrcDepthPitch)
{
    ResourceImpl* pDst = ResourceImpl::From(pDstResource);
    const SubresourceLayout* pLayout = pDst != nullptr ? pDst->GetLayout(DstSubresource) : nullptr;
    BlockShape block;
    D3D11_BOX blocks{};
    bool bValid = pLayout != nullptr && pSrcData != nullptr && !pDst->IsMapped(DstSubresource) &&
                  pDst->GetShape().usage == D3D11_USAGE_DEFAULT && pDst->GetShape().sampleCount == 1 &&
                  !IsDepthFormat(pDst->GetShape().format) && GetBlockShape(pDst->GetShape(), &block) &&
                  ToBlockBox(*pLayout, block, pDstBox != nullptr ? *pDstBox : WholeBox(*pLayout), &blocks);
    const std::size_t uiRowBytes = bValid ? std::size_t{blocks.right - blocks.left} * block.bytesPerBlock : 0;
    const UINT uiRows = blocks.bottom - blocks.top;
    const UINT uiSlices = blocks.back - blocks.front;
    // The caller's pitches must hold the rows and slices they describe.
    bValid = bValid && (uiRows <= 1 || SrcRowPitch >= uiRowBytes) &&
             (uiSlices <= 1 ||
              std::uint64_t{SrcDepthPitch} >= std::uint64_t{SrcRowPitch} * (uiRows - 1) + uiRowBytes);
    Runtime::Get().Log(INTERFACE_NAME, "UpdateSubresource", bValid ? S_OK : E_INVALIDARG,
                       {Object::IdOf(pDstResource)},
                       {static_cast<double>(DstSubresource), static_cast<double>(SrcRowPitch),
                        static_cast<double>(SrcDepthPitch)});
    if (!bValid)
        return;
    const bool bWhole =
        uiRowBytes == pLayout->rowPitch && uiRows == pLayout->rowCount && uiSlices == pLayout->depth;
    std::uint8_t* pData = bWhole ? pDst->GetDataForOverwrite(DstSubresource) : pDst->GetData(DstSubresource);
    if (pData == nullptr)
        return;
    CopyBlocks(static_cast<const std::uint8_t*>(pSrcData), SrcRowPitch, SrcDepthPitch,
               pData + BlockOffset(*pLayout, block, blocks.left, blocks.top, blocks.front), pLayout->rowPitch,
               pLayout->depthPitch, uiRowBytes, uiRows, uiSlices);
}

void DeviceContext::CopyResource(ID3D11Resource* pDstResource, ID3D11Resource* pSrcResource)
{
    ResourceImpl* pDst = ResourceImpl::From(pDstResource);
    ResourceImpl* pSrc = ResourceImpl::From(pSrcResource);
    bool bValid =
        pDst != nullptr && pSrc != nullptr && pDst != pSrc && !pDst->IsAnyMapped() && !pSrc->IsAnyMapped();
    if (bValid)
    {
        const ResourceShape& dst = pDst->GetShape();
        const ResourceShape& src = pSrc->GetShape();
        bValid = dst.dimension == src.dimension && dst.width == src.width && dst.height == src.height &&
                 dst.depth == src.depth && dst.mipLevels == src.mipLevels && dst.arraySize == src.arraySize &&
                 dst.sampleCount == src.sampleCount && dst.usage != D3D11_USAGE_IMMUTABLE &&
                 SameFamily(dst, src);
    }
    Runtime::Get().Log(INTERFACE_NAME, "CopyResource", bValid ? S_OK : E_INVALIDARG,
                       {Object::IdOf(pDstResource), Object::IdOf(pSrcResource)}, {});
    if (!bValid)
        return;
    // Same shape and family: every subresource has the same layout on both sides.
    for (UINT i = 0; i < pDst->GetSubresourceCount(); ++i)
    {
        const UniformValue uniform = pSrc->GetUniform(i);
        if (uniform.size != 0 && pDst->SetUniform(i, uniform.bytes, uniform.size))
            continue;
        // The target's memory only once the source's bytes are had: asked for overwriting, it
        // drops the target's value unfilled.
        const std::uint8_t* pSrcData = pSrc->GetData(i);
        if (pSrcData == nullptr)
            continue;
        std::uint8_t* pDstData = pDst->GetDataForOverwrite(i);
        if (pDstData != nullptr)
            std::memcpy(pDstData, pSrcData, pDst->GetLayout(i)->byteSize);
    }
}

void DeviceContext::CopySubresourceRegion(ID3D11Resource* pDstResource, UINT DstSubresource, UINT DstX,
                                          UINT DstY, UINT DstZ, ID3D11Resource* pSrcResource,
                                          UINT SrcSubresource, const D3D11_BOX* pSrcBox)
{
    ResourceImpl* pDst = ResourceImpl::From(pDstResource);
    ResourceImpl* pSrc = ResourceImpl::From(pSrcResource);
    const SubresourceLayout* pDstLayout = pDst != nullptr ? pDst->GetLayout(DstSubresource) : nullptr;
    const SubresourceLayout* pSrcLayout = pSrc != nullptr ? pSrc->GetLayout(SrcSubresource) : nullptr;
    BlockShape block;
    D3D11_BOX srcBlocks{};
    D3D11_BOX dstBlocks{};
    bool bValid =
        pDstLayout != nullptr && pSrcLayout != nullptr && !pDst->IsMapped(DstSubresource) &&
        !pSrc->IsMapped(SrcSubresource) && (pDst != pSrc || DstSubresource != SrcSubresource) &&
        pDst->GetShape().dimension == pSrc->GetShape().dimension &&
        pDst->GetShape().usage != D3D11_USAGE_IMMUTABLE && pDst->GetShape().sampleCount == 1 &&
        pSrc->GetShape().sampleCount == 1 && SameFamily(pDst->GetShape(), pSrc->GetShape()) &&
        GetBlockShape(pDst->GetShape(), &block) &&
        ToBlockBox(*pSrcLayout, block, pSrcBox != nullptr ? *pSrcBox : WholeBox(*pSrcLayout), &srcBlocks);
    if (bValid)
    {
        const D3D11_BOX& src = pSrcBox != nullptr ? *pSrcBox : WholeBox(*pSrcLayout);
        const std::uint64_t uiRight = std::uint64_t{DstX} + (src.right - src.left);
        const std::uint64_t uiBottom = std::uint64_t{DstY} + (src.bottom - src.top);
        const std::uint64_t uiBack = std::uint64_t{DstZ} + (src.back - src.front);
        bValid = uiRight <= pDstLayout->width && uiBottom <= pDstLayout->height &&
                 uiBack <= pDstLayout->depth &&
                 ToBlockBox(*pDstLayout, block,
                            D3D11_BOX{DstX, DstY, DstZ, static_cast<UINT>(uiRight),
                                      static_cast<UINT>(uiBottom), static_cast<UINT>(uiBack)},
                            &dstBlocks) &&
                 dstBlocks.right - dstBlocks.left == srcBlocks.right - srcBlocks.left &&
                 dstBlocks.bottom - dstBlocks.top == srcBlocks.bottom - srcBlocks.top;
    }
    Runtime::Get().Log(INTERFACE_NAME, "CopySubresourceRegion", bValid ? S_OK : E_INVALIDARG,
                       {Object::IdOf(pDstResource), Object::IdOf(pSrcResource)},
                       {static_cast<double>(DstSubresource), static_cast<double>(DstX),
                        static_cast<double>(DstY), static_cast<double>(DstZ),
                        static_cast<double>(SrcSubresource)});
    if (!bValid)
        return;
    const std::size_t uiRowBytes = std::size_t{srcBlocks.right - srcBlocks.left} * block.bytesPerBlock;
    const UINT uiRows = srcBlocks.bottom - srcBlocks.top;
    const UINT uiSlices = srcBlocks.back - srcBlocks.front;
    const std::size_t uiSrcOffset =
        BlockOffset(*pSrcLayout, block, srcBlocks.left, srcBlocks.top, srcBlocks.front);
    const std::size_t uiDstOffset =
        BlockOffset(*pDstLayout, block, dstBlocks.left, dstBlocks.top, dstBlocks.front);
    const bool bWhole =
        uiRowBytes == pDstLayout->rowPitch && uiRows == pDstLayout->rowCount && uiSlices == pDstLayout->depth;
    // From a uniform source every copied row starts the pattern afresh when the source offset
    // and pitches are whole patterns: a whole target takes the value, and a target holding the
    // same value at the same phase keeps it.
    const UniformValue uniform = pSrc->GetUniform(SrcSubresource);
    if (uniform.size != 0 && uiSrcOffset % uniform.size == 0 && uiRowBytes % uniform.size == 0)
    {
        if (bWhole && pDst->SetUniform(DstSubresource, uniform.bytes, uniform.size))
            return;
        if (pDst->GetUniform(DstSubresource) == uniform && uiDstOffset % uniform.size == 0)
            return;
    }
    // The target's memory only once the source's bytes are had: asked for a whole overwrite, it
    // drops the target's value unfilled, and a partial copy would keep memory it never needed.
    const std::uint8_t* pSrcData = pSrc->GetData(SrcSubresource);
    if (pSrcData == nullptr)
        return;
    std::uint8_t* pDstData =
        bWhole ? pDst->GetDataForOverwrite(DstSubresource) : pDst->GetData(DstSubresource);
    if (pDstData == nullptr)
        return;
    CopyBlocks(pSrcData + uiSrcOffset, pSrcLayout->rowPitch, pSrcLayout->depthPitch, pDstData + uiDstOffset,
               pDstLayout->rowPitch, pDstLayout->depthPitch, uiRowBytes, uiRows, uiSlices);
}

namespace
{

bool HasBind(ID3D11Buffer* pBuffer, UINT uiBind)
{
    const ResourceImpl* pImpl = ResourceImpl::From(pBuffer);
    return pImpl != nullptr && pImpl->GetShape().dimension == D3D11_RESOURCE_DIMENSION_BUFFER &&
           (pImpl->GetShape().bindFlags & uiBind) != 0;
}

} // namespace

// Objects: the layout.
void DeviceContext::IASetInputLayout(ID3D11InputLayout* pInputLayout)
{
    const bool bValid = pInputLayout == nullptr || InputLayout::From(pInputLayout) != nullptr;
    Runtime::Get().Log(INTERFACE_NAME, "IASetInputLayout", bValid ? S_OK : E_INVALIDARG,
                       {Object::IdOf(pInputLayout)}, {});
    if (bValid)
        m_inputLayout.Set(pInputLayout);
}

// Objects: the buffers in slot order. Values: start slot, count, then stride and offset per buffer.
void DeviceContext::IASetVertexBuffers(UINT StartSlot, UINT NumBuffers, ID3D11Buffer* const* ppVertexBuffers,
                                       const UINT* pStrides, const UINT* pOffsets)
{
    bool bValid =
        StartSlot < D3D11_IA_VERTEX_INPUT_RESOURCE_SLOT_COUNT &&
        NumBuffers <= D3D11_IA_VERTEX_INPUT_RESOURCE_SLOT_COUNT - StartSlot &&
        (NumBuffers == 0 || (ppVertexBuffers != nullptr && pStrides != nullptr && pOffsets != nullptr));
    CallEntry record(INTERFACE_NAME, "IASetVertexBuffers");
    record.AddValue(static_cast<double>(StartSlot));
    record.AddValue(static_cast<double>(NumBuffers));
    for (UINT i = 0; bValid && i < NumBuffers; ++i)
    {
        if (ppVertexBuffers[i] != nullptr && !HasBind(ppVertexBuffers[i], D3D11_BIND_VERTEX_BUFFER))
            bValid = false;
        record.AddObject(Object::IdOf(ppVertexBuffers[i]));
        record.AddValue(static_cast<double>(pStrides[i]));
        record.AddValue(static_cast<double>(pOffsets[i]));
    }
    record.result = bValid ? S_OK : E_INVALIDARG;
    Runtime::Get().Log(record);
    if (!bValid)
        return;
    for (UINT i = 0; i < NumBuffers; ++i)
    {
        m_aVertexBuffers[StartSlot + i].Set(ppVertexBuffers[i]);
        m_aVertexStrides[StartSlot + i] = pStrides[i];
        m_aVertexOffsets[StartSlot + i] = pOffsets[i];
    }
}

// Objects: the buffer. Values: format, offset.
void DeviceContext::IASetIndexBuffer(ID3D11Buffer* pIndexBuffer, DXGI_FORMAT Format, UINT Offset)
{
    const bool bValid =
        pIndexBuffer == nullptr || (HasBind(pIndexBuffer, D3D11_BIND_INDEX_BUFFER) &&
                                    (Format == DXGI_FORMAT_R16_UINT || Format == DXGI_FORMAT_R32_UINT));
    Runtime::Get().Log(INTERFACE_NAME, "IASetIndexBuffer", bValid ? S_OK : E_INVALIDARG,
                       {Object::IdOf(pIndexBuffer)},
                       {static_cast<double>(Format), static_cast<double>(Offset)});
    if (!bValid)
        return;
    m_indexBuffer.Set(pIndexBuffer);
    m_indexFormat = Format;
    m_uiIndexOffset = Offset;
}

// Values: the topology.
void DeviceContext::IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY Topology)
{
    const bool bValid =
        Topology >= D3D11_PRIMITIVE_TOPOLOGY_POINTLIST && Topology <= D3D11_PRIMITIVE_TOPOLOGY_TRIANGLESTRIP;
    Runtime::Get().Log(INTERFACE_NAME, "IASetPrimitiveTopology", bValid ? S_OK : E_INVALIDARG, {},
                       {static_cast<double>(Topology)});
    if (bValid)
        m_topology = Topology;
}

void DeviceContext::LogDraw(const char* pMethod, std::initializer_list<double> values) const
{
    if (!Runtime::Get().IsLogging())
        return;
    CallEntry record(INTERFACE_NAME, pMethod);
    for (const double fValue : values)
        record.AddValue(fValue);
    PipelineEntry pipeline;
    pipeline.topology = m_topology;
    pipeline.uiInputLayout = Object::IdOf(m_inputLayout.Get());
    UINT uiSlots = D3D11_IA_VERTEX_INPUT_RESOURCE_SLOT_COUNT;
    while (uiSlots > 0 && m_aVertexBuffers[uiSlots - 1].Get() == nullptr)
        --uiSlots;
    for (UINT i = 0; i < uiSlots; ++i)
        pipeline.aVertexBuffers[i] = {Object::IdOf(m_aVertexBuffers[i].Get()), m_aVertexStrides[i],
                                      m_aVertexOffsets[i]};
    pipeline.uiVertexBuffers = uiSlots;
    pipeline.uiIndexBuffer = Object::IdOf(m_indexBuffer.Get());
    pipeline.indexFormat = m_indexFormat;
    pipeline.uiIndexOffset = m_uiIndexOffset;
    pipeline.uiVertexShader = Object::IdOf(m_aStages[STAGE_VS].shader.Get());
    pipeline.uiGeometryShader = Object::IdOf(m_aStages[STAGE_GS].shader.Get());
    pipeline.uiPixelShader = Object::IdOf(m_aStages[STAGE_PS].shader.Get());
    pipeline.uiBlendState = Object::IdOf(m_blendState.Get());
    pipeline.uiDepthStencilState = Object::IdOf(m_depthStencilState.Get());
    pipeline.uiRasterizerState = Object::IdOf(m_rasterizerState.Get());
    // The buffers stay among the objects as before: index buffer (indexed draws), vertex buffer 0.
    if (std::strncmp(pMethod, "DrawIndexed", 11) == 0)
        record.AddObject(pipeline.uiIndexBuffer);
    record.AddObject(uiSlots > 0 ? pipeline.aVertexBuffers[0].Buffer : 0);
    record.pPipeline = &pipeline;
    Runtime::Get().Log(record);
}

// Objects: the vertex buffer of slot 0. Values: vertex count, start vertex. Pipeline: as bound.
void DeviceContext::Draw(UINT VertexCount, UINT StartVertexLocation)
{
    LogDraw("Draw", {static_cast<double>(VertexCount), static_cast<double>(StartVertexLocation)});
}

// Objects: the bound index buffer and the vertex buffer of slot 0. Values: index count, start
// index, base vertex. Pipeline: as bound.
void DeviceContext::DrawIndexed(UINT IndexCount, UINT StartIndexLocation, INT BaseVertexLocation)
{
    LogDraw("DrawIndexed", {static_cast<double>(IndexCount), static_cast<double>(StartIndexLocation),
                            static_cast<double>(BaseVertexLocation)});
}

// As DrawIndexed; values: index count, instance count, start index, base vertex, start instance.
void DeviceContext::DrawIndexedInstanced(UINT IndexCountPerInstance, UINT InstanceCount,
                                         UINT StartIndexLocation, INT BaseVertexLocation,
                                         UINT StartInstanceLocation)
{
    LogDraw("DrawIndexedInstanced",
            {static_cast<double>(IndexCountPerInstance), static_cast<double>(InstanceCount),
             static_cast<double>(StartIndexLocation), static_cast<double>(BaseVertexLocation),
             static_cast<double>(StartInstanceLocation)});
}

// Objects: the vertex buffer of slot 0. Values: vertex count, instance count, start vertex, start
// instance. Pipeline: as bound.
void DeviceContext::DrawInstanced(UINT VertexCountPerInstance, UINT InstanceCount, UINT StartVertexLocation,
                                  UINT StartInstanceLocation)
{
    LogDraw("DrawInstanced",
            {static_cast<double>(VertexCountPerInstance), static_cast<double>(InstanceCount),
             static_cast<double>(StartVertexLocation), static_cast<double>(StartInstanceLocation)});
}

// Objects: the shader. Values: the number of class instances (must be 0).
void DeviceContext::SetShader(StageIndex stage, const char* pMethod, ID3D11DeviceChild* pShader,
                              UINT NumClassInstances)
{
    const bool bValid = NumClassInstances == 0 && (pShader == nullptr || Object::From(pShader) != nullptr);
    Runtime::Get().Log(INTERFACE_NAME, pMethod, bValid ? S_OK : E_INVALIDARG, {Object::IdOf(pShader)},
                       {static_cast<double>(NumClassInstances)});
    if (bValid)
        m_aStages[stage].shader.Set(pShader);
}

namespace
{

// Shared by the per-stage slot setters: logs objects (ids in slot order) and values (start slot,
// count); a range past the stage's slots, a missing array or an object the check refuses makes
// the whole call do nothing.
template <class T, class TCheck>
bool LogSlots(const char* pInterface, const char* pMethod, UINT StartSlot, UINT Num, T* const* ppObjects,
              UINT uiSlotCount, TCheck check)
{
    CallEntry record(pInterface, pMethod);
    record.AddValue(static_cast<double>(StartSlot));
    record.AddValue(static_cast<double>(Num));
    bool bValid =
        StartSlot < uiSlotCount && Num <= uiSlotCount - StartSlot && (Num == 0 || ppObjects != nullptr);
    for (UINT i = 0; bValid && i < Num; ++i)
    {
        bValid = ppObjects[i] == nullptr || check(ppObjects[i]);
        record.AddObject(Object::IdOf(ppObjects[i]));
    }
    record.result = bValid ? S_OK : E_INVALIDARG;
    Runtime::Get().Log(record);
    return bValid;
}

} // namespace

void DeviceContext::SetConstantBuffers(StageIndex stage, const char* pMethod, UINT StartSlot, UINT NumBuffers,
                                       ID3D11Buffer* const* ppBuffers)
{
    if (!LogSlots(INTERFACE_NAME, pMethod, StartSlot, NumBuffers, ppBuffers,
                  D3D11_COMMONSHADER_CONSTANT_BUFFER_API_SLOT_COUNT,
                  [](ID3D11Buffer* pBuffer) { return HasBind(pBuffer, D3D11_BIND_CONSTANT_BUFFER); }))
        return;
    for (UINT i = 0; i < NumBuffers; ++i)
        m_aStages[stage].constantBuffers[StartSlot + i].Set(ppBuffers[i]);
}

void DeviceContext::SetSamplers(StageIndex stage, const char* pMethod, UINT StartSlot, UINT NumSamplers,
                                ID3D11SamplerState* const* ppSamplers)
{
    if (!LogSlots(INTERFACE_NAME, pMethod, StartSlot, NumSamplers, ppSamplers,
                  D3D11_COMMONSHADER_SAMPLER_SLOT_COUNT,
                  [](ID3D11SamplerState* pSampler) { return SamplerState::From(pSampler) != nullptr; }))
        return;
    for (UINT i = 0; i < NumSamplers; ++i)
        m_aStages[stage].samplers[StartSlot + i].Set(ppSamplers[i]);
}

void DeviceContext::SetShaderResources(StageIndex stage, const char* pMethod, UINT StartSlot, UINT NumViews,
                                       ID3D11ShaderResourceView* const* ppViews)
{
    if (!LogSlots(INTERFACE_NAME, pMethod, StartSlot, NumViews, ppViews,
                  D3D11_COMMONSHADER_INPUT_RESOURCE_SLOT_COUNT,
                  [](ID3D11ShaderResourceView* pView) { return ShaderResourceView::From(pView) != nullptr; }))
        return;
    for (UINT i = 0; i < NumViews; ++i)
        m_aStages[stage].views[StartSlot + i].Set(ppViews[i]);
}

void DeviceContext::VSSetShader(ID3D11VertexShader* pVertexShader, ID3D11ClassInstance* const*,
                                UINT NumClassInstances)
{
    SetShader(STAGE_VS, "VSSetShader", pVertexShader, NumClassInstances);
}

void DeviceContext::VSSetConstantBuffers(UINT StartSlot, UINT NumBuffers,
                                         ID3D11Buffer* const* ppConstantBuffers)
{
    SetConstantBuffers(STAGE_VS, "VSSetConstantBuffers", StartSlot, NumBuffers, ppConstantBuffers);
}

void DeviceContext::VSSetSamplers(UINT StartSlot, UINT NumSamplers, ID3D11SamplerState* const* ppSamplers)
{
    SetSamplers(STAGE_VS, "VSSetSamplers", StartSlot, NumSamplers, ppSamplers);
}

void DeviceContext::VSSetShaderResources(UINT StartSlot, UINT NumViews,
                                         ID3D11ShaderResourceView* const* ppShaderResourceViews)
{
    SetShaderResources(STAGE_VS, "VSSetShaderResources", StartSlot, NumViews, ppShaderResourceViews);
}

void DeviceContext::PSSetShader(ID3D11PixelShader* pPixelShader, ID3D11ClassInstance* const*,
                                UINT NumClassInstances)
{
    SetShader(STAGE_PS, "PSSetShader", pPixelShader, NumClassInstances);
}

void DeviceContext::PSSetConstantBuffers(UINT StartSlot, UINT NumBuffers,
                                         ID3D11Buffer* const* ppConstantBuffers)
{
    SetConstantBuffers(STAGE_PS, "PSSetConstantBuffers", StartSlot, NumBuffers, ppConstantBuffers);
}

void DeviceContext::PSSetSamplers(UINT StartSlot, UINT NumSamplers, ID3D11SamplerState* const* ppSamplers)
{
    SetSamplers(STAGE_PS, "PSSetSamplers", StartSlot, NumSamplers, ppSamplers);
}

void DeviceContext::PSSetShaderResources(UINT StartSlot, UINT NumViews,
                                         ID3D11ShaderResourceView* const* ppShaderResourceViews)
{
    SetShaderResources(STAGE_PS, "PSSetShaderResources", StartSlot, NumViews, ppShaderResourceViews);
}

void DeviceContext::GSSetShader(ID3D11GeometryShader* pShader, ID3D11ClassInstance* const*,
                                UINT NumClassInstances)
{
    SetShader(STAGE_GS, "GSSetShader", pShader, NumClassInstances);
}

void DeviceContext::GSSetConstantBuffers(UINT StartSlot, UINT NumBuffers,
                                         ID3D11Buffer* const* ppConstantBuffers)
{
    SetConstantBuffers(STAGE_GS, "GSSetConstantBuffers", StartSlot, NumBuffers, ppConstantBuffers);
}

void DeviceContext::GSSetSamplers(UINT StartSlot, UINT NumSamplers, ID3D11SamplerState* const* ppSamplers)
{
    SetSamplers(STAGE_GS, "GSSetSamplers", StartSlot, NumSamplers, ppSamplers);
}

void DeviceContext::GSSetShaderResources(UINT StartSlot, UINT NumViews,
                                         ID3D11ShaderResourceView* const* ppShaderResourceViews)
{
    SetShaderResources(STAGE_GS, "GSSetShaderResources", StartSlot, NumViews, ppShaderResourceViews);
}

// Objects: the buffers in slot order. Values: count, then the offset per buffer.
void DeviceContext::SOSetTargets(UINT NumBuffers, ID3D11Buffer* const* ppSOTargets, const UINT* pOffsets)
{
    bool bValid = NumBuffers <= D3D11_SO_BUFFER_SLOT_COUNT && (NumBuffers == 0 || ppSOTargets != nullptr);
    CallEntry record(INTERFACE_NAME, "SOSetTargets");
    record.AddValue(static_cast<double>(NumBuffers));
    for (UINT i = 0; bValid && i < NumBuffers; ++i)
    {
        if (ppSOTargets[i] != nullptr && !HasBind(ppSOTargets[i], D3D11_BIND_STREAM_OUTPUT))
            bValid = false;
        record.AddObject(Object::IdOf(ppSOTargets[i]));
        record.AddValue(static_cast<double>(pOffsets != nullptr ? pOffsets[i] : 0));
    }
    record.result = bValid ? S_OK : E_INVALIDARG;
    Runtime::Get().Log(record);
    if (!bValid)
        return;
    for (UINT i = 0; i < D3D11_SO_BUFFER_SLOT_COUNT; ++i)
        m_aStreamOutTargets[i].Set(i < NumBuffers ? ppSOTargets[i] : nullptr);
}

// Objects: the vertex buffer of slot 0 and the stream-output target of slot 0.
void DeviceContext::DrawAuto()
{
    Runtime::Get().Log(INTERFACE_NAME, "DrawAuto", S_OK,
                       {Object::IdOf(m_aVertexBuffers[0].Get()), Object::IdOf(m_aStreamOutTargets[0].Get())},
                       {});
}

void DeviceContext::CSSetShader(ID3D11ComputeShader* pComputeShader, ID3D11ClassInstance* const*,
                                UINT NumClassInstances)
{
    SetShader(STAGE_CS, "CSSetShader", pComputeShader, NumClassInstances);
}

void DeviceContext::CSSetConstantBuffers(UINT StartSlot, UINT NumBuffers,
                                         ID3D11Buffer* const* ppConstantBuffers)
{
    SetConstantBuffers(STAGE_CS, "CSSetConstantBuffers", StartSlot, NumBuffers, ppConstantBuffers);
}

void DeviceContext::CSSetSamplers(UINT StartSlot, UINT NumSamplers, ID3D11SamplerState* const* ppSamplers)
{
    SetSamplers(STAGE_CS, "CSSetSamplers", StartSlot, NumSamplers, ppSamplers);
}

void DeviceContext::CSSetShaderResources(UINT StartSlot, UINT NumViews,
                                         ID3D11ShaderResourceView* const* ppShaderResourceViews)
{
    SetShaderResources(STAGE_CS, "CSSetShaderResources", StartSlot, NumViews, ppShaderResourceViews);
}

// Objects: the state. Values: the blend factor (four values; 1 each for a null factor), the sample mask.
void DeviceContext::OMSetBlendState(ID3D11BlendState* pBlendState, const FLOAT BlendFactor[4],
                                    UINT SampleMask)
{
    const bool bValid = pBlendState == nullptr || BlendState::From(pBlendState) != nullptr;
    const FLOAT aOnes[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    const FLOAT* pFactor = BlendFactor != nullptr ? BlendFactor : aOnes;
    Runtime::Get().Log(INTERFACE_NAME, "OMSetBlendState", bValid ? S_OK : E_INVALIDARG,
                       {Object::IdOf(pBlendState)},
                       {pFactor[0], pFactor[1], pFactor[2], pFactor[3], static_cast<double>(SampleMask)});
    if (!bValid)
        return;
    m_blendState.Set(pBlendState);
    std::memcpy(m_aBlendFactor, pFactor, sizeof(m_aBlendFactor));
    m_uiSampleMask = SampleMask;
}

// Objects: the state. Values: the stencil reference.
void DeviceContext::OMSetDepthStencilState(ID3D11DepthStencilState* pDepthStencilState, UINT StencilRef)
{
    const bool bValid =
        pDepthStencilState == nullptr || DepthStencilState::From(pDepthStencilState) != nullptr;
    Runtime::Get().Log(INTERFACE_NAME, "OMSetDepthStencilState", bValid ? S_OK : E_INVALIDARG,
                       {Object::IdOf(pDepthStencilState)}, {static_cast<double>(StencilRef)});
    if (!bValid)
        return;
    m_depthStencilState.Set(pDepthStencilState);
    m_uiStencilRef = StencilRef;
}

// Event queries have no beginning: always refused. Objects: the query.
void DeviceContext::Begin(ID3D11Asynchronous* pAsync)
{
    Runtime::Get().Log(INTERFACE_NAME, "Begin", E_INVALIDARG, {Object::IdOf(pAsync)}, {});
}

// Objects: the query.
void DeviceContext::End(ID3D11Asynchronous* pAsync)
{
    Query* pQuery = Query::From(pAsync);
    Runtime::Get().Log(INTERFACE_NAME, "End", pQuery != nullptr ? S_OK : E_INVALIDARG, {Object::IdOf(pAsync)},
                       {});
    if (pQuery != nullptr)
        pQuery->Issue();
}

// Objects: the query. Values: data size, flags.
HRESULT DeviceContext::GetData(ID3D11Asynchronous* pAsync, void* pData, UINT DataSize, UINT GetDataFlags)
{
    Query* pQuery = Query::From(pAsync);
    const HRESULT hr = pQuery != nullptr ? pQuery->Poll(pData, DataSize) : E_INVALIDARG;
    Runtime::Get().Log(INTERFACE_NAME, "GetData", hr, {Object::IdOf(pAsync)},
                       {static_cast<double>(DataSize), static_cast<double>(GetDataFlags)});
    return hr;
}

void DeviceContext::UnbindAll()
{
    for (Stage& stage : m_aStages)
    {
        stage.shader.Reset();
        for (Ref<ID3D11Buffer>& buffer : stage.constantBuffers)
            buffer.Reset();
        for (Ref<ID3D11SamplerState>& sampler : stage.samplers)
            sampler.Reset();
        for (Ref<ID3D11ShaderResourceView>& view : stage.views)
            view.Reset();
    }
    m_blendState.Reset();
    for (FLOAT& fFactor : m_aBlendFactor)
        fFactor = 1.0f;
    m_uiSampleMask = 0xFFFFFFFFu;
    m_depthStencilState.Reset();
    m_uiStencilRef = 0;
    m_inputLayout.Reset();
    for (UINT i = 0; i < D3D11_IA_VERTEX_INPUT_RESOURCE_SLOT_COUNT; ++i)
    {
        m_aVertexBuffers[i].Reset();
        m_aVertexStrides[i] = 0;
        m_aVertexOffsets[i] = 0;
    }
    for (Ref<ID3D11Buffer>& target : m_aStreamOutTargets)
        target.Reset();
    m_indexBuffer.Reset();
    m_indexFormat = DXGI_FORMAT_UNKNOWN;
    m_uiIndexOffset = 0;
    m_topology = D3D11_PRIMITIVE_TOPOLOGY_UNDEFINED;
    for (Ref<ID3D11RenderTargetView>& target : m_aRenderTargets)
        target.Reset();
    m_uiRenderTargetCount = 0;
    m_depthStencil.Reset();
    for (Ref<ID3D11UnorderedAccessView>& view : m_aUnorderedAccessViews)
        view.Reset();
    m_vViewports.clear();
    m_rasterizerState.Reset();
}

void DeviceContext::GenerateMips(ID3D11ShaderResourceView* pShaderResourceView)
{
    ShaderResourceView* pView = ShaderResourceView::From(pShaderResourceView);
    ResourceImpl* pResource = pView != nullptr ? pView->GetResourceImpl() : nullptr;
    D3D11_SHADER_RESOURCE_VIEW_DESC desc{};
    if (pView != nullptr)
        pView->GetDesc(&desc);
    MipSpan span;
    const UINT uiNeededBinds = D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE;
    const bool bValid = pResource != nullptr && GetMipSpan(desc, &span) &&
                        (pResource->GetShape().miscFlags & D3D11_RESOURCE_MISC_GENERATE_MIPS) != 0 &&
                        (pResource->GetShape().bindFlags & uiNeededBinds) == uiNeededBinds;
    FormatInfo info;
    HRESULT hr = bValid ? S_OK : E_INVALIDARG;
    if (bValid && !(GetFormatInfo(pView->GetFormat(), &info) && CanFilter(info)))
        hr = E_NOTIMPL;
    Runtime::Get().Log(INTERFACE_NAME, "GenerateMips", hr, {Object::IdOf(pShaderResourceView)}, {});
    if (FAILED(hr))
        return;
    const UINT uiLevels = pResource->GetShape().mipLevels;
    for (UINT uiSlice = span.firstSlice; uiSlice < span.firstSlice + span.sliceCount; ++uiSlice)
        for (UINT uiMip = span.firstMip + 1; uiMip < span.firstMip + span.mipCount; ++uiMip)
            DownsampleLevel(pResource, D3D11CalcSubresource(uiMip - 1, uiSlice, uiLevels),
                            D3D11CalcSubresource(uiMip, uiSlice, uiLevels), info);
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
    if (m_blendState.Get() != nullptr)
        m_blendState.Get()->GetDesc(&state.BlendDesc.emplace());
    if (m_depthStencilState.Get() != nullptr)
        m_depthStencilState.Get()->GetDesc(&state.DepthStencilDesc.emplace());
    for (const Ref<ID3D11Buffer>& target : m_aStreamOutTargets)
        state.StreamOutTargets.push_back(Object::IdOf(target.Get()));
    for (const Ref<ID3D11UnorderedAccessView>& view : m_aUnorderedAccessViews)
        state.UnorderedAccessViews.push_back(Object::IdOf(view.Get()));
    for (const Ref<ID3D11ShaderResourceView>& view : m_aStages[STAGE_VS].views)
        state.VertexShaderResources.push_back(Object::IdOf(view.Get()));
    for (const Ref<ID3D11ShaderResourceView>& view : m_aStages[STAGE_PS].views)
        state.PixelShaderResources.push_back(Object::IdOf(view.Get()));
    return state;
}

} // namespace d3d11_internal
