#include "platform/d3d11/D3D11Formats.h"

#include <gtest/gtest.h>

#include <limits>

using namespace d3d11_internal;

TEST(D3D11Formats, HalfFloatsRoundToNearestEven)
{
    struct Case
    {
        float fValue;
        std::uint32_t uiHalf;
    };
    const Case aCases[] = {
        {1.0f, 0x3C00},
        {-2.0f, 0xC000},
        {65504.0f, 0x7BFF},              // largest finite half
        {65520.0f, 0x7C00},              // rounds up past it: infinity
        {1.0f + 1.0f / 2048.0f, 0x3C00}, // halfway, even mantissa kept
        {1.0f + 3.0f / 2048.0f, 0x3C02}, // halfway, rounds to even
        {5.9604645e-8f, 0x0001},         // smallest subnormal
        {2.0e-8f, 0x0000},               // below half of it
        {std::numeric_limits<float>::infinity(), 0x7C00},
    };
    for (const Case& c : aCases)
        EXPECT_EQ(c.uiHalf, EncodeSmallFloat(c.fValue, 10, true)) << c.fValue;
    EXPECT_EQ(0x7E00u, EncodeSmallFloat(std::numeric_limits<float>::quiet_NaN(), 10, true));
    // Unsigned 11-bit: negatives clamp to zero, 1.0 keeps the exponent bias.
    EXPECT_EQ(0u, EncodeSmallFloat(-1.0f, 6, false));
    EXPECT_EQ(15u << 6, EncodeSmallFloat(1.0f, 6, false));
}

TEST(D3D11Formats, PitchesAndViewCompatibility)
{
    UINT uiRowPitch = 0;
    UINT uiRows = 0;
    ASSERT_TRUE(GetSurfacePitch(DXGI_FORMAT_BC3_UNORM, 10, 6, &uiRowPitch, &uiRows));
    EXPECT_EQ(3u * 16u, uiRowPitch);
    EXPECT_EQ(2u, uiRows);
    ASSERT_TRUE(GetSurfacePitch(DXGI_FORMAT_R32G32B32_FLOAT, 5, 3, &uiRowPitch, &uiRows));
    EXPECT_EQ(60u, uiRowPitch);
    EXPECT_FALSE(GetSurfacePitch(DXGI_FORMAT_UNKNOWN, 1, 1, &uiRowPitch, &uiRows));
    EXPECT_FALSE(GetSurfacePitch(static_cast<DXGI_FORMAT>(130), 1, 1, &uiRowPitch, &uiRows));

    EXPECT_TRUE(IsViewFormatCompatible(DXGI_FORMAT_R32_TYPELESS, DXGI_FORMAT_D32_FLOAT));
    EXPECT_TRUE(IsViewFormatCompatible(DXGI_FORMAT_R32_TYPELESS, DXGI_FORMAT_R32_FLOAT));
    EXPECT_FALSE(IsViewFormatCompatible(DXGI_FORMAT_R8G8B8A8_UNORM, DXGI_FORMAT_R8G8B8A8_UNORM_SRGB));
    EXPECT_FALSE(IsViewFormatCompatible(DXGI_FORMAT_R32_TYPELESS, DXGI_FORMAT_R16G16_FLOAT));
}
