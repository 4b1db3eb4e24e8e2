#pragma once
// What the editor's solid marker shapes share (KR_DebugPolyhedron, KR_DebugCube): a shape spanning
// [-1, 1] on every axis, sized and placed by its world matrix and drawn in one colour. TShape gives
// the geometry (NUM_VERTICES, NUM_TRIANGLES, VERTICES, INDICES); each shape class has its own
// class-wide GPU buffers, made once by CreateStaticBuffers for every instance. An instance holds
// only its colour, its world matrix and the cached inverse used for picking.
//
// Main thread only (developer mode). Without the buffers Render and Draw draw nothing. Picking
// works on the CPU copy of the geometry.

#include "platform/d3d11/d3d11.h"
#include "platform/directxmath/DirectXMath.h"
#include "render/debug/KR_DebugDrawing.h"
#include "render/debug/KR_Ray.h"
#include "render/device/KR_ReleaseAndNull.h"

#include <cfloat>
#include <cstdint>

struct KR_ShaderProgram;

template <class TShape>
class KR_DebugShape
{
public:
    // The class-wide vertex and index buffers, the fixed-colour program and the input layout.
    // True when the buffers exist afterwards; a second call keeps what is there.
    static bool CreateStaticBuffers()
    {
        if (s_pVertexBuffer == nullptr)
        {
            s_pVertexBuffer = KR_DebugDrawing::CreateStaticBuffer(D3D11_BIND_VERTEX_BUFFER, TShape::VERTICES,
                                                                  sizeof(TShape::VERTICES));
        }
        if (s_pIndexBuffer == nullptr)
        {
            s_pIndexBuffer = KR_DebugDrawing::CreateStaticBuffer(D3D11_BIND_INDEX_BUFFER, TShape::INDICES,
                                                                 sizeof(TShape::INDICES));
        }
        if (s_pProgram == nullptr)
            s_pProgram = KR_DebugDrawing::GetFixedColorProgram();
        if (s_pInputLayout == nullptr)
            s_pInputLayout = KR_DebugDrawing::GetInputLayout();
        return s_pVertexBuffer != nullptr && s_pIndexBuffer != nullptr;
    }
    static void ReleaseStaticBuffers()
    {
        KR_ReleaseAndNull(s_pVertexBuffer);
        KR_ReleaseAndNull(s_pIndexBuffer);
        s_pProgram = nullptr;
        s_pInputLayout = nullptr;
    }
    static ID3D11Buffer* GetVertexBuffer() { return s_pVertexBuffer; }
    static ID3D11Buffer* GetIndexBuffer() { return s_pIndexBuffer; }

    KR_DebugShape() : m_mWorld(DirectX::XMMatrixIdentity()), m_mInverseWorld(DirectX::XMMatrixIdentity()) {}

    // Stores the matrix and marks the inverse stale.
    void SetWorldMatrix(const DirectX::XMMATRIX& world)
    {
        m_mWorld = world;
        m_bInverseValid = false;
    }
    void SetColor(const DirectX::XMFLOAT4& color) { m_vColor = color; }
    const DirectX::XMFLOAT4& GetColor() const { return m_vColor; }
    const DirectX::XMMATRIX& GetWorldMatrix() const { return m_mWorld; }
    bool IsInverseValid() const { return m_bInverseValid; }

    // Draw with this instance's world matrix and colour (false when nothing was drawn).
    bool Render(const DirectX::XMMATRIX* pViewProjection) const
    {
        return Draw(pViewProjection, &m_mWorld, m_vColor);
    }
    static bool Draw(const DirectX::XMMATRIX* pViewProjection, const DirectX::XMMATRIX* pWorld,
                     const DirectX::XMFLOAT4& color)
    {
        // Without its index buffer the shape is not drawn at all (not as a vertex list).
        if (s_pIndexBuffer == nullptr)
            return false;
        KR_DebugDrawing::DrawRange range;
        range.uiCount = TShape::NUM_TRIANGLES * 3;
        return KR_DebugDrawing::Draw(s_pVertexBuffer, s_pIndexBuffer, range, s_pProgram, s_pInputLayout,
                                     pViewProjection, pWorld, color);
    }

    // Distance along the ray to the nearest hit of the shape under the world matrix (in the
    // ray's units), FLT_MAX for a miss. Refreshes the cached inverse when it is stale.
    float GetPickDistance(const KR_Ray& ray)
    {
        using namespace DirectX;
        if (!m_bInverseValid)
        {
            m_mInverseWorld = XMMatrixInverse(nullptr, m_mWorld);
            m_bInverseValid = true;
        }
        // Not renormalised: the distance stays in the units of the world ray. The origin is a point
        // and the direction a vector whatever w the caller left in them.
        const KR_Ray local = {XMVector4Transform(XMVectorSetW(ray.origin, 1.0f), m_mInverseWorld),
                              XMVector4Transform(XMVectorSetW(ray.direction, 0.0f), m_mInverseWorld)};
        float best = FLT_MAX;
        for (std::uint32_t i = 0; i < TShape::NUM_TRIANGLES * 3; i += 3)
        {
            float t = FLT_MAX;
            if (IntersectRayTriangle(local, TShape::VERTICES[TShape::INDICES[i]],
                                     TShape::VERTICES[TShape::INDICES[i + 1]],
                                     TShape::VERTICES[TShape::INDICES[i + 2]], &t) &&
                t < best)
            {
                best = t;
            }
        }
        return best;
    }

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
