#include "platform/win32/Win32Control.h"
#include "platform/win32/Windows.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace
{
LRESULT s_createResult = 0;
bool s_swallowSetText = false;

LRESULT TestProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CREATE)
        return s_createResult;
    if (message == WM_SETTEXT && s_swallowSetText)
        return TRUE;
    return DefWindowProcA(window, message, wParam, lParam);
}

std::vector<UINT> LoggedMessages(HWND window)
{
    std::vector<UINT> messages;
    for (const Win32Control::MessageRecord& r : Win32Control::GetMessageLog())
        if (r.hwnd == window)
            messages.push_back(r.message);
    return messages;
}

const Win32Control::MessageRecord* FindLogged(UINT message)
{
    static std::vector<Win32Control::MessageRecord> s_log;
    s_log = Win32Control::GetMessageLog();
    for (const Win32Control::MessageRecord& r : s_log)
        if (r.message == message)
            return &r;
    return nullptr;
}

class WinWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Win32Control::Reset();
        s_createResult = 0;
        s_swallowSetText = false;
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof(wc);
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = TestProc;
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.lpszClassName = "TestClass";
        ASSERT_NE(RegisterClassExA(&wc), 0);
    }
    void TearDown() override { Win32Control::Reset(); }

    // A caption window whose client area is 320 x 240 at screen position (100, 50) of its frame.
    HWND Create(DWORD style = WS_CAPTION | WS_SYSMENU)
    {
        RECT r = {0, 0, 320, 240};
        AdjustWindowRect(&r, style, FALSE);
        return CreateWindowExA(0, "testclass", "Title", style, 100, 50, r.right - r.left, r.bottom - r.top,
                               nullptr, nullptr, nullptr, nullptr);
    }
};
} // namespace

TEST_F(WinWindow, ClassRegistrationRejectsDuplicatesAndForcedFailures)
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = TestProc;
    wc.lpszClassName = "TESTCLASS";
    EXPECT_EQ(RegisterClassExA(&wc), 0) << "class names ignore case";
    wc.lpszClassName = "Other";
    EXPECT_TRUE(Win32Control::FailNext("RegisterClassExA"));
    EXPECT_EQ(RegisterClassExA(&wc), 0);
    EXPECT_NE(RegisterClassExA(&wc), 0) << "only the next call fails";
    wc.cbSize = 0;
    wc.lpszClassName = "Third";
    EXPECT_EQ(RegisterClassExA(&wc), 0);
    EXPECT_FALSE(Win32Control::FailNext("NoSuchCall"));
}

TEST_F(WinWindow, CreationFailsForUnknownClassForcedFailureAndRefusedCreate)
{
    EXPECT_EQ(CreateWindowExA(0, "Unknown", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    Win32Control::FailNext("CreateWindowExA");
    EXPECT_EQ(Create(), nullptr);

    s_createResult = -1;
    Win32Control::ClearMessageLog();
    EXPECT_EQ(Create(), nullptr);
    ASSERT_NE(FindLogged(WM_DESTROY), nullptr) << "a refused WM_CREATE destroys the window";
    EXPECT_EQ(Win32Control::GetWindowCount(), 0);
    EXPECT_EQ(Win32Control::GetMainWindow(), nullptr);
}

TEST_F(WinWindow, CreateAndShowSendTheirMessagesSynchronously)
{
    HWND window = Create();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(LoggedMessages(window), (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE}));
    const Win32Control::MessageRecord* size = FindLogged(WM_SIZE);
    EXPECT_EQ(size->wParam, static_cast<WPARAM>(SIZE_RESTORED));
    EXPECT_EQ(size->lParam, MAKELPARAM(320, 240));
    EXPECT_EQ(FindLogged(WM_MOVE)->lParam, MAKELPARAM(103, 76));
    EXPECT_FALSE(IsWindowVisible(window));

    Win32Control::ClearMessageLog();
    EXPECT_FALSE(ShowWindow(window, SW_SHOWDEFAULT)) << "was hidden";
    EXPECT_EQ(LoggedMessages(window), (std::vector<UINT>{WM_SHOWWINDOW, WM_ACTIVATE, WM_SIZE}));
    EXPECT_EQ(FindLogged(WM_ACTIVATE)->wParam, static_cast<WPARAM>(WA_ACTIVE));
    EXPECT_EQ(FindLogged(WM_SIZE)->lParam, MAKELPARAM(320, 240));
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(GetActiveWindow(), window);

    Win32Control::ClearMessageLog();
    EXPECT_TRUE(ShowWindow(window, SW_SHOW));
    EXPECT_TRUE(LoggedMessages(window).empty()) << "showing a visible active window changes nothing";
}

TEST_F(WinWindow, MinimisingDeactivatesWithTheMinimisedFlagAndRestoringActivates)
{
    HWND window = Create();
    ShowWindow(window, SW_SHOWNORMAL);
    Win32Control::ClearMessageLog();
    ShowWindow(window, SW_MINIMIZE);
    const Win32Control::MessageRecord* activate = FindLogged(WM_ACTIVATE);
    ASSERT_NE(activate, nullptr);
    EXPECT_EQ(LOWORD(activate->wParam), WA_INACTIVE);
    EXPECT_EQ(HIWORD(activate->wParam), 1);
    EXPECT_EQ(FindLogged(WM_SIZE)->wParam, static_cast<WPARAM>(SIZE_MINIMIZED));
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 0);

    Win32Control::ClearMessageLog();
    ShowWindow(window, SW_RESTORE);
    EXPECT_EQ(FindLogged(WM_ACTIVATE)->wParam, static_cast<WPARAM>(WA_ACTIVE));
    EXPECT_EQ(FindLogged(WM_SIZE)->lParam, MAKELPARAM(320, 240));
}

TEST_F(WinWindow, AdjustWindowRectAddsFixedFrames)
{
    RECT r = {0, 0, 320, 240};
    ASSERT_TRUE(AdjustWindowRect(&r, WS_CAPTION | WS_SYSMENU, FALSE));
    EXPECT_EQ(r.left, -3);
    EXPECT_EQ(r.top, -26);
    EXPECT_EQ(r.right, 323);
    EXPECT_EQ(r.bottom, 243);

    r = {0, 0, 320, 240};
    AdjustWindowRect(&r, 0x00CC0000, FALSE); // caption, system menu and sizing frame
    EXPECT_EQ(r.left, -8);
    EXPECT_EQ(r.top, -31);
    EXPECT_EQ(r.right, 328);
    EXPECT_EQ(r.bottom, 248);

    r = {0, 0, 100, 100};
    AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, TRUE);
    EXPECT_EQ(r.left, -8);
    EXPECT_EQ(r.top, -8 - 23 - 20);
    EXPECT_EQ(r.bottom, 108);

    r = {0, 0, 100, 100};
    AdjustWindowRect(&r, WS_POPUP, FALSE);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_FALSE(AdjustWindowRect(nullptr, 0, FALSE));
}

TEST_F(WinWindow, GeometryQueriesAndMoves)
{
    HWND window = Create();
    RECT r;
    ASSERT_TRUE(GetWindowRect(window, &r));
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.right - r.left, 326);
    ASSERT_TRUE(GetClientRect(window, &r));
    EXPECT_EQ(r.right, 320);
    EXPECT_EQ(r.bottom, 240);
    POINT p = {110, 90};
    ASSERT_TRUE(ScreenToClient(window, &p));
    EXPECT_EQ(p.x, 7);
    EXPECT_EQ(p.y, 14);

    Win32Control::ClearMessageLog();
    MoveWindow(window, 0, 0, 326, 269, TRUE);
    EXPECT_EQ(LoggedMessages(window), (std::vector<UINT>{WM_MOVE})) << "same size: no WM_SIZE";
    Win32Control::ClearMessageLog();
    MoveWindow(window, 0, 0, 646, 509, TRUE);
    EXPECT_EQ(LoggedMessages(window), (std::vector<UINT>{WM_SIZE}));
    EXPECT_EQ(FindLogged(WM_SIZE)->lParam, MAKELPARAM(640, 480));

    EXPECT_FALSE(GetWindowRect(reinterpret_cast<HWND>(0x1234), &r));
}

TEST_F(WinWindow, DesktopIsConfigurableAndCanFail)
{
    RECT r;
    ASSERT_TRUE(GetWindowRect(GetDesktopWindow(), &r));
    EXPECT_EQ(r.right, 1920);
    EXPECT_EQ(r.bottom, 1080);
    Win32Control::SetDesktopRect({0, 0, 1280, 720});
    GetClientRect(GetDesktopWindow(), &r);
    EXPECT_EQ(r.right, 1280);
    Win32Control::FailNext("GetWindowRect");
    EXPECT_FALSE(GetWindowRect(GetDesktopWindow(), &r));
    EXPECT_TRUE(GetWindowRect(GetDesktopWindow(), &r));
}

TEST_F(WinWindow, QueueIsFifoWithFiltersAndQuitComesLast)
{
    HWND window = Create();
    MSG m;
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    PostMessageA(window, WM_USER + 1, 1, 0);
    PostQuitMessage(7);
    PostMessageA(window, WM_USER + 2, 2, 0);
    PostMessageA(nullptr, WM_USER + 3, 3, 0);
    EXPECT_FALSE(PostMessageA(reinterpret_cast<HWND>(0x1234), WM_USER, 0, 0));

    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(m.message, WM_USER + 1);
    ASSERT_TRUE(PeekMessageA(&m, window, WM_USER + 2, WM_USER + 2, PM_REMOVE));
    EXPECT_EQ(m.wParam, 2u) << "range filter skips the first";
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_USER + 1);
    EXPECT_EQ(DispatchMessageA(&m), 0);
    EXPECT_EQ(LoggedMessages(window).back(), WM_USER + 1) << "dispatch reaches the procedure";
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_USER + 3);
    EXPECT_EQ(m.hwnd, nullptr);

    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_QUIT);
    EXPECT_EQ(m.wParam, 7u);
    EXPECT_EQ(m.hwnd, nullptr);
    const std::size_t logged = Win32Control::GetMessageLog().size();
    DispatchMessageA(&m);
    EXPECT_EQ(Win32Control::GetMessageLog().size(), logged) << "WM_QUIT reaches no window";
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(WinWindow, CloseDestroysTheWindowAndDropsItsMessages)
{
    HWND window = Create();
    ShowWindow(window, SW_SHOW);
    PostMessageA(window, WM_USER, 0, 0);
    Win32Control::ClearMessageLog();
    EXPECT_EQ(SendMessageA(window, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(LoggedMessages(window), (std::vector<UINT>{WM_CLOSE, WM_ACTIVATE, WM_DESTROY, WM_NCDESTROY}));
    EXPECT_EQ(FindLogged(WM_ACTIVATE)->wParam, static_cast<WPARAM>(WA_INACTIVE));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(Win32Control::GetQueuedMessageCount(), 0);
    EXPECT_EQ(GetActiveWindow(), nullptr);
    EXPECT_FALSE(DestroyWindow(window));
    EXPECT_EQ(SendMessageA(window, WM_USER, 0, 0), 0);
}

TEST_F(WinWindow, WindowTextGoesThroughTheProcedure)
{
    HWND window = Create();
    char buffer[6];
    EXPECT_EQ(GetWindowTextA(window, buffer, sizeof(buffer)), 5);
    EXPECT_STREQ(buffer, "Title");
    ASSERT_TRUE(SetWindowTextA(window, "KV-27: Moorglow"));
    EXPECT_EQ(GetWindowTextLengthA(window), 15);
    EXPECT_EQ(GetWindowTextA(window, buffer, sizeof(buffer)), 5) << "truncated to the buffer";
    EXPECT_STREQ(buffer, "KV-27");
    s_swallowSetText = true;
    SetWindowTextA(window, "ignored");
    EXPECT_EQ(GetWindowTextLengthA(window), 15);
    EXPECT_EQ(Win32Control::GetTitleHistory(), (std::vector<std::string>{"Title", "KV-27: Moorglow"}));
    EXPECT_FALSE(SetWindowTextA(reinterpret_cast<HWND>(0x1234), "x"));
}

TEST_F(WinWindow, CursorCaptureAndResources)
{
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    EXPECT_NE(arrow, nullptr);
    EXPECT_EQ(arrow, LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_NE(LoadIconA(nullptr, MAKEINTRESOURCE(1002)), nullptr);
    EXPECT_EQ(SetCursor(arrow), nullptr);
    EXPECT_EQ(SetCursor(nullptr), arrow);
    EXPECT_EQ(GetCursor(), nullptr);
    EXPECT_EQ(ShowCursor(FALSE), -1);

    SetCursorPos(5000, -3);
    POINT p;
    ASSERT_TRUE(GetCursorPos(&p));
    EXPECT_EQ(p.x, 1919);
    EXPECT_EQ(p.y, 0);

    HWND window = Create();
    EXPECT_EQ(SetCapture(window), nullptr);
    EXPECT_EQ(GetCapture(), window);
    ReleaseCapture();
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(WinWindow, KeyStateFollowsMessagesAsTheyLeaveTheQueue)
{
    HWND window = Create();
    Win32Control::PostKey(window, 'W', true);
    EXPECT_EQ(GetAsyncKeyState('W'), 0) << "still queued";
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_KEYDOWN);
    EXPECT_EQ(m.wParam, static_cast<WPARAM>('W'));
    EXPECT_LT(GetAsyncKeyState('W'), 0);
    EXPECT_EQ(GetKeyState('W') & 1, 1) << "toggled by the press";
    Win32Control::PostKey(window, 'W', false);
    PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE);
    EXPECT_EQ(GetAsyncKeyState('W'), 0);
    EXPECT_EQ(GetKeyState('W'), 1);

    Win32Control::PostMouse(window, WM_RBUTTONDOWN, 200, 300, MK_RBUTTON);
    PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE);
    EXPECT_LT(GetKeyState(VK_RBUTTON), 0);
    EXPECT_EQ(m.lParam, MAKELPARAM(97, 224)) << "client coordinates";
    POINT p;
    GetCursorPos(&p);
    EXPECT_EQ(p.x, 200);

    Win32Control::SetKeyState(VK_SHIFT, true);
    EXPECT_LT(GetKeyState(VK_SHIFT), 0);
    EXPECT_EQ(GetKeyState(300), 0);
}

TEST_F(WinWindow, WheelDeltaTravelsInTheHighWord)
{
    HWND window = Create();
    Win32Control::PostMouseWheel(window, -120, 10, 20, 0);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_MOUSEWHEEL);
    EXPECT_EQ(m.wParam, 0xFF880000u);
    EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(m.wParam), -120);
}

TEST_F(WinWindow, PostsFromOtherThreadsAllArrive)
{
    HWND window = Create();
    constexpr int PER_THREAD = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
    {
        threads.emplace_back(
            [window]
            {
                for (int i = 0; i < PER_THREAD; ++i)
                    PostMessageA(window, WM_USER, 0, 0);
            });
    }
    int received = 0;
    MSG m;
    while (received < 4 * PER_THREAD)
        if (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
            ++received;
    for (std::thread& t : threads)
        t.join();
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
}
