// Fuzzes the FMOD stand-in's reading of sound files from memory (WAV and MPEG audio): the first
// byte picks the suggested codec, 3-D and looping, the rest is the file for createSound with
// FMOD_OPENMEMORY. A sound that is made is measured, played, moved and analysed. Each run has its
// own system, so nothing of one run is left in the next.

#include "platform/fmod/FmodControl.h"
#include "platform/fmod/fmod.hpp"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize)
{
    if (uiSize == 0)
        return 0;
    const std::uint8_t uiFlags = pData[0];
    // A copy of exactly the file, so reading past its end is caught.
    const std::vector<std::uint8_t> file(pData + 1, pData + uiSize);

    FmodControl::Reset();
    FmodControl::UseManualClock();
    FMOD::System* pSystem = nullptr;
    if (FMOD::System_Create(&pSystem) != FMOD_OK || pSystem->init(32, FMOD_INIT_NORMAL, nullptr) != FMOD_OK)
        __builtin_trap();

    FMOD_CREATESOUNDEXINFO exinfo = {};
    exinfo.cbsize = sizeof exinfo;
    exinfo.length = static_cast<unsigned int>(file.size());
    const FMOD_SOUND_TYPE types[] = {FMOD_SOUND_TYPE_UNKNOWN, FMOD_SOUND_TYPE_WAV, FMOD_SOUND_TYPE_MPEG,
                                     FMOD_SOUND_TYPE_MOD};
    exinfo.suggestedsoundtype = types[uiFlags & 3];
    FMOD_MODE mode = FMOD_OPENMEMORY | FMOD_CREATESAMPLE;
    if (uiFlags & 4)
        mode |= FMOD_3D;
    if (uiFlags & 8)
        mode |= FMOD_LOOP_NORMAL;
    FMOD::Sound* pSound = nullptr;
    // An empty file is passed as a valid pointer with length 0.
    static const char s_cEmpty = 0;
    const char* pFile = file.empty() ? &s_cEmpty : reinterpret_cast<const char*>(file.data());
    if (pSystem->createSound(pFile, mode, &exinfo, &pSound) == FMOD_OK && pSound != nullptr)
    {
        unsigned int uiLength = 0;
        pSound->getLength(&uiLength, FMOD_TIMEUNIT_MS);
        pSound->getLength(&uiLength, FMOD_TIMEUNIT_PCM);
        FMOD::Channel* pChannel = nullptr;
        if (pSystem->playSound(FMOD_CHANNEL_FREE, pSound, false, &pChannel) == FMOD_OK && pChannel != nullptr)
        {
            std::vector<float> spectrum(64);
            pChannel->getSpectrum(spectrum.data(), 64, 0, FMOD_DSP_FFT_WINDOW_HANNING);
            pChannel->getSpectrum(spectrum.data(), 64, 1, FMOD_DSP_FFT_WINDOW_RECT);
            pChannel->setPosition(uiLength / 2, FMOD_TIMEUNIT_PCM);
            FmodControl::AdvanceClock(0.25);
            pSystem->update();
            pChannel->getSpectrum(spectrum.data(), 64, 0, FMOD_DSP_FFT_WINDOW_BLACKMANHARRIS);
            unsigned int uiPosition = 0;
            pChannel->getPosition(&uiPosition, FMOD_TIMEUNIT_MS);
        }
        pSound->release();
    }
    pSystem->release();
    return 0;
}
