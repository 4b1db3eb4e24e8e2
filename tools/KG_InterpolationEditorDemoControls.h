#pragma once
// The editor window's "Demo Controls" page: buttons that replay the scene manager's developer
// keys (keyboard key-down messages with a pointer to the 64-bit virtual-key code), send editor
// commands (type 5 with a null payload) or switch the camera mode directly. "RWND" and "FFWD"
// are held keys: pressing sends key-down, releasing key-up. Every button has its tool tip.
// Main thread only; the page and tool tip belong to the window.

#include "platform/forms/FormsForm.h"
#include "platform/forms/FormsWidgets.h"

#include <cstdint>

class KG_InterpolationEditorDemoControls
{
public:
    KG_InterpolationEditorDemoControls(forms::TabPage* pPage, forms::ToolTip* pToolTip);

    KG_InterpolationEditorDemoControls(const KG_InterpolationEditorDemoControls&) = delete;
    KG_InterpolationEditorDemoControls& operator=(const KG_InterpolationEditorDemoControls&) = delete;

    static void SendKey(std::uint32_t uiSubType, std::uint64_t uiVirtualKey);
    static void SendEditorCommand(std::uint32_t uiCommand);
    static void SwitchCameraMode(std::uint32_t uiMode);
};
