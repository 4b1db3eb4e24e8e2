// KV27_AssetGenerator: the scenes' omni, tube and spot lights.

#include "production/KV27_AssetGenerator.h"

#include "framework/core/KB_Color.h"
#include "framework/core/KB_String.h"
#include "production/KV27_AssetGeneratorInternal.h"
#include "render/light/KR_OmniLight.h"
#include "render/light/KR_SpotLight.h"
#include "timing/KU_VertexInterpolation.h"

#include <cmath>

using namespace DirectX;

namespace KV27_AssetGeneratorInternal
{

bool Generator::WriteLights(std::uint32_t uiScene)
{
    const SceneSpec& spec = GetSceneSpec(uiScene);
    const std::string sScene = SceneName(uiScene);
    const double fStart = GetSceneStart(uiScene);
    const double fEnd = GetSceneEnd(uiScene);
    const XMFLOAT3& key = spec.vKeyColor;
    const std::string sOmniFolder = "Entities/" + sScene + "/Lights/OmniLights/";
    const std::uint32_t uiOmnis = spec.bMovingOmni ? 3 : 2;
    for (std::uint32_t i = 0; i < uiOmnis; ++i)
    {
        const std::string sBase = sScene + "_OmniLight" + Number(i);
        KR_OmniLight light;
        SetSceneLifetime(light, uiScene, sScene + " omni " + std::to_string(i));
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
    SetSceneLifetime(spot, uiScene, sScene + " spot 0");
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

} // namespace KV27_AssetGeneratorInternal
