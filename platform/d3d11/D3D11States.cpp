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

} // namespace d3d11_internal
