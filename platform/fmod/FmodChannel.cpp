#include "platform/fmod/FmodObjects.h"

#include <algorithm>
#include <cmath>

using namespace fmod_internal;

namespace
{

constexpr int MIN_SPECTRUM_VALUES = 64;
constexpr int MAX_SPECTRUM_VALUES = 8192;

ChannelHandle* Handle(FMOD::Channel* p)
{
    return static_cast<ChannelHandle*>(p);
}

std::int64_t FramesToNs(std::uint64_t frames, int sampleRate)
{
    return static_cast<std::int64_t>(static_cast<unsigned __int128>(frames) * 1000000000u /
                                     static_cast<unsigned int>(sampleRate));
}

std::int64_t NsToFrames(std::int64_t ns, int sampleRate)
{
    return static_cast<std::int64_t>(static_cast<__int128>(ns) * sampleRate / 1000000000);
}

// Runs body(channel) under the system lock when the channel is still playing; its result, or
// FMOD_ERR_INVALID_HANDLE for a channel that has ended.
template <class Body>
FMOD_RESULT OnActiveChannel(FMOD::Channel* p, Body body)
{
    ChannelHandle* pHandle = Handle(p);
    SystemImpl* pSystem = pHandle->m_pSystem;
    std::lock_guard<std::mutex> lock(pSystem->m_Mutex);
    if (pHandle->m_pChannel == nullptr)
        return FMOD_ERR_INVALID_HANDLE;
    const FMOD_RESULT result = body(pHandle->m_pChannel);
    pSystem->FreeEndedChannels(); // the body may have ended the channel
    return result;
}

} // namespace

namespace FMOD
{

FMOD_RESULT Channel::stop()
{
    if (FMOD_RESULT r = EnterCall("Channel::stop"); r != FMOD_OK)
        return r;
    return OnActiveChannel(this,
                           [&](ChannelImpl* pChannel)
                           {
                               pChannel->m_pSystem->EndChannel(pChannel);
                               return FMOD_OK;
                           });
}

FMOD_RESULT Channel::setPaused(bool paused)
{
    if (FMOD_RESULT r = EnterCall("Channel::setPaused", "%s", paused ? "true" : "false"); r != FMOD_OK)
        return r;
    return OnActiveChannel(this,
                           [&](ChannelImpl* pChannel)
                           {
                               pChannel->m_State.paused = paused;
                               return FMOD_OK;
                           });
}

FMOD_RESULT Channel::getPaused(bool* paused)
{
    if (FMOD_RESULT r = EnterCall("Channel::getPaused"); r != FMOD_OK)
        return r;
    if (paused == nullptr)
        return FMOD_ERR_INVALID_PARAM;
    return OnActiveChannel(this,
                           [&](ChannelImpl* pChannel)
                           {
                               *paused = pChannel->m_State.paused;
                               return FMOD_OK;
                           });
}

FMOD_RESULT Channel::setPosition(unsigned int position, FMOD_TIMEUNIT postype)
{
    if (FMOD_RESULT r = EnterCall("Channel::setPosition", "%u, %u", position, postype); r != FMOD_OK)
        return r;
    return OnActiveChannel(this,
                           [&](ChannelImpl* pChannel)
                           {
                               std::int64_t ns;
                               if (postype == FMOD_TIMEUNIT_MS)
                                   ns = static_cast<std::int64_t>(position) * 1000000;
                               else if (postype == FMOD_TIMEUNIT_PCM)
                                   ns = FramesToNs(position, pChannel->m_pSound->m_Audio.sampleRate);
                               else
                                   return FMOD_ERR_INVALID_PARAM;
                               pChannel->m_iPositionNs = 0;
                               pChannel->m_pSystem->AdvanceChannel(pChannel, ns);
                               return FMOD_OK;
                           });
}

FMOD_RESULT Channel::getPosition(unsigned int* position, FMOD_TIMEUNIT postype)
{
    if (FMOD_RESULT r = EnterCall("Channel::getPosition", "%u", postype); r != FMOD_OK)
        return r;
    if (position == nullptr)
        return FMOD_ERR_INVALID_PARAM;
    return OnActiveChannel(
        this,
        [&](ChannelImpl* pChannel)
        {
            std::int64_t value;
            if (postype == FMOD_TIMEUNIT_MS)
                value = pChannel->m_iPositionNs / 1000000;
            else if (postype == FMOD_TIMEUNIT_PCM)
                value = NsToFrames(pChannel->m_iPositionNs, pChannel->m_pSound->m_Audio.sampleRate);
            else
                return FMOD_ERR_INVALID_PARAM;
            *position = static_cast<unsigned int>(std::min<std::int64_t>(value, 0xFFFFFFFF));
            return FMOD_OK;
        });
}

FMOD_RESULT Channel::setVolume(float volume)
{
    if (FMOD_RESULT r = EnterCall("Channel::setVolume", "%g", static_cast<double>(volume)); r != FMOD_OK)
        return r;
    return OnActiveChannel(this,
                           [&](ChannelImpl* pChannel)
                           {
                               if (std::isnan(volume))
                                   return FMOD_ERR_INVALID_FLOAT;
                               pChannel->m_State.volume = std::clamp(volume, 0.0f, 1.0f);
                               return FMOD_OK;
                           });
}

FMOD_RESULT Channel::getVolume(float* volume)
{
    if (FMOD_RESULT r = EnterCall("Channel::getVolume"); r != FMOD_OK)
        return r;
    if (volume == nullptr)
        return FMOD_ERR_INVALID_PARAM;
    return OnActiveChannel(this,
                           [&](ChannelImpl* pChannel)
                           {
                               *volume = pChannel->m_State.volume;
                               return FMOD_OK;
                           });
}

FMOD_RESULT Channel::set3DAttributes(const FMOD_VECTOR* pos, const FMOD_VECTOR* vel)
{
    if (FMOD_RESULT r = EnterCall("Channel::set3DAttributes", "%g, %g, %g, %g, %g, %g",
                                  pos != nullptr ? static_cast<double>(pos->x) : 0.0,
                                  pos != nullptr ? static_cast<double>(pos->y) : 0.0,
                                  pos != nullptr ? static_cast<double>(pos->z) : 0.0,
                                  vel != nullptr ? static_cast<double>(vel->x) : 0.0,
                                  vel != nullptr ? static_cast<double>(vel->y) : 0.0,
                                  vel != nullptr ? static_cast<double>(vel->z) : 0.0);
        r != FMOD_OK)
    {
        return r;
    }
    return OnActiveChannel(this,
                           [&](ChannelImpl* pChannel)
                           {
                               if (pos != nullptr)
                                   pChannel->m_State.position = *pos;
                               if (vel != nullptr)
                                   pChannel->m_State.velocity = *vel;
                               return FMOD_OK;
                           });
}

FMOD_RESULT Channel::set3DMinMaxDistance(float mindistance, float maxdistance)
{
    if (FMOD_RESULT r = EnterCall("Channel::set3DMinMaxDistance", "%g, %g", static_cast<double>(mindistance),
                                  static_cast<double>(maxdistance));
        r != FMOD_OK)
    {
        return r;
    }
    return OnActiveChannel(this,
                           [&](ChannelImpl* pChannel)
                           {
                               if (!(mindistance >= 0.0f) || !(maxdistance >= mindistance))
                                   return FMOD_ERR_INVALID_PARAM;
                               pChannel->m_State.minDistance = mindistance;
                               pChannel->m_State.maxDistance = maxdistance;
                               return FMOD_OK;
                           });
}

FMOD_RESULT Channel::set3DOcclusion(float directocclusion, float reverbocclusion)
{
    if (FMOD_RESULT r = EnterCall("Channel::set3DOcclusion", "%g, %g", static_cast<double>(directocclusion),
                                  static_cast<double>(reverbocclusion));
        r != FMOD_OK)
    {
        return r;
    }
    return OnActiveChannel(this,
                           [&](ChannelImpl* pChannel)
                           {
                               pChannel->m_State.directOcclusion = directocclusion;
                               pChannel->m_State.reverbOcclusion = reverbocclusion;
                               return FMOD_OK;
                           });
}

FMOD_RESULT Channel::getSpectrum(float* spectrumarray, int numvalues, int channeloffset,
                                 FMOD_DSP_FFT_WINDOW windowtype)
{
    if (FMOD_RESULT r = EnterCall("Channel::getSpectrum", "%d, %d, %d", numvalues, channeloffset,
                                  static_cast<int>(windowtype));
        r != FMOD_OK)
    {
        return r;
    }
    if (spectrumarray == nullptr || numvalues < MIN_SPECTRUM_VALUES || numvalues > MAX_SPECTRUM_VALUES ||
        (numvalues & (numvalues - 1)) != 0 || channeloffset < 0)
    {
        return FMOD_ERR_INVALID_PARAM;
    }
    if (windowtype != FMOD_DSP_FFT_WINDOW_RECT)
        return FMOD_ERR_UNIMPLEMENTED; // only the rectangular window is offered
    return OnActiveChannel(this,
                           [&](ChannelImpl* pChannel)
                           {
                               const SoundImpl* pSound = pChannel->m_pSound;
                               const int channels = pSound->m_Audio.channels;
                               // A mono sound reaches both stereo speakers, so either output channel shows
                               // its one channel.
                               if (channeloffset >= (channels == 1 ? 2 : channels))
                                   return FMOD_ERR_INVALID_PARAM;
                               const int soundChannel = channels == 1 ? 0 : channeloffset;
                               if (GetInjectedSpectrum(channeloffset, numvalues, spectrumarray))
                                   return FMOD_OK;
                               ComputeSpectrum(
                                   pSound->m_Audio, soundChannel,
                                   NsToFrames(pChannel->m_iPositionNs, pSound->m_Audio.sampleRate),
                                   pSound->IsLooped(), numvalues, spectrumarray);
                               return FMOD_OK;
                           });
}

} // namespace FMOD
