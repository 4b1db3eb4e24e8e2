#pragma once
// A picking ray in world space and the two ray tests every editor pick is built on. Free
// functions; any thread. Distances are along the ray in the units of its direction; a miss is
// reported as false.

#include "platform/directxmath/DirectXMath.h"

struct KR_Ray
{
    DirectX::XMVECTOR origin;    // w = 1
    DirectX::XMVECTOR direction; // w = 0, normalised over x, y, z
};

// Plane (a, b, c, d) with a x + b y + c z + d = 0. *pT := 0, then the distance to the plane; true
// when the ray meets it at t >= 0. False for a ray parallel to the plane (*pT 0) or a plane behind
// the origin (*pT negative).
bool IntersectRayPlane(const DirectX::XMVECTOR& plane, const KR_Ray& ray, float* pT);
// As above; writes origin + t x direction to *pPoint only on success.
bool IntersectRayPlane(const DirectX::XMVECTOR& plane, const KR_Ray& ray, DirectX::XMVECTOR* pPoint);
// Both faces of triangle (a, b, c) count; x, y and z only. *pT := FLT_MAX, then the hit distance
// on success. False for a ray parallel to the triangle (|det| below FLT_EPSILON) or a miss.
bool IntersectRayTriangle(const KR_Ray& ray, const DirectX::XMVECTOR& a, const DirectX::XMVECTOR& b,
                          const DirectX::XMVECTOR& c, float* pT);
bool IntersectRayTriangle(const KR_Ray& ray, const DirectX::XMFLOAT3& a, const DirectX::XMFLOAT3& b,
                          const DirectX::XMFLOAT3& c, float* pT);
