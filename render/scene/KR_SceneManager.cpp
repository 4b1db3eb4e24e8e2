#include "render/scene/KR_SceneManager.h"

#include "audio/KA_AudioContextManager.h"
#include "audio/KA_AudioResourceManager.h"
#include "framework/app/KE_ApplicationManager.h"
#include "framework/app/KE_EngineMembers.h"
#include "framework/app/KU_ApplicationFactory.h"
#include "framework/files/KF_FileManager.h"
#include "framework/files/KU_XmlUtilities.h"
#include "platform/crt/WinCrt.h"
#include "render/camera/KR_ControllerCamera.h"
#include "render/device/KR_GraphicsDevice.h"
#include "render/scene/KR_Scene.h"

#include <tinyxml.h>

#include <algorithm>
#include <memory>

namespace
{

KA_AudioResourceManager* GetAudioResourceManager()
{
    KA_AudioContextManager* pAudio = KE_GetAudioContextManager();
    return pAudio != nullptr ? pAudio->GetAudioResourceManager() : nullptr;
}

bool AskSynchronizedTime()
{
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    KU_ApplicationFactory* pFactory = pEngine != nullptr ? pEngine->GetApplicationFactory() : nullptr;
    return pFactory == nullptr || pFactory->UseSynchronizedTime();
}

bool IsEditorMode(KR_SceneCameraMode eMode)
{
    return eMode == KR_SCM_Edit || eMode == KR_SCM_Roam;
}

} // namespace

KR_SceneManager::KR_SceneManager() : m_bSynchronizedTime(AskSynchronizedTime())
{
}

KR_SceneManager::~KR_SceneManager()
{
    // Started but never shut down (a test, or a run that ended early): the full shutdown, which
    // also waits for the load job. Never started: the scenes were never loaded.
    if (m_bStarted)
        Shutdown();
    ReleaseLoaderObjects();
    m_gScenes.DeleteAll();
}

void KR_SceneManager::LoadSceneConfig()
{
    KF_FileManager* pFiles = KE_GetFileManager();
    if (pFiles == nullptr || !pFiles->FileExists(SCENE_CONFIG_PATH))
        return;
    std::unique_ptr<TiXmlDocument> pDocument(KU_XmlUtilities::LoadXmlDocument(pFiles, SCENE_CONFIG_PATH));
    if (pDocument != nullptr)
        KR_SceneConfig::Parse(*pDocument, m_gSceneConfig);
}

void KR_SceneManager::AddScene(KR_Scene* pScene)
{
    if (pScene == nullptr)
        return;
    m_gScenes.Add(pScene);
    const std::uint32_t uiIndex = m_gScenes.GetNumMembers() - 1;
    if (m_bSynchronizedTime)
    {
        while (m_gSceneConfig.GetNumMembers() < m_gScenes.GetNumMembers())
            m_gSceneConfig.Add(KR_SceneConfigEntry());
        double fStart = 0.0;
        for (std::uint32_t i = 0; i < uiIndex; ++i)
            fStart += m_gSceneConfig[i].fDuration;
        const KR_SceneConfigEntry& entry = m_gSceneConfig[uiIndex];
        pScene->SetStartTime(fStart);
        pScene->SetEndTime(fStart + entry.fDuration);
        pScene->SetNearFarPlanes(static_cast<float>(entry.fNearPlane), static_cast<float>(entry.fFarPlane));
        pScene->SetEditorNearFarPlanes(static_cast<float>(entry.fNearPlane),
                                       static_cast<float>(entry.fEditorFarPlane));
    }
    if (uiIndex == 0 || pScene->GetStartTime() < m_fFirstStart)
        m_fFirstStart = pScene->GetStartTime();
    if (uiIndex == 0 || pScene->GetEndTime() > m_fLastEnd)
        m_fLastEnd = pScene->GetEndTime();
}

double KR_SceneManager::GetTimelineStart() const
{
    return m_gScenes.GetNumMembers() > 0 ? m_fFirstStart : 0.0;
}

double KR_SceneManager::GetTimelineEnd() const
{
    return m_gScenes.GetNumMembers() > 0 ? m_fLastEnd : 0.0;
}

double KR_SceneManager::GetMaxSceneEnd() const
{
    double fMaxEnd = 0.0;
    for (std::uint32_t i = 0; i < m_gScenes.GetNumMembers(); ++i)
        fMaxEnd = std::max(fMaxEnd, m_gScenes[i]->GetEndTime());
    return fMaxEnd;
}

void KR_SceneManager::SetSynchronizationTime(double fTime)
{
    const double fFirst = GetTimelineStart();
    const double fLast = GetTimelineEnd();
    // NaN is taken as the first start: a seek never leaves the timeline.
    double fClamped = fTime >= fFirst ? fTime : fFirst;
    if (fClamped > fLast)
        fClamped = fLast;
    m_fSeekPosition = fClamped / m_fSpeed - m_fTimeOffset;
    m_bResynchronize = true;
}

double KR_SceneManager::GetElapsedTime() const
{
    if (AskSynchronizedTime())
        return GetSynchonizationTime();
    return static_cast<double>(wincrt::clock()) * 0.001 - m_fPlaybackStartSeconds;
}

void KR_SceneManager::UpdateClock()
{
    const double fOldSeek = m_fSeekPosition;
    const long iNow = wincrt::clock();
    if (iNow != m_iFrameClock)
    {
        m_fFrameRate = 0.35f * (1000.0f / static_cast<float>(iNow - m_iFrameClock)) + 0.65f * m_fFrameRate;
        m_iFrameClock = iNow;
    }
    if (!m_bSynchronizedTime)
    {
        m_fTimeOffset = 0.0;
        m_fSeekPosition = 0.0;
    }
    else
    {
        if (m_bPlaying)
            m_fTimeOffset = static_cast<double>(iNow - m_iStartClock) * 0.001;
        if (m_bStepForward || m_bStepForwardOwed)
            m_fSeekPosition += STEP_SECONDS;
        if (m_bStepBack || m_bStepBackOwed)
            m_fSeekPosition -= STEP_SECONDS;
        m_bStepForwardOwed = false;
        m_bStepBackOwed = false;
        if (GetSynchonizationTime() < 0.0)
            m_fSeekPosition = -m_fTimeOffset;
        if (!m_bPlaying)
        {
            const double fMaxEnd = GetMaxSceneEnd();
            if (GetSynchonizationTime() > fMaxEnd)
                m_fSeekPosition = fMaxEnd / m_fSpeed - m_fTimeOffset - 0.001;
        }
    }
    if (m_fSeekPosition != fOldSeek)
        m_bResynchronize = true;
    if (m_bResynchronize)
    {
        KA_AudioResourceManager* pAudio = GetAudioResourceManager();
        if (m_eCameraMode == KR_SCM_Demo && pAudio != nullptr)
        {
            pAudio->PauseAll();
            pAudio->Resume(GetSynchonizationTime());
        }
        m_bResynchronize = false;
    }
    if (m_pControllerCamera != nullptr)
        m_pControllerCamera->Update(GetSynchonizationTime());
}

void KR_SceneManager::StartPlayback()
{
    const long iNow = wincrt::clock();
    m_iStartClock = iNow;
    m_iPauseClock = iNow;
    m_iFrameClock = iNow;
    m_bPlaying = true;
    if (KA_AudioResourceManager* pAudio = GetAudioResourceManager())
        pAudio->Resume(GetSynchonizationTime());
}

void KR_SceneManager::HoldClock()
{
    m_bPlaying = false;
    m_iPauseClock = wincrt::clock();
    if (KA_AudioResourceManager* pAudio = GetAudioResourceManager())
        pAudio->PauseAll();
}

void KR_SceneManager::RunClock()
{
    // The offset stood still while the clock was held; brought up to now first, so the time the
    // music resumes at is the time the clock was held at, not that time less the paused seconds.
    const long iNow = wincrt::clock();
    if (m_bSynchronizedTime)
        m_fTimeOffset = static_cast<double>(iNow - m_iStartClock) * 0.001;
    // Only a held clock has paused seconds to pay back: a clock already running (the hand-over
    // in another mode, then Demo) would otherwise jump back by the time since it started.
    if (!m_bPlaying)
        m_fSeekPosition -= static_cast<double>(iNow - m_iPauseClock) * 0.001;
    if (KA_AudioResourceManager* pAudio = GetAudioResourceManager())
        pAudio->Resume(GetSynchonizationTime());
    m_bPlaying = true;
}

void KR_SceneManager::Pause()
{
    HoldClock();
}

void KR_SceneManager::Resume()
{
    RunClock();
}

void KR_SceneManager::SwitchCameraModeTo(KR_SceneCameraMode eMode)
{
    if (eMode == m_eCameraMode)
        return;
    // Before the hand-over the clock does not run and the load job may still be filling the
    // audio entities: a mode switch then changes only the mode and the camera's input.
    if (m_eCameraMode == KR_SCM_Demo && m_bLoaded)
        HoldClock();
    m_eCameraMode = eMode;
    if (eMode == KR_SCM_Demo)
    {
        if (m_pControllerCamera != nullptr)
        {
            m_pControllerCamera->UnregisterFromGUIMessages();
            m_pControllerCamera->SetActive(false);
        }
        if (m_bLoaded)
        {
            m_bResynchronize = true;
            RunClock();
        }
        return;
    }
    if (m_pControllerCamera == nullptr)
        return;
    // Registering again forgets the held buttons.
    if (m_pControllerCamera->IsControllerRegistered())
        m_pControllerCamera->UnregisterFromGUIMessages();
    m_pControllerCamera->RegisterForGUIMessages();
    m_pControllerCamera->SetActive(true);
}

KR_Scene* KR_SceneManager::GetCurrentScene() const
{
    const double fTime = GetSynchonizationTime();
    for (std::uint32_t i = 0; i < m_gScenes.GetNumMembers(); ++i)
        if (m_gScenes[i]->IsActive(fTime))
            return m_gScenes[i];
    return nullptr;
}

KB_GrowingArray<KR_AnimatedCamera*>& KR_SceneManager::GetAnimatedCamerasForCurrentScene()
{
    KR_Scene* pScene = GetCurrentScene();
    return pScene != nullptr ? pScene->GetAnimatedCameras() : m_gNoCameras;
}

KB_GrowingArray<KR_OmniLight*>& KR_SceneManager::GetOmniLightsForCurrentScene()
{
    KR_Scene* pScene = GetCurrentScene();
    return pScene != nullptr ? pScene->GetOmniLights() : m_gNoOmniLights;
}

KB_GrowingArray<KR_SpotLight*>& KR_SceneManager::GetSpotLightsForCurrentScene()
{
    KR_Scene* pScene = GetCurrentScene();
    return pScene != nullptr ? pScene->GetSpotLights() : m_gNoSpotLights;
}

bool KR_SceneManager::UsesSynchronizedTime() const
{
    return AskSynchronizedTime();
}

bool KR_SceneManager::IsTimelineRunning() const
{
    return !(AskSynchronizedTime() && IsEditorMode(m_eCameraMode) && m_bEditorTimeHold);
}

bool KR_SceneManager::IsEditorCameraMode() const
{
    return !AskSynchronizedTime() || IsEditorMode(m_eCameraMode);
}

bool KR_SceneManager::IsCursorVisible() const
{
    return m_bCursorAllowed && IsEditorMode(m_eCameraMode);
}

void KR_SceneManager::GetQualityResolution(std::uint32_t* pSize, float* pScale) const
{
    static constexpr std::uint32_t SIZES[5] = {32, 48, 64, 96, 128};
    static constexpr float SCALES[5] = {0.125f, 0.25f, 0.45f, 0.7f, 1.0f};
    KR_GraphicsDevice* pDevice = KE_GetGraphicsDevice();
    std::uint32_t uiQuality = pDevice != nullptr ? pDevice->GetRenderingQuality() : 0;
    if (uiQuality > 4)
        uiQuality = 0;
    if (pSize != nullptr)
        *pSize = SIZES[uiQuality];
    if (pScale != nullptr)
        *pScale = SCALES[uiQuality];
}

float KR_SceneManager::GetQualityScale() const
{
    static constexpr float SCALES[4] = {0.1f, 0.25f, 0.55f, 0.8f};
    KR_GraphicsDevice* pDevice = KE_GetGraphicsDevice();
    const std::uint32_t uiQuality = pDevice != nullptr ? pDevice->GetRenderingQuality() : 4;
    return uiQuality < 4 ? SCALES[uiQuality] : 1.0f;
}
