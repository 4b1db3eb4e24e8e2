#include "tests/support/TestEngine.h"

#include <cstdio>
#include <cstdlib>

TestEngine::TestEngine(KU_ApplicationFactory* pFactory)
{
    if (KE_ApplicationManager::GetInstance() != nullptr)
    {
        std::fprintf(stderr, "TestEngine: a previous test left the engine singleton behind\n");
        std::abort();
    }
    m_pManager = new KE_ApplicationManager(pFactory, KE_ApplicationManager::MemberOwnership::Lent);
}

TestEngine::~TestEngine()
{
    delete m_pManager; // deletes the factory only, and clears the singleton
    m_pManager = nullptr;
}
