#include "render/effects/KR_VolumeLightGeometry.h"

#include "framework/core/KB_Color.h"
#include "render/camera/KR_ViewFrustum.h"
#include "render/light/KR_OmniLight.h"
#include "render/light/KR_SpotLight.h"

#include <cfloat>
#include <cmath>

using namespace DirectX;

namespace
{

bool IsFinite(const XMFLOAT3& p)
{
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

XMFLOAT4 Float4(const XMVECTOR& v, float w)
{
    XMFLOAT4 f;
    XMStoreFloat4(&f, v);
    f.w = w;
    return f;
}

// normalize(to - from); zero when the two are equal (or the difference is not finite).
XMVECTOR Direction(const XMVECTOR& from, const XMVECTOR& to)
{
    const XMVECTOR d = XMVector3Normalize(XMVectorSubtract(to, from));
    const float x = XMVectorGetX(d);
    const float y = XMVectorGetY(d);
    const float z = XMVectorGetZ(d);
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z))
        return XMVectorZero();
    return XMVectorSetW(d, 0.0f);
}

XMFLOAT4 Attenuation(KR_LightBase* pLight, float fStrength)
{
    XMFLOAT3 a(0.0f, 0.0f, 0.0f);
    pLight->GetLightAttenuation(&a);
    return XMFLOAT4(a.x, a.y, a.z, fStrength);
}

} // namespace

float KR_VolumeLightGeometry::GetBrickHalfSize(float fMaxLightDistance, float fTraceDistance)
{
    // Without a finite trace distance an unbounded light would get a box of unbounded size.
    if (!(fMaxLightDistance > 0.0f) || !(fTraceDistance > 0.0f) || !std::isfinite(fTraceDistance))
        return 0.0f;
    return fMaxLightDistance < fTraceDistance ? fMaxLightDistance : fTraceDistance;
}

void KR_VolumeLightGeometry::GetBrickAxes(const XMVECTOR& vAxis, XMVECTOR* pA, XMVECTOR* pB)
{
    const XMVECTOR vReference = std::fabs(XMVectorGetY(vAxis)) > AXIS_SWITCH
                                    ? XMVectorSet(1.0f, 0.0f, 0.0f, 0.0f)
                                    : XMVectorSet(0.0f, 1.0f, 0.0f, 0.0f);
    *pA = XMVector3Normalize(XMVector3Cross(vAxis, vReference));
    *pB = XMVector3Normalize(XMVector3Cross(vAxis, *pA));
}

bool KR_VolumeLightGeometry::GetBrickCorners(const XMVECTOR& vP1, const XMVECTOR& vP2, const XMVECTOR& vAxis,
                                             float fHalfSize, XMFLOAT3 (&corners)[8])
{
    // A light on the camera, or a tube of no length, has no direction of its own: any axis gives
    // the same cube.
    const XMVECTOR d =
        XMVectorGetX(XMVector3LengthSq(vAxis)) > 0.0f ? vAxis : XMVectorSet(0.0f, 0.0f, 1.0f, 0.0f);
    XMVECTOR a, b;
    GetBrickAxes(d, &a, &b);
    const XMVECTOR vAm = XMVectorScale(a, fHalfSize);
    const XMVECTOR vBm = XMVectorScale(b, fHalfSize);
    const XMVECTOR vDm = XMVectorScale(d, fHalfSize);
    const XMVECTOR vEnds[2] = {XMVectorSubtract(vP1, vDm), XMVectorAdd(vP2, vDm)};
    bool bFinite = true;
    for (std::uint32_t i = 0; i < 8; ++i)
    {
        XMVECTOR p = vEnds[(i >> 2) & 1];
        p = (i & 1) != 0 ? XMVectorAdd(p, vAm) : XMVectorSubtract(p, vAm);
        p = (i & 2) != 0 ? XMVectorAdd(p, vBm) : XMVectorSubtract(p, vBm);
        XMStoreFloat3(&corners[i], p);
        bFinite = bFinite && IsFinite(corners[i]);
    }
    return bFinite;
}

void KR_VolumeLightGeometry::AppendBox(KB_GrowingArray<XMFLOAT3>* pVertices, const XMFLOAT3 (&corners)[8])
{
    // Two triangles per face: the faces -a, +a, -b, +b, p1 end, p2 end.
    static constexpr std::uint8_t INDICES[BOX_VERTEX_COUNT] = {
        0, 2, 6, 0, 6, 4, // -a
        1, 5, 7, 1, 7, 3, // +a
        0, 4, 5, 0, 5, 1, // -b
        2, 3, 7, 2, 7, 6, // +b
        0, 1, 3, 0, 3, 2, // p1 end
        4, 6, 7, 4, 7, 5, // p2 end
    };
    for (std::uint8_t uiIndex : INDICES)
        pVertices->Add(corners[uiIndex]);
}

bool KR_VolumeLightGeometry::BuildSpotLightPyramid(KB_GrowingArray<XMFLOAT3>* pVertices, double fTime,
                                                   KR_SpotLight* pLight, float fTraceDistance)
{
    if (pVertices == nullptr || pLight == nullptr || !pLight->HasValidView(fTime))
        return false;
    const float fReach = pLight->GetMaxLightDistance(fTime);
    if (GetBrickHalfSize(fReach, fTraceDistance) <= 0.0f)
        return false;
    XMVECTOR planes[KR_ViewFrustum::NUM_PLANES];
    ExtractFrustumPlanes(pLight->GetViewProjectionMatrix(fTime), planes);
    const XMVECTOR vApex = pLight->GetLightPosition(fTime);
    XMVECTOR vBase = planes[KR_FP_Far];
    if (!(fReach <= fTraceDistance) || fReach == FLT_MAX)
    {
        // The shadow frustum reaches past the march, or never ends (its far plane is then no
        // plane): the base goes where the march could still see it, across the light's direction.
        const XMVECTOR d = Direction(vApex, pLight->GetLightTarget(fTime));
        vBase = XMVectorSetW(XMVectorNegate(d), XMVectorGetX(XMVector3Dot(d, vApex)) + fTraceDistance);
    }
    XMFLOAT3 corners[4];
    IntersectThreePlanes(&corners[0], &planes[KR_FP_Left], &planes[KR_FP_Top], &vBase);
    IntersectThreePlanes(&corners[1], &planes[KR_FP_Right], &planes[KR_FP_Top], &vBase);
    IntersectThreePlanes(&corners[2], &planes[KR_FP_Right], &planes[KR_FP_Bottom], &vBase);
    IntersectThreePlanes(&corners[3], &planes[KR_FP_Left], &planes[KR_FP_Bottom], &vBase);
    XMFLOAT3 apex;
    XMStoreFloat3(&apex, vApex);
    if (!IsFinite(apex))
        return false;
    for (const XMFLOAT3& corner : corners)
        if (!IsFinite(corner))
            return false;
    for (std::uint32_t i = 0; i < 4; ++i)
    {
        pVertices->Add(apex);
        pVertices->Add(corners[i]);
        pVertices->Add(corners[(i + 1) % 4]);
    }
    const std::uint32_t BASE[6] = {0, 1, 2, 0, 2, 3};
    for (std::uint32_t uiIndex : BASE)
        pVertices->Add(corners[uiIndex]);
    return true;
}

bool KR_VolumeLightGeometry::BuildOmniLightBrick(KB_GrowingArray<XMFLOAT3>* pVertices, double fTime,
                                                 KR_OmniLight* pLight, const XMVECTOR& vCameraPosition,
                                                 float fTraceDistance)
{
    if (pVertices == nullptr || pLight == nullptr)
        return false;
    const float m = GetBrickHalfSize(pLight->GetMaxLightDistance(fTime), fTraceDistance);
    if (m <= 0.0f)
        return false;
    const XMVECTOR vCentre = pLight->GetLightPosition(fTime);
    XMFLOAT3 corners[8];
    if (!GetBrickCorners(vCentre, vCentre, Direction(vCentre, vCameraPosition), m, corners))
        return false;
    AppendBox(pVertices, corners);
    return true;
}

bool KR_VolumeLightGeometry::BuildTubeLightBrick(KB_GrowingArray<XMFLOAT3>* pVertices, double fTime,
                                                 KR_OmniLight* pLight, float fTraceDistance)
{
    if (pVertices == nullptr || pLight == nullptr)
        return false;
    const float m = GetBrickHalfSize(pLight->GetMaxLightDistance(fTime), fTraceDistance);
    if (m <= 0.0f)
        return false;
    const XMVECTOR vP1 = pLight->GetLightPosition(fTime);
    const XMVECTOR vP2 = pLight->GetLightTarget(fTime);
    XMFLOAT3 corners[8];
    if (!GetBrickCorners(vP1, vP2, Direction(vP1, vP2), m, corners))
        return false;
    AppendBox(pVertices, corners);
    return true;
}

void KR_VolumeLightGeometry::SpotLightBatch::Reset(std::uint32_t uiArrayLength)
{
    m_gShadowMaps.RemoveAll(false);
    m_gProjections.RemoveAll(false);
    m_gPositions.RemoveAll(false);
    m_gDirections.RemoveAll(false);
    m_gColors.RemoveAll(false);
    m_gCones.RemoveAll(false);
    m_gAttenuations.RemoveAll(false);
    m_gShadowBiases.RemoveAll(false);
    m_uiCapacity = uiArrayLength < MAX_SPOT_LIGHTS ? uiArrayLength : MAX_SPOT_LIGHTS;
}

bool KR_VolumeLightGeometry::SpotLightBatch::Add(double fTime, KR_SpotLight* pLight)
{
    if (pLight == nullptr || GetCount() >= m_uiCapacity)
        return false;
    const float fStrength = pLight->GetLightStrength(fTime);
    if (!(fStrength > 0.0f))
        return false;
    const XMVECTOR vPosition = pLight->GetLightPosition(fTime);
    KB_Color color;
    pLight->GetLightColor(&color, fTime);
    const float fCosFOV = std::cos(pLight->GetLightFOV() * DEGREES_TO_RADIANS);
    const float fCosFalloff = std::cos(pLight->GetLightFOVFalloff() * DEGREES_TO_RADIANS);
    const float fFlag = (pLight->GetSpotFlags() & KR_SpotLight::SPOT_FLAG_OPTION) != 0 ? 0.0f : 1.0f;
    XMFLOAT2 bias(0.0f, 0.0f);
    pLight->GetShadowBias(&bias);
    XMFLOAT4X4 projection;
    XMStoreFloat4x4(&projection, pLight->GetViewProjectionMatrix(fTime));

    m_gShadowMaps.Add(pLight->GetShadowMapView());
    m_gProjections.Add(projection);
    m_gPositions.Add(Float4(vPosition, 1.0f));
    m_gDirections.Add(Float4(Direction(vPosition, pLight->GetLightTarget(fTime)), 0.0f));
    m_gColors.Add(XMFLOAT4(color.GetR(), color.GetG(), color.GetB(), 1.0f));
    m_gCones.Add(XMFLOAT4(fCosFOV, fCosFalloff, fCosFOV - fCosFalloff, fFlag));
    m_gAttenuations.Add(Attenuation(pLight, fStrength));
    m_gShadowBiases.Add(XMFLOAT4(bias.x, bias.y, 0.0f, 0.0f));
    return true;
}

void KR_VolumeLightGeometry::OmniLightBatch::Reset(std::uint32_t uiArrayLength)
{
    m_gOmniColors.RemoveAll(false);
    m_gOmniAttenuations.RemoveAll(false);
    m_gOmniPositions.RemoveAll(false);
    m_gTubeColors.RemoveAll(false);
    m_gTubeAttenuations.RemoveAll(false);
    m_gTubePositions.RemoveAll(false);
    m_gTubeSecondPositions.RemoveAll(false);
    m_uiArrayLength = uiArrayLength;
}

bool KR_VolumeLightGeometry::OmniLightBatch::Add(double fTime, KR_OmniLight* pLight)
{
    // Tube lights do not count against the omni limit, but every light takes one element of the
    // effect's arrays, whichever kind comes first.
    if (pLight == nullptr || GetOmniCount() >= MAX_OMNI_LIGHTS ||
        GetOmniCount() + GetTubeCount() >= m_uiArrayLength)
        return false;
    const float fStrength = pLight->GetLightStrength(fTime);
    if (!(fStrength > 0.0f))
        return false;
    KB_Color color;
    pLight->GetLightColor(&color, fTime);
    const XMFLOAT4 vColor(color.GetR(), color.GetG(), color.GetB(), pLight->GetLightSpecularStrength(fTime));
    const XMFLOAT4 vPosition = Float4(pLight->GetLightPosition(fTime), 1.0f);
    if (pLight->IsUsedAsTubeLight())
    {
        m_gTubeColors.Add(vColor);
        m_gTubeAttenuations.Add(Attenuation(pLight, fStrength));
        m_gTubePositions.Add(vPosition);
        m_gTubeSecondPositions.Add(Float4(pLight->GetLightTarget(fTime), 1.0f));
    }
    else
    {
        m_gOmniColors.Add(vColor);
        m_gOmniAttenuations.Add(Attenuation(pLight, fStrength));
        m_gOmniPositions.Add(vPosition);
    }
    return true;
}

void KR_VolumeLightGeometry::OmniLightBatch::GetCombined(KB_GrowingArray<XMFLOAT4>* pColors,
                                                         KB_GrowingArray<XMFLOAT4>* pAttenuations,
                                                         KB_GrowingArray<XMFLOAT4>* pPositions) const
{
    const KB_GrowingArray<XMFLOAT4>* apSources[3][2] = {{&m_gTubeColors, &m_gOmniColors},
                                                        {&m_gTubeAttenuations, &m_gOmniAttenuations},
                                                        {&m_gTubePositions, &m_gOmniPositions}};
    KB_GrowingArray<XMFLOAT4>* apTargets[3] = {pColors, pAttenuations, pPositions};
    for (std::uint32_t i = 0; i < 3; ++i)
    {
        apTargets[i]->RemoveAll(false);
        for (const KB_GrowingArray<XMFLOAT4>* pSource : apSources[i])
            for (std::uint32_t j = 0; j < pSource->GetNumMembers(); ++j)
                apTargets[i]->Add((*pSource)[j]);
    }
}
