// The kv27 program started in a folder whose archive cannot be opened: the line it prints first.

#include "tests/production/programs/ProgramRun.h"
#include "tests/support/TestTempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

// An archive that could not be opened for want of permission was reported "not found".
TEST(KV27MainTest, AnArchiveItCannotOpenIsNamedWithTheReason)
{
    TestTempDir folder;
    ASSERT_TRUE(folder.IsValid());
    ProgramRun::OpenToOthers(folder.GetPath(), false);
    const fs::path archive = fs::path(folder.GetPath()) / "KV27.dat";
    std::ofstream(archive, std::ios::binary) << "KVDR";
    fs::permissions(archive, fs::perms::none);

    ProgramRun::Options options;
    options.sDirectory = folder.GetPath();
    options.bUnprivileged = true;
    ProgramRun run({KV_KV27}, options);
    ASSERT_TRUE(run.IsStarted());
    const std::string sErrors = run.ReadErrorsUntil("\n");
    kill(run.GetPid(), SIGTERM);
    run.Wait();
    const std::string sLine = sErrors.substr(0, sErrors.find('\n'));
    EXPECT_EQ(0u, sLine.rfind("kv27: \"KV27.dat\" could not be read (Permission denied) in \"" +
                                  folder.GetPath() + "\"; without it \"Assets/sceneconfig.xml\"",
                              0))
        << sLine;
}
