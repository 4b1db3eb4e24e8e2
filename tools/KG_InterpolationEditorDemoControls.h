#pragma once
// The editor window's "Demo Controls" page: buttons that replay the scene manager's developer
// keys (keyboard key-down messages with a pointer to the 64-bit virtual-key code), send editor
// commands (type 5 with a null payload) or switch the camera mode directly. "RWND" and "FFWD"
// are held keys: pressing sends key-down, releasing key-up. Every button has its tool tip.
// The page keeps no state and uses the window's tool tip. Main thread only; owned by the window.

#include "platform/forms/FormsForm.h"
#include "platform/forms/FormsWidgets.h"
#include "tools/KG_InterpolationEditorPage.h"

#include <cstdint>

class KG_InterpolationEditorDemoControls : public K_GUI::KG_InterpolationEditorPage
{
public:
    KG_InterpolationEditorDemoControls(K_GUI::KG_InterpolationEditorDialog& dialog, forms::TabPage* pPage);

    static void SendKey(std::uint32_t uiSubType, std::uint64_t uiVirtualKey);
    static void SendEditorCommand(std::uint32_t uiCommand);
    static void SwitchCameraMode(std::uint32_t uiMode);
};
