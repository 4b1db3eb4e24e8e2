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
// Views and models from files are handed out at once as proxies on the placeholders and made by
// jobs on the worker pool; colour cubes are queued and built on the main thread one per loading
// frame. A request that makes a new proxy adds the file's size, read once then, to the bytes to
// load; its job or build adds that same value to the loaded bytes when it ends, whether or not
// the file loaded. Lock order: views or models, then progress. A job takes the models lock (to
// hand over its model) and the progress lock one after the other, never nested, and nothing is
// waited for while a lock is held.

#include "render/device/KR_BufferResource.h"
#include "render/device/KR_EffectKey.h"
#include "render/device/KR_GraphicsResourceManager.h"
#include "render/device/KR_KeyHashing.h"
#include "render/device/KR_ShaderProperties.h"
#include "render/device/KR_StableTable.h"
#include "render/device/KR_TextureResource.h"
#include "render/models/KR_ModelResourceDescriptor.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

class KR_ManagedShaderResourceViewDX11;
class KR_ModelResource;
template <typename T>
class KT_Future;

class KR_GraphicsResourceManagerDX11 : public KR_GraphicsResourceManager
{
public:
    static constexpr const char* PLACEHOLDER_TEXTURE = "Assets/Textures/Dev/Dev_UnloadedTexture.png";
    static constexpr const char* PLACEHOLDER_MODEL = "Assets/Models/Dev/Dev_UnloadedModel.dae";

    // Makes the placeholder view from PLACEHOLDER_TEXTURE, or, when that cannot be read or
    // decoded, from a built-in 1x1 texture. The placeholder model is the empty model until
    // LoadDefaultResources.
    KR_GraphicsResourceManagerDX11();
    // Lets every job that has not begun skip its work, waits for every job, then releases every
    // object and deletes every program, proxy and model it made.
    ~KR_GraphicsResourceManagerDX11() override;

    // Test hooks of the loading jobs, called with pContext: pJobEnding by each view and model job
    // after its work and before it counts its bytes; pBeforeWaiting by FinishLoading once it has
    // taken the pending jobs, before it waits on them. Set before any request.
    struct LoadingHooks
    {
        void (*pJobEnding)(void* pContext) = nullptr;
        void (*pBeforeWaiting)(void* pContext) = nullptr;
        void* pContext = nullptr;
    };
    void SetLoadingHooks(const LoadingHooks& hooks) { m_oHooks = hooks; }

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
    // False before the loading phase or while the byte totals differ. Otherwise takes the
    // pending jobs out under the progress lock, waits on each without it (a job still queued
    // runs here), and answers whether the totals still match with no job pending.
    bool FinishLoading() override;
    void BeginLoadingPhase() override;
    void ProcessQueuedTexture3D() override;

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

    struct ViewJob
    {
        KR_GraphicsResourceManagerDX11* pManager;
        KB_String sPath;
        KR_ManagedShaderResourceViewDX11* pProxy;
        std::uint64_t uiSize; // as read at request time
    };
    struct ModelJob
    {
        KR_GraphicsResourceManagerDX11* pManager;
        KR_ModelResourceDescriptor descriptor;
        KR_ManagedModelResourceDX11* pProxy;
        std::uint64_t uiSize;
    };
    struct Texture3DRequest
    {
        KB_String sPath;
        KR_ManagedShaderResourceViewDX11* pProxy = nullptr;
        std::uint32_t uiTilesAcross = 0;
        std::uint32_t uiTilesDown = 0;
        std::uint64_t uiSize = 0;
    };
    struct DescriptorHash
    {
        std::size_t operator()(const KR_ModelResourceDescriptor& key) const
        {
            return static_cast<std::size_t>(key.GetHash());
        }
    };

    static void RunViewJob(ViewJob job);
    static void RunModelJob(ModelJob job);
    // The view of a whole image file read through the file manager; null when it cannot be had.
    static ID3D11ShaderResourceView* CreateViewFromFile(const KB_String& sPath);
    // Counts a finished request's bytes as loaded.
    void CompleteBytes(std::uint64_t uiSize);
    // The file's size from the first repository that answers; 0 when none does.
    static std::uint64_t GetFileSize(const KB_String& sPath);
    // Posts the job and lists its future; false (nothing posted) when memory runs out. The
    // caller holds the progress lock.
    template <class TJob>
    bool PostJob(void (*pRun)(TJob), TJob job);
    // The proxy of a path (m_oViewsMutex held): the existing one, or a new one on the placeholder
    // (*pMade true) that the caller loads; null when the memory cannot be had.
    KR_ManagedShaderResourceViewDX11* FindOrMakeViewProxy(const KB_String& sPath, bool* pMade);
    // Takes the pending jobs out under the progress lock and waits on each without it.
    void WaitForPendingJobs();

    template <class TDesc, class TState, class TCreate>
    TState* GetState(std::mutex& mutex, StateTable<TDesc, TState>& table, const TDesc* pDesc, TCreate create);

    KR_StableTable<KR_TextureResource> m_gTextures;
    KR_StableTable<KR_BufferResource> m_gBuffers;
    std::unordered_map<std::uint64_t, std::vector<std::pair<KR_EffectKey, ID3DX11Effect*>>> m_mapEffects;
    ID3D11InputLayout* m_apInputLayouts[256] = {}; // null: not made (yet)
    std::unordered_map<std::uint64_t, ProgramEntry> m_mapPrograms;
    StateTable<D3D11_BLEND_DESC, ID3D11BlendState> m_mapBlendStates;
    StateTable<D3D11_RASTERIZER_DESC, ID3D11RasterizerState> m_mapRasterizerStates;
    StateTable<D3D11_DEPTH_STENCIL_DESC, ID3D11DepthStencilState> m_mapDepthStencilStates;
    std::vector<std::uint32_t> m_vFreeTextureIndices;
    std::vector<std::uint32_t> m_vFreeBufferIndices;

    // Placeholders: the view (one reference held) and the model proxies start on; the empty model
    // stands in for the placeholder model until (and when) that cannot be loaded.
    ID3D11ShaderResourceView* m_pPlaceholderView = nullptr;
    std::unique_ptr<KR_ModelResource> m_pEmptyModel;
    std::unique_ptr<KR_ModelResource> m_pPlaceholderModel; // guarded by m_oModelsMutex
    // Looked up by the path's bytes without making a key (views are asked for by name every frame).
    struct ViewPathHash
    {
        using is_transparent = void;
        std::size_t operator()(std::string_view sPath) const { return std::hash<std::string_view>{}(sPath); }
    };
    std::unordered_map<std::string, std::unique_ptr<KR_ManagedShaderResourceViewDX11>, ViewPathHash,
                       std::equal_to<>>
        m_mapViews;
    std::unordered_map<KR_ModelResourceDescriptor, std::unique_ptr<KR_ManagedModelResourceDX11>,
                       DescriptorHash>
        m_mapModels;
    std::vector<std::unique_ptr<KR_ModelResource>> m_vLoadedModels; // guarded by m_oModelsMutex
    std::atomic<bool> m_bShuttingDown{false}; // jobs that begin after it skip their work
    LoadingHooks m_oHooks;

    // Guarded by m_oProgressMutex.
    bool m_bLoadingPhase = false;
    std::uint64_t m_uiLoadedBytes = 0;
    std::uint64_t m_uiBytesToLoad = 0;
    std::vector<KT_Future<void>*> m_vPendingJobs; // owned
    std::vector<Texture3DRequest> m_vQueuedTexture3D;

    // Plain mutexes: nothing takes its own lock again, and an operating-system mutex would cost
    // a system call on every cached lookup. Nothing waits for a job while holding one, so no
    // job that runs on the waiting thread takes a lock its waiter holds.
    std::mutex m_oProgressMutex;
    std::mutex m_oTextureMutex;
    std::mutex m_oBufferMutex;
    std::mutex m_oViewsMutex;
    std::mutex m_oModelsMutex;
    std::mutex m_oEffectMutex;
    std::mutex m_oInputLayoutMutex;
    std::mutex m_oProgramMutex;
    std::mutex m_oBlendMutex;
    std::mutex m_oRasterizerMutex;
    std::mutex m_oDepthStencilMutex;
};
