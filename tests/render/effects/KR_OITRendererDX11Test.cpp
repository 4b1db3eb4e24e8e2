#include "render/effects/KR_OITRendererDX11.h"

#include "render/scene/KR_CubeMapPlacer.h"
#include "render/scene/KR_Scene.h"
#include "tests/render/effects/MetaBallAndOITTestFixture.h"

#include <cstring>
#include <functional>

namespace
{

class KR_OITRendererDX11Test : public MetaBallAndOITTest
{
protected:
    void SetUp() override
    {
        MetaBallAndOITTest::SetUp();
        m_engine->SetOITRenderer(&m_oit);
        m_pMemory->SetFile(LIBRARY_PATH, R"(<material_library><material id="Glass" oit="1"/>
            <material id="Smoke" oit="1"/><material id="Wall"/></material_library>)");
        ASSERT_TRUE(m_materials.LoadMaterialLibrary());
        ASSERT_TRUE(m_oit.Initialize());
        ASSERT_TRUE(m_oit.CreateResources());
        ASSERT_TRUE(m_oit.CreateSizeDependentResources());

        // The scene's target and a rasterizer state of its own.
        D3D11_TEXTURE2D_DESC desc{
            64, 32, 1, 1, DXGI_FORMAT_R8G8B8A8_UNORM, {1, 0}, D3D11_USAGE_DEFAULT, D3D11_BIND_RENDER_TARGET,
            0,  0};
        ID3D11Device* pDevice = m_device.GetDevice();
        ASSERT_EQ(S_OK, pDevice->CreateTexture2D(&desc, nullptr, &m_pTarget));
        ASSERT_EQ(S_OK, pDevice->CreateRenderTargetView(m_pTarget, nullptr, &m_pTargetView));
        D3D11_RASTERIZER_DESC rasterizer{};
        rasterizer.FillMode = D3D11_FILL_WIREFRAME;
        rasterizer.CullMode = D3D11_CULL_FRONT;
        ASSERT_EQ(S_OK, pDevice->CreateRasterizerState(&rasterizer, &m_pSceneState));
        Context()->OMSetRenderTargets(1, &m_pTargetView, nullptr);
        Context()->RSSetState(m_pSceneState);
        D3D11Control::ClearCallLog();
    }

    void TearDown() override
    {
        m_oit.ReleaseResources();
        m_oit.ReleaseSizeDependentResources();
        m_engine->SetOITRenderer(nullptr);
        Context()->ClearState();
        m_pSceneState->Release();
        m_pTargetView->Release();
        m_pTarget->Release();
        MetaBallAndOITTest::TearDown();
    }

    void Apply(const char* pMaterial)
    {
        const std::uint8_t uiFormat = 0x0B;
        KR_ShaderProgram* pProgram =
            m_materials.BuildMaterialShaderProperties(KR_RENDER_PASS_COLOR, pMaterial, &uiFormat, false);
        ASSERT_NE(nullptr, pProgram) << pMaterial;
        m_materials.ApplyMaterial(KR_RENDER_PASS_COLOR, pMaterial, uiFormat, pProgram, false);
    }

    std::uint32_t UploadedWidth()
    {
        std::vector<std::uint8_t> vData;
        EXPECT_TRUE(D3D11Control::ReadSubresource(m_oit.GetConstantBuffer(), 0, &vData));
        std::uint32_t uiWidth = 0;
        if (vData.size() == KR_OITRendererDX11::CONSTANT_BUFFER_SIZE)
            std::memcpy(&uiWidth, vData.data(), sizeof(uiWidth));
        return uiWidth;
    }

    std::uint64_t BoundRasterizerState() { return D3D11Control::GetBoundState(Context()).RasterizerState; }
    // The description of the rasterizer state bound now; all zero (and the test failed) when none is.
    D3D11_RASTERIZER_DESC BoundRasterizerDesc()
    {
        D3D11_RASTERIZER_DESC desc{};
        ID3D11RasterizerState* pBound = nullptr;
        Context()->RSGetState(&pBound);
        EXPECT_NE(nullptr, pBound);
        if (pBound == nullptr)
            return desc;
        pBound->GetDesc(&desc);
        pBound->Release();
        return desc;
    }

    KR_OITRendererDX11 m_oit;
    ID3D11Texture2D* m_pTarget = nullptr;
    ID3D11RenderTargetView* m_pTargetView = nullptr;
    ID3D11RasterizerState* m_pSceneState = nullptr;
};

// A scene whose every pass (a cube-map face or the frame's main pass) runs the test's drawing.
class DrawingScene : public KR_Scene
{
public:
    bool PreLoad() override { return true; }
    void OnResize() override {}
    void RenderModels(double, const DirectX::XMMATRIX*) override {}
    bool Shutdown() override { return true; }
    bool PostLoad() override { return true; }
    void Render(KR_Camera*, double, bool) override { m_draw(); }

    std::function<void()> m_draw;
};

TEST_F(KR_OITRendererDX11Test, FrameWithoutTransparentMaterialsBindsAndResolvesNothing)
{
    Apply("Wall");
    Apply("Wall");
    const std::uint64_t uiBuffersBefore = D3D11Control::GetCallCount("CreateBuffer");
    EXPECT_TRUE(m_oit.Resolve());
    EXPECT_TRUE(Calls("OMSetRenderTargetsAndUnorderedAccessViews").empty());
    EXPECT_TRUE(Calls("ClearUnorderedAccessViewUint").empty());
    EXPECT_TRUE(Calls("Draw").empty());
    EXPECT_EQ(uiBuffersBefore, D3D11Control::GetCallCount("CreateBuffer"));
    EXPECT_EQ(KR_OITRendererDX11::INVALID_HANDLE, m_oit.GetFragmentBufferHandle());
    EXPECT_EQ(KR_OITRendererDX11::INVALID_HANDLE, m_oit.GetHeadBufferHandle());
}

TEST_F(KR_OITRendererDX11Test, TransparentMaterialsShareOneSetupAndOneResolve)
{
    const ULONG ulSceneStateRefs = D3D11Control::GetRefCount(m_pSceneState);
    Apply("Glass");
    Apply("Wall");
    Apply("Smoke");
    Apply("Glass");
    const std::uint32_t uiFragments = m_oit.GetFragmentBufferHandle();
    const std::uint32_t uiHeads = m_oit.GetHeadBufferHandle();
    ASSERT_NE(KR_OITRendererDX11::INVALID_HANDLE, uiFragments);
    ASSERT_NE(KR_OITRendererDX11::INVALID_HANDLE, uiHeads);
    ID3D11UnorderedAccessView* pFragmentList = m_pResources->GetBufferUnorderedAccessView(uiFragments);
    ID3D11UnorderedAccessView* pHeadList = m_pResources->GetBufferUnorderedAccessView(uiHeads);

    // One constant upload, one clear of the heads, one binding beside the scene's target.
    std::uint32_t uiUploads = 0;
    for (const D3D11Control::CallRecord& record : Calls("Map"))
        uiUploads += record.Objects[0] == Id(m_oit.GetConstantBuffer()) ? 1 : 0;
    EXPECT_EQ(1u, uiUploads);
    EXPECT_EQ(64u, UploadedWidth());
    const auto vClears = Calls("ClearUnorderedAccessViewUint");
    ASSERT_EQ(1u, vClears.size());
    EXPECT_EQ(std::vector<std::uint64_t>{Id(pHeadList)}, vClears[0].Objects);
    EXPECT_EQ((std::vector<double>(4, 4294967295.0)), vClears[0].Values);
    const auto vBinds = Calls("OMSetRenderTargetsAndUnorderedAccessViews");
    ASSERT_EQ(1u, vBinds.size());
    EXPECT_EQ((std::vector<std::uint64_t>{Id(pFragmentList), Id(pHeadList)}), vBinds[0].Objects);
    EXPECT_EQ((std::vector<double>{4294967295.0, 4, 2, 0, 0}), vBinds[0].Values);
    D3D11Control::BoundState state = D3D11Control::GetBoundState(Context());
    EXPECT_EQ(std::vector<std::uint64_t>{Id(m_pTargetView)}, state.RenderTargets);
    EXPECT_EQ(Id(pFragmentList), state.UnorderedAccessViews[4]);
    EXPECT_EQ(Id(pHeadList), state.UnorderedAccessViews[5]);
    UINT uiCounter = 1;
    ASSERT_TRUE(D3D11Control::GetUnorderedAccessViewCounter(pFragmentList, &uiCounter));
    EXPECT_EQ(0u, uiCounter);
    std::uint32_t uiWidthBindings = 0;
    for (const char* pMethod : {"VSSetConstantBuffers", "PSSetConstantBuffers"})
        for (const D3D11Control::CallRecord& record : Calls(pMethod))
            uiWidthBindings += record.Values[0] == 13 && record.Objects[0] == Id(m_oit.GetConstantBuffer());
    EXPECT_EQ(2u, uiWidthBindings);

    // Each end brings back the state of just before its begin (the programs applied above set
    // states of their own, so the scene's is set again); the transparency state draws both faces.
    ASSERT_TRUE(m_oit.EndTransparency());
    Context()->RSSetState(m_pSceneState);
    ASSERT_TRUE(m_oit.BeginTransparency());
    const std::uint64_t uiTransparencyState = BoundRasterizerState();
    ASSERT_NE(Id(m_pSceneState), uiTransparencyState);
    ASSERT_TRUE(m_oit.EndTransparency());
    EXPECT_EQ(Id(m_pSceneState), BoundRasterizerState());
    ASSERT_TRUE(m_oit.BeginTransparency());
    const D3D11_RASTERIZER_DESC desc = BoundRasterizerDesc();
    EXPECT_EQ(D3D11_CULL_NONE, desc.CullMode);
    EXPECT_EQ(FALSE, desc.MultisampleEnable);
    EXPECT_EQ(1u, Calls("ClearUnorderedAccessViewUint").size());

    // The resolve reads the lists at t0 and t1, draws once and leaves nothing bound.
    D3D11Control::ClearCallLog();
    ASSERT_TRUE(m_oit.Resolve());
    ID3D11ShaderResourceView* pFragmentView = m_pResources->GetBufferShaderResourceView(uiFragments);
    ID3D11ShaderResourceView* pHeadView = m_pResources->GetBufferShaderResourceView(uiHeads);
    const auto vLog = D3D11Control::GetCallLog();
    std::vector<std::string> vOrder;
    for (const D3D11Control::CallRecord& record : vLog)
        if (record.Method == "OMSetRenderTargetsAndUnorderedAccessViews")
            vOrder.push_back(record.Objects == std::vector<std::uint64_t>{0, 0} ? "unbind lists" : "?");
        else if (record.Method == "PSSetShaderResources" && record.Values[0] == 0)
            vOrder.push_back(
                record.Objects[0] == Id(pFragmentView) && record.Objects[1] == Id(pHeadView)
                    ? "read lists"
                    : (record.Objects == std::vector<std::uint64_t>{0, 0} ? "unbind reads" : "?"));
        else if (record.Method == "Draw")
            vOrder.push_back("draw " + std::to_string(int(record.Values[0])));
    EXPECT_EQ((std::vector<std::string>{"unbind lists", "read lists", "draw 4", "unbind reads"}), vOrder);
    state = D3D11Control::GetBoundState(Context());
    EXPECT_EQ(std::vector<std::uint64_t>(8, 0), state.UnorderedAccessViews);
    for (int iSlot : {0, 1})
    {
        EXPECT_EQ(0u, state.PixelShaderResources[iSlot]);
        EXPECT_EQ(0u, state.VertexShaderResources[iSlot]);
    }
    EXPECT_EQ(std::vector<std::uint64_t>{Id(m_pTargetView)}, state.RenderTargets);
    EXPECT_EQ(Id(m_pSceneState), state.RasterizerState);
    EXPECT_EQ(ulSceneStateRefs, D3D11Control::GetRefCount(m_pSceneState));
    EXPECT_EQ(KR_OITRendererDX11::INVALID_HANDLE, m_oit.GetFragmentBufferHandle());
    EXPECT_EQ(KR_OITRendererDX11::INVALID_HANDLE, m_oit.GetHeadBufferHandle());

    // The next frame starts over; the frame after a resize uploads the new width.
    Resize(m_oit, 80, 40);
    D3D11Control::ClearCallLog();
    Apply("Smoke");
    EXPECT_EQ(1u, Calls("ClearUnorderedAccessViewUint").size());
    EXPECT_EQ(80u, UploadedWidth());
    EXPECT_TRUE(m_oit.Resolve());
}

TEST_F(KR_OITRendererDX11Test, CubeMapFacesKeepTheirListsAndStatesOutOfTheMainPass)
{
    // What each transparent draw of a pass had bound, and the state its end brought back.
    struct TransparentDraw
    {
        std::uint64_t uiTarget = 0;
        std::uint64_t uiFragmentList = 0;
        std::uint64_t uiHeadClears = 0; // clears of the list heads so far
        std::uint64_t uiStateBefore = 0;
        std::uint64_t uiStateAfterEnd = 0;
    };
    std::vector<TransparentDraw> vDraws;
    DrawingScene scene;
    scene.m_draw = [this, &vDraws]
    {
        TransparentDraw draw;
        draw.uiStateBefore = BoundRasterizerState();
        Apply("Glass");
        const D3D11Control::BoundState bound = D3D11Control::GetBoundState(Context());
        draw.uiTarget = bound.RenderTargets.empty() ? 0 : bound.RenderTargets[0];
        draw.uiFragmentList = bound.UnorderedAccessViews[4];
        draw.uiHeadClears = D3D11Control::GetCallCount("ClearUnorderedAccessViewUint");
        Context()->Draw(3, 0);
        EXPECT_TRUE(m_oit.EndTransparency());
        draw.uiStateAfterEnd = BoundRasterizerState();
        vDraws.push_back(draw);
    };
    const ULONG ulSceneStateRefs = D3D11Control::GetRefCount(m_pSceneState);

    // One frame: the dynamic map renders its face first, then the main pass draws the same glass.
    {
        KR_CubeMapPlacer placer;
        placer.SetEndTime(10.0);
        placer.SetCubeMapResolution(16, 16);
        placer.SetDynamic(true);
        placer.ReloadCubeMapPlacer();
        placer.RenderCubeMap(&scene, 1.0);
        ASSERT_EQ(1u, vDraws.size());
        const D3D11Control::BoundState afterFaces = D3D11Control::GetBoundState(Context());
        EXPECT_EQ(0u, afterFaces.UnorderedAccessViews[4]);
        EXPECT_EQ(0u, afterFaces.UnorderedAccessViews[5]);
        EXPECT_EQ(KR_OITRendererDX11::INVALID_HANDLE, m_oit.GetFragmentBufferHandle());
        EXPECT_EQ(Id(m_pSceneState), afterFaces.RasterizerState);
    }
    scene.m_draw();
    ASSERT_EQ(2u, vDraws.size());
    const TransparentDraw& face = vDraws[0];
    const TransparentDraw& main = vDraws[1];
    EXPECT_NE(Id(m_pTargetView), face.uiTarget);
    EXPECT_NE(0u, face.uiFragmentList);
    EXPECT_EQ(face.uiStateBefore, face.uiStateAfterEnd); // the face's own culling state
    EXPECT_NE(Id(m_pSceneState), face.uiStateBefore);
    // The main pass gathers into lists cleared after the face drew, beside the main target, and
    // gets its own state back.
    EXPECT_EQ(Id(m_pTargetView), main.uiTarget);
    EXPECT_NE(0u, main.uiFragmentList);
    EXPECT_GT(main.uiHeadClears, face.uiHeadClears);
    EXPECT_EQ(Id(m_pSceneState), main.uiStateBefore);
    EXPECT_EQ(Id(m_pSceneState), main.uiStateAfterEnd);

    // The frame's resolve draws once into the main target and leaves the main pass's state.
    D3D11Control::ClearCallLog();
    ASSERT_TRUE(m_oit.Resolve());
    EXPECT_EQ(1u, Calls("Draw").size());
    const D3D11Control::BoundState resolved = D3D11Control::GetBoundState(Context());
    ASSERT_FALSE(resolved.RenderTargets.empty());
    EXPECT_EQ(Id(m_pTargetView), resolved.RenderTargets[0]);
    EXPECT_EQ(Id(m_pSceneState), resolved.RasterizerState);
    EXPECT_EQ(ulSceneStateRefs, D3D11Control::GetRefCount(m_pSceneState));
}

TEST_F(KR_OITRendererDX11Test, ResizeLeavesIdleListsOfTheNewSizeInThePool)
{
    m_device.m_uiSamples = 4;
    Resize(m_oit, 1920, 1080);
    const KR_BufferResourceDescription fragments = m_oit.GetFragmentBufferDescription();
    const KR_BufferResourceDescription heads = m_oit.GetHeadBufferDescription();
    EXPECT_EQ(KR_BufferResourceDescription(1920u * 1080u * 8u, 12u, D3D11_USAGE_DEFAULT,
                                           D3D11_BIND_UNORDERED_ACCESS | D3D11_BIND_SHADER_RESOURCE,
                                           D3D11_RESOURCE_MISC_BUFFER_STRUCTURED, 0),
              fragments);
    EXPECT_EQ(KR_BufferResourceDescription(1920u * 1080u, 4u, D3D11_USAGE_DEFAULT,
                                           D3D11_BIND_UNORDERED_ACCESS | D3D11_BIND_SHADER_RESOURCE,
                                           D3D11_RESOURCE_MISC_BUFFER_ALLOW_RAW_VIEWS, 0),
              heads);
    EXPECT_TRUE(m_oit.AreListsAvailable());

    // Both are idle in the pool: a request makes no buffer, and the buffer has the full size.
    const std::uint64_t uiBuffersBefore = D3D11Control::GetCallCount("CreateBuffer");
    std::uint32_t uiFragments = m_pResources->AcquireBuffer(&fragments);
    std::uint32_t uiHeads = m_pResources->AcquireBuffer(&heads);
    EXPECT_EQ(uiBuffersBefore, D3D11Control::GetCallCount("CreateBuffer"));
    D3D11_BUFFER_DESC desc{};
    ASSERT_NE(nullptr, m_pResources->GetBuffer(uiFragments));
    m_pResources->GetBuffer(uiFragments)->GetDesc(&desc);
    EXPECT_EQ(199'065'600u, desc.ByteWidth);
    m_pResources->ReleaseBuffer(&uiFragments);
    m_pResources->ReleaseBuffer(&uiHeads);

    // A multisampled device draws the transparent layers multisampled.
    ASSERT_TRUE(m_oit.BeginTransparency());
    EXPECT_EQ(TRUE, BoundRasterizerDesc().MultisampleEnable);
    EXPECT_TRUE(m_oit.Resolve());
}

TEST_F(KR_OITRendererDX11Test, SizesTheDeviceCannotMakeSkipTheFrameCleanly)
{
    struct Case
    {
        std::uint32_t uiWidth, uiHeight;
        std::uint32_t uiFragmentCount; // 0: the bytes pass 32 bits, nothing is described
    };
    // The enlarged screenshot's pool is 3,185,049,600 bytes: beyond the device's per-resource
    // limit. 16384 x 16384 would not even fit the 32-bit byte width.
    for (const Case& c : {Case{7680, 4320, 265'420'800u}, Case{16384, 16384, 0}})
    {
        Resize(m_oit, c.uiWidth, c.uiHeight);
        EXPECT_EQ(c.uiFragmentCount, m_oit.GetFragmentBufferDescription().m_uiElementCount) << c.uiWidth;
        EXPECT_FALSE(m_oit.AreListsAvailable()) << c.uiWidth;
        D3D11Control::ClearCallLog();
        const std::uint64_t uiBuffersBefore = D3D11Control::GetCallCount("CreateBuffer");
        for (int iFrame = 0; iFrame < 3; ++iFrame)
        {
            EXPECT_FALSE(m_oit.BeginTransparency());
            Apply("Glass");
            Apply("Wall");
            EXPECT_TRUE(m_oit.Resolve());
        }
        // Nothing bound, cleared or drawn, the scene's state untouched by the transparent
        // materials, and no buffer tried again per frame.
        EXPECT_TRUE(Calls("OMSetRenderTargetsAndUnorderedAccessViews").empty());
        EXPECT_TRUE(Calls("ClearUnorderedAccessViewUint").empty());
        EXPECT_TRUE(Calls("Draw").empty());
        EXPECT_EQ(uiBuffersBefore, D3D11Control::GetCallCount("CreateBuffer"));
        EXPECT_EQ(KR_OITRendererDX11::INVALID_HANDLE, m_oit.GetFragmentBufferHandle());
    }
    // Back at a size the device can make, transparency works again.
    Resize(m_oit, 64, 32);
    EXPECT_TRUE(m_oit.AreListsAvailable());
    EXPECT_TRUE(m_oit.BeginTransparency());
    EXPECT_TRUE(m_oit.Resolve());
}

TEST_F(KR_OITRendererDX11Test, ShutdownMidFrameHandsEverythingBack)
{
    Apply("Glass");
    ASSERT_NE(KR_OITRendererDX11::INVALID_HANDLE, m_oit.GetFragmentBufferHandle());
    EXPECT_TRUE(m_oit.ReleaseResources());
    EXPECT_TRUE(m_oit.ReleaseSizeDependentResources());
    EXPECT_EQ(KR_OITRendererDX11::INVALID_HANDLE, m_oit.GetFragmentBufferHandle());
    EXPECT_EQ(KR_OITRendererDX11::INVALID_HANDLE, m_oit.GetHeadBufferHandle());
    EXPECT_EQ(nullptr, m_oit.GetConstantBuffer());
    Context()->ClearState();
    EXPECT_EQ(1u, D3D11Control::GetRefCount(m_pSceneState)); // the test's own: the saved one is given back
    // The lists went back to the pool idle: the same description is served without a new buffer.
    const std::uint64_t uiBuffersBefore = D3D11Control::GetCallCount("CreateBuffer");
    std::uint32_t uiFragments = m_pResources->AcquireBuffer(&m_oit.GetFragmentBufferDescription());
    EXPECT_EQ(uiBuffersBefore, D3D11Control::GetCallCount("CreateBuffer"));
    m_pResources->ReleaseBuffer(&uiFragments);
    // Nothing more happens after shutdown.
    EXPECT_TRUE(m_oit.Resolve());
    EXPECT_FALSE(m_oit.BeginTransparency());
}

} // namespace
