#include "render/models/KR_ModelLoader.h"

#include "framework/app/KE_EngineMembers.h"
#include "framework/files/KF_FileManager.h"
#include "render/models/KR_ModelCacheHeader.h"
#include "render/models/KR_ModelImporters.h"
#include "render/models/KR_ModelResource.h"

#include <memory>
#include <new>

namespace
{

// Whether the header of the cache's bytes vouches for the source as it is now.
bool IsCacheFresh(KF_FileManager* pFiles, const std::uint8_t* pData, std::uint64_t uiSize,
                  const KB_String& sPath, std::uint64_t uiSourceTime)
{
    KR_ModelCacheHeader header;
    const bool bHeader = header.Read(pData, uiSize);
    // A cache of another version would only be refused by the reader: re-import at once.
    if (!bHeader || header.m_uiVersion != KR_ModelCacheHeader::VERSION)
        return false;
    if (header.m_uiSourceTime > uiSourceTime)
        return true;
    std::uint64_t uiHash = 0;
    return pFiles->GetFileHash(sPath, &uiHash) && uiHash == header.m_uiSourceHash;
}

} // namespace

KB_String KR_ModelLoader::GetCacheName(const KB_String& sPath)
{
    return sPath + ".bin";
}

KR_ModelResource* KR_ModelLoader::LoadModel(const KB_String& sPath, std::uint8_t uiFlag1,
                                            std::uint8_t uiFlag2, std::uint8_t uiFlag3)
{
    KF_FileManager* pFiles = KE_GetFileManager();
    if (pFiles == nullptr)
        return nullptr;
    const KB_String sCacheName = GetCacheName(sPath);
    const KR_ModelImporters::CacheReadFunction pReadCache = KR_ModelImporters::GetCacheReader();
    std::uint64_t uiCacheSize = 0;
    std::uint8_t* pCacheData = nullptr;
    if (pReadCache != nullptr && pFiles->FileExists(sCacheName) &&
        pFiles->ReadFile(sCacheName, &uiCacheSize, &pCacheData))
    {
        // The reference is held until the reader is done, so its own read takes the cached bytes
        // instead of reading the file a second time.
        std::uint64_t uiSourceTime = 0;
        const bool bDated = pFiles->GetFileTime(sPath, &uiSourceTime);
        KR_ModelResource* pModel = nullptr;
        if (!bDated || IsCacheFresh(pFiles, pCacheData, uiCacheSize, sPath, uiSourceTime))
            pModel = pReadCache(sCacheName);
        pFiles->RemoveReference(sCacheName);
        if (pModel != nullptr)
            return pModel;
    }
    const KR_ModelImporters::ImportFunction pImport = KR_ModelImporters::FindImporter(sPath);
    if (pImport == nullptr)
        return nullptr;
    KR_ModelResource* pModel = pImport(sPath, uiFlag1, uiFlag2, uiFlag3);
    if (pModel != nullptr)
        WriteModelCache(pModel, sPath);
    return pModel;
}

bool KR_ModelLoader::WriteModelCache(const KR_ModelResource* pModel, const KB_String& sSourcePath)
{
    KF_FileManager* pFiles = KE_GetFileManager();
    if (pModel == nullptr || pFiles == nullptr)
        return false;
    KR_ModelCacheHeader header;
    pFiles->GetFileTime(sSourcePath, &header.m_uiSourceTime);
    pFiles->GetFileHash(sSourcePath, &header.m_uiSourceHash);
    // The record's size is known only by writing it: a record that does not fit fails without
    // writing past the buffer, and is written again into one twice the size.
    for (std::uint64_t uiCapacity = FIRST_CACHE_CAPACITY; uiCapacity <= MAX_CACHE_SIZE; uiCapacity *= 2)
    {
        std::unique_ptr<std::uint8_t[]> pBuffer(new (std::nothrow) std::uint8_t[uiCapacity]);
        if (pBuffer == nullptr)
            return false;
        std::uint8_t* pCursor = pBuffer.get();
        std::uint64_t uiWritten = 0;
        if (!header.Write(&pCursor, uiCapacity, &uiWritten))
            return false;
        if (!pModel->Serialize(&pCursor, uiCapacity, &uiWritten))
            continue;
        if (uiWritten > uiCapacity)
            return false; // a record that claims more than it was given: never written out
        return pFiles->WriteFile(GetCacheName(sSourcePath), uiWritten,
                                 reinterpret_cast<const char*>(pBuffer.get()));
    }
    return false;
}
