#pragma once
// The controls of the forms stand-in, without real windows: Control (the base: a tree of children,
// text, enabled and visible flags, stored bounds, focus, painting, mouse events), Button, CheckBox,
// Label, GroupBox, Panel, TextBox, PictureBox and ToolTip. Lists are in FormsLists.h, forms and tab
// controls in FormsForm.h.
//
// The event contract (see FormsEvents.h for the delegates):
// - A change made by code raises the same event as a user change; setting an unchanged value raises
//   nothing.
// - Focus moves with Focus(): Leave then LostFocus on the control losing it (Leave also on each
//   container focus moves out of), then Enter on each container it moves into and on the control,
//   then GotFocus. Disabled or hidden controls take no focus.
// - A control is usable when it and every parent are enabled; simulated user input and PerformClick
//   do nothing on a control that is not, or is hidden.
// - A full click raises MouseDown, Click, MouseUp; a held press is MouseDown now and, on release,
//   Click (only when released over the control) and MouseUp.
// - Refresh paints at once: it empties the control's surface (a control is redrawn whole), then
//   raises Paint with a Graphics recording into it.
// The User... helpers simulate input for tests and the headless program. UI thread only.

#include "platform/forms/FormsDrawing.h"
#include "platform/forms/FormsEvents.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace forms
{

class Form;

enum class Keys : std::uint32_t
{
    None = 0,
    Shift = 0x00010000,
    Control = 0x00020000,
    Alt = 0x00040000,
};
constexpr Keys operator|(Keys a, Keys b)
{
    return Keys(std::uint32_t(a) | std::uint32_t(b));
}
constexpr bool HasFlag(Keys value, Keys flag)
{
    return (std::uint32_t(value) & std::uint32_t(flag)) == std::uint32_t(flag);
}

enum class AnchorStyles : std::uint32_t
{
    None = 0,
    Top = 1,
    Bottom = 2,
    Left = 4,
    Right = 8,
};
constexpr AnchorStyles operator|(AnchorStyles a, AnchorStyles b)
{
    return AnchorStyles(std::uint32_t(a) | std::uint32_t(b));
}

class Control
{
public:
    Control() = default;
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    // Children, owned by this control, in the order added.
    Control* AddChild(std::unique_ptr<Control> pChild);
    template <class T>
    T* AddNew(const std::string& name, const std::string& text = "")
    {
        auto pChild = std::make_unique<T>();
        pChild->SetName(name);
        pChild->SetText(text);
        T* pRaw = pChild.get();
        AddChild(std::move(pChild));
        return pRaw;
    }
    const std::vector<std::unique_ptr<Control>>& GetControls() const { return m_gChildren; }
    Control* GetParent() const { return m_pParent; }
    Control* GetTopLevelControl(); // the root of this control's tree (itself when it has no parent)
    Form* FindForm();              // the form this control is on, or null
    // The first descendant of that name (depth first, in child order), or null; Find also checks the
    // kind.
    Control* FindControl(const std::string& name);
    template <class T>
    T* Find(const std::string& name)
    {
        return dynamic_cast<T*>(FindControl(name));
    }

    const std::string& GetName() const { return m_sName; }
    void SetName(const std::string& name) { m_sName = name; }
    virtual std::string GetText() const { return m_sText; }
    virtual void SetText(const std::string& text); // TextChanged when it changes

    bool GetEnabled() const { return m_bEnabled; }
    void SetEnabled(bool enabled);
    bool GetVisible() const { return m_bVisible; }
    void SetVisible(bool visible);
    bool IsUsable() const; // enabled and visible, and so is every parent

    Rectangle GetBounds() const { return m_bounds; }
    void SetBounds(const Rectangle& bounds); // Resize and SizeChanged when the size changes
    Point GetLocation() const { return {m_bounds.X, m_bounds.Y}; }
    void SetLocation(int x, int y) { SetBounds({x, y, m_bounds.Width, m_bounds.Height}); }
    Size GetSize() const { return {m_bounds.Width, m_bounds.Height}; }
    void SetSize(int width, int height) { SetBounds({m_bounds.X, m_bounds.Y, width, height}); }
    int GetWidth() const { return m_bounds.Width; }
    int GetHeight() const { return m_bounds.Height; }
    int GetTabIndex() const { return m_iTabIndex; }
    void SetTabIndex(int index) { m_iTabIndex = index; }
    bool GetTabStop() const { return m_bTabStop; }
    void SetTabStop(bool tabStop) { m_bTabStop = tabStop; }
    AnchorStyles GetAnchor() const { return m_eAnchor; }
    void SetAnchor(AnchorStyles anchor) { m_eAnchor = anchor; }

    bool CanFocus() const { return IsUsable(); }
    bool Focus();                 // false when the control cannot take focus
    bool IsFocused() const;       // .NET Focused
    bool ContainsFocus() const;   // this control or a descendant has the focus
    Control* GetFocusedControl(); // of this control's tree, or null

    Surface& GetSurface() { return m_surface; }
    Graphics CreateGraphics() { return Graphics(&m_surface); }
    void Refresh(); // paints now when visible, from an empty surface: own background, then Paint

    // The modifier keys held now (Shift, Control, Alt), from the Win32 stand-in's key table.
    static Keys ModifierKeys();

    Event<EventArgs> TextChanged;
    Event<EventArgs> Click;
    Event<EventArgs> MouseHover;
    Event<EventArgs> Enter;
    Event<EventArgs> Leave;
    Event<EventArgs> GotFocus;
    Event<EventArgs> LostFocus;
    Event<EventArgs> Resize;
    Event<EventArgs> SizeChanged;
    Event<MouseEventArgs> MouseDown;
    Event<MouseEventArgs> MouseMove;
    Event<MouseEventArgs> MouseUp;
    Event<MouseEventArgs> MouseWheel;
    Event<PaintEventArgs> Paint;

    // Simulated user input; each does nothing (and answers false) when the control is not usable.
    bool UserFocus();
    bool UserHover();
    bool UserMouseDown(int x, int y, MouseButtons buttons = MouseButtons::Left);
    bool UserMouseMove(int x, int y, MouseButtons buttons = MouseButtons::None);
    bool UserMouseUp(int x, int y, MouseButtons buttons = MouseButtons::Left);
    bool UserMouseWheel(int x, int y, int delta, MouseButtons buttons = MouseButtons::None);

protected:
    virtual void OnPaintBackground(Graphics&) {}
    void RaiseMouse(Event<MouseEventArgs>& event, int x, int y, MouseButtons buttons, int clicks, int delta);

private:
    std::string m_sName;
    std::string m_sText;
    bool m_bEnabled = true;
    bool m_bVisible = true;
    Rectangle m_bounds;
    int m_iTabIndex = 0;
    bool m_bTabStop = true;
    AnchorStyles m_eAnchor = AnchorStyles::Top | AnchorStyles::Left;
    Surface m_surface;
    Control* m_pParent = nullptr;  // not owned
    Control* m_pFocused = nullptr; // roots only: the focused control of the tree; not owned
    std::vector<std::unique_ptr<Control>> m_gChildren;
};

class Button : public Control
{
public:
    // The result a click gives the form: the form's DialogResult is set before the Click handlers
    // run (a handler may set it back to None), and a modal form with a result afterwards closes.
    DialogResult GetDialogResult() const { return m_eDialogResult; }
    void SetDialogResult(DialogResult result) { m_eDialogResult = result; }

    bool PerformClick();                      // Click (with the dialog result) when usable
    bool UserClick();                         // MouseDown, Click, MouseUp
    bool UserPress();                         // MouseDown; the button stays pressed
    bool UserRelease(bool overButton = true); // Click when released over the button, MouseUp
    bool IsPressed() const { return m_bPressed; }

private:
    void OnClick();

    DialogResult m_eDialogResult = DialogResult::None;
    bool m_bPressed = false;
};

class CheckBox : public Control
{
public:
    bool GetChecked() const { return m_bChecked; }
    void SetChecked(bool checked); // CheckedChanged when it changes
    bool UserClick();              // MouseDown, the toggle (CheckedChanged), Click, MouseUp

    Event<EventArgs> CheckedChanged;

private:
    bool m_bChecked = false;
};

class Label : public Control
{
};

class GroupBox : public Control
{
};

class Panel : public Control
{
};

class TextBox : public Control
{
public:
    bool GetReadOnly() const { return m_bReadOnly; }
    void SetReadOnly(bool readOnly) { m_bReadOnly = readOnly; }
    // The text becomes text in one change (as a paste over the whole text); not when read-only.
    bool UserType(const std::string& text);
    // Each character appended at the end as typed: one TextChanged per character.
    bool UserTypeChars(const std::string& text);

private:
    bool m_bReadOnly = false;
};

enum class PictureBoxSizeMode
{
    Normal,
    StretchImage,
    AutoSize,
    CenterImage,
    Zoom,
};

// Shows its image: setting the image (or Refresh) records a clear and the image drawn into the box
// (stretched to the box in StretchImage mode); CreateGraphics draws over it.
class PictureBox : public Control
{
public:
    std::shared_ptr<Image> GetImage() const { return m_pImage; }
    void SetImage(std::shared_ptr<Image> pImage);
    PictureBoxSizeMode GetSizeMode() const { return m_eSizeMode; }
    void SetSizeMode(PictureBoxSizeMode mode) { m_eSizeMode = mode; }

protected:
    void OnPaintBackground(Graphics& graphics) override;

private:
    std::shared_ptr<Image> m_pImage;
    PictureBoxSizeMode m_eSizeMode = PictureBoxSizeMode::Normal;
};

// Tool tip texts of controls. Controls are only keys here: a control may be destroyed before its
// tool tip; its entry is then never read through.
class ToolTip
{
public:
    void SetToolTip(const Control* pControl, const std::string& text); // empty text removes it
    std::string GetToolTip(const Control* pControl) const;             // "" when none
    bool GetShowAlways() const { return m_bShowAlways; }
    void SetShowAlways(bool showAlways) { m_bShowAlways = showAlways; }
    bool GetIsBalloon() const { return m_bIsBalloon; }
    void SetIsBalloon(bool isBalloon) { m_bIsBalloon = isBalloon; }

private:
    std::map<const Control*, std::string> m_gTexts;
    bool m_bShowAlways = false;
    bool m_bIsBalloon = false;
};

} // namespace forms
