// Install writes cut short part-way, as on a full disk: every target is the old file or the new
// one, whole, and no temporary file is left.

#include "production/KV27_AssetGenerator.h"
#include "production/KV27_AssetManifest.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/TestTempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace
{

class KV27_AssetGeneratorInstallTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_temp.IsValid()); }

    fs::path Staged() const { return fs::path(m_temp.Join("staged")); }
    fs::path Tree() const { return fs::path(m_temp.Join("assets")); }
    std::string ManifestPath() const { return KV27_AssetManifest::GetManifestPath(Tree().string()); }

    static void Write(const fs::path& file, const std::string& sText)
    {
        TestTempDir::WriteFile(file.string(), sText);
    }
    static std::string Read(const fs::path& file) { return TestTempDir::ReadFile(file.string()); }
    // Every entry of the folder, sorted.
    static std::vector<std::string> List(const fs::path& folder)
    {
        return TestTempDir::ListNames(folder.string());
    }

    // Install with writes limited to 4096 bytes a file; false expected.
    void InstallCutShort() const
    {
        KV27_AssetGenerator::InstallReport report;
        std::string sError;
        bool bInstalled = true;
        {
            FileSizeLimit limit(4096);
            ASSERT_TRUE(limit.IsSet());
            bInstalled =
                KV27_AssetGenerator::Install(Staged().string(), Tree().string(), false, &report, &sError);
        }
        EXPECT_FALSE(bInstalled);
        // The file and why: a full disk reads "No space left on device", the limit "File too large".
        EXPECT_NE(std::string::npos, sError.find("cannot write")) << sError;
        EXPECT_NE(std::string::npos, sError.find(": File too large")) << sError;
    }

    TestTempDir m_temp;
};

} // namespace

// The generated file was copied straight over its final name: a full disk left it cut, and the
// next run kept the cut file as an edit.
TEST_F(KV27_AssetGeneratorInstallTest, AFileCutShortLeavesTheOldFileWholeAndNoTemporary)
{
    Write(Tree() / "Audio/music.wav", "the old music");
    Write(Tree() / "Entities/a.int", "a1");
    KV27_AssetManifest last;
    ASSERT_TRUE(last.ReadFolder(Tree().string()));
    ASSERT_TRUE(last.Save(ManifestPath()));
    const std::string sManifest = Read(ManifestPath());
    Write(Staged() / "Audio/music.wav", std::string(100000, 'm'));
    Write(Staged() / "Entities/a.int", "a2");

    InstallCutShort();
    EXPECT_TRUE(Read(Tree() / "Audio/music.wav") == "the old music")
        << Read(Tree() / "Audio/music.wav").size() << " bytes";
    EXPECT_EQ(std::vector<std::string>{"music.wav"}, List(Tree() / "Audio"));
    EXPECT_EQ(sManifest, Read(ManifestPath()));

    // With room again the run replaces the file, which still holds what the manifest records.
    KV27_AssetGenerator::InstallReport report;
    std::string sError;
    ASSERT_TRUE(KV27_AssetGenerator::Install(Staged().string(), Tree().string(), false, &report, &sError))
        << sError;
    EXPECT_TRUE(report.vKept.empty());
    EXPECT_TRUE(Read(Tree() / "Audio/music.wav") == std::string(100000, 'm'));
    EXPECT_EQ("a2", Read(Tree() / "Entities/a.int"));
}

// The manifest was written over itself: cut short, it lost the entries after the cut.
TEST_F(KV27_AssetGeneratorInstallTest, AManifestCutShortLeavesTheOldManifestWholeAndNoTemporary)
{
    // Files small enough to install, named so that the manifest takes more than the limit.
    for (int i = 0; i < 80; ++i)
    {
        const std::string sName = "Entities/" + std::string(60, 'n') + std::to_string(i) + ".int";
        Write(Tree() / sName, "old");
        Write(Staged() / sName, "new");
    }
    KV27_AssetManifest last;
    ASSERT_TRUE(last.ReadFolder(Tree().string()));
    ASSERT_TRUE(last.Save(ManifestPath()));
    const std::string sManifest = Read(ManifestPath());
    ASSERT_GT(sManifest.size(), 4096u);

    InstallCutShort();
    EXPECT_TRUE(sManifest == Read(ManifestPath())) << Read(ManifestPath()).size() << " bytes";
    EXPECT_EQ((std::vector<std::string>{"assets", "assets.manifest", "staged"}), List(m_temp.GetPath()));
    EXPECT_EQ(80u, List(Tree() / "Entities").size());
}
