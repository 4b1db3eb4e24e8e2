#pragma once
// Direct3D 11 graphics device: owns one reference on the device, the immediate context and the
// swap chain it is given, and makes the main render-target view, the depth buffer (typeless 32-bit
// so it can also be read as a texture; for multisampling a resolved copy), its views, the main
// viewport and the main rasterizer state. Main thread only but for GetDevice.

#include "framework/core/KB_GrowingArray.h"
#include "platform/d3d11/d3d11.h"
#include "render/device/KR_GraphicsDevice.h"
#include "render/device/KR_ScreenResolution.h"

class KR_GraphicsDeviceDX11 : public KR_GraphicsDevice
{
public:
    // Takes over one reference of each object.
    KR_GraphicsDeviceDX11(ID3D11Device* pDevice, ID3D11DeviceContext* pImmediateContext,
                          IDXGISwapChain* pSwapChain, const KR_ScreenResolution& screenResolution);
    // Releases the size-dependent resources and what is left on the state stack, clears and
    // flushes the context, leaves fullscreen, then releases context, swap chain and device last.
    ~KR_GraphicsDeviceDX11() override;

    ID3D11Device* GetDevice() override;
    ID3D11DeviceContext* GetImmediateContext() override;
    void BindMainRenderTarget() override;
    void UnbindRenderTargets() override;
    void ClearMainRenderTarget(const float colour[4]) override;
    void ClearMainDepthStencil(float fDepth) override;
    void Present() override;
    void PushRasterizerState() override;
    void PopRasterizerState() override;
    bool CreateSizeDependentResources() override;
    void ReleaseSizeDependentResources() override;
    bool IsFullscreen() override;
    bool IsVSync() override;
    std::uint32_t GetWidth() override;
    std::uint32_t GetHeight() override;
    float GetAspectRatio() override;
    std::uint32_t GetAntiAliasing() override;
    std::uint32_t GetMultisampleQuality() override;
    std::uint32_t GetRenderingQuality() override;
    ID3D11ShaderResourceView* GetDepthShaderResourceView() override;
    ID3D11Texture2D* GetDepthStencilTexture() override;
    ID3D11DepthStencilView* GetMainDepthStencilView() override;
    bool Resize(const KR_ScreenResolution* pScreenResolution) override;

private:
    static constexpr std::uint32_t RASTERIZER_STACK_CAPACITY = 4;

    ID3D11Device* m_pDevice = nullptr;                  // owned reference
    ID3D11DeviceContext* m_pImmediateContext = nullptr; // owned reference
    IDXGISwapChain* m_pSwapChain = nullptr;             // owned reference
    KR_ScreenResolution m_oScreenResolution;
    D3D11_VIEWPORT m_oMainViewport{};
    ID3D11Texture2D* m_pDepthStencilTexture = nullptr;         // owned reference
    ID3D11RenderTargetView* m_pMainRenderTargetView = nullptr; // owned reference
    ID3D11DepthStencilView* m_pMainDepthStencilView = nullptr; // owned reference
    ID3D11RasterizerState* m_pMainRasterizerState = nullptr;   // owned reference
    ID3D11Texture2D* m_pResolvedDepthStencilTexture = nullptr; // owned reference; multisampling only
    ID3D11ShaderResourceView* m_pDepthStencilSRV = nullptr;    // owned reference
    // One owned reference per entry; the frame pushes two deep, so it keeps room for a few.
    KB_GrowingArray<ID3D11RasterizerState*> m_gRasterizerStateStack{RASTERIZER_STACK_CAPACITY};
};
