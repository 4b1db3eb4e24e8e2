// Resolves the transparent fragments that PS_OIT material programs collected: for each pixel (each
// sample with PS_IN_SAMPLEINDEX) the list is sorted back to front and blended over the opaque
// image. Drawn as a full-screen pass with VS_PASSTHROUGH and alpha blending; the lists are read at
// t0 (fragments) and t1 (heads), the back-buffer width at b13.

#include "KR_ShaderCommon.hlsli"
#include "KR_OITCommon.hlsli"

// Layers blended per pixel; the nearest ones are kept when a list is longer.
#define KR_MAX_OIT_FRAGMENTS 16

StructuredBuffer<KR_OITFragment> g_OITFragments : register(t0);
ByteAddressBuffer g_OITHeads : register(t1);

float4 MainPS(PS_INPUT input
#ifdef PS_IN_SAMPLEINDEX
              , uint uiSample : SV_SampleIndex
#endif
              ) : SV_TARGET
{
#ifdef PS_IN_SAMPLEINDEX
    const uint uiSampleMask = 1u << uiSample;
#else
    const uint uiSampleMask = 0xFFu;
#endif
    uint uiFragmentCount = 0;
    uint uiStride = 0;
    g_OITFragments.GetDimensions(uiFragmentCount, uiStride);

    uint auiColor[KR_MAX_OIT_FRAGMENTS];
    float afDepth[KR_MAX_OIT_FRAGMENTS];
    uint uiCount = 0;
    uint uiFragment = g_OITHeads.Load(KR_OITHeadAddress(input.vPosition));
    // An index past the pool (a list written by a dropped append) ends the list as well.
    [loop] while (uiFragment != KR_OIT_END_OF_LIST && uiFragment < uiFragmentCount)
    {
        const KR_OITFragment fragment = g_OITFragments[uiFragment];
        if ((fragment.uiDepthCoverage & uiSampleMask) != 0)
        {
            const float fDepth = KR_OITUnpackDepth(fragment.uiDepthCoverage);
            if (uiCount < KR_MAX_OIT_FRAGMENTS)
            {
                auiColor[uiCount] = fragment.uiColor;
                afDepth[uiCount] = fDepth;
                ++uiCount;
            }
            else
            {
                // Full: the farthest kept layer gives way to a nearer one.
                uint uiFarthest = 0;
                [loop] for (uint k = 1; k < KR_MAX_OIT_FRAGMENTS; ++k)
                {
                    if (afDepth[k] > afDepth[uiFarthest])
                        uiFarthest = k;
                }
                if (fDepth < afDepth[uiFarthest])
                {
                    auiColor[uiFarthest] = fragment.uiColor;
                    afDepth[uiFarthest] = fDepth;
                }
            }
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
        const float4 vColor = KR_OITUnpackColor(auiColor[k]);
        vResult.rgb = lerp(vResult.rgb, vColor.rgb, vColor.a);
        vResult.a *= 1.0f - vColor.a;
    }
    // Alpha is the coverage of the transparent layers over the opaque image.
    return float4(vResult.rgb, 1.0f - vResult.a);
}
