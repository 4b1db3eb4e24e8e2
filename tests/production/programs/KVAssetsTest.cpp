// kvassets run on copies of the committed asset tree: two runs at once, a run interrupted while
// it generates or installs, and wrong usage.

#include "production/KV27_AssetManifest.h"
#include "tests/production/programs/ProgramRun.h"
#include "tests/support/TestTempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace
{

const fs::path SOURCE_ASSETS = fs::path(KV_SOURCE_ROOT) / "assets";
const fs::path SOURCE_MANIFEST = fs::path(KV_SOURCE_ROOT) / "assets.manifest";

std::string Read(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Every entry under the folder (folders end in '/'), relative and sorted; a run may be changing it.
std::vector<std::string> ListAll(const fs::path& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        names.push_back(it->path().lexically_relative(folder).generic_string() +
                        (it->is_directory(error) ? "/" : ""));
    std::sort(names.begin(), names.end());
    return names;
}

class KVAssetsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_temp.IsValid());
        fs::copy(SOURCE_ASSETS, Tree(), fs::copy_options::recursive);
        fs::copy_file(SOURCE_MANIFEST, Manifest());
        fs::create_directories(Staging());
    }

    fs::path Tree() const { return fs::path(m_temp.Join("assets")); }
    fs::path Manifest() const { return fs::path(m_temp.Join("assets.manifest")); }
    // The system's temporary folder of the runs (TMPDIR), where they stage.
    fs::path Staging() const { return fs::path(m_temp.Join("tmp")); }

    ProgramRun* Start(std::vector<std::string> vArguments) const
    {
        vArguments.insert(vArguments.begin(), KV_KVASSETS);
        ProgramRun::Options options;
        options.vEnvironment.push_back("TMPDIR=" + Staging().string());
        return new ProgramRun(vArguments, options);
    }

    // The tree and manifest are the committed ones, file for file and byte for byte.
    void ExpectCommitted(const std::string& sWhen) const
    {
        const std::vector<std::string> vCommitted = ListAll(SOURCE_ASSETS);
        EXPECT_EQ(vCommitted, ListAll(Tree())) << sWhen;
        for (const std::string& sName : vCommitted)
        {
            if (sName.back() == '/')
                continue;
            EXPECT_TRUE(Read(SOURCE_ASSETS / sName) == Read(Tree() / sName)) << sWhen << ": " << sName;
        }
        EXPECT_TRUE(Read(SOURCE_MANIFEST) == Read(Manifest())) << sWhen;
    }

    TestTempDir m_temp;
};

} // namespace

// Two runs at once shared one staging folder, each emptying it first: one installed from a
// half-made set, removed the generated files it did not find there and exited 0.
TEST_F(KVAssetsTest, TwoRunsAtOnceEndWithTheTreeOneRunMakesOrTheSecondNamesIt)
{
    const std::string sNamed = std::string(1, '"').append(Tree().string()).append(1, '"');
    for (int iRound = 0; iRound < 2; ++iRound)
    {
        std::unique_ptr<ProgramRun> pFirst(Start({Tree().string()}));
        std::unique_ptr<ProgramRun> pSecond(Start({Tree().string()}));
        pFirst->Wait();
        pSecond->Wait();
        int iSucceeded = 0;
        for (ProgramRun* pRun : {pFirst.get(), pSecond.get()})
        {
            if (pRun->GetExitCode() == 0)
            {
                ++iSucceeded;
                continue;
            }
            EXPECT_EQ(1, pRun->GetExitCode()) << pRun->GetErrors();
            EXPECT_NE(std::string::npos, pRun->GetErrors().find(sNamed)) << pRun->GetErrors();
        }
        EXPECT_GE(iSucceeded, 1);
        ExpectCommitted("round " + std::to_string(iRound));
        EXPECT_TRUE(ListAll(Staging()).empty()) << "round " << iRound;
    }
}

// A run interrupted by SIGINT or SIGTERM left its staging folder, and one interrupted while it
// installed a cut file at the final name, which the next run kept as an edit.
TEST_F(KVAssetsTest, InterruptedRunLeavesNoTemporaryAndNoCutFile)
{
    // The generated files are missing, so the run installs every one of them.
    const KV27_AssetManifest manifest = [this]
    {
        KV27_AssetManifest read;
        EXPECT_TRUE(read.Load(Manifest().string()));
        return read;
    }();
    ASSERT_FALSE(manifest.GetEntries().empty());
    const auto removeGenerated = [&]
    {
        for (const KV27_AssetManifest::Entry& entry : manifest.GetEntries())
            fs::remove(Tree() / entry.sPath);
    };
    // The signal goes once the run has begun staging, or once it has begun installing.
    const auto staging = [this] { return !ListAll(Staging()).empty(); };
    const auto installing = [&]
    {
        return std::any_of(manifest.GetEntries().begin(), manifest.GetEntries().end(),
                           [&](const KV27_AssetManifest::Entry& entry)
                           { return fs::exists(Tree() / entry.sPath); });
    };
    for (const auto& [iSignal, bInstalling] : {std::pair<int, bool>{SIGINT, false}, {SIGTERM, true}})
    {
        const std::string sCase =
            std::string(bInstalling ? "installing" : "staging") + ", signal " + std::to_string(iSignal);
        bool bInterrupted = false;
        for (int iTry = 0; iTry < 5 && !bInterrupted; ++iTry)
        {
            removeGenerated();
            std::unique_ptr<ProgramRun> pRun(Start({Tree().string()}));
            ASSERT_TRUE(pRun->IsStarted());
            while (pRun->IsRunning() && !(bInstalling ? installing() : staging()))
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            kill(pRun->GetPid(), iSignal);
            pRun->Wait();
            bInterrupted = pRun->GetExitCode() != 0;
            EXPECT_TRUE(!bInterrupted || pRun->GetSignal() == iSignal) << sCase << "\n" << pRun->GetErrors();
            EXPECT_TRUE(ListAll(Staging()).empty()) << sCase;
            // What was installed is whole; nothing else was left in the tree.
            for (const std::string& sName : ListAll(Tree()))
            {
                if (sName.back() == '/')
                    continue;
                EXPECT_TRUE(fs::exists(SOURCE_ASSETS / sName)) << sCase << ": " << sName;
                EXPECT_TRUE(Read(SOURCE_ASSETS / sName) == Read(Tree() / sName)) << sCase << ": " << sName;
            }
        }
        EXPECT_TRUE(bInterrupted) << "no run was caught " << sCase;
        // The next run completes the tree.
        std::unique_ptr<ProgramRun> pRun(Start({Tree().string()}));
        pRun->Wait();
        EXPECT_EQ(0, pRun->GetExitCode()) << pRun->GetErrors();
        EXPECT_EQ(std::string::npos, pRun->GetOutput().find("kept, edited")) << pRun->GetOutput();
        ExpectCommitted(sCase);
    }
}

TEST_F(KVAssetsTest, WrongUsageExitsWithTheUsage)
{
    for (const std::vector<std::string>& vArguments :
         {std::vector<std::string>{}, {"--force"}, {"-f", Tree().string()}, {"--force", "a", "b"}})
    {
        std::unique_ptr<ProgramRun> pRun(Start(vArguments));
        pRun->Wait();
        EXPECT_EQ(2, pRun->GetExitCode()) << vArguments.size();
        EXPECT_EQ(0u, pRun->GetErrors().rfind("usage: kvassets [--force] <asset folder>\n", 0))
            << pRun->GetErrors();
    }
    std::unique_ptr<ProgramRun> pRun(Start({Tree().string() + "/none"}));
    pRun->Wait();
    EXPECT_EQ(1, pRun->GetExitCode());
    EXPECT_EQ("kvassets: cannot use the folder \"" + Tree().string() + "/none\"\n", pRun->GetErrors());
}
