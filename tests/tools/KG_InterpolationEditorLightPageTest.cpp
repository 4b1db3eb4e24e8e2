#include "tools/KG_InterpolationEditorLightPage.h"

#include "render/light/KR_OmniLight.h"
#include "render/light/KR_SpotLight.h"
#include "tests/tools/InterpolationEditorPageTestFixture.h"
#include "timing/KU_VertexInterpolation.h"

#include <gtest/gtest.h>

#include <string>

using namespace DirectX;
using K_GUI::KG_InterpolationEditorDialog;
using K_GUI::KG_InterpolationEditorLightPage;

namespace
{

const std::string OMNI = "Assets/Entities/Hall/Lights/OmniLights/";
const std::string SPOT = "Assets/Entities/Hall/Lights/SpotLights/";

class KG_InterpolationEditorLightPageTest : public InterpolationEditorPageTestFixture
{
protected:
    void SetUp() override
    {
        InterpolationEditorPageTestFixture::SetUp();
        if (HasFatalFailure())
            return;
        m_Hall.SetEndTime(8.0);
        m_Source.m_gScenes.Add(&m_Hall);
        m_Source.m_gScenes.Add(&m_Cave);
        m_Source.m_pCurrent = &m_Hall;
        OpenDialog(&m_Source);
    }

    void SelectCurve(const char* pPrefix)
    {
        auto* pCurves = Get<forms::ComboBox>("lightInterpolationComboBox");
        int iEntry = -1;
        for (int i = 0; i < pCurves->GetItems().GetCount(); ++i)
            if (pCurves->GetItems()[i].rfind(pPrefix, 0) == 0)
                iEntry = i;
        ASSERT_TRUE(pCurves->UserSelect(iEntry)) << pPrefix;
    }

    EditorTestScene m_Hall{"Hall"};
    EditorTestScene m_Cave{"Cave"};
    FakeEditorSceneSource m_Source;
};

TEST_F(KG_InterpolationEditorLightPageTest, MakesEditsSavesAndDeletesOmniAndSpotLights)
{
    ShowPage("lightTabPage");
    EXPECT_EQ(m_pDialog->GetToolTip().GetToolTip(Get<forms::Label>("lightFOVLabel")),
              "FOV of Spotlight, in degrees");

    Click("lightCreateOmniButton");
    ASSERT_EQ(m_Hall.GetOmniLights().GetNumMembers(), 1u);
    KR_OmniLight* pOmni = m_Hall.GetOmniLights()[0];
    EXPECT_TRUE(Exists(OMNI + "Hall_OmniLight00.omn"));
    EXPECT_EQ(Get<forms::ComboBox>("lightComboBox")->GetSelectedItem(), OMNI + "Hall_OmniLight00.omn");
    EXPECT_FLOAT_EQ(pOmni->GetStoredPosition().z, 3.0f);
    EXPECT_EQ(m_pManager->GetSelectedLight(), pOmni); // every window hears of the choice
    EXPECT_EQ(Get<forms::TextBox>("lightPositionXTextBox")->GetText(), "1");
    EXPECT_FALSE(Get<forms::TextBox>("lightTargetXTextBox")->GetEnabled());
    EXPECT_TRUE(Get<forms::CheckBox>("lightTubeCheckBox")->GetEnabled());

    // Without a rail an edit changes the stored position only.
    ASSERT_TRUE(Get<forms::TextBox>("lightPositionXTextBox")->UserType("7"));
    EXPECT_FLOAT_EQ(pOmni->GetStoredPosition().x, 7.0f);
    ASSERT_TRUE(Get<forms::TextBox>("lightMaxDistTextBox")->UserType("Infinity"));
    EXPECT_FLOAT_EQ(pOmni->GetMaxLightDistance(0.0), 500.0f);

    // "New Int" on the bare position entry: a rail file the light names and uses.
    SelectCurve("pp: ");
    EXPECT_TRUE(Get<forms::Button>("lightCreateIntButton")->GetEnabled());
    Click("lightCreateIntButton");
    EXPECT_TRUE(Exists(OMNI + "Interpolations/Hall_OmniLight00_P.int"));
    EXPECT_STREQ(pOmni->GetPositionRailPath().GetBuffer(), "Interpolations/Hall_OmniLight00_P.int");
    ASSERT_NE(pOmni->GetPostitionRailInterpolation(), nullptr);
    EXPECT_EQ(m_pDialog->GetCurrentVertexInterpolation(), pOmni->GetPostitionRailInterpolation());
    EXPECT_EQ(pOmni->GetPostitionRailInterpolation()->GetNumVertices(), 5u);
    EXPECT_EQ(Get<forms::ComboBox>("lightInterpolationComboBox")->GetSelectedItem(),
              "pp: Interpolations/Hall_OmniLight00_P.int");
    // With a rail the edit also moves the rail's first key.
    ASSERT_TRUE(Get<forms::TextBox>("lightPositionYTextBox")->UserType("4"));
    EXPECT_FLOAT_EQ(XMVectorGetY(pOmni->GetPostitionRailInterpolation()->GetVertex(0)), 4.0f);

    // A tube light gets a target rail of its own.
    ASSERT_TRUE(Get<forms::CheckBox>("lightTubeCheckBox")->UserClick());
    ASSERT_TRUE(pOmni->IsUsedAsTubeLight());
    ASSERT_TRUE(Get<forms::ComboBox>("lightComboBox")->SetSelectedIndex(-1));
    ASSERT_TRUE(Get<forms::ComboBox>("lightComboBox")->UserSelect(0));
    SelectCurve("tp: ");
    Click("lightCreateIntButton");
    EXPECT_TRUE(Exists(OMNI + "Interpolations/Hall_OmniLight00_T.int"));
    EXPECT_NE(pOmni->GetTargetRailInterpolation(), nullptr);

    // The light times follow the user's number format; the other boxes do not.
    FormsControl::SetCurrentCulture("de-DE");
    ASSERT_TRUE(Get<forms::TextBox>("lightStartTimeTextBox")->UserType("1,5"));
    EXPECT_DOUBLE_EQ(pOmni->GetStartTime(), 1.5);
    ASSERT_TRUE(Get<forms::TextBox>("lightStrengthTextBox")->UserType("1,5"));
    EXPECT_NE(pOmni->GetLightStrength(0.0), 1.5f);
    FormsControl::SetCurrentCulture("en-US");

    // SPOT: added after the omni lights; a listed resolution selects its entry.
    Click("lightCreateSpotButton");
    ASSERT_EQ(m_Hall.GetSpotLights().GetNumMembers(), 1u);
    KR_SpotLight* pSpot = m_Hall.GetSpotLights()[0];
    EXPECT_TRUE(Exists(SPOT + "Hall_SpotLight00.spt"));
    EXPECT_EQ(Get<forms::ComboBox>("lightComboBox")->GetSelectedIndex(), 1);
    EXPECT_FLOAT_EQ(pSpot->GetStoredTarget().z, 4.0f);
    auto* pResolution = Get<forms::ComboBox>("lightShadowMapResComboBox");
    ASSERT_TRUE(pResolution->UserSelect(4));
    EXPECT_EQ(pSpot->GetShadowMapResolution(), 2048u);
    ASSERT_TRUE(Get<forms::TextBox>("lightFOVTextBox")->UserType("45"));
    EXPECT_FLOAT_EQ(pSpot->GetLightFOV(), 45.0f);
    Click("lightSaveButton");
    std::ifstream in(m_Root.Join(SPOT + "Hall_SpotLight00.spt"));
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("2048"), std::string::npos);

    // "Del" removes the spot light and its file; the omni light stays.
    Click("lightDeleteButton");
    EXPECT_EQ(m_Hall.GetSpotLights().GetNumMembers(), 0u);
    EXPECT_FALSE(Exists(SPOT + "Hall_SpotLight00.spt"));
    EXPECT_TRUE(Exists(OMNI + "Hall_OmniLight00.omn"));
    EXPECT_EQ(Get<forms::ComboBox>("lightComboBox")->GetItems().GetCount(), 1);
    EXPECT_EQ(Get<forms::ComboBox>("lightComboBox")->GetSelectedIndex(), 0);
}

TEST_F(KG_InterpolationEditorLightPageTest, ResolutionsNotListedSelectNothing)
{
    EXPECT_EQ(KG_InterpolationEditorLightPage::ResolutionEntry(128), 0);
    EXPECT_EQ(KG_InterpolationEditorLightPage::ResolutionEntry(2048), 4);
    for (std::uint32_t uiSide : {0u, 64u, 100u, 4096u, 0x80000000u})
        EXPECT_EQ(KG_InterpolationEditorLightPage::ResolutionEntry(uiSide), -1) << uiSide;
    auto* pSpot = new KR_SpotLight();
    pSpot->SetShadowMapResolution(4096);
    m_Hall.GetSpotLights().Add(pSpot);
    ShowPage("lightTabPage");
    EXPECT_EQ(Get<forms::ComboBox>("lightShadowMapResComboBox")->GetSelectedIndex(), -1);
}

TEST_F(KG_InterpolationEditorLightPageTest, EditsNeverReachALightDeletedElsewhereAndFocusedBoxesAreKept)
{
    m_Hall.GetOmniLights().Add(new KR_OmniLight());
    m_Hall.GetOmniLights().Add(new KR_OmniLight());
    m_Hall.GetOmniLights()[0]->SaveToFile((OMNI + "Hall_OmniLight00.omn").c_str());
    m_Hall.GetOmniLights()[1]->SaveToFile((OMNI + "Hall_OmniLight01.omn").c_str());
    auto* pCaveSpot = new KR_SpotLight();
    pCaveSpot->SaveToFile("Assets/Entities/Cave/Lights/SpotLights/Cave_SpotLight00.spt");
    m_Cave.GetSpotLights().Add(pCaveSpot);

    // A pick made in the 3D view before the page shows is selected when it does.
    m_pManager->SetLightSelected(m_Hall.GetOmniLights()[1]);
    ShowPage("lightTabPage");
    auto* pLights = Get<forms::ComboBox>("lightComboBox");
    EXPECT_EQ(pLights->GetSelectedIndex(), 1);

    // Typing in a focused box survives the per-paint refresh.
    auto* pX = Get<forms::TextBox>("lightPositionXTextBox");
    ASSERT_TRUE(pX->UserFocus());
    ASSERT_TRUE(pX->UserTypeChars("1"));
    Get<forms::Panel>("visualisationPanel")->Refresh();
    EXPECT_EQ(pX->GetText().back(), '1');
    const std::string sTyped = pX->GetText();
    ASSERT_TRUE(Get<forms::TextBox>("lightMaxDistTextBox")->UserFocus());
    Get<forms::Panel>("visualisationPanel")->Refresh();
    EXPECT_NE(pX->GetText(), "") << "refreshed once unfocused";

    // The chosen light is deleted behind the page's back (another window): the next edit
    // re-lists instead of writing through the stale pointer.
    ASSERT_TRUE(m_Hall.DeleteLight(m_Hall.GetOmniLights()[1]));
    ASSERT_TRUE(Get<forms::TextBox>("lightStrengthTextBox")->UserType("3"));
    EXPECT_EQ(pLights->GetItems().GetCount(), 1);

    // "Del" while the current scene is Cave: the list still shows Hall's light, deleted through
    // Hall; the Cave light and its file stay.
    ASSERT_TRUE(pLights->UserSelect(0));
    m_Source.m_pCurrent = &m_Cave;
    Click("lightDeleteButton");
    EXPECT_EQ(m_Hall.GetOmniLights().GetNumMembers(), 0u);
    EXPECT_EQ(m_Cave.GetSpotLights().GetNumMembers(), 1u);
    EXPECT_TRUE(Exists("Assets/Entities/Cave/Lights/SpotLights/Cave_SpotLight00.spt"));
}

} // namespace
