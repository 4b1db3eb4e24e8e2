#pragma once
// The pass a mesh is drawn in: the colour pass with each material's full shader, or the shadow-map
// pass with the material's shadow-map permutation. Other values build a program with the vertex
// inputs only.

#include <cstdint>

enum KR_RenderPass : std::uint32_t
{
    KR_RENDER_PASS_COLOR = 0,
    KR_RENDER_PASS_SHADOW_MAP = 1,
};
