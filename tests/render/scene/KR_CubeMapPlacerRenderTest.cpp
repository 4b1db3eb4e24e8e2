// Cube-map rendering through the stand-in device, the resource manager's pool, the shipped copy
// effect and the DDS writer.

#include "framework/app/KE_Dispatcher.h"
#include "platform/d3d11/D3D11Control.h"
#include "platform/d3dx11/d3dx11.h"
#include "platform/effects11/Effects11Control.h"
#include "render/camera/KR_Camera.h"
#include "render/device/KR_GraphicsResourceManagerDX11.h"
#include "render/device/KR_ShaderCoreManager.h"
#include "render/scene/KR_CubeMapPlacer.h"
#include "render/scene/KR_Scene.h"
#include "tests/render/device/StandInGraphicsDevice.h"
#include "tests/support/MemoryFiles.h"
#include "tests/support/SaveFailureLines.h"
#include "tests/support/TestEngine.h"
#include "tests/support/TestTempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace DirectX;

namespace
{

// The rendering quality decides the frames per update of new placers.
class QualityStandInDevice : public StandInGraphicsDevice
{
public:
    using StandInGraphicsDevice::StandInGraphicsDevice;
    std::uint32_t GetRenderingQuality() override { return m_uiQuality; }
    std::uint32_t m_uiQuality = 0;
};

// The last cube-map list handed to the shaders.
class CubeMapCore : public KR_ShaderCoreManager
{
public:
    bool Initialize() override { return true; }
    bool CreateResources() override { return true; }
    bool CreateSizeDependentResources() override { return true; }
    bool ReleaseResources() override { return true; }
    bool ReleaseSizeDependentResources() override { return true; }
    void SetCubeMaps(const KB_GrowingArray<ID3D11ShaderResourceView*>* pViews,
                     const KB_GrowingArray<XMFLOAT4>*, const KB_GrowingArray<float>*,
                     const KB_GrowingArray<bool>*) override
    {
        m_vViews.assign(pViews->GetNumMembers(), nullptr);
        for (std::uint32_t i = 0; i < pViews->GetNumMembers(); ++i)
            m_vViews[i] = (*pViews)[i];
    }
    std::vector<ID3D11ShaderResourceView*> m_vViews;
};

// What one cube-map pass of the scene saw.
struct FacePass
{
    double fTime = 0.0;
    XMFLOAT3 position, look, up;
    float fFOV = 0.0f, fAspect = 0.0f, fNear = 0.0f, fFar = 0.0f;
    ID3D11Resource* pTarget = nullptr; // compared by address only
    UINT uiSlice = 0;
    UINT uiTargetWidth = 0;
    bool bTargetIsCube = false;
    bool bDepthBound = false;
    std::vector<ID3D11ShaderResourceView*> vCubeMapsHanded;
    bool bCubeMapSlotsEmpty = false;
};

// Records each cube-map pass and draws one triangle in it, as a scene's geometry would.
class CubeScene : public KR_Scene
{
public:
    CubeScene() { SetSceneName("Cube"); }
    bool PreLoad() override { return true; }
    void OnResize() override {}
    void RenderModels(double, const XMMATRIX*) override {}
    bool Shutdown() override { return true; }
    bool PostLoad() override { return true; }
    bool Update(double fTime) override
    {
        m_vUpdates.push_back(fTime);
        return KR_Scene::Update(fTime);
    }
    void Render(KR_Camera* pCamera, double fTime, bool bNoDebugVisuals) override
    {
        ASSERT_TRUE(bNoDebugVisuals);
        FacePass pass;
        pass.fTime = fTime;
        XMStoreFloat3(&pass.position, pCamera->GetPosition());
        XMStoreFloat3(&pass.look, pCamera->GetLookVector());
        XMStoreFloat3(&pass.up, pCamera->GetUpVector());
        pass.fFOV = pCamera->GetFOV();
        pass.fAspect = pCamera->GetAspectRatio();
        pass.fNear = pCamera->GetNearZ();
        pass.fFar = pCamera->GetFarZ();
        ID3D11RenderTargetView* apTargets[2] = {};
        ID3D11DepthStencilView* pDepth = nullptr;
        m_pContext->OMGetRenderTargets(2, apTargets, &pDepth);
        EXPECT_EQ(apTargets[1], nullptr);
        if (apTargets[0] != nullptr)
        {
            D3D11_RENDER_TARGET_VIEW_DESC viewDesc = {};
            apTargets[0]->GetDesc(&viewDesc);
            pass.uiSlice = viewDesc.Texture2DArray.FirstArraySlice;
            apTargets[0]->GetResource(&pass.pTarget);
            D3D11_TEXTURE2D_DESC textureDesc = {};
            static_cast<ID3D11Texture2D*>(pass.pTarget)->GetDesc(&textureDesc);
            pass.uiTargetWidth = textureDesc.Width;
            pass.bTargetIsCube = (textureDesc.MiscFlags & D3D11_RESOURCE_MISC_TEXTURECUBE) != 0 &&
                                 textureDesc.ArraySize == 6 && viewDesc.Texture2DArray.ArraySize == 1;
            pass.pTarget->Release(); // the address stays a name while the pool holds the texture
            apTargets[0]->Release();
        }
        pass.bDepthBound = pDepth != nullptr;
        if (pDepth != nullptr)
            pDepth->Release();
        pass.vCubeMapsHanded = m_pCore->m_vViews;
        const D3D11Control::BoundState bound = D3D11Control::GetBoundState(m_pContext);
        pass.bCubeMapSlotsEmpty = true;
        for (std::size_t i = 39; i < 47; ++i)
            pass.bCubeMapSlotsEmpty = pass.bCubeMapSlotsEmpty && bound.PixelShaderResources[i] == 0 &&
                                      bound.VertexShaderResources[i] == 0;
        m_vPasses.push_back(pass);
        m_pContext->Draw(3, 0);
    }

    ID3D11DeviceContext* m_pContext = nullptr;
    CubeMapCore* m_pCore = nullptr;
    std::vector<double> m_vUpdates;
    std::vector<FacePass> m_vPasses;
};

std::string ReadSource(const std::string& sRelative)
{
    std::ifstream file(std::string(KV_SOURCE_ROOT) + "/" + sRelative, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

std::vector<std::uint8_t> ReadFile(const std::string& sPath)
{
    std::ifstream file(sPath, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(file)),
                                     std::istreambuf_iterator<char>());
}

std::uint64_t IdOf(const IUnknown* pObject)
{
    return D3D11Control::GetObjectId(pObject);
}

std::vector<double> DrawVertexCounts()
{
    std::vector<double> vCounts;
    for (const D3D11Control::CallRecord& record : D3D11Control::GetDrawCalls())
        vCounts.push_back(record.Values.empty() ? -1.0 : record.Values[0]);
    return vCounts;
}

std::vector<std::uint64_t> GenerateMipsViews()
{
    std::vector<std::uint64_t> vViews;
    for (const D3D11Control::CallRecord& record : D3D11Control::GetCallLog())
        if (record.Method == "GenerateMips" && record.Result == S_OK)
            vViews.push_back(record.Objects.empty() ? 0 : record.Objects[0]);
    return vViews;
}

class KR_CubeMapPlacerRenderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Effects11Control::Reset();
        m_pRepository->SetFile(KR_CubeMapPlacer::COPY_EFFECT_PATH,
                               ReadSource("assets/Shader/KR_CubeMapPlacerShader.fx"));
        m_Files.Install();
        m_Engine->SetDispatcher(&m_Dispatcher);
        m_Engine->SetShaderCoreManager(&m_Core);
        m_Engine->SetGraphicsResourceManager(m_pPool);
        m_Engine->SetDeveloperBuild(true);
        m_Scene.m_pContext = m_Device.GetImmediateContext();
        m_Scene.m_pCore = &m_Core;
        m_Scene.SetEndTime(100.0);
        m_Scene.SetNearFarPlanes(0.5f, 300.0f);
    }
    void TearDown() override
    {
        m_Scene.ReleaseAllEntities();
        m_Engine->SetGraphicsResourceManager(nullptr);
        delete m_pPool;
        m_Engine->SetShaderCoreManager(nullptr);
        m_Engine->SetFileManager(nullptr);
    }

    // A placer of the scene, made at the device's present quality.
    KR_CubeMapPlacer* AddPlacer(bool bDynamic, std::uint32_t uiSide, double fStart = 0.0)
    {
        auto* pPlacer = new KR_CubeMapPlacer();
        pPlacer->SetStartTime(fStart);
        pPlacer->SetEndTime(100.0);
        pPlacer->SetCubeMapResolution(uiSide, uiSide);
        pPlacer->SetDynamic(bDynamic);
        pPlacer->ReloadCubeMapPlacer();
        m_Scene.GetCubeMapPlacers().Add(pPlacer);
        return pPlacer;
    }
    std::uint64_t ViewIdOf(std::uint32_t uiTexture)
    {
        return IdOf(m_pPool->GetShaderResourceView(uiTexture));
    }
    ID3D11Resource* TextureOf(std::uint32_t uiTexture) { return m_pPool->GetTexture2D(uiTexture); }

    TestEngine m_Engine;
    QualityStandInDevice m_Device{m_Engine};
    MemoryFiles m_Files;
    MemoryRepository* m_pRepository = m_Files.GetRepository();
    KE_Dispatcher m_Dispatcher;
    CubeMapCore m_Core;
    KR_GraphicsResourceManagerDX11* m_pPool = new KR_GraphicsResourceManagerDX11();
    CubeScene m_Scene;
    TestTempDir m_TempDir;
};

} // namespace

TEST_F(KR_CubeMapPlacerRenderTest, FaceCamerasLookAlongTheSixAxesWithANinetyDegreeSquareView)
{
    const float expected[6][2][3] = {
        {{1, 0, 0}, {0, 1, 0}},  {{-1, 0, 0}, {0, 1, 0}}, {{0, 1, 0}, {0, 0, -1}},
        {{0, -1, 0}, {0, 0, 1}}, {{0, 0, 1}, {0, 1, 0}},  {{0, 0, -1}, {0, 1, 0}},
    };
    m_Device.m_uiQuality = 3; // all six faces in one frame
    KR_CubeMapPlacer* pPlacer = AddPlacer(true, 16);
    pPlacer->SetPosition(XMVectorSet(1.0f, 2.0f, 3.0f, 1.0f));
    pPlacer->RenderCubeMap(&m_Scene, 4.0);
    ASSERT_EQ(m_Scene.m_vPasses.size(), 6u);
    for (std::uint32_t i = 0; i < 6; ++i)
    {
        const FacePass& pass = m_Scene.m_vPasses[i];
        EXPECT_NEAR(pass.look.x, expected[i][0][0], 1e-5f) << i;
        EXPECT_NEAR(pass.look.y, expected[i][0][1], 1e-5f) << i;
        EXPECT_NEAR(pass.look.z, expected[i][0][2], 1e-5f) << i;
        EXPECT_NEAR(pass.up.x, expected[i][1][0], 1e-5f) << i;
        EXPECT_NEAR(pass.up.y, expected[i][1][1], 1e-5f) << i;
        EXPECT_NEAR(pass.up.z, expected[i][1][2], 1e-5f) << i;
        EXPECT_TRUE(pass.position.x == 1.0f && pass.position.y == 2.0f && pass.position.z == 3.0f) << i;
        EXPECT_EQ(pass.fFOV, 90.0f);
        EXPECT_EQ(pass.fAspect, 1.0f);
        EXPECT_TRUE(pass.fNear == 0.5f && pass.fFar == 300.0f) << "the scene's planes";
        EXPECT_EQ(pass.fTime, 4.0);
        EXPECT_EQ(pass.uiSlice, i);
    }
}

TEST_F(KR_CubeMapPlacerRenderTest, StaticPlacerDrawsSixFacesCopiesEachAndSavesACubeDDS)
{
    KR_CubeMapPlacer* pPlacer = AddPlacer(false, 16);
    const std::string sPath = m_TempDir.Join("CubeMap_Cube_0.dds");
    pPlacer->SetCubeMapPath(KB_String(sPath.c_str()));
    ASSERT_TRUE(pPlacer->HasCopyEffect());

    // The frame's own target, viewport and rasterizer state, and a cube map bound for reading.
    ID3D11DeviceContext* pContext = m_Device.GetImmediateContext();
    const KR_TextureResourceDescription frameDescription(64, 48, 0, 1, 1, DXGI_FORMAT_R8G8B8A8_UNORM,
                                                         D3D11_USAGE_DEFAULT, D3D11_BIND_RENDER_TARGET, 0, 0);
    std::uint32_t uiFrame = m_pPool->AcquireTexture(&frameDescription);
    ID3D11RenderTargetView* pFrameTarget = m_pPool->GetRenderTargetView(uiFrame, 0);
    pContext->OMSetRenderTargets(1, &pFrameTarget, nullptr);
    const D3D11_VIEWPORT frameViewport = {0.0f, 0.0f, 64.0f, 48.0f, 0.0f, 1.0f};
    pContext->RSSetViewports(1, &frameViewport);
    D3D11_RASTERIZER_DESC wireframe = {};
    wireframe.FillMode = D3D11_FILL_WIREFRAME;
    wireframe.CullMode = D3D11_CULL_NONE;
    ID3D11RasterizerState* pFrameState = m_pPool->GetRasterizerState(&wireframe);
    pContext->RSSetState(pFrameState);
    const KR_TextureResourceDescription cubeDescription(8, 8, 0, 6, 1, DXGI_FORMAT_R8G8B8A8_UNORM,
                                                        D3D11_USAGE_DEFAULT, D3D11_BIND_SHADER_RESOURCE,
                                                        D3D11_RESOURCE_MISC_TEXTURECUBE, 0);
    std::uint32_t uiBoundCube = m_pPool->AcquireTexture(&cubeDescription);
    ID3D11ShaderResourceView* pBoundCube = m_pPool->GetShaderResourceView(uiBoundCube);
    pContext->PSSetShaderResources(40, 1, &pBoundCube);
    D3D11Control::ClearCallLog();
    Effects11Control::ClearApplyLog();

    pPlacer->RenderCubeMap(&m_Scene, 2.0);

    // Six faces into the slices of one 16x16 cube, with depth, and no cube map readable.
    ASSERT_EQ(m_Scene.m_vPasses.size(), 6u);
    EXPECT_EQ(m_Scene.m_vUpdates, std::vector<double>{2.0});
    for (std::uint32_t i = 0; i < 6; ++i)
    {
        const FacePass& pass = m_Scene.m_vPasses[i];
        EXPECT_TRUE(pass.bTargetIsCube && pass.uiTargetWidth == 16 && pass.bDepthBound) << i;
        EXPECT_EQ(pass.pTarget, m_Scene.m_vPasses[0].pTarget);
        EXPECT_EQ(pass.vCubeMapsHanded, std::vector<ID3D11ShaderResourceView*>(8, nullptr));
        EXPECT_TRUE(pass.bCubeMapSlotsEmpty) << i;
    }
    // After each face its copy: the quad as a four-vertex strip of 20-byte vertices.
    EXPECT_EQ(DrawVertexCounts(), (std::vector<double>{3, 4, 3, 4, 3, 4, 3, 4, 3, 4, 3, 4}));
    for (const D3D11Control::CallRecord& draw : D3D11Control::GetDrawCalls())
    {
        if (draw.Values[0] != 4)
            continue;
        ASSERT_TRUE(draw.Pipeline.has_value());
        EXPECT_EQ(draw.Pipeline->Topology, D3D11_PRIMITIVE_TOPOLOGY_TRIANGLESTRIP);
        EXPECT_NE(draw.Pipeline->InputLayout, 0u);
        ASSERT_EQ(draw.Pipeline->VertexBuffers.size(), 1u);
        EXPECT_EQ(draw.Pipeline->VertexBuffers[0].Stride, 20u);
        EXPECT_TRUE(draw.Pipeline->VertexShader != 0 && draw.Pipeline->PixelShader != 0);
    }
    const std::vector<Effects11Control::ApplyRecord> vApplies = Effects11Control::GetApplyLog();
    ASSERT_EQ(vApplies.size(), 6u);
    for (std::uint32_t i = 0; i < 6; ++i)
    {
        EXPECT_TRUE(vApplies[i].Technique == 0 && vApplies[i].Pass == 0);
        EXPECT_EQ(vApplies[i].Find("g_fSourceTextureSide")->Values,
                  std::vector<float>{static_cast<float>(i)});
        const std::vector<std::uint64_t>& vSource = vApplies[i].Find("g_tSourceTexture")->Resources;
        EXPECT_TRUE(vSource.size() == 1 && vSource[0] != 0 && vSource[0] != IdOf(pBoundCube)) << i;
    }
    std::uint64_t uiColourClears = 0;
    std::uint64_t uiDepthClears = 0;
    for (const D3D11Control::CallRecord& record : D3D11Control::GetCallLog())
    {
        uiColourClears += record.Method == "ClearRenderTargetView" ? 1 : 0;
        uiDepthClears += record.Method == "ClearDepthStencilView" ? 1 : 0;
    }
    EXPECT_EQ(uiColourClears, 12u); // both cubes' slices
    EXPECT_EQ(uiDepthClears, 6u);
    EXPECT_TRUE(GenerateMipsViews().empty());

    // The saved copy reads back as a 16x16 cube of one level.
    const std::vector<std::uint8_t> vFile = ReadFile(sPath);
    D3DX11_IMAGE_INFO info = {};
    ASSERT_EQ(S_OK, D3DX11GetImageInfoFromMemory(vFile.data(), vFile.size(), nullptr, &info, nullptr));
    EXPECT_EQ(info.ImageFileFormat, D3DX11_IFF_DDS);
    EXPECT_TRUE(info.Width == 16 && info.Height == 16 && info.MipLevels == 1 && info.ArraySize == 6);
    EXPECT_NE(info.MiscFlags & D3D11_RESOURCE_MISC_TEXTURECUBE, 0u);
    EXPECT_EQ(info.Format, DXGI_FORMAT_R8G8B8A8_UNORM);

    // The device as it was, but for the cube map, which stays unbound.
    const D3D11Control::BoundState bound = D3D11Control::GetBoundState(pContext);
    ASSERT_FALSE(bound.RenderTargets.empty());
    EXPECT_EQ(bound.RenderTargets[0], IdOf(pFrameTarget));
    EXPECT_TRUE(bound.RenderTargets.size() == 1 || bound.RenderTargets[1] == 0); // the second slot was empty
    EXPECT_EQ(bound.DepthStencil, 0u);
    ASSERT_EQ(bound.Viewports.size(), 1u);
    EXPECT_TRUE(bound.Viewports[0].Width == 64.0f && bound.Viewports[0].Height == 48.0f);
    EXPECT_EQ(bound.RasterizerState, IdOf(pFrameState));
    EXPECT_EQ(bound.PixelShaderResources[40], 0u);

    // The temporary cubes went back to the pool: a second render makes no texture.
    const std::uint64_t uiMade = D3D11Control::GetCallCount("CreateTexture2D");
    pPlacer->RenderCubeMap(&m_Scene, 2.0);
    EXPECT_EQ(D3D11Control::GetCallCount("CreateTexture2D"), uiMade);
    EXPECT_EQ(m_Scene.m_vPasses.size(), 12u);
    pContext->OMSetRenderTargets(0, nullptr, nullptr);
    m_pPool->ReleaseTexture(&uiFrame);
    m_pPool->ReleaseTexture(&uiBoundCube);
}

// A static map whose folder is missing is named on standard error with the reason; the render
// itself is unchanged.
TEST_F(KR_CubeMapPlacerRenderTest, AStaticMapThatCannotBeWrittenIsNamedWithTheReason)
{
    KR_CubeMapPlacer* pPlacer = AddPlacer(false, 16);
    const std::string sPath = m_TempDir.Join("Missing/CubeMap_Cube_0.dds");
    pPlacer->SetCubeMapPath(KB_String(sPath.c_str()));
    ::testing::internal::CaptureStderr();
    pPlacer->RenderCubeMap(&m_Scene, 2.0);
    EXPECT_EQ(SaveFailureLines::Take(::testing::internal::GetCapturedStderr()),
              std::vector<std::string>{SaveFailureLines::For(sPath, ENOENT)});
    EXPECT_EQ(m_Scene.m_vPasses.size(), 6u);
}

TEST_F(KR_CubeMapPlacerRenderTest, DynamicPlacerSpreadsItsFacesOverFramesThenMakesMipsAndSwaps)
{
    m_Device.m_uiQuality = 1; // three frames per update
    KR_CubeMapPlacer* pPlacer = AddPlacer(true, 16);
    ASSERT_EQ(pPlacer->GetFramesPerUpdate(), 3);
    const std::uint32_t uiFront = pPlacer->GetFrontTexture();
    const std::uint32_t uiBack = pPlacer->GetBackTexture();
    ID3D11Resource* pBackTexture = TextureOf(uiBack);
    const std::uint32_t expectedSlices[3][2] = {{4, 5}, {2, 3}, {0, 1}};
    for (std::uint32_t uiFrame = 0; uiFrame < 3; ++uiFrame)
    {
        D3D11Control::ClearCallLog();
        m_Scene.m_vPasses.clear();
        pPlacer->RenderCubeMap(&m_Scene, 1.0 + uiFrame);
        ASSERT_EQ(m_Scene.m_vPasses.size(), 2u) << uiFrame;
        for (std::uint32_t i = 0; i < 2; ++i)
        {
            EXPECT_EQ(m_Scene.m_vPasses[i].pTarget, pBackTexture);
            EXPECT_EQ(m_Scene.m_vPasses[i].uiSlice, expectedSlices[uiFrame][i]);
        }
        EXPECT_EQ(DrawVertexCounts(), (std::vector<double>{3, 3})); // no copies
        EXPECT_EQ(pPlacer->GetFramesLeft(), uiFrame < 2 ? 2 - static_cast<std::int32_t>(uiFrame) : 3);
        EXPECT_TRUE(uiFrame == 2 || GenerateMipsViews().empty()) << uiFrame;
    }
    // The finished back texture got its mips and is now shown; the old front is drawn next.
    EXPECT_EQ(GenerateMipsViews(), std::vector<std::uint64_t>{ViewIdOf(uiBack)});
    EXPECT_TRUE(pPlacer->GetFrontTexture() == uiBack && pPlacer->GetBackTexture() == uiFront);
    EXPECT_EQ(pPlacer->GetCubeMapView(), m_pPool->GetShaderResourceView(uiBack));
    EXPECT_TRUE(Effects11Control::GetApplyLog().empty());
    m_Scene.m_vPasses.clear();
    pPlacer->RenderCubeMap(&m_Scene, 4.0);
    ASSERT_EQ(m_Scene.m_vPasses.size(), 2u);
    EXPECT_EQ(m_Scene.m_vPasses[0].pTarget, TextureOf(uiFront));
}

TEST_F(KR_CubeMapPlacerRenderTest, OneFramePerUpdateRendersAllFacesIntoTheFrontEachFrame)
{
    m_Device.m_uiQuality = 3;
    KR_CubeMapPlacer* pPlacer = AddPlacer(true, 8);
    ASSERT_EQ(pPlacer->GetBackTexture(), KR_CubeMapPlacer::NO_TEXTURE);
    const std::uint32_t uiFront = pPlacer->GetFrontTexture();
    for (int iFrame = 0; iFrame < 2; ++iFrame)
    {
        D3D11Control::ClearCallLog();
        m_Scene.m_vPasses.clear();
        pPlacer->RenderCubeMap(&m_Scene, 1.0);
        ASSERT_EQ(m_Scene.m_vPasses.size(), 6u);
        for (std::uint32_t i = 0; i < 6; ++i)
            EXPECT_TRUE(m_Scene.m_vPasses[i].pTarget == TextureOf(uiFront) &&
                        m_Scene.m_vPasses[i].uiSlice == i);
        EXPECT_EQ(GenerateMipsViews(), std::vector<std::uint64_t>{ViewIdOf(uiFront)});
        EXPECT_TRUE(pPlacer->GetFrontTexture() == uiFront && pPlacer->GetFramesLeft() == 1);
    }
}

TEST_F(KR_CubeMapPlacerRenderTest, SceneRendersDynamicMapsAtLoadEachFrameAndEveryMapOnRequest)
{
    m_Device.m_uiQuality = 1;
    KR_CubeMapPlacer* pEarly = AddPlacer(true, 8, 2.0);
    KR_CubeMapPlacer* pStatic = AddPlacer(false, 8, 0.0);
    KR_CubeMapPlacer* pLate = AddPlacer(true, 8, 5.0);
    pEarly->SetRenderSynchronizationTime(4.0);
    pStatic->SetRenderSynchronizationTime(6.0);
    pLate->SetRenderSynchronizationTime(7.0);
    const std::string sPath = m_TempDir.Join("Static.dds");
    pStatic->SetCubeMapPath(KB_String(sPath.c_str()));

    // At load: each dynamic map whole, at its start time, into its front texture, which gets its mips.
    D3D11Control::ClearCallLog();
    EXPECT_TRUE(m_Scene.RenderCubeMapsAtLoad());
    EXPECT_EQ(m_Scene.m_vUpdates, (std::vector<double>{2.0, 5.0}));
    ASSERT_EQ(m_Scene.m_vPasses.size(), 12u);
    EXPECT_EQ(m_Scene.m_vPasses[0].pTarget, TextureOf(pEarly->GetFrontTexture()));
    EXPECT_EQ(m_Scene.m_vPasses[6].pTarget, TextureOf(pLate->GetFrontTexture()));
    EXPECT_EQ(GenerateMipsViews(), (std::vector<std::uint64_t>{ViewIdOf(pEarly->GetFrontTexture()),
                                                               ViewIdOf(pLate->GetFrontTexture())}));
    for (KR_CubeMapPlacer* pPlacer : {pEarly, pLate})
        EXPECT_TRUE(pPlacer->GetFramesPerUpdate() == 3 && pPlacer->GetFramesLeft() == 3);
    EXPECT_FALSE(std::ifstream(sPath).good()); // static maps are rendered on request only

    // Each frame: the active dynamic maps only, two faces each.
    m_Scene.m_vUpdates.clear();
    m_Scene.m_vPasses.clear();
    EXPECT_TRUE(m_Scene.RenderDynamicCubeMaps(3.0));
    EXPECT_EQ(m_Scene.m_vUpdates, std::vector<double>{3.0});
    ASSERT_EQ(m_Scene.m_vPasses.size(), 2u);
    EXPECT_EQ(m_Scene.m_vPasses[0].pTarget, TextureOf(pEarly->GetBackTexture()));

    // On request: every map at its render time, the static one saved.
    m_Scene.m_vUpdates.clear();
    m_Scene.m_vPasses.clear();
    m_Scene.RenderAllCubeMaps();
    EXPECT_EQ(m_Scene.m_vUpdates, (std::vector<double>{4.0, 6.0, 7.0}));
    EXPECT_EQ(m_Scene.m_vPasses.size(), 2u + 6u + 2u);
    EXPECT_TRUE(std::ifstream(sPath).good());
}

TEST_F(KR_CubeMapPlacerRenderTest, StaticMapsWithoutTheCopyEffectAndUnmakeableSizesRenderNothing)
{
    m_Device.m_uiQuality = 3;
    // A build without the developer objects, and a developer build whose effect file is missing.
    const std::string sPath = m_TempDir.Join("Never.dds");
    for (int iCase = 0; iCase < 2; ++iCase)
    {
        m_Engine->SetDeveloperBuild(iCase == 1);
        if (iCase == 1)
            m_pRepository->RemoveFile(KB_String(KR_CubeMapPlacer::COPY_EFFECT_PATH));
        KR_CubeMapPlacer* pPlacer = AddPlacer(false, 8);
        pPlacer->SetCubeMapPath(KB_String(sPath.c_str()));
        EXPECT_FALSE(pPlacer->HasCopyEffect());
        const std::uint64_t uiMade = D3D11Control::GetCallCount("CreateTexture2D");
        pPlacer->RenderCubeMap(&m_Scene, 1.0);
        EXPECT_TRUE(m_Scene.m_vPasses.empty() && m_Scene.m_vUpdates.empty()) << iCase;
        EXPECT_EQ(D3D11Control::GetCallCount("CreateTexture2D"), uiMade);
        EXPECT_FALSE(std::ifstream(sPath).good());
    }
    // Dynamic maps need no copy.
    KR_CubeMapPlacer* pDynamic = AddPlacer(true, 8);
    pDynamic->RenderCubeMap(&m_Scene, 1.0);
    EXPECT_EQ(m_Scene.m_vPasses.size(), 6u);

    // Cube faces are square: a 16x8 map has no textures to draw into, and its countdown stays.
    m_Device.m_uiQuality = 1;
    m_Scene.m_vPasses.clear();
    KR_CubeMapPlacer* pOblong = AddPlacer(true, 16);
    pOblong->SetCubeMapResolution(16, 8);
    pOblong->ReloadCubeMapPlacer();
    pOblong->RenderCubeMap(&m_Scene, 1.0);
    EXPECT_TRUE(m_Scene.m_vPasses.empty());
    EXPECT_EQ(pOblong->GetFramesLeft(), 3);
    EXPECT_EQ(pOblong->GetCubeMapView(), nullptr);
    pOblong->RenderCubeMap(nullptr, 1.0); // nor without a scene
}
