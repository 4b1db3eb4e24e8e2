#include "render/debug/KR_VertexInterpolationVisualisation.h"

#include "framework/app/KE_Dispatcher.h"
#include "framework/app/KE_EngineMembers.h"
#include "render/debug/KR_DebugCube.h"
#include "render/debug/KR_Ray.h"
#include "render/debug/KR_TranslateGizmo.h"
#include "timing/KU_VertexInterpolation.h"

#include <algorithm>
#include <cmath>
#include <new>

using namespace DirectX;

namespace
{

constexpr double SEGMENTS_PER_SECOND = 10.0;
// Boxes and the gizmo are scaled by this share of their distance to the camera, so that they keep
// their size on screen.
constexpr float SCREEN_SIZE_FACTOR = 0.01f;
// The travelling marker is a little larger than the key boxes, so that it shows when it passes one.
constexpr float TRAVELLING_MARKER_FACTOR = 0.011f;

// Corner offsets of a key box in units of its half size: the upper face, then the lower face.
constexpr std::uint32_t BOX_VERTICES = 8;
constexpr std::uint32_t BOX_TRIANGLES = 12;
constexpr float BOX_CORNERS[BOX_VERTICES][3] = {{1, 1, -1},  {-1, 1, -1},  {-1, 1, 1},  {1, 1, 1},
                                                {1, -1, -1}, {-1, -1, -1}, {-1, -1, 1}, {1, -1, 1}};
constexpr std::uint16_t BOX_INDICES[3 * BOX_TRIANGLES] = {0, 2, 1, 2, 0, 3, 1, 4, 0, 1, 5, 4,
                                                          2, 5, 1, 2, 6, 5, 3, 6, 2, 3, 7, 6,
                                                          0, 7, 3, 0, 4, 7, 4, 6, 7, 4, 5, 6};

float Distance3(const XMVECTOR& a, const XMVECTOR& b)
{
    return XMVectorGetX(XMVector3Length(XMVectorSubtract(a, b)));
}

} // namespace

KR_VertexInterpolationVisualisation::KR_VertexInterpolationVisualisation(KU_VertexInterpolation* pCurve)
    : m_pCurve(pCurve), m_pGizmo(new(std::nothrow) KR_TranslateGizmo()),
      m_pTravellingMarker(new(std::nothrow) KR_DebugCube())
{
    // Either may be missing after a failed allocation: the rail is then drawn without it.
    if (m_pTravellingMarker != nullptr)
        m_pTravellingMarker->SetColor(m_oSelectionColor.GetRGBA());
    // Last: whole before any message can reach it.
    RegisterAtDispatcher();
}

KR_VertexInterpolationVisualisation::~KR_VertexInterpolationVisualisation()
{
    UnRegisterFromDispatcher();
    delete m_pGizmo;
    m_pGizmo = nullptr;
    delete m_pTravellingMarker;
    m_pTravellingMarker = nullptr;
}

void KR_VertexInterpolationVisualisation::SetColors(const KB_Color& rail, const KB_Color& marker,
                                                    const KB_Color& selection)
{
    m_oRailColor = rail;
    m_oMarkerColor = marker;
    m_oSelectionColor = selection;
    if (m_pTravellingMarker != nullptr)
        m_pTravellingMarker->SetColor(selection.GetRGBA());
}

std::uint32_t KR_VertexInterpolationVisualisation::GetNumKeys() const
{
    return m_pCurve != nullptr ? m_pCurve->GetNumVertices() : 0;
}

void KR_VertexInterpolationVisualisation::BuildGeometry()
{
    m_uiNumSegments = 0;
    // The box indices are 16-bit: keys past the first 8192 get no box (rather than wrapped
    // indices that would join other keys' corners).
    const std::uint32_t numKeys = std::min<std::uint32_t>(m_pCurve->GetNumVertices(), 65536 / BOX_VERTICES);
    if (numKeys == 0)
        return;
    const double duration = m_pCurve->GetDuration();
    const double segments = std::ceil(duration * SEGMENTS_PER_SECOND);
    // A negative, NaN or absurd duration draws no line rather than an unbounded one.
    m_uiNumSegments = segments > 0.0 && segments < 1.0e6 ? static_cast<std::uint32_t>(segments) : 0;
    for (std::uint32_t i = 0; m_uiNumSegments > 0 && i <= m_uiNumSegments; ++i)
    {
        XMVECTOR value;
        m_pCurve->GetValueAt(&value, i * (duration / m_uiNumSegments));
        XMFLOAT3 point;
        XMStoreFloat3(&point, value);
        m_gLinePoints.Add(point);
    }
    for (std::uint32_t k = 0; k < numKeys; ++k)
    {
        const XMVECTOR key = m_pCurve->GetVertex(k);
        const float s = SCREEN_SIZE_FACTOR * Distance3(key, GetViewerPosition());
        XMFLOAT3 box[BOX_VERTICES];
        for (std::uint32_t c = 0; c < BOX_VERTICES; ++c)
            XMStoreFloat3(&box[c], XMVectorAdd(key, XMVectorSet(BOX_CORNERS[c][0] * s, BOX_CORNERS[c][1] * s,
                                                                BOX_CORNERS[c][2] * s, 0.0f)));
        AddMarker(box, BOX_VERTICES, BOX_INDICES, 3 * BOX_TRIANGLES);
    }
}

void KR_VertexInterpolationVisualisation::Render(double time, const XMMATRIX* pViewProjection,
                                                 const XMVECTOR& cameraPosition)
{
    if (m_pCurve == nullptr || IsHidden())
        return;
    UpdateGeometry(cameraPosition, m_pCurve->HasChanged(true));
    const KB_Color* pRailColor = &m_oRailColor;
    DrawGeometry(pViewProjection, &pRailColor, 1, m_oMarkerColor);
    if (m_pGizmo != nullptr && GetSelectedIndex() != NO_SELECTION &&
        GetSelectedIndex() < m_pCurve->GetNumVertices())
    {
        const XMVECTOR key = m_pCurve->GetVertex(GetSelectedIndex());
        const float s = SCREEN_SIZE_FACTOR * Distance3(key, cameraPosition);
        m_pGizmo->SetWorldMatrix(
            XMMatrixMultiply(XMMatrixScaling(s, s, s), XMMatrixTranslationFromVector(key)));
        m_pGizmo->Render(pViewProjection);
    }
    if (m_pTravellingMarker != nullptr && m_pCurve->IsActive(time))
    {
        XMVECTOR value;
        m_pCurve->GetValueAt(&value, time - m_pCurve->GetStartTime());
        const float s = TRAVELLING_MARKER_FACTOR * Distance3(value, cameraPosition);
        m_pTravellingMarker->SetWorldMatrix(
            XMMatrixMultiply(XMMatrixScaling(s, s, s), XMMatrixTranslationFromVector(value)));
        m_pTravellingMarker->Render(pViewProjection);
    }
}

bool KR_VertexInterpolationVisualisation::PickControlPoint(const KR_Ray& ray)
{
    return PickMarkedKey(ray, BOX_TRIANGLES);
}

void KR_VertexInterpolationVisualisation::SelectControlPoint(std::uint32_t uiIndex)
{
    SelectOnlyKey(uiIndex);
}

void KR_VertexInterpolationVisualisation::KeySelected(std::uint32_t uiKey, std::uint32_t uiNumKeys)
{
    if (!m_bExtendRail || uiKey + 1 != uiNumKeys)
        return;
    if (KE_Dispatcher* pDispatcher = KE_GetDispatcher())
        pDispatcher->Dispatch(KE_MT_EditorCommand, KE_MST_ExtendRail, m_pCurve);
}

void KR_VertexInterpolationVisualisation::DeselectOthers()
{
    DeselectAll();
}

void KR_VertexInterpolationVisualisation::MoveSelectedControlPoint(const KR_Ray& ray, bool bDragging)
{
    if (m_pCurve == nullptr || GetSelectedIndex() >= m_pCurve->GetNumVertices() || m_pGizmo == nullptr)
        return;
    if (!bDragging)
    {
        m_pGizmo->EndDrag();
        return;
    }
    XMVECTOR value = m_pCurve->GetVertex(GetSelectedIndex());
    if (m_pGizmo->Drag(ray, &value))
        m_pCurve->SetVertex(GetSelectedIndex(), value); // marks the curve changed
}

void KR_VertexInterpolationVisualisation::SetSelectedVertex(const XMVECTOR& vPosition)
{
    if (m_pCurve == nullptr || GetSelectedIndex() >= m_pCurve->GetNumVertices())
        return;
    m_pCurve->SetVertex(GetSelectedIndex(), vPosition); // marks the curve changed
    MarkDirty();
}
