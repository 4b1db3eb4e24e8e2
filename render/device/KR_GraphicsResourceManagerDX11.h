#pragma once
// The Direct3D 11 resource manager. Objects are made on the graphics device of the engine
// singleton, from whichever thread asks (the load job and the main thread both do).
//
// Pooled textures and buffers live in tables whose records never move (an append on the load
// job never disturbs a getter on the main thread); the getters take no lock and range-check the
// handle and slice. A destroyed record keeps its slot; its index is reused by the next new record
// (first free index, the last one moved into its place).
//
// Every cache has its own lock held for the whole get-or-create, so a missing object is made at
// most once. The state, effect and program caches keep each key's 64-bit hash with the entry and
// compare whole keys on a hash match: equal descriptions share one object, different ones never
// do. Lock order: input layouts, then shader programs; nothing else nests.
//
// The file-backed views and models, their jobs and the loading progress are not built yet: the
// file getters answer null and the progress reports a loading phase with nothing to load.

#include "render/device/KR_BufferResource.h"
#include "render/device/KR_EffectKey.h"
#include "render/device/KR_GraphicsResourceManager.h"
#include "render/device/KR_KeyHashing.h"
#include "render/device/KR_ShaderProperties.h"
#include "render/device/KR_StableTable.h"
#include "render/device/KR_TextureResource.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

class KR_GraphicsResourceManagerDX11 : public KR_GraphicsResourceManager
{
public:
    KR_GraphicsResourceManagerDX11();
    // Releases every object and deletes every program it made.
    ~KR_GraphicsResourceManagerDX11() override;

    void LoadDefaultResources() override;

    std::uint32_t AcquireTexture(const KR_TextureResourceDescription* pDescription) override;
    void ReleaseTexture(std::uint32_t* pHandle) override;
    void DestroyUnusedTextures() override;
    bool GetTextureDescription(KR_TextureResourceDescription& description, std::uint32_t uiHandle) override;
    ID3D11Texture2D* GetTexture2D(std::uint32_t uiHandle) override;
    ID3D11Texture3D* GetTexture3D(std::uint32_t uiHandle) override;
    ID3D11RenderTargetView* GetRenderTargetView(std::uint32_t uiHandle, std::uint32_t uiSlice) override;
    ID3D11DepthStencilView* GetDepthStencilView(std::uint32_t uiHandle, std::uint32_t uiSlice) override;
    ID3D11ShaderResourceView* GetShaderResourceView(std::uint32_t uiHandle) override;
    ID3D11UnorderedAccessView* GetUnorderedAccessView(std::uint32_t uiHandle) override;

    ID3D11BlendState* GetBlendState(const D3D11_BLEND_DESC* pDesc) override;
    ID3D11RasterizerState* GetRasterizerState(const D3D11_RASTERIZER_DESC* pDesc) override;
    ID3D11DepthStencilState* GetDepthStencilState(const D3D11_DEPTH_STENCIL_DESC* pDesc) override;

    std::uint32_t AcquireBuffer(const KR_BufferResourceDescription* pDescription) override;
    void ReleaseBuffer(std::uint32_t* pHandle) override;
    void DestroyUnusedBuffers() override;
    bool GetBufferDescription(KR_BufferResourceDescription& description, std::uint32_t uiHandle) override;
    ID3D11Buffer* GetBuffer(std::uint32_t uiHandle) override;
    ID3D11UnorderedAccessView* GetBufferUnorderedAccessView(std::uint32_t uiHandle) override;
    ID3D11ShaderResourceView* GetBufferShaderResourceView(std::uint32_t uiHandle) override;

    KR_ManagedShaderResourceView* GetShaderResourceViewFromFile(const KB_String& sPath) override;
    KR_ManagedShaderResourceView* GetTexture3DShaderResourceViewFromFile(const KB_String& sPath,
                                                                         std::uint32_t uiTilesAcross,
                                                                         std::uint32_t uiTilesDown) override;
    KR_ManagedModelResourceDX11* GetModelResource(const KB_String& sPath, std::uint8_t uiFlag1,
                                                  std::uint8_t uiFlag2, std::uint8_t uiFlag3) override;

    ID3DX11Effect* GetEffect(const KB_String& sPath, const D3D_SHADER_MACRO* pMacros) override;
    KR_ShaderProgram* GetShaderProgram(const KR_ShaderProperties* pProperties) override;
    KR_MeshDX11* CreateMesh(std::uint32_t uiStride, std::uint32_t uiVertexCount,
                            std::uint32_t uiTriangleCount) override;
    ID3D11InputLayout* GetInputLayout(const std::uint8_t* pVertexFormat) override;

    float GetLoadingProgress() override;
    bool FinishLoading() override;
    void BeginLoadingPhase() override;
    void ProcessQueuedTexture3D() override;

    // Releases the stages' code and shader objects and frees the record; the states it names are
    // borrowed and stay.
    static void DeleteShaderProgram(KR_ShaderProgram* pProgram);

private:
    // The hash picks the bucket; equal hashes are told apart by the whole description.
    template <class TDesc, class TState>
    using StateTable =
        std::unordered_map<TDesc, TState*, KR_KeyHashing::DescriptionHash, KR_KeyHashing::DescriptionEqual>;

    struct ProgramEntry
    {
        KR_ShaderProperties properties; // the key, copied in; never hashed again
        KR_ShaderProgram* pProgram = nullptr;
    };

    template <class TDesc, class TState, class TCreate>
    TState* GetState(std::mutex& mutex, StateTable<TDesc, TState>& table, const TDesc* pDesc, TCreate create);

    KR_StableTable<KR_TextureResource> m_textures;
    KR_StableTable<KR_BufferResource> m_buffers;
    std::unordered_map<std::uint64_t, std::vector<std::pair<KR_EffectKey, ID3DX11Effect*>>> m_effects;
    ID3D11InputLayout* m_apInputLayouts[256] = {};
    bool m_abInputLayoutKnown[256] = {};
    std::unordered_map<std::uint64_t, ProgramEntry> m_programs;
    StateTable<D3D11_BLEND_DESC, ID3D11BlendState> m_blendStates;
    StateTable<D3D11_RASTERIZER_DESC, ID3D11RasterizerState> m_rasterizerStates;
    StateTable<D3D11_DEPTH_STENCIL_DESC, ID3D11DepthStencilState> m_depthStencilStates;
    std::vector<std::uint32_t> m_vFreeTextureIndices;
    std::vector<std::uint32_t> m_vFreeBufferIndices;
    bool m_bLoadingPhase = false;
    std::uint64_t m_uiLoadedBytes = 0;
    std::uint64_t m_uiBytesToLoad = 0;

    // Plain mutexes: nothing takes its own lock again, and an operating-system mutex would cost
    // a system call on every cached lookup. The progress lock is taken again by its owner when a
    // waited-for job finishes on the waiting thread, so it is recursive.
    std::recursive_mutex m_progressMutex;
    std::mutex m_textureMutex;
    std::mutex m_bufferMutex;
    std::mutex m_viewsMutex;
    std::mutex m_modelsMutex;
    std::mutex m_effectMutex;
    std::mutex m_inputLayoutMutex;
    std::mutex m_programMutex;
    std::mutex m_blendMutex;
    std::mutex m_rasterizerMutex;
    std::mutex m_depthStencilMutex;
};
