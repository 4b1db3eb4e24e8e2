#pragma once
// The message protocol of the dispatcher: eight channels (types), one numbering of subtypes over
// all channels, and the payloads that go with them. The payloads of types 1 to 4 point to values
// on the sender's stack and are valid only during the call.
//
// type                        subtype                              payload
// 0 KE_MT_Application         0 KE_MST_QuitForced, 1 QuitRequest   null
// 1 KE_MT_Controller          2 ButtonDown, 3 ButtonUp             KE_ControllerButtonData*
//                             4 KE_MST_ControllerAxis              KE_ControllerAxisData*
// 2 KE_MT_Keyboard            5 KeyDown, 6 KeyUp                   std::uint64_t* virtual-key code
// 3 KE_MT_Mouse               7 MouseMove                          KE_MouseState* (screen pixels)
//                             8 MouseWheel                         std::int32_t* delta (120 a notch)
// 4 KE_MT_Window              9 WindowDeactivated, 10 Activated    HWND* of the main window
// 5 KE_MT_EditorCommand       11 DeselectControlPoints             the sender
//                             12-13, 15-17                         null
//                             14 ExtendRail                        the selected curve
// 6 KE_MT_LightSelection      18 LightSelected                     the KR_LightBase*
// 7 KE_MT_CubeMapSelection    19 CubeMapSelected                   the KR_CubeMapPlacer*

#include <cstdint>

enum KE_MessageType : std::uint32_t
{
    KE_MT_Application = 0,
    KE_MT_Controller = 1,
    KE_MT_Keyboard = 2,
    KE_MT_Mouse = 3,
    KE_MT_Window = 4,
    KE_MT_EditorCommand = 5,
    KE_MT_LightSelection = 6,
    KE_MT_CubeMapSelection = 7,
};

// Number of message types; a type at or above it is not a channel and is ignored.
constexpr std::uint32_t KE_MESSAGE_TYPE_COUNT = 8;

enum KE_MessageSubType : std::uint32_t
{
    KE_MST_QuitForced = 0,
    KE_MST_QuitRequest = 1,
    KE_MST_ButtonDown = 2,
    KE_MST_ButtonUp = 3,
    KE_MST_ControllerAxis = 4,
    KE_MST_KeyDown = 5,
    KE_MST_KeyUp = 6,
    KE_MST_MouseMove = 7,
    KE_MST_MouseWheel = 8,
    KE_MST_WindowDeactivated = 9,
    KE_MST_WindowActivated = 10,
    KE_MST_DeselectControlPoints = 11,
    KE_MST_NextControlPoint = 12,
    KE_MST_PreviousControlPoint = 13,
    KE_MST_ExtendRail = 14,
    KE_MST_HideSelected = 15,
    KE_MST_HideUnselected = 16,
    KE_MST_UnhideAll = 17,
    KE_MST_LightSelected = 18,
    KE_MST_CubeMapSelected = 19,
};

// Payload of (1, 2) and (1, 3). Device 0, buttons 0 to 13; {0, 5} down asks the application to quit.
struct KE_ControllerButtonData
{
    std::uint32_t device;
    std::uint32_t button;
};

// Payload of (1, 4). Axes 0 to 5.
struct KE_ControllerAxisData
{
    std::uint32_t device;
    std::uint32_t axis;
    float value;
};

// Payload of (3, 7) and the input manager's stored mouse record: cursor position in screen
// coordinates and the three buttons (0 up, 1 down).
struct KE_MouseState
{
    std::int32_t x;
    std::int32_t y;
    std::uint8_t left;
    std::uint8_t right;
    std::uint8_t middle;
};
