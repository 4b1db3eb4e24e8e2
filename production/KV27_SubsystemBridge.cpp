#include "production/KV27_SubsystemBridge.h"

#include "audio/KA_AudioContext.h"
#include "audio/KA_AudioContextManager.h"
#include "audio/KA_AudioResourceManager.h"
#include "framework/app/KE_ApplicationManager.h"
#include "framework/app/KU_ApplicationFactory.h"
#include "render/device/KR_GraphicsContextManager.h"
#include "render/device/KR_GraphicsDevice.h"
#include "render/device/KR_GraphicsResourceManager.h"
#include "render/device/KR_MaterialManager.h"
#include "render/device/KR_ShaderCache.h"
#include "render/device/KR_ShaderCoreManager.h"
#include "render/effects/KR_MetaBallRenderer.h"
#include "render/effects/KR_OITRenderer.h"
#include "render/effects/KR_ParticleEngine.h"
#include "render/effects/KR_PostFXEngine.h"
#include "render/scene/KR_SceneManager.h"
#include "timing/KU_InterpolationManager.h"
#include "tools/KG_ManagedFacade.h"
#include "tools/KR_AudioEditorObjects.h"

#include <new>

void KV27_SubsystemBridge::Install()
{
    KE_ApplicationManager::SetSceneBridge(this);
    KE_ApplicationManager::SetGraphicsBridge(this);
    KE_ApplicationManager::SetAudioBridge(this);
    KE_ApplicationManager::SetToolsBridge(this);
    KE_ApplicationManager::SetCurveBridge(this);
}

void KV27_SubsystemBridge::Uninstall()
{
    KE_ApplicationManager::SetSceneBridge(nullptr);
    KE_ApplicationManager::SetGraphicsBridge(nullptr);
    KE_ApplicationManager::SetAudioBridge(nullptr);
    KE_ApplicationManager::SetToolsBridge(nullptr);
    KE_ApplicationManager::SetCurveBridge(nullptr);
}

// ---- KE_SceneBridge

KR_SceneManager* KV27_SubsystemBridge::CreateSceneManager()
{
    return new (std::nothrow) KR_SceneManager();
}

void KV27_SubsystemBridge::DeleteSceneManager(KR_SceneManager* p)
{
    delete p;
}

void KV27_SubsystemBridge::StartSceneManager(KR_SceneManager* pSceneManager)
{
    pSceneManager->Start();
}

void KV27_SubsystemBridge::UpdateAndRenderScenes(KR_SceneManager* pSceneManager)
{
    pSceneManager->UpdateAndRender();
}

void KV27_SubsystemBridge::ResizeScenes(KR_SceneManager* pSceneManager)
{
    pSceneManager->OnResize();
}

void KV27_SubsystemBridge::ShutdownSceneManager(KR_SceneManager* pSceneManager)
{
    pSceneManager->Shutdown();
}

bool KV27_SubsystemBridge::IsCursorVisible(KR_SceneManager* pSceneManager)
{
    return pSceneManager->IsCursorVisible();
}

// ---- KE_GraphicsBridge

KR_GraphicsContextManager* KV27_SubsystemBridge::CreateGraphicsContextManager(KU_ApplicationFactory* pFactory)
{
    KR_GraphicsContextManager* pManager = new (std::nothrow) KR_GraphicsContextManager(pFactory);
    if (pManager != nullptr)
        pManager->CreateGraphicsContexts(pFactory->GetGraphicsContextFactories());
    return pManager;
}

KR_MaterialManager* KV27_SubsystemBridge::CreateMaterialManager()
{
    return new (std::nothrow) KR_MaterialManager();
}

KR_ShaderCache* KV27_SubsystemBridge::CreateShaderCache()
{
    return new (std::nothrow) KR_ShaderCache();
}

KR_Renderer* KV27_SubsystemBridge::CreateRenderer()
{
    return nullptr;
}

void KV27_SubsystemBridge::DeleteParticleEngine(KR_ParticleEngine* p)
{
    delete p;
}

void KV27_SubsystemBridge::DeletePostFXEngine(KR_PostFXEngine* p)
{
    delete p;
}

void KV27_SubsystemBridge::DeleteMetaBallRenderer(KR_MetaBallRenderer* p)
{
    delete p;
}

void KV27_SubsystemBridge::DeleteOITRenderer(KR_OITRenderer* p)
{
    delete p;
}

// Members of kinds nobody makes yet are never present, so there is nothing to delete.
void KV27_SubsystemBridge::DeleteRenderer(KR_Renderer* /*p*/)
{
}

void KV27_SubsystemBridge::DeleteMaterialManager(KR_MaterialManager* p)
{
    delete p;
}

void KV27_SubsystemBridge::DeleteShaderCache(KR_ShaderCache* p)
{
    delete p;
}

void KV27_SubsystemBridge::DeleteGraphicsResourceManager(KR_GraphicsResourceManager* p)
{
    delete p;
}

void KV27_SubsystemBridge::DeleteGraphicsContextManager(KR_GraphicsContextManager* p)
{
    delete p;
}

void KV27_SubsystemBridge::DeleteGraphicsDevice(KR_GraphicsDevice* p)
{
    delete p;
}

void KV27_SubsystemBridge::DeleteShaderCoreManager(KR_ShaderCoreManager* p)
{
    delete p;
}

bool KV27_SubsystemBridge::PollSelectedScreenResolution(KR_GraphicsContextManager* pManager)
{
    return pManager->PollSelectedScreenResolution();
}

bool KV27_SubsystemBridge::CreateGraphicsDevice(KR_GraphicsContextManager* pManager, HWND hWindow)
{
    return pManager->CreateGraphicsDevice(hWindow);
}

bool KV27_SubsystemBridge::SetScreenResolution(KR_GraphicsContextManager* pManager, std::uint16_t uiWidth,
                                               std::uint16_t uiHeight)
{
    return pManager->SetScreenResolution(uiWidth, uiHeight);
}

void KV27_SubsystemBridge::PushRasterizerState(KR_GraphicsDevice* pDevice)
{
    pDevice->PushRasterizerState();
}

void KV27_SubsystemBridge::PopRasterizerState(KR_GraphicsDevice* pDevice)
{
    pDevice->PopRasterizerState();
}

// ---- KE_AudioBridge

KA_AudioContextManager* KV27_SubsystemBridge::CreateAudioContextManager(KU_ApplicationFactory* pFactory)
{
    return new (std::nothrow) KA_AudioContextManager(pFactory);
}

void KV27_SubsystemBridge::DeleteAudioContextManager(KA_AudioContextManager* p)
{
    delete p;
}

bool KV27_SubsystemBridge::CreateAudioContext(KA_AudioContextManager* pManager)
{
    return pManager->CreateAudioContext();
}

bool KV27_SubsystemBridge::InitializeAudioContext(KA_AudioContextManager* pManager)
{
    return pManager->GetAudioContext() != nullptr && pManager->GetAudioContext()->Initialize();
}

void KV27_SubsystemBridge::UpdateAudioContext(KA_AudioContextManager* pManager)
{
    if (pManager->GetAudioContext() != nullptr)
        pManager->GetAudioContext()->Update();
}

void KV27_SubsystemBridge::SelectAudioDevice(KA_AudioContextManager* pManager, std::uint32_t uiDevice)
{
    if (pManager->GetAudioContext() != nullptr)
        pManager->GetAudioContext()->SelectAudioDevice(uiDevice);
}

// The audio resource manager listens for keys from now on and plays at the scene manager's audio
// time scale; in developer mode its entities get the editor's markers and gizmos.
void KV27_SubsystemBridge::SetAudioEntityPath(KA_AudioContextManager* pManager, const KB_String& sDirectory)
{
    KA_AudioResourceManager* pAudio = pManager->GetAudioResourceManager();
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    if (pAudio == nullptr || pEngine == nullptr)
        return;
    pAudio->SetAudioEntityPath(sDirectory);
    if (pEngine->GetSceneManager() != nullptr)
        pAudio->SetTimeScale(pEngine->GetSceneManager()->GetInverseSpeed());
    if (pEngine->IsDeveloperBuild())
        pAudio->SetEditorObjects(new KR_AudioEditorObjects());
}

// ---- KE_ToolsBridge

KG_ManagedFacade* KV27_SubsystemBridge::CreateManagedFacade()
{
    return new (std::nothrow) KG_ManagedFacade();
}

void KV27_SubsystemBridge::DeleteManagedFacade(KG_ManagedFacade* p)
{
    delete p;
}

bool KV27_SubsystemBridge::ShowConfigurationDialog(KG_ManagedFacade* pFacade,
                                                   const KB_GrowingArray<KB_String>& gBannerPaths,
                                                   const KB_GrowingArray<int>& gBannerTimes)
{
    return pFacade->ShowConfigurationDialog(gBannerPaths, gBannerTimes);
}

bool KV27_SubsystemBridge::GetSelectedAudioDevice(KG_ManagedFacade* pFacade, std::uint32_t* pDevice)
{
    return pFacade->GetSelectedAudioDevice(pDevice);
}

bool KV27_SubsystemBridge::CloseInterpolationEditorDialogs(KG_ManagedFacade* pFacade, bool bForce)
{
    return pFacade->CloseInterpolationEditorDialogs(bForce);
}

bool KV27_SubsystemBridge::GetSelectedScreenResolution(KG_ManagedFacade* pFacade,
                                                       KR_ScreenResolution* pResolution, int* piContext,
                                                       int* piAdapter, int* piOutput)
{
    return pFacade->GetSelectedScreenResolution(pResolution, piContext, piAdapter, piOutput);
}

void KV27_SubsystemBridge::ShowMessageBox(KG_ManagedFacade* pFacade, const KB_String& sText,
                                          const KB_String& sCaption)
{
    pFacade->ShowMessageBox(sText, sCaption);
}

bool KV27_SubsystemBridge::ShowInterpolationEditorDialog(KG_ManagedFacade* pFacade)
{
    return pFacade->ShowInterpolationEditorDialog();
}

void KV27_SubsystemBridge::UpdateInterpolationEditorDialogs(KG_ManagedFacade* pFacade)
{
    pFacade->UpdateInterpolationEditorDialogs();
}

void KV27_SubsystemBridge::InvalidateInterpolationEditorDialogs(KG_ManagedFacade* pFacade)
{
    pFacade->InvalidateInterpolationEditorDialogs();
}

// ---- KE_CurveBridge

KU_InterpolationManager* KV27_SubsystemBridge::CreateInterpolationManager()
{
    return new (std::nothrow) KU_InterpolationManager();
}

void KV27_SubsystemBridge::DeleteInterpolationManager(KU_InterpolationManager* p)
{
    delete p;
}
