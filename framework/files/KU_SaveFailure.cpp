#include "framework/files/KU_SaveFailure.h"

#include "platform/win32/WinFiles.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <system_error>

namespace
{

// The upper half of an HRESULT that carries a Win32 error: failure, facility 7 (Win32).
constexpr std::uint32_t WIN32_ERROR_RESULT = 0x80070000u;

// errno's value for a Win32 file error; 0 for one it has no match for.
int ErrnoOfWin32Error(DWORD uiError)
{
    switch (uiError)
    {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
        return EACCES;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: // E_OUTOFMEMORY carries it
        return ENOMEM;
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL:
        return ENOSPC;
    case ERROR_FILE_TOO_LARGE:
        return EFBIG;
    default:
        return 0;
    }
}

void WriteLine(const KB_String& sPath, const std::string& sReason)
{
    std::fprintf(stderr, "cannot save \"%s\": %s\n", sPath.GetBuffer(), sReason.c_str());
}

} // namespace

void KU_SaveFailure::Report(const KB_String& sPath, int iError)
{
    // std::error_code's message is strerror's text without strerror's shared buffer.
    WriteLine(sPath, std::error_code(iError, std::generic_category()).message());
}

void KU_SaveFailure::ReportIfFailed(const KB_String& sPath, HRESULT hr)
{
    if (FAILED(hr))
        WriteLine(sPath, DescribeResult(hr));
}

std::string KU_SaveFailure::DescribeResult(HRESULT hr)
{
    const std::uint32_t uiResult = static_cast<std::uint32_t>(hr);
    if ((uiResult & 0xFFFF0000u) == WIN32_ERROR_RESULT)
    {
        const int iError = ErrnoOfWin32Error(uiResult & 0xFFFFu);
        if (iError != 0)
            return std::error_code(iError, std::generic_category()).message();
    }
    char acText[32];
    std::snprintf(acText, sizeof(acText), "error 0x%08X", static_cast<unsigned>(uiResult));
    return acText;
}
