#include "framework/app/KE_ApplicationManager.h"

#include "framework/app/KU_ApplicationFactory.h"

KE_ApplicationManager::KE_ApplicationManager(KU_ApplicationFactory* pFactory)
    : m_pApplicationFactory(pFactory)
{
}

KE_ApplicationManager::~KE_ApplicationManager()
{
    delete m_pApplicationFactory;
    m_pApplicationFactory = nullptr;
    if (s_pInstance == this)
        s_pInstance = nullptr;
}

bool KE_ApplicationManager::IsGraphicsInitialized() const
{
    return m_pGraphicsContextManager != nullptr && m_pGraphicsDevice != nullptr &&
           m_pGraphicsResourceManager != nullptr;
}

KB_String KE_ApplicationManager::GetMaterialFilePath() const
{
    if (m_pApplicationFactory == nullptr)
        return KB_String();
    return m_pApplicationFactory->GetMaterialFilePath();
}
