#include "render/models/KR_ModelCacheReader.h"

#include "framework/app/KU_ApplicationFactory.h"
#include "render/device/KR_MaterialManager.h"
#include "render/models/KR_BoundingBox.h"
#include "render/models/KR_MeshAnimationResource.h"
#include "render/models/KR_MeshDX11.h"
#include "render/models/KR_MeshResourceDX11.h"
#include "render/models/KR_MeshSkinnedAnimationResource.h"
#include "render/models/KR_ModelCacheHeader.h"
#include "render/models/KR_ModelImporters.h"
#include "render/models/KR_ModelLoader.h"
#include "render/models/KR_ModelResourceDX11.h"
#include "tests/render/device/StandInGraphicsDevice.h"
#include "tests/render/models/ModelTestHelpers.h"
#include "tests/support/LibraryFactory.h"
#include "tests/support/MemoryFiles.h"
#include "tests/support/NullResourceManager.h"
#include "tests/support/TestEngine.h"
#include "timing/KB_LinearInterpolation.h"
#include "timing/KB_LinearMatrixInterpolation.h"
#include "timing/KB_RotationInterpolation.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace DirectX;

namespace
{

const char* const LIBRARY_PATH = "Assets/Materials/Test_Materials.xml";

KB_GrowingArray<KB_String> Names(std::initializer_list<const char*> names)
{
    KB_GrowingArray<KB_String> gNames;
    for (const char* pName : names)
        gNames.Add(KB_String(pName));
    return gNames;
}

// Two keys apart, so a read-back curve that lost a key or its times answers differently midway.
template <typename Curve>
Curve* Ramp(const XMVECTOR& vFrom, const XMVECTOR& vTo, double fStart, double fEnd)
{
    auto* pCurve = new Curve();
    pCurve->SetStartTime(fStart);
    pCurve->SetEndTime(fEnd);
    if constexpr (std::is_same_v<Curve, KB_RotationInterpolation>)
    {
        pCurve->InsertQuaternion(vFrom, 0.0);
        pCurve->InsertQuaternion(vTo, fEnd - fStart);
    }
    else
    {
        pCurve->InsertVertex(vFrom, 0.0);
        pCurve->InsertVertex(vTo, fEnd - fStart);
    }
    return pCurve;
}

KR_MeshAnimationResource* MakeAnimation(double fStart, double fEnd)
{
    return new KR_MeshAnimationResource(
        Ramp<KB_LinearInterpolation>(XMVectorSet(0, 0, 0, 0), XMVectorSet(1, 2, 3, 0), fStart, fEnd),
        Ramp<KB_LinearInterpolation>(XMVectorSet(1, 1, 1, 0), XMVectorSet(2, 2, 2, 0), fStart, fEnd),
        Ramp<KB_RotationInterpolation>(XMQuaternionIdentity(), XMQuaternionRotationRollPitchYaw(0, 1, 0),
                                       fStart, fEnd));
}

KR_MeshSkinnedAnimationResource* MakeSkeleton()
{
    auto* pCurve = new KB_LinearMatrixInterpolation();
    pCurve->SetStartTime(1.0);
    pCurve->SetEndTime(4.0);
    pCurve->InsertMatrix(XMMatrixIdentity(), 0.0);
    pCurve->InsertMatrix(XMMatrixTranslation(4, 8, 0), 3.0);
    auto* pRoot = new KR_MeshSkinnedAnimationResource(pCurve, KB_String("Hip"), XMMatrixScaling(2, 2, 2));
    pRoot->AddChild(
        new KR_MeshSkinnedAnimationResource(nullptr, KB_String("Knee"), XMMatrixTranslation(0, -1, 0)));
    return pRoot;
}

// A mesh of uiSubsets subsets, one triangle each, with vertices that differ by position.
KR_MeshDX11* MakeMesh(std::uint32_t uiSubsets)
{
    auto* pMesh = new KR_MeshDX11();
    EXPECT_TRUE(pMesh->Allocate(12, 3 * uiSubsets, uiSubsets));
    std::vector<float> vPositions;
    std::vector<std::uint32_t> vIndices;
    std::vector<std::uint32_t> vIds;
    for (std::uint32_t i = 0; i < 3 * uiSubsets; ++i)
    {
        vPositions.insert(vPositions.end(), {float(i), float(i) * 0.5f, -float(i)});
        vIndices.push_back(i);
    }
    for (std::uint32_t i = 0; i < uiSubsets; ++i)
        vIds.push_back(i);
    pMesh->SetVertices(vPositions.data());
    pMesh->SetIndices(vIndices.data());
    pMesh->SetAttributes(vIds.data());
    EXPECT_TRUE(pMesh->BuildSubsets());
    EXPECT_TRUE(pMesh->CreateBuffers());
    return pMesh;
}

std::vector<std::uint8_t> MeshBytes(KR_Mesh* pMesh)
{
    return pMesh != nullptr ? modeltest::Serialize(*static_cast<KR_MeshDX11*>(pMesh), false)
                            : std::vector<std::uint8_t>();
}

void ExpectSameVector(const XMVECTOR& a, const XMVECTOR& b)
{
    EXPECT_EQ(std::vector<float>(a.f, a.f + 4), std::vector<float>(b.f, b.f + 4));
}

void ExpectSameBones(KR_MeshSkinnedAnimationResource* pA, KR_MeshSkinnedAnimationResource* pB)
{
    ASSERT_EQ(pA == nullptr, pB == nullptr);
    if (pA == nullptr)
        return;
    EXPECT_EQ(pA->GetBoneName(), pB->GetBoneName());
    EXPECT_EQ(pA->GetBoneCount(), pB->GetBoneCount());
    EXPECT_EQ(pA->GetStartTime(), pB->GetStartTime());
    EXPECT_EQ(pA->GetEndTime(), pB->GetEndTime());
    EXPECT_TRUE(modeltest::MatrixNear(pB->GetLocalMatrix(), pA->GetLocalMatrix()));
    EXPECT_TRUE(modeltest::MatrixNear(pB->GetBindMatrix(), pA->GetBindMatrix()));
    for (const double fTime : {0.0, 1.0, 2.5, 4.0})
    {
        XMMATRIX mA;
        XMMATRIX mB;
        EXPECT_TRUE(
            modeltest::MatrixNear(*pB->GetLocalMatrixAt(&mB, fTime), *pA->GetLocalMatrixAt(&mA, fTime)))
            << fTime;
    }
    KB_GrowingArray<KB_String> gA;
    KB_GrowingArray<KB_String> gB;
    pA->CollectBoneNames(gA);
    pB->CollectBoneNames(gB);
    ASSERT_EQ(gA.GetNumMembers(), gB.GetNumMembers());
    for (std::uint32_t i = 0; i < gA.GetNumMembers(); ++i)
        EXPECT_EQ(gA[i], gB[i]);
}

// Every field of the node and its subtree: format, box, centre, transform over time, names, mesh
// bytes, animation and skeleton.
void ExpectSameNode(KR_MeshResource* pAResource, KR_MeshResource* pBResource)
{
    auto* pA = static_cast<KR_MeshResourceDX11*>(pAResource);
    auto* pB = static_cast<KR_MeshResourceDX11*>(pBResource);
    EXPECT_EQ(pA->GetVertexFormat(), pB->GetVertexFormat());
    ExpectSameVector(pA->GetCenter(), pB->GetCenter());
    ASSERT_EQ(pA->GetBoundingBox() == nullptr, pB->GetBoundingBox() == nullptr);
    if (pA->GetBoundingBox() != nullptr)
    {
        XMVECTOR vMinA, vMaxA, vMinB, vMaxB;
        pA->GetBoundingBox()->GetMinMax(&vMinA, &vMaxA);
        pB->GetBoundingBox()->GetMinMax(&vMinB, &vMaxB);
        ExpectSameVector(vMinA, vMinB);
        ExpectSameVector(vMaxA, vMaxB);
    }
    EXPECT_EQ(pA->GetStartTime(), pB->GetStartTime());
    EXPECT_EQ(pA->GetEndTime(), pB->GetEndTime());
    for (const double fTime : {0.0, 2.0, 3.5, 5.0})
    {
        XMMATRIX mA;
        XMMATRIX mB;
        EXPECT_TRUE(
            modeltest::MatrixNear(*pB->GetTransform(&mB, fTime), *pA->GetTransform(&mA, fTime), 1e-6f))
            << fTime;
    }
    ASSERT_EQ(pA->GetMaterialNames().GetNumMembers(), pB->GetMaterialNames().GetNumMembers());
    for (std::uint32_t i = 0; i < pA->GetMaterialNames().GetNumMembers(); ++i)
        EXPECT_EQ(pA->GetMaterialNames()[i], pB->GetMaterialNames()[i]);
    EXPECT_EQ(MeshBytes(pA->GetMesh()), MeshBytes(pB->GetMesh()));
    EXPECT_EQ(pA->GetAnimation() == nullptr, pB->GetAnimation() == nullptr);
    ExpectSameBones(pA->GetSkinnedAnimation(), pB->GetSkinnedAnimation());
    ASSERT_EQ(pA->GetChildCount(), pB->GetChildCount());
    for (std::uint32_t i = 0; i < pA->GetChildCount(); ++i)
    {
        EXPECT_EQ(pB, pB->GetChild(i)->GetParent());
        ExpectSameNode(pA->GetChild(i), pB->GetChild(i));
    }
}

// A heap copy of exactly the given bytes, so AddressSanitizer sees any read past them.
KR_ModelResource* ReadCopy(const std::vector<std::uint8_t>& bytes, std::uint64_t uiLength)
{
    std::unique_ptr<std::uint8_t[]> pCopy(new std::uint8_t[uiLength == 0 ? 1 : uiLength]);
    if (uiLength != 0)
        std::memcpy(pCopy.get(), bytes.data(), uiLength);
    return KR_ModelCacheReader::ReadModel(pCopy.get(), uiLength);
}

std::vector<std::uint8_t> Bytes(const std::string& sText)
{
    return std::vector<std::uint8_t>(sText.begin(), sText.end());
}

int g_iImports = 0;

KR_ModelResource* ImportNothing(const KB_String&, std::uint8_t, std::uint8_t, std::uint8_t)
{
    ++g_iImports;
    return nullptr;
}

class KR_ModelCacheReaderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pMemory->SetFile(LIBRARY_PATH, R"(<material_library><material id="Stone"/><material id="Glass"/>
            <material id="Skin" skinnedAnimation="1"/></material_library>)");
        m_files.Install();
        ASSERT_TRUE(m_materials.LoadMaterialLibrary());
        m_engine->SetMaterialManager(&m_materials);
        m_engine->SetGraphicsResourceManager(&m_resources);
    }
    void TearDown() override
    {
        KR_ModelImporters::Clear();
        m_engine->SetGraphicsResourceManager(nullptr);
        m_engine->SetMaterialManager(nullptr);
        m_engine->SetFileManager(nullptr);
    }

    // Two top-level nodes: one animated over a skinned child with a grandchild, one of three subsets.
    KR_ModelResourceDX11* MakeModel()
    {
        auto* pRoot = new KR_MeshResourceDX11(MakeMesh(2), Names({"Stone", "Glass"}), MakeAnimation(2.0, 5.0),
                                              nullptr, 0x0B);
        pRoot->SetCenter(XMVectorSet(1, 2, 3, 4));
        pRoot->SetTransform(XMMatrixTranslation(5, 6, 7));
        KR_BoundingBox box(XMVectorSet(-1, -2, -3, 0), XMVectorSet(1, 2, 3, 0));
        pRoot->SetBoundingBox(&box);
        auto* pChild = new KR_MeshResourceDX11(MakeMesh(1), Names({"Skin"}), nullptr, MakeSkeleton(), 0x81);
        EXPECT_TRUE(
            pChild->AddChild(new KR_MeshResourceDX11(MakeMesh(1), Names({"Unknown"}), nullptr, nullptr, 1)));
        EXPECT_TRUE(pRoot->AddChild(pChild));
        KB_GrowingArray<KR_MeshResource*> gNodes;
        gNodes.Add(pRoot);
        gNodes.Add(
            new KR_MeshResourceDX11(MakeMesh(3), Names({"Stone", "Stone", "Glass"}), nullptr, nullptr, 1));
        return new KR_ModelResourceDX11(gNodes);
    }

    TestEngine m_engine{new LibraryFactory(LIBRARY_PATH)};
    MemoryFiles m_files;
    MemoryRepository* m_pMemory = m_files.GetRepository();
    KR_MaterialManager m_materials;
    NullResourceManager m_resources;
};

} // namespace

TEST_F(KR_ModelCacheReaderTest, AWrittenCacheHasTheHeaderLayoutAndReadsBackFieldByField)
{
    StandInGraphicsDevice device{m_engine};
    std::unique_ptr<KR_ModelResourceDX11> pModel(MakeModel());
    m_pMemory->SetFile("Models/thing.obj", "source", 0x0102030405060708ull);
    std::uint64_t uiHash = 0;
    ASSERT_TRUE(m_files->GetFileHash("Models/thing.obj", &uiHash));
    ASSERT_TRUE(KR_ModelLoader::WriteModelCache(pModel.get(), "Models/thing.obj"));

    // u32 version 3, u64 time, u64 hash, little-endian and packed, then the model record to the end.
    const std::vector<std::uint8_t> file = Bytes(m_pMemory->GetFileContents("Models/thing.obj.bin"));
    const std::vector<std::uint8_t> record = modeltest::Serialize(*pModel, false);
    ASSERT_EQ(20u + record.size(), file.size());
    std::vector<std::uint8_t> expected = {3, 0, 0, 0, 8, 7, 6, 5, 4, 3, 2, 1};
    for (int i = 0; i < 8; ++i)
        expected.push_back(static_cast<std::uint8_t>(uiHash >> (8 * i)));
    EXPECT_EQ(expected, std::vector<std::uint8_t>(file.begin(), file.begin() + 20));
    EXPECT_EQ(record, std::vector<std::uint8_t>(file.begin() + 20, file.end()));

    std::unique_ptr<KR_ModelResource> pRead(KR_ModelCacheReader::LoadSerializedModel("Models/thing.obj.bin"));
    ASSERT_NE(nullptr, pRead);
    EXPECT_EQ(0u, m_pMemory->GetReferenceCount("Models/thing.obj.bin"));
    auto* pCopy = static_cast<KR_ModelResourceDX11*>(pRead.get());
    EXPECT_EQ(pModel->HasAnimation(), pCopy->HasAnimation());
    EXPECT_TRUE(pCopy->HasSkinnedAnimation());
    EXPECT_EQ(pModel->GetTriangleCount(), pCopy->GetTriangleCount());
    EXPECT_EQ(pModel->GetStartTime(), pCopy->GetStartTime());
    EXPECT_EQ(pModel->GetEndTime(), pCopy->GetEndTime());
    ExpectSameVector(pModel->GetCenter(), pCopy->GetCenter());
    XMVECTOR vMinA, vMaxA, vMinB, vMaxB;
    pModel->GetBoundingBox()->GetMinMax(&vMinA, &vMaxA);
    pCopy->GetBoundingBox()->GetMinMax(&vMinB, &vMaxB);
    ExpectSameVector(vMinA, vMinB);
    ExpectSameVector(vMaxA, vMaxB);
    ASSERT_EQ(pModel->GetMeshCount(), pCopy->GetMeshCount());
    for (std::uint32_t i = 0; i < pModel->GetMeshCount(); ++i)
        ExpectSameNode(pModel->GetMesh(i), pCopy->GetMesh(i));

    // Through the loader with the reader in the seam: the fresh cache is used, nothing imported.
    KR_ModelImporters::RegisterImporter("obj", &ImportNothing);
    KR_ModelImporters::SetCacheReader(&KR_ModelCacheReader::LoadSerializedModel);
    g_iImports = 0;
    std::unique_ptr<KR_ModelResource> pLoaded(KR_ModelLoader::LoadModel("Models/thing.obj", 1, 1, 1));
    ASSERT_NE(nullptr, pLoaded);
    EXPECT_EQ(pModel->GetTriangleCount(), pLoaded->GetTriangleCount());
    EXPECT_EQ(0, g_iImports);

    EXPECT_EQ(nullptr, KR_ModelCacheReader::LoadSerializedModel("Models/absent.obj.bin"));
}

TEST_F(KR_ModelCacheReaderTest, TruncatedPaddedOtherVersionAndFlippedFilesFailCleanly)
{
    StandInGraphicsDevice device{m_engine};
    std::vector<std::uint8_t> file;
    {
        auto* pNode = new KR_MeshResourceDX11(MakeMesh(2), Names({"Stone", "Skin"}), MakeAnimation(0.0, 1.0),
                                              MakeSkeleton(), 0x81);
        KB_GrowingArray<KR_MeshResource*> gNodes;
        gNodes.Add(pNode);
        KR_ModelResourceDX11 model(gNodes);
        ASSERT_TRUE(KR_ModelLoader::WriteModelCache(&model, "small.obj"));
        file = Bytes(m_pMemory->GetFileContents("small.obj.bin"));
    }
    std::unique_ptr<KR_ModelResource> pWhole(ReadCopy(file, file.size()));
    ASSERT_NE(nullptr, pWhole);
    EXPECT_EQ(2u, pWhole->GetTriangleCount());

    for (std::uint64_t uiLength = 0; uiLength < file.size(); ++uiLength)
        EXPECT_EQ(nullptr, ReadCopy(file, uiLength)) << uiLength;
    std::vector<std::uint8_t> padded = file;
    padded.push_back(0);
    EXPECT_EQ(nullptr, ReadCopy(padded, padded.size()));
    std::vector<std::uint8_t> version2 = file;
    version2[0] = 2;
    EXPECT_EQ(nullptr, ReadCopy(version2, version2.size()));

    // Corrupt files either read into some model or give null; AddressSanitizer watches the reads
    // and the model's end.
    std::mt19937 random(27);
    for (int i = 0; i < 3000; ++i)
    {
        std::vector<std::uint8_t> flipped = file;
        const int iFlips = 1 + static_cast<int>(random() % 4);
        for (int j = 0; j < iFlips; ++j)
            flipped[20 + random() % (flipped.size() - 20)] ^= static_cast<std::uint8_t>(1u << (random() % 8));
        delete ReadCopy(flipped, flipped.size());
    }
}
