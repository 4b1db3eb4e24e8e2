#pragma once
// A graphics bridge for tests: logs every call into the shared FakeBridgeLog ("create graphics
// context manager", "poll resolution", "create graphics device", "set resolution 640x480", "push",
// "pop", "delete graphics device", ...); results are scripted. A successful CreateGraphicsDevice
// sets the device-level tokens on the singleton, as the real graphics context does. Installs
// itself as the singleton's graphics bridge on construction and removes itself on destruction.

#include "framework/app/KE_GraphicsBridge.h"
#include "tests/support/FakeBridgeLog.h"

#include <cstdint>

class FakeGraphicsBridge : public KE_GraphicsBridge, public virtual FakeBridgeLog
{
public:
    FakeGraphicsBridge();
    ~FakeGraphicsBridge() override;

    // Scripted answers.
    bool m_bResolutionSelected = true;
    bool m_bDeviceCreated = true; // and the device members are set on the singleton
    std::uint16_t m_uiWidth = 0;  // the graphics context manager's stored client size
    std::uint16_t m_uiHeight = 0;

    HWND m_hDeviceWindow = nullptr; // read back

    KR_GraphicsContextManager* CreateGraphicsContextManager(KU_ApplicationFactory*) override
    {
        return MakeToken<KR_GraphicsContextManager>(GRAPHICS_CONTEXT_MANAGER);
    }
    KR_MaterialManager* CreateMaterialManager() override
    {
        return MakeToken<KR_MaterialManager>(MATERIAL_MANAGER);
    }
    KR_ShaderCache* CreateShaderCache() override { return MakeToken<KR_ShaderCache>(SHADER_CACHE); }
    KR_Renderer* CreateRenderer() override { return MakeToken<KR_Renderer>(RENDERER); }

    void DeleteParticleEngine(KR_ParticleEngine* p) override { Delete(p, PARTICLE_ENGINE); }
    void DeletePostFXEngine(KR_PostFXEngine* p) override { Delete(p, POSTFX_ENGINE); }
    void DeleteMetaBallRenderer(KR_MetaBallRenderer* p) override { Delete(p, METABALL_RENDERER); }
    void DeleteOITRenderer(KR_OITRenderer* p) override { Delete(p, OIT_RENDERER); }
    void DeleteRenderer(KR_Renderer* p) override { Delete(p, RENDERER); }
    void DeleteGraphicsResourceManager(KR_GraphicsResourceManager* p) override
    {
        Delete(p, RESOURCE_MANAGER);
    }
    void DeleteGraphicsContextManager(KR_GraphicsContextManager* p) override
    {
        Delete(p, GRAPHICS_CONTEXT_MANAGER);
    }
    void DeleteGraphicsDevice(KR_GraphicsDevice* p) override { Delete(p, GRAPHICS_DEVICE); }
    void DeleteMaterialManager(KR_MaterialManager* p) override { Delete(p, MATERIAL_MANAGER); }
    void DeleteShaderCache(KR_ShaderCache* p) override { Delete(p, SHADER_CACHE); }
    void DeleteShaderCoreManager(KR_ShaderCoreManager* p) override { Delete(p, SHADER_CORE_MANAGER); }

    bool PollSelectedScreenResolution(KR_GraphicsContextManager* p) override
    {
        return Check("poll resolution", p, GRAPHICS_CONTEXT_MANAGER, m_bResolutionSelected);
    }
    bool CreateGraphicsDevice(KR_GraphicsContextManager* p, HWND hWindow) override;
    bool SetScreenResolution(KR_GraphicsContextManager* p, std::uint16_t uiWidth,
                             std::uint16_t uiHeight) override;
    void PushRasterizerState(KR_GraphicsDevice* p) override { Check("push", p, GRAPHICS_DEVICE); }
    void PopRasterizerState(KR_GraphicsDevice* p) override { Check("pop", p, GRAPHICS_DEVICE); }

private:
    enum Kind
    {
        GRAPHICS_CONTEXT_MANAGER,
        GRAPHICS_DEVICE,
        RESOURCE_MANAGER,
        RENDERER,
        PARTICLE_ENGINE,
        POSTFX_ENGINE,
        OIT_RENDERER,
        METABALL_RENDERER,
        MATERIAL_MANAGER,
        SHADER_CACHE,
        SHADER_CORE_MANAGER,
        KIND_COUNT
    };
    static const char* const KIND_NAMES[KIND_COUNT];

    template <typename T>
    T* MakeToken(Kind kind)
    {
        return Make<T>(m_Tokens[kind], KIND_NAMES[kind]);
    }
    template <typename T>
    T* TokenOf(Kind kind)
    {
        return m_Tokens[kind].As<T>();
    }
    bool Check(const std::string& entry, const void* p, Kind kind, bool bResult = true)
    {
        return Record(entry, p, m_Tokens[kind], KIND_NAMES[kind], bResult);
    }
    void Delete(const void* p, Kind kind) { Check(std::string("delete ") + KIND_NAMES[kind], p, kind); }

    FakeBridgeToken m_Tokens[KIND_COUNT];
};
