#include "framework/files/KF_Repository.h"

#include "framework/core/KU_HashUtilities.h"
#include "framework/threads/KT_AutoLock.h"

#include <cstddef>
#include <limits>
#include <new>

KF_Repository::~KF_Repository()
{
    KT_AutoLock lock(&m_Mutex);
    for (std::uint32_t i = 0; i < m_gLoadedFiles.GetNumMembers(); ++i)
    {
        FreeFileBuffer(m_gLoadedFiles[i].m_pData);
        m_gLoadedFiles[i].m_pData = nullptr;
    }
    m_gLoadedFiles.RemoveAll();
}

bool KF_Repository::AddReference(const KB_String& sPath)
{
    KT_AutoLock lock(&m_Mutex);
    const int iIndex = FindLoadedFile(sPath);
    if (iIndex < 0)
        return false;
    ++m_gLoadedFiles[static_cast<std::uint32_t>(iIndex)].m_uiReferenceCount;
    return true;
}

bool KF_Repository::RemoveReference(const KB_String& sPath)
{
    KT_AutoLock lock(&m_Mutex);
    const int iIndex = FindLoadedFile(sPath);
    if (iIndex < 0)
        return false;
    KF_LoadedFile& file = m_gLoadedFiles[static_cast<std::uint32_t>(iIndex)];
    if (--file.m_uiReferenceCount == 0)
    {
        FreeFileBuffer(file.m_pData);
        file.m_pData = nullptr;
        m_gLoadedFiles.Remove(static_cast<std::uint32_t>(iIndex));
    }
    return true;
}

bool KF_Repository::IsWritable()
{
    return false;
}

bool KF_Repository::TakeCachedFile(const KB_String& sPath, std::uint64_t* pSize, std::uint8_t** ppData)
{
    const int iIndex = FindLoadedFile(sPath);
    if (iIndex < 0)
        return false;
    KF_LoadedFile& file = m_gLoadedFiles[static_cast<std::uint32_t>(iIndex)];
    ++file.m_uiReferenceCount;
    *pSize = file.m_uiSize;
    *ppData = file.m_pData;
    return true;
}

void KF_Repository::AddLoadedFile(const KB_String& sPath, std::uint8_t* pData, std::uint64_t uiSize)
{
    KF_LoadedFile file;
    file.m_sPath = sPath;
    file.m_pData = pData;
    file.m_uiReferenceCount = 1;
    file.m_uiSize = uiSize;
    m_gLoadedFiles.Add(file);
}

std::uint32_t KF_Repository::GetReferenceCount(const KB_String& sPath)
{
    const int iIndex = FindLoadedFile(sPath);
    return iIndex < 0 ? 0 : m_gLoadedFiles[static_cast<std::uint32_t>(iIndex)].m_uiReferenceCount;
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

int KF_Repository::FindLoadedFile(const KB_String& sPath) const
{
    for (std::uint32_t i = 0; i < m_gLoadedFiles.GetNumMembers(); ++i)
        if (m_gLoadedFiles[i].m_sPath == sPath)
            return static_cast<int>(i);
    return -1;
}
