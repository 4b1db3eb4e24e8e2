#include "tools/KG_DeviceConfigurationDialog.h"
#include "platform/forms/FormsControl.h"
#include "platform/forms/FormsRegistry.h"
#include "platform/win32/Win32Control.h"
#include "render/device/KR_GraphicsContext.h"
#include "tests/support/NullGraphicsContext.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using K_GUI::KG_DeviceConfigurationDialog;

namespace
{

KR_ScreenResolution Mode(std::uint32_t w, std::uint32_t h, std::uint32_t num = 60, std::uint32_t den = 1)
{
    KR_ScreenResolution mode;
    mode.m_uiWidth = w;
    mode.m_uiHeight = h;
    mode.m_uiRefreshRateNumerator = num;
    mode.m_uiRefreshRateDenominator = den;
    return mode;
}

std::vector<KR_ScreenResolution> D3D11DefaultModes()
{
    return {Mode(640, 480), Mode(800, 600), Mode(1024, 768), Mode(1280, 720), Mode(1920, 1080)};
}

// A graphics context over a fixed table of adapters, their outputs and the outputs' modes.
class FakeGraphicsContext : public NullGraphicsContext
{
public:
    struct Output
    {
        std::string name;
        std::vector<KR_ScreenResolution> modes;
    };
    using Adapter = std::pair<std::string, std::vector<Output>>;

    FakeGraphicsContext(std::string name, std::vector<Adapter> adapters, bool bLibraries = true)
        : m_sName(std::move(name)), m_gAdapters(std::move(adapters)), m_bLibraries(bLibraries)
    {
    }
    bool LoadLibraries() override { return m_bLibraries; }
    KB_String GetName() override { return KB_String(m_sName.c_str()); }
    KB_GrowingArray<KB_String>* GetAdapterNames() override
    {
        auto* p = new KB_GrowingArray<KB_String>();
        for (const Adapter& adapter : m_gAdapters)
            p->Add(KB_String(adapter.first.c_str()));
        return p;
    }
    KB_GrowingArray<KB_String>* GetOutputNames(std::uint32_t uiAdapter) override
    {
        auto* p = new KB_GrowingArray<KB_String>();
        for (const Output& output : m_gAdapters.at(uiAdapter).second)
            p->Add(KB_String(output.name.c_str()));
        return p;
    }
    KB_GrowingArray<KR_ScreenResolution>* GetScreenResolutions(std::uint32_t uiAdapter,
                                                               std::uint32_t uiOutput) override
    {
        auto* p = new KB_GrowingArray<KR_ScreenResolution>();
        for (const KR_ScreenResolution& mode : m_gAdapters.at(uiAdapter).second.at(uiOutput).modes)
            p->Add(mode);
        return p;
    }

private:
    std::string m_sName;
    std::vector<Adapter> m_gAdapters;
    bool m_bLibraries;
};

class KG_DeviceConfigurationDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Win32Control::Reset();
        FormsControl::Reset();
    }
    void TearDown() override
    {
        m_gContexts.DeleteAll();
        FormsControl::Reset();
        Win32Control::Reset();
    }

    void AddContext(std::vector<KR_ScreenResolution> modes)
    {
        m_gContexts.Add(
            new FakeGraphicsContext("DirectX 11", {{"Adapter", {{"Monitor", std::move(modes)}}}}));
    }

    std::unique_ptr<KG_DeviceConfigurationDialog> Make(bool bDeveloper = false, int iImages = 0,
                                                       std::vector<int> gTimes = {3000, 3000})
    {
        std::vector<std::shared_ptr<forms::Image>> gImages;
        for (int i = 0; i < iImages; ++i)
            gImages.push_back(std::make_shared<forms::Bitmap>(8, 4));
        auto pDialog = std::make_unique<KG_DeviceConfigurationDialog>(
            std::move(gImages), std::move(gTimes), &m_gContexts, &m_gAudioDevices, bDeveloper);
        pDialog->Show(); // shown modeless, so that the test can use its controls
        return pDialog;
    }

    static forms::ComboBox& List(KG_DeviceConfigurationDialog& dialog, const std::string& name)
    {
        return *dialog.Find<forms::ComboBox>("comboBox" + name);
    }
    static std::vector<std::string> Items(KG_DeviceConfigurationDialog& dialog, const std::string& name)
    {
        const forms::ObjectCollection& items = List(dialog, name).GetItems();
        return std::vector<std::string>(items.begin(), items.end());
    }
    static forms::Button& Start(KG_DeviceConfigurationDialog& dialog)
    {
        return *dialog.Find<forms::Button>("buttonOK");
    }

    KB_GrowingArray<KR_GraphicsContext*> m_gContexts; // owned
    KB_GrowingArray<KB_String> m_gAudioDevices;
};

TEST_F(KG_DeviceConfigurationDialogTest, ListsCascadeThroughAdaptersOutputsAndModes)
{
    m_gContexts.Add(new FakeGraphicsContext(
        "DirectX 11",
        {{"No Outputs", {}}, {"Card", {{"Dark", {}}, {"Lit", {Mode(1280, 720), Mode(1920, 1080)}}}}}));
    m_gContexts.Add(new FakeGraphicsContext("Missing", {{"Card", {}}}, false));
    auto pDialog = Make();
    KG_DeviceConfigurationDialog& dialog = *pDialog;

    // The first adapter has no outputs: nothing below it, and Start stays off.
    EXPECT_EQ(Items(dialog, "Device"), (std::vector<std::string>{"No Outputs", "Card"}));
    EXPECT_TRUE(List(dialog, "Output").GetEnabled());
    EXPECT_EQ(List(dialog, "Output").GetItems().GetCount(), 0);
    EXPECT_FALSE(List(dialog, "Resolution").GetEnabled());
    EXPECT_FALSE(Start(dialog).GetEnabled());

    // The first output of the next adapter has no modes.
    ASSERT_TRUE(List(dialog, "Device").UserSelect(1));
    EXPECT_EQ(List(dialog, "Output").GetSelectedIndex(), 0);
    EXPECT_TRUE(List(dialog, "Resolution").GetEnabled());
    EXPECT_EQ(List(dialog, "Resolution").GetItems().GetCount(), 0);
    EXPECT_FALSE(Start(dialog).GetEnabled());

    ASSERT_TRUE(List(dialog, "Output").UserSelect(1));
    EXPECT_EQ(List(dialog, "Resolution").GetText(), "1920 x 1080 @ 60 Hz");
    EXPECT_TRUE(Start(dialog).GetEnabled());

    // An API whose libraries are missing: nothing to choose; the quality goes back to "High".
    ASSERT_TRUE(List(dialog, "RenderingQuality").UserSelect(0));
    ASSERT_TRUE(List(dialog, "GraphicsAPI").UserSelect(1));
    EXPECT_FALSE(List(dialog, "Device").GetEnabled());
    EXPECT_EQ(List(dialog, "Resolution").GetItems().GetCount(), 0);
    EXPECT_FALSE(Start(dialog).GetEnabled());
    EXPECT_EQ(List(dialog, "RenderingQuality").GetText(), "High");
}

TEST_F(KG_DeviceConfigurationDialogTest, RepeatedModesAreListedOnceAndTheScreenSizeIsPreselected)
{
    AddContext({Mode(1280, 720), Mode(1920, 1080, 60000, 1001), Mode(1920, 1080, 60, 1),
                Mode(1920, 1080, 75, 1), Mode(800, 600, 60, 0), Mode(800, 600, 60, 0)});
    auto pDialog = Make();
    EXPECT_EQ(Items(*pDialog, "Resolution"),
              (std::vector<std::string>{"1280 x 720 @ 60 Hz", "1920 x 1080 @ 60 Hz", "1920 x 1080 @ 75 Hz",
                                        "800 x 600 @ 0 Hz"}));
    EXPECT_EQ(List(*pDialog, "Resolution").GetSelectedIndex(), 2); // the screen's size, highest rate

    // The entry keeps the fraction of the first of its repeats.
    ASSERT_TRUE(List(*pDialog, "Resolution").UserSelect(1));
    ASSERT_TRUE(Start(*pDialog).PerformClick());
    KR_ScreenResolution chosen;
    int iContext = -1, iDevice = -1, iOutput = -1;
    ASSERT_TRUE(pDialog->GetSelectedScreenResolution(&chosen, &iContext, &iDevice, &iOutput));
    EXPECT_EQ(chosen.m_uiRefreshRateNumerator, 60000u);
    EXPECT_EQ(chosen.m_uiRefreshRateDenominator, 1001u);

    // Without the screen's size among the modes, the last one is chosen.
    FormsControl::SetPrimaryScreenSize(1024, 768);
    EXPECT_EQ(List(*Make(), "Resolution").GetSelectedIndex(), 3);
}

TEST_F(KG_DeviceConfigurationDialogTest, AspectRatioFollowsTheModeAndAntiAliasingResets)
{
    AddContext({Mode(1366, 768), Mode(1280, 1024), Mode(1920, 1200), Mode(1440, 960), Mode(1920, 1080)});
    auto pDialog = Make();
    const char* expected[] = {"Auto", "5:4", "16:10", "3:2", "16:9"};
    for (int i = 0; i < 5; ++i)
    {
        ASSERT_TRUE(List(*pDialog, "Antialiasing").UserSelect(2));
        ASSERT_TRUE(List(*pDialog, "Resolution").UserSelect(i));
        EXPECT_EQ(List(*pDialog, "AspectRatio").GetText(), expected[i]) << i;
        EXPECT_EQ(List(*pDialog, "Antialiasing").GetText(), "1x") << i;
    }
}

TEST_F(KG_DeviceConfigurationDialogTest, StartReportsEveryChoiceTheCloseBoxAndNullPointersNothing)
{
    AddContext(D3D11DefaultModes());
    m_gAudioDevices.Add(KB_String("Speakers"));
    m_gAudioDevices.Add(KB_String("Headphones"));
    KR_ScreenResolution chosen;
    chosen.m_uiMultisampleQuality = 7;
    int iContext = -1, iDevice = -1, iOutput = -1;

    auto pAborted = Make();
    ASSERT_TRUE(pAborted->UserCloseBox());
    EXPECT_FALSE(pAborted->IsResultValid());
    EXPECT_FALSE(pAborted->GetSelectedScreenResolution(&chosen, &iContext, &iDevice, &iOutput));

    auto pDialog = Make();
    EXPECT_EQ(Items(*pDialog, "AudioDevice"), (std::vector<std::string>{"Speakers", "Headphones"}));
    ASSERT_TRUE(List(*pDialog, "AudioDevice").UserSelect(1));
    ASSERT_TRUE(List(*pDialog, "AspectRatio").UserSelect(2));
    ASSERT_TRUE(List(*pDialog, "Antialiasing").UserSelect(3));
    ASSERT_TRUE(List(*pDialog, "RenderingQuality").UserSelect(4));
    ASSERT_TRUE(pDialog->Find<forms::CheckBox>("checkBoxFullscreen")->UserClick());
    ASSERT_TRUE(pDialog->UserPressEnter());
    EXPECT_TRUE(pDialog->IsClosed());
    EXPECT_FALSE(pDialog->GetSelectedScreenResolution(&chosen, nullptr, &iDevice, &iOutput));
    ASSERT_TRUE(pDialog->GetSelectedScreenResolution(&chosen, &iContext, &iDevice, &iOutput));
    EXPECT_EQ(chosen.m_uiWidth, 1920u);
    EXPECT_EQ(chosen.m_uiHeight, 1080u);
    EXPECT_EQ(chosen.m_eAspectRatio, KR_ASPECT_RATIO_4_3);
    EXPECT_EQ(chosen.m_uiAntiAliasing, 8u);
    EXPECT_EQ(chosen.m_uiRenderingQuality, 4u);
    EXPECT_FALSE(chosen.m_bFullscreen);
    EXPECT_TRUE(chosen.m_bVSync);
    EXPECT_EQ(chosen.m_uiMultisampleQuality, 7u); // never written by the dialog
    EXPECT_EQ(iContext + iDevice + iOutput, 0);
    EXPECT_EQ(pDialog->GetSelectedAudioDevice(), 1);

    m_gAudioDevices = KB_GrowingArray<KB_String>();
    auto pSilent = Make();
    EXPECT_EQ(Items(*pSilent, "AudioDevice"), (std::vector<std::string>{"No Audio Device available"}));
    EXPECT_EQ(pSilent->GetSelectedAudioDevice(), 0);
}

TEST_F(KG_DeviceConfigurationDialogTest, DeveloperBuildsStoreTheChoiceAndApplyItThroughTheCascade)
{
    m_gContexts.Add(new FakeGraphicsContext("DirectX 9", {{"Old", {{"Monitor", {Mode(640, 480)}}}}}));
    m_gContexts.Add(
        new FakeGraphicsContext("DirectX 11", {{"Card A", {{"Monitor", {Mode(1024, 768)}}}},
                                               {"Card B", {{"Left", {}}, {"Right", D3D11DefaultModes()}}}}));
    const std::string key = KG_DeviceConfigurationDialog::REGISTRY_KEY;

    // Not in a developer build: nothing is stored.
    ASSERT_TRUE(Make()->UserPressEnter());
    EXPECT_EQ(forms::Registry::CurrentUser().OpenSubKey(key), nullptr);

    auto pFirst = Make(true);
    ASSERT_TRUE(List(*pFirst, "GraphicsAPI").UserSelect(1));
    ASSERT_TRUE(List(*pFirst, "Device").UserSelect(1));
    ASSERT_TRUE(List(*pFirst, "Output").UserSelect(1));
    ASSERT_TRUE(List(*pFirst, "Resolution").UserSelect(1));
    ASSERT_TRUE(List(*pFirst, "Antialiasing").UserSelect(2));
    ASSERT_TRUE(pFirst->Find<forms::CheckBox>("checkBoxVSync")->UserClick());
    ASSERT_TRUE(pFirst->UserPressEnter());
    const auto pKey = forms::Registry::CurrentUser().OpenSubKey(key);
    ASSERT_NE(pKey, nullptr);
    const std::pair<const char*, const char*> texts[] = {
        {"GraphicsAPI", "DirectX 11"}, {"Device", "Card B"},
        {"Output", "Right"},           {"Resolution", "800 x 600 @ 60 Hz"},
        {"AspectRatio", "4:3"},        {"AntiAliasing", "4x"},
        {"RenderingQuality", "High"},  {"AudioDevice", "No Audio Device available"}};
    for (const auto& [name, text] : texts)
        EXPECT_EQ(pKey->GetValue(name).text, text) << name;
    EXPECT_EQ(pKey->GetValue("Fullscreen").dword, 1u);
    EXPECT_EQ(pKey->GetValue("VSync").kind, forms::RegistryValueKind::DWord);
    EXPECT_EQ(pKey->GetValue("VSync").dword, 0u);

    // The next start applies them, each after the lists above it were refilled; a build that is
    // not a developer build ignores them.
    EXPECT_EQ(List(*Make(false), "Resolution").GetText(), "640 x 480 @ 60 Hz");
    auto pSecond = Make(true);
    EXPECT_EQ(List(*pSecond, "Resolution").GetText(), "800 x 600 @ 60 Hz");
    EXPECT_EQ(List(*pSecond, "Antialiasing").GetText(), "4x");
    EXPECT_TRUE(pSecond->Find<forms::CheckBox>("checkBoxFullscreen")->GetChecked());
    EXPECT_FALSE(pSecond->Find<forms::CheckBox>("checkBoxVSync")->GetChecked());

    // Texts that match nothing (case counts) are ignored; a number that is no number is missing:
    // Fullscreen then unchecked, VSync checked.
    auto pWrite = forms::Registry::CurrentUser().CreateSubKey(key);
    pWrite->SetValue("Device", "card b");
    pWrite->SetValue("Resolution", "1 x 1 @ 1 Hz");
    pWrite->SetValue("Fullscreen", "abc");
    pWrite->SetValue("VSync", "12x");
    auto pThird = Make(true);
    EXPECT_EQ(List(*pThird, "Device").GetText(), "Card A");
    EXPECT_EQ(List(*pThird, "Resolution").GetText(), "1024 x 768 @ 60 Hz");
    EXPECT_FALSE(pThird->Find<forms::CheckBox>("checkBoxFullscreen")->GetChecked());
    EXPECT_TRUE(pThird->Find<forms::CheckBox>("checkBoxVSync")->GetChecked());
}

TEST_F(KG_DeviceConfigurationDialogTest, StoredAspectRatioWithoutAModeLeavesStartOff)
{
    m_gContexts.Add(new FakeGraphicsContext("DirectX 11", {{"Card", {{"Dark", {}}}}}));
    forms::Registry::CurrentUser()
        .CreateSubKey(KG_DeviceConfigurationDialog::REGISTRY_KEY)
        ->SetValue("AspectRatio", "16:9");
    auto pDialog = Make(true);
    EXPECT_EQ(List(*pDialog, "AspectRatio").GetText(), "16:9");
    EXPECT_FALSE(Start(*pDialog).GetEnabled());
    Start(*pDialog).SetEnabled(true); // even a Start forced on does nothing without a mode
    Start(*pDialog).PerformClick();
    EXPECT_FALSE(pDialog->IsResultValid());
}

TEST_F(KG_DeviceConfigurationDialogTest, BannersCrossFadeInSixtyNineStepsAndStopOnClosing)
{
    AddContext(D3D11DefaultModes());
    EXPECT_EQ(FormsControl::GetArmedTimerCount(), 0);
    Make(false, 1);
    EXPECT_EQ(FormsControl::GetArmedTimerCount(), 0); // one banner: nothing to fade to

    auto pDialog = Make(false, 2, {3000}); // the second banner has no view time of its own
    forms::PictureBox& banner = *pDialog->Find<forms::PictureBox>("pictureBoxBanner");
    const std::shared_ptr<forms::Image> pFirst = banner.GetImage();
    ASSERT_NE(pFirst, nullptr);
    for (int iRound = 0; iRound < 2; ++iRound)
    {
        FormsControl::AdvanceTime(2999);
        EXPECT_EQ(banner.GetSurface().Commands().size(), 2u); // the clear and the shown banner
        FormsControl::AdvanceTime(1 + 69);
        const auto& commands = banner.GetSurface().Commands();
        ASSERT_EQ(commands.size(), 2u + 69u);
        for (std::size_t i = 2; i < commands.size(); ++i)
            EXPECT_FLOAT_EQ(commands[i].alpha, float(i - 1) / 70.0f);
        EXPECT_EQ(banner.GetImage() == pFirst, iRound == 0);
        FormsControl::AdvanceTime(1); // round 0 ends on the second banner, round 1 on the first
        EXPECT_EQ(banner.GetImage() == pFirst, iRound == 1);
    }
    ASSERT_TRUE(pDialog->UserPressEscape());
    EXPECT_EQ(FormsControl::GetArmedTimerCount(), 0);
}

} // namespace
