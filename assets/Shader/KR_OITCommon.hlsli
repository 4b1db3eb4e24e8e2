// The per-pixel transparency lists shared by the appending material programs (PS_OIT) and the
// resolve program: the 12-byte fragment record, its packing and the width constant the head
// index is computed with. The lists themselves are bound by each side with its own access.

#ifndef KR_OIT_COMMON_HLSLI
#define KR_OIT_COMMON_HLSLI

#define KR_OIT_END_OF_LIST 0xFFFFFFFFu

// 12 bytes: colour as RGBA8; depth as 24-bit unorm in the high bits with the sample coverage
// (up to eight samples) in the low byte; index of the next fragment of the pixel.
struct KR_OITFragment
{
    uint uiColor;
    uint uiDepthCoverage;
    uint uiNext;
};

cbuffer KR_OITConstants : register(b13)
{
    uint g_uiOITWidth; // of the back buffer, in pixels
    uint3 g_vOITPadding;
};

// Byte address of a pixel's list head in the head buffer.
uint KR_OITHeadAddress(float4 vPosition)
{
    return ((uint)vPosition.y * g_uiOITWidth + (uint)vPosition.x) * 4u;
}

uint KR_OITPackColor(float4 vColor)
{
    const uint4 v = (uint4)round(saturate(vColor) * 255.0f);
    return v.r | (v.g << 8) | (v.b << 16) | (v.a << 24);
}

float4 KR_OITUnpackColor(uint uiColor)
{
    return float4(uiColor & 0xFF, (uiColor >> 8) & 0xFF, (uiColor >> 16) & 0xFF, uiColor >> 24) / 255.0f;
}

uint KR_OITPackDepthCoverage(float fDepth, uint uiCoverage)
{
    return ((uint)(saturate(fDepth) * 16777215.0f) << 8) | (uiCoverage & 0xFFu);
}

float KR_OITUnpackDepth(uint uiDepthCoverage)
{
    return (float)(uiDepthCoverage >> 8) / 16777215.0f;
}

#endif
