// What the library's errors, warnings and remarks become: each passes or fails the compile as the
// list beside PassesWarning says, and a failure names what is wrong. #line with tokens after its
// file name is read as C reads it.

#include "platform/d3dcompiler/D3DCompilerPreprocessor.h"
#include "tests/platform/d3dcompiler/D3DCompileTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

using d3dcompile_test::Compile;
using d3dcompile_test::CompilePixelShader;
using d3dcompile_test::MapInclude;
using d3dcompile_test::Result;
using d3dcompile_test::TokensOf;

const char* const RETURN_ONE = "float4 PSMain() : SV_Target { return 1; }\n";

class D3DCompileLibraryDiagnostics : public d3dcompile_test::CompilerTest
{
};

} // namespace

// C reads "#line 10 "f.fx" junk" and warns of the extra tokens; the library raised a remark whose
// message said "no error", and the compile failed.
TEST_F(D3DCompileLibraryDiagnostics, LineWithTokensAfterItsFileNameIsRead)
{
    const Result passed = CompilePixelShader("#line 10 \"f.fx\" junk\n" + std::string(RETURN_ONE));
    EXPECT_EQ(S_OK, passed.hr) << passed.sErrors;
    EXPECT_EQ("", passed.sErrors);
    // The lines after it are numbered from it, in the file it names.
    const Result renumbered =
        CompilePixelShader("#line 10 \"f.fx\" junk\n#error here\n" + std::string(RETURN_ONE));
    EXPECT_EQ(0u, renumbered.sErrors.find("f.fx(10,1): error X1503")) << renumbered.sErrors;
    EXPECT_EQ("10 \"f.fx\" 12", TokensOf("#line 10 \"f.fx\" junk more /* c */ // d\n__LINE__ __FILE__\n\n"
                                         "__LINE__\n"));
    EXPECT_EQ("20 \"g.fx\"", TokensOf("#line 20 \"g.fx\" \"h.fx\"\n__LINE__ __FILE__\n"));
    EXPECT_EQ("30 1", TokensOf("#define M junk\n#line 30 \"f.fx\" M ( ) M\n__LINE__ 1\n"));
    // In a group that is skipped it is skipped.
    EXPECT_EQ("5", TokensOf("#if 0\n#line 10 \"f.fx\" junk\n#endif\n\n__LINE__\n"));
    // What is no file name stays an error, as in C; and where macros make the tokens after the
    // file name, the line is refused with a message that says so.
    EXPECT_NE(
        std::string::npos,
        TokensOf("#line 10 junk\n").find("filename argument of #line directive should be a narrow string"));
    const std::string sMade = TokensOf("#define L 10 \"f.fx\" junk\n#line L\n");
    EXPECT_EQ(0u, sMade.find("failed: shader.hlsl(2,")) << sMade;
    EXPECT_NE(std::string::npos, sMade.find("tokens after the file name of #line: 10 \"f.fx\" junk"))
        << sMade;
}

// Every code the library raises through the hooks passes or fails as listed beside PassesWarning,
// and a failure's message names what is wrong: none says "no error", none is a remark or a
// warning. One text for each code a text reaches (a failure whose message other checks may come
// to give first holds an empty fragment).
TEST_F(D3DCompileLibraryDiagnostics, EachDiagnosticPassesOrFailsWithAMessageOfItsOwn)
{
    const struct
    {
        const char* pText;
        const char* pFailure; // what the message holds, or null where the compile passes
    } aCases[] = {
        {"#warning hi\n", nullptr},              // warning_directive
        {"#pragma message(\"hi\")\n", nullptr},  // pragma_message_directive
        {"#pragma wave frobnicate\n", nullptr},  // ill_formed_pragma_option
        {"#pragma wave stop(\"x\")\n", nullptr}, // ill_formed_pragma_option
        {"#define __FILE__ 1\n", nullptr},       // illegal_redefinition
        {"#define A 1\n#define A 2\n", nullptr}, // (a body of its own)
        {"#undef __LINE__\n", nullptr},          // bad_undefine_statement
        {"#line 10 \"f.fx\" junk\n", nullptr},   // (read as C reads it)
        {"#define defined 1\n", ""},             // illegal_redefinition
        {"_Pragma()\n", "error X1000: error: unknown or illformed pragma option: _Pragma"},
        {"_Pragma\n", "error X1000: error: ill formed preprocessor expression: operator _Pragma()"},
        {"#line abc\n", "error X1000: error: ill formed #line directive: abc"},
        {"#line 0\n", "error X1000: error: line number argument of #line directive"},
        {"#line 5 file\n", "error X1000: error: filename argument of #line directive"},
        {"#define L 5 \"f\" x\n#line L\n",
         "error X1000: error: tokens after the file name of #line: 5 \"f\" x"},
        {"#if 1 ? 2\n#endif\n", "error X1000: error: ill formed preprocessor expression"},
        {"#if 1 / 0\n#endif\n", "error X1000: fatal error: division by zero in preprocessor expression"},
        {"#if 0x7fffffffffffffff + 1\n#endif\n", "error X1000: error: integer overflow in preprocessor"},
        {"#define F(x) x\nF(1, 2)\n", "error X1000: error: too many macro arguments"},
        {"#define G(x, y) x\nG(1)\n", "error X1000: error: too few macro arguments"},
        {"#define F(x) x\nF(1\n", "error X1000: error: improperly terminated macro invocation"},
        {"#define A x ##\nA\n", ""},                // ill_formed_operator
        {"#define __VA_ARGS__ 1\n", "__VA_ARGS__"}, // bad_define_statement_va_args
        {"#define F(a, a) a\n", "error X1000: error: duplicate macro parameter name"},
        {"#error stop\n", "error X1503: fatal error: encountered #error directive"},
        {"#frobnicate\n", "error X1000: error: ill formed preprocessor directive: #frobnicate"},
        {"#undef 1\n", "error X1000: error: ill formed preprocessor directive: #undef 1"},
        {"#endif\n", "error X1000: error: the #if for this directive is missing"},
        {"#if 1\n", "error X1000: error: detected at least one missing #endif directive"},
        {"#include foo\n", "error X1000: error: ill formed #include directive"},
        {"#include \"missing.h\"\n", "error X1507: failed to open source file: 'missing.h'"},
    };
    for (const auto& c : aCases)
    {
        const Result result = CompilePixelShader(c.pText + std::string(RETURN_ONE));
        if (c.pFailure == nullptr)
        {
            EXPECT_EQ(S_OK, result.hr) << c.pText << result.sErrors;
            EXPECT_EQ("", result.sErrors) << c.pText;
            continue;
        }
        EXPECT_EQ(E_FAIL, result.hr) << c.pText;
        EXPECT_EQ(0u, result.sErrors.find("shader.hlsl(")) << c.pText << result.sErrors;
        EXPECT_NE(std::string::npos, result.sErrors.find(c.pFailure)) << c.pText << result.sErrors;
        EXPECT_EQ(result.sErrors.find('\n'), result.sErrors.size() - 1) << c.pText << result.sErrors;
        for (const char* pWrong : {"no error", "remark", "warning:", "command line"})
            EXPECT_EQ(std::string::npos, result.sErrors.find(pWrong)) << c.pText << result.sErrors;
    }
    // A text that ends in a line splice (last_line_not_terminated) passes.
    EXPECT_EQ(S_OK, CompilePixelShader(RETURN_ONE + std::string("float4 g; \\")).hr);
    // An include that includes itself (include_nesting_too_deep), and a definition of the caller's
    // table that is no definition (bad_macro_definition).
    MapInclude include;
    include.m_mapFiles["self.fxh"] = "#include \"self.fxh\"\n";
    const Result deep = CompilePixelShader("#include \"self.fxh\"\n" + std::string(RETURN_ONE), &include);
    EXPECT_NE(std::string::npos, deep.sErrors.find("error X1000: fatal error: include files nested too deep"))
        << deep.sErrors;
    const D3D_SHADER_MACRO table[] = {{"1", "x"}, {nullptr, nullptr}};
    const Result bad = Compile(RETURN_ONE, "PSMain", "ps_5_0", table);
    EXPECT_EQ(0u, bad.sErrors.find("shader.hlsl(1,1): error X1000: error: invalid macro definition: 1=x\n"))
        << bad.sErrors;
}
