#include "production/KV27_Scene1.h"

namespace
{

using Kind = KV27_SceneCommon::DrawKind;
constexpr const char* MODELS[] = {"Prop_FloatingArtifact1", "Prop_FloatingArtifact3"};
constexpr KV27_SceneCommon::DrawEntry DRAWS[] = {
    {Kind::Spinning, 0, 2, 0},
    {Kind::Spinning, 0, 3, 1},
    {Kind::Spinning, 0, 4, 2},
    {Kind::Fixed, 1, 5, 0},
};

KV27_SceneCommon::Table MakeTable()
{
    KV27_SceneCommon::Table table;
    table.models = MODELS;
    table.pCubeA = "ColorCube_Scene1";
    table.pCubeB = "ColorCube_Scene1_2";
    table.uiSpinCount = 3;
    table.fSpinExtent = 0.12f;
    table.draws = DRAWS;
    table.uiMinVertexCurves = 6;
    table.uiMinUserCurves = 8;
    return table;
}

} // namespace

KV27_Scene1::KV27_Scene1() : KV27_SceneCommon("Scene1", MakeTable())
{
}
