#pragma once
// Internal to the Direct3D 11 stand-in: the device. Thread-safe: creation calls touch only the
// new object and the locked runtime. It owns one reference on its immediate context.

#include "platform/d3d11/D3D11Runtime.h"
#include "platform/d3d11/d3d11.h"

namespace d3d11_internal
{

class DeviceContext;

class Device final : public ComObject<ID3D11Device>
{
public:
    // Null when memory runs out.
    static Device* Create(UINT uiAdapter, D3D_FEATURE_LEVEL featureLevel);
    static Device* From(IUnknown* pObject);

    HRESULT CreateBuffer(const D3D11_BUFFER_DESC* pDesc, const D3D11_SUBRESOURCE_DATA* pInitialData,
                         ID3D11Buffer** ppBuffer) override;
    HRESULT CreateTexture1D(const D3D11_TEXTURE1D_DESC* pDesc, const D3D11_SUBRESOURCE_DATA* pInitialData,
                            ID3D11Texture1D** ppTexture1D) override;
    HRESULT CreateTexture2D(const D3D11_TEXTURE2D_DESC* pDesc, const D3D11_SUBRESOURCE_DATA* pInitialData,
                            ID3D11Texture2D** ppTexture2D) override;
    HRESULT CreateTexture3D(const D3D11_TEXTURE3D_DESC* pDesc, const D3D11_SUBRESOURCE_DATA* pInitialData,
                            ID3D11Texture3D** ppTexture3D) override;
    HRESULT CreateShaderResourceView(ID3D11Resource* pResource, const D3D11_SHADER_RESOURCE_VIEW_DESC* pDesc,
                                     ID3D11ShaderResourceView** ppSRView) override;
    HRESULT CreateRenderTargetView(ID3D11Resource* pResource, const D3D11_RENDER_TARGET_VIEW_DESC* pDesc,
                                   ID3D11RenderTargetView** ppRTView) override;
    HRESULT CreateDepthStencilView(ID3D11Resource* pResource, const D3D11_DEPTH_STENCIL_VIEW_DESC* pDesc,
                                   ID3D11DepthStencilView** ppDepthStencilView) override;
    HRESULT CreateRasterizerState(const D3D11_RASTERIZER_DESC* pRasterizerDesc,
                                  ID3D11RasterizerState** ppRasterizerState) override;
    HRESULT CreateBlendState(const D3D11_BLEND_DESC* pBlendStateDesc,
                             ID3D11BlendState** ppBlendState) override;
    HRESULT CreateDepthStencilState(const D3D11_DEPTH_STENCIL_DESC* pDepthStencilDesc,
                                    ID3D11DepthStencilState** ppDepthStencilState) override;
    HRESULT CreateSamplerState(const D3D11_SAMPLER_DESC* pSamplerDesc,
                               ID3D11SamplerState** ppSamplerState) override;
    HRESULT CreateUnorderedAccessView(ID3D11Resource* pResource,
                                      const D3D11_UNORDERED_ACCESS_VIEW_DESC* pDesc,
                                      ID3D11UnorderedAccessView** ppUAView) override;
    HRESULT CreateVertexShader(const void* pShaderBytecode, SIZE_T BytecodeLength,
                               ID3D11ClassLinkage* pClassLinkage,
                               ID3D11VertexShader** ppVertexShader) override;
    HRESULT CreateGeometryShader(const void* pShaderBytecode, SIZE_T BytecodeLength,
                                 ID3D11ClassLinkage* pClassLinkage,
                                 ID3D11GeometryShader** ppGeometryShader) override;
    HRESULT CreatePixelShader(const void* pShaderBytecode, SIZE_T BytecodeLength,
                              ID3D11ClassLinkage* pClassLinkage, ID3D11PixelShader** ppPixelShader) override;
    HRESULT CreateComputeShader(const void* pShaderBytecode, SIZE_T BytecodeLength,
                                ID3D11ClassLinkage* pClassLinkage,
                                ID3D11ComputeShader** ppComputeShader) override;
    HRESULT CreateInputLayout(const D3D11_INPUT_ELEMENT_DESC* pInputElementDescs, UINT NumElements,
                              const void* pShaderBytecodeWithInputSignature, SIZE_T BytecodeLength,
                              ID3D11InputLayout** ppInputLayout) override;
    HRESULT CreateQuery(const D3D11_QUERY_DESC* pQueryDesc, ID3D11Query** ppQuery) override;
    HRESULT CheckMultisampleQualityLevels(DXGI_FORMAT Format, UINT SampleCount,
                                          UINT* pNumQualityLevels) override;

    // Not AddRef'd.
    DeviceContext* GetContext() const;
    UINT GetAdapterIndex() const { return m_uiAdapter; }
    D3D_FEATURE_LEVEL GetFeatureLevelValue() const { return m_featureLevel; }

private:
    Device(UINT uiAdapter, D3D_FEATURE_LEVEL featureLevel);
    bool Implements(REFIID riid) const override;

    Ref<ID3D11DeviceContext> m_context; // owned reference
    UINT m_uiAdapter = 0;
    D3D_FEATURE_LEVEL m_featureLevel = D3D_FEATURE_LEVEL_11_0;
};

} // namespace d3d11_internal
