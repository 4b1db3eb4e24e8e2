#include "render/debug/KR_VertexInterpolationVisualisation.h"

#include "framework/app/KE_Dispatcher.h"
#include "render/debug/KR_Ray.h"
#include "tests/support/TestEngine.h"
#include "timing/KB_LinearInterpolation.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

using namespace DirectX;

namespace
{

class KR_VertexInterpolationVisualisationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_Engine->SetDispatcher(&m_Dispatcher);
        m_Curve.InsertVertex(XMVectorSet(0, 0, 10, 0), 0.0);
        m_Curve.InsertVertex(XMVectorSet(5, 0, 10, 0), 2.35);
        m_Curve.SetEndTime(2.35);
    }

    static KR_Ray Ray(float x, float y) { return KR_Ray{XMVectorSet(x, y, 0, 1), XMVectorSet(0, 0, 1, 0)}; }

    TestEngine m_Engine;
    KE_Dispatcher m_Dispatcher;
    KB_LinearInterpolation m_Curve{KB_String("rail.int")};
};

} // namespace

TEST_F(KR_VertexInterpolationVisualisationTest, KeysArePickedAfterTheFirstRender)
{
    KR_VertexInterpolationVisualisation rail(&m_Curve);
    EXPECT_EQ(rail.GetPickDistance(Ray(0, 0)), FLT_MAX); // nothing built yet
    rail.Render(0.0, nullptr, XMVectorSet(0, 0, 0, 1));
    EXPECT_EQ(rail.GetNumSegments(), 24u); // 2.35 s at 10 segments per second
    // The box's half size is 0.01 x the key's distance to the camera.
    EXPECT_NEAR(rail.GetPickDistance(Ray(5, 0)), 10.0f - 0.01f * std::sqrt(125.0f), 1e-4f);

    EXPECT_TRUE(rail.PickControlPoint(Ray(5, 0)));
    EXPECT_EQ(rail.GetSelectedIndex(), 1u);
    EXPECT_TRUE(rail.PickControlPoint(Ray(5, 0))); // the same key again deselects
    EXPECT_EQ(rail.GetSelectedIndex(), KR_VertexInterpolationVisualisation::NO_SELECTION);
    EXPECT_FALSE(rail.PickControlPoint(Ray(2, 0)));
}

TEST_F(KR_VertexInterpolationVisualisationTest, EditorCommandsAndKeyEdits)
{
    KR_VertexInterpolationVisualisation rail(&m_Curve);
    KR_VertexInterpolationVisualisation other(&m_Curve);
    other.SelectControlPoint(0);
    rail.SelectControlPoint(0); // deselects every other rail
    EXPECT_EQ(other.GetSelectedIndex(), KR_VertexInterpolationVisualisation::NO_SELECTION);
    EXPECT_EQ(rail.GetSelectedIndex(), 0u);
    EXPECT_FALSE(rail.Receive(KE_MT_EditorCommand, KE_MST_PreviousControlPoint, nullptr));
    EXPECT_TRUE(rail.Receive(KE_MT_EditorCommand, KE_MST_NextControlPoint, nullptr));
    EXPECT_FALSE(rail.Receive(KE_MT_EditorCommand, KE_MST_NextControlPoint, nullptr));
    EXPECT_EQ(rail.GetSelectedIndex(), 1u);

    m_Curve.HasChanged(true);
    rail.SetSelectedVertex(XMVectorSet(7, 1, 10, 0));
    EXPECT_EQ(XMVectorGetX(m_Curve.GetVertex(1)), 7.0f);
    EXPECT_TRUE(m_Curve.HasChanged(false));

    m_Dispatcher.Dispatch(KE_MT_EditorCommand, KE_MST_HideSelected, nullptr);
    EXPECT_TRUE(rail.IsHidden());
    EXPECT_FALSE(other.IsHidden());
    rail.Render(0.0, nullptr, XMVectorSet(0, 0, 0, 1));
    EXPECT_EQ(rail.GetPickDistance(Ray(7, 1)), FLT_MAX);
    m_Dispatcher.Dispatch(KE_MT_EditorCommand, KE_MST_UnhideAll, nullptr);
    EXPECT_FALSE(rail.IsHidden());
}
