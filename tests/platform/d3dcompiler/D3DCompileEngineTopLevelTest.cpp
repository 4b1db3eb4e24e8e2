// The top level of the engine's own effects, damaged as a person editing them would: a statement
// the compiler does not read put between and after their declarations and techniques, a technique's
// keyword misspelled, and each word that says what a top-level statement or a member declares (its
// keyword, modifiers and type) misspelled. Each such text fails with its error on the damaged line,
// or compiles to the whole effect's record.

#include "platform/d3dcompiler/d3dcompiler.h"
#include "tests/platform/d3dcompiler/D3DCompileEngineEffects.h"
#include "tests/platform/d3dcompiler/D3DCompileTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace
{

using d3dcompile_test::CompileEffect;
using d3dcompile_test::EngineEffects;
using d3dcompile_test::ErrorLine;
using d3dcompile_test::LineOf;
using d3dcompile_test::Result;
using d3dcompile_test::StatementStarts;
using d3dcompile_test::WithoutHashes;

class D3DCompileEngineTopLevel : public d3dcompile_test::CompilerTest
{
};

} // namespace

// A statement the compiler does not read, on a line of its own before, between and after the
// engine's declarations and techniques; and each technique's keyword misspelled, its name removed.
// Each was stepped over: the effect compiled without the misspelled technique, a variable of a
// type neither HLSL nor the text has was declared, a pass's call outside its technique dropped.
// Each must fail with its error on the damaged line, or compile to the whole effect's record.
TEST_F(D3DCompileEngineTopLevel, StatementsFailAtTheirLine)
{
    const std::size_t uiStride = kv_test::ShapeSize(1, 2, 4);
    const char* const statements[] = {"CullMode = FRONT;",
                                      "rs = NULL;",
                                      "x = 1;",
                                      "1;",
                                      "1 2 3;",
                                      "frobnicate;",
                                      "foo = { 1 };",
                                      "@ { };",
                                      "SetRasterizerState(g_rsNoCull);",
                                      "Textue2D g_t;",
                                      "pass { SetRasterizerState(g_rsNoCull); }",
                                      "pass P { };",
                                      "{ pass Q { } }",
                                      "foo(bar) { }",
                                      "junk",
                                      "float4 g_vInserted = 1 junk;",
                                      "technique1 { pass Q { } }",
                                      "Technique11 < string s = \"x\"; > { pass Q { } }",
                                      "static x = 1;",
                                      "g_fNear;"};
    const char* const techniqueKeywords[] = {"technique1", "Technique11", "techniqe11", "technique111",
                                             "technique12"};
    int iDamaged = 0;
    std::size_t uiDamage = 0;
    for (const auto& [sName, sText] : EngineEffects())
    {
        const Result whole = CompileEffect(sText);
        ASSERT_EQ(S_OK, whole.hr) << sName << whole.sErrors;
        const std::vector<std::uint8_t> vWhole = WithoutHashes(whole.vCode);
        std::vector<std::pair<std::string, std::size_t>> vDamaged; // each text with its damaged line
        std::size_t k = 0;
        for (const std::size_t uiAt : StatementStarts(sText))
            for (std::size_t n = 0; n < 2; ++n, ++k)
            {
                const std::string sStatement = statements[(k * 7 + n) % std::size(statements)];
                const std::string sLine = uiAt == sText.size() && sText.back() != '\n' ? "\n" : "";
                vDamaged.push_back(
                    {sText.substr(0, uiAt) + sLine + sStatement + "\n" + sText.substr(uiAt),
                     std::count(sText.begin(), sText.begin() + uiAt, '\n') + 1 + (sLine.empty() ? 0 : 1)});
            }
        for (std::size_t uiAt = sText.find("technique11"); uiAt != std::string::npos;
             uiAt = sText.find("technique11", uiAt + 1), ++k)
        {
            const std::size_t uiName = sText.find_first_not_of(' ', uiAt + 11);
            const std::size_t uiNameEnd = sText.find_first_of(" \n{<", uiName);
            vDamaged.push_back({sText.substr(0, uiAt) + techniqueKeywords[k % std::size(techniqueKeywords)] +
                                    sText.substr(uiNameEnd),
                                std::count(sText.begin(), sText.begin() + uiAt, '\n') + 1});
        }
        for (const auto& [sDamaged, uiLine] : vDamaged)
        {
            if (uiDamage++ % uiStride != 0)
                continue;
            ++iDamaged;
            const Result result = CompileEffect(sDamaged);
            if (result.hr == S_OK)
            {
                ADD_FAILURE() << sName << " compiled with line " << uiLine << " damaged ("
                              << LineOf(sDamaged, uiLine) << ")"
                              << (WithoutHashes(result.vCode) == vWhole ? ", stepped over"
                                                                        : " to another record");
                continue;
            }
            EXPECT_EQ(uiLine, ErrorLine(result.sErrors))
                << sName << " with line " << uiLine << " damaged (" << LineOf(sDamaged, uiLine)
                << ") failed elsewhere: " << result.sErrors;
        }
    }
    EXPECT_GE(iDamaged, 350 / static_cast<int>(uiStride));
}
