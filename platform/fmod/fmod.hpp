#pragma once
// C++ interface of the FMOD Ex stand-in: System, Sound, Channel and ChannelGroup with the calls the
// engine makes. Nothing reaches a speaker: sounds are parsed (WAV decoded, MP3 measured), channels
// keep a play position that advances on System::update, and getSpectrum analyses decoded samples.
//
// Objects are made only by the library (System_Create, createSound, playSound) and are owned by it:
// a Sound lives until Sound::release, a Channel until it ends, is stopped or stolen (after which
// every call on it answers FMOD_ERR_INVALID_HANDLE; the handle stays safe to call until the system
// is released), and everything until System::release.
//
// Threads: every call locks its system, so sounds may be created on a worker while the main thread
// calls update. Tests drive the layer through platform/fmod/FmodControl.h.

#include "platform/fmod/fmod.h"

namespace FMOD
{

class Sound;
class Channel;
class ChannelGroup;

class System
{
public:
    FMOD_RESULT release();

    FMOD_RESULT getVersion(unsigned int* version);
    FMOD_RESULT getNumDrivers(int* numdrivers);
    FMOD_RESULT getDriverInfo(int id, char* name, int namelen, FMOD_GUID* guid);
    FMOD_RESULT getDriverCaps(int id, FMOD_CAPS* caps, int* controlpaneloutputrate,
                              FMOD_SPEAKERMODE* controlpanelspeakermode);
    FMOD_RESULT setOutput(FMOD_OUTPUTTYPE output);
    FMOD_RESULT setDriver(int driver);
    FMOD_RESULT setSpeakerMode(FMOD_SPEAKERMODE speakermode);
    FMOD_RESULT setDSPBufferSize(unsigned int bufferlength, int numbuffers);
    FMOD_RESULT setSoftwareFormat(int samplerate, FMOD_SOUND_FORMAT format, int numoutputchannels,
                                  int maxinputchannels, FMOD_DSP_RESAMPLER resamplemethod);
    FMOD_RESULT init(int maxchannels, FMOD_INITFLAGS flags, void* extradriverdata);
    FMOD_RESULT set3DSettings(float dopplerscale, float distancefactor, float rolloffscale);
    FMOD_RESULT update();

    FMOD_RESULT getMasterChannelGroup(ChannelGroup** channelgroup);
    FMOD_RESULT set3DListenerAttributes(int listener, const FMOD_VECTOR* pos, const FMOD_VECTOR* vel,
                                        const FMOD_VECTOR* forward, const FMOD_VECTOR* up);

    // With FMOD_OPENMEMORY, name_or_data is exinfo->length bytes of file data; nothing of it is
    // kept after the call returns. FMOD_ERR_FORMAT for data that is neither WAV nor MPEG audio.
    FMOD_RESULT createSound(const char* name_or_data, FMOD_MODE mode, FMOD_CREATESOUNDEXINFO* exinfo,
                            Sound** sound);
    // channelid must be FMOD_CHANNEL_FREE; the new channel starts at position 0.
    FMOD_RESULT playSound(FMOD_CHANNELINDEX channelid, Sound* sound, bool paused, Channel** channel);

protected:
    System() = default;
    ~System() = default;
    System(const System&) = delete;
    System& operator=(const System&) = delete;
};

class Sound
{
public:
    FMOD_RESULT release(); // stops every channel playing this sound
    FMOD_RESULT getLength(unsigned int* length, FMOD_TIMEUNIT lengthtype);

protected:
    Sound() = default;
    ~Sound() = default;
    Sound(const Sound&) = delete;
    Sound& operator=(const Sound&) = delete;
};

class Channel
{
public:
    FMOD_RESULT stop();
    FMOD_RESULT setPaused(bool paused);
    FMOD_RESULT getPaused(bool* paused);
    // A looped sound wraps; a position at or past the end of a sound that does not loop ends the
    // channel.
    FMOD_RESULT setPosition(unsigned int position, FMOD_TIMEUNIT postype);
    FMOD_RESULT getPosition(unsigned int* position, FMOD_TIMEUNIT postype);
    FMOD_RESULT setVolume(float volume); // clamped to [0, 1]
    FMOD_RESULT getVolume(float* volume);
    FMOD_RESULT set3DAttributes(const FMOD_VECTOR* pos, const FMOD_VECTOR* vel);
    FMOD_RESULT set3DMinMaxDistance(float mindistance, float maxdistance);
    FMOD_RESULT set3DOcclusion(float directocclusion, float reverbocclusion);
    // numvalues: power of two from 64 to 8192. Magnitudes in [0, 1] of the 2 x numvalues samples
    // of one sound channel around the play position (zeros for a sound that is not decoded).
    FMOD_RESULT getSpectrum(float* spectrumarray, int numvalues, int channeloffset,
                            FMOD_DSP_FFT_WINDOW windowtype);

protected:
    Channel() = default;
    ~Channel() = default;
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;
};

class ChannelGroup
{
public:
    FMOD_RESULT setVolume(float volume);
    FMOD_RESULT getVolume(float* volume);

protected:
    ChannelGroup() = default;
    ~ChannelGroup() = default;
    ChannelGroup(const ChannelGroup&) = delete;
    ChannelGroup& operator=(const ChannelGroup&) = delete;
};

FMOD_RESULT System_Create(System** system);

} // namespace FMOD

// The C entry point, here taking the C++ system type.
FMOD_RESULT FMOD_System_Create(FMOD::System** system);
