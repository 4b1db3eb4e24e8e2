#pragma once
// Direct3D 11 implementation of order-independent transparency. Constructing it touches no device;
// its operations make no device objects and report success.

#include "render/effects/KR_OITRenderer.h"

class KR_OITRendererDX11 : public KR_OITRenderer
{
public:
    KR_OITRendererDX11();
    ~KR_OITRendererDX11() override;

    bool Initialize() override;
    bool CreateResources() override;
    bool CreateSizeDependentResources() override;
    bool ReleaseResources() override;
    bool ReleaseSizeDependentResources() override;
    bool BeginTransparency() override;
    bool EndTransparency() override;
};
