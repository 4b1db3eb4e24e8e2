#include "tools/KG_ManagedFacade.h"
#include "framework/files/KF_FileManager.h"
#include "platform/d3d11/D3D11Control.h"
#include "platform/d3d11/D3D11Modules.h"
#include "platform/win32/Win32Control.h"
#include "platform/win32/Windows.h"
#include "render/device/KR_GraphicsContextDX11Factory.h"
#include "render/device/KR_GraphicsContextManager.h"
#include "tests/support/MemoryRepository.h"
#include "tests/support/TestEngine.h"

#include <gtest/gtest.h>

namespace
{

class KG_ManagedFacadeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Win32Control::Reset();
        D3D11Control::Reset();
        D3D11Modules::Register();
        m_pRepository = new MemoryRepository(false);
        m_Files.AddRepository(m_pRepository);
        m_Engine->SetFileManager(&m_Files);
        m_gFactories.Add(&m_Direct3D);
    }

    void TearDown() override
    {
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

    static DXGI_MODE_DESC Mode(UINT uiWidth, UINT uiHeight)
    {
        DXGI_MODE_DESC mode = {};
        mode.Width = uiWidth;
        mode.Height = uiHeight;
        mode.RefreshRate = {60, 1};
        mode.Format = DXGI_FORMAT_R8G8B8A8_UNORM_SRGB;
        return mode;
    }

    static void SetModes(const std::vector<DXGI_MODE_DESC>& modes)
    {
        D3D11Control::AdapterConfig adapter;
        adapter.Outputs[0].Modes = modes;
        D3D11Control::SetAdapters({adapter});
    }

    TestEngine m_Engine;
    KF_FileManager m_Files;
    MemoryRepository* m_pRepository = nullptr; // owned by m_Files
    KR_GraphicsContextDX11Factory m_Direct3D;
    KB_GrowingArray<KU_GraphicsContextFactory*> m_gFactories;
    KG_ManagedFacade m_Facade;
};

TEST_F(KG_ManagedFacadeTest, BannersAreReadAndReleasedMissingOnesSkipped)
{
    m_pRepository->SetFile("Assets/Banner_00.png", "png bytes");
    KB_GrowingArray<KB_String> gPaths;
    gPaths.Add("Assets/Banner_00.png");
    gPaths.Add("Assets/Missing.png");
    KB_GrowingArray<int> gTimes;
    gTimes.Add(3000);
    gTimes.Add(3000);
    m_Facade.ShowConfigurationDialog(gPaths, gTimes);
    EXPECT_EQ(m_pRepository->GetNumReads(), 1u);
    EXPECT_EQ(m_pRepository->GetReferenceCount("Assets/Banner_00.png"), 0u);
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

TEST_F(KG_ManagedFacadeTest, DefaultChoiceIsWindowed1280x720OrTheFirstMode)
{
    const struct
    {
        std::vector<DXGI_MODE_DESC> modes;
        UINT uiWidth;
        UINT uiHeight;
    } cases[] = {{D3D11Control::DefaultDisplayModes(), 1280, 720},
                 {{Mode(800, 600), Mode(1280, 1024), Mode(1280, 720), Mode(1280, 720)}, 1280, 720},
                 {{Mode(1024, 768), Mode(1920, 1080)}, 1024, 768}};
    for (const auto& c : cases)
    {
        SetModes(c.modes);
        KR_GraphicsContextManager contexts(nullptr);
        ASSERT_TRUE(ShowDialog(&contexts));
        KR_ScreenResolution resolution;
        int iContext = -1, iAdapter = -1, iOutput = -1;
        std::uint32_t uiDevice = 77;
        ASSERT_TRUE(m_Facade.GetSelectedScreenResolution(&resolution, &iContext, &iAdapter, &iOutput));
        EXPECT_EQ(resolution.m_uiWidth, c.uiWidth);
        EXPECT_EQ(resolution.m_uiHeight, c.uiHeight);
        EXPECT_EQ(resolution.m_uiRefreshRateNumerator, 60u);
        EXPECT_FALSE(resolution.m_bFullscreen);
        EXPECT_EQ(iContext + iAdapter + iOutput, 0);
        EXPECT_FALSE(m_Facade.GetSelectedScreenResolution(&resolution, nullptr, &iAdapter, &iOutput));
        EXPECT_TRUE(m_Facade.GetSelectedAudioDevice(&uiDevice));
        EXPECT_EQ(uiDevice, 0u);
        m_Engine->SetGraphicsContextManager(nullptr);
    }
}

TEST_F(KG_ManagedFacadeTest, QuitQuestionOnlyInDeveloperMode)
{
    EXPECT_TRUE(m_Facade.CloseInterpolationEditorDialogs(false));
    EXPECT_TRUE(Win32Control::GetMessageBoxes().empty());

    m_Engine->SetDeveloperBuild(true);
    Win32Control::PushMessageBoxAnswer(IDNO);
    Win32Control::PushMessageBoxAnswer(IDYES);
    EXPECT_FALSE(m_Facade.CloseInterpolationEditorDialogs(false));
    EXPECT_TRUE(m_Facade.CloseInterpolationEditorDialogs(true));
    const auto boxes = Win32Control::GetMessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Do you really want to quit?");
    EXPECT_EQ(boxes[0].caption, "Quit?");
    EXPECT_EQ(boxes[0].type & MB_TYPEMASK, MB_YESNO);
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
