#include "platform/forms/FormsWidgets.h"

#include "platform/forms/FormsForm.h"
#include "platform/win32/Windows.h"

#include <algorithm>

namespace forms
{

Control::~Control()
{
    // Children go first, while this control is whole, so that each can find the root.
    m_gChildren.clear();
    Control* pRoot = GetTopLevelControl();
    if (pRoot->m_pFocused == this)
        pRoot->m_pFocused = nullptr;
}

Control* Control::AddChild(std::unique_ptr<Control> pChild)
{
    if (!pChild || pChild->m_pParent != nullptr)
        return nullptr;
    pChild->m_pParent = this;
    m_gChildren.push_back(std::move(pChild));
    return m_gChildren.back().get();
}

Control* Control::GetTopLevelControl()
{
    Control* pControl = this;
    while (pControl->m_pParent != nullptr)
        pControl = pControl->m_pParent;
    return pControl;
}

Form* Control::FindForm()
{
    for (Control* pControl = this; pControl != nullptr; pControl = pControl->m_pParent)
        if (Form* pForm = dynamic_cast<Form*>(pControl))
            return pForm;
    return nullptr;
}

Control* Control::FindControl(const std::string& name)
{
    for (const std::unique_ptr<Control>& pChild : m_gChildren)
    {
        if (pChild->m_sName == name)
            return pChild.get();
        if (Control* pFound = pChild->FindControl(name))
            return pFound;
    }
    return nullptr;
}

void Control::SetText(const std::string& text)
{
    if (text == m_sText)
        return;
    m_sText = text;
    TextChanged.Raise(*this);
}

void Control::SetEnabled(bool enabled)
{
    m_bEnabled = enabled;
}

void Control::SetVisible(bool visible)
{
    m_bVisible = visible;
}

bool Control::IsUsable() const
{
    for (const Control* pControl = this; pControl != nullptr; pControl = pControl->m_pParent)
        if (!pControl->m_bEnabled || !pControl->m_bVisible)
            return false;
    return true;
}

void Control::SetBounds(const Rectangle& bounds)
{
    const bool resized = bounds.Width != m_bounds.Width || bounds.Height != m_bounds.Height;
    m_bounds = bounds;
    if (!resized)
        return;
    Resize.Raise(*this);
    SizeChanged.Raise(*this);
}

bool Control::Focus()
{
    if (!CanFocus())
        return false;
    Control* pRoot = GetTopLevelControl();
    Control* pPrevious = pRoot->m_pFocused;
    if (pPrevious == this)
        return true;
    // The chains from each control up to the root; what they share is not left nor entered.
    std::vector<Control*> gOld;
    for (Control* p = pPrevious; p != nullptr; p = p->m_pParent)
        gOld.push_back(p);
    std::vector<Control*> gNew;
    for (Control* p = this; p != nullptr; p = p->m_pParent)
        gNew.push_back(p);
    while (!gOld.empty() && !gNew.empty() && gOld.back() == gNew.back())
    {
        gOld.pop_back();
        gNew.pop_back();
    }
    for (Control* p : gOld)
        p->Leave.Raise(*p);
    if (pPrevious != nullptr)
        pPrevious->LostFocus.Raise(*pPrevious);
    pRoot->m_pFocused = this;
    for (auto it = gNew.rbegin(); it != gNew.rend(); ++it)
        (*it)->Enter.Raise(**it);
    GotFocus.Raise(*this);
    return true;
}

bool Control::IsFocused() const
{
    const Control* pRoot = this;
    while (pRoot->m_pParent != nullptr)
        pRoot = pRoot->m_pParent;
    return pRoot->m_pFocused == this;
}

bool Control::ContainsFocus() const
{
    const Control* pRoot = this;
    while (pRoot->m_pParent != nullptr)
        pRoot = pRoot->m_pParent;
    for (const Control* p = pRoot->m_pFocused; p != nullptr; p = p->m_pParent)
        if (p == this)
            return true;
    return false;
}

Control* Control::GetFocusedControl()
{
    return GetTopLevelControl()->m_pFocused;
}

void Control::Refresh()
{
    if (!m_bVisible)
        return;
    // A control is redrawn whole: what the last paint (or CreateGraphics) drew is gone.
    m_surface.Reset();
    Graphics graphics(&m_surface);
    OnPaintBackground(graphics);
    PaintEventArgs e{&graphics};
    Paint.Raise(*this, e);
}

Keys Control::ModifierKeys()
{
    std::uint32_t keys = 0;
    if (GetKeyState(VK_SHIFT) & 0x8000)
        keys |= std::uint32_t(Keys::Shift);
    if (GetKeyState(VK_CONTROL) & 0x8000)
        keys |= std::uint32_t(Keys::Control);
    if (GetKeyState(VK_MENU) & 0x8000)
        keys |= std::uint32_t(Keys::Alt);
    return Keys(keys);
}

bool Control::UserFocus()
{
    return Focus();
}

bool Control::UserHover()
{
    if (!IsUsable())
        return false;
    MouseHover.Raise(*this);
    return true;
}

void Control::RaiseMouse(Event<MouseEventArgs>& event, int x, int y, MouseButtons buttons, int clicks,
                         int delta)
{
    MouseEventArgs e{buttons, clicks, x, y, delta};
    event.Raise(*this, e);
}

bool Control::UserMouseDown(int x, int y, MouseButtons buttons)
{
    if (!IsUsable())
        return false;
    RaiseMouse(MouseDown, x, y, buttons, 1, 0);
    return true;
}

bool Control::UserMouseMove(int x, int y, MouseButtons buttons)
{
    if (!IsUsable())
        return false;
    RaiseMouse(MouseMove, x, y, buttons, 0, 0);
    return true;
}

bool Control::UserMouseUp(int x, int y, MouseButtons buttons)
{
    if (!IsUsable())
        return false;
    RaiseMouse(MouseUp, x, y, buttons, 1, 0);
    return true;
}

bool Control::UserMouseWheel(int x, int y, int delta, MouseButtons buttons)
{
    if (!IsUsable())
        return false;
    RaiseMouse(MouseWheel, x, y, buttons, 0, delta);
    return true;
}

void Button::OnClick()
{
    Form* pForm = FindForm();
    if (pForm != nullptr && m_eDialogResult != DialogResult::None)
    {
        // Set quietly first, as the handlers may look at it or take it back.
        pForm->SetResultQuietly(m_eDialogResult);
    }
    Click.Raise(*this);
    if (pForm != nullptr && m_eDialogResult != DialogResult::None && pForm->IsModal() && !pForm->IsClosed() &&
        pForm->GetDialogResult() != DialogResult::None)
        pForm->Close();
}

bool Button::PerformClick()
{
    if (!IsUsable())
        return false;
    OnClick();
    return true;
}

bool Button::UserClick()
{
    if (!IsUsable())
        return false;
    const int x = GetWidth() / 2;
    const int y = GetHeight() / 2;
    RaiseMouse(MouseDown, x, y, MouseButtons::Left, 1, 0);
    OnClick();
    RaiseMouse(MouseUp, x, y, MouseButtons::Left, 1, 0);
    return true;
}

bool Button::UserPress()
{
    if (!IsUsable() || m_bPressed)
        return false;
    m_bPressed = true;
    RaiseMouse(MouseDown, GetWidth() / 2, GetHeight() / 2, MouseButtons::Left, 1, 0);
    return true;
}

bool Button::UserRelease(bool overButton)
{
    if (!m_bPressed)
        return false;
    m_bPressed = false;
    // A button disabled while held gives no click.
    if (overButton && IsUsable())
        OnClick();
    const int x = overButton ? GetWidth() / 2 : -1;
    const int y = overButton ? GetHeight() / 2 : -1;
    RaiseMouse(MouseUp, x, y, MouseButtons::Left, 1, 0);
    return true;
}

void CheckBox::SetChecked(bool checked)
{
    if (checked == m_bChecked)
        return;
    m_bChecked = checked;
    CheckedChanged.Raise(*this);
}

bool CheckBox::UserClick()
{
    if (!IsUsable())
        return false;
    const int x = GetWidth() / 2;
    const int y = GetHeight() / 2;
    RaiseMouse(MouseDown, x, y, MouseButtons::Left, 1, 0);
    SetChecked(!m_bChecked);
    Click.Raise(*this);
    RaiseMouse(MouseUp, x, y, MouseButtons::Left, 1, 0);
    return true;
}

bool TextBox::UserType(const std::string& text)
{
    if (!IsUsable() || m_bReadOnly)
        return false;
    SetText(text);
    return true;
}

bool TextBox::UserTypeChars(const std::string& text)
{
    if (!IsUsable() || m_bReadOnly)
        return false;
    for (char c : text)
        SetText(GetText() + c);
    return true;
}

void PictureBox::SetImage(std::shared_ptr<Image> pImage)
{
    m_pImage = std::move(pImage);
    Graphics graphics(&GetSurface());
    OnPaintBackground(graphics);
}

void PictureBox::OnPaintBackground(Graphics& graphics)
{
    graphics.Clear(Color::Transparent);
    if (!m_pImage)
        return;
    const bool stretch = m_eSizeMode == PictureBoxSizeMode::StretchImage;
    const Rectangle destination = stretch ? Rectangle{0, 0, GetWidth(), GetHeight()}
                                          : Rectangle{0, 0, m_pImage->GetWidth(), m_pImage->GetHeight()};
    graphics.DrawImage(*m_pImage, destination, 0, 0, m_pImage->GetWidth(), m_pImage->GetHeight(),
                       GraphicsUnit::Pixel, ImageAttributes());
}

void ToolTip::SetToolTip(const Control* pControl, const std::string& text)
{
    if (text.empty())
        m_gTexts.erase(pControl);
    else
        m_gTexts[pControl] = text;
}

std::string ToolTip::GetToolTip(const Control* pControl) const
{
    const auto it = m_gTexts.find(pControl);
    return it == m_gTexts.end() ? std::string() : it->second;
}

} // namespace forms
