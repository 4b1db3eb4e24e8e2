#pragma once
// A stand-in graphics device with what the post-processing engine asks of one: a size, a sample
// count, a back buffer with its render-target view and a depth texture with its views. The back
// buffer is 8-bit RGBA and single-sampled whatever the sample count; the test binds it (as the
// device's main target) before each frame.

#include "tests/render/device/StandInGraphicsDevice.h"

#include <gtest/gtest.h>

class PostFXTestDevice : public StandInGraphicsDevice
{
public:
    PostFXTestDevice(TestEngine& engine, UINT uiWidth, UINT uiHeight) : StandInGraphicsDevice(engine)
    {
        SetSize(uiWidth, uiHeight);
    }
    ~PostFXTestDevice() override
    {
        if (m_pContext != nullptr)
            m_pContext->ClearState();
        ReleaseTargets();
    }

    void SetSize(UINT uiWidth, UINT uiHeight)
    {
        ReleaseTargets();
        m_uiWidth = uiWidth;
        m_uiHeight = uiHeight;
        const D3D11_TEXTURE2D_DESC colour = {uiWidth,
                                             uiHeight,
                                             1,
                                             1,
                                             DXGI_FORMAT_R8G8B8A8_UNORM,
                                             {1, 0},
                                             D3D11_USAGE_DEFAULT,
                                             D3D11_BIND_RENDER_TARGET,
                                             0,
                                             0};
        EXPECT_EQ(S_OK, m_pDevice->CreateTexture2D(&colour, nullptr, &m_pBackBuffer));
        EXPECT_EQ(S_OK, m_pDevice->CreateRenderTargetView(m_pBackBuffer, nullptr, &m_pBackBufferView));
        D3D11_TEXTURE2D_DESC depth = colour;
        depth.Format = DXGI_FORMAT_R32_TYPELESS;
        depth.BindFlags = D3D11_BIND_DEPTH_STENCIL | D3D11_BIND_SHADER_RESOURCE;
        EXPECT_EQ(S_OK, m_pDevice->CreateTexture2D(&depth, nullptr, &m_pDepth));
        D3D11_DEPTH_STENCIL_VIEW_DESC dsv{};
        dsv.Format = DXGI_FORMAT_D32_FLOAT;
        dsv.ViewDimension = D3D11_DSV_DIMENSION_TEXTURE2D;
        EXPECT_EQ(S_OK, m_pDevice->CreateDepthStencilView(m_pDepth, &dsv, &m_pDepthView));
        D3D11_SHADER_RESOURCE_VIEW_DESC srv{};
        srv.Format = DXGI_FORMAT_R32_FLOAT;
        srv.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2D;
        srv.Texture2D = {0, 1};
        EXPECT_EQ(S_OK, m_pDevice->CreateShaderResourceView(m_pDepth, &srv, &m_pDepthResourceView));
    }
    void SetSampleCount(UINT uiSamples) { m_uiSamples = uiSamples; }

    // Clears the back buffer to the colour and binds it with the device's depth.
    void BindBackBuffer(const float colour[4])
    {
        m_pContext->ClearRenderTargetView(m_pBackBufferView, colour);
        m_pContext->OMSetRenderTargets(1, &m_pBackBufferView, m_pDepthView);
    }
    ID3D11Texture2D* GetBackBuffer() const { return m_pBackBuffer; }
    ID3D11RenderTargetView* GetBackBufferView() const { return m_pBackBufferView; }

    std::uint32_t GetWidth() override { return m_uiWidth; }
    std::uint32_t GetHeight() override { return m_uiHeight; }
    float GetAspectRatio() override { return static_cast<float>(m_uiWidth) / static_cast<float>(m_uiHeight); }
    std::uint32_t GetAntiAliasing() override { return m_uiSamples; }
    ID3D11ShaderResourceView* GetDepthShaderResourceView() override { return m_pDepthResourceView; }
    ID3D11Texture2D* GetDepthStencilTexture() override { return m_pDepth; }
    ID3D11DepthStencilView* GetMainDepthStencilView() override { return m_pDepthView; }

private:
    template <class T>
    static void Drop(T*& p)
    {
        if (p != nullptr)
            p->Release();
        p = nullptr;
    }
    void ReleaseTargets()
    {
        Drop(m_pBackBufferView);
        Drop(m_pBackBuffer);
        Drop(m_pDepthResourceView);
        Drop(m_pDepthView);
        Drop(m_pDepth);
    }

    UINT m_uiWidth = 0;
    UINT m_uiHeight = 0;
    UINT m_uiSamples = 1;
    ID3D11Texture2D* m_pBackBuffer = nullptr;
    ID3D11RenderTargetView* m_pBackBufferView = nullptr;
    ID3D11Texture2D* m_pDepth = nullptr;
    ID3D11DepthStencilView* m_pDepthView = nullptr;
    ID3D11ShaderResourceView* m_pDepthResourceView = nullptr;
};
