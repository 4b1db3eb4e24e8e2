// KR_Scene: the frame while current: the shadow maps and lights, the cube maps, the chunks, the
// volume lighting and the editor's visuals.

#include "render/scene/KR_Scene.h"

#include "framework/app/KE_EngineMembers.h"
#include "render/camera/KR_AnimatedCamera.h"
#include "render/debug/KR_VertexInterpolationVisualisation.h"
#include "render/device/KR_GraphicsDevice.h"
#include "render/device/KR_GraphicsResourceManager.h"
#include "render/device/KR_ShaderCoreManager.h"
#include "render/effects/KR_PostFXEngine.h"
#include "render/light/KR_OmniLight.h"
#include "render/light/KR_SpotLight.h"
#include "render/models/KR_ManagedModelResourceDX11.h"
#include "render/scene/KR_CubeMapPlacer.h"
#include "render/scene/KR_SceneManager.h"
#include "timing/KU_InterpolationValue.h"
#include "timing/KU_VertexInterpolation.h"

using namespace DirectX;

namespace
{

// The post-processing effect the scene drives, and the user-defined curve that tunes it.
constexpr std::uint32_t VOLUME_LIGHTING_EFFECT = 5;
constexpr std::uint32_t VOLUME_LIGHTING_CURVE = 5;
// The shadow projection's near plane; a light reaching no farther casts no shadow.
constexpr float SHADOW_NEAR_PLANE = 1.0f;
constexpr std::uint32_t SAVED_TARGETS = 2;
constexpr std::uint32_t PIXEL_SHADER_SLOTS = 22;

// Ray-march settings of the volume lighting by rendering quality.
void GetVolumeLightQuality(std::uint32_t uiQuality, std::uint32_t* pSteps, float* pRandomFactor)
{
    static constexpr std::uint32_t STEPS[5] = {32, 48, 64, 96, 128};
    static constexpr float RANDOM[5] = {0.125f, 0.25f, 0.45f, 0.7f, 1.0f};
    const std::uint32_t uiLevel = uiQuality < 5 ? uiQuality : 0;
    *pSteps = STEPS[uiLevel];
    *pRandomFactor = RANDOM[uiLevel];
}

} // namespace

void KR_Scene::RenderAllCubeMaps()
{
    for (std::uint32_t i = 0; i < m_gCubeMapPlacers.GetNumMembers(); ++i)
        m_gCubeMapPlacers[i]->RenderCubeMap(this, m_gCubeMapPlacers[i]->GetRenderSynchronizationTime());
}

void KR_Scene::RenderChunks(double fTime, const XMMATRIX* pObjectMatrix, bool bShadowPass)
{
    const std::uint32_t uiCount = m_gChunkModels.GetNumMembers() < m_gChunkInterpolations.GetNumMembers()
                                      ? m_gChunkModels.GetNumMembers()
                                      : m_gChunkInterpolations.GetNumMembers();
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        KU_VertexInterpolation* pCurve = m_gChunkInterpolations[i];
        XMVECTOR vValue = XMVectorZero();
        pCurve->GetValueAt(&vValue, fTime - pCurve->GetStartTime());
        if (!(XMVectorGetX(vValue) > 0.0f) || m_gChunkModels[i] == nullptr)
            continue;
        m_gChunkModels[i]->Render(fTime, bShadowPass ? KR_RENDER_PASS_SHADOW_MAP : KR_RENDER_PASS_COLOR,
                                  &m_mChunkWorld, pObjectMatrix, 1);
    }
}

bool KR_Scene::Update(double fTime)
{
    for (std::uint32_t i = 0; i < m_gAnimatedCameras.GetNumMembers(); ++i)
        if (m_gAnimatedCameras[i]->IsActive(fTime))
            m_gAnimatedCameras[i]->Update(fTime);

    // The lists keep their storage from frame to frame.
    m_gCubeMapViews.RemoveAll(false);
    m_gCubeMapVectors.RemoveAll(false);
    m_gCubeMapMipCounts.RemoveAll(false);
    m_gCubeMapFlags.RemoveAll(false);
    auto addEntry = [&](KR_CubeMapPlacer* pPlacer, float fW)
    {
        ID3D11ShaderResourceView* pView = pPlacer->GetCubeMapView();
        float fMipLevels = 0.0f;
        if (pView != nullptr)
        {
            D3D11_SHADER_RESOURCE_VIEW_DESC desc = {};
            pView->GetDesc(&desc);
            fMipLevels = static_cast<float>(desc.TextureCube.MipLevels);
        }
        XMFLOAT4 vPosition;
        XMStoreFloat4(&vPosition, XMVectorSetW(pPlacer->GetPosition(fTime), fW));
        m_gCubeMapViews.Add(pView);
        m_gCubeMapVectors.Add(vPosition);
        m_gCubeMapMipCounts.Add(fMipLevels);
        m_gCubeMapFlags.Add(pPlacer->IsDynamic());
    };
    // One global map (a negative range) first, then every local one.
    for (std::uint32_t i = 0; i < m_gCubeMapPlacers.GetNumMembers(); ++i)
    {
        KR_CubeMapPlacer* pPlacer = m_gCubeMapPlacers[i];
        if (pPlacer->IsActive(fTime) && pPlacer->GetCubeMapInfluenceRange() < 0.0f)
        {
            addEntry(pPlacer, 0.0f);
            break;
        }
    }
    for (std::uint32_t i = 0; i < m_gCubeMapPlacers.GetNumMembers(); ++i)
    {
        KR_CubeMapPlacer* pPlacer = m_gCubeMapPlacers[i];
        const float fRange = pPlacer->GetCubeMapInfluenceRange();
        if (pPlacer->IsActive(fTime) && fRange >= 0.0f)
            addEntry(pPlacer, fRange * fRange);
    }
    if (KR_ShaderCoreManager* pCore = KE_GetShaderCoreManager())
        pCore->SetCubeMaps(&m_gCubeMapViews, &m_gCubeMapVectors, &m_gCubeMapMipCounts, &m_gCubeMapFlags);
    return true;
}

void KR_Scene::Render(KR_Camera* pCamera, double fTime, bool bNoDebugVisuals)
{
    // The cube-map pass renders through a camera of its own that does not outlive the pass: the
    // volume lighting, read when the frame ends, must never see it.
    if (bNoDebugVisuals)
        return;

    KR_SceneManager* pManager = KE_GetSceneManager();
    KR_PostFXEngine* pPostFX = KE_GetPostFXEngine();
    const bool bTimelineRunning = pManager == nullptr || pManager->IsTimelineRunning();
    if (bTimelineRunning && pPostFX != nullptr)
    {
        // The effect's march is tuned by user-defined curve 5: without it there is no effect.
        const bool bNoLights =
            m_gVolumeSpotLights.GetNumMembers() == 0 && m_gVolumeOmniLights.GetNumMembers() == 0;
        if (bNoLights || m_gUserDefinedInterpolations.GetNumMembers() <= VOLUME_LIGHTING_CURVE)
        {
            pPostFX->DisableEffect(VOLUME_LIGHTING_EFFECT);
        }
        else
        {
            KR_VolumeLightParameters& record = m_oVolumeLightRecord;
            record.m_pCamera = pCamera;
            record.m_gSpotLights.RemoveAll(false);
            record.m_gOmniLights.RemoveAll(false);
            for (std::uint32_t i = 0; i < m_gVolumeSpotLights.GetNumMembers(); ++i)
                record.m_gSpotLights.Add(m_gVolumeSpotLights[i]);
            for (std::uint32_t i = 0; i < m_gVolumeOmniLights.GetNumMembers(); ++i)
                record.m_gOmniLights.Add(m_gVolumeOmniLights[i]);
            KR_GraphicsDevice* pDevice = KE_GetGraphicsDevice();
            GetVolumeLightQuality(pDevice != nullptr ? pDevice->GetRenderingQuality() : 0,
                                  &record.m_uiTraceSteps, &record.m_fRandomFactor);
            const XMVECTOR vTuning =
                KU_GetVectorAtTime(m_gUserDefinedInterpolations[VOLUME_LIGHTING_CURVE], fTime);
            record.m_fStepScale = XMVectorGetX(vTuning);
            record.m_fTraceDistance = XMVectorGetY(vTuning);
            pPostFX->EnableEffect(VOLUME_LIGHTING_EFFECT, &record);
            record.m_pCamera = nullptr; // the engine took its copy; the camera may not outlive the frame
        }
    }

    const XMMATRIX mViewProjection =
        pCamera != nullptr ? pCamera->GetViewProjectionMatrix() : XMMatrixIdentity();
    const XMVECTOR vViewer = pCamera != nullptr ? pCamera->GetPosition() : XMVectorZero();
    const bool bOrientations = IsShownInEditor(KR_SceneManager::VISUALISATION_ORIENTATIONS);
    if (IsShownInEditor(KR_SceneManager::VISUALISATION_CAMERAS) && !bOrientations)
        for (std::uint32_t i = 0; i < m_gAnimatedCameras.GetNumMembers(); ++i)
            if (m_gAnimatedCameras[i]->IsActive(fTime))
                m_gAnimatedCameras[i]->RenderDebug(fTime, &mViewProjection, &vViewer);
    if (bOrientations)
        for (std::uint32_t i = 0; i < m_gAnimatedCameras.GetNumMembers(); ++i)
            if (m_gAnimatedCameras[i]->IsActive(fTime))
                m_gAnimatedCameras[i]->RenderOrientationDebug(fTime, &mViewProjection, &vViewer);
    if (IsShownInEditor(KR_SceneManager::VISUALISATION_CURVES))
        for (std::uint32_t i = 0; i < m_gVertexVisualisations.GetNumMembers(); ++i)
            if (m_gVertexInterpolations[i]->IsActive(fTime))
                m_gVertexVisualisations[i]->Render(fTime, &mViewProjection, vViewer);
    if (IsShownInEditor(KR_SceneManager::VISUALISATION_LIGHTS))
    {
        for (std::uint32_t i = 0; i < m_gOmniLights.GetNumMembers(); ++i)
            if (m_gOmniLights[i]->IsActive(fTime))
                m_gOmniLights[i]->RenderDebug(fTime, &mViewProjection, vViewer);
        for (std::uint32_t i = 0; i < m_gSpotLights.GetNumMembers(); ++i)
            if (m_gSpotLights[i]->IsActive(fTime))
                m_gSpotLights[i]->RenderDebug(fTime, &mViewProjection, vViewer);
    }
    if (IsShownInEditor(KR_SceneManager::VISUALISATION_PLACERS))
        for (std::uint32_t i = 0; i < m_gCubeMapPlacers.GetNumMembers(); ++i)
            if (m_gCubeMapPlacers[i]->IsActive(fTime))
                m_gCubeMapPlacers[i]->RenderDebug(fTime, &mViewProjection, vViewer);
}

bool KR_Scene::RenderCubeMapsAtLoad()
{
    for (std::uint32_t i = 0; i < m_gCubeMapPlacers.GetNumMembers(); ++i)
        if (m_gCubeMapPlacers[i]->IsDynamic())
            m_gCubeMapPlacers[i]->RenderOnceAtStartTime(this);
    return true;
}

bool KR_Scene::RenderDynamicCubeMaps(double fTime)
{
    for (std::uint32_t i = 0; i < m_gCubeMapPlacers.GetNumMembers(); ++i)
        if (m_gCubeMapPlacers[i]->IsActive(fTime) && m_gCubeMapPlacers[i]->IsDynamic())
            m_gCubeMapPlacers[i]->RenderCubeMap(this, fTime);
    return true;
}

void KR_Scene::AcquireShadowMaps()
{
    AcquireShadowTextures();
}

void KR_Scene::ReleaseShadowMaps()
{
    if (KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager())
    {
        const std::uint32_t uiCount =
            m_gShadowColorHandles.GetNumMembers() < m_gShadowDepthHandles.GetNumMembers()
                ? m_gShadowColorHandles.GetNumMembers()
                : m_gShadowDepthHandles.GetNumMembers();
        for (std::uint32_t i = 0; i < uiCount; ++i)
        {
            pResources->ReleaseTexture(&m_gShadowColorHandles[i]);
            pResources->ReleaseTexture(&m_gShadowDepthHandles[i]);
        }
    }
    m_gShadowColorHandles.RemoveAll();
    m_gShadowDepthHandles.RemoveAll();
}

void KR_Scene::AcquireShadowTextures()
{
    KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager();
    if (pResources == nullptr)
        return;
    for (std::uint32_t i = 0; i < m_gSpotLights.GetNumMembers(); ++i)
    {
        const std::uint32_t uiSide = m_gSpotLights[i]->GetShadowTextureResolution();
        m_oShadowColorDescription.m_uiWidth = m_oShadowColorDescription.m_uiHeight = uiSide;
        m_oShadowDepthDescription.m_uiWidth = m_oShadowDepthDescription.m_uiHeight = uiSide;
        m_gShadowColorHandles.Add(pResources->AcquireTexture(&m_oShadowColorDescription));
        m_gShadowDepthHandles.Add(pResources->AcquireTexture(&m_oShadowDepthDescription));
    }
}

float KR_Scene::GetStrengthAt(KR_LightBase* pLight, double fTime)
{
    if (KU_VertexInterpolation* pStrength = pLight->GetStrengthInterpolation())
        return XMVectorGetX(KU_GetVectorAtTime(pStrength, fTime));
    return pLight->GetLightStrength(fTime);
}

void KR_Scene::UpdateLightSelection(double fTime)
{
    Update(fTime);

    KR_GraphicsDevice* pDevice = KE_GetGraphicsDevice();
    ID3D11DeviceContext* pContext = pDevice != nullptr ? pDevice->GetImmediateContext() : nullptr;
    KR_ShaderCoreManager* pCore = KE_GetShaderCoreManager();
    KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager();
    if (pCore != nullptr)
    {
        pCore->ResetShadowMaps();
        pCore->ResetLights();
    }
    // The spot lights may have changed since the maps were taken (entities reloaded): one map
    // per light again before any is used.
    if (m_gShadowColorHandles.GetNumMembers() != m_gSpotLights.GetNumMembers() ||
        m_gShadowDepthHandles.GetNumMembers() != m_gSpotLights.GetNumMembers())
    {
        ReleaseShadowMaps();
        AcquireShadowMaps();
    }

    UINT uiSavedViewports = 0;
    if (pContext != nullptr)
    {
        pContext->OMGetRenderTargets(SAVED_TARGETS, m_apSavedRenderTargets, &m_pSavedDepthStencil);
        pContext->RSGetViewports(&uiSavedViewports, nullptr);
        uiSavedViewports = uiSavedViewports < SAVED_TARGETS ? uiSavedViewports : SAVED_TARGETS;
        pContext->RSGetViewports(&uiSavedViewports, m_aSavedViewports);
        ID3D11ShaderResourceView* apNoViews[PIXEL_SHADER_SLOTS] = {};
        pContext->PSSetShaderResources(0, PIXEL_SHADER_SLOTS, apNoViews);
    }

    m_gVolumeSpotLights.RemoveAll(false);
    for (std::uint32_t i = 0; i < m_gSpotLights.GetNumMembers(); ++i)
    {
        KR_SpotLight* pLight = m_gSpotLights[i];
        if (!pLight->IsActive(fTime) || !(GetStrengthAt(pLight, fTime) > 0.0f))
            continue;
        // A light reaching no farther than the near plane, or aimed at itself, has no projection.
        const float fDistance = pLight->GetMaxLightDistance(fTime);
        if (!(fDistance > SHADOW_NEAR_PLANE) || !pLight->HasValidView(fTime))
            continue;
        const bool bHasMaps = i < m_gShadowColorHandles.GetNumMembers() && pResources != nullptr;
        ID3D11RenderTargetView* pTarget =
            bHasMaps ? pResources->GetRenderTargetView(m_gShadowColorHandles[i], 0) : nullptr;
        ID3D11DepthStencilView* pDepth =
            bHasMaps ? pResources->GetDepthStencilView(m_gShadowDepthHandles[i], 0) : nullptr;
        const XMMATRIX mViewProjection = pLight->GetViewProjectionMatrix(fTime);
        if (pContext != nullptr)
        {
            const float fSide = static_cast<float>(pLight->GetShadowTextureResolution());
            const D3D11_VIEWPORT viewport = {0.0f, 0.0f, fSide, fSide, 0.0f, 1.0f};
            pContext->RSSetViewports(1, &viewport);
            const float afClear[4] = {fDistance, 0.0f, 0.0f, 0.0f};
            if (pTarget != nullptr)
                pContext->ClearRenderTargetView(pTarget, afClear);
            if (pDepth != nullptr)
                pContext->ClearDepthStencilView(pDepth, D3D11_CLEAR_DEPTH, 1.0f, 0);
            pContext->OMSetRenderTargets(1, &pTarget, pDepth);
        }
        if (pCore != nullptr)
            pCore->SetWorldViewProjectionMatrix(mViewProjection);
        RenderModels(fTime, &mViewProjection);
        pLight->SetShadowMapView(bHasMaps ? pResources->GetShaderResourceView(m_gShadowColorHandles[i])
                                          : nullptr);
        if (pCore != nullptr)
            pCore->SetSpotLights(fTime, pLight);
        if (pLight->IsUsedAsVolumeLight())
            m_gVolumeSpotLights.Add(pLight);
    }

    if (pContext != nullptr)
    {
        pContext->OMSetRenderTargets(SAVED_TARGETS, m_apSavedRenderTargets, m_pSavedDepthStencil);
        pContext->RSSetViewports(uiSavedViewports, m_aSavedViewports);
        for (ID3D11RenderTargetView*& pTarget : m_apSavedRenderTargets)
        {
            if (pTarget != nullptr)
                pTarget->Release();
            pTarget = nullptr;
        }
        if (m_pSavedDepthStencil != nullptr)
            m_pSavedDepthStencil->Release();
        m_pSavedDepthStencil = nullptr;
    }

    m_gVolumeOmniLights.RemoveAll(false);
    for (std::uint32_t i = 0; i < m_gOmniLights.GetNumMembers(); ++i)
    {
        KR_OmniLight* pLight = m_gOmniLights[i];
        if (!pLight->IsActive(fTime) || !(GetStrengthAt(pLight, fTime) > 0.0f))
            continue;
        if (pCore != nullptr)
            pCore->SetOmniLights(fTime, pLight);
        if (pLight->IsUsedAsVolumeLight())
            m_gVolumeOmniLights.Add(pLight);
    }
}

void KR_Scene::ComputeRailTransform(double fTime, const XMMATRIX* pObjectMatrix, bool bShadowPass,
                                    std::uint32_t uiCurve, KR_ModelResource* pModel)
{
    const std::uint64_t uiTarget = static_cast<std::uint64_t>(uiCurve) + 1;
    if (pModel == nullptr || uiTarget >= m_gVertexInterpolations.GetNumMembers())
        return;
    const XMVECTOR vPosition = KU_GetVectorAtTime(m_gVertexInterpolations[uiCurve], fTime);
    const XMVECTOR vTarget =
        KU_GetVectorAtTime(m_gVertexInterpolations[static_cast<std::uint32_t>(uiTarget)], fTime);
    const XMVECTOR vDirection = XMVectorSetW(XMVectorSubtract(vTarget, vPosition), 0.0f);
    const XMVECTOR vUp = XMVectorSet(0.0f, 1.0f, 0.0f, 0.0f);
    XMMATRIX mWorld = XMMatrixIdentity();
    // A direction that is zero or straight up or down gives no look-to basis: no turn then.
    if (XMVectorGetX(XMVector3LengthSq(XMVector3Cross(vDirection, vUp))) > 0.0f)
    {
        XMVECTOR vScale;
        XMVECTOR vRotation;
        XMVECTOR vTranslation;
        if (XMMatrixDecompose(&vScale, &vRotation, &vTranslation,
                              XMMatrixLookToLH(vPosition, vDirection, vUp)))
            mWorld = XMMatrixRotationQuaternion(XMQuaternionConjugate(vRotation));
    }
    mWorld.r[3] = XMVectorSetW(vPosition, 1.0f);
    pModel->Render(fTime, bShadowPass ? KR_RENDER_PASS_SHADOW_MAP : KR_RENDER_PASS_COLOR, &mWorld,
                   pObjectMatrix, 1);
}
