#pragma once
// Forms and tab controls of the forms stand-in, and Application (the pump of timers and deferred
// disposals).
//
// - Show makes a form modeless; ShowDialog runs the modal runner (FormsControl.h; by default the
//   real program's: press the accept button when it is usable, else the cancel button) and ends
//   with the form's DialogResult. A form the runner leaves open is closed with Cancel.
// - Close raises FormClosing (a handler may cancel); if not cancelled, FormClosed, and the form is
//   closed. A modal form closed without a result answers Cancel; a cancelled close of a modal form
//   resets its result to None.
// - A modeless form closed (possibly from its own handler) is disposed later, at the next
//   Application::DoEvents: Disposed is raised there, and a form adopted by Application is deleted.
// - Enter presses the accept button and Escape the cancel button, only when it is usable. Making a
//   button the cancel button gives it the result Cancel unless it has one.
// In a real run (no test control), Show and ShowDialog print the caption to stderr. UI thread only.

#include "platform/forms/FormsWidgets.h"

#include <functional>
#include <memory>
#include <string>

namespace forms
{

enum class FormBorderStyle
{
    None,
    FixedSingle,
    Fixed3D,
    FixedDialog,
    Sizable,
    FixedToolWindow,
    SizableToolWindow,
};

enum class FormStartPosition
{
    Manual,
    CenterScreen,
    WindowsDefaultLocation,
    WindowsDefaultBounds,
    CenterParent,
};

enum class FormWindowState
{
    Normal,
    Minimized,
    Maximized,
};

class Form : public Control
{
public:
    Form();
    ~Form() override;

    void Show();
    DialogResult ShowDialog();
    void Close();   // CloseReason UserClosing
    void Dispose(); // Disposed, once; a form not closed yet is closed without events

    bool IsShown() const { return m_bShown && !m_bClosed; }
    bool IsModal() const { return m_bModal; }
    bool IsClosed() const { return m_bClosed; }
    bool IsDisposed() const { return m_bDisposed; }

    DialogResult GetDialogResult() const { return m_eDialogResult; }
    void SetDialogResult(DialogResult result); // a modal form closes when given a result
    Button* GetAcceptButton() const { return m_pAcceptButton; }
    void SetAcceptButton(Button* pButton) { m_pAcceptButton = pButton; }
    Button* GetCancelButton() const { return m_pCancelButton; }
    void SetCancelButton(Button* pButton);
    Control* GetActiveControl() { return GetFocusedControl(); }

    std::shared_ptr<Image> GetIcon() const { return m_pIcon; }
    void SetIcon(std::shared_ptr<Image> pIcon) { m_pIcon = std::move(pIcon); }
    Size GetClientSize() const { return GetSize(); } // no frame is modelled
    void SetClientSize(int width, int height) { SetSize(width, height); }
    FormBorderStyle GetFormBorderStyle() const { return m_eBorderStyle; }
    void SetFormBorderStyle(FormBorderStyle style) { m_eBorderStyle = style; }
    bool GetMaximizeBox() const { return m_bMaximizeBox; }
    void SetMaximizeBox(bool maximizeBox) { m_bMaximizeBox = maximizeBox; }
    FormStartPosition GetStartPosition() const { return m_eStartPosition; }
    void SetStartPosition(FormStartPosition position) { m_eStartPosition = position; }
    FormWindowState GetWindowState() const { return m_eWindowState; }
    void SetWindowState(FormWindowState state); // Resize when it changes

    Event<FormClosingEventArgs> FormClosing;
    Event<FormClosedEventArgs> FormClosed;
    Event<EventArgs> Disposed;

    bool UserCloseBox();    // the caption's close box: Close as the user would
    bool UserPressEnter();  // clicks the accept button when usable
    bool UserPressEscape(); // clicks the cancel button when usable

private:
    friend class Button;

    bool CloseFor(CloseReason reason);
    void SetResultQuietly(DialogResult result) { m_eDialogResult = result; }

    std::shared_ptr<Image> m_pIcon;
    Button* m_pAcceptButton = nullptr; // not owned (a control of this form)
    Button* m_pCancelButton = nullptr; // not owned (a control of this form)
    DialogResult m_eDialogResult = DialogResult::None;
    FormBorderStyle m_eBorderStyle = FormBorderStyle::Sizable;
    FormStartPosition m_eStartPosition = FormStartPosition::WindowsDefaultLocation;
    FormWindowState m_eWindowState = FormWindowState::Normal;
    bool m_bMaximizeBox = true;
    bool m_bShown = false;
    bool m_bModal = false;
    bool m_bClosing = false;
    bool m_bClosed = false;
    bool m_bDisposed = false;
};

class TabPage : public Control
{
};

// Pages in order; the first page added is selected (without an event).
class TabControl : public Control
{
public:
    TabPage* AddPage(const std::string& name, const std::string& text);
    int GetTabCount() const { return int(m_gPages.size()); }
    TabPage* GetTabPage(int index) const; // null out of range
    int GetSelectedIndex() const { return m_iSelected; }
    // SelectedIndexChanged when it changes; false (and an assertion in debug builds) out of range.
    bool SetSelectedIndex(int index);
    TabPage* GetSelectedTab() const { return GetTabPage(m_iSelected); }
    bool UserSelect(int index);

    Event<EventArgs> SelectedIndexChanged;

private:
    std::vector<TabPage*> m_gPages; // children of this control
    int m_iSelected = -1;
};

// What ShowDialog calls to drive a modal form (see FormsControl::SetModalRunner).
using ModalRunner = std::function<void(Form&)>;

class Application
{
public:
    // Runs due timers (of the real scheduler; tests advance theirs) and disposes the modeless forms
    // closed since the last call. The main loop calls it once per pass.
    static void DoEvents();
    // The layer owns the form from now on and deletes it once it was closed and disposed.
    static Form* AdoptForm(std::unique_ptr<Form> pForm);
    // The real program's runner: pumps once, then presses the accept button when it is usable,
    // else the cancel button.
    static void DefaultModalRunner(Form& form);
};

} // namespace forms
