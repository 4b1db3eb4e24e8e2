#include "tests/support/TestAudioFiles.h"

#include <cmath>
#include <cstring>
#include <numbers>

namespace TestAudioFiles
{
namespace
{

void PutU16(std::vector<std::uint8_t>& out, unsigned value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    PutU16(out, value & 0xFFFFu);
    PutU16(out, value >> 16);
}

void PutTag(std::vector<std::uint8_t>& out, const char* tag)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(tag[i]));
}

std::int64_t ToInteger(float value, double scale)
{
    const double scaled = std::floor(static_cast<double>(value) * scale);
    return static_cast<std::int64_t>(std::fmax(-scale, std::fmin(scale - 1.0, scaled)));
}

} // namespace

std::vector<float> MakeSine(int channels, int sampleRate, std::size_t frames, double frequency,
                            float amplitude)
{
    std::vector<float> samples(frames * static_cast<std::size_t>(channels));
    for (std::size_t i = 0; i < frames; ++i)
    {
        const double t = static_cast<double>(i) / sampleRate;
        const float value = amplitude * static_cast<float>(std::sin(2.0 * std::numbers::pi * frequency * t));
        for (int c = 0; c < channels; ++c)
            samples[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] = value;
    }
    return samples;
}

std::vector<std::uint8_t> MakeWav(int channels, int sampleRate, int bits, bool isFloat,
                                  const std::vector<float>& samples, bool extensible)
{
    const unsigned bytesPerSample = static_cast<unsigned>(bits / 8);
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(samples.size() * bytesPerSample);
    const std::uint32_t fmtBytes = extensible ? 40 : 16;
    const unsigned formatTag = isFloat ? 3 : 1;

    std::vector<std::uint8_t> out;
    PutTag(out, "RIFF");
    PutU32(out, 4 + 8 + fmtBytes + 8 + dataBytes);
    PutTag(out, "WAVE");
    PutTag(out, "fmt ");
    PutU32(out, fmtBytes);
    PutU16(out, extensible ? 0xFFFE : formatTag);
    PutU16(out, static_cast<unsigned>(channels));
    PutU32(out, static_cast<std::uint32_t>(sampleRate));
    PutU32(out,
           static_cast<std::uint32_t>(sampleRate) * static_cast<std::uint32_t>(channels) * bytesPerSample);
    PutU16(out, static_cast<unsigned>(channels) * bytesPerSample);
    PutU16(out, static_cast<unsigned>(bits));
    if (extensible)
    {
        PutU16(out, 22);
        PutU16(out, static_cast<unsigned>(bits));
        PutU32(out, 0); // channel mask
        PutU16(out, formatTag);
        static const std::uint8_t GUID_TAIL[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                   0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        out.insert(out.end(), GUID_TAIL, GUID_TAIL + 14);
    }
    PutTag(out, "data");
    PutU32(out, dataBytes);
    for (float value : samples)
    {
        if (isFloat)
        {
            std::uint8_t bytes[4];
            std::memcpy(bytes, &value, 4);
            out.insert(out.end(), bytes, bytes + 4);
            continue;
        }
        switch (bits)
        {
        case 8:
            out.push_back(static_cast<std::uint8_t>(ToInteger(value, 128.0) + 128));
            break;
        case 16:
            PutU16(out, static_cast<unsigned>(ToInteger(value, 32768.0)) & 0xFFFFu);
            break;
        case 24:
        {
            const auto v = static_cast<std::uint32_t>(ToInteger(value, 8388608.0));
            out.push_back(static_cast<std::uint8_t>(v));
            out.push_back(static_cast<std::uint8_t>(v >> 8));
            out.push_back(static_cast<std::uint8_t>(v >> 16));
            break;
        }
        default:
            PutU32(out, static_cast<std::uint32_t>(ToInteger(value, 2147483648.0)));
            break;
        }
    }
    return out;
}

std::vector<std::uint8_t> MakeMp3(int frames, std::size_t id3Bytes, std::uint32_t xingFrames)
{
    std::vector<std::uint8_t> out;
    if (id3Bytes > 0)
    {
        const std::uint8_t header[10] = {'I',
                                         'D',
                                         '3',
                                         3,
                                         0,
                                         0,
                                         static_cast<std::uint8_t>((id3Bytes >> 21) & 0x7F),
                                         static_cast<std::uint8_t>((id3Bytes >> 14) & 0x7F),
                                         static_cast<std::uint8_t>((id3Bytes >> 7) & 0x7F),
                                         static_cast<std::uint8_t>(id3Bytes & 0x7F)};
        // out is empty: assign, since GCC 12 at -O3 misreads an insert here (-Wstringop-overflow).
        out.assign(header, header + 10);
        // The tag's payload is itself a run of frames, which the reader must skip with the tag.
        const std::vector<std::uint8_t> payload = MakeMp3(static_cast<int>(id3Bytes / MP3_FRAME_BYTES) + 1);
        out.insert(out.end(), payload.begin(), payload.begin() + static_cast<std::ptrdiff_t>(id3Bytes));
    }
    for (int f = 0; f < frames; ++f)
    {
        const std::size_t start = out.size();
        out.resize(start + MP3_FRAME_BYTES, 0);
        out[start + 0] = 0xFF;
        out[start + 1] = 0xFB; // MPEG-1, layer III, no CRC
        out[start + 2] = 0x90; // 128 kbit/s, 44100 Hz, no padding
        out[start + 3] = 0x00; // stereo
        if (f == 0 && xingFrames > 0)
        {
            std::uint8_t* tag = &out[start + 36];
            std::memcpy(tag, "Info", 4);
            tag[7] = 1; // frame count present
            tag[8] = static_cast<std::uint8_t>(xingFrames >> 24);
            tag[9] = static_cast<std::uint8_t>(xingFrames >> 16);
            tag[10] = static_cast<std::uint8_t>(xingFrames >> 8);
            tag[11] = static_cast<std::uint8_t>(xingFrames);
        }
    }
    return out;
}

} // namespace TestAudioFiles
