// The geometry stage of fragmentable materials: each triangle is drawn on its own and can be pushed
// out along its face normal (the indexed parameter 0's x, in world units, scaled by the triangle's
// distance from the object's centre), so a model breaks into its pieces. The vertex stage hands the
// vertices on in object space (VS_PASSTHROUGH); skinning and instancing happen here when the vertex
// stage left them (VS_OUT_SKINNED, VS_OUT_INSTANCED). The outputs follow the GS_OUT_* switches.

#include "KR_ShaderCommon.hlsli"

[maxvertexcount(3)]
void MainGS(triangle VS_OUTPUT input[3], inout TriangleStream<PS_INPUT> stream)
{
    float4 avPosition[3];
    [unroll] for (int iVertex = 0; iVertex < 3; ++iVertex)
    {
        avPosition[iVertex] = input[iVertex].vPosition;
#ifdef VS_OUT_SKINNED
        float4x4 mSkin = (float4x4)0;
        [unroll] for (int iBone = 0; iBone < 4; ++iBone)
            mSkin += g_mBones[input[iVertex].vBoneIndices[iBone] % KR_MAX_BONES] *
                     input[iVertex].vBoneWeights[iBone];
        avPosition[iVertex] = mul(avPosition[iVertex], mSkin);
#endif
    }

    float4x4 mWorld = g_mWorld;
    float4x4 mWorldViewProjection = g_mWorldViewProjection;
#ifdef VS_OUT_INSTANCED
    const float4x4 mInstance = g_mMatrices[input[0].uiInstance % KR_MAX_MATRICES];
    mWorld = mul(mInstance, g_mWorld);
    mWorldViewProjection = mul(mInstance, g_mWorldViewProjection);
#endif

    const float3 vFaceNormal =
        normalize(cross(avPosition[1].xyz - avPosition[0].xyz, avPosition[2].xyz - avPosition[0].xyz));
    const float3 vCentre = (avPosition[0].xyz + avPosition[1].xyz + avPosition[2].xyz) / 3.0f;
    const float3 vPush = vFaceNormal * g_vIndexedParameters[0].x * length(vCentre);

    [unroll] for (int i = 0; i < 3; ++i)
    {
        PS_INPUT output = (PS_INPUT)0;
        const float4 vPosition = float4(avPosition[i].xyz + vPush, 1.0f);
        output.vPosition = mul(vPosition, mWorldViewProjection);
        const float3 vWorldPosition = mul(vPosition, mWorld).xyz;
        float3 vNormal = mul(vFaceNormal, (float3x3)mWorld);
        float3 vTangent = float3(1.0f, 0.0f, 0.0f);
#ifdef GS_OUT_NORMAL
        vNormal = normalize(mul(input[i].vNormal, (float3x3)mWorld));
        output.vNormal = vNormal;
#endif
#ifdef GS_OUT_TANGENT
        vTangent = normalize(mul(input[i].vTangent, (float3x3)mWorld));
        output.vTangent = vTangent;
#endif
#ifdef GS_OUT_BITANGENT
        output.vBitangent = cross(vNormal, vTangent);
#endif
#ifdef GS_OUT_UV0
        output.vUV0 = input[i].vUV0;
#endif
#ifdef GS_OUT_UV1
        output.vUV1 = input[i].vUV1;
#endif
#ifdef GS_OUT_UV2
        output.vUV2 = input[i].vUV2;
#endif
#ifdef GS_OUT_UV3
        output.vUV3 = input[i].vUV3;
#endif
#ifdef GS_OUT_PARALLAX
        output.vParallax = KR_TangentSpaceEye(vWorldPosition, vNormal, vTangent, cross(vNormal, vTangent));
#endif
#ifdef GS_OUT_WORLDPOS
        output.vWorldPosition = vWorldPosition;
#endif
#ifdef GS_OUT_PROJECTEDZ
        output.vProjectedZ = output.vPosition.zw;
#endif
        stream.Append(output);
    }
    stream.RestartStrip();
}
