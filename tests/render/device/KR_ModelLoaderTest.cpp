#include "render/device/KR_ModelLoader.h"

#include "framework/files/KF_FileManager.h"
#include "render/models/KR_ModelCacheHeader.h"
#include "render/models/KR_ModelImporters.h"
#include "tests/render/device/LoadingTestHelpers.h"
#include "tests/support/MemoryFiles.h"
#include "tests/support/TestEngine.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

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
