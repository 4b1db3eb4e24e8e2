// KV27_AssetGenerator: the scenes' vertex and user-defined curves (rails, props, the frame and
// post-processing values, the fragmenters' scalars).

#include "production/KV27_AssetGenerator.h"

#include "production/KV27_AssetGeneratorInternal.h"
#include "production/KV27_SceneCommon.h"
#include "timing/KU_VertexInterpolation.h"

#include <algorithm>
#include <cmath>

using namespace DirectX;

namespace KV27_AssetGeneratorInternal
{

namespace
{

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

// The user-defined curve the scene base (KR_Scene) reads for the volume lighting; the engine has
// no public name for it.
constexpr std::uint32_t VOLUME_LIGHTING_CURVE = 5;

} // namespace

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
        if (i == KV27_SceneCommon::FRAME_COLOR_CURVE)
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
        else if (i == KV27_SceneCommon::FRAME_RANGE_CURVE)
        {
            sName = "frame range";
            keys = {{0.0, 0.55f, 1.0f, 0.0f}, {d, 0.6f, 1.0f, 0.0f}};
        }
        else if (i == KV27_SceneCommon::BLOOM_CURVE)
        {
            sName = "bloom";
            keys = {{0.0, 0.3f + 0.04f * s, 0.0f, 0.0f}, {d / 2, 0.55f, 0.0f, 0.0f}, {d, 0.35f, 0.0f, 0.0f}};
        }
        else if (i == KV27_SceneCommon::FOCUS_CURVE_1)
        {
            // Depth of field f0, f1, f2: f1 and f2 are divided by, so never 0.
            sName = "depth of field 1";
            keys = {{0.0, 0.25f + 0.02f * s, 0.35f, 0.4f}, {d, 0.3f, 0.38f, 0.42f}};
        }
        else if (i == KV27_SceneCommon::FOCUS_CURVE_2)
        {
            sName = "depth of field 2";
            keys = {{0.0, 0.35f, 0.45f, 0.0f}, {d, 0.4f, 0.5f, 0.0f}};
        }
        else if (i == VOLUME_LIGHTING_CURVE)
        {
            // Volume lighting: step scale and trace distance (far beyond the near plane).
            sName = "volume lighting";
            keys = {{0.0, 1.0f, 120.0f, 0.0f}, {d, 1.2f, 140.0f, 0.0f}};
        }
        else if (i == KV27_SceneCommon::COLOR_MULTIPLIER_CURVE)
        {
            // Colour multiplier, active over the closing seconds only.
            sName = "colour multiplier";
            fCurveStart = fEnd - 3.0;
            const XMFLOAT3& m = spec.vCloseMultiplier;
            keys = {{0.0, 1.0f, 1.0f, 1.0f}, {3.0, m.x, m.y, m.z}};
        }
        else if (i == KV27_SceneCommon::CUBE_BLEND_CURVE && spec.uiFirstFragmenterScalar > i)
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

} // namespace KV27_AssetGeneratorInternal
