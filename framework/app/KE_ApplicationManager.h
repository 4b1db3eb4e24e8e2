#pragma once
// The engine singleton: owns every engine-wide object and hands each out through one getter.
// It exists from KE_Application::Initialize to KE_Application::Shutdown; everything else reaches
// the engine through GetInstance. Members are written on the main thread before the load job
// starts; worker jobs only read them.
//
// Single owner: in a real run (MemberOwnership::Owned) the manager deletes every member it holds,
// and a setter that replaces a member deletes the old one first (nothing happens when the same
// pointer is set again). A test fixture that installs its own objects or fakes makes the manager
// with MemberOwnership::Lent: then the manager deletes none of its members (only the factory,
// which it always owns), and setters simply replace them.
//
// The members whose classes live above the framework are created, deleted and driven through
// the installed subsystem bridges, one per subsystem: scenes (KE_SceneBridge), graphics
// (KE_GraphicsBridge), audio (KE_AudioBridge), the tools' facade (KE_ToolsBridge) and curves
// (KE_CurveBridge). Without a bridge its members are never made (and an owned one cannot be
// deleted), and the steps that need them are skipped or fail.

#include "framework/core/KB_String.h"

class KE_SceneBridge;
class KE_GraphicsBridge;
class KE_AudioBridge;
class KE_ToolsBridge;
class KE_CurveBridge;
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
    // Who deletes the members set through the setters (see above).
    enum class MemberOwnership
    {
        Owned, // a real run
        Lent,  // a test fixture keeps its own objects
    };

    // All members null, both names empty, developer mode off. pFactory is owned from now on.
    // Becomes the one instance (GetInstance) until it is deleted.
    explicit KE_ApplicationManager(KU_ApplicationFactory* pFactory,
                                   MemberOwnership ownership = MemberOwnership::Owned);
    // Owned members: deletes each member that exists, in the order particle engine,
    // post-processing engine, metaball renderer, OIT renderer, scene manager, renderer, resource manager,
    // graphics context manager, graphics device, file manager, audio context manager, managed facade,
    // material manager, shader cache, shader core manager, dispatcher, input manager, application factory,
    // interpolation manager, and nulls it. Lent members are only forgotten; the factory is
    // deleted at its place in that order either way. The worker pool must be stopped before.
    ~KE_ApplicationManager();

    KE_ApplicationManager(const KE_ApplicationManager&) = delete;
    KE_ApplicationManager& operator=(const KE_ApplicationManager&) = delete;

    // Null before KE_Application::Initialize and after KE_Application::Shutdown.
    static KE_ApplicationManager* GetInstance() { return s_pInstance; }

    // The bridges to the subsystems above the framework; not owned, installed by the program entry
    // before KE_Application::Initialize and kept until after KE_Application::Shutdown. Null: none.
    static void SetSceneBridge(KE_SceneBridge* pBridge) { s_pSceneBridge = pBridge; }
    static void SetGraphicsBridge(KE_GraphicsBridge* pBridge) { s_pGraphicsBridge = pBridge; }
    static void SetAudioBridge(KE_AudioBridge* pBridge) { s_pAudioBridge = pBridge; }
    static void SetToolsBridge(KE_ToolsBridge* pBridge) { s_pToolsBridge = pBridge; }
    static void SetCurveBridge(KE_CurveBridge* pBridge) { s_pCurveBridge = pBridge; }
    static KE_SceneBridge* GetSceneBridge() { return s_pSceneBridge; }
    static KE_GraphicsBridge* GetGraphicsBridge() { return s_pGraphicsBridge; }
    static KE_AudioBridge* GetAudioBridge() { return s_pAudioBridge; }
    static KE_ToolsBridge* GetToolsBridge() { return s_pToolsBridge; }
    static KE_CurveBridge* GetCurveBridge() { return s_pCurveBridge; }

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
    // facade or tools bridge.
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

    // The application factory given to the constructor (owned); null without one.
    KU_ApplicationFactory* GetApplicationFactory() const { return m_pApplicationFactory; }
    KB_String GetApplicationName() const { return m_sApplicationName; }
    KB_String GetApplicationShortName() const { return m_sApplicationShortName; }
    bool IsDeveloperBuild() const { return m_bDeveloperBuild; }
    // True when the graphics context manager, the graphics device and the resource manager exist.
    bool IsGraphicsInitialized() const;
    // The factory's material library path; empty without a factory.
    KB_String GetMaterialFilePath() const;

    // Set by the program entry after KE_Application::Initialize: the window title and the short
    // name.
    void SetApplicationName(const KB_String& sName) { m_sApplicationName = sName; }
    void SetApplicationShortName(const KB_String& sName) { m_sApplicationShortName = sName; }
    void SetDeveloperBuild(bool bDeveloperBuild) { m_bDeveloperBuild = bDeveloperBuild; }

    // Member setters: the start-up and the graphics context (when the device is made on the
    // window) fill the members through them, and test fixtures install their objects. An owned
    // member that is replaced is deleted first, through its bridge for the kinds above the
    // framework. Replacing the graphics device while the members made on it still exist leaves
    // them with a deleted device: replace or clear those first.
    void SetGraphicsContextManager(KR_GraphicsContextManager* p);
    void SetGraphicsDevice(KR_GraphicsDevice* p);
    void SetGraphicsResourceManager(KR_GraphicsResourceManager* p);
    void SetInputManager(KI_InputManager* p);
    void SetRenderer(KR_Renderer* p);
    void SetParticleEngine(KR_ParticleEngine* p);
    void SetPostFXEngine(KR_PostFXEngine* p);
    void SetOITRenderer(KR_OITRenderer* p);
    void SetMetaBallRenderer(KR_MetaBallRenderer* p);
    void SetSceneManager(KR_SceneManager* p);
    void SetMaterialManager(KR_MaterialManager* p);
    void SetShaderCache(KR_ShaderCache* p);
    void SetShaderCoreManager(KR_ShaderCoreManager* p);
    void SetDispatcher(KE_Dispatcher* p);
    void SetManagedFacade(KG_ManagedFacade* p);
    void SetAudioContextManager(KA_AudioContextManager* p);
    void SetFileManager(KF_FileManager* p);
    void SetInterpolationManager(KU_InterpolationManager* p);

    // Texts of the two start-up failure boxes.
    static constexpr const char* AUDIO_CONTEXT_NOT_CREATED =
        "Could not create AudioContext. Application will exit.";
    static constexpr const char* AUDIO_CONTEXT_NOT_INITIALIZED =
        "Could not initialize AudioContext. Application will exit.";
    static constexpr const char* INITIALIZATION_FAILURE_CAPTION = "Initialization Failure";

private:
    // Puts p in place of the member; an owned member that is replaced goes to Delete first.
    template <typename T, typename Delete>
    void Replace(T*& pMember, T* p, Delete deleteOld);

    // The one instance: the constructor sets it, the destructor clears it.
    static inline KE_ApplicationManager* s_pInstance = nullptr;
    static inline KE_SceneBridge* s_pSceneBridge = nullptr;       // not owned
    static inline KE_GraphicsBridge* s_pGraphicsBridge = nullptr; // not owned
    static inline KE_AudioBridge* s_pAudioBridge = nullptr;       // not owned
    static inline KE_ToolsBridge* s_pToolsBridge = nullptr;       // not owned
    static inline KE_CurveBridge* s_pCurveBridge = nullptr;       // not owned

    const MemberOwnership m_eOwnership;
    KU_ApplicationFactory* m_pApplicationFactory = nullptr; // owned
    KB_String m_sApplicationName;                           // the window title
    KB_String m_sApplicationShortName;

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
