#pragma once
// The spine of the running production: owns the timeline of scenes, the production clock and
// the camera mode, and runs one whole frame per idle turn of the main loop. Created by the engine
// singleton's initialisation; the program entry reads the scene configuration and adds the
// scenes; Start shows the loading screen and queues the load job; every frame after that is a
// loading frame until the job and every resource it asked for have loaded, then a playback frame
// until the end of the timeline (which pauses, switches to Rail and asks the application to quit
// once) or until the window closes; Shutdown tears the scenes and the renderers' resources down.
//
// Time: the synchronisation time is (offset + seek) x speed with speed 13/12, the offset counting
// clock seconds since playback started (the C runtime's wall clock) and the seek collecting every
// correction (seeking, stepping, paused intervals). Only Demo runs the clock; Rail, Edit and Roam
// hold it and give input to the controller camera.
//
// Threads: everything runs on the main thread except RunLoadJob, which runs on one worker of the
// pool while the main thread draws loading frames. The hand-over to playback and Shutdown wait
// for the job to be done before its future is deleted; a job that has not started by Shutdown
// does nothing, and a running one stops between its steps. Until loading has finished only the
// camera-mode keys, the toggles and the step keys act.

#include "framework/app/KE_MessageReceiver.h"
#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"
#include "platform/directxmath/DirectXMath.h"
#include "render/scene/KR_SceneConfig.h"

#include <atomic>
#include <cstdint>

class KE_ApplicationManager;
class KR_AnimatedCamera;
class KR_ControllerCamera;
class KR_DebugHUD;
class KR_OmniLight;
class KR_ParticleEngine;
class KR_PostFXEngine;
class KR_Scene;
class KR_SpotLight;
struct KR_Ray;
struct KR_ShaderProgram;
struct ID3D11InputLayout;
struct ID3D11Query;
struct ID3D11RasterizerState;
template <typename T>
class KT_Future;

// Camera modes: Demo runs the clock and the animated cameras; Rail, Edit and Roam hold the clock
// and give input to the controller camera.
enum KR_SceneCameraMode : std::uint32_t
{
    KR_SCM_Demo = 0,
    KR_SCM_Rail = 1,
    KR_SCM_Edit = 2,
    KR_SCM_Roam = 3,
};

class KR_SceneManager : public KE_MessageReceiver
{
public:
    // Timeline seconds per clock second, and its inverse (the audio time scale).
    static constexpr double PLAYBACK_SPEED = 13.0 / 12.0;
    static constexpr double INVERSE_PLAYBACK_SPEED = 12.0 / 13.0;
    static constexpr const char* SCENE_CONFIG_PATH = "Assets/sceneconfig.xml";
    // Seconds the clock moves per frame while a step key is held (before the speed).
    static constexpr double STEP_SECONDS = 0.01;
    // Loading screen: share of the remaining distance the shown progress moves per frame, and
    // the target once everything has loaded (beyond 1, so the shown value crosses 1).
    static constexpr float PROGRESS_SMOOTHING = 0.07f;
    static constexpr float PROGRESS_DONE_TARGET = 1.02f;
    static constexpr std::uint32_t LOADING_FRAME_SLEEP_MS = 10;
    // Enlarged screenshots are this wide, at the window's aspect ratio.
    static constexpr std::uint32_t ENLARGED_SCREENSHOT_WIDTH = 7680;
    static constexpr std::uint32_t MAX_SCREENSHOT_NUMBER = 100000;

    // Demo mode, not playing, registers nothing; reads the factory's synchronised-time choice.
    KR_SceneManager();
    // Shutdown when it has not run, then deletes every scene.
    ~KR_SceneManager() override;

    KR_SceneManager(const KR_SceneManager&) = delete;
    KR_SceneManager& operator=(const KR_SceneManager&) = delete;

    // ---- Timeline, clock and configuration

    // Reads "Assets/sceneconfig.xml" through the repositories into the configuration (appended);
    // nothing without the file or when it does not parse. Before the first AddScene.
    void LoadSceneConfig();
    // Appends the scene (owned from now on). With synchronised time it is timed after the scenes
    // before it by its configuration entry (a default one when the configuration has fewer), and
    // given the entry's (near, far) and (near, editor far) pairs; the timeline grows to hold it.
    void AddScene(KR_Scene* pScene);
    // The scenes in the order added.
    const KB_GrowingArray<KR_Scene*>& GetAllScenes() const { return m_gScenes; }
    const KB_GrowingArray<KR_SceneConfigEntry>& GetSceneConfig() const { return m_gSceneConfig; }

    // (offset + seek) x speed.
    double GetSynchonizationTime() const { return (m_fTimeOffset + m_fSeekPosition) * m_fSpeed; }
    // Seeks to fTime clamped to [first start, last end] (0 without scenes) and asks the clock to
    // resynchronise the music.
    void SetSynchronizationTime(double fTime);
    // The synchronisation time with synchronised time; else the clock seconds since playback.
    double GetElapsedTime() const;
    // First step of every playback frame: frame rate, offset, stepping, clamps, music resync and
    // the controller camera's Update.
    void UpdateClock();
    // The hand-over: the clock starts now and plays, the music resumes at the current time.
    void StartPlayback();
    // Holds the clock (and the music) ...
    void Pause();
    // ... and runs it on from the time it was held at.
    void Resume();
    // Leaving Demo holds the clock; entering Demo runs it again from the time reached and takes
    // the controller camera's input away; entering the other modes gives it input.
    virtual void SwitchCameraModeTo(KR_SceneCameraMode eMode);

    // The first scene, in index order, active at the synchronisation time; null in a gap.
    KR_Scene* GetCurrentScene() const;
    KR_Scene* FindCurrentScene() const { return GetCurrentScene(); }
    // The current scene's lists; an empty list without a current scene.
    KB_GrowingArray<KR_AnimatedCamera*>& GetAnimatedCamerasForCurrentScene();
    KB_GrowingArray<KR_OmniLight*>& GetOmniLightsForCurrentScene();
    KB_GrowingArray<KR_SpotLight*>& GetSpotLightsForCurrentScene();

    // The developer modes' free camera; null before Start and after Shutdown.
    KR_ControllerCamera* GetControllerCamera() const { return m_pControllerCamera; }
    // The application factory's choice (asked on every call): scene time from the
    // synchronisation clock. True without a factory, as the production's factory answers.
    bool UsesSynchronizedTime() const;
    // False exactly when synchronised time is on, the mode is Edit or Roam and the editor holds
    // the time (the default).
    bool IsTimelineRunning() const;
    // True without synchronised time, else in Edit and Roam.
    bool IsEditorCameraMode() const;

    // The rendering quality's cube-map size and scale: 0 -> 32, 0.125; 1 -> 48, 0.25;
    // 2 -> 64, 0.45; 3 -> 96, 0.7; 4 -> 128, 1.0; anything else (or no device) -> 32, 0.125.
    void GetQualityResolution(std::uint32_t* pSize, float* pScale) const;
    // 0 -> 0.1, 1 -> 0.25, 2 -> 0.55, 3 -> 0.8, anything else -> 1.0.
    float GetQualityScale() const;

    // The developer visualisation toggles 1 to 6 (keys Y, X, C, G, H, J), off at first; a number
    // outside 1 to 6 is never on.
    static constexpr std::uint32_t VISUALISATION_CAMERAS = 1;
    static constexpr std::uint32_t VISUALISATION_CURVES = 2;
    static constexpr std::uint32_t VISUALISATION_LIGHTS = 3;
    static constexpr std::uint32_t VISUALISATION_ORIENTATIONS = 4;
    static constexpr std::uint32_t VISUALISATION_AUDIO = 5;
    static constexpr std::uint32_t VISUALISATION_PLACERS = 6;
    bool IsVisualisationOn(std::uint32_t uiToggle) const
    {
        return uiToggle >= 1 && uiToggle <= 6 && m_abVisualisations[uiToggle - 1];
    }
    void SetVisualisationOn(std::uint32_t uiToggle, bool bOn)
    {
        if (uiToggle >= 1 && uiToggle <= 6)
            m_abVisualisations[uiToggle - 1] = bOn;
    }
    // The colour the frame is cleared to; the current scene sets it every frame.
    void SetClearColor(const DirectX::XMFLOAT4* pColor)
    {
        if (pColor != nullptr)
            m_vClearColor = *pColor;
    }
    const DirectX::XMFLOAT4& GetClearColor() const { return m_vClearColor; }
    bool IsEditorTimeHeld() const { return m_bEditorTimeHold; }
    void SetEditorTimeHold(bool bHold) { m_bEditorTimeHold = bHold; }
    // 0 none, 1 centre cross, 2 thirds grid.
    std::uint32_t GetCompositionGuide() const { return m_uiCompositionGuide; }
    bool IsSteppingForward() const { return m_bStepForward; }
    bool IsSteppingBack() const { return m_bStepBack; }

    // The arrow cursor may show: the cursor is allowed and the mode is Edit or Roam.
    bool IsCursorVisible() const;
    void SetCursorVisible(bool bVisible) { m_bCursorAllowed = bVisible; }
    KR_SceneCameraMode GetCameraMode() const { return m_eCameraMode; }
    // Stores the mode alone, without the switching steps (for tests and the editor's display).
    void SetCameraMode(KR_SceneCameraMode eMode) { m_eCameraMode = eMode; }
    bool IsPlaying() const { return m_bPlaying; }
    double GetSpeed() const { return m_fSpeed; }
    double GetInverseSpeed() const { return m_fInverseSpeed; }
    double GetTimeOffset() const { return m_fTimeOffset; }
    double GetSeekPosition() const { return m_fSeekPosition; }
    bool IsResynchronizationPending() const { return m_bResynchronize; }
    float GetFrameRate() const { return m_fFrameRate; }
    // First start and last end over the scenes; 0 without scenes.
    virtual double GetTimelineStart() const;
    virtual double GetTimelineEnd() const;
    // The largest scene end, from 0 (0 without scenes).
    double GetMaxSceneEnd() const;

    // ---- Loading

    // Once, after the graphics device exists: the loading screen, the developer shapes' buffers,
    // the controller camera, registration for message types 1, 2 and 3, the particle engine's
    // resources, and the load job on the worker pool.
    void Start();
    // The loader program, input layout and rasterizer state.
    void CreateLoaderShaders();
    // Draws and presents one loading-screen frame at the smoothed progress.
    void RenderLoader();
    // The load job's entry (a worker thread): RunLoadJob on pManager.
    static void LoadJobEntry(KR_SceneManager* pManager);
    // Material library, scenes' PreLoad, renderers' Initialize, material shaders, default
    // resources, shader core resources, scenes' Load, renderers' resources, the debug HUD, the
    // audio entities, the loading phase, the music's sounds.
    void RunLoadJob();
    // Loading has finished and playback took over.
    bool IsLoaded() const { return m_bLoaded; }
    // The load job has run to its end (or was never queued); false while it is queued or running.
    bool IsLoadJobDone() const;
    float GetShownProgress() const { return m_fShownProgress; }
    float GetTargetProgress() const { return m_fTargetProgress; }
    bool IsHandOverQueryIssued() const { return m_bHandOverQueryIssued; }
    // Null until the load job made it, and after Shutdown.
    KR_DebugHUD* GetDebugHUD() const { return m_pDebugHUD; }

    // ---- Frame, resize, screenshots, shutdown

    // A loading frame until loading has finished, then a playback frame.
    void UpdateAndRender();
    // After the graphics context accepted a new client size: the renderers' size-dependent
    // resources and every camera's aspect ratio.
    void OnResize();
    // Names the next free "../Source/Screenshot/<short name>_ScreenshotNNNNN.png" and has the next
    // frame save it; enlarged, that frame is rendered 7680 wide with the clock held. Does nothing
    // while a screenshot is pending.
    void TakeScreenshot(bool bEnlarged);
    bool IsScreenshotPending() const { return m_bScreenshotPending; }
    const KB_String& GetScreenshotPath() const { return m_sScreenshotPath; }
    // Once, after the main loop: waits for the load job, unloads and deletes the scenes, releases
    // the renderers' resources, unregisters, deletes the controller camera and the debug HUD.
    void Shutdown();

    // ---- Input

    // Keys (type 2) and controller buttons of controller 0 (type 1): camera modes, toggles, the
    // editor time hold, stepping, jumps between scenes and cameras, reload, save, cube maps,
    // screenshots, rail edits and editor commands. Until loading has finished only the camera
    // modes, the toggles, the time hold and the steps act. True for every key and button message
    // (acted on or not), false for every other type; a null payload is ignored.
    bool Receive(KE_MessageType type, KE_MessageSubType subType, void* pPayload) override;

    // Backspace: the scenes active now reload their entities, the audio entities are reloaded
    // with the music's sounds prepared again (a running clock seeks them to now on its next
    // frame), and the editor windows are told to refill.
    void OnBackspaceKey();
    // Enter: the scenes active now save their entities, then every audio entity is saved.
    void OnEnterKey();
    // Page Up / Page Down: to the start of the nearest scene that ended before now / starts after
    // now; every scene's PostLoad then runs. Only with synchronised time; nothing without one.
    void OnPageUpKey();
    void OnPageDownKey();
    // Up / Down: to the start of the animated camera (of any scene) that ended most recently /
    // starts next; PostLoad runs on every scene when that camera's scene is not the current one.
    void OnUpKey();
    void OnDownKey();
    // Edit mode only. B: the key nearest now of every active camera's rail (in the scenes active
    // now) moves to the free camera's position; V: that key moves onto the rail's own value now.
    // Cameras without a rail or without keys are skipped.
    void OnBKey();
    void OnVKey();
    // Edit mode only: the selected keys and objects of every scene and the selected audio entity
    // or audio rail key move to the free camera's position.
    void OnFKey();
    // F9: the scenes active now render all their cube maps again.
    void RerenderCubeMaps();

    // Editor picking in Edit mode, called by the controller camera with its picking ray: a click
    // selects the nearest editor object of the scenes and the audio entities (a tie goes to the
    // lower scene, a scene/audio tie to the scene, a miss selects nothing); a drag moves the
    // selection's gizmo or key (bDragging false ends the drag). Nothing before loading has ended.
    virtual void PickEditorObject(const KR_Ray& ray);
    virtual void PickEditorGizmo(const KR_Ray& ray, bool bDragging);

    // The editor's new camera: in the first scene active now, on straight rails from pCameraFrom
    // to pCameraTo looking from pTargetFrom to pTargetTo (three floats each), with the free
    // camera's field of view. False in Roam mode, without an active scene, before loading has
    // ended or when a point is null.
    bool CreateNewCameraInterpolation(double fStart, double fEnd, double fTimeSlicing,
                                      const float* pCameraFrom, const float* pCameraTo,
                                      const float* pTargetFrom, const float* pTargetTo);
    // The editor's new straight vertex curve from pFrom to pTo (three floats each) in the first
    // scene active now. Roam mode only; false otherwise, without an active scene, before loading
    // has ended or when a point is null.
    bool CreateNewVertexInterpolation(double fStart, double fEnd, double fTimeSlicing, const float* pFrom,
                                      const float* pTo);

private:
    // Pause's steps without the check (leaving Demo and the end of the timeline use them too).
    void HoldClock();
    // Resume's steps.
    void RunClock();
    // The loading frame; the hand-over at its end.
    void UpdateLoading();
    void RunPlaybackFrame();
    // The playback frame's stages. The scene active at fTime becomes current (the screenshot
    // effect enabled first; on a change the shadow maps pass over and the particles reset);
    // null without one.
    KR_Scene* MakeActiveSceneCurrent(double fTime, KR_PostFXEngine* pPostFX, KR_ParticleEngine* pParticles);
    // After Present: a pending screenshot ends, and at the show's end the quit request goes out.
    void FinishPlaybackFrame(KE_ApplicationManager* pEngine, double fTime, double fMaxEnd);
    // Step 13 of the load job (and of a reload): a fresh sound for every music-like entity that
    // has none or a dirty one, with the spectrum prepared.
    static void PrepareMusicSounds();
    // Waits for the load job and deletes its future; nothing without one.
    void FinishLoadJob();
    // True when the job should skip its remaining steps.
    bool IsLoadCancelled() const { return m_bLoadCancelled.load(std::memory_order_acquire); }
    // The key-down and button-down tables.
    void HandleKeyDown(std::uint64_t uiKey);
    // HandleKeyDown's keys that work on loaded scenes, materials and audio entities.
    void HandleLoadedKeyDown(std::uint64_t uiKey);
    void HandleButtonDown(std::uint32_t uiButton);
    // Seeks as SetSynchronizationTime does; with bPostLoad every scene's PostLoad runs after.
    void JumpTo(double fTime, bool bPostLoad);
    // Next camera (bForward) or previous one, over every scene's animated cameras.
    void JumpToCamera(bool bForward);
    // B (bToFreeCamera) and V.
    void EditCameraRails(bool bToFreeCamera);
    // Developer mode's terminal status, the headless stand-in for the debug HUD's mode icon and
    // timeline cursor: a key or button remembers the camera mode, time hold, seek and scene;
    // the next playback frame in which no step key is held prints "mode <Demo|Rail|Edit|Roam> |
    // hold <on|off> | time <seconds> s | scene <name|none>" on stdout when any of them changed
    // since. The line is built in a stack buffer: nothing is allocated in the frame.
    void NoteStatusKey();
    void ReportStatusChange();
    void ReleaseLoaderObjects();

    KR_SceneCameraMode m_eCameraMode = KR_SCM_Demo;
    bool m_bPlaying = false;
    bool m_abVisualisations[6] = {};
    bool m_bSynchronizedTime = true; // the factory's answer at construction
    DirectX::XMFLOAT4 m_vClearColor = DirectX::XMFLOAT4(0.0f, 0.0f, 0.0f, 1.0f);
    KR_ControllerCamera* m_pControllerCamera = nullptr; // owned
    KB_GrowingArray<KR_Scene*> m_gScenes;               // owned
    KB_GrowingArray<KR_SceneConfigEntry> m_gSceneConfig;
    KR_DebugHUD* m_pDebugHUD = nullptr; // owned; made by the load job
    long m_iStartClock = 0;             // clock() when playback started (ms)
    long m_iPauseClock = 0;             // clock() when the clock was last held
    long m_iFrameClock = 0;             // clock() of the previous frame
    double m_fTimeOffset = 0.0;         // clock seconds
    double m_fSeekPosition = 0.0;       // clock seconds
    double m_fPlaybackStartSeconds = 0.0;
    double m_fSpeed = PLAYBACK_SPEED;
    double m_fInverseSpeed = INVERSE_PLAYBACK_SPEED;
    float m_fFrameRate = 0.0f;
    double m_fFirstStart = 0.0; // smallest scene start; meaningful with scenes only
    double m_fLastEnd = 0.0;    // largest scene end; meaningful with scenes only
    std::int32_t m_iCurrentScene = -1;
    bool m_bStepForward = false;
    bool m_bStepBack = false;
    // A step key pressed and released before a frame ran (a terminal sends both at once) still
    // steps once in the next frame.
    bool m_bStepForwardOwed = false;
    bool m_bStepBackOwed = false;
    struct StatusAtKey
    {
        KR_SceneCameraMode eMode;
        bool bHold;
        double fSeekPosition;
        std::int32_t iScene;
    };
    StatusAtKey m_oStatusAtKey = {KR_SCM_Demo, true, 0.0, -1};
    bool m_bStatusKeyPending = false;
    bool m_bResynchronize = false;
    bool m_bEditorTimeHold = true;
    bool m_bScreenshotPending = false;
    bool m_bScreenshotEnlarged = false;
    bool m_bScreenshotHeldClock = false; // this screenshot held the clock: its frame runs it again
    std::uint32_t m_uiSavedWidth = 0;
    std::uint32_t m_uiSavedHeight = 0;
    std::uint32_t m_uiScreenshotCounter = 0;
    KB_String m_sScreenshotPath;
    float m_afLoaderColor[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    bool m_bHandOverQueryIssued = false;
    bool m_bLoaded = false;
    float m_fShownProgress = 0.0f;
    float m_fTargetProgress = 0.0f;
    KR_ShaderProgram* m_pLoaderProgram = nullptr;              // the resource manager's
    ID3D11InputLayout* m_pLoaderInputLayout = nullptr;         // the resource manager's
    ID3D11RasterizerState* m_pLoaderRasterizerState = nullptr; // owned
    bool m_bCursorAllowed = false;
    KT_Future<void>* m_pLoadFuture = nullptr; // owned
    std::atomic<bool> m_bLoadCancelled{false};
    KB_GrowingArray<KR_AnimatedCamera*> m_gNoCameras;
    KB_GrowingArray<KR_OmniLight*> m_gNoOmniLights;
    KB_GrowingArray<KR_SpotLight*> m_gNoSpotLights;
    std::uint32_t m_uiCompositionGuide = 0;
    ID3D11Query* m_pHandOverQuery = nullptr; // owned while issued
    bool m_bStarted = false;
    bool m_bRegistered = false; // for message types 1, 2 and 3
    bool m_bShutDown = false;
};
