#include "render/debug/KR_DebugHUD.h"

#include "framework/app/KE_EngineMembers.h"
#include "framework/core/KB_String.h"
#include "render/debug/KR_DebugDrawing.h"
#include "render/device/KR_EngineDevice.h"
#include "render/device/KR_GraphicsDevice.h"
#include "render/device/KR_GraphicsResourceManager.h"
#include "render/device/KR_ManagedShaderResourceView.h"
#include "render/device/KR_MaterialManager.h"
#include "render/device/KR_ReleaseAndNull.h"
#include "render/device/KR_ShaderCoreManager.h"

#include <algorithm>

using namespace DirectX;

namespace
{

constexpr std::uint8_t COLOR_FORMAT = 1;   // position
constexpr std::uint8_t TEXTURE_FORMAT = 9; // position and texture coordinate

const char* const MODE_ICONS[KR_DebugHUD::NUM_CAMERA_MODES] = {
    "Assets/Textures/HUD/KR_DebugHUD_Demo.png", "Assets/Textures/HUD/KR_DebugHUD_Rail.png",
    "Assets/Textures/HUD/KR_DebugHUD_Edit.png", "Assets/Textures/HUD/KR_DebugHUD_Roam.png"};

// Top left to bottom right, texture coordinates (0, 0) to (1, 1).
const KR_DebugHUD::TexturedVertex CAMERA_MODE_QUAD[6] = {
    {{-0.99f, 0.94f, 0}, {0, 0}}, {{-0.9f, 0.94f, 0}, {1, 0}}, {{-0.99f, 0.84f, 0}, {0, 1}},
    {{-0.99f, 0.84f, 0}, {0, 1}}, {{-0.9f, 0.94f, 0}, {1, 0}}, {{-0.9f, 0.84f, 0}, {1, 1}},
};

constexpr float THIRD = 0.333f;
const XMFLOAT3 GUIDE_LINES[KR_DebugHUD::NUM_LINE_VERTICES] = {
    {0, 1, 0},      {0, -1, 0},      {-1, 0, 0},      {1, 0, 0}, // centre cross
    {-THIRD, 1, 0}, {-THIRD, -1, 0}, {THIRD, 1, 0},   {THIRD, -1, 0},
    {-1, THIRD, 0}, {1, THIRD, 0},   {-1, -THIRD, 0}, {1, -THIRD, 0}, // thirds grid
};

// Two triangles over [x0, x1] x [y0, y1], counter-clockwise as seen on screen.
void WriteQuad(XMFLOAT3* p, float x0, float x1, float y0, float y1)
{
    p[0] = {x0, y1, 0};
    p[1] = {x1, y1, 0};
    p[2] = {x0, y0, 0};
    p[3] = {x0, y0, 0};
    p[4] = {x1, y1, 0};
    p[5] = {x1, y0, 0};
}

void BindVertices(ID3D11DeviceContext* pContext, ID3D11InputLayout* pLayout,
                  D3D11_PRIMITIVE_TOPOLOGY topology, ID3D11Buffer* pBuffer, UINT uiStride)
{
    const UINT uiOffset = 0;
    pContext->IASetInputLayout(pLayout);
    pContext->IASetPrimitiveTopology(topology);
    pContext->IASetVertexBuffers(0, 1, &pBuffer, &uiStride, &uiOffset);
    pContext->IASetIndexBuffer(nullptr, DXGI_FORMAT_UNKNOWN, 0);
}

} // namespace

KR_DebugHUD::~KR_DebugHUD()
{
    ReleaseBuffers();
}

void KR_DebugHUD::Initialize()
{
    KR_MaterialManager* pMaterials = KE_GetMaterialManager();
    KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager();
    if (pMaterials != nullptr)
    {
        // The icon blends over the frame without depth; the bars and lines draw opaque.
        m_pColorProgram =
            pMaterials->BuildSimpleShaderProperties(KR_SIMPLE_SHADER_FIXED_COLOR, &COLOR_FORMAT, true);
        m_pTextureProgram =
            pMaterials->BuildSimpleShaderProperties(KR_SIMPLE_SHADER_DEBUG_TEXTURE, &TEXTURE_FORMAT, true);
    }
    if (pResources != nullptr)
    {
        m_pColorLayout = pResources->GetInputLayout(&COLOR_FORMAT);
        m_pTextureLayout = pResources->GetInputLayout(&TEXTURE_FORMAT);
        for (std::uint32_t i = 0; i < NUM_CAMERA_MODES; ++i)
            m_apModeIcons[i] = pResources->GetShaderResourceViewFromFile(KB_String(MODE_ICONS[i]));
    }
    if (m_pCameraModeVB == nullptr)
        m_pCameraModeVB = KR_DebugDrawing::CreateStaticBuffer(D3D11_BIND_VERTEX_BUFFER, CAMERA_MODE_QUAD,
                                                              sizeof(CAMERA_MODE_QUAD));
    if (m_pLineVB == nullptr)
        m_pLineVB =
            KR_DebugDrawing::CreateStaticBuffer(D3D11_BIND_VERTEX_BUFFER, GUIDE_LINES, sizeof(GUIDE_LINES));
}

void KR_DebugHUD::ReleaseBuffers()
{
    KR_ReleaseAndNull(m_pQuadsVB);
    KR_ReleaseAndNull(m_pCameraModeVB);
    KR_ReleaseAndNull(m_pLineVB);
}

void KR_DebugHUD::BuildQuads(double fTime, double fSceneStart, double fSceneEnd, float fFrameBarWidth)
{
    WriteQuad(&m_aQuadVertices[0], -0.99f, fFrameBarWidth * 1.98f - 0.99f, 0.955f, 0.985f);
    WriteQuad(&m_aQuadVertices[6], -0.99f, 0.99f, -0.985f, -0.955f);
    const double fProgress = (fTime - fSceneStart) / (fSceneEnd - fSceneStart);
    const float fCentre = static_cast<float>(fProgress * 1.98 - 1.0);
    WriteQuad(&m_aQuadVertices[12], std::max(fCentre - 0.02f, -0.99f), std::min(fCentre + 0.02f, 0.99f),
              -0.985f, -0.955f);
}

bool KR_DebugHUD::Render(double fTime, double fSceneStart, double fSceneEnd, float fFrameRate,
                         std::uint32_t uiCameraMode)
{
    ID3D11DeviceContext* pContext = KR_GetEngineContext();
    KR_ShaderCoreManager* pShaderCore = KE_GetShaderCoreManager();
    // A scene without length has no timeline (and would divide by zero).
    if (pContext == nullptr || pShaderCore == nullptr || !(fSceneEnd != fSceneStart))
        return false;
    // NaN counts as no frames.
    const float fRate = fFrameRate > 0.0f ? std::min(fFrameRate, 60.0f) : 0.0f;
    const float fWidth = fRate * 0.016666668f;
    BuildQuads(fTime, fSceneStart, fSceneEnd, fWidth);
    KR_ReleaseAndNull(m_pQuadsVB);
    m_pQuadsVB = KR_DebugDrawing::CreateStaticBuffer(D3D11_BIND_VERTEX_BUFFER, m_aQuadVertices,
                                                     sizeof(m_aQuadVertices));
    if (m_pQuadsVB == nullptr || m_pColorProgram == nullptr)
        return false;

    BindVertices(pContext, m_pColorLayout, D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST, m_pQuadsVB,
                 sizeof(XMFLOAT3));
    // Pure red below about 20 frames per second.
    pShaderCore->SetObjectColor(fWidth >= 0.33f ? XMFLOAT4(1.0f - fWidth, fWidth, 0.0f, 1.0f)
                                                : XMFLOAT4(1.0f, 0.0f, 0.0f, 1.0f));
    pShaderCore->ApplyShaderProgram(m_pColorProgram);
    pContext->Draw(6, 0);
    pShaderCore->SetObjectColor(m_vTimelineColor);
    pShaderCore->ApplyShaderProgram(m_pColorProgram);
    pContext->Draw(6, 6);
    pShaderCore->SetObjectColor(m_vCursorColor);
    pShaderCore->ApplyShaderProgram(m_pColorProgram);
    pContext->Draw(6, 12);

    KR_ManagedShaderResourceView* pIcon =
        uiCameraMode < NUM_CAMERA_MODES ? m_apModeIcons[uiCameraMode] : nullptr;
    if (pIcon != nullptr && m_pCameraModeVB != nullptr && m_pTextureProgram != nullptr)
    {
        BindVertices(pContext, m_pTextureLayout, D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST, m_pCameraModeVB,
                     sizeof(TexturedVertex));
        pShaderCore->ResetMaterialTextures();
        pShaderCore->SetDiffuseTexture(0, pIcon->GetShaderResourceView(), 1.0f, 0);
        pShaderCore->ApplyShaderProgram(m_pTextureProgram);
        pContext->Draw(6, 0);
    }
    return true;
}

bool KR_DebugHUD::RenderModeLines(std::uint32_t uiGuide)
{
    ID3D11DeviceContext* pContext = KR_GetEngineContext();
    KR_ShaderCoreManager* pShaderCore = KE_GetShaderCoreManager();
    if ((uiGuide != 1 && uiGuide != 2) || pContext == nullptr || pShaderCore == nullptr ||
        m_pLineVB == nullptr || m_pColorProgram == nullptr)
        return false;
    BindVertices(pContext, m_pColorLayout, D3D11_PRIMITIVE_TOPOLOGY_LINELIST, m_pLineVB, sizeof(XMFLOAT3));
    pShaderCore->SetObjectColor(m_vGuideColor);
    pShaderCore->ApplyShaderProgram(m_pColorProgram);
    if (uiGuide == 1)
        pContext->Draw(4, 0);
    else
        pContext->Draw(8, 4);
    return true;
}
