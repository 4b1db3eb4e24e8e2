// KV27_AssetGenerator: the prop and world models, small flat-shaded COLLADA documents.

#include "production/KV27_AssetGenerator.h"

#include "production/KV27_AssetGeneratorInternal.h"

#include <cmath>
#include <filesystem>
#include <utility>

using namespace DirectX;

namespace KV27_AssetGeneratorInternal
{

namespace
{

struct Triangle
{
    XMFLOAT3 a, b, c;
};

struct MeshPart
{
    std::string sMaterial;
    std::vector<Triangle> vTriangles;
};

XMFLOAT3 Sub(const XMFLOAT3& a, const XMFLOAT3& b)
{
    return XMFLOAT3(a.x - b.x, a.y - b.y, a.z - b.z);
}

XMFLOAT3 Cross(const XMFLOAT3& a, const XMFLOAT3& b)
{
    return XMFLOAT3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

float Dot(const XMFLOAT3& a, const XMFLOAT3& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// A convex polygon as a triangle fan, wound counter-clockwise seen from outside (away from
// vInside).
void AddFace(MeshPart& part, const std::vector<XMFLOAT3>& polygon, const XMFLOAT3& vInside)
{
    XMFLOAT3 centre(0.0f, 0.0f, 0.0f);
    for (const XMFLOAT3& p : polygon)
        centre = XMFLOAT3(centre.x + p.x, centre.y + p.y, centre.z + p.z);
    const float fCount = static_cast<float>(polygon.size());
    centre = XMFLOAT3(centre.x / fCount, centre.y / fCount, centre.z / fCount);
    for (std::size_t i = 1; i + 1 < polygon.size(); ++i)
    {
        Triangle t{polygon[0], polygon[i], polygon[i + 1]};
        if (Dot(Cross(Sub(t.b, t.a), Sub(t.c, t.a)), Sub(centre, vInside)) < 0.0f)
            std::swap(t.b, t.c);
        part.vTriangles.push_back(t);
    }
}

void AddBox(MeshPart& part, const XMFLOAT3& c, const XMFLOAT3& h)
{
    auto corner = [&](int i)
    {
        return XMFLOAT3(c.x + ((i & 1) ? h.x : -h.x), c.y + ((i & 2) ? h.y : -h.y),
                        c.z + ((i & 4) ? h.z : -h.z));
    };
    const int faces[6][4] = {{0, 1, 3, 2}, {4, 5, 7, 6}, {0, 1, 5, 4},
                             {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 3, 7, 5}};
    for (const auto& face : faces)
        AddFace(part, {corner(face[0]), corner(face[1]), corner(face[2]), corner(face[3])}, c);
}

// A prism of n sides around the y axis, or with a single apex on top (fTopScale 0) a pyramid.
void AddPrism(MeshPart& part, std::uint32_t n, float fRadius, float fBottom, float fTop, float fTopScale)
{
    const XMFLOAT3 inside(0.0f, (fBottom + fTop) / 2.0f, 0.0f);
    std::vector<XMFLOAT3> bottom;
    std::vector<XMFLOAT3> top;
    for (std::uint32_t i = 0; i < n; ++i)
    {
        const double a = 2.0 * PI * i / n;
        const float x = static_cast<float>(std::cos(a)) * fRadius;
        const float z = static_cast<float>(std::sin(a)) * fRadius;
        bottom.emplace_back(x, fBottom, z);
        top.emplace_back(x * fTopScale, fTop, z * fTopScale);
    }
    AddFace(part, bottom, inside);
    if (fTopScale > 0.0f)
        AddFace(part, top, inside);
    for (std::uint32_t i = 0; i < n; ++i)
    {
        const std::uint32_t j = (i + 1) % n;
        if (fTopScale > 0.0f)
            AddFace(part, {bottom[i], bottom[j], top[j], top[i]}, inside);
        else
            AddFace(part, {bottom[i], bottom[j], XMFLOAT3(0.0f, fTop, 0.0f)}, inside);
    }
}

// Two pyramids base to base along the z axis (the direction a rail model faces).
void AddSpindle(MeshPart& part, std::uint32_t n, float fRadius, float fBack, float fFront)
{
    const XMFLOAT3 inside(0.0f, 0.0f, 0.0f);
    for (std::uint32_t i = 0; i < n; ++i)
    {
        const double a0 = 2.0 * PI * i / n;
        const double a1 = 2.0 * PI * (i + 1) / n;
        const XMFLOAT3 p0(static_cast<float>(std::cos(a0)) * fRadius,
                          static_cast<float>(std::sin(a0)) * fRadius, 0.0f);
        const XMFLOAT3 p1(static_cast<float>(std::cos(a1)) * fRadius,
                          static_cast<float>(std::sin(a1)) * fRadius, 0.0f);
        AddFace(part, {p0, p1, XMFLOAT3(0.0f, 0.0f, fFront)}, inside);
        AddFace(part, {p0, p1, XMFLOAT3(0.0f, 0.0f, -fBack)}, inside);
    }
}

std::string FloatList(const std::vector<float>& values)
{
    std::string s;
    for (std::size_t i = 0; i < values.size(); ++i)
    {
        if (i != 0)
            s += ' ';
        s += Format(values[i]);
    }
    return s;
}

std::string Source(const std::string& sId, const std::vector<float>& values, std::uint32_t uiStride)
{
    const char* const names = uiStride == 3 ? "XYZ" : "ST";
    std::string s = "        <source id=\"" + sId + "\">\n          <float_array id=\"" + sId +
                    "-array\" count=\"" + std::to_string(values.size()) + "\">" + FloatList(values) +
                    "</float_array>\n          <technique_common>\n            <accessor source=\"#" + sId +
                    "-array\" count=\"" + std::to_string(values.size() / uiStride) + "\" stride=\"" +
                    std::to_string(uiStride) + "\">\n";
    for (std::uint32_t i = 0; i < uiStride; ++i)
        s += std::string("              <param name=\"") + names[i] + "\" type=\"float\"/>\n";
    return s + "            </accessor>\n          </technique_common>\n        </source>\n";
}

// The document of one model: one geometry with one triangle list per part, each part's
// material bound by name (the material library's id).
std::string ColladaDocument(const std::string& sName, const std::vector<MeshPart>& parts, float fUvScale)
{
    std::vector<float> positions;
    std::vector<float> normals;
    std::vector<float> uvs;
    std::string sTriangles;
    std::uint32_t uiTriangle = 0;
    for (const MeshPart& part : parts)
    {
        std::string sIndices;
        for (const Triangle& t : part.vTriangles)
        {
            XMFLOAT3 n = Cross(Sub(t.b, t.a), Sub(t.c, t.a));
            const float fLength = std::sqrt(Dot(n, n));
            n = fLength > 0.0f ? XMFLOAT3(n.x / fLength, n.y / fLength, n.z / fLength)
                               : XMFLOAT3(0.0f, 1.0f, 0.0f);
            normals.insert(normals.end(), {n.x, n.y, n.z});
            for (const XMFLOAT3* p : {&t.a, &t.b, &t.c})
            {
                const std::uint32_t uiCorner = static_cast<std::uint32_t>(positions.size() / 3);
                positions.insert(positions.end(), {p->x, p->y, p->z});
                // Projected along the face's main axis, so every face gets an undistorted tile.
                const float ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
                const float u = ax >= ay && ax >= az ? p->z : p->x;
                const float v = ay >= ax && ay >= az ? p->z : p->y;
                uvs.insert(uvs.end(), {u * fUvScale, v * fUvScale});
                if (!sIndices.empty())
                    sIndices += ' ';
                sIndices += std::to_string(uiCorner);
                sIndices += ' ';
                sIndices += std::to_string(uiTriangle);
                sIndices += ' ';
                sIndices += std::to_string(uiCorner);
            }
            ++uiTriangle;
        }
        sTriangles +=
            "        <triangles material=\"" + part.sMaterial + "\" count=\"" +
            std::to_string(part.vTriangles.size()) + "\">\n          <input semantic=\"VERTEX\" source=\"#" +
            sName + "-vertices\" offset=\"0\"/>\n          <input semantic=\"NORMAL\" source=\"#" + sName +
            "-normals\" offset=\"1\"/>\n          <input semantic=\"TEXCOORD\" source=\"#" + sName +
            "-uvs\" offset=\"2\" set=\"0\"/>\n          <p>" + sIndices + "</p>\n        </triangles>\n";
    }
    std::string sEffects;
    std::string sMaterials;
    std::string sBindings;
    for (const MeshPart& part : parts)
    {
        const std::string& m = part.sMaterial;
        sEffects +=
            "    <effect id=\"" + m +
            "-effect\">\n      <profile_COMMON>\n        <technique sid=\"common\">\n"
            "          <lambert>\n            <diffuse>\n              <color sid=\"diffuse\">0.8 0.8 0.8 "
            "1</color>\n"
            "            </diffuse>\n          </lambert>\n        </technique>\n      </profile_COMMON>\n"
            "    </effect>\n";
        sMaterials += "    <material id=\"" + m + "-material\" name=\"" + m +
                      "\">\n      <instance_effect url=\"#" + m + "-effect\"/>\n    </material>\n";
        sBindings +=
            "              <instance_material symbol=\"" + m + "\" target=\"#" + m + "-material\"/>\n";
    }
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<COLLADA xmlns=\"http://www.collada.org/2005/11/COLLADASchema\" version=\"1.4.1\">\n"
           "  <asset>\n    <contributor>\n      <authoring_tool>Korvelane asset generator "
           "(kvassets)</authoring_tool>\n"
           "    </contributor>\n    <created>2026-12-07T00:00:00Z</created>\n    "
           "<modified>2026-12-07T00:00:00Z</modified>\n"
           "    <unit name=\"meter\" meter=\"1\"/>\n    <up_axis>Y_UP</up_axis>\n  </asset>\n"
           "  <library_effects>\n" +
           sEffects + "  </library_effects>\n  <library_materials>\n" + sMaterials +
           "  </library_materials>\n  <library_geometries>\n    <geometry id=\"" + sName + "-mesh\" name=\"" +
           sName + "\">\n      <mesh>\n" + Source(sName + "-positions", positions, 3) +
           Source(sName + "-normals", normals, 3) + Source(sName + "-uvs", uvs, 2) +
           "        <vertices id=\"" + sName +
           "-vertices\">\n          <input semantic=\"POSITION\" source=\"#" + sName +
           "-positions\"/>\n        </vertices>\n" + sTriangles +
           "      </mesh>\n    </geometry>\n  </library_geometries>\n  <library_visual_scenes>\n"
           "    <visual_scene id=\"Scene\" name=\"Scene\">\n      <node id=\"" +
           sName + "\" name=\"" + sName +
           "\" type=\"NODE\">\n        <matrix sid=\"transform\">1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1</matrix>\n"
           "        <instance_geometry url=\"#" +
           sName + "-mesh\" name=\"" + sName +
           "\">\n          <bind_material>\n            <technique_common>\n" + sBindings +
           "            </technique_common>\n          </bind_material>\n        </instance_geometry>\n      "
           "</node>\n"
           "    </visual_scene>\n  </library_visual_scenes>\n  <scene>\n    <instance_visual_scene "
           "url=\"#Scene\"/>\n"
           "  </scene>\n</COLLADA>\n";
}

// A model file: its path under the asset folder, its parts and the scale of its texture
// coordinates (tiles per metre).
struct Model
{
    std::string sPath;
    std::vector<MeshPart> parts;
    float fUvScale;
};

// The props the scenes place on their curves: the floating artifacts, the fragmenters and the
// relic.
std::vector<Model> PropModels()
{
    std::vector<Model> models;
    {
        MeshPart artifact{"KV27_Artifact", {}};
        AddPrism(artifact, 4, 1.2f, -1.6f, 0.0f, 0.0f);
        AddPrism(artifact, 4, 1.2f, 1.6f, 0.0f, 0.0f);
        models.push_back({"Models/Props/Prop_FloatingArtifact1.DAE", {artifact}, 0.5f});
    }
    {
        MeshPart artifact{"KV27_Artifact", {}};
        AddBox(artifact, XMFLOAT3(0.0f, 0.0f, 0.0f), XMFLOAT3(1.4f, 0.25f, 0.9f));
        AddBox(artifact, XMFLOAT3(0.0f, 0.6f, 0.0f), XMFLOAT3(0.4f, 0.35f, 0.4f));
        models.push_back({"Models/Props/Prop_FloatingArtifact2.DAE", {artifact}, 0.5f});
    }
    {
        MeshPart artifact{"KV27_Artifact", {}};
        AddPrism(artifact, 6, 0.9f, -1.2f, 1.2f, 0.6f);
        models.push_back({"Models/Props/Prop_FloatingArtifact3.DAE", {artifact}, 0.5f});
    }
    const float spindles[3][3] = {{0.6f, 1.0f, 2.0f}, {0.8f, 1.4f, 1.4f}, {0.45f, 0.8f, 2.6f}};
    const std::uint32_t sides[3] = {4, 6, 3};
    for (std::uint32_t i = 0; i < 3; ++i)
    {
        MeshPart fragmenter{"KV27_Fragmenter", {}};
        AddSpindle(fragmenter, sides[i], spindles[i][0], spindles[i][1], spindles[i][2]);
        models.push_back(
            {"Models/Props/Prop_Fragmenter" + std::to_string(i + 1) + ".DAE", {fragmenter}, 0.5f});
    }
    {
        // The relic: a ring of stones around a glowing core.
        MeshPart stone{"KV27_Stone", {}};
        for (std::uint32_t i = 0; i < 8; ++i)
        {
            const double a = 2.0 * PI * i / 8.0;
            AddBox(
                stone,
                XMFLOAT3(static_cast<float>(2.0 * std::cos(a)), static_cast<float>(2.0 * std::sin(a)), 0.0f),
                XMFLOAT3(0.45f, 0.45f, 0.3f));
        }
        MeshPart core{"KV27_RelicCore", {}};
        AddSpindle(core, 8, 0.8f, 0.8f, 0.8f);
        models.push_back({"Models/Props/Prop_S4_Relic.DAE", {stone, core}, 0.5f});
    }
    return models;
}

// The world chunks the scenes' chunk lists name.
std::vector<Model> WorldModels()
{
    std::vector<Model> models;
    {
        // The ground: a grid of quads, so vertex lighting and fog have something to work on.
        MeshPart ground{"KV27_Ground", {}};
        const int iCells = 12;
        const float fCell = 20.0f;
        for (int x = 0; x < iCells; ++x)
            for (int z = 0; z < iCells; ++z)
            {
                const float x0 = (x - iCells / 2) * fCell, z0 = (z - iCells / 2) * fCell;
                AddFace(ground,
                        {XMFLOAT3(x0, 0.0f, z0), XMFLOAT3(x0 + fCell, 0.0f, z0),
                         XMFLOAT3(x0 + fCell, 0.0f, z0 + fCell), XMFLOAT3(x0, 0.0f, z0 + fCell)},
                        XMFLOAT3(x0, -1.0f, z0));
            }
        models.push_back({"Models/World/World_Ground.dae", {ground}, 0.1f});
    }
    {
        MeshPart pillars{"KV27_Stone", {}};
        for (std::uint32_t i = 0; i < 10; ++i)
        {
            const double a = 2.0 * PI * i / 10.0;
            AddBox(pillars,
                   XMFLOAT3(static_cast<float>(40.0 * std::cos(a)), 9.0f,
                            static_cast<float>(40.0 * std::sin(a))),
                   XMFLOAT3(1.5f, 9.0f, 1.5f));
        }
        models.push_back({"Models/World/World_Pillars.dae", {pillars}, 0.25f});
    }
    {
        MeshPart monoliths{"KV27_Stone", {}};
        for (std::uint32_t i = 0; i < 5; ++i)
        {
            const double a = 2.0 * PI * i / 5.0 + 0.3;
            AddBox(monoliths,
                   XMFLOAT3(static_cast<float>(70.0 * std::cos(a)), 14.0f + 2.0f * i,
                            static_cast<float>(70.0 * std::sin(a))),
                   XMFLOAT3(4.0f, 14.0f + 2.0f * i, 1.2f));
        }
        models.push_back({"Models/World/World_Monoliths.dae", {monoliths}, 0.25f});
    }
    return models;
}

} // namespace

bool Generator::WriteModels()
{
    std::vector<Model> models = PropModels();
    for (Model& model : WorldModels())
        models.push_back(std::move(model));
    for (const Model& model : models)
    {
        const std::string sName = std::filesystem::path(model.sPath).stem().string();
        if (!WriteText(model.sPath, ColladaDocument(sName, model.parts, model.fUvScale)))
            return false;
    }
    return true;
}

} // namespace KV27_AssetGeneratorInternal
