#include "production/KV27_AssetGenerator.h"

#include "audio/KA_AudioEntity.h"
#include "framework/app/KE_ApplicationManager.h"
#include "framework/core/KB_Color.h"
#include "framework/core/KB_String.h"
#include "framework/files/KF_FileManager.h"
#include "platform/d3d11/d3d11.h"
#include "platform/d3dx11/d3dx11.h"
#include "platform/directxmath/DirectXMath.h"
#include "production/KV27_AssetManifest.h"
#include "render/camera/KR_AnimatedCamera.h"
#include "render/light/KR_OmniLight.h"
#include "render/light/KR_SpotLight.h"
#include "render/scene/KR_CubeMapPlacer.h"
#include "timing/KU_ConstantValueInterpolation.h"
#include "timing/KU_VertexInterpolation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

using namespace DirectX;

namespace
{

constexpr double PI = 3.14159265358979323846;

// Camera planes of every scene (the scene configuration hands them to the cameras).
constexpr float NEAR_DISTANCE = 0.5f;
constexpr float FAR_DISTANCE = 400.0f;
constexpr float FAR_DISTANCE_TOOLS = 1000.0f;

// One key of a vertex curve at a local time (seconds from the curve's start).
struct Key
{
    double fTime;
    float x, y, z;
};

// What distinguishes the scenes: curve counts, which vertex curves are rails (start i, target
// i + 1) and which hold props, the world chunks, the lighting and the grading.
struct SceneSpec
{
    std::uint32_t uiVertexCurves;
    std::uint32_t uiUserCurves;
    std::vector<std::uint32_t> vRailStarts;
    std::vector<std::uint32_t> vPropCurves;
    // User-defined curves that hand a scalar to the fragmenter props, from this index on.
    std::uint32_t uiFirstFragmenterScalar;
    std::vector<const char*> vChunks;
    bool bOmniVolume;
    bool bSpotVolume;
    bool bMovingOmni;
    bool bDynamicPlacer;
    // Key colour of the scene's lights and sky.
    XMFLOAT3 vKeyColor;
    XMFLOAT3 vSkyColor;
    // Multiplier of the closing seconds (exactly 1, 1, 1 leaves the colour effect off).
    XMFLOAT3 vCloseMultiplier;
};

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

double GetShowLength()
{
    return GetSceneStart(KV27_AssetGenerator::NUM_SCENES);
}

// Two-digit entity numbers as the scene base writes them when it saves.
std::string Number(std::uint32_t i)
{
    return (i < 10 ? "0" : "") + std::to_string(i);
}

std::string SceneName(std::uint32_t uiScene)
{
    return "Scene" + std::to_string(uiScene + 1);
}

// Text numbers with six significant digits in the C locale; never "-0".
std::string Format(double f)
{
    char buffer[32];
    std::snprintf(buffer, sizeof(buffer), "%.6g", f == 0.0 ? 0.0 : f);
    return buffer;
}

class Generator
{
public:
    explicit Generator(std::filesystem::path folder) : m_folder(std::move(folder)) {}

    bool Run(std::string* pError);

private:
    bool Fail(const std::string& sWhat)
    {
        if (m_sError.empty())
            m_sError = sWhat;
        return false;
    }
    bool WriteText(const std::string& sPath, const std::string& sText);
    bool WriteBytes(const std::string& sPath, const std::vector<std::uint8_t>& bytes);

    // A vertex curve of the named kind with the interval [fStart, fEnd), saved at sPath.
    std::unique_ptr<KU_VertexInterpolation> MakeCurve(const char* pType, const std::string& sPath,
                                                      double fStart, double fEnd,
                                                      const std::vector<Key>& keys,
                                                      const std::string& sDebugName);
    bool SaveCurve(const char* pType, const std::string& sPath, double fStart, double fEnd,
                   const std::vector<Key>& keys, const std::string& sDebugName);

    bool WriteSceneConfig();
    bool WriteScene(std::uint32_t uiScene);
    bool WriteVertexCurves(std::uint32_t uiScene);
    bool WriteUserCurves(std::uint32_t uiScene);
    bool WriteCameras(std::uint32_t uiScene);
    bool WriteSelectionCurve(std::uint32_t uiScene);
    bool WriteLights(std::uint32_t uiScene);
    bool WritePlacers(std::uint32_t uiScene);
    bool WriteChunks(std::uint32_t uiScene);
    bool WriteModels();
    bool WriteImages();
    bool WriteAudio();

    // Saves a texture made from the pixel rows (RGBA8, one block per array slice) by OS path.
    bool SaveTexture(const std::string& sPath, std::uint32_t uiWidth, std::uint32_t uiHeight,
                     std::uint32_t uiSlices, bool bCube, const std::vector<std::uint8_t>& pixels,
                     D3DX11_IMAGE_FILE_FORMAT eFormat);

    std::filesystem::path m_folder;
    std::string m_sError;
    ID3D11Device* m_pDevice = nullptr;
    ID3D11DeviceContext* m_pContext = nullptr;
};

bool Generator::WriteText(const std::string& sPath, const std::string& sText)
{
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    KF_FileManager* pFiles = pEngine != nullptr ? pEngine->GetFileManager() : nullptr;
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

// Position on rail k of a scene at local time t: a loop around the scene's centre, each rail on
// its own radius, height, speed and direction.
XMFLOAT3 RailPosition(std::uint32_t uiScene, std::uint32_t k, double t)
{
    const double fRadius = 14.0 + 6.0 * k + uiScene;
    const double fSpeed = (0.35 + 0.08 * k) * (k % 2 == 0 ? 1.0 : -1.0);
    const double fAngle = fSpeed * t + 1.3 * k + 0.4 * uiScene;
    const double fHeight = 3.0 + 2.0 * k + 1.5 * std::sin(0.9 * t + k);
    return XMFLOAT3(static_cast<float>(fRadius * std::cos(fAngle)), static_cast<float>(fHeight),
                    static_cast<float>(fRadius * std::sin(fAngle)));
}

// A rail's target runs this far ahead of its start on the same loop, so the two never meet.
constexpr double RAIL_LEAD = 0.6;

bool Generator::WriteVertexCurves(std::uint32_t uiScene)
{
    const SceneSpec& spec = GetSceneSpec(uiScene);
    const double fStart = GetSceneStart(uiScene);
    const double fDuration = KV27_AssetGenerator::SCENE_DURATIONS[uiScene];
    const std::string sFolder = "Entities/" + SceneName(uiScene) + "/Interpolations/Vertex/";
    for (std::uint32_t i = 0; i < spec.uiVertexCurves; ++i)
    {
        std::vector<Key> keys;
        const auto rail = std::find(spec.vRailStarts.begin(), spec.vRailStarts.end(), i);
        const auto target = std::find(spec.vRailStarts.begin(), spec.vRailStarts.end(), i - 1);
        const auto prop = std::find(spec.vPropCurves.begin(), spec.vPropCurves.end(), i);
        std::string sName;
        if (rail != spec.vRailStarts.end() || (i > 0 && target != spec.vRailStarts.end()))
        {
            const bool bStart = rail != spec.vRailStarts.end();
            const std::uint32_t k =
                static_cast<std::uint32_t>((bStart ? rail : target) - spec.vRailStarts.begin());
            sName = std::string(bStart ? "rail " : "rail target ") + std::to_string(k);
            for (double t = 0.0; t <= fDuration + 1e-9; t += 0.5)
            {
                const XMFLOAT3 p = RailPosition(uiScene, k, t + (bStart ? 0.0 : RAIL_LEAD));
                keys.push_back({t, p.x, p.y, p.z});
            }
        }
        else if (prop != spec.vPropCurves.end())
        {
            // Props hover around the centre, each on its own slow bob.
            const std::uint32_t k = static_cast<std::uint32_t>(prop - spec.vPropCurves.begin());
            const double fAngle = 2.0 * PI * k / spec.vPropCurves.size() + 0.5 * uiScene;
            const float x = static_cast<float>(9.0 * std::cos(fAngle));
            const float z = static_cast<float>(9.0 * std::sin(fAngle));
            sName = "prop " + std::to_string(k);
            for (double t = 0.0; t <= fDuration + 1e-9; t += 2.0)
                keys.push_back({t, x, static_cast<float>(5.0 + 0.6 * std::sin(0.8 * t + k)), z});
        }
        else
        {
            // Not read by the scene: a marker drifting across for the editor.
            sName = "drift " + std::to_string(i);
            keys.push_back({0.0, -30.0f + 4.0f * i, 2.0f, -25.0f});
            keys.push_back({fDuration, -26.0f + 4.0f * i, 3.0f, -20.0f});
        }
        const std::string sPath = sFolder + SceneName(uiScene) + "_VertexInterpolation" + Number(i) + ".int";
        if (!SaveCurve("LinearInterpolation", sPath, fStart, fStart + fDuration, keys,
                       SceneName(uiScene) + " " + sName))
            return false;
    }
    return true;
}

bool Generator::WriteUserCurves(std::uint32_t uiScene)
{
    const SceneSpec& spec = GetSceneSpec(uiScene);
    const double fStart = GetSceneStart(uiScene);
    const double d = KV27_AssetGenerator::SCENE_DURATIONS[uiScene];
    const double fEnd = fStart + d;
    const float s = static_cast<float>(uiScene);
    const std::string sFolder = "Entities/" + SceneName(uiScene) + "/Interpolations/UserDefined/";
    const std::string sPrefix = sFolder + SceneName(uiScene) + "_UserDefinedInterpolation";
    for (std::uint32_t i = 0; i < spec.uiUserCurves; ++i)
    {
        std::vector<Key> keys;
        double fCurveStart = fStart;
        std::string sName;
        if (i == 0)
        {
            // Frame colour: the show fades in at its start and out at its end.
            sName = "frame colour";
            if (uiScene == 0)
                keys = {{0.0, 0.0f, 0.0f, 0.0f}, {2.0, 1.0f, 1.0f, 1.0f}, {d, 1.0f, 1.0f, 1.0f}};
            else if (uiScene + 1 == KV27_AssetGenerator::NUM_SCENES)
                keys = {{0.0, 1.0f, 1.0f, 1.0f}, {d - 3.0, 1.0f, 1.0f, 1.0f}, {d, 0.0f, 0.0f, 0.0f}};
            else
                keys = {{0.0, 1.0f, 1.0f, 1.0f}, {d, 1.0f, 1.0f, 1.0f}};
        }
        else if (i == 1)
        {
            sName = "frame range";
            keys = {{0.0, 0.55f, 1.0f, 0.0f}, {d, 0.6f, 1.0f, 0.0f}};
        }
        else if (i == 2)
        {
            sName = "bloom";
            keys = {{0.0, 0.3f + 0.04f * s, 0.0f, 0.0f}, {d / 2, 0.55f, 0.0f, 0.0f}, {d, 0.35f, 0.0f, 0.0f}};
        }
        else if (i == 3)
        {
            // Depth of field f0, f1, f2: f1 and f2 are divided by, so never 0.
            sName = "depth of field 1";
            keys = {{0.0, 0.25f + 0.02f * s, 0.35f, 0.4f}, {d, 0.3f, 0.38f, 0.42f}};
        }
        else if (i == 4)
        {
            sName = "depth of field 2";
            keys = {{0.0, 0.35f, 0.45f, 0.0f}, {d, 0.4f, 0.5f, 0.0f}};
        }
        else if (i == 5)
        {
            // Volume lighting: step scale and trace distance (far beyond the near plane).
            sName = "volume lighting";
            keys = {{0.0, 1.0f, 120.0f, 0.0f}, {d, 1.2f, 140.0f, 0.0f}};
        }
        else if (i == 6)
        {
            // Colour multiplier, active over the closing seconds only.
            sName = "colour multiplier";
            fCurveStart = fEnd - 3.0;
            const XMFLOAT3& m = spec.vCloseMultiplier;
            keys = {{0.0, 1.0f, 1.0f, 1.0f}, {3.0, m.x, m.y, m.z}};
        }
        else if (i == 7 && spec.uiFirstFragmenterScalar > 7)
        {
            sName = "colour cube blend";
            keys = {{0.0, 0.0f, 0.0f, 0.0f}, {d / 2, 1.0f, 0.0f, 0.0f}, {d, 0.3f, 0.0f, 0.0f}};
        }
        else
        {
            // A fragmenter's scalar: it gathers, breaks apart and gathers again.
            const std::uint32_t k = i - spec.uiFirstFragmenterScalar;
            sName = "fragmenter " + std::to_string(k);
            const double fPeak = d * (0.3 + 0.1 * (k % 4));
            keys = {{0.0, 0.0f, 0.0f, 0.0f}, {fPeak, 1.0f, 0.0f, 0.0f}, {d, 0.1f * k, 0.0f, 0.0f}};
        }
        if (!SaveCurve("LinearInterpolation", sPrefix + Number(i) + ".int", fCurveStart, fEnd, keys,
                       SceneName(uiScene) + " " + sName))
            return false;
    }
    return true;
}

bool Generator::WriteCameras(std::uint32_t uiScene)
{
    // Two cameras share the scene, one after the other, each circling the centre.
    const std::string sScene = SceneName(uiScene);
    const std::string sFolder = "Entities/" + sScene + "/AnimatedCameras/";
    const double fStart = GetSceneStart(uiScene);
    const double fHalf = KV27_AssetGenerator::SCENE_DURATIONS[uiScene] / 2.0;
    for (std::uint32_t c = 0; c < 2; ++c)
    {
        const std::string sBase = sScene + "_AnimatedCamera" + Number(c);
        const double fCameraStart = fStart + c * fHalf;
        const double fCameraEnd = fCameraStart + fHalf;
        const double fRadius = 45.0 - 10.0 * c + 2.0 * uiScene;
        const double fHeight = 10.0 + 5.0 * c;
        const double fAngle0 = 0.7 * uiScene + 2.0 * c;
        const double fTurn = (c == 0 ? 0.5 : -0.6);
        std::vector<Key> rail;
        std::vector<Key> target;
        for (double t = 0.0; t <= fHalf + 1e-9; t += 1.0)
        {
            const double a = fAngle0 + fTurn * t / fHalf;
            rail.push_back({t, static_cast<float>(fRadius * std::cos(a)),
                            static_cast<float>(fHeight + std::sin(0.5 * t)),
                            static_cast<float>(fRadius * std::sin(a))});
            target.push_back({t, static_cast<float>(3.0 * std::sin(0.3 * t)), 4.0f,
                              static_cast<float>(3.0 * std::cos(0.3 * t))});
        }
        const std::vector<Key> fov = {{0.0, 55.0f, 0.0f, 0.0f}, {fHalf, 45.0f, 0.0f, 0.0f}};
        const char* const suffixes[3] = {"_CP.int", "_TP.int", "_FOV.int"};
        const char* const kinds[3] = {"CubicBSplineInterpolation", "CubicBSplineInterpolation",
                                      "LinearInterpolation"};
        const std::vector<Key>* const keys[3] = {&rail, &target, &fov};
        for (std::uint32_t j = 0; j < 3; ++j)
            if (!SaveCurve(kinds[j], sFolder + "Interpolations/" + sBase + suffixes[j], fCameraStart,
                           fCameraEnd, *keys[j], sBase + suffixes[j]))
                return false;
        // The camera reads its curves back through the repositories and saves them with itself.
        const std::string sPath = sFolder + sBase + ".cam";
        KR_AnimatedCamera camera{KB_String(sPath.c_str())};
        camera.SetDebugName(KB_String((sScene + " camera " + std::to_string(c)).c_str()));
        camera.SetCameraRailPath(KB_String(("Interpolations/" + sBase + suffixes[0]).c_str()));
        camera.SetCameraTargetRailPath(KB_String(("Interpolations/" + sBase + suffixes[1]).c_str()));
        camera.SetFOVInterpolationPath(KB_String(("Interpolations/" + sBase + suffixes[2]).c_str()));
        camera.SetEndTime(fCameraEnd);
        camera.SetStartTime(fCameraStart);
        camera.SetNearFarPlanes(NEAR_DISTANCE, FAR_DISTANCE);
        camera.SetFOV(55.0f);
        camera.ReloadCamera();
        if (camera.GetCameraRailInterpolation() == nullptr ||
            camera.GetCameraTargetRailInterpolation() == nullptr || camera.GetFOVInterpolation() == nullptr)
            return Fail("the camera " + sPath + " does not read its curves back");
        if (!camera.SaveCameraToFile(KB_String(sPath.c_str())))
            return Fail("cannot save the camera " + sPath);
    }
    return true;
}

bool Generator::WriteLights(std::uint32_t uiScene)
{
    const SceneSpec& spec = GetSceneSpec(uiScene);
    const std::string sScene = SceneName(uiScene);
    const double fStart = GetSceneStart(uiScene);
    const double fEnd = fStart + KV27_AssetGenerator::SCENE_DURATIONS[uiScene];
    const XMFLOAT3& key = spec.vKeyColor;
    const std::string sOmniFolder = "Entities/" + sScene + "/Lights/OmniLights/";
    const std::uint32_t uiOmnis = spec.bMovingOmni ? 3 : 2;
    for (std::uint32_t i = 0; i < uiOmnis; ++i)
    {
        const std::string sBase = sScene + "_OmniLight" + Number(i);
        KR_OmniLight light;
        light.SetStartTime(fStart);
        light.SetEndTime(fEnd);
        light.SetDebugName(KB_String((sScene + " omni " + std::to_string(i)).c_str()));
        light.SetLightAttenuation(XMFLOAT3(1.0f, 0.01f, 0.0008f));
        light.SetMaxLightDistance(90.0f);
        light.SetLightSpecularStrength(0.5f);
        if (i == 0)
        {
            // The key light above the centre.
            light.SetPosition(XMFLOAT3(0.0f, 14.0f, 0.0f));
            light.SetLightColor(KB_Color(key.x, key.y, key.z, 1.0f));
            light.SetLightStrength(1.4f);
            light.SetUseAsVolumeLight(spec.bOmniVolume);
        }
        else if (i == 1)
        {
            // A tube along the ground, between its position and its target.
            light.SetUseAsTubeLight(true);
            light.SetPosition(XMFLOAT3(-20.0f, 3.0f, 12.0f));
            light.SetTarget(XMFLOAT3(20.0f, 3.0f, 12.0f));
            light.SetLightColor(KB_Color(0.5f, 0.7f, 1.0f, 1.0f));
            light.SetLightStrength(0.8f);
        }
        else
        {
            // A light circling the props on a position rail.
            const std::string sRail = "Interpolations/" + sBase + "_P.int";
            std::vector<Key> keys;
            for (double t = 0.0; t <= fEnd - fStart + 1e-9; t += 1.0)
                keys.push_back({t, static_cast<float>(25.0 * std::cos(0.5 * t)), 6.0f,
                                static_cast<float>(25.0 * std::sin(0.5 * t))});
            std::unique_ptr<KU_VertexInterpolation> pRail =
                MakeCurve("LinearInterpolation", sOmniFolder + sRail, fStart, fEnd, keys, sBase + "_P.int");
            if (pRail == nullptr)
                return false;
            light.SetPositionRailPath(KB_String(sRail.c_str()));
            light.SetPostitionRailInterpolation(pRail.release());
            light.SetLightColor(KB_Color(1.0f, 0.55f, 0.3f, 1.0f));
            light.SetLightStrength(1.0f);
        }
        const std::string sPath = sOmniFolder + sBase + ".omn";
        if (!light.SaveToFile(KB_String(sPath.c_str())))
            return Fail("cannot save the light " + sPath);
    }
    // One shadow-casting spot light from high up.
    const std::string sBase = sScene + "_SpotLight00";
    const std::string sPath = "Entities/" + sScene + "/Lights/SpotLights/" + sBase + ".spt";
    KR_SpotLight spot;
    spot.SetStartTime(fStart);
    spot.SetEndTime(fEnd);
    spot.SetDebugName(KB_String((sScene + " spot 0").c_str()));
    spot.SetPosition(XMFLOAT3(30.0f, 35.0f, -30.0f));
    spot.SetTarget(XMFLOAT3(0.0f, 0.0f, 0.0f));
    spot.SetLightColor(KB_Color(key.x, key.y, key.z, 1.0f));
    spot.SetLightStrength(2.0f);
    spot.SetLightSpecularStrength(0.6f);
    spot.SetLightAttenuation(XMFLOAT3(1.0f, 0.002f, 0.0f));
    spot.SetMaxLightDistance(150.0f);
    spot.SetLightFOV(30.0f);
    spot.SetLightFOVFalloff(40.0f);
    spot.SetShadowMapResolution(512);
    spot.SetNearLightDistance(5.0f);
    spot.SetUseAsVolumeLight(spec.bSpotVolume);
    if (!spot.SaveToFile(KB_String(sPath.c_str())))
        return Fail("cannot save the light " + sPath);
    return true;
}

std::string CubeMapPath(std::uint32_t uiScene)
{
    return "Textures/Cubemaps/CubeMap_" + SceneName(uiScene) + "_0.dds";
}

bool Generator::WritePlacers(std::uint32_t uiScene)
{
    const SceneSpec& spec = GetSceneSpec(uiScene);
    const std::string sScene = SceneName(uiScene);
    const double fStart = GetSceneStart(uiScene);
    const double fEnd = fStart + KV27_AssetGenerator::SCENE_DURATIONS[uiScene];
    const std::uint32_t uiPlacers = spec.bDynamicPlacer ? 2 : 1;
    for (std::uint32_t i = 0; i < uiPlacers; ++i)
    {
        KR_CubeMapPlacer placer;
        placer.SetStartTime(fStart);
        placer.SetEndTime(fEnd);
        placer.SetDebugName(KB_String((sScene + (i == 0 ? " environment" : " moving reflections")).c_str()));
        if (i == 0)
        {
            // Static: its map was rendered once and shipped as a DDS file.
            placer.SetPosition(XMVectorSet(0.0f, 6.0f, 0.0f, 1.0f));
            placer.SetCubeMapResolution(32, 32);
            placer.SetCubeMapInfluenceRange(80.0f);
            placer.SetRenderSynchronizationTime(fStart + 1.0);
            placer.SetCubeMapPath(KB_String(("Assets/" + CubeMapPath(uiScene)).c_str()));
        }
        else
        {
            placer.SetPosition(XMVectorSet(12.0f, 5.0f, -8.0f, 1.0f));
            placer.SetCubeMapResolution(64, 64);
            placer.SetCubeMapInfluenceRange(25.0f);
            placer.SetRenderSynchronizationTime(fStart);
            placer.SetDynamic(true);
        }
        const std::string sPath =
            "Entities/" + sScene + "/CubeMapPlacers/" + sScene + "_CubeMapPlacer" + Number(i) + ".cmp";
        if (!placer.SaveCubeMapPlacerToFile(KB_String(sPath.c_str())))
            return Fail("cannot save the cube-map placer " + sPath);
    }
    return true;
}

bool Generator::WriteChunks(std::uint32_t uiScene)
{
    const SceneSpec& spec = GetSceneSpec(uiScene);
    const std::string sScene = SceneName(uiScene);
    const double fStart = GetSceneStart(uiScene);
    const double d = KV27_AssetGenerator::SCENE_DURATIONS[uiScene];
    std::string sList;
    for (std::size_t i = 0; i < spec.vChunks.size(); ++i)
    {
        const std::string sName = spec.vChunks[i];
        sList += (i == 0 ? "" : "\n") + std::string("Assets/Models/World/") + sName + ".dae";
        // The ground stays; the other chunks rise in after the scene's first seconds.
        std::vector<Key> keys = {{0.0, 1.0f, 0.0f, 0.0f}, {d, 1.0f, 0.0f, 0.0f}};
        if (i > 0)
        {
            const double fIn = 1.5 * static_cast<double>(i);
            keys = {{0.0, 0.0f, 0.0f, 0.0f},
                    {fIn, 0.0f, 0.0f, 0.0f},
                    {fIn + 0.5, 1.0f, 0.0f, 0.0f},
                    {d, 1.0f, 0.0f, 0.0f}};
        }
        if (!SaveCurve("LinearInterpolation",
                       "Entities/" + sScene + "/Interpolations/Chunks/" + sName + ".int", fStart, fStart + d,
                       keys, sScene + " " + sName))
            return false;
    }
    return WriteText("Entities/" + sScene + "/Chunks/Chunks_" + sScene + ".chk", sList);
}

bool Generator::WriteSelectionCurve(std::uint32_t uiScene)
{
    // The scene writes this file when it saves; with no keys its cameras follow their own
    // intervals, and the file is what a save without edits writes again.
    const std::string sScene = SceneName(uiScene);
    const double fStart = GetSceneStart(uiScene);
    return SaveCurve("ConstantValueInterpolation",
                     "Entities/" + sScene + "/AnimatedCameras/" + sScene +
                         "_CameraSelectionInterpolation.int",
                     fStart, fStart + KV27_AssetGenerator::SCENE_DURATIONS[uiScene], {}, "");
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

// ---------------------------------------------------------------------------------------------
// Models: small flat-shaded COLLADA documents.

struct Triangle
{
    XMFLOAT3 a, b, c;
};

struct MeshPart
{
    std::string sMaterial;
    std::vector<Triangle> vTriangles;
};

XMFLOAT3 Sub(const XMFLOAT3& a, const XMFLOAT3& b)
{
    return XMFLOAT3(a.x - b.x, a.y - b.y, a.z - b.z);
}

XMFLOAT3 Cross(const XMFLOAT3& a, const XMFLOAT3& b)
{
    return XMFLOAT3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

float Dot(const XMFLOAT3& a, const XMFLOAT3& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// A convex polygon as a triangle fan, wound counter-clockwise seen from outside (away from
// vInside).
void AddFace(MeshPart& part, const std::vector<XMFLOAT3>& polygon, const XMFLOAT3& vInside)
{
    XMFLOAT3 centre(0.0f, 0.0f, 0.0f);
    for (const XMFLOAT3& p : polygon)
        centre = XMFLOAT3(centre.x + p.x, centre.y + p.y, centre.z + p.z);
    const float fCount = static_cast<float>(polygon.size());
    centre = XMFLOAT3(centre.x / fCount, centre.y / fCount, centre.z / fCount);
    for (std::size_t i = 1; i + 1 < polygon.size(); ++i)
    {
        Triangle t{polygon[0], polygon[i], polygon[i + 1]};
        if (Dot(Cross(Sub(t.b, t.a), Sub(t.c, t.a)), Sub(centre, vInside)) < 0.0f)
            std::swap(t.b, t.c);
        part.vTriangles.push_back(t);
    }
}

void AddBox(MeshPart& part, const XMFLOAT3& c, const XMFLOAT3& h)
{
    auto corner = [&](int i)
    {
        return XMFLOAT3(c.x + ((i & 1) ? h.x : -h.x), c.y + ((i & 2) ? h.y : -h.y),
                        c.z + ((i & 4) ? h.z : -h.z));
    };
    const int faces[6][4] = {{0, 1, 3, 2}, {4, 5, 7, 6}, {0, 1, 5, 4},
                             {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 3, 7, 5}};
    for (const auto& face : faces)
        AddFace(part, {corner(face[0]), corner(face[1]), corner(face[2]), corner(face[3])}, c);
}

// A prism of n sides around the y axis, or with a single apex on top (fTopScale 0) a pyramid.
void AddPrism(MeshPart& part, std::uint32_t n, float fRadius, float fBottom, float fTop, float fTopScale)
{
    const XMFLOAT3 inside(0.0f, (fBottom + fTop) / 2.0f, 0.0f);
    std::vector<XMFLOAT3> bottom;
    std::vector<XMFLOAT3> top;
    for (std::uint32_t i = 0; i < n; ++i)
    {
        const double a = 2.0 * PI * i / n;
        const float x = static_cast<float>(std::cos(a)) * fRadius;
        const float z = static_cast<float>(std::sin(a)) * fRadius;
        bottom.emplace_back(x, fBottom, z);
        top.emplace_back(x * fTopScale, fTop, z * fTopScale);
    }
    AddFace(part, bottom, inside);
    if (fTopScale > 0.0f)
        AddFace(part, top, inside);
    for (std::uint32_t i = 0; i < n; ++i)
    {
        const std::uint32_t j = (i + 1) % n;
        if (fTopScale > 0.0f)
            AddFace(part, {bottom[i], bottom[j], top[j], top[i]}, inside);
        else
            AddFace(part, {bottom[i], bottom[j], XMFLOAT3(0.0f, fTop, 0.0f)}, inside);
    }
}

// Two pyramids base to base along the z axis (the direction a rail model faces).
void AddSpindle(MeshPart& part, std::uint32_t n, float fRadius, float fBack, float fFront)
{
    const XMFLOAT3 inside(0.0f, 0.0f, 0.0f);
    for (std::uint32_t i = 0; i < n; ++i)
    {
        const double a0 = 2.0 * PI * i / n;
        const double a1 = 2.0 * PI * (i + 1) / n;
        const XMFLOAT3 p0(static_cast<float>(std::cos(a0)) * fRadius,
                          static_cast<float>(std::sin(a0)) * fRadius, 0.0f);
        const XMFLOAT3 p1(static_cast<float>(std::cos(a1)) * fRadius,
                          static_cast<float>(std::sin(a1)) * fRadius, 0.0f);
        AddFace(part, {p0, p1, XMFLOAT3(0.0f, 0.0f, fFront)}, inside);
        AddFace(part, {p0, p1, XMFLOAT3(0.0f, 0.0f, -fBack)}, inside);
    }
}

std::string FloatList(const std::vector<float>& values)
{
    std::string s;
    for (std::size_t i = 0; i < values.size(); ++i)
        s += (i == 0 ? "" : " ") + Format(values[i]);
    return s;
}

std::string Source(const std::string& sId, const std::vector<float>& values, std::uint32_t uiStride)
{
    const char* const names = uiStride == 3 ? "XYZ" : "ST";
    std::string s = "        <source id=\"" + sId + "\">\n          <float_array id=\"" + sId +
                    "-array\" count=\"" + std::to_string(values.size()) + "\">" + FloatList(values) +
                    "</float_array>\n          <technique_common>\n            <accessor source=\"#" + sId +
                    "-array\" count=\"" + std::to_string(values.size() / uiStride) + "\" stride=\"" +
                    std::to_string(uiStride) + "\">\n";
    for (std::uint32_t i = 0; i < uiStride; ++i)
        s += std::string("              <param name=\"") + names[i] + "\" type=\"float\"/>\n";
    return s + "            </accessor>\n          </technique_common>\n        </source>\n";
}

// The document of one model: one geometry with one triangle list per part, each part's
// material bound by name (the material library's id).
std::string ColladaDocument(const std::string& sName, const std::vector<MeshPart>& parts, float fUvScale)
{
    std::vector<float> positions;
    std::vector<float> normals;
    std::vector<float> uvs;
    std::string sTriangles;
    std::uint32_t uiTriangle = 0;
    for (const MeshPart& part : parts)
    {
        std::string sIndices;
        for (const Triangle& t : part.vTriangles)
        {
            XMFLOAT3 n = Cross(Sub(t.b, t.a), Sub(t.c, t.a));
            const float fLength = std::sqrt(Dot(n, n));
            n = fLength > 0.0f ? XMFLOAT3(n.x / fLength, n.y / fLength, n.z / fLength)
                               : XMFLOAT3(0.0f, 1.0f, 0.0f);
            normals.insert(normals.end(), {n.x, n.y, n.z});
            for (const XMFLOAT3* p : {&t.a, &t.b, &t.c})
            {
                const std::uint32_t uiCorner = static_cast<std::uint32_t>(positions.size() / 3);
                positions.insert(positions.end(), {p->x, p->y, p->z});
                // Projected along the face's main axis, so every face gets an undistorted tile.
                const float ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
                const float u = ax >= ay && ax >= az ? p->z : p->x;
                const float v = ay >= ax && ay >= az ? p->z : p->y;
                uvs.insert(uvs.end(), {u * fUvScale, v * fUvScale});
                if (!sIndices.empty())
                    sIndices += ' ';
                sIndices += std::to_string(uiCorner);
                sIndices += ' ';
                sIndices += std::to_string(uiTriangle);
                sIndices += ' ';
                sIndices += std::to_string(uiCorner);
            }
            ++uiTriangle;
        }
        sTriangles +=
            "        <triangles material=\"" + part.sMaterial + "\" count=\"" +
            std::to_string(part.vTriangles.size()) + "\">\n          <input semantic=\"VERTEX\" source=\"#" +
            sName + "-vertices\" offset=\"0\"/>\n          <input semantic=\"NORMAL\" source=\"#" + sName +
            "-normals\" offset=\"1\"/>\n          <input semantic=\"TEXCOORD\" source=\"#" + sName +
            "-uvs\" offset=\"2\" set=\"0\"/>\n          <p>" + sIndices + "</p>\n        </triangles>\n";
    }
    std::string sEffects;
    std::string sMaterials;
    std::string sBindings;
    for (const MeshPart& part : parts)
    {
        const std::string& m = part.sMaterial;
        sEffects +=
            "    <effect id=\"" + m +
            "-effect\">\n      <profile_COMMON>\n        <technique sid=\"common\">\n"
            "          <lambert>\n            <diffuse>\n              <color sid=\"diffuse\">0.8 0.8 0.8 "
            "1</color>\n"
            "            </diffuse>\n          </lambert>\n        </technique>\n      </profile_COMMON>\n"
            "    </effect>\n";
        sMaterials += "    <material id=\"" + m + "-material\" name=\"" + m +
                      "\">\n      <instance_effect url=\"#" + m + "-effect\"/>\n    </material>\n";
        sBindings +=
            "              <instance_material symbol=\"" + m + "\" target=\"#" + m + "-material\"/>\n";
    }
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<COLLADA xmlns=\"http://www.collada.org/2005/11/COLLADASchema\" version=\"1.4.1\">\n"
           "  <asset>\n    <contributor>\n      <authoring_tool>Korvelane asset generator "
           "(kvassets)</authoring_tool>\n"
           "    </contributor>\n    <created>2026-12-07T00:00:00Z</created>\n    "
           "<modified>2026-12-07T00:00:00Z</modified>\n"
           "    <unit name=\"meter\" meter=\"1\"/>\n    <up_axis>Y_UP</up_axis>\n  </asset>\n"
           "  <library_effects>\n" +
           sEffects + "  </library_effects>\n  <library_materials>\n" + sMaterials +
           "  </library_materials>\n  <library_geometries>\n    <geometry id=\"" + sName + "-mesh\" name=\"" +
           sName + "\">\n      <mesh>\n" + Source(sName + "-positions", positions, 3) +
           Source(sName + "-normals", normals, 3) + Source(sName + "-uvs", uvs, 2) +
           "        <vertices id=\"" + sName +
           "-vertices\">\n          <input semantic=\"POSITION\" source=\"#" + sName +
           "-positions\"/>\n        </vertices>\n" + sTriangles +
           "      </mesh>\n    </geometry>\n  </library_geometries>\n  <library_visual_scenes>\n"
           "    <visual_scene id=\"Scene\" name=\"Scene\">\n      <node id=\"" +
           sName + "\" name=\"" + sName +
           "\" type=\"NODE\">\n        <matrix sid=\"transform\">1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1</matrix>\n"
           "        <instance_geometry url=\"#" +
           sName + "-mesh\" name=\"" + sName +
           "\">\n          <bind_material>\n            <technique_common>\n" + sBindings +
           "            </technique_common>\n          </bind_material>\n        </instance_geometry>\n      "
           "</node>\n"
           "    </visual_scene>\n  </library_visual_scenes>\n  <scene>\n    <instance_visual_scene "
           "url=\"#Scene\"/>\n"
           "  </scene>\n</COLLADA>\n";
}

bool Generator::WriteModels()
{
    struct Model
    {
        std::string sPath;
        std::vector<MeshPart> parts;
        float fUvScale;
    };
    std::vector<Model> models;
    {
        MeshPart artifact{"KV27_Artifact", {}};
        AddPrism(artifact, 4, 1.2f, -1.6f, 0.0f, 0.0f);
        AddPrism(artifact, 4, 1.2f, 1.6f, 0.0f, 0.0f);
        models.push_back({"Models/Props/Prop_FloatingArtifact1.DAE", {artifact}, 0.5f});
    }
    {
        MeshPart artifact{"KV27_Artifact", {}};
        AddBox(artifact, XMFLOAT3(0.0f, 0.0f, 0.0f), XMFLOAT3(1.4f, 0.25f, 0.9f));
        AddBox(artifact, XMFLOAT3(0.0f, 0.6f, 0.0f), XMFLOAT3(0.4f, 0.35f, 0.4f));
        models.push_back({"Models/Props/Prop_FloatingArtifact2.DAE", {artifact}, 0.5f});
    }
    {
        MeshPart artifact{"KV27_Artifact", {}};
        AddPrism(artifact, 6, 0.9f, -1.2f, 1.2f, 0.6f);
        models.push_back({"Models/Props/Prop_FloatingArtifact3.DAE", {artifact}, 0.5f});
    }
    const float spindles[3][3] = {{0.6f, 1.0f, 2.0f}, {0.8f, 1.4f, 1.4f}, {0.45f, 0.8f, 2.6f}};
    const std::uint32_t sides[3] = {4, 6, 3};
    for (std::uint32_t i = 0; i < 3; ++i)
    {
        MeshPart fragmenter{"KV27_Fragmenter", {}};
        AddSpindle(fragmenter, sides[i], spindles[i][0], spindles[i][1], spindles[i][2]);
        models.push_back(
            {"Models/Props/Prop_Fragmenter" + std::to_string(i + 1) + ".DAE", {fragmenter}, 0.5f});
    }
    {
        // The relic: a ring of stones around a glowing core.
        MeshPart stone{"KV27_Stone", {}};
        for (std::uint32_t i = 0; i < 8; ++i)
        {
            const double a = 2.0 * PI * i / 8.0;
            AddBox(
                stone,
                XMFLOAT3(static_cast<float>(2.0 * std::cos(a)), static_cast<float>(2.0 * std::sin(a)), 0.0f),
                XMFLOAT3(0.45f, 0.45f, 0.3f));
        }
        MeshPart core{"KV27_RelicCore", {}};
        AddSpindle(core, 8, 0.8f, 0.8f, 0.8f);
        models.push_back({"Models/Props/Prop_S4_Relic.DAE", {stone, core}, 0.5f});
    }
    {
        // The ground: a grid of quads, so vertex lighting and fog have something to work on.
        MeshPart ground{"KV27_Ground", {}};
        const int iCells = 12;
        const float fCell = 20.0f;
        for (int x = 0; x < iCells; ++x)
            for (int z = 0; z < iCells; ++z)
            {
                const float x0 = (x - iCells / 2) * fCell, z0 = (z - iCells / 2) * fCell;
                AddFace(ground,
                        {XMFLOAT3(x0, 0.0f, z0), XMFLOAT3(x0 + fCell, 0.0f, z0),
                         XMFLOAT3(x0 + fCell, 0.0f, z0 + fCell), XMFLOAT3(x0, 0.0f, z0 + fCell)},
                        XMFLOAT3(x0, -1.0f, z0));
            }
        models.push_back({"Models/World/World_Ground.dae", {ground}, 0.1f});
    }
    {
        MeshPart pillars{"KV27_Stone", {}};
        for (std::uint32_t i = 0; i < 10; ++i)
        {
            const double a = 2.0 * PI * i / 10.0;
            AddBox(pillars,
                   XMFLOAT3(static_cast<float>(40.0 * std::cos(a)), 9.0f,
                            static_cast<float>(40.0 * std::sin(a))),
                   XMFLOAT3(1.5f, 9.0f, 1.5f));
        }
        models.push_back({"Models/World/World_Pillars.dae", {pillars}, 0.25f});
    }
    {
        MeshPart monoliths{"KV27_Stone", {}};
        for (std::uint32_t i = 0; i < 5; ++i)
        {
            const double a = 2.0 * PI * i / 5.0 + 0.3;
            AddBox(monoliths,
                   XMFLOAT3(static_cast<float>(70.0 * std::cos(a)), 14.0f + 2.0f * i,
                            static_cast<float>(70.0 * std::sin(a))),
                   XMFLOAT3(4.0f, 14.0f + 2.0f * i, 1.2f));
        }
        models.push_back({"Models/World/World_Monoliths.dae", {monoliths}, 0.25f});
    }
    for (const Model& model : models)
    {
        const std::string sName = std::filesystem::path(model.sPath).stem().string();
        if (!WriteText(model.sPath, ColladaDocument(sName, model.parts, model.fUvScale)))
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Images through the D3DX11 stand-in's writers.

std::uint8_t ToByte(double f)
{
    return static_cast<std::uint8_t>(std::lround(std::clamp(f, 0.0, 1.0) * 255.0));
}

// The colour grades: 0 leaves colours unchanged (the identity cube), the others tint the scenes.
XMFLOAT3 Grade(std::uint32_t uiGrade, double r, double g, double b)
{
    const double l = 0.2126 * r + 0.7152 * g + 0.0722 * b;
    auto contrast = [](double v, double k) { return 0.5 + (v - 0.5) * k; };
    double o[3] = {r, g, b};
    switch (uiGrade)
    {
    case 1: // cool night
        o[0] = r * 0.85 + 0.02, o[1] = g * 0.95 + 0.03, o[2] = b * 1.05 + 0.06;
        break;
    case 2: // warm dusk
        o[0] = r * 1.08 + 0.04, o[1] = g * 0.98 + 0.02, o[2] = b * 0.82;
        break;
    case 3: // bleached, hard contrast
        o[0] = contrast(0.6 * r + 0.4 * l, 1.25), o[1] = contrast(0.6 * g + 0.4 * l, 1.25),
        o[2] = contrast(0.6 * b + 0.4 * l, 1.25);
        break;
    case 4: // teal shadows, amber highlights
        o[0] = r + (l - 0.5) * 0.12, o[1] = g + 0.02, o[2] = b - (l - 0.5) * 0.12;
        break;
    case 5: // faded, lifted blacks for the close
        o[0] = 0.08 + 0.9 * r, o[1] = 0.06 + 0.88 * g, o[2] = 0.1 + 0.86 * b;
        break;
    default:
        break;
    }
    return XMFLOAT3(static_cast<float>(o[0]), static_cast<float>(o[1]), static_cast<float>(o[2]));
}

bool Generator::SaveTexture(const std::string& sPath, std::uint32_t uiWidth, std::uint32_t uiHeight,
                            std::uint32_t uiSlices, bool bCube, const std::vector<std::uint8_t>& pixels,
                            D3DX11_IMAGE_FILE_FORMAT eFormat)
{
    D3D11_TEXTURE2D_DESC desc = {};
    desc.Width = uiWidth;
    desc.Height = uiHeight;
    desc.MipLevels = 1;
    desc.ArraySize = uiSlices;
    desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    desc.MiscFlags = bCube ? D3D11_RESOURCE_MISC_TEXTURECUBE : 0;
    std::vector<D3D11_SUBRESOURCE_DATA> data(uiSlices);
    for (std::uint32_t i = 0; i < uiSlices; ++i)
    {
        data[i].pSysMem = pixels.data() + static_cast<std::size_t>(i) * uiWidth * uiHeight * 4;
        data[i].SysMemPitch = uiWidth * 4;
        data[i].SysMemSlicePitch = uiWidth * uiHeight * 4;
    }
    ID3D11Texture2D* pTexture = nullptr;
    if (FAILED(m_pDevice->CreateTexture2D(&desc, data.data(), &pTexture)))
        return Fail("cannot make the texture for " + sPath);
    std::error_code error;
    const std::filesystem::path file = m_folder / sPath;
    std::filesystem::create_directories(file.parent_path(), error);
    const HRESULT hr = D3DX11SaveTextureToFileA(m_pContext, pTexture, eFormat, file.string().c_str());
    pTexture->Release();
    if (FAILED(hr))
        return Fail("cannot save " + sPath);
    return true;
}

// A small linear congruential generator: the same numbers on every machine.
struct Random
{
    std::uint32_t uiState;
    double Next()
    {
        uiState = uiState * 1664525u + 1013904223u;
        return (uiState >> 8) / 16777216.0;
    }
};

bool Generator::WriteImages()
{
    if (FAILED(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION,
                                 &m_pDevice, nullptr, &m_pContext)))
        return Fail("cannot make a graphics device for the images");
    bool bOk = true;
    // Colour cubes: 32 tiles of 32 x 32 across, tile z holding blue z, x red and y green.
    const std::uint32_t uiSide = 32;
    for (std::uint32_t uiScene = 0; bOk && uiScene < KV27_AssetGenerator::NUM_SCENES; ++uiScene)
    {
        const bool bLast = uiScene + 1 == KV27_AssetGenerator::NUM_SCENES;
        for (std::uint32_t uiCube = 0; bOk && uiCube < (bLast ? 1u : 2u); ++uiCube)
        {
            const std::uint32_t uiGrade = bLast ? 5 : (uiCube == 0 ? 0 : uiScene + 1);
            std::vector<std::uint8_t> pixels(uiSide * uiSide * uiSide * 4);
            for (std::uint32_t y = 0; y < uiSide; ++y)
                for (std::uint32_t x = 0; x < uiSide * uiSide; ++x)
                {
                    const XMFLOAT3 c = Grade(uiGrade, (x % uiSide) / 31.0, y / 31.0, (x / uiSide) / 31.0);
                    std::uint8_t* p = &pixels[(y * uiSide * uiSide + x) * 4];
                    p[0] = ToByte(c.x), p[1] = ToByte(c.y), p[2] = ToByte(c.z), p[3] = 255;
                }
            const std::string sPath =
                "Textures/ColorGrading/ColorCube_" + SceneName(uiScene) + (uiCube == 1 ? "_2" : "") + ".png";
            bOk = SaveTexture(sPath, uiSide * uiSide, uiSide, 1, false, pixels, D3DX11_IFF_PNG);
        }
    }
    if (bOk)
    {
        // Dirty lens: soft specks and smudges on black.
        const std::uint32_t n = 256;
        std::vector<double> light(n * n, 0.0);
        Random random{27};
        for (int i = 0; i < 60; ++i)
        {
            const double cx = random.Next() * n, cy = random.Next() * n;
            const double fRadius = 3.0 + random.Next() * 22.0, fStrength = 0.08 + random.Next() * 0.35;
            for (std::uint32_t y = 0; y < n; ++y)
                for (std::uint32_t x = 0; x < n; ++x)
                {
                    const double dx = x - cx, dy = y - cy;
                    const double f = 1.0 - std::sqrt(dx * dx + dy * dy) / fRadius;
                    if (f > 0.0)
                        light[y * n + x] += fStrength * f * f;
                }
        }
        std::vector<std::uint8_t> pixels(n * n * 4);
        for (std::uint32_t i = 0; i < n * n; ++i)
        {
            pixels[i * 4 + 0] = ToByte(light[i]);
            pixels[i * 4 + 1] = ToByte(light[i] * 0.95);
            pixels[i * 4 + 2] = ToByte(light[i] * 0.85);
            pixels[i * 4 + 3] = 255;
        }
        bOk = SaveTexture("Textures/FX/FX_DirtyLens_1.dds", n, n, 1, false, pixels, D3DX11_IFF_DDS);
    }
    for (std::uint32_t uiScene = 0; bOk && uiScene < KV27_AssetGenerator::NUM_SCENES; ++uiScene)
    {
        // The static placers' environments: ground, horizon glow and sky of the scene's colours.
        const SceneSpec& spec = GetSceneSpec(uiScene);
        const std::uint32_t n = 32;
        std::vector<std::uint8_t> pixels(n * n * 6 * 4);
        for (std::uint32_t face = 0; face < 6; ++face)
            for (std::uint32_t y = 0; y < n; ++y)
                for (std::uint32_t x = 0; x < n; ++x)
                {
                    const double u = (x + 0.5) / n * 2.0 - 1.0, v = (y + 0.5) / n * 2.0 - 1.0;
                    const double dirs[6][3] = {{1, -v, -u}, {-1, -v, u}, {u, 1, v},
                                               {u, -1, -v}, {u, -v, 1},  {-u, -v, -1}};
                    const double* dir = dirs[face];
                    const double h = dir[1] / std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
                    const XMFLOAT3& sky = spec.vSkyColor;
                    const XMFLOAT3& key = spec.vKeyColor;
                    const double glow = std::exp(-std::fabs(h) * 6.0);
                    const double r = h > 0 ? sky.x * h + key.x * glow : 0.08 + key.x * glow * 0.6;
                    const double g = h > 0 ? sky.y * h + key.y * glow : 0.07 + key.y * glow * 0.6;
                    const double b = h > 0 ? sky.z * h + key.z * glow : 0.06 + key.z * glow * 0.6;
                    std::uint8_t* p = &pixels[((face * n + y) * n + x) * 4];
                    p[0] = ToByte(r), p[1] = ToByte(g), p[2] = ToByte(b), p[3] = 255;
                }
        bOk = SaveTexture(CubeMapPath(uiScene), n, n, 6, true, pixels, D3DX11_IFF_DDS);
    }
    m_pContext->ClearState();
    m_pContext->Release();
    m_pDevice->Release();
    m_pContext = nullptr;
    m_pDevice = nullptr;
    return bOk;
}

// ---------------------------------------------------------------------------------------------
// Music: a synthesised piece of the show's length, as a 16-bit mono WAV file.

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void PutU16(std::vector<std::uint8_t>& out, std::uint16_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

double NoteFrequency(int iSemitonesFromA4)
{
    return 440.0 * std::pow(2.0, iSemitonesFromA4 / 12.0);
}

std::vector<std::uint8_t> SynthesiseMusic(double fLength)
{
    const std::uint32_t uiRate = KV27_AssetGenerator::MUSIC_SAMPLE_RATE;
    const std::uint32_t uiSamples = static_cast<std::uint32_t>(std::lround(fLength * uiRate));
    // 120 beats a minute, a chord per bar of four beats: A minor, F, C, G (roots from A4).
    const double fBeat = 0.5;
    const int chords[4][3] = {{-12, -9, -5}, {-16, -12, -9}, {-9, -5, -2}, {-14, -10, -7}};
    const int arpeggio[8] = {0, 1, 2, 1, 0, 2, 1, 2};
    std::vector<std::uint8_t> out;
    out.reserve(44 + uiSamples * 2);
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    PutU32(out, 36 + uiSamples * 2);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    PutU32(out, 16);
    PutU16(out, 1); // PCM
    PutU16(out, 1); // mono
    PutU32(out, uiRate);
    PutU32(out, uiRate * 2);
    PutU16(out, 2);
    PutU16(out, 16);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    PutU32(out, uiSamples * 2);
    Random noise{1};
    for (std::uint32_t i = 0; i < uiSamples; ++i)
    {
        const double t = static_cast<double>(i) / uiRate;
        const int iBar = static_cast<int>(t / (4.0 * fBeat));
        const int* chord = chords[iBar % 4];
        const double fInBar = t - iBar * 4.0 * fBeat;
        const double fInBeat = std::fmod(t, fBeat);
        // Pad: the chord, swelling in each bar.
        double fPad = 0.0;
        for (int k = 0; k < 3; ++k)
            fPad += std::sin(2.0 * PI * NoteFrequency(chord[k]) * t);
        fPad *= 0.09 * std::min(1.0, fInBar / 0.6);
        // Bass: the root two octaves down on every beat.
        const double fBass =
            0.22 * std::exp(-fInBeat * 6.0) * std::sin(2.0 * PI * NoteFrequency(chord[0] - 24) * t);
        // Arpeggio from the second scene on, an eighth note each.
        double fArp = 0.0;
        if (t >= KV27_AssetGenerator::SCENE_DURATIONS[0])
        {
            const int iStep = static_cast<int>(t / (fBeat / 2.0));
            const double fInStep = t - iStep * (fBeat / 2.0);
            const double f = NoteFrequency(chord[arpeggio[iStep % 8]] + 12);
            fArp = 0.08 * std::exp(-fInStep * 10.0) * (std::sin(2.0 * PI * f * t) > 0.0 ? 1.0 : -1.0) * 0.5;
        }
        // Off-beat hats: decaying noise.
        const double fOff = std::fmod(t + fBeat / 2.0, fBeat);
        const double fHat = 0.05 * std::exp(-fOff * 40.0) * (noise.Next() * 2.0 - 1.0);
        // Fade in over two seconds, out over the last three.
        const double fEnvelope = std::min({1.0, t / 2.0, (fLength - t) / 3.0});
        const double v = std::clamp((fPad + fBass + fArp + fHat) * std::max(0.0, fEnvelope), -1.0, 1.0);
        PutU16(out, static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(v * 32767.0))));
    }
    return out;
}

bool Generator::WriteAudio()
{
    const double fLength = GetShowLength();
    if (!WriteBytes("Audio/KV27_Moorglow.wav", SynthesiseMusic(fLength)))
        return false;
    // The entity is read by the engine's reader and written back by its writer, so the file has
    // exactly the engine's layout.
    const std::string sPath = "Entities/Audio/KV27_Music.aud";
    if (!WriteText(sPath, "d Music\ns 0\ne " + Format(fLength) +
                              "\nl 0\n3d 0\nf Assets/Audio/KV27_Moorglow.wav\nvo 1\n"))
        return false;
    KA_AudioEntity music;
    if (!music.Load(KB_String(sPath.c_str())) || !music.Save())
        return Fail("cannot write the music entity " + sPath);
    // The master volume follows the show's fade-out.
    return SaveCurve(
        "LinearInterpolation", "Entities/Audio/MasterVolume.int", 0.0, fLength,
        {{0.0, 1.0f, 0.0f, 0.0f}, {fLength - 3.0, 1.0f, 0.0f, 0.0f}, {fLength, 0.8f, 0.0f, 0.0f}},
        "Master volume");
}

} // namespace

bool KV27_AssetGenerator::Generate(const std::string& sAssetFolder, std::string* pError)
{
    Generator generator{std::filesystem::path(sAssetFolder)};
    return generator.Run(pError);
}

bool KV27_AssetGenerator::Install(const std::string& sStagedFolder, const std::string& sAssetFolder,
                                  bool bForce, InstallReport* pReport, std::string* pError)
{
    namespace fs = std::filesystem;
    auto fail = [pError](const std::string& sWhat)
    {
        if (pError != nullptr)
            *pError = sWhat;
        return false;
    };
    KV27_AssetManifest fresh;
    if (!fresh.ReadFolder(sStagedFolder))
        return fail("cannot read the generated files in " + sStagedFolder);
    const std::string sManifest = KV27_AssetManifest::GetManifestPath(sAssetFolder);
    KV27_AssetManifest previous;
    std::error_code error;
    if (fs::exists(sManifest, error) && !previous.Load(sManifest) && !bForce)
        return fail("cannot read " + sManifest + " (--force replaces every generated file)");

    InstallReport report;
    fs::path folder = fs::absolute(fs::path(sAssetFolder)).lexically_normal();
    if (!folder.has_filename())
        folder = folder.parent_path();
    // A file is replaced when it is missing, holds what the previous run made, or on force; a
    // file with other content was edited since and is kept.
    for (const KV27_AssetManifest::Entry& entry : fresh.GetEntries())
    {
        const fs::path target = folder / entry.sPath;
        std::uint64_t uiHash = 0;
        const bool bExists = fs::exists(target, error);
        if (bExists && KV27_AssetManifest::HashFile(target.string(), &uiHash) && uiHash == entry.uiHash)
            continue;
        const KV27_AssetManifest::Entry* pPrevious = previous.Find(entry.sPath);
        if (bExists && !bForce && (pPrevious == nullptr || pPrevious->uiHash != uiHash))
        {
            report.vKept.push_back(entry.sPath);
            continue;
        }
        fs::create_directories(target.parent_path(), error);
        if (!fs::copy_file(fs::path(sStagedFolder) / entry.sPath, target,
                           fs::copy_options::overwrite_existing, error))
            return fail("cannot write " + target.string());
        report.vWritten.push_back(entry.sPath);
    }
    // Files the previous run made and this one does not: removed unless edited since.
    for (const KV27_AssetManifest::Entry& entry : previous.GetEntries())
    {
        const fs::path target = folder / entry.sPath;
        if (fresh.Find(entry.sPath) != nullptr || !fs::exists(target, error))
            continue;
        std::uint64_t uiHash = 0;
        if (!bForce && (!KV27_AssetManifest::HashFile(target.string(), &uiHash) || uiHash != entry.uiHash))
        {
            report.vKept.push_back(entry.sPath);
            continue;
        }
        if (!fs::remove(target, error))
            return fail("cannot remove " + target.string());
        report.vRemoved.push_back(entry.sPath);
        // Folders it leaves empty go too, up to the asset folder.
        for (fs::path parent = target.parent_path();
             parent != folder && parent.native().size() > folder.native().size() &&
             fs::is_empty(parent, error) && !error;
             parent = parent.parent_path())
            fs::remove(parent, error);
    }
    std::sort(report.vKept.begin(), report.vKept.end());
    if (!fresh.Save(sManifest))
        return fail("cannot write " + sManifest);
    if (pReport != nullptr)
        *pReport = report;
    return true;
}
