#include "render/scene/KR_Scene.h"

#include "framework/app/KE_ApplicationManager.h"
#include "framework/core/KB_Color.h"
#include "framework/core/KU_FileUtilities.h"
#include "framework/files/KF_FileManager.h"
#include "platform/crt/WinCrt.h"

#include "render/camera/KR_AnimatedCamera.h"
#include "render/camera/KR_ControllerCamera.h"
#include "render/debug/KR_Ray.h"
#include "render/debug/KR_VertexInterpolationVisualisation.h"
#include "render/device/KR_GraphicsDevice.h"
#include "render/device/KR_GraphicsResourceManager.h"
#include "render/device/KR_ShaderCoreManager.h"
#include "render/effects/KR_PostFXEngine.h"
#include "render/light/KR_OmniLight.h"
#include "render/light/KR_SpotLight.h"
#include "render/models/KR_ManagedModelResourceDX11.h"
#include "render/scene/KR_ChunkList.h"
#include "render/scene/KR_CubeMapPlacer.h"
#include "render/scene/KR_EntityNaming.h"
#include "render/scene/KR_SceneManager.h"
#include "timing/KB_CubicBSplineInterpolation.h"
#include "timing/KB_LinearInterpolation.h"
#include "timing/KB_RotationInterpolation.h"
#include "timing/KU_ConstantValueInterpolation.h"
#include "timing/KU_InterpolationValue.h"
#include "timing/KU_MatrixInterpolation.h"
#include "timing/KU_QuaternionInterpolation.h"
#include "timing/KU_VertexInterpolation.h"
#include <cfloat>

using namespace DirectX;

namespace
{

KF_FileManager* GetFileManager()
{
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    return pEngine != nullptr ? pEngine->GetFileManager() : nullptr;
}

KR_SceneManager* GetSceneManager()
{
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    return pEngine != nullptr ? pEngine->GetSceneManager() : nullptr;
}

KR_GraphicsDevice* GetGraphicsDevice()
{
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    return pEngine != nullptr ? pEngine->GetGraphicsDevice() : nullptr;
}

KR_ShaderCoreManager* GetShaderCore()
{
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    return pEngine != nullptr ? pEngine->GetShaderCoreManager() : nullptr;
}

KR_PostFXEngine* GetPostFXEngine()
{
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    return pEngine != nullptr ? pEngine->GetPostFXEngine() : nullptr;
}

// The post-processing effect the scene drives, and the user-defined curve that tunes it.
constexpr std::uint32_t VOLUME_LIGHTING_EFFECT = 5;
constexpr std::uint32_t VOLUME_LIGHTING_CURVE = 5;
// The shadow projection's near plane; a light reaching no farther casts no shadow.
constexpr float SHADOW_NEAR_PLANE = 1.0f;
constexpr std::uint32_t SAVED_TARGETS = 2;
constexpr std::uint32_t PIXEL_SHADER_SLOTS = 22;

// Ray-march settings of the volume lighting by rendering quality.
void GetVolumeLightQuality(std::uint32_t uiQuality, std::uint32_t* pSteps, float* pRandomFactor)
{
    static constexpr std::uint32_t STEPS[5] = {32, 48, 64, 96, 128};
    static constexpr float RANDOM[5] = {0.125f, 0.25f, 0.45f, 0.7f, 1.0f};
    const std::uint32_t uiLevel = uiQuality < 5 ? uiQuality : 0;
    *pSteps = STEPS[uiLevel];
    *pRandomFactor = RANDOM[uiLevel];
}

// from + (to - from) x fraction, the fraction computed in double and used as a float; w of from.
XMVECTOR StraightPoint(const XMVECTOR& vFrom, const XMVECTOR& vTo, double fFraction)
{
    const XMVECTOR vPoint =
        XMVectorAdd(vFrom, XMVectorScale(XMVectorSubtract(vTo, vFrom), static_cast<float>(fFraction)));
    return XMVectorSetW(vPoint, XMVectorGetW(vFrom));
}

KR_GraphicsResourceManager* GetResourceManager()
{
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    return pEngine != nullptr ? pEngine->GetGraphicsResourceManager() : nullptr;
}

// One colour channel of a new rail: rand() scaled into [0.2, 0.85].
float RandomRailChannel()
{
    return static_cast<float>(wincrt::rand()) * 3.0518509e-05f * 0.65f + 0.2f;
}

// The selection value's camera index: x truncated toward zero when that lies in [0, count),
// else -1. NaN and values outside the range never reach the conversion.
std::int32_t TruncateToIndex(float fValue, std::uint32_t uiCount)
{
    const double fX = fValue;
    if (fX > -1.0 && fX < static_cast<double>(uiCount))
        return static_cast<std::int32_t>(fX);
    return -1;
}

// Loads every listed file with pLoad and appends what loads.
template <typename T, typename LoadFunction>
void AppendLoaded(KB_GrowingArray<T*>& gList, const KB_String& sFolder,
                  const KB_GrowingArray<KB_String>& gNames, LoadFunction load)
{
    for (std::uint32_t i = 0; i < gNames.GetNumMembers(); ++i)
        if (T* pLoaded = load(sFolder + gNames[i]))
            gList.Add(pLoaded);
}

} // namespace

KR_Scene::KR_Scene()
{
    // Shadow maps: one 32-bit depth texture and one 32-bit float colour target per spot light;
    // the size comes with each light.
    m_ShadowDepthDescription.m_format = DXGI_FORMAT_D32_FLOAT;
    m_ShadowDepthDescription.m_uiBindFlags = D3D11_BIND_DEPTH_STENCIL;
    m_ShadowColorDescription.m_format = DXGI_FORMAT_R32_FLOAT;
    m_ShadowColorDescription.m_uiBindFlags = D3D11_BIND_SHADER_RESOURCE | D3D11_BIND_RENDER_TARGET;
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
    if (KR_GraphicsResourceManager* pResources = GetResourceManager())
        for (std::uint32_t i = 0; i < m_gCubeMapPlacers.GetNumMembers(); ++i)
            pResources->GetShaderResourceViewFromFile(m_gCubeMapPlacers[i]->GetCubeMapPath());
    m_mChunkWorld = XMMatrixIdentity();
    m_ShadowDepthDescription = KR_TextureResourceDescription(
        0, 0, 0, 1, 1, DXGI_FORMAT_D32_FLOAT, D3D11_USAGE_DEFAULT, D3D11_BIND_DEPTH_STENCIL, 0, 0);
    m_ShadowColorDescription =
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
    KR_SceneManager* pManager = GetSceneManager();
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

bool KR_Scene::SaveAllEntities()
{
    SaveAnimatedCameras();
    SaveOmniLights();
    SaveSpotLights();
    SaveInterpolations();
    SaveCubeMapPlacers();
    return true;
}

bool KR_Scene::ReloadAllEntities()
{
    ReleaseAllEntities();
    LoadAllEntities();
    return PostLoad();
}

void KR_Scene::RenderAllCubeMaps()
{
    for (std::uint32_t i = 0; i < m_gCubeMapPlacers.GetNumMembers(); ++i)
        m_gCubeMapPlacers[i]->RenderCubeMap(this, m_gCubeMapPlacers[i]->GetRenderSynchronizationTime());
}

bool KR_Scene::LoadAnimatedCameras()
{
    m_gAnimatedCameras.DeleteAll();
    const KB_String sFolder = GetAnimatedCamerasFolder();
    AppendLoaded(m_gAnimatedCameras, sFolder, ListFolder(sFolder, "*.cam"),
                 [](const KB_String& sPath) -> KR_AnimatedCamera*
                 {
                     KR_AnimatedCamera* pCamera = new KR_AnimatedCamera(sPath);
                     if (pCamera->LoadCameraFromFile(sPath))
                         return pCamera;
                     delete pCamera;
                     return nullptr;
                 });
    return true;
}

bool KR_Scene::SaveAnimatedCameras()
{
    const KB_String sFolder = GetAnimatedCamerasFolder();
    for (std::uint32_t i = 0; i < m_gAnimatedCameras.GetNumMembers(); ++i)
    {
        KR_AnimatedCamera* pCamera = m_gAnimatedCameras[i];
        const KB_String sBase = KR_EntityNaming::GetBaseName(m_sSceneName, "_AnimatedCamera", i);
        const KB_String sCurves = m_sCameraCurvesPath + sBase;
        if (pCamera->GetCameraRailInterpolation() != nullptr)
            pCamera->SetCameraRailPath(sCurves + "_CP.int");
        if (pCamera->GetCameraTargetRailInterpolation() != nullptr)
            pCamera->SetCameraTargetRailPath(sCurves + "_TP.int");
        if (pCamera->GetFOVInterpolation() != nullptr)
            pCamera->SetFOVInterpolationPath(sCurves + "_FOV.int");
        if (pCamera->GetOrientationInterpolation() != nullptr)
            pCamera->SetOrientationInterpolationPath(sCurves + "_OP.int");
        pCamera->SaveCameraToFile(sFolder + sBase + ".cam");
    }
    return true;
}

bool KR_Scene::LoadOmniLights()
{
    m_gOmniLights.DeleteAll();
    const KB_String sFolder = GetOmniLightsFolder();
    AppendLoaded(m_gOmniLights, sFolder, ListFolder(sFolder, "*.omn"),
                 [](const KB_String& sPath) -> KR_OmniLight*
                 {
                     KR_OmniLight* pLight = new KR_OmniLight();
                     if (pLight->LoadFromFile(sPath))
                         return pLight;
                     delete pLight;
                     return nullptr;
                 });
    return true;
}

bool KR_Scene::SaveOmniLights()
{
    const KB_String sFolder = GetOmniLightsFolder();
    for (std::uint32_t i = 0; i < m_gOmniLights.GetNumMembers(); ++i)
    {
        KR_OmniLight* pLight = m_gOmniLights[i];
        const KB_String sBase = KR_EntityNaming::GetBaseName(m_sSceneName, "_OmniLight", i);
        const KB_String sCurves = m_sOmniLightCurvesPath + sBase;
        // A tube light's target rail keeps its own path: omni lights have no numbered name for it.
        if (pLight->GetPostitionRailInterpolation() != nullptr)
            pLight->SetPositionRailPath(sCurves + "_P.int");
        if (pLight->GetColorInterpolation() != nullptr)
            pLight->SetColorInterpolationPath(sCurves + "_C.int");
        if (pLight->GetStrengthInterpolation() != nullptr)
            pLight->SetStrengthInterpolationPath(sCurves + "_S.int");
        pLight->SaveToFile(sFolder + sBase + ".omn");
    }
    return true;
}

bool KR_Scene::LoadSpotLights()
{
    m_gSpotLights.DeleteAll();
    const KB_String sFolder = GetSpotLightsFolder();
    AppendLoaded(m_gSpotLights, sFolder, ListFolder(sFolder, "*.spt"),
                 [](const KB_String& sPath) -> KR_SpotLight*
                 {
                     KR_SpotLight* pLight = new KR_SpotLight();
                     if (pLight->LoadFromFile(sPath))
                         return pLight;
                     delete pLight;
                     return nullptr;
                 });
    return true;
}

bool KR_Scene::SaveSpotLights()
{
    const KB_String sFolder = GetSpotLightsFolder();
    for (std::uint32_t i = 0; i < m_gSpotLights.GetNumMembers(); ++i)
    {
        KR_SpotLight* pLight = m_gSpotLights[i];
        const KB_String sBase = KR_EntityNaming::GetBaseName(m_sSceneName, "_SpotLight", i);
        const KB_String sCurves = m_sSpotLightCurvesPath + sBase;
        if (pLight->GetPostitionRailInterpolation() != nullptr)
            pLight->SetPositionRailPath(sCurves + "_P.int");
        if (pLight->GetTargetRailInterpolation() != nullptr)
            pLight->SetTargetRailPath(sCurves + "_T.int");
        if (pLight->GetColorInterpolation() != nullptr)
            pLight->SetColorInterpolationPath(sCurves + "_C.int");
        if (pLight->GetStrengthInterpolation() != nullptr)
            pLight->SetStrengthInterpolationPath(sCurves + "_S.int");
        pLight->SaveToFile(sFolder + sBase + ".spt");
    }
    return true;
}

bool KR_Scene::LoadInterpolations()
{
    // Every list filled here starts empty; the visualisations point at the vertex curves, so they
    // go first.
    m_gVertexVisualisations.DeleteAll();
    m_gVertexInterpolations.DeleteAll();
    m_gRotationInterpolations.DeleteAll();
    m_gUserDefinedInterpolations.DeleteAll();
    m_gAnimationTriggerInterpolations.DeleteAll();

    const KB_String sVertexFolder = GetVertexInterpolationsFolder();
    const KB_GrowingArray<KB_String> gVertexNames = ListFolder(sVertexFolder, "*.int");
    for (std::uint32_t i = 0; i < gVertexNames.GetNumMembers(); ++i)
    {
        KU_VertexInterpolation* pCurve =
            KU_VertexInterpolation::LoadVertexInterpolation(sVertexFolder + gVertexNames[i]);
        if (pCurve == nullptr)
            continue;
        m_gVertexInterpolations.Add(pCurve);
        AddVisualisation(pCurve);
    }

    const KB_String sRotationFolder = GetRotationInterpolationsFolder();
    AppendLoaded(m_gRotationInterpolations, sRotationFolder, ListFolder(sRotationFolder, "*.int"),
                 &KU_QuaternionInterpolation::LoadQuaternionInterpolation);
    const KB_String sUserFolder = GetUserDefinedInterpolationsFolder();
    AppendLoaded(m_gUserDefinedInterpolations, sUserFolder, ListFolder(sUserFolder, "*.int"),
                 &KU_VertexInterpolation::LoadVertexInterpolation);
    const KB_String sTriggerFolder = GetAnimationTriggerInterpolationsFolder();
    AppendLoaded(m_gAnimationTriggerInterpolations, sTriggerFolder, ListFolder(sTriggerFolder, "*.int"),
                 &KU_VertexInterpolation::LoadVertexInterpolation);

    // The camera selection curve: the first curve of the cameras folder itself that loads.
    delete m_pCameraSelection;
    m_pCameraSelection = nullptr;
    const KB_String sCameraFolder = GetAnimatedCamerasFolder();
    const KB_GrowingArray<KB_String> gCameraNames = ListFolder(sCameraFolder, "*.int");
    for (std::uint32_t i = 0; i < gCameraNames.GetNumMembers() && m_pCameraSelection == nullptr; ++i)
        m_pCameraSelection = KU_VertexInterpolation::LoadVertexInterpolation(sCameraFolder + gCameraNames[i]);
    if (m_pCameraSelection == nullptr)
    {
        // Registered once, by its constructor; written by the next SaveInterpolations.
        m_pCameraSelection = new KU_ConstantValueInterpolation(sCameraFolder + m_sSceneName +
                                                               "_CameraSelectionInterpolation.int");
        m_pCameraSelection->SetStartTime(GetStartTime());
        m_pCameraSelection->SetEndTime(GetEndTime());
    }
    return true;
}

bool KR_Scene::SaveInterpolations()
{
    const KB_String sVertexFolder = GetVertexInterpolationsFolder();
    for (std::uint32_t i = 0; i < m_gVertexInterpolations.GetNumMembers(); ++i)
    {
        m_gVertexInterpolations[i]->SetFilePath(
            sVertexFolder + KR_EntityNaming::GetBaseName(m_sSceneName, "_VertexInterpolation", i) + ".int");
        m_gVertexInterpolations[i]->Save();
    }
    const KB_String sRotationFolder = GetRotationInterpolationsFolder();
    for (std::uint32_t i = 0; i < m_gRotationInterpolations.GetNumMembers(); ++i)
    {
        m_gRotationInterpolations[i]->SetFilePath(
            sRotationFolder + KR_EntityNaming::GetBaseName(m_sSceneName, "_QuaternionInterpolation", i) +
            ".int");
        m_gRotationInterpolations[i]->Save();
    }
    if (m_pCameraSelection != nullptr)
    {
        m_pCameraSelection->SetFilePath(GetAnimatedCamerasFolder() + m_sSceneName +
                                        "_CameraSelectionInterpolation.int");
        m_pCameraSelection->Save();
    }
    return true;
}

bool KR_Scene::LoadMatrixInterpolations()
{
    m_gMatrixInterpolations.DeleteAll();
    const KB_String sFolder = GetMatrixInterpolationsFolder();
    AppendLoaded(m_gMatrixInterpolations, sFolder, ListFolder(sFolder, "*.int"),
                 &KU_MatrixInterpolation::LoadMatrixInterpolation);
    return true;
}

bool KR_Scene::LoadAllEntities()
{
    LoadAnimatedCameras();
    LoadOmniLights();
    LoadSpotLights();
    LoadInterpolations();
    LoadMatrixInterpolations();
    LoadCubeMapPlacers();
    LoadChunks();
    return true;
}

void KR_Scene::ReleaseAllEntities()
{
    m_gAnimatedCameras.DeleteAll();
    m_gOmniLights.DeleteAll();
    m_gSpotLights.DeleteAll();
    // The visualisations point at the vertex curves: they go first.
    m_gVertexVisualisations.DeleteAll();
    m_gVertexInterpolations.DeleteAll();
    m_gUserDefinedInterpolations.DeleteAll();
    m_gAnimationTriggerInterpolations.DeleteAll();
    m_gRotationInterpolations.DeleteAll();
    m_gMatrixInterpolations.DeleteAll();
    m_gCubeMapPlacers.DeleteAll();
    m_gChunkModels.RemoveAll();
    m_gChunkInterpolations.DeleteAll();
    delete m_pCameraSelection;
    m_pCameraSelection = nullptr;
}

bool KR_Scene::LoadCubeMapPlacers()
{
    m_gCubeMapPlacers.DeleteAll();
    const KB_String sFolder = GetCubeMapPlacersFolder();
    AppendLoaded(m_gCubeMapPlacers, sFolder, ListFolder(sFolder, "*.cmp"),
                 [](const KB_String& sPath) -> KR_CubeMapPlacer*
                 {
                     KR_CubeMapPlacer* pPlacer = new KR_CubeMapPlacer();
                     if (pPlacer->LoadFromFile(sPath))
                         return pPlacer;
                     delete pPlacer;
                     return nullptr;
                 });
    return true;
}

bool KR_Scene::SaveCubeMapPlacers()
{
    const KB_String sFolder = GetCubeMapPlacersFolder();
    for (std::uint32_t i = 0; i < m_gCubeMapPlacers.GetNumMembers(); ++i)
        m_gCubeMapPlacers[i]->SaveCubeMapPlacerToFile(
            sFolder + KR_EntityNaming::GetBaseName(m_sSceneName, "_CubeMapPlacer", i) + ".cmp");
    return true;
}

bool KR_Scene::LoadChunks()
{
    // Both lists stay index-aligned, also when chunks are loaded again.
    m_gChunkModels.RemoveAll();
    m_gChunkInterpolations.DeleteAll();

    m_sChunkListFileName = KB_String::Formatted("Assets/Entities/%s/Chunks/Chunks_%s.chk",
                                                m_sSceneName.GetBuffer(), m_sSceneName.GetBuffer());
    KB_GrowingArray<KB_String> gNames;
    ParseChunkList(m_sChunkListFileName, gNames);

    const KB_String sFolder = GetChunkInterpolationsFolder();
    const KB_GrowingArray<KB_String> gFound = ListFolder(sFolder, "*.int");
    KR_GraphicsResourceManager* pResources = GetResourceManager();
    for (std::uint32_t i = 0; i < gNames.GetNumMembers(); ++i)
    {
        // A model that cannot be had stays a null slot: nothing is drawn for it.
        m_gChunkModels.Add(pResources != nullptr ? pResources->GetModelResource(gNames[i], 1, 1, 0)
                                                 : nullptr);

        const KB_String sFileName = KU_FileUtilities::ExtractFilename(gNames[i]);
        KB_String sCurveFile = KU_FileUtilities::ReplaceExtension(sFileName, "int");
        if (sCurveFile.GetLength() == 0)
            sCurveFile = sFileName + ".int"; // a model path without an extension

        bool bFileFound = false;
        for (std::uint32_t j = 0; j < gFound.GetNumMembers() && !bFileFound; ++j)
        {
            if (gFound[j].CompareNoCase(sCurveFile) != 0)
                continue;
            bFileFound = true;
            if (KU_VertexInterpolation* pCurve =
                    KU_VertexInterpolation::LoadVertexInterpolation(sFolder + gFound[j]))
                m_gChunkInterpolations.Add(pCurve);
        }
        if (m_gChunkInterpolations.GetNumMembers() > i)
            continue;

        // Visible over the whole scene until edited. Registered once, by its constructor.
        KU_VertexInterpolation* pCurve = new KB_LinearInterpolation(sFolder + sCurveFile);
        pCurve->InsertVertex(XMVectorSet(1.0f, 0.0f, 0.0f, 0.0f), 0.0);
        pCurve->SetStartTime(GetStartTime());
        pCurve->SetEndTime(GetEndTime());
        m_gChunkInterpolations.Add(pCurve);
        // A file that exists but does not load is kept as it is: the new curve lives in memory.
        if (!bFileFound)
            pCurve->Save();
    }
    return true;
}

void KR_Scene::RenderChunks(double fTime, const XMMATRIX* pObjectMatrix, bool bShadowPass)
{
    const std::uint32_t uiCount = m_gChunkModels.GetNumMembers() < m_gChunkInterpolations.GetNumMembers()
                                      ? m_gChunkModels.GetNumMembers()
                                      : m_gChunkInterpolations.GetNumMembers();
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        KU_VertexInterpolation* pCurve = m_gChunkInterpolations[i];
        XMVECTOR vValue = XMVectorZero();
        pCurve->GetValueAt(&vValue, fTime - pCurve->GetStartTime());
        if (!(XMVectorGetX(vValue) > 0.0f) || m_gChunkModels[i] == nullptr)
            continue;
        m_gChunkModels[i]->Render(fTime, bShadowPass ? KR_RENDER_PASS_SHADOW_MAP : KR_RENDER_PASS_COLOR,
                                  &m_mChunkWorld, pObjectMatrix, 1);
    }
}

bool KR_Scene::DeleteCamera(KR_AnimatedCamera* pCamera)
{
    const std::uint32_t uiCount = m_gAnimatedCameras.GetNumMembers();
    std::uint32_t uiIndex = 0;
    while (uiIndex < uiCount && m_gAnimatedCameras[uiIndex] != pCamera)
        ++uiIndex;
    if (pCamera == nullptr || uiIndex == uiCount)
        return false;

    // The last number falls free once the cameras are renumbered.
    const KB_String sFolder = GetAnimatedCamerasFolder();
    KR_AnimatedCamera* pLast = m_gAnimatedCameras[uiCount - 1];
    RemoveEntityFile(sFolder, pLast->GetCameraRailPath());
    RemoveEntityFile(sFolder, pLast->GetCameraTargetRailPath());
    RemoveEntityFile(sFolder, pLast->GetFOVInterpolationPath());
    RemoveEntityFile(sFolder, pLast->GetOrientationInterpolationPath());
    RemoveEntityFile(KB_String(), pLast->GetCameraFilePath());

    m_gAnimatedCameras.Remove(uiIndex);
    delete pCamera;
    SaveAnimatedCameras();

    if (m_pCameraSelection == nullptr)
        return true;
    // Keys choosing the removed camera go; keys choosing a later one follow it down. Keys below
    // 0 or not a number choose no particular camera and stay as they are.
    for (std::uint32_t k = m_pCameraSelection->GetNumVertices(); k-- > 0;)
    {
        const XMVECTOR vKey = m_pCameraSelection->GetVertex(k);
        const float fX = XMVectorGetX(vKey);
        if (!(fX > -1.0f) || !(fX < 2147483520.0f))
            continue;
        const std::int32_t iChosen = static_cast<std::int32_t>(fX);
        if (iChosen == static_cast<std::int32_t>(uiIndex))
        {
            m_pCameraSelection->RemoveVertex(k);
        }
        else if (iChosen > static_cast<std::int32_t>(uiIndex))
        {
            m_pCameraSelection->SetVertex(k, XMVectorSetX(vKey, static_cast<float>(iChosen - 1)));
            m_pCameraSelection->SetChanged();
        }
    }
    m_pCameraSelection->Save();
    return true;
}

bool KR_Scene::DeleteLight(KR_LightBase* pLight)
{
    if (pLight == nullptr)
        return false;
    bool bOmni = false;
    std::uint32_t uiIndex = 0;
    KR_LightBase* pLast = nullptr;
    for (std::uint32_t i = 0; i < m_gOmniLights.GetNumMembers() && pLast == nullptr; ++i)
        if (m_gOmniLights[i] == pLight)
        {
            bOmni = true;
            uiIndex = i;
            pLast = m_gOmniLights[m_gOmniLights.GetNumMembers() - 1];
        }
    for (std::uint32_t i = 0; i < m_gSpotLights.GetNumMembers() && pLast == nullptr; ++i)
        if (m_gSpotLights[i] == pLight)
        {
            uiIndex = i;
            pLast = m_gSpotLights[m_gSpotLights.GetNumMembers() - 1];
        }
    if (pLast == nullptr)
        return false;

    const KB_String sFolder = bOmni ? GetOmniLightsFolder() : GetSpotLightsFolder();
    RemoveEntityFile(sFolder, pLast->GetPositionRailPath());
    // An omni light's target rail keeps its own path through a save, so its file stays.
    if (!bOmni)
        RemoveEntityFile(sFolder, pLast->GetTargetRailPath());
    RemoveEntityFile(sFolder, pLast->GetStrengthInterpolationPath());
    RemoveEntityFile(sFolder, pLast->GetColorInterpolationPath());
    RemoveEntityFile(KB_String(), pLast->GetLightPath());

    if (bOmni)
        m_gOmniLights.Remove(uiIndex);
    else
        m_gSpotLights.Remove(uiIndex);
    delete pLight;
    if (bOmni)
        SaveOmniLights();
    else
        SaveSpotLights();
    return true;
}

void KR_Scene::ParseChunkList(const KB_String& sPath, KB_GrowingArray<KB_String>& gNames)
{
    KF_FileManager* pFiles = GetFileManager();
    std::uint64_t uiSize = 0;
    std::uint8_t* pData = nullptr;
    if (pFiles == nullptr || !pFiles->ReadFile(sPath, &uiSize, &pData))
        return;
    // The text ends at the first NUL; the read data always has one after its last byte.
    KR_ChunkList::ParseText(reinterpret_cast<const char*>(pData), gNames);
    pFiles->RemoveReference(sPath);
}

bool KR_Scene::WriteChunkList(const KB_String& sPath, const KB_GrowingArray<KB_String>& gNames)
{
    KF_FileManager* pFiles = GetFileManager();
    const KB_String sText = KR_ChunkList::CreateText(gNames);
    return pFiles != nullptr && pFiles->WriteFile(sPath, sText.GetLength(), sText.GetBuffer());
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

KB_String KR_Scene::GetAnimatedCamerasFolder() const
{
    return m_sAssetPath + m_sSceneName + m_sAnimatedCamerasPath;
}

KB_String KR_Scene::GetOmniLightsFolder() const
{
    return m_sAssetPath + m_sSceneName + m_sLightsPath + m_sOmniLightsPath;
}

KB_String KR_Scene::GetSpotLightsFolder() const
{
    return m_sAssetPath + m_sSceneName + m_sLightsPath + m_sSpotLightsPath;
}

KB_String KR_Scene::GetVertexInterpolationsFolder() const
{
    return m_sAssetPath + m_sSceneName + m_sInterpolationsPath + m_sVertexCurvesPath;
}

KB_String KR_Scene::GetUserDefinedInterpolationsFolder() const
{
    return m_sAssetPath + m_sSceneName + m_sInterpolationsPath + m_sUserDefinedCurvesPath;
}

KB_String KR_Scene::GetMatrixInterpolationsFolder() const
{
    return m_sAssetPath + m_sSceneName + m_sInterpolationsPath + m_sMatrixCurvesPath;
}

KB_String KR_Scene::GetAnimationTriggerInterpolationsFolder() const
{
    return m_sAssetPath + m_sSceneName + m_sInterpolationsPath + m_sAnimationTriggerCurvesPath;
}

KB_String KR_Scene::GetRotationInterpolationsFolder() const
{
    return m_sAssetPath + m_sSceneName + m_sInterpolationsPath + m_sRotationCurvesPath;
}

KB_String KR_Scene::GetChunkInterpolationsFolder() const
{
    return m_sAssetPath + m_sSceneName + m_sInterpolationsPath + m_sChunkCurvesPath;
}

KB_String KR_Scene::GetCubeMapPlacersFolder() const
{
    return m_sAssetPath + m_sSceneName + m_sCubeMapPlacersPath;
}

KB_GrowingArray<KB_String> KR_Scene::ListFolder(const KB_String& sFolder, const char* pPattern)
{
    KB_GrowingArray<KB_String> gNames;
    if (KF_FileManager* pFiles = GetFileManager())
        pFiles->FindFiles(sFolder + pPattern, gNames);
    KR_EntityNaming::RemoveDuplicateNames(gNames);
    return gNames;
}

void KR_Scene::RemoveEntityFile(const KB_String& sFolder, const KB_String& sPath)
{
    KF_FileManager* pFiles = GetFileManager();
    if (pFiles == nullptr || sPath.GetLength() == 0)
        return;
    pFiles->RemoveFile(sFolder + sPath);
}

bool KR_Scene::Update(double fTime)
{
    for (std::uint32_t i = 0; i < m_gAnimatedCameras.GetNumMembers(); ++i)
        if (m_gAnimatedCameras[i]->IsActive(fTime))
            m_gAnimatedCameras[i]->Update(fTime);

    // The lists keep their storage from frame to frame.
    m_gCubeMapViews.RemoveAll(false);
    m_gCubeMapVectors.RemoveAll(false);
    m_gCubeMapMipCounts.RemoveAll(false);
    m_gCubeMapFlags.RemoveAll(false);
    auto addEntry = [&](KR_CubeMapPlacer* pPlacer, float fW)
    {
        ID3D11ShaderResourceView* pView = pPlacer->GetCubeMapView();
        float fMipLevels = 0.0f;
        if (pView != nullptr)
        {
            D3D11_SHADER_RESOURCE_VIEW_DESC desc = {};
            pView->GetDesc(&desc);
            fMipLevels = static_cast<float>(desc.TextureCube.MipLevels);
        }
        XMFLOAT4 vPosition;
        XMStoreFloat4(&vPosition, XMVectorSetW(pPlacer->GetPosition(fTime), fW));
        m_gCubeMapViews.Add(pView);
        m_gCubeMapVectors.Add(vPosition);
        m_gCubeMapMipCounts.Add(fMipLevels);
        m_gCubeMapFlags.Add(pPlacer->IsDynamic());
    };
    // One global map (a negative range) first, then every local one.
    for (std::uint32_t i = 0; i < m_gCubeMapPlacers.GetNumMembers(); ++i)
    {
        KR_CubeMapPlacer* pPlacer = m_gCubeMapPlacers[i];
        if (pPlacer->IsActive(fTime) && pPlacer->GetCubeMapInfluenceRange() < 0.0f)
        {
            addEntry(pPlacer, 0.0f);
            break;
        }
    }
    for (std::uint32_t i = 0; i < m_gCubeMapPlacers.GetNumMembers(); ++i)
    {
        KR_CubeMapPlacer* pPlacer = m_gCubeMapPlacers[i];
        const float fRange = pPlacer->GetCubeMapInfluenceRange();
        if (pPlacer->IsActive(fTime) && fRange >= 0.0f)
            addEntry(pPlacer, fRange * fRange);
    }
    if (KR_ShaderCoreManager* pCore = GetShaderCore())
        pCore->SetCubeMaps(&m_gCubeMapViews, &m_gCubeMapVectors, &m_gCubeMapMipCounts, &m_gCubeMapFlags);
    return true;
}

void KR_Scene::Render(KR_Camera* pCamera, double fTime, bool bNoDebugVisuals)
{
    // The cube-map pass renders through a camera of its own that does not outlive the pass: the
    // volume lighting, read when the frame ends, must never see it.
    if (bNoDebugVisuals)
        return;

    KR_SceneManager* pManager = GetSceneManager();
    KR_PostFXEngine* pPostFX = GetPostFXEngine();
    const bool bTimelineRunning = pManager == nullptr || pManager->IsTimelineRunning();
    if (bTimelineRunning && pPostFX != nullptr)
    {
        // The effect's march is tuned by user-defined curve 5: without it there is no effect.
        const bool bNoLights =
            m_gVolumeSpotLights.GetNumMembers() == 0 && m_gVolumeOmniLights.GetNumMembers() == 0;
        if (bNoLights || m_gUserDefinedInterpolations.GetNumMembers() <= VOLUME_LIGHTING_CURVE)
        {
            pPostFX->DisableEffect(VOLUME_LIGHTING_EFFECT);
        }
        else
        {
            KR_VolumeLightParameters& record = m_VolumeLightRecord;
            record.m_pCamera = pCamera;
            record.m_gSpotLights.RemoveAll(false);
            record.m_gOmniLights.RemoveAll(false);
            for (std::uint32_t i = 0; i < m_gVolumeSpotLights.GetNumMembers(); ++i)
                record.m_gSpotLights.Add(m_gVolumeSpotLights[i]);
            for (std::uint32_t i = 0; i < m_gVolumeOmniLights.GetNumMembers(); ++i)
                record.m_gOmniLights.Add(m_gVolumeOmniLights[i]);
            KR_GraphicsDevice* pDevice = GetGraphicsDevice();
            GetVolumeLightQuality(pDevice != nullptr ? pDevice->GetRenderingQuality() : 0,
                                  &record.m_uiTraceSteps, &record.m_fRandomFactor);
            const XMVECTOR vTuning =
                KU_GetVectorAtTime(m_gUserDefinedInterpolations[VOLUME_LIGHTING_CURVE], fTime);
            record.m_fStepScale = XMVectorGetX(vTuning);
            record.m_fTraceDistance = XMVectorGetY(vTuning);
            pPostFX->EnableEffect(VOLUME_LIGHTING_EFFECT, &record);
            record.m_pCamera = nullptr; // the engine took its copy; the camera may not outlive the frame
        }
    }

    const XMMATRIX mViewProjection =
        pCamera != nullptr ? pCamera->GetViewProjectionMatrix() : XMMatrixIdentity();
    const XMVECTOR vViewer = pCamera != nullptr ? pCamera->GetPosition() : XMVectorZero();
    const bool bOrientations = IsShownInEditor(KR_SceneManager::VISUALISATION_ORIENTATIONS);
    if (IsShownInEditor(KR_SceneManager::VISUALISATION_CAMERAS) && !bOrientations)
        for (std::uint32_t i = 0; i < m_gAnimatedCameras.GetNumMembers(); ++i)
            if (m_gAnimatedCameras[i]->IsActive(fTime))
                m_gAnimatedCameras[i]->RenderDebug(fTime, &mViewProjection, &vViewer);
    if (bOrientations)
        for (std::uint32_t i = 0; i < m_gAnimatedCameras.GetNumMembers(); ++i)
            if (m_gAnimatedCameras[i]->IsActive(fTime))
                m_gAnimatedCameras[i]->RenderOrientationDebug(fTime, &mViewProjection, &vViewer);
    if (IsShownInEditor(KR_SceneManager::VISUALISATION_CURVES))
        for (std::uint32_t i = 0; i < m_gVertexVisualisations.GetNumMembers(); ++i)
            if (m_gVertexInterpolations[i]->IsActive(fTime))
                m_gVertexVisualisations[i]->Render(fTime, &mViewProjection, vViewer);
    if (IsShownInEditor(KR_SceneManager::VISUALISATION_LIGHTS))
    {
        for (std::uint32_t i = 0; i < m_gOmniLights.GetNumMembers(); ++i)
            if (m_gOmniLights[i]->IsActive(fTime))
                m_gOmniLights[i]->RenderDebug(fTime, &mViewProjection, vViewer);
        for (std::uint32_t i = 0; i < m_gSpotLights.GetNumMembers(); ++i)
            if (m_gSpotLights[i]->IsActive(fTime))
                m_gSpotLights[i]->RenderDebug(fTime, &mViewProjection, vViewer);
    }
    if (IsShownInEditor(KR_SceneManager::VISUALISATION_PLACERS))
        for (std::uint32_t i = 0; i < m_gCubeMapPlacers.GetNumMembers(); ++i)
            if (m_gCubeMapPlacers[i]->IsActive(fTime))
                m_gCubeMapPlacers[i]->RenderDebug(fTime, &mViewProjection, vViewer);
}

bool KR_Scene::RenderCubeMapsAtLoad()
{
    for (std::uint32_t i = 0; i < m_gCubeMapPlacers.GetNumMembers(); ++i)
        if (m_gCubeMapPlacers[i]->IsDynamic())
            m_gCubeMapPlacers[i]->RenderOnceAtStartTime(this);
    return true;
}

bool KR_Scene::RenderDynamicCubeMaps(double fTime)
{
    for (std::uint32_t i = 0; i < m_gCubeMapPlacers.GetNumMembers(); ++i)
        if (m_gCubeMapPlacers[i]->IsActive(fTime) && m_gCubeMapPlacers[i]->IsDynamic())
            m_gCubeMapPlacers[i]->RenderCubeMap(this, fTime);
    return true;
}

void KR_Scene::AcquireShadowMaps()
{
    AcquireShadowTextures();
}

void KR_Scene::ReleaseShadowMaps()
{
    if (KR_GraphicsResourceManager* pResources = GetResourceManager())
    {
        const std::uint32_t uiCount =
            m_gShadowColorHandles.GetNumMembers() < m_gShadowDepthHandles.GetNumMembers()
                ? m_gShadowColorHandles.GetNumMembers()
                : m_gShadowDepthHandles.GetNumMembers();
        for (std::uint32_t i = 0; i < uiCount; ++i)
        {
            pResources->ReleaseTexture(&m_gShadowColorHandles[i]);
            pResources->ReleaseTexture(&m_gShadowDepthHandles[i]);
        }
    }
    m_gShadowColorHandles.RemoveAll();
    m_gShadowDepthHandles.RemoveAll();
}

void KR_Scene::AcquireShadowTextures()
{
    KR_GraphicsResourceManager* pResources = GetResourceManager();
    if (pResources == nullptr)
        return;
    for (std::uint32_t i = 0; i < m_gSpotLights.GetNumMembers(); ++i)
    {
        const std::uint32_t uiSide = m_gSpotLights[i]->GetShadowTextureResolution();
        m_ShadowColorDescription.m_uiWidth = m_ShadowColorDescription.m_uiHeight = uiSide;
        m_ShadowDepthDescription.m_uiWidth = m_ShadowDepthDescription.m_uiHeight = uiSide;
        m_gShadowColorHandles.Add(pResources->AcquireTexture(&m_ShadowColorDescription));
        m_gShadowDepthHandles.Add(pResources->AcquireTexture(&m_ShadowDepthDescription));
    }
}

float KR_Scene::GetStrengthAt(KR_LightBase* pLight, double fTime)
{
    if (KU_VertexInterpolation* pStrength = pLight->GetStrengthInterpolation())
        return XMVectorGetX(KU_GetVectorAtTime(pStrength, fTime));
    return pLight->GetLightStrength(fTime);
}

void KR_Scene::UpdateLightSelection(double fTime)
{
    Update(fTime);

    KR_GraphicsDevice* pDevice = GetGraphicsDevice();
    ID3D11DeviceContext* pContext = pDevice != nullptr ? pDevice->GetImmediateContext() : nullptr;
    KR_ShaderCoreManager* pCore = GetShaderCore();
    KR_GraphicsResourceManager* pResources = GetResourceManager();
    if (pCore != nullptr)
    {
        pCore->ResetShadowMaps();
        pCore->ResetLights();
    }
    // The spot lights may have changed since the maps were taken (entities reloaded): one map
    // per light again before any is used.
    if (m_gShadowColorHandles.GetNumMembers() != m_gSpotLights.GetNumMembers() ||
        m_gShadowDepthHandles.GetNumMembers() != m_gSpotLights.GetNumMembers())
    {
        ReleaseShadowMaps();
        AcquireShadowMaps();
    }

    UINT uiSavedViewports = 0;
    if (pContext != nullptr)
    {
        pContext->OMGetRenderTargets(SAVED_TARGETS, m_apSavedRenderTargets, &m_pSavedDepthStencil);
        pContext->RSGetViewports(&uiSavedViewports, nullptr);
        uiSavedViewports = uiSavedViewports < SAVED_TARGETS ? uiSavedViewports : SAVED_TARGETS;
        pContext->RSGetViewports(&uiSavedViewports, m_aSavedViewports);
        ID3D11ShaderResourceView* apNoViews[PIXEL_SHADER_SLOTS] = {};
        pContext->PSSetShaderResources(0, PIXEL_SHADER_SLOTS, apNoViews);
    }

    m_gVolumeSpotLights.RemoveAll(false);
    for (std::uint32_t i = 0; i < m_gSpotLights.GetNumMembers(); ++i)
    {
        KR_SpotLight* pLight = m_gSpotLights[i];
        if (!pLight->IsActive(fTime) || !(GetStrengthAt(pLight, fTime) > 0.0f))
            continue;
        // A light reaching no farther than the near plane, or aimed at itself, has no projection.
        const float fDistance = pLight->GetMaxLightDistance(fTime);
        if (!(fDistance > SHADOW_NEAR_PLANE) || !pLight->HasValidView(fTime))
            continue;
        const bool bHasMaps = i < m_gShadowColorHandles.GetNumMembers() && pResources != nullptr;
        ID3D11RenderTargetView* pTarget =
            bHasMaps ? pResources->GetRenderTargetView(m_gShadowColorHandles[i], 0) : nullptr;
        ID3D11DepthStencilView* pDepth =
            bHasMaps ? pResources->GetDepthStencilView(m_gShadowDepthHandles[i], 0) : nullptr;
        const XMMATRIX mViewProjection = pLight->GetViewProjectionMatrix(fTime);
        if (pContext != nullptr)
        {
            const float fSide = static_cast<float>(pLight->GetShadowTextureResolution());
            const D3D11_VIEWPORT viewport = {0.0f, 0.0f, fSide, fSide, 0.0f, 1.0f};
            pContext->RSSetViewports(1, &viewport);
            const float afClear[4] = {fDistance, 0.0f, 0.0f, 0.0f};
            if (pTarget != nullptr)
                pContext->ClearRenderTargetView(pTarget, afClear);
            if (pDepth != nullptr)
                pContext->ClearDepthStencilView(pDepth, D3D11_CLEAR_DEPTH, 1.0f, 0);
            pContext->OMSetRenderTargets(1, &pTarget, pDepth);
        }
        if (pCore != nullptr)
            pCore->SetWorldViewProjectionMatrix(mViewProjection);
        RenderModels(fTime, &mViewProjection);
        pLight->SetShadowMapView(bHasMaps ? pResources->GetShaderResourceView(m_gShadowColorHandles[i])
                                          : nullptr);
        if (pCore != nullptr)
            pCore->SetSpotLights(fTime, pLight);
        if (pLight->IsUsedAsVolumeLight())
            m_gVolumeSpotLights.Add(pLight);
    }

    if (pContext != nullptr)
    {
        pContext->OMSetRenderTargets(SAVED_TARGETS, m_apSavedRenderTargets, m_pSavedDepthStencil);
        pContext->RSSetViewports(uiSavedViewports, m_aSavedViewports);
        for (ID3D11RenderTargetView*& pTarget : m_apSavedRenderTargets)
        {
            if (pTarget != nullptr)
                pTarget->Release();
            pTarget = nullptr;
        }
        if (m_pSavedDepthStencil != nullptr)
            m_pSavedDepthStencil->Release();
        m_pSavedDepthStencil = nullptr;
    }

    m_gVolumeOmniLights.RemoveAll(false);
    for (std::uint32_t i = 0; i < m_gOmniLights.GetNumMembers(); ++i)
    {
        KR_OmniLight* pLight = m_gOmniLights[i];
        if (!pLight->IsActive(fTime) || !(GetStrengthAt(pLight, fTime) > 0.0f))
            continue;
        if (pCore != nullptr)
            pCore->SetOmniLights(fTime, pLight);
        if (pLight->IsUsedAsVolumeLight())
            m_gVolumeOmniLights.Add(pLight);
    }
}

void KR_Scene::ComputeRailTransform(double fTime, const XMMATRIX* pObjectMatrix, bool bShadowPass,
                                    std::uint32_t uiCurve, KR_ModelResource* pModel)
{
    const std::uint64_t uiTarget = static_cast<std::uint64_t>(uiCurve) + 1;
    if (pModel == nullptr || uiTarget >= m_gVertexInterpolations.GetNumMembers())
        return;
    const XMVECTOR vPosition = KU_GetVectorAtTime(m_gVertexInterpolations[uiCurve], fTime);
    const XMVECTOR vTarget =
        KU_GetVectorAtTime(m_gVertexInterpolations[static_cast<std::uint32_t>(uiTarget)], fTime);
    const XMVECTOR vDirection = XMVectorSetW(XMVectorSubtract(vTarget, vPosition), 0.0f);
    const XMVECTOR vUp = XMVectorSet(0.0f, 1.0f, 0.0f, 0.0f);
    XMMATRIX mWorld = XMMatrixIdentity();
    // A direction that is zero or straight up or down gives no look-to basis: no turn then.
    if (XMVectorGetX(XMVector3LengthSq(XMVector3Cross(vDirection, vUp))) > 0.0f)
    {
        XMVECTOR vScale;
        XMVECTOR vRotation;
        XMVECTOR vTranslation;
        if (XMMatrixDecompose(&vScale, &vRotation, &vTranslation,
                              XMMatrixLookToLH(vPosition, vDirection, vUp)))
            mWorld = XMMatrixRotationQuaternion(XMQuaternionConjugate(vRotation));
    }
    mWorld.r[3] = XMVectorSetW(vPosition, 1.0f);
    pModel->Render(fTime, bShadowPass ? KR_RENDER_PASS_SHADOW_MAP : KR_RENDER_PASS_COLOR, &mWorld,
                   pObjectMatrix, 1);
}

void KR_Scene::FillStraightRail(KU_VertexInterpolation* pCurve, double fStart, double fEnd, double fStep,
                                const XMVECTOR& vFrom, const XMVECTOR& vTo)
{
    if (pCurve == nullptr)
        return;
    pCurve->SetStartTime(fStart);
    pCurve->SetEndTime(fEnd);
    const double fDuration = fEnd - fStart;
    pCurve->InsertVertex(vFrom, 0.0);
    pCurve->InsertVertex(vTo, fDuration);
    // A zero-length interval has no inner points; a step that is not positive would never end.
    if (!(fDuration > 0.0) || !(fStep > 0.0))
        return;
    const double fHandle = fStep * 0.1;
    pCurve->InsertVertex(StraightPoint(vFrom, vTo, fHandle / fDuration), fHandle);
    pCurve->InsertVertex(StraightPoint(vFrom, vTo, (fDuration - fHandle) / fDuration), fDuration - fHandle);
    for (double fAt = fStart + fStep; fAt < fEnd; fAt += fStep)
        pCurve->InsertVertex(StraightPoint(vFrom, vTo, (fAt - fStart) / fDuration), fAt - fStart);
}

KR_AnimatedCamera* KR_Scene::CreateNewCameraFromView(double fStart, double fEnd, double fStep,
                                                     const XMVECTOR* pCameraFrom, const XMVECTOR* pCameraTo,
                                                     const XMVECTOR* pTargetFrom, const XMVECTOR* pTargetTo,
                                                     float fFieldOfView)
{
    const KB_String sFolder = GetAnimatedCamerasFolder();
    const KB_String sBase =
        KR_EntityNaming::GetBaseName(m_sSceneName, "_AnimatedCamera", m_gAnimatedCameras.GetNumMembers());
    const KB_String sCurves = m_sCameraCurvesPath + sBase;
    const KB_String sRailPath = sCurves + "_CP.int";
    const KB_String sTargetPath = sCurves + "_TP.int";
    const KB_String sFOVPath = sCurves + "_FOV.int";
    const KB_String sOrientationPath = sCurves + "_OP.int";

    KU_VertexInterpolation* pRail = new KB_CubicBSplineInterpolation(sRailPath);
    FillStraightRail(pRail, fStart, fEnd, fStep, *pCameraFrom, *pCameraTo);
    KU_VertexInterpolation* pTarget = new KB_CubicBSplineInterpolation(sTargetPath);
    FillStraightRail(pTarget, fStart, fEnd, fStep, *pTargetFrom, *pTargetTo);
    KB_RotationInterpolation* pOrientation = new KB_RotationInterpolation(sOrientationPath);
    pOrientation->SetStartTime(fStart);
    pOrientation->SetEndTime(fEnd);
    pOrientation->InsertQuaternion(XMQuaternionIdentity(), 0.0);
    KU_VertexInterpolation* pFOV = new KB_LinearInterpolation(sFOVPath);
    pFOV->SetStartTime(fStart);
    pFOV->SetEndTime(fEnd);
    pFOV->InsertVertex(XMVectorSet(fFieldOfView, 0.0f, 0.0f, 0.0f), 0.0);

    KR_AnimatedCamera* pCamera =
        new KR_AnimatedCamera(sFolder + sBase + ".cam", pRail, pTarget, pFOV, pOrientation);
    pCamera->SetStartTime(fStart);
    pCamera->SetEndTime(fEnd);
    pCamera->SetNearFarPlanes(m_fNearPlane, m_fFarPlane);
    pCamera->SetCameraRailPath(sRailPath);
    pCamera->SetCameraTargetRailPath(sTargetPath);
    pCamera->SetFOVInterpolationPath(sFOVPath);
    pCamera->SetOrientationInterpolationPath(sOrientationPath);
    pCamera->SaveCameraToFile(sFolder + sBase + ".cam");
    m_gAnimatedCameras.Add(pCamera);
    return pCamera;
}

KU_VertexInterpolation* KR_Scene::CreateNewVertexInterpolation(double fStart, double fEnd, double fStep,
                                                               const XMVECTOR* pFrom, const XMVECTOR* pTo)
{
    const KB_String sPath = GetVertexInterpolationsFolder() +
                            KR_EntityNaming::GetBaseName(m_sSceneName, "_VertexInterpolation",
                                                         m_gVertexInterpolations.GetNumMembers()) +
                            ".int";
    KU_VertexInterpolation* pCurve = new KB_CubicBSplineInterpolation(sPath);
    pCurve->SetStartTime(fStart);
    pCurve->SetEndTime(fEnd);
    const double fDuration = fEnd - fStart;
    pCurve->InsertVertex(*pFrom, 0.0);
    pCurve->InsertVertex(*pTo, fDuration);
    if (fDuration > 0.0 && fStep > 0.0)
        for (double fAt = fStart + fStep; fAt < fEnd; fAt += fStep)
            pCurve->InsertVertex(StraightPoint(*pFrom, *pTo, (fAt - fStart) / fDuration), fAt - fStart);
    m_gVertexInterpolations.Add(pCurve);
    AddVisualisation(pCurve);
    return pCurve;
}

void KR_Scene::AddVisualisation(KU_VertexInterpolation* pCurve)
{
    KR_VertexInterpolationVisualisation* pVisualisation = new KR_VertexInterpolationVisualisation(pCurve);
    const float r = RandomRailChannel();
    const float g = RandomRailChannel();
    const float b = RandomRailChannel();
    pVisualisation->SetColors(KB_Color(r, g, b, 1.0f), KB_Color(r + 0.15f, g + 0.15f, b + 0.15f, 1.0f),
                              KB_Color(0.25f, 1.0f, 0.25f, 1.0f));
    m_gVertexVisualisations.Add(pVisualisation);
}

bool KR_Scene::IsShownInEditor(std::uint32_t uiToggle)
{
    KR_SceneManager* pManager = GetSceneManager();
    return pManager != nullptr && pManager->GetCameraMode() == KR_SCM_Edit &&
           pManager->IsVisualisationOn(uiToggle);
}

void KR_Scene::MoveSelectedKeyTo(double fTime, const XMVECTOR* pPosition)
{
    if (!IsActive(fTime) || pPosition == nullptr)
        return;
    for (std::uint32_t i = 0; i < m_gAnimatedCameras.GetNumMembers(); ++i)
        m_gAnimatedCameras[i]->MoveSelectedKeyTo(fTime, *pPosition);
    if (IsShownInEditor(KR_SceneManager::VISUALISATION_CURVES))
        for (std::uint32_t i = 0; i < m_gVertexVisualisations.GetNumMembers(); ++i)
            if (m_gVertexInterpolations[i]->IsActive(fTime))
                m_gVertexVisualisations[i]->SetSelectedVertex(*pPosition);
    if (IsShownInEditor(KR_SceneManager::VISUALISATION_LIGHTS))
    {
        for (std::uint32_t i = 0; i < m_gOmniLights.GetNumMembers(); ++i)
            if (m_gOmniLights[i]->IsActive(fTime))
                m_gOmniLights[i]->MoveSelectedKeyTo(*pPosition);
        for (std::uint32_t i = 0; i < m_gSpotLights.GetNumMembers(); ++i)
            if (m_gSpotLights[i]->IsActive(fTime))
                m_gSpotLights[i]->MoveSelectedKeyTo(*pPosition);
    }
    if (IsShownInEditor(KR_SceneManager::VISUALISATION_PLACERS))
        for (std::uint32_t i = 0; i < m_gCubeMapPlacers.GetNumMembers(); ++i)
            if (m_gCubeMapPlacers[i]->IsActive(fTime))
                m_gCubeMapPlacers[i]->MoveSelectedKeyTo(*pPosition);
}

namespace
{

// The nearest member of one kind: strictly nearer replaces, so the first of equals stays.
template <typename T>
struct NearestPick
{
    T* pMember = nullptr;
    float fDistance = FLT_MAX;
    void Offer(T* pCandidate, float fCandidate)
    {
        if (fCandidate < fDistance)
        {
            fDistance = fCandidate;
            pMember = pCandidate;
        }
    }
};

} // namespace

float KR_Scene::GetPickDistance(double fTime, const KR_Ray& ray)
{
    if (!IsActive(fTime))
        return FLT_MAX;
    float fNearest = FLT_MAX;
    auto offer = [&fNearest](float fDistance) { fNearest = fDistance < fNearest ? fDistance : fNearest; };
    for (std::uint32_t i = 0; i < m_gAnimatedCameras.GetNumMembers(); ++i)
        offer(m_gAnimatedCameras[i]->GetPickDistance(fTime, ray));
    if (IsShownInEditor(KR_SceneManager::VISUALISATION_CURVES))
        for (std::uint32_t i = 0; i < m_gVertexVisualisations.GetNumMembers(); ++i)
            if (m_gVertexInterpolations[i]->IsActive(fTime))
                offer(m_gVertexVisualisations[i]->GetPickDistance(ray));
    if (IsShownInEditor(KR_SceneManager::VISUALISATION_LIGHTS))
    {
        for (std::uint32_t i = 0; i < m_gOmniLights.GetNumMembers(); ++i)
            offer(m_gOmniLights[i]->GetPickDistance(fTime, ray));
        for (std::uint32_t i = 0; i < m_gSpotLights.GetNumMembers(); ++i)
            offer(m_gSpotLights[i]->GetPickDistance(fTime, ray));
    }
    if (IsShownInEditor(KR_SceneManager::VISUALISATION_PLACERS))
        for (std::uint32_t i = 0; i < m_gCubeMapPlacers.GetNumMembers(); ++i)
            offer(m_gCubeMapPlacers[i]->GetPickDistance(fTime, ray));
    return fNearest;
}

void KR_Scene::SelectPicked(double fTime, const KR_Ray& ray)
{
    if (!IsActive(fTime))
        return;
    NearestPick<KR_AnimatedCamera> camera;
    NearestPick<KR_VertexInterpolationVisualisation> curve;
    NearestPick<KR_LightBase> omni;
    NearestPick<KR_LightBase> spot;
    NearestPick<KR_CubeMapPlacer> placer;
    for (std::uint32_t i = 0; i < m_gAnimatedCameras.GetNumMembers(); ++i)
        camera.Offer(m_gAnimatedCameras[i], m_gAnimatedCameras[i]->GetPickDistance(fTime, ray));
    if (IsShownInEditor(KR_SceneManager::VISUALISATION_CURVES))
        for (std::uint32_t i = 0; i < m_gVertexVisualisations.GetNumMembers(); ++i)
            if (m_gVertexInterpolations[i]->IsActive(fTime))
                curve.Offer(m_gVertexVisualisations[i], m_gVertexVisualisations[i]->GetPickDistance(ray));
    if (IsShownInEditor(KR_SceneManager::VISUALISATION_LIGHTS))
    {
        for (std::uint32_t i = 0; i < m_gOmniLights.GetNumMembers(); ++i)
            omni.Offer(m_gOmniLights[i], m_gOmniLights[i]->GetPickDistance(fTime, ray));
        for (std::uint32_t i = 0; i < m_gSpotLights.GetNumMembers(); ++i)
            spot.Offer(m_gSpotLights[i], m_gSpotLights[i]->GetPickDistance(fTime, ray));
    }
    if (IsShownInEditor(KR_SceneManager::VISUALISATION_PLACERS))
        for (std::uint32_t i = 0; i < m_gCubeMapPlacers.GetNumMembers(); ++i)
            placer.Offer(m_gCubeMapPlacers[i], m_gCubeMapPlacers[i]->GetPickDistance(fTime, ray));

    // The later kind wins a tie.
    const float afDistances[5] = {camera.fDistance, curve.fDistance, omni.fDistance, spot.fDistance,
                                  placer.fDistance};
    std::uint32_t uiKind = 0;
    for (std::uint32_t k = 1; k < 5; ++k)
        if (afDistances[k] <= afDistances[uiKind])
            uiKind = k;
    if (!(afDistances[uiKind] < FLT_MAX))
        return;
    switch (uiKind)
    {
    case 0:
        camera.pMember->Select(fTime, ray);
        break;
    case 1:
        curve.pMember->PickControlPoint(ray);
        break;
    case 2:
        omni.pMember->Select(fTime, ray);
        break;
    case 3:
        spot.pMember->Select(fTime, ray);
        break;
    default:
        placer.pMember->Select(fTime, ray);
        break;
    }
}

void KR_Scene::PickGizmoOfSelection(double fTime, const KR_Ray& ray, bool bDragging)
{
    if (!IsActive(fTime))
        return;
    for (std::uint32_t i = 0; i < m_gAnimatedCameras.GetNumMembers(); ++i)
        m_gAnimatedCameras[i]->DragSelectedKey(fTime, ray, bDragging);
    if (IsShownInEditor(KR_SceneManager::VISUALISATION_CURVES))
        for (std::uint32_t i = 0; i < m_gVertexVisualisations.GetNumMembers(); ++i)
            if (m_gVertexInterpolations[i]->IsActive(fTime))
                m_gVertexVisualisations[i]->MoveSelectedControlPoint(ray, bDragging);
    if (IsShownInEditor(KR_SceneManager::VISUALISATION_LIGHTS))
    {
        for (std::uint32_t i = 0; i < m_gOmniLights.GetNumMembers(); ++i)
            if (m_gOmniLights[i]->IsActive(fTime))
                m_gOmniLights[i]->DragSelection(fTime, ray, bDragging);
        for (std::uint32_t i = 0; i < m_gSpotLights.GetNumMembers(); ++i)
            if (m_gSpotLights[i]->IsActive(fTime))
                m_gSpotLights[i]->DragSelection(fTime, ray, bDragging);
    }
    if (IsShownInEditor(KR_SceneManager::VISUALISATION_PLACERS))
        for (std::uint32_t i = 0; i < m_gCubeMapPlacers.GetNumMembers(); ++i)
            if (m_gCubeMapPlacers[i]->IsActive(fTime))
                m_gCubeMapPlacers[i]->DragSelection(fTime, ray, bDragging);
}
