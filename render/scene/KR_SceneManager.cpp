#include "render/scene/KR_SceneManager.h"

#include "framework/app/KE_ApplicationManager.h"
#include "framework/app/KE_Dispatcher.h"
#include "render/device/KR_MaterialManager.h"

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
}

void KR_SceneManager::LoadSceneConfig()
{
}

void KR_SceneManager::Start()
{
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
