#include "framework/core/KU_TemporaryFiles.h"

#include "tests/support/FileSizeLimit.h"
#include "tests/support/TestTempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{

class KU_TemporaryFilesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_oFolder.IsValid());
        m_uiLiveBefore = KU_TemporaryFiles::GetNumLive();
    }
    void TearDown() override { EXPECT_EQ(m_uiLiveBefore, KU_TemporaryFiles::GetNumLive()); }

    std::string Path(const std::string& sName) const { return m_oFolder.Join(sName); }
    std::string Read(const std::string& sName) const
    {
        std::ifstream file(Path(sName), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    std::vector<std::string> List() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_oFolder.GetPath()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TestTempDir m_oFolder;
    std::uint32_t m_uiLiveBefore = 0;
};

} // namespace

TEST_F(KU_TemporaryFilesTest, AWholeFileReplacesItsTargetOrLeavesItAsItWas)
{
    const std::string sText = "the new text";
    ASSERT_TRUE(KU_TemporaryFiles::WriteWholeFile(Path("a.txt").c_str(), sText.data(), sText.size()));
    EXPECT_EQ(sText, Read("a.txt"));
    ASSERT_TRUE(KU_TemporaryFiles::WriteWholeFile(Path("a.txt").c_str(), nullptr, 0));
    EXPECT_EQ("", Read("a.txt"));
    std::ofstream(Path("a.txt")) << "old";

    // Cut short part-way, as on a full disk.
    const std::string sLarge(100000, 'l');
    bool bWritten = true;
    int iError = 0;
    {
        FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.IsSet());
        bWritten = KU_TemporaryFiles::WriteWholeFile(Path("a.txt").c_str(), sLarge.data(), sLarge.size());
        iError = errno;
    }
    EXPECT_FALSE(bWritten);
    EXPECT_EQ(EFBIG, iError);
    EXPECT_EQ("old", Read("a.txt"));
    EXPECT_EQ(std::vector<std::string>{"a.txt"}, List());

    // No folder to write in; a folder in the target's place.
    errno = 0;
    EXPECT_FALSE(KU_TemporaryFiles::WriteWholeFile(Path("none/a.txt").c_str(), "x", 1));
    EXPECT_EQ(ENOENT, errno);
    std::filesystem::create_directory(Path("folder"));
    EXPECT_FALSE(KU_TemporaryFiles::WriteWholeFile(Path("folder").c_str(), "x", 1));
    EXPECT_EQ(EISDIR, errno);
    EXPECT_EQ((std::vector<std::string>{"a.txt", "folder"}), List());
}

// What a program interrupted by SIGINT or SIGTERM does before it ends (in a child process, since
// the list stays locked afterwards): every live temporary goes, folders with what is in them.
TEST_F(KU_TemporaryFilesTest, RemoveAllForExitLeavesNoTemporary)
{
    std::ofstream(Path("kept.txt")) << "kept";
    int aMade[2];
    int aGo[2];
    ASSERT_EQ(0, pipe(aMade));
    ASSERT_EQ(0, pipe(aGo));
    const pid_t iChild = fork();
    ASSERT_GE(iChild, 0);
    if (iChild == 0)
    {
        KB_String sFile;
        KB_String sFolder;
        std::FILE* pFile = KU_TemporaryFiles::Create(Path("kept.txt").c_str(), &sFile);
        if (pFile == nullptr || std::fputs("partly written", pFile) < 0 || std::fflush(pFile) != 0 ||
            !KU_TemporaryFiles::CreateFolder(Path("staging-").c_str(), &sFolder))
        {
            _exit(1);
        }
        std::filesystem::create_directories(std::string(sFolder.GetBuffer()) + "/a/b");
        std::ofstream(std::string(sFolder.GetBuffer()) + "/a/b/c.txt") << "c";
        char c = 'm';
        if (write(aMade[1], &c, 1) != 1 || read(aGo[0], &c, 1) != 1)
            _exit(1);
        KU_TemporaryFiles::RemoveAllForExit();
        write(aMade[1], &c, 1);
        _exit(KU_TemporaryFiles::GetNumLive() == 0 ? 0 : 2); // never: the list stays locked
    }
    char c = 0;
    ASSERT_EQ(1, read(aMade[0], &c, 1));
    EXPECT_EQ(3u, List().size()) << "the file and the folder, beside kept.txt";
    ASSERT_EQ(1, write(aGo[1], &c, 1));
    ASSERT_EQ(1, read(aMade[0], &c, 1));
    EXPECT_EQ(std::vector<std::string>{"kept.txt"}, List());
    EXPECT_EQ("kept", Read("kept.txt"));
    // The child waits on the lock for ever.
    usleep(20000);
    int iStatus = 0;
    EXPECT_EQ(0, waitpid(iChild, &iStatus, WNOHANG)) << "the child went on past the removal";
    kill(iChild, SIGKILL);
    waitpid(iChild, &iStatus, 0);
    for (const int iFile : {aMade[0], aMade[1], aGo[0], aGo[1]})
        close(iFile);
}
