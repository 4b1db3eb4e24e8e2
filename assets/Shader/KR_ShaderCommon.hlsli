// Shared by the engine's material shaders: the engine-wide constant buffers (b8 to b12), samplers
// (s8 to s12) and views (t16 to t46) that the shader core manager binds on every stage, and the
// structures passed between the stages. The layouts match the shader core manager's buffers byte
// for byte; matrices arrive transposed (column-major).

#ifndef KR_SHADER_COMMON_HLSLI
#define KR_SHADER_COMMON_HLSLI

#define KR_MAX_BONES 256
#define KR_MAX_MATRICES 200
#define KR_MAX_SHADOW_MAPS 5
#define KR_MAX_LIGHTS 25
#define KR_MAX_VECTORS 8
#define KR_MAX_CUBE_MAPS 8

cbuffer KR_Bones : register(b8)
{
    float4x4 g_mBones[KR_MAX_BONES];
};

cbuffer KR_MaterialAndLights : register(b9)
{
    float4 g_vTiles0[2];          // diffuse, normal, specular, roughness; one row per texture index
    uint4 g_vUVs0[2];
    float4 g_vTiles1[2];          // gloss, mask, lightmap, ambient occlusion
    uint4 g_vUVs1[2];
    float4 g_vTiles2[2];          // heightmap, transparency
    uint4 g_vUVs2[2];
    float4 g_vSpecularPower[2];   // x
    float4 g_vReserved;
    float4 g_vObjectColor;
    uint4 g_vParameterUInt;
    float4 g_vParameterVector;    // xy: uv offset of the animated sets
    uint2 g_vParallaxSamples;     // minimum, maximum
    float2 g_vParallaxHeight;     // scale, offset
    uint g_uiNumSpotLights;
    uint g_uiNumOmniLights;
    uint g_uiNumCubeMaps;
    uint g_uiPadding0;
    float4x4 g_mShadowMatrices[KR_MAX_SHADOW_MAPS];
    float4 g_vSpotPosition[KR_MAX_SHADOW_MAPS];
    float4 g_vSpotDirection[KR_MAX_SHADOW_MAPS];
    float4 g_vSpotColor[KR_MAX_SHADOW_MAPS];
    float4 g_vSpotAttenuation[KR_MAX_SHADOW_MAPS];
    float4 g_vSpotCone[KR_MAX_SHADOW_MAPS];
    float4 g_vSpotShadowBias[KR_MAX_SHADOW_MAPS];
    float4 g_vOmniColor[KR_MAX_LIGHTS];
    float4 g_vOmniAttenuation[KR_MAX_LIGHTS];
    float4 g_vOmniPosition[KR_MAX_LIGHTS];
    float4 g_vOmniSecondPoint[KR_MAX_LIGHTS];
    uint4 g_vOmniKind[KR_MAX_LIGHTS];
    float4 g_vIndexedParameters[4];
    float4 g_vCubeVectors[KR_MAX_CUBE_MAPS];
    float4 g_vCubeValues[KR_MAX_CUBE_MAPS]; // x: the mip level blurred reflections read
    uint4 g_vCubeFlags[KR_MAX_CUBE_MAPS];
};

cbuffer KR_ObjectAndFrame : register(b10)
{
    float4x4 g_mObject0;
    float4x4 g_mObject1;
    float4x4 g_mWorld;
    float4x4 g_mWorldViewProjection;
    float4 g_vCameraPosition;
    float4 g_vFrameVector1;
    float4 g_vFrameColor0;        // fog colour
    float4 g_vFrameRange;         // fog start, end, length
    float4 g_vFrameVector2;       // direction towards the directional light
    float3 g_vFrameColor1;        // directional light colour
    float g_fFrameScalar;         // time progression of fading programs
    float4 g_vAmbientLightColor;
};

cbuffer KR_Matrices : register(b11)
{
    float4x4 g_mMatrices[KR_MAX_MATRICES]; // one world matrix per instance
};

cbuffer KR_Vectors : register(b12)
{
    float4 g_vVectors[KR_MAX_VECTORS];
    uint g_uiNumVectors;
};

SamplerState g_sWrap : register(s8);
SamplerState g_sClamp : register(s9);
SamplerState g_sClampLow : register(s10);
SamplerState g_sBorder : register(s11);
SamplerComparisonState g_sShadow : register(s12);

Texture2D g_tDiffuse[2] : register(t16);
Texture2D g_tNormal[2] : register(t18);
Texture2D g_tSpecular[2] : register(t20);
Texture2D g_tRoughness[2] : register(t22);
Texture2D g_tGloss[2] : register(t24);
Texture2D g_tMask : register(t26);
Texture2D g_tLightmap : register(t27);
Texture2D g_tAmbientOcclusion : register(t28);
Texture2D g_tHeightmap[2] : register(t29);
Texture2D g_tTransparency[2] : register(t31);
TextureCube g_tMaterialCubeMap : register(t33);
Texture2D g_tShadowMaps[KR_MAX_SHADOW_MAPS] : register(t34);
TextureCube g_tCubeMaps[KR_MAX_CUBE_MAPS] : register(t39);

// What the vertex stage hands on: to the geometry stage (with VS_PASSTHROUGH in a material program,
// in object space) or straight to the pixel stage (in clip space).
struct VS_OUTPUT
{
    float4 vPosition : SV_POSITION;
#ifdef VS_OUT_SKINNED
    float4 vBoneWeights : BONEWEIGHTS;
    uint4 vBoneIndices : BONEINDICES;
#endif
#ifdef VS_OUT_INSTANCED
    uint uiInstance : INSTANCE;
#endif
#ifdef VS_OUT_NORMAL
    float3 vNormal : NORMAL;
#endif
#ifdef VS_OUT_TANGENT
    float3 vTangent : TANGENT;
#endif
#ifdef VS_OUT_BITANGENT
    float3 vBitangent : BITANGENT;
#endif
#ifdef VS_OUT_UV0
    float2 vUV0 : TEXCOORD0;
#endif
#ifdef VS_OUT_UV1
    float2 vUV1 : TEXCOORD1;
#endif
#ifdef VS_OUT_UV2
    float2 vUV2 : TEXCOORD2;
#endif
#ifdef VS_OUT_UV3
    float2 vUV3 : TEXCOORD3;
#endif
#ifdef VS_OUT_PARALLAX
    float3 vParallax : PARALLAX; // the eye vector in tangent space
#endif
#ifdef VS_OUT_WORLDPOS
    float3 vWorldPosition : WORLDPOS;
#endif
#ifdef VS_OUT_PROJECTEDZ
    float2 vProjectedZ : PROJECTEDZ; // z and w in clip space
#endif
};

// What the pixel stage reads. A material program with a geometry stage sets the same outputs on both
// stages (the geometry stage adds the bitangent), so either stage's switch decides.
#if defined(VS_OUT_NORMAL) || defined(GS_OUT_NORMAL)
#define KR_PIXEL_NORMAL
#endif
#if defined(VS_OUT_TANGENT) || defined(GS_OUT_TANGENT)
#define KR_PIXEL_TANGENT
#endif
#if defined(VS_OUT_BITANGENT) || defined(GS_OUT_BITANGENT)
#define KR_PIXEL_BITANGENT
#endif
#if defined(VS_OUT_UV0) || defined(GS_OUT_UV0)
#define KR_PIXEL_UV0
#endif
#if defined(VS_OUT_UV1) || defined(GS_OUT_UV1)
#define KR_PIXEL_UV1
#endif
#if defined(VS_OUT_UV2) || defined(GS_OUT_UV2)
#define KR_PIXEL_UV2
#endif
#if defined(VS_OUT_UV3) || defined(GS_OUT_UV3)
#define KR_PIXEL_UV3
#endif
#if defined(VS_OUT_PARALLAX) || defined(GS_OUT_PARALLAX)
#define KR_PIXEL_PARALLAX
#endif
#if defined(VS_OUT_WORLDPOS) || defined(GS_OUT_WORLDPOS)
#define KR_PIXEL_WORLDPOS
#endif
#if defined(VS_OUT_PROJECTEDZ) || defined(GS_OUT_PROJECTEDZ)
#define KR_PIXEL_PROJECTEDZ
#endif

struct PS_INPUT
{
    float4 vPosition : SV_POSITION;
#ifdef KR_PIXEL_NORMAL
    float3 vNormal : NORMAL;
#endif
#ifdef KR_PIXEL_TANGENT
    float3 vTangent : TANGENT;
#endif
#ifdef KR_PIXEL_BITANGENT
    float3 vBitangent : BITANGENT;
#endif
#ifdef KR_PIXEL_UV0
    float2 vUV0 : TEXCOORD0;
#endif
#ifdef KR_PIXEL_UV1
    float2 vUV1 : TEXCOORD1;
#endif
#ifdef KR_PIXEL_UV2
    float2 vUV2 : TEXCOORD2;
#endif
#ifdef KR_PIXEL_UV3
    float2 vUV3 : TEXCOORD3;
#endif
#ifdef KR_PIXEL_PARALLAX
    float3 vParallax : PARALLAX;
#endif
#ifdef KR_PIXEL_WORLDPOS
    float3 vWorldPosition : WORLDPOS;
#endif
#ifdef KR_PIXEL_PROJECTEDZ
    float2 vProjectedZ : PROJECTEDZ;
#endif
};

// The eye vector of a surface point in its tangent frame, for parallax occlusion mapping.
float3 KR_TangentSpaceEye(float3 vWorldPosition, float3 vNormal, float3 vTangent, float3 vBitangent)
{
    const float3 vEye = g_vCameraPosition.xyz - vWorldPosition;
    return float3(dot(vEye, vTangent), dot(vEye, vBitangent), dot(vEye, vNormal));
}

#endif
