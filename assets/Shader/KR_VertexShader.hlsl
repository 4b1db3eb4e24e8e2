// The vertex stage of every material program. The vertex format switches the inputs (VS_IN_*), the
// material the outputs (VS_OUT_*). With VS_PASSTHROUGH the position is handed on untransformed: to
// the geometry stage of a fragmentable material, or as a screen-space position of the fixed
// programs. Skinning and instancing happen here unless the geometry stage was asked to do them
// (VS_OUT_SKINNED, VS_OUT_INSTANCED).

#include "KR_ShaderCommon.hlsli"

struct VS_INPUT
{
    float3 vPosition : SV_POSITION;
#ifdef VS_IN_NORMAL
    float3 vNormal : NORMAL;
#endif
#ifdef VS_IN_TANGENT
    float3 vTangent : TANGENT;
#endif
#ifdef VS_IN_UV0
    float2 vUV0 : TEXCOORD0;
#endif
#ifdef VS_IN_UV1
    float2 vUV1 : TEXCOORD1;
#endif
#ifdef VS_IN_UV2
    float2 vUV2 : TEXCOORD2;
#endif
#ifdef VS_IN_UV3
    float2 vUV3 : TEXCOORD3;
#endif
#ifdef VS_IN_SKINNED
    float4 vBoneWeights : BONEWEIGHTS;
    uint4 vBoneIndices : BONEINDICES;
#endif
#ifdef VS_IN_INSTANCED
    uint uiInstance : SV_InstanceID;
#endif
};

// A uv set the material reads but the mesh lacks falls back to the first set, else to 0.
#ifdef VS_IN_UV0
#define KR_FIRST_UV(input) input.vUV0
#else
#define KR_FIRST_UV(input) float2(0.0f, 0.0f)
#endif

VS_OUTPUT MainVS(VS_INPUT input)
{
    VS_OUTPUT output = (VS_OUTPUT)0;
    float4 vPosition = float4(input.vPosition, 1.0f);
    float3 vNormal = float3(0.0f, 0.0f, 1.0f);
    float3 vTangent = float3(1.0f, 0.0f, 0.0f);
#ifdef VS_IN_NORMAL
    vNormal = input.vNormal;
#endif
#ifdef VS_IN_TANGENT
    vTangent = input.vTangent;
#endif

#if defined(VS_IN_SKINNED) && !defined(VS_OUT_SKINNED)
    float4x4 mSkin = (float4x4)0;
    [unroll] for (int iBone = 0; iBone < 4; ++iBone)
        mSkin += g_mBones[input.vBoneIndices[iBone] % KR_MAX_BONES] * input.vBoneWeights[iBone];
    vPosition = mul(vPosition, mSkin);
    vNormal = mul(vNormal, (float3x3)mSkin);
    vTangent = mul(vTangent, (float3x3)mSkin);
#endif
#if defined(VS_IN_SKINNED) && defined(VS_OUT_SKINNED)
    output.vBoneWeights = input.vBoneWeights;
    output.vBoneIndices = input.vBoneIndices;
#endif

    float4x4 mWorld = g_mWorld;
    float4x4 mWorldViewProjection = g_mWorldViewProjection;
#if defined(VS_IN_INSTANCED) && !defined(VS_OUT_INSTANCED)
    // Instances carry their own world matrix; the object's matrices place the whole group.
    const float4x4 mInstance = g_mMatrices[input.uiInstance % KR_MAX_MATRICES];
    mWorld = mul(mInstance, g_mWorld);
    mWorldViewProjection = mul(mInstance, g_mWorldViewProjection);
#endif
#if defined(VS_IN_INSTANCED) && defined(VS_OUT_INSTANCED)
    output.uiInstance = input.uiInstance;
#endif

#ifdef VS_PASSTHROUGH
    output.vPosition = vPosition;
    const float3 vWorldNormal = vNormal;
    const float3 vWorldTangent = vTangent;
    const float3 vWorldPosition = vPosition.xyz;
#else
    output.vPosition = mul(vPosition, mWorldViewProjection);
    const float3 vWorldNormal = normalize(mul(vNormal, (float3x3)mWorld));
    const float3 vWorldTangent = normalize(mul(vTangent, (float3x3)mWorld));
    const float3 vWorldPosition = mul(vPosition, mWorld).xyz;
#endif

#ifdef VS_OUT_NORMAL
    output.vNormal = vWorldNormal;
#endif
#ifdef VS_OUT_TANGENT
    output.vTangent = vWorldTangent;
#endif
#ifdef VS_OUT_BITANGENT
    output.vBitangent = cross(vWorldNormal, vWorldTangent);
#endif
#ifdef VS_OUT_UV0
    output.vUV0 = KR_FIRST_UV(input);
#endif
#ifdef VS_OUT_UV1
#ifdef VS_IN_UV1
    output.vUV1 = input.vUV1;
#else
    output.vUV1 = KR_FIRST_UV(input);
#endif
#endif
#ifdef VS_OUT_UV2
#ifdef VS_IN_UV2
    output.vUV2 = input.vUV2;
#else
    output.vUV2 = KR_FIRST_UV(input);
#endif
#endif
#ifdef VS_OUT_UV3
#ifdef VS_IN_UV3
    output.vUV3 = input.vUV3;
#else
    output.vUV3 = KR_FIRST_UV(input);
#endif
#endif
#ifdef VS_OUT_PARALLAX
    output.vParallax = KR_TangentSpaceEye(vWorldPosition, vWorldNormal, vWorldTangent,
                                          cross(vWorldNormal, vWorldTangent));
#endif
#ifdef VS_OUT_WORLDPOS
    output.vWorldPosition = vWorldPosition;
#endif
#ifdef VS_OUT_PROJECTEDZ
    output.vProjectedZ = output.vPosition.zw;
#endif
    return output;
}
