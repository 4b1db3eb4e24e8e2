// The GPU particle system. Pass 0 ("Update") reads the particle list as points and streams the
// next generation out; pass 1 ("Render") draws the list as camera-facing sprites into the bound
// render target. The engine binds the buffers, sets the variables below and draws; nothing here
// is read back by the CPU.
//
// Particle layout (80 bytes, the engine's input layout):
//   SV_POSITION  xyz position, w sprite scale
//   VELOCITY     xyz velocity, w the particle's own random phase in [0, 1]
//   VELOCITYADD  xyz current random force, w seconds until it is drawn again
//   LIFETIME     x fade-in left, y fade-in length, z life left, w fade-out length (seconds)
//   TYPE         x kind (0 seed, else 1 + the spawn type), y seed index, z sprite slice,
//                w colour slice
// Seed particles never die and are never drawn: on a frame that spawns n particles, the seeds
// with index below n each emit one live particle.

#define PARTICLE_SEED 0
#define PARTICLE_LIVE 1

float4x4 g_mWorldViewProjection;
float4x4 g_mInverseView;

float3 g_vSpawnMin;
float3 g_vSpawnMax;
float3 g_vSpawnVelocity;
float4 g_vSpawnLifeTime; // fade-in (x, y), life (z), fade-out (w)
float3 g_vGravity;
float4 g_vHeightFieldDimensions; // min x, min z, max x, max z of the height field

float g_fRandomForcesSpread;
float g_fRandomForcesTimeSpread;
float g_fSpawnVelocitySpread;
float g_fSpawnVelocityDirectionSpread;
float g_fSpawnLifeTimeSpread;
float g_fParticleScale;
float g_fParticleScaleSpread;
float g_fElapsedTime;
float g_fTotalElapsedTime;
float g_fCollisionHeight;
float g_fCollisionDampening;
float g_fFriction;

int g_iTextureIndex;
int g_iColorTextureIndex;
int g_iParticleTypeToSpawn;
int g_iParticlesToSpawn;

Texture1DArray g_tRandomTexture;          // slice 0 uniform [0, 1], slice 1 unit directions
Texture2DArray g_tParticleSpriteTexture;  // one sprite per slice
Texture1DArray g_tColorTexture;           // one colour ramp over the life per slice
Texture2D g_tHeightFieldTexture;          // heights in [0, 1] over the dimensions above

SamplerState g_sWrap
{
    Filter = MIN_MAG_MIP_POINT;
    AddressU = WRAP;
    AddressV = WRAP;
};

SamplerState g_sClamp
{
    Filter = MIN_MAG_MIP_LINEAR;
    AddressU = CLAMP;
    AddressV = CLAMP;
};

DepthStencilState g_dsNone
{
    DepthEnable = FALSE;
    DepthWriteMask = ZERO;
};

DepthStencilState g_dsTestOnly
{
    DepthEnable = TRUE;
    DepthWriteMask = ZERO;
    DepthFunc = LESS_EQUAL;
};

BlendState g_bsAdditive
{
    BlendEnable[0] = TRUE;
    SrcBlend = SRC_ALPHA;
    DestBlend = ONE;
    BlendOp = ADD;
    SrcBlendAlpha = ZERO;
    DestBlendAlpha = ONE;
    BlendOpAlpha = ADD;
    RenderTargetWriteMask[0] = 0x0F;
};

BlendState g_bsNone
{
    BlendEnable[0] = FALSE;
};

RasterizerState g_rsNoCull
{
    FillMode = SOLID;
    CullMode = NONE;
};

struct PARTICLE
{
    float4 vPosition : SV_POSITION;
    float4 vVelocity : VELOCITY;
    float4 vVelocityAdd : VELOCITYADD;
    float4 vLifeTime : LIFETIME;
    uint4 vType : TYPE;
};

struct SPRITE_VERTEX
{
    float4 vPosition : SV_POSITION;
    float3 vTexCoord : TEXCOORD0; // u, v, sprite slice
    float2 vColor : TEXCOORD1;    // life fraction, colour slice
    float fAlpha : TEXCOORD2;
};

// A random value of the texture's slice for a key; the key runs over the 8192 texels.
float4 RandomAt(float fKey, float fSlice)
{
    return g_tRandomTexture.SampleLevel(g_sWrap, float2(fKey, fSlice), 0);
}

PARTICLE PassThroughVS(PARTICLE input)
{
    return input;
}

PARTICLE Emit(PARTICLE seed)
{
    const float fKey = seed.vVelocity.w + g_fTotalElapsedTime * 0.1234f;
    const float4 vUniform = RandomAt(fKey, 0.0f);
    const float4 vDirection = RandomAt(fKey + 0.5f, 1.0f);
    const float4 vMore = RandomAt(fKey + 0.25f, 0.0f);

    PARTICLE particle;
    particle.vPosition.xyz = lerp(g_vSpawnMin, g_vSpawnMax, vUniform.xyz);
    particle.vPosition.w = max(0.0f, g_fParticleScale + (vUniform.w * 2.0f - 1.0f) * g_fParticleScaleSpread);
    const float3 vAim = normalize(g_vSpawnVelocity + vDirection.xyz * g_fSpawnVelocityDirectionSpread + 1e-6f);
    const float fSpeed = length(g_vSpawnVelocity) + (vMore.x * 2.0f - 1.0f) * g_fSpawnVelocitySpread;
    particle.vVelocity = float4(vAim * fSpeed, vMore.y);
    particle.vVelocityAdd = float4(0.0f, 0.0f, 0.0f, 0.0f);
    particle.vLifeTime = g_vSpawnLifeTime;
    particle.vLifeTime.z = max(0.0f, g_vSpawnLifeTime.z + (vMore.z * 2.0f - 1.0f) * g_fSpawnLifeTimeSpread);
    // Spawn type 0 falls under gravity; the other types drift (smoke, embers).
    particle.vType = uint4(PARTICLE_LIVE + (uint)max(g_iParticleTypeToSpawn, 0), seed.vType.y,
                           (uint)g_iTextureIndex, (uint)g_iColorTextureIndex);
    return particle;
}

float GroundHeight(float3 vPosition)
{
    const float2 vSize = g_vHeightFieldDimensions.zw - g_vHeightFieldDimensions.xy;
    const float2 vUV = (vPosition.xz - g_vHeightFieldDimensions.xy) / max(vSize, 1e-6f);
    return g_tHeightFieldTexture.SampleLevel(g_sClamp, vUV, 0).r * g_fCollisionHeight;
}

PARTICLE Simulate(PARTICLE particle)
{
    const float fTime = g_fElapsedTime;
    particle.vVelocityAdd.w -= fTime;
    if (particle.vVelocityAdd.w <= 0.0f)
    {
        // A new random force, held for up to the time spread.
        const float fKey = particle.vVelocity.w + g_fTotalElapsedTime * 0.5678f;
        const float4 vDirection = RandomAt(fKey, 1.0f);
        const float4 vUniform = RandomAt(fKey + 0.5f, 0.0f);
        particle.vVelocityAdd.xyz = vDirection.xyz * vUniform.x * g_fRandomForcesSpread;
        particle.vVelocityAdd.w = vUniform.y * g_fRandomForcesTimeSpread;
    }
    const float3 vGravity = particle.vType.x == PARTICLE_LIVE ? g_vGravity : float3(0.0f, 0.0f, 0.0f);
    float3 vVelocity = particle.vVelocity.xyz + (vGravity + particle.vVelocityAdd.xyz) * fTime;
    vVelocity *= pow(abs(g_fFriction), fTime * 60.0f);
    float3 vPosition = particle.vPosition.xyz + vVelocity * fTime;

    const float fGround = GroundHeight(vPosition);
    if (vPosition.y < fGround)
    {
        vPosition.y = fGround;
        vVelocity.y = abs(vVelocity.y) * g_fCollisionDampening;
        vVelocity.xz *= g_fCollisionDampening;
    }
    particle.vPosition.xyz = vPosition;
    particle.vVelocity.xyz = vVelocity;
    particle.vLifeTime.x = max(0.0f, particle.vLifeTime.x - fTime);
    particle.vLifeTime.z -= fTime;
    return particle;
}

[maxvertexcount(2)]
void UpdateGS(point PARTICLE input[1], inout PointStream<PARTICLE> stream)
{
    PARTICLE particle = input[0];
    if (particle.vType.x == PARTICLE_SEED)
    {
        // Seeds stay, and the first g_iParticlesToSpawn of them emit one particle each.
        stream.Append(particle);
        if ((int)particle.vType.y < g_iParticlesToSpawn)
            stream.Append(Emit(particle));
        return;
    }
    particle = Simulate(particle);
    if (particle.vLifeTime.z > 0.0f)
        stream.Append(particle);
}

PARTICLE RenderVS(PARTICLE input)
{
    return input;
}

[maxvertexcount(4)]
void RenderGS(point PARTICLE input[1], inout TriangleStream<SPRITE_VERTEX> stream)
{
    const PARTICLE particle = input[0];
    if (particle.vType.x == PARTICLE_SEED)
        return;
    const float fFadeIn = particle.vLifeTime.y > 0.0f ? 1.0f - particle.vLifeTime.x / particle.vLifeTime.y : 1.0f;
    const float fFadeOut = particle.vLifeTime.w > 0.0f ? saturate(particle.vLifeTime.z / particle.vLifeTime.w) : 1.0f;
    const float fTotal = particle.vLifeTime.y + particle.vLifeTime.z;
    const float fLife = fTotal > 0.0f ? saturate(1.0f - particle.vLifeTime.z / fTotal) : 1.0f;

    // Corners spread along the camera's right and up axes (rows 0 and 1 of the inverse view).
    const float3 vRight = g_mInverseView[0].xyz * particle.vPosition.w;
    const float3 vUp = g_mInverseView[1].xyz * particle.vPosition.w;
    const float2 aCorners[4] = {float2(-1.0f, 1.0f), float2(1.0f, 1.0f), float2(-1.0f, -1.0f), float2(1.0f, -1.0f)};
    [unroll] for (int i = 0; i < 4; ++i)
    {
        SPRITE_VERTEX vertex;
        const float3 vCorner = particle.vPosition.xyz + vRight * aCorners[i].x + vUp * aCorners[i].y;
        vertex.vPosition = mul(float4(vCorner, 1.0f), g_mWorldViewProjection);
        vertex.vTexCoord = float3(aCorners[i] * float2(0.5f, -0.5f) + 0.5f, (float)particle.vType.z);
        vertex.vColor = float2(fLife, (float)particle.vType.w);
        vertex.fAlpha = saturate(fFadeIn) * fFadeOut;
        stream.Append(vertex);
    }
    stream.RestartStrip();
}

float4 RenderPS(SPRITE_VERTEX input) : SV_TARGET
{
    const float4 vSprite = g_tParticleSpriteTexture.Sample(g_sClamp, input.vTexCoord);
    const float4 vColor = g_tColorTexture.SampleLevel(g_sClamp, input.vColor, 0);
    return float4(vSprite.rgb * vColor.rgb, vSprite.a * vColor.a * input.fAlpha);
}

technique11 Particles
{
    pass Update
    {
        SetVertexShader(CompileShader(vs_5_0, PassThroughVS()));
        SetGeometryShader(ConstructGSWithSO(CompileShader(gs_5_0, UpdateGS()),
                                            "SV_POSITION.xyzw; VELOCITY.xyzw; VELOCITYADD.xyzw; LIFETIME.xyzw; TYPE.xyzw"));
        SetPixelShader(NULL);
        SetDepthStencilState(g_dsNone, 0);
        SetBlendState(g_bsNone, float4(0.0f, 0.0f, 0.0f, 0.0f), 0xFFFFFFFF);
    }
    pass Render
    {
        SetVertexShader(CompileShader(vs_5_0, RenderVS()));
        SetGeometryShader(CompileShader(gs_5_0, RenderGS()));
        SetPixelShader(CompileShader(ps_5_0, RenderPS()));
        SetDepthStencilState(g_dsTestOnly, 0);
        SetBlendState(g_bsAdditive, float4(0.0f, 0.0f, 0.0f, 0.0f), 0xFFFFFFFF);
        SetRasterizerState(g_rsNoCull);
    }
}
