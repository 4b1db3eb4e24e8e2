#include "render/debug/KR_DebugHUD.h"

#include "render/device/KR_ManagedShaderResourceView.h"
#include "tests/render/debug/DebugDrawingTestHelpers.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

using namespace DirectX;

namespace
{

class FakeView : public KR_ManagedShaderResourceView
{
public:
    ID3D11ShaderResourceView* GetShaderResourceView() override { return m_pView; }
    void SetShaderResourceView(ID3D11ShaderResourceView* pView) override { m_pView = pView; }

    ID3D11ShaderResourceView* m_pView = nullptr; // not owned; a tag only
};

// The real resource manager with the icons as fake proxies (nothing loads in the background).
class IconResourceManager : public KR_GraphicsResourceManagerDX11
{
public:
    KR_ManagedShaderResourceView* GetShaderResourceViewFromFile(const KB_String& sPath) override
    {
        std::unique_ptr<FakeView>& pView = m_mapViews[sPath.GetBuffer()];
        if (pView == nullptr)
            pView = std::make_unique<FakeView>();
        return pView.get();
    }
    std::map<std::string, std::unique_ptr<FakeView>> m_mapViews;
};

// Records the textures handed over besides what the base records.
class TextureRecordingShaderCore : public debugdrawingtest::RecordingShaderCore
{
public:
    void SetDiffuseTexture(std::uint32_t, ID3D11ShaderResourceView*, float, std::uint32_t) override
    {
        ++m_uiDiffuseTextures;
    }
    std::uint32_t m_uiDiffuseTextures = 0;
};

class KR_DebugHUDTest : public debugdrawingtest::DebugDrawingTest
{
protected:
    void SetUp() override
    {
        DebugDrawingTest::SetUp();
        m_engine->SetGraphicsResourceManager(nullptr);
        delete m_pResources;
        m_pIcons = new IconResourceManager();
        m_pResources = m_pIcons;
        m_engine->SetGraphicsResourceManager(m_pResources);
        // The standard states belonged to the replaced manager's cache: make them anew.
        m_materials.CreateMaterialShaders();
        m_engine->SetShaderCoreManager(&m_textures);
        ASSERT_TRUE(m_textures.CreateResources());
        m_hud.Initialize();
    }
    void TearDown() override
    {
        m_hud.ReleaseBuffers();
        m_engine->SetShaderCoreManager(&m_core);
        DebugDrawingTest::TearDown();
    }
    std::vector<debugdrawingtest::ShaderCoreDraw>& Draws() { return m_textures.m_vDraws; }

    IconResourceManager* m_pIcons = nullptr; // m_pResources
    TextureRecordingShaderCore m_textures;
    KR_DebugHUD m_hud;
};

} // namespace

TEST_F(KR_DebugHUDTest, FixedBuffersHoldTheIconQuadAndTheGuides)
{
    std::vector<std::uint8_t> vBytes;
    ASSERT_TRUE(D3D11Control::ReadSubresource(m_hud.GetCameraModeVB(), 0, &vBytes));
    EXPECT_EQ(vBytes.size(), 120u);
    ASSERT_TRUE(D3D11Control::ReadSubresource(m_hud.GetLineVB(), 0, &vBytes));
    EXPECT_EQ(vBytes.size(), 144u);
    EXPECT_EQ(m_pIcons->m_mapViews.size(), 4u);
    EXPECT_EQ(m_pIcons->m_mapViews.count("Assets/Textures/HUD/KR_DebugHUD_Roam.png"), 1u);

    D3D11Control::ClearCallLog();
    EXPECT_TRUE(m_hud.RenderModeLines(1));
    EXPECT_TRUE(m_hud.RenderModeLines(2));
    EXPECT_FALSE(m_hud.RenderModeLines(3));
    const std::vector<D3D11Control::CallRecord> vDraws = D3D11Control::GetDrawCalls();
    ASSERT_EQ(vDraws.size(), 2u);
    EXPECT_EQ(vDraws[0].Values, (std::vector<double>{4, 0}));
    EXPECT_EQ(vDraws[1].Values, (std::vector<double>{8, 4}));
    EXPECT_EQ(vDraws[1].Pipeline->Topology, D3D11_PRIMITIVE_TOPOLOGY_LINELIST);
    EXPECT_EQ(vDraws[1].Pipeline->VertexBuffers[0].Buffer, D3D11Control::GetObjectId(m_hud.GetLineVB()));
    ASSERT_EQ(Draws().size(), 2u);
    EXPECT_EQ(Draws()[0].color.y, 1.0f); // yellow
    EXPECT_EQ(Draws()[0].color.z, 0.0f);
}

TEST_F(KR_DebugHUDTest, BarsCursorAndIconForAKnownState)
{
    D3D11Control::ClearCallLog();
    ASSERT_TRUE(m_hud.Render(10.0, 10.0, 20.0, 90.0f, 1));
    std::vector<std::uint8_t> vBytes;
    ASSERT_TRUE(D3D11Control::ReadSubresource(m_hud.GetQuadVB(), 0, &vBytes));
    EXPECT_EQ(vBytes.size(), 216u);
    const XMFLOAT3* pQuads = m_hud.GetQuadVertices();
    EXPECT_NEAR(pQuads[1].x, 0.99f, 1e-5f);   // 90 fps counts as 60: full width
    EXPECT_NEAR(pQuads[12].x, -0.99f, 1e-6f); // cursor at the start, clamped
    std::vector<D3D11Control::CallRecord> vDraws = D3D11Control::GetDrawCalls();
    ASSERT_EQ(vDraws.size(), 4u);
    EXPECT_EQ(vDraws[0].Values, (std::vector<double>{6, 0}));
    EXPECT_EQ(vDraws[1].Values, (std::vector<double>{6, 6}));
    EXPECT_EQ(vDraws[2].Values, (std::vector<double>{6, 12}));
    EXPECT_EQ(vDraws[3].Values, (std::vector<double>{6, 0}));
    EXPECT_EQ(vDraws[3].Pipeline->VertexBuffers[0].Stride, 20u);
    EXPECT_EQ(vDraws[3].Pipeline->VertexBuffers[0].Buffer,
              D3D11Control::GetObjectId(m_hud.GetCameraModeVB()));
    ASSERT_EQ(Draws().size(), 4u);
    EXPECT_NEAR(Draws()[0].color.x, 0.0f, 1e-6f);
    EXPECT_NEAR(Draws()[0].color.y, 1.0f, 1e-6f);
    EXPECT_EQ(m_textures.m_uiDiffuseTextures, 1u);
    // The icon blends over the frame; the bars draw with another program.
    EXPECT_NE(vDraws[3].Pipeline->PixelShader, 0u);
    EXPECT_NE(vDraws[3].Pipeline->PixelShader, vDraws[0].Pipeline->PixelShader);
    EXPECT_EQ(vDraws[3].Pipeline->BlendState, D3D11Control::GetObjectId(m_materials.GetBlendState(1)));

    // 15 fps: a red bar a quarter wide; the cursor at the end clamps right; mode 4 has no icon.
    D3D11Control::ClearCallLog();
    Draws().clear();
    ASSERT_TRUE(m_hud.Render(20.0, 10.0, 20.0, 15.0f, 4));
    EXPECT_NEAR(pQuads[1].x, -0.495f, 1e-5f);
    EXPECT_NEAR(pQuads[13].x, 0.99f, 1e-6f);
    vDraws = D3D11Control::GetDrawCalls();
    EXPECT_EQ(vDraws.size(), 3u);
    ASSERT_EQ(Draws().size(), 3u);
    EXPECT_EQ(Draws()[0].color.x, 1.0f);
    EXPECT_EQ(Draws()[0].color.y, 0.0f);
    // A scene without length draws nothing.
    EXPECT_FALSE(m_hud.Render(5.0, 5.0, 5.0, 60.0f, 0));

    // Released in one place: a second release finds nothing to release.
    m_hud.ReleaseBuffers();
    m_hud.ReleaseBuffers();
    EXPECT_EQ(m_hud.GetQuadVB(), nullptr);
    EXPECT_FALSE(m_hud.RenderModeLines(1));
}
