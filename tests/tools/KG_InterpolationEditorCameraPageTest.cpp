#include "tools/KG_InterpolationEditorCameraPage.h"

#include "render/camera/KR_AnimatedCamera.h"
#include "render/scene/KR_SceneManager.h"
#include "tests/tools/InterpolationEditorPageTestFixture.h"
#include "timing/KB_LinearInterpolation.h"
#include "tools/KG_EditorParsing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace DirectX;
using K_GUI::KG_InterpolationEditorCameraPage;
using K_GUI::KG_InterpolationEditorDialog;

namespace
{

class TestScene : public EditorTestScene
{
public:
    using EditorTestScene::EditorTestScene;

    // Cameras with a rail and a field-of-view curve, written to their files.
    void AddCameras(int iCount)
    {
        for (int i = 0; i < iCount; ++i)
        {
            const std::uint32_t uiNumber = GetAnimatedCameras().GetNumMembers();
            const KB_String sPath =
                GetAnimatedCamerasFolder() +
                KB_String::Formatted("%s_AnimatedCamera%02u.cam", GetSceneName().GetBuffer(), uiNumber);
            auto* pRail = new KB_LinearInterpolation();
            pRail->InsertVertex(XMVectorSet(float(i), 0, 0, 0), 0.0);
            pRail->InsertVertex(XMVectorSet(float(i), 5, 0, 0), 1.0);
            auto* pFov = new KB_LinearInterpolation();
            pFov->InsertVertex(XMVectorSet(60, 0, 0, 0), 0.0);
            auto* pCamera = new KR_AnimatedCamera(sPath, pRail, nullptr, pFov, nullptr);
            pCamera->SetEndTime(10.0);
            GetAnimatedCameras().Add(pCamera);
        }
        SaveAnimatedCameras();
    }
};

class FakeSceneSource : public FakeEditorSceneSource
{
public:
    bool CreateNewCameraInterpolation(const NewCamera& camera) override
    {
        m_aCreated.push_back(camera);
        static_cast<TestScene*>(m_pCurrent)->AddCameras(1);
        return true;
    }

    std::vector<NewCamera> m_aCreated;
};

class KG_InterpolationEditorCameraPageTest : public InterpolationEditorPageTestFixture
{
protected:
    void SetUp() override
    {
        InterpolationEditorPageTestFixture::SetUp();
        if (HasFatalFailure())
            return;
        m_Source.m_vFreeCamera = {1.5f, -2.0f, 3.0f};
        m_Source.m_gScenes.Add(&m_Hall);
        m_Source.m_gScenes.Add(&m_Cave);
        m_Source.m_pCurrent = &m_Hall;
    }

    KG_InterpolationEditorDialog* OpenOnCameras() { return OpenDialog(&m_Source, "cameraTabPage"); }
    bool Exists(const KB_String& sPath)
    {
        return InterpolationEditorPageTestFixture::Exists(sPath.GetBuffer());
    }
    std::string Read(const KB_String& sPath)
    {
        return InterpolationEditorPageTestFixture::Read(sPath.GetBuffer());
    }
    static std::string LastBox()
    {
        const auto boxes = FormsControl::GetMessageBoxes();
        return boxes.empty() ? std::string() : boxes.back().caption + ": " + boxes.back().text;
    }

    TestScene m_Hall{"Hall"};
    TestScene m_Cave{"Cave"};
    FakeSceneSource m_Source;
};

TEST_F(KG_InterpolationEditorCameraPageTest, ChoosesEditsSavesAndDeletesThroughTheHoldingScene)
{
    m_Hall.AddCameras(2);
    m_Cave.AddCameras(2);
    const std::string sCaveCamera = Read(m_Cave.GetAnimatedCameras()[1]->GetCameraFilePath());
    KG_InterpolationEditorDialog* pDialog = OpenOnCameras();
    auto* pCameras = pDialog->Find<forms::ComboBox>("cameraComboBox");
    ASSERT_TRUE(pCameras->UserOpenDropDown());
    ASSERT_EQ(pCameras->GetItems().GetCount(), 2);
    EXPECT_EQ(pCameras->GetMaxDropDownItems(), 3);
    ASSERT_TRUE(pCameras->UserSelect(1));
    KR_AnimatedCamera* pSecond = m_Hall.GetAnimatedCameras()[1];
    auto* pCurves = pDialog->Find<forms::ComboBox>("cameraInterpolationComboBox");
    EXPECT_TRUE(pCurves->GetEnabled());
    ASSERT_EQ(pCurves->GetItems().GetCount(), 2); // rail and field of view; no target rail
    EXPECT_EQ(pDialog->GetCurrentVertexInterpolation(), pSecond->GetCameraRailInterpolation());
    ASSERT_TRUE(
        pCurves->UserSelect(pCurves->GetItems().IndexOf(pSecond->GetFOVInterpolationPath().GetBuffer())));
    EXPECT_EQ(pDialog->GetCurrentVertexInterpolation(), pSecond->GetFOVInterpolation());

    // Times go through the camera's own setters; text that is not a number is put back on leaving.
    auto* pEnd = pDialog->Find<forms::TextBox>("cameraEndTimeTextBox");
    EXPECT_EQ(pEnd->GetText(), "10");
    ASSERT_TRUE(pEnd->UserType("20"));
    EXPECT_DOUBLE_EQ(pSecond->GetEndTime(), 20.0);
    ASSERT_TRUE(pEnd->UserFocus());
    ASSERT_TRUE(pEnd->UserType("2o"));
    pDialog->Find<forms::TextBox>("cameraDebugStringTextBox")->UserFocus();
    EXPECT_EQ(pEnd->GetText(), "20");

    ASSERT_TRUE(pDialog->Find<forms::TextBox>("cameraDebugStringTextBox")->UserType("dolly"));
    ASSERT_TRUE(pDialog->Find<forms::Button>("cameraSaveButton")->UserClick());
    EXPECT_NE(Read(pSecond->GetCameraFilePath()).find("dolly"), std::string::npos);
    EXPECT_FALSE(pDialog->GetEditorCalculations()->HasVertexInterpolationChanged());

    // The current scene changes to Cave, but the list still shows Hall's cameras: "Del" removes
    // Hall's camera through Hall and leaves every Cave file as it was.
    m_Source.m_pCurrent = &m_Cave;
    const KB_String sSecondPath = pSecond->GetCameraFilePath();
    ASSERT_TRUE(pDialog->Find<forms::Button>("cameraDeleteButton")->UserClick());
    EXPECT_EQ(m_Hall.GetAnimatedCameras().GetNumMembers(), 1u);
    EXPECT_FALSE(Exists(sSecondPath));
    EXPECT_EQ(m_Cave.GetAnimatedCameras().GetNumMembers(), 2u);
    EXPECT_EQ(Read(m_Cave.GetAnimatedCameras()[1]->GetCameraFilePath()), sCaveCamera);
    // The first entry is chosen again: the remaining camera's rail is shown.
    EXPECT_EQ(pDialog->GetCurrentVertexInterpolation(),
              m_Hall.GetAnimatedCameras()[0]->GetCameraRailInterpolation());
    ASSERT_EQ(pCameras->GetItems().GetCount(), 1);
    EXPECT_EQ(pCameras->GetSelectedIndex(), 0);

    // The last entry is never deleted.
    FormsControl::ExpectMessageBox("Error", forms::DialogResult::OK);
    ASSERT_TRUE(pDialog->Find<forms::Button>("cameraDeleteButton")->UserClick());
    EXPECT_EQ(LastBox(), std::string("Error: ") + KG_InterpolationEditorCameraPage::LAST_CAMERA_TEXT);
    EXPECT_EQ(m_Hall.GetAnimatedCameras().GetNumMembers(), 1u);
}

TEST_F(KG_InterpolationEditorCameraPageTest, EnteringChoosesTheFirstCameraAndShowsItsCurve)
{
    m_Hall.AddCameras(2);
    KG_InterpolationEditorDialog* pDialog = OpenOnCameras();
    KR_AnimatedCamera* pFirst = m_Hall.GetAnimatedCameras()[0];
    auto* pCameras = pDialog->Find<forms::ComboBox>("cameraComboBox");
    ASSERT_EQ(pCameras->GetItems().GetCount(), 2);
    EXPECT_EQ(pCameras->GetSelectedItem(), pFirst->GetCameraFilePath().GetBuffer());
    EXPECT_EQ(pDialog->GetCurrentVertexInterpolation(), pFirst->GetCameraRailInterpolation());
    EXPECT_EQ(pDialog->GetEditorCalculations()->GetInterpolation(), pFirst->GetCameraRailInterpolation());
    EXPECT_EQ(pDialog->Find<forms::ComboBox>("cameraInterpolationComboBox")->GetSelectedIndex(), 0);
    EXPECT_EQ(pDialog->Find<forms::TextBox>("cameraEndTimeTextBox")->GetText(), "10");
    EXPECT_TRUE(pDialog->Find<forms::TextBox>("cameraDebugStringTextBox")->GetEnabled());

    // The camera chosen before is chosen again on coming back.
    ASSERT_TRUE(pCameras->UserSelect(1));
    ShowPage("interpolationTabPage");
    ShowPage("cameraTabPage");
    EXPECT_EQ(pCameras->GetSelectedIndex(), 1);
    EXPECT_EQ(pDialog->GetCurrentVertexInterpolation(),
              m_Hall.GetAnimatedCameras()[1]->GetCameraRailInterpolation());
}

TEST_F(KG_InterpolationEditorCameraPageTest, TheWindowOpensWithTheCurrentScenesFirstCameraChosen)
{
    // Over the engine's scene manager, as the window is opened in the program.
    KR_SceneManager scenes;
    auto* pScene = new TestScene("Hall");
    pScene->SetStartTime(0.0);
    pScene->SetEndTime(10.0);
    pScene->AddCameras(2);
    scenes.AddScene(pScene); // owned by the scene manager
    m_Engine->SetSceneManager(&scenes);
    m_pManager = std::make_unique<KG_InterpolationEditorDialogManager>();
    m_pManager->ShowNewInterpolationEditorDialog();
    m_pDialog = m_pManager->GetDialog(0);
    EXPECT_EQ(Get<forms::ComboBox>("cameraComboBox")->GetSelectedIndex(), 0);
    EXPECT_EQ(Get<forms::ComboBox>("cameraInterpolationComboBox")->GetSelectedIndex(), 0);
    EXPECT_EQ(m_pDialog->GetCurrentVertexInterpolation(), nullptr) << "the curve page keeps the graph";
    ShowPage("cameraTabPage");
    EXPECT_EQ(m_pDialog->GetCurrentVertexInterpolation(),
              pScene->GetAnimatedCameras()[0]->GetCameraRailInterpolation());
    m_pManager.reset();
    m_Engine->SetSceneManager(nullptr);
}

TEST_F(KG_InterpolationEditorCameraPageTest, AfterAReloadThePageHoldsACameraAgainAndSavesIt)
{
    m_Hall.AddCameras(2);
    KG_InterpolationEditorDialog* pDialog = OpenOnCameras();
    auto* pCameras = pDialog->Find<forms::ComboBox>("cameraComboBox");
    ASSERT_TRUE(pCameras->UserOpenDropDown());
    ASSERT_TRUE(pCameras->UserSelect(0));

    // The reload deletes the cameras and reads them again from their files.
    m_Hall.GetAnimatedCameras().DeleteAll();
    m_Hall.AddCameras(2);
    m_pManager->InvalidateInterpolationEditorsDialogs();
    KR_AnimatedCamera* pFirst = m_Hall.GetAnimatedCameras()[0];
    ShowPage("interpolationTabPage");
    ShowPage("cameraTabPage");
    EXPECT_EQ(pCameras->GetSelectedItem(), pFirst->GetCameraFilePath().GetBuffer());
    EXPECT_EQ(pDialog->GetCurrentVertexInterpolation(), pFirst->GetCameraRailInterpolation());

    ASSERT_TRUE(pDialog->Find<forms::TextBox>("cameraDebugStringTextBox")->UserType("crane"));
    ASSERT_TRUE(pDialog->Find<forms::Button>("cameraSaveButton")->UserClick());
    EXPECT_NE(Read(pFirst->GetCameraFilePath()).find("crane"), std::string::npos);

    // A reload while the page is shown: the graph stays on the camera read again.
    ASSERT_TRUE(pCameras->UserSelect(1));
    m_Hall.GetAnimatedCameras().DeleteAll();
    m_Hall.AddCameras(2);
    m_pManager->InvalidateInterpolationEditorsDialogs();
    EXPECT_EQ(pCameras->GetSelectedIndex(), 1);
    EXPECT_EQ(pDialog->GetCurrentVertexInterpolation(),
              m_Hall.GetAnimatedCameras()[1]->GetCameraRailInterpolation());
}

TEST_F(KG_InterpolationEditorCameraPageTest, CreationChecksEveryFieldInOrderAndSelectsTheNewCamera)
{
    m_Hall.AddCameras(1);
    KG_InterpolationEditorDialog* pDialog = OpenOnCameras();
    auto type = [pDialog](const char* pName, const char* pText)
    { ASSERT_TRUE(pDialog->Find<forms::TextBox>(pName)->UserType(pText)); };
    auto create = [pDialog](const char* pCaption)
    {
        FormsControl::ExpectMessageBox(pCaption, forms::DialogResult::OK);
        ASSERT_TRUE(pDialog->Find<forms::Button>("cameraCreateButton")->UserClick());
    };
    type("cameraNewStartTimeTextBox", "x");
    create("Unset Data Warning");
    EXPECT_EQ(LastBox(),
              "Unset Data Warning: Could not convert Camera Start Time to a double. No Camera created.");
    type("cameraNewStartTimeTextBox", "4");
    type("cameraNewEndTimeTextBox", "4");
    create("Bad Data Warning");
    EXPECT_EQ(LastBox(),
              "Bad Data Warning: Camera End Time must be larger than Camera Start Time. No Camera created.");
    type("cameraNewEndTimeTextBox", "9");
    type("timeSlicingTextBox", "NaN");
    create("Unset Data Warning");
    EXPECT_EQ(LastBox(),
              "Unset Data Warning: Could not convert Time Slicing value to a double. No Camera created.");
    type("timeSlicingTextBox", "0.5");
    type("cameraNewEndPosTextBox", "1  2 3");
    create(K_GUI::KG_EditorParsing::INVALID_DATA_CAPTION);
    EXPECT_EQ(LastBox(),
              "Invalid Data Warning: String for Camera Pos End does not consist of 3 float values. No "
              "Camera created.");
    EXPECT_TRUE(m_Source.m_aCreated.empty());

    ASSERT_TRUE(pDialog->Find<forms::Button>("samplePosButton2")->UserClick());
    EXPECT_EQ(pDialog->Find<forms::TextBox>("cameraNewEndPosTextBox")->GetText(), "1.5 -2 3");
    ASSERT_TRUE(pDialog->Find<forms::Button>("cameraCreateButton")->UserClick());
    ASSERT_EQ(m_Source.m_aCreated.size(), 1u);
    EXPECT_DOUBLE_EQ(m_Source.m_aCreated[0].fStart, 4.0);
    EXPECT_DOUBLE_EQ(m_Source.m_aCreated[0].fEnd, 9.0);
    EXPECT_DOUBLE_EQ(m_Source.m_aCreated[0].fSlicing, 0.5);
    EXPECT_FLOAT_EQ(m_Source.m_aCreated[0].cameraEnd.y, -2.0f);
    auto* pCameras = pDialog->Find<forms::ComboBox>("cameraComboBox");
    EXPECT_EQ(pCameras->GetItems().GetCount(), 2);
    EXPECT_EQ(pCameras->GetSelectedItem(), m_Hall.GetAnimatedCameras()[1]->GetCameraFilePath().GetBuffer());
}

} // namespace
