#include "render/scene/KR_SceneManager.h"

#include "framework/app/KE_ApplicationManager.h"
#include "framework/app/KE_Dispatcher.h"
#include "framework/app/KU_ApplicationFactory.h"
#include "render/camera/KR_ControllerCamera.h"
#include "render/device/KR_MaterialManager.h"
#include "render/scene/KR_Scene.h"

namespace
{

KE_Dispatcher* GetDispatcher()
{
    KE_ApplicationManager* pManager = KE_ApplicationManager::GetInstance();
    return pManager != nullptr ? pManager->GetDispatcher() : nullptr;
}

// The material library and the states of the material programs. A missing library leaves the
// materials empty: meshes then draw without material programs.
void LoadMaterials()
{
    KE_ApplicationManager* pManager = KE_ApplicationManager::GetInstance();
    KR_MaterialManager* pMaterials = pManager != nullptr ? pManager->GetMaterialManager() : nullptr;
    if (pMaterials == nullptr)
        return;
    pMaterials->LoadMaterialLibrary();
    pMaterials->CreateMaterialShaders();
}

} // namespace

KR_SceneManager::KR_SceneManager() = default;

KR_SceneManager::~KR_SceneManager()
{
    Shutdown();
    m_gScenes.DeleteAll();
}

void KR_SceneManager::AddScene(KR_Scene* pScene)
{
    if (pScene == nullptr)
        return;
    m_gScenes.Add(pScene);
    const std::uint32_t uiIndex = m_gScenes.GetNumMembers() - 1;
    if (UsesSynchronizedTime())
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

bool KR_SceneManager::UsesSynchronizedTime() const
{
    KE_ApplicationManager* pManager = KE_ApplicationManager::GetInstance();
    KU_ApplicationFactory* pFactory = pManager != nullptr ? pManager->GetApplicationFactory() : nullptr;
    return pFactory == nullptr || pFactory->UseSynchronizedTime();
}

bool KR_SceneManager::IsTimelineRunning() const
{
    const bool bEditorMode = m_eCameraMode == KR_SCM_Edit || m_eCameraMode == KR_SCM_Roam;
    return !(UsesSynchronizedTime() && bEditorMode && m_bEditorTimeHold);
}

void KR_SceneManager::LoadSceneConfig()
{
}

void KR_SceneManager::Start()
{
    if (m_pControllerCamera == nullptr)
        m_pControllerCamera = new KR_ControllerCamera();
    KE_Dispatcher* pDispatcher = GetDispatcher();
    if (pDispatcher == nullptr || m_bRegistered)
        return;
    pDispatcher->RegisterReceiver(KE_MT_Controller, this);
    pDispatcher->RegisterReceiver(KE_MT_Keyboard, this);
    pDispatcher->RegisterReceiver(KE_MT_Mouse, this);
    m_bRegistered = true;
}

void KR_SceneManager::UpdateAndRender()
{
    if (!m_bLoaded)
    {
        // The first frame loads what there is to load so far, then hands over to playback.
        LoadMaterials();
        m_bLoaded = true;
        m_bCursorAllowed = true;
        m_bPlaying = true;
    }
    // Without scenes the timeline ends where it starts.
    if (m_bPlaying)
        EndPlayback();
}

void KR_SceneManager::OnResize()
{
}

void KR_SceneManager::Shutdown()
{
    delete m_pControllerCamera;
    m_pControllerCamera = nullptr;
    if (!m_bRegistered)
        return;
    m_bRegistered = false;
    KE_Dispatcher* pDispatcher = GetDispatcher();
    if (pDispatcher == nullptr)
        return;
    pDispatcher->UnRegisterReceiver(KE_MT_Controller, this);
    pDispatcher->UnRegisterReceiver(KE_MT_Keyboard, this);
    pDispatcher->UnRegisterReceiver(KE_MT_Mouse, this);
}

bool KR_SceneManager::Receive(KE_MessageType /*type*/, KE_MessageSubType /*subType*/, void* /*pPayload*/)
{
    return false;
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

void KR_SceneManager::PickEditorObject(const KR_Ray& /*ray*/)
{
}

void KR_SceneManager::PickEditorGizmo(const KR_Ray& /*ray*/, bool /*bDragging*/)
{
}

bool KR_SceneManager::IsCursorVisible() const
{
    return m_bCursorAllowed && (m_eCameraMode == KR_SCM_Edit || m_eCameraMode == KR_SCM_Roam);
}

void KR_SceneManager::EndPlayback()
{
    m_bPlaying = false;
    m_eCameraMode = KR_SCM_Rail;
    if (KE_Dispatcher* pDispatcher = GetDispatcher())
        pDispatcher->Dispatch(KE_MT_Application, KE_MST_QuitRequest, nullptr);
}
