#include "render/camera/KR_Camera.h"

#include "render/camera/KR_ViewFrustum.h"
#include "render/models/KR_BoundingBox.h"
#include "tests/render/camera/CameraTestHelpers.h"
#include "tests/support/TestEngine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace DirectX;
using cameratest::ExpectMatrixNear;
using cameratest::ExpectVectorNear;

namespace
{

constexpr float IDENTITY[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};

// A camera at the origin looking along +z with a 90 degree square view from z = 1 to z = 11.
class KR_CameraTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_Engine->SetGraphicsDevice(&m_Device);
        m_Camera.SetFOV(90.0f);
        m_Camera.SetAspectRatio(1.0f);
        m_Camera.SetNearFarPlanes(1.0f, 11.0f);
        m_Camera.Update(0.0);
    }
    void TearDown() override { m_Engine->SetGraphicsDevice(nullptr); }

    static KR_BoundingBox Box(float x0, float y0, float z0, float x1, float y1, float z1)
    {
        return KR_BoundingBox(XMVectorSet(x0, y0, z0, 1), XMVectorSet(x1, y1, z1, 1));
    }

    TestEngine m_Engine;
    cameratest::FakeDevice m_Device{2.0f};
    KR_Camera m_Camera;
};

} // namespace

TEST_F(KR_CameraTest, NewCameraDefaultsAndMatrices)
{
    KR_Camera camera;
    EXPECT_EQ(camera.GetAspectRatio(), 2.0f); // read from the device
    EXPECT_EQ(camera.GetFOV(), 70.0f);
    EXPECT_EQ(camera.GetNearZ(), 0.1f);
    EXPECT_EQ(camera.GetFarZ(), 200.0f);
    ExpectMatrixNear(camera.GetViewMatrix(), IDENTITY, 0.0f);
    ExpectVectorNear(camera.GetUpVector(), 0, 1, 0);
    ExpectVectorNear(camera.GetRightVector(), 1, 0, 0);
    ExpectVectorNear(camera.GetLookVector(), 0, 0, 1);

    // h = cot(45) = 1, w = h / 2, r = 11 / 10.
    camera.SetFOV(90.0f);
    camera.SetNearFarPlanes(1.0f, 11.0f);
    const float projection[4][4] = {{0.5f, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1.1f, 1}, {0, 0, -1.1f, 0}};
    ExpectMatrixNear(camera.GetProjectionMatrix(), projection);
    camera.SetPosition(XMVectorSet(1, 2, 3, 1));
    const float view[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {-1, -2, -3, 1}};
    ExpectMatrixNear(camera.GetViewMatrix(), view);
    ExpectMatrixNear(camera.GetProjectionMatrix(), projection);
    // The view-projection is view x projection: (1, 2, 13) lands 10 ahead of the eye, at depth 1.
    const XMVECTOR far = XMVector3TransformCoord(XMVectorSet(1, 2, 14, 1), camera.GetViewProjectionMatrix());
    EXPECT_NEAR(XMVectorGetZ(far), 1.0f, 1e-5f);
    const XMFLOAT2 planes = camera.GetNearFarPlanes();
    EXPECT_TRUE(planes.x == 1.0f && planes.y == 11.0f);
}

TEST_F(KR_CameraTest, LookAtMatchesTheLookToMatrixAndRefusesDegenerateInput)
{
    // Looking along +x from (2, 0, 0): x axis (0, 0, -1), y axis (0, 1, 0), z axis (1, 0, 0).
    EXPECT_TRUE(m_Camera.LookAt(XMVectorSet(2, 0, 0, 1), XMVectorSet(5, 0, 0, 1), XMVectorSet(0, 1, 0, 0)));
    const float view[4][4] = {{0, 0, 1, 0}, {0, 1, 0, 0}, {-1, 0, 0, 0}, {0, 0, -2, 1}};
    ExpectMatrixNear(m_Camera.GetViewMatrix(), view);
    ExpectVectorNear(m_Camera.GetPosition(), 2, 0, 0);
    ExpectVectorNear(m_Camera.GetLookVector(), 1, 0, 0);
    // A tilted look-at reproduces XMMatrixLookToLH after the rebuild from position and orientation.
    const XMVECTOR eye = XMVectorSet(1, 2, 3, 1), target = XMVectorSet(-4, 6, 8, 1),
                   up = XMVectorSet(0, 1, 0, 0);
    EXPECT_TRUE(m_Camera.LookAt(eye, target, up));
    XMFLOAT4X4 expected;
    XMStoreFloat4x4(&expected, XMMatrixLookToLH(eye, XMVectorSubtract(target, eye), up));
    ExpectMatrixNear(m_Camera.GetViewMatrix(), expected.m, 1e-5f);

    // Refused: eye on the target, zero up, up along the view direction. Nothing changes.
    EXPECT_FALSE(m_Camera.LookAt(eye, eye, up));
    EXPECT_FALSE(m_Camera.LookAt(eye, target, XMVectorZero()));
    EXPECT_FALSE(m_Camera.LookAt(eye, XMVectorAdd(eye, up), up));
    ExpectMatrixNear(m_Camera.GetViewMatrix(), expected.m, 1e-5f);
}

TEST_F(KR_CameraTest, SettersRefuseValuesThatBreakTheProjection)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (float fov : {0.0f, -10.0f, 180.5f, nan})
        m_Camera.SetFOV(fov);
    m_Camera.SetAspectRatio(0.0f);
    m_Camera.SetAspectRatio(nan);
    m_Camera.SetNearFarPlanes(5.0f, 1.0f);
    m_Camera.SetNearFarPlanes(0.0f, 10.0f);
    m_Camera.SetNearZ(11.0f); // would meet the far plane
    m_Camera.SetFarZ(std::numeric_limits<float>::infinity());
    EXPECT_EQ(m_Camera.GetFOV(), 90.0f);
    EXPECT_EQ(m_Camera.GetAspectRatio(), 1.0f);
    EXPECT_TRUE(m_Camera.GetNearZ() == 1.0f && m_Camera.GetFarZ() == 11.0f);
    m_Camera.SetFOV(180.0f); // the widest the zoom keys reach is kept, and stays finite
    XMFLOAT4X4 p;
    XMStoreFloat4x4(&p, m_Camera.GetProjectionMatrix());
    for (auto& row : p.m)
        for (float value : row)
            EXPECT_TRUE(std::isfinite(value));
    m_Camera.SetNearFarPlanes(0.5f, 1000.0f);
    EXPECT_TRUE(m_Camera.GetNearFarPlanes().x == 0.5f && m_Camera.GetNearFarPlanes().y == 1000.0f);
}

TEST_F(KR_CameraTest, FrustumPlanesCornersAndBoxTests)
{
    const XMVECTOR* planes = m_Camera.GetViewFrustum();
    const float r = std::sqrt(0.5f);
    ExpectVectorNear(planes[KR_FP_Left], r, 0, r);
    EXPECT_NEAR(XMVectorGetW(planes[KR_FP_Left]), 0.0f, 1e-6f);
    ExpectVectorNear(planes[KR_FP_Bottom], 0, r, r);
    ExpectVectorNear(planes[KR_FP_Near], 0, 0, 1);
    EXPECT_NEAR(XMVectorGetW(planes[KR_FP_Near]), -1.0f, 1e-5f);
    ExpectVectorNear(planes[KR_FP_Far], 0, 0, -1);
    EXPECT_NEAR(XMVectorGetW(planes[KR_FP_Far]), 11.0f, 1e-4f);

    XMFLOAT3 corners[KR_ViewFrustum::NUM_LINE_VERTICES];
    m_Camera.GetFrustum()->GetLinePoints(corners);
    const float expected[9][3] = {{-1, 1, 1},   {1, 1, 1},      {-1, -1, 1},   {1, -1, 1},    {-11, 11, 11},
                                  {11, 11, 11}, {-11, -11, 11}, {11, -11, 11}, {0, 13.2f, 11}};
    for (int i = 0; i < 9; ++i)
        ExpectVectorNear(XMLoadFloat3(&corners[i]), expected[i][0], expected[i][1], expected[i][2], 1e-4f);

    EXPECT_TRUE(m_Camera.IsBoxVisible(nullptr, nullptr));
    const KR_BoundingBox behindNear = Box(-1, -1, -5, 1, 1, 0.5f);
    EXPECT_FALSE(m_Camera.IsBoxVisible(&behindNear, nullptr));
    const KR_BoundingBox crossingLeft = Box(-20, -1, 5, -5, 1, 6);
    EXPECT_TRUE(m_Camera.IsBoxVisible(&crossingLeft, nullptr));
    const KR_BoundingBox leftOf = Box(-30, -1, 5, -20, 1, 6);
    EXPECT_FALSE(m_Camera.IsBoxVisible(&leftOf, nullptr));
    const XMMATRIX intoView = XMMatrixTranslation(25, 0, 0); // the transform brings it inside
    EXPECT_TRUE(m_Camera.IsBoxVisible(&leftOf, &intoView));
    const KR_BoundingBox pastFar = Box(-1, -1, 11.5f, 1, 1, 20);
    EXPECT_FALSE(m_Camera.IsBoxVisible(&pastFar, nullptr));

    XMFLOAT3 point(7, 7, 7);
    const XMVECTOR a = XMVectorSet(1, 0, 0, -1), b = XMVectorSet(1, 0, 0, -3), c = XMVectorSet(0, 1, 0, 0);
    IntersectThreePlanes(&point, &a, &b, &c);
    EXPECT_TRUE(point.x == 0.0f && point.y == 0.0f && point.z == 0.0f);
}
