#include "render/debug/KR_QuaternionInterpolationVisualisation.h"

#include "render/debug/KR_DebugDrawing.h"
#include "render/debug/KR_Ray.h"
#include "render/device/KR_ReleaseAndNull.h"
#include "timing/KU_InterpolationValue.h"
#include "timing/KU_QuaternionInterpolation.h"
#include "timing/KU_VertexInterpolation.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

using namespace DirectX;

namespace
{

constexpr double SAMPLES_PER_SECOND = 10.0;
constexpr float SELECTED_MARKER_SCALE = 1.5f;
constexpr float FULL_TURN = 6.2831855f;
constexpr std::uint16_t ARROW_INDICES[24] = {0, 2, 1, 0, 3, 2, 0, 4, 3, 0, 1, 4,
                                             5, 4, 1, 5, 1, 2, 5, 2, 3, 5, 3, 4};

XMFLOAT3 ToFloat3(const XMVECTOR& v)
{
    XMFLOAT3 result;
    XMStoreFloat3(&result, v);
    return result;
}

} // namespace

KR_QuaternionInterpolationVisualisation::KR_QuaternionInterpolationVisualisation(
    KU_VertexInterpolation* pCameraRail, KU_VertexInterpolation* pTargetRail,
    KU_QuaternionInterpolation* pOrientation)
    : m_pCameraRail(pCameraRail), m_pTargetRail(pTargetRail), m_pOrientation(pOrientation)
{
    // The marker of the current orientation: one arrow of unit length up the y axis, placed and
    // turned by its world matrix every frame.
    XMFLOAT3 unitArrow[MARKER_VERTICES];
    BuildArrow(XMVectorZero(), XMVectorSet(0, 1, 0, 0), XMVectorSet(0, 0, 1, 0), 1.0f, unitArrow);
    m_pUpVectorVB =
        KR_DebugDrawing::CreateStaticBuffer(D3D11_BIND_VERTEX_BUFFER, unitArrow, sizeof(unitArrow));
    m_pUpVectorIB =
        KR_DebugDrawing::CreateStaticBuffer(D3D11_BIND_INDEX_BUFFER, ARROW_INDICES, sizeof(ARROW_INDICES));
    // Last: whole before any message can reach it.
    RegisterAtDispatcher();
}

KR_QuaternionInterpolationVisualisation::~KR_QuaternionInterpolationVisualisation()
{
    UnRegisterFromDispatcher();
    KR_ReleaseAndNull(m_pUpVectorVB);
    KR_ReleaseAndNull(m_pUpVectorIB);
}

void KR_QuaternionInterpolationVisualisation::BuildArrow(const XMVECTOR& p, const XMVECTOR& d,
                                                         const XMVECTOR& s, float fLength,
                                                         XMFLOAT3* pVertices)
{
    const XMVECTOR c = XMVector3Cross(s, d);
    const XMVECTOR ring = XMVectorAdd(p, XMVectorScale(d, 0.25f * fLength));
    pVertices[0] = ToFloat3(p);
    pVertices[1] = ToFloat3(XMVectorAdd(ring, XMVectorScale(s, 0.25f * fLength)));
    pVertices[2] = ToFloat3(XMVectorSubtract(ring, XMVectorScale(c, 0.15f * fLength)));
    pVertices[3] = ToFloat3(XMVectorSubtract(ring, XMVectorScale(s, 0.15f * fLength)));
    pVertices[4] = ToFloat3(XMVectorAdd(ring, XMVectorScale(c, 0.15f * fLength)));
    pVertices[5] = ToFloat3(XMVectorAdd(p, XMVectorScale(d, fLength)));
}

float KR_QuaternionInterpolationVisualisation::GetMarkerSize(const XMVECTOR& p) const
{
    return 16.0f + XMVectorGetX(XMVector3Length(XMVectorSubtract(p, GetViewerPosition()))) / 30.0f;
}

std::int32_t KR_QuaternionInterpolationVisualisation::GetSelectedKey() const
{
    const std::uint32_t uiKey = GetSelectedIndex();
    return uiKey == NO_KEY ? NO_SELECTION : static_cast<std::int32_t>(uiKey);
}

std::uint32_t KR_QuaternionInterpolationVisualisation::GetNumKeys() const
{
    return m_pOrientation != nullptr ? m_pOrientation->GetNumQuaternions() : 0;
}

void KR_QuaternionInterpolationVisualisation::GetFrame(double t, XMVECTOR* pPosition, XMVECTOR* pLook,
                                                       XMVECTOR* pUp) const
{
    const XMVECTOR p = KU_GetVectorAtTime(m_pCameraRail, t);
    const XMVECTOR q = KU_GetVectorAtTime(m_pOrientation, t);
    // Without a target rail the orientation alone gives the look direction.
    const XMVECTOR look =
        m_pTargetRail != nullptr
            ? XMVector3Normalize(XMVectorSubtract(KU_GetVectorAtTime(m_pTargetRail, t), p))
            : XMVector3Normalize(XMVector3Transform(XMVectorSet(0, 0, 1, 0), XMMatrixRotationQuaternion(q)));
    const XMVECTOR u = XMVector3Transform(XMVectorSet(0, 1, 0, 0), XMMatrixRotationQuaternion(q));
    const XMVECTOR side = XMVector3Normalize(XMVector3Cross(u, look));
    *pPosition = p;
    *pLook = look;
    *pUp = XMVector3Cross(look, side);
}

void KR_QuaternionInterpolationVisualisation::BuildGeometry()
{
    m_uiNumLineVertices = 0;
    if (m_pCameraRail->GetNumVertices() == 0)
        return;
    const double duration = m_pCameraRail->GetDuration();
    const double samples = std::ceil(duration * SAMPLES_PER_SECOND);
    // A negative, NaN or absurd duration draws no line rather than an unbounded one.
    const std::uint32_t n = samples > 0.0 && samples < 1.0e6 ? static_cast<std::uint32_t>(samples) : 0;
    const std::uint32_t numKeys = std::min<std::uint32_t>(GetNumKeys(), 65536 / MARKER_VERTICES);
    if (n > 0)
    {
        const double step = duration / n;
        KU_VertexInterpolation* pTarget = m_pTargetRail != nullptr ? m_pTargetRail : m_pCameraRail;
        for (std::uint32_t i = 0; i <= n; ++i)
            m_gLinePoints.Add(
                ToFloat3(KU_GetVectorAtTime(m_pCameraRail, m_pCameraRail->GetStartTime() + i * step)));
        for (std::uint32_t i = 0; i <= n; ++i)
        {
            XMVECTOR p, look, up;
            GetFrame(i * step, &p, &look, &up);
            m_gLinePoints.Add(ToFloat3(XMVectorAdd(p, XMVectorScale(up, GetMarkerSize(p)))));
        }
        for (std::uint32_t i = 0; i <= n; ++i)
            m_gLinePoints.Add(ToFloat3(KU_GetVectorAtTime(pTarget, pTarget->GetStartTime() + i * step)));
        m_uiNumLineVertices = 3 * n;
    }
    for (std::uint32_t k = 0; k < numKeys; ++k)
    {
        XMVECTOR p, look, up;
        GetFrame(m_pOrientation->GetAbsoluteTimeStamp(k), &p, &look, &up);
        float size = GetMarkerSize(p);
        if (k == GetSelectedIndex())
            size *= SELECTED_MARKER_SCALE;
        XMFLOAT3 arrow[MARKER_VERTICES];
        BuildArrow(p, up, look, size, arrow);
        AddMarker(arrow, MARKER_VERTICES, ARROW_INDICES, 3 * MARKER_TRIANGLES);
    }
}

void KR_QuaternionInterpolationVisualisation::DrawCurrentOrientation(double time,
                                                                     const XMMATRIX* pViewProjection)
{
    if (!m_pCameraRail->IsActive(time) || m_pUpVectorIB == nullptr)
        return;
    const XMVECTOR p = KU_GetVectorAtTime(m_pCameraRail, time);
    const XMVECTOR q = KU_GetVectorAtTime(m_pOrientation, time);
    const float size = GetMarkerSize(p);
    const XMMATRIX world =
        XMMatrixMultiply(XMMatrixMultiply(XMMatrixScaling(size, size, size), XMMatrixRotationQuaternion(q)),
                         XMMatrixTranslationFromVector(p));
    KR_DebugDrawing::DrawRange arrow;
    arrow.uiCount = 3 * MARKER_TRIANGLES;
    KR_DebugDrawing::Draw(m_pUpVectorVB, m_pUpVectorIB, arrow, KR_DebugDrawing::GetFixedColorProgram(),
                          KR_DebugDrawing::GetInputLayout(), pViewProjection, &world,
                          m_oCurrentOrientationColor.GetRGBA());
}

bool KR_QuaternionInterpolationVisualisation::Render(double time, const XMMATRIX* pViewProjection,
                                                     const XMVECTOR& viewerPosition)
{
    if (m_pCameraRail == nullptr || m_pOrientation == nullptr || IsHidden())
        return false;
    // The orientation is asked only when the rail reports no change, so its flag survives to the
    // next frame otherwise (as the editor expects).
    UpdateGeometry(viewerPosition, m_pCameraRail->HasChanged(true) || m_pOrientation->HasChanged(true));
    // Camera rail, up line and target rail, each a strip of the same number of points.
    const KB_Color* apLineColors[3] = {&m_oRailColor, &m_oUpLineColor, &m_oTargetRailColor};
    DrawGeometry(pViewProjection, apLineColors, 3, m_oKeyMarkerColor);
    DrawCurrentOrientation(time, pViewProjection);
    return true;
}

bool KR_QuaternionInterpolationVisualisation::PickKey(const KR_Ray& ray)
{
    return PickMarkedKey(ray, MARKER_TRIANGLES);
}

void KR_QuaternionInterpolationVisualisation::SelectKey(std::int32_t iIndex)
{
    SelectOnlyKey(iIndex >= 0 ? static_cast<std::uint32_t>(iIndex) : NO_KEY);
}

void KR_QuaternionInterpolationVisualisation::RotateSelectedKey(const KR_Ray& ray, bool bButtonDown)
{
    if (GetSelectedIndex() == NO_KEY || m_pCameraRail == nullptr || m_pOrientation == nullptr ||
        GetSelectedIndex() >= GetNumKeys())
        return;
    if (!bButtonDown)
    {
        m_bButtonHeld = false;
        m_bGrabbed = false;
        return;
    }
    const std::uint32_t key = GetSelectedIndex();
    if (!m_bButtonHeld)
    {
        m_bButtonHeld = true;
        std::uint32_t triangle = 0;
        const float d = PickMarkers(ray, key * MARKER_TRIANGLES, (key + 1) * MARKER_TRIANGLES, &triangle);
        m_bGrabbed = d != FLT_MAX;
        if (!m_bGrabbed)
            return;
        XMVECTOR p, look, up;
        GetFrame(m_pOrientation->GetAbsoluteTimeStamp(key), &p, &look, &up);
        m_vAxis = look;
        m_vGrabPoint = XMVectorAdd(ray.origin, XMVectorScale(ray.direction, d));
        m_vRotationCentre = XMVectorSubtract(
            p,
            XMVectorScale(m_vAxis, XMVectorGetX(XMVector3Dot(XMVectorSubtract(p, m_vGrabPoint), m_vAxis))));
        m_vDragPlane = XMVectorSetW(m_vAxis, -XMVectorGetX(XMVector3Dot(m_vAxis, m_vGrabPoint)));
        XMVECTOR q = XMVectorZero();
        m_pOrientation->GetValueAt(&q, m_pOrientation->GetTimeStamp(key));
        m_qBaseOrientation = q;
        return;
    }
    XMVECTOR hit;
    if (!m_bGrabbed || !IntersectRayPlane(m_vDragPlane, ray, &hit))
        return;
    const XMVECTOR a = XMVector3Normalize(XMVectorSubtract(m_vGrabPoint, m_vRotationCentre));
    const XMVECTOR b = XMVector3Normalize(XMVectorSubtract(hit, m_vRotationCentre));
    float angle = std::acos(std::clamp(XMVectorGetX(XMVector3Dot(a, b)), -1.0f, 1.0f));
    if (XMVectorGetX(XMVector3Dot(XMVector3Cross(a, m_vAxis), b)) > 0.0f)
        angle = FULL_TURN - angle;
    const XMVECTOR roll = XMQuaternionNormalize(XMQuaternionRotationAxis(m_vAxis, angle));
    // The base orientation first, then the roll.
    m_pOrientation->SetQuaternion(key, XMQuaternionNormalize(XMQuaternionMultiply(m_qBaseOrientation, roll)));
}
