#pragma once
// The file set-up most tests share: a KF_FileManager over one MemoryRepository, made on
// construction (the repository is owned by the file manager). Install lends the file manager to
// the engine singleton, which must be one that deletes none of its members (a TestEngine's); the
// destructor takes it back when the engine still holds it, so declare this after the TestEngine.
// More repositories may be added behind the memory one (the source tree, say) before the code
// under test reads. Test and fuzz code only, on the main thread; it uses no GoogleTest.

#include "framework/files/KF_FileManager.h"
#include "tests/support/MemoryRepository.h"

class KF_Repository;

class MemoryFiles
{
public:
    // Over a new MemoryRepository, writable or not.
    explicit MemoryFiles(bool bWritable = true);
    // Over pRepository (a MemoryRepository that also records or counts calls), owned from now on.
    explicit MemoryFiles(MemoryRepository* pRepository);
    ~MemoryFiles();

    MemoryFiles(const MemoryFiles&) = delete;
    MemoryFiles& operator=(const MemoryFiles&) = delete;

    // Makes the file manager the engine singleton's; aborts when there is no singleton.
    void Install();
    // Appends pRepository, owned by the file manager and asked after those before it.
    void AddRepository(KF_Repository* pRepository) { m_Files.AddRepository(pRepository); }

    KF_FileManager* Get() { return &m_Files; }
    KF_FileManager* operator->() { return &m_Files; }
    MemoryRepository* GetRepository() const { return m_pRepository; }

private:
    KF_FileManager m_Files;
    MemoryRepository* m_pRepository = nullptr; // owned by m_Files
};
