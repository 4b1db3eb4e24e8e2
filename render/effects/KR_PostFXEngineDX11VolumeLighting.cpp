// Volume lighting, the KR_POSTFX_VOLUME_LIGHTING effect of the post-processing engine: the light
// scattered by the air in the cones of spot lights and around omni and tube lights. Three stages:
// the light volumes go into a depth buffer of their own; the march along every pixel's view ray,
// with the frame's lights in the effect's constant arrays, renders the scattered light at full
// size; that image is filtered at half size and added onto the chain's image.

#include "framework/app/KE_EngineMembers.h"
#include "platform/effects11/d3dx11effect.h"
#include "render/device/KR_GraphicsResourceManager.h"
#include "render/device/KR_ReleaseAndNull.h"
#include "render/effects/KR_PostFXEngineDX11.h"
#include "render/light/KR_OmniLight.h"
#include "render/light/KR_SpotLight.h"
#include "render/scene/KR_SceneManager.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <initializer_list>
#include <iterator>
#include <utility>

using namespace DirectX;

namespace
{

constexpr std::uint32_t P_MARCH = 0;
constexpr std::uint32_t P_DOWN_FILTER = 1;
constexpr std::uint32_t P_COMPOSITE = 2;
constexpr std::uint32_t P_VOLUME_DEPTH = 3;
constexpr std::uint32_t P_FILTER_FIRST = 5;
constexpr std::uint32_t P_FILTER_SECOND = 6;
constexpr UINT POSITION_STRIDE = 12;
constexpr std::uint32_t PIXEL_SLOTS = 9;

// The element count the effect declares for the variable (1 when it is no array, 0 when the
// effect has no such variable): more would be refused, or read past the shader's arrays.
std::uint32_t DeclaredLength(ID3DX11EffectVariable* pVariable)
{
    if (pVariable == nullptr || !pVariable->IsValid())
        return 0;
    ID3DX11EffectType* pType = pVariable->GetType();
    D3DX11_EFFECT_TYPE_DESC desc{};
    if (pType == nullptr || FAILED(pType->GetDesc(&desc)))
        return 0;
    return desc.Elements == 0 ? 1 : desc.Elements;
}

std::uint32_t SmallestLength(std::initializer_list<ID3DX11EffectVariable*> variables)
{
    std::uint32_t uiLength = UINT_MAX;
    for (ID3DX11EffectVariable* pVariable : variables)
        uiLength = std::min(uiLength, DeclaredLength(pVariable));
    return uiLength;
}

// A vertex buffer of the positions, or null when there are none or the device refuses it.
ID3D11Buffer* CreatePositionBuffer(ID3D11Device* pDevice, const KB_GrowingArray<XMFLOAT3>& vertices)
{
    const std::uint32_t uiCount = vertices.GetNumMembers();
    if (pDevice == nullptr || uiCount == 0)
        return nullptr;
    const D3D11_BUFFER_DESC desc = {
        uiCount * POSITION_STRIDE, D3D11_USAGE_DEFAULT, D3D11_BIND_VERTEX_BUFFER, 0, 0, 0};
    const D3D11_SUBRESOURCE_DATA data = {&vertices[0], 0, 0};
    ID3D11Buffer* pBuffer = nullptr;
    if (FAILED(pDevice->CreateBuffer(&desc, &data, &pBuffer)))
        return nullptr;
    return pBuffer;
}

const float* Floats(const KB_GrowingArray<XMFLOAT4>& array)
{
    static const float NONE[4] = {};
    return array.GetNumMembers() != 0 ? &array[0].x : NONE;
}

// The production time the lights are evaluated at.
double GetProductionTime()
{
    const KR_SceneManager* pScenes = KE_GetSceneManager();
    return pScenes != nullptr ? pScenes->GetSynchonizationTime() : 0.0;
}

} // namespace

void KR_PostFXEngineDX11::CreateLightPyramids(double fTime)
{
    KR_ReleaseAndNull(m_pLightPyramidsVB);
    m_uiLightPyramidsVertexCount = 0;
    KB_GrowingArray<XMFLOAT3>& vertices = m_gLightVolumeVertices;
    vertices.RemoveAll(false);
    for (std::uint32_t i = 0; i < m_gVolumeSpotLights.GetNumMembers(); ++i)
        KR_VolumeLightGeometry::BuildSpotLightPyramid(&vertices, fTime, m_gVolumeSpotLights[i],
                                                      m_fTraceDistance);
    m_pLightPyramidsVB = CreatePositionBuffer(GetDevice(), vertices);
    if (m_pLightPyramidsVB != nullptr)
        m_uiLightPyramidsVertexCount = vertices.GetNumMembers();
}

void KR_PostFXEngineDX11::CreateLightBricks(double fTime)
{
    KR_ReleaseAndNull(m_pLightBricksVB);
    m_uiLightBricksVertexCount = 0;
    KB_GrowingArray<XMFLOAT3>& vertices = m_gLightVolumeVertices;
    vertices.RemoveAll(false);
    const float* p = m_oVolumeCamera.m_vPosition;
    const XMVECTOR vCamera = XMVectorSet(p[0], p[1], p[2], 1.0f);
    // Omni lights first, then tube lights.
    for (std::uint32_t i = 0; i < m_gVolumeOmniLights.GetNumMembers(); ++i)
    {
        KR_OmniLight* pLight = m_gVolumeOmniLights[i];
        if (pLight != nullptr && !pLight->IsUsedAsTubeLight())
            KR_VolumeLightGeometry::BuildOmniLightBrick(&vertices, fTime, pLight, vCamera, m_fTraceDistance);
    }
    for (std::uint32_t i = 0; i < m_gVolumeOmniLights.GetNumMembers(); ++i)
    {
        KR_OmniLight* pLight = m_gVolumeOmniLights[i];
        if (pLight != nullptr && pLight->IsUsedAsTubeLight())
            KR_VolumeLightGeometry::BuildTubeLightBrick(&vertices, fTime, pLight, m_fTraceDistance);
    }
    m_pLightBricksVB = CreatePositionBuffer(GetDevice(), vertices);
    if (m_pLightBricksVB != nullptr)
        m_uiLightBricksVertexCount = vertices.GetNumMembers();
}

void KR_PostFXEngineDX11::ResetSpotLightBatch()
{
    m_oSpotLightBatch.Reset(SmallestLength({m_pShadowMap, m_pSpotLightProjection, m_pSpotLightPosition,
                                            m_pSpotLightDirection, m_pSpotLightColor, m_pSpotLightFOVCosAngle,
                                            m_pSpotLightAttenuation, m_pSpotLightShadowBias}));
}

void KR_PostFXEngineDX11::AddSpotLight(double fTime, KR_SpotLight* pLight)
{
    m_oSpotLightBatch.Add(fTime, pLight);
}

void KR_PostFXEngineDX11::ApplySpotLightBatch()
{
    const KR_VolumeLightGeometry::SpotLightBatch& b = m_oSpotLightBatch;
    const std::uint32_t n = b.GetCount();
    m_pNumberOfSpotLights->SetInt(static_cast<int>(n));
    if (n == 0)
        return;
    m_pShadowMap->SetResourceArray(&b.m_gShadowMaps[0], 0, n);
    m_pSpotLightProjection->SetMatrixArray(&b.m_gProjections[0].m[0][0], 0, n);
    m_pSpotLightPosition->SetFloatVectorArray(Floats(b.m_gPositions), 0, n);
    m_pSpotLightDirection->SetFloatVectorArray(Floats(b.m_gDirections), 0, n);
    m_pSpotLightColor->SetFloatVectorArray(Floats(b.m_gColors), 0, n);
    m_pSpotLightFOVCosAngle->SetFloatVectorArray(Floats(b.m_gCones), 0, n);
    m_pSpotLightAttenuation->SetFloatVectorArray(Floats(b.m_gAttenuations), 0, n);
    m_pSpotLightShadowBias->SetFloatVectorArray(Floats(b.m_gShadowBiases), 0, n);
}

void KR_PostFXEngineDX11::ResetOmniLightBatch()
{
    m_oOmniLightBatch.Reset(SmallestLength(
        {m_pOmniLightColor, m_pOmniLightAttenuation, m_pOmniLightPosition, m_pOmniLightPosition2}));
}

void KR_PostFXEngineDX11::AddOmniLight(double fTime, KR_OmniLight* pLight)
{
    m_oOmniLightBatch.Add(fTime, pLight);
}

void KR_PostFXEngineDX11::ApplyOmniLightBatch()
{
    const KR_VolumeLightGeometry::OmniLightBatch& b = m_oOmniLightBatch;
    const std::uint32_t uiTubes = b.GetTubeCount();
    const std::uint32_t n = uiTubes + b.GetOmniCount();
    m_pNumberOfOmniLights->SetInt(static_cast<int>(n));
    m_pNumberOfTubeLights->SetInt(static_cast<int>(uiTubes));
    if (n == 0)
        return;
    b.GetCombined(&m_gCombinedOmniColors, &m_gCombinedOmniAttenuations, &m_gCombinedOmniPositions);
    m_pOmniLightColor->SetFloatVectorArray(Floats(m_gCombinedOmniColors), 0, n);
    m_pOmniLightAttenuation->SetFloatVectorArray(Floats(m_gCombinedOmniAttenuations), 0, n);
    m_pOmniLightPosition->SetFloatVectorArray(Floats(m_gCombinedOmniPositions), 0, n);
    m_pOmniLightPosition2->SetFloatVectorArray(Floats(b.m_gTubeSecondPositions), 0, uiTubes);
}

void KR_PostFXEngineDX11::RenderLightVolumes(bool bLast)
{
    // Without a camera nothing at all happens (the chain leaves such an entry out beforehand).
    if (!m_oVolumeCamera.m_bValid)
        return;
    ID3D11DeviceContext* pContext = GetContext();
    KR_GraphicsResourceManager* pManager = GetResourceManager();
    if (pContext == nullptr || pManager == nullptr)
        return;
    LightTargets targets = {};
    for (std::uint32_t i = 0; i < 3; ++i)
        if (m_auiLightTargets[i] != NO_TEXTURE)
        {
            targets.apTargets[i] = pManager->GetRenderTargetView(m_auiLightTargets[i], 0);
            targets.apImages[i] = pManager->GetShaderResourceView(m_auiLightTargets[i]);
        }
    if (std::find(std::begin(targets.apTargets), std::end(targets.apTargets), nullptr) !=
            std::end(targets.apTargets) ||
        std::find(std::begin(targets.apImages), std::end(targets.apImages), nullptr) !=
            std::end(targets.apImages))
    {
        // The pool could not make the light targets: the image goes on unlit.
        if (bLast)
            CopyToFinalTarget();
        return;
    }
    const double fTime = GetProductionTime();
    const float fW = static_cast<float>(m_uiWidth);
    const float fH = static_cast<float>(m_uiHeight);
    const D3D11_VIEWPORT full = {0.0f, 0.0f, fW, fH, 0.0f, 1.0f};

    RenderVolumeDepth(pContext, fTime, full);
    MarchLightVolumes(pContext, fTime, targets);
    FilterLightImages(pContext, targets, fW, fH);
    pContext->RSSetViewports(1, &full);

    PassSetup composite;
    composite.m_uiTechnique = T_VOLUME_LIGHTING;
    composite.m_uiPass = P_COMPOSITE;
    composite.m_pSource1 = targets.apImages[1];
    composite.m_pSource2 = m_oCurrentImage.m_pView;
    composite.m_bDepth = false;
    composite.m_uiClearSlots = PIXEL_SLOTS;
    RunFinalCapable(composite, m_uiSourceWidth, m_uiSourceHeight, bLast);
}

void KR_PostFXEngineDX11::RenderVolumeDepth(ID3D11DeviceContext* pContext, double fTime,
                                            const D3D11_VIEWPORT& full)
{
    // The viewport is set here, not inherited: an effect before may have left a smaller one.
    CreateLightPyramids(fTime);
    CreateLightBricks(fTime);
    ID3D11RasterizerState* pSavedState = nullptr;
    pContext->RSGetState(&pSavedState);
    pContext->RSSetState(m_pVolumeRasterizerState);
    pContext->RSSetViewports(1, &full);
    if (m_pVolumeLightDepthStencilView != nullptr)
        pContext->ClearDepthStencilView(m_pVolumeLightDepthStencilView,
                                        D3D11_CLEAR_DEPTH | D3D11_CLEAR_STENCIL, 1.0f, 0);
    pContext->OMSetRenderTargets(0, nullptr, m_pVolumeLightDepthStencilView);
    pContext->IASetInputLayout(m_pInputLayoutPosVertex);
    pContext->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
    m_pWorldViewProjection->SetMatrix(m_oVolumeCamera.m_mViewProjection);
    ID3DX11EffectTechnique* pTechnique = m_apTechniques[T_VOLUME_LIGHTING];
    const UINT uiOffset = 0;
    for (const auto& [pBuffer, uiCount] : {std::pair{m_pLightPyramidsVB, m_uiLightPyramidsVertexCount},
                                           std::pair{m_pLightBricksVB, m_uiLightBricksVertexCount}})
    {
        if (uiCount == 0)
            continue;
        pContext->IASetVertexBuffers(0, 1, &pBuffer, &POSITION_STRIDE, &uiOffset);
        pTechnique->GetPassByIndex(P_VOLUME_DEPTH)->Apply(0, pContext);
        pContext->Draw(uiCount, 0);
    }
    pContext->RSSetState(pSavedState);
    KR_ReleaseAndNull(pSavedState);
}

void KR_PostFXEngineDX11::MarchLightVolumes(ID3D11DeviceContext* pContext, double fTime,
                                            const LightTargets& targets)
{
    static const float CLEAR[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    for (ID3D11RenderTargetView* pTarget : targets.apTargets)
        pContext->ClearRenderTargetView(pTarget, CLEAR);
    pContext->OMSetRenderTargets(1, &targets.apTargets[0], m_pVolumeLightDepthStencilView);
    pContext->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLESTRIP);
    SetMarchVariables();

    ResetSpotLightBatch();
    for (std::uint32_t i = 0; i < m_gVolumeSpotLights.GetNumMembers(); ++i)
        AddSpotLight(fTime, m_gVolumeSpotLights[i]);
    ApplySpotLightBatch();
    ResetOmniLightBatch();
    for (std::uint32_t i = 0; i < m_gVolumeOmniLights.GetNumMembers(); ++i)
        AddOmniLight(fTime, m_gVolumeOmniLights[i]);
    ApplyOmniLightBatch();

    PassSetup march;
    march.m_uiTechnique = T_VOLUME_LIGHTING;
    march.m_uiPass = P_MARCH;
    march.m_uiClearSlots = PIXEL_SLOTS;
    DrawPass(march); // binds the depth texture
    ClearPixelSlots(PIXEL_SLOTS);
}

void KR_PostFXEngineDX11::SetMarchVariables()
{
    const CameraValues& c = m_oVolumeCamera;
    const float n = m_fNear;
    const float h = std::tan(c.m_fFOV * 0.5f * KR_VolumeLightGeometry::DEGREES_TO_RADIANS) * n;
    const float w = c.m_fAspectRatio * h;
    float afCorners[3][4];
    for (std::uint32_t k = 0; k < 3; ++k)
    {
        // Top left, top right, bottom left of the near plane.
        const float fSide = k == 1 ? w : -w;
        const float fHeight = k == 2 ? -h : h;
        for (std::uint32_t j = 0; j < 3; ++j)
            afCorners[k][j] =
                c.m_vPosition[j] + n * c.m_vLook[j] + fSide * c.m_vRight[j] + fHeight * c.m_vUp[j];
        afCorners[k][3] = 1.0f;
    }
    m_pFrustrumCorners->SetFloatVectorArray(&afCorners[0][0], 0, 3);
    // A record with no steps marches nothing; the divisions still see one step.
    const float fSteps = static_cast<float>(std::max<std::uint32_t>(1, m_uiTraceSteps));
    const float s = (m_fTraceDistance - n) / fSteps * 0.25f;
    const float afOffsets[4] = {0.0f, s, 2.0f * s, 3.0f * s};
    m_pViewRayOffsets->SetFloatArray(afOffsets, 0, 4);
    m_pNear->SetFloat(n);
    m_pFar->SetFloat(m_fTraceDistance);
    m_pTraceSteps->SetInt(static_cast<int>(std::min<std::uint32_t>(m_uiTraceSteps, INT_MAX)));
    m_pTraceStepFactor->SetFloat(m_fTraceStepScale / (fSteps * 4.0f));
    m_pInvProjection->SetMatrix(c.m_mInverseProjection);
    const float afCamera[4] = {c.m_vPosition[0], c.m_vPosition[1], c.m_vPosition[2], 1.0f};
    m_pCameraPosition->SetFloatVector(afCamera);
    const float afRandom[4] = {m_afRandomFactor[0], m_afRandomFactor[1], 0.0f, 0.0f};
    m_pRandomFactor->SetFloatVector(afRandom);
}

void KR_PostFXEngineDX11::FilterLightImages(ID3D11DeviceContext* pContext, const LightTargets& targets,
                                            float fW, float fH)
{
    const float fHalfW = fW * 0.5f;
    const float fHalfH = fH * 0.5f;
    const D3D11_VIEWPORT half = {0.0f, 0.0f, fHalfW, fHalfH, 0.0f, 1.0f};
    pContext->RSSetViewports(1, &half);
    const struct
    {
        std::uint32_t m_uiPass;
        std::uint32_t m_uiSource;
        std::uint32_t m_uiTarget;
        float m_fSourceWidth;
        float m_fSourceHeight;
    } FILTERS[3] = {{P_DOWN_FILTER, 0, 1, fW, fH},
                    {P_FILTER_FIRST, 1, 2, fHalfW, fHalfH},
                    {P_FILTER_SECOND, 2, 1, fHalfW, fHalfH}};
    for (const auto& filter : FILTERS)
    {
        pContext->OMSetRenderTargets(1, &targets.apTargets[filter.m_uiTarget], nullptr);
        // The filters step by one texel of what they read.
        const float afSize[4] = {1.0f / filter.m_fSourceWidth, 1.0f / filter.m_fSourceHeight, 1.0f / fHalfW,
                                 1.0f / fHalfH};
        m_pTextureSize->SetFloatVector(afSize);
        PassSetup pass;
        pass.m_uiTechnique = T_VOLUME_LIGHTING;
        pass.m_uiPass = filter.m_uiPass;
        pass.m_pSource1 = targets.apImages[filter.m_uiSource];
        pass.m_bDepth = false;
        DrawPass(pass);
        if (filter.m_uiPass != P_DOWN_FILTER)
            ClearPixelSlots(PIXEL_SLOTS);
    }
}
