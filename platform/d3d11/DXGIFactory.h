#pragma once
// Internal to the DXGI stand-in: the factory and the adapter and output objects it hands out.
// Adapters and outputs read the runtime's configuration by index each time they are asked, so
// every enumeration makes new objects.

#include "platform/d3d11/D3D11Runtime.h"
#include "platform/d3d11/dxgi.h"

namespace d3d11_internal
{

class Factory final : public ComObject<IDXGIFactory>
{
public:
    static Factory* Create();

    HRESULT EnumAdapters(UINT Adapter, IDXGIAdapter** ppAdapter) override;
    HRESULT CreateSwapChain(IUnknown* pDevice, DXGI_SWAP_CHAIN_DESC* pDesc,
                            IDXGISwapChain** ppSwapChain) override;

private:
    Factory();
    bool Implements(REFIID riid) const override;
};

class Adapter final : public ComObject<IDXGIAdapter>
{
public:
    static Adapter* Create(UINT uiIndex);
    static const Adapter* From(IDXGIAdapter* pAdapter);

    HRESULT EnumOutputs(UINT Output, IDXGIOutput** ppOutput) override;
    HRESULT GetDesc(DXGI_ADAPTER_DESC* pDesc) override;

    UINT GetIndex() const { return m_uiIndex; }

private:
    explicit Adapter(UINT uiIndex);
    bool Implements(REFIID riid) const override;
    UINT m_uiIndex = 0;
};

class Output final : public ComObject<IDXGIOutput>
{
public:
    static Output* Create(UINT uiAdapter, UINT uiIndex);

    HRESULT GetDesc(DXGI_OUTPUT_DESC* pDesc) override;
    HRESULT GetDisplayModeList(DXGI_FORMAT EnumFormat, UINT Flags, UINT* pNumModes,
                               DXGI_MODE_DESC* pDesc) override;

private:
    Output(UINT uiAdapter, UINT uiIndex);
    bool Implements(REFIID riid) const override;
    UINT m_uiAdapter = 0;
    UINT m_uiIndex = 0;
};

} // namespace d3d11_internal
