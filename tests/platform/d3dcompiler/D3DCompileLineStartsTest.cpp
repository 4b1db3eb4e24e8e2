// A # begins a directive only where C says it does: as the first token of a line, once line splices
// are taken out and each comment is one space. Inside a macro call's arguments a # or a directive
// after a splice or after a comment that spans lines is text of the argument; one that begins its
// line is refused. An #if that begins no line is no #if line.

#include "platform/d3dcompiler/D3DCompilerPreprocessor.h"
#include "tests/platform/d3dcompiler/D3DCompileTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

using d3dcompile_test::TokensOf;

const std::string STR = "#define STR(x) #x\n";

} // namespace

// The texts C reads (cpp gives the results below); each was refused as a directive in the
// arguments, or as an #if line holding a malformed number.
TEST(D3DCompileLineStarts, AHashThatBeginsNoLineIsTextInMacroArguments)
{
    EXPECT_EQ("static const string g_s = \"a # b\" ;",
              TokensOf(STR + "static const string g_s = STR(a /* note\n */ # b);\n"));
    EXPECT_EQ("\"a # b\"", TokensOf(STR + "STR(a \\\n# b)\n"));
    EXPECT_EQ("\"a # b\"", TokensOf(STR + "STR(a ?\?/\n# b)\n"));
    EXPECT_EQ("[ #error S ]", TokensOf("#define F(x) [x]\nF(/* c\n */ #error S\n)\n"));
    EXPECT_EQ("\"#if 0xe+1\"", TokensOf(STR + "STR(#if 0xe+1)\n"));
    EXPECT_EQ("\"a #define X\"", TokensOf(STR + "STR(a /* 1\n2 */ /*\n*/ #define X)\n"));
    // Splices and comments together, in a call nested in another's arguments.
    EXPECT_EQ("[ \"a # b\" c ]", TokensOf(STR + "#define F(x) [x]\nF(STR(a /*\n*/ \\\n# b) c)\n"));
}

// A directive that begins its line inside the arguments is refused, wherever the line before it
// ended: after a splice and an empty line, a comment, or another comment that spans lines.
TEST(D3DCompileLineStarts, ADirectiveThatBeginsItsLineInMacroArgumentsIsRefused)
{
    const std::string sMacro = "#define F(x) [x]\n";
    const struct
    {
        const char* pCall;
        const char* pExpected;
    } aCases[] = {
        {"F(a \\\n\n# b)\n", "shader.hlsl(4,1): error X1000: directive in the arguments of macro F: #\n"},
        {"F(a // c\n  # b)\n", "shader.hlsl(3,3): error X1000: directive in the arguments of macro F: #\n"},
        {"F(\n/* c\n*/ #define X\n)\n",
         "shader.hlsl(4,4): error X1000: directive in the arguments of macro F: #define\n"},
        {"F(a /* c */\n%:define X)\n",
         "shader.hlsl(3,1): error X1000: directive in the arguments of macro F: #define\n"},
    };
    for (const auto& c : aCases)
        EXPECT_EQ("failed: " + std::string(c.pExpected), TokensOf(sMacro + c.pCall)) << c.pCall;
}
