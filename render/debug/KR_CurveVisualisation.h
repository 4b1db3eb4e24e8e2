#pragma once
// What the developer view's curve visualisations share (the vertex curve rail and the camera
// orientation): the selection of one key and the hiding that the editor commands on message type 5
// drive, the CPU geometry of their line strips and key markers (16-bit indexed triangles in world
// space) with the GPU buffers made from it, and picking over the markers. A subclass says how many
// keys it has, fills the geometry in BuildGeometry and draws it with DrawGeometry.
//
// Main thread only (developer mode). A subclass registers for message type 5 last in its
// constructor and unregisters first in its destructor; the buffers belong to this object.

#include "framework/app/KE_MessageReceiver.h"
#include "framework/core/KB_Color.h"
#include "framework/core/KB_GrowingArray.h"
#include "platform/d3d11/d3d11.h"
#include "platform/directxmath/DirectXMath.h"

#include <cstdint>

struct KR_Ray;

class KR_CurveVisualisation : public KE_MessageReceiver
{
public:
    static constexpr std::uint32_t NO_KEY = 0xFFFFFFFFu;

    ~KR_CurveVisualisation() override; // releases the buffers

    KR_CurveVisualisation(const KR_CurveVisualisation&) = delete;
    KR_CurveVisualisation& operator=(const KR_CurveVisualisation&) = delete;

    // Nearest hit over the key markers of the last rebuild; FLT_MAX when hidden, empty or missed.
    float GetPickDistance(const KR_Ray& ray) const;

    // Message type 5: deselection (always true), next and previous key, hiding the selected or
    // the unselected visualisations, showing all; false when the command does not apply here.
    bool Receive(KE_MessageType type, KE_MessageSubType subType, void* pPayload) override;

    std::uint32_t GetSelectedIndex() const { return m_uiSelectedKey; } // NO_KEY when none
    bool IsHidden() const { return m_bHidden; }
    bool IsDirty() const { return m_bDirty; }
    std::uint32_t GetNumMarkerTriangles() const { return m_gMarkerIndices.GetNumMembers() / 3; }
    const KB_GrowingArray<DirectX::XMFLOAT3>& GetMarkerVertices() const { return m_gMarkerVertices; }
    ID3D11Buffer* GetLineVB() const { return m_pLineVB; }
    ID3D11Buffer* GetMarkerVB() const { return m_pMarkerVB; }
    ID3D11Buffer* GetMarkerIB() const { return m_pMarkerIB; }

protected:
    KR_CurveVisualisation() = default;

    virtual std::uint32_t GetNumKeys() const = 0;
    // Fills the line points and the markers, which are empty when it is called; the viewer
    // position is already that of this rebuild.
    virtual void BuildGeometry() = 0;
    // Called when SelectOnlyKey has selected uiKey of uiNumKeys; nothing here.
    virtual void KeySelected(std::uint32_t /*uiKey*/, std::uint32_t /*uiNumKeys*/) {}

    void RegisterAtDispatcher();
    void UnRegisterFromDispatcher();

    // Stores the viewer position; rebuilds the geometry and its buffers the first time, when the
    // viewer moved, when bCurveChanged or while flagged dirty.
    void UpdateGeometry(const DirectX::XMVECTOR& viewerPosition, bool bCurveChanged);
    const DirectX::XMVECTOR& GetViewerPosition() const { return m_vViewerPosition; }
    void MarkDirty() { m_bDirty = true; }
    // Appends one key's marker; its indices count from the marker's first vertex.
    void AddMarker(const DirectX::XMFLOAT3* pVertices, std::uint32_t uiNumVertices,
                   const std::uint16_t* pIndices, std::uint32_t uiNumIndices);
    // The line points split into uiNumStrips equal line strips, each drawn in its colour when it
    // has two points or more, then the markers in markerColor when their index buffer exists; all
    // with the fixed-colour program and an identity world matrix.
    void DrawGeometry(const DirectX::XMMATRIX* pViewProjection, const KB_Color* const* ppStripColors,
                      std::uint32_t uiNumStrips, const KB_Color& markerColor) const;
    // Nearest hit over marker triangles [uiFirst, uiEnd); FLT_MAX and *pTriangle unchanged on a miss.
    float PickMarkers(const KR_Ray& ray, std::uint32_t uiFirst, std::uint32_t uiEnd,
                      std::uint32_t* pTriangle) const;
    // Selects the key whose marker (uiTrianglesPerKey triangles) the ray hits, the selected key
    // again deselects it, and answers true; when hidden or on a miss deselects every key, false.
    bool PickMarkedKey(const KR_Ray& ray, std::uint32_t uiTrianglesPerKey);
    // Flags a rebuild, deselects every visualisation's key, then selects uiKey when it is below
    // GetNumKeys (and calls KeySelected).
    void SelectOnlyKey(std::uint32_t uiKey);
    // Sends (5, 11, this) to every type-5 receiver, this one included; to this one alone without a
    // dispatcher.
    void DeselectAll();

    KB_GrowingArray<DirectX::XMFLOAT3> m_gLinePoints;
    KB_GrowingArray<DirectX::XMFLOAT3> m_gMarkerVertices;
    KB_GrowingArray<std::uint16_t> m_gMarkerIndices;

private:
    void RebuildBuffers();
    void ReleaseBuffers();

    ID3D11Buffer* m_pLineVB = nullptr;   // every line point; null without a line
    ID3D11Buffer* m_pMarkerVB = nullptr; // the key markers; null without a key
    ID3D11Buffer* m_pMarkerIB = nullptr;
    DirectX::XMVECTOR m_vViewerPosition = {}; // of the last rebuild
    bool m_bHasViewerPosition = false;        // the first update always rebuilds
    std::uint32_t m_uiSelectedKey = NO_KEY;
    bool m_bHidden = false;
    bool m_bDirty = false;
};
