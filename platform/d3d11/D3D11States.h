#pragma once
// Internal to the Direct3D 11 stand-in: state objects, each keeping its description. Equal
// descriptions give distinct objects. Create checks the enumerations the runtime checks and
// answers E_INVALIDARG for a description it would reject.

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

class BlendState final : public ComObject<ID3D11BlendState>
{
public:
    static HRESULT Create(const D3D11_BLEND_DESC* pDesc, BlendState** ppOut);
    static BlendState* From(ID3D11BlendState* pState);

    void GetDesc(D3D11_BLEND_DESC* pDesc) override;

private:
    BlendState();
    bool Implements(REFIID riid) const override;
    D3D11_BLEND_DESC m_desc{};
};

class DepthStencilState final : public ComObject<ID3D11DepthStencilState>
{
public:
    static HRESULT Create(const D3D11_DEPTH_STENCIL_DESC* pDesc, DepthStencilState** ppOut);
    static DepthStencilState* From(ID3D11DepthStencilState* pState);

    void GetDesc(D3D11_DEPTH_STENCIL_DESC* pDesc) override;

private:
    DepthStencilState();
    bool Implements(REFIID riid) const override;
    D3D11_DEPTH_STENCIL_DESC m_desc{};
};

class SamplerState final : public ComObject<ID3D11SamplerState>
{
public:
    static HRESULT Create(const D3D11_SAMPLER_DESC* pDesc, SamplerState** ppOut);
    static SamplerState* From(ID3D11SamplerState* pState);

    void GetDesc(D3D11_SAMPLER_DESC* pDesc) override;

private:
    SamplerState();
    bool Implements(REFIID riid) const override;
    D3D11_SAMPLER_DESC m_desc{};
};

} // namespace d3d11_internal
