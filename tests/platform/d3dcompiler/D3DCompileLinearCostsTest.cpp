// Shapes of text whose cost once grew with the square of their length: # operands looked for
// among many parameters, comments spanning lines after a token, each looking ahead over all the
// comments after it, a macro's argument copied for each use of its parameter before the expansion
// limit saw the copies, and long runs of comments in a replacement list. What the copies would have
// made is refused before it is allocated, which is checked here. The time the other shapes take is
// measured by bench_ShaderPreprocessBench (BM_PreprocessLinearShape, each at 64 KiB and at the
// source limit); the tests here check what such texts preprocess to.

#include "platform/d3dcompiler/D3DCompilerPreprocessor.h"
#include "tests/platform/d3dcompiler/D3DCompileTestSupport.h"
#include "tests/support/CountingAllocator.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace
{

using d3dcompile_test::Errors;
using d3dcompile_test::Repeat;
using d3dcompile_test::TokensOf;

const std::string TOO_MANY_TOKENS = "macro expansion passes 131072 tokens read and made";

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
// operands naming the last took 13 s ("stringized operands among many parameters" in the
// benchmark). Each operand still finds its own parameter among many, and is told from a name that
// is no parameter.
TEST(D3DCompileLinearCosts, StringizedOperandsAreFoundAmongManyParameters)
{
    constexpr std::size_t PARAMETERS = 2000;
    std::string sCall = "\nF(";
    for (std::size_t i = 0; i < PARAMETERS; ++i)
        sCall += (i == 0 ? "v" : ", v") + std::to_string(i);
    EXPECT_EQ(Repeat("\"v1999\" \"v0\" \"v1000\" ", 200) + "\"v1999\"",
              TokensOf(ManyParameters(PARAMETERS) + Repeat(" #a1999 #a0 # a1000", 200) + " #a1999" + sCall +
                       ")\n"));
    const std::string sDefinition = ManyParameters(3) + " #a2 #a0";
    EXPECT_EQ("\"z\" \"x\"", TokensOf(sDefinition + "\nF(x, y, z)\n"));
    EXPECT_NE(std::string::npos,
              TokensOf(sDefinition + " #a3\n").find("'#' is not followed by a macro parameter"));
    EXPECT_EQ(0u, TokensOf("#define G(a) #__VA_ARGS__\n").find("failed: "));
    EXPECT_EQ("\"1, 2\"", TokensOf("#define G(a, ...) #__VA_ARGS__\nG(0, 1, 2)\n"));
}

// After a token, each comment that spans lines looked ahead over all the blanks after it for a
// directive: 256 KB of them took 8 s, 512 KB of them with spaces 45 s ("comments spanning lines
// after a token" in the benchmark). No search looks ahead over them now: a directive after them
// begins no line, whatever comes between.
TEST(D3DCompileLinearCosts, CommentsAfterATokenAreLookedAtOnce)
{
    for (const char* pComment : {"/*\n*/", "/*\n*/ ", "/*\n*/ /**/"})
    {
        EXPECT_EQ("static const float x = 1 ; a",
                  TokensOf("static const float x = 1" + Repeat(pComment, 2000) + ";\n#define A a\nA\n"))
            << pComment;
    }
    // Each comment of a run before a # is one space: the # begins no directive.
    EXPECT_EQ("a # define X 1 X", TokensOf("a /*\n*/ /*\n*/ /**/ /*\n*/ #define X 1\nX\n"));
    EXPECT_EQ("a b 1", TokensOf("a /*\n*/ /*\n*/ b /*\n*/\n#define X 1\nX\n"));
}

// An argument was copied for each use of its parameter before the expansion limit was checked:
// 3,000 uses of an argument of 3,000 tokens took 800 MB, 70,000 uses of __VA_ARGS__ with 16,000
// commas more than 4 GB. Each text here would make millions of tokens: it is refused before they
// are made (the heap is counted where the allocator can be). The library keeps the memory of the
// tokens it frees for its next tokens: each text would need more than the one before.
TEST(D3DCompileLinearCosts, CopiesOfArgumentsAreRefusedBeforeTheyAreMade)
{
    for (const std::string& sText :
         {// Arguments as written pasted, an argument that grows by its expansion, __VA_ARGS__ with
          // many commas, a long argument.
          "#define F(x)" + Repeat(" x##x", 500) + "\nF(" + Repeat("a ", 1000) + ")\n",
          "#define G" + Repeat(" g", 1000) + "\n#define F(x)" + Repeat(" x", 2000) + "\nF(G)\n",
          "#define F(...)" + Repeat(" __VA_ARGS__", 3000) + "\nF(" + Repeat(",", 3000) + ")\n",
          "#define F(x)" + Repeat(" x", 3000) + "\nF(" + Repeat("a ", 3000) + ")\n"})
    {
        CountingAllocator::Start(false);
        const std::string sErrors = Errors(sText);
        CountingAllocator::Stop();
        EXPECT_NE(std::string::npos, sErrors.find(TOO_MANY_TOKENS)) << sText.substr(0, 30) << sErrors;
        const std::uint64_t uiAllocated =
            CountingAllocator::IsAvailable() ? CountingAllocator::GetCounts().Bytes : 0;
        EXPECT_LT(uiAllocated, 32u << 20) << sText.substr(0, 30);
    }
}

// What the calls under way will copy counts until their replacement lists are made, and no longer:
// texts that expand to nearly the limit compile, with calls one after the other, one inside
// another, and variadic.
TEST(D3DCompileLinearCosts, CopiesCountUntilTheirCallsEnd)
{
    const std::string sUses = "#define F(x)" + Repeat(" x", 20) + "\n#define V(...) [__VA_ARGS__]" +
                              Repeat(" __VA_ARGS__", 9) + "\n";
    for (const std::string& sCalls :
         {Repeat("F(" + Repeat("a ", 100) + ")\n", 30), "F(F(F(" + Repeat("a ", 7) + ")))\n",
          Repeat("F(F(" + Repeat("a ", 7) + "))\n", 21), Repeat("V(F(a b), F(c), a##b)\n", 88)})
    {
        d3dcompiler_internal::PreprocessedSource out;
        std::string sErrors;
        const std::string sText = sUses + sCalls;
        ASSERT_TRUE(d3dcompiler_internal::Preprocess(sText.data(), sText.size(), "shader.hlsl", nullptr,
                                                     nullptr, &out, &sErrors))
            << sErrors;
        EXPECT_GT(out.ExpandedTokens, 115000u) << sCalls.substr(0, 20);
    }
}

// At each expansion the library looked from each blank token of a replacement list over the rest of
// its run for a ##, and comments spanning lines end the runs the lexer joins: 200,000 of them took a
// minute. A long run is one blank token; the macro makes the same tokens at the same places.
TEST(D3DCompileLinearCosts, ARunOfBlanksInAReplacementListIsOneToken)
{
    const std::string sText = "#define F(x) x" + Repeat("/*\n*/ /**/", 5000) + " ## y\n#define G(x) [x" +
                              Repeat(" /*\n*/", 5000) + " x]\nF(1) G(2)\n";
    d3dcompiler_internal::PreprocessedSource out;
    std::string sErrors;
    ASSERT_TRUE(d3dcompiler_internal::Preprocess(sText.data(), sText.size(), "shader.hlsl", nullptr, nullptr,
                                                 &out, &sErrors))
        << sErrors;
    std::string sTokens;
    for (const d3dcompiler_internal::SourceToken& token : out.Tokens)
        sTokens += token.Text + "@" + std::to_string(token.Line) + ":" + std::to_string(token.Column) + " ";
    EXPECT_EQ("1y@10003:3 [@5002:14 2@10003:8 2@10003:8 ]@10002:5 ", sTokens);
    EXPECT_LT(out.ExpandedTokens, 100u);
}
