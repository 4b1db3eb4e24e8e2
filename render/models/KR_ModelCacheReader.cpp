#include "render/models/KR_ModelCacheReader.h"

#include "framework/app/KE_EngineMembers.h"
#include "framework/files/KF_FileManager.h"
#include "render/models/KR_ModelCacheHeader.h"
#include "render/models/KR_ModelResourceDX11.h"

#include <memory>
#include <new>

KR_ModelResource* KR_ModelCacheReader::LoadSerializedModel(const KB_String& sCachePath)
{
    KF_FileManager* pFiles = KE_GetFileManager();
    if (pFiles == nullptr)
        return nullptr;
    std::uint64_t uiSize = 0;
    std::uint8_t* pData = nullptr;
    if (!pFiles->ReadFile(sCachePath, &uiSize, &pData))
        return nullptr;
    KR_ModelResource* pModel = ReadModel(pData, uiSize);
    pFiles->RemoveReference(sCachePath);
    return pModel;
}

KR_ModelResource* KR_ModelCacheReader::ReadModel(const std::uint8_t* pData, std::uint64_t uiSize)
{
    KR_ModelCacheHeader header;
    if (!header.Read(pData, uiSize) || header.m_uiVersion != KR_ModelCacheHeader::VERSION)
        return nullptr;
    std::unique_ptr<KR_ModelResourceDX11> pModel(new (std::nothrow) KR_ModelResourceDX11());
    if (pModel == nullptr)
        return nullptr;
    const std::uint8_t* pCursor = pData + KR_ModelCacheHeader::SIZE;
    const std::uint8_t* pEnd = pData + uiSize;
    // The writer ends the file with the record: bytes after it mean the file is not what was
    // written, so it is not trusted either.
    if (!pModel->Deserialize(&pCursor, pEnd) || pCursor != pEnd)
        return nullptr;
    return pModel.release();
}
