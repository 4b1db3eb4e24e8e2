#include "render/effects/KR_PostFXEngineDX11.h"

#include "platform/d3d11/D3D11Control.h"
#include "platform/d3dx11/d3dx11.h"
#include "platform/effects11/Effects11Control.h"
#include "platform/win32/Win32Control.h"
#include "platform/win32/Windows.h"
#include "render/camera/KR_Camera.h"
#include "render/device/KR_GraphicsResourceManagerDX11.h"
#include "tests/render/effects/PostFXTestDevice.h"
#include "tests/support/MemoryFiles.h"
#include "tests/support/SaveFailureLines.h"
#include "tests/support/TestEngine.h"
#include "tests/support/TestTempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace
{

using enum KR_PostFXEngineDX11::Technique;

// A draw's name as the logs give it, "technique.pass", by the technique's role.
std::string PassName(KR_PostFXEngineDX11::Technique technique, std::uint32_t uiPass = 0)
{
    return std::to_string(technique) + "." + std::to_string(uiPass);
}

std::string ReadSourceFile(const std::string& sRelative)
{
    std::ifstream file(std::string(KV_SOURCE_ROOT) + "/" + sRelative, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The text with the whole lines that begin with the two markers exchanged.
std::string SwapLines(std::string sText, const std::string& sFirst, const std::string& sSecond)
{
    const std::size_t uiFirst = sText.find(sFirst);
    const std::size_t uiSecond = sText.find(sSecond);
    EXPECT_TRUE(uiFirst != std::string::npos && uiSecond != std::string::npos && uiFirst < uiSecond);
    if (uiFirst == std::string::npos || uiSecond == std::string::npos || uiFirst >= uiSecond)
        return sText;
    const std::size_t uiFirstLength = sText.find('\n', uiFirst) - uiFirst;
    const std::size_t uiSecondLength = sText.find('\n', uiSecond) - uiSecond;
    const std::string sSecondLine = sText.substr(uiSecond, uiSecondLength);
    sText.replace(uiSecond, uiSecondLength, sText.substr(uiFirst, uiFirstLength));
    sText.replace(uiFirst, uiFirstLength, sSecondLine);
    return sText;
}

std::string ReplaceFirst(std::string sText, const std::string& sOld, const std::string& sNew)
{
    const std::size_t uiAt = sText.find(sOld);
    EXPECT_NE(std::string::npos, uiAt) << sOld;
    if (uiAt != std::string::npos)
        sText.replace(uiAt, sOld.size(), sNew);
    return sText;
}

// One drawn pass: what was applied, into which target, at which size, with which variables.
struct DrawnPass
{
    std::string Pass; // "technique.pass"
    std::uint64_t Target = 0;
    double Width = 0.0;
    double Height = 0.0;
    Effects11Control::ApplyRecord Record;

    const Effects11Control::VariableSnapshot& Variable(const std::string& sName) const
    {
        const Effects11Control::VariableSnapshot* p = Record.Find(sName);
        EXPECT_NE(nullptr, p) << sName;
        static const Effects11Control::VariableSnapshot NONE{};
        return p != nullptr ? *p : NONE;
    }
    std::vector<float> Values(const std::string& sName) const { return Variable(sName).Values; }
    std::uint64_t Resource(const std::string& sName) const
    {
        const std::vector<std::uint64_t>& v = Variable(sName).Resources;
        return v.empty() ? 0 : v[0];
    }
};

// The pool with a count of the handles it has handed out and not had back.
class CountingResourceManager : public KR_GraphicsResourceManagerDX11
{
public:
    std::uint32_t AcquireTexture(const KR_TextureResourceDescription* pDescription) override
    {
        const std::uint32_t uiHandle = KR_GraphicsResourceManagerDX11::AcquireTexture(pDescription);
        if (uiHandle != INVALID_HANDLE)
            m_held.insert(uiHandle);
        return uiHandle;
    }
    void ReleaseTexture(std::uint32_t* pHandle) override
    {
        EXPECT_TRUE(pHandle != nullptr && m_held.erase(*pHandle) == 1) << "a texture given back twice";
        KR_GraphicsResourceManagerDX11::ReleaseTexture(pHandle);
    }
    std::size_t GetHeldCount() const { return m_held.size(); }

private:
    std::set<std::uint32_t> m_held;
};

// Runs the test's passes in place of each effect of the chain: the passes no sequence uses.
class PassSetEngine : public KR_PostFXEngineDX11
{
public:
    using KR_PostFXEngineDX11::ComposeHalf;
    using KR_PostFXEngineDX11::DownsampleHalf;
    using KR_PostFXEngineDX11::UpsampleHalf;
    using KR_PostFXEngineDX11::UpsampleQuarter;

    std::function<void(PassSetEngine&, bool)> m_run;

protected:
    void RunEffect(std::uint32_t, bool bLast) override { m_run(*this, bLast); }
};

const float CLEAR[4] = {0.25f, 0.5f, 0.75f, 1.0f};
const float BACK_BUFFER_CLEAR[4] = {1.0f, 0.0f, 0.0f, 1.0f};

class KR_PostFXEngineDX11Test : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Effects11Control::Reset();
        Win32Control::Reset();
        Win32Control::SetMessageBoxResponder([](const Win32Control::MessageBoxRecord&) { return IDOK; });
        m_pRepository->SetFile(KR_PostFXEngineDX11::EFFECT_PATH,
                               ReadSourceFile("assets/Shader/KR_PostFXEngineDX11Shader.fx"));
        m_files.Install();
        m_pManager = new CountingResourceManager();
        m_engine->SetGraphicsResourceManager(m_pManager);
    }

    void TearDown() override
    {
        m_pPostFX->ReleaseResources();
        m_pPostFX->ReleaseSizeDependentResources();
        delete m_pPostFX;
        m_engine->SetGraphicsResourceManager(nullptr);
        delete m_pManager;
        m_engine->SetFileManager(nullptr);
        EXPECT_EQ(0u, Effects11Control::GetLiveEffectCount());
        Win32Control::Reset();
    }

    void Start(std::vector<std::uint32_t> vIds = {0})
    {
        for (std::uint32_t uiId : vIds)
            m_pPostFX->RegisterEffect(uiId);
        ASSERT_TRUE(m_pPostFX->CreateResources());
        ASSERT_TRUE(m_pPostFX->CreateSizeDependentResources());
        ASSERT_TRUE(m_pPostFX->IsRunning());
    }

    // A new engine and a new pool (which compiles the effect file again), as a new run has them.
    void Restart()
    {
        m_pPostFX->ReleaseResources();
        delete m_pPostFX;
        m_pPostFX = new KR_PostFXEngineDX11();
        m_engine->SetGraphicsResourceManager(nullptr);
        delete m_pManager;
        m_pManager = new CountingResourceManager();
        m_engine->SetGraphicsResourceManager(m_pManager);
    }

    // Pooled textures taken and not given back: the three light targets between frames.
    std::size_t HeldObjects() const { return m_pManager->GetHeldCount(); }

    // One frame with the ids enabled in order (null records unless given), the passes drawn.
    std::vector<DrawnPass> Frame(const std::vector<std::pair<std::uint32_t, const void*>>& vEnabled)
    {
        m_pPostFX->ClearEffects();
        for (const auto& [uiId, pRecord] : vEnabled)
            m_pPostFX->EnableEffect(uiId, pRecord);
        m_device.BindBackBuffer(BACK_BUFFER_CLEAR);
        D3D11Control::ClearCallLog();
        Effects11Control::ClearApplyLog();
        m_pPostFX->BeginFrame(CLEAR);
        m_pPostFX->EndFrame();
        return Passes();
    }

    // The draws since the logs were cleared, each with its apply record.
    std::vector<DrawnPass> Passes() const
    {
        const std::vector<Effects11Control::ApplyRecord> vApplied = Effects11Control::GetApplyLog();
        std::vector<DrawnPass> vPasses;
        std::uint64_t uiTarget = 0;
        double fWidth = 0.0, fHeight = 0.0;
        for (const D3D11Control::CallRecord& call : D3D11Control::GetCallLog())
        {
            if (call.Method == "OMSetRenderTargets" && call.Result == S_OK)
                uiTarget = call.Objects[0];
            else if (call.Method == "RSSetViewports" && call.Values.size() >= 5)
            {
                fWidth = call.Values[3];
                fHeight = call.Values[4];
            }
            else if (call.Method == "Draw" && vPasses.size() < vApplied.size())
            {
                const Effects11Control::ApplyRecord& record = vApplied[vPasses.size()];
                vPasses.push_back({std::to_string(record.Technique) + "." + std::to_string(record.Pass),
                                   uiTarget, fWidth, fHeight, record});
            }
        }
        EXPECT_EQ(vApplied.size(), vPasses.size());
        return vPasses;
    }

    static std::vector<std::string> Names(const std::vector<DrawnPass>& vPasses)
    {
        std::vector<std::string> v;
        for (const DrawnPass& pass : vPasses)
            v.push_back(pass.Pass);
        return v;
    }

    std::uint64_t BackBufferId() const { return D3D11Control::GetObjectId(m_device.GetBackBufferView()); }

    // The view the pool reads a pooled target through; 0 when the target is not pooled.
    std::uint64_t ViewOfTarget(std::uint64_t uiTarget) const
    {
        for (std::uint32_t i = 0; i < 64; ++i)
            if (uiTarget != 0 && D3D11Control::GetObjectId(m_pManager->GetRenderTargetView(i, 0)) == uiTarget)
                return D3D11Control::GetObjectId(m_pManager->GetShaderResourceView(i));
        return 0;
    }

    TestEngine m_engine;
    PostFXTestDevice m_device{m_engine, 640, 360};
    MemoryFiles m_files{false};
    MemoryRepository* m_pRepository = m_files.GetRepository();
    CountingResourceManager* m_pManager = nullptr;
    KR_PostFXEngineDX11* m_pPostFX = new KR_PostFXEngineDX11();
};

const std::vector<std::string> BLOOM = {PassName(T_DOWNSAMPLE_QUARTER), PassName(T_BRIGHT_PASS),
                                        PassName(T_BLOOM_BLUR_FIRST),   PassName(T_BLOOM_BLUR_SECOND),
                                        PassName(T_BLOOM_BLUR_FIRST),   PassName(T_BLOOM_BLUR_SECOND),
                                        PassName(T_COMPOSE_BLOOM)};
const std::vector<std::string> DEPTH_OF_FIELD = {PassName(T_DOWNSAMPLE_QUARTER),
                                                 PassName(T_BLUR_FIRST),
                                                 PassName(T_BLUR_SECOND),
                                                 PassName(T_BLUR_FIRST),
                                                 PassName(T_BLUR_SECOND),
                                                 PassName(T_DOWNSAMPLE_QUARTER),
                                                 PassName(T_BLUR_FIRST),
                                                 PassName(T_BLUR_SECOND),
                                                 PassName(T_BLUR_FIRST),
                                                 PassName(T_BLUR_SECOND),
                                                 PassName(T_COMPOSE_DEPTH_OF_FIELD)};
const std::vector<std::string> DIRTY_LENS = {PassName(T_DOWNSAMPLE_QUARTER), PassName(T_BRIGHT_PASS),
                                             PassName(T_DIRTY_LENS),         PassName(T_BLOOM_BLUR_FIRST),
                                             PassName(T_BLOOM_BLUR_SECOND),  PassName(T_DIRTY_LENS, 1)};

} // namespace

TEST_F(KR_PostFXEngineDX11Test, WithoutARegisteredEffectNothingIsMadeAndFramesLeaveTheBackBuffer)
{
    ASSERT_TRUE(m_pPostFX->CreateResources());
    ASSERT_TRUE(m_pPostFX->CreateSizeDependentResources());
    EXPECT_EQ(0u, Effects11Control::GetCreateCount());
    EXPECT_FALSE(m_pPostFX->IsRunning());
    EXPECT_TRUE(Frame({{0, nullptr}}).empty());
    EXPECT_EQ(0u, D3D11Control::GetCallCount("OMGetRenderTargets"));
    EXPECT_EQ(0u, D3D11Control::GetCallCount("OMSetRenderTargets") - 1); // the test's own binding
    EXPECT_EQ(m_device.GetDepthStencilTexture(), m_pPostFX->GetDepthStencilTexture());
    EXPECT_EQ(m_device.GetDepthShaderResourceView(), m_pPostFX->GetDepthStencilSRV());
}

TEST_F(KR_PostFXEngineDX11Test, AMissingEffectFileLeavesTheChainOff)
{
    m_pRepository->RemoveAllFiles();
    m_pPostFX->RegisterEffect(0);
    EXPECT_FALSE(m_pPostFX->CreateResources());
    EXPECT_TRUE(m_pPostFX->CreateSizeDependentResources());
    EXPECT_FALSE(m_pPostFX->IsRunning());
    const std::size_t uiLive = D3D11Control::GetLiveObjectCount();
    EXPECT_TRUE(Frame({{0, nullptr}, {4, nullptr}}).empty());
    EXPECT_EQ(0u, D3D11Control::GetCallCount("OMGetRenderTargets"));
    EXPECT_EQ(uiLive, D3D11Control::GetLiveObjectCount());
}

TEST_F(KR_PostFXEngineDX11Test, AnEffectFileWhoseTechniquesAreNotTheRolesLeavesTheChainOff)
{
    const std::string sEffect = ReadSourceFile("assets/Shader/KR_PostFXEngineDX11Shader.fx");
    // Each edit still compiles; the engine would address the techniques by the wrong positions.
    const std::pair<const char*, std::string> aEdits[] = {
        {"two techniques swapped", SwapLines(sEffect, "technique11 BlurFirst ", "technique11 BlurSecond ")},
        {"two techniques of different passes swapped",
         SwapLines(sEffect, "technique11 ComposeBloom ", "technique11 ColorOffsets ")},
        {"one renamed", ReplaceFirst(sEffect, "technique11 BrightPass ", "technique11 Brightness ")},
        {"the last one missing", sEffect.substr(0, sEffect.find("technique11 DirtyLens"))},
        {"one more", sEffect + "technique11 Extra { pass P0 { KR_SCREEN_PASS(PS_Copy); } }\n"}};
    for (const auto& [pEdit, sText] : aEdits)
    {
        SCOPED_TRACE(pEdit);
        ASSERT_NE(sEffect, sText);
        Restart();
        m_pRepository->SetFile(KR_PostFXEngineDX11::EFFECT_PATH, sText);
        m_pPostFX->RegisterEffect(KR_POSTFX_BLOOM);
        // As with a missing file: false, the chain off, the scene keeps the back buffer.
        EXPECT_FALSE(m_pPostFX->CreateResources());
        EXPECT_EQ(1u, Effects11Control::GetLiveEffectCount()); // it did compile
        EXPECT_TRUE(m_pPostFX->CreateSizeDependentResources());
        EXPECT_FALSE(m_pPostFX->IsRunning());
        const std::size_t uiLive = D3D11Control::GetLiveObjectCount();
        EXPECT_TRUE(Frame({{KR_POSTFX_BLOOM, nullptr}, {KR_POSTFX_COLOR_OFFSETS, nullptr}}).empty());
        EXPECT_EQ(0u, D3D11Control::GetCallCount("OMGetRenderTargets"));
        EXPECT_EQ(uiLive, D3D11Control::GetLiveObjectCount());
    }
    // The file as it is runs.
    Restart();
    m_pRepository->SetFile(KR_PostFXEngineDX11::EFFECT_PATH, sEffect);
    Start();
    EXPECT_EQ(BLOOM, Names(Frame({{KR_POSTFX_BLOOM, nullptr}})));
}

TEST_F(KR_PostFXEngineDX11Test, ChainKeepsFirstPositionsAndTheLastRecord)
{
    Start();
    const KR_BloomParameters weak{0.5f};
    const KR_BloomParameters strong{2.0f};
    m_pPostFX->EnableEffect(0, &weak);
    m_pPostFX->EnableEffect(1, nullptr);
    m_pPostFX->EnableEffect(0, &strong);
    TestTempDir dir;
    m_pPostFX->EnableEffect(7, dir.Join("shot.png").c_str()); // pending, not chained
    ASSERT_EQ(2u, m_pPostFX->GetChain().GetNumMembers());
    EXPECT_EQ(0u, m_pPostFX->GetChain()[0]);
    EXPECT_EQ(1u, m_pPostFX->GetChain()[1]);
    EXPECT_FALSE(m_pPostFX->DisableEffect(4));
    EXPECT_EQ(2u, m_pPostFX->GetChain().GetNumMembers());
    EXPECT_TRUE(m_pPostFX->DisableEffect(0));
    EXPECT_EQ(1u, m_pPostFX->GetChain()[0]);
    m_pPostFX->ClearEffects();
    EXPECT_EQ(0u, m_pPostFX->GetChain().GetNumMembers());
    EXPECT_EQ(16u, m_pPostFX->GetChain().GetCapacity());

    const std::vector<DrawnPass> vPasses = Frame({{0, &weak}, {2, nullptr}, {0, &strong}});
    ASSERT_EQ(9u, vPasses.size());
    EXPECT_EQ(std::vector<float>{2.0f}, vPasses[2].Values("g_fBloomStrength"));
    EXPECT_EQ(PassName(T_COLOR_OFFSETS), vPasses[7].Pass);
    EXPECT_EQ(PassName(T_COPY), vPasses[8].Pass); // the screenshot, always last
}

TEST_F(KR_PostFXEngineDX11Test, EachEffectAloneEndsInTheBackBufferAndGivesEveryTextureBack)
{
    Start();
    EXPECT_EQ(3u, HeldObjects());
    m_device.BindBackBuffer(BACK_BUFFER_CLEAR);
    const ULONG uiBackBufferRefs = D3D11Control::GetRefCount(m_device.GetBackBufferView());
    const std::vector<std::pair<std::uint32_t, std::vector<std::string>>> vEffects = {
        {0, BLOOM},
        {1, DEPTH_OF_FIELD},
        {2, {PassName(T_COLOR_OFFSETS)}},
        {3, {PassName(T_DEPTH_FILTER), PassName(T_BLUR_FIRST), PassName(T_BLUR_SECOND), PassName(T_COMPOSE)}},
        {4, {PassName(T_COLOR_CUBES)}},
        {6, {PassName(T_RGB_UV_SCALE), PassName(T_RGB_UV_SCALE, 1)}},
        {8, DIRTY_LENS}};
    for (const auto& [uiId, vExpected] : vEffects)
    {
        SCOPED_TRACE(uiId);
        const std::vector<DrawnPass> vPasses = Frame({{uiId, nullptr}});
        EXPECT_EQ(vExpected, Names(vPasses));
        ASSERT_FALSE(vPasses.empty());
        EXPECT_EQ(BackBufferId(), vPasses.back().Target);
        EXPECT_EQ(640.0, vPasses.back().Width);
        for (std::size_t i = 0; i + 1 < vPasses.size(); ++i)
            EXPECT_NE(BackBufferId(), vPasses[i].Target) << vPasses[i].Pass;
        EXPECT_EQ(3u, HeldObjects());
        EXPECT_EQ(uiBackBufferRefs, D3D11Control::GetRefCount(m_device.GetBackBufferView()));
        EXPECT_EQ(BackBufferId(),
                  D3D11Control::GetBoundState(m_device.GetImmediateContext()).RenderTargets[0]);
    }
}

TEST_F(KR_PostFXEngineDX11Test, TheProductionChainWithAScreenshotBalancesThePool)
{
    Start({0, 1, 5, 8, 4, 2});
    TestTempDir dir;
    m_device.BindBackBuffer(BACK_BUFFER_CLEAR);
    const ULONG uiBackBufferRefs = D3D11Control::GetRefCount(m_device.GetBackBufferView());
    m_pPostFX->EnableEffect(7, dir.Join("shot.png").c_str());
    // Volume lighting without a camera draws nothing and is left out.
    const std::vector<DrawnPass> vPasses =
        Frame({{0, nullptr}, {1, nullptr}, {5, nullptr}, {8, nullptr}, {4, nullptr}, {2, nullptr}});
    std::vector<std::string> vExpected = BLOOM;
    vExpected.insert(vExpected.end(), DEPTH_OF_FIELD.begin(), DEPTH_OF_FIELD.end());
    vExpected.insert(vExpected.end(), DIRTY_LENS.begin(), DIRTY_LENS.end());
    vExpected.insert(vExpected.end(), {PassName(T_COLOR_CUBES), PassName(T_COLOR_OFFSETS), PassName(T_COPY)});
    EXPECT_EQ(vExpected, Names(vPasses));
    EXPECT_EQ(BackBufferId(), vPasses.back().Target);
    EXPECT_NE(BackBufferId(), vPasses[vPasses.size() - 2].Target);
    EXPECT_TRUE(std::ifstream(dir.Join("shot.png")).good());
    EXPECT_EQ(3u, HeldObjects());
    EXPECT_EQ(uiBackBufferRefs, D3D11Control::GetRefCount(m_device.GetBackBufferView()));
    EXPECT_EQ(0u, m_pPostFX->GetChain().GetNumMembers());
    // Shutdown gives back the light targets too.
    m_pPostFX->ReleaseResources();
    EXPECT_EQ(0u, HeldObjects());
    EXPECT_FALSE(m_pPostFX->IsRunning());
}

TEST_F(KR_PostFXEngineDX11Test, BloomSizesOnAWidthNotDivisibleByFour)
{
    m_device.SetSize(1366, 768);
    Start();
    std::vector<DrawnPass> vPasses = Frame({{0, nullptr}});
    ASSERT_EQ(BLOOM, Names(vPasses));
    EXPECT_EQ(341.0, vPasses[0].Width);
    EXPECT_EQ(192.0, vPasses[0].Height);
    EXPECT_EQ(1366.0, vPasses.back().Width);
    const std::vector<float> vSize = vPasses[0].Values("g_vTextureSize");
    EXPECT_FLOAT_EQ(1.0f / 1366.0f, vSize[0]);
    EXPECT_FLOAT_EQ(1.0f / 341.0f, vSize[2]);

    vPasses = Frame({{0, nullptr}, {2, nullptr}});
    ASSERT_EQ(8u, vPasses.size());
    EXPECT_EQ(1364.0, vPasses[6].Width);
    EXPECT_NE(BackBufferId(), vPasses[6].Target);
    // The composite becomes the scene image the colour offsets read.
    EXPECT_NE(0u, vPasses[7].Resource("g_tSourceTexture1"));
    EXPECT_EQ(1366.0, vPasses[7].Width);
}

TEST_F(KR_PostFXEngineDX11Test, HalfAndQuarterPassesDrawTheirTechniquesAtTheirSizes)
{
    delete m_pPostFX;
    auto* pEngine = new PassSetEngine();
    m_pPostFX = pEngine;
    Start();
    struct Expected
    {
        std::string sPass;
        double fWidth, fHeight;
        bool bReadsScene; // "g_tSourceTexture2" is the scene image, else null
    };
    auto check = [this](const std::vector<DrawnPass>& vPasses, const std::vector<Expected>& vExpected)
    {
        ASSERT_EQ(vExpected.size(), vPasses.size());
        const std::uint64_t uiScene = vPasses[0].Resource("g_tSourceTexture1");
        EXPECT_NE(0u, uiScene);
        for (std::size_t i = 0; i < vPasses.size(); ++i)
        {
            SCOPED_TRACE(i);
            EXPECT_EQ(vExpected[i].sPass, vPasses[i].Pass);
            EXPECT_EQ(vExpected[i].fWidth, vPasses[i].Width);
            EXPECT_EQ(vExpected[i].fHeight, vPasses[i].Height);
            EXPECT_EQ(vExpected[i].bReadsScene ? uiScene : 0u, vPasses[i].Resource("g_tSourceTexture2"));
            // Each pass reads what the one before drew.
            const std::uint64_t uiRead = i > 0 ? ViewOfTarget(vPasses[i - 1].Target) : uiScene;
            EXPECT_EQ(uiRead, vPasses[i].Resource("g_tSourceTexture1"));
        }
        // Unlike the quarter reduction, the half one binds the scene depth.
        const std::uint64_t uiDepth = D3D11Control::GetObjectId(m_pPostFX->GetDepthStencilSRV());
        EXPECT_EQ(uiDepth, vPasses[0].Resource("g_tDepthTexture"));
        EXPECT_EQ(3u, HeldObjects());
    };

    // The half image, four times larger, halved again, then composed as the chain's last pass.
    pEngine->m_run = [](PassSetEngine& engine, bool bLast)
    {
        EXPECT_TRUE(engine.DownsampleHalf());
        EXPECT_TRUE(engine.UpsampleQuarter());
        EXPECT_TRUE(engine.DownsampleHalf());
        EXPECT_TRUE(engine.ComposeHalf(bLast));
    };
    std::vector<DrawnPass> vPasses = Frame({{0, nullptr}});
    check(vPasses, {{PassName(T_DOWNSAMPLE_HALF), 320, 180, false},
                    {PassName(T_UPSAMPLE_QUARTER), 1280, 720, false},
                    {PassName(T_DOWNSAMPLE_HALF), 640, 360, false},
                    {PassName(T_COMPOSE_HALF), 640, 360, true}});
    for (std::size_t i = 0; i + 1 < vPasses.size(); ++i)
        EXPECT_NE(BackBufferId(), vPasses[i].Target);
    EXPECT_EQ(BackBufferId(), vPasses.back().Target);

    // Not last, the composite is drawn at twice the source into a pooled target and becomes the
    // scene image.
    pEngine->m_run = [](PassSetEngine& engine, bool)
    {
        EXPECT_TRUE(engine.DownsampleHalf());
        EXPECT_TRUE(engine.UpsampleHalf());
        EXPECT_TRUE(engine.ComposeHalf(false));
        EXPECT_TRUE(engine.DownsampleHalf());
    };
    vPasses = Frame({{0, nullptr}});
    check(vPasses, {{PassName(T_DOWNSAMPLE_HALF), 320, 180, false},
                    {PassName(T_UPSAMPLE_HALF), 640, 360, false},
                    {PassName(T_COMPOSE_HALF), 1280, 720, true},
                    {PassName(T_DOWNSAMPLE_HALF), 640, 360, false}});
    for (const DrawnPass& pass : vPasses)
        EXPECT_NE(BackBufferId(), pass.Target);
}

TEST_F(KR_PostFXEngineDX11Test, NullRecordsResetOrKeepAsEachEffectDefines)
{
    Start();
    const KR_ColorOffsetParameters offsets{{0.1f, 0.2f, 0.3f, 0.4f}, {1, 1, 1, 1}, {0.5f, 0.5f, 0.5f, 0.5f}};
    const KR_BloomParameters bloom{3.0f};
    Frame({{2, &offsets}, {0, &bloom}});
    const std::vector<DrawnPass> vPasses = Frame({{2, nullptr}, {0, nullptr}});
    ASSERT_EQ(8u, vPasses.size());
    EXPECT_EQ((std::vector<float>{0.1f, 0.2f, 0.3f, 0.4f}), vPasses[0].Values("g_vFXPreColorOffset"));
    EXPECT_EQ((std::vector<float>{0.5f, 0.5f, 0.5f, 0.5f}), vPasses[0].Values("g_vFXPostColorOffset"));
    EXPECT_EQ(std::vector<float>{1.0f}, vPasses[3].Values("g_fBloomStrength"));
}

TEST_F(KR_PostFXEngineDX11Test, APassWhoseTargetCannotBeMadeIsSkipped)
{
    Start();
    // The pool cannot make the first reduction's target: bloom goes on from the image it has.
    D3D11Control::FailNext("CreateTexture2D");
    const std::vector<DrawnPass> vPasses = Frame({{0, nullptr}});
    ASSERT_EQ((std::vector<std::string>{PassName(T_BRIGHT_PASS), PassName(T_BLOOM_BLUR_FIRST),
                                        PassName(T_BLOOM_BLUR_SECOND), PassName(T_BLOOM_BLUR_FIRST),
                                        PassName(T_BLOOM_BLUR_SECOND), PassName(T_COMPOSE_BLOOM)}),
              Names(vPasses));
    EXPECT_EQ(640.0, vPasses[0].Width);
    EXPECT_EQ(BackBufferId(), vPasses.back().Target);
    EXPECT_EQ(3u, HeldObjects());
}

TEST_F(KR_PostFXEngineDX11Test, ColorCubesPickPassAndCubesByBlend)
{
    Start();
    ID3D11ShaderResourceView* pCube1 = m_device.GetDepthShaderResourceView(); // any two views
    ID3D11ShaderResourceView* pCube2 = m_pPostFX->GetDepthStencilSRV();
    const std::uint64_t uiCube1 = D3D11Control::GetObjectId(pCube1);
    const std::uint64_t uiCube2 = D3D11Control::GetObjectId(pCube2);
    struct Case
    {
        float fBlend;
        std::string sPass;
        std::uint64_t uiFirst, uiSecond;
        float fSetBlend;
    };
    for (const Case& c : {Case{0.0f, PassName(T_COLOR_CUBES), uiCube1, 0, 0.0f},
                          Case{1.0f, PassName(T_COLOR_CUBES), uiCube2, 0, 0.0f},
                          Case{0.5f, PassName(T_COLOR_CUBES, 1), uiCube1, uiCube2, 0.5f}})
    {
        SCOPED_TRACE(c.fBlend);
        const KR_ColorCubeParameters cubes{c.fBlend, pCube1, pCube2};
        const std::vector<DrawnPass> vPasses = Frame({{4, &cubes}});
        ASSERT_EQ(1u, vPasses.size());
        EXPECT_EQ(c.sPass, vPasses[0].Pass);
        EXPECT_EQ(c.uiFirst, vPasses[0].Resource("g_tColorCubeTexture1"));
        EXPECT_EQ(c.uiSecond, vPasses[0].Resource("g_tColorCubeTexture2"));
        EXPECT_EQ(std::vector<float>{c.fSetBlend}, vPasses[0].Values("g_fColorBlend"));
    }
}

TEST_F(KR_PostFXEngineDX11Test, DepthOfFieldDefaultsAndItsStoredStage)
{
    Start({1});
    const float nearFar[2] = {0.5f, 200.0f};
    m_pPostFX->SetNearFarPlanes(nearFar);
    const std::vector<DrawnPass> vPasses = Frame({{1, nullptr}, {2, nullptr}});
    ASSERT_EQ(12u, vPasses.size());
    const DrawnPass& compose = vPasses[10];
    const std::vector<float> vPlane1 = compose.Values("g_vFocalPlane1");
    const std::vector<float> vPlane2 = compose.Values("g_vFocalPlane2");
    EXPECT_EQ(0.3f, vPlane1[0]);
    EXPECT_EQ(0.35f, vPlane1[1]);
    EXPECT_FLOAT_EQ(1.0f / 0.35f, vPlane1[2]);
    EXPECT_FLOAT_EQ(1.0f / 0.35f, vPlane1[3]);
    EXPECT_EQ(0.0f, vPlane2[0]);
    EXPECT_EQ(0.35f, vPlane2[1]);
    EXPECT_EQ(std::vector<float>{200.0f}, compose.Values("g_fFar"));
    EXPECT_EQ(std::vector<float>{0.005f}, compose.Values("g_fOneOverFar"));
    EXPECT_EQ(640.0, compose.Width);
    EXPECT_EQ(360.0, compose.Height);
    // It reads the quarter image kept aside, the sixteenth and the sharp scene image.
    EXPECT_EQ(40.0, vPasses[5].Width); // 640 / 16
    EXPECT_NE(0u, compose.Resource("g_tSourceTexture1"));
    EXPECT_NE(compose.Resource("g_tSourceTexture1"), compose.Resource("g_tSourceTexture2"));
    EXPECT_NE(0u, compose.Resource("g_tSourceTexture3"));
}

TEST_F(KR_PostFXEngineDX11Test, SampleCountsChooseTheDepthVariable)
{
    D3D11Control::SetMultisampleQualityLevels(3, 1);
    for (UINT uiSamples : {1u, 4u, 3u})
    {
        SCOPED_TRACE(uiSamples);
        m_device.SetSampleCount(uiSamples);
        m_pPostFX->RegisterEffect(2);
        ASSERT_TRUE(m_pPostFX->CreateResources());
        ASSERT_TRUE(m_pPostFX->CreateSizeDependentResources());
        const std::vector<DrawnPass> vPasses = Frame({{2, nullptr}});
        ASSERT_EQ(1u, vPasses.size());
        const std::uint64_t uiDepth = D3D11Control::GetObjectId(m_pPostFX->GetDepthStencilSRV());
        EXPECT_EQ(uiSamples == 1 ? uiDepth : 0, vPasses[0].Resource("g_tDepthTexture"));
        EXPECT_EQ(uiSamples == 4 ? uiDepth : 0, vPasses[0].Resource("g_tDepthTextureMS"));
        EXPECT_EQ(std::vector<float>{static_cast<float>(uiSamples)}, vPasses[0].Values("g_iNumberOfSamples"));
        EXPECT_EQ(uiSamples > 1 ? 1u : 0u, D3D11Control::GetCallCount("ResolveSubresource"));
        D3D11Control::ClearCallLog();
        D3D11Control::Reset(); // counters only; the live objects stay
        D3D11Control::SetMultisampleQualityLevels(3, 1);
    }
}

TEST_F(KR_PostFXEngineDX11Test, DepthGettersFollowTheChain)
{
    Start();
    m_pPostFX->ClearEffects();
    EXPECT_EQ(m_device.GetDepthStencilTexture(), m_pPostFX->GetDepthStencilTexture());
    EXPECT_EQ(m_device.GetMainDepthStencilView(), m_pPostFX->GetDepthStencilView());
    EXPECT_NE(m_device.GetDepthShaderResourceView(), m_pPostFX->GetDepthStencilSRV());
    m_pPostFX->EnableEffect(2, nullptr);
    EXPECT_NE(m_device.GetDepthStencilTexture(), m_pPostFX->GetDepthStencilTexture());
    EXPECT_NE(m_device.GetMainDepthStencilView(), m_pPostFX->GetDepthStencilView());
}

TEST_F(KR_PostFXEngineDX11Test, AFailedResizeIsRetriedAndTinyWindowsStillRun)
{
    Start({1});
    // The width of an enlarged screenshot (kept flat here to spare memory); its targets fail once.
    m_device.SetSize(7680, 32);
    D3D11Control::FailNext("CreateTexture2D");
    EXPECT_FALSE(m_pPostFX->CreateSizeDependentResources());
    EXPECT_FALSE(m_pPostFX->IsRunning());
    EXPECT_EQ(0u, HeldObjects());
    EXPECT_TRUE(Frame({{1, nullptr}}).empty());
    EXPECT_EQ(m_device.GetDepthStencilTexture(), m_pPostFX->GetDepthStencilTexture());

    // The next resize runs again.
    ASSERT_TRUE(m_pPostFX->CreateSizeDependentResources());
    EXPECT_TRUE(m_pPostFX->IsRunning());
    std::vector<DrawnPass> vPasses = Frame({{1, nullptr}});
    ASSERT_EQ(DEPTH_OF_FIELD, Names(vPasses));
    EXPECT_EQ(1920.0, vPasses[0].Width);
    EXPECT_EQ(7680.0, vPasses.back().Width);

    // A minimised window's clamped size: a quarter of a quarter is still one pixel.
    m_device.SetSize(8, 8);
    ASSERT_TRUE(m_pPostFX->CreateSizeDependentResources());
    EXPECT_EQ(3u, HeldObjects());
    vPasses = Frame({{1, nullptr}});
    ASSERT_EQ(DEPTH_OF_FIELD, Names(vPasses));
    EXPECT_EQ(2.0, vPasses[0].Width);
    EXPECT_EQ(1.0, vPasses[5].Width);
    for (const DrawnPass& pass : vPasses)
        for (float f : pass.Values("g_vTextureSize"))
            EXPECT_TRUE(std::isfinite(f)) << pass.Pass;
    EXPECT_EQ(BackBufferId(), vPasses.back().Target);
    EXPECT_EQ(3u, HeldObjects());
}

TEST_F(KR_PostFXEngineDX11Test, VolumeLightingKeepsNoCameraPointer)
{
    Start({5});
    auto* pCamera = new KR_Camera();
    KR_VolumeLightParameters record;
    record.m_pCamera = pCamera;
    m_pPostFX->ClearEffects();
    m_pPostFX->EnableEffect(5, &record);
    // A temporary camera, gone before the frame ends; the engine copied what it needs.
    delete pCamera;
    m_device.BindBackBuffer(BACK_BUFFER_CLEAR);
    Effects11Control::ClearApplyLog();
    D3D11Control::ClearCallLog();
    m_pPostFX->BeginFrame(CLEAR);
    m_pPostFX->EndFrame();
    const std::vector<DrawnPass> vPasses = Passes();
    ASSERT_FALSE(vPasses.empty());
    EXPECT_EQ(BackBufferId(), vPasses.back().Target);
    // A null record forgets the camera: the effect then runs no pass and the chain is empty.
    m_pPostFX->EnableEffect(5, nullptr);
    EXPECT_EQ((std::vector<std::string>{PassName(T_COPY)}), Names(Frame({{5, nullptr}})));
}

TEST_F(KR_PostFXEngineDX11Test, AChainEmptiedAfterTheTakeOverStillReachesTheBackBuffer)
{
    Start();
    const ULONG uiRefs = D3D11Control::GetRefCount(m_device.GetBackBufferView());
    m_pPostFX->ClearEffects();
    m_pPostFX->EnableEffect(0, nullptr);
    m_device.BindBackBuffer(BACK_BUFFER_CLEAR);
    m_pPostFX->BeginFrame(CLEAR);
    EXPECT_EQ(uiRefs + 1, D3D11Control::GetRefCount(m_device.GetBackBufferView())); // saved, not bound
    m_pPostFX->DisableEffect(0);
    m_pPostFX->EnableEffect(12, nullptr); // an id that runs nothing
    D3D11Control::ClearCallLog();
    Effects11Control::ClearApplyLog();
    m_pPostFX->EndFrame();
    const std::vector<DrawnPass> vPasses = Passes();
    ASSERT_EQ(1u, vPasses.size());
    EXPECT_EQ(PassName(T_COPY), vPasses[0].Pass);
    EXPECT_EQ(BackBufferId(), vPasses[0].Target);
    m_device.GetImmediateContext()->OMSetRenderTargets(0, nullptr, nullptr);
    EXPECT_EQ(uiRefs, D3D11Control::GetRefCount(m_device.GetBackBufferView())); // the saved one released

    // Not taken over (the chain was empty at BeginFrame): a chain filled afterwards does not run,
    // the scene's back buffer stays as it is.
    m_pPostFX->ClearEffects();
    m_device.BindBackBuffer(BACK_BUFFER_CLEAR);
    m_pPostFX->BeginFrame(CLEAR);
    m_pPostFX->EnableEffect(0, nullptr);
    D3D11Control::ClearCallLog();
    Effects11Control::ClearApplyLog();
    m_pPostFX->EndFrame();
    EXPECT_TRUE(Passes().empty());
    EXPECT_EQ(0u, m_pPostFX->GetChain().GetNumMembers());
    EXPECT_EQ(BackBufferId(), D3D11Control::GetBoundState(m_device.GetImmediateContext()).RenderTargets[0]);
}

TEST_F(KR_PostFXEngineDX11Test, ScreenshotsAreSavedAsPNGOfTheFinishedImage)
{
    TestTempDir dir;
    const auto ReadPixel = [this](const std::string& sPath, std::uint8_t* pOut)
    {
        std::ifstream file(sPath, std::ios::binary);
        const std::string sBytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        ID3D11Resource* pTexture = nullptr;
        ASSERT_EQ(S_OK, D3DX11CreateTextureFromMemory(m_device.GetDevice(), sBytes.data(), sBytes.size(),
                                                      nullptr, nullptr, &pTexture, nullptr));
        std::vector<std::uint8_t> vData;
        ASSERT_TRUE(D3D11Control::ReadSubresource(pTexture, 0, &vData));
        std::copy_n(vData.begin(), 4, pOut);
        pTexture->Release();
    };
    std::uint8_t aPixel[4] = {};

    // No targets: the back buffer as the scene drew it.
    m_pPostFX->EnableEffect(7, dir.Join("plain.png").c_str());
    EXPECT_TRUE(Frame({}).empty());
    ReadPixel(dir.Join("plain.png"), aPixel);
    EXPECT_EQ(255, aPixel[0]);
    EXPECT_EQ(0, aPixel[1]);

    // Alone: the off-screen colour target, cleared to the frame's colour, then copied over.
    Start({2});
    m_pPostFX->EnableEffect(7, dir.Join("alone.png").c_str());
    std::vector<DrawnPass> vPasses = Frame({});
    ASSERT_EQ(std::vector<std::string>{PassName(T_COPY)}, Names(vPasses));
    EXPECT_EQ(BackBufferId(), vPasses[0].Target);
    ReadPixel(dir.Join("alone.png"), aPixel);
    EXPECT_EQ(64, aPixel[0]); // 0.25 * 255 rounded
    EXPECT_EQ(128, aPixel[1]);
    EXPECT_EQ(191, aPixel[2]);
    EXPECT_EQ(255, aPixel[3]);

    // After an effect: the pooled image the effect left (cleared to black, as nothing is drawn).
    m_pPostFX->EnableEffect(7, dir.Join("after.png").c_str());
    vPasses = Frame({{2, nullptr}});
    ASSERT_EQ((std::vector<std::string>{PassName(T_COLOR_OFFSETS), PassName(T_COPY)}), Names(vPasses));
    EXPECT_NE(BackBufferId(), vPasses[0].Target);
    EXPECT_EQ(BackBufferId(), vPasses[1].Target);
    ReadPixel(dir.Join("after.png"), aPixel);
    EXPECT_EQ(0, aPixel[0]);
    EXPECT_EQ(255, aPixel[3]);
    EXPECT_EQ(3u, HeldObjects());

    // The request is served once.
    EXPECT_TRUE(Frame({}).empty());
}

// A screenshot whose folder is missing is named on standard error with the reason, whichever
// image it is taken from; the frame goes on as it would.
TEST_F(KR_PostFXEngineDX11Test, AScreenshotThatCannotBeWrittenIsNamedWithTheReason)
{
    TestTempDir dir;
    const std::string aPaths[] = {dir.Join("Missing/plain.png"), dir.Join("Missing/alone.png"),
                                  dir.Join("Missing/after.png")};
    ::testing::internal::CaptureStderr();
    m_pPostFX->EnableEffect(7, aPaths[0].c_str());
    EXPECT_TRUE(Frame({}).empty());
    Start({2});
    m_pPostFX->EnableEffect(7, aPaths[1].c_str());
    EXPECT_EQ(std::vector<std::string>{PassName(T_COPY)}, Names(Frame({})));
    m_pPostFX->EnableEffect(7, aPaths[2].c_str());
    EXPECT_EQ((std::vector<std::string>{PassName(T_COLOR_OFFSETS), PassName(T_COPY)}),
              Names(Frame({{2, nullptr}})));
    EXPECT_EQ(SaveFailureLines::Take(::testing::internal::GetCapturedStderr()),
              (std::vector<std::string>{SaveFailureLines::For(aPaths[0], ENOENT),
                                        SaveFailureLines::For(aPaths[1], ENOENT),
                                        SaveFailureLines::For(aPaths[2], ENOENT)}));
    EXPECT_EQ(3u, HeldObjects());
}
