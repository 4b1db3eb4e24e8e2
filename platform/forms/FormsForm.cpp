#include "platform/forms/FormsForm.h"

#include "platform/forms/FormsInternal.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <mutex>
#include <vector>

namespace forms
{

namespace
{
struct FormsState
{
    std::vector<Form*> pendingDisposal;         // modeless forms closed since the last pump
    std::vector<std::unique_ptr<Form>> adopted; // owned by the layer
    ModalRunner runner;                         // empty: the default
};

FormsState& State()
{
    static FormsState* s_pState = new FormsState;
    return *s_pState;
}

void PrintCaption(const char* pWhat, const Form& form)
{
    // On the terminal's status stream, next to the window's title lines and the frame reports.
    if (forms_internal::IsRealRun())
    {
        std::printf("[form] %s: %s\n", pWhat, form.GetText().c_str());
        std::fflush(stdout);
    }
}
} // namespace

namespace forms_internal
{
void QueueDisposal(Form* pForm)
{
    std::vector<Form*>& pending = State().pendingDisposal;
    if (std::find(pending.begin(), pending.end(), pForm) == pending.end())
        pending.push_back(pForm);
}

void CancelDisposal(Form* pForm)
{
    std::vector<Form*>& pending = State().pendingDisposal;
    pending.erase(std::remove(pending.begin(), pending.end(), pForm), pending.end());
}

void ResetForms()
{
    FormsState& state = State();
    state.pendingDisposal.clear();
    std::vector<std::unique_ptr<Form>> adopted;
    adopted.swap(state.adopted);
    adopted.clear();
    state.runner = nullptr;
}

ModalRunner GetModalRunner()
{
    return State().runner ? State().runner : ModalRunner(&Application::DefaultModalRunner);
}

void SetModalRunner(ModalRunner runner)
{
    State().runner = std::move(runner);
}
} // namespace forms_internal

Form::Form()
{
    SetVisible(false);
}

Form::~Form()
{
    forms_internal::CancelDisposal(this);
}

void Form::Show()
{
    if (m_bDisposed)
        return;
    m_bShown = true;
    m_bModal = false;
    m_bClosed = false;
    SetVisible(true);
    PrintCaption("shown", *this);
}

DialogResult Form::ShowDialog()
{
    if (m_bDisposed || (m_bShown && !m_bClosed))
    {
        assert(!"ShowDialog of a disposed or already shown form");
        return DialogResult::None;
    }
    m_bShown = true;
    m_bModal = true;
    m_bClosed = false;
    m_eDialogResult = DialogResult::None;
    SetVisible(true);
    PrintCaption("shown modally", *this);
    forms_internal::GetModalRunner()(*this);
    if (!m_bClosed && !CloseFor(CloseReason::UserClosing))
    {
        // A real modal loop would wait for the user; headless nobody else can end it.
        if (forms_internal::IsRealRun())
            std::fprintf(stderr, "[form] %s: closing was cancelled; closed all the same\n",
                         GetText().c_str());
        m_eDialogResult = DialogResult::Cancel;
        m_bClosed = true;
        FormClosedEventArgs e{CloseReason::UserClosing};
        FormClosed.Raise(*this, e);
    }
    m_bModal = false;
    SetVisible(false);
    return m_eDialogResult;
}

void Form::Close()
{
    CloseFor(CloseReason::UserClosing);
}

bool Form::CloseFor(CloseReason reason)
{
    if (m_bClosed)
        return true;
    if (m_bClosing || m_bDisposed)
        return false;
    if (m_bModal && m_eDialogResult == DialogResult::None)
        m_eDialogResult = DialogResult::Cancel;
    m_bClosing = true;
    FormClosingEventArgs closing{reason, false};
    FormClosing.Raise(*this, closing);
    m_bClosing = false;
    if (closing.Cancel)
    {
        if (m_bModal)
            m_eDialogResult = DialogResult::None;
        return false;
    }
    m_bClosed = true;
    if (!m_bModal)
        SetVisible(false);
    FormClosedEventArgs closed{reason};
    FormClosed.Raise(*this, closed);
    // Modeless forms are disposed later, at a safe point: this may be inside the form's own handler.
    if (m_bShown && !m_bModal)
        forms_internal::QueueDisposal(this);
    return true;
}

void Form::Dispose()
{
    if (m_bDisposed)
        return;
    forms_internal::CancelDisposal(this);
    m_bClosed = true;
    m_bDisposed = true;
    SetVisible(false);
    Disposed.Raise(*this);
}

void Form::SetDialogResult(DialogResult result)
{
    m_eDialogResult = result;
    if (m_bModal && !m_bClosed && !m_bClosing && result != DialogResult::None)
        CloseFor(CloseReason::UserClosing);
}

void Form::SetCancelButton(Button* pButton)
{
    m_pCancelButton = pButton;
    if (pButton != nullptr && pButton->GetDialogResult() == DialogResult::None)
        pButton->SetDialogResult(DialogResult::Cancel);
}

void Form::SetWindowState(FormWindowState state)
{
    if (state == m_eWindowState)
        return;
    m_eWindowState = state;
    Resize.Raise(*this);
}

bool Form::UserCloseBox()
{
    if (!IsShown())
        return false;
    return CloseFor(CloseReason::UserClosing);
}

bool Form::UserPressEnter()
{
    return IsShown() && m_pAcceptButton != nullptr && m_pAcceptButton->PerformClick();
}

bool Form::UserPressEscape()
{
    return IsShown() && m_pCancelButton != nullptr && m_pCancelButton->PerformClick();
}

TabPage* TabControl::AddPage(const std::string& name, const std::string& text)
{
    TabPage* pPage = AddNew<TabPage>(name, text);
    m_gPages.push_back(pPage);
    if (m_iSelected < 0)
        m_iSelected = 0;
    return pPage;
}

TabPage* TabControl::GetTabPage(int index) const
{
    if (index < 0 || index >= int(m_gPages.size()))
        return nullptr;
    return m_gPages[std::size_t(index)];
}

bool TabControl::SetSelectedIndex(int index)
{
    if (index < -1 || index >= int(m_gPages.size()))
    {
        assert(!"TabControl::SetSelectedIndex out of range");
        return false;
    }
    if (index == m_iSelected)
        return true;
    m_iSelected = index;
    SelectedIndexChanged.Raise(*this);
    return true;
}

bool TabControl::UserSelect(int index)
{
    if (!IsUsable() || index < 0 || index >= int(m_gPages.size()))
        return false;
    return SetSelectedIndex(index);
}

void Application::DoEvents()
{
    forms_internal::RunDueTimers();
    FormsState& state = State();
    // Disposed handlers may close more forms; those wait for the next pump.
    std::vector<Form*> pending;
    pending.swap(state.pendingDisposal);
    for (Form* pForm : pending)
        pForm->Dispose();
    for (auto it = state.adopted.begin(); it != state.adopted.end();)
        if ((*it)->IsDisposed())
            it = state.adopted.erase(it);
        else
            ++it;
}

Form* Application::AdoptForm(std::unique_ptr<Form> pForm)
{
    Form* pRaw = pForm.get();
    if (pForm)
        State().adopted.push_back(std::move(pForm));
    return pRaw;
}

void Application::DefaultModalRunner(Form& form)
{
    DoEvents();
    Button* pAccept = form.GetAcceptButton();
    Button* pCancel = form.GetCancelButton();
    if (pAccept != nullptr && pAccept->IsUsable())
    {
        PrintCaption(("pressing " + pAccept->GetText()).c_str(), form);
        pAccept->PerformClick();
    }
    else if (pCancel != nullptr && pCancel->IsUsable())
    {
        PrintCaption(("pressing " + pCancel->GetText()).c_str(), form);
        pCancel->PerformClick();
    }
}

} // namespace forms
