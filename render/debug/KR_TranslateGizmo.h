#pragma once
// The editor's move handle at a selected light, cube-map placer, audio entity or curve key: three
// arrows along the world axes and three triangles between them. Dragging an arrow moves a point
// along its axis, dragging a triangle moves it in that plane. The gizmo does not know what it
// moves: the owner passes the point's position, gets the new one back and stores it.
//
// Main thread only (developer mode). The geometry is shared by every instance: CreateStaticBuffers
// makes its GPU buffers once, and without them Render and Draw draw nothing. Picking and dragging
// work on the CPU copy of the geometry.

#include "platform/d3d11/d3d11.h"
#include "platform/directxmath/DirectXMath.h"

#include <cstdint>

struct KR_Ray;
struct KR_ShaderProgram;

class KR_TranslateGizmo
{
public:
    static constexpr std::uint32_t NUM_VERTICES = 36;
    static constexpr std::uint32_t NUM_INDICES = 126;
    static constexpr std::uint32_t NUM_HANDLES = 6;
    // The handle a drag has taken hold of is drawn in this colour instead of its own, so the user
    // sees which axis or plane follows the mouse.
    static constexpr DirectX::XMFLOAT4 HIGHLIGHT_COLOR = {1.0f, 1.0f, 1.0f, 1.0f};

    // The class-wide vertex and index buffers, the fixed-colour program and the input layout.
    // True when the buffers exist afterwards; a second call keeps what is there.
    static bool CreateStaticBuffers();
    static void ReleaseStaticBuffers();
    static ID3D11Buffer* GetVertexBuffer() { return s_pVertexBuffer; }
    static ID3D11Buffer* GetIndexBuffer() { return s_pIndexBuffer; }

    KR_TranslateGizmo(); // axis colours, identity matrices, idle

    // Stores the matrix and marks the inverse stale. Owners scale it with the distance to the
    // viewer so that the gizmo keeps its size on screen.
    void SetWorldMatrix(const DirectX::XMMATRIX& world);
    const DirectX::XMMATRIX& GetWorldMatrix() const { return m_mWorld; }
    bool IsInverseValid() const { return m_bInverseValid; }
    // x, y and z arrow, then the xy, yz and xz triangle.
    void SetColors(const DirectX::XMFLOAT4& x, const DirectX::XMFLOAT4& y, const DirectX::XMFLOAT4& z,
                   const DirectX::XMFLOAT4& xy, const DirectX::XMFLOAT4& yz, const DirectX::XMFLOAT4& xz);

    // One draw per handle in the order of SetColors, each in its colour (false when nothing was
    // drawn); while a drag holds a handle, that one in HIGHLIGHT_COLOR. The stored colours are not
    // changed. Draw takes pColors (NUM_HANDLES colours) as they are.
    bool Render(const DirectX::XMMATRIX* pViewProjection) const;
    static bool Draw(const DirectX::XMMATRIX* pViewProjection, const DirectX::XMMATRIX* pWorld,
                     const DirectX::XMFLOAT4* pColors);

    // One step of a drag. The first call of a drag picks a handle in gizmo space and never moves
    // the point; later calls (when the first hit) move *pPosition along the handle's world axis
    // or plane and answer true. After a first call that missed, every call answers false until
    // EndDrag.
    bool Drag(const KR_Ray& ray, DirectX::XMVECTOR* pPosition);
    void EndDrag();
    bool IsDragStarted() const { return m_bDragStarted; }
    bool IsDragging() const { return m_bDragging; }
    // The handle the current drag holds (0-2 the x, y, z arrow, 3 xy, 4 yz, 5 xz), NUM_HANDLES
    // when none: idle, or the first call missed.
    std::uint32_t GetDraggedHandle() const { return m_bDragging ? m_uiDraggedHandle : NUM_HANDLES; }

    // Writes one arrow's 36 or one triangle handle's 6 indices into the shared index data.
    static void BuildArrowIndices(std::uint16_t uiFirstVertex, std::uint32_t uiFirstIndex);
    static void BuildPlaneIndices(std::uint16_t uiFirstVertex, std::uint32_t uiFirstIndex);

private:
    static inline ID3D11Buffer* s_pVertexBuffer = nullptr;
    static inline ID3D11Buffer* s_pIndexBuffer = nullptr;
    static inline KR_ShaderProgram* s_pProgram = nullptr;      // the resource manager's
    static inline ID3D11InputLayout* s_pInputLayout = nullptr; // the resource manager's

    // Handle of triangle k: 0-2 the arrows, 3 xy, 4 yz, 5 xz.
    static std::uint32_t GetHandle(std::uint32_t uiTriangle);

    DirectX::XMFLOAT4 m_vColors[6];
    DirectX::XMMATRIX m_mWorld;
    DirectX::XMMATRIX m_mInverseWorld;
    bool m_bInverseValid = false;
    bool m_bDragStarted = false;                   // the first call of the current drag has been made
    bool m_bDragging = false;                      // that call hit a handle; later calls move
    bool m_bAxisConstrained = true;                // the motion is masked to one axis
    std::uint32_t m_uiDraggedHandle = NUM_HANDLES; // meaningful while dragging
    DirectX::XMVECTOR m_vStartPosition = {};
    DirectX::XMVECTOR m_vGrabPoint = {}; // world point where the ray first hit the handle
    DirectX::XMVECTOR m_vAxisMask = {};
    DirectX::XMVECTOR m_vDragPlane = {}; // plane through the grab point
};
