#include "render/models/KR_ModelLoader.h"

#include "framework/files/KF_FileManager.h"
#include "render/models/KR_ColladaImporter.h"
#include "render/models/KR_ModelCacheHeader.h"
#include "render/models/KR_ModelCacheReader.h"
#include "render/models/KR_ModelImporters.h"
#include "render/models/KR_ModelResource.h"
#include "tests/render/device/LoadingTestHelpers.h"
#include "tests/render/device/StandInGraphicsDevice.h"
#include "tests/support/MemoryFiles.h"
#include "tests/support/MemoryRepository.h"
#include "tests/support/MeshMakingResourceManager.h"
#include "tests/support/TestEngine.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using loadingtest::CacheHeader;
using loadingtest::FakeModel;

namespace
{

class KR_ModelLoaderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_files.Install();
        loadingtest::RegisterFakes();
    }
    void TearDown() override
    {
        KR_ModelImporters::Clear();
        m_engine->SetFileManager(nullptr);
    }

    // The origin of the loaded model; 0 for none.
    std::uint32_t Load(const char* pPath)
    {
        std::unique_ptr<KR_ModelResource> pModel(KR_ModelLoader::LoadModel(pPath, 1, 1, 0));
        EXPECT_EQ(0u, m_pRepository->GetNumLoadedFiles()) << pPath;
        return pModel != nullptr ? pModel->GetTriangleCount() : 0;
    }

    std::uint64_t Hash(const char* pPath)
    {
        std::uint64_t uiHash = 0;
        EXPECT_TRUE(m_files->GetFileHash(pPath, &uiHash));
        return uiHash;
    }

    TestEngine m_engine;
    MemoryFiles m_files{true};
    MemoryRepository* m_pRepository = m_files.GetRepository();
};

} // namespace

TEST_F(KR_ModelLoaderTest, CacheFreshnessDecidesBetweenCacheAndImport)
{
    const char* pSource = "Assets/Models/Ship.obj";
    const char* pCache = "Assets/Models/Ship.obj.bin";
    struct Case
    {
        const char* pName;
        bool bSource;
        std::uint32_t uiVersion;
        std::uint64_t uiStoredTime;
        bool bSameHash;
        std::uint64_t uiHeaderBytes;
        std::uint32_t uiExpected;
    };
    const Case cases[] = {
        {"cache without source, used unchecked", false, 3, 0, false, 20, FakeModel::FROM_CACHE},
        {"stored time newer, content differs", true, 3, 101, false, 20, FakeModel::FROM_CACHE},
        {"newer source, same hash", true, 3, 50, true, 20, FakeModel::FROM_CACHE},
        {"equal time, different hash", true, 3, 100, false, 20, FakeModel::FROM_OBJ},
        {"version 2", true, 2, 101, true, 20, FakeModel::FROM_OBJ},
        {"header one byte short", true, 3, 101, true, 19, FakeModel::FROM_OBJ},
    };
    for (const Case& test : cases)
    {
        m_pRepository->RemoveAllFiles();
        if (test.bSource)
            m_pRepository->SetFile(pSource, "v 0 0 0\n", 100);
        const std::uint64_t uiHash = test.bSameHash ? Hash(pSource) : 12345;
        const std::string sHeader = CacheHeader(test.uiVersion, test.uiStoredTime, uiHash);
        m_pRepository->SetFile(pCache, sHeader.substr(0, test.uiHeaderBytes), 7);
        EXPECT_EQ(test.uiExpected, Load(pSource)) << test.pName;
        // A re-import rewrites the cache with the source's time and hash; a used cache stays.
        const std::string sWritten = m_pRepository->GetFileContents(pCache);
        if (test.uiExpected == FakeModel::FROM_OBJ)
            EXPECT_EQ(CacheHeader(3, 100, Hash(pSource)) + std::string(8, 'M'), sWritten) << test.pName;
        else
            EXPECT_EQ(sHeader.substr(0, test.uiHeaderBytes), sWritten) << test.pName;
    }
}

TEST_F(KR_ModelLoaderTest, ImportersAreFoundByExtensionWithoutRegardToCase)
{
    m_pRepository->SetFile("MODEL.OBJ", "o", 5);
    m_pRepository->SetFile("Tree.Dae", "<COLLADA/>", 5);
    m_pRepository->SetFile("thing.xyz", "?", 5);
    EXPECT_EQ(FakeModel::FROM_OBJ, Load("MODEL.OBJ"));
    EXPECT_EQ(FakeModel::FROM_DAE, Load("Tree.Dae"));
    EXPECT_EQ(0u, Load("thing.xyz"));
    EXPECT_EQ(0u, Load("noextension"));
    EXPECT_TRUE(m_pRepository->HasFile("MODEL.OBJ.bin"));
    EXPECT_FALSE(m_pRepository->HasFile("thing.xyz.bin"));
    // Without a cache reader the cache is never read, only written.
    KR_ModelImporters::SetCacheReader(nullptr);
    EXPECT_EQ(FakeModel::FROM_OBJ, Load("MODEL.OBJ"));
    EXPECT_EQ(0u, loadingtest::g_uiCacheReads.load());
}

TEST_F(KR_ModelLoaderTest, CacheWriterGrowsWithTheRecordAndNeedsAWritableRepository)
{
    m_pRepository->SetFile("big.obj", "o", 9);
    const std::uint64_t uiPayload = 3 * KR_ModelLoader::FIRST_CACHE_CAPACITY + 5;
    const FakeModel model(FakeModel::FROM_OBJ, uiPayload);
    ASSERT_TRUE(KR_ModelLoader::WriteModelCache(&model, "big.obj"));
    const std::string sFile = m_pRepository->GetFileContents("big.obj.bin");
    EXPECT_EQ(CacheHeader(3, 9, Hash("big.obj")) + std::string(uiPayload, 'M'), sFile);
    // The header of a source nobody can date or hash holds zeros.
    ASSERT_TRUE(KR_ModelLoader::WriteModelCache(&model, "gone.obj"));
    EXPECT_EQ(CacheHeader(3, 0, 0), m_pRepository->GetFileContents("gone.obj.bin").substr(0, 20));

    MemoryFiles readOnly(false);
    readOnly.Install();
    EXPECT_FALSE(KR_ModelLoader::WriteModelCache(&model, "big.obj"));
    m_files.Install();
}

namespace
{

// A geometry "<id>" of a strip of uiVertices distinct vertices, each with the one normal and the one
// texture coordinate (32 bytes a vertex), in uiVertices - 2 triangles (i, i + 1, i + 2).
std::string StripGeometry(const std::string& sId, std::uint32_t uiVertices)
{
    std::string sPositions;
    std::string sP;
    for (std::uint32_t i = 0; i < uiVertices; ++i)
        sPositions += std::to_string(i) + " " + std::to_string(i % 7) + " 0 ";
    for (std::uint32_t i = 0; i + 2 < uiVertices; ++i)
        for (std::uint32_t j = i; j < i + 3; ++j)
            sP += std::to_string(j) + " 0 0 ";
    return "<geometry id=\"" + sId + "\"><mesh><source id=\"" + sId + "-p\"><float_array count=\"" +
           std::to_string(3 * uiVertices) + "\">" + sPositions + "</float_array></source><source id=\"" +
           sId + "-n\"><float_array count=\"3\">0 1 0</float_array></source><source id=\"" + sId +
           "-t\"><float_array count=\"2\">0.5 0.5</float_array></source><vertices id=\"" + sId +
           "-v\"><input semantic=\"POSITION\" source=\"#" + sId +
           "-p\"/></vertices><triangles><input semantic=\"VERTEX\" source=\"#" + sId +
           "-v\" offset=\"0\"/><input semantic=\"NORMAL\" source=\"#" + sId +
           "-n\" offset=\"1\"/><input semantic=\"TEXCOORD\" source=\"#" + sId +
           "-t\" offset=\"2\" set=\"0\"/><p>" + sP + "</p></triangles></mesh></geometry>";
}

// A document of strip geometries, one top-level node instancing each.
std::string StripDocument(const std::vector<std::uint32_t>& vVertexCounts)
{
    std::string sGeometries;
    std::string sNodes;
    for (std::size_t i = 0; i < vVertexCounts.size(); ++i)
    {
        // Appended, not "g" + number: GCC's -O3 restrict warning misfires on a literal plus a string.
        std::string sId = "g";
        sId += std::to_string(i);
        sGeometries += StripGeometry(sId, vVertexCounts[i]);
        sNodes += "<node id=\"n";
        sNodes += std::to_string(i);
        sNodes += "\"><instance_geometry url=\"#" + sId + "\"/></node>";
    }
    return "<?xml version=\"1.0\"?><COLLADA version=\"1.4.1\"><library_geometries>" + sGeometries +
           "</library_geometries><library_visual_scenes><visual_scene id=\"s\">" + sNodes +
           "</visual_scene></library_visual_scenes><scene><instance_visual_scene "
           "url=\"#s\"/></scene></COLLADA>";
}

int g_iColladaImports = 0;

KR_ModelResource* CountedColladaImport(const KB_String& sPath, std::uint8_t uiFlag1, std::uint8_t uiFlag2,
                                       std::uint8_t uiFlag3)
{
    ++g_iColladaImports;
    return KR_ColladaImporter::Import(sPath, uiFlag1, uiFlag2, uiFlag3);
}

// The loader with the COLLADA importer and the cache reader, making real meshes on the stand-in
// device.
class KR_ModelLoaderImportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_files.Install();
        m_engine->SetGraphicsResourceManager(&m_resources);
        KR_ModelImporters::Clear();
        KR_ModelImporters::RegisterImporter("dae", &CountedColladaImport);
        KR_ModelImporters::SetCacheReader(&KR_ModelCacheReader::LoadSerializedModel);
    }
    void TearDown() override
    {
        KR_ModelImporters::Clear();
        m_engine->SetGraphicsResourceManager(nullptr);
        m_engine->SetFileManager(nullptr);
    }

    TestEngine m_engine;
    StandInGraphicsDevice m_device{m_engine};
    MemoryFiles m_files{true};
    MemoryRepository* m_pRepository = m_files.GetRepository();
    MeshMakingResourceManager m_resources;
};

} // namespace

TEST_F(KR_ModelLoaderImportTest, CachesPastTheFirstCapacityAreWrittenWithinTheirBuffer)
{
    // A node takes 104 bytes beside its mesh record of 28 + 32 V + 16 (V - 2) bytes; the file has
    // 20 + 4 + 54 more. Two nodes of about 47 KiB: the second mesh fits 64 KiB from 0, but not after
    // the first. One node whose mesh record (65,420 bytes) fits 64 KiB, but not after the 130
    // bytes before it.
    struct Case
    {
        const char* pPath;
        std::vector<std::uint32_t> vVertexCounts;
        std::uint64_t uiFileSize;
    };
    const Case cases[] = {
        {"Models/Two.dae", {1000, 1000}, 20 + 4 + 2 * (104 + 48 * 1000) + 54},
        {"Models/One.dae", {1363}, 20 + 4 + 104 + 48 * 1363 + 54},
    };
    for (const Case& test : cases)
    {
        m_pRepository->SetFile(test.pPath, StripDocument(test.vVertexCounts), 5);
        std::unique_ptr<KR_ModelResource> pImported(KR_ModelLoader::LoadModel(test.pPath, 0, 0, 0));
        ASSERT_NE(nullptr, pImported) << test.pPath;
        const std::string sCache = m_pRepository->GetFileContents(std::string(test.pPath) + ".bin");
        EXPECT_EQ(test.uiFileSize, sCache.size()) << test.pPath;
        EXPECT_GT(sCache.size(), KR_ModelLoader::FIRST_CACHE_CAPACITY) << test.pPath;

        // The cache is what the model writes, and a second load reads it back.
        std::vector<std::uint8_t> vBytes(sCache.size());
        std::uint8_t* pCursor = vBytes.data() + 20;
        std::uint64_t uiWritten = 20;
        ASSERT_TRUE(pImported->Serialize(&pCursor, vBytes.size(), &uiWritten)) << test.pPath;
        EXPECT_TRUE(std::string(vBytes.begin() + 20, vBytes.end()) == sCache.substr(20)) << test.pPath;
        const int iImportsBefore = g_iColladaImports;
        std::unique_ptr<KR_ModelResource> pCached(KR_ModelLoader::LoadModel(test.pPath, 0, 0, 0));
        ASSERT_NE(nullptr, pCached) << test.pPath;
        EXPECT_EQ(iImportsBefore, g_iColladaImports) << test.pPath; // not imported again
        EXPECT_EQ(pImported->GetTriangleCount(), pCached->GetTriangleCount()) << test.pPath;
    }
}
