#include "render/camera/KR_ViewFrustum.h"

#include "framework/app/KE_EngineMembers.h"
#include "platform/d3d11/d3d11.h"
#include "render/camera/KR_Camera.h"
#include "render/debug/KR_DebugDrawing.h"
#include "render/device/KR_ReleaseAndNull.h"
#include "render/models/KR_BoundingBox.h"

#include <cmath>

using namespace DirectX;

KR_ViewFrustum::KR_ViewFrustum(KR_Camera* pOwner) : m_pOwner(pOwner)
{
    if (!KE_IsDeveloperBuild())
        return;
    m_pProgram = KR_DebugDrawing::GetFixedColorProgram();
    m_pInputLayout = KR_DebugDrawing::GetInputLayout();
    m_pLineIB =
        KR_DebugDrawing::CreateStaticBuffer(D3D11_BIND_INDEX_BUFFER, LINE_INDICES, sizeof(LINE_INDICES));
}

KR_ViewFrustum::~KR_ViewFrustum()
{
    KR_ReleaseAndNull(m_pLineVB);
    KR_ReleaseAndNull(m_pLineIB);
}

void KR_ViewFrustum::Update()
{
    if (m_pOwner != nullptr)
        ExtractFrustumPlanes(m_pOwner->GetViewProjectionMatrix(), m_vPlanes);
}

bool KR_ViewFrustum::IsBoxInside(const XMVECTOR* pPlanes, const KR_BoundingBox* pBox, const XMMATRIX* pMatrix)
{
    if (pBox == nullptr || pPlanes == nullptr)
        return true;
    // Under a rotation the transformed min and max corners no longer span the box: all eight
    // corners are transformed and tested.
    XMVECTOR corners[8];
    pBox->GetTransformedCorners(pMatrix != nullptr ? *pMatrix : XMMatrixIdentity(), corners);
    for (std::uint32_t i = 0; i < NUM_PLANES; ++i)
    {
        bool bAnyInside = false;
        for (const XMVECTOR& corner : corners)
        {
            if (XMVectorGetX(XMVector4Dot(pPlanes[i], corner)) >= 0.0f)
            {
                bAnyInside = true;
                break;
            }
        }
        if (!bAnyInside)
            return false;
    }
    return true;
}

void KR_ViewFrustum::GetLinePoints(XMFLOAT3 (&points)[NUM_LINE_VERTICES]) const
{
    const XMVECTOR* p = m_vPlanes;
    IntersectThreePlanes(&points[0], &p[KR_FP_Left], &p[KR_FP_Top], &p[KR_FP_Near]);
    IntersectThreePlanes(&points[1], &p[KR_FP_Right], &p[KR_FP_Top], &p[KR_FP_Near]);
    IntersectThreePlanes(&points[2], &p[KR_FP_Left], &p[KR_FP_Bottom], &p[KR_FP_Near]);
    IntersectThreePlanes(&points[3], &p[KR_FP_Right], &p[KR_FP_Bottom], &p[KR_FP_Near]);
    IntersectThreePlanes(&points[4], &p[KR_FP_Left], &p[KR_FP_Top], &p[KR_FP_Far]);
    IntersectThreePlanes(&points[5], &p[KR_FP_Right], &p[KR_FP_Top], &p[KR_FP_Far]);
    IntersectThreePlanes(&points[6], &p[KR_FP_Left], &p[KR_FP_Bottom], &p[KR_FP_Far]);
    IntersectThreePlanes(&points[7], &p[KR_FP_Right], &p[KR_FP_Bottom], &p[KR_FP_Far]);
    // The roof: the middle of the far top edge raised along the owner's up by a tenth of the edge.
    const XMVECTOR p4 = XMLoadFloat3(&points[4]);
    const XMVECTOR p5 = XMLoadFloat3(&points[5]);
    const XMVECTOR up = m_pOwner != nullptr ? m_pOwner->GetUpVector() : XMVectorSet(0, 1, 0, 0);
    const float fEdge = XMVectorGetX(XMVector3Length(XMVectorSubtract(p5, p4)));
    XMStoreFloat3(&points[8],
                  XMVectorAdd(XMVectorScale(XMVectorAdd(p4, p5), 0.5f), XMVectorScale(up, fEdge * 0.1f)));
}

void KR_ViewFrustum::CreateLineVB()
{
    KR_ReleaseAndNull(m_pLineVB);
    XMFLOAT3 points[NUM_LINE_VERTICES];
    GetLinePoints(points);
    m_pLineVB = KR_DebugDrawing::CreateStaticBuffer(D3D11_BIND_VERTEX_BUFFER, points, sizeof(points));
}

bool KR_ViewFrustum::Render(double /*fTime*/, const XMMATRIX* pViewProjection)
{
    if (m_pOwner == nullptr || !KE_IsDeveloperBuild() || m_pLineIB == nullptr || pViewProjection == nullptr)
        return false;
    if (m_pProgram == nullptr)
        m_pProgram = KR_DebugDrawing::GetFixedColorProgram();
    if (m_pInputLayout == nullptr)
        m_pInputLayout = KR_DebugDrawing::GetInputLayout();
    if (m_pProgram == nullptr)
        return false;
    CreateLineVB(); // the drawing always follows the latest planes
    if (m_pLineVB == nullptr)
        return false;
    KR_DebugDrawing::DrawRange range;
    range.topology = D3D11_PRIMITIVE_TOPOLOGY_LINELIST;
    range.uiCount = m_uiNumLineIndices;
    // The points are in world space already.
    const XMMATRIX identity = XMMatrixIdentity();
    return KR_DebugDrawing::Draw(m_pLineVB, m_pLineIB, range, m_pProgram, m_pInputLayout, pViewProjection,
                                 &identity, m_vColor);
}

void ExtractFrustumPlanes(const XMMATRIX& m, XMVECTOR planes[KR_ViewFrustum::NUM_PLANES])
{
    XMFLOAT4X4 f;
    XMStoreFloat4x4(&f, m);
    const XMVECTOR c0 = XMVectorSet(f.m[0][0], f.m[1][0], f.m[2][0], f.m[3][0]);
    const XMVECTOR c1 = XMVectorSet(f.m[0][1], f.m[1][1], f.m[2][1], f.m[3][1]);
    const XMVECTOR c2 = XMVectorSet(f.m[0][2], f.m[1][2], f.m[2][2], f.m[3][2]);
    const XMVECTOR c3 = XMVectorSet(f.m[0][3], f.m[1][3], f.m[2][3], f.m[3][3]);
    planes[KR_FP_Left] = XMPlaneNormalize(XMVectorAdd(c3, c0));
    planes[KR_FP_Right] = XMPlaneNormalize(XMVectorSubtract(c3, c0));
    planes[KR_FP_Top] = XMPlaneNormalize(XMVectorSubtract(c3, c1));
    planes[KR_FP_Bottom] = XMPlaneNormalize(XMVectorAdd(c3, c1));
    planes[KR_FP_Near] = XMPlaneNormalize(c2);
    planes[KR_FP_Far] = XMPlaneNormalize(XMVectorSubtract(c3, c2));
}

void IntersectThreePlanes(XMFLOAT3* pOut, const XMVECTOR* pA, const XMVECTOR* pB, const XMVECTOR* pC)
{
    const XMVECTOR bc = XMVector3Cross(*pB, *pC);
    const XMVECTOR ca = XMVector3Cross(*pC, *pA);
    const XMVECTOR ab = XMVector3Cross(*pA, *pB);
    const float det = XMVectorGetX(XMVector3Dot(*pA, bc));
    if (det == 0.0f || std::isnan(det))
    {
        *pOut = XMFLOAT3(0.0f, 0.0f, 0.0f);
        return;
    }
    const XMVECTOR sum =
        XMVectorAdd(XMVectorAdd(XMVectorScale(bc, -XMVectorGetW(*pA)), XMVectorScale(ca, -XMVectorGetW(*pB))),
                    XMVectorScale(ab, -XMVectorGetW(*pC)));
    XMStoreFloat3(pOut, XMVectorScale(sum, 1.0f / det));
}
