// One budget bounds what a preprocessing may cost, whatever the text spends it on: directive-line
// tokens, text read (the source and each read of an include), includes opened, and the lexers the
// library makes for each paste and each _Pragma operator. Each bounded on its own, they added up:
// 2 MiB of _Pragma operators took 4.9 s, 130,000 pastes with a 780 KB definition 3.6 s.

#include "platform/d3dcompiler/D3DCompilerPreprocessor.h"
#include "tests/platform/d3dcompiler/D3DCompileTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

using d3dcompile_test::Errors;
using d3dcompile_test::MapInclude;
using d3dcompile_test::Repeat;

const std::string OVER_BUDGET = "): error X1000: preprocessing costs more than ";

} // namespace

// Each part alone passes; together they pass the budget, and the text is refused before the
// library reads the costly lines of the last include (lines of a group it skips, which cost as
// others do). Under a sanitizer fewer pastes and operators, and more included text.
TEST(D3DCompileCostBudget, ConstructsOfEveryKindCountAgainstOneBudget)
{
    const std::size_t uiPastes = kv_test::ShapeSize(100000, 40000, 20000);
    const std::size_t uiPragmas = kv_test::ShapeSize(54000, 20000, 10000);
    const std::size_t uiText = kv_test::ShapeSize(480, 720, 960) * 1024 / 21;
    MapInclude include;
    include.m_mapFiles["text.fxh"] = "#if 0\n" + Repeat("float4 g_vValue = 1;\n", uiText) + "#endif\n";
    include.m_mapFiles["messages.fxh"] =
        "#if 0\n" + Repeat("#warning " + std::string(65000, ',') + "\n", 8) + "#endif\n";
    const std::string sPastes = "#define C a##b\nvoid F() {\n" + Repeat("C ", uiPastes) + "\n}\n";
    const std::string sPragmas = Repeat("_Pragma(\"x\") ", uiPragmas) + "\n";
    const std::string sText = "#include \"text.fxh\"\n" + sPastes + sPragmas;
    EXPECT_EQ("", Errors(sText, &include));
    EXPECT_EQ("", Errors("#include \"messages.fxh\"\n", &include));
    const std::string sErrors = Errors(sText + "#include \"messages.fxh\"\n", &include);
    EXPECT_EQ(0u, sErrors.find("messages.fxh(")) << sErrors;
    EXPECT_NE(std::string::npos, sErrors.find(OVER_BUDGET)) << sErrors;
    EXPECT_EQ(0, include.m_iOpen);
}

namespace
{

// What preprocessing the text cost; 0 where it failed.
std::size_t CostOf(const std::string& sText, MapInclude* pInclude = nullptr,
                   const D3D_SHADER_MACRO* pDefines = nullptr)
{
    d3dcompiler_internal::PreprocessedSource out;
    std::string sErrors;
    EXPECT_TRUE(d3dcompiler_internal::Preprocess(sText.data(), sText.size(), "shader.hlsl", pDefines,
                                                 pInclude, &out, &sErrors))
        << sErrors;
    return out.Cost;
}

// What each of uiCount more of a piece costs: the text with twice the pieces against the text with
// them once.
double EachCosts(const std::string& sStart, const std::string& sPiece, const std::string& sEnd,
                 std::size_t uiCount, MapInclude* pInclude = nullptr)
{
    const std::size_t uiOnce = CostOf(sStart + Repeat(sPiece, uiCount) + sEnd, pInclude);
    const std::size_t uiTwice = CostOf(sStart + Repeat(sPiece, 2 * uiCount) + sEnd, pInclude);
    return static_cast<double>(uiTwice - uiOnce) / static_cast<double>(uiCount);
}

} // namespace

// Each construct is charged what it costs (the units of MAX_PREPROCESS_COST).
TEST(D3DCompileCostBudget, EachConstructIsChargedWhatItCosts)
{
    using d3dcompiler_internal::INCLUDE_COST;
    using d3dcompiler_internal::LEXER_COST;
    using d3dcompiler_internal::TEXT_BYTES_PER_COST;
    const double BYTE = 1.0 / TEXT_BYTES_PER_COST;
    // Text read: 4 bytes of a comment cost 1; a directive line's tokens 1 each besides (its
    // whitespace included).
    EXPECT_NEAR(4 * BYTE, EachCosts("", "/**/", "\n", 4000), 0.01);
    EXPECT_NEAR(3 + 3 * BYTE, EachCosts("#define D 1", " +1", "\n", 4000), 0.01);
    // A paste and a _Pragma operator make a lexer each, which reads its text (a quarter of a unit
    // of "x" costs nothing, "wave" 1): of "C " and of "_Pragma("x") ".
    EXPECT_NEAR(LEXER_COST + 2 * BYTE, EachCosts("#define C a##b\n", "C ", "\n", 4000), 0.01);
    EXPECT_NEAR(LEXER_COST + 13 * BYTE, EachCosts("", "_Pragma(\"x\") ", "\n", 4000), 0.01);
    EXPECT_NEAR(LEXER_COST + 1 + 16 * BYTE, EachCosts("", "_Pragma(\"wave\") ", "\n", 4000), 0.01);
    // An include costs its opening, its #include line (one token) and its text, each time it is
    // read.
    MapInclude include;
    include.m_mapFiles["a.fxh"] = std::string(400, '\n');
    EXPECT_NEAR(INCLUDE_COST + 1 + 17 * BYTE + 100, EachCosts("", "#include \"a.fxh\"\n", "", 1000, &include),
                0.01);
    // A guarded header is read once: each include after the first costs its line alone.
    include.m_mapFiles["g.fxh"] = "#ifndef G\n#define G\n" + std::string(400, '\n') + "#endif\n";
    EXPECT_NEAR(1 + 17 * BYTE, EachCosts("#include \"g.fxh\"\n", "#include \"g.fxh\"\n", "", 1000, &include),
                0.01);
    // A definition of the caller's macro table costs the tokens of a #define line ("#define D 1 +1
    // +1 +1": 13), and the library's lexer of it with its text ("D=1 +1 +1 +1": 12 bytes).
    const D3D_SHADER_MACRO table[] = {{"D", "1 +1 +1 +1"}, {nullptr, nullptr}};
    EXPECT_EQ(CostOf("\n") + LEXER_COST + 13 + 12 / TEXT_BYTES_PER_COST, CostOf("\n", nullptr, table));
}

// A long run of comments on one line is read as one blank token: after an include, the library
// read a group it skips looking for a directive at every token, over the rest of the run (16,000
// comments took 2 s). The text is output as written, and every place stays.
TEST(D3DCompileCostBudget, ALongRunOfCommentsIsOneBlank)
{
    const std::string sRun = Repeat("/**/ ", 40);
    const std::string sText = "a " + sRun + "b\n#define F(x) [x]\nF(c " + sRun + "d)\n#if 1 " + sRun +
                              "+ 1\ne\n#endif\n" + sRun + "#define G g\nG " + sRun + "\n";
    d3dcompiler_internal::PreprocessedSource out;
    std::string sErrors;
    ASSERT_TRUE(d3dcompiler_internal::Preprocess(sText.data(), sText.size(), "shader.hlsl", nullptr, nullptr,
                                                 &out, &sErrors))
        << sErrors;
    EXPECT_NE(std::string::npos, out.Text.find("a " + sRun + "b\n")) << out.Text;
    std::string sTokens;
    for (const d3dcompiler_internal::SourceToken& token : out.Tokens)
        sTokens += token.Text + "@" + std::to_string(token.Line) + ":" + std::to_string(token.Column) + " ";
    // A macro's tokens keep the place of its definition.
    EXPECT_EQ("a@1:1 b@1:203 [@2:14 c@3:3 d@3:205 ]@2:16 e@5:1 g@7:211 ", sTokens);
    // After an include, in a group that is skipped.
    MapInclude include;
    include.m_mapFiles["x.fxh"] = "x\n";
    EXPECT_EQ("", Errors("#include \"x.fxh\"\n#if 0\n" + Repeat("/**/", 16000) + "\n#endif\n", &include));
}
