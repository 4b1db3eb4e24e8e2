// KR_Scene: loading, saving and releasing the entities, the chunk list and the entity folders.

#include "render/scene/KR_Scene.h"

#include "framework/app/KE_EngineMembers.h"
#include "framework/core/KU_FileUtilities.h"
#include "framework/files/KF_FileManager.h"
#include "render/camera/KR_AnimatedCamera.h"
#include "render/debug/KR_VertexInterpolationVisualisation.h"
#include "render/device/KR_GraphicsResourceManager.h"
#include "render/light/KR_OmniLight.h"
#include "render/light/KR_SpotLight.h"
#include "render/models/KR_ManagedModelResourceDX11.h"
#include "render/scene/KR_ChunkList.h"
#include "render/scene/KR_CubeMapPlacer.h"
#include "render/scene/KR_EntityNaming.h"
#include "timing/KB_LinearInterpolation.h"
#include "timing/KU_ConstantValueInterpolation.h"
#include "timing/KU_MatrixInterpolation.h"
#include "timing/KU_QuaternionInterpolation.h"
#include "timing/KU_VertexInterpolation.h"

#include <new>

using namespace DirectX;

namespace
{

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

bool KR_Scene::LoadAnimatedCameras()
{
    m_gAnimatedCameras.DeleteAll();
    const KB_String sFolder = GetAnimatedCamerasFolder();
    AppendLoaded(m_gAnimatedCameras, sFolder, ListFolder(sFolder, "*.cam"),
                 [](const KB_String& sPath) -> KR_AnimatedCamera*
                 {
                     KR_AnimatedCamera* pCamera = new (std::nothrow) KR_AnimatedCamera(sPath);
                     if (pCamera != nullptr && pCamera->LoadCameraFromFile(sPath))
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
                     KR_OmniLight* pLight = new (std::nothrow) KR_OmniLight();
                     if (pLight != nullptr && pLight->LoadFromFile(sPath))
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
                     KR_SpotLight* pLight = new (std::nothrow) KR_SpotLight();
                     if (pLight != nullptr && pLight->LoadFromFile(sPath))
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
        if (!AddVisualisation(pCurve))
        {
            delete pCurve;
            continue;
        }
        m_gVertexInterpolations.Add(pCurve);
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
        // Without it the scene plays its first camera throughout.
        m_pCameraSelection = new (std::nothrow)
            KU_ConstantValueInterpolation(sCameraFolder + m_sSceneName + "_CameraSelectionInterpolation.int");
        if (m_pCameraSelection != nullptr)
        {
            m_pCameraSelection->SetStartTime(GetStartTime());
            m_pCameraSelection->SetEndTime(GetEndTime());
        }
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
                     KR_CubeMapPlacer* pPlacer = new (std::nothrow) KR_CubeMapPlacer();
                     if (pPlacer != nullptr && pPlacer->LoadFromFile(sPath))
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
    KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager();
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
        if (m_gChunkInterpolations.GetNumMembers() == m_gChunkModels.GetNumMembers())
            continue;

        // Visible over the whole scene until edited. Registered once, by its constructor.
        KU_VertexInterpolation* pCurve = new (std::nothrow) KB_LinearInterpolation(sFolder + sCurveFile);
        if (pCurve == nullptr)
        {
            // The chunk is left out, so that both lists stay index-aligned.
            m_gChunkModels.Remove(m_gChunkModels.GetNumMembers() - 1);
            continue;
        }
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

void KR_Scene::ParseChunkList(const KB_String& sPath, KB_GrowingArray<KB_String>& gNames)
{
    KF_FileManager* pFiles = KE_GetFileManager();
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
    KF_FileManager* pFiles = KE_GetFileManager();
    const KB_String sText = KR_ChunkList::CreateText(gNames);
    return pFiles != nullptr && pFiles->SaveFile(sPath, sText.GetLength(), sText.GetBuffer());
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
    if (KF_FileManager* pFiles = KE_GetFileManager())
        pFiles->FindFiles(sFolder + pPattern, gNames);
    KR_EntityNaming::RemoveDuplicateNames(gNames);
    return gNames;
}

void KR_Scene::RemoveEntityFile(const KB_String& sFolder, const KB_String& sPath)
{
    KF_FileManager* pFiles = KE_GetFileManager();
    if (pFiles == nullptr || sPath.GetLength() == 0)
        return;
    pFiles->RemoveFile(sFolder + sPath);
}
