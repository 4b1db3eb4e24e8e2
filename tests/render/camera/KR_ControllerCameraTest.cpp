#include "render/camera/KR_ControllerCamera.h"

#include "framework/app/KE_Dispatcher.h"
#include "framework/app/KI_InputManager.h"
#include "platform/win32/Win32Control.h"
#include "platform/win32/Windows.h"
#include "render/debug/KR_Ray.h"
#include "render/scene/KR_SceneManager.h"
#include "tests/render/camera/CameraTestHelpers.h"
#include "tests/support/TestEngine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace DirectX;
using cameratest::ExpectVectorNear;

namespace
{

// Records the picking calls the camera makes.
class RecordingSceneManager : public KR_SceneManager
{
public:
    struct Pick
    {
        bool bGizmo;
        bool bDragging;
        KR_Ray ray;
    };
    void PickEditorObject(const KR_Ray& ray) override { m_Picks.push_back({false, false, ray}); }
    void PickEditorGizmo(const KR_Ray& ray, bool bDragging) override
    {
        m_Picks.push_back({true, bDragging, ray});
    }
    std::vector<Pick> m_Picks;
};

LRESULT WindowProc(HWND hWnd, UINT uiMessage, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hWnd, uiMessage, wParam, lParam);
}

class KR_ControllerCameraTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Win32Control::Reset();
        m_Engine->SetDispatcher(&m_Dispatcher);
        m_Engine->SetSceneManager(&m_SceneManager);
        m_Engine->SetInputManager(&m_Input);
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = WindowProc;
        wc.lpszClassName = "cameratest";
        ASSERT_NE(RegisterClassExA(&wc), 0);
        // Frame at (100, 50), 400 x 300 pixels (no border: the client area is the frame).
        m_hWindow = CreateWindowExA(0, "cameratest", "", WS_POPUP, 100, 50, 400, 300, nullptr, nullptr,
                                    nullptr, nullptr);
        ASSERT_NE(m_hWindow, nullptr);
        m_pCamera = new KR_ControllerCamera();
        m_Dispatcher.Dispatch(KE_MT_Window, KE_MST_WindowActivated, &m_hWindow);
        m_pCamera->SetAspectRatio(4.0f / 3.0f);
        m_pCamera->SetActive(true);
    }
    void TearDown() override
    {
        delete m_pCamera;
        EXPECT_EQ(m_Dispatcher.GetReceiverCount(KE_MT_Window), 0u);
        EXPECT_EQ(m_Dispatcher.GetReceiverCount(KE_MT_Mouse), 0u);
        m_Engine->SetSceneManager(nullptr);
        m_Engine->SetInputManager(nullptr);
        Win32Control::Reset();
    }

    void Key(std::uint64_t code, bool bDown)
    {
        m_Dispatcher.Dispatch(KE_MT_Keyboard, bDown ? KE_MST_KeyDown : KE_MST_KeyUp, &code);
    }
    void Mouse(std::int32_t x, std::int32_t y, bool bLeft, bool bRight = false)
    {
        KE_MouseState state = {x, y, static_cast<std::uint8_t>(bLeft), static_cast<std::uint8_t>(bRight), 0};
        m_Dispatcher.Dispatch(KE_MT_Mouse, KE_MST_MouseMove, &state);
    }
    void Wheel(std::int32_t delta) { m_Dispatcher.Dispatch(KE_MT_Mouse, KE_MST_MouseWheel, &delta); }
    void Frames(int n)
    {
        for (int i = 0; i < n; ++i)
            m_pCamera->Update(0.0);
    }
    KR_Ray RayAt(std::int32_t x, std::int32_t y)
    {
        KR_Ray ray;
        m_pCamera->GetPickRay(&ray, &m_pCamera->GetProjectionMatrix(), &m_pCamera->GetViewMatrix(), x, y);
        return ray;
    }

    TestEngine m_Engine;
    KE_Dispatcher m_Dispatcher;
    RecordingSceneManager m_SceneManager;
    KI_InputManager m_Input;
    HWND m_hWindow = nullptr;
    KR_ControllerCamera* m_pCamera = nullptr;
};

} // namespace

TEST_F(KR_ControllerCameraTest, KeysWheelAndZoomMovePerFrame)
{
    Key('W', true);
    Frames(10);
    ExpectVectorNear(m_pCamera->GetPosition(), 0, 0, 14, 1e-4f);
    Key('W', false);
    Key('D', true);
    Key(16, true); // Shift: down
    Frames(1);
    ExpectVectorNear(m_pCamera->GetPosition(), 1.4f, -1.4f, 14, 1e-4f);
    Key('D', false);
    Key(16, false);

    Wheel(120);
    EXPECT_NEAR(m_pCamera->GetMoveSpeed(), 1.68f, 1e-6f);
    Wheel(0); // ignored, not a reset
    EXPECT_NEAR(m_pCamera->GetMoveSpeed(), 1.68f, 1e-6f);
    Wheel(-120);
    EXPECT_NEAR(m_pCamera->GetMoveSpeed(), 1.4f, 1e-6f);
    for (int i = 0; i < 50; ++i)
        Wheel(-120);
    EXPECT_EQ(m_pCamera->GetMoveSpeed(), KR_ControllerCamera::MIN_MOVE_SPEED);

    Key('E', true);
    Frames(200);
    EXPECT_EQ(m_pCamera->GetFOV(), 1.0f);
    Key('E', false);
    m_pCamera->SetFOV(70.0f);
    Key('Q', true);
    Frames(300);
    EXPECT_EQ(m_pCamera->GetFOV(), 180.0f);
    const KR_Ray ray = RayAt(150, 100); // the widest view still gives a finite ray
    EXPECT_TRUE(std::isfinite(XMVectorGetX(ray.direction)) && std::isfinite(XMVectorGetY(ray.direction)));

    std::uint64_t x = 'X';
    EXPECT_FALSE(m_pCamera->Receive(KE_MT_Keyboard, KE_MST_KeyDown, &x));
    EXPECT_TRUE(m_pCamera->Receive(KE_MT_Keyboard, KE_MST_KeyDown, nullptr));
}

TEST_F(KR_ControllerCameraTest, ControllerMessagesOfItsDeviceOnly)
{
    m_pCamera->RegisterForGUIMessages();
    KE_ControllerAxisData axis = {1, 1, 1.0f};
    m_Dispatcher.Dispatch(KE_MT_Controller, KE_MST_ControllerAxis, &axis); // device 1: ignored
    KE_ControllerButtonData button = {1, 9};
    m_Dispatcher.Dispatch(KE_MT_Controller, KE_MST_ButtonDown, &button);
    Frames(1);
    ExpectVectorNear(m_pCamera->GetPosition(), 0, 0, 0);
    EXPECT_EQ(m_pCamera->GetFOV(), 70.0f);

    axis.device = 0;
    button.device = 0;
    m_Dispatcher.Dispatch(KE_MT_Controller, KE_MST_ControllerAxis, &axis);
    m_Dispatcher.Dispatch(KE_MT_Controller, KE_MST_ButtonDown, &button);
    Frames(1);
    ExpectVectorNear(m_pCamera->GetPosition(), 0, 0, 1.4f);
    EXPECT_EQ(m_pCamera->GetFOV(), 69.5f);
    m_pCamera->UnregisterFromGUIMessages(); // forgets the axes and buttons
    Frames(1);
    ExpectVectorNear(m_pCamera->GetPosition(), 0, 0, 1.4f);
}

TEST_F(KR_ControllerCameraTest, MouseLookHoldsTheCursorAtTheCentreAndGivesItBack)
{
    m_SceneManager.SetCursorVisible(true);
    Mouse(10, 20, false, true); // right button: capture
    EXPECT_TRUE(m_pCamera->IsMouseCaptured());
    EXPECT_EQ(GetCapture(), m_hWindow);
    POINT cursor;
    GetCursorPos(&cursor);
    EXPECT_TRUE(cursor.x == 300 && cursor.y == 200); // the window centre
    EXPECT_FALSE(m_SceneManager.IsCursorVisible());

    Mouse(400, 200, false, true); // 100 pixels right of the centre: turn right by 0.2 radians
    GetCursorPos(&cursor);
    EXPECT_EQ(cursor.x, 300);
    Frames(1);
    ExpectVectorNear(m_pCamera->GetLookVector(), std::sin(0.2f), 0, std::cos(0.2f));
    Frames(1); // the delta was consumed
    ExpectVectorNear(m_pCamera->GetLookVector(), std::sin(0.2f), 0, std::cos(0.2f));

    Key('W', true);
    m_pCamera->SetActive(false); // forgets keys, gives the cursor back at the saved position
    EXPECT_EQ(GetCapture(), nullptr);
    GetCursorPos(&cursor);
    EXPECT_TRUE(cursor.x == 0 && cursor.y == 0); // the input manager's last position
    Frames(1);
    ExpectVectorNear(m_pCamera->GetPosition(), 0, 0, 0);
    EXPECT_EQ(m_Dispatcher.GetReceiverCount(KE_MT_Keyboard), 0u);
}

TEST_F(KR_ControllerCameraTest, LeftButtonGesturesPickThroughTheSceneManagerInEditMode)
{
    m_SceneManager.SetCameraMode(KR_SCM_Edit);
    Mouse(300, 200, true); // a click at the window centre
    Mouse(300, 200, false);
    ASSERT_EQ(m_SceneManager.m_Picks.size(), 1u);
    EXPECT_FALSE(m_SceneManager.m_Picks[0].bGizmo);
    ExpectVectorNear(m_SceneManager.m_Picks[0].ray.direction, 0, 0, 1);

    m_SceneManager.m_Picks.clear();
    Mouse(300, 200, true);
    Mouse(350, 200, true); // drag: the press point first, then the new position
    Mouse(360, 210, true);
    Mouse(360, 210, false);
    ASSERT_EQ(m_SceneManager.m_Picks.size(), 4u);
    const std::int32_t points[4][2] = {{300, 200}, {350, 200}, {360, 210}, {360, 210}};
    for (int i = 0; i < 4; ++i)
    {
        const RecordingSceneManager::Pick& pick = m_SceneManager.m_Picks[i];
        EXPECT_TRUE(pick.bGizmo);
        EXPECT_EQ(pick.bDragging, i < 3);
        const KR_Ray expected = RayAt(points[i][0], points[i][1]);
        ExpectVectorNear(pick.ray.direction, XMVectorGetX(expected.direction),
                         XMVectorGetY(expected.direction), XMVectorGetZ(expected.direction));
    }
    // Right of the centre the ray leans right: x / z = (2 x 50 / 400) / w with w = h / aspect.
    const float w = (1.0f / std::tan(35.0f * KR_Camera::DEGREES_TO_RADIANS)) / (4.0f / 3.0f);
    const XMVECTOR d = m_SceneManager.m_Picks[1].ray.direction;
    EXPECT_NEAR(XMVectorGetX(d) / XMVectorGetZ(d), 0.25f / w, 1e-4f);

    m_SceneManager.m_Picks.clear();
    m_SceneManager.SetCameraMode(KR_SCM_Roam);
    Mouse(300, 200, true);
    Mouse(310, 200, true);
    Mouse(310, 200, false);
    Mouse(300, 200, true);
    Mouse(300, 200, false);
    EXPECT_TRUE(m_SceneManager.m_Picks.empty());
}
