#pragma once
// Which shader a mesh is drawn with: each material's full shader, or its shadow-map permutation.

#include <cstdint>

enum KR_RenderPass : std::uint32_t
{
    KR_RENDER_PASS_COLOR = 0,
    KR_RENDER_PASS_SHADOW_MAP = 1
};
