#pragma once
// One display mode the configuration dialog offers, with the graphics context, adapter and output
// it belongs to and the choices made alongside it. A plain value type. Unlike KR_ScreenResolution
// its refresh denominator starts at 0: an entry is always filled from a listed mode.

#include "render/device/KR_ScreenResolution.h"

#include <cstdint>

namespace K_GUI
{

struct KG_ScreenResolution
{
    std::uint32_t m_iWidth = 0;
    std::uint32_t m_iHeight = 0;
    std::uint32_t m_iRefreshRate_Numerator = 0;
    std::uint32_t m_iRefreshRate_Denominator = 0;
    int m_iGraphicsContext = 0;
    int m_iGraphicsContextDevice = 0;
    int m_iGraphicsContextOutput = 0;
    bool m_bFullscreen = true;
    bool m_bVSync = true;
    KR_AspectRatio m_iAspectRatio = KR_ASPECT_RATIO_FROM_SIZE;
    std::uint32_t m_iRenderingQuality = 1;
    std::uint32_t m_iAntiAliasing = 1; // sample count
};

} // namespace K_GUI
