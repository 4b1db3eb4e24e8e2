#include "production/KV27_Scene5.h"

namespace
{

using Kind = KV27_SceneCommon::DrawKind;
constexpr const char* MODELS[] = {"Prop_Fragmenter1", "Prop_Fragmenter2", "Prop_FloatingArtifact1",
                                  "Prop_FloatingArtifact2", "Prop_FloatingArtifact3"};
constexpr KV27_SceneCommon::VectorPair VECTORS[] = {{0, 7}, {2, 8}};
constexpr KV27_SceneCommon::DrawEntry DRAWS[] = {
    {Kind::Rail, 0, 0, 0},  {Kind::Rail, 1, 2, 0},  {Kind::Fixed, 2, 4, 0}, {Kind::Fixed, 2, 5, 0},
    {Kind::Fixed, 3, 6, 0}, {Kind::Fixed, 3, 7, 0}, {Kind::Fixed, 4, 8, 0}, {Kind::Fixed, 4, 9, 0},
};

KV27_SceneCommon::Table MakeTable()
{
    KV27_SceneCommon::Table table;
    table.models = MODELS;
    table.pCubeA = "ColorCube_Scene5";
    table.vectors = VECTORS;
    table.draws = DRAWS;
    table.uiMinVertexCurves = 10;
    table.uiMinUserCurves = 9;
    return table;
}

} // namespace

KV27_Scene5::KV27_Scene5() : KV27_SceneCommon("Scene5", MakeTable())
{
}
