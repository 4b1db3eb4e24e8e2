#pragma once
// The "Lights" page of the editor window: the current scene's omni and spot lights, their curves
// (strength, position rail, target rail, colour) in the window's graph, their values in boxes that
// follow the production time on every paint of the curve panel, and making, saving and deleting
// lights and their curves.
//
// Edits go to the light chosen in the list, checked to be still held by the listed scene before
// every use (another window may have deleted it); a light that went re-lists the page. A light is
// deleted through the scene holding it, and afterwards every open window drops what it held.
// Main thread only.

#include "framework/core/KB_String.h"
#include "platform/forms/FormsForm.h"
#include "platform/forms/FormsLists.h"
#include "platform/forms/FormsWidgets.h"
#include "tools/KG_InterpolationEditorPage.h"

#include <cstdint>
#include <string>
#include <vector>

class KR_LightBase;
class KR_Scene;
class KR_SpotLight;
class KU_VertexInterpolation;

namespace K_GUI
{

class KG_InterpolationEditorLightPage : public KG_InterpolationEditorPage
{
public:
    KG_InterpolationEditorLightPage(KG_InterpolationEditorDialog& dialog, forms::TabPage* pPage);

    // The page became the shown one; a light picked in the 3D view meanwhile is selected.
    void OnEnter() override;
    void OnLeave() override;
    // Every engine pointer is forgotten (a reload or a deletion in some window), the pick too.
    void Invalidate() override;
    // Per paint of the curve panel while the page is shown.
    void OnPanelPaint() override;
    // "Zoom Extends" works while the graph has a curve.
    void OnCurveShown(KU_VertexInterpolation* pCurve) override;
    // A light picked in the 3D view: selected when the page shows (at once when shown).
    void OnLightPicked(KR_LightBase* pLight);

    KR_LightBase* GetPendingLight() const { return m_pPendingLight; }
    KU_VertexInterpolation* GetCurve() const { return m_pVertexInterpolationLightsTab; }
    // The list entry of a spot light's shadow-map side: log2(side) - 7 for 128..2048, else -1.
    static int ResolutionEntry(std::uint32_t uiSide);

private:
    // Entering, with the light picked meanwhile (or null).
    void Enter(KR_LightBase* pPending);
    void FillLightList();
    void OnLightChosen();
    void OnCurveChosen();
    void RefreshLiveFields();
    void RefreshAllFields();
    bool CheckLight();
    KR_SpotLight* GetSpot() const;
    bool IsOmni() const;
    KR_Scene* FindSceneHolding(KR_LightBase* pLight) const;
    void ApplyEdit(forms::TextBox* pBox);
    void OnShadowBiasLeave();
    void OnResolutionChosen();
    void OnVolumeChanged();
    void OnTubeChanged();
    void OnNewCurve();
    void OnNewLight(bool bSpot);
    void OnSave();
    void OnDelete();
    void OnOpen();
    void SetBox(forms::TextBox* pBox, const std::string& sText);
    forms::TextBox* AddBox(forms::TabPage* pPage, const char* pName, int iX, int iY, int iWidth = 60);
    // The constructor's stages after the light and curve lists: the value column's boxes, then
    // the buttons with every control's events.
    void AddValueBoxes(forms::TabPage* pPage);
    void AddButtons(forms::TabPage* pPage);

    // Not owned: the scene the list shows, the chosen light (highlighted) and its chosen curve.
    KR_Scene* m_pLightTabScene = nullptr;
    KR_LightBase* m_pSelectedLight = nullptr;
    KU_VertexInterpolation* m_pVertexInterpolationLightsTab = nullptr;
    // Parallel to the list: omni lights, then spot lights (not owned).
    std::vector<KR_LightBase*> m_aListed;
    // The chosen entry, selected again when the page shows.
    std::string m_sSelectedLightName;
    // Not owned: picked in the 3D view, not shown yet.
    KR_LightBase* m_pPendingLight = nullptr;
    bool m_bInPaint = false;

    forms::ComboBox* m_pLightComboBox = nullptr;
    forms::ComboBox* m_pCurveComboBox = nullptr;
    forms::ComboBox* m_pResolutionComboBox = nullptr;
    forms::TextBox* m_pDebugTextBox = nullptr;
    forms::TextBox* m_apPosition[3] = {};
    forms::TextBox* m_apTarget[3] = {};
    forms::TextBox* m_apUp[3] = {};
    forms::TextBox* m_apAttenuation[3] = {};
    forms::TextBox* m_pColorTextBox = nullptr;
    forms::TextBox* m_pMaxDistTextBox = nullptr;
    forms::TextBox* m_pStrengthTextBox = nullptr;
    forms::TextBox* m_pSpecularTextBox = nullptr;
    forms::TextBox* m_pNearTextBox = nullptr;
    forms::TextBox* m_pBiasTextBox = nullptr;
    forms::TextBox* m_pFovTextBox = nullptr;
    forms::TextBox* m_pFalloffTextBox = nullptr;
    forms::TextBox* m_pStartTextBox = nullptr;
    forms::TextBox* m_pEndTextBox = nullptr;
    forms::CheckBox* m_pVolumeCheckBox = nullptr;
    forms::CheckBox* m_pTubeCheckBox = nullptr;
    forms::Button* m_pZoomExtendsButton = nullptr;
    forms::Button* m_pNewCurveButton = nullptr;
    forms::Button* m_pOpenButton = nullptr;
    forms::Button* m_pCopyButton = nullptr;
};

} // namespace K_GUI
