#include "framework/app/KE_Application.h"
#include "framework/app/KE_ApplicationManager.h"
#include "framework/app/KE_Dispatcher.h"
#include "framework/app/KU_ApplicationFactory.h"
#include "framework/threads/KT_ThreadPool.h"
#include "platform/win32/Win32Control.h"
#include "platform/win32/Win32SystemControl.h"
#include "tests/support/FakeSubsystemBridge.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

// Logs its calls and its deletion into the bridge's log.
class LoggingFactory : public KU_ApplicationFactory
{
public:
    explicit LoggingFactory(std::vector<std::string>* pLog) : m_pLog(pLog) {}
    ~LoggingFactory() override { m_pLog->push_back("delete factory"); }

    KB_GrowingArray<KU_GraphicsContextFactory*>& GetGraphicsContextFactories() override
    {
        return m_gFactories;
    }
    KU_AudioContextFactory* GetAudioContextFactory() override { return nullptr; }
    KB_String GetMaterialFilePath() override { return "Assets/Materials/Test.xml"; }
    KB_String GetAudioEntityDirectory() override { return "Assets/Entities/Audio/"; }
    KB_GrowingArray<KB_String> GetLauncherBannerPaths() override
    {
        m_pLog->push_back("banner paths");
        KB_GrowingArray<KB_String> gPaths;
        gPaths.Add("Banner_00.png");
        gPaths.Add("Banner_01.png");
        return gPaths;
    }
    KB_GrowingArray<int> GetLauncherBannerTimes() override
    {
        m_pLog->push_back("banner times");
        KB_GrowingArray<int> gTimes;
        gTimes.Add(3000);
        gTimes.Add(1500);
        return gTimes;
    }

private:
    KB_GrowingArray<KU_GraphicsContextFactory*> m_gFactories;
    std::vector<std::string>* m_pLog;
};

// Records the window messages it hears.
class WindowProbe : public KE_MessageReceiver
{
public:
    bool Receive(KE_MessageType type, KE_MessageSubType subType, void* pPayload) override
    {
        m_gSubTypes.push_back(subType);
        m_gWindows.push_back(type == KE_MT_Window && pPayload != nullptr ? *static_cast<HWND*>(pPayload)
                                                                         : nullptr);
        return true;
    }
    std::vector<KE_MessageSubType> m_gSubTypes;
    std::vector<HWND> m_gWindows;
};

class KE_ApplicationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Win32Control::Reset();
        Win32SystemControl::Reset();
    }

    void TearDown() override
    {
        if (KE_ApplicationManager::GetInstance() != nullptr)
            m_App.Shutdown();
        EXPECT_EQ(KE_ApplicationManager::GetInstance(), nullptr);
        EXPECT_FALSE(KT_ThreadPool::IsRunning());
        Win32Control::Reset();
        Win32SystemControl::Reset();
    }

    void Initialize(const char* pCommandLine = "")
    {
        m_App.Initialize(new LoggingFactory(&m_Bridge.m_gLog), KB_String(pCommandLine));
    }

    int InitializeAndRun(const char* pCommandLine = "")
    {
        Initialize(pCommandLine);
        return m_App.Run(nullptr, SW_SHOWNORMAL);
    }

    FakeSubsystemBridge m_Bridge;
    KE_Application m_App;
};

TEST_F(KE_ApplicationTest, DeveloperModeOnlyForTheExactWord)
{
    const struct
    {
        const char* pCommandLine;
        bool bDeveloper;
    } cases[] = {{"/develop", true},    {"/DEVELOP", false}, {"/develop ", false}, {" /develop", false},
                 {"/develop x", false}, {"/develo", false},  {"", false}};
    for (const auto& c : cases)
    {
        Initialize(c.pCommandLine);
        EXPECT_EQ(KE_ApplicationManager::GetInstance()->IsDeveloperBuild(), c.bDeveloper)
            << '"' << c.pCommandLine << '"';
        m_App.Shutdown();
    }
}

TEST_F(KE_ApplicationTest, InitializeCreatesTheMembersInOrderAndStartsThePool)
{
    Win32SystemControl::SetProcessorCount(4);
    Initialize();
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    ASSERT_NE(pEngine, nullptr);
    const std::vector<std::string> expected = {"create graphics context manager",
                                               "create scene manager",
                                               "create material manager",
                                               "create shader cache",
                                               "create facade",
                                               "create audio context manager",
                                               "create audio context",
                                               "initialize audio context",
                                               "create interpolation manager"};
    EXPECT_EQ(m_Bridge.m_gLog, expected);
    EXPECT_NE(pEngine->GetInputManager(), nullptr);
    EXPECT_NE(pEngine->GetDispatcher(), nullptr);
    EXPECT_NE(pEngine->GetFileManager(), nullptr);
    EXPECT_NE(pEngine->GetInterpolationManger(), nullptr);
    EXPECT_EQ(pEngine->GetGraphicsDevice(), nullptr);
    EXPECT_EQ(pEngine->GetRenderer(), nullptr);
    EXPECT_EQ(pEngine->GetDispatcher()->GetReceiverCount(KE_MT_Application), 1u);
    EXPECT_EQ(pEngine->GetDispatcher()->GetReceiverCount(KE_MT_Controller), 1u);
    EXPECT_EQ(KT_ThreadPool::GetNumThreads(), 3u);
}

TEST_F(KE_ApplicationTest, WorkerCountFollowsTheProcessors)
{
    const std::uint32_t cases[][2] = {{1, 1}, {2, 1}, {8, 7}};
    for (const auto& c : cases)
    {
        Win32SystemControl::SetProcessorCount(c[0]);
        Initialize();
        EXPECT_EQ(KT_ThreadPool::GetNumThreads(), c[1]) << c[0] << " processors";
        m_App.Shutdown();
        EXPECT_EQ(KT_ThreadPool::GetNumThreads(), 0u);
    }
}

TEST_F(KE_ApplicationTest, EscapeEndsTheRunAfterTheNextFrameThenShutsDownInOrder)
{
    bool bPoolRunningInSecondFrame = true;
    m_Bridge.m_OnFrame = [&](int iFrame)
    {
        if (iFrame == 1)
            Win32Control::PostKeyPress(nullptr, VK_ESCAPE);
        if (iFrame == 2)
            bPoolRunningInSecondFrame = KT_ThreadPool::IsRunning();
    };
    EXPECT_EQ(InitializeAndRun(), 0);
    EXPECT_EQ(m_Bridge.m_iFrames, 2);
    EXPECT_FALSE(bPoolRunningInSecondFrame);
    EXPECT_EQ(m_Bridge.m_gForceArguments, std::vector<bool>{false});

    // The scenes shut down before the application deletes anything.
    const int iSceneShutdown = m_Bridge.IndexOf("shutdown scenes");
    ASSERT_GE(iSceneShutdown, 0);
    const std::vector<std::string> deletions(m_Bridge.m_gLog.begin() + iSceneShutdown + 1,
                                             m_Bridge.m_gLog.end());
    const std::vector<std::string> expected = {"delete particle engine",
                                               "delete post-processing engine",
                                               "delete metaball renderer",
                                               "delete OIT renderer",
                                               "delete scene manager",
                                               "delete renderer",
                                               "delete resource manager",
                                               "delete graphics context manager",
                                               "delete graphics device",
                                               "delete audio context manager",
                                               "delete facade",
                                               "delete material manager",
                                               "delete shader cache",
                                               "delete shader core manager",
                                               "delete factory",
                                               "delete interpolation manager"};
    EXPECT_EQ(deletions, expected);
    EXPECT_EQ(Win32Control::GetMessageBoxes().size(), 0u);
}

TEST_F(KE_ApplicationTest, OneFrameIsAudioPushScenesPop)
{
    m_Bridge.m_OnFrame = [&](int) { Win32Control::PostKeyPress(nullptr, VK_ESCAPE); };
    InitializeAndRun();
    const int iFirst = m_Bridge.IndexOf("update audio");
    ASSERT_GE(iFirst, 0);
    const std::vector<std::string> frame(m_Bridge.m_gLog.begin() + iFirst,
                                         m_Bridge.m_gLog.begin() + iFirst + 4);
    EXPECT_EQ(frame, (std::vector<std::string>{"update audio", "push", "frame", "pop"}));
}

TEST_F(KE_ApplicationTest, ClosingTheWindowEndsWithTheQuitMessageCode)
{
    m_Bridge.m_OnFrame = [&](int iFrame)
    {
        if (iFrame == 1)
            PostMessageA(Win32Control::GetMainWindow(), WM_CLOSE, 0, 0);
    };
    EXPECT_EQ(InitializeAndRun(), 0);
    EXPECT_EQ(m_Bridge.m_iFrames, 1);
    EXPECT_EQ(m_Bridge.Count("shutdown scenes"), 1);
    EXPECT_EQ(m_Bridge.Count("close editor dialogs"), 0);
}

TEST_F(KE_ApplicationTest, QuitMessageCodeBecomesTheExitCode)
{
    m_Bridge.m_OnFrame = [&](int) { PostQuitMessage(3); };
    EXPECT_EQ(InitializeAndRun(), 3);
    EXPECT_EQ(m_Bridge.Count("shutdown scenes"), 1);
}

TEST_F(KE_ApplicationTest, RefusedQuitKeepsRunning)
{
    m_Bridge.m_gCloseAnswers = {false};
    m_Bridge.m_OnFrame = [&](int iFrame)
    {
        if (iFrame == 1 || iFrame == 3)
            Win32Control::PostKeyPress(nullptr, VK_ESCAPE);
    };
    EXPECT_EQ(InitializeAndRun(), 0);
    EXPECT_EQ(m_Bridge.m_iFrames, 4);
    EXPECT_EQ(m_Bridge.m_gForceArguments, (std::vector<bool>{false, false}));
}

TEST_F(KE_ApplicationTest, ControllerQuitButtonAndOtherControllerMessages)
{
    Initialize();
    KE_ControllerButtonData other = {0, 4};
    KE_ControllerButtonData otherDevice = {1, 5};
    KE_ControllerButtonData quit = {0, 5};
    EXPECT_TRUE(m_App.Receive(KE_MT_Controller, KE_MST_ButtonDown, &other));
    EXPECT_TRUE(m_App.Receive(KE_MT_Controller, KE_MST_ButtonDown, &otherDevice));
    EXPECT_TRUE(m_App.Receive(KE_MT_Controller, KE_MST_ButtonDown, nullptr));
    EXPECT_TRUE(m_App.Receive(KE_MT_Controller, KE_MST_ButtonUp, &quit));
    EXPECT_FALSE(m_App.Receive(KE_MT_Keyboard, KE_MST_KeyDown, nullptr));
    EXPECT_FALSE(m_App.IsQuitRequested());
    EXPECT_TRUE(KT_ThreadPool::IsRunning());

    EXPECT_TRUE(m_App.Receive(KE_MT_Controller, KE_MST_ButtonDown, &quit));
    EXPECT_TRUE(m_App.IsQuitRequested());
    EXPECT_FALSE(KT_ThreadPool::IsRunning());
    EXPECT_EQ(m_Bridge.m_gForceArguments, std::vector<bool>{false});
}

TEST_F(KE_ApplicationTest, ForcedQuitForcesTheDialogsClosed)
{
    Initialize();
    m_Bridge.m_gCloseAnswers = {false};
    EXPECT_TRUE(m_App.Receive(KE_MT_Application, KE_MST_QuitRequest, nullptr));
    EXPECT_FALSE(m_App.IsQuitRequested());
    EXPECT_TRUE(m_App.Receive(KE_MT_Application, KE_MST_QuitForced, nullptr));
    EXPECT_TRUE(m_App.IsQuitRequested());
    EXPECT_EQ(m_Bridge.m_gForceArguments, (std::vector<bool>{false, true}));
}

struct StartUpFailure
{
    const char* pName;
    void (*Arrange)(FakeSubsystemBridge&);
    const char* pMessageBox; // null: no box
    bool bDialogShown;
    bool bWindowCreated;
};

class KE_ApplicationStartUpFailureTest : public KE_ApplicationTest,
                                         public ::testing::WithParamInterface<StartUpFailure>
{
};

TEST_P(KE_ApplicationStartUpFailureTest, EndsWithExitCodeZero)
{
    const StartUpFailure& failure = GetParam();
    failure.Arrange(m_Bridge);
    EXPECT_EQ(InitializeAndRun(), 0);

    EXPECT_EQ(KE_ApplicationManager::GetInstance(), nullptr);
    EXPECT_EQ(m_Bridge.m_iFrames, 0);
    EXPECT_EQ(m_Bridge.Count("shutdown scenes"), 0);
    EXPECT_EQ(m_Bridge.Count("delete factory"), 1);
    EXPECT_EQ(m_Bridge.Count("configuration dialog"), failure.bDialogShown ? 1 : 0);
    EXPECT_EQ(Win32Control::GetWindowCount() > 0, failure.bWindowCreated);

    const auto boxes = Win32Control::GetMessageBoxes();
    if (failure.pMessageBox == nullptr)
    {
        EXPECT_EQ(boxes.size(), 0u);
        return;
    }
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, failure.pMessageBox);
    EXPECT_EQ(boxes[0].caption, "Initialization Failure");
    EXPECT_EQ(boxes[0].type, MB_OK | MB_ICONERROR);
    EXPECT_EQ(boxes[0].owner, nullptr);
    // Nothing is asked of a context that is missing or failed.
    EXPECT_EQ(m_Bridge.Count("update audio"), 0);
    EXPECT_EQ(m_Bridge.Count("select audio device"), 0);
}

INSTANTIATE_TEST_SUITE_P(
    All, KE_ApplicationStartUpFailureTest,
    ::testing::Values(
        StartUpFailure{"DialogCancelled", [](FakeSubsystemBridge& b) { b.m_bDialogConfirmed = false; },
                       nullptr, true, false},
        StartUpFailure{"NoResolution", [](FakeSubsystemBridge& b) { b.m_bResolutionSelected = false; },
                       nullptr, true, false},
        StartUpFailure{"WindowClassFails",
                       [](FakeSubsystemBridge&) { Win32Control::FailNext("RegisterClassExA"); }, nullptr,
                       true, false},
        StartUpFailure{"WindowFails", [](FakeSubsystemBridge&) { Win32Control::FailNext("CreateWindowExA"); },
                       nullptr, true, false},
        StartUpFailure{"DeviceFails", [](FakeSubsystemBridge& b) { b.m_bDeviceCreated = false; }, nullptr,
                       true, true},
        StartUpFailure{"QuitDuringRuntimeStart",
                       [](FakeSubsystemBridge& b)
                       {
                           b.m_OnStartScenes = []
                           {
                               KE_ApplicationManager::GetInstance()->GetDispatcher()->Dispatch(
                                   KE_MT_Application, KE_MST_QuitRequest, nullptr);
                           };
                       },
                       nullptr, true, true},
        StartUpFailure{"NoAudioContext", [](FakeSubsystemBridge& b) { b.m_bAudioCreated = false; },
                       "Could not create AudioContext. Application will exit.", false, false},
        StartUpFailure{"AudioContextFailsToInitialize",
                       [](FakeSubsystemBridge& b) { b.m_bAudioInitialized = false; },
                       "Could not initialize AudioContext. Application will exit.", false, false}),
    [](const ::testing::TestParamInfo<StartUpFailure>& info) { return std::string(info.param.pName); });

TEST_F(KE_ApplicationTest, NullFactoryIsAStartUpFailure)
{
    m_App.Initialize(nullptr, KB_String("/develop"));
    EXPECT_EQ(m_App.Run(nullptr, SW_SHOWNORMAL), 0);
    EXPECT_EQ(m_Bridge.Count("create graphics context manager"), 0);
    EXPECT_EQ(m_Bridge.Count("create audio context"), 0);
    EXPECT_EQ(m_Bridge.Count("configuration dialog"), 0);
    const auto boxes = Win32Control::GetMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Could not create AudioContext. Application will exit.");
}

TEST_F(KE_ApplicationTest, ConfigurationDialogGetsTheBannersTimesFirst)
{
    m_Bridge.m_bDialogConfirmed = false;
    InitializeAndRun();
    const int iTimes = m_Bridge.IndexOf("banner times");
    ASSERT_GE(iTimes, 0);
    EXPECT_EQ(m_Bridge.IndexOf("banner paths"), iTimes + 1);
    EXPECT_EQ(m_Bridge.IndexOf("configuration dialog"), iTimes + 2);
    EXPECT_EQ(m_Bridge.m_gBannerPaths, (std::vector<std::string>{"Banner_00.png", "Banner_01.png"}));
    EXPECT_EQ(m_Bridge.m_gBannerTimes, (std::vector<int>{3000, 1500}));
}

TEST_F(KE_ApplicationTest, RuntimeSelectsTheChosenAudioDeviceAndHandsOverTheEntityPath)
{
    const struct
    {
        bool bChosen;
        std::uint32_t uiDevice;
        std::vector<std::uint32_t> selected;
    } cases[] = {{true, 2, {2}}, {true, 0, {0}}, {true, 0xFFFFFFFFu, {}}, {false, 1, {}}};
    for (const auto& c : cases)
    {
        m_Bridge.m_gLog.clear();
        m_Bridge.m_gSelectedAudioDevices.clear();
        m_Bridge.m_bAudioDeviceSelected = c.bChosen;
        m_Bridge.m_uiAudioDevice = c.uiDevice;
        m_Bridge.m_OnFrame = [](int) { Win32Control::PostKeyPress(nullptr, VK_ESCAPE); };
        Win32Control::Reset(); // the window class of the previous run is still registered
        KE_Application app;
        app.Initialize(new LoggingFactory(&m_Bridge.m_gLog), KB_String());
        EXPECT_EQ(app.Run(nullptr, SW_SHOWNORMAL), 0);
        EXPECT_EQ(m_Bridge.m_gSelectedAudioDevices, c.selected) << c.uiDevice;
        const int iRenderer = m_Bridge.IndexOf("create renderer");
        ASSERT_GE(iRenderer, 0);
        EXPECT_LT(iRenderer, m_Bridge.IndexOf("get audio device"));
        EXPECT_LT(m_Bridge.IndexOf("get audio device"),
                  m_Bridge.IndexOf("audio entity path Assets/Entities/Audio/"));
        EXPECT_LT(m_Bridge.IndexOf("audio entity path Assets/Entities/Audio/"),
                  m_Bridge.IndexOf("start scenes"));
    }
}

TEST_F(KE_ApplicationTest, WindowIsCentredAndRetitledAfterStartUp)
{
    Win32Control::SetDesktopRect({0, 0, 1280, 1024});
    WindowProbe probe;
    RECT client = {};
    RECT window = {};
    m_Bridge.m_OnStartScenes = [&]
    { KE_ApplicationManager::GetInstance()->GetDispatcher()->RegisterReceiver(KE_MT_Window, &probe); };
    m_Bridge.m_OnFrame = [&](int)
    {
        GetClientRect(Win32Control::GetMainWindow(), &client);
        GetWindowRect(Win32Control::GetMainWindow(), &window);
        KE_ApplicationManager::GetInstance()->GetDispatcher()->UnRegisterReceiver(KE_MT_Window, &probe);
        Win32Control::PostKeyPress(nullptr, VK_ESCAPE);
    };
    Initialize();
    KE_ApplicationManager::GetInstance()->SetApplicationName(KB_String("Test Show"));
    EXPECT_EQ(m_App.Run(nullptr, SW_SHOWNORMAL), 0);

    EXPECT_EQ(client.right - client.left, 320);
    EXPECT_EQ(client.bottom - client.top, 240);
    RECT adjusted = {0, 0, 320, 240};
    AdjustWindowRect(&adjusted, 0x00CC0000, FALSE);
    const LONG iWidth = adjusted.right - adjusted.left;
    const LONG iHeight = adjusted.bottom - adjusted.top;
    EXPECT_EQ(window.left, (1280 >> 1) - (iWidth >> 1));
    EXPECT_EQ(window.top, (1024 >> 1) - (iHeight >> 1));
    EXPECT_EQ(window.right - window.left, iWidth);

    const auto titles = Win32Control::GetTitleHistory();
    ASSERT_GE(titles.size(), 2u);
    EXPECT_EQ(titles.front(), "Initializing Korvelane Framework");
    EXPECT_EQ(titles.back(), "Test Show");

    ASSERT_EQ(probe.m_gSubTypes.size(), 1u);
    EXPECT_EQ(probe.m_gSubTypes[0], KE_MST_WindowActivated);
    EXPECT_EQ(probe.m_gWindows[0], m_App.GetMainWindow());
    EXPECT_EQ(m_Bridge.m_hDeviceWindow, m_App.GetMainWindow());
}

TEST_F(KE_ApplicationTest, ResizeReachesTheScenesOnlyWhenTheSizeChanged)
{
    m_Bridge.m_uiWidth = 320;
    m_Bridge.m_uiHeight = 240;
    m_Bridge.m_OnFrame = [&](int iFrame)
    {
        if (iFrame > 1)
            return;
        HWND hWindow = Win32Control::GetMainWindow();
        SendMessageA(hWindow, WM_SIZE, SIZE_RESTORED, MAKELPARAM(320, 240));
        SendMessageA(hWindow, WM_SIZE, SIZE_RESTORED, MAKELPARAM(640, 480));
        SendMessageA(hWindow, WM_SIZE, SIZE_RESTORED, MAKELPARAM(640, 480));
        Win32Control::PostKeyPress(nullptr, VK_ESCAPE);
    };
    InitializeAndRun();
    // Sizes sent while the window was created, before the device existed, were ignored.
    EXPECT_GT(m_Bridge.IndexOf("set resolution 320x240"), m_Bridge.IndexOf("create graphics device"));
    EXPECT_EQ(m_Bridge.Count("set resolution 320x240"), 1);
    EXPECT_EQ(m_Bridge.Count("set resolution 640x480"), 2);
    EXPECT_EQ(m_Bridge.Count("resize scenes"), 1);
}

TEST_F(KE_ApplicationTest, ArrowCursorOnlyWhenTheScenesAllowIt)
{
    HCURSOR hHidden = reinterpret_cast<HCURSOR>(1);
    HCURSOR hShown = nullptr;
    m_Bridge.m_OnFrame = [&](int iFrame)
    {
        if (iFrame > 1)
            return;
        HWND hWindow = Win32Control::GetMainWindow();
        SendMessageA(hWindow, WM_MOUSEMOVE, 0, 0);
        hHidden = GetCursor();
        m_Bridge.m_bCursorVisible = true;
        SendMessageA(hWindow, WM_LBUTTONDOWN, MK_LBUTTON, 0);
        hShown = GetCursor();
        Win32Control::PostKeyPress(nullptr, VK_ESCAPE);
    };
    InitializeAndRun();
    EXPECT_EQ(hHidden, nullptr);
    EXPECT_NE(hShown, nullptr);
    EXPECT_EQ(hShown, KE_Application::s_hArrowCursor);

    // Without an engine the window procedure still answers.
    HWND hWindow = m_App.GetMainWindow();
    EXPECT_EQ(SendMessageA(hWindow, WM_MOUSEMOVE, 0, 0), 0);
    EXPECT_EQ(SendMessageA(hWindow, WM_KEYDOWN, VK_ESCAPE, 0), 0);
    EXPECT_EQ(SendMessageA(hWindow, WM_SIZE, 0, MAKELPARAM(10, 10)), 0);
}

} // namespace
