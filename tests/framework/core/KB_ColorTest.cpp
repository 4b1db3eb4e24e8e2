#include "framework/core/KB_Color.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{

void ExpectColor(const KB_Color& c, float r, float g, float b, float a)
{
    EXPECT_NEAR(c.GetR(), r, 1e-5f);
    EXPECT_NEAR(c.GetG(), g, 1e-5f);
    EXPECT_NEAR(c.GetB(), b, 1e-5f);
    EXPECT_NEAR(c.GetA(), a, 1e-5f);
}

TEST(KB_Color, ConstructorsAndAccessors)
{
    ExpectColor(KB_Color(), 0, 0, 0, 1);
    ExpectColor(KB_Color(DirectX::XMFLOAT3(0.1f, 0.2f, 0.3f)), 0.1f, 0.2f, 0.3f, 1);
    ExpectColor(KB_Color(DirectX::XMFLOAT3(0.1f, 0.2f, 0.3f), 0.5f), 0.1f, 0.2f, 0.3f, 0.5f);
    KB_Color c(DirectX::XMFLOAT4(0.1f, 0.2f, 0.3f, 0.4f));
    c.SetR(0.9f);
    c.SetG(0.8f);
    const DirectX::XMFLOAT4 rgba = c.GetRGBA();
    EXPECT_EQ(rgba.x, 0.9f);
    EXPECT_EQ(rgba.y, 0.8f);
    EXPECT_EQ(rgba.w, 0.4f);
    EXPECT_EQ(c.GetRGB().z, 0.3f);
}

TEST(KB_Color, ParsesWebColours)
{
    KB_Color c(0.5f, 0.5f, 0.5f, 0.5f);
    c.ParseFromWebColor("#FF8000");
    ExpectColor(c, 1.0f, 0.50196f, 0.0f, 0.0f); // six digits: alpha 0
    c.ParseFromWebColor("FF8000FF");
    ExpectColor(c, 0.50196f, 0.0f, 1.0f, 1.0f); // AARRGGBB
    c.ParseFromWebColor("");
    ExpectColor(c, 0, 0, 0, 1);
    c.ParseFromWebColor("zz");
    ExpectColor(c, 0, 0, 0, 0);
    c.ParseFromWebColor("#ff8000");
    ExpectColor(c, 1.0f, 0.50196f, 0.0f, 0.0f);
    c.ParseFromWebColor("##12"); // only one '#' is skipped
    ExpectColor(c, 0, 0, 0, 0);
}

TEST(KB_Color, PrintsWebColoursWithTruncationAndClamping)
{
    EXPECT_STREQ(KB_Color(1.0f, 0.5f, 0.0f, 1.0f).GetWebColorRGB().GetBuffer(), "#FF7F00");
    EXPECT_STREQ(KB_Color(1.0f, 0.5f, 0.0f, 1.0f).GetWebColorRGBA().GetBuffer(), "#FFFF7F00");
    EXPECT_STREQ(KB_Color(0, 0, 0, 0).GetWebColorRGBA().GetBuffer(), "#00000000");
    // Out-of-range channels saturate instead of wrapping to their low byte.
    EXPECT_STREQ(KB_Color(1.2f, -0.1f, 0.5f, 2.0f).GetWebColorRGBA().GetBuffer(), "#FFFF007F");
    EXPECT_STREQ(KB_Color(NAN, INFINITY, -INFINITY, 1).GetWebColorRGB().GetBuffer(), "#00FF00");
}

TEST(KB_Color, EveryChannelValueRoundTrips)
{
    for (std::uint32_t v = 0; v < 256; ++v)
    {
        const KB_String rgba = KB_String::Formatted("#%.2X%.2X%.2X%.2X", v, v, 255 - v, v / 2);
        KB_Color c;
        c.ParseFromWebColor(rgba);
        EXPECT_STREQ(c.GetWebColorRGBA().GetBuffer(), rgba.GetBuffer());
        const KB_String rgb = KB_String::Formatted("#%.2X%.2X%.2X", 255 - v, v, v);
        c.ParseFromWebColor(rgb);
        EXPECT_STREQ(c.GetWebColorRGB().GetBuffer(), rgb.GetBuffer());
    }
}

TEST(KB_Color, LinearAndGammaLeaveAlpha)
{
    KB_Color c(0.5f, 1.0f, 0.0f, 0.25f);
    c.ToLinear();
    EXPECT_FLOAT_EQ(c.GetR(), std::pow(0.5f, 2.2f));
    EXPECT_EQ(c.GetG(), 1.0f);
    EXPECT_EQ(c.GetB(), 0.0f);
    EXPECT_EQ(c.GetA(), 0.25f);
    c.ToGamma();
    EXPECT_NEAR(c.GetR(), 0.5f, 1e-5f);
    EXPECT_EQ(c.GetA(), 0.25f);
}

} // namespace
