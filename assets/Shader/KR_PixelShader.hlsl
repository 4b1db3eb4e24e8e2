// The pixel stage of every material program and of the fixed programs.
//
// Material switches: PS_DIRECTIONAL, PS_DYNAMIC (spot and omni lights), PS_FOG, PS_BLEND (two
// specular maps blended by the mask), PS_ENVIRONMENTMAP, PS_LIGHTMAP, PS_AMBIENTOCCLUSION,
// PS_EMISSIVE0/1 (emissive mode bits: 1 diffuse alpha, 2 mask, both: the object colour), PS_PARALLAX0/1
// (parallax mode bits: 1 offset mapping, 2 occlusion mapping, both: occlusion with self-shadowing),
// PS_ALPHABLEND, PS_UVOFFSETS0..3 (uv sets moved by the parameter vector), PS_SPECIAL=<n> (a
// per-material special treatment), PS_OIT with PS_IN_COVERAGE (the fragment goes to the
// transparency lists), PS_SHADOWMAP with BLENDSTATE and DEPTHSTENCILSTATE (the shadow-map pass).
// Fixed programs: PS_LOADER, PS_FIXEDCOLOR, PS_HEADLIGHT, PS_DEBUGTEXTURE,
// PS_ALPHABLEND_TIMEPROGRESSION.

#include "KR_ShaderCommon.hlsli"

// The state names of the shadow-map pass, as numbers the preprocessor can compare.
#define DISABLED 0
#define ENABLEALPHABLENDING 1
#define ADDITIVEBLENDING 2
#define ENABLED 1
#define ENABLEDNOUPDATE 2

#ifdef PS_SHADOWMAP
#if !defined(BLENDSTATE) || !defined(DEPTHSTENCILSTATE)
#error the shadow-map pass needs BLENDSTATE and DEPTHSTENCILSTATE
#endif
#endif

#ifdef PS_OIT
// The transparency lists, written while the OIT renderer has them bound: fragments at u4 (with the
// append counter), list heads at u5.
#include "KR_OITCommon.hlsli"
RWStructuredBuffer<KR_OITFragment> g_OITFragments : register(u4);
RWByteAddressBuffer g_OITHeads : register(u5);
#endif

float2 KR_MaterialUV(PS_INPUT input, uint uiSet)
{
    float2 vUV = float2(0.0f, 0.0f);
#ifdef KR_PIXEL_UV0
    vUV = input.vUV0;
#endif
#ifdef KR_PIXEL_UV1
    if (uiSet == 1)
        vUV = input.vUV1;
#endif
#ifdef KR_PIXEL_UV2
    if (uiSet == 2)
        vUV = input.vUV2;
#endif
#ifdef KR_PIXEL_UV3
    if (uiSet == 3)
        vUV = input.vUV3;
#endif
    // Animated sets scroll with the parameter vector.
#ifdef PS_UVOFFSETS0
    if (uiSet == 0)
        vUV += g_vParameterVector.xy;
#endif
#ifdef PS_UVOFFSETS1
    if (uiSet == 1)
        vUV += g_vParameterVector.xy;
#endif
#ifdef PS_UVOFFSETS2
    if (uiSet == 2)
        vUV += g_vParameterVector.zw;
#endif
#ifdef PS_UVOFFSETS3
    if (uiSet == 3)
        vUV += g_vParameterVector.zw;
#endif
    return vUV;
}

float2 KR_Parallax(PS_INPUT input, float2 vUV)
{
#if defined(KR_PIXEL_PARALLAX) && (defined(PS_PARALLAX0) || defined(PS_PARALLAX1))
    const float3 vEye = normalize(input.vParallax);
    const float2 vStep = vEye.xy / max(vEye.z, 0.05f) * g_vParallaxHeight.x;
#if defined(PS_PARALLAX1)
    // Occlusion mapping: march the height field, more samples at grazing angles.
    const uint uiSamples = (uint)lerp((float)g_vParallaxSamples.y, (float)g_vParallaxSamples.x, vEye.z);
    const float fLayer = 1.0f / max(uiSamples, 1u);
    float fDepth = 0.0f;
    float2 vOffset = float2(0.0f, 0.0f);
    float fHeight = 1.0f - g_tHeightmap[0].SampleLevel(g_sWrap, vUV, 0).r - g_vParallaxHeight.y;
    [loop] for (uint i = 0; i < uiSamples && fDepth < fHeight; ++i)
    {
        fDepth += fLayer;
        vOffset -= vStep * fLayer;
        fHeight = 1.0f - g_tHeightmap[0].SampleLevel(g_sWrap, vUV + vOffset, 0).r - g_vParallaxHeight.y;
    }
    vUV += vOffset;
#else
    // Offset mapping: one step along the eye vector.
    const float fHeight = g_tHeightmap[0].Sample(g_sWrap, vUV).r + g_vParallaxHeight.y;
    vUV += vStep * (fHeight - 0.5f);
#endif
#endif
    return vUV;
}

float3 KR_SurfaceNormal(PS_INPUT input, float2 vUV)
{
#ifdef KR_PIXEL_NORMAL
    float3 vNormal = normalize(input.vNormal);
#if defined(KR_PIXEL_TANGENT) && defined(KR_PIXEL_BITANGENT)
    const float3 vMap = g_tNormal[0].Sample(g_sWrap, vUV * g_vTiles0[0].y).xyz * 2.0f - 1.0f;
    vNormal = normalize(vMap.x * input.vTangent + vMap.y * input.vBitangent + vMap.z * vNormal);
#endif
    return vNormal;
#else
    // Without interpolated normals the face normal comes from the screen-space derivatives.
    return normalize(cross(ddx(input.vPosition.xyz), ddy(input.vPosition.xyz)));
#endif
}

#ifdef PS_SPECIAL
// Special treatments, chosen per material: 1 rim light, 2 unlit, 3 inverted diffuse; others none.
float4 KR_Special(float4 vColor, float3 vNormal, float3 vEye)
{
#if PS_SPECIAL == 1
    vColor.rgb += pow(1.0f - saturate(dot(vNormal, vEye)), 4.0f) * g_vObjectColor.rgb;
#elif PS_SPECIAL == 3
    vColor.rgb = 1.0f - vColor.rgb;
#endif
    return vColor;
}
#endif

float4 MainPS(PS_INPUT input
#ifdef PS_IN_COVERAGE
              , uint uiCoverage : SV_Coverage
#endif
              ) : SV_TARGET
{
#if defined(PS_SHADOWMAP)
#ifdef KR_PIXEL_PROJECTEDZ
    const float fDepth = input.vProjectedZ.x / input.vProjectedZ.y;
#else
    const float fDepth = input.vPosition.z;
#endif
#if DEPTHSTENCILSTATE == ENABLEDNOUPDATE
    // Casters that leave the depth alone (the blended ones) shadow by their opacity.
    const float fOpacity = g_vObjectColor.a;
#else
    const float fOpacity = 1.0f;
#endif
#if BLENDSTATE == ADDITIVEBLENDING
    // Light-adding surfaces cast no shadow.
    return float4(0.0f, 0.0f, 0.0f, 0.0f);
#else
    // Depth and its square, for filtered shadows.
    return float4(fDepth, fDepth * fDepth, 0.0f, fOpacity);
#endif

#elif defined(PS_LOADER)
    // The loading wedge: its geometry already covers the loaded share of the screen.
    return float4(0.25f, 0.25f, 0.25f, 1.0f);

#elif defined(PS_FIXEDCOLOR)
    return g_vObjectColor;

#elif defined(PS_HEADLIGHT)
    // Lit from the eye: editor objects stay readable from every side.
    const float3 vNormal = KR_SurfaceNormal(input, float2(0.0f, 0.0f));
    return float4(g_vObjectColor.rgb * (0.3f + 0.7f * abs(vNormal.z)), g_vObjectColor.a);

#elif defined(PS_DEBUGTEXTURE)
    float4 vColor = float4(1.0f, 0.0f, 1.0f, 1.0f);
#ifdef KR_PIXEL_UV0
    vColor = g_tDiffuse[0].Sample(g_sClamp, input.vUV0);
#endif
#if defined(PS_ALPHABLEND) && defined(PS_ALPHABLEND_TIMEPROGRESSION)
    vColor.a *= saturate(g_fFrameScalar);
#endif
    return vColor;

#else
    float2 vUV = KR_Parallax(input, KR_MaterialUV(input, g_vUVs0[0].x));
    float4 vDiffuse = g_tDiffuse[0].Sample(g_sWrap, vUV * g_vTiles0[0].x) * g_vObjectColor;
    const float3 vNormal = KR_SurfaceNormal(input, vUV);
#ifdef KR_PIXEL_WORLDPOS
    const float3 vEye = normalize(g_vCameraPosition.xyz - input.vWorldPosition);
#else
    const float3 vEye = float3(0.0f, 0.0f, 1.0f);
#endif

    float fSpecularMask = g_tSpecular[0].Sample(g_sWrap, vUV * g_vTiles0[0].z).r;
#ifdef PS_BLEND
    const float fBlend = g_tMask.Sample(g_sWrap, KR_MaterialUV(input, g_vUVs1[0].y) * g_vTiles1[0].y).r;
    fSpecularMask = lerp(fSpecularMask, g_tSpecular[1].Sample(g_sWrap, vUV * g_vTiles0[1].z).r, fBlend);
#endif
    const float fGloss = g_tGloss[0].Sample(g_sWrap, vUV * g_vTiles1[0].x).r;
    const float fPower = g_vSpecularPower[0].x * max(fGloss, 0.05f);

    float3 vLight = g_vAmbientLightColor.rgb;
#ifdef PS_LIGHTMAP
    vLight += g_tLightmap.Sample(g_sClamp, KR_MaterialUV(input, g_vUVs1[0].z) * g_vTiles1[0].z).rgb;
#endif
    float3 vSpecular = float3(0.0f, 0.0f, 0.0f);
#ifdef PS_DIRECTIONAL
    {
        const float3 vToLight = normalize(g_vFrameVector2.xyz);
        vLight += g_vFrameColor1 * saturate(dot(vNormal, vToLight));
        vSpecular += g_vFrameColor1 * pow(saturate(dot(vNormal, normalize(vToLight + vEye))), fPower);
    }
#endif
#if defined(PS_DYNAMIC) && defined(KR_PIXEL_WORLDPOS)
    [loop] for (uint uiSpot = 0; uiSpot < min(g_uiNumSpotLights, (uint)KR_MAX_SHADOW_MAPS); ++uiSpot)
    {
        const float3 vToLight = g_vSpotPosition[uiSpot].xyz - input.vWorldPosition;
        const float fDistance = length(vToLight);
        const float3 vDirection = vToLight / max(fDistance, 0.0001f);
        const float fCone = smoothstep(g_vSpotCone[uiSpot].y, g_vSpotCone[uiSpot].x,
                                       dot(-vDirection, g_vSpotDirection[uiSpot].xyz));
        const float4 vShadow = mul(float4(input.vWorldPosition, 1.0f), g_mShadowMatrices[uiSpot]);
        const float fLit = g_tShadowMaps[uiSpot].SampleCmpLevelZero(
            g_sShadow, vShadow.xy / vShadow.w, vShadow.z / vShadow.w - g_vSpotShadowBias[uiSpot].x);
        const float fFalloff = 1.0f / (g_vSpotAttenuation[uiSpot].x + g_vSpotAttenuation[uiSpot].y * fDistance +
                                       g_vSpotAttenuation[uiSpot].z * fDistance * fDistance);
        vLight += g_vSpotColor[uiSpot].rgb * saturate(dot(vNormal, vDirection)) * fCone * fLit * fFalloff;
    }
    [loop] for (uint uiOmni = 0; uiOmni < min(g_uiNumOmniLights, (uint)KR_MAX_LIGHTS); ++uiOmni)
    {
        // Line lights light from the nearest point of their segment.
        float3 vLightPosition = g_vOmniPosition[uiOmni].xyz;
        if (g_vOmniKind[uiOmni].x != 0)
        {
            const float3 vSegment = g_vOmniSecondPoint[uiOmni].xyz - vLightPosition;
            const float fAlong = saturate(dot(input.vWorldPosition - vLightPosition, vSegment) /
                                          max(dot(vSegment, vSegment), 0.0001f));
            vLightPosition += vSegment * fAlong;
        }
        const float3 vToLight = vLightPosition - input.vWorldPosition;
        const float fDistance = length(vToLight);
        const float fFalloff = 1.0f / (g_vOmniAttenuation[uiOmni].x + g_vOmniAttenuation[uiOmni].y * fDistance +
                                       g_vOmniAttenuation[uiOmni].z * fDistance * fDistance);
        vLight += g_vOmniColor[uiOmni].rgb * saturate(dot(vNormal, vToLight / max(fDistance, 0.0001f))) * fFalloff;
    }
#endif
#ifdef PS_AMBIENTOCCLUSION
    vLight *= g_tAmbientOcclusion.Sample(g_sClamp, KR_MaterialUV(input, g_vUVs1[0].w) * g_vTiles1[0].w).r;
#endif

    float4 vColor = float4(vDiffuse.rgb * vLight + vSpecular * fSpecularMask, vDiffuse.a);
#ifdef PS_ENVIRONMENTMAP
    {
        const float3 vReflection = reflect(-vEye, vNormal);
        const float fRoughness = g_tRoughness[0].Sample(g_sWrap, vUV * g_vTiles0[0].w).r;
        // A material without its own cube map reflects the scene's first one.
        float3 vEnvironment = g_tMaterialCubeMap.SampleLevel(g_sClamp, vReflection, g_vCubeValues[0].x * fRoughness).rgb;
        if (g_uiNumCubeMaps > 0)
            vEnvironment = g_tCubeMaps[0].SampleLevel(g_sClamp, vReflection, g_vCubeValues[0].x * fRoughness).rgb;
        vColor.rgb += vEnvironment * fSpecularMask;
    }
#endif
#if defined(PS_EMISSIVE0) && defined(PS_EMISSIVE1)
    vColor.rgb += g_vObjectColor.rgb;
#elif defined(PS_EMISSIVE0)
    vColor.rgb += vDiffuse.rgb * vDiffuse.a;
#elif defined(PS_EMISSIVE1)
    vColor.rgb += vDiffuse.rgb * g_tMask.Sample(g_sWrap, vUV * g_vTiles1[0].y).r;
#endif
#ifdef PS_FOG
#ifdef KR_PIXEL_WORLDPOS
    const float fFog = saturate((length(g_vCameraPosition.xyz - input.vWorldPosition) - g_vFrameRange.x) /
                                max(g_vFrameRange.z, 0.0001f));
    vColor.rgb = lerp(vColor.rgb, g_vFrameColor0.rgb, fFog);
#endif
#endif
#ifdef PS_ALPHABLEND
    vColor.a *= g_tTransparency[0].Sample(g_sWrap, KR_MaterialUV(input, g_vUVs2[0].y) * g_vTiles2[0].y).r;
#endif
#ifdef PS_SPECIAL
    vColor = KR_Special(vColor, vNormal, vEye);
#if PS_SPECIAL == 2
    vColor.rgb = vDiffuse.rgb;
#endif
#endif
#ifdef PS_OIT
    {
        // The fragment joins its pixel's list; the OIT renderer blends the lists afterwards. A
        // fragment past the end of the pool is dropped.
        uint uiFragmentCount = 0;
        uint uiStride = 0;
        g_OITFragments.GetDimensions(uiFragmentCount, uiStride);
        const uint uiFragment = g_OITFragments.IncrementCounter();
        if (uiFragment < uiFragmentCount)
        {
            uint uiPrevious = KR_OIT_END_OF_LIST;
            g_OITHeads.InterlockedExchange(KR_OITHeadAddress(input.vPosition), uiFragment, uiPrevious);
            KR_OITFragment fragment;
            fragment.uiColor = KR_OITPackColor(vColor);
#ifdef PS_IN_COVERAGE
            fragment.uiDepthCoverage = KR_OITPackDepthCoverage(input.vPosition.z, uiCoverage);
#else
            fragment.uiDepthCoverage = KR_OITPackDepthCoverage(input.vPosition.z, 0xFFu);
#endif
            fragment.uiNext = uiPrevious;
            g_OITFragments[uiFragment] = fragment;
        }
        // The colour reaches the image through the resolve only: the material's opaque blend
        // state must not write it now (the list writes above stay).
        discard;
        return float4(0.0f, 0.0f, 0.0f, 0.0f);
    }
#endif
    return vColor;
#endif
}
