// Directive lines are read with the lexer before the library reads them: #if lines joined over
// comments and splices, the tokens of every directive line and of all of them, malformed numbers
// in #if lines.

#include "platform/d3dcompiler/D3DCompilerPreprocessor.h"
#include "platform/d3dcompiler/d3dcompiler.h"
#include "tests/platform/d3dcompiler/D3DCompileTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace
{

using d3dcompile_test::Errors;
using d3dcompile_test::MapInclude;
using d3dcompile_test::Repeat;

// The text with commas after its last line, and the end given: the source limit in all, or
// 160 KiB under ThreadSanitizer (past the limit of a quoted line still).
std::string FilledWithCommas(const std::string& sStart, const std::string& sEnd)
{
    const std::size_t uiBytes = kv_test::ShapeSize(d3dcompiler_internal::MAX_SOURCE_BYTES,
                                                   d3dcompiler_internal::MAX_SOURCE_BYTES, 160 * 1024);
    return sStart + std::string(uiBytes - sStart.size() - sEnd.size(), ',') + sEnd;
}

// The one error is the X1000 limit error given, on the line given.
void ExpectRefused(const std::string& sErrors, const std::string& sWhere, const std::string& sText)
{
    EXPECT_EQ(0u, sErrors.find(sWhere)) << sErrors;
    EXPECT_NE(std::string::npos, sErrors.find("): error X1000: " + sText + "\n")) << sErrors;
    EXPECT_EQ(sErrors.find('\n'), sErrors.size() - 1) << sErrors;
}

// The error of an #error SENTINEL on the line given: what a text that ends with one gives where
// all before it passes.
std::string Sentinel(int iLine)
{
    return "shader.hlsl(" + std::to_string(iLine) +
           ",1): error X1503: fatal error: encountered #error directive or #pragma wave stop(): SENTINEL\n";
}

const std::string LONG_LINE = "directive line holds more than 131072 bytes";
const std::string COSTLY_LINES = "preprocessing costs more than " +
                                 std::to_string(d3dcompiler_internal::MAX_PREPROCESS_COST) +
                                 " (directive-line tokens, text read / 4, includes, pastes and _Pragma "
                                 "operators) in all";
const std::string MALFORMED = "#if expression holds a malformed number: ";

} // namespace

// "/*/" opens a comment; the quick scan that once chose which texts to lex read it as a comment
// that opens and closes and took each line apart. The lines joined so are one #if line: a malformed
// number at their end is refused, and lines as deep and long as these evaluate.
TEST(D3DCompileDirectiveLines, IfLinesJoinedByCommentsAreReadWhole)
{
    const auto nested = [](const std::string& sJoin, const std::string& sLast)
    {
        return "#if " + std::string(200, '(') + sJoin + Repeat(std::string(200, '(') + sJoin, 24) + sLast +
               std::string(5000, ')') + "\n#else\n#error wrong-branch\n#endif\n";
    };
    EXPECT_EQ("", Errors(nested(" /*/\n*/ ", "1")));
    EXPECT_NE(std::string::npos, Errors(nested(" /*/\n*/ ", "0xe+1")).find(MALFORMED + "0xe+1"));
    // A comment opened by a slash, a spliced line break and a star.
    EXPECT_EQ("", Errors(nested(" /\\\n*\n*/ ", "1")));
    EXPECT_NE(std::string::npos, Errors(nested(" /\\\n*\n*/ ", "0xe+1")).find(MALFORMED + "0xe+1"));
    // 80,001 tokens on one line.
    EXPECT_EQ("", Errors("#if 1" + Repeat("|1", 20000) + " /*/\n*/ " + Repeat("|1", 20000) +
                         "\n#else\n#error wrong-branch\n#endif\n"));
    EXPECT_NE(std::string::npos,
              Errors("#if 1" + Repeat("|1", 20000) + " /*/\n*/ " + Repeat("|1", 20000) + " | 0xe+1\n#endif\n")
                  .find(MALFORMED + "0xe+1"));
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
    bool bMalformed = false; // an #if line holds the malformed number 0xe+1
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
            else if (s.compare(i, 5, "0xe+1") == 0)
            {
                uiLength = 5;
                result.bMalformed = result.bMalformed || bInIf;
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

// Whatever #if line C reads as holding a malformed number, the check refuses, and only those: texts
// made at random (fixed seed) of runs of parentheses, terms and malformed numbers, and between them
// the marks that join or end lines and hide text in comments and literals, alone and in the orders
// that open a comment on one line and close it on another. The reference also reads how deep and
// long the lines are, which no limit bounds: those texts pass where they hold no malformed number.
// Under ThreadSanitizer the first 2,400 texts are read. An #if that begins no line (after a comment that
// spans lines, or a splice) holds no #if expression: its numbers are text.
TEST(D3DCompileDirectiveLines, CheckRefusesEveryIfLineCReadsAsMalformed)
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
    std::uniform_int_distribution<std::size_t> parentheses(0, 150);
    std::uniform_int_distribution<std::size_t> terms(0, 3000);
    std::uniform_int_distribution<int> percent(0, 99);
    std::size_t uiPassing = 0;
    std::size_t uiRefused = 0;
    std::size_t uiDeep = 0;           // texts deeper or longer than the old limits that pass
    std::size_t uiWronglyRefused = 0; // texts refused where C reads no malformed number
    const std::size_t uiTexts = kv_test::ShapeSize(4000, 4000, 2400);
    for (std::size_t uiText = 0; uiText < uiTexts; ++uiText)
    {
        std::string sText = percent(random) < 75 ? "#if " : "";
        for (std::size_t i = segments(random); i > 0; --i)
        {
            sText += std::string(parentheses(random), '(');
            if (percent(random) < 10)
                sText += Repeat("|1", terms(random));
            if (percent(random) < 12)
                sText += " 0xe+1 ";
            for (int iJoins = percent(random) < 20 ? 2 : 1; iJoins > 0; --iJoins)
                for (const std::string& sPiece : vJoins[join(random)])
                    sText += sPiece;
        }
        const ReferenceLines reference = ReadReference(sText);
        std::size_t uiDirectiveCost = 0;
        std::string sErrors;
        const bool bPassed = d3dcompiler_internal::CheckDirectiveLines(
            sText.data(), sText.size(), "text.hlsl", &uiDirectiveCost, &sErrors);
        EXPECT_EQ(bPassed, sErrors.empty());
        uiRefused += bPassed ? 0 : 1;
        if (reference.bMalformed)
        {
            ++uiPassing;
            EXPECT_FALSE(bPassed) << "deepest " << reference.uiDeepest << ", longest " << reference.uiLongest
                                  << " in:\n"
                                  << sText;
        }
        else if (bPassed)
        {
            uiDeep += reference.uiDeepest > 256 || reference.uiLongest > 65536 ? 1 : 0;
        }
        else if (++uiWronglyRefused <= 3)
        {
            ADD_FAILURE() << sErrors << " in:\n" << sText;
        }
    }
    EXPECT_EQ(0u, uiWronglyRefused);
    // Neither side holds vacuously.
    EXPECT_GT(uiPassing, uiTexts / 10);
    EXPECT_GT(uiRefused, uiTexts / 10);
    EXPECT_GT(uiDeep, uiTexts / 40);
}

// The library makes text of some directive lines one token at a time, into a string that grows
// each time: one line of a megabyte of commas after each of these took 13 to 18 s and up to 420 MB,
// sixteen #warning or #line lines of 65,000 commas 1.8 s. A line of those kinds holds at most
// 128 KiB, and what they cost counts against the cost of all directive lines.
TEST(D3DCompileDirectiveLines, QuotedLinesHaveAByteLimitAndCountTheirText)
{
    const char* const kinds[] = {"#if 1\n#endif ",
                                 "#if 1\n#else ",
                                 "#warning ",
                                 "#error ",
                                 "#line ",
                                 "#include ",
                                 "#undef ",
                                 "#ifdef ",
                                 "#ifndef ",
                                 "# ",
                                 "#frobnicate ",
                                 "#if 0\n#warning ",
                                 "#if 0\n#frobnicate "};
    for (const char* pKind : kinds)
    {
        const std::string sStart = std::string("x\n") + pKind;
        const std::string sErrors = Errors(FilledWithCommas(sStart, "\n#endif\n"));
        const std::string sLine = std::to_string(std::count(sStart.begin(), sStart.end(), '\n') + 1);
        ExpectRefused(sErrors, "shader.hlsl(" + sLine + ",131073)", LONG_LINE);
    }
    // #if and #elif lines are parsed, not quoted: they hold no byte limit of their own, and an
    // error quotes the start of the expression only.
    const std::string sCommas = Errors(FilledWithCommas("x\n#if ", "\n#endif\n"));
    EXPECT_EQ(std::string::npos, sCommas.find(LONG_LINE)) << sCommas;
    EXPECT_LT(sCommas.size(), 600u) << sCommas;
    EXPECT_EQ("", Errors("#if " + Repeat("11111111 + ", 15000) + "1\n#endif\n"));
    // Each line within the limit, but more text made of them than a preprocessing may cost: each of
    // these lines costs about 130,000 with its text.
    ExpectRefused(Errors("x\n" + Repeat("#warning " + std::string(65000, ',') + "\n", 16)),
                  "shader.hlsl(11,13608)", COSTLY_LINES);
    ExpectRefused(Errors("x\n" + Repeat("#line " + std::string(65000, ',') + "\n", 16)),
                  "shader.hlsl(11,13633)", COSTLY_LINES);
    // Spelled as digraph and trigraph, also over line splices, in a text without a #.
    ExpectRefused(Errors("x\n%\\\n:warning " + std::string(140000, ',') + "\n"), "shader.hlsl(3,", LONG_LINE);
    ExpectRefused(Errors("x\n?\\\n?=warning " + std::string(140000, ',') + "\n"), "shader.hlsl(3,",
                  LONG_LINE);
    // Comments, whitespace and long tokens count.
    ExpectRefused(Errors("x\n#warning " + Repeat("/**/", 40000) + "\n"), "shader.hlsl(2,", LONG_LINE);
    ExpectRefused(Errors("x\n#undef A " + Repeat(std::string(255, 'a') + " ", 2000) + "\n"), "shader.hlsl(2,",
                  LONG_LINE);
    // Messages and lines of an ordinary length pass.
    EXPECT_EQ("", Errors(Repeat("#warning " + Repeat("word ", 200) + "\n#pragma message(\"" +
                                    std::string(2000, 'm') + "\")\n#line 7 \"name.hlsl\"\n",
                                200)));
}

namespace
{

// 16 lines of the directive given, each of 64 KiB of numbers: 16,384 tokens without whitespace.
std::string LinesOf64KiB(const std::string& sDirective, const std::string& sEnd, std::size_t uiLines)
{
    std::string sText;
    for (std::size_t i = 0; i < uiLines; ++i)
    {
        std::string sLine = sDirective + std::to_string(i) + Repeat(" +1", 8191) + sEnd;
        sLine.insert(sLine.size() - sEnd.size(), std::string(65536 - sLine.size(), ' '));
        sText += sLine;
    }
    return sText;
}

} // namespace

// Directive lines are parsed, not made into text, and cost what their tokens cost: what a person or
// a generator writes compiles, up to the source limit. Each of these was refused by a limit of 2,048
// tokens on any directive line or of 128 KiB on all of them.
TEST(D3DCompileDirectiveLines, OrdinaryDirectiveLinesPass)
{
    // A blur of 64 taps over 64 spliced lines, and a table of 700 numbers on one line.
    std::string sBlur = "#define BLUR(t, uv) ( \\\n";
    for (int i = 0; i < 63; ++i)
        sBlur += "    t.Sample(s, uv + float2(" + std::to_string(i - 32) + ".0 / 512.0, " +
                 std::to_string(32 - i) + ".0 / 512.0)) * 0.015625 + \\\n";
    sBlur += "    t.Sample(s, uv) * 0.015625)\nfloat4 Blur(float2 uv) { return BLUR(g_t, uv); }\n";
    EXPECT_EQ("", Errors(sBlur));
    std::string sTable = "#define TABLE 0.5";
    for (int i = 1; i < 700; ++i)
        sTable += ", " + std::to_string(i) + ".5";
    EXPECT_EQ("", Errors(sTable + "\nstatic const float g_aTable[] = { TABLE };\n"));
    // A generated header of 3,300 definitions with #pragma once, and a header of 4.6 KB of
    // definitions in an include guard, included from 30 headers.
    MapInclude include;
    std::string& sParameters = include.m_mapFiles["parameters.hlsli"] = "#pragma once\n";
    for (int i = 0; i < 3300; ++i)
        sParameters += "#define MATERIAL_PARAM_" + std::to_string(10000 + i).substr(1) + "_OFFSET " +
                       std::to_string(16 * i) + "\n";
    std::string& sCommon = include.m_mapFiles["common.hlsli"] =
        "#ifndef COMMON_HLSLI\n#define COMMON_HLSLI\n";
    for (int i = 0; sCommon.size() < 4550; ++i)
        sCommon += "#define COMMON_VALUE_" + std::to_string(i) + " " + std::to_string(i) + ".0\n";
    sCommon += "#endif\n";
    EXPECT_EQ("", Errors("#include \"parameters.hlsli\"\n#include \"parameters.hlsli\"\nint g_i = "
                         "MATERIAL_PARAM_3299_OFFSET;\n",
                         &include));
    std::string sIncludes;
    for (int i = 0; i < 30; ++i)
    {
        include.m_mapFiles["part" + std::to_string(i) + ".hlsli"] = "#include \"common.hlsli\"\n";
        sIncludes += "#include \"part" + std::to_string(i) + ".hlsli\"\n";
    }
    EXPECT_EQ("", Errors(sIncludes + "int g_i = COMMON_VALUE_1;\n", &include));
    // #define and #if lines of 64 KiB and 16,384 tokens each, filling the source (a quarter of it
    // under ThreadSanitizer).
    const std::size_t uiLines = kv_test::ShapeSize(16, 16, 4);
    const std::string sDefinitions = LinesOf64KiB("#define D", "\n", uiLines);
    ASSERT_EQ(d3dcompiler_internal::MAX_SOURCE_BYTES * uiLines / 16, sDefinitions.size());
    EXPECT_EQ("", Errors(sDefinitions));
    const std::string sConditions = LinesOf64KiB("#if ", "\n#endif\n", uiLines);
    EXPECT_EQ("", Errors(sConditions.substr(0, sConditions.size() - sConditions.size() / uiLines)));
    // The source filled with short definitions.
    EXPECT_EQ("", Errors(Repeat("#define SHORT_NAME 1\n", (1u << 20) / 21 * uiLines / 16)));
}

// What directive lines cost counts with all a preprocessing costs, over the source and its
// includes, each time one is read, skipped lines too: the library parsed a megabyte of definitions
// in the source and one more in an include in 3.4 s.
TEST(D3DCompileDirectiveLines, DirectiveLinesHaveACostInAll)
{
    std::string sDefinitions;
    for (int i = 0; i < 16; ++i)
        sDefinitions += "#define D" + std::to_string(i) + " " + std::string(65000, ',') + "\n";
    MapInclude include;
    include.m_mapFiles["table.hlsli"] = "#if 0\n#define T " + std::string(150000, ',') + "\n#endif\n";
    ExpectRefused(Errors("#include \"table.hlsli\"\n" + sDefinitions, &include), "table.hlsli(2,",
                  COSTLY_LINES);
    EXPECT_EQ(0, include.m_iOpen);
}

// No pragma is made into text: the library made text of a message or of its own options a token
// at a time, copying what it had so far with each token, and collected an unclosed message twice
// (three #pragma message lines of 128 KiB took 2.2 s, one _Pragma operator of 128 KiB 1.8 s). Long
// pragmas of every form are dropped, as one the library does not know is, and the text after them
// is read; #pragma once still marks its file.
TEST(D3DCompileDirectiveLines, PragmasAreNeverMadeIntoText)
{
    const std::string sWords = Repeat("a ", kv_test::ShapeSize(100000, 100000, 25000));
    for (const char* pForm :
         {"message(", "message(\\\"x\\\" ", " message ", "wave option(", "wave(", "other("})
    {
        const std::string sForm = pForm;
        EXPECT_EQ(Sentinel(2), Errors("_Pragma(\"" + sForm + sWords + ")\")\n#error SENTINEL\n"));
        EXPECT_EQ(Sentinel(2), Errors("_Pragma(\"" + sForm + sWords + "\")\n#error SENTINEL\n"));
        EXPECT_EQ(Sentinel(2), Errors("#pragma " + sForm + sWords + "\n#error SENTINEL\n"));
    }
    // Through a macro as well, its first word too.
    EXPECT_EQ(Sentinel(3),
              Errors("#define M(x) _Pragma(x)\nM(\"message(" + sWords + ")\")\n#error SENTINEL\n"));
    EXPECT_EQ(Sentinel(3), Errors("#define W message\n#pragma W(" + sWords + "\n#error SENTINEL\n"));
    // Short messages pass, and #pragma once reads its header once.
    EXPECT_EQ("", Errors(Repeat("_Pragma(\"message(\\\"compiling\\\")\")\n#pragma message(\"m\")\n", 100)));
    MapInclude include;
    include.m_mapFiles["once.hlsli"] = "#pragma once\nint g_i;\n";
    include.m_mapFiles["operator.hlsli"] = "_Pragma(\"once\")\nint g_j;\n";
    d3dcompiler_internal::PreprocessedSource out;
    std::string sErrors;
    const std::string sText = Repeat("#include \"once.hlsli\"\n#include \"operator.hlsli\"\n", 3);
    ASSERT_TRUE(d3dcompiler_internal::Preprocess(sText.data(), sText.size(), "shader.hlsl", nullptr, &include,
                                                 &out, &sErrors))
        << sErrors;
    EXPECT_EQ(6u, out.Tokens.size());
}

// In C a comment is one space: after "a /*", a line break and "*/", the # does not begin its line,
// and the line is text. The library took the comment for a line break, and X was defined.
TEST(D3DCompileDirectiveLines, CommentSpanningLinesDoesNotBeginALine)
{
    d3dcompiler_internal::PreprocessedSource out;
    std::string sErrors;
    const std::string sText = "a /*\n*/ #define X 1\n#ifdef X\n#error defined\n#endif\nb /* 1\n2 */ /*\n*/ "
                              "#define Y 2\nX Y\n/*\n*/ #define Z 3\n#define W /*\n*/ 4\nZ W\n";
    ASSERT_TRUE(d3dcompiler_internal::Preprocess(sText.data(), sText.size(), "shader.hlsl", nullptr, nullptr,
                                                 &out, &sErrors))
        << sErrors;
    std::vector<std::string> vTokens;
    std::vector<std::uint32_t> vLines;
    for (const auto& token : out.Tokens)
    {
        vTokens.push_back(token.Text);
        vLines.push_back(token.Line);
    }
    EXPECT_EQ((std::vector<std::string>{"a", "#", "define", "X", "1", "b", "#", "define", "Y", "2", "X", "Y",
                                        "3", "4"}),
              vTokens);
    EXPECT_EQ((std::vector<std::uint32_t>{1, 2, 2, 2, 2, 6, 8, 8, 8, 8, 9, 9, 11, 13}), vLines);
    // The check of directive lines reads the line as text as well.
    EXPECT_EQ("", Errors("a /*\n*/ #warning " + std::string(140000, ',') + "\n"));
}

// C reads 0xe+1 and 1e as one number each, malformed; the lexer read the longest literal at
// their start and the rest as more tokens, so 0xe+1 == 15 held.
TEST(D3DCompileDirectiveLines, MalformedNumbersInIfLinesAreRefused)
{
    ExpectRefused(Errors("#if 0xe+1 == 15\n#endif\n"), "shader.hlsl(1,5)", MALFORMED + "0xe+1");
    ExpectRefused(Errors("#if 0xe+1 == 14\n#endif\n"), "shader.hlsl(1,5)", MALFORMED + "0xe+1");
    ExpectRefused(Errors("#if 1e == 1\n#endif\n"), "shader.hlsl(1,5)", MALFORMED + "1e");
    ExpectRefused(Errors("#if 0\n#elif 2 == 1uu\n#endif\n"), "shader.hlsl(2,12)", MALFORMED + "1uu");
    ExpectRefused(Errors("#if 1 + 0xe\\\n-1\n#endif\n"), "shader.hlsl(1,9)", MALFORMED + "0xe-1");
    ExpectRefused(Errors("#if 1.2.3\n#endif\n"), "shader.hlsl(1,5)", MALFORMED + "1.2.3");
    // Numbers apart from what follows them are read as before, and outside #if lines a malformed
    // number is one token, as in C.
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
    EXPECT_EQ((std::vector<std::string>{"static", "const", "int", "g", "=", "0xe+1", "+", "1e", ";"}),
              vTokens);
}

// C reads the lines of a group it skips only as far as their directives, and evaluates no #elif
// after a group taken: a malformed number there is text. Where the line is evaluated it is refused,
// at the number, also in an include and after a #line.
TEST(D3DCompileDirectiveLines, MalformedNumbersAreRefusedWhereTheLineIsEvaluated)
{
    EXPECT_EQ("ok", d3dcompile_test::TokensOf("#if 0\n#if 0xe+1\n#elif 1e\n#endif\n#endif\nok\n"));
    EXPECT_EQ("ok", d3dcompile_test::TokensOf("#if 1\nok\n#elif 0xe+1\n#elif 1e\n#endif\n"));
    EXPECT_EQ("ok", d3dcompile_test::TokensOf("#ifdef X\n#if 1.2.3\n#endif\n#else\nok\n#endif\n"));
    ExpectRefused(Errors("#if 0\n#elif 0xe+1\n#endif\n"), "shader.hlsl(2,7)", MALFORMED + "0xe+1");
    ExpectRefused(Errors("#if 0\n#else\n#if 1e\n#endif\n#endif\n"), "shader.hlsl(3,5)", MALFORMED + "1e");
    ExpectRefused(Errors("#line 100\n#if 1 /*\n*/ + 0xe+1\n#endif\n"), "shader.hlsl(101,6)",
                  MALFORMED + "0xe+1");
    MapInclude include;
    include.m_mapFiles["numbers.hlsli"] =
        "#if 0\n#if 1e\n#endif\n#endif\n#if 1\n#elif 0xe+1\n#endif\n#if 0\n#elif 1 + 1uu\n#endif\n";
    ExpectRefused(Errors("#if 0\n#if 1e\n#endif\n#endif\n#include \"numbers.hlsli\"\n", &include),
                  "numbers.hlsli(9,11)", MALFORMED + "1uu");
    EXPECT_EQ(0, include.m_iOpen);
}
