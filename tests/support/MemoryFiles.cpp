#include "tests/support/MemoryFiles.h"

#include "framework/app/KE_ApplicationManager.h"

#include <cstdio>
#include <cstdlib>

MemoryFiles::MemoryFiles(bool bWritable) : MemoryFiles(new MemoryRepository(bWritable))
{
}

MemoryFiles::MemoryFiles(MemoryRepository* pRepository) : m_pRepository(pRepository)
{
    m_Files.AddRepository(m_pRepository);
}

MemoryFiles::~MemoryFiles()
{
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    if (pEngine != nullptr && pEngine->GetFileManager() == &m_Files)
        pEngine->SetFileManager(nullptr);
}

void MemoryFiles::Install()
{
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    if (pEngine == nullptr)
    {
        std::fprintf(stderr, "MemoryFiles: no engine singleton to install the file manager on\n");
        std::abort();
    }
    pEngine->SetFileManager(&m_Files);
}
