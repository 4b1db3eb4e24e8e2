// Copy of one face of a cube map. The placer renders its six faces into one cube texture and
// copies each face, as soon as it is drawn, into the slice of the same index of a second cube
// texture through a full-screen quad; the second texture is the one saved to disk.
//
// Quad vertex (20 bytes, the placer's input layout):
//   SV_POSITION  xyz clip-space position (z 0)
//   TEXCOORD0    uv, (0, 0) at the top left
// The target has the size of the source faces, so each pixel copies the texel under it
// unfiltered: the colours pass through unchanged.

Texture2DArray g_tSourceTexture; // the six faces as slices 0 to 5
float g_fSourceTextureSide;      // the face to copy, 0 to 5

DepthStencilState g_dsNone
{
    DepthEnable = FALSE;
    DepthWriteMask = ZERO;
};

BlendState g_bsNone
{
    BlendEnable[0] = FALSE;
};

struct QUAD_VERTEX
{
    float3 vPosition : SV_POSITION;
    float2 vTexCoord : TEXCOORD0;
};

struct QUAD_PIXEL
{
    float4 vPosition : SV_POSITION;
    float2 vTexCoord : TEXCOORD0;
};

QUAD_PIXEL CopyVS(QUAD_VERTEX input)
{
    QUAD_PIXEL output;
    output.vPosition = float4(input.vPosition, 1.0f);
    output.vTexCoord = input.vTexCoord;
    return output;
}

float4 CopyPS(QUAD_PIXEL input) : SV_TARGET
{
    // Pixel centres lie at .5: truncation gives the texel of the same position in the source.
    const int3 vTexel = int3(int2(input.vPosition.xy), int(g_fSourceTextureSide + 0.5f));
    return g_tSourceTexture.Load(int4(vTexel, 0));
}

technique11 CopyFace
{
    pass Copy
    {
        SetVertexShader(CompileShader(vs_5_0, CopyVS()));
        SetGeometryShader(NULL);
        SetPixelShader(CompileShader(ps_5_0, CopyPS()));
        SetDepthStencilState(g_dsNone, 0);
        SetBlendState(g_bsNone, float4(0.0f, 0.0f, 0.0f, 0.0f), 0xFFFFFFFF);
    }
}
