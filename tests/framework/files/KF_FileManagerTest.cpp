#include "framework/files/KF_FileManager.h"

#include "framework/files/KF_NameValidator.h"
#include "tests/support/MemoryRepository.h"
#include "tests/support/TestTempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace
{

std::vector<std::string> ToVector(const KB_GrowingArray<KB_String>& gNames)
{
    std::vector<std::string> names;
    for (std::uint32_t i = 0; i < gNames.GetNumMembers(); ++i)
        names.emplace_back(gNames[i].GetBuffer());
    return names;
}

std::string ReadText(KF_FileManager& manager, const char* pPath)
{
    std::uint64_t uiSize = 0;
    std::uint8_t* pData = nullptr;
    if (!manager.ReadFile(pPath, &uiSize, &pData))
        return "<none>";
    std::string sText(reinterpret_cast<char*>(pData), static_cast<std::size_t>(uiSize));
    manager.RemoveReference(pPath);
    return sText;
}

class CountingValidator : public KF_NameValidator
{
public:
    explicit CountingValidator(int* pDeleted) : m_pDeleted(pDeleted) {}
    ~CountingValidator() override { ++*m_pDeleted; }

private:
    int* m_pDeleted;
};

// A read-only repository standing in for the data archive ahead of a loose-file repository.
class KF_FileManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pArchive = new MemoryRepository(false);
        m_pLoose = new MemoryRepository(true);
        m_manager.AddRepository(m_pArchive);
        m_manager.AddRepository(m_pLoose);
    }

    KF_FileManager m_manager;
    MemoryRepository* m_pArchive = nullptr; // owned by m_manager
    MemoryRepository* m_pLoose = nullptr;   // owned by m_manager
};

} // namespace

TEST_F(KF_FileManagerTest, FirstRepositoryThatAnswersWins)
{
    m_pArchive->SetFile("Assets/a.txt", "packed", 10);
    m_pLoose->SetFile("Assets/a.txt", "loose!!", 20);
    m_pLoose->SetFile("Assets/b.txt", "only loose", 30);

    EXPECT_EQ(ReadText(m_manager, "Assets/a.txt"), "packed");
    EXPECT_EQ(ReadText(m_manager, "Assets/b.txt"), "only loose");
    std::uint64_t uiValue = 0;
    EXPECT_TRUE(m_manager.GetFileSize("Assets/a.txt", &uiValue));
    EXPECT_EQ(uiValue, 6u);
    EXPECT_TRUE(m_manager.GetFileTime("Assets/a.txt", &uiValue));
    EXPECT_EQ(uiValue, 10u);
    EXPECT_TRUE(m_manager.GetFileTime("Assets/b.txt", &uiValue));
    EXPECT_EQ(uiValue, 30u);
    EXPECT_TRUE(m_manager.FileExists("Assets/b.txt"));
    EXPECT_TRUE(m_manager.DirectoryExists("Assets"));
    EXPECT_FALSE(m_manager.FileExists("Assets/c.txt"));
    EXPECT_EQ(m_pArchive->GetNumLoadedFiles() + m_pLoose->GetNumLoadedFiles(), 0u);
}

TEST_F(KF_FileManagerTest, ReferencesGoToTheRepositoryThatHoldsThePath)
{
    m_pLoose->SetFile("x", "x");
    std::uint64_t uiSize = 0;
    std::uint8_t* pData = nullptr;
    ASSERT_TRUE(m_manager.ReadFile("x", &uiSize, &pData));
    EXPECT_TRUE(m_manager.AddReference("x"));
    EXPECT_EQ(m_pLoose->GetReferenceCount("x"), 2u);
    EXPECT_TRUE(m_manager.RemoveReference("x"));
    EXPECT_TRUE(m_manager.RemoveReference("x"));
    EXPECT_FALSE(m_manager.RemoveReference("x"));
    EXPECT_FALSE(m_manager.AddReference("x"));
}

TEST_F(KF_FileManagerTest, WritesGoToTheFirstWritableRepository)
{
    m_pArchive->SetFile("Assets/a.txt", "packed");
    const std::string sNew = "edited";
    EXPECT_TRUE(m_manager.WriteFile("Assets/a.txt", sNew.size(), sNew.data()));
    EXPECT_EQ(m_pLoose->GetFileContents("Assets/a.txt"), "edited");
    EXPECT_EQ(ReadText(m_manager, "Assets/a.txt"), "packed");

    EXPECT_TRUE(m_manager.RemoveFile("Assets/a.txt"));
    EXPECT_FALSE(m_pLoose->HasFile("Assets/a.txt"));
    EXPECT_TRUE(m_pArchive->HasFile("Assets/a.txt"));

    KF_FileManager readOnly;
    readOnly.AddRepository(new MemoryRepository(false));
    EXPECT_FALSE(readOnly.WriteFile("a", 1, "a"));
    EXPECT_FALSE(readOnly.RemoveFile("a"));
}

TEST_F(KF_FileManagerTest, FailuresGiveZeroSizeAndHash)
{
    std::uint64_t uiValue = 99;
    EXPECT_FALSE(m_manager.GetFileSize("missing", &uiValue));
    EXPECT_EQ(uiValue, 0u);
    uiValue = 99;
    EXPECT_FALSE(m_manager.GetFileHash("missing", &uiValue));
    EXPECT_EQ(uiValue, 0u);
    uiValue = 99;
    EXPECT_FALSE(m_manager.GetFileTime("missing", &uiValue));
    EXPECT_EQ(uiValue, 99u);

    m_pLoose->SetFile("h", "abc");
    EXPECT_TRUE(m_manager.GetFileHash("h", &uiValue));
    EXPECT_NE(uiValue, 0u);
    EXPECT_EQ(m_pLoose->GetNumLoadedFiles(), 0u);
}

TEST_F(KF_FileManagerTest, FindFilesListsEveryRepositoryInTurn)
{
    m_pArchive->SetFile("Curves/b.int", "");
    m_pArchive->SetFile("Curves/A.int", "");
    m_pArchive->SetFile("Curves/skip.aud", "");
    m_pLoose->SetFile("Curves/a.INT", "");
    m_pLoose->SetFile("Curves/b.int", "");
    m_pLoose->SetFile("Curves/Deeper/c.int", "");

    KB_GrowingArray<KB_String> gNames;
    gNames.Add("stale");
    EXPECT_TRUE(m_manager.FindFiles("Curves\\*.int", gNames));
    EXPECT_EQ(ToVector(gNames), (std::vector<std::string>{"A.int", "b.int", "a.INT", "b.int"}));

    EXPECT_FALSE(m_manager.FindFiles("Curves/*.wav", gNames));
    EXPECT_TRUE(gNames.GetNumMembers() == 0);
    EXPECT_FALSE(m_manager.FindFiles("C*/*.int", gNames));
    EXPECT_FALSE(m_manager.FindFiles("Curve?/b.int", gNames));
    EXPECT_TRUE(m_manager.FindFiles("Curves/b.int", gNames));
    EXPECT_EQ(gNames.GetNumMembers(), 2u);
}

TEST(KF_FileManager, ArchiveStandInBeforeDirectoryRepository)
{
    TestTempDir folder;
    ASSERT_TRUE(folder.IsValid());
    std::ofstream(folder.Join("shared.txt")) << "from disk";
    std::ofstream(folder.Join("disk.txt")) << "only on disk";

    KF_FileManager manager;
    auto* pArchive = new MemoryRepository(false);
    pArchive->SetFile("shared.txt", "from archive");
    manager.AddRepository(pArchive);
    EXPECT_TRUE(manager.AddDirectoryRepository(folder.GetPath().c_str()));

    EXPECT_EQ(ReadText(manager, "shared.txt"), "from archive");
    EXPECT_EQ(ReadText(manager, "disk.txt"), "only on disk");
    const std::string sEdit = "edited on disk";
    EXPECT_TRUE(manager.WriteFile("shared.txt", sEdit.size(), sEdit.data()));
    EXPECT_EQ(ReadText(manager, "shared.txt"), "from archive");
    std::ifstream in(folder.Join("shared.txt"));
    std::string sLine;
    std::getline(in, sLine);
    EXPECT_EQ(sLine, "edited on disk");
}

TEST(KF_FileManager, OwnsValidatorAndWorkingDirectory)
{
    int iDeleted = 0;
    {
        KF_FileManager manager;
        ASSERT_NE(manager.GetNameValidator(), nullptr);
        EXPECT_TRUE(manager.GetNameValidator()->IsFileNameValid("any.thing"));
        manager.SetNameValidator(new CountingValidator(&iDeleted));
        manager.SetNameValidator(new CountingValidator(&iDeleted));
        EXPECT_EQ(iDeleted, 1);
        manager.SetNameValidator(nullptr);
        EXPECT_EQ(iDeleted, 2);
        EXPECT_NE(manager.GetNameValidator(), nullptr);
        manager.SetNameValidator(new CountingValidator(&iDeleted));

        EXPECT_EQ(manager.GetWorkingDirectory().GetLength(), 0u);
        std::string sDirectory = "/work/here";
        manager.SetWorkingDirectory(sDirectory.c_str());
        sDirectory[1] = 'X';
        EXPECT_STREQ(manager.GetWorkingDirectory().GetBuffer(), "/work/here");
    }
    EXPECT_EQ(iDeleted, 3);
}
