#pragma once
// Inside of the FMOD Ex stand-in: the objects behind the public classes and the hooks into the test
// control (call log, injected failures, driver script, clock, injected spectra). Not for engine code.
//
// Locking: each system has one mutex that guards it and all of its sounds and channels; the control
// state has its own mutex, which is never held while a system mutex is taken.

#include "platform/fmod/FmodAudioData.h"
#include "platform/fmod/FmodControl.h"
#include "platform/fmod/fmod.hpp"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace fmod_internal
{

class SystemImpl;
class SoundImpl;

class ChannelImpl;

// What the engine holds as an FMOD::Channel*. A playing channel is freed when it ends; its handle
// stays (two pointers) until the system is released, so an old handle is always safe to call and
// answers FMOD_ERR_INVALID_HANDLE.
class ChannelHandle final : public FMOD::Channel
{
public:
    explicit ChannelHandle(SystemImpl* pSystem) : m_pSystem(pSystem) {}

    SystemImpl* m_pSystem = nullptr;   // not owned; owns this handle
    ChannelImpl* m_pChannel = nullptr; // the playing channel; null once it has ended
};

class ChannelImpl final
{
public:
    ChannelImpl(ChannelHandle* pHandle, SoundImpl* pSound, std::uint64_t uiSequence);

    ChannelHandle* m_pHandle = nullptr; // not owned
    SystemImpl* m_pSystem = nullptr;    // not owned; owns this channel
    SoundImpl* m_pSound = nullptr;      // not owned; null once the channel has ended
    std::uint64_t m_uiSequence = 0;     // play order, oldest first when a channel must be stolen
    std::int64_t m_iPositionNs = 0;     // play position in nanoseconds
    FmodControl::ChannelState m_State;  // pause, volume and 3-D settings; positionMs is not kept here

    bool IsActive() const { return m_pSound != nullptr; }
};

class SoundImpl final : public FMOD::Sound
{
public:
    SoundImpl(SystemImpl* pSystem, AudioData&& audio, FMOD_MODE mode);

    SystemImpl* m_pSystem = nullptr; // not owned; owns this sound
    AudioData m_Audio;
    FMOD_MODE m_uiMode = 0;
    std::int64_t m_iLengthNs = 0;

    bool IsLooped() const;
};

class ChannelGroupImpl final : public FMOD::ChannelGroup
{
public:
    explicit ChannelGroupImpl(SystemImpl* pSystem) : m_pSystem(pSystem) {}

    SystemImpl* m_pSystem = nullptr; // not owned; owns this group
};

class SystemImpl final : public FMOD::System
{
public:
    SystemImpl();
    ~SystemImpl();

    // Ends a channel: detaches it from its handle so that later calls on it answer
    // FMOD_ERR_INVALID_HANDLE; FreeEndedChannels frees it. Caller holds m_Mutex.
    void EndChannel(ChannelImpl* pChannel);
    // Frees the channels that have ended, keeping their handles. Not while iterating m_vChannels.
    // Caller holds m_Mutex.
    void FreeEndedChannels();
    // Moves a channel by delta nanoseconds, wrapping or ending it at the end of its sound.
    // Caller holds m_Mutex.
    void AdvanceChannel(ChannelImpl* pChannel, std::int64_t iDeltaNs);
    bool OwnsSound(const SoundImpl* pSound) const; // caller holds m_Mutex

    std::mutex m_Mutex;
    std::vector<FmodControl::Driver> m_vDrivers; // the driver script when the system was created
    FmodControl::SystemState m_State;
    ChannelGroupImpl m_MasterGroup;
    std::vector<std::unique_ptr<SoundImpl>> m_vSounds;
    // The channels playing (and ended ones until FreeEndedChannels), oldest first.
    std::vector<std::unique_ptr<ChannelImpl>> m_vChannels;
    // Every handle given out, so that old handles stay safe to call; a deque keeps them in place.
    std::deque<ChannelHandle> m_Handles;
    bool m_bEndedChannels = false; // some channel in m_vChannels has ended
    std::uint64_t m_uiNextSequence = 0;
    double m_fLastUpdateSeconds = 0.0;
};

// Records a call in the log and call counts; returns the injected failure for it or FMOD_OK.
FMOD_RESULT EnterCall(const char* call, const char* format, ...) __attribute__((format(printf, 2, 3)));
FMOD_RESULT EnterCall(const char* call); // a call without arguments

std::vector<FmodControl::Driver> GetScriptedDrivers();
unsigned int GetScriptedVersion();
double GetClockSeconds();
// Copies the injected spectrum for channelOffset into out; false when none is injected.
bool GetInjectedSpectrum(int channelOffset, int numValues, float* out);

// Live counts, kept by the objects themselves.
extern std::atomic<int> g_iLiveSystems;
extern std::atomic<int> g_iLiveSounds;
extern std::atomic<int> g_iLiveChannels;
extern std::atomic<int> g_iLeftAtSystemRelease;

// The registry of live systems that lets the control inspect them. Lock order: registry, then a
// system's mutex.
void RegisterSystem(SystemImpl* pSystem);
void UnregisterSystem(SystemImpl* pSystem);

} // namespace fmod_internal
