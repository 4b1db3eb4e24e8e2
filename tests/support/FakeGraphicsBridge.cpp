#include "tests/support/FakeGraphicsBridge.h"

#include "framework/app/KE_ApplicationManager.h"

const char* const FakeGraphicsBridge::KIND_NAMES[KIND_COUNT] = {
    "graphics context manager", "graphics device",        "resource manager",   "renderer",
    "particle engine",          "post-processing engine", "OIT renderer",       "metaball renderer",
    "material manager",         "shader cache",           "shader core manager"};

FakeGraphicsBridge::FakeGraphicsBridge()
{
    KE_ApplicationManager::SetGraphicsBridge(this);
}

FakeGraphicsBridge::~FakeGraphicsBridge()
{
    KE_ApplicationManager::SetGraphicsBridge(nullptr);
}

bool FakeGraphicsBridge::CreateGraphicsDevice(KR_GraphicsContextManager* p, HWND hWindow)
{
    Check("create graphics device", p, GRAPHICS_CONTEXT_MANAGER);
    m_hDeviceWindow = hWindow;
    if (!m_bDeviceCreated || hWindow == nullptr)
        return false;
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    pEngine->SetGraphicsDevice(TokenOf<KR_GraphicsDevice>(GRAPHICS_DEVICE));
    pEngine->SetGraphicsResourceManager(TokenOf<KR_GraphicsResourceManager>(RESOURCE_MANAGER));
    pEngine->SetParticleEngine(TokenOf<KR_ParticleEngine>(PARTICLE_ENGINE));
    pEngine->SetPostFXEngine(TokenOf<KR_PostFXEngine>(POSTFX_ENGINE));
    pEngine->SetOITRenderer(TokenOf<KR_OITRenderer>(OIT_RENDERER));
    pEngine->SetMetaBallRenderer(TokenOf<KR_MetaBallRenderer>(METABALL_RENDERER));
    pEngine->SetShaderCoreManager(TokenOf<KR_ShaderCoreManager>(SHADER_CORE_MANAGER));
    return true;
}

bool FakeGraphicsBridge::SetScreenResolution(KR_GraphicsContextManager* p, std::uint16_t uiWidth,
                                             std::uint16_t uiHeight)
{
    Check("set resolution " + std::to_string(uiWidth) + "x" + std::to_string(uiHeight), p,
          GRAPHICS_CONTEXT_MANAGER);
    const bool bChanged = uiWidth != m_uiWidth || uiHeight != m_uiHeight;
    m_uiWidth = uiWidth;
    m_uiHeight = uiHeight;
    return bChanged;
}
