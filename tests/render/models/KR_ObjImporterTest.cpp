#include "render/models/KR_ObjImporter.h"

#include "render/device/KR_GraphicsContextDX11.h"
#include "render/models/KR_BoundingBox.h"
#include "render/models/KR_MeshDX11.h"
#include "render/models/KR_MeshResourceDX11.h"
#include "render/models/KR_ModelCacheReader.h"
#include "render/models/KR_ModelImporters.h"
#include "render/models/KR_ModelLoader.h"
#include "render/models/KR_ModelResourceDX11.h"
#include "tests/render/device/StandInGraphicsDevice.h"
#include "tests/support/MemoryFiles.h"
#include "tests/support/MeshMakingResourceManager.h"
#include "tests/support/TestEngine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <locale>
#include <memory>
#include <string>
#include <vector>

using namespace DirectX;

namespace
{

const char* const QUAD = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
                         "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvn 0 0 1\n"
                         "f 1/1/1 2/2/1 3/3/1 4/4/1\n";

class KR_ObjImporterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_files.Install();
        m_engine->SetGraphicsResourceManager(&m_resources);
    }
    void TearDown() override
    {
        KR_ModelImporters::Clear();
        m_engine->SetGraphicsResourceManager(nullptr);
        m_engine->SetFileManager(nullptr);
    }

    bool Parse(const std::string& sText, bool bTangents = false)
    {
        // An exact-size heap copy without NUL, so AddressSanitizer sees any read past the text.
        std::unique_ptr<char[]> pCopy(new char[sText.size() + 1]);
        std::memcpy(pCopy.get(), sText.data(), sText.size());
        return m_importer.ParseText(pCopy.get(), sText.size(), bTangents);
    }
    std::vector<std::uint32_t> Indices() const
    {
        return std::vector<std::uint32_t>(m_importer.GetIndices(),
                                          m_importer.GetIndices() + m_importer.GetIndexCount());
    }
    std::vector<std::uint32_t> Ids() const
    {
        const std::uint32_t* pIds = m_importer.GetAttributeIds();
        return std::vector<std::uint32_t>(pIds, pIds + m_importer.GetIndexCount() / 3);
    }
    std::vector<float> Vertex(std::uint32_t uiIndex) const
    {
        std::vector<float> vFloats(m_importer.GetVertexStride() / 4);
        std::memcpy(vFloats.data(), m_importer.GetVertices() + uiIndex * m_importer.GetVertexStride(),
                    m_importer.GetVertexStride());
        return vFloats;
    }
    std::vector<float> Floats(std::uint32_t uiIndex, std::size_t uiFirst, std::size_t uiCount) const
    {
        const std::vector<float> vVertex = Vertex(uiIndex);
        return std::vector<float>(vVertex.begin() + uiFirst, vVertex.begin() + uiFirst + uiCount);
    }
    std::unique_ptr<KR_ModelResourceDX11> Import(const std::string& sText, bool bTangents = false)
    {
        return std::unique_ptr<KR_ModelResourceDX11>(
            m_importer.ImportText(sText.data(), sText.size(), bTangents, 1, 1));
    }

    KR_ObjImporter m_importer;
    TestEngine m_engine;
    MemoryFiles m_files;
    MemoryRepository* m_pMemory = m_files.GetRepository();
    MeshMakingResourceManager m_resources;
};

} // namespace

TEST_F(KR_ObjImporterTest, ValuesAreStoredMirroredInZAndCornerFormsPickTheirAttributes)
{
    ASSERT_TRUE(Parse("v 1 2 3\nvt 0.25 0.75 9\nvn 0 0 1\nf 1/1/1 1/1/1 1/1/1\n"));
    EXPECT_EQ(32u, m_importer.GetVertexStride());
    ASSERT_EQ(1u, m_importer.GetVertexCount());
    EXPECT_EQ((std::vector<float>{1, 2, -3, 0, 0, -1, 0.25f, 0.25f}), Vertex(0));

    // p, p/t, p//n and p/t/n: what a corner does not name stays zero.
    ASSERT_TRUE(Parse("v 1 2 3\nvt 0.5 0\nvn 0 1 0\nf 1 1/1 1//1 1/1/1\n"));
    ASSERT_EQ(4u, m_importer.GetVertexCount());
    EXPECT_EQ((std::vector<float>{1, 2, -3, 0, 0, 0, 0, 0}), Vertex(0));
    EXPECT_EQ((std::vector<float>{1, 2, -3, 0, 0, 0, 0.5f, 1}), Vertex(1));
    EXPECT_EQ((std::vector<float>{1, 2, -3, 0, 1, 0, 0, 0}), Vertex(2));
    EXPECT_EQ((std::vector<float>{1, 2, -3, 0, 1, 0, 0.5f, 1}), Vertex(3));
}

TEST_F(KR_ObjImporterTest, FacesAreFanTriangulatedAndEqualCornersShared)
{
    const std::string sPositions = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv -1 1 0\n";
    ASSERT_TRUE(Parse(sPositions + "f 1 2 3 4\nf 1 2\n"));
    EXPECT_EQ((std::vector<std::uint32_t>{0, 1, 2, 0, 2, 3}), Indices());
    EXPECT_EQ((std::vector<std::uint32_t>{0, 0}), Ids());
    ASSERT_TRUE(Parse(sPositions + "f 1 2 3 4 5\r\n"));
    EXPECT_EQ((std::vector<std::uint32_t>{0, 1, 2, 0, 2, 3, 0, 3, 4}), Indices());

    // Two triangles over the same corners share them; the same position with another normal or
    // UV is a vertex of its own.
    ASSERT_TRUE(Parse(sPositions + "vn 0 0 1\nvn 1 0 0\nvt 0 0\nf 1//1 2//1 3//1\nf 1//1 3//1 4//1\n"
                                   "f 1//2 3/1/1 4//1\n"));
    EXPECT_EQ((std::vector<std::uint32_t>{0, 1, 2, 0, 2, 3, 4, 5, 3}), Indices());
    EXPECT_EQ(6u, m_importer.GetVertexCount());
}

TEST_F(KR_ObjImporterTest, TangentsFollowTheUVsAndAreSharedOnlyWhereTheyAgree)
{
    ASSERT_TRUE(Parse(QUAD, true));
    EXPECT_EQ(44u, m_importer.GetVertexStride());
    // A consistent mapping gives both triangles the tangent +x: the four corners are shared.
    ASSERT_EQ(4u, m_importer.GetVertexCount());
    EXPECT_EQ((std::vector<float>{1, 0, 0, 0, 0, -1, 1, 0, 0, 1, 1}), Vertex(1));
    for (std::uint32_t i = 0; i < 4; ++i)
        EXPECT_EQ((std::vector<float>{1, 0, 0}), Floats(i, 6, 3));

    // The second triangle maps the UVs otherwise (its tangent is +y): corners 1 and 3 are not
    // shared, though position, normal and UV agree.
    std::string sMirrored = QUAD;
    sMirrored.replace(sMirrored.find("f "), std::string::npos, "f 1/1/1 2/2/1 3/3/1\nf 1/1/1 3/3/1 4/2/1\n");
    ASSERT_TRUE(Parse(sMirrored, true));
    EXPECT_EQ(6u, m_importer.GetVertexCount());
    EXPECT_EQ((std::vector<float>{0, 1, 0}), Floats(5, 6, 3));
    ASSERT_TRUE(Parse(sMirrored, false));
    EXPECT_EQ(4u, m_importer.GetVertexCount());

    // No UV area gives the zero tangent, as does a normal along the tangent; never NaN.
    KR_ObjImporter::TangentVertex a{{0, 0, 0}, {0, 0, 1}, {}, {0.5f, 0.5f}};
    KR_ObjImporter::TangentVertex b{{1, 0, 0}, {1, 0, 0}, {}, {0.5f, 0.5f}};
    KR_ObjImporter::TangentVertex c{{0, 1, 0}, {0, 0, 1}, {}, {0.5f, 0.5f}};
    KR_ObjImporter::ComputeTangents(&a, &b, &c);
    for (const auto* pVertex : {&a, &b, &c})
        EXPECT_EQ((std::vector<float>{0, 0, 0}),
                  std::vector<float>(pVertex->fTangent, pVertex->fTangent + 3));
    b.fUV[0] = 1.5f;
    c.fUV[1] = 1.5f;
    KR_ObjImporter::ComputeTangents(&a, &b, &c);
    EXPECT_EQ((std::vector<float>{1, 0, 0}), std::vector<float>(a.fTangent, a.fTangent + 3));
    EXPECT_EQ((std::vector<float>{0, 0, 0}), std::vector<float>(b.fTangent, b.fTangent + 3));
}

TEST_F(KR_ObjImporterTest, LineEndsAndLongLinesAndKeys)
{
    // Without a final newline the last face still counts.
    ASSERT_TRUE(Parse("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3"));
    EXPECT_EQ(3u, m_importer.GetIndexCount());
    ASSERT_TRUE(Parse("v 0 0 0\r\nv 1 0 0\r\nv 0 1 0\r\nf 1 2 3 \r"));
    EXPECT_EQ(3u, m_importer.GetIndexCount());

    // At most 1000 characters after a line's key are skipped; the rest is read as keys.
    EXPECT_TRUE(Parse("v 0 0 0\n# " + std::string(999, 'x') + "v 1 2 3\nf 2 2 2\n"));
    EXPECT_FALSE(Parse("v 0 0 0\n# " + std::string(998, 'x') + "v 1 2 3\nf 2 2 2\n"));

    // A key or a name of any length; unknown keys skip their line.
    const std::string sName(700, 'n');
    ASSERT_TRUE(Parse(std::string(600, 'k') +
                      " 1 2 3\no a\ng b\ns 1\nmtllib m\nvp 1\nv 0 0 0\nf 1 1 1\n"
                      "usemtl " +
                      sName + "\nf 1 1 1\n"));
    ASSERT_EQ(2u, m_importer.GetMaterialNames().GetNumMembers());
    EXPECT_EQ(KB_String(sName.c_str()), m_importer.GetMaterialNames()[1]);
    EXPECT_EQ((std::vector<std::uint32_t>{0, 1}), Ids());
}

TEST_F(KR_ObjImporterTest, BadIndicesFailAndMalformedNumbersEndTheParse)
{
    const std::string sValues = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvn 0 0 1\n";
    for (const char* pFace : {"f 0 1 2", "f 1 2 4", "f -1 -2 -3", "f 1 2 99999999999999999999", "f 1/2 2 3",
                              "f 1/0 2 3", "f 1//2 2 3", "f 1/1/-1 2 3", "f 1 2 3\nf 1 2 4"})
    {
        EXPECT_FALSE(Parse(sValues + pFace)) << pFace;
        EXPECT_EQ(nullptr, Import(sValues + pFace)) << pFace;
    }
    // What came before a corner or number that is not one is imported; nothing after it.
    for (const char* pTail :
         {"f 1 2 x\nf 1 2 3", "f 1 2 3/\nf 1 2 3", "f 1/1/ 2 3\nf 1 2 3", "v 1 2 z\nf 1 2 3", "vt 1\nf 1 2 3",
          "vn 1 2 nan\nf 1 2 3", "v 1 2 1e50\nf 1 2 3", "v 1 2 1e\nf 1 2 3", "usemtl",
          "f 1 2 3 # a comment\nf 1 2 3"})
    {
        ASSERT_TRUE(Parse(sValues + "f 1 2 3\n" + pTail)) << pTail;
        EXPECT_EQ(3u, m_importer.GetIndexCount()) << pTail;
    }
}

TEST_F(KR_ObjImporterTest, NumberFormsAreReadInTheCLocaleWhateverTheGlobalOne)
{
    struct CommaDecimal : std::numpunct<char>
    {
        char do_decimal_point() const override { return ','; }
    };
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaDecimal));
    const bool bParsed = Parse("v +1.5 .5 5.\nv -2E1 1e-50\n3e+1\nf 1 2 1\n");
    std::locale::global(previous);
    ASSERT_TRUE(bParsed);
    ASSERT_EQ(2u, m_importer.GetVertexCount());
    EXPECT_EQ((std::vector<float>{1.5f, 0.5f, -5.0f}), Floats(0, 0, 3));
    EXPECT_EQ((std::vector<float>{-20.0f, 0.0f, -30.0f}), Floats(1, 0, 3));
}

TEST_F(KR_ObjImporterTest, MaterialsMustBeginAtTheDefaultAndRunInFirstUseOrder)
{
    StandInGraphicsDevice device{m_engine};
    const std::string sValues = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    const std::string sAB = "usemtl A\nf 1 2 3\nf 1 2 3\nusemtl B\nf 1 2 3\n";
    EXPECT_EQ(nullptr, Import(sValues + sAB));
    std::unique_ptr<KR_ModelResourceDX11> pModel = Import(sValues + "f 1 2 3\nf 1 2 3\nf 1 2 3\n" + sAB);
    ASSERT_NE(nullptr, pModel);
    auto* pNode = static_cast<KR_MeshResourceDX11*>(pModel->GetMesh(0));
    ASSERT_EQ(3u, pNode->GetMaterialNames().GetNumMembers());
    EXPECT_EQ(KB_String("DefaultMaterial"), pNode->GetMaterialNames()[0]);
    EXPECT_EQ(KB_String("B"), pNode->GetMaterialNames()[2]);
    EXPECT_EQ(3u, pNode->GetMesh()->GetSubsetCount());
    EXPECT_EQ(6u, pModel->GetTriangleCount());
    // Back to an earlier material: no model.
    EXPECT_EQ(nullptr, Import(sValues + "f 1 2 3\n" + sAB + "usemtl A\nf 1 2 3\n"));
    // "usemtl DefaultMaterial" first is material 0.
    EXPECT_NE(nullptr, Import(sValues + "usemtl DefaultMaterial\nf 1 2 3\n"));
    // No face: the empty mesh gets no buffers.
    EXPECT_EQ(nullptr, Import(sValues));
}

TEST_F(KR_ObjImporterTest, TheLoaderImportsThroughTheFileManagerAndCachesTheModel)
{
    StandInGraphicsDevice device{m_engine};
    m_pMemory->SetFile("Models/Quad.OBJ", std::string(QUAD) + "v 3 -1 4\nf 1 2 5\n");
    KR_ModelImporters::RegisterImporter("obj", &KR_ObjImporter::Import);
    KR_ModelImporters::SetCacheReader(&KR_ModelCacheReader::LoadSerializedModel);
    std::unique_ptr<KR_ModelResource> pModel(KR_ModelLoader::LoadModel("Models/Quad.OBJ", 1, 1, 1));
    ASSERT_NE(nullptr, pModel);
    EXPECT_EQ(0u, m_pMemory->GetReferenceCount("Models/Quad.OBJ"));
    EXPECT_EQ(3u, pModel->GetTriangleCount());
    auto* pNode =
        static_cast<KR_MeshResourceDX11*>(static_cast<KR_ModelResourceDX11*>(pModel.get())->GetMesh(0));
    EXPECT_EQ(15u, pNode->GetVertexFormat());
    EXPECT_EQ(44u, static_cast<KR_MeshDX11*>(pNode->GetMesh())->GetStride());
    // Seven unique vertices: the quad's four and three of the last face (whose UVs are zero).
    const XMVECTOR vCenter = pModel->GetCenter();
    EXPECT_FLOAT_EQ((0 + 1 + 1 + 0 + 0 + 1 + 3) / 7.0f, XMVectorGetX(vCenter));
    EXPECT_FLOAT_EQ(-4 / 7.0f, XMVectorGetZ(vCenter));
    XMVECTOR vMin, vMax;
    pModel->GetBoundingBox()->GetMinMax(&vMin, &vMax);
    EXPECT_EQ((std::vector<float>{0, -1, -4, 0, 3, 1, 0, 0}),
              (std::vector<float>{vMin.f[0], vMin.f[1], vMin.f[2], vMin.f[3], vMax.f[0], vMax.f[1], vMax.f[2],
                                  vMax.f[3]}));
    ASSERT_TRUE(m_pMemory->HasFile("Models/Quad.OBJ.bin"));

    // Without the flags: a 32-byte mesh, no box of the node, the centre zero.
    std::unique_ptr<KR_ModelResourceDX11> pPlain(m_importer.ImportModel("Models/Quad.OBJ", 0, 0, 0));
    ASSERT_NE(nullptr, pPlain);
    EXPECT_EQ(11u, pPlain->GetMesh(0)->GetVertexFormat());
    EXPECT_EQ(nullptr, pPlain->GetMesh(0)->GetBoundingBox());
    EXPECT_EQ(0.0f, XMVectorGetX(pPlain->GetMesh(0)->GetCenter()));
    EXPECT_EQ(nullptr, m_importer.ImportModel("Models/Absent.obj", 0, 0, 0));
    EXPECT_EQ(0u, m_importer.GetVertexCount());
}

TEST_F(KR_ObjImporterTest, TheGraphicsContextRegistersTheImporterUnlessOneIsSet)
{
    StandInGraphicsDevice device{m_engine};
    KR_GraphicsContextDX11 context;
    delete context.CreateGraphicsResourceManager();
    EXPECT_EQ(&KR_ObjImporter::Import, KR_ModelImporters::FindImporter("Models/Rock.Obj"));
    auto pOther = [](const KB_String&, std::uint8_t, std::uint8_t, std::uint8_t) -> KR_ModelResource*
    { return nullptr; };
    KR_ModelImporters::RegisterImporter("obj", pOther);
    delete context.CreateGraphicsResourceManager();
    EXPECT_EQ(+pOther, KR_ModelImporters::FindImporter("Models/Rock.obj"));
}
