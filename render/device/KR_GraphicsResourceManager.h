#pragma once
// Abstract interface of the engine-wide get-or-create cache of GPU objects: pooled textures and
// buffers acquired by description with u32 handles (0xFFFFFFFF meaning none); blend, rasterizer
// and depth-stencil states; input layouts by vertex-format byte; effects; shader programs; views
// and models from files, handed out at once as proxies; the loading progress. Callers never
// release or delete what it hands out. The selected graphics context makes the one instance once
// the graphics device is stored in the engine singleton; the singleton owns it.

#include "framework/core/KB_String.h"
#include "platform/d3d11/d3d11.h"
#include "platform/d3dcompiler/d3dcompiler.h"
#include "render/device/KR_BufferResourceDescription.h"
#include "render/device/KR_TextureResourceDescription.h"

#include <cstdint>

class KR_ManagedShaderResourceView;
class KR_ManagedModelResourceDX11;
class KR_MeshDX11;
class KR_ShaderProperties;
struct KR_ShaderProgram;
struct ID3DX11Effect;

class KR_GraphicsResourceManager
{
public:
    static constexpr std::uint32_t INVALID_HANDLE = 0xFFFFFFFFu;

    KR_GraphicsResourceManager() = default;
    virtual ~KR_GraphicsResourceManager() = default;

    KR_GraphicsResourceManager(const KR_GraphicsResourceManager&) = delete;
    KR_GraphicsResourceManager& operator=(const KR_GraphicsResourceManager&) = delete;

    // Loads the placeholder model before any scene loads.
    virtual void LoadDefaultResources() = 0;

    // The first created, unused record of an equal description, else a new one; marked in use.
    virtual std::uint32_t AcquireTexture(const KR_TextureResourceDescription* pDescription) = 0;
    // Hands the record back for reuse and sets the handle to INVALID_HANDLE.
    virtual void ReleaseTexture(std::uint32_t* pHandle) = 0;
    // Releases the objects of every record no renderer holds, so size-dependent ones are made
    // anew at the next request. Called on every change of the window size.
    virtual void DestroyUnusedTextures() = 0;
    // The getters take no lock and add no reference; an unknown handle or slice gives null (the
    // description getter: false).
    virtual bool GetTextureDescription(KR_TextureResourceDescription& description,
                                       std::uint32_t uiHandle) = 0;
    virtual ID3D11Texture2D* GetTexture2D(std::uint32_t uiHandle) = 0;
    virtual ID3D11Texture3D* GetTexture3D(std::uint32_t uiHandle) = 0;
    virtual ID3D11RenderTargetView* GetRenderTargetView(std::uint32_t uiHandle, std::uint32_t uiSlice) = 0;
    virtual ID3D11DepthStencilView* GetDepthStencilView(std::uint32_t uiHandle, std::uint32_t uiSlice) = 0;
    virtual ID3D11ShaderResourceView* GetShaderResourceView(std::uint32_t uiHandle) = 0;
    virtual ID3D11UnorderedAccessView* GetUnorderedAccessView(std::uint32_t uiHandle) = 0;

    // One state per distinct description, made on first request; null (not kept) when the device
    // refuses, so the next request tries again.
    virtual ID3D11BlendState* GetBlendState(const D3D11_BLEND_DESC* pDesc) = 0;
    virtual ID3D11RasterizerState* GetRasterizerState(const D3D11_RASTERIZER_DESC* pDesc) = 0;
    virtual ID3D11DepthStencilState* GetDepthStencilState(const D3D11_DEPTH_STENCIL_DESC* pDesc) = 0;

    virtual std::uint32_t AcquireBuffer(const KR_BufferResourceDescription* pDescription) = 0;
    virtual void ReleaseBuffer(std::uint32_t* pHandle) = 0;
    virtual void DestroyUnusedBuffers() = 0;
    virtual bool GetBufferDescription(KR_BufferResourceDescription& description, std::uint32_t uiHandle) = 0;
    virtual ID3D11Buffer* GetBuffer(std::uint32_t uiHandle) = 0;
    virtual ID3D11UnorderedAccessView* GetBufferUnorderedAccessView(std::uint32_t uiHandle) = 0;
    virtual ID3D11ShaderResourceView* GetBufferShaderResourceView(std::uint32_t uiHandle) = 0;

    // Proxies on a placeholder, loaded by jobs; the same path gives the same proxy.
    virtual KR_ManagedShaderResourceView* GetShaderResourceViewFromFile(const KB_String& sPath) = 0;
    virtual KR_ManagedShaderResourceView*
    GetTexture3DShaderResourceViewFromFile(const KB_String& sPath, std::uint32_t uiTilesAcross,
                                           std::uint32_t uiTilesDown) = 0;
    virtual KR_ManagedModelResourceDX11* GetModelResource(const KB_String& sPath, std::uint8_t uiFlag1,
                                                          std::uint8_t uiFlag2, std::uint8_t uiFlag3) = 0;

    // Compiled once per path and macro-list address; a failure is kept as null. Null, not kept,
    // while there are no file repositories or no device.
    virtual ID3DX11Effect* GetEffect(const KB_String& sPath, const D3D_SHADER_MACRO* pMacros) = 0;
    // Loaded once per properties hash; a failure is kept as null.
    virtual KR_ShaderProgram* GetShaderProgram(const KR_ShaderProperties* pProperties) = 0;
    // A new, allocated mesh owned by the caller; null when the allocation fails.
    virtual KR_MeshDX11* CreateMesh(std::uint32_t uiStride, std::uint32_t uiVertexCount,
                                    std::uint32_t uiTriangleCount) = 0;
    // One layout per vertex format, checked against that format's vertex program; null for a
    // format without an element list or without a vertex program (yet). A null is not kept.
    virtual ID3D11InputLayout* GetInputLayout(const std::uint8_t* pVertexFormat) = 0;

    virtual float GetLoadingProgress() = 0;
    virtual bool FinishLoading() = 0;
    virtual void BeginLoadingPhase() = 0;
    virtual void ProcessQueuedTexture3D() = 0;
};
