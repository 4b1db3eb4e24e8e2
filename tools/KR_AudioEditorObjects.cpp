#include "tools/KR_AudioEditorObjects.h"

#include "render/debug/KR_DebugPolyhedron.h"
#include "render/debug/KR_Ray.h"
#include "render/debug/KR_TranslateGizmo.h"
#include "render/debug/KR_VertexInterpolationVisualisation.h"

#include <cfloat>

using namespace DirectX;

KR_DebugPolyhedron* KR_AudioEditorObjects::CreateMarker(const XMFLOAT4& color)
{
    KR_DebugPolyhedron* pMarker = new KR_DebugPolyhedron();
    pMarker->SetColor(color);
    return pMarker;
}

void KR_AudioEditorObjects::DeleteMarker(KR_DebugPolyhedron* pMarker)
{
    delete pMarker;
}

void KR_AudioEditorObjects::SetMarkerColor(KR_DebugPolyhedron* pMarker, const XMFLOAT4& color)
{
    pMarker->SetColor(color);
}

void KR_AudioEditorObjects::SetMarkerWorldMatrix(KR_DebugPolyhedron* pMarker, const XMMATRIX& world)
{
    pMarker->SetWorldMatrix(world);
}

void KR_AudioEditorObjects::RenderMarker(KR_DebugPolyhedron* pMarker, const XMMATRIX& viewProjection)
{
    pMarker->Render(&viewProjection);
}

float KR_AudioEditorObjects::GetMarkerPickDistance(KR_DebugPolyhedron* pMarker, const XMVECTOR& origin,
                                                   const XMVECTOR& direction)
{
    return pMarker->GetPickDistance(KR_Ray{origin, direction});
}

KR_TranslateGizmo* KR_AudioEditorObjects::CreateGizmo()
{
    return new KR_TranslateGizmo();
}

void KR_AudioEditorObjects::DeleteGizmo(KR_TranslateGizmo* pGizmo)
{
    delete pGizmo;
}

void KR_AudioEditorObjects::SetGizmoWorldMatrix(KR_TranslateGizmo* pGizmo, const XMMATRIX& world)
{
    pGizmo->SetWorldMatrix(world);
}

void KR_AudioEditorObjects::RenderGizmo(KR_TranslateGizmo* pGizmo, const XMMATRIX& viewProjection)
{
    pGizmo->Render(&viewProjection);
}

bool KR_AudioEditorObjects::DragGizmo(KR_TranslateGizmo* pGizmo, const XMVECTOR& origin,
                                      const XMVECTOR& direction, XMVECTOR* pPosition)
{
    return pGizmo->Drag(KR_Ray{origin, direction}, pPosition);
}

void KR_AudioEditorObjects::EndGizmoDrag(KR_TranslateGizmo* pGizmo)
{
    pGizmo->EndDrag();
}

KR_VertexInterpolationVisualisation*
KR_AudioEditorObjects::CreatePathVisualisation(KU_VertexInterpolation* pCurve, const XMFLOAT4& railColor,
                                               const XMFLOAT4& markerColor, const XMFLOAT4& selectionColor)
{
    KR_VertexInterpolationVisualisation* pRail = new KR_VertexInterpolationVisualisation(pCurve);
    pRail->SetColors(KB_Color(railColor), KB_Color(markerColor), KB_Color(selectionColor));
    return pRail;
}

void KR_AudioEditorObjects::DeletePathVisualisation(KR_VertexInterpolationVisualisation* pRail)
{
    delete pRail;
}

void KR_AudioEditorObjects::RenderPathVisualisation(KR_VertexInterpolationVisualisation* pRail, double time,
                                                    const XMMATRIX& viewProjection,
                                                    const XMVECTOR& cameraPosition)
{
    pRail->Render(time, &viewProjection, cameraPosition);
}

float KR_AudioEditorObjects::GetPathPickDistance(KR_VertexInterpolationVisualisation* pRail,
                                                 const XMVECTOR& origin, const XMVECTOR& direction)
{
    return pRail->GetPickDistance(KR_Ray{origin, direction});
}

bool KR_AudioEditorObjects::PickControlPoint(KR_VertexInterpolationVisualisation* pRail,
                                             const XMVECTOR& origin, const XMVECTOR& direction)
{
    return pRail->PickControlPoint(KR_Ray{origin, direction});
}

void KR_AudioEditorObjects::MoveSelectedControlPoint(KR_VertexInterpolationVisualisation* pRail,
                                                     const XMVECTOR& origin, const XMVECTOR& direction,
                                                     bool bDragging)
{
    pRail->MoveSelectedControlPoint(KR_Ray{origin, direction}, bDragging);
}

bool KR_AudioEditorObjects::HasSelectedControlPoint(const KR_VertexInterpolationVisualisation* pRail) const
{
    return pRail->GetSelectedIndex() != KR_VertexInterpolationVisualisation::NO_SELECTION;
}

void KR_AudioEditorObjects::SetSelectedVertex(KR_VertexInterpolationVisualisation* pRail,
                                              const XMVECTOR& position)
{
    pRail->SetSelectedVertex(position);
}
