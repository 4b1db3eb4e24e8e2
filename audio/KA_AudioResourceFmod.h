#pragma once
// A KA_AudioResource on one FMOD Ex sound and one channel. The channel is asked for at once, paused
// at the start; a channel call that finds it gone (ended, stopped or stolen: FMOD's invalid-handle
// result) asks for a fresh paused channel and repeats the call once, so a seek back into a sound
// that had ended lands where it was asked to.
//
// Owns the sound and six 64-byte aligned analysis arrays; the system is borrowed and must outlive
// the resource. Threads as KA_AudioResource.

#include "audio/KA_AudioResource.h"

#include <cstdint>

namespace FMOD
{
class System;
class Sound;
class Channel;
} // namespace FMOD

class KA_AudioResourceFmod : public KA_AudioResource
{
public:
    // pSystem not owned; pSound owned from now on.
    KA_AudioResourceFmod(FMOD::System* pSystem, FMOD::Sound* pSound);
    ~KA_AudioResourceFmod() override;

    std::int32_t Play() override;
    std::int32_t Pause() override;
    void UpdateSpectrum(double time) override;
    std::int32_t SetPosition(double seconds) override;
    double GetPosition() override;
    double GetLength() override;
    std::int32_t SetVolume(float volume) override;
    float GetVolume() override;
    std::int32_t Set3DAttributes(DirectX::FXMVECTOR position, DirectX::FXMVECTOR velocity) override;
    std::int32_t Set3DMinMaxDistance(float minDistance, float maxDistance) override;
    std::int32_t Set3DOcclusion(float directOcclusion, float reverbOcclusion) override;
    std::uint32_t GetNumFFTValues() const override { return m_uiNumFFTValues; }
    void SetNumFFTValues(std::uint32_t count) override;
    const float* GetSpectrum() const override;
    const float* GetChannelSpectrum() const override;
    void SetTriggerThreshold(float threshold) override { m_fTriggerThreshold = threshold; }
    void SetTriggerHoldTime(float seconds) override { m_fTriggerHoldTime = seconds; }
    bool IsChannelTriggered(std::uint32_t channel, std::uint32_t band) const override;
    bool IsTriggered(std::uint32_t band) const override;

    // The trigger rule over count values, four at a time with a scalar tail. Each value is
    // pValues[i], or the larger of pValues[i] and pRight[i] when pRight is given, and is written to
    // pCombined[i] when that is given. triggered = (pLastTrigger[i] + hold <= time) and
    // (threshold <= value), in single precision; a trigger stores time in pLastTrigger[i], and
    // pFlags[i] becomes all ones or 0. pValues, pCombined, pLastTrigger and pFlags are 16-byte
    // aligned. Public for tests and benchmarks.
    static void ApplyTriggerRule(const float* pValues, const float* pRight, float* pCombined,
                                 float* pLastTrigger, std::uint32_t* pFlags, std::uint32_t count, float time,
                                 float threshold, float hold);

private:
    // Plays the sound paused on a fresh channel when there is none; FMOD's result.
    int AcquireChannel();
    // Runs call(channel) on an acquired channel; when it answers invalid handle, forgets the
    // channel, acquires a fresh one and runs call once more. FMOD's result.
    template <typename Call>
    int CallChannel(Call call);
    void FreeArrays();

    FMOD::System* m_pSystem = nullptr;            // not owned
    FMOD::Sound* m_pSound = nullptr;              // owned (released through FMOD)
    FMOD::Channel* m_pChannel = nullptr;          // owned by FMOD; null when there is none
    float* m_pChannelSpectrum = nullptr;          // owned, 2n: left bands, then right bands
    float* m_pSpectrum = nullptr;                 // owned, n: per band the louder channel
    float* m_pChannelLastTriggerTime = nullptr;   // owned, 2n, seconds
    float* m_pLastTriggerTime = nullptr;          // owned, n, seconds
    std::uint32_t* m_pChannelTriggered = nullptr; // owned, 2n, all ones or 0
    std::uint32_t* m_pTriggered = nullptr;        // owned, n, all ones or 0
    float m_fTriggerThreshold = 0.8f;
    float m_fTriggerHoldTime = 0.1f; // seconds
    std::uint32_t m_uiNumFFTValues = 0;
};
