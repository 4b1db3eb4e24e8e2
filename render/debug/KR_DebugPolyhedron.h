#pragma once
// The editor's marker shape for things without geometry of their own (lights, cube-map placers,
// audio entities): a 24-corner polyhedron spanning [-1, 1] on every axis, sized and placed by its
// world matrix and drawn in one colour. The geometry is shared by every instance; an instance
// holds only its colour, its world matrix and the cached inverse used for picking.
//
// Main thread only (developer mode). Drawing needs the shared GPU buffers, which this class does
// not make yet: Render and Draw draw nothing. Picking works on the CPU copy of the geometry.

#include "platform/directxmath/DirectXMath.h"

#include <cstdint>

struct KR_Ray;

class KR_DebugPolyhedron
{
public:
    static constexpr std::uint32_t NUM_VERTICES = 24;
    static constexpr std::uint32_t NUM_TRIANGLES = 44;

    KR_DebugPolyhedron(); // white, identity matrices, inverse stale

    // Stores the matrix and marks the inverse stale.
    void SetWorldMatrix(const DirectX::XMMATRIX& world);
    void SetColor(const DirectX::XMFLOAT4& color) { m_vColor = color; }
    const DirectX::XMFLOAT4& GetColor() const { return m_vColor; }
    const DirectX::XMMATRIX& GetWorldMatrix() const { return m_mWorld; }
    bool IsInverseValid() const { return m_bInverseValid; }

    // Draw with this instance's world matrix and colour.
    void Render(const DirectX::XMMATRIX* pViewProjection) const;
    static void Draw(const DirectX::XMMATRIX* pViewProjection, const DirectX::XMMATRIX* pWorld,
                     const DirectX::XMFLOAT4& color);

    // Distance along the ray to the nearest hit of the shape under the world matrix (in the
    // ray's units), FLT_MAX for a miss. Refreshes the cached inverse when it is stale.
    float GetPickDistance(const KR_Ray& ray);

private:
    DirectX::XMFLOAT4 m_vColor = {1.0f, 1.0f, 1.0f, 1.0f};
    DirectX::XMMATRIX m_mWorld;
    DirectX::XMMATRIX m_mInverseWorld;
    bool m_bInverseValid = false;
};
