#include "production/KV27_SubsystemBridge.h"
#include "audio/KA_AudioContextManager.h"
#include "audio/KA_AudioResourceManager.h"
#include "framework/app/KE_Application.h"
#include "framework/app/KE_ApplicationManager.h"
#include "framework/app/KE_Dispatcher.h"
#include "framework/threads/KT_ThreadPool.h"
#include "platform/d3d11/D3D11Control.h"
#include "platform/fmod/FmodControl.h"
#include "platform/forms/FormsControl.h"
#include "platform/forms/FormsLists.h"
#include "platform/win32/Win32Control.h"
#include "production/KV27_ApplicationFactory.h"
#include "render/scene/KR_SceneManager.h"
#include "tests/support/ShowStandIns.h"
#include "tests/support/TestEngine.h"

#include <gtest/gtest.h>

namespace
{

// The production's own wiring, run in-process on the stand-ins as the program entry runs it.
class KV27_SubsystemBridgeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ShowStandIns::Reset();
        m_Bridge.Install();
    }

    void TearDown() override
    {
        KV27_SubsystemBridge::Uninstall();
        EXPECT_EQ(KE_ApplicationManager::GetInstance(), nullptr);
        EXPECT_FALSE(KT_ThreadPool::IsRunning());
        ShowStandIns::Reset();
    }

    int Run(const char* pCommandLine)
    {
        KE_Application application;
        application.Initialize(new KV27_ApplicationFactory(), KB_String(pCommandLine));
        KE_ApplicationManager::GetInstance()->SetApplicationName(KB_String("KV-27: Moorglow"));
        return application.Run(nullptr, SW_SHOWDEFAULT);
    }

    KV27_SubsystemBridge m_Bridge;
};

TEST_F(KV27_SubsystemBridgeTest, PlaysToTheEndOfTheTimelineAndQuits)
{
    EXPECT_EQ(Run(""), 0);

    const auto titles = Win32Control::GetTitleHistory();
    ASSERT_FALSE(titles.empty());
    EXPECT_EQ(titles.front(), "Initializing Korvelane Framework");
    EXPECT_EQ(titles.back(), "KV-27: Moorglow");
    // The light grey at device creation, the loading wedge from Start until the shown progress
    // passes full (at least 57 loading frames) and the hand-over, then one playback frame that
    // reaches the end of the empty timeline.
    EXPECT_GE(D3D11Control::GetPresentCount(), 60u);
    EXPECT_TRUE(Win32Control::GetMessageBoxes().empty());
    EXPECT_EQ(D3D11Control::GetLiveObjectCount(), 0u) << "leaked Direct3D objects";
}

TEST_F(KV27_SubsystemBridgeTest, StartsThroughTheConfigurationDialogWhoseAbortEndsWithExitCodeZero)
{
    std::string sTitle;
    std::string sMode;
    FormsControl::SetModalRunner(
        [&](forms::Form& form)
        {
            sTitle = form.GetText();
            sMode = form.Find<forms::ComboBox>("comboBoxResolution")->GetText();
            form.UserPressEscape();
        });
    EXPECT_EQ(Run(""), 0);
    EXPECT_EQ(sTitle, "KV-27: Moorglow");
    EXPECT_EQ(sMode, "1920 x 1080 @ 60 Hz"); // the desktop's size
    EXPECT_EQ(Win32Control::GetWindowCount(), 0);
}

TEST_F(KV27_SubsystemBridgeTest, DeveloperRunAsksBeforeQuittingAndRunsOnAfterNo)
{
    int iQuestions = 0;
    Win32Control::SetMessageBoxResponder(
        [&](const Win32Control::MessageBoxRecord& box)
        {
            if (box.text != "Do you really want to quit?")
                return IDOK;
            // The first answer keeps the show running; Escape then asks again.
            if (++iQuestions == 1)
            {
                Win32Control::PostKeyPress(nullptr, VK_ESCAPE);
                return IDNO;
            }
            return IDYES;
        });
    EXPECT_EQ(Run("/develop"), 0);
    EXPECT_EQ(iQuestions, 2);
}

TEST_F(KV27_SubsystemBridgeTest, WithoutDirect3DThereIsNothingToChooseAndNoWindow)
{
    for (const char* pMissing : {"d3d11.dll", "dxgi.dll"})
    {
        ShowStandIns::Reset();
        Win32Control::SetModuleMissing(pMissing, true);
        EXPECT_EQ(Run(""), 0) << pMissing;
        EXPECT_EQ(Win32Control::GetWindowCount(), 0) << pMissing;
        EXPECT_TRUE(Win32Control::GetMessageBoxes().empty()) << pMissing;
    }
}

TEST_F(KV27_SubsystemBridgeTest, FailedDeviceIsReportedThroughTheFacade)
{
    D3D11Control::FailNext("D3D11CreateDevice");
    EXPECT_EQ(Run(""), 0);
    const auto boxes = Win32Control::GetMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Failed to initialize DirectX 11 Device.");
    EXPECT_EQ(boxes[0].caption, "Device Initialization");
}

TEST_F(KV27_SubsystemBridgeTest, AudioContextThatCannotStartEndsBeforeTheDialog)
{
    FmodControl::FailNext("FMOD_System_Create", FMOD_ERR_MEMORY);
    EXPECT_EQ(Run(""), 0);
    const auto boxes = Win32Control::GetMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Could not initialize AudioContext. Application will exit.");
    EXPECT_EQ(Win32Control::GetWindowCount(), 0);
}

TEST_F(KV27_SubsystemBridgeTest, AudioEntityPathBringsTheScenesTimeScaleAndKeyInput)
{
    for (bool bDeveloper : {false, true})
    {
        TestEngine engine;
        KE_Dispatcher dispatcher;
        KR_SceneManager scenes;
        engine->SetDispatcher(&dispatcher);
        engine->SetSceneManager(&scenes);
        engine->SetDeveloperBuild(bDeveloper);
        {
            KA_AudioContextManager audio(nullptr);
            m_Bridge.SetAudioEntityPath(&audio, KB_String("Assets/Entities/Audio/"));
            EXPECT_DOUBLE_EQ(audio.GetAudioResourceManager()->GetTimeScale(), 12.0 / 13.0);
            EXPECT_EQ(dispatcher.GetReceiverCount(KE_MT_Keyboard), 1u);
        }
        EXPECT_EQ(dispatcher.GetReceiverCount(KE_MT_Keyboard), 0u);
    }
}

} // namespace
