#include "framework/files/KF_Repository.h"

#include "framework/core/KU_HashUtilities.h"

#include <cstddef>
#include <limits>
#include <new>
#include <string>
#include <utility>

namespace
{

std::string_view ViewOf(const KB_String& sText)
{
    return std::string_view(sText.GetBuffer(), static_cast<std::size_t>(sText.GetLength()));
}

} // namespace

KF_Repository::~KF_Repository()
{
    const std::lock_guard lock(m_oCacheLock);
    for (KF_LoadedFile& file : m_vLoadedFiles)
    {
        FreeFileBuffer(file.m_pData);
        file.m_pData = nullptr;
    }
    m_vLoadedFiles.clear();
    m_mapLoadedFileIndex.clear();
}

bool KF_Repository::AddReference(const KB_String& sPath)
{
    const std::lock_guard lock(m_oCacheLock);
    KF_LoadedFile* pFile = FindLoadedFile(sPath);
    if (pFile == nullptr)
        return false;
    ++pFile->m_uiReferenceCount;
    return true;
}

bool KF_Repository::RemoveReference(const KB_String& sPath)
{
    const std::lock_guard lock(m_oCacheLock);
    KF_LoadedFile* pFile = FindLoadedFile(sPath);
    if (pFile == nullptr)
        return false;
    if (--pFile->m_uiReferenceCount == 0)
        RemoveLoadedFile(pFile);
    return true;
}

bool KF_Repository::IsWritable()
{
    return false;
}

bool KF_Repository::TakeCachedFile(const KB_String& sPath, std::uint64_t* pSize, std::uint8_t** ppData)
{
    const std::lock_guard lock(m_oCacheLock);
    KF_LoadedFile* pFile = FindLoadedFile(sPath);
    if (pFile == nullptr)
        return false;
    ++pFile->m_uiReferenceCount;
    *pSize = pFile->m_uiSize;
    *ppData = pFile->m_pData;
    return true;
}

void KF_Repository::AddLoadedFile(const KB_String& sPath, std::uint8_t* pData, std::uint64_t uiSize)
{
    KF_LoadedFile file;
    file.m_sPath = sPath;
    file.m_pData = pData;
    file.m_uiReferenceCount = 1;
    file.m_uiSize = uiSize;
    const std::lock_guard lock(m_oCacheLock);
    m_mapLoadedFileIndex.emplace(std::string(ViewOf(sPath)), m_vLoadedFiles.size());
    m_vLoadedFiles.push_back(file);
}

void KF_Repository::AddOrTakeLoadedFile(const KB_String& sPath, std::uint8_t* pData, std::uint64_t uiSize,
                                        std::uint64_t* pSize, std::uint8_t** ppData)
{
    KF_LoadedFile file;
    file.m_sPath = sPath;
    file.m_pData = pData;
    file.m_uiReferenceCount = 1;
    file.m_uiSize = uiSize;
    std::string sKey(ViewOf(sPath));
    const std::lock_guard lock(m_oCacheLock);
    KF_LoadedFile* pCached = FindLoadedFile(sPath);
    if (pCached != nullptr)
    {
        FreeFileBuffer(pData);
        ++pCached->m_uiReferenceCount;
        *pSize = pCached->m_uiSize;
        *ppData = pCached->m_pData;
        return;
    }
    m_mapLoadedFileIndex.emplace(std::move(sKey), m_vLoadedFiles.size());
    m_vLoadedFiles.push_back(file);
    *pSize = uiSize;
    *ppData = pData;
}

std::uint32_t KF_Repository::GetReferenceCount(const KB_String& sPath)
{
    const std::lock_guard lock(m_oCacheLock);
    const KF_LoadedFile* pFile = FindLoadedFile(sPath);
    return pFile == nullptr ? 0 : pFile->m_uiReferenceCount;
}

std::uint32_t KF_Repository::GetNumLoadedFiles() const
{
    const std::lock_guard lock(m_oCacheLock);
    return static_cast<std::uint32_t>(m_vLoadedFiles.size());
}

std::uint8_t* KF_Repository::AllocateFileBuffer(std::uint64_t uiSize)
{
    if (uiSize >= std::numeric_limits<std::size_t>::max())
        return nullptr;
    auto* pData = new (std::nothrow) std::uint8_t[static_cast<std::size_t>(uiSize) + 1];
    if (pData != nullptr)
        pData[uiSize] = 0;
    return pData;
}

void KF_Repository::FreeFileBuffer(std::uint8_t* pData)
{
    delete[] pData;
}

bool KF_Repository::HashThroughReadFile(const KB_String& sPath, std::uint64_t* pHash)
{
    std::uint64_t uiSize = 0;
    std::uint8_t* pData = nullptr;
    if (!ReadFile(sPath, &uiSize, &pData))
    {
        // No reference was taken; releasing one here would drop another reader's.
        *pHash = 0;
        return false;
    }
    *pHash = KU_HashUtilities::HashFNV1a64(pData, uiSize);
    RemoveReference(sPath);
    return true;
}

KF_LoadedFile* KF_Repository::FindLoadedFile(const KB_String& sPath)
{
    const auto found = m_mapLoadedFileIndex.find(ViewOf(sPath));
    return found == m_mapLoadedFileIndex.end() ? nullptr : &m_vLoadedFiles[found->second];
}

void KF_Repository::RemoveLoadedFile(KF_LoadedFile* pFile)
{
    FreeFileBuffer(pFile->m_pData);
    pFile->m_pData = nullptr;
    const std::size_t uiIndex = static_cast<std::size_t>(pFile - m_vLoadedFiles.data());
    m_mapLoadedFileIndex.erase(m_mapLoadedFileIndex.find(ViewOf(pFile->m_sPath)));
    if (uiIndex + 1 != m_vLoadedFiles.size())
    {
        *pFile = std::move(m_vLoadedFiles.back());
        m_mapLoadedFileIndex.find(ViewOf(pFile->m_sPath))->second = uiIndex;
    }
    m_vLoadedFiles.pop_back();
}
