#include "framework/app/KE_ApplicationManager.h"

#include "framework/app/KE_Dispatcher.h"
#include "framework/app/KE_SubsystemBridge.h"
#include "framework/app/KI_InputManager.h"
#include "framework/app/KU_ApplicationFactory.h"
#include "framework/files/KF_FileManager.h"
#include "platform/win32/Windows.h"

KE_ApplicationManager::KE_ApplicationManager(KU_ApplicationFactory* pFactory)
    : m_pApplicationFactory(pFactory)
{
}

KE_ApplicationManager::~KE_ApplicationManager()
{
    KE_SubsystemBridge* pBridge = s_pSubsystemBridge;

    // Members made above the framework can only be deleted through the bridge that made them.
    auto deleteThroughBridge = [pBridge](auto*& p, auto deleteMember)
    {
        if (p != nullptr && pBridge != nullptr)
            (pBridge->*deleteMember)(p);
        p = nullptr;
    };

    deleteThroughBridge(m_pParticleEngine, &KE_SubsystemBridge::DeleteParticleEngine);
    deleteThroughBridge(m_pPostFXEngine, &KE_SubsystemBridge::DeletePostFXEngine);
    deleteThroughBridge(m_pMetaBallRenderer, &KE_SubsystemBridge::DeleteMetaBallRenderer);
    deleteThroughBridge(m_pOITRenderer, &KE_SubsystemBridge::DeleteOITRenderer);
    deleteThroughBridge(m_pSceneManager, &KE_SubsystemBridge::DeleteSceneManager);
    deleteThroughBridge(m_pRenderer, &KE_SubsystemBridge::DeleteRenderer);
    deleteThroughBridge(m_pGraphicsResourceManager, &KE_SubsystemBridge::DeleteGraphicsResourceManager);
    deleteThroughBridge(m_pGraphicsContextManager, &KE_SubsystemBridge::DeleteGraphicsContextManager);
    deleteThroughBridge(m_pGraphicsDevice, &KE_SubsystemBridge::DeleteGraphicsDevice);
    delete m_pFileManager;
    m_pFileManager = nullptr;
    deleteThroughBridge(m_pAudioContextManager, &KE_SubsystemBridge::DeleteAudioContextManager);
    deleteThroughBridge(m_pManagedFacade, &KE_SubsystemBridge::DeleteManagedFacade);
    deleteThroughBridge(m_pMaterialManager, &KE_SubsystemBridge::DeleteMaterialManager);
    deleteThroughBridge(m_pShaderCache, &KE_SubsystemBridge::DeleteShaderCache);
    deleteThroughBridge(m_pShaderCoreManager, &KE_SubsystemBridge::DeleteShaderCoreManager);
    delete m_pDispatcher;
    m_pDispatcher = nullptr;
    delete m_pInputManager;
    m_pInputManager = nullptr;
    delete m_pApplicationFactory;
    m_pApplicationFactory = nullptr;
    deleteThroughBridge(m_pInterpolationManager, &KE_SubsystemBridge::DeleteInterpolationManager);

    m_sApplicationShortName = KB_String();
    m_sApplicationName = KB_String();
    if (s_pInstance == this)
        s_pInstance = nullptr;
}

bool KE_ApplicationManager::Initialize()
{
    KE_SubsystemBridge* pBridge = s_pSubsystemBridge;

    if (m_pApplicationFactory != nullptr && pBridge != nullptr)
        m_pGraphicsContextManager = pBridge->CreateGraphicsContextManager(m_pApplicationFactory);
    m_pInputManager = new KI_InputManager();
    m_pDispatcher = new KE_Dispatcher();
    if (pBridge != nullptr)
    {
        m_pSceneManager = pBridge->CreateSceneManager();
        m_pMaterialManager = pBridge->CreateMaterialManager();
        m_pShaderCache = pBridge->CreateShaderCache();
        m_pManagedFacade = pBridge->CreateManagedFacade();
        m_pAudioContextManager = pBridge->CreateAudioContextManager(m_pApplicationFactory);
    }

    // Without a factory there is no audio context factory to ask: the context is not created.
    bool bAudioCreated = m_pAudioContextManager != nullptr && m_pApplicationFactory != nullptr &&
                         pBridge->CreateAudioContext(m_pAudioContextManager);
    const char* pFailure = nullptr;
    if (!bAudioCreated)
        pFailure = AUDIO_CONTEXT_NOT_CREATED;
    else if (!pBridge->InitializeAudioContext(m_pAudioContextManager))
        pFailure = AUDIO_CONTEXT_NOT_INITIALIZED;
    if (pFailure != nullptr)
    {
        MessageBoxA(nullptr, pFailure, INITIALIZATION_FAILURE_CAPTION, MB_OK | MB_ICONERROR);
        m_pDispatcher->Dispatch(KE_MT_Application, KE_MST_QuitForced, nullptr);
    }

    m_pFileManager = new KF_FileManager();
    if (pBridge != nullptr)
        m_pInterpolationManager = pBridge->CreateInterpolationManager();
    return pFailure == nullptr;
}

void KE_ApplicationManager::StartRuntime()
{
    KE_SubsystemBridge* pBridge = s_pSubsystemBridge;
    if (pBridge == nullptr)
        return;

    m_pRenderer = pBridge->CreateRenderer();

    std::uint32_t uiAudioDevice = 0xFFFFFFFFu;
    if (m_pManagedFacade != nullptr && pBridge->GetSelectedAudioDevice(m_pManagedFacade, &uiAudioDevice) &&
        uiAudioDevice != 0xFFFFFFFFu && m_pAudioContextManager != nullptr)
    {
        pBridge->SelectAudioDevice(m_pAudioContextManager, uiAudioDevice);
    }

    if (m_pApplicationFactory != nullptr && m_pAudioContextManager != nullptr)
        pBridge->SetAudioEntityPath(m_pAudioContextManager, m_pApplicationFactory->GetAudioEntityDirectory());

    if (m_pSceneManager != nullptr)
        pBridge->StartSceneManager(m_pSceneManager);
}

bool KE_ApplicationManager::ShowConfigurationDialog()
{
    KE_SubsystemBridge* pBridge = s_pSubsystemBridge;
    if (pBridge == nullptr || m_pApplicationFactory == nullptr || m_pManagedFacade == nullptr)
        return false;
    KB_GrowingArray<int> gTimes = m_pApplicationFactory->GetLauncherBannerTimes();
    KB_GrowingArray<KB_String> gPaths = m_pApplicationFactory->GetLauncherBannerPaths();
    return pBridge->ShowConfigurationDialog(m_pManagedFacade, gPaths, gTimes);
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
