#pragma once
// Internal to the DXGI stand-in: a swap chain whose one reachable back buffer is a software
// texture. It holds a reference on its device and on the back buffer. Paced (a real run),
// Present waits its sync interval of refresh periods of the mode after the previous present.

#include "platform/d3d11/D3D11Runtime.h"
#include "platform/d3d11/d3d11.h"
#include "platform/d3d11/dxgi.h"

#include <cstdint>

namespace d3d11_internal
{

class SwapChain final : public ComObject<IDXGISwapChain>
{
public:
    // pDevice must be a device of the stand-in. A zero width or height is refused: the stand-in
    // cannot take the size from the window.
    static HRESULT Create(IUnknown* pDevice, const DXGI_SWAP_CHAIN_DESC* pDesc, SwapChain** ppOut);

    HRESULT Present(UINT SyncInterval, UINT Flags) override;
    HRESULT GetBuffer(UINT Buffer, REFIID riid, void** ppSurface) override;
    HRESULT SetFullscreenState(BOOL Fullscreen, IDXGIOutput* pTarget) override;
    HRESULT GetDesc(DXGI_SWAP_CHAIN_DESC* pDesc) override;
    HRESULT ResizeBuffers(UINT BufferCount, UINT Width, UINT Height, DXGI_FORMAT NewFormat,
                          UINT SwapChainFlags) override;

private:
    SwapChain();
    bool Implements(REFIID riid) const override;
    // A new back buffer for the description; the old one is kept on failure.
    HRESULT CreateBackBuffer(const DXGI_SWAP_CHAIN_DESC& desc);
    // Waits, when pacing is on, until uiSyncInterval refresh periods after the previous present.
    void PaceTo(UINT uiSyncInterval);

    Ref<IUnknown> m_device;
    Ref<ID3D11Texture2D> m_backBuffer;
    DXGI_SWAP_CHAIN_DESC m_desc{};
    bool m_bFullscreen = false;
    bool m_bPresented = false;         // a present went out before
    std::uint64_t m_uiLastPresent = 0; // when, on the runtime's pacing clock (nanoseconds)
};

} // namespace d3d11_internal
