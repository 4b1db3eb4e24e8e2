#pragma once
// Test control of the forms stand-in. Engine code never includes this header.
//
// Use:
// 1. FormsControl::Reset() at the start and end of a test: the manual scheduler at time 0 with no
//    timers, an empty in-memory registry without failures, the default modal runner, message boxes
//    back to their defaults (shared with the Win32 stand-in), an empty shell log, en-US, Sleep only
//    counting, no modifier keys, adopted forms deleted. Until the first Reset the layer behaves as
//    in a real run (steady clock, registry file, real Sleep, captions printed).
// 2. Drive: a modal runner script, expected message boxes, AdvanceTime, registry failures,
//    modifier keys, screen size, culture.
// 3. Read back: message boxes shown, the shell log, slept milliseconds, pending timers.

#include "platform/forms/FormsCulture.h"
#include "platform/forms/FormsEvents.h"
#include "platform/forms/FormsForm.h"
#include "platform/forms/FormsMessageBox.h"
#include "platform/forms/FormsWidgets.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace FormsControl
{
void Reset();

// ShowDialog calls the runner with the form; afterwards a form still open is closed with Cancel.
// An empty runner restores the default (Application::DefaultModalRunner).
void SetModalRunner(forms::ModalRunner runner);

// Message boxes (one record with the Win32 stand-in's MessageBoxA). An expected box takes the
// answer; a box with another caption, or (when strict) one nobody expected, counts as unexpected
// and answers with its first button.
struct MessageBoxRecord
{
    std::string text;
    std::string caption;
    forms::MessageBoxButtons buttons;
    forms::MessageBoxIcon icon;
    forms::DialogResult result;
    bool unexpected;
};
void ExpectMessageBox(const std::string& caption, forms::DialogResult answer);
void SetStrictMessageBoxes(bool strict);
std::vector<MessageBoxRecord> GetMessageBoxes();
int GetUnexpectedMessageBoxCount();

// The manual scheduler: runs the timers falling due within the next milliseconds, in order of due
// time (then of arming), with the clock at each one's due time; then the clock is at now + ms.
void AdvanceTime(std::int64_t milliseconds);
std::int64_t GetTime();
int GetArmedTimerCount();
std::uint64_t GetSleptMilliseconds(); // asked of Thread::Sleep since Reset

// Registry stores. UseRegistryFile reads that file at once (a missing or damaged file is empty).
void UseMemoryRegistry();
void UseRegistryFile(const std::string& path);
// The next `times` calls of "OpenSubKey", "CreateSubKey" or "SetValue" (both kinds) fail; false
// for another name.
bool FailRegistryNext(const std::string& call, int times = 1);
// The default file of real runs (see FormsRegistry.h).
std::string GetDefaultRegistryPath();

// Shell: paths given to Process::Start, oldest first; a hook replaces the logging (empty: log).
std::vector<std::string> GetShellLog();
void SetShellHook(std::function<bool(const std::string& path)> hook);

// Modifier keys, written to the Win32 stand-in's key table; the primary screen is its desktop.
void SetModifierKeys(forms::Keys keys);
void SetPrimaryScreenSize(int width, int height);
void SetCurrentCulture(const std::string& name);
} // namespace FormsControl
