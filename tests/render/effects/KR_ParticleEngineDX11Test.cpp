#include "render/effects/KR_ParticleEngineDX11.h"

#include "platform/crt/CrtControl.h"
#include "platform/crt/WinCrt.h"
#include "platform/d3d11/D3D11Control.h"
#include "platform/d3dcompiler/d3dcompiler.h"
#include "platform/effects11/Effects11Control.h"
#include "tests/render/device/StandInGraphicsDevice.h"
#include "tests/support/NullResourceManager.h"
#include "tests/support/TestEngine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace
{

using DirectX::XMMATRIX;

// Hands out the effect it holds (null when none) and counts the requests.
class EffectResources : public NullResourceManager
{
public:
    ~EffectResources() override { SetEffect(nullptr); }

    ID3DX11Effect* GetEffect(const KB_String& sPath, const D3D_SHADER_MACRO* pMacros) override
    {
        m_vPaths.emplace_back(sPath.GetBuffer(), sPath.GetLength());
        EXPECT_EQ(nullptr, pMacros);
        return m_pEffect;
    }
    void SetEffect(ID3DX11Effect* pEffect)
    {
        if (m_pEffect != nullptr)
            m_pEffect->Release();
        m_pEffect = pEffect;
    }
    ID3DX11Effect* Effect() const { return m_pEffect; }
    const std::vector<std::string>& Paths() const { return m_vPaths; }

private:
    ID3DX11Effect* m_pEffect = nullptr; // owned
    std::vector<std::string> m_vPaths;
};

// The context calls the passes make themselves (the effect's own binding calls are left out).
const std::set<std::string> PASS_CALLS = {
    "IASetInputLayout", "IASetVertexBuffers", "IASetPrimitiveTopology", "SOSetTargets", "Draw", "DrawAuto"};

KR_ParticleSpawnRequest MakeRequest(std::uint32_t uiCount)
{
    KR_ParticleSpawnRequest request;
    request.m_uiParticleCount = uiCount;
    request.m_uiParticleType = 2;
    const float vMin[3] = {-1.0f, -2.0f, -3.0f};
    const float vMax[3] = {1.0f, 2.0f, 3.0f};
    const float vVelocity[3] = {0.5f, 4.0f, -0.5f};
    std::memcpy(request.m_vSpawnMin, vMin, sizeof(vMin));
    std::memcpy(request.m_vSpawnMax, vMax, sizeof(vMax));
    std::memcpy(request.m_vSpawnVelocity, vVelocity, sizeof(vVelocity));
    request.m_fSpawnVelocitySpread = 0.25f;
    request.m_fSpawnVelocityDirectionSpread = 0.125f;
    request.m_fSpawnLifeTime = 4.0f;
    request.m_fSpawnLifeTimeSpread = 1.5f;
    request.m_fSpawnLifeTimeXY = 0.75f;
    request.m_fSpawnLifeTimeW = 2.5f;
    request.m_fRandomForcesSpread = 6.0f;
    request.m_fRandomForcesTimeSpread = 7.0f;
    request.m_fParticleScale = 0.5f;
    request.m_fParticleScaleSpread = 0.0625f;
    request.m_uiSpriteTextureIndex = 3;
    request.m_uiColorTextureIndex = 5;
    return request;
}

std::vector<float> Values(const Effects11Control::ApplyRecord& record, const char* pName)
{
    const Effects11Control::VariableSnapshot* pVariable = record.Find(pName);
    return pVariable != nullptr ? pVariable->Values : std::vector<float>{};
}

std::uint64_t Resource(const Effects11Control::ApplyRecord& record, const char* pName)
{
    const Effects11Control::VariableSnapshot* pVariable = record.Find(pName);
    return pVariable != nullptr && pVariable->Resources.size() == 1 ? pVariable->Resources[0] : ~0ull;
}

// One frame's update pass, seen through the stand-ins.
struct Frame
{
    std::vector<D3D11Control::CallRecord> vCalls;        // PASS_CALLS only
    std::vector<Effects11Control::ApplyRecord> vApplies; // pass 0 then pass 1
    float SpawnCount() const
    {
        return vApplies.empty() ? -1.0f : Values(vApplies[0], "g_iParticlesToSpawn")[0];
    }
    float Elapsed() const { return vApplies.empty() ? -1.0f : Values(vApplies[0], "g_fElapsedTime")[0]; }
};

class KR_ParticleEngineDX11Test : public ::testing::Test
{
protected:
    KR_ParticleEngineDX11Test() : m_device(m_engine)
    {
        Effects11Control::Reset();
        CrtControl::Reset();
        m_engine->SetGraphicsResourceManager(&m_resources);
        m_resources.SetEffect(CompileEffect());
        m_pParticles = std::make_unique<KR_ParticleEngineDX11>();
    }
    ~KR_ParticleEngineDX11Test() override
    {
        m_pParticles.reset();
        m_resources.SetEffect(nullptr);
        m_engine->SetGraphicsResourceManager(nullptr);
        CrtControl::Reset();
    }

    // The shipped effect file, compiled and made on the stand-in device.
    ID3DX11Effect* CompileEffect()
    {
        std::ifstream file(std::string(KV_SOURCE_ROOT) + "/assets/Shader/KR_ParticleEngineDX11Shader.fx",
                           std::ios::binary);
        const std::string sSource((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        EXPECT_FALSE(sSource.empty());
        ID3DBlob* pCode = nullptr;
        ID3DBlob* pErrors = nullptr;
        const HRESULT hr = D3DCompile(sSource.data(), sSource.size(), "KR_ParticleEngineDX11Shader.fx",
                                      nullptr, nullptr, nullptr, "fx_5_0", 0, 0, &pCode, &pErrors);
        std::string sErrors;
        if (pErrors != nullptr)
        {
            sErrors.assign(static_cast<const char*>(pErrors->GetBufferPointer()), pErrors->GetBufferSize());
            pErrors->Release();
        }
        EXPECT_EQ(S_OK, hr) << sErrors;
        if (pCode == nullptr)
            return nullptr;
        ID3DX11Effect* pEffect = nullptr;
        EXPECT_EQ(S_OK, D3DX11CreateEffectFromMemory(pCode->GetBufferPointer(), pCode->GetBufferSize(), 0,
                                                     m_device.GetDevice(), &pEffect));
        pCode->Release();
        return pEffect;
    }

    // Runs one frame and returns what it did.
    Frame Run(double fTime, const XMMATRIX& mView = DirectX::XMMatrixIdentity(),
              const XMMATRIX& mViewProjection = DirectX::XMMatrixIdentity())
    {
        D3D11Control::ClearCallLog();
        Effects11Control::ClearApplyLog();
        EXPECT_TRUE(m_pParticles->UpdateAndRender(mView, mViewProjection, fTime, 1.0f));
        Frame frame;
        for (const D3D11Control::CallRecord& record : D3D11Control::GetCallLog())
            if (record.Interface == "ID3D11DeviceContext" && PASS_CALLS.count(record.Method) != 0)
                frame.vCalls.push_back(record);
        frame.vApplies = Effects11Control::GetApplyLog();
        return frame;
    }

    // The ids of the buffers CreateResources made, in creation order (start, draw, stream-out).
    static std::vector<std::uint64_t> CreatedBuffers()
    {
        std::vector<std::uint64_t> vIds;
        for (const D3D11Control::CallRecord& record : D3D11Control::GetCallLog())
            if (record.Method == "CreateBuffer" && record.Result == S_OK && !record.Objects.empty())
                vIds.push_back(record.Objects.back());
        return vIds;
    }

    TestEngine m_engine;
    StandInGraphicsDevice m_device;
    EffectResources m_resources;
    std::unique_ptr<KR_ParticleEngineDX11> m_pParticles;
};

} // namespace

TEST_F(KR_ParticleEngineDX11Test, SpawnRequestsAreSplitIntoBatchesServedOnePerFrame)
{
    struct Case
    {
        std::uint32_t uiCount;
        std::vector<float> vBatches; // spawn counts of the frames that follow, then one empty frame
        std::uint32_t uiLeft;        // the caller's count afterwards
    };
    const Case aCases[] = {
        {10000, {4096, 4096, 1808, 0}, 1808},
        {4096, {4096, 0}, 4096},
        {4097, {4096, 1, 0}, 1},
        {0, {0, 0}, 0}, // a request of nothing still queues one entry and starts the engine
        {1, {1, 0}, 1},
    };
    for (const Case& c : aCases)
    {
        m_pParticles = std::make_unique<KR_ParticleEngineDX11>();
        ASSERT_TRUE(m_pParticles->CreateResources());
        m_pParticles->Reset(0.0);
        KR_ParticleSpawnRequest request = MakeRequest(c.uiCount);
        m_pParticles->QueueSpawn(&request);
        EXPECT_EQ(c.uiLeft, request.m_uiParticleCount) << c.uiCount;
        std::vector<float> vSeen;
        for (std::size_t i = 0; i < c.vBatches.size(); ++i)
            vSeen.push_back(Run(1.0 + static_cast<double>(i)).SpawnCount());
        EXPECT_EQ(c.vBatches, vSeen) << c.uiCount;
    }
}

TEST_F(KR_ParticleEngineDX11Test, FramesRunTheUpdateThenTheRenderPassWithTheirVariables)
{
    D3D11Control::ClearCallLog();
    ASSERT_TRUE(m_pParticles->CreateResources());
    EXPECT_EQ(std::vector<std::string>{KR_ParticleEngineDX11::EFFECT_PATH}, m_resources.Paths());
    const std::vector<std::uint64_t> vBuffers = CreatedBuffers();
    ASSERT_EQ(3u, vBuffers.size());
    const std::uint64_t uiStart = vBuffers[0];
    const std::uint64_t uiDraw = vBuffers[1];
    const std::uint64_t uiStream = vBuffers[2];
    m_pParticles->Reset(5.0);
    KR_ParticleSpawnRequest request = MakeRequest(100);
    m_pParticles->QueueSpawn(&request);

    const XMMATRIX mView = DirectX::XMMatrixTranslation(1.0f, 2.0f, 3.0f);
    XMMATRIX mViewProjection;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            mViewProjection.r[r].f[c] = static_cast<float>(r * 4 + c + 1);
    const Frame first = Run(5.5, mView, mViewProjection);

    // The seeds go through the update pass with Draw, into the stream-out buffer; the render pass
    // draws what was written, and nothing stays bound.
    const std::vector<std::string> vMethods = {"IASetInputLayout",
                                               "IASetVertexBuffers",
                                               "IASetPrimitiveTopology",
                                               "SOSetTargets",
                                               "Draw",
                                               "SOSetTargets",
                                               "IASetVertexBuffers",
                                               "IASetVertexBuffers",
                                               "DrawAuto",
                                               "IASetVertexBuffers"};
    ASSERT_EQ(vMethods.size(), first.vCalls.size());
    for (std::size_t i = 0; i < vMethods.size(); ++i)
    {
        EXPECT_EQ(vMethods[i], first.vCalls[i].Method) << i;
        EXPECT_EQ(S_OK, first.vCalls[i].Result) << i;
    }
    EXPECT_NE(0u, first.vCalls[0].Objects[0]); // the particle layout fits pass 0
    EXPECT_EQ((std::vector<std::uint64_t>{uiStart}), first.vCalls[1].Objects);
    EXPECT_EQ((std::vector<double>{0, 1, 80, 0}), first.vCalls[1].Values);
    EXPECT_EQ(static_cast<double>(D3D11_PRIMITIVE_TOPOLOGY_POINTLIST), first.vCalls[2].Values[0]);
    EXPECT_EQ((std::vector<std::uint64_t>{uiStream}), first.vCalls[3].Objects);
    EXPECT_EQ((std::vector<double>{4096, 0}), first.vCalls[4].Values);
    EXPECT_EQ((std::vector<std::uint64_t>{0}), first.vCalls[5].Objects);
    EXPECT_EQ((std::vector<std::uint64_t>{0}), first.vCalls[6].Objects);
    EXPECT_EQ((std::vector<std::uint64_t>{uiStream}), first.vCalls[7].Objects);
    EXPECT_EQ((std::vector<std::uint64_t>{uiStream, 0}), first.vCalls[8].Objects);
    EXPECT_EQ((std::vector<std::uint64_t>{0}), first.vCalls[9].Objects);
    EXPECT_EQ((std::vector<std::uint64_t>{0, 0, 0, 0}),
              D3D11Control::GetBoundState(m_device.GetImmediateContext()).StreamOutTargets);

    ASSERT_EQ(2u, first.vApplies.size());
    EXPECT_EQ(0u, first.vApplies[0].Pass);
    EXPECT_EQ(1u, first.vApplies[1].Pass);
    const Effects11Control::ApplyRecord& update = first.vApplies[0];
    EXPECT_EQ((std::vector<float>{0.5f}), Values(update, "g_fElapsedTime"));
    EXPECT_EQ((std::vector<float>{5.5f}), Values(update, "g_fTotalElapsedTime"));
    EXPECT_EQ((std::vector<float>{-1, -2, -3}), Values(update, "g_vSpawnMin"));
    EXPECT_EQ((std::vector<float>{1, 2, 3}), Values(update, "g_vSpawnMax"));
    EXPECT_EQ((std::vector<float>{0.5f, 4, -0.5f}), Values(update, "g_vSpawnVelocity"));
    EXPECT_EQ((std::vector<float>{0.75f, 0.75f, 4.0f, 2.5f}), Values(update, "g_vSpawnLifeTime"));
    EXPECT_EQ((std::vector<float>{6}), Values(update, "g_fRandomForcesSpread"));
    EXPECT_EQ((std::vector<float>{7}), Values(update, "g_fRandomForcesTimeSpread"));
    EXPECT_EQ((std::vector<float>{0.25f}), Values(update, "g_fSpawnVelocitySpread"));
    EXPECT_EQ((std::vector<float>{0.125f}), Values(update, "g_fSpawnVelocityDirectionSpread"));
    EXPECT_EQ((std::vector<float>{1.5f}), Values(update, "g_fSpawnLifeTimeSpread"));
    EXPECT_EQ((std::vector<float>{0.5f}), Values(update, "g_fParticleScale"));
    EXPECT_EQ((std::vector<float>{0.0625f}), Values(update, "g_fParticleScaleSpread"));
    EXPECT_EQ((std::vector<float>{2}), Values(update, "g_iParticleTypeToSpawn"));
    EXPECT_EQ((std::vector<float>{3}), Values(update, "g_iTextureIndex"));
    EXPECT_EQ((std::vector<float>{5}), Values(update, "g_iColorTextureIndex"));
    EXPECT_EQ((std::vector<float>{100}), Values(update, "g_iParticlesToSpawn"));
    EXPECT_EQ((std::vector<float>{0, -98, 0}), Values(update, "g_vGravity"));
    EXPECT_EQ((std::vector<float>{-50, -50, 50, 50}), Values(update, "g_vHeightFieldDimensions"));
    EXPECT_EQ((std::vector<float>{20}), Values(update, "g_fCollisionHeight"));
    EXPECT_EQ((std::vector<float>{0.7f}), Values(update, "g_fCollisionDampening"));
    EXPECT_EQ((std::vector<float>{0.9975f}), Values(update, "g_fFriction"));
    EXPECT_NE(0u, Resource(update, "g_tRandomTexture"));

    // The render pass gets the matrices as they are, the view inverted, not transposed.
    const Effects11Control::ApplyRecord& render = first.vApplies[1];
    EXPECT_EQ((std::vector<float>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -1, -2, -3, 1}),
              Values(render, "g_mInverseView"));
    std::vector<float> vExpected;
    for (int i = 1; i <= 16; ++i)
        vExpected.push_back(static_cast<float>(i));
    EXPECT_EQ(vExpected, Values(render, "g_mWorldViewProjection"));
    EXPECT_EQ(0u, Resource(render, "g_tParticleSpriteTexture")); // no paths registered
    EXPECT_EQ(0u, Resource(render, "g_tColorTexture"));

    // Later frames continue from the list with DrawAuto, the two buffers taking turns; an empty
    // queue spawns nothing and repeats the last random forces.
    const Frame second = Run(6.0);
    ASSERT_EQ(vMethods.size(), second.vCalls.size());
    EXPECT_EQ("DrawAuto", second.vCalls[4].Method);
    EXPECT_EQ((std::vector<std::uint64_t>{uiStream}), second.vCalls[1].Objects);
    EXPECT_EQ((std::vector<std::uint64_t>{uiDraw}), second.vCalls[3].Objects);
    EXPECT_EQ((std::vector<std::uint64_t>{uiStream, uiDraw}), second.vCalls[4].Objects);
    EXPECT_EQ((std::vector<std::uint64_t>{uiDraw}), second.vCalls[7].Objects);
    ASSERT_EQ(2u, second.vApplies.size());
    EXPECT_EQ(0.0f, second.SpawnCount());
    EXPECT_EQ(0.5f, second.Elapsed());
    EXPECT_EQ((std::vector<float>{6}), Values(second.vApplies[0], "g_fRandomForcesSpread"));
    EXPECT_EQ((std::vector<float>{7}), Values(second.vApplies[0], "g_fRandomForcesTimeSpread"));
    const Frame third = Run(6.5);
    ASSERT_EQ(vMethods.size(), third.vCalls.size());
    EXPECT_EQ((std::vector<std::uint64_t>{uiDraw}), third.vCalls[1].Objects);
    EXPECT_EQ((std::vector<std::uint64_t>{uiStream}), third.vCalls[3].Objects);
}

TEST_F(KR_ParticleEngineDX11Test, InactiveFramesDoNothingAndResetKeepsTheQueue)
{
    ASSERT_TRUE(m_pParticles->CreateResources());
    m_pParticles->Reset(2.0);
    // Inactive: nothing bound or drawn, and the time of the Reset stays the reference.
    Frame idle = Run(3.0);
    EXPECT_TRUE(idle.vCalls.empty());
    EXPECT_TRUE(idle.vApplies.empty());

    // Random forces start at 3 and 3 before any request was served.
    KR_ParticleSpawnRequest request = MakeRequest(1);
    m_pParticles->QueueSpawn(&request);
    request.m_uiParticleCount = 2;
    m_pParticles->QueueSpawn(&request);
    request.m_uiParticleCount = 3;
    m_pParticles->QueueSpawn(&request);
    Frame frame = Run(3.25);
    EXPECT_EQ(1.0f, frame.SpawnCount());
    EXPECT_EQ(1.25f, frame.Elapsed());

    // A reset stops the frames but keeps what is queued; the next request is served after it,
    // and the first frame seeds again with Draw.
    m_pParticles->Reset(10.0);
    EXPECT_TRUE(Run(11.0).vApplies.empty());
    request.m_uiParticleCount = 4;
    m_pParticles->QueueSpawn(&request);
    frame = Run(10.5);
    EXPECT_EQ(2.0f, frame.SpawnCount());
    EXPECT_EQ(0.5f, frame.Elapsed());
    ASSERT_GT(frame.vCalls.size(), 4u);
    EXPECT_EQ("Draw", frame.vCalls[4].Method);
    EXPECT_EQ(3.0f, Run(11.0).SpawnCount());
    EXPECT_EQ(4.0f, Run(11.5).SpawnCount());
    EXPECT_EQ(0.0f, Run(12.0).SpawnCount());

    // A seek backwards without a Reset never gives a negative elapsed time.
    frame = Run(11.0);
    EXPECT_EQ(0.0f, frame.Elapsed());
    EXPECT_EQ(0.5f, Run(11.5).Elapsed());
}

TEST_F(KR_ParticleEngineDX11Test, RandomTextureHoldsTheSeedsSequence)
{
    // Draws before CreateResources do not change it: the generator is seeded right before the fill.
    wincrt::rand();
    wincrt::rand();
    ASSERT_TRUE(m_pParticles->CreateResources());
    ID3D11ShaderResourceView* pView = nullptr;
    ASSERT_EQ(
        S_OK,
        m_resources.Effect()->GetVariableByName("g_tRandomTexture")->AsShaderResource()->GetResource(&pView));
    ASSERT_EQ(nullptr, pView); // set only by a frame
    KR_ParticleSpawnRequest request = MakeRequest(1);
    m_pParticles->QueueSpawn(&request);
    Run(1.0);
    ASSERT_EQ(
        S_OK,
        m_resources.Effect()->GetVariableByName("g_tRandomTexture")->AsShaderResource()->GetResource(&pView));
    ASSERT_NE(nullptr, pView);
    D3D11_SHADER_RESOURCE_VIEW_DESC viewDesc{};
    pView->GetDesc(&viewDesc);
    EXPECT_EQ(D3D11_SRV_DIMENSION_TEXTURE1DARRAY, viewDesc.ViewDimension);
    EXPECT_EQ(DXGI_FORMAT_R32G32B32A32_FLOAT, viewDesc.Format);
    EXPECT_EQ(0u, viewDesc.Texture1DArray.FirstArraySlice);
    EXPECT_EQ(2u, viewDesc.Texture1DArray.ArraySize);
    ID3D11Resource* pResource = nullptr;
    pView->GetResource(&pResource);
    std::vector<std::uint8_t> vSlice0;
    std::vector<std::uint8_t> vSlice1;
    ASSERT_TRUE(D3D11Control::ReadSubresource(pResource, 0, &vSlice0));
    ASSERT_TRUE(D3D11Control::ReadSubresource(pResource, 1, &vSlice1));
    pResource->Release();
    ASSERT_EQ(8192u * 16u, vSlice0.size());
    ASSERT_EQ(8192u * 16u, vSlice1.size());
    std::vector<float> v0(8192 * 4);
    std::vector<float> v1(8192 * 4);
    std::memcpy(v0.data(), vSlice0.data(), vSlice0.size());
    std::memcpy(v1.data(), vSlice1.data(), vSlice1.size());

    // Seed 0 under the Windows generator starts 38, 7719, 21238, 2437.
    const float aFirst[4] = {38, 7719, 21238, 2437};
    for (int c = 0; c < 4; ++c)
        EXPECT_FLOAT_EQ(aFirst[c] / 32767.0f, v0[c]) << c;
    bool bSpread = false;
    for (float f : v0)
    {
        ASSERT_TRUE(f >= 0.0f && f <= 1.0f) << f;
        bSpread = bSpread || f > 0.99f;
    }
    EXPECT_TRUE(bSpread); // a [0, 1] scale, not glibc's [0, 2^31)
    for (std::size_t i = 0; i < v1.size(); i += 4)
    {
        const float fLength = std::sqrt(v1[i] * v1[i] + v1[i + 1] * v1[i + 1] + v1[i + 2] * v1[i + 2]);
        ASSERT_TRUE(std::fabs(fLength - 1.0f) < 1e-5f || fLength == 0.0f) << i;
        ASSERT_TRUE(v1[i + 3] >= 0.0f && v1[i + 3] <= 1.0f) << i;
    }

    // Another engine fills the same texture.
    std::vector<std::uint8_t> vFirstSlice0 = vSlice0;
    m_pParticles = std::make_unique<KR_ParticleEngineDX11>();
    ASSERT_TRUE(m_pParticles->CreateResources());
    m_pParticles->QueueSpawn(&request);
    Run(1.0);
    ASSERT_EQ(
        S_OK,
        m_resources.Effect()->GetVariableByName("g_tRandomTexture")->AsShaderResource()->GetResource(&pView));
    pView->GetResource(&pResource);
    ASSERT_TRUE(D3D11Control::ReadSubresource(pResource, 0, &vSlice0));
    pResource->Release();
    EXPECT_TRUE(vFirstSlice0 == vSlice0);
}

TEST_F(KR_ParticleEngineDX11Test, ResourcesHaveTheirSizesAndAreAllReleased)
{
    const std::size_t uiBefore = D3D11Control::GetLiveObjectCount();
    D3D11Control::ClearCallLog();
    ASSERT_TRUE(m_pParticles->CreateResources());
    std::vector<std::vector<double>> vBuffers;
    for (const D3D11Control::CallRecord& record : D3D11Control::GetCallLog())
        if (record.Method == "CreateBuffer")
            vBuffers.push_back(std::vector<double>(record.Values.begin(), record.Values.begin() + 3));
    const double fStreamBind = D3D11_BIND_VERTEX_BUFFER | D3D11_BIND_STREAM_OUTPUT;
    EXPECT_EQ((std::vector<std::vector<double>>{{4096 * 80, D3D11_USAGE_DEFAULT, D3D11_BIND_VERTEX_BUFFER},
                                                {20971520, D3D11_USAGE_DEFAULT, fStreamBind},
                                                {20971520, D3D11_USAGE_DEFAULT, fStreamBind}}),
              vBuffers);
    // Layout, three buffers, the random texture and its view.
    EXPECT_EQ(uiBefore + 6, D3D11Control::GetLiveObjectCount());

    // Making them again replaces them; releasing keeps the paths and the queue.
    EXPECT_EQ(0u, m_pParticles->RegisterColorTexture("ramp.png"));
    ASSERT_TRUE(m_pParticles->CreateResources());
    EXPECT_EQ(uiBefore + 6, D3D11Control::GetLiveObjectCount()); // the image is missing: no array
    KR_ParticleSpawnRequest request = MakeRequest(9);
    m_pParticles->QueueSpawn(&request);
    EXPECT_TRUE(m_pParticles->ReleaseResources());
    EXPECT_TRUE(m_pParticles->ReleaseSizeDependentResources());
    EXPECT_EQ(uiBefore, D3D11Control::GetLiveObjectCount());
    EXPECT_EQ(0u, m_pParticles->RegisterColorTexture("ramp.png"));
    ASSERT_TRUE(m_pParticles->CreateResources());
    EXPECT_EQ(9.0f, Run(1.0).SpawnCount());
}

TEST_F(KR_ParticleEngineDX11Test, TexturePathsAreRegisteredOnceInTheirOwnLists)
{
    EXPECT_EQ(0u, m_pParticles->RegisterColorTexture("Assets/Textures/a.png"));
    EXPECT_EQ(1u, m_pParticles->RegisterColorTexture("Assets/Textures/b.png"));
    EXPECT_EQ(0u, m_pParticles->RegisterColorTexture("Assets/Textures/a.png"));
    EXPECT_EQ(2u, m_pParticles->RegisterColorTexture("Assets/Textures/a.pn"));
    EXPECT_EQ(3u, m_pParticles->RegisterColorTexture("Assets/Textures/A.png")); // bytes, not case
    EXPECT_EQ(0u, m_pParticles->RegisterSpriteTexture("Assets/Textures/b.png"));
    EXPECT_EQ(1u, m_pParticles->RegisterSpriteTexture("Assets/Textures/a.png"));
    EXPECT_EQ(0u, m_pParticles->RegisterSpriteTexture("Assets/Textures/b.png"));
    EXPECT_EQ(1u, m_pParticles->RegisterColorTexture("Assets/Textures/b.png"));
}

TEST_F(KR_ParticleEngineDX11Test, WithoutItsEffectTheEngineIsInert)
{
    KR_ParticleSpawnRequest request = MakeRequest(5000);

    // Never given resources.
    m_pParticles->QueueSpawn(&request);
    m_pParticles->SetHeightFieldTexture(nullptr);
    EXPECT_TRUE(Run(1.0).vCalls.empty());

    // The resource manager has no effect.
    m_resources.SetEffect(nullptr);
    const std::size_t uiBefore = D3D11Control::GetLiveObjectCount();
    m_pParticles = std::make_unique<KR_ParticleEngineDX11>();
    EXPECT_TRUE(m_pParticles->CreateResources());
    EXPECT_EQ(uiBefore, D3D11Control::GetLiveObjectCount());
    m_pParticles->Reset(0.0);
    m_pParticles->QueueSpawn(&request);
    m_pParticles->SetHeightFieldTexture(nullptr);
    const Frame frame = Run(1.0);
    EXPECT_TRUE(frame.vCalls.empty());
    EXPECT_TRUE(frame.vApplies.empty());
    EXPECT_TRUE(m_pParticles->ReleaseResources());

    // No graphics device either.
    m_engine->SetGraphicsDevice(nullptr);
    m_pParticles = std::make_unique<KR_ParticleEngineDX11>();
    EXPECT_TRUE(m_pParticles->CreateResources());
    m_pParticles->QueueSpawn(&request);
    EXPECT_TRUE(
        m_pParticles->UpdateAndRender(DirectX::XMMatrixIdentity(), DirectX::XMMatrixIdentity(), 1.0, 1.0f));
    m_engine->SetGraphicsDevice(&m_device);
}

TEST_F(KR_ParticleEngineDX11Test, HeightFieldGoesToTheEffectAtOnce)
{
    ASSERT_TRUE(m_pParticles->CreateResources());
    const D3D11_TEXTURE2D_DESC desc{
        4, 4, 1, 1, DXGI_FORMAT_R32_FLOAT, {1, 0}, D3D11_USAGE_DEFAULT, D3D11_BIND_SHADER_RESOURCE, 0, 0};
    ID3D11Texture2D* pTexture = nullptr;
    ID3D11ShaderResourceView* pView = nullptr;
    ASSERT_EQ(S_OK, m_device.GetDevice()->CreateTexture2D(&desc, nullptr, &pTexture));
    ASSERT_EQ(S_OK, m_device.GetDevice()->CreateShaderResourceView(pTexture, nullptr, &pView));
    m_pParticles->SetHeightFieldTexture(pView);
    ID3D11ShaderResourceView* pGot = nullptr;
    ASSERT_EQ(S_OK, m_resources.Effect()
                        ->GetVariableByName("g_tHeightFieldTexture")
                        ->AsShaderResource()
                        ->GetResource(&pGot));
    EXPECT_EQ(pView, pGot);
    m_pParticles->SetHeightFieldTexture(nullptr);
    pView->Release();
    pTexture->Release();
}
