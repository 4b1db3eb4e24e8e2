#pragma once
// The fixed programs of the loading screen, the OIT renderer and the editor drawing, built from the
// material pixel shader with one switch each. Other values build the vertex part and a bare pixel
// stage.

#include <cstdint>

enum KR_SimpleShaderType : std::uint32_t
{
    KR_SIMPLE_SHADER_LOADER = 0,
    KR_SIMPLE_SHADER_FIXED_COLOR = 1,
    KR_SIMPLE_SHADER_HEADLIGHT = 2,
    KR_SIMPLE_SHADER_DEBUG_TEXTURE = 3,
    KR_SIMPLE_SHADER_DEBUG_TEXTURE_FADING = 4,
};
