#pragma once
// A source of files for the file manager: the data archive, a directory tree, or an in-memory
// set in tests. Paths are relative to the repository and use '/'.
//
// Read data is cached per path text and reference-counted: every successful ReadFile (or
// AddReference) is paired with one RemoveReference of the same path, and the buffer stays valid
// until the count falls to 0. ReadFile, AddReference and RemoveReference may be called from any
// thread at the same time. The cache has a lock of its own, held only for a lookup or a change
// of the cache; derived classes take m_oMutex around their own reads where they need it (the
// cache helpers may be called with or without it held; the cache lock is always taken last).
//
// A repository destroyed while references are still held frees those buffers: pointers handed
// out become invalid then.

#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"
#include "framework/files/KF_LoadedFile.h"
#include "framework/threads/KT_Mutex.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class KF_Repository
{
public:
    KF_Repository() = default;
    virtual ~KF_Repository();

    KF_Repository(const KF_Repository&) = delete;
    KF_Repository& operator=(const KF_Repository&) = delete;

    // The whole file; *ppData holds *pSize bytes plus a NUL and stays valid until the matching
    // RemoveReference. False (outputs untouched) when the file cannot be read.
    virtual bool ReadFile(const KB_String& sPath, std::uint64_t* pSize, std::uint8_t** ppData) = 0;
    // Replaces the file with uiSize bytes; false when nothing (or not everything) was written,
    // with errno saying why.
    virtual bool WriteFile(const KB_String& sPath, std::uint64_t uiSize, const char* pData) = 0;
    // True when the file is gone afterwards (also when it never existed).
    virtual bool RemoveFile(const KB_String& sPath) = 0;
    virtual bool GetFileSize(const KB_String& sPath, std::uint64_t* pSize) = 0;
    // Last write as a FILETIME: 100 ns ticks since 1601-01-01 UTC.
    virtual bool GetFileTime(const KB_String& sPath, std::uint64_t* pTime) = 0;
    // FNV-1a-64 of the contents starting from the FNV prime; *pHash = 0 and false when the file
    // cannot be read. Leaves the cache as it found it.
    virtual bool GetFileHash(const KB_String& sPath, std::uint64_t* pHash) = 0;
    virtual bool FileExists(const KB_String& sPath) = 0;
    virtual bool DirectoryExists(const KB_String& sPath) = 0;
    // One more reference on a loaded path; false when the path is not loaded.
    virtual bool AddReference(const KB_String& sPath);
    // One reference less; at 0 the buffer is freed. False when the path is not loaded.
    virtual bool RemoveReference(const KB_String& sPath);
    virtual bool IsWritable(); // false here
    // Appends the names (without directory) matching sPattern ("dir/name-pattern"); true when
    // gOut holds at least one name afterwards.
    virtual bool FindFiles(const KB_String& sPattern, KB_GrowingArray<KB_String>& gOut) = 0;

protected:
    // A cached path: one more reference, its data and size; false when the path is not cached.
    bool TakeCachedFile(const KB_String& sPath, std::uint64_t* pSize, std::uint8_t** ppData);
    // Caches pData (from AllocateFileBuffer, now owned by the cache) under sPath, which must not be
    // cached yet, with one reference.
    void AddLoadedFile(const KB_String& sPath, std::uint8_t* pData, std::uint64_t uiSize);
    // For readers that read without holding a lock: caches pData under sPath with one reference,
    // or, when another reader cached sPath meanwhile, frees pData and takes a reference on that
    // entry instead. The cached data and size go to *ppData and *pSize.
    void AddOrTakeLoadedFile(const KB_String& sPath, std::uint8_t* pData, std::uint64_t uiSize,
                             std::uint64_t* pSize, std::uint8_t** ppData);
    // References held on sPath; 0 when it is not cached.
    std::uint32_t GetReferenceCount(const KB_String& sPath);
    std::uint32_t GetNumLoadedFiles() const;

    // uiSize + 1 bytes with a NUL at [uiSize]; null when the memory cannot be had.
    static std::uint8_t* AllocateFileBuffer(std::uint64_t uiSize);
    static void FreeFileBuffer(std::uint8_t* pData);

    // The content hash every repository gives: ReadFile through this repository, FNV-1a-64 of
    // the bytes, then RemoveReference. Takes no lock of its own.
    bool HashThroughReadFile(const KB_String& sPath, std::uint64_t* pHash);

    KT_Mutex m_oMutex; // guards whatever a derived class reads under it

private:
    // Hashes path text; lookups with a KB_String's bytes need no std::string of their own.
    struct PathHash
    {
        using is_transparent = void;
        std::size_t operator()(std::string_view sPath) const { return std::hash<std::string_view>()(sPath); }
    };

    // The two below expect m_oCacheLock to be held.
    KF_LoadedFile* FindLoadedFile(const KB_String& sPath); // null when not cached
    // Frees the entry's buffer and drops it: the last entry moves into its place.
    void RemoveLoadedFile(KF_LoadedFile* pFile);

    // The cache: entries packed in any order (buffers owned) and, by exact path text, the index
    // of each. A read, reference or release costs one hash lookup however many files are held.
    // A plain mutex: it is held for a hash lookup at a time, by every reader of every thread.
    mutable std::mutex m_oCacheLock;
    std::vector<KF_LoadedFile> m_vLoadedFiles;
    std::unordered_map<std::string, std::size_t, PathHash, std::equal_to<>> m_mapLoadedFileIndex;
};
