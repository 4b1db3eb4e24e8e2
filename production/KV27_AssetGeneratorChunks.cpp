// KV27_AssetGenerator: the scenes' chunk lists and the chunks' visibility curves.

#include "production/KV27_AssetGenerator.h"

#include "production/KV27_AssetGeneratorInternal.h"

namespace KV27_AssetGeneratorInternal
{

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

} // namespace KV27_AssetGeneratorInternal
