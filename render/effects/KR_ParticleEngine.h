#pragma once
// Abstract interface of the GPU particle system. The selected graphics context makes the one
// instance; the engine singleton owns it and deletes it through the virtual destructor. The scene
// manager drives it: CreateResources and Reset(0) at start-up on the main thread, Initialize from
// the load job, UpdateAndRender once per frame and Reset on a scene change (main thread), the
// two Release operations at shutdown. Every operation but Initialize runs on the main thread,
// which owns the immediate context; QueueSpawn too.

#include "framework/core/KB_String.h"
#include "platform/directxmath/DirectXMath.h"
#include "render/effects/KR_ParticleSpawnRequest.h"

#include <cstdint>

struct ID3D11ShaderResourceView;

class KR_ParticleEngine
{
public:
    KR_ParticleEngine() = default;
    virtual ~KR_ParticleEngine() = default;

    KR_ParticleEngine(const KR_ParticleEngine&) = delete;
    KR_ParticleEngine& operator=(const KR_ParticleEngine&) = delete;

    // Prepares the renderer before its resources exist; true on success.
    virtual bool Initialize() = 0;
    // Makes the device objects that do not depend on the window size; true on success.
    virtual bool CreateResources() = 0;
    // Releases what CreateResources made; true on success.
    virtual bool ReleaseResources() = 0;
    // Releases what depends on the window size; true on success.
    virtual bool ReleaseSizeDependentResources() = 0;

    // Forgets the particles: the next active frame starts again from the seed particles and
    // measures its elapsed time from fTime. Makes the engine inactive; queued spawns are kept.
    virtual void Reset(double fTime) = 0;
    // Queues the request in batches of at most the batch size; the caller's record is left
    // holding the last batch's count. Makes the engine active.
    virtual void QueueSpawn(KR_ParticleSpawnRequest* pRequest) = 0;
    // One frame: spawns at most one queued batch, simulates and draws into the bound render
    // target. Does nothing while inactive. fUnused is accepted and not used. Always true.
    virtual bool UpdateAndRender(const DirectX::XMMATRIX& mView, const DirectX::XMMATRIX& mViewProjection,
                                 double fTime, float fUnused) = 0;
    // Slice index of the image path in its texture array (the same index for the same path).
    // Paths become textures only in CreateResources, so they are registered before it.
    virtual std::uint32_t RegisterColorTexture(const KB_String& sPath) = 0;
    virtual std::uint32_t RegisterSpriteTexture(const KB_String& sPath) = 0;
    // Hands the height field (not owned) to the simulation at once.
    virtual void SetHeightFieldTexture(ID3D11ShaderResourceView* pView) = 0;
};
