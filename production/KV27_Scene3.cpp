#include "production/KV27_Scene3.h"

namespace
{

using Kind = KV27_SceneCommon::DrawKind;
constexpr const char* MODELS[] = {"Prop_FloatingArtifact2", "Prop_FloatingArtifact3", "Prop_Fragmenter1",
                                  "Prop_Fragmenter2"};
constexpr KV27_SceneCommon::VectorPair VECTORS[] = {{6, 8}, {8, 9}, {10, 10}, {12, 11}};
constexpr KV27_SceneCommon::DrawEntry DRAWS[] = {
    {Kind::Fixed, 0, 2, 0}, {Kind::Fixed, 0, 3, 0}, {Kind::Spinning, 1, 4, 0}, {Kind::Fixed, 1, 5, 0},
    {Kind::Rail, 2, 6, 0},  {Kind::Rail, 2, 8, 0},  {Kind::Rail, 3, 10, 0},    {Kind::Rail, 3, 12, 0},
};

KV27_SceneCommon::Table MakeTable()
{
    KV27_SceneCommon::Table table;
    table.models = MODELS;
    table.pCubeA = "ColorCube_Scene3";
    table.pCubeB = "ColorCube_Scene3_2";
    table.uiSpinCount = 1;
    table.fSpinExtent = 0.15f;
    table.vectors = VECTORS;
    table.draws = DRAWS;
    table.uiMinVertexCurves = 14;
    table.uiMinUserCurves = 12;
    return table;
}

} // namespace

KV27_Scene3::KV27_Scene3() : KV27_SceneCommon("Scene3", MakeTable())
{
}
