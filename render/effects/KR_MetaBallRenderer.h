#pragma once
// Abstract interface of the metaball renderer: draws soft spheres as one blended surface in three
// passes (cores into the scene depth, per-pixel lists of the spheres of influence, a full-screen
// ray cast of their field). The selected graphics context makes the one instance; the engine
// singleton owns it and deletes it through the virtual destructor. Device resources are made by
// the life-cycle operations, which the load job calls; the rest runs on the main thread.

#include "framework/core/KB_GrowingArray.h"
#include "render/effects/KR_MetaBall.h"

#include <cstdint>

class KR_Camera;

class KR_MetaBallRenderer
{
public:
    KR_MetaBallRenderer() = default;
    virtual ~KR_MetaBallRenderer() = default;

    KR_MetaBallRenderer(const KR_MetaBallRenderer&) = delete;
    KR_MetaBallRenderer& operator=(const KR_MetaBallRenderer&) = delete;

    // Prepares the renderer before its resources exist; true on success.
    virtual bool Initialize() = 0;
    // Makes the device objects that do not depend on the window size; true on success.
    virtual bool CreateResources() = 0;
    // Makes the objects sized after the back buffer; true on success.
    virtual bool CreateSizeDependentResources() = 0;
    // Releases what CreateResources made; true on success.
    virtual bool ReleaseResources() = 0;
    // Releases what CreateSizeDependentResources made; true on success.
    virtual bool ReleaseSizeDependentResources() = 0;
    // Draws the balls into the bound render target after the opaque scene; fCoreRadius is a
    // fraction of each ball's effective radius. False, with nothing bound or drawn, for no balls,
    // MAX_BALLS or more, a null camera, or when the device could not make what the passes need.
    virtual bool Render(KR_Camera* pCamera, const KB_GrowingArray<KR_MetaBall>* pBalls,
                        float fCoreRadius) = 0;

    static constexpr std::uint32_t MAX_BALLS = 200000; // exclusive
};
