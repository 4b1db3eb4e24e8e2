#pragma once
// The developer's editor window: a modeless form next to the running production, opened through
// the dialog manager (any number may be open). One curve graph (the panel "visualisationPanel",
// drawn from its KG_EditorCalculations into an off-screen bitmap) shared by six pages of the tab
// control "frameworkTabControl": "Interpolations" (the registered vertex curves), "Camera",
// "Demo Controls" (buttons that replay the developer keys), "Lights", "Cube Maps" and "Chunks".
// Each page but the curve page is its own class; the window keeps what they share (the graph,
// the picks the manager forwards, the resolution lists).
//
// Lifetime: the manager owns the window. Closing asks once about unsaved curve edits (in
// CloseInterpolationEditorDialog, or in the closing event when the close came from elsewhere),
// covering every curve edited in this window and not saved since, shown or not; Yes saves each
// and closes only when every save succeeded, No closes, Cancel keeps the window. The closed event
// hands the window back to the manager, which deletes it later. The destructor touches no engine
// object: at shutdown the curves and lights may be gone already.
//
// Engine pointers held here (current curve, camera, light, placer, page scenes) are dropped by
// InvalidateInterpolation, which the manager runs in every window after a reload or a deletion
// made from an editor. The edited curves are kept only while the curve registry still lists them
// under the registration they had when edited (compared, never read), so a freed curve is never
// touched and a new curve at its address is not taken for it. Main thread only.

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
class KG_InterpolationEditorDemoControls;
class KU_VertexInterpolation;
class KR_AnimatedCamera;
class KR_LightBase;
class KR_CubeMapPlacer;
class KR_Scene;

namespace K_GUI
{

class KG_EditorSceneSource;
class KG_InterpolationEditorChunkPage;
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

    // Page indices of frameworkTabControl.
    static constexpr int PAGE_INTERPOLATIONS = 0;
    static constexpr int PAGE_CAMERA = 1;
    static constexpr int PAGE_DEMO_CONTROLS = 2;
    static constexpr int PAGE_LIGHTS = 3;
    static constexpr int PAGE_CUBEMAPS = 4;
    static constexpr int PAGE_CHUNKS = 5;

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
    // Remember the pick; the Lights and Cube Maps pages select it when they show.
    void SetLightSelected(KR_LightBase* pLight);
    void SetCubemapSelected(KR_CubeMapPlacer* pPlacer);
    void ClearSelectedCubemap() { m_pSelectedCubemap = nullptr; }
    KR_LightBase* GetPendingLight() const { return m_pPendingLight; }
    KR_CubeMapPlacer* GetPendingCubemap() const { return m_pPendingCubemap; }

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
    // The first registered curve whose name holds sPath after its first character.
    KU_VertexInterpolation* FindRegisteredCurveContaining(const std::string& sPath) const;
    // A page chose a light: every open window remembers it.
    void NotifyLightChosen(KR_LightBase* pLight);
    void NotifyCubemapChosen(KR_CubeMapPlacer* pPlacer);
    int GetSelectedPage() const { return m_selectedTabIndex; }

    KU_VertexInterpolation* GetCurrentVertexInterpolation() const { return m_pCurrentVertexInterpolation; }
    KG_EditorCalculations* GetEditorCalculations() const { return m_pEditorCalculations.get(); }
    int GetInterpolationFlags() const { return m_iInterpolationFlags; }
    forms::Bitmap* GetBuffer() const { return m_pBuffer.get(); }
    forms::ToolTip& GetToolTip() { return m_ToolTip; }

private:
    void BuildControls();
    void BuildInterpolationPage(forms::TabPage* pPage);
    void BuildEmptyPages();
    void HookPanel();

    // Curve page.
    void FillInterpolationList();
    void OnInterpolationTextUpdate();
    void OnInterpolationSelected();
    void UpdateTabs();
    void OnTimeBoxChanged(forms::TextBox* pBox, bool bStart);
    void OnTimeBoxLeave(forms::TextBox* pBox, bool bStart);
    void OnShowFlagChanged();
    void OnOpenInt();
    KU_VertexInterpolation* FindRegisteredCurve(const std::string& sName) const;

    // Window.
    void OnPageChanged();
    void SetCheckBoxesFromFlags(int iFlags);
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
    // Writes every remembered curve (the current one as the Save button does); true when all
    // were written. Those written are forgotten.
    bool SaveEditedCurves();
    // After an invalidation: forgets the remembered curves the registry no longer lists as they
    // were.
    void ForgetFreedEdits();
    std::string Format(float fValue) const;

    KG_InterpolationEditorDialogManager* m_pInterpolationEditorDialogManager; // not owned
    std::unique_ptr<KG_EditorCalculations> m_pEditorCalculations;
    std::unique_ptr<KG_InterpolationEditorDemoControls> m_pDemoControls;
    std::unique_ptr<KG_InterpolationEditorChunkPage> m_pChunkPage;
    std::unique_ptr<KG_InterpolationEditorCameraPage> m_pCameraPage;
    std::unique_ptr<KG_InterpolationEditorLightPage> m_pLightPage;
    std::unique_ptr<KG_InterpolationEditorCubeMapPage> m_pCubeMapPage;
    std::unique_ptr<KG_EditorSceneSource> m_pEngineSceneSource;
    KG_EditorSceneSource* m_pSceneSource = nullptr; // not owned; null: the engine's
    std::shared_ptr<forms::Bitmap> m_pBuffer;

    // Engine objects: not owned, dropped by InvalidateInterpolation.
    KU_VertexInterpolation* m_pCurrentVertexInterpolation = nullptr;
    KR_AnimatedCamera* m_pCurrentAnimatedCamera = nullptr;
    KU_VertexInterpolation* m_pVertexInterpolationLightsTab = nullptr;
    KR_LightBase* m_pSelectedLight = nullptr;
    KR_CubeMapPlacer* m_pSelectedCubemap = nullptr;
    KR_Scene* m_pLightTabScene = nullptr;
    KR_Scene* m_pCubeMapTabScene = nullptr;
    // Picks waiting for the Lights and Cube Maps pages, which resolve them when shown.
    KR_LightBase* m_pPendingLight = nullptr;
    KR_CubeMapPlacer* m_pPendingCubemap = nullptr;

    // Curves edited and not saved, with the registry's serial of each when it was edited (0: not
    // registered, so never known to survive an invalidation). Not owned.
    struct EditedCurve
    {
        KU_VertexInterpolation* pCurve;
        std::uint64_t uiSerial;
    };
    std::vector<EditedCurve> m_aEditedCurves;

    std::string m_sSelectedInterpolationName;
    std::string m_sSelectedLightName;
    std::string m_sSelectedCubemapName;
    std::string m_sSearchString;
    forms::CultureInfo m_NumberFormat{"en-US"};
    int m_selectedTabIndex = 0;
    int m_iInterpolationFlags = FLAG_SHOW_X | FLAG_SHOW_Y | FLAG_SHOW_Z;
    bool m_bCloseQuestionAnswered = false; // this close already asked (or was forced)
    bool m_bDetached = false;              // shutdown: closing asks nothing

    forms::ToolTip m_ToolTip;
    forms::Pen m_GridPen{forms::Color::LightGray};
    forms::Pen m_AxisPen{forms::Color::Black};
    forms::Pen m_StartPen{forms::Color::Orange};
    forms::Pen m_EndPen{forms::Color::Cyan};
    forms::Pen m_CurrentPen{forms::Color::Red};
    forms::Pen m_SplinePens[3] = {forms::Pen{forms::Color::DarkRed}, forms::Pen{forms::Color::DarkGreen},
                                  forms::Pen{forms::Color::DarkBlue}};
    forms::SolidBrush m_LabelBrush{forms::Color::Black};
    forms::SolidBrush m_MarkBrush{forms::Color::Red};
    forms::SolidBrush m_HighlightBrush{forms::Color::Green};
    forms::Font m_LabelFont{"Calibri", 9.0f};

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
    forms::Button* m_pLightZoomExtendsButton = nullptr;
    forms::Button* m_pSaveButton = nullptr;
    forms::Button* m_pOpenIntButton = nullptr;
    forms::Label* m_pCurrentXValueLabel = nullptr;
    forms::Label* m_pCurrentTValueLabel = nullptr;
    forms::Label* m_pSelectedValueLabels[4] = {nullptr, nullptr, nullptr, nullptr}; // x, y, z, t
    forms::ComboBox* m_pLightShadowMapResComboBox = nullptr;
    forms::ComboBox* m_pCubemapResComboBox = nullptr;
    forms::EventToken m_uiStartTextToken = 0;
    forms::EventToken m_uiEndTextToken = 0;
    forms::EventToken m_uiShowFlagTokens[4] = {0, 0, 0, 0};
};

} // namespace K_GUI
