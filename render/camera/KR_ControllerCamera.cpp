#include "render/camera/KR_ControllerCamera.h"

#include "framework/app/KE_Dispatcher.h"
#include "framework/app/KE_EngineMembers.h"
#include "framework/app/KI_InputManager.h"
#include "render/camera/KR_ViewFrustum.h"
#include "render/debug/KR_Ray.h"
#include "render/scene/KR_SceneManager.h"

#include <cmath>

using namespace DirectX;

namespace
{

constexpr std::uint64_t VK_CODE_SHIFT = 16;
constexpr std::uint64_t VK_CODE_SPACE = 32;

KE_MouseState GetLastMouseState()
{
    KI_InputManager* pInput = KE_GetInputManager();
    return pInput != nullptr ? pInput->GetMouseState() : KE_MouseState{};
}

void Register(KE_MessageType type, KE_MessageReceiver* pReceiver)
{
    if (KE_Dispatcher* pDispatcher = KE_GetDispatcher())
        pDispatcher->RegisterReceiver(type, pReceiver);
}

void Unregister(KE_MessageType type, KE_MessageReceiver* pReceiver)
{
    if (KE_Dispatcher* pDispatcher = KE_GetDispatcher())
        pDispatcher->UnRegisterReceiver(type, pReceiver);
}

void SetCursorVisible(bool bVisible)
{
    if (KR_SceneManager* pSceneManager = KE_GetSceneManager())
        pSceneManager->SetCursorVisible(bVisible);
}

// A projection scale near 0 (a field of view of 180 degrees) would make the ray infinite: it is
// kept away from 0 with its sign.
float SafeScale(float fScale)
{
    constexpr float MIN_SCALE = 1e-6f;
    if (std::fabs(fScale) >= MIN_SCALE)
        return fScale;
    return std::signbit(fScale) ? -MIN_SCALE : MIN_SCALE;
}

} // namespace

KR_ControllerCamera::KR_ControllerCamera()
{
    Register(KE_MT_Window, this);
}

KR_ControllerCamera::~KR_ControllerCamera()
{
    if (m_bControllerRegistered)
        Unregister(KE_MT_Controller, this);
    if (m_bActive)
    {
        Unregister(KE_MT_Keyboard, this);
        Unregister(KE_MT_Mouse, this);
        if (m_bMouseCaptured)
        {
            SetCursorPos(m_iSavedCursorX, m_iSavedCursorY);
            SetCursorVisible(true);
            ReleaseCapture();
        }
    }
    Unregister(KE_MT_Window, this);
}

void KR_ControllerCamera::ClearKeys()
{
    m_bKeyE = m_bKeyQ = m_bKeyA = m_bKeyD = m_bKeyW = m_bKeyS = m_bKeySpace = m_bKeyShift = false;
}

void KR_ControllerCamera::SetActive(bool bActive)
{
    if (bActive && !m_bActive)
    {
        m_bActive = true;
        Register(KE_MT_Mouse, this);
        Register(KE_MT_Keyboard, this);
        const KE_MouseState state = GetLastMouseState();
        m_bMouseCaptured = state.right != 0;
        m_bLeftButtonHeld = state.left != 0;
        if (m_bMouseCaptured)
            CaptureMouse();
    }
    else if (!bActive && m_bActive)
    {
        m_bActive = false;
        Unregister(KE_MT_Keyboard, this);
        Unregister(KE_MT_Mouse, this);
        m_iCentreX = m_iCentreY = -1;
        m_fLookDeltaX = m_fLookDeltaY = 0.0f;
        ClearKeys();
        if (m_bMouseCaptured)
        {
            SetCursorPos(m_iSavedCursorX, m_iSavedCursorY);
            SetCursorVisible(true);
            ReleaseCapture();
        }
        m_iSavedCursorX = m_iSavedCursorY = -1;
    }
}

void KR_ControllerCamera::RegisterForGUIMessages()
{
    Register(KE_MT_Controller, this);
    m_bControllerRegistered = true;
}

void KR_ControllerCamera::UnregisterFromGUIMessages()
{
    if (!m_bControllerRegistered)
        return;
    Unregister(KE_MT_Controller, this);
    m_bZoomInHeld = m_bZoomOutHeld = false;
    for (float& fAxis : m_fAxes)
        fAxis = 0.0f;
    m_bControllerRegistered = false;
}

void KR_ControllerCamera::CaptureMouse()
{
    RECT rect;
    if (m_hWindow == nullptr || !GetWindowRect(m_hWindow, &rect))
        return;
    const KE_MouseState state = GetLastMouseState();
    m_iSavedCursorX = state.x;
    m_iSavedCursorY = state.y;
    m_iCentreX = rect.left + (rect.right - rect.left) / 2;
    m_iCentreY = rect.top + (rect.bottom - rect.top) / 2;
    SetCursorPos(m_iCentreX, m_iCentreY);
    SetCursorVisible(false);
    SetCapture(m_hWindow);
}

void KR_ControllerCamera::ReleaseMouse()
{
    if (!m_bMouseCaptured)
        return;
    SetCursorPos(m_iSavedCursorX, m_iSavedCursorY);
    SetCursorVisible(true);
    ReleaseCapture();
}

void KR_ControllerCamera::GetPickRay(KR_Ray* pRay, const XMMATRIX* pProjection, const XMMATRIX* pView,
                                     std::int32_t x, std::int32_t y) const
{
    POINT point = {x, y};
    RECT client = {0, 0, 1, 1};
    if (m_hWindow != nullptr)
    {
        ScreenToClient(m_hWindow, &point);
        GetClientRect(m_hWindow, &client);
    }
    // An empty client area (a minimised window) counts as one pixel.
    const float fWidth = client.right > 0 ? static_cast<float>(client.right) : 1.0f;
    const float fHeight = client.bottom > 0 ? static_cast<float>(client.bottom) : 1.0f;
    XMFLOAT4X4 p;
    XMStoreFloat4x4(&p, *pProjection);
    const float vx = (2.0f * static_cast<float>(point.x) / fWidth - 1.0f) / SafeScale(p.m[0][0]);
    const float vy = -((2.0f * static_cast<float>(point.y) / fHeight - 1.0f) / SafeScale(p.m[1][1]));
    const XMMATRIX inverse = XMMatrixInverse(nullptr, *pView);
    pRay->origin = XMVector4Transform(XMVectorSet(0.0f, 0.0f, 0.0f, 1.0f), inverse);
    pRay->direction = XMVector3Normalize(XMVector4Transform(XMVectorSet(vx, vy, 1.0f, 0.0f), inverse));
}

void KR_ControllerCamera::Update(double /*fTime*/)
{
    if (m_bKeyE || m_bZoomInHeld)
        SetFOV(std::fmax(GetFOV() - FOV_STEP, MIN_FOV));
    if (m_bKeyQ || m_bZoomOutHeld)
        SetFOV(std::fmin(GetFOV() + FOV_STEP, MAX_FOV));

    float fSideways = m_fAxes[0] * CONTROLLER_MOVE_FACTOR;
    float fForward = m_fAxes[1] * CONTROLLER_MOVE_FACTOR;
    float fUp = m_fAxes[2] * CONTROLLER_MOVE_FACTOR - m_fAxes[5] * CONTROLLER_MOVE_FACTOR;
    float fYaw = m_fAxes[3] * CONTROLLER_LOOK_FACTOR;
    float fPitch = m_fAxes[4] * CONTROLLER_LOOK_FACTOR;
    if (m_bKeyW)
        fForward += m_fMoveSpeed;
    if (m_bKeyS)
        fForward -= m_fMoveSpeed;
    if (m_bKeyD)
        fSideways += m_fMoveSpeed;
    if (m_bKeyA)
        fSideways -= m_fMoveSpeed;
    if (m_bKeySpace)
        fUp += m_fMoveSpeed;
    if (m_bKeyShift)
        fUp -= m_fMoveSpeed;
    fYaw += m_fLookDeltaX * MOUSE_LOOK_FACTOR;
    fPitch += m_fLookDeltaY * MOUSE_LOOK_FACTOR;
    m_fLookDeltaX = 0.0f; // consumed
    m_fLookDeltaY = 0.0f;

    const XMMATRIX rotation = XMMatrixRotationQuaternion(m_qOrientation);
    const XMVECTOR axes[3] = {m_vBaseRight, m_vBaseLook, m_vBaseUp};
    const float amounts[3] = {fSideways, fForward, fUp};
    for (int i = 0; i < 3; ++i)
    {
        if (amounts[i] == 0.0f)
            continue;
        m_vPosition =
            XMVectorAdd(m_vPosition, XMVectorScale(XMVector4Transform(axes[i], rotation), amounts[i]));
        m_bViewDirty = true;
    }
    if (fYaw != 0.0f)
    {
        // Once the camera has turned over, turning about the world vertical runs the other way;
        // reversing it keeps mouse and stick directions natural.
        const XMVECTOR up = XMVector4Transform(m_vBaseUp, rotation);
        if (XMVectorGetX(XMVector3Dot(up, m_vBaseUp)) < 0.0f)
            fYaw = -fYaw;
        const XMVECTOR q = XMQuaternionNormalize(XMQuaternionRotationAxis(m_vBaseUp, fYaw));
        m_qOrientation = XMQuaternionNormalize(XMQuaternionMultiply(m_qOrientation, q));
        m_bViewDirty = true;
    }
    if (fPitch != 0.0f)
    {
        const XMVECTOR q = XMQuaternionNormalize(XMQuaternionRotationAxis(m_vBaseRight, fPitch));
        m_qOrientation = XMQuaternionNormalize(XMQuaternionMultiply(q, m_qOrientation));
        m_bViewDirty = true;
    }
    if (m_pFrustum != nullptr)
        m_pFrustum->Update();
}

void KR_ControllerCamera::PickAt(std::int32_t x, std::int32_t y, bool bGizmo, bool bDragging)
{
    KR_SceneManager* pSceneManager = KE_GetSceneManager();
    if (pSceneManager == nullptr || pSceneManager->GetCameraMode() != KR_SCM_Edit)
        return;
    KR_Ray ray;
    GetPickRay(&ray, &GetProjectionMatrix(), &GetViewMatrix(), x, y);
    if (bGizmo)
        pSceneManager->PickEditorGizmo(ray, bDragging);
    else
        pSceneManager->PickEditorObject(ray);
}

void KR_ControllerCamera::HandleMouseState(const KE_MouseState& state)
{
    if (m_bMouseCaptured)
    {
        if (state.right == 0)
        {
            ReleaseMouse();
            m_bMouseCaptured = false;
        }
        else if (state.x != m_iCentreX || state.y != m_iCentreY)
        {
            m_fLookDeltaX = static_cast<float>(state.x - m_iCentreX);
            m_fLookDeltaY = static_cast<float>(state.y - m_iCentreY);
            SetCursorPos(m_iCentreX, m_iCentreY);
        }
    }
    else if (state.right != 0)
    {
        m_bMouseCaptured = true;
        CaptureMouse();
    }
    else if (m_bLeftButtonHeld)
    {
        if (state.left != 0)
        {
            if (!m_bDragging && (state.x != m_iPressX || state.y != m_iPressY))
            {
                PickAt(m_iPressX, m_iPressY, true, true); // the drag starts where the button went down
                m_bDragging = true;
            }
            if (m_bDragging)
                PickAt(state.x, state.y, true, true);
        }
        else
        {
            PickAt(state.x, state.y, m_bDragging, false);
            m_bLeftButtonHeld = false;
        }
    }
    else if (state.left != 0)
    {
        m_iPressX = state.x;
        m_iPressY = state.y;
        m_bLeftButtonHeld = true;
        m_bDragging = false;
    }
}

bool KR_ControllerCamera::Receive(KE_MessageType type, KE_MessageSubType subType, void* pPayload)
{
    if (type == KE_MT_Window)
    {
        if (pPayload != nullptr)
            m_hWindow = *static_cast<HWND*>(pPayload);
        if (subType == KE_MST_WindowDeactivated && m_bActive)
            ReleaseMouse();
        return true;
    }
    if (type != KE_MT_Controller && type != KE_MT_Keyboard && type != KE_MT_Mouse)
        return false;
    if (pPayload == nullptr)
        return true;
    if (type == KE_MT_Controller)
    {
        if (subType == KE_MST_ButtonDown || subType == KE_MST_ButtonUp)
        {
            const KE_ControllerButtonData& data = *static_cast<const KE_ControllerButtonData*>(pPayload);
            if (data.device != m_uiControllerDevice)
                return true;
            if (data.button == ZOOM_IN_BUTTON)
                m_bZoomInHeld = subType == KE_MST_ButtonDown;
            else if (data.button == ZOOM_OUT_BUTTON)
                m_bZoomOutHeld = subType == KE_MST_ButtonDown;
        }
        else if (subType == KE_MST_ControllerAxis)
        {
            const KE_ControllerAxisData& data = *static_cast<const KE_ControllerAxisData*>(pPayload);
            if (data.device == m_uiControllerDevice && data.axis < 6)
                m_fAxes[data.axis] = data.value;
        }
        return true;
    }
    if (type == KE_MT_Keyboard)
    {
        if (subType != KE_MST_KeyDown && subType != KE_MST_KeyUp)
            return true;
        const bool bDown = subType == KE_MST_KeyDown;
        switch (*static_cast<const std::uint64_t*>(pPayload))
        {
        case VK_CODE_SHIFT:
            m_bKeyShift = bDown;
            return true;
        case VK_CODE_SPACE:
            m_bKeySpace = bDown;
            return true;
        case 'A':
            m_bKeyA = bDown;
            return true;
        case 'D':
            m_bKeyD = bDown;
            return true;
        case 'E':
            m_bKeyE = bDown;
            return true;
        case 'Q':
            m_bKeyQ = bDown;
            return true;
        case 'S':
            m_bKeyS = bDown;
            return true;
        case 'W':
            m_bKeyW = bDown;
            return true;
        default:
            return false;
        }
    }
    if (subType == KE_MST_MouseMove)
    {
        HandleMouseState(*static_cast<const KE_MouseState*>(pPayload));
    }
    else if (subType == KE_MST_MouseWheel)
    {
        const std::int32_t iDelta = *static_cast<const std::int32_t*>(pPayload);
        // A zero delta would divide by -0 and throw the speed away: it is ignored.
        if (iDelta != 0)
        {
            const float f = static_cast<float>(iDelta) * WHEEL_FACTOR;
            m_fMoveSpeed = iDelta > 0 ? m_fMoveSpeed * f : m_fMoveSpeed / -f;
            if (m_fMoveSpeed < MIN_MOVE_SPEED)
                m_fMoveSpeed = MIN_MOVE_SPEED;
        }
    }
    return true;
}
