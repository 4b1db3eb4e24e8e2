#include "tools/KG_InterpolationEditorChunkPage.h"

#include "tests/tools/InterpolationEditorPageTestFixture.h"
#include "timing/KU_VertexInterpolation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using K_GUI::KG_EditorChunkLists;
using K_GUI::KG_InterpolationEditorDialog;

namespace
{

const std::string HALL_LIST = "Assets/Entities/Hall/Chunks/Chunks_Hall.chk";
const std::string HALL_CURVES = "Assets/Entities/Hall/Interpolations/Chunks/";
const std::string CAVE_LIST = "Assets/Entities/Cave/Chunks/Chunks_Cave.chk";
const std::string CAVE_CURVES = "Assets/Entities/Cave/Interpolations/Chunks/";

class KG_InterpolationEditorChunkPageTest : public InterpolationEditorPageTestFixture
{
protected:
    void SetUp() override
    {
        InterpolationEditorPageTestFixture::SetUp();
        if (HasFatalFailure())
            return;
        for (const char* pModel : {"Rock_A.DAE", "Tree.dae", "Bush.dae", "readme.txt"})
            Write("Assets/Models/World/" + std::string(pModel), "model");
    }

    void TearDown() override
    {
        m_pManager.reset();
        m_pHall.reset();
        m_pCave.reset();
        InterpolationEditorPageTestFixture::TearDown();
    }

    // Loads both scenes, opens a window over them (Hall current) and shows the Chunks page.
    KG_InterpolationEditorDialog* OpenOnChunks()
    {
        m_pHall = std::make_unique<EditorTestScene>("Hall");
        m_pHall->SetStartTime(2.0);
        m_pHall->SetEndTime(12.0);
        m_pCave = std::make_unique<EditorTestScene>("Cave");
        EXPECT_TRUE(m_pHall->LoadChunks());
        m_pCave->LoadChunks();
        m_Source.m_gScenes.Add(m_pCave.get());
        m_Source.m_gScenes.Add(m_pHall.get());
        m_Source.m_pCurrent = m_pHall.get();
        return OpenDialog(&m_Source, "chunkTabPage");
    }

    static std::vector<std::string> Items(forms::ListControl* pList)
    {
        return std::vector<std::string>(pList->GetItems().begin(), pList->GetItems().end());
    }

    FakeEditorSceneSource m_Source;
    std::unique_ptr<EditorTestScene> m_pHall;
    std::unique_ptr<EditorTestScene> m_pCave;
};

TEST_F(KG_InterpolationEditorChunkPageTest, ListsWorldModelsLowerCasedOnceAndKeepsTheirFileNames)
{
    // A second repository holding the same models (the archive and the working directory in a
    // developer's run) must not list them twice; the first repository's name stands.
    TestTempDir second;
    std::filesystem::create_directories(second.Join("Assets/Models/World"));
    std::ofstream(second.Join("Assets/Models/World/ROCK_A.dae")) << "model";
    m_Files.AddDirectoryRepository(second.GetPath().c_str());
    KG_EditorChunkLists::CreateListOfAllChunks();
    const auto& gAll = KG_EditorChunkLists::GetAllAvailableChunks();
    ASSERT_EQ(gAll.GetNumMembers(), 3u);
    std::vector<std::string> aFiles;
    for (std::uint32_t i = 0; i < gAll.GetNumMembers(); ++i)
    {
        const std::string sEntry(gAll[i].GetBuffer(), gAll[i].GetLength());
        EXPECT_EQ(sEntry.rfind("assets/models/world/", 0), 0u) << sEntry;
        EXPECT_EQ(KG_EditorChunkLists::GetAllAvailableChunkHashes()[i], KG_EditorChunkLists::Hash(gAll[i]));
        aFiles.emplace_back(KG_EditorChunkLists::GetAllAvailableChunkFiles()[i].GetBuffer());
    }
    EXPECT_NE(std::find(aFiles.begin(), aFiles.end(), "Rock_A.DAE"), aFiles.end());
    EXPECT_EQ(std::find(aFiles.begin(), aFiles.end(), "ROCK_A.dae"), aFiles.end());

    // Hand-edited list lines shorter than the prefix are shown whole.
    EXPECT_EQ(std::string(KG_EditorChunkLists::StripPrefix("x.dae").GetBuffer()), "x.dae");
    EXPECT_EQ(std::string(KG_EditorChunkLists::StripPrefix("Assets/Models/World/Tree.dae").GetBuffer()),
              "Tree.dae");
}

TEST_F(KG_InterpolationEditorChunkPageTest, IncludesSavesAndRemovesChunksInTheChosenSceneOnly)
{
    Write(HALL_LIST, "Assets/Models/World/Tree.dae\nshort.dae");
    Write(CAVE_LIST, "Assets/Models/World/Rock_A.DAE");
    KG_InterpolationEditorDialog* pDialog = OpenOnChunks();
    const std::string sCaveCurve = Read(CAVE_CURVES + "Rock_A.int");

    auto* pIncluded = pDialog->Find<forms::ListBox>("chunkListBoxCurrentScene");
    auto* pAvailable = pDialog->Find<forms::ListBox>("chunkListBoxAvailable");
    EXPECT_EQ(pDialog->Find<forms::ComboBox>("chunkSceneComboBox")->GetText(), "Hall");
    EXPECT_EQ(Items(pIncluded), (std::vector<std::string>{"tree.dae", "short.dae"}));
    EXPECT_EQ(Items(pAvailable), (std::vector<std::string>{"bush.dae", "rock_a.dae"}));
    EXPECT_EQ(pDialog->Find<forms::TextBox>("chunkInterpolationPathTextBox")->GetText(), HALL_CURVES);
    // Chunk curves carry their value in x: x and snap only.
    EXPECT_TRUE(pDialog->Find<forms::CheckBox>("splineXCheckBox")->GetChecked());
    EXPECT_FALSE(pDialog->Find<forms::CheckBox>("splineYCheckBox")->GetChecked());
    EXPECT_TRUE(pDialog->Find<forms::CheckBox>("snapToIntegersCheckBox")->GetChecked());
    ASSERT_EQ(m_pHall->GetChunkInterpolations().GetNumMembers(), 2u);

    // "<-" includes Rock_A under its own file name; the first selection makes its curve.
    ASSERT_TRUE(pAvailable->UserSelect(1));
    ASSERT_TRUE(pDialog->Find<forms::Button>("chunkAddChunkButton")->UserClick());
    EXPECT_EQ(Items(pIncluded).back(), "rock_a.dae");
    EXPECT_EQ(pIncluded->GetSelectedIndex(), 2);
    EXPECT_EQ(pDialog->Find<forms::TextBox>("chunkInterpolationTextBox")->GetText(), "Rock_A.int");
    ASSERT_EQ(m_pHall->GetChunkInterpolations().GetNumMembers(), 3u);
    EXPECT_EQ(m_pHall->GetChunkModels().GetNumMembers(), 3u);
    EXPECT_TRUE(Exists(HALL_CURVES + "Rock_A.int"));
    KU_VertexInterpolation* pRockCurve = m_pHall->GetChunkInterpolations()[2];
    EXPECT_EQ(pDialog->GetCurrentVertexInterpolation(), pRockCurve);
    EXPECT_DOUBLE_EQ(pRockCurve->GetStartTime(), 2.0);
    EXPECT_DOUBLE_EQ(pRockCurve->GetEndTime(), 12.0);

    // Selecting it again before saving adds nothing.
    ASSERT_TRUE(pIncluded->UserSelect(0));
    ASSERT_TRUE(pIncluded->UserSelect(2));
    EXPECT_EQ(m_pHall->GetChunkInterpolations().GetNumMembers(), 3u);

    ASSERT_TRUE(pDialog->Find<forms::Button>("chunkSaveButton")->UserClick());
    EXPECT_EQ(Read(HALL_LIST), "Assets/Models/World/Tree.dae\nAssets/Models/World/short.dae\n"
                               "Assets/Models/World/Rock_A.DAE");

    // "->" on Tree: its curve file goes at once, the arrays keep the list's order, the curve is
    // deleted (unregistered) and the other scene's files stay as they were.
    ASSERT_TRUE(pIncluded->UserSelect(0));
    ASSERT_TRUE(Exists(HALL_CURVES + "Tree.int"));
    const std::uint32_t uiRegistered = m_Registry.GetAllVertexInterpolations().GetNumMembers();
    // A second window shows Tree's curve on its curve page: it must let go of it too.
    m_pManager->ShowNewInterpolationEditorDialog();
    KG_InterpolationEditorDialog* pOther = m_pManager->GetDialog(1);
    auto* pOtherCurves = pOther->Find<forms::ComboBox>("interpolationComboBox");
    ASSERT_TRUE(pOtherCurves->UserOpenDropDown());
    ASSERT_TRUE(pOtherCurves->UserSelect(pOtherCurves->GetItems().IndexOf(HALL_CURVES + "Tree.int")));
    ASSERT_NE(pOther->GetCurrentVertexInterpolation(), nullptr);
    ASSERT_TRUE(pDialog->Find<forms::Button>("chunkRemoveChunkButton")->UserClick());
    EXPECT_FALSE(Exists(HALL_CURVES + "Tree.int"));
    EXPECT_EQ(Items(pIncluded), (std::vector<std::string>{"short.dae", "rock_a.dae"}));
    ASSERT_EQ(m_pHall->GetChunkInterpolations().GetNumMembers(), 2u);
    EXPECT_EQ(m_pHall->GetChunkInterpolations()[1], pRockCurve);
    EXPECT_EQ(m_Registry.GetAllVertexInterpolations().GetNumMembers(), uiRegistered - 1);
    EXPECT_EQ(pOther->GetCurrentVertexInterpolation(), nullptr);
    EXPECT_EQ(pOther->GetEditorCalculations()->GetInterpolation(), nullptr);
    EXPECT_TRUE(Exists(CAVE_CURVES + "Rock_A.int"));
    EXPECT_EQ(Read(CAVE_CURVES + "Rock_A.int"), sCaveCurve);
    EXPECT_EQ(Read(CAVE_LIST), "Assets/Models/World/Rock_A.DAE");
    EXPECT_NE(std::find(Items(pAvailable).begin(), Items(pAvailable).end(), "tree.dae"),
              Items(pAvailable).end());

    // Everything out: the list is written as a lone line feed.
    for (int i = 0; i < 2; ++i)
    {
        ASSERT_TRUE(pIncluded->UserSelect(0));
        ASSERT_TRUE(pDialog->Find<forms::Button>("chunkRemoveChunkButton")->UserClick());
    }
    EXPECT_EQ(m_pHall->GetChunkInterpolations().GetNumMembers(), 0u);
    EXPECT_FALSE(Exists(HALL_CURVES + "Rock_A.int"));
    ASSERT_TRUE(pDialog->Find<forms::Button>("chunkSaveButton")->UserClick());
    EXPECT_EQ(Read(HALL_LIST), "\n");

    // Back on the curve page the user's check boxes return.
    pDialog->Find<forms::TabControl>("frameworkTabControl")->SetSelectedIndex(0);
    EXPECT_TRUE(pDialog->Find<forms::CheckBox>("splineYCheckBox")->GetChecked());
    EXPECT_FALSE(pDialog->Find<forms::CheckBox>("snapToIntegersCheckBox")->GetChecked());
}

TEST_F(KG_InterpolationEditorChunkPageTest, ListsEmptiedWhenEveryWindowClosed)
{
    OpenOnChunks();
    EXPECT_EQ(KG_EditorChunkLists::GetAllAvailableChunks().GetNumMembers(), 3u);
    ASSERT_TRUE(m_pManager->CloseInterpolationEditorDialogs(true));
    EXPECT_EQ(KG_EditorChunkLists::GetAllAvailableChunks().GetNumMembers(), 0u);
    EXPECT_EQ(KG_EditorChunkLists::GetAllAvailableChunkFiles().GetNumMembers(), 0u);
}

} // namespace
