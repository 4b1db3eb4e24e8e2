#pragma once
// The editor's marker for the keys of curve rails: a cube spanning [-1, 1] on every axis (see
// KR_DebugShape).

#include "render/debug/KR_DebugShape.h"

#include <cstdint>

class KR_DebugCube : public KR_DebugShape<KR_DebugCube>
{
public:
    static constexpr std::uint32_t NUM_VERTICES = 8;
    static constexpr std::uint32_t NUM_TRIANGLES = 12;
    static const DirectX::XMFLOAT3 VERTICES[NUM_VERTICES];
    static const std::uint16_t INDICES[NUM_TRIANGLES * 3];
};
