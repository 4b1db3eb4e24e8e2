#pragma once
// The engine's ordered list of file sources, owned by the engine singleton. Reads, sizes, times,
// hashes and existence checks go to the repositories in order and the first that answers wins;
// writes and removals go to the first writable repository that succeeds; searches collect names
// from all of them. Paths use '/' and are relative to each repository.
//
// The repository list is filled on the main thread before any worker job starts and is not
// locked; after that every operation may be called from any thread (each repository guards its
// own cache). Each successful ReadFile is paired with one RemoveReference of the same path.

#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"

#include <cstdint>

class KF_NameValidator;
class KF_Repository;

class KF_FileManager
{
public:
    KF_FileManager();  // no repositories; a plain KF_NameValidator that accepts everything
    ~KF_FileManager(); // deletes every repository, then the validator

    KF_FileManager(const KF_FileManager&) = delete;
    KF_FileManager& operator=(const KF_FileManager&) = delete;

    // The data stays valid until the matching RemoveReference.
    bool ReadFile(const KB_String& sPath, std::uint64_t* pSize, std::uint8_t** ppData);
    bool RemoveReference(const KB_String& sPath);
    bool AddReference(const KB_String& sPath);
    // Into the first writable repository that takes it. False when none does, with errno the reason
    // the first writable one gave, or EROFS when none is writable.
    bool WriteFile(const KB_String& sPath, std::uint64_t uiSize, const char* pData);
    // WriteFile for what the user saves (entities, curves): when no repository takes the file,
    // one line on standard error names sPath and WriteFile's reason (KU_SaveFailure). The result is
    // WriteFile's.
    bool SaveFile(const KB_String& sPath, std::uint64_t uiSize, const char* pData);
    bool RemoveFile(const KB_String& sPath);
    bool GetFileSize(const KB_String& sPath, std::uint64_t* pSize); // *pSize = 0 when nothing answers
    bool GetFileTime(const KB_String& sPath, std::uint64_t* pTime); // FILETIME ticks
    bool GetFileHash(const KB_String& sPath, std::uint64_t* pHash); // *pHash = 0 when nothing answers
    bool FileExists(const KB_String& sPath);
    bool DirectoryExists(const KB_String& sPath);
    // Empties gOut, then appends the names every repository finds for sPattern, repository by
    // repository (duplicates kept). False at once when the directory part holds a wildcard;
    // otherwise true when any name was found.
    bool FindFiles(KB_String sPattern, KB_GrowingArray<KB_String>& gOut);

    // Opens the data archive at sPath and appends it only when it loads; the load's result.
    bool AddDataRepository(const KB_String& sPath);
    // Appends a directory repository rooted at sPath; true.
    bool AddDirectoryRepository(const KB_String& sPath);
    // Appends pRepository, owned from now on; asked after those added before it.
    void AddRepository(KF_Repository* pRepository);

    // Deletes the previous validator and keeps pValidator (owned); null installs a plain one.
    void SetNameValidator(KF_NameValidator* pValidator);
    KF_NameValidator* GetNameValidator() const { return m_pNameValidator; } // not null
    void SetWorkingDirectory(const char* pDirectory);                       // stores a copy
    const KB_String& GetWorkingDirectory() const { return m_sWorkingDirectory; }

private:
    KB_GrowingArray<KF_Repository*> m_gRepositories; // owned, in the order asked
    KF_NameValidator* m_pNameValidator = nullptr;    // owned, never null
    KB_String m_sWorkingDirectory;                   // empty until set
};
