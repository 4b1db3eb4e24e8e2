// Parsing and assembling one OBJ text of about a million triangles (a 708 x 708 grid of a rippled
// surface, every corner p/t/n, written as a modelling tool writes it), all in memory:
// - ObjImporter: the importer's parse with corner sharing, indices and material ids (argument 1:
//   with per-triangle tangents), which is everything an import does before the mesh is made;
// - TinyObj: tinyobjloader's parse of the same text into its attribute and index arrays;
// - TinyObjAndRemap: that parse, then the same assembly done with meshoptimizer: the corners as
//   32-byte vertices, meshopt_generateVertexRemap, and the unique vertices and indices written;
// - MeshoptRemap: the de-duplication alone, on the corners already laid out.
// The importer is meant to stay within 1.5 times TinyObjAndRemap.

#include "render/models/KR_ObjImporter.h"

#include <benchmark/benchmark.h>
#include <meshoptimizer.h>
#include <tiny_obj_loader.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <istream>
#include <streambuf>
#include <string>
#include <vector>

namespace
{

constexpr int GRID = 708;
constexpr std::size_t TRIANGLES = std::size_t{GRID - 1} * (GRID - 1) * 2;
constexpr std::size_t CORNERS = TRIANGLES * 3;

const std::string& ObjText()
{
    static const std::string s_sText = []
    {
        std::string sText = "# generated grid\nmtllib grid.mtl\no Grid\n";
        char line[256];
        for (int j = 0; j < GRID; ++j)
            for (int i = 0; i < GRID; ++i)
            {
                const double x = i * 0.01;
                const double z = j * 0.01;
                const double y = 0.05 * std::sin(x * 7.0) * std::cos(z * 5.0);
                std::snprintf(line, sizeof(line), "v %.6f %.6f %.6f\n", x, y, z);
                sText += line;
            }
        for (int j = 0; j < GRID; ++j)
            for (int i = 0; i < GRID; ++i)
            {
                std::snprintf(line, sizeof(line), "vt %.6f %.6f\n", i / double(GRID - 1),
                              j / double(GRID - 1));
                sText += line;
            }
        for (int j = 0; j < GRID; ++j)
            for (int i = 0; i < GRID; ++i)
            {
                const double x = i * 0.01;
                const double z = j * 0.01;
                const double dx = -0.35 * std::cos(x * 7.0) * std::cos(z * 5.0);
                const double dz = 0.25 * std::sin(x * 7.0) * std::sin(z * 5.0);
                const double length = std::sqrt(dx * dx + 1.0 + dz * dz);
                std::snprintf(line, sizeof(line), "vn %.4f %.4f %.4f\n", dx / length, 1.0 / length,
                              dz / length);
                sText += line;
            }
        sText += "usemtl DefaultMaterial\ns 1\n";
        for (int j = 0; j + 1 < GRID; ++j)
            for (int i = 0; i + 1 < GRID; ++i)
            {
                const int a = j * GRID + i + 1;
                const int b = a + 1;
                const int c = a + GRID + 1;
                const int d = a + GRID;
                std::snprintf(line, sizeof(line),
                              "f %d/%d/%d %d/%d/%d %d/%d/%d\nf %d/%d/%d %d/%d/%d %d/%d/%d\n", a, a, a, b, b,
                              b, c, c, c, a, a, a, c, c, c, d, d, d);
                sText += line;
            }
        return sText;
    }();
    return s_sText;
}

// An input stream straight over the text, so the peer does not pay for a copy.
class TextBuffer : public std::streambuf
{
public:
    explicit TextBuffer(const std::string& sText)
    {
        char* pBegin = const_cast<char*>(sText.data());
        setg(pBegin, pBegin, pBegin + sText.size());
    }
};

struct PeerMesh
{
    tinyobj::attrib_t attrib;
    std::vector<tinyobj::shape_t> shapes;
};

bool PeerParse(PeerMesh& mesh)
{
    TextBuffer buffer(ObjText());
    std::istream stream(&buffer);
    std::vector<tinyobj::material_t> materials;
    std::string sWarning;
    std::string sError;
    return tinyobj::LoadObj(&mesh.attrib, &mesh.shapes, &materials, &sWarning, &sError, &stream, nullptr,
                            true) &&
           mesh.shapes.size() == 1 && mesh.shapes[0].mesh.indices.size() == CORNERS;
}

// The corners as 32-byte vertices (position, normal, UV), in the importer's layout.
std::vector<float> PeerCorners(const PeerMesh& mesh)
{
    std::vector<float> vCorners(CORNERS * 8);
    float* pOut = vCorners.data();
    for (const tinyobj::index_t& index : mesh.shapes[0].mesh.indices)
    {
        const float* pPosition = &mesh.attrib.vertices[std::size_t(index.vertex_index) * 3];
        const float* pNormal = &mesh.attrib.normals[std::size_t(index.normal_index) * 3];
        const float* pUV = &mesh.attrib.texcoords[std::size_t(index.texcoord_index) * 2];
        *pOut++ = pPosition[0];
        *pOut++ = pPosition[1];
        *pOut++ = -pPosition[2];
        *pOut++ = pNormal[0];
        *pOut++ = pNormal[1];
        *pOut++ = -pNormal[2];
        *pOut++ = pUV[0];
        *pOut++ = 1.0f - pUV[1];
    }
    return vCorners;
}

void SetCounters(benchmark::State& state)
{
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * ObjText().size()));
    state.counters["triangles"] = static_cast<double>(TRIANGLES);
}

void BM_ObjImporter(benchmark::State& state)
{
    const std::string& sText = ObjText();
    KR_ObjImporter importer;
    for (auto _ : state)
    {
        const bool bParsed =
            importer.ParseText(sText.data(), sText.size(), static_cast<std::uint8_t>(state.range(0)));
        if (!bParsed || importer.GetIndexCount() != CORNERS)
        {
            state.SkipWithError("the importer did not read the grid");
            break;
        }
        benchmark::DoNotOptimize(importer.GetVertices());
    }
    state.counters["vertices"] = importer.GetVertexCount();
    SetCounters(state);
}
BENCHMARK(BM_ObjImporter)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_TinyObj(benchmark::State& state)
{
    ObjText();
    for (auto _ : state)
    {
        PeerMesh mesh;
        if (!PeerParse(mesh))
        {
            state.SkipWithError("tinyobjloader did not read the grid");
            break;
        }
        benchmark::DoNotOptimize(mesh.attrib.vertices.data());
    }
    SetCounters(state);
}
BENCHMARK(BM_TinyObj)->Unit(benchmark::kMillisecond);

void BM_TinyObjAndRemap(benchmark::State& state)
{
    ObjText();
    std::size_t uiUnique = 0;
    for (auto _ : state)
    {
        PeerMesh mesh;
        if (!PeerParse(mesh))
        {
            state.SkipWithError("tinyobjloader did not read the grid");
            break;
        }
        const std::vector<float> vCorners = PeerCorners(mesh);
        std::vector<unsigned int> vRemap(CORNERS);
        uiUnique = meshopt_generateVertexRemap(vRemap.data(), nullptr, CORNERS, vCorners.data(), CORNERS, 32);
        std::vector<float> vVertices(uiUnique * 8);
        meshopt_remapVertexBuffer(vVertices.data(), vCorners.data(), CORNERS, 32, vRemap.data());
        std::vector<unsigned int> vIndices(CORNERS);
        meshopt_remapIndexBuffer(vIndices.data(), nullptr, CORNERS, vRemap.data());
        benchmark::DoNotOptimize(vVertices.data());
        benchmark::DoNotOptimize(vIndices.data());
    }
    state.counters["vertices"] = static_cast<double>(uiUnique);
    SetCounters(state);
}
BENCHMARK(BM_TinyObjAndRemap)->Unit(benchmark::kMillisecond);

void BM_MeshoptRemap(benchmark::State& state)
{
    PeerMesh mesh;
    if (!PeerParse(mesh))
    {
        state.SkipWithError("tinyobjloader did not read the grid");
        return;
    }
    const std::vector<float> vCorners = PeerCorners(mesh);
    std::vector<unsigned int> vRemap(CORNERS);
    for (auto _ : state)
    {
        const std::size_t uiUnique =
            meshopt_generateVertexRemap(vRemap.data(), nullptr, CORNERS, vCorners.data(), CORNERS, 32);
        benchmark::DoNotOptimize(uiUnique);
        benchmark::DoNotOptimize(vRemap.data());
    }
    state.counters["triangles"] = static_cast<double>(TRIANGLES);
}
BENCHMARK(BM_MeshoptRemap)->Unit(benchmark::kMillisecond);

} // namespace
