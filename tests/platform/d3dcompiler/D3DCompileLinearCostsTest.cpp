// Shapes of text whose cost once grew with the square of their length: # operands looked for
// among many parameters, and comments spanning lines after a token, each looking ahead over all
// the comments after it. What the searches looked at is counted (PreprocessedSource::SearchSteps)
// and must grow no faster than the text.

#include "platform/d3dcompiler/D3DCompilerPreprocessor.h"
#include "tests/platform/d3dcompiler/D3DCompileTestSupport.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

namespace
{

using d3dcompile_test::Repeat;
using d3dcompile_test::TokensOf;

// The steps of the searches preprocessing the text took; it must succeed.
std::size_t SearchStepsOf(const std::string& sText)
{
    d3dcompiler_internal::PreprocessedSource out;
    std::string sErrors;
    EXPECT_TRUE(d3dcompiler_internal::Preprocess(sText.data(), sText.size(), "shader.hlsl", nullptr, nullptr,
                                                 &out, &sErrors))
        << sErrors.substr(0, 300);
    return out.SearchSteps;
}

// "#define F(a0, a1, ..., a<n-1>)".
std::string ManyParameters(std::size_t uiCount)
{
    std::string s = "#define F(";
    for (std::size_t i = 0; i < uiCount; ++i)
    {
        s += i == 0 ? "a" : ", a";
        s += std::to_string(i);
    }
    return s + ")";
}

} // namespace

// Each # operand was compared with the parameters one by one: 70,000 parameters and 1 MiB of
// operands naming the last took 13 s.
TEST(D3DCompileLinearCosts, StringizedOperandsAreFoundAmongManyParameters)
{
    constexpr std::size_t PARAMETERS = 2000;
    for (const char* pOperand : {" #a1999", " #a0", " # a1000"})
    {
        const std::size_t uiSteps = SearchStepsOf(ManyParameters(PARAMETERS) + Repeat(pOperand, 2000) + "\n");
        EXPECT_LE(uiSteps, 2 * (PARAMETERS + 2000)) << pOperand;
    }
    // Every operand is still told from a name that is no parameter.
    const std::string sDefinition = ManyParameters(3) + " #a2 #a0";
    EXPECT_EQ("\"z\" \"x\"", TokensOf(sDefinition + "\nF(x, y, z)\n"));
    EXPECT_NE(std::string::npos,
              TokensOf(sDefinition + " #a3\n").find("'#' is not followed by a macro parameter"));
    EXPECT_EQ(0u, TokensOf("#define G(a) #__VA_ARGS__\n").find("failed: "));
    EXPECT_EQ("\"1, 2\"", TokensOf("#define G(a, ...) #__VA_ARGS__\nG(0, 1, 2)\n"));
}

// After a token, each comment that spans lines looked ahead over all the blanks after it for a
// directive: 256 KB of them took 8 s, 512 KB of them with spaces 45 s.
TEST(D3DCompileLinearCosts, CommentsAfterATokenAreLookedAtOnce)
{
    constexpr std::size_t COMMENTS = 2000;
    for (const char* pComment : {"/*\n*/", "/*\n*/ ", "/*\n*/ /**/"})
    {
        // A few steps for each comment (the lexer reads a text twice, see CheckDirectiveLines).
        const std::size_t uiSteps =
            SearchStepsOf("static const float x = 1" + Repeat(pComment, COMMENTS) + ";\n#define A a\nA\n");
        EXPECT_LE(uiSteps, 10 * COMMENTS) << pComment;
    }
    // Each comment of a run before a # is one space: the # begins no directive.
    EXPECT_EQ("a #define X 1 X", TokensOf("a /*\n*/ /*\n*/ /**/ /*\n*/ #define X 1\nX\n"));
    EXPECT_EQ("a b 1", TokensOf("a /*\n*/ /*\n*/ b /*\n*/\n#define X 1\nX\n"));
}
