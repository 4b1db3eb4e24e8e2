#include "tools/KG_ManagedFacade.h"
#include "platform/d3d11/D3D11Control.h"
#include "platform/d3d11/D3D11Modules.h"
#include "platform/forms/FormsControl.h"
#include "platform/win32/Win32Control.h"
#include "platform/win32/Windows.h"
#include "render/device/KR_GraphicsContextDX11Factory.h"
#include "render/device/KR_GraphicsContextManager.h"
#include "tests/support/MemoryFiles.h"
#include "tests/support/TestEngine.h"
#include "tools/KG_DeviceConfigurationDialog.h"

#include <gtest/gtest.h>

namespace
{

// A 2 x 1 RGBA PNG, stored uncompressed.
std::string TinyPng()
{
    const unsigned char bytes[] = {
        0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52,
        0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0xF4, 0x22, 0x7F,
        0x8A, 0x00, 0x00, 0x00, 0x14, 0x49, 0x44, 0x41, 0x54, 0x78, 0x01, 0x01, 0x09, 0x00, 0xF6, 0xFF,
        0x00, 0xFF, 0x00, 0x00, 0xFF, 0x00, 0x00, 0xFF, 0x80, 0x0F, 0x7A, 0x03, 0x7E, 0x4A, 0x6E, 0x70,
        0x0C, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
    return std::string(reinterpret_cast<const char*>(bytes), sizeof(bytes));
}

class KG_ManagedFacadeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Win32Control::Reset();
        FormsControl::Reset();
        D3D11Control::Reset();
        D3D11Modules::Register();
        m_Files.Install();
        m_gFactories.Add(&m_Direct3D);
    }

    void TearDown() override
    {
        FormsControl::Reset();
        Win32Control::Reset();
        D3D11Control::Reset();
    }

    // The dialog offers the graphics contexts of a context manager over the Direct3D stand-in.
    bool ShowDialog(KR_GraphicsContextManager* pContexts)
    {
        if (pContexts != nullptr)
            pContexts->CreateGraphicsContexts(m_gFactories);
        m_Engine->SetGraphicsContextManager(pContexts);
        return m_Facade.ShowConfigurationDialog(KB_GrowingArray<KB_String>(), KB_GrowingArray<int>());
    }

    static void SetModes(const std::vector<DXGI_MODE_DESC>& modes)
    {
        D3D11Control::AdapterConfig adapter;
        adapter.Outputs[0].Modes = modes;
        D3D11Control::SetAdapters({adapter});
    }

    TestEngine m_Engine;
    MemoryFiles m_Files{false};
    MemoryRepository* m_pRepository = m_Files.GetRepository();
    KR_GraphicsContextDX11Factory m_Direct3D;
    KB_GrowingArray<KU_GraphicsContextFactory*> m_gFactories;
    KG_ManagedFacade m_Facade;
};

TEST_F(KG_ManagedFacadeTest, BannersThatCannotBeReadOrDecodedAreSkipped)
{
    m_pRepository->SetFile("Assets/Banner_00.png", TinyPng());
    m_pRepository->SetFile("Assets/Banner_01.png", "png bytes");
    m_Engine->SetApplicationName("KV-27: Moorglow");
    KB_GrowingArray<KB_String> gPaths;
    KB_GrowingArray<int> gTimes;
    for (const char* pPath : {"Assets/Banner_00.png", "Assets/Banner_01.png", "Assets/Missing.png"})
    {
        gPaths.Add(pPath);
        gTimes.Add(3000);
    }
    std::string sTitle;
    std::shared_ptr<forms::Image> pBanner;
    FormsControl::SetModalRunner(
        [&](forms::Form& form)
        {
            sTitle = form.GetText();
            pBanner = form.Find<forms::PictureBox>("pictureBoxBanner")->GetImage();
        });
    EXPECT_FALSE(m_Facade.ShowConfigurationDialog(gPaths, gTimes)); // the runner left it open
    EXPECT_EQ(sTitle, "KV-27: Moorglow");
    ASSERT_NE(pBanner, nullptr);
    EXPECT_EQ(pBanner->GetWidth(), 2);
    EXPECT_EQ(FormsControl::GetArmedTimerCount(), 0); // one banner left: no fade
    EXPECT_EQ(m_pRepository->GetNumReads(), 2u);
    EXPECT_EQ(m_pRepository->GetReferenceCount("Assets/Banner_00.png"), 0u);
    EXPECT_EQ(m_pRepository->GetReferenceCount("Assets/Banner_01.png"), 0u);
}

TEST_F(KG_ManagedFacadeTest, NoChoiceLeavesTheOutputsAlone)
{
    KR_GraphicsContextManager contexts(nullptr);
    for (int iAttempt = 0; iAttempt < 3; ++iAttempt)
    {
        if (iAttempt == 1)
        {
            // no graphics context manager
            EXPECT_FALSE(ShowDialog(nullptr));
        }
        if (iAttempt == 2)
        {
            SetModes({});
            EXPECT_FALSE(ShowDialog(&contexts)); // an output without modes
        }
        std::uint32_t uiDevice = 77;
        KR_ScreenResolution resolution;
        resolution.m_uiWidth = 5;
        int iContext = -1, iAdapter = -1, iOutput = -1;
        EXPECT_FALSE(m_Facade.GetSelectedAudioDevice(&uiDevice));
        EXPECT_FALSE(m_Facade.GetSelectedScreenResolution(&resolution, &iContext, &iAdapter, &iOutput));
        EXPECT_EQ(uiDevice, 77u);
        EXPECT_EQ(resolution.m_uiWidth, 5u);
        EXPECT_EQ(iContext, -1);
    }
    m_Engine->SetGraphicsContextManager(nullptr);
}

TEST_F(KG_ManagedFacadeTest, TheDefaultRunnerStartsWithTheScreenSize)
{
    SetModes(D3D11Control::DefaultDisplayModes());
    KR_GraphicsContextManager contexts(nullptr);
    ASSERT_TRUE(ShowDialog(&contexts));
    KR_ScreenResolution resolution;
    resolution.m_uiMultisampleQuality = 3;
    int iContext = -1, iAdapter = -1, iOutput = -1;
    std::uint32_t uiDevice = 77;
    ASSERT_TRUE(m_Facade.GetSelectedScreenResolution(&resolution, &iContext, &iAdapter, &iOutput));
    EXPECT_EQ(resolution.m_uiWidth, 1920u);
    EXPECT_EQ(resolution.m_uiHeight, 1080u);
    EXPECT_EQ(resolution.m_uiRefreshRateNumerator, 60u);
    EXPECT_EQ(resolution.m_eAspectRatio, KR_ASPECT_RATIO_16_9);
    EXPECT_EQ(resolution.m_uiRenderingQuality, 2u);
    EXPECT_TRUE(resolution.m_bFullscreen);
    EXPECT_EQ(resolution.m_uiMultisampleQuality, 0u); // the facade's own record, copied whole
    EXPECT_EQ(iContext + iAdapter + iOutput, 0);
    EXPECT_FALSE(m_Facade.GetSelectedScreenResolution(&resolution, nullptr, &iAdapter, &iOutput));
    EXPECT_FALSE(m_Facade.GetSelectedAudioDevice(nullptr));
    EXPECT_TRUE(m_Facade.GetSelectedAudioDevice(&uiDevice));
    EXPECT_EQ(uiDevice, 0u); // "No Audio Device available"
    m_Engine->SetGraphicsContextManager(nullptr);
}

TEST_F(KG_ManagedFacadeTest, QuitQuestionOnlyInDeveloperMode)
{
    EXPECT_TRUE(m_Facade.CloseInterpolationEditorDialogs(false));
    EXPECT_TRUE(Win32Control::GetMessageBoxes().empty());

    m_Engine->SetDeveloperBuild(true);
    FormsControl::ExpectMessageBox("Quit?", forms::DialogResult::No);
    FormsControl::ExpectMessageBox("Quit?", forms::DialogResult::Yes);
    EXPECT_FALSE(m_Facade.CloseInterpolationEditorDialogs(false));
    EXPECT_TRUE(m_Facade.CloseInterpolationEditorDialogs(true));
    const auto boxes = Win32Control::GetMessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Do you really want to quit?");
    EXPECT_EQ(boxes[0].caption, "Quit?");
    EXPECT_EQ(boxes[0].type, UINT(MB_YESNO | MB_ICONSTOP));
}

TEST_F(KG_ManagedFacadeTest, MessageBoxHasOnlyAnOkButton)
{
    m_Facade.ShowMessageBox("Failed to initialize DirectX 11 Device.", "Device Initialization");
    const auto boxes = Win32Control::GetMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Failed to initialize DirectX 11 Device.");
    EXPECT_EQ(boxes[0].caption, "Device Initialization");
    EXPECT_EQ(boxes[0].type, MB_OK);
}

} // namespace
