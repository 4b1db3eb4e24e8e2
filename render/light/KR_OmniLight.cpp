#include "render/light/KR_OmniLight.h"

#include "render/debug/KR_DebugPolyhedron.h"
#include "render/debug/KR_TranslateGizmo.h"
#include "render/debug/KR_VertexInterpolationVisualisation.h"
#include "timing/KU_TextFileHeader.h"
#include "timing/KU_TextFileReader.h"
#include "timing/KU_VertexInterpolation.h"

#include <new>
#include <string>

using namespace DirectX;

namespace
{

constexpr const char* LEGEND[] = {
    "# d == debug name of the omni light (string)",
    "# s == start time stamp of the omni light (double)",
    "# e == end time stamp of the omni light (double)",
    "# pv == position of the omni light (3x float)",
    "# tv == target of the tube light (3x float)",
    "# cv == color of the omni light (RGB webcolor)",
    "# av == attenuation of the omni light (3x float; constant, linear, quadratic)",
    "# lm == maximum distance of the omni light (float)",
    "# ls == strength of the omni light (float)",
    "# lss == specular strength of the omni light (float)",
    "# vl == used in volumelight postfx (bool)",
    "# pp == following string is the path to the omni light position VertexInterpolation",
    "# tp == following string is the path to the omni light target VertexInterpolation",
    "# cp == following string is the path to the omni light color VertexInterpolation",
    "# sp == following string is the path to the omni light strength VertexInterpolation",
};
constexpr std::uint32_t NUM_LEGEND_LINES = sizeof(LEGEND) / sizeof(LEGEND[0]);

} // namespace

KR_OmniLight::KR_OmniLight()
{
    m_oRailColor = KB_Color(1.0f, 0.918f, 0.38f, 1.0f);
    m_oMarkerColor = KB_Color(0.976f, 1.0f, 0.251f, 1.0f);
    ApplyMarkerColor();
    // Last: the light is whole before any message can reach it.
    RegisterAtDispatcher();
}

KR_OmniLight::~KR_OmniLight()
{
    UnRegisterFromDispatcher();
}

void KR_OmniLight::SetUseAsTubeLight(bool bTube)
{
    m_uiOmniFlags = static_cast<std::uint8_t>(bTube ? (m_uiOmniFlags | OMNI_FLAG_TUBE_LIGHT)
                                                    : (m_uiOmniFlags & ~OMNI_FLAG_TUBE_LIGHT));
    DeleteTargetObjects();
    if (bTube)
    {
        // The target's editor objects are plain CPU objects: made in every build, drawn only in
        // developer mode.
        CreateTargetMarker();
        if (m_sTargetRailPath.GetLength() != 0)
        {
            m_pTargetRail =
                KU_VertexInterpolation::LoadVertexInterpolation(GetCurveDirectory() + m_sTargetRailPath);
            if (m_pTargetRail != nullptr)
                m_pTargetRailVis = CreateRailVisualisation(m_pTargetRail);
        }
        else
        {
            if (m_vTarget.x == 0.0f && m_vTarget.y == 0.0f && m_vTarget.z == 0.0f && m_vTarget.w == 0.0f)
                m_vTarget = XMFLOAT4(m_vPosition.x + DEFAULT_TUBE_LENGTH, m_vPosition.y, m_vPosition.z,
                                     m_vPosition.w);
            m_pTargetHandle = new (std::nothrow) KR_TranslateGizmo();
        }
    }
    SetHighlighted(false);
}

bool KR_OmniLight::LoadFromFile(const KB_String& sPath)
{
    m_fStartTime = 0.0;
    m_fEndTime = 0.0;
    m_sPositionRailPath = KB_String();
    m_sStrengthPath = KB_String();
    m_sColorPath = KB_String();
    m_vAttenuation = XMFLOAT3(0.0f, 0.0f, 0.01f);
    m_fMaxDistance = -1.0f;
    m_fStrength = 1.0f;
    m_oColor = KB_Color(1.0f, 1.0f, 1.0f, 1.0f);
    m_vPosition = XMFLOAT4(0.0f, 0.0f, 0.0f, 0.0f);
    SetFlag(FLAG_VOLUME_LIGHT, false);
    std::string sText;
    if (!ReadFileText(sPath, &sText))
        return false;
    bool bTube = IsUsedAsTubeLight();
    KU_TextFileReader reader(sText.c_str(), sText.size());
    while (reader.ReadKey())
    {
        if (reader.IsKey("d"))
        {
            m_sDebugName = reader.ReadLineValue(MAX_DEBUG_NAME_LENGTH);
            continue;
        }
        if (reader.IsKey("tv") || reader.IsKey("tp"))
            bTube = true;
        ReadCommonKey(reader);
        reader.SkipLine(); // the rest of the line, also after comments and unknown keys
    }
    ReloadLight();
    SetUseAsTubeLight(bTube);
    return true;
}

KB_String KR_OmniLight::CreateLightText() const
{
    const bool bTube = (m_uiOmniFlags & OMNI_FLAG_TUBE_LIGHT) != 0;
    std::string sText = CreateTextStart(TITLE, LEGEND, NUM_LEGEND_LINES, bTube);
    if (m_sStrengthPath.GetLength() == 0)
        KU_AppendTextFileNumber(sText, "ls", m_fStrength);
    KU_AppendTextFileNumber(sText, "lss", m_fSpecularStrength);
    KU_AppendTextFileNumbers(sText, "av", &m_vAttenuation.x, 3);
    // The target rail's path only for a tube, whose rail is saved with the file.
    AppendCurvePaths(sText, bTube);
    sText += IsUsedAsVolumeLight() ? "vl true\n" : "vl false\n";
    return KB_String(sText.c_str());
}

bool KR_OmniLight::SaveToFile(const KB_String& sPath)
{
    return SaveCurvesAndText(sPath, CreateLightText().GetBuffer());
}
