#include "production/KV27_Scene4.h"

namespace
{

using Kind = KV27_SceneCommon::DrawKind;
constexpr const char* MODELS[] = {"Prop_Fragmenter1",       "Prop_Fragmenter3",
                                  "Prop_S4_Relic",          "Prop_FloatingArtifact1",
                                  "Prop_FloatingArtifact2", "Prop_FloatingArtifact3"};
constexpr KV27_SceneCommon::VectorPair VECTORS[] = {{2, 8}, {4, 9}, {6, 10}};
constexpr KV27_SceneCommon::DrawEntry DRAWS[] = {
    {Kind::Rail, 0, 2, 0},   {Kind::Rail, 0, 4, 0},   {Kind::Rail, 1, 6, 0},   {Kind::Fixed, 3, 8, 0},
    {Kind::Fixed, 3, 9, 0},  {Kind::Fixed, 4, 10, 0}, {Kind::Fixed, 4, 11, 0}, {Kind::Fixed, 5, 12, 0},
    {Kind::Fixed, 5, 13, 0}, {Kind::Rail, 2, 14, 0},
};

KV27_SceneCommon::Table MakeTable()
{
    KV27_SceneCommon::Table table;
    table.models = MODELS;
    table.pCubeA = "ColorCube_Scene4";
    table.pCubeB = "ColorCube_Scene4_2";
    table.vectors = VECTORS;
    table.draws = DRAWS;
    table.uiMinVertexCurves = 16;
    table.uiMinUserCurves = 11;
    return table;
}

} // namespace

KV27_Scene4::KV27_Scene4() : KV27_SceneCommon("Scene4", MakeTable())
{
}
