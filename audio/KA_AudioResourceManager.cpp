#include "audio/KA_AudioResourceManager.h"

#include "audio/KA_AudioContext.h"
#include "audio/KA_AudioContextManager.h"
#include "audio/KA_AudioEditorObjects.h"
#include "audio/KA_AudioEntity.h"
#include "audio/KA_AudioResource.h"
#include "framework/app/KE_Dispatcher.h"
#include "framework/app/KE_EngineMembers.h"
#include "framework/files/KF_FileManager.h"
#include "timing/KU_VertexInterpolation.h"

#include <cfloat>
#include <cmath>

using namespace DirectX;

namespace
{

KA_AudioContext* GetAudioContext()
{
    KA_AudioContextManager* pAudio = KE_GetAudioContextManager();
    return pAudio != nullptr ? pAudio->GetAudioContext() : nullptr;
}

bool IsLooped3D(const KA_AudioEntity* pEntity)
{
    return pEntity->IsLooped() && pEntity->Is3D();
}

// Plays the entry's sound from where its channel stands and marks the entry playing.
void Play(KA_AudioEntityEntry& entry, KA_AudioResource* pSound)
{
    pSound->Play();
    entry.m_bPlaying = true;
}

// Seeks the entry's sound to fPosition seconds first.
void PlayFrom(KA_AudioEntityEntry& entry, KA_AudioResource* pSound, double fPosition)
{
    pSound->SetPosition(fPosition);
    Play(entry, pSound);
}

} // namespace

KA_AudioResourceManager::KA_AudioResourceManager() = default;

KA_AudioResourceManager::~KA_AudioResourceManager()
{
    DeleteEntities();
    delete m_pMasterVolume;
    m_pMasterVolume = nullptr;
    if (m_bRegistered)
    {
        if (KE_Dispatcher* pDispatcher = KE_GetDispatcher())
            pDispatcher->UnRegisterReceiver(KE_MT_Keyboard, this);
        m_bRegistered = false;
    }
    delete m_pEditorObjects; // after the entities, whose editor objects it deleted
    m_pEditorObjects = nullptr;
}

void KA_AudioResourceManager::DeleteEntities()
{
    for (std::uint32_t i = 0; i < m_gEntries.GetNumMembers(); ++i)
    {
        delete m_gEntries[i].m_pEntity;
        m_gEntries[i].m_pEntity = nullptr;
    }
    m_gEntries.RemoveAll(false);
}

void KA_AudioResourceManager::SetAudioEntityPath(const KB_String& sDirectory)
{
    m_sAudioEntityDirectory = sDirectory;
    if (!m_bRegistered)
    {
        if (KE_Dispatcher* pDispatcher = KE_GetDispatcher())
        {
            pDispatcher->RegisterReceiver(KE_MT_Keyboard, this);
            m_bRegistered = true;
        }
    }
}

void KA_AudioResourceManager::SetEditorObjects(KA_AudioEditorObjects* pEditorObjects)
{
    if (pEditorObjects == m_pEditorObjects)
        return;
    DeleteEntities();
    delete m_pEditorObjects;
    m_pEditorObjects = pEditorObjects;
}

void KA_AudioResourceManager::LoadAll()
{
    DeleteEntities();
    delete m_pMasterVolume;
    m_pMasterVolume = nullptr;
    KF_FileManager* pFiles = KE_GetFileManager();
    if (pFiles == nullptr)
        return;
    KB_GrowingArray<KB_String> gNames;
    pFiles->FindFiles(m_sAudioEntityDirectory + "*.aud", gNames);
    for (std::uint32_t i = 0; i < gNames.GetNumMembers(); ++i)
    {
        // The archive and the working directory usually both list a file; both copies would read
        // the same file, play twice, and the later one would overwrite an edit of the first on save.
        bool bListedBefore = false;
        for (std::uint32_t j = 0; j < i && !bListedBefore; ++j)
            bListedBefore = gNames[j].CompareNoCase(gNames[i]) == 0;
        if (bListedBefore)
            continue;
        KA_AudioEntity* pEntity = new KA_AudioEntity();
        pEntity->SetEditorObjects(m_pEditorObjects);
        if (pEntity->Load(m_sAudioEntityDirectory + gNames[i]))
        {
            KA_AudioEntityEntry entry;
            entry.m_pEntity = pEntity;
            m_gEntries.Add(entry);
        }
        else
        {
            delete pEntity;
        }
    }
    const KB_String sMasterVolumePath = m_sAudioEntityDirectory + MASTER_VOLUME_FILE;
    if (pFiles->FileExists(sMasterVolumePath))
        m_pMasterVolume = KU_VertexInterpolation::LoadVertexInterpolation(sMasterVolumePath);
}

void KA_AudioResourceManager::SaveAll()
{
    for (std::uint32_t i = 0; i < m_gEntries.GetNumMembers(); ++i)
        m_gEntries[i].m_pEntity->Save();
}

void KA_AudioResourceManager::Update(double time)
{
    for (std::uint32_t i = 0; i < m_gEntries.GetNumMembers(); ++i)
    {
        KA_AudioEntityEntry& entry = m_gEntries[i];
        KA_AudioEntity* pEntity = entry.m_pEntity;
        KA_AudioResource* pSound = pEntity->GetAudioResource();
        if (pSound == nullptr)
        {
            entry.m_bPlaying = false;
            continue;
        }
        const bool bActive = pEntity->IsActive(time);
        if (!m_bPaused)
        {
            if (entry.m_bPlaying)
            {
                if (!bActive)
                {
                    pSound->Pause();
                    entry.m_bPlaying = false;
                }
                pSound->UpdateSpectrum(time);
            }
            else if (bActive)
            {
                // Starts from wherever the channel stands (a fresh sound at its beginning); only a
                // looped sound that became active past its length seeks.
                const double position = (time - pEntity->GetStartTime()) * m_fTimeScale;
                const double length = pSound->GetLength();
                if (length > 0.0 && position > length)
                {
                    if (pEntity->IsLooped())
                        PlayFrom(entry, pSound, std::fmod(position, length));
                }
                else
                {
                    Play(entry, pSound);
                }
            }
        }
        else if (bActive && m_bKeepLooped3D)
        {
            if (!entry.m_bPlaying && IsLooped3D(pEntity))
                Play(entry, pSound);
        }
        else if (bActive)
        {
            if (entry.m_bPlaying)
            {
                pSound->Pause();
                entry.m_bPlaying = false;
            }
        }
        else
        {
            pSound->Pause();
            entry.m_bPlaying = false;
        }
        if (entry.m_bPlaying)
            pEntity->UpdateFrame(time);
    }
    if (m_pMasterVolume != nullptr)
    {
        if (KA_AudioContext* pContext = GetAudioContext())
        {
            XMVECTOR volume = XMVectorZero();
            m_pMasterVolume->GetValueAt(&volume, time - m_pMasterVolume->GetStartTime());
            pContext->SetMasterVolume(XMVectorGetX(volume));
        }
    }
}

void KA_AudioResourceManager::SeekAndPlay(KA_AudioEntityEntry& entry, double time)
{
    KA_AudioEntity* pEntity = entry.m_pEntity;
    KA_AudioResource* pSound = pEntity->GetAudioResource();
    const double position = (time - pEntity->GetStartTime()) * m_fTimeScale;
    const double length = pSound->GetLength();
    if (!(length > 0.0))
    {
        // Without a known length there is nothing to seek against: play from where it stands.
        Play(entry, pSound);
    }
    else if (position > length)
    {
        if (pEntity->IsLooped())
        {
            PlayFrom(entry, pSound, std::fmod(position, length));
        }
        else
        {
            pSound->Pause();
            entry.m_bPlaying = false;
        }
    }
    else
    {
        PlayFrom(entry, pSound, position);
    }
}

void KA_AudioResourceManager::Resume(double time)
{
    m_bPaused = false;
    for (std::uint32_t i = 0; i < m_gEntries.GetNumMembers(); ++i)
    {
        KA_AudioEntityEntry& entry = m_gEntries[i];
        KA_AudioResource* pSound = entry.m_pEntity->GetAudioResource();
        if (pSound == nullptr)
        {
            entry.m_bPlaying = false;
        }
        else if (entry.m_pEntity->IsActive(time))
        {
            SeekAndPlay(entry, time);
        }
        else
        {
            pSound->Pause();
            entry.m_bPlaying = false;
        }
    }
}

void KA_AudioResourceManager::PauseAll()
{
    m_bPaused = true;
    for (std::uint32_t i = 0; i < m_gEntries.GetNumMembers(); ++i)
    {
        KA_AudioEntityEntry& entry = m_gEntries[i];
        if (m_bKeepLooped3D && IsLooped3D(entry.m_pEntity))
            continue;
        if (KA_AudioResource* pSound = entry.m_pEntity->GetAudioResource())
            pSound->Pause();
        entry.m_bPlaying = false;
    }
}

bool KA_AudioResourceManager::Receive(KE_MessageType type, KE_MessageSubType subType, void* pPayload)
{
    if (type != KE_MT_Keyboard || subType != KE_MST_KeyDown)
        return false;
    if (pPayload == nullptr)
        return true;
    if (*static_cast<const std::uint64_t*>(pPayload) != KEEP_LOOPED_3D_TOGGLE_KEY)
        return false;
    m_bKeepLooped3D = !m_bKeepLooped3D;
    return true;
}

bool KA_AudioResourceManager::RenderDebug(double time, const XMMATRIX& viewProjection,
                                          const XMVECTOR& cameraPosition)
{
    for (std::uint32_t i = 0; i < m_gEntries.GetNumMembers(); ++i)
    {
        KA_AudioEntity* pEntity = m_gEntries[i].m_pEntity;
        if (pEntity->IsActive(time))
            pEntity->RenderDebug(time, viewProjection, cameraPosition);
    }
    return true;
}

float KA_AudioResourceManager::GetPickDistance(double time, const XMVECTOR& origin, const XMVECTOR& direction)
{
    float best = FLT_MAX;
    for (std::uint32_t i = 0; i < m_gEntries.GetNumMembers(); ++i)
    {
        KA_AudioEntity* pEntity = m_gEntries[i].m_pEntity;
        if (pEntity->IsActive(time))
        {
            const float distance = pEntity->GetPickDistance(time, origin, direction);
            if (distance < best)
                best = distance;
        }
    }
    return best;
}

void KA_AudioResourceManager::Pick(double time, const XMVECTOR& origin, const XMVECTOR& direction)
{
    float best = FLT_MAX;
    KA_AudioEntity* pNearest = nullptr;
    for (std::uint32_t i = 0; i < m_gEntries.GetNumMembers(); ++i)
    {
        KA_AudioEntity* pEntity = m_gEntries[i].m_pEntity;
        if (pEntity->IsActive(time))
        {
            const float distance = pEntity->GetPickDistance(time, origin, direction);
            if (distance < best)
            {
                best = distance;
                pNearest = pEntity;
            }
        }
    }
    if (pNearest != nullptr)
        pNearest->Select(time, origin, direction);
}

void KA_AudioResourceManager::MoveSelected(double time, const XMVECTOR& origin, const XMVECTOR& direction,
                                           bool bDragging)
{
    for (std::uint32_t i = 0; i < m_gEntries.GetNumMembers(); ++i)
    {
        KA_AudioEntity* pEntity = m_gEntries[i].m_pEntity;
        if (pEntity->IsActive(time))
            pEntity->MoveSelected(time, origin, direction, bDragging);
    }
}

void KA_AudioResourceManager::SetSelectedPosition(double time, const XMVECTOR& vPosition)
{
    for (std::uint32_t i = 0; i < m_gEntries.GetNumMembers(); ++i)
    {
        KA_AudioEntity* pEntity = m_gEntries[i].m_pEntity;
        if (pEntity->IsActive(time))
            pEntity->SetSelectedPosition(vPosition);
    }
}
