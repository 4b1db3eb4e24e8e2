#pragma once
// What the shader core manager's SetPrimitiveTopology selects; any other value draws a triangle
// list.

#include <cstdint>

enum KR_PrimitiveTopology : std::uint32_t
{
    KR_PRIMITIVE_TOPOLOGY_POINTLIST = 0,
    KR_PRIMITIVE_TOPOLOGY_LINESTRIP = 1,
    KR_PRIMITIVE_TOPOLOGY_LINELIST = 2,
    KR_PRIMITIVE_TOPOLOGY_TRIANGLESTRIP = 3,
    KR_PRIMITIVE_TOPOLOGY_TRIANGLELIST = 4,
};
