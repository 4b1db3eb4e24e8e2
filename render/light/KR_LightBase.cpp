#include "render/light/KR_LightBase.h"

#include "framework/app/KE_Dispatcher.h"
#include "framework/app/KE_EngineMembers.h"
#include "framework/core/KU_FileUtilities.h"
#include "framework/files/KF_FileManager.h"
#include "render/debug/KR_DebugPolyhedron.h"
#include "render/debug/KR_Ray.h"
#include "render/debug/KR_TranslateGizmo.h"
#include "render/debug/KR_VertexInterpolationVisualisation.h"
#include "timing/KU_InterpolationValue.h"
#include "timing/KU_TextFileHeader.h"
#include "timing/KU_TextFileNumber.h"
#include "timing/KU_TextFileReader.h"
#include "timing/KU_VertexInterpolation.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <new>

using namespace DirectX;

namespace
{

// Highlight colours of unselected markers (the target's are the bytes 245, 12, 0).
const KB_Color POSITION_HIGHLIGHT(1.0f, 0.0f, 1.0f, 1.0f);
const KB_Color TARGET_HIGHLIGHT(0.9607843f, 0.0470588f, 0.0f, 1.0f);
// Below this strength a light reaches nowhere.
constexpr float MIN_STRENGTH = 0.05f;

template <typename T>
void DeleteAndNull(T*& p)
{
    delete p;
    p = nullptr;
}

XMFLOAT3 ToFloat3(const XMVECTOR& v)
{
    XMFLOAT3 value;
    XMStoreFloat3(&value, v);
    return value;
}

// Uniform scale by the distance to the viewer / divisor, then the translation to p.
XMMATRIX MarkerMatrix(const XMVECTOR& p, const XMVECTOR& vCameraPosition, float fDivisor)
{
    const float fScale = XMVectorGetX(XMVector3Length(XMVectorSubtract(p, vCameraPosition))) / fDivisor;
    return XMMatrixMultiply(XMMatrixScaling(fScale, fScale, fScale),
                            XMMatrixTranslation(XMVectorGetX(p), XMVectorGetY(p), XMVectorGetZ(p)));
}

} // namespace

KR_LightBase::KR_LightBase()
{
    if (KE_IsDeveloperBuild())
        m_pPositionMarker = new (std::nothrow) KR_DebugPolyhedron();
}

KR_LightBase::~KR_LightBase()
{
    DeleteCurvesAndEditorObjects();
    DeleteAndNull(m_pPositionMarker);
    DeleteAndNull(m_pTargetMarker);
}

void KR_LightBase::DeleteCurvesAndEditorObjects()
{
    // The visualisations point at the curves: they go first.
    DeleteAndNull(m_pPositionRailVis);
    DeleteAndNull(m_pTargetRailVis);
    DeleteAndNull(m_pPositionHandle);
    DeleteAndNull(m_pTargetHandle);
    DeleteAndNull(m_pPositionRail);
    DeleteAndNull(m_pStrengthInterpolation);
    DeleteAndNull(m_pColorInterpolation);
    DeleteAndNull(m_pTargetRail);
}

void KR_LightBase::RegisterAtDispatcher()
{
    if (KE_Dispatcher* pDispatcher = KE_GetDispatcher())
        pDispatcher->RegisterReceiver(KE_MT_EditorCommand, this);
}

void KR_LightBase::UnRegisterFromDispatcher()
{
    if (KE_Dispatcher* pDispatcher = KE_GetDispatcher())
        pDispatcher->UnRegisterReceiver(KE_MT_EditorCommand, this);
}

void KR_LightBase::ApplyMarkerColor()
{
    if (m_pPositionMarker != nullptr)
        m_pPositionMarker->SetColor(m_oMarkerColor.GetRGBA());
    if (m_pTargetMarker != nullptr)
        m_pTargetMarker->SetColor(m_oMarkerColor.GetRGBA());
}

void KR_LightBase::CreateTargetMarker()
{
    DeleteAndNull(m_pTargetMarker);
    m_pTargetMarker = new (std::nothrow) KR_DebugPolyhedron();
    if (m_pTargetMarker != nullptr)
        m_pTargetMarker->SetColor(m_oMarkerColor.GetRGBA());
}

void KR_LightBase::DeleteTargetObjects()
{
    DeleteAndNull(m_pTargetHandle);
    DeleteAndNull(m_pTargetRailVis);
    DeleteAndNull(m_pTargetRail);
    DeleteAndNull(m_pTargetMarker);
}

KR_VertexInterpolationVisualisation*
KR_LightBase::CreateRailVisualisation(KU_VertexInterpolation* pRail) const
{
    KR_VertexInterpolationVisualisation* pVis = new (std::nothrow) KR_VertexInterpolationVisualisation(pRail);
    if (pVis != nullptr)
        pVis->SetColors(m_oRailColor, m_oMarkerColor, m_oSelectionColor);
    return pVis;
}

void KR_LightBase::SetPostitionRailInterpolation(KU_VertexInterpolation* p)
{
    ReplaceRail(&m_pPositionRail, &m_pPositionRailVis, &m_pPositionHandle, p);
}

void KR_LightBase::SetTargetRailInterpolation(KU_VertexInterpolation* p)
{
    ReplaceRail(&m_pTargetRail, &m_pTargetRailVis, &m_pTargetHandle, p);
}

void KR_LightBase::ReplaceRail(KU_VertexInterpolation** ppRail,
                               KR_VertexInterpolationVisualisation** ppVisualisation,
                               KR_TranslateGizmo** ppHandle, KU_VertexInterpolation* pRail)
{
    if (*ppRail == pRail)
        return;
    // Editor objects are made where ReloadLight makes them, and wherever a tube light had them.
    const bool bEditor = KE_IsDeveloperBuild() || *ppVisualisation != nullptr || *ppHandle != nullptr;
    DeleteAndNull(*ppVisualisation);
    DeleteAndNull(*ppHandle);
    *ppRail = pRail;
    if (!bEditor)
        return;
    if (pRail != nullptr)
        *ppVisualisation = CreateRailVisualisation(pRail);
    else
        *ppHandle = new (std::nothrow) KR_TranslateGizmo();
}

KB_String KR_LightBase::GetCurveDirectory() const
{
    const KB_String sDirectory = KU_FileUtilities::ExtractDirectory(m_sLightPath);
    // A file without a folder keeps its curves beside it rather than at the root.
    return sDirectory.GetLength() != 0 ? sDirectory + "/" : KB_String();
}

float KR_LightBase::GetLightStrength(double fTime)
{
    if (m_pStrengthInterpolation == nullptr)
        return m_fStrength;
    return XMVectorGetX(KU_GetVectorAtTime(m_pStrengthInterpolation, fTime));
}

float KR_LightBase::GetLightSpecularStrength(double fTime)
{
    if (m_pStrengthInterpolation == nullptr)
        return m_fSpecularStrength;
    return XMVectorGetY(KU_GetVectorAtTime(m_pStrengthInterpolation, fTime));
}

KB_Color* KR_LightBase::GetLightColor(KB_Color* pOut, double fTime)
{
    if (m_pColorInterpolation == nullptr)
    {
        *pOut = m_oColor;
        return pOut;
    }
    XMFLOAT4 rgba;
    XMStoreFloat4(&rgba, KU_GetVectorAtTime(m_pColorInterpolation, fTime));
    *pOut = KB_Color(rgba);
    return pOut;
}

XMFLOAT3* KR_LightBase::GetLightAttenuation(XMFLOAT3* pOut)
{
    *pOut = m_vAttenuation;
    return pOut;
}

float KR_LightBase::GetMaxLightDistance(double fTime)
{
    if (m_fMaxDistance >= 0.0f)
        return m_fMaxDistance;
    if (m_vAttenuation.x > 0.0f)
        return FLT_MAX;
    const float s = GetLightStrength(fTime) - MIN_STRENGTH;
    if (s < 0.0f)
        return 0.0f;
    float d = 0.0f;
    if (m_vAttenuation.y > 0.0f)
        d = s / (m_vAttenuation.y * 0.01f);
    if (m_vAttenuation.z > 0.0f)
    {
        const float q = std::sqrt(s / (m_vAttenuation.z * 0.01f));
        if (q > d)
            d = q;
    }
    return d;
}

XMVECTOR KR_LightBase::GetLightPosition(double fTime) const
{
    return m_pPositionRail != nullptr ? KU_GetVectorAtTime(m_pPositionRail, fTime)
                                      : XMLoadFloat4(&m_vPosition);
}

XMVECTOR KR_LightBase::GetLightTarget(double fTime) const
{
    if (m_pTargetRail == nullptr || (m_uiFlags & FLAG_TARGET_RAIL_OFF) != 0)
        return XMLoadFloat4(&m_vTarget);
    return KU_GetVectorAtTime(m_pTargetRail, fTime);
}

XMFLOAT3 KR_LightBase::GetPositionAt(double fTime) const
{
    return ToFloat3(GetLightPosition(fTime));
}

XMFLOAT3 KR_LightBase::GetTargetAt(double fTime) const
{
    return ToFloat3(GetLightTarget(fTime));
}

void KR_LightBase::ReloadLight()
{
    DeleteCurvesAndEditorObjects();
    const KB_String sDirectory = GetCurveDirectory();
    const KB_String* paths[4] = {&m_sPositionRailPath, &m_sTargetRailPath, &m_sStrengthPath, &m_sColorPath};
    KU_VertexInterpolation** curves[4] = {&m_pPositionRail, &m_pTargetRail, &m_pStrengthInterpolation,
                                          &m_pColorInterpolation};
    for (int i = 0; i < 4; ++i)
        if (paths[i]->GetLength() != 0)
            *curves[i] = KU_VertexInterpolation::LoadVertexInterpolation(sDirectory + *paths[i]);
    if (!KE_IsDeveloperBuild())
        return;
    if (m_pPositionRail != nullptr)
        m_pPositionRailVis = CreateRailVisualisation(m_pPositionRail);
    else
        m_pPositionHandle = new (std::nothrow) KR_TranslateGizmo();
    if (m_pTargetRail != nullptr)
        m_pTargetRailVis = CreateRailVisualisation(m_pTargetRail);
    else
        m_pTargetHandle = new (std::nothrow) KR_TranslateGizmo();
}

void KR_LightBase::SetHighlighted(bool bOn)
{
    if (m_pPositionMarker != nullptr && (m_uiFlags & FLAG_POSITION_SELECTED) == 0)
        m_pPositionMarker->SetColor((bOn ? POSITION_HIGHLIGHT : m_oMarkerColor).GetRGBA());
    if (m_pTargetMarker != nullptr && (m_uiFlags & FLAG_TARGET_SELECTED) == 0)
        m_pTargetMarker->SetColor((bOn ? TARGET_HIGHLIGHT : m_oMarkerColor).GetRGBA());
}

void KR_LightBase::RenderDebug(double fTime, const XMMATRIX* pViewProjection, const XMVECTOR& vCameraPosition)
{
    const XMMATRIX position = MarkerMatrix(GetLightPosition(fTime), vCameraPosition, m_fMarkerSizeDivisor);
    const XMMATRIX target = MarkerMatrix(GetLightTarget(fTime), vCameraPosition, m_fMarkerSizeDivisor);
    if (m_pPositionMarker != nullptr)
        m_pPositionMarker->SetWorldMatrix(position);
    if (m_pTargetMarker != nullptr)
        m_pTargetMarker->SetWorldMatrix(target);
    if (m_pPositionMarker != nullptr)
        m_pPositionMarker->Render(pViewProjection);
    if (m_pTargetMarker != nullptr)
        m_pTargetMarker->Render(pViewProjection);
    if ((m_uiFlags & FLAG_POSITION_SELECTED) != 0)
    {
        if (m_pPositionHandle != nullptr)
        {
            m_pPositionHandle->SetWorldMatrix(position);
            m_pPositionHandle->Render(pViewProjection);
        }
        if (m_pPositionRailVis != nullptr)
            m_pPositionRailVis->Render(fTime, pViewProjection, vCameraPosition);
    }
    if ((m_uiFlags & FLAG_TARGET_SELECTED) != 0)
    {
        if (m_pTargetHandle != nullptr)
        {
            m_pTargetHandle->SetWorldMatrix(target);
            m_pTargetHandle->Render(pViewProjection);
        }
        if (m_pTargetRailVis != nullptr)
            m_pTargetRailVis->Render(fTime, pViewProjection, vCameraPosition);
    }
}

float KR_LightBase::GetPickDistance(double fTime, const KR_Ray& ray)
{
    if (!IsActive(fTime))
        return FLT_MAX;
    float fNearest = FLT_MAX;
    const auto take = [&fNearest](float f)
    {
        if (f < fNearest)
            fNearest = f;
    };
    if (m_pPositionMarker != nullptr)
        take(m_pPositionMarker->GetPickDistance(ray));
    if (m_pTargetMarker != nullptr)
        take(m_pTargetMarker->GetPickDistance(ray));
    if (m_pPositionRailVis != nullptr && (m_uiFlags & FLAG_POSITION_SELECTED) != 0)
        take(m_pPositionRailVis->GetPickDistance(ray));
    if (m_pTargetRailVis != nullptr && (m_uiFlags & FLAG_TARGET_SELECTED) != 0)
        take(m_pTargetRailVis->GetPickDistance(ray));
    return fNearest;
}

void KR_LightBase::Select(double fTime, const KR_Ray& ray)
{
    if (!IsActive(fTime))
        return;
    float distances[4] = {FLT_MAX, FLT_MAX, FLT_MAX, FLT_MAX};
    if (m_pPositionMarker != nullptr)
        distances[0] = m_pPositionMarker->GetPickDistance(ray);
    if (m_pTargetMarker != nullptr)
        distances[1] = m_pTargetMarker->GetPickDistance(ray);
    if (m_pPositionRailVis != nullptr && (m_uiFlags & FLAG_POSITION_SELECTED) != 0)
        distances[2] = m_pPositionRailVis->GetPickDistance(ray);
    if (m_pTargetRailVis != nullptr && (m_uiFlags & FLAG_TARGET_SELECTED) != 0)
        distances[3] = m_pTargetRailVis->GetPickDistance(ray);
    // The strictly nearest hit wins; a tie keeps the earlier candidate, a miss never wins.
    int iWinner = -1;
    float fNearest = FLT_MAX;
    for (int i = 0; i < 4; ++i)
        if (distances[i] < fNearest)
        {
            fNearest = distances[i];
            iWinner = i;
        }
    if (iWinner < 0)
        return;
    const std::uint8_t uiBefore = m_uiFlags & (FLAG_POSITION_SELECTED | FLAG_TARGET_SELECTED);
    if (iWinner <= 1)
    {
        const std::uint8_t uiBit = iWinner == 0 ? FLAG_POSITION_SELECTED : FLAG_TARGET_SELECTED;
        KR_DebugPolyhedron* pMarker = iWinner == 0 ? m_pPositionMarker : m_pTargetMarker;
        DeselectAll();
        // Also without a dispatcher, this light's own selection is cleared before the toggle.
        Receive(KE_MT_EditorCommand, KE_MST_DeselectControlPoints, nullptr);
        SetFlag(uiBit, (uiBefore & uiBit) == 0);
        if ((m_uiFlags & uiBit) != 0)
            pMarker->SetColor(m_oSelectionColor.GetRGBA());
    }
    else
    {
        (iWinner == 2 ? m_pPositionRailVis : m_pTargetRailVis)->PickControlPoint(ray);
    }
    const std::uint8_t uiAfter = m_uiFlags & (FLAG_POSITION_SELECTED | FLAG_TARGET_SELECTED);
    if (uiAfter != 0 && uiBefore == 0)
        if (KE_Dispatcher* pDispatcher = KE_GetDispatcher())
            pDispatcher->Dispatch(KE_MT_LightSelection, KE_MST_LightSelected, this);
}

void KR_LightBase::DragSelection(double fTime, const KR_Ray& ray, bool bDragging)
{
    if (!IsActive(fTime))
        return;
    const std::uint8_t bits[2] = {FLAG_POSITION_SELECTED, FLAG_TARGET_SELECTED};
    KR_VertexInterpolationVisualisation* visualisations[2] = {m_pPositionRailVis, m_pTargetRailVis};
    KR_TranslateGizmo* handles[2] = {m_pPositionHandle, m_pTargetHandle};
    XMFLOAT4* points[2] = {&m_vPosition, &m_vTarget};
    for (int i = 0; i < 2; ++i)
    {
        if ((m_uiFlags & bits[i]) == 0)
            continue;
        if (visualisations[i] != nullptr)
            visualisations[i]->MoveSelectedControlPoint(ray, bDragging);
        if (handles[i] == nullptr)
            continue;
        if (!bDragging)
        {
            handles[i]->EndDrag();
            continue;
        }
        XMVECTOR vPoint = XMLoadFloat4(points[i]);
        if (handles[i]->Drag(ray, &vPoint))
            XMStoreFloat4(points[i], vPoint);
    }
}

void KR_LightBase::MoveSelectedKeyTo(const XMVECTOR& vPosition)
{
    // A visualisation without a selected key leaves its curve alone.
    if (m_pPositionRailVis != nullptr)
        m_pPositionRailVis->SetSelectedVertex(vPosition);
    if (m_pTargetRailVis != nullptr)
        m_pTargetRailVis->SetSelectedVertex(vPosition);
    if ((m_uiFlags & FLAG_POSITION_SELECTED) != 0 && m_pPositionRailVis == nullptr)
        XMStoreFloat4(&m_vPosition, vPosition);
    if ((m_uiFlags & FLAG_TARGET_SELECTED) != 0 && m_pTargetRailVis == nullptr)
        XMStoreFloat4(&m_vTarget, vPosition);
}

void KR_LightBase::DeselectAll()
{
    if (KE_Dispatcher* pDispatcher = KE_GetDispatcher())
        pDispatcher->Dispatch(KE_MT_EditorCommand, KE_MST_DeselectControlPoints, nullptr);
}

bool KR_LightBase::Receive(KE_MessageType type, KE_MessageSubType subType, void* pPayload)
{
    if (type != KE_MT_EditorCommand || subType != KE_MST_DeselectControlPoints)
        return false;
    if (m_pPositionRailVis == nullptr || pPayload != m_pPositionRailVis)
    {
        SetFlag(FLAG_POSITION_SELECTED, false);
        if (m_pPositionMarker != nullptr)
            m_pPositionMarker->SetColor(m_oMarkerColor.GetRGBA());
    }
    if (m_pTargetRailVis == nullptr || pPayload != m_pTargetRailVis)
    {
        SetFlag(FLAG_TARGET_SELECTED, false);
        if (m_pTargetMarker != nullptr)
            m_pTargetMarker->SetColor(m_oMarkerColor.GetRGBA());
    }
    return true;
}

bool KR_LightBase::ReadFileText(const KB_String& sPath, std::string* pText)
{
    KF_FileManager* pFiles = KE_GetFileManager();
    std::uint64_t uiSize = 0;
    std::uint8_t* pData = nullptr;
    if (pFiles == nullptr || !pFiles->ReadFile(sPath, &uiSize, &pData))
        return false;
    // The text ends at the file's end or at its first NUL byte.
    pText->assign(reinterpret_cast<const char*>(pData), static_cast<std::size_t>(uiSize));
    pText->resize(std::strlen(pText->c_str()));
    pFiles->RemoveReference(sPath);
    m_sLightPath = sPath;
    return true;
}

void KR_LightBase::ReadPathWord(KU_TextFileReader& reader, KB_String* pPath)
{
    KB_String sWord;
    reader.ReadLineWord(&sWord, MAX_PATH_LENGTH);
    *pPath = sWord;
}

bool KR_LightBase::ReadCommonKey(KU_TextFileReader& reader)
{
    if (reader.IsKey("s") || reader.IsKey("e"))
    {
        double fTime = 0.0;
        if (reader.ReadDouble(&fTime))
            (reader.IsKey("s") ? m_fStartTime : m_fEndTime) = fTime;
    }
    else if (reader.IsKey("pv") || reader.IsKey("tv"))
    {
        float v[3] = {0.0f, 0.0f, 0.0f};
        if (reader.ReadFloat(&v[0]) && reader.ReadFloat(&v[1]) && reader.ReadFloat(&v[2]))
            (reader.IsKey("pv") ? m_vPosition : m_vTarget) = XMFLOAT4(v[0], v[1], v[2], 1.0f);
    }
    else if (reader.IsKey("cv"))
    {
        KB_String sWord;
        reader.ReadLineWord(&sWord, MAX_COLOR_LENGTH);
        KB_Color color(0.0f, 0.0f, 0.0f, 1.0f);
        color.ParseFromWebColor(sWord);
        m_oColor = color;
    }
    else if (reader.IsKey("av"))
    {
        XMFLOAT3 a = m_vAttenuation;
        if (reader.ReadFloat(&a.x) && reader.ReadFloat(&a.y) && reader.ReadFloat(&a.z))
            m_vAttenuation = a;
    }
    else if (reader.IsKey("lm") || reader.IsKey("ls") || reader.IsKey("lss"))
    {
        float* pValue = reader.IsKey("lm")   ? &m_fMaxDistance
                        : reader.IsKey("ls") ? &m_fStrength
                                             : &m_fSpecularStrength;
        reader.ReadFloat(pValue);
    }
    else if (reader.IsKey("pp") || reader.IsKey("tp") || reader.IsKey("cp") || reader.IsKey("sp"))
    {
        KB_String* pPath = reader.IsKey("pp")   ? &m_sPositionRailPath
                           : reader.IsKey("tp") ? &m_sTargetRailPath
                           : reader.IsKey("cp") ? &m_sColorPath
                                                : &m_sStrengthPath;
        ReadPathWord(reader, pPath);
    }
    else if (reader.IsKey("vl"))
    {
        // Only this line's word: an empty value must not take the next line's key.
        KB_String sWord;
        reader.ReadLineWord(&sWord, MAX_DEBUG_NAME_LENGTH);
        SetFlag(FLAG_VOLUME_LIGHT, sWord.CompareNoCase("true") == 0);
    }
    else
    {
        return false;
    }
    return true;
}

std::string KR_LightBase::CreateTextStart(const char* pTitle, const char* const* ppLegend,
                                          std::uint32_t uiLegendLines, bool bWithTarget) const
{
    std::string sText =
        KU_CreateTextFileHeader(pTitle, KU_PLAIN_COMMENT_LEGEND, ppLegend, uiLegendLines).GetBuffer();
    if (m_sDebugName.GetLength() != 0)
        KU_AppendTextFileLine(sText, "d", m_sDebugName);
    KU_AppendTextFileNumber(sText, "s", GetStartTime());
    KU_AppendTextFileNumber(sText, "e", GetEndTime());
    if (m_sPositionRailPath.GetLength() == 0)
        KU_AppendTextFileNumbers(sText, "pv", &m_vPosition.x, 3);
    if (bWithTarget && m_sTargetRailPath.GetLength() == 0)
        KU_AppendTextFileNumbers(sText, "tv", &m_vTarget.x, 3);
    if (m_sColorPath.GetLength() == 0)
        KU_AppendTextFileLine(sText, "cv", m_oColor.GetWebColorRGB());
    if (m_fMaxDistance >= 0.0f)
        KU_AppendTextFileNumber(sText, "lm", m_fMaxDistance);
    return sText;
}

void KR_LightBase::AppendCurvePaths(std::string& sText, bool bWithTarget) const
{
    if (m_sPositionRailPath.GetLength() != 0)
        KU_AppendTextFileLine(sText, "pp", m_sPositionRailPath);
    if (bWithTarget && m_sTargetRailPath.GetLength() != 0)
        KU_AppendTextFileLine(sText, "tp", m_sTargetRailPath);
    if (m_sColorPath.GetLength() != 0)
        KU_AppendTextFileLine(sText, "cp", m_sColorPath);
    if (m_sStrengthPath.GetLength() != 0)
        KU_AppendTextFileLine(sText, "sp", m_sStrengthPath);
}

bool KR_LightBase::SaveCurvesAndText(const KB_String& sPath, const std::string& sText)
{
    // The target rail exists only while a light has a target; it is saved after the position rail.
    KU_VertexInterpolation* const curves[4] = {m_pPositionRail, m_pTargetRail, m_pColorInterpolation,
                                               m_pStrengthInterpolation};
    const KB_String* const paths[4] = {&m_sPositionRailPath, &m_sTargetRailPath, &m_sColorPath,
                                       &m_sStrengthPath};
    m_sLightPath = sPath;
    const KB_String sDirectory = GetCurveDirectory();
    for (std::uint32_t i = 0; i < 4; ++i)
    {
        // A curve without a path has no file to go to (it would be written as the folder itself).
        if (curves[i] == nullptr || paths[i]->GetLength() == 0)
            continue;
        curves[i]->SetFilePath(sDirectory + *paths[i]);
        curves[i]->Save();
    }
    KF_FileManager* pFiles = KE_GetFileManager();
    return pFiles != nullptr && pFiles->SaveFile(m_sLightPath, sText.size(), sText.c_str());
}
