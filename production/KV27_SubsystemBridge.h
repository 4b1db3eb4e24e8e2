#pragma once
// The production's subsystem bridge: makes, deletes and drives the engine singleton's members
// whose classes the framework cannot see. The program entry installs one for the whole run
// (KE_ApplicationManager::SetSubsystemBridge). Main thread only.
//
// Members whose classes do not exist yet (material manager, shader cache, renderer) are not made:
// Create answers null and the engine runs without them.

#include "framework/app/KE_SubsystemBridge.h"

class KV27_SubsystemBridge : public KE_SubsystemBridge
{
public:
    KR_GraphicsContextManager* CreateGraphicsContextManager(KU_ApplicationFactory* pFactory) override;
    KR_SceneManager* CreateSceneManager() override;
    KR_MaterialManager* CreateMaterialManager() override;
    KR_ShaderCache* CreateShaderCache() override;
    KG_ManagedFacade* CreateManagedFacade() override;
    KA_AudioContextManager* CreateAudioContextManager(KU_ApplicationFactory* pFactory) override;
    KU_InterpolationManager* CreateInterpolationManager() override;
    KR_Renderer* CreateRenderer() override;

    void DeleteParticleEngine(KR_ParticleEngine* p) override;
    void DeletePostFXEngine(KR_PostFXEngine* p) override;
    void DeleteMetaBallRenderer(KR_MetaBallRenderer* p) override;
    void DeleteOITRenderer(KR_OITRenderer* p) override;
    void DeleteSceneManager(KR_SceneManager* p) override;
    void DeleteRenderer(KR_Renderer* p) override;
    void DeleteGraphicsResourceManager(KR_GraphicsResourceManager* p) override;
    void DeleteGraphicsContextManager(KR_GraphicsContextManager* p) override;
    void DeleteGraphicsDevice(KR_GraphicsDevice* p) override;
    void DeleteAudioContextManager(KA_AudioContextManager* p) override;
    void DeleteManagedFacade(KG_ManagedFacade* p) override;
    void DeleteMaterialManager(KR_MaterialManager* p) override;
    void DeleteShaderCache(KR_ShaderCache* p) override;
    void DeleteShaderCoreManager(KR_ShaderCoreManager* p) override;
    void DeleteInterpolationManager(KU_InterpolationManager* p) override;

    bool CreateAudioContext(KA_AudioContextManager* pManager) override;
    bool InitializeAudioContext(KA_AudioContextManager* pManager) override;
    void UpdateAudioContext(KA_AudioContextManager* pManager) override;
    void SelectAudioDevice(KA_AudioContextManager* pManager, std::uint32_t uiDevice) override;
    void SetAudioEntityPath(KA_AudioContextManager* pManager, const KB_String& sDirectory) override;

    bool ShowConfigurationDialog(KG_ManagedFacade* pFacade, const KB_GrowingArray<KB_String>& gBannerPaths,
                                 const KB_GrowingArray<int>& gBannerTimes) override;
    bool GetSelectedAudioDevice(KG_ManagedFacade* pFacade, std::uint32_t* pDevice) override;
    bool CloseInterpolationEditorDialogs(KG_ManagedFacade* pFacade, bool bForce) override;
    bool GetSelectedScreenResolution(KG_ManagedFacade* pFacade, KR_ScreenResolution* pResolution,
                                     int* piContext, int* piAdapter, int* piOutput) override;
    void ShowMessageBox(KG_ManagedFacade* pFacade, const KB_String& sText,
                        const KB_String& sCaption) override;

    bool PollSelectedScreenResolution(KR_GraphicsContextManager* pManager) override;
    bool CreateGraphicsDevice(KR_GraphicsContextManager* pManager, HWND hWindow) override;
    bool SetScreenResolution(KR_GraphicsContextManager* pManager, std::uint16_t uiWidth,
                             std::uint16_t uiHeight) override;
    void PushRasterizerState(KR_GraphicsDevice* pDevice) override;
    void PopRasterizerState(KR_GraphicsDevice* pDevice) override;

    void StartSceneManager(KR_SceneManager* pSceneManager) override;
    void UpdateAndRenderScenes(KR_SceneManager* pSceneManager) override;
    void ResizeScenes(KR_SceneManager* pSceneManager) override;
    void ShutdownSceneManager(KR_SceneManager* pSceneManager) override;
    bool IsCursorVisible(KR_SceneManager* pSceneManager) override;
};
