#include "framework/app/KI_InputManager.h"

#include "framework/app/KE_Dispatcher.h"
#include "framework/app/KE_EngineMembers.h"

namespace
{
void Send(KE_MessageType type, KE_MessageSubType subType, void* pPayload)
{
    if (KE_Dispatcher* pDispatcher = KE_GetDispatcher())
        pDispatcher->Dispatch(type, subType, pPayload);
}
} // namespace

KI_InputManager::KI_InputManager() = default;

KE_MouseState KI_InputManager::GetMouseState() const
{
    return {m_iCursorX, m_iCursorY, m_uiLeftButton, m_uiRightButton, m_uiMiddleButton};
}

std::uint64_t KI_InputManager::HandleMessage(HWND hWindow, UINT uiMessage, WPARAM wParam)
{
    switch (uiMessage)
    {
    case WM_ACTIVATE:
    {
        // The high word is the minimised flag: a window deactivated while minimising sends
        // WA_INACTIVE with it set, which is still a deactivation.
        const bool bActive = LOWORD(wParam) != WA_INACTIVE;
        Send(KE_MT_Window, bActive ? KE_MST_WindowActivated : KE_MST_WindowDeactivated, &hWindow);
        return 0;
    }
    case WM_KEYDOWN:
    {
        if (wParam == VK_ESCAPE)
            Send(KE_MT_Application, KE_MST_QuitRequest, nullptr);
        if (KE_IsDeveloperBuild())
        {
            std::uint64_t virtualKey = wParam;
            Send(KE_MT_Keyboard, KE_MST_KeyDown, &virtualKey);
        }
        return 0;
    }
    case WM_KEYUP:
    {
        if (KE_IsDeveloperBuild())
        {
            std::uint64_t virtualKey = wParam;
            Send(KE_MT_Keyboard, KE_MST_KeyUp, &virtualKey);
        }
        return 0;
    }
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    {
        POINT cursor = {m_iCursorX, m_iCursorY};
        GetCursorPos(&cursor); // on failure the last position stays
        m_iCursorX = cursor.x;
        m_iCursorY = cursor.y;
        m_uiLeftButton = (wParam & MK_LBUTTON) != 0 ? 1 : 0;
        m_uiRightButton = (wParam & MK_RBUTTON) != 0 ? 1 : 0;
        m_uiMiddleButton = (wParam & MK_MBUTTON) != 0 ? 1 : 0;
        if (KE_IsDeveloperBuild())
        {
            KE_MouseState state = GetMouseState();
            Send(KE_MT_Mouse, KE_MST_MouseMove, &state);
        }
        return 0;
    }
    case WM_MOUSEWHEEL:
    {
        if (KE_IsDeveloperBuild())
        {
            std::int32_t delta = GET_WHEEL_DELTA_WPARAM(wParam);
            Send(KE_MT_Mouse, KE_MST_MouseWheel, &delta);
        }
        return 0;
    }
    default:
        return 1;
    }
}
