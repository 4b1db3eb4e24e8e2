#include "platform/forms/FormsWidgets.h"
#include "platform/forms/FormsForm.h"
#include "platform/win32/Windows.h"
#include "tests/platform/forms/FormsTestFixture.h"

#include <string>
#include <vector>

using namespace forms;

namespace
{
// A shown form with a few named controls, and a log of the events they raise.
struct Window
{
    Form form;
    std::vector<std::string> log;

    Window()
    {
        form.SetText("Editor");
        form.Show();
    }

    void Watch(Control& control)
    {
        const std::string name = control.GetName();
        control.TextChanged.Add([this, name](Control&, EventArgs&) { log.push_back(name + ".TextChanged"); });
        control.Click.Add([this, name](Control&, EventArgs&) { log.push_back(name + ".Click"); });
        control.Enter.Add([this, name](Control&, EventArgs&) { log.push_back(name + ".Enter"); });
        control.Leave.Add([this, name](Control&, EventArgs&) { log.push_back(name + ".Leave"); });
        control.GotFocus.Add([this, name](Control&, EventArgs&) { log.push_back(name + ".GotFocus"); });
        control.LostFocus.Add([this, name](Control&, EventArgs&) { log.push_back(name + ".LostFocus"); });
        control.MouseDown.Add([this, name](Control&, MouseEventArgs&)
                              { log.push_back(name + ".MouseDown"); });
        control.MouseUp.Add([this, name](Control&, MouseEventArgs&) { log.push_back(name + ".MouseUp"); });
    }
};
} // namespace

TEST_F(FormsTest, HandlersRunInOrderAndCanBeDetachedOrSuppressed)
{
    Window w;
    TextBox* pBox = w.form.AddNew<TextBox>("nameBox");
    std::vector<int> calls;
    const EventToken first = pBox->TextChanged.Add([&](Control&, EventArgs&) { calls.push_back(1); });
    const EventToken second = pBox->TextChanged.Add([&](Control&, EventArgs&) { calls.push_back(2); });
    pBox->TextChanged.Add([&](Control&, EventArgs&) { calls.push_back(3); });
    pBox->SetText("a");
    EXPECT_EQ(calls, (std::vector<int>{1, 2, 3}));

    calls.clear();
    {
        Event<EventArgs>::Suppression quiet(pBox->TextChanged, second);
        pBox->SetText("b");
    }
    pBox->SetText("c");
    EXPECT_EQ(calls, (std::vector<int>{1, 3, 1, 2, 3}));

    calls.clear();
    {
        Event<EventArgs>::Suppression quiet(pBox->TextChanged);
        pBox->SetText("d");
    }
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(pBox->GetText(), "d") << "a suppressed event still changes the value";

    EXPECT_TRUE(pBox->TextChanged.Remove(first));
    EXPECT_FALSE(pBox->TextChanged.Remove(first));
    pBox->SetText("e");
    EXPECT_EQ(calls, (std::vector<int>{2, 3}));
}

TEST_F(FormsTest, HandlersMayDetachThemselvesAndOthersWhileRaised)
{
    Window w;
    CheckBox* pBox = w.form.AddNew<CheckBox>("check");
    std::vector<int> calls;
    EventToken second = 0;
    EventToken first = 0;
    first = pBox->CheckedChanged.Add(
        [&](Control&, EventArgs&)
        {
            calls.push_back(1);
            pBox->CheckedChanged.Remove(first);
            pBox->CheckedChanged.Remove(second);
        });
    second = pBox->CheckedChanged.Add([&](Control&, EventArgs&) { calls.push_back(2); });
    pBox->CheckedChanged.Add([&](Control&, EventArgs&) { calls.push_back(3); });
    pBox->SetChecked(true);
    pBox->SetChecked(false);
    EXPECT_EQ(calls, (std::vector<int>{1, 3, 3})) << "a handler removed during the raise does not run";
}

TEST_F(FormsTest, CodeChangesRaiseLikeUserChangesAndUnchangedValuesRaiseNothing)
{
    Window w;
    CheckBox* pCheck = w.form.AddNew<CheckBox>("fullscreen", "Fullscreen");
    TextBox* pText = w.form.AddNew<TextBox>("startTime");
    int checkedChanges = 0;
    int textChanges = 0;
    pCheck->CheckedChanged.Add([&](Control&, EventArgs&) { ++checkedChanges; });
    pText->TextChanged.Add([&](Control&, EventArgs&) { ++textChanges; });

    pCheck->SetChecked(true);
    pCheck->SetChecked(true);
    pCheck->UserClick();
    EXPECT_EQ(checkedChanges, 2);
    EXPECT_FALSE(pCheck->GetChecked());

    pText->SetText("1.5");
    pText->SetText("1.5");
    pText->UserType("1.5");
    EXPECT_EQ(textChanges, 1);
    pText->UserTypeChars("00");
    EXPECT_EQ(textChanges, 3) << "one change per typed character";
    EXPECT_EQ(pText->GetText(), "1.500");
    pText->SetReadOnly(true);
    EXPECT_FALSE(pText->UserType("2"));
    EXPECT_EQ(pText->GetText(), "1.500");
}

TEST_F(FormsTest, FocusRaisesLeaveOnTheOldControlsAndEnterOnTheNew)
{
    Window w;
    GroupBox* pGroup = w.form.AddNew<GroupBox>("group");
    TextBox* pA = pGroup->AddNew<TextBox>("a");
    TextBox* pB = pGroup->AddNew<TextBox>("b");
    Button* pOutside = w.form.AddNew<Button>("outside");
    for (Control* p : std::vector<Control*>{pGroup, pA, pB, pOutside})
        w.Watch(*p);

    EXPECT_TRUE(pA->Focus());
    EXPECT_EQ(w.log, (std::vector<std::string>{"group.Enter", "a.Enter", "a.GotFocus"}));
    EXPECT_TRUE(pA->IsFocused());
    EXPECT_TRUE(pGroup->ContainsFocus());
    EXPECT_TRUE(w.form.ContainsFocus());

    w.log.clear();
    pB->UserFocus();
    EXPECT_EQ(w.log, (std::vector<std::string>{"a.Leave", "a.LostFocus", "b.Enter", "b.GotFocus"}))
        << "focus stays inside the group: the group is neither left nor entered";

    w.log.clear();
    pB->Focus();
    EXPECT_TRUE(w.log.empty()) << "focusing the focused control raises nothing";

    pOutside->Focus();
    EXPECT_EQ(w.log, (std::vector<std::string>{"b.Leave", "group.Leave", "b.LostFocus", "outside.Enter",
                                               "outside.GotFocus"}));
    EXPECT_FALSE(pGroup->ContainsFocus());
    EXPECT_EQ(w.form.GetActiveControl(), pOutside);

    w.log.clear();
    pA->SetEnabled(false);
    EXPECT_FALSE(pA->Focus());
    pGroup->SetEnabled(false);
    EXPECT_FALSE(pB->UserFocus()) << "a child of a disabled group is disabled";
    EXPECT_TRUE(w.log.empty());
}

TEST_F(FormsTest, DisabledOrHiddenControlsIgnoreClicksAndInput)
{
    Window w;
    Button* pButton = w.form.AddNew<Button>("saveButton", "Save");
    Panel* pPanel = w.form.AddNew<Panel>("graph");
    int clicks = 0;
    int mouse = 0;
    pButton->Click.Add([&](Control&, EventArgs&) { ++clicks; });
    pPanel->MouseDown.Add([&](Control&, MouseEventArgs&) { ++mouse; });
    pButton->SetEnabled(false);
    pPanel->SetVisible(false);
    EXPECT_FALSE(pButton->PerformClick());
    EXPECT_FALSE(pButton->UserClick());
    EXPECT_FALSE(pButton->UserPress());
    EXPECT_FALSE(pPanel->UserMouseDown(1, 1));
    EXPECT_EQ(clicks + mouse, 0);

    pButton->SetEnabled(true);
    EXPECT_TRUE(pButton->PerformClick());
    EXPECT_EQ(clicks, 1);

    Form unshown;
    Button* pHidden = unshown.AddNew<Button>("b");
    EXPECT_FALSE(pHidden->PerformClick()) << "a form not shown takes no input";
}

TEST_F(FormsTest, ButtonMouseOrderAndHeldPresses)
{
    Window w;
    Button* pButton = w.form.AddNew<Button>("forward");
    w.Watch(*pButton);
    pButton->UserClick();
    EXPECT_EQ(w.log, (std::vector<std::string>{"forward.MouseDown", "forward.Click", "forward.MouseUp"}));

    w.log.clear();
    EXPECT_TRUE(pButton->UserPress());
    EXPECT_TRUE(pButton->IsPressed());
    EXPECT_EQ(w.log, (std::vector<std::string>{"forward.MouseDown"}));
    EXPECT_TRUE(pButton->UserRelease());
    EXPECT_EQ(w.log, (std::vector<std::string>{"forward.MouseDown", "forward.Click", "forward.MouseUp"}));

    w.log.clear();
    pButton->UserPress();
    pButton->UserRelease(false);
    EXPECT_EQ(w.log, (std::vector<std::string>{"forward.MouseDown", "forward.MouseUp"}))
        << "released outside the button: no click";
    EXPECT_FALSE(pButton->UserRelease()) << "nothing is held";
}

TEST_F(FormsTest, PanelMouseEventsCarryPositionButtonsAndModifiers)
{
    Window w;
    Panel* pPanel = w.form.AddNew<Panel>("graph");
    std::vector<MouseEventArgs> events;
    Keys modifiers = Keys::None;
    auto record = [&](Control&, MouseEventArgs& e)
    {
        events.push_back(e);
        modifiers = Control::ModifierKeys();
    };
    pPanel->MouseDown.Add(record);
    pPanel->MouseMove.Add(record);
    pPanel->MouseUp.Add(record);
    pPanel->MouseWheel.Add(record);
    FormsControl::SetModifierKeys(Keys::Shift | Keys::Control);
    pPanel->UserMouseDown(10, 20, MouseButtons::Right);
    EXPECT_EQ(modifiers, Keys::Shift | Keys::Control);
    FormsControl::SetModifierKeys(Keys::Alt);
    pPanel->UserMouseMove(11, 21, MouseButtons::Right);
    pPanel->UserMouseUp(12, 22, MouseButtons::Right);
    pPanel->UserMouseWheel(12, 22, -120);
    EXPECT_EQ(modifiers, Keys::Alt);
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].Button, MouseButtons::Right);
    EXPECT_EQ(events[0].X, 10);
    EXPECT_EQ(events[1].Y, 21);
    EXPECT_EQ(events[3].Delta, -120);
    EXPECT_TRUE(GetKeyState(VK_MENU) & 0x8000) << "the Win32 key table holds the same keys";
}

TEST_F(FormsTest, ControlsAreFoundByNameAndKind)
{
    Window w;
    TabControl* pTabs = w.form.AddNew<TabControl>("tabControl");
    TabPage* pPage = pTabs->AddPage("tabLights", "Lights");
    Button* pSave = pPage->AddNew<Button>("saveButton", "Save");
    EXPECT_EQ(w.form.Find<Button>("saveButton"), pSave);
    EXPECT_EQ(w.form.Find<TextBox>("saveButton"), nullptr) << "wrong kind";
    EXPECT_EQ(w.form.Find<Control>("missing"), nullptr);
    EXPECT_EQ(pSave->FindForm(), &w.form);
    EXPECT_EQ(pSave->GetText(), "Save");
}

TEST_F(FormsTest, RefreshPaintsAtOnceIntoTheControlSurface)
{
    Window w;
    Panel* pPanel = w.form.AddNew<Panel>("graph");
    pPanel->SetSize(200, 100);
    int paints = 0;
    pPanel->Paint.Add(
        [&](Control&, PaintEventArgs& e)
        {
            ++paints;
            e.pGraphics->Clear(Color::Black);
            e.pGraphics->FillRectangle(SolidBrush(Color::Red), 8, 8, 5, 5);
        });
    pPanel->Refresh();
    EXPECT_EQ(paints, 1);
    pPanel->Refresh();
    ASSERT_EQ(pPanel->GetSurface().Commands().size(), 2u) << "each paint starts with a clear: the last frame";
    EXPECT_EQ(pPanel->GetSurface().Commands()[1].color, Color::Red);

    // A paint that draws without clearing still replaces what the control showed: a control is
    // redrawn whole, so its surface starts empty at each paint.
    Panel* pGraph = w.form.AddNew<Panel>("plain");
    pGraph->Paint.Add([&](Control&, PaintEventArgs& e)
                      { e.pGraphics->FillRectangle(SolidBrush(Color::Green), 1, 1, 5, 5); });
    for (int i = 0; i < 3; ++i)
        pGraph->Refresh();
    ASSERT_EQ(pGraph->GetSurface().Commands().size(), 1u);
    EXPECT_EQ(pGraph->GetSurface().Commands()[0].color, Color::Green);

    int resizes = 0;
    pPanel->SizeChanged.Add([&](Control&, EventArgs&) { ++resizes; });
    pPanel->SetSize(200, 100);
    pPanel->SetSize(300, 100);
    EXPECT_EQ(resizes, 1);
}

TEST_F(FormsTest, ToolTipsArePerControl)
{
    Window w;
    Label* pLabel = w.form.AddNew<Label>("labelStart", "Start");
    ToolTip tips;
    tips.SetToolTip(pLabel, "Start time in seconds");
    EXPECT_EQ(tips.GetToolTip(pLabel), "Start time in seconds");
    tips.SetToolTip(pLabel, "");
    EXPECT_EQ(tips.GetToolTip(pLabel), "");
}

TEST_F(FormsTest, TabSelectionRaisesOnlyOnChange)
{
    Window w;
    TabControl* pTabs = w.form.AddNew<TabControl>("tabControl");
    int changes = 0;
    pTabs->SelectedIndexChanged.Add([&](Control&, EventArgs&) { ++changes; });
    EXPECT_EQ(pTabs->GetSelectedIndex(), -1);
    pTabs->AddPage("tabInterpolations", "Interpolations");
    TabPage* pLights = pTabs->AddPage("tabLights", "Lights");
    EXPECT_EQ(pTabs->GetSelectedIndex(), 0) << "the first page is selected without an event";
    EXPECT_TRUE(pTabs->UserSelect(1));
    pTabs->SetSelectedIndex(1);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(pTabs->GetSelectedTab(), pLights);
    EXPECT_FALSE(pTabs->UserSelect(2));
    pTabs->SetEnabled(false);
    EXPECT_FALSE(pTabs->UserSelect(0));
    EXPECT_EQ(changes, 1);
}
