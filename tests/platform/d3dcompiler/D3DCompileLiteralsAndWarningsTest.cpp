#include "platform/d3dcompiler/D3DCompilerControl.h"
#include "platform/d3dcompiler/d3dcompiler.h"
#include "tests/platform/d3dcompiler/D3DCompileTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace
{

using d3dcompile_test::CompilePixelShader;
using d3dcompile_test::MapInclude;
using d3dcompile_test::Result;

const char* const RETURN_ONE = "float4 PSMain() : SV_Target { return 1; }\n";

class D3DCompileLiteralsAndWarnings : public d3dcompile_test::CompilerTest
{
};

// The lexer reads its text in pieces of this many bytes.
constexpr std::size_t LEXER_PIECE = 196608;

// A valid shader, comment lines and line breaks up to the given offset, an unterminated literal
// opened there by the quote with the given letters, and an #error after it; a spliced line
// before and after the literal.
std::string UnterminatedLiteral(std::size_t uiOffset, char cQuote, std::size_t uiLetters)
{
    const std::string sComment = "// " + std::string(60, 'c') + "\n";
    std::string s = RETURN_ONE + std::string("#define BEFORE 1 \\\n + 1\n");
    while (s.size() + sComment.size() <= uiOffset)
        s += sComment;
    s.resize(uiOffset, '\n');
    return s + cQuote + std::string(uiLetters, 'a') +
           "\n#define AFTER 1 \\\n + 1\n#error this line is reached\n";
}

} // namespace

// An #if division or remainder of the smallest value by -1 is an overflow error, not a signal,
// wherever the expression comes from.
TEST_F(D3DCompileLiteralsAndWarnings, SmallestValueDividedByMinusOneIsAnOverflowError)
{
    const std::string sOverflow = "error X1000: error: integer overflow in preprocessor expression";
    for (const char* pCondition : {"(1<<63)/-1", "(1<<63)%-1", "(-9223372036854775807-1)/-1"})
    {
        const Result result =
            CompilePixelShader(std::string("#if ") + pCondition + "\n#endif\n" + RETURN_ONE);
        EXPECT_EQ(E_FAIL, result.hr) << pCondition;
        EXPECT_NE(std::string::npos, result.sErrors.find("shader.hlsl(1,")) << result.sErrors;
        EXPECT_NE(std::string::npos, result.sErrors.find(sOverflow)) << result.sErrors;
    }
    Result result =
        CompilePixelShader("#define SMALLEST (1<<63)\n#define DIV(a, b) ((a) / (b))\n#if DIV(SMALLEST, -1)\n"
                           "#endif\n" +
                           std::string(RETURN_ONE));
    EXPECT_EQ(E_FAIL, result.hr);
    EXPECT_NE(std::string::npos, result.sErrors.find("shader.hlsl(3,")) << result.sErrors;
    EXPECT_NE(std::string::npos, result.sErrors.find(sOverflow)) << result.sErrors;

    MapInclude include;
    include.m_mapFiles["limits.hlsli"] = "\n#if (-9223372036854775807-1)%-1\n#endif\n";
    result = CompilePixelShader("#include \"limits.hlsli\"\n" + std::string(RETURN_ONE), &include);
    EXPECT_EQ(E_FAIL, result.hr);
    EXPECT_NE(std::string::npos, result.sErrors.find("limits.hlsli(2,")) << result.sErrors;
    EXPECT_NE(std::string::npos, result.sErrors.find(sOverflow)) << result.sErrors;

    // The other operations without a 64-bit result are overflow errors too, and a signed left shift
    // is one where it loses bits or changes the sign, as gcc warns of them.
    for (const char* pCondition : {"-(-9223372036854775807-1)", "(-9223372036854775807-1)*-1", "(1<<62)*2",
                                   "(-9223372036854775807-1)-1", "9223372036854775807+1", "1<<63", "3<<63",
                                   "(1<<62)<<1", "-3<<62", "1<<64", "-1<<64", "1>>-64"})
    {
        result = CompilePixelShader(std::string("#if ") + pCondition + "\n#endif\n" + RETURN_ONE);
        EXPECT_EQ(E_FAIL, result.hr) << pCondition;
        EXPECT_NE(std::string::npos, result.sErrors.find(sOverflow)) << result.sErrors;
    }

    // Next to it the arithmetic of ordinary conditions is unchanged.
    EXPECT_EQ(S_OK,
              CompilePixelShader(
                  "#define MIN (-9223372036854775807-1)\n"
                  "#if (1<<62)/-1 == -(1<<62) && -7/2 == -3 && -7%2 == -1 && MIN < 0 && -1<<63>>63 == -1 && "
                  "-(-9223372036854775807) == 9223372036854775807 && 3*-4 == -12 && 2-1u == 1 && "
                  "MIN/2 == -(1<<62) && MIN%3 == -2 && MIN/(1==1) == MIN && -1<<1 == -2 && -2<<62 == MIN && "
                  "1u<<63 > 0 && 1u<<64 == 0 && 1>>99 == 0 && 1>>-1 == 2 && 1<<-1 == 0 && -1>>1 == -1 && "
                  "-1>>64 == -1\n" +
                  std::string(RETURN_ONE) + "#endif\n")
                  .hr);
}

namespace
{

// The value as #if text: a literal, negated where it is below zero.
std::string Literal(std::int64_t iValue)
{
    if (iValue == std::numeric_limits<std::int64_t>::min())
        return "(-9223372036854775807-1)";
    return iValue < 0 ? "(-" + std::to_string(-iValue) + ")" : std::to_string(iValue);
}

} // namespace

// Every signed operation gives its value where the value fits in 64 bits, and an overflow error
// elsewhere: a left shift where it loses bits or changes the sign, as gcc warns. Edge values and
// values drawn with a fixed seed.
TEST_F(D3DCompileLiteralsAndWarnings, SignedConditionArithmeticIsExactOrAnOverflowError)
{
    constexpr std::int64_t MIN = std::numeric_limits<std::int64_t>::min();
    constexpr std::int64_t MAX = std::numeric_limits<std::int64_t>::max();
    std::vector<std::int64_t> vValues = {MIN, MIN + 1, -(1ll << 32), -3, -1, 0, 1, 2, 63, 64, 1ll << 32, MAX};
    std::mt19937_64 random(64);
    for (int i = 0; i < 4; ++i)
        vValues.push_back(static_cast<std::int64_t>(random()) >> (i * 15));
    std::size_t uiOverflows = 0;
    std::size_t uiValues = 0;
    for (const std::int64_t iLeft : vValues)
    {
        for (const std::int64_t iRight : vValues)
        {
            for (const char* pOperator : {"+", "-", "*", "/", "%", "<<", ">>"})
            {
                const char c = pOperator[0];
                if ((c == '/' || c == '%') && iRight == 0)
                    continue;
                const __int128 iWide = iLeft;
                __int128 iExpected = 0;
                bool bFits = true;
                if (c == '<' || c == '>')
                {
                    // A negative count shifts the other way; past 63 only the sign, or 0, is left.
                    const bool bLeft = (c == '<') == (iRight >= 0);
                    const std::uint64_t uiCount = iRight >= 0 ? static_cast<std::uint64_t>(iRight)
                                                              : 0 - static_cast<std::uint64_t>(iRight);
                    if (!bLeft)
                        iExpected = uiCount > 63 ? (iLeft < 0 ? -1 : 0) : iLeft >> uiCount;
                    else if (uiCount > 63)
                        bFits = iLeft == 0;
                    else
                    {
                        iExpected = static_cast<std::int64_t>(static_cast<std::uint64_t>(iLeft) << uiCount);
                        bFits = (static_cast<std::int64_t>(iExpected) >> uiCount) == iLeft;
                    }
                }
                else
                {
                    iExpected = c == '+'   ? iWide + iRight
                                : c == '-' ? iWide - iRight
                                : c == '*' ? iWide * iRight
                                : c == '/' ? iWide / iRight
                                           : iWide % iRight;
                    // The remainder of the smallest value by -1 is an overflow as its quotient is.
                    bFits =
                        iExpected >= MIN && iExpected <= MAX && !(c == '%' && iLeft == MIN && iRight == -1);
                }
                const std::string sCondition = Literal(iLeft) + " " + pOperator + " " + Literal(iRight);
                const std::string sText = bFits ? "#if " + sCondition +
                                                      " == " + Literal(static_cast<std::int64_t>(iExpected)) +
                                                      "\n" + RETURN_ONE + "#endif\n"
                                                : "#if " + sCondition + "\n#endif\n" + RETURN_ONE;
                const Result result = CompilePixelShader(sText);
                if (bFits)
                {
                    ++uiValues;
                    EXPECT_EQ(S_OK, result.hr) << sCondition << ": " << result.sErrors;
                }
                else
                {
                    ++uiOverflows;
                    EXPECT_NE(std::string::npos, result.sErrors.find("integer overflow")) << sCondition;
                }
            }
        }
    }
    EXPECT_GT(uiOverflows, 200u);
    EXPECT_GT(uiValues, 800u);
}

// Text after an unterminated literal is read as it is where the literal stands early in the
// text, also where the literal runs across the lexer's pieces or is longer than one.
TEST_F(D3DCompileLiteralsAndWarnings, TextAfterAnUnterminatedLiteralIsReadWhereverItStands)
{
    MapInclude include;
    for (const char cQuote : {'"', '\''})
    {
        for (const std::size_t uiOffset :
             {std::size_t(150000), std::size_t(196000), LEXER_PIECE - 1, LEXER_PIECE, LEXER_PIECE + 100})
        {
            for (const std::size_t uiLetters : {std::size_t(1000), LEXER_PIECE - 1, LEXER_PIECE + 4000})
            {
                const std::string sText = UnterminatedLiteral(uiOffset, cQuote, uiLetters);
                const std::string sLine = std::to_string(std::count(sText.begin(), sText.end(), '\n'));
                const std::string sCase = std::string(1, cQuote) + " at " + std::to_string(uiOffset) + ", " +
                                          std::to_string(uiLetters);
                if (uiOffset + uiLetters > (1u << 20) - 64)
                    continue;
                Result result = CompilePixelShader(sText);
                EXPECT_EQ(E_FAIL, result.hr) << sCase;
                EXPECT_NE(std::string::npos,
                          result.sErrors.find("shader.hlsl(" + sLine + ",1): error X1503: "))
                    << sCase << ": " << result.sErrors.substr(0, 300);
                EXPECT_NE(std::string::npos, result.sErrors.find("this line is reached")) << sCase;

                include.m_mapFiles["long.hlsli"] = sText;
                result = CompilePixelShader("#include \"long.hlsli\"\n", &include);
                EXPECT_EQ(E_FAIL, result.hr) << sCase;
                EXPECT_NE(std::string::npos,
                          result.sErrors.find("long.hlsli(" + sLine + ",1): error X1503: "))
                    << sCase << ": " << result.sErrors.substr(0, 300);
                EXPECT_NE(std::string::npos, result.sErrors.find("this line is reached")) << sCase;
            }
        }
    }
}

// A remark or a warning lets the compile go on, wherever it stands: at the top of the text, after
// another directive, at the top of an include read first, after an empty line.
TEST_F(D3DCompileLiteralsAndWarnings, RemarksAndWarningsNeverFailTheCompile)
{
    MapInclude include;
    for (const char* pLine : {"#pragma message(\"hi\")\n", "#warning hi\n", "#define A 1\n#define A 2\n"})
    {
        for (const char* pBefore : {"", "#define Q 1\n", "#if 1\n#endif\n", "\n", "// comment\n"})
        {
            const Result result = CompilePixelShader(pBefore + std::string(pLine) + RETURN_ONE);
            EXPECT_EQ(S_OK, result.hr) << pBefore << pLine << result.sErrors;
            EXPECT_EQ("", result.sErrors);
        }
        include.m_mapFiles["first.hlsli"] = pLine;
        const Result result =
            CompilePixelShader("#include \"first.hlsli\"\n" + std::string(RETURN_ONE), &include);
        EXPECT_EQ(S_OK, result.hr) << pLine << result.sErrors;
        EXPECT_EQ("", result.sErrors);
    }
}

// A #pragma with nothing after it on its line is ignored, as one followed by a space is, wherever
// it stands.
TEST_F(D3DCompileLiteralsAndWarnings, EmptyPragmasAreIgnored)
{
    MapInclude include;
    for (const char* pLine : {"#pragma\n", "# pragma\n", "#pragma// note\n", "#pragma \n", "%:pragma\n",
                              "#pragma\n#pragma\n", "#pragma \\\n\n"})
    {
        const Result result = CompilePixelShader(pLine + std::string(RETURN_ONE));
        EXPECT_EQ(S_OK, result.hr) << pLine << result.sErrors;
        const Result last = CompilePixelShader(RETURN_ONE + std::string(pLine));
        EXPECT_EQ(S_OK, last.hr) << pLine << last.sErrors;
        include.m_mapFiles["pragma.hlsli"] = pLine;
        const Result included =
            CompilePixelShader("#include \"pragma.hlsli\"\n" + std::string(RETURN_ONE), &include);
        EXPECT_EQ(S_OK, included.hr) << pLine << included.sErrors;
    }
    // One the included text ends with, without a line break.
    include.m_mapFiles["pragma.hlsli"] = "#pragma";
    EXPECT_EQ(S_OK, CompilePixelShader("#include \"pragma.hlsli\"\n" + std::string(RETURN_ONE), &include).hr);
}

// Include names go to the caller's ID3DInclude alone, also those that name a folder or a path too
// long for the file system: they fail as any include the caller does not have.
TEST_F(D3DCompileLiteralsAndWarnings, IncludeNamesAreNotLookedUpOnTheFileSystem)
{
    MapInclude include;
    for (const std::string& sName :
         {std::string("."), std::string(".."), std::string("/"), std::string("/tmp"), std::string(4000, 'n'),
          std::string(2000, '/') + "x"})
    {
        const Result result = CompilePixelShader("#include \"" + sName + "\"\n" + RETURN_ONE, &include);
        EXPECT_EQ(E_FAIL, result.hr) << sName.substr(0, 40);
        EXPECT_NE(std::string::npos, result.sErrors.find("error X1507: failed to open source file"))
            << result.sErrors.substr(0, 200);
    }
    include.m_mapFiles["."] = "#define DOT 1\n";
    EXPECT_EQ(
        S_OK,
        CompilePixelShader("#include \".\"\n#if DOT\n" + std::string(RETURN_ONE) + "#endif\n", &include).hr);
}
