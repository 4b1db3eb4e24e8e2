#include "render/effects/KR_ParticleEngineDX11.h"

#include "framework/app/KE_EngineMembers.h"
#include "platform/crt/WinCrt.h"
#include "render/device/KR_GraphicsDevice.h"
#include "render/device/KR_GraphicsResourceManager.h"
#include "render/device/KR_ReleaseAndNull.h"
#include "render/device/KR_UtilitiesDX11.h"

#include <cmath>
#include <cstring>
#include <new>
#include <vector>

namespace
{

// The layout of every particle buffer and of stream output.
struct ParticleVertex
{
    float vPosition[4];
    float vVelocity[4];
    float vVelocityAdd[4];
    float vLifeTime[4];
    std::uint32_t vType[4];
};
static_assert(sizeof(ParticleVertex) == KR_ParticleEngineDX11::PARTICLE_STRIDE, "80-byte particle");

const D3D11_INPUT_ELEMENT_DESC PARTICLE_ELEMENTS[] = {
    {"SV_POSITION", 0, DXGI_FORMAT_R32G32B32A32_FLOAT, 0, 0, D3D11_INPUT_PER_VERTEX_DATA, 0},
    {"VELOCITY", 0, DXGI_FORMAT_R32G32B32A32_FLOAT, 0, 16, D3D11_INPUT_PER_VERTEX_DATA, 0},
    {"VELOCITYADD", 0, DXGI_FORMAT_R32G32B32A32_FLOAT, 0, 32, D3D11_INPUT_PER_VERTEX_DATA, 0},
    {"LIFETIME", 0, DXGI_FORMAT_R32G32B32A32_FLOAT, 0, 48, D3D11_INPUT_PER_VERTEX_DATA, 0},
    {"TYPE", 0, DXGI_FORMAT_R32G32B32A32_UINT, 0, 64, D3D11_INPUT_PER_VERTEX_DATA, 0},
};

// rand() scaled to [0, 1]: 3.051851e-5 is 1/32767 rounded up, and the product of 32767 still
// rounds to 1.0f.
float UniformRandom()
{
    return static_cast<float>(wincrt::rand() * 3.051851e-5);
}

void SetVector3(ID3DX11EffectVectorVariable* pVariable, const float vValue[3])
{
    const float vPadded[4] = {vValue[0], vValue[1], vValue[2], 0.0f};
    pVariable->SetFloatVector(vPadded);
}

void SetMatrix(ID3DX11EffectMatrixVariable* pVariable, const DirectX::XMMATRIX& mValue)
{
    DirectX::XMFLOAT4X4 mStored;
    DirectX::XMStoreFloat4x4(&mStored, mValue);
    pVariable->SetMatrix(&mStored.m[0][0]);
}

} // namespace

KR_ParticleEngineDX11::KR_ParticleEngineDX11() = default;

KR_ParticleEngineDX11::~KR_ParticleEngineDX11()
{
    // An owner that skipped ReleaseResources would otherwise leak 40 MB of device buffers.
    ReleaseResources();
}

bool KR_ParticleEngineDX11::Initialize()
{
    return true;
}

bool KR_ParticleEngineDX11::CreateResources()
{
    // A second call must not leak the first call's objects.
    ReleaseResources();
    m_pEffect = nullptr;
    m_pTechnique = nullptr;
    LookUpVariables();
    KR_GraphicsDevice* pGraphics = KE_GetGraphicsDevice();
    ID3D11Device* pDevice = pGraphics != nullptr ? pGraphics->GetDevice() : nullptr;
    KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager();
    if (pDevice == nullptr || pResources == nullptr)
        return true;
    // A missing effect was reported by the resource manager; the engine stays inert.
    m_pEffect = pResources->GetEffect(EFFECT_PATH, nullptr);
    LookUpVariables();
    if (m_pEffect == nullptr)
        return true;
    m_pTechnique = m_pEffect->GetTechniqueByIndex(0);

    D3DX11_PASS_DESC passDesc{};
    m_pTechnique->GetPassByIndex(0)->GetDesc(&passDesc);
    pDevice->CreateInputLayout(PARTICLE_ELEMENTS, 5, passDesc.pIAInputSignature,
                               passDesc.IAInputSignatureSize, &m_pInputLayoutParticle);

    CreateParticleBuffers(pDevice);
    CreateRandomTexture(pDevice);
    if (m_gColorTexturePaths.GetNumMembers() > 0)
        KR_UtilitiesDX11::CreateTexture1DArrayFromFiles(m_gColorTexturePaths, &m_pColorTexture,
                                                        &m_pColorTextureSRV);
    if (m_gSpriteTexturePaths.GetNumMembers() > 0)
        KR_UtilitiesDX11::CreateTexture2DArrayFromFiles(m_gSpriteTexturePaths, &m_pSpriteTexture,
                                                        &m_pSpriteTextureSRV);
    return true;
}

void KR_ParticleEngineDX11::LookUpVariables()
{
    // Without an effect every handle is null.
    ID3DX11Effect* pEffect = m_pEffect;
    const auto matrix = [pEffect](const char* pName)
    { return pEffect != nullptr ? pEffect->GetVariableByName(pName)->AsMatrix() : nullptr; };
    const auto vector = [pEffect](const char* pName)
    { return pEffect != nullptr ? pEffect->GetVariableByName(pName)->AsVector() : nullptr; };
    const auto scalar = [pEffect](const char* pName)
    { return pEffect != nullptr ? pEffect->GetVariableByName(pName)->AsScalar() : nullptr; };
    const auto resource = [pEffect](const char* pName)
    { return pEffect != nullptr ? pEffect->GetVariableByName(pName)->AsShaderResource() : nullptr; };

    m_pWorldViewProjectionVariable = matrix("g_mWorldViewProjection");
    m_pInverseViewVariable = matrix("g_mInverseView");
    m_pSpawnMinVariable = vector("g_vSpawnMin");
    m_pSpawnMaxVariable = vector("g_vSpawnMax");
    m_pSpawnVelocityVariable = vector("g_vSpawnVelocity");
    m_pSpawnLifeTimeVariable = vector("g_vSpawnLifeTime");
    m_pGravityVariable = vector("g_vGravity");
    m_pHeightFieldDimensionsVariable = vector("g_vHeightFieldDimensions");
    m_pRandomForcesSpreadVariable = scalar("g_fRandomForcesSpread");
    m_pRandomForcesTimeSpreadVariable = scalar("g_fRandomForcesTimeSpread");
    m_pSpawnVelocitySpreadVariable = scalar("g_fSpawnVelocitySpread");
    m_pSpawnVelocityDirectionSpreadVariable = scalar("g_fSpawnVelocityDirectionSpread");
    m_pSpawnLifeTimeSpreadVariable = scalar("g_fSpawnLifeTimeSpread");
    m_pParticleScaleVariable = scalar("g_fParticleScale");
    m_pParticleScaleSpreadVariable = scalar("g_fParticleScaleSpread");
    m_pTextureIndexVariable = scalar("g_iTextureIndex");
    m_pColorTextureIndexVariable = scalar("g_iColorTextureIndex");
    m_pParticleTypeToSpawnVariable = scalar("g_iParticleTypeToSpawn");
    m_pParticlesToSpawnVariable = scalar("g_iParticlesToSpawn");
    m_pElapsedTimeVariable = scalar("g_fElapsedTime");
    m_pTotalElapsedTimeVariable = scalar("g_fTotalElapsedTime");
    m_pCollisionHeightVariable = scalar("g_fCollisionHeight");
    m_pCollisionDampeningVariable = scalar("g_fCollisionDampening");
    m_pFrictionVariable = scalar("g_fFriction");
    m_pRandomTextureVariable = resource("g_tRandomTexture");
    m_pSpriteTextureVariable = resource("g_tParticleSpriteTexture");
    m_pColorTextureVariable = resource("g_tColorTexture");
    m_pHeightFieldTextureVariable = resource("g_tHeightFieldTexture");
}

void KR_ParticleEngineDX11::CreateParticleBuffers(ID3D11Device* pDevice)
{
    // The seeds: zero but for their own random phase and their index.
    std::vector<ParticleVertex> vSeeds;
    try
    {
        vSeeds.resize(m_uiBatchSize);
    }
    catch (const std::bad_alloc&)
    {
        return;
    }
    for (std::uint32_t i = 0; i < m_uiBatchSize; ++i)
    {
        ParticleVertex& seed = vSeeds[i];
        std::memset(&seed, 0, sizeof(seed));
        seed.vVelocity[3] = UniformRandom();
        seed.vType[1] = i;
    }
    D3D11_BUFFER_DESC desc{};
    desc.ByteWidth = m_uiBatchSize * PARTICLE_STRIDE;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_VERTEX_BUFFER;
    const D3D11_SUBRESOURCE_DATA init{vSeeds.data(), 0, 0};
    pDevice->CreateBuffer(&desc, &init, &m_pParticleBufferStart);

    desc.ByteWidth = m_uiMaxParticleCount * PARTICLE_STRIDE;
    desc.BindFlags = D3D11_BIND_VERTEX_BUFFER | D3D11_BIND_STREAM_OUTPUT;
    pDevice->CreateBuffer(&desc, nullptr, &m_pParticleBufferDrawSrc);
    pDevice->CreateBuffer(&desc, nullptr, &m_pParticleBufferStreamOut);
}

void KR_ParticleEngineDX11::CreateRandomTexture(ID3D11Device* pDevice)
{
    const std::size_t uiFloatsPerSlice = static_cast<std::size_t>(m_uiRandomTextureWidth) * 4;
    std::vector<float> vTexels;
    try
    {
        vTexels.resize(uiFloatsPerSlice * 2);
    }
    catch (const std::bad_alloc&)
    {
        return;
    }
    wincrt::srand(m_uiRandomSeed);
    // Slice 0: uniform values in [0, 1].
    for (std::size_t i = 0; i < uiFloatsPerSlice; ++i)
        vTexels[i] = UniformRandom();
    // Slice 1: unit directions (a zero draw stays zero) with a uniform value in w.
    for (std::size_t i = uiFloatsPerSlice; i < uiFloatsPerSlice * 2; i += 4)
    {
        float vDirection[3];
        for (float& fComponent : vDirection)
            fComponent = UniformRandom() * 2.0f - 1.0f;
        const float fLength = std::sqrt(vDirection[0] * vDirection[0] + vDirection[1] * vDirection[1] +
                                        vDirection[2] * vDirection[2]);
        for (int c = 0; c < 3; ++c)
            vTexels[i + c] = fLength > 0.0f ? vDirection[c] / fLength : 0.0f;
        vTexels[i + 3] = UniformRandom();
    }

    const D3D11_TEXTURE1D_DESC desc{
        m_uiRandomTextureWidth,     1, 2, DXGI_FORMAT_R32G32B32A32_FLOAT, D3D11_USAGE_DEFAULT,
        D3D11_BIND_SHADER_RESOURCE, 0, 0};
    const UINT uiPitch = m_uiRandomTextureWidth * 16;
    const D3D11_SUBRESOURCE_DATA aInit[2] = {{vTexels.data(), uiPitch, uiPitch},
                                             {vTexels.data() + uiFloatsPerSlice, uiPitch, uiPitch}};
    if (FAILED(pDevice->CreateTexture1D(&desc, aInit, &m_pRandomTextures)))
        return;
    D3D11_SHADER_RESOURCE_VIEW_DESC viewDesc{};
    viewDesc.Format = DXGI_FORMAT_R32G32B32A32_FLOAT;
    viewDesc.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE1DARRAY;
    viewDesc.Texture1DArray = {0, 1, 0, 2};
    pDevice->CreateShaderResourceView(m_pRandomTextures, &viewDesc, &m_pRandomTextureSRV);
}

bool KR_ParticleEngineDX11::ReleaseResources()
{
    KR_ReleaseAndNull(m_pInputLayoutParticle);
    KR_ReleaseAndNull(m_pParticleBufferStart);
    KR_ReleaseAndNull(m_pParticleBufferStreamOut);
    KR_ReleaseAndNull(m_pParticleBufferDrawSrc);
    KR_ReleaseAndNull(m_pRandomTextureSRV);
    KR_ReleaseAndNull(m_pRandomTextures);
    KR_ReleaseAndNull(m_pColorTextureSRV);
    KR_ReleaseAndNull(m_pColorTexture);
    KR_ReleaseAndNull(m_pSpriteTextureSRV);
    KR_ReleaseAndNull(m_pSpriteTexture);
    return true;
}

bool KR_ParticleEngineDX11::ReleaseSizeDependentResources()
{
    return true;
}

void KR_ParticleEngineDX11::Reset(double fTime)
{
    m_fPreviousTime = fTime;
    m_bRestart = true;
    m_bActive = false;
}

void KR_ParticleEngineDX11::QueueSpawn(KR_ParticleSpawnRequest* pRequest)
{
    if (pRequest == nullptr)
        return;
    while (pRequest->m_uiParticleCount > m_uiBatchSize)
    {
        KR_ParticleSpawnRequest batch = *pRequest;
        batch.m_uiParticleCount = m_uiBatchSize;
        m_gSpawnQueue.Add(batch);
        pRequest->m_uiParticleCount -= m_uiBatchSize;
    }
    m_gSpawnQueue.Add(*pRequest);
    m_bActive = true;
}

void KR_ParticleEngineDX11::SetSpawnVariables()
{
    if (m_gSpawnQueue.GetNumMembers() == 0)
    {
        m_pParticlesToSpawnVariable->SetInt(0);
        m_pRandomForcesSpreadVariable->SetFloat(m_fRandomForcesSpread);
        m_pRandomForcesTimeSpreadVariable->SetFloat(m_fRandomForcesTimeSpread);
        return;
    }
    const KR_ParticleSpawnRequest request = m_gSpawnQueue[0];
    m_gSpawnQueue.Remove(0, false); // no shrinking: a frame allocates nothing

    SetVector3(m_pSpawnMinVariable, request.m_vSpawnMin);
    SetVector3(m_pSpawnMaxVariable, request.m_vSpawnMax);
    SetVector3(m_pSpawnVelocityVariable, request.m_vSpawnVelocity);
    const float vLifeTime[4] = {request.m_fSpawnLifeTimeXY, request.m_fSpawnLifeTimeXY,
                                request.m_fSpawnLifeTime, request.m_fSpawnLifeTimeW};
    m_pSpawnLifeTimeVariable->SetFloatVector(vLifeTime);
    m_fRandomForcesSpread = request.m_fRandomForcesSpread;
    m_fRandomForcesTimeSpread = request.m_fRandomForcesTimeSpread;
    m_pRandomForcesSpreadVariable->SetFloat(m_fRandomForcesSpread);
    m_pRandomForcesTimeSpreadVariable->SetFloat(m_fRandomForcesTimeSpread);
    m_pSpawnVelocitySpreadVariable->SetFloat(request.m_fSpawnVelocitySpread);
    m_pSpawnVelocityDirectionSpreadVariable->SetFloat(request.m_fSpawnVelocityDirectionSpread);
    m_pSpawnLifeTimeSpreadVariable->SetFloat(request.m_fSpawnLifeTimeSpread);
    m_pParticleScaleVariable->SetFloat(request.m_fParticleScale);
    m_pParticleScaleSpreadVariable->SetFloat(request.m_fParticleScaleSpread);
    m_pParticleTypeToSpawnVariable->SetInt(static_cast<int>(request.m_uiParticleType));
    m_pColorTextureIndexVariable->SetInt(static_cast<int>(request.m_uiColorTextureIndex));
    m_pTextureIndexVariable->SetInt(static_cast<int>(request.m_uiSpriteTextureIndex));
    m_pParticlesToSpawnVariable->SetInt(static_cast<int>(request.m_uiParticleCount));
}

bool KR_ParticleEngineDX11::UpdateAndRender(const DirectX::XMMATRIX& mView,
                                            const DirectX::XMMATRIX& mViewProjection, double fTime, float)
{
    if (!m_bActive || m_pEffect == nullptr)
        return true;
    KR_GraphicsDevice* pGraphics = KE_GetGraphicsDevice();
    ID3D11DeviceContext* pContext = pGraphics != nullptr ? pGraphics->GetImmediateContext() : nullptr;
    if (pContext == nullptr)
        return true;
    pContext->IASetInputLayout(m_pInputLayoutParticle);

    // A seek backwards within a scene is not followed by a Reset; time never runs backwards here.
    const double fElapsed = fTime - m_fPreviousTime;
    m_pElapsedTimeVariable->SetFloat(fElapsed > 0.0 ? static_cast<float>(fElapsed) : 0.0f);
    m_pTotalElapsedTimeVariable->SetFloat(static_cast<float>(fTime));
    SetSpawnVariables();
    SetVector3(m_pGravityVariable, m_vGravity);
    m_pCollisionHeightVariable->SetFloat(m_fCollisionHeight);
    m_pCollisionDampeningVariable->SetFloat(m_fCollisionDampening);
    m_pFrictionVariable->SetFloat(m_fFriction);
    m_pHeightFieldDimensionsVariable->SetFloatVector(m_vHeightFieldDimensions);

    // Update pass: the seeds or the current list in, the next generation streamed out.
    const UINT uiStride = PARTICLE_STRIDE;
    const UINT uiOffset = 0;
    ID3D11Buffer* pSource = m_bRestart ? m_pParticleBufferStart : m_pParticleBufferDrawSrc;
    pContext->IASetVertexBuffers(0, 1, &pSource, &uiStride, &uiOffset);
    pContext->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_POINTLIST);
    pContext->SOSetTargets(1, &m_pParticleBufferStreamOut, &uiOffset);
    m_pRandomTextureVariable->SetResource(m_pRandomTextureSRV);
    m_pTechnique->GetPassByIndex(0)->Apply(0, pContext);
    if (m_bRestart)
        pContext->Draw(m_uiBatchSize, 0);
    else
        pContext->DrawAuto();
    ID3D11Buffer* pNone = nullptr;
    pContext->SOSetTargets(1, &pNone, &uiOffset);
    pContext->IASetVertexBuffers(0, 1, &pNone, &uiStride, &uiOffset);

    ID3D11Buffer* pWritten = m_pParticleBufferStreamOut;
    m_pParticleBufferStreamOut = m_pParticleBufferDrawSrc;
    m_pParticleBufferDrawSrc = pWritten;
    m_bRestart = false;

    // Render pass: the new list as sprites into the bound target.
    pContext->IASetVertexBuffers(0, 1, &m_pParticleBufferDrawSrc, &uiStride, &uiOffset);
    SetMatrix(m_pInverseViewVariable, DirectX::XMMatrixInverse(nullptr, mView));
    SetMatrix(m_pWorldViewProjectionVariable, mViewProjection);
    m_pSpriteTextureVariable->SetResource(m_pSpriteTextureSRV);
    m_pColorTextureVariable->SetResource(m_pColorTextureSRV);
    m_pTechnique->GetPassByIndex(1)->Apply(0, pContext);
    pContext->DrawAuto();
    pContext->IASetVertexBuffers(0, 1, &pNone, &uiStride, &uiOffset);

    m_fPreviousTime = fTime;
    return true;
}

std::uint32_t KR_ParticleEngineDX11::RegisterPath(KB_GrowingArray<KB_String>& gPaths, const KB_String& sPath)
{
    for (std::uint32_t i = 0; i < gPaths.GetNumMembers(); ++i)
        if (gPaths[i] == sPath)
            return i;
    gPaths.Add(sPath);
    return gPaths.GetNumMembers() - 1;
}

std::uint32_t KR_ParticleEngineDX11::RegisterColorTexture(const KB_String& sPath)
{
    return RegisterPath(m_gColorTexturePaths, sPath);
}

std::uint32_t KR_ParticleEngineDX11::RegisterSpriteTexture(const KB_String& sPath)
{
    return RegisterPath(m_gSpriteTexturePaths, sPath);
}

void KR_ParticleEngineDX11::SetHeightFieldTexture(ID3D11ShaderResourceView* pView)
{
    // Before CreateResources (or without an effect) there is no variable to hand it to.
    if (m_pHeightFieldTextureVariable != nullptr)
        m_pHeightFieldTextureVariable->SetResource(pView);
}
