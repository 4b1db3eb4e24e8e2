#pragma once
// Internal to the Win32 stand-in: what its source files share beyond the emulated interface.

#include "platform/win32/WinTypes.h"

#include <string>
#include <vector>

namespace win32_internal
{
// Configuration from Win32Control::SetRealRunInput; takes effect at the next window creation.
void ConfigureRealRunInput(bool enabled, int terminalFd);
// Called by CreateWindowExA: hooks the terminal and the signals once, when enabled.
void StartRealRunInput();
// Called when the last top-level window is gone and by Win32Control::Reset: restores the terminal
// settings and the previous signal handlers.
void StopRealRunInput();
// True unless a test turned real-run behaviour off (Win32Control::Reset or SetRealRunInput).
bool IsRealRun();
// Called by PeekMessageA on the main thread: turns a pending signal into WM_CLOSE and the bytes
// waiting on the terminal into key messages.
void PollRealRunInput();
// Turns terminal bytes into virtual keys: plain characters, and the escape sequences of xterm and
// the Linux console for arrows, editing keys and F1-F12. An escape byte that does not start a
// complete sequence is the Escape key; unknown keys are dropped.
std::vector<int> ParseKeys(const std::string& bytes);

// Window-system services used above (implemented with the windows).
HWND GetInputTargetWindow(); // the active window, else the newest top-level window; may be null
void PostCloseToTopLevelWindows();
LPARAM MakeKeyLParam(bool down);

// Parts of Win32Control::Reset.
void ResetWindows();
void ResetDialogs();
void ResetModules();
} // namespace win32_internal
