#pragma once
// The developer overlay, drawn in clip space over the frame: a frame-rate bar at the top left
// (green to red), the current scene's timeline bar at the bottom with a cursor at the current
// time, an icon of the current camera mode at the top left and, independently, a composition
// guide (a centre cross or a thirds grid).
//
// It exists in every build. Initialize runs once on the scene manager's loading job (the device
// is free-threaded); the rest on the main thread. The three vertex buffers belong to the HUD and
// are released in one place, ReleaseBuffers (which the destructor calls), so a second release
// finds null pointers; the programs, layouts and icons belong to the resource manager.

#include "platform/d3d11/d3d11.h"
#include "platform/directxmath/DirectXMath.h"

#include <cstdint>

class KR_ManagedShaderResourceView;
struct KR_ShaderProgram;

class KR_DebugHUD
{
public:
    static constexpr std::uint32_t NUM_QUAD_VERTICES = 18;
    static constexpr std::uint32_t NUM_CAMERA_MODES = 4;
    static constexpr std::uint32_t NUM_LINE_VERTICES = 12;
    // Position and texture coordinate of the camera-mode icon's vertices.
    struct TexturedVertex
    {
        DirectX::XMFLOAT3 position;
        DirectX::XMFLOAT2 uv;
    };

    KR_DebugHUD() = default;
    ~KR_DebugHUD(); // ReleaseBuffers

    KR_DebugHUD(const KR_DebugHUD&) = delete;
    KR_DebugHUD& operator=(const KR_DebugHUD&) = delete;

    // Programs, layouts, the four icons and the two fixed buffers.
    void Initialize();
    // Rebuilds the quad buffer and draws the frame-rate bar, the timeline bar with its cursor and
    // the icon of uiCameraMode (none outside 0 to 3). False when nothing could be drawn (no
    // context, no shader core manager, no quad buffer) or when the scene has no length.
    bool Render(double fTime, double fSceneStart, double fSceneEnd, float fFrameRate,
                std::uint32_t uiCameraMode);
    // Guide 1 the centre cross, guide 2 the thirds grid; any other draws nothing and answers false.
    bool RenderModeLines(std::uint32_t uiGuide);
    void ReleaseBuffers();

    // The three quads of the last Render (frame-rate bar, timeline, cursor), two triangles each.
    const DirectX::XMFLOAT3* GetQuadVertices() const { return m_aQuadVertices; }
    ID3D11Buffer* GetQuadVB() const { return m_pQuadsVB; }
    ID3D11Buffer* GetCameraModeVB() const { return m_pCameraModeVB; }
    ID3D11Buffer* GetLineVB() const { return m_pLineVB; }

    DirectX::XMFLOAT4 m_vTimelineColor = {0.0f, 1.0f, 0.0f, 1.0f};
    DirectX::XMFLOAT4 m_vCursorColor = {0.0f, 0.0f, 1.0f, 1.0f};
    DirectX::XMFLOAT4 m_vGuideColor = {1.0f, 1.0f, 0.0f, 1.0f};

private:
    void BuildQuads(double fTime, double fSceneStart, double fSceneEnd, float fFrameBarWidth);

    DirectX::XMFLOAT3 m_aQuadVertices[NUM_QUAD_VERTICES] = {};
    ID3D11Buffer* m_pQuadsVB = nullptr;
    ID3D11Buffer* m_pCameraModeVB = nullptr;
    ID3D11Buffer* m_pLineVB = nullptr;
    KR_ManagedShaderResourceView* m_apModeIcons[NUM_CAMERA_MODES] = {}; // the resource manager's
    KR_ShaderProgram* m_pColorProgram = nullptr;                        // the resource manager's
    KR_ShaderProgram* m_pTextureProgram = nullptr;                      // the resource manager's
    ID3D11InputLayout* m_pColorLayout = nullptr;                        // the resource manager's
    ID3D11InputLayout* m_pTextureLayout = nullptr;                      // the resource manager's
};
