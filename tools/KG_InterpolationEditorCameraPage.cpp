#include "tools/KG_InterpolationEditorCameraPage.h"

#include "platform/forms/FormsMessageBox.h"
#include "render/camera/KR_AnimatedCamera.h"
#include "render/scene/KR_Scene.h"
#include "timing/KU_VertexInterpolation.h"
#include "tools/KG_EditorCalculations.h"
#include "tools/KG_EditorParsing.h"
#include "tools/KG_EditorSceneSource.h"
#include "tools/KG_InterpolationEditorDialog.h"

#include <algorithm>
#include <vector>

namespace K_GUI
{

namespace
{

constexpr const char* UNSET_DATA = "Unset Data Warning";
constexpr const char* BAD_DATA = "Bad Data Warning";

std::string ToStd(const KB_String& s)
{
    return s.GetBuffer() != nullptr ? std::string(s.GetBuffer(), s.GetLength()) : std::string();
}

const forms::CultureInfo& EnUs()
{
    static const forms::CultureInfo culture("en-US");
    return culture;
}

void Warn(const char* pText, const char* pCaption)
{
    forms::MessageBox::Show(pText, pCaption, forms::MessageBoxButtons::OK, forms::MessageBoxIcon::Warning);
}

} // namespace

KG_InterpolationEditorCameraPage::KG_InterpolationEditorCameraPage(KG_InterpolationEditorDialog& dialog,
                                                                   forms::TabPage* pPage)
    : KG_InterpolationEditorPage(dialog, pPage)
{
    m_pCameraComboBox = pPage->AddNew<forms::ComboBox>("cameraComboBox");
    m_pCameraComboBox->SetDropDownStyle(forms::ComboBoxStyle::DropDownList);
    m_pCameraComboBox->SetSorted(true);
    m_pCameraComboBox->SetBounds({6, 6, 400, 21});
    m_pCurveComboBox = pPage->AddNew<forms::ComboBox>("cameraInterpolationComboBox");
    m_pCurveComboBox->SetDropDownStyle(forms::ComboBoxStyle::DropDownList);
    m_pCurveComboBox->SetSorted(true);
    m_pCurveComboBox->SetBounds({6, 33, 400, 21});
    m_pDebugTextBox = pPage->AddNew<forms::TextBox>("cameraDebugStringTextBox");
    m_pDebugTextBox->SetBounds({6, 60, 400, 20});
    pPage->AddNew<forms::Label>("camerStartTimeLabel", "Start Time")->SetBounds({6, 89, 60, 13});
    m_pStartTextBox = pPage->AddNew<forms::TextBox>("cameraStartTimeTextBox");
    m_pStartTextBox->SetBounds({70, 86, 80, 20});
    pPage->AddNew<forms::Label>("cameraEndTimeLabel", "End Time")->SetBounds({160, 89, 60, 13});
    m_pEndTextBox = pPage->AddNew<forms::TextBox>("cameraEndTimeTextBox");
    m_pEndTextBox->SetBounds({224, 86, 80, 20});
    forms::Button* pSave = pPage->AddNew<forms::Button>("cameraSaveButton", "&Save");
    pSave->SetBounds({420, 6, 100, 23});
    forms::Button* pDelete = pPage->AddNew<forms::Button>("cameraDeleteButton", "&Del");
    pDelete->SetBounds({420, 35, 100, 23});
    forms::Button* pZoom = pPage->AddNew<forms::Button>("cameraZoomExtendsButton", "&Zoom Extends");
    pZoom->SetBounds({420, 64, 100, 23});

    forms::GroupBox* pNew = pPage->AddNew<forms::GroupBox>("cameraNewGroupBox", "");
    pNew->SetBounds({6, 115, 520, 150});
    struct Field
    {
        const char* pName;
        const char* pLabelName;
        const char* pLabel;
        const char* pText;
    };
    const Field aFields[7] = {
        {"cameraNewStartTimeTextBox", "cameraNewStartTimeLabel", "Start Time", ""},
        {"cameraNewEndTimeTextBox", "cameraNewEndTimeLabel", "End Time", ""},
        {"cameraNewStartPosTextBox", "cameraNewStartPosLabel", "Camera Pos Start", "0 0 0"},
        {"cameraNewEndPosTextBox", "cameraNewEndPosLabel", "Camera Pos End", "0 0 0"},
        {"cameraNewTargetStartPosTextBox", "cameraNewTargetStartPosLabel", "Target Pos Start", "0 0 0"},
        {"cameraNewTargetEndPosTextBox", "cameraNewTargetEndPosLabel", "Target Pos End", "0 0 0"},
        {"timeSlicingTextBox", "timeSlicingLabel", "Slicing", "1"},
    };
    forms::TextBox* apBoxes[7] = {};
    for (int i = 0; i < 7; ++i)
    {
        pNew->AddNew<forms::Label>(aFields[i].pLabelName, aFields[i].pLabel)
            ->SetBounds({6, 18 + 18 * i, 100, 13});
        apBoxes[i] = pNew->AddNew<forms::TextBox>(aFields[i].pName, aFields[i].pText);
        apBoxes[i]->SetBounds({110, 15 + 18 * i, 150, 18});
    }
    m_pNewStartTextBox = apBoxes[0];
    m_pNewEndTextBox = apBoxes[1];
    for (int i = 0; i < 4; ++i)
    {
        m_apNewPositionTextBoxes[i] = apBoxes[2 + i];
        forms::Button* pSample = pNew->AddNew<forms::Button>("samplePosButton" + std::to_string(i + 1), "X");
        pSample->SetBounds({265, 15 + 18 * (2 + i), 20, 18});
        forms::TextBox* pBox = apBoxes[2 + i];
        pSample->Click.Add([this, pBox](forms::Control&, forms::EventArgs&) { OnSamplePosition(pBox); });
    }
    m_pSlicingTextBox = apBoxes[6];
    forms::Button* pCreate = pNew->AddNew<forms::Button>("cameraCreateButton", "&Create Camera");
    pCreate->SetBounds({300, 15, 120, 23});

    m_pCameraComboBox->DropDown.Add([this](forms::Control&, forms::EventArgs&) { Refill(); });
    m_pCameraComboBox->SelectedIndexChanged.Add([this](forms::Control&, forms::EventArgs&)
                                                { OnCameraChosen(); });
    m_pCurveComboBox->SelectedIndexChanged.Add([this](forms::Control&, forms::EventArgs&)
                                               { OnCurveChosen(); });
    m_uiStartToken = m_pStartTextBox->TextChanged.Add([this](forms::Control&, forms::EventArgs&)
                                                      { OnTimeChanged(m_pStartTextBox, true); });
    m_uiEndToken = m_pEndTextBox->TextChanged.Add([this](forms::Control&, forms::EventArgs&)
                                                  { OnTimeChanged(m_pEndTextBox, false); });
    m_pStartTextBox->Leave.Add([this](forms::Control&, forms::EventArgs&)
                               { OnTimeLeave(m_pStartTextBox, true); });
    m_pEndTextBox->Leave.Add([this](forms::Control&, forms::EventArgs&)
                             { OnTimeLeave(m_pEndTextBox, false); });
    pSave->Click.Add([this](forms::Control&, forms::EventArgs&) { OnSave(); });
    pDelete->Click.Add([this](forms::Control&, forms::EventArgs&) { OnDelete(); });
    pZoom->Click.Add(
        [this](forms::Control&, forms::EventArgs&)
        {
            m_rDialog.GetEditorCalculations()->ZoomExtends(true, true, true);
            m_rDialog.UpdateVisualisation(true);
        });
    pCreate->Click.Add([this](forms::Control&, forms::EventArgs&) { OnCreate(); });
    m_pCurveComboBox->SetEnabled(false);
}

void KG_InterpolationEditorCameraPage::FillCameraList(KR_Scene* pScene)
{
    const std::string sSelected = m_pCameraComboBox->GetSelectedItem();
    {
        forms::Event<forms::EventArgs>::Suppression guard(m_pCameraComboBox->SelectedIndexChanged);
        m_pCameraComboBox->GetItems().Clear();
        m_pListScene = pScene;
        if (pScene != nullptr)
        {
            KB_GrowingArray<KR_AnimatedCamera*>& gCameras = pScene->GetAnimatedCameras();
            for (std::uint32_t i = 0; i < gCameras.GetNumMembers(); ++i)
                if (gCameras[i] != nullptr)
                    m_pCameraComboBox->GetItems().Add(ToStd(gCameras[i]->GetCameraFilePath()));
        }
        m_pCameraComboBox->SetMaxDropDownItems(std::clamp(m_pCameraComboBox->GetItems().GetCount(), 3, 30));
        // The camera chosen before when it is still listed, else the first.
        const int iSelected = sSelected.empty() ? -1 : m_pCameraComboBox->GetItems().IndexOf(sSelected);
        m_pCameraComboBox->SetSelectedIndex(
            iSelected >= 0 || m_pCameraComboBox->GetItems().GetCount() == 0 ? iSelected : 0);
    }
    // The same camera keeps its curve; any other (or none, or one read again by a reload, which
    // was forgotten) is chosen anew.
    if (m_pCurrentAnimatedCamera == nullptr || m_pCameraComboBox->GetSelectedItem() != sSelected)
        OnCameraChosen();
}

void KG_InterpolationEditorCameraPage::Refill()
{
    FillCameraList(m_rDialog.GetSceneSource().GetCurrentScene());
}

void KG_InterpolationEditorCameraPage::OnEnter()
{
    if (m_pCameraComboBox->GetItems().GetCount() == 0)
        Refill();
    else if (m_pCurrentAnimatedCamera == nullptr)
        OnCameraChosen();
    m_rDialog.ShowCurve(m_pVertexInterpolationCameraTab);
    RefreshFields();
}

void KG_InterpolationEditorCameraPage::Invalidate()
{
    m_pCurrentAnimatedCamera = nullptr;
    m_pVertexInterpolationCameraTab = nullptr;
}

void KG_InterpolationEditorCameraPage::Revalidate()
{
    // The scenes outlive a reload; their cameras do not. With no camera held, the refill chooses
    // one and, when shown, puts its curve in the graph.
    KR_Scene* pScene = GetListScene();
    FillCameraList(pScene != nullptr ? pScene : m_rDialog.GetSceneSource().GetCurrentScene());
}

void KG_InterpolationEditorCameraPage::OnCameraChosen()
{
    m_pCurrentAnimatedCamera = nullptr;
    m_pVertexInterpolationCameraTab = nullptr;
    if (IsShown())
        m_rDialog.ShowCurve(nullptr);
    const std::string sPath = m_pCameraComboBox->GetSelectedItem();
    // The entries name cameras of the scene listed, which may no longer be the current one.
    KR_Scene* pScene = GetListScene();
    if (pScene != nullptr && !sPath.empty())
    {
        KB_GrowingArray<KR_AnimatedCamera*>& gCameras = pScene->GetAnimatedCameras();
        for (std::uint32_t i = 0; i < gCameras.GetNumMembers() && m_pCurrentAnimatedCamera == nullptr; ++i)
            if (gCameras[i] != nullptr && ToStd(gCameras[i]->GetCameraFilePath()) == sPath)
                m_pCurrentAnimatedCamera = gCameras[i];
    }
    {
        forms::Event<forms::EventArgs>::Suppression guard(m_pCurveComboBox->SelectedIndexChanged);
        m_pCurveComboBox->GetItems().Clear();
        if (m_pCurrentAnimatedCamera != nullptr)
        {
            if (m_pCurrentAnimatedCamera->GetCameraRailInterpolation() != nullptr)
                m_pCurveComboBox->GetItems().Add(ToStd(m_pCurrentAnimatedCamera->GetCameraRailPath()));
            if (m_pCurrentAnimatedCamera->GetCameraTargetRailInterpolation() != nullptr)
                m_pCurveComboBox->GetItems().Add(ToStd(m_pCurrentAnimatedCamera->GetCameraTargetRailPath()));
            if (m_pCurrentAnimatedCamera->GetFOVInterpolation() != nullptr)
                m_pCurveComboBox->GetItems().Add(ToStd(m_pCurrentAnimatedCamera->GetFOVInterpolationPath()));
        }
    }
    m_pCurveComboBox->SetEnabled(m_pCurrentAnimatedCamera != nullptr);
    if (m_pCurrentAnimatedCamera != nullptr && m_pCurveComboBox->GetItems().GetCount() > 0)
    {
        // Chosen even when the index stays 0: the entry names another camera's curve now.
        forms::Event<forms::EventArgs>::Suppression guard(m_pCurveComboBox->SelectedIndexChanged);
        m_pCurveComboBox->SetSelectedIndex(0);
    }
    OnCurveChosen();
}

void KG_InterpolationEditorCameraPage::OnCurveChosen()
{
    m_pVertexInterpolationCameraTab = nullptr;
    const std::string sEntry = m_pCurveComboBox->GetSelectedItem();
    if (m_pCurrentAnimatedCamera != nullptr && !sEntry.empty())
    {
        if (sEntry == ToStd(m_pCurrentAnimatedCamera->GetCameraRailPath()))
            m_pVertexInterpolationCameraTab = m_pCurrentAnimatedCamera->GetCameraRailInterpolation();
        else if (sEntry == ToStd(m_pCurrentAnimatedCamera->GetCameraTargetRailPath()))
            m_pVertexInterpolationCameraTab = m_pCurrentAnimatedCamera->GetCameraTargetRailInterpolation();
        else if (sEntry == ToStd(m_pCurrentAnimatedCamera->GetFOVInterpolationPath()))
            m_pVertexInterpolationCameraTab = m_pCurrentAnimatedCamera->GetFOVInterpolation();
    }
    if (IsShown())
        m_rDialog.ShowCurve(m_pVertexInterpolationCameraTab);
    RefreshFields();
}

void KG_InterpolationEditorCameraPage::RefreshFields()
{
    forms::Event<forms::EventArgs>::Suppression startGuard(m_pStartTextBox->TextChanged, m_uiStartToken);
    forms::Event<forms::EventArgs>::Suppression endGuard(m_pEndTextBox->TextChanged, m_uiEndToken);
    const bool bCamera = m_pCurrentAnimatedCamera != nullptr;
    m_pDebugTextBox->SetText(bCamera ? ToStd(m_pCurrentAnimatedCamera->GetDebugName()) : "");
    m_pStartTextBox->SetText(
        bCamera ? forms::Double::ToString(m_pCurrentAnimatedCamera->GetStartTime(), "G", EnUs()) : "");
    m_pEndTextBox->SetText(
        bCamera ? forms::Double::ToString(m_pCurrentAnimatedCamera->GetEndTime(), "G", EnUs()) : "");
    m_pDebugTextBox->SetEnabled(bCamera);
    m_pStartTextBox->SetEnabled(bCamera);
    m_pEndTextBox->SetEnabled(bCamera);
}

void KG_InterpolationEditorCameraPage::OnTimeChanged(forms::TextBox* pBox, bool bStart)
{
    double fTime = 0.0;
    if (m_pCurrentAnimatedCamera == nullptr ||
        !KG_EditorParsing::TryParseDouble(pBox->GetText(), EnUs(), &fTime))
        return;
    // The camera's own setters rescale its curves with it.
    if (bStart)
        m_pCurrentAnimatedCamera->SetStartTime(fTime);
    else
        m_pCurrentAnimatedCamera->SetEndTime(fTime);
}

void KG_InterpolationEditorCameraPage::OnTimeLeave(forms::TextBox* pBox, bool bStart)
{
    double fTime = 0.0;
    if (m_pCurrentAnimatedCamera == nullptr ||
        KG_EditorParsing::TryParseDouble(pBox->GetText(), EnUs(), &fTime))
        return;
    forms::Event<forms::EventArgs>::Suppression guard(pBox->TextChanged,
                                                      bStart ? m_uiStartToken : m_uiEndToken);
    pBox->SetText(forms::Double::ToString(bStart ? m_pCurrentAnimatedCamera->GetStartTime()
                                                 : m_pCurrentAnimatedCamera->GetEndTime(),
                                          "G", EnUs()));
}

void KG_InterpolationEditorCameraPage::OnSave()
{
    if (m_pCurrentAnimatedCamera == nullptr)
        return;
    m_pCurrentAnimatedCamera->SetDebugName(KB_String(m_pDebugTextBox->GetText().c_str()));
    m_pCurrentAnimatedCamera->SaveCameraToFile(m_pCurrentAnimatedCamera->GetCameraFilePath());
    // A curve file that could not be written keeps the unsaved-changes protection.
    if (m_pVertexInterpolationCameraTab != nullptr && m_pVertexInterpolationCameraTab->Save())
        m_rDialog.OnCurveSaved(m_pVertexInterpolationCameraTab);
}

KR_Scene* KG_InterpolationEditorCameraPage::GetListScene() const
{
    const KB_GrowingArray<KR_Scene*> gScenes = m_rDialog.GetSceneSource().GetAllScenes();
    for (std::uint32_t i = 0; i < gScenes.GetNumMembers(); ++i)
        if (gScenes[i] == m_pListScene && m_pListScene != nullptr)
            return m_pListScene;
    return nullptr;
}

KR_Scene* KG_InterpolationEditorCameraPage::FindSceneHolding(KR_AnimatedCamera* pCamera) const
{
    const KB_GrowingArray<KR_Scene*> gScenes = m_rDialog.GetSceneSource().GetAllScenes();
    for (std::uint32_t i = 0; i < gScenes.GetNumMembers(); ++i)
    {
        if (gScenes[i] == nullptr)
            continue;
        KB_GrowingArray<KR_AnimatedCamera*>& gCameras = gScenes[i]->GetAnimatedCameras();
        for (std::uint32_t k = 0; k < gCameras.GetNumMembers(); ++k)
            if (gCameras[k] == pCamera)
                return gScenes[i];
    }
    return nullptr;
}

void KG_InterpolationEditorCameraPage::OnDelete()
{
    const int iIndex = m_pCameraComboBox->GetSelectedIndex();
    if (iIndex < 0 || m_pCurrentAnimatedCamera == nullptr)
        return;
    if (m_pCameraComboBox->GetItems().GetCount() == 1)
    {
        forms::MessageBox::Show(LAST_CAMERA_TEXT, "Error", forms::MessageBoxButtons::OK,
                                forms::MessageBoxIcon::Warning);
        return;
    }
    // Through the scene that holds the camera; a camera no scene holds touches no file.
    KR_Scene* pScene = FindSceneHolding(m_pCurrentAnimatedCamera);
    if (pScene == nullptr || !pScene->DeleteCamera(m_pCurrentAnimatedCamera))
        return;
    m_pCurrentAnimatedCamera = nullptr;
    m_pVertexInterpolationCameraTab = nullptr;
    m_rDialog.ShowCurve(nullptr);
    // The camera and its curves are gone: no window may keep pointing at them. This page, too,
    // lists its scene's cameras again and chooses the first (the deleted one is not listed).
    m_rDialog.InvalidateEverywhere();
    m_rDialog.GetEditorCalculations()->ResetVertexInterpolationChanged();
}

void KG_InterpolationEditorCameraPage::OnCreate()
{
    KG_EditorSceneSource::NewCamera camera;
    if (!KG_EditorParsing::TryParseDouble(m_pNewStartTextBox->GetText(), EnUs(), &camera.fStart))
    {
        Warn("Could not convert Camera Start Time to a double. No Camera created.", UNSET_DATA);
        return;
    }
    if (!KG_EditorParsing::TryParseDouble(m_pNewEndTextBox->GetText(), EnUs(), &camera.fEnd))
    {
        Warn("Could not convert Camera End Time to a double. No Camera created.", UNSET_DATA);
        return;
    }
    if (!(camera.fEnd > camera.fStart))
    {
        Warn("Camera End Time must be larger than Camera Start Time. No Camera created.", BAD_DATA);
        return;
    }
    if (!KG_EditorParsing::TryParseDouble(m_pSlicingTextBox->GetText(), EnUs(), &camera.fSlicing))
    {
        Warn("Could not convert Time Slicing value to a double. No Camera created.", UNSET_DATA);
        return;
    }
    DirectX::XMFLOAT3* apTargets[4] = {&camera.cameraStart, &camera.cameraEnd, &camera.targetStart,
                                       &camera.targetEnd};
    const char* apLabels[4] = {"Camera Pos Start", "Camera Pos End", "Target Pos Start", "Target Pos End"};
    for (int i = 0; i < 4; ++i)
        if (!KG_EditorParsing::ParseVector(m_apNewPositionTextBoxes[i]->GetText(), apLabels[i],
                                           &apTargets[i]->x, &apTargets[i]->y, &apTargets[i]->z))
            return;
    const std::vector<std::string> aBefore(m_pCameraComboBox->GetItems().begin(),
                                           m_pCameraComboBox->GetItems().end());
    if (!m_rDialog.GetSceneSource().CreateNewCameraInterpolation(camera))
        return;
    Refill();
    // The new camera is the entry that was not listed before (the sorted list puts "...100"
    // before "...99", so the last entry is not always the new one).
    int iNew = m_pCameraComboBox->GetItems().GetCount() - 1;
    for (int i = 0; i < m_pCameraComboBox->GetItems().GetCount(); ++i)
        if (std::find(aBefore.begin(), aBefore.end(), m_pCameraComboBox->GetItems()[i]) == aBefore.end())
            iNew = i;
    if (iNew >= 0)
        m_pCameraComboBox->SetSelectedIndex(iNew);
}

void KG_InterpolationEditorCameraPage::OnSamplePosition(forms::TextBox* pBox)
{
    const DirectX::XMFLOAT3 position = m_rDialog.GetSceneSource().GetFreeCameraPosition();
    pBox->SetText(KG_EditorParsing::FormatVector(position.x, position.y, position.z));
}

} // namespace K_GUI
