#include "render/light/KR_SpotLight.h"

#include "framework/app/KE_EngineMembers.h"
#include "render/debug/KR_DebugPolyhedron.h"
#include "timing/KU_TextFileHeader.h"
#include "timing/KU_TextFileReader.h"

#include <cmath>
#include <string>

using namespace DirectX;

namespace
{

constexpr const char* LEGEND[] = {
    "# d == debug name of the spot light (string)",
    "# s == start time stamp of the spot light (double)",
    "# e == end time stamp of the spot light (double)",
    "# pv == position of the spot light (3x float)",
    "# tv == target of the spot light (3x float)",
    "# cv == color of the spot light (RGB webcolor)",
    "# av == attenuation of the spot light (3x float; constant, linear, quadratic)",
    "# upv == up vector for the spot light (3x float)",
    "# lm == maximum distance of the spot light (float)",
    "# ln == near distance of the spot light (float)",
    "# lb == shadow bias of the spot light (2x float; base, adaptive width)",
    "# ls == strength of the spot light (float)",
    "# lss == specular strength of the spot light (float)",
    "# lf == FOV of the spot light (float; in degree)",
    "# lff == FOV Falloff of the spot light (float; in degree)",
    "# r == shadow map resolution (unsigned int)",
    "# vl == used in volumelight postfx (bool)",
    "# pp == following string is the path to the spot light position VertexInterpolation",
    "# tp == following string is the path to the spot light target VertexInterpolation",
    "# cp == following string is the path to the spot light color VertexInterpolation",
    "# sp == following string is the path to the spot light strength VertexInterpolation",
};
constexpr std::uint32_t NUM_LEGEND_LINES = sizeof(LEGEND) / sizeof(LEGEND[0]);

constexpr float DEGREES_TO_RADIANS = 3.14159265358979323846f / 180.0f;

} // namespace

KR_SpotLight::KR_SpotLight()
{
    m_oRailColor = KB_Color(0.96f, 0.616f, 0.318f, 1.0f);
    m_oMarkerColor = KB_Color(0.91f, 0.424f, 0.0f, 1.0f);
    if (KE_IsDeveloperBuild())
        CreateTargetMarker();
    ApplyMarkerColor();
    // Last: the light is whole before any message can reach it.
    RegisterAtDispatcher();
}

KR_SpotLight::~KR_SpotLight()
{
    UnRegisterFromDispatcher();
}

XMMATRIX KR_SpotLight::GetViewMatrix(double fTime)
{
    const XMVECTOR p = GetLightPosition(fTime);
    const XMVECTOR g = GetLightTarget(fTime);
    return XMMatrixLookToLH(p, XMVectorSubtract(g, p), XMLoadFloat4(&m_vUp));
}

bool KR_SpotLight::HasValidView(double fTime)
{
    const XMVECTOR vDirection = XMVectorSubtract(GetLightTarget(fTime), GetLightPosition(fTime));
    const XMVECTOR vSide = XMVector3Cross(XMLoadFloat4(&m_vUp), vDirection);
    const float fDirection = XMVectorGetX(XMVector3Length(vDirection));
    const float fSide = XMVectorGetX(XMVector3Length(vSide));
    return fDirection > 0.0f && fSide > 0.0f && std::isfinite(fDirection) && std::isfinite(fSide);
}

XMMATRIX KR_SpotLight::GetViewProjectionMatrix(double fTime)
{
    if (!HasValidView(fTime))
        return XMMatrixIdentity();
    const XMMATRIX projection = XMMatrixPerspectiveFovLH(2.0f * m_fFOVFalloff * DEGREES_TO_RADIANS, 1.0f,
                                                         1.0f, GetMaxLightDistance(fTime));
    return XMMatrixMultiply(GetViewMatrix(fTime), projection);
}

XMFLOAT2* KR_SpotLight::GetShadowBias(XMFLOAT2* pOut)
{
    *pOut = m_vShadowBias;
    return pOut;
}

std::uint32_t KR_SpotLight::GetShadowTextureResolution() const
{
    if (m_uiShadowMapResolution < MIN_SHADOW_MAP_RESOLUTION)
        return MIN_SHADOW_MAP_RESOLUTION;
    return m_uiShadowMapResolution > MAX_SHADOW_MAP_RESOLUTION ? MAX_SHADOW_MAP_RESOLUTION
                                                               : m_uiShadowMapResolution;
}

bool KR_SpotLight::LoadFromFile(const KB_String& sPath)
{
    m_fStartTime = 0.0;
    m_fEndTime = 0.0;
    m_sPositionRailPath = KB_String();
    m_sTargetRailPath = KB_String();
    m_sStrengthPath = KB_String();
    m_sColorPath = KB_String();
    m_vAttenuation = XMFLOAT3(0.0f, 0.0f, 0.01f);
    m_fMaxDistance = -1.0f;
    m_fNearDistance = 5.0f;
    m_fStrength = 1.0f;
    m_fFOV = 20.0f;
    m_fFOVFalloff = 30.0f;
    m_oColor = KB_Color(1.0f, 1.0f, 1.0f, 1.0f);
    m_vPosition = XMFLOAT4(0.0f, 0.0f, 0.0f, 0.0f);
    m_vTarget = XMFLOAT4(0.0f, 0.0f, 0.0f, 0.0f);
    m_vShadowBias = XMFLOAT2(6.5f, 5.0f);
    m_uiShadowMapResolution = DEFAULT_SHADOW_MAP_RESOLUTION;
    SetFlag(FLAG_VOLUME_LIGHT, false);
    std::string sText;
    if (!ReadFileText(sPath, &sText))
        return false;
    KU_TextFileReader reader(sText.c_str(), sText.size());
    while (reader.ReadKey())
    {
        if (reader.IsKey("d"))
        {
            m_sDebugName = reader.ReadLineValue(MAX_DEBUG_NAME_LENGTH);
            continue;
        }
        if (reader.IsKey("upv"))
        {
            float v[3] = {0.0f, 0.0f, 0.0f};
            if (reader.ReadFloat(&v[0]) && reader.ReadFloat(&v[1]) && reader.ReadFloat(&v[2]))
                m_vUp = XMFLOAT4(v[0], v[1], v[2], 0.0f);
        }
        else if (reader.IsKey("lb"))
        {
            XMFLOAT2 bias = m_vShadowBias;
            if (reader.ReadFloat(&bias.x) && reader.ReadFloat(&bias.y))
                m_vShadowBias = bias;
        }
        else if (reader.IsKey("ln") || reader.IsKey("lf") || reader.IsKey("lff"))
        {
            reader.ReadFloat(reader.IsKey("ln")   ? &m_fNearDistance
                             : reader.IsKey("lf") ? &m_fFOV
                                                  : &m_fFOVFalloff);
        }
        else if (reader.IsKey("r"))
        {
            reader.ReadU32(&m_uiShadowMapResolution); // kept as read; bounded where textures are made
        }
        else
        {
            ReadCommonKey(reader);
        }
        reader.SkipLine(); // the rest of the line, also after comments and unknown keys
    }
    ReloadLight();
    return true;
}

KB_String KR_SpotLight::CreateLightText() const
{
    std::string sText = CreateTextStart(TITLE, LEGEND, NUM_LEGEND_LINES, true);
    KU_AppendTextFileNumber(sText, "ln", m_fNearDistance);
    // Both values: the reader takes two.
    KU_AppendTextFileNumbers(sText, "lb", &m_vShadowBias.x, 2);
    if (m_sStrengthPath.GetLength() == 0)
        KU_AppendTextFileNumber(sText, "ls", m_fStrength);
    KU_AppendTextFileNumber(sText, "lss", m_fSpecularStrength);
    KU_AppendTextFileNumbers(sText, "upv", &m_vUp.x, 3);
    KU_AppendTextFileNumbers(sText, "av", &m_vAttenuation.x, 3);
    KU_AppendTextFileNumber(sText, "lf", m_fFOV);
    KU_AppendTextFileNumber(sText, "lff", m_fFOVFalloff);
    sText += "r " + std::to_string(m_uiShadowMapResolution) + "\n";
    sText += IsUsedAsVolumeLight() ? "vl true\n" : "vl false\n";
    AppendCurvePaths(sText, true);
    return KB_String(sText.c_str());
}

bool KR_SpotLight::SaveToFile(const KB_String& sPath)
{
    return SaveCurvesAndText(sPath, CreateLightText().GetBuffer());
}
