#pragma once
// One playable sound with its own playback channel, independent of the sound library: play,
// pause, seek, volume, 3-D placement and occlusion, and a per-frame spectrum analysis that turns
// loud frequency bands into beat triggers. Made by KA_AudioContext::CreateAudioResource and owned
// by whoever asked for it.
//
// Threads: created and configured by the thread that loads the audio entities, then used on the
// main thread only. Result codes are the sound library's, 0 meaning success.
//
// Beat triggers: with n bands (SetNumFFTValues), each frame's UpdateSpectrum reads the left and
// right channel spectra; a band (per channel, and combined as the louder of the two) triggers when
// its value is at least the threshold and at least the hold time has passed since it last
// triggered. n = 0 (the default) means no analysis.

#include "platform/directxmath/DirectXMath.h"

#include <cstdint>

class KA_AudioResource
{
public:
    KA_AudioResource() = default;
    virtual ~KA_AudioResource() = default;

    KA_AudioResource(const KA_AudioResource&) = delete;
    KA_AudioResource& operator=(const KA_AudioResource&) = delete;

    virtual std::int32_t Play() = 0;
    virtual std::int32_t Pause() = 0;
    // time: the timeline time in seconds.
    virtual void UpdateSpectrum(double time) = 0;
    // seconds below 0 or NaN seek to the start.
    virtual std::int32_t SetPosition(double seconds) = 0;
    virtual double GetPosition() = 0; // seconds; 0.0 on failure
    virtual double GetLength() = 0;   // seconds; 0.0 on failure
    // Clamped to [0, 1]; NaN gives 0.
    virtual std::int32_t SetVolume(float volume) = 0;
    virtual float GetVolume() = 0;
    // x, y and z of each vector; w is ignored.
    virtual std::int32_t Set3DAttributes(DirectX::FXMVECTOR position, DirectX::FXMVECTOR velocity) = 0;
    virtual std::int32_t Set3DMinMaxDistance(float minDistance, float maxDistance) = 0;
    virtual std::int32_t Set3DOcclusion(float directOcclusion, float reverbOcclusion) = 0;
    virtual std::uint32_t GetNumFFTValues() const = 0;
    // Number of spectrum bands; any change resets the spectra and triggers.
    virtual void SetNumFFTValues(std::uint32_t count) = 0;
    // n bands, each the louder of the two channels; null while n is 0.
    virtual const float* GetSpectrum() const = 0;
    // 2n values: the left channel's n bands, then the right channel's; null while n is 0.
    virtual const float* GetChannelSpectrum() const = 0;
    virtual void SetTriggerThreshold(float threshold) = 0;
    virtual void SetTriggerHoldTime(float seconds) = 0;
    // channel 0 left, 1 right; false for a channel or band out of range.
    virtual bool IsChannelTriggered(std::uint32_t channel, std::uint32_t band) const = 0;
    virtual bool IsTriggered(std::uint32_t band) const = 0;
};
