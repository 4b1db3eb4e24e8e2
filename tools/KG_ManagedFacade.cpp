#include "tools/KG_ManagedFacade.h"

#include "framework/app/KE_ApplicationManager.h"
#include "framework/files/KF_FileManager.h"
#include "platform/win32/Windows.h"

namespace
{

constexpr const char* QUIT_QUESTION = "Do you really want to quit?";
constexpr const char* QUIT_CAPTION = "Quit?";

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
    return false;
}
