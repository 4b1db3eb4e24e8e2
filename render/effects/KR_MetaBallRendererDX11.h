#pragma once
// Direct3D 11 implementation of the metaball renderer. Constructing it touches no device; its
// operations make no device objects and report success.

#include "render/effects/KR_MetaBallRenderer.h"

class KR_MetaBallRendererDX11 : public KR_MetaBallRenderer
{
public:
    KR_MetaBallRendererDX11();
    ~KR_MetaBallRendererDX11() override;

    bool Initialize() override;
    bool CreateResources() override;
    bool CreateSizeDependentResources() override;
    bool ReleaseResources() override;
    bool ReleaseSizeDependentResources() override;
};
