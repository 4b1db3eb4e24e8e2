#pragma once
// The start-up launcher: a fixed 328 x 384 modal form in which the user picks graphics API,
// adapter, output, display mode, aspect ratio, anti-aliasing, rendering quality, audio device,
// fullscreen and vsync, while the production's banners cross-fade at the top. "Start" confirms,
// "Abort" (or the close box) cancels. Controls carry fixed names (comboBoxGraphicsAPI,
// comboBoxDevice, comboBoxOutput, comboBoxResolution, comboBoxAspectRatio, comboBoxAntialiasing,
// comboBoxRenderingQuality, comboBoxAudioDevice, checkBoxFullscreen, checkBoxVSync, buttonOK,
// buttonCancel, pictureBoxBanner), which tests and the modal runner use.
//
// The lists cascade: a selection change refills and selects in the lists below it (API -> device
// -> output -> resolution -> aspect ratio and anti-aliasing). Display modes equal in size and
// rounded refresh rate to the one listed just before are listed once; the primary screen's size is
// preselected. In developer builds the choices are kept in the current user's registry key
// "Software\Korvelane" and applied again on the next start.
//
// The cross-fade runs on a one-shot timer of the forms scheduler, so on this dialog's own thread:
// closing stops it before the dialog can go away. Main thread only.

#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"
#include "platform/forms/FormsForm.h"
#include "platform/forms/FormsLists.h"
#include "platform/forms/FormsTimer.h"
#include "platform/forms/FormsWidgets.h"
#include "tools/KG_ScreenResolution.h"

#include <memory>
#include <vector>

class KR_GraphicsContext;

namespace K_GUI
{

class KG_DeviceConfigurationDialog : public forms::Form
{
public:
    static constexpr const char* REGISTRY_KEY = "Software\\Korvelane";
    static constexpr const char* NO_AUDIO_DEVICE = "No Audio Device available";
    static constexpr int BLEND_STEPS = 70;                      // the 70th step shows the image itself
    static constexpr int DEFAULT_VIEW_TIME_MS = 3000;           // when no view time was given at all
    static constexpr float BLEND_ALPHA_PER_STEP = 0.014285714f; // 1 / BLEND_STEPS

    // pContexts: the selectable graphics contexts (not owned, may be null: nothing to choose; must
    // outlive the dialog). pAudioDevices: the audio device names (not owned, may be null: none;
    // read during construction only). View times are in milliseconds, one per image; a missing one
    // repeats the last.
    KG_DeviceConfigurationDialog(std::vector<std::shared_ptr<forms::Image>> gBannerImages,
                                 std::vector<int> gViewTimes,
                                 const KB_GrowingArray<KR_GraphicsContext*>* pContexts,
                                 const KB_GrowingArray<KB_String>* pAudioDevices, bool bDeveloperBuild);
    ~KG_DeviceConfigurationDialog() override;

    void SetTitle(const KB_String& sTitle);
    bool IsResultValid() const { return m_bIsValid; }
    // The chosen mode (all but the multisample quality, which stays as it is) and the API, adapter
    // and output indices; false without a confirmed choice or with any null pointer.
    bool GetSelectedScreenResolution(KR_ScreenResolution* pResolution, int* piContext, int* piDevice,
                                     int* piOutput) const;
    // The audio list's selected index; -1 when nothing is selected.
    int GetSelectedAudioDevice() const;

private:
    void BuildControls();
    forms::ComboBox* AddList(const char* pName, const char* pLabelName, const char* pLabel, int iY,
                             int iTabIndex);

    void OnGraphicsAPIChanged();
    void OnDeviceChanged();
    void OnOutputChanged();
    void OnResolutionChanged();
    void OnAspectRatioChanged();
    void OnStart();
    void OnAbort();
    void OnClosing();
    void OnBlendTimer();

    KR_GraphicsContext* GetChosenContext() const; // null when none is chosen
    int GetViewTime(int iImage) const;
    void StoreChoices() const;
    void ApplyStoredChoices();

    const KB_GrowingArray<KR_GraphicsContext*>* m_pContexts; // not owned, may be null
    bool m_bDeveloperBuild;

    forms::PictureBox* m_pPictureBoxBanner = nullptr; // controls: children of this form
    forms::ComboBox* m_pComboBoxGraphicsAPI = nullptr;
    forms::ComboBox* m_pComboBoxDevice = nullptr;
    forms::ComboBox* m_pComboBoxOutput = nullptr;
    forms::ComboBox* m_pComboBoxResolution = nullptr;
    forms::ComboBox* m_pComboBoxAspectRatio = nullptr;
    forms::ComboBox* m_pComboBoxAntialiasing = nullptr;
    forms::ComboBox* m_pComboBoxRenderingQuality = nullptr;
    forms::ComboBox* m_pComboBoxAudioDevice = nullptr;
    forms::CheckBox* m_pCheckBoxFullscreen = nullptr;
    forms::CheckBox* m_pCheckBoxVSync = nullptr;
    forms::Button* m_pButtonCancel = nullptr;
    forms::Button* m_pButtonOK = nullptr;

    std::vector<KG_ScreenResolution> m_aSelectableScreenResolutions; // one per resolution entry
    KG_ScreenResolution m_pKGScreenResolution;                       // the chosen mode, set by Start
    bool m_bIsValid = false;

    std::vector<std::shared_ptr<forms::Image>> m_gBannerImages;
    std::vector<int> m_gViewTimes;
    int m_iCurrentBanner = 0;
    int m_iCurrentBlendStep = 0;
    bool m_bIsBlending = false;
    bool m_bIsStopped = false;
    std::unique_ptr<forms::Timer> m_rBlendTimer; // declared last: destroyed (and stopped) first
};

} // namespace K_GUI
