#pragma once
// The engine singleton's door to the renderer's device-level members (graphics context manager,
// device, resource manager, effect renderers, renderer, material manager, shader cache, shader
// core manager), whose classes live above the framework. The program entry implements it where
// the classes are visible and installs it with KE_ApplicationManager::SetGraphicsBridge before
// KE_Application::Initialize; tests install tests/support/FakeGraphicsBridge. Main thread only;
// every call gets a non-null object (the framework checks first). Does NOT own anything: the
// engine singleton owns what Create returns.

#include "platform/win32/WinTypes.h"

#include <cstdint>

class KU_ApplicationFactory;
class KR_GraphicsContextManager;
class KR_GraphicsDevice;
class KR_GraphicsResourceManager;
class KR_Renderer;
class KR_ParticleEngine;
class KR_PostFXEngine;
class KR_OITRenderer;
class KR_MetaBallRenderer;
class KR_MaterialManager;
class KR_ShaderCache;
class KR_ShaderCoreManager;

class KE_GraphicsBridge
{
public:
    KE_GraphicsBridge() = default;
    virtual ~KE_GraphicsBridge() = default;

    KE_GraphicsBridge(const KE_GraphicsBridge&) = delete;
    KE_GraphicsBridge& operator=(const KE_GraphicsBridge&) = delete;

    // Creation; null when the object cannot be made. The graphics context manager collects one
    // context from each of the factory's graphics context factories.
    virtual KR_GraphicsContextManager* CreateGraphicsContextManager(KU_ApplicationFactory* pFactory) = 0;
    virtual KR_MaterialManager* CreateMaterialManager() = 0;
    virtual KR_ShaderCache* CreateShaderCache() = 0;
    virtual KR_Renderer* CreateRenderer() = 0;

    // Deletion, one per member kind; each runs the object's own destructor.
    virtual void DeleteParticleEngine(KR_ParticleEngine* p) = 0;
    virtual void DeletePostFXEngine(KR_PostFXEngine* p) = 0;
    virtual void DeleteMetaBallRenderer(KR_MetaBallRenderer* p) = 0;
    virtual void DeleteOITRenderer(KR_OITRenderer* p) = 0;
    virtual void DeleteRenderer(KR_Renderer* p) = 0;
    virtual void DeleteGraphicsResourceManager(KR_GraphicsResourceManager* p) = 0;
    virtual void DeleteGraphicsContextManager(KR_GraphicsContextManager* p) = 0;
    virtual void DeleteGraphicsDevice(KR_GraphicsDevice* p) = 0;
    virtual void DeleteMaterialManager(KR_MaterialManager* p) = 0;
    virtual void DeleteShaderCache(KR_ShaderCache* p) = 0;
    virtual void DeleteShaderCoreManager(KR_ShaderCoreManager* p) = 0;

    // PollSelectedScreenResolution takes the dialog's choice (false: none); CreateGraphicsDevice
    // makes the device on the window and fills the singleton's device members through its setters
    // (false: no device); SetScreenResolution answers whether the stored client size changed.
    virtual bool PollSelectedScreenResolution(KR_GraphicsContextManager* pManager) = 0;
    virtual bool CreateGraphicsDevice(KR_GraphicsContextManager* pManager, HWND hWindow) = 0;
    virtual bool SetScreenResolution(KR_GraphicsContextManager* pManager, std::uint16_t uiWidth,
                                     std::uint16_t uiHeight) = 0;
    // Around each frame of the scene manager.
    virtual void PushRasterizerState(KR_GraphicsDevice* pDevice) = 0;
    virtual void PopRasterizerState(KR_GraphicsDevice* pDevice) = 0;
};
