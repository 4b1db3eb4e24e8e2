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
#include <regex>
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

namespace
{

const char* const MODIFIERS[] = {"static",       "const",           "uniform",      "extern", "shared",
                                 "groupshared",  "volatile",        "precise",      "inline", "row_major",
                                 "column_major", "snorm",           "unorm",        "linear", "centroid",
                                 "sample",       "nointerpolation", "noperspective"};

// HLSL's scalar, vector and matrix types, as its documentation lists them: a misspelling may be
// another of them.
const std::regex
    NUMERIC_TYPE("(bool|int|uint|dword|half|float|double|min16float|min10float|min16int|min12int|"
                 "min16uint)([1-4](x[1-4])?)?");

bool IsModifier(const std::string& s)
{
    return std::find(std::begin(MODIFIERS), std::end(MODIFIERS), s) != std::end(MODIFIERS);
}

// The text with its comments made spaces, each character where it stood.
std::string WithoutComments(std::string s)
{
    for (std::size_t i = 0; i < s.size(); ++i)
    {
        const bool bLine = s.compare(i, 2, "//") == 0;
        if (!bLine && s.compare(i, 2, "/*") != 0)
            continue;
        const std::size_t uiEnd = bLine ? s.find('\n', i) : s.find("*/", i) + 2;
        for (; i < std::min(uiEnd, s.size()); ++i)
            s[i] = s[i] == '\n' ? '\n' : ' ';
    }
    return s;
}

// The words that say what a statement declares, by their indices in vWords: the first word of each
// top-level statement and of each member statement of a struct or a constant buffer, and after
// modifiers the type. Not the names declared, which a record holds whatever they are, nor what
// techniques, passes and state blocks hold, which other tests damage.
std::vector<std::size_t> DeclaringWords(const std::vector<d3dcompile_test::Word>& vWords,
                                        const std::string& sText)
{
    const std::string sCode = WithoutComments(sText);
    std::vector<std::size_t> vDeclaring;
    std::string sBlock; // the first word of the top-level statement the words stand in
    for (std::size_t n = 0; n < vWords.size(); ++n)
    {
        const d3dcompile_test::Word& word = vWords[n];
        const std::size_t uiBefore =
            word.At == 0 ? std::string::npos : sCode.find_last_not_of(" \t\r\n", word.At - 1);
        const char cBefore = uiBefore == std::string::npos ? ';' : sCode[uiBefore];
        if (word.Define || (cBefore != ';' && cBefore != '{' && cBefore != '}'))
            continue;
        if (word.Depth == 0)
            sBlock = word.Text;
        else if (word.Depth != 1 || (sBlock != "struct" && sBlock != "cbuffer" && sBlock != "tbuffer"))
            continue;
        vDeclaring.push_back(n);
        while (IsModifier(vWords[n].Text) && n + 1 < vWords.size())
            vDeclaring.push_back(++n);
    }
    return vDeclaring;
}

} // namespace

// Each word that says what a top-level statement or a member of a struct or constant buffer
// declares (its keyword, modifiers and type), with one letter dropped, doubled and changed, one text
// each: it fails with its error on that word's line, compiles to the whole effect's record, or is
// another scalar, vector or matrix type ("float4" without its "4"), which declares another variable. A
// misspelled type declared a variable of a type nobody has, and a misspelled keyword was stepped over.
TEST_F(D3DCompileEngineTopLevel, DeclaringWordsMisspelledFailAtTheirLine)
{
    const std::size_t uiStride = kv_test::ShapeSize(1, 2, 7);
    int iFailed = 0;
    int iDamaged = 0;
    std::size_t uiDamage = 0;
    for (const auto& [sName, sText] : EngineEffects())
    {
        const Result whole = CompileEffect(sText);
        ASSERT_EQ(S_OK, whole.hr) << sName << whole.sErrors;
        const std::vector<std::uint8_t> vWhole = WithoutHashes(whole.vCode);
        const std::vector<d3dcompile_test::Word> vWords = d3dcompile_test::WordsOf(sText);
        for (const std::size_t n : DeclaringWords(vWords, sText))
        {
            const d3dcompile_test::Word& word = vWords[n];
            const std::size_t uiLine =
                std::count(sText.begin(), sText.begin() + static_cast<std::ptrdiff_t>(word.At), '\n') + 1;
            for (int iKind = 0; iKind < 3; ++iKind)
            {
                if (uiDamage++ % uiStride != 0)
                    continue;
                const std::string sDamaged = d3dcompile_test::Misspelled(sText, word, n, iKind);
                const std::size_t uiEnd = sDamaged.find_first_not_of(
                    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_", word.At);
                const std::string sWritten = sDamaged.substr(word.At, uiEnd - word.At);
                ++iDamaged;
                const Result result = CompileEffect(sDamaged);
                if (result.hr != S_OK)
                {
                    ++iFailed;
                    EXPECT_EQ(uiLine, ErrorLine(result.sErrors))
                        << sName << ": '" << word.Text << "' written '" << sWritten
                        << "' failed elsewhere: " << result.sErrors;
                    continue;
                }
                if (WithoutHashes(result.vCode) == vWhole)
                    continue;
                EXPECT_TRUE(std::regex_match(sWritten, NUMERIC_TYPE))
                    << sName << ": '" << word.Text << "' of line " << uiLine << " written '" << sWritten
                    << "' compiled to another record";
            }
        }
    }
    // 549 texts in Release, every one, of which 540 fail.
    EXPECT_GE(iDamaged, 500 / static_cast<int>(uiStride));
    EXPECT_GE(iFailed, 480 / static_cast<int>(uiStride));
}
