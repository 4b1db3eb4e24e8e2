#pragma once
// The metaball renderer's device-free part: the field function of one ball and the packing of the
// 288-byte constant buffer the three passes read at b0. Matrices are stored transposed, so the
// shader's column-major registers hold them as the engine's row-vector matrices.

#include <cstdint>

class KR_Camera;

class KR_MetaBallConstants
{
public:
    static constexpr std::uint32_t SIZE = 288;
    static constexpr std::uint32_t INVERSE_VIEW = 0;
    static constexpr std::uint32_t VIEW_PROJECTION = 64;
    static constexpr std::uint32_t INVERSE_PROJECTION = 128;
    static constexpr std::uint32_t PLANES = 192;        // near, far, 1 / (far - near)
    static constexpr std::uint32_t NEAR_TOP_LEFT = 208; // world-space corners of the near plane
    static constexpr std::uint32_t NEAR_TOP_RIGHT = 224;
    static constexpr std::uint32_t NEAR_BOTTOM_LEFT = 240;
    static constexpr std::uint32_t SIZES = 256;     // width, height, ball count, sample count
    static constexpr std::uint32_t THRESHOLD = 272; // threshold, core radius, quad scale
    // How far beyond its effective radius a ball's screen quad reaches.
    static constexpr float QUAD_SCALE = 1.5f;

    // Soft-object falloff of a distance x in effective radii: 1 - 22/9 x^2 + 17/9 x^4 - 4/9 x^6,
    // 1 at 0 and 0 at 1.
    static float Field(float fX);

    // Fills the 288 bytes from the camera (its matrices, planes, field of view, aspect, position
    // and axes), the target size, the ball count, the sample count and the core radius (a fraction
    // of the effective radius).
    static void Pack(KR_Camera& camera, std::uint32_t uiWidth, std::uint32_t uiHeight,
                     std::uint32_t uiBallCount, std::uint32_t uiSampleCount, float fCoreRadius,
                     std::uint8_t* pOut);
};
