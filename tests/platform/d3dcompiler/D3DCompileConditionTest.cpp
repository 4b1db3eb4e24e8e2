// #if and #elif expressions follow C's arithmetic: signed and unsigned 64-bit values, comparisons
// that give a signed 0 or 1, C99's constants, errors only in what is evaluated; and the shapes of
// expressions that macros build.

#include "platform/d3dcompiler/D3DCompilerPreprocessor.h"
#include "tests/platform/d3dcompiler/D3DCompileTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

using d3dcompile_test::Errors;
using d3dcompile_test::Repeat;

// The errors of a text whose #if takes the branch C takes when the condition holds; the other
// branch fails.
std::string Holds(const std::string& sCondition)
{
    return Errors("#if " + sCondition + "\n#else\n#error wrong-branch\n#endif\n");
}

std::string Fails(const std::string& sCondition)
{
    return Errors("#if " + sCondition + "\n#error wrong-branch\n#endif\n");
}

} // namespace

// Each of these holds in C; the library's values took the other branch: a comparison made the
// value it met a bool, ~ gave an unsigned value, a decimal too large for the signed type read as
// negative.
TEST(D3DCompileCondition, ValuesFollowCsArithmetic)
{
    for (const char* pCondition : {"~0 < 0",
                                   "(1 == 1) < 2",
                                   "((1 == 1) << 9) == 512",
                                   "(1 == 1) - 2 < 0",
                                   "(0 ? 256 : (1 == 1)) == 1",
                                   "-1u > 0",
                                   "9223372036854775808 > 0",
                                   "!((2 > 1) == 2)",
                                   "!(!0 == 2)",
                                   "!(2 == (1 == 1))",
                                   "-9223372036854775808 == 9223372036854775808",
                                   "0x8000000000000000 > 0",
                                   "-1 > 0u",
                                   "(1 ? -1 : 0u) > 0",
                                   "(1 ? 0u : -1) == 0",
                                   "(0 || 5) == 1",
                                   "(3 && 4) == 1",
                                   "-(1u) > 0",
                                   "~0u == 18446744073709551615",
                                   "-1 / 2u == 9223372036854775807",
                                   "-7 % 2u == 1",
                                   "-1 >> 63 == -1",
                                   "-1u >> 63 == 1",
                                   "(0, 5) == 5",
                                   "+1u - 2 > 0"})
        EXPECT_EQ("", Holds(pCondition)) << pCondition;
}

// C99's suffixes are read, in either order; other suffixes and constants past 64 bits are not.
TEST(D3DCompileCondition, IntegerConstantsAsC99ReadsThem)
{
    for (const char* pCondition :
         {"1LL == 1", "1ll == 1", "1ull == 1", "1uLL - 2 > 0", "1LLu - 2 > 0", "1lu - 2 > 0", "1L - 2 < 0",
          "0x10 == 16", "010 == 8", "0XfFu == 255", "18446744073709551615 == -1", "0 == 00"})
        EXPECT_EQ("", Holds(pCondition)) << pCondition;
    for (const char* pCondition : {"1lL", "1lul", "1uu", "18446744073709551616", "0x10000000000000000", "1.0",
                                   "1e5", "0x1p3", "08", "0x"})
    {
        const std::string sErrors = Fails(pCondition);
        EXPECT_NE(std::string::npos, sErrors.find("error X1000: ")) << pCondition << ": " << sErrors;
        EXPECT_EQ(std::string::npos, sErrors.find("wrong-branch")) << pCondition;
    }
}

// Character constants as gcc reads them with unsigned chars: one character is unsigned, several
// make a signed int.
TEST(D3DCompileCondition, CharacterConstants)
{
    for (const char* pCondition :
         {"'a' == 97", "'\\n' == 10", "'\\x41' == 65", "'\\101' == 65", "'\\377' == 255", "'\\xff' > 0",
          "'a' - 98 > 0", "'\\0' == 0", "'\\'' == 39", "'\"' == 34", "'\\\\' == 92", "'\\?' == 63",
          "'ab' == 24930", "'\\377\\377\\377\\377' == -1", "'abcde' == 'bcde'", "L'a' == 97",
          "L'a' - 98 < 0"})
        EXPECT_EQ("", Holds(pCondition)) << pCondition;
    for (const char* pCondition : {"''", "'\\400'", "'\\x100'", "'\\q'", "'\\x'", "u'a'", "U'a'", "L\"a\""})
    {
        const std::string sErrors = Fails(pCondition);
        EXPECT_NE(std::string::npos, sErrors.find("error X1000: ")) << pCondition << ": " << sErrors;
    }
}

// defined, identifiers left after expansion (0), and true and false, which C99 reads as identifiers.
TEST(D3DCompileCondition, IdentifiersAndDefined)
{
    EXPECT_EQ("", Errors("#define X\n#if defined X && defined(X) && !defined Y && UNDEFINED == 0 && "
                         "true == 0 && !false\n#else\n#error wrong-branch\n#endif\n"));
    EXPECT_EQ("", Errors("#define F(x) x\n#if F(defined X) == 0 && F(2) == 2\n#else\n#error wrong-branch\n"
                         "#endif\n"));
}

// An operand that && || or ?: does not evaluate may divide by 0 or overflow, as in C; an operand
// that is evaluated may not, also in an #elif, whose errors the library dropped.
TEST(D3DCompileCondition, ErrorsOnlyInWhatIsEvaluated)
{
    for (const char* pCondition : {"!(0 && 1/0)", "1 || 1/0", "0 ? 1/0 : 1", "1 ? 1 : 1%0", "!(0 && (1<<63))",
                                   "1 || -(-9223372036854775807-1)", "!(0 && (0 ? 1 : 1/0))"})
        EXPECT_EQ("", Holds(pCondition)) << pCondition;
    EXPECT_NE(std::string::npos, Fails("1/0").find("division by zero in preprocessor expression: 1/0"));
    EXPECT_NE(std::string::npos, Fails("0 || 1%0").find("division by zero"));
    EXPECT_NE(std::string::npos, Fails("(1<<62)*2 && 0").find("integer overflow"));
    EXPECT_NE(std::string::npos, Fails("1 ? 1<<63 : 0").find("integer overflow"));
    EXPECT_NE(std::string::npos, Errors("#if 0\n#elif 1/0\n#endif\n").find("shader.hlsl(2,"));
    EXPECT_NE(std::string::npos,
              Errors("#if 0\n#elif 1 +\n#endif\n").find("ill formed preprocessor expression"));
    EXPECT_EQ("", Errors("#if 1\n#elif 1/0\n#endif\n"));
}

// Text that is not an expression is refused, with what is wrong and the start of the expression.
TEST(D3DCompileCondition, IllFormedExpressionsAreRefused)
{
    for (const char* pCondition : {"1 +", "(1", "1)", "1 ? 2", "1 : 2", "1 2", "\"s\"", "()", "1 ? : 2", "~",
                                   "1 = 1", "#", "1 ? 2 : 3 : 4", "(1 ? 2) : 3"})
    {
        const std::string sErrors = Fails(pCondition);
        EXPECT_NE(std::string::npos, sErrors.find("error X1000: error: ill formed preprocessor expression: "))
            << pCondition << ": " << sErrors;
    }
    EXPECT_NE(std::string::npos, Errors("#if\n#endif\n").find("ill formed"));
    EXPECT_NE(std::string::npos, Errors("#define E\n#if E\n#endif\n").find("ill formed"));
    for (const char* pCondition :
         {"1 ? 2 ? 3 : 4 : 5", "(1 ? 2 : 3) == 2", "(0 ? 1 : 0 ? 2 : 3) == 3", "-(-(-1)) == -1", "!!!0",
          "~~1 == 1", "(1 + 2) * 3 == 9", "1 + 2 * 3 == 7", "(1 ? 2, 3 : 4) == 3", "(1 ? 2 : 3, 4) == 4",
          "1 - 1 - 1 == -1", "(8 >> 1 << 2) == 16", "(1 | 2 ^ 3 & 4) == 3", "1 < 2 == 1"})
        EXPECT_EQ("", Holds(pCondition)) << pCondition;
}

// A malformed number a macro brings to an #if line is refused, as one written on the line is; the
// tokens an expansion puts next to each other are not one number.
TEST(D3DCompileCondition, MalformedNumbersFromMacrosAreRefused)
{
    const std::string sIllFormed = "error X1000: error: ill formed preprocessor expression: ";
    const std::string sSuffix = sIllFormed + "invalid suffix on integer constant ";
    EXPECT_NE(std::string::npos, Errors("#define X 0xe+1\n#if X == 15\n#endif\n").find(sSuffix + "'0xe+1'"));
    EXPECT_NE(std::string::npos,
              Errors("#define X 0xe+1\n#if 0\n#elif X\n#endif\n").find(sSuffix + "'0xe+1'"));
    EXPECT_NE(std::string::npos,
              Errors("#define F(e) 1e\n#if F(2)\n#endif\n").find(sIllFormed + "floating constant '1e'"));
    EXPECT_NE(std::string::npos,
              Errors("#define Y 2 == 1uu\n#define X Y\n#if X\n#endif\n").find(sSuffix + "'1uu'"));
    EXPECT_EQ(
        "",
        Errors("#define P(x) x+1\n#define E 0xe\n#if P(0xe) == 15 && E+1 == 15\n#else\n#error\n#endif\n"));
    // Outside #if lines such a macro stays as it was.
    EXPECT_EQ("", Errors("#define X 0xe+1\nstatic const int g = X;\n"));
}

// 80 uses of a macro of 790 long numbers make 63,200 numbers on the #if line: the library built a
// message of all of them a token at a time (8.6 s); the message quotes the start alone.
TEST(D3DCompileCondition, MessagesQuoteTheStartOfALongExpression)
{
    const std::string sText = "#define M1" + Repeat(" 1111111111111111", 790) + "\n#define M2" +
                              Repeat(" M1", 80) +
                              "\n#if M2\n#endif\nfloat4 PSMain() : SV_Target { return 1; }\n";
    const std::string sErrors = Errors(sText);
    EXPECT_EQ(0u, sErrors.find("shader.hlsl(3,")) << sErrors.substr(0, 400);
    EXPECT_LT(sErrors.size(), 600u) << sErrors.substr(0, 400);
    EXPECT_NE(std::string::npos, sErrors.find(": 1111111111111111 1111111111111111 "))
        << sErrors.substr(0, 400);
    EXPECT_EQ(sErrors.size() - 4, sErrors.find("...\n")) << sErrors.substr(0, 400);
}

// 255 parentheses on the line around a macro of 255 more: the library's evaluator took a level of
// recursion for each and overflowed the stack under AddressSanitizer. The evaluator keeps its own
// stacks.
TEST(D3DCompileCondition, ExpandedNestingCostsNoRecursion)
{
    const std::string sOpen(255, '(');
    const std::string sClose(255, ')');
    EXPECT_EQ("", Errors("#define M " + sOpen + "1" + sClose + "\n#if " + sOpen + "M" + sClose +
                         "\n#else\n#error wrong-branch\n#endif\n"));
    EXPECT_EQ("", Errors("#define M " + Repeat("-(", 127) + "1" + sClose.substr(0, 127) + "\n#if " +
                         Repeat("!(", 127) + "M" + sClose.substr(0, 127) +
                         " == 0\n#else\n#error wrong-branch\n#endif\n"));
}
