#pragma once
// File, directory and search services of the Win32 stand-in, over the host file system.
// Paths take '/' or '\' as separators. Searches list names in the order Windows lists them on
// its own file system (names compared upper-cased, byte by byte), match wildcards without regard
// to case, and include "." and ".." when the pattern matches them. Times are FILETIME values:
// 100 ns ticks since 1601-01-01 UTC. Every call is safe from any thread; the last error is kept
// per thread.

#include "platform/win32/WinTypes.h"

constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x00000010u;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080u;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;

constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x00000001u;

constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_OUTOFMEMORY = 14;
constexpr DWORD ERROR_NO_MORE_FILES = 18;
constexpr DWORD ERROR_HANDLE_DISK_FULL = 39;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_FILE_TOO_LARGE = 223;

struct WIN32_FIND_DATAA
{
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
};
using LPWIN32_FIND_DATAA = WIN32_FIND_DATAA*;

enum GET_FILEEX_INFO_LEVELS
{
    GetFileExInfoStandard = 0,
    GetFileExMaxInfoLevel = 1
};

struct WIN32_FILE_ATTRIBUTE_DATA
{
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
};

// Starts a search for lpFileName ("dir/pattern"; '*' and '?' in the last component only) and
// fills the first match. INVALID_HANDLE_VALUE when nothing matches (ERROR_FILE_NOT_FOUND) or the
// directory cannot be read (ERROR_PATH_NOT_FOUND). The handle is closed with FindClose.
HANDLE FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData);
// Fills the next match; FALSE with ERROR_NO_MORE_FILES after the last one.
BOOL FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData);
BOOL FindClose(HANDLE hFindFile);

// FALSE with ERROR_ALREADY_EXISTS when the path exists, ERROR_PATH_NOT_FOUND when its parent
// does not. The security attributes are ignored.
BOOL CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
// INVALID_FILE_ATTRIBUTES (ERROR_FILE_NOT_FOUND) when the path does not exist.
DWORD GetFileAttributesA(LPCSTR lpFileName);
// Attributes, times and size of a file or directory; only GetFileExInfoStandard.
BOOL GetFileAttributesExA(LPCSTR lpFileName, GET_FILEEX_INFO_LEVELS fInfoLevelId, LPVOID lpFileInformation);
// Deletes a file (never a directory); FALSE with ERROR_FILE_NOT_FOUND when it does not exist.
BOOL DeleteFileA(LPCSTR lpFileName);
// Renames a file; an existing target is replaced (in one step) only with MOVEFILE_REPLACE_EXISTING.
BOOL MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags);

// The calling thread's last error code.
DWORD GetLastError();
void SetLastError(DWORD dwErrCode);
