#include "platform/win32/Win32Control.h"

#include "platform/win32/WinInternal.h"

namespace Win32Control
{
void Reset()
{
    win32_internal::ConfigureRealRunInput(false, -1);
    win32_internal::ResetWindows();
    win32_internal::ResetDialogs();
    win32_internal::ResetModules();
}

void SetRealRunInput(bool enabled, int terminalFd)
{
    win32_internal::ConfigureRealRunInput(enabled, terminalFd);
}
} // namespace Win32Control
