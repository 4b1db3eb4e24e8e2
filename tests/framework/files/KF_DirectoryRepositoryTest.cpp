#include "framework/files/KF_DirectoryRepository.h"

#include "framework/threads/KT_AutoLock.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/TestTempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

// Exposes the cache so tests can see what is still referenced.
class InspectableDirectoryRepository : public KF_DirectoryRepository
{
public:
    using KF_DirectoryRepository::KF_DirectoryRepository;
    std::uint32_t GetNumLoaded()
    {
        KT_AutoLock lock(&m_oMutex);
        return GetNumLoadedFiles();
    }
};

class KF_DirectoryRepositoryTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_oFolder.IsValid()); }

    void Write(const std::string& sRelative, const std::string& sText) const
    {
        const std::filesystem::path path = m_oFolder.Join(sRelative);
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << sText;
    }
    std::string ReadBack(const std::string& sRelative) const
    {
        std::ifstream in(m_oFolder.Join(sRelative), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::string Read(KF_Repository& repository, const char* pPath) const
    {
        std::uint64_t uiSize = 0;
        std::uint8_t* pData = nullptr;
        if (!repository.ReadFile(pPath, &uiSize, &pData))
            return "<none>";
        EXPECT_EQ(pData[uiSize], 0);
        std::string sText(reinterpret_cast<char*>(pData), static_cast<std::size_t>(uiSize));
        EXPECT_TRUE(repository.RemoveReference(pPath));
        return sText;
    }
    std::vector<std::string> Find(KF_Repository& repository, const char* pPattern) const
    {
        KB_GrowingArray<KB_String> gNames;
        repository.FindFiles(pPattern, gNames);
        std::vector<std::string> names;
        for (std::uint32_t i = 0; i < gNames.GetNumMembers(); ++i)
            names.emplace_back(gNames[i].GetBuffer());
        return names;
    }
    std::vector<std::string> ListFolder(const std::string& sRelative) const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_oFolder.Join(sRelative)))
            names.push_back(entry.path().filename().string());
        return names;
    }

    TestTempDir m_oFolder;
};

using Names = std::vector<std::string>;

} // namespace

TEST_F(KF_DirectoryRepositoryTest, EveryOperationIsRelativeToTheRoot)
{
    Write("Assets/a.txt", "alpha");
    for (const std::string& sRoot :
         {m_oFolder.GetPath(), m_oFolder.GetPath() + "/", m_oFolder.GetPath() + "\\."})
    {
        KF_DirectoryRepository repository(sRoot.c_str());
        EXPECT_EQ(Read(repository, "Assets/a.txt"), "alpha") << sRoot;
        EXPECT_EQ(Read(repository, "Assets\\a.txt"), "alpha") << sRoot;
        EXPECT_TRUE(repository.FileExists("Assets/a.txt"));
        EXPECT_FALSE(repository.FileExists("Assets"));
        EXPECT_TRUE(repository.DirectoryExists("Assets"));
        EXPECT_FALSE(repository.DirectoryExists("Assets/a.txt"));
    }

    KF_DirectoryRepository repository(m_oFolder.GetPath().c_str());
    const std::string sText = "written";
    ASSERT_TRUE(repository.WriteFile("New/Deeper/b.txt", sText.size(), sText.data()));
    EXPECT_EQ(ReadBack("New/Deeper/b.txt"), "written");
    std::uint64_t uiValue = 0;
    EXPECT_TRUE(repository.GetFileSize("New/Deeper/b.txt", &uiValue));
    EXPECT_EQ(uiValue, 7u);
    EXPECT_TRUE(repository.GetFileTime("New/Deeper/b.txt", &uiValue));
    EXPECT_TRUE(repository.RemoveFile("New/Deeper/b.txt"));
    EXPECT_FALSE(std::filesystem::exists(m_oFolder.Join("New/Deeper/b.txt")));
    EXPECT_TRUE(repository.IsWritable());
}

TEST_F(KF_DirectoryRepositoryTest, ReadFailures)
{
    Write("empty.bin", "");
    Write("Dir/x", "x");
    KF_DirectoryRepository repository(m_oFolder.GetPath().c_str());
    std::uint64_t uiSize = 5;
    std::uint8_t* pData = nullptr;
    EXPECT_FALSE(repository.ReadFile("empty.bin", &uiSize, &pData));
    EXPECT_FALSE(repository.ReadFile("missing.bin", &uiSize, &pData));
    EXPECT_FALSE(repository.ReadFile("Dir", &uiSize, &pData));
    EXPECT_EQ(uiSize, 5u);
    EXPECT_EQ(pData, nullptr);
    EXPECT_FALSE(repository.GetFileSize("missing.bin", &uiSize));
    EXPECT_FALSE(repository.GetFileSize("Dir", &uiSize));
    EXPECT_TRUE(repository.GetFileSize("empty.bin", &uiSize));
    EXPECT_EQ(uiSize, 0u);
    EXPECT_FALSE(repository.GetFileTime("missing.bin", &uiSize));
}

TEST_F(KF_DirectoryRepositoryTest, SpecialFilesAreNeverOpened)
{
    Write("plain.txt", "plain");
    ASSERT_EQ(mkfifo(m_oFolder.Join("pipe").c_str(), 0600), 0);
    std::filesystem::create_symlink("pipe", m_oFolder.Join("pipe.link"));
    KF_DirectoryRepository repository(m_oFolder.GetPath().c_str());

    // Before the mend, opening the FIFO blocked (with the repository's lock held): let a writer
    // release such a reader so that the test fails instead of hanging.
    auto queries = std::async(std::launch::async,
                              [&]
                              {
                                  std::vector<bool> answers;
                                  for (const char* pPath : {"pipe", "pipe.link"})
                                  {
                                      std::uint64_t uiSize = 0;
                                      std::uint8_t* pData = nullptr;
                                      answers.push_back(repository.ReadFile(pPath, &uiSize, &pData));
                                      answers.push_back(repository.GetFileSize(pPath, &uiSize));
                                      answers.push_back(repository.FileExists(pPath));
                                      answers.push_back(repository.DirectoryExists(pPath));
                                  }
                                  return answers;
                              });
    if (queries.wait_for(std::chrono::seconds(5)) != std::future_status::ready)
    {
        ADD_FAILURE() << "a read of a FIFO blocked";
        for (int i = 0;
             i < 4 && queries.wait_for(std::chrono::milliseconds(200)) != std::future_status::ready; ++i)
        {
            const int iWriter = open(m_oFolder.Join("pipe").c_str(), O_WRONLY | O_NONBLOCK);
            if (iWriter >= 0)
                close(iWriter);
        }
    }
    EXPECT_EQ(queries.get(), std::vector<bool>(8, false));
    EXPECT_EQ(Read(repository, "plain.txt"), "plain"); // the lock is free again
}

TEST_F(KF_DirectoryRepositoryTest, ReadsWritesAndRemovalsStayInsideTheRoot)
{
    Write("outside.txt", "outside");
    Write("Root/a/inside.txt", "inside");
    KF_DirectoryRepository repository(m_oFolder.Join("Root").c_str());
    const std::string sText = "data";
    for (const std::string& sPath :
         {std::string("../outside.txt"), std::string("a/../../outside.txt"), std::string("..\\outside.txt"),
          std::string("a/./../../outside.txt"), m_oFolder.Join("outside.txt")})
    {
        EXPECT_EQ(Read(repository, sPath.c_str()), "<none>") << sPath;
        EXPECT_FALSE(repository.WriteFile(sPath.c_str(), sText.size(), sText.data())) << sPath;
        EXPECT_FALSE(repository.RemoveFile(sPath.c_str())) << sPath;
        EXPECT_EQ(ReadBack("outside.txt"), "outside") << sPath;
        // The queries still answer beside the root (an absolute path is taken below the root).
        std::uint64_t uiValue = 0;
        const bool bBeside = sPath[0] != '/';
        EXPECT_EQ(repository.FileExists(sPath.c_str()), bBeside) << sPath;
        EXPECT_EQ(repository.GetFileSize(sPath.c_str(), &uiValue), bBeside) << sPath;
        EXPECT_EQ(uiValue, bBeside ? 7u : 0u);
        EXPECT_EQ(repository.GetFileTime(sPath.c_str(), &uiValue), bBeside) << sPath;
    }
    EXPECT_FALSE(repository.WriteFile("../new.txt", sText.size(), sText.data()));
    EXPECT_FALSE(repository.WriteFile("/new.txt", sText.size(), sText.data()));
    EXPECT_FALSE(std::filesystem::exists(m_oFolder.Join("new.txt")));
    EXPECT_TRUE(repository.DirectoryExists(".."));

    // ".." that stays below the root is fine.
    EXPECT_EQ(Read(repository, "a/../a/inside.txt"), "inside");
    EXPECT_TRUE(repository.WriteFile("a/../b/new.txt", sText.size(), sText.data()));
    EXPECT_EQ(ReadBack("Root/b/new.txt"), "data");
    EXPECT_TRUE(repository.RemoveFile("b/./../b/new.txt"));
    EXPECT_FALSE(std::filesystem::exists(m_oFolder.Join("Root/b/new.txt")));
}

TEST_F(KF_DirectoryRepositoryTest, NamesMatchWithoutRegardToCase)
{
    Write("Assets/Models/Tree.DAE", "tree");
    InspectableDirectoryRepository repository(m_oFolder.GetPath().c_str());
    EXPECT_EQ(Read(repository, "assets/models/tree.dae"), "tree");
    EXPECT_TRUE(repository.FileExists("ASSETS/MODELS/TREE.DAE"));
    EXPECT_TRUE(repository.DirectoryExists("assets/MODELS"));
    EXPECT_EQ(Find(repository, "assets/models/*.dae"), Names{"Tree.DAE"});

    // The cache is keyed by the text asked for.
    std::uint64_t uiSize = 0;
    std::uint8_t* pLower = nullptr;
    std::uint8_t* pExact = nullptr;
    ASSERT_TRUE(repository.ReadFile("assets/models/tree.dae", &uiSize, &pLower));
    ASSERT_TRUE(repository.ReadFile("Assets/Models/Tree.DAE", &uiSize, &pExact));
    EXPECT_NE(pLower, pExact);
    EXPECT_EQ(repository.GetNumLoaded(), 2u);
    EXPECT_TRUE(repository.RemoveReference("assets/models/tree.dae"));
    EXPECT_TRUE(repository.RemoveReference("Assets/Models/Tree.DAE"));

    // A write through another spelling replaces the existing file; new parts keep their spelling.
    const std::string sText = "pine";
    ASSERT_TRUE(repository.WriteFile("ASSETS/models/TREE.dae", sText.size(), sText.data()));
    EXPECT_EQ(ReadBack("Assets/Models/Tree.DAE"), "pine");
    ASSERT_TRUE(repository.WriteFile("assets/NEW/x.txt", sText.size(), sText.data()));
    EXPECT_EQ(ReadBack("Assets/NEW/x.txt"), "pine");
    EXPECT_TRUE(repository.RemoveFile("assets/models/tree.DAE"));
    EXPECT_FALSE(std::filesystem::exists(m_oFolder.Join("Assets/Models/Tree.DAE")));
}

TEST_F(KF_DirectoryRepositoryTest, ExactNameWinsOverOtherCase)
{
    Write("file.txt", "lower");
    Write("FILE.txt", "upper");
    KF_DirectoryRepository repository(m_oFolder.GetPath().c_str());
    EXPECT_EQ(Read(repository, "file.txt"), "lower");
    EXPECT_EQ(Read(repository, "FILE.txt"), "upper");
    EXPECT_EQ(Read(repository, "File.txt"), "upper"); // the first in listing order
}

TEST_F(KF_DirectoryRepositoryTest, FindFilesInWindowsOrder)
{
    for (const char* pName : {"b.int", "_last.int", "A.INT", "a_b.int", "10.int", "ab.int", "c.aud"})
        Write(std::string("Curves/") + pName, "k");
    std::filesystem::create_directories(m_oFolder.Join("Curves/Sub.int"));
    KF_DirectoryRepository repository(m_oFolder.GetPath().c_str());
    EXPECT_EQ(Find(repository, "Curves/*.int"),
              (Names{"10.int", "A.INT", "ab.int", "a_b.int", "b.int", "Sub.int", "_last.int"}));
    EXPECT_EQ(Find(repository, "curves/*.*").front(), ".");
    EXPECT_EQ(Find(repository, "Curves/*.wav"), Names{});
    EXPECT_EQ(Find(repository, "Nowhere/*.int"), Names{});

    KB_GrowingArray<KB_String> gNames;
    gNames.Add("earlier");
    EXPECT_TRUE(repository.FindFiles("Curves/*.wav", gNames)); // names already there count
    EXPECT_EQ(gNames.GetNumMembers(), 1u);
}

TEST_F(KF_DirectoryRepositoryTest, RemoveFileReportsWhetherTheFileIsGone)
{
    Write("Dir/a", "a");
    KF_DirectoryRepository repository(m_oFolder.GetPath().c_str());
    EXPECT_TRUE(repository.RemoveFile("never/there"));
    EXPECT_FALSE(repository.RemoveFile("Dir"));
    EXPECT_TRUE(std::filesystem::is_directory(m_oFolder.Join("Dir")));
    EXPECT_TRUE(repository.RemoveFile("Dir/a"));
    EXPECT_TRUE(repository.RemoveFile("Dir/a"));
}

TEST_F(KF_DirectoryRepositoryTest, FailedWriteKeepsTheOldFile)
{
    Write("Data/save.txt", "old contents");
    KF_DirectoryRepository repository(m_oFolder.GetPath().c_str());

    // Writes past a file-size limit fail part-way, as on a full disk.
    const std::string sLarge(100000, 'n');
    bool bWritten = true;
    {
        FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.IsSet());
        bWritten = repository.WriteFile("Data/save.txt", sLarge.size(), sLarge.data());
    }

    EXPECT_FALSE(bWritten);
    EXPECT_EQ(ReadBack("Data/save.txt"), "old contents");
    EXPECT_EQ(ListFolder("Data"), Names{"save.txt"}); // no temporary file left behind

    std::filesystem::create_directories(m_oFolder.Join("Data/Folder"));
    EXPECT_FALSE(repository.WriteFile("Data/Folder", 3, "abc"));
    EXPECT_FALSE(repository.WriteFile("Data/x", 3, nullptr));
    EXPECT_TRUE(repository.WriteFile("Data/empty", 0, nullptr));
    EXPECT_TRUE(std::filesystem::exists(m_oFolder.Join("Data/empty")));
}

// Two processes saving one file at once (two developer-mode sessions) named their temporary files
// alike, by a counter of each process, and wrote into one of them.
TEST_F(KF_DirectoryRepositoryTest, TwoProcessesSavingOneFileAtOnceLeaveOneWholeFile)
{
    Write("Data/save.bin", "old contents");
    const std::string asContents[2] = {std::string(300000, 'a'), std::string(200000, 'b')};
    constexpr int NUM_WRITES = 100;
    pid_t aChildren[2] = {};
    for (int i = 0; i < 2; ++i)
    {
        aChildren[i] = fork();
        ASSERT_GE(aChildren[i], 0);
        if (aChildren[i] == 0)
        {
            // Each child says by its exit code how many of its writes failed.
            KF_DirectoryRepository repository(m_oFolder.GetPath().c_str());
            int iFailed = 0;
            for (int iWrite = 0; iWrite < NUM_WRITES; ++iWrite)
                iFailed +=
                    repository.WriteFile("Data/save.bin", asContents[i].size(), asContents[i].data()) ? 0 : 1;
            _exit(iFailed);
        }
    }
    for (const pid_t iChild : aChildren)
    {
        int iStatus = 0;
        ASSERT_EQ(waitpid(iChild, &iStatus, 0), iChild);
        ASSERT_TRUE(WIFEXITED(iStatus));
        EXPECT_EQ(WEXITSTATUS(iStatus), 0) << "writes failed";
    }
    const std::string sLeft = ReadBack("Data/save.bin");
    EXPECT_TRUE(sLeft == asContents[0] || sLeft == asContents[1]) << "a file of " << sLeft.size() << " bytes";
    EXPECT_EQ(ListFolder("Data"), Names{"save.bin"});
}

// A write makes the folders it needs below the root, never the root itself: a folder removed
// while something still writes into it stays gone.
TEST_F(KF_DirectoryRepositoryTest, WritesNeverMakeTheRootItself)
{
    const std::string sRoot = m_oFolder.Join("root");
    std::filesystem::create_directories(sRoot);
    KF_DirectoryRepository repository(sRoot.c_str());
    ASSERT_TRUE(repository.WriteFile("Deep/er/a.txt", 1, "a"));
    EXPECT_EQ(ReadBack("root/Deep/er/a.txt"), "a");
    std::filesystem::remove_all(sRoot);
    EXPECT_FALSE(repository.WriteFile("Deep/er/a.txt", 1, "a"));
    EXPECT_FALSE(repository.WriteFile("b.txt", 1, "b"));
    EXPECT_FALSE(std::filesystem::exists(sRoot));
}

TEST_F(KF_DirectoryRepositoryTest, HashIsOverTheContents)
{
    Write("abc.txt", "abc");
    InspectableDirectoryRepository repository(m_oFolder.GetPath().c_str());
    std::uint64_t uiHash = 0;
    EXPECT_TRUE(repository.GetFileHash("abc.txt", &uiHash));
    std::uint64_t uiExpected = 0x100000001b3ull;
    for (unsigned char c : std::string("abc"))
        uiExpected = (uiExpected ^ c) * 0x100000001b3ull;
    EXPECT_EQ(uiHash, uiExpected);
    EXPECT_EQ(repository.GetNumLoaded(), 0u);
    EXPECT_FALSE(repository.GetFileHash("none.txt", &uiHash));
    EXPECT_EQ(uiHash, 0u);
}

TEST_F(KF_DirectoryRepositoryTest, ConcurrentReadsAndReleasesOfOnePath)
{
    const std::string sContents(10000, 'd');
    Write("Shared/big.bin", sContents);
    InspectableDirectoryRepository repository(m_oFolder.GetPath().c_str());
    constexpr int NUM_THREADS = 4;
    std::vector<std::thread> threads;
    std::vector<int> failures(NUM_THREADS, 0);
    for (int t = 0; t < NUM_THREADS; ++t)
    {
        threads.emplace_back(
            [&, t]
            {
                for (int i = 0; i < 300; ++i)
                {
                    const char* pPath = (i % 2 == 0) ? "Shared/big.bin" : "shared/BIG.bin";
                    std::uint64_t uiSize = 0;
                    std::uint8_t* pData = nullptr;
                    if (!repository.ReadFile(pPath, &uiSize, &pData) || uiSize != sContents.size() ||
                        std::memcmp(pData, sContents.data(), sContents.size()) != 0 ||
                        !repository.RemoveReference(pPath))
                    {
                        ++failures[static_cast<std::size_t>(t)];
                    }
                }
            });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures, std::vector<int>(NUM_THREADS, 0));
    EXPECT_EQ(repository.GetNumLoaded(), 0u);
}
