#include "framework/files/KF_DirectoryRepository.h"

#include "framework/core/KU_FileUtilities.h"
#include "framework/core/KU_TemporaryFiles.h"
#include "framework/threads/KT_AutoLock.h"
#include "platform/win32/Windows.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace
{

DWORD GetAttributes(const std::string& sPath)
{
    return GetFileAttributesA(sPath.c_str());
}

// Only regular files (links followed) count as files: opening a FIFO or a device for reading
// could block for ever, or read without end.
bool IsExistingFile(const std::string& sPath)
{
    struct stat status;
    return stat(sPath.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

bool IsExistingDirectory(const std::string& sPath)
{
    struct stat status;
    return stat(sPath.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// Whether a relative path stays inside the root: not absolute (a leading '/' or '\\', or a drive
// letter) and no ".." climbing above where it started. Only the text is judged.
bool StaysInsideRoot(const std::string& sRelative)
{
    if (sRelative.empty())
        return true;
    if (sRelative[0] == '/' || (sRelative.size() >= 2 && sRelative[1] == ':'))
        return false;
    int iDepth = 0;
    std::size_t uiStart = 0;
    while (uiStart <= sRelative.size())
    {
        std::size_t uiEnd = sRelative.find('/', uiStart);
        if (uiEnd == std::string::npos)
            uiEnd = sRelative.size();
        const std::string_view component(sRelative.data() + uiStart, uiEnd - uiStart);
        if (component == "..")
        {
            if (--iDepth < 0)
                return false;
        }
        else if (!component.empty() && component != ".")
        {
            ++iDepth;
        }
        uiStart = uiEnd + 1;
    }
    return true;
}

std::string WithForwardSlashes(const KB_String& sPath)
{
    std::string sResult(sPath.GetBuffer(), sPath.GetLength());
    for (char& c : sResult)
        if (c == '\\')
            c = '/';
    return sResult;
}

// The entry of sDirectory ("" or ending in '/') whose name equals sName without regard to case,
// the first in listing order; empty when there is none.
std::string FindNameIgnoringCase(const std::string& sDirectory, const std::string& sName)
{
    if (sName.find_first_of("*?") != std::string::npos)
        return std::string();
    WIN32_FIND_DATAA data;
    HANDLE hFind = FindFirstFileA((sDirectory + sName).c_str(), &data);
    if (hFind == INVALID_HANDLE_VALUE)
        return std::string();
    std::string sFound = data.cFileName;
    FindClose(hFind);
    return sFound;
}

// Root + relative path, as it exists on disk: the exact path when it exists, otherwise each
// component looked up without regard to case. Components from the first one that matches
// nothing on are kept as given, so the result also names files and directories still to be made.
std::string ResolvePath(const KB_String& sRoot, const KB_String& sPath)
{
    const std::string sRelative = WithForwardSlashes(sPath);
    const std::string sRootText(sRoot.GetBuffer(), sRoot.GetLength());
    const std::string sExact = sRootText + sRelative;
    if (GetAttributes(sExact) != INVALID_FILE_ATTRIBUTES)
        return sExact;

    std::vector<std::string> components;
    std::size_t uiStart = 0;
    while (uiStart <= sRelative.size())
    {
        std::size_t uiEnd = sRelative.find('/', uiStart);
        if (uiEnd == std::string::npos)
            uiEnd = sRelative.size();
        if (uiEnd > uiStart)
            components.push_back(sRelative.substr(uiStart, uiEnd - uiStart));
        uiStart = uiEnd + 1;
    }

    std::string sResolved = sRootText;
    if (sResolved.empty() && !sRelative.empty() && sRelative[0] == '/')
        sResolved.push_back('/'); // empty here; GCC 12 at -O3 misreads assigning "/" (-Wrestrict)
    for (std::size_t i = 0; i < components.size(); ++i)
    {
        if (i > 0)
            sResolved += '/';
        const std::string sCandidate = sResolved + components[i];
        if (GetAttributes(sCandidate) != INVALID_FILE_ATTRIBUTES)
        {
            sResolved = sCandidate;
            continue;
        }
        const std::string sFound = FindNameIgnoringCase(sResolved, components[i]);
        if (sFound.empty())
        {
            for (std::size_t j = i; j < components.size(); ++j)
                sResolved += (j > i ? "/" : "") + components[j];
            return sResolved;
        }
        sResolved += sFound;
    }
    return sResolved;
}

} // namespace

KF_DirectoryRepository::KF_DirectoryRepository(const KB_String& sRootPath)
{
    if (sRootPath.GetLength() == 0)
        return;
    m_sRootDirectory = KU_FileUtilities::EnforceForwardSlashes(KU_FileUtilities::GetAbsolutePath(sRootPath));
    const std::uint64_t uiLength = m_sRootDirectory.GetLength();
    if (uiLength == 0 || m_sRootDirectory[uiLength - 1] != '/')
        m_sRootDirectory += "/";
}

bool KF_DirectoryRepository::ReadFile(const KB_String& sPath, std::uint64_t* pSize, std::uint8_t** ppData)
{
    if (pSize == nullptr || ppData == nullptr || !StaysInsideRoot(WithForwardSlashes(sPath)))
        return false;
    KT_AutoLock lock(&m_oMutex);
    const std::string sFull = ResolvePath(m_sRootDirectory, sPath);
    if (!IsExistingFile(sFull))
        return false;
    if (TakeCachedFile(sPath, pSize, ppData))
        return true;
    std::uint64_t uiSize = 0;
    const int iFile = KU_FileUtilities::OpenRegularFile(sFull.c_str(), &uiSize);
    if (iFile < 0)
        return false;
    std::uint8_t* pData = uiSize == 0 ? nullptr : AllocateFileBuffer(uiSize);
    const bool bComplete = pData != nullptr && KU_FileUtilities::ReadWholeFile(iFile, pData, uiSize);
    close(iFile);
    if (!bComplete)
    {
        FreeFileBuffer(pData);
        return false;
    }
    AddLoadedFile(sPath, pData, uiSize);
    *pSize = uiSize;
    *ppData = pData;
    return true;
}

bool KF_DirectoryRepository::WriteFile(const KB_String& sPath, std::uint64_t uiSize, const char* pData)
{
    if (pData == nullptr && uiSize != 0)
    {
        errno = EINVAL;
        return false;
    }
    if (!StaysInsideRoot(WithForwardSlashes(sPath)))
    {
        errno = EPERM;
        return false;
    }
    const std::string sFull = ResolvePath(m_sRootDirectory, sPath);
    if (IsExistingDirectory(sFull))
    {
        errno = EISDIR;
        return false;
    }
    const std::size_t uiSlash = sFull.rfind('/');
    if (uiSlash != std::string::npos && uiSlash > 0)
    {
        // Only below the root: a root removed meanwhile is not made again.
        const std::string sDirectory = sFull.substr(0, uiSlash);
        const std::size_t uiRoot = std::min<std::size_t>(m_sRootDirectory.GetLength(), sDirectory.size());
        if (!IsExistingDirectory(sDirectory) &&
            !KU_FileUtilities::CreateDirectoriesBelow(KB_String(sDirectory.substr(0, uiRoot).c_str()),
                                                      KB_String(sDirectory.substr(uiRoot).c_str())))
        {
            return false;
        }
    }

    return KU_TemporaryFiles::WriteWholeFile(KB_String(sFull.c_str()), pData, uiSize);
}

bool KF_DirectoryRepository::RemoveFile(const KB_String& sPath)
{
    if (!StaysInsideRoot(WithForwardSlashes(sPath)))
        return false;
    const std::string sFull = ResolvePath(m_sRootDirectory, sPath);
    const DWORD uiAttributes = GetAttributes(sFull);
    if (uiAttributes == INVALID_FILE_ATTRIBUTES)
        return true;
    if ((uiAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    return DeleteFileA(sFull.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

bool KF_DirectoryRepository::GetFileSize(const KB_String& sPath, std::uint64_t* pSize)
{
    if (pSize == nullptr)
        return false;
    const std::string sFull = ResolvePath(m_sRootDirectory, sPath);
    std::uint64_t uiSize = 0;
    const int iFile = KU_FileUtilities::OpenRegularFile(sFull.c_str(), &uiSize);
    if (iFile < 0)
        return false;
    close(iFile);
    *pSize = uiSize;
    return true;
}

bool KF_DirectoryRepository::GetFileTime(const KB_String& sPath, std::uint64_t* pTime)
{
    const std::string sFull = ResolvePath(m_sRootDirectory, sPath);
    const std::uint64_t uiTime = KU_FileUtilities::GetLastWriteTime(KB_String(sFull.c_str()));
    if (uiTime == 0)
        return false;
    *pTime = uiTime;
    return true;
}

bool KF_DirectoryRepository::GetFileHash(const KB_String& sPath, std::uint64_t* pHash)
{
    return HashThroughReadFile(sPath, pHash);
}

bool KF_DirectoryRepository::FileExists(const KB_String& sPath)
{
    return IsExistingFile(ResolvePath(m_sRootDirectory, sPath));
}

bool KF_DirectoryRepository::DirectoryExists(const KB_String& sPath)
{
    return IsExistingDirectory(ResolvePath(m_sRootDirectory, sPath));
}

bool KF_DirectoryRepository::IsWritable()
{
    return true;
}

bool KF_DirectoryRepository::FindFiles(const KB_String& sPattern, KB_GrowingArray<KB_String>& gOut)
{
    const std::string sFullPattern = WithForwardSlashes(sPattern);
    const std::size_t uiSlash = sFullPattern.rfind('/');
    std::string sDirectory(m_sRootDirectory.GetBuffer(), m_sRootDirectory.GetLength());
    std::string sNamePattern = sFullPattern;
    if (uiSlash != std::string::npos)
    {
        sDirectory = ResolvePath(m_sRootDirectory, KB_String(sFullPattern.substr(0, uiSlash).c_str())) + "/";
        sNamePattern = sFullPattern.substr(uiSlash + 1);
    }
    WIN32_FIND_DATAA data;
    HANDLE hFind = FindFirstFileA((sDirectory + sNamePattern).c_str(), &data);
    if (hFind != INVALID_HANDLE_VALUE)
    {
        do
        {
            gOut.Add(KB_String(data.cFileName));
        } while (FindNextFileA(hFind, &data));
        FindClose(hFind);
    }
    return gOut.GetNumMembers() > 0;
}
