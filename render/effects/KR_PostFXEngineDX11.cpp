#include "render/effects/KR_PostFXEngineDX11.h"

KR_PostFXEngineDX11::KR_PostFXEngineDX11() = default;

KR_PostFXEngineDX11::~KR_PostFXEngineDX11() = default;

bool KR_PostFXEngineDX11::Initialize()
{
    return true;
}

bool KR_PostFXEngineDX11::CreateResources()
{
    return true;
}

bool KR_PostFXEngineDX11::CreateSizeDependentResources()
{
    return true;
}

bool KR_PostFXEngineDX11::ReleaseResources()
{
    return true;
}

bool KR_PostFXEngineDX11::ReleaseSizeDependentResources()
{
    return true;
}
