#include "production/KV27_AssetManifest.h"

#include "framework/core/KU_HashUtilities.h"
#include "tests/support/TestTempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace
{

std::uint64_t HashOf(const std::string& sBytes)
{
    return KU_HashUtilities::HashFNV1a64(reinterpret_cast<const std::uint8_t*>(sBytes.data()), sBytes.size());
}

} // namespace

TEST(KV27_AssetManifest, FolderTextAndFileAgreeAndListTheEditedFiles)
{
    TestTempDir temp;
    ASSERT_TRUE(temp.IsValid());
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(temp.GetPath()) / "assets";
    fs::create_directories(folder / "Entities/Scene1");
    std::ofstream(folder / "sceneconfig.xml", std::ios::binary) << "<scene1/>";
    std::ofstream(folder / "Entities/Scene1/a b.int", std::ios::binary) << "";
    std::ofstream(folder / "Entities/Scene1/c.int", std::ios::binary) << "c";

    KV27_AssetManifest manifest;
    ASSERT_TRUE(manifest.ReadFolder(folder.string()));
    ASSERT_EQ(manifest.GetEntries().size(), 3u);
    // Sorted by path; names with blanks survive the text form.
    EXPECT_EQ(manifest.GetEntries()[0].sPath, "Entities/Scene1/a b.int");
    EXPECT_EQ(manifest.GetEntries()[2].sPath, "sceneconfig.xml");
    ASSERT_NE(manifest.Find("Entities/Scene1/c.int"), nullptr);
    EXPECT_EQ(manifest.Find("Entities/Scene1/c.int")->uiHash, HashOf("c"));
    EXPECT_EQ(manifest.Find("Entities/Scene1/a b.int")->uiHash, HashOf(""));
    EXPECT_EQ(manifest.Find("Entities/Scene1"), nullptr);

    const std::string sFile = KV27_AssetManifest::GetManifestPath(folder.string() + "/");
    EXPECT_EQ(sFile, folder.string() + ".manifest");
    ASSERT_TRUE(manifest.Save(sFile));
    KV27_AssetManifest loaded;
    ASSERT_TRUE(loaded.Load(sFile));
    EXPECT_EQ(loaded.Format(), manifest.Format());

    EXPECT_TRUE(loaded.ListEdited(folder.string()).empty());
    std::ofstream(folder / "Entities/Scene1/c.int", std::ios::binary) << "c edited";
    fs::remove(folder / "sceneconfig.xml");
    EXPECT_EQ(loaded.ListEdited(folder.string()),
              (std::vector<std::string>{"Entities/Scene1/c.int", "sceneconfig.xml"}));
}

TEST(KV27_AssetManifest, RejectsMalformedLinesPathsOutsideTheFolderAndRepeatedPaths)
{
    KV27_AssetManifest manifest;
    ASSERT_TRUE(manifest.Parse("# comment\n\n00000000000000ff a.int\n0123456789abcdef Entities/b.int"));
    EXPECT_EQ(manifest.GetEntries().size(), 2u);
    EXPECT_EQ(manifest.Find("a.int")->uiHash, 0xffu);
    for (const char* pText : {"00000000000000ff\n",                                // no path
                              "00000000000000fg a.int\n",                          // not hex
                              "00000000000000FF a.int\n",                          // upper case
                              "0000000000000ff a.int\n",                           // fifteen digits
                              "00000000000000ff ../a.int\n",                       // leaves the folder
                              "00000000000000ff Entities/../../a.int\n",           // leaves the folder
                              "00000000000000ff /etc/a.int\n",                     // absolute
                              "00000000000000ff a.int\n00000000000000fe a.int\n"}) // twice
    {
        EXPECT_FALSE(manifest.Parse(pText)) << pText;
        EXPECT_TRUE(manifest.GetEntries().empty()) << pText;
    }
    EXPECT_FALSE(manifest.Load("/nonexistent/assets.manifest"));
}
