#include "render/effects/KR_MetaBallRendererDX11.h"

KR_MetaBallRendererDX11::KR_MetaBallRendererDX11() = default;

KR_MetaBallRendererDX11::~KR_MetaBallRendererDX11() = default;

bool KR_MetaBallRendererDX11::Initialize()
{
    return true;
}

bool KR_MetaBallRendererDX11::CreateResources()
{
    return true;
}

bool KR_MetaBallRendererDX11::CreateSizeDependentResources()
{
    return true;
}

bool KR_MetaBallRendererDX11::ReleaseResources()
{
    return true;
}

bool KR_MetaBallRendererDX11::ReleaseSizeDependentResources()
{
    return true;
}
