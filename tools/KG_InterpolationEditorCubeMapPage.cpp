#include "tools/KG_InterpolationEditorCubeMapPage.h"

#include "framework/app/KE_ApplicationManager.h"
#include "render/device/KR_MaterialManager.h"
#include "render/scene/KR_CubeMapPlacer.h"
#include "render/scene/KR_Scene.h"
#include "timing/KB_CubicBSplineInterpolation.h"
#include "tools/KG_EditorCalculations.h"
#include "tools/KG_EditorParsing.h"
#include "tools/KG_EditorSceneSource.h"
#include "tools/KG_EditorShell.h"
#include "tools/KG_InterpolationEditorDialog.h"

#include <algorithm>

using namespace DirectX;

namespace K_GUI
{

namespace
{

std::string ToStd(const KB_String& s)
{
    return s.GetBuffer() != nullptr ? std::string(s.GetBuffer(), s.GetLength()) : std::string();
}

const forms::CultureInfo& EnUs()
{
    static const forms::CultureInfo culture("en-US");
    return culture;
}

std::string Number(double f)
{
    return forms::Double::ToString(f, "G", EnUs());
}

} // namespace

int KG_InterpolationEditorCubeMapPage::ResolutionEntry(std::uint32_t uiSide)
{
    for (int i = 0; i < 6; ++i)
        if (uiSide == (32u << i))
            return i;
    return -1;
}

KG_InterpolationEditorCubeMapPage::KG_InterpolationEditorCubeMapPage(KG_InterpolationEditorDialog& dialog,
                                                                     forms::TabPage* pPage)
    : KG_InterpolationEditorPage(dialog, pPage)
{
    m_pResolutionComboBox = pPage->AddNew<forms::ComboBox>("cubemapResComboBox");
    m_pResolutionComboBox->SetDropDownStyle(forms::ComboBoxStyle::DropDownList);
    int iRow = 0;
    auto label = [pPage, &iRow](const char* pName, const char* pText) {
        pPage->AddNew<forms::Label>(pName, pText)->SetBounds({6, 9 + 24 * iRow, 80, 13});
    };
    auto box = [this, pPage, &iRow](const char* pName)
    {
        forms::TextBox* pBox = pPage->AddNew<forms::TextBox>(pName);
        pBox->SetBounds({90, 6 + 24 * iRow++, 200, 20});
        pBox->TextChanged.Add([this, pBox](forms::Control&, forms::EventArgs&) { ApplyEdit(pBox); });
        return pBox;
    };
    label("cubemapCubemapsLabel", "Cubemaps");
    m_pListComboBox = pPage->AddNew<forms::ComboBox>("cubemapCubemapsComboBox");
    m_pListComboBox->SetDropDownStyle(forms::ComboBoxStyle::DropDownList);
    m_pListComboBox->SetBounds({90, 6 + 24 * iRow++, 400, 21});
    label("cubemapNameLabel", "Name");
    m_pNameTextBox = box("cubemapNameTextBox");
    label("cubemapPositionLabel", "Position");
    m_pPositionTextBox = box("cubemapPositionTextBox");
    label("cubemapInfluenceLabel", "Influence");
    m_pInfluenceTextBox = box("cubemapInfluenceTextBox");
    label("cubemapTimeLabel", "Time");
    m_pTimeTextBox = box("cubemapTimeTextBox");
    label("cubemapStartLabel", "Start");
    m_pStartTextBox = box("cubemapStartTimeTextBox");
    label("cubemapEndLabel", "End");
    m_pEndTextBox = box("cubemapEndTimeTextBox");
    label("cubemapResolutionLabel", "Resolution");
    m_pResolutionComboBox->SetBounds({90, 6 + 24 * iRow++, 80, 21});
    label("cubemapDDSLabel", "DDS");
    m_pDdsTextBox = box("cubemapDDSTextBox");
    label("cubemapDynamicLabel", "Dynamic");
    m_pDynamicCheckBox = pPage->AddNew<forms::CheckBox>("cubemapDynamicCheckBox");
    m_pDynamicCheckBox->SetBounds({90, 6 + 24 * iRow++, 20, 17});
    label("cubemapInterpolationLabel", "Interpolation");
    m_pRailTextBox = box("cubemapInterpolationTextBox");

    forms::Button* pCreate = pPage->AddNew<forms::Button>("cubemapCreateInterpolationButton", "Create");
    forms::Button* pClear = pPage->AddNew<forms::Button>("cubemapClearInterpolationButton", "Clear");
    forms::Button* pCamPos = pPage->AddNew<forms::Button>("cubemapCamPosButton", "CamPos");
    forms::Button* pTime = pPage->AddNew<forms::Button>("cubemapCurrentTimeButton", "Current Time");
    m_pGenerateButton = pPage->AddNew<forms::Button>("cubemapGenerateButton", "Generate");
    m_pSaveButton = pPage->AddNew<forms::Button>("cubemapSaveButton", "Save");
    m_pRenderButton = pPage->AddNew<forms::Button>("cubemapRenderButton", "Render");
    m_pOpenButton = pPage->AddNew<forms::Button>("cubemapOpenCMPButton", "Open CMP");
    forms::Button* pDebug = pPage->AddNew<forms::Button>("cubemapDebugButton", "Debug");
    int iButton = 0;
    for (forms::Button* pButton : {pCreate, pClear, pCamPos, pTime, m_pGenerateButton, m_pSaveButton,
                                   m_pRenderButton, m_pOpenButton, pDebug})
        pButton->SetBounds({520, 6 + 26 * iButton++, 100, 23});

    m_pListComboBox->DropDown.Add(
        [this](forms::Control&, forms::EventArgs&)
        {
            if (m_pListComboBox->GetItems().GetCount() == 0)
                FillList();
        });
    m_pListComboBox->SelectedIndexChanged.Add([this](forms::Control&, forms::EventArgs&)
                                              { OnEntryChosen(); });
    m_pResolutionComboBox->SelectedIndexChanged.Add([this](forms::Control&, forms::EventArgs&)
                                                    { OnResolutionChosen(); });
    m_pDynamicCheckBox->CheckedChanged.Add([this](forms::Control&, forms::EventArgs&)
                                           { OnDynamicChanged(); });
    pCreate->Click.Add([this](forms::Control&, forms::EventArgs&) { OnCreateRail(); });
    pClear->Click.Add([this](forms::Control&, forms::EventArgs&) { OnClearRail(); });
    pCamPos->Click.Add(
        [this](forms::Control&, forms::EventArgs&)
        {
            const XMFLOAT3 p = m_rDialog.GetSceneSource().GetFreeCameraPosition();
            m_pPositionTextBox->SetText(KG_EditorParsing::FormatVector(p.x, p.y, p.z));
        });
    pTime->Click.Add([this](forms::Control&, forms::EventArgs&)
                     { m_pTimeTextBox->SetText(Number(m_rDialog.GetSceneSource().GetProductionTime())); });
    m_pGenerateButton->Click.Add([this](forms::Control&, forms::EventArgs&) { OnGenerate(); });
    m_pSaveButton->Click.Add([this](forms::Control&, forms::EventArgs&) { OnSave(); });
    m_pRenderButton->Click.Add(
        [this](forms::Control&, forms::EventArgs&)
        {
            if (CheckPlacer())
                Render();
        });
    m_pOpenButton->Click.Add(
        [this](forms::Control&, forms::EventArgs&)
        {
            if (CheckPlacer())
                tools_openFile(ToStd(m_pSelectedCubemap->GetCubeMapPlacerPath()).c_str());
        });
    pDebug->Click.Add([this](forms::Control&, forms::EventArgs&) { OnDebug(); });

    for (unsigned int uiSize : {32u, 64u, 128u, 256u, 512u, 1024u})
        m_pResolutionComboBox->GetItems().Add(std::to_string(uiSize));
    m_pResolutionComboBox->SetMaxDropDownItems(6);
    m_pResolutionComboBox->SetSelectedIndex(m_pResolutionComboBox->GetItems().IndexOf("512"));
}

void KG_InterpolationEditorCubeMapPage::OnCubemapPicked(KR_CubeMapPlacer* pPlacer)
{
    m_pPendingCubemap = pPlacer;
    if (IsShown() && pPlacer != m_pSelectedCubemap)
    {
        m_pPendingCubemap = nullptr;
        Enter(pPlacer);
    }
}

void KG_InterpolationEditorCubeMapPage::SetBox(forms::TextBox* pBox, const std::string& sText)
{
    forms::Event<forms::EventArgs>::Suppression guard(pBox->TextChanged);
    pBox->SetText(sText);
}

std::string KG_InterpolationEditorCubeMapPage::CubeMapPathFor(std::uint32_t uiIndex) const
{
    const KB_String sScene = m_pCubeMapTabScene != nullptr ? m_pCubeMapTabScene->GetSceneName() : KB_String();
    return ToStd(
        KB_String::Formatted("Assets/Textures/Cubemaps/CubeMap_%s_%u.dds", sScene.GetBuffer(), uiIndex));
}

bool KG_InterpolationEditorCubeMapPage::CheckPlacer()
{
    if (m_pSelectedCubemap == nullptr || m_pCubeMapTabScene == nullptr)
        return false;
    const KB_GrowingArray<KR_Scene*> gScenes = m_rDialog.GetSceneSource().GetAllScenes();
    bool bScene = false;
    for (std::uint32_t i = 0; i < gScenes.GetNumMembers(); ++i)
        bScene = bScene || gScenes[i] == m_pCubeMapTabScene;
    KB_GrowingArray<KR_CubeMapPlacer*>* pPlacers =
        bScene ? &m_pCubeMapTabScene->GetCubeMapPlacers() : nullptr;
    for (std::uint32_t i = 0; pPlacers != nullptr && i < pPlacers->GetNumMembers(); ++i)
        if ((*pPlacers)[i] == m_pSelectedCubemap)
            return true;
    m_pSelectedCubemap = nullptr;
    return false;
}

int KG_InterpolationEditorCubeMapPage::PlacerIndex() const
{
    const auto it = std::find(m_aListed.begin(), m_aListed.end(), m_pSelectedCubemap);
    return it != m_aListed.end() ? int(it - m_aListed.begin()) : -1;
}

void KG_InterpolationEditorCubeMapPage::FillList()
{
    m_pCubeMapTabScene = m_rDialog.GetSceneSource().GetCurrentScene();
    m_aListed.clear();
    forms::Event<forms::EventArgs>::Suppression guard(m_pListComboBox->SelectedIndexChanged);
    m_pListComboBox->GetItems().Clear();
    if (m_pCubeMapTabScene != nullptr)
        for (std::uint32_t i = 0; i < m_pCubeMapTabScene->GetCubeMapPlacers().GetNumMembers(); ++i)
        {
            m_aListed.push_back(m_pCubeMapTabScene->GetCubeMapPlacers()[i]);
            m_pListComboBox->GetItems().Add(ToStd(m_aListed.back()->GetCubeMapPlacerPath()));
        }
    m_pListComboBox->GetItems().Add(NEW_ENTRY);
}

void KG_InterpolationEditorCubeMapPage::OnEnter()
{
    KR_CubeMapPlacer* pPending = m_pPendingCubemap;
    m_pPendingCubemap = nullptr;
    Enter(pPending);
}

void KG_InterpolationEditorCubeMapPage::Enter(KR_CubeMapPlacer* pPending)
{
    if (m_pCubeMapTabScene != nullptr && m_pCubeMapTabScene != m_rDialog.GetSceneSource().GetCurrentScene())
    {
        m_pSelectedCubemap = nullptr;
        FillList();
        m_pListComboBox->SetSelectedIndex(0);
        return;
    }
    if (m_pListComboBox->GetItems().GetCount() == 0)
        FillList();
    m_rDialog.ShowCurve(nullptr);
    int iIndex = -1;
    const auto it = std::find(m_aListed.begin(), m_aListed.end(), pPending);
    if (pPending != nullptr && it != m_aListed.end())
        iIndex = int(it - m_aListed.begin());
    else if (!m_sSelectedCubemapName.empty())
        iIndex = m_pListComboBox->GetItems().IndexOf(m_sSelectedCubemapName);
    if (iIndex < 0 || iIndex >= int(m_aListed.size()))
    {
        forms::Event<forms::EventArgs>::Suppression guard(m_pDynamicCheckBox->CheckedChanged);
        m_pDynamicCheckBox->SetChecked(false);
        SetBox(m_pRailTextBox, "");
        iIndex = 0;
    }
    {
        forms::Event<forms::EventArgs>::Suppression guard(m_pListComboBox->SelectedIndexChanged);
        m_pListComboBox->SetSelectedIndex(iIndex);
    }
    OnEntryChosen();
}

void KG_InterpolationEditorCubeMapPage::OnLeave()
{
    if (CheckPlacer())
    {
        m_pSelectedCubemap->SetHighlighted(false);
        m_pSelectedCubemap->SetUseDebugTexture(false);
    }
    m_pSelectedCubemap = nullptr;
    m_bIsCubemapDebugMode = false;
}

void KG_InterpolationEditorCubeMapPage::Invalidate()
{
    m_pPendingCubemap = nullptr;
    m_pSelectedCubemap = nullptr;
    m_pCubeMapTabScene = nullptr;
    m_aListed.clear();
    forms::Event<forms::EventArgs>::Suppression guard(m_pListComboBox->SelectedIndexChanged);
    m_pListComboBox->GetItems().Clear();
}

void KG_InterpolationEditorCubeMapPage::OnPanelPaint()
{
    if (m_bInPaint || m_pCubeMapTabScene == m_rDialog.GetSceneSource().GetCurrentScene())
        return;
    m_bInPaint = true;
    if (CheckPlacer())
    {
        m_pSelectedCubemap->SetHighlighted(false);
        m_pSelectedCubemap->SetUseDebugTexture(false);
    }
    m_pSelectedCubemap = nullptr;
    FillList();
    m_pListComboBox->SetSelectedIndex(0);
    m_bInPaint = false;
}

void KG_InterpolationEditorCubeMapPage::OnEntryChosen()
{
    if (CheckPlacer())
    {
        m_pSelectedCubemap->SetHighlighted(false);
        m_pSelectedCubemap->SetUseDebugTexture(false);
    }
    m_pSelectedCubemap = nullptr;
    const int iIndex = m_pListComboBox->GetSelectedIndex();
    if (iIndex < 0 || m_pCubeMapTabScene == nullptr)
        return;
    const double fTime = m_rDialog.GetSceneSource().GetProductionTime();
    XMFLOAT3 position{0.0f, 0.0f, 0.0f};
    std::uint32_t uiSide = 512;
    std::string sName, sCubeMap, sRail;
    double fRenderTime = m_pCubeMapTabScene->GetStartTime();
    double fStart = m_pCubeMapTabScene->GetStartTime();
    double fEnd = m_pCubeMapTabScene->GetEndTime();
    double fInfluence = 1500.0;
    bool bDynamic = false;
    const bool bNew = std::size_t(iIndex) >= m_aListed.size();
    if (bNew)
    {
        position = m_rDialog.GetSceneSource().GetFreeCameraPosition();
        sName = ToStd(KB_String::Formatted("Cube Map Placer %u %s", unsigned(m_aListed.size() + 1),
                                           m_pCubeMapTabScene->GetSceneName().GetBuffer()));
        sCubeMap = CubeMapPathFor(std::uint32_t(m_aListed.size()));
    }
    else
    {
        KR_CubeMapPlacer* pPlacer = m_aListed[std::size_t(iIndex)];
        m_pSelectedCubemap = pPlacer;
        if (!CheckPlacer())
        {
            FillList();
            m_pListComboBox->SetSelectedIndex(0);
            return;
        }
        KG_EditorCalculations::GetCubeMapPlacerPosition(&position.x, &position.y, &position.z, pPlacer,
                                                        fTime);
        uiSide = pPlacer->GetCubeMapResolution().uiWidth;
        sName = ToStd(pPlacer->GetDebugName());
        sCubeMap = ToStd(pPlacer->GetCubeMapPath());
        fRenderTime = pPlacer->GetRenderSynchronizationTime();
        fStart = pPlacer->GetStartTime();
        fEnd = pPlacer->GetEndTime();
        fInfluence = pPlacer->GetCubeMapInfluenceRange();
        sRail = ToStd(pPlacer->GetPositionRailPath());
        bDynamic = pPlacer->IsDynamic();
    }
    SetBox(m_pNameTextBox, sName);
    SetBox(m_pPositionTextBox, KG_EditorParsing::FormatVector(position.x, position.y, position.z));
    SetBox(m_pDdsTextBox, sCubeMap);
    SetBox(m_pTimeTextBox, Number(fRenderTime));
    SetBox(m_pStartTextBox, Number(fStart));
    SetBox(m_pEndTextBox, Number(fEnd));
    SetBox(m_pInfluenceTextBox, Number(fInfluence));
    SetBox(m_pRailTextBox, sRail);
    {
        forms::Event<forms::EventArgs>::Suppression guard(m_pResolutionComboBox->SelectedIndexChanged);
        m_pResolutionComboBox->SetSelectedIndex(ResolutionEntry(uiSide));
    }
    {
        forms::Event<forms::EventArgs>::Suppression guard(m_pDynamicCheckBox->CheckedChanged);
        m_pDynamicCheckBox->SetChecked(bDynamic);
    }
    m_pGenerateButton->SetEnabled(bNew);
    m_pSaveButton->SetEnabled(!bNew);
    m_pRenderButton->SetEnabled(!bNew);
    m_pOpenButton->SetEnabled(!bNew);
    if (m_pSelectedCubemap != nullptr)
    {
        m_sSelectedCubemapName = m_pListComboBox->GetSelectedItem();
        m_pSelectedCubemap->SetHighlighted(true);
        m_pSelectedCubemap->SetUseDebugTexture(m_bIsCubemapDebugMode);
        m_rDialog.ShowCurve(m_pSelectedCubemap->GetPositionRail());
        m_rDialog.NotifyCubemapChosen(m_pSelectedCubemap);
    }
}

void KG_InterpolationEditorCubeMapPage::ApplyEdit(forms::TextBox* pBox)
{
    if (!CheckPlacer())
        return;
    const std::string sText = pBox->GetText();
    if (pBox == m_pNameTextBox)
    {
        m_pSelectedCubemap->SetDebugName(KB_String(sText.c_str()));
        return;
    }
    if (pBox == m_pPositionTextBox)
    {
        // Parsed quietly on every keystroke: half-typed text is simply not applied.
        float afValues[3] = {0.0f, 0.0f, 0.0f};
        if (KG_EditorParsing::TryParseFloats(sText, 3, afValues))
            KG_EditorCalculations::SetCubeMapPlacerPosition(m_pSelectedCubemap, afValues[0], afValues[1],
                                                            afValues[2]);
        return;
    }
    float fValue = 0.0f;
    if (pBox == m_pDdsTextBox || !KG_EditorParsing::TryParseFloat(sText, EnUs(), &fValue))
        return;
    if (pBox == m_pInfluenceTextBox)
        m_pSelectedCubemap->SetCubeMapInfluenceRange(fValue);
    else if (pBox == m_pTimeTextBox)
        m_pSelectedCubemap->SetRenderSynchronizationTime(double(fValue));
    else if (pBox == m_pStartTextBox)
        m_pSelectedCubemap->SetStartTime(double(fValue));
    else if (pBox == m_pEndTextBox)
        m_pSelectedCubemap->SetEndTime(double(fValue));
}

void KG_InterpolationEditorCubeMapPage::OnResolutionChosen()
{
    const int iIndex = m_pResolutionComboBox->GetSelectedIndex();
    if (CheckPlacer() && iIndex >= 0)
        m_pSelectedCubemap->SetCubeMapResolution(32u << iIndex, 32u << iIndex);
}

void KG_InterpolationEditorCubeMapPage::Render()
{
    m_pSelectedCubemap->RenderCubeMap(m_pCubeMapTabScene, m_pSelectedCubemap->GetRenderSynchronizationTime());
}

void KG_InterpolationEditorCubeMapPage::OnGenerate()
{
    if (m_pCubeMapTabScene == nullptr || std::size_t(m_pListComboBox->GetSelectedIndex()) != m_aListed.size())
        return;
    KR_Scene* pScene = m_pCubeMapTabScene;
    const std::uint32_t uiIndex = std::uint32_t(m_aListed.size());
    auto* pPlacer = new KR_CubeMapPlacer();
    pPlacer->SetDebugName(KB_String(m_pNameTextBox->GetText().c_str()));
    const XMFLOAT3 position = m_rDialog.GetSceneSource().GetFreeCameraPosition();
    KG_EditorCalculations::SetCubeMapPlacerPosition(pPlacer, position.x, position.y, position.z);
    const int iResolution = m_pResolutionComboBox->GetSelectedIndex();
    const std::uint32_t uiSide = iResolution >= 0 ? 32u << iResolution : 512u;
    pPlacer->SetCubeMapResolution(uiSide, uiSide);
    float fValue = 0.0f;
    if (KG_EditorParsing::TryParseFloat(m_pTimeTextBox->GetText(), EnUs(), &fValue))
        pPlacer->SetRenderSynchronizationTime(fValue);
    if (KG_EditorParsing::TryParseFloat(m_pStartTextBox->GetText(), EnUs(), &fValue))
        pPlacer->SetStartTime(fValue);
    if (KG_EditorParsing::TryParseFloat(m_pEndTextBox->GetText(), EnUs(), &fValue))
        pPlacer->SetEndTime(fValue);
    if (KG_EditorParsing::TryParseFloat(m_pInfluenceTextBox->GetText(), EnUs(), &fValue))
        pPlacer->SetCubeMapInfluenceRange(fValue);
    const bool bDynamic = m_pDynamicCheckBox->GetChecked();
    if (!bDynamic)
        pPlacer->SetCubeMapPath(CubeMapPathFor(uiIndex).c_str());
    pPlacer->SetDynamic(bDynamic);
    pPlacer->SaveCubeMapPlacerToFile(
        pScene->GetCubeMapPlacersFolder() +
        KB_String::Formatted("%s_CubeMapPlacer%02u.cmp", pScene->GetSceneName().GetBuffer(), uiIndex));
    if (bDynamic)
        pPlacer->ReloadCubeMapPlacer();
    pPlacer->RenderCubeMap(pScene, pPlacer->GetRenderSynchronizationTime());
    pScene->GetCubeMapPlacers().Add(pPlacer);
    m_aListed.push_back(pPlacer);
    {
        forms::Event<forms::EventArgs>::Suppression guard(m_pListComboBox->SelectedIndexChanged);
        m_pListComboBox->GetItems().Insert(int(uiIndex), ToStd(pPlacer->GetCubeMapPlacerPath()));
    }
    m_pListComboBox->SetSelectedIndex(int(uiIndex));
}

void KG_InterpolationEditorCubeMapPage::OnSave()
{
    if (!CheckPlacer())
        return;
    m_pSelectedCubemap->SaveCubeMapPlacerToFile(m_pSelectedCubemap->GetCubeMapPlacerPath());
    Render();
}

void KG_InterpolationEditorCubeMapPage::OnDynamicChanged()
{
    if (!CheckPlacer())
        return;
    m_pSelectedCubemap->SetDynamic(!m_pSelectedCubemap->IsDynamic());
    if (!m_pSelectedCubemap->IsDynamic())
    {
        const int iIndex = PlacerIndex();
        m_pSelectedCubemap->SetCubeMapPath(CubeMapPathFor(std::uint32_t(std::max(iIndex, 0))).c_str());
        SetBox(m_pDdsTextBox, ToStd(m_pSelectedCubemap->GetCubeMapPath()));
        Render();
    }
    // Reading the placer again deletes its rail and reads it from its file.
    RetireRail();
    m_pSelectedCubemap->ReloadCubeMapPlacer();
    if (m_pSelectedCubemap->GetPositionRail() != nullptr)
        m_rDialog.ShowCurve(m_pSelectedCubemap->GetPositionRail());
    OnSave();
}

void KG_InterpolationEditorCubeMapPage::ReplaceRail(const KB_String& sPath, KU_VertexInterpolation* pRail)
{
    KR_CubeMapPlacer* pPlacer = m_pSelectedCubemap;
    RetireRail();
    pPlacer->SetPositionRail(sPath, pRail);
}

void KG_InterpolationEditorCubeMapPage::RetireRail()
{
    // The placer is about to delete its rail: every window lets go of it first.
    KR_CubeMapPlacer* pPlacer = m_pSelectedCubemap;
    KR_Scene* pScene = m_pCubeMapTabScene;
    const std::vector<KR_CubeMapPlacer*> aListed = m_aListed;
    const std::string sSelected = m_pListComboBox->GetSelectedItem();
    m_rDialog.ShowCurve(nullptr);
    // No repaint during the invalidation may choose the placer again (and show the old rail).
    m_bInPaint = true;
    if (pPlacer->GetPositionRail() != nullptr)
        m_rDialog.InvalidateEverywhere({pPlacer->GetPositionRail()});
    m_bInPaint = false;
    // The placer itself lives on: the page keeps it.
    m_pSelectedCubemap = pPlacer;
    m_pCubeMapTabScene = pScene;
    if (m_aListed != aListed)
    {
        FillList();
        forms::Event<forms::EventArgs>::Suppression guard(m_pListComboBox->SelectedIndexChanged);
        m_pListComboBox->SetSelectedIndex(m_pListComboBox->GetItems().IndexOf(sSelected));
    }
}

void KG_InterpolationEditorCubeMapPage::OnCreateRail()
{
    if (!CheckPlacer())
        return;
    const int iIndex = std::max(PlacerIndex(), 0);
    const KB_String sFile =
        KB_String::Formatted("%s%s_CubeMapPlacer%02u_P.int", "Interpolations/",
                             m_pCubeMapTabScene->GetSceneName().GetBuffer(), unsigned(iIndex));
    auto* pRail = new KB_CubicBSplineInterpolation(m_pCubeMapTabScene->GetCubeMapPlacersFolder() + sFile);
    pRail->SetStartTime(m_pCubeMapTabScene->GetStartTime());
    pRail->SetEndTime(m_pCubeMapTabScene->GetEndTime());
    const double fSpan = m_pCubeMapTabScene->GetEndTime() - m_pCubeMapTabScene->GetStartTime();
    for (double fPart : {0.0, 0.25, 0.5, 0.75, 1.0})
        pRail->InsertVertex(XMVectorSet(0, 0, 0, 0), fPart * fSpan);
    pRail->Save();
    ReplaceRail(sFile, pRail);
    SetBox(m_pRailTextBox, ToStd(sFile));
    m_rDialog.ShowCurve(pRail);
}

void KG_InterpolationEditorCubeMapPage::OnClearRail()
{
    if (!CheckPlacer())
        return;
    SetBox(m_pRailTextBox, "");
    ReplaceRail(KB_String(), nullptr);
}

void KG_InterpolationEditorCubeMapPage::OnDebug()
{
    m_bIsCubemapDebugMode = !m_bIsCubemapDebugMode;
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    if (pEngine != nullptr && pEngine->GetMaterialManager() != nullptr)
        pEngine->GetMaterialManager()->ToggleUseDebugMaterial();
    if (CheckPlacer())
    {
        m_pSelectedCubemap->ToggleUseDebugTexture();
        SetBox(m_pDdsTextBox, ToStd(m_pSelectedCubemap->GetCubeMapPath()));
    }
}

} // namespace K_GUI
