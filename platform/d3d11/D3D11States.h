#pragma once
// Internal to the Direct3D 11 stand-in: state objects, each keeping its description. Equal
// descriptions give distinct objects.

#include "platform/d3d11/D3D11Runtime.h"
#include "platform/d3d11/d3d11.h"

namespace d3d11_internal
{

class RasterizerState final : public ComObject<ID3D11RasterizerState>
{
public:
    static HRESULT Create(const D3D11_RASTERIZER_DESC* pDesc, RasterizerState** ppOut);
    static RasterizerState* From(ID3D11RasterizerState* pState);

    void GetDesc(D3D11_RASTERIZER_DESC* pDesc) override;

private:
    RasterizerState();
    bool Implements(REFIID riid) const override;
    D3D11_RASTERIZER_DESC m_desc{};
};

} // namespace d3d11_internal
