#include "render/scene/KR_CubeMapPlacer.h"

#include "framework/app/KE_Dispatcher.h"
#include "framework/files/KF_FileManager.h"
#include "render/debug/KR_DebugPolyhedron.h"
#include "render/debug/KR_Ray.h"
#include "render/debug/KR_TranslateGizmo.h"
#include "render/debug/KR_VertexInterpolationVisualisation.h"
#include "render/device/KR_GraphicsResourceManager.h"
#include "render/device/KR_ManagedShaderResourceView.h"
#include "tests/render/camera/CameraTestHelpers.h"
#include "tests/support/MemoryRepository.h"
#include "tests/support/TestEngine.h"
#include "timing/KB_LinearInterpolation.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <map>
#include <memory>
#include <set>
#include <sstream>
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

class FakeManagedView : public KR_ManagedShaderResourceView
{
public:
    ID3D11ShaderResourceView* GetShaderResourceView() override { return m_pView; }
    void SetShaderResourceView(ID3D11ShaderResourceView* pView) override { m_pView = pView; }
    ID3D11ShaderResourceView* m_pView = nullptr;
};

// The texture pool and file views of the resource manager, with what was asked of them. Views are
// told apart by address only; nothing reads through them.
class FakeTexturePool : public KR_GraphicsResourceManager
{
public:
    void DestroyUnusedTextures() override {}
    void DestroyUnusedBuffers() override {}
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
        std::unique_ptr<FakeManagedView>& pView = m_FileViews[sPath.GetBuffer()];
        if (!pView)
        {
            pView = std::make_unique<FakeManagedView>();
            pView->m_pView = ViewOf(100 + static_cast<std::uint32_t>(m_FileViews.size()));
        }
        return pView.get();
    }
    ID3D11ShaderResourceView* ViewOf(std::uint32_t uiTag)
    {
        return reinterpret_cast<ID3D11ShaderResourceView*>(m_Tags + uiTag);
    }

    std::vector<KR_TextureResourceDescription> m_Acquired;
    std::set<std::uint32_t> m_Live;
    std::map<std::string, std::unique_ptr<FakeManagedView>> m_FileViews;
    std::uint32_t m_uiNext = 0;
    char m_Tags[256] = {};
};

class Listener : public KE_MessageReceiver
{
public:
    bool Receive(KE_MessageType type, KE_MessageSubType subType, void* pPayload) override
    {
        m_Messages.push_back({type, subType, pPayload});
        return true;
    }
    struct Message
    {
        KE_MessageType type;
        KE_MessageSubType subType;
        void* pPayload;
    };
    std::vector<Message> m_Messages;
};

std::vector<std::string> Lines(const std::string& sText)
{
    std::vector<std::string> lines;
    std::istringstream stream(sText);
    std::string sLine;
    while (std::getline(stream, sLine))
        lines.push_back(sLine);
    return lines;
}

KR_Ray Ray(float x, float y, float z, float dx, float dy, float dz)
{
    return KR_Ray{XMVectorSet(x, y, z, 1.0f), XMVectorSet(dx, dy, dz, 0.0f)};
}

// A rail from (x0, 0, z0) at the start to (x1, 0, z1) one second later.
KB_LinearInterpolation* Rail(float x0, float z0, float x1, float z1, double fStart = 0.0)
{
    KB_LinearInterpolation* pRail = new KB_LinearInterpolation();
    pRail->InsertVertex(XMVectorSet(x0, 0, z0, 0), 0.0);
    pRail->InsertVertex(XMVectorSet(x1, 0, z1, 0), 1.0);
    pRail->SetEndTime(fStart + 1.0);
    pRail->SetStartTime(fStart);
    return pRail;
}

class KR_CubeMapPlacerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pRepository = new MemoryRepository();
        m_Files.AddRepository(m_pRepository);
        m_Engine->SetFileManager(&m_Files);
        m_Engine->SetDispatcher(&m_Dispatcher);
        m_Engine->SetGraphicsDevice(&m_Device);
        m_Engine->SetGraphicsResourceManager(&m_Pool);
        m_Engine->SetDeveloperBuild(true);
        m_Dispatcher.RegisterReceiver(KE_MT_CubeMapSelection, &m_Editor);
    }
    void TearDown() override
    {
        m_Dispatcher.UnRegisterReceiver(KE_MT_CubeMapSelection, &m_Editor);
        m_Engine->SetGraphicsResourceManager(nullptr);
        m_Engine->SetGraphicsDevice(nullptr);
        m_Engine->SetFileManager(nullptr);
    }

    static std::string Path(const char* pName) { return std::string(FOLDER) + pName; }
    void Write(const char* pName, const std::string& sText) { m_pRepository->SetFile(Path(pName), sText); }
    bool Load(KR_CubeMapPlacer& placer, const char* pName)
    {
        return placer.LoadFromFile(KB_String(Path(pName).c_str()));
    }

    TestEngine m_Engine;
    KF_FileManager m_Files;
    KE_Dispatcher m_Dispatcher;
    QualityDevice m_Device;
    FakeTexturePool m_Pool;
    Listener m_Editor;
    MemoryRepository* m_pRepository = nullptr; // owned by m_Files
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
    placer.SetPositionRail(KB_String("Interpolations/S_CubeMapPlacer00_PP.int"), Rail(0, 0, 10, 0));
    ASSERT_TRUE(placer.SaveCubeMapPlacerToFile(KB_String(Path("S_CubeMapPlacer00.cmp").c_str())));

    const std::vector<std::string> lines =
        Lines(m_pRepository->GetFileContents(Path("S_CubeMapPlacer00.cmp")));
    const std::vector<std::string> expected = {
        "# ",
        "# Simple Cube Map Placer file",
        "# ",
        "# == comment line",
        "# d == debug name of the cube map placer (string)",
        "# s == start time stamp of the cube map placer (double)",
        "# e == end time stamp of the cube map placer (double)",
        "# rt == time stamp of when the cube map is supposed to be rendered (double)",
        "# pv == position of the cube map placer (3x float)",
        "# rv == resolution of the cube map (2x unsigned int)",
        "# i == influence range of this cubemap (1x float)",
        "# dy == dynamic cube map that gets rendered every frame (bool)",
        "# cp == path to the cube map (string)",
        "# pp == path to the cube map position VertexInterpolation (string)",
        "# ",
        "d Hall",
        "s 1.5",
        "e 20",
        "rt 3.25",
        "pv 1 2.5 -3.12346", // the stored position, although there is a rail
        "rv 256 128",
        "i -1",
        "dy true",
        "cp Assets/Textures/Cube Maps/Hall.dds",
        "pp Interpolations/S_CubeMapPlacer00_PP.int",
    };
    ASSERT_EQ(lines.size(), 11 + expected.size());
    for (std::size_t i = 0; i < 11; ++i)
        EXPECT_EQ(lines[i].rfind("# ", 0), 0u) << "comment block line " << i;
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(lines[11 + i], expected[i]);
    EXPECT_TRUE(m_pRepository->HasFile(Path("Interpolations/S_CubeMapPlacer00_PP.int")));

    KR_CubeMapPlacer read;
    ASSERT_TRUE(Load(read, "S_CubeMapPlacer00.cmp"));
    EXPECT_EQ(read.GetDebugName(), KB_String("Hall"));
    EXPECT_TRUE(read.GetStartTime() == 1.5 && read.GetEndTime() == 20.0);
    EXPECT_EQ(read.GetRenderSynchronizationTime(), 3.25);
    ExpectVectorNear(read.GetStoredPosition(), 1.0f, 2.5f, -3.12346f);
    EXPECT_EQ(XMVectorGetW(read.GetStoredPosition()), 1.0f);
    EXPECT_TRUE(read.GetCubeMapResolution().uiWidth == 256 && read.GetCubeMapResolution().uiHeight == 128);
    EXPECT_EQ(read.GetCubeMapInfluenceRange(), -1.0f);
    EXPECT_TRUE(read.IsDynamic());
    EXPECT_EQ(read.GetCubeMapPath(), KB_String("Assets/Textures/Cube Maps/Hall.dds"));
    EXPECT_EQ(read.GetCubeMapPlacerPath(), KB_String(Path("S_CubeMapPlacer00.cmp").c_str()));
    ASSERT_NE(read.GetPositionRail(), nullptr);
    ExpectVectorNear(read.GetPosition(0.5), 5.0f, 0.0f, 0.0f); // the rail, halfway
    EXPECT_NE(read.GetRailVisualisation(), nullptr);
    EXPECT_EQ(read.GetPositionHandle(), nullptr);

    // Without rail, name or paths: no d, cp or pp line, and "dy false".
    KR_CubeMapPlacer plain;
    ASSERT_TRUE(plain.SaveCubeMapPlacerToFile(KB_String("Plain.cmp")));
    const std::vector<std::string> plainLines = Lines(m_pRepository->GetFileContents("Plain.cmp"));
    const std::vector<std::string> plainKeys(plainLines.end() - 7, plainLines.end());
    EXPECT_EQ(plainKeys,
              (std::vector<std::string>{"s 0", "e 0", "rt 0", "pv 0 0 0", "rv 512 512", "i 5", "dy false"}));
}

TEST_F(KR_CubeMapPlacerTest, HandWrittenFilesWithCRLFUnknownKeysAndLooseTokens)
{
    Write("Hand.cmp", "# comment\r\n"
                      "d  Two blanks\r\n"
                      "pvx 9 9 9\r\n"
                      "#cp glued.dds\r\n"
                      "cp Assets/Textures/My Cube.dds\r\n"
                      "pp\r\n"
                      "dy TRUE\r\n"
                      "rt 7\r\n"
                      "i 12.5 extra words\r\n");
    KR_CubeMapPlacer placer;
    ASSERT_TRUE(Load(placer, "Hand.cmp"));
    EXPECT_EQ(placer.GetDebugName(), KB_String(" Two blanks")); // the second blank is kept
    EXPECT_EQ(placer.GetCubeMapPath(), KB_String("Assets/Textures/My Cube.dds"));
    EXPECT_EQ(placer.GetPositionRailPath(), KB_String(""));
    EXPECT_EQ(placer.GetPositionRail(), nullptr);
    EXPECT_NE(placer.GetPositionHandle(), nullptr);
    EXPECT_TRUE(placer.IsDynamic());
    EXPECT_EQ(placer.GetRenderSynchronizationTime(), 7.0);
    EXPECT_EQ(placer.GetCubeMapInfluenceRange(), 12.5f);
    ExpectVectorNear(placer.GetStoredPosition(), 0, 0, 0);

    // Only "true" in any case is true; a load resets what the file leaves out but keeps the name.
    Write("One.cmp", "dy 1\npv 1 2 3\ns 4\n");
    ASSERT_TRUE(Load(placer, "One.cmp"));
    EXPECT_FALSE(placer.IsDynamic());
    EXPECT_EQ(placer.GetDebugName(), KB_String(" Two blanks"));
    EXPECT_EQ(placer.GetCubeMapPath(), KB_String(""));
    EXPECT_EQ(placer.GetCubeMapInfluenceRange(), 5.0f);
    EXPECT_EQ(placer.GetRenderSynchronizationTime(), 0.0);
    EXPECT_EQ(placer.GetStartTime(), 4.0);

    // A missing file answers false after the reset; a malformed number ends the reading.
    EXPECT_FALSE(Load(placer, "Missing.cmp"));
    EXPECT_EQ(placer.GetStartTime(), 0.0);
    ExpectVectorNear(placer.GetStoredPosition(), 0, 0, 0);
    Write("Bad.cmp", "s 2\ne x\ni 9\n");
    ASSERT_TRUE(Load(placer, "Bad.cmp"));
    EXPECT_EQ(placer.GetStartTime(), 2.0);
    EXPECT_EQ(placer.GetCubeMapInfluenceRange(), 5.0f);
}

TEST_F(KR_CubeMapPlacerTest, HostileResolutionsAreBoundedWhereTexturesAreMade)
{
    m_Device.m_uiQuality = 4; // one frame per update: front texture only
    Write("Zero.cmp", "dy true\nrv 0 0\n");
    KR_CubeMapPlacer placer;
    ASSERT_TRUE(Load(placer, "Zero.cmp"));
    EXPECT_EQ(placer.GetCubeMapResolution().uiWidth, 0u); // kept as read
    ASSERT_EQ(m_Pool.m_Acquired.size(), 1u);
    EXPECT_EQ(m_Pool.m_Acquired[0],
              KR_TextureResourceDescription(
                  1, 1, 0, 6, 1, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_USAGE_DEFAULT,
                  D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE,
                  D3D11_RESOURCE_MISC_TEXTURECUBE | D3D11_RESOURCE_MISC_GENERATE_MIPS, 0));

    Write("Huge.cmp", "dy true\nrv 4294967295 4294967295\n");
    ASSERT_TRUE(Load(placer, "Huge.cmp"));
    EXPECT_EQ(placer.GetCubeMapResolution().uiWidth, 4294967295u);
    ASSERT_EQ(m_Pool.m_Acquired.size(), 2u);
    EXPECT_EQ(m_Pool.m_Acquired[1].m_uiWidth, 16384u);
    EXPECT_EQ(m_Pool.m_Acquired[1].m_uiHeight, 16384u);
    EXPECT_EQ(m_Pool.m_Acquired[1].m_uiMipLevels, 14u); // floor(log2(16384))

    // Out of the u32 range or negative: the reading ends there and the default stays.
    Write("Over.cmp", "dy true\nrv 4294967296 8\n");
    ASSERT_TRUE(Load(placer, "Over.cmp"));
    EXPECT_EQ(placer.GetCubeMapResolution().uiWidth, 512u);
    Write("Negative.cmp", "dy true\nrv -1 8\n");
    ASSERT_TRUE(Load(placer, "Negative.cmp"));
    EXPECT_EQ(placer.GetCubeMapResolution().uiWidth, 512u);
    EXPECT_EQ(m_Pool.m_Acquired.back().m_uiMipLevels, 9u);
    EXPECT_EQ(KR_CubeMapPlacer::GetDynamicMipLevels(2), 1u);
    EXPECT_EQ(KR_CubeMapPlacer::GetDynamicMipLevels(3), 1u);
    EXPECT_EQ(m_Pool.m_Live.size(), 1u); // every reload gave the older texture back
}

TEST_F(KR_CubeMapPlacerTest, ReloadSwapsTheDynamicTexturesAndTheViewFollowsTheFlags)
{
    const std::int32_t expectedFrames[] = {6, 3, 2, 1, 1, 1};
    for (std::uint32_t uiQuality = 0; uiQuality < 6; ++uiQuality)
    {
        m_Device.m_uiQuality = uiQuality;
        KR_CubeMapPlacer placer;
        EXPECT_EQ(placer.GetFramesPerUpdate(), expectedFrames[uiQuality]) << "quality " << uiQuality;
        EXPECT_EQ(placer.GetFramesLeft(), expectedFrames[uiQuality]);
    }

    m_Device.m_uiQuality = 1; // three frames per update: front and back texture
    KR_CubeMapPlacer placer;
    placer.SetCubeMapPath(KB_String("Assets/Textures/Hall.dds"));
    placer.ReloadCubeMapPlacer();
    EXPECT_TRUE(m_Pool.m_Acquired.empty()); // a static placer has its file
    EXPECT_EQ(placer.GetFrontTexture(), KR_CubeMapPlacer::NO_TEXTURE);
    ID3D11ShaderResourceView* pFileView = placer.GetCubeMapView();
    EXPECT_NE(pFileView, nullptr);
    EXPECT_EQ(m_Pool.m_FileViews.count("Assets/Textures/Hall.dds"), 1u);

    placer.SetDynamic(true);
    placer.ReloadCubeMapPlacer();
    const std::uint32_t uiFront = placer.GetFrontTexture();
    const std::uint32_t uiBack = placer.GetBackTexture();
    EXPECT_EQ(m_Pool.m_Live, (std::set<std::uint32_t>{uiFront, uiBack}));
    ASSERT_EQ(m_Pool.m_Acquired.size(), 2u);
    EXPECT_EQ(m_Pool.m_Acquired[0], m_Pool.m_Acquired[1]);
    EXPECT_EQ(m_Pool.m_Acquired[0].m_uiWidth, 512u);
    EXPECT_EQ(m_Pool.m_Acquired[0].m_uiMipLevels, 9u);
    EXPECT_EQ(placer.GetCubeMapView(), m_Pool.ViewOf(uiFront));

    placer.SetCubeMapResolution(64, 64);
    placer.ReloadCubeMapPlacer();
    EXPECT_EQ(m_Pool.m_Live, (std::set<std::uint32_t>{placer.GetFrontTexture(), placer.GetBackTexture()}));
    EXPECT_EQ(m_Pool.m_Live.count(uiFront), 0u);
    EXPECT_EQ(m_Pool.m_Acquired.back().m_uiWidth, 64u);

    placer.ToggleUseDebugTexture();
    placer.GetCubeMapView();
    EXPECT_EQ(m_Pool.m_FileViews.count(KR_CubeMapPlacer::DEBUG_CUBE_MAP_PATH), 1u);
    EXPECT_EQ(placer.GetCubeMapView(),
              m_Pool.m_FileViews[KR_CubeMapPlacer::DEBUG_CUBE_MAP_PATH]->GetShaderResourceView());

    placer.RenderOnceAtStartTime(nullptr); // nothing rendered yet, but the countdown is kept
    EXPECT_EQ(placer.GetFramesPerUpdate(), 3);
    EXPECT_EQ(placer.GetFramesLeft(), 3);

    placer.SetDynamic(false);
    placer.ReloadCubeMapPlacer();
    EXPECT_TRUE(m_Pool.m_Live.empty());
    EXPECT_EQ(placer.GetBackTexture(), KR_CubeMapPlacer::NO_TEXTURE);
}

TEST_F(KR_CubeMapPlacerTest, MarkerFollowsTheViewerDistanceAndSelectionIsAnnounced)
{
    KR_CubeMapPlacer placer;
    KR_CubeMapPlacer other;
    placer.SetEndTime(10.0);
    placer.SetPosition(XMVectorSet(0, 0, 0, 1));
    placer.ReloadCubeMapPlacer();
    const XMVECTOR vViewer = XMVectorSet(0, 0, -10, 1);
    placer.RenderDebug(1.0, nullptr, vViewer);
    XMFLOAT4X4 world;
    XMStoreFloat4x4(&world, placer.GetMarker()->GetWorldMatrix());
    EXPECT_FLOAT_EQ(world.m[0][0], 0.1f); // distance 10 x 0.01
    EXPECT_FLOAT_EQ(world.m[2][2], 0.1f);

    const KR_Ray hit = Ray(0, 0, -10, 0, 0, 1);
    EXPECT_NEAR(placer.GetPickDistance(1.0, hit), 9.9f, 1e-5f);
    EXPECT_EQ(placer.GetPickDistance(10.0, hit), FLT_MAX); // inactive
    EXPECT_EQ(placer.GetPickDistance(1.0, Ray(3, 0, -10, 0, 0, 1)), FLT_MAX);

    placer.Select(1.0, hit);
    EXPECT_TRUE(placer.IsSelected());
    const XMFLOAT4 green = placer.GetMarker()->GetColor();
    EXPECT_TRUE(green.x == 0.0f && green.y == 1.0f && green.z == 0.0f);
    ASSERT_EQ(m_Editor.m_Messages.size(), 1u);
    EXPECT_EQ(m_Editor.m_Messages[0].subType, KE_MST_CubeMapSelected);
    EXPECT_EQ(m_Editor.m_Messages[0].pPayload, &placer);

    placer.SetHighlighted(true);
    EXPECT_NEAR(placer.GetMarker()->GetColor().z, 222.0f / 255.0f, 1e-6f);
    placer.SetHighlighted(false);
    EXPECT_NEAR(placer.GetMarker()->GetColor().x, 0.639f, 1e-6f);

    // Moving to the camera works only while selected.
    placer.MoveSelectedKeyTo(XMVectorSet(1, 2, 3, 1));
    ExpectVectorNear(placer.GetStoredPosition(), 1, 2, 3);
    placer.SetPosition(XMVectorSet(0, 0, 0, 1));

    // Another object's click deselects; a second click on a selected placer deselects it silently.
    other.DeselectAll();
    EXPECT_FALSE(placer.IsSelected());
    placer.Select(1.0, hit);
    placer.Select(1.0, hit);
    EXPECT_FALSE(placer.IsSelected());
    EXPECT_NEAR(placer.GetMarker()->GetColor().x, 0.639f, 1e-6f);
    EXPECT_EQ(m_Editor.m_Messages.size(), 2u);
    placer.MoveSelectedKeyTo(XMVectorSet(1, 2, 3, 1));
    ExpectVectorNear(placer.GetStoredPosition(), 0, 0, 0);
    placer.Select(10.0, hit); // inactive: nothing
    EXPECT_FALSE(placer.IsSelected());
}

TEST_F(KR_CubeMapPlacerTest, GizmoDragsTheSelectedPositionAndRailHitsPickKeysOnly)
{
    KR_CubeMapPlacer placer;
    placer.SetEndTime(10.0);
    placer.ReloadCubeMapPlacer();
    const XMVECTOR vViewer = XMVectorSet(0, 0, -100, 1); // marker and gizmo at scale 1
    placer.RenderDebug(1.0, nullptr, vViewer);
    placer.DragSelection(1.0, Ray(4, 0, -10, 0, 0, 1), true); // not selected: the gizmo stays idle
    EXPECT_FALSE(placer.GetPositionHandle()->IsDragStarted());
    placer.Select(1.0, Ray(0, 0, -100, 0, 0, 1));
    ASSERT_TRUE(placer.IsSelected());
    placer.RenderDebug(1.0, nullptr, vViewer);                // the gizmo takes the marker's matrix
    placer.DragSelection(1.0, Ray(4, 0, -10, 0, 0, 1), true); // grabs the x arrow
    placer.DragSelection(1.0, Ray(6, 2, -10, 0, 0, 1), true);
    ExpectVectorNear(placer.GetStoredPosition(), 2, 0, 0);
    placer.DragSelection(1.0, Ray(6, 2, -10, 0, 0, 1), false);
    EXPECT_FALSE(placer.GetPositionHandle()->IsDragStarted());

    // On a rail from (-5, 0, 0) to (5, 0, 0) the placer sits at the origin halfway.
    placer.SetPositionRail(KB_String("Rail.int"), Rail(-5, 0, 5, 0));
    ASSERT_NE(placer.GetRailVisualisation(), nullptr); // rebuilt for the new rail
    EXPECT_EQ(placer.GetPositionHandle(), nullptr);
    placer.RenderDebug(0.5, nullptr, XMVectorSet(0, 0, -10, 1));
    placer.DeselectAll();
    const std::size_t uiMessages = m_Editor.m_Messages.size();

    // Along x the first key's box comes before the marker: only the key is picked.
    const KR_Ray alongRail = Ray(-20, 0, 0, 1, 0, 0);
    EXPECT_LT(placer.GetRailVisualisation()->GetPickDistance(alongRail), 16.0f);
    placer.Select(0.5, alongRail);
    EXPECT_EQ(placer.GetRailVisualisation()->GetSelectedIndex(), 0u);
    EXPECT_FALSE(placer.IsSelected());
    EXPECT_EQ(m_Editor.m_Messages.size(), uiMessages);
    // The marker alone selects the placer, which also clears the key.
    placer.Select(0.5, Ray(0, 0, -10, 0, 0, 1));
    EXPECT_TRUE(placer.IsSelected());
    EXPECT_EQ(placer.GetRailVisualisation()->GetSelectedIndex(),
              KR_VertexInterpolationVisualisation::NO_SELECTION);

    // Replacing the rail again leaves no visualisation on the deleted one; none at all without.
    placer.SetPositionRail(KB_String(""), nullptr);
    EXPECT_EQ(placer.GetRailVisualisation(), nullptr);
    EXPECT_NE(placer.GetPositionHandle(), nullptr);
    ExpectVectorNear(placer.GetPosition(0.5), 2, 0, 0);
}
