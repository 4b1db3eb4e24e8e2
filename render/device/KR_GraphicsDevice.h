#pragma once
// The engine's handle on the graphics device: hands out the device and its immediate context,
// owns the swap chain and the main render target with its depth buffer, keeps a stack of
// rasterizer states for callers that change the state for a while, answers the display settings
// of the current KR_ScreenResolution, and presents.
//
// Made by the selected graphics context, owned by the engine singleton. Main thread only, except
// GetDevice, which the resource manager's jobs call from worker threads. Objects it hands out are
// borrowed: callers neither add nor release references.

#include "platform/d3d11/d3d11.h"
#include "render/device/KR_ScreenResolution.h"

#include <cstdint>

class KR_GraphicsDevice
{
public:
    KR_GraphicsDevice() = default;
    virtual ~KR_GraphicsDevice() = default;

    KR_GraphicsDevice(const KR_GraphicsDevice&) = delete;
    KR_GraphicsDevice& operator=(const KR_GraphicsDevice&) = delete;

    virtual ID3D11Device* GetDevice() { return nullptr; }
    virtual ID3D11DeviceContext* GetImmediateContext() { return nullptr; }
    // Main render target and depth buffer, main viewport and main rasterizer state.
    virtual void BindMainRenderTarget() = 0;
    // No render targets, no viewports, no rasterizer state.
    virtual void UnbindRenderTargets() = 0;
    virtual void ClearMainRenderTarget(const float colour[4]) = 0;
    // Depth only; the stencil is left alone.
    virtual void ClearMainDepthStencil(float fDepth) = 0;
    // With the vsync interval of the setting; the result is not looked at.
    virtual void Present() = 0;
    // Saves the bound rasterizer state (possibly none) on the stack.
    virtual void PushRasterizerState() = 0;
    // Binds the state last pushed and takes it off the stack; nothing happens when it is empty.
    virtual void PopRasterizerState() = 0;
    // The back buffer's view, the depth buffer and its views, the viewport and the main rasterizer
    // state, at the current size; false at the first failure (what was made stays).
    virtual bool CreateSizeDependentResources() = 0;
    virtual void ReleaseSizeDependentResources() = 0;
    virtual bool IsFullscreen() = 0;
    virtual bool IsVSync() = 0;
    virtual std::uint32_t GetWidth() = 0;
    virtual std::uint32_t GetHeight() = 0;
    // Width / height for KR_ASPECT_RATIO_FROM_SIZE, the fixed ratio otherwise (1.33 for a value
    // outside the enumeration).
    virtual float GetAspectRatio() = 0;
    virtual std::uint32_t GetAntiAliasing() = 0; // multisample count
    virtual std::uint32_t GetMultisampleQuality() = 0;
    virtual std::uint32_t GetRenderingQuality() = 0; // 0 to 4
    // Resolves the multisampled depth buffer first (every call) when multisampling is on.
    virtual ID3D11ShaderResourceView* GetDepthShaderResourceView() = 0;
    virtual ID3D11Texture2D* GetDepthStencilTexture() = 0;
    virtual ID3D11DepthStencilView* GetMainDepthStencilView() = 0;
    // Takes the new setting and resizes the swap chain's buffers; false when the swap chain
    // refuses. The size-dependent resources must have been released before.
    virtual bool Resize(const KR_ScreenResolution* pScreenResolution) = 0;
};
