#include "audio/KA_AudioContextManager.h"

#include "audio/KA_AudioContext.h"
#include "audio/KA_AudioResourceManager.h"
#include "audio/KU_AudioContextFactory.h"
#include "framework/app/KU_ApplicationFactory.h"

KA_AudioContextManager::KA_AudioContextManager(KU_ApplicationFactory* pFactory)
    : m_pApplicationFactory(pFactory), m_pAudioResourceManager(new KA_AudioResourceManager())
{
}

KA_AudioContextManager::~KA_AudioContextManager()
{
    delete m_pAudioResourceManager;
    m_pAudioResourceManager = nullptr;
    delete m_pAudioContext;
    m_pAudioContext = nullptr;
}

bool KA_AudioContextManager::CreateAudioContext()
{
    if (m_pAudioContext != nullptr)
        return true;
    KU_AudioContextFactory* pFactory =
        m_pApplicationFactory != nullptr ? m_pApplicationFactory->GetAudioContextFactory() : nullptr;
    if (pFactory != nullptr)
        m_pAudioContext = pFactory->CreateAudioContext();
    return m_pAudioContext != nullptr;
}
