#pragma once
// A repository over a directory tree on disk. Every path is taken relative to the root given at
// construction (made absolute then, with '/' separators and a trailing '/'); the process's
// current directory plays no part afterwards. An empty root leaves paths as they are.
//
// Names are matched as on Windows: the exact path first, then, when that does not exist, each
// component without regard to case. Listings come in Windows order. A write goes to a temporary
// file beside the target (KU_TemporaryFiles) that then replaces it, so a failed write leaves the
// old file whole.
//
// Only regular files (links followed) are files here, so a FIFO or a device under the root can
// never block a read; directories are only taken where a directory is meant.
//
// ReadFile, WriteFile and RemoveFile refuse a path that leaves the root: an absolute one (a
// leading '/' or '\\', or a drive letter) or one whose ".." components climb above where it
// starts. Paths come from data files, so they are not trusted. The queries (FileExists,
// DirectoryExists, sizes, times, hashes through ReadFile excepted, listings) still answer for
// such paths: probing beside the root is harmless and callers rely on it.
//
// Reads use the shared cache under the repository's mutex and may come from any thread; writes,
// removals and listings take no lock (callers do not write a file others are reading).

#include "framework/files/KF_Repository.h"

class KF_DirectoryRepository : public KF_Repository
{
public:
    explicit KF_DirectoryRepository(const KB_String& sRootPath);
    ~KF_DirectoryRepository() override = default;

    // False for a missing, empty or unreadable file, and when memory for it cannot be had.
    bool ReadFile(const KB_String& sPath, std::uint64_t* pSize, std::uint8_t** ppData) override;
    // Creates missing directories below the root first (never the root itself); false when they
    // cannot be made or the data not written, with errno from the failing call (EISDIR for a
    // directory at the path, EPERM for a path that leaves the root, EINVAL for missing data).
    bool WriteFile(const KB_String& sPath, std::uint64_t uiSize, const char* pData) override;
    bool RemoveFile(const KB_String& sPath) override; // false for a directory or a failed removal
    // False when the path is not a regular file or cannot be opened.
    bool GetFileSize(const KB_String& sPath, std::uint64_t* pSize) override;
    bool GetFileTime(const KB_String& sPath, std::uint64_t* pTime) override;
    bool GetFileHash(const KB_String& sPath, std::uint64_t* pHash) override;
    bool FileExists(const KB_String& sPath) override;
    bool DirectoryExists(const KB_String& sPath) override;
    bool IsWritable() override; // true
    // Files and directories alike, "." and ".." included when the name pattern matches them.
    bool FindFiles(const KB_String& sPattern, KB_GrowingArray<KB_String>& gOut) override;

private:
    KB_String m_sRootDirectory; // absolute, '/' separators, ends in '/'; empty for an empty root
};
