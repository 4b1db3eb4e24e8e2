#include "framework/app/KE_ApplicationManager.h"

#include "framework/app/KE_AudioBridge.h"
#include "framework/app/KE_CurveBridge.h"
#include "framework/app/KE_Dispatcher.h"
#include "framework/app/KE_GraphicsBridge.h"
#include "framework/app/KE_SceneBridge.h"
#include "framework/app/KE_ToolsBridge.h"
#include "framework/app/KI_InputManager.h"
#include "framework/app/KU_ApplicationFactory.h"
#include "framework/files/KF_FileManager.h"
#include "platform/win32/Windows.h"

namespace
{

// Members made above the framework can only be deleted through the bridge that made them; without
// one they cannot be deleted at all.
template <typename Bridge, typename T>
auto ThroughBridge(Bridge* pBridge, void (Bridge::*deleteMember)(T*))
{
    return [pBridge, deleteMember](T* p)
    {
        if (pBridge != nullptr)
            (pBridge->*deleteMember)(p);
    };
}

template <typename T>
void DeleteDirectly(T* p)
{
    delete p;
}

} // namespace

KE_ApplicationManager::KE_ApplicationManager(KU_ApplicationFactory* pFactory, MemberOwnership ownership)
    : m_eOwnership(ownership), m_pApplicationFactory(pFactory)
{
    s_pInstance = this;
}

KE_ApplicationManager::~KE_ApplicationManager()
{
    // Setting every member to null deletes the owned ones, in the documented order.
    SetParticleEngine(nullptr);
    SetPostFXEngine(nullptr);
    SetMetaBallRenderer(nullptr);
    SetOITRenderer(nullptr);
    SetSceneManager(nullptr);
    SetRenderer(nullptr);
    SetGraphicsResourceManager(nullptr);
    SetGraphicsContextManager(nullptr);
    SetGraphicsDevice(nullptr);
    SetFileManager(nullptr);
    SetAudioContextManager(nullptr);
    SetManagedFacade(nullptr);
    SetMaterialManager(nullptr);
    SetShaderCache(nullptr);
    SetShaderCoreManager(nullptr);
    SetDispatcher(nullptr);
    SetInputManager(nullptr);
    delete m_pApplicationFactory;
    m_pApplicationFactory = nullptr;
    SetInterpolationManager(nullptr);

    m_sApplicationShortName = KB_String();
    m_sApplicationName = KB_String();
    if (s_pInstance == this)
        s_pInstance = nullptr;
}

template <typename T, typename Delete>
void KE_ApplicationManager::Replace(T*& pMember, T* p, Delete deleteOld)
{
    T* pOld = pMember;
    pMember = p;
    if (pOld != nullptr && pOld != p && m_eOwnership == MemberOwnership::Owned)
        deleteOld(pOld);
}

void KE_ApplicationManager::SetGraphicsContextManager(KR_GraphicsContextManager* p)
{
    Replace(m_pGraphicsContextManager, p,
            ThroughBridge(s_pGraphicsBridge, &KE_GraphicsBridge::DeleteGraphicsContextManager));
}

void KE_ApplicationManager::SetGraphicsDevice(KR_GraphicsDevice* p)
{
    Replace(m_pGraphicsDevice, p, ThroughBridge(s_pGraphicsBridge, &KE_GraphicsBridge::DeleteGraphicsDevice));
}

void KE_ApplicationManager::SetGraphicsResourceManager(KR_GraphicsResourceManager* p)
{
    Replace(m_pGraphicsResourceManager, p,
            ThroughBridge(s_pGraphicsBridge, &KE_GraphicsBridge::DeleteGraphicsResourceManager));
}

void KE_ApplicationManager::SetInputManager(KI_InputManager* p)
{
    Replace(m_pInputManager, p, &DeleteDirectly<KI_InputManager>);
}

void KE_ApplicationManager::SetRenderer(KR_Renderer* p)
{
    Replace(m_pRenderer, p, ThroughBridge(s_pGraphicsBridge, &KE_GraphicsBridge::DeleteRenderer));
}

void KE_ApplicationManager::SetParticleEngine(KR_ParticleEngine* p)
{
    Replace(m_pParticleEngine, p, ThroughBridge(s_pGraphicsBridge, &KE_GraphicsBridge::DeleteParticleEngine));
}

void KE_ApplicationManager::SetPostFXEngine(KR_PostFXEngine* p)
{
    Replace(m_pPostFXEngine, p, ThroughBridge(s_pGraphicsBridge, &KE_GraphicsBridge::DeletePostFXEngine));
}

void KE_ApplicationManager::SetOITRenderer(KR_OITRenderer* p)
{
    Replace(m_pOITRenderer, p, ThroughBridge(s_pGraphicsBridge, &KE_GraphicsBridge::DeleteOITRenderer));
}

void KE_ApplicationManager::SetMetaBallRenderer(KR_MetaBallRenderer* p)
{
    Replace(m_pMetaBallRenderer, p,
            ThroughBridge(s_pGraphicsBridge, &KE_GraphicsBridge::DeleteMetaBallRenderer));
}

void KE_ApplicationManager::SetSceneManager(KR_SceneManager* p)
{
    Replace(m_pSceneManager, p, ThroughBridge(s_pSceneBridge, &KE_SceneBridge::DeleteSceneManager));
}

void KE_ApplicationManager::SetMaterialManager(KR_MaterialManager* p)
{
    Replace(m_pMaterialManager, p,
            ThroughBridge(s_pGraphicsBridge, &KE_GraphicsBridge::DeleteMaterialManager));
}

void KE_ApplicationManager::SetShaderCache(KR_ShaderCache* p)
{
    Replace(m_pShaderCache, p, ThroughBridge(s_pGraphicsBridge, &KE_GraphicsBridge::DeleteShaderCache));
}

void KE_ApplicationManager::SetShaderCoreManager(KR_ShaderCoreManager* p)
{
    Replace(m_pShaderCoreManager, p,
            ThroughBridge(s_pGraphicsBridge, &KE_GraphicsBridge::DeleteShaderCoreManager));
}

void KE_ApplicationManager::SetDispatcher(KE_Dispatcher* p)
{
    Replace(m_pDispatcher, p, &DeleteDirectly<KE_Dispatcher>);
}

void KE_ApplicationManager::SetManagedFacade(KG_ManagedFacade* p)
{
    Replace(m_pManagedFacade, p, ThroughBridge(s_pToolsBridge, &KE_ToolsBridge::DeleteManagedFacade));
}

void KE_ApplicationManager::SetAudioContextManager(KA_AudioContextManager* p)
{
    Replace(m_pAudioContextManager, p,
            ThroughBridge(s_pAudioBridge, &KE_AudioBridge::DeleteAudioContextManager));
}

void KE_ApplicationManager::SetFileManager(KF_FileManager* p)
{
    Replace(m_pFileManager, p, &DeleteDirectly<KF_FileManager>);
}

void KE_ApplicationManager::SetInterpolationManager(KU_InterpolationManager* p)
{
    Replace(m_pInterpolationManager, p,
            ThroughBridge(s_pCurveBridge, &KE_CurveBridge::DeleteInterpolationManager));
}

bool KE_ApplicationManager::Initialize()
{
    KE_GraphicsBridge* pGraphics = s_pGraphicsBridge;
    KE_AudioBridge* pAudio = s_pAudioBridge;

    if (m_pApplicationFactory != nullptr && pGraphics != nullptr)
        SetGraphicsContextManager(pGraphics->CreateGraphicsContextManager(m_pApplicationFactory));
    SetInputManager(new KI_InputManager());
    SetDispatcher(new KE_Dispatcher());
    if (s_pSceneBridge != nullptr)
        SetSceneManager(s_pSceneBridge->CreateSceneManager());
    if (pGraphics != nullptr)
    {
        SetMaterialManager(pGraphics->CreateMaterialManager());
        SetShaderCache(pGraphics->CreateShaderCache());
    }
    if (s_pToolsBridge != nullptr)
        SetManagedFacade(s_pToolsBridge->CreateManagedFacade());
    if (pAudio != nullptr)
        SetAudioContextManager(pAudio->CreateAudioContextManager(m_pApplicationFactory));

    // Without a factory there is no audio context factory to ask: the context is not created.
    bool bAudioCreated = m_pAudioContextManager != nullptr && m_pApplicationFactory != nullptr &&
                         pAudio->CreateAudioContext(m_pAudioContextManager);
    const char* pFailure = nullptr;
    if (!bAudioCreated)
        pFailure = AUDIO_CONTEXT_NOT_CREATED;
    else if (!pAudio->InitializeAudioContext(m_pAudioContextManager))
        pFailure = AUDIO_CONTEXT_NOT_INITIALIZED;
    if (pFailure != nullptr)
    {
        MessageBoxA(nullptr, pFailure, INITIALIZATION_FAILURE_CAPTION, MB_OK | MB_ICONERROR);
        m_pDispatcher->Dispatch(KE_MT_Application, KE_MST_QuitForced, nullptr);
    }

    SetFileManager(new KF_FileManager());
    if (s_pCurveBridge != nullptr)
        SetInterpolationManager(s_pCurveBridge->CreateInterpolationManager());
    return pFailure == nullptr;
}

void KE_ApplicationManager::StartRuntime()
{
    if (s_pGraphicsBridge != nullptr)
        SetRenderer(s_pGraphicsBridge->CreateRenderer());

    KE_AudioBridge* pAudio = s_pAudioBridge;
    std::uint32_t uiAudioDevice = 0xFFFFFFFFu;
    if (s_pToolsBridge != nullptr && m_pManagedFacade != nullptr && pAudio != nullptr &&
        s_pToolsBridge->GetSelectedAudioDevice(m_pManagedFacade, &uiAudioDevice) &&
        uiAudioDevice != 0xFFFFFFFFu && m_pAudioContextManager != nullptr)
    {
        pAudio->SelectAudioDevice(m_pAudioContextManager, uiAudioDevice);
    }

    if (pAudio != nullptr && m_pApplicationFactory != nullptr && m_pAudioContextManager != nullptr)
        pAudio->SetAudioEntityPath(m_pAudioContextManager, m_pApplicationFactory->GetAudioEntityDirectory());

    if (s_pSceneBridge != nullptr && m_pSceneManager != nullptr)
        s_pSceneBridge->StartSceneManager(m_pSceneManager);
}

bool KE_ApplicationManager::ShowConfigurationDialog()
{
    KE_ToolsBridge* pTools = s_pToolsBridge;
    if (pTools == nullptr || m_pApplicationFactory == nullptr || m_pManagedFacade == nullptr)
        return false;
    KB_GrowingArray<int> gTimes = m_pApplicationFactory->GetLauncherBannerTimes();
    KB_GrowingArray<KB_String> gPaths = m_pApplicationFactory->GetLauncherBannerPaths();
    return pTools->ShowConfigurationDialog(m_pManagedFacade, gPaths, gTimes);
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
