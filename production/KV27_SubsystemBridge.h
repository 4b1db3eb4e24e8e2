#pragma once
// The production's subsystem bridges: one object implementing the framework's five bridge
// interfaces, so the program entry keeps one of them for the whole run. It makes, deletes and
// drives the engine singleton's members whose classes the framework cannot see. Each interface's
// calls sit together, in its order, here and in the source. Main thread only.
//
// Members whose classes do not exist yet (material manager, shader cache, renderer) are not made:
// Create answers null and the engine runs without them.

#include "framework/app/KE_AudioBridge.h"
#include "framework/app/KE_CurveBridge.h"
#include "framework/app/KE_GraphicsBridge.h"
#include "framework/app/KE_SceneBridge.h"
#include "framework/app/KE_ToolsBridge.h"

class KV27_SubsystemBridge : public KE_SceneBridge,
                             public KE_GraphicsBridge,
                             public KE_AudioBridge,
                             public KE_ToolsBridge,
                             public KE_CurveBridge
{
public:
    // Installs all five bridges on KE_ApplicationManager (before KE_Application::Initialize) ...
    void Install();
    // ... and removes them again (after KE_Application::Run has returned).
    static void Uninstall();

    // KE_SceneBridge
    KR_SceneManager* CreateSceneManager() override;
    void DeleteSceneManager(KR_SceneManager* p) override;
    void StartSceneManager(KR_SceneManager* pSceneManager) override;
    void UpdateAndRenderScenes(KR_SceneManager* pSceneManager) override;
    void ResizeScenes(KR_SceneManager* pSceneManager) override;
    void ShutdownSceneManager(KR_SceneManager* pSceneManager) override;
    bool IsCursorVisible(KR_SceneManager* pSceneManager) override;

    // KE_GraphicsBridge
    KR_GraphicsContextManager* CreateGraphicsContextManager(KU_ApplicationFactory* pFactory) override;
    KR_MaterialManager* CreateMaterialManager() override;
    KR_ShaderCache* CreateShaderCache() override;
    KR_Renderer* CreateRenderer() override;
    void DeleteParticleEngine(KR_ParticleEngine* p) override;
    void DeletePostFXEngine(KR_PostFXEngine* p) override;
    void DeleteMetaBallRenderer(KR_MetaBallRenderer* p) override;
    void DeleteOITRenderer(KR_OITRenderer* p) override;
    void DeleteRenderer(KR_Renderer* p) override;
    void DeleteGraphicsResourceManager(KR_GraphicsResourceManager* p) override;
    void DeleteGraphicsContextManager(KR_GraphicsContextManager* p) override;
    void DeleteGraphicsDevice(KR_GraphicsDevice* p) override;
    void DeleteMaterialManager(KR_MaterialManager* p) override;
    void DeleteShaderCache(KR_ShaderCache* p) override;
    void DeleteShaderCoreManager(KR_ShaderCoreManager* p) override;
    bool PollSelectedScreenResolution(KR_GraphicsContextManager* pManager) override;
    bool CreateGraphicsDevice(KR_GraphicsContextManager* pManager, HWND hWindow) override;
    bool SetScreenResolution(KR_GraphicsContextManager* pManager, std::uint16_t uiWidth,
                             std::uint16_t uiHeight) override;
    void PushRasterizerState(KR_GraphicsDevice* pDevice) override;
    void PopRasterizerState(KR_GraphicsDevice* pDevice) override;

    // KE_AudioBridge
    KA_AudioContextManager* CreateAudioContextManager(KU_ApplicationFactory* pFactory) override;
    void DeleteAudioContextManager(KA_AudioContextManager* p) override;
    bool CreateAudioContext(KA_AudioContextManager* pManager) override;
    bool InitializeAudioContext(KA_AudioContextManager* pManager) override;
    void UpdateAudioContext(KA_AudioContextManager* pManager) override;
    void SelectAudioDevice(KA_AudioContextManager* pManager, std::uint32_t uiDevice) override;
    void SetAudioEntityPath(KA_AudioContextManager* pManager, const KB_String& sDirectory) override;

    // KE_ToolsBridge
    KG_ManagedFacade* CreateManagedFacade() override;
    void DeleteManagedFacade(KG_ManagedFacade* p) override;
    bool ShowConfigurationDialog(KG_ManagedFacade* pFacade, const KB_GrowingArray<KB_String>& gBannerPaths,
                                 const KB_GrowingArray<int>& gBannerTimes) override;
    bool GetSelectedAudioDevice(KG_ManagedFacade* pFacade, std::uint32_t* pDevice) override;
    bool CloseInterpolationEditorDialogs(KG_ManagedFacade* pFacade, bool bForce) override;
    bool GetSelectedScreenResolution(KG_ManagedFacade* pFacade, KR_ScreenResolution* pResolution,
                                     int* piContext, int* piAdapter, int* piOutput) override;
    void ShowMessageBox(KG_ManagedFacade* pFacade, const KB_String& sText,
                        const KB_String& sCaption) override;
    bool ShowInterpolationEditorDialog(KG_ManagedFacade* pFacade) override;
    void UpdateInterpolationEditorDialogs(KG_ManagedFacade* pFacade) override;
    void InvalidateInterpolationEditorDialogs(KG_ManagedFacade* pFacade) override;

    // KE_CurveBridge
    KU_InterpolationManager* CreateInterpolationManager() override;
    void DeleteInterpolationManager(KU_InterpolationManager* p) override;
};
