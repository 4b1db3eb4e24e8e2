#include "tools/KG_ManagedFacade.h"

#include "audio/KA_AudioContext.h"
#include "audio/KA_AudioContextManager.h"
#include "framework/app/KE_ApplicationManager.h"
#include "framework/files/KF_FileManager.h"
#include "platform/forms/FormsDrawing.h"
#include "platform/forms/FormsMessageBox.h"
#include "render/device/KR_GraphicsContextManager.h"
#include "tools/KG_DeviceConfigurationDialog.h"
#include "tools/KG_InterpolationEditorDialogManager.h"

#include <memory>
#include <string>
#include <vector>

namespace
{

constexpr const char* QUIT_QUESTION = "Do you really want to quit?";
constexpr const char* QUIT_CAPTION = "Quit?";
constexpr std::uint32_t NO_AUDIO_DEVICE = 0xFFFFFFFFu;

std::string ToStd(const KB_String& s)
{
    return s.GetBuffer() != nullptr ? std::string(s.GetBuffer(), s.GetLength()) : std::string();
}

// The banners as images, in order; one that cannot be read or decoded is left out.
std::vector<std::shared_ptr<forms::Image>> ReadBanners(KF_FileManager* pFiles,
                                                       const KB_GrowingArray<KB_String>& gPaths)
{
    std::vector<std::shared_ptr<forms::Image>> gImages;
    for (std::uint32_t i = 0; pFiles != nullptr && i < gPaths.GetNumMembers(); ++i)
    {
        std::uint64_t uiSize = 0;
        std::uint8_t* pData = nullptr;
        if (!pFiles->ReadFile(gPaths[i], &uiSize, &pData))
            continue;
        std::shared_ptr<forms::Image> pImage =
            pData != nullptr ? forms::Image::FromBytes(pData, static_cast<std::size_t>(uiSize)) : nullptr;
        pFiles->RemoveReference(gPaths[i]);
        if (pImage != nullptr)
            gImages.push_back(std::move(pImage));
    }
    return gImages;
}

} // namespace

KG_ManagedFacade::KG_ManagedFacade()
    : m_pInterpolationEditorDialogManager(std::make_unique<KG_InterpolationEditorDialogManager>())
{
}

KG_ManagedFacade::~KG_ManagedFacade() = default;

bool KG_ManagedFacade::ShowConfigurationDialog(const KB_GrowingArray<KB_String>& gBannerPaths,
                                               const KB_GrowingArray<int>& gBannerTimes)
{
    m_bResultValid = false;
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    if (pEngine == nullptr)
        return false;

    std::vector<std::shared_ptr<forms::Image>> gImages = ReadBanners(pEngine->GetFileManager(), gBannerPaths);
    // Every view time is kept, also those of skipped banners: the dialog copes with either count.
    std::vector<int> gTimes;
    for (std::uint32_t i = 0; i < gBannerTimes.GetNumMembers(); ++i)
        gTimes.push_back(gBannerTimes[i]);

    KR_GraphicsContextManager* pContexts = pEngine->GetGraphicsContextManager();
    KA_AudioContextManager* pAudio = pEngine->GetAudioContextManager();
    KA_AudioContext* pAudioContext = pAudio != nullptr ? pAudio->GetAudioContext() : nullptr;
    K_GUI::KG_DeviceConfigurationDialog dialog(
        std::move(gImages), std::move(gTimes),
        pContexts != nullptr ? &pContexts->GetSelectableGraphicsContexts() : nullptr,
        pAudioContext != nullptr ? &pAudioContext->GetAudioDevices() : nullptr, pEngine->IsDeveloperBuild());
    dialog.SetTitle(pEngine->GetApplicationName());
    dialog.ShowDialog();

    if (!dialog.IsResultValid() ||
        !dialog.GetSelectedScreenResolution(&m_oSelectedScreenResolution, &m_iGraphicsContext, &m_iAdapter,
                                            &m_iOutput))
        return false;
    const int iAudioDevice = dialog.GetSelectedAudioDevice();
    m_uiAudioDevice = iAudioDevice >= 0 ? static_cast<std::uint32_t>(iAudioDevice) : NO_AUDIO_DEVICE;
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
    *pResolution = m_oSelectedScreenResolution;
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
    forms::MessageBox::Show(ToStd(sText), ToStd(sCaption));
}

bool KG_ManagedFacade::ShowInterpolationEditorDialog()
{
    return m_pInterpolationEditorDialogManager->ShowNewInterpolationEditorDialog();
}

void KG_ManagedFacade::UpdateInterpolationEditorDialogs()
{
    m_pInterpolationEditorDialogManager->UpdateInterpolationEditorsDialogs();
}

void KG_ManagedFacade::InvalidateInterpolationEditorDialogs()
{
    m_pInterpolationEditorDialogManager->InvalidateInterpolationEditorsDialogs();
}

bool KG_ManagedFacade::CloseInterpolationEditorDialogs(bool bForce)
{
    if (!m_pInterpolationEditorDialogManager->CloseInterpolationEditorDialogs(bForce))
        return false;
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    if (pEngine == nullptr || !pEngine->IsDeveloperBuild())
        return true;
    return forms::MessageBox::Show(QUIT_QUESTION, QUIT_CAPTION, forms::MessageBoxButtons::YesNo,
                                   forms::MessageBoxIcon::Stop) != forms::DialogResult::No;
}
