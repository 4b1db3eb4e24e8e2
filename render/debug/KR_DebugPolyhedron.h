#pragma once
// The editor's marker shape for things without geometry of their own (lights, cube-map placers,
// audio entities): a 24-corner polyhedron spanning [-1, 1] on every axis, sized and placed by its
// world matrix and drawn in one colour. The geometry is shared by every instance; an instance
// holds only its colour, its world matrix and the cached inverse used for picking.
//
// Main thread only (developer mode). Drawing uses the shared GPU buffers that CreateStaticBuffers
// makes once for every instance; without them Render and Draw draw nothing. Picking works on the
// CPU copy of the geometry.

#include "platform/d3d11/d3d11.h"
#include "platform/directxmath/DirectXMath.h"

#include <cstdint>

struct KR_Ray;
struct KR_ShaderProgram;

class KR_DebugPolyhedron
{
public:
    static constexpr std::uint32_t NUM_VERTICES = 24;
    static constexpr std::uint32_t NUM_TRIANGLES = 44;

    // The class-wide vertex and index buffers, the fixed-colour program and the input layout.
    // True when the buffers exist afterwards; a second call keeps what is there.
    static bool CreateStaticBuffers();
    static void ReleaseStaticBuffers();
    static ID3D11Buffer* GetVertexBuffer() { return s_pVertexBuffer; }
    static ID3D11Buffer* GetIndexBuffer() { return s_pIndexBuffer; }

    KR_DebugPolyhedron(); // white, identity matrices, inverse stale

    // Stores the matrix and marks the inverse stale.
    void SetWorldMatrix(const DirectX::XMMATRIX& world);
    void SetColor(const DirectX::XMFLOAT4& color) { m_vColor = color; }
    const DirectX::XMFLOAT4& GetColor() const { return m_vColor; }
    const DirectX::XMMATRIX& GetWorldMatrix() const { return m_mWorld; }
    bool IsInverseValid() const { return m_bInverseValid; }

    // Draw with this instance's world matrix and colour (false when nothing was drawn).
    bool Render(const DirectX::XMMATRIX* pViewProjection) const;
    static bool Draw(const DirectX::XMMATRIX* pViewProjection, const DirectX::XMMATRIX* pWorld,
                     const DirectX::XMFLOAT4& color);

    // Distance along the ray to the nearest hit of the shape under the world matrix (in the
    // ray's units), FLT_MAX for a miss. Refreshes the cached inverse when it is stale.
    float GetPickDistance(const KR_Ray& ray);

private:
    static inline ID3D11Buffer* s_pVertexBuffer = nullptr;
    static inline ID3D11Buffer* s_pIndexBuffer = nullptr;
    static inline KR_ShaderProgram* s_pProgram = nullptr;      // the resource manager's
    static inline ID3D11InputLayout* s_pInputLayout = nullptr; // the resource manager's

    DirectX::XMFLOAT4 m_vColor = {1.0f, 1.0f, 1.0f, 1.0f};
    DirectX::XMMATRIX m_mWorld;
    DirectX::XMMATRIX m_mInverseWorld;
    bool m_bInverseValid = false;
};
