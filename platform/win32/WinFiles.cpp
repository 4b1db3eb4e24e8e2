#include "platform/win32/WinFiles.h"

#include "platform/win32/Win32Control.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <unordered_set>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

thread_local DWORD t_uiLastError = ERROR_SUCCESS;

// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t FILETIME_EPOCH_OFFSET_SECONDS = 11644473600LL;
constexpr std::int64_t FILETIME_TICKS_PER_SECOND = 10000000LL;

struct FoundEntry
{
    std::string sName;
    DWORD uiAttributes = 0;
    std::uint64_t uiCreationTime = 0;
    std::uint64_t uiAccessTime = 0;
    std::uint64_t uiWriteTime = 0;
    std::uint64_t uiSize = 0;
};

struct FindSearch
{
    std::vector<FoundEntry> entries;
    std::size_t uiNext = 0;
};

std::mutex s_searchMutex;
std::unordered_set<FindSearch*> s_searches; // live handles; guarded by s_searchMutex

BOOL Fail(DWORD uiError)
{
    t_uiLastError = uiError;
    return FALSE;
}

std::string ToHostPath(LPCSTR pPath)
{
    std::string sPath(pPath);
    std::replace(sPath.begin(), sPath.end(), '\\', '/');
    return sPath;
}

unsigned char UpperAscii(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

// '*' matches any run of characters (also none), '?' exactly one; letters match either case.
bool MatchPattern(const char* pPattern, const char* pName)
{
    const char* pStar = nullptr;
    const char* pStarName = nullptr;
    while (*pName != '\0')
    {
        if (*pPattern == '*')
        {
            pStar = pPattern++;
            pStarName = pName;
        }
        else if (*pPattern == '?' ||
                 (*pPattern != '\0' && UpperAscii(static_cast<unsigned char>(*pPattern)) ==
                                           UpperAscii(static_cast<unsigned char>(*pName))))
        {
            ++pPattern;
            ++pName;
        }
        else if (pStar != nullptr)
        {
            pPattern = pStar + 1;
            pName = ++pStarName;
        }
        else
        {
            return false;
        }
    }
    while (*pPattern == '*')
        ++pPattern;
    return *pPattern == '\0';
}

bool IsBeforeInListing(const FoundEntry& a, const FoundEntry& b)
{
    return Win32Control::IsBeforeInFindOrder(a.sName, b.sName);
}

std::uint64_t ToFileTime(const struct timespec& time)
{
    const std::int64_t iSeconds = static_cast<std::int64_t>(time.tv_sec) + FILETIME_EPOCH_OFFSET_SECONDS;
    if (iSeconds < 0)
        return 0;
    return static_cast<std::uint64_t>(iSeconds) * FILETIME_TICKS_PER_SECOND +
           static_cast<std::uint64_t>(time.tv_nsec) / 100u;
}

FILETIME SplitFileTime(std::uint64_t uiTime)
{
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(uiTime & 0xFFFFFFFFu);
    time.dwHighDateTime = static_cast<DWORD>(uiTime >> 32);
    return time;
}

void FillEntry(FoundEntry& entry, const struct stat& info)
{
    entry.uiAttributes = S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    entry.uiWriteTime = ToFileTime(info.st_mtim);
    entry.uiAccessTime = ToFileTime(info.st_atim);
    // The host keeps no creation time; the last write is the closest it knows.
    entry.uiCreationTime = entry.uiWriteTime;
    entry.uiSize = S_ISDIR(info.st_mode) ? 0 : static_cast<std::uint64_t>(info.st_size);
}

// The attribute, time and size fields WIN32_FIND_DATAA and WIN32_FILE_ATTRIBUTE_DATA share.
template <class Data>
void CopyAttributes(const FoundEntry& entry, Data* pData)
{
    pData->dwFileAttributes = entry.uiAttributes;
    pData->ftCreationTime = SplitFileTime(entry.uiCreationTime);
    pData->ftLastAccessTime = SplitFileTime(entry.uiAccessTime);
    pData->ftLastWriteTime = SplitFileTime(entry.uiWriteTime);
    pData->nFileSizeHigh = static_cast<DWORD>(entry.uiSize >> 32);
    pData->nFileSizeLow = static_cast<DWORD>(entry.uiSize & 0xFFFFFFFFu);
}

void CopyToFindData(const FoundEntry& entry, LPWIN32_FIND_DATAA pData)
{
    std::memset(pData, 0, sizeof(*pData));
    CopyAttributes(entry, pData);
    std::memcpy(pData->cFileName, entry.sName.c_str(), entry.sName.size() + 1);
}

DWORD ErrorFromErrno(int iError, DWORD uiNotFound)
{
    switch (iError)
    {
    case ENOENT:
        return uiNotFound;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EEXIST:
        return ERROR_ALREADY_EXISTS;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case EBUSY:
    case ENOTEMPTY:
        return ERROR_ACCESS_DENIED;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return ERROR_ACCESS_DENIED;
    }
}

} // namespace

HANDLE FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData)
{
    if (lpFileName == nullptr || lpFindFileData == nullptr)
    {
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const std::string sPath = ToHostPath(lpFileName);
    const std::size_t uiSlash = sPath.rfind('/');
    std::string sDirectory;
    std::string sPattern;
    if (uiSlash == std::string::npos)
    {
        sDirectory = ".";
        sPattern = sPath;
    }
    else
    {
        sDirectory = (uiSlash == 0) ? std::string("/") : sPath.substr(0, uiSlash);
        sPattern = sPath.substr(uiSlash + 1);
    }
    if (sPattern.empty())
    {
        Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }

    DIR* pDirectory = opendir(sDirectory.c_str());
    if (pDirectory == nullptr)
    {
        Fail(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const std::string sPrefix = (sDirectory == "/") ? sDirectory : sDirectory + "/";
    auto* pSearch = new (std::nothrow) FindSearch;
    if (pSearch == nullptr)
    {
        closedir(pDirectory);
        Fail(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    while (const dirent* pEntry = readdir(pDirectory))
    {
        FoundEntry entry;
        entry.sName = pEntry->d_name;
        if (entry.sName.size() >= static_cast<std::size_t>(MAX_PATH) ||
            !Win32Control::MatchesFindPattern(sPattern, entry.sName))
        {
            continue;
        }
        struct stat info;
        const std::string sFull = sPrefix + entry.sName;
        // A link that leads nowhere is still listed, as the link itself.
        if (stat(sFull.c_str(), &info) != 0 && lstat(sFull.c_str(), &info) != 0)
            continue;
        FillEntry(entry, info);
        pSearch->entries.push_back(std::move(entry));
    }
    closedir(pDirectory);

    if (pSearch->entries.empty())
    {
        delete pSearch;
        Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::sort(pSearch->entries.begin(), pSearch->entries.end(), IsBeforeInListing);
    CopyToFindData(pSearch->entries[0], lpFindFileData);
    pSearch->uiNext = 1;
    {
        std::lock_guard<std::mutex> lock(s_searchMutex);
        s_searches.insert(pSearch);
    }
    return static_cast<HANDLE>(pSearch);
}

BOOL FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData)
{
    std::lock_guard<std::mutex> lock(s_searchMutex);
    auto* pSearch = static_cast<FindSearch*>(hFindFile);
    if (s_searches.count(pSearch) == 0)
        return Fail(ERROR_INVALID_HANDLE);
    if (lpFindFileData == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    if (pSearch->uiNext >= pSearch->entries.size())
        return Fail(ERROR_NO_MORE_FILES);
    CopyToFindData(pSearch->entries[pSearch->uiNext++], lpFindFileData);
    return TRUE;
}

BOOL FindClose(HANDLE hFindFile)
{
    auto* pSearch = static_cast<FindSearch*>(hFindFile);
    {
        std::lock_guard<std::mutex> lock(s_searchMutex);
        if (s_searches.erase(pSearch) == 0)
            return Fail(ERROR_INVALID_HANDLE);
    }
    delete pSearch;
    return TRUE;
}

BOOL CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/)
{
    if (lpPathName == nullptr || lpPathName[0] == '\0')
        return Fail(ERROR_PATH_NOT_FOUND);
    if (mkdir(ToHostPath(lpPathName).c_str(), 0777) != 0)
        return Fail(ErrorFromErrno(errno, ERROR_PATH_NOT_FOUND));
    return TRUE;
}

DWORD GetFileAttributesA(LPCSTR lpFileName)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(lpFileName, GetFileExInfoStandard, &data))
        return INVALID_FILE_ATTRIBUTES;
    return data.dwFileAttributes;
}

BOOL GetFileAttributesExA(LPCSTR lpFileName, GET_FILEEX_INFO_LEVELS fInfoLevelId, LPVOID lpFileInformation)
{
    if (lpFileName == nullptr || lpFileInformation == nullptr || fInfoLevelId != GetFileExInfoStandard)
        return Fail(ERROR_INVALID_PARAMETER);
    struct stat info;
    if (lpFileName[0] == '\0' || stat(ToHostPath(lpFileName).c_str(), &info) != 0)
    {
        return Fail(lpFileName[0] == '\0' ? ERROR_PATH_NOT_FOUND
                                          : ErrorFromErrno(errno, ERROR_FILE_NOT_FOUND));
    }
    FoundEntry entry;
    FillEntry(entry, info);
    CopyAttributes(entry, static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(lpFileInformation));
    return TRUE;
}

BOOL DeleteFileA(LPCSTR lpFileName)
{
    if (lpFileName == nullptr || lpFileName[0] == '\0')
        return Fail(ERROR_PATH_NOT_FOUND);
    const std::string sPath = ToHostPath(lpFileName);
    struct stat info;
    if (lstat(sPath.c_str(), &info) != 0)
        return Fail(ErrorFromErrno(errno, ERROR_FILE_NOT_FOUND));
    if (S_ISDIR(info.st_mode))
        return Fail(ERROR_ACCESS_DENIED);
    if (unlink(sPath.c_str()) != 0)
        return Fail(ErrorFromErrno(errno, ERROR_FILE_NOT_FOUND));
    return TRUE;
}

BOOL MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags)
{
    if (lpExistingFileName == nullptr || lpNewFileName == nullptr || lpNewFileName[0] == '\0')
        return Fail(ERROR_INVALID_PARAMETER);
    const std::string sFrom = ToHostPath(lpExistingFileName);
    const std::string sTo = ToHostPath(lpNewFileName);
    struct stat info;
    if (lstat(sFrom.c_str(), &info) != 0)
        return Fail(ErrorFromErrno(errno, ERROR_FILE_NOT_FOUND));
    if (lstat(sTo.c_str(), &info) == 0)
    {
        if ((dwFlags & MOVEFILE_REPLACE_EXISTING) == 0)
            return Fail(ERROR_ALREADY_EXISTS);
        if (S_ISDIR(info.st_mode))
            return Fail(ERROR_ACCESS_DENIED);
    }
    if (rename(sFrom.c_str(), sTo.c_str()) != 0)
        return Fail(ErrorFromErrno(errno, ERROR_PATH_NOT_FOUND));
    return TRUE;
}

DWORD GetLastError()
{
    return t_uiLastError;
}

void SetLastError(DWORD dwErrCode)
{
    t_uiLastError = dwErrCode;
}

// Windows also lets a trailing ".*" match names without an extension, so "*.*" matches every name.
bool Win32Control::MatchesFindPattern(const std::string& pattern, const std::string& name)
{
    if (MatchPattern(pattern.c_str(), name.c_str()))
        return true;
    const std::size_t uiLength = pattern.size();
    if (uiLength >= 2 && pattern[uiLength - 2] == '.' && pattern[uiLength - 1] == '*')
        return MatchPattern(pattern.substr(0, uiLength - 2).c_str(), name.c_str());
    return false;
}

// The order of a Windows directory listing: names compared byte by byte after upper-casing; names
// that differ only in case (possible here, not there) fall back to their raw bytes.
bool Win32Control::IsBeforeInFindOrder(const std::string& a, const std::string& b)
{
    const std::size_t uiCommon = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < uiCommon; ++i)
    {
        const unsigned char ca = UpperAscii(static_cast<unsigned char>(a[i]));
        const unsigned char cb = UpperAscii(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}
