#pragma once
// The orientation curve of an animated camera in the developer view: the camera rail, a line that
// traces the tip of the camera's up vector along the rail, the target rail, one arrow per
// orientation key pointing along the camera's up direction at that key's time, and an arrow at
// the current orientation. Keys are picked with the mouse, stepped and hidden by the editor
// commands on message type 5 (like the vertex curve rails), and rolled about the look direction
// by dragging their arrow.
//
// Main thread only (developer mode); registers with the dispatcher from the thread that makes it.
// Render rebuilds the CPU geometry and its GPU buffers when a curve, the viewer or the selection
// changed, then draws the three lines as line strips and the key arrows with the fixed-colour
// program, and while the camera rail is active an arrow at the current orientation.

#include "framework/core/KB_Color.h"
#include "platform/d3d11/d3d11.h"
#include "platform/directxmath/DirectXMath.h"
#include "render/debug/KR_CurveVisualisation.h"

#include <cstdint>

class KU_QuaternionInterpolation;
class KU_VertexInterpolation;
struct KR_Ray;

class KR_QuaternionInterpolationVisualisation : public KR_CurveVisualisation
{
public:
    static constexpr std::int32_t NO_SELECTION = -1;
    static constexpr std::uint32_t MARKER_VERTICES = 6;
    static constexpr std::uint32_t MARKER_TRIANGLES = 8;

    // The three curves are not owned (any may be null: nothing is drawn or picked without the
    // camera rail and the orientation). Registers for message type 5.
    KR_QuaternionInterpolationVisualisation(KU_VertexInterpolation* pCameraRail,
                                            KU_VertexInterpolation* pTargetRail,
                                            KU_QuaternionInterpolation* pOrientation);
    ~KR_QuaternionInterpolationVisualisation() override; // unregisters; the curves are left alone

    KR_QuaternionInterpolationVisualisation(const KR_QuaternionInterpolationVisualisation&) = delete;
    KR_QuaternionInterpolationVisualisation&
    operator=(const KR_QuaternionInterpolationVisualisation&) = delete;

    // False without camera rail or orientation, or when hidden; otherwise rebuilds the geometry
    // when needed and answers true.
    bool Render(double time, const DirectX::XMMATRIX* pViewProjection,
                const DirectX::XMVECTOR& viewerPosition);
    // Selects the key whose arrow the ray hits (the selected key again deselects it) and answers
    // true; on a miss deselects every rail's key and answers false.
    bool PickKey(const KR_Ray& ray);
    // Deselects every rail, then selects key iIndex of this one (none when out of range).
    void SelectKey(std::int32_t iIndex);
    // While the button is down, rolls the selected key about the camera's look direction by the
    // angle the ray has turned around the rail point since it grabbed the key's arrow.
    void RotateSelectedKey(const KR_Ray& ray, bool bButtonDown);

    // The selected key as a signed index; NO_SELECTION when none.
    std::int32_t GetSelectedKey() const;
    bool IsGrabbed() const { return m_bGrabbed; }
    std::uint32_t GetNumLineVertices() const { return m_uiNumLineVertices; }

    // Arrow of the markers: origin p, unit direction d, unit fin s, length L.
    static void BuildArrow(const DirectX::XMVECTOR& p, const DirectX::XMVECTOR& d, const DirectX::XMVECTOR& s,
                           float fLength, DirectX::XMFLOAT3* pVertices);
    // Marker size at p: 16 + distance to the viewer / 30.
    float GetMarkerSize(const DirectX::XMVECTOR& p) const;

    // The owner may overwrite these at once (the animated camera does).
    KB_Color m_oRailColor = KB_Color(1.0f, 0.0f, 0.0f, 1.0f);
    KB_Color m_oUpLineColor = KB_Color(0.7f, 0.0f, 0.0f, 1.0f);
    KB_Color m_oTargetRailColor = KB_Color(0.4f, 0.0f, 0.0f, 1.0f);
    KB_Color m_oKeyMarkerColor = KB_Color(0.0f, 0.0f, 1.0f, 1.0f);
    KB_Color m_oCurrentOrientationColor = KB_Color(0.0f, 1.0f, 0.0f, 1.0f);

protected:
    std::uint32_t GetNumKeys() const override;
    void BuildGeometry() override;

private:
    void DrawCurrentOrientation(double time, const DirectX::XMMATRIX* pViewProjection);
    // Camera position, look and up directions at absolute time t (rails and orientation present).
    void GetFrame(double t, DirectX::XMVECTOR* pPosition, DirectX::XMVECTOR* pLook,
                  DirectX::XMVECTOR* pUp) const;

    KU_VertexInterpolation* m_pCameraRail = nullptr;      // not owned
    KU_VertexInterpolation* m_pTargetRail = nullptr;      // not owned
    KU_QuaternionInterpolation* m_pOrientation = nullptr; // not owned
    std::uint32_t m_uiNumLineVertices = 0;                // 3 x N; the line points are 3 x (N + 1)
    ID3D11Buffer* m_pUpVectorVB = nullptr;                // the unit arrow of the current orientation
    ID3D11Buffer* m_pUpVectorIB = nullptr;
    bool m_bButtonHeld = false;
    bool m_bGrabbed = false;
    DirectX::XMVECTOR m_qBaseOrientation = {};
    DirectX::XMVECTOR m_vRotationCentre = {};
    DirectX::XMVECTOR m_vGrabPoint = {};
    DirectX::XMVECTOR m_vAxis = {};
    DirectX::XMVECTOR m_vDragPlane = {};
};
