#include "tests/support/FakeSubsystemBridge.h"

#include "framework/app/KE_ApplicationManager.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>

const char* const FakeSubsystemBridge::TOKEN_NAMES[TOKEN_COUNT] = {"graphics context manager",
                                                                   "graphics device",
                                                                   "resource manager",
                                                                   "renderer",
                                                                   "particle engine",
                                                                   "post-processing engine",
                                                                   "OIT renderer",
                                                                   "metaball renderer",
                                                                   "scene manager",
                                                                   "material manager",
                                                                   "shader cache",
                                                                   "shader core manager",
                                                                   "facade",
                                                                   "audio context manager",
                                                                   "interpolation manager"};

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

bool FakeSubsystemBridge::Record(const char* pCall, const void* p, Token token, bool bResult)
{
    EXPECT_EQ(p, static_cast<const void*>(m_Tokens[token])) << pCall << ": not the " << TOKEN_NAMES[token];
    if (std::strcmp(pCall, "delete") == 0)
        m_gLog.push_back(std::string("delete ") + TOKEN_NAMES[token]);
    else if (std::strcmp(pCall, "cursor") != 0)
        m_gLog.push_back(pCall);
    return bResult;
}

void FakeSubsystemBridge::SelectAudioDevice(KA_AudioContextManager* p, std::uint32_t uiDevice)
{
    Record("select audio device", p, AUDIO_CONTEXT_MANAGER);
    m_gSelectedAudioDevices.push_back(uiDevice);
}

void FakeSubsystemBridge::SetAudioEntityPath(KA_AudioContextManager* p, const KB_String& sDirectory)
{
    Record((std::string("audio entity path ") + sDirectory.GetBuffer()).c_str(), p, AUDIO_CONTEXT_MANAGER);
}

bool FakeSubsystemBridge::ShowConfigurationDialog(KG_ManagedFacade* p,
                                                  const KB_GrowingArray<KB_String>& gBannerPaths,
                                                  const KB_GrowingArray<int>& gBannerTimes)
{
    for (std::uint32_t i = 0; i < gBannerPaths.GetNumMembers(); ++i)
        m_gBannerPaths.push_back(gBannerPaths[i].GetBuffer());
    for (std::uint32_t i = 0; i < gBannerTimes.GetNumMembers(); ++i)
        m_gBannerTimes.push_back(gBannerTimes[i]);
    return Record("configuration dialog", p, FACADE, m_bDialogConfirmed);
}

bool FakeSubsystemBridge::GetSelectedAudioDevice(KG_ManagedFacade* p, std::uint32_t* pDevice)
{
    if (m_bAudioDeviceSelected)
        *pDevice = m_uiAudioDevice;
    return Record("get audio device", p, FACADE, m_bAudioDeviceSelected);
}

bool FakeSubsystemBridge::CloseInterpolationEditorDialogs(KG_ManagedFacade* p, bool bForce)
{
    m_gForceArguments.push_back(bForce);
    bool bAnswer = true;
    if (!m_gCloseAnswers.empty())
    {
        bAnswer = m_gCloseAnswers.front();
        m_gCloseAnswers.erase(m_gCloseAnswers.begin());
    }
    return Record("close editor dialogs", p, FACADE, bAnswer);
}

bool FakeSubsystemBridge::CreateGraphicsDevice(KR_GraphicsContextManager* p, HWND hWindow)
{
    Record("create graphics device", p, GRAPHICS_CONTEXT_MANAGER);
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

bool FakeSubsystemBridge::SetScreenResolution(KR_GraphicsContextManager* p, std::uint16_t uiWidth,
                                              std::uint16_t uiHeight)
{
    Record(("set resolution " + std::to_string(uiWidth) + "x" + std::to_string(uiHeight)).c_str(), p,
           GRAPHICS_CONTEXT_MANAGER);
    const bool bChanged = uiWidth != m_uiWidth || uiHeight != m_uiHeight;
    m_uiWidth = uiWidth;
    m_uiHeight = uiHeight;
    return bChanged;
}

void FakeSubsystemBridge::StartSceneManager(KR_SceneManager* p)
{
    Record("start scenes", p, SCENE_MANAGER);
    if (m_OnStartScenes)
        m_OnStartScenes();
}

void FakeSubsystemBridge::UpdateAndRenderScenes(KR_SceneManager* p)
{
    Record("frame", p, SCENE_MANAGER);
    if (m_OnFrame)
        m_OnFrame(++m_iFrames);
    else
        ++m_iFrames;
}
