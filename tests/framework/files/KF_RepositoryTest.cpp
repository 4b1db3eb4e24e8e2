#include "framework/files/KF_Repository.h"

#include "tests/support/MemoryRepository.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <string>
#include <thread>
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

TEST(KF_Repository, CacheFollowsEveryReadReferenceAndRelease)
{
    // Random reads, extra references and releases over 200 paths against a plain count per path:
    // entries moved into the place of removed ones must keep their path, buffer and count.
    MemoryRepository repository;
    constexpr int NUM_PATHS = 200;
    for (int i = 0; i < NUM_PATHS; ++i)
        repository.SetFile("dir/file" + std::to_string(i), "contents " + std::to_string(i));
    std::map<std::string, std::uint32_t> counts;
    std::map<std::string, std::uint8_t*> buffers;
    std::mt19937 random(5);
    for (int step = 0; step < 20000; ++step)
    {
        const std::string path = "dir/file" + std::to_string(random() % NUM_PATHS);
        const KB_String sPath(path.c_str());
        switch (random() % 3)
        {
        case 0:
        {
            std::uint64_t uiSize = 0;
            std::uint8_t* pData = nullptr;
            ASSERT_TRUE(repository.ReadFile(sPath, &uiSize, &pData));
            ASSERT_EQ(std::string(reinterpret_cast<char*>(pData), uiSize), "contents " + path.substr(8));
            ASSERT_TRUE(counts[path]++ == 0 || pData == buffers[path]) << path;
            buffers[path] = pData;
            break;
        }
        case 1:
            ASSERT_EQ(repository.AddReference(sPath), counts[path] > 0);
            if (counts[path] > 0)
                ++counts[path];
            break;
        default:
            ASSERT_EQ(repository.RemoveReference(sPath), counts[path] > 0);
            if (counts[path] > 0)
                --counts[path];
            break;
        }
        ASSERT_EQ(repository.GetReferenceCount(path), counts[path]) << path;
    }
    std::uint32_t uiHeld = 0;
    for (const auto& [path, count] : counts)
        uiHeld += count > 0 ? 1 : 0;
    EXPECT_EQ(repository.GetNumLoadedFiles(), uiHeld);
    for (const auto& [path, count] : counts)
        for (std::uint32_t i = 0; i < count; ++i)
            EXPECT_TRUE(repository.RemoveReference(path.c_str()));
    EXPECT_EQ(repository.GetNumLoadedFiles(), 0u);
}

TEST(KF_Repository, CacheUnderConcurrentReadsAndReleases)
{
    // Four threads read, hold and release overlapping sets of paths in different orders; every
    // buffer must hold its own path's bytes for as long as it is referenced.
    MemoryRepository repository;
    constexpr int NUM_PATHS = 64;
    // Paths are appended to "p": GCC 12 at -O3 misreads "p" + std::string as an overlapping copy.
    const auto PathOf = [](int i)
    {
        std::string path = "p";
        path += std::to_string(i);
        return path;
    };
    for (int i = 0; i < NUM_PATHS; ++i)
        repository.SetFile(PathOf(i), std::string(100 + i, static_cast<char>('a' + i % 26)));
    constexpr int NUM_THREADS = 4;
    std::vector<int> failures(NUM_THREADS, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < NUM_THREADS; ++t)
    {
        threads.emplace_back(
            [&, t]
            {
                std::mt19937 random(static_cast<std::uint32_t>(t));
                std::vector<std::pair<std::string, std::uint8_t*>> held;
                for (int step = 0; step < 4000; ++step)
                {
                    if (held.size() < 16 && random() % 2 == 0)
                    {
                        const int i = static_cast<int>(random() % NUM_PATHS);
                        const std::string path = PathOf(i);
                        std::uint64_t uiSize = 0;
                        std::uint8_t* pData = nullptr;
                        if (!repository.ReadFile(path.c_str(), &uiSize, &pData) ||
                            uiSize != static_cast<std::uint64_t>(100 + i))
                        {
                            ++failures[static_cast<std::size_t>(t)];
                            continue;
                        }
                        held.emplace_back(path, pData);
                    }
                    else if (!held.empty())
                    {
                        const std::size_t k = random() % held.size();
                        const auto [path, pData] = held[k];
                        const int i = std::stoi(path.substr(1));
                        const std::string expected(100 + i, static_cast<char>('a' + i % 26));
                        if (std::memcmp(pData, expected.data(), expected.size()) != 0 ||
                            !repository.RemoveReference(path.c_str()))
                        {
                            ++failures[static_cast<std::size_t>(t)];
                        }
                        held.erase(held.begin() + static_cast<std::ptrdiff_t>(k));
                    }
                }
                for (const auto& [path, pData] : held)
                    repository.RemoveReference(path.c_str());
            });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures, std::vector<int>(NUM_THREADS, 0));
    EXPECT_EQ(repository.GetNumLoadedFiles(), 0u);
}
