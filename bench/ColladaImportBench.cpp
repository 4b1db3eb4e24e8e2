// COLLADA import of the generated model of about 100k triangles (bench/BenchModels.h), read from a
// file in a temporary folder: the engine's importer with the production's flags (tangents and boxes), the
// TinyXML parse alone (its share of the import), and the peer importer on the same file, once with
// comparable post-processing (merging equal vertices, tangents, boxes, left-handed conversion)
// and once without any.

#include "bench/BenchModels.h"
#include "framework/files/KU_XmlUtilities.h"
#include "render/models/KR_ColladaImporter.h"
#include "render/models/KR_ModelResource.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <benchmark/benchmark.h>
#include <tinyxml.h>

#include <cstdio>
#include <memory>
#include <string>

namespace
{

using benchmodels::ModelFixture;
using benchmodels::QUADS;

ModelFixture& GetFixture()
{
    static ModelFixture fixture;
    return fixture;
}

void SetCounters(benchmark::State& state, std::uint64_t uiTriangles)
{
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * GetFixture().uiBytes));
    state.counters["triangles"] = static_cast<double>(uiTriangles);
}

void BM_ColladaImport(benchmark::State& state)
{
    ModelFixture& fixture = GetFixture();
    std::uint64_t uiTriangles = 0;
    for (auto _ : state)
    {
        std::unique_ptr<KR_ModelResource> pModel(KR_ColladaImporter::Import("grid.dae", 1, 1, 0));
        if (pModel == nullptr)
        {
            state.SkipWithError("the import failed");
            break;
        }
        uiTriangles = pModel->GetTriangleCount();
    }
    (void)fixture;
    SetCounters(state, uiTriangles);
}
BENCHMARK(BM_ColladaImport)->Unit(benchmark::kMillisecond);

// The part of the import that is the file read and TinyXML's parse.
void BM_ColladaTinyXmlParse(benchmark::State& state)
{
    ModelFixture& fixture = GetFixture();
    for (auto _ : state)
    {
        std::unique_ptr<TiXmlDocument> pDocument(
            KU_XmlUtilities::LoadXmlDocument(&fixture.files, "grid.dae"));
        if (pDocument == nullptr)
        {
            state.SkipWithError("the document did not parse");
            break;
        }
    }
    SetCounters(state, 2 * QUADS * QUADS);
}
BENCHMARK(BM_ColladaTinyXmlParse)->Unit(benchmark::kMillisecond);

void AssimpImport(benchmark::State& state, unsigned int uiFlags)
{
    ModelFixture& fixture = GetFixture();
    const std::string sPath = fixture.sFolder + "/grid.dae";
    std::uint64_t uiTriangles = 0;
    for (auto _ : state)
    {
        Assimp::Importer importer;
        const aiScene* pScene = importer.ReadFile(sPath, uiFlags);
        if (pScene == nullptr || pScene->mNumMeshes == 0)
        {
            state.SkipWithError("the peer import failed");
            break;
        }
        uiTriangles = pScene->mMeshes[0]->mNumFaces;
    }
    SetCounters(state, uiTriangles);
}

void BM_AssimpColladaImport(benchmark::State& state)
{
    AssimpImport(state, aiProcess_JoinIdenticalVertices | aiProcess_CalcTangentSpace |
                            aiProcess_GenBoundingBoxes | aiProcess_MakeLeftHanded | aiProcess_FlipUVs);
}
BENCHMARK(BM_AssimpColladaImport)->Unit(benchmark::kMillisecond);

void BM_AssimpColladaImportRaw(benchmark::State& state)
{
    AssimpImport(state, 0);
}
BENCHMARK(BM_AssimpColladaImportRaw)->Unit(benchmark::kMillisecond);

// A document that puts 50000 different vertices (one position, 50000 normals) under one position
// index, 150000 corners: merging must stay linear, not compare each corner with every vertex of
// its position.
void BM_ColladaImportOnePosition(benchmark::State& state)
{
    ModelFixture& fixture = GetFixture();
    constexpr int NORMALS = 50000;
    std::string sNormals;
    std::string sP;
    char buffer[64];
    for (int i = 0; i < NORMALS; ++i)
    {
        std::snprintf(buffer, sizeof(buffer), "%.6g 0 1 ", i * 1e-6);
        sNormals += buffer;
    }
    for (int i = 0; i < 3 * NORMALS; ++i)
        sP += "0 " + std::to_string(i % NORMALS) + " ";
    const std::string sText =
        "<COLLADA version=\"1.4.1\"><library_geometries><geometry id=\"g\"><mesh><source "
        "id=\"p\"><float_array "
        "count=\"3\">0 0 0</float_array></source><source id=\"n\"><float_array count=\"" +
        std::to_string(3 * NORMALS) + "\">" + sNormals +
        "</float_array></source><vertices id=\"v\"><input semantic=\"POSITION\" source=\"#p\"/></vertices>"
        "<triangles><input semantic=\"VERTEX\" source=\"#v\" offset=\"0\"/><input semantic=\"NORMAL\" "
        "source=\"#n\" offset=\"1\"/><p>" +
        sP +
        "</p></triangles></mesh></geometry></library_geometries><library_visual_scenes><visual_scene "
        "id=\"s\">"
        "<node><instance_geometry url=\"#g\"/></node></visual_scene></library_visual_scenes><scene>"
        "<instance_visual_scene url=\"#s\"/></scene></COLLADA>";
    benchfiles::WriteFile(fixture.sFolder + "/one.dae", sText.data(), sText.size());
    for (auto _ : state)
    {
        std::unique_ptr<KR_ModelResource> pModel(KR_ColladaImporter::Import("one.dae", 0, 0, 0));
        if (pModel == nullptr)
        {
            state.SkipWithError("the import failed");
            break;
        }
    }
}
BENCHMARK(BM_ColladaImportOnePosition)->Unit(benchmark::kMillisecond);

} // namespace
