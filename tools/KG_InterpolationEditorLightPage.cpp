#include "tools/KG_InterpolationEditorLightPage.h"

#include "framework/core/KB_Color.h"
#include "framework/core/KU_FileUtilities.h"
#include "render/light/KR_LightBase.h"
#include "render/light/KR_OmniLight.h"
#include "render/light/KR_SpotLight.h"
#include "render/scene/KR_Scene.h"
#include "timing/KB_CubicBSplineInterpolation.h"
#include "timing/KB_LinearInterpolation.h"
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

constexpr const char* PREFIX_STRENGTH = "sp: ";
constexpr const char* PREFIX_POSITION = "pp: ";
constexpr const char* PREFIX_TARGET = "tp: ";
constexpr const char* PREFIX_COLOR = "cp: ";
constexpr std::size_t PREFIX_LENGTH = 4;

std::string ToStd(const KB_String& s)
{
    return s.GetBuffer() != nullptr ? std::string(s.GetBuffer(), s.GetLength()) : std::string();
}

const forms::CultureInfo& EnUs()
{
    static const forms::CultureInfo culture("en-US");
    return culture;
}

std::string Number(float f)
{
    return forms::Single::ToString(f, "G", EnUs());
}

bool StartsWith(const std::string& s, const char* pPrefix)
{
    return s.rfind(pPrefix, 0) == 0;
}

// The light's position and target at a production time, through the editor's accessors.
XMFLOAT3 PositionAt(KR_LightBase* pLight, double fTime)
{
    XMFLOAT3 v(0.0f, 0.0f, 0.0f);
    KG_EditorCalculations::GetLightBaseLightPosition(&v.x, &v.y, &v.z, pLight, fTime);
    return v;
}

XMFLOAT3 TargetAt(KR_LightBase* pLight, double fTime)
{
    XMFLOAT3 v(0.0f, 0.0f, 0.0f);
    KG_EditorCalculations::GetLightTargetPosition(&v.x, &v.y, &v.z, pLight, fTime);
    return v;
}

// The labels of the value column, one row each, with their tool tips.
void AddLabels(forms::TabPage* pPage, forms::ToolTip& toolTip)
{
    struct LabelInfo
    {
        const char* pName;
        const char* pText;
        const char* pTip;
    };
    const LabelInfo aLabels[] = {
        {"lightPositionLabel", "pv", "Light Position"},
        {"lightTargetLabel", "tv", "Target of Spotlight"},
        {"lightUpVecLabel", "upv", "Up Vector of Spotlight"},
        {"lightColorLabel", "cv", "Light Colour (web colour)"},
        {"lightAttenuationLabel", "av", "Attenuation (constant, linear, quadratic)"},
        {"lightMaxDistLabel", "lm", "Max Distance"},
        {"lightStrengthLabel", "ls", "Strength of Light"},
        {"lightSpecularLabel", "lss", "Specular Strength of Light"},
        {"lightNearDistLabel", "ln", "Near Distance of Spotlight"},
        {"lightShadowBiasLabel", "lb", "Shadow Bias of Spotlight, base + adaptive width"},
        {"lightFOVLabel", "lf", "FOV of Spotlight, in degrees"},
        {"lightFOVFalloffLabel", "lff", "FOV Falloff in degrees"},
        {"lightShadowMapResLabel", "res", "Shadow Map Resolution"},
        {"lightVolumetricLabel", "vol", "Used in Volumelight PostFX"},
        {"lightTubeLabel", "tube", ""},
        {"lightStartTimeLabel", "Start Time", ""},
        {"lightEndTimeLabel", "End Time", ""},
    };
    int iRow = 0;
    for (const LabelInfo& label : aLabels)
    {
        forms::Label* pLabel = pPage->AddNew<forms::Label>(label.pName, label.pText);
        pLabel->SetBounds({420, 6 + 16 * iRow++, 40, 13});
        if (*label.pTip != '\0')
            toolTip.SetToolTip(pLabel, label.pTip);
    }
}

} // namespace

int KG_InterpolationEditorLightPage::ResolutionEntry(std::uint32_t uiSide)
{
    // Only the listed sides have an entry; anything else (a hand-edited file) selects nothing.
    for (int i = 0; i < 5; ++i)
        if (uiSide == (128u << i))
            return i;
    return -1;
}

forms::TextBox* KG_InterpolationEditorLightPage::AddBox(forms::TabPage* pPage, const char* pName, int iX,
                                                        int iY, int iWidth)
{
    forms::TextBox* pBox = pPage->AddNew<forms::TextBox>(pName);
    pBox->SetBounds({iX, iY, iWidth, 20});
    pBox->TextChanged.Add([this, pBox](forms::Control&, forms::EventArgs&) { ApplyEdit(pBox); });
    return pBox;
}

KG_InterpolationEditorLightPage::KG_InterpolationEditorLightPage(KG_InterpolationEditorDialog& dialog,
                                                                 forms::TabPage* pPage)
    : KG_InterpolationEditorPage(dialog, pPage)
{
    forms::ToolTip& toolTip = dialog.GetToolTip();
    m_pResolutionComboBox = pPage->AddNew<forms::ComboBox>("lightShadowMapResComboBox");
    m_pResolutionComboBox->SetDropDownStyle(forms::ComboBoxStyle::DropDownList);
    m_pZoomExtendsButton = pPage->AddNew<forms::Button>("lightZoomExtendsButton", "&Zoom Extends");
    m_pZoomExtendsButton->Click.Add(
        [this](forms::Control&, forms::EventArgs&)
        {
            m_rDialog.GetEditorCalculations()->ZoomExtends(true, true, true);
            m_rDialog.UpdateVisualisation(true);
        });
    m_pLightComboBox = pPage->AddNew<forms::ComboBox>("lightComboBox");
    m_pLightComboBox->SetDropDownStyle(forms::ComboBoxStyle::DropDownList);
    m_pLightComboBox->SetBounds({6, 6, 400, 21});
    m_pCurveComboBox = pPage->AddNew<forms::ComboBox>("lightInterpolationComboBox");
    m_pCurveComboBox->SetDropDownStyle(forms::ComboBoxStyle::DropDownList);
    m_pCurveComboBox->SetBounds({6, 33, 400, 21});
    m_pDebugTextBox = AddBox(pPage, "lightDebugStringTextBox", 6, 60, 400);

    AddLabels(pPage, toolTip);
    AddValueBoxes(pPage);
    AddButtons(pPage);

    for (unsigned int uiSize : {128u, 256u, 512u, 1024u, 2048u})
        m_pResolutionComboBox->GetItems().Add(std::to_string(uiSize));
    m_pResolutionComboBox->SetMaxDropDownItems(5);
    m_pResolutionComboBox->SetSelectedIndex(0);
}

void KG_InterpolationEditorLightPage::AddValueBoxes(forms::TabPage* pPage)
{
    const char* aAxes = "XYZ";
    for (int i = 0; i < 3; ++i)
    {
        const std::string sAxis(1, aAxes[i]);
        m_apPosition[i] = AddBox(pPage, ("lightPosition" + sAxis + "TextBox").c_str(), 470 + 62 * i, 6);
        m_apTarget[i] = AddBox(pPage, ("lightTarget" + sAxis + "TextBox").c_str(), 470 + 62 * i, 22);
        m_apUp[i] = AddBox(pPage, ("lightUpVec" + sAxis + "TextBox").c_str(), 470 + 62 * i, 38);
    }
    m_pColorTextBox = AddBox(pPage, "lightColorTextBox", 470, 54);
    const char* apAttenuation[3] = {"lightAttenuationConstantTextBox", "lightAttenuationLinearTextBox",
                                    "lightAttenuationQuadraticTextBox"};
    for (int i = 0; i < 3; ++i)
        m_apAttenuation[i] = AddBox(pPage, apAttenuation[i], 470 + 62 * i, 70);
    m_pMaxDistTextBox = AddBox(pPage, "lightMaxDistTextBox", 470, 86);
    m_pStrengthTextBox = AddBox(pPage, "lightStrengthTextBox", 470, 102);
    m_pSpecularTextBox = AddBox(pPage, "lightSpecularTextBox", 470, 118);
    m_pNearTextBox = AddBox(pPage, "lightNearDistTextBox", 470, 134);
    // The bias is two numbers: read when the box is left, with a message when they do not parse.
    m_pBiasTextBox = pPage->AddNew<forms::TextBox>("lightShadowBiasTextBox");
    m_pBiasTextBox->SetBounds({470, 150, 120, 20});
    m_pBiasTextBox->Leave.Add([this](forms::Control&, forms::EventArgs&) { OnShadowBiasLeave(); });
    m_pFovTextBox = AddBox(pPage, "lightFOVTextBox", 470, 166);
    m_pFalloffTextBox = AddBox(pPage, "lightFOVFalloffTextBox", 470, 182);
    m_pResolutionComboBox->SetBounds({470, 198, 80, 21});
    m_pVolumeCheckBox = pPage->AddNew<forms::CheckBox>("lightVolumetricCheckBox");
    m_pVolumeCheckBox->SetBounds({470, 214, 20, 17});
    m_pTubeCheckBox = pPage->AddNew<forms::CheckBox>("lightTubeCheckBox");
    m_pTubeCheckBox->SetBounds({470, 230, 20, 17});
    m_pStartTextBox = AddBox(pPage, "lightStartTimeTextBox", 470, 246);
    m_pEndTextBox = AddBox(pPage, "lightEndTimeTextBox", 540, 246);
}

void KG_InterpolationEditorLightPage::AddButtons(forms::TabPage* pPage)
{
    forms::Button* pOmni = pPage->AddNew<forms::Button>("lightCreateOmniButton", "OMNI");
    forms::Button* pSpot = pPage->AddNew<forms::Button>("lightCreateSpotButton", "SPOT");
    m_pNewCurveButton = pPage->AddNew<forms::Button>("lightCreateIntButton", "New Int");
    m_pCopyButton = pPage->AddNew<forms::Button>("lightCreateCopyButton", "Create Copy");
    forms::Button* pSave = pPage->AddNew<forms::Button>("lightSaveButton", "Save");
    forms::Button* pDelete = pPage->AddNew<forms::Button>("lightDeleteButton", "Del");
    m_pOpenButton = pPage->AddNew<forms::Button>("lightOpenInterpolationButton", "Open Int");
    int iButton = 0;
    for (forms::Button* pButton :
         {pOmni, pSpot, m_pNewCurveButton, m_pCopyButton, pSave, pDelete, m_pOpenButton})
        pButton->SetBounds({6 + 80 * iButton++, 90, 75, 23});

    m_pLightComboBox->DropDown.Add([this](forms::Control&, forms::EventArgs&) { FillLightList(); });
    m_pLightComboBox->SelectedIndexChanged.Add([this](forms::Control&, forms::EventArgs&)
                                               { OnLightChosen(); });
    m_pCurveComboBox->SelectedIndexChanged.Add([this](forms::Control&, forms::EventArgs&)
                                               { OnCurveChosen(); });
    m_pResolutionComboBox->SelectedIndexChanged.Add([this](forms::Control&, forms::EventArgs&)
                                                    { OnResolutionChosen(); });
    m_pVolumeCheckBox->CheckedChanged.Add([this](forms::Control&, forms::EventArgs&) { OnVolumeChanged(); });
    m_pTubeCheckBox->CheckedChanged.Add([this](forms::Control&, forms::EventArgs&) { OnTubeChanged(); });
    pOmni->Click.Add([this](forms::Control&, forms::EventArgs&) { OnNewLight(false); });
    pSpot->Click.Add([this](forms::Control&, forms::EventArgs&) { OnNewLight(true); });
    m_pNewCurveButton->Click.Add([this](forms::Control&, forms::EventArgs&) { OnNewCurve(); });
    pSave->Click.Add([this](forms::Control&, forms::EventArgs&) { OnSave(); });
    pDelete->Click.Add([this](forms::Control&, forms::EventArgs&) { OnDelete(); });
    m_pOpenButton->Click.Add([this](forms::Control&, forms::EventArgs&) { OnOpen(); });
    // "Create Copy" has no action: what a copy of a light holds is not settled.
}

void KG_InterpolationEditorLightPage::OnCurveShown(KU_VertexInterpolation* pCurve)
{
    m_pZoomExtendsButton->SetEnabled(pCurve != nullptr);
}

void KG_InterpolationEditorLightPage::OnLightPicked(KR_LightBase* pLight)
{
    m_pPendingLight = pLight;
    if (IsShown() && pLight != m_pSelectedLight)
    {
        m_pPendingLight = nullptr;
        Enter(pLight);
    }
}

void KG_InterpolationEditorLightPage::SetBox(forms::TextBox* pBox, const std::string& sText)
{
    forms::Event<forms::EventArgs>::Suppression guard(pBox->TextChanged);
    pBox->SetText(sText);
}

KR_Scene* KG_InterpolationEditorLightPage::FindSceneHolding(KR_LightBase* pLight) const
{
    if (pLight == nullptr)
        return nullptr;
    const KB_GrowingArray<KR_Scene*> gScenes = m_rDialog.GetSceneSource().GetAllScenes();
    for (std::uint32_t i = 0; i < gScenes.GetNumMembers(); ++i)
    {
        KR_Scene* pScene = gScenes[i];
        if (pScene == nullptr)
            continue;
        for (std::uint32_t k = 0; k < pScene->GetOmniLights().GetNumMembers(); ++k)
            if (pScene->GetOmniLights()[k] == pLight)
                return pScene;
        for (std::uint32_t k = 0; k < pScene->GetSpotLights().GetNumMembers(); ++k)
            if (pScene->GetSpotLights()[k] == pLight)
                return pScene;
    }
    return nullptr;
}

bool KG_InterpolationEditorLightPage::CheckLight()
{
    if (m_pSelectedLight == nullptr)
        return false;
    if (FindSceneHolding(m_pSelectedLight) == m_pLightTabScene)
        return true;
    // Deleted elsewhere, or its scene went: never write through the stale pointer.
    m_pSelectedLight = nullptr;
    m_pVertexInterpolationLightsTab = nullptr;
    FillLightList();
    return false;
}

KR_SpotLight* KG_InterpolationEditorLightPage::GetSpot() const
{
    return dynamic_cast<KR_SpotLight*>(m_pSelectedLight);
}

bool KG_InterpolationEditorLightPage::IsOmni() const
{
    return dynamic_cast<KR_OmniLight*>(m_pSelectedLight) != nullptr;
}

void KG_InterpolationEditorLightPage::FillLightList()
{
    KR_Scene* pScene = m_rDialog.GetSceneSource().GetCurrentScene();
    m_pLightTabScene = pScene;
    m_aListed.clear();
    const std::string sSelected = m_pLightComboBox->GetSelectedItem();
    {
        forms::Event<forms::EventArgs>::Suppression guard(m_pLightComboBox->SelectedIndexChanged);
        m_pLightComboBox->GetItems().Clear();
        if (pScene != nullptr)
        {
            for (std::uint32_t i = 0; i < pScene->GetOmniLights().GetNumMembers(); ++i)
                m_aListed.push_back(pScene->GetOmniLights()[i]);
            for (std::uint32_t i = 0; i < pScene->GetSpotLights().GetNumMembers(); ++i)
                m_aListed.push_back(pScene->GetSpotLights()[i]);
        }
        for (KR_LightBase* pLight : m_aListed)
            m_pLightComboBox->GetItems().Add(ToStd(pLight->GetLightPath()));
        m_pLightComboBox->SetMaxDropDownItems(std::clamp(m_pLightComboBox->GetItems().GetCount(), 3, 30));
    }
    // The chosen light keeps its entry when it is still listed.
    const auto it = std::find(m_aListed.begin(), m_aListed.end(), m_pSelectedLight);
    if (m_pSelectedLight != nullptr && it != m_aListed.end() &&
        sSelected == ToStd(m_pSelectedLight->GetLightPath()))
    {
        forms::Event<forms::EventArgs>::Suppression guard(m_pLightComboBox->SelectedIndexChanged);
        m_pLightComboBox->SetSelectedIndex(int(it - m_aListed.begin()));
        return;
    }
    if (m_pSelectedLight != nullptr)
        m_pSelectedLight->SetHighlighted(false);
    m_pSelectedLight = nullptr;
    m_pVertexInterpolationLightsTab = nullptr;
    if (!m_aListed.empty())
        m_pLightComboBox->SetSelectedIndex(0);
    else
        m_rDialog.ShowCurve(nullptr);
}

void KG_InterpolationEditorLightPage::OnEnter()
{
    KR_LightBase* pPending = m_pPendingLight;
    m_pPendingLight = nullptr;
    Enter(pPending);
}

void KG_InterpolationEditorLightPage::Enter(KR_LightBase* pPending)
{
    KR_Scene* pCurrent = m_rDialog.GetSceneSource().GetCurrentScene();
    if (m_pLightTabScene != nullptr && m_pLightTabScene != pCurrent)
    {
        m_pSelectedLight = nullptr;
        FillLightList();
        return;
    }
    if (m_pLightComboBox->GetItems().GetCount() == 0)
        FillLightList();
    KR_LightBase* pWanted = pPending != nullptr ? pPending : nullptr;
    const auto it = std::find(m_aListed.begin(), m_aListed.end(), pWanted);
    if (pWanted != nullptr && it != m_aListed.end())
    {
        m_pLightComboBox->SetSelectedIndex(int(it - m_aListed.begin()));
        return;
    }
    const int iRemembered =
        m_sSelectedLightName.empty() ? -1 : m_pLightComboBox->GetItems().IndexOf(m_sSelectedLightName);
    if (iRemembered >= 0)
    {
        // Chosen again even when already selected: the light was forgotten on leaving.
        forms::Event<forms::EventArgs>::Suppression guard(m_pLightComboBox->SelectedIndexChanged);
        m_pLightComboBox->SetSelectedIndex(iRemembered);
    }
    else if (m_pLightComboBox->GetItems().GetCount() > 0)
    {
        forms::Event<forms::EventArgs>::Suppression guard(m_pLightComboBox->SelectedIndexChanged);
        m_pLightComboBox->SetSelectedIndex(0);
    }
    OnLightChosen();
}

void KG_InterpolationEditorLightPage::OnLeave()
{
    if (m_pSelectedLight != nullptr && FindSceneHolding(m_pSelectedLight) != nullptr)
        m_pSelectedLight->SetHighlighted(false);
    m_pSelectedLight = nullptr;
}

void KG_InterpolationEditorLightPage::Invalidate()
{
    m_pPendingLight = nullptr;
    m_pLightTabScene = nullptr;
    m_pSelectedLight = nullptr;
    m_pVertexInterpolationLightsTab = nullptr;
    m_aListed.clear();
    forms::Event<forms::EventArgs>::Suppression guard(m_pLightComboBox->SelectedIndexChanged);
    m_pLightComboBox->GetItems().Clear();
}

void KG_InterpolationEditorLightPage::OnLightChosen()
{
    if (m_pSelectedLight != nullptr && FindSceneHolding(m_pSelectedLight) != nullptr)
        m_pSelectedLight->SetHighlighted(false);
    m_pSelectedLight = nullptr;
    m_pVertexInterpolationLightsTab = nullptr;
    m_rDialog.ShowCurve(nullptr);
    const int iIndex = m_pLightComboBox->GetSelectedIndex();
    if (iIndex < 0 || std::size_t(iIndex) >= m_aListed.size())
        return;
    // The listed light must still be held by the listed scene.
    if (FindSceneHolding(m_aListed[std::size_t(iIndex)]) != m_pLightTabScene || m_pLightTabScene == nullptr)
    {
        FillLightList();
        return;
    }
    m_pSelectedLight = m_aListed[std::size_t(iIndex)];
    KR_SpotLight* pSpot = GetSpot();
    KR_OmniLight* pOmni = dynamic_cast<KR_OmniLight*>(m_pSelectedLight);
    const bool bTube = pOmni != nullptr && pOmni->IsUsedAsTubeLight();
    {
        forms::Event<forms::EventArgs>::Suppression guard(m_pTubeCheckBox->CheckedChanged);
        m_pTubeCheckBox->SetChecked(bTube);
    }
    m_pTubeCheckBox->SetEnabled(pOmni != nullptr);
    for (int i = 0; i < 3; ++i)
    {
        m_apTarget[i]->SetEnabled(pSpot != nullptr || bTube);
        m_apUp[i]->SetEnabled(pSpot != nullptr);
    }
    for (forms::Control* pControl : std::initializer_list<forms::Control*>{
             m_pNearTextBox, m_pBiasTextBox, m_pFovTextBox, m_pFalloffTextBox, m_pResolutionComboBox})
        pControl->SetEnabled(pSpot != nullptr);
    m_pCopyButton->SetEnabled(true);

    {
        forms::Event<forms::EventArgs>::Suppression guard(m_pCurveComboBox->SelectedIndexChanged);
        m_pCurveComboBox->GetItems().Clear();
        m_pCurveComboBox->GetItems().Add(PREFIX_STRENGTH +
                                         ToStd(m_pSelectedLight->GetStrengthInterpolationPath()));
        m_pCurveComboBox->GetItems().Add(PREFIX_POSITION + ToStd(m_pSelectedLight->GetPositionRailPath()));
        if (pSpot != nullptr || bTube)
            m_pCurveComboBox->GetItems().Add(PREFIX_TARGET + ToStd(m_pSelectedLight->GetTargetRailPath()));
        m_pCurveComboBox->GetItems().Add(PREFIX_COLOR + ToStd(m_pSelectedLight->GetColorInterpolationPath()));
        m_pCurveComboBox->SetMaxDropDownItems(4);
    }
    RefreshAllFields();
    m_sSelectedLightName = m_pLightComboBox->GetSelectedItem();
    m_pCurveComboBox->SetSelectedIndex(0);
    m_pSelectedLight->SetHighlighted(true);
    m_rDialog.NotifyLightChosen(m_pSelectedLight);
}

void KG_InterpolationEditorLightPage::RefreshAllFields()
{
    if (m_pSelectedLight == nullptr)
        return;
    const double fTime = m_rDialog.GetSceneSource().GetProductionTime();
    SetBox(m_pDebugTextBox, ToStd(m_pSelectedLight->GetDebugName()));
    SetBox(m_pStartTextBox, forms::Double::ToString(m_pSelectedLight->GetStartTime(), "G",
                                                    forms::CultureInfo::CurrentCulture()));
    SetBox(m_pEndTextBox, forms::Double::ToString(m_pSelectedLight->GetEndTime(), "G",
                                                  forms::CultureInfo::CurrentCulture()));
    {
        forms::Event<forms::EventArgs>::Suppression guard(m_pVolumeCheckBox->CheckedChanged);
        m_pVolumeCheckBox->SetChecked(m_pSelectedLight->IsUsedAsVolumeLight());
    }
    const XMFLOAT3 target = TargetAt(m_pSelectedLight, fTime);
    const float afTarget[3] = {target.x, target.y, target.z};
    for (int i = 0; i < 3; ++i)
        SetBox(m_apTarget[i], m_apTarget[i]->GetEnabled() ? Number(afTarget[i]) : "");
    if (KR_SpotLight* pSpot = GetSpot())
    {
        forms::Event<forms::EventArgs>::Suppression guard(m_pResolutionComboBox->SelectedIndexChanged);
        m_pResolutionComboBox->SetSelectedIndex(ResolutionEntry(pSpot->GetShadowMapResolution()));
        SetBox(m_pNearTextBox, Number(pSpot->GetNearLightDistance()));
        const XMFLOAT3 up = pSpot->GetUpVector();
        SetBox(m_apUp[0], Number(up.x));
        SetBox(m_apUp[1], Number(up.y));
        SetBox(m_apUp[2], Number(up.z));
        XMFLOAT2 bias{0.0f, 0.0f};
        pSpot->GetShadowBias(&bias);
        m_pBiasTextBox->SetText(Number(bias.x) + " " + Number(bias.y));
        SetBox(m_pFovTextBox, Number(pSpot->GetLightFOV()));
        SetBox(m_pFalloffTextBox, Number(pSpot->GetLightFOVFalloff()));
    }
    else
    {
        for (forms::TextBox* pBox :
             {m_apUp[0], m_apUp[1], m_apUp[2], m_pNearTextBox, m_pFovTextBox, m_pFalloffTextBox})
            SetBox(pBox, "");
        m_pBiasTextBox->SetText("");
        forms::Event<forms::EventArgs>::Suppression guard(m_pResolutionComboBox->SelectedIndexChanged);
        m_pResolutionComboBox->SetSelectedIndex(-1);
    }
    RefreshLiveFields();
}

void KG_InterpolationEditorLightPage::RefreshLiveFields()
{
    if (m_pSelectedLight == nullptr)
        return;
    const double fTime = m_rDialog.GetSceneSource().GetProductionTime();
    // A group one of whose boxes has the keyboard focus is being typed into: left alone.
    auto focused = [](std::initializer_list<forms::TextBox*> boxes)
    { return std::any_of(boxes.begin(), boxes.end(), [](forms::TextBox* p) { return p->IsFocused(); }); };
    if (!focused({m_apPosition[0], m_apPosition[1], m_apPosition[2]}))
    {
        const XMFLOAT3 position = PositionAt(m_pSelectedLight, fTime);
        SetBox(m_apPosition[0], Number(position.x));
        SetBox(m_apPosition[1], Number(position.y));
        SetBox(m_apPosition[2], Number(position.z));
    }
    if (!focused({m_pColorTextBox}))
    {
        KB_Color color;
        m_pSelectedLight->GetLightColor(&color, fTime);
        SetBox(m_pColorTextBox, ToStd(color.GetWebColorRGB()));
    }
    if (!focused({m_apAttenuation[0], m_apAttenuation[1], m_apAttenuation[2]}))
    {
        XMFLOAT3 attenuation{0.0f, 0.0f, 0.0f};
        m_pSelectedLight->GetLightAttenuation(&attenuation);
        SetBox(m_apAttenuation[0], Number(attenuation.x));
        SetBox(m_apAttenuation[1], Number(attenuation.y));
        SetBox(m_apAttenuation[2], Number(attenuation.z));
    }
    if (!focused({m_pMaxDistTextBox}))
        SetBox(m_pMaxDistTextBox, Number(m_pSelectedLight->GetMaxLightDistance(fTime)));
    if (!focused({m_pStrengthTextBox}))
        SetBox(m_pStrengthTextBox, Number(m_pSelectedLight->GetLightStrength(fTime)));
    if (!focused({m_pSpecularTextBox}))
        SetBox(m_pSpecularTextBox, Number(m_pSelectedLight->GetLightSpecularStrength(fTime)));
    if (m_apTarget[0]->GetEnabled() && !focused({m_apTarget[0], m_apTarget[1], m_apTarget[2]}))
    {
        const XMFLOAT3 target = TargetAt(m_pSelectedLight, fTime);
        SetBox(m_apTarget[0], Number(target.x));
        SetBox(m_apTarget[1], Number(target.y));
        SetBox(m_apTarget[2], Number(target.z));
    }
}

void KG_InterpolationEditorLightPage::OnPanelPaint()
{
    if (m_bInPaint)
        return;
    m_bInPaint = true;
    KR_Scene* pCurrent = m_rDialog.GetSceneSource().GetCurrentScene();
    if (pCurrent != m_pLightTabScene)
    {
        if (m_pSelectedLight != nullptr && FindSceneHolding(m_pSelectedLight) != nullptr)
            m_pSelectedLight->SetHighlighted(false);
        m_pSelectedLight = nullptr;
        FillLightList();
    }
    else if (CheckLight())
        RefreshLiveFields();
    m_bInPaint = false;
}

void KG_InterpolationEditorLightPage::OnCurveChosen()
{
    m_pVertexInterpolationLightsTab = nullptr;
    const std::string sEntry = m_pCurveComboBox->GetSelectedItem();
    const bool bBare = sEntry.size() <= PREFIX_LENGTH;
    m_pNewCurveButton->SetEnabled(bBare && !sEntry.empty());
    m_pOpenButton->SetEnabled(!bBare);
    const bool bStrength = StartsWith(sEntry, PREFIX_STRENGTH);
    m_pStrengthTextBox->SetReadOnly(bStrength && !bBare);
    m_rDialog.SetComponentsShown(!bStrength);
    if (!bBare)
    {
        // The registry name that holds the path after its first character.
        const std::string sPath = sEntry.substr(PREFIX_LENGTH);
        m_pVertexInterpolationLightsTab = m_rDialog.FindRegisteredCurveContaining(sPath);
    }
    m_rDialog.ShowCurve(m_pVertexInterpolationLightsTab);
    RefreshLiveFields();
}

void KG_InterpolationEditorLightPage::ApplyEdit(forms::TextBox* pBox)
{
    if (!CheckLight())
        return;
    const std::string sText = pBox->GetText();
    if (pBox == m_pDebugTextBox)
    {
        m_pSelectedLight->SetDebugName(KB_String(sText.c_str()));
        return;
    }
    if (pBox == m_pStartTextBox || pBox == m_pEndTextBox)
    {
        // The one box read in the user's own number format.
        double fTime = 0.0;
        if (!KG_EditorParsing::TryParseDouble(sText, forms::CultureInfo::CurrentCulture(), &fTime))
            return;
        if (pBox == m_pStartTextBox)
            m_pSelectedLight->SetStartTime(fTime);
        else
            m_pSelectedLight->SetEndTime(fTime);
        return;
    }
    if (pBox == m_pColorTextBox)
    {
        KB_Color color;
        color.ParseFromWebColor(KB_String(sText.c_str()));
        m_pSelectedLight->SetLightColor(color);
        return;
    }
    float fValue = 0.0f;
    if (!KG_EditorParsing::TryParseFloat(sText, EnUs(), &fValue))
        return;
    const double fTime = m_rDialog.GetSceneSource().GetProductionTime();
    for (int i = 0; i < 3; ++i)
    {
        if (pBox == m_apPosition[i] || pBox == m_apTarget[i])
        {
            const bool bPosition = pBox == m_apPosition[i];
            XMFLOAT3 v = bPosition ? PositionAt(m_pSelectedLight, fTime) : TargetAt(m_pSelectedLight, fTime);
            (i == 0 ? v.x : i == 1 ? v.y : v.z) = fValue;
            KU_VertexInterpolation* pRail = bPosition ? m_pSelectedLight->GetPostitionRailInterpolation()
                                                      : m_pSelectedLight->GetTargetRailInterpolation();
            if (bPosition)
                KG_EditorCalculations::SetLightBaseLightPosition(m_pSelectedLight, v.x, v.y, v.z);
            else
                KG_EditorCalculations::SetLightTargetPosition(m_pSelectedLight, v.x, v.y, v.z);
            if (pRail != nullptr && pRail->GetNumVertices() > 0)
                KG_EditorCalculations::UpdateInterpolationVertex(pRail, 0, v.x, v.y, v.z);
            return;
        }
        if (pBox == m_apAttenuation[i])
        {
            XMFLOAT3 attenuation{0.0f, 0.0f, 0.0f};
            m_pSelectedLight->GetLightAttenuation(&attenuation);
            (i == 0 ? attenuation.x : i == 1 ? attenuation.y : attenuation.z) = fValue;
            m_pSelectedLight->SetLightAttenuation(attenuation);
            return;
        }
        if (pBox == m_apUp[i])
        {
            if (KR_SpotLight* pSpot = GetSpot())
            {
                XMFLOAT3 up = pSpot->GetUpVector();
                (i == 0 ? up.x : i == 1 ? up.y : up.z) = fValue;
                KG_EditorCalculations::SetSpotlightUpVector(pSpot, up.x, up.y, up.z);
            }
            return;
        }
    }
    if (pBox == m_pMaxDistTextBox)
        m_pSelectedLight->SetMaxLightDistance(fValue);
    else if (pBox == m_pStrengthTextBox)
        m_pSelectedLight->SetLightStrength(fValue);
    else if (pBox == m_pSpecularTextBox)
        m_pSelectedLight->SetLightSpecularStrength(fValue);
    else if (KR_SpotLight* pSpot = GetSpot())
    {
        if (pBox == m_pNearTextBox)
            pSpot->SetNearLightDistance(fValue);
        else if (pBox == m_pFovTextBox)
            pSpot->SetLightFOV(fValue);
        else if (pBox == m_pFalloffTextBox)
            pSpot->SetLightFOVFalloff(fValue);
    }
}

void KG_InterpolationEditorLightPage::OnShadowBiasLeave()
{
    KR_SpotLight* pSpot = CheckLight() ? GetSpot() : nullptr;
    if (pSpot == nullptr)
        return;
    XMFLOAT2 bias{0.0f, 0.0f};
    if (KG_EditorParsing::ParseVector2(m_pBiasTextBox->GetText(), m_pBiasTextBox->GetName(), &bias.x,
                                       &bias.y))
        pSpot->SetShadowBias(bias);
}

void KG_InterpolationEditorLightPage::OnResolutionChosen()
{
    KR_SpotLight* pSpot = CheckLight() ? GetSpot() : nullptr;
    const int iIndex = m_pResolutionComboBox->GetSelectedIndex();
    if (pSpot != nullptr && iIndex >= 0)
        pSpot->SetShadowMapResolution(128u << iIndex);
}

void KG_InterpolationEditorLightPage::OnVolumeChanged()
{
    if (CheckLight())
        m_pSelectedLight->SetUseAsVolumeLight(m_pVolumeCheckBox->GetChecked());
}

void KG_InterpolationEditorLightPage::OnTubeChanged()
{
    KR_OmniLight* pOmni = CheckLight() ? dynamic_cast<KR_OmniLight*>(m_pSelectedLight) : nullptr;
    if (pOmni == nullptr)
        return;
    const bool bTube = m_pTubeCheckBox->GetChecked();
    pOmni->SetUseAsTubeLight(bTube);
    for (int i = 0; i < 3; ++i)
        m_apTarget[i]->SetEnabled(bTube);
    if (bTube)
    {
        const XMFLOAT3 target = TargetAt(m_pSelectedLight, m_rDialog.GetSceneSource().GetProductionTime());
        SetBox(m_apTarget[0], Number(target.x));
        SetBox(m_apTarget[1], Number(target.y));
        SetBox(m_apTarget[2], Number(target.z));
    }
}

void KG_InterpolationEditorLightPage::OnNewCurve()
{
    if (!CheckLight() || m_pLightTabScene == nullptr)
        return;
    const int iEntry = m_pCurveComboBox->GetSelectedIndex();
    const std::string sEntry = m_pCurveComboBox->GetSelectedItem();
    if (iEntry < 0 || sEntry.size() > PREFIX_LENGTH)
        return;
    const char* pLetter = StartsWith(sEntry, PREFIX_COLOR)      ? "C"
                          : StartsWith(sEntry, PREFIX_POSITION) ? "P"
                          : StartsWith(sEntry, PREFIX_STRENGTH) ? "S"
                                                                : "T";
    const bool bOmni = IsOmni();
    std::uint32_t uiIndex = 0;
    if (bOmni)
        while (m_pLightTabScene->GetOmniLights()[uiIndex] != m_pSelectedLight)
            ++uiIndex;
    else
        while (m_pLightTabScene->GetSpotLights()[uiIndex] != m_pSelectedLight)
            ++uiIndex;
    const KB_String sFile =
        KB_String::Formatted(bOmni ? "%s_OmniLight%02u_%s.int" : "%s_SpotLight%02u_%s.int",
                             m_pLightTabScene->GetSceneName().GetBuffer(), uiIndex, pLetter);
    const KB_String sRelative = KB_String("Interpolations/") + sFile;
    const KB_String sPath =
        (bOmni ? m_pLightTabScene->GetOmniLightsFolder() : m_pLightTabScene->GetSpotLightsFolder()) +
        sRelative;
    const bool bRail = *pLetter == 'P' || *pLetter == 'T';
    KU_VertexInterpolation* pCurve =
        bRail ? static_cast<KU_VertexInterpolation*>(new KB_CubicBSplineInterpolation(sPath))
              : new KB_LinearInterpolation(sPath);
    pCurve->SetStartTime(m_pSelectedLight->GetStartTime());
    pCurve->SetEndTime(m_pSelectedLight->GetEndTime());
    pCurve->InsertVertex(XMVectorSet(0, 0, 0, 0), 0.0);
    if (*pLetter != 'C')
    {
        const double fSpan = m_pSelectedLight->GetEndTime() - m_pSelectedLight->GetStartTime();
        const float fY = *pLetter == 'T' ? 1.0f : 0.0f;
        for (double fPart : {0.25, 0.5, 0.75, 1.0})
            pCurve->InsertVertex(XMVectorSet(0, fY, 0, 0), fPart * fSpan);
    }
    pCurve->Save();
    switch (*pLetter)
    {
    case 'C':
        m_pSelectedLight->SetColorInterpolationPath(sRelative);
        m_pSelectedLight->SetColorInterpolation(pCurve);
        break;
    case 'P':
        // The rail setters rebuild the rail's visualisation and handle.
        m_pSelectedLight->SetPositionRailPath(sRelative);
        m_pSelectedLight->SetPostitionRailInterpolation(pCurve);
        break;
    case 'S':
        m_pSelectedLight->SetStrengthInterpolationPath(sRelative);
        m_pSelectedLight->SetStrengthInterpolation(pCurve);
        break;
    default:
        m_pSelectedLight->SetTargetRailPath(sRelative);
        m_pSelectedLight->SetTargetRailInterpolation(pCurve);
        break;
    }
    {
        forms::Event<forms::EventArgs>::Suppression guard(m_pCurveComboBox->SelectedIndexChanged);
        m_pCurveComboBox->GetItems().RemoveAt(iEntry);
        m_pCurveComboBox->GetItems().Insert(iEntry, sEntry.substr(0, PREFIX_LENGTH) + ToStd(sRelative));
        m_pCurveComboBox->SetSelectedIndex(iEntry);
    }
    m_pSelectedLight->SaveToFile(m_pSelectedLight->GetLightPath());
    m_pNewCurveButton->SetEnabled(false);
    m_pOpenButton->SetEnabled(true);
    m_pVertexInterpolationLightsTab = pCurve;
    m_rDialog.ShowCurve(pCurve);
}

void KG_InterpolationEditorLightPage::OnNewLight(bool bSpot)
{
    KR_Scene* pScene = m_rDialog.GetSceneSource().GetCurrentScene();
    if (pScene == nullptr)
        return;
    if (pScene != m_pLightTabScene)
        FillLightList();
    const XMFLOAT3 position = m_rDialog.GetSceneSource().GetFreeCameraPosition();
    const KB_String sName = pScene->GetSceneName();
    KR_LightBase* pLight = nullptr;
    int iEntry = 0;
    if (bSpot)
    {
        XMFLOAT3 forward, up;
        m_rDialog.GetSceneSource().GetFreeCameraDirections(&forward, &up);
        KR_SpotLight* pNew = new KR_SpotLight();
        KG_EditorCalculations::SetLightBaseLightPosition(pNew, position.x, position.y, position.z);
        KG_EditorCalculations::SetSpotlightUpVector(pNew, up.x, up.y, up.z);
        KG_EditorCalculations::SetLightTargetPosition(pNew, position.x + forward.x, position.y + forward.y,
                                                      position.z + forward.z);
        pNew->SetMaxLightDistance(1500.0f);
        const std::uint32_t uiCount = pScene->GetSpotLights().GetNumMembers();
        pNew->SetStartTime(pScene->GetStartTime());
        pNew->SetEndTime(pScene->GetEndTime());
        pNew->SaveToFile(pScene->GetSpotLightsFolder() +
                         KB_String::Formatted("%s_SpotLight%02u.spt", sName.GetBuffer(), uiCount));
        pNew->ReloadLight();
        pScene->GetSpotLights().Add(pNew);
        pLight = pNew;
        iEntry = m_pLightComboBox->GetItems().GetCount();
    }
    else
    {
        KR_OmniLight* pNew = new KR_OmniLight();
        KG_EditorCalculations::SetLightBaseLightPosition(pNew, position.x, position.y, position.z);
        pNew->SetMaxLightDistance(500.0f);
        const std::uint32_t uiCount = pScene->GetOmniLights().GetNumMembers();
        pNew->SetStartTime(pScene->GetStartTime());
        pNew->SetEndTime(pScene->GetEndTime());
        pNew->SaveToFile(pScene->GetOmniLightsFolder() +
                         KB_String::Formatted("%s_OmniLight%02u.omn", sName.GetBuffer(), uiCount));
        pNew->ReloadLight();
        pScene->GetOmniLights().Add(pNew);
        pLight = pNew;
        iEntry = int(uiCount);
    }
    m_aListed.insert(m_aListed.begin() + iEntry, pLight);
    {
        forms::Event<forms::EventArgs>::Suppression guard(m_pLightComboBox->SelectedIndexChanged);
        m_pLightComboBox->GetItems().Insert(iEntry, ToStd(pLight->GetLightPath()));
    }
    m_pLightComboBox->SetMaxDropDownItems(std::clamp(m_pLightComboBox->GetItems().GetCount(), 1, 100));
    m_pLightComboBox->SetSelectedIndex(iEntry);
}

void KG_InterpolationEditorLightPage::OnSave()
{
    if (CheckLight())
        m_pSelectedLight->SaveToFile(m_pSelectedLight->GetLightPath());
}

void KG_InterpolationEditorLightPage::OnDelete()
{
    if (!CheckLight())
        return;
    KR_Scene* pScene = FindSceneHolding(m_pSelectedLight);
    const int iIndex = m_pLightComboBox->GetSelectedIndex();
    KR_LightBase* pLight = m_pSelectedLight;
    m_pSelectedLight = nullptr;
    m_pVertexInterpolationLightsTab = nullptr;
    m_rDialog.ShowCurve(nullptr);
    if (pScene == nullptr || !pScene->DeleteLight(pLight))
        return;
    // The light and its curves are gone: no window may keep pointing at them.
    m_rDialog.InvalidateEverywhere();
    m_rDialog.GetEditorCalculations()->ResetVertexInterpolationChanged();
    m_sSelectedLightName.clear();
    m_pLightTabScene = pScene;
    (void)iIndex;
    FillLightList();
}

void KG_InterpolationEditorLightPage::OnOpen()
{
    const std::string sEntry = m_pCurveComboBox->GetSelectedItem();
    if (m_pSelectedLight == nullptr || sEntry.size() <= PREFIX_LENGTH)
        return;
    tools_openFile((ToStd(KU_FileUtilities::ExtractDirectory(m_pSelectedLight->GetLightPath())) + "/" +
                    sEntry.substr(PREFIX_LENGTH))
                       .c_str());
}

} // namespace K_GUI
