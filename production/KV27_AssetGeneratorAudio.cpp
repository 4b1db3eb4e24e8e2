// KV27_AssetGenerator: the music, a synthesised piece of the show's length as a 16-bit mono WAV
// file, its audio entity and the master volume curve.

#include "production/KV27_AssetGenerator.h"

#include "audio/KA_AudioEntity.h"
#include "framework/core/KB_ByteCursor.h"
#include "framework/core/KB_String.h"
#include "production/KV27_AssetGeneratorInternal.h"

#include <algorithm>
#include <cmath>

namespace KV27_AssetGeneratorInternal
{

namespace
{

double NoteFrequency(int iSemitonesFromA4)
{
    return 440.0 * std::pow(2.0, iSemitonesFromA4 / 12.0);
}

// The WAV file's bytes (RIFF header, then the samples little-endian); empty if they did not fit.
std::vector<std::uint8_t> SynthesiseMusic(double fLength)
{
    const std::uint32_t uiRate = KV27_AssetGenerator::MUSIC_SAMPLE_RATE;
    const std::uint32_t uiSamples = static_cast<std::uint32_t>(std::lround(fLength * uiRate));
    // 120 beats a minute, a chord per bar of four beats: A minor, F, C, G (roots from A4).
    const double fBeat = 0.5;
    const int chords[4][3] = {{-12, -9, -5}, {-16, -12, -9}, {-9, -5, -2}, {-14, -10, -7}};
    const int arpeggio[8] = {0, 1, 2, 1, 0, 2, 1, 2};
    std::vector<std::uint8_t> out(44 + static_cast<std::size_t>(uiSamples) * 2);
    KB_ByteWriter writer(out.data(), out.size());
    writer.WriteBytes("RIFF", 4);
    writer.WriteU32(36 + uiSamples * 2);
    writer.WriteBytes("WAVEfmt ", 8);
    writer.WriteU32(16);
    writer.WriteU16(1); // PCM
    writer.WriteU16(1); // mono
    writer.WriteU32(uiRate);
    writer.WriteU32(uiRate * 2);
    writer.WriteU16(2);
    writer.WriteU16(16);
    writer.WriteBytes("data", 4);
    writer.WriteU32(uiSamples * 2);
    Random noise{1};
    for (std::uint32_t i = 0; i < uiSamples; ++i)
    {
        const double t = static_cast<double>(i) / uiRate;
        const int iBar = static_cast<int>(t / (4.0 * fBeat));
        const int* chord = chords[iBar % 4];
        const double fInBar = t - iBar * 4.0 * fBeat;
        const double fInBeat = std::fmod(t, fBeat);
        // Pad: the chord, swelling in each bar.
        double fPad = 0.0;
        for (int k = 0; k < 3; ++k)
            fPad += std::sin(2.0 * PI * NoteFrequency(chord[k]) * t);
        fPad *= 0.09 * std::min(1.0, fInBar / 0.6);
        // Bass: the root two octaves down on every beat.
        const double fBass =
            0.22 * std::exp(-fInBeat * 6.0) * std::sin(2.0 * PI * NoteFrequency(chord[0] - 24) * t);
        // Arpeggio from the second scene on, an eighth note each.
        double fArp = 0.0;
        if (t >= KV27_AssetGenerator::SCENE_DURATIONS[0])
        {
            const int iStep = static_cast<int>(t / (fBeat / 2.0));
            const double fInStep = t - iStep * (fBeat / 2.0);
            const double f = NoteFrequency(chord[arpeggio[iStep % 8]] + 12);
            fArp = 0.08 * std::exp(-fInStep * 10.0) * (std::sin(2.0 * PI * f * t) > 0.0 ? 1.0 : -1.0) * 0.5;
        }
        // Off-beat hats: decaying noise.
        const double fOff = std::fmod(t + fBeat / 2.0, fBeat);
        const double fHat = 0.05 * std::exp(-fOff * 40.0) * (noise.Next() * 2.0 - 1.0);
        // Fade in over two seconds, out over the last three.
        const double fEnvelope = std::min({1.0, t / 2.0, (fLength - t) / 3.0});
        const double v = std::clamp((fPad + fBass + fArp + fHat) * std::max(0.0, fEnvelope), -1.0, 1.0);
        writer.WriteU16(static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(v * 32767.0))));
    }
    if (!writer.IsOk() || writer.GetRemaining() != 0)
        return {};
    return out;
}

} // namespace

bool Generator::WriteAudio()
{
    const double fLength = GetShowLength();
    const std::vector<std::uint8_t> wave = SynthesiseMusic(fLength);
    if (wave.empty())
        return Fail("cannot make the music");
    if (!WriteBytes("Audio/KV27_Moorglow.wav", wave))
        return false;
    // The entity is read by the engine's reader and written back by its writer, so the file has
    // exactly the engine's layout.
    const std::string sPath = "Entities/Audio/KV27_Music.aud";
    if (!WriteText(sPath, "d Music\ns 0\ne " + Format(fLength) +
                              "\nl 0\n3d 0\nf Assets/Audio/KV27_Moorglow.wav\nvo 1\n"))
        return false;
    KA_AudioEntity music;
    if (!music.Load(KB_String(sPath.c_str())) || !music.Save())
        return Fail("cannot write the music entity " + sPath);
    // The master volume follows the show's fade-out.
    return SaveCurve(
        "LinearInterpolation", "Entities/Audio/MasterVolume.int", 0.0, fLength,
        {{0.0, 1.0f, 0.0f, 0.0f}, {fLength - 3.0, 1.0f, 0.0f, 0.0f}, {fLength, 0.8f, 0.0f, 0.0f}},
        "Master volume");
}

} // namespace KV27_AssetGeneratorInternal
