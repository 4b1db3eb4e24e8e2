#include "render/debug/KR_VertexInterpolationVisualisation.h"

#include "framework/app/KE_ApplicationManager.h"
#include "framework/app/KE_Dispatcher.h"
#include "render/debug/KR_DebugCube.h"
#include "render/debug/KR_DebugDrawing.h"
#include "render/debug/KR_Ray.h"
#include "render/debug/KR_TranslateGizmo.h"
#include "render/device/KR_ReleaseAndNull.h"
#include "timing/KU_VertexInterpolation.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

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
constexpr float BOX_CORNERS[8][3] = {{1, 1, -1},  {-1, 1, -1},  {-1, 1, 1},  {1, 1, 1},
                                     {1, -1, -1}, {-1, -1, -1}, {-1, -1, 1}, {1, -1, 1}};
constexpr std::uint16_t BOX_INDICES[36] = {0, 2, 1, 2, 0, 3, 1, 4, 0, 1, 5, 4, 2, 5, 1, 2, 6, 5,
                                           3, 6, 2, 3, 7, 6, 0, 7, 3, 0, 4, 7, 4, 6, 7, 4, 5, 6};

KE_Dispatcher* GetDispatcher()
{
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    return pEngine != nullptr ? pEngine->GetDispatcher() : nullptr;
}

float Distance3(const XMVECTOR& a, const XMVECTOR& b)
{
    return XMVectorGetX(XMVector3Length(XMVectorSubtract(a, b)));
}

} // namespace

KR_VertexInterpolationVisualisation::KR_VertexInterpolationVisualisation(KU_VertexInterpolation* pCurve)
    : m_pCurve(pCurve), m_pGizmo(new KR_TranslateGizmo()), m_pTravellingMarker(new KR_DebugCube())
{
    m_pTravellingMarker->SetColor(m_SelectionColor.GetRGBA());
    if (KE_Dispatcher* pDispatcher = GetDispatcher())
        pDispatcher->RegisterReceiver(KE_MT_EditorCommand, this);
}

KR_VertexInterpolationVisualisation::~KR_VertexInterpolationVisualisation()
{
    if (KE_Dispatcher* pDispatcher = GetDispatcher())
        pDispatcher->UnRegisterReceiver(KE_MT_EditorCommand, this);
    ReleaseBuffers();
    delete m_pGizmo;
    m_pGizmo = nullptr;
    delete m_pTravellingMarker;
    m_pTravellingMarker = nullptr;
}

void KR_VertexInterpolationVisualisation::SetColors(const KB_Color& rail, const KB_Color& marker,
                                                    const KB_Color& selection)
{
    m_RailColor = rail;
    m_MarkerColor = marker;
    m_SelectionColor = selection;
    m_pTravellingMarker->SetColor(selection.GetRGBA());
}

void KR_VertexInterpolationVisualisation::Rebuild()
{
    m_gLinePoints.RemoveAll();
    m_gBoxVertices.RemoveAll();
    m_gBoxIndices.RemoveAll();
    m_uiNumSegments = 0;
    m_uiNumBoxVertices = 0;
    m_uiNumBoxTriangles = 0;
    m_bDirty = false;
    // The box indices are 16-bit: keys past the first 8192 get no box (rather than wrapped
    // indices that would join other keys' corners).
    const std::uint32_t numKeys = std::min<std::uint32_t>(m_pCurve->GetNumVertices(), 65536 / 8);
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
        const float s = SCREEN_SIZE_FACTOR * Distance3(key, m_vCameraPosition);
        for (const float* corner : BOX_CORNERS)
        {
            XMFLOAT3 vertex;
            XMStoreFloat3(&vertex,
                          XMVectorAdd(key, XMVectorSet(corner[0] * s, corner[1] * s, corner[2] * s, 0.0f)));
            m_gBoxVertices.Add(vertex);
        }
        for (std::uint16_t index : BOX_INDICES)
            m_gBoxIndices.Add(static_cast<std::uint16_t>(8 * k + index));
    }
    m_uiNumBoxVertices = 8 * numKeys;
    m_uiNumBoxTriangles = 12 * numKeys;
}

void KR_VertexInterpolationVisualisation::ReleaseBuffers()
{
    KR_ReleaseAndNull(m_pLineVB);
    KR_ReleaseAndNull(m_pBoxVB);
    KR_ReleaseAndNull(m_pBoxIB);
}

void KR_VertexInterpolationVisualisation::RebuildBuffers()
{
    ReleaseBuffers();
    const UINT uiPointBytes = sizeof(XMFLOAT3);
    if (m_gLinePoints.GetNumMembers() > 1)
        m_pLineVB = KR_DebugDrawing::CreateStaticBuffer(D3D11_BIND_VERTEX_BUFFER, &m_gLinePoints[0],
                                                        m_gLinePoints.GetNumMembers() * uiPointBytes);
    if (m_gBoxVertices.GetNumMembers() > 0 && m_gBoxIndices.GetNumMembers() > 0)
    {
        m_pBoxVB = KR_DebugDrawing::CreateStaticBuffer(D3D11_BIND_VERTEX_BUFFER, &m_gBoxVertices[0],
                                                       m_gBoxVertices.GetNumMembers() * uiPointBytes);
        m_pBoxIB = KR_DebugDrawing::CreateStaticBuffer(D3D11_BIND_INDEX_BUFFER, &m_gBoxIndices[0],
                                                       m_gBoxIndices.GetNumMembers() * sizeof(std::uint16_t));
    }
}

void KR_VertexInterpolationVisualisation::Render(double time, const XMMATRIX* pViewProjection,
                                                 const XMVECTOR& cameraPosition)
{
    if (m_pCurve == nullptr || m_bHidden)
        return;
    const bool bCameraMoved = !m_bHasCameraPosition ||
                              XMVectorGetX(cameraPosition) != XMVectorGetX(m_vCameraPosition) ||
                              XMVectorGetY(cameraPosition) != XMVectorGetY(m_vCameraPosition) ||
                              XMVectorGetZ(cameraPosition) != XMVectorGetZ(m_vCameraPosition);
    const bool bChanged = m_pCurve->HasChanged(true);
    m_vCameraPosition = cameraPosition;
    m_bHasCameraPosition = true;
    if (bChanged || bCameraMoved || m_bDirty)
    {
        Rebuild();
        RebuildBuffers();
    }

    // The geometry is in world space already.
    const XMMATRIX identity = XMMatrixIdentity();
    KR_ShaderProgram* pProgram = KR_DebugDrawing::GetFixedColorProgram();
    ID3D11InputLayout* pLayout = KR_DebugDrawing::GetInputLayout();
    KR_DebugDrawing::DrawRange line;
    line.topology = D3D11_PRIMITIVE_TOPOLOGY_LINESTRIP;
    line.uiCount = m_uiNumSegments + 1;
    if (m_uiNumSegments > 0)
        KR_DebugDrawing::Draw(m_pLineVB, nullptr, line, pProgram, pLayout, pViewProjection, &identity,
                              m_RailColor.GetRGBA());
    KR_DebugDrawing::DrawRange boxes;
    boxes.uiCount = 3 * m_uiNumBoxTriangles;
    // A box without its index buffer is not drawn as a vertex list.
    if (m_pBoxIB != nullptr)
        KR_DebugDrawing::Draw(m_pBoxVB, m_pBoxIB, boxes, pProgram, pLayout, pViewProjection, &identity,
                              m_MarkerColor.GetRGBA());
    if (m_uiSelectedIndex != NO_SELECTION && m_uiSelectedIndex < m_pCurve->GetNumVertices())
    {
        const XMVECTOR key = m_pCurve->GetVertex(m_uiSelectedIndex);
        const float s = SCREEN_SIZE_FACTOR * Distance3(key, cameraPosition);
        m_pGizmo->SetWorldMatrix(
            XMMatrixMultiply(XMMatrixScaling(s, s, s), XMMatrixTranslationFromVector(key)));
        m_pGizmo->Render(pViewProjection);
    }
    if (m_pCurve->IsActive(time))
    {
        XMVECTOR value;
        m_pCurve->GetValueAt(&value, time - m_pCurve->GetStartTime());
        const float s = TRAVELLING_MARKER_FACTOR * Distance3(value, cameraPosition);
        m_pTravellingMarker->SetWorldMatrix(
            XMMatrixMultiply(XMMatrixScaling(s, s, s), XMMatrixTranslationFromVector(value)));
        m_pTravellingMarker->Render(pViewProjection);
    }
}

float KR_VertexInterpolationVisualisation::GetPickDistance(const KR_Ray& ray) const
{
    float best = FLT_MAX;
    if (m_bHidden)
        return best;
    for (std::uint32_t i = 0; i + 2 < m_gBoxIndices.GetNumMembers(); i += 3)
    {
        float t = FLT_MAX;
        if (IntersectRayTriangle(ray, m_gBoxVertices[m_gBoxIndices[i]], m_gBoxVertices[m_gBoxIndices[i + 1]],
                                 m_gBoxVertices[m_gBoxIndices[i + 2]], &t) &&
            t < best)
        {
            best = t;
        }
    }
    return best;
}

bool KR_VertexInterpolationVisualisation::PickControlPoint(const KR_Ray& ray)
{
    std::uint32_t hitTriangle = NO_SELECTION;
    if (!m_bHidden)
    {
        float best = FLT_MAX;
        for (std::uint32_t i = 0; i + 2 < m_gBoxIndices.GetNumMembers(); i += 3)
        {
            float t = FLT_MAX;
            if (IntersectRayTriangle(ray, m_gBoxVertices[m_gBoxIndices[i]],
                                     m_gBoxVertices[m_gBoxIndices[i + 1]],
                                     m_gBoxVertices[m_gBoxIndices[i + 2]], &t) &&
                t < best)
            {
                best = t;
                hitTriangle = i / 3;
            }
        }
    }
    if (hitTriangle == NO_SELECTION)
    {
        DeselectOthers();
        return false;
    }
    const std::uint32_t key = hitTriangle / 12;
    if (key != m_uiSelectedIndex)
        SelectControlPoint(key);
    else
        DeselectOthers();
    return true;
}

void KR_VertexInterpolationVisualisation::SelectControlPoint(std::uint32_t uiIndex)
{
    m_bDirty = true;
    const std::uint32_t numKeys = m_pCurve != nullptr ? m_pCurve->GetNumVertices() : 0;
    DeselectOthers();
    if (uiIndex >= numKeys)
        return;
    m_uiSelectedIndex = uiIndex;
    if (m_bExtendRail && uiIndex + 1 == numKeys)
    {
        if (KE_Dispatcher* pDispatcher = GetDispatcher())
            pDispatcher->Dispatch(KE_MT_EditorCommand, KE_MST_ExtendRail, m_pCurve);
    }
}

void KR_VertexInterpolationVisualisation::DeselectOthers()
{
    if (KE_Dispatcher* pDispatcher = GetDispatcher())
        pDispatcher->Dispatch(KE_MT_EditorCommand, KE_MST_DeselectControlPoints, this);
    else
        Receive(KE_MT_EditorCommand, KE_MST_DeselectControlPoints, this);
}

void KR_VertexInterpolationVisualisation::MoveSelectedControlPoint(const KR_Ray& ray, bool bDragging)
{
    if (m_pCurve == nullptr || m_uiSelectedIndex >= m_pCurve->GetNumVertices() || m_pGizmo == nullptr)
        return;
    if (!bDragging)
    {
        m_pGizmo->EndDrag();
        return;
    }
    XMVECTOR value = m_pCurve->GetVertex(m_uiSelectedIndex);
    if (m_pGizmo->Drag(ray, &value))
        m_pCurve->SetVertex(m_uiSelectedIndex, value); // marks the curve changed
}

void KR_VertexInterpolationVisualisation::SetSelectedVertex(const XMVECTOR& vPosition)
{
    if (m_pCurve == nullptr || m_uiSelectedIndex >= m_pCurve->GetNumVertices())
        return;
    m_pCurve->SetVertex(m_uiSelectedIndex, vPosition); // marks the curve changed
    m_bDirty = true;
}

bool KR_VertexInterpolationVisualisation::Receive(KE_MessageType type, KE_MessageSubType subType,
                                                  void* /*pPayload*/)
{
    if (type != KE_MT_EditorCommand)
        return false;
    const std::uint32_t numKeys = m_pCurve != nullptr ? m_pCurve->GetNumVertices() : 0;
    const bool bSelected = m_uiSelectedIndex != NO_SELECTION;
    switch (subType)
    {
    case KE_MST_DeselectControlPoints:
        m_uiSelectedIndex = NO_SELECTION;
        m_bDirty = true;
        return true;
    case KE_MST_NextControlPoint:
        if (!bSelected || m_uiSelectedIndex + 1 >= numKeys)
            return false;
        ++m_uiSelectedIndex;
        m_bDirty = true;
        return true;
    case KE_MST_PreviousControlPoint:
        if (!bSelected || m_uiSelectedIndex == 0)
            return false;
        --m_uiSelectedIndex;
        m_bDirty = true;
        return true;
    case KE_MST_HideSelected:
        if (!bSelected)
            return false;
        m_bHidden = true;
        m_uiSelectedIndex = NO_SELECTION;
        return true;
    case KE_MST_HideUnselected:
        if (bSelected)
            return false;
        m_bHidden = true;
        return true;
    case KE_MST_UnhideAll:
        m_bHidden = false;
        return true;
    default:
        return false;
    }
}
