#include "tests/support/MemoryRepository.h"

#include "framework/threads/KT_AutoLock.h"
#include "platform/win32/Win32Control.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace
{

std::string ToStd(const KB_String& sText)
{
    return std::string(sText.GetBuffer(), sText.GetLength());
}

} // namespace

MemoryRepository::MemoryRepository(bool bWritable) : m_bWritable(bWritable)
{
}

MemoryRepository::~MemoryRepository() = default;

void MemoryRepository::SetFile(const std::string& sPath, const std::string& sContents, std::uint64_t uiTime)
{
    KT_AutoLock lock(&m_oMutex);
    m_mapFiles[sPath] = File{sContents, uiTime};
}

void MemoryRepository::RemoveAllFiles()
{
    KT_AutoLock lock(&m_oMutex);
    m_mapFiles.clear();
}

bool MemoryRepository::HasFile(const std::string& sPath)
{
    KT_AutoLock lock(&m_oMutex);
    return m_mapFiles.count(sPath) != 0;
}

std::string MemoryRepository::GetFileContents(const std::string& sPath)
{
    KT_AutoLock lock(&m_oMutex);
    const auto it = m_mapFiles.find(sPath);
    return it == m_mapFiles.end() ? std::string() : it->second.sContents;
}

std::uint32_t MemoryRepository::GetReferenceCount(const std::string& sPath)
{
    KT_AutoLock lock(&m_oMutex);
    return KF_Repository::GetReferenceCount(KB_String(sPath.c_str()));
}

std::uint32_t MemoryRepository::GetNumLoadedFiles()
{
    KT_AutoLock lock(&m_oMutex);
    return KF_Repository::GetNumLoadedFiles();
}

std::uint32_t MemoryRepository::GetNumReads()
{
    KT_AutoLock lock(&m_oMutex);
    return m_uiNumReads;
}

bool MemoryRepository::ReadFile(const KB_String& sPath, std::uint64_t* pSize, std::uint8_t** ppData)
{
    KT_AutoLock lock(&m_oMutex);
    const auto it = m_mapFiles.find(ToStd(sPath));
    if (it == m_mapFiles.end())
        return false;
    if (!TakeCachedFile(sPath, pSize, ppData))
    {
        const std::string& sContents = it->second.sContents;
        std::uint8_t* pData = AllocateFileBuffer(sContents.size());
        if (pData == nullptr)
            return false;
        std::memcpy(pData, sContents.data(), sContents.size());
        AddLoadedFile(sPath, pData, sContents.size());
        *pSize = sContents.size();
        *ppData = pData;
    }
    ++m_uiNumReads;
    return true;
}

bool MemoryRepository::WriteFile(const KB_String& sPath, std::uint64_t uiSize, const char* pData)
{
    if (!m_bWritable || (pData == nullptr && uiSize != 0))
    {
        errno = m_bWritable ? EINVAL : EROFS;
        return false;
    }
    KT_AutoLock lock(&m_oMutex);
    m_mapFiles[ToStd(sPath)] = File{std::string(pData, static_cast<std::size_t>(uiSize)), ++m_uiNextTime};
    return true;
}

bool MemoryRepository::RemoveFile(const KB_String& sPath)
{
    if (!m_bWritable)
        return false;
    KT_AutoLock lock(&m_oMutex);
    m_mapFiles.erase(ToStd(sPath));
    return true;
}

bool MemoryRepository::GetFileSize(const KB_String& sPath, std::uint64_t* pSize)
{
    KT_AutoLock lock(&m_oMutex);
    const auto it = m_mapFiles.find(ToStd(sPath));
    if (it == m_mapFiles.end())
        return false;
    *pSize = it->second.sContents.size();
    return true;
}

bool MemoryRepository::GetFileTime(const KB_String& sPath, std::uint64_t* pTime)
{
    KT_AutoLock lock(&m_oMutex);
    const auto it = m_mapFiles.find(ToStd(sPath));
    if (it == m_mapFiles.end())
        return false;
    *pTime = it->second.uiTime;
    return true;
}

bool MemoryRepository::GetFileHash(const KB_String& sPath, std::uint64_t* pHash)
{
    return HashThroughReadFile(sPath, pHash);
}

bool MemoryRepository::FileExists(const KB_String& sPath)
{
    KT_AutoLock lock(&m_oMutex);
    return m_mapFiles.count(ToStd(sPath)) != 0;
}

bool MemoryRepository::DirectoryExists(const KB_String& sPath)
{
    std::string sPrefix = ToStd(sPath);
    if (!sPrefix.empty() && sPrefix.back() != '/')
        sPrefix += '/';
    KT_AutoLock lock(&m_oMutex);
    for (const auto& entry : m_mapFiles)
        if (entry.first.compare(0, sPrefix.size(), sPrefix) == 0)
            return true;
    return false;
}

bool MemoryRepository::IsWritable()
{
    return m_bWritable;
}

bool MemoryRepository::FindFiles(const KB_String& sPattern, KB_GrowingArray<KB_String>& gOut)
{
    const std::string sFull = ToStd(sPattern);
    const std::size_t uiSlash = sFull.rfind('/');
    const std::string sDirectory =
        uiSlash == std::string::npos ? std::string() : sFull.substr(0, uiSlash + 1);
    const std::string sNamePattern = uiSlash == std::string::npos ? sFull : sFull.substr(uiSlash + 1);
    std::vector<std::string> names;
    {
        KT_AutoLock lock(&m_oMutex);
        for (const auto& entry : m_mapFiles)
        {
            const std::string& sPath = entry.first;
            if (sPath.size() > sDirectory.size() && sPath.compare(0, sDirectory.size(), sDirectory) == 0 &&
                sPath.find('/', sDirectory.size()) == std::string::npos &&
                Win32Control::MatchesFindPattern(sNamePattern, sPath.substr(sDirectory.size())))
            {
                names.push_back(sPath.substr(sDirectory.size()));
            }
        }
    }
    std::sort(names.begin(), names.end(), Win32Control::IsBeforeInFindOrder);
    for (const std::string& sName : names)
        gOut.Add(KB_String(sName.c_str()));
    return gOut.GetNumMembers() > 0;
}
