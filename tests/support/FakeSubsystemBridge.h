#pragma once
// A subsystem bridge for tests of the application and of whatever reaches the engine through the
// bridge. The objects it "creates" are distinct tokens that only this bridge ever looks at; every
// call is appended to one log ("create scene manager", "delete facade", "frame", ...) so tests can
// check orders, and each call checks that it was handed the member of the right kind. Results are scripted
// through the public fields; hooks let a test act in the middle of a frame or of the runtime start.
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

    std::function<void(int)> m_OnFrame;    // inside UpdateAndRenderScenes, with the frame number 1, 2, ...
    std::function<void()> m_OnStartScenes; // inside StartSceneManager

    // Read back.
    std::vector<std::string> m_gLog;
    std::vector<bool> m_gForceArguments; // of CloseInterpolationEditorDialogs
    std::vector<std::uint32_t> m_gSelectedAudioDevices;
    std::vector<std::string> m_gBannerPaths;
    std::vector<int> m_gBannerTimes;
    HWND m_hDeviceWindow = nullptr;
    int m_iFrames = 0;

    int Count(const std::string& entry) const;
    int IndexOf(const std::string& entry) const; // first log entry equal to entry; -1 when absent

    KR_GraphicsContextManager* CreateGraphicsContextManager(KU_ApplicationFactory*) override
    {
        return Make<KR_GraphicsContextManager>(GRAPHICS_CONTEXT_MANAGER);
    }
    KR_SceneManager* CreateSceneManager() override { return Make<KR_SceneManager>(SCENE_MANAGER); }
    KR_MaterialManager* CreateMaterialManager() override
    {
        return Make<KR_MaterialManager>(MATERIAL_MANAGER);
    }
    KR_ShaderCache* CreateShaderCache() override { return Make<KR_ShaderCache>(SHADER_CACHE); }
    KG_ManagedFacade* CreateManagedFacade() override { return Make<KG_ManagedFacade>(FACADE); }
    KA_AudioContextManager* CreateAudioContextManager(KU_ApplicationFactory*) override
    {
        return Make<KA_AudioContextManager>(AUDIO_CONTEXT_MANAGER);
    }
    KU_InterpolationManager* CreateInterpolationManager() override
    {
        return Make<KU_InterpolationManager>(INTERPOLATION_MANAGER);
    }
    KR_Renderer* CreateRenderer() override { return Make<KR_Renderer>(RENDERER); }

    void DeleteParticleEngine(KR_ParticleEngine* p) override { Record("delete", p, PARTICLE_ENGINE); }
    void DeletePostFXEngine(KR_PostFXEngine* p) override { Record("delete", p, POSTFX_ENGINE); }
    void DeleteMetaBallRenderer(KR_MetaBallRenderer* p) override { Record("delete", p, METABALL_RENDERER); }
    void DeleteOITRenderer(KR_OITRenderer* p) override { Record("delete", p, OIT_RENDERER); }
    void DeleteSceneManager(KR_SceneManager* p) override { Record("delete", p, SCENE_MANAGER); }
    void DeleteRenderer(KR_Renderer* p) override { Record("delete", p, RENDERER); }
    void DeleteGraphicsResourceManager(KR_GraphicsResourceManager* p) override
    {
        Record("delete", p, RESOURCE_MANAGER);
    }
    void DeleteGraphicsContextManager(KR_GraphicsContextManager* p) override
    {
        Record("delete", p, GRAPHICS_CONTEXT_MANAGER);
    }
    void DeleteGraphicsDevice(KR_GraphicsDevice* p) override { Record("delete", p, GRAPHICS_DEVICE); }
    void DeleteAudioContextManager(KA_AudioContextManager* p) override
    {
        Record("delete", p, AUDIO_CONTEXT_MANAGER);
    }
    void DeleteManagedFacade(KG_ManagedFacade* p) override { Record("delete", p, FACADE); }
    void DeleteMaterialManager(KR_MaterialManager* p) override { Record("delete", p, MATERIAL_MANAGER); }
    void DeleteShaderCache(KR_ShaderCache* p) override { Record("delete", p, SHADER_CACHE); }
    void DeleteShaderCoreManager(KR_ShaderCoreManager* p) override
    {
        Record("delete", p, SHADER_CORE_MANAGER);
    }
    void DeleteInterpolationManager(KU_InterpolationManager* p) override
    {
        Record("delete", p, INTERPOLATION_MANAGER);
    }

    bool CreateAudioContext(KA_AudioContextManager* p) override
    {
        return Record("create audio context", p, AUDIO_CONTEXT_MANAGER, m_bAudioCreated);
    }
    bool InitializeAudioContext(KA_AudioContextManager* p) override
    {
        return Record("initialize audio context", p, AUDIO_CONTEXT_MANAGER, m_bAudioInitialized);
    }
    void UpdateAudioContext(KA_AudioContextManager* p) override
    {
        Record("update audio", p, AUDIO_CONTEXT_MANAGER);
    }
    void SelectAudioDevice(KA_AudioContextManager* p, std::uint32_t uiDevice) override;
    void SetAudioEntityPath(KA_AudioContextManager* p, const KB_String& sDirectory) override;

    bool ShowConfigurationDialog(KG_ManagedFacade* p, const KB_GrowingArray<KB_String>& gBannerPaths,
                                 const KB_GrowingArray<int>& gBannerTimes) override;
    bool GetSelectedAudioDevice(KG_ManagedFacade* p, std::uint32_t* pDevice) override;
    bool CloseInterpolationEditorDialogs(KG_ManagedFacade* p, bool bForce) override;
    // The application never asks these two; only the graphics layer does.
    bool GetSelectedScreenResolution(KG_ManagedFacade* p, KR_ScreenResolution*, int*, int*, int*) override
    {
        return Record("get screen resolution", p, FACADE, false);
    }
    void ShowMessageBox(KG_ManagedFacade* p, const KB_String&, const KB_String&) override
    {
        Record("message box", p, FACADE);
    }

    bool PollSelectedScreenResolution(KR_GraphicsContextManager* p) override
    {
        return Record("poll resolution", p, GRAPHICS_CONTEXT_MANAGER, m_bResolutionSelected);
    }
    bool CreateGraphicsDevice(KR_GraphicsContextManager* p, HWND hWindow) override;
    bool SetScreenResolution(KR_GraphicsContextManager* p, std::uint16_t uiWidth,
                             std::uint16_t uiHeight) override;
    void PushRasterizerState(KR_GraphicsDevice* p) override { Record("push", p, GRAPHICS_DEVICE); }
    void PopRasterizerState(KR_GraphicsDevice* p) override { Record("pop", p, GRAPHICS_DEVICE); }

    void StartSceneManager(KR_SceneManager* p) override;
    void UpdateAndRenderScenes(KR_SceneManager* p) override;
    void ResizeScenes(KR_SceneManager* p) override { Record("resize scenes", p, SCENE_MANAGER); }
    void ShutdownSceneManager(KR_SceneManager* p) override { Record("shutdown scenes", p, SCENE_MANAGER); }
    bool IsCursorVisible(KR_SceneManager* p) override
    {
        return Record("cursor", p, SCENE_MANAGER, m_bCursorVisible);
    }

private:
    // One token per member kind, in the singleton's field order.
    enum Token
    {
        GRAPHICS_CONTEXT_MANAGER,
        GRAPHICS_DEVICE,
        RESOURCE_MANAGER,
        RENDERER,
        PARTICLE_ENGINE,
        POSTFX_ENGINE,
        OIT_RENDERER,
        METABALL_RENDERER,
        SCENE_MANAGER,
        MATERIAL_MANAGER,
        SHADER_CACHE,
        SHADER_CORE_MANAGER,
        FACADE,
        AUDIO_CONTEXT_MANAGER,
        INTERPOLATION_MANAGER,
        TOKEN_COUNT
    };
    static const char* const TOKEN_NAMES[TOKEN_COUNT];

    template <typename T>
    T* Make(Token token)
    {
        m_gLog.push_back(std::string("create ") + TOKEN_NAMES[token]);
        return reinterpret_cast<T*>(m_Tokens[token]);
    }
    template <typename T>
    T* TokenOf(Token token)
    {
        return reinterpret_cast<T*>(m_Tokens[token]);
    }
    // Logs the call ("delete" gets the kind's name appended), checks that p is the token of that
    // kind, and returns bResult.
    bool Record(const char* pCall, const void* p, Token token, bool bResult = true);

    alignas(16) char m_Tokens[TOKEN_COUNT][16] = {}; // one aligned slot per kind, never read
};
