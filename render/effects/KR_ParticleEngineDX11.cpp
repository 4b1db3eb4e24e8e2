#include "render/effects/KR_ParticleEngineDX11.h"

KR_ParticleEngineDX11::KR_ParticleEngineDX11() = default;

KR_ParticleEngineDX11::~KR_ParticleEngineDX11() = default;

bool KR_ParticleEngineDX11::Initialize()
{
    return true;
}

bool KR_ParticleEngineDX11::CreateResources()
{
    return true;
}

bool KR_ParticleEngineDX11::ReleaseResources()
{
    return true;
}

bool KR_ParticleEngineDX11::ReleaseSizeDependentResources()
{
    return true;
}
