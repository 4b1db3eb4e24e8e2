// KR_SceneManager: the playback frame, resizing, screenshots and shutdown.

#include "render/scene/KR_SceneManager.h"

#include "audio/KA_AudioContext.h"
#include "audio/KA_AudioContextManager.h"
#include "audio/KA_AudioResourceManager.h"
#include "framework/app/KE_ApplicationManager.h"
#include "framework/app/KE_Dispatcher.h"
#include "framework/app/KE_EngineMembers.h"
#include "framework/app/KE_ToolsBridge.h"
#include "framework/files/KF_FileManager.h"
#include "framework/threads/KT_Future.h"
#include "render/camera/KR_AnimatedCamera.h"
#include "render/camera/KR_Camera.h"
#include "render/camera/KR_ControllerCamera.h"
#include "render/debug/KR_DebugCube.h"
#include "render/debug/KR_DebugHUD.h"
#include "render/debug/KR_DebugPolyhedron.h"
#include "render/debug/KR_TranslateGizmo.h"
#include "render/device/KR_GraphicsContextManager.h"
#include "render/device/KR_GraphicsDevice.h"
#include "render/device/KR_ShaderCoreManager.h"
#include "render/effects/KR_MetaBallRenderer.h"
#include "render/effects/KR_OITRenderer.h"
#include "render/effects/KR_ParticleEngine.h"
#include "render/effects/KR_PostFXEngine.h"
#include "render/scene/KR_Scene.h"

#include <cmath>
#include <cstdio>

namespace
{

constexpr std::uint32_t SCREENSHOT_EFFECT = 7;

DirectX::XMFLOAT3 ToFloat3(const DirectX::XMVECTOR& v)
{
    DirectX::XMFLOAT3 f;
    DirectX::XMStoreFloat3(&f, v);
    return f;
}

// The graphics context manager's answer; false (no change) without one.
bool SetScreenResolution(std::uint32_t uiWidth, std::uint32_t uiHeight)
{
    KR_GraphicsContextManager* pContexts = KE_GetGraphicsContextManager();
    if (pContexts == nullptr)
        return false;
    const auto Side = [](std::uint32_t uiSide)
    { return static_cast<std::uint16_t>(uiSide > 0xFFFFu ? 0xFFFFu : uiSide); };
    return pContexts->SetScreenResolution(Side(uiWidth), Side(uiHeight));
}

} // namespace

void KR_SceneManager::UpdateAndRender()
{
    if (!m_bLoaded)
        UpdateLoading();
    else
        RunPlaybackFrame();
}

void KR_SceneManager::RunPlaybackFrame()
{
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    if (pEngine == nullptr)
        return;
    KR_GraphicsDevice* pGraphics = pEngine->GetGraphicsDevice();
    KR_PostFXEngine* pPostFX = pEngine->GetPostFXEngine();
    KR_ParticleEngine* pParticles = pEngine->GetParticleEngine();
    KR_OITRenderer* pOIT = pEngine->GetOITRenderer();
    KA_AudioContextManager* pAudio = pEngine->GetAudioContextManager();
    KA_AudioResourceManager* pAudioResources =
        pAudio != nullptr ? pAudio->GetAudioResourceManager() : nullptr;

    UpdateClock();
    const double fTime = GetSynchonizationTime();
    if (pAudioResources != nullptr)
        pAudioResources->Update(fTime);
    KE_ToolsBridge* pTools = KE_ApplicationManager::GetToolsBridge();
    if (pTools != nullptr && pEngine->GetManagedFacade() != nullptr)
        pTools->UpdateInterpolationEditorDialogs(pEngine->GetManagedFacade());

    KR_Scene* pScene = MakeActiveSceneCurrent(fTime, pPostFX, pParticles);
    ReportStatusChange();
    if (pScene != nullptr)
    {
        pScene->UpdateLightSelection(fTime);
        pScene->RenderDynamicCubeMaps(fTime);
        pScene->Update(fTime);
    }

    if (pGraphics != nullptr)
    {
        pGraphics->ClearMainRenderTarget(&m_vClearColor.x);
        pGraphics->ClearMainDepthStencil(1.0f);
        pGraphics->BindMainRenderTarget();
    }
    KR_Camera* pCamera = pScene != nullptr ? pScene->GetActiveCamera(fTime) : nullptr;
    if (pCamera != nullptr && pAudio != nullptr && pAudio->GetAudioContext() != nullptr)
    {
        const DirectX::XMFLOAT3 vPosition = ToFloat3(pCamera->GetPosition());
        const DirectX::XMFLOAT3 vVelocity = ToFloat3(pCamera->GetVelocity());
        const DirectX::XMFLOAT3 vForward = ToFloat3(pCamera->GetLookVector());
        const DirectX::XMFLOAT3 vUp = ToFloat3(pCamera->GetUpVector());
        pAudio->GetAudioContext()->Set3DListenerAttributes(&vPosition, &vVelocity, &vForward, &vUp);
    }
    if (pPostFX != nullptr)
        pPostFX->BeginFrame(&m_vClearColor.x);
    const double fMaxEnd = GetMaxSceneEnd();
    if (pGraphics != nullptr)
        pGraphics->PushRasterizerState();
    double fSceneStart = 0.0;
    double fSceneEnd = 0.0;
    if (pScene != nullptr)
    {
        if (pCamera != nullptr)
            pScene->Render(pCamera, fTime, false);
        fSceneStart = pScene->GetStartTime();
        fSceneEnd = pScene->GetEndTime();
    }
    if (pGraphics != nullptr)
        pGraphics->PopRasterizerState();
    if (pOIT != nullptr)
        pOIT->Resolve();
    if (pCamera != nullptr && pParticles != nullptr)
    {
        pParticles->UpdateAndRender(pCamera->GetViewMatrix(), pCamera->GetViewProjectionMatrix(),
                                    GetElapsedTime(), 1.0f);
    }
    if (m_pDebugHUD != nullptr)
    {
        if (pEngine->IsDeveloperBuild() && m_uiCompositionGuide != 0)
            m_pDebugHUD->RenderModeLines(m_uiCompositionGuide);
        bool bAnyToggle = false;
        for (bool bToggle : m_abVisualisations)
            bAnyToggle = bAnyToggle || bToggle;
        if (bAnyToggle && fSceneStart != fSceneEnd)
            m_pDebugHUD->Render(fTime, fSceneStart, fSceneEnd, m_fFrameRate, m_eCameraMode);
    }
    if (IsVisualisationOn(VISUALISATION_AUDIO) && pCamera != nullptr && pAudioResources != nullptr)
        pAudioResources->RenderDebug(fTime, pCamera->GetViewProjectionMatrix(), pCamera->GetPosition());
    if (pPostFX != nullptr)
        pPostFX->EndFrame();
    if (pGraphics != nullptr)
        pGraphics->Present();

    FinishPlaybackFrame(pEngine, fTime, fMaxEnd);
}

KR_Scene* KR_SceneManager::MakeActiveSceneCurrent(double fTime, KR_PostFXEngine* pPostFX,
                                                  KR_ParticleEngine* pParticles)
{
    std::int32_t iIndex = -1;
    for (std::uint32_t i = 0; i < m_gScenes.GetNumMembers(); ++i)
    {
        if (m_gScenes[i]->IsActive(fTime))
        {
            iIndex = static_cast<std::int32_t>(i);
            break;
        }
    }
    if (m_bScreenshotPending && pPostFX != nullptr)
        pPostFX->EnableEffect(SCREENSHOT_EFFECT, m_sScreenshotPath.GetBuffer());
    if (iIndex != m_iCurrentScene)
    {
        if (m_iCurrentScene >= 0 && static_cast<std::uint32_t>(m_iCurrentScene) < m_gScenes.GetNumMembers())
            m_gScenes[m_iCurrentScene]->ReleaseShadowMaps();
        if (pParticles != nullptr)
            pParticles->Reset(fTime);
        if (iIndex >= 0)
            m_gScenes[iIndex]->AcquireShadowMaps();
        m_iCurrentScene = iIndex;
    }
    return iIndex >= 0 ? m_gScenes[iIndex] : nullptr;
}

void KR_SceneManager::FinishPlaybackFrame(KE_ApplicationManager* pEngine, double fTime, double fMaxEnd)
{
    if (m_bScreenshotPending)
    {
        if (m_bScreenshotEnlarged && SetScreenResolution(m_uiSavedWidth, m_uiSavedHeight))
            OnResize();
        // Only the clock this screenshot held runs again: a clock that was running (or held by
        // the user) is left as it is.
        if (m_bScreenshotHeldClock)
            RunClock();
        m_bScreenshotHeldClock = false;
        m_bScreenshotPending = false;
    }

    if (m_bPlaying && fTime >= fMaxEnd)
    {
        // Every mode holds the clock at the end, so the quit request goes out once even when the
        // user refuses it.
        if (m_eCameraMode == KR_SCM_Demo)
            SwitchCameraModeTo(KR_SCM_Rail);
        else
        {
            HoldClock();
            SwitchCameraModeTo(KR_SCM_Rail);
        }
        if (KE_Dispatcher* pDispatcher = pEngine->GetDispatcher())
            pDispatcher->Dispatch(KE_MT_Application, KE_MST_QuitRequest, nullptr);
    }
}

void KR_SceneManager::NoteStatusKey()
{
    if (m_bStatusKeyPending || !KE_IsDeveloperBuild())
        return;
    m_oStatusAtKey = {m_eCameraMode, m_bEditorTimeHold, m_fSeekPosition, m_iCurrentScene};
    m_bStatusKeyPending = true;
}

void KR_SceneManager::ReportStatusChange()
{
    // A held step key moves the time every frame: its line comes once the key is released.
    if (!m_bStatusKeyPending || m_bStepForward || m_bStepBack)
        return;
    m_bStatusKeyPending = false;
    if (m_oStatusAtKey.eMode == m_eCameraMode && m_oStatusAtKey.bHold == m_bEditorTimeHold &&
        m_oStatusAtKey.fSeekPosition == m_fSeekPosition && m_oStatusAtKey.iScene == m_iCurrentScene)
        return;
    static const char* const MODE_NAMES[] = {"Demo", "Rail", "Edit", "Roam"};
    const char* pMode = m_eCameraMode < 4 ? MODE_NAMES[m_eCameraMode] : "?";
    const char* pScene =
        m_iCurrentScene >= 0 && static_cast<std::uint32_t>(m_iCurrentScene) < m_gScenes.GetNumMembers()
            ? m_gScenes[m_iCurrentScene]->GetSceneName().GetBuffer()
            : "none";
    char line[192];
    std::snprintf(line, sizeof(line), "mode %s | hold %s | time %.3f s | scene %s\n", pMode,
                  m_bEditorTimeHold ? "on" : "off", GetSynchonizationTime(), pScene);
    std::fputs(line, stdout);
    std::fflush(stdout);
}

void KR_SceneManager::OnResize()
{
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    if (pEngine == nullptr)
        return;
    if (KR_PostFXEngine* pPostFX = pEngine->GetPostFXEngine())
        pPostFX->CreateSizeDependentResources();
    if (KR_OITRenderer* pOIT = pEngine->GetOITRenderer())
        pOIT->CreateSizeDependentResources();
    if (KR_MetaBallRenderer* pMetaBalls = pEngine->GetMetaBallRenderer())
        pMetaBalls->CreateSizeDependentResources();
    if (KR_ShaderCoreManager* pShaderCore = pEngine->GetShaderCoreManager())
        pShaderCore->CreateSizeDependentResources();
    KR_GraphicsDevice* pGraphics = pEngine->GetGraphicsDevice();
    if (pGraphics == nullptr)
        return;
    const float fAspect = pGraphics->GetAspectRatio();
    if (m_pControllerCamera != nullptr)
        m_pControllerCamera->SetAspectRatio(fAspect);
    // While loading, the scenes belong to the load job; it sets their cameras up itself.
    if (!m_bLoaded)
        return;
    for (std::uint32_t i = 0; i < m_gScenes.GetNumMembers(); ++i)
    {
        m_gScenes[i]->OnResize();
        KB_GrowingArray<KR_AnimatedCamera*>& gCameras = m_gScenes[i]->GetAnimatedCameras();
        for (std::uint32_t j = 0; j < gCameras.GetNumMembers(); ++j)
            gCameras[j]->SetAspectRatio(fAspect);
    }
}

void KR_SceneManager::TakeScreenshot(bool bEnlarged)
{
    // One screenshot per frame: a second key before that frame (key repeat while the main loop
    // drains its messages) would save the enlarged size as the one to restore, or clear the
    // enlarged flag, and leave the window enlarged for good.
    if (m_bScreenshotPending)
        return;
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    if (pEngine == nullptr)
        return;
    KR_GraphicsDevice* pGraphics = pEngine->GetGraphicsDevice();
    m_uiSavedWidth = pGraphics != nullptr ? pGraphics->GetWidth() : 0;
    m_uiSavedHeight = pGraphics != nullptr ? pGraphics->GetHeight() : 0;
    const KB_String sName = pEngine->GetApplicationShortName();
    KF_FileManager* pFiles = pEngine->GetFileManager();
    // Names on disk are skipped; at the last number that name is reused (and overwritten).
    do
    {
        if (m_uiScreenshotCounter < MAX_SCREENSHOT_NUMBER)
            ++m_uiScreenshotCounter;
        m_sScreenshotPath.Format("../Source/Screenshot/%s_Screenshot%05u.png", sName.GetBuffer(),
                                 m_uiScreenshotCounter);
    } while (pFiles != nullptr && pFiles->FileExists(m_sScreenshotPath) &&
             m_uiScreenshotCounter < MAX_SCREENSHOT_NUMBER);
    m_bScreenshotEnlarged = bEnlarged;
    if (bEnlarged)
    {
        // Only a running clock is held (and run again by the screenshot's frame).
        if (m_eCameraMode == KR_SCM_Demo && m_bPlaying)
        {
            HoldClock();
            m_bScreenshotHeldClock = true;
        }
        const float fAspect = pGraphics != nullptr ? pGraphics->GetAspectRatio() : 0.0f;
        const double fHeight = fAspect > 0.0f ? std::floor(ENLARGED_SCREENSHOT_WIDTH / fAspect + 0.5) : 0.0;
        const std::uint32_t uiHeight =
            fHeight > 0.0 && fHeight < 65535.0 ? static_cast<std::uint32_t>(fHeight) : 0;
        if (uiHeight != 0 && SetScreenResolution(ENLARGED_SCREENSHOT_WIDTH, uiHeight))
            OnResize();
    }
    m_bScreenshotPending = true;
}

void KR_SceneManager::Shutdown()
{
    if (m_bShutDown)
        return;
    m_bShutDown = true;
    // The load job must not touch the scenes or the renderers any more: a job not yet started
    // does nothing, a running one stops after its current step and is waited for.
    m_bLoadCancelled.store(true, std::memory_order_release);
    FinishLoadJob();

    KR_ParticleEngine* pParticles = KE_GetParticleEngine();
    KR_PostFXEngine* pPostFX = KE_GetPostFXEngine();
    KR_OITRenderer* pOIT = KE_GetOITRenderer();
    KR_MetaBallRenderer* pMetaBalls = KE_GetMetaBallRenderer();
    KR_ShaderCoreManager* pShaderCore = KE_GetShaderCoreManager();

    for (std::uint32_t i = 0; i < m_gScenes.GetNumMembers(); ++i)
        m_gScenes[i]->Unload();
    if (pParticles != nullptr)
        pParticles->ReleaseResources();
    if (pPostFX != nullptr)
        pPostFX->ReleaseResources();
    if (pOIT != nullptr)
        pOIT->ReleaseResources();
    if (pMetaBalls != nullptr)
        pMetaBalls->ReleaseResources();
    if (pShaderCore != nullptr)
        pShaderCore->ReleaseResources();
    for (std::uint32_t i = 0; i < m_gScenes.GetNumMembers(); ++i)
        m_gScenes[i]->Shutdown();
    m_gScenes.DeleteAll();
    m_iCurrentScene = -1;
    if (pParticles != nullptr)
        pParticles->ReleaseSizeDependentResources();
    if (pPostFX != nullptr)
        pPostFX->ReleaseSizeDependentResources();
    if (pOIT != nullptr)
        pOIT->ReleaseSizeDependentResources();
    if (pMetaBalls != nullptr)
        pMetaBalls->ReleaseSizeDependentResources();
    if (pShaderCore != nullptr)
        pShaderCore->ReleaseSizeDependentResources();

    KE_Dispatcher* pDispatcher = KE_GetDispatcher();
    if (m_bRegistered && pDispatcher != nullptr)
    {
        pDispatcher->UnRegisterReceiver(KE_MT_Mouse, this);
        pDispatcher->UnRegisterReceiver(KE_MT_Keyboard, this);
        pDispatcher->UnRegisterReceiver(KE_MT_Controller, this);
    }
    m_bRegistered = false;
    if (KE_IsDeveloperBuild())
    {
        KR_DebugPolyhedron::ReleaseStaticBuffers();
        KR_DebugCube::ReleaseStaticBuffers();
        KR_TranslateGizmo::ReleaseStaticBuffers();
    }
    delete m_pControllerCamera;
    m_pControllerCamera = nullptr;
    if (m_pDebugHUD != nullptr)
        m_pDebugHUD->ReleaseBuffers();
    delete m_pDebugHUD;
    m_pDebugHUD = nullptr;
}
