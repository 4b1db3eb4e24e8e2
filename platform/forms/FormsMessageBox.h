#pragma once
// Message boxes of the forms stand-in. They go through the Win32 stand-in's MessageBoxA, so both
// layers share one record and one set of scripted answers (FormsControl.h, Win32Control.h): a test
// queues the expected boxes, a real run prints caption and text to stderr and answers with the
// first button. Thread-safe.

#include "platform/forms/FormsEvents.h"

#include <string>

namespace forms
{

enum class MessageBoxButtons
{
    OK = 0,
    OKCancel = 1,
    AbortRetryIgnore = 2,
    YesNoCancel = 3,
    YesNo = 4,
    RetryCancel = 5,
};

enum class MessageBoxIcon
{
    None = 0,
    Hand = 0x10,
    Stop = 0x10,
    Error = 0x10,
    Question = 0x20,
    Exclamation = 0x30,
    Warning = 0x30,
    Asterisk = 0x40,
    Information = 0x40,
};

class MessageBox
{
public:
    static DialogResult Show(const std::string& text, const std::string& caption = "",
                             MessageBoxButtons buttons = MessageBoxButtons::OK,
                             MessageBoxIcon icon = MessageBoxIcon::None);
};

} // namespace forms
