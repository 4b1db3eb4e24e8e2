#pragma once
// The shader stages of a program. Every per-stage array, every shader cache record and the table
// of compile targets use this order.

#include <cstdint>

enum KR_ShaderStageType : std::uint32_t
{
    KR_SHADER_STAGE_VERTEX = 0,
    KR_SHADER_STAGE_PIXEL = 1,
    KR_SHADER_STAGE_GEOMETRY = 2,
    KR_SHADER_STAGE_COMPUTE = 3,
};

constexpr std::uint32_t KR_NUM_SHADER_STAGES = 4;
