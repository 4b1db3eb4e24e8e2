#pragma once
// Abstract interface of the post-processing chain. The selected graphics context makes the one
// instance; the engine singleton owns it and deletes it through the virtual destructor. Device
// resources are made by the life-cycle operations, which the load job calls; the rest runs on the
// main thread.

#include <cstdint>

class KR_PostFXEngine
{
public:
    KR_PostFXEngine() = default;
    virtual ~KR_PostFXEngine() = default;

    KR_PostFXEngine(const KR_PostFXEngine&) = delete;
    KR_PostFXEngine& operator=(const KR_PostFXEngine&) = delete;

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
    // Adds effect uiId to this frame's chain (once) with its parameter record, which is copied;
    // true. The base keeps no chain.
    virtual bool EnableEffect(std::uint32_t /*uiId*/, const void* /*pRecord*/) { return true; }
    // Takes effect uiId out of the chain; false when it was not in it.
    virtual bool DisableEffect(std::uint32_t /*uiId*/) { return false; }
    // Around the scene's drawing of one frame: redirects it into the chain's targets (clearColor
    // points to four floats), then runs the chain into the back buffer; true. The base draws
    // straight into the back buffer.
    virtual bool BeginFrame(const float* /*clearColor*/) { return true; }
    virtual bool EndFrame() { return true; }
};
