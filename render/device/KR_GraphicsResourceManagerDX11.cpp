#include "render/device/KR_GraphicsResourceManagerDX11.h"

#include "framework/app/KE_EngineMembers.h"
#include "framework/files/KF_FileManager.h"
#include "framework/threads/KT_BindStruct.h"
#include "framework/threads/KT_Future.h"
#include "platform/d3dx11/d3dx11.h"
#include "platform/effects11/d3dx11effect.h"
#include "render/device/KR_EngineDevice.h"
#include "render/device/KR_GraphicsDevice.h"
#include "render/device/KR_InputLayouts.h"
#include "render/device/KR_KeyHashing.h"
#include "render/device/KR_ManagedShaderResourceViewDX11.h"
#include "render/device/KR_MaterialManager.h"
#include "render/device/KR_ReleaseAndNull.h"
#include "render/device/KR_ShaderCache.h"
#include "render/device/KR_ShaderProgram.h"
#include "render/device/KR_Texture3DBuilder.h"
#include "render/device/KR_UtilitiesDX11.h"
#include "render/models/KR_EmptyModelResource.h"
#include "render/models/KR_ManagedModelResourceDX11.h"
#include "render/models/KR_MeshDX11.h"
#include "render/models/KR_ModelLoader.h"

#include <algorithm>
#include <new>

namespace
{

// The placeholder of last resort: one opaque mid-grey texel.
ID3D11ShaderResourceView* CreateBuiltInPlaceholderView()
{
    ID3D11Device* pDevice = KR_GetEngineDevice();
    if (pDevice == nullptr)
        return nullptr;
    const std::uint32_t uiTexel = 0xFF808080u;
    D3D11_TEXTURE2D_DESC desc{
        1, 1, 1, 1, DXGI_FORMAT_R8G8B8A8_UNORM, {1, 0}, D3D11_USAGE_DEFAULT, D3D11_BIND_SHADER_RESOURCE,
        0, 0};
    D3D11_SUBRESOURCE_DATA initial{&uiTexel, sizeof(uiTexel), sizeof(uiTexel)};
    ID3D11Texture2D* pTexture = nullptr;
    if (FAILED(pDevice->CreateTexture2D(&desc, &initial, &pTexture)) || pTexture == nullptr)
        return nullptr;
    ID3D11ShaderResourceView* pView = nullptr;
    if (FAILED(pDevice->CreateShaderResourceView(pTexture, nullptr, &pView)))
        pView = nullptr;
    pTexture->Release();
    return pView;
}

std::string Key(const KB_String& sPath)
{
    return std::string(sPath.GetBuffer(), sPath.GetLength());
}

// Takes the first free index and moves the last one into its place.
std::uint32_t TakeFreeIndex(std::vector<std::uint32_t>& vFree)
{
    const std::uint32_t uiIndex = vFree.front();
    vFree.front() = vFree.back();
    vFree.pop_back();
    return uiIndex;
}

template <class TTable, class TRecord, class TDescription>
std::uint32_t Acquire(TTable& table, std::vector<std::uint32_t>& vFree, const TDescription& description)
{
    const std::uint32_t uiCount = table.GetCount();
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        TRecord* pRecord = table.Get(i);
        if (pRecord->m_bCreated && !pRecord->m_bInUse && pRecord->m_oDescription == description)
        {
            pRecord->m_bInUse = true;
            return i;
        }
    }
    std::uint32_t uiIndex = KR_GraphicsResourceManager::INVALID_HANDLE;
    TRecord* pRecord = nullptr;
    if (!vFree.empty())
    {
        uiIndex = TakeFreeIndex(vFree);
        pRecord = table.Get(uiIndex);
        pRecord->Release();
        pRecord->m_oDescription = description;
    }
    else
    {
        TRecord fresh;
        fresh.m_oDescription = description;
        uiIndex = table.Append(fresh);
        if (uiIndex == KR_GraphicsResourceManager::INVALID_HANDLE)
            return uiIndex;
        pRecord = table.Get(uiIndex);
    }
    pRecord->Create(KR_GetEngineDevice());
    pRecord->m_bInUse = true;
    return uiIndex;
}

template <class TTable>
void ReleaseHandle(TTable& table, std::uint32_t* pHandle)
{
    if (pHandle == nullptr)
        return;
    auto* pRecord = table.Get(*pHandle);
    if (pRecord != nullptr)
        pRecord->m_bInUse = false;
    *pHandle = KR_GraphicsResourceManager::INVALID_HANDLE;
}

template <class TTable>
void DestroyUnused(TTable& table, std::vector<std::uint32_t>& vFree)
{
    const std::uint32_t uiCount = table.GetCount();
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        auto* pRecord = table.Get(i);
        if (pRecord->m_bInUse)
            continue;
        pRecord->Release();
        if (std::find(vFree.begin(), vFree.end(), i) == vFree.end())
            vFree.push_back(i);
    }
}

} // namespace

KR_GraphicsResourceManagerDX11::KR_GraphicsResourceManagerDX11()
    : m_pEmptyModel(new(std::nothrow) KR_EmptyModelResource())
{
    m_pPlaceholderView = CreateViewFromFile(PLACEHOLDER_TEXTURE);
    if (m_pPlaceholderView == nullptr)
        m_pPlaceholderView = CreateBuiltInPlaceholderView();
}

KR_GraphicsResourceManagerDX11::~KR_GraphicsResourceManagerDX11()
{
    m_bShuttingDown.store(true);
    WaitForPendingJobs();
    m_vQueuedTexture3D.clear();
    m_mapViews.clear();
    m_mapModels.clear();
    m_vLoadedModels.clear();
    m_pPlaceholderModel.reset();
    m_pEmptyModel.reset();
    KR_ReleaseAndNull(m_pPlaceholderView);
    for (std::uint32_t i = 0; i < m_gTextures.GetCount(); ++i)
        m_gTextures.Get(i)->Release();
    for (std::uint32_t i = 0; i < m_gBuffers.GetCount(); ++i)
        m_gBuffers.Get(i)->Release();
    for (auto& bucket : m_mapEffects)
        for (auto& entry : bucket.second)
            KR_ReleaseAndNull(entry.second);
    for (ID3D11InputLayout*& pLayout : m_apInputLayouts)
        KR_ReleaseAndNull(pLayout);
    for (auto& entry : m_mapPrograms)
        KR_ShaderCache::DeleteShaderProgram(entry.second.pProgram);
    for (auto& entry : m_mapBlendStates)
        KR_ReleaseAndNull(entry.second);
    for (auto& entry : m_mapRasterizerStates)
        KR_ReleaseAndNull(entry.second);
    for (auto& entry : m_mapDepthStencilStates)
        KR_ReleaseAndNull(entry.second);
}

void KR_GraphicsResourceManagerDX11::LoadDefaultResources()
{
    KR_ModelResource* pModel = KR_ModelLoader::LoadModel(PLACEHOLDER_MODEL, 1, 1, 1);
    if (pModel == nullptr)
        return; // the empty model stays the placeholder
    std::unique_ptr<KR_ModelResource> pOwned(pModel);
    std::lock_guard<std::mutex> lock(m_oModelsMutex);
    try
    {
        // Proxies made so far may hold an earlier placeholder: it stays alive with the models.
        if (m_pPlaceholderModel != nullptr)
            m_vLoadedModels.push_back(std::move(m_pPlaceholderModel));
        m_pPlaceholderModel = std::move(pOwned);
    }
    catch (const std::bad_alloc&)
    {
    }
}

std::uint32_t
KR_GraphicsResourceManagerDX11::AcquireTexture(const KR_TextureResourceDescription* pDescription)
{
    if (pDescription == nullptr)
        return INVALID_HANDLE;
    std::lock_guard<std::mutex> lock(m_oTextureMutex);
    return Acquire<KR_StableTable<KR_TextureResource>, KR_TextureResource>(m_gTextures, m_vFreeTextureIndices,
                                                                           *pDescription);
}

void KR_GraphicsResourceManagerDX11::ReleaseTexture(std::uint32_t* pHandle)
{
    std::lock_guard<std::mutex> lock(m_oTextureMutex);
    ReleaseHandle(m_gTextures, pHandle);
}

void KR_GraphicsResourceManagerDX11::DestroyUnusedTextures()
{
    std::lock_guard<std::mutex> lock(m_oTextureMutex);
    DestroyUnused(m_gTextures, m_vFreeTextureIndices);
}

bool KR_GraphicsResourceManagerDX11::GetTextureDescription(KR_TextureResourceDescription& description,
                                                           std::uint32_t uiHandle)
{
    const KR_TextureResource* pRecord = m_gTextures.Get(uiHandle);
    if (pRecord == nullptr)
        return false;
    description = pRecord->m_oDescription;
    return true;
}

ID3D11Texture2D* KR_GraphicsResourceManagerDX11::GetTexture2D(std::uint32_t uiHandle)
{
    const KR_TextureResource* pRecord = m_gTextures.Get(uiHandle);
    return pRecord != nullptr ? pRecord->m_pTexture2D : nullptr;
}

ID3D11Texture3D* KR_GraphicsResourceManagerDX11::GetTexture3D(std::uint32_t uiHandle)
{
    const KR_TextureResource* pRecord = m_gTextures.Get(uiHandle);
    return pRecord != nullptr ? pRecord->m_pTexture3D : nullptr;
}

ID3D11RenderTargetView* KR_GraphicsResourceManagerDX11::GetRenderTargetView(std::uint32_t uiHandle,
                                                                            std::uint32_t uiSlice)
{
    const KR_TextureResource* pRecord = m_gTextures.Get(uiHandle);
    if (pRecord == nullptr || uiSlice >= pRecord->m_vRenderTargetViews.size())
        return nullptr;
    return pRecord->m_vRenderTargetViews[uiSlice];
}

ID3D11DepthStencilView* KR_GraphicsResourceManagerDX11::GetDepthStencilView(std::uint32_t uiHandle,
                                                                            std::uint32_t uiSlice)
{
    const KR_TextureResource* pRecord = m_gTextures.Get(uiHandle);
    if (pRecord == nullptr || uiSlice >= pRecord->m_vDepthStencilViews.size())
        return nullptr;
    return pRecord->m_vDepthStencilViews[uiSlice];
}

ID3D11ShaderResourceView* KR_GraphicsResourceManagerDX11::GetShaderResourceView(std::uint32_t uiHandle)
{
    const KR_TextureResource* pRecord = m_gTextures.Get(uiHandle);
    return pRecord != nullptr ? pRecord->m_pShaderResourceView : nullptr;
}

ID3D11UnorderedAccessView* KR_GraphicsResourceManagerDX11::GetUnorderedAccessView(std::uint32_t uiHandle)
{
    const KR_TextureResource* pRecord = m_gTextures.Get(uiHandle);
    return pRecord != nullptr ? pRecord->m_pUnorderedAccessView : nullptr;
}

std::uint32_t KR_GraphicsResourceManagerDX11::AcquireBuffer(const KR_BufferResourceDescription* pDescription)
{
    if (pDescription == nullptr)
        return INVALID_HANDLE;
    std::lock_guard<std::mutex> lock(m_oBufferMutex);
    return Acquire<KR_StableTable<KR_BufferResource>, KR_BufferResource>(m_gBuffers, m_vFreeBufferIndices,
                                                                         *pDescription);
}

void KR_GraphicsResourceManagerDX11::ReleaseBuffer(std::uint32_t* pHandle)
{
    std::lock_guard<std::mutex> lock(m_oBufferMutex);
    ReleaseHandle(m_gBuffers, pHandle);
}

void KR_GraphicsResourceManagerDX11::DestroyUnusedBuffers()
{
    std::lock_guard<std::mutex> lock(m_oBufferMutex);
    DestroyUnused(m_gBuffers, m_vFreeBufferIndices);
}

bool KR_GraphicsResourceManagerDX11::GetBufferDescription(KR_BufferResourceDescription& description,
                                                          std::uint32_t uiHandle)
{
    const KR_BufferResource* pRecord = m_gBuffers.Get(uiHandle);
    if (pRecord == nullptr)
        return false;
    description = pRecord->m_oDescription;
    return true;
}

ID3D11Buffer* KR_GraphicsResourceManagerDX11::GetBuffer(std::uint32_t uiHandle)
{
    const KR_BufferResource* pRecord = m_gBuffers.Get(uiHandle);
    return pRecord != nullptr ? pRecord->m_pBuffer : nullptr;
}

ID3D11UnorderedAccessView*
KR_GraphicsResourceManagerDX11::GetBufferUnorderedAccessView(std::uint32_t uiHandle)
{
    const KR_BufferResource* pRecord = m_gBuffers.Get(uiHandle);
    return pRecord != nullptr ? pRecord->m_pUnordererAccessView : nullptr;
}

ID3D11ShaderResourceView* KR_GraphicsResourceManagerDX11::GetBufferShaderResourceView(std::uint32_t uiHandle)
{
    const KR_BufferResource* pRecord = m_gBuffers.Get(uiHandle);
    return pRecord != nullptr ? pRecord->m_pShaderResourceView : nullptr;
}

template <class TDesc, class TState, class TCreate>
TState* KR_GraphicsResourceManagerDX11::GetState(std::mutex& mutex, StateTable<TDesc, TState>& table,
                                                 const TDesc* pDesc, TCreate create)
{
    std::lock_guard<std::mutex> lock(mutex);
    auto found = table.find(*pDesc);
    if (found != table.end())
        return found->second;
    ID3D11Device* pDevice = KR_GetEngineDevice();
    TState* pState = nullptr;
    if (pDevice == nullptr || FAILED(create(pDevice, &pState)) || pState == nullptr)
        return nullptr; // not kept: the next request tries again
    try
    {
        table.emplace(*pDesc, pState);
    }
    catch (const std::bad_alloc&)
    {
        pState->Release();
        return nullptr;
    }
    return pState;
}

ID3D11BlendState* KR_GraphicsResourceManagerDX11::GetBlendState(const D3D11_BLEND_DESC* pDesc)
{
    if (pDesc == nullptr)
        return nullptr;
    return GetState(m_oBlendMutex, m_mapBlendStates, pDesc,
                    [pDesc](ID3D11Device* pDevice, ID3D11BlendState** ppOut)
                    { return pDevice->CreateBlendState(pDesc, ppOut); });
}

ID3D11RasterizerState* KR_GraphicsResourceManagerDX11::GetRasterizerState(const D3D11_RASTERIZER_DESC* pDesc)
{
    if (pDesc == nullptr)
        return nullptr;
    return GetState(m_oRasterizerMutex, m_mapRasterizerStates, pDesc,
                    [pDesc](ID3D11Device* pDevice, ID3D11RasterizerState** ppOut)
                    { return pDevice->CreateRasterizerState(pDesc, ppOut); });
}

ID3D11DepthStencilState*
KR_GraphicsResourceManagerDX11::GetDepthStencilState(const D3D11_DEPTH_STENCIL_DESC* pDesc)
{
    if (pDesc == nullptr)
        return nullptr;
    return GetState(m_oDepthStencilMutex, m_mapDepthStencilStates, pDesc,
                    [pDesc](ID3D11Device* pDevice, ID3D11DepthStencilState** ppOut)
                    { return pDevice->CreateDepthStencilState(pDesc, ppOut); });
}

std::uint64_t KR_GraphicsResourceManagerDX11::GetFileSize(const KB_String& sPath)
{
    KF_FileManager* pFiles = KE_GetFileManager();
    std::uint64_t uiSize = 0;
    if (pFiles == nullptr || !pFiles->GetFileSize(sPath, &uiSize))
        return 0;
    return uiSize;
}

ID3D11ShaderResourceView* KR_GraphicsResourceManagerDX11::CreateViewFromFile(const KB_String& sPath)
{
    KF_FileManager* pFiles = KE_GetFileManager();
    ID3D11Device* pDevice = KR_GetEngineDevice();
    if (pFiles == nullptr || pDevice == nullptr)
        return nullptr;
    std::uint64_t uiSize = 0;
    std::uint8_t* pData = nullptr;
    if (!pFiles->ReadFile(sPath, &uiSize, &pData))
        return nullptr;
    ID3D11ShaderResourceView* pView = nullptr;
    if (FAILED(D3DX11CreateShaderResourceViewFromMemory(pDevice, pData, uiSize, nullptr, nullptr, &pView,
                                                        nullptr)))
    {
        pView = nullptr;
    }
    pFiles->RemoveReference(sPath);
    return pView;
}

void KR_GraphicsResourceManagerDX11::CompleteBytes(std::uint64_t uiSize)
{
    std::lock_guard<std::mutex> lock(m_oProgressMutex);
    m_uiLoadedBytes += uiSize;
}

template <class TJob>
bool KR_GraphicsResourceManagerDX11::PostJob(void (*pRun)(TJob), TJob job)
{
    // The list has room before the job exists, so a posted job is always listed (and waited for).
    try
    {
        if (m_vPendingJobs.size() == m_vPendingJobs.capacity())
            m_vPendingJobs.reserve(std::max<std::size_t>(16, 2 * m_vPendingJobs.capacity()));
        m_vPendingJobs.push_back(KT_RunAsync(KT_BindStruct1<void, TJob>{pRun, std::move(job)}));
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    return true;
}

void KR_GraphicsResourceManagerDX11::RunViewJob(ViewJob job)
{
    KR_GraphicsResourceManagerDX11* pManager = job.pManager;
    if (!pManager->m_bShuttingDown.load())
    {
        ID3D11ShaderResourceView* pView = CreateViewFromFile(job.sPath);
        if (pView != nullptr)
        {
            job.pProxy->SetShaderResourceView(pView);
            pView->Release(); // the proxy holds its own reference
        }
    }
    if (pManager->m_oHooks.pJobEnding != nullptr)
        pManager->m_oHooks.pJobEnding(pManager->m_oHooks.pContext);
    pManager->CompleteBytes(job.uiSize);
}

void KR_GraphicsResourceManagerDX11::RunModelJob(ModelJob job)
{
    KR_GraphicsResourceManagerDX11* pManager = job.pManager;
    if (!pManager->m_bShuttingDown.load())
    {
        const KR_ModelResourceDescriptor& key = job.descriptor;
        KR_ModelResource* pModel =
            KR_ModelLoader::LoadModel(key.m_sPath, key.m_uiFlags[0], key.m_uiFlags[1], key.m_uiFlags[2]);
        if (pModel != nullptr)
        {
            std::unique_ptr<KR_ModelResource> pOwned(pModel);
            std::lock_guard<std::mutex> lock(pManager->m_oModelsMutex);
            try
            {
                pManager->m_vLoadedModels.push_back(std::move(pOwned));
                job.pProxy->SetModelResource(pModel);
            }
            catch (const std::bad_alloc&)
            {
                // The model is freed; the proxy keeps the placeholder.
            }
        }
    }
    if (pManager->m_oHooks.pJobEnding != nullptr)
        pManager->m_oHooks.pJobEnding(pManager->m_oHooks.pContext);
    pManager->CompleteBytes(job.uiSize);
}

KR_ManagedShaderResourceViewDX11* KR_GraphicsResourceManagerDX11::FindOrMakeViewProxy(const KB_String& sPath,
                                                                                      bool* pMade)
{
    *pMade = false;
    auto found = m_mapViews.find(std::string_view(sPath.GetBuffer(), sPath.GetLength()));
    if (found != m_mapViews.end())
        return found->second.get();
    auto* pProxy = new (std::nothrow) KR_ManagedShaderResourceViewDX11(m_pPlaceholderView);
    if (pProxy == nullptr)
        return nullptr;
    try
    {
        m_mapViews.emplace(Key(sPath), std::unique_ptr<KR_ManagedShaderResourceViewDX11>(pProxy));
    }
    catch (const std::bad_alloc&)
    {
        delete pProxy;
        return nullptr;
    }
    *pMade = true;
    return pProxy;
}

KR_ManagedShaderResourceView*
KR_GraphicsResourceManagerDX11::GetShaderResourceViewFromFile(const KB_String& sPath)
{
    if (sPath.GetLength() == 0)
        return nullptr;
    std::lock_guard<std::mutex> lock(m_oViewsMutex);
    bool bMade = false;
    KR_ManagedShaderResourceViewDX11* pProxy = FindOrMakeViewProxy(sPath, &bMade);
    if (!bMade)
        return pProxy;
    const std::uint64_t uiSize = GetFileSize(sPath);
    // The job counts its bytes under this lock, so it cannot do so before they are added here.
    std::lock_guard<std::mutex> progressLock(m_oProgressMutex);
    if (PostJob(&RunViewJob, ViewJob{this, sPath, pProxy, uiSize}))
        m_uiBytesToLoad += uiSize; // otherwise the proxy stays on the placeholder, uncounted
    return pProxy;
}

KR_ManagedShaderResourceView* KR_GraphicsResourceManagerDX11::GetTexture3DShaderResourceViewFromFile(
    const KB_String& sPath, std::uint32_t uiTilesAcross, std::uint32_t uiTilesDown)
{
    if (sPath.GetLength() == 0)
        return nullptr;
    std::lock_guard<std::mutex> lock(m_oViewsMutex);
    bool bMade = false;
    KR_ManagedShaderResourceViewDX11* pProxy = FindOrMakeViewProxy(sPath, &bMade);
    if (!bMade)
        return pProxy;
    const std::uint64_t uiSize = GetFileSize(sPath);
    std::lock_guard<std::mutex> progressLock(m_oProgressMutex);
    try
    {
        m_vQueuedTexture3D.push_back(Texture3DRequest{sPath, pProxy, uiTilesAcross, uiTilesDown, uiSize});
        m_uiBytesToLoad += uiSize;
    }
    catch (const std::bad_alloc&)
    {
        // Not queued and not counted: the proxy stays on the placeholder.
    }
    return pProxy;
}

KR_ManagedModelResourceDX11* KR_GraphicsResourceManagerDX11::GetModelResource(const KB_String& sPath,
                                                                              std::uint8_t uiFlag1,
                                                                              std::uint8_t uiFlag2,
                                                                              std::uint8_t uiFlag3)
{
    if (sPath.GetLength() == 0)
        return nullptr;
    KR_ModelResourceDescriptor key(sPath, uiFlag1, uiFlag2, uiFlag3);
    std::lock_guard<std::mutex> lock(m_oModelsMutex);
    auto found = m_mapModels.find(key);
    if (found != m_mapModels.end())
        return found->second.get();
    KR_ModelResource* pPlaceholder =
        m_pPlaceholderModel != nullptr ? m_pPlaceholderModel.get() : m_pEmptyModel.get();
    if (pPlaceholder == nullptr)
        return nullptr; // the empty model could not be allocated: no proxy can stand for the model
    auto* pProxy = new (std::nothrow) KR_ManagedModelResourceDX11(pPlaceholder);
    if (pProxy == nullptr)
        return nullptr;
    try
    {
        m_mapModels.emplace(key, std::unique_ptr<KR_ManagedModelResourceDX11>(pProxy));
    }
    catch (const std::bad_alloc&)
    {
        delete pProxy;
        return nullptr;
    }
    // Only a new proxy counts its file: a hit adds nothing, or the totals would never meet.
    const std::uint64_t uiSize = GetFileSize(sPath);
    std::lock_guard<std::mutex> progressLock(m_oProgressMutex);
    if (PostJob(&RunModelJob, ModelJob{this, std::move(key), pProxy, uiSize}))
        m_uiBytesToLoad += uiSize;
    return pProxy;
}

ID3DX11Effect* KR_GraphicsResourceManagerDX11::GetEffect(const KB_String& sPath,
                                                         const D3D_SHADER_MACRO* pMacros)
{
    std::lock_guard<std::mutex> lock(m_oEffectMutex);
    KR_EffectKey key(sPath, pMacros);
    const std::uint64_t uiHash = key.GetHash();
    std::vector<std::pair<KR_EffectKey, ID3DX11Effect*>>& bucket = m_mapEffects[uiHash];
    for (const std::pair<KR_EffectKey, ID3DX11Effect*>& entry : bucket)
        if (entry.first == key)
            return entry.second;
    // Without the repositories or the device nothing could be compiled: not a failure of this
    // file, and not kept.
    if (KE_GetFileManager() == nullptr || KR_GetEngineDevice() == nullptr)
        return nullptr;
    ID3DX11Effect* pEffect = nullptr;
    if (KR_UtilitiesDX11::CompileEffect(sPath, pMacros, &pEffect) != 0)
        KR_ReleaseAndNull(pEffect);
    // A failure is kept too: a broken effect file is not compiled again on every frame.
    bucket.emplace_back(std::move(key), pEffect);
    return pEffect;
}

KR_ShaderProgram* KR_GraphicsResourceManagerDX11::GetShaderProgram(const KR_ShaderProperties* pProperties)
{
    if (pProperties == nullptr)
        return nullptr;
    const std::uint64_t uiHash = pProperties->GetHash();
    std::lock_guard<std::mutex> lock(m_oProgramMutex);
    auto found = m_mapPrograms.find(uiHash);
    if (found != m_mapPrograms.end())
        return found->second.pProgram;
    KR_ShaderCache* pCache = KE_GetShaderCache();
    if (pCache == nullptr)
        return nullptr; // nothing can load programs yet; not a failure of these properties
    KR_ShaderProgram* pProgram = pCache->LoadShaderProgram(pProperties);
    try
    {
        m_mapPrograms.emplace(uiHash, ProgramEntry{*pProperties, pProgram});
    }
    catch (const std::bad_alloc&)
    {
        KR_ShaderCache::DeleteShaderProgram(pProgram);
        return nullptr;
    }
    return pProgram;
}

KR_MeshDX11* KR_GraphicsResourceManagerDX11::CreateMesh(std::uint32_t uiStride, std::uint32_t uiVertexCount,
                                                        std::uint32_t uiTriangleCount)
{
    KR_MeshDX11* pMesh = new (std::nothrow) KR_MeshDX11();
    if (pMesh != nullptr && !pMesh->Allocate(uiStride, uiVertexCount, uiTriangleCount))
    {
        delete pMesh;
        pMesh = nullptr;
    }
    return pMesh;
}

ID3D11InputLayout* KR_GraphicsResourceManagerDX11::GetInputLayout(const std::uint8_t* pVertexFormat)
{
    if (pVertexFormat == nullptr)
        return nullptr;
    const std::uint8_t uiFormat = *pVertexFormat;
    std::lock_guard<std::mutex> lock(m_oInputLayoutMutex);
    if (m_apInputLayouts[uiFormat] != nullptr)
        return m_apInputLayouts[uiFormat];
    std::uint32_t uiCount = 0;
    const D3D11_INPUT_ELEMENT_DESC* pElements = KR_InputLayouts::GetElements(uiFormat, &uiCount);
    ID3D11InputLayout* pLayout = nullptr;
    if (pElements != nullptr)
    {
        KR_ShaderProperties properties;
        KR_MaterialManager::BuildVertexShaderProperties(properties, &uiFormat);
        const KR_ShaderProgram* pProgram = GetShaderProgram(&properties);
        ID3DBlob* pCode = pProgram != nullptr ? pProgram->m_pBlob[KR_SHADER_STAGE_VERTEX] : nullptr;
        ID3D11Device* pDevice = KR_GetEngineDevice();
        if (pCode != nullptr && pDevice != nullptr &&
            FAILED(pDevice->CreateInputLayout(pElements, uiCount, pCode->GetBufferPointer(),
                                              pCode->GetBufferSize(), &pLayout)))
        {
            pLayout = nullptr;
        }
    }
    // A null is not kept: the shader cache may not exist yet, or the device refused this once.
    // A format without a list or a program that failed to compile costs a table look-up per call.
    m_apInputLayouts[uiFormat] = pLayout;
    return pLayout;
}

float KR_GraphicsResourceManagerDX11::GetLoadingProgress()
{
    std::lock_guard<std::mutex> lock(m_oProgressMutex);
    if (!m_bLoadingPhase)
        return 0.0f;
    if (m_uiBytesToLoad == 0)
        return 1.0f;
    return static_cast<float>(m_uiLoadedBytes) / static_cast<float>(m_uiBytesToLoad);
}

void KR_GraphicsResourceManagerDX11::WaitForPendingJobs()
{
    std::vector<KT_Future<void>*> vJobs;
    {
        std::lock_guard<std::mutex> lock(m_oProgressMutex);
        vJobs.swap(m_vPendingJobs);
    }
    for (KT_Future<void>* pJob : vJobs)
    {
        pJob->Wait();
        delete pJob;
    }
}

bool KR_GraphicsResourceManagerDX11::FinishLoading()
{
    std::vector<KT_Future<void>*> vJobs;
    {
        std::lock_guard<std::mutex> lock(m_oProgressMutex);
        if (!m_bLoadingPhase || m_uiLoadedBytes != m_uiBytesToLoad)
            return false;
        vJobs.swap(m_vPendingJobs);
    }
    if (m_oHooks.pBeforeWaiting != nullptr)
        m_oHooks.pBeforeWaiting(m_oHooks.pContext);
    // A job of an unknown or empty file may still be running (or queued) with the totals equal;
    // it takes the progress lock at its end, so it is waited for without holding that lock.
    for (KT_Future<void>* pJob : vJobs)
    {
        pJob->Wait();
        delete pJob;
    }
    std::lock_guard<std::mutex> lock(m_oProgressMutex);
    return m_uiLoadedBytes == m_uiBytesToLoad && m_vPendingJobs.empty();
}

void KR_GraphicsResourceManagerDX11::BeginLoadingPhase()
{
    std::lock_guard<std::mutex> lock(m_oProgressMutex);
    m_bLoadingPhase = true;
}

void KR_GraphicsResourceManagerDX11::ProcessQueuedTexture3D()
{
    Texture3DRequest request;
    {
        std::lock_guard<std::mutex> lock(m_oProgressMutex);
        if (m_vQueuedTexture3D.empty())
            return;
        // The first request, then the last moved into its place: A, B, C are built A, C, B.
        request = std::move(m_vQueuedTexture3D.front());
        if (m_vQueuedTexture3D.size() > 1)
            m_vQueuedTexture3D.front() = std::move(m_vQueuedTexture3D.back());
        m_vQueuedTexture3D.pop_back();
    }
    KF_FileManager* pFiles = KE_GetFileManager();
    std::uint64_t uiSize = 0;
    std::uint8_t* pData = nullptr;
    if (pFiles != nullptr && pFiles->ReadFile(request.sPath, &uiSize, &pData))
    {
        ID3D11ShaderResourceView* pView =
            KR_Texture3DBuilder::Create(KR_GetEngineDevice(), KR_GetEngineContext(), pData, uiSize,
                                        request.uiTilesAcross, request.uiTilesDown);
        pFiles->RemoveReference(request.sPath);
        if (pView != nullptr)
        {
            request.pProxy->SetShaderResourceView(pView);
            pView->Release();
        }
    }
    CompleteBytes(request.uiSize);
}
