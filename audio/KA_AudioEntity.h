#pragma once
// One sound placed on the production timeline: an audio file that plays while the production time
// lies in the entity's interval, looped or not, plain or 3-D, with a volume and a 3-D position that
// are fixed or follow vertex curves. Read from and written to a small ".aud" text file; created,
// played, paused, drawn and picked by the audio resource manager, which owns it.
//
// In developer mode, when the manager handed it the editor objects, every entity gets a marker
// shape for picking; one with a position curve also gets the curve's rail, one without a translate
// gizmo that moves its static position.
//
// Threads: construction (which registers for message type 5), Load, Initialize and the first
// GetAudioResource run where the entities are loaded (the load job's worker at start-up, the main
// thread on a reload); everything else on the main thread. No lock is taken here.
//
// A missing or unreadable audio file leaves the entity without a sound: every call that would use
// the sound is skipped until the next Load.

#include "framework/app/KE_MessageReceiver.h"
#include "framework/core/KB_String.h"
#include "platform/directxmath/DirectXMath.h"
#include "timing/KU_TimeLimitedEntity.h"

#include <cstdint>

class KA_AudioEditorObjects;
class KA_AudioResource;
class KR_DebugPolyhedron;
class KR_TranslateGizmo;
class KR_VertexInterpolationVisualisation;
class KU_VertexInterpolation;

class KA_AudioEntity : public KU_TimeLimitedEntity, public KE_MessageReceiver
{
public:
    // Longest audio and curve path kept from a file; a longer one is read as empty.
    static constexpr std::uint32_t MAX_PATH_LENGTH = 259;
    // Longest debug name kept; the rest of its line is dropped.
    static constexpr std::uint32_t MAX_DEBUG_NAME_LENGTH = 511;

    KA_AudioEntity();
    ~KA_AudioEntity() override;

    KA_AudioEntity(const KA_AudioEntity&) = delete;
    KA_AudioEntity& operator=(const KA_AudioEntity&) = delete;

    // Not owned, must outlive the entity; used by Initialize in developer mode only. Null (the
    // default) makes no editor objects. Set once, before Load.
    void SetEditorObjects(KA_AudioEditorObjects* pEditorObjects) { m_pEditorObjects = pEditorObjects; }

    // Resets the settings (not the debug name), reads the ".aud" file at sPath through the file
    // manager and initialises the entity. False, after the reset, when no repository has the file.
    bool Load(const KB_String& sPath);
    // Saves each loaded curve under the ".aud" file's directory, then writes the ".aud" file
    // through the first writable repository; false when none took it.
    bool Save();
    // Loads the curves, makes the editor objects, creates the sound and gives it its volume and 3-D
    // settings at absolute time 0. True.
    bool Initialize();

    // The sound, created first when the dirty mark is set (an old one is deleted); null when the
    // audio file could not be made into a sound. Owned by the entity.
    KA_AudioResource* GetAudioResource();
    // Per frame while playing: the volume curve's volume, and for a 3-D entity position and
    // velocity. Nothing without a sound.
    void UpdateFrame(double time);

    // Position at production time: the position curve's value, else the static position.
    DirectX::XMVECTOR GetPositionAt(double time);
    // (p(t + 0.01) - p(t - 0.01)) x 100 on the position curve; zero without one.
    DirectX::XMVECTOR GetVelocityAt(double time);
    // The volume curve's x value, else the static volume.
    float GetVolumeAt(double time);

    // Editor operations (developer mode); the ray is an origin and a normalised direction.
    void RenderDebug(double time, const DirectX::XMMATRIX& viewProjection,
                     const DirectX::XMVECTOR& cameraPosition);
    // Distance to the entity's marker (or its rail's key, when selected and nearer); FLT_MAX when
    // inactive at time, without a marker or missed.
    float GetPickDistance(double time, const DirectX::XMVECTOR& origin, const DirectX::XMVECTOR& direction);
    // Picks the entity (picking a selected one again deselects it) or a key of its rail.
    void Select(double time, const DirectX::XMVECTOR& origin, const DirectX::XMVECTOR& direction);
    void MoveSelected(double time, const DirectX::XMVECTOR& origin, const DirectX::XMVECTOR& direction,
                      bool bDragging);
    // Moves the rail's selected key, or the selected entity's static position, to vPosition.
    void SetSelectedPosition(const DirectX::XMVECTOR& vPosition);
    // Sends (5, 11, null) to every receiver of message type 5.
    static void DeselectAll();

    // (5, 11) deselects the entity unless the payload is its own rail; true. Everything else false.
    bool Receive(KE_MessageType type, KE_MessageSubType subType, void* pPayload) override;

    const KB_String& GetFilePath() const { return m_sFilePath; }
    const KB_String& GetAudioFilePath() const { return m_sAudioFilePath; }
    const KB_String& GetDebugName() const { return m_sDebugName; }
    const KB_String& GetPositionCurvePath() const { return m_sPositionCurvePath; }
    const KB_String& GetVolumeCurvePath() const { return m_sVolumeCurvePath; }
    bool IsLooped() const { return m_bLooped; }
    bool Is3D() const { return m_b3D; }
    bool IsSelected() const { return m_bSelected; }
    bool IsSoundDirty() const { return m_bSoundDirty; }
    float GetVolume() const { return m_fVolume; }
    float GetDirectOcclusion() const { return m_fDirectOcclusion; }
    float GetReverbOcclusion() const { return m_fReverbOcclusion; }
    float GetMinDistance() const { return m_fMinDistance; }
    float GetMaxDistance() const { return m_fMaxDistance; }
    const DirectX::XMVECTOR& GetStaticPosition() const { return m_vStaticPosition; }
    KU_VertexInterpolation* GetPositionCurve() const { return m_pPositionCurve; }
    KU_VertexInterpolation* GetVolumeCurve() const { return m_pVolumeCurve; }
    KR_VertexInterpolationVisualisation* GetPathVisualisation() const { return m_pPathVisualisation; }
    KR_TranslateGizmo* GetGizmo() const { return m_pGizmo; }
    KR_DebugPolyhedron* GetMarker() const { return m_pMarker; }

    void SetDebugName(const KB_String& sDebugName) { m_sDebugName = sDebugName; }

private:
    // Back to the values a file without keys gives.
    void ResetSettings();
    void ParseText(const char* pText, std::uint64_t uiSize);
    KB_String CreateText() const;
    void DeleteCurvesAndEditorObjects();
    // The ".aud" file's directory followed by "/".
    KB_String GetCurveDirectory() const;

    KA_AudioResource* m_pSound = nullptr; // owned; null when none could be made
    bool m_bSelected = false;
    bool m_bSoundDirty = true;                          // the sound must be (re)created before its next use
    bool m_bLooped = false;                             // "l"
    bool m_b3D = false;                                 // "3d"
    float m_fVolume = 1.0f;                             // "vo"
    float m_fDirectOcclusion = 0.0f;                    // "od"
    float m_fReverbOcclusion = 0.0f;                    // "or"
    float m_fMinDistance = 10.0f;                       // "m", first value
    float m_fMaxDistance = 100000.0f;                   // "m", second value
    DirectX::XMVECTOR m_vStaticPosition = {};           // "pv"; w stays 0
    KB_String m_sPositionCurvePath;                     // "pp", relative to the ".aud" file's directory
    KB_String m_sVolumeCurvePath;                       // "vp", likewise
    KB_String m_sFilePath;                              // the ".aud" file
    KB_String m_sAudioFilePath;                         // "f", as the repositories know it
    KB_String m_sDebugName;                             // "d"
    KU_VertexInterpolation* m_pPositionCurve = nullptr; // owned
    KU_VertexInterpolation* m_pVolumeCurve = nullptr;   // owned
    DirectX::XMFLOAT4 m_vRailColor = {0.757f, 0.361f, 0.224f, 1.0f};
    DirectX::XMFLOAT4 m_vSelectionColor = {0.0f, 1.0f, 0.0f, 1.0f};
    DirectX::XMFLOAT4 m_vMarkerColor = {0.929f, 0.262f, 0.262f, 1.0f};
    KA_AudioEditorObjects* m_pEditorObjects = nullptr;                   // not owned
    KR_VertexInterpolationVisualisation* m_pPathVisualisation = nullptr; // owned (through m_pEditorObjects)
    KR_TranslateGizmo* m_pGizmo = nullptr;                               // owned (through m_pEditorObjects)
    KR_DebugPolyhedron* m_pMarker = nullptr;                             // owned (through m_pEditorObjects)
};
