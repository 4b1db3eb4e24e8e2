#include "render/debug/KR_DebugCube.h"

using namespace DirectX;

const XMFLOAT3 KR_DebugCube::VERTICES[KR_DebugCube::NUM_VERTICES] = {
    {1, 1, -1}, {-1, 1, -1}, {-1, 1, 1}, {1, 1, 1}, {1, -1, -1}, {-1, -1, -1}, {-1, -1, 1}, {1, -1, 1},
};

// Counter-clockwise seen from outside (left-handed), as the standard front-face state expects.
const std::uint16_t KR_DebugCube::INDICES[KR_DebugCube::NUM_TRIANGLES * 3] = {
    0, 2, 1, 2, 0, 3, 1, 4, 0, 1, 5, 4, 2, 5, 1, 2, 6, 5,
    3, 6, 2, 3, 7, 6, 0, 7, 3, 0, 4, 7, 4, 6, 7, 4, 5, 6,
};
