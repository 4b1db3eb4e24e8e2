#include "platform/forms/FormsForm.h"
#include "platform/forms/FormsMessageBox.h"
#include "platform/win32/Windows.h"
#include "tests/platform/forms/FormsTestFixture.h"

#include <memory>
#include <string>
#include <vector>

using namespace forms;

namespace
{
// A dialog with the accept and cancel buttons of the configuration dialog.
struct Dialog
{
    Form form;
    Button* pStart;
    Button* pAbort;
    std::vector<std::string> log;

    Dialog()
    {
        form.SetText("Configuration");
        pStart = form.AddNew<Button>("buttonOK", "Start");
        pAbort = form.AddNew<Button>("buttonCancel", "Abort");
        form.SetAcceptButton(pStart);
        form.SetCancelButton(pAbort);
        pStart->Click.Add(
            [this](Control&, EventArgs&)
            {
                log.push_back("Start");
                form.Close();
            });
        pAbort->Click.Add([this](Control&, EventArgs&) { log.push_back("Abort"); });
        form.FormClosing.Add([this](Control&, FormClosingEventArgs&) { log.push_back("Closing"); });
        form.FormClosed.Add([this](Control&, FormClosedEventArgs&) { log.push_back("Closed"); });
    }
};
} // namespace

TEST_F(FormsTest, TheDefaultModalRunnerAcceptsWhenItCanElseCancels)
{
    Dialog accepting;
    EXPECT_EQ(accepting.form.ShowDialog(), DialogResult::Cancel)
        << "Start closes without a result of its own: a modal form closed that way answers Cancel";
    EXPECT_EQ(accepting.log, (std::vector<std::string>{"Start", "Closing", "Closed"}));
    EXPECT_TRUE(accepting.form.IsClosed());
    EXPECT_FALSE(accepting.form.IsDisposed()) << "a modal form is not disposed by closing";

    Dialog cancelling;
    cancelling.pStart->SetEnabled(false);
    EXPECT_EQ(cancelling.form.ShowDialog(), DialogResult::Cancel);
    EXPECT_EQ(cancelling.log, (std::vector<std::string>{"Abort", "Closing", "Closed"}))
        << "the cancel button has the result Cancel, which closes the modal form";

    Dialog accepted;
    accepted.pStart->SetDialogResult(DialogResult::OK);
    EXPECT_EQ(accepted.form.ShowDialog(), DialogResult::OK);
}

TEST_F(FormsTest, AScriptedRunnerDrivesTheDialogAndWhatItLeavesOpenIsCancelled)
{
    Dialog d;
    CheckBox* pVSync = d.form.AddNew<CheckBox>("checkBoxVSync");
    FormsControl::SetModalRunner([](Form& form) { form.Find<CheckBox>("checkBoxVSync")->UserClick(); });
    EXPECT_EQ(d.form.ShowDialog(), DialogResult::Cancel);
    EXPECT_TRUE(pVSync->GetChecked());
    EXPECT_EQ(d.log, (std::vector<std::string>{"Closing", "Closed"}));

    // A handler that always cancels cannot keep a headless modal run open.
    Dialog stubborn;
    stubborn.form.FormClosing.Add([](Control&, FormClosingEventArgs& e) { e.Cancel = true; });
    FormsControl::SetModalRunner([](Form& form) { EXPECT_FALSE(form.UserPressEscape() && form.IsClosed()); });
    EXPECT_EQ(stubborn.form.ShowDialog(), DialogResult::Cancel);
    EXPECT_TRUE(stubborn.form.IsClosed());
}

TEST_F(FormsTest, ClosingCanBeCancelledAndAModalResultIsThenReset)
{
    Dialog d;
    bool keepOpen = true;
    d.form.FormClosing.Add(
        [&](Control&, FormClosingEventArgs& e)
        {
            EXPECT_EQ(e.Reason, CloseReason::UserClosing);
            e.Cancel = keepOpen;
        });
    FormsControl::SetModalRunner(
        [&](Form& form)
        {
            EXPECT_TRUE(form.UserCloseBox() == false);
            EXPECT_EQ(form.GetDialogResult(), DialogResult::None)
                << "a cancelled close takes the result back";
            EXPECT_FALSE(form.IsClosed());
            keepOpen = false;
            EXPECT_TRUE(form.UserPressEnter());
        });
    EXPECT_EQ(d.form.ShowDialog(), DialogResult::Cancel);
    EXPECT_EQ(d.log, (std::vector<std::string>{"Closing", "Start", "Closing", "Closed"}));
}

TEST_F(FormsTest, ClickHandlersMayTakeBackAButtonsResult)
{
    Form form;
    Button* pOk = form.AddNew<Button>("okButton");
    pOk->SetDialogResult(DialogResult::OK);
    bool valid = false;
    pOk->Click.Add(
        [&](Control&, EventArgs&)
        {
            EXPECT_EQ(form.GetDialogResult(), DialogResult::OK) << "set before the handlers run";
            if (!valid)
                form.SetDialogResult(DialogResult::None);
        });
    FormsControl::SetModalRunner(
        [&](Form& dialog)
        {
            Button* pButton = dialog.Find<Button>("okButton");
            EXPECT_TRUE(pButton->PerformClick());
            EXPECT_FALSE(dialog.IsClosed());
            valid = true;
            EXPECT_TRUE(pButton->PerformClick());
            EXPECT_TRUE(dialog.IsClosed());
        });
    EXPECT_EQ(form.ShowDialog(), DialogResult::OK);
}

TEST_F(FormsTest, EnterAndEscapePressOnlyUsableButtons)
{
    Dialog d;
    d.form.Show();
    d.pStart->SetEnabled(false);
    EXPECT_FALSE(d.form.UserPressEnter());
    EXPECT_TRUE(d.form.UserPressEscape());
    EXPECT_EQ(d.log, (std::vector<std::string>{"Abort"})) << "a modeless form does not close on a result";
    EXPECT_EQ(d.pAbort->GetDialogResult(), DialogResult::Cancel);
}

TEST_F(FormsTest, AModelessFormClosedByItsOwnHandlerIsDisposedLater)
{
    auto pOwned = std::make_unique<Form>();
    Form* pForm = Application::AdoptForm(std::move(pOwned));
    Button* pClose = pForm->AddNew<Button>("closeButton");
    bool disposed = false;
    pClose->Click.Add([pForm](Control&, EventArgs&) { pForm->Close(); });
    pForm->Disposed.Add([&](Control&, EventArgs&) { disposed = true; });
    pForm->Show();
    pClose->UserClick();
    EXPECT_TRUE(pForm->IsClosed());
    EXPECT_FALSE(disposed) << "disposal waits for the safe point";
    Application::DoEvents();
    EXPECT_TRUE(disposed);

    // A form deleted by its owner before the safe point is forgotten.
    auto pOther = std::make_unique<Form>();
    pOther->Show();
    pOther->Close();
    pOther.reset();
    Application::DoEvents();

    Form minimised;
    int resizes = 0;
    minimised.Resize.Add([&](Control&, EventArgs&) { ++resizes; });
    minimised.SetWindowState(FormWindowState::Minimized);
    minimised.SetWindowState(FormWindowState::Minimized);
    EXPECT_EQ(resizes, 1);
}

TEST_F(FormsTest, MessageBoxesTakeQueuedAnswersAndFlagUnexpectedOnes)
{
    FormsControl::SetStrictMessageBoxes(true);
    FormsControl::ExpectMessageBox("Quit?", DialogResult::No);
    EXPECT_EQ(MessageBox::Show("Do you really want to quit?", "Quit?", MessageBoxButtons::YesNo,
                               MessageBoxIcon::Error),
              DialogResult::No);
    EXPECT_EQ(FormsControl::GetUnexpectedMessageBoxCount(), 0);

    // The Win32 stand-in's boxes go through the same script.
    FormsControl::ExpectMessageBox("Shader Compile Error", DialogResult::OK);
    EXPECT_EQ(MessageBoxA(nullptr, "missing entry", "Shader Compile Error", MB_OK), IDOK);

    EXPECT_EQ(
        MessageBox::Show("Save changes?", "Unsaved", MessageBoxButtons::YesNoCancel, MessageBoxIcon::Warning),
        DialogResult::Yes)
        << "an unexpected box answers with its first button";
    FormsControl::ExpectMessageBox("Quit?", DialogResult::No);
    EXPECT_EQ(MessageBox::Show("text", "Other caption", MessageBoxButtons::YesNo), DialogResult::Yes)
        << "a box with another caption does not take the expected answer";
    EXPECT_EQ(FormsControl::GetUnexpectedMessageBoxCount(), 2);

    const std::vector<FormsControl::MessageBoxRecord> boxes = FormsControl::GetMessageBoxes();
    ASSERT_EQ(boxes.size(), 4u);
    EXPECT_EQ(boxes[0].text, "Do you really want to quit?");
    EXPECT_EQ(boxes[0].buttons, MessageBoxButtons::YesNo);
    EXPECT_EQ(boxes[0].icon, MessageBoxIcon::Error);
    EXPECT_EQ(boxes[0].result, DialogResult::No);
    EXPECT_FALSE(boxes[0].unexpected);
    EXPECT_EQ(boxes[2].icon, MessageBoxIcon::Warning);
    EXPECT_TRUE(boxes[2].unexpected);
    EXPECT_TRUE(boxes[3].unexpected);
}

TEST_F(FormsTest, UnscriptedBoxesPrintAndAnswerTheFirstButtonWhenNotStrict)
{
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBox::Show("Do you really want to quit?", "Quit?", MessageBoxButtons::YesNo),
              DialogResult::Yes);
    EXPECT_EQ(MessageBox::Show("Done"), DialogResult::OK);
    const std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(printed.find("[Quit?] Do you really want to quit?"), std::string::npos);
    EXPECT_EQ(FormsControl::GetUnexpectedMessageBoxCount(), 0);
}
