#include "production/KV27_SceneCommon.h"

#include "framework/app/KE_Dispatcher.h"
#include "platform/crt/CrtControl.h"
#include "production/KV27_Scene1.h"
#include "production/KV27_Scene2.h"
#include "production/KV27_Scene3.h"
#include "production/KV27_Scene4.h"
#include "production/KV27_Scene5.h"
#include "production/KV27_Show.h"
#include "render/camera/KR_Camera.h"
#include "render/device/KR_ManagedShaderResourceView.h"
#include "render/device/KR_ShaderCoreManager.h"
#include "render/effects/KR_PostFXEngine.h"
#include "render/models/KR_EmptyModelResource.h"
#include "render/models/KR_ManagedModelResourceDX11.h"
#include "render/scene/KR_SceneManager.h"
#include "tests/support/MemoryFiles.h"
#include "tests/support/NullPostFXEngine.h"
#include "tests/support/NullResourceManager.h"
#include "tests/support/TestEngine.h"
#include "timing/KB_LinearInterpolation.h"
#include "timing/KU_InterpolationManager.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace DirectX;

namespace
{

// One draw of a prop: which model, pass, world matrix and the view-projection handed along.
struct Draw
{
    std::string sModel;
    KR_RenderPass pass;
    XMFLOAT4X4 world;
    XMFLOAT4X4 viewProjection;
};

class RecordingModel : public KR_EmptyModelResource
{
public:
    RecordingModel(std::string sName, std::vector<Draw>* pLog) : m_sName(std::move(sName)), m_pLog(pLog) {}
    void Render(double, KR_RenderPass pass, const XMMATRIX* pWorld, const XMMATRIX* pViewProjection,
                std::uint32_t uiInstances) override
    {
        EXPECT_EQ(uiInstances, 1u);
        Draw draw{m_sName, pass, {}, {}};
        XMStoreFloat4x4(&draw.world, *pWorld);
        XMStoreFloat4x4(&draw.viewProjection, *pViewProjection);
        m_pLog->push_back(draw);
    }

private:
    std::string m_sName;
    std::vector<Draw>* m_pLog;
};

class TokenView : public KR_ManagedShaderResourceView
{
public:
    explicit TokenView(std::uintptr_t uiToken) : m_pView(reinterpret_cast<ID3D11ShaderResourceView*>(uiToken))
    {
    }
    ID3D11ShaderResourceView* GetShaderResourceView() override { return m_pView; }
    void SetShaderResourceView(ID3D11ShaderResourceView* pView) override { m_pView = pView; }
    ID3D11ShaderResourceView* m_pView;
};

// Hands out recording models and token views, and remembers every request in order.
class RecordingResources : public NullResourceManager
{
public:
    KR_ManagedModelResourceDX11* GetModelResource(const KB_String& sPath, std::uint8_t a, std::uint8_t b,
                                                  std::uint8_t c) override
    {
        m_Requests.push_back("model " + std::string(sPath.GetBuffer()) + " " + std::to_string(a) +
                             std::to_string(b) + std::to_string(c));
        auto& entry = m_Models[sPath.GetBuffer()];
        if (!entry.first)
        {
            entry.first = std::make_unique<RecordingModel>(sPath.GetBuffer(), &m_Draws);
            entry.second = std::make_unique<KR_ManagedModelResourceDX11>(entry.first.get());
        }
        return entry.second.get();
    }
    KR_ManagedShaderResourceView*
    GetTexture3DShaderResourceViewFromFile(const KB_String& sPath, std::uint32_t x, std::uint32_t y) override
    {
        m_Requests.push_back("cube " + std::string(sPath.GetBuffer()) + " " + std::to_string(x) + "x" +
                             std::to_string(y));
        return View(sPath.GetBuffer());
    }
    KR_ManagedShaderResourceView* GetShaderResourceViewFromFile(const KB_String& sPath) override
    {
        m_Requests.push_back("texture " + std::string(sPath.GetBuffer()));
        return View(sPath.GetBuffer());
    }
    TokenView* View(const std::string& sPath)
    {
        auto& pView = m_Views[sPath];
        if (!pView)
            pView = std::make_unique<TokenView>(0x1000 + 0x10 * m_Views.size());
        return pView.get();
    }
    std::vector<std::string> m_Requests;
    std::vector<Draw> m_Draws;
    std::map<std::string,
             std::pair<std::unique_ptr<RecordingModel>, std::unique_ptr<KR_ManagedModelResourceDX11>>>
        m_Models;
    std::map<std::string, std::unique_ptr<TokenView>> m_Views;
};

// What the scene asked of the chain, each call with the record's values copied.
class RecordingPostFX : public NullPostFXEngine
{
public:
    bool RegisterEffect(std::uint32_t uiId) override
    {
        m_Registered.push_back(uiId);
        return true;
    }
    bool EnableEffect(std::uint32_t uiId, const void* pRecord) override
    {
        m_Chain.push_back(uiId);
        if (uiId == 0)
            m_Bloom = *static_cast<const KR_BloomParameters*>(pRecord);
        if (uiId == 1)
            m_Focus = *static_cast<const KR_DepthOfFieldParameters*>(pRecord);
        if (uiId == 2)
            m_Offsets = *static_cast<const KR_ColorOffsetParameters*>(pRecord);
        if (uiId == 4)
            m_Cubes = *static_cast<const KR_ColorCubeParameters*>(pRecord);
        // The volume lighting is enabled without a record; the scene base fills it in.
        EXPECT_TRUE(uiId != 5 || pRecord == nullptr);
        if (uiId == 8)
            m_Lens = *static_cast<const KR_DirtyLensParameters*>(pRecord);
        return true;
    }
    void ClearEffects() override
    {
        ++m_iClears;
        m_Chain.clear();
    }
    bool DisableEffect(std::uint32_t) override { return true; }
    void SetNearFarPlanes(const float* nearFar) override { m_NearFar.push_back({nearFar[0], nearFar[1]}); }

    std::vector<std::uint32_t> m_Registered;
    std::vector<std::uint32_t> m_Chain;
    std::vector<std::pair<float, float>> m_NearFar;
    int m_iClears = 0;
    KR_BloomParameters m_Bloom;
    KR_DepthOfFieldParameters m_Focus;
    KR_ColorOffsetParameters m_Offsets;
    KR_ColorCubeParameters m_Cubes;
    KR_DirtyLensParameters m_Lens;
};

class RecordingShaderCore : public KR_ShaderCoreManager
{
public:
    bool Initialize() override { return true; }
    bool CreateResources() override { return true; }
    bool CreateSizeDependentResources() override { return true; }
    bool ReleaseResources() override { return true; }
    bool ReleaseSizeDependentResources() override { return true; }
    void ResetVectorArray() override
    {
        ++m_iResets;
        m_Vectors.clear();
    }
    bool AddVector(const XMFLOAT4& v) override
    {
        m_Vectors.push_back(v);
        return true;
    }
    void SetFrameParameters(const XMFLOAT3& position, const XMFLOAT2& nearFar) override
    {
        ++m_iFrames;
        m_Position = position;
        m_NearFar = nearFar;
    }
    void SetFrameVector1(const XMFLOAT3& v) override { m_Vector1 = v; }
    void SetFrameColor0(const XMFLOAT4& c) override { m_Color0 = c; }
    void SetFrameRange(const XMFLOAT2& r) override { m_Range = r; }

    int m_iResets = 0;
    int m_iFrames = 0;
    std::vector<XMFLOAT4> m_Vectors;
    XMFLOAT3 m_Position{-1, -1, -1};
    XMFLOAT2 m_NearFar{};
    XMFLOAT3 m_Vector1{-1, -1, -1};
    XMFLOAT4 m_Color0{};
    XMFLOAT2 m_Range{};
};

// A curve holding one value over [0, 100).
KU_VertexInterpolation* Constant(float x, float y, float z, float w = 0.0f, double fEnd = 100.0)
{
    auto* pCurve = new KB_LinearInterpolation();
    pCurve->InsertVertex(XMVectorSet(x, y, z, w), 0.0);
    pCurve->SetEndTime(fEnd);
    return pCurve;
}

// Vertex curve i at (i, 10 i, 100 i); user-defined curve i at (i + 0.5, i + 0.25, i + 0.125, i).
void FillCurves(KV27_SceneCommon& scene, std::uint32_t uiVertex, std::uint32_t uiUser)
{
    for (std::uint32_t i = 0; i < uiVertex; ++i)
        scene.GetVertexInterpolations().Add(Constant(float(i), 10.0f * float(i), 100.0f * float(i)));
    for (std::uint32_t i = 0; i < uiUser; ++i)
        scene.GetUserDefinedInterpolations().Add(
            Constant(float(i) + 0.5f, float(i) + 0.25f, float(i) + 0.125f, float(i)));
}

// The Windows C runtime's generator from its first state, drawn independently of the engine.
class MsvcRand
{
public:
    float SignedUnit()
    {
        m_uiState = m_uiState * 214013u + 2531011u;
        return static_cast<float>((m_uiState >> 16) & 0x7fff) / 32767.0f * 2.0f - 1.0f;
    }

private:
    std::uint32_t m_uiState = 1;
};

class KV27_SceneTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CrtControl::Reset();
        m_Files.Install();
        m_Engine->SetDispatcher(&m_Dispatcher);
        m_Engine->SetInterpolationManager(&m_Registry);
        m_Engine->SetShaderCoreManager(&m_Core);
        m_Engine->SetPostFXEngine(&m_PostFX);
        m_Engine->SetSceneManager(&m_Manager);
        m_Engine->SetGraphicsResourceManager(&m_Resources);
    }
    void TearDown() override
    {
        m_pScene.reset();
        m_Engine->SetGraphicsResourceManager(nullptr);
        m_Engine->SetSceneManager(nullptr);
        m_Engine->SetPostFXEngine(nullptr);
        m_Engine->SetShaderCoreManager(nullptr);
        m_Engine->SetFileManager(nullptr);
        CrtControl::Reset();
    }
    // Loads the scene (no entity files), then gives it the curves.
    KV27_SceneCommon& Loaded(KV27_SceneCommon* pScene, std::uint32_t uiVertex = 16, std::uint32_t uiUser = 13)
    {
        m_pScene.reset(pScene);
        pScene->SetEndTime(100.0);
        EXPECT_TRUE(pScene->Load());
        FillCurves(*pScene, uiVertex, uiUser);
        return *pScene;
    }
    void HoldTime()
    {
        m_Manager.SetCameraMode(KR_SCM_Edit);
        m_Manager.SetEditorTimeHold(true);
        ASSERT_FALSE(m_Manager.IsTimelineRunning());
    }
    std::vector<std::string> DrawnModels() const
    {
        std::vector<std::string> names;
        for (const Draw& draw : m_Resources.m_Draws)
            names.push_back(draw.sModel.substr(std::string("Assets/Models/Props/").size()));
        return names;
    }

    TestEngine m_Engine;
    MemoryFiles m_Files;
    KE_Dispatcher m_Dispatcher;
    KU_InterpolationManager m_Registry;
    RecordingShaderCore m_Core;
    RecordingPostFX m_PostFX;
    KR_SceneManager m_Manager;
    RecordingResources m_Resources;
    std::unique_ptr<KV27_SceneCommon> m_pScene;
};

using Chain = std::vector<std::uint32_t>;

TEST_F(KV27_SceneTest, LoadRequestsPropsCubesAndLensAndRegistersTheEffects)
{
    KV27_SceneCommon& scene = Loaded(new KV27_Scene1());
    EXPECT_TRUE(scene.GetSceneName() == KB_String("Scene1"));
    const std::vector<std::string> expected = {
        "model Assets/Models/Props/Prop_FloatingArtifact1.DAE 110",
        "model Assets/Models/Props/Prop_FloatingArtifact3.DAE 110",
        "cube Assets/Textures/ColorGrading/ColorCube_Scene1.png 32x1",
        "cube Assets/Textures/ColorGrading/ColorCube_Scene1_2.png 32x1",
        "texture Assets/Textures/FX/FX_DirtyLens_1.dds",
    };
    EXPECT_EQ(m_Resources.m_Requests, expected);
    EXPECT_EQ(m_PostFX.m_Registered, (Chain{0, 1, 8, 4, 5, 2}));

    // Scene5 has one cube only.
    m_Resources.m_Requests.clear();
    KV27_Scene5 five;
    five.Load();
    ASSERT_EQ(m_Resources.m_Requests.size(), 7u);
    EXPECT_EQ(m_Resources.m_Requests[5], "cube Assets/Textures/ColorGrading/ColorCube_Scene5.png 32x1");
    EXPECT_EQ(m_Resources.m_Requests[6], "texture Assets/Textures/FX/FX_DirtyLens_1.dds");
    EXPECT_EQ(five.GetSpinVectors().GetNumMembers(), 0u);
}

TEST_F(KV27_SceneTest, SpinVectorsComeFromTheWindowsGeneratorInOrder)
{
    KV27_SceneCommon& scene = Loaded(new KV27_Scene1());
    MsvcRand rand;
    ASSERT_EQ(scene.GetSpinVectors().GetNumMembers(), 3u);
    for (std::uint32_t i = 0; i < 3; ++i)
    {
        const KB_Vector4<float>& s = scene.GetSpinVectors()[i];
        EXPECT_FLOAT_EQ(s.x, rand.SignedUnit() * 0.12f);
        EXPECT_FLOAT_EQ(s.y, rand.SignedUnit() * 0.0f);
        EXPECT_FLOAT_EQ(s.z, rand.SignedUnit() * 0.0f);
        EXPECT_FLOAT_EQ(s.w, rand.SignedUnit());
        EXPECT_LE(std::abs(s.x), 0.12f);
        EXPECT_LE(std::abs(s.w), 1.0f);
    }
    // Loading again draws a new set in place of the old one.
    scene.Load();
    ASSERT_EQ(scene.GetSpinVectors().GetNumMembers(), 3u);
    EXPECT_FLOAT_EQ(scene.GetSpinVectors()[0].x, rand.SignedUnit() * 0.12f);

    KV27_Scene2 two;
    two.Load();
    EXPECT_EQ(two.GetSpinVectors().GetNumMembers(), 4u);
    KV27_Scene3 three;
    three.Load();
    EXPECT_EQ(three.GetSpinVectors().GetNumMembers(), 1u);
}

TEST_F(KV27_SceneTest, RunningTimelineBuildsTheChainFromTheCurves)
{
    KV27_SceneCommon& scene = Loaded(new KV27_Scene2());
    scene.SetNearFarPlanes(0.25f, 300.0f);
    EXPECT_TRUE(scene.Update(1.0));

    EXPECT_EQ(m_PostFX.m_iClears, 1);
    // U[6] is (6.5, 6.25, 6.125): the colour multiplier joins the chain last.
    EXPECT_EQ(m_PostFX.m_Chain, (Chain{0, 1, 5, 8, 4, 2}));
    EXPECT_FLOAT_EQ(m_PostFX.m_Bloom.m_fStrength, 2.5f);
    const float afFocus[5] = {3.5f, 3.25f, 3.125f, 4.5f, 4.25f};
    for (int i = 0; i < 5; ++i)
        EXPECT_FLOAT_EQ(m_PostFX.m_Focus.m_fFocal[i], afFocus[i]) << i;
    ASSERT_EQ(m_PostFX.m_NearFar.size(), 1u);
    EXPECT_EQ(m_PostFX.m_NearFar[0], (std::pair<float, float>{0.25f, 300.0f}));
    EXPECT_FLOAT_EQ(m_PostFX.m_Lens.m_fStrength, 2.5f);
    EXPECT_EQ(m_PostFX.m_Lens.m_pLensTexture,
              m_Resources.View("Assets/Textures/FX/FX_DirtyLens_1.dds")->GetShaderResourceView());
    EXPECT_FLOAT_EQ(m_PostFX.m_Cubes.m_fBlend, 7.5f);
    EXPECT_EQ(m_PostFX.m_Cubes.m_pCube1,
              m_Resources.View("Assets/Textures/ColorGrading/ColorCube_Scene2.png")->GetShaderResourceView());
    EXPECT_EQ(
        m_PostFX.m_Cubes.m_pCube2,
        m_Resources.View("Assets/Textures/ColorGrading/ColorCube_Scene2_2.png")->GetShaderResourceView());
    const float afPre[4] = {0, 0, 0, 1};
    const float afMult[4] = {6.5f, 6.25f, 6.125f, 1.0f};
    for (int i = 0; i < 4; ++i)
    {
        EXPECT_FLOAT_EQ(m_PostFX.m_Offsets.m_vPre[i], afPre[i]);
        EXPECT_FLOAT_EQ(m_PostFX.m_Offsets.m_vMult[i], afMult[i]);
        EXPECT_FLOAT_EQ(m_PostFX.m_Offsets.m_vPost[i], afPre[i]);
    }
    const XMFLOAT4& clear = m_Manager.GetClearColor();
    EXPECT_EQ((std::vector<float>{clear.x, clear.y, clear.z, clear.w}), (std::vector<float>{0, 0, 0, 1}));

    // Run twice a frame (the shadow pass updates too): the same chain, not a longer one.
    scene.Update(1.0);
    EXPECT_EQ(m_PostFX.m_Chain, (Chain{0, 1, 5, 8, 4, 2}));
}

TEST_F(KV27_SceneTest, ColourMultiplierOnlyWhileActiveAndNotWhite)
{
    KV27_SceneCommon& scene = Loaded(new KV27_Scene3(), 14, 6);
    auto setMultiplier = [&](KU_VertexInterpolation* pCurve)
    {
        auto& gUser = scene.GetUserDefinedInterpolations();
        while (gUser.GetNumMembers() > 6)
        {
            delete gUser[6];
            gUser.Remove(6);
        }
        gUser.Add(pCurve);
        gUser.Add(Constant(0.75f, 0, 0)); // U[7], the cube blend
    };
    setMultiplier(Constant(1.0f, 1.0f, 1.0f));
    scene.Update(1.0);
    EXPECT_EQ(m_PostFX.m_Chain, (Chain{0, 1, 5, 8, 4}));
    EXPECT_FLOAT_EQ(m_PostFX.m_Cubes.m_fBlend, 0.75f);

    setMultiplier(Constant(0.5f, 0.5f, 0.5f, 0.0f, 1.0)); // over [0, 1): inactive at 1
    scene.Update(1.0);
    EXPECT_EQ(m_PostFX.m_Chain, (Chain{0, 1, 5, 8, 4}));

    setMultiplier(Constant(1.0f, 1.0f, 0.999f));
    scene.Update(1.0);
    EXPECT_EQ(m_PostFX.m_Chain, (Chain{0, 1, 5, 8, 4, 2}));
    EXPECT_FLOAT_EQ(m_PostFX.m_Offsets.m_vMult[2], 0.999f);
    EXPECT_FLOAT_EQ(m_PostFX.m_Offsets.m_vMult[3], 1.0f);
}

TEST_F(KV27_SceneTest, SceneFiveBlendsNothingAndHandsOneCube)
{
    KV27_SceneCommon& scene = Loaded(new KV27_Scene5(), 10, 9);
    scene.Update(1.0);
    EXPECT_FLOAT_EQ(m_PostFX.m_Cubes.m_fBlend, 0.0f); // U[7] is 7.5 but not read
    EXPECT_EQ(m_PostFX.m_Cubes.m_pCube1,
              m_Resources.View("Assets/Textures/ColorGrading/ColorCube_Scene5.png")->GetShaderResourceView());
    EXPECT_EQ(m_PostFX.m_Cubes.m_pCube2, nullptr);
    // (0, 7), (2, 8): the fragmenters' rail starts with one scalar each.
    ASSERT_EQ(m_Core.m_Vectors.size(), 2u);
    EXPECT_FLOAT_EQ(m_Core.m_Vectors[0].w, 7.5f);
    EXPECT_FLOAT_EQ(m_Core.m_Vectors[1].x, 2.0f);
    EXPECT_FLOAT_EQ(m_Core.m_Vectors[1].y, 20.0f);
    EXPECT_FLOAT_EQ(m_Core.m_Vectors[1].z, 200.0f);
    EXPECT_FLOAT_EQ(m_Core.m_Vectors[1].w, 8.5f);
}

TEST_F(KV27_SceneTest, HeldTimeEnablesNothingButRefreshesVectorsAndFrameValues)
{
    HoldTime();
    KV27_SceneCommon& scene = Loaded(new KV27_Scene4());
    scene.Update(2.0);
    EXPECT_EQ(m_PostFX.m_iClears, 0);
    EXPECT_TRUE(m_PostFX.m_Chain.empty());
    EXPECT_TRUE(m_PostFX.m_NearFar.empty());
    EXPECT_EQ(m_Core.m_iResets, 1);
    ASSERT_EQ(m_Core.m_Vectors.size(), 3u);
    const std::uint32_t pairs[3][2] = {{2, 8}, {4, 9}, {6, 10}};
    for (int i = 0; i < 3; ++i)
    {
        const float p = float(pairs[i][0]);
        EXPECT_FLOAT_EQ(m_Core.m_Vectors[i].x, p);
        EXPECT_FLOAT_EQ(m_Core.m_Vectors[i].y, 10.0f * p);
        EXPECT_FLOAT_EQ(m_Core.m_Vectors[i].z, 100.0f * p);
        EXPECT_FLOAT_EQ(m_Core.m_Vectors[i].w, float(pairs[i][1]) + 0.5f); // U[q].x
    }
    scene.Render(nullptr, 2.0, true);
    EXPECT_EQ(m_Core.m_iFrames, 1);

    // Scene1 has no shader vectors and leaves the list alone.
    KV27_Scene1 one;
    one.Update(2.0);
    EXPECT_EQ(m_Core.m_iResets, 1);
}

TEST_F(KV27_SceneTest, RenderWithoutCameraUsesTheDefaultFrame)
{
    KV27_SceneCommon& scene = Loaded(new KV27_Scene5(), 10, 9);
    scene.Update(1.0);
    ASSERT_EQ(m_PostFX.m_NearFar.size(), 1u);
    m_Resources.m_Draws.clear();
    scene.Render(nullptr, 1.0, true);

    EXPECT_EQ(m_PostFX.m_NearFar.size(), 1u); // still the scene's pair from Update
    EXPECT_EQ((std::vector<float>{m_Core.m_Position.x, m_Core.m_Position.y, m_Core.m_Position.z}),
              (std::vector<float>{0, 0, 0}));
    EXPECT_EQ((std::vector<float>{m_Core.m_Vector1.x, m_Core.m_Vector1.y, m_Core.m_Vector1.z}),
              (std::vector<float>{0, 0, 0}));
    EXPECT_FLOAT_EQ(m_Core.m_NearFar.x, 1.0f);
    EXPECT_FLOAT_EQ(m_Core.m_NearFar.y, 2000.0f);
    EXPECT_FLOAT_EQ(m_Core.m_Color0.x, 0.5f);
    EXPECT_FLOAT_EQ(m_Core.m_Color0.w, 0.0f);
    EXPECT_FLOAT_EQ(m_Core.m_Range.x, 1.5f);
    EXPECT_FLOAT_EQ(m_Core.m_Range.y, 1.25f);

    const std::vector<std::string> expected = {"Prop_Fragmenter1.DAE",       "Prop_Fragmenter2.DAE",
                                               "Prop_FloatingArtifact1.DAE", "Prop_FloatingArtifact1.DAE",
                                               "Prop_FloatingArtifact2.DAE", "Prop_FloatingArtifact2.DAE",
                                               "Prop_FloatingArtifact3.DAE", "Prop_FloatingArtifact3.DAE"};
    EXPECT_EQ(DrawnModels(), expected);
    XMFLOAT4X4 identity;
    XMStoreFloat4x4(&identity, XMMatrixIdentity());
    for (const Draw& draw : m_Resources.m_Draws)
    {
        EXPECT_EQ(draw.pass, KR_RENDER_PASS_COLOR);
        EXPECT_EQ(std::memcmp(&draw.viewProjection, &identity, sizeof(identity)), 0);
    }
    // A standing prop on V4 stands at (4, 40, 400), not turned.
    const Draw& standing = m_Resources.m_Draws[2];
    EXPECT_FLOAT_EQ(standing.world.m[3][0], 4.0f);
    EXPECT_FLOAT_EQ(standing.world.m[3][1], 40.0f);
    EXPECT_FLOAT_EQ(standing.world.m[3][2], 400.0f);
    EXPECT_FLOAT_EQ(standing.world.m[0][0], 1.0f);
}

TEST_F(KV27_SceneTest, RenderWithCameraHandsItsFrameOn)
{
    KV27_SceneCommon& scene = Loaded(new KV27_Scene5(), 10, 9);
    KR_Camera camera;
    camera.SetPosition(XMVectorSet(1.0f, 2.0f, 3.0f, 1.0f));
    camera.SetNearFarPlanes(0.5f, 750.0f);
    scene.Render(&camera, 1.0, true);
    ASSERT_EQ(m_PostFX.m_NearFar.size(), 1u);
    EXPECT_EQ(m_PostFX.m_NearFar[0], (std::pair<float, float>{0.5f, 750.0f}));
    EXPECT_FLOAT_EQ(m_Core.m_NearFar.y, 750.0f);
    EXPECT_FLOAT_EQ(m_Core.m_Position.z, 3.0f);
    EXPECT_FLOAT_EQ(m_Core.m_Vector1.y, 2.0f);
    XMFLOAT4X4 viewProjection;
    XMStoreFloat4x4(&viewProjection, camera.GetViewProjectionMatrix());
    ASSERT_FALSE(m_Resources.m_Draws.empty());
    EXPECT_EQ(std::memcmp(&m_Resources.m_Draws[0].viewProjection, &viewProjection, sizeof(viewProjection)),
              0);
}

TEST_F(KV27_SceneTest, ShadowPassDrawsWhatRenderDraws)
{
    for (KV27_SceneCommon* pScene : std::initializer_list<KV27_SceneCommon*>{
             new KV27_Scene1(), new KV27_Scene2(), new KV27_Scene3(), new KV27_Scene4(), new KV27_Scene5()})
    {
        KV27_SceneCommon& scene = Loaded(pScene);
        m_Resources.m_Draws.clear();
        scene.Render(nullptr, 3.0, true);
        const std::vector<Draw> colour = m_Resources.m_Draws;
        EXPECT_EQ(colour.size(), scene.GetTable().draws.size());
        m_Resources.m_Draws.clear();
        const XMMATRIX light = XMMatrixScaling(2.0f, 3.0f, 4.0f);
        scene.RenderModels(3.0, &light);
        ASSERT_EQ(m_Resources.m_Draws.size(), colour.size());
        XMFLOAT4X4 lightMatrix;
        XMStoreFloat4x4(&lightMatrix, light);
        for (std::size_t i = 0; i < colour.size(); ++i)
        {
            const Draw& shadow = m_Resources.m_Draws[i];
            EXPECT_EQ(shadow.sModel, colour[i].sModel);
            EXPECT_EQ(shadow.pass, KR_RENDER_PASS_SHADOW_MAP);
            EXPECT_EQ(std::memcmp(&shadow.world, &colour[i].world, sizeof(XMFLOAT4X4)), 0);
            EXPECT_EQ(std::memcmp(&shadow.viewProjection, &lightMatrix, sizeof(XMFLOAT4X4)), 0);
        }
    }
}

TEST_F(KV27_SceneTest, SpinTurnsAboutTheVerticalAxis)
{
    const XMVECTOR vPosition = XMVectorSet(1.0f, 2.0f, 3.0f, 0.0f);
    XMFLOAT4X4 still;
    XMStoreFloat4x4(
        &still, KV27_SceneCommon::SpinTransform(KB_Vector4<float>(0.0f, 0.0f, 0.0f, 0.7f), 5.0, vPosition));
    XMFLOAT4X4 expected;
    XMStoreFloat4x4(&expected, XMMatrixTranslation(1.0f, 2.0f, 3.0f));
    EXPECT_EQ(std::memcmp(&still, &expected, sizeof(expected)), 0);

    // a = 2 + 0.5, yaw = 0.1 a = 0.25 rad.
    XMFLOAT4X4 turning;
    XMStoreFloat4x4(
        &turning, KV27_SceneCommon::SpinTransform(KB_Vector4<float>(0.1f, 0.0f, 0.0f, 0.5f), 2.0, vPosition));
    XMStoreFloat4x4(&expected,
                    XMMatrixMultiply(XMMatrixRotationY(0.25f), XMMatrixTranslation(1.0f, 2.0f, 3.0f)));
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(turning.m[r][c], expected.m[r][c], 1e-6f) << r << "," << c;
}

TEST_F(KV27_SceneTest, ShortCurveListsAreNotedAndReadAsZeroOrLeftOut)
{
    // No entity files: every list is empty at Load.
    m_pScene.reset(new KV27_Scene2());
    m_pScene->SetEndTime(100.0);
    EXPECT_TRUE(m_pScene->Load());
    EXPECT_TRUE(m_pScene->HasShortCurveLists());
    KV27_SceneCommon& scene = *m_pScene;

    // Nothing at all: zero values, no prop drawn, the vectors still hold their five slots.
    scene.Update(1.0);
    EXPECT_EQ(m_PostFX.m_Chain, (Chain{0, 1, 5, 8, 4}));
    EXPECT_FLOAT_EQ(m_PostFX.m_Bloom.m_fStrength, 0.0f);
    EXPECT_EQ(m_Core.m_Vectors.size(), 5u);
    scene.Render(nullptr, 1.0, true);
    EXPECT_TRUE(m_Resources.m_Draws.empty());
    EXPECT_FLOAT_EQ(m_Core.m_Range.x, 0.0f);

    // Eight vertex and ten user-defined curves: the spinning props on V2 to V5 and the rail from
    // V6 (target V7) are drawn, the rails from V8 on are not.
    FillCurves(scene, 8, 10);
    scene.Update(1.0);
    ASSERT_EQ(m_Core.m_Vectors.size(), 5u);
    EXPECT_FLOAT_EQ(m_Core.m_Vectors[0].x, 6.0f);
    EXPECT_FLOAT_EQ(m_Core.m_Vectors[0].w, 8.5f);
    for (int i = 1; i < 5; ++i)
        EXPECT_EQ((std::vector<float>{m_Core.m_Vectors[i].x, m_Core.m_Vectors[i].y, m_Core.m_Vectors[i].z,
                                      m_Core.m_Vectors[i].w}),
                  (std::vector<float>{0, 0, 0, 0}))
            << i;
    m_Resources.m_Draws.clear();
    scene.Render(nullptr, 1.0, true);
    const std::vector<std::string> expected = {"Prop_FloatingArtifact1.DAE", "Prop_FloatingArtifact1.DAE",
                                               "Prop_FloatingArtifact2.DAE", "Prop_FloatingArtifact2.DAE",
                                               "Prop_Fragmenter1.DAE"};
    EXPECT_EQ(DrawnModels(), expected);
}

TEST_F(KV27_SceneTest, RailWhoseEndsMeetStandsUnturned)
{
    KV27_SceneCommon& scene = Loaded(new KV27_Scene5(), 0, 9);
    // Rail 0's start and target at the same point: no direction to face.
    scene.GetVertexInterpolations().Add(Constant(1.0f, 2.0f, 3.0f));
    scene.GetVertexInterpolations().Add(Constant(1.0f, 2.0f, 3.0f));
    scene.Render(nullptr, 1.0, true);
    ASSERT_EQ(DrawnModels(), std::vector<std::string>{"Prop_Fragmenter1.DAE"});
    XMFLOAT4X4 expected;
    XMStoreFloat4x4(&expected, XMMatrixTranslation(1.0f, 2.0f, 3.0f));
    EXPECT_EQ(std::memcmp(&m_Resources.m_Draws[0].world, &expected, sizeof(expected)), 0);
}

TEST_F(KV27_SceneTest, TheShowPlaysTheFiveScenesInOrder)
{
    KR_SceneManager manager;
    KV27_Show::AddScenes(&manager);
    const KB_GrowingArray<KR_Scene*>& gScenes = manager.GetAllScenes();
    ASSERT_EQ(gScenes.GetNumMembers(), 5u);
    double fStart = 0.0;
    for (std::uint32_t i = 0; i < 5; ++i)
    {
        EXPECT_TRUE(gScenes[i]->GetSceneName() == KB_String::Formatted("Scene%u", i + 1)) << i;
        EXPECT_DOUBLE_EQ(gScenes[i]->GetStartTime(), fStart);
        EXPECT_GT(gScenes[i]->GetEndTime(), fStart);
        fStart = gScenes[i]->GetEndTime();
    }
    EXPECT_DOUBLE_EQ(manager.GetTimelineEnd(), fStart);
    KV27_Show::AddScenes(nullptr); // nothing to add to
}

} // namespace
