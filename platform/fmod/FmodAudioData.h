#pragma once
// Reading sound files from memory for the FMOD Ex stand-in: RIFF/WAVE with PCM 8/16/24/32-bit or
// 32-bit float samples (decoded to float), and MPEG audio layers I to III (measured from their
// frames, not decoded). Every size in the data is checked before use.

#include "platform/fmod/fmod.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fmod_internal
{

struct AudioData
{
    FMOD_SOUND_TYPE type = FMOD_SOUND_TYPE_UNKNOWN;
    FMOD_SOUND_FORMAT format = FMOD_SOUND_FORMAT_NONE;
    int channels = 0;
    int sampleRate = 0;
    std::uint64_t frames = 0;   // length in samples per channel
    std::vector<float> samples; // interleaved, frames x channels; empty when not decoded
};

// FMOD_ERR_FILE_BAD for a damaged WAV, FMOD_ERR_FORMAT for data in no known format or encoding.
FMOD_RESULT ReadWav(const std::uint8_t* data, std::size_t size, AudioData* out);
// FMOD_ERR_FORMAT when no run of valid MPEG audio frames is found (ID3v2 tags are skipped; a
// Xing/Info header gives the frame count).
FMOD_RESULT ReadMpeg(const std::uint8_t* data, std::size_t size, AudioData* out);
// Tries the suggested type first, then the others.
FMOD_RESULT ReadAudio(const std::uint8_t* data, std::size_t size, FMOD_SOUND_TYPE suggested, AudioData* out);

// Magnitude spectrum, in [0, 1], of 2 x numBands samples of one channel centred on centreFrame:
// numBands values, band k at k x sampleRate / (2 x numBands) Hz. Samples outside the sound are
// silence, or wrap around when looped. All zeros for a sound that is not decoded. numBands must be
// a power of two.
void ComputeSpectrum(const AudioData& audio, int channel, std::int64_t centreFrame, bool looped, int numBands,
                     float* out);

} // namespace fmod_internal
