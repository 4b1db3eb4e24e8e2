#include "platform/d3dcompiler/D3DCompilerPreprocessor.h"
#include "tests/platform/d3dcompiler/D3DCompileTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

using d3dcompile_test::Compile;
using d3dcompile_test::CompilePixelShader;
using d3dcompile_test::MapInclude;
using d3dcompile_test::Repeat;
using d3dcompile_test::Result;
using d3dcompile_test::TokensOf;

const char* const RETURN_ONE = "float4 PSMain() : SV_Target { return 1; }\n";
const char* const EFFECT = "float4 PSMain() : SV_Target { return 1; }\n"
                           "technique11 T { pass P { SetPixelShader(CompileShader(ps_5_0, PSMain())); } }\n";

class D3DCompileWarningsAndGroups : public d3dcompile_test::CompilerTest
{
};

Result CompileEffect(const std::string& sText, ID3DInclude* pInclude = nullptr)
{
    return Compile(sText, nullptr, "fx_5_0", nullptr, pInclude);
}

} // namespace

// An #if group ends in the file that opened it: an include that leaves one open, or closes or
// flips its includer's, fails where it does so, and the includer's text after it is never
// skipped without a word.
TEST_F(D3DCompileWarningsAndGroups, ConditionalGroupsEndInTheFileThatOpenedThem)
{
    MapInclude include;
    const std::string sAfter = "#error SENTINEL\n#endif\n" + std::string(EFFECT);
    const struct
    {
        const char* pInclude;
        const char* pExpected;
    } aCases[] = {
        {"#if 0\n", "u.fxh(1,1): error X1000: unterminated #if"},
        {"\n#ifdef NOTHING\n#else\n", "u.fxh(2,1): error X1000: unterminated #ifdef"},
        {"#ifndef GUARD\n#define GUARD\n#if 1\n#endif\n", "u.fxh(1,1): error X1000: unterminated #ifndef"},
    };
    for (const auto& c : aCases)
    {
        include.m_mapFiles["u.fxh"] = c.pInclude;
        const Result result = CompileEffect("#include \"u.fxh\"\n" + sAfter, &include);
        EXPECT_EQ(E_FAIL, result.hr) << c.pInclude;
        EXPECT_NE(std::string::npos, result.sErrors.find(c.pExpected)) << c.pInclude << result.sErrors;
        EXPECT_EQ(0, include.m_iOpen);
    }

    // An include's #else, #elif or #endif never closes or flips its includer's group.
    for (const char* pDirective : {"#endif\n#if 0\n", "#else\n", "#elif 0\n", "\n  # endif\n"})
    {
        include.m_mapFiles["e.fxh"] = pDirective;
        const Result result =
            CompileEffect("#if 1\n#include \"e.fxh\"\n#error LOST\n#endif\n" + std::string(EFFECT), &include);
        EXPECT_EQ(E_FAIL, result.hr) << pDirective;
        EXPECT_NE(std::string::npos, result.sErrors.find(" without #if in this file")) << result.sErrors;
        EXPECT_NE(std::string::npos, result.sErrors.find("e.fxh(")) << result.sErrors;
    }

    // Groups that end where they began compile, however the files nest, in skipped text too.
    include.m_mapFiles["inner.fxh"] = "#if 1\n#define INNER 1\n#else\n#error no\n#endif\n";
    include.m_mapFiles["outer.fxh"] =
        "#ifndef OUTER\n#define OUTER\n#if 1\n#include \"inner.fxh\"\n#endif\n"
        "#if 0\n#if 1\n#else\n#endif\n#elif INNER\n#define BOTH 1\n#endif\n#endif\n";
    EXPECT_EQ(S_OK, CompileEffect("#if 1\n#include \"outer.fxh\"\n#include \"outer.fxh\"\n#endif\n#if !BOTH\n"
                                  "#error no\n#endif\n" +
                                      std::string(EFFECT),
                                  &include)
                        .hr);
    // The source's own unbalanced groups keep the library's messages.
    EXPECT_NE(std::string::npos,
              CompilePixelShader("#if 1\n" + std::string(RETURN_ONE)).sErrors.find("#endif"));
    EXPECT_NE(
        std::string::npos,
        CompilePixelShader(RETURN_ONE + std::string("#endif\n")).sErrors.find("#if for this directive"));
}

// Each remark and warning the library raises passes or fails as the list beside the hooks says,
// with the text after it kept.
TEST_F(D3DCompileWarningsAndGroups, EachWarningPassesOrFailsAsListed)
{
    for (const char* pLine :
         {"#warning hi\n", "#pragma message(\"hi\")\n", "#pragma message hi\n", "#pragma wave frobnicate\n",
          "#pragma wave frobnicate(1)\n", "_Pragma(\"message(\\\"hi\\\")\")\n",
          "_Pragma(\"wave frobnicate\")\n", "_Pragma(\"pack_matrix(row_major)\")\n", "#define __FILE__ 1\n",
          "#undef __LINE__\n", "#define A 1\n#define A 2\n", "#define F(x) x\n#define F(y) y\n"})
    {
        const Result result =
            CompilePixelShader(pLine + std::string(RETURN_ONE) + "#if __LINE__ < 2\n#error no\n#endif\n");
        EXPECT_EQ(S_OK, result.hr) << pLine << result.sErrors;
        EXPECT_EQ("", result.sErrors);
    }
    // A text whose last line ends in a splice.
    EXPECT_EQ(S_OK, CompilePixelShader(RETURN_ONE + std::string("float4 g; \\")).hr);
    EXPECT_EQ(S_OK, CompilePixelShader(RETURN_ONE + std::string("#define LAST 1 \\")).hr);

    for (const char* pLine :
         {"#line abc\n", "#line 0\n", "#line 99999999999\n", "#line 5 file\n", "#line 5 L\"file\"\n",
          "_Pragma(1)\n", "_Pragma(\"a\" \"b\")\n", "#define F(x) x\nF(1, 2)\n", "#define G(x, y) x\nG(1)\n",
          "#if '\\x100'\n#endif\n"})
    {
        const Result result = CompilePixelShader(pLine + std::string(RETURN_ONE));
        EXPECT_EQ(E_FAIL, result.hr) << pLine;
        EXPECT_NE(std::string::npos, result.sErrors.find("shader.hlsl(")) << pLine << result.sErrors;
    }
    EXPECT_NE(std::string::npos, CompilePixelShader("#line abc\n")
                                     .sErrors.find("error X1000: error: ill formed #line directive: abc"));
    // The lexer's warnings: a comment that the end of the text cuts off.
    for (const char* pEnd : {"/* open\n", "// comment \\"})
    {
        const Result result = CompilePixelShader(RETURN_ONE + std::string(pEnd));
        EXPECT_EQ(E_FAIL, result.hr) << pEnd;
        EXPECT_NE(std::string::npos,
                  result.sErrors.find("error X1000: error: generic lexer warning: Unterminated"))
            << pEnd << result.sErrors;
    }
    // A #line that a macro makes is read as one written out.
    EXPECT_EQ(S_OK, CompilePixelShader("#define L 40 \"other.hlsl\"\n#line L\n#if __LINE__ != 40\n#error no\n"
                                       "#endif\n" +
                                       std::string(RETURN_ONE))
                        .hr);
}

// A remark raised inside a macro expansion leaves the rest of the expansion whole.
TEST_F(D3DCompileWarningsAndGroups, ARemarkInsideAnExpansionKeepsTheExpansion)
{
    EXPECT_EQ("a b c", TokensOf("#define F(a) a\nF(a _Pragma(\"message(\\\"y\\\")\") b) c\n"));
    EXPECT_EQ("x y z", TokensOf("#define G x _Pragma(\"message(\\\"y\\\")\") y\nG z\n"));
    EXPECT_EQ("p q", TokensOf("#define H(a) _Pragma(\"wave unknown\") a\nH(p) q\n"));
    // On an #if line it is an error, as in C.
    EXPECT_EQ(
        0u,
        TokensOf("#define ONE 1 _Pragma(\"message(\\\"one\\\")\")\n#if ONE\n1\n#endif\n").find("failed: "));

    // A second technique after the _Pragma is compiled: its pass names a function that does not
    // exist.
    const std::string sDecl = "#define DECL _Pragma(\"message(\\\"x\\\")\") technique11 T2 { pass P { "
                              "SetPixelShader(CompileShader(ps_5_0, Missing())); } }\n";
    Result result = CompileEffect(sDecl + EFFECT + "DECL\n");
    EXPECT_EQ(E_FAIL, result.hr);
    EXPECT_NE(std::string::npos, result.sErrors.find("X3501")) << result.sErrors;
    result = CompileEffect(sDecl + "#define DECL2(t) t\n" + EFFECT + "DECL2(DECL)\n");
    EXPECT_NE(std::string::npos, result.sErrors.find("X3501")) << result.sErrors;
}

// A byte-order mark at the start of the source or of an include is skipped; lines and columns
// are counted from the byte after it.
TEST_F(D3DCompileWarningsAndGroups, AByteOrderMarkIsSkipped)
{
    const std::string sMark = "\xEF\xBB\xBF";
    Result result = CompilePixelShader(sMark + "#error SENTINEL\n" + RETURN_ONE);
    EXPECT_EQ(E_FAIL, result.hr);
    EXPECT_NE(std::string::npos, result.sErrors.find("shader.hlsl(1,1): error X1503")) << result.sErrors;
    EXPECT_EQ(S_OK,
              CompilePixelShader(sMark + "#define N 1\n#if N != 1\n#error no\n#endif\n" + RETURN_ONE).hr);

    MapInclude include;
    include.m_mapFiles["marked.hlsli"] = sMark + "#define M 2\n";
    include.m_mapFiles["error.hlsli"] = sMark + "#error SENTINEL\n";
    EXPECT_EQ(S_OK, CompilePixelShader("#include \"marked.hlsli\"\n#if M != 2\n#error no\n#endif\n" +
                                           std::string(RETURN_ONE),
                                       &include)
                        .hr);
    result = CompilePixelShader(sMark + "#include \"error.hlsli\"\n" + RETURN_ONE, &include);
    EXPECT_NE(std::string::npos, result.sErrors.find("error.hlsli(1,1): error X1503")) << result.sErrors;

    d3dcompiler_internal::PreprocessedSource out;
    std::string sErrors;
    const std::string sText = sMark + "first second\n  third\n";
    ASSERT_TRUE(d3dcompiler_internal::Preprocess(sText.data(), sText.size(), "shader.hlsl", nullptr, nullptr,
                                                 &out, &sErrors));
    ASSERT_EQ(3u, out.Tokens.size());
    EXPECT_EQ("first", out.Tokens[0].Text);
    EXPECT_EQ(1u, out.Tokens[0].Column);
    EXPECT_EQ(7u, out.Tokens[1].Column);
    EXPECT_EQ(2u, out.Tokens[2].Line);
    EXPECT_EQ(3u, out.Tokens[2].Column);
    // A mark elsewhere is text.
    EXPECT_EQ(E_FAIL, CompilePixelShader("\n" + sMark + RETURN_ONE).hr);
}

// A macro defined again with another body takes the new body, wherever it was first defined.
TEST_F(D3DCompileWarningsAndGroups, ARedefinedMacroTakesItsNewBody)
{
    EXPECT_EQ("2", TokensOf("#define A 1\n#define A 2\nA\n"));
    EXPECT_EQ("b ( 1 )", TokensOf("#define F(x) a(x)\n#define F(y) b(y)\nF(1)\n"));
    EXPECT_EQ("F ( 1 )", TokensOf("#define F c\n#define F(x) F(x)\nF(1)\n"));
    EXPECT_EQ("3", TokensOf("#define A 1\n#define A 1\n#undef A\n#define A 3\nA\n"));
    EXPECT_EQ(S_OK, CompilePixelShader("#define A 1\n#define A 2\n#if A != 2\n#error no\n#endif\n" +
                                       std::string(RETURN_ONE))
                        .hr);
    // Over the caller's macro table too.
    const D3D_SHADER_MACRO macros[] = {{"TAPS", "4"}, {nullptr, nullptr}};
    EXPECT_EQ(S_OK, Compile("#define TAPS 8\n#if TAPS != 8\n#error no\n#endif\n" + std::string(RETURN_ONE),
                            "PSMain", "ps_5_0", macros)
                        .hr);
    // Built-in and predefined macros keep their meaning.
    EXPECT_EQ("3", TokensOf("#define __LINE__ 9\n\n__LINE__\n"));
    EXPECT_EQ("199901L", TokensOf("#define __STDC_VERSION__ 1\n__STDC_VERSION__\n"));
}

// A directive line inside a macro call's arguments fails and names the directive.
TEST_F(D3DCompileWarningsAndGroups, ADirectiveInsideMacroArgumentsIsAnError)
{
    const std::string sMacro = "#define F(x)\n#define G(x, y) x y\n";
    const struct
    {
        const char* pCall;
        const char* pExpected;
    } aCases[] = {
        {"F(\n#error SENTINEL\n)\n",
         "shader.hlsl(4,1): error X1000: directive in the arguments of macro F: #error"},
        {"G(a,\n  # define Q 1\n)\n",
         "shader.hlsl(4,3): error X1000: directive in the arguments of macro G: #define"},
        {"F(a /* c */\n#\n)\n", "shader.hlsl(4,1): error X1000: directive in the arguments of macro F: #"},
        {"G(F(\n#include \"x.h\"\n), b)\n", "directive in the arguments of macro G: #include \"x.h\""},
    };
    for (const auto& c : aCases)
    {
        const Result result = CompilePixelShader(sMacro + c.pCall + RETURN_ONE);
        EXPECT_EQ(E_FAIL, result.hr) << c.pCall;
        EXPECT_NE(std::string::npos, result.sErrors.find(c.pExpected)) << c.pCall << result.sErrors;
    }
    // A # inside a line, and calls over several lines, are no directive lines.
    EXPECT_EQ("a b c d", TokensOf("#define G(x, y) x y\n#define S(x) #x\nG(\na,\nb) G(c\n, d\n)\n"));
    EXPECT_EQ("\"# x\"", TokensOf("#define S(x) #x\nS(# x)\n"));
}

// The text the macros of a directive line make is bounded, so that the library's message or name
// of it costs little, and a message is cut to its first few hundred bytes.
TEST_F(D3DCompileWarningsAndGroups, MacrosOnADirectiveLineAreBounded)
{
    const std::string sMacros =
        "#define M1" + Repeat(" 1111111111111111", 790) + "\n#define M2" + Repeat(" M1", 80) + "\n";
    for (const char* pLine :
         {"#include M2\n", "#line M2\n", "#pragma message(M2)\n", "#warning M2\n", "#error M2\n"})
    {
        const Result result = CompileEffect(sMacros + pLine + EFFECT);
        EXPECT_EQ(E_FAIL, result.hr) << pLine;
        EXPECT_NE(std::string::npos, result.sErrors.find("shader.hlsl(3,")) << pLine << result.sErrors;
        EXPECT_NE(std::string::npos, result.sErrors.find("directive line: macros make more than 65536 bytes"))
            << pLine << result.sErrors.substr(0, 300);
    }
    // Below the bound the text is made whole, and the message of it is cut.
    const std::string sShort = "#define M1" + Repeat(" 1111111111111111", 790) + "\n#define M2 M1 M1 M1\n";
    const Result result = CompileEffect(sShort + "#error M2\n" + EFFECT);
    EXPECT_EQ(E_FAIL, result.hr);
    EXPECT_NE(std::string::npos, result.sErrors.find("error X1503")) << result.sErrors.substr(0, 300);
    EXPECT_LT(result.sErrors.size(), 400u);
    EXPECT_NE(std::string::npos, result.sErrors.find("1111...\n")) << result.sErrors;
    EXPECT_EQ(S_OK, CompileEffect(sShort + "#pragma message(M2)\n#warning M2\n" + EFFECT).hr);
    // Text lines after directive lines are not held to it.
    MapInclude include;
    include.m_mapFiles["empty.fxh"] = "";
    const std::string sText =
        "#define M1" + Repeat(" 1111111111111111", 790) + "\n#define M5 M1 M1 M1 M1 M1\n" +
        "#pragma message(\"x\")\nM5\n#pragma pack_matrix(row_major)\nM5\n#warning x\nM5\n"
        "#include \"empty.fxh\"\nM5\n#line 40\nM5\n";
    EXPECT_EQ(std::string::npos, TokensOf(sText, &include).find("failed"))
        << TokensOf(sText, &include).substr(0, 300);
    // Ordinary directive lines that macros make.
    include.m_mapFiles["common.fxh"] = "#define COMMON 1\n";
    EXPECT_EQ(S_OK, CompileEffect("#define NAME \"common.fxh\"\n#include NAME\n#define MSG(x) message(#x)\n"
                                  "#pragma MSG(COMMON)\n#if !COMMON\n#error no\n#endif\n" +
                                      std::string(EFFECT),
                                  &include)
                        .hr);
}
