#pragma once
// Makes and drives the developer-mode objects of the audio entities: the marker shape, the
// translate gizmo and the rail of a position curve. Those classes belong to the renderer's debug
// folder, which is built on top of audio, so audio code knows them only by name and reaches
// every operation through this interface; the tools library supplies the implementation and the
// start-up hands it to the audio resource manager in developer mode.
//
// Rays are an origin (w = 1) and a normalised direction (w = 0) in world space. Distances are
// measured along the ray; FLT_MAX means no hit. Main thread only, except the Create and Delete
// calls, which also run where the audio entities are loaded.

#include "platform/directxmath/DirectXMath.h"

class KR_DebugPolyhedron;
class KR_TranslateGizmo;
class KR_VertexInterpolationVisualisation;
class KU_VertexInterpolation;

class KA_AudioEditorObjects
{
public:
    KA_AudioEditorObjects() = default;
    virtual ~KA_AudioEditorObjects() = default;

    KA_AudioEditorObjects(const KA_AudioEditorObjects&) = delete;
    KA_AudioEditorObjects& operator=(const KA_AudioEditorObjects&) = delete;

    // Marker shape. CreateMarker never answers null; the caller deletes it with DeleteMarker.
    virtual KR_DebugPolyhedron* CreateMarker(const DirectX::XMFLOAT4& color) = 0;
    virtual void DeleteMarker(KR_DebugPolyhedron* pMarker) = 0;
    virtual void SetMarkerColor(KR_DebugPolyhedron* pMarker, const DirectX::XMFLOAT4& color) = 0;
    // Replaces the world matrix and marks the cached inverse stale.
    virtual void SetMarkerWorldMatrix(KR_DebugPolyhedron* pMarker, const DirectX::XMMATRIX& world) = 0;
    // Draws the marker with its world matrix and colour.
    virtual void RenderMarker(KR_DebugPolyhedron* pMarker, const DirectX::XMMATRIX& viewProjection) = 0;
    virtual float GetMarkerPickDistance(KR_DebugPolyhedron* pMarker, const DirectX::XMVECTOR& origin,
                                        const DirectX::XMVECTOR& direction) = 0;

    // Translate gizmo. CreateGizmo never answers null; the caller deletes it with DeleteGizmo.
    virtual KR_TranslateGizmo* CreateGizmo() = 0;
    virtual void DeleteGizmo(KR_TranslateGizmo* pGizmo) = 0;
    // Replaces the world matrix and marks the cached inverse stale.
    virtual void SetGizmoWorldMatrix(KR_TranslateGizmo* pGizmo, const DirectX::XMMATRIX& world) = 0;
    virtual void RenderGizmo(KR_TranslateGizmo* pGizmo, const DirectX::XMMATRIX& viewProjection) = 0;
    // One step of a drag of *pPosition; true when it wrote a new position.
    virtual bool DragGizmo(KR_TranslateGizmo* pGizmo, const DirectX::XMVECTOR& origin,
                           const DirectX::XMVECTOR& direction, DirectX::XMVECTOR* pPosition) = 0;
    // Clears the drag state; called whenever the mouse button is up.
    virtual void EndGizmoDrag(KR_TranslateGizmo* pGizmo) = 0;

    // Rail of pCurve (not owned, must outlive the rail) in the three colours: rail lines, key
    // markers, selection. Registers for editor commands. Never null; delete with
    // DeletePathVisualisation.
    virtual KR_VertexInterpolationVisualisation*
    CreatePathVisualisation(KU_VertexInterpolation* pCurve, const DirectX::XMFLOAT4& railColor,
                            const DirectX::XMFLOAT4& markerColor,
                            const DirectX::XMFLOAT4& selectionColor) = 0;
    virtual void DeletePathVisualisation(KR_VertexInterpolationVisualisation* pRail) = 0;
    virtual void RenderPathVisualisation(KR_VertexInterpolationVisualisation* pRail, double time,
                                         const DirectX::XMMATRIX& viewProjection,
                                         const DirectX::XMVECTOR& cameraPosition) = 0;
    virtual float GetPathPickDistance(KR_VertexInterpolationVisualisation* pRail,
                                      const DirectX::XMVECTOR& origin,
                                      const DirectX::XMVECTOR& direction) = 0;
    // Selects the key hit by the ray (a second hit deselects it); true on a hit.
    virtual bool PickControlPoint(KR_VertexInterpolationVisualisation* pRail, const DirectX::XMVECTOR& origin,
                                  const DirectX::XMVECTOR& direction) = 0;
    virtual void MoveSelectedControlPoint(KR_VertexInterpolationVisualisation* pRail,
                                          const DirectX::XMVECTOR& origin, const DirectX::XMVECTOR& direction,
                                          bool bDragging) = 0;
    virtual bool HasSelectedControlPoint(const KR_VertexInterpolationVisualisation* pRail) const = 0;
    // The selected key's value becomes position; nothing without a selected key.
    virtual void SetSelectedVertex(KR_VertexInterpolationVisualisation* pRail,
                                   const DirectX::XMVECTOR& position) = 0;
};
