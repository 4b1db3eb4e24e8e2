#include "platform/crt/CrtTemporaryFiles.h"

#include "tests/support/TestTempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <regex>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

constexpr int NUM_FILES = 200; // made by each process and thread

// Makes NUM_FILES temporaries beside sTarget and keeps them; how many could not be made.
int MakeMany(const std::string& sTarget)
{
    int iFailed = 0;
    for (int i = 0; i < NUM_FILES; ++i)
    {
        std::string sPath;
        std::FILE* pFile = CrtTemporaryFiles::Create(sTarget.c_str(), &sPath);
        if (pFile == nullptr || std::fclose(pFile) != 0)
            ++iFailed;
    }
    return iFailed;
}

} // namespace

// Two processes made the same temporary name beside one target (a counter of each process) and
// wrote into one file; the names are now never the same, in processes or threads.
TEST(CrtTemporaryFiles, EveryCallMakesANewFileNamedAfterTheTarget)
{
    TestTempDir folder;
    ASSERT_TRUE(folder.IsValid());
    const std::string sTarget = folder.Join("KV27.dat");
    pid_t aChildren[2] = {};
    for (pid_t& iChild : aChildren)
    {
        iChild = fork();
        ASSERT_GE(iChild, 0);
        if (iChild == 0)
            _exit(MakeMany(sTarget));
    }
    int aFailed[2] = {};
    std::thread threads[2];
    for (int i = 0; i < 2; ++i)
        threads[i] = std::thread([&, i] { aFailed[i] = MakeMany(sTarget); });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(0, aFailed[0] + aFailed[1]);
    for (const pid_t iChild : aChildren)
    {
        int iStatus = 0;
        ASSERT_EQ(iChild, waitpid(iChild, &iStatus, 0));
        EXPECT_TRUE(WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == 0) << "a child could not make every file";
    }
    const std::regex name(R"(KV27\.dat\.[A-Za-z0-9]{6}\.tmp)");
    std::size_t uiFiles = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.GetPath()))
    {
        EXPECT_TRUE(std::regex_match(entry.path().filename().string(), name)) << entry.path();
        ++uiFiles;
    }
    EXPECT_EQ(4u * NUM_FILES, uiFiles);
}

// A new file gets the permissions the umask leaves of 0666, as any file the program makes, not
// mkstemp's owner-only ones.
TEST(CrtTemporaryFiles, PermissionsAreThoseOfANewFile)
{
    TestTempDir folder;
    ASSERT_TRUE(folder.IsValid());
    const mode_t uiOldMask = umask(0);
    for (const mode_t uiMask : {mode_t{0}, mode_t{022}, mode_t{027}, mode_t{077}})
    {
        umask(uiMask);
        std::string sPath;
        std::FILE* pFile = CrtTemporaryFiles::Create(folder.Join("file.txt").c_str(), &sPath);
        ASSERT_NE(nullptr, pFile);
        struct stat status;
        ASSERT_EQ(0, fstat(fileno(pFile), &status));
        EXPECT_EQ(0666 & ~uiMask, status.st_mode & 07777) << std::oct << uiMask;
        EXPECT_EQ(0, status.st_size);
        std::fclose(pFile);
        std::filesystem::remove(sPath);
    }
    umask(uiOldMask);
}

TEST(CrtTemporaryFiles, NothingIsMadeWhereNoFileCanBe)
{
    TestTempDir folder;
    ASSERT_TRUE(folder.IsValid());
    std::string sPath = "unchanged";
    errno = 0;
    EXPECT_EQ(nullptr, CrtTemporaryFiles::Create(folder.Join("none/KV27.dat").c_str(), &sPath));
    EXPECT_EQ(ENOENT, errno);
    EXPECT_EQ(nullptr, CrtTemporaryFiles::Create(folder.Join(std::string(250, 'n')).c_str(), &sPath));
    EXPECT_EQ(ENAMETOOLONG, errno);
    EXPECT_EQ(nullptr, CrtTemporaryFiles::Create("", &sPath));
    EXPECT_EQ(EINVAL, errno);
    EXPECT_EQ("unchanged", sPath);
    EXPECT_TRUE(std::filesystem::is_empty(folder.GetPath()));
}
