#include "tools/KG_InterpolationEditorCubeMapPage.h"

#include "render/scene/KR_CubeMapPlacer.h"
#include "tests/tools/InterpolationEditorPageTestFixture.h"
#include "timing/KU_VertexInterpolation.h"

#include <gtest/gtest.h>

#include <string>

using namespace DirectX;
using K_GUI::KG_InterpolationEditorCubeMapPage;
using K_GUI::KG_InterpolationEditorDialog;

namespace
{

const std::string PLACERS = "Assets/Entities/Hall/CubeMapPlacers/";

class KG_InterpolationEditorCubeMapPageTest : public InterpolationEditorPageTestFixture
{
protected:
    void SetUp() override
    {
        InterpolationEditorPageTestFixture::SetUp();
        if (HasFatalFailure())
            return;
        m_Hall.SetEndTime(8.0);
        m_Source.m_dProductionTime = 3.0;
        m_Source.m_vFreeCamera = {4.0f, 5.0f, 6.0f};
        m_Source.m_gScenes.Add(&m_Hall);
        m_Source.m_gScenes.Add(&m_Cave);
        m_Source.m_pCurrent = &m_Hall;
        OpenDialog(&m_Source);
    }

    EditorTestScene m_Hall{"Hall"};
    EditorTestScene m_Cave{"Cave"};
    FakeEditorSceneSource m_Source;
};

TEST_F(KG_InterpolationEditorCubeMapPageTest, GeneratesEditsSavesAndGivesARail)
{
    ShowPage("cubemapTabPage");
    auto* pList = Get<forms::ComboBox>("cubemapCubemapsComboBox");
    ASSERT_EQ(pList->GetItems().GetCount(), 1);
    EXPECT_EQ(pList->GetSelectedItem(), KG_InterpolationEditorCubeMapPage::NEW_ENTRY);
    EXPECT_TRUE(Get<forms::Button>("cubemapGenerateButton")->GetEnabled());
    EXPECT_FALSE(Get<forms::Button>("cubemapSaveButton")->GetEnabled());
    EXPECT_EQ(Get<forms::TextBox>("cubemapNameTextBox")->GetText(), "Cube Map Placer 1 Hall");
    EXPECT_EQ(Get<forms::TextBox>("cubemapDDSTextBox")->GetText(),
              "Assets/Textures/Cubemaps/CubeMap_Hall_0.dds");
    EXPECT_EQ(Get<forms::TextBox>("cubemapPositionTextBox")->GetText(), "4 5 6");
    EXPECT_EQ(Get<forms::ComboBox>("cubemapResComboBox")->GetSelectedItem(), "512");

    ASSERT_TRUE(Get<forms::TextBox>("cubemapInfluenceTextBox")->UserType("250"));
    Click("cubemapGenerateButton");
    ASSERT_EQ(m_Hall.GetCubeMapPlacers().GetNumMembers(), 1u);
    KR_CubeMapPlacer* pPlacer = m_Hall.GetCubeMapPlacers()[0];
    EXPECT_TRUE(Exists(PLACERS + "Hall_CubeMapPlacer00.cmp"));
    EXPECT_EQ(pList->GetSelectedItem(), PLACERS + "Hall_CubeMapPlacer00.cmp");
    EXPECT_EQ(pList->GetItems()[1], KG_InterpolationEditorCubeMapPage::NEW_ENTRY);
    EXPECT_FLOAT_EQ(pPlacer->GetCubeMapInfluenceRange(), 250.0f);
    EXPECT_STREQ(pPlacer->GetCubeMapPath().GetBuffer(), "Assets/Textures/Cubemaps/CubeMap_Hall_0.dds");
    EXPECT_TRUE(Get<forms::Button>("cubemapSaveButton")->GetEnabled());
    EXPECT_EQ(m_pManager->GetSelectedCubemap(), pPlacer); // every window hears of the choice

    // The position box is read quietly while typing.
    auto* pPosition = Get<forms::TextBox>("cubemapPositionTextBox");
    ASSERT_TRUE(pPosition->UserType("1 2"));
    EXPECT_FLOAT_EQ(XMVectorGetX(pPlacer->GetStoredPosition()), 4.0f);
    ASSERT_TRUE(pPosition->UserType("1 2 3"));
    EXPECT_FLOAT_EQ(XMVectorGetZ(pPlacer->GetStoredPosition()), 3.0f);
    ASSERT_TRUE(Get<forms::TextBox>("cubemapTimeTextBox")->UserType("NaN"));
    ASSERT_TRUE(Get<forms::TextBox>("cubemapTimeTextBox")->UserType("2.5"));
    EXPECT_DOUBLE_EQ(pPlacer->GetRenderSynchronizationTime(), 2.5);
    ASSERT_TRUE(Get<forms::ComboBox>("cubemapResComboBox")->UserSelect(1));
    EXPECT_EQ(pPlacer->GetCubeMapResolution().uiWidth, 64u);
    Click("cubemapSaveButton");
    EXPECT_NE(Read(PLACERS + "Hall_CubeMapPlacer00.cmp").find("64"), std::string::npos);

    // A rail: made, saved, given to the placer and shown.
    Click("cubemapCreateInterpolationButton");
    EXPECT_TRUE(Exists(PLACERS + "Interpolations/Hall_CubeMapPlacer00_P.int"));
    ASSERT_NE(pPlacer->GetPositionRail(), nullptr);
    EXPECT_STREQ(pPlacer->GetPositionRailPath().GetBuffer(), "Interpolations/Hall_CubeMapPlacer00_P.int");
    EXPECT_EQ(pPlacer->GetPositionRail()->GetNumVertices(), 5u);
    EXPECT_EQ(m_pDialog->GetCurrentVertexInterpolation(), pPlacer->GetPositionRail());
    EXPECT_EQ(Get<forms::TextBox>("cubemapInterpolationTextBox")->GetText(),
              "Interpolations/Hall_CubeMapPlacer00_P.int");

    // Replacing and clearing the rail deletes the old one: nothing may still show it.
    Click("cubemapCreateInterpolationButton");
    EXPECT_EQ(m_pDialog->GetCurrentVertexInterpolation(), pPlacer->GetPositionRail());
    Click("cubemapClearInterpolationButton");
    EXPECT_EQ(pPlacer->GetPositionRail(), nullptr);
    EXPECT_EQ(m_pDialog->GetCurrentVertexInterpolation(), nullptr);
    EXPECT_EQ(m_pDialog->GetEditorCalculations()->GetInterpolation(), nullptr);
    EXPECT_EQ(Get<forms::TextBox>("cubemapInterpolationTextBox")->GetText(), "");
    EXPECT_EQ(Get<forms::ComboBox>("cubemapCubemapsComboBox")->GetSelectedIndex(), 0);

    // Dynamic on, then off again: the static map gets its path back; both saved.
    ASSERT_TRUE(Get<forms::CheckBox>("cubemapDynamicCheckBox")->UserClick());
    EXPECT_TRUE(pPlacer->IsDynamic());
    pPlacer->SetCubeMapPath("");
    ASSERT_TRUE(Get<forms::CheckBox>("cubemapDynamicCheckBox")->UserClick());
    EXPECT_FALSE(pPlacer->IsDynamic());
    EXPECT_STREQ(pPlacer->GetCubeMapPath().GetBuffer(), "Assets/Textures/Cubemaps/CubeMap_Hall_0.dds");

    Click("cubemapDebugButton");
    EXPECT_TRUE(pPlacer->IsUsingDebugTexture());

    // Another scene becomes current: the next paint lists its placers instead.
    m_Source.m_pCurrent = &m_Cave;
    Get<forms::Panel>("visualisationPanel")->Refresh();
    EXPECT_EQ(pList->GetItems().GetCount(), 1);
    EXPECT_FALSE(pPlacer->IsUsingDebugTexture());
}

TEST_F(KG_InterpolationEditorCubeMapPageTest, SwitchingToDynamicReadsTheRailAgainAndNothingKeepsTheOldOne)
{
    ShowPage("cubemapTabPage");
    Click("cubemapGenerateButton");
    ASSERT_EQ(m_Hall.GetCubeMapPlacers().GetNumMembers(), 1u);
    KR_CubeMapPlacer* pPlacer = m_Hall.GetCubeMapPlacers()[0];
    Click("cubemapCreateInterpolationButton");
    ASSERT_EQ(m_pDialog->GetCurrentVertexInterpolation(), pPlacer->GetPositionRail());

    // An unsaved edit of the rail's first key.
    auto* pPanel = Get<forms::Panel>("visualisationPanel");
    KG_EditorCalculations* pCalc = m_pDialog->GetEditorCalculations();
    const KG_Point key = pCalc->DataToPixel(0.0, 0.0);
    const KG_Point target = pCalc->DataToPixel(0.0, 2.0);
    pPanel->UserMouseMove(key.x, key.y);
    pPanel->UserMouseDown(key.x, key.y);
    pPanel->UserMouseMove(target.x, target.y, forms::MouseButtons::Left);
    pPanel->UserMouseUp(target.x, target.y);
    ASSERT_TRUE(pCalc->HasVertexInterpolationChanged());

    // The placer reads its rail again from the file and deletes the one shown: the window shows
    // the new one, and the edit went with the old one (AddressSanitizer watches the freed rail).
    ASSERT_TRUE(Get<forms::CheckBox>("cubemapDynamicCheckBox")->UserClick());
    ASSERT_NE(pPlacer->GetPositionRail(), nullptr);
    EXPECT_EQ(m_pDialog->GetCurrentVertexInterpolation(), pPlacer->GetPositionRail());
    EXPECT_EQ(pCalc->GetInterpolation(), pPlacer->GetPositionRail());
    pPanel->UserMouseMove(key.x, key.y);
    m_pDialog->UpdateVisualisation(true);
    EXPECT_TRUE(m_pManager->CloseInterpolationEditorDialogs(false));
}

TEST_F(KG_InterpolationEditorCubeMapPageTest, ResolutionsNotListedSelectNothing)
{
    EXPECT_EQ(KG_InterpolationEditorCubeMapPage::ResolutionEntry(32), 0);
    EXPECT_EQ(KG_InterpolationEditorCubeMapPage::ResolutionEntry(1024), 5);
    for (std::uint32_t uiSide : {0u, 16u, 48u, 2048u})
        EXPECT_EQ(KG_InterpolationEditorCubeMapPage::ResolutionEntry(uiSide), -1) << uiSide;
    auto* pPlacer = new KR_CubeMapPlacer();
    pPlacer->SetCubeMapResolution(16, 16);
    m_Hall.GetCubeMapPlacers().Add(pPlacer);
    // A pick from the 3D view is selected when the page shows.
    m_pManager->SetCubemapSelected(pPlacer);
    ShowPage("cubemapTabPage");
    EXPECT_EQ(Get<forms::ComboBox>("cubemapCubemapsComboBox")->GetSelectedIndex(), 0);
    EXPECT_EQ(Get<forms::ComboBox>("cubemapResComboBox")->GetSelectedIndex(), -1);
}

} // namespace
