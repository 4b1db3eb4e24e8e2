#pragma once
// One page of the editor window's tab control. The window makes each page right after adding its
// tab (KG_InterpolationEditorDialog::BuildControls), keeps the pages in tab order and tells them
// what happens to the window; a page builds its controls on its tab and keeps its own state (what
// it lists, what it chose, what it selects again when shown). A page that needs none of the calls
// below overrides none of them.
//
// Owned by the window, which outlives every call; main thread only.

class KU_VertexInterpolation;

namespace forms
{
class TabPage;
}

namespace K_GUI
{

class KG_InterpolationEditorDialog;

class KG_InterpolationEditorPage
{
public:
    KG_InterpolationEditorPage(KG_InterpolationEditorDialog& dialog, forms::TabPage* pTabPage)
        : m_rDialog(dialog), m_pTabPage(pTabPage)
    {
    }
    virtual ~KG_InterpolationEditorPage() = default;

    KG_InterpolationEditorPage(const KG_InterpolationEditorPage&) = delete;
    KG_InterpolationEditorPage& operator=(const KG_InterpolationEditorPage&) = delete;

    // The page became the shown one (the window already counts it as shown).
    virtual void OnEnter() {}
    // Another page is shown now (the window already counts that one as shown).
    virtual void OnLeave() {}
    // First step of an invalidation (a reload, or a deletion made from an editor), run in every
    // page in tab order: forget every curve, camera, light and placer held, without reading
    // through them (they may be freed). Scenes outlive a reload and may be compared.
    virtual void Invalidate() {}
    // Second step, in tab order once every page has forgotten and the graph shows nothing: choose
    // again from what the registry and the scenes hold now.
    virtual void Revalidate() {}
    // Per paint of the curve panel while the page is shown, before the graph is copied to it.
    virtual void OnPanelPaint() {}
    // In every page, after the window made pCurve the graph's curve (null: none), whichever page
    // chose it.
    virtual void OnCurveShown(KU_VertexInterpolation* /*pCurve*/) {}

    forms::TabPage* GetTabPage() const { return m_pTabPage; }
    bool IsShown() const;

protected:
    KG_InterpolationEditorDialog& m_rDialog;
    forms::TabPage* m_pTabPage; // not owned: a child of the window's tab control
};

} // namespace K_GUI
