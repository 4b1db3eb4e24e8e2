#include "platform/win32/Windows.h"

#include "tests/support/TestTempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

namespace
{

class WinFilesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_oFolder.IsValid());
        m_sRoot = m_oFolder.GetPath();
    }

    std::string Path(const std::string& sName) const { return m_sRoot + "/" + sName; }
    void Write(const std::string& sName, const std::string& sText) const
    {
        std::ofstream(Path(sName), std::ios::binary) << sText;
    }
    std::vector<std::string> List(const std::string& sPattern) const
    {
        std::vector<std::string> names;
        WIN32_FIND_DATAA data;
        HANDLE hFind = FindFirstFileA(Path(sPattern).c_str(), &data);
        if (hFind == INVALID_HANDLE_VALUE)
            return names;
        do
        {
            names.push_back(data.cFileName);
        } while (FindNextFileA(hFind, &data));
        EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
        EXPECT_TRUE(FindClose(hFind));
        return names;
    }

    TestTempDir m_oFolder;
    std::string m_sRoot;
};

using Names = std::vector<std::string>;

TEST_F(WinFilesTest, ListsInUpperCasedByteOrderWithDotEntries)
{
    for (const char* pName : {"b.txt", "Zeta", "_x.txt", "a_b", "1.txt", "ab", "A.txt"})
        Write(pName, "x");
    // Upper-cased: '.' < digits < letters < '_'.
    EXPECT_EQ(List("*"), (Names{".", "..", "1.txt", "A.txt", "ab", "a_b", "b.txt", "Zeta", "_x.txt"}));
    EXPECT_EQ(List("*.*"), List("*"));
}

TEST_F(WinFilesTest, WildcardsIgnoreCase)
{
    for (const char* pName : {"x.DAE", "y.dae", "z.Dae", "w.daex", "dae", "Q.txt"})
        Write(pName, "x");
    EXPECT_EQ(List("*.dae"), (Names{"x.DAE", "y.dae", "z.Dae"}));
    EXPECT_EQ(List("?.DAE"), (Names{"x.DAE", "y.dae", "z.Dae"}));
    EXPECT_EQ(List("q.*"), (Names{"Q.txt"}));
    EXPECT_EQ(List("DAE"), (Names{"dae"}));
    EXPECT_EQ(List("*.dae*"), (Names{"w.daex", "x.DAE", "y.dae", "z.Dae"}));
    EXPECT_EQ(List("."), (Names{"."}));
    EXPECT_TRUE(List("*.int").empty());
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(WinFilesTest, FindDataCarriesAttributesSizeAndTime)
{
    Write("data.bin", "12345");
    ASSERT_TRUE(CreateDirectoryA(Path("Sub").c_str(), nullptr));
    // 2000-01-01 00:00:00.5 UTC.
    const struct timespec times[2] = {{946684800, 500000000}, {946684800, 500000000}};
    ASSERT_EQ(utimensat(AT_FDCWD, Path("data.bin").c_str(), times, 0), 0);
    const std::uint64_t uiExpected = (946684800ull + 11644473600ull) * 10000000ull + 5000000ull;

    WIN32_FIND_DATAA data;
    HANDLE hFind = FindFirstFileA(Path("DATA.BIN").c_str(), &data);
    ASSERT_NE(hFind, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(data.cFileName, "data.bin");
    EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(data.nFileSizeLow, 5u);
    EXPECT_EQ(data.nFileSizeHigh, 0u);
    EXPECT_EQ((std::uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime,
              uiExpected);
    EXPECT_FALSE(FindNextFileA(hFind, &data));
    EXPECT_TRUE(FindClose(hFind));
    EXPECT_FALSE(FindClose(hFind));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    WIN32_FILE_ATTRIBUTE_DATA info;
    ASSERT_TRUE(GetFileAttributesExA(Path("data.bin").c_str(), GetFileExInfoStandard, &info));
    EXPECT_EQ((std::uint64_t(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime,
              uiExpected);
    EXPECT_EQ(GetFileAttributesA(Path("Sub").c_str()), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(GetFileAttributesA(Path("missing").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(WinFilesTest, SearchFailures)
{
    WIN32_FIND_DATAA data;
    EXPECT_EQ(FindFirstFileA(Path("missing/*").c_str(), &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(FindFirstFileA(Path("").c_str(), &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(FindNextFileA(nullptr, &data));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(WinFilesTest, CreateDirectoryReportsWhyItFailed)
{
    std::string sBackslashed = Path("New");
    EXPECT_TRUE(CreateDirectoryA((m_sRoot + "\\New").c_str(), nullptr));
    EXPECT_TRUE(std::filesystem::is_directory(sBackslashed));
    EXPECT_FALSE(CreateDirectoryA(sBackslashed.c_str(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(CreateDirectoryA(Path("no/such/parent").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST_F(WinFilesTest, MoveReplacesOnlyWhenAskedAndDeleteSparesDirectories)
{
    Write("old", "old");
    Write("new", "new");
    EXPECT_FALSE(MoveFileExA(Path("new").c_str(), Path("old").c_str(), 0));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(MoveFileExA(Path("new").c_str(), Path("old").c_str(), MOVEFILE_REPLACE_EXISTING));
    std::ifstream in(Path("old"));
    std::string sText;
    in >> sText;
    EXPECT_EQ(sText, "new");
    EXPECT_FALSE(std::filesystem::exists(Path("new")));

    ASSERT_TRUE(CreateDirectoryA(Path("dir").c_str(), nullptr));
    EXPECT_FALSE(MoveFileExA(Path("old").c_str(), Path("dir").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_FALSE(DeleteFileA(Path("dir").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(DeleteFileA(Path("old").c_str()));
    EXPECT_FALSE(DeleteFileA(Path("old").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

} // namespace
