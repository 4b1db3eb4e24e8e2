#include "render/camera/KR_AnimatedCamera.h"

#include "framework/app/KE_Dispatcher.h"
#include "render/debug/KR_QuaternionInterpolationVisualisation.h"
#include "render/debug/KR_Ray.h"
#include "render/debug/KR_VertexInterpolationVisualisation.h"
#include "tests/render/camera/CameraTestHelpers.h"
#include "tests/support/MemoryFiles.h"
#include "tests/support/TestEngine.h"
#include "timing/KB_LinearInterpolation.h"
#include "timing/KB_RotationInterpolation.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

using namespace DirectX;
using cameratest::ExpectVectorNear;

namespace
{

const char* const FOLDER = "Assets/Entities/S/Cameras/";

std::vector<std::string> Lines(const std::string& sText)
{
    std::vector<std::string> lines;
    std::istringstream stream(sText);
    std::string sLine;
    while (std::getline(stream, sLine))
        lines.push_back(sLine);
    return lines;
}

KB_LinearInterpolation* Rail(float x0, float z0, float x1, float z1, double fStart = 0.0, double fEnd = 1.0)
{
    KB_LinearInterpolation* pRail = new KB_LinearInterpolation();
    pRail->InsertVertex(XMVectorSet(x0, 0, z0, 0), 0.0);
    pRail->InsertVertex(XMVectorSet(x1, 0, z1, 0), fEnd - fStart);
    pRail->SetEndTime(fEnd);
    pRail->SetStartTime(fStart);
    return pRail;
}

KB_RotationInterpolation* Turn(float fDegrees, double fStart = 0.0, double fEnd = 1.0)
{
    KB_RotationInterpolation* pTurn = new KB_RotationInterpolation();
    pTurn->InsertQuaternion(XMQuaternionIdentity(), 0.0);
    pTurn->InsertQuaternion(XMQuaternionRotationAxis(XMVectorSet(0, 1, 0, 0), fDegrees * 0.017453292f),
                            fEnd - fStart);
    pTurn->SetEndTime(fEnd);
    pTurn->SetStartTime(fStart);
    return pTurn;
}

class KR_AnimatedCameraTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_Files.Install();
        m_Engine->SetDispatcher(&m_Dispatcher);
    }
    void TearDown() override
    {
        m_Engine->SetDeveloperBuild(false);
        m_Engine->SetFileManager(nullptr);
    }

    std::string Path(const char* pName) const { return std::string(FOLDER) + pName; }
    void WriteCam(const char* pName, const std::string& sText) { m_pRepository->SetFile(Path(pName), sText); }
    KR_AnimatedCamera* Load(const char* pName)
    {
        KR_AnimatedCamera* pCamera = new KR_AnimatedCamera(KB_String());
        EXPECT_TRUE(pCamera->LoadCameraFromFile(KB_String(Path(pName).c_str())));
        return pCamera;
    }

    TestEngine m_Engine;
    MemoryFiles m_Files;
    KE_Dispatcher m_Dispatcher;
    MemoryRepository* m_pRepository = m_Files.GetRepository();
};

} // namespace

TEST_F(KR_AnimatedCameraTest, CameraFileIsWrittenInTheFixedLayoutAndReadBack)
{
    KR_AnimatedCamera camera(KB_String(), Rail(0, 0, 10, 0), Rail(0, 10, 10, 10), nullptr, Turn(90));
    camera.SetDebugName(KB_String("Fly by\nfov 1")); // a line end never starts a key line
    camera.SetFOV(12.345678f);
    camera.SetNearFarPlanes(0.5f, 1000.0f);
    camera.SetEndTime(12.0);
    camera.SetStartTime(2.0);
    camera.SetCameraRailPath(KB_String("S_Camera00_CP.int"));
    camera.SetCameraTargetRailPath(KB_String("S_Camera00_TP.int"));
    camera.SetOrientationInterpolationPath(KB_String("S_Camera00_OP.int"));
    ASSERT_TRUE(camera.SaveCameraToFile(KB_String(Path("S_Camera00.cam").c_str())));

    const std::vector<std::string> lines = Lines(m_pRepository->GetFileContents(Path("S_Camera00.cam")));
    const std::vector<std::string> expected = {
        "# ",
        "# Simple Animated camera file",
        "# ",
        "# # == comment line",
        "# d == debug name of the camera (string)",
        "# fov == FOV of the camera in degrees (float)",
        "# nz == near Z of the camera (float)",
        "# fz == far Z of the camera (float)",
        "# s == start time stamp of interpolation (double)",
        "# e == end time stamp of interpolation (double)",
        "# cp == following string is the path to the camera VertexInterpolation",
        "# tp == following string is the path to the camera target VertexInterpolation",
        "# fp == following string is the path to the FOV VertexInterpolation",
        "# op == following string is the path to the OrientationInterpolation",
        "# ",
        "d Fly by",
        "fov 12.3457",
        "nz 0.5",
        "fz 1000",
        "s 2",
        "e 12",
        "cp S_Camera00_CP.int",
        "tp S_Camera00_TP.int",
        "op S_Camera00_OP.int",
    };
    ASSERT_EQ(lines.size(), 11 + expected.size());
    for (std::size_t i = 0; i < 11; ++i)
        EXPECT_EQ(lines[i].rfind("# ", 0), 0u) << "comment block line " << i;
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(lines[11 + i], expected[i]);
    EXPECT_TRUE(m_pRepository->HasFile(Path("S_Camera00_CP.int")));
    EXPECT_TRUE(m_pRepository->HasFile(Path("S_Camera00_OP.int")));

    KR_AnimatedCamera* pRead = Load("S_Camera00.cam");
    EXPECT_EQ(pRead->GetDebugName(), KB_String("Fly by"));
    EXPECT_EQ(pRead->GetFOV(), 12.3457f);
    EXPECT_TRUE(pRead->GetNearZ() == 0.5f && pRead->GetFarZ() == 1000.0f);
    EXPECT_TRUE(pRead->GetStartTime() == 2.0 && pRead->GetEndTime() == 12.0);
    EXPECT_EQ(pRead->GetOrientationInterpolationPath(), KB_String("S_Camera00_OP.int"));
    ASSERT_NE(pRead->GetCameraRailInterpolation(), nullptr);
    ASSERT_NE(pRead->GetCameraTargetRailInterpolation(), nullptr);
    ASSERT_NE(pRead->GetOrientationInterpolation(), nullptr);
    EXPECT_EQ(pRead->GetFOVInterpolation(), nullptr);
    EXPECT_EQ(pRead->GetCameraRailInterpolation()->GetNumVertices(), 2u);
    EXPECT_EQ(pRead->GetCameraRailVisualisation(), nullptr); // not developer mode
    EXPECT_EQ(pRead->CreateCameraText(), camera.CreateCameraText());

    // With an FOV curve the file names it and writes no "fov" line.
    pRead->SetFOVInterpolationPath(KB_String("S_Camera00_FOV.int"));
    const std::string sText = pRead->CreateCameraText().GetBuffer();
    EXPECT_EQ(sText.find("\nfov "), std::string::npos);
    EXPECT_NE(sText.find("\nfp S_Camera00_FOV.int\n"), std::string::npos);
    delete pRead;
}

TEST_F(KR_AnimatedCameraTest, EvaluatedAtBetweenAndOutsideItsKeys)
{
    // 10 units along +x from 5 s to 6 s, looking at a target rail 10 ahead.
    KR_AnimatedCamera camera(KB_String(), Rail(0, 0, 10, 0, 5, 6), Rail(0, 10, 10, 10, 5, 6), nullptr,
                             Turn(0, 5, 6));
    camera.Update(5.0);
    ExpectVectorNear(camera.GetPosition(), 0, 0, 0);
    ExpectVectorNear(camera.GetLookVector(), 0, 0, 1);
    camera.Update(5.5);
    ExpectVectorNear(camera.GetPosition(), 5, 0, 0, 1e-5f);
    ExpectVectorNear(camera.GetVelocity(), 20, 0, 0, 1e-3f); // (b - a) x 100 over +-0.01 s
    camera.Update(7.0);                                      // past the last key both samples clamp
    ExpectVectorNear(camera.GetPosition(), 10, 0, 0);
    ExpectVectorNear(camera.GetVelocity(), 0, 0, 0);
    camera.Update(4.0);
    ExpectVectorNear(camera.GetPosition(), 0, 0, 0);

    // Without a target rail the orientation curve turns the camera; an FOV curve sets the view.
    KB_LinearInterpolation* pFOV = new KB_LinearInterpolation();
    pFOV->InsertVertex(XMVectorSet(30, 0, 0, 0), 0.0);
    pFOV->InsertVertex(XMVectorSet(90, 0, 0, 0), 1.0);
    pFOV->SetEndTime(1.0);
    KR_AnimatedCamera turning(KB_String(), Rail(0, 0, 0, 10), nullptr, pFOV, Turn(90));
    turning.Update(0.5);
    const float r = std::sqrt(0.5f);
    ExpectVectorNear(turning.GetLookVector(), r, 0, r);
    ExpectVectorNear(turning.GetPosition(), 0, 0, 5);
    EXPECT_NEAR(turning.GetFOV(), 60.0f, 1e-4f);

    // Without rail and orientation nothing is evaluated, and nothing breaks.
    KR_AnimatedCamera empty(KB_String("Assets/x.cam"));
    empty.SetPosition(XMVectorSet(1, 2, 3, 1));
    empty.Update(1.0);
    ExpectVectorNear(empty.GetPosition(), 1, 2, 3);
}

TEST_F(KR_AnimatedCameraTest, RetimingScalesKeysOnlyWhenTheSpanAllowsIt)
{
    // A camera made from the view at 0 / 0: stretching it must not turn its stamps into inf.
    KR_AnimatedCamera camera(KB_String(), Rail(0, 0, 10, 0, 0, 1), nullptr, nullptr, Turn(90, 0, 1));
    KU_VertexInterpolation* pRail = camera.GetCameraRailInterpolation();
    camera.SetEndTime(10.0);
    EXPECT_EQ(camera.GetEndTime(), 10.0);
    EXPECT_EQ(pRail->GetTimeStamp(1), 1.0);
    EXPECT_EQ(pRail->GetEndTime(), 10.0);

    camera.SetEndTime(20.0); // span 10 -> 20: every stamp of every curve doubles
    EXPECT_EQ(pRail->GetTimeStamp(1), 2.0);
    EXPECT_EQ(camera.GetOrientationInterpolation()->GetTimeStamp(1), 2.0);
    camera.SetEndTime(-1.0); // before the start: nothing
    EXPECT_EQ(camera.GetEndTime(), 20.0);
    camera.SetStartTime(25.0); // after the end: nothing
    EXPECT_EQ(camera.GetStartTime(), 0.0);
    camera.SetStartTime(10.0); // span 20 -> 10: halved
    EXPECT_EQ(pRail->GetTimeStamp(1), 1.0);
    EXPECT_EQ(pRail->GetStartTime(), 10.0);

    KR_AnimatedCamera header(KB_String(), Rail(0, 0, 10, 0, 0, 1), nullptr, nullptr, nullptr);
    header.SetEndTime(0.0);
    header.SetStartTime(5.0); // 0 / 0 camera, end below 0.001: the start moves, keys stay
    EXPECT_EQ(header.GetStartTime(), 5.0);
    EXPECT_EQ(header.GetCameraRailInterpolation()->GetTimeStamp(1), 1.0);
    EXPECT_TRUE(std::isfinite(header.GetCameraRailInterpolation()->GetTimeStamp(0)));
}

TEST_F(KR_AnimatedCameraTest, HostileAndPartialFilesReadCleanly)
{
    WriteCam("header.cam", "# Simple Animated camera file\n# \n");
    KR_AnimatedCamera* pCamera = Load("header.cam");
    EXPECT_TRUE(pCamera->GetStartTime() == 0.0 && pCamera->GetEndTime() == 0.0);
    EXPECT_EQ(pCamera->GetFOV(), 70.0f);
    EXPECT_TRUE(pCamera->GetNearZ() == 0.1f && pCamera->GetFarZ() == 200.0f);
    EXPECT_EQ(pCamera->GetCameraRailInterpolation(), nullptr);
    pCamera->Update(1.0);
    delete pCamera;

    const std::string sLongWord(600, 'x');
    const std::string sLongPath(400, 'p');
    WriteCam("hostile.cam", "d  two spaces\r\n" + sLongWord + " 5\r\nnz 300\r\nfz 1000\r\ncp " + sLongPath +
                                "\r\ntp missing.int\r\nfov 45\r\nunknown 1 2 3\r\ns 1.5\r\n");
    pCamera = Load("hostile.cam");
    EXPECT_EQ(pCamera->GetDebugName(), KB_String(" two spaces"));                // one space kept, no CR
    EXPECT_TRUE(pCamera->GetNearZ() == 300.0f && pCamera->GetFarZ() == 1000.0f); // a pair, in any order
    EXPECT_EQ(pCamera->GetCameraRailPath().GetLength(), KR_AnimatedCamera::MAX_PATH_LENGTH);
    EXPECT_EQ(pCamera->GetCameraTargetRailPath(), KB_String("missing.int"));
    EXPECT_EQ(pCamera->GetCameraTargetRailInterpolation(), nullptr); // unreadable: left out
    EXPECT_EQ(pCamera->GetFOV(), 45.0f);
    EXPECT_EQ(pCamera->GetStartTime(), 1.5);
    delete pCamera;

    // A value that cannot be read ends the file; what came before stays and the load succeeds.
    WriteCam("broken.cam", "d one\nfov abc\nnz 3\n");
    pCamera = Load("broken.cam");
    EXPECT_EQ(pCamera->GetDebugName(), KB_String("one"));
    EXPECT_EQ(pCamera->GetNearZ(), 0.1f);
    EXPECT_FALSE(pCamera->LoadCameraFromFile(KB_String("Assets/none.cam")));
    delete pCamera;
}

TEST_F(KR_AnimatedCameraTest, DeveloperModeVisualisationsAndPicking)
{
    m_Engine->SetDeveloperBuild(true);
    KR_AnimatedCamera camera(KB_String(), Rail(0, 0, 10, 0, 0, 1), Rail(0, 10, 10, 10, 0, 1), nullptr,
                             Turn(0, 0, 1));
    camera.SetEndTime(1.0);
    ASSERT_NE(camera.GetCameraRailVisualisation(), nullptr);
    ASSERT_NE(camera.GetOrientationVisualisation(), nullptr);
    EXPECT_EQ(camera.GetCameraRailVisualisation()->GetRailColor().GetB(), 1.0f);
    EXPECT_EQ(camera.GetTargetRailVisualisation()->GetRailColor().GetR(), 0.1f); // construction colours
    const XMVECTOR viewer = XMVectorSet(0, 0, -50, 1);
    camera.RenderDebug(0.5, nullptr, &viewer);
    camera.RenderOrientationDebug(0.5, nullptr, &viewer);

    // The camera rail's first key box lies straight ahead of this ray.
    const KR_Ray ray = {XMVectorSet(0, 0, -50, 1), XMVectorSet(0, 0, 1, 0)};
    EXPECT_LT(camera.GetPickDistance(0.5, ray), 50.0f);
    EXPECT_EQ(camera.GetPickDistance(3.0, ray), FLT_MAX); // not active then
    EXPECT_TRUE(camera.Select(0.5, ray));
    EXPECT_EQ(camera.GetCameraRailVisualisation()->GetSelectedIndex(), 0u);
    camera.MoveSelectedKeyTo(0.5, XMVectorSet(0, 5, 0, 0));
    ExpectVectorNear(camera.GetCameraRailInterpolation()->GetVertex(0), 0, 5, 0);

    const KR_Ray miss = {XMVectorSet(500, 500, -50, 1), XMVectorSet(0, 0, 1, 0)};
    EXPECT_FALSE(camera.Select(0.5, miss)); // the orientation keys' pick deselects everything
    EXPECT_EQ(camera.GetCameraRailVisualisation()->GetSelectedIndex(),
              KR_VertexInterpolationVisualisation::NO_SELECTION);

    // A reload makes the visualisations anew in the loaded camera's colours.
    camera.SetCameraRailPath(KB_String("rail.int"));
    camera.SaveCameraToFile(KB_String(Path("dev.cam").c_str()));
    camera.ReloadCamera();
    ASSERT_NE(camera.GetCameraRailVisualisation(), nullptr);
    EXPECT_EQ(camera.GetCameraRailVisualisation()->GetMarkerColor().GetR(), 0.15f);
    EXPECT_EQ(camera.GetOrientationVisualisation(), nullptr); // no target rail or orientation now
}
