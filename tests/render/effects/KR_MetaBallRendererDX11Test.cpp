#include "render/effects/KR_MetaBallRendererDX11.h"

#include "render/camera/KR_Camera.h"
#include "tests/render/effects/MetaBallAndOITTestFixture.h"
#include "tests/support/NullPostFXEngine.h"

#include <cstring>

namespace
{

class KR_MetaBallRendererDX11Test : public MetaBallAndOITTest
{
protected:
    void SetUp() override
    {
        MetaBallAndOITTest::SetUp();
        MakeTargets(1);
    }

    void TearDown() override
    {
        m_renderer.ReleaseResources();
        m_renderer.ReleaseSizeDependentResources();
        Context()->ClearState();
        ReleaseTargets();
        MetaBallAndOITTest::TearDown();
    }

    // The caller's colour target and the scene depth at the device's size and sample count.
    void MakeTargets(std::uint32_t uiSamples)
    {
        ReleaseTargets();
        m_device.m_uiSamples = uiSamples;
        ID3D11Device* pDevice = m_device.GetDevice();
        D3D11_TEXTURE2D_DESC desc{
            m_device.m_uiWidth,  m_device.m_uiHeight,      1, 1, DXGI_FORMAT_R8G8B8A8_UNORM, {uiSamples, 0},
            D3D11_USAGE_DEFAULT, D3D11_BIND_RENDER_TARGET, 0, 0};
        ASSERT_EQ(S_OK, pDevice->CreateTexture2D(&desc, nullptr, &m_pTarget));
        ASSERT_EQ(S_OK, pDevice->CreateRenderTargetView(m_pTarget, nullptr, &m_pTargetView));
        desc.Format = DXGI_FORMAT_R32_TYPELESS;
        desc.BindFlags = D3D11_BIND_DEPTH_STENCIL | D3D11_BIND_SHADER_RESOURCE;
        ASSERT_EQ(S_OK, pDevice->CreateTexture2D(&desc, nullptr, &m_pDepth));
        D3D11_DEPTH_STENCIL_VIEW_DESC viewDesc{};
        viewDesc.Format = DXGI_FORMAT_D32_FLOAT;
        viewDesc.ViewDimension =
            uiSamples > 1 ? D3D11_DSV_DIMENSION_TEXTURE2DMS : D3D11_DSV_DIMENSION_TEXTURE2D;
        ASSERT_EQ(S_OK, pDevice->CreateDepthStencilView(m_pDepth, &viewDesc, &m_pDepthView));
        m_device.m_pDepthTexture = m_pDepth;
        m_device.m_pDepthView = m_pDepthView;
    }

    void ReleaseTargets()
    {
        m_device.m_pDepthTexture = nullptr;
        m_device.m_pDepthView = nullptr;
        for (IUnknown** pp :
             {reinterpret_cast<IUnknown**>(&m_pDepthView), reinterpret_cast<IUnknown**>(&m_pDepth),
              reinterpret_cast<IUnknown**>(&m_pTargetView), reinterpret_cast<IUnknown**>(&m_pTarget)})
        {
            if (*pp != nullptr)
                (*pp)->Release();
            *pp = nullptr;
        }
    }

    void Load()
    {
        ASSERT_TRUE(m_renderer.Initialize());
        ASSERT_TRUE(m_renderer.CreateResources());
        ASSERT_TRUE(m_renderer.CreateSizeDependentResources());
        Context()->OMSetRenderTargets(1, &m_pTargetView, m_pDepthView);
        D3D11Control::ClearCallLog();
    }

    void SetBalls(std::uint32_t uiCount)
    {
        m_gBalls.RemoveAll();
        for (std::uint32_t i = 0; i < uiCount; ++i)
        {
            KR_MetaBall ball;
            ball.m_vPosition = DirectX::XMFLOAT3(float(i % 10), 0.0f, 5.0f);
            m_gBalls.Add(ball);
        }
    }

    std::uint32_t UploadedU32(std::uint32_t uiOffset)
    {
        std::vector<std::uint8_t> vData;
        EXPECT_TRUE(D3D11Control::ReadSubresource(m_renderer.GetConstantBuffer(), 0, &vData));
        std::uint32_t uiValue = 0;
        if (vData.size() == KR_MetaBallConstants::SIZE)
            std::memcpy(&uiValue, vData.data() + uiOffset, sizeof(uiValue));
        return uiValue;
    }

    KR_MetaBallRendererDX11 m_renderer;
    KR_Camera m_camera;
    KB_GrowingArray<KR_MetaBall> m_gBalls;
    ID3D11Texture2D* m_pTarget = nullptr;
    ID3D11RenderTargetView* m_pTargetView = nullptr;
    ID3D11Texture2D* m_pDepth = nullptr;
    ID3D11DepthStencilView* m_pDepthView = nullptr;
};

TEST_F(KR_MetaBallRendererDX11Test, RefusesBeforeTouchingTheDevice)
{
    Load();
    SetBalls(1);
    KB_GrowingArray<KR_MetaBall> gNone;
    EXPECT_FALSE(m_renderer.Render(&m_camera, &gNone, 0.5f));
    EXPECT_FALSE(m_renderer.Render(&m_camera, nullptr, 0.5f));
    EXPECT_FALSE(m_renderer.Render(nullptr, &m_gBalls, 0.5f));
    SetBalls(KR_MetaBallRenderer::MAX_BALLS);
    EXPECT_FALSE(m_renderer.Render(&m_camera, &m_gBalls, 0.5f));
    EXPECT_TRUE(D3D11Control::GetCallLog().empty());

    // One below the limit draws both instanced passes over every ball, then the ray cast.
    m_gBalls.Remove(m_gBalls.GetNumMembers() - 1);
    ASSERT_TRUE(m_renderer.Render(&m_camera, &m_gBalls, 0.5f));
    const auto vInstanced = Calls("DrawInstanced");
    ASSERT_EQ(2u, vInstanced.size());
    for (const D3D11Control::CallRecord& record : vInstanced)
        EXPECT_EQ((std::vector<double>{4, 199999, 0, 0}), record.Values);
    ASSERT_EQ(1u, Calls("Draw").size());
    EXPECT_EQ((std::vector<double>{4, 0}), Calls("Draw")[0].Values);
}

TEST_F(KR_MetaBallRendererDX11Test, PassesBindTheirViewsAndLeaveTheCallersTargets)
{
    Load();
    SetBalls(3);
    const ULONG ulTargetRefs = D3D11Control::GetRefCount(m_pTargetView);
    const ULONG ulDepthRefs = D3D11Control::GetRefCount(m_pDepthView);
    ASSERT_TRUE(m_renderer.Render(&m_camera, &m_gBalls, 0.5f));

    // The lists' heads are cleared, the scene depth is copied between passes 1 and 2, and pass 2
    // writes the lists with a reset counter while reading the copy at t3.
    const auto vLog = D3D11Control::GetCallLog();
    std::vector<std::string> vOrder;
    for (const D3D11Control::CallRecord& record : vLog)
    {
        if (record.Method == "DrawInstanced" || record.Method == "Draw" || record.Method == "CopyResource" ||
            record.Method == "ClearUnorderedAccessViewUint")
        {
            vOrder.push_back(record.Method + (record.Result == S_OK ? "" : " refused"));
        }
        else if (record.Method == "OMSetRenderTargetsAndUnorderedAccessViews")
        {
            vOrder.push_back(record.Objects[1] != 0 ? "bind lists" : "unbind lists");
            EXPECT_EQ(Id(m_pDepthView), record.Objects[0]);
            EXPECT_TRUE(record.Objects[1] == 0 || (record.Values == std::vector<double>{0, 0, 2, 0, 0}));
        }
    }
    EXPECT_EQ((std::vector<std::string>{"ClearUnorderedAccessViewUint", "DrawInstanced", "CopyResource",
                                        "bind lists", "DrawInstanced", "unbind lists", "Draw"}),
              vOrder);
    for (const D3D11Control::CallRecord& record : Calls("CopyResource"))
        EXPECT_EQ(
            (std::vector<std::uint64_t>{Id(m_renderer.GetCoreRadiusDepthStencilTexture()), Id(m_pDepth)}),
            record.Objects);
    bool bCoreDepthAtT3 = false;
    for (const D3D11Control::CallRecord& record : Calls("PSSetShaderResources"))
        bCoreDepthAtT3 =
            bCoreDepthAtT3 || (record.Values == std::vector<double>{0, 5} && record.Objects[3] != 0 &&
                               record.Objects[4] == 0 && record.Objects[0] != 0);
    EXPECT_TRUE(bCoreDepthAtT3);

    // Each pass draws the quad as a strip through its own program: cores with depth writes and
    // no blending, the other two blended without depth writes.
    const auto vDraws = D3D11Control::GetDrawCalls();
    ASSERT_EQ(3u, vDraws.size());
    for (const D3D11Control::CallRecord& draw : vDraws)
    {
        EXPECT_EQ(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLESTRIP, draw.Pipeline->Topology);
        EXPECT_NE(0u, draw.Pipeline->InputLayout);
        ASSERT_EQ(1u, draw.Pipeline->VertexBuffers.size());
        EXPECT_EQ(12u, draw.Pipeline->VertexBuffers[0].Stride);
        EXPECT_NE(0u, draw.Pipeline->VertexShader);
        EXPECT_NE(0u, draw.Pipeline->PixelShader);
    }
    EXPECT_NE(vDraws[0].Pipeline->PixelShader, vDraws[1].Pipeline->PixelShader);
    EXPECT_NE(vDraws[1].Pipeline->PixelShader, vDraws[2].Pipeline->PixelShader);
    EXPECT_NE(vDraws[0].Pipeline->BlendState, vDraws[1].Pipeline->BlendState);
    EXPECT_EQ(vDraws[1].Pipeline->BlendState, vDraws[2].Pipeline->BlendState);
    EXPECT_NE(vDraws[0].Pipeline->DepthStencilState, vDraws[1].Pipeline->DepthStencilState);
    EXPECT_NE(vDraws[1].Pipeline->DepthStencilState, vDraws[2].Pipeline->DepthStencilState);

    // Constants as uploaded: the sizes and the ball count.
    EXPECT_EQ(64u, UploadedU32(KR_MetaBallConstants::SIZES));
    EXPECT_EQ(32u, UploadedU32(KR_MetaBallConstants::SIZES + 4));
    EXPECT_EQ(3u, UploadedU32(KR_MetaBallConstants::SIZES + 8));
    EXPECT_EQ(1u, UploadedU32(KR_MetaBallConstants::SIZES + 12));

    // Afterwards: the caller's targets again with their references balanced, nothing at t0-t4 or
    // in the UAV slots, and no buffer held.
    const D3D11Control::BoundState state = D3D11Control::GetBoundState(Context());
    EXPECT_EQ(std::vector<std::uint64_t>{Id(m_pTargetView)}, state.RenderTargets);
    EXPECT_EQ(Id(m_pDepthView), state.DepthStencil);
    EXPECT_EQ(ulTargetRefs, D3D11Control::GetRefCount(m_pTargetView));
    EXPECT_EQ(ulDepthRefs, D3D11Control::GetRefCount(m_pDepthView));
    for (int iSlot = 0; iSlot < 5; ++iSlot)
    {
        EXPECT_EQ(0u, state.VertexShaderResources[iSlot]) << iSlot;
        EXPECT_EQ(0u, state.PixelShaderResources[iSlot]) << iSlot;
    }
    EXPECT_EQ(std::vector<std::uint64_t>(8, 0), state.UnorderedAccessViews);
    EXPECT_EQ(KR_MetaBallRendererDX11::INVALID_HANDLE, m_renderer.GetBallBufferHandle());
    EXPECT_EQ(KR_MetaBallRendererDX11::INVALID_HANDLE, m_renderer.GetFragmentBufferHandle());
    EXPECT_EQ(KR_MetaBallRendererDX11::INVALID_HANDLE, m_renderer.GetHeadBufferHandle());
}

TEST_F(KR_MetaBallRendererDX11Test, DrawsIntoThePostProcessingDepthWhenThereIsAChain)
{
    // The chain redirects the scene into its own depth buffer: the cores must go there, not into
    // the device's depth, which is absent here.
    Load();
    SetBalls(2);
    NullPostFXEngine postFX;
    postFX.m_pDepthTexture = m_pDepth;
    postFX.m_pDepthView = m_pDepthView;
    m_device.m_pDepthTexture = nullptr;
    m_device.m_pDepthView = nullptr;
    m_engine->SetPostFXEngine(&postFX);
    const bool bRendered = m_renderer.Render(&m_camera, &m_gBalls, 0.5f);
    m_engine->SetPostFXEngine(nullptr);
    ASSERT_TRUE(bRendered);
    for (const D3D11Control::CallRecord& record : Calls("CopyResource"))
        EXPECT_EQ(Id(m_pDepth), record.Objects[1]);
    ASSERT_FALSE(Calls("CopyResource").empty());
}

TEST_F(KR_MetaBallRendererDX11Test, MultisampledDeviceReadsTheCoreDepthAtT4)
{
    MakeTargets(4);
    Load();
    SetBalls(2);
    ASSERT_TRUE(m_renderer.Render(&m_camera, &m_gBalls, 0.25f));
    D3D11_TEXTURE2D_DESC desc{};
    m_renderer.GetCoreRadiusDepthStencilTexture()->GetDesc(&desc);
    EXPECT_EQ(4u, desc.SampleDesc.Count);
    bool bCoreDepthAtT4 = false;
    for (const D3D11Control::CallRecord& record : Calls("PSSetShaderResources"))
        bCoreDepthAtT4 = bCoreDepthAtT4 ||
                         (record.Objects.size() == 5 && record.Objects[3] == 0 && record.Objects[4] != 0);
    EXPECT_TRUE(bCoreDepthAtT4);
    for (const D3D11Control::CallRecord& record : Calls("CopyResource"))
        EXPECT_EQ(S_OK, record.Result);
    EXPECT_EQ(4u, UploadedU32(KR_MetaBallConstants::SIZES + 12));
}

TEST_F(KR_MetaBallRendererDX11Test, ResizeRemakesTheSizedObjects)
{
    Load();
    Resize(m_renderer, 80, 40);
    MakeTargets(1);
    Context()->OMSetRenderTargets(1, &m_pTargetView, m_pDepthView);
    EXPECT_EQ(80u * 40u * 8u, m_renderer.GetFragmentBufferDescription().m_uiElementCount);
    EXPECT_EQ(20u, m_renderer.GetFragmentBufferDescription().m_uiElementStride);
    EXPECT_EQ(80u * 40u, m_renderer.GetHeadBufferDescription().m_uiElementCount);
    EXPECT_EQ(KR_BufferResourceDescription(200000, 32, D3D11_USAGE_DYNAMIC, D3D11_BIND_SHADER_RESOURCE,
                                           D3D11_RESOURCE_MISC_BUFFER_STRUCTURED, D3D11_CPU_ACCESS_WRITE),
              m_renderer.GetBallBufferDescription());
    D3D11_TEXTURE2D_DESC desc{};
    m_renderer.GetCoreRadiusDepthStencilTexture()->GetDesc(&desc);
    EXPECT_EQ(80u, desc.Width);
    EXPECT_EQ(40u, desc.Height);
    SetBalls(1);
    ASSERT_TRUE(m_renderer.Render(&m_camera, &m_gBalls, 0.5f));
    EXPECT_EQ(80u, UploadedU32(KR_MetaBallConstants::SIZES));
    EXPECT_EQ(40u, UploadedU32(KR_MetaBallConstants::SIZES + 4));
}

TEST_F(KR_MetaBallRendererDX11Test, BufferSizesAtFullHDAndCleanRefusalAtTheEnlargedScreenshot)
{
    Load();
    Resize(m_renderer, 1920, 1080);
    EXPECT_EQ(16'588'800u, m_renderer.GetFragmentBufferDescription().m_uiElementCount); // 331,776,000 bytes
    EXPECT_EQ(2'073'600u, m_renderer.GetHeadBufferDescription().m_uiElementCount);
    EXPECT_TRUE(m_renderer.AreBuffersAvailable());

    // 7680 x 4320 x 8 x 20 bytes do not fit a buffer: nothing is asked of the device for the
    // fragments, and Render refuses without a call.
    const std::uint64_t uiBuffersBefore = D3D11Control::GetCallCount("CreateBuffer");
    Resize(m_renderer, 7680, 4320);
    EXPECT_EQ(0u, m_renderer.GetFragmentBufferDescription().m_uiElementCount);
    EXPECT_FALSE(m_renderer.AreBuffersAvailable());
    EXPECT_EQ(uiBuffersBefore, D3D11Control::GetCallCount("CreateBuffer"));
    SetBalls(5);
    D3D11Control::ClearCallLog();
    EXPECT_FALSE(m_renderer.Render(&m_camera, &m_gBalls, 0.5f));
    EXPECT_TRUE(D3D11Control::GetCallLog().empty());
    EXPECT_EQ(KR_MetaBallRendererDX11::INVALID_HANDLE, m_renderer.GetFragmentBufferHandle());
}

TEST_F(KR_MetaBallRendererDX11Test, MissingDepthCopyOrPoolRefusesAndShutdownBalances)
{
    Load();
    SetBalls(2);
    // The device refuses the depth copy at this size.
    D3D11Control::FailNext("CreateTexture2D");
    Resize(m_renderer, 64, 32);
    EXPECT_EQ(nullptr, m_renderer.GetCoreRadiusDepthStencilTexture());
    D3D11Control::ClearCallLog();
    EXPECT_FALSE(m_renderer.Render(&m_camera, &m_gBalls, 0.5f));
    EXPECT_TRUE(D3D11Control::GetCallLog().empty());

    // The pool cannot make the fragment lists: refused, and not tried again per call.
    Resize(m_renderer, 64, 32);
    ASSERT_TRUE(m_renderer.Render(&m_camera, &m_gBalls, 0.5f));
    m_pResources->DestroyUnusedBuffers();
    D3D11Control::FailNext("CreateBuffer"); // the ball buffer, made anew
    EXPECT_FALSE(m_renderer.Render(&m_camera, &m_gBalls, 0.5f));
    EXPECT_FALSE(m_renderer.AreBuffersAvailable());
    const std::uint64_t uiBuffersBefore = D3D11Control::GetCallCount("CreateBuffer");
    EXPECT_FALSE(m_renderer.Render(&m_camera, &m_gBalls, 0.5f));
    EXPECT_EQ(uiBuffersBefore, D3D11Control::GetCallCount("CreateBuffer"));

    // Shutdown gives back everything it made (the device's teardown counts the leftovers).
    EXPECT_TRUE(m_renderer.ReleaseResources());
    EXPECT_TRUE(m_renderer.ReleaseSizeDependentResources());
    EXPECT_EQ(nullptr, m_renderer.GetCoreRadiusDepthStencilTexture());
    EXPECT_EQ(nullptr, m_renderer.GetConstantBuffer());
    EXPECT_FALSE(m_renderer.Render(&m_camera, &m_gBalls, 0.5f));
}

} // namespace
