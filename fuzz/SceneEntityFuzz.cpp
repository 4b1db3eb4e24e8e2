// Fuzzes the scene's entity files as the scene loads them: the first byte picks the kind (bits 0-1:
// animated camera ".cam", omni light ".omn", spot light ".spt", cube-map placer ".cmp") and bit 2
// developer mode (editor objects); the rest is split at NUL bytes into the entity file and two
// curve files beside it ("a.int", "b.int") that the entity may name. The entity is loaded, asked
// for its values over a few production times, saved where it was read and loaded again from what
// it saved; the second load must write the same text as the first.

#include "framework/app/KE_ApplicationManager.h"
#include "fuzz/FuzzEngine.h"
#include "fuzz/FuzzGraphics.h"
#include "platform/d3d11/D3D11Control.h"
#include "platform/d3d11/d3d11.h"
#include "platform/directxmath/DirectXMath.h"
#include "render/camera/KR_AnimatedCamera.h"
#include "render/light/KR_OmniLight.h"
#include "render/light/KR_SpotLight.h"
#include "render/scene/KR_CubeMapPlacer.h"
#include "tests/support/MemoryRepository.h"
#include "tests/support/NullResourceManager.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

using namespace DirectX;

namespace
{

const char* const FOLDER = "Assets/Entities/S/Entities/";
const char* const ENTITY_NAMES[4] = {"e.cam", "e.omn", "e.spt", "e.cmp"};

const double TIMES[] = {-1.0, 0.0, 0.5, 3.0, 1e300, std::numeric_limits<double>::quiet_NaN()};

// Loads the entity at sPath, asks it for its values, saves it there and returns its text.
std::string Drive(KR_AnimatedCamera& camera, const KB_String& sPath)
{
    if (!camera.LoadCameraFromFile(sPath))
        __builtin_trap(); // the file is there
    for (const double fTime : TIMES)
    {
        camera.Update(fTime);
        camera.GetViewMatrix();
        camera.GetViewProjectionMatrix();
    }
    camera.SaveCameraToFile(sPath);
    return camera.CreateCameraText().GetBuffer();
}

void DriveLight(KR_LightBase& light)
{
    for (const double fTime : TIMES)
    {
        KB_Color color;
        light.GetLightStrength(fTime);
        light.GetLightSpecularStrength(fTime);
        light.GetLightColor(&color, fTime);
        light.GetLightPosition(fTime);
        light.GetLightTarget(fTime);
    }
}

std::string Drive(KR_OmniLight& light, const KB_String& sPath)
{
    if (!light.LoadFromFile(sPath))
        __builtin_trap();
    DriveLight(light);
    light.SaveToFile(sPath);
    return light.CreateLightText().GetBuffer();
}

std::string Drive(KR_SpotLight& light, const KB_String& sPath)
{
    if (!light.LoadFromFile(sPath))
        __builtin_trap();
    DriveLight(light);
    for (const double fTime : TIMES)
        if (light.HasValidView(fTime))
            light.GetViewProjectionMatrix(fTime);
    light.SaveToFile(sPath);
    return light.CreateLightText().GetBuffer();
}

std::string Drive(KR_CubeMapPlacer& placer, const KB_String& sPath)
{
    if (!placer.LoadFromFile(sPath))
        __builtin_trap();
    for (const double fTime : TIMES)
        placer.GetPosition(fTime);
    placer.SaveCubeMapPlacerToFile(sPath);
    return placer.CreateCubeMapPlacerText().GetBuffer();
}

template <typename T, typename... Arguments>
void LoadTwice(const KB_String& sPath, Arguments... arguments)
{
    std::string sFirst;
    {
        T entity(arguments...);
        sFirst = Drive(entity, sPath);
    }
    T reloaded(arguments...);
    const std::string sSecond = Drive(reloaded, sPath);
    if (sSecond != sFirst)
    {
        // Both texts in the log, to see what the save changed.
        std::fprintf(stderr, "first save:\n%s\nsecond save:\n%s\n", sFirst.c_str(), sSecond.c_str());
        __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    InstallFuzzGraphics(new NullResourceManager());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize)
{
    if (uiSize < 1)
        return 0;
    MemoryRepository& repository = FuzzEngine::Get().GetRepository();
    const std::uint8_t uiKind = pData[0] & 3;
    KE_ApplicationManager::GetInstance()->SetDeveloperBuild((pData[0] & 4) != 0);
    const std::string input(reinterpret_cast<const char*>(pData + 1), uiSize - 1);
    const char* const names[] = {ENTITY_NAMES[uiKind], "a.int", "b.int"};
    std::size_t uiBegin = 0;
    for (const char* pName : names)
    {
        if (uiBegin > input.size())
            break;
        std::size_t uiEnd = input.find('\0', uiBegin);
        if (uiEnd == std::string::npos)
            uiEnd = input.size();
        repository.SetFile(std::string(FOLDER) + pName, input.substr(uiBegin, uiEnd - uiBegin));
        uiBegin = uiEnd + 1;
    }
    const KB_String path((std::string(FOLDER) + names[0]).c_str());
    switch (uiKind)
    {
    case 0:
        LoadTwice<KR_AnimatedCamera>(path, path);
        break;
    case 1:
        LoadTwice<KR_OmniLight>(path);
        break;
    case 2:
        LoadTwice<KR_SpotLight>(path);
        break;
    default:
        LoadTwice<KR_CubeMapPlacer>(path);
        break;
    }
    repository.RemoveAllFiles();
    D3D11Control::ClearCallLog();
    return 0;
}
