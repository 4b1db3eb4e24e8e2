#include "platform/forms/FormsMessageBox.h"

#include "platform/win32/Windows.h"

namespace forms
{

DialogResult MessageBox::Show(const std::string& text, const std::string& caption, MessageBoxButtons buttons,
                              MessageBoxIcon icon)
{
    const UINT type = UINT(buttons) | UINT(icon);
    return DialogResult(MessageBoxA(nullptr, text.c_str(), caption.c_str(), type));
}

} // namespace forms
