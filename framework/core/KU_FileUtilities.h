#pragma once
// Path and file functions used by the loaders, the repositories and the editor. Static only;
// any thread. '/' is the program's separator; '\' is accepted where said. Paths of 259 characters
// or more are outside the contract of the path functions.

#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"

#include <cstdint>

class KU_FileUtilities
{
public:
    KU_FileUtilities() = delete;

    // Every '\' replaced by '/'.
    static KB_String EnforceForwardSlashes(const KB_String& path);
    // The absolute, normalised form ('.' and '..' resolved against the working directory, '\'
    // read as '/'); the path need not exist. A copy of the input when that fails or the result
    // would not fit a 260-byte buffer.
    static KB_String GetAbsolutePath(const KB_String& path);
    // With '\' made '/': the part before the last '/' (excluded); empty without '/'.
    static KB_String ExtractDirectory(const KB_String& path);
    // The part after the last '/' or '\'; empty when the path ends in one; the whole path
    // without either.
    static KB_String ExtractFilename(const KB_String& path);
    // The text after the last '.' of the last path component; empty when it has no '.'.
    static KB_String ExtractExtension(const KB_String& path);
    // The path up to and including the last '.' of its last component, then extension (given
    // without dot); empty when the last component has no '.'.
    static KB_String ReplaceExtension(const KB_String& path, const KB_String& extension);
    // The non-empty components between '/' or '\' separators.
    static KB_GrowingArray<KB_String> SplitPath(const KB_String& path);
    // Creates every directory of the path from its first two components on; the first component
    // alone is never created and must exist. A leading separator is kept (absolute path).
    // Existing directories are fine. True for fewer than two components; false on the first
    // directory that cannot be created, with errno saying why (ENOTDIR when a file is in the way).
    static bool CreateDirectories(const KB_String& path);
    // Creates each directory of sRelative ('/' or '\' separated) below sRoot, one at a time from
    // the root down; sRoot itself is never created, so nothing is made once it is gone. Existing
    // directories are fine; false on the first that cannot be made. An empty root stands for the
    // working directory.
    static bool CreateDirectoriesBelow(const KB_String& sRoot, const KB_String& sRelative);
    // Last-write time of a file as a FILETIME value (100 ns ticks since 1601-01-01 UTC); 0 when
    // it is not a readable file.
    static std::uint64_t GetLastWriteTime(const KB_String& path);
    // Opens the regular file at pPath for reading without ever blocking in the open, whatever lies
    // there (a pipe or a device put there after the path was looked at is refused too); its
    // descriptor, which the caller closes, and its size, or -1.
    static int OpenRegularFile(const char* pPath, std::uint64_t* pSize);
    // Reads exactly uiSize bytes from the start of the open file; false on an error or a short file.
    static bool ReadWholeFile(int iFile, std::uint8_t* pData, std::uint64_t uiSize);
};
