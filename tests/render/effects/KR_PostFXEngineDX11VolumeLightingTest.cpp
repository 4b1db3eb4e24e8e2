// Volume lighting as the post-processing engine runs it: each stage's draws, targets, viewports
// and the effect variables its passes see, through the stand-ins' logs.

#include "platform/d3d11/D3D11Control.h"
#include "platform/effects11/Effects11Control.h"
#include "render/camera/KR_Camera.h"
#include "render/device/KR_GraphicsResourceManagerDX11.h"
#include "render/effects/KR_PostFXEngineDX11.h"
#include "render/light/KR_OmniLight.h"
#include "render/light/KR_SpotLight.h"
#include "tests/render/effects/PostFXTestDevice.h"
#include "tests/support/MemoryFiles.h"
#include "tests/support/TestEngine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

using namespace DirectX;

namespace
{

using enum KR_PostFXEngineDX11::Technique;

// A draw's name as the logs give it, "technique.pass", by the technique's role.
std::string PassName(KR_PostFXEngineDX11::Technique technique, std::uint32_t uiPass = 0)
{
    return std::to_string(technique) + "." + std::to_string(uiPass);
}

// One draw: the pass applied before it, its vertex count and pipeline, and what was bound.
struct Draw
{
    std::string Pass; // "technique.pass"
    double VertexCount = 0.0;
    std::vector<std::uint64_t> Targets; // render targets, then the depth view
    double Width = 0.0;
    double Height = 0.0;
    std::uint64_t RasterizerState = 0;
    Effects11Control::ApplyRecord Record;

    std::vector<float> Values(const std::string& sName) const
    {
        const Effects11Control::VariableSnapshot* p = Record.Find(sName);
        EXPECT_NE(nullptr, p) << sName;
        return p != nullptr ? p->Values : std::vector<float>{};
    }
    float Value(const std::string& sName) const
    {
        const std::vector<float> v = Values(sName);
        return v.empty() ? NAN : v[0];
    }
    std::uint64_t Resource(const std::string& sName) const
    {
        const Effects11Control::VariableSnapshot* p = Record.Find(sName);
        return p != nullptr && !p->Resources.empty() ? p->Resources[0] : 0;
    }
};

const float BLACK[4] = {0.0f, 0.0f, 0.0f, 1.0f};

class KR_PostFXEngineDX11VolumeLightingTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Effects11Control::Reset();
        std::ifstream file(std::string(KV_SOURCE_ROOT) + "/assets/Shader/KR_PostFXEngineDX11Shader.fx",
                           std::ios::binary);
        m_pRepository->SetFile(KR_PostFXEngineDX11::EFFECT_PATH,
                               {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()});
        m_files.Install();
        m_pManager = new KR_GraphicsResourceManagerDX11();
        m_engine->SetGraphicsResourceManager(m_pManager);
        m_camera.LookAt(XMVectorSet(0.0f, 0.0f, -10.0f, 1.0f), XMVectorZero(),
                        XMVectorSet(0.0f, 1.0f, 0.0f, 0.0f));
        m_record.m_pCamera = &m_camera;
        m_record.m_uiTraceSteps = 32;
        m_record.m_fTraceDistance = 101.0f;
        m_record.m_fStepScale = 2.0f;
        m_record.m_fRandomFactor = 0.5f;
    }
    void TearDown() override
    {
        m_pPostFX->ReleaseResources();
        delete m_pPostFX;
        m_engine->SetGraphicsResourceManager(nullptr);
        delete m_pManager;
        m_engine->SetFileManager(nullptr);
        EXPECT_EQ(0u, Effects11Control::GetLiveEffectCount());
    }

    void Start(std::vector<std::uint32_t> vIds)
    {
        for (std::uint32_t uiId : vIds)
            m_pPostFX->RegisterEffect(uiId);
        ASSERT_TRUE(m_pPostFX->CreateResources());
        ASSERT_TRUE(m_pPostFX->CreateSizeDependentResources());
        const float nearFar[2] = {1.0f, 500.0f};
        m_pPostFX->SetNearFarPlanes(nearFar);
    }

    KR_OmniLight* Omni(float x, bool bTube = false)
    {
        m_vOmni.push_back(std::make_unique<KR_OmniLight>());
        KR_OmniLight* p = m_vOmni.back().get();
        p->SetPosition(XMFLOAT3(x, 1.0f, 2.0f));
        p->SetTarget(XMFLOAT3(x, 6.0f, 2.0f));
        p->SetOmniFlags(bTube ? KR_OmniLight::OMNI_FLAG_TUBE_LIGHT : 0);
        p->SetMaxLightDistance(5.0f);
        return p;
    }
    KR_SpotLight* Spot(float x)
    {
        m_vSpot.push_back(std::make_unique<KR_SpotLight>());
        KR_SpotLight* p = m_vSpot.back().get();
        p->SetPosition(XMFLOAT3(x, 10.0f, 0.0f));
        p->SetTarget(XMFLOAT3(x, 0.0f, 0.0f));
        p->SetUpVector(XMFLOAT4(0.0f, 0.0f, 1.0f, 0.0f));
        p->SetMaxLightDistance(20.0f);
        return p;
    }

    // One frame with the ids enabled in order (the volume-lighting record for id 5), its draws.
    std::vector<Draw> Frame(const std::vector<std::uint32_t>& vIds)
    {
        m_pPostFX->ClearEffects();
        for (std::uint32_t uiId : vIds)
            m_pPostFX->EnableEffect(uiId, uiId == 5 ? &m_record : nullptr);
        m_device.BindBackBuffer(BLACK);
        D3D11Control::ClearCallLog();
        Effects11Control::ClearApplyLog();
        m_pPostFX->BeginFrame(BLACK);
        m_pPostFX->EndFrame();

        const std::vector<Effects11Control::ApplyRecord> vApplied = Effects11Control::GetApplyLog();
        std::vector<Draw> vDraws;
        std::vector<std::uint64_t> vTargets;
        double fWidth = 0.0, fHeight = 0.0;
        m_vCalls = D3D11Control::GetCallLog();
        for (const D3D11Control::CallRecord& call : m_vCalls)
        {
            if (call.Method == "OMSetRenderTargets" && call.Result == S_OK)
                vTargets = call.Objects;
            else if (call.Method == "RSSetViewports" && call.Values.size() >= 5)
            {
                fWidth = call.Values[3];
                fHeight = call.Values[4];
            }
            else if (call.Method == "Draw" && vDraws.size() < vApplied.size())
            {
                const Effects11Control::ApplyRecord& r = vApplied[vDraws.size()];
                vDraws.push_back({std::to_string(r.Technique) + "." + std::to_string(r.Pass), call.Values[0],
                                  vTargets, fWidth, fHeight,
                                  call.Pipeline ? call.Pipeline->RasterizerState : 0, r});
            }
        }
        EXPECT_EQ(vApplied.size(), vDraws.size());
        return vDraws;
    }

    static std::vector<std::string> Names(const std::vector<Draw>& vDraws)
    {
        std::vector<std::string> v;
        for (const Draw& draw : vDraws)
            v.push_back(draw.Pass);
        return v;
    }
    static const Draw& Find(const std::vector<Draw>& vDraws, const std::string& sPass)
    {
        for (const Draw& draw : vDraws)
            if (draw.Pass == sPass)
                return draw;
        ADD_FAILURE() << "no pass " << sPass;
        static const Draw NONE{};
        return NONE;
    }
    // Calls of that method in the last frame.
    std::size_t CallsOf(const std::string& sMethod) const
    {
        std::size_t n = 0;
        for (const D3D11Control::CallRecord& call : m_vCalls)
            n += call.Method == sMethod ? 1 : 0;
        return n;
    }
    std::uint64_t BackBufferId() const { return D3D11Control::GetObjectId(m_device.GetBackBufferView()); }

    TestEngine m_engine;
    PostFXTestDevice m_device{m_engine, 640, 360};
    MemoryFiles m_files{false};
    MemoryRepository* m_pRepository = m_files.GetRepository();
    KR_GraphicsResourceManagerDX11* m_pManager = nullptr;
    KR_PostFXEngineDX11* m_pPostFX = new KR_PostFXEngineDX11();
    KR_Camera m_camera;
    KR_VolumeLightParameters m_record;
    std::vector<std::unique_ptr<KR_OmniLight>> m_vOmni;
    std::vector<std::unique_ptr<KR_SpotLight>> m_vSpot;
    std::vector<D3D11Control::CallRecord> m_vCalls;
};

const std::vector<std::string> STAGES_2_AND_3 = {
    PassName(T_VOLUME_LIGHTING), PassName(T_VOLUME_LIGHTING, 1), PassName(T_VOLUME_LIGHTING, 5),
    PassName(T_VOLUME_LIGHTING, 6), PassName(T_VOLUME_LIGHTING, 2)};

} // namespace

TEST_F(KR_PostFXEngineDX11VolumeLightingTest, StagesDrawVolumesMarchFilterAndCompose)
{
    Start({5});
    for (int i = 0; i < 4; ++i)
        m_record.m_gSpotLights.Add(Spot(static_cast<float>(i)));
    m_record.m_gOmniLights.Add(Omni(1.0f, true));
    m_record.m_gOmniLights.Add(Omni(2.0f));
    const std::uint64_t uiRasterizerBefore =
        D3D11Control::GetBoundState(m_device.GetImmediateContext()).RasterizerState;

    const std::vector<Draw> vDraws = Frame({5});
    std::vector<std::string> vExpected = {PassName(T_VOLUME_LIGHTING, 3), PassName(T_VOLUME_LIGHTING, 3)};
    vExpected.insert(vExpected.end(), STAGES_2_AND_3.begin(), STAGES_2_AND_3.end());
    ASSERT_EQ(vExpected, Names(vDraws));

    // Stage 1: every listed light has a volume, 4 pyramids and 2 boxes, into the volume depth
    // alone, at full size, with the volume rasterizer state, which is given back afterwards.
    EXPECT_EQ(4.0 * 18.0, vDraws[0].VertexCount);
    EXPECT_EQ(2.0 * 36.0, vDraws[1].VertexCount);
    const std::uint64_t uiVolumeDepth = vDraws[0].Targets.back();
    EXPECT_EQ(std::vector<std::uint64_t>{uiVolumeDepth}, vDraws[0].Targets);
    EXPECT_NE(0u, uiVolumeDepth);
    EXPECT_EQ(640.0, vDraws[0].Width);
    EXPECT_NE(0u, vDraws[0].RasterizerState);
    EXPECT_NE(uiRasterizerBefore, vDraws[0].RasterizerState);
    EXPECT_EQ(uiRasterizerBefore,
              D3D11Control::GetBoundState(m_device.GetImmediateContext()).RasterizerState);
    XMFLOAT4X4 viewProjection;
    XMStoreFloat4x4(&viewProjection, m_camera.GetViewProjectionMatrix());
    EXPECT_EQ(std::vector<float>(&viewProjection.m[0][0], &viewProjection.m[0][0] + 16),
              vDraws[0].Values("g_mWorldViewProjection"));

    // Stage 2: the march into L0 over the volume depth, with the batches and the ray set-up.
    const Draw& march = vDraws[2];
    ASSERT_EQ(2u, march.Targets.size());
    EXPECT_EQ(uiVolumeDepth, march.Targets[1]);
    EXPECT_EQ(640.0, march.Width);
    EXPECT_EQ(3.0f, march.Value("g_iNumberOfSpotLights")); // the fourth gets a pyramid only
    EXPECT_EQ(2.0f, march.Value("g_iNumberOfOmniLights"));
    EXPECT_EQ(1.0f, march.Value("g_iNumberOfTubeLights"));
    EXPECT_EQ(1.0f, march.Values("g_vOmniLightPosition")[0]); // the tube light first
    EXPECT_EQ(2.0f, march.Values("g_vOmniLightPosition")[4]);
    EXPECT_EQ(6.0f, march.Values("g_vOmniLightPosition2")[1]);
    EXPECT_EQ(2.0f, march.Values("g_vSpotLightPosition")[8]);
    EXPECT_EQ(-1.0f, march.Values("g_vSpotLightDirection")[1]);
    EXPECT_EQ((std::vector<float>{0.0f, 0.78125f, 1.5625f, 2.34375f}), march.Values("g_fViewRayOffsets"));
    EXPECT_EQ(1.0f, march.Value("g_fNear"));
    EXPECT_EQ(101.0f, march.Value("g_fFar"));
    EXPECT_EQ(32.0f, march.Value("g_iTraceSteps"));
    EXPECT_EQ(2.0f / 128.0f, march.Value("g_fTraceStepFactor"));
    const float h = std::tan(m_camera.GetFOV() * 0.5f * 0.017453292f);
    const float w = m_camera.GetAspectRatio() * h;
    const std::vector<float> vCorners = march.Values("g_vFrustrumCorners");
    ASSERT_EQ(12u, vCorners.size());
    const float afExpected[3][3] = {{-w, h, -9.0f}, {w, h, -9.0f}, {-w, -h, -9.0f}};
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 3; ++j)
            EXPECT_NEAR(afExpected[k][j], vCorners[k * 4 + j], 1e-5f) << k << " " << j;

    // Stage 3: L0 -> L1 -> L2 -> L1 at half size, then L1 onto the scene into the back buffer.
    const Draw& down = vDraws[3];
    const Draw& first = vDraws[4];
    const Draw& second = vDraws[5];
    const Draw& compose = vDraws[6];
    for (const Draw* p : {&down, &first, &second})
    {
        EXPECT_EQ(320.0, p->Width) << p->Pass;
        EXPECT_EQ(180.0, p->Height) << p->Pass;
        EXPECT_EQ(0u, p->Targets.back()) << p->Pass; // no depth
    }
    const std::uint64_t uiL0 = march.Targets[0], uiL1 = down.Targets[0], uiL2 = first.Targets[0];
    EXPECT_TRUE(uiL0 != uiL1 && uiL1 != uiL2 && uiL0 != uiL2 && uiL0 != 0 && uiL1 != 0 && uiL2 != 0);
    EXPECT_EQ(uiL1, second.Targets[0]);
    // What each reads: L0, L1, L2, and L1 again in the composite.
    const std::uint64_t uiReadL1 = first.Resource("g_tSourceTexture1");
    EXPECT_NE(uiReadL1, down.Resource("g_tSourceTexture1"));
    EXPECT_NE(uiReadL1, second.Resource("g_tSourceTexture1"));
    EXPECT_EQ(uiReadL1, compose.Resource("g_tSourceTexture1"));
    EXPECT_NE(0u, compose.Resource("g_tSourceTexture2"));
    EXPECT_EQ(BackBufferId(), compose.Targets[0]);
    EXPECT_EQ(640.0, compose.Width);

    // The next frame rebuilds the volumes without leaking the old buffers or the saved state.
    const std::size_t uiLive = D3D11Control::GetLiveObjectCount();
    EXPECT_EQ(vExpected, Names(Frame({5})));
    EXPECT_EQ(uiLive, D3D11Control::GetLiveObjectCount());
}

TEST_F(KR_PostFXEngineDX11VolumeLightingTest, NoLightsStillClearsTheTargetsAndMarchesWithNone)
{
    Start({5});
    const std::vector<Draw> vDraws = Frame({5});
    EXPECT_EQ(STAGES_2_AND_3, Names(vDraws));
    ASSERT_FALSE(vDraws.empty());
    EXPECT_EQ(0.0f, vDraws[0].Value("g_iNumberOfSpotLights"));
    EXPECT_EQ(0.0f, vDraws[0].Value("g_iNumberOfOmniLights"));
    EXPECT_EQ(0.0f, vDraws[0].Value("g_iNumberOfTubeLights"));
    // The scene's colour target, then L0, L1 and L2.
    EXPECT_EQ(4u, CallsOf("ClearRenderTargetView"));
    EXPECT_EQ(BackBufferId(), vDraws.back().Targets[0]);

    // A record without steps marches nothing, and no constant becomes infinite.
    m_record.m_uiTraceSteps = 0;
    const Draw march = Find(Frame({5}), PassName(T_VOLUME_LIGHTING));
    EXPECT_EQ(0.0f, march.Value("g_iTraceSteps"));
    EXPECT_TRUE(std::isfinite(march.Value("g_fTraceStepFactor")));
    for (float f : march.Values("g_fViewRayOffsets"))
        EXPECT_TRUE(std::isfinite(f));
}

TEST_F(KR_PostFXEngineDX11VolumeLightingTest, ManyTubeLightsFirstStayWithinTheEffectsArrays)
{
    Start({5});
    for (int i = 0; i < 40; ++i)
        m_record.m_gOmniLights.Add(Omni(100.0f + i, true));
    for (int i = 0; i < 5; ++i)
        m_record.m_gOmniLights.Add(Omni(static_cast<float>(i)));
    const std::vector<Draw> vDraws = Frame({5});
    const Draw& march = Find(vDraws, PassName(T_VOLUME_LIGHTING));
    // Every light has its box.
    EXPECT_EQ(45.0 * 36.0, Find(vDraws, PassName(T_VOLUME_LIGHTING, 3)).VertexCount);
    EXPECT_EQ(32.0f, march.Value("g_iNumberOfOmniLights"));
    EXPECT_EQ(32.0f, march.Value("g_iNumberOfTubeLights"));
    // The arrays were taken, not refused: they hold the first 32 tube lights in order.
    const std::vector<float> vPositions = march.Values("g_vOmniLightPosition");
    ASSERT_EQ(32u * 4u, vPositions.size());
    EXPECT_EQ(100.0f, vPositions[0]);
    EXPECT_EQ(131.0f, vPositions[31 * 4]);
    EXPECT_EQ(131.0f, march.Values("g_vOmniLightPosition2")[31 * 4]);
}

TEST_F(KR_PostFXEngineDX11VolumeLightingTest, AfterBloomTheVolumeStagesCoverTheWholeScreen)
{
    m_device.SetSize(1366, 768);
    Start({0, 5, 2});
    m_record.m_gOmniLights.Add(Omni(0.0f));
    const std::vector<Draw> vDraws = Frame({0, 5, 2});
    // Bloom ends on a target of 4 x (1366 / 4) = 1364 columns.
    EXPECT_EQ(1364.0, Find(vDraws, PassName(T_COMPOSE_BLOOM)).Width);
    EXPECT_EQ(1366.0, Find(vDraws, PassName(T_VOLUME_LIGHTING, 3)).Width);
    EXPECT_EQ(1366.0, Find(vDraws, PassName(T_VOLUME_LIGHTING)).Width);
    EXPECT_EQ(683.0, Find(vDraws, PassName(T_VOLUME_LIGHTING, 1)).Width);
    // Not last: the composite goes into an image of its own, which the next effect reads.
    const Draw& compose = Find(vDraws, PassName(T_VOLUME_LIGHTING, 2));
    const Draw& offsets = Find(vDraws, PassName(T_COLOR_OFFSETS));
    EXPECT_NE(BackBufferId(), compose.Targets[0]);
    EXPECT_EQ(1364.0, compose.Width);
    EXPECT_NE(0u, offsets.Resource("g_tSourceTexture1"));
    EXPECT_EQ(BackBufferId(), offsets.Targets[0]);
}

TEST_F(KR_PostFXEngineDX11VolumeLightingTest, WithoutACameraTheEffectDoesNothing)
{
    Start({0, 5});
    m_record.m_pCamera = nullptr;
    m_record.m_gOmniLights.Add(Omni(0.0f));
    const std::vector<Draw> vDraws = Frame({0, 5});
    EXPECT_EQ((std::vector<std::string>{PassName(T_DOWNSAMPLE_QUARTER), PassName(T_BRIGHT_PASS),
                                        PassName(T_BLOOM_BLUR_FIRST), PassName(T_BLOOM_BLUR_SECOND),
                                        PassName(T_BLOOM_BLUR_FIRST), PassName(T_BLOOM_BLUR_SECOND),
                                        PassName(T_COMPOSE_BLOOM)}),
              Names(vDraws));
    EXPECT_EQ(BackBufferId(), vDraws.back().Targets[0]);
    EXPECT_EQ(0u, CallsOf("RSGetState"));
    EXPECT_EQ(1u, CallsOf("ClearDepthStencilView")); // the scene's own
}
