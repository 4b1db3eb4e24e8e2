// kvpack run on folders made for each test: two runs writing one archive at once, a run
// interrupted while it writes, and the lines it prints when it cannot read or write.

#include "tests/production/programs/ProgramRun.h"
#include "tests/support/TestTempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace
{

class KVPackTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_temp.IsValid()); }

    fs::path Path(const std::string& sRelative) const { return fs::path(m_temp.Join(sRelative)); }

    static void Write(const fs::path& path, const std::string& sText)
    {
        TestTempDir::WriteFile(path.string(), sText);
    }

    // A stored (uncompressed) file of uiSize zero bytes that takes no room on the disk.
    static void WriteSparse(const fs::path& path, std::uint64_t uiSize)
    {
        Write(path, "");
        fs::resize_file(path, uiSize);
    }

    static std::string Read(const fs::path& path) { return TestTempDir::ReadFile(path.string()); }

    // The names in the folder, sorted.
    static std::vector<std::string> List(const fs::path& folder)
    {
        return TestTempDir::ListNames(folder.string());
    }

    static std::vector<std::string> Pack(const fs::path& folder, const fs::path& archive)
    {
        return {KV_KVPACK, folder.string(), archive.string()};
    }

    TestTempDir m_temp;
};

} // namespace

// Two runs writing one archive at once (two run commands at once) each wrote the same temporary
// file: the archive left was equal to neither run's.
TEST_F(KVPackTest, TwoRunsWritingOneArchiveAtOnceLeaveOneRunsArchive)
{
    const fs::path small = Path("small/assets");
    const fs::path large = Path("large/assets");
    Write(small / "sceneconfig.xml", "<config/>");
    Write(small / "Entities/a.int", "curve");
    for (int i = 0; i < 8; ++i)
    {
        Write(large / ("Entities/c" + std::to_string(i) + ".int"), std::string(4096, char('a' + i)));
        WriteSparse(large / ("Models/m" + std::to_string(i) + ".bin"), 1u << 20);
    }
    const fs::path out = Path("out");
    fs::create_directories(out);
    // What each run writes alone.
    std::string asAlone[2];
    for (int i = 0; i < 2; ++i)
    {
        ProgramRun run(Pack(i == 0 ? small : large, out / "KV27.dat"));
        run.Wait();
        ASSERT_EQ(0, run.GetExitCode()) << run.GetErrors();
        asAlone[i] = Read(out / "KV27.dat");
    }
    ASSERT_NE(asAlone[0], asAlone[1]);

    for (int iRound = 0; iRound < 4; ++iRound)
    {
        ProgramRun first(Pack(large, out / "KV27.dat"));
        ProgramRun second(Pack(small, out / "KV27.dat"));
        first.Wait();
        second.Wait();
        EXPECT_EQ(0, first.GetExitCode()) << first.GetErrors();
        EXPECT_EQ(0, second.GetExitCode()) << second.GetErrors();
        const std::string sArchive = Read(out / "KV27.dat");
        EXPECT_TRUE(sArchive == asAlone[0] || sArchive == asAlone[1])
            << "round " << iRound << ": an archive of " << sArchive.size() << " bytes, neither run's";
        EXPECT_EQ(std::vector<std::string>{"KV27.dat"}, List(out)) << "round " << iRound;
    }
}

// SIGINT or SIGTERM while the archive is being written left the partly written temporary file
// beside it. The run now removes it and ends as the signal would; the old archive stays whole.
TEST_F(KVPackTest, InterruptedWhileWritingLeavesTheOldArchiveAndNoTemporary)
{
    const fs::path folder = Path("assets");
    for (int i = 0; i < 16; ++i)
        WriteSparse(folder / ("Models/m" + std::to_string(i) + ".bin"), 4u << 20);
    const fs::path out = Path("out");
    Write(out / "KV27.dat", "the old archive");
    for (const int iSignal : {SIGINT, SIGTERM})
    {
        // The signal goes as soon as a file other than the archive (the temporary) shows beside
        // it; a run that ends before that is seen is tried again.
        bool bInterrupted = false;
        for (int iTry = 0; iTry < 5 && !bInterrupted; ++iTry)
        {
            ProgramRun run(Pack(folder, out / "KV27.dat"));
            ASSERT_TRUE(run.IsStarted());
            while (run.IsRunning() && List(out).size() < 2)
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            kill(run.GetPid(), iSignal);
            run.Wait();
            if (run.GetExitCode() == 0)
            {
                Write(out / "KV27.dat", "the old archive");
                continue;
            }
            bInterrupted = true;
            EXPECT_EQ(iSignal, run.GetSignal()) << run.GetErrors();
            EXPECT_EQ(std::vector<std::string>{"KV27.dat"}, List(out)) << "signal " << iSignal;
            EXPECT_EQ("the old archive", Read(out / "KV27.dat"));
        }
        EXPECT_TRUE(bInterrupted) << "no run was caught writing (signal " << iSignal << ")";
    }
}

// An unreadable file in the folder was reported as "cannot write the archive".
TEST_F(KVPackTest, FilesItCannotReadOrWriteAreNamedWithTheReason)
{
    const fs::path folder = Path("assets");
    Write(folder / "a.txt", "readable");
    Write(folder / "Models/secret.bin", "stored");
    Write(folder / "Entities/secret.int", "compressed");
    const fs::path out = Path("out");
    fs::create_directories(out);
    ProgramRun::OpenToOthers(m_temp.GetPath(), false);
    ProgramRun::OpenToOthers(out.string(), true);
    ProgramRun::OpenToOthers(folder.string(), false);
    ProgramRun::OpenToOthers((folder / "Models").string(), false);
    ProgramRun::OpenToOthers((folder / "Entities").string(), false);
    ProgramRun::Options unprivileged;
    unprivileged.bUnprivileged = true;

    // A stored file is read while the archive is written, a compressed one before.
    for (const char* pSecret : {"Models/secret.bin", "Entities/secret.int"})
    {
        fs::permissions(folder / pSecret, fs::perms::none);
        ProgramRun run(Pack(folder, out / "KV27.dat"), unprivileged);
        run.Wait();
        EXPECT_EQ(1, run.GetExitCode());
        EXPECT_EQ("kvpack: cannot read \"" + (folder / pSecret).string() + "\": Permission denied\n",
                  run.GetErrors());
        EXPECT_TRUE(List(out).empty()) << pSecret;
        fs::permissions(folder / pSecret, fs::perms::owner_read | fs::perms::owner_write |
                                              fs::perms::group_read | fs::perms::others_read);
    }

    // The archive's folder, not writable.
    ProgramRun::OpenToOthers(out.string(), false);
    ProgramRun run(Pack(folder, out / "KV27.dat"), unprivileged);
    run.Wait();
    EXPECT_EQ(1, run.GetExitCode());
    EXPECT_EQ("kvpack: cannot write the archive \"" + (out / "KV27.dat").string() + "\": Permission denied\n",
              run.GetErrors());
}
