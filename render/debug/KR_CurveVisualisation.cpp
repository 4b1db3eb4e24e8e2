#include "render/debug/KR_CurveVisualisation.h"

#include "framework/app/KE_Dispatcher.h"
#include "framework/app/KE_EngineMembers.h"
#include "render/debug/KR_DebugDrawing.h"
#include "render/debug/KR_Ray.h"
#include "render/device/KR_ReleaseAndNull.h"

#include <cfloat>

using namespace DirectX;

KR_CurveVisualisation::~KR_CurveVisualisation()
{
    ReleaseBuffers();
}

void KR_CurveVisualisation::RegisterAtDispatcher()
{
    if (KE_Dispatcher* pDispatcher = KE_GetDispatcher())
        pDispatcher->RegisterReceiver(KE_MT_EditorCommand, this);
}

void KR_CurveVisualisation::UnRegisterFromDispatcher()
{
    if (KE_Dispatcher* pDispatcher = KE_GetDispatcher())
        pDispatcher->UnRegisterReceiver(KE_MT_EditorCommand, this);
}

void KR_CurveVisualisation::UpdateGeometry(const XMVECTOR& viewerPosition, bool bCurveChanged)
{
    const bool bViewerMoved = !m_bHasViewerPosition ||
                              XMVectorGetX(viewerPosition) != XMVectorGetX(m_vViewerPosition) ||
                              XMVectorGetY(viewerPosition) != XMVectorGetY(m_vViewerPosition) ||
                              XMVectorGetZ(viewerPosition) != XMVectorGetZ(m_vViewerPosition);
    m_vViewerPosition = viewerPosition;
    m_bHasViewerPosition = true;
    if (!bCurveChanged && !bViewerMoved && !m_bDirty)
        return;
    m_bDirty = false;
    m_gLinePoints.RemoveAll();
    m_gMarkerVertices.RemoveAll();
    m_gMarkerIndices.RemoveAll();
    BuildGeometry();
    RebuildBuffers();
}

void KR_CurveVisualisation::AddMarker(const XMFLOAT3* pVertices, std::uint32_t uiNumVertices,
                                      const std::uint16_t* pIndices, std::uint32_t uiNumIndices)
{
    const std::uint32_t uiFirst = m_gMarkerVertices.GetNumMembers();
    for (std::uint32_t i = 0; i < uiNumVertices; ++i)
        m_gMarkerVertices.Add(pVertices[i]);
    for (std::uint32_t i = 0; i < uiNumIndices; ++i)
        m_gMarkerIndices.Add(static_cast<std::uint16_t>(uiFirst + pIndices[i]));
}

void KR_CurveVisualisation::ReleaseBuffers()
{
    KR_ReleaseAndNull(m_pLineVB);
    KR_ReleaseAndNull(m_pMarkerVB);
    KR_ReleaseAndNull(m_pMarkerIB);
}

void KR_CurveVisualisation::RebuildBuffers()
{
    ReleaseBuffers();
    const UINT uiPointBytes = sizeof(XMFLOAT3);
    // A strip needs two points.
    if (m_gLinePoints.GetNumMembers() > 1)
        m_pLineVB = KR_DebugDrawing::CreateStaticBuffer(D3D11_BIND_VERTEX_BUFFER, &m_gLinePoints[0],
                                                        m_gLinePoints.GetNumMembers() * uiPointBytes);
    if (m_gMarkerVertices.GetNumMembers() > 0 && m_gMarkerIndices.GetNumMembers() > 0)
    {
        m_pMarkerVB = KR_DebugDrawing::CreateStaticBuffer(D3D11_BIND_VERTEX_BUFFER, &m_gMarkerVertices[0],
                                                          m_gMarkerVertices.GetNumMembers() * uiPointBytes);
        m_pMarkerIB =
            KR_DebugDrawing::CreateStaticBuffer(D3D11_BIND_INDEX_BUFFER, &m_gMarkerIndices[0],
                                                m_gMarkerIndices.GetNumMembers() * sizeof(std::uint16_t));
    }
}

void KR_CurveVisualisation::DrawGeometry(const XMMATRIX* pViewProjection,
                                         const KB_Color* const* ppStripColors, std::uint32_t uiNumStrips,
                                         const KB_Color& markerColor) const
{
    // The geometry is in world space already.
    const XMMATRIX identity = XMMatrixIdentity();
    KR_ShaderProgram* pProgram = KR_DebugDrawing::GetFixedColorProgram();
    ID3D11InputLayout* pLayout = KR_DebugDrawing::GetInputLayout();
    const UINT uiPoints = uiNumStrips > 0 ? m_gLinePoints.GetNumMembers() / uiNumStrips : 0;
    KR_DebugDrawing::DrawRange line;
    line.topology = D3D11_PRIMITIVE_TOPOLOGY_LINESTRIP;
    line.uiCount = uiPoints;
    for (std::uint32_t i = 0; uiPoints > 1 && i < uiNumStrips; ++i)
    {
        line.uiStart = i * uiPoints;
        KR_DebugDrawing::Draw(m_pLineVB, nullptr, line, pProgram, pLayout, pViewProjection, &identity,
                              ppStripColors[i]->GetRGBA());
    }
    // Without their index buffer the markers are not drawn (not as a vertex list).
    if (m_pMarkerIB == nullptr)
        return;
    KR_DebugDrawing::DrawRange markers;
    markers.uiCount = m_gMarkerIndices.GetNumMembers();
    KR_DebugDrawing::Draw(m_pMarkerVB, m_pMarkerIB, markers, pProgram, pLayout, pViewProjection, &identity,
                          markerColor.GetRGBA());
}

float KR_CurveVisualisation::PickMarkers(const KR_Ray& ray, std::uint32_t uiFirst, std::uint32_t uiEnd,
                                         std::uint32_t* pTriangle) const
{
    float best = FLT_MAX;
    for (std::uint32_t k = uiFirst; k < uiEnd && 3 * k + 2 < m_gMarkerIndices.GetNumMembers(); ++k)
    {
        float t = FLT_MAX;
        if (IntersectRayTriangle(ray, m_gMarkerVertices[m_gMarkerIndices[3 * k]],
                                 m_gMarkerVertices[m_gMarkerIndices[3 * k + 1]],
                                 m_gMarkerVertices[m_gMarkerIndices[3 * k + 2]], &t) &&
            t < best)
        {
            best = t;
            *pTriangle = k;
        }
    }
    return best;
}

float KR_CurveVisualisation::GetPickDistance(const KR_Ray& ray) const
{
    if (m_bHidden)
        return FLT_MAX;
    std::uint32_t uiTriangle = 0;
    return PickMarkers(ray, 0, GetNumMarkerTriangles(), &uiTriangle);
}

bool KR_CurveVisualisation::PickMarkedKey(const KR_Ray& ray, std::uint32_t uiTrianglesPerKey)
{
    std::uint32_t uiTriangle = 0;
    if (m_bHidden || PickMarkers(ray, 0, GetNumMarkerTriangles(), &uiTriangle) == FLT_MAX)
    {
        DeselectAll();
        return false;
    }
    const std::uint32_t uiKey = uiTriangle / uiTrianglesPerKey;
    if (uiKey == m_uiSelectedKey)
        DeselectAll(); // this one hears it too
    else
        SelectOnlyKey(uiKey);
    return true;
}

void KR_CurveVisualisation::SelectOnlyKey(std::uint32_t uiKey)
{
    m_bDirty = true;
    const std::uint32_t uiNumKeys = GetNumKeys();
    DeselectAll();
    if (uiKey >= uiNumKeys)
        return;
    m_uiSelectedKey = uiKey;
    KeySelected(uiKey, uiNumKeys);
}

void KR_CurveVisualisation::DeselectAll()
{
    if (KE_Dispatcher* pDispatcher = KE_GetDispatcher())
        pDispatcher->Dispatch(KE_MT_EditorCommand, KE_MST_DeselectControlPoints, this);
    else
        Receive(KE_MT_EditorCommand, KE_MST_DeselectControlPoints, this);
}

bool KR_CurveVisualisation::Receive(KE_MessageType type, KE_MessageSubType subType, void* /*pPayload*/)
{
    if (type != KE_MT_EditorCommand)
        return false;
    const bool bSelected = m_uiSelectedKey != NO_KEY;
    switch (subType)
    {
    case KE_MST_DeselectControlPoints:
        m_uiSelectedKey = NO_KEY;
        m_bDirty = true;
        return true;
    case KE_MST_NextControlPoint:
        if (!bSelected || m_uiSelectedKey + 1 >= GetNumKeys())
            return false;
        ++m_uiSelectedKey;
        m_bDirty = true;
        return true;
    case KE_MST_PreviousControlPoint:
        if (!bSelected || m_uiSelectedKey == 0)
            return false;
        --m_uiSelectedKey;
        m_bDirty = true;
        return true;
    case KE_MST_HideSelected:
        if (!bSelected)
            return false;
        m_bHidden = true;
        m_uiSelectedKey = NO_KEY;
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
