#include "render/debug/KR_DebugPolyhedron.h"

#include "render/debug/KR_DebugDrawing.h"
#include "render/debug/KR_Ray.h"
#include "render/device/KR_ReleaseAndNull.h"

#include <cfloat>

using namespace DirectX;

namespace
{

// The corners' inner coordinate (f32 bits 0x3EE8BA2E).
constexpr float A = 0.45454544f;

constexpr XMFLOAT3 VERTICES[KR_DebugPolyhedron::NUM_VERTICES] = {
    {A, 1, -A},  {-A, 1, -A}, {-A, 1, A}, {A, 1, A},   {A, A, -1},  {-A, A, -1},  {-1, A, -A},  {-1, A, A},
    {-A, A, 1},  {A, A, 1},   {1, A, A},  {1, A, -A},  {A, -A, -1}, {-A, -A, -1}, {-1, -A, -A}, {-1, -A, A},
    {-A, -A, 1}, {A, -A, 1},  {1, -A, A}, {1, -A, -A}, {A, -1, -A}, {-A, -1, -A}, {-A, -1, A},  {A, -1, A},
};

constexpr std::uint16_t INDICES[KR_DebugPolyhedron::NUM_TRIANGLES * 3] = {
    0,  2,  1,  2,  0,  3,  0,  1,  5,  5,  4,  0,  1,  6,  5,  1,  2,  7,  7,  6,  1,  2,
    8,  7,  2,  3,  9,  9,  8,  2,  3,  10, 9,  3,  0,  11, 11, 10, 3,  0,  4,  11, 4,  5,
    13, 13, 12, 4,  5,  6,  14, 14, 13, 5,  6,  7,  15, 15, 14, 6,  7,  8,  16, 16, 15, 7,
    8,  9,  17, 17, 16, 8,  9,  10, 18, 18, 17, 9,  10, 11, 19, 19, 18, 10, 11, 4,  12, 12,
    19, 11, 12, 13, 21, 21, 20, 12, 13, 14, 21, 14, 15, 22, 22, 21, 14, 15, 16, 22, 16, 17,
    23, 23, 22, 16, 17, 18, 23, 18, 19, 20, 20, 23, 18, 19, 12, 20, 20, 21, 22, 22, 23, 20,
};

} // namespace

KR_DebugPolyhedron::KR_DebugPolyhedron() : m_mWorld(XMMatrixIdentity()), m_mInverseWorld(XMMatrixIdentity())
{
}

void KR_DebugPolyhedron::SetWorldMatrix(const XMMATRIX& world)
{
    m_mWorld = world;
    m_bInverseValid = false;
}

bool KR_DebugPolyhedron::CreateStaticBuffers()
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

void KR_DebugPolyhedron::ReleaseStaticBuffers()
{
    KR_ReleaseAndNull(s_pVertexBuffer);
    KR_ReleaseAndNull(s_pIndexBuffer);
    s_pProgram = nullptr;
    s_pInputLayout = nullptr;
}

bool KR_DebugPolyhedron::Render(const XMMATRIX* pViewProjection) const
{
    return Draw(pViewProjection, &m_mWorld, m_vColor);
}

bool KR_DebugPolyhedron::Draw(const XMMATRIX* pViewProjection, const XMMATRIX* pWorld, const XMFLOAT4& color)
{
    // Without its index buffer the shape is not drawn at all (not as a vertex list).
    if (s_pIndexBuffer == nullptr)
        return false;
    KR_DebugDrawing::DrawRange range;
    range.uiCount = NUM_TRIANGLES * 3;
    return KR_DebugDrawing::Draw(s_pVertexBuffer, s_pIndexBuffer, range, s_pProgram, s_pInputLayout,
                                 pViewProjection, pWorld, color);
}

float KR_DebugPolyhedron::GetPickDistance(const KR_Ray& ray)
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
