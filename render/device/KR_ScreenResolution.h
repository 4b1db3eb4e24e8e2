#pragma once
// One display setting as the configuration dialog offers it and the graphics device uses it: the
// mode (size and refresh rate), window or fullscreen, vsync, a fixed aspect ratio or none,
// multisampling and the rendering quality. A plain value type, copied whole.

#include <cstdint>

// How KR_GraphicsDevice::GetAspectRatio turns the setting into a number.
enum KR_AspectRatio : std::uint32_t
{
    KR_ASPECT_RATIO_FROM_SIZE = 0, // width / height of the back buffer
    KR_ASPECT_RATIO_3_2 = 1,
    KR_ASPECT_RATIO_4_3 = 2,
    KR_ASPECT_RATIO_5_3 = 3,
    KR_ASPECT_RATIO_5_4 = 4,
    KR_ASPECT_RATIO_16_9 = 5,
    KR_ASPECT_RATIO_16_10 = 6,
};

struct KR_ScreenResolution
{
    std::uint32_t m_uiWidth = 0;                // pixels
    std::uint32_t m_uiHeight = 0;               // pixels
    std::uint32_t m_uiRefreshRateNumerator = 0; // refresh rate in Hz as a fraction
    std::uint32_t m_uiRefreshRateDenominator = 1;
    bool m_bFullscreen = true;
    bool m_bVSync = true;
    KR_AspectRatio m_eAspectRatio = KR_ASPECT_RATIO_FROM_SIZE;
    std::uint32_t m_uiAntiAliasing = 1;       // multisample count; 1 is no multisampling
    std::uint32_t m_uiRenderingQuality = 1;   // 0 ("Low") to 4 ("Melt it!")
    std::uint32_t m_uiMultisampleQuality = 0; // written back by device creation
};
