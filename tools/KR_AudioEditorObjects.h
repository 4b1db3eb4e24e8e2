#pragma once
// The editor tools' side of KA_AudioEditorObjects: makes the real marker, gizmo and rail objects
// for the audio entities and forwards every operation to them. Stateless; the start-up makes one
// in developer mode and hands it to the audio resource manager, which owns it.

#include "audio/KA_AudioEditorObjects.h"

class KR_AudioEditorObjects : public KA_AudioEditorObjects
{
public:
    KR_DebugPolyhedron* CreateMarker(const DirectX::XMFLOAT4& color) override;
    void DeleteMarker(KR_DebugPolyhedron* pMarker) override;
    void SetMarkerColor(KR_DebugPolyhedron* pMarker, const DirectX::XMFLOAT4& color) override;
    void SetMarkerWorldMatrix(KR_DebugPolyhedron* pMarker, const DirectX::XMMATRIX& world) override;
    void RenderMarker(KR_DebugPolyhedron* pMarker, const DirectX::XMMATRIX& viewProjection) override;
    float GetMarkerPickDistance(KR_DebugPolyhedron* pMarker, const DirectX::XMVECTOR& origin,
                                const DirectX::XMVECTOR& direction) override;

    KR_TranslateGizmo* CreateGizmo() override;
    void DeleteGizmo(KR_TranslateGizmo* pGizmo) override;
    void SetGizmoWorldMatrix(KR_TranslateGizmo* pGizmo, const DirectX::XMMATRIX& world) override;
    void RenderGizmo(KR_TranslateGizmo* pGizmo, const DirectX::XMMATRIX& viewProjection) override;
    bool DragGizmo(KR_TranslateGizmo* pGizmo, const DirectX::XMVECTOR& origin,
                   const DirectX::XMVECTOR& direction, DirectX::XMVECTOR* pPosition) override;
    void EndGizmoDrag(KR_TranslateGizmo* pGizmo) override;

    KR_VertexInterpolationVisualisation*
    CreatePathVisualisation(KU_VertexInterpolation* pCurve, const DirectX::XMFLOAT4& railColor,
                            const DirectX::XMFLOAT4& markerColor,
                            const DirectX::XMFLOAT4& selectionColor) override;
    void DeletePathVisualisation(KR_VertexInterpolationVisualisation* pRail) override;
    void RenderPathVisualisation(KR_VertexInterpolationVisualisation* pRail, double time,
                                 const DirectX::XMMATRIX& viewProjection,
                                 const DirectX::XMVECTOR& cameraPosition) override;
    float GetPathPickDistance(KR_VertexInterpolationVisualisation* pRail, const DirectX::XMVECTOR& origin,
                              const DirectX::XMVECTOR& direction) override;
    bool PickControlPoint(KR_VertexInterpolationVisualisation* pRail, const DirectX::XMVECTOR& origin,
                          const DirectX::XMVECTOR& direction) override;
    void MoveSelectedControlPoint(KR_VertexInterpolationVisualisation* pRail, const DirectX::XMVECTOR& origin,
                                  const DirectX::XMVECTOR& direction, bool bDragging) override;
    bool HasSelectedControlPoint(const KR_VertexInterpolationVisualisation* pRail) const override;
    void SetSelectedVertex(KR_VertexInterpolationVisualisation* pRail,
                           const DirectX::XMVECTOR& position) override;
};
