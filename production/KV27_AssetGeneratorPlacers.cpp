// KV27_AssetGenerator: the scenes' cube-map placers.

#include "production/KV27_AssetGenerator.h"

#include "framework/core/KB_String.h"
#include "production/KV27_AssetGeneratorInternal.h"
#include "render/scene/KR_CubeMapPlacer.h"

using namespace DirectX;

namespace KV27_AssetGeneratorInternal
{

bool Generator::WritePlacers(std::uint32_t uiScene)
{
    const SceneSpec& spec = GetSceneSpec(uiScene);
    const std::string sScene = SceneName(uiScene);
    const double fStart = GetSceneStart(uiScene);
    const std::uint32_t uiPlacers = spec.bDynamicPlacer ? 2 : 1;
    for (std::uint32_t i = 0; i < uiPlacers; ++i)
    {
        KR_CubeMapPlacer placer;
        SetSceneLifetime(placer, uiScene, sScene + (i == 0 ? " environment" : " moving reflections"));
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

} // namespace KV27_AssetGeneratorInternal
