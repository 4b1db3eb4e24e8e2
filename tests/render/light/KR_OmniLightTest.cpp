#include "render/light/KR_OmniLight.h"

#include "render/debug/KR_DebugPolyhedron.h"
#include "render/debug/KR_TranslateGizmo.h"
#include "render/debug/KR_VertexInterpolationVisualisation.h"
#include "tests/render/camera/CameraTestHelpers.h"
#include "tests/render/light/LightTestHelpers.h"

using namespace DirectX;
using cameratest::ExpectVectorNear;
using lighttest::LightTest;
using lighttest::Rail;

namespace
{

const char* const OMNI_HEADER =
    "# \n"
    "# Simple Omni Light file\n"
    "# \n"
    "# == comment line\n"
    "# d == debug name of the omni light (string)\n"
    "# s == start time stamp of the omni light (double)\n"
    "# e == end time stamp of the omni light (double)\n"
    "# pv == position of the omni light (3x float)\n"
    "# tv == target of the tube light (3x float)\n"
    "# cv == color of the omni light (RGB webcolor)\n"
    "# av == attenuation of the omni light (3x float; constant, linear, quadratic)\n"
    "# lm == maximum distance of the omni light (float)\n"
    "# ls == strength of the omni light (float)\n"
    "# lss == specular strength of the omni light (float)\n"
    "# vl == used in volumelight postfx (bool)\n"
    "# pp == following string is the path to the omni light position VertexInterpolation\n"
    "# tp == following string is the path to the omni light target VertexInterpolation\n"
    "# cp == following string is the path to the omni light color VertexInterpolation\n"
    "# sp == following string is the path to the omni light strength VertexInterpolation\n"
    "# \n";

using KR_OmniLightTest = LightTest;

} // namespace

TEST_F(KR_OmniLightTest, ExampleLightIsWrittenInTheFixedLayoutAndReadBackEqual)
{
    KR_OmniLight light;
    light.SetStartTime(12.5);
    light.SetEndTime(40.0);
    light.SetPosition(XMFLOAT3(1.0f, 2.5f, -3.0f));
    light.SetLightColor(KB_Color(1.0f, 0.918f, 0.38f, 1.0f));
    light.SetLightStrength(2.0f);
    light.SetLightAttenuation(XMFLOAT3(0.0f, 0.0f, 0.01f));
    ASSERT_TRUE(light.SaveToFile(KB_String(Path("S_OmniLight00.omn").c_str())));
    EXPECT_EQ(BodyOf("S_OmniLight00.omn"),
              std::string(OMNI_HEADER) +
                  "s 12.5\ne 40\npv 1 2.5 -3\ncv #FFEA60\nls 2\nlss 1\nav 0 0 0.01\nvl false\n");

    KR_OmniLight read;
    ASSERT_TRUE(read.LoadFromFile(KB_String(Path("S_OmniLight00.omn").c_str())));
    EXPECT_EQ(read.CreateLightText(), light.CreateLightText());
    EXPECT_FALSE(read.IsUsedAsTubeLight());
    EXPECT_EQ(read.GetStoredPosition().w, 1.0f);
    EXPECT_EQ(read.GetTargetMarker(), nullptr);

    // A tube light with a debug name, curves and the volume flag: value keys give way to paths,
    // and every curve (the target rail too) is saved beside the file.
    KR_OmniLight tube;
    tube.SetDebugName(KB_String("Neon\ncp evil"));
    tube.SetStartTime(12.3456789);
    tube.SetMaxLightDistance(50.0f);
    tube.SetUseAsVolumeLight(true);
    tube.SetPositionRailPath(KB_String("Interpolations/P.int"));
    tube.SetPostitionRailInterpolation(Rail(XMVectorSet(0, 0, 0, 0), XMVectorSet(10, 0, 0, 0)));
    tube.SetTargetRailPath(KB_String("Interpolations/T.int"));
    tube.SetTargetRailInterpolation(Rail(XMVectorSet(0, 5, 0, 0), XMVectorSet(10, 5, 0, 0)));
    tube.SetOmniFlags(KR_OmniLight::OMNI_FLAG_TUBE_LIGHT);
    ASSERT_TRUE(tube.SaveToFile(KB_String(Path("Tube.omn").c_str())));
    EXPECT_EQ(BodyOf("Tube.omn"), std::string(OMNI_HEADER) +
                                      "d Neon\ns 12.3457\ne 0\ncv #FFFFFF\nlm 50\nls 1\nlss 1\nav 0 0 1e-05\n"
                                      "pp Interpolations/P.int\ntp Interpolations/T.int\nvl true\n");
    EXPECT_TRUE(m_pRepository->HasFile(Path("Interpolations/P.int")));
    EXPECT_TRUE(m_pRepository->HasFile(Path("Interpolations/T.int")));

    ASSERT_TRUE(read.LoadFromFile(KB_String(Path("Tube.omn").c_str())));
    EXPECT_EQ(read.CreateLightText(), tube.CreateLightText());
    EXPECT_EQ(read.GetStartTime(), 12.3457);
    EXPECT_TRUE(read.IsUsedAsTubeLight() && read.IsUsedAsVolumeLight());
    ExpectVectorNear(read.GetLightPosition(0.5), 5, 0, 0);
    ExpectVectorNear(read.GetLightTarget(0.5), 5, 5, 0);
    EXPECT_TRUE(read.GetTargetRailVisualisation() != nullptr && read.GetTargetHandle() == nullptr);
}

TEST_F(KR_OmniLightTest, TubeWritesItsFixedTargetOrEveryCurvePathInOrder)
{
    KR_OmniLight tube;
    tube.SetPosition(XMFLOAT3(1, 2, 3));
    tube.SetTarget(XMFLOAT3(4, 5, 6));
    tube.SetOmniFlags(KR_OmniLight::OMNI_FLAG_TUBE_LIGHT);
    ASSERT_TRUE(tube.SaveToFile(KB_String(Path("Fixed.omn").c_str())));
    EXPECT_EQ(BodyOf("Fixed.omn"), std::string(OMNI_HEADER) +
                                       "s 0\ne 0\npv 1 2 3\ntv 4 5 6\ncv #FFFFFF\nls 1\nlss 1\n"
                                       "av 0 0 1e-05\nvl false\n");

    // Every property on a curve: the paths replace the values, after the other keys and before "vl".
    tube.SetPositionRailPath(KB_String("P.int"));
    tube.SetTargetRailPath(KB_String("T.int"));
    tube.SetColorInterpolationPath(KB_String("C.int"));
    tube.SetStrengthInterpolationPath(KB_String("S.int"));
    tube.SetColorInterpolation(Rail(XMVectorSet(1, 0, 0, 1), XMVectorSet(0, 1, 0, 1)));
    tube.SetStrengthInterpolation(Rail(XMVectorSet(1, 1, 0, 0), XMVectorSet(2, 1, 0, 0)));
    ASSERT_TRUE(tube.SaveToFile(KB_String(Path("Curves.omn").c_str())));
    EXPECT_EQ(BodyOf("Curves.omn"), std::string(OMNI_HEADER) +
                                        "s 0\ne 0\nlss 1\nav 0 0 1e-05\npp P.int\ntp T.int\n"
                                        "cp C.int\nsp S.int\nvl false\n");
    // Only curves that exist are written.
    EXPECT_TRUE(m_pRepository->HasFile(Path("C.int")) && m_pRepository->HasFile(Path("S.int")));
    EXPECT_FALSE(m_pRepository->HasFile(Path("P.int")) || m_pRepository->HasFile(Path("T.int")));
}

TEST_F(KR_OmniLightTest, HandWrittenFilesWithCRLFUnknownKeysAndCurvePaths)
{
    KR_OmniLight rail;
    rail.SetTargetRailPath(KB_String("T.int"));
    rail.SetTargetRailInterpolation(Rail(XMVectorSet(0, 0, 0, 0), XMVectorSet(0, 0, 8, 0)));
    rail.SetOmniFlags(KR_OmniLight::OMNI_FLAG_TUBE_LIGHT);
    ASSERT_TRUE(rail.SaveToFile(KB_String(Path("Rail.omn").c_str()))); // leaves T.int beside it

    KR_OmniLight light;
    light.SetTarget(XMFLOAT3(7, 7, 7));
    light.SetLightSpecularStrength(0.5f);
    SetFile("Hand.omn", "# comment\r\nd  Two blanks\r\npvx 9 9 9\r\n#cv glued\r\ncv #FF8000\r\npp\r\n"
                        "ls 3 extra words\r\ntp T.int\r\nvl TRUE\r\ns 1\r\ne 5\r\n");
    ASSERT_TRUE(light.LoadFromFile(KB_String(Path("Hand.omn").c_str())));
    EXPECT_EQ(light.GetDebugName(), KB_String(" Two blanks")); // the second blank is kept, no CR
    KB_Color color;
    light.GetLightColor(&color, 0.0);
    EXPECT_TRUE(color.GetR() == 1.0f && color.GetB() == 0.0f && color.GetA() == 0.0f);
    EXPECT_NEAR(color.GetG(), 0.50196f, 1e-5f);
    EXPECT_EQ(light.GetPositionRailPath(), KB_String("")); // an empty path takes no next key
    EXPECT_EQ(light.GetLightStrength(0.0), 3.0f);
    EXPECT_EQ(light.GetLightSpecularStrength(0.0), 0.5f); // not reset
    EXPECT_TRUE(light.IsUsedAsVolumeLight());
    ExpectVectorNear(XMLoadFloat4(&light.GetStoredPosition()), 0, 0, 0); // "pvx" is not "pv"
    // "tp" alone makes a tube on the rail; the stored target stays as it was.
    EXPECT_TRUE(light.IsUsedAsTubeLight());
    ExpectVectorNear(light.GetLightTarget(0.5), 0, 0, 4);
    ExpectVectorNear(XMLoadFloat4(&light.GetStoredTarget()), 7, 7, 7);
    EXPECT_TRUE(light.GetTargetMarker() != nullptr && light.GetTargetRailVisualisation() != nullptr);

    // A file with neither "tv" nor "tp" keeps the tube bit; an unreadable file answers false after
    // the reset.
    SetFile("Plain.omn", "s 2\n");
    ASSERT_TRUE(light.LoadFromFile(KB_String(Path("Plain.omn").c_str())));
    EXPECT_TRUE(light.IsUsedAsTubeLight());
    EXPECT_EQ(light.GetLightStrength(0.0), 1.0f);
    EXPECT_FALSE(light.LoadFromFile(KB_String(Path("Missing.omn").c_str())));
    EXPECT_EQ(light.GetStartTime(), 0.0);
}

TEST_F(KR_OmniLightTest, SwitchingTheTubeOnAndOffKeepsTheTargetAndItsPath)
{
    KR_OmniLight light;
    light.SetPosition(XMFLOAT3(1, 2, 3));
    light.SetUseAsTubeLight(true);
    ExpectVectorNear(XMLoadFloat4(&light.GetStoredTarget()), 301, 2, 3); // zero target: 300 along +x
    ASSERT_TRUE(light.GetTargetMarker() != nullptr && light.GetTargetHandle() != nullptr);
    EXPECT_EQ(light.GetTargetMarker()->GetColor().x, light.GetMarkerColor().GetR());

    light.SetTarget(XMFLOAT3(4, 5, 6));
    light.SetUseAsTubeLight(true);
    ExpectVectorNear(XMLoadFloat4(&light.GetStoredTarget()), 4, 5, 6); // a non-zero target stays

    light.SetTargetRailPath(KB_String("Gone.int"));
    light.SetUseAsTubeLight(false);
    EXPECT_TRUE(light.GetTargetMarker() == nullptr && light.GetTargetHandle() == nullptr &&
                light.GetTargetRailInterpolation() == nullptr);
    EXPECT_EQ(light.GetTargetRailPath(), KB_String("Gone.int"));
    ExpectVectorNear(XMLoadFloat4(&light.GetStoredTarget()), 4, 5, 6);
    const std::string sText = light.CreateLightText().GetBuffer();
    EXPECT_EQ(sText.find("\ntv "), std::string::npos);
    EXPECT_EQ(sText.find("\ntp "), std::string::npos);
}
