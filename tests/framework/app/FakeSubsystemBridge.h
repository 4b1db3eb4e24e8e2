#pragma once
// A subsystem bridge for the application tests. The objects it "creates" are distinct tokens
// that only this bridge ever looks at; every call is appended to one log ("create scene manager",
// "delete facade", "frame", ...) so tests can check orders. Results are scripted through the
// public fields; hooks let a test act in the middle of a frame or of the runtime start.
//
// Installs itself as the singleton's bridge on construction and removes itself on destruction.

#include "framework/app/KE_SubsystemBridge.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class FakeSubsystemBridge : public KE_SubsystemBridge
{
public:
    FakeSubsystemBridge();
    ~FakeSubsystemBridge() override;

    // Scripted answers.
    bool m_bMakeObjects = true; // the Create calls return tokens (else null)
    bool m_bAudioCreated = true;
    bool m_bAudioInitialized = true;
    bool m_bDialogConfirmed = true;
    bool m_bResolutionSelected = true;
    bool m_bDeviceCreated = true; // and the device members are set on the singleton
    bool m_bAudioDeviceSelected = true;
    std::uint32_t m_uiAudioDevice = 0;
    std::vector<bool> m_gCloseAnswers; // answers of CloseInterpolationEditorDialogs, then true
    bool m_bCursorVisible = false;
    std::uint16_t m_uiWidth = 0; // the graphics context manager's stored client size
    std::uint16_t m_uiHeight = 0;

    // Called inside UpdateAndRenderScenes with the frame number (1, 2, ...).
    std::function<void(int)> m_OnFrame;
    // Called inside StartSceneManager.
    std::function<void()> m_OnStartScenes;

    // Read back.
    std::vector<std::string> m_gLog;
    std::vector<bool> m_gForceArguments; // of CloseInterpolationEditorDialogs
    std::vector<std::uint32_t> m_gSelectedAudioDevices;
    std::vector<std::string> m_gBannerPaths;
    std::vector<int> m_gBannerTimes;
    HWND m_hDeviceWindow = nullptr;
    int m_iFrames = 0;

    int Count(const std::string& entry) const;
    // Index of the first log entry equal to entry; -1 when absent.
    int IndexOf(const std::string& entry) const;

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

private:
    // One token per member kind, in the singleton's field order.
    enum Token
    {
        TOKEN_GRAPHICS_CONTEXT_MANAGER,
        TOKEN_GRAPHICS_DEVICE,
        TOKEN_GRAPHICS_RESOURCE_MANAGER,
        TOKEN_RENDERER,
        TOKEN_PARTICLE_ENGINE,
        TOKEN_POSTFX_ENGINE,
        TOKEN_OIT_RENDERER,
        TOKEN_METABALL_RENDERER,
        TOKEN_SCENE_MANAGER,
        TOKEN_MATERIAL_MANAGER,
        TOKEN_SHADER_CACHE,
        TOKEN_SHADER_CORE_MANAGER,
        TOKEN_MANAGED_FACADE,
        TOKEN_AUDIO_CONTEXT_MANAGER,
        TOKEN_INTERPOLATION_MANAGER,
        TOKEN_COUNT
    };

    template <typename T>
    T* Make(Token token, const char* pName);
    template <typename T>
    void Delete(T* p, Token token, const char* pName);
    template <typename T>
    bool Is(const T* p, Token token) const;

    alignas(16) char m_Tokens[TOKEN_COUNT] = {};
};
