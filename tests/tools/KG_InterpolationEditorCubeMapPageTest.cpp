#include "tools/KG_InterpolationEditorCubeMapPage.h"

#include "framework/files/KF_FileManager.h"
#include "platform/forms/FormsControl.h"
#include "platform/win32/Win32Control.h"
#include "render/scene/KR_CubeMapPlacer.h"
#include "render/scene/KR_Scene.h"
#include "tests/support/TestEngine.h"
#include "tests/support/TestTempDir.h"
#include "timing/KU_InterpolationManager.h"
#include "timing/KU_VertexInterpolation.h"
#include "tools/KG_EditorChunkLists.h"
#include "tools/KG_EditorSceneSource.h"
#include "tools/KG_InterpolationEditorDialog.h"
#include "tools/KG_InterpolationEditorDialogManager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

using namespace DirectX;
using K_GUI::KG_EditorSceneSource;
using K_GUI::KG_InterpolationEditorCubeMapPage;
using K_GUI::KG_InterpolationEditorDialog;

namespace
{

class TestScene : public KR_Scene
{
public:
    explicit TestScene(const char* pName) { SetSceneName(pName); }
    bool PreLoad() override { return true; }
    void OnResize() override {}
    void RenderModels(double, const XMMATRIX*) override {}
    bool Shutdown() override { return true; }
    bool PostLoad() override { return true; }
};

class FakeSceneSource : public KG_EditorSceneSource
{
public:
    KB_GrowingArray<KR_Scene*> GetAllScenes() const override { return m_gScenes; }
    KR_Scene* GetCurrentScene() const override { return m_pCurrent; }
    double GetProductionTime() const override { return 3.0; }
    XMFLOAT3 GetFreeCameraPosition() const override { return {4.0f, 5.0f, 6.0f}; }
    bool CreateNewCameraInterpolation(const NewCamera&) override { return false; }

    KB_GrowingArray<KR_Scene*> m_gScenes;
    KR_Scene* m_pCurrent = nullptr;
};

const std::string PLACERS = "Assets/Entities/Hall/CubeMapPlacers/";

class KG_InterpolationEditorCubeMapPageTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Win32Control::Reset();
        FormsControl::Reset();
        FormsControl::SetStrictMessageBoxes(true);
        ASSERT_TRUE(m_Root.IsValid());
        m_Files.AddDirectoryRepository(m_Root.GetPath().c_str());
        m_Engine->SetFileManager(&m_Files);
        m_Engine->SetInterpolationManager(&m_Registry);
        m_Hall.SetEndTime(8.0);
        m_Source.m_gScenes.Add(&m_Hall);
        m_Source.m_gScenes.Add(&m_Cave);
        m_Source.m_pCurrent = &m_Hall;
        m_pManager = std::make_unique<KG_InterpolationEditorDialogManager>();
        m_pManager->ShowNewInterpolationEditorDialog();
        m_pDialog = m_pManager->GetDialog(0);
        m_pDialog->SetSceneSource(&m_Source);
    }

    void TearDown() override
    {
        m_pManager.reset();
        K_GUI::KG_EditorChunkLists::ClearListsOfAllChunks();
        EXPECT_EQ(FormsControl::GetUnexpectedMessageBoxCount(), 0);
        FormsControl::Reset();
        Win32Control::Reset();
    }

    void ShowPage(int iPage)
    {
        m_pDialog->Find<forms::TabControl>("frameworkTabControl")->SetSelectedIndex(iPage);
    }
    template <typename T>
    T* Get(const char* pName)
    {
        T* p = m_pDialog->Find<T>(pName);
        EXPECT_NE(p, nullptr) << pName;
        return p;
    }
    void Click(const char* pName) { ASSERT_TRUE(Get<forms::Button>(pName)->UserClick()) << pName; }
    bool Exists(const std::string& sPath) { return std::filesystem::exists(m_Root.Join(sPath)); }
    std::string Read(const std::string& sPath)
    {
        std::ifstream in(m_Root.Join(sPath), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    TestTempDir m_Root;
    TestEngine m_Engine;
    KF_FileManager m_Files;
    KU_InterpolationManager m_Registry;
    TestScene m_Hall{"Hall"};
    TestScene m_Cave{"Cave"};
    FakeSceneSource m_Source;
    std::unique_ptr<KG_InterpolationEditorDialogManager> m_pManager;
    KG_InterpolationEditorDialog* m_pDialog = nullptr;
};

TEST_F(KG_InterpolationEditorCubeMapPageTest, GeneratesEditsSavesAndGivesARail)
{
    ShowPage(KG_InterpolationEditorDialog::PAGE_CUBEMAPS);
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
    ShowPage(KG_InterpolationEditorDialog::PAGE_CUBEMAPS);
    EXPECT_EQ(Get<forms::ComboBox>("cubemapCubemapsComboBox")->GetSelectedIndex(), 0);
    EXPECT_EQ(Get<forms::ComboBox>("cubemapResComboBox")->GetSelectedIndex(), -1);
}

} // namespace
