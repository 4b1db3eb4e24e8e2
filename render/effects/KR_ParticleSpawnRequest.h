#pragma once
// One request to the particle engine: how many particles of which type to spawn in which box,
// with which velocity, life time, random forces, scale and texture slices. A plain 92-byte record
// of 23 four-byte fields; the engine copies it into its queue (KR_ParticleEngine::QueueSpawn).

#include <cstdint>

struct KR_ParticleSpawnRequest
{
    std::uint32_t m_uiParticleCount = 0;
    std::uint32_t m_uiParticleType = 0;
    float m_vSpawnMin[3] = {0.0f, 0.0f, 0.0f};      // one corner of the spawn box
    float m_vSpawnMax[3] = {0.0f, 0.0f, 0.0f};      // the opposite corner
    float m_vSpawnVelocity[3] = {0.0f, 0.0f, 0.0f}; // world units per second
    float m_fSpawnVelocitySpread = 0.0f;
    float m_fSpawnVelocityDirectionSpread = 0.0f;
    float m_fSpawnLifeTime = 0.0f; // seconds
    float m_fSpawnLifeTimeSpread = 0.0f;
    float m_fSpawnLifeTimeXY = 0.0f;
    float m_fSpawnLifeTimeW = 0.0f;
    float m_fRandomForcesSpread = 0.0f;
    float m_fRandomForcesTimeSpread = 0.0f;
    float m_fParticleScale = 0.0f;
    float m_fParticleScaleSpread = 0.0f;
    std::uint32_t m_uiSpriteTextureIndex = 0; // slice of the sprite texture array
    std::uint32_t m_uiColorTextureIndex = 0;  // slice of the colour texture array
};

static_assert(sizeof(KR_ParticleSpawnRequest) == 92, "23 four-byte fields");
