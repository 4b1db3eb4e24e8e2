#pragma once
// The rail of one vertex curve in the developer view: the curve sampled as a line strip, one small
// box per key, and a translate gizmo at the selected key. It lets the editor pick a key with the
// mouse, drag it, and follow the editor's spline commands on message type 5 (next and previous
// key, hiding, deselection), which reach every rail at once.
//
// Main thread only (developer mode); constructed wherever its owner is loaded, which registers it
// with the dispatcher from that thread. The rail's CPU geometry and its GPU buffers are rebuilt by
// Render when the curve, the camera or the selection changed; Render then draws the line strip in
// the rail colour, the key boxes in the marker colour, the gizmo at the selected key and, while
// the curve is active, a travelling cube in the selection colour at the curve's current value.
// The selection, hiding, buffers and picking it shares with the orientation curve's view are
// KR_CurveVisualisation's.

#include "framework/core/KB_Color.h"
#include "platform/d3d11/d3d11.h"
#include "platform/directxmath/DirectXMath.h"
#include "render/debug/KR_CurveVisualisation.h"

#include <cstdint>

class KR_DebugCube;
class KR_TranslateGizmo;
class KU_VertexInterpolation;
struct KR_Ray;

class KR_VertexInterpolationVisualisation : public KR_CurveVisualisation
{
public:
    static constexpr std::uint32_t NO_SELECTION = NO_KEY;

    // pCurve not owned (may be null: nothing is drawn or picked). Registers for message type 5.
    explicit KR_VertexInterpolationVisualisation(KU_VertexInterpolation* pCurve);
    ~KR_VertexInterpolationVisualisation() override; // unregisters; the curve is left alone

    KR_VertexInterpolationVisualisation(const KR_VertexInterpolationVisualisation&) = delete;
    KR_VertexInterpolationVisualisation& operator=(const KR_VertexInterpolationVisualisation&) = delete;

    // Rail lines, key boxes and the travelling marker's (selection) colour.
    void SetColors(const KB_Color& rail, const KB_Color& marker, const KB_Color& selection);
    const KB_Color& GetRailColor() const { return m_oRailColor; }
    const KB_Color& GetMarkerColor() const { return m_oMarkerColor; }
    const KB_Color& GetSelectionColor() const { return m_oSelectionColor; }

    // Rebuilds the geometry when needed (curve changed, camera moved, flagged dirty) and places the
    // gizmo at the selected key; time is the production time in seconds.
    void Render(double time, const DirectX::XMMATRIX* pViewProjection,
                const DirectX::XMVECTOR& cameraPosition);
    // Selects the key whose box the ray hits (the same key again deselects it) and answers true;
    // on a miss deselects every rail's key and answers false.
    bool PickControlPoint(const KR_Ray& ray);
    // Deselects every rail and selects key uiIndex of this one (none when out of range).
    void SelectControlPoint(std::uint32_t uiIndex);
    // Sends (5, 11, this) to every type-5 receiver, this one included.
    void DeselectOthers();
    // While dragging, moves the selected key with the gizmo; otherwise ends the gizmo's drag.
    void MoveSelectedControlPoint(const KR_Ray& ray, bool bDragging);
    // The selected key's value becomes vPosition; nothing without a selected key.
    void SetSelectedVertex(const DirectX::XMVECTOR& vPosition);

    // When set, selecting the last key sends (5, 14) with the curve.
    void SetExtendRail(bool bExtend) { m_bExtendRail = bExtend; }
    KR_TranslateGizmo* GetGizmo() const { return m_pGizmo; }
    KR_DebugCube* GetTravellingMarker() const { return m_pTravellingMarker; }
    std::uint32_t GetNumSegments() const { return m_uiNumSegments; }
    ID3D11Buffer* GetBoxVB() const { return GetMarkerVB(); }

protected:
    std::uint32_t GetNumKeys() const override;
    void BuildGeometry() override;
    void KeySelected(std::uint32_t uiKey, std::uint32_t uiNumKeys) override;

private:
    KU_VertexInterpolation* m_pCurve = nullptr;  // not owned
    KR_TranslateGizmo* m_pGizmo = nullptr;       // owned
    KR_DebugCube* m_pTravellingMarker = nullptr; // owned
    bool m_bExtendRail = false;
    std::uint32_t m_uiNumSegments = 0;
    KB_Color m_oRailColor = KB_Color(1.0f, 0.0f, 0.0f, 1.0f);
    KB_Color m_oMarkerColor = KB_Color(0.0f, 0.0f, 1.0f, 1.0f);
    KB_Color m_oSelectionColor = KB_Color(0.0f, 1.0f, 0.0f, 1.0f);
};
