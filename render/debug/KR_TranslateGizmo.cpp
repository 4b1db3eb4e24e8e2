#include "render/debug/KR_TranslateGizmo.h"

#include "render/debug/KR_DebugDrawing.h"
#include "render/debug/KR_Ray.h"
#include "render/device/KR_ReleaseAndNull.h"

#include <cfloat>
#include <cmath>

using namespace DirectX;

namespace
{

constexpr float T = 1.0f / 3.0f;

// Gizmo space: each arrow is a box from 1 to 7 along its axis with a pyramid to the tip at 7.5;
// the triangle handles sit between the axes.
const XMFLOAT3 VERTICES[KR_TranslateGizmo::NUM_VERTICES] = {
    {7, T, -T},   {1, T, -T},   {1, T, T},    {7, T, T},  {7, -T, -T}, {1, -T, -T}, {1, -T, T},  {7, -T, T},
    {7.5f, 0, 0}, {T, 7, -T},   {T, 1, -T},   {T, 1, T},  {T, 7, T},   {-T, 7, -T}, {-T, 1, -T}, {-T, 1, T},
    {-T, 7, T},   {0, 7.5f, 0}, {T, -T, 7},   {T, -T, 1}, {T, T, 1},   {T, T, 7},   {-T, -T, 7}, {-T, -T, 1},
    {-T, T, 1},   {-T, T, 7},   {0, 0, 7.5f}, {6, 6, 0},  {4, 6, 0},   {6, 4, 0},   {0, 6, 6},   {0, 4, 6},
    {0, 6, 4},    {6, 0, 6},    {4, 0, 6},    {6, 0, 4},
};

std::uint16_t s_Indices[KR_TranslateGizmo::NUM_INDICES] = {};

// Fills the shared index data once; the arrays are constant afterwards.
const std::uint16_t* GetIndices()
{
    static const bool s_bBuilt = []
    {
        KR_TranslateGizmo::BuildArrowIndices(0, 0);
        KR_TranslateGizmo::BuildArrowIndices(9, 36);
        KR_TranslateGizmo::BuildArrowIndices(18, 72);
        KR_TranslateGizmo::BuildPlaneIndices(27, 108);
        KR_TranslateGizmo::BuildPlaneIndices(30, 114);
        KR_TranslateGizmo::BuildPlaneIndices(33, 120);
        return true;
    }();
    (void)s_bBuilt;
    return s_Indices;
}

} // namespace

KR_TranslateGizmo::KR_TranslateGizmo()
    : m_vColors{{1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1}, {1, 1, 0, 1}, {0, 1, 1, 1}, {1, 0, 1, 1}},
      m_mWorld(XMMatrixIdentity()), m_mInverseWorld(XMMatrixIdentity())
{
}

void KR_TranslateGizmo::SetWorldMatrix(const XMMATRIX& world)
{
    m_mWorld = world;
    m_bInverseValid = false;
}

void KR_TranslateGizmo::SetColors(const XMFLOAT4& x, const XMFLOAT4& y, const XMFLOAT4& z, const XMFLOAT4& xy,
                                  const XMFLOAT4& yz, const XMFLOAT4& xz)
{
    m_vColors[0] = x;
    m_vColors[1] = y;
    m_vColors[2] = z;
    m_vColors[3] = xy;
    m_vColors[4] = yz;
    m_vColors[5] = xz;
}

bool KR_TranslateGizmo::CreateStaticBuffers()
{
    if (s_pVertexBuffer == nullptr)
        s_pVertexBuffer =
            KR_DebugDrawing::CreateStaticBuffer(D3D11_BIND_VERTEX_BUFFER, VERTICES, sizeof(VERTICES));
    if (s_pIndexBuffer == nullptr)
        s_pIndexBuffer = KR_DebugDrawing::CreateStaticBuffer(D3D11_BIND_INDEX_BUFFER, GetIndices(),
                                                             NUM_INDICES * sizeof(std::uint16_t));
    if (s_pProgram == nullptr)
        s_pProgram = KR_DebugDrawing::GetFixedColorProgram();
    if (s_pInputLayout == nullptr)
        s_pInputLayout = KR_DebugDrawing::GetInputLayout();
    return s_pVertexBuffer != nullptr && s_pIndexBuffer != nullptr;
}

void KR_TranslateGizmo::ReleaseStaticBuffers()
{
    KR_ReleaseAndNull(s_pVertexBuffer);
    KR_ReleaseAndNull(s_pIndexBuffer);
    s_pProgram = nullptr;
    s_pInputLayout = nullptr;
}

bool KR_TranslateGizmo::Render(const XMMATRIX* pViewProjection) const
{
    XMFLOAT4 colors[NUM_HANDLES];
    for (std::uint32_t i = 0; i < NUM_HANDLES; ++i)
        colors[i] = m_vColors[i];
    const std::uint32_t uiDragged = GetDraggedHandle();
    if (uiDragged < NUM_HANDLES)
        colors[uiDragged] = HIGHLIGHT_COLOR;
    return Draw(pViewProjection, &m_mWorld, colors);
}

bool KR_TranslateGizmo::Draw(const XMMATRIX* pViewProjection, const XMMATRIX* pWorld, const XMFLOAT4* pColors)
{
    if (s_pIndexBuffer == nullptr || pColors == nullptr)
        return false;
    // The three arrows (36 indices each), then the three double-sided triangles (6 each).
    static constexpr UINT COUNTS[NUM_HANDLES] = {36, 36, 36, 6, 6, 6};
    KR_DebugDrawing::DrawRange range;
    for (std::uint32_t i = 0; i < NUM_HANDLES; ++i)
    {
        range.uiCount = COUNTS[i];
        if (!KR_DebugDrawing::Draw(s_pVertexBuffer, s_pIndexBuffer, range, s_pProgram, s_pInputLayout,
                                   pViewProjection, pWorld, pColors[i]))
            return false;
        range.uiStart += COUNTS[i];
    }
    return true;
}

std::uint32_t KR_TranslateGizmo::GetHandle(std::uint32_t uiTriangle)
{
    return uiTriangle < 36 ? uiTriangle / 12 : (uiTriangle - 36) / 2 + 3;
}

bool KR_TranslateGizmo::Drag(const KR_Ray& ray, XMVECTOR* pPosition)
{
    if (!m_bDragStarted)
    {
        m_bDragStarted = true;
        if (!m_bInverseValid)
        {
            m_mInverseWorld = XMMatrixInverse(nullptr, m_mWorld);
            m_bInverseValid = true;
        }
        // The origin is a point and the direction a vector whatever w the caller left in them.
        const KR_Ray local = {XMVector4Transform(XMVectorSetW(ray.origin, 1.0f), m_mInverseWorld),
                              XMVector4Transform(XMVectorSetW(ray.direction, 0.0f), m_mInverseWorld)};
        const std::uint16_t* pIndices = GetIndices();
        float best = FLT_MAX;
        std::uint32_t hitTriangle = NUM_INDICES;
        for (std::uint32_t i = 0; i < NUM_INDICES; i += 3)
        {
            float t = FLT_MAX;
            if (IntersectRayTriangle(local, VERTICES[pIndices[i]], VERTICES[pIndices[i + 1]],
                                     VERTICES[pIndices[i + 2]], &t) &&
                t < best)
            {
                best = t;
                hitTriangle = i / 3;
            }
        }
        if (hitTriangle == NUM_INDICES)
        {
            m_bDragging = false;
            m_uiDraggedHandle = NUM_HANDLES;
            return false;
        }
        m_vStartPosition = *pPosition;
        const XMVECTOR localHit =
            XMVectorSetW(XMVectorAdd(local.origin, XMVectorScale(local.direction, best)), 1.0f);
        const XMVECTOR g = XMVector4Transform(localHit, m_mWorld);
        m_vGrabPoint = g;
        const float dx = std::fabs(XMVectorGetX(ray.direction));
        const float dy = std::fabs(XMVectorGetY(ray.direction));
        const float dz = std::fabs(XMVectorGetZ(ray.direction));
        const XMVECTOR planeX = XMVectorSet(1, 0, 0, -XMVectorGetX(g));
        const XMVECTOR planeY = XMVectorSet(0, 1, 0, -XMVectorGetY(g));
        const XMVECTOR planeZ = XMVectorSet(0, 0, 1, -XMVectorGetZ(g));
        const std::uint32_t handle = GetHandle(hitTriangle);
        m_uiDraggedHandle = handle;
        m_bAxisConstrained = handle < 3;
        switch (handle)
        {
        case 0:
            m_vAxisMask = XMVectorSet(1, 0, 0, 0);
            m_vDragPlane = dy > dz ? planeY : planeZ;
            break;
        case 1:
            m_vAxisMask = XMVectorSet(0, 1, 0, 0);
            m_vDragPlane = dx > dz ? planeX : planeZ;
            break;
        case 2:
            m_vAxisMask = XMVectorSet(0, 0, 1, 0);
            m_vDragPlane = dx > dy ? planeX : planeY;
            break;
        case 3:
            m_vAxisMask = XMVectorZero();
            m_vDragPlane = planeZ;
            break;
        case 4:
            m_vAxisMask = XMVectorZero();
            m_vDragPlane = planeX;
            break;
        default:
            m_vAxisMask = XMVectorZero();
            m_vDragPlane = planeY;
            break;
        }
        m_bDragging = true;
        return false;
    }
    if (!m_bDragging)
        return false;
    float t = 0.0f;
    if (!IntersectRayPlane(m_vDragPlane, ray, &t))
        return false;
    XMVECTOR delta = XMVectorSubtract(XMVectorAdd(ray.origin, XMVectorScale(ray.direction, t)), m_vGrabPoint);
    if (m_bAxisConstrained)
        delta = XMVectorMultiply(delta, m_vAxisMask);
    *pPosition = XMVectorAdd(m_vStartPosition, delta);
    return true;
}

void KR_TranslateGizmo::EndDrag()
{
    m_bDragStarted = false;
    m_bDragging = false;
    m_uiDraggedHandle = NUM_HANDLES;
}

void KR_TranslateGizmo::BuildArrowIndices(std::uint16_t uiFirstVertex, std::uint32_t uiFirstIndex)
{
    static constexpr std::uint16_t ARROW[36] = {0, 2, 1, 2, 0, 3, 1, 4, 0, 1, 5, 4, 3, 6, 2, 3, 7, 6,
                                                4, 6, 7, 4, 5, 6, 0, 8, 3, 3, 8, 7, 7, 8, 4, 4, 8, 0};
    for (std::uint32_t i = 0; i < 36 && uiFirstIndex + i < NUM_INDICES; ++i)
        s_Indices[uiFirstIndex + i] = static_cast<std::uint16_t>(uiFirstVertex + ARROW[i]);
}

void KR_TranslateGizmo::BuildPlaneIndices(std::uint16_t uiFirstVertex, std::uint32_t uiFirstIndex)
{
    // Stored once per winding so that the triangle shows from both sides.
    static constexpr std::uint16_t PLANE[6] = {0, 2, 1, 0, 1, 2};
    for (std::uint32_t i = 0; i < 6 && uiFirstIndex + i < NUM_INDICES; ++i)
        s_Indices[uiFirstIndex + i] = static_cast<std::uint16_t>(uiFirstVertex + PLANE[i]);
}
