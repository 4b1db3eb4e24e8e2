#include "render/effects/KR_PostFXEngineDX11.h"

#include "framework/app/KE_EngineMembers.h"
#include "platform/directxmath/DirectXMath.h"
#include "platform/effects11/d3dx11effect.h"
#include "render/camera/KR_Camera.h"
#include "render/device/KR_GraphicsDevice.h"
#include "render/device/KR_GraphicsResourceManager.h"
#include "render/device/KR_ReleaseAndNull.h"
#include "render/device/KR_UtilitiesDX11.h"

#include <algorithm>
#include <cstring>
#include <iterator>

static_assert(std::size(KR_PostFXEngineDX11::TECHNIQUE_NAMES) == KR_PostFXEngineDX11::TECHNIQUE_COUNT,
              "one name for each technique role");

namespace
{

struct QuadVertex
{
    float m_afPosition[3];
    float m_afUV[2];
};
static_assert(sizeof(QuadVertex) == 20, "the quads' stride");

// Four vertices as a triangle strip: top left, bottom left, top right, bottom right; positions
// scaled by (fX, fY) and texture coordinates inset by (fU, fV).
ID3D11Buffer* CreateQuad(ID3D11Device* pDevice, float fX, float fY, float fU, float fV)
{
    if (pDevice == nullptr)
        return nullptr;
    const QuadVertex aVertices[4] = {{{-fX, fY, 0.0f}, {fU, fV}},
                                     {{-fX, -fY, 0.0f}, {fU, 1.0f - fV}},
                                     {{fX, fY, 0.0f}, {1.0f - fU, fV}},
                                     {{fX, -fY, 0.0f}, {1.0f - fU, 1.0f - fV}}};
    const D3D11_BUFFER_DESC desc = {
        sizeof(aVertices), D3D11_USAGE_DEFAULT, D3D11_BIND_VERTEX_BUFFER, 0, 0, 0};
    const D3D11_SUBRESOURCE_DATA data = {aVertices, 0, 0};
    ID3D11Buffer* pBuffer = nullptr;
    if (FAILED(pDevice->CreateBuffer(&desc, &data, &pBuffer)))
        return nullptr;
    return pBuffer;
}

void StoreVector(const DirectX::XMVECTOR& v, float* pOut)
{
    DirectX::XMFLOAT4 f;
    DirectX::XMStoreFloat4(&f, v);
    pOut[0] = f.x;
    pOut[1] = f.y;
    pOut[2] = f.z;
    pOut[3] = f.w;
}

void StoreMatrix(const DirectX::XMMATRIX& m, float* pOut)
{
    DirectX::XMFLOAT4X4 f;
    DirectX::XMStoreFloat4x4(&f, m);
    std::memcpy(pOut, &f, sizeof(f));
}

} // namespace

KR_PostFXEngineDX11::KR_PostFXEngineDX11() = default;

KR_PostFXEngineDX11::~KR_PostFXEngineDX11()
{
    // Normally released by ReleaseResources at shutdown; an engine dropped without it still
    // gives back what it holds.
    ReleaseResources();
}

KR_GraphicsDevice* KR_PostFXEngineDX11::GetGraphicsDevice() const
{
    return KE_GetGraphicsDevice();
}

KR_GraphicsResourceManager* KR_PostFXEngineDX11::GetResourceManager() const
{
    return KE_GetGraphicsResourceManager();
}

ID3D11Device* KR_PostFXEngineDX11::GetDevice() const
{
    KR_GraphicsDevice* pDevice = GetGraphicsDevice();
    return pDevice != nullptr ? pDevice->GetDevice() : nullptr;
}

ID3D11DeviceContext* KR_PostFXEngineDX11::GetContext() const
{
    KR_GraphicsDevice* pDevice = GetGraphicsDevice();
    return pDevice != nullptr ? pDevice->GetImmediateContext() : nullptr;
}

bool KR_PostFXEngineDX11::Initialize()
{
    return true;
}

bool KR_PostFXEngineDX11::CreateResources()
{
    if (!m_bRegistered)
        return true;
    KR_GraphicsResourceManager* pManager = GetResourceManager();
    ID3D11Device* pDevice = GetDevice();
    if (pManager == nullptr || pDevice == nullptr)
        return false;
    // A missing effect leaves the chain off: the scene keeps the back buffer. So does one whose
    // techniques are not the roles in their order, which would run the wrong passes.
    ID3DX11Effect* pEffect = pManager->GetEffect(EFFECT_PATH, nullptr);
    if (pEffect == nullptr || !HasTechniqueRoles(pEffect))
        return false;
    ReleaseResources();
    m_pEffect = pEffect;
    for (std::uint32_t i = 0; i < TECHNIQUE_COUNT; ++i)
        m_apTechniques[i] = m_pEffect->GetTechniqueByIndex(i);

    const D3D11_INPUT_ELEMENT_DESC aElements[2] = {
        {"SV_POSITION", 0, DXGI_FORMAT_R32G32B32_FLOAT, 0, 0, D3D11_INPUT_PER_VERTEX_DATA, 0},
        {"TEXCOORD", 0, DXGI_FORMAT_R32G32_FLOAT, 0, 12, D3D11_INPUT_PER_VERTEX_DATA, 0}};
    D3DX11_PASS_DESC passDesc{};
    if (SUCCEEDED(m_apTechniques[0]->GetPassByIndex(0)->GetDesc(&passDesc)))
        pDevice->CreateInputLayout(aElements, 2, passDesc.pIAInputSignature, passDesc.IAInputSignatureSize,
                                   &m_pInputLayoutPosUV1Vertex);
    passDesc = {};
    // The volume-depth pass, the one that reads positions alone.
    if (SUCCEEDED(m_apTechniques[T_VOLUME_LIGHTING]->GetPassByIndex(3)->GetDesc(&passDesc)))
        pDevice->CreateInputLayout(aElements, 1, passDesc.pIAInputSignature, passDesc.IAInputSignatureSize,
                                   &m_pInputLayoutPosVertex);
    TakeVariables();
    m_pFullScreenQuadUVsVB = CreateQuad(pDevice, 1.0f, 1.0f, 0.0f, 0.0f);
    const D3D11_RASTERIZER_DESC rasterizer =
        KR_UtilitiesDX11::SolidRasterizerDesc(D3D11_CULL_NONE, false, false);
    m_pVolumeRasterizerState = pManager->GetRasterizerState(&rasterizer);
    return true;
}

bool KR_PostFXEngineDX11::HasTechniqueRoles(ID3DX11Effect* pEffect)
{
    D3DX11_EFFECT_DESC effectDesc{};
    if (FAILED(pEffect->GetDesc(&effectDesc)) || effectDesc.Techniques != TECHNIQUE_COUNT)
        return false;
    for (std::uint32_t i = 0; i < TECHNIQUE_COUNT; ++i)
    {
        D3DX11_TECHNIQUE_DESC desc{};
        ID3DX11EffectTechnique* pTechnique = pEffect->GetTechniqueByIndex(i);
        if (!pTechnique->IsValid() || FAILED(pTechnique->GetDesc(&desc)) || desc.Name == nullptr ||
            std::strcmp(desc.Name, TECHNIQUE_NAMES[i]) != 0)
            return false;
    }
    return true;
}

void KR_PostFXEngineDX11::TakeVariables()
{
    const auto resource = [this](const char* pName)
    { return m_pEffect->GetVariableByName(pName)->AsShaderResource(); };
    const auto scalar = [this](const char* pName) { return m_pEffect->GetVariableByName(pName)->AsScalar(); };
    const auto vector = [this](const char* pName) { return m_pEffect->GetVariableByName(pName)->AsVector(); };
    const auto matrix = [this](const char* pName) { return m_pEffect->GetVariableByName(pName)->AsMatrix(); };
    m_pSourceTexture1 = resource("g_tSourceTexture1");
    m_pSourceTexture2 = resource("g_tSourceTexture2");
    m_pSourceTexture3 = resource("g_tSourceTexture3");
    m_pColorCubeTexture1 = resource("g_tColorCubeTexture1");
    m_pColorCubeTexture2 = resource("g_tColorCubeTexture2");
    m_pDepthTexture = resource("g_tDepthTexture");
    m_pDepthTextureMS = resource("g_tDepthTextureMS");
    m_pShadowMap = resource("g_tShadowMap");
    m_pColorBlend = scalar("g_fColorBlend");
    m_pBloomStrength = scalar("g_fBloomStrength");
    m_pNear = scalar("g_fNear");
    m_pFar = scalar("g_fFar");
    m_pOneOverFar = scalar("g_fOneOverFar");
    m_pLuminance = scalar("g_fLuminance");
    m_pNumberOfSamples = scalar("g_iNumberOfSamples");
    m_pNumberOfSpotLights = scalar("g_iNumberOfSpotLights");
    m_pNumberOfOmniLights = scalar("g_iNumberOfOmniLights");
    m_pNumberOfTubeLights = scalar("g_iNumberOfTubeLights");
    m_pViewRayOffsets = scalar("g_fViewRayOffsets");
    m_pTraceSteps = scalar("g_iTraceSteps");
    m_pTraceStepFactor = scalar("g_fTraceStepFactor");
    m_pFocalPlane1 = vector("g_vFocalPlane1");
    m_pFocalPlane2 = vector("g_vFocalPlane2");
    m_pFXPreColorOffset = vector("g_vFXPreColorOffset");
    m_pFXMultColorOffset = vector("g_vFXMultColorOffset");
    m_pFXPostColorOffset = vector("g_vFXPostColorOffset");
    m_pTextureSize = vector("g_vTextureSize");
    m_pSpotLightPosition = vector("g_vSpotLightPosition");
    m_pSpotLightDirection = vector("g_vSpotLightDirection");
    m_pSpotLightColor = vector("g_vSpotLightColor");
    m_pSpotLightFOVCosAngle = vector("g_vSpotLightFOVCosAngle");
    m_pSpotLightAttenuation = vector("g_vSpotLightAttenuation");
    m_pSpotLightShadowBias = vector("g_vSpotLightShadowBias");
    m_pOmniLightColor = vector("g_vOmniLightColor");
    m_pOmniLightAttenuation = vector("g_vOmniLightAttenuation");
    m_pOmniLightPosition = vector("g_vOmniLightPosition");
    m_pOmniLightPosition2 = vector("g_vOmniLightPosition2");
    m_pFrustrumCorners = vector("g_vFrustrumCorners");
    m_pCameraPosition = vector("g_vCameraPosition");
    m_pRandomFactor = vector("g_fRandomFactor");
    m_pRGBScale = vector("g_vRGBScale");
    m_pUVScale = vector("g_vUVScale");
    m_pSpotLightProjection = matrix("g_mSpotLightProjection");
    m_pInvProjection = matrix("g_mInvProjection");
    m_pWorldViewProjection = matrix("g_mWorldViewProjection");
}

void KR_PostFXEngineDX11::ReleaseSizeDependentObjects()
{
    KR_GraphicsResourceManager* pManager = GetResourceManager();
    for (std::uint32_t& uiHandle : m_auiLightTargets)
    {
        if (uiHandle != NO_TEXTURE && pManager != nullptr)
            pManager->ReleaseTexture(&uiHandle);
        uiHandle = NO_TEXTURE;
    }
    KR_ReleaseAndNull(m_pRenderTargetView);
    KR_ReleaseAndNull(m_pDepthStencilView);
    KR_ReleaseAndNull(m_pRenderTargetTexture);
    KR_ReleaseAndNull(m_pDepthStencilTexture);
    KR_ReleaseAndNull(m_pFullScreenQuadUVsWithoutBorderVB);
    KR_ReleaseAndNull(m_pResolvedRenderTargetTexture);
    KR_ReleaseAndNull(m_pRenderTargetSRV);
    KR_ReleaseAndNull(m_pDepthStencilSRV);
    KR_ReleaseAndNull(m_pVolumeLightDepthStencilTexture);
    KR_ReleaseAndNull(m_pVolumeLightDepthStencilView);
    m_bTargetsReady = false;
}

bool KR_PostFXEngineDX11::CreateSizeDependentResources()
{
    // Retried on every resize while registered, so one failure (say, at an enlarged screenshot
    // size) does not switch the chain off for the rest of the run.
    if (!m_bRegistered || m_pEffect == nullptr)
        return true;
    ReleaseSizeDependentObjects();
    KR_GraphicsDevice* pGraphics = GetGraphicsDevice();
    ID3D11Device* pDevice = GetDevice();
    if (pGraphics == nullptr || pDevice == nullptr)
        return false;
    m_uiWidth = std::max<std::uint32_t>(1, pGraphics->GetWidth());
    m_uiHeight = std::max<std::uint32_t>(1, pGraphics->GetHeight());
    m_uiSampleCount = std::max<std::uint32_t>(1, pGraphics->GetAntiAliasing());
    m_bMultisampled = m_uiSampleCount > 1;
    const UINT uiQuality = m_bMultisampled ? pGraphics->GetMultisampleQuality() : 0;

    if (!CreateFrameTargets(pDevice, uiQuality))
    {
        ReleaseSizeDependentObjects();
        return false;
    }

    CreateOptionalTargets(pDevice);
    m_bTargetsReady = true;
    return true;
}

bool KR_PostFXEngineDX11::CreateFrameTargets(ID3D11Device* pDevice, UINT uiQuality)
{
    D3D11_TEXTURE2D_DESC colour = {m_uiWidth,
                                   m_uiHeight,
                                   1,
                                   1,
                                   DXGI_FORMAT_R16G16B16A16_FLOAT,
                                   {m_uiSampleCount, uiQuality},
                                   D3D11_USAGE_DEFAULT,
                                   m_bMultisampled
                                       ? UINT{D3D11_BIND_RENDER_TARGET}
                                       : UINT{D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE},
                                   0,
                                   0};
    bool bOk =
        SUCCEEDED(pDevice->CreateTexture2D(&colour, nullptr, &m_pRenderTargetTexture)) &&
        SUCCEEDED(pDevice->CreateRenderTargetView(m_pRenderTargetTexture, nullptr, &m_pRenderTargetView));
    ID3D11Texture2D* pColourSource = m_pRenderTargetTexture;
    if (bOk && m_bMultisampled)
    {
        D3D11_TEXTURE2D_DESC resolved = colour;
        resolved.SampleDesc = {1, 0};
        resolved.BindFlags = D3D11_BIND_SHADER_RESOURCE;
        bOk = SUCCEEDED(pDevice->CreateTexture2D(&resolved, nullptr, &m_pResolvedRenderTargetTexture));
        pColourSource = m_pResolvedRenderTargetTexture;
    }
    bOk = bOk && SUCCEEDED(pDevice->CreateShaderResourceView(pColourSource, nullptr, &m_pRenderTargetSRV));

    D3D11_TEXTURE2D_DESC depth = colour;
    depth.Format = DXGI_FORMAT_R32_TYPELESS;
    depth.BindFlags = D3D11_BIND_DEPTH_STENCIL | D3D11_BIND_SHADER_RESOURCE;
    bOk = bOk && SUCCEEDED(pDevice->CreateTexture2D(&depth, nullptr, &m_pDepthStencilTexture));
    if (bOk)
    {
        D3D11_DEPTH_STENCIL_VIEW_DESC dsv{};
        dsv.Format = DXGI_FORMAT_D32_FLOAT;
        dsv.ViewDimension = m_bMultisampled ? D3D11_DSV_DIMENSION_TEXTURE2DMS : D3D11_DSV_DIMENSION_TEXTURE2D;
        dsv.Texture2D.MipSlice = 0;
        bOk = SUCCEEDED(pDevice->CreateDepthStencilView(m_pDepthStencilTexture, &dsv, &m_pDepthStencilView));
    }
    if (bOk)
    {
        D3D11_SHADER_RESOURCE_VIEW_DESC srv{};
        srv.Format = DXGI_FORMAT_R32_FLOAT;
        srv.ViewDimension = m_bMultisampled ? D3D11_SRV_DIMENSION_TEXTURE2DMS : D3D11_SRV_DIMENSION_TEXTURE2D;
        if (!m_bMultisampled)
            srv.Texture2D = {0, 1};
        bOk = SUCCEEDED(pDevice->CreateShaderResourceView(m_pDepthStencilTexture, &srv, &m_pDepthStencilSRV));
    }
    return bOk;
}

void KR_PostFXEngineDX11::CreateOptionalTargets(ID3D11Device* pDevice)
{
    // Neither the border-less quad nor the volume depth is needed to run the chain.
    const float fW = static_cast<float>(m_uiWidth);
    const float fH = static_cast<float>(m_uiHeight);
    m_pFullScreenQuadUVsWithoutBorderVB =
        CreateQuad(pDevice, std::max(0.0f, (fW - 4.0f) / fW), std::max(0.0f, (fH - 4.0f) / fH),
                   std::min(0.5f, 2.0f / fW), std::min(0.5f, 2.0f / fH));
    const D3D11_TEXTURE2D_DESC volumeDepth = {m_uiWidth,
                                              m_uiHeight,
                                              1,
                                              1,
                                              DXGI_FORMAT_D24_UNORM_S8_UINT,
                                              {1, 0},
                                              D3D11_USAGE_DEFAULT,
                                              D3D11_BIND_DEPTH_STENCIL,
                                              0,
                                              0};
    if (SUCCEEDED(pDevice->CreateTexture2D(&volumeDepth, nullptr, &m_pVolumeLightDepthStencilTexture)))
    {
        D3D11_DEPTH_STENCIL_VIEW_DESC dsv{};
        dsv.Format = DXGI_FORMAT_D24_UNORM_S8_UINT;
        dsv.ViewDimension = D3D11_DSV_DIMENSION_TEXTURE2D;
        pDevice->CreateDepthStencilView(m_pVolumeLightDepthStencilTexture, &dsv,
                                        &m_pVolumeLightDepthStencilView);
    }
    if (KR_GraphicsResourceManager* pManager = GetResourceManager())
    {
        const std::uint32_t auiSizes[3][2] = {{m_uiWidth, m_uiHeight},
                                              {std::max(1u, m_uiWidth / 2), std::max(1u, m_uiHeight / 2)},
                                              {std::max(1u, m_uiWidth / 2), std::max(1u, m_uiHeight / 2)}};
        for (std::uint32_t i = 0; i < 3; ++i)
        {
            const KR_TextureResourceDescription desc(
                auiSizes[i][0], auiSizes[i][1], 0, 1, 1, DXGI_FORMAT_R16G16B16A16_FLOAT, D3D11_USAGE_DEFAULT,
                D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE, 0, 0);
            m_auiLightTargets[i] = pManager->AcquireTexture(&desc);
        }
    }
}

bool KR_PostFXEngineDX11::ReleaseResources()
{
    ReleaseSavedViews();
    ReleaseSizeDependentObjects();
    KR_ReleaseAndNull(m_pFullScreenQuadUVsVB);
    KR_ReleaseAndNull(m_pLightPyramidsVB);
    KR_ReleaseAndNull(m_pLightBricksVB);
    m_uiLightPyramidsVertexCount = 0;
    m_uiLightBricksVertexCount = 0;
    KR_ReleaseAndNull(m_pInputLayoutPosUV1Vertex);
    KR_ReleaseAndNull(m_pInputLayoutPosVertex);
    // The effect and the rasterizer state are the resource manager's; the pooled images of an
    // unfinished frame go back.
    ReleaseImages();
    m_pEffect = nullptr;
    std::fill(std::begin(m_apTechniques), std::end(m_apTechniques), nullptr);
    m_pVolumeRasterizerState = nullptr;
    return true;
}

bool KR_PostFXEngineDX11::ReleaseSizeDependentResources()
{
    return true;
}

bool KR_PostFXEngineDX11::RegisterEffect(std::uint32_t uiId)
{
    for (std::uint32_t i = 0; i < m_gRegistered.GetNumMembers(); ++i)
        if (m_gRegistered[i] == uiId)
        {
            m_bRegistered = true;
            return true;
        }
    m_gRegistered.Add(uiId);
    m_bRegistered = true;
    return true;
}

bool KR_PostFXEngineDX11::EnableEffect(std::uint32_t uiId, const void* pRecord)
{
    switch (uiId)
    {
    case KR_POSTFX_BLOOM:
        m_fBloomStrength =
            pRecord != nullptr ? static_cast<const KR_BloomParameters*>(pRecord)->m_fStrength : 1.0f;
        break;
    case KR_POSTFX_DEPTH_OF_FIELD:
    {
        const KR_DepthOfFieldParameters defaults;
        const auto* p =
            pRecord != nullptr ? static_cast<const KR_DepthOfFieldParameters*>(pRecord) : &defaults;
        std::copy(std::begin(p->m_fFocal), std::end(p->m_fFocal), m_afFocal);
        break;
    }
    case KR_POSTFX_COLOR_OFFSETS:
        if (const auto* p = static_cast<const KR_ColorOffsetParameters*>(pRecord))
        {
            std::copy_n(p->m_vPre, 4, m_avColorOffsets[0]);
            std::copy_n(p->m_vMult, 4, m_avColorOffsets[1]);
            std::copy_n(p->m_vPost, 4, m_avColorOffsets[2]);
        }
        break;
    case KR_POSTFX_COLOR_CUBES:
        if (const auto* p = static_cast<const KR_ColorCubeParameters*>(pRecord))
        {
            m_fColorBlend = p->m_fBlend;
            m_pColorCube1 = p->m_pCube1;
            m_pColorCube2 = p->m_pCube2;
        }
        break;
    case KR_POSTFX_VOLUME_LIGHTING:
    {
        const auto* p = static_cast<const KR_VolumeLightParameters*>(pRecord);
        m_oVolumeCamera = CameraValues{};
        m_gVolumeSpotLights.RemoveAll(false);
        m_gVolumeOmniLights.RemoveAll(false);
        if (p == nullptr)
            break;
        if (KR_Camera* pCamera = p->m_pCamera)
        {
            // Copied now: the camera may be a temporary one that is gone by EndFrame.
            m_oVolumeCamera.m_bValid = true;
            StoreVector(pCamera->GetPosition(), m_oVolumeCamera.m_vPosition);
            StoreVector(pCamera->GetLookVector(), m_oVolumeCamera.m_vLook);
            StoreVector(pCamera->GetUpVector(), m_oVolumeCamera.m_vUp);
            StoreVector(pCamera->GetRightVector(), m_oVolumeCamera.m_vRight);
            m_oVolumeCamera.m_fFOV = pCamera->GetFOV();
            m_oVolumeCamera.m_fAspectRatio = pCamera->GetAspectRatio();
            StoreMatrix(pCamera->GetViewProjectionMatrix(), m_oVolumeCamera.m_mViewProjection);
            const DirectX::XMMATRIX& projection = pCamera->GetProjectionMatrix();
            StoreMatrix(projection, m_oVolumeCamera.m_mProjection);
            StoreMatrix(DirectX::XMMatrixInverse(nullptr, projection), m_oVolumeCamera.m_mInverseProjection);
        }
        for (std::uint32_t i = 0; i < p->m_gSpotLights.GetNumMembers(); ++i)
            m_gVolumeSpotLights.Add(p->m_gSpotLights[i]);
        for (std::uint32_t i = 0; i < p->m_gOmniLights.GetNumMembers(); ++i)
            m_gVolumeOmniLights.Add(p->m_gOmniLights[i]);
        m_uiTraceSteps = p->m_uiTraceSteps;
        m_fTraceStepScale = p->m_fStepScale;
        m_fTraceDistance = p->m_fTraceDistance;
        m_afRandomFactor[0] = p->m_fRandomFactor;
        m_afRandomFactor[1] = 1.0f - p->m_fRandomFactor / 2.0f;
        break;
    }
    case KR_POSTFX_RGB_UV_SCALE:
        if (const auto* p = static_cast<const KR_RGBUVScaleParameters*>(pRecord))
        {
            KR_GraphicsDevice* pGraphics = GetGraphicsDevice();
            const float fAspect = pGraphics != nullptr ? pGraphics->GetAspectRatio() : 1.0f;
            const float afValues[7] = {p->m_fRed, p->m_fGreen, p->m_fBlue,        p->m_fU0,
                                       p->m_fU1,  p->m_fU2,    p->m_fU2 * fAspect};
            std::copy(std::begin(afValues), std::end(afValues), m_afRGBUVScale);
        }
        break;
    case KR_POSTFX_SCREENSHOT:
        m_bScreenshotPending = true;
        if (pRecord != nullptr)
            m_sScreenshotName = static_cast<const char*>(pRecord);
        return true;
    case KR_POSTFX_DIRTY_LENS:
        if (const auto* p = static_cast<const KR_DirtyLensParameters*>(pRecord))
        {
            m_fDirtyLensStrength = p->m_fStrength;
            m_pDirtyLensTexture = p->m_pLensTexture;
        }
        break;
    default:
        break;
    }
    for (std::uint32_t i = 0; i < m_gChain.GetNumMembers(); ++i)
        if (m_gChain[i] == uiId)
            return true;
    m_gChain.Add(uiId);
    return true;
}

void KR_PostFXEngineDX11::ClearEffects()
{
    m_gChain.RemoveAll(true);
}

bool KR_PostFXEngineDX11::DisableEffect(std::uint32_t uiId)
{
    for (std::uint32_t i = 0; i < m_gChain.GetNumMembers(); ++i)
        if (m_gChain[i] == uiId)
        {
            m_gChain.Remove(i, true);
            return true;
        }
    return false;
}

void KR_PostFXEngineDX11::SetNearFarPlanes(const float* nearFar)
{
    if (nearFar == nullptr)
        return;
    m_fNear = nearFar[0];
    m_fFar = nearFar[1];
    m_fOneOverFar = 1.0f / nearFar[1];
}

void KR_PostFXEngineDX11::ReleaseImages()
{
    KR_GraphicsResourceManager* pManager = GetResourceManager();
    const std::uint32_t uiScene = m_oSceneImage.m_uiHandle;
    for (ImageSlot* pSlot : {&m_oSceneImage, &m_oCurrentImage, &m_oStoredStage})
    {
        const bool bShared = pSlot != &m_oSceneImage && pSlot->m_uiHandle == uiScene;
        if (pSlot->m_uiHandle != NO_TEXTURE && !bShared && pManager != nullptr)
            pManager->ReleaseTexture(&pSlot->m_uiHandle);
        *pSlot = ImageSlot{};
    }
}

void KR_PostFXEngineDX11::ReleaseSavedViews()
{
    KR_ReleaseAndNull(m_pSavedRenderTargetView);
    KR_ReleaseAndNull(m_pSavedDepthStencilView);
}

bool KR_PostFXEngineDX11::BeginFrame(const float* clearColor)
{
    m_bTakenOver = false;
    ID3D11DeviceContext* pContext = GetContext();
    // Without targets a pending screenshot is taken from the back buffer at EndFrame.
    if (!IsRunning() || pContext == nullptr || (m_gChain.GetNumMembers() == 0 && !m_bScreenshotPending))
        return true;
    ReleaseSavedViews();
    pContext->OMGetRenderTargets(1, &m_pSavedRenderTargetView, &m_pSavedDepthStencilView);
    static const float BLACK[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    pContext->ClearRenderTargetView(m_pRenderTargetView, clearColor != nullptr ? clearColor : BLACK);
    pContext->ClearDepthStencilView(m_pDepthStencilView, D3D11_CLEAR_DEPTH, 1.0f, 0);
    pContext->OMSetRenderTargets(1, &m_pRenderTargetView, m_pDepthStencilView);
    m_bTakenOver = true;
    return true;
}

bool KR_PostFXEngineDX11::CanRun(std::uint32_t uiId) const
{
    if (uiId >= KR_POSTFX_TYPE_COUNT)
        return false;
    if (uiId == KR_POSTFX_VOLUME_LIGHTING)
        return m_oVolumeCamera.m_bValid;
    return true;
}

bool KR_PostFXEngineDX11::EndFrame()
{
    ID3D11DeviceContext* pContext = GetContext();
    if (!m_bTakenOver || pContext == nullptr)
    {
        // The scene drew into the back buffer: leave it there. A screenshot is taken from it.
        if (m_bScreenshotPending && pContext != nullptr)
            SaveBackBufferScreenshot();
        m_bScreenshotPending = false;
        m_gChain.RemoveAll(true);
        m_bTakenOver = false;
        return true;
    }
    m_bTakenOver = false;
    // Entries that draw nothing are dropped first, so the last entry that remains is the one
    // that writes the back buffer.
    for (std::uint32_t i = m_gChain.GetNumMembers(); i-- > 0;)
        if (!CanRun(m_gChain[i]) || m_gChain[i] == KR_POSTFX_SCREENSHOT)
            m_gChain.Remove(i, false);
    if (m_bScreenshotPending)
        m_gChain.Add(KR_POSTFX_SCREENSHOT);

    if (m_bMultisampled)
        pContext->ResolveSubresource(m_pResolvedRenderTargetTexture, 0, m_pRenderTargetTexture, 0,
                                     DXGI_FORMAT_R16G16B16A16_FLOAT);
    m_oSceneImage = m_oCurrentImage = ImageSlot{m_pRenderTargetSRV, NO_TEXTURE};
    m_uiSourceWidth = m_uiWidth;
    m_uiSourceHeight = m_uiHeight;
    const std::uint32_t uiCount = m_gChain.GetNumMembers();
    if (uiCount == 0)
        CopyToFinalTarget(); // taken over, nothing to run: the scene's image still reaches the screen
    for (std::uint32_t i = 0; i < uiCount; ++i)
        RunEffect(i, i + 1 == uiCount);
    // Whatever a skipped pass left behind goes back; the back buffer is bound again in any case.
    ReleaseImages();
    if (m_pSavedRenderTargetView != nullptr)
        BindFinalTarget();
    ReleaseSavedViews();
    m_gChain.RemoveAll(true);
    m_bScreenshotPending = false;
    return true;
}

ID3D11Texture2D* KR_PostFXEngineDX11::GetDepthStencilTexture()
{
    if (IsRunning() && m_gChain.GetNumMembers() > 0)
        return m_pDepthStencilTexture;
    KR_GraphicsDevice* pGraphics = GetGraphicsDevice();
    return pGraphics != nullptr ? pGraphics->GetDepthStencilTexture() : nullptr;
}

ID3D11ShaderResourceView* KR_PostFXEngineDX11::GetDepthStencilSRV()
{
    if (IsRunning())
        return m_pDepthStencilSRV;
    KR_GraphicsDevice* pGraphics = GetGraphicsDevice();
    return pGraphics != nullptr ? pGraphics->GetDepthShaderResourceView() : nullptr;
}

ID3D11DepthStencilView* KR_PostFXEngineDX11::GetDepthStencilView()
{
    if (IsRunning() && m_gChain.GetNumMembers() > 0)
        return m_pDepthStencilView;
    KR_GraphicsDevice* pGraphics = GetGraphicsDevice();
    return pGraphics != nullptr ? pGraphics->GetMainDepthStencilView() : nullptr;
}

// ---- shared pass operations ----

void KR_PostFXEngineDX11::SetTextureSize(std::uint32_t uiTargetWidth, std::uint32_t uiTargetHeight)
{
    const float afSize[4] = {1.0f / static_cast<float>(std::max(1u, m_uiSourceWidth)),
                             1.0f / static_cast<float>(std::max(1u, m_uiSourceHeight)),
                             1.0f / static_cast<float>(std::max(1u, uiTargetWidth)),
                             1.0f / static_cast<float>(std::max(1u, uiTargetHeight))};
    m_pTextureSize->SetFloatVector(afSize);
}

std::uint32_t KR_PostFXEngineDX11::BindIntermediateTarget(std::uint32_t uiWidth, std::uint32_t uiHeight)
{
    KR_GraphicsResourceManager* pManager = GetResourceManager();
    ID3D11DeviceContext* pContext = GetContext();
    if (pManager == nullptr || pContext == nullptr)
        return NO_TEXTURE;
    // Never below 1x1: a quarter of a tiny window is still a texture.
    uiWidth = std::max(1u, uiWidth);
    uiHeight = std::max(1u, uiHeight);
    const KR_TextureResourceDescription desc(uiWidth, uiHeight, 0, 1, 1, DXGI_FORMAT_R16G16B16A16_FLOAT,
                                             D3D11_USAGE_DEFAULT,
                                             D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE, 0, 0);
    std::uint32_t uiHandle = pManager->AcquireTexture(&desc);
    ID3D11RenderTargetView* pView =
        uiHandle != NO_TEXTURE ? pManager->GetRenderTargetView(uiHandle, 0) : nullptr;
    if (pView == nullptr || pManager->GetShaderResourceView(uiHandle) == nullptr)
    {
        if (uiHandle != NO_TEXTURE)
            pManager->ReleaseTexture(&uiHandle);
        return NO_TEXTURE;
    }
    static const float CLEAR[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    pContext->ClearRenderTargetView(pView, CLEAR);
    pContext->OMSetRenderTargets(1, &pView, nullptr);
    const D3D11_VIEWPORT viewport = {0.0f, 0.0f, static_cast<float>(uiWidth), static_cast<float>(uiHeight),
                                     0.0f, 1.0f};
    pContext->RSSetViewports(1, &viewport);
    pContext->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLESTRIP);
    SetTextureSize(uiWidth, uiHeight);
    return uiHandle;
}

void KR_PostFXEngineDX11::BindFinalTarget()
{
    ID3D11DeviceContext* pContext = GetContext();
    if (pContext == nullptr)
        return;
    pContext->OMSetRenderTargets(1, &m_pSavedRenderTargetView, m_pSavedDepthStencilView);
    ReleaseSavedViews();
    const D3D11_VIEWPORT viewport = {
        0.0f, 0.0f, static_cast<float>(m_uiWidth), static_cast<float>(m_uiHeight), 0.0f, 1.0f};
    pContext->RSSetViewports(1, &viewport);
    pContext->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLESTRIP);
    const float afSize[4] = {1.0f / static_cast<float>(m_uiWidth), 1.0f / static_cast<float>(m_uiHeight),
                             1.0f / static_cast<float>(m_uiWidth), 1.0f / static_cast<float>(m_uiHeight)};
    m_pTextureSize->SetFloatVector(afSize);
}

void KR_PostFXEngineDX11::BindDepthTexture()
{
    m_pNumberOfSamples->SetInt(static_cast<int>(m_uiSampleCount));
    const bool bSingle = m_uiSampleCount == 1;
    const bool bMultiple = m_uiSampleCount == 2 || m_uiSampleCount == 4 || m_uiSampleCount == 8;
    m_pDepthTexture->SetResource(bSingle ? m_pDepthStencilSRV : nullptr);
    m_pDepthTextureMS->SetResource(bMultiple ? m_pDepthStencilSRV : nullptr);
}

void KR_PostFXEngineDX11::UnbindTarget()
{
    ID3D11RenderTargetView* pNone = nullptr;
    GetContext()->OMSetRenderTargets(1, &pNone, nullptr);
}

void KR_PostFXEngineDX11::ClearPixelSlots(std::uint32_t uiCount)
{
    ID3D11ShaderResourceView* apNone[9] = {};
    GetContext()->PSSetShaderResources(0, std::min(9u, uiCount), apNone);
}

void KR_PostFXEngineDX11::Drop(ImageSlot* pSlot)
{
    const bool bShared = pSlot != &m_oSceneImage && pSlot->m_uiHandle == m_oSceneImage.m_uiHandle;
    KR_GraphicsResourceManager* pManager = GetResourceManager();
    if (pSlot->m_uiHandle != NO_TEXTURE && !bShared && pManager != nullptr)
        pManager->ReleaseTexture(&pSlot->m_uiHandle);
    *pSlot = ImageSlot{};
}

void KR_PostFXEngineDX11::DrawPass(const PassSetup& pass)
{
    ID3D11DeviceContext* pContext = GetContext();
    m_pSourceTexture1->SetResource(pass.m_pSource1);
    m_pSourceTexture2->SetResource(pass.m_pSource2);
    if (pass.m_bSetSource3)
        m_pSourceTexture3->SetResource(pass.m_pSource3);
    if (pass.m_bClearCubes)
    {
        m_pColorCubeTexture1->SetResource(nullptr);
        m_pColorCubeTexture2->SetResource(nullptr);
    }
    if (pass.m_bDepth)
        BindDepthTexture();
    ID3D11Buffer* pQuad = pass.m_bBorderless ? m_pFullScreenQuadUVsWithoutBorderVB : m_pFullScreenQuadUVsVB;
    const UINT uiStride = 20;
    const UINT uiOffset = 0;
    pContext->IASetInputLayout(m_pInputLayoutPosUV1Vertex);
    pContext->IASetVertexBuffers(0, 1, &pQuad, &uiStride, &uiOffset);
    m_apTechniques[pass.m_uiTechnique]->GetPassByIndex(pass.m_uiPass)->Apply(0, pContext);
    pContext->Draw(4, 0);
}

bool KR_PostFXEngineDX11::RunIntermediate(const PassSetup& pass, std::uint32_t uiWidth,
                                          std::uint32_t uiHeight)
{
    const std::uint32_t uiTarget = BindIntermediateTarget(uiWidth, uiHeight);
    if (uiTarget == NO_TEXTURE)
        return false;
    DrawPass(pass);
    UnbindTarget();
    ClearPixelSlots(pass.m_uiClearSlots);
    Drop(&m_oCurrentImage);
    m_oCurrentImage = ImageSlot{GetResourceManager()->GetShaderResourceView(uiTarget), uiTarget};
    m_uiSourceWidth = std::max(1u, uiWidth);
    m_uiSourceHeight = std::max(1u, uiHeight);
    return true;
}

bool KR_PostFXEngineDX11::RunFinalCapable(const PassSetup& pass, std::uint32_t uiWidth,
                                          std::uint32_t uiHeight, bool bLast)
{
    std::uint32_t uiTarget = NO_TEXTURE;
    if (bLast)
    {
        BindFinalTarget();
    }
    else
    {
        uiTarget = BindIntermediateTarget(uiWidth, uiHeight);
        if (uiTarget == NO_TEXTURE)
            return false;
    }
    DrawPass(pass);
    Drop(&m_oCurrentImage);
    Drop(&m_oSceneImage);
    if (!bLast)
    {
        UnbindTarget();
        m_oSceneImage = m_oCurrentImage =
            ImageSlot{GetResourceManager()->GetShaderResourceView(uiTarget), uiTarget};
        m_uiSourceWidth = std::max(1u, uiWidth);
        m_uiSourceHeight = std::max(1u, uiHeight);
    }
    ClearPixelSlots(pass.m_uiClearSlots);
    return true;
}
