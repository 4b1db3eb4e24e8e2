#include "render/device/KR_GraphicsDeviceDX11.h"

#include "platform/d3d11/D3D11Control.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{

KR_ScreenResolution Resolution(std::uint32_t uiWidth, std::uint32_t uiHeight, std::uint32_t uiSamples = 1)
{
    KR_ScreenResolution resolution;
    resolution.m_uiWidth = uiWidth;
    resolution.m_uiHeight = uiHeight;
    resolution.m_uiRefreshRateNumerator = 60;
    resolution.m_bFullscreen = false;
    resolution.m_uiAntiAliasing = uiSamples;
    return resolution;
}

std::vector<D3D11Control::CallRecord> Calls(const std::string& sMethod)
{
    std::vector<D3D11Control::CallRecord> vFound;
    for (const D3D11Control::CallRecord& record : D3D11Control::GetCallLog())
        if (record.Method == sMethod)
            vFound.push_back(record);
    return vFound;
}

class KR_GraphicsDeviceDX11Test : public ::testing::Test
{
protected:
    void SetUp() override { D3D11Control::Reset(); }

    void TearDown() override
    {
        delete m_pGraphicsDevice;
        m_pGraphicsDevice = nullptr;
        EXPECT_EQ(0u, D3D11Control::GetLiveObjectCount());
        D3D11Control::Reset();
    }

    // A device, context and swap chain on the stand-in, handed to a new graphics device.
    void Make(const KR_ScreenResolution& resolution)
    {
        ID3D11Device* pDevice = nullptr;
        ID3D11DeviceContext* pContext = nullptr;
        ASSERT_EQ(S_OK, D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0,
                                          D3D11_SDK_VERSION, &pDevice, nullptr, &pContext));
        IDXGIFactory* pFactory = nullptr;
        ASSERT_EQ(S_OK, CreateDXGIFactory(IID_IDXGIFactory, reinterpret_cast<void**>(&pFactory)));
        DXGI_SWAP_CHAIN_DESC desc{};
        desc.BufferDesc.Width = resolution.m_uiWidth;
        desc.BufferDesc.Height = resolution.m_uiHeight;
        desc.BufferDesc.Format = DXGI_FORMAT_R8G8B8A8_UNORM_SRGB;
        desc.SampleDesc = {resolution.m_uiAntiAliasing, resolution.m_uiMultisampleQuality};
        desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
        desc.BufferCount = 1;
        desc.OutputWindow = reinterpret_cast<HWND>(&m_iWindow);
        desc.Windowed = TRUE;
        IDXGISwapChain* pSwapChain = nullptr;
        ASSERT_EQ(S_OK, pFactory->CreateSwapChain(pDevice, &desc, &pSwapChain));
        pFactory->Release();
        m_pGraphicsDevice = new KR_GraphicsDeviceDX11(pDevice, pContext, pSwapChain, resolution);
        m_pSwapChain = pSwapChain;
        m_uiContextId = D3D11Control::GetObjectId(pContext);
        m_uiSwapChainId = D3D11Control::GetObjectId(pSwapChain);
        m_uiDeviceId = D3D11Control::GetObjectId(pDevice);
        D3D11Control::ClearCallLog();
    }

    int m_iWindow = 0; // only its address is used, as a window handle
    KR_GraphicsDeviceDX11* m_pGraphicsDevice = nullptr;
    IDXGISwapChain* m_pSwapChain = nullptr; // owned by the graphics device
    std::uint64_t m_uiContextId = 0;
    std::uint64_t m_uiSwapChainId = 0;
    std::uint64_t m_uiDeviceId = 0;
};

} // namespace

TEST_F(KR_GraphicsDeviceDX11Test, SingleSampledDepthIsReadDirectlyWithoutResolve)
{
    Make(Resolution(320, 240, 1));
    ASSERT_TRUE(m_pGraphicsDevice->CreateSizeDependentResources());
    ASSERT_EQ(1u, Calls("CreateTexture2D").size()); // no resolved copy
    D3D11_TEXTURE2D_DESC desc{};
    m_pGraphicsDevice->GetDepthStencilTexture()->GetDesc(&desc);
    EXPECT_EQ(DXGI_FORMAT_R32_TYPELESS, desc.Format);
    EXPECT_EQ(static_cast<UINT>(D3D11_BIND_DEPTH_STENCIL | D3D11_BIND_SHADER_RESOURCE), desc.BindFlags);

    ID3D11ShaderResourceView* pSrv = m_pGraphicsDevice->GetDepthShaderResourceView();
    ASSERT_NE(nullptr, pSrv);
    ID3D11Resource* pResource = nullptr;
    pSrv->GetResource(&pResource);
    EXPECT_EQ(D3D11Control::GetObjectId(m_pGraphicsDevice->GetDepthStencilTexture()),
              D3D11Control::GetObjectId(pResource));
    pResource->Release();
    EXPECT_TRUE(Calls("ResolveSubresource").empty());

    D3D11_RASTERIZER_DESC rsDesc{};
    m_pGraphicsDevice->BindMainRenderTarget();
    const D3D11Control::BoundState bound =
        D3D11Control::GetBoundState(m_pGraphicsDevice->GetImmediateContext());
    ASSERT_EQ(1u, bound.RenderTargets.size());
    EXPECT_NE(0u, bound.RenderTargets[0]);
    EXPECT_EQ(D3D11Control::GetObjectId(m_pGraphicsDevice->GetMainDepthStencilView()), bound.DepthStencil);
    ASSERT_EQ(1u, bound.Viewports.size());
    EXPECT_EQ(320.0f, bound.Viewports[0].Width);
    EXPECT_EQ(1.0f, bound.Viewports[0].MaxDepth);
    ID3D11RasterizerState* pState = nullptr;
    m_pGraphicsDevice->GetImmediateContext()->RSGetState(&pState);
    ASSERT_NE(nullptr, pState);
    pState->GetDesc(&rsDesc);
    pState->Release();
    EXPECT_EQ(D3D11_CULL_BACK, rsDesc.CullMode);
    EXPECT_EQ(TRUE, rsDesc.FrontCounterClockwise);
    EXPECT_EQ(FALSE, rsDesc.MultisampleEnable);
}

TEST_F(KR_GraphicsDeviceDX11Test, MultisampledDepthIsResolvedOnEveryRequest)
{
    Make(Resolution(320, 240, 4));
    ASSERT_TRUE(m_pGraphicsDevice->CreateSizeDependentResources());
    const auto vCreates = Calls("CreateTexture2D");
    ASSERT_EQ(2u, vCreates.size());
    D3D11_TEXTURE2D_DESC desc{};
    m_pGraphicsDevice->GetDepthStencilTexture()->GetDesc(&desc);
    EXPECT_EQ(4u, desc.SampleDesc.Count);
    EXPECT_EQ(static_cast<UINT>(D3D11_BIND_DEPTH_STENCIL), desc.BindFlags);

    ID3D11ShaderResourceView* pSrv = m_pGraphicsDevice->GetDepthShaderResourceView();
    m_pGraphicsDevice->GetDepthShaderResourceView();
    ID3D11Resource* pResource = nullptr;
    pSrv->GetResource(&pResource);
    const std::uint64_t uiResolvedId = D3D11Control::GetObjectId(pResource);
    pResource->Release();
    EXPECT_EQ(vCreates[1].Objects.back(), uiResolvedId);

    const auto vResolves = Calls("ResolveSubresource");
    ASSERT_EQ(2u, vResolves.size());
    for (const auto& resolve : vResolves)
    {
        EXPECT_EQ(S_OK, resolve.Result);
        EXPECT_EQ(uiResolvedId, resolve.Objects[0]);
        EXPECT_EQ(D3D11Control::GetObjectId(m_pGraphicsDevice->GetDepthStencilTexture()), resolve.Objects[1]);
        EXPECT_EQ(static_cast<double>(DXGI_FORMAT_R32_FLOAT), resolve.Values[2]);
    }
}

TEST_F(KR_GraphicsDeviceDX11Test, AspectRatioFollowsTheTable)
{
    Make(Resolution(1000, 400));
    KR_GraphicsDeviceDX11& device = *m_pGraphicsDevice;
    EXPECT_FLOAT_EQ(2.5f, device.GetAspectRatio());
    const float aExpected[] = {1.5f, 1.3333334f, 1.6666666f, 1.25f, 1.7777778f, 1.6f, 1.33f, 1.33f};
    for (std::uint32_t uiRatio = 1; uiRatio <= 8; ++uiRatio)
    {
        KR_ScreenResolution resolution = Resolution(1000, 400);
        resolution.m_eAspectRatio = static_cast<KR_AspectRatio>(uiRatio);
        ASSERT_TRUE(device.Resize(&resolution));
        EXPECT_EQ(aExpected[uiRatio - 1], device.GetAspectRatio()) << uiRatio;
    }
}

TEST_F(KR_GraphicsDeviceDX11Test, PushAndPopBalanceReferences)
{
    Make(Resolution(64, 64));
    ASSERT_TRUE(m_pGraphicsDevice->CreateSizeDependentResources());
    ID3D11DeviceContext* pContext = m_pGraphicsDevice->GetImmediateContext();

    // Nothing bound: a null state is pushed and popped.
    m_pGraphicsDevice->PushRasterizerState();
    m_pGraphicsDevice->PopRasterizerState();
    EXPECT_EQ(0u, D3D11Control::GetBoundState(pContext).RasterizerState);

    m_pGraphicsDevice->BindMainRenderTarget();
    ID3D11RasterizerState* pMain = nullptr;
    pContext->RSGetState(&pMain);
    const ULONG uiBefore = D3D11Control::GetRefCount(pMain);
    m_pGraphicsDevice->PushRasterizerState();
    EXPECT_EQ(uiBefore + 1, D3D11Control::GetRefCount(pMain));
    m_pGraphicsDevice->UnbindRenderTargets(); // a renderer changes the state...
    m_pGraphicsDevice->PopRasterizerState();  // ...and the frame puts it back
    EXPECT_EQ(D3D11Control::GetObjectId(pMain), D3D11Control::GetBoundState(pContext).RasterizerState);
    EXPECT_EQ(uiBefore, D3D11Control::GetRefCount(pMain));
    pMain->Release();

    // An empty stack: the pop does nothing at all.
    D3D11Control::ClearCallLog();
    m_pGraphicsDevice->PopRasterizerState();
    EXPECT_TRUE(Calls("RSSetState").empty());
}

TEST_F(KR_GraphicsDeviceDX11Test, StatesLeftOnTheStackAreReleasedAtDestruction)
{
    Make(Resolution(64, 64));
    ASSERT_TRUE(m_pGraphicsDevice->CreateSizeDependentResources());
    m_pGraphicsDevice->BindMainRenderTarget();
    m_pGraphicsDevice->PushRasterizerState();
    m_pGraphicsDevice->PushRasterizerState();
    // TearDown deletes the device and finds no live object.
}

TEST_F(KR_GraphicsDeviceDX11Test, DestructionReleasesContextThenSwapChainThenDevice)
{
    for (bool bFullscreen : {false, true})
    {
        KR_ScreenResolution resolution = Resolution(64, 64);
        resolution.m_bFullscreen = bFullscreen;
        Make(resolution);
        ASSERT_TRUE(m_pGraphicsDevice->CreateSizeDependentResources());
        D3D11Control::ClearCallLog();
        delete m_pGraphicsDevice;
        m_pGraphicsDevice = nullptr;

        std::vector<std::string> vOrder;
        for (const D3D11Control::CallRecord& record : D3D11Control::GetCallLog())
        {
            const std::uint64_t uiId = record.Objects.empty() ? 0 : record.Objects[0];
            if (record.Method == "ClearState" || record.Method == "Flush" ||
                record.Method == "SetFullscreenState")
            {
                vOrder.push_back(record.Method);
            }
            else if (record.Method == "Release" && uiId == m_uiContextId)
            {
                vOrder.push_back("context");
            }
            else if (record.Method == "Release" && uiId == m_uiSwapChainId)
            {
                vOrder.push_back("swap chain");
            }
            else if (record.Method == "Release" && uiId == m_uiDeviceId)
            {
                vOrder.push_back("device");
            }
        }
        std::vector<std::string> vExpected = {"ClearState", "Flush", "context", "swap chain", "device"};
        if (bFullscreen)
            vExpected.insert(vExpected.begin() + 3, "SetFullscreenState");
        // The device's own release of its context comes last of all.
        ASSERT_GE(vOrder.size(), vExpected.size());
        vOrder.resize(vExpected.size());
        EXPECT_EQ(vExpected, vOrder) << "fullscreen " << bFullscreen;
        EXPECT_EQ(0u, D3D11Control::GetLiveObjectCount());
    }
}

TEST_F(KR_GraphicsDeviceDX11Test, AFailedResizeKeepsTheSizeOfTheSwapChain)
{
    Make(Resolution(640, 480));
    ASSERT_TRUE(m_pGraphicsDevice->CreateSizeDependentResources());
    m_pGraphicsDevice->ReleaseSizeDependentResources();
    const KR_ScreenResolution larger = Resolution(800, 600);
    ASSERT_TRUE(m_pGraphicsDevice->Resize(&larger));
    EXPECT_EQ(800u, m_pGraphicsDevice->GetWidth());
    ASSERT_TRUE(m_pGraphicsDevice->CreateSizeDependentResources());
    D3D11_TEXTURE2D_DESC desc{};
    m_pGraphicsDevice->GetDepthStencilTexture()->GetDesc(&desc);
    EXPECT_EQ(600u, desc.Height);

    m_pGraphicsDevice->ReleaseSizeDependentResources();
    D3D11Control::FailNext("ResizeBuffers");
    const KR_ScreenResolution smaller = Resolution(320, 200);
    EXPECT_FALSE(m_pGraphicsDevice->Resize(&smaller));
    // The swap chain kept its buffers, so the device keeps the size that matches them.
    EXPECT_EQ(800u, m_pGraphicsDevice->GetWidth());
    EXPECT_EQ(600u, m_pGraphicsDevice->GetHeight());
    ASSERT_TRUE(m_pGraphicsDevice->CreateSizeDependentResources());
    m_pGraphicsDevice->GetDepthStencilTexture()->GetDesc(&desc);
    EXPECT_EQ(800u, desc.Width);
    D3D11Control::ClearCallLog();
    m_pGraphicsDevice->BindMainRenderTarget();
    for (const D3D11Control::CallRecord& record : D3D11Control::GetCallLog())
        EXPECT_EQ(S_OK, record.Result) << record.Method;
    EXPECT_NE(0u, D3D11Control::GetBoundState(m_pGraphicsDevice->GetImmediateContext()).DepthStencil);
}

TEST_F(KR_GraphicsDeviceDX11Test, ClearAndPresentReachTheBackBuffer)
{
    for (bool bVSync : {true, false})
    {
        KR_ScreenResolution resolution = Resolution(4, 4);
        resolution.m_bVSync = bVSync;
        Make(resolution);
        ASSERT_TRUE(m_pGraphicsDevice->CreateSizeDependentResources());
        const float aGrey[4] = {0.85f, 0.85f, 0.85f, 0.0f};
        m_pGraphicsDevice->ClearMainRenderTarget(aGrey);
        m_pGraphicsDevice->Present();
        EXPECT_EQ(bVSync ? 1u : 0u, D3D11Control::GetLastSyncInterval());

        ID3D11Texture2D* pBackBuffer = nullptr;
        ASSERT_EQ(S_OK,
                  m_pSwapChain->GetBuffer(0, IID_ID3D11Texture2D, reinterpret_cast<void**>(&pBackBuffer)));
        std::vector<std::uint8_t> vData;
        ASSERT_TRUE(D3D11Control::ReadSubresource(pBackBuffer, 0, &vData));
        pBackBuffer->Release();
        ASSERT_EQ(64u, vData.size());
        for (std::size_t i = 0; i < vData.size(); i += 4)
        {
            // 0.85 stored sRGB-encoded (237), alpha 0.
            EXPECT_EQ(237, vData[i]);
            EXPECT_EQ(237, vData[i + 2]);
            EXPECT_EQ(0, vData[i + 3]);
        }
        delete m_pGraphicsDevice;
        m_pGraphicsDevice = nullptr;
    }
}
