#include "platform/forms/FormsControl.h"

#include "platform/forms/FormsInternal.h"
#include "platform/win32/Win32Control.h"
#include "platform/win32/Windows.h"

namespace FormsControl
{
void Reset()
{
    using namespace forms::forms_internal;
    EndRealRun();
    ResetForms();
    ResetScheduler(true);
    ResetSleep();
    UseMemoryRegistry();
    ResetShell();
    SetCurrentCulture("en-US");
    Win32Control::ResetMessageBoxes();
    SetModifierKeys(forms::Keys::None);
}

void SetModalRunner(forms::ModalRunner runner)
{
    forms::forms_internal::SetModalRunner(std::move(runner));
}

void ExpectMessageBox(const std::string& caption, forms::DialogResult answer)
{
    Win32Control::ExpectMessageBox(caption, int(answer));
}

void SetStrictMessageBoxes(bool strict)
{
    Win32Control::SetStrictMessageBoxes(strict);
}

std::vector<MessageBoxRecord> GetMessageBoxes()
{
    std::vector<MessageBoxRecord> records;
    for (const Win32Control::MessageBoxRecord& box : Win32Control::GetMessageBoxes())
    {
        records.push_back({box.text, box.caption, forms::MessageBoxButtons(box.type & MB_TYPEMASK),
                           forms::MessageBoxIcon(box.type & MB_ICONMASK), forms::DialogResult(box.answer),
                           box.unexpected});
    }
    return records;
}

int GetUnexpectedMessageBoxCount()
{
    return Win32Control::GetUnexpectedMessageBoxCount();
}

void AdvanceTime(std::int64_t milliseconds)
{
    forms::forms_internal::AdvanceManualTime(milliseconds);
}

std::int64_t GetTime()
{
    return forms::forms_internal::GetSchedulerTime();
}

int GetArmedTimerCount()
{
    return forms::forms_internal::GetArmedTimerCount();
}

std::uint64_t GetSleptMilliseconds()
{
    return forms::forms_internal::GetSleptMilliseconds();
}

void UseMemoryRegistry()
{
    forms::forms_internal::UseMemoryRegistry();
}

void UseRegistryFile(const std::string& path)
{
    forms::forms_internal::UseRegistryFile(path);
}

bool FailRegistryNext(const std::string& call, int times)
{
    return forms::forms_internal::FailRegistryNext(call, times);
}

std::string GetDefaultRegistryPath()
{
    return forms::forms_internal::DefaultRegistryPath();
}

std::vector<std::string> GetShellLog()
{
    return forms::forms_internal::GetShellLog();
}

void SetShellHook(std::function<bool(const std::string& path)> hook)
{
    forms::forms_internal::SetShellHook(std::move(hook));
}

void SetModifierKeys(forms::Keys keys)
{
    Win32Control::SetKeyState(VK_SHIFT, forms::HasFlag(keys, forms::Keys::Shift));
    Win32Control::SetKeyState(VK_CONTROL, forms::HasFlag(keys, forms::Keys::Control));
    Win32Control::SetKeyState(VK_MENU, forms::HasFlag(keys, forms::Keys::Alt));
}

void SetPrimaryScreenSize(int width, int height)
{
    Win32Control::SetDesktopRect({0, 0, width, height});
}

void SetCurrentCulture(const std::string& name)
{
    forms::forms_internal::SetCurrentCulture(name);
}
} // namespace FormsControl
