#include "platform/d3dcompiler/D3DCompilerPreprocessor.h"
#include "platform/d3dcompiler/d3dcompiler.h"
#include "tests/platform/d3dcompiler/D3DCompileTestSupport.h"

#include <gtest/gtest.h>

#include <cstddef>

#include <map>
#include <random>
#include <set>
#include <string>

namespace
{

using d3dcompile_test::CompilePixelShader;
using d3dcompile_test::LiveHeapBytes;
using d3dcompile_test::MapInclude;
using d3dcompile_test::Repeat;
using d3dcompile_test::Result;

using d3dcompiler_internal::PreprocessedSource;

const char* const RETURN_ONE = "float4 PSMain() : SV_Target { return 1; }\n";
const std::string TOO_MANY_BYTES = "macro expansion passes 2097152 bytes read and made";
const std::string TOO_MANY_COPIES = "macro expansion passes 67108864 bytes copied into string literals";
const std::string LONG_DIRECTIVE_LINE = "directive line holds more than 131072 bytes";
const std::string LONG_LINE_NAME = "#line file name passes 4096 bytes";
const std::string LONG_INCLUDE_NAME = "include file name passes 4096 bytes";

bool Preprocess(const std::string& sSource, PreprocessedSource* pOut, ID3DInclude* pInclude = nullptr)
{
    std::string sErrors;
    const bool bOk = d3dcompiler_internal::Preprocess(sSource.data(), sSource.size(), "shader.hlsl", nullptr,
                                                      pInclude, pOut, &sErrors);
    EXPECT_TRUE(bOk) << sErrors.substr(0, 300);
    return bOk;
}

// The compile fails with the one error of a passed limit, at the place given.
void ExpectLimitError(const Result& result, const std::string& sWhere, const std::string& sText)
{
    EXPECT_EQ(E_FAIL, result.hr) << sText;
    EXPECT_EQ(sWhere + ": error X1000: " + sText + "\n", result.sErrors);
}

const std::string STRINGIZE = "#define S(a) #a\n";

} // namespace

// Each stringizing was charged its literal's bytes once per token of its argument, so a string of
// a few hundred words passed the byte limit of macro expansion.
TEST(D3DCompileExpansionBudget, OrdinaryStringizingCompiles)
{
    const Result words = CompilePixelShader(STRINGIZE + "static const string g = S(" + Repeat("ab ", 450) +
                                            ");\n" + RETURN_ONE);
    EXPECT_EQ(S_OK, words.hr) << words.sErrors;
    std::string sLines = STRINGIZE;
    for (int i = 0; i < 30; ++i)
    {
        // Appended, not "literal" + std::to_string: GCC's -O3 warns falsely on that form.
        sLines += "static const string g";
        sLines += std::to_string(i);
        sLines += " = S(" + Repeat("ab ", 100) + ");\n";
    }
    const Result lines = CompilePixelShader(sLines + RETURN_ONE);
    EXPECT_EQ(S_OK, lines.hr) << lines.sErrors;
    const std::string sLong =
        STRINGIZE + "static const string g = S(" + Repeat("ab ", 2000) + ");\n" + RETURN_ONE;
    const Result longer = CompilePixelShader(sLong);
    EXPECT_EQ(S_OK, longer.hr) << longer.sErrors;
    // The literal is the argument's text, whitespace made single spaces.
    PreprocessedSource out;
    ASSERT_TRUE(Preprocess(sLong, &out));
    EXPECT_NE(std::string::npos, out.Text.find("\"" + Repeat("ab ", 1999) + "ab\""));
}

// The library builds a stringized literal a token at a time and copies what it has so far with
// each, and escapes a quoted argument one character at a time the same way: the copies have a
// budget of their own, which the whole text shares.
TEST(D3DCompileExpansionBudget, BuildingLiteralsHasABudgetOfItsOwn)
{
    const std::string sUse = "static const string g = ";
    // One long argument, of words, of __VA_ARGS__, of a literal full of escapes, of character
    // literals.
    ExpectLimitError(CompilePixelShader(STRINGIZE + sUse + "S(" + Repeat("a ", 20000) + ");\n" + RETURN_ONE),
                     "shader.hlsl(2,25)", TOO_MANY_COPIES);
    ExpectLimitError(CompilePixelShader("#define V(...) #__VA_ARGS__\n" + sUse + "V(" + Repeat("a, ", 20000) +
                                        "a);\n" + RETURN_ONE),
                     "shader.hlsl(2,25)", TOO_MANY_COPIES);
    ExpectLimitError(
        CompilePixelShader(STRINGIZE + sUse + "S(\"" + Repeat("\\\\", 30000) + "\");\n" + RETURN_ONE),
        "shader.hlsl(2,25)", TOO_MANY_COPIES);
    ExpectLimitError(
        CompilePixelShader(STRINGIZE + sUse + "S(" + Repeat("'\\\\' ", 20000) + ");\n" + RETURN_ONE),
        "shader.hlsl(2,25)", TOO_MANY_COPIES);
    // Many arguments each within the budget: the copies of all count.
    std::string sLines = STRINGIZE;
    for (int i = 0; i < 100; ++i)
        sLines += sUse + "S(" + Repeat("abcdefghij ", 650) + ");\n";
    ExpectLimitError(CompilePixelShader(sLines + RETURN_ONE), "shader.hlsl(9,25)", TOO_MANY_COPIES);
    // And the next compile works.
    const Result next = CompilePixelShader(STRINGIZE + sUse + "S(x);\n" + RETURN_ONE);
    EXPECT_EQ(S_OK, next.hr) << next.sErrors;
}

// The bytes counted for a stringized literal before it is made are never fewer than the literal
// has: generated arguments of words, punctuation, string and character literals full of quotes
// and backslashes, runs of whitespace, __VA_ARGS__ with its commas.
TEST(D3DCompileExpansionBudget, StringizingCountsNoFewerBytesThanItMakes)
{
    std::mt19937 random(64);
    const char* const pieces[] = {"ab",       "x1",    "+",      "[",    "]",          "\"q\"", "\"\\\"\"",
                                  "\"\\\\\"", "'\\''", "'\\\\'", "'?'",  "\"a?b\"",    "  ",    "\t",
                                  " ",        ",",     "\"\"",   "0x1f", "\"\\?\\?\"", "1.5e3", "/**/"};
    int iEscaping = 0;
    for (int iText = 0; iText < 500; ++iText)
    {
        const bool bVariadic = iText % 2 == 1;
        std::string sArgument = "w";
        const std::size_t uiPieces = 1 + random() % 60;
        for (std::size_t i = 0; i < uiPieces; ++i)
        {
            const char* pPiece = pieces[random() % std::size(pieces)];
            sArgument += !bVariadic && pPiece[0] == ',' ? " " : pPiece;
            sArgument += ' ';
        }
        sArgument += "w";
        const std::string sSource =
            (bVariadic ? "#define S(...) #__VA_ARGS__\n" : STRINGIZE) + "S(" + sArgument + ")\n";
        PreprocessedSource out;
        ASSERT_TRUE(Preprocess(sSource, &out)) << sSource;
        ASSERT_EQ(1u, out.Tokens.size()) << sSource;
        const std::size_t uiLiteral = out.Tokens[0].Text.size();
        ASSERT_GE(out.LiteralBytes, uiLiteral) << sSource;
        iEscaping += uiLiteral > sArgument.size() + 2 ? 1 : 0;
    }
    // Not held vacuously: many literals came out longer than their arguments.
    EXPECT_GT(iEscaping, 100);
}

// A #line name or an include name of any length was kept, and the library copies a file's name
// into tokens and unescapes it with a cost that grows with the square of its escapes.
TEST(D3DCompileExpansionBudget, FileNamesHaveALimit)
{
    ExpectLimitError(CompilePixelShader("#line 1 \"" + std::string(4097, 'l') + "\"\n" + RETURN_ONE),
                     "shader.hlsl(1,1)", LONG_LINE_NAME);
    ExpectLimitError(
        CompilePixelShader("#define NAME \"" + std::string(4097, 'l') + "\"\n#line 7 NAME\n" + RETURN_ONE),
        "shader.hlsl(2,1)", LONG_LINE_NAME);
    // A name the library would unescape a character at a time, copying it whole each time, is
    // refused with its line.
    ExpectLimitError(CompilePixelShader("\n#line 1 \"" + Repeat("\\\\", 300000) + "\"\n" + RETURN_ONE),
                     "shader.hlsl(2,9)", LONG_DIRECTIVE_LINE);
    const Result line = CompilePixelShader("#line 1 \"" + std::string(4096, 'l') + "\"\n" + RETURN_ONE);
    EXPECT_EQ(S_OK, line.hr) << line.sErrors.substr(0, 200);
    MapInclude include;
    include.m_mapFiles[std::string(4097, 'i')] = "float g;\n";
    include.m_mapFiles[std::string(4096, 'i')] = "float g;\n";
    ExpectLimitError(
        CompilePixelShader("\n#include \"" + std::string(4097, 'i') + "\"\n" + RETURN_ONE, &include),
        "shader.hlsl(2,1)", LONG_INCLUDE_NAME);
    ExpectLimitError(
        CompilePixelShader("#define NAME \"" + std::string(4097, 'i') + "\"\n#include NAME\n" + RETURN_ONE,
                           &include),
        "shader.hlsl(2,1)", LONG_INCLUDE_NAME);
    const Result included =
        CompilePixelShader("#include \"" + std::string(4096, 'i') + "\"\n" + RETURN_ONE, &include);
    EXPECT_EQ(S_OK, included.hr) << included.sErrors.substr(0, 200);
}

// __FILE__ makes a literal of the file's name, up to the name's limit: its bytes count against
// the expansion budget, and escaping the name against the literals' budget.
TEST(D3DCompileExpansionBudget, FileMacroCountsAgainstTheBudgets)
{
    const std::string sUses = "#define F(x) x\nint F(" + Repeat("__FILE__ ", 3000) + ");\n" + RETURN_ONE;
    ExpectLimitError(CompilePixelShader("#line 1 \"" + std::string(400000, 'f') + "\"\n" + sUses),
                     "shader.hlsl(1,9)", LONG_DIRECTIVE_LINE);
    const std::string sName(4000, 'f');
    ExpectLimitError(CompilePixelShader("#line 1 \"" + sName + "\"\n" + sUses), sName + "(2,5)",
                     TOO_MANY_BYTES);
    const std::string sEscaped = Repeat("\\\\", 2000);
    ExpectLimitError(CompilePixelShader("#line 1 \"" + sEscaped + "\"\n" + sUses),
                     std::string(2000, '\\') + "(2,5)", TOO_MANY_COPIES);
    // A few are fine.
    PreprocessedSource out;
    ASSERT_TRUE(Preprocess("#line 1 \"" + sName + "\"\n#define F(x) x\nF(__FILE__ __FILE__)\n", &out));
    ASSERT_EQ(2u, out.Tokens.size());
    EXPECT_EQ("\"" + sName + "\"", out.Tokens[1].Text);
}

// Every output token held its own copy of its file's name: 300,000 tokens after a 4,000-byte
// #line name and a long include name took 1.2 GB. Each name is kept once and the tokens share it.
TEST(D3DCompileExpansionBudget, OutputKeepsEachFileNameOnce)
{
    const std::string sLineName(4000, 'l');
    const std::string sIncludeName(255, 'i'); // as long as a file system takes
    MapInclude include;
    include.m_mapFiles[sIncludeName] = "float " + Repeat("b, ", 50000) + "b;\n";
    std::string sSource = "#include \"" + sIncludeName + "\"\n#line 1 \"" + sLineName + "\"\nfloat ";
    for (int i = 0; i < 50000; ++i)
    {
        sSource += 'a';
        sSource += std::to_string(i);
        sSource += ", ";
    }
    sSource += "a;\n#line 9 \"shader.hlsl\"\nfloat c;\n#include \"" + sIncludeName + "\"\n";
    const std::size_t uiBefore = LiveHeapBytes();
    PreprocessedSource out;
    ASSERT_TRUE(Preprocess(sSource, &out, &include));
    const std::size_t uiHeld = LiveHeapBytes() - uiBefore;
    ASSERT_GT(out.Tokens.size(), 300000u);
    // The tokens (their texts are short) and the text, without a name for each token.
    EXPECT_LT(uiHeld, out.Tokens.capacity() * sizeof(d3dcompiler_internal::SourceToken) +
                          out.Text.capacity() + (1u << 20))
        << uiHeld;
    std::map<std::string, std::set<const std::string*>> mapNames;
    for (const d3dcompiler_internal::SourceToken& token : out.Tokens)
    {
        ASSERT_NE(nullptr, token.File);
        mapNames[*token.File].insert(token.File.get());
    }
    ASSERT_EQ(3u, mapNames.size());
    for (const auto& [sName, setCopies] : mapNames)
        EXPECT_EQ(1u, setCopies.size()) << sName.substr(0, 20);
    EXPECT_EQ(sIncludeName, *out.Tokens.back().File);
    EXPECT_EQ("shader.hlsl", *out.Tokens[out.Tokens.size() - 100004].File);
}

namespace
{

// Records the heap in use when the preprocessor opens an include.
class ProbeInclude : public ID3DInclude
{
public:
    std::size_t m_uiLiveBytes = 0;

    HRESULT Open(D3D_INCLUDE_TYPE, LPCSTR, LPCVOID, LPCVOID* ppData, UINT* pBytes) override
    {
        m_uiLiveBytes = LiveHeapBytes();
        *ppData = "";
        *pBytes = 0;
        return S_OK;
    }
    HRESULT Close(LPCVOID) override { return S_OK; }
};

} // namespace

// The library's tokens shared a file name among at most 255 of them and held a copy each beyond:
// 500,000 tokens in macro definitions after a 4,000-byte #line name took 4 GB and 12 s;
// 30,000 tokens of definitions took 120 MB.
TEST(D3DCompileExpansionBudget, KeptTokensShareTheirFileName)
{
    std::string sSource = "#line 1 \"" + std::string(4000, 'l') + "\"\n";
    for (int i = 0; i < 15; ++i)
    {
        sSource += "#define A";
        sSource += std::to_string(i);
        sSource += Repeat(" a", 1000) + "\n";
    }
    sSource += "#include \"probe\"\n";
    ProbeInclude probe;
    const std::size_t uiBefore = LiveHeapBytes();
    PreprocessedSource out;
    ASSERT_TRUE(Preprocess(sSource, &out, &probe));
    // About 300 bytes for each of the 30,000 tokens kept, without a name for each.
    EXPECT_LT(probe.m_uiLiveBytes - uiBefore, 40u << 20) << probe.m_uiLiveBytes - uiBefore;
}
