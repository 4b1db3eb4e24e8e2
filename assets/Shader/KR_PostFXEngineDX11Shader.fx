// Post-processing of the frame: full-screen passes over the HDR scene image (reductions, bright
// pass, separable blurs, composites, colour grading, lens effects) and the volume-lighting march.
// The engine addresses the techniques by position: their names and order are its technique
// roles (KR_PostFXEngineDX11::Technique), and it leaves post-processing off for a file where
// they differ.

#define KR_MAX_SPOT_LIGHTS 3
#define KR_MAX_OMNI_LIGHTS 32

// ---- images ----
Texture2D g_tSourceTexture1;
Texture2D g_tSourceTexture2;
Texture2D g_tSourceTexture3;
Texture3D g_tColorCubeTexture1;
Texture3D g_tColorCubeTexture2;
Texture2D<float> g_tDepthTexture;
Texture2DMS<float> g_tDepthTextureMS;
Texture2D<float> g_tShadowMap[KR_MAX_SPOT_LIGHTS];

// ---- constants ----
float4 g_vTextureSize; // 1/source width, 1/source height, 1/target width, 1/target height
float g_fLuminance;
float g_fBloomStrength;
float g_fNear;
float g_fFar;
float g_fOneOverFar;
float4 g_vFocalPlane1; // near focus, near blur end, 1/near blur end, 1/far focus start
float4 g_vFocalPlane2; // 0, far focus, 1/far focus, 1/far blur end
float4 g_vFXPreColorOffset;
float4 g_vFXMultColorOffset;
float4 g_vFXPostColorOffset;
float g_fColorBlend;
int g_iNumberOfSamples;
float4 g_vRGBScale; // r, g, b, u0
float4 g_vUVScale;  // u0, u1, u2, u2 * aspect

float4x4 g_mWorldViewProjection;
float4x4 g_mInvProjection;
float4x4 g_mSpotLightProjection[KR_MAX_SPOT_LIGHTS];
int g_iNumberOfSpotLights;
float4 g_vSpotLightPosition[KR_MAX_SPOT_LIGHTS];
float4 g_vSpotLightDirection[KR_MAX_SPOT_LIGHTS];
float4 g_vSpotLightColor[KR_MAX_SPOT_LIGHTS];
float4 g_vSpotLightFOVCosAngle[KR_MAX_SPOT_LIGHTS];
float4 g_vSpotLightAttenuation[KR_MAX_SPOT_LIGHTS];
float4 g_vSpotLightShadowBias[KR_MAX_SPOT_LIGHTS];
int g_iNumberOfOmniLights; // tube lights included, listed first
int g_iNumberOfTubeLights;
float4 g_vOmniLightColor[KR_MAX_OMNI_LIGHTS];
float4 g_vOmniLightAttenuation[KR_MAX_OMNI_LIGHTS];
float4 g_vOmniLightPosition[KR_MAX_OMNI_LIGHTS];
float4 g_vOmniLightPosition2[KR_MAX_OMNI_LIGHTS]; // second end of each tube light
float4 g_vFrustrumCorners[3];                      // near plane: top left, top right, bottom left
float4 g_vCameraPosition;
float g_fViewRayOffsets[4];
int g_iTraceSteps;
float g_fTraceStepFactor;
float4 g_fRandomFactor; // f, 1 - f/2

// ---- states ----
SamplerState g_sLinearClamp
{
    Filter = MIN_MAG_MIP_LINEAR;
    AddressU = CLAMP;
    AddressV = CLAMP;
    AddressW = CLAMP;
};
SamplerState g_sPointClamp
{
    Filter = MIN_MAG_MIP_POINT;
    AddressU = CLAMP;
    AddressV = CLAMP;
};
SamplerComparisonState g_sShadowCompare
{
    Filter = COMPARISON_MIN_MAG_LINEAR_MIP_POINT;
    AddressU = BORDER;
    AddressV = BORDER;
    ComparisonFunc = LESS_EQUAL;
};
BlendState NoBlending
{
    BlendEnable[0] = FALSE;
};
BlendState AdditiveBlending
{
    BlendEnable[0] = TRUE;
    SrcBlend = ONE;
    DestBlend = ONE;
    BlendOp = ADD;
};
DepthStencilState NoDepth
{
    DepthEnable = FALSE;
    DepthWriteMask = ZERO;
};
DepthStencilState VolumeDepth
{
    DepthEnable = TRUE;
    DepthWriteMask = ALL;
    DepthFunc = LESS_EQUAL;
};

// ---- shared ----
struct VS_QUAD_IN
{
    float3 vPosition : SV_POSITION;
    float2 vUV : TEXCOORD0;
};
struct VS_POSITION_IN
{
    float3 vPosition : SV_POSITION;
};
struct PS_QUAD_IN
{
    float4 vPosition : SV_POSITION;
    float2 vUV : TEXCOORD0;
};

static const float3 LUMINANCE_WEIGHTS = float3(0.2126f, 0.7152f, 0.0722f);
static const float GAUSS_WEIGHTS[5] = {0.2270270f, 0.1945946f, 0.1216216f, 0.0540540f, 0.0162162f};

PS_QUAD_IN VS_Quad(VS_QUAD_IN input)
{
    PS_QUAD_IN output;
    output.vPosition = float4(input.vPosition, 1.0f);
    output.vUV = input.vUV;
    return output;
}

float4 VS_Position(VS_POSITION_IN input) : SV_POSITION
{
    return mul(float4(input.vPosition, 1.0f), g_mWorldViewProjection);
}

float LinearDepth(float fDepth)
{
    // Projected depth back to view distance, divided by the far plane.
    return g_fNear / (g_fFar - fDepth * (g_fFar - g_fNear)) * g_fFar * g_fOneOverFar;
}

float SceneDepth(float2 vUV, float4 vPosition)
{
    if (g_iNumberOfSamples > 1)
        return g_tDepthTextureMS.Load(int2(vPosition.xy), 0);
    return g_tDepthTexture.SampleLevel(g_sPointClamp, vUV, 0);
}

float4 Blur(float2 vUV, float2 vStep)
{
    float4 vSum = g_tSourceTexture1.Sample(g_sLinearClamp, vUV) * GAUSS_WEIGHTS[0];
    [unroll] for (int i = 1; i < 5; ++i)
    {
        vSum += g_tSourceTexture1.Sample(g_sLinearClamp, vUV + vStep * i) * GAUSS_WEIGHTS[i];
        vSum += g_tSourceTexture1.Sample(g_sLinearClamp, vUV - vStep * i) * GAUSS_WEIGHTS[i];
    }
    return vSum;
}

// ---- screen passes ----
float4 PS_DownsampleQuarter(PS_QUAD_IN input) : SV_TARGET
{
    float4 vSum = 0.0f;
    [unroll] for (int y = -1; y <= 2; y += 2)
        [unroll] for (int x = -1; x <= 2; x += 2)
            vSum += g_tSourceTexture1.Sample(g_sLinearClamp, input.vUV + float2(x, y) * g_vTextureSize.xy);
    return vSum * 0.25f;
}

float4 PS_Copy(PS_QUAD_IN input) : SV_TARGET
{
    return g_tSourceTexture1.Sample(g_sLinearClamp, input.vUV);
}

float4 PS_DownsampleHalf(PS_QUAD_IN input) : SV_TARGET
{
    float4 vSum = 0.0f;
    vSum += g_tSourceTexture1.Sample(g_sLinearClamp, input.vUV + float2(-0.5f, -0.5f) * g_vTextureSize.xy);
    vSum += g_tSourceTexture1.Sample(g_sLinearClamp, input.vUV + float2(0.5f, -0.5f) * g_vTextureSize.xy);
    vSum += g_tSourceTexture1.Sample(g_sLinearClamp, input.vUV + float2(-0.5f, 0.5f) * g_vTextureSize.xy);
    vSum += g_tSourceTexture1.Sample(g_sLinearClamp, input.vUV + float2(0.5f, 0.5f) * g_vTextureSize.xy);
    return vSum * 0.25f;
}

float4 PS_Compose(PS_QUAD_IN input) : SV_TARGET
{
    return g_tSourceTexture2.Sample(g_sLinearClamp, input.vUV) + g_tSourceTexture1.Sample(g_sLinearClamp, input.vUV);
}

float4 PS_ComposeBloom(PS_QUAD_IN input) : SV_TARGET
{
    const float4 vScene = g_tSourceTexture2.Sample(g_sLinearClamp, input.vUV);
    const float4 vBloom = g_tSourceTexture1.Sample(g_sLinearClamp, input.vUV);
    return float4(vScene.rgb + vBloom.rgb * (1.0f - saturate(vScene.rgb)), vScene.a);
}

float4 PS_BrightPass(PS_QUAD_IN input) : SV_TARGET
{
    const float4 vColour = g_tSourceTexture1.Sample(g_sLinearClamp, input.vUV);
    const float fLuminance = dot(vColour.rgb, LUMINANCE_WEIGHTS);
    return float4(vColour.rgb * max(fLuminance - g_fLuminance, 0.0f) / max(fLuminance, 0.0001f), 1.0f);
}

float4 PS_BloomBlurFirst(PS_QUAD_IN input) : SV_TARGET
{
    return Blur(input.vUV, float2(g_vTextureSize.x, 0.0f)) * g_fBloomStrength;
}

float4 PS_BloomBlurSecond(PS_QUAD_IN input) : SV_TARGET
{
    return Blur(input.vUV, float2(0.0f, g_vTextureSize.y)) * g_fBloomStrength;
}

float4 PS_BlurFirst(PS_QUAD_IN input) : SV_TARGET
{
    return Blur(input.vUV, float2(g_vTextureSize.x, 0.0f));
}

float4 PS_BlurSecond(PS_QUAD_IN input) : SV_TARGET
{
    return Blur(input.vUV, float2(0.0f, g_vTextureSize.y));
}

float4 PS_ComposeDepthOfField(PS_QUAD_IN input) : SV_TARGET
{
    const float fDepth = LinearDepth(SceneDepth(input.vUV, input.vPosition));
    const float4 vQuarter = g_tSourceTexture1.Sample(g_sLinearClamp, input.vUV);
    const float4 vSixteenth = g_tSourceTexture2.Sample(g_sLinearClamp, input.vUV);
    const float4 vSharp = g_tSourceTexture3.Sample(g_sLinearClamp, input.vUV);
    // Blur grows in front of the near focus and behind the far focus.
    const float fNear = saturate((g_vFocalPlane1.x - fDepth) * g_vFocalPlane1.z);
    const float fFar = saturate((fDepth - g_vFocalPlane2.y) * g_vFocalPlane2.z * g_vFocalPlane1.w / g_vFocalPlane2.w);
    const float fBlur = max(fNear, fFar);
    const float4 vBlurred = lerp(vQuarter, vSixteenth, saturate(fBlur * 2.0f - 1.0f));
    return lerp(vSharp, vBlurred, saturate(fBlur * 2.0f));
}

float4 PS_ColorOffsets(PS_QUAD_IN input) : SV_TARGET
{
    const float4 vColour = g_tSourceTexture1.Sample(g_sLinearClamp, input.vUV);
    return (vColour + g_vFXPreColorOffset) * g_vFXMultColorOffset + g_vFXPostColorOffset;
}

float4 DepthFilter(PS_QUAD_IN input, float fDepth)
{
    const float fLinear = LinearDepth(fDepth);
    const float4 vColour = g_tSourceTexture1.Sample(g_sLinearClamp, input.vUV);
    return vColour * saturate(1.0f - fLinear);
}

float4 PS_DepthFilter(PS_QUAD_IN input) : SV_TARGET
{
    return DepthFilter(input, g_tDepthTexture.SampleLevel(g_sPointClamp, input.vUV, 0));
}

float4 PS_DepthFilterMS(PS_QUAD_IN input) : SV_TARGET
{
    return DepthFilter(input, g_tDepthTextureMS.Load(int2(input.vPosition.xy), 0));
}

float3 Grade(Texture3D tCube, float3 vColour)
{
    // Half-texel inset so the cube's edge texels map to 0 and 1.
    return tCube.SampleLevel(g_sLinearClamp, saturate(vColour) * (15.0f / 16.0f) + 0.5f / 16.0f, 0).rgb;
}

float4 PS_ColorCube(PS_QUAD_IN input) : SV_TARGET
{
    const float4 vColour = g_tSourceTexture1.Sample(g_sLinearClamp, input.vUV);
    return float4(Grade(g_tColorCubeTexture1, vColour.rgb), vColour.a);
}

float4 PS_ColorCubeBlend(PS_QUAD_IN input) : SV_TARGET
{
    const float4 vColour = g_tSourceTexture1.Sample(g_sLinearClamp, input.vUV);
    const float3 vFirst = Grade(g_tColorCubeTexture1, vColour.rgb);
    const float3 vSecond = Grade(g_tColorCubeTexture2, vColour.rgb);
    return float4(lerp(vFirst, vSecond, g_fColorBlend), vColour.a);
}

float4 PS_RGBScale(PS_QUAD_IN input) : SV_TARGET
{
    // Each channel read through its own zoom around the centre.
    const float2 vCentre = float2(0.5f, 0.5f);
    const float2 vUV = input.vUV - vCentre;
    const float r = g_tSourceTexture1.Sample(g_sLinearClamp, vCentre + vUV / g_vUVScale.x).r;
    const float g = g_tSourceTexture1.Sample(g_sLinearClamp, vCentre + vUV / g_vUVScale.y).g;
    const float b = g_tSourceTexture1.Sample(g_sLinearClamp, vCentre + vUV / g_vUVScale.z).b;
    return float4(float3(r, g, b) * g_vRGBScale.rgb, 1.0f);
}

float4 PS_UVScale(PS_QUAD_IN input) : SV_TARGET
{
    const float2 vUV = (input.vUV - 0.5f) * float2(g_vUVScale.w / g_vUVScale.z, 1.0f) + 0.5f;
    return g_tSourceTexture1.Sample(g_sLinearClamp, vUV);
}

float4 PS_DirtyLens(PS_QUAD_IN input) : SV_TARGET
{
    // The bright image mirrored through the centre: the ghosts a real lens throws.
    const float4 vDirect = g_tSourceTexture1.Sample(g_sLinearClamp, input.vUV);
    const float4 vGhost = g_tSourceTexture1.Sample(g_sLinearClamp, 1.0f - input.vUV);
    return vDirect + vGhost * 0.5f;
}

float4 PS_ComposeDirtyLens(PS_QUAD_IN input) : SV_TARGET
{
    const float4 vScene = g_tSourceTexture2.Sample(g_sLinearClamp, input.vUV);
    const float4 vGlow = g_tSourceTexture1.Sample(g_sLinearClamp, input.vUV);
    const float4 vDirt = g_tSourceTexture3.Sample(g_sLinearClamp, input.vUV);
    return float4(vScene.rgb + vGlow.rgb * (1.0f + vDirt.rgb), vScene.a);
}

// ---- volume lighting ----
// The ray from the camera to this pixel's point on the near plane (view depth g_fNear).
float3 ViewRay(float2 vUV)
{
    return g_vFrustrumCorners[0].xyz + (g_vFrustrumCorners[1].xyz - g_vFrustrumCorners[0].xyz) * vUV.x +
           (g_vFrustrumCorners[2].xyz - g_vFrustrumCorners[0].xyz) * vUV.y - g_vCameraPosition.xyz;
}

// Strength over (constant + linear d + quadratic d^2), never divided by zero.
float Falloff(float4 vAttenuation, float fDistance)
{
    return vAttenuation.w / max(vAttenuation.x + vAttenuation.y * fDistance + vAttenuation.z * fDistance * fDistance,
                                0.0001f);
}

float3 ScatterAt(float3 vPoint)
{
    float3 vLight = 0.0f;
    [loop] for (int s = 0; s < g_iNumberOfSpotLights; ++s)
    {
        const float3 vToPoint = vPoint - g_vSpotLightPosition[s].xyz;
        const float fDistance = length(vToPoint);
        const float fCos = dot(vToPoint / max(fDistance, 0.0001f), g_vSpotLightDirection[s].xyz);
        // Full inside the inner cone (x), none outside the outer one (y).
        const float fCone = smoothstep(g_vSpotLightFOVCosAngle[s].y, g_vSpotLightFOVCosAngle[s].x, fCos);
        const float4 vShadow = mul(float4(vPoint, 1.0f), g_mSpotLightProjection[s]);
        const float2 vShadowUV = vShadow.xy / vShadow.w * float2(0.5f, -0.5f) + 0.5f;
        const float fLit = g_tShadowMap[s].SampleCmpLevelZero(
            g_sShadowCompare, vShadowUV, vShadow.z / vShadow.w - g_vSpotLightShadowBias[s].x);
        vLight += g_vSpotLightColor[s].rgb * fCone * fLit * Falloff(g_vSpotLightAttenuation[s], fDistance);
    }
    [loop] for (int o = 0; o < g_iNumberOfOmniLights; ++o)
    {
        // Tube lights come first and scatter from the nearest point of their segment.
        float3 vNearest = g_vOmniLightPosition[o].xyz;
        if (o < g_iNumberOfTubeLights)
        {
            const float3 vAxis = g_vOmniLightPosition2[o].xyz - vNearest;
            vNearest += vAxis * saturate(dot(vPoint - vNearest, vAxis) / max(dot(vAxis, vAxis), 0.0001f));
        }
        vLight += g_vOmniLightColor[o].rgb * Falloff(g_vOmniLightAttenuation[o], length(vPoint - vNearest));
    }
    return vLight;
}

float4 PS_VolumeMarch(PS_QUAD_IN input) : SV_TARGET
{
    const float3 vNearRay = ViewRay(input.vUV);
    const float fNearDistance = length(vNearRay);
    const float3 vRay = vNearRay / fNearDistance;
    // The scene's distance along the ray: its view depth through the inverse projection, scaled
    // by how far the ray runs per unit of view depth.
    const float2 vClip = float2(input.vUV.x * 2.0f - 1.0f, 1.0f - input.vUV.y * 2.0f);
    const float4 vView = mul(float4(vClip, SceneDepth(input.vUV, input.vPosition), 1.0f), g_mInvProjection);
    const float fScene = vView.z / vView.w * fNearDistance / max(g_fNear, 0.0001f);
    const int iOffset = (int)(frac(sin(dot(input.vPosition.xy, float2(12.9898f, 78.233f))) * 43758.5453f) * 4.0f);
    const float fStep = (g_fFar - g_fNear) / max(g_iTraceSteps, 1);
    float3 vSum = 0.0f;
    [loop] for (int i = 0; i < g_iTraceSteps; ++i)
    {
        const float fDistance = fNearDistance + fStep * i + g_fViewRayOffsets[iOffset] * g_fRandomFactor.x;
        if (fDistance > fScene)
            break;
        vSum += ScatterAt(g_vCameraPosition.xyz + vRay * fDistance);
    }
    return float4(vSum * g_fTraceStepFactor * g_fRandomFactor.y, 1.0f);
}

float4 PS_VolumeDownFilter(PS_QUAD_IN input) : SV_TARGET
{
    return PS_DownsampleHalf(input);
}

float4 PS_VolumeCompose(PS_QUAD_IN input) : SV_TARGET
{
    return g_tSourceTexture2.Sample(g_sLinearClamp, input.vUV) + g_tSourceTexture1.Sample(g_sLinearClamp, input.vUV);
}

float4 PS_VolumeDepth(float4 vPosition : SV_POSITION) : SV_TARGET
{
    return 0.0f;
}

// ---- techniques, in the order of the engine's technique roles ----
#define KR_SCREEN_PASS(ps)                                                                                    \
    SetVertexShader(CompileShader(vs_5_0, VS_Quad()));                                                       \
    SetGeometryShader(NULL);                                                                                  \
    SetPixelShader(CompileShader(ps_5_0, ps()));                                                              \
    SetBlendState(NoBlending, float4(0.0f, 0.0f, 0.0f, 0.0f), 0xFFFFFFFF);                                   \
    SetDepthStencilState(NoDepth, 0)

technique11 DownsampleQuarter { pass P0 { KR_SCREEN_PASS(PS_DownsampleQuarter); } }
technique11 UpsampleQuarter { pass P0 { KR_SCREEN_PASS(PS_Copy); } }
technique11 ComposeBloom { pass P0 { KR_SCREEN_PASS(PS_ComposeBloom); } }
technique11 DownsampleHalf { pass P0 { KR_SCREEN_PASS(PS_DownsampleHalf); } }
technique11 UpsampleHalf { pass P0 { KR_SCREEN_PASS(PS_Copy); } } // also the plain copy
technique11 ComposeHalf { pass P0 { KR_SCREEN_PASS(PS_Compose); } }
technique11 Compose { pass P0 { KR_SCREEN_PASS(PS_Compose); } }
technique11 BrightPass { pass P0 { KR_SCREEN_PASS(PS_BrightPass); } }
technique11 BloomBlurFirst { pass P0 { KR_SCREEN_PASS(PS_BloomBlurFirst); } }
technique11 BloomBlurSecond { pass P0 { KR_SCREEN_PASS(PS_BloomBlurSecond); } }
technique11 BlurFirst { pass P0 { KR_SCREEN_PASS(PS_BlurFirst); } }
technique11 BlurSecond { pass P0 { KR_SCREEN_PASS(PS_BlurSecond); } }
technique11 ComposeDepthOfField { pass P0 { KR_SCREEN_PASS(PS_ComposeDepthOfField); } }
technique11 ColorOffsets { pass P0 { KR_SCREEN_PASS(PS_ColorOffsets); } }
technique11 DepthFilter
{
    pass Single { KR_SCREEN_PASS(PS_DepthFilter); }
    pass Multisampled { KR_SCREEN_PASS(PS_DepthFilterMS); }
}
technique11 ColorCubes
{
    pass Single { KR_SCREEN_PASS(PS_ColorCube); }
    pass Blend { KR_SCREEN_PASS(PS_ColorCubeBlend); }
}
technique11 VolumeLighting
{
    pass March { KR_SCREEN_PASS(PS_VolumeMarch); }
    pass DownFilter { KR_SCREEN_PASS(PS_VolumeDownFilter); }
    pass Composite { KR_SCREEN_PASS(PS_VolumeCompose); }
    pass VolumeDepth
    {
        SetVertexShader(CompileShader(vs_5_0, VS_Position()));
        SetGeometryShader(NULL);
        SetPixelShader(CompileShader(ps_5_0, PS_VolumeDepth()));
        SetBlendState(NoBlending, float4(0.0f, 0.0f, 0.0f, 0.0f), 0xFFFFFFFF);
        SetDepthStencilState(VolumeDepth, 0);
    }
    pass Unused { KR_SCREEN_PASS(PS_Copy); }
    pass FilterFirst { KR_SCREEN_PASS(PS_BlurFirst); }
    pass FilterSecond { KR_SCREEN_PASS(PS_BlurSecond); }
}
technique11 RGBUVScale
{
    pass RGB { KR_SCREEN_PASS(PS_RGBScale); }
    pass UV { KR_SCREEN_PASS(PS_UVScale); }
}
technique11 DirtyLens
{
    pass Lens { KR_SCREEN_PASS(PS_DirtyLens); }
    pass Compose { KR_SCREEN_PASS(PS_ComposeDirtyLens); }
}
