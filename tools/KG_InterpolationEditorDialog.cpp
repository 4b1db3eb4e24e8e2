#include "tools/KG_InterpolationEditorDialog.h"

#include "framework/app/KE_EngineMembers.h"
#include "platform/forms/FormsMessageBox.h"
#include "timing/KU_InterpolationManager.h"
#include "timing/KU_VertexInterpolation.h"
#include "tools/KG_EditorChunkLists.h"
#include "tools/KG_EditorSceneSource.h"
#include "tools/KG_EditorShell.h"
#include "tools/KG_InterpolationEditorCameraPage.h"
#include "tools/KG_InterpolationEditorChunkPage.h"
#include "tools/KG_InterpolationEditorCubeMapPage.h"
#include "tools/KG_InterpolationEditorDemoControls.h"
#include "tools/KG_InterpolationEditorDialogManager.h"
#include "tools/KG_InterpolationEditorLightPage.h"
#include "tools/KG_InterpolationEditorPage.h"

#include <algorithm>
#include <cassert>
#include <cctype>
#include <vector>

namespace K_GUI
{

namespace
{

constexpr int PANEL_WIDTH = 780;
constexpr int PANEL_HEIGHT = 300;
constexpr int MIN_DROP_DOWN_ITEMS = 3;
constexpr int MAX_DROP_DOWN_ITEMS = 50;

std::string ToStd(const KB_String& s)
{
    return s.GetBuffer() != nullptr ? std::string(s.GetBuffer(), s.GetLength()) : std::string();
}

std::string ToLower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

// The registry's entries, copied under its lock: the load job may register curves meanwhile.
KB_GrowingArray<KB_Pair<KB_String, KU_VertexInterpolation*>> CopyRegistry()
{
    KU_InterpolationManager* pRegistry = KE_GetInterpolationManager();
    if (pRegistry == nullptr)
        return KB_GrowingArray<KB_Pair<KB_String, KU_VertexInterpolation*>>();
    return pRegistry->CopyAllVertexInterpolations();
}

std::uint32_t ButtonBits(forms::MouseButtons buttons)
{
    std::uint32_t uiBits = 0;
    if (forms::HasFlag(buttons, forms::MouseButtons::Left))
        uiBits |= KG_EditorCalculations::BUTTON_LEFT;
    if (forms::HasFlag(buttons, forms::MouseButtons::Right))
        uiBits |= KG_EditorCalculations::BUTTON_RIGHT;
    if (forms::HasFlag(buttons, forms::MouseButtons::Middle))
        uiBits |= KG_EditorCalculations::BUTTON_MIDDLE;
    if (forms::HasFlag(buttons, forms::MouseButtons::XButton1))
        uiBits |= KG_EditorCalculations::BUTTON_X1;
    if (forms::HasFlag(buttons, forms::MouseButtons::XButton2))
        uiBits |= KG_EditorCalculations::BUTTON_X2;
    return uiBits;
}

} // namespace

// The "Interpolations" page: its controls and what it remembers are the window's (the graph draws
// what its check boxes choose), so it hands each call to the window.
class KG_InterpolationEditorDialog::CurvePage : public KG_InterpolationEditorPage
{
public:
    CurvePage(KG_InterpolationEditorDialog& dialog, forms::TabPage* pTabPage)
        : KG_InterpolationEditorPage(dialog, pTabPage)
    {
        dialog.BuildInterpolationPage(pTabPage);
    }
    void OnEnter() override { m_rDialog.EnterCurvePage(); }
    void OnLeave() override { m_rDialog.m_iInterpolationFlags = m_rDialog.GetFlagsFromCheckBoxes(); }
    void Revalidate() override { m_rDialog.RevalidateCurvePage(); }
    void OnCurveShown(KU_VertexInterpolation*) override { m_rDialog.UpdateTabs(); }
};

template <typename TPage>
TPage* KG_InterpolationEditorDialog::AddPage(const char* pTabName, const char* pText)
{
    forms::TabPage* pTabPage = m_pTabControl->AddPage(pTabName, pText);
    auto pPage = std::make_unique<TPage>(*this, pTabPage);
    TPage* pMade = pPage.get();
    m_apPages.push_back(std::move(pPage));
    assert(m_pTabControl->GetTabCount() == int(m_apPages.size()));
    return pMade;
}

KG_InterpolationEditorDialog::KG_InterpolationEditorDialog(KG_InterpolationEditorDialogManager* pManager,
                                                           KG_EditorCalculations::ModifierQuery modifiers)
    : m_pInterpolationEditorDialogManager(pManager),
      m_pEditorCalculations(std::make_unique<KG_EditorCalculations>(std::move(modifiers))),
      m_pEngineSceneSource(KG_EditorSceneSource::CreateEngineSource())
{
    KG_EditorChunkLists::CreateListOfAllChunks();
    SetName(WINDOW_NAME);
    SetText(WINDOW_NAME);
    SetClientSize(PANEL_WIDTH + 24, PANEL_HEIGHT + 330);
    BuildControls();

    m_pBuffer = std::make_shared<forms::Bitmap>(m_pVisualisationPanel->GetWidth(),
                                                m_pVisualisationPanel->GetHeight());
    HookPanel();
    m_pEditorCalculations->SetDimensions(static_cast<std::uint32_t>(m_pVisualisationPanel->GetWidth()),
                                         static_cast<std::uint32_t>(m_pVisualisationPanel->GetHeight()));

    UpdateVisualisation(true);

    if (m_pInterpolationEditorDialogManager != nullptr)
    {
        if (KR_LightBase* pLight = m_pInterpolationEditorDialogManager->GetSelectedLight())
            SetLightSelected(pLight);
        if (KR_CubeMapPlacer* pPlacer = m_pInterpolationEditorDialogManager->GetSelectedCubemap())
            SetCubemapSelected(pPlacer);
    }

    FillInterpolationList();
    if (m_pInterpolationComboBox->GetItems().GetCount() > 0)
        m_pInterpolationComboBox->SetSelectedIndex(0);
    // The Camera page has its first camera chosen; its curve shows when the page is entered.
    m_pCameraPage->Refill();
    ShowCurveInPages();

    FormClosing.Add([this](forms::Control&, forms::FormClosingEventArgs& e) { OnFormClosing(e); });
    FormClosed.Add([this](forms::Control&, forms::FormClosedEventArgs&) { OnFormClosed(); });
}

KG_InterpolationEditorDialog::~KG_InterpolationEditorDialog() = default;

void KG_InterpolationEditorDialog::BuildControls()
{
    m_pVisualisationPanel = AddNew<forms::Panel>("visualisationPanel");
    m_pVisualisationPanel->SetBounds({12, 12, PANEL_WIDTH, PANEL_HEIGHT});
    m_pTabControl = AddNew<forms::TabControl>("frameworkTabControl");
    m_pTabControl->SetBounds({12, PANEL_HEIGHT + 18, PANEL_WIDTH, 300});
    // One line per page, in tab order.
    AddPage<CurvePage>("interpolationTabPage", "Interpolations");
    m_pCameraPage = AddPage<KG_InterpolationEditorCameraPage>("cameraTabPage", "Camera");
    AddPage<KG_InterpolationEditorDemoControls>("demoControlTabPage", "Demo Controls");
    m_pLightPage = AddPage<KG_InterpolationEditorLightPage>("lightTabPage", "Lights");
    m_pCubeMapPage = AddPage<KG_InterpolationEditorCubeMapPage>("cubemapTabPage", "Cube Maps");
    AddPage<KG_InterpolationEditorChunkPage>("chunkTabPage", "Chunks");
    m_pTabControl->SelectedIndexChanged.Add([this](forms::Control&, forms::EventArgs&) { OnPageChanged(); });
}

void KG_InterpolationEditorDialog::BuildInterpolationPage(forms::TabPage* pPage)
{
    m_pInterpolationComboBox = pPage->AddNew<forms::ComboBox>("interpolationComboBox");
    m_pInterpolationComboBox->SetDropDownStyle(forms::ComboBoxStyle::DropDown);
    m_pInterpolationComboBox->SetSorted(true);
    m_pInterpolationComboBox->SetBounds({6, 6, 400, 21});
    m_pInterpolationComboBox->SelectedIndexChanged.Add([this](forms::Control&, forms::EventArgs&)
                                                       { OnInterpolationSelected(); });
    m_pInterpolationComboBox->TextUpdate.Add([this](forms::Control&, forms::EventArgs&)
                                             { OnInterpolationTextUpdate(); });
    m_pInterpolationComboBox->DropDown.Add([this](forms::Control&, forms::EventArgs&)
                                           { FillInterpolationList(); });

    m_pDebugStringTextBox = pPage->AddNew<forms::TextBox>("debugStringTextBox");
    m_pDebugStringTextBox->SetBounds({6, 33, 400, 20});
    pPage->AddNew<forms::Label>("startTimeLabel", "Start Time")->SetBounds({6, 60, 60, 13});
    m_pStartTimeTextBox = pPage->AddNew<forms::TextBox>("startTimeTextBox");
    m_pStartTimeTextBox->SetBounds({70, 57, 80, 20});
    pPage->AddNew<forms::Label>("endTimeLabel", "End Time")->SetBounds({160, 60, 60, 13});
    m_pEndTimeTextBox = pPage->AddNew<forms::TextBox>("endTimeTextBox");
    m_pEndTimeTextBox->SetBounds({224, 57, 80, 20});
    m_uiStartTextToken = m_pStartTimeTextBox->TextChanged.Add(
        [this](forms::Control&, forms::EventArgs&) { OnTimeBoxChanged(m_pStartTimeTextBox, true); });
    m_uiEndTextToken = m_pEndTimeTextBox->TextChanged.Add([this](forms::Control&, forms::EventArgs&)
                                                          { OnTimeBoxChanged(m_pEndTimeTextBox, false); });
    m_pStartTimeTextBox->Leave.Add([this](forms::Control&, forms::EventArgs&)
                                   { OnTimeBoxLeave(m_pStartTimeTextBox, true); });
    m_pEndTimeTextBox->Leave.Add([this](forms::Control&, forms::EventArgs&)
                                 { OnTimeBoxLeave(m_pEndTimeTextBox, false); });

    const char* apNames[3] = {"splineXCheckBox", "splineYCheckBox", "splineZCheckBox"};
    const char* apTexts[3] = {"show X values", "show Y values", "show Z values"};
    for (int i = 0; i < 3; ++i)
    {
        m_pSplineCheckBoxes[i] = pPage->AddNew<forms::CheckBox>(apNames[i], apTexts[i]);
        m_pSplineCheckBoxes[i]->SetBounds({420, 6 + 23 * i, 110, 17});
        m_pSplineCheckBoxes[i]->SetChecked(true);
        m_uiShowFlagTokens[i] = m_pSplineCheckBoxes[i]->CheckedChanged.Add(
            [this](forms::Control&, forms::EventArgs&) { OnShowFlagChanged(); });
    }
    m_pSnapToIntegersCheckBox = pPage->AddNew<forms::CheckBox>("snapToIntegersCheckBox", "snap to integers");
    m_pSnapToIntegersCheckBox->SetBounds({420, 75, 110, 17});
    m_uiShowFlagTokens[3] = m_pSnapToIntegersCheckBox->CheckedChanged.Add(
        [this](forms::Control&, forms::EventArgs&) { OnShowFlagChanged(); });

    m_pZoomExtendsButton = pPage->AddNew<forms::Button>("zoomExtendsButton", "&Zoom Extends");
    m_pZoomExtendsButton->SetBounds({540, 6, 100, 23});
    m_pZoomExtendsButton->Click.Add(
        [this](forms::Control&, forms::EventArgs&)
        {
            m_pEditorCalculations->ZoomExtends(m_pSplineCheckBoxes[0]->GetChecked(),
                                               m_pSplineCheckBoxes[1]->GetChecked(),
                                               m_pSplineCheckBoxes[2]->GetChecked());
            UpdateVisualisation(true);
        });
    m_pSaveButton = pPage->AddNew<forms::Button>("saveButton", "&Save");
    m_pSaveButton->SetBounds({540, 35, 100, 23});
    m_pSaveButton->Click.Add([this](forms::Control&, forms::EventArgs&) { SaveCurrentInterpolation(); });
    m_pOpenIntButton = pPage->AddNew<forms::Button>("interpolationOpenInExplorerButton", "Open Int");
    m_pOpenIntButton->SetBounds({540, 64, 100, 23});
    m_pOpenIntButton->Click.Add([this](forms::Control&, forms::EventArgs&) { OnOpenInt(); });

    forms::GroupBox* pCurrent = pPage->AddNew<forms::GroupBox>("currentGroupBox", "Current");
    pCurrent->SetBounds({6, 100, 150, 70});
    pCurrent->AddNew<forms::Label>("currentXLabel", "X:");
    pCurrent->AddNew<forms::Label>("currentTLabel", "T:");
    m_pCurrentXValueLabel = pCurrent->AddNew<forms::Label>("currentXValueLabel", "0.000");
    m_pCurrentTValueLabel = pCurrent->AddNew<forms::Label>("currentTValueLabel", "0.000");

    forms::GroupBox* pSelected = pPage->AddNew<forms::GroupBox>("selectedGroupBox", "Selected");
    pSelected->SetBounds({170, 100, 150, 110});
    const char* apSelected[4] = {"selectedXValueLabel", "selectedYValueLabel", "selectedZValueLabel",
                                 "selectedTValueLabel"};
    const char* apSelectedCaptions[4] = {"X:", "Y:", "Z:", "T:"};
    for (int i = 0; i < 4; ++i)
    {
        pSelected->AddNew<forms::Label>(std::string("selected") + "XYZT"[i] + "Label", apSelectedCaptions[i]);
        m_pSelectedValueLabels[i] = pSelected->AddNew<forms::Label>(apSelected[i], "0.000");
    }
}

void KG_InterpolationEditorDialog::HookPanel()
{
    forms::Panel* pPanel = m_pVisualisationPanel;
    pPanel->MouseDown.Add(
        [this, pPanel](forms::Control&, forms::MouseEventArgs& e)
        {
            pPanel->Focus();
            m_pEditorCalculations->MouseDown(e.X, e.Y, e.Delta, ButtonBits(e.Button));
            RememberEdit();
            UpdateVisualisation(false);
        });
    auto move = [this](forms::Control&, forms::MouseEventArgs& e)
    {
        m_pEditorCalculations->MouseMove(
            e.X, e.Y, e.Delta, ButtonBits(e.Button), m_pSnapToIntegersCheckBox->GetChecked(),
            m_pSplineCheckBoxes[0]->GetChecked(), m_pSplineCheckBoxes[1]->GetChecked(),
            m_pSplineCheckBoxes[2]->GetChecked());
        RememberEdit();
        UpdateVisualisation(false);
    };
    pPanel->MouseMove.Add(move);
    pPanel->MouseWheel.Add(move);
    pPanel->MouseUp.Add(
        [this](forms::Control&, forms::MouseEventArgs& e)
        {
            m_pEditorCalculations->MouseUp(e.X, e.Y, e.Delta, ButtonBits(e.Button));
            RememberEdit();
            UpdateVisualisation(false);
        });
    pPanel->SizeChanged.Add([this](forms::Control&, forms::EventArgs&) { OnPanelSizeChanged(); });
    pPanel->Paint.Add(
        [this](forms::Control&, forms::PaintEventArgs& e)
        {
            // The shown page first (the Lights page follows the production time on every paint).
            if (KG_InterpolationEditorPage* pPage = GetShownPage())
                pPage->OnPanelPaint();
            if (e.pGraphics != nullptr && m_pBuffer != nullptr)
                e.pGraphics->DrawImage(*m_pBuffer, 0, 0);
        });
}

void KG_InterpolationEditorDialog::OnPanelSizeChanged()
{
    const int iWidth = m_pVisualisationPanel->GetWidth();
    const int iHeight = m_pVisualisationPanel->GetHeight();
    if (iWidth + iHeight != 0)
        m_pEditorCalculations->SetDimensions(static_cast<std::uint32_t>(std::max(iWidth, 0)),
                                             static_cast<std::uint32_t>(std::max(iHeight, 0)));
    m_pBuffer = std::make_shared<forms::Bitmap>(std::max(iWidth, 0), std::max(iHeight, 0));
    UpdateVisualisation(true);
}

std::string KG_InterpolationEditorDialog::Format(float fValue) const
{
    return forms::Single::ToString(fValue, "F3", m_oNumberFormat);
}

void KG_InterpolationEditorDialog::UpdateVisualisation(bool bForce)
{
    if (GetWindowState() == forms::FormWindowState::Minimized)
        return;
    if (m_pEditorCalculations->Update(bForce))
    {
        float afValues[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        if (!m_pEditorCalculations->GetSelectedControlPointValues(&afValues[0], &afValues[1], &afValues[2],
                                                                  &afValues[3]))
            std::fill(std::begin(afValues), std::end(afValues), 0.0f);
        for (int i = 0; i < 4; ++i)
            m_pSelectedValueLabels[i]->SetText(Format(afValues[i]));
        Redraw();
        m_pVisualisationPanel->Refresh();
    }
    float fTime = 0.0f;
    float fValue = 0.0f;
    m_pEditorCalculations->GetCursorValues(&fTime, &fValue);
    m_pCurrentXValueLabel->SetText(Format(fValue));
    m_pCurrentTValueLabel->SetText(Format(fTime));
}

void KG_InterpolationEditorDialog::Redraw()
{
    if (m_pBuffer == nullptr)
        return;
    const KG_EditorCalculations& calc = *m_pEditorCalculations;
    forms::Graphics g = forms::Graphics::FromImage(*m_pBuffer);
    g.Clear(forms::Color::White);
    auto drawPairs = [&g](const KB_GrowingArray<KG_Point>& gLines, const forms::Pen& pen)
    {
        for (std::uint32_t i = 0; i + 1 < gLines.GetNumMembers(); i += 2)
            g.DrawLine(pen, float(gLines[i].x), float(gLines[i].y), float(gLines[i + 1].x),
                       float(gLines[i + 1].y));
    };
    drawPairs(calc.GetGridLines(), m_oGridPen);
    drawPairs(calc.GetAxisLines(), m_oAxisPen);

    forms::StringFormat timeFormat;
    timeFormat.Alignment = forms::StringAlignment::Center;
    timeFormat.LineAlignment = forms::StringAlignment::Near;
    for (std::uint32_t i = 0; i < calc.GetXAxisLabels().GetNumMembers(); ++i)
    {
        const KG_Mark& m = calc.GetXAxisLabels()[i];
        g.DrawString(std::to_string(m.index), m_oLabelFont, m_oLabelBrush, float(m.x), float(m.y),
                     timeFormat);
    }
    forms::StringFormat valueFormat;
    valueFormat.Alignment = forms::StringAlignment::Far;
    valueFormat.LineAlignment = forms::StringAlignment::Center;
    for (std::uint32_t i = 0; i < calc.GetYAxisLabels().GetNumMembers(); ++i)
    {
        const KG_Mark& m = calc.GetYAxisLabels()[i];
        g.DrawString(std::to_string(m.index), m_oLabelFont, m_oLabelBrush, float(m.x), float(m.y),
                     valueFormat);
    }

    drawPairs(calc.GetStartLine(), m_oStartPen);
    drawPairs(calc.GetEndLine(), m_oEndPen);
    drawPairs(calc.GetCurrentTimeLine(), m_oCurrentPen);

    for (std::uint32_t c = 0; c < 3; ++c)
    {
        if (!m_pSplineCheckBoxes[c]->GetChecked())
            continue;
        const KB_GrowingArray<KG_Point>& gLine = calc.GetSplineLines(c);
        for (std::uint32_t k = 0; k + 1 < gLine.GetNumMembers(); ++k)
            g.DrawLine(m_aSplinePens[c], float(gLine[k].x), float(gLine[k].y), float(gLine[k + 1].x),
                       float(gLine[k + 1].y));
    }
    for (std::uint32_t c = 0; c < 3; ++c)
    {
        if (!m_pSplineCheckBoxes[c]->GetChecked())
            continue;
        for (const KB_GrowingArray<KG_Mark>* pMarks :
             {&calc.GetControlPoints(c), &calc.GetHighlightedControlPoints(c)})
        {
            const forms::SolidBrush& brush =
                pMarks == &calc.GetControlPoints(c) ? m_oMarkBrush : m_oHighlightBrush;
            for (std::uint32_t i = 0; i < pMarks->GetNumMembers(); ++i)
                g.FillRectangle(brush, float((*pMarks)[i].x - 2), float((*pMarks)[i].y - 2), 5.0f, 5.0f);
        }
    }
    g.Flush();
}

// ---- Curve page ----

void KG_InterpolationEditorDialog::FillInterpolationList()
{
    forms::ObjectCollection& items = m_pInterpolationComboBox->GetItems();
    items.Clear();
    std::vector<std::string> aTerms;
    const std::string sSearch = ToLower(m_sSearchString);
    for (std::size_t uiStart = 0; uiStart <= sSearch.size();)
    {
        const std::size_t uiEnd = std::min(sSearch.find(' ', uiStart), sSearch.size());
        aTerms.push_back(sSearch.substr(uiStart, uiEnd - uiStart));
        uiStart = uiEnd + 1;
    }
    const KB_GrowingArray<KB_Pair<KB_String, KU_VertexInterpolation*>> gEntries = CopyRegistry();
    for (std::uint32_t i = 0; i < gEntries.GetNumMembers(); ++i)
    {
        const std::string sName = ToStd(gEntries[i].first);
        const std::string sLower = ToLower(sName);
        const bool bMatch = std::all_of(aTerms.begin(), aTerms.end(),
                                        [&sLower](const std::string& sTerm)
                                        { return sLower.find(sTerm) != std::string::npos; });
        if (bMatch)
            items.Add(sName);
    }
    m_pInterpolationComboBox->SetMaxDropDownItems(
        std::clamp(items.GetCount(), MIN_DROP_DOWN_ITEMS, MAX_DROP_DOWN_ITEMS));
}

void KG_InterpolationEditorDialog::OnInterpolationTextUpdate()
{
    const int iCaret = m_pInterpolationComboBox->GetSelectionStart();
    const int iLength = m_pInterpolationComboBox->GetSelectionLength();
    m_sSearchString = m_pInterpolationComboBox->GetText();
    m_pInterpolationComboBox->SetDroppedDown(true);
    FillInterpolationList();
    m_pInterpolationComboBox->SetSelectionStart(iCaret);
    m_pInterpolationComboBox->SetSelectionLength(iLength);
}

KU_VertexInterpolation* KG_InterpolationEditorDialog::FindRegisteredCurve(const std::string& sName) const
{
    const KB_GrowingArray<KB_Pair<KB_String, KU_VertexInterpolation*>> gEntries = CopyRegistry();
    for (std::uint32_t i = 0; i < gEntries.GetNumMembers(); ++i)
        if (ToStd(gEntries[i].first) == sName)
            return gEntries[i].second;
    return nullptr;
}

void KG_InterpolationEditorDialog::OnInterpolationSelected()
{
    m_pCurrentVertexInterpolation = nullptr;
    const int iIndex = m_pInterpolationComboBox->GetSelectedIndex();
    if (iIndex >= 0)
    {
        m_sSelectedInterpolationName = m_pInterpolationComboBox->GetItems()[iIndex];
        m_pCurrentVertexInterpolation = FindRegisteredCurve(m_sSelectedInterpolationName);
    }
    m_pEditorCalculations->SetInterpolation(m_pCurrentVertexInterpolation);
    m_pEditorCalculations->ZoomExtends(m_pSplineCheckBoxes[0]->GetChecked(),
                                       m_pSplineCheckBoxes[1]->GetChecked(),
                                       m_pSplineCheckBoxes[2]->GetChecked());
    ShowCurveInPages();
    UpdateVisualisation(true);
}

void KG_InterpolationEditorDialog::UpdateTabs()
{
    // The boxes are filled with their change handlers detached: showing a time must not write it
    // back through a rounded text.
    forms::Event<forms::EventArgs>::Suppression startGuard(m_pStartTimeTextBox->TextChanged,
                                                           m_uiStartTextToken);
    forms::Event<forms::EventArgs>::Suppression endGuard(m_pEndTimeTextBox->TextChanged, m_uiEndTextToken);
    KU_VertexInterpolation* pCurve = m_pCurrentVertexInterpolation;
    const bool bHasCurve = pCurve != nullptr;
    if (bHasCurve)
    {
        m_pDebugStringTextBox->SetText(ToStd(pCurve->GetDebugName()));
        m_pStartTimeTextBox->SetText(forms::Double::ToString(pCurve->GetStartTime(), "G", m_oNumberFormat));
        m_pEndTimeTextBox->SetText(forms::Double::ToString(pCurve->GetEndTime(), "G", m_oNumberFormat));
    }
    else
    {
        m_pDebugStringTextBox->SetText("");
        m_pStartTimeTextBox->SetText("");
        m_pEndTimeTextBox->SetText("");
    }
    m_pDebugStringTextBox->SetEnabled(bHasCurve);
    m_pStartTimeTextBox->SetEnabled(bHasCurve);
    m_pEndTimeTextBox->SetEnabled(bHasCurve);
    m_pZoomExtendsButton->SetEnabled(bHasCurve);
}

void KG_InterpolationEditorDialog::ShowCurveInPages()
{
    for (const std::unique_ptr<KG_InterpolationEditorPage>& pPage : m_apPages)
        pPage->OnCurveShown(m_pCurrentVertexInterpolation);
}

void KG_InterpolationEditorDialog::OnTimeBoxChanged(forms::TextBox* pBox, bool bStart)
{
    const std::string sText = pBox->GetText();
    double fTime = 0.0;
    if (sText.empty() || m_pCurrentVertexInterpolation == nullptr ||
        !forms::Double::TryParse(sText, forms::NumberStyles::Float, m_oNumberFormat, &fTime))
        return;
    if (bStart)
        m_pCurrentVertexInterpolation->SetStartTime(fTime);
    else
        m_pCurrentVertexInterpolation->SetEndTime(fTime);
    // The curve's file keeps its times: a typed one is an edit like a key move, although the
    // graph's changed flag stays as it is.
    RememberEditOf(m_pCurrentVertexInterpolation);
    UpdateVisualisation(true);
}

void KG_InterpolationEditorDialog::OnTimeBoxLeave(forms::TextBox* pBox, bool bStart)
{
    double fTime = 0.0;
    if (m_pCurrentVertexInterpolation == nullptr ||
        forms::Double::TryParse(pBox->GetText(), forms::NumberStyles::Float, m_oNumberFormat, &fTime))
        return;
    const double fCurrent =
        bStart ? m_pCurrentVertexInterpolation->GetStartTime() : m_pCurrentVertexInterpolation->GetEndTime();
    forms::Event<forms::EventArgs>::Suppression guard(pBox->TextChanged,
                                                      bStart ? m_uiStartTextToken : m_uiEndTextToken);
    pBox->SetText(forms::Double::ToString(fCurrent, "G", m_oNumberFormat));
}

void KG_InterpolationEditorDialog::OnShowFlagChanged()
{
    m_iInterpolationFlags = GetFlagsFromCheckBoxes();
    UpdateVisualisation(true);
}

int KG_InterpolationEditorDialog::GetFlagsFromCheckBoxes() const
{
    return (m_pSplineCheckBoxes[0]->GetChecked() ? FLAG_SHOW_X : 0) |
           (m_pSplineCheckBoxes[1]->GetChecked() ? FLAG_SHOW_Y : 0) |
           (m_pSplineCheckBoxes[2]->GetChecked() ? FLAG_SHOW_Z : 0) |
           (m_pSnapToIntegersCheckBox->GetChecked() ? FLAG_SNAP : 0);
}

void KG_InterpolationEditorDialog::SetCheckBoxesFromFlags(int iFlags)
{
    // Silently: the handlers would rewrite the remembered flags bit by bit; one redraw follows.
    {
        forms::Event<forms::EventArgs>::Suppression x(m_pSplineCheckBoxes[0]->CheckedChanged,
                                                      m_uiShowFlagTokens[0]);
        forms::Event<forms::EventArgs>::Suppression y(m_pSplineCheckBoxes[1]->CheckedChanged,
                                                      m_uiShowFlagTokens[1]);
        forms::Event<forms::EventArgs>::Suppression z(m_pSplineCheckBoxes[2]->CheckedChanged,
                                                      m_uiShowFlagTokens[2]);
        forms::Event<forms::EventArgs>::Suppression s(m_pSnapToIntegersCheckBox->CheckedChanged,
                                                      m_uiShowFlagTokens[3]);
        m_pSplineCheckBoxes[0]->SetChecked((iFlags & FLAG_SHOW_X) != 0);
        m_pSplineCheckBoxes[1]->SetChecked((iFlags & FLAG_SHOW_Y) != 0);
        m_pSplineCheckBoxes[2]->SetChecked((iFlags & FLAG_SHOW_Z) != 0);
        m_pSnapToIntegersCheckBox->SetChecked((iFlags & FLAG_SNAP) != 0);
    }
    UpdateVisualisation(true);
}

bool KG_InterpolationEditorDialog::SaveCurrentInterpolation()
{
    if (m_pCurrentVertexInterpolation == nullptr)
        return false;
    m_pCurrentVertexInterpolation->SetDebugName(KB_String(m_pDebugStringTextBox->GetText().c_str()));
    // A file that could not be written keeps the unsaved-changes protection.
    if (!m_pCurrentVertexInterpolation->Save())
        return false;
    OnCurveSaved(m_pCurrentVertexInterpolation);
    m_pEditorCalculations->ResetVertexInterpolationChanged();
    return true;
}

void KG_InterpolationEditorDialog::OnCurveSaved(KU_VertexInterpolation* pCurve)
{
    m_aEditedCurves.erase(std::remove_if(m_aEditedCurves.begin(), m_aEditedCurves.end(),
                                         [pCurve](const EditedCurve& edited)
                                         { return edited.pCurve == pCurve; }),
                          m_aEditedCurves.end());
    if (pCurve != nullptr && m_pEditorCalculations->GetInterpolation() == pCurve)
        m_pEditorCalculations->ResetVertexInterpolationChanged();
}

std::vector<KU_VertexInterpolation*> KG_InterpolationEditorDialog::GetEditedCurves() const
{
    std::vector<KU_VertexInterpolation*> aCurves;
    for (const EditedCurve& edited : m_aEditedCurves)
        aCurves.push_back(edited.pCurve);
    return aCurves;
}

void KG_InterpolationEditorDialog::RememberEdit()
{
    // Only right after a mouse event: the graph's curve is alive then. The changed flag goes with
    // the next SetInterpolation, the edit stays remembered here.
    if (m_pEditorCalculations->HasVertexInterpolationChanged())
        RememberEditOf(m_pEditorCalculations->GetInterpolation());
}

void KG_InterpolationEditorDialog::RememberEditOf(KU_VertexInterpolation* pCurve)
{
    if (pCurve == nullptr)
        return;
    for (const EditedCurve& edited : m_aEditedCurves)
        if (edited.pCurve == pCurve)
            return;
    KU_InterpolationManager* pRegistry = KE_GetInterpolationManager();
    m_aEditedCurves.push_back({pCurve, pRegistry != nullptr ? pRegistry->GetRegistrationSerial(pCurve) : 0});
}

void KG_InterpolationEditorDialog::ForgetFreedEdits()
{
    KU_InterpolationManager* pRegistry = KE_GetInterpolationManager();
    m_aEditedCurves.erase(std::remove_if(m_aEditedCurves.begin(), m_aEditedCurves.end(),
                                         [pRegistry](const EditedCurve& edited)
                                         {
                                             return pRegistry == nullptr || edited.uiSerial == 0 ||
                                                    pRegistry->GetRegistrationSerial(edited.pCurve) !=
                                                        edited.uiSerial;
                                         }),
                          m_aEditedCurves.end());
}

bool KG_InterpolationEditorDialog::SaveEditedCurves()
{
    bool bAllWritten = true;
    // The current curve first, with the debug name from its box, as the Save button does.
    for (const EditedCurve& edited : m_aEditedCurves)
        if (edited.pCurve == m_pCurrentVertexInterpolation)
        {
            bAllWritten = SaveCurrentInterpolation();
            break;
        }
    const std::vector<KU_VertexInterpolation*> aCurves = GetEditedCurves();
    for (KU_VertexInterpolation* pCurve : aCurves)
    {
        if (pCurve == m_pCurrentVertexInterpolation)
            continue;
        // A file that could not be written keeps its curve remembered.
        if (pCurve->Save())
            OnCurveSaved(pCurve);
        else
            bAllWritten = false;
    }
    return bAllWritten;
}

void KG_InterpolationEditorDialog::OnOpenInt()
{
    const int iIndex = m_pInterpolationComboBox->GetSelectedIndex();
    if (iIndex < 0)
        return;
    tools_openFile(m_pInterpolationComboBox->GetItems()[iIndex].c_str());
}

// ---- Pages ----

KG_InterpolationEditorPage* KG_InterpolationEditorDialog::GetShownPage() const
{
    return m_selectedTabIndex >= 0 && std::size_t(m_selectedTabIndex) < m_apPages.size()
               ? m_apPages[std::size_t(m_selectedTabIndex)].get()
               : nullptr;
}

int KG_InterpolationEditorDialog::GetPageIndex(const std::string& sTabName) const
{
    for (std::size_t i = 0; i < m_apPages.size(); ++i)
        if (m_apPages[i]->GetTabPage()->GetName() == sTabName)
            return int(i);
    return -1;
}

void KG_InterpolationEditorDialog::OnPageChanged()
{
    KG_InterpolationEditorPage* pOld = GetShownPage();
    const int iOld = m_selectedTabIndex;
    m_selectedTabIndex = m_pTabControl->GetSelectedIndex();
    if (iOld == m_selectedTabIndex)
        return;
    if (pOld != nullptr)
        pOld->OnLeave();
    if (KG_InterpolationEditorPage* pNew = GetShownPage())
        pNew->OnEnter();
}

void KG_InterpolationEditorDialog::EnterCurvePage()
{
    SetCheckBoxesFromFlags(m_iInterpolationFlags);
    const int iIndex = m_pInterpolationComboBox->GetItems().IndexOf(m_sSelectedInterpolationName);
    if (iIndex >= 0 && iIndex != m_pInterpolationComboBox->GetSelectedIndex())
        m_pInterpolationComboBox->SetSelectedIndex(iIndex);
    else if (iIndex < 0 && m_pInterpolationComboBox->GetSelectedIndex() < 0 &&
             m_pInterpolationComboBox->GetItems().GetCount() > 0)
        m_pInterpolationComboBox->SetSelectedIndex(0);
    else
        OnInterpolationSelected();
}

void KG_InterpolationEditorDialog::SetLightSelected(KR_LightBase* pLight)
{
    m_pLightPage->OnLightPicked(pLight);
}

void KG_InterpolationEditorDialog::SetCubemapSelected(KR_CubeMapPlacer* pPlacer)
{
    m_pCubeMapPage->OnCubemapPicked(pPlacer);
}

KR_LightBase* KG_InterpolationEditorDialog::GetPendingLight() const
{
    return m_pLightPage->GetPendingLight();
}

KR_CubeMapPlacer* KG_InterpolationEditorDialog::GetPendingCubemap() const
{
    return m_pCubeMapPage->GetPendingCubemap();
}

void KG_InterpolationEditorDialog::InvalidateInterpolation()
{
    // Everything held may have been deleted by the reload: every page forgets it all before any
    // page reads anything, then each chooses again.
    m_pCurrentVertexInterpolation = nullptr;
    for (const std::unique_ptr<KG_InterpolationEditorPage>& pPage : m_apPages)
        pPage->Invalidate();
    m_pEditorCalculations->SetInterpolation(nullptr);
    ForgetFreedEdits();
    for (const std::unique_ptr<KG_InterpolationEditorPage>& pPage : m_apPages)
        pPage->Revalidate();
}

void KG_InterpolationEditorDialog::RevalidateCurvePage()
{
    const int iOld = m_pInterpolationComboBox->GetSelectedIndex();
    const std::string sSelected = iOld >= 0 ? m_pInterpolationComboBox->GetItems()[iOld] : std::string();
    m_sSearchString.clear();
    FillInterpolationList();
    const int iIndex = sSelected.empty() ? -1 : m_pInterpolationComboBox->GetItems().IndexOf(sSelected);
    {
        // The selection is handled once, below, whether or not the index changes.
        forms::Event<forms::EventArgs>::Suppression guard(m_pInterpolationComboBox->SelectedIndexChanged);
        m_pInterpolationComboBox->SetSelectedIndex(iIndex);
    }
    OnInterpolationSelected();
}

KG_EditorSceneSource& KG_InterpolationEditorDialog::GetSceneSource() const
{
    return m_pSceneSource != nullptr ? *m_pSceneSource : *m_pEngineSceneSource;
}

void KG_InterpolationEditorDialog::ShowCurve(KU_VertexInterpolation* pCurve)
{
    m_pCurrentVertexInterpolation = pCurve;
    m_pEditorCalculations->SetInterpolation(pCurve);
    m_pEditorCalculations->ZoomExtends(true, true, true);
    ShowCurveInPages();
    UpdateVisualisation(true);
}

void KG_InterpolationEditorDialog::InvalidateEverywhere(const std::vector<KU_VertexInterpolation*>& aRetired)
{
    KU_InterpolationManager* pRegistry = KE_GetInterpolationManager();
    for (KU_VertexInterpolation* pCurve : aRetired)
        if (pRegistry != nullptr && pCurve != nullptr)
            pRegistry->UnregisterInterpolation(pCurve);
    if (m_pInterpolationEditorDialogManager != nullptr)
        m_pInterpolationEditorDialogManager->InvalidateInterpolationEditorsDialogs();
    else
        InvalidateInterpolation();
}

void KG_InterpolationEditorDialog::SetComponentsShown(bool bYAndZ)
{
    const int iFlags = GetFlagsFromCheckBoxes() & ~(FLAG_SHOW_Y | FLAG_SHOW_Z);
    SetCheckBoxesFromFlags(bYAndZ ? iFlags | FLAG_SHOW_Y | FLAG_SHOW_Z : iFlags);
}

KU_VertexInterpolation*
KG_InterpolationEditorDialog::FindRegisteredCurveContaining(const std::string& sPath) const
{
    if (sPath.empty())
        return nullptr;
    const KB_GrowingArray<KB_Pair<KB_String, KU_VertexInterpolation*>> gEntries = CopyRegistry();
    for (std::uint32_t i = 0; i < gEntries.GetNumMembers(); ++i)
    {
        const std::size_t uiAt = ToStd(gEntries[i].first).find(sPath);
        if (uiAt != std::string::npos && uiAt > 0)
            return gEntries[i].second;
    }
    return nullptr;
}

void KG_InterpolationEditorDialog::NotifyLightChosen(KR_LightBase* pLight)
{
    if (m_pInterpolationEditorDialogManager != nullptr)
        m_pInterpolationEditorDialogManager->SetLightSelected(pLight);
}

void KG_InterpolationEditorDialog::NotifyCubemapChosen(KR_CubeMapPlacer* pPlacer)
{
    if (m_pInterpolationEditorDialogManager != nullptr)
        m_pInterpolationEditorDialogManager->SetCubemapSelected(pPlacer);
}

// ---- Closing ----

bool KG_InterpolationEditorDialog::HasUnsavedChanges() const
{
    return !m_aEditedCurves.empty();
}

forms::DialogResult KG_InterpolationEditorDialog::AskAboutUnsavedChanges()
{
    if (!HasUnsavedChanges())
        return forms::DialogResult::None;
    return forms::MessageBox::Show(UNSAVED_QUESTION, UNSAVED_CAPTION, forms::MessageBoxButtons::YesNoCancel,
                                   forms::MessageBoxIcon::Warning);
}

bool KG_InterpolationEditorDialog::CloseInterpolationEditorDialog(bool bForce)
{
    if (IsClosed())
        return true;
    if (!bForce)
    {
        const forms::DialogResult answer = AskAboutUnsavedChanges();
        if (answer == forms::DialogResult::Cancel)
            return false;
        if (answer == forms::DialogResult::Yes && !SaveEditedCurves())
            return false;
    }
    // Asked (or forced): the closing event does not ask again.
    m_bCloseQuestionAnswered = true;
    Close();
    m_bCloseQuestionAnswered = false;
    return IsClosed();
}

void KG_InterpolationEditorDialog::OnFormClosing(forms::FormClosingEventArgs& e)
{
    if (m_bCloseQuestionAnswered || m_bDetached)
        return;
    const forms::DialogResult answer = AskAboutUnsavedChanges();
    if (answer == forms::DialogResult::Cancel || (answer == forms::DialogResult::Yes && !SaveEditedCurves()))
        e.Cancel = true;
}

void KG_InterpolationEditorDialog::OnFormClosed()
{
    if (m_pInterpolationEditorDialogManager != nullptr)
        m_pInterpolationEditorDialogManager->RemoveInterpolationEditorDialog(this);
}

} // namespace K_GUI
