#include "render/light/KR_SpotLight.h"

#include "tests/render/camera/CameraTestHelpers.h"
#include "tests/render/light/LightTestHelpers.h"

#include <cfloat>
#include <cmath>

using namespace DirectX;
using cameratest::ExpectVectorNear;
using lighttest::LightTest;
using lighttest::Rail;

namespace
{

using KR_SpotLightTest = LightTest;

std::vector<float> Elements(const XMMATRIX& m)
{
    XMFLOAT4X4 f;
    XMStoreFloat4x4(&f, m);
    return std::vector<float>(&f.m[0][0], &f.m[0][0] + 16);
}

} // namespace

TEST_F(KR_SpotLightTest, SpotFileIsWrittenInTheFixedLayoutAndReadBackEqual)
{
    KR_SpotLight light;
    light.SetDebugName(KB_String("Key"));
    light.SetStartTime(1.0);
    light.SetEndTime(9.5);
    light.SetPosition(XMFLOAT3(0, 10, 0));
    light.SetTarget(XMFLOAT3(0, 0, 5));
    light.SetLightColor(KB_Color(0.5f, 0.25f, 1.0f, 1.0f));
    light.SetShadowBias(XMFLOAT2(0.125f, 3.0f));
    light.SetUpVector(XMFLOAT4(0, 0, 1, 0));
    light.SetShadowMapResolution(2048);
    light.SetLightFOV(15.0f);
    light.SetLightFOVFalloff(25.0f);
    light.SetColorInterpolationPath(KB_String("C.int"));
    light.SetColorInterpolation(Rail(XMVectorSet(1, 0, 0, 1), XMVectorSet(0, 1, 0, 1)));
    ASSERT_TRUE(light.SaveToFile(KB_String(Path("S_SpotLight00.spt").c_str())));
    EXPECT_EQ(BodyOf("S_SpotLight00.spt"),
              "# \n"
              "# Simple Spot Light file\n"
              "# \n"
              "# == comment line\n"
              "# d == debug name of the spot light (string)\n"
              "# s == start time stamp of the spot light (double)\n"
              "# e == end time stamp of the spot light (double)\n"
              "# pv == position of the spot light (3x float)\n"
              "# tv == target of the spot light (3x float)\n"
              "# cv == color of the spot light (RGB webcolor)\n"
              "# av == attenuation of the spot light (3x float; constant, linear, quadratic)\n"
              "# upv == up vector for the spot light (3x float)\n"
              "# lm == maximum distance of the spot light (float)\n"
              "# ln == near distance of the spot light (float)\n"
              "# lb == shadow bias of the spot light (2x float; base, adaptive width)\n"
              "# ls == strength of the spot light (float)\n"
              "# lss == specular strength of the spot light (float)\n"
              "# lf == FOV of the spot light (float; in degree)\n"
              "# lff == FOV Falloff of the spot light (float; in degree)\n"
              "# r == shadow map resolution (unsigned int)\n"
              "# vl == used in volumelight postfx (bool)\n"
              "# pp == following string is the path to the spot light position VertexInterpolation\n"
              "# tp == following string is the path to the spot light target VertexInterpolation\n"
              "# cp == following string is the path to the spot light color VertexInterpolation\n"
              "# sp == following string is the path to the spot light strength VertexInterpolation\n"
              "# \n"
              "d Key\ns 1\ne 9.5\npv 0 10 0\ntv 0 0 5\nln 5\nlb 0.125 3\nls 1\nlss 1\nupv 0 0 1\n"
              "av 0 0 1e-05\nlf 15\nlff 25\nr 2048\nvl false\ncp C.int\n");
    EXPECT_TRUE(m_pRepository->HasFile(Path("C.int")));

    KR_SpotLight read;
    ASSERT_TRUE(read.LoadFromFile(KB_String(Path("S_SpotLight00.spt").c_str())));
    EXPECT_EQ(read.CreateLightText(), light.CreateLightText());
    XMFLOAT2 bias;
    EXPECT_TRUE(read.GetShadowBias(&bias)->x == 0.125f && bias.y == 3.0f); // both bias values come back
    KB_Color color;
    read.GetLightColor(&color, 0.5); // the colour curve, halfway
    EXPECT_TRUE(color.GetR() == 0.5f && color.GetG() == 0.5f);
    EXPECT_NE(read.GetTargetMarker(), nullptr);
}

TEST_F(KR_SpotLightTest, EveryCurveIsSavedAndItsPathWrittenLastInOrder)
{
    KR_SpotLight light;
    light.SetPositionRailPath(KB_String("P.int"));
    light.SetPostitionRailInterpolation(Rail(XMVectorSet(0, 0, 0, 1), XMVectorSet(1, 0, 0, 1)));
    light.SetTargetRailPath(KB_String("T.int"));
    light.SetTargetRailInterpolation(Rail(XMVectorSet(0, 0, 5, 1), XMVectorSet(1, 0, 5, 1)));
    light.SetColorInterpolationPath(KB_String("C.int"));
    light.SetColorInterpolation(Rail(XMVectorSet(1, 0, 0, 1), XMVectorSet(0, 1, 0, 1)));
    light.SetStrengthInterpolationPath(KB_String("S.int"));
    light.SetStrengthInterpolation(Rail(XMVectorSet(1, 1, 0, 0), XMVectorSet(2, 1, 0, 0)));
    ASSERT_TRUE(light.SaveToFile(KB_String(Path("Curves.spt").c_str())));
    const std::string sBody = BodyOf("Curves.spt");
    const std::string sKeys = sBody.substr(sBody.rfind("# \n") + 3);
    EXPECT_EQ(sKeys,
              "s 0\ne 0\nln 5\nlb 6.5 5\nlss 1\nupv 0 1 0\nav 0 0 1e-05\nlf 20\nlff 30\nr 1024\nvl false\n"
              "pp P.int\ntp T.int\ncp C.int\nsp S.int\n");
    for (const char* pCurve : {"P.int", "T.int", "C.int", "S.int"})
        EXPECT_TRUE(m_pRepository->HasFile(Path(pCurve))) << pCurve;
}

TEST_F(KR_SpotLightTest, HandWrittenFilesResetTheirFieldsAndKeepHostileResolutions)
{
    KR_SpotLight light;
    light.SetUpVector(XMFLOAT4(1, 0, 0, 0));
    SetFile("A.spt", "d Spot one\r\nlb 1 2\r\ntv 1 2 3\r\nxyz 1\r\nlf 10 lff 99\r\nr 0\r\n");
    ASSERT_TRUE(light.LoadFromFile(KB_String(Path("A.spt").c_str())));
    EXPECT_EQ(light.GetDebugName(), KB_String("Spot one"));
    EXPECT_EQ(light.GetShadowMapResolution(), 0u); // kept as read
    EXPECT_EQ(light.GetShadowTextureResolution(), 1u);
    EXPECT_EQ(light.GetLightFOV(), 10.0f);
    EXPECT_EQ(light.GetLightFOVFalloff(), 30.0f);       // the rest of the lf line is skipped
    EXPECT_EQ(light.GetUpVector().x, 1.0f);             // no "upv": the previous up vector stays
    ExpectVectorNear(light.GetLightTarget(0), 1, 2, 3); // "tv" sets no flag and no tube

    SetFile("B.spt", "r 4294967295\nupv 0 1 0\n");
    ASSERT_TRUE(light.LoadFromFile(KB_String(Path("B.spt").c_str())));
    EXPECT_EQ(light.GetShadowTextureResolution(), 16384u);
    XMFLOAT2 bias;
    EXPECT_TRUE(light.GetShadowBias(&bias)->x == 6.5f && bias.y == 5.0f); // reset
    ExpectVectorNear(light.GetLightTarget(0), 0, 0, 0);
    SetFile("C.spt", "s 3\n");
    ASSERT_TRUE(light.LoadFromFile(KB_String(Path("C.spt").c_str())));
    EXPECT_EQ(light.GetShadowMapResolution(), 1024u); // no "r": the default side
    EXPECT_EQ(light.GetDebugName(), KB_String("Spot one"));
}

TEST_F(KR_SpotLightTest, ShadowProjectionFollowsFalloffRangeAndStaticTarget)
{
    KR_SpotLight light;
    light.SetPosition(XMFLOAT3(0, 10, 0));
    light.SetTarget(XMFLOAT3(0, 0, 0));
    light.SetUpVector(XMFLOAT4(0, 0, 1, 0));
    light.SetLightAttenuation(XMFLOAT3(0, 0, 0.01f));
    // lff 30: a 60-degree frustum; far is the derived range (97.47 at strength 1).
    const XMMATRIX expected = XMMatrixMultiply(
        XMMatrixLookToLH(XMVectorSet(0, 10, 0, 1), XMVectorSet(0, -10, 0, 0), XMVectorSet(0, 0, 1, 0)),
        XMMatrixPerspectiveFovLH(60.0f * 3.14159265f / 180.0f, 1.0f, 1.0f, std::sqrt(0.95f / 0.0001f)));
    const std::vector<float> actual = Elements(light.GetViewProjectionMatrix(0.0));
    const std::vector<float> wanted = Elements(expected);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(actual[i], wanted[i], 1e-4f) << i;

    // A target rail with the static-target bit set: the view looks at the stored target.
    light.SetTargetRailInterpolation(Rail(XMVectorSet(50, 0, 0, 1), XMVectorSet(60, 0, 0, 1)));
    light.SetUseStaticTarget(true);
    EXPECT_EQ(Elements(light.GetViewMatrix(0.5)),
              Elements(XMMatrixLookToLH(XMVectorSet(0, 10, 0, 1), XMVectorSet(0, -10, 0, 0),
                                        XMVectorSet(0, 0, 1, 0))));
    light.SetUseStaticTarget(false);
    ExpectVectorNear(light.GetLightTarget(0.5), 55, 0, 0);

    // Degenerate views (target on the position, up along the direction) are refused, not NaN.
    light.SetUseStaticTarget(true);
    light.SetTarget(XMFLOAT3(0, 10, 0));
    EXPECT_FALSE(light.HasValidView(0.0));
    EXPECT_EQ(Elements(light.GetViewProjectionMatrix(0.0)), Elements(XMMatrixIdentity()));
    light.SetTarget(XMFLOAT3(0, 0, 0));
    light.SetUpVector(XMFLOAT4(0, 1, 0, 0));
    EXPECT_FALSE(light.HasValidView(0.0));
    light.SetUpVector(XMFLOAT4(0, 0, 1, 0));
    EXPECT_TRUE(light.HasValidView(0.0));
}
