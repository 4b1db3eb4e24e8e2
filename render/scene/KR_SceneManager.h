#pragma once
// The spine of the running production: owns the timeline of scenes, the production clock and
// the camera mode, and runs one whole frame per idle turn of the main loop. Created by the engine
// singleton's initialisation; main thread only.
//
// This is the framework-facing part so far: construction with the fixed playback speed, Start
// (registration for controller, keyboard and mouse messages, the controller camera), the
// per-frame UpdateAndRender, OnResize, Shutdown, the cursor flag, the camera mode, the scenes laid
// end to end by AddScene and whether the timeline runs. There is no loading job and no drawing
// yet: the first frame hands over to playback, which at once passes the end of the timeline,
// holds the clock, switches to the rail mode and asks the application to quit (0, 1), as at the
// end of every show.
//
// Does NOT draw, load scenes, or read the scene configuration yet.

#include "framework/app/KE_MessageReceiver.h"
#include "framework/core/KB_GrowingArray.h"
#include "platform/directxmath/DirectXMath.h"

#include <cstdint>

class KR_ControllerCamera;
class KR_Scene;
struct KR_Ray;

// The timing of one scene: its duration in seconds and its cameras' planes.
struct KR_SceneConfigEntry
{
    double fDuration = 10.0;
    double fNearPlane = 0.1;
    double fFarPlane = 200.0;
    double fEditorFarPlane = 500.0;
};

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

    KR_SceneManager(); // Demo mode, not playing, registers nothing
    // Deletes every scene.
    ~KR_SceneManager() override;

    KR_SceneManager(const KR_SceneManager&) = delete;
    KR_SceneManager& operator=(const KR_SceneManager&) = delete;

    // Reads the scene configuration that times the scenes added afterwards. With no scene
    // classes yet there is nothing to time, and nothing is read.
    void LoadSceneConfig();

    // Appends the scene (owned from now on). With synchronised time it is timed after the scenes
    // before it by its configuration entry (a default one when the configuration has fewer), and
    // given the entry's (near, far) and (near, editor far) pairs; the timeline grows to hold it.
    void AddScene(KR_Scene* pScene);
    // The scenes in the order added.
    const KB_GrowingArray<KR_Scene*>& GetAllScenes() const { return m_gScenes; }

    // Once, after the graphics device exists: registers for message types 1, 2 and 3 and makes
    // the controller camera.
    void Start();
    // One frame: hands over to playback once loading has finished, then plays; when playback
    // passes the end of the timeline, holds the clock, switches to Rail and dispatches (0, 1).
    void UpdateAndRender();
    // After the graphics context accepted a new client size.
    void OnResize();
    // Once, after the main loop (the worker pool is stopped before): unregisters and deletes the
    // controller camera.
    void Shutdown();

    // The developer modes' free camera; null before Start and after Shutdown.
    KR_ControllerCamera* GetControllerCamera() const { return m_pControllerCamera; }
    // The application factory's choice (asked on every call): scene time from the
    // synchronisation clock. True without a factory, as the production's factory answers.
    bool UsesSynchronizedTime() const;
    // False exactly when synchronised time is on, the mode is Edit or Roam and the editor holds
    // the time (the default).
    bool IsTimelineRunning() const;
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
            m_ClearColor = *pColor;
    }
    const DirectX::XMFLOAT4& GetClearColor() const { return m_ClearColor; }
    bool IsEditorTimeHeld() const { return m_bEditorTimeHold; }
    void SetEditorTimeHold(bool bHold) { m_bEditorTimeHold = bHold; }

    // Controller, keyboard and mouse input: nothing is handled yet (false).
    bool Receive(KE_MessageType type, KE_MessageSubType subType, void* pPayload) override;

    // The arrow cursor may show: the cursor is allowed and the mode is Edit or Roam.
    bool IsCursorVisible() const;
    void SetCursorVisible(bool bVisible) { m_bCursorAllowed = bVisible; }
    KR_SceneCameraMode GetCameraMode() const { return m_eCameraMode; }
    // Stores the mode only; switching the controller camera's input with it comes with the
    // developer keys.
    void SetCameraMode(KR_SceneCameraMode eMode) { m_eCameraMode = eMode; }

    // Editor picking in Edit mode, called by the controller camera with its picking ray: a click
    // selects the nearest editor object, a drag moves the selected object's gizmo (bDragging
    // false ends the drag). There are no scenes yet, so nothing is picked.
    virtual void PickEditorObject(const KR_Ray& ray);
    virtual void PickEditorGizmo(const KR_Ray& ray, bool bDragging);
    bool IsPlaying() const { return m_bPlaying; }
    double GetInverseSpeed() const { return m_fInverseSpeed; }

    // The editor's view of the clock. The synchronisation time is (offset + seek) x speed; a seek
    // clamps the wanted time to the timeline, stores seek := t / speed - offset and asks the clock
    // to resynchronise. Without scenes the timeline is the single instant 0.
    double GetSynchonizationTime() const { return (m_fTimeOffset + m_fSeekPosition) * m_fSpeed; }
    void SetSynchronizationTime(double fTime);
    double GetSpeed() const { return m_fSpeed; }
    double GetTimeOffset() const { return m_fTimeOffset; }
    double GetSeekPosition() const { return m_fSeekPosition; }
    bool IsResynchronizationPending() const { return m_bResynchronize; }
    // First start and last end over the scenes; 0 without scenes.
    virtual double GetTimelineStart() const;
    virtual double GetTimelineEnd() const;
    // The camera modes' entering and leaving steps come with the developer keys; for now the
    // mode is stored.
    virtual void SwitchCameraModeTo(KR_SceneCameraMode eMode) { m_eCameraMode = eMode; }
    // Loading has finished and playback took over (the editor's key is ignored before).
    bool IsLoaded() const { return m_bLoaded; }

private:
    // Holds the clock, leaves the developer modes for Rail and asks the application to quit.
    void EndPlayback();

    KR_SceneCameraMode m_eCameraMode = KR_SCM_Demo;
    bool m_bPlaying = false;
    bool m_bLoaded = false;        // the hand-over from loading to playback has happened
    bool m_bCursorAllowed = false; // set at the hand-over
    bool m_bRegistered = false;    // for message types 1, 2 and 3
    double m_fInverseSpeed = INVERSE_PLAYBACK_SPEED;
    double m_fSpeed = PLAYBACK_SPEED;
    double m_fTimeOffset = 0.0;   // clock seconds
    double m_fSeekPosition = 0.0; // clock seconds
    bool m_bResynchronize = false;
    bool m_bEditorTimeHold = true;
    bool m_abVisualisations[6] = {};
    DirectX::XMFLOAT4 m_ClearColor = DirectX::XMFLOAT4(0.0f, 0.0f, 0.0f, 1.0f);
    KR_ControllerCamera* m_pControllerCamera = nullptr; // owned
    KB_GrowingArray<KR_Scene*> m_gScenes;               // owned
    KB_GrowingArray<KR_SceneConfigEntry> m_gSceneConfig;
    double m_fFirstStart = 0.0; // smallest scene start; meaningful with scenes only
    double m_fLastEnd = 0.0;    // largest scene end; meaningful with scenes only
};
