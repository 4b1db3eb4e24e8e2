#pragma once
// Makes the Direct3D 11 graphics context; the production registers one with its application
// factory.

#include "render/device/KU_GraphicsContextFactory.h"

class KR_GraphicsContextDX11Factory : public KU_GraphicsContextFactory
{
public:
    KR_GraphicsContextDX11Factory() = default;
    ~KR_GraphicsContextDX11Factory() override = default;

    // A new KR_GraphicsContextDX11; null when memory runs out.
    KR_GraphicsContext* CreateGraphicsContext() override;
};
