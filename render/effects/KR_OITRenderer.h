#pragma once
// Abstract interface of order-independent transparency: while a material marked for it draws, its
// fragments go to per-pixel lists, which one full-screen pass blends over the image at the end of
// the frame. The selected graphics context makes the one instance; the engine singleton owns it
// and deletes it through the virtual destructor. Device resources are made by the life-cycle
// operations, which the load job calls; the rest runs on the main thread.

class KR_OITRenderer
{
public:
    KR_OITRenderer() = default;
    virtual ~KR_OITRenderer() = default;

    KR_OITRenderer(const KR_OITRenderer&) = delete;
    KR_OITRenderer& operator=(const KR_OITRenderer&) = delete;

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
    // Starts transparent drawing for the following draws of a material; true on success.
    virtual bool BeginTransparency() = 0;
    // Restores opaque drawing (the rasterizer state from just before the matching
    // BeginTransparency); called first by every material application; true on success.
    virtual bool EndTransparency() = 0;
    // Blends the frame's lists over the bound render target and ends the frame's transparency;
    // nothing when no transparent material drew. Once per frame, after the scene; true.
    virtual bool Resolve() = 0;
    // Ends a pass into other targets than the frame's image (a cube-map face): what its
    // transparent materials gathered is dropped unresolved and opaque drawing restored, so the
    // next transparent draw starts empty lists. True.
    virtual bool DiscardLists() = 0;
};
