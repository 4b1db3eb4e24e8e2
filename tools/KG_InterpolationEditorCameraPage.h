#pragma once
// The "Camera" page of the editor window: the current scene's animated cameras and their curves
// (rail, target rail, field of view) in the window's graph, the camera's debug name and times,
// saving and deleting a camera, and making a new one from typed or sampled positions.
//
// Whenever the camera list is filled (by the window's constructor, on entering the page when it is
// empty, on a drop-down, after a reload) a camera is chosen: the one chosen before when it is
// still listed, else the first. Its curves go to the window's graph only while the page is shown.
//
// A camera is deleted through the scene whose arrays hold it (found by pointer), and afterwards
// every open window drops what it held. Main thread only.

#include "framework/core/KB_String.h"
#include "platform/forms/FormsForm.h"
#include "platform/forms/FormsLists.h"
#include "platform/forms/FormsWidgets.h"
#include "tools/KG_InterpolationEditorPage.h"

#include <string>

class KR_AnimatedCamera;
class KR_Scene;
class KU_VertexInterpolation;

namespace K_GUI
{

class KG_InterpolationEditorCameraPage : public KG_InterpolationEditorPage
{
public:
    static constexpr const char* LAST_CAMERA_TEXT = "Cannot delete last camera";

    KG_InterpolationEditorCameraPage(KG_InterpolationEditorDialog& dialog, forms::TabPage* pPage);

    // The page became the shown one: its camera's curve returns to the graph (a camera is chosen
    // first when none is).
    void OnEnter() override;
    // Fills the list from the current scene and chooses a camera.
    void Refill();
    // Every engine pointer is forgotten (a reload or a deletion in some window).
    void Invalidate() override;
    // The list is filled again from the scene it showed (the current one when that is gone) and
    // a camera chosen; a shown page keeps the graph on it.
    void Revalidate() override;
    KU_VertexInterpolation* GetCurve() const { return m_pVertexInterpolationCameraTab; }

private:
    void FillCameraList(KR_Scene* pScene);
    void OnCameraChosen();
    void OnCurveChosen();
    void RefreshFields();
    void OnTimeChanged(forms::TextBox* pBox, bool bStart);
    void OnTimeLeave(forms::TextBox* pBox, bool bStart);
    void OnSave();
    void OnDelete();
    void OnCreate();
    void OnSamplePosition(forms::TextBox* pBox);
    KR_Scene* FindSceneHolding(KR_AnimatedCamera* pCamera) const;
    // The scene the list was filled from, while it is still one of the scenes.
    KR_Scene* GetListScene() const;

    // Not owned: the scene the list was filled from (checked against the scenes before use), the
    // chosen camera and the page's curve, which returns to the graph when the page shows.
    KR_Scene* m_pListScene = nullptr;
    KR_AnimatedCamera* m_pCurrentAnimatedCamera = nullptr;
    KU_VertexInterpolation* m_pVertexInterpolationCameraTab = nullptr;

    forms::ComboBox* m_pCameraComboBox = nullptr;
    forms::ComboBox* m_pCurveComboBox = nullptr;
    forms::TextBox* m_pDebugTextBox = nullptr;
    forms::TextBox* m_pStartTextBox = nullptr;
    forms::TextBox* m_pEndTextBox = nullptr;
    forms::EventToken m_uiStartToken = 0;
    forms::EventToken m_uiEndToken = 0;
    forms::TextBox* m_pNewStartTextBox = nullptr;
    forms::TextBox* m_pNewEndTextBox = nullptr;
    forms::TextBox* m_apNewPositionTextBoxes[4] = {nullptr, nullptr, nullptr, nullptr};
    forms::TextBox* m_pSlicingTextBox = nullptr;
};

} // namespace K_GUI
