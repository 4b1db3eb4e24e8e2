// Tokens as C makes them: the spaces of a stringized argument, preprocessing numbers kept whole
// through expansion and pasting, the ... of a variadic macro's body, and definitions C refuses
// when the macro is defined.

#include "platform/d3dcompiler/D3DCompilerPreprocessor.h"
#include "tests/platform/d3dcompiler/D3DCompileTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

using d3dcompile_test::Compile;
using d3dcompile_test::CompilerTest;
using d3dcompile_test::MapInclude;
using d3dcompile_test::Result;
using d3dcompile_test::TokensOf;

const char* const STRINGIZE = "#define STR(x) #x\n#define XSTR(x) STR(x)\n";

class D3DCompileTokensAsInC : public CompilerTest
{
};

} // namespace

// # puts one space where the argument's tokens had whitespace between them, and none before the
// first or after the last: a parameter stands for its argument without the whitespace around it.
TEST_F(D3DCompileTokensAsInC, StringizingSpacesOnlyBetweenTokens)
{
    MapInclude include;
    include.m_mapFiles["shaders/quality_high.fxh"] = "float g_fQuality;\n";
    EXPECT_EQ("float g_fQuality ;",
              TokensOf(std::string(STRINGIZE) + "#define PATH(dir, name) XSTR(dir/name.fxh)\n"
                                                "#include PATH(shaders, quality_high)\n",
                       &include));
    EXPECT_EQ(
        "\"a, b,\" \"a , b ,c\" \"a,b\" \"a ,\" \"\" \",\"",
        TokensOf(
            "#define S(...) #__VA_ARGS__\nS(a, b, ) S( a , b ,c ) S(  a,b  /**/ ) S(a ,) S( ) S( , )\n"));
    EXPECT_EQ(
        "\"a+b\" \"[a b]\" \"a\" \"a b\" \"x\" \"(a)\"",
        TokensOf(std::string(STRINGIZE) +
                 "#define Q(d, n) XSTR(d+n)\n#define R(d, n) XSTR([d n])\n#define P(x) XSTR((x))\n"
                 "Q( a , b ) R( a , b ) STR( /* c */ a /* d */ ) STR(\n a \n b \n) XSTR(  x\n) P( a )\n"));
    EXPECT_EQ("\"a , b\" \"a,b\"",
              TokensOf("#define S(...) #__VA_ARGS__\n#define W(...) S(__VA_ARGS__)\nW( a , b ) W(a,b)\n"));
}

// C reads a preprocessing number on over digits, letters, _, . and a sign after e, E, p or P; no
// macro replaces part of it, and it stays one token. 2.0h is a half-precision literal.
TEST_F(D3DCompileTokensAsInC, NumbersStayWhole)
{
    EXPECT_EQ(
        "y = 2.0h ; v = 1_000 ; w = 0x1p-3 ;",
        TokensOf("#define h + 1\n#define _000 + 2\n#define p3 + 3\ny = 2.0h; v = 1_000; w = 0x1p-3;\n"));
    EXPECT_EQ(
        "1e+5h 0x1P+3 1.5e-3f .5e+1 1..2 0x1p-.5e+x 1.e 08 0x1p+ + x 0x1p- = 1 0x1p+ == 1 0x1p- >>= 1",
        TokensOf("1e+5h 0x1P+3 1.5e-3f .5e+1 1..2 0x1p-.5e+x 1.e 08 0x1p++x 0x1p-=1 0x1p+==1 0x1p->>=1\n"));
    // Numbers that are literals are read as before.
    EXPECT_EQ("1 0x1F 1.0f .5 1e-3 10u 2.5L", TokensOf("1 0x1F 1.0f .5 1e-3 10u 2.5L\n"));
    const Result result = Compile("#define h )\nstatic const half g_h = 2.0h;\n"
                                  "float4 PSMain() : SV_Target { return g_h; }\n",
                                  "PSMain", "ps_5_0");
    EXPECT_TRUE(SUCCEEDED(result.hr)) << result.sErrors;
}

// A paste makes one preprocessing number where C makes one; a paste that makes no one token, or a
// malformed number on an #if line, is refused.
TEST_F(D3DCompileTokensAsInC, PastedNumbersAreOneToken)
{
    const std::string sCat = "#define CAT(a, b) a##b\n";
    EXPECT_EQ("1H .5f 0x1p- 3 1e+", TokensOf(sCat + "CAT(1,H) CAT(.,5f) CAT(0x1p,-3) CAT(1e,+)\n"));
    EXPECT_NE(std::string::npos,
              TokensOf(sCat + "CAT(x, 0xe+1)\n")
                  .find("pasting \"x\" and \"0xe+1\" does not give a valid preprocessing token"));
    EXPECT_NE(std::string::npos,
              TokensOf(sCat + "#if CAT(0xe, +1) == 15\n#endif\n")
                  .find("shader.hlsl(2,1): error X1000: error: ill formed preprocessor expression: "
                        "invalid suffix on integer constant '0xe+'"));
    EXPECT_NE(std::string::npos, TokensOf(sCat + "#if CAT(1, _0) || 1\n#endif\n").find("error X1000: "));
}

// In a variadic macro's body ... is a token like any other; consecutive ## operators paste once.
TEST_F(D3DCompileTokensAsInC, VariadicBodiesAndRepeatedPastes)
{
    EXPECT_EQ("[ ... ] [ 1 , 2 ] ...", TokensOf("#define F(...) [...] [__VA_ARGS__]\n#define G(x, ...) ...\n"
                                                "F(1, 2) G(1, 2)\n"));
    EXPECT_EQ("11 ab", TokensOf("#define F(x) x ## ## x\n#define G(x, y) x ## ## ## y\nF(1) G(a, b)\n"));
}

// Definitions C refuses are refused where the macro is defined, used or not: # not followed by a
// parameter in a function-like macro, ## at either end of a body, and defined as a macro's name.
TEST_F(D3DCompileTokensAsInC, DefinitionsCRefusesAreRefused)
{
    const std::string sHash = "): error X1000: '#' is not followed by a macro parameter\n";
    const std::string sEnds = "): error X1000: '##' cannot appear at either end of a macro expansion\n";
    const std::string sDefined = "): error X1000: \"defined\" cannot be used as a macro name\n";
    EXPECT_EQ("failed: shader.hlsl(2,14" + sHash, TokensOf("x\n#define F(x) # y x\n"));
    EXPECT_EQ("failed: shader.hlsl(1,16" + sHash, TokensOf("#define G(...) #...\n"));
    EXPECT_EQ("failed: shader.hlsl(1,14" + sHash, TokensOf("#define H(x) #\n"));
    EXPECT_EQ("failed: shader.hlsl(1,11" + sEnds, TokensOf("#define A ## x\n"));
    EXPECT_EQ("failed: shader.hlsl(1,13" + sEnds, TokensOf("#define B x ##\n"));
    EXPECT_EQ("failed: shader.hlsl(1,14" + sEnds, TokensOf("#define F(x) ## ## x\n"));
    EXPECT_EQ("failed: shader.hlsl(1,9" + sDefined, TokensOf("#define defined 1\n"));
    EXPECT_EQ("failed: shader.hlsl(1,1" + sDefined, TokensOf("#undef defined\n"));
    const D3D_SHADER_MACRO table[] = {{"defined", "1"}, {nullptr, nullptr}};
    EXPECT_NE(std::string::npos, TokensOf("x\n", nullptr, table).find(sDefined));
    // Where C reads them: # in an object-like macro, ## between operands, and #ifdef defined.
    EXPECT_EQ("1 # x ab \"b\" \"b\"", TokensOf("#define A # x\n#define B(x) a ## x #x\n#define C(x) %:x\n"
                                               "#ifdef defined\n#else\n1\n#endif\nA B(b) C(b)\n"));
}
