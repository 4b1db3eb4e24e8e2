#include "framework/app/KI_InputManager.h"
#include "framework/app/KE_Dispatcher.h"
#include "framework/app/KE_MessageReceiver.h"
#include "platform/win32/Win32Control.h"
#include "tests/support/TestEngine.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
// One delivered message with a copy of the payload it pointed to.
struct Heard
{
    KE_MessageType type;
    KE_MessageSubType subType;
    bool hasPayload;
    std::uint64_t key;
    std::int32_t wheel;
    KE_MouseState mouse;
    HWND window;

    bool Is(KE_MessageType t, KE_MessageSubType s) const { return type == t && subType == s; }
};

class Recorder : public KE_MessageReceiver
{
public:
    bool Receive(KE_MessageType type, KE_MessageSubType subType, void* pPayload) override
    {
        Heard h = {type, subType, pPayload != nullptr, 0, 0, {}, nullptr};
        if (pPayload != nullptr)
        {
            if (type == KE_MT_Keyboard)
                h.key = *static_cast<std::uint64_t*>(pPayload);
            else if (type == KE_MT_Mouse && subType == KE_MST_MouseWheel)
                h.wheel = *static_cast<std::int32_t*>(pPayload);
            else if (type == KE_MT_Mouse)
                h.mouse = *static_cast<KE_MouseState*>(pPayload);
            else if (type == KE_MT_Window)
                h.window = *static_cast<HWND*>(pPayload);
        }
        m_gHeard.push_back(h);
        return true;
    }

    std::vector<Heard> m_gHeard;
};

class KI_InputManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Win32Control::Reset();
        m_Engine->SetDispatcher(&m_Dispatcher);
        for (std::uint32_t type = 0; type < KE_MESSAGE_TYPE_COUNT; ++type)
            m_Dispatcher.RegisterReceiver(static_cast<KE_MessageType>(type), &m_Recorder);
    }
    void TearDown() override { Win32Control::Reset(); }

    std::vector<Heard>& Log() { return m_Recorder.m_gHeard; }

    TestEngine m_Engine;
    KE_Dispatcher m_Dispatcher;
    Recorder m_Recorder;
    KI_InputManager m_Input;
    HWND m_hWindow = reinterpret_cast<HWND>(0x5000);
};
} // namespace

TEST_F(KI_InputManagerTest, EscapeRequestsQuitInEveryModeAndIsAKeyOnlyInDeveloperMode)
{
    EXPECT_EQ(m_Input.HandleMessage(m_hWindow, WM_KEYDOWN, VK_ESCAPE), 0u);
    ASSERT_EQ(Log().size(), 1u);
    EXPECT_TRUE(Log()[0].Is(KE_MT_Application, KE_MST_QuitRequest));
    EXPECT_FALSE(Log()[0].hasPayload);

    Log().clear();
    m_Engine->SetDeveloperBuild(true);
    m_Input.HandleMessage(m_hWindow, WM_KEYDOWN, VK_ESCAPE);
    ASSERT_EQ(Log().size(), 2u);
    EXPECT_TRUE(Log()[0].Is(KE_MT_Application, KE_MST_QuitRequest));
    EXPECT_TRUE(Log()[1].Is(KE_MT_Keyboard, KE_MST_KeyDown));
    EXPECT_EQ(Log()[1].key, 27u);
}

TEST_F(KI_InputManagerTest, OtherKeysAreSentOnlyInDeveloperMode)
{
    EXPECT_EQ(m_Input.HandleMessage(m_hWindow, WM_KEYDOWN, 'W'), 0u);
    EXPECT_EQ(m_Input.HandleMessage(m_hWindow, WM_KEYUP, 'W'), 0u);
    EXPECT_EQ(m_Input.HandleMessage(m_hWindow, WM_KEYUP, VK_ESCAPE), 0u);
    EXPECT_TRUE(Log().empty());

    m_Engine->SetDeveloperBuild(true);
    m_Input.HandleMessage(m_hWindow, WM_KEYDOWN, VK_F7);
    m_Input.HandleMessage(m_hWindow, WM_KEYUP, VK_F7);
    ASSERT_EQ(Log().size(), 2u);
    EXPECT_TRUE(Log()[0].Is(KE_MT_Keyboard, KE_MST_KeyDown));
    EXPECT_TRUE(Log()[1].Is(KE_MT_Keyboard, KE_MST_KeyUp));
    EXPECT_EQ(Log()[1].key, static_cast<std::uint64_t>(VK_F7));
}

TEST_F(KI_InputManagerTest, ActivationDecidesOnTheLowWord)
{
    struct Case
    {
        WPARAM wParam;
        KE_MessageSubType expected;
    };
    const Case cases[] = {
        {WA_INACTIVE, KE_MST_WindowDeactivated},
        {WA_ACTIVE, KE_MST_WindowActivated},
        {WA_CLICKACTIVE, KE_MST_WindowActivated},
        {MAKEWPARAM(WA_ACTIVE, 1), KE_MST_WindowActivated},
        {MAKEWPARAM(WA_INACTIVE, 1), KE_MST_WindowDeactivated}, // deactivated while minimising
    };
    for (const Case& c : cases)
    {
        Log().clear();
        EXPECT_EQ(m_Input.HandleMessage(m_hWindow, WM_ACTIVATE, c.wParam), 0u);
        ASSERT_EQ(Log().size(), 1u);
        EXPECT_TRUE(Log()[0].Is(KE_MT_Window, c.expected)) << "wParam " << c.wParam;
        EXPECT_EQ(Log()[0].window, m_hWindow);
    }
}

TEST_F(KI_InputManagerTest, MouseRecordComesFromTheCursorInEveryMode)
{
    Win32Control::SetCursorPosition(640, -20);
    EXPECT_EQ(m_Input.HandleMessage(m_hWindow, WM_LBUTTONDOWN, MK_LBUTTON | MK_MBUTTON | MK_SHIFT), 0u);
    EXPECT_TRUE(Log().empty());
    KE_MouseState state = m_Input.GetMouseState();
    EXPECT_EQ(state.x, 640);
    EXPECT_EQ(state.y, -20);
    EXPECT_EQ(state.left, 1);
    EXPECT_EQ(state.right, 0);
    EXPECT_EQ(state.middle, 1);

    m_Engine->SetDeveloperBuild(true);
    Win32Control::SetCursorPosition(10, 20);
    m_Input.HandleMessage(m_hWindow, WM_MOUSEMOVE, MK_RBUTTON);
    ASSERT_EQ(Log().size(), 1u);
    EXPECT_TRUE(Log()[0].Is(KE_MT_Mouse, KE_MST_MouseMove));
    EXPECT_EQ(Log()[0].mouse.x, 10);
    EXPECT_EQ(Log()[0].mouse.y, 20);
    EXPECT_EQ(Log()[0].mouse.left, 0);
    EXPECT_EQ(Log()[0].mouse.right, 1);
    EXPECT_EQ(m_Input.GetMouseState().right, 1);
}

TEST_F(KI_InputManagerTest, WheelDeltaIsTheSignedHighWordInDeveloperMode)
{
    EXPECT_EQ(m_Input.HandleMessage(m_hWindow, WM_MOUSEWHEEL, 0xFF880000u), 0u);
    EXPECT_TRUE(Log().empty());
    m_Engine->SetDeveloperBuild(true);
    m_Input.HandleMessage(m_hWindow, WM_MOUSEWHEEL, 0xFF880000u);
    m_Input.HandleMessage(m_hWindow, WM_MOUSEWHEEL, MAKEWPARAM(0, 240));
    ASSERT_EQ(Log().size(), 2u);
    EXPECT_TRUE(Log()[0].Is(KE_MT_Mouse, KE_MST_MouseWheel));
    EXPECT_EQ(Log()[0].wheel, -120);
    EXPECT_EQ(Log()[1].wheel, 240);
}

TEST_F(KI_InputManagerTest, UntranslatedMessagesGoOnToTheDefaultProcedure)
{
    m_Engine->SetDeveloperBuild(true);
    EXPECT_EQ(m_Input.HandleMessage(m_hWindow, WM_LBUTTONDBLCLK, MK_LBUTTON), 1u);
    EXPECT_EQ(m_Input.HandleMessage(m_hWindow, WM_RBUTTONDBLCLK, 0), 1u);
    EXPECT_EQ(m_Input.HandleMessage(m_hWindow, WM_PAINT, 0), 1u);
    EXPECT_TRUE(Log().empty());
    EXPECT_EQ(m_Input.GetMouseState().left, 0);
}

TEST(KI_InputManager, WithoutDispatcherNothingIsSent)
{
    KI_InputManager input;
    EXPECT_EQ(input.HandleMessage(nullptr, WM_KEYDOWN, VK_ESCAPE), 0u);
    TestEngine engine;
    engine->SetDeveloperBuild(true);
    EXPECT_EQ(input.HandleMessage(nullptr, WM_MOUSEWHEEL, 0), 0u);
}
