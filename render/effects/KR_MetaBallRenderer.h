#pragma once
// Abstract interface of the metaball renderer. The selected graphics context makes the one
// instance; the engine singleton owns it and deletes it through the virtual destructor. Device
// resources are made by the life-cycle operations, which the load job calls; the rest runs on the
// main thread.

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
};
