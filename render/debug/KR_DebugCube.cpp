#include "render/debug/KR_DebugCube.h"

#include "render/debug/KR_DebugDrawing.h"
#include "render/debug/KR_Ray.h"
#include "render/device/KR_ReleaseAndNull.h"

#include <cfloat>

using namespace DirectX;

namespace
{

constexpr XMFLOAT3 VERTICES[KR_DebugCube::NUM_VERTICES] = {
    {1, 1, -1}, {-1, 1, -1}, {-1, 1, 1}, {1, 1, 1}, {1, -1, -1}, {-1, -1, -1}, {-1, -1, 1}, {1, -1, 1},
};

// Counter-clockwise seen from outside (left-handed), as the standard front-face state expects.
constexpr std::uint16_t INDICES[KR_DebugCube::NUM_TRIANGLES * 3] = {
    0, 2, 1, 2, 0, 3, 1, 4, 0, 1, 5, 4, 2, 5, 1, 2, 6, 5,
    3, 6, 2, 3, 7, 6, 0, 7, 3, 0, 4, 7, 4, 6, 7, 4, 5, 6,
};

} // namespace

KR_DebugCube::KR_DebugCube() : m_mWorld(XMMatrixIdentity()), m_mInverseWorld(XMMatrixIdentity())
{
}

void KR_DebugCube::SetWorldMatrix(const XMMATRIX& world)
{
    m_mWorld = world;
    m_bInverseValid = false;
}

bool KR_DebugCube::CreateStaticBuffers()
{
    if (s_pVertexBuffer == nullptr)
        s_pVertexBuffer =
            KR_DebugDrawing::CreateStaticBuffer(D3D11_BIND_VERTEX_BUFFER, VERTICES, sizeof(VERTICES));
    if (s_pIndexBuffer == nullptr)
        s_pIndexBuffer =
            KR_DebugDrawing::CreateStaticBuffer(D3D11_BIND_INDEX_BUFFER, INDICES, sizeof(INDICES));
    if (s_pProgram == nullptr)
        s_pProgram = KR_DebugDrawing::GetFixedColorProgram();
    if (s_pInputLayout == nullptr)
        s_pInputLayout = KR_DebugDrawing::GetInputLayout();
    return s_pVertexBuffer != nullptr && s_pIndexBuffer != nullptr;
}

void KR_DebugCube::ReleaseStaticBuffers()
{
    KR_ReleaseAndNull(s_pVertexBuffer);
    KR_ReleaseAndNull(s_pIndexBuffer);
    s_pProgram = nullptr;
    s_pInputLayout = nullptr;
}

bool KR_DebugCube::Render(const XMMATRIX* pViewProjection) const
{
    return Draw(pViewProjection, &m_mWorld, m_vColor);
}

bool KR_DebugCube::Draw(const XMMATRIX* pViewProjection, const XMMATRIX* pWorld, const XMFLOAT4& color)
{
    // Without its index buffer the shape is not drawn at all (not as a vertex list).
    if (s_pIndexBuffer == nullptr)
        return false;
    KR_DebugDrawing::DrawRange range;
    range.uiCount = NUM_TRIANGLES * 3;
    return KR_DebugDrawing::Draw(s_pVertexBuffer, s_pIndexBuffer, range, s_pProgram, s_pInputLayout,
                                 pViewProjection, pWorld, color);
}

float KR_DebugCube::GetPickDistance(const KR_Ray& ray)
{
    if (!m_bInverseValid)
    {
        m_mInverseWorld = XMMatrixInverse(nullptr, m_mWorld);
        m_bInverseValid = true;
    }
    // Not renormalised: the distance stays in the units of the world ray.
    // The origin is a point and the direction a vector whatever w the caller left in them.
    const KR_Ray local = {XMVector4Transform(XMVectorSetW(ray.origin, 1.0f), m_mInverseWorld),
                          XMVector4Transform(XMVectorSetW(ray.direction, 0.0f), m_mInverseWorld)};
    float best = FLT_MAX;
    for (std::uint32_t i = 0; i < NUM_TRIANGLES * 3; i += 3)
    {
        float t = FLT_MAX;
        if (IntersectRayTriangle(local, VERTICES[INDICES[i]], VERTICES[INDICES[i + 1]],
                                 VERTICES[INDICES[i + 2]], &t) &&
            t < best)
        {
            best = t;
        }
    }
    return best;
}
