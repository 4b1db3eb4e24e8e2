#include "tools/KG_EditorCalculations.h"

#include "render/light/KR_OmniLight.h"
#include "render/light/KR_SpotLight.h"
#include "render/scene/KR_CubeMapPlacer.h"
#include "render/scene/KR_SceneManager.h"
#include "tests/support/TestEngine.h"
#include "timing/KB_LinearInterpolation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace DirectX;

namespace
{

// A timeline from 0 to 100 seconds.
class TimelineSceneManager : public KR_SceneManager
{
public:
    double GetTimelineStart() const override { return 0.0; }
    double GetTimelineEnd() const override { return 100.0; }
};

std::vector<KG_Point> Points(const KB_GrowingArray<KG_Point>& g)
{
    std::vector<KG_Point> v;
    for (std::uint32_t i = 0; i < g.GetNumMembers(); ++i)
        v.push_back(g[i]);
    return v;
}

bool SamePoints(const std::vector<KG_Point>& a, const std::vector<KG_Point>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].x != b[i].x || a[i].y != b[i].y)
            return false;
    return true;
}

// A 200 x 100 panel showing time -5..15 and value -5..5: px = 10 t + 50, py = 50 - 10 v. The curve
// runs from 0 to 10 with keys (1, 2, 3) at 0, (2, 2, -1) at 5 and (0, 0, 0) at 10.
class KG_EditorCalculationsTest : public ::testing::Test
{
protected:
    KG_EditorCalculationsTest() : m_Calc([this] { return m_Keys; })
    {
        m_Engine->SetSceneManager(&m_Scenes);
        m_Curve.SetStartTime(0.0);
        m_Curve.SetEndTime(10.0);
        m_Curve.InsertVertex(XMVectorSet(1, 2, 3, 0), 0.0);
        m_Curve.InsertVertex(XMVectorSet(2, 2, -1, 0), 5.0);
        m_Curve.InsertVertex(XMVectorSet(0, 0, 0, 0), 10.0);
        m_Calc.SetDimensions(200, 100);
        m_Calc.SetView({-5.0f, 0.0f}, {0.1f, 0.1f});
        m_Calc.SetInterpolation(&m_Curve);
        m_Calc.Update(true);
    }

    void Hover(int x, int y, bool bX = true, bool bY = true, bool bZ = true)
    {
        m_Calc.MouseMove(x, y, 0, 0, false, bX, bY, bZ);
        m_Calc.Update(false);
    }

    TestEngine m_Engine;
    TimelineSceneManager m_Scenes;
    KB_LinearInterpolation m_Curve;
    KG_ModifierKeys m_Keys;
    KG_EditorCalculations m_Calc;
};

TEST_F(KG_EditorCalculationsTest, MapsDataToPixelsAndBack)
{
    const KG_Point p = m_Calc.DataToPixel(5.0, 1.0);
    EXPECT_EQ(p.x, 100);
    EXPECT_EQ(p.y, 40);
    double t = 0.0;
    double v = 0.0;
    m_Calc.PixelToData(100.0f, 40.0f, &t, &v);
    EXPECT_NEAR(t, 5.0, 1e-5);
    EXPECT_NEAR(v, 1.0, 1e-5);
    // Far outside the int range a pixel is clamped, not undefined.
    EXPECT_EQ(m_Calc.DataToPixel(1e30, -1e30).x, 1 << 30);
    EXPECT_EQ(m_Calc.DataToPixel(1e30, -1e30).y, 1 << 30);
    EXPECT_EQ(m_Calc.DataToPixel(-1e30, NAN).y, -(1 << 30));
}

TEST_F(KG_EditorCalculationsTest, DrawsMarksLinesAxesAndLabels)
{
    ASSERT_EQ(m_Calc.GetControlPointsX().GetNumMembers(), 3u);
    EXPECT_EQ(m_Calc.GetControlPointsX()[0].x, 50);
    EXPECT_EQ(m_Calc.GetControlPointsX()[0].y, 40);
    EXPECT_EQ(m_Calc.GetControlPointsZ()[1].y, 60);
    EXPECT_EQ(m_Calc.GetStartLine()[0].x, 50);
    EXPECT_EQ(m_Calc.GetStartLine()[1].y, 99);
    EXPECT_EQ(m_Calc.GetEndLine()[0].x, 150);
    // The clock stands at 0: the current-time line lies on the start line.
    ASSERT_EQ(m_Calc.GetCurrentTimeLine().GetNumMembers(), 2u);
    EXPECT_EQ(m_Calc.GetCurrentTimeLine()[0].x, 50);
    // Polylines on every second column; x starts at 1 and rises to 2 at t = 5.
    ASSERT_EQ(m_Calc.GetXSplineLines().GetNumMembers(), 100u);
    EXPECT_EQ(m_Calc.GetXSplineLines()[25].x, 50);
    EXPECT_EQ(m_Calc.GetXSplineLines()[25].y, 40);
    EXPECT_EQ(m_Calc.GetXSplineLines()[50].y, 30);

    // Both axes show: each axis is a pair first in the axis list.
    EXPECT_EQ(m_Calc.GetAxisLines()[0].y, 50);
    EXPECT_EQ(m_Calc.GetAxisLines()[2].x, 50);
    // Time labels: the one at 0 moves left, the others sit right of their line.
    bool bSawZero = false;
    for (std::uint32_t i = 0; i < m_Calc.GetXAxisLabels().GetNumMembers(); ++i)
    {
        const KG_Mark& m = m_Calc.GetXAxisLabels()[i];
        EXPECT_EQ(m.y, 56);
        EXPECT_EQ(m.x, m.index == 0 ? 41 : m.index * 10 + 51);
        bSawZero = bSawZero || m.index == 0;
    }
    EXPECT_TRUE(bSawZero);
    // Value labels never for 0.
    for (std::uint32_t i = 0; i < m_Calc.GetYAxisLabels().GetNumMembers(); ++i)
    {
        EXPECT_NE(m_Calc.GetYAxisLabels()[i].index, 0);
        EXPECT_EQ(m_Calc.GetYAxisLabels()[i].x, 44);
    }
    // Nothing moved: no redraw; a forced one redraws.
    EXPECT_FALSE(m_Calc.Update(false));
    EXPECT_TRUE(m_Calc.Update(true));
    m_Scenes.SetSynchronizationTime(5.0);
    EXPECT_TRUE(m_Calc.Update(false));
    EXPECT_EQ(m_Calc.GetCurrentTimeLine()[0].x, 100);
}

TEST_F(KG_EditorCalculationsTest, AxesHideOutsideTheirUnevenBounds)
{
    // The origin at normalised x = 1.09 still shows the vertical axis, at 1.15 it does not, nor
    // at -1.05.
    m_Calc.SetView({10.9f, 0.0f}, {0.1f, 0.1f});
    m_Calc.Update(false);
    EXPECT_GT(m_Calc.GetYAxisLabels().GetNumMembers(), 0u);
    m_Calc.SetView({11.5f, 0.0f}, {0.1f, 0.1f});
    m_Calc.Update(false);
    EXPECT_EQ(m_Calc.GetYAxisLabels().GetNumMembers(), 0u);
    m_Calc.SetView({-10.5f, 0.0f}, {0.1f, 0.1f});
    m_Calc.Update(false);
    EXPECT_EQ(m_Calc.GetYAxisLabels().GetNumMembers(), 0u);
}

TEST_F(KG_EditorCalculationsTest, HoverPicksNearerThanNinePixelsWithFixedTies)
{
    Hover(58, 40); // 8 from key 0's x mark
    EXPECT_EQ(m_Calc.GetHoveredKey(), 0);
    EXPECT_EQ(m_Calc.GetHoveredComponent(), 0u);
    // The hovered key's marks are highlighted, all three of them.
    EXPECT_EQ(m_Calc.GetHighlightedControlPointsY().GetNumMembers(), 1u);
    EXPECT_EQ(m_Calc.GetControlPointsX().GetNumMembers(), 2u);
    Hover(59, 40); // 9: too far
    EXPECT_EQ(m_Calc.GetHoveredKey(), -1);

    Hover(50, 35); // x and y both 5 away: y
    EXPECT_EQ(m_Calc.GetHoveredComponent(), 1u);
    Hover(50, 25); // y and z both 5 away: z
    EXPECT_EQ(m_Calc.GetHoveredComponent(), 2u);

    float x = 0, y = 0, z = 0, t = -1;
    ASSERT_TRUE(m_Calc.GetSelectedControlPointValues(&x, &y, &z, &t));
    EXPECT_EQ(x, 1.0f);
    EXPECT_EQ(z, 3.0f);
    EXPECT_EQ(t, 0.0f);
}

TEST_F(KG_EditorCalculationsTest, HoverIgnoresHiddenComponents)
{
    Hover(50, 30, true, false, false); // on the y mark, but only x is shown
    EXPECT_EQ(m_Calc.GetHoveredKey(), -1);
    // Keys whose components coincide, as on chunk curves: with x alone shown, x is edited.
    m_Curve.SetVertex(0, XMVectorSet(0, 0, 0, 0));
    m_Calc.Update(true);
    Hover(50, 50, true, false, false);
    EXPECT_EQ(m_Calc.GetHoveredKey(), 0);
    EXPECT_EQ(m_Calc.GetHoveredComponent(), 0u);
    Hover(50, 50);
    EXPECT_EQ(m_Calc.GetHoveredComponent(), 2u);
}

TEST_F(KG_EditorCalculationsTest, DraggingAKeySnapsAndMarksTheCurveChanged)
{
    Hover(50, 40);
    m_Calc.MouseDown(50, 40, 0, KG_EditorCalculations::BUTTON_LEFT);
    EXPECT_EQ(m_Calc.GetDraggedKey(), 0);
    m_Calc.MouseMove(50, 24, 0, 0, true); // value 2.6
    EXPECT_EQ(XMVectorGetX(m_Curve.GetVertex(0)), 3.0f);
    EXPECT_EQ(XMVectorGetY(m_Curve.GetVertex(0)), 2.0f); // the other components stay
    m_Calc.MouseMove(50, 75, 0, 0, true);                // value -2.5
    EXPECT_EQ(XMVectorGetX(m_Curve.GetVertex(0)), -2.0f);
    EXPECT_TRUE(m_Calc.HasVertexInterpolationChanged());
    EXPECT_FALSE(m_Curve.IsDerivedDataValid());

    // With Alt the key also moves in time and keeps the stamps sorted.
    m_Keys.bAlt = true;
    m_Calc.MouseMove(120, 75, 0, 0, true); // t = 7
    EXPECT_EQ(m_Calc.GetDraggedKey(), 1);
    EXPECT_EQ(m_Calc.GetHoveredKey(), 1);
    EXPECT_EQ(m_Curve.GetTimeStamp(1), 7.0);
    m_Calc.MouseUp(120, 75, 0, KG_EditorCalculations::BUTTON_LEFT);
    EXPECT_EQ(m_Calc.GetDraggedKey(), -1);
    m_Calc.SetInterpolation(&m_Curve);
    EXPECT_FALSE(m_Calc.HasVertexInterpolationChanged());
}

TEST_F(KG_EditorCalculationsTest, CtrlClickInsertsWithoutReshapingShiftClickRemovesTheHoveredKey)
{
    const std::vector<KG_Point> before = Points(m_Calc.GetXSplineLines());
    m_Keys.bControl = true;
    m_Calc.MouseDown(75, 10, 0, KG_EditorCalculations::BUTTON_LEFT); // t = 2.5
    m_Calc.MouseUp(75, 10, 0, KG_EditorCalculations::BUTTON_LEFT);
    m_Calc.Update(false);
    ASSERT_EQ(m_Curve.GetNumVertices(), 4u);
    EXPECT_TRUE(SamePoints(before, Points(m_Calc.GetXSplineLines())));
    EXPECT_TRUE(m_Calc.HasVertexInterpolationChanged());

    m_Keys = {};
    Hover(150, 50); // the last key
    m_Keys.bShift = true;
    m_Calc.MouseDown(150, 50, 0, KG_EditorCalculations::BUTTON_LEFT);
    m_Calc.MouseUp(150, 50, 0, KG_EditorCalculations::BUTTON_LEFT);
    ASSERT_EQ(m_Curve.GetNumVertices(), 3u);
    EXPECT_EQ(m_Curve.GetTimeStamp(2), 5.0);
    // Without a hovered key Shift+click removes nothing.
    m_Calc.Update(false);
    Hover(10, 90);
    m_Calc.MouseDown(10, 90, 0, KG_EditorCalculations::BUTTON_LEFT);
    EXPECT_EQ(m_Curve.GetNumVertices(), 3u);
}

TEST_F(KG_EditorCalculationsTest, ZoomStaysInBoundsAndPansAtHalfSpeed)
{
    m_Calc.MouseMove(0, 0, 1000000, 0, false);
    EXPECT_EQ(m_Calc.GetScale().x, 1.0f);
    EXPECT_EQ(m_Calc.GetScale().y, 1.0f);
    m_Calc.MouseMove(0, 0, -1000000, 0, false);
    EXPECT_EQ(m_Calc.GetScale().x, 1e-5f);
    EXPECT_EQ(m_Calc.GetScale().y, 1e-5f);
    m_Calc.MouseUp(0, 0, 2000000000, 0);
    EXPECT_EQ(m_Calc.GetScale().x, 1.0f);

    // Right drag zooms in moving left or up, clamped too.
    m_Calc.SetView({-5.0f, 0.0f}, {0.1f, 0.1f});
    m_Calc.MouseDown(100, 50, 0, KG_EditorCalculations::BUTTON_RIGHT);
    m_Calc.MouseMove(0, 50, 0, 0, false);
    EXPECT_FLOAT_EQ(m_Calc.GetScale().x, 0.2f);
    m_Calc.MouseMove(-100000, -100000, 0, 0, false);
    EXPECT_EQ(m_Calc.GetScale().x, 1.0f);
    m_Calc.MouseUp(0, 0, 0, KG_EditorCalculations::BUTTON_RIGHT);

    // A left drag off every key pans: the full width moves the view by half its time span.
    m_Calc.SetView({-5.0f, 0.0f}, {0.1f, 0.1f});
    m_Calc.Update(false);
    m_Calc.MouseMove(10, 90, 0, 0, false);
    m_Calc.MouseDown(10, 90, 0, KG_EditorCalculations::BUTTON_LEFT);
    m_Calc.MouseMove(210, 90, 0, 0, false);
    EXPECT_FLOAT_EQ(m_Calc.GetOffset().x, 5.0f);
}

TEST_F(KG_EditorCalculationsTest, CtrlRightSeeksTheProductionWithinItsTimeline)
{
    m_Keys.bControl = true;
    m_Calc.MouseDown(100, 50, 0, KG_EditorCalculations::BUTTON_RIGHT); // t = 5
    EXPECT_NEAR(m_Scenes.GetSynchonizationTime(), 5.0, 1e-5);
    EXPECT_TRUE(m_Scenes.IsResynchronizationPending());
    m_Calc.MouseMove(0, 50, 0, 0, false); // t = -5, before the timeline
    EXPECT_EQ(m_Scenes.GetSynchonizationTime(), 0.0);
}

TEST_F(KG_EditorCalculationsTest, ZoomExtendsFitsTheKeysAndStaysFinite)
{
    m_Calc.ZoomExtends(true, true, true);
    m_Calc.Update(false);
    // Time 0..10 and values -1..3 fill 90 % of the panel.
    EXPECT_EQ(m_Calc.DataToPixel(0.0, -1.0).x, 10);
    EXPECT_EQ(m_Calc.DataToPixel(10.0, -1.0).x, 190);
    EXPECT_EQ(m_Calc.DataToPixel(0.0, -1.0).y, 95);
    EXPECT_EQ(m_Calc.DataToPixel(0.0, 3.0).y, 5);

    // A flat curve gets a value range of exactly 0.05.
    KB_LinearInterpolation flat;
    flat.SetEndTime(10.0);
    flat.InsertVertex(XMVectorSet(2, 2, 2, 0), 0.0);
    flat.InsertVertex(XMVectorSet(2, 2, 2, 0), 10.0);
    m_Calc.SetInterpolation(&flat);
    m_Calc.ZoomExtends(true, false, false);
    EXPECT_NEAR(m_Calc.GetScale().y, 1.8f / 0.05f * 0.5f, 1e-3);

    // An empty interval keeps the time scale.
    const float fTimeScale = m_Calc.GetScale().x;
    flat.SetEndTime(0.0);
    m_Calc.ZoomExtends(true, true, true);
    EXPECT_EQ(m_Calc.GetScale().x, fTimeScale);
    EXPECT_TRUE(m_Calc.Update(false));
}

TEST_F(KG_EditorCalculationsTest, GridStepStaysWholeAndLoopsStayBounded)
{
    // Zoomed far in, the grid still steps by 1.
    m_Calc.SetView({0.0f, 0.0f}, {1.0f, 1.0f});
    m_Calc.Update(false);
    const KB_GrowingArray<KG_Point>& g = m_Calc.GetGridLines();
    ASSERT_GE(g.GetNumMembers(), 4u);
    double t0 = 0, t1 = 0;
    m_Calc.PixelToData(float(g[0].x), 0, &t0, nullptr);
    m_Calc.PixelToData(float(g[2].x), 0, &t1, nullptr);
    EXPECT_NEAR(t1 - t0, 1.0, 1e-3);

    // Zoomed far out over huge offsets: step 10000, at most the cap of lines, no hang.
    m_Calc.SetView({1e30f, -1e30f}, {1e-5f, 1e-5f});
    EXPECT_TRUE(m_Calc.Update(false));
    EXPECT_LE(m_Calc.GetGridLines().GetNumMembers(), 4u * KG_EditorCalculations::MAX_GRID_LINES);

    // A collapsed panel draws nothing.
    m_Calc.SetDimensions(0, 100);
    EXPECT_FALSE(m_Calc.Update(true));
    m_Calc.SetDimensions(100, 0);
    EXPECT_FALSE(m_Calc.Update(true));
}

} // namespace

namespace
{

// A rail from production time 2 to 6 with keys (0, 0, 0) at 0 and (4, 8, 12) at 4: at production
// time 3 it gives (1, 2, 3) when read at 3 - its start, (3, 6, 9) when read at 3 itself.
KB_LinearInterpolation* MakeRail()
{
    auto* pRail = new KB_LinearInterpolation();
    pRail->SetStartTime(2.0);
    pRail->SetEndTime(6.0);
    pRail->InsertVertex(XMVectorSet(0, 0, 0, 0), 0.0);
    pRail->InsertVertex(XMVectorSet(4, 8, 12, 0), 4.0);
    return pRail;
}

XMFLOAT3 Three(void (*pGet)(float*, float*, float*, KR_LightBase*, double), KR_LightBase* pLight,
               double fTime)
{
    XMFLOAT3 v(-1.0f, -1.0f, -1.0f);
    pGet(&v.x, &v.y, &v.z, pLight, fTime);
    return v;
}

void ExpectThree(const XMFLOAT3& v, float fX, float fY, float fZ)
{
    EXPECT_FLOAT_EQ(v.x, fX);
    EXPECT_FLOAT_EQ(v.y, fY);
    EXPECT_FLOAT_EQ(v.z, fZ);
}

} // namespace

TEST(KG_EditorCalculationsAccessors, LightPositionsComeFromTheirRailsAtTheRailsLocalTime)
{
    // Without rails: the stored position and target.
    KR_SpotLight spot;
    KG_EditorCalculations::SetLightBaseLightPosition(&spot, 5.0f, 6.0f, 7.0f);
    KG_EditorCalculations::SetLightTargetPosition(&spot, -1.0f, -2.0f, -3.0f);
    ExpectThree(Three(KG_EditorCalculations::GetLightBaseLightPosition, &spot, 3.0), 5.0f, 6.0f, 7.0f);
    ExpectThree(Three(KG_EditorCalculations::GetLightTargetPosition, &spot, 3.0), -1.0f, -2.0f, -3.0f);
    KG_EditorCalculations::SetSpotlightUpVector(&spot, 0.0f, 0.0f, 1.0f);
    ExpectThree(spot.GetUpVector(), 0.0f, 0.0f, 1.0f);

    // With rails: read at the production time minus the rail's start.
    KR_OmniLight omni;
    omni.SetPosition(XMFLOAT3(5.0f, 6.0f, 7.0f));
    omni.SetPostitionRailInterpolation(MakeRail()); // owned by the light
    ExpectThree(Three(KG_EditorCalculations::GetLightBaseLightPosition, &omni, 3.0), 1.0f, 2.0f, 3.0f);
    spot.SetTargetRailInterpolation(MakeRail());
    ExpectThree(Three(KG_EditorCalculations::GetLightTargetPosition, &spot, 3.0), 1.0f, 2.0f, 3.0f);

    // The static-target flag makes the target rail count for nothing.
    spot.SetUseStaticTarget(true);
    ExpectThree(Three(KG_EditorCalculations::GetLightTargetPosition, &spot, 3.0), -1.0f, -2.0f, -3.0f);

    // Nothing to read: the outputs stay as they were.
    ExpectThree(Three(KG_EditorCalculations::GetLightBaseLightPosition, nullptr, 3.0), -1.0f, -1.0f, -1.0f);
}

TEST(KG_EditorCalculationsAccessors, PlacerPositionsComeFromTheirRailsAtTheRailsLocalTime)
{
    KR_CubeMapPlacer placer;
    XMFLOAT3 v(0.0f, 0.0f, 0.0f);
    KG_EditorCalculations::SetCubeMapPlacerPosition(&placer, 5.0f, 6.0f, 7.0f);
    KG_EditorCalculations::GetCubeMapPlacerPosition(&v.x, &v.y, &v.z, &placer, 3.0);
    ExpectThree(v, 5.0f, 6.0f, 7.0f);
    EXPECT_FLOAT_EQ(XMVectorGetW(placer.GetPosition(3.0)), 1.0f) << "a position, as a file gives it";
    placer.SetPositionRail("Interpolations/rail.int", MakeRail()); // owned by the placer
    KG_EditorCalculations::GetCubeMapPlacerPosition(&v.x, &v.y, &v.z, &placer, 3.0);
    ExpectThree(v, 1.0f, 2.0f, 3.0f);
}

TEST(KG_EditorCalculationsAccessors, TheFreeCameraIsTheOriginWithoutAScene)
{
    TestEngine engine;
    XMFLOAT3 v(9.0f, 9.0f, 9.0f);
    KG_EditorCalculations::GetControllerCameraPos(&v.x, &v.y, &v.z);
    ExpectThree(v, 0.0f, 0.0f, 0.0f);
    KR_SceneManager scenes; // not loaded: no free camera yet
    engine->SetSceneManager(&scenes);
    v = XMFLOAT3(9.0f, 9.0f, 9.0f);
    KG_EditorCalculations::GetControllerCameraPos(&v.x, &v.y, &v.z);
    ExpectThree(v, 0.0f, 0.0f, 0.0f);
}
