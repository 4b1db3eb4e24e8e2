#pragma once
// Turns the main window's activation, keyboard and mouse messages into dispatcher messages.
// Escape and window activation are sent in every run; every other key and all mouse input only in
// developer mode. Created by the engine singleton (KE_ApplicationManager::GetInputManager) and
// called from the window procedure, main thread only; the receivers run before HandleMessage
// returns. Reaches the dispatcher and the developer flag through the engine singleton and sends
// nothing while there is no singleton or dispatcher.

#include "framework/app/KE_Messages.h"
#include "platform/win32/Windows.h"

#include <cstdint>

class KI_InputManager
{
public:
    KI_InputManager(); // mouse record all zero

    // The last mouse record {x, y, left, right, middle}, stored in every mode.
    KE_MouseState GetMouseState() const;

    // 0 when the message was consumed; nonzero when the window procedure must still hand it to
    // DefWindowProcA (every message this class does not translate, double clicks included).
    // lParam is not used: the mouse position comes from GetCursorPos, in screen coordinates.
    std::uint64_t HandleMessage(HWND hWindow, UINT uiMessage, WPARAM wParam);

private:
    std::int32_t m_iCursorX = 0;
    std::int32_t m_iCursorY = 0;
    std::uint8_t m_uiLeftButton = 0;
    std::uint8_t m_uiRightButton = 0;
    std::uint8_t m_uiMiddleButton = 0;
};
