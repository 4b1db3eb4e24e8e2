#include "render/debug/KR_Ray.h"

#include <cfloat>

using namespace DirectX;

bool IntersectRayPlane(const XMVECTOR& plane, const KR_Ray& ray, float* pT)
{
    *pT = 0.0f;
    const float denominator = XMVectorGetX(XMVector3Dot(plane, ray.direction));
    if (!(denominator != 0.0f)) // parallel, or not a number
        return false;
    const float numerator = XMVectorGetX(XMVector3Dot(plane, ray.origin)) + XMVectorGetW(plane);
    *pT = -numerator / denominator;
    return *pT >= 0.0f;
}

bool IntersectRayPlane(const XMVECTOR& plane, const KR_Ray& ray, XMVECTOR* pPoint)
{
    float t = FLT_MAX;
    if (!IntersectRayPlane(plane, ray, &t))
        return false;
    *pPoint = XMVectorAdd(ray.origin, XMVectorScale(ray.direction, t));
    return true;
}

bool IntersectRayTriangle(const KR_Ray& ray, const XMVECTOR& a, const XMVECTOR& b, const XMVECTOR& c,
                          float* pT)
{
    *pT = FLT_MAX;
    const XMVECTOR edge1 = XMVectorSubtract(b, a);
    const XMVECTOR edge2 = XMVectorSubtract(c, a);
    const XMVECTOR h = XMVector3Cross(ray.direction, edge2);
    const float det = XMVectorGetX(XMVector3Dot(h, edge1));
    if (det > -FLT_EPSILON && det < FLT_EPSILON)
        return false;
    const XMVECTOR s = XMVectorSubtract(ray.origin, a);
    const float u = XMVectorGetX(XMVector3Dot(s, h)) / det;
    if (!(u >= 0.0f && u <= 1.0f))
        return false;
    const XMVECTOR q = XMVector3Cross(s, edge1);
    const float v = XMVectorGetX(XMVector3Dot(ray.direction, q)) / det;
    if (!(v >= 0.0f && u + v <= 1.0f))
        return false;
    const float distance = XMVectorGetX(XMVector3Dot(edge2, q)) / det;
    if (!(distance >= 0.0f))
        return false;
    *pT = distance;
    return true;
}

bool IntersectRayTriangle(const KR_Ray& ray, const XMFLOAT3& a, const XMFLOAT3& b, const XMFLOAT3& c,
                          float* pT)
{
    return IntersectRayTriangle(ray, XMLoadFloat3(&a), XMLoadFloat3(&b), XMLoadFloat3(&c), pT);
}
