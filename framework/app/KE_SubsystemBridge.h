#pragma once
// The engine singleton's door to the subsystems built above the framework (timing, audio,
// rendering, tools). The framework knows their classes only by name, so it cannot create, delete
// or call them itself: it asks this bridge, which the program entry implements where every
// concrete class is visible and installs with KE_ApplicationManager::SetSubsystemBridge before
// KE_Application::Initialize. Tests install a fake that records the calls.
//
// Only what the application and the singleton do with those objects is here, plus the two facade
// services the graphics context layer needs (it sits below the facade). Every operation
// is called on the main thread with a non-null object; the framework checks for null first.
// The Delete operations run the object's own destructor. Creation returns null when the object
// cannot be made.
//
// Does NOT own anything: the engine singleton owns what Create returns.

#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"
#include "platform/win32/WinTypes.h"

#include <cstdint>

class KU_ApplicationFactory;
class KU_InterpolationManager;
class KA_AudioContextManager;
class KR_GraphicsContextManager;
class KR_GraphicsDevice;
class KR_GraphicsResourceManager;
class KR_Renderer;
class KR_ParticleEngine;
class KR_PostFXEngine;
class KR_OITRenderer;
class KR_MetaBallRenderer;
class KR_SceneManager;
class KR_MaterialManager;
class KR_ShaderCache;
class KR_ShaderCoreManager;
class KG_ManagedFacade;
struct KR_ScreenResolution;

class KE_SubsystemBridge
{
public:
    KE_SubsystemBridge() = default;
    virtual ~KE_SubsystemBridge() = default;

    KE_SubsystemBridge(const KE_SubsystemBridge&) = delete;
    KE_SubsystemBridge& operator=(const KE_SubsystemBridge&) = delete;

    // Creation. The graphics context manager collects one context from each of the factory's
    // graphics context factories; the audio context manager keeps the factory (not owned) for
    // CreateAudioContext.
    virtual KR_GraphicsContextManager* CreateGraphicsContextManager(KU_ApplicationFactory* pFactory) = 0;
    virtual KR_SceneManager* CreateSceneManager() = 0;
    virtual KR_MaterialManager* CreateMaterialManager() = 0;
    virtual KR_ShaderCache* CreateShaderCache() = 0;
    virtual KG_ManagedFacade* CreateManagedFacade() = 0;
    virtual KA_AudioContextManager* CreateAudioContextManager(KU_ApplicationFactory* pFactory) = 0;
    virtual KU_InterpolationManager* CreateInterpolationManager() = 0;
    virtual KR_Renderer* CreateRenderer() = 0;

    // Deletion, one per member kind.
    virtual void DeleteParticleEngine(KR_ParticleEngine* p) = 0;
    virtual void DeletePostFXEngine(KR_PostFXEngine* p) = 0;
    virtual void DeleteMetaBallRenderer(KR_MetaBallRenderer* p) = 0;
    virtual void DeleteOITRenderer(KR_OITRenderer* p) = 0;
    virtual void DeleteSceneManager(KR_SceneManager* p) = 0;
    virtual void DeleteRenderer(KR_Renderer* p) = 0;
    virtual void DeleteGraphicsResourceManager(KR_GraphicsResourceManager* p) = 0;
    virtual void DeleteGraphicsContextManager(KR_GraphicsContextManager* p) = 0;
    virtual void DeleteGraphicsDevice(KR_GraphicsDevice* p) = 0;
    virtual void DeleteAudioContextManager(KA_AudioContextManager* p) = 0;
    virtual void DeleteManagedFacade(KG_ManagedFacade* p) = 0;
    virtual void DeleteMaterialManager(KR_MaterialManager* p) = 0;
    virtual void DeleteShaderCache(KR_ShaderCache* p) = 0;
    virtual void DeleteShaderCoreManager(KR_ShaderCoreManager* p) = 0;
    virtual void DeleteInterpolationManager(KU_InterpolationManager* p) = 0;

    // Audio context, owned by the audio context manager. CreateAudioContext: true when the
    // factory's audio context factory made one. InitializeAudioContext: its Initialize result.
    virtual bool CreateAudioContext(KA_AudioContextManager* pManager) = 0;
    virtual bool InitializeAudioContext(KA_AudioContextManager* pManager) = 0;
    virtual void UpdateAudioContext(KA_AudioContextManager* pManager) = 0; // once per frame
    virtual void SelectAudioDevice(KA_AudioContextManager* pManager, std::uint32_t uiDevice) = 0;
    // Hands the audio entity directory to the audio resource manager (which then listens for keys).
    virtual void SetAudioEntityPath(KA_AudioContextManager* pManager, const KB_String& sDirectory) = 0;

    // Managed facade. ShowConfigurationDialog: true when the user confirmed a valid choice.
    // GetSelectedAudioDevice: false (value untouched) without a confirmed choice.
    // CloseInterpolationEditorDialogs: false when a dialog or the user refused to quit.
    virtual bool ShowConfigurationDialog(KG_ManagedFacade* pFacade,
                                         const KB_GrowingArray<KB_String>& gBannerPaths,
                                         const KB_GrowingArray<int>& gBannerTimes) = 0;
    virtual bool GetSelectedAudioDevice(KG_ManagedFacade* pFacade, std::uint32_t* pDevice) = 0;
    virtual bool CloseInterpolationEditorDialogs(KG_ManagedFacade* pFacade, bool bForce) = 0;
    // For the graphics context manager: the dialog's display choice (false, outputs untouched,
    // without one or with a null output) ...
    virtual bool GetSelectedScreenResolution(KG_ManagedFacade* pFacade, KR_ScreenResolution* pResolution,
                                             int* piContext, int* piAdapter, int* piOutput) = 0;
    // ... and for the graphics context: a modal box with an OK button.
    virtual void ShowMessageBox(KG_ManagedFacade* pFacade, const KB_String& sText,
                                const KB_String& sCaption) = 0;

    // Graphics. PollSelectedScreenResolution takes the dialog's choice (false: none);
    // CreateGraphicsDevice makes the device on the window and fills the singleton's device
    // members through its setters (false: no device); SetScreenResolution answers whether the
    // stored client size changed.
    virtual bool PollSelectedScreenResolution(KR_GraphicsContextManager* pManager) = 0;
    virtual bool CreateGraphicsDevice(KR_GraphicsContextManager* pManager, HWND hWindow) = 0;
    virtual bool SetScreenResolution(KR_GraphicsContextManager* pManager, std::uint16_t uiWidth,
                                     std::uint16_t uiHeight) = 0;
    virtual void PushRasterizerState(KR_GraphicsDevice* pDevice) = 0;
    virtual void PopRasterizerState(KR_GraphicsDevice* pDevice) = 0;

    // Scene manager: Start once the device exists, one UpdateAndRender per frame (presents),
    // OnResize after an accepted size change, Shutdown once after the main loop.
    virtual void StartSceneManager(KR_SceneManager* pSceneManager) = 0;
    virtual void UpdateAndRenderScenes(KR_SceneManager* pSceneManager) = 0;
    virtual void ResizeScenes(KR_SceneManager* pSceneManager) = 0;
    virtual void ShutdownSceneManager(KR_SceneManager* pSceneManager) = 0;
    // True when the arrow cursor may show: the cursor is allowed and the camera mode is 2 or 3.
    virtual bool IsCursorVisible(KR_SceneManager* pSceneManager) = 0;
};
