#pragma once
// Makes the FMOD Ex audio context.

#include "audio/KU_AudioContextFactory.h"

class KA_AudioContextFmodFactory : public KU_AudioContextFactory
{
public:
    // A new KA_AudioContextFmod owned by the caller; null only when the allocation fails.
    KA_AudioContext* CreateAudioContext() override;
};
