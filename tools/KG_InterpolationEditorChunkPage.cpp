#include "tools/KG_InterpolationEditorChunkPage.h"

#include "framework/core/KU_FileUtilities.h"
#include "render/scene/KR_Scene.h"
#include "timing/KU_VertexInterpolation.h"
#include "tools/KG_EditorCalculations.h"
#include "tools/KG_EditorChunkLists.h"
#include "tools/KG_EditorSceneSource.h"
#include "tools/KG_EditorShell.h"
#include "tools/KG_InterpolationEditorDialog.h"

#include <algorithm>
#include <cstdint>
#include <strings.h>

namespace K_GUI
{

namespace
{

std::string ToStd(const KB_String& s)
{
    return s.GetBuffer() != nullptr ? std::string(s.GetBuffer(), s.GetLength()) : std::string();
}

} // namespace

KG_InterpolationEditorChunkPage::KG_InterpolationEditorChunkPage(KG_InterpolationEditorDialog& dialog,
                                                                 forms::TabPage* pPage)
    : KG_InterpolationEditorPage(dialog, pPage)
{
    pPage->AddNew<forms::Label>("chunkSceneLabel", "Scene")->SetBounds({6, 9, 60, 13});
    m_pSceneComboBox = pPage->AddNew<forms::ComboBox>("chunkSceneComboBox");
    m_pSceneComboBox->SetDropDownStyle(forms::ComboBoxStyle::DropDownList);
    m_pSceneComboBox->SetBounds({70, 6, 200, 21});
    pPage->AddNew<forms::Label>("chunksIncludedLabel", "Included")->SetBounds({6, 33, 100, 13});
    m_pIncludedListBox = pPage->AddNew<forms::ListBox>("chunkListBoxCurrentScene");
    m_pIncludedListBox->SetBounds({6, 50, 250, 200});
    m_pIncludedListBox->SetSelectionMode(forms::SelectionMode::One);
    pPage->AddNew<forms::Label>("chunksExcludedLabel", "Excluded")->SetBounds({310, 33, 100, 13});
    m_pAvailableListBox = pPage->AddNew<forms::ListBox>("chunkListBoxAvailable");
    m_pAvailableListBox->SetBounds({310, 50, 250, 200});
    m_pAvailableListBox->SetSorted(true);
    m_pAvailableListBox->SetSelectionMode(forms::SelectionMode::One);
    forms::Button* pAdd = pPage->AddNew<forms::Button>("chunkAddChunkButton", "<-");
    pAdd->SetBounds({262, 90, 42, 23});
    forms::Button* pRemove = pPage->AddNew<forms::Button>("chunkRemoveChunkButton", "->");
    pRemove->SetBounds({262, 120, 42, 23});
    pPage->AddNew<forms::Label>("chunkInterpolationNameLabel", "Interpolation Name")
        ->SetBounds({570, 33, 150, 13});
    m_pNameTextBox = pPage->AddNew<forms::TextBox>("chunkInterpolationTextBox");
    m_pNameTextBox->SetBounds({570, 50, 200, 20});
    pPage->AddNew<forms::Label>("chunkInterpolationPathLabel", "Interpolation Path")
        ->SetBounds({570, 76, 150, 13});
    m_pPathTextBox = pPage->AddNew<forms::TextBox>("chunkInterpolationPathTextBox");
    m_pPathTextBox->SetBounds({570, 93, 200, 20});
    forms::Button* pOpen = pPage->AddNew<forms::Button>("chunkOpenInterpolationButton", "Open Int");
    pOpen->SetBounds({570, 120, 100, 23});
    forms::Button* pSave = pPage->AddNew<forms::Button>("chunkSaveButton", "Save");
    pSave->SetBounds({570, 150, 100, 23});

    m_pSceneComboBox->SelectedIndexChanged.Add([this](forms::Control&, forms::EventArgs&)
                                               { OnSceneChosen(); });
    m_pIncludedListBox->SelectedIndexChanged.Add([this](forms::Control&, forms::EventArgs&)
                                                 { OnIncludedChosen(); });
    pAdd->Click.Add([this](forms::Control&, forms::EventArgs&) { OnAdd(); });
    pRemove->Click.Add([this](forms::Control&, forms::EventArgs&) { OnRemove(); });
    pSave->Click.Add([this](forms::Control&, forms::EventArgs&) { OnSave(); });
    pOpen->Click.Add([this](forms::Control&, forms::EventArgs&) { OnOpen(); });
}

void KG_InterpolationEditorChunkPage::FillSceneList()
{
    const KB_GrowingArray<KR_Scene*> gScenes = m_rDialog.GetSceneSource().GetAllScenes();
    forms::Event<forms::EventArgs>::Suppression guard(m_pSceneComboBox->SelectedIndexChanged);
    m_pSceneComboBox->GetItems().Clear();
    for (std::uint32_t i = 0; i < gScenes.GetNumMembers(); ++i)
        m_pSceneComboBox->GetItems().Add(gScenes[i] != nullptr ? ToStd(gScenes[i]->GetSceneName()) : "");
}

void KG_InterpolationEditorChunkPage::OnEnter()
{
    m_rDialog.SetCheckBoxesFromFlags(KG_InterpolationEditorDialog::FLAG_SHOW_X |
                                     KG_InterpolationEditorDialog::FLAG_SNAP);
    if (m_pSceneComboBox->GetItems().GetCount() == 0 || m_pScene == nullptr)
    {
        FillSceneList();
        KR_Scene* pCurrent = m_rDialog.GetSceneSource().GetCurrentScene();
        const KB_GrowingArray<KR_Scene*> gScenes = m_rDialog.GetSceneSource().GetAllScenes();
        int iIndex = gScenes.GetNumMembers() > 0 ? 0 : -1;
        for (std::uint32_t i = 0; i < gScenes.GetNumMembers(); ++i)
            if (gScenes[i] == pCurrent)
                iIndex = int(i);
        // The scene is chosen once below, whether or not the index changes.
        {
            forms::Event<forms::EventArgs>::Suppression guard(m_pSceneComboBox->SelectedIndexChanged);
            m_pSceneComboBox->SetSelectedIndex(iIndex);
        }
        OnSceneChosen();
    }
    if (m_pIncludedListBox->GetItems().GetCount() > 0 && m_pIncludedListBox->GetSelectedIndex() < 0)
        m_pIncludedListBox->SetSelectedIndex(0);
    m_rDialog.ShowCurve(nullptr);
}

void KG_InterpolationEditorChunkPage::OnSceneChosen()
{
    m_pScene = nullptr;
    const int iIndex = m_pSceneComboBox->GetSelectedIndex();
    const KB_GrowingArray<KR_Scene*> gScenes = m_rDialog.GetSceneSource().GetAllScenes();
    if (iIndex >= 0 && std::uint32_t(iIndex) < gScenes.GetNumMembers())
        m_pScene = gScenes[std::uint32_t(iIndex)];

    {
        forms::Event<forms::EventArgs>::Suppression guard(m_pIncludedListBox->SelectedIndexChanged);
        m_pIncludedListBox->GetItems().Clear();
    }
    m_aIncludedFiles.clear();
    m_pNameTextBox->SetText("");
    m_pAvailableListBox->GetItems().Clear();
    m_pPathTextBox->SetText("");
    if (m_pScene == nullptr)
    {
        m_rDialog.ShowCurve(nullptr);
        return;
    }

    KB_GrowingArray<KB_String> gNames;
    m_pScene->ParseChunkList(m_pScene->GetChunkListFileName(), gNames);
    std::vector<std::uint32_t> aHashes;
    {
        forms::Event<forms::EventArgs>::Suppression guard(m_pIncludedListBox->SelectedIndexChanged);
        for (std::uint32_t i = 0; i < gNames.GetNumMembers(); ++i)
        {
            const KB_String sFile = KG_EditorChunkLists::StripPrefix(gNames[i]);
            m_pIncludedListBox->GetItems().Add(ToStd(KG_EditorChunkLists::LowerAscii(sFile)));
            m_aIncludedFiles.push_back(ToStd(sFile));
            aHashes.push_back(KG_EditorChunkLists::Hash(KG_EditorChunkLists::LowerAscii(gNames[i])));
        }
    }
    const KB_GrowingArray<KB_String>& gAll = KG_EditorChunkLists::GetAllAvailableChunks();
    const KB_GrowingArray<std::uint32_t>& gHashes = KG_EditorChunkLists::GetAllAvailableChunkHashes();
    for (std::uint32_t i = 0; i < gAll.GetNumMembers(); ++i)
        if (std::find(aHashes.begin(), aHashes.end(), gHashes[i]) == aHashes.end())
            m_pAvailableListBox->GetItems().Add(ToStd(KG_EditorChunkLists::StripPrefix(gAll[i])));

    m_pPathTextBox->SetText("Assets/Entities/" + ToStd(m_pScene->GetSceneName()) + "/Interpolations/" +
                            ToStd(m_pScene->GetChunkInterpolationsPath()));
    if (m_pIncludedListBox->GetItems().GetCount() > 0)
        m_pIncludedListBox->SetSelectedIndex(0);
    else
        m_rDialog.ShowCurve(nullptr);
}

std::string KG_InterpolationEditorChunkPage::CurvePathOf(const std::string& sFile) const
{
    return m_pPathTextBox->GetText() +
           ToStd(KU_FileUtilities::ExtractFilename(KU_FileUtilities::ReplaceExtension(sFile.c_str(), "int")));
}

int KG_InterpolationEditorChunkPage::FindSceneCurve(const std::string& sCurvePath) const
{
    if (m_pScene == nullptr)
        return -1;
    KB_GrowingArray<KU_VertexInterpolation*>& gCurves = m_pScene->GetChunkInterpolations();
    for (std::uint32_t i = 0; i < gCurves.GetNumMembers(); ++i)
        if (gCurves[i] != nullptr && gCurves[i]->GetFilePath().CompareNoCase(sCurvePath.c_str()) == 0)
            return int(i);
    return -1;
}

void KG_InterpolationEditorChunkPage::OnIncludedChosen()
{
    m_rDialog.ShowCurve(nullptr);
    const int iIndex = m_pIncludedListBox->GetSelectedIndex();
    if (iIndex < 0 || std::size_t(iIndex) >= m_aIncludedFiles.size() || m_pScene == nullptr)
    {
        if (iIndex < 0 && m_pIncludedListBox->GetItems().GetCount() > 0)
        {
            m_pIncludedListBox->SetSelectedIndex(0);
            return;
        }
        m_pNameTextBox->SetText("");
        return;
    }
    const std::string& sFile = m_aIncludedFiles[std::size_t(iIndex)];
    const std::string sCurvePath = CurvePathOf(sFile);
    // The scene's own curves tell whether the chunk is in: a chunk included but not saved yet
    // must not be added a second time.
    if (FindSceneCurve(sCurvePath) < 0)
        KG_EditorCalculations::AddChunkToScene(m_pScene, sFile.c_str());
    m_pNameTextBox->SetText(sCurvePath.substr(m_pPathTextBox->GetText().size()));
    const int iCurve = FindSceneCurve(sCurvePath);
    m_rDialog.ShowCurve(iCurve >= 0 ? m_pScene->GetChunkInterpolations()[std::uint32_t(iCurve)] : nullptr);
}

void KG_InterpolationEditorChunkPage::OnAdd()
{
    const int iIndex = m_pAvailableListBox->GetSelectedIndex();
    if (iIndex < 0 || m_pScene == nullptr)
        return;
    const std::string sDisplay = m_pAvailableListBox->GetItems()[iIndex];
    const KB_String sLowerPath = KB_String(KG_EditorChunkLists::LOWER_PREFIX) + sDisplay.c_str();
    const KB_GrowingArray<KB_String>& gAll = KG_EditorChunkLists::GetAllAvailableChunks();
    const KB_GrowingArray<KB_String>& gFiles = KG_EditorChunkLists::GetAllAvailableChunkFiles();
    std::string sFile = sDisplay;
    for (std::uint32_t i = 0; i < gAll.GetNumMembers(); ++i)
        if (gAll[i] == sLowerPath)
        {
            sFile = ToStd(gFiles[i]);
            break;
        }
    m_pAvailableListBox->GetItems().RemoveAt(iIndex);
    {
        forms::Event<forms::EventArgs>::Suppression guard(m_pIncludedListBox->SelectedIndexChanged);
        m_pIncludedListBox->GetItems().Add(sDisplay);
    }
    m_aIncludedFiles.push_back(sFile);
    m_pIncludedListBox->SetSelectedIndex(m_pIncludedListBox->GetItems().GetCount() - 1);
}

void KG_InterpolationEditorChunkPage::OnRemove()
{
    const std::vector<int> aSelected = m_pIncludedListBox->GetSelectedIndices();
    if (aSelected.empty() || m_pScene == nullptr)
        return;
    std::vector<KU_VertexInterpolation*> aRemoved;
    for (auto it = aSelected.rbegin(); it != aSelected.rend(); ++it)
    {
        const int iIndex = *it;
        if (iIndex < 0 || std::size_t(iIndex) >= m_aIncludedFiles.size())
            continue;
        const std::string sFile = m_aIncludedFiles[std::size_t(iIndex)];
        const std::string sDisplay = m_pIncludedListBox->GetItems()[iIndex];
        {
            forms::Event<forms::EventArgs>::Suppression guard(m_pIncludedListBox->SelectedIndexChanged);
            m_pIncludedListBox->GetItems().RemoveAt(iIndex);
        }
        m_aIncludedFiles.erase(m_aIncludedFiles.begin() + iIndex);
        m_pAvailableListBox->GetItems().Add(sDisplay);
        // By path: a chunk never added to the scene (selected never) has no curve to remove.
        const int iCurve = FindSceneCurve(CurvePathOf(sFile));
        if (iCurve >= 0)
            if (KU_VertexInterpolation* pCurve =
                    KG_EditorCalculations::RemoveChunkFromScene(m_pScene, std::uint32_t(iCurve)))
                aRemoved.push_back(pCurve);
    }
    KR_Scene* pScene = m_pScene;
    if (!aRemoved.empty())
    {
        // Every window drops what it shows before the curves go; that forgets this page's scene.
        m_rDialog.ShowCurve(nullptr);
        m_rDialog.InvalidateEverywhere(aRemoved);
        for (KU_VertexInterpolation* pCurve : aRemoved)
            delete pCurve;
        m_pScene = pScene;
    }
    m_pNameTextBox->SetText("");
    if (m_pIncludedListBox->GetItems().GetCount() > 0)
        m_pIncludedListBox->SetSelectedIndex(0);
    else
        m_rDialog.ShowCurve(nullptr);
}

void KG_InterpolationEditorChunkPage::OnSave()
{
    if (m_pScene == nullptr)
        return;
    KB_GrowingArray<KB_String> gLines;
    for (const std::string& sFile : m_aIncludedFiles)
        gLines.Add(KB_String(KG_EditorChunkLists::WORLD_MODEL_FOLDER) + sFile.c_str());
    m_pScene->WriteChunkList(m_pScene->GetChunkListFileName(), gLines);
    KB_GrowingArray<KU_VertexInterpolation*>& gCurves = m_pScene->GetChunkInterpolations();
    for (std::uint32_t i = 0; i < gCurves.GetNumMembers(); ++i)
        if (gCurves[i] != nullptr)
            gCurves[i]->Save();
}

void KG_InterpolationEditorChunkPage::OnOpen()
{
    tools_openFile((m_pPathTextBox->GetText() + m_pNameTextBox->GetText()).c_str());
}

} // namespace K_GUI
