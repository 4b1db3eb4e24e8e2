#include "render/scene/KR_SceneConfig.h"
#include "render/scene/KR_LoaderWedge.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <cmath>
#include <limits>

namespace
{

KB_GrowingArray<KR_SceneConfigEntry> ParseText(const char* pText)
{
    TiXmlDocument document;
    document.Parse(pText);
    KB_GrowingArray<KR_SceneConfigEntry> gEntries;
    KR_SceneConfig::Parse(document, gEntries);
    return gEntries;
}

void ExpectEntry(const KR_SceneConfigEntry& entry, double fDuration, double fNear, double fFar,
                 double fEditorFar)
{
    EXPECT_DOUBLE_EQ(entry.fDuration, fDuration);
    EXPECT_DOUBLE_EQ(entry.fNearPlane, fNear);
    EXPECT_DOUBLE_EQ(entry.fFarPlane, fFar);
    EXPECT_DOUBLE_EQ(entry.fEditorFarPlane, fEditorFar);
}

TEST(KR_SceneConfig, TheFourElementNamesGiveTheirHashes)
{
    EXPECT_EQ(KR_SceneConfig::HashName("duration"), KR_SceneConfig::DURATION_HASH);
    EXPECT_EQ(KR_SceneConfig::HashName("near_distance"), KR_SceneConfig::NEAR_PLANE_HASH);
    EXPECT_EQ(KR_SceneConfig::HashName("far_distance"), KR_SceneConfig::FAR_PLANE_HASH);
    EXPECT_EQ(KR_SceneConfig::HashName("far_distance_tools"), KR_SceneConfig::EDITOR_FAR_PLANE_HASH);
    EXPECT_NE(KR_SceneConfig::HashName("Duration"), KR_SceneConfig::DURATION_HASH);
}

TEST(KR_SceneConfig, SceneElementsEndAtTheFirstOtherName)
{
    const auto gEntries =
        ParseText("<?xml version=\"1.0\"?>"
                  "<scene><duration>12.5</duration></scene>"
                  "<Scene2><near_distance>0.5</near_distance><far_distance>300</far_distance>"
                  "<far_distance_tools>900</far_distance_tools></Scene2>"
                  "<camera><duration>1</duration></camera>"
                  "<SCENE><duration>2</duration></SCENE>");
    ASSERT_EQ(gEntries.GetNumMembers(), 2u);
    ExpectEntry(gEntries[0], 12.5, 0.1, 200.0, 500.0);
    ExpectEntry(gEntries[1], 10.0, 0.5, 300.0, 900.0);
}

TEST(KR_SceneConfig, CommentsTextEmptyAndUnknownChildrenKeepTheDefaults)
{
    const auto gEntries =
        ParseText("<scene>loose text<!-- a comment --><duration/><near_distance></near_distance>"
                  "<speed>3</speed><far_distance>abc</far_distance></scene>"
                  "<scene><duration>4</duration><duration>6</duration></scene>");
    ASSERT_EQ(gEntries.GetNumMembers(), 2u);
    // Text that is no number reads as 0 and the far plane is then raised to the near plane.
    ExpectEntry(gEntries[0], 10.0, 0.1, 0.1, 500.0);
    // A later value overrides an earlier one.
    EXPECT_DOUBLE_EQ(gEntries[1].fDuration, 6.0);
}

TEST(KR_SceneConfig, FarPlanesAreRaisedToThePlaneBefore)
{
    const auto gEntries = ParseText("<scene><far_distance>0.05</far_distance></scene>"
                                    "<scene><far_distance_tools>100</far_distance_tools></scene>");
    ASSERT_EQ(gEntries.GetNumMembers(), 2u);
    ExpectEntry(gEntries[0], 10.0, 0.1, 0.1, 500.0);
    ExpectEntry(gEntries[1], 10.0, 0.1, 200.0, 200.0);
}

TEST(KR_SceneConfig, DocumentsWithoutSceneElementsGiveNothing)
{
    EXPECT_EQ(ParseText("<!-- only a comment -->").GetNumMembers(), 0u);
    EXPECT_EQ(ParseText("<camera/><scene/>").GetNumMembers(), 0u);
    EXPECT_EQ(ParseText("").GetNumMembers(), 0u);
}

TEST(KR_LoaderWedge, FillsFromNothingToTheWholeScreen)
{
    DirectX::XMFLOAT3 v[KR_LoaderWedge::NUM_VERTICES];
    const float fEdge = 1.0f - 2.0f * std::tan(3.14159265f / 8.0f); // about 0.172

    KR_LoaderWedge::Build(0.0f, v);
    for (int i : {1, 4, 5}) // V and W lie on B: both triangles are degenerate
        EXPECT_TRUE(v[i].x == 1.0f && v[i].y == 1.0f) << i;
    EXPECT_TRUE(v[0].x == -1.0f && v[0].y == 1.0f && v[2].x == 1.0f && v[2].y == 1.0f && v[3].x == 1.0f);

    KR_LoaderWedge::Build(0.25f, v);
    EXPECT_FLOAT_EQ(v[1].x, 1.0f);
    EXPECT_NEAR(v[1].y, fEdge, 1e-5f);
    EXPECT_TRUE(v[1].x == v[5].x && v[1].y == v[5].y && v[1].y == v[4].y);

    KR_LoaderWedge::Build(0.75f, v);
    EXPECT_NEAR(v[1].x, -fEdge, 1e-5f);
    EXPECT_FLOAT_EQ(v[1].y, -1.0f);
    EXPECT_TRUE(v[5].x == 1.0f && v[5].y == -1.0f);

    for (float fProgress : {1.0f, 1.02f})
    {
        KR_LoaderWedge::Build(fProgress, v);
        EXPECT_TRUE(v[1].x == -1.0f && v[1].y == -1.0f && v[5].x == 1.0f && v[5].y == -1.0f) << fProgress;
    }
    KR_LoaderWedge::Build(std::numeric_limits<float>::quiet_NaN(), v);
    EXPECT_TRUE(v[1].x == 1.0f && v[1].y == 1.0f);
    for (const DirectX::XMFLOAT3& vertex : v)
        EXPECT_EQ(vertex.z, 0.0f);
}

} // namespace
