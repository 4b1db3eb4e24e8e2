// kvfxc run on small folders made for each test: which include names and files it reads, which it
// refuses, and the line it prints for each refusal.

#include "platform/d3dcompiler/D3DCompilerLimits.h"
#include "tests/support/SanitizerBuild.h"
#include "tests/support/TestTempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace
{

using kv_test::SANITIZED;

const std::string TECHNIQUE = "technique11 T { pass P { } }\n";

struct KvfxcRun
{
    int iExit = -1; // -1 when killed
    std::string sErrors;
};

class KVFxcTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_temp.IsValid()); }

    fs::path Folder() const { return fs::path(m_temp.GetPath()) / "in"; }
    fs::path Output() const { return fs::path(m_temp.GetPath()) / "out"; }

    void Write(const fs::path& path, const std::string& sText) const
    {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << sText;
    }

    // A file of uiSize bytes that takes no room on the disk.
    void WriteSparse(const fs::path& path, std::uint64_t uiSize) const
    {
        Write(path, "");
        fs::resize_file(path, uiSize);
    }

    // kvfxc over Folder() into Output(), its standard error kept. A reader that runs away ends the
    // run instead of the machine: it is killed after a minute and, outside the sanitizer builds,
    // its address space is capped at 1 GB.
    KvfxcRun Compile() const
    {
        const std::string sCommand = std::string("(") + (SANITIZED ? "" : "ulimit -v 1000000; ") +
                                     "exec timeout -s KILL 60 \"" + KV_KVFXC + "\" \"" + Folder().string() +
                                     "\" \"" + Output().string() + "\") 2>&1 >/dev/null";
        KvfxcRun run;
        FILE* pPipe = popen(sCommand.c_str(), "r");
        if (pPipe == nullptr)
            return run;
        char aBuffer[4096];
        for (std::size_t uiRead; (uiRead = std::fread(aBuffer, 1, sizeof(aBuffer), pPipe)) > 0;)
            run.sErrors.append(aBuffer, uiRead);
        const int iStatus = pclose(pPipe);
        if (WIFEXITED(iStatus) && WEXITSTATUS(iStatus) != 124 && WEXITSTATUS(iStatus) != 137)
            run.iExit = WEXITSTATUS(iStatus);
        return run;
    }

    // Compiles Shader/A.fx, which includes sName, and expects the include refused for sReason
    // beside the compiler's own message, with no output file.
    void ExpectRefused(const std::string& sName, const std::string& sReason) const
    {
        const fs::path source = Folder() / "Shader" / "A.fx";
        Write(source, "#include \"" + sName + "\"\n" + TECHNIQUE);
        const KvfxcRun run = Compile();
        EXPECT_EQ(1, run.iExit) << sName;
        EXPECT_NE(std::string::npos, run.sErrors.find("kvfxc: include \"" + sName + "\" of \"" +
                                                      source.string() + "\" refused: " + sReason + "\n"))
            << run.sErrors;
        EXPECT_NE(std::string::npos,
                  run.sErrors.find("error X1507: failed to open source file: '" + sName + "'"))
            << run.sErrors;
        EXPECT_FALSE(fs::exists(Output() / "Shader" / "A.fxo")) << sName;
    }

    // Compiles Shader/A.fx, which includes sName, and expects it to compile without a word.
    void ExpectCompiles(const std::string& sName) const
    {
        Write(Folder() / "Shader" / "A.fx", "#include \"" + sName + "\"\n" + TECHNIQUE);
        const KvfxcRun run = Compile();
        EXPECT_EQ(0, run.iExit) << sName << "\n" << run.sErrors;
        EXPECT_EQ("", run.sErrors) << sName;
        EXPECT_TRUE(fs::exists(Output() / "Shader" / "A.fxo")) << sName;
        fs::remove_all(Output());
    }

    TestTempDir m_temp;
};

} // namespace

TEST_F(KVFxcTest, IncludesThatAreNoRegularFilesAreRefusedUnopened)
{
    const fs::path shader = Folder() / "Shader";
    fs::create_directories(shader / "folder.fxh");
    ASSERT_EQ(0, mkfifo((shader / "pipe.fxh").c_str(), 0600)); // no writer: an open would wait
    fs::create_symlink("/dev/zero", shader / "zero.fxh");      // endless
    for (const char* pName : {"pipe.fxh", "zero.fxh", "folder.fxh"})
        ExpectRefused(pName, "not a regular file");
}

TEST_F(KVFxcTest, FilesLargerThanTheCompilerTakesAreRefusedUnread)
{
    const fs::path shader = Folder() / "Shader";
    constexpr std::uint64_t uiLimit = D3DCompilerLimits::MAX_INCLUDED_BYTES;
    WriteSparse(shader / "huge.fxh", 1ull << 30);
    ExpectRefused("huge.fxh", "too large (1073741824 bytes, at most " + std::to_string(uiLimit) + ")");
    Write(shader / "over.fxh", "//" + std::string(uiLimit - 2, 'x') + "\n");
    ExpectRefused("over.fxh", "too large (" + std::to_string(uiLimit + 1) + " bytes, at most " +
                                  std::to_string(uiLimit) + ")");
    Write(shader / "full.fxh", "//" + std::string(uiLimit - 3, 'x') + "\n");
    ExpectCompiles("full.fxh");

    // The file being compiled is read the same way.
    fs::remove_all(Folder());
    WriteSparse(Folder() / "Huge.fx", 1ull << 30);
    const KvfxcRun run = Compile();
    EXPECT_EQ(1, run.iExit);
    EXPECT_EQ("kvfxc: cannot read \"" + (Folder() / "Huge.fx").string() +
                  "\": too large (1073741824 bytes, at most " +
                  std::to_string(D3DCompilerLimits::MAX_SOURCE_BYTES) + ")\n",
              run.sErrors);
}

TEST_F(KVFxcTest, IncludeNamesStayInsideTheFolder)
{
    const std::string sOutside = "outside the folder \"" + Folder().string() + "\"";
    Write(fs::path(m_temp.GetPath()) / "secret.fxh", "float4 g_vSecret;\n");
    ExpectRefused("../../secret.fxh", sOutside);
    ExpectRefused("../Shader/../../secret.fxh", sOutside);
    ExpectRefused("/dev/zero", sOutside);
    ExpectRefused("/etc/passwd", sOutside);
    ExpectRefused((fs::path(m_temp.GetPath()) / "secret.fxh").string(), sOutside);

    // A ".." that stays inside is taken, resolved on the text: after the link "out" into
    // outer/deep, the kernel's ".." would climb to the Common folder beside the folder.
    Write(Folder() / "Common" / "c.fxh", "float4 g_vCommon;\n");
    ExpectCompiles("../Common/c.fxh");
    ExpectCompiles("./../Shader/../Common/c.fxh");
    Write(fs::path(m_temp.GetPath()) / "Common" / "c.fxh", "#error read outside the folder\n");
    fs::create_directories(fs::path(m_temp.GetPath()) / "outer" / "deep");
    fs::create_symlink(fs::path(m_temp.GetPath()) / "outer" / "deep", Folder() / "Shader" / "out");
    ExpectCompiles("out/../../Common/c.fxh");
}

// A linked effect file is placed by its own name under the folder, never by its target's: a link
// to a file outside the folder wrote the target's ".fxo" beside the target, outside the output
// folder, and is refused; a link to a file inside wrote over its target's ".fxo" and is compiled
// under its own name. Links to folders are not followed.
TEST_F(KVFxcTest, LinkedSourcesArePlacedByTheirOwnNames)
{
    const fs::path elsewhere = fs::path(m_temp.GetPath()) / "elsewhere";
    Write(elsewhere / "victim.fx", TECHNIQUE);
    Write(Folder() / "a.fx", TECHNIQUE);
    fs::create_directories(Folder() / "sub");
    fs::create_symlink(elsewhere / "victim.fx", Folder() / "sub" / "evil.fx");
    KvfxcRun run = Compile();
    EXPECT_EQ(1, run.iExit);
    EXPECT_EQ("kvfxc: \"" + (Folder() / "sub" / "evil.fx").string() +
                  "\" refused: a link to a file outside the folder \"" + Folder().string() + "\"\n",
              run.sErrors);
    EXPECT_FALSE(fs::exists(elsewhere / "victim.fxo"));
    EXPECT_FALSE(fs::exists(Output() / "sub" / "evil.fxo"));
    EXPECT_TRUE(fs::exists(Output() / "a.fxo"));

    fs::remove_all(Output());
    fs::remove(elsewhere / "victim.fxo");
    fs::remove(Folder() / "sub" / "evil.fx");
    fs::create_symlink("../a.fx", Folder() / "sub" / "b.fx");
    fs::create_symlink(elsewhere, Folder() / "linked");
    fs::create_symlink(Folder() / "sub", Folder() / "alias");
    run = Compile();
    EXPECT_EQ(0, run.iExit) << run.sErrors;
    EXPECT_EQ("", run.sErrors);
    EXPECT_TRUE(fs::exists(Output() / "a.fxo"));
    EXPECT_TRUE(fs::exists(Output() / "sub" / "b.fxo"));
    EXPECT_FALSE(fs::exists(Output() / "linked"));
    EXPECT_FALSE(fs::exists(Output() / "alias"));
    EXPECT_FALSE(fs::exists(elsewhere / "victim.fxo"));
    std::size_t uiOutputs = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(Output()))
        uiOutputs += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(2u, uiOutputs);
}
