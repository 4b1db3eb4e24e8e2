#include "render/device/KR_GraphicsContextDX11Factory.h"

#include "render/device/KR_GraphicsContextDX11.h"

#include <new>

KR_GraphicsContext* KR_GraphicsContextDX11Factory::CreateGraphicsContext()
{
    return new (std::nothrow) KR_GraphicsContextDX11();
}
