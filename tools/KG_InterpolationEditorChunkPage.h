#pragma once
// The "Chunks" page of the editor window: moves world models between those available and those
// included in a scene, creates the visibility curve of a newly included chunk when it is first
// selected, deletes the curve of a removed one, shows the selected chunk's curve in the window's
// graph and writes the scene's chunk list.
//
// The included list keeps each entry's file name as found next to its lower-cased text, and every
// file operation uses the file name. Removal finds the scene's curve by its path, not by the list
// position, so a list file changed since the scene loaded cannot make it delete another chunk's
// curve. Main thread only.

#include "framework/core/KB_String.h"
#include "platform/forms/FormsForm.h"
#include "platform/forms/FormsLists.h"
#include "platform/forms/FormsWidgets.h"
#include "tools/KG_InterpolationEditorPage.h"

#include <string>
#include <vector>

class KR_Scene;
class KU_VertexInterpolation;

namespace K_GUI
{

class KG_InterpolationEditorChunkPage : public KG_InterpolationEditorPage
{
public:
    KG_InterpolationEditorChunkPage(KG_InterpolationEditorDialog& dialog, forms::TabPage* pPage);

    // The page became the shown one. Chunk curves carry their values in x: x and snap are shown,
    // y and z hidden, without touching the remembered choices.
    void OnEnter() override;
    // Every engine pointer is forgotten (a reload or a deletion in some window).
    void Invalidate() override { m_pScene = nullptr; }

private:
    void FillSceneList();
    void OnSceneChosen();
    void OnIncludedChosen();
    void OnAdd();
    void OnRemove();
    void OnSave();
    void OnOpen();
    std::string CurvePathOf(const std::string& sFile) const;
    int FindSceneCurve(const std::string& sCurvePath) const;

    KR_Scene* m_pScene = nullptr; // not owned
    // Parallel to the included list: the model's file name as found (original case).
    std::vector<std::string> m_aIncludedFiles;

    forms::ComboBox* m_pSceneComboBox = nullptr;
    forms::ListBox* m_pIncludedListBox = nullptr;
    forms::ListBox* m_pAvailableListBox = nullptr;
    forms::TextBox* m_pNameTextBox = nullptr;
    forms::TextBox* m_pPathTextBox = nullptr;
};

} // namespace K_GUI
