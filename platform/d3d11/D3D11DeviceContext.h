#pragma once
// Internal to the Direct3D 11 stand-in: the immediate context. It keeps a reference on every
// bound object, logs every call, and performs clears and resolves on the resources' memory.
// One thread at a time, as on Windows.

#include "platform/d3d11/D3D11Control.h"
#include "platform/d3d11/D3D11Runtime.h"
#include "platform/d3d11/d3d11.h"

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
    void RSSetViewports(UINT NumViewports, const D3D11_VIEWPORT* pViewports) override;
    void RSSetState(ID3D11RasterizerState* pRasterizerState) override;
    void RSGetState(ID3D11RasterizerState** ppRasterizerState) override;
    void ClearRenderTargetView(ID3D11RenderTargetView* pRenderTargetView, const FLOAT ColorRGBA[4]) override;
    void ClearDepthStencilView(ID3D11DepthStencilView* pDepthStencilView, UINT ClearFlags, FLOAT Depth,
                               UINT8 Stencil) override;
    void ResolveSubresource(ID3D11Resource* pDstResource, UINT DstSubresource, ID3D11Resource* pSrcResource,
                            UINT SrcSubresource, DXGI_FORMAT Format) override;
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
    void DrawIndexed(UINT IndexCount, UINT StartIndexLocation, INT BaseVertexLocation) override;
    void DrawIndexedInstanced(UINT IndexCountPerInstance, UINT InstanceCount, UINT StartIndexLocation,
                              INT BaseVertexLocation, UINT StartInstanceLocation) override;

    D3D11Control::BoundState GetBoundState() const;

private:
    DeviceContext();
    bool Implements(REFIID riid) const override;
    void UnbindAll();

    Ref<ID3D11RenderTargetView> m_aRenderTargets[D3D11_SIMULTANEOUS_RENDER_TARGET_COUNT];
    UINT m_uiRenderTargetCount = 0;
    Ref<ID3D11DepthStencilView> m_depthStencil;
    std::vector<D3D11_VIEWPORT> m_vViewports;
    Ref<ID3D11RasterizerState> m_rasterizerState;
    Ref<ID3D11InputLayout> m_inputLayout;
    Ref<ID3D11Buffer> m_aVertexBuffers[D3D11_IA_VERTEX_INPUT_RESOURCE_SLOT_COUNT];
    UINT m_aVertexStrides[D3D11_IA_VERTEX_INPUT_RESOURCE_SLOT_COUNT] = {};
    UINT m_aVertexOffsets[D3D11_IA_VERTEX_INPUT_RESOURCE_SLOT_COUNT] = {};
    Ref<ID3D11Buffer> m_indexBuffer;
    DXGI_FORMAT m_indexFormat = DXGI_FORMAT_UNKNOWN;
    UINT m_uiIndexOffset = 0;
    D3D11_PRIMITIVE_TOPOLOGY m_topology = D3D11_PRIMITIVE_TOPOLOGY_UNDEFINED;
};

} // namespace d3d11_internal
