// KV27_AssetGenerator: the scenes' animated cameras with their curves, and the camera selection
// curves.

#include "production/KV27_AssetGenerator.h"

#include "framework/core/KB_String.h"
#include "production/KV27_AssetGeneratorInternal.h"
#include "render/camera/KR_AnimatedCamera.h"
#include "timing/KU_VertexInterpolation.h"

#include <cmath>

namespace KV27_AssetGeneratorInternal
{

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

} // namespace KV27_AssetGeneratorInternal
