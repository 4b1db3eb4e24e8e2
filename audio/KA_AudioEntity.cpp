#include "audio/KA_AudioEntity.h"

#include "audio/KA_AudioContext.h"
#include "audio/KA_AudioContextManager.h"
#include "audio/KA_AudioEditorObjects.h"
#include "audio/KA_AudioResource.h"
#include "framework/app/KE_Dispatcher.h"
#include "framework/app/KE_EngineMembers.h"
#include "framework/core/KU_FileUtilities.h"
#include "framework/files/KF_FileManager.h"
#include "timing/KU_InterpolationValue.h"
#include "timing/KU_TextFileHeader.h"
#include "timing/KU_TextFileNumber.h"
#include "timing/KU_TextFileReader.h"
#include "timing/KU_VertexInterpolation.h"

#include <cfloat>
#include <cstring>
#include <locale>
#include <sstream>
#include <string>

using namespace DirectX;

namespace
{

constexpr const char* TITLE = "# Simple Audio Entity file";
constexpr const char* LEGEND[] = {
    "# d == debug name of the audio entity (string)",
    "# s == start time stamp of interpolation (double)",
    "# e == end time stamp of interpolation (double)",
    "# l == sound is looped (bool)",
    "# 3d == sound is a 3d sound (bool)",
    "# f == audio file path (string)",
    "# pv == position of the 3d sound (3x float)",
    "# m == min/max distance (2x float)",
    "# od == occlusion direct (float)",
    "# or == occlusion reverb (float)",
    "# vo == playback volume (float)",
    "# pp == following string is the path to sound position VertexInterpolation",
    "# vp == following string is the path to playback volume VertexInterpolation",
};
constexpr std::uint32_t NUM_LEGEND_LINES = sizeof LEGEND / sizeof LEGEND[0];

// Markers keep their size on screen: they are scaled by this share of their distance to the camera.
constexpr float SCREEN_SIZE_FACTOR = 0.01f;

KA_AudioContext* GetAudioContext()
{
    KA_AudioContextManager* pAudio = KE_GetAudioContextManager();
    return pAudio != nullptr ? pAudio->GetAudioContext() : nullptr;
}

// A line feed inside a value would start a line of keys on reading.
void WriteLineValue(std::ostringstream& text, const KB_String& value)
{
    const char* pValue = value.GetBuffer();
    const char* pLineEnd = std::strchr(pValue, '\n');
    text.write(pValue,
               pLineEnd != nullptr ? pLineEnd - pValue : static_cast<std::streamsize>(std::strlen(pValue)));
}

} // namespace

KA_AudioEntity::KA_AudioEntity()
{
    if (KE_Dispatcher* pDispatcher = KE_GetDispatcher())
        pDispatcher->RegisterReceiver(KE_MT_EditorCommand, this);
}

KA_AudioEntity::~KA_AudioEntity()
{
    delete m_pSound;
    m_pSound = nullptr;
    if (KE_Dispatcher* pDispatcher = KE_GetDispatcher())
        pDispatcher->UnRegisterReceiver(KE_MT_EditorCommand, this);
    DeleteCurvesAndEditorObjects();
}

void KA_AudioEntity::DeleteCurvesAndEditorObjects()
{
    // The rail refers to the position curve: it goes first.
    if (m_pPathVisualisation != nullptr)
    {
        m_pEditorObjects->DeletePathVisualisation(m_pPathVisualisation);
        m_pPathVisualisation = nullptr;
    }
    if (m_pGizmo != nullptr)
    {
        m_pEditorObjects->DeleteGizmo(m_pGizmo);
        m_pGizmo = nullptr;
    }
    if (m_pMarker != nullptr)
    {
        m_pEditorObjects->DeleteMarker(m_pMarker);
        m_pMarker = nullptr;
    }
    delete m_pPositionCurve;
    m_pPositionCurve = nullptr;
    delete m_pVolumeCurve;
    m_pVolumeCurve = nullptr;
}

void KA_AudioEntity::ResetSettings()
{
    SetStartTime(0.0);
    SetEndTime(0.0);
    m_sAudioFilePath = KB_String();
    m_sPositionCurvePath = KB_String();
    m_sVolumeCurvePath = KB_String();
    m_vStaticPosition = XMVectorZero();
    m_bLooped = false;
    m_b3D = false;
    m_fVolume = 1.0f;
    m_fDirectOcclusion = 0.0f;
    m_fReverbOcclusion = 0.0f;
    m_fMinDistance = 1.0f;
    m_fMaxDistance = 100000.0f;
}

bool KA_AudioEntity::Load(const KB_String& sPath)
{
    ResetSettings();
    KF_FileManager* pFiles = KE_GetFileManager();
    std::uint64_t size = 0;
    std::uint8_t* pData = nullptr;
    if (pFiles == nullptr || !pFiles->ReadFile(sPath, &size, &pData))
        return false;
    // The text ends at the file's end or at its first NUL byte.
    KB_String text(size);
    if (size != 0)
        std::memcpy(text.GetBuffer(), pData, size);
    pFiles->RemoveReference(sPath);
    m_sFilePath = sPath;
    ParseText(text.GetBuffer(), std::strlen(text.GetBuffer()));
    Initialize();
    return true;
}

void KA_AudioEntity::ParseText(const char* pText, std::uint64_t uiSize)
{
    KU_TextFileReader reader(pText, uiSize);
    while (reader.ReadKey())
    {
        if (reader.IsKey("d"))
        {
            m_sDebugName = reader.ReadRestOfLine(MAX_DEBUG_NAME_LENGTH); // consumes the line
            continue;
        }
        if (reader.IsKey("s") || reader.IsKey("e"))
        {
            double value = 0.0;
            if (!reader.ReadDouble(&value))
                break;
            if (reader.IsKey("s"))
                SetStartTime(value);
            else
                SetEndTime(value);
        }
        else if (reader.IsKey("l") || reader.IsKey("3d"))
        {
            std::uint32_t value = 0;
            if (!reader.ReadU32(&value))
                break;
            (reader.IsKey("l") ? m_bLooped : m_b3D) = value != 0;
        }
        else if (reader.IsKey("f") || reader.IsKey("pp") || reader.IsKey("vp"))
        {
            // Only the rest of this line: an empty value must not take the next line's key.
            KB_String value;
            reader.ReadLineWord(&value, MAX_PATH_LENGTH);
            (reader.IsKey("f")    ? m_sAudioFilePath
             : reader.IsKey("pp") ? m_sPositionCurvePath
                                  : m_sVolumeCurvePath) = value;
        }
        else if (reader.IsKey("pv"))
        {
            float x = 0.0f;
            float y = 0.0f;
            float z = 0.0f;
            if (!reader.ReadFloat(&x) || !reader.ReadFloat(&y) || !reader.ReadFloat(&z))
                break;
            m_vStaticPosition = XMVectorSet(x, y, z, 0.0f);
        }
        else if (reader.IsKey("m"))
        {
            float minDistance = 0.0f;
            float maxDistance = 0.0f;
            if (!reader.ReadFloat(&minDistance) || !reader.ReadFloat(&maxDistance))
                break;
            m_fMinDistance = minDistance;
            m_fMaxDistance = maxDistance;
        }
        else if (reader.IsKey("od") || reader.IsKey("or") || reader.IsKey("vo"))
        {
            float value = 0.0f;
            if (!reader.ReadFloat(&value))
                break;
            (reader.IsKey("od")   ? m_fDirectOcclusion
             : reader.IsKey("or") ? m_fReverbOcclusion
                                  : m_fVolume) = value;
        }
        reader.SkipLine(); // the rest of the line, also after comments and unknown keys
    }
}

KB_String KA_AudioEntity::CreateText() const
{
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << KU_CreateTextFileHeader(TITLE, KU_HASH_COMMENT_LEGEND, LEGEND, NUM_LEGEND_LINES).GetBuffer();
    if (m_sDebugName.GetLength() != 0)
    {
        text << "d ";
        WriteLineValue(text, m_sDebugName);
        text << "\n";
    }
    text << "s " << KU_TextFileNumber::Format(GetStartTime()) << "\n";
    text << "e " << KU_TextFileNumber::Format(GetEndTime()) << "\n";
    text << "l " << (m_bLooped ? 1 : 0) << "\n";
    text << "3d " << (m_b3D ? 1 : 0) << "\n";
    text << "f ";
    WriteLineValue(text, m_sAudioFilePath);
    text << "\n";
    text << "m " << KU_TextFileNumber::Format(m_fMinDistance) << " "
         << KU_TextFileNumber::Format(m_fMaxDistance) << "\n";
    text << "od " << KU_TextFileNumber::Format(m_fDirectOcclusion) << "\n";
    text << "or " << KU_TextFileNumber::Format(m_fReverbOcclusion) << "\n";
    if (m_sPositionCurvePath.GetLength() == 0)
    {
        XMFLOAT4 position;
        XMStoreFloat4(&position, m_vStaticPosition);
        text << "pv " << KU_TextFileNumber::Format(position.x) << " " << KU_TextFileNumber::Format(position.y)
             << " " << KU_TextFileNumber::Format(position.z) << "\n";
    }
    if (m_sVolumeCurvePath.GetLength() == 0)
        text << "vo " << KU_TextFileNumber::Format(m_fVolume) << "\n";
    if (m_sPositionCurvePath.GetLength() != 0)
    {
        text << "pp ";
        WriteLineValue(text, m_sPositionCurvePath);
        text << "\n";
    }
    if (m_sVolumeCurvePath.GetLength() != 0)
    {
        text << "vp ";
        WriteLineValue(text, m_sVolumeCurvePath);
        text << "\n";
    }
    const std::string result = text.str();
    return KB_String(result.c_str());
}

KB_String KA_AudioEntity::GetCurveDirectory() const
{
    const KB_String directory = KU_FileUtilities::ExtractDirectory(m_sFilePath);
    // A file without a directory keeps its curves beside it rather than at the root.
    return directory.GetLength() != 0 ? directory + "/" : KB_String();
}

bool KA_AudioEntity::Save()
{
    KF_FileManager* pFiles = KE_GetFileManager();
    if (pFiles == nullptr || m_sFilePath.GetLength() == 0)
        return false;
    const KB_String directory = GetCurveDirectory();
    if (m_pPositionCurve != nullptr)
    {
        m_pPositionCurve->SetFilePath(directory + m_sPositionCurvePath);
        m_pPositionCurve->Save();
    }
    if (m_pVolumeCurve != nullptr)
    {
        m_pVolumeCurve->SetFilePath(directory + m_sVolumeCurvePath);
        m_pVolumeCurve->Save();
    }
    const KB_String text = CreateText();
    return pFiles->SaveFile(m_sFilePath, text.GetLength(), text.GetBuffer());
}

bool KA_AudioEntity::Initialize()
{
    DeleteCurvesAndEditorObjects();
    const KB_String directory = GetCurveDirectory();
    if (m_sPositionCurvePath.GetLength() != 0)
        m_pPositionCurve = KU_VertexInterpolation::LoadVertexInterpolation(directory + m_sPositionCurvePath);
    if (m_sVolumeCurvePath.GetLength() != 0)
        m_pVolumeCurve = KU_VertexInterpolation::LoadVertexInterpolation(directory + m_sVolumeCurvePath);
    if (m_pEditorObjects != nullptr && KE_IsDeveloperBuild())
    {
        // Every entity gets a marker, so that one following a curve can be picked too; its rail
        // takes the place of the gizmo.
        if (m_pPositionCurve != nullptr)
        {
            m_pPathVisualisation = m_pEditorObjects->CreatePathVisualisation(
                m_pPositionCurve, m_vRailColor, m_vMarkerColor, m_vSelectionColor);
        }
        else
        {
            m_pGizmo = m_pEditorObjects->CreateGizmo();
        }
        m_pMarker = m_pEditorObjects->CreateMarker(m_vMarkerColor);
    }
    m_bSoundDirty = true;
    KA_AudioResource* pSound = GetAudioResource();
    if (pSound != nullptr)
    {
        pSound->SetVolume(GetVolumeAt(0.0));
        if (m_b3D)
        {
            pSound->Set3DMinMaxDistance(m_fMinDistance, m_fMaxDistance);
            pSound->Set3DOcclusion(m_fDirectOcclusion, m_fReverbOcclusion);
            pSound->Set3DAttributes(GetPositionAt(0.0), GetVelocityAt(0.0));
        }
    }
    return true;
}

KA_AudioResource* KA_AudioEntity::GetAudioResource()
{
    // A sound that could not be made is not tried again on every call (each try reads the file);
    // the next Initialize marks it dirty again.
    if (!m_bSoundDirty)
        return m_pSound;
    delete m_pSound;
    m_pSound = nullptr;
    if (KA_AudioContext* pContext = GetAudioContext())
        m_pSound = pContext->CreateAudioResource(m_sAudioFilePath, m_b3D, m_bLooped);
    m_bSoundDirty = false;
    return m_pSound;
}

void KA_AudioEntity::UpdateFrame(double time)
{
    KA_AudioResource* pSound = GetAudioResource();
    if (pSound == nullptr)
        return;
    if (m_pVolumeCurve != nullptr)
        pSound->SetVolume(GetVolumeAt(time));
    if (m_b3D)
        pSound->Set3DAttributes(GetPositionAt(time), GetVelocityAt(time));
}

XMVECTOR KA_AudioEntity::GetPositionAt(double time)
{
    return m_pPositionCurve != nullptr ? KU_GetVectorAtTime(m_pPositionCurve, time) : m_vStaticPosition;
}

XMVECTOR KA_AudioEntity::GetVelocityAt(double time)
{
    XMVECTOR velocity = XMVectorZero();
    if (m_pPositionCurve != nullptr)
        m_pPositionCurve->GetVelocity(&velocity, time - m_pPositionCurve->GetStartTime());
    return velocity;
}

float KA_AudioEntity::GetVolumeAt(double time)
{
    return m_pVolumeCurve != nullptr ? XMVectorGetX(KU_GetVectorAtTime(m_pVolumeCurve, time)) : m_fVolume;
}

void KA_AudioEntity::RenderDebug(double time, const XMMATRIX& viewProjection, const XMVECTOR& cameraPosition)
{
    if (m_pEditorObjects == nullptr)
        return;
    const XMVECTOR position = GetPositionAt(time);
    const float s =
        SCREEN_SIZE_FACTOR * XMVectorGetX(XMVector3Length(XMVectorSubtract(position, cameraPosition)));
    const XMMATRIX world = XMMatrixMultiply(
        XMMatrixScaling(s, s, s),
        XMMatrixTranslation(XMVectorGetX(position), XMVectorGetY(position), XMVectorGetZ(position)));
    if (m_pMarker != nullptr)
    {
        m_pEditorObjects->SetMarkerWorldMatrix(m_pMarker, world);
        m_pEditorObjects->RenderMarker(m_pMarker, viewProjection);
    }
    if (!m_bSelected)
        return;
    if (m_pGizmo != nullptr)
    {
        m_pEditorObjects->SetGizmoWorldMatrix(m_pGizmo, world);
        m_pEditorObjects->RenderGizmo(m_pGizmo, viewProjection);
    }
    if (m_pPathVisualisation != nullptr)
        m_pEditorObjects->RenderPathVisualisation(m_pPathVisualisation, time, viewProjection, cameraPosition);
}

float KA_AudioEntity::GetPickDistance(double time, const XMVECTOR& origin, const XMVECTOR& direction)
{
    if (m_pMarker == nullptr || !IsActive(time))
        return FLT_MAX;
    float distance = m_pEditorObjects->GetMarkerPickDistance(m_pMarker, origin, direction);
    if (m_bSelected && m_pPathVisualisation != nullptr)
    {
        const float railDistance =
            m_pEditorObjects->GetPathPickDistance(m_pPathVisualisation, origin, direction);
        if (railDistance < distance)
            distance = railDistance;
    }
    return distance;
}

void KA_AudioEntity::Select(double time, const XMVECTOR& origin, const XMVECTOR& direction)
{
    if (!IsActive(time))
        return;
    const float markerDistance = m_pMarker != nullptr
                                     ? m_pEditorObjects->GetMarkerPickDistance(m_pMarker, origin, direction)
                                     : FLT_MAX;
    if (m_bSelected && m_pPathVisualisation != nullptr && m_pMarker != nullptr &&
        m_pEditorObjects->GetPathPickDistance(m_pPathVisualisation, origin, direction) < markerDistance)
    {
        m_pEditorObjects->PickControlPoint(m_pPathVisualisation, origin, direction);
        return;
    }
    const bool bWasSelected = m_bSelected;
    DeselectAll();
    // Also without a dispatcher, picking a selected entity again deselects it.
    Receive(KE_MT_EditorCommand, KE_MST_DeselectControlPoints, nullptr);
    if (markerDistance < FLT_MAX && !bWasSelected)
    {
        m_bSelected = true;
        m_pEditorObjects->SetMarkerColor(m_pMarker, m_vSelectionColor);
    }
}

void KA_AudioEntity::MoveSelected(double time, const XMVECTOR& origin, const XMVECTOR& direction,
                                  bool bDragging)
{
    if (!m_bSelected || !IsActive(time))
        return;
    if (m_pPathVisualisation != nullptr)
    {
        m_pEditorObjects->MoveSelectedControlPoint(m_pPathVisualisation, origin, direction, bDragging);
    }
    else if (m_pGizmo != nullptr)
    {
        if (bDragging)
            m_pEditorObjects->DragGizmo(m_pGizmo, origin, direction, &m_vStaticPosition);
        else
            m_pEditorObjects->EndGizmoDrag(m_pGizmo);
    }
}

void KA_AudioEntity::SetSelectedPosition(const XMVECTOR& vPosition)
{
    if (m_pPathVisualisation != nullptr && m_pEditorObjects->HasSelectedControlPoint(m_pPathVisualisation))
        m_pEditorObjects->SetSelectedVertex(m_pPathVisualisation, vPosition);
    if (m_bSelected && m_pPathVisualisation == nullptr)
        m_vStaticPosition = XMVectorSetW(vPosition, 0.0f);
}

void KA_AudioEntity::DeselectAll()
{
    if (KE_Dispatcher* pDispatcher = KE_GetDispatcher())
        pDispatcher->Dispatch(KE_MT_EditorCommand, KE_MST_DeselectControlPoints, nullptr);
}

bool KA_AudioEntity::Receive(KE_MessageType type, KE_MessageSubType subType, void* pPayload)
{
    if (type != KE_MT_EditorCommand || subType != KE_MST_DeselectControlPoints)
        return false;
    // Its own rail deselecting the other rails leaves the entity selected.
    if (m_pPathVisualisation != nullptr && pPayload == m_pPathVisualisation)
        return true;
    m_bSelected = false;
    if (m_pMarker != nullptr)
        m_pEditorObjects->SetMarkerColor(m_pMarker, m_vMarkerColor);
    return true;
}
