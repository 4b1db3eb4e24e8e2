#include "framework/core/KU_FileUtilities.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// Path buffers of the callers hold 260 bytes with the NUL.
constexpr std::uint64_t MAX_PATH_LENGTH = 259;

// FILETIME ticks between 1601-01-01 and 1970-01-01.
constexpr std::int64_t FILETIME_UNIX_EPOCH = 116444736000000000LL;

KB_String MakeString(const char* pBytes, std::uint64_t length)
{
    KB_String result;
    char* pBuffer = result.SetLength(length);
    if (length > 0)
        std::memcpy(pBuffer, pBytes, length);
    return result;
}

bool IsSeparator(char c)
{
    return c == '/' || c == '\\';
}

// Index of the last '/' or '\', or -1.
std::int64_t FindLastSeparator(const KB_String& path)
{
    for (std::uint64_t i = path.GetLength(); i > 0; --i)
        if (IsSeparator(path[i - 1]))
            return static_cast<std::int64_t>(i - 1);
    return -1;
}

// Index of the last '.' after the last separator, or -1.
std::int64_t FindExtensionDot(const KB_String& path)
{
    const std::int64_t iSeparator = FindLastSeparator(path);
    for (std::int64_t i = static_cast<std::int64_t>(path.GetLength()) - 1; i > iSeparator; --i)
        if (path[static_cast<std::uint64_t>(i)] == '.')
            return i;
    return -1;
}

// A copy of [pBytes, pBytes + length) with every '\' made '/'.
KB_String MakeSlashedString(const char* pBytes, std::uint64_t length)
{
    KB_String result = MakeString(pBytes, length);
    char* pBuffer = result.GetBuffer();
    for (std::uint64_t i = 0; i < length; ++i)
        if (pBuffer[i] == '\\')
            pBuffer[i] = '/';
    return result;
}

} // namespace

KB_String KU_FileUtilities::EnforceForwardSlashes(const KB_String& path)
{
    return MakeSlashedString(path.GetBuffer(), path.GetLength());
}

KB_String KU_FileUtilities::GetAbsolutePath(const KB_String& path)
{
    const KB_String slashed = EnforceForwardSlashes(path);
    if (slashed.GetLength() == 0 || slashed.GetLength() > MAX_PATH_LENGTH)
        return path;
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(slashed.GetBuffer(), error);
    if (error)
        return path;
    std::string text = absolute.lexically_normal().generic_string();
    // "dir/." normalises to "dir/"; keep a trailing separator only when the input had one.
    if (text.size() > 1 && text.back() == '/' && slashed[slashed.GetLength() - 1] != '/')
        text.pop_back();
    if (text.empty() || text.size() > MAX_PATH_LENGTH)
        return path;
    return MakeString(text.data(), text.size());
}

KB_String KU_FileUtilities::ExtractDirectory(const KB_String& path)
{
    const std::int64_t iSeparator = FindLastSeparator(path);
    if (iSeparator < 0)
        return KB_String();
    return MakeSlashedString(path.GetBuffer(), static_cast<std::uint64_t>(iSeparator));
}

KB_String KU_FileUtilities::ExtractFilename(const KB_String& path)
{
    const std::int64_t iSeparator = FindLastSeparator(path);
    const std::uint64_t uiStart = static_cast<std::uint64_t>(iSeparator + 1);
    return MakeString(path.GetBuffer() + uiStart, path.GetLength() - uiStart);
}

KB_String KU_FileUtilities::ExtractExtension(const KB_String& path)
{
    const std::int64_t iDot = FindExtensionDot(path);
    if (iDot < 0)
        return KB_String();
    const std::uint64_t uiStart = static_cast<std::uint64_t>(iDot + 1);
    return MakeString(path.GetBuffer() + uiStart, path.GetLength() - uiStart);
}

KB_String KU_FileUtilities::ReplaceExtension(const KB_String& path, const KB_String& extension)
{
    const std::int64_t iDot = FindExtensionDot(path);
    if (iDot < 0)
        return KB_String();
    const std::uint64_t uiKept = static_cast<std::uint64_t>(iDot + 1);
    KB_String result;
    char* pBuffer = result.SetLength(uiKept + extension.GetLength());
    std::memcpy(pBuffer, path.GetBuffer(), uiKept);
    std::memcpy(pBuffer + uiKept, extension.GetBuffer(), extension.GetLength());
    return result;
}

KB_GrowingArray<KB_String> KU_FileUtilities::SplitPath(const KB_String& path)
{
    KB_GrowingArray<KB_String> components;
    const char* pText = path.GetBuffer();
    std::uint64_t uiStart = 0;
    for (std::uint64_t i = 0; i <= path.GetLength(); ++i)
    {
        if (i == path.GetLength() || IsSeparator(pText[i]))
        {
            if (i > uiStart)
            {
                // Made in its slot: one allocation per component.
                components.Add(KB_String());
                std::memcpy(components[components.GetNumMembers() - 1].SetLength(i - uiStart),
                            pText + uiStart, i - uiStart);
            }
            uiStart = i + 1;
        }
    }
    return components;
}

bool KU_FileUtilities::CreateDirectories(const KB_String& path)
{
    const KB_GrowingArray<KB_String> components = SplitPath(path);
    if (components.GetNumMembers() < 2)
        return true;
    KB_String prefix = path.GetLength() > 0 && IsSeparator(path[0]) ? KB_String("/") : KB_String();
    prefix += components[0];
    for (std::uint32_t i = 1; i < components.GetNumMembers(); ++i)
    {
        prefix += "/";
        prefix += components[i];
        std::error_code error;
        std::filesystem::create_directory(prefix.GetBuffer(), error);
        if (error)
        {
            // A file in the way is reported as "exists"; what it means is that the path is no folder.
            errno = error == std::errc::file_exists ? ENOTDIR : error.value();
            return false;
        }
    }
    return true;
}

bool KU_FileUtilities::CreateDirectoriesBelow(const KB_String& sRoot, const KB_String& sRelative)
{
    const KB_GrowingArray<KB_String> components = SplitPath(sRelative);
    std::string sPath(sRoot.GetBuffer(), sRoot.GetLength());
    for (std::uint32_t i = 0; i < components.GetNumMembers(); ++i)
    {
        if (!sPath.empty() && sPath.back() != '/')
            sPath += '/';
        sPath.append(components[i].GetBuffer(), components[i].GetLength());
        // mkdir makes one level only: a missing parent fails it.
        if (mkdir(sPath.c_str(), 0777) == 0)
            continue;
        struct stat status;
        if (errno != EEXIST || stat(sPath.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
            return false;
    }
    return true;
}

std::uint64_t KU_FileUtilities::GetLastWriteTime(const KB_String& path)
{
    std::error_code error;
    const std::filesystem::path file(path.GetBuffer());
    if (!std::filesystem::is_regular_file(file, error) || error)
        return 0;
    const std::filesystem::file_time_type written = std::filesystem::last_write_time(file, error);
    if (error)
        return 0;
    using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>;
    const auto sinceUnixEpoch =
        std::chrono::duration_cast<Ticks>(std::chrono::file_clock::to_sys(written).time_since_epoch());
    const std::int64_t iTicks = sinceUnixEpoch.count() + FILETIME_UNIX_EPOCH;
    return iTicks > 0 ? static_cast<std::uint64_t>(iTicks) : 0;
}

int KU_FileUtilities::OpenRegularFile(const char* pPath, std::uint64_t* pSize)
{
    const int iFile = open(pPath, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (iFile < 0)
        return -1;
    struct stat status;
    if (fstat(iFile, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size < 0)
    {
        close(iFile);
        return -1;
    }
    *pSize = static_cast<std::uint64_t>(status.st_size);
    return iFile;
}

bool KU_FileUtilities::ReadWholeFile(int iFile, std::uint8_t* pData, std::uint64_t uiSize)
{
    std::uint64_t uiDone = 0;
    while (uiDone < uiSize)
    {
        const std::uint64_t uiLeft = uiSize - uiDone;
        const std::size_t uiPiece = static_cast<std::size_t>(uiLeft < (1u << 30) ? uiLeft : (1u << 30));
        const ssize_t iRead = pread(iFile, pData + uiDone, uiPiece, static_cast<off_t>(uiDone));
        if (iRead < 0 && errno == EINTR)
            continue;
        if (iRead <= 0)
            return false;
        uiDone += static_cast<std::uint64_t>(iRead);
    }
    return true;
}
