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

using d3dcompile_test::MapInclude;
using d3dcompile_test::Repeat;

const std::string OVER_BUDGET = "): error X1000: preprocessing costs more than ";

// The errors of preprocessing the text, empty when it succeeds.
std::string Errors(const std::string& sText, MapInclude* pInclude)
{
    d3dcompiler_internal::PreprocessedSource out;
    std::string sErrors;
    const bool bOk = d3dcompiler_internal::Preprocess(sText.data(), sText.size(), "shader.hlsl", nullptr,
                                                      pInclude, &out, &sErrors);
    EXPECT_EQ(bOk, sErrors.empty()) << sErrors;
    return sErrors;
}

} // namespace

// Each part alone passes; together they pass the budget, and the text is refused before the
// library reads the costly lines of the last include.
TEST(D3DCompileCostBudget, ConstructsOfEveryKindCountAgainstOneBudget)
{
    MapInclude include;
    include.m_mapFiles["text.fxh"] =
        "#if 0\n" + Repeat("float4 g_vValue = 1;\n", 480 * 1024 / 21) + "#endif\n";
    include.m_mapFiles["messages.fxh"] = Repeat("#warning " + std::string(65000, ',') + "\n", 8);
    const std::string sPastes = "#define C a##b\nvoid F() {\n" + Repeat("C ", 100000) + "\n}\n";
    const std::string sPragmas = Repeat("_Pragma(\"x\") ", 54000) + "\n";
    const std::string sText = "#include \"text.fxh\"\n" + sPastes + sPragmas;
    EXPECT_EQ("", Errors(sText, &include));
    EXPECT_EQ("", Errors("#include \"messages.fxh\"\n", &include));
    const std::string sErrors = Errors(sText + "#include \"messages.fxh\"\n", &include);
    EXPECT_EQ(0u, sErrors.find("messages.fxh(")) << sErrors;
    EXPECT_NE(std::string::npos, sErrors.find(OVER_BUDGET)) << sErrors;
    EXPECT_EQ(0, include.m_iOpen);
}
