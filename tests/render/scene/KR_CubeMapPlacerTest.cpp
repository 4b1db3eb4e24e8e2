#include "render/scene/KR_CubeMapPlacer.h"

#include "framework/app/KE_Dispatcher.h"
#include "render/debug/KR_DebugPolyhedron.h"
#include "render/debug/KR_Ray.h"
#include "render/debug/KR_TranslateGizmo.h"
#include "render/debug/KR_VertexInterpolationVisualisation.h"
#include "render/device/KR_GraphicsResourceManager.h"
#include "render/device/KR_ManagedShaderResourceView.h"
#include "tests/render/camera/CameraTestHelpers.h"
#include "tests/support/MemoryFiles.h"
#include "tests/support/NullResourceManager.h"
#include "tests/support/TestEngine.h"
#include "timing/KB_LinearInterpolation.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <set>
#include <string>
#include <vector>

using namespace DirectX;
using cameratest::ExpectVectorNear;

namespace
{

const char* const FOLDER = "Assets/Entities/S/CubeMapPlacers/";

class QualityDevice : public cameratest::FakeDevice
{
public:
    QualityDevice() : FakeDevice(1.0f) {}
    std::uint32_t GetRenderingQuality() override { return m_uiQuality; }
    std::uint32_t m_uiQuality = 0;
};

// The resource manager's texture pool, and the one view every texture file gets, with what was
// asked of them. Views are told apart by address only; nothing reads through them.
class FakeTexturePool : public NullResourceManager, public KR_ManagedShaderResourceView
{
public:
    std::uint32_t AcquireTexture(const KR_TextureResourceDescription* pDescription) override
    {
        m_Acquired.push_back(*pDescription);
        m_Live.insert(m_uiNext);
        return m_uiNext++;
    }
    void ReleaseTexture(std::uint32_t* pHandle) override
    {
        EXPECT_EQ(m_Live.erase(*pHandle), 1u) << "released twice or never acquired: " << *pHandle;
        *pHandle = INVALID_HANDLE;
    }
    ID3D11ShaderResourceView* GetShaderResourceView(std::uint32_t uiHandle) override
    {
        return ViewOf(uiHandle);
    }
    KR_ManagedShaderResourceView* GetShaderResourceViewFromFile(const KB_String& sPath) override
    {
        m_sLastFile = sPath.GetBuffer();
        return this;
    }
    ID3D11ShaderResourceView* GetShaderResourceView() override { return ViewOf(FILE_VIEW); }
    void SetShaderResourceView(ID3D11ShaderResourceView*) override {}
    ID3D11ShaderResourceView* ViewOf(std::uint32_t uiTag)
    {
        return reinterpret_cast<ID3D11ShaderResourceView*>(m_Tags + uiTag);
    }

    static constexpr std::uint32_t FILE_VIEW = 200;
    std::vector<KR_TextureResourceDescription> m_Acquired;
    std::set<std::uint32_t> m_Live;
    std::string m_sLastFile;
    std::uint32_t m_uiNext = 0;
    char m_Tags[256] = {};
};

// The editor's end of channel 7: the payloads of the selection messages.
class Editor : public KE_MessageReceiver
{
public:
    bool Receive(KE_MessageType, KE_MessageSubType subType, void* pPayload) override
    {
        EXPECT_EQ(subType, KE_MST_CubeMapSelected);
        m_Payloads.push_back(pPayload);
        return true;
    }
    std::vector<void*> m_Payloads;
};

KR_Ray Ray(float x, float y, float z, float dx, float dy, float dz)
{
    return KR_Ray{XMVectorSet(x, y, z, 1.0f), XMVectorSet(dx, dy, dz, 0.0f)};
}

// A rail from (x0, 0, 0) at time 0 to (x1, 0, 0) at time 1.
KB_LinearInterpolation* Rail(float x0, float x1)
{
    KB_LinearInterpolation* pRail = new KB_LinearInterpolation();
    pRail->InsertVertex(XMVectorSet(x0, 0, 0, 0), 0.0);
    pRail->InsertVertex(XMVectorSet(x1, 0, 0, 0), 1.0);
    pRail->SetEndTime(1.0);
    return pRail;
}

class KR_CubeMapPlacerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_Files.Install();
        m_Engine->SetDispatcher(&m_Dispatcher);
        m_Engine->SetGraphicsDevice(&m_Device);
        m_Engine->SetGraphicsResourceManager(&m_Pool);
        m_Engine->SetDeveloperBuild(true);
        m_Dispatcher.RegisterReceiver(KE_MT_CubeMapSelection, &m_Editor);
    }
    void TearDown() override { m_Dispatcher.UnRegisterReceiver(KE_MT_CubeMapSelection, &m_Editor); }

    bool Load(KR_CubeMapPlacer& placer, const char* pName, const std::string& sText)
    {
        m_pRepository->SetFile(std::string(FOLDER) + pName, sText);
        return placer.LoadFromFile(KB_String((std::string(FOLDER) + pName).c_str()));
    }

    TestEngine m_Engine;
    MemoryFiles m_Files;
    KE_Dispatcher m_Dispatcher;
    QualityDevice m_Device;
    FakeTexturePool m_Pool;
    Editor m_Editor;
    MemoryRepository* m_pRepository = m_Files.GetRepository();
};

} // namespace

TEST_F(KR_CubeMapPlacerTest, PlacerFileIsWrittenInTheFixedLayoutAndReadBack)
{
    KR_CubeMapPlacer placer;
    placer.SetDebugName(KB_String("Hall\ncp evil")); // a line end never starts a key line
    placer.SetStartTime(1.5);
    placer.SetEndTime(20.0);
    placer.SetRenderSynchronizationTime(3.25);
    placer.SetPosition(XMVectorSet(1.0f, 2.5f, -3.1234567f, 1.0f));
    placer.SetCubeMapResolution(256, 128);
    placer.SetCubeMapInfluenceRange(-1.0f);
    placer.SetDynamic(true);
    placer.SetCubeMapPath(KB_String("Assets/Textures/Cube Maps/Hall.dds"));
    placer.SetPositionRail(KB_String("Interpolations/S_PP.int"), Rail(0, 10));
    const std::string sPath = std::string(FOLDER) + "S_CubeMapPlacer00.cmp";
    ASSERT_TRUE(placer.SaveCubeMapPlacerToFile(KB_String(sPath.c_str())));

    // The comment block that heads every entity file comes first (checked where it is made).
    const std::string sText = m_pRepository->GetFileContents(sPath);
    EXPECT_EQ(sText.substr(sText.find("# \n# Simple")),
              "# \n"
              "# Simple Cube Map Placer file\n"
              "# \n"
              "# == comment line\n"
              "# d == debug name of the cube map placer (string)\n"
              "# s == start time stamp of the cube map placer (double)\n"
              "# e == end time stamp of the cube map placer (double)\n"
              "# rt == time stamp of when the cube map is supposed to be rendered (double)\n"
              "# pv == position of the cube map placer (3x float)\n"
              "# rv == resolution of the cube map (2x unsigned int)\n"
              "# i == influence range of this cubemap (1x float)\n"
              "# dy == dynamic cube map that gets rendered every frame (bool)\n"
              "# cp == path to the cube map (string)\n"
              "# pp == path to the cube map position VertexInterpolation (string)\n"
              "# \n"
              "d Hall\n"
              "s 1.5\n"
              "e 20\n"
              "rt 3.25\n"
              "pv 1 2.5 -3.12346\n" // the stored position, although there is a rail
              "rv 256 128\n"
              "i -1\n"
              "dy true\n"
              "cp Assets/Textures/Cube Maps/Hall.dds\n"
              "pp Interpolations/S_PP.int\n");
    EXPECT_TRUE(m_pRepository->HasFile(std::string(FOLDER) + "Interpolations/S_PP.int"));

    KR_CubeMapPlacer read;
    ASSERT_TRUE(read.LoadFromFile(KB_String(sPath.c_str())));
    EXPECT_EQ(read.CreateCubeMapPlacerText(), placer.CreateCubeMapPlacerText());
    EXPECT_EQ(XMVectorGetW(read.GetStoredPosition()), 1.0f);
    EXPECT_EQ(read.GetCubeMapPlacerPath(), KB_String(sPath.c_str()));
    ASSERT_NE(read.GetPositionRail(), nullptr);
    ExpectVectorNear(read.GetPosition(0.5), 5.0f, 0.0f, 0.0f); // on the rail, halfway
    EXPECT_TRUE(read.GetRailVisualisation() != nullptr && read.GetPositionHandle() == nullptr);
}

TEST_F(KR_CubeMapPlacerTest, HandWrittenFilesWithCRLFUnknownKeysAndLooseTokens)
{
    KR_CubeMapPlacer placer;
    ASSERT_TRUE(Load(placer, "Hand.cmp",
                     "# comment\r\nd  Two blanks\r\npvx 9 9 9\r\n#cp glued.dds\r\n"
                     "cp Assets/Textures/My Cube.dds\r\npp\r\ndy TRUE\r\nrt 7\r\ni 12.5 extra words\r\n"));
    EXPECT_EQ(placer.GetDebugName(), KB_String(" Two blanks")); // the second blank is kept
    EXPECT_EQ(placer.GetCubeMapPath(), KB_String("Assets/Textures/My Cube.dds"));
    EXPECT_EQ(placer.GetPositionRailPath(), KB_String(""));
    EXPECT_TRUE(placer.GetPositionRail() == nullptr && placer.GetPositionHandle() != nullptr);
    EXPECT_TRUE(placer.IsDynamic());
    EXPECT_EQ(placer.GetRenderSynchronizationTime(), 7.0);
    EXPECT_EQ(placer.GetCubeMapInfluenceRange(), 12.5f);
    ExpectVectorNear(placer.GetStoredPosition(), 0, 0, 0);

    // Only "true" in any case is true; a load resets what the file leaves out but keeps the name.
    ASSERT_TRUE(Load(placer, "One.cmp", "dy 1\ns 4\n"));
    EXPECT_FALSE(placer.IsDynamic());
    EXPECT_EQ(placer.GetDebugName(), KB_String(" Two blanks"));
    EXPECT_TRUE(placer.GetCubeMapPath().GetLength() == 0 && placer.GetRenderSynchronizationTime() == 0.0);
    EXPECT_EQ(placer.GetCubeMapInfluenceRange(), 5.0f);

    // A missing file answers false after the reset; a malformed number ends the reading.
    EXPECT_FALSE(placer.LoadFromFile(KB_String("Missing.cmp")));
    EXPECT_EQ(placer.GetStartTime(), 0.0);
    ASSERT_TRUE(Load(placer, "Bad.cmp", "s 2\ne x\ni 9\n"));
    EXPECT_TRUE(placer.GetStartTime() == 2.0 && placer.GetCubeMapInfluenceRange() == 5.0f);
}

TEST_F(KR_CubeMapPlacerTest, HostileResolutionsAreBoundedWhereTexturesAreMade)
{
    m_Device.m_uiQuality = 4; // one frame per update: front texture only
    KR_CubeMapPlacer placer;
    ASSERT_TRUE(Load(placer, "Zero.cmp", "dy true\nrv 0 0\n"));
    EXPECT_EQ(placer.GetCubeMapResolution().uiWidth, 0u); // kept as read
    ASSERT_EQ(m_Pool.m_Acquired.size(), 1u);
    EXPECT_EQ(m_Pool.m_Acquired[0],
              KR_TextureResourceDescription(
                  1, 1, 0, 6, 1, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_USAGE_DEFAULT,
                  D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE,
                  D3D11_RESOURCE_MISC_TEXTURECUBE | D3D11_RESOURCE_MISC_GENERATE_MIPS, 0));

    ASSERT_TRUE(Load(placer, "Huge.cmp", "dy true\nrv 4294967295 4294967295\n"));
    EXPECT_EQ(placer.GetCubeMapResolution().uiWidth, 4294967295u);
    const KR_TextureResourceDescription& huge = m_Pool.m_Acquired.back();
    EXPECT_TRUE(huge.m_uiWidth == 16384 && huge.m_uiHeight == 16384 && huge.m_uiMipLevels == 14);

    // Beyond the u32 range or negative: the reading ends there and the default stays.
    for (const char* pText : {"dy true\nrv 4294967296 8\n", "dy true\nrv -1 8\n"})
    {
        ASSERT_TRUE(Load(placer, "Over.cmp", pText));
        EXPECT_EQ(placer.GetCubeMapResolution().uiWidth, 512u);
        EXPECT_EQ(m_Pool.m_Acquired.back().m_uiMipLevels, 9u); // floor(log2(512))
    }
    EXPECT_EQ(m_Pool.m_Live.size(), 1u); // every reload gave the older texture back
}

TEST_F(KR_CubeMapPlacerTest, ReloadSwapsTheDynamicTexturesAndTheViewFollowsTheFlags)
{
    const std::int32_t expectedFrames[] = {6, 3, 2, 1, 1, 1};
    for (std::uint32_t uiQuality = 0; uiQuality < 6; ++uiQuality)
    {
        m_Device.m_uiQuality = uiQuality;
        EXPECT_EQ(KR_CubeMapPlacer().GetFramesPerUpdate(), expectedFrames[uiQuality]) << uiQuality;
    }

    m_Device.m_uiQuality = 1; // three frames per update: front and back texture
    KR_CubeMapPlacer placer;
    placer.SetCubeMapPath(KB_String("Assets/Textures/Hall.dds"));
    placer.ReloadCubeMapPlacer();
    EXPECT_TRUE(m_Pool.m_Acquired.empty()); // a static placer shows its file
    EXPECT_EQ(placer.GetCubeMapView(), m_Pool.ViewOf(FakeTexturePool::FILE_VIEW));
    EXPECT_EQ(m_Pool.m_sLastFile, "Assets/Textures/Hall.dds");

    placer.SetDynamic(true);
    placer.ReloadCubeMapPlacer();
    const std::uint32_t uiFront = placer.GetFrontTexture();
    EXPECT_EQ(m_Pool.m_Live, (std::set<std::uint32_t>{uiFront, placer.GetBackTexture()}));
    ASSERT_EQ(m_Pool.m_Acquired.size(), 2u);
    EXPECT_EQ(m_Pool.m_Acquired[0], m_Pool.m_Acquired[1]);
    EXPECT_EQ(placer.GetCubeMapView(), m_Pool.ViewOf(uiFront));

    placer.SetCubeMapResolution(64, 64);
    placer.ReloadCubeMapPlacer();
    EXPECT_EQ(m_Pool.m_Live, (std::set<std::uint32_t>{placer.GetFrontTexture(), placer.GetBackTexture()}));
    EXPECT_EQ(m_Pool.m_Live.count(uiFront), 0u);
    EXPECT_EQ(m_Pool.m_Acquired.back().m_uiWidth, 64u);

    placer.ToggleUseDebugTexture();
    EXPECT_EQ(placer.GetCubeMapView(), m_Pool.ViewOf(FakeTexturePool::FILE_VIEW));
    EXPECT_EQ(m_Pool.m_sLastFile, KR_CubeMapPlacer::DEBUG_CUBE_MAP_PATH);
    placer.RenderOnceAtStartTime(nullptr); // nothing to render without a scene; the countdown is kept
    EXPECT_TRUE(placer.GetFramesPerUpdate() == 3 && placer.GetFramesLeft() == 3);

    placer.SetDynamic(false);
    placer.ReloadCubeMapPlacer();
    EXPECT_TRUE(m_Pool.m_Live.empty());
}

TEST_F(KR_CubeMapPlacerTest, MarkerFollowsTheViewerDistanceAndSelectionIsAnnounced)
{
    KR_CubeMapPlacer placer;
    KR_CubeMapPlacer other;
    placer.SetEndTime(10.0);
    placer.ReloadCubeMapPlacer();
    placer.RenderDebug(1.0, nullptr, XMVectorSet(0, 0, -10, 1));
    XMFLOAT4X4 world;
    XMStoreFloat4x4(&world, placer.GetMarker()->GetWorldMatrix());
    EXPECT_FLOAT_EQ(world.m[0][0], 0.1f); // distance 10 x 0.01
    EXPECT_FLOAT_EQ(world.m[2][2], 0.1f);

    const KR_Ray hit = Ray(0, 0, -10, 0, 0, 1);
    EXPECT_NEAR(placer.GetPickDistance(1.0, hit), 9.9f, 1e-5f);
    EXPECT_EQ(placer.GetPickDistance(10.0, hit), FLT_MAX); // inactive
    placer.Select(1.0, hit);
    EXPECT_TRUE(placer.IsSelected());
    EXPECT_EQ(placer.GetMarker()->GetColor().y, 1.0f); // the selection colour
    EXPECT_EQ(m_Editor.m_Payloads, std::vector<void*>{&placer});
    placer.SetHighlighted(true);
    EXPECT_NEAR(placer.GetMarker()->GetColor().z, 222.0f / 255.0f, 1e-6f);
    placer.MoveSelectedKeyTo(XMVectorSet(1, 2, 3, 1)); // only while selected
    ExpectVectorNear(placer.GetStoredPosition(), 1, 2, 3);

    // Another object's click deselects; a second click on a selected placer deselects it silently.
    other.DeselectAll();
    EXPECT_FALSE(placer.IsSelected());
    EXPECT_NEAR(placer.GetMarker()->GetColor().x, 0.639f, 1e-6f);
    placer.SetPosition(XMVectorZero());
    placer.Select(1.0, hit);
    placer.Select(1.0, hit);
    EXPECT_FALSE(placer.IsSelected());
    EXPECT_EQ(m_Editor.m_Payloads.size(), 2u);
    placer.MoveSelectedKeyTo(XMVectorSet(1, 2, 3, 1));
    ExpectVectorNear(placer.GetStoredPosition(), 0, 0, 0);
}

TEST_F(KR_CubeMapPlacerTest, GizmoDragsTheSelectedPositionAndRailHitsPickKeysOnly)
{
    KR_CubeMapPlacer placer;
    placer.SetEndTime(10.0);
    placer.ReloadCubeMapPlacer();
    const XMVECTOR vViewer = XMVectorSet(0, 0, -100, 1); // marker and gizmo at scale 1
    placer.RenderDebug(1.0, nullptr, vViewer);
    placer.Select(1.0, Ray(0, 0, -100, 0, 0, 1));
    placer.RenderDebug(1.0, nullptr, vViewer);                // the gizmo takes the marker's matrix
    placer.DragSelection(1.0, Ray(4, 0, -10, 0, 0, 1), true); // grabs the x arrow
    placer.DragSelection(1.0, Ray(6, 2, -10, 0, 0, 1), true);
    ExpectVectorNear(placer.GetStoredPosition(), 2, 0, 0);
    placer.DragSelection(1.0, Ray(6, 2, -10, 0, 0, 1), false);
    EXPECT_FALSE(placer.GetPositionHandle()->IsDragStarted());

    // On a rail from (-5, 0, 0) to (5, 0, 0) the placer sits at the origin halfway; the new rail
    // gets its own visualisation.
    placer.SetPositionRail(KB_String("Rail.int"), Rail(-5, 5));
    ASSERT_TRUE(placer.GetRailVisualisation() != nullptr && placer.GetPositionHandle() == nullptr);
    placer.RenderDebug(0.5, nullptr, XMVectorSet(0, 0, -10, 1));
    placer.DeselectAll();
    // Along x the first key's box comes before the marker: only the key is picked.
    placer.Select(0.5, Ray(-20, 0, 0, 1, 0, 0));
    EXPECT_EQ(placer.GetRailVisualisation()->GetSelectedIndex(), 0u);
    EXPECT_FALSE(placer.IsSelected());
    EXPECT_EQ(m_Editor.m_Payloads.size(), 1u);
    // The marker alone selects the placer, which also clears the key.
    placer.Select(0.5, Ray(0, 0, -10, 0, 0, 1));
    EXPECT_TRUE(placer.IsSelected());
    EXPECT_EQ(placer.GetRailVisualisation()->GetSelectedIndex(),
              KR_VertexInterpolationVisualisation::NO_SELECTION);

    placer.SetPositionRail(KB_String(""), nullptr);
    EXPECT_TRUE(placer.GetRailVisualisation() == nullptr && placer.GetPositionHandle() != nullptr);
    ExpectVectorNear(placer.GetPosition(0.5), 2, 0, 0);
}
