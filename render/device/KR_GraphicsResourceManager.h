#pragma once
// Abstract interface of the engine-wide get-or-create cache of GPU objects. The selected graphics
// context makes the one instance once the graphics device is stored in the engine singleton; the
// singleton owns it and deletes it through the virtual destructor.

#include "framework/core/KB_String.h"
#include "platform/d3d11/d3d11.h"
#include "render/device/KR_TextureResourceDescription.h"

#include <cstdint>

class KR_ManagedShaderResourceView;

class KR_GraphicsResourceManager
{
public:
    static constexpr std::uint32_t INVALID_HANDLE = 0xFFFFFFFFu;

    KR_GraphicsResourceManager() = default;
    virtual ~KR_GraphicsResourceManager() = default;

    KR_GraphicsResourceManager(const KR_GraphicsResourceManager&) = delete;
    KR_GraphicsResourceManager& operator=(const KR_GraphicsResourceManager&) = delete;

    // Release the pooled textures and buffers that no renderer holds, so size-dependent ones are
    // made anew at the next request. Called on every change of the window size.
    virtual void DestroyUnusedTextures() = 0;
    virtual void DestroyUnusedBuffers() = 0;

    // Pooled textures by description, u32 handles (INVALID_HANDLE: none), and views of texture
    // files handed out at once as proxies. Until the pool exists here the manager keeps none: a
    // texture cannot be acquired and no view is known. Callers never release what is handed out.
    virtual std::uint32_t AcquireTexture(const KR_TextureResourceDescription* /*pDescription*/)
    {
        return INVALID_HANDLE;
    }
    // Hands the texture back for reuse and sets the handle to INVALID_HANDLE.
    virtual void ReleaseTexture(std::uint32_t* pHandle) { *pHandle = INVALID_HANDLE; }
    virtual ID3D11ShaderResourceView* GetShaderResourceView(std::uint32_t /*uiHandle*/) { return nullptr; }
    virtual KR_ManagedShaderResourceView* GetShaderResourceViewFromFile(const KB_String& /*sPath*/)
    {
        return nullptr;
    }
};
