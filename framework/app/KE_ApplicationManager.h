#pragma once
// The engine singleton: owns every engine-wide object and hands each out through one getter.
// It exists from KE_Application::Initialize to KE_Application::Shutdown; everything else reaches
// the engine through GetInstance. Members are written on the main thread before the load job
// starts; worker jobs only read them.
//
// Every pointer member is owned. The setters store a pointer without deleting the previous one;
// the graphics context fills its members through them, and tests use them to install fakes
// (a test that installs its own objects sets the members back to null before deleting the
// manager).
//
// The members whose classes live above the framework (graphics, scenes, materials, shaders,
// facade, audio, curves) are created, deleted and driven through the installed
// KE_SubsystemBridge. Without a bridge they are never made, and the steps that need them are
// skipped or fail.

#include "framework/core/KB_String.h"

class KE_SubsystemBridge;
class KU_ApplicationFactory;
class KR_GraphicsContextManager;
class KR_GraphicsDevice;
class KR_GraphicsResourceManager;
class KI_InputManager;
class KR_Renderer;
class KR_ParticleEngine;
class KR_PostFXEngine;
class KR_OITRenderer;
class KR_MetaBallRenderer;
class KR_SceneManager;
class KR_MaterialManager;
class KR_ShaderCache;
class KR_ShaderCoreManager;
class KE_Dispatcher;
class KG_ManagedFacade;
class KA_AudioContextManager;
class KF_FileManager;
class KU_InterpolationManager;

class KE_ApplicationManager
{
public:
    // All members null, both names empty, developer mode off. pFactory is owned from now on.
    explicit KE_ApplicationManager(KU_ApplicationFactory* pFactory);
    // Deletes each member that exists, in the order particle engine, post-processing engine,
    // metaball renderer, OIT renderer, scene manager, renderer, resource manager, graphics context
    // manager, graphics device, file manager, audio context manager, managed facade, material
    // manager, shader cache, shader core manager, dispatcher, input manager, application factory,
    // interpolation manager, and nulls it. The worker pool must be stopped before.
    ~KE_ApplicationManager();

    KE_ApplicationManager(const KE_ApplicationManager&) = delete;
    KE_ApplicationManager& operator=(const KE_ApplicationManager&) = delete;

    // Null before KE_Application::Initialize and after KE_Application::Shutdown.
    static KE_ApplicationManager* GetInstance() { return s_pInstance; }

    // The bridge to the subsystems above the framework; not owned, installed by the program entry
    // before KE_Application::Initialize and kept until after KE_Application::Shutdown. Null: none.
    static void SetSubsystemBridge(KE_SubsystemBridge* pBridge) { s_pSubsystemBridge = pBridge; }
    static KE_SubsystemBridge* GetSubsystemBridge() { return s_pSubsystemBridge; }

    // Creates, in order, the graphics context manager (only with a factory), input manager,
    // dispatcher, scene manager, material manager, shader cache, managed facade, audio context
    // manager with the audio context, file manager and interpolation manager. When the audio
    // context cannot be made or initialised, shows the matching "Initialization Failure" box,
    // dispatches the forced quit and returns false; everything else is still created.
    bool Initialize();
    // After the device exists: creates the renderer, selects the audio device chosen in the
    // configuration dialog, hands the audio entity directory to the audio resource manager and
    // starts the scene manager.
    void StartRuntime();
    // Asks the factory for the banner times, then the banner paths, and shows the configuration
    // dialog with them; true when the user confirmed a valid choice. False without a factory,
    // facade or bridge.
    bool ShowConfigurationDialog();

    KR_GraphicsContextManager* GetGraphicsContextManager() const { return m_pGraphicsContextManager; }
    KR_GraphicsDevice* GetGraphicsDevice() const { return m_pGraphicsDevice; }
    KR_GraphicsResourceManager* GetGraphicsResourceManager() const { return m_pGraphicsResourceManager; }
    KI_InputManager* GetInputManager() const { return m_pInputManager; }
    KR_Renderer* GetRenderer() const { return m_pRenderer; }
    KR_ParticleEngine* GetParticleEngine() const { return m_pParticleEngine; }
    KR_PostFXEngine* GetPostFXEngine() const { return m_pPostFXEngine; }
    KR_OITRenderer* GetOITRenderer() const { return m_pOITRenderer; }
    KR_MetaBallRenderer* GetMetaBallRenderer() const { return m_pMetaBallRenderer; }
    KR_SceneManager* GetSceneManager() const { return m_pSceneManager; }
    KR_MaterialManager* GetMaterialManager() const { return m_pMaterialManager; }
    KR_ShaderCache* GetShaderCache() const { return m_pShaderCache; }
    KR_ShaderCoreManager* GetShaderCoreManager() const { return m_pShaderCoreManager; }
    KE_Dispatcher* GetDispatcher() const { return m_pDispatcher; }
    KG_ManagedFacade* GetManagedFacade() const { return m_pManagedFacade; }
    KA_AudioContextManager* GetAudioContextManager() const { return m_pAudioContextManager; }
    KF_FileManager* GetFileManager() const { return m_pFileManager; }
    KU_InterpolationManager* GetInterpolationManger() const { return m_pInterpolationManager; }

    KB_String GetApplicationName() const { return m_sApplicationName; }
    KB_String GetApplicationShortName() const { return m_sApplicationShortName; }
    bool IsDeveloperBuild() const { return m_bDeveloperBuild; }
    // True when the graphics context manager, the graphics device and the resource manager exist.
    bool IsGraphicsInitialized() const;
    // The factory's material library path; empty without a factory.
    KB_String GetMaterialFilePath() const;

    // Filled by the graphics context when the device is made on the window.
    void SetGraphicsDevice(KR_GraphicsDevice* pDevice) { m_pGraphicsDevice = pDevice; }
    void SetGraphicsResourceManager(KR_GraphicsResourceManager* p) { m_pGraphicsResourceManager = p; }
    void SetParticleEngine(KR_ParticleEngine* p) { m_pParticleEngine = p; }
    void SetPostFXEngine(KR_PostFXEngine* p) { m_pPostFXEngine = p; }
    void SetOITRenderer(KR_OITRenderer* p) { m_pOITRenderer = p; }
    void SetMetaBallRenderer(KR_MetaBallRenderer* p) { m_pMetaBallRenderer = p; }
    void SetShaderCoreManager(KR_ShaderCoreManager* p) { m_pShaderCoreManager = p; }
    void SetDeveloperBuild(bool bDeveloperBuild) { m_bDeveloperBuild = bDeveloperBuild; }

    // Setters for the members the manager creates itself; the start-up uses them and tests
    // install fakes through them.
    void SetGraphicsContextManager(KR_GraphicsContextManager* p) { m_pGraphicsContextManager = p; }
    void SetInputManager(KI_InputManager* p) { m_pInputManager = p; }
    void SetRenderer(KR_Renderer* p) { m_pRenderer = p; }
    void SetSceneManager(KR_SceneManager* p) { m_pSceneManager = p; }
    void SetMaterialManager(KR_MaterialManager* p) { m_pMaterialManager = p; }
    void SetShaderCache(KR_ShaderCache* p) { m_pShaderCache = p; }
    void SetDispatcher(KE_Dispatcher* p) { m_pDispatcher = p; }
    void SetManagedFacade(KG_ManagedFacade* p) { m_pManagedFacade = p; }
    void SetAudioContextManager(KA_AudioContextManager* p) { m_pAudioContextManager = p; }
    void SetFileManager(KF_FileManager* p) { m_pFileManager = p; }
    void SetInterpolationManager(KU_InterpolationManager* p) { m_pInterpolationManager = p; }

    // The application factory, read directly by the scene manager; no getter by design.
    KU_ApplicationFactory* m_pApplicationFactory = nullptr; // owned
    // Written directly by the program entry.
    KB_String m_sApplicationName; // the window title
    KB_String m_sApplicationShortName;

    // The one instance; KE_Application::Initialize sets it, KE_Application::Shutdown clears it.
    static inline KE_ApplicationManager* s_pInstance = nullptr;

    // Texts of the two start-up failure boxes.
    static constexpr const char* AUDIO_CONTEXT_NOT_CREATED =
        "Could not create AudioContext. Application will exit.";
    static constexpr const char* AUDIO_CONTEXT_NOT_INITIALIZED =
        "Could not initialize AudioContext. Application will exit.";
    static constexpr const char* INITIALIZATION_FAILURE_CAPTION = "Initialization Failure";

private:
    static inline KE_SubsystemBridge* s_pSubsystemBridge = nullptr; // not owned

    KR_GraphicsContextManager* m_pGraphicsContextManager = nullptr;   // owned
    KR_GraphicsDevice* m_pGraphicsDevice = nullptr;                   // owned
    KR_GraphicsResourceManager* m_pGraphicsResourceManager = nullptr; // owned
    KI_InputManager* m_pInputManager = nullptr;                       // owned
    KR_Renderer* m_pRenderer = nullptr;                               // owned
    KR_ParticleEngine* m_pParticleEngine = nullptr;                   // owned
    KR_PostFXEngine* m_pPostFXEngine = nullptr;                       // owned
    KR_OITRenderer* m_pOITRenderer = nullptr;                         // owned
    KR_MetaBallRenderer* m_pMetaBallRenderer = nullptr;               // owned
    KR_SceneManager* m_pSceneManager = nullptr;                       // owned
    KR_MaterialManager* m_pMaterialManager = nullptr;                 // owned
    KR_ShaderCache* m_pShaderCache = nullptr;                         // owned
    KR_ShaderCoreManager* m_pShaderCoreManager = nullptr;             // owned
    KE_Dispatcher* m_pDispatcher = nullptr;                           // owned
    KG_ManagedFacade* m_pManagedFacade = nullptr;                     // owned
    KA_AudioContextManager* m_pAudioContextManager = nullptr;         // owned
    KF_FileManager* m_pFileManager = nullptr;                         // owned
    KU_InterpolationManager* m_pInterpolationManager = nullptr;       // owned
    bool m_bDeveloperBuild = false;
};
