// KV27_AssetGenerator: Generate, the show's plan, the writer's common file and curve writes, its
// order of work and the scene configuration.

#include "production/KV27_AssetGenerator.h"

#include "framework/app/KE_EngineMembers.h"
#include "framework/core/KB_String.h"
#include "framework/files/KF_FileManager.h"
#include "production/KV27_AssetGeneratorInternal.h"
#include "timing/KU_ConstantValueInterpolation.h"
#include "timing/KU_VertexInterpolation.h"

#include <cstdio>

using namespace DirectX;

namespace KV27_AssetGeneratorInternal
{

const SceneSpec& GetSceneSpec(std::uint32_t uiScene)
{
    static const SceneSpec specs[KV27_AssetGenerator::NUM_SCENES] = {
        {6,
         8,
         {},
         {2, 3, 4, 5},
         8,
         {"World_Ground", "World_Pillars"},
         true,
         false,
         false,
         false,
         {1.0f, 0.85f, 0.65f},
         {0.35f, 0.45f, 0.6f},
         {1.0f, 1.0f, 1.0f}},
        {16,
         13,
         {6, 8, 10, 12, 14},
         {2, 3, 4, 5},
         8,
         {"World_Ground", "World_Monoliths"},
         false,
         true,
         true,
         false,
         {0.7f, 0.8f, 1.0f},
         {0.2f, 0.3f, 0.45f},
         {1.0f, 0.92f, 0.85f}},
        {14,
         12,
         {6, 8, 10, 12},
         {2, 3, 4, 5},
         8,
         {"World_Ground", "World_Pillars", "World_Monoliths"},
         false,
         true,
         false,
         true,
         {0.95f, 0.6f, 0.45f},
         {0.5f, 0.35f, 0.3f},
         {0.9f, 0.95f, 1.05f}},
        {16,
         11,
         {2, 4, 6, 14},
         {8, 9, 10, 11, 12, 13},
         8,
         {"World_Ground", "World_Monoliths", "World_Pillars"},
         true,
         false,
         true,
         false,
         {0.6f, 1.0f, 0.8f},
         {0.15f, 0.3f, 0.3f},
         {1.05f, 0.95f, 0.9f}},
        {10,
         9,
         {0, 2},
         {4, 5, 6, 7, 8, 9},
         7,
         {"World_Ground", "World_Pillars"},
         false,
         true,
         false,
         false,
         {1.0f, 0.75f, 0.9f},
         {0.4f, 0.3f, 0.5f},
         {0.8f, 0.8f, 0.8f}},
    };
    return specs[uiScene];
}

double GetSceneStart(std::uint32_t uiScene)
{
    double fStart = 0.0;
    for (std::uint32_t i = 0; i < uiScene; ++i)
        fStart += KV27_AssetGenerator::SCENE_DURATIONS[i];
    return fStart;
}

double GetSceneEnd(std::uint32_t uiScene)
{
    return GetSceneStart(uiScene) + KV27_AssetGenerator::SCENE_DURATIONS[uiScene];
}

double GetShowLength()
{
    return GetSceneStart(KV27_AssetGenerator::NUM_SCENES);
}

std::string Number(std::uint32_t i)
{
    std::string s = i < 10 ? "0" : "";
    s += std::to_string(i);
    return s;
}

std::string SceneName(std::uint32_t uiScene)
{
    return "Scene" + std::to_string(uiScene + 1);
}

std::string Format(double f)
{
    char buffer[32];
    std::snprintf(buffer, sizeof(buffer), "%.6g", f == 0.0 ? 0.0 : f);
    return buffer;
}

std::string CubeMapPath(std::uint32_t uiScene)
{
    return "Textures/Cubemaps/CubeMap_" + SceneName(uiScene) + "_0.dds";
}

bool Generator::WriteText(const std::string& sPath, const std::string& sText)
{
    KF_FileManager* pFiles = KE_GetFileManager();
    if (pFiles == nullptr || !pFiles->WriteFile(KB_String(sPath.c_str()), sText.size(), sText.data()))
        return Fail("cannot write " + sPath);
    return true;
}

bool Generator::WriteBytes(const std::string& sPath, const std::vector<std::uint8_t>& bytes)
{
    return WriteText(sPath, std::string(bytes.begin(), bytes.end()));
}

std::unique_ptr<KU_VertexInterpolation> Generator::MakeCurve(const char* pType, const std::string& sPath,
                                                             double fStart, double fEnd,
                                                             const std::vector<Key>& keys,
                                                             const std::string& sDebugName)
{
    const KB_String sFilePath(sPath.c_str());
    std::unique_ptr<KU_VertexInterpolation> pCurve(
        std::string(pType) == "ConstantValueInterpolation"
            ? new KU_ConstantValueInterpolation(sFilePath)
            : KU_VertexInterpolation::CreateVertexInterpolation(KB_String(pType), sFilePath));
    if (pCurve == nullptr)
    {
        Fail(std::string("no curve kind ") + pType);
        return nullptr;
    }
    pCurve->SetStartTime(fStart);
    pCurve->SetEndTime(fEnd);
    for (const Key& key : keys)
        pCurve->InsertVertex(XMVectorSet(key.x, key.y, key.z, 0.0f), key.fTime);
    pCurve->SetDebugName(KB_String(sDebugName.c_str()));
    return pCurve;
}

bool Generator::SaveCurve(const char* pType, const std::string& sPath, double fStart, double fEnd,
                          const std::vector<Key>& keys, const std::string& sDebugName)
{
    std::unique_ptr<KU_VertexInterpolation> pCurve = MakeCurve(pType, sPath, fStart, fEnd, keys, sDebugName);
    if (pCurve == nullptr)
        return false;
    if (!pCurve->Save())
        return Fail("cannot save the curve " + sPath);
    return true;
}

bool Generator::WriteSceneConfig()
{
    // One line per scene and nothing between the scene elements: a comment would end the list.
    std::string sText;
    for (std::uint32_t i = 0; i < KV27_AssetGenerator::NUM_SCENES; ++i)
    {
        const std::string sElement = "scene" + std::to_string(i + 1);
        sText += "<" + sElement + "><duration>" + Format(KV27_AssetGenerator::SCENE_DURATIONS[i]) +
                 "</duration><near_distance>" + Format(NEAR_DISTANCE) + "</near_distance><far_distance>" +
                 Format(FAR_DISTANCE) + "</far_distance><far_distance_tools>" + Format(FAR_DISTANCE_TOOLS) +
                 "</far_distance_tools></" + sElement + ">\n";
    }
    return WriteText(KV27_AssetGenerator::SCENE_CONFIG_FILE, sText);
}

bool Generator::WriteScene(std::uint32_t uiScene)
{
    return WriteVertexCurves(uiScene) && WriteUserCurves(uiScene) && WriteCameras(uiScene) &&
           WriteSelectionCurve(uiScene) && WriteLights(uiScene) && WritePlacers(uiScene) &&
           WriteChunks(uiScene);
}

bool Generator::Run(std::string* pError)
{
    bool bOk = WriteSceneConfig();
    for (std::uint32_t i = 0; bOk && i < KV27_AssetGenerator::NUM_SCENES; ++i)
        bOk = WriteScene(i);
    bOk = bOk && WriteModels() && WriteImages() && WriteAudio();
    if (!bOk && pError != nullptr)
        *pError = m_sError.empty() ? "generation failed" : m_sError;
    return bOk;
}

} // namespace KV27_AssetGeneratorInternal

bool KV27_AssetGenerator::Generate(const std::string& sAssetFolder, std::string* pError)
{
    KV27_AssetGeneratorInternal::Generator generator{std::filesystem::path(sAssetFolder)};
    return generator.Run(pError);
}
