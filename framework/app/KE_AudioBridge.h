#pragma once
// The engine singleton's door to the audio context manager, whose class lives in the audio
// library above the framework. The program entry implements it where the class is visible and
// installs it with KE_ApplicationManager::SetAudioBridge before KE_Application::Initialize; tests
// install tests/support/FakeAudioBridge. Main thread only; every call gets a non-null audio
// context manager (the framework checks first). Does NOT own anything: the engine singleton owns
// what Create returns.

#include "framework/core/KB_String.h"

#include <cstdint>

class KU_ApplicationFactory;
class KA_AudioContextManager;

class KE_AudioBridge
{
public:
    KE_AudioBridge() = default;
    virtual ~KE_AudioBridge() = default;

    KE_AudioBridge(const KE_AudioBridge&) = delete;
    KE_AudioBridge& operator=(const KE_AudioBridge&) = delete;

    // The manager keeps the factory (not owned) for CreateAudioContext; null when it cannot be
    // made. Delete runs its own destructor.
    virtual KA_AudioContextManager* CreateAudioContextManager(KU_ApplicationFactory* pFactory) = 0;
    virtual void DeleteAudioContextManager(KA_AudioContextManager* p) = 0;

    // The audio context, owned by the audio context manager. CreateAudioContext: true when the
    // factory's audio context factory made one. InitializeAudioContext: its Initialize result.
    virtual bool CreateAudioContext(KA_AudioContextManager* pManager) = 0;
    virtual bool InitializeAudioContext(KA_AudioContextManager* pManager) = 0;
    virtual void UpdateAudioContext(KA_AudioContextManager* pManager) = 0; // once per frame
    virtual void SelectAudioDevice(KA_AudioContextManager* pManager, std::uint32_t uiDevice) = 0;
    // Hands the audio entity directory to the audio resource manager (which then listens for keys).
    virtual void SetAudioEntityPath(KA_AudioContextManager* pManager, const KB_String& sDirectory) = 0;
};
