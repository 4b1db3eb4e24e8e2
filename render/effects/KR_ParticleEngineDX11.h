#pragma once
// Direct3D 11 implementation of the GPU particle system. Particles live only in two vertex
// buffers that take turns: the update pass of the effect reads one and streams the next
// generation into the other, and the render pass draws that with DrawAuto, so the CPU never
// reads or counts particles. The CPU queues spawn requests, hands at most one batch of them to
// the update pass per frame and sets the simulation constants. Constructing it touches no device.
//
// The effect belongs to the resource manager and is never released here. Without an effect (a
// missing or broken file, or no device) the engine stays inert: frames do nothing.

#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"
#include "platform/d3d11/d3d11.h"
#include "platform/effects11/d3dx11effect.h"
#include "render/effects/KR_ParticleEngine.h"

#include <cstdint>

class KR_ParticleEngineDX11 : public KR_ParticleEngine
{
public:
    // The effect file, compiled or loaded as ".fxo" by the resource manager.
    static constexpr const char* EFFECT_PATH = "Assets/Shader/KR_ParticleEngineDX11Shader.fx";
    static constexpr std::uint32_t PARTICLE_STRIDE = 80; // bytes of one particle vertex

    KR_ParticleEngineDX11();
    ~KR_ParticleEngineDX11() override;

    bool Initialize() override;
    bool CreateResources() override;
    bool ReleaseResources() override;
    bool ReleaseSizeDependentResources() override;

    void Reset(double fTime) override;
    void QueueSpawn(KR_ParticleSpawnRequest* pRequest) override;
    bool UpdateAndRender(const DirectX::XMMATRIX& mView, const DirectX::XMMATRIX& mViewProjection,
                         double fTime, float fUnused) override;
    std::uint32_t RegisterColorTexture(const KB_String& sPath) override;
    std::uint32_t RegisterSpriteTexture(const KB_String& sPath) override;
    void SetHeightFieldTexture(ID3D11ShaderResourceView* pView) override;

private:
    void LookUpVariables();
    void CreateParticleBuffers(ID3D11Device* pDevice);
    void CreateRandomTexture(ID3D11Device* pDevice);
    // Sets the spawn variables from the first queued request (and removes it), or a spawn
    // count of 0 when the queue is empty.
    void SetSpawnVariables();
    static std::uint32_t RegisterPath(KB_GrowingArray<KB_String>& gPaths, const KB_String& sPath);

    bool m_bRestart = true; // the next update seeds the simulation from the start buffer
    std::uint32_t m_uiRandomSeed = 0;
    std::uint32_t m_uiRandomTextureWidth = 8192; // texels per slice
    std::uint32_t m_uiBatchSize = 4096;          // most spawns per frame; also the seed count
    std::uint32_t m_uiMaxParticleCount = 262144; // capacity of the two stream-out buffers
    double m_fPreviousTime = 0.0;

    ID3DX11Effect* m_pEffect = nullptr;                  // not owned (the resource manager's)
    ID3DX11EffectTechnique* m_pTechnique = nullptr;      // part of the effect
    ID3D11InputLayout* m_pInputLayoutParticle = nullptr; // owned

    // Effect variables (parts of the effect).
    ID3DX11EffectMatrixVariable* m_pWorldViewProjectionVariable = nullptr;
    ID3DX11EffectMatrixVariable* m_pInverseViewVariable = nullptr;
    ID3DX11EffectVectorVariable* m_pSpawnMinVariable = nullptr;
    ID3DX11EffectVectorVariable* m_pSpawnMaxVariable = nullptr;
    ID3DX11EffectVectorVariable* m_pSpawnVelocityVariable = nullptr;
    ID3DX11EffectVectorVariable* m_pSpawnLifeTimeVariable = nullptr;
    ID3DX11EffectVectorVariable* m_pGravityVariable = nullptr;
    ID3DX11EffectVectorVariable* m_pHeightFieldDimensionsVariable = nullptr;
    ID3DX11EffectScalarVariable* m_pRandomForcesSpreadVariable = nullptr;
    ID3DX11EffectScalarVariable* m_pRandomForcesTimeSpreadVariable = nullptr;
    ID3DX11EffectScalarVariable* m_pSpawnVelocitySpreadVariable = nullptr;
    ID3DX11EffectScalarVariable* m_pSpawnVelocityDirectionSpreadVariable = nullptr;
    ID3DX11EffectScalarVariable* m_pSpawnLifeTimeSpreadVariable = nullptr;
    ID3DX11EffectScalarVariable* m_pParticleScaleVariable = nullptr;
    ID3DX11EffectScalarVariable* m_pParticleScaleSpreadVariable = nullptr;
    ID3DX11EffectScalarVariable* m_pTextureIndexVariable = nullptr;
    ID3DX11EffectScalarVariable* m_pColorTextureIndexVariable = nullptr;
    ID3DX11EffectScalarVariable* m_pParticleTypeToSpawnVariable = nullptr;
    ID3DX11EffectScalarVariable* m_pParticlesToSpawnVariable = nullptr;
    ID3DX11EffectScalarVariable* m_pElapsedTimeVariable = nullptr;
    ID3DX11EffectScalarVariable* m_pTotalElapsedTimeVariable = nullptr;
    ID3DX11EffectScalarVariable* m_pCollisionHeightVariable = nullptr;
    ID3DX11EffectScalarVariable* m_pCollisionDampeningVariable = nullptr;
    ID3DX11EffectScalarVariable* m_pFrictionVariable = nullptr;
    ID3DX11EffectShaderResourceVariable* m_pRandomTextureVariable = nullptr;
    ID3DX11EffectShaderResourceVariable* m_pSpriteTextureVariable = nullptr;
    ID3DX11EffectShaderResourceVariable* m_pColorTextureVariable = nullptr;
    ID3DX11EffectShaderResourceVariable* m_pHeightFieldTextureVariable = nullptr;

    ID3D11ShaderResourceView* m_pColorTextureSRV = nullptr;  // owned
    ID3D11ShaderResourceView* m_pRandomTextureSRV = nullptr; // owned
    ID3D11ShaderResourceView* m_pSpriteTextureSRV = nullptr; // owned
    ID3D11Buffer* m_pParticleBufferStart = nullptr;          // owned; the seed particles
    ID3D11Buffer* m_pParticleBufferStreamOut = nullptr;      // owned; target of the next update
    ID3D11Buffer* m_pParticleBufferDrawSrc = nullptr;        // owned; the current particle list
    ID3D11Texture1D* m_pRandomTextures = nullptr;            // owned; two slices
    ID3D11Texture1D* m_pColorTexture = nullptr;              // owned; one slice per colour path
    ID3D11Texture2D* m_pSpriteTexture = nullptr;             // owned; one slice per sprite path

    KB_GrowingArray<KB_String> m_gColorTexturePaths;
    KB_GrowingArray<KB_String> m_gSpriteTexturePaths;
    KB_GrowingArray<KR_ParticleSpawnRequest> m_gSpawnQueue; // first in, first out

    float m_fRandomForcesSpread = 3.0f;     // the last dequeued request's value
    float m_fRandomForcesTimeSpread = 3.0f; // the last dequeued request's value
    float m_vGravity[3] = {0.0f, -98.0f, 0.0f};
    float m_vHeightFieldDimensions[4] = {-50.0f, -50.0f, 50.0f, 50.0f};
    float m_fFriction = 0.9975f;
    float m_fCollisionHeight = 20.0f;
    float m_fCollisionDampening = 0.7f;
    bool m_bActive = false; // set by QueueSpawn, cleared by Reset; frames do nothing while false
};
