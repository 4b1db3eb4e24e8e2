#pragma once
// A graphics device for tests and benchmarks: hands out the Direct3D device and immediate context
// it was given (null by default) and a fixed aspect ratio; every other call does nothing and
// succeeds. Code that only needs a device and a context from the engine takes this one.

#include "render/device/KR_GraphicsDevice.h"

class FakeGraphicsDevice : public KR_GraphicsDevice
{
public:
    explicit FakeGraphicsDevice(ID3D11Device* pDevice = nullptr, ID3D11DeviceContext* pContext = nullptr,
                                float fAspectRatio = 1.0f)
        : m_pDevice(pDevice), m_pContext(pContext), m_fAspectRatio(fAspectRatio)
    {
    }

    ID3D11Device* GetDevice() override { return m_pDevice; }
    ID3D11DeviceContext* GetImmediateContext() override { return m_pContext; }
    void BindMainRenderTarget() override {}
    void UnbindRenderTargets() override {}
    void ClearMainRenderTarget(const float[4]) override {}
    void ClearMainDepthStencil(float) override {}
    void Present() override {}
    void PushRasterizerState() override {}
    void PopRasterizerState() override {}
    bool CreateSizeDependentResources() override { return true; }
    void ReleaseSizeDependentResources() override {}
    bool IsFullscreen() override { return false; }
    bool IsVSync() override { return false; }
    std::uint32_t GetWidth() override { return 0; }
    std::uint32_t GetHeight() override { return 0; }
    float GetAspectRatio() override { return m_fAspectRatio; }
    std::uint32_t GetAntiAliasing() override { return 1; }
    std::uint32_t GetMultisampleQuality() override { return 0; }
    std::uint32_t GetRenderingQuality() override { return 0; }
    ID3D11ShaderResourceView* GetDepthShaderResourceView() override { return nullptr; }
    ID3D11Texture2D* GetDepthStencilTexture() override { return nullptr; }
    ID3D11DepthStencilView* GetMainDepthStencilView() override { return nullptr; }
    bool Resize(const KR_ScreenResolution*) override { return true; }

protected:
    ID3D11Device* m_pDevice;
    ID3D11DeviceContext* m_pContext;
    float m_fAspectRatio;
};
