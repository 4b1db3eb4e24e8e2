#pragma once
// Internal to the Direct3D 11 stand-in: the immediate context. It keeps a reference on every
// bound object, logs every call, and performs clears and resolves on the resources' memory.
// One thread at a time, as on Windows.

#include "platform/d3d11/D3D11Control.h"
#include "platform/d3d11/D3D11Runtime.h"
#include "platform/d3d11/d3d11.h"

#include <initializer_list>
#include <vector>

namespace d3d11_internal
{

class DeviceContext final : public ComObject<ID3D11DeviceContext>
{
public:
    static DeviceContext* Create();
    static DeviceContext* From(ID3D11DeviceContext* pContext);

    void OMSetRenderTargets(UINT NumViews, ID3D11RenderTargetView* const* ppRenderTargetViews,
                            ID3D11DepthStencilView* pDepthStencilView) override;
    void OMGetRenderTargets(UINT NumViews, ID3D11RenderTargetView** ppRenderTargetViews,
                            ID3D11DepthStencilView** ppDepthStencilView) override;
    void OMSetRenderTargetsAndUnorderedAccessViews(UINT NumRTVs,
                                                   ID3D11RenderTargetView* const* ppRenderTargetViews,
                                                   ID3D11DepthStencilView* pDepthStencilView,
                                                   UINT UAVStartSlot, UINT NumUAVs,
                                                   ID3D11UnorderedAccessView* const* ppUnorderedAccessViews,
                                                   const UINT* pUAVInitialCounts) override;
    void ClearUnorderedAccessViewUint(ID3D11UnorderedAccessView* pUnorderedAccessView,
                                      const UINT Values[4]) override;
    void RSSetViewports(UINT NumViewports, const D3D11_VIEWPORT* pViewports) override;
    void RSSetState(ID3D11RasterizerState* pRasterizerState) override;
    void RSGetState(ID3D11RasterizerState** ppRasterizerState) override;
    void RSGetViewports(UINT* pNumViewports, D3D11_VIEWPORT* pViewports) override;
    void ClearRenderTargetView(ID3D11RenderTargetView* pRenderTargetView, const FLOAT ColorRGBA[4]) override;
    void ClearDepthStencilView(ID3D11DepthStencilView* pDepthStencilView, UINT ClearFlags, FLOAT Depth,
                               UINT8 Stencil) override;
    void ResolveSubresource(ID3D11Resource* pDstResource, UINT DstSubresource, ID3D11Resource* pSrcResource,
                            UINT SrcSubresource, DXGI_FORMAT Format) override;
    void GenerateMips(ID3D11ShaderResourceView* pShaderResourceView) override;
    void ClearState() override;
    void Flush() override;
    HRESULT Map(ID3D11Resource* pResource, UINT Subresource, D3D11_MAP MapType, UINT MapFlags,
                D3D11_MAPPED_SUBRESOURCE* pMappedResource) override;
    void Unmap(ID3D11Resource* pResource, UINT Subresource) override;
    void UpdateSubresource(ID3D11Resource* pDstResource, UINT DstSubresource, const D3D11_BOX* pDstBox,
                           const void* pSrcData, UINT SrcRowPitch, UINT SrcDepthPitch) override;
    void CopyResource(ID3D11Resource* pDstResource, ID3D11Resource* pSrcResource) override;
    void CopySubresourceRegion(ID3D11Resource* pDstResource, UINT DstSubresource, UINT DstX, UINT DstY,
                               UINT DstZ, ID3D11Resource* pSrcResource, UINT SrcSubresource,
                               const D3D11_BOX* pSrcBox) override;

    void IASetInputLayout(ID3D11InputLayout* pInputLayout) override;
    void IASetVertexBuffers(UINT StartSlot, UINT NumBuffers, ID3D11Buffer* const* ppVertexBuffers,
                            const UINT* pStrides, const UINT* pOffsets) override;
    void IASetIndexBuffer(ID3D11Buffer* pIndexBuffer, DXGI_FORMAT Format, UINT Offset) override;
    void IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY Topology) override;
    void Draw(UINT VertexCount, UINT StartVertexLocation) override;
    void DrawIndexed(UINT IndexCount, UINT StartIndexLocation, INT BaseVertexLocation) override;
    void DrawIndexedInstanced(UINT IndexCountPerInstance, UINT InstanceCount, UINT StartIndexLocation,
                              INT BaseVertexLocation, UINT StartInstanceLocation) override;
    void DrawInstanced(UINT VertexCountPerInstance, UINT InstanceCount, UINT StartVertexLocation,
                       UINT StartInstanceLocation) override;

    void VSSetShader(ID3D11VertexShader* pVertexShader, ID3D11ClassInstance* const* ppClassInstances,
                     UINT NumClassInstances) override;
    void VSSetConstantBuffers(UINT StartSlot, UINT NumBuffers,
                              ID3D11Buffer* const* ppConstantBuffers) override;
    void VSSetSamplers(UINT StartSlot, UINT NumSamplers, ID3D11SamplerState* const* ppSamplers) override;
    void VSSetShaderResources(UINT StartSlot, UINT NumViews,
                              ID3D11ShaderResourceView* const* ppShaderResourceViews) override;
    void PSSetShader(ID3D11PixelShader* pPixelShader, ID3D11ClassInstance* const* ppClassInstances,
                     UINT NumClassInstances) override;
    void PSSetConstantBuffers(UINT StartSlot, UINT NumBuffers,
                              ID3D11Buffer* const* ppConstantBuffers) override;
    void PSSetSamplers(UINT StartSlot, UINT NumSamplers, ID3D11SamplerState* const* ppSamplers) override;
    void PSSetShaderResources(UINT StartSlot, UINT NumViews,
                              ID3D11ShaderResourceView* const* ppShaderResourceViews) override;
    void GSSetShader(ID3D11GeometryShader* pShader, ID3D11ClassInstance* const* ppClassInstances,
                     UINT NumClassInstances) override;
    void GSSetConstantBuffers(UINT StartSlot, UINT NumBuffers,
                              ID3D11Buffer* const* ppConstantBuffers) override;
    void GSSetSamplers(UINT StartSlot, UINT NumSamplers, ID3D11SamplerState* const* ppSamplers) override;
    void GSSetShaderResources(UINT StartSlot, UINT NumViews,
                              ID3D11ShaderResourceView* const* ppShaderResourceViews) override;
    void SOSetTargets(UINT NumBuffers, ID3D11Buffer* const* ppSOTargets, const UINT* pOffsets) override;
    void DrawAuto() override;
    void CSSetShader(ID3D11ComputeShader* pComputeShader, ID3D11ClassInstance* const* ppClassInstances,
                     UINT NumClassInstances) override;
    void CSSetConstantBuffers(UINT StartSlot, UINT NumBuffers,
                              ID3D11Buffer* const* ppConstantBuffers) override;
    void CSSetSamplers(UINT StartSlot, UINT NumSamplers, ID3D11SamplerState* const* ppSamplers) override;
    void CSSetShaderResources(UINT StartSlot, UINT NumViews,
                              ID3D11ShaderResourceView* const* ppShaderResourceViews) override;
    void OMSetBlendState(ID3D11BlendState* pBlendState, const FLOAT BlendFactor[4], UINT SampleMask) override;
    void OMSetDepthStencilState(ID3D11DepthStencilState* pDepthStencilState, UINT StencilRef) override;
    void Begin(ID3D11Asynchronous* pAsync) override;
    void End(ID3D11Asynchronous* pAsync) override;
    HRESULT GetData(ID3D11Asynchronous* pAsync, void* pData, UINT DataSize, UINT GetDataFlags) override;

    D3D11Control::BoundState GetBoundState() const;

private:
    DeviceContext();
    bool Implements(REFIID riid) const override;
    void UnbindAll();
    // A draw call's record: the method's values and the pipeline bound now.
    void LogDraw(const char* pMethod, std::initializer_list<double> values) const;

    // What one shader stage has bound.
    struct Stage
    {
        Ref<ID3D11DeviceChild> shader;
        Ref<ID3D11Buffer> constantBuffers[D3D11_COMMONSHADER_CONSTANT_BUFFER_API_SLOT_COUNT];
        Ref<ID3D11SamplerState> samplers[D3D11_COMMONSHADER_SAMPLER_SLOT_COUNT];
        Ref<ID3D11ShaderResourceView> views[D3D11_COMMONSHADER_INPUT_RESOURCE_SLOT_COUNT];
    };
    enum StageIndex
    {
        STAGE_VS,
        STAGE_PS,
        STAGE_GS,
        STAGE_CS,
        STAGE_COUNT
    };
    void SetShader(StageIndex stage, const char* pMethod, ID3D11DeviceChild* pShader, UINT NumClassInstances);
    void SetConstantBuffers(StageIndex stage, const char* pMethod, UINT StartSlot, UINT NumBuffers,
                            ID3D11Buffer* const* ppBuffers);
    void SetSamplers(StageIndex stage, const char* pMethod, UINT StartSlot, UINT NumSamplers,
                     ID3D11SamplerState* const* ppSamplers);
    void SetShaderResources(StageIndex stage, const char* pMethod, UINT StartSlot, UINT NumViews,
                            ID3D11ShaderResourceView* const* ppViews);

    Ref<ID3D11RenderTargetView> m_aRenderTargets[D3D11_SIMULTANEOUS_RENDER_TARGET_COUNT];
    UINT m_uiRenderTargetCount = 0;
    Ref<ID3D11DepthStencilView> m_depthStencil;
    Ref<ID3D11UnorderedAccessView> m_aUnorderedAccessViews[D3D11_PS_CS_UAV_REGISTER_COUNT];
    std::vector<D3D11_VIEWPORT> m_vViewports;
    Ref<ID3D11RasterizerState> m_rasterizerState;
    Ref<ID3D11InputLayout> m_inputLayout;
    Ref<ID3D11Buffer> m_aVertexBuffers[D3D11_IA_VERTEX_INPUT_RESOURCE_SLOT_COUNT];
    UINT m_aVertexStrides[D3D11_IA_VERTEX_INPUT_RESOURCE_SLOT_COUNT] = {};
    UINT m_aVertexOffsets[D3D11_IA_VERTEX_INPUT_RESOURCE_SLOT_COUNT] = {};
    Ref<ID3D11Buffer> m_aStreamOutTargets[D3D11_SO_BUFFER_SLOT_COUNT];
    Ref<ID3D11Buffer> m_indexBuffer;
    DXGI_FORMAT m_indexFormat = DXGI_FORMAT_UNKNOWN;
    UINT m_uiIndexOffset = 0;
    D3D11_PRIMITIVE_TOPOLOGY m_topology = D3D11_PRIMITIVE_TOPOLOGY_UNDEFINED;
    Stage m_aStages[STAGE_COUNT];
    Ref<ID3D11BlendState> m_blendState;
    FLOAT m_aBlendFactor[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    UINT m_uiSampleMask = 0xFFFFFFFFu;
    Ref<ID3D11DepthStencilState> m_depthStencilState;
    UINT m_uiStencilRef = 0;
};

} // namespace d3d11_internal
