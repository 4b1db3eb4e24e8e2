#pragma once
// Direct3D 11 implementation of the post-processing chain. Constructing it touches no device; its
// operations make no device objects and report success.

#include "render/effects/KR_PostFXEngine.h"

class KR_PostFXEngineDX11 : public KR_PostFXEngine
{
public:
    KR_PostFXEngineDX11();
    ~KR_PostFXEngineDX11() override;

    bool Initialize() override;
    bool CreateResources() override;
    bool CreateSizeDependentResources() override;
    bool ReleaseResources() override;
    bool ReleaseSizeDependentResources() override;
};
