#pragma once
// The editor's marker shape for things without geometry of their own (lights, cube-map placers,
// audio entities): a 24-corner polyhedron spanning [-1, 1] on every axis (see KR_DebugShape).

#include "render/debug/KR_DebugShape.h"

#include <cstdint>

class KR_DebugPolyhedron : public KR_DebugShape<KR_DebugPolyhedron>
{
public:
    static constexpr std::uint32_t NUM_VERTICES = 24;
    static constexpr std::uint32_t NUM_TRIANGLES = 44;
    static const DirectX::XMFLOAT3 VERTICES[NUM_VERTICES];
    static const std::uint16_t INDICES[NUM_TRIANGLES * 3];
};
