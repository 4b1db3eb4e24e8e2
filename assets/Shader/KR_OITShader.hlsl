// Resolves the transparent fragments that PS_OIT material programs collected: for each pixel (each
// sample with PS_IN_SAMPLEINDEX) the list is sorted back to front and blended over the opaque
// image. Drawn as a full-screen pass with VS_PASSTHROUGH; the engine's registers as everywhere.

#include "KR_ShaderCommon.hlsli"

#define KR_MAX_OIT_FRAGMENTS 16

struct KR_OITFragment
{
    uint uiColor;
    float fDepth;
    uint uiCoverage;
    uint uiNext;
};
ByteAddressBuffer g_OITHeads : register(t0);
StructuredBuffer<KR_OITFragment> g_OITFragments : register(t1);

float4 KR_UnpackColor(uint uiColor)
{
    return float4(uiColor & 0xFF, (uiColor >> 8) & 0xFF, (uiColor >> 16) & 0xFF, uiColor >> 24) / 255.0f;
}

float4 MainPS(PS_INPUT input
#ifdef PS_IN_SAMPLEINDEX
              , uint uiSample : SV_SampleIndex
#endif
              ) : SV_TARGET
{
#ifdef PS_IN_SAMPLEINDEX
    const uint uiSampleMask = 1u << uiSample;
#else
    const uint uiSampleMask = 0xFFFFFFFFu;
#endif
    uint auiColor[KR_MAX_OIT_FRAGMENTS];
    float afDepth[KR_MAX_OIT_FRAGMENTS];
    uint uiCount = 0;
    uint uiFragment = g_OITHeads.Load(((uint)input.vPosition.y * 8192u + (uint)input.vPosition.x) * 4u);
    [loop] while (uiFragment != 0xFFFFFFFFu && uiCount < KR_MAX_OIT_FRAGMENTS)
    {
        const KR_OITFragment fragment = g_OITFragments[uiFragment];
        if ((fragment.uiCoverage & uiSampleMask) != 0)
        {
            auiColor[uiCount] = fragment.uiColor;
            afDepth[uiCount] = fragment.fDepth;
            ++uiCount;
        }
        uiFragment = fragment.uiNext;
    }
    // Insertion sort, farthest first.
    [loop] for (uint i = 1; i < uiCount; ++i)
    {
        const uint uiColor = auiColor[i];
        const float fDepth = afDepth[i];
        int j = (int)i - 1;
        [loop] while (j >= 0 && afDepth[j] < fDepth)
        {
            auiColor[j + 1] = auiColor[j];
            afDepth[j + 1] = afDepth[j];
            --j;
        }
        auiColor[j + 1] = uiColor;
        afDepth[j + 1] = fDepth;
    }
    float4 vResult = float4(0.0f, 0.0f, 0.0f, 1.0f);
    [loop] for (uint k = 0; k < uiCount; ++k)
    {
        const float4 vColor = KR_UnpackColor(auiColor[k]);
        vResult.rgb = lerp(vResult.rgb, vColor.rgb, vColor.a);
        vResult.a *= 1.0f - vColor.a;
    }
    // Drawn with alpha blending over the opaque image: alpha is the coverage of the transparent layers.
    return float4(vResult.rgb, 1.0f - vResult.a);
}
