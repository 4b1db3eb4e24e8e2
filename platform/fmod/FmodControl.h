#pragma once
// Test control of the FMOD Ex stand-in: the scripted driver list, injected version, results and
// spectra, the manual clock, the call log and inspection of system and channel state. Tests only;
// engine code never includes this header. Every function is thread-safe.

#include "platform/fmod/fmod.hpp"

#include <string>
#include <vector>

namespace FmodControl
{

struct Driver
{
    std::string name;
    FMOD_CAPS caps = FMOD_CAPS_NONE;
    FMOD_SPEAKERMODE speakerMode = FMOD_SPEAKERMODE_STEREO;
};

// What a system was told; listener and master volume as last set.
struct SystemState
{
    bool initialized = false;
    int maxChannels = 0; // valid when initialized
    FMOD_OUTPUTTYPE output = FMOD_OUTPUTTYPE_AUTODETECT;
    int driver = 0;
    FMOD_SPEAKERMODE speakerMode = FMOD_SPEAKERMODE_STEREO;
    unsigned int dspBufferLength = 1024;
    int dspNumBuffers = 4;
    int softwareRate = 48000;
    FMOD_SOUND_FORMAT softwareFormat = FMOD_SOUND_FORMAT_PCM16;
    FMOD_DSP_RESAMPLER resampler = FMOD_DSP_RESAMPLER_LINEAR;
    float dopplerScale = 1.0f;
    float distanceFactor = 1.0f;
    float rolloffScale = 1.0f;
    float masterVolume = 1.0f;
    FMOD_VECTOR listenerPosition = {0.0f, 0.0f, 0.0f};
    FMOD_VECTOR listenerVelocity = {0.0f, 0.0f, 0.0f};
    FMOD_VECTOR listenerForward = {0.0f, 0.0f, 1.0f};
    FMOD_VECTOR listenerUp = {0.0f, 1.0f, 0.0f};
    int soundCount = 0;         // sounds not yet released
    int activeChannelCount = 0; // channels that have not ended
    int channelRecordCount = 0; // channel records held; an ended channel keeps only its handle
};

struct ChannelState
{
    bool paused = true;
    unsigned int positionMs = 0;
    float volume = 1.0f;
    FMOD_VECTOR position = {0.0f, 0.0f, 0.0f};
    FMOD_VECTOR velocity = {0.0f, 0.0f, 0.0f};
    float minDistance = 1.0f;
    float maxDistance = 10000.0f;
    float directOcclusion = 0.0f;
    float reverbOcclusion = 0.0f;
};

// Back to defaults: one driver ("Stand-in audio device", no caps, stereo), version FMOD_VERSION,
// no queued failures, no injected spectra, the steady clock, an empty call log and zero counts.
// Live objects are left alone.
void Reset();

// Drivers that systems created from now on report; an empty list means no sound device.
void SetDrivers(const std::vector<Driver>& drivers);
void SetVersion(unsigned int version);

// The next call named call (as in the call log, e.g. "System::init", "Channel::setPaused",
// "FMOD_System_Create") answers result and does nothing else. Several failures queue up per name.
void FailNext(const std::string& call, FMOD_RESULT result);

// Every call made, as "System::init(1024, 0)", oldest first (the latest 10000 are kept), and the
// number of calls per name ("System::init").
std::vector<std::string> GetCallLog();
int GetCallCount(const std::string& call);
// Empties the call log and the call counts.
void ClearCallLog();

// Switches every system to a clock that only AdvanceClock moves.
void UseManualClock();
void AdvanceClock(double seconds);

// Magnitudes that getSpectrum returns for channel offset channelOffset on every channel in place of
// the analysis (missing bands read 0). An empty list ends the injection for that offset.
void SetSpectrum(int channelOffset, const std::vector<float>& values);

// False for an unknown system.
bool GetSystemState(const FMOD::System* system, SystemState* state);
// False when the channel has ended, been stopped or stolen.
bool GetChannelState(const FMOD::Channel* channel, ChannelState* state);

int GetLiveSystemCount();
int GetLiveSoundCount();
int GetLiveChannelCount();
// Sounds and channels that were still alive when their system was released, since Reset.
int GetObjectsLeftAtSystemRelease();

} // namespace FmodControl
