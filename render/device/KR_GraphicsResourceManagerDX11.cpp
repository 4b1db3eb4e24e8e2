#include "render/device/KR_GraphicsResourceManagerDX11.h"

KR_GraphicsResourceManagerDX11::KR_GraphicsResourceManagerDX11() = default;

KR_GraphicsResourceManagerDX11::~KR_GraphicsResourceManagerDX11() = default;

void KR_GraphicsResourceManagerDX11::DestroyUnusedTextures()
{
}

void KR_GraphicsResourceManagerDX11::DestroyUnusedBuffers()
{
}
