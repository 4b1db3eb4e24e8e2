#pragma once
// Internal to the Direct3D 11 stand-in: render-target, depth-stencil, shader-resource and
// unordered-access views.
// A view keeps its resolved description (defaults filled in, "all remaining" counts resolved),
// a reference on its resource, and the stretches of memory it covers.

#include "platform/d3d11/D3D11Resources.h"
#include "platform/d3d11/D3D11Runtime.h"
#include "platform/d3d11/d3d11.h"

#include <cstddef>
#include <vector>

namespace d3d11_internal
{

// Depth slices [firstSlice, firstSlice + sliceCount) of one subresource.
struct ViewRange
{
    UINT subresource = 0;
    UINT firstSlice = 0;
    UINT sliceCount = 1;
};

// Resource, format and covered ranges shared by the view classes.
class ViewImpl
{
public:
    ViewImpl(const ViewImpl&) = delete;
    ViewImpl& operator=(const ViewImpl&) = delete;

    ResourceImpl* GetResourceImpl() const { return m_pResourceImpl; }
    DXGI_FORMAT GetFormat() const { return m_format; }
    const std::vector<ViewRange>& GetRanges() const { return m_vRanges; }

protected:
    ViewImpl() = default;
    virtual ~ViewImpl() = default;

    void Bind(ID3D11Resource* pResource, ResourceImpl* pImpl, DXGI_FORMAT format,
              std::vector<ViewRange> vRanges);
    void GetResourceRef(ID3D11Resource** ppResource) const;

private:
    Ref<ID3D11Resource> m_resource;
    ResourceImpl* m_pResourceImpl = nullptr;
    DXGI_FORMAT m_format = DXGI_FORMAT_UNKNOWN;
    std::vector<ViewRange> m_vRanges;
};

class RenderTargetView final : public ComObject<ID3D11RenderTargetView>, public ViewImpl
{
public:
    // pDesc null: the whole first mip of the resource in its own (typed) format.
    static HRESULT Create(ID3D11Resource* pResource, const D3D11_RENDER_TARGET_VIEW_DESC* pDesc,
                          RenderTargetView** ppOut);
    static RenderTargetView* From(ID3D11RenderTargetView* pView);

    void GetResource(ID3D11Resource** ppResource) override;
    void GetDesc(D3D11_RENDER_TARGET_VIEW_DESC* pDesc) override;

private:
    RenderTargetView();
    bool Implements(REFIID riid) const override;
    D3D11_RENDER_TARGET_VIEW_DESC m_desc{};
};

class DepthStencilView final : public ComObject<ID3D11DepthStencilView>, public ViewImpl
{
public:
    static HRESULT Create(ID3D11Resource* pResource, const D3D11_DEPTH_STENCIL_VIEW_DESC* pDesc,
                          DepthStencilView** ppOut);
    static DepthStencilView* From(ID3D11DepthStencilView* pView);

    void GetResource(ID3D11Resource** ppResource) override;
    void GetDesc(D3D11_DEPTH_STENCIL_VIEW_DESC* pDesc) override;

private:
    DepthStencilView();
    bool Implements(REFIID riid) const override;
    D3D11_DEPTH_STENCIL_VIEW_DESC m_desc{};
};

class ShaderResourceView final : public ComObject<ID3D11ShaderResourceView>, public ViewImpl
{
public:
    // pDesc null: every mip and slice of a texture in its own (typed) format.
    static HRESULT Create(ID3D11Resource* pResource, const D3D11_SHADER_RESOURCE_VIEW_DESC* pDesc,
                          ShaderResourceView** ppOut);
    static ShaderResourceView* From(ID3D11ShaderResourceView* pView);

    void GetResource(ID3D11Resource** ppResource) override;
    void GetDesc(D3D11_SHADER_RESOURCE_VIEW_DESC* pDesc) override;

private:
    ShaderResourceView();
    bool Implements(REFIID riid) const override;
    D3D11_SHADER_RESOURCE_VIEW_DESC m_desc{};
};

class UnorderedAccessView final : public ComObject<ID3D11UnorderedAccessView>, public ViewImpl
{
public:
    // pDesc null: the first mip of a texture, every slice, in its own (typed) format.
    static HRESULT Create(ID3D11Resource* pResource, const D3D11_UNORDERED_ACCESS_VIEW_DESC* pDesc,
                          UnorderedAccessView** ppOut);
    static UnorderedAccessView* From(ID3D11UnorderedAccessView* pView);

    void GetResource(ID3D11Resource** ppResource) override;
    void GetDesc(D3D11_UNORDERED_ACCESS_VIEW_DESC* pDesc) override;

    // The hidden counter of a buffer view made with the append or counter flag.
    bool HasCounter() const;
    UINT GetCounter() const { return m_uiCounter; }
    void SetCounter(UINT uiCounter) { m_uiCounter = uiCounter; }
    // A buffer view's bytes [first, first + count) in the buffer and whether the view is raw or
    // structured; false for a texture view.
    bool GetBufferSpan(std::size_t* pFirstByte, std::size_t* pByteCount, bool* pWordView) const;

private:
    UnorderedAccessView();
    bool Implements(REFIID riid) const override;
    D3D11_UNORDERED_ACCESS_VIEW_DESC m_desc{};
    UINT m_uiCounter = 0;
};

} // namespace d3d11_internal
