#include "platform/fmod/FmodObjects.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace fmod_internal
{

namespace
{

constexpr int MAX_CHANNELS = 4093;
constexpr int DRIVER_OUTPUT_RATE = 48000;

std::int64_t SecondsToNs(double seconds)
{
    if (!(seconds > 0.0))
        return 0;
    return static_cast<std::int64_t>(std::llround(seconds * 1e9));
}

} // namespace

ChannelImpl::ChannelImpl(ChannelHandle* pHandle, SoundImpl* pSound, std::uint64_t uiSequence)
    : m_pHandle(pHandle), m_pSystem(pHandle->m_pSystem), m_pSound(pSound), m_uiSequence(uiSequence)
{
    pHandle->m_pChannel = this;
}

SoundImpl::SoundImpl(SystemImpl* pSystem, AudioData&& audio, FMOD_MODE mode)
    : m_pSystem(pSystem), m_Audio(std::move(audio)), m_uiMode(mode)
{
    const unsigned __int128 ns = static_cast<unsigned __int128>(m_Audio.frames) * 1000000000u /
                                 static_cast<unsigned int>(m_Audio.sampleRate);
    m_iLengthNs = static_cast<std::int64_t>(ns);
}

bool SoundImpl::IsLooped() const
{
    return (m_uiMode & (FMOD_LOOP_NORMAL | FMOD_LOOP_BIDI)) != 0 && (m_uiMode & FMOD_LOOP_OFF) == 0;
}

SystemImpl::SystemImpl() : m_vDrivers(GetScriptedDrivers()), m_MasterGroup(this)
{
    ++g_iLiveSystems;
}

SystemImpl::~SystemImpl()
{
    --g_iLiveSystems;
}

void SystemImpl::EndChannel(ChannelImpl* pChannel)
{
    if (pChannel->IsActive())
    {
        pChannel->m_pSound = nullptr;
        pChannel->m_pHandle->m_pChannel = nullptr;
        m_bEndedChannels = true;
        --g_iLiveChannels;
    }
}

void SystemImpl::FreeEndedChannels()
{
    if (!m_bEndedChannels)
        return;
    std::erase_if(m_vChannels, [](const std::unique_ptr<ChannelImpl>& p) { return !p->IsActive(); });
    m_bEndedChannels = false;
}

void SystemImpl::AdvanceChannel(ChannelImpl* pChannel, std::int64_t iDeltaNs)
{
    const SoundImpl* pSound = pChannel->m_pSound;
    pChannel->m_iPositionNs += iDeltaNs;
    if (pChannel->m_iPositionNs < pSound->m_iLengthNs)
        return;
    if (pSound->IsLooped())
        pChannel->m_iPositionNs = pSound->m_iLengthNs > 0 ? pChannel->m_iPositionNs % pSound->m_iLengthNs : 0;
    else
        EndChannel(pChannel);
}

bool SystemImpl::OwnsSound(const SoundImpl* pSound) const
{
    for (const auto& p : m_vSounds)
        if (p.get() == pSound)
            return true;
    return false;
}

} // namespace fmod_internal

using namespace fmod_internal;

namespace
{

SystemImpl* Impl(FMOD::System* p)
{
    return static_cast<SystemImpl*>(p);
}

// Runs body(system) under the system lock while init has not succeeded yet (init and the settings
// it takes); its result, or FMOD_ERR_INITIALIZED once it has.
template <class Body>
FMOD_RESULT BeforeInit(FMOD::System* p, Body body)
{
    SystemImpl* pSystem = Impl(p);
    std::lock_guard<std::mutex> lock(pSystem->m_Mutex);
    if (pSystem->m_State.initialized)
        return FMOD_ERR_INITIALIZED;
    return body(pSystem);
}

FMOD_RESULT CreateSystem(const char* call, FMOD::System** system)
{
    const FMOD_RESULT result = EnterCall(call);
    if (system == nullptr)
        return FMOD_ERR_INVALID_PARAM;
    *system = nullptr;
    if (result != FMOD_OK)
        return result;
    SystemImpl* pSystem = new SystemImpl();
    RegisterSystem(pSystem);
    *system = pSystem;
    return FMOD_OK;
}

} // namespace

FMOD_RESULT FMOD::System_Create(FMOD::System** system)
{
    return CreateSystem("System_Create", system);
}

FMOD_RESULT FMOD_System_Create(FMOD::System** system)
{
    return CreateSystem("FMOD_System_Create", system);
}

namespace FMOD
{

FMOD_RESULT System::release()
{
    if (FMOD_RESULT r = EnterCall("System::release"); r != FMOD_OK)
        return r;
    SystemImpl* pSystem = Impl(this);
    UnregisterSystem(pSystem);
    {
        std::lock_guard<std::mutex> lock(pSystem->m_Mutex);
        int left = 0;
        for (auto& pChannel : pSystem->m_vChannels)
        {
            if (pChannel->IsActive())
            {
                ++left;
                pSystem->EndChannel(pChannel.get());
            }
        }
        left += static_cast<int>(pSystem->m_vSounds.size());
        g_iLiveSounds -= static_cast<int>(pSystem->m_vSounds.size());
        g_iLeftAtSystemRelease += left;
        pSystem->m_vSounds.clear();
        pSystem->m_vChannels.clear();
        pSystem->m_Handles.clear();
    }
    delete pSystem;
    return FMOD_OK;
}

FMOD_RESULT System::getVersion(unsigned int* version)
{
    if (FMOD_RESULT r = EnterCall("System::getVersion"); r != FMOD_OK)
        return r;
    if (version == nullptr)
        return FMOD_ERR_INVALID_PARAM;
    *version = GetScriptedVersion();
    return FMOD_OK;
}

FMOD_RESULT System::getNumDrivers(int* numdrivers)
{
    if (FMOD_RESULT r = EnterCall("System::getNumDrivers"); r != FMOD_OK)
        return r;
    if (numdrivers == nullptr)
        return FMOD_ERR_INVALID_PARAM;
    SystemImpl* pSystem = Impl(this);
    std::lock_guard<std::mutex> lock(pSystem->m_Mutex);
    *numdrivers = static_cast<int>(pSystem->m_vDrivers.size());
    return FMOD_OK;
}

FMOD_RESULT System::getDriverInfo(int id, char* name, int namelen, FMOD_GUID* guid)
{
    if (FMOD_RESULT r = EnterCall("System::getDriverInfo", "%d, %d", id, namelen); r != FMOD_OK)
        return r;
    SystemImpl* pSystem = Impl(this);
    std::lock_guard<std::mutex> lock(pSystem->m_Mutex);
    if (id < 0 || static_cast<std::size_t>(id) >= pSystem->m_vDrivers.size() ||
        (name != nullptr && namelen < 1))
    {
        return FMOD_ERR_INVALID_PARAM;
    }
    if (name != nullptr)
    {
        const std::string& driverName = pSystem->m_vDrivers[static_cast<std::size_t>(id)].name;
        const std::size_t count = std::min(driverName.size(), static_cast<std::size_t>(namelen - 1));
        std::memcpy(name, driverName.data(), count);
        name[count] = '\0';
    }
    if (guid != nullptr)
    {
        *guid = FMOD_GUID{};
        guid->Data1 = static_cast<std::uint32_t>(id + 1);
    }
    return FMOD_OK;
}

FMOD_RESULT System::getDriverCaps(int id, FMOD_CAPS* caps, int* controlpaneloutputrate,
                                  FMOD_SPEAKERMODE* controlpanelspeakermode)
{
    if (FMOD_RESULT r = EnterCall("System::getDriverCaps", "%d", id); r != FMOD_OK)
        return r;
    SystemImpl* pSystem = Impl(this);
    std::lock_guard<std::mutex> lock(pSystem->m_Mutex);
    if (id < 0 || static_cast<std::size_t>(id) >= pSystem->m_vDrivers.size())
        return FMOD_ERR_INVALID_PARAM;
    const FmodControl::Driver& driver = pSystem->m_vDrivers[static_cast<std::size_t>(id)];
    if (caps != nullptr)
        *caps = driver.caps;
    if (controlpaneloutputrate != nullptr)
        *controlpaneloutputrate = DRIVER_OUTPUT_RATE;
    if (controlpanelspeakermode != nullptr)
        *controlpanelspeakermode = driver.speakerMode;
    return FMOD_OK;
}

FMOD_RESULT System::setOutput(FMOD_OUTPUTTYPE output)
{
    if (FMOD_RESULT r = EnterCall("System::setOutput", "%d", static_cast<int>(output)); r != FMOD_OK)
        return r;
    return BeforeInit(this,
                      [&](SystemImpl* pSystem)
                      {
                          if (output != FMOD_OUTPUTTYPE_AUTODETECT && output != FMOD_OUTPUTTYPE_NOSOUND)
                              return FMOD_ERR_INVALID_PARAM;
                          pSystem->m_State.output = output;
                          return FMOD_OK;
                      });
}

FMOD_RESULT System::setDriver(int driver)
{
    if (FMOD_RESULT r = EnterCall("System::setDriver", "%d", driver); r != FMOD_OK)
        return r;
    return BeforeInit(this,
                      [&](SystemImpl* pSystem)
                      {
                          if (driver < 0 || static_cast<std::size_t>(driver) >= pSystem->m_vDrivers.size())
                              return FMOD_ERR_INVALID_PARAM;
                          pSystem->m_State.driver = driver;
                          return FMOD_OK;
                      });
}

FMOD_RESULT System::setSpeakerMode(FMOD_SPEAKERMODE speakermode)
{
    if (FMOD_RESULT r = EnterCall("System::setSpeakerMode", "%d", static_cast<int>(speakermode));
        r != FMOD_OK)
    {
        return r;
    }
    return BeforeInit(this,
                      [&](SystemImpl* pSystem)
                      {
                          if (speakermode < FMOD_SPEAKERMODE_RAW || speakermode > FMOD_SPEAKERMODE_7POINT1)
                              return FMOD_ERR_INVALID_PARAM;
                          pSystem->m_State.speakerMode = speakermode;
                          return FMOD_OK;
                      });
}

FMOD_RESULT System::setDSPBufferSize(unsigned int bufferlength, int numbuffers)
{
    if (FMOD_RESULT r = EnterCall("System::setDSPBufferSize", "%u, %d", bufferlength, numbuffers);
        r != FMOD_OK)
    {
        return r;
    }
    return BeforeInit(this,
                      [&](SystemImpl* pSystem)
                      {
                          if (bufferlength == 0 || numbuffers < 2)
                              return FMOD_ERR_INVALID_PARAM;
                          pSystem->m_State.dspBufferLength = bufferlength;
                          pSystem->m_State.dspNumBuffers = numbuffers;
                          return FMOD_OK;
                      });
}

FMOD_RESULT System::setSoftwareFormat(int samplerate, FMOD_SOUND_FORMAT format, int numoutputchannels,
                                      int maxinputchannels, FMOD_DSP_RESAMPLER resamplemethod)
{
    if (FMOD_RESULT r =
            EnterCall("System::setSoftwareFormat", "%d, %d, %d, %d, %d", samplerate, static_cast<int>(format),
                      numoutputchannels, maxinputchannels, static_cast<int>(resamplemethod));
        r != FMOD_OK)
    {
        return r;
    }
    return BeforeInit(this,
                      [&](SystemImpl* pSystem)
                      {
                          if (samplerate < 8000 || samplerate > 192000 || format < FMOD_SOUND_FORMAT_PCM8 ||
                              format > FMOD_SOUND_FORMAT_PCMFLOAT || numoutputchannels < 0 ||
                              maxinputchannels < 0 || resamplemethod < FMOD_DSP_RESAMPLER_NOINTERP ||
                              resamplemethod > FMOD_DSP_RESAMPLER_SPLINE)
                          {
                              return FMOD_ERR_INVALID_PARAM;
                          }
                          pSystem->m_State.softwareRate = samplerate;
                          pSystem->m_State.softwareFormat = format;
                          pSystem->m_State.resampler = resamplemethod;
                          return FMOD_OK;
                      });
}

FMOD_RESULT System::init(int maxchannels, FMOD_INITFLAGS flags, void* extradriverdata)
{
    if (FMOD_RESULT r = EnterCall("System::init", "%d, %u", maxchannels, flags); r != FMOD_OK)
        return r;
    (void)extradriverdata;
    const double now = GetClockSeconds();
    return BeforeInit(this,
                      [&](SystemImpl* pSystem)
                      {
                          if (maxchannels < 1 || maxchannels > MAX_CHANNELS)
                              return FMOD_ERR_INVALID_PARAM;
                          if (pSystem->m_vDrivers.empty() &&
                              pSystem->m_State.output != FMOD_OUTPUTTYPE_NOSOUND)
                              return FMOD_ERR_OUTPUT_INIT;
                          pSystem->m_State.initialized = true;
                          pSystem->m_State.maxChannels = maxchannels;
                          pSystem->m_fLastUpdateSeconds = now;
                          return FMOD_OK;
                      });
}

FMOD_RESULT System::set3DSettings(float dopplerscale, float distancefactor, float rolloffscale)
{
    if (FMOD_RESULT r = EnterCall("System::set3DSettings", "%g, %g, %g", static_cast<double>(dopplerscale),
                                  static_cast<double>(distancefactor), static_cast<double>(rolloffscale));
        r != FMOD_OK)
    {
        return r;
    }
    if (!(dopplerscale >= 0.0f) || !(distancefactor > 0.0f) || !(rolloffscale >= 0.0f))
        return FMOD_ERR_INVALID_PARAM;
    SystemImpl* pSystem = Impl(this);
    std::lock_guard<std::mutex> lock(pSystem->m_Mutex);
    pSystem->m_State.dopplerScale = dopplerscale;
    pSystem->m_State.distanceFactor = distancefactor;
    pSystem->m_State.rolloffScale = rolloffscale;
    return FMOD_OK;
}

FMOD_RESULT System::update()
{
    if (FMOD_RESULT r = EnterCall("System::update"); r != FMOD_OK)
        return r;
    const double now = GetClockSeconds();
    SystemImpl* pSystem = Impl(this);
    std::lock_guard<std::mutex> lock(pSystem->m_Mutex);
    if (!pSystem->m_State.initialized)
        return FMOD_ERR_UNINITIALIZED;
    const std::int64_t deltaNs = SecondsToNs(now - pSystem->m_fLastUpdateSeconds);
    pSystem->m_fLastUpdateSeconds = now;
    if (deltaNs == 0)
        return FMOD_OK;
    for (auto& pChannel : pSystem->m_vChannels)
        if (pChannel->IsActive() && !pChannel->m_State.paused)
            pSystem->AdvanceChannel(pChannel.get(), deltaNs);
    pSystem->FreeEndedChannels();
    return FMOD_OK;
}

FMOD_RESULT System::getMasterChannelGroup(ChannelGroup** channelgroup)
{
    if (FMOD_RESULT r = EnterCall("System::getMasterChannelGroup"); r != FMOD_OK)
        return r;
    if (channelgroup == nullptr)
        return FMOD_ERR_INVALID_PARAM;
    *channelgroup = nullptr;
    SystemImpl* pSystem = Impl(this);
    std::lock_guard<std::mutex> lock(pSystem->m_Mutex);
    if (!pSystem->m_State.initialized)
        return FMOD_ERR_UNINITIALIZED;
    *channelgroup = &pSystem->m_MasterGroup;
    return FMOD_OK;
}

FMOD_RESULT System::set3DListenerAttributes(int listener, const FMOD_VECTOR* pos, const FMOD_VECTOR* vel,
                                            const FMOD_VECTOR* forward, const FMOD_VECTOR* up)
{
    const FMOD_VECTOR* vectors[4] = {pos, vel, forward, up};
    char text[4][64];
    for (int i = 0; i < 4; ++i)
    {
        if (vectors[i] == nullptr)
        {
            std::snprintf(text[i], sizeof text[i], "null");
        }
        else
        {
            std::snprintf(text[i], sizeof text[i], "(%g %g %g)", static_cast<double>(vectors[i]->x),
                          static_cast<double>(vectors[i]->y), static_cast<double>(vectors[i]->z));
        }
    }
    if (FMOD_RESULT r = EnterCall("System::set3DListenerAttributes", "%d, %s, %s, %s, %s", listener, text[0],
                                  text[1], text[2], text[3]);
        r != FMOD_OK)
    {
        return r;
    }
    if (listener != 0)
        return FMOD_ERR_INVALID_PARAM;
    SystemImpl* pSystem = Impl(this);
    std::lock_guard<std::mutex> lock(pSystem->m_Mutex);
    FmodControl::SystemState& state = pSystem->m_State;
    if (pos != nullptr)
        state.listenerPosition = *pos;
    if (vel != nullptr)
        state.listenerVelocity = *vel;
    if (forward != nullptr)
        state.listenerForward = *forward;
    if (up != nullptr)
        state.listenerUp = *up;
    return FMOD_OK;
}

FMOD_RESULT System::createSound(const char* name_or_data, FMOD_MODE mode, FMOD_CREATESOUNDEXINFO* exinfo,
                                Sound** sound)
{
    if (FMOD_RESULT r =
            EnterCall("System::createSound", "0x%x, %u, %d", mode, exinfo != nullptr ? exinfo->length : 0u,
                      exinfo != nullptr ? static_cast<int>(exinfo->suggestedsoundtype) : -1);
        r != FMOD_OK)
    {
        return r;
    }
    if (sound == nullptr)
        return FMOD_ERR_INVALID_PARAM;
    *sound = nullptr;
    if ((mode & FMOD_OPENMEMORY) == 0)
        return FMOD_ERR_FILE_NOTFOUND; // this layer has no file system of its own
    if (name_or_data == nullptr || exinfo == nullptr || exinfo->cbsize != static_cast<int>(sizeof *exinfo) ||
        exinfo->length == 0 || exinfo->fileoffset >= exinfo->length)
    {
        return FMOD_ERR_INVALID_PARAM;
    }
    SystemImpl* pSystem = Impl(this);
    {
        std::lock_guard<std::mutex> lock(pSystem->m_Mutex);
        if (!pSystem->m_State.initialized)
            return FMOD_ERR_UNINITIALIZED;
    }

    // Parsed without the lock: this is the slow part, and it may run on a worker while the main
    // thread updates.
    AudioData audio;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(name_or_data) + exinfo->fileoffset;
    const FMOD_RESULT result =
        ReadAudio(bytes, exinfo->length - exinfo->fileoffset, exinfo->suggestedsoundtype, &audio);
    if (result != FMOD_OK)
        return result;

    auto pSound = std::make_unique<SoundImpl>(pSystem, std::move(audio), mode);
    std::lock_guard<std::mutex> lock(pSystem->m_Mutex);
    *sound = pSound.get();
    pSystem->m_vSounds.push_back(std::move(pSound));
    ++g_iLiveSounds;
    return FMOD_OK;
}

FMOD_RESULT System::playSound(FMOD_CHANNELINDEX channelid, Sound* sound, bool paused, Channel** channel)
{
    if (FMOD_RESULT r =
            EnterCall("System::playSound", "%d, %s", static_cast<int>(channelid), paused ? "true" : "false");
        r != FMOD_OK)
    {
        return r;
    }
    if (channel == nullptr || sound == nullptr || channelid != FMOD_CHANNEL_FREE)
        return FMOD_ERR_INVALID_PARAM;
    *channel = nullptr;
    SystemImpl* pSystem = Impl(this);
    SoundImpl* pSound = static_cast<SoundImpl*>(sound);
    std::lock_guard<std::mutex> lock(pSystem->m_Mutex);
    if (!pSystem->m_State.initialized)
        return FMOD_ERR_UNINITIALIZED;
    if (!pSystem->OwnsSound(pSound))
        return FMOD_ERR_INVALID_HANDLE;
    // All channels busy: the oldest one is stolen.
    int active = 0;
    ChannelImpl* pOldest = nullptr;
    for (auto& p : pSystem->m_vChannels)
    {
        if (p->IsActive())
        {
            ++active;
            if (pOldest == nullptr || p->m_uiSequence < pOldest->m_uiSequence)
                pOldest = p.get();
        }
    }
    if (active >= pSystem->m_State.maxChannels && pOldest != nullptr)
        pSystem->EndChannel(pOldest);
    pSystem->FreeEndedChannels();
    ChannelHandle& handle = pSystem->m_Handles.emplace_back(pSystem);
    auto pChannel = std::make_unique<ChannelImpl>(&handle, pSound, pSystem->m_uiNextSequence++);
    pChannel->m_State.paused = paused;
    *channel = &handle;
    pSystem->m_vChannels.push_back(std::move(pChannel));
    ++g_iLiveChannels;
    return FMOD_OK;
}

FMOD_RESULT ChannelGroup::setVolume(float volume)
{
    if (FMOD_RESULT r = EnterCall("ChannelGroup::setVolume", "%g", static_cast<double>(volume)); r != FMOD_OK)
        return r;
    if (std::isnan(volume))
        return FMOD_ERR_INVALID_FLOAT;
    SystemImpl* pSystem = static_cast<ChannelGroupImpl*>(this)->m_pSystem;
    std::lock_guard<std::mutex> lock(pSystem->m_Mutex);
    pSystem->m_State.masterVolume = std::clamp(volume, 0.0f, 1.0f);
    return FMOD_OK;
}

FMOD_RESULT ChannelGroup::getVolume(float* volume)
{
    if (FMOD_RESULT r = EnterCall("ChannelGroup::getVolume"); r != FMOD_OK)
        return r;
    if (volume == nullptr)
        return FMOD_ERR_INVALID_PARAM;
    SystemImpl* pSystem = static_cast<ChannelGroupImpl*>(this)->m_pSystem;
    std::lock_guard<std::mutex> lock(pSystem->m_Mutex);
    *volume = pSystem->m_State.masterVolume;
    return FMOD_OK;
}

} // namespace FMOD
