#include "audio/KA_AudioContextFmodFactory.h"

#include "audio/KA_AudioContextFmod.h"

#include <new>

KA_AudioContext* KA_AudioContextFmodFactory::CreateAudioContext()
{
    return new (std::nothrow) KA_AudioContextFmod();
}
