#pragma once
// The program's one audio device, independent of the sound library behind it: lists the sound
// drivers, opens the chosen one, is updated once per frame, sets the master volume and the 3-D
// listener, and turns audio files into playable sounds. Owned by the audio context manager.
//
// Threads: CreateAudioResource runs on the load job's worker while the main thread calls Update;
// everything else runs on the main thread. No lock is taken here.
//
// Use: Initialize once after creation (false ends the program's start-up), GetAudioDevices for
// the configuration dialog, SelectAudioDevice with the chosen index, then per frame Update,
// SetMasterVolume and Set3DListenerAttributes. Result codes are the sound library's, 0 meaning
// success; callers ignore them.

#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"
#include "platform/directxmath/DirectXMath.h"

#include <cstdint>

class KA_AudioResource;

class KA_AudioContext
{
public:
    KA_AudioContext() = default;
    virtual ~KA_AudioContext() = default;

    KA_AudioContext(const KA_AudioContext&) = delete;
    KA_AudioContext& operator=(const KA_AudioContext&) = delete;

    // Creates the library's system and lists the drivers; true also when there is no driver.
    virtual bool Initialize() = 0;
    // Driver names in driver-index order; empty before Initialize and without drivers.
    virtual const KB_GrowingArray<KB_String>& GetAudioDevices() const = 0;
    // Opens driver index (an index at or past the count keeps the library's default driver) and
    // initialises the library; false when that fails, and sounds then fail or stay silent.
    virtual bool SelectAudioDevice(std::uint32_t index) = 0;
    virtual std::int32_t Update() = 0;
    // volume in [0, 1]; not clamped here.
    virtual std::int32_t SetMasterVolume(float volume) = 0;
    // Listener 0; each pointer is x, y, z (null leaves that attribute unchanged).
    virtual std::int32_t Set3DListenerAttributes(const DirectX::XMFLOAT3* pPosition,
                                                 const DirectX::XMFLOAT3* pVelocity,
                                                 const DirectX::XMFLOAT3* pForward,
                                                 const DirectX::XMFLOAT3* pUp) = 0;
    // Reads the file through the file manager and makes a sound of it with a paused channel;
    // null when the file cannot be read or decoded. The caller owns the result.
    virtual KA_AudioResource* CreateAudioResource(const KB_String& path, bool is3D, bool looped) = 0;
};
