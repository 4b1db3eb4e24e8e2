#include "render/effects/KR_OITRendererDX11.h"

KR_OITRendererDX11::KR_OITRendererDX11() = default;

KR_OITRendererDX11::~KR_OITRendererDX11() = default;

bool KR_OITRendererDX11::Initialize()
{
    return true;
}

bool KR_OITRendererDX11::CreateResources()
{
    return true;
}

bool KR_OITRendererDX11::CreateSizeDependentResources()
{
    return true;
}

bool KR_OITRendererDX11::ReleaseResources()
{
    return true;
}

bool KR_OITRendererDX11::ReleaseSizeDependentResources()
{
    return true;
}

bool KR_OITRendererDX11::BeginTransparency()
{
    return true;
}

bool KR_OITRendererDX11::EndTransparency()
{
    return true;
}
