#include "framework/files/KF_FileManager.h"
#include "platform/win32/Win32Control.h"
#include "platform/win32/Windows.h"
#include "tests/support/MemoryRepository.h"
#include "tests/support/TestEngine.h"
#include "tools/KG_ManagedFacade.h"

#include <gtest/gtest.h>

namespace
{

class KG_ManagedFacadeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Win32Control::Reset();
        m_pRepository = new MemoryRepository(false);
        m_Files.AddRepository(m_pRepository);
        m_Engine->SetFileManager(&m_Files);
    }

    void TearDown() override { Win32Control::Reset(); }

    TestEngine m_Engine;
    KF_FileManager m_Files;
    MemoryRepository* m_pRepository = nullptr;   // owned by m_Files
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

TEST_F(KG_ManagedFacadeTest, NoChoiceBeforeTheDialogLeavesTheOutputAlone)
{
    std::uint32_t uiDevice = 77;
    EXPECT_FALSE(m_Facade.GetSelectedAudioDevice(&uiDevice));
    EXPECT_EQ(uiDevice, 77u);
    EXPECT_FALSE(m_Facade.GetSelectedAudioDevice(nullptr));
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
