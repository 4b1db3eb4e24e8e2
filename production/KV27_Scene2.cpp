#include "production/KV27_Scene2.h"

namespace
{

using Kind = KV27_SceneCommon::DrawKind;
constexpr const char* MODELS[] = {"Prop_FloatingArtifact1", "Prop_FloatingArtifact2", "Prop_Fragmenter1",
                                  "Prop_Fragmenter2", "Prop_Fragmenter3"};
constexpr KV27_SceneCommon::VectorPair VECTORS[] = {{6, 8}, {8, 9}, {10, 10}, {12, 11}, {14, 12}};
constexpr KV27_SceneCommon::DrawEntry DRAWS[] = {
    {Kind::Spinning, 0, 2, 0}, {Kind::Spinning, 0, 3, 1}, {Kind::Spinning, 1, 4, 2},
    {Kind::Spinning, 1, 5, 3}, {Kind::Rail, 2, 6, 0},     {Kind::Rail, 2, 8, 0},
    {Kind::Rail, 3, 10, 0},    {Kind::Rail, 3, 12, 0},    {Kind::Rail, 4, 14, 0},
};

KV27_SceneCommon::Table MakeTable()
{
    KV27_SceneCommon::Table table;
    table.models = MODELS;
    table.pCubeA = "ColorCube_Scene2";
    table.pCubeB = "ColorCube_Scene2_2";
    table.uiSpinCount = 4;
    table.fSpinExtent = 0.1f;
    table.vectors = VECTORS;
    table.draws = DRAWS;
    table.uiMinVertexCurves = 16;
    table.uiMinUserCurves = 13;
    return table;
}

} // namespace

KV27_Scene2::KV27_Scene2() : KV27_SceneCommon("Scene2", MakeTable())
{
}
