#include "render/camera/KR_AnimatedCamera.h"

#include "framework/app/KE_EngineMembers.h"
#include "framework/core/KU_FileUtilities.h"
#include "framework/files/KF_FileManager.h"
#include "render/camera/KR_ViewFrustum.h"
#include "render/debug/KR_QuaternionInterpolationVisualisation.h"
#include "render/debug/KR_Ray.h"
#include "render/debug/KR_VertexInterpolationVisualisation.h"
#include "timing/KU_InterpolationValue.h"
#include "timing/KU_QuaternionInterpolation.h"
#include "timing/KU_TextFileHeader.h"
#include "timing/KU_TextFileNumber.h"
#include "timing/KU_TextFileReader.h"
#include "timing/KU_VertexInterpolation.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <new>
#include <string>

using namespace DirectX;

namespace
{

constexpr const char* LEGEND[] = {
    "# d == debug name of the camera (string)",
    "# fov == FOV of the camera in degrees (float)",
    "# nz == near Z of the camera (float)",
    "# fz == far Z of the camera (float)",
    "# s == start time stamp of interpolation (double)",
    "# e == end time stamp of interpolation (double)",
    "# cp == following string is the path to the camera VertexInterpolation",
    "# tp == following string is the path to the camera target VertexInterpolation",
    "# fp == following string is the path to the FOV VertexInterpolation",
    "# op == following string is the path to the OrientationInterpolation",
};
constexpr std::uint32_t NUM_LEGEND_LINES = sizeof(LEGEND) / sizeof(LEGEND[0]);

// Half the sampling distance of the velocity: the single-precision 0.01 widened.
constexpr double VELOCITY_STEP = static_cast<double>(0.01f);
// A start at or below this counts as no end time yet when the start moves.
constexpr double END_TIME_EPSILON = 0.001;

// Rail colours (rail, key markers, selection) of a camera made in the editor and of a loaded one.
const KB_Color NEW_RAIL_COLORS[2][3] = {
    {KB_Color(0, 0, 1, 1), KB_Color(0, 0, 1, 1), KB_Color(0, 1, 0, 1)},
    {KB_Color(0.1f, 0.1f, 1, 1), KB_Color(0.1f, 0.1f, 1, 1), KB_Color(0.1f, 1, 0.1f, 1)},
};
const KB_Color LOADED_RAIL_COLORS[2][3] = {
    {KB_Color(0, 0, 1, 1), KB_Color(0.15f, 0.15f, 1, 1), KB_Color(0, 1, 0, 1)},
    {KB_Color(0.3f, 0.3f, 1, 1), KB_Color(0.45f, 0.45f, 1, 1), KB_Color(0.1f, 1, 0.1f, 1)},
};

template <typename T>
void DeleteAndNull(T*& p)
{
    delete p;
    p = nullptr;
}

} // namespace

KR_AnimatedCamera::KR_AnimatedCamera(const KB_String& sCameraFilePath) : m_sCameraFilePath(sCameraFilePath)
{
}

KR_AnimatedCamera::KR_AnimatedCamera(const KB_String& sCameraFilePath, KU_VertexInterpolation* pCameraRail,
                                     KU_VertexInterpolation* pCameraTargetRail,
                                     KU_VertexInterpolation* pFOVInterpolation,
                                     KU_QuaternionInterpolation* pOrientationInterpolation)
    : m_sCameraFilePath(sCameraFilePath), m_pCameraRail(pCameraRail), m_pCameraTargetRail(pCameraTargetRail),
      m_pFOVInterpolation(pFOVInterpolation), m_pOrientationInterpolation(pOrientationInterpolation)
{
    CreateVisualisations(false);
}

KR_AnimatedCamera::~KR_AnimatedCamera()
{
    DeleteCurvesAndVisualisations();
}

void KR_AnimatedCamera::DeleteCurvesAndVisualisations()
{
    // The visualisations point at the curves: they go first.
    DeleteAndNull(m_pOrientationVisualisation);
    DeleteAndNull(m_pTargetRailVisualisation);
    DeleteAndNull(m_pCameraRailVisualisation);
    DeleteAndNull(m_pCameraRail);
    DeleteAndNull(m_pCameraTargetRail);
    DeleteAndNull(m_pFOVInterpolation);
    DeleteAndNull(m_pOrientationInterpolation);
}

void KR_AnimatedCamera::CreateVisualisations(bool bReloaded)
{
    if (!KE_IsDeveloperBuild())
        return;
    const KB_Color(&colors)[2][3] = bReloaded ? LOADED_RAIL_COLORS : NEW_RAIL_COLORS;
    // A visualisation that cannot be allocated stays null: that rail is not drawn.
    if (m_pCameraRail != nullptr)
    {
        m_pCameraRailVisualisation = new (std::nothrow) KR_VertexInterpolationVisualisation(m_pCameraRail);
        if (m_pCameraRailVisualisation != nullptr)
            m_pCameraRailVisualisation->SetColors(colors[0][0], colors[0][1], colors[0][2]);
    }
    if (m_pCameraTargetRail != nullptr)
    {
        m_pTargetRailVisualisation =
            new (std::nothrow) KR_VertexInterpolationVisualisation(m_pCameraTargetRail);
        if (m_pTargetRailVisualisation != nullptr)
            m_pTargetRailVisualisation->SetColors(colors[1][0], colors[1][1], colors[1][2]);
    }
    if (m_pCameraRail != nullptr && m_pCameraTargetRail != nullptr && m_pOrientationInterpolation != nullptr)
    {
        m_pOrientationVisualisation = new (std::nothrow) KR_QuaternionInterpolationVisualisation(
            m_pCameraRail, m_pCameraTargetRail, m_pOrientationInterpolation);
        if (m_pOrientationVisualisation != nullptr)
        {
            m_pOrientationVisualisation->m_oRailColor = KB_Color(0, 0, 1, 1);
            m_pOrientationVisualisation->m_oUpLineColor = KB_Color(0.8f, 0, 0.8f, 1);
            m_pOrientationVisualisation->m_oTargetRailColor = KB_Color(0.2f, 0.2f, 1, 1);
            m_pOrientationVisualisation->m_oKeyMarkerColor = KB_Color(0.647f, 0.737f, 0.729f, 1);
            m_pOrientationVisualisation->m_oCurrentOrientationColor = KB_Color(0, 1, 0, 1);
        }
    }
}

KB_String KR_AnimatedCamera::GetCurveDirectory() const
{
    const KB_String sDirectory = KU_FileUtilities::ExtractDirectory(m_sCameraFilePath);
    // A file without a folder keeps its curves beside it rather than at the root.
    return sDirectory.GetLength() != 0 ? sDirectory + "/" : KB_String();
}

bool KR_AnimatedCamera::LoadCameraFromFile(const KB_String& sPath)
{
    KF_FileManager* pFiles = KE_GetFileManager();
    std::uint64_t uiSize = 0;
    std::uint8_t* pData = nullptr;
    if (pFiles == nullptr || !pFiles->ReadFile(sPath, &uiSize, &pData))
        return false;
    // The text ends at the file's end or at its first NUL byte.
    std::string sText(reinterpret_cast<const char*>(pData), static_cast<std::size_t>(uiSize));
    pFiles->RemoveReference(sPath);
    m_sCameraFilePath = sPath;
    ParseText(sText.c_str(), std::strlen(sText.c_str()));
    return ReloadCamera();
}

void KR_AnimatedCamera::ParseText(const char* pText, std::uint64_t uiSize)
{
    KU_TextFileReader reader(pText, uiSize);
    // The planes are set as a pair at the end, so that a file may move both past each other
    // (a near plane beyond the old far plane) whatever their order.
    float fNearZ = GetNearZ();
    float fFarZ = GetFarZ();
    while (reader.ReadKey())
    {
        if (reader.IsKey("d"))
        {
            // Consumes the line; a file saved with CRLF line ends keeps no CR in the name.
            m_sDebugName = reader.ReadLineValue(MAX_DEBUG_NAME_LENGTH);
            continue;
        }
        float fValue = 0.0f;
        double fTime = 0.0;
        if (reader.IsKey("fov"))
        {
            if (reader.ReadFloat(&fValue))
                SetFOV(fValue);
        }
        else if (reader.IsKey("nz") || reader.IsKey("fz"))
        {
            const bool bNear = reader.IsKey("nz");
            if (reader.ReadFloat(&fValue))
                (bNear ? fNearZ : fFarZ) = fValue;
        }
        else if (reader.IsKey("s") || reader.IsKey("e"))
        {
            const bool bStart = reader.IsKey("s");
            if (reader.ReadDouble(&fTime))
                (bStart ? m_fStartTime : m_fEndTime) = fTime; // stored as read, no rescaling
        }
        else if (reader.IsKey("cp") || reader.IsKey("tp") || reader.IsKey("fp") || reader.IsKey("op"))
        {
            KB_String* pPath = reader.IsKey("cp")   ? &m_sCameraRailPath
                               : reader.IsKey("tp") ? &m_sCameraTargetRailPath
                               : reader.IsKey("fp") ? &m_sFOVInterpolationPath
                                                    : &m_sOrientationInterpolationPath;
            KB_String sWord;
            if (reader.ReadWord(&sWord, MAX_PATH_LENGTH))
                *pPath = sWord;
        }
        reader.SkipLine(); // the rest of the line, also after comments and unknown keys
    }
    if (fNearZ != GetNearZ() || fFarZ != GetFarZ())
        SetNearFarPlanes(fNearZ, fFarZ);
}

bool KR_AnimatedCamera::ReloadCamera()
{
    DeleteCurvesAndVisualisations();
    const KB_String sDirectory = GetCurveDirectory();
    if (m_sCameraRailPath.GetLength() != 0)
        m_pCameraRail = KU_VertexInterpolation::LoadVertexInterpolation(sDirectory + m_sCameraRailPath);
    if (m_sCameraTargetRailPath.GetLength() != 0)
        m_pCameraTargetRail =
            KU_VertexInterpolation::LoadVertexInterpolation(sDirectory + m_sCameraTargetRailPath);
    if (m_sFOVInterpolationPath.GetLength() != 0)
        m_pFOVInterpolation =
            KU_VertexInterpolation::LoadVertexInterpolation(sDirectory + m_sFOVInterpolationPath);
    if (m_sOrientationInterpolationPath.GetLength() != 0)
        m_pOrientationInterpolation = KU_QuaternionInterpolation::LoadQuaternionInterpolation(
            sDirectory + m_sOrientationInterpolationPath);
    CreateVisualisations(true);
    return true;
}

KB_String KR_AnimatedCamera::CreateCameraText() const
{
    std::string sText =
        KU_CreateTextFileHeader(TITLE, KU_HASH_COMMENT_LEGEND, LEGEND, NUM_LEGEND_LINES).GetBuffer();
    KU_AppendTextFileLine(sText, "d", m_sDebugName);
    if (m_sFOVInterpolationPath.GetLength() == 0)
        KU_AppendTextFileNumber(sText, "fov", GetFOV());
    KU_AppendTextFileNumber(sText, "nz", GetNearZ());
    KU_AppendTextFileNumber(sText, "fz", GetFarZ());
    KU_AppendTextFileNumber(sText, "s", GetStartTime());
    KU_AppendTextFileNumber(sText, "e", GetEndTime());
    KU_AppendTextFileLine(sText, "cp", m_sCameraRailPath);
    KU_AppendTextFileLine(sText, "tp", m_sCameraTargetRailPath);
    KU_AppendTextFileLine(sText, "fp", m_sFOVInterpolationPath);
    KU_AppendTextFileLine(sText, "op", m_sOrientationInterpolationPath);
    return KB_String(sText.c_str());
}

bool KR_AnimatedCamera::SaveCameraToFile(const KB_String& sPath)
{
    m_sCameraFilePath = sPath;
    const KB_String sText = CreateCameraText();
    const KB_String sDirectory = GetCurveDirectory();
    KU_Interpolation* curves[4] = {m_pCameraRail, m_pCameraTargetRail, m_pFOVInterpolation,
                                   m_pOrientationInterpolation};
    const KB_String* paths[4] = {&m_sCameraRailPath, &m_sCameraTargetRailPath, &m_sFOVInterpolationPath,
                                 &m_sOrientationInterpolationPath};
    for (int i = 0; i < 4; ++i)
    {
        if (curves[i] == nullptr)
            continue;
        curves[i]->SetFilePath(sDirectory + *paths[i]);
        curves[i]->Save();
    }
    KF_FileManager* pFiles = KE_GetFileManager();
    return pFiles != nullptr && pFiles->SaveFile(m_sCameraFilePath, sText.GetLength(), sText.GetBuffer());
}

void KR_AnimatedCamera::Update(double fTime)
{
    XMVECTOR vPosition = GetPosition();
    if (m_pCameraRail != nullptr)
    {
        const double fLocal = fTime - m_pCameraRail->GetStartTime();
        const XMVECTOR a = KU_GetVectorAt(m_pCameraRail, fLocal - VELOCITY_STEP);
        const XMVECTOR b = KU_GetVectorAt(m_pCameraRail, fLocal + VELOCITY_STEP);
        SetVelocity(XMVectorScale(XMVectorSubtract(b, a), 100.0f));
        vPosition = KU_GetVectorAt(m_pCameraRail, fLocal);
    }
    const bool bOrientation = m_pOrientationInterpolation != nullptr;
    const XMVECTOR qOrientation =
        bOrientation ? KU_GetVectorAtTime(m_pOrientationInterpolation, fTime) : GetOrientation();
    if (m_pCameraTargetRail != nullptr)
    {
        const XMVECTOR vTarget = KU_GetVectorAtTime(m_pCameraTargetRail, fTime);
        const XMVECTOR vUp = bOrientation
                                 ? XMVector3Transform(m_vBaseUp, XMMatrixRotationQuaternion(qOrientation))
                                 : m_vBaseUp;
        // With the eye on the target the look-at is refused: the camera keeps its last direction.
        if (!LookAt(vPosition, vTarget, vUp) && m_pCameraRail != nullptr)
            SetPosition(vPosition);
    }
    else
    {
        if (m_pCameraRail != nullptr)
            SetPosition(vPosition);
        if (bOrientation)
            SetOrientation(qOrientation);
    }
    if (m_pFOVInterpolation != nullptr)
        SetFOV(XMVectorGetX(KU_GetVectorAtTime(m_pFOVInterpolation, fTime)));
    if (m_pFrustum != nullptr)
        m_pFrustum->Update();
}

void KR_AnimatedCamera::RenderDebug(double fTime, const XMMATRIX* pViewProjection,
                                    const XMVECTOR* pViewerPosition)
{
    const XMVECTOR vViewer = pViewerPosition != nullptr ? *pViewerPosition : XMVectorZero();
    if (m_pCameraRailVisualisation != nullptr)
        m_pCameraRailVisualisation->Render(fTime, pViewProjection, vViewer);
    if (m_pTargetRailVisualisation != nullptr)
        m_pTargetRailVisualisation->Render(fTime, pViewProjection, vViewer);
    const bool bRailHidden = m_pCameraRailVisualisation != nullptr && m_pCameraRailVisualisation->IsHidden();
    if (m_pFrustum != nullptr && !bRailHidden)
        m_pFrustum->Render(fTime, pViewProjection);
}

void KR_AnimatedCamera::RenderOrientationDebug(double fTime, const XMMATRIX* pViewProjection,
                                               const XMVECTOR* pViewerPosition)
{
    if (m_pOrientationVisualisation != nullptr)
        m_pOrientationVisualisation->Render(fTime, pViewProjection,
                                            pViewerPosition != nullptr ? *pViewerPosition : XMVectorZero());
}

float KR_AnimatedCamera::GetPickDistance(double fTime, const KR_Ray& ray)
{
    if (!IsActive(fTime))
        return FLT_MAX;
    float fBest = FLT_MAX;
    const float distances[3] = {
        m_pCameraRailVisualisation != nullptr ? m_pCameraRailVisualisation->GetPickDistance(ray) : FLT_MAX,
        m_pTargetRailVisualisation != nullptr ? m_pTargetRailVisualisation->GetPickDistance(ray) : FLT_MAX,
        m_pOrientationVisualisation != nullptr ? m_pOrientationVisualisation->GetPickDistance(ray) : FLT_MAX};
    for (float fDistance : distances)
        if (fDistance < fBest)
            fBest = fDistance;
    return fBest;
}

bool KR_AnimatedCamera::Select(double fTime, const KR_Ray& ray)
{
    if (!IsActive(fTime))
        return false;
    const float fRail =
        m_pCameraRailVisualisation != nullptr ? m_pCameraRailVisualisation->GetPickDistance(ray) : FLT_MAX;
    const float fTarget =
        m_pTargetRailVisualisation != nullptr ? m_pTargetRailVisualisation->GetPickDistance(ray) : FLT_MAX;
    const float fOrientation =
        m_pOrientationVisualisation != nullptr ? m_pOrientationVisualisation->GetPickDistance(ray) : FLT_MAX;
    if (fRail < fTarget && fRail < fOrientation)
        return m_pCameraRailVisualisation->PickControlPoint(ray);
    if (fRail >= fTarget && fTarget < fOrientation)
        return m_pTargetRailVisualisation->PickControlPoint(ray);
    // Ties, and a miss of everything, go to the orientation keys (whose pick then deselects).
    return m_pOrientationVisualisation != nullptr && m_pOrientationVisualisation->PickKey(ray);
}

void KR_AnimatedCamera::DragSelectedKey(double fTime, const KR_Ray& ray, bool bDragging)
{
    if (!IsActive(fTime))
        return;
    if (m_pCameraRailVisualisation != nullptr)
        m_pCameraRailVisualisation->MoveSelectedControlPoint(ray, bDragging);
    if (m_pTargetRailVisualisation != nullptr)
        m_pTargetRailVisualisation->MoveSelectedControlPoint(ray, bDragging);
    if (m_pOrientationVisualisation != nullptr)
        m_pOrientationVisualisation->RotateSelectedKey(ray, bDragging);
}

void KR_AnimatedCamera::MoveSelectedKeyTo(double fTime, const XMVECTOR& vPosition)
{
    if (!IsActive(fTime))
        return;
    if (m_pCameraRailVisualisation != nullptr)
        m_pCameraRailVisualisation->SetSelectedVertex(vPosition);
    if (m_pTargetRailVisualisation != nullptr)
        m_pTargetRailVisualisation->SetSelectedVertex(vPosition);
}

void KR_AnimatedCamera::ScaleCurves(double fFactor, double fOldSpan)
{
    // A span of 0 (a new camera, a file without times) gives an infinite or NaN factor that
    // would turn every stamp into inf or NaN and destroy the rails.
    if (!(fOldSpan > 0.0) || !(fFactor > 0.0) || !std::isfinite(fFactor))
        return;
    KU_Interpolation* curves[4] = {m_pCameraRail, m_pCameraTargetRail, m_pFOVInterpolation,
                                   m_pOrientationInterpolation};
    for (KU_Interpolation* pCurve : curves)
        if (pCurve != nullptr)
            pCurve->ScaleTimeStamps(fFactor);
}

void KR_AnimatedCamera::SetStartTime(double fStartTime)
{
    if (m_fEndTime > END_TIME_EPSILON && fStartTime > m_fEndTime)
        return;
    const double fOldSpan = m_fEndTime - m_fStartTime;
    const double fFactor = (m_fEndTime - fStartTime) / fOldSpan;
    m_fStartTime = fStartTime;
    ScaleCurves(fFactor, fOldSpan);
    KU_Interpolation* curves[4] = {m_pCameraRail, m_pCameraTargetRail, m_pFOVInterpolation,
                                   m_pOrientationInterpolation};
    for (KU_Interpolation* pCurve : curves)
        if (pCurve != nullptr)
            pCurve->SetStartTime(fStartTime);
}

void KR_AnimatedCamera::SetEndTime(double fEndTime)
{
    if (fEndTime < m_fStartTime)
        return;
    const double fOldSpan = m_fEndTime - m_fStartTime;
    const double fFactor = (fEndTime - m_fStartTime) / fOldSpan;
    m_fEndTime = fEndTime;
    ScaleCurves(fFactor, fOldSpan);
    KU_Interpolation* curves[4] = {m_pCameraRail, m_pCameraTargetRail, m_pFOVInterpolation,
                                   m_pOrientationInterpolation};
    for (KU_Interpolation* pCurve : curves)
        if (pCurve != nullptr)
            pCurve->SetEndTime(fEndTime);
}
