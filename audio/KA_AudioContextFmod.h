#pragma once
// The audio context on FMOD Ex, the only one the program has. Owns the FMOD system from Initialize
// to its destruction, which must come after every sound made here is gone. Threads and use as
// KA_AudioContext; FMOD's system accepts the worker's sound creation while the main thread updates.

#include "audio/KA_AudioContext.h"

namespace FMOD
{
class System;
} // namespace FMOD

class KA_AudioContextFmod : public KA_AudioContext
{
public:
    // Oldest FMOD Ex release the context works with (4.44.30).
    static constexpr unsigned int MIN_FMOD_VERSION = 0x00044430u;

    KA_AudioContextFmod() = default;
    ~KA_AudioContextFmod() override; // releases the FMOD system

    // False when the system cannot be made, is older than MIN_FMOD_VERSION or cannot list its
    // drivers. Without any driver the output is set to no sound.
    bool Initialize() override;
    const KB_GrowingArray<KB_String>& GetAudioDevices() const override { return m_gAudioDevices; }
    bool SelectAudioDevice(std::uint32_t index) override;
    std::int32_t Update() override;
    std::int32_t SetMasterVolume(float volume) override;
    std::int32_t Set3DListenerAttributes(const DirectX::XMFLOAT3* pPosition,
                                         const DirectX::XMFLOAT3* pVelocity,
                                         const DirectX::XMFLOAT3* pForward,
                                         const DirectX::XMFLOAT3* pUp) override;
    KA_AudioResource* CreateAudioResource(const KB_String& path, bool is3D, bool looped) override;

private:
    // Makes the sound from file bytes that the caller keeps and frees; null when FMOD refuses them.
    KA_AudioResource* CreateSound(const KB_String& path, const std::uint8_t* pData, std::uint64_t size,
                                  bool is3D, bool looped);

    FMOD::System* m_pSystem = nullptr;          // owned (released through FMOD); null before Initialize
    KB_GrowingArray<KB_String> m_gAudioDevices; // driver names in driver-index order
};
