#pragma once
// The loading screen's wedge: two clip-space triangles between the top edge and a ray from the
// top-left corner turned down from that edge by progress x 90 degrees. Nothing at 0, the
// right-hand half at 0.5, the whole screen from 1 on. Pure; any thread.

#include "platform/directxmath/DirectXMath.h"

#include <cstdint>

class KR_LoaderWedge
{
public:
    static constexpr std::uint32_t NUM_VERTICES = 6;
    static constexpr float HALF_PI = 1.5707964f;

    KR_LoaderWedge() = delete;

    // Triangles (A, V, B) and (B, V, W) with A = (-1, 1), B = (1, 1), z = 0: below 0.5 the ray
    // leaves through the right edge (V = W there), below 1 through the bottom edge (W the
    // bottom-right corner), from 1 on V and W are the bottom corners. A progress that is not a
    // number counts as 0.
    static void Build(float fProgress, DirectX::XMFLOAT3 aVertices[NUM_VERTICES]);
};
