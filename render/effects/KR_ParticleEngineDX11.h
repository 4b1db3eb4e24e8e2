#pragma once
// Direct3D 11 implementation of the GPU particle system. Constructing it touches no device; its
// operations make no device objects and report success.

#include "render/effects/KR_ParticleEngine.h"

class KR_ParticleEngineDX11 : public KR_ParticleEngine
{
public:
    KR_ParticleEngineDX11();
    ~KR_ParticleEngineDX11() override;

    bool Initialize() override;
    bool CreateResources() override;
    bool ReleaseResources() override;
    bool ReleaseSizeDependentResources() override;
};
