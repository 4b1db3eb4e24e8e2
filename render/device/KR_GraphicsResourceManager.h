#pragma once
// Abstract interface of the engine-wide get-or-create cache of GPU objects. The selected graphics
// context makes the one instance once the graphics device is stored in the engine singleton; the
// singleton owns it and deletes it through the virtual destructor.

class KR_GraphicsResourceManager
{
public:
    KR_GraphicsResourceManager() = default;
    virtual ~KR_GraphicsResourceManager() = default;

    KR_GraphicsResourceManager(const KR_GraphicsResourceManager&) = delete;
    KR_GraphicsResourceManager& operator=(const KR_GraphicsResourceManager&) = delete;

    // Release the pooled textures and buffers that no renderer holds, so size-dependent ones are
    // made anew at the next request. Called on every change of the window size.
    virtual void DestroyUnusedTextures() = 0;
    virtual void DestroyUnusedBuffers() = 0;
};
