#include "framework/core/KU_FileUtilities.h"

#include "tests/support/TestTempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace
{

std::string Str(const KB_String& text)
{
    return std::string(text.GetBuffer(), text.GetLength());
}

std::vector<std::string> Strings(const KB_GrowingArray<KB_String>& array)
{
    std::vector<std::string> result;
    for (std::uint32_t i = 0; i < array.GetNumMembers(); ++i)
        result.push_back(Str(array[i]));
    return result;
}

struct PathCase
{
    const char* pInput;
    const char* pExpected;
};

TEST(KU_FileUtilities, ExtractDirectoryAndFilename)
{
    const PathCase directories[] = {{"file", ""},      {"a/b/c.txt", "a/b"}, {"a\\b/c\\d.txt", "a/b/c"},
                                    {"/root.txt", ""}, {"a/b/", "a/b"},      {"", ""}};
    for (const PathCase& c : directories)
        EXPECT_EQ(Str(KU_FileUtilities::ExtractDirectory(c.pInput)), c.pExpected) << c.pInput;
    const PathCase filenames[] = {
        {"file", "file"}, {"a/b/", ""}, {"a\\b\\c.dae", "c.dae"}, {"a/b\\c/d.x", "d.x"}, {"", ""}};
    for (const PathCase& c : filenames)
        EXPECT_EQ(Str(KU_FileUtilities::ExtractFilename(c.pInput)), c.pExpected) << c.pInput;
    EXPECT_EQ(Str(KU_FileUtilities::EnforceForwardSlashes("a\\b\\\\c/d")), "a/b//c/d");
}

TEST(KU_FileUtilities, ExtensionsComeFromTheLastComponentOnly)
{
    const PathCase extensions[] = {{"a.b.c", "c"},
                                   {"model.DAE", "DAE"},
                                   {"noext", ""},
                                   {"dir.v2/file", ""},
                                   {"dir.v2\\file", ""},
                                   {"../Source/x", ""},
                                   {"Assets/x.tar.gz", "gz"},
                                   {"trailing.", ""}};
    for (const PathCase& c : extensions)
        EXPECT_EQ(Str(KU_FileUtilities::ExtractExtension(c.pInput)), c.pExpected) << c.pInput;
    const PathCase replaced[] = {{"a.b.c", "a.b.x"},  {"noext", ""},
                                 {"../Source/x", ""}, {"../Source/x.dae", "../Source/x.x"},
                                 {"dir.v2/file", ""}, {"trailing.", "trailing.x"}};
    for (const PathCase& c : replaced)
        EXPECT_EQ(Str(KU_FileUtilities::ReplaceExtension(c.pInput, "x")), c.pExpected) << c.pInput;
}

TEST(KU_FileUtilities, SplitPathDropsEmptyComponents)
{
    EXPECT_EQ(Strings(KU_FileUtilities::SplitPath("/a//b/")), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(Strings(KU_FileUtilities::SplitPath("C:\\x\\\\y/z.txt")),
              (std::vector<std::string>{"C:", "x", "y", "z.txt"}));
    EXPECT_TRUE(Strings(KU_FileUtilities::SplitPath("//")).empty());
    EXPECT_TRUE(Strings(KU_FileUtilities::SplitPath("")).empty());
    EXPECT_EQ(Strings(KU_FileUtilities::SplitPath("name")), (std::vector<std::string>{"name"}));
    EXPECT_EQ(Strings(KU_FileUtilities::SplitPath("\\lead")), (std::vector<std::string>{"lead"}));
    // More components than the array's first storage, some longer than a small buffer.
    EXPECT_EQ(Strings(KU_FileUtilities::SplitPath("a/b/c/d/e/f/a_component_of_thirty_bytes__/g")),
              (std::vector<std::string>{"a", "b", "c", "d", "e", "f", "a_component_of_thirty_bytes__", "g"}));
}

TEST(KU_FileUtilities, GetAbsolutePathNormalisesAgainstTheWorkingDirectory)
{
    const std::string cwd = std::filesystem::current_path().generic_string();
    const std::string base = cwd == "/" ? "" : cwd;
    EXPECT_EQ(Str(KU_FileUtilities::GetAbsolutePath("/a/./b/../c")), "/a/c");
    EXPECT_EQ(Str(KU_FileUtilities::GetAbsolutePath("x\\y/../z.txt")), base + "/x/z.txt");
    EXPECT_EQ(Str(KU_FileUtilities::GetAbsolutePath("/a/b/")), "/a/b/");
    EXPECT_EQ(Str(KU_FileUtilities::GetAbsolutePath("/a/b/.")), "/a/b");
    const std::string tooLong(300, 'q');
    EXPECT_EQ(Str(KU_FileUtilities::GetAbsolutePath(tooLong.c_str())), tooLong) << "falls back to the input";
    EXPECT_EQ(Str(KU_FileUtilities::GetAbsolutePath("")), "");
}

TEST(KU_FileUtilities, CreateDirectoriesBuildsFromTheSecondComponent)
{
    TestTempDir temp;
    ASSERT_TRUE(temp.IsValid());
    const std::string deep = temp.Join("one/two/three");
    EXPECT_TRUE(KU_FileUtilities::CreateDirectories(deep.c_str())) << "absolute path keeps its root";
    EXPECT_TRUE(std::filesystem::is_directory(deep));
    EXPECT_TRUE(KU_FileUtilities::CreateDirectories((deep + "/").c_str())) << "an existing tree is fine";
    EXPECT_TRUE(KU_FileUtilities::CreateDirectories("single"));
    EXPECT_FALSE(KU_FileUtilities::CreateDirectories("/kv_no_such_root_dir_7f3a/a/b")) << "first must exist";
    EXPECT_FALSE(std::filesystem::exists("/kv_no_such_root_dir_7f3a"));

    std::ofstream(temp.Join("file")) << "x";
    EXPECT_FALSE(KU_FileUtilities::CreateDirectories(temp.Join("file/sub").c_str()));
}

TEST(KU_FileUtilities, CreateDirectoriesBelowNeverMakesTheRoot)
{
    TestTempDir temp;
    ASSERT_TRUE(temp.IsValid());
    const std::string root = temp.Join("root");
    EXPECT_FALSE(KU_FileUtilities::CreateDirectoriesBelow(root.c_str(), "a/b"));
    EXPECT_FALSE(std::filesystem::exists(root));

    std::filesystem::create_directory(root);
    EXPECT_TRUE(KU_FileUtilities::CreateDirectoriesBelow(root.c_str(), "a\\b/c"));
    EXPECT_TRUE(std::filesystem::is_directory(root + "/a/b/c"));
    EXPECT_TRUE(KU_FileUtilities::CreateDirectoriesBelow((root + "/").c_str(), "a/b/c/")) << "existing ones";
    EXPECT_TRUE(KU_FileUtilities::CreateDirectoriesBelow(root.c_str(), ""));
    std::ofstream(root + "/a/file") << "x";
    EXPECT_FALSE(KU_FileUtilities::CreateDirectoriesBelow(root.c_str(), "a/file/sub"));
}

TEST(KU_FileUtilities, GetLastWriteTimeIsAFileTime)
{
    TestTempDir temp;
    ASSERT_TRUE(temp.IsValid());
    const std::string path = temp.Join("stamp.txt");
    std::ofstream(path) << "data";
    // 2001-09-09 01:46:40 UTC, one billion seconds after 1970, plus 250 ms.
    const timespec times[2] = {{1000000000, 250000000}, {1000000000, 250000000}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_EQ(KU_FileUtilities::GetLastWriteTime(path.c_str()),
              (1000000000ull + 11644473600ull) * 10000000ull + 2500000ull);
    EXPECT_EQ(KU_FileUtilities::GetLastWriteTime(temp.Join("missing").c_str()), 0u);
    EXPECT_EQ(KU_FileUtilities::GetLastWriteTime(temp.GetPath().c_str()), 0u) << "a directory is no file";
}

} // namespace
