#pragma once
// A graphics context for tests that has no hardware: its libraries load, it lists no adapters,
// outputs or modes (each list new and empty, owned by the caller as the interface says), applies
// no resolution and makes nothing. A test fake derives from it and overrides only what its code
// under test uses. Main thread only, as the interface.

#include "render/device/KR_GraphicsContext.h"

class NullGraphicsContext : public KR_GraphicsContext
{
public:
    bool LoadLibraries() override { return true; }
    KB_String GetName() override { return KB_String("Null"); }
    KB_GrowingArray<KB_String>* GetAdapterNames() override { return new KB_GrowingArray<KB_String>(); }
    KB_GrowingArray<KB_String>* GetOutputNames(std::uint32_t) override
    {
        return new KB_GrowingArray<KB_String>();
    }
    KB_GrowingArray<KR_ScreenResolution>* GetScreenResolutions(std::uint32_t, std::uint32_t) override
    {
        return new KB_GrowingArray<KR_ScreenResolution>();
    }
    KR_GraphicsDevice* CreateGraphicsDevice(HWND, std::uint32_t, std::uint32_t, KR_ScreenResolution*) override
    {
        return nullptr;
    }
    bool ApplyScreenResolution(KR_ScreenResolution*) override { return false; }
    KR_GraphicsResourceManager* CreateGraphicsResourceManager() override { return nullptr; }
    KR_ParticleEngine* CreateParticleEngine() override { return nullptr; }
    KR_PostFXEngine* CreatePostFXEngine() override { return nullptr; }
    KR_OITRenderer* CreateOITRenderer() override { return nullptr; }
    KR_MetaBallRenderer* CreateMetaBallRenderer() override { return nullptr; }
    KR_ShaderCoreManager* CreateShaderCoreManager() override { return nullptr; }
};
