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
    EXPECT_EQ("[ # error S ]", TokensOf("#define F(x) [x]\nF(/* c\n */ #error S\n)\n"));
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

// A line whose first token is a macro that expands to nothing is a text line, whatever follows
// the macro: C gives its # and directive names as text, with the macros in it expanded. Each was
// acted on as a directive (X defined, Y undefined, the #error raised, the include opened).
TEST(D3DCompileLineStarts, AHashAfterAMacroThatExpandsToNothingIsText)
{
    const std::string sEmpty = "#define E\n#define F()\n#define Y 2\n";
    EXPECT_EQ("# define X 1 X", TokensOf(sEmpty + "E #define X 1\nX\n"));
    EXPECT_EQ("# define X 1 X", TokensOf(sEmpty + "F() #define X 1\nX\n"));
    EXPECT_EQ("# undef 2 2", TokensOf(sEmpty + "E #undef Y\nY\n"));
    EXPECT_EQ("# error NOPE", TokensOf(sEmpty + "E #error NOPE\n"));
    EXPECT_EQ("# define Z %: define Z # define Z",
              TokensOf(sEmpty + "E # define Z\nE %:define Z\nE ?\?=define Z\n"));
    // The null directive and one C does not know are text there too.
    EXPECT_EQ("# # 5", TokensOf(sEmpty + "E #\nE # 5\n"));
    d3dcompile_test::MapInclude include;
    include.m_mapFiles["nofile.h"] = "int i;\n";
    EXPECT_EQ("# include \"nofile.h\"", TokensOf(sEmpty + "E #include \"nofile.h\"\n", &include));
}

// A comment that spans lines and begins a line is one space, so the directive after it on its last
// line begins its line, in a group that is skipped as in one that is taken; a comment after a #
// continues the directive line. Each directive was missed in the skipped group (b and c were lost,
// the #endif gave "missing #endif"), and "#/* a", " b */H )" was the text H ).
TEST(D3DCompileLineStarts, ACommentThatBeginsALineLeavesTheDirectiveAfterItAtTheLineStart)
{
    EXPECT_EQ("b", TokensOf("#ifdef NOPE\na\n/* ----\n */ #else\nb\n#endif\n"));
    EXPECT_EQ("c", TokensOf("#ifdef NOPE\na\n/* ----\n */ #elif 1\nc\n#endif\n"));
    EXPECT_EQ("d", TokensOf("#ifdef NOPE\na\n/* ----\n */ #endif\nd\n"));
    EXPECT_EQ("e", TokensOf("#if 1\n#if 0\na\n/* 1\n2 */ /* 3\n */ %:else\ne\n#endif\n#endif\n"));
    EXPECT_EQ("a", TokensOf("#ifndef NOPE\na\n/* ----\n */ #else\nb\n#endif\n"));
    EXPECT_EQ("shader.hlsl(1,1): error X1000: error: ill formed preprocessor directive: # H )\n",
              d3dcompile_test::Errors("#/* a\n b */H )\n"));
}

// ## is an operator only in a replacement list as written: one that comes from an argument, or
// that a paste makes, is a token like any other. Each pasted (xy, wxy, "s"*), and CAT(1, x ##) was
// refused as a paste with nothing after it.
TEST(D3DCompileLineStarts, AHashHashFromAnArgumentIsText)
{
    const std::string sMacros = STR + "#define XS(x) STR(x)\n#define CAT(a, b) a ## b\n";
    EXPECT_EQ("x ## y", TokensOf(sMacros + "CAT(, x ## y)\n"));
    EXPECT_EQ("wx ## y", TokensOf(sMacros + "CAT(w, x ## y)\n"));
    EXPECT_EQ("\"s\" ## *", TokensOf(sMacros + "CAT(, \"s\" ## *)\n"));
    EXPECT_EQ("\"x ## y\"", TokensOf(sMacros + "XS(CAT(, x ## y))\n"));
    EXPECT_EQ("1x ##", TokensOf(sMacros + "CAT(1, x ##)\n"));
    EXPECT_EQ("%:%: ## [ a ## b ]",
              TokensOf(sMacros + "#define F(x) [x]\nCAT(%:, %:) CAT(#, #) F(CAT(a ?\?=, ?\?= b))\n"));
}

// A directive name stringized where it begins no line is C's tokens: the # as written (a trigraph
// read as what it stands for), one space for what separates it from the name. Each kept or lost
// the spelling unlike C ("a #define b", "# /**/ else", "#define", "??=if").
TEST(D3DCompileLineStarts, AStringizedDirectiveNameIsSpelledAsInC)
{
    EXPECT_EQ("\"a # define b\"", TokensOf(STR + "STR(a # define b)\n"));
    EXPECT_EQ("\"# else\"", TokensOf(STR + "STR(# /**/ else)\n"));
    EXPECT_EQ("\"%:define\"", TokensOf(STR + "STR(%:define)\n"));
    EXPECT_EQ("\"#if\"", TokensOf(STR + "STR(?\?=if)\n"));
    EXPECT_EQ("\"#\" \"%:%:\" \"##\" \"%: %:\"",
              TokensOf(STR + "STR(?\?=) STR(%:%:) STR(?\?=?\?=) STR(%: %:)\n"));
    EXPECT_EQ("\"#include <a.h>\"", TokensOf(STR + "STR(#include <a.h>)\n"));
}

// A directive's name goes on as far as a name goes: "#elsex" is no #else, and "#defineX" no
// #define. The library ended the name where a directive's ends: X was defined as 1, the skipped
// group's #elsex took b, and its #endifx closed the group.
TEST(D3DCompileLineStarts, ADirectiveNameGoesOnAsFarAsANameGoes)
{
    EXPECT_EQ("c", TokensOf("#ifdef NOPE\n#elsex\nb\n#endif\n#if 0\n#endifx\n#endif\nc\n"));
    EXPECT_EQ("shader.hlsl(1,1): error X1000: error: ill formed preprocessor directive: #defineX 1\n",
              d3dcompile_test::Errors("#defineX 1\nX\n"));
    EXPECT_EQ("# elsex # if1 \"%:define_\"",
              TokensOf(STR + "#define E\nE #elsex\nE ?\?=if1\nSTR(%:define_)\n"));
}
