#pragma once
// Owns every audio entity of the production, all read from one directory, and the master-volume
// curve "MasterVolume.int" beside them. Once per frame it starts, seeks, pauses and updates the
// entities against the production time and sets the master volume; the scenes pause and resume
// it with the playback, draw its editor markers and pick and move entities through it. F7
// decides whether looped 3-D sounds keep playing while the playback is paused.
//
// Owned by the audio context manager. LoadAll runs on the load job's worker at start-up (the
// entities register with the dispatcher and create their sounds there) and on the main thread on
// a reload; everything else runs on the main thread, and Update only once loading has finished.
// Nothing is locked.
//
// Entities whose sound could not be made are kept (they can still be saved and edited) but never
// played. Time is the production time in seconds; a position in a sound is (time - the entity's
// start) x the time scale.

#include "audio/KA_AudioEntityEntry.h"
#include "framework/app/KE_MessageReceiver.h"
#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"
#include "platform/directxmath/DirectXMath.h"

#include <cstdint>

class KA_AudioEditorObjects;
class KU_VertexInterpolation;

class KA_AudioResourceManager : public KE_MessageReceiver
{
public:
    // Virtual-key code that toggles whether looped 3-D sounds keep playing while paused (F7).
    static constexpr std::uint64_t KEEP_LOOPED_3D_TOGGLE_KEY = 0x76;
    // Name of the master-volume curve in the audio entity directory; its x value is the volume.
    static constexpr const char* MASTER_VOLUME_FILE = "MasterVolume.int";

    KA_AudioResourceManager(); // paused, keeping looped 3-D sounds, time scale 1
    // Deletes every entity, the master-volume curve and the editor objects; unregisters.
    ~KA_AudioResourceManager() override;

    KA_AudioResourceManager(const KA_AudioResourceManager&) = delete;
    KA_AudioResourceManager& operator=(const KA_AudioResourceManager&) = delete;

    // Stores the entity directory (with its trailing '/', names are appended to it) and registers
    // for keyboard messages. Once, at the start of the run.
    void SetAudioEntityPath(const KB_String& sDirectory);
    // Audio seconds per production second; the start-up copies the scene manager's inverse
    // playback speed here.
    void SetTimeScale(double fTimeScale) { m_fTimeScale = fTimeScale; }
    double GetTimeScale() const { return m_fTimeScale; }
    // The developer-mode objects for the entities loaded from now on; owned from now on. Entities
    // made with an earlier one are deleted first, so the start-up sets it before LoadAll.
    void SetEditorObjects(KA_AudioEditorObjects* pEditorObjects);

    // Deletes the entities and the master-volume curve, then loads every "*.aud" of the directory
    // (a name listed by several repositories once, from the first that has it) and the
    // master-volume curve when a repository has it.
    void LoadAll();
    // Saves every entity; results ignored.
    void SaveAll();

    // Per frame, also while paused: starts, pauses and updates the entities, then applies the
    // master-volume curve to the audio context.
    void Update(double time);
    // Leaves pause mode and seeks every active entity to the time.
    void Resume(double time);
    // Enters pause mode: pauses every entity but, while the keep flag is set, the looped 3-D ones.
    void PauseAll();

    // Key down (2, 5): F7 toggles the keep flag; true for F7 and for a null payload, false for
    // other keys and every other message.
    bool Receive(KE_MessageType type, KE_MessageSubType subType, void* pPayload) override;

    // Editor operations on the active entities; the ray is an origin and a normalised direction.
    bool RenderDebug(double time, const DirectX::XMMATRIX& viewProjection,
                     const DirectX::XMVECTOR& cameraPosition);
    // Smallest pick distance of the active entities; FLT_MAX when none is hit.
    float GetPickDistance(double time, const DirectX::XMVECTOR& origin, const DirectX::XMVECTOR& direction);
    // Selects the nearest hit active entity (the first in list order on a tie); nothing on a miss.
    void Pick(double time, const DirectX::XMVECTOR& origin, const DirectX::XMVECTOR& direction);
    void MoveSelected(double time, const DirectX::XMVECTOR& origin, const DirectX::XMVECTOR& direction,
                      bool bDragging);
    void SetSelectedPosition(double time, const DirectX::XMVECTOR& vPosition);

    // In the order the directory search listed the files.
    const KB_GrowingArray<KA_AudioEntityEntry>& GetEntries() const { return m_gEntries; }
    const KB_String& GetAudioEntityDirectory() const { return m_sAudioEntityDirectory; }
    bool IsPaused() const { return m_bPaused; }
    bool IsKeepingLooped3DSounds() const { return m_bKeepLooped3D; }
    KU_VertexInterpolation* GetMasterVolumeCurve() const { return m_pMasterVolume; }

private:
    void DeleteEntities();
    // Seeks the entry's sound to production time and plays it, as Resume does; pauses a
    // non-looped one that lies past its end.
    void SeekAndPlay(KA_AudioEntityEntry& entry, double time);

    KB_GrowingArray<KA_AudioEntityEntry> m_gEntries;
    KB_String m_sAudioEntityDirectory;
    bool m_bPaused = true;
    bool m_bKeepLooped3D = true; // looped 3-D sounds keep playing while paused
    bool m_bRegistered = false;  // for keyboard messages
    double m_fTimeScale = 1.0;
    KU_VertexInterpolation* m_pMasterVolume = nullptr; // owned
    KA_AudioEditorObjects* m_pEditorObjects = nullptr; // owned; null outside developer mode
};
