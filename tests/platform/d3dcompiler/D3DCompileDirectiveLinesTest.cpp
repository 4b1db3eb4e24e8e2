// Directive lines are read with the lexer before the library reads them: #if lines joined over
// comments and splices, the tokens of every directive line and of all of them, malformed numbers
// in #if lines.

#include "platform/d3dcompiler/D3DCompilerPreprocessor.h"
#include "platform/d3dcompiler/d3dcompiler.h"
#include "tests/platform/d3dcompiler/D3DCompileTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace
{

using d3dcompile_test::MapInclude;
using d3dcompile_test::Repeat;

// The errors of preprocessing the text, empty when it succeeds.
std::string Errors(const std::string& sText, MapInclude* pInclude = nullptr)
{
    d3dcompiler_internal::PreprocessedSource out;
    std::string sErrors;
    const bool bOk = d3dcompiler_internal::Preprocess(sText.data(), sText.size(), "shader.hlsl", nullptr,
                                                      pInclude, &out, &sErrors);
    EXPECT_EQ(bOk, sErrors.empty()) << sErrors;
    return sErrors;
}

// The text with commas after its last line up to the source limit, and the end given.
std::string FilledWithCommas(const std::string& sStart, const std::string& sEnd)
{
    return sStart + std::string(d3dcompiler_internal::MAX_SOURCE_BYTES - sStart.size() - sEnd.size(), ',') +
           sEnd;
}

// The one error is the X1000 limit error given, on the line given.
void ExpectRefused(const std::string& sErrors, const std::string& sWhere, const std::string& sText)
{
    EXPECT_EQ(0u, sErrors.find(sWhere)) << sErrors;
    EXPECT_NE(std::string::npos, sErrors.find("): error X1000: " + sText + "\n")) << sErrors;
    EXPECT_EQ(sErrors.find('\n'), sErrors.size() - 1) << sErrors;
}

const std::string NESTED = "#if expression nests deeper than 256 levels";
const std::string LONG_LINE = "directive line holds more than 2048 tokens";
const std::string ALL_LINES = "directive lines hold more than 32768 tokens in all";
const std::string LONG_BYTES = "directive line holds more than 16384 bytes";
const std::string ALL_BYTES = "directive lines hold more than 131072 bytes in all";
const std::string MALFORMED = "#if expression holds a malformed number: ";

} // namespace

// "/*/" opens a comment; the quick scan that once chose which texts to lex read it as a comment
// that opens and closes, took each line apart, and the evaluator overflowed the stack on these.
TEST(D3DCompileDirectiveLines, IfLinesJoinedByCommentsAreReadWhole)
{
    const std::string sNested = "#if " + std::string(200, '(') + " /*/\n" +
                                Repeat("*/ " + std::string(200, '(') + " /*/\n", 24) + "*/ 1" +
                                std::string(5000, ')') + "\n#endif\n";
    ASSERT_LT(sNested.size(), 11000u);
    ExpectRefused(Errors(sNested), "shader.hlsl(2,60)", NESTED);
    // A comment opened by a slash, a spliced line break and a star.
    const std::string sJoin = " /\\\n*\n*/ ";
    ExpectRefused(Errors("#if " + std::string(200, '(') + sJoin + Repeat(std::string(200, '(') + sJoin, 24) +
                         "1" + std::string(5000, ')') + "\n#endif\n"),
                  "shader.hlsl(3,60)", NESTED);
    // 80,001 tokens on one line, and a megabyte over 17 lines.
    ExpectRefused(Errors("#if 1" + Repeat("|1", 20000) + " /*/\n*/ " + Repeat("|1", 20000) + "\n#endif\n"),
                  "shader.hlsl(1,2051)", LONG_LINE);
    ExpectRefused(
        Errors("#if 1" + Repeat(Repeat("|1", 30000) + " /*/\n*/ ", 16) + Repeat("|1", 30000) + "\n#endif\n"),
        "shader.hlsl(1,2051)", LONG_LINE);
    // Lines joined so within the limits compile.
    EXPECT_EQ("", Errors("#if " + std::string(100, '(') + " /*/\n*/ " + std::string(100, '(') + "1" +
                         std::string(200, ')') + " /\\\n* x */ || 0\n#endif\n"));
}

namespace
{

// How C reads the #if lines of a text, for the texts the test below makes: trigraph splices and
// splices removed, comments and literals read, #if lines found at the starts of lines. For each
// line, the opening parentheses before anything the evaluator cannot read (a literal, a lone
// quote, a second #if), and its tokens. Reading stops at a comment that is never closed.
struct ReferenceLines
{
    std::size_t uiDeepest = 0;
    std::size_t uiLongest = 0;
};

ReferenceLines ReadReference(const std::string& sText)
{
    std::string s;
    for (std::size_t i = 0; i < sText.size(); ++i)
        if (sText.compare(i, 4, "?\?/\n") == 0)
            i += 3;
        else if (sText.compare(i, 2, "\\\n") == 0)
            i += 1;
        else
            s += sText[i];
    ReferenceLines result;
    bool bLineStart = true;
    bool bInIf = false;
    bool bReadable = false; // the evaluator reads on
    std::size_t uiOpen = 0;
    std::size_t uiTokens = 0;
    const auto endLine = [&]()
    {
        if (bInIf)
        {
            result.uiDeepest = std::max(result.uiDeepest, uiOpen);
            result.uiLongest = std::max(result.uiLongest, uiTokens);
        }
        bInIf = false;
        bLineStart = true;
    };
    for (std::size_t i = 0; i < s.size();)
    {
        const char c = s[i];
        if (c == '\n')
        {
            endLine();
            ++i;
        }
        else if (c == ' ')
        {
            ++i;
        }
        else if (s.compare(i, 2, "/*") == 0)
        {
            const std::size_t uiEnd = s.find("*/", i + 2);
            if (uiEnd == std::string::npos)
                break;
            i = uiEnd + 2;
        }
        else if (s.compare(i, 2, "//") == 0)
        {
            i = s.find('\n', i);
            if (i == std::string::npos)
                break;
        }
        else
        {
            std::size_t uiLength = 1;
            bool bExpression = true;
            if (c == '\'' || c == '"')
            {
                const std::size_t uiClose = s.find(c, i + 1);
                const std::size_t uiBreak = s.find('\n', i + 1);
                if (uiClose != std::string::npos && uiClose < uiBreak && (c == '"' || uiClose > i + 1))
                    uiLength = uiClose + 1 - i;
                bExpression = false;
            }
            else if (s.compare(i, 3, "#if") == 0)
            {
                uiLength = 3;
                if (bLineStart)
                {
                    bInIf = true;
                    bReadable = true;
                    uiOpen = 0;
                    uiTokens = 0;
                }
                bExpression = false;
            }
            if (bInIf)
            {
                ++uiTokens;
                if (bReadable && !bExpression && uiTokens > 1)
                    bReadable = false;
                if (bReadable && c == '(')
                    ++uiOpen;
            }
            bLineStart = false;
            i += uiLength;
        }
    }
    endLine();
    return result;
}

} // namespace

// Whatever #if line C reads as nesting deeper or holding more tokens than the limits allow, the
// check refuses: texts made at random (fixed seed) of runs of parentheses and terms, and between
// them the marks that join or end lines and hide text in comments and literals, alone and in the
// orders that open a comment on one line and close it on another.
TEST(D3DCompileDirectiveLines, CheckRefusesEveryIfLineCReadsPastALimit)
{
    const std::vector<std::vector<std::string>> vJoins = {{" /*/", "\n", "*/ "},
                                                          {"/*", "\n", "*/"},
                                                          {"/", "\\\n", "*", "\n", "*/"},
                                                          {"/", "?\?/\n", "*", "*/"},
                                                          {"\\\n"},
                                                          {"?\?/\n"},
                                                          {"\n"},
                                                          {"//", "\n"},
                                                          {"'"},
                                                          {"\""},
                                                          {"/*/", "*/"},
                                                          {"/*", "'", "*/"},
                                                          {"'", "/*", "'"},
                                                          {"\"", "//", "\""},
                                                          {"*/"},
                                                          {"/", "*"},
                                                          {"#if "},
                                                          {" "},
                                                          {"/*/"},
                                                          {"\n", "#if "}};
    std::mt19937 random(6401);
    std::uniform_int_distribution<std::size_t> join(0, vJoins.size() - 1);
    std::uniform_int_distribution<std::size_t> segments(2, 12);
    std::uniform_int_distribution<std::size_t> parentheses(0, 120);
    std::uniform_int_distribution<std::size_t> terms(0, 3000);
    std::uniform_int_distribution<int> percent(0, 99);
    std::size_t uiPassing = 0;
    std::size_t uiRefused = 0;
    for (int iText = 0; iText < 4000; ++iText)
    {
        std::string sText = percent(random) < 75 ? "#if " : "";
        for (std::size_t i = segments(random); i > 0; --i)
        {
            sText += std::string(parentheses(random), '(');
            if (percent(random) < 10)
                sText += Repeat("|1", terms(random));
            for (int iJoins = percent(random) < 20 ? 2 : 1; iJoins > 0; --iJoins)
                for (const std::string& sPiece : vJoins[join(random)])
                    sText += sPiece;
        }
        const ReferenceLines reference = ReadReference(sText);
        std::size_t uiDirectiveTokens = 0;
        std::size_t uiDirectiveBytes = 0;
        std::string sErrors;
        const bool bPassed = d3dcompiler_internal::CheckDirectiveLines(
            sText.data(), sText.size(), "text.hlsl", &uiDirectiveTokens, &uiDirectiveBytes, &sErrors);
        EXPECT_EQ(bPassed, sErrors.empty());
        uiRefused += bPassed ? 0 : 1;
        if (reference.uiDeepest > d3dcompiler_internal::MAX_CONDITION_NESTING ||
            reference.uiLongest > d3dcompiler_internal::MAX_DIRECTIVE_LINE_TOKENS)
        {
            ++uiPassing;
            EXPECT_FALSE(bPassed) << "deepest " << reference.uiDeepest << ", longest " << reference.uiLongest
                                  << " in:\n"
                                  << sText;
        }
    }
    // Neither side holds vacuously.
    EXPECT_GT(uiPassing, 400u);
    EXPECT_GT(uiRefused, 400u);
}

// The library read a directive line whole before it acted on it, and made many into text at a
// cost that grew with the line's tokens times its bytes: one line of a megabyte of commas after
// each of these took 13 to 16 s and up to 420 MB, sixteen #warning or #line lines of 65,000
// commas 1.8 s.
TEST(D3DCompileDirectiveLines, DirectiveLinesHaveTokenAndByteLimits)
{
    const char* const kinds[] = {
        "#if 1\n#endif ", "#if 1\n#else ",    "#warning ", "#error ",      "#line ",       "#include ",
        "#undef ",        "#ifdef ",          "#ifndef ",  "# ",           "#frobnicate ", "#pragma ",
        "#define A ",     "#if 0\n#warning ", "#if ",      "#if 0\n#elif "};
    for (const char* pKind : kinds)
    {
        const std::string sStart = std::string("x\n") + pKind;
        const std::string sErrors = Errors(FilledWithCommas(sStart, "\n#endif\n"));
        const std::string sLine = std::to_string(std::count(sStart.begin(), sStart.end(), '\n') + 1);
        ExpectRefused(sErrors, "shader.hlsl(" + sLine + ",", LONG_LINE);
    }
    ExpectRefused(Errors("x\n" + Repeat("#warning " + std::string(65000, ',') + "\n", 16)), "shader.hlsl(2,",
                  LONG_LINE);
    ExpectRefused(Errors("x\n" + Repeat("#line " + std::string(65000, ',') + "\n", 16)), "shader.hlsl(2,",
                  LONG_LINE);
    // Spelled as digraph and trigraph, also over line splices, in a text without a #.
    ExpectRefused(Errors("x\n%\\\n:warning " + std::string(5000, ',') + "\n"), "shader.hlsl(3,", LONG_LINE);
    ExpectRefused(Errors("x\n?\\\n?=warning " + std::string(5000, ',') + "\n"), "shader.hlsl(3,", LONG_LINE);
    // Comments and whitespace count.
    ExpectRefused(Errors("x\n#warning " + Repeat("/**/", 9000) + "\n"), "shader.hlsl(2,", LONG_LINE);
    ExpectRefused(Errors("x\n#warning " + Repeat(", ", 5000) + "\n"), "shader.hlsl(2,", LONG_LINE);
    // Lines within the limit each, but more than all lines may hold, in the text and with its
    // include; skipped lines count as well.
    const std::string sDefinitions = Repeat("#define A " + std::string(2000, ',') + "\n", 10);
    ExpectRefused(Errors(sDefinitions + sDefinitions), "shader.hlsl(17,", ALL_LINES);
    MapInclude include;
    include.m_mapFiles["table.hlsli"] = "#if 0\n" + sDefinitions + "#endif\n";
    ExpectRefused(Errors(sDefinitions + "#include \"table.hlsli\"\n", &include), "table.hlsli(8,", ALL_LINES);
    EXPECT_EQ(0, include.m_iOpen);
    // Bytes count too: the text made of a line of 2,000 tokens of 255 bytes took 0.9 s and 425 MB
    // in the fuzz build, eight #warning lines of 2,040 tokens and 31 KB each 0.5 s and 383 MB.
    ExpectRefused(Errors("x\n#undef A " + Repeat(std::string(255, 'a') + " ", 2000) + "\n"), "shader.hlsl(2,",
                  LONG_BYTES);
    ExpectRefused(Errors("x\n" + Repeat("#warning " + Repeat(std::string(40, 'a') + " ", 1020) + "\n", 16)),
                  "shader.hlsl(2,", LONG_BYTES);
    std::string sLiterals;
    for (int i = 0; i < 10; ++i)
        sLiterals += "#define S" + std::to_string(i) + " \"" + std::string(15000, 's') + "\"\n";
    ExpectRefused(Errors(sLiterals), "shader.hlsl(9,", ALL_BYTES);
    EXPECT_EQ("",
              Errors(sLiterals.substr(0, sLiterals.find('\n') + 1) + "static const string g_sText = S0;\n"));
    // A table of 500 numbers in a macro, and the same in many macros, compile.
    const std::string sTable = "#define TABLE " + Repeat("1.5, ", 499) + "1.5\n";
    EXPECT_EQ("", Errors(sTable + "static const float g_aTable[] = { TABLE };\n"));
    EXPECT_EQ("", Errors(Repeat(sTable, 12) + "static const float g_aTable[] = { TABLE };\n"));
}

// C reads 0xe+1 and 1e as one number each, malformed; the lexer reads the longest literal at
// their start and the rest as more tokens, so 0xe+1 == 15 held.
TEST(D3DCompileDirectiveLines, MalformedNumbersInIfLinesAreRefused)
{
    ExpectRefused(Errors("#if 0xe+1 == 15\n#endif\n"), "shader.hlsl(1,5)", MALFORMED + "0xe+1");
    ExpectRefused(Errors("#if 0xe+1 == 14\n#endif\n"), "shader.hlsl(1,5)", MALFORMED + "0xe+1");
    ExpectRefused(Errors("#if 1e == 1\n#endif\n"), "shader.hlsl(1,5)", MALFORMED + "1e");
    ExpectRefused(Errors("#if 0\n#elif 2 == 1uu\n#endif\n"), "shader.hlsl(2,12)", MALFORMED + "1uu");
    ExpectRefused(Errors("#if 1 + 0xe\\\n-1\n#endif\n"), "shader.hlsl(1,9)", MALFORMED + "0xe-1");
    ExpectRefused(Errors("#if 1.2.3\n#endif\n"), "shader.hlsl(1,5)", MALFORMED + "1.2.3");
    // Numbers apart from what follows them are read as before, and outside #if lines the lexer's
    // reading stands.
    EXPECT_EQ(
        "",
        Errors("#if 0xe + 1 == 15 && 10u == 10 && 0x1F/**/+1 == 32 && (1)+1 == 2\n#else\n#error\n#endif\n"));
    d3dcompiler_internal::PreprocessedSource out;
    std::string sErrors;
    const std::string sText = "#define N 0xe+1\nstatic const int g = N + 1e;\n";
    ASSERT_TRUE(d3dcompiler_internal::Preprocess(sText.data(), sText.size(), "shader.hlsl", nullptr, nullptr,
                                                 &out, &sErrors))
        << sErrors;
    std::vector<std::string> vTokens;
    for (const auto& token : out.Tokens)
        vTokens.push_back(token.Text);
    EXPECT_EQ(
        (std::vector<std::string>{"static", "const", "int", "g", "=", "0xe", "+", "1", "+", "1", "e", ";"}),
        vTokens);
}
