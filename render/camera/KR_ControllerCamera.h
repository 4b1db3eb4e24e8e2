#pragma once
// The free-flying camera of the developer camera modes (Rail, Edit, Roam). Keys move it (W A S D
// forward, left, backward, right; Space and Shift up and down), holding the right mouse button
// turns it with the cursor held at the window centre, the wheel changes its speed, E and Q narrow
// and widen the field of view, and a game controller does the same through controller messages.
// In Edit mode the left button picks and drags editor objects through the scene manager: a click
// calls PickEditorObject, a drag PickEditorGizmo with the picking ray through the cursor.
//
// Every step is per frame (Update applies the held inputs once; there is no smoothing). One
// instance, made and driven by the scene manager; main thread only.

#include "framework/app/KE_MessageReceiver.h"
#include "platform/win32/Windows.h"
#include "render/camera/KR_Camera.h"

#include <cstdint>

struct KR_Ray;

class KR_ControllerCamera : public KR_Camera, public KE_MessageReceiver
{
public:
    static constexpr float CONTROLLER_LOOK_FACTOR = 0.05f; // radians per frame at full deflection
    static constexpr float CONTROLLER_MOVE_FACTOR = 1.4f;  // units per frame at full deflection
    static constexpr float MOUSE_LOOK_FACTOR = 0.002f;     // radians per pixel
    static constexpr float DEFAULT_MOVE_SPEED = 1.4f;      // units per frame for a held key
    static constexpr float MIN_MOVE_SPEED = 0.01f;
    static constexpr float FOV_STEP = 0.5f; // degrees per frame for a held zoom key
    static constexpr float MIN_FOV = 1.0f;
    static constexpr float WHEEL_FACTOR = 0.01f;
    static constexpr std::uint32_t ZOOM_IN_BUTTON = 9;
    static constexpr std::uint32_t ZOOM_OUT_BUTTON = 8;

    // Registers for window messages (type 4) at once.
    KR_ControllerCamera();
    // Unregisters from everything and gives the cursor back when it holds it.
    ~KR_ControllerCamera() override;

    // Keyboard and mouse input (types 2 and 3) on or off. Switching off forgets held keys and look
    // deltas and gives the cursor back.
    void SetActive(bool bActive);
    // Controller input (type 1) on; off forgets the held buttons and the axes.
    void RegisterForGUIMessages();
    void UnregisterFromGUIMessages();
    // Mouse look: hides the cursor and holds it at the window centre (nothing without a window).
    void CaptureMouse();
    // Puts the cursor back where it was and shows it; only while captured. The captured flag is
    // left to the caller.
    void ReleaseMouse();
    // World-space ray through screen pixel (x, y) for the given projection and view.
    void GetPickRay(KR_Ray* pRay, const DirectX::XMMATRIX* pProjection, const DirectX::XMMATRIX* pView,
                    std::int32_t x, std::int32_t y) const;

    // Applies the held inputs once; the time is not used.
    void Update(double fTime) override;
    bool Receive(KE_MessageType type, KE_MessageSubType subType, void* pPayload) override;

    bool IsActive() const { return m_bActive; }
    bool IsControllerRegistered() const { return m_bControllerRegistered; }
    bool IsMouseCaptured() const { return m_bMouseCaptured; }
    float GetMoveSpeed() const { return m_fMoveSpeed; }
    void SetControllerDevice(std::uint32_t uiDevice) { m_uiControllerDevice = uiDevice; }

private:
    void HandleMouseState(const KE_MouseState& state);
    // Sends the picking ray through (x, y) to the scene manager in Edit mode.
    void PickAt(std::int32_t x, std::int32_t y, bool bGizmo, bool bDragging);
    void ClearKeys();

    bool m_bActive = false;
    bool m_bControllerRegistered = false;
    std::uint32_t m_uiControllerDevice = 0;
    bool m_bZoomInHeld = false;
    bool m_bZoomOutHeld = false;
    bool m_bKeyE = false;
    bool m_bKeyQ = false;
    bool m_bKeyA = false;
    bool m_bKeyD = false;
    bool m_bKeyW = false;
    bool m_bKeyS = false;
    bool m_bKeySpace = false;
    bool m_bKeyShift = false;
    float m_fLookDeltaX = 0.0f;
    float m_fLookDeltaY = 0.0f;
    float m_fMoveSpeed = DEFAULT_MOVE_SPEED;
    float m_fAxes[6] = {}; // 0 sideways, 1 forward, 2 up, 3 yaw, 4 pitch, 5 down
    std::int32_t m_iCentreX = -1;
    std::int32_t m_iCentreY = -1;
    std::int32_t m_iSavedCursorX = -1;
    std::int32_t m_iSavedCursorY = -1;
    bool m_bMouseCaptured = false;
    bool m_bLeftButtonHeld = false;
    bool m_bDragging = false;
    std::int32_t m_iPressX = 0;
    std::int32_t m_iPressY = 0;
    HWND m_hWindow = nullptr;
};
