#include "platform/fmod/FmodObjects.h"

using namespace fmod_internal;

namespace FMOD
{

FMOD_RESULT Sound::release()
{
    if (FMOD_RESULT r = EnterCall("Sound::release"); r != FMOD_OK)
        return r;
    SoundImpl* pSound = static_cast<SoundImpl*>(this);
    SystemImpl* pSystem = pSound->m_pSystem;
    std::lock_guard<std::mutex> lock(pSystem->m_Mutex);
    for (auto& pChannel : pSystem->m_vChannels)
        if (pChannel->m_pSound == pSound)
            pSystem->EndChannel(pChannel.get());
    pSystem->FreeEndedChannels();
    for (auto it = pSystem->m_vSounds.begin(); it != pSystem->m_vSounds.end(); ++it)
    {
        if (it->get() == pSound)
        {
            pSystem->m_vSounds.erase(it);
            --g_iLiveSounds;
            return FMOD_OK;
        }
    }
    return FMOD_ERR_INVALID_HANDLE;
}

FMOD_RESULT Sound::getLength(unsigned int* length, FMOD_TIMEUNIT lengthtype)
{
    if (FMOD_RESULT r = EnterCall("Sound::getLength", "%u", lengthtype); r != FMOD_OK)
        return r;
    if (length == nullptr)
        return FMOD_ERR_INVALID_PARAM;
    const AudioData& audio = static_cast<SoundImpl*>(this)->m_Audio;
    std::uint64_t value;
    if (lengthtype == FMOD_TIMEUNIT_MS)
        value = audio.frames * 1000u / static_cast<std::uint64_t>(audio.sampleRate);
    else if (lengthtype == FMOD_TIMEUNIT_PCM)
        value = audio.frames;
    else
        return FMOD_ERR_INVALID_PARAM;
    *length = value > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<unsigned int>(value);
    return FMOD_OK;
}

} // namespace FMOD
