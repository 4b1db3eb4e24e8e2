#pragma once
// The developer's editor window: a modeless form next to the running production, opened through
// the dialog manager (any number may be open). One curve graph (the panel "visualisationPanel",
// drawn from its KG_EditorCalculations into an off-screen bitmap) shared by six pages of the tab
// control "frameworkTabControl": "Interpolations" (the registered vertex curves), "Camera",
// "Demo Controls" (buttons that replay the developer keys), "Lights", "Cube Maps" and "Chunks".
// Each page is a KG_InterpolationEditorPage made beside its tab in BuildControls, one line each;
// its place in the window's page list is its tab's index, and it keeps its own state. The
// "Interpolations" page keeps its controls in the window: its check boxes choose what the shared
// graph draws and its debug-name box is what the closing question's Yes saves. The window keeps
// what the pages share: the graph, the current curve, the edited curves.
//
// Lifetime: the manager owns the window. Closing asks once about unsaved curve edits (in
// CloseInterpolationEditorDialog, or in the closing event when the close came from elsewhere),
// covering every curve edited in this window and not saved since, shown or not; Yes saves each
// and closes only when every save succeeded, No closes, Cancel keeps the window. The closed event
// hands the window back to the manager, which deletes it later. The destructor touches no engine
// object: at shutdown the curves and lights may be gone already.
//
// Engine pointers (the current curve here, the cameras, lights, placers and scenes in the pages)
// are dropped by InvalidateInterpolation, which the manager runs in every window after a reload
// or a deletion made from an editor: every page forgets, then every page chooses again. The edited
// curves are kept only while the curve registry still lists them under the registration they had
// when edited (compared, never read), so a freed curve is never touched and a new curve at its
// address is not taken for it. Main thread only.

#include "framework/core/KB_String.h"
#include "platform/forms/FormsCulture.h"
#include "platform/forms/FormsForm.h"
#include "platform/forms/FormsLists.h"
#include "platform/forms/FormsWidgets.h"
#include "tools/KG_EditorCalculations.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class KG_InterpolationEditorDialogManager;
class KU_VertexInterpolation;
class KR_LightBase;
class KR_CubeMapPlacer;

namespace K_GUI
{

class KG_EditorSceneSource;
class KG_InterpolationEditorPage;
class KG_InterpolationEditorCameraPage;
class KG_InterpolationEditorLightPage;
class KG_InterpolationEditorCubeMapPage;

class KG_InterpolationEditorDialog : public forms::Form
{
public:
    static constexpr const char* WINDOW_NAME = "KG_InterpolationEditorDialog";
    static constexpr const char* UNSAVED_QUESTION =
        "Interpolation has changes that have not been saved yet. Do you want to save your changes?";
    static constexpr const char* UNSAVED_CAPTION = "Unsaved Data Warning";

    // m_iInterpolationFlags bits.
    static constexpr int FLAG_SHOW_X = 1;
    static constexpr int FLAG_SHOW_Y = 2;
    static constexpr int FLAG_SHOW_Z = 4;
    static constexpr int FLAG_SNAP = 8;

    // Without a query the calculations read the modifier keys from the forms layer.
    explicit KG_InterpolationEditorDialog(KG_InterpolationEditorDialogManager* pManager,
                                          KG_EditorCalculations::ModifierQuery modifiers = nullptr);
    ~KG_InterpolationEditorDialog() override;

    // Nothing while minimised. Redraws the graph when it changed (or when forced) and shows the
    // cursor's and the hovered key's values.
    void UpdateVisualisation(bool bForce);
    // Drops every engine pointer the window holds, then refills the curve list and re-resolves
    // the remembered entry from the registry (the selection handling runs even when the index
    // stays the same).
    void InvalidateInterpolation();
    // Asks about unsaved edits unless bForce, then closes; true only when the window closed.
    bool CloseInterpolationEditorDialog(bool bForce);
    // A pick in the 3D view: the Lights and Cube Maps pages select it when they show (at once
    // when shown).
    void SetLightSelected(KR_LightBase* pLight);
    void SetCubemapSelected(KR_CubeMapPlacer* pPlacer);
    // The picks the Lights and Cube Maps pages have not shown yet.
    KR_LightBase* GetPendingLight() const;
    KR_CubeMapPlacer* GetPendingCubemap() const;

    // The manager no longer listens for this window (shutdown): closing it asks nothing and
    // tells nobody.
    void DetachFromManager()
    {
        m_pInterpolationEditorDialogManager = nullptr;
        m_bDetached = true;
    }

    // Saves the current curve (debug name from its box, then its file); the changed flag is
    // cleared only when the file was written. False without a curve or when writing failed.
    bool SaveCurrentInterpolation();
    // A page wrote pCurve's file: it is no longer an unsaved edit (the graph's changed flag is
    // cleared when the graph shows it).
    void OnCurveSaved(KU_VertexInterpolation* pCurve);

    // The scenes the pages edit: the engine's unless one was set (not owned; null restores the
    // engine's).
    KG_EditorSceneSource& GetSceneSource() const;
    void SetSceneSource(KG_EditorSceneSource* pSource) { m_pSceneSource = pSource; }
    // Makes pCurve (null allowed) the current curve of the graph, fitted in x, y and z.
    void ShowCurve(KU_VertexInterpolation* pCurve);
    // After a page deleted engine objects, or before it deletes the curves aRetired: the full
    // invalidation in every open window (this one alone without a manager). The retired curves
    // leave the registry first, so that no window finds them again while it re-resolves its
    // curve; the caller deletes them afterwards.
    void InvalidateEverywhere(const std::vector<KU_VertexInterpolation*>& aRetired = {});
    // Shows or hides the y and z values in the graph without changing the remembered choices.
    void SetComponentsShown(bool bYAndZ);
    // Sets the curve page's check boxes (FLAG_* bits) without changing the remembered choices,
    // then redraws.
    void SetCheckBoxesFromFlags(int iFlags);
    // The first registered curve whose name holds sPath after its first character.
    KU_VertexInterpolation* FindRegisteredCurveContaining(const std::string& sPath) const;
    // A page chose a light: every open window remembers it.
    void NotifyLightChosen(KR_LightBase* pLight);
    void NotifyCubemapChosen(KR_CubeMapPlacer* pPlacer);
    // The page whose tab is shown (null before the pages are made).
    KG_InterpolationEditorPage* GetShownPage() const;
    // The tab index of the page whose tab has that name; -1 when none has.
    int GetPageIndex(const std::string& sTabName) const;

    KU_VertexInterpolation* GetCurrentVertexInterpolation() const { return m_pCurrentVertexInterpolation; }
    KG_EditorCalculations* GetEditorCalculations() const { return m_pEditorCalculations.get(); }
    int GetInterpolationFlags() const { return m_iInterpolationFlags; }
    forms::Bitmap* GetBuffer() const { return m_pBuffer.get(); }
    forms::ToolTip& GetToolTip() { return m_oToolTip; }

private:
    class CurvePage;

    void BuildControls();
    // Adds a tab and makes its page on it; the page's place in m_apPages is the tab's index.
    template <typename TPage>
    TPage* AddPage(const char* pTabName, const char* pText);
    void BuildInterpolationPage(forms::TabPage* pPage);
    void HookPanel();

    // Curve page.
    void EnterCurvePage();
    void RevalidateCurvePage();
    void FillInterpolationList();
    void OnInterpolationTextUpdate();
    void OnInterpolationSelected();
    // The curve page's boxes and button follow the current curve.
    void UpdateTabs();
    void OnTimeBoxChanged(forms::TextBox* pBox, bool bStart);
    void OnTimeBoxLeave(forms::TextBox* pBox, bool bStart);
    void OnShowFlagChanged();
    void OnOpenInt();
    KU_VertexInterpolation* FindRegisteredCurve(const std::string& sName) const;

    // Window.
    void OnPageChanged();
    // Tells every page which curve the graph shows now.
    void ShowCurveInPages();
    int GetFlagsFromCheckBoxes() const;
    void OnPanelSizeChanged();
    void Redraw();
    void OnFormClosing(forms::FormClosingEventArgs& e);
    void OnFormClosed();
    // Yes/No/Cancel about unsaved edits; None when nothing is unsaved.
    forms::DialogResult AskAboutUnsavedChanges();
    bool HasUnsavedChanges() const;
    // Curves edited in this window and not saved since, oldest edit first.
    std::vector<KU_VertexInterpolation*> GetEditedCurves() const;
    // Remembers the graph's curve when the mouse just edited it.
    void RememberEdit();
    // Remembers pCurve (alive, null ignored) as edited and not saved, once.
    void RememberEditOf(KU_VertexInterpolation* pCurve);
    // Writes every remembered curve (the current one as the Save button does); true when all
    // were written. Those written are forgotten.
    bool SaveEditedCurves();
    // After an invalidation: forgets the remembered curves the registry no longer lists as they
    // were.
    void ForgetFreedEdits();
    std::string Format(float fValue) const;

    KG_InterpolationEditorDialogManager* m_pInterpolationEditorDialogManager; // not owned
    std::unique_ptr<KG_EditorCalculations> m_pEditorCalculations;
    // In tab order; the pages hold what they list, chose and select again.
    std::vector<std::unique_ptr<KG_InterpolationEditorPage>> m_apPages;
    // The pages the window itself calls (not owned: in m_apPages).
    KG_InterpolationEditorCameraPage* m_pCameraPage = nullptr;
    KG_InterpolationEditorLightPage* m_pLightPage = nullptr;
    KG_InterpolationEditorCubeMapPage* m_pCubeMapPage = nullptr;
    std::unique_ptr<KG_EditorSceneSource> m_pEngineSceneSource;
    KG_EditorSceneSource* m_pSceneSource = nullptr; // not owned; null: the engine's
    std::shared_ptr<forms::Bitmap> m_pBuffer;

    // The graph's curve, whichever page chose it: not owned, dropped by InvalidateInterpolation.
    KU_VertexInterpolation* m_pCurrentVertexInterpolation = nullptr;

    // Curves edited and not saved, with the registry's serial of each when it was edited (0: not
    // registered, so never known to survive an invalidation). Not owned.
    struct EditedCurve
    {
        KU_VertexInterpolation* pCurve;
        std::uint64_t uiSerial;
    };
    std::vector<EditedCurve> m_aEditedCurves;

    std::string m_sSelectedInterpolationName;
    std::string m_sSearchString;
    forms::CultureInfo m_oNumberFormat{"en-US"};
    int m_selectedTabIndex = 0;
    int m_iInterpolationFlags = FLAG_SHOW_X | FLAG_SHOW_Y | FLAG_SHOW_Z;
    bool m_bCloseQuestionAnswered = false; // this close already asked (or was forced)
    bool m_bDetached = false;              // shutdown: closing asks nothing

    forms::ToolTip m_oToolTip;
    forms::Pen m_oGridPen{forms::Color::LightGray};
    forms::Pen m_oAxisPen{forms::Color::Black};
    forms::Pen m_oStartPen{forms::Color::Orange};
    forms::Pen m_oEndPen{forms::Color::Cyan};
    forms::Pen m_oCurrentPen{forms::Color::Red};
    forms::Pen m_aSplinePens[3] = {forms::Pen{forms::Color::DarkRed}, forms::Pen{forms::Color::DarkGreen},
                                   forms::Pen{forms::Color::DarkBlue}};
    forms::SolidBrush m_oLabelBrush{forms::Color::Black};
    forms::SolidBrush m_oMarkBrush{forms::Color::Red};
    forms::SolidBrush m_oHighlightBrush{forms::Color::Green};
    forms::Font m_oLabelFont{"Calibri", 9.0f};

    // Controls: children of this form.
    forms::Panel* m_pVisualisationPanel = nullptr;
    forms::TabControl* m_pTabControl = nullptr;
    forms::ComboBox* m_pInterpolationComboBox = nullptr;
    forms::TextBox* m_pDebugStringTextBox = nullptr;
    forms::TextBox* m_pStartTimeTextBox = nullptr;
    forms::TextBox* m_pEndTimeTextBox = nullptr;
    forms::CheckBox* m_pSplineCheckBoxes[3] = {nullptr, nullptr, nullptr};
    forms::CheckBox* m_pSnapToIntegersCheckBox = nullptr;
    forms::Button* m_pZoomExtendsButton = nullptr;
    forms::Button* m_pSaveButton = nullptr;
    forms::Button* m_pOpenIntButton = nullptr;
    forms::Label* m_pCurrentXValueLabel = nullptr;
    forms::Label* m_pCurrentTValueLabel = nullptr;
    forms::Label* m_pSelectedValueLabels[4] = {nullptr, nullptr, nullptr, nullptr}; // x, y, z, t
    forms::EventToken m_uiStartTextToken = 0;
    forms::EventToken m_uiEndTextToken = 0;
    forms::EventToken m_uiShowFlagTokens[4] = {0, 0, 0, 0};
};

} // namespace K_GUI
