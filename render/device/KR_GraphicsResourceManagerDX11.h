#pragma once
// Direct3D 11 resource manager. It keeps no objects: the pools are empty, so destroying the
// unused ones does nothing.

#include "render/device/KR_GraphicsResourceManager.h"

class KR_GraphicsResourceManagerDX11 : public KR_GraphicsResourceManager
{
public:
    KR_GraphicsResourceManagerDX11();
    ~KR_GraphicsResourceManagerDX11() override;

    void DestroyUnusedTextures() override;
    void DestroyUnusedBuffers() override;
};
