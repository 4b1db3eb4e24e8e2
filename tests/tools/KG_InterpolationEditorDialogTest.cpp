#include "tools/KG_InterpolationEditorDialog.h"

#include "framework/app/KE_Dispatcher.h"
#include "framework/app/KE_MessageReceiver.h"
#include "platform/forms/FormsControl.h"
#include "platform/win32/Win32Control.h"
#include "render/scene/KR_SceneManager.h"
#include "tests/support/MemoryFiles.h"
#include "tests/support/TestEngine.h"
#include "timing/KB_LinearInterpolation.h"
#include "timing/KU_InterpolationManager.h"
#include "tools/KG_InterpolationEditorDialogManager.h"
#include "tools/KG_InterpolationEditorPage.h"
#include "tools/KG_ManagedFacade.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace DirectX;
using K_GUI::KG_InterpolationEditorDialog;

namespace
{

class TimelineSceneManager : public KR_SceneManager
{
public:
    double GetTimelineEnd() const override { return 100.0; }
};

// Every keyboard and editor-command message, with the key code read as the receivers read it.
class MessageLog : public KE_MessageReceiver
{
public:
    struct Entry
    {
        KE_MessageType type;
        KE_MessageSubType subType;
        std::uint64_t uiKey;
        void* pPayload;
    };

    bool Receive(KE_MessageType type, KE_MessageSubType subType, void* pPayload) override
    {
        const std::uint64_t uiKey =
            type == KE_MT_Keyboard && pPayload != nullptr ? *static_cast<std::uint64_t*>(pPayload) : 0;
        m_gEntries.push_back({type, subType, uiKey, pPayload});
        return true;
    }

    std::vector<Entry> m_gEntries;
};

std::unique_ptr<KB_LinearInterpolation> MakeCurve(const char* pPath)
{
    auto pCurve = std::make_unique<KB_LinearInterpolation>(KB_String(pPath));
    pCurve->SetStartTime(0.0);
    pCurve->SetEndTime(10.0);
    pCurve->InsertVertex(XMVectorSet(1, 2, 3, 0), 0.0);
    pCurve->InsertVertex(XMVectorSet(2, 2, -1, 0), 5.0);
    pCurve->InsertVertex(XMVectorSet(0, 0, 0, 0), 10.0);
    return pCurve;
}

class KG_InterpolationEditorDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Win32Control::Reset();
        FormsControl::Reset();
        FormsControl::SetStrictMessageBoxes(true);
        m_Files.Install();
        m_Engine->SetDispatcher(&m_Dispatcher);
        m_Engine->SetInterpolationManager(&m_Registry);
        m_Engine->SetSceneManager(&m_Scenes);
        m_Dispatcher.RegisterReceiver(KE_MT_Keyboard, &m_Log);
        m_Dispatcher.RegisterReceiver(KE_MT_EditorCommand, &m_Log);
        m_gCurves.push_back(MakeCurve("Assets/Curves/cam_pos_01.int"));
        m_gCurves.push_back(MakeCurve("Assets/Curves/light_pos.int"));
        m_gCurves.push_back(MakeCurve("Assets/Curves/Pos_Cam_02.int"));
        m_pManager = std::make_unique<KG_InterpolationEditorDialogManager>();
    }

    void TearDown() override
    {
        m_pManager.reset();
        m_gCurves.clear();
        m_Dispatcher.UnRegisterReceiver(KE_MT_Keyboard, &m_Log);
        m_Dispatcher.UnRegisterReceiver(KE_MT_EditorCommand, &m_Log);
        EXPECT_EQ(FormsControl::GetUnexpectedMessageBoxCount(), 0);
        FormsControl::Reset();
        Win32Control::Reset();
    }

    KG_InterpolationEditorDialog* Open()
    {
        m_pManager->ShowNewInterpolationEditorDialog();
        return m_pManager->GetDialog(m_pManager->GetNumDialogs() - 1);
    }

    // Drags key 0's x mark of the shown curve up by 1.6 on the panel (from 1 to 2.6 at first).
    static void DragFirstKey(KG_InterpolationEditorDialog* pDialog)
    {
        forms::Panel* pPanel = pDialog->Find<forms::Panel>("visualisationPanel");
        KG_EditorCalculations* pCalc = pDialog->GetEditorCalculations();
        const float fValue = XMVectorGetX(pCalc->GetInterpolation()->GetVertex(0));
        const KG_Point key = pCalc->DataToPixel(0.0, fValue);
        pPanel->UserMouseMove(key.x, key.y);
        pPanel->UserMouseDown(key.x, key.y);
        const KG_Point target = pCalc->DataToPixel(0.0, fValue + 1.6);
        pPanel->UserMouseMove(target.x, target.y, forms::MouseButtons::Left);
        pPanel->UserMouseUp(target.x, target.y);
    }

    TestEngine m_Engine;
    MemoryFiles m_Files{true};
    MemoryRepository* m_pRepository = m_Files.GetRepository();
    KE_Dispatcher m_Dispatcher;
    KU_InterpolationManager m_Registry;
    TimelineSceneManager m_Scenes;
    MessageLog m_Log;
    std::vector<std::unique_ptr<KB_LinearInterpolation>> m_gCurves;
    std::unique_ptr<KG_InterpolationEditorDialogManager> m_pManager;
};

TEST_F(KG_InterpolationEditorDialogTest, OpensWithEveryPageAndTheFirstCurveSelected)
{
    KG_InterpolationEditorDialog* pDialog = Open();
    EXPECT_TRUE(pDialog->IsShown());
    EXPECT_EQ(pDialog->GetText(), "KG_InterpolationEditorDialog");
    forms::TabControl* pTabs = pDialog->Find<forms::TabControl>("frameworkTabControl");
    ASSERT_EQ(pTabs->GetTabCount(), 6);
    EXPECT_EQ(pTabs->GetTabPage(2)->GetText(), "Demo Controls");
    EXPECT_EQ(pTabs->GetTabPage(5)->GetName(), "chunkTabPage");
    // Sorted ignoring case: "Assets/Curves/cam..." first.
    forms::ComboBox* pList = pDialog->Find<forms::ComboBox>("interpolationComboBox");
    ASSERT_EQ(pList->GetItems().GetCount(), 3);
    EXPECT_EQ(pList->GetSelectedIndex(), 0);
    EXPECT_EQ(pDialog->GetCurrentVertexInterpolation(), m_gCurves[0].get());
    EXPECT_EQ(pDialog->Find<forms::TextBox>("endTimeTextBox")->GetText(), "10");
    EXPECT_EQ(pDialog->Find<forms::ComboBox>("cubemapResComboBox")->GetText(), "512");
    EXPECT_EQ(pDialog->Find<forms::ComboBox>("lightShadowMapResComboBox")->GetText(), "128");
}

TEST_F(KG_InterpolationEditorDialogTest, EachPageIsFoundAtItsTabAndTheShownOneIsTold)
{
    KG_InterpolationEditorDialog* pDialog = Open();
    forms::TabControl* pTabs = pDialog->Find<forms::TabControl>("frameworkTabControl");
    const char* apTabs[6] = {"interpolationTabPage", "cameraTabPage",  "demoControlTabPage",
                             "lightTabPage",         "cubemapTabPage", "chunkTabPage"};
    for (int i = 0; i < 6; ++i)
    {
        EXPECT_EQ(pDialog->GetPageIndex(apTabs[i]), i) << apTabs[i];
        EXPECT_EQ(pTabs->GetTabPage(i)->GetName(), apTabs[i]);
    }
    EXPECT_EQ(pDialog->GetPageIndex("noSuchTabPage"), -1);
    EXPECT_EQ(pDialog->GetPageIndex(""), -1);
    // The page the window counts as shown follows the tab control, and knows it is the one.
    for (int i : {3, 0, 5, 1})
    {
        ASSERT_TRUE(pTabs->UserSelect(i));
        ASSERT_NE(pDialog->GetShownPage(), nullptr);
        EXPECT_EQ(pDialog->GetShownPage()->GetTabPage(), pTabs->GetTabPage(i));
        EXPECT_TRUE(pDialog->GetShownPage()->IsShown());
    }
}

TEST_F(KG_InterpolationEditorDialogTest, SearchKeepsNamesWithEveryTermAndSizesTheDropDown)
{
    KG_InterpolationEditorDialog* pDialog = Open();
    forms::ComboBox* pList = pDialog->Find<forms::ComboBox>("interpolationComboBox");
    pList->UserTypeText("CAM pos", 7);
    ASSERT_EQ(pList->GetItems().GetCount(), 2);
    EXPECT_EQ(pList->GetItems()[1], "Assets/Curves/Pos_Cam_02.int");
    EXPECT_TRUE(pList->GetDroppedDown());
    EXPECT_EQ(pList->GetSelectionStart(), 7);
    EXPECT_EQ(pList->GetMaxDropDownItems(), 3);

    for (int i = 0; i < 80; ++i)
        m_gCurves.push_back(MakeCurve(("Assets/Curves/extra_" + std::to_string(i) + ".int").c_str()));
    pList->UserTypeText("", 0);
    EXPECT_EQ(pList->GetItems().GetCount(), 83);
    EXPECT_EQ(pList->GetMaxDropDownItems(), 50);
}

TEST_F(KG_InterpolationEditorDialogTest, DraggingAKeyChangesTheCurveAndSavingClearsTheFlagOnlyWhenWritten)
{
    KG_InterpolationEditorDialog* pDialog = Open();
    pDialog->Find<forms::CheckBox>("snapToIntegersCheckBox")->UserClick();
    DragFirstKey(pDialog);
    EXPECT_EQ(XMVectorGetX(m_gCurves[0]->GetVertex(0)), 3.0f);
    EXPECT_TRUE(pDialog->GetEditorCalculations()->HasVertexInterpolationChanged());

    pDialog->Find<forms::TextBox>("debugStringTextBox")->UserType("camera rail");
    m_pRepository->SetWritable(false);
    pDialog->Find<forms::Button>("saveButton")->UserClick();
    EXPECT_TRUE(pDialog->GetEditorCalculations()->HasVertexInterpolationChanged());

    m_pRepository->SetWritable(true);
    pDialog->Find<forms::Button>("saveButton")->UserClick();
    EXPECT_FALSE(pDialog->GetEditorCalculations()->HasVertexInterpolationChanged());
    const std::string sFile = m_pRepository->GetFileContents("Assets/Curves/cam_pos_01.int");
    EXPECT_NE(sFile.find("camera rail"), std::string::npos);
    EXPECT_NE(sFile.find("v 3 2 3"), std::string::npos);
}

TEST_F(KG_InterpolationEditorDialogTest, ZoomSeekAndCursorLabelsFollowThePanel)
{
    KG_InterpolationEditorDialog* pDialog = Open();
    forms::Panel* pPanel = pDialog->Find<forms::Panel>("visualisationPanel");
    KG_EditorCalculations* pCalc = pDialog->GetEditorCalculations();
    const float fScale = pCalc->GetScale().x;
    pPanel->UserMouseWheel(10, 10, 120);
    EXPECT_GT(pCalc->GetScale().x, fScale);

    const KG_Point at5 = pCalc->DataToPixel(5.0, 0.0);
    FormsControl::SetModifierKeys(forms::Keys::Control);
    pPanel->UserMouseDown(at5.x, at5.y, forms::MouseButtons::Right);
    pPanel->UserMouseUp(at5.x, at5.y, forms::MouseButtons::Right);
    FormsControl::SetModifierKeys(forms::Keys::None);
    EXPECT_NEAR(m_Scenes.GetSynchonizationTime(), 5.0, 0.05);
    double fShown = 0.0;
    ASSERT_TRUE(forms::Double::TryParse(pDialog->Find<forms::Label>("currentTValueLabel")->GetText(),
                                        forms::NumberStyles::Float, forms::CultureInfo("en-US"), &fShown));
    EXPECT_NEAR(fShown, 5.0, 0.05);
}

TEST_F(KG_InterpolationEditorDialogTest, TheGraphIsDrawnIntoTheBufferAndShownOnThePanel)
{
    KG_InterpolationEditorDialog* pDialog = Open();
    const std::vector<forms::DrawCommand>& gCommands = pDialog->GetBuffer()->GetSurface().Commands();
    ASSERT_FALSE(gCommands.empty());
    EXPECT_EQ(gCommands[0].kind, forms::DrawCommand::Kind::Clear);
    EXPECT_EQ(gCommands[0].color, forms::Color::White);
    int iGrid = 0, iStart = 0, iEnd = 0, iCurrent = 0, iSpline = 0, iMarks = 0, iLabels = 0;
    for (const forms::DrawCommand& c : gCommands)
    {
        if (c.kind == forms::DrawCommand::Kind::Line)
        {
            iGrid += c.color == forms::Color::LightGray;
            iStart += c.color == forms::Color::Orange;
            iEnd += c.color == forms::Color::Cyan;
            iCurrent += c.color == forms::Color::Red;
            iSpline += c.color == forms::Color::DarkRed;
        }
        iMarks += c.kind == forms::DrawCommand::Kind::FillRectangle && c.color == forms::Color::Red &&
                  c.x2 == 5.0f && c.y2 == 5.0f;
        iLabels +=
            c.kind == forms::DrawCommand::Kind::String && c.fontFamily == "Calibri" && c.fontSize == 9.0f;
    }
    EXPECT_GT(iGrid, 0);
    EXPECT_EQ(iStart, 1);
    EXPECT_EQ(iEnd, 1);
    EXPECT_EQ(iCurrent, 1);
    EXPECT_EQ(iSpline, 780 / 2 - 1);
    EXPECT_EQ(iMarks, 9);
    EXPECT_GT(iLabels, 0);

    // Unticking y drops its polyline and marks.
    pDialog->Find<forms::CheckBox>("splineYCheckBox")->UserClick();
    int iGreen = 0;
    for (const forms::DrawCommand& c : pDialog->GetBuffer()->GetSurface().Commands())
        iGreen += c.color == forms::Color::DarkGreen;
    EXPECT_EQ(iGreen, 0);
    EXPECT_EQ(pDialog->GetInterpolationFlags(), 5);

    // The panel shows the buffer.
    const std::vector<forms::DrawCommand>& gPanel =
        pDialog->Find<forms::Panel>("visualisationPanel")->GetSurface().Commands();
    ASSERT_FALSE(gPanel.empty());
    EXPECT_EQ(gPanel.back().kind, forms::DrawCommand::Kind::Image);
    EXPECT_EQ(gPanel.back().imageId, pDialog->GetBuffer()->GetId());
}

// Every command a list holds, the copies drawn images carry included.
std::size_t CountHeld(const std::vector<forms::DrawCommand>& gCommands)
{
    std::size_t uiCount = gCommands.size();
    for (const forms::DrawCommand& c : gCommands)
        if (c.pImageCommands)
            uiCount += CountHeld(*c.pImageCommands);
    return uiCount;
}

TEST_F(KG_InterpolationEditorDialogTest, ThePanelHoldsOneFrameHoweverLongTheShowPlays)
{
    // The production time moves every frame, so every update redraws the graph and the panel.
    KG_InterpolationEditorDialog* pDialog = Open();
    forms::Panel* pPanel = pDialog->Find<forms::Panel>("visualisationPanel");
    auto play = [this](int iFrames)
    {
        for (int i = 0; i < iFrames; ++i)
        {
            m_Scenes.SetSynchronizationTime(m_Scenes.GetSynchonizationTime() + 0.01);
            m_pManager->UpdateInterpolationEditorsDialogs();
        }
    };
    play(10);
    const std::size_t uiAfter10 = CountHeld(pPanel->GetSurface().Commands());
    const std::size_t uiFrame = CountHeld(pDialog->GetBuffer()->GetSurface().Commands());
    ASSERT_GT(uiFrame, 100u);
    play(990);
    const std::vector<forms::DrawCommand>& gPanel = pPanel->GetSurface().Commands();
    ASSERT_EQ(gPanel.size(), 1u) << "one copy of the buffer";
    EXPECT_EQ(gPanel[0].imageId, pDialog->GetBuffer()->GetId());
    EXPECT_EQ(CountHeld(gPanel), uiAfter10);
    EXPECT_EQ(CountHeld(gPanel), uiFrame + 1);
}

TEST_F(KG_InterpolationEditorDialogTest, TimeBoxesIgnoreTextThatIsNoNumberAndRestoreItOnLeaving)
{
    KG_InterpolationEditorDialog* pDialog = Open();
    forms::TabControl* pTabs = pDialog->Find<forms::TabControl>("frameworkTabControl");
    forms::TextBox* pStart = pDialog->Find<forms::TextBox>("startTimeTextBox");
    pStart->UserFocus();
    pStart->UserType("1.5");
    EXPECT_EQ(m_gCurves[0]->GetStartTime(), 1.5);
    pStart->UserType("1,5");
    pStart->UserType("abc");
    EXPECT_EQ(m_gCurves[0]->GetStartTime(), 1.5);
    pDialog->Find<forms::TextBox>("endTimeTextBox")->UserFocus();
    EXPECT_EQ(pStart->GetText(), "1.5");

    // The Chunks page forces x and snap without changing the user's choices.
    pDialog->Find<forms::CheckBox>("splineZCheckBox")->UserClick();
    pTabs->UserSelect(pDialog->GetPageIndex("chunkTabPage"));
    EXPECT_TRUE(pDialog->Find<forms::CheckBox>("snapToIntegersCheckBox")->GetChecked());
    EXPECT_FALSE(pDialog->Find<forms::CheckBox>("splineYCheckBox")->GetChecked());
    pTabs->UserSelect(pDialog->GetPageIndex("interpolationTabPage"));
    EXPECT_TRUE(pDialog->Find<forms::CheckBox>("splineYCheckBox")->GetChecked());
    EXPECT_FALSE(pDialog->Find<forms::CheckBox>("splineZCheckBox")->GetChecked());
    EXPECT_FALSE(pDialog->Find<forms::CheckBox>("snapToIntegersCheckBox")->GetChecked());
    EXPECT_EQ(pDialog->GetCurrentVertexInterpolation(), m_gCurves[0].get());

    // While minimised nothing is redrawn.
    const std::size_t uiFlushes = pDialog->GetBuffer()->GetSurface().GetFlushCount();
    pDialog->SetWindowState(forms::FormWindowState::Minimized);
    pDialog->UpdateVisualisation(true);
    EXPECT_EQ(pDialog->GetBuffer()->GetSurface().GetFlushCount(), int(uiFlushes));
}

TEST_F(KG_InterpolationEditorDialogTest, DemoButtonsSendKeysCommandsAndModes)
{
    KG_InterpolationEditorDialog* pDialog = Open();
    pDialog->Find<forms::TabControl>("frameworkTabControl")
        ->UserSelect(pDialog->GetPageIndex("demoControlTabPage"));
    forms::Button* pRewind = pDialog->Find<forms::Button>("demoControlsButtonRewind");
    pRewind->UserPress();
    ASSERT_EQ(m_Log.m_gEntries.size(), 1u);
    EXPECT_EQ(m_Log.m_gEntries[0].subType, KE_MST_KeyDown);
    EXPECT_EQ(m_Log.m_gEntries[0].uiKey, 37u);
    pRewind->UserRelease();
    ASSERT_EQ(m_Log.m_gEntries.size(), 2u);
    EXPECT_EQ(m_Log.m_gEntries[1].subType, KE_MST_KeyUp);
    EXPECT_EQ(m_Log.m_gEntries[1].uiKey, 37u);
    pDialog->Find<forms::Button>("demoControlsButtonForward")->UserClick();
    ASSERT_EQ(m_Log.m_gEntries.size(), 4u);
    EXPECT_EQ(m_Log.m_gEntries[3].uiKey, 39u);

    m_Log.m_gEntries.clear();
    pDialog->Find<forms::Button>("demoControlsButtonReloadInterpolations")->UserClick();
    pDialog->Find<forms::Button>("demoControlsButtonUnhideAll")->UserClick();
    ASSERT_EQ(m_Log.m_gEntries.size(), 2u);
    EXPECT_EQ(m_Log.m_gEntries[0].type, KE_MT_Keyboard);
    EXPECT_EQ(m_Log.m_gEntries[0].subType, KE_MST_KeyDown);
    EXPECT_EQ(m_Log.m_gEntries[0].uiKey, 8u);
    EXPECT_EQ(m_Log.m_gEntries[1].type, KE_MT_EditorCommand);
    EXPECT_EQ(m_Log.m_gEntries[1].subType, KE_MST_UnhideAll);
    EXPECT_EQ(m_Log.m_gEntries[1].pPayload, nullptr);

    forms::Button* pFree = pDialog->Find<forms::Button>("demoControlsButtonModeFree");
    pFree->UserClick();
    EXPECT_EQ(m_Scenes.GetCameraMode(), KR_SCM_Edit);
    pFree->UserHover();
    EXPECT_EQ(pDialog->GetToolTip().GetToolTip(pFree).substr(0, 3), "F3:");
    EXPECT_TRUE(pDialog->GetToolTip().GetShowAlways());
}

TEST_F(KG_InterpolationEditorDialogTest, PicksAreRememberedForLaterWindowsAndOtherCodesIgnored)
{
    int light = 0;
    int placer = 0;
    KR_LightBase* pLight = reinterpret_cast<KR_LightBase*>(&light);
    KR_CubeMapPlacer* pPlacer = reinterpret_cast<KR_CubeMapPlacer*>(&placer);
    m_Dispatcher.Dispatch(KE_MT_LightSelection, KE_MST_LightSelected, pLight);
    m_Dispatcher.Dispatch(KE_MT_CubeMapSelection, KE_MST_UnhideAll, pPlacer);
    EXPECT_EQ(m_pManager->GetSelectedLight(), pLight);
    EXPECT_EQ(m_pManager->GetSelectedCubemap(), nullptr);
    KG_MessageReceiver receiver(m_pManager.get());
    EXPECT_FALSE(receiver.Receive(KE_MT_LightSelection, KE_MST_CubeMapSelected, pLight));
    EXPECT_TRUE(receiver.Receive(KE_MT_CubeMapSelection, KE_MST_CubeMapSelected, pPlacer));

    KG_InterpolationEditorDialog* pDialog = Open();
    EXPECT_EQ(pDialog->GetPendingLight(), pLight);
    EXPECT_EQ(pDialog->GetPendingCubemap(), pPlacer);

    // A reload forgets both, in the manager and in every window.
    m_pManager->InvalidateInterpolationEditorsDialogs();
    EXPECT_EQ(m_pManager->GetSelectedLight(), nullptr);
    EXPECT_EQ(m_pManager->GetSelectedCubemap(), nullptr);
    EXPECT_EQ(pDialog->GetPendingLight(), nullptr);
}

TEST_F(KG_InterpolationEditorDialogTest, ReloadWhileOpenDropsTheDeletedCurveAndFindsTheNewOne)
{
    KG_InterpolationEditorDialog* pDialog = Open();
    KG_InterpolationEditorDialog* pOther = Open();
    pOther->Find<forms::ComboBox>("interpolationComboBox")->UserSelect(1);
    DragFirstKey(pDialog);
    // The reload deletes every curve and reads them again.
    m_gCurves.clear();
    m_gCurves.push_back(MakeCurve("Assets/Curves/cam_pos_01.int"));
    m_gCurves.push_back(MakeCurve("Assets/Curves/light_pos.int"));
    m_pManager->InvalidateInterpolationEditorsDialogs();
    EXPECT_EQ(pDialog->GetCurrentVertexInterpolation(), m_gCurves[0].get());
    EXPECT_EQ(pDialog->GetEditorCalculations()->GetInterpolation(), m_gCurves[0].get());
    EXPECT_FALSE(pDialog->GetEditorCalculations()->HasVertexInterpolationChanged());
    EXPECT_EQ(pOther->GetCurrentVertexInterpolation(), m_gCurves[1].get());
    m_pManager->UpdateInterpolationEditorsDialogs();

    // A curve that is gone leaves the window without one.
    m_gCurves.clear();
    m_pManager->InvalidateInterpolationEditorsDialogs();
    EXPECT_EQ(pDialog->GetCurrentVertexInterpolation(), nullptr);
    EXPECT_FALSE(pDialog->Find<forms::TextBox>("startTimeTextBox")->GetEnabled());
    m_pManager->UpdateInterpolationEditorsDialogs();
}

TEST_F(KG_InterpolationEditorDialogTest, ClosingAsksOnceAndReportsWhetherTheWindowClosed)
{
    KG_InterpolationEditorDialog* pDialog = Open();
    DragFirstKey(pDialog);
    FormsControl::ExpectMessageBox("Unsaved Data Warning", forms::DialogResult::Cancel);
    EXPECT_FALSE(m_pManager->CloseInterpolationEditorDialogs(false));
    EXPECT_EQ(m_pManager->GetNumDialogs(), 1u);

    FormsControl::ExpectMessageBox("Unsaved Data Warning", forms::DialogResult::No);
    EXPECT_TRUE(m_pManager->CloseInterpolationEditorDialogs(false));
    EXPECT_EQ(m_pManager->GetNumDialogs(), 0u);
    EXPECT_EQ(FormsControl::GetMessageBoxes().size(), 2u);
    EXPECT_EQ(m_pRepository->GetFileContents("Assets/Curves/cam_pos_01.int"), "");

    // Yes saves and closes; a failed save keeps the window.
    pDialog = Open();
    DragFirstKey(pDialog);
    m_pRepository->SetWritable(false);
    FormsControl::ExpectMessageBox("Unsaved Data Warning", forms::DialogResult::Yes);
    EXPECT_FALSE(m_pManager->CloseInterpolationEditorDialogs(false));
    m_pRepository->SetWritable(true);
    FormsControl::ExpectMessageBox("Unsaved Data Warning", forms::DialogResult::Yes);
    EXPECT_TRUE(m_pManager->CloseInterpolationEditorDialogs(false));
    EXPECT_NE(m_pRepository->GetFileContents("Assets/Curves/cam_pos_01.int"), "");

    // Forced: nothing is asked.
    DragFirstKey(Open());
    EXPECT_TRUE(m_pManager->CloseInterpolationEditorDialogs(true));
    EXPECT_EQ(FormsControl::GetMessageBoxes().size(), 4u);
}

TEST_F(KG_InterpolationEditorDialogTest, EditsOfACurveNoLongerShownAreAskedAboutOnceAndSaved)
{
    // Curve A is edited, then curve B is chosen in the same window.
    KG_InterpolationEditorDialog* pDialog = Open();
    forms::ComboBox* pList = pDialog->Find<forms::ComboBox>("interpolationComboBox");
    DragFirstKey(pDialog);
    ASSERT_TRUE(pList->UserSelect(1));
    ASSERT_EQ(pDialog->GetCurrentVertexInterpolation(), m_gCurves[1].get());

    // A failed save keeps the window open, through the manager and through the close box.
    m_pRepository->SetWritable(false);
    FormsControl::ExpectMessageBox("Unsaved Data Warning", forms::DialogResult::Yes);
    EXPECT_FALSE(m_pManager->CloseInterpolationEditorDialogs(false));
    FormsControl::ExpectMessageBox("Unsaved Data Warning", forms::DialogResult::Yes);
    EXPECT_FALSE(pDialog->UserCloseBox());
    ASSERT_EQ(m_pManager->GetNumDialogs(), 1u);

    m_pRepository->SetWritable(true);
    FormsControl::ExpectMessageBox("Unsaved Data Warning", forms::DialogResult::Yes);
    EXPECT_TRUE(m_pManager->CloseInterpolationEditorDialogs(false));
    EXPECT_EQ(m_pManager->GetNumDialogs(), 0u);
    EXPECT_EQ(FormsControl::GetMessageBoxes().size(), 3u) << "one question per close";
    EXPECT_NE(m_pRepository->GetFileContents("Assets/Curves/cam_pos_01.int"), "");
    EXPECT_EQ(m_pRepository->GetFileContents("Assets/Curves/light_pos.int"), "") << "B was not edited";

    // Saving a curve from the window takes it off the list: nothing is asked afterwards.
    pDialog = Open();
    DragFirstKey(pDialog);
    pDialog->Find<forms::Button>("saveButton")->UserClick();
    ASSERT_TRUE(pList = pDialog->Find<forms::ComboBox>("interpolationComboBox"));
    ASSERT_TRUE(pList->UserSelect(2));
    EXPECT_TRUE(m_pManager->CloseInterpolationEditorDialogs(false));
    EXPECT_EQ(FormsControl::GetMessageBoxes().size(), 3u);
}

TEST_F(KG_InterpolationEditorDialogTest, ATypedStartOrEndTimeIsAnEditTheClosingQuestionCovers)
{
    const char* pPath = "Assets/Curves/cam_pos_01.int";
    KG_InterpolationEditorDialog* pDialog = Open();
    pDialog->Find<forms::Button>("saveButton")->UserClick();
    const std::string sSaved = m_pRepository->GetFileContents(pPath);
    ASSERT_NE(sSaved.find("\ns 0\n"), std::string::npos);

    // No leaves the file as it was.
    ASSERT_TRUE(pDialog->Find<forms::TextBox>("startTimeTextBox")->UserType("1.5"));
    FormsControl::ExpectMessageBox("Unsaved Data Warning", forms::DialogResult::No);
    EXPECT_TRUE(m_pManager->CloseInterpolationEditorDialogs(false));
    EXPECT_EQ(FormsControl::GetMessageBoxes().size(), 1u) << "the typed start time was not asked about";
    EXPECT_EQ(m_pRepository->GetFileContents(pPath), sSaved);

    // Yes writes the typed start time.
    pDialog = Open();
    ASSERT_TRUE(pDialog->Find<forms::TextBox>("startTimeTextBox")->UserType("2.5"));
    FormsControl::ExpectMessageBox("Unsaved Data Warning", forms::DialogResult::Yes);
    EXPECT_TRUE(m_pManager->CloseInterpolationEditorDialogs(false));
    EXPECT_EQ(FormsControl::GetMessageBoxes().size(), 2u);
    EXPECT_NE(m_pRepository->GetFileContents(pPath).find("\ns 2.5\n"), std::string::npos);

    // The end time box alike, closed with the close box after another curve was chosen.
    pDialog = Open();
    ASSERT_TRUE(pDialog->Find<forms::TextBox>("endTimeTextBox")->UserType("7.25"));
    ASSERT_TRUE(pDialog->Find<forms::ComboBox>("interpolationComboBox")->UserSelect(1));
    FormsControl::ExpectMessageBox("Unsaved Data Warning", forms::DialogResult::Yes);
    EXPECT_TRUE(pDialog->UserCloseBox());
    EXPECT_EQ(FormsControl::GetMessageBoxes().size(), 3u);
    const std::string sWritten = m_pRepository->GetFileContents(pPath);
    EXPECT_NE(sWritten.find("\ns 2.5\n"), std::string::npos);
    EXPECT_NE(sWritten.find("\ne 7.25\n"), std::string::npos);
}

TEST_F(KG_InterpolationEditorDialogTest, AReloadForgetsTheEditsOfTheCurvesItFreedAndKeepsTheOthers)
{
    // An edit, then a reload that frees every curve: nothing is left to ask about, and no freed
    // curve is read or written (AddressSanitizer watches this).
    KG_InterpolationEditorDialog* pDialog = Open();
    DragFirstKey(pDialog);
    m_gCurves.clear();
    m_gCurves.push_back(MakeCurve("Assets/Curves/cam_pos_01.int"));
    m_gCurves.push_back(MakeCurve("Assets/Curves/light_pos.int"));
    m_gCurves.push_back(MakeCurve("Assets/Curves/Pos_Cam_02.int"));
    m_pManager->InvalidateInterpolationEditorsDialogs();
    EXPECT_TRUE(m_pManager->CloseInterpolationEditorDialogs(false));
    EXPECT_TRUE(FormsControl::GetMessageBoxes().empty());

    // A and B edited, then a reload frees B only and reads it again (very likely at the same
    // address): the close asks about A alone and Yes writes A and leaves B's file alone.
    pDialog = Open();
    DragFirstKey(pDialog);
    ASSERT_TRUE(pDialog->Find<forms::ComboBox>("interpolationComboBox")->UserSelect(1));
    DragFirstKey(pDialog);
    m_gCurves[1].reset();
    m_gCurves[1] = MakeCurve("Assets/Curves/light_pos.int");
    m_pManager->InvalidateInterpolationEditorsDialogs();
    EXPECT_EQ(pDialog->GetCurrentVertexInterpolation(), m_gCurves[1].get());
    FormsControl::ExpectMessageBox("Unsaved Data Warning", forms::DialogResult::Yes);
    EXPECT_TRUE(m_pManager->CloseInterpolationEditorDialogs(false));
    EXPECT_EQ(FormsControl::GetMessageBoxes().size(), 1u);
    EXPECT_NE(m_pRepository->GetFileContents("Assets/Curves/cam_pos_01.int"), "");
    EXPECT_EQ(m_pRepository->GetFileContents("Assets/Curves/light_pos.int"), "");
}

TEST_F(KG_InterpolationEditorDialogTest, TheCloseBoxAsksInTheClosingEventAndTheWindowIsDeletedLater)
{
    KG_InterpolationEditorDialog* pDialog = Open();
    DragFirstKey(pDialog);
    FormsControl::ExpectMessageBox("Unsaved Data Warning", forms::DialogResult::Cancel);
    EXPECT_FALSE(pDialog->UserCloseBox());
    EXPECT_EQ(m_pManager->GetNumDialogs(), 1u);
    FormsControl::ExpectMessageBox("Unsaved Data Warning", forms::DialogResult::No);
    EXPECT_TRUE(pDialog->UserCloseBox());
    EXPECT_EQ(m_pManager->GetNumDialogs(), 0u);
    EXPECT_EQ(m_pManager->GetNumPendingDeletions(), 1u);
    forms::Application::DoEvents();
    m_pManager->UpdateInterpolationEditorsDialogs();
    EXPECT_EQ(m_pManager->GetNumPendingDeletions(), 0u);
}

TEST_F(KG_InterpolationEditorDialogTest, TheFirstRefusalStopsTheWalk)
{
    Open();
    DragFirstKey(Open());
    KG_InterpolationEditorDialog* pThird = Open();
    DragFirstKey(pThird);
    FormsControl::ExpectMessageBox("Unsaved Data Warning", forms::DialogResult::Cancel);
    EXPECT_FALSE(m_pManager->CloseInterpolationEditorDialogs(false));
    EXPECT_EQ(m_pManager->GetNumDialogs(), 2u);
    EXPECT_EQ(m_pManager->GetDialog(1), pThird);
    EXPECT_EQ(FormsControl::GetMessageBoxes().size(), 1u);
}

TEST_F(KG_InterpolationEditorDialogTest, ShutdownWithOpenWindowsAsksNothingAndTouchesNoCurve)
{
    DragFirstKey(Open());
    Open();
    m_gCurves.clear(); // the scenes go first at shutdown
    m_pManager.reset();
    EXPECT_TRUE(FormsControl::GetMessageBoxes().empty());
}

TEST_F(KG_InterpolationEditorDialogTest, TheFacadeClosesTheWindowsBeforeTheQuitQuestion)
{
    m_pManager.reset();
    m_Engine->SetDeveloperBuild(true);
    KG_ManagedFacade facade;
    EXPECT_TRUE(facade.ShowInterpolationEditorDialog());
    KG_InterpolationEditorDialog* pDialog = facade.GetInterpolationEditorDialogManager()->GetDialog(0);
    DragFirstKey(pDialog);
    FormsControl::ExpectMessageBox("Unsaved Data Warning", forms::DialogResult::Cancel);
    EXPECT_FALSE(facade.CloseInterpolationEditorDialogs(false));
    EXPECT_EQ(FormsControl::GetMessageBoxes().size(), 1u);
    // Forced: only the quit question.
    FormsControl::ExpectMessageBox("Quit?", forms::DialogResult::Yes);
    EXPECT_TRUE(facade.CloseInterpolationEditorDialogs(true));
    EXPECT_EQ(FormsControl::GetMessageBoxes().size(), 2u);
    EXPECT_EQ(facade.GetInterpolationEditorDialogManager()->GetNumDialogs(), 0u);
}

} // namespace
