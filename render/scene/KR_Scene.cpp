#include "render/scene/KR_Scene.h"

#include "framework/app/KE_EngineMembers.h"
#include "render/camera/KR_AnimatedCamera.h"
#include "render/camera/KR_ControllerCamera.h"
#include "render/device/KR_GraphicsResourceManager.h"
#include "render/scene/KR_CubeMapPlacer.h"
#include "render/scene/KR_SceneManager.h"
#include "timing/KU_VertexInterpolation.h"

using namespace DirectX;

namespace
{

// The selection value's camera index: x truncated toward zero when that lies in [0, count),
// else -1. NaN and values outside the range never reach the conversion.
std::int32_t TruncateToIndex(float fValue, std::uint32_t uiCount)
{
    const double fX = fValue;
    if (fX > -1.0 && fX < static_cast<double>(uiCount))
        return static_cast<std::int32_t>(fX);
    return -1;
}

} // namespace

KR_Scene::KR_Scene()
{
    // Shadow maps: one 32-bit depth texture and one 32-bit float colour target per spot light;
    // the size comes with each light.
    m_oShadowDepthDescription.m_eFormat = DXGI_FORMAT_D32_FLOAT;
    m_oShadowDepthDescription.m_uiBindFlags = D3D11_BIND_DEPTH_STENCIL;
    m_oShadowColorDescription.m_eFormat = DXGI_FORMAT_R32_FLOAT;
    m_oShadowColorDescription.m_uiBindFlags = D3D11_BIND_SHADER_RESOURCE | D3D11_BIND_RENDER_TARGET;
}

KR_Scene::~KR_Scene()
{
    ReleaseShadowMaps();
    ReleaseAllEntities();
}

bool KR_Scene::Load()
{
    // A load starts from an empty scene: a second load must not keep what the first one made.
    ReleaseAllEntities();
    LoadAllEntities();
    // Asking for the views starts loading the placers' cube-map files; the proxies are kept by
    // the resource manager.
    if (KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager())
        for (std::uint32_t i = 0; i < m_gCubeMapPlacers.GetNumMembers(); ++i)
            pResources->GetShaderResourceViewFromFile(m_gCubeMapPlacers[i]->GetCubeMapPath());
    m_mChunkWorld = XMMatrixIdentity();
    m_oShadowDepthDescription = KR_TextureResourceDescription(
        0, 0, 0, 1, 1, DXGI_FORMAT_D32_FLOAT, D3D11_USAGE_DEFAULT, D3D11_BIND_DEPTH_STENCIL, 0, 0);
    m_oShadowColorDescription =
        KR_TextureResourceDescription(0, 0, 0, 1, 1, DXGI_FORMAT_R32_FLOAT, D3D11_USAGE_DEFAULT,
                                      D3D11_BIND_SHADER_RESOURCE | D3D11_BIND_RENDER_TARGET, 0, 0);
    // Warm the pool: textures of every size the spot lights need exist afterwards, idle, so
    // acquiring them when the scene becomes current creates nothing.
    AcquireShadowTextures();
    ReleaseShadowMaps();
    return true;
}

bool KR_Scene::Unload()
{
    ReleaseAllEntities();
    return true;
}

KB_GrowingArray<KR_AnimatedCamera*>& KR_Scene::GetAnimatedCamerasAt(KB_GrowingArray<KR_AnimatedCamera*>& gOut,
                                                                    double fTime)
{
    gOut.RemoveAll();
    for (std::uint32_t i = 0; i < m_gAnimatedCameras.GetNumMembers(); ++i)
        if (m_gAnimatedCameras[i]->IsActive(fTime))
            gOut.Add(m_gAnimatedCameras[i]);
    return gOut;
}

KR_Camera* KR_Scene::GetActiveCamera(double fTime)
{
    KR_SceneManager* pManager = KE_GetSceneManager();
    // Without a scene manager there is no controller camera: the timeline's camera it is.
    if (pManager == nullptr)
        return GetAnimatedCameraAt(fTime);
    const KR_SceneCameraMode eMode = pManager->GetCameraMode();
    if (pManager->UsesSynchronizedTime() && (eMode == KR_SCM_Demo || eMode == KR_SCM_Rail))
        return GetAnimatedCameraAt(fTime);
    KR_ControllerCamera* pController = pManager->GetControllerCamera();
    if (pController == nullptr)
        return nullptr;
    if (pManager->IsTimelineRunning())
        pController->SetNearFarPlanes(m_fNearPlane, m_fFarPlane);
    else
        pController->SetNearFarPlanes(m_fEditorNearPlane, m_fEditorFarPlane);
    return pController;
}

KR_AnimatedCamera* KR_Scene::GetAnimatedCameraAt(double fTime)
{
    const std::uint32_t uiCount = m_gAnimatedCameras.GetNumMembers();
    if (m_pCameraSelection != nullptr && m_pCameraSelection->GetNumVertices() > 0)
    {
        if (uiCount == 0)
            return nullptr;
        // The selection is evaluated against the scene's start, not the curve's: a new selection
        // curve takes the scene's interval, so both agree.
        XMVECTOR vValue = XMVectorZero();
        m_pCameraSelection->GetValueAt(&vValue, fTime - GetStartTime());
        std::int32_t iIndex = TruncateToIndex(XMVectorGetX(vValue), uiCount);
        if (iIndex < 0)
            iIndex = static_cast<std::int32_t>(uiCount - 1);
        KR_AnimatedCamera* pCamera = m_gAnimatedCameras[static_cast<std::uint32_t>(iIndex)];
        pCamera->SetNearFarPlanes(m_fNearPlane, m_fFarPlane);
        return pCamera;
    }
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        KR_AnimatedCamera* pCamera = m_gAnimatedCameras[i];
        if (pCamera->IsActive(fTime))
        {
            pCamera->SetNearFarPlanes(m_fNearPlane, m_fFarPlane);
            return pCamera;
        }
    }
    return nullptr;
}

void KR_Scene::SetNearFarPlanes(float fNear, float fFar)
{
    m_fNearPlane = fNear;
    m_fFarPlane = fFar;
}

void KR_Scene::SetEditorNearFarPlanes(float fNear, float fFar)
{
    m_fEditorNearPlane = fNear;
    m_fEditorFarPlane = fFar;
}
