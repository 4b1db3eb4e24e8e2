#pragma once
// A graphics device over a stand-in Direct3D 11 device, installed in a test engine: what the
// resource manager and the meshes need (device and immediate context), nothing else. Resets the
// stand-in first and fails the test when a stand-in object outlives it.

#include "platform/d3d11/D3D11Control.h"
#include "platform/d3d11/d3d11.h"
#include "render/device/KR_GraphicsDevice.h"
#include "tests/support/TestEngine.h"

#include <gtest/gtest.h>

#include <string>

class StandInGraphicsDevice : public KR_GraphicsDevice
{
public:
    explicit StandInGraphicsDevice(TestEngine& engine) : m_engine(engine)
    {
        D3D11Control::Reset();
        EXPECT_EQ(S_OK, D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0,
                                          D3D11_SDK_VERSION, &m_pDevice, nullptr, &m_pContext));
        m_engine->SetGraphicsDevice(this);
    }
    ~StandInGraphicsDevice() override
    {
        m_engine->SetGraphicsDevice(nullptr);
        if (m_pContext != nullptr)
            m_pContext->ClearState();
        Release(m_pContext);
        Release(m_pDevice);
        std::string sLive;
        for (const std::string& sLine : D3D11Control::GetLiveObjects())
            sLive += sLine + "\n";
        EXPECT_EQ(0u, D3D11Control::GetLiveObjectCount()) << sLive;
        D3D11Control::Reset();
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
    float GetAspectRatio() override { return 1.0f; }
    std::uint32_t GetAntiAliasing() override { return 1; }
    std::uint32_t GetMultisampleQuality() override { return 0; }
    std::uint32_t GetRenderingQuality() override { return 0; }
    ID3D11ShaderResourceView* GetDepthShaderResourceView() override { return nullptr; }
    ID3D11Texture2D* GetDepthStencilTexture() override { return nullptr; }
    ID3D11DepthStencilView* GetMainDepthStencilView() override { return nullptr; }
    bool Resize(const KR_ScreenResolution*) override { return true; }

private:
    template <class T>
    static void Release(T*& p)
    {
        if (p != nullptr)
            p->Release();
        p = nullptr;
    }

    TestEngine& m_engine;
    ID3D11Device* m_pDevice = nullptr;
    ID3D11DeviceContext* m_pContext = nullptr;
};
