#pragma once
// One audio entity of the audio resource manager and whether the manager has started its sound
// and not paused it since. The scenes read the manager's entries directly.

class KA_AudioEntity;

struct KA_AudioEntityEntry
{
    KA_AudioEntity* m_pEntity = nullptr; // owned by the audio resource manager
    bool m_bPlaying = false;
};
