// KR_Scene: the editor's operations: new cameras and curves, deleting cameras and lights with
// their files, moving keys, picking and dragging.

#include "render/scene/KR_Scene.h"

#include "framework/app/KE_EngineMembers.h"
#include "framework/core/KB_Color.h"
#include "platform/crt/WinCrt.h"
#include "render/camera/KR_AnimatedCamera.h"
#include "render/debug/KR_Ray.h"
#include "render/debug/KR_VertexInterpolationVisualisation.h"
#include "render/light/KR_OmniLight.h"
#include "render/light/KR_SpotLight.h"
#include "render/scene/KR_CubeMapPlacer.h"
#include "render/scene/KR_EntityNaming.h"
#include "render/scene/KR_SceneManager.h"
#include "timing/KB_CubicBSplineInterpolation.h"
#include "timing/KB_LinearInterpolation.h"
#include "timing/KB_RotationInterpolation.h"
#include "timing/KU_VertexInterpolation.h"
#include <cfloat>
#include <new>

using namespace DirectX;

namespace
{

// from + (to - from) x fraction, the fraction computed in double and used as a float; w of from.
XMVECTOR StraightPoint(const XMVECTOR& vFrom, const XMVECTOR& vTo, double fFraction)
{
    const XMVECTOR vPoint =
        XMVectorAdd(vFrom, XMVectorScale(XMVectorSubtract(vTo, vFrom), static_cast<float>(fFraction)));
    return XMVectorSetW(vPoint, XMVectorGetW(vFrom));
}

// One colour channel of a new rail: rand() scaled into [0.2, 0.85].
float RandomRailChannel()
{
    return static_cast<float>(wincrt::rand()) * 3.0518509e-05f * 0.65f + 0.2f;
}

} // namespace

bool KR_Scene::DeleteCamera(KR_AnimatedCamera* pCamera)
{
    const std::uint32_t uiCount = m_gAnimatedCameras.GetNumMembers();
    std::uint32_t uiIndex = 0;
    while (uiIndex < uiCount && m_gAnimatedCameras[uiIndex] != pCamera)
        ++uiIndex;
    if (pCamera == nullptr || uiIndex == uiCount)
        return false;

    // The last number falls free once the cameras are renumbered.
    const KB_String sFolder = GetAnimatedCamerasFolder();
    KR_AnimatedCamera* pLast = m_gAnimatedCameras[uiCount - 1];
    RemoveEntityFile(sFolder, pLast->GetCameraRailPath());
    RemoveEntityFile(sFolder, pLast->GetCameraTargetRailPath());
    RemoveEntityFile(sFolder, pLast->GetFOVInterpolationPath());
    RemoveEntityFile(sFolder, pLast->GetOrientationInterpolationPath());
    RemoveEntityFile(KB_String(), pLast->GetCameraFilePath());

    m_gAnimatedCameras.Remove(uiIndex);
    delete pCamera;
    SaveAnimatedCameras();

    if (m_pCameraSelection == nullptr)
        return true;
    // Keys choosing the removed camera go; keys choosing a later one follow it down. Keys below
    // 0 or not a number choose no particular camera and stay as they are.
    for (std::uint32_t k = m_pCameraSelection->GetNumVertices(); k-- > 0;)
    {
        const XMVECTOR vKey = m_pCameraSelection->GetVertex(k);
        const float fX = XMVectorGetX(vKey);
        if (!(fX > -1.0f) || !(fX < 2147483520.0f))
            continue;
        const std::int32_t iChosen = static_cast<std::int32_t>(fX);
        if (iChosen == static_cast<std::int32_t>(uiIndex))
        {
            m_pCameraSelection->RemoveVertex(k);
        }
        else if (iChosen > static_cast<std::int32_t>(uiIndex))
        {
            m_pCameraSelection->SetVertex(k, XMVectorSetX(vKey, static_cast<float>(iChosen - 1)));
            m_pCameraSelection->SetChanged();
        }
    }
    m_pCameraSelection->Save();
    return true;
}

bool KR_Scene::DeleteLight(KR_LightBase* pLight)
{
    if (pLight == nullptr)
        return false;
    bool bOmni = false;
    std::uint32_t uiIndex = 0;
    KR_LightBase* pLast = nullptr;
    for (std::uint32_t i = 0; i < m_gOmniLights.GetNumMembers() && pLast == nullptr; ++i)
        if (m_gOmniLights[i] == pLight)
        {
            bOmni = true;
            uiIndex = i;
            pLast = m_gOmniLights[m_gOmniLights.GetNumMembers() - 1];
        }
    for (std::uint32_t i = 0; i < m_gSpotLights.GetNumMembers() && pLast == nullptr; ++i)
        if (m_gSpotLights[i] == pLight)
        {
            uiIndex = i;
            pLast = m_gSpotLights[m_gSpotLights.GetNumMembers() - 1];
        }
    if (pLast == nullptr)
        return false;

    const KB_String sFolder = bOmni ? GetOmniLightsFolder() : GetSpotLightsFolder();
    RemoveEntityFile(sFolder, pLast->GetPositionRailPath());
    // An omni light's target rail keeps its own path through a save, so its file stays.
    if (!bOmni)
        RemoveEntityFile(sFolder, pLast->GetTargetRailPath());
    RemoveEntityFile(sFolder, pLast->GetStrengthInterpolationPath());
    RemoveEntityFile(sFolder, pLast->GetColorInterpolationPath());
    RemoveEntityFile(KB_String(), pLast->GetLightPath());

    if (bOmni)
        m_gOmniLights.Remove(uiIndex);
    else
        m_gSpotLights.Remove(uiIndex);
    delete pLight;
    if (bOmni)
        SaveOmniLights();
    else
        SaveSpotLights();
    return true;
}

void KR_Scene::FillStraightRail(KU_VertexInterpolation* pCurve, double fStart, double fEnd, double fStep,
                                const XMVECTOR& vFrom, const XMVECTOR& vTo)
{
    if (pCurve == nullptr)
        return;
    pCurve->SetStartTime(fStart);
    pCurve->SetEndTime(fEnd);
    const double fDuration = fEnd - fStart;
    pCurve->InsertVertex(vFrom, 0.0);
    pCurve->InsertVertex(vTo, fDuration);
    // A zero-length interval has no inner points; a step that is not positive would never end.
    if (!(fDuration > 0.0) || !(fStep > 0.0))
        return;
    const double fHandle = fStep * 0.1;
    pCurve->InsertVertex(StraightPoint(vFrom, vTo, fHandle / fDuration), fHandle);
    pCurve->InsertVertex(StraightPoint(vFrom, vTo, (fDuration - fHandle) / fDuration), fDuration - fHandle);
    for (double fAt = fStart + fStep; fAt < fEnd; fAt += fStep)
        pCurve->InsertVertex(StraightPoint(vFrom, vTo, (fAt - fStart) / fDuration), fAt - fStart);
}

KR_AnimatedCamera* KR_Scene::CreateNewCameraFromView(double fStart, double fEnd, double fStep,
                                                     const XMVECTOR* pCameraFrom, const XMVECTOR* pCameraTo,
                                                     const XMVECTOR* pTargetFrom, const XMVECTOR* pTargetTo,
                                                     float fFieldOfView)
{
    const KB_String sFolder = GetAnimatedCamerasFolder();
    const KB_String sBase =
        KR_EntityNaming::GetBaseName(m_sSceneName, "_AnimatedCamera", m_gAnimatedCameras.GetNumMembers());
    const KB_String sCurves = m_sCameraCurvesPath + sBase;
    const KB_String sRailPath = sCurves + "_CP.int";
    const KB_String sTargetPath = sCurves + "_TP.int";
    const KB_String sFOVPath = sCurves + "_FOV.int";
    const KB_String sOrientationPath = sCurves + "_OP.int";

    KU_VertexInterpolation* pRail = new (std::nothrow) KB_CubicBSplineInterpolation(sRailPath);
    KU_VertexInterpolation* pTarget = new (std::nothrow) KB_CubicBSplineInterpolation(sTargetPath);
    KB_RotationInterpolation* pOrientation = new (std::nothrow) KB_RotationInterpolation(sOrientationPath);
    KU_VertexInterpolation* pFOV = new (std::nothrow) KB_LinearInterpolation(sFOVPath);
    if (pRail == nullptr || pTarget == nullptr || pOrientation == nullptr || pFOV == nullptr)
    {
        delete pRail;
        delete pTarget;
        delete pOrientation;
        delete pFOV;
        return nullptr;
    }
    FillStraightRail(pRail, fStart, fEnd, fStep, *pCameraFrom, *pCameraTo);
    FillStraightRail(pTarget, fStart, fEnd, fStep, *pTargetFrom, *pTargetTo);
    pOrientation->SetStartTime(fStart);
    pOrientation->SetEndTime(fEnd);
    pOrientation->InsertQuaternion(XMQuaternionIdentity(), 0.0);
    pFOV->SetStartTime(fStart);
    pFOV->SetEndTime(fEnd);
    pFOV->InsertVertex(XMVectorSet(fFieldOfView, 0.0f, 0.0f, 0.0f), 0.0);

    // The camera owns the four curves from here on.
    KR_AnimatedCamera* pCamera =
        new (std::nothrow) KR_AnimatedCamera(sFolder + sBase + ".cam", pRail, pTarget, pFOV, pOrientation);
    if (pCamera == nullptr)
    {
        delete pRail;
        delete pTarget;
        delete pOrientation;
        delete pFOV;
        return nullptr;
    }
    pCamera->SetStartTime(fStart);
    pCamera->SetEndTime(fEnd);
    pCamera->SetNearFarPlanes(m_fNearPlane, m_fFarPlane);
    pCamera->SetCameraRailPath(sRailPath);
    pCamera->SetCameraTargetRailPath(sTargetPath);
    pCamera->SetFOVInterpolationPath(sFOVPath);
    pCamera->SetOrientationInterpolationPath(sOrientationPath);
    pCamera->SaveCameraToFile(sFolder + sBase + ".cam");
    m_gAnimatedCameras.Add(pCamera);
    return pCamera;
}

KU_VertexInterpolation* KR_Scene::CreateNewVertexInterpolation(double fStart, double fEnd, double fStep,
                                                               const XMVECTOR* pFrom, const XMVECTOR* pTo)
{
    const KB_String sPath = GetVertexInterpolationsFolder() +
                            KR_EntityNaming::GetBaseName(m_sSceneName, "_VertexInterpolation",
                                                         m_gVertexInterpolations.GetNumMembers()) +
                            ".int";
    KU_VertexInterpolation* pCurve = new (std::nothrow) KB_CubicBSplineInterpolation(sPath);
    if (pCurve == nullptr)
        return nullptr;
    pCurve->SetStartTime(fStart);
    pCurve->SetEndTime(fEnd);
    const double fDuration = fEnd - fStart;
    pCurve->InsertVertex(*pFrom, 0.0);
    pCurve->InsertVertex(*pTo, fDuration);
    if (fDuration > 0.0 && fStep > 0.0)
        for (double fAt = fStart + fStep; fAt < fEnd; fAt += fStep)
            pCurve->InsertVertex(StraightPoint(*pFrom, *pTo, (fAt - fStart) / fDuration), fAt - fStart);
    if (!AddVisualisation(pCurve))
    {
        delete pCurve;
        return nullptr;
    }
    m_gVertexInterpolations.Add(pCurve);
    return pCurve;
}

bool KR_Scene::AddVisualisation(KU_VertexInterpolation* pCurve)
{
    KR_VertexInterpolationVisualisation* pVisualisation =
        new (std::nothrow) KR_VertexInterpolationVisualisation(pCurve);
    if (pVisualisation == nullptr)
        return false;
    const float r = RandomRailChannel();
    const float g = RandomRailChannel();
    const float b = RandomRailChannel();
    pVisualisation->SetColors(KB_Color(r, g, b, 1.0f), KB_Color(r + 0.15f, g + 0.15f, b + 0.15f, 1.0f),
                              KB_Color(0.25f, 1.0f, 0.25f, 1.0f));
    m_gVertexVisualisations.Add(pVisualisation);
    return true;
}

bool KR_Scene::IsShownInEditor(std::uint32_t uiToggle)
{
    KR_SceneManager* pManager = KE_GetSceneManager();
    return pManager != nullptr && pManager->GetCameraMode() == KR_SCM_Edit &&
           pManager->IsVisualisationOn(uiToggle);
}

void KR_Scene::MoveSelectedKeyTo(double fTime, const XMVECTOR* pPosition)
{
    if (!IsActive(fTime) || pPosition == nullptr)
        return;
    for (std::uint32_t i = 0; i < m_gAnimatedCameras.GetNumMembers(); ++i)
        m_gAnimatedCameras[i]->MoveSelectedKeyTo(fTime, *pPosition);
    if (IsShownInEditor(KR_SceneManager::VISUALISATION_CURVES))
        for (std::uint32_t i = 0; i < m_gVertexVisualisations.GetNumMembers(); ++i)
            if (m_gVertexInterpolations[i]->IsActive(fTime))
                m_gVertexVisualisations[i]->SetSelectedVertex(*pPosition);
    if (IsShownInEditor(KR_SceneManager::VISUALISATION_LIGHTS))
    {
        for (std::uint32_t i = 0; i < m_gOmniLights.GetNumMembers(); ++i)
            if (m_gOmniLights[i]->IsActive(fTime))
                m_gOmniLights[i]->MoveSelectedKeyTo(*pPosition);
        for (std::uint32_t i = 0; i < m_gSpotLights.GetNumMembers(); ++i)
            if (m_gSpotLights[i]->IsActive(fTime))
                m_gSpotLights[i]->MoveSelectedKeyTo(*pPosition);
    }
    if (IsShownInEditor(KR_SceneManager::VISUALISATION_PLACERS))
        for (std::uint32_t i = 0; i < m_gCubeMapPlacers.GetNumMembers(); ++i)
            if (m_gCubeMapPlacers[i]->IsActive(fTime))
                m_gCubeMapPlacers[i]->MoveSelectedKeyTo(*pPosition);
}

namespace
{

// The nearest member of one kind: strictly nearer replaces, so the first of equals stays.
template <typename T>
struct NearestPick
{
    T* pMember = nullptr;
    float fDistance = FLT_MAX;
    void Offer(T* pCandidate, float fCandidate)
    {
        if (fCandidate < fDistance)
        {
            fDistance = fCandidate;
            pMember = pCandidate;
        }
    }
};

} // namespace

float KR_Scene::GetPickDistance(double fTime, const KR_Ray& ray)
{
    if (!IsActive(fTime))
        return FLT_MAX;
    float fNearest = FLT_MAX;
    auto offer = [&fNearest](float fDistance) { fNearest = fDistance < fNearest ? fDistance : fNearest; };
    for (std::uint32_t i = 0; i < m_gAnimatedCameras.GetNumMembers(); ++i)
        offer(m_gAnimatedCameras[i]->GetPickDistance(fTime, ray));
    if (IsShownInEditor(KR_SceneManager::VISUALISATION_CURVES))
        for (std::uint32_t i = 0; i < m_gVertexVisualisations.GetNumMembers(); ++i)
            if (m_gVertexInterpolations[i]->IsActive(fTime))
                offer(m_gVertexVisualisations[i]->GetPickDistance(ray));
    if (IsShownInEditor(KR_SceneManager::VISUALISATION_LIGHTS))
    {
        for (std::uint32_t i = 0; i < m_gOmniLights.GetNumMembers(); ++i)
            offer(m_gOmniLights[i]->GetPickDistance(fTime, ray));
        for (std::uint32_t i = 0; i < m_gSpotLights.GetNumMembers(); ++i)
            offer(m_gSpotLights[i]->GetPickDistance(fTime, ray));
    }
    if (IsShownInEditor(KR_SceneManager::VISUALISATION_PLACERS))
        for (std::uint32_t i = 0; i < m_gCubeMapPlacers.GetNumMembers(); ++i)
            offer(m_gCubeMapPlacers[i]->GetPickDistance(fTime, ray));
    return fNearest;
}

void KR_Scene::SelectPicked(double fTime, const KR_Ray& ray)
{
    if (!IsActive(fTime))
        return;
    NearestPick<KR_AnimatedCamera> camera;
    NearestPick<KR_VertexInterpolationVisualisation> curve;
    NearestPick<KR_LightBase> omni;
    NearestPick<KR_LightBase> spot;
    NearestPick<KR_CubeMapPlacer> placer;
    for (std::uint32_t i = 0; i < m_gAnimatedCameras.GetNumMembers(); ++i)
        camera.Offer(m_gAnimatedCameras[i], m_gAnimatedCameras[i]->GetPickDistance(fTime, ray));
    if (IsShownInEditor(KR_SceneManager::VISUALISATION_CURVES))
        for (std::uint32_t i = 0; i < m_gVertexVisualisations.GetNumMembers(); ++i)
            if (m_gVertexInterpolations[i]->IsActive(fTime))
                curve.Offer(m_gVertexVisualisations[i], m_gVertexVisualisations[i]->GetPickDistance(ray));
    if (IsShownInEditor(KR_SceneManager::VISUALISATION_LIGHTS))
    {
        for (std::uint32_t i = 0; i < m_gOmniLights.GetNumMembers(); ++i)
            omni.Offer(m_gOmniLights[i], m_gOmniLights[i]->GetPickDistance(fTime, ray));
        for (std::uint32_t i = 0; i < m_gSpotLights.GetNumMembers(); ++i)
            spot.Offer(m_gSpotLights[i], m_gSpotLights[i]->GetPickDistance(fTime, ray));
    }
    if (IsShownInEditor(KR_SceneManager::VISUALISATION_PLACERS))
        for (std::uint32_t i = 0; i < m_gCubeMapPlacers.GetNumMembers(); ++i)
            placer.Offer(m_gCubeMapPlacers[i], m_gCubeMapPlacers[i]->GetPickDistance(fTime, ray));

    // The later kind wins a tie.
    const float afDistances[5] = {camera.fDistance, curve.fDistance, omni.fDistance, spot.fDistance,
                                  placer.fDistance};
    std::uint32_t uiKind = 0;
    for (std::uint32_t k = 1; k < 5; ++k)
        if (afDistances[k] <= afDistances[uiKind])
            uiKind = k;
    if (!(afDistances[uiKind] < FLT_MAX))
        return;
    switch (uiKind)
    {
    case 0:
        camera.pMember->Select(fTime, ray);
        break;
    case 1:
        curve.pMember->PickControlPoint(ray);
        break;
    case 2:
        omni.pMember->Select(fTime, ray);
        break;
    case 3:
        spot.pMember->Select(fTime, ray);
        break;
    default:
        placer.pMember->Select(fTime, ray);
        break;
    }
}

void KR_Scene::PickGizmoOfSelection(double fTime, const KR_Ray& ray, bool bDragging)
{
    if (!IsActive(fTime))
        return;
    for (std::uint32_t i = 0; i < m_gAnimatedCameras.GetNumMembers(); ++i)
        m_gAnimatedCameras[i]->DragSelectedKey(fTime, ray, bDragging);
    if (IsShownInEditor(KR_SceneManager::VISUALISATION_CURVES))
        for (std::uint32_t i = 0; i < m_gVertexVisualisations.GetNumMembers(); ++i)
            if (m_gVertexInterpolations[i]->IsActive(fTime))
                m_gVertexVisualisations[i]->MoveSelectedControlPoint(ray, bDragging);
    if (IsShownInEditor(KR_SceneManager::VISUALISATION_LIGHTS))
    {
        for (std::uint32_t i = 0; i < m_gOmniLights.GetNumMembers(); ++i)
            if (m_gOmniLights[i]->IsActive(fTime))
                m_gOmniLights[i]->DragSelection(fTime, ray, bDragging);
        for (std::uint32_t i = 0; i < m_gSpotLights.GetNumMembers(); ++i)
            if (m_gSpotLights[i]->IsActive(fTime))
                m_gSpotLights[i]->DragSelection(fTime, ray, bDragging);
    }
    if (IsShownInEditor(KR_SceneManager::VISUALISATION_PLACERS))
        for (std::uint32_t i = 0; i < m_gCubeMapPlacers.GetNumMembers(); ++i)
            if (m_gCubeMapPlacers[i]->IsActive(fTime))
                m_gCubeMapPlacers[i]->DragSelection(fTime, ray, bDragging);
}
