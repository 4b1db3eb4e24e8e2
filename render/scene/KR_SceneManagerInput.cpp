// The scene manager's developer input: the key and controller tables, the jumps between scenes
// and cameras, reload and save, the camera-rail edits, editor picking and the editor's creation
// of cameras and curves. Main thread only; Receive may run while the load job fills the scenes,
// so until the hand-over only what touches no scene acts.

#include "audio/KA_AudioContextManager.h"
#include "audio/KA_AudioEntity.h"
#include "audio/KA_AudioResourceManager.h"
#include "framework/app/KE_ApplicationManager.h"
#include "framework/app/KE_Dispatcher.h"
#include "framework/app/KE_EngineMembers.h"
#include "framework/app/KE_Messages.h"
#include "framework/app/KE_ToolsBridge.h"
#include "render/camera/KR_AnimatedCamera.h"
#include "render/camera/KR_ControllerCamera.h"
#include "render/debug/KR_Ray.h"
#include "render/device/KR_MaterialManager.h"
#include "render/scene/KR_Scene.h"
#include "render/scene/KR_SceneManager.h"
#include "timing/KU_VertexInterpolation.h"

#include <cfloat>

using namespace DirectX;

namespace
{

// Virtual-key codes.
constexpr std::uint64_t KEY_BACKSPACE = 0x08;
constexpr std::uint64_t KEY_ENTER = 0x0D;
constexpr std::uint64_t KEY_PAGE_UP = 0x21;
constexpr std::uint64_t KEY_PAGE_DOWN = 0x22;
constexpr std::uint64_t KEY_LEFT = 0x25;
constexpr std::uint64_t KEY_UP = 0x26;
constexpr std::uint64_t KEY_RIGHT = 0x27;
constexpr std::uint64_t KEY_DOWN = 0x28;
constexpr std::uint64_t KEY_B = 0x42;
constexpr std::uint64_t KEY_C = 0x43;
constexpr std::uint64_t KEY_F = 0x46;
constexpr std::uint64_t KEY_G = 0x47;
constexpr std::uint64_t KEY_H = 0x48;
constexpr std::uint64_t KEY_I = 0x49;
constexpr std::uint64_t KEY_J = 0x4A;
constexpr std::uint64_t KEY_L = 0x4C;
constexpr std::uint64_t KEY_R = 0x52;
constexpr std::uint64_t KEY_T = 0x54;
constexpr std::uint64_t KEY_U = 0x55;
constexpr std::uint64_t KEY_V = 0x56;
constexpr std::uint64_t KEY_X = 0x58;
constexpr std::uint64_t KEY_Y = 0x59;
constexpr std::uint64_t KEY_Z = 0x5A;
constexpr std::uint64_t KEY_F1 = 0x70;
constexpr std::uint64_t KEY_F4 = 0x73;
constexpr std::uint64_t KEY_F5 = 0x74;
constexpr std::uint64_t KEY_F6 = 0x75;
constexpr std::uint64_t KEY_F8 = 0x77;
constexpr std::uint64_t KEY_F9 = 0x78;
constexpr std::uint64_t KEY_F11 = 0x7A;
constexpr std::uint64_t KEY_F12 = 0x7B;

// Controller buttons.
constexpr std::uint32_t BUTTON_PREVIOUS_SCENE = 0;
constexpr std::uint32_t BUTTON_STEP_FORWARD = 1;
constexpr std::uint32_t BUTTON_NEXT_SCENE = 2;
constexpr std::uint32_t BUTTON_STEP_BACK = 3;
constexpr std::uint32_t BUTTON_NEXT_MODE = 4;
constexpr std::uint32_t BUTTON_RAIL_KEY_ONTO_RAIL = 7;
constexpr std::uint32_t BUTTON_RAIL_KEY_TO_CAMERA = 10;
constexpr std::uint32_t BUTTON_SAVE = 12;
constexpr std::uint32_t BUTTON_TOGGLE_CAMERAS = 13;
constexpr std::uint32_t ACTING_CONTROLLER = 0;

// A previous scene further back than this is not jumped to.
constexpr double MAX_PREVIOUS_SCENE_DISTANCE = 100000.0;

KA_AudioResourceManager* GetAudioResourceManager()
{
    KA_AudioContextManager* pAudio = KE_GetAudioContextManager();
    return pAudio != nullptr ? pAudio->GetAudioResourceManager() : nullptr;
}

void DispatchEditorCommand(KE_MessageSubType subType)
{
    if (KE_Dispatcher* pDispatcher = KE_GetDispatcher())
        pDispatcher->Dispatch(KE_MT_EditorCommand, subType, nullptr);
}

// (x, y, z, 0) from three floats.
XMVECTOR Widen(const float* pPoint)
{
    return XMVectorSet(pPoint[0], pPoint[1], pPoint[2], 0.0f);
}

} // namespace

bool KR_SceneManager::Receive(KE_MessageType type, KE_MessageSubType subType, void* pPayload)
{
    if (type == KE_MT_Keyboard)
    {
        if (pPayload == nullptr)
            return true;
        const std::uint64_t uiKey = *static_cast<const std::uint64_t*>(pPayload);
        NoteStatusKey();
        if (subType == KE_MST_KeyDown)
            HandleKeyDown(uiKey);
        else if (subType == KE_MST_KeyUp && uiKey == KEY_LEFT)
            m_bStepBack = false;
        else if (subType == KE_MST_KeyUp && uiKey == KEY_RIGHT)
            m_bStepForward = false;
        return true;
    }
    if (type == KE_MT_Controller)
    {
        if (pPayload == nullptr)
            return true;
        const auto* pButton = static_cast<const KE_ControllerButtonData*>(pPayload);
        if (pButton->device != ACTING_CONTROLLER)
            return true;
        NoteStatusKey();
        if (subType == KE_MST_ButtonDown)
            HandleButtonDown(pButton->button);
        else if (subType == KE_MST_ButtonUp && pButton->button == BUTTON_STEP_FORWARD)
            m_bStepForward = false;
        else if (subType == KE_MST_ButtonUp && pButton->button == BUTTON_STEP_BACK)
            m_bStepBack = false;
        return true;
    }
    return false;
}

void KR_SceneManager::HandleKeyDown(std::uint64_t uiKey)
{
    if (uiKey >= KEY_F1 && uiKey <= KEY_F4)
    {
        SwitchCameraModeTo(static_cast<KR_SceneCameraMode>(uiKey - KEY_F1));
        return;
    }
    switch (uiKey)
    {
    case KEY_F5:
        m_bEditorTimeHold = !m_bEditorTimeHold;
        return;
    case KEY_LEFT:
        m_bStepBack = true;
        m_bStepBackOwed = true;
        return;
    case KEY_RIGHT:
        m_bStepForward = true;
        m_bStepForwardOwed = true;
        return;
    case KEY_Y:
        SetVisualisationOn(VISUALISATION_CAMERAS, !IsVisualisationOn(VISUALISATION_CAMERAS));
        return;
    case KEY_X:
        SetVisualisationOn(VISUALISATION_CURVES, !IsVisualisationOn(VISUALISATION_CURVES));
        return;
    case KEY_C:
        SetVisualisationOn(VISUALISATION_LIGHTS, !IsVisualisationOn(VISUALISATION_LIGHTS));
        return;
    case KEY_G:
        SetVisualisationOn(VISUALISATION_ORIENTATIONS, !IsVisualisationOn(VISUALISATION_ORIENTATIONS));
        return;
    case KEY_H:
        SetVisualisationOn(VISUALISATION_AUDIO, !IsVisualisationOn(VISUALISATION_AUDIO));
        return;
    case KEY_J:
        SetVisualisationOn(VISUALISATION_PLACERS, !IsVisualisationOn(VISUALISATION_PLACERS));
        return;
    case KEY_L:
        m_uiCompositionGuide = (m_uiCompositionGuide + 1) % 3;
        return;
    default:
        break;
    }
    // Everything else works on loaded scenes, materials and audio entities, which the load job
    // may still be filling on its worker.
    if (!m_bLoaded)
        return;
    HandleLoadedKeyDown(uiKey);
}

void KR_SceneManager::HandleLoadedKeyDown(std::uint64_t uiKey)
{
    switch (uiKey)
    {
    case KEY_F6:
        if (KR_MaterialManager* pMaterials = KE_GetMaterialManager())
            pMaterials->LoadMaterialLibrary();
        break;
    case KEY_F8:
    {
        KE_ToolsBridge* pTools = KE_ApplicationManager::GetToolsBridge();
        KG_ManagedFacade* pFacade = KE_GetManagedFacade();
        if (pTools != nullptr && pFacade != nullptr)
            pTools->ShowInterpolationEditorDialog(pFacade);
        break;
    }
    case KEY_F9:
        RerenderCubeMaps();
        break;
    case KEY_F11:
    case KEY_F12:
        TakeScreenshot(uiKey == KEY_F12);
        break;
    case KEY_BACKSPACE:
        OnBackspaceKey();
        break;
    case KEY_ENTER:
        OnEnterKey();
        break;
    case KEY_PAGE_UP:
        OnPageUpKey();
        break;
    case KEY_PAGE_DOWN:
        OnPageDownKey();
        break;
    case KEY_UP:
        OnUpKey();
        break;
    case KEY_DOWN:
        OnDownKey();
        break;
    case KEY_B:
        OnBKey();
        break;
    case KEY_F:
        OnFKey();
        break;
    case KEY_V:
        OnVKey();
        break;
    case KEY_I:
        DispatchEditorCommand(KE_MST_HideUnselected);
        break;
    case KEY_R:
        DispatchEditorCommand(KE_MST_PreviousControlPoint);
        break;
    case KEY_T:
        DispatchEditorCommand(KE_MST_NextControlPoint);
        break;
    case KEY_U:
        DispatchEditorCommand(KE_MST_UnhideAll);
        break;
    case KEY_Z:
        DispatchEditorCommand(KE_MST_HideSelected);
        break;
    default:
        break;
    }
}

void KR_SceneManager::HandleButtonDown(std::uint32_t uiButton)
{
    switch (uiButton)
    {
    case BUTTON_STEP_FORWARD:
        m_bStepForward = true;
        m_bStepForwardOwed = true;
        return;
    case BUTTON_STEP_BACK:
        m_bStepBack = true;
        m_bStepBackOwed = true;
        return;
    case BUTTON_NEXT_MODE:
        SwitchCameraModeTo(static_cast<KR_SceneCameraMode>((m_eCameraMode + 1) % 4));
        return;
    case BUTTON_TOGGLE_CAMERAS:
        SetVisualisationOn(VISUALISATION_CAMERAS, !IsVisualisationOn(VISUALISATION_CAMERAS));
        return;
    default:
        break;
    }
    if (!m_bLoaded)
        return;
    switch (uiButton)
    {
    case BUTTON_PREVIOUS_SCENE:
        OnPageUpKey();
        break;
    case BUTTON_NEXT_SCENE:
        OnPageDownKey();
        break;
    case BUTTON_RAIL_KEY_ONTO_RAIL:
        OnVKey();
        break;
    case BUTTON_RAIL_KEY_TO_CAMERA:
        OnBKey();
        break;
    case BUTTON_SAVE:
        OnEnterKey();
        break;
    default:
        break;
    }
}

void KR_SceneManager::OnBackspaceKey()
{
    if (!m_bLoaded)
        return;
    const double fTime = GetSynchonizationTime();
    for (std::uint32_t i = 0; i < m_gScenes.GetNumMembers(); ++i)
        if (m_gScenes[i]->IsActive(fTime))
            m_gScenes[i]->ReloadAllEntities();
    if (KA_AudioResourceManager* pAudio = GetAudioResourceManager())
    {
        pAudio->LoadAll();
        PrepareMusicSounds();
        // The reloaded entities start paused; a running clock starts them again where it stands.
        if (m_eCameraMode == KR_SCM_Demo && m_bPlaying)
            m_bResynchronize = true;
    }
    KE_ToolsBridge* pTools = KE_ApplicationManager::GetToolsBridge();
    KG_ManagedFacade* pFacade = KE_GetManagedFacade();
    if (pTools != nullptr && pFacade != nullptr)
        pTools->InvalidateInterpolationEditorDialogs(pFacade);
}

void KR_SceneManager::OnEnterKey()
{
    if (!m_bLoaded)
        return;
    const double fTime = GetSynchonizationTime();
    for (std::uint32_t i = 0; i < m_gScenes.GetNumMembers(); ++i)
        if (m_gScenes[i]->IsActive(fTime))
            m_gScenes[i]->SaveAllEntities();
    if (KA_AudioResourceManager* pAudio = GetAudioResourceManager())
        pAudio->SaveAll();
}

void KR_SceneManager::RerenderCubeMaps()
{
    if (!m_bLoaded)
        return;
    const double fTime = GetSynchonizationTime();
    for (std::uint32_t i = 0; i < m_gScenes.GetNumMembers(); ++i)
        if (m_gScenes[i]->IsActive(fTime))
            m_gScenes[i]->RenderAllCubeMaps();
}

void KR_SceneManager::JumpTo(double fTime, bool bPostLoad)
{
    SetSynchronizationTime(fTime);
    if (!bPostLoad)
        return;
    for (std::uint32_t i = 0; i < m_gScenes.GetNumMembers(); ++i)
        m_gScenes[i]->PostLoad();
}

void KR_SceneManager::OnPageUpKey()
{
    if (!m_bLoaded || !UsesSynchronizedTime())
        return;
    const double fTime = GetSynchonizationTime();
    KR_Scene* pBest = nullptr;
    double fBestDistance = MAX_PREVIOUS_SCENE_DISTANCE;
    for (std::uint32_t i = 0; i < m_gScenes.GetNumMembers(); ++i)
    {
        KR_Scene* pScene = m_gScenes[i];
        if (pScene->IsActive(fTime) || !(pScene->GetEndTime() - FLT_EPSILON < fTime))
            continue;
        const double fDistance = fTime - pScene->GetEndTime();
        if (fDistance < fBestDistance)
        {
            fBestDistance = fDistance;
            pBest = pScene;
        }
    }
    if (pBest != nullptr)
        JumpTo(pBest->GetStartTime(), true);
}

void KR_SceneManager::OnPageDownKey()
{
    if (!m_bLoaded || !UsesSynchronizedTime())
        return;
    const double fTime = GetSynchonizationTime();
    KR_Scene* pBest = nullptr;
    double fBestDistance = 0.0;
    for (std::uint32_t i = 0; i < m_gScenes.GetNumMembers(); ++i)
    {
        KR_Scene* pScene = m_gScenes[i];
        if (pScene->IsActive(fTime) || !(pScene->GetStartTime() > fTime))
            continue;
        const double fDistance = pScene->GetStartTime() - fTime;
        if (pBest == nullptr || fDistance < fBestDistance)
        {
            fBestDistance = fDistance;
            pBest = pScene;
        }
    }
    if (pBest != nullptr)
        JumpTo(pBest->GetStartTime(), true);
}

void KR_SceneManager::JumpToCamera(bool bForward)
{
    if (!m_bLoaded || !UsesSynchronizedTime())
        return;
    const double fTime = GetSynchonizationTime();
    KR_AnimatedCamera* pBest = nullptr;
    KR_Scene* pBestScene = nullptr;
    double fBestDistance = 0.0;
    for (std::uint32_t i = 0; i < m_gScenes.GetNumMembers(); ++i)
    {
        KB_GrowingArray<KR_AnimatedCamera*>& gCameras = m_gScenes[i]->GetAnimatedCameras();
        for (std::uint32_t j = 0; j < gCameras.GetNumMembers(); ++j)
        {
            KR_AnimatedCamera* pCamera = gCameras[j];
            if (pCamera == nullptr)
                continue;
            const bool bCandidate = bForward ? pCamera->GetStartTime() - FLT_EPSILON > fTime
                                             : pCamera->GetEndTime() - FLT_EPSILON < fTime;
            if (!bCandidate)
                continue;
            const double fDistance =
                bForward ? pCamera->GetStartTime() - fTime : fTime - pCamera->GetEndTime();
            if (pBest == nullptr || fDistance < fBestDistance)
            {
                fBestDistance = fDistance;
                pBest = pCamera;
                pBestScene = m_gScenes[i];
            }
        }
    }
    if (pBest == nullptr)
        return;
    // A camera of the scene playing now needs no scene set-up; one of another scene does.
    JumpTo(pBest->GetStartTime(), pBestScene != GetCurrentScene());
}

void KR_SceneManager::OnUpKey()
{
    JumpToCamera(false);
}

void KR_SceneManager::OnDownKey()
{
    JumpToCamera(true);
}

void KR_SceneManager::EditCameraRails(bool bToFreeCamera)
{
    if (!m_bLoaded || m_eCameraMode != KR_SCM_Edit || m_pControllerCamera == nullptr)
        return;
    const double fTime = GetSynchonizationTime();
    const XMVECTOR vFreeCamera = m_pControllerCamera->GetPosition();
    KB_GrowingArray<KR_AnimatedCamera*> gActive;
    for (std::uint32_t i = 0; i < m_gScenes.GetNumMembers(); ++i)
    {
        if (!m_gScenes[i]->IsActive(fTime))
            continue;
        m_gScenes[i]->GetAnimatedCamerasAt(gActive, fTime);
        for (std::uint32_t j = 0; j < gActive.GetNumMembers(); ++j)
        {
            KU_VertexInterpolation* pRail =
                gActive[j] != nullptr ? gActive[j]->GetCameraRailInterpolation() : nullptr;
            // The nearest key of a rail without keys would be index 0, which does not exist.
            if (pRail == nullptr || pRail->GetNumVertices() == 0 || pRail->GetNumTimeStamps() == 0)
                continue;
            const std::uint32_t uiKey = pRail->GetNearestKeyIndex(fTime);
            XMVECTOR vValue = vFreeCamera;
            if (!bToFreeCamera)
                pRail->GetValueAt(&vValue, fTime - pRail->GetStartTime());
            // SetVertex marks the rail changed and its derived data invalid.
            pRail->SetVertex(uiKey, vValue);
        }
    }
}

void KR_SceneManager::OnBKey()
{
    EditCameraRails(true);
}

void KR_SceneManager::OnVKey()
{
    EditCameraRails(false);
}

void KR_SceneManager::OnFKey()
{
    if (!m_bLoaded || m_eCameraMode != KR_SCM_Edit || m_pControllerCamera == nullptr)
        return;
    const double fTime = GetSynchonizationTime();
    const XMVECTOR vFreeCamera = m_pControllerCamera->GetPosition();
    for (std::uint32_t i = 0; i < m_gScenes.GetNumMembers(); ++i)
        m_gScenes[i]->MoveSelectedKeyTo(fTime, &vFreeCamera);
    if (KA_AudioResourceManager* pAudio = GetAudioResourceManager())
        pAudio->SetSelectedPosition(fTime, vFreeCamera);
}

void KR_SceneManager::PickEditorObject(const KR_Ray& ray)
{
    if (!m_bLoaded)
        return;
    const double fTime = GetSynchonizationTime();
    float fBest = FLT_MAX;
    KR_Scene* pBest = nullptr;
    for (std::uint32_t i = 0; i < m_gScenes.GetNumMembers(); ++i)
    {
        const float fDistance = m_gScenes[i]->GetPickDistance(fTime, ray);
        if (fDistance < fBest)
        {
            fBest = fDistance;
            pBest = m_gScenes[i];
        }
    }
    KA_AudioResourceManager* pAudio = GetAudioResourceManager();
    if (pAudio != nullptr && pAudio->GetPickDistance(fTime, ray.origin, ray.direction) < fBest)
        pAudio->Pick(fTime, ray.origin, ray.direction);
    else if (pBest != nullptr)
        pBest->SelectPicked(fTime, ray);
}

void KR_SceneManager::PickEditorGizmo(const KR_Ray& ray, bool bDragging)
{
    if (!m_bLoaded)
        return;
    const double fTime = GetSynchonizationTime();
    for (std::uint32_t i = 0; i < m_gScenes.GetNumMembers(); ++i)
        m_gScenes[i]->PickGizmoOfSelection(fTime, ray, bDragging);
    // Only the selected entities active now move: along their rail's selected key, or their
    // static position by their gizmo (released when the drag ends).
    if (KA_AudioResourceManager* pAudio = GetAudioResourceManager())
        pAudio->MoveSelected(fTime, ray.origin, ray.direction, bDragging);
}

bool KR_SceneManager::CreateNewCameraInterpolation(double fStart, double fEnd, double fTimeSlicing,
                                                   const float* pCameraFrom, const float* pCameraTo,
                                                   const float* pTargetFrom, const float* pTargetTo)
{
    if (!m_bLoaded || m_eCameraMode == KR_SCM_Roam || pCameraFrom == nullptr || pCameraTo == nullptr ||
        pTargetFrom == nullptr || pTargetTo == nullptr)
        return false;
    KR_Scene* pScene = GetCurrentScene();
    if (pScene == nullptr)
        return false;
    const XMVECTOR vCameraFrom = Widen(pCameraFrom);
    const XMVECTOR vCameraTo = Widen(pCameraTo);
    const XMVECTOR vTargetFrom = Widen(pTargetFrom);
    const XMVECTOR vTargetTo = Widen(pTargetTo);
    const float fFieldOfView =
        m_pControllerCamera != nullptr ? m_pControllerCamera->GetFOV() : KR_Camera::DEFAULT_FOV;
    return pScene->CreateNewCameraFromView(fStart, fEnd, fTimeSlicing, &vCameraFrom, &vCameraTo, &vTargetFrom,
                                           &vTargetTo, fFieldOfView) != nullptr;
}

bool KR_SceneManager::CreateNewVertexInterpolation(double fStart, double fEnd, double fTimeSlicing,
                                                   const float* pFrom, const float* pTo)
{
    if (!m_bLoaded || m_eCameraMode != KR_SCM_Roam || pFrom == nullptr || pTo == nullptr)
        return false;
    KR_Scene* pScene = GetCurrentScene();
    if (pScene == nullptr)
        return false;
    const XMVECTOR vFrom = Widen(pFrom);
    const XMVECTOR vTo = Widen(pTo);
    return pScene->CreateNewVertexInterpolation(fStart, fEnd, fTimeSlicing, &vFrom, &vTo) != nullptr;
}
