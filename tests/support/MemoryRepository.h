#pragma once
// A KF_Repository over files held in memory, for tests that read or write through the file
// manager. Paths are compared exactly (letter case counts); a directory exists when some file
// lies below it. Listings hold the files (not directories) of one directory whose names match the
// pattern by the rules of FindFirstFileA (without regard to case), in Windows order. Unlike a directory on
// disk it can hold and read empty files. Thread-safe like every repository.

#include "framework/files/KF_Repository.h"

#include <cstdint>
#include <map>
#include <string>

class MemoryRepository : public KF_Repository
{
public:
    explicit MemoryRepository(bool bWritable = true);
    ~MemoryRepository() override;

    // Adds or replaces a file; uiTime is its FILETIME.
    void SetFile(const std::string& sPath, const std::string& sContents, std::uint64_t uiTime = 1);
    void RemoveAllFiles();
    // Writes and removals fail while it is not writable (a full disk, a locked file).
    void SetWritable(bool bWritable) { m_bWritable = bWritable; }
    bool HasFile(const std::string& sPath);
    std::string GetFileContents(const std::string& sPath); // empty when absent

    // The cache as the tests see it.
    std::uint32_t GetReferenceCount(const std::string& sPath);
    std::uint32_t GetNumLoadedFiles();
    // Successful ReadFile calls so far (cache hits included).
    std::uint32_t GetNumReads();

    bool ReadFile(const KB_String& sPath, std::uint64_t* pSize, std::uint8_t** ppData) override;
    bool WriteFile(const KB_String& sPath, std::uint64_t uiSize,
                   const char* pData) override;       // false (errno EROFS) when read-only
    bool RemoveFile(const KB_String& sPath) override; // false when read-only
    bool GetFileSize(const KB_String& sPath, std::uint64_t* pSize) override;
    bool GetFileTime(const KB_String& sPath, std::uint64_t* pTime) override;
    bool GetFileHash(const KB_String& sPath, std::uint64_t* pHash) override;
    bool FileExists(const KB_String& sPath) override;
    bool DirectoryExists(const KB_String& sPath) override;
    bool IsWritable() override;
    bool FindFiles(const KB_String& sPattern, KB_GrowingArray<KB_String>& gOut) override;

private:
    struct File
    {
        std::string sContents;
        std::uint64_t uiTime = 0;
    };

    std::map<std::string, File> m_mapFiles; // guarded by m_oMutex
    std::uint32_t m_uiNumReads = 0;         // guarded by m_oMutex
    std::uint64_t m_uiNextTime = 1;         // time stamp of the next write; guarded by m_oMutex
    bool m_bWritable = true;
};
