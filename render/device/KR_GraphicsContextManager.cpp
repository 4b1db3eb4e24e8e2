#include "render/device/KR_GraphicsContextManager.h"

#include "framework/app/KE_ApplicationManager.h"
#include "framework/app/KE_ToolsBridge.h"
#include "render/device/KR_GraphicsContext.h"
#include "render/device/KR_GraphicsDevice.h"
#include "render/device/KU_GraphicsContextFactory.h"

namespace
{

constexpr std::uint16_t MIN_SIDE = 8;
constexpr std::uint16_t MAX_SIDE = 16384;
constexpr float STARTUP_GREY[4] = {0.85f, 0.85f, 0.85f, 0.0f};

std::uint16_t ClampSide(std::uint16_t uiSide)
{
    return uiSide < MIN_SIDE ? MIN_SIDE : (uiSide > MAX_SIDE ? MAX_SIDE : uiSide);
}

} // namespace

KR_GraphicsContextManager::KR_GraphicsContextManager(KU_ApplicationFactory*)
{
}

KR_GraphicsContextManager::~KR_GraphicsContextManager()
{
    m_gGraphicsContexts.DeleteAll();
}

void KR_GraphicsContextManager::CreateGraphicsContexts(KB_GrowingArray<KU_GraphicsContextFactory*>& factories)
{
    m_pgFactories = &factories;
    m_gGraphicsContexts.DeleteAll();
    for (std::uint32_t i = 0; i < factories.GetNumMembers(); ++i)
        if (factories[i] != nullptr)
            m_gGraphicsContexts.Add(factories[i]->CreateGraphicsContext());
}

bool KR_GraphicsContextManager::PollSelectedScreenResolution()
{
    m_bSelectionValid = false;
    int iContext = -1;
    int iAdapter = -1;
    int iOutput = -1;
    // The choice is the managed facade's, reached through the tools bridge.
    KE_ApplicationManager* pApplication = KE_ApplicationManager::GetInstance();
    KE_ToolsBridge* pTools = KE_ApplicationManager::GetToolsBridge();
    if (pApplication == nullptr || pTools == nullptr || pApplication->GetManagedFacade() == nullptr ||
        !pTools->GetSelectedScreenResolution(pApplication->GetManagedFacade(), &m_oSelectedScreenResolution,
                                             &iContext, &iAdapter, &iOutput))
    {
        return false;
    }
    // The indices are used as array and enumeration indices later: refuse what cannot exist.
    if (iContext < 0 || static_cast<std::uint32_t>(iContext) >= m_gGraphicsContexts.GetNumMembers() ||
        m_gGraphicsContexts[static_cast<std::uint32_t>(iContext)] == nullptr || iAdapter < 0 || iOutput < 0)
    {
        return false;
    }
    m_uiSelectedGraphicsContext = static_cast<std::uint32_t>(iContext);
    m_uiSelectedAdapter = static_cast<std::uint32_t>(iAdapter);
    m_uiSelectedOutput = static_cast<std::uint32_t>(iOutput);
    m_bSelectionValid = true;
    return true;
}

bool KR_GraphicsContextManager::CreateGraphicsDevice(HWND hWindow)
{
    KE_ApplicationManager* pApplication = KE_ApplicationManager::GetInstance();
    if (hWindow == nullptr || !m_bSelectionValid || pApplication == nullptr ||
        m_uiSelectedGraphicsContext >= m_gGraphicsContexts.GetNumMembers())
    {
        return false;
    }
    KR_GraphicsContext* pContext = m_gGraphicsContexts[m_uiSelectedGraphicsContext];
    if (pContext == nullptr)
        return false;
    // The device keeps the multisample quality written into this copy; the manager's own copy
    // keeps the dialog's.
    KR_ScreenResolution screenResolution = m_oSelectedScreenResolution;
    KR_GraphicsDevice* pDevice =
        pContext->CreateGraphicsDevice(hWindow, m_uiSelectedAdapter, m_uiSelectedOutput, &screenResolution);
    if (pDevice == nullptr)
        return false;
    if (!pDevice->CreateSizeDependentResources())
    {
        delete pDevice;
        return false;
    }
    pDevice->ClearMainRenderTarget(STARTUP_GREY);
    pDevice->Present();

    // The resource manager loads its placeholder through the stored device, so the device first.
    pApplication->SetGraphicsDevice(pDevice);
    pApplication->SetGraphicsResourceManager(pContext->CreateGraphicsResourceManager());
    pApplication->SetParticleEngine(pContext->CreateParticleEngine());
    pApplication->SetPostFXEngine(pContext->CreatePostFXEngine());
    pApplication->SetOITRenderer(pContext->CreateOITRenderer());
    pApplication->SetMetaBallRenderer(pContext->CreateMetaBallRenderer());
    pApplication->SetShaderCoreManager(pContext->CreateShaderCoreManager());
    return true;
}

bool KR_GraphicsContextManager::SetScreenResolution(std::uint16_t uiWidth, std::uint16_t uiHeight)
{
    const std::uint16_t uiClampedWidth = ClampSide(uiWidth);
    const std::uint16_t uiClampedHeight = ClampSide(uiHeight);
    if (uiClampedWidth == m_oSelectedScreenResolution.m_uiWidth &&
        uiClampedHeight == m_oSelectedScreenResolution.m_uiHeight)
    {
        return false;
    }
    m_oSelectedScreenResolution.m_uiWidth = uiClampedWidth;
    m_oSelectedScreenResolution.m_uiHeight = uiClampedHeight;
    m_oSelectedScreenResolution.m_eAspectRatio = KR_ASPECT_RATIO_FROM_SIZE;
    if (m_uiSelectedGraphicsContext < m_gGraphicsContexts.GetNumMembers() &&
        m_gGraphicsContexts[m_uiSelectedGraphicsContext] != nullptr)
    {
        m_gGraphicsContexts[m_uiSelectedGraphicsContext]->ApplyScreenResolution(&m_oSelectedScreenResolution);
    }
    return true;
}
