#pragma once
// The "Cube Maps" page of the editor window: the current scene's cube-map placers and a "New"
// entry; making a placer where the free camera is, editing, saving and rendering it, giving it a
// position rail or taking it away, and the debug view of the maps.
//
// The position box is read quietly on every change (half-typed text is simply not applied). A
// rail replaced or cleared is first dropped by every open window, as the placer deletes it.
// Main thread only.

#include "framework/core/KB_String.h"
#include "platform/forms/FormsForm.h"
#include "platform/forms/FormsLists.h"
#include "platform/forms/FormsWidgets.h"
#include "tools/KG_InterpolationEditorPage.h"

#include <cstdint>
#include <string>
#include <vector>

class KR_CubeMapPlacer;
class KR_Scene;
class KU_VertexInterpolation;

namespace K_GUI
{

class KG_InterpolationEditorCubeMapPage : public KG_InterpolationEditorPage
{
public:
    static constexpr const char* NEW_ENTRY = "New";

    KG_InterpolationEditorCubeMapPage(KG_InterpolationEditorDialog& dialog, forms::TabPage* pPage);

    // The page became the shown one; a placer picked in the 3D view meanwhile is selected.
    void OnEnter() override;
    void OnLeave() override;
    // Every engine pointer is forgotten (a reload or a deletion in some window), the pick too.
    void Invalidate() override;
    void OnPanelPaint() override;
    // A placer picked in the 3D view: selected when the page shows (at once when shown).
    void OnCubemapPicked(KR_CubeMapPlacer* pPlacer);

    KR_CubeMapPlacer* GetPendingCubemap() const { return m_pPendingCubemap; }

    // The list entry of a placer's side: log2(side) - 5 for 32..1024, else -1.
    static int ResolutionEntry(std::uint32_t uiSide);

private:
    // Entering, with the placer picked meanwhile (or null).
    void Enter(KR_CubeMapPlacer* pPending);
    void FillList();
    void OnEntryChosen();
    void ApplyEdit(forms::TextBox* pBox);
    void OnResolutionChosen();
    void OnGenerate();
    void OnSave();
    void Render();
    void OnDynamicChanged();
    void OnCreateRail();
    void OnClearRail();
    void OnDebug();
    bool CheckPlacer();
    int PlacerIndex() const;
    void ReplaceRail(const KB_String& sPath, KU_VertexInterpolation* pRail);
    // Before the placer deletes its rail (replaced, cleared or read again): no window keeps it,
    // while this page keeps its placer.
    void RetireRail();
    void SetBox(forms::TextBox* pBox, const std::string& sText);
    std::string CubeMapPathFor(std::uint32_t uiIndex) const;

    // Not owned: the scene the list shows and the chosen placer (highlighted).
    KR_Scene* m_pCubeMapTabScene = nullptr;
    KR_CubeMapPlacer* m_pSelectedCubemap = nullptr;
    std::vector<KR_CubeMapPlacer*> m_aListed; // parallel to the list before "New"
    // The chosen entry, selected again when the page shows.
    std::string m_sSelectedCubemapName;
    // Not owned: picked in the 3D view, not shown yet.
    KR_CubeMapPlacer* m_pPendingCubemap = nullptr;
    bool m_bIsCubemapDebugMode = false; // the maps' debug view
    bool m_bInPaint = false;

    forms::ComboBox* m_pListComboBox = nullptr;
    forms::ComboBox* m_pResolutionComboBox = nullptr;
    forms::TextBox* m_pNameTextBox = nullptr;
    forms::TextBox* m_pPositionTextBox = nullptr;
    forms::TextBox* m_pInfluenceTextBox = nullptr;
    forms::TextBox* m_pTimeTextBox = nullptr;
    forms::TextBox* m_pStartTextBox = nullptr;
    forms::TextBox* m_pEndTextBox = nullptr;
    forms::TextBox* m_pDdsTextBox = nullptr;
    forms::TextBox* m_pRailTextBox = nullptr;
    forms::CheckBox* m_pDynamicCheckBox = nullptr;
    forms::Button* m_pGenerateButton = nullptr;
    forms::Button* m_pSaveButton = nullptr;
    forms::Button* m_pRenderButton = nullptr;
    forms::Button* m_pOpenButton = nullptr;
};

} // namespace K_GUI
