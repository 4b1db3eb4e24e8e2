#pragma once
// Internal to the asset generator: what its source files share beyond KV27_AssetGenerator.h. The
// show's plan (the scene table, the scenes' times and names, the camera planes), the text form of
// numbers, and the writer one Generate call runs. The writer's common file and curve writes and
// its order of work are in KV27_AssetGenerator.cpp; each asset kind's writing is in its own
// KV27_AssetGenerator<Kind>.cpp. Main thread; one run at a time.

#include "framework/core/KB_String.h"
#include "platform/d3d11/d3d11.h"
#include "platform/d3dx11/d3dx11.h"
#include "platform/directxmath/DirectXMath.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class KU_VertexInterpolation;

namespace KV27_AssetGeneratorInternal
{

inline constexpr double PI = 3.14159265358979323846;

// Camera planes of every scene (the scene configuration hands them to the cameras).
inline constexpr float NEAR_DISTANCE = 0.5f;
inline constexpr float FAR_DISTANCE = 400.0f;
inline constexpr float FAR_DISTANCE_TOOLS = 1000.0f;

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
    DirectX::XMFLOAT3 vKeyColor;
    DirectX::XMFLOAT3 vSkyColor;
    // Multiplier of the closing seconds (exactly 1, 1, 1 leaves the colour effect off).
    DirectX::XMFLOAT3 vCloseMultiplier;
};

// The scene's entry of the show's table (uiScene below KV27_AssetGenerator::NUM_SCENES).
const SceneSpec& GetSceneSpec(std::uint32_t uiScene);
// Show time at which the scene starts (the scenes play end to end), and the show's length.
double GetSceneStart(std::uint32_t uiScene);
double GetSceneEnd(std::uint32_t uiScene);
double GetShowLength();
// An entity that lives through the whole scene (a light, a cube-map placer): its start and end
// times and its debug name.
template <typename Entity>
void SetSceneLifetime(Entity& entity, std::uint32_t uiScene, const std::string& sName)
{
    entity.SetStartTime(GetSceneStart(uiScene));
    entity.SetEndTime(GetSceneEnd(uiScene));
    entity.SetDebugName(KB_String(sName.c_str()));
}
// Two-digit entity numbers as the scene base writes them when it saves.
std::string Number(std::uint32_t i);
// "Scene1" for scene 0.
std::string SceneName(std::uint32_t uiScene);
// Text numbers with six significant digits in the C locale; never "-0".
std::string Format(double f);
// The static cube map of the scene, relative to the asset folder.
std::string CubeMapPath(std::uint32_t uiScene);

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

// One run of the generator into one folder. Every Write* returns false after noting the first
// failure (Run hands it out); the writes go through the engine's file manager, the images by OS
// path into the folder.
class Generator
{
public:
    explicit Generator(std::filesystem::path folder) : m_oFolder(std::move(folder)) {}

    // The scene configuration, the five scenes, the models, the images and the audio, in order;
    // false with *pError on the first failure.
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
    // KV27_AssetGeneratorCurves.cpp
    bool WriteVertexCurves(std::uint32_t uiScene);
    bool WriteUserCurves(std::uint32_t uiScene);
    // KV27_AssetGeneratorCameras.cpp
    bool WriteCameras(std::uint32_t uiScene);
    bool WriteSelectionCurve(std::uint32_t uiScene);
    // KV27_AssetGeneratorLights.cpp
    bool WriteLights(std::uint32_t uiScene);
    // KV27_AssetGeneratorPlacers.cpp
    bool WritePlacers(std::uint32_t uiScene);
    // KV27_AssetGeneratorChunks.cpp
    bool WriteChunks(std::uint32_t uiScene);
    // KV27_AssetGeneratorModels.cpp
    bool WriteModels();
    // KV27_AssetGeneratorTextures.cpp: the colour cubes, the dirty lens and the static cube
    // maps, on a graphics device made for them.
    bool WriteImages();
    bool WriteColorCubes();
    bool WriteDirtyLens();
    bool WriteCubeMaps();
    // Saves a texture made from the pixel rows (RGBA8, one block per array slice) by OS path.
    bool SaveTexture(const std::string& sPath, std::uint32_t uiWidth, std::uint32_t uiHeight,
                     std::uint32_t uiSlices, bool bCube, const std::vector<std::uint8_t>& pixels,
                     D3DX11_IMAGE_FILE_FORMAT eFormat);
    // KV27_AssetGeneratorAudio.cpp
    bool WriteAudio();

    std::filesystem::path m_oFolder;
    std::string m_sError;
    ID3D11Device* m_pDevice = nullptr;         // owned while WriteImages runs
    ID3D11DeviceContext* m_pContext = nullptr; // owned while WriteImages runs
};

} // namespace KV27_AssetGeneratorInternal
