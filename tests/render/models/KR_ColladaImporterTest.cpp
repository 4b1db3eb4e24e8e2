#include "render/models/KR_ColladaImporter.h"

#include "framework/files/KU_XmlUtilities.h"
#include "framework/threads/KT_BindStruct.h"
#include "framework/threads/KT_Future.h"
#include "render/device/KR_GraphicsContextDX11.h"
#include "render/device/KR_MaterialManager.h"
#include "render/models/KR_BoundingBox.h"
#include "render/models/KR_ColladaReaders.h"
#include "render/models/KR_MeshAnimationResource.h"
#include "render/models/KR_MeshDX11.h"
#include "render/models/KR_MeshResourceDX11.h"
#include "render/models/KR_MeshSkinnedAnimationResource.h"
#include "render/models/KR_ModelImporters.h"
#include "render/models/KR_ModelLoader.h"
#include "render/models/KR_ModelResourceDX11.h"
#include "tests/render/device/StandInGraphicsDevice.h"
#include "tests/render/models/ModelTestHelpers.h"
#include "tests/support/LibraryFactory.h"
#include "tests/support/MemoryFiles.h"
#include "tests/support/MeshMakingResourceManager.h"
#include "tests/support/TestEngine.h"
#include "timing/KU_InterpolationManager.h"
#include "timing/KU_QuaternionInterpolation.h"
#include "timing/KU_VertexInterpolation.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <tinyxml.h>
#include <vector>

using namespace DirectX;

namespace
{

const char* const LIBRARY_PATH = "Assets/Materials/Test_Materials.xml";

// What a mesh holds, read back from its record.
struct MeshData
{
    std::uint32_t uiStride = 0;
    std::uint32_t uiVertexCount = 0;
    std::vector<float> vVertices;
    std::vector<std::uint32_t> vIndices;
    std::vector<std::uint32_t> vIds;
    std::uint32_t uiSubsets = 0;
    // Float j of vertex i.
    float At(std::uint32_t i, std::uint32_t j) const { return vVertices[i * uiStride / 4 + j]; }
};

MeshData ReadMesh(const KR_MeshResource* pNode)
{
    const auto* pMesh =
        static_cast<const KR_MeshDX11*>(static_cast<const KR_MeshResourceDX11*>(pNode)->GetMesh());
    const std::vector<std::uint8_t> bytes = modeltest::Serialize(*pMesh, false);
    MeshData data;
    std::uint32_t uiTriangles = 0;
    std::memcpy(&uiTriangles, bytes.data(), 4);
    std::memcpy(&data.uiStride, bytes.data() + 4, 4);
    std::memcpy(&data.uiVertexCount, bytes.data() + 8, 4);
    std::memcpy(&data.uiSubsets, bytes.data() + 12, 4);
    const std::uint8_t* p = bytes.data() + 20 + 8 * data.uiSubsets;
    data.vVertices.resize(data.uiStride * data.uiVertexCount / 4);
    std::memcpy(data.vVertices.data(), p, data.uiStride * data.uiVertexCount);
    p += data.uiStride * data.uiVertexCount;
    data.vIndices.resize(3 * uiTriangles);
    std::memcpy(data.vIndices.data(), p, 12 * uiTriangles);
    data.vIds.resize(uiTriangles);
    std::memcpy(data.vIds.data(), p + 12 * uiTriangles, 4 * uiTriangles);
    return data;
}

std::vector<std::string> Names(const KR_MeshResource* pNode)
{
    const auto& gNames = static_cast<const KR_MeshResourceDX11*>(pNode)->GetMaterialNames();
    std::vector<std::string> vNames;
    for (std::uint32_t i = 0; i < gNames.GetNumMembers(); ++i)
        vNames.emplace_back(gNames[i].GetBuffer(), gNames[i].GetLength());
    return vNames;
}

// A source of floats with an optional accessor stride.
std::string Source(const std::string& sId, const std::string& sFloats, int iStride = 0)
{
    std::istringstream stream(sFloats);
    int iCount = 0;
    for (std::string s; stream >> s;)
        ++iCount;
    std::string sSource = "<source id=\"" + sId + "\"><float_array count=\"" + std::to_string(iCount) +
                          "\">" + sFloats + "</float_array>";
    if (iStride != 0)
        sSource +=
            "<technique_common><accessor stride=\"" + std::to_string(iStride) + "\"/></technique_common>";
    return sSource + "</source>";
}

// A geometry "<id>" with positions "<id>-p" behind vertices "<id>-v", further sources and elements.
std::string Geometry(const std::string& sId, const std::string& sPositions, const std::string& sBody)
{
    return "<geometry id=\"" + sId + "\"><mesh>" + Source(sId + "-p", sPositions) + "<vertices id=\"" + sId +
           "-v\"><input semantic=\"POSITION\" source=\"#" + sId + "-p\"/></vertices>" + sBody +
           "</mesh></geometry>";
}

std::string Vertex(const std::string& sId, int iOffset = 0)
{
    return "<input semantic=\"VERTEX\" source=\"#" + sId + "-v\" offset=\"" + std::to_string(iOffset) +
           "\"/>";
}

std::string Input(const char* pSemantic, const std::string& sSource, int iOffset, const char* pSet = nullptr)
{
    std::string s = std::string("<input semantic=\"") + pSemantic + "\" source=\"#" + sSource +
                    "\" offset=\"" + std::to_string(iOffset) + "\"";
    if (pSet != nullptr)
        s += std::string(" set=\"") + pSet + "\"";
    return s + "/>";
}

std::string Node(const std::string& sGeometry, const std::string& sInside = "")
{
    return "<node id=\"n-" + sGeometry + "\"><instance_geometry url=\"#" + sGeometry + "\"/>" + sInside +
           "</node>";
}

std::string Document(const std::string& sGeometries, const std::string& sNodes,
                     const std::string& sExtra = "", const char* pVersion = "1.4.1")
{
    return std::string("<?xml version=\"1.0\"?><COLLADA version=\"") + pVersion + "\">" + sExtra +
           "<library_materials><material id=\"a\" name=\"Stone\"/><material id=\"b\" name=\"Glass\"/>"
           "</library_materials><library_geometries>" +
           sGeometries + "</library_geometries><library_visual_scenes><visual_scene id=\"s\">" + sNodes +
           "</visual_scene></library_visual_scenes><scene><instance_visual_scene "
           "url=\"#s\"/></scene></COLLADA>";
}

const char* const TRIANGLE = "0 0 0 2 0 0 0 2 0";

// A one-triangle geometry "g" instanced at the top.
std::string OneTriangle(const std::string& sElement = "<triangles>" + Vertex("g") +
                                                      "<p>0 1 2</p></triangles>")
{
    return Document(Geometry("g", TRIANGLE, sElement), Node("g"));
}

class KR_ColladaImporterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pMemory->SetFile(LIBRARY_PATH, R"(<material_library><material id="Stone"/><material id="Glass"/>
            </material_library>)");
        m_files.Install();
        ASSERT_TRUE(m_materials.LoadMaterialLibrary());
        m_engine->SetMaterialManager(&m_materials);
        m_engine->SetGraphicsResourceManager(&m_resources);
    }
    void TearDown() override
    {
        m_engine->SetGraphicsResourceManager(nullptr);
        m_engine->SetMaterialManager(nullptr);
        m_engine->SetFileManager(nullptr);
    }

    std::unique_ptr<KR_ModelResourceDX11> Import(const std::string& sDocument, std::uint8_t uiTangents = 0,
                                                 std::uint8_t uiBoxes = 0, std::uint8_t uiCentres = 0)
    {
        m_pMemory->SetFile("Models/m.dae", sDocument);
        KR_ModelResource* pModel = KR_ColladaImporter::Import("Models/m.dae", uiTangents, uiBoxes, uiCentres);
        EXPECT_EQ(0u, m_pMemory->GetReferenceCount("Models/m.dae"));
        return std::unique_ptr<KR_ModelResourceDX11>(static_cast<KR_ModelResourceDX11*>(pModel));
    }

    // The single top-level mesh of a document that must load.
    MeshData ImportOne(const std::string& sDocument, std::uint8_t uiTangents = 0)
    {
        std::unique_ptr<KR_ModelResourceDX11> pModel = Import(sDocument, uiTangents);
        EXPECT_TRUE(pModel != nullptr && pModel->GetMeshCount() == 1);
        if (pModel == nullptr || pModel->GetMeshCount() != 1)
            return MeshData();
        return ReadMesh(pModel->GetMesh(0));
    }

    TestEngine m_engine{new LibraryFactory(LIBRARY_PATH)};
    StandInGraphicsDevice m_device{m_engine};
    MemoryFiles m_files;
    MemoryRepository* m_pMemory = m_files.GetRepository();
    KR_MaterialManager m_materials;
    MeshMakingResourceManager m_resources;
};

} // namespace

TEST_F(KR_ColladaImporterTest, ThePlaceholderCubeImportsWithTangentsBoxAndCentre)
{
    std::ifstream file(std::string(KV_SOURCE_ROOT) + "/assets/Models/Dev/Dev_UnloadedModel.dae",
                       std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    std::unique_ptr<KR_ModelResourceDX11> pModel = Import(text.str(), 1, 1, 1);
    ASSERT_NE(nullptr, pModel);
    ASSERT_EQ(1u, pModel->GetMeshCount());
    KR_MeshResource* pNode = pModel->GetMesh(0);
    EXPECT_EQ(0x0F, pNode->GetVertexFormat()); // position, normal, tangent, one UV set
    EXPECT_EQ(std::vector<std::string>{"DefaultMaterial"}, Names(pNode));
    const MeshData mesh = ReadMesh(pNode);
    EXPECT_EQ(44u, mesh.uiStride);
    EXPECT_EQ(24u, mesh.uiVertexCount); // four corners per face
    EXPECT_EQ(36u, mesh.vIndices.size());
    EXPECT_EQ(1u, mesh.uiSubsets);
    XMVECTOR vMin, vMax;
    pNode->GetBoundingBox()->GetMinMax(&vMin, &vMax);
    EXPECT_EQ(std::vector<float>({-0.5f, -0.5f, -0.5f}), std::vector<float>(vMin.f, vMin.f + 3));
    EXPECT_EQ(std::vector<float>({0.5f, 0.5f, 0.5f}), std::vector<float>(vMax.f, vMax.f + 3));
    const XMVECTOR vCentre = pNode->GetCenter();
    EXPECT_EQ(std::vector<float>(4, 0.0f), std::vector<float>(vCentre.f, vCentre.f + 4));
    for (std::uint32_t i = 0; i < mesh.uiVertexCount; ++i)
    {
        const float fDot =
            mesh.At(i, 3) * mesh.At(i, 6) + mesh.At(i, 4) * mesh.At(i, 7) + mesh.At(i, 5) * mesh.At(i, 8);
        const float fLength = std::sqrt(mesh.At(i, 6) * mesh.At(i, 6) + mesh.At(i, 7) * mesh.At(i, 7) +
                                        mesh.At(i, 8) * mesh.At(i, 8));
        EXPECT_NEAR(0.0f, fDot, 1e-6f) << i;
        EXPECT_NEAR(1.0f, fLength, 1e-6f) << i;
    }
}

TEST_F(KR_ColladaImporterTest, DocumentChecksAndSkippedGeometries)
{
    const std::string sGood = OneTriangle();
    ASSERT_NE(nullptr, Import(sGood));
    auto replaced = [&](const std::string& sFrom, const std::string& sTo)
    {
        std::string s = sGood;
        for (std::size_t i = s.find(sFrom); i != std::string::npos; i = s.find(sFrom, i + sTo.size()))
            s.replace(i, sFrom.size(), sTo);
        return s;
    };
    EXPECT_EQ(nullptr, Import(replaced("COLLADA", "collada")));
    EXPECT_EQ(nullptr, Import(replaced("1.4.1", "1.5.0")));
    EXPECT_NE(nullptr, Import(replaced("1.4.1", "1.4.0")));
    EXPECT_EQ(nullptr, Import(replaced("url=\"#s\"", "url=\"file.dae#s\"")));
    EXPECT_EQ(nullptr, Import(replaced("url=\"#s\"", "url=\"#other\"")));
    EXPECT_EQ(nullptr, Import(Document("", Node("g"))));
    std::string sNoLibrary = sGood;
    sNoLibrary.erase(sNoLibrary.find("<library_geometries>"),
                     sNoLibrary.find("<library_visual_scenes>") - sNoLibrary.find("<library_geometries>"));
    EXPECT_EQ(nullptr, Import(sNoLibrary));
    EXPECT_EQ(nullptr, Import(sGood.substr(0, sGood.size() / 2)));
    EXPECT_EQ(nullptr, KR_ColladaImporter::Import("Models/absent.dae", 0, 0, 0));
    // An element of more attributes than XML loading reads is refused as a broken file is.
    const auto withAttributes = [&](int iCount)
    {
        std::string sAttributes;
        for (int i = 0; i < iCount; ++i)
            sAttributes += " x" + std::to_string(i) + "=\"0\"";
        return replaced("<library_materials>", "<library_materials" + sAttributes + ">");
    };
    EXPECT_NE(nullptr, Import(withAttributes(KU_XmlUtilities::MAX_ELEMENT_ATTRIBUTES)));
    EXPECT_EQ(nullptr, Import(withAttributes(KU_XmlUtilities::MAX_ELEMENT_ATTRIBUTES + 1)));
    EXPECT_EQ(nullptr, Import(withAttributes(200000)));

    // A top-level camera is read as a skeleton root without a bone; empty animation and controller
    // libraries fail; an empty animation and an unnamed controller are skipped.
    EXPECT_EQ(nullptr, Import(Document(
                           Geometry("g", TRIANGLE, "<triangles>" + Vertex("g") + "<p>0 1 2</p></triangles>"),
                           Node("g") + "<node id=\"camera\"><instance_camera url=\"#c\"/></node>")));
    EXPECT_NE(nullptr,
              Import(replaced("<library_materials>", "<library_animations><animation/></library_animations>"
                                                     "<library_materials>")));
    EXPECT_NE(nullptr, Import(replaced("<library_materials>",
                                       "<library_controllers><controller/></library_controllers>"
                                       "<library_materials>")));
    EXPECT_EQ(nullptr, Import(replaced("<library_materials>", "<library_animations/><library_materials>")));
    EXPECT_EQ(nullptr, Import(replaced("<library_materials>", "<library_controllers/><library_materials>")));

    // Geometries that nothing instances are not built; with none left there is no model.
    const int iMeshesBefore = m_resources.m_iMeshes;
    std::unique_ptr<KR_ModelResourceDX11> pModel = Import(
        Document(Geometry("h", "1 1 1 2 2 2 3 3 3", "<polygons>" + Vertex("h") + "<p>0 1 2</p></polygons>") +
                     Geometry("g", TRIANGLE, "<triangles>" + Vertex("g") + "<p>0 1 2</p></triangles>"),
                 Node("g")));
    ASSERT_NE(nullptr, pModel);
    EXPECT_EQ(1u, pModel->GetMeshCount());
    EXPECT_EQ(1, m_resources.m_iMeshes - iMeshesBefore);
    EXPECT_EQ(nullptr, Import(Document(
                           Geometry("h", TRIANGLE, "<triangles>" + Vertex("h") + "<p>0 1 2</p></triangles>"),
                           Node("g"))));
}

TEST_F(KR_ColladaImporterTest, ADocumentThatBuildsNoMeshGivesNoModelAndNoCache)
{
    // The only geometry sits under a top-level group node: the group is read as a skeleton root
    // (a bone from its matrix), so the geometry is not instanced and not built.
    const std::string sGrouped =
        Document(Geometry("g", TRIANGLE, "<triangles>" + Vertex("g") + "<p>0 1 2</p></triangles>"),
                 "<node id=\"root\"><matrix sid=\"transform\">1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1</matrix>" +
                     Node("g") + "</node>");
    const int iMeshesBefore = m_resources.m_iMeshes;
    EXPECT_EQ(nullptr, Import(sGrouped));
    EXPECT_EQ(iMeshesBefore, m_resources.m_iMeshes);

    KR_ModelImporters::Clear();
    KR_ModelImporters::RegisterImporter("dae", &KR_ColladaImporter::Import);
    m_pMemory->SetFile("Models/grouped.dae", sGrouped);
    EXPECT_EQ(nullptr,
              std::unique_ptr<KR_ModelResource>(KR_ModelLoader::LoadModel("Models/grouped.dae", 0, 0, 0)));
    EXPECT_FALSE(m_pMemory->HasFile("Models/grouped.dae.bin"));
    KR_ModelImporters::Clear();

    // The group-node reading itself stays: the same group beside a top-level geometry node loads,
    // with that one mesh.
    std::unique_ptr<KR_ModelResourceDX11> pModel = Import(
        Document(Geometry("g", TRIANGLE, "<triangles>" + Vertex("g") + "<p>0 1 2</p></triangles>") +
                     Geometry("h", TRIANGLE, "<triangles>" + Vertex("h") + "<p>0 1 2 0 2 1</p></triangles>"),
                 "<node id=\"root\"><matrix sid=\"transform\">1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1</matrix>" +
                     Node("g") + "</node>" + Node("h")));
    ASSERT_NE(nullptr, pModel);
    ASSERT_EQ(1u, pModel->GetMeshCount());
    EXPECT_EQ(2u, pModel->GetMesh(0)->GetTriangleCount());
}

TEST_F(KR_ColladaImporterTest, ReadersStopAtNonNumbersAndNeverTrustCounts)
{
    TiXmlDocument document;
    document.Parse(
        "<r><a count=\"5\">1 2.5 -3</a><b count=\"2000000000\">1 2</b><c count=\"4\">1 2 x 4</c>"
        "<d>1 2 3</d><e count=\"-1\">1</e><f count=\"3\"/><g count=\"0\"/><m>1 0 0 5 0 1 0 6 0 0 1 7 "
        "0 0 0 1</m><n count=\"1\">  a  bb\n</n></r>");
    const TiXmlElement* pRoot = document.RootElement();
    ASSERT_NE(nullptr, pRoot);
    std::vector<float> vFloats;
    ASSERT_TRUE(KR_ColladaReaders::ParseFloatArray(pRoot->FirstChildElement("a"), vFloats));
    EXPECT_EQ(std::vector<float>({1.0f, 2.5f, -3.0f}), vFloats); // fewer than the count is no failure
    ASSERT_TRUE(KR_ColladaReaders::ParseFloatArray(pRoot->FirstChildElement("b"), vFloats));
    EXPECT_EQ(2u, vFloats.size());
    EXPECT_LT(vFloats.capacity(), 100u); // nothing reserved for the two billion the count claims
    ASSERT_TRUE(KR_ColladaReaders::ParseFloatArray(pRoot->FirstChildElement("c"), vFloats));
    EXPECT_EQ(std::vector<float>({1.0f, 2.0f}), vFloats);
    ASSERT_TRUE(KR_ColladaReaders::ParseFloatArray(pRoot->FirstChildElement("d"), vFloats));
    EXPECT_EQ(3u, vFloats.size());
    EXPECT_FALSE(KR_ColladaReaders::ParseFloatArray(pRoot->FirstChildElement("e"), vFloats));
    EXPECT_FALSE(KR_ColladaReaders::ParseFloatArray(pRoot->FirstChildElement("f"), vFloats));
    EXPECT_TRUE(KR_ColladaReaders::ParseFloatArray(pRoot->FirstChildElement("g"), vFloats));
    EXPECT_FALSE(KR_ColladaReaders::ParseFloatArray(nullptr, vFloats));
    std::vector<int> vInts;
    EXPECT_FALSE(KR_ColladaReaders::ParseIntArray(pRoot->FirstChildElement("g"), vInts, 0));
    ASSERT_TRUE(KR_ColladaReaders::ParseIntArray(pRoot->FirstChildElement("d"), vInts, 2));
    EXPECT_EQ(std::vector<int>({1, 2}), vInts);
    std::vector<std::string> vNames;
    ASSERT_TRUE(KR_ColladaReaders::ParseNameArray(pRoot->FirstChildElement("n"), vNames));
    EXPECT_EQ(std::vector<std::string>({"a", "bb"}), vNames); // not limited by the count
    std::vector<std::uint32_t> vIndices;
    KR_ColladaReaders::ParseIndexList(" 1 +2\t3 -4 5", vIndices);
    EXPECT_EQ(std::vector<std::uint32_t>({1, 2, 3}), vIndices);
    KR_ColladaReaders::ParseIndexList("1 99999999999 2", vIndices);
    EXPECT_EQ(std::vector<std::uint32_t>({1}), vIndices);

    const std::string sLong(300, 'q');
    TiXmlDocument names;
    names.Parse(("<n>x " + sLong + "</n>").c_str());
    ASSERT_TRUE(KR_ColladaReaders::ParseNameArray(names.RootElement(), vNames));
    EXPECT_EQ(std::vector<std::string>({"x", sLong}), vNames);

    std::string sReference = "#id";
    EXPECT_TRUE(KR_ColladaReaders::ResolveLocalReference(sReference));
    EXPECT_EQ("id", sReference);
    sReference = "file.dae#id";
    EXPECT_FALSE(KR_ColladaReaders::ResolveLocalReference(sReference));
    EXPECT_EQ("file.dae#id", sReference);
}

TEST_F(KR_ColladaImporterTest, MatricesAreTransposedAndMirroredThroughZ)
{
    TiXmlDocument document;
    document.Parse("<m>1 0 0 5 0 1 0 6 0 0 1 7 0 0 0 1</m>");
    XMMATRIX m;
    ASSERT_TRUE(KR_ColladaReaders::ParseMatrix(document.RootElement(), m));
    EXPECT_TRUE(modeltest::MatrixNear(m, XMMatrixTranslation(5, 6, -7), 1e-6f));
    TiXmlDocument shortMatrix;
    shortMatrix.Parse("<m>1 0 0 5 0 1 0 6 0 0 1 7 0 0 0</m>");
    EXPECT_FALSE(KR_ColladaReaders::ParseMatrix(shortMatrix.RootElement(), m));

    // The document's rotation by theta about y (column vectors, right-handed) becomes -theta.
    const float fTheta = 0.7f;
    const float c = std::cos(fTheta);
    const float s = std::sin(fTheta);
    const float rotation[16] = {c, 0, s, 0, 0, 1, 0, 0, -s, 0, c, 0, 0, 0, 0, 1};
    EXPECT_TRUE(modeltest::MatrixNear(KR_ColladaReaders::MatrixFromColumnMajor(rotation),
                                      XMMatrixRotationY(-fTheta), 1e-6f));

    // Translation, rotation and scale, mirrored or not, give exactly Z x transpose x Z.
    const XMMATRIX mZ = XMMatrixScaling(1, 1, -1);
    for (const XMVECTOR vScale : {XMVectorSet(2, 3, 4, 0), XMVectorSet(-1, 2, 0.5f, 0)})
    {
        const XMMATRIX mEngine =
            XMMatrixMultiply(XMMatrixMultiply(XMMatrixScalingFromVector(vScale),
                                              XMMatrixRotationRollPitchYaw(0.3f, -1.1f, 2.0f)),
                             XMMatrixTranslation(1, -2, 3));
        const XMMATRIX mDocument = XMMatrixTranspose(mEngine);
        float values[16];
        for (int i = 0; i < 16; ++i)
            values[i] = mDocument.r[i / 4].f[i % 4];
        EXPECT_TRUE(modeltest::MatrixNear(KR_ColladaReaders::MatrixFromColumnMajor(values),
                                          XMMatrixMultiply(XMMatrixMultiply(mZ, mEngine), mZ), 1e-5f));
    }
    // A sheared matrix loses its shear, never giving undefined values.
    const float sheared[16] = {1, 0.5f, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const XMMATRIX mSheared = KR_ColladaReaders::MatrixFromColumnMajor(sheared);
    for (int i = 0; i < 16; ++i)
        EXPECT_TRUE(std::isfinite(mSheared.r[i / 4].f[i % 4])) << i;
}

TEST_F(KR_ColladaImporterTest, CoordinatesAreConvertedAlikeWhateverTheUpAxis)
{
    const std::string sGeometry =
        Geometry("g", "1 2 3 0 0 0 4 0 0",
                 Source("n", "0 0 1") + Source("t", "0.25 0.25") + "<triangles>" + Vertex("g") +
                     Input("NORMAL", "n", 1) + Input("TEXCOORD", "t", 2, "0") +
                     "<p>0 0 0 1 0 0 2 0 0</p></triangles>");
    const MeshData mesh = ImportOne(Document(sGeometry, Node("g")));
    ASSERT_EQ(3u, mesh.uiVertexCount);
    ASSERT_EQ(32u, mesh.uiStride);
    EXPECT_EQ(std::vector<float>({1, 2, -3, 0, 0, -1, 0.25f, 0.75f}),
              std::vector<float>(mesh.vVertices.begin(), mesh.vVertices.begin() + 8));
    for (const char* pAxis : {"Y_UP", "Z_UP", "X_UP"})
    {
        const std::string sAsset =
            std::string("<asset><unit meter=\"0.01\"/><up_axis>") + pAxis + "</up_axis></asset>";
        EXPECT_EQ(mesh.vVertices, ImportOne(Document(sGeometry, Node("g"), sAsset)).vVertices) << pAxis;
    }

    // Texture coordinates without area give a zero tangent, not infinities or NaN.
    const MeshData flat =
        ImportOne(Document(Geometry("g", TRIANGLE,
                                    Source("n", "0 0 1") + Source("t", "0.5 0.5") + "<triangles>" +
                                        Vertex("g") + Input("NORMAL", "n", 1) +
                                        Input("TEXCOORD", "t", 1, "0") + "<p>0 0 1 0 2 0</p></triangles>"),
                           Node("g")),
                  1);
    ASSERT_EQ(44u, flat.uiStride);
    for (std::uint32_t i = 0; i < flat.uiVertexCount; ++i)
        EXPECT_EQ(std::vector<float>(3, 0.0f),
                  std::vector<float>({flat.At(i, 6), flat.At(i, 7), flat.At(i, 8)}));

    // Centre of the unique positions; the box is moved by the node's matrix, the centre is not.
    std::unique_ptr<KR_ModelResourceDX11> pModel =
        Import(Document(Geometry("g", TRIANGLE, "<triangles>" + Vertex("g") + "<p>0 1 2</p></triangles>"),
                        Node("g", "<matrix>1 0 0 10 0 1 0 0 0 0 1 0 0 0 0 1</matrix>")),
               0, 1, 1);
    ASSERT_NE(nullptr, pModel);
    KR_MeshResource* pNode = pModel->GetMesh(0);
    const XMVECTOR vCentre = pNode->GetCenter();
    EXPECT_NEAR(2.0f / 3.0f, vCentre.f[0], 1e-6f);
    EXPECT_NEAR(2.0f / 3.0f, vCentre.f[1], 1e-6f);
    EXPECT_EQ(0.0f, vCentre.f[2]);
    EXPECT_EQ(0.0f, vCentre.f[3]);
    XMVECTOR vMin, vMax;
    pNode->GetBoundingBox()->GetMinMax(&vMin, &vMax);
    EXPECT_EQ(10.0f, vMin.f[0]);
    EXPECT_EQ(12.0f, vMax.f[0]);
    XMMATRIX mTransform;
    EXPECT_TRUE(modeltest::MatrixNear(*pNode->GetTransform(&mTransform, 0.0), XMMatrixTranslation(10, 0, 0)));
}

TEST_F(KR_ColladaImporterTest, InputsOffsetsSetsAndAccessorStrides)
{
    // Stride 3 from the offsets; a "p" that is not a multiple of it fails.
    const std::string sSources = Source("n", "0 1 0") + Source("t", "0 0 1 0 0 1");
    auto element = [&](const std::string& sInputs, const std::string& sP)
    {
        return Document(
            Geometry("g", TRIANGLE, sSources + "<triangles>" + sInputs + "<p>" + sP + "</p></triangles>"),
            Node("g"));
    };
    const std::string sThree = Vertex("g") + Input("NORMAL", "n", 1) + Input("TEXCOORD", "t", 2, "0");
    EXPECT_EQ(3u, ImportOne(element(sThree, "0 0 0 1 0 1 2 0 2")).uiVertexCount);
    EXPECT_EQ(nullptr, Import(element(sThree, "0 0 0 1 0 1 2 0")));
    // Shared offset 0: one index per corner.
    EXPECT_EQ(nullptr,
              Import(element(Vertex("g") + Input("NORMAL", "n", 0), "0 1 2"))); // normal 1, 2 missing
    EXPECT_EQ(3u, ImportOne(element(Vertex("g") + Input("TEXCOORD", "t", 0), "0 1 2")).uiVertexCount);
    // A second VERTEX is ignored; its source is never read.
    EXPECT_EQ(3u, ImportOne(element(Vertex("g") + Input("VERTEX", "nothing", 0), "0 1 2")).uiVertexCount);
    // UV sets without a gap only.
    EXPECT_EQ(nullptr,
              Import(element(Vertex("g") + Input("TEXCOORD", "t", 0, "0") + Input("TEXCOORD", "t", 0, "2"),
                             "0 1 2")));
    // An unnumbered set takes UV set 1; a later set 0 is then ignored (its source would fail).
    const MeshData first = ImportOne(
        element(Vertex("g") + Input("TEXCOORD", "t", 0) + Input("TEXCOORD", "nothing", 0, "0"), "0 1 2"));
    EXPECT_EQ(20u, first.uiStride);
    // Missing attributes and negative offsets fail.
    EXPECT_EQ(nullptr, Import(element("<input semantic=\"VERTEX\" source=\"#g-v\"/>", "0 1 2")));
    EXPECT_EQ(nullptr, Import(element(Vertex("g", -1), "0 1 2")));
    EXPECT_EQ(nullptr, Import(element(Input("NORMAL", "n", 0), "0 1 2")));

    // Texture coordinates of two and of three floats (declared by the accessor) read alike.
    auto uvs = [&](const std::string& sSource)
    {
        return ImportOne(
                   Document(Geometry("g", TRIANGLE,
                                     sSource + "<triangles>" + Vertex("g") + Input("TEXCOORD", "t", 1, "0") +
                                         "<p>0 0 1 1 2 2</p></triangles>"),
                            Node("g")))
            .vVertices;
    };
    const std::vector<float> vPairs = uvs(Source("t", "0.1 0.2 0.3 0.4 0.5 0.6"));
    ASSERT_EQ(15u, vPairs.size());
    EXPECT_FLOAT_EQ(0.3f, vPairs[8]);
    EXPECT_FLOAT_EQ(1.0f - 0.4f, vPairs[9]);
    EXPECT_EQ(vPairs, uvs(Source("t", "0.1 0.2 9 0.3 0.4 9 0.5 0.6 9", 3)));
    EXPECT_EQ(vPairs, uvs(Source("t", "0.1 0.2 0.3 0.4 0.5 0.6", 2)));
    EXPECT_EQ(nullptr, Import(Document(Geometry("g", TRIANGLE,
                                                Source("t", "0.1 0.2 0.3 0.4 0.5 0.6", 1) + "<triangles>" +
                                                    Vertex("g") + Input("TEXCOORD", "t", 1, "0") +
                                                    "<p>0 0 1 1 2 2</p></triangles>"),
                                       Node("g"))));
    // The third coordinate's stride puts element 2 past a six-float source.
    EXPECT_EQ(nullptr, Import(Document(Geometry("g", TRIANGLE,
                                                Source("t", "0.1 0.2 0.3 0.4 0.5 0.6", 3) + "<triangles>" +
                                                    Vertex("g") + Input("TEXCOORD", "t", 1, "0") +
                                                    "<p>0 0 1 1 2 2</p></triangles>"),
                                       Node("g"))));
}

TEST_F(KR_ColladaImporterTest, PolygonsFanTrianglesListAndEqualCornersMerge)
{
    const std::string sSquare = "0 0 0 1 0 0 1 1 0 0 1 0";
    MeshData mesh = ImportOne(Document(
        Geometry("g", sSquare, "<polygons>" + Vertex("g") + "<p>0 1 2 3</p></polygons>"), Node("g")));
    EXPECT_EQ(std::vector<std::uint32_t>({0, 1, 2, 0, 2, 3}), mesh.vIndices);
    // Corners naming one position index merge; equal bytes under another position index do not.
    mesh = ImportOne(Document(Geometry("g", sSquare + " 0 0 0",
                                       "<triangles>" + Vertex("g") + "<p>0 1 2 0 2 3 4 2 3</p></triangles>"),
                              Node("g")));
    EXPECT_EQ(std::vector<std::uint32_t>({0, 1, 2, 0, 2, 3, 4, 2, 3}), mesh.vIndices);
    EXPECT_EQ(5u, mesh.uiVertexCount);

    EXPECT_EQ(nullptr, Import(Document(
                           Geometry("g", sSquare, "<triangles>" + Vertex("g") + "<p>0 1 2 3</p></triangles>"),
                           Node("g"))));
    EXPECT_EQ(nullptr, Import(Document(Geometry("g", sSquare,
                                                "<polylist><vcount>4</vcount>" + Vertex("g") +
                                                    "<p>0 1 2 3</p></polylist>"),
                                       Node("g"))));
    // Different inputs in one geometry choose different formats.
    EXPECT_EQ(nullptr,
              Import(Document(Geometry("g", sSquare,
                                       Source("n", "0 0 1") + "<triangles>" + Vertex("g") + "<p>0 1 2</p>" +
                                           "</triangles><triangles>" + Vertex("g") + Input("NORMAL", "n", 1) +
                                           "<p>0 0 2 0 3 0</p></triangles>"),
                              Node("g"))));

    // A polygon of two corners gives no triangle and no subset; the next element is subset 0.
    std::unique_ptr<KR_ModelResourceDX11> pModel = Import(
        Document(Geometry("g", sSquare,
                          "<polygons material=\"Glass\">" + Vertex("g") + "<p>0 1</p><p>2 3</p></polygons>" +
                              "<triangles material=\"Stone\">" + Vertex("g") + "<p>0 1 2</p></triangles>"),
                 Node("g")));
    ASSERT_NE(nullptr, pModel);
    EXPECT_EQ(std::vector<std::string>{"Stone"}, Names(pModel->GetMesh(0)));
    EXPECT_EQ(std::vector<std::uint32_t>{0}, ReadMesh(pModel->GetMesh(0)).vIds);
    // Without any triangle the geometry fails, whatever its elements.
    EXPECT_EQ(nullptr,
              Import(Document(Geometry("g", sSquare, "<polygons>" + Vertex("g") + "<p>0 1</p></polygons>"),
                              Node("g"))));
    EXPECT_EQ(nullptr,
              Import(Document(Geometry("g", sSquare, "<triangles>" + Vertex("g") + "<p> </p></triangles>"),
                              Node("g"))));
    EXPECT_EQ(nullptr, Import(Document(Geometry("g", sSquare, "<triangles>" + Vertex("g") + "</triangles>"),
                                       Node("g"))));
}

TEST_F(KR_ColladaImporterTest, EachSubsetIsDrawnWithItsOwnElementsMaterial)
{
    auto names = [&](const std::vector<const char*>& vMaterials)
    {
        std::string sElements;
        for (const char* pMaterial : vMaterials)
            sElements += std::string("<triangles") +
                         (pMaterial != nullptr ? std::string(" material=\"") + pMaterial + "\"" : "") + ">" +
                         Vertex("g") + "<p>0 1 2</p></triangles>";
        std::unique_ptr<KR_ModelResourceDX11> pModel =
            Import(Document(Geometry("g", TRIANGLE, sElements), Node("g")));
        EXPECT_NE(nullptr, pModel);
        return pModel != nullptr ? Names(pModel->GetMesh(0)) : std::vector<std::string>();
    };
    EXPECT_EQ(std::vector<std::string>({"Stone", "DefaultMaterial", "DefaultMaterial"}),
              names({"Stone", nullptr, nullptr}));
    EXPECT_EQ(std::vector<std::string>({"Stone", "Stone"}), names({"Stone", "Stone"}));
    // Not in library order (Stone, Glass), and an unnamed element first.
    EXPECT_EQ(std::vector<std::string>({"Glass", "Stone"}), names({"Glass", "Stone"}));
    EXPECT_EQ(std::vector<std::string>({"DefaultMaterial", "Glass"}), names({nullptr, "Glass"}));
    EXPECT_EQ(std::vector<std::string>({"DefaultMaterial"}), names({"Wood"}));
}

TEST_F(KR_ColladaImporterTest, NodesNestGeometriesIntoATreeAndRefuseCycles)
{
    const std::string sGeometries =
        Geometry("a", TRIANGLE, "<triangles>" + Vertex("a") + "<p>0 1 2</p></triangles>") +
        Geometry("b", TRIANGLE, "<triangles>" + Vertex("b") + "<p>0 1 2 0 2 1</p></triangles>");
    // Roots in geometry document order, whatever the node order.
    std::unique_ptr<KR_ModelResourceDX11> pModel = Import(Document(sGeometries, Node("b") + Node("a")));
    ASSERT_NE(nullptr, pModel);
    ASSERT_EQ(2u, pModel->GetMeshCount());
    EXPECT_EQ(1u, pModel->GetMesh(0)->GetTriangleCount());
    EXPECT_EQ(2u, pModel->GetMesh(1)->GetTriangleCount());

    pModel = Import(Document(
        sGeometries, Node("a", "<node><matrix>1 0 0 1 0 1 0 2 0 0 1 3 0 0 0 1</matrix>"
                               "<instance_geometry url=\"#b\"/><translate>5 5 5</translate></node>")));
    ASSERT_NE(nullptr, pModel);
    ASSERT_EQ(1u, pModel->GetMeshCount());
    KR_MeshResource* pRoot = pModel->GetMesh(0);
    ASSERT_EQ(1u, pRoot->GetChildCount());
    EXPECT_EQ(2u, pRoot->GetChild(0)->GetTriangleCount());
    XMMATRIX m;
    EXPECT_TRUE(
        modeltest::MatrixNear(*pRoot->GetChild(0)->GetTransform(&m, 0.0), XMMatrixTranslation(1, 2, -3)));
    EXPECT_TRUE(modeltest::MatrixNear(*pRoot->GetTransform(&m, 0.0), XMMatrixIdentity())); // no "matrix"

    // The same geometry instanced twice is built once.
    const int iMeshesBefore = m_resources.m_iMeshes;
    pModel = Import(Document(sGeometries, Node("a") + Node("a")));
    ASSERT_NE(nullptr, pModel);
    EXPECT_EQ(1u, pModel->GetMeshCount());
    EXPECT_EQ(1, m_resources.m_iMeshes - iMeshesBefore);

    // A parent that was not built, a geometry under itself, a cycle of two, a controller parent.
    EXPECT_EQ(nullptr, Import(Document(sGeometries, Node("x", Node("a")))));
    EXPECT_EQ(nullptr, Import(Document(sGeometries, Node("a", Node("a")))));
    EXPECT_EQ(nullptr, Import(Document(sGeometries, Node("a", Node("b", Node("a"))))));
    EXPECT_EQ(nullptr, Import(Document(sGeometries, "<node><instance_controller url=\"#skin\"/>" + Node("a") +
                                                        "</node>")));
    EXPECT_EQ(nullptr, Import(Document(sGeometries, "<node><instance_geometry url=\"b\"/></node>")));
    EXPECT_EQ(nullptr, Import(Document(sGeometries, Node("a", "<matrix>1 0 0</matrix>"))));
}

TEST_F(KR_ColladaImporterTest, ParentChainsDeeperThanTheCacheHoldsAreRefused)
{
    // Instancing a geometry again below another node re-parents it, so top-level pairs of nodes,
    // each only two deep in the document, chain the meshes g0 <- g1 <- g2 ...: as deep as the
    // document has geometries. Deeper than the model cache nests nodes it would be cached without
    // ever reading back (and drawn and freed by recursion as deep).
    auto chain = [](std::uint32_t uiMeshes)
    {
        std::string sGeometries;
        std::string sNodes;
        for (std::uint32_t i = 0; i < uiMeshes; ++i)
        {
            // Appended, not "g" + number: GCC's -O3 restrict warning misfires on a literal plus a string.
            std::string sId = "g";
            sId += std::to_string(i);
            sGeometries += Geometry(sId, TRIANGLE, "<triangles>" + Vertex(sId) + "<p>0 1 2</p></triangles>");
            if (i + 1 < uiMeshes)
            {
                std::string sChild = "g";
                sChild += std::to_string(i + 1);
                sNodes += Node(sId, Node(sChild));
            }
        }
        return Document(sGeometries, sNodes);
    };
    std::unique_ptr<KR_ModelResourceDX11> pModel = Import(chain(KR_MeshResource::MAX_DEPTH));
    ASSERT_NE(nullptr, pModel);
    ASSERT_EQ(1u, pModel->GetMeshCount());
    std::uint32_t uiDepth = 1;
    for (KR_MeshResource* pNode = pModel->GetMesh(0); pNode->GetChildCount() != 0; pNode = pNode->GetChild(0))
        ++uiDepth;
    EXPECT_EQ(KR_MeshResource::MAX_DEPTH, uiDepth);
    const std::vector<std::uint8_t> bytes = modeltest::Serialize(*pModel, false);
    KR_ModelResourceDX11 read;
    EXPECT_TRUE(modeltest::Deserialize(read, bytes));

    EXPECT_EQ(nullptr, Import(chain(KR_MeshResource::MAX_DEPTH + 1)));
}

TEST_F(KR_ColladaImporterTest, HostileDocumentsFailCleanly)
{
    auto triangles = [](const std::string& sPositions, const std::string& sP, const std::string& sCount = "")
    {
        std::string sGeometry =
            Geometry("g", sPositions, "<triangles>" + Vertex("g") + "<p>" + sP + "</p></triangles>");
        if (!sCount.empty())
            sGeometry.replace(sGeometry.find("count=\""),
                              sGeometry.find('"', sGeometry.find("count=\"") + 7) -
                                  sGeometry.find("count=\"") + 1,
                              "count=\"" + sCount + "\"");
        return Document(sGeometry, Node("g"));
    };
    EXPECT_EQ(nullptr, Import(triangles(TRIANGLE, "0 1 3")));           // past the positions
    EXPECT_EQ(nullptr, Import(triangles(TRIANGLE, "0 1 4294967295")));  // far past them
    EXPECT_EQ(nullptr, Import(triangles(TRIANGLE, "0 1 99999999999"))); // not a u32: the list ends short
    EXPECT_EQ(nullptr, Import(triangles(TRIANGLE, "0 1 x 2")));
    EXPECT_EQ(nullptr, Import(triangles("0 0 0 2 0 x 0 2 0", "0 1 2"))); // five floats
    EXPECT_NE(nullptr, Import(triangles(TRIANGLE, "0 1 2", "2147483647")));
    EXPECT_EQ(nullptr, Import(triangles(TRIANGLE, "0 1 2", "-9")));
    EXPECT_EQ(nullptr, Import(triangles(TRIANGLE, "0 1 2", "0")));
    EXPECT_EQ(nullptr,
              Import(Document(Geometry("g", TRIANGLE,
                                       Source("n", "0 0 1") + "<triangles>" + Vertex("g") +
                                           Input("NORMAL", "n", 1) + "<p>0 0 1 1 2 0</p></triangles>"),
                              Node("g"))));
    // A huge offset makes a huge tuple stride, which no "p" fills.
    EXPECT_EQ(nullptr,
              Import(Document(Geometry("g", TRIANGLE,
                                       "<triangles>" + Vertex("g", 2147483647) + "<p>0 1 2</p></triangles>"),
                              Node("g"))));
    // A second geometry of one id replaces the first (the first freed; AddressSanitizer checks).
    std::unique_ptr<KR_ModelResourceDX11> pModel = Import(
        Document(Geometry("g", TRIANGLE, "<triangles>" + Vertex("g") + "<p>0 1 2</p></triangles>") +
                     Geometry("g", TRIANGLE, "<triangles>" + Vertex("g") + "<p>0 1 2 0 2 1</p></triangles>"),
                 Node("g")));
    ASSERT_NE(nullptr, pModel);
    ASSERT_EQ(1u, pModel->GetMeshCount());
    EXPECT_EQ(2u, pModel->GetMesh(0)->GetTriangleCount());

    // A failure after meshes were built frees them; no mesh can be made without a resource manager.
    EXPECT_EQ(
        nullptr,
        Import(Document(Geometry("a", TRIANGLE, "<triangles>" + Vertex("a") + "<p>0 1 2</p></triangles>") +
                            Geometry("b", TRIANGLE, "<triangles>" + Vertex("b") + "<p>0 1 5</p></triangles>"),
                        Node("a") + Node("b"))));
    m_engine->SetGraphicsResourceManager(nullptr);
    EXPECT_EQ(nullptr, Import(OneTriangle()));
    m_engine->SetGraphicsResourceManager(&m_resources);

    // Truncations and byte flips of the placeholder either load or give null, never crash.
    std::ifstream file(std::string(KV_SOURCE_ROOT) + "/assets/Models/Dev/Dev_UnloadedModel.dae",
                       std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    const std::string sCube = text.str();
    for (std::size_t uiLength = 0; uiLength < sCube.size(); uiLength += 13)
        EXPECT_EQ(nullptr, Import(sCube.substr(0, uiLength), 1, 1, 1)) << uiLength;
    std::uint32_t uiState = 29;
    for (int i = 0; i < 1500; ++i)
    {
        std::string sFlipped = sCube;
        for (int j = 0; j < 3; ++j)
        {
            uiState = uiState * 1664525u + 1013904223u;
            const char digits[] = "0123456789 -x#";
            sFlipped[(uiState >> 8) % sFlipped.size()] = digits[(uiState >> 4) % 14];
        }
        Import(sFlipped, 1, 1, 1);
    }
}

TEST_F(KR_ColladaImporterTest, TheGraphicsContextRegistersTheImporterWithTheLoader)
{
    KR_ModelImporters::Clear();
    {
        KR_GraphicsContextDX11 context;
        delete context.CreateGraphicsResourceManager();
    }
    EXPECT_EQ(&KR_ColladaImporter::Import, KR_ModelImporters::FindImporter("Models/Thing.DAE"));
    m_pMemory->SetFile("Models/thing.dae", OneTriangle());
    std::unique_ptr<KR_ModelResource> pModel(KR_ModelLoader::LoadModel("Models/thing.dae", 0, 0, 0));
    ASSERT_NE(nullptr, pModel);
    EXPECT_EQ(1u, pModel->GetTriangleCount());
    KR_ModelImporters::Clear();
}

namespace
{

const char* const IDENTITY = "1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1";

// A document matrix (row by row, column vectors) translating by (x, y, z).
std::string Translation(float x, float y, float z = 0.0f)
{
    std::ostringstream text;
    text << "1 0 0 " << x << " 0 1 0 " << y << " 0 0 1 " << z << " 0 0 0 1";
    return text.str();
}

// An animation "<id>" keying the target at the times with the document matrices.
std::string Animation(const std::string& sId, const std::string& sTarget, const std::string& sTimes,
                      const std::string& sMatrices)
{
    return "<animation id=\"" + sId + "\">" + Source(sId + "-in", sTimes) + Source(sId + "-out", sMatrices) +
           "<sampler><input semantic=\"INPUT\" source=\"#" + sId +
           "-in\"/><input semantic=\"OUTPUT\" "
           "source=\"#" +
           sId + "-out\"/></sampler><channel source=\"#x\" target=\"" + sTarget + "\"/></animation>";
}

std::string Animations(const std::string& sAnimations)
{
    return "<library_animations>" + sAnimations + "</library_animations>";
}

// A joint node whose matrix has the sid "m" (or none with an empty sid).
std::string Joint(const std::string& sId, const std::string& sMatrix, const std::string& sChildren = "",
                  const char* pSid = "m")
{
    return "<node id=\"" + sId + "\"><matrix" + (*pSid != 0 ? std::string(" sid=\"") + pSid + "\"" : "") +
           ">" + sMatrix + "</matrix>" + sChildren + "</node>";
}

std::string SkinNode(const std::string& sController)
{
    return "<node id=\"at-" + sController + "\"><instance_controller url=\"#" + sController + "\"/></node>";
}

// A skin controller over a geometry; the weights input has offset 1, the joints offset 0.
struct SkinSpec
{
    std::string sController = "c";
    std::string sGeometry = "g";
    std::string sJoints;
    std::string sInverseBinds;
    std::string sWeights = "1";
    std::string sVCount;
    std::string sV;
    std::string sBindShape;
};

std::string Skin(const SkinSpec& spec)
{
    std::istringstream stream(spec.sVCount);
    int iCount = 0;
    for (std::string s; stream >> s;)
        ++iCount;
    const std::string& c = spec.sController;
    return "<controller id=\"" + c + "\"><skin source=\"#" + spec.sGeometry + "\">" +
           (spec.sBindShape.empty() ? "" : "<bind_shape_matrix>" + spec.sBindShape + "</bind_shape_matrix>") +
           "<source id=\"" + c + "-j\"><Name_array>" + spec.sJoints + "</Name_array></source>" +
           Source(c + "-ib", spec.sInverseBinds) + Source(c + "-w", spec.sWeights) +
           "<joints><input semantic=\"JOINT\" source=\"#" + c +
           "-j\"/><input semantic=\"INV_BIND_MATRIX\" "
           "source=\"#" +
           c + "-ib\"/></joints><vertex_weights count=\"" + std::to_string(iCount) +
           "\"><input semantic=\"JOINT\" source=\"#" + c +
           "-j\" offset=\"0\"/><input semantic=\"WEIGHT\" "
           "source=\"#" +
           c + "-w\" offset=\"1\"/><vcount>" + spec.sVCount + "</vcount><v>" + spec.sV +
           "</v></vertex_weights></skin></controller>";
}

std::string Controllers(const std::string& sControllers)
{
    return "<library_controllers>" + sControllers + "</library_controllers>";
}

// One skin record of a position-only skinned mesh.
struct Skinned
{
    float position[3];
    float weights[4];
    std::uint8_t bones[4];
};

std::vector<Skinned> ReadSkinned(const MeshData& mesh)
{
    std::vector<Skinned> vOut;
    EXPECT_EQ(32u, mesh.uiStride);
    if (mesh.uiStride != 32)
        return vOut;
    for (std::uint32_t i = 0; i < mesh.uiVertexCount; ++i)
    {
        Skinned vertex;
        std::memcpy(&vertex, reinterpret_cast<const std::uint8_t*>(mesh.vVertices.data()) + 32 * i, 32);
        vOut.push_back(vertex);
    }
    return vOut;
}

std::string Name(const KB_String& s)
{
    return std::string(s.GetBuffer(), s.GetLength());
}

} // namespace

TEST_F(KR_ColladaImporterTest, ChannelsAnimateTheNodesWhoseMatrixTheyTarget)
{
    const std::string sTriangle =
        Geometry("g", TRIANGLE, "<triangles>" + Vertex("g") + "<p>0 1 2</p></triangles>");
    const std::string sKeys = Translation(0, 0, 0) + " " + Translation(2, 0, 0) + " " + Translation(4, 0, 1);
    auto document = [&](const std::string& sAnimations, const char* pMatrix = "<matrix sid=\"m\">")
    {
        return Document(sTriangle, Node("g", pMatrix + Translation(7, 0, 0) + "</matrix>"),
                        Animations(sAnimations));
    };

    std::unique_ptr<KR_ModelResourceDX11> pModel = Import(document(Animation("a", "n-g/m", "1 2 3", sKeys)));
    ASSERT_NE(nullptr, pModel);
    auto* pNode = static_cast<KR_MeshResourceDX11*>(pModel->GetMesh(0));
    KR_MeshAnimationResource* pAnimation = pNode->GetAnimation();
    ASSERT_NE(nullptr, pAnimation);
    EXPECT_EQ(1.0, pAnimation->GetStartTime());
    EXPECT_EQ(3.0, pAnimation->GetEndTime());
    ASSERT_EQ(3u, pAnimation->GetTranslation()->GetNumTimeStamps());
    EXPECT_EQ(0.0, pAnimation->GetTranslation()->GetTimeStamp(0));
    EXPECT_EQ(2.0, pAnimation->GetTranslation()->GetTimeStamp(2));
    EXPECT_EQ(3u, pAnimation->GetRotation()->GetNumQuaternions());
    XMMATRIX m;
    EXPECT_TRUE(modeltest::MatrixNear(*pNode->GetTransform(&m, 2.0), XMMatrixTranslation(2, 0, 0), 1e-6f));
    EXPECT_TRUE(
        modeltest::MatrixNear(*pNode->GetTransform(&m, 2.5), XMMatrixTranslation(3, 0, -0.5f), 1e-6f));
    EXPECT_EQ(std::vector<std::string>{"DefaultMaterial"}, Names(pNode));

    // A later channel of the same target replaces the earlier one.
    pModel =
        Import(document(Animation("a", "n-g/m", "1 2 3", sKeys) +
                        Animation("b", "n-g/m", "0 1", Translation(5, 5, 0) + " " + Translation(6, 5, 0))));
    ASSERT_NE(nullptr, pModel);
    EXPECT_TRUE(modeltest::MatrixNear(*pModel->GetMesh(0)->GetTransform(&m, 0.0),
                                      XMMatrixTranslation(5, 5, 0), 1e-6f));

    // Nested animations are read; other targets and matrices without a sid reach nothing.
    pModel = Import(document("<animation>" + Animation("a", "n-g/m", "1 2 3", sKeys) + "</animation>"));
    ASSERT_NE(nullptr, pModel);
    EXPECT_NE(nullptr, static_cast<KR_MeshResourceDX11*>(pModel->GetMesh(0))->GetAnimation());
    for (const std::string& sOther : {document(Animation("a", "n-g/other", "1 2 3", sKeys)),
                                      document(Animation("a", "n-g/m", "1 2 3", sKeys), "<matrix>"),
                                      document(Animation("a", "n-g/m", "", ""))})
    {
        pModel = Import(sOther);
        ASSERT_NE(nullptr, pModel);
        EXPECT_EQ(nullptr, static_cast<KR_MeshResourceDX11*>(pModel->GetMesh(0))->GetAnimation());
        EXPECT_TRUE(
            modeltest::MatrixNear(*pModel->GetMesh(0)->GetTransform(&m, 0.0), XMMatrixTranslation(7, 0, 0)));
    }

    // 47 output floats for 3 keys, outputs without times, a missing channel, target or source.
    EXPECT_EQ(nullptr, Import(document(Animation("a", "n-g/m", "1 2 3", sKeys.substr(0, sKeys.rfind(' '))))));
    EXPECT_EQ(nullptr, Import(document(Animation("a", "n-g/m", "", sKeys))));
    EXPECT_EQ(nullptr, Import(document(Animation("a", "n-g/m", "1 2", sKeys))));
    std::string sNoChannel = Animation("a", "n-g/m", "1 2 3", sKeys);
    sNoChannel.erase(sNoChannel.find("<channel"),
                     sNoChannel.find("</animation>") - sNoChannel.find("<channel"));
    EXPECT_EQ(nullptr, Import(document(sNoChannel)));
    std::string sForeign = Animation("a", "n-g/m", "1 2 3", sKeys);
    sForeign.replace(sForeign.find("source=\"#a-in\""), 14, "source=\"x.dae#a-in\"");
    EXPECT_EQ(nullptr, Import(document(sForeign)));
}

TEST_F(KR_ColladaImporterTest, ATwoBoneArmBendsAtItsElbow)
{
    // The shoulder at the origin, the elbow one unit along x; the elbow turns a quarter about z.
    const std::string sBent = "0 -1 0 1 1 0 0 0 0 0 1 0 0 0 0 1";
    SkinSpec skin;
    skin.sJoints = "shoulder elbow";
    skin.sInverseBinds = std::string(IDENTITY) + " " + Translation(-1, 0, 0);
    skin.sWeights = "1 0.5";
    skin.sVCount = "1 1 2";
    skin.sV = "0 0 1 0 0 1 1 1";
    const std::string sDocument = Document(
        Geometry("g", "0.5 0 0 2 0 0 1 0 0", "<triangles>" + Vertex("g") + "<p>0 1 2</p></triangles>"),
        Joint("shoulder", IDENTITY, Joint("elbow", Translation(1, 0, 0))) + SkinNode("c"),
        Animations(Animation("bend", "elbow/m", "0 1", Translation(1, 0, 0) + " " + sBent)) +
            Controllers(Skin(skin)));
    KU_InterpolationManager registry;
    m_engine->SetInterpolationManager(&registry);
    std::unique_ptr<KR_ModelResourceDX11> pModel = Import(sDocument);
    // The bone took the channel's matrix curve; its node animation (and curves) are gone.
    EXPECT_EQ(0u, registry.CopyAllVertexInterpolations().GetNumMembers());
    m_engine->SetInterpolationManager(nullptr);
    ASSERT_NE(nullptr, pModel);
    auto* pNode = static_cast<KR_MeshResourceDX11*>(pModel->GetMesh(0));
    EXPECT_EQ(std::vector<std::string>{"DefaultSkinnedMaterial"}, Names(pNode));
    EXPECT_EQ(KR_VertexFormat::MASK_POSITION | KR_VertexFormat::MASK_SKINNED, pNode->GetVertexFormat());
    KR_MeshSkinnedAnimationResource* pSkeleton = pNode->GetSkinnedAnimation();
    ASSERT_NE(nullptr, pSkeleton);
    ASSERT_EQ(2u, pSkeleton->GetBoneCount());
    EXPECT_EQ("shoulder", Name(pSkeleton->GetBoneName()));
    EXPECT_EQ("elbow", Name(pSkeleton->GetChild(0)->GetBoneName()));

    const std::vector<Skinned> vVertices = ReadSkinned(ReadMesh(pNode));
    ASSERT_EQ(3u, vVertices.size());
    EXPECT_EQ(1.0f, vVertices[1].weights[0]);
    EXPECT_EQ(1, vVertices[1].bones[0]);
    EXPECT_EQ(std::vector<float>({0.5f, 0.5f, 0, 0}),
              std::vector<float>(vVertices[2].weights, vVertices[2].weights + 4));
    struct Expected
    {
        double fTime;
        float elbow[2]; // where the vertex at (2, 0, 0) goes
    };
    for (const Expected& expected :
         {Expected{0.0, {2, 0}}, Expected{0.5, {1.5f, 0.5f}}, Expected{1.0, {1, 1}}, Expected{3.0, {1, 1}}})
    {
        KB_GrowingArray<XMMATRIX> gBones;
        pSkeleton->FillBoneMatrices(expected.fTime, XMMatrixIdentity(), gBones);
        ASSERT_EQ(2u, gBones.GetNumMembers());
        std::vector<XMVECTOR> vSkinned;
        for (const Skinned& vertex : vVertices)
        {
            XMVECTOR vSum = XMVectorZero();
            const XMVECTOR vPosition =
                XMVectorSet(vertex.position[0], vertex.position[1], vertex.position[2], 1);
            for (int i = 0; i < 4; ++i)
                vSum = XMVectorAdd(vSum, XMVectorScale(XMVector4Transform(vPosition, gBones[vertex.bones[i]]),
                                                       vertex.weights[i]));
            vSkinned.push_back(vSum);
        }
        EXPECT_NEAR(0.5f, vSkinned[0].f[0], 1e-6f) << expected.fTime; // on the shoulder: still
        EXPECT_NEAR(0.0f, vSkinned[0].f[1], 1e-6f) << expected.fTime;
        EXPECT_NEAR(expected.elbow[0], vSkinned[1].f[0], 1e-6f) << expected.fTime;
        EXPECT_NEAR(expected.elbow[1], vSkinned[1].f[1], 1e-6f) << expected.fTime;
        EXPECT_NEAR(0.0f, vSkinned[1].f[2], 1e-6f) << expected.fTime;
        EXPECT_NEAR(1.0f, vSkinned[2].f[0], 1e-6f) << expected.fTime; // at the joint: still
    }
}

TEST_F(KR_ColladaImporterTest, TwoSkeletonsJoinUnderAnAddedRootWithEveryBoneOffset)
{
    // Only R1 is animated; B and A have no curve and must still move past the first skeleton.
    SkinSpec skin;
    skin.sJoints = "R2 B R1 A";
    skin.sInverseBinds = Translation(-1, 0, 0) + " " + Translation(-2, 0, 0) + " " + Translation(-3, 0, 0) +
                         " " + Translation(-4, 0, 0);
    skin.sVCount = "1 1 1 1";
    skin.sV = "0 0 1 0 2 0 3 0";
    const std::string sDocument = Document(
        Geometry("g", "0 0 0 1 0 0 0 1 0 1 1 0",
                 "<triangles>" + Vertex("g") + "<p>0 1 2 1 3 2</p></triangles>"),
        Joint("R1", IDENTITY, Joint("A", Translation(1, 0, 0))) +
            Joint("R2", Translation(0, 5, 0), Joint("B", Translation(1, 0, 0))) + SkinNode("c"),
        Animations(Animation("r1", "R1/m", "0 1", std::string(IDENTITY) + " " + Translation(0, 1, 0))) +
            Controllers(Skin(skin)));
    std::unique_ptr<KR_ModelResourceDX11> pModel = Import(sDocument);
    ASSERT_NE(nullptr, pModel);
    auto* pNode = static_cast<KR_MeshResourceDX11*>(pModel->GetMesh(0));
    KR_MeshSkinnedAnimationResource* pSkeleton = pNode->GetSkinnedAnimation();
    ASSERT_NE(nullptr, pSkeleton);
    KB_GrowingArray<KB_String> gNames;
    pSkeleton->CollectBoneNames(gNames);
    std::vector<std::string> vNames;
    for (std::uint32_t i = 0; i < gNames.GetNumMembers(); ++i)
        vNames.push_back(Name(gNames[i]));
    EXPECT_EQ(std::vector<std::string>({"", "R2", "B", "R1", "A"}), vNames);
    // Bone order: the added root (identity), then each joint's inverse bind matrix.
    EXPECT_TRUE(modeltest::MatrixNear(pSkeleton->GetBindMatrix(), XMMatrixIdentity()));
    EXPECT_TRUE(
        modeltest::MatrixNear(pSkeleton->GetChild(0)->GetBindMatrix(), XMMatrixTranslation(-1, 0, 0), 1e-6f));
    EXPECT_TRUE(modeltest::MatrixNear(pSkeleton->GetChild(0)->GetChild(0)->GetBindMatrix(),
                                      XMMatrixTranslation(-2, 0, 0), 1e-6f));
    EXPECT_TRUE(
        modeltest::MatrixNear(pSkeleton->GetChild(1)->GetBindMatrix(), XMMatrixTranslation(-3, 0, 0), 1e-6f));
    EXPECT_TRUE(modeltest::MatrixNear(pSkeleton->GetChild(1)->GetChild(0)->GetBindMatrix(),
                                      XMMatrixTranslation(-4, 0, 0), 1e-6f));
    const std::vector<Skinned> vVertices = ReadSkinned(ReadMesh(pNode));
    ASSERT_EQ(4u, vVertices.size());
    for (std::uint8_t i = 0; i < 4; ++i)
        EXPECT_EQ(i + 1, vVertices[i].bones[0]) << int{i};
}

TEST_F(KR_ColladaImporterTest, BoneNumbersAndWeights)
{
    // R { A { C, L (no sid: no bone, no number) }, B } numbers R 0, A 1, C 2, B 3; "ghost" names no
    // joint node and L has no bone: both give bone 0.
    const std::string sSkeleton = Joint(
        "R", IDENTITY,
        Joint("A", IDENTITY, Joint("C", IDENTITY) + Joint("L", IDENTITY, "", "")) + Joint("B", IDENTITY));
    const std::string sBinds = std::string(IDENTITY) + " " + IDENTITY + " " + IDENTITY + " " + IDENTITY;
    const std::string sSix = "0 0 0 1 0 0 0 1 0 1 1 0 2 0 0 0 2 0";
    auto skinned = [&](const SkinSpec& skin, const std::string& sPositions)
    {
        return ReadSkinned(ImportOne(Document(
            Geometry("g", sPositions, "<triangles>" + Vertex("g") + "<p>0 1 2 3 4 5</p></triangles>"),
            sSkeleton + SkinNode("c"), Controllers(Skin(skin)))));
    };
    SkinSpec skin;
    skin.sJoints = "B C A R ghost L";
    skin.sInverseBinds = sBinds;
    skin.sVCount = "1 1 1 1 1 1";
    skin.sV = "0 0 1 0 2 0 3 0 4 0 5 0";
    std::vector<Skinned> vVertices = skinned(skin, sSix);
    ASSERT_EQ(6u, vVertices.size());
    const std::uint8_t expected[6] = {3, 2, 1, 0, 0, 0};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(expected[i], vVertices[i].bones[0]) << i;

    // 0.2 and 0.6 become 0.25 and 0.75; four influences keep their order; none gives weight 1 on
    // bone 0 (never NaN); zero weights likewise.
    skin.sWeights = "0.2 0.6 0.1 0";
    skin.sVCount = "2 4 0 1 1 1";
    skin.sV = "1 0 0 1  0 2 1 2 2 2 3 2  3 3  2 1  3 1";
    vVertices = skinned(skin, sSix);
    ASSERT_EQ(6u, vVertices.size());
    EXPECT_EQ(std::vector<float>({0.25f, 0.75f, 0, 0}),
              std::vector<float>(vVertices[0].weights, vVertices[0].weights + 4));
    EXPECT_EQ(std::vector<int>({2, 3, 0, 0}), std::vector<int>(vVertices[0].bones, vVertices[0].bones + 4));
    EXPECT_EQ(std::vector<float>(4, 0.25f),
              std::vector<float>(vVertices[1].weights, vVertices[1].weights + 4));
    EXPECT_EQ(std::vector<int>({3, 2, 1, 0}), std::vector<int>(vVertices[1].bones, vVertices[1].bones + 4));
    for (int i : {2, 3})
    {
        EXPECT_EQ(std::vector<float>({1, 0, 0, 0}),
                  std::vector<float>(vVertices[i].weights, vVertices[i].weights + 4))
            << i;
        EXPECT_EQ(std::vector<int>(4, 0), std::vector<int>(vVertices[i].bones, vVertices[i].bones + 4)) << i;
    }
    EXPECT_EQ(1.0f, vVertices[4].weights[0]);
    EXPECT_EQ(1, vVertices[4].bones[0]); // joint 2 is A

    // The bind shape moves positions as points.
    skin.sBindShape = Translation(0, 0, 10);
    vVertices = skinned(skin, sSix);
    ASSERT_EQ(6u, vVertices.size());
    EXPECT_EQ(std::vector<float>({1, 0, -10}),
              std::vector<float>(vVertices[1].position, vVertices[1].position + 3));
}

TEST_F(KR_ColladaImporterTest, HostileSkinsFailCleanly)
{
    const std::string sGeometry =
        Geometry("g", "0 0 0 1 0 0 0 1 0", "<triangles>" + Vertex("g") + "<p>0 1 2</p></triangles>");
    const std::string sSkeleton = Joint("R", IDENTITY, Joint("A", Translation(1, 0, 0)));
    SkinSpec good;
    good.sJoints = "R A";
    good.sInverseBinds = std::string(IDENTITY) + " " + Translation(-1, 0, 0);
    good.sWeights = "1 0.5";
    good.sVCount = "1 1 2";
    good.sV = "0 0 1 0 0 1 1 1";
    auto document =
        [&](const SkinSpec& skin, const std::string& sExtraNodes = "", const std::string& sMore = "")
    { return Document(sGeometry, sSkeleton + SkinNode("c") + sExtraNodes, Controllers(Skin(skin) + sMore)); };
    ASSERT_NE(nullptr, Import(document(good)));

    auto with = [&](auto change)
    {
        SkinSpec skin = good;
        change(skin);
        return Import(document(skin));
    };
    EXPECT_EQ(nullptr, with([](SkinSpec& s) { s.sV = "0 0 1 2 0 1 1 1"; }));  // past the weights
    EXPECT_EQ(nullptr, with([](SkinSpec& s) { s.sV = "0 0 2 0 0 1 1 1"; }));  // past the joints
    EXPECT_EQ(nullptr, with([](SkinSpec& s) { s.sV = "0 0 -1 0 0 1 1 1"; })); // negative
    EXPECT_EQ(nullptr, with([](SkinSpec& s) { s.sV = "0 0 1 0 0 1 1"; }));    // short of the pairs
    EXPECT_EQ(nullptr, with(
                           [](SkinSpec& s)
                           {
                               s.sVCount = "1 1";
                               s.sV = "0 0 1 0";
                           })); // a position without record
    EXPECT_EQ(nullptr, with(
                           [](SkinSpec& s)
                           {
                               s.sVCount = "1 1 5";
                               s.sV += " 0 0 0 0 0 0";
                           }));
    EXPECT_EQ(nullptr, with([](SkinSpec& s) { s.sVCount = "1 1 -1"; }));
    EXPECT_EQ(nullptr, with(
                           [](SkinSpec& s)
                           {
                               s.sVCount = "0 0 0";
                               s.sV = "0 0";
                           }));
    EXPECT_EQ(nullptr, with([](SkinSpec& s) { s.sWeights = ""; }));
    EXPECT_EQ(nullptr, with([](SkinSpec& s) { s.sInverseBinds = IDENTITY; }));  // one bone short
    EXPECT_EQ(nullptr, with([](SkinSpec& s) { s.sInverseBinds += " 1 0 0"; })); // not a multiple of 16
    EXPECT_EQ(nullptr,
              with([](SkinSpec& s) { s.sInverseBinds += std::string(" ") + IDENTITY; })); // three for two
    EXPECT_EQ(nullptr, with([](SkinSpec& s) { s.sJoints = "A"; }));                       // no root named
    EXPECT_EQ(nullptr, with([](SkinSpec& s) { s.sBindShape = "1 0 0"; }));
    std::string sForeign = document(good);
    sForeign.replace(sForeign.find("<skin source=\"#g\""), 17, "<skin source=\"x.dae#g\"");
    EXPECT_EQ(nullptr, Import(sForeign));
    // A joint that is a bone of another skeleton names no bone of this one.
    EXPECT_EQ(nullptr, Import(Document(
                           sGeometry,
                           sSkeleton + Joint("Q", IDENTITY, Joint("Q1", IDENTITY) + Joint("Q2", IDENTITY)) +
                               SkinNode("c"),
                           Controllers(Skin(
                               [&]
                               {
                                   SkinSpec s = good;
                                   s.sJoints = "R Q2";
                                   return s;
                               }())))));
    // Offsets other than 0 and 1.
    std::string sOffset = document(good);
    sOffset.replace(sOffset.find("offset=\"1\""), 10, "offset=\"2\"");
    EXPECT_EQ(nullptr, Import(sOffset));
    // Without vcount, v, joints, vertex_weights or its count.
    for (const auto& [sFrom, sTo] :
         std::vector<std::pair<std::string, std::string>>{{"<vcount>", "</vcount>"},
                                                          {"<v>", "</v>"},
                                                          {"<joints>", "</joints>"},
                                                          {"<vertex_weights", "</vertex_weights>"},
                                                          {" count=\"3\"", ""}})
    {
        std::string sBroken = document(good);
        const std::size_t uiStart = sBroken.find(sFrom);
        const std::size_t uiEnd = sTo.empty() ? uiStart + sFrom.size() : sBroken.find(sTo) + sTo.size();
        sBroken.erase(uiStart, uiEnd - uiStart);
        EXPECT_EQ(nullptr, Import(sBroken)) << sFrom;
    }

    // Joint nodes: a joint with children but no bone fails; a camera at the top fails.
    EXPECT_EQ(
        nullptr,
        Import(Document(
            sGeometry, Joint("R", IDENTITY, Joint("mid", IDENTITY, Joint("A", IDENTITY), "")) + SkinNode("c"),
            Controllers(Skin(good)))));

    // A second controller over a skeleton already taken finds no root; an uninstanced or unnamed
    // controller is skipped; two controllers of one geometry: the later wins.
    SkinSpec second = good;
    second.sController = "d";
    EXPECT_EQ(nullptr, Import(document(good, SkinNode("d"), Skin(second))));
    std::unique_ptr<KR_ModelResourceDX11> pModel = Import(document(good, "", Skin(second)));
    ASSERT_NE(nullptr, pModel);
    std::string sUnnamed = document(good, "", "<controller><skin/></controller>");
    EXPECT_NE(nullptr, Import(sUnnamed));
    SkinSpec other = good;
    other.sController = "d";
    other.sJoints = "S T";
    pModel = Import(Document(
        sGeometry, sSkeleton + Joint("S", IDENTITY, Joint("T", IDENTITY)) + SkinNode("c") + SkinNode("d"),
        Controllers(Skin(good) + Skin(other))));
    ASSERT_NE(nullptr, pModel);
    EXPECT_EQ(
        "S",
        Name(static_cast<KR_MeshResourceDX11*>(pModel->GetMesh(0))->GetSkinnedAnimation()->GetBoneName()));

    // 256 bones are accepted, 257 are not (bone numbers are 8 bits).
    auto wide = [&](int iBones)
    {
        std::string sChildren;
        std::string sJoints = "root";
        std::string sBinds = IDENTITY;
        for (int i = 1; i < iBones; ++i)
        {
            const std::string sBone = std::string("b").append(std::to_string(i));
            sChildren += Joint(sBone, IDENTITY);
            sJoints += ' ';
            sJoints += sBone;
            sBinds += std::string(" ") + IDENTITY;
        }
        SkinSpec skin = good;
        skin.sJoints = sJoints;
        skin.sInverseBinds = sBinds;
        skin.sV = "0 0 " + std::to_string(iBones - 1) + " 0 0 1 1 1";
        return Import(
            Document(sGeometry, Joint("root", IDENTITY, sChildren) + SkinNode("c"), Controllers(Skin(skin))));
    };
    pModel = wide(256);
    ASSERT_NE(nullptr, pModel);
    EXPECT_EQ(255, ReadSkinned(ReadMesh(pModel->GetMesh(0)))[1].bones[0]);
    EXPECT_EQ(nullptr, wide(257));
}

namespace
{

// One model loaded or deleted by a job on the worker pool.
struct PoolSlot
{
    std::string sPath;
    KR_ModelResource* pModel = nullptr;
    std::atomic<bool> bDone{false};
};

void LoadOnPool(PoolSlot* pSlot)
{
    pSlot->pModel = KR_ColladaImporter::Import(pSlot->sPath.c_str(), 1, 1, 1);
    pSlot->bDone.store(true);
}

void DeleteOnPool(PoolSlot* pSlot)
{
    delete pSlot->pModel;
    pSlot->pModel = nullptr;
    pSlot->bDone.store(true);
}

} // namespace

TEST_F(KR_ColladaImporterTest, ModelsLoadOnTheWorkerPoolWhileTheCurveRegistryIsRead)
{
    // An animated geometry (its node animation keeps two registered curves), a skinned one whose
    // bone takes its channel, and a channel nothing uses (freed on the worker).
    SkinSpec skin;
    skin.sGeometry = "s";
    skin.sJoints = "R A";
    skin.sInverseBinds = std::string(IDENTITY) + " " + IDENTITY;
    skin.sVCount = "1 1 1";
    skin.sV = "0 0 1 0 1 0";
    const std::string sKeys = std::string(IDENTITY) + " " + Translation(1, 0, 0);
    const std::string sDocument =
        Document(Geometry("g", TRIANGLE, "<triangles>" + Vertex("g") + "<p>0 1 2</p></triangles>") +
                     Geometry("s", TRIANGLE, "<triangles>" + Vertex("s") + "<p>0 1 2</p></triangles>"),
                 Node("g", std::string("<matrix sid=\"m\">") + IDENTITY + "</matrix>") +
                     Joint("R", IDENTITY, Joint("A", IDENTITY)) + SkinNode("c"),
                 Animations(Animation("a", "n-g/m", "0 1", sKeys) + Animation("b", "A/m", "0 1", sKeys) +
                            Animation("u", "nobody/m", "0 1", sKeys)) +
                     Controllers(Skin(skin)));
    KU_InterpolationManager registry;
    m_engine->SetInterpolationManager(&registry);
    constexpr int MODELS = 20;
    std::vector<PoolSlot> vSlots(MODELS);
    for (int i = 0; i < MODELS; ++i)
    {
        vSlots[i].sPath = "Models/m" + std::to_string(i) + ".dae";
        m_pMemory->SetFile(vSlots[i].sPath, sDocument);
    }

    // Every entry seen while the models load names a curve of one of them.
    auto readWhileRunning = [&](void (*pJob)(PoolSlot*))
    {
        std::vector<std::unique_ptr<KT_Future<void>>> vFutures;
        for (PoolSlot& slot : vSlots)
        {
            slot.bDone.store(false);
            vFutures.emplace_back(KT_RunAsync(KT_BindStruct1<void, PoolSlot*>{pJob, &slot}));
        }
        for (bool bAllDone = false; !bAllDone;)
        {
            bAllDone = true;
            for (const PoolSlot& slot : vSlots)
                bAllDone = bAllDone && slot.bDone.load();
            const auto gEntries = registry.CopyAllVertexInterpolations();
            for (std::uint32_t i = 0; i < gEntries.GetNumMembers(); ++i)
            {
                const std::string sName = Name(gEntries[i].first);
                EXPECT_TRUE(sName.rfind("Models/m", 0) == 0 && sName.find(" Animation ") != std::string::npos)
                    << sName;
            }
        }
        for (auto& pFuture : vFutures)
            pFuture->Wait();
    };
    KT_ThreadPool::Start(4);
    readWhileRunning(&LoadOnPool);
    std::uint32_t uiLoaded = 0;
    for (const PoolSlot& slot : vSlots)
        uiLoaded +=
            slot.pModel != nullptr && static_cast<KR_ModelResourceDX11*>(slot.pModel)->GetMeshCount() == 2
                ? 1
                : 0;
    EXPECT_EQ(std::uint32_t{MODELS}, uiLoaded);
    // Translation and scale of each model's one node animation, each listed once.
    EXPECT_EQ(2u * MODELS, registry.CopyAllVertexInterpolations().GetNumMembers());
    readWhileRunning(&DeleteOnPool);
    KT_ThreadPool::Stop();
    EXPECT_EQ(0u, registry.CopyAllVertexInterpolations().GetNumMembers());
    m_engine->SetInterpolationManager(nullptr);
}
