#include "tools/KG_DeviceConfigurationDialog.h"

#include "platform/forms/FormsRegistry.h"
#include "platform/forms/FormsSystem.h"
#include "render/device/KR_GraphicsContext.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <string>

namespace K_GUI
{

namespace
{

constexpr const char* ASPECT_RATIOS[] = {"Auto", "3:2", "4:3", "5:3", "5:4", "16:9", "16:10"};
constexpr const char* ANTI_ALIASING[] = {"1x", "2x", "4x", "8x"};
constexpr std::uint32_t ANTI_ALIASING_SAMPLES[] = {1, 2, 4, 8};
constexpr const char* RENDERING_QUALITIES[] = {"Low", "Medium", "High", "Ultra", "Melt it!"};
constexpr int RENDERING_QUALITY_HIGH = 2;

// The stored texts of the lists, in the order they are written and applied.
constexpr const char* STORED_LISTS[] = {"GraphicsAPI", "Device",       "Output",           "Resolution",
                                        "AspectRatio", "AntiAliasing", "RenderingQuality", "AudioDevice"};
constexpr const char* STORED_FULLSCREEN = "Fullscreen";
constexpr const char* STORED_VSYNC = "VSync";

std::string ToStd(const KB_String& s)
{
    return s.GetBuffer() != nullptr ? std::string(s.GetBuffer(), s.GetLength()) : std::string();
}

// Takes an array the graphics context made for the caller and deletes it.
template <typename T>
std::unique_ptr<KB_GrowingArray<T>> Own(KB_GrowingArray<T>* pArray)
{
    return std::unique_ptr<KB_GrowingArray<T>>(pArray);
}

// The refresh rate in whole hertz as the list shows it: the fraction in single precision,
// rounded half to even. A mode reported with denominator 0 has no rate: 0 Hz.
std::int64_t RoundedRate(std::uint32_t uiNumerator, std::uint32_t uiDenominator)
{
    if (uiDenominator == 0)
        return 0;
    return static_cast<std::int64_t>(
        std::nearbyint(static_cast<float>(uiNumerator) / static_cast<float>(uiDenominator)));
}

KR_AspectRatio InferAspectRatio(std::uint32_t w, std::uint32_t h)
{
    const struct
    {
        std::uint32_t uiW;
        std::uint32_t uiH;
        KR_AspectRatio eRatio;
    } rules[] = {{3, 2, KR_ASPECT_RATIO_3_2}, {4, 3, KR_ASPECT_RATIO_4_3},   {5, 3, KR_ASPECT_RATIO_5_3},
                 {5, 4, KR_ASPECT_RATIO_5_4}, {16, 9, KR_ASPECT_RATIO_16_9}, {16, 10, KR_ASPECT_RATIO_16_10}};
    for (const auto& rule : rules)
        if (w % rule.uiW == 0 && h % rule.uiH == 0 && w / rule.uiW == h / rule.uiH)
            return rule.eRatio;
    return KR_ASPECT_RATIO_FROM_SIZE;
}

// A stored number: a 32-bit value, or a text holding a decimal integer (surrounding blanks
// allowed). False for anything else, which then counts as missing.
bool ReadStoredNumber(const forms::RegistryValue& value, std::int64_t* pNumber)
{
    if (value.kind == forms::RegistryValueKind::DWord)
    {
        *pNumber = value.dword;
        return true;
    }
    if (value.kind != forms::RegistryValueKind::String)
        return false;
    const std::string& s = value.text;
    std::size_t uiBegin = s.find_first_not_of(" \t");
    std::size_t uiEnd = s.find_last_not_of(" \t");
    if (uiBegin == std::string::npos)
        return false;
    if (s[uiBegin] == '+')
        ++uiBegin;
    const char* pBegin = s.data() + uiBegin;
    const char* pEnd = s.data() + uiEnd + 1;
    std::int32_t iNumber = 0;
    const auto result = std::from_chars(pBegin, pEnd, iNumber);
    if (result.ec != std::errc() || result.ptr != pEnd)
        return false;
    *pNumber = iNumber;
    return true;
}

} // namespace

KG_DeviceConfigurationDialog::KG_DeviceConfigurationDialog(
    std::vector<std::shared_ptr<forms::Image>> gBannerImages, std::vector<int> gViewTimes,
    const KB_GrowingArray<KR_GraphicsContext*>* pContexts, const KB_GrowingArray<KB_String>* pAudioDevices,
    bool bDeveloperBuild)
    : m_pContexts(pContexts), m_bDeveloperBuild(bDeveloperBuild)
{
    BuildControls();

    // Banners: an image that failed to load never reaches this list.
    for (std::shared_ptr<forms::Image>& pImage : gBannerImages)
        if (pImage != nullptr)
            m_gBannerImages.push_back(std::move(pImage));
    m_gViewTimes = std::move(gViewTimes);
    if (!m_gBannerImages.empty())
    {
        m_iCurrentBanner = 0;
        m_pPictureBoxBanner->SetImage(m_gBannerImages[0]);
    }
    if (m_gBannerImages.size() >= 2)
    {
        m_rBlendTimer = std::make_unique<forms::Timer>([this]() { OnBlendTimer(); });
        m_rBlendTimer->Change(GetViewTime(0), forms::Timeout::Infinite);
    }

    if (m_pContexts != nullptr)
        for (std::uint32_t i = 0; i < m_pContexts->GetNumMembers(); ++i)
            m_pComboBoxGraphicsAPI->GetItems().Add(
                (*m_pContexts)[i] != nullptr ? ToStd((*m_pContexts)[i]->GetName()) : "");
    if (m_pComboBoxGraphicsAPI->GetItems().GetCount() > 0)
        m_pComboBoxGraphicsAPI->SetSelectedIndex(0);

    if (pAudioDevices != nullptr)
        for (std::uint32_t i = 0; i < pAudioDevices->GetNumMembers(); ++i)
            m_pComboBoxAudioDevice->GetItems().Add(ToStd((*pAudioDevices)[i]));
    if (m_pComboBoxAudioDevice->GetItems().GetCount() == 0)
        m_pComboBoxAudioDevice->GetItems().Add(NO_AUDIO_DEVICE);
    m_pComboBoxAudioDevice->SetSelectedIndex(0);

    if (m_bDeveloperBuild)
        ApplyStoredChoices();
}

KG_DeviceConfigurationDialog::~KG_DeviceConfigurationDialog()
{
    // The timer goes first so that no fade step can run into a dialog being taken apart.
    m_rBlendTimer.reset();
}

forms::ComboBox* KG_DeviceConfigurationDialog::AddList(const char* pName, const char* pLabelName,
                                                       const char* pLabel, int iY, int iTabIndex)
{
    forms::Label* pLabelControl = AddNew<forms::Label>(pLabelName, pLabel);
    pLabelControl->SetLocation(13, iY + 3);
    forms::ComboBox* pList = AddNew<forms::ComboBox>(pName);
    pList->SetDropDownStyle(forms::ComboBoxStyle::DropDownList);
    pList->SetBounds({112, iY, 204, 21});
    pList->SetTabIndex(iTabIndex);
    return pList;
}

void KG_DeviceConfigurationDialog::BuildControls()
{
    SetText("KG_GraphicsContextConfiguration");
    SetClientSize(328, 384);
    SetFormBorderStyle(forms::FormBorderStyle::FixedDialog);
    SetMaximizeBox(false);
    SetStartPosition(forms::FormStartPosition::CenterScreen);

    m_pPictureBoxBanner = AddNew<forms::PictureBox>("pictureBoxBanner");
    m_pPictureBoxBanner->SetBounds({12, 12, 305, 80});
    m_pPictureBoxBanner->SetSizeMode(forms::PictureBoxSizeMode::StretchImage);
    m_pPictureBoxBanner->SetAnchor(forms::AnchorStyles::Top | forms::AnchorStyles::Left |
                                   forms::AnchorStyles::Right);
    m_pPictureBoxBanner->SetTabStop(false);
    m_pPictureBoxBanner->SetTabIndex(10);

    m_pComboBoxGraphicsAPI = AddList("comboBoxGraphicsAPI", "labelGraphicsAPI", "Graphics API", 104, 0);
    m_pComboBoxDevice = AddList("comboBoxDevice", "labelDevice", "Device", 131, 1);
    m_pComboBoxOutput = AddList("comboBoxOutput", "labelOutput", "Output", 158, 2);
    m_pComboBoxResolution = AddList("comboBoxResolution", "labelResolution", "Resolution", 185, 3);
    m_pComboBoxAspectRatio = AddList("comboBoxAspectRatio", "labelAspectRatio", "Aspect Ratio", 212, 4);
    m_pComboBoxAntialiasing = AddList("comboBoxAntialiasing", "labelAntialiasing", "Antialiasing", 239, 5);
    m_pComboBoxRenderingQuality =
        AddList("comboBoxRenderingQuality", "labelRenderingQuality", "Rendering Quality", 266, 14);
    m_pComboBoxAudioDevice = AddList("comboBoxAudioDevice", "labelAudioDevice", "Audio Device", 293, 12);
    for (const char* pText : ASPECT_RATIOS)
        m_pComboBoxAspectRatio->GetItems().Add(pText);
    for (const char* pText : ANTI_ALIASING)
        m_pComboBoxAntialiasing->GetItems().Add(pText);
    for (const char* pText : RENDERING_QUALITIES)
        m_pComboBoxRenderingQuality->GetItems().Add(pText);
    for (forms::ComboBox* pList : {m_pComboBoxDevice, m_pComboBoxOutput, m_pComboBoxResolution,
                                   m_pComboBoxAspectRatio, m_pComboBoxAntialiasing})
        pList->SetEnabled(false);

    m_pCheckBoxFullscreen = AddNew<forms::CheckBox>("checkBoxFullscreen", "Fullscreen");
    m_pCheckBoxFullscreen->SetBounds({112, 326, 74, 17});
    m_pCheckBoxFullscreen->SetTabIndex(6);
    m_pCheckBoxFullscreen->SetChecked(true);
    m_pCheckBoxVSync = AddNew<forms::CheckBox>("checkBoxVSync", "Wait for VSync");
    m_pCheckBoxVSync->SetBounds({219, 326, 97, 17});
    m_pCheckBoxVSync->SetTabIndex(7);
    m_pCheckBoxVSync->SetChecked(true);

    m_pButtonCancel = AddNew<forms::Button>("buttonCancel", "Abort");
    m_pButtonCancel->SetBounds({146, 349, 82, 24});
    m_pButtonCancel->SetTabIndex(8);
    m_pButtonOK = AddNew<forms::Button>("buttonOK", "Start");
    m_pButtonOK->SetBounds({235, 349, 82, 24});
    m_pButtonOK->SetTabIndex(9);
    m_pButtonOK->SetEnabled(false);
    SetAcceptButton(m_pButtonOK);
    SetCancelButton(m_pButtonCancel);

    m_pComboBoxGraphicsAPI->SelectedIndexChanged.Add([this](forms::Control&, forms::EventArgs&)
                                                     { OnGraphicsAPIChanged(); });
    m_pComboBoxDevice->SelectedIndexChanged.Add([this](forms::Control&, forms::EventArgs&)
                                                { OnDeviceChanged(); });
    m_pComboBoxOutput->SelectedIndexChanged.Add([this](forms::Control&, forms::EventArgs&)
                                                { OnOutputChanged(); });
    m_pComboBoxResolution->SelectedIndexChanged.Add([this](forms::Control&, forms::EventArgs&)
                                                    { OnResolutionChanged(); });
    m_pComboBoxAspectRatio->SelectedIndexChanged.Add([this](forms::Control&, forms::EventArgs&)
                                                     { OnAspectRatioChanged(); });
    m_pButtonOK->Click.Add([this](forms::Control&, forms::EventArgs&) { OnStart(); });
    m_pButtonCancel->Click.Add([this](forms::Control&, forms::EventArgs&) { OnAbort(); });
    FormClosing.Add(
        [this](forms::Control&, forms::FormClosingEventArgs& e)
        {
            if (!e.Cancel)
                OnClosing();
        });
}

void KG_DeviceConfigurationDialog::SetTitle(const KB_String& sTitle)
{
    SetText(ToStd(sTitle));
}

bool KG_DeviceConfigurationDialog::GetSelectedScreenResolution(KR_ScreenResolution* pResolution,
                                                               int* piContext, int* piDevice,
                                                               int* piOutput) const
{
    if (!m_bIsValid || pResolution == nullptr || piContext == nullptr || piDevice == nullptr ||
        piOutput == nullptr)
        return false;
    const KG_ScreenResolution& mode = m_pKGScreenResolution;
    pResolution->m_uiWidth = mode.m_iWidth;
    pResolution->m_uiHeight = mode.m_iHeight;
    pResolution->m_uiRefreshRateNumerator = mode.m_iRefreshRate_Numerator;
    pResolution->m_uiRefreshRateDenominator = mode.m_iRefreshRate_Denominator;
    pResolution->m_eAspectRatio = mode.m_iAspectRatio;
    pResolution->m_bFullscreen = mode.m_bFullscreen;
    pResolution->m_bVSync = mode.m_bVSync;
    pResolution->m_uiRenderingQuality = mode.m_iRenderingQuality;
    pResolution->m_uiAntiAliasing = mode.m_iAntiAliasing;
    *piContext = mode.m_iGraphicsContext;
    *piDevice = mode.m_iGraphicsContextDevice;
    *piOutput = mode.m_iGraphicsContextOutput;
    return true;
}

int KG_DeviceConfigurationDialog::GetSelectedAudioDevice() const
{
    return m_pComboBoxAudioDevice->GetSelectedIndex();
}

KR_GraphicsContext* KG_DeviceConfigurationDialog::GetChosenContext() const
{
    const int iContext = m_pComboBoxGraphicsAPI->GetSelectedIndex();
    if (m_pContexts == nullptr || iContext < 0 ||
        static_cast<std::uint32_t>(iContext) >= m_pContexts->GetNumMembers())
        return nullptr;
    return (*m_pContexts)[static_cast<std::uint32_t>(iContext)];
}

void KG_DeviceConfigurationDialog::OnGraphicsAPIChanged()
{
    KR_GraphicsContext* pContext = GetChosenContext();
    m_pComboBoxDevice->GetItems().Clear();
    m_pComboBoxOutput->GetItems().Clear();
    m_pComboBoxResolution->GetItems().Clear();
    m_aSelectableScreenResolutions.clear();
    for (forms::Control* pControl :
         std::initializer_list<forms::Control*>{m_pComboBoxOutput, m_pComboBoxResolution,
                                                m_pComboBoxAspectRatio, m_pComboBoxAntialiasing, m_pButtonOK})
        pControl->SetEnabled(false);
    m_pComboBoxRenderingQuality->SetSelectedIndex(RENDERING_QUALITY_HIGH);

    if (pContext == nullptr || !pContext->LoadLibraries())
    {
        m_pComboBoxDevice->SetEnabled(false);
        return;
    }
    const auto pNames = Own(pContext->GetAdapterNames());
    for (std::uint32_t i = 0; pNames != nullptr && i < pNames->GetNumMembers(); ++i)
        m_pComboBoxDevice->GetItems().Add(ToStd((*pNames)[i]));
    m_pComboBoxDevice->SetEnabled(true);
    if (m_pComboBoxDevice->GetItems().GetCount() > 0)
        m_pComboBoxDevice->SetSelectedIndex(0);
}

void KG_DeviceConfigurationDialog::OnDeviceChanged()
{
    m_pComboBoxOutput->GetItems().Clear();
    m_pComboBoxResolution->GetItems().Clear();
    m_aSelectableScreenResolutions.clear();
    for (forms::Control* pControl : std::initializer_list<forms::Control*>{
             m_pComboBoxResolution, m_pComboBoxAspectRatio, m_pComboBoxAntialiasing, m_pButtonOK})
        pControl->SetEnabled(false);

    KR_GraphicsContext* pContext = GetChosenContext();
    const int iDevice = m_pComboBoxDevice->GetSelectedIndex();
    if (pContext != nullptr && iDevice >= 0)
    {
        const auto pNames = Own(pContext->GetOutputNames(static_cast<std::uint32_t>(iDevice)));
        for (std::uint32_t i = 0; pNames != nullptr && i < pNames->GetNumMembers(); ++i)
            m_pComboBoxOutput->GetItems().Add(ToStd((*pNames)[i]));
    }
    m_pComboBoxOutput->SetEnabled(true);
    if (m_pComboBoxOutput->GetItems().GetCount() > 0)
        m_pComboBoxOutput->SetSelectedIndex(0);
}

void KG_DeviceConfigurationDialog::OnOutputChanged()
{
    m_pComboBoxResolution->GetItems().Clear();
    m_aSelectableScreenResolutions.clear();
    for (forms::Control* pControl :
         std::initializer_list<forms::Control*>{m_pComboBoxAspectRatio, m_pComboBoxAntialiasing, m_pButtonOK})
        pControl->SetEnabled(false);

    KR_GraphicsContext* pContext = GetChosenContext();
    const int iContext = m_pComboBoxGraphicsAPI->GetSelectedIndex();
    const int iDevice = m_pComboBoxDevice->GetSelectedIndex();
    const int iOutput = m_pComboBoxOutput->GetSelectedIndex();
    const forms::Rectangle screen = forms::Screen::PrimaryScreenBounds();
    int iPreselection = -1;
    if (pContext != nullptr && iDevice >= 0 && iOutput >= 0)
    {
        const auto pModes = Own(pContext->GetScreenResolutions(static_cast<std::uint32_t>(iDevice),
                                                               static_cast<std::uint32_t>(iOutput)));
        KR_ScreenResolution previous;
        for (std::uint32_t i = 0; pModes != nullptr && i < pModes->GetNumMembers(); ++i)
        {
            const KR_ScreenResolution& mode = (*pModes)[i];
            const std::int64_t iRate =
                RoundedRate(mode.m_uiRefreshRateNumerator, mode.m_uiRefreshRateDenominator);
            const bool bRepeat =
                mode.m_uiWidth == previous.m_uiWidth && mode.m_uiHeight == previous.m_uiHeight &&
                iRate == RoundedRate(previous.m_uiRefreshRateNumerator, previous.m_uiRefreshRateDenominator);
            previous = mode;
            if (bRepeat)
                continue;
            m_pComboBoxResolution->GetItems().Add(std::to_string(mode.m_uiWidth) + " x " +
                                                  std::to_string(mode.m_uiHeight) + " @ " +
                                                  std::to_string(iRate) + " Hz");
            KG_ScreenResolution entry;
            entry.m_iWidth = mode.m_uiWidth;
            entry.m_iHeight = mode.m_uiHeight;
            entry.m_iRefreshRate_Numerator = mode.m_uiRefreshRateNumerator;
            entry.m_iRefreshRate_Denominator = mode.m_uiRefreshRateDenominator;
            entry.m_iGraphicsContext = iContext;
            entry.m_iGraphicsContextDevice = iDevice;
            entry.m_iGraphicsContextOutput = iOutput;
            entry.m_iAspectRatio = mode.m_eAspectRatio;
            m_aSelectableScreenResolutions.push_back(entry);
            if (screen.Width >= 0 && screen.Height >= 0 &&
                mode.m_uiWidth == static_cast<std::uint32_t>(screen.Width) &&
                mode.m_uiHeight == static_cast<std::uint32_t>(screen.Height))
                iPreselection = static_cast<int>(m_aSelectableScreenResolutions.size()) - 1;
        }
    }

    m_pComboBoxResolution->SetEnabled(true);
    if (iPreselection < 0)
        iPreselection = m_pComboBoxResolution->GetItems().GetCount() - 1;
    if (iPreselection >= 0)
        m_pComboBoxResolution->SetSelectedIndex(iPreselection);
}

void KG_DeviceConfigurationDialog::OnResolutionChanged()
{
    const int iResolution = m_pComboBoxResolution->GetSelectedIndex();
    if (iResolution < 0 || static_cast<std::size_t>(iResolution) >= m_aSelectableScreenResolutions.size())
    {
        m_pButtonOK->SetEnabled(false);
        return;
    }
    m_pButtonOK->SetEnabled(true);
    m_pComboBoxAspectRatio->SetEnabled(true);
    m_pComboBoxAntialiasing->SetEnabled(true);
    m_pComboBoxAntialiasing->SetSelectedIndex(0);
    const KG_ScreenResolution& mode = m_aSelectableScreenResolutions[static_cast<std::size_t>(iResolution)];
    m_pComboBoxAspectRatio->SetSelectedIndex(
        static_cast<int>(InferAspectRatio(mode.m_iWidth, mode.m_iHeight)));
}

void KG_DeviceConfigurationDialog::OnAspectRatioChanged()
{
    // Start also needs a mode: stored texts may pick an aspect ratio after the lists above it
    // came out empty.
    m_pButtonOK->SetEnabled(m_pComboBoxAspectRatio->GetSelectedIndex() >= 0 &&
                            m_pComboBoxResolution->GetSelectedIndex() >= 0);
}

void KG_DeviceConfigurationDialog::OnStart()
{
    const int iResolution = m_pComboBoxResolution->GetSelectedIndex();
    if (iResolution < 0 || static_cast<std::size_t>(iResolution) >= m_aSelectableScreenResolutions.size())
        return;
    m_pKGScreenResolution = m_aSelectableScreenResolutions[static_cast<std::size_t>(iResolution)];
    const int iAspectRatio = m_pComboBoxAspectRatio->GetSelectedIndex();
    m_pKGScreenResolution.m_iAspectRatio =
        iAspectRatio > 0 ? static_cast<KR_AspectRatio>(iAspectRatio) : KR_ASPECT_RATIO_FROM_SIZE;
    const int iQuality = m_pComboBoxRenderingQuality->GetSelectedIndex();
    m_pKGScreenResolution.m_iRenderingQuality = iQuality > 0 ? static_cast<std::uint32_t>(iQuality) : 0;
    m_pKGScreenResolution.m_bFullscreen = m_pCheckBoxFullscreen->GetChecked();
    m_pKGScreenResolution.m_bVSync = m_pCheckBoxVSync->GetChecked();
    const int iAntiAliasing = m_pComboBoxAntialiasing->GetSelectedIndex();
    m_pKGScreenResolution.m_iAntiAliasing = iAntiAliasing > 0 ? ANTI_ALIASING_SAMPLES[iAntiAliasing] : 1;
    m_bIsValid = true;
    if (m_bDeveloperBuild)
        StoreChoices();
    SetDialogResult(forms::DialogResult::OK);
    Close();
}

void KG_DeviceConfigurationDialog::OnAbort()
{
    m_bIsValid = false;
    Close();
}

void KG_DeviceConfigurationDialog::OnClosing()
{
    // The fade runs on this thread, so once the timer is stopped no step can follow.
    m_bIsStopped = true;
    if (m_rBlendTimer != nullptr)
        m_rBlendTimer->Stop();
}

int KG_DeviceConfigurationDialog::GetViewTime(int iImage) const
{
    if (m_gViewTimes.empty())
        return DEFAULT_VIEW_TIME_MS;
    const std::size_t uiIndex = iImage >= 0 && static_cast<std::size_t>(iImage) < m_gViewTimes.size()
                                    ? static_cast<std::size_t>(iImage)
                                    : m_gViewTimes.size() - 1;
    return m_gViewTimes[uiIndex] > 0 ? m_gViewTimes[uiIndex] : 0;
}

void KG_DeviceConfigurationDialog::OnBlendTimer()
{
    m_rBlendTimer->Change(forms::Timeout::Infinite, forms::Timeout::Infinite);
    if (m_bIsStopped || m_gBannerImages.empty())
        return;
    const int iImages = static_cast<int>(m_gBannerImages.size());
    if (!m_bIsBlending)
    {
        m_iCurrentBanner = (m_iCurrentBanner + 1) % iImages;
        m_iCurrentBlendStep = 0;
        m_bIsBlending = true;
        m_rBlendTimer->Change(1, forms::Timeout::Infinite);
        return;
    }

    ++m_iCurrentBlendStep;
    const forms::Image& image = *m_gBannerImages[static_cast<std::size_t>(m_iCurrentBanner)];
    if (m_iCurrentBlendStep >= BLEND_STEPS)
    {
        m_pPictureBoxBanner->SetImage(m_gBannerImages[static_cast<std::size_t>(m_iCurrentBanner)]);
        m_bIsBlending = false;
        m_rBlendTimer->Change(GetViewTime(m_iCurrentBanner), forms::Timeout::Infinite);
        return;
    }
    forms::ColorMatrix matrix;
    matrix.Matrix33 = static_cast<float>(m_iCurrentBlendStep) * BLEND_ALPHA_PER_STEP;
    forms::ImageAttributes attributes;
    attributes.SetColorMatrix(matrix);
    forms::Graphics graphics = m_pPictureBoxBanner->CreateGraphics();
    const forms::Size box = m_pPictureBoxBanner->GetSize();
    graphics.DrawImage(image, {0, 0, box.Width, box.Height}, 0, 0, image.GetWidth(), image.GetHeight(),
                       forms::GraphicsUnit::Pixel, attributes);
    graphics.Flush();
    m_rBlendTimer->Change(1, forms::Timeout::Infinite);
}

void KG_DeviceConfigurationDialog::StoreChoices() const
{
    forms::RegistryKey& user = forms::Registry::CurrentUser();
    std::unique_ptr<forms::RegistryKey> pKey = user.OpenSubKey(REGISTRY_KEY, true);
    if (pKey == nullptr)
    {
        user.CreateSubKey(REGISTRY_KEY);
        pKey = user.OpenSubKey(REGISTRY_KEY, true);
    }
    if (pKey == nullptr)
        return;
    const forms::ComboBox* lists[] = {
        m_pComboBoxGraphicsAPI, m_pComboBoxDevice,       m_pComboBoxOutput,           m_pComboBoxResolution,
        m_pComboBoxAspectRatio, m_pComboBoxAntialiasing, m_pComboBoxRenderingQuality, m_pComboBoxAudioDevice};
    for (std::size_t i = 0; i < std::size(lists); ++i)
        pKey->SetValue(STORED_LISTS[i], lists[i]->GetText());
    pKey->SetValueDWord(STORED_FULLSCREEN, m_pCheckBoxFullscreen->GetChecked() ? 1 : 0);
    pKey->SetValueDWord(STORED_VSYNC, m_pCheckBoxVSync->GetChecked() ? 1 : 0);
}

void KG_DeviceConfigurationDialog::ApplyStoredChoices()
{
    const std::unique_ptr<forms::RegistryKey> pKey =
        forms::Registry::CurrentUser().OpenSubKey(REGISTRY_KEY, false);
    if (pKey == nullptr)
        return;
    forms::RegistryValue stored[std::size(STORED_LISTS)];
    for (std::size_t i = 0; i < std::size(STORED_LISTS); ++i)
        stored[i] = pKey->GetValue(STORED_LISTS[i]);
    const forms::RegistryValue fullscreen = pKey->GetValue(STORED_FULLSCREEN);
    const forms::RegistryValue vsync = pKey->GetValue(STORED_VSYNC);

    // One list at a time, top down: each selection refills the lists below it before their own
    // stored text is looked for. Matching is exact, case included.
    forms::ComboBox* lists[] = {m_pComboBoxGraphicsAPI,      m_pComboBoxDevice,      m_pComboBoxOutput,
                                m_pComboBoxResolution,       m_pComboBoxAspectRatio, m_pComboBoxAntialiasing,
                                m_pComboBoxRenderingQuality, m_pComboBoxAudioDevice};
    for (std::size_t i = 0; i < std::size(lists); ++i)
    {
        if (stored[i].kind != forms::RegistryValueKind::String)
            continue;
        const int iIndex = lists[i]->GetItems().IndexOf(stored[i].text);
        if (iIndex >= 0 && iIndex != lists[i]->GetSelectedIndex())
            lists[i]->SetSelectedIndex(iIndex);
    }

    std::int64_t iNumber = 0;
    m_pCheckBoxFullscreen->SetChecked(ReadStoredNumber(fullscreen, &iNumber) && iNumber != 0);
    m_pCheckBoxVSync->SetChecked(!ReadStoredNumber(vsync, &iNumber) || iNumber != 0);
}

} // namespace K_GUI
