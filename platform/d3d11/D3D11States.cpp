#include "platform/d3d11/D3D11States.h"

#include <new>

namespace d3d11_internal
{

RasterizerState::RasterizerState() : ComObject<ID3D11RasterizerState>("ID3D11RasterizerState")
{
}

HRESULT RasterizerState::Create(const D3D11_RASTERIZER_DESC* pDesc, RasterizerState** ppOut)
{
    if (pDesc == nullptr ||
        (pDesc->FillMode != D3D11_FILL_WIREFRAME && pDesc->FillMode != D3D11_FILL_SOLID) ||
        (pDesc->CullMode != D3D11_CULL_NONE && pDesc->CullMode != D3D11_CULL_FRONT &&
         pDesc->CullMode != D3D11_CULL_BACK))
    {
        return E_INVALIDARG;
    }
    if (ppOut == nullptr)
        return S_FALSE;
    RasterizerState* pState = nullptr;
    try
    {
        pState = new RasterizerState();
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }
    pState->m_desc = *pDesc;
    *ppOut = pState;
    return S_OK;
}

RasterizerState* RasterizerState::From(ID3D11RasterizerState* pState)
{
    return pState != nullptr ? dynamic_cast<RasterizerState*>(pState) : nullptr;
}

void RasterizerState::GetDesc(D3D11_RASTERIZER_DESC* pDesc)
{
    if (pDesc != nullptr)
        *pDesc = m_desc;
}

bool RasterizerState::Implements(REFIID riid) const
{
    return IsEqualIID(riid, IID_ID3D11RasterizerState) || IsEqualIID(riid, IID_ID3D11DeviceChild) ||
           IsEqualIID(riid, IID_IUnknown);
}

namespace
{

// Makes the object, copies the description in and hands it out; S_FALSE when only validating.
template <class TState, class TDesc>
HRESULT Publish(const TDesc& desc, TState* (*make)(), TState** ppOut, TDesc TState::*pMember)
{
    if (ppOut == nullptr)
        return S_FALSE;
    TState* pState = nullptr;
    try
    {
        pState = make();
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }
    pState->*pMember = desc;
    *ppOut = pState;
    return S_OK;
}

bool InRange(int iValue, int iLow, int iHigh)
{
    return iValue >= iLow && iValue <= iHigh;
}

bool IsBlend(D3D11_BLEND blend)
{
    return InRange(blend, D3D11_BLEND_ZERO, D3D11_BLEND_SRC_ALPHA_SAT) ||
           InRange(blend, D3D11_BLEND_BLEND_FACTOR, D3D11_BLEND_INV_SRC1_ALPHA);
}

// Alpha factors may not name a colour.
bool IsAlphaBlend(D3D11_BLEND blend)
{
    return IsBlend(blend) && blend != D3D11_BLEND_SRC_COLOR && blend != D3D11_BLEND_INV_SRC_COLOR &&
           blend != D3D11_BLEND_DEST_COLOR && blend != D3D11_BLEND_INV_DEST_COLOR &&
           blend != D3D11_BLEND_SRC1_COLOR && blend != D3D11_BLEND_INV_SRC1_COLOR;
}

bool IsTargetBlendValid(const D3D11_RENDER_TARGET_BLEND_DESC& target)
{
    if (target.RenderTargetWriteMask > D3D11_COLOR_WRITE_ENABLE_ALL)
        return false;
    if (!target.BlendEnable)
        return true;
    return IsBlend(target.SrcBlend) && IsBlend(target.DestBlend) && IsAlphaBlend(target.SrcBlendAlpha) &&
           IsAlphaBlend(target.DestBlendAlpha) &&
           InRange(target.BlendOp, D3D11_BLEND_OP_ADD, D3D11_BLEND_OP_MAX) &&
           InRange(target.BlendOpAlpha, D3D11_BLEND_OP_ADD, D3D11_BLEND_OP_MAX);
}

bool IsComparison(D3D11_COMPARISON_FUNC func)
{
    return InRange(func, D3D11_COMPARISON_NEVER, D3D11_COMPARISON_ALWAYS);
}

bool IsStencilFaceValid(const D3D11_DEPTH_STENCILOP_DESC& face)
{
    return InRange(face.StencilFailOp, D3D11_STENCIL_OP_KEEP, D3D11_STENCIL_OP_DECR) &&
           InRange(face.StencilDepthFailOp, D3D11_STENCIL_OP_KEEP, D3D11_STENCIL_OP_DECR) &&
           InRange(face.StencilPassOp, D3D11_STENCIL_OP_KEEP, D3D11_STENCIL_OP_DECR) &&
           IsComparison(face.StencilFunc);
}

bool IsFilter(D3D11_FILTER filter)
{
    switch (filter)
    {
    case D3D11_FILTER_MIN_MAG_MIP_POINT:
    case D3D11_FILTER_MIN_MAG_POINT_MIP_LINEAR:
    case D3D11_FILTER_MIN_POINT_MAG_LINEAR_MIP_POINT:
    case D3D11_FILTER_MIN_POINT_MAG_MIP_LINEAR:
    case D3D11_FILTER_MIN_LINEAR_MAG_MIP_POINT:
    case D3D11_FILTER_MIN_LINEAR_MAG_POINT_MIP_LINEAR:
    case D3D11_FILTER_MIN_MAG_LINEAR_MIP_POINT:
    case D3D11_FILTER_MIN_MAG_MIP_LINEAR:
    case D3D11_FILTER_ANISOTROPIC:
    case D3D11_FILTER_COMPARISON_MIN_MAG_MIP_POINT:
    case D3D11_FILTER_COMPARISON_MIN_MAG_LINEAR_MIP_POINT:
    case D3D11_FILTER_COMPARISON_MIN_MAG_MIP_LINEAR:
    case D3D11_FILTER_COMPARISON_ANISOTROPIC:
        return true;
    }
    return false;
}

bool IsAddress(D3D11_TEXTURE_ADDRESS_MODE mode)
{
    return InRange(mode, D3D11_TEXTURE_ADDRESS_WRAP, D3D11_TEXTURE_ADDRESS_MIRROR_ONCE);
}

} // namespace

BlendState::BlendState() : ComObject<ID3D11BlendState>("ID3D11BlendState")
{
}

HRESULT BlendState::Create(const D3D11_BLEND_DESC* pDesc, BlendState** ppOut)
{
    if (pDesc == nullptr)
        return E_INVALIDARG;
    const UINT uiTargets = pDesc->IndependentBlendEnable ? 8 : 1;
    for (UINT i = 0; i < uiTargets; ++i)
        if (!IsTargetBlendValid(pDesc->RenderTarget[i]))
            return E_INVALIDARG;
    return Publish<BlendState, D3D11_BLEND_DESC>(
        *pDesc, [] { return new BlendState(); }, ppOut, &BlendState::m_desc);
}

BlendState* BlendState::From(ID3D11BlendState* pState)
{
    return pState != nullptr ? dynamic_cast<BlendState*>(pState) : nullptr;
}

void BlendState::GetDesc(D3D11_BLEND_DESC* pDesc)
{
    if (pDesc != nullptr)
        *pDesc = m_desc;
}

bool BlendState::Implements(REFIID riid) const
{
    return IsEqualIID(riid, IID_ID3D11BlendState) || IsEqualIID(riid, IID_ID3D11DeviceChild) ||
           IsEqualIID(riid, IID_IUnknown);
}

DepthStencilState::DepthStencilState() : ComObject<ID3D11DepthStencilState>("ID3D11DepthStencilState")
{
}

HRESULT DepthStencilState::Create(const D3D11_DEPTH_STENCIL_DESC* pDesc, DepthStencilState** ppOut)
{
    if (pDesc == nullptr || !InRange(pDesc->DepthWriteMask, 0, 1) ||
        (pDesc->DepthEnable && !IsComparison(pDesc->DepthFunc)) ||
        (pDesc->StencilEnable &&
         (!IsStencilFaceValid(pDesc->FrontFace) || !IsStencilFaceValid(pDesc->BackFace))))
    {
        return E_INVALIDARG;
    }
    return Publish<DepthStencilState, D3D11_DEPTH_STENCIL_DESC>(
        *pDesc, [] { return new DepthStencilState(); }, ppOut, &DepthStencilState::m_desc);
}

DepthStencilState* DepthStencilState::From(ID3D11DepthStencilState* pState)
{
    return pState != nullptr ? dynamic_cast<DepthStencilState*>(pState) : nullptr;
}

void DepthStencilState::GetDesc(D3D11_DEPTH_STENCIL_DESC* pDesc)
{
    if (pDesc != nullptr)
        *pDesc = m_desc;
}

bool DepthStencilState::Implements(REFIID riid) const
{
    return IsEqualIID(riid, IID_ID3D11DepthStencilState) || IsEqualIID(riid, IID_ID3D11DeviceChild) ||
           IsEqualIID(riid, IID_IUnknown);
}

SamplerState::SamplerState() : ComObject<ID3D11SamplerState>("ID3D11SamplerState")
{
}

HRESULT SamplerState::Create(const D3D11_SAMPLER_DESC* pDesc, SamplerState** ppOut)
{
    if (pDesc == nullptr || !IsFilter(pDesc->Filter) || !IsAddress(pDesc->AddressU) ||
        !IsAddress(pDesc->AddressV) || !IsAddress(pDesc->AddressW) ||
        pDesc->MaxAnisotropy > D3D11_MAX_MAXANISOTROPY || !(pDesc->MinLOD <= pDesc->MaxLOD) ||
        ((pDesc->Filter & 0x80) != 0 && !IsComparison(pDesc->ComparisonFunc)))
    {
        return E_INVALIDARG;
    }
    return Publish<SamplerState, D3D11_SAMPLER_DESC>(
        *pDesc, [] { return new SamplerState(); }, ppOut, &SamplerState::m_desc);
}

SamplerState* SamplerState::From(ID3D11SamplerState* pState)
{
    return pState != nullptr ? dynamic_cast<SamplerState*>(pState) : nullptr;
}

void SamplerState::GetDesc(D3D11_SAMPLER_DESC* pDesc)
{
    if (pDesc != nullptr)
        *pDesc = m_desc;
}

bool SamplerState::Implements(REFIID riid) const
{
    return IsEqualIID(riid, IID_ID3D11SamplerState) || IsEqualIID(riid, IID_ID3D11DeviceChild) ||
           IsEqualIID(riid, IID_IUnknown);
}

} // namespace d3d11_internal
