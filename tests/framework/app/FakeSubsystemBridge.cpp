#include "tests/framework/app/FakeSubsystemBridge.h"

#include "framework/app/KE_ApplicationManager.h"

#include <algorithm>
#include <gtest/gtest.h>

FakeSubsystemBridge::FakeSubsystemBridge()
{
    KE_ApplicationManager::SetSubsystemBridge(this);
}

FakeSubsystemBridge::~FakeSubsystemBridge()
{
    KE_ApplicationManager::SetSubsystemBridge(nullptr);
}

int FakeSubsystemBridge::Count(const std::string& entry) const
{
    return static_cast<int>(std::count(m_gLog.begin(), m_gLog.end(), entry));
}

int FakeSubsystemBridge::IndexOf(const std::string& entry) const
{
    auto it = std::find(m_gLog.begin(), m_gLog.end(), entry);
    return it == m_gLog.end() ? -1 : static_cast<int>(it - m_gLog.begin());
}

template <typename T>
T* FakeSubsystemBridge::Make(Token token, const char* pName)
{
    m_gLog.push_back(std::string("create ") + pName);
    return m_bMakeObjects ? reinterpret_cast<T*>(&m_Tokens[token]) : nullptr;
}

template <typename T>
void FakeSubsystemBridge::Delete(T* p, Token token, const char* pName)
{
    EXPECT_TRUE(Is(p, token)) << "deleting something else as the " << pName;
    m_gLog.push_back(std::string("delete ") + pName);
}

template <typename T>
bool FakeSubsystemBridge::Is(const T* p, Token token) const
{
    return reinterpret_cast<const char*>(p) == &m_Tokens[token];
}

KR_GraphicsContextManager* FakeSubsystemBridge::CreateGraphicsContextManager(KU_ApplicationFactory* pFactory)
{
    EXPECT_NE(pFactory, nullptr);
    return Make<KR_GraphicsContextManager>(TOKEN_GRAPHICS_CONTEXT_MANAGER, "graphics context manager");
}

KR_SceneManager* FakeSubsystemBridge::CreateSceneManager()
{
    return Make<KR_SceneManager>(TOKEN_SCENE_MANAGER, "scene manager");
}

KR_MaterialManager* FakeSubsystemBridge::CreateMaterialManager()
{
    return Make<KR_MaterialManager>(TOKEN_MATERIAL_MANAGER, "material manager");
}

KR_ShaderCache* FakeSubsystemBridge::CreateShaderCache()
{
    return Make<KR_ShaderCache>(TOKEN_SHADER_CACHE, "shader cache");
}

KG_ManagedFacade* FakeSubsystemBridge::CreateManagedFacade()
{
    return Make<KG_ManagedFacade>(TOKEN_MANAGED_FACADE, "facade");
}

KA_AudioContextManager* FakeSubsystemBridge::CreateAudioContextManager(KU_ApplicationFactory* /*pFactory*/)
{
    return Make<KA_AudioContextManager>(TOKEN_AUDIO_CONTEXT_MANAGER, "audio context manager");
}

KU_InterpolationManager* FakeSubsystemBridge::CreateInterpolationManager()
{
    return Make<KU_InterpolationManager>(TOKEN_INTERPOLATION_MANAGER, "interpolation manager");
}

KR_Renderer* FakeSubsystemBridge::CreateRenderer()
{
    return Make<KR_Renderer>(TOKEN_RENDERER, "renderer");
}

void FakeSubsystemBridge::DeleteParticleEngine(KR_ParticleEngine* p)
{
    Delete(p, TOKEN_PARTICLE_ENGINE, "particle engine");
}

void FakeSubsystemBridge::DeletePostFXEngine(KR_PostFXEngine* p)
{
    Delete(p, TOKEN_POSTFX_ENGINE, "post-processing engine");
}

void FakeSubsystemBridge::DeleteMetaBallRenderer(KR_MetaBallRenderer* p)
{
    Delete(p, TOKEN_METABALL_RENDERER, "metaball renderer");
}

void FakeSubsystemBridge::DeleteOITRenderer(KR_OITRenderer* p)
{
    Delete(p, TOKEN_OIT_RENDERER, "OIT renderer");
}

void FakeSubsystemBridge::DeleteSceneManager(KR_SceneManager* p)
{
    Delete(p, TOKEN_SCENE_MANAGER, "scene manager");
}

void FakeSubsystemBridge::DeleteRenderer(KR_Renderer* p)
{
    Delete(p, TOKEN_RENDERER, "renderer");
}

void FakeSubsystemBridge::DeleteGraphicsResourceManager(KR_GraphicsResourceManager* p)
{
    Delete(p, TOKEN_GRAPHICS_RESOURCE_MANAGER, "resource manager");
}

void FakeSubsystemBridge::DeleteGraphicsContextManager(KR_GraphicsContextManager* p)
{
    Delete(p, TOKEN_GRAPHICS_CONTEXT_MANAGER, "graphics context manager");
}

void FakeSubsystemBridge::DeleteGraphicsDevice(KR_GraphicsDevice* p)
{
    Delete(p, TOKEN_GRAPHICS_DEVICE, "graphics device");
}

void FakeSubsystemBridge::DeleteAudioContextManager(KA_AudioContextManager* p)
{
    Delete(p, TOKEN_AUDIO_CONTEXT_MANAGER, "audio context manager");
}

void FakeSubsystemBridge::DeleteManagedFacade(KG_ManagedFacade* p)
{
    Delete(p, TOKEN_MANAGED_FACADE, "facade");
}

void FakeSubsystemBridge::DeleteMaterialManager(KR_MaterialManager* p)
{
    Delete(p, TOKEN_MATERIAL_MANAGER, "material manager");
}

void FakeSubsystemBridge::DeleteShaderCache(KR_ShaderCache* p)
{
    Delete(p, TOKEN_SHADER_CACHE, "shader cache");
}

void FakeSubsystemBridge::DeleteShaderCoreManager(KR_ShaderCoreManager* p)
{
    Delete(p, TOKEN_SHADER_CORE_MANAGER, "shader core manager");
}

void FakeSubsystemBridge::DeleteInterpolationManager(KU_InterpolationManager* p)
{
    Delete(p, TOKEN_INTERPOLATION_MANAGER, "interpolation manager");
}

bool FakeSubsystemBridge::CreateAudioContext(KA_AudioContextManager* pManager)
{
    EXPECT_TRUE(Is(pManager, TOKEN_AUDIO_CONTEXT_MANAGER));
    m_gLog.push_back("create audio context");
    return m_bAudioCreated;
}

bool FakeSubsystemBridge::InitializeAudioContext(KA_AudioContextManager* pManager)
{
    EXPECT_TRUE(Is(pManager, TOKEN_AUDIO_CONTEXT_MANAGER));
    m_gLog.push_back("initialize audio context");
    return m_bAudioInitialized;
}

void FakeSubsystemBridge::UpdateAudioContext(KA_AudioContextManager* pManager)
{
    EXPECT_TRUE(Is(pManager, TOKEN_AUDIO_CONTEXT_MANAGER));
    m_gLog.push_back("update audio");
}

void FakeSubsystemBridge::SelectAudioDevice(KA_AudioContextManager* pManager, std::uint32_t uiDevice)
{
    EXPECT_TRUE(Is(pManager, TOKEN_AUDIO_CONTEXT_MANAGER));
    m_gLog.push_back("select audio device");
    m_gSelectedAudioDevices.push_back(uiDevice);
}

void FakeSubsystemBridge::SetAudioEntityPath(KA_AudioContextManager* pManager, const KB_String& sDirectory)
{
    EXPECT_TRUE(Is(pManager, TOKEN_AUDIO_CONTEXT_MANAGER));
    m_gLog.push_back(std::string("audio entity path ") + sDirectory.GetBuffer());
}

bool FakeSubsystemBridge::ShowConfigurationDialog(KG_ManagedFacade* pFacade,
                                                  const KB_GrowingArray<KB_String>& gBannerPaths,
                                                  const KB_GrowingArray<int>& gBannerTimes)
{
    EXPECT_TRUE(Is(pFacade, TOKEN_MANAGED_FACADE));
    m_gLog.push_back("configuration dialog");
    for (std::uint32_t i = 0; i < gBannerPaths.GetNumMembers(); ++i)
        m_gBannerPaths.push_back(gBannerPaths[i].GetBuffer());
    for (std::uint32_t i = 0; i < gBannerTimes.GetNumMembers(); ++i)
        m_gBannerTimes.push_back(gBannerTimes[i]);
    return m_bDialogConfirmed;
}

bool FakeSubsystemBridge::GetSelectedAudioDevice(KG_ManagedFacade* pFacade, std::uint32_t* pDevice)
{
    EXPECT_TRUE(Is(pFacade, TOKEN_MANAGED_FACADE));
    m_gLog.push_back("get audio device");
    if (!m_bAudioDeviceSelected)
        return false;
    *pDevice = m_uiAudioDevice;
    return true;
}

bool FakeSubsystemBridge::CloseInterpolationEditorDialogs(KG_ManagedFacade* pFacade, bool bForce)
{
    EXPECT_TRUE(Is(pFacade, TOKEN_MANAGED_FACADE));
    m_gLog.push_back("close editor dialogs");
    m_gForceArguments.push_back(bForce);
    if (m_gCloseAnswers.empty())
        return true;
    const bool bAnswer = m_gCloseAnswers.front();
    m_gCloseAnswers.erase(m_gCloseAnswers.begin());
    return bAnswer;
}

// The application itself never asks these; only the graphics layer does.
bool FakeSubsystemBridge::GetSelectedScreenResolution(KG_ManagedFacade* /*pFacade*/,
                                                      KR_ScreenResolution* /*pResolution*/,
                                                      int* /*piContext*/, int* /*piAdapter*/,
                                                      int* /*piOutput*/)
{
    m_gLog.push_back("get screen resolution");
    return false;
}

void FakeSubsystemBridge::ShowMessageBox(KG_ManagedFacade* /*pFacade*/, const KB_String& sText,
                                         const KB_String& /*sCaption*/)
{
    m_gLog.push_back(std::string("message box ") + sText.GetBuffer());
}

bool FakeSubsystemBridge::PollSelectedScreenResolution(KR_GraphicsContextManager* pManager)
{
    EXPECT_TRUE(Is(pManager, TOKEN_GRAPHICS_CONTEXT_MANAGER));
    m_gLog.push_back("poll resolution");
    return m_bResolutionSelected;
}

bool FakeSubsystemBridge::CreateGraphicsDevice(KR_GraphicsContextManager* pManager, HWND hWindow)
{
    EXPECT_TRUE(Is(pManager, TOKEN_GRAPHICS_CONTEXT_MANAGER));
    m_gLog.push_back("create graphics device");
    m_hDeviceWindow = hWindow;
    if (!m_bDeviceCreated || hWindow == nullptr)
        return false;
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    pEngine->SetGraphicsDevice(reinterpret_cast<KR_GraphicsDevice*>(&m_Tokens[TOKEN_GRAPHICS_DEVICE]));
    pEngine->SetGraphicsResourceManager(
        reinterpret_cast<KR_GraphicsResourceManager*>(&m_Tokens[TOKEN_GRAPHICS_RESOURCE_MANAGER]));
    pEngine->SetParticleEngine(reinterpret_cast<KR_ParticleEngine*>(&m_Tokens[TOKEN_PARTICLE_ENGINE]));
    pEngine->SetPostFXEngine(reinterpret_cast<KR_PostFXEngine*>(&m_Tokens[TOKEN_POSTFX_ENGINE]));
    pEngine->SetOITRenderer(reinterpret_cast<KR_OITRenderer*>(&m_Tokens[TOKEN_OIT_RENDERER]));
    pEngine->SetMetaBallRenderer(reinterpret_cast<KR_MetaBallRenderer*>(&m_Tokens[TOKEN_METABALL_RENDERER]));
    pEngine->SetShaderCoreManager(
        reinterpret_cast<KR_ShaderCoreManager*>(&m_Tokens[TOKEN_SHADER_CORE_MANAGER]));
    return true;
}

bool FakeSubsystemBridge::SetScreenResolution(KR_GraphicsContextManager* pManager, std::uint16_t uiWidth,
                                              std::uint16_t uiHeight)
{
    EXPECT_TRUE(Is(pManager, TOKEN_GRAPHICS_CONTEXT_MANAGER));
    m_gLog.push_back("set resolution " + std::to_string(uiWidth) + "x" + std::to_string(uiHeight));
    if (uiWidth == m_uiWidth && uiHeight == m_uiHeight)
        return false;
    m_uiWidth = uiWidth;
    m_uiHeight = uiHeight;
    return true;
}

void FakeSubsystemBridge::PushRasterizerState(KR_GraphicsDevice* pDevice)
{
    EXPECT_TRUE(Is(pDevice, TOKEN_GRAPHICS_DEVICE));
    m_gLog.push_back("push");
}

void FakeSubsystemBridge::PopRasterizerState(KR_GraphicsDevice* pDevice)
{
    EXPECT_TRUE(Is(pDevice, TOKEN_GRAPHICS_DEVICE));
    m_gLog.push_back("pop");
}

void FakeSubsystemBridge::StartSceneManager(KR_SceneManager* pSceneManager)
{
    EXPECT_TRUE(Is(pSceneManager, TOKEN_SCENE_MANAGER));
    m_gLog.push_back("start scenes");
    if (m_OnStartScenes)
        m_OnStartScenes();
}

void FakeSubsystemBridge::UpdateAndRenderScenes(KR_SceneManager* pSceneManager)
{
    EXPECT_TRUE(Is(pSceneManager, TOKEN_SCENE_MANAGER));
    m_gLog.push_back("frame");
    ++m_iFrames;
    if (m_OnFrame)
        m_OnFrame(m_iFrames);
}

void FakeSubsystemBridge::ResizeScenes(KR_SceneManager* pSceneManager)
{
    EXPECT_TRUE(Is(pSceneManager, TOKEN_SCENE_MANAGER));
    m_gLog.push_back("resize scenes");
}

void FakeSubsystemBridge::ShutdownSceneManager(KR_SceneManager* pSceneManager)
{
    EXPECT_TRUE(Is(pSceneManager, TOKEN_SCENE_MANAGER));
    m_gLog.push_back("shutdown scenes");
}

bool FakeSubsystemBridge::IsCursorVisible(KR_SceneManager* pSceneManager)
{
    EXPECT_TRUE(Is(pSceneManager, TOKEN_SCENE_MANAGER));
    return m_bCursorVisible;
}
