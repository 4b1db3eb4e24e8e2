#include "render/debug/KR_DebugPolyhedron.h"

using namespace DirectX;

namespace
{

// The corners' inner coordinate (f32 bits 0x3EE8BA2E).
constexpr float A = 0.45454544f;

} // namespace

const XMFLOAT3 KR_DebugPolyhedron::VERTICES[KR_DebugPolyhedron::NUM_VERTICES] = {
    {A, 1, -A},  {-A, 1, -A}, {-A, 1, A}, {A, 1, A},   {A, A, -1},  {-A, A, -1},  {-1, A, -A},  {-1, A, A},
    {-A, A, 1},  {A, A, 1},   {1, A, A},  {1, A, -A},  {A, -A, -1}, {-A, -A, -1}, {-1, -A, -A}, {-1, -A, A},
    {-A, -A, 1}, {A, -A, 1},  {1, -A, A}, {1, -A, -A}, {A, -1, -A}, {-A, -1, -A}, {-A, -1, A},  {A, -1, A},
};

const std::uint16_t KR_DebugPolyhedron::INDICES[KR_DebugPolyhedron::NUM_TRIANGLES * 3] = {
    0,  2,  1,  2,  0,  3,  0,  1,  5,  5,  4,  0,  1,  6,  5,  1,  2,  7,  7,  6,  1,  2,
    8,  7,  2,  3,  9,  9,  8,  2,  3,  10, 9,  3,  0,  11, 11, 10, 3,  0,  4,  11, 4,  5,
    13, 13, 12, 4,  5,  6,  14, 14, 13, 5,  6,  7,  15, 15, 14, 6,  7,  8,  16, 16, 15, 7,
    8,  9,  17, 17, 16, 8,  9,  10, 18, 18, 17, 9,  10, 11, 19, 19, 18, 10, 11, 4,  12, 12,
    19, 11, 12, 13, 21, 21, 20, 12, 13, 14, 21, 14, 15, 22, 22, 21, 14, 15, 16, 22, 16, 17,
    23, 23, 22, 16, 17, 18, 23, 18, 19, 20, 20, 23, 18, 19, 12, 20, 20, 21, 22, 22, 23, 20,
};
