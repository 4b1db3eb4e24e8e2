#pragma once
// Makes the program's audio context. A production hands one through
// KU_ApplicationFactory::GetAudioContextFactory; the audio context manager calls it once.

class KA_AudioContext;

class KU_AudioContextFactory
{
public:
    KU_AudioContextFactory() = default;
    virtual ~KU_AudioContextFactory() = default;

    KU_AudioContextFactory(const KU_AudioContextFactory&) = delete;
    KU_AudioContextFactory& operator=(const KU_AudioContextFactory&) = delete;

    // A new, uninitialised context owned by the caller; null when it cannot be made.
    virtual KA_AudioContext* CreateAudioContext() = 0;
};
