// Metaballs in three passes over instanced screen quads (one per ball, built from the instance
// index) and one full-screen pass:
//   1. RenderVS_CoreRadius_MetaBalls / RenderScenePS_CoreRadiusDepth: each ball's core sphere
//      (core radius x effective radius) into the scene depth;
//   2. RenderVS_EffectiveRadius_MetaBalls / RenderScenePS_EffectiveRadiusStoreFragments: each
//      ball's sphere of influence, where it is not hidden by the cores' depth (t3, or t4 when
//      multisampled), joins the pixel's fragment list (u0 records, u1 heads);
//   3. RenderVS_PassThrough_MetaBalls / RenderScenePS_RayCastAndShadeMetaBalls: a ray through the
//      pixel marches the summed field of the listed balls and shades where it reaches the
//      threshold, reflecting the scene's cube maps.
// Constants at b0; balls at t0; the lists at t1 and t2 in pass 3.

#include "KR_ShaderCommon.hlsli"

// Balls a pixel's ray takes into account; further list entries are left out.
#define KR_MAX_BALLS_PER_PIXEL 16
#define KR_RAY_STEPS 48
#define KR_LIST_END 0xFFFFFFFFu

cbuffer KR_MetaBallConstants : register(b0)
{
    float4x4 g_mMetaInverseView;
    float4x4 g_mMetaViewProjection;
    float4x4 g_mMetaInverseProjection;
    float g_fMetaNear;
    float g_fMetaFar;
    float g_fMetaInverseDepthRange;
    float g_fMetaPadding0;
    float4 g_vMetaNearTopLeft;
    float4 g_vMetaNearTopRight;
    float4 g_vMetaNearBottomLeft;
    uint g_uiMetaWidth;
    uint g_uiMetaHeight;
    uint g_uiMetaBallCount;
    uint g_uiMetaSampleCount;
    float g_fMetaThreshold;   // the field at the core radius
    float g_fMetaCoreRadius;  // fraction of the effective radius
    float g_fMetaQuadScale;   // screen quads reach this far beyond the effective radius
    float g_fMetaPadding1;
};

// 32 bytes, as the engine copies them.
struct KR_MetaBallRecord
{
    float3 vPosition;
    float fRadius; // effective radius: the field ends here
    float4 vColor;
};

// 20 bytes: one sphere of influence crossing a pixel's ray, as distances along the ray.
struct KR_MetaBallFragment
{
    uint uiBall;
    float fEnter;
    float fExit;
    uint uiNext;
    uint uiPadding;
};

StructuredBuffer<KR_MetaBallRecord> g_MetaBalls : register(t0);
StructuredBuffer<KR_MetaBallFragment> g_MetaFragments : register(t1);
ByteAddressBuffer g_MetaHeads : register(t2);
Texture2D<float> g_tMetaCoreDepth : register(t3);
Texture2DMS<float> g_tMetaCoreDepthMS : register(t4);
RWStructuredBuffer<KR_MetaBallFragment> g_MetaFragmentsOut : register(u0);
RWByteAddressBuffer g_MetaHeadsOut : register(u1);

struct META_VS_INPUT
{
    float3 vPosition : SV_POSITION;
    uint uiInstance : SV_InstanceID;
};

struct META_PS_INPUT
{
    float4 vPosition : SV_POSITION;
    float3 vRayDirection : RAYDIRECTION; // world space, from the eye through the near plane
    nointerpolation uint uiBall : BALL;
};

float KR_MetaField(float fX)
{
    const float fX2 = fX * fX;
    return ((fX2 * -0.444444f + 1.888889f) * fX2 - 2.444444f) * fX2 + 1.0f;
}

float3 KR_MetaEye()
{
    return float3(g_mMetaInverseView._41, g_mMetaInverseView._42, g_mMetaInverseView._43);
}

// The world-space point of the near plane under a clip-space position.
float3 KR_MetaNearPoint(float2 vClip)
{
    const float2 vT = float2(vClip.x * 0.5f + 0.5f, 0.5f - vClip.y * 0.5f);
    return g_vMetaNearTopLeft.xyz + vT.x * (g_vMetaNearTopRight.xyz - g_vMetaNearTopLeft.xyz) +
           vT.y * (g_vMetaNearBottomLeft.xyz - g_vMetaNearTopLeft.xyz);
}

// A screen quad around the ball's sphere of the given radius, facing the camera.
META_PS_INPUT KR_MetaBallQuad(META_VS_INPUT input, float fRadiusScale)
{
    const KR_MetaBallRecord ball = g_MetaBalls[input.uiInstance];
    const float3 vRight = float3(g_mMetaInverseView._11, g_mMetaInverseView._12, g_mMetaInverseView._13);
    const float3 vUp = float3(g_mMetaInverseView._21, g_mMetaInverseView._22, g_mMetaInverseView._23);
    const float3 vToEye = normalize(KR_MetaEye() - ball.vPosition);
    const float fRadius = ball.fRadius * fRadiusScale * g_fMetaQuadScale;
    // Pulled towards the eye so the quad is not clipped by its own sphere.
    const float3 vCorner = ball.vPosition + vToEye * fRadius +
                           (input.vPosition.x * vRight + input.vPosition.y * vUp) * fRadius;
    META_PS_INPUT output;
    output.vPosition = mul(float4(vCorner, 1.0f), g_mMetaViewProjection);
    output.vRayDirection = vCorner - KR_MetaEye();
    output.uiBall = input.uiInstance;
    return output;
}

// Distances along the ray where it enters and leaves a sphere; false when it misses.
bool KR_MetaIntersect(float3 vOrigin, float3 vDirection, float3 vCentre, float fRadius, out float fEnter,
                      out float fExit)
{
    const float3 vOffset = vOrigin - vCentre;
    const float fB = dot(vOffset, vDirection);
    const float fC = dot(vOffset, vOffset) - fRadius * fRadius;
    const float fDiscriminant = fB * fB - fC;
    fEnter = 0.0f;
    fExit = 0.0f;
    if (fDiscriminant < 0.0f)
        return false;
    const float fRoot = sqrt(fDiscriminant);
    fEnter = max(-fB - fRoot, 0.0f);
    fExit = -fB + fRoot;
    return fExit > 0.0f;
}

// Distance along a unit ray of a depth-buffer value.
float KR_MetaDepthToDistance(float fDepth, float2 vClip, float3 vDirection)
{
    const float4 vView = mul(float4(vClip, fDepth, 1.0f), g_mMetaInverseProjection);
    const float3 vViewPoint = vView.xyz / vView.w;
    const float3 vWorld = mul(float4(vViewPoint, 1.0f), g_mMetaInverseView).xyz;
    return dot(vWorld - KR_MetaEye(), vDirection);
}

float2 KR_MetaClip(float4 vPosition)
{
    return float2(vPosition.x / g_uiMetaWidth * 2.0f - 1.0f, 1.0f - vPosition.y / g_uiMetaHeight * 2.0f);
}

META_PS_INPUT RenderVS_CoreRadius_MetaBalls(META_VS_INPUT input)
{
    return KR_MetaBallQuad(input, g_fMetaCoreRadius);
}

float RenderScenePS_CoreRadiusDepth(META_PS_INPUT input) : SV_DEPTH
{
    const KR_MetaBallRecord ball = g_MetaBalls[input.uiBall];
    const float3 vDirection = normalize(input.vRayDirection);
    float fEnter;
    float fExit;
    if (!KR_MetaIntersect(KR_MetaEye(), vDirection, ball.vPosition, ball.fRadius * g_fMetaCoreRadius, fEnter,
                          fExit))
        discard;
    const float4 vClip = mul(float4(KR_MetaEye() + vDirection * fEnter, 1.0f), g_mMetaViewProjection);
    return vClip.z / vClip.w;
}

META_PS_INPUT RenderVS_EffectiveRadius_MetaBalls(META_VS_INPUT input)
{
    return KR_MetaBallQuad(input, 1.0f);
}

[earlydepthstencil]
float4 RenderScenePS_EffectiveRadiusStoreFragments(META_PS_INPUT input) : SV_TARGET
{
    const KR_MetaBallRecord ball = g_MetaBalls[input.uiBall];
    const float3 vDirection = normalize(input.vRayDirection);
    float fEnter;
    float fExit;
    if (!KR_MetaIntersect(KR_MetaEye(), vDirection, ball.vPosition, ball.fRadius, fEnter, fExit))
        discard;
    // Nothing behind the nearest core (or the opaque scene) can show.
    const uint2 vPixel = (uint2)input.vPosition.xy;
    float fDepth;
    if (g_uiMetaSampleCount > 1)
        fDepth = g_tMetaCoreDepthMS.Load(vPixel, 0);
    else
        fDepth = g_tMetaCoreDepth.Load(uint3(vPixel, 0));
    fExit = min(fExit, KR_MetaDepthToDistance(fDepth, KR_MetaClip(input.vPosition), vDirection));
    if (fExit <= fEnter)
        discard;
    uint uiCount = 0;
    uint uiStride = 0;
    g_MetaFragmentsOut.GetDimensions(uiCount, uiStride);
    const uint uiFragment = g_MetaFragmentsOut.IncrementCounter();
    if (uiFragment >= uiCount)
        discard;
    uint uiPrevious = KR_LIST_END;
    g_MetaHeadsOut.InterlockedExchange((vPixel.y * g_uiMetaWidth + vPixel.x) * 4u, uiFragment, uiPrevious);
    KR_MetaBallFragment fragment;
    fragment.uiBall = input.uiBall;
    fragment.fEnter = fEnter;
    fragment.fExit = fExit;
    fragment.uiNext = uiPrevious;
    fragment.uiPadding = 0;
    g_MetaFragmentsOut[uiFragment] = fragment;
    // Only the lists are written in this pass.
    discard;
    return float4(0.0f, 0.0f, 0.0f, 0.0f);
}

META_PS_INPUT RenderVS_PassThrough_MetaBalls(META_VS_INPUT input)
{
    META_PS_INPUT output;
    output.vPosition = float4(input.vPosition.xy, 0.0f, 1.0f);
    output.vRayDirection = KR_MetaNearPoint(input.vPosition.xy) - KR_MetaEye();
    output.uiBall = 0;
    return output;
}

float4 RenderScenePS_RayCastAndShadeMetaBalls(META_PS_INPUT input) : SV_TARGET
{
    uint uiFragmentCount = 0;
    uint uiStride = 0;
    g_MetaFragments.GetDimensions(uiFragmentCount, uiStride);
    const uint2 vPixel = (uint2)input.vPosition.xy;
    uint auiBalls[KR_MAX_BALLS_PER_PIXEL];
    uint uiBalls = 0;
    float fStart = 1e30f;
    float fEnd = 0.0f;
    uint uiFragment = g_MetaHeads.Load((vPixel.y * g_uiMetaWidth + vPixel.x) * 4u);
    [loop] while (uiFragment != KR_LIST_END && uiFragment < uiFragmentCount && uiBalls < KR_MAX_BALLS_PER_PIXEL)
    {
        const KR_MetaBallFragment fragment = g_MetaFragments[uiFragment];
        auiBalls[uiBalls++] = fragment.uiBall;
        fStart = min(fStart, fragment.fEnter);
        fEnd = max(fEnd, fragment.fExit);
        uiFragment = fragment.uiNext;
    }
    if (uiBalls == 0)
        discard;

    const float3 vEye = KR_MetaEye();
    const float3 vDirection = normalize(input.vRayDirection);
    const float fStep = (fEnd - fStart) / KR_RAY_STEPS;
    float fDistance = fStart;
    bool bHit = false;
    [loop] for (uint uiStep = 0; uiStep <= KR_RAY_STEPS && !bHit; ++uiStep)
    {
        const float3 vPoint = vEye + vDirection * fDistance;
        float fField = 0.0f;
        [loop] for (uint i = 0; i < uiBalls; ++i)
        {
            const KR_MetaBallRecord ball = g_MetaBalls[auiBalls[i]];
            fField += KR_MetaField(saturate(length(vPoint - ball.vPosition) / ball.fRadius));
        }
        bHit = fField >= g_fMetaThreshold;
        if (!bHit)
            fDistance += fStep;
    }
    if (!bHit)
        discard;

    // Normal from the field's gradient, colour weighted by each ball's share of the field.
    const float3 vPoint = vEye + vDirection * fDistance;
    float3 vGradient = float3(0.0f, 0.0f, 0.0f);
    float4 vColor = float4(0.0f, 0.0f, 0.0f, 0.0f);
    float fWeights = 0.0f;
    [loop] for (uint i = 0; i < uiBalls; ++i)
    {
        const KR_MetaBallRecord ball = g_MetaBalls[auiBalls[i]];
        const float3 vOffset = vPoint - ball.vPosition;
        const float fWeight = KR_MetaField(saturate(length(vOffset) / ball.fRadius));
        vGradient += vOffset * fWeight / (ball.fRadius * ball.fRadius);
        vColor += ball.vColor * fWeight;
        fWeights += fWeight;
    }
    const float3 vNormal = normalize(vGradient);
    vColor /= max(fWeights, 1e-6f);
    const float fDiffuse = saturate(dot(vNormal, -vDirection));
    float3 vReflection = float3(0.0f, 0.0f, 0.0f);
    if (g_uiNumCubeMaps > 0)
        vReflection = g_tCubeMaps[0].SampleLevel(g_sClamp, reflect(vDirection, vNormal), 0.0f).rgb;
    return float4(vColor.rgb * (0.25f + 0.75f * fDiffuse) + vReflection * 0.25f, vColor.a);
}
