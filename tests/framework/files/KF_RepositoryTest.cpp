#include "framework/files/KF_Repository.h"

#include "tests/support/MemoryRepository.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

std::uint64_t Fnv1a64FromPrime(const std::string& sText)
{
    std::uint64_t h = 0x100000001b3ull;
    for (unsigned char c : sText)
        h = (h ^ c) * 0x100000001b3ull;
    return h;
}

} // namespace

TEST(KF_Repository, ReadsOfOnePathShareOneCountedBuffer)
{
    MemoryRepository repository;
    repository.SetFile("a/b.txt", "hello");
    std::uint64_t uiSize1 = 0;
    std::uint64_t uiSize2 = 0;
    std::uint8_t* pData1 = nullptr;
    std::uint8_t* pData2 = nullptr;
    ASSERT_TRUE(repository.ReadFile("a/b.txt", &uiSize1, &pData1));
    ASSERT_TRUE(repository.ReadFile("a/b.txt", &uiSize2, &pData2));
    EXPECT_EQ(pData1, pData2);
    EXPECT_EQ(uiSize1, 5u);
    EXPECT_EQ(pData1[5], 0); // NUL after the contents
    EXPECT_STREQ(reinterpret_cast<char*>(pData1), "hello");
    EXPECT_EQ(repository.GetReferenceCount("a/b.txt"), 2u);

    EXPECT_TRUE(repository.AddReference("a/b.txt"));
    EXPECT_EQ(repository.GetReferenceCount("a/b.txt"), 3u);
    EXPECT_TRUE(repository.RemoveReference("a/b.txt"));
    EXPECT_TRUE(repository.RemoveReference("a/b.txt"));
    EXPECT_EQ(repository.GetNumLoadedFiles(), 1u);
    EXPECT_TRUE(repository.RemoveReference("a/b.txt"));
    EXPECT_EQ(repository.GetNumLoadedFiles(), 0u);

    EXPECT_FALSE(repository.RemoveReference("a/b.txt"));
    EXPECT_FALSE(repository.AddReference("a/b.txt"));
    EXPECT_FALSE(repository.RemoveReference("never/read"));
}

TEST(KF_Repository, RemovingOneEntryKeepsTheOthers)
{
    MemoryRepository repository;
    std::vector<std::uint8_t*> buffers;
    for (const char* pPath : {"1", "2", "3", "4", "5", "6"})
    {
        repository.SetFile(pPath, pPath);
        std::uint64_t uiSize = 0;
        std::uint8_t* pData = nullptr;
        ASSERT_TRUE(repository.ReadFile(pPath, &uiSize, &pData));
        buffers.push_back(pData);
    }
    EXPECT_TRUE(repository.RemoveReference("2"));
    EXPECT_TRUE(repository.RemoveReference("5"));
    for (const char* pPath : {"1", "3", "4", "6"})
    {
        std::uint64_t uiSize = 0;
        std::uint8_t* pData = nullptr;
        ASSERT_TRUE(repository.ReadFile(pPath, &uiSize, &pData));
        EXPECT_EQ(pData, buffers[static_cast<std::size_t>(pPath[0] - '1')]) << pPath;
        EXPECT_EQ(repository.GetReferenceCount(pPath), 2u);
    }
}

TEST(KF_Repository, HashOfPresentAndMissingFiles)
{
    MemoryRepository repository;
    repository.SetFile("abc", "abc");
    repository.SetFile("empty", "");
    std::uint64_t uiHash = 7;
    EXPECT_TRUE(repository.GetFileHash("abc", &uiHash));
    EXPECT_EQ(uiHash, Fnv1a64FromPrime("abc"));
    EXPECT_TRUE(repository.GetFileHash("empty", &uiHash));
    EXPECT_EQ(uiHash, 0x100000001b3ull);
    EXPECT_EQ(repository.GetNumLoadedFiles(), 0u); // released again

    uiHash = 7;
    EXPECT_FALSE(repository.GetFileHash("missing", &uiHash));
    EXPECT_EQ(uiHash, 0u);
}

TEST(KF_Repository, FailedHashLeavesOtherReadersReferences)
{
    MemoryRepository repository;
    repository.SetFile("held", "data");
    std::uint64_t uiSize = 0;
    std::uint8_t* pData = nullptr;
    ASSERT_TRUE(repository.ReadFile("held", &uiSize, &pData));
    repository.RemoveAllFiles(); // still cached, but no longer readable

    std::uint64_t uiHash = 0;
    EXPECT_FALSE(repository.GetFileHash("held", &uiHash));
    EXPECT_EQ(repository.GetReferenceCount("held"), 1u);
    EXPECT_STREQ(reinterpret_cast<char*>(pData), "data");
    EXPECT_TRUE(repository.RemoveReference("held"));
}

TEST(KF_Repository, DestructionFreesBuffersStillReferenced)
{
    auto* pRepository = new MemoryRepository();
    pRepository->SetFile("kept", std::string(1000, 'x'));
    std::uint64_t uiSize = 0;
    std::uint8_t* pData = nullptr;
    ASSERT_TRUE(pRepository->ReadFile("kept", &uiSize, &pData));
    ASSERT_TRUE(pRepository->ReadFile("kept", &uiSize, &pData));
    delete pRepository; // the leak checker of the sanitizer build watches this
}
