#include "platform/fmod/FmodAudioData.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <new>
#include <numbers>

namespace fmod_internal
{
namespace
{

constexpr int MAX_WAV_CHANNELS = 16;
constexpr std::uint16_t WAVE_FORMAT_PCM = 0x0001;
constexpr std::uint16_t WAVE_FORMAT_IEEE_FLOAT = 0x0003;
constexpr std::uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

std::uint16_t ReadU16LE(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t ReadU32LE(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint32_t ReadU32BE(const std::uint8_t* p)
{
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}

float DecodeSample(const std::uint8_t* p, int bits, bool isFloat)
{
    if (isFloat)
    {
        float f;
        std::memcpy(&f, p, sizeof f);
        return f;
    }
    switch (bits)
    {
    case 8:
        return (static_cast<float>(p[0]) - 128.0f) / 128.0f;
    case 16:
        return static_cast<float>(static_cast<std::int16_t>(ReadU16LE(p))) / 32768.0f;
    case 24:
    {
        const std::uint32_t raw = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                                  (static_cast<std::uint32_t>(p[2]) << 16);
        const std::int32_t value = static_cast<std::int32_t>(raw << 8) >> 8; // sign-extended
        return static_cast<float>(value) / 8388608.0f;
    }
    default:
        return static_cast<float>(static_cast<double>(static_cast<std::int32_t>(ReadU32LE(p))) /
                                  2147483648.0);
    }
}

struct MpegHeader
{
    int version = 0; // 1 MPEG-1, 2 MPEG-2, 3 MPEG-2.5
    int layer = 0;   // 1, 2 or 3
    int sampleRate = 0;
    int channels = 0;
    int frameBytes = 0;
    int samplesPerFrame = 0;
};

// Parses the four header bytes at p; false for anything that is not a usable frame header
// (reserved values, free-format bit rate).
bool ParseMpegHeader(const std::uint8_t* p, MpegHeader* header)
{
    static const int BITRATES_V1[3][16] = {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
    };
    static const int BITRATES_V2[3][16] = {
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
    };
    static const int SAMPLE_RATES[3][3] = {
        {44100, 48000, 32000},
        {22050, 24000, 16000},
        {11025, 12000, 8000},
    };

    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0)
        return false;
    const int versionBits = (p[1] >> 3) & 3;
    const int layerBits = (p[1] >> 1) & 3;
    const int bitrateIndex = (p[2] >> 4) & 15;
    const int rateIndex = (p[2] >> 2) & 3;
    const int padding = (p[2] >> 1) & 1;
    const int channelMode = (p[3] >> 6) & 3;
    if (versionBits == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3 ||
        (p[3] & 3) == 2)
    {
        return false;
    }
    header->version = versionBits == 3 ? 1 : (versionBits == 2 ? 2 : 3);
    header->layer = 4 - layerBits;
    header->sampleRate = SAMPLE_RATES[header->version - 1][rateIndex];
    header->channels = channelMode == 3 ? 1 : 2;
    const int kbps = header->version == 1 ? BITRATES_V1[header->layer - 1][bitrateIndex]
                                          : BITRATES_V2[header->layer - 1][bitrateIndex];
    const int bps = kbps * 1000;
    if (header->layer == 1)
    {
        header->frameBytes = (12 * bps / header->sampleRate + padding) * 4;
        header->samplesPerFrame = 384;
    }
    else if (header->layer == 2 || header->version == 1)
    {
        header->frameBytes = 144 * bps / header->sampleRate + padding;
        header->samplesPerFrame = 1152;
    }
    else
    {
        header->frameBytes = 72 * bps / header->sampleRate + padding;
        header->samplesPerFrame = 576;
    }
    return header->frameBytes >= 4;
}

bool SameStream(const MpegHeader& a, const MpegHeader& b)
{
    return a.version == b.version && a.layer == b.layer && a.sampleRate == b.sampleRate;
}

// A frame header at pos whose frame fits, followed by the end of the data, a tag, or a second
// header of the same stream: the test that tells a real frame from a stray 0xFF byte.
bool IsConfirmedFrame(const std::uint8_t* data, std::size_t size, std::size_t pos, MpegHeader* header)
{
    if (size - pos < 4 || !ParseMpegHeader(data + pos, header))
        return false;
    const std::size_t next = pos + static_cast<std::size_t>(header->frameBytes);
    if (next > size)
        return false;
    if (next == size || (size - next >= 3 && std::memcmp(data + next, "TAG", 3) == 0))
        return true;
    MpegHeader following;
    return size - next >= 4 && ParseMpegHeader(data + next, &following) && SameStream(*header, following);
}

// Frame count from a Xing or Info header inside the first frame; 0 when there is none.
std::uint64_t ReadXingFrameCount(const std::uint8_t* frame, const MpegHeader& header)
{
    if (header.layer != 3)
        return 0;
    std::size_t offset;
    if (header.version == 1)
        offset = header.channels == 1 ? 4 + 17 : 4 + 32;
    else
        offset = header.channels == 1 ? 4 + 9 : 4 + 17;
    const std::size_t frameBytes = static_cast<std::size_t>(header.frameBytes);
    if (offset + 12 > frameBytes)
        return 0;
    const std::uint8_t* tag = frame + offset;
    if (std::memcmp(tag, "Xing", 4) != 0 && std::memcmp(tag, "Info", 4) != 0)
        return 0;
    const std::uint32_t flags = ReadU32BE(tag + 4);
    if ((flags & 1u) == 0)
        return 0;
    return ReadU32BE(tag + 8);
}

std::size_t SkipId3v2Tags(const std::uint8_t* data, std::size_t size)
{
    std::size_t pos = 0;
    while (size - pos >= 10 && std::memcmp(data + pos, "ID3", 3) == 0)
    {
        const std::uint8_t* h = data + pos;
        if ((h[6] | h[7] | h[8] | h[9]) & 0x80)
            break; // not a synchsafe size: not a tag
        std::size_t tagBytes =
            10 + ((static_cast<std::size_t>(h[6]) << 21) | (static_cast<std::size_t>(h[7]) << 14) |
                  (static_cast<std::size_t>(h[8]) << 7) | static_cast<std::size_t>(h[9]));
        if (h[5] & 0x10)
            tagBytes += 10; // footer
        if (tagBytes > size - pos)
            return size;
        pos += tagBytes;
    }
    return pos;
}

void Fft(std::vector<std::complex<double>>& x)
{
    const std::size_t n = x.size();
    for (std::size_t i = 1, j = 0; i < n; ++i)
    {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(x[i], x[j]);
    }
    for (std::size_t len = 2; len <= n; len <<= 1)
    {
        const double angle = -2.0 * std::numbers::pi / static_cast<double>(len);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (std::size_t i = 0; i < n; i += len)
        {
            std::complex<double> w(1.0, 0.0);
            for (std::size_t k = 0; k < len / 2; ++k)
            {
                const std::complex<double> a = x[i + k];
                const std::complex<double> b = x[i + k + len / 2] * w;
                x[i + k] = a + b;
                x[i + k + len / 2] = a - b;
                w *= step;
            }
        }
    }
}

} // namespace

FMOD_RESULT ReadWav(const std::uint8_t* data, std::size_t size, AudioData* out)
{
    if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0)
        return FMOD_ERR_FORMAT;
    std::size_t end = size;
    const std::uint32_t riffBytes = ReadU32LE(data + 4);
    if (riffBytes >= 4 && static_cast<std::size_t>(riffBytes) < size - 8)
        end = 8 + static_cast<std::size_t>(riffBytes);

    bool haveFormat = false;
    std::uint16_t formatTag = 0;
    int channels = 0;
    std::uint32_t sampleRate = 0;
    int blockAlign = 0;
    int bits = 0;
    const std::uint8_t* samples = nullptr;
    std::size_t sampleBytes = 0;

    std::size_t pos = 12;
    while (end - pos >= 8 && samples == nullptr)
    {
        const std::uint8_t* chunk = data + pos;
        const std::size_t available = end - pos - 8;
        std::size_t chunkBytes = ReadU32LE(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0)
        {
            if (chunkBytes < 16 || chunkBytes > available)
                return FMOD_ERR_FILE_BAD;
            const std::uint8_t* f = chunk + 8;
            formatTag = ReadU16LE(f);
            channels = ReadU16LE(f + 2);
            sampleRate = ReadU32LE(f + 4);
            blockAlign = ReadU16LE(f + 12);
            bits = ReadU16LE(f + 14);
            if (formatTag == WAVE_FORMAT_EXTENSIBLE)
            {
                if (chunkBytes < 40 || ReadU16LE(f + 16) < 22)
                    return FMOD_ERR_FILE_BAD;
                formatTag = ReadU16LE(f + 24); // first two bytes of the sub-format GUID
            }
            haveFormat = true;
        }
        else if (std::memcmp(chunk, "data", 4) == 0)
        {
            if (!haveFormat)
                return FMOD_ERR_FILE_BAD;
            // A data chunk longer than the file (an unfinished recording) is read as far as it goes.
            samples = chunk + 8;
            sampleBytes = chunkBytes < available ? chunkBytes : available;
            break;
        }
        if (chunkBytes > available)
            break;
        pos += 8 + chunkBytes + (chunkBytes & 1u);
        if (pos > end)
            break;
    }
    if (!haveFormat || samples == nullptr)
        return FMOD_ERR_FILE_BAD;
    const bool isFloat = formatTag == WAVE_FORMAT_IEEE_FLOAT;
    if (formatTag != WAVE_FORMAT_PCM && !isFloat)
        return FMOD_ERR_FORMAT;
    if (isFloat ? bits != 32 : (bits != 8 && bits != 16 && bits != 24 && bits != 32))
        return FMOD_ERR_FORMAT;
    if (channels < 1 || channels > MAX_WAV_CHANNELS || sampleRate == 0 || sampleRate > 1000000 ||
        blockAlign != channels * bits / 8)
    {
        return FMOD_ERR_FILE_BAD;
    }

    const std::size_t frames = sampleBytes / static_cast<std::size_t>(blockAlign);
    AudioData result;
    result.type = FMOD_SOUND_TYPE_WAV;
    result.format = isFloat ? FMOD_SOUND_FORMAT_PCMFLOAT : static_cast<FMOD_SOUND_FORMAT>(bits / 8);
    result.channels = channels;
    result.sampleRate = static_cast<int>(sampleRate);
    result.frames = frames;
    try
    {
        result.samples.resize(frames * static_cast<std::size_t>(channels));
    }
    catch (const std::bad_alloc&)
    {
        return FMOD_ERR_MEMORY;
    }
    const std::size_t bytesPerSample = static_cast<std::size_t>(bits / 8);
    for (std::size_t i = 0; i < result.samples.size(); ++i)
        result.samples[i] = DecodeSample(samples + i * bytesPerSample, bits, isFloat);
    *out = std::move(result);
    return FMOD_OK;
}

FMOD_RESULT ReadMpeg(const std::uint8_t* data, std::size_t size, AudioData* out)
{
    std::size_t pos = SkipId3v2Tags(data, size);
    MpegHeader first;
    while (pos < size && !IsConfirmedFrame(data, size, pos, &first))
        ++pos;
    if (pos >= size)
        return FMOD_ERR_FORMAT;

    std::uint64_t totalSamples = 0;
    const std::uint64_t xingFrames = ReadXingFrameCount(data + pos, first);
    if (xingFrames > 0)
    {
        totalSamples = xingFrames * static_cast<std::uint64_t>(first.samplesPerFrame);
    }
    else
    {
        MpegHeader header = first;
        while (pos < size)
        {
            MpegHeader next;
            if (size - pos >= 4 && ParseMpegHeader(data + pos, &next) && SameStream(first, next) &&
                static_cast<std::size_t>(next.frameBytes) <= size - pos)
            {
                totalSamples += static_cast<std::uint64_t>(next.samplesPerFrame);
                pos += static_cast<std::size_t>(next.frameBytes);
                continue;
            }
            if ((size - pos >= 3 && std::memcmp(data + pos, "TAG", 3) == 0) ||
                (size - pos >= 8 && std::memcmp(data + pos, "APETAGEX", 8) == 0))
            {
                break;
            }
            // Lost sync (damaged data): continue at the next confirmed frame of the same stream.
            ++pos;
            while (pos < size && !(IsConfirmedFrame(data, size, pos, &header) && SameStream(first, header)))
                ++pos;
        }
    }

    AudioData result;
    result.type = FMOD_SOUND_TYPE_MPEG;
    result.format = FMOD_SOUND_FORMAT_MPEG;
    result.channels = first.channels;
    result.sampleRate = first.sampleRate;
    result.frames = totalSamples;
    *out = std::move(result);
    return FMOD_OK;
}

FMOD_RESULT ReadAudio(const std::uint8_t* data, std::size_t size, FMOD_SOUND_TYPE suggested, AudioData* out)
{
    const bool mpegFirst = suggested == FMOD_SOUND_TYPE_MPEG;
    FMOD_RESULT result = mpegFirst ? ReadMpeg(data, size, out) : ReadWav(data, size, out);
    if (result != FMOD_ERR_FORMAT)
        return result;
    return mpegFirst ? ReadWav(data, size, out) : ReadMpeg(data, size, out);
}

void ComputeSpectrum(const AudioData& audio, int channel, std::int64_t centreFrame, bool looped, int numBands,
                     float* out)
{
    const std::size_t bands = static_cast<std::size_t>(numBands);
    if (audio.samples.empty() || audio.frames == 0 || channel < 0 || channel >= audio.channels)
    {
        std::fill(out, out + bands, 0.0f);
        return;
    }
    const std::size_t n = bands * 2;
    const std::int64_t frames = static_cast<std::int64_t>(audio.frames);
    std::vector<std::complex<double>> x(n);
    const std::int64_t start = centreFrame - static_cast<std::int64_t>(bands);
    for (std::size_t i = 0; i < n; ++i)
    {
        std::int64_t frame = start + static_cast<std::int64_t>(i);
        if (looped)
        {
            frame %= frames;
            if (frame < 0)
                frame += frames;
        }
        else if (frame < 0 || frame >= frames)
        {
            continue;
        }
        const std::size_t index = static_cast<std::size_t>(frame) * static_cast<std::size_t>(audio.channels) +
                                  static_cast<std::size_t>(channel);
        x[i] = std::complex<double>(audio.samples[index], 0.0);
    }
    Fft(x);
    // A full-scale sine on a band's centre frequency reads 1.
    const double scale = 2.0 / static_cast<double>(n);
    for (std::size_t k = 0; k < bands; ++k)
    {
        const double magnitude = std::abs(x[k]) * scale;
        out[k] = static_cast<float>(magnitude > 1.0 ? 1.0 : magnitude);
    }
}

} // namespace fmod_internal
