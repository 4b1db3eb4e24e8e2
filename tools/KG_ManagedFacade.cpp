#include "tools/KG_ManagedFacade.h"

#include "framework/app/KE_ApplicationManager.h"
#include "framework/files/KF_FileManager.h"
#include "platform/win32/Windows.h"
#include "render/device/KR_GraphicsContext.h"
#include "render/device/KR_GraphicsContextManager.h"

namespace
{

constexpr const char* QUIT_QUESTION = "Do you really want to quit?";
constexpr const char* QUIT_CAPTION = "Quit?";
constexpr std::uint32_t PREFERRED_WIDTH = 1280;
constexpr std::uint32_t PREFERRED_HEIGHT = 720;

// True when the array exists and holds something; the array is deleted either way.
template <typename T>
bool TakeNonEmpty(KB_GrowingArray<T>* pArray)
{
    const bool bFilled = pArray != nullptr && pArray->GetNumMembers() > 0;
    delete pArray;
    return bFilled;
}

} // namespace

KG_ManagedFacade::KG_ManagedFacade() = default;

KG_ManagedFacade::~KG_ManagedFacade() = default;

bool KG_ManagedFacade::ShowConfigurationDialog(const KB_GrowingArray<KB_String>& gBannerPaths,
                                               const KB_GrowingArray<int>& /*gBannerTimes*/)
{
    m_bResultValid = false;

    // The dialog holds its own copies of the banner images; a banner that cannot be read is left out.
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    KF_FileManager* pFiles = pEngine != nullptr ? pEngine->GetFileManager() : nullptr;
    for (std::uint32_t i = 0; pFiles != nullptr && i < gBannerPaths.GetNumMembers(); ++i)
    {
        std::uint64_t uiSize = 0;
        std::uint8_t* pData = nullptr;
        if (pFiles->ReadFile(gBannerPaths[i], &uiSize, &pData))
            pFiles->RemoveReference(gBannerPaths[i]);
    }

    if (!ChooseDefaultMode())
        return false;
    m_uiAudioDevice = 0;
    m_bResultValid = true;
    return true;
}

bool KG_ManagedFacade::GetSelectedScreenResolution(KR_ScreenResolution* pResolution, int* piContext,
                                                   int* piAdapter, int* piOutput) const
{
    if (!m_bResultValid || pResolution == nullptr || piContext == nullptr || piAdapter == nullptr ||
        piOutput == nullptr)
    {
        return false;
    }
    *pResolution = m_SelectedScreenResolution;
    *piContext = m_iGraphicsContext;
    *piAdapter = m_iAdapter;
    *piOutput = m_iOutput;
    return true;
}

bool KG_ManagedFacade::GetSelectedAudioDevice(std::uint32_t* pDevice) const
{
    if (!m_bResultValid || pDevice == nullptr)
        return false;
    *pDevice = m_uiAudioDevice;
    return true;
}

void KG_ManagedFacade::ShowMessageBox(const KB_String& sText, const KB_String& sCaption)
{
    MessageBoxA(nullptr, sText.GetBuffer(), sCaption.GetBuffer(), MB_OK);
}

bool KG_ManagedFacade::CloseInterpolationEditorDialogs(bool /*bForce*/)
{
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    if (pEngine != nullptr && pEngine->IsDeveloperBuild())
        return MessageBoxA(nullptr, QUIT_QUESTION, QUIT_CAPTION, MB_YESNO | MB_ICONSTOP) != IDNO;
    return true;
}

bool KG_ManagedFacade::ChooseDefaultMode()
{
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    KR_GraphicsContextManager* pContexts =
        pEngine != nullptr ? pEngine->GetGraphicsContextManager() : nullptr;
    if (pContexts == nullptr || pContexts->GetSelectableGraphicsContexts().GetNumMembers() == 0)
        return false;
    KR_GraphicsContext* pContext = pContexts->GetSelectableGraphicsContexts()[0];
    if (pContext == nullptr || !TakeNonEmpty(pContext->GetAdapterNames()) ||
        !TakeNonEmpty(pContext->GetOutputNames(0)))
        return false;

    KB_GrowingArray<KR_ScreenResolution>* pModes = pContext->GetScreenResolutions(0, 0);
    if (pModes == nullptr || pModes->GetNumMembers() == 0)
    {
        delete pModes;
        return false;
    }
    std::uint32_t uiChosen = 0;
    for (std::uint32_t i = 0; i < pModes->GetNumMembers(); ++i)
    {
        if ((*pModes)[i].m_uiWidth == PREFERRED_WIDTH && (*pModes)[i].m_uiHeight == PREFERRED_HEIGHT)
        {
            uiChosen = i;
            break;
        }
    }
    m_SelectedScreenResolution = (*pModes)[uiChosen];
    m_SelectedScreenResolution.m_bFullscreen = false;
    delete pModes;
    m_iGraphicsContext = 0;
    m_iAdapter = 0;
    m_iOutput = 0;
    return true;
}
