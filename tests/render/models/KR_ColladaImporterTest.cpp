#include "render/models/KR_ColladaImporter.h"

#include "framework/files/KF_FileManager.h"
#include "render/device/KR_GraphicsContextDX11.h"
#include "render/device/KR_MaterialManager.h"
#include "render/device/KR_ModelLoader.h"
#include "render/models/KR_BoundingBox.h"
#include "render/models/KR_ColladaReaders.h"
#include "render/models/KR_MeshDX11.h"
#include "render/models/KR_MeshResourceDX11.h"
#include "render/models/KR_ModelImporters.h"
#include "render/models/KR_ModelResourceDX11.h"
#include "tests/render/device/StandInGraphicsDevice.h"
#include "tests/render/models/ModelTestHelpers.h"
#include "tests/support/LibraryFactory.h"
#include "tests/support/MemoryRepository.h"
#include "tests/support/NullResourceManager.h"
#include "tests/support/TestEngine.h"

#include <gtest/gtest.h>

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

// Makes real meshes (CPU arrays and stand-in buffers); everything else as the null manager.
class MeshResourceManager : public NullResourceManager
{
public:
    KR_MeshDX11* CreateMesh(std::uint32_t uiStride, std::uint32_t uiVertices,
                            std::uint32_t uiTriangles) override
    {
        ++m_iMeshes;
        auto* pMesh = new KR_MeshDX11();
        if (!pMesh->Allocate(uiStride, uiVertices, uiTriangles))
        {
            delete pMesh;
            return nullptr;
        }
        return pMesh;
    }
    int m_iMeshes = 0;
};

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
        m_files.AddRepository(m_pMemory);
        m_engine->SetFileManager(&m_files);
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
    KF_FileManager m_files;
    MemoryRepository* m_pMemory = new MemoryRepository(); // the file manager's
    KR_MaterialManager m_materials;
    MeshResourceManager m_resources;
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

    // Skeletons, skins and animations are not read: documents with them fail rather than lose them.
    EXPECT_EQ(nullptr, Import(Document(
                           Geometry("g", TRIANGLE, "<triangles>" + Vertex("g") + "<p>0 1 2</p></triangles>"),
                           Node("g") + "<node id=\"camera\"><instance_camera url=\"#c\"/></node>")));
    EXPECT_EQ(nullptr,
              Import(replaced("<library_materials>", "<library_animations><animation/></library_animations>"
                                                     "<library_materials>")));
    EXPECT_EQ(nullptr, Import(replaced("<library_materials>",
                                       "<library_controllers><controller/></library_controllers>"
                                       "<library_materials>")));

    // Geometries that nothing instances are not built; with none left the model has no meshes.
    const int iMeshesBefore = m_resources.m_iMeshes;
    std::unique_ptr<KR_ModelResourceDX11> pModel = Import(
        Document(Geometry("h", "1 1 1 2 2 2 3 3 3", "<polygons>" + Vertex("h") + "<p>0 1 2</p></polygons>") +
                     Geometry("g", TRIANGLE, "<triangles>" + Vertex("g") + "<p>0 1 2</p></triangles>"),
                 Node("g")));
    ASSERT_NE(nullptr, pModel);
    EXPECT_EQ(1u, pModel->GetMeshCount());
    EXPECT_EQ(1, m_resources.m_iMeshes - iMeshesBefore);
    pModel = Import(Document(
        Geometry("h", TRIANGLE, "<triangles>" + Vertex("h") + "<p>0 1 2</p></triangles>"), Node("g")));
    ASSERT_NE(nullptr, pModel);
    EXPECT_EQ(0u, pModel->GetMeshCount());
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
