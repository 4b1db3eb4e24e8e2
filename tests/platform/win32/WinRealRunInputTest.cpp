#include "platform/win32/Win32Control.h"
#include "platform/win32/Windows.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{
LRESULT Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

class WinRealRunInput : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Win32Control::Reset();
        ASSERT_EQ(pipe(m_aiPipe), 0);
        Win32Control::SetRealRunInput(true, m_aiPipe[0]);
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = Proc;
        wc.lpszClassName = "RealRun";
        RegisterClassExA(&wc);
        m_hWindow =
            CreateWindowExA(0, "RealRun", "", WS_CAPTION, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(m_hWindow, nullptr);
    }
    void TearDown() override
    {
        Win32Control::Reset();
        close(m_aiPipe[0]);
        close(m_aiPipe[1]);
    }

    void Type(const std::string& bytes)
    {
        ASSERT_EQ(write(m_aiPipe[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // Key-down codes in arrival order; checks that each down is followed by its up.
    std::vector<int> TakeKeys()
    {
        std::vector<int> keys;
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
        {
            EXPECT_EQ(m.hwnd, m_hWindow);
            if (m.message == WM_KEYDOWN)
            {
                keys.push_back(static_cast<int>(m.wParam));
                MSG up;
                EXPECT_TRUE(PeekMessageA(&up, nullptr, 0, 0, PM_REMOVE));
                EXPECT_EQ(up.message, WM_KEYUP);
                EXPECT_EQ(up.wParam, m.wParam);
            }
        }
        return keys;
    }

    int m_aiPipe[2] = {-1, -1};
    HWND m_hWindow = nullptr;
};
} // namespace

TEST_F(WinRealRunInput, TypedKeysBecomeVirtualKeys)
{
    Type("aZ5 \x1b");
    EXPECT_EQ(TakeKeys(), (std::vector<int>{'A', 'Z', '5', VK_SPACE, VK_ESCAPE}));
    Type("\x1b[A\x1b[B\x1b[C\x1b[D\x1bOP\x1b[15~\x1b[24~\x1b[1;2S\x1b[[A\x1b[5~");
    EXPECT_EQ(TakeKeys(), (std::vector<int>{VK_UP, VK_DOWN, VK_RIGHT, VK_LEFT, VK_F1, VK_F5, VK_F12, VK_F4,
                                            VK_F1, VK_PRIOR}));
}

TEST_F(WinRealRunInput, EscapeWithoutACompleteSequenceIsTheEscapeKey)
{
    Type("\x1bq\x1b[");
    EXPECT_EQ(TakeKeys(), (std::vector<int>{VK_ESCAPE, 'Q', VK_ESCAPE}));
    Type("\x1b[99~!");
    EXPECT_TRUE(TakeKeys().empty()) << "unknown keys are dropped";
    // 4294967301 wraps to 5 (Page Up) in 32 bits; the number saturates instead and names no key.
    Type("\x1b[4294967301~\x1b[99999999999999999999~\x1b[6~");
    EXPECT_EQ(TakeKeys(), (std::vector<int>{VK_NEXT}));
}

TEST_F(WinRealRunInput, SignalsCloseTheWindow)
{
    std::raise(SIGTERM);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_CLOSE);
    EXPECT_EQ(m.hwnd, m_hWindow);
    DispatchMessageA(&m);
    EXPECT_FALSE(IsWindow(m_hWindow));

    // With the last window gone the handlers are restored: an ignored SIGINT stays ignored.
    struct sigaction current = {};
    sigaction(SIGINT, nullptr, &current);
    EXPECT_EQ(current.sa_handler, SIG_DFL);
}

TEST_F(WinRealRunInput, EndOfInputStopsReading)
{
    close(m_aiPipe[1]);
    m_aiPipe[1] = dup(m_aiPipe[0]); // keep TearDown's close harmless
    MSG m;
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
}
