#include "framework/files/KF_DataRepository.h"
#include "framework/core/KU_FileUtilities.h"
#include "framework/core/KU_HashUtilities.h"
#include "framework/files/KF_DataRepositoryNode.h"
#include "framework/files/KF_ExtensionRejectNameValidator.h"
#include "framework/files/KF_FileManager.h"
#include "framework/files/KF_Zipper.h"
#include "framework/threads/KT_AutoLock.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/TestTempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace
{

using Bytes = std::vector<std::uint8_t>;

// Leaves effect sources out and stores curve files compressed; accepts every directory name.
class TestValidator : public KF_ExtensionRejectNameValidator
{
public:
    TestValidator()
    {
        AddRejectedExtension("fx");
        AddCompressedExtension("int");
    }
};

Bytes RandomBytes(std::size_t size, std::uint32_t seed)
{
    std::mt19937 random(seed);
    Bytes data(size);
    for (auto& byte : data)
        byte = static_cast<std::uint8_t>(random());
    return data;
}

Bytes TextBytes(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

void WriteBytes(const std::string& path, const Bytes& data)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream stream(path, std::ios::binary | std::ios::trunc);
    stream.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

Bytes ReadBytes(const std::string& path)
{
    std::ifstream stream(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

// The contents of sPath through the repository (reference released); false when unreadable.
bool ReadArchived(KF_DataRepository& repository, const std::string& path, Bytes* pContents)
{
    std::uint64_t uiSize = 0;
    std::uint8_t* pData = nullptr;
    if (!repository.ReadFile(path.c_str(), &uiSize, &pData))
        return false;
    EXPECT_EQ(pData[uiSize], 0) << path;
    pContents->assign(pData, pData + uiSize);
    EXPECT_TRUE(repository.RemoveReference(path.c_str()));
    return true;
}

std::vector<std::string> FindAll(KF_DataRepository& repository, const char* pPattern)
{
    KB_GrowingArray<KB_String> found;
    repository.FindFiles(pPattern, found);
    std::vector<std::string> names;
    for (std::uint32_t i = 0; i < found.GetNumMembers(); ++i)
        names.emplace_back(found[i].GetBuffer());
    return names;
}

// Reads every node below pNode, whatever the tree looks like; it must not crash.
void ReadEveryNode(KF_DataRepository& repository, const KF_DataRepositoryNode* pNode)
{
    if (pNode == nullptr)
        return;
    for (std::uint32_t i = 0; i < pNode->m_gChildren.GetNumMembers(); ++i)
    {
        const KB_String path = repository.GetNodePath(pNode->m_gChildren[i]);
        std::uint64_t uiSize = 0;
        std::uint8_t* pData = nullptr;
        if (repository.ReadFile(path, &uiSize, &pData))
        {
            ASSERT_EQ(pData[uiSize], 0);
            repository.RemoveReference(path);
        }
        std::uint64_t uiValue = 0;
        repository.GetFileSize(path, &uiValue);
        repository.GetFileHash(path, &uiValue);
        ReadEveryNode(repository, pNode->m_gChildren[i]);
    }
}

// A hand-made archive record, for damaged and crafted archives.
struct RawRecord
{
    RawRecord(std::string name, std::uint16_t flags, std::uint32_t numChildren = 0,
              std::uint64_t payloadOffset = 0, std::uint64_t storedSize = 0,
              std::uint16_t nameLength = 0xFFFF)
        : sName(std::move(name)), uiFlags(flags), uiNumChildren(numChildren), uiPayloadOffset(payloadOffset),
          uiStoredSize(storedSize), uiNameLength(nameLength)
    {
    }

    std::string sName;
    std::uint16_t uiFlags;
    std::uint32_t uiNumChildren;
    std::uint64_t uiPayloadOffset;
    std::uint64_t uiStoredSize;
    std::uint16_t uiNameLength; // 0xFFFF: the name's own length
};

void PutLittleEndian(Bytes& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// Header and records; payload offsets of records are relative to the directory end when
// bRelative. The payload follows.
Bytes MakeArchive(const std::vector<RawRecord>& records, const Bytes& payload, bool bRelative = true)
{
    Bytes directory;
    for (const RawRecord& record : records)
    {
        PutLittleEndian(directory, 0, 8);
        directory.insert(directory.end(), 8, 0); // offset patched below
        PutLittleEndian(directory, record.uiStoredSize, 8);
        PutLittleEndian(directory, 0, 8);
        PutLittleEndian(directory, record.uiNumChildren, 4);
        PutLittleEndian(directory, record.uiFlags, 2);
        const std::uint16_t uiLength = record.uiNameLength == 0xFFFF
                                           ? static_cast<std::uint16_t>(record.sName.size())
                                           : record.uiNameLength;
        PutLittleEndian(directory, uiLength, 2);
        directory.insert(directory.end(), record.sName.begin(), record.sName.end());
    }
    const std::uint64_t uiDirectoryEnd = 20 + directory.size();
    std::size_t uiAt = 8;
    for (const RawRecord& record : records)
    {
        const std::uint64_t uiOffset = record.uiPayloadOffset + (bRelative ? uiDirectoryEnd : 0);
        for (int i = 0; i < 8; ++i)
            directory[uiAt + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(uiOffset >> (8 * i));
        uiAt += 40 + record.sName.size();
    }
    Bytes archive = {'K', 'V', 'D', 'R'};
    PutLittleEndian(archive, uiDirectoryEnd, 8);
    PutLittleEndian(archive, payload.size(), 8);
    archive.insert(archive.end(), directory.begin(), directory.end());
    archive.insert(archive.end(), payload.begin(), payload.end());
    return archive;
}

class KF_DataRepositoryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_Temp.IsValid());
        m_sSource = m_Temp.Join("Assets");
        m_sArchive = m_Temp.Join("KV27.dat");
    }

    std::string Source(const std::string& relative) const { return m_sSource + "/" + relative; }

    // A tree with nested folders, mixed-case names, compressed and empty entries.
    void MakeSampleTree()
    {
        m_Files["sceneconfig.xml"] = TextBytes("<scenes><scene name=\"one\"/></scenes>\n");
        m_Files["A.txt"] = TextBytes("first");
        m_Files["b.txt"] = TextBytes("second");
        m_Files["_under.txt"] = TextBytes("third");
        std::string curve;
        for (int i = 0; i < 400; ++i)
            curve += "key " + std::to_string(i) + " 0.5 1.0 0.25\n";
        m_Files["Curves/Camera.int"] = TextBytes(curve);
        m_Files["Curves/Light.INT"] = TextBytes("key 0 1 1 1\n");
        m_Files["Curves/empty.int"] = Bytes();
        m_Files["Textures/Big.bin"] = RandomBytes(300000, 7);
        m_Files["Textures/zero.dat"] = Bytes();
        m_Files["Textures/Sub/Deep/leaf.txt"] = TextBytes("leaf");
        for (const auto& [name, data] : m_Files)
            WriteBytes(Source(name), data);
        WriteBytes(Source("Shader/skip.fx"), TextBytes("technique11 t {}"));
        std::filesystem::create_directories(Source("EmptyDir"));
    }

    bool Pack(bool bRootNamed, KF_NameValidator* pValidator)
    {
        KF_DataRepository builder;
        return builder.CreateFromDirectory(m_sSource.c_str(), pValidator, bRootNamed) &&
               builder.SaveToFile(m_sArchive.c_str());
    }

    TestTempDir m_Temp;
    std::string m_sSource;
    std::string m_sArchive;
    std::map<std::string, Bytes> m_Files; // relative path -> contents of the sample tree
};

} // namespace

TEST_F(KF_DataRepositoryTest, RoundTripReadsEveryFileBackByteForByte)
{
    MakeSampleTree();
    TestValidator validator;
    for (const bool bRootNamed : {true, false})
    {
        ASSERT_TRUE(Pack(bRootNamed, &validator));
        KF_DataRepository archive;
        ASSERT_TRUE(archive.LoadFromFile(m_sArchive.c_str()));
        const std::string prefix = bRootNamed ? "Assets/" : "";
        for (const auto& [name, data] : m_Files)
        {
            Bytes contents;
            ASSERT_TRUE(ReadArchived(archive, prefix + name, &contents)) << name;
            EXPECT_EQ(contents, data) << name;
            EXPECT_TRUE(archive.FileExists((prefix + name).c_str()));
            EXPECT_FALSE(archive.DirectoryExists((prefix + name).c_str()));
            std::uint64_t uiTime = 0;
            EXPECT_TRUE(archive.GetFileTime((prefix + name).c_str(), &uiTime));
            EXPECT_EQ(uiTime, KU_FileUtilities::GetLastWriteTime(Source(name).c_str()));
            std::uint64_t uiHash = 0;
            EXPECT_TRUE(archive.GetFileHash((prefix + name).c_str(), &uiHash));
            EXPECT_EQ(uiHash, KU_HashUtilities::HashFNV1a64(data.data(), data.size()));
        }
        EXPECT_FALSE(archive.FileExists((prefix + "Shader/skip.fx").c_str()));
        EXPECT_TRUE(archive.DirectoryExists((prefix + "EmptyDir").c_str()));
        EXPECT_TRUE(archive.DirectoryExists((prefix + "Textures/Sub/Deep").c_str()));
        EXPECT_FALSE(archive.FileExists((prefix + "Textures").c_str()));
        EXPECT_EQ(archive.DirectoryExists(""), !bRootNamed);
        EXPECT_FALSE(archive.IsWritable());
        EXPECT_FALSE(archive.WriteFile("Assets/new.txt", 1, "x"));
        EXPECT_FALSE(archive.RemoveFile((prefix + "A.txt").c_str()));
        EXPECT_TRUE(archive.FileExists((prefix + "A.txt").c_str()));
    }
}

TEST_F(KF_DataRepositoryTest, NamesMatchWithoutRegardToCaseAndEmptyEntriesReadAsNul)
{
    MakeSampleTree();
    TestValidator validator;
    ASSERT_TRUE(Pack(true, &validator));
    KF_DataRepository archive;
    ASSERT_TRUE(archive.LoadFromFile(m_sArchive.c_str()));

    Bytes contents;
    ASSERT_TRUE(ReadArchived(archive, "ASSETS/curves/CAMERA.int", &contents));
    EXPECT_EQ(contents, m_Files["Curves/Camera.int"]);
    ASSERT_TRUE(ReadArchived(archive, "assets//textures/sub/DEEP/Leaf.TXT", &contents));
    EXPECT_EQ(contents, m_Files["Textures/Sub/Deep/leaf.txt"]);
    EXPECT_FALSE(ReadArchived(archive, "Other/Curves/Camera.int", &contents));
    EXPECT_FALSE(ReadArchived(archive, "Assets/Curves", &contents));

    for (const char* pPath : {"Assets/Textures/zero.dat", "Assets/Curves/empty.int"})
    {
        std::uint64_t uiSize = 99;
        std::uint8_t* pData = nullptr;
        ASSERT_TRUE(archive.ReadFile(pPath, &uiSize, &pData)) << pPath;
        EXPECT_EQ(uiSize, 0u);
        EXPECT_EQ(pData[0], 0);
        archive.RemoveReference(pPath);
    }

    // The size of a compressed entry is that of its stored form, not of what a read returns.
    std::uint64_t uiStored = 0;
    ASSERT_TRUE(archive.GetFileSize("Assets/Curves/Camera.int", &uiStored));
    EXPECT_LT(uiStored, m_Files["Curves/Camera.int"].size());
    ASSERT_TRUE(archive.GetFileSize("Assets/Curves/empty.int", &uiStored));
    EXPECT_GT(uiStored, KF_Zipper::PREFIX_SIZE);
    ASSERT_TRUE(archive.GetFileSize("assets/textures/big.bin", &uiStored));
    EXPECT_EQ(uiStored, 300000u);
    EXPECT_FALSE(archive.GetFileSize("Assets/Textures", &uiStored));

    // Two reads share one buffer until both references are released.
    std::uint64_t uiSize = 0;
    std::uint8_t* pFirst = nullptr;
    std::uint8_t* pSecond = nullptr;
    ASSERT_TRUE(archive.ReadFile("Assets/A.txt", &uiSize, &pFirst));
    ASSERT_TRUE(archive.ReadFile("Assets/A.txt", &uiSize, &pSecond));
    EXPECT_EQ(pFirst, pSecond);
    EXPECT_TRUE(archive.RemoveReference("Assets/A.txt"));
    EXPECT_TRUE(archive.RemoveReference("Assets/A.txt"));
    EXPECT_FALSE(archive.RemoveReference("Assets/A.txt"));
}

TEST_F(KF_DataRepositoryTest, FindFilesListsMatchingFilesInWindowsOrder)
{
    MakeSampleTree();
    TestValidator validator;
    ASSERT_TRUE(Pack(true, &validator));
    KF_DataRepository archive;
    ASSERT_TRUE(archive.LoadFromFile(m_sArchive.c_str()));

    using Names = std::vector<std::string>;
    EXPECT_EQ(FindAll(archive, "Assets/*.txt"), (Names{"A.txt", "b.txt", "_under.txt"}));
    EXPECT_EQ(FindAll(archive, "Assets/*"), (Names{"A.txt", "b.txt", "sceneconfig.xml", "_under.txt"}));
    EXPECT_EQ(FindAll(archive, "assets/curves/*.int"), (Names{"Camera.int", "empty.int"}));
    // Wildcards match case-sensitively, unlike the names in a path.
    EXPECT_EQ(FindAll(archive, "Assets/Curves/*.INT"), (Names{"Light.INT"}));
    EXPECT_EQ(FindAll(archive, "Assets/Textures/Sub/*"), Names{});
    EXPECT_EQ(FindAll(archive, "Assets/Textures/zero.dat/*"), Names{});
    EXPECT_EQ(FindAll(archive, "Assets/"), Names{});
    EXPECT_EQ(FindAll(archive, "Missing/*"), Names{});
    EXPECT_EQ(FindAll(archive, "*.txt"), Names{}); // a named root is not searched without its name

    KB_GrowingArray<KB_String> found;
    found.Add("kept");
    EXPECT_TRUE(archive.FindFiles("Assets/b.*", found));
    ASSERT_EQ(found.GetNumMembers(), 2u);
    EXPECT_TRUE(found[1] == KB_String("b.txt"));

    ASSERT_TRUE(Pack(false, &validator));
    ASSERT_TRUE(archive.LoadFromFile(m_sArchive.c_str()));
    EXPECT_EQ(FindAll(archive, "*.txt"), (Names{"A.txt", "b.txt", "_under.txt"}));
    EXPECT_EQ(FindAll(archive, "Textures/*.???"), (Names{"Big.bin", "zero.dat"}));
}

TEST_F(KF_DataRepositoryTest, ArchiveLayoutIsLittleEndianAndPacked)
{
    WriteBytes(Source("a.bin"), TextBytes("hello"));
    std::filesystem::create_directories(Source("Dir"));
    KF_NameValidator acceptAll;
    ASSERT_TRUE(Pack(false, &acceptAll));
    const Bytes archive = ReadBytes(m_sArchive);
    ASSERT_EQ(archive.size(), 153u);

    Bytes expected = {'K', 'V', 'D', 'R'};
    PutLittleEndian(expected, 148, 8); // 20 + root (40) + "a.bin" (45) + "Dir" (43)
    PutLittleEndian(expected, 5, 8);
    // Root: subtree, offset, stored size, time, children, flags, name length.
    for (const std::uint64_t value : {128ull, 148ull, 0ull, 0ull})
        PutLittleEndian(expected, value, 8);
    PutLittleEndian(expected, 2, 4);
    PutLittleEndian(expected, 1, 2);
    PutLittleEndian(expected, 0, 2);
    // "a.bin" comes before "Dir" in Windows order.
    const std::uint64_t uiTime = KU_FileUtilities::GetLastWriteTime(Source("a.bin").c_str());
    for (const std::uint64_t value : {45ull, 148ull, 5ull, static_cast<unsigned long long>(uiTime)})
        PutLittleEndian(expected, value, 8);
    PutLittleEndian(expected, 0, 4);
    PutLittleEndian(expected, 0, 2);
    PutLittleEndian(expected, 5, 2);
    expected.insert(expected.end(), {'a', '.', 'b', 'i', 'n'});
    for (const std::uint64_t value : {43ull, 153ull, 0ull, 0ull})
        PutLittleEndian(expected, value, 8);
    PutLittleEndian(expected, 0, 4);
    PutLittleEndian(expected, 1, 2);
    PutLittleEndian(expected, 3, 2);
    expected.insert(expected.end(), {'D', 'i', 'r', 'h', 'e', 'l', 'l', 'o'});
    EXPECT_EQ(archive, expected);
}

TEST_F(KF_DataRepositoryTest, BuilderSkipsDotEntriesLinksOutOfTheTreeAndSpecialFiles)
{
    namespace fs = std::filesystem;
    WriteBytes(Source("inside.txt"), TextBytes("inside"));
    WriteBytes(Source("sub/x.txt"), TextBytes("x"));
    WriteBytes(m_Temp.Join("outside/secret.txt"), TextBytes("secret"));
    fs::create_symlink("inside.txt", Source("alias.txt"));
    fs::create_symlink("sub", Source("linkdir"));
    fs::create_symlink("../outside/secret.txt", Source("escape.txt"));
    fs::create_symlink("../outside", Source("escapedir"));
    fs::create_symlink(".", Source("self"));
    fs::create_symlink("..", Source("sub/up"));
    fs::create_symlink("missing.txt", Source("dangling.txt"));
    ASSERT_EQ(mkfifo(Source("pipe").c_str(), 0600), 0);

    // The plain validator accepts every name, "." and ".." included: the builder must not.
    KF_NameValidator acceptAll;
    ASSERT_TRUE(Pack(false, &acceptAll));
    KF_DataRepository archive;
    ASSERT_TRUE(archive.LoadFromFile(m_sArchive.c_str()));
    Bytes contents;
    EXPECT_TRUE(ReadArchived(archive, "alias.txt", &contents));
    EXPECT_EQ(contents, TextBytes("inside"));
    EXPECT_TRUE(ReadArchived(archive, "linkdir/x.txt", &contents));
    EXPECT_EQ(contents, TextBytes("x"));
    for (const char* pPath : {".", "..", "escape.txt", "escapedir", "self", "sub/up", "dangling.txt", "pipe"})
        EXPECT_EQ(archive.FindNode(pPath), nullptr) << pPath;
    EXPECT_EQ(archive.FindNode("")->m_gChildren.GetNumMembers(), 4u); // alias, inside, linkdir, sub
}

TEST_F(KF_DataRepositoryTest, BuilderRefusesMissingFoldersTreesTooDeepAndASecondSave)
{
    KF_NameValidator acceptAll;
    KF_DataRepository builder;
    EXPECT_FALSE(builder.CreateFromDirectory(m_sSource.c_str(), &acceptAll, false));
    EXPECT_FALSE(builder.SaveToFile(m_sArchive.c_str()));

    std::string deep = m_sSource;
    for (std::uint32_t i = 0; i <= KF_DataRepository::MAX_DEPTH; ++i)
        deep += "/d";
    std::filesystem::create_directories(deep);
    EXPECT_FALSE(builder.CreateFromDirectory(m_sSource.c_str(), &acceptAll, false));
    std::filesystem::remove_all(m_sSource);

    WriteBytes(Source("a.int"), TextBytes("compressed"));
    TestValidator validator;
    ASSERT_TRUE(builder.CreateFromDirectory(m_sSource.c_str(), &validator, false));
    EXPECT_FALSE(builder.CreateFromDirectory(m_sSource.c_str(), nullptr, false));
    ASSERT_TRUE(builder.CreateFromDirectory(m_sSource.c_str(), &validator, false));
    EXPECT_TRUE(builder.SaveToFile(m_sArchive.c_str()));
    EXPECT_FALSE(builder.SaveToFile(m_Temp.Join("second.dat").c_str()));
    EXPECT_FALSE(std::filesystem::exists(m_Temp.Join("second.dat")));
}

TEST_F(KF_DataRepositoryTest, BuilderRefusesNamesTheArchiveCouldNotTellApart)
{
    KF_NameValidator acceptAll;
    KF_DataRepository builder;
    const auto Fails = [&](const char* pFirst, const char* pSecond)
    {
        const bool bBuilt = builder.CreateFromDirectory(m_sSource.c_str(), &acceptAll, true);
        const std::string sError = builder.GetBuildError().GetBuffer();
        EXPECT_FALSE(bBuilt);
        EXPECT_NE(sError.find(pFirst), std::string::npos) << sError;
        EXPECT_NE(sError.find(pSecond), std::string::npos) << sError;
        std::filesystem::remove_all(m_sSource);
    };
    // Two names of one folder that differ only in case: a reader would get the first one's bytes.
    WriteBytes(Source("Textures/Tex.png"), TextBytes("upper"));
    WriteBytes(Source("Textures/tex.png"), TextBytes("lower"));
    WriteBytes(Source("Textures/other.png"), TextBytes("other"));
    Fails("\"Textures/Tex.png\"", "\"Textures/tex.png\"");
    // A folder and a file count alike.
    WriteBytes(Source("Models/a.obj"), TextBytes("a"));
    WriteBytes(Source("MODELS"), TextBytes("file"));
    Fails("\"MODELS\"", "\"Models\"");
    // '\\' separates names in archive paths.
    WriteBytes(Source("dir/a\\b.txt"), TextBytes("x"));
    Fails("\"dir/a\\b.txt\"", "'\\'");

    // The same names in different folders are fine, and success leaves no message.
    WriteBytes(Source("One/tex.png"), TextBytes("1"));
    WriteBytes(Source("Two/Tex.png"), TextBytes("2"));
    EXPECT_TRUE(builder.CreateFromDirectory(m_sSource.c_str(), &acceptAll, false));
    EXPECT_STREQ(builder.GetBuildError().GetBuffer(), "");
    EXPECT_TRUE(builder.SaveToFile(m_sArchive.c_str()));
    KF_DataRepository archive;
    ASSERT_TRUE(archive.LoadFromFile(m_sArchive.c_str()));
    Bytes contents;
    ASSERT_TRUE(ReadArchived(archive, "two/tex.png", &contents));
    EXPECT_EQ(contents, TextBytes("2"));
}

// A failed save leaves the old archive whole and no temporary file beside it, and says which file
// it could not read or write and why.
TEST_F(KF_DataRepositoryTest, FailedSaveLeavesTheOldArchiveWholeAndNamesTheFile)
{
    MakeSampleTree();
    TestValidator validator;
    ASSERT_TRUE(Pack(false, &validator));
    const Bytes before = ReadBytes(m_sArchive);
    const auto listed = [this]
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_Temp.GetPath()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::vector<std::string> alone = {"Assets", "KV27.dat"};

    // Stored and compressed files that vanish between the scan and the save.
    for (const char* pName : {"Textures/Big.bin", "Curves/Camera.int"})
    {
        KF_DataRepository builder;
        ASSERT_TRUE(builder.CreateFromDirectory(m_sSource.c_str(), &validator, false));
        std::filesystem::rename(Source(pName), m_Temp.Join("away"));
        EXPECT_FALSE(builder.SaveToFile(m_sArchive.c_str()));
        std::filesystem::rename(m_Temp.Join("away"), Source(pName));
        EXPECT_EQ(ReadBytes(m_sArchive), before);
        EXPECT_EQ(listed(), alone);
        EXPECT_EQ(std::string(builder.GetBuildError().GetBuffer()),
                  "cannot read \"" + Source(pName) + "\": No such file or directory");
    }

    // Writes past a file-size limit fail part-way, as on a full disk.
    KF_DataRepository builder;
    ASSERT_TRUE(builder.CreateFromDirectory(m_sSource.c_str(), &validator, false));
    bool bSaved = true;
    {
        FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.IsSet());
        bSaved = builder.SaveToFile(m_sArchive.c_str());
    }
    EXPECT_FALSE(bSaved);
    EXPECT_EQ(ReadBytes(m_sArchive), before);
    EXPECT_EQ(listed(), alone);
    EXPECT_EQ(std::string(builder.GetBuildError().GetBuffer()),
              "cannot write the archive \"" + m_sArchive + "\": File too large");

    KF_DataRepository another;
    ASSERT_TRUE(another.CreateFromDirectory(m_sSource.c_str(), &validator, false));
    const std::string sNowhere = m_Temp.Join("no/such/folder/KV27.dat");
    EXPECT_FALSE(another.SaveToFile(sNowhere.c_str()));
    EXPECT_EQ(std::string(another.GetBuildError().GetBuffer()),
              "cannot write the archive \"" + sNowhere + "\": No such file or directory");
}

TEST_F(KF_DataRepositoryTest, DamagedDirectoriesFailToLoad)
{
    const std::string path = m_Temp.Join("crafted.dat");
    const auto loads = [&](const Bytes& archive)
    {
        WriteBytes(path, archive);
        KF_DataRepository repository;
        const bool bLoaded = repository.LoadFromFile(path.c_str());
        EXPECT_EQ(repository.FindNode("") != nullptr, bLoaded);
        return bLoaded;
    };
    const RawRecord root{"", 1, 1};
    const RawRecord file{"f.txt", 0, 0, 0, 2};
    const Bytes good = MakeArchive({root, file}, TextBytes("ok"));
    ASSERT_TRUE(loads(good));

    KF_DataRepository repository;
    EXPECT_FALSE(repository.LoadFromFile(m_Temp.Join("missing.dat").c_str()));

    Bytes damaged = good;
    damaged[3] = 'X';
    EXPECT_FALSE(loads(damaged));
    EXPECT_FALSE(loads(Bytes(good.begin(), good.begin() + 19)));
    EXPECT_FALSE(loads(Bytes{'K', 'V', 'D', 'R'}));
    for (const std::uint64_t uiDirectoryEnd :
         {0ull, 19ull, 20ull, 104ull, 106ull, 108ull, 0xFFFFFFFFFFFFFFFFull})
    {
        damaged = good;
        for (int i = 0; i < 8; ++i)
            damaged[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(uiDirectoryEnd >> (8 * i));
        EXPECT_FALSE(loads(damaged)) << uiDirectoryEnd; // the real end is 105
    }
    EXPECT_FALSE(loads(MakeArchive({root}, {})));                             // child missing
    EXPECT_FALSE(loads(MakeArchive({{"", 1, 0xFFFFFFFFu}, file}, {})));       // absurd count
    EXPECT_FALSE(loads(MakeArchive({root, file, file}, {})));                 // bytes left over
    EXPECT_FALSE(loads(MakeArchive({root, {"x", 0, 0, 0, 0, 200}}, {})));     // name runs past
    EXPECT_FALSE(loads(MakeArchive({root, {std::string(260, 'n'), 0}}, {}))); // name too long
    EXPECT_TRUE(loads(MakeArchive({root, {std::string(259, 'n'), 0}}, {})));

    // A name with a NUL inside keeps the bytes before it.
    ASSERT_TRUE(loads(MakeArchive({root, {std::string("ab\0cd", 5), 0, 0, 0, 2}}, TextBytes("ok"))));
    KF_DataRepository named;
    ASSERT_TRUE(named.LoadFromFile(path.c_str()));
    EXPECT_TRUE(named.FileExists("AB"));

    // Of names equal but for case, a path finds the first in archive order.
    ASSERT_TRUE(loads(MakeArchive(
        {{"", 1, 4}, {"b", 0, 0, 0, 1}, {"Same", 0, 0, 1, 1}, {"SAME", 0, 0, 2, 1}, {"a", 0, 0, 3, 1}},
        TextBytes("1234"))));
    KF_DataRepository duplicates;
    ASSERT_TRUE(duplicates.LoadFromFile(path.c_str()));
    Bytes contents;
    for (const char* pPath : {"same", "SAME", "Same"})
    {
        ASSERT_TRUE(ReadArchived(duplicates, pPath, &contents));
        EXPECT_EQ(contents, TextBytes("2")) << pPath;
    }
    ASSERT_TRUE(ReadArchived(duplicates, "A", &contents));
    EXPECT_EQ(contents, TextBytes("4"));
    EXPECT_EQ(FindAll(duplicates, "*"), (std::vector<std::string>{"b", "Same", "SAME", "a"}));

    // Nesting: MAX_DEPTH levels below the root load, one more does not.
    for (const std::uint32_t uiLevels : {KF_DataRepository::MAX_DEPTH, KF_DataRepository::MAX_DEPTH + 1})
    {
        std::vector<RawRecord> chain(uiLevels + 1, RawRecord{"d", 1, 1});
        chain.back().uiNumChildren = 0;
        chain.front().sName = "";
        EXPECT_EQ(loads(MakeArchive(chain, {})), uiLevels == KF_DataRepository::MAX_DEPTH) << uiLevels;
    }
}

TEST_F(KF_DataRepositoryTest, DamagedPayloadsFailOnlyTheirOwnRead)
{
    const Bytes plain = TextBytes("plain bytes");
    Bytes stored;
    {
        const Bytes source = TextBytes(std::string(1000, 'z'));
        std::uint8_t* pData = nullptr;
        std::uint64_t uiSize = 0;
        ASSERT_TRUE(KF_Zipper::Compress(source.data(), source.size(), &pData, &uiSize));
        stored.assign(pData, pData + uiSize);
        delete[] pData;
    }
    Bytes hugePrefix = stored;
    hugePrefix[0] = hugePrefix[1] = hugePrefix[2] = hugePrefix[3] = 0xFF;
    Bytes payload = plain;
    payload.insert(payload.end(), stored.begin(), stored.end());
    payload.insert(payload.end(), hugePrefix.begin(), hugePrefix.end());
    const std::uint64_t uiPlain = plain.size();
    const std::uint64_t uiStored = stored.size();
    const std::vector<RawRecord> records = {
        {"", 1, 10},
        {"plain", 0, 0, 0, uiPlain},
        {"packed", 2, 0, uiPlain, uiStored},
        {"beyond", 0, 0, uiPlain, 1000},               // runs past the end
        {"wraps", 0, 0, 0xFFFFFFFFFFFFFF00ull, 0x200}, // offset + size overflows
        {"enormous", 0, 0, 0, 1ull << 40},             // never allocated
        {"tiny", 2, 0, uiPlain, 4},                    // only the prefix
        {"cut", 2, 0, uiPlain, uiStored - 3},          // stream ends early
        {"long", 2, 0, uiPlain, uiStored + 1},         // a byte after the stream
        {"huge", 2, 0, uiPlain + uiStored, uiStored},  // 4 GiB announced
        {"dir", 1, 0, 0, 0xFFFFFFFFFFFFull},           // a directory reads nothing
    };
    const std::string path = m_Temp.Join("payloads.dat");
    WriteBytes(path, MakeArchive(records, payload));
    KF_DataRepository archive;
    ASSERT_TRUE(archive.LoadFromFile(path.c_str()));
    Bytes contents;
    ASSERT_TRUE(ReadArchived(archive, "plain", &contents));
    EXPECT_EQ(contents, plain);
    ASSERT_TRUE(ReadArchived(archive, "packed", &contents));
    EXPECT_EQ(contents, TextBytes(std::string(1000, 'z')));
    for (const char* pPath : {"beyond", "wraps", "enormous", "tiny", "cut", "long", "huge", "dir"})
    {
        EXPECT_FALSE(ReadArchived(archive, pPath, &contents)) << pPath;
        std::uint64_t uiHash = 1;
        EXPECT_FALSE(archive.GetFileHash(pPath, &uiHash)) << pPath;
        EXPECT_EQ(uiHash, 0u);
    }
    EXPECT_FALSE(archive.RemoveReference("cut")); // nothing was cached for a failed read
}

TEST_F(KF_DataRepositoryTest, TruncationsAndByteFlipsNeverCrash)
{
    WriteBytes(Source("one.txt"), TextBytes("the first file"));
    WriteBytes(Source("Curves/two.int"), TextBytes(std::string(600, 'c') + "tail"));
    WriteBytes(Source("Curves/three.int"), RandomBytes(300, 3));
    WriteBytes(Source("Deep/er/four.bin"), RandomBytes(200, 4));
    std::filesystem::create_directories(Source("Empty"));
    TestValidator validator;
    ASSERT_TRUE(Pack(false, &validator));
    const Bytes original = ReadBytes(m_sArchive);
    std::uint64_t uiDirectoryEnd = 0;
    std::memcpy(&uiDirectoryEnd, original.data() + 4, 8);
    ASSERT_LT(uiDirectoryEnd, original.size());

    const std::string path = m_Temp.Join("damaged.dat");
    // Every truncation inside the header or directory is refused; cut inside the payloads (every
    // few bytes) it opens, and the cut files fail to read while whole ones still read.
    for (std::size_t uiLength = 0; uiLength < original.size();
         uiLength += (uiLength < uiDirectoryEnd + 64 || uiLength + 8 > original.size()) ? 1 : 7)
    {
        WriteBytes(path, Bytes(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(uiLength)));
        KF_DataRepository archive;
        const bool bLoaded = archive.LoadFromFile(path.c_str());
        ASSERT_EQ(bLoaded, uiLength >= uiDirectoryEnd) << uiLength;
        if (bLoaded)
        {
            ReadEveryNode(archive, archive.FindNode(""));
            Bytes contents;
            const KF_DataRepositoryNode* pNode = archive.FindNode("Deep/er/four.bin");
            ASSERT_NE(pNode, nullptr);
            EXPECT_EQ(ReadArchived(archive, "Deep/er/four.bin", &contents),
                      pNode->m_uiPayloadOffset + pNode->m_uiStoredSize <= uiLength);
        }
    }

    std::mt19937 random(2027);
    int iLoaded = 0;
    for (int i = 0; i < 3000; ++i)
    {
        Bytes damaged = original;
        const int iFlips = 1 + static_cast<int>(random() % 3);
        for (int j = 0; j < iFlips; ++j)
        {
            // Mostly the header and directory, where the trust checks are.
            const std::size_t uiLimit = (random() % 4 == 0) ? damaged.size() : uiDirectoryEnd;
            damaged[random() % uiLimit] ^= static_cast<std::uint8_t>(1u << (random() % 8));
        }
        WriteBytes(path, damaged);
        KF_DataRepository archive;
        if (archive.LoadFromFile(path.c_str()))
        {
            ++iLoaded;
            ReadEveryNode(archive, archive.FindNode(""));
            KB_GrowingArray<KB_String> found;
            archive.FindFiles("Curves/*", found);
        }
    }
    EXPECT_GT(iLoaded, 0);
}

TEST_F(KF_DataRepositoryTest, ConcurrentReadsShareTheArchive)
{
    MakeSampleTree();
    TestValidator validator;
    ASSERT_TRUE(Pack(false, &validator));
    KF_DataRepository archive;
    ASSERT_TRUE(archive.LoadFromFile(m_sArchive.c_str()));

    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t)
    {
        threads.emplace_back(
            [&, t]
            {
                for (int round = 0; round < 20; ++round)
                {
                    for (const auto& [name, data] : m_Files)
                    {
                        std::uint64_t uiSize = 0;
                        std::uint8_t* pData = nullptr;
                        if (!archive.ReadFile(name.c_str(), &uiSize, &pData) || uiSize != data.size() ||
                            (uiSize > 0 && std::memcmp(pData, data.data(), uiSize) != 0))
                        {
                            ++failures[static_cast<std::size_t>(t)];
                            continue;
                        }
                        archive.RemoveReference(name.c_str());
                    }
                }
            });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

TEST_F(KF_DataRepositoryTest, ConcurrentReadsOfManyEntriesGiveTheirOwnBytes)
{
    // Compressed entries large enough that inflates overlap, stored ones beside them; each thread
    // reads them all in its own order, holds them, checks them and releases them.
    class Inspectable : public KF_DataRepository
    {
    public:
        std::uint32_t GetNumLoaded()
        {
            KT_AutoLock lock(&m_oMutex);
            return GetNumLoadedFiles();
        }
    };
    std::vector<std::pair<std::string, Bytes>> files;
    for (int i = 0; i < 24; ++i)
    {
        std::string text;
        for (int k = 0; text.size() < 60000; ++k)
            text += "key " + std::to_string(k * (i + 1)) + " 0.5 " + std::to_string(i) + "\n";
        files.emplace_back("Curves/c" + std::to_string(i) + ".int", TextBytes(text));
        files.emplace_back(
            "Models/m" + std::to_string(i) + ".bin",
            RandomBytes(1000 + 997 * static_cast<std::size_t>(i), static_cast<std::uint32_t>(i)));
    }
    for (const auto& [name, data] : files)
        WriteBytes(Source(name), data);
    TestValidator validator;
    ASSERT_TRUE(Pack(false, &validator));
    Inspectable archive;
    ASSERT_TRUE(archive.LoadFromFile(m_sArchive.c_str()));

    constexpr int NUM_THREADS = 4;
    std::vector<int> failures(NUM_THREADS, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < NUM_THREADS; ++t)
    {
        threads.emplace_back(
            [&, t]
            {
                std::mt19937 random(static_cast<std::uint32_t>(t));
                std::vector<std::size_t> order(files.size());
                for (std::size_t i = 0; i < order.size(); ++i)
                    order[i] = i;
                for (int round = 0; round < 5; ++round)
                {
                    std::shuffle(order.begin(), order.end(), random);
                    std::vector<std::pair<std::size_t, std::uint8_t*>> held;
                    for (const std::size_t i : order)
                    {
                        std::uint64_t uiSize = 0;
                        std::uint8_t* pData = nullptr;
                        if (!archive.ReadFile(files[i].first.c_str(), &uiSize, &pData) ||
                            uiSize != files[i].second.size())
                        {
                            ++failures[static_cast<std::size_t>(t)];
                            continue;
                        }
                        held.emplace_back(i, pData);
                    }
                    for (const auto& [i, pData] : held)
                    {
                        if (std::memcmp(pData, files[i].second.data(), files[i].second.size()) != 0)
                            ++failures[static_cast<std::size_t>(t)];
                        archive.RemoveReference(files[i].first.c_str());
                    }
                }
            });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(failures, std::vector<int>(NUM_THREADS, 0));
    EXPECT_EQ(archive.GetNumLoaded(), 0u);

    // Unloading while another thread reads: each read either fails or gives the right bytes.
    std::atomic<int> iWrong{0};
    std::thread reader(
        [&]
        {
            for (int round = 0; round < 3; ++round)
                for (const auto& [name, data] : files)
                {
                    Bytes contents;
                    if (ReadArchived(archive, name, &contents) && contents != data)
                        ++iWrong;
                }
        });
    archive.Unload();
    reader.join();
    EXPECT_EQ(iWrong.load(), 0);
}

TEST_F(KF_DataRepositoryTest, FileManagerAddsTheArchiveOnlyWhenItOpens)
{
    MakeSampleTree();
    KF_NameValidator acceptAll;
    ASSERT_TRUE(Pack(false, &acceptAll));

    KF_FileManager manager;
    EXPECT_FALSE(manager.AddDataRepository(m_Temp.Join("missing.dat").c_str()));
    EXPECT_FALSE(manager.FileExists("A.txt"));

    ASSERT_TRUE(manager.AddDataRepository(m_sArchive.c_str()));
    std::uint64_t size = 0;
    std::uint8_t* pData = nullptr;
    ASSERT_TRUE(manager.ReadFile("curves/camera.INT", &size, &pData));
    EXPECT_EQ(Bytes(pData, pData + size), m_Files["Curves/Camera.int"]);
    EXPECT_TRUE(manager.RemoveReference("curves/camera.INT"));
}
