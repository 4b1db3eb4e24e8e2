// A header whose text outside comments is one #ifndef X (or #if !defined X) group is not read again
// while X is defined, as C compilers do: shader libraries include their common header from every
// other header. Headers are generated from the forms C reads one way or the other (text or
// directives outside the group, #else and #elif of the group, #undef of the guard before, inside
// and after, other conditions) and compared with the system's C preprocessor, run as
//   cpp -P -undef -std=c99 -nostdinc
// (the test fails when it does not run). Both outcomes, read once and read again, have floors.

#include "platform/d3dcompiler/D3DCompilerPreprocessor.h"
#include "tests/platform/d3dcompiler/D3DCompileTestSupport.h"
#include "tests/support/TestTempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace
{

using d3dcompile_test::Compile;
using d3dcompile_test::MapInclude;
using d3dcompile_test::Repeat;
using d3dcompile_test::Result;

const char* const EFFECT = "float4 PSMain() : SV_Target { return 1; }\n"
                           "technique11 T { pass P { SetPixelShader(CompileShader(ps_5_0, PSMain())); } }\n";

class D3DCompileIncludeGuards : public d3dcompile_test::CompilerTest
{
};

// Includes from a map that count how often each name is opened.
class CountingInclude : public MapInclude
{
public:
    std::map<std::string, int> m_mapOpens;

    HRESULT Open(D3D_INCLUDE_TYPE eType, LPCSTR pFileName, LPCVOID pParent, LPCVOID* ppData,
                 UINT* pBytes) override
    {
        ++m_mapOpens[pFileName];
        return MapInclude::Open(eType, pFileName, pParent, ppData, pBytes);
    }
};

// A header of small functions, about uiBytes long, whose text is one group guarded by sGuard.
std::string GuardedHeader(const std::string& sGuard, const std::string& sPrefix, std::size_t uiBytes)
{
    std::string sText = "// Shared functions.\n#ifndef " + sGuard + "\n#define " + sGuard + "\n";
    for (int i = 0; sText.size() < uiBytes; ++i)
    {
        const std::string sNumber = std::to_string(i);
        sText.append("float ").append(sPrefix).append(sNumber).append("(float x) { return x * ");
        sText.append(sNumber).append(".0; }\n");
    }
    return sText + "#endif // " + sGuard + "\n";
}

} // namespace

// A 15 KB guarded common header included by 68 (and 100) small headers, and a 20 KB one included
// 1,000 times: each re-read counted against the 1 MiB of included text, and the library was refused.
TEST_F(D3DCompileIncludeGuards, ShaderLibrariesReadTheirCommonHeaderOnce)
{
    for (int iParts : {68, 100})
    {
        CountingInclude include;
        include.m_mapFiles["common.fxh"] = GuardedHeader("COMMON_H", "Common", 15 * 1024);
        std::string sSource;
        for (int i = 0; i < iParts; ++i)
        {
            const std::string sPart = "part" + std::to_string(i) + ".fxh";
            include.m_mapFiles[sPart] = "#include \"common.fxh\"\nfloat Part" + std::to_string(i) +
                                        "(float x) { return Common1(x); }\n";
            sSource += "#include \"" + sPart + "\"\n";
        }
        const Result result = Compile(sSource + EFFECT, nullptr, "fx_5_0", nullptr, &include);
        EXPECT_EQ(S_OK, result.hr) << iParts << ": " << result.sErrors;
        EXPECT_EQ(1, include.m_mapOpens["common.fxh"]);
        EXPECT_EQ(0, include.m_iOpen);
    }
    for (std::size_t uiBytes : {1100u, 20u * 1024u})
    {
        CountingInclude include;
        include.m_mapFiles["g.fxh"] = GuardedHeader("G_H", "G", uiBytes);
        const Result result =
            Compile(Repeat("#include \"g.fxh\"\n", 1000) + EFFECT, nullptr, "fx_5_0", nullptr, &include);
        EXPECT_EQ(S_OK, result.hr) << uiBytes << ": " << result.sErrors;
        EXPECT_EQ(1, include.m_mapOpens["g.fxh"]);
    }
    // The guard's #if !defined forms, and a text in comments around the group.
    for (const char* pOpening :
         {"#if !defined(G_H)", "#if !defined G_H", "/* a\n b */ # ifndef G_H // guard"})
    {
        CountingInclude include;
        std::string sHeader = GuardedHeader("G_H", "G", 20 * 1024);
        sHeader.replace(sHeader.find("#ifndef G_H"), 11, pOpening);
        include.m_mapFiles["g.fxh"] = sHeader + "/* end */\n\n";
        const Result result =
            Compile(Repeat("#include \"g.fxh\"\n", 1000) + EFFECT, nullptr, "fx_5_0", nullptr, &include);
        EXPECT_EQ(S_OK, result.hr) << pOpening << ": " << result.sErrors;
        EXPECT_EQ(1, include.m_mapOpens["g.fxh"]) << pOpening;
    }
}

// Read again where C reads text from it: once its guard is undefined, and where the header is no
// one guarded group.
TEST_F(D3DCompileIncludeGuards, AHeaderIsReadAgainWhereCReadsTextFromIt)
{
    CountingInclude include;
    include.m_mapFiles["g.fxh"] = "#ifndef G\n#define G\nbody\n#endif\n";
    EXPECT_EQ("body body", TokensOf("#include \"g.fxh\"\n#include \"g.fxh\"\n#undef G\n#include \"g.fxh\"\n"
                                    "#include \"g.fxh\"\n",
                                    &include));
    EXPECT_EQ(2, include.m_mapOpens["g.fxh"]);
    // Its own #undef, an #else of the group, text after the group.
    include.m_mapFiles["u.fxh"] = "#ifndef U\n#define U\nbody\n#undef U\n#endif\n";
    include.m_mapFiles["e.fxh"] = "#ifndef E\n#define E\nfirst\n#else\nagain\n#endif\n";
    include.m_mapFiles["a.fxh"] = "#ifndef A\n#define A\n#endif\nafter\n";
    EXPECT_EQ("body body body", TokensOf(Repeat("#include \"u.fxh\"\n", 3), &include));
    EXPECT_EQ("first again again", TokensOf(Repeat("#include \"e.fxh\"\n", 3), &include));
    EXPECT_EQ("after after after", TokensOf(Repeat("#include \"a.fxh\"\n", 3), &include));
    EXPECT_EQ(3, include.m_mapOpens["e.fxh"]);
    // The same name written as a system include is read on its own account.
    EXPECT_EQ("body", TokensOf("#include \"g.fxh\"\n#include <g.fxh>\n#include <g.fxh>\n", &include));
}

namespace
{

std::vector<std::string> Words(const std::string& sText)
{
    std::istringstream stream(sText);
    std::vector<std::string> vWords;
    for (std::string sWord; stream >> sWord;)
        vWords.push_back(sWord);
    return vWords;
}

// One of the pieces at random, or of the first uiFirst of them.
const std::string& Pick(std::mt19937& random, const std::vector<std::string>& vPieces,
                        std::size_t uiFirst = 0)
{
    const std::size_t uiCount = uiFirst != 0 ? uiFirst : vPieces.size();
    return vPieces[std::uniform_int_distribution<std::size_t>(0, uiCount - 1)(random)];
}

// A header made of pieces: what comes before the group, its opening line, its first line, its body,
// its #else or #elif, its end and what comes after. Each word of text is one token. Half of them
// are made of the pieces that make a guarded group (those first in each list) alone.
std::string RandomHeader(std::mt19937& random)
{
    static const std::vector<std::string> vBefore = {
        "", "// note\n", "/* note\n   more */\n", "\n\n", "before\n", "#define OUTSIDE\n", "#\n"};
    static const std::vector<std::string> vOpening = {
        "#ifndef G\n",      "#if !defined(G)\n", "#if !defined G\n",       "# ifndef G /* guard */\n",
        "#ifndef G // g\n", "#ifdef G\n",        "#if !defined(G) && 1\n", "#if 1\n",
        "#ifndef OUTSIDE\n"};
    static const std::vector<std::string> vFirst = {"#define G\n", "#define G 1\n", "", "#define OTHER\n"};
    static const std::vector<std::string> vBody = {
        "body\n",           "#if 1\nnested\n#endif\n",    "#ifdef G\nseen\n#else\nunseen\n#endif\n",
        "/* c\n */ body\n", "#ifndef G\ninner\n#endif\n", "#define G\n",
        "#undef G\n"};
    static const std::vector<std::string> vAlternative = {
        "", "#else\nalternative\n", "#elif 1\nalternative\n", "#elif !defined(OUTSIDE)\nalternative\n"};
    static const std::vector<std::string> vEnd = {"#endif\n", "#endif // G\n", "#endif /* G */\n", "#endif"};
    static const std::vector<std::string> vAfter = {"",          "\n",      "// end\n",
                                                    "/* end */", "after\n", "#define AFTER\n"};
    const bool bGuarded = std::uniform_int_distribution<int>(0, 1)(random) == 0;
    std::string sText = Pick(random, vBefore, bGuarded ? 4 : 0) + Pick(random, vOpening, bGuarded ? 5 : 0) +
                        Pick(random, vFirst, bGuarded ? 2 : 0);
    for (int i = std::uniform_int_distribution<int>(0, 3)(random); i > 0; --i)
        sText += Pick(random, vBody, bGuarded ? 5 : 0);
    sText += Pick(random, vAlternative, bGuarded ? 1 : 0);
    const std::string& sEnd = Pick(random, vEnd);
    return sText + sEnd + (sEnd.back() == '\n' ? Pick(random, vAfter, bGuarded ? 4 : 0) : "");
}

// Three to five includes of the header, and what comes between them.
std::string RandomSource(std::mt19937& random)
{
    static const std::vector<std::string> vBetween = {
        "", "", "", "#undef G\n", "#define G\n", "mid\n", "#undef OUTSIDE\n"};
    std::string sText = std::uniform_int_distribution<int>(0, 9)(random) == 0 ? "#define G\n" : "";
    for (int i = std::uniform_int_distribution<int>(3, 5)(random); i > 0; --i)
        sText += "#include \"h.fxh\"\n" + Pick(random, vBetween);
    return sText + "end\n";
}

} // namespace

// Headers and the texts that include them, made at random (fixed seed): preprocessing gives the
// tokens C gives, and the header is read once where it is one guarded group and its guard stays
// defined, again elsewhere.
TEST_F(D3DCompileIncludeGuards, GuardedHeadersGiveWhatCGives)
{
    const std::string sCommand = d3dcompile_test::SystemPreprocessor("-P -undef -std=c99 -nostdinc");
    ASSERT_FALSE(sCommand.empty()) << "the system's C preprocessor (cpp) does not run";
    TestTempDir dir;
    ASSERT_TRUE(dir.IsValid());
    std::mt19937 random(7501);
    int iReadOnce = 0;
    int iReadAgain = 0;
    for (int iText = 0; iText < 400; ++iText)
    {
        const std::string sHeader = RandomHeader(random);
        const std::string sSource = RandomSource(random);
        std::ofstream(dir.Join("h.fxh"), std::ios::binary) << sHeader;
        std::ofstream(dir.Join("in.c"), std::ios::binary) << sSource;
        const std::string sRun =
            sCommand + " " + dir.Join("in.c") + " >" + dir.Join("out.txt") + " 2>/dev/null";
        ASSERT_EQ(0, std::system(sRun.c_str())) << sHeader << "--\n" << sSource;
        std::ifstream output(dir.Join("out.txt"), std::ios::binary);
        std::stringstream expected;
        expected << output.rdbuf();

        CountingInclude include;
        include.m_mapFiles["h.fxh"] = sHeader;
        d3dcompiler_internal::PreprocessedSource out;
        std::string sErrors;
        ASSERT_TRUE(d3dcompiler_internal::Preprocess(sSource.data(), sSource.size(), "in.c", nullptr,
                                                     &include, &out, &sErrors))
            << sErrors << sHeader << "--\n"
            << sSource;
        std::vector<std::string> vTokens;
        for (const d3dcompiler_internal::SourceToken& token : out.Tokens)
            vTokens.push_back(token.Text);
        EXPECT_EQ(Words(expected.str()), vTokens) << sHeader << "--\n" << sSource;
        int iIncludes = 0;
        for (std::size_t i = sSource.find("#include"); i != std::string::npos;
             i = sSource.find("#include", i + 1))
            ++iIncludes;
        if (include.m_mapOpens["h.fxh"] < iIncludes)
            ++iReadOnce;
        else
            ++iReadAgain;
    }
    // Neither side holds vacuously.
    std::printf("guarded headers: %d read once, %d read again\n", iReadOnce, iReadAgain);
    EXPECT_GT(iReadOnce, 120);
    EXPECT_GT(iReadAgain, 120);
}
