#pragma once
// Sound files made in memory for tests of the audio stand-in and the audio subsystem: WAV files
// of any supported sample format and MPEG-1 layer III frame sequences (silent frames, valid headers).

#include <cstddef>
#include <cstdint>
#include <vector>

namespace TestAudioFiles
{

// Interleaved samples of a sine of the given amplitude on every channel.
std::vector<float> MakeSine(int channels, int sampleRate, std::size_t frames, double frequency,
                            float amplitude);

// A RIFF/WAVE file. bits 8, 16, 24 or 32 (integer) or 32 with isFloat; samples are interleaved and
// clamped to [-1, 1) when converted to integers. extensible writes WAVE_FORMAT_EXTENSIBLE.
std::vector<std::uint8_t> MakeWav(int channels, int sampleRate, int bits, bool isFloat,
                                  const std::vector<float>& samples, bool extensible = false);

// frames MPEG-1 layer III frames at 128 kbit/s, 44100 Hz, stereo (417 bytes, 1152 samples each).
// id3Bytes > 0 puts an ID3v2 tag of that many payload bytes in front; xingFrames > 0 writes an Info
// header with that frame count into the first frame.
std::vector<std::uint8_t> MakeMp3(int frames, std::size_t id3Bytes = 0, std::uint32_t xingFrames = 0);

constexpr int MP3_FRAME_BYTES = 417;
constexpr int MP3_SAMPLES_PER_FRAME = 1152;
constexpr int MP3_SAMPLE_RATE = 44100;

} // namespace TestAudioFiles
