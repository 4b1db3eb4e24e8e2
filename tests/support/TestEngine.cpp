#include "tests/support/TestEngine.h"

#include <cstdio>
#include <cstdlib>

TestEngine::TestEngine(KU_ApplicationFactory* pFactory)
{
    if (KE_ApplicationManager::s_pInstance != nullptr)
    {
        std::fprintf(stderr, "TestEngine: a previous test left the engine singleton behind\n");
        std::abort();
    }
    m_pManager = new KE_ApplicationManager(pFactory);
    KE_ApplicationManager::s_pInstance = m_pManager;
}

TestEngine::~TestEngine()
{
    KE_ApplicationManager* p = m_pManager;
    p->SetGraphicsContextManager(nullptr);
    p->SetGraphicsDevice(nullptr);
    p->SetGraphicsResourceManager(nullptr);
    p->SetInputManager(nullptr);
    p->SetRenderer(nullptr);
    p->SetParticleEngine(nullptr);
    p->SetPostFXEngine(nullptr);
    p->SetOITRenderer(nullptr);
    p->SetMetaBallRenderer(nullptr);
    p->SetSceneManager(nullptr);
    p->SetMaterialManager(nullptr);
    p->SetShaderCache(nullptr);
    p->SetShaderCoreManager(nullptr);
    p->SetDispatcher(nullptr);
    p->SetManagedFacade(nullptr);
    p->SetAudioContextManager(nullptr);
    p->SetFileManager(nullptr);
    p->SetInterpolationManager(nullptr);
    delete p;
    m_pManager = nullptr;
    KE_ApplicationManager::s_pInstance = nullptr;
}
