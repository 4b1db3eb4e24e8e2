// COLLADA import of the generated model of about 100k triangles (bench/BenchModels.h), read from a
// file in a temporary folder: the engine's importer with the production's flags (tangents and boxes), the
// TinyXML parse alone (its share of the import), and the peer importer on the same file, once with
// comparable post-processing (merging equal vertices, tangents, boxes, left-handed conversion)
// and once without any. The same grid skinned by a 50-bone chain, each bone keyed 30 times, is
// imported by both as well.

#include "bench/BenchModels.h"
#include "framework/files/KU_XmlUtilities.h"
#include "render/models/KR_ColladaImporter.h"
#include "render/models/KR_ModelResource.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <benchmark/benchmark.h>
#include <tinyxml.h>

#include <algorithm>
#include <cmath>
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

constexpr int BONES = 50;
constexpr int KEYS = 30;

// A source of iCount values read iStride at a time, its array named "<id>-array".
std::string Source(const std::string& sId, const char* pArray, int iCount, const std::string& sValues,
                   int iStride, const char* pParam, const char* pType)
{
    return "<source id=\"" + sId + "\"><" + pArray + " id=\"" + sId + "-array\" count=\"" +
           std::to_string(iCount) + "\">" + sValues + "</" + pArray +
           "><technique_common><accessor source=\"#" + sId + "-array\" count=\"" +
           std::to_string(iCount / iStride) + "\" stride=\"" + std::to_string(iStride) + "\"><param name=\"" +
           pParam + "\" type=\"" + pType + "\"/></accessor></technique_common></source>";
}

// The grid skinned along x by a chain of BONES bones (two influences per vertex), every bone
// animated by its own channel of KEYS matrices.
std::string SkinnedGridDocument()
{
    std::string sText = benchmodels::GridDocument();
    const int n = QUADS + 1;
    const float fBoneLength = QUADS * 0.1f / BONES;
    char buffer[160];
    std::string sJoints;
    std::string sInverseBinds;
    std::string sChain;
    std::string sAnimations = "<library_animations>";
    for (int b = 0; b < BONES; ++b)
    {
        sJoints += 'b';
        sJoints += std::to_string(b);
        sJoints += ' ';
        std::snprintf(buffer, sizeof(buffer), "1 0 0 %.6g 0 1 0 0 0 0 1 0 0 0 0 1 ", -b * fBoneLength);
        sInverseBinds += buffer;
        std::snprintf(buffer, sizeof(buffer),
                      "<node id=\"b%d\" sid=\"b%d\" type=\"JOINT\"><matrix sid=\"transform\">1 0 0 %.6g 0 1 "
                      "0 0 0 0 1 0 0 0 0 1</matrix>",
                      b, b, b == 0 ? 0.0f : fBoneLength);
        sChain += buffer;
        std::string sTimes;
        std::string sKeys;
        for (int k = 0; k < KEYS; ++k)
        {
            const float fAngle = 0.02f * std::sin(0.3f * k + b);
            const float c = std::cos(fAngle);
            const float s = std::sin(fAngle);
            std::snprintf(buffer, sizeof(buffer), "%.6g ", k / 30.0f);
            sTimes += buffer;
            std::snprintf(buffer, sizeof(buffer), "%.6g 0 %.6g %.6g 0 1 0 0 %.6g 0 %.6g 0 0 0 0 1 ", c, s,
                          b == 0 ? 0.0f : fBoneLength, -s, c);
            sKeys += buffer;
        }
        std::string sInterpolations;
        for (int k = 0; k < KEYS; ++k)
            sInterpolations += "LINEAR ";
        std::string sId = "a";
        sId += std::to_string(b);
        sAnimations +=
            "<animation id=\"" + sId + "\">" +
            Source(sId + "-in", "float_array", KEYS, sTimes, 1, "TIME", "float") +
            Source(sId + "-out", "float_array", 16 * KEYS, sKeys, 16, "TRANSFORM", "float4x4") +
            Source(sId + "-interp", "Name_array", KEYS, sInterpolations, 1, "INTERPOLATION", "name") +
            "<sampler id=\"" + sId + "-sampler\"><input semantic=\"INPUT\" source=\"#" + sId +
            "-in\"/><input semantic=\"OUTPUT\" source=\"#" + sId +
            "-out\"/><input semantic=\"INTERPOLATION\" source=\"#" + sId +
            "-interp\"/></sampler><channel source=\"#" + sId + "-sampler\" target=\"b" + std::to_string(b) +
            "/transform\"/></animation>";
    }
    sAnimations += "</library_animations>";
    for (int b = 0; b < BONES; ++b)
        sChain += "</node>";

    std::string sWeights;
    std::string sVCount;
    std::string sV;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x)
        {
            const float fAlong = x * 0.1f / fBoneLength;
            const int iBone = std::min(static_cast<int>(fAlong), BONES - 1);
            const int iNext = std::min(iBone + 1, BONES - 1);
            const float fWeight = 1.0f - std::min(fAlong - iBone, 1.0f);
            const int i = y * n + x;
            std::snprintf(buffer, sizeof(buffer), "%.6g %.6g ", fWeight, 1.0f - fWeight);
            sWeights += buffer;
            sVCount += "2 ";
            std::snprintf(buffer, sizeof(buffer), "%d %d %d %d ", iBone, 2 * i, iNext, 2 * i + 1);
            sV += buffer;
        }
    const std::string sCount = std::to_string(n * n);
    const std::string sControllers =
        "<library_controllers><controller id=\"skin\"><skin source=\"#grid\"><bind_shape_matrix>"
        "1 0 0 0 0 1 0 0 "
        "0 0 1 0 0 0 0 1</bind_shape_matrix>" +
        Source("skin-joints", "Name_array", BONES, sJoints, 1, "JOINT", "name") +
        Source("skin-binds", "float_array", 16 * BONES, sInverseBinds, 16, "TRANSFORM", "float4x4") +
        Source("skin-weights", "float_array", 2 * n * n, sWeights, 1, "WEIGHT", "float") +
        "<joints><input semantic=\"JOINT\" source=\"#skin-joints\"/><input semantic=\"INV_BIND_MATRIX\" "
        "source=\"#skin-binds\"/></joints><vertex_weights count=\"" +
        sCount +
        "\"><input semantic=\"JOINT\" source=\"#skin-joints\" offset=\"0\"/><input semantic=\"WEIGHT\" "
        "source=\"#skin-weights\" offset=\"1\"/><vcount>" +
        sVCount + "</vcount><v>" + sV + "</v></vertex_weights></skin></controller></library_controllers>";

    // The skeleton and the skinned instance replace the grid's node; the libraries go before the scenes.
    const std::size_t uiNode = sText.find("<node id=\"n\">");
    const std::size_t uiNodeEnd = sText.find("</visual_scene>");
    sText.replace(uiNode, uiNodeEnd - uiNode,
                  sChain + "<node id=\"skinned\"><instance_controller url=\"#skin\"><skeleton>#b0</skeleton>"
                           "<bind_material><technique_common><instance_material symbol=\"DefaultMaterial\" "
                           "target=\"#m\"/></technique_common></bind_material></instance_controller></node>");
    sText.insert(sText.find("<library_visual_scenes>"), sAnimations + sControllers);
    return sText;
}

// The skinned document beside the grid, written once.
const std::string& SkinnedPath()
{
    static const std::string s_sName = []
    {
        const std::string sText = SkinnedGridDocument();
        benchfiles::WriteFile(GetFixture().sFolder + "/skinned.dae", sText.data(), sText.size());
        return std::string("skinned.dae");
    }();
    return s_sName;
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

// The skinned, animated grid: the engine's importer with the production's flags against the peer
// with comparable post-processing (its skin is read into bone weights, its channels into
// animations).
void BM_ColladaImportSkinned(benchmark::State& state)
{
    const std::string& sName = SkinnedPath();
    std::uint64_t uiTriangles = 0;
    for (auto _ : state)
    {
        std::unique_ptr<KR_ModelResource> pModel(KR_ColladaImporter::Import(sName.c_str(), 1, 1, 0));
        if (pModel == nullptr)
        {
            state.SkipWithError("the import failed");
            break;
        }
        uiTriangles = pModel->GetTriangleCount();
    }
    state.counters["triangles"] = static_cast<double>(uiTriangles);
}
BENCHMARK(BM_ColladaImportSkinned)->Unit(benchmark::kMillisecond);

void BM_AssimpColladaImportSkinned(benchmark::State& state)
{
    const std::string sPath = GetFixture().sFolder + "/" + SkinnedPath();
    std::uint64_t uiTriangles = 0;
    for (auto _ : state)
    {
        Assimp::Importer importer;
        const aiScene* pScene = importer.ReadFile(
            sPath, aiProcess_JoinIdenticalVertices | aiProcess_CalcTangentSpace | aiProcess_GenBoundingBoxes |
                       aiProcess_MakeLeftHanded | aiProcess_FlipUVs | aiProcess_LimitBoneWeights);
        if (pScene == nullptr || pScene->mNumMeshes == 0 || pScene->mMeshes[0]->mNumBones == 0 ||
            pScene->mNumAnimations == 0)
        {
            static std::string s_sError;
            s_sError = std::string("the peer import failed: ") + importer.GetErrorString() +
                       (pScene != nullptr ? " meshes " + std::to_string(pScene->mNumMeshes) + " animations " +
                                                std::to_string(pScene->mNumAnimations)
                                          : "");
            state.SkipWithError(s_sError.c_str());
            break;
        }
        uiTriangles = pScene->mMeshes[0]->mNumFaces;
    }
    state.counters["triangles"] = static_cast<double>(uiTriangles);
}
BENCHMARK(BM_AssimpColladaImportSkinned)->Unit(benchmark::kMillisecond);

} // namespace
