// Preprocessing compared with the system's C preprocessor on generated texts: #if expressions
// (signed, unsigned, hexadecimal, octal and character constants, values near and past the 64-bit
// limits, every operator, parentheses, ?: and defined, numbers that are no constant, pastes that
// make numbers) and texts of macros (object-like and function-like, #, ##, __VA_ARGS__, ... in
// bodies, # before what is no parameter, repeated and misplaced ##, macros in macros and in
// arguments, preprocessing numbers with suffixes and letters after their digits and pastes that
// make them, tokens written with and without space between them, line splices and comments that
// span lines inside arguments, identical redefinitions, #undef) and texts of directive lines
// (directives spelled with %: and ??=, with line splices, comments and comments that span lines
// before the # or between it and the name, in groups taken, skipped and nested; lines whose # C
// reads as text, after a macro that expands to nothing or after another token, and lines begun by
// ## or %:%:; arguments holding ##, # and directive names, pasted and stringized). The system's
// preprocessor runs as
//   cpp -P -undef -std=c99 -pedantic -funsigned-char -nostdinc
// (or g++ -E -x c with the same flags; -std=c99 reads trigraphs); the test fails when neither runs.
// Where it reads a text without a diagnostic, preprocessing here gives the same tokens in the same
// order (whitespace aside; a directive C reads as text, such as the #define of E #define X 1, is
// compared as its tokens, # and define among them) and every #if takes the same branch; where it
// gives an error, preprocessing here fails too; where it only warns, the text is not compared.
// Agreements and refusals are counted, and each count has a floor, so the test cannot pass by
// comparing nothing.
//
// What C cannot know, and is never generated here: the predefined macros (__STDC__,
// __STDC_VERSION__ and the library's own), __FILE__, __LINE__, __DATE__ and __TIME__, and what
// #pragma lines (and _Pragma) produce, also a #pragma line C reads as text. A macro is never
// defined again with another body (C warns, so it would not be compared). An #error line inside a
// macro call's arguments is refused by both; a _Pragma remark in a body or an argument leaves the
// rest of its expansion as C leaves it. A macro call is never directly followed by a number: C's
// output text runs a name the expansion ends with into the number (B0x1p-3 for B and 0x1p-3), which
// reads back as other tokens. An #include is written only where C reads it as text or skips it (C
// stops at the first file it cannot open, and with it every case after), and no #line directive at
// all (it would move the lines C's diagnostics are matched to). No ' stands in a skipped group (C
// warns of one left open there).
//
// Differences kept on purpose, each counted apart and never a different result without an error:
// - The remainder of the smallest value by -1 is an overflow error here, as its quotient is (gcc
//   gives 0 without a word).
// - A malformed number written on an #if or #elif line that is evaluated is refused as written,
//   also where C never reads it as a number: an argument a macro pastes (CAT(0x, 1F) makes 0x1F).
//   Generated.
// - Not generated: a call whose name and opening parenthesis come from a macro and whose arguments
//   follow it (#define h f(~, then h 5)) is refused here, which the library reports as not
//   supported yet; C reads it. A defined that a macro makes on an #if line (undefined in C, which
//   gcc warns of) is read as the operator.

#include "platform/d3dcompiler/D3DCompilerPreprocessor.h"
#include "tests/platform/d3dcompiler/D3DCompileTestSupport.h"
#include "tests/support/TestTempDir.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace
{

// The flags the system's C preprocessor runs with (see the header).
const char* const C_FLAGS = "-P -undef -std=c99 -pedantic -funsigned-char -nostdinc";

struct SystemOutput
{
    std::string sText;
    std::map<std::size_t, bool> mapDiagnostics; // line: whether an error (else a warning)
};

std::string ReadFile(const std::string& sPath)
{
    std::ifstream file(sPath, std::ios::binary);
    std::stringstream stream;
    stream << file.rdbuf();
    return stream.str();
}

// The system preprocessor's output of the text and the lines it gave a diagnostic for.
SystemOutput RunSystem(const std::string& sCommand, const TestTempDir& dir, const std::string& sText)
{
    const std::string sInput = dir.Join("in.c");
    std::ofstream(sInput, std::ios::binary) << sText;
    const std::string sRun = sCommand + " -fno-diagnostics-show-caret " + sInput + " >" +
                             dir.Join("out.txt") + " 2>" + dir.Join("err.txt");
    static_cast<void>(std::system(sRun.c_str()));
    SystemOutput output;
    // What a #pragma line or a _Pragma operator produces is not compared: the system's
    // preprocessor passes it on as a line of its own, which preprocessing here drops.
    std::istringstream text(ReadFile(dir.Join("out.txt")));
    for (std::string sLine; std::getline(text, sLine);)
    {
        const std::size_t uiFirst = sLine.find_first_not_of(" \t");
        if (uiFirst == std::string::npos || sLine.compare(uiFirst, 7, "#pragma") != 0)
            output.sText += sLine + "\n";
    }
    std::istringstream errors(ReadFile(dir.Join("err.txt")));
    std::string sLine;
    while (std::getline(errors, sLine))
    {
        if (sLine.compare(0, sInput.size() + 1, sInput + ":") != 0)
            continue;
        const std::size_t uiLine = std::strtoul(sLine.c_str() + sInput.size() + 1, nullptr, 10);
        const bool bError = sLine.find(": error: ") != std::string::npos;
        if (sLine.find(": note: ") == std::string::npos)
            output.mapDiagnostics[uiLine] = output.mapDiagnostics[uiLine] || bError;
    }
    return output;
}

// C's tokens of a text, whitespace left out: identifiers and numbers as preprocessing numbers
// read them, literals, and punctuators longest first, digraphs as written (C's output keeps them;
// its trigraphs are replaced before any token is read).
std::vector<std::string> Tokenize(const std::string& sText)
{
    static const char* const PUNCTUATORS[] = {
        "%:%:", "...", "<<=", ">>=", "##", "<<", ">>", "<=", ">=", "==", "!=", "&&", "||", "++", "--",
        "->",   "+=",  "-=",  "*=",  "/=", "%=", "&=", "|=", "^=", "%:", "<:", ":>", "<%", "%>"};
    const auto isWord = [](char c)
    { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'; };
    std::vector<std::string> vTokens;
    std::size_t i = 0;
    while (i < sText.size())
    {
        const char c = sText[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f')
        {
            ++i;
            continue;
        }
        std::size_t uiEnd = i + 1;
        if (isWord(c) || (c == '.' && i + 1 < sText.size() && sText[i + 1] >= '0' && sText[i + 1] <= '9'))
        {
            const bool bNumber = !(isWord(c) && !(c >= '0' && c <= '9'));
            while (uiEnd < sText.size() && (isWord(sText[uiEnd]) || (bNumber && sText[uiEnd] == '.') ||
                                            (bNumber && (sText[uiEnd] == '+' || sText[uiEnd] == '-') &&
                                             (sText[uiEnd - 1] == 'e' || sText[uiEnd - 1] == 'E' ||
                                              sText[uiEnd - 1] == 'p' || sText[uiEnd - 1] == 'P'))))
                ++uiEnd;
        }
        else if (c == '"' || c == '\'')
        {
            while (uiEnd < sText.size() && sText[uiEnd] != c && sText[uiEnd] != '\n')
                uiEnd += sText[uiEnd] == '\\' ? 2 : 1;
            uiEnd = std::min(uiEnd + 1, sText.size());
        }
        else
        {
            for (const char* pPunctuator : PUNCTUATORS)
            {
                const std::size_t uiSize = std::char_traits<char>::length(pPunctuator);
                if (sText.compare(i, uiSize, pPunctuator) == 0)
                {
                    uiEnd = i + uiSize;
                    break;
                }
            }
        }
        vTokens.push_back(sText.substr(i, uiEnd - i));
        i = uiEnd;
    }
    return vTokens;
}

// Preprocessing here: false where it fails, else the tokens of the output.
bool RunOurs(const std::string& sText, std::vector<std::string>* pTokens, std::string* pErrors)
{
    d3dcompiler_internal::PreprocessedSource out;
    pErrors->clear();
    if (!d3dcompiler_internal::Preprocess(sText.data(), sText.size(), "case.c", nullptr, nullptr, &out,
                                          pErrors))
        return false;
    pTokens->clear();
    for (const auto& token : out.Tokens)
        pTokens->push_back(token.Text);
    return true;
}

std::string Join(const std::vector<std::string>& vTokens)
{
    std::string s;
    for (const std::string& sToken : vTokens)
        s += (s.empty() ? "" : " ") + sToken;
    return s;
}

// Counts of one comparison, and the first differences for the message.
struct Tally
{
    std::size_t uiAgreements = 0; // C reads it without a word, and the result here is the same
    std::size_t uiRefusals = 0;   // C gives an error, and preprocessing here fails
    std::size_t uiWarned = 0;     // C warns: not compared
    std::size_t uiKept = 0;       // C reads it, refused here for a reason the header lists
    std::size_t uiDifferences = 0;
    std::vector<std::string> vDifferences; // the first of them

    void Differ(const std::string& sWhat)
    {
        ++uiDifferences;
        if (vDifferences.size() < 12)
            vDifferences.push_back(sWhat);
        else if (vDifferences.size() == 12)
            vDifferences.push_back("...");
    }
};

// The refusal of a difference the header lists as kept: a malformed number written on an #if line,
// which C does not read as a number where a macro pastes or stringizes it.
const char* const KEPT_REFUSAL = "error X1000: #if expression holds a malformed number: ";

// Compares each case, given as the system's diagnostics over its lines and its part of the system's
// output, with preprocessing here.
void Compare(const std::string& sCase, bool bError, bool bWarning, const std::vector<std::string>& vSystem,
             Tally* pTally)
{
    std::vector<std::string> vOurs;
    std::string sErrors;
    const bool bOk = RunOurs(sCase, &vOurs, &sErrors);
    if (bError)
    {
        if (bOk)
            pTally->Differ("C refuses, accepted here:\n" + sCase);
        else
            ++pTally->uiRefusals;
        return;
    }
    if (bWarning)
    {
        ++pTally->uiWarned;
        return;
    }
    if (!bOk && sErrors.find(KEPT_REFUSAL) != std::string::npos)
        ++pTally->uiKept;
    else if (!bOk)
        pTally->Differ("C reads it, refused here: " + sErrors + sCase);
    else if (vOurs != vSystem)
        pTally->Differ("C gives [" + Join(vSystem) + "], here [" + Join(vOurs) + "]:\n" + sCase);
    else
        ++pTally->uiAgreements;
}

// Cases in one file for the system's preprocessor, each after a marker line of its own and
// followed by lines that leave no macro of it defined; each case alone for preprocessing here.
void CompareAll(const std::string& sCommand, const std::vector<std::string>& vCases,
                const std::string& sCleanup, Tally* pTally)
{
    TestTempDir dir;
    ASSERT_TRUE(dir.IsValid());
    std::string sBatch;
    std::vector<std::pair<std::size_t, std::size_t>> vLines; // first and last line of each case
    std::size_t uiLine = 1;
    const auto lines = [](const std::string& s)
    { return static_cast<std::size_t>(std::count(s.begin(), s.end(), '\n')); };
    for (std::size_t i = 0; i < vCases.size(); ++i)
    {
        const std::string sMarker = "case_marker_" + std::to_string(i) + "\n";
        sBatch += sMarker;
        uiLine += 1;
        vLines.emplace_back(uiLine, uiLine + lines(vCases[i]) - 1);
        sBatch += vCases[i] + sCleanup;
        uiLine += lines(vCases[i]) + lines(sCleanup);
    }
    const SystemOutput system = RunSystem(sCommand, dir, sBatch);
    ASSERT_FALSE(system.sText.empty()) << "the system's preprocessor gave no output";
    const std::vector<std::string> vAll = Tokenize(system.sText);
    std::size_t uiToken = 0;
    for (std::size_t i = 0; i < vCases.size(); ++i)
    {
        const std::string sMarker = "case_marker_" + std::to_string(i);
        const std::string sNext = "case_marker_" + std::to_string(i + 1);
        while (uiToken < vAll.size() && vAll[uiToken] != sMarker)
            ++uiToken;
        ASSERT_LT(uiToken, vAll.size()) << "no marker of case " << i;
        std::vector<std::string> vTokens;
        for (++uiToken; uiToken < vAll.size() && vAll[uiToken] != sNext; ++uiToken)
            vTokens.push_back(vAll[uiToken]);
        bool bError = false;
        bool bWarning = false;
        for (auto it = system.mapDiagnostics.lower_bound(vLines[i].first);
             it != system.mapDiagnostics.end() && it->first <= vLines[i].second; ++it)
        {
            bError = bError || it->second;
            bWarning = bWarning || !it->second;
        }
        Compare(vCases[i], bError, bWarning, vTokens, pTally);
    }
}

std::string Differences(const Tally& tally)
{
    std::string s;
    for (const std::string& sDifference : tally.vDifferences)
        s += "\n---\n" + sDifference;
    return s;
}

// The least agreements and refusals a comparison must count, and the most kept differences.
struct Floors
{
    std::size_t uiAgreements;
    std::size_t uiRefusals;
    std::size_t uiMostKept;
};

// Compares the cases with the system's preprocessor (see CompareAll): nothing may differ, and the
// counts keep to their floors. Prints the counts under the name given.
void ExpectAsInC(const char* pName, const std::vector<std::string>& vCases, const std::string& sCleanup,
                 const Floors& floors)
{
    const std::string sCommand = d3dcompile_test::SystemPreprocessor(C_FLAGS);
    ASSERT_FALSE(sCommand.empty()) << "neither cpp nor g++ -E runs";
    Tally tally;
    CompareAll(sCommand, vCases, sCleanup, &tally);
    EXPECT_TRUE(tally.vDifferences.empty()) << Differences(tally);
    EXPECT_GE(tally.uiAgreements, floors.uiAgreements) << tally.uiWarned << " warned";
    EXPECT_GE(tally.uiRefusals, floors.uiRefusals) << tally.uiWarned << " warned";
    EXPECT_LE(tally.uiKept, floors.uiMostKept);
    std::printf("%s: %zu agree, %zu refused by both, %zu warned by C, %zu kept differences, %zu differ\n",
                pName, tally.uiAgreements, tally.uiRefusals, tally.uiWarned, tally.uiKept,
                tally.uiDifferences);
}

// #if expressions from a fixed seed.
class ExpressionGenerator
{
public:
    explicit ExpressionGenerator(unsigned uiSeed) : m_random(uiSeed) {}

    std::string Expression(int iDepth)
    {
        const int iKind = iDepth <= 0 ? 0 : Pick(10);
        switch (iKind)
        {
        case 0:
        case 1:
        case 2:
            return Operand();
        case 3:
            return Choose({"-", "+", "!", "~"}) + Expression(iDepth - 1);
        case 4:
            return "(" + Expression(iDepth - 1) + ")";
        case 5:
            return Expression(iDepth - 1) + " ? " + Expression(iDepth - 1) + " : " + Expression(iDepth - 1);
        default:
            return Expression(iDepth - 1) + " " + Operator() + " " + Expression(iDepth - 1);
        }
    }

private:
    int Pick(int iCount) { return static_cast<int>(m_random() % static_cast<unsigned>(iCount)); }

    std::string Choose(std::initializer_list<const char*> choices)
    {
        return *(choices.begin() + Pick(static_cast<int>(choices.size())));
    }

    std::string Operator()
    {
        return Choose({"+", "-", "*", "/",  "%",  "<<", ">>", "<",  ">", "<=", ">=", "==", "!=",
                       "&", "^", "|", "&&", "||", "+",  "-",  "==", "<", "&&", "||", ","});
    }

    std::string Operand()
    {
        switch (Pick(8))
        {
        case 0:
        case 1:
        case 2:
            return std::to_string(Pick(12)) + Choose({"", "", "", "u", "U", "l", "LL", "ull", "lu", "LLU"});
        case 3:
            return Choose({"9223372036854775807",
                           "9223372036854775808",
                           "18446744073709551615",
                           "18446744073709551616",
                           "4294967296",
                           "4294967295u",
                           "0x7fffffffffffffff",
                           "0x8000000000000000",
                           "0xffffffffffffffff",
                           "0XFFu",
                           "017",
                           "0777",
                           "08",
                           "0x10000000000000000",
                           "1e3",
                           "0x",
                           "1lul",
                           "0x7FFFFFFFFFFFFFFFLL",
                           "0100000000000000000000",
                           "02000000000000000000000"});
        case 4:
            return Choose({"'a'", "'\\n'", "'\\x41'", "'\\377'", "'\\0'", "'ab'", "'\\''", "'\\\\'",
                           "'\\xff'", "'\\177'", "'\\400'", "''", "L'a'", "'z'"});
        case 5:
            return Choose(
                {"defined(D1)", "defined D0", "defined NOPE", "!defined(DE)", "zz", "true", "false"});
        case 6:
            return Choose({"D1", "D0", "DNEG", "DU", "FN(3)", "FN(DNEG)", "DBIG", "(D1 + DU)", "CAT(1, 0)",
                           "CAT(0x, 1F)", "CAT(1, u)", "CAT(0xe, +1)", "CAT(1, e)", "CAT(D, 1)", "0xe+1",
                           "1_000", "0x1p-3", "2.0h"});
        default:
            return Choose({"1", "2", "3", "0", "-1", "63", "64", "62", "1u", "0u"});
        }
    }

    std::mt19937 m_random;
};

const char* const CONDITION_MACROS =
    "#define D1 1\n#define D0 0\n#define DE\n#define DNEG -1\n#define DU 5u\n"
    "#define DBIG 9223372036854775807\n#define FN(x) ((x) + 1)\n#define CAT(a, b) a##b\n";
const char* const CONDITION_CLEANUP =
    "#undef D1\n#undef D0\n#undef DE\n#undef DNEG\n#undef DU\n#undef DBIG\n#undef FN\n#undef CAT\n";

// Texts of macros from a fixed seed: definitions, #undef lines and lines that use them.
// A remark raised inside an expansion or an argument: the expansion goes on around it.
const char* const PRAGMA = "_Pragma(\"message(\\\"m\\\")\")";

class MacroGenerator
{
public:
    explicit MacroGenerator(unsigned uiSeed) : m_random(uiSeed) {}

    std::string Text()
    {
        m_mapDefined.clear();
        std::string s;
        const int iLines = 4 + Pick(8);
        for (int i = 0; i < iLines; ++i)
        {
            const int iKind = Pick(10);
            if (iKind < 5)
                s += Definition();
            else if (iKind < 6 && !m_mapDefined.empty())
            {
                auto it = std::next(m_mapDefined.begin(), Pick(static_cast<int>(m_mapDefined.size())));
                s += "#undef " + it->first + "\n";
                m_mapDefined.erase(it);
            }
            else
                s += Line(3) + "\n";
        }
        return s + Line(3) + "\n";
    }

private:
    struct Macro
    {
        const char* pName;
        std::vector<std::string> vParameters; // "..." for the variadic part
        bool bFunction;
    };

    int Pick(int iCount) { return static_cast<int>(m_random() % static_cast<unsigned>(iCount)); }

    // What comes between two tokens: mostly a space, now and then nothing, so that the tokens meet
    // (a number and the word after it make one number, two punctuators may make one).
    std::string Space() { return Pick(4) == 0 ? "" : " "; }

    template <typename T>
    const T& Choose(const std::vector<T>& v)
    {
        return v[static_cast<std::size_t>(Pick(static_cast<int>(v.size())))];
    }

    static const std::vector<Macro>& Macros()
    {
        static const std::vector<Macro> MACROS = {
            {"A", {}, false},   {"B", {}, false}, {"C", {}, false},          {"F", {"p", "q"}, true},
            {"G", {"p"}, true}, {"H", {}, true},  {"V", {"p", "..."}, true}, {"W", {"..."}, true}};
        return MACROS;
    }

    // A definition of a macro of the pool: a macro defined already is defined again with the same
    // body, or undefined first.
    std::string Definition()
    {
        const Macro& macro = Choose(Macros());
        auto it = m_mapDefined.find(macro.pName);
        if (it != m_mapDefined.end())
        {
            if (Pick(3) == 0)
                return it->second;
            m_mapDefined.erase(it);
            return "#undef " + std::string(macro.pName) + "\n" + Definition();
        }
        std::string s = "#define " + std::string(macro.pName);
        if (macro.bFunction)
        {
            s += "(";
            for (std::size_t i = 0; i < macro.vParameters.size(); ++i)
                s += (i > 0 ? ", " : "") + macro.vParameters[i];
            s += ")";
        }
        std::string sBody;
        const int iTokens = Pick(7);
        m_bInDefinition = true;
        // The first token of an object-like macro's body is apart from its name.
        for (int i = 0; i < iTokens; ++i)
            sBody += (i == 0 && !macro.bFunction ? " " : Space()) + BodyToken(macro);
        m_bInDefinition = false;
        s += sBody + "\n";
        m_mapDefined[macro.pName] = s;
        return s;
    }

    std::string Parameter(const Macro& macro)
    {
        const std::string& s = Choose(macro.vParameters);
        return s == "..." ? "__VA_ARGS__" : s;
    }

    std::string BodyToken(const Macro& macro)
    {
        const bool bParameters = macro.bFunction && !macro.vParameters.empty();
        switch (Pick(bParameters ? 15 : 9))
        {
        case 0:
            return Choose(std::vector<std::string>{"x", "y", "z1", "1", "2", "10", "\"s\"", PRAGMA, "..."});
        case 1:
            return Choose(std::vector<std::string>{"+", "-", "*", ",", ";", "( x )", "[", "]", "<<", "="});
        case 2:
        case 3:
            return Choose(std::vector<std::string>{"A", "B", "C", "F", "G", "H", "V", "W"});
        case 4:
            return Call(1) + " ";
        case 5:
            return Choose(std::vector<std::string>{"x ## y", "x ## 1", "1 ## 2", "A ## B", "+ ## +", "< ## <",
                                                   "- ## >", "x ## ## y", "##", "# x"});
        case 6:
            return "( " + BodyToken(macro) + " )";
        case 7:
            // Numbers C reads whole, some of them no constant, some spelling a macro's name after
            // their digits.
            return Choose(std::vector<std::string>{"2.0h", "1_000", "0x1p-3", "1e+5f", "1H", "2.0A", "0x1pB",
                                                   "3e+C", ".5f", "1u", "0xe+1", "1..2", "08", "1.e"});
        case 8:
            // Pastes that make one number, or no one token.
            return Choose(std::vector<std::string>{"1 ## H", ". ## 5f", "0xe ## +", "1 ## e", "1e ## +",
                                                   "0x1p ## -", "x ## 0xe+1", "1 ## .5", ". ## x",
                                                   "1 ## _0"});
        case 9:
        case 10:
            return Parameter(macro);
        case 11:
            return "#" + Parameter(macro);
        case 12:
            // # before what is no parameter, which C refuses in a function-like macro.
            if (Pick(3) == 0)
                return Choose(std::vector<std::string>{"# y", "# 1", "#", "# ..."});
            return Parameter(macro);
        case 13:
            return Parameter(macro) + " ## " +
                   Choose(std::vector<std::string>{"x", "1", "_s", Parameter(macro), Parameter(macro), "5f",
                                                   "+"});
        default:
            return Choose(std::vector<std::string>{"x", "1", "_s", ".", "0xe", "1e"}) + " ## " +
                   Parameter(macro);
        }
    }

    // A use of a function-like macro of the pool, with arguments of random tokens; now and then
    // with one argument too many or too few.
    std::string Call(int iDepth)
    {
        const Macro macro = Choose(std::vector<Macro>(Macros().begin() + 3, Macros().end()));
        std::size_t uiArguments = macro.vParameters.size();
        const bool bVariadic = !macro.vParameters.empty() && macro.vParameters.back() == "...";
        if (bVariadic)
            uiArguments += static_cast<std::size_t>(Pick(3));
        if (Pick(12) == 0)
            uiArguments += 1;
        else if (Pick(12) == 0 && uiArguments > 0)
            uiArguments -= 1;
        std::string s = macro.pName;
        s += '(';
        for (std::size_t i = 0; i < uiArguments; ++i)
        {
            s += i > 0 ? "," : "";
            const int iTokens = Pick(4);
            for (int j = 0; j < iTokens; ++j)
            {
                s += ' ';
                s += ArgumentToken(iDepth);
            }
        }
        s += ')';
        return s;
    }

    std::string ArgumentToken(int iDepth)
    {
        const int iKind = Pick(iDepth > 0 ? 8 : 6);
        if (iKind == 0)
            return Choose(
                std::vector<std::string>{"a", "b", "1", "0x1F", "\"q\\\"t\"", "'c'", "+", "-", "*"});
        if (iKind == 1)
            return Choose(std::vector<std::string>{"A", "B", "C", "G", "F"});
        if (iKind == 2)
            return "( a , b )";
        if (iKind == 3)
            return Choose(std::vector<std::string>{"x", "y", "  spaced   out  ", "\"a  b\"", PRAGMA});
        if (iKind == 4 && (m_bInDefinition || Pick(3) != 0))
            return Choose(std::vector<std::string>{"H", ".", "5f", "0xe", "+1", "e", "0x1p", "2.0h", "1_000",
                                                   "0xe+1", "..."});
        if (iKind == 4)
            return Choose(std::vector<std::string>{"#", "# b", "a#b"});
        if (iKind == 5)
        {
            // A line splice, or a comment that spans lines, and a word after it: C reads the
            // argument on as one line (a // comment ends the definition a call stands in).
            if (!m_bInDefinition && Pick(4) == 0)
                return "a // note\n b";
            // A # after them is no directive: it begins no line.
            if (!m_bInDefinition && Pick(3) == 0)
                return Choose(std::vector<std::string>{"a /* note\n */ # b", "a \\\n# b", "a/*\n*/#b"});
            return Choose(std::vector<std::string>{"a \\\n b", "a\\\nb", "a /* note\n */ b", "a/*\n*/b",
                                                   "/* a\n\n */ b", "1\\\n.5"});
        }
        if (iKind == 6 && !m_bInDefinition && Pick(8) == 0)
            return "\n#error in arguments\n b";
        return Call(iDepth - 1);
    }

    std::string Line(int iDepth)
    {
        std::string s;
        const int iTokens = 1 + Pick(6);
        for (int i = 0; i < iTokens; ++i)
        {
            const int iKind = Pick(5);
            if (iKind == 0)
                s += Space() + Call(iDepth) + " ";
            else if (iKind == 1)
                s += Space() +
                     Choose(std::vector<std::string>{"A", "B", "C", "F", "G ( 1 ) ", "H ( ) ", "W ( ) "});
            else if (iKind == 2)
                s += Space() +
                     Choose(std::vector<std::string>{"x", "1", "+", ";", "( x )", "\"t\"", "y", "2.5", "2.0h",
                                                     "1_000", "0x1p-3", "1A", ".5e+B"});
            else
                s += Space() +
                     Choose(std::vector<std::string>{"A", "B", "C", "x", "F ( A , B ) ", "V ( 1 , 2 , 3 ) "});
        }
        return s;
    }

    std::mt19937 m_random;
    std::map<std::string, std::string> m_mapDefined; // name, definition line
    bool m_bInDefinition = false;                    // a directive line cannot hold another
};

// Macros that expand to nothing, and Y, whose value shows whether an #undef Y was acted on.
const char* const EMPTY_MACROS = "#define E\n#define F()\n#define Y 2\n";
// Macros that paste and stringize their arguments.
const char* const PASTE_MACROS = "#define CAT(a, b) a ## b\n#define S(x) #x\n#define XS(x) S(x)\n";
const char* const DIRECTIVE_CLEANUP =
    "#undef E\n#undef F\n#undef X\n#undef Y\n#undef Z\n#undef CAT\n#undef S\n#undef XS\n";

// Texts of directive lines from a fixed seed: directives spelled with digraphs and trigraphs, with
// splices, comments and comments that span lines before and inside them, in groups taken and
// skipped and nested; lines C reads as text although they hold a directive (after a macro that
// expands to nothing or another token, or begun by ## or %:%:); lines that use the macros the
// directives define; and pastes and stringizings of arguments holding ##, # and directive names.
// Each case is built as C reads it, its groups closed where C closes them.
class DirectiveGenerator
{
public:
    explicit DirectiveGenerator(unsigned uiSeed) : m_random(uiSeed) {}

    // Definitions, groups of lines, and a line that shows what the directives defined.
    std::string Text() { return std::string(EMPTY_MACROS) + PASTE_MACROS + Block(2, true) + "X Y Z(3)\n"; }

    // A use of CAT, S or XS, its arguments made of the pieces below.
    std::string Paste()
    {
        switch (Pick(5))
        {
        case 0:
        case 1:
            return "CAT(" + Argument() + "," + Argument() + ")";
        case 2:
            return "S(" + Argument() + ")";
        case 3:
            return "XS(" + Argument() + ")";
        default:
            return "XS(CAT(" + Argument() + "," + Argument() + "))";
        }
    }

private:
    int Pick(int iCount) { return static_cast<int>(m_random() % static_cast<unsigned>(iCount)); }

    template <typename T>
    const T& Choose(const std::vector<T>& v)
    {
        return v[static_cast<std::size_t>(Pick(static_cast<int>(v.size())))];
    }

    // Lines of a group that C takes or skips, with groups inside them down to iDepth.
    std::string Block(int iDepth, bool bTaken)
    {
        std::string s;
        for (int i = 1 + Pick(3); i > 0; --i)
        {
            const int iKind = Pick(iDepth > 0 ? 9 : 6);
            if (iKind == 0 || iKind == 1)
                s += Hidden() + "\n";
            else if (iKind == 2 || iKind == 3)
                s += Directive(bTaken) + "\n";
            else if (iKind == 4)
                s += Choose(std::vector<std::string>{"X Y Z(3)", "a", "b E F()"}) + "\n";
            else if (iKind == 5)
                s += Paste() + "\n";
            else
                s += Group(iDepth - 1, bTaken);
        }
        return s;
    }

    // What begins a directive in C: # as the first token of its line, written as a digraph or a
    // trigraph, after a splice or a comment (one that spans lines too), or with either between it
    // and the directive's name.
    std::string Start()
    {
        return Choose(std::vector<std::string>{"#", "#", "#", "# ", "  # ", "%:", "%: ", "?\?=", "#\\\n",
                                               "\\\n#", "%\\\n:", "?\?/\n#", "/* c */ #", "/* ----\n */ #",
                                               "/* a\n\n b */#", "#/* a\n b */", "# /**/ ", "%:/* c\n*/"});
    }

    // What may follow a directive: nothing, or a comment (one that spans lines too).
    std::string End()
    {
        return Choose(std::vector<std::string>{"", "", "", " /* c */", " /* c\n */", " // c"});
    }

    // A directive other than a conditional one, now and then one C refuses (an #error, one that is
    // no directive); in a group C skips, also an #include of a file that is not there.
    std::string Directive(bool bTaken)
    {
        if (Pick(12) == 0)
            return Choose(std::vector<std::string>{"#error NOPE", "#/* a\n b */H )", "%:H", "#\\\nerror X"});
        if (!bTaken && Pick(3) == 0)
            return Start() + "include \"nofile.h\"" + End();
        return Start() +
               Choose(std::vector<std::string>{"define X 1", "undef Y", "define Y 2", "define Z(a) a",
                                               "undef X", "undef Z"}) +
               End();
    }

    // A line that holds a directive C reads as text: its # comes after a macro that expands to
    // nothing or after another token (also over a splice or a comment that spans lines), or the
    // line begins with ## in one of its spellings.
    std::string Hidden()
    {
        std::string s;
        if (Pick(6) == 0)
            s = Choose(std::vector<std::string>{"## ", "%:%: ", "?\?=?\?= ", "##", "%:%:"});
        else
            s = Choose(std::vector<std::string>{"E ", "F() ", "E E ", "F ( ) ", "E/**/", "E", "F()", "E \\\n",
                                                "E /* c\n */ ", "a /* c\n */ ", "a \\\n", "E\t"}) +
                Choose(std::vector<std::string>{"#", "# ", "%:", "%: ", "?\?=", "#/**/", "#\\\n"});
        return s + Choose(std::vector<std::string>{"define X 1", "undef Y", "error NOPE",
                                                   "include \"nofile.h\"", "if 0", "ifdef NOPE", "else",
                                                   "elif 0", "endif", "define Z(a) a", ""});
    }

    // A conditional group in a group C takes or skips, with an #elif and an #else at times.
    std::string Group(int iDepth, bool bTaken)
    {
        static const std::vector<std::pair<std::string, bool>> CONDITIONS = {
            {"if 0", false},   {"if 1", true},      {"ifdef NOPE", false},
            {"ifdef E", true}, {"ifndef E", false}, {"if E 1", true}};
        const auto& condition = Choose(CONDITIONS);
        bool bDone = condition.second;
        std::string s = Start() + condition.first + End() + "\n" + Block(iDepth, bTaken && bDone);
        if (Pick(3) == 0)
        {
            const bool bElif = Pick(2) == 0;
            s += Start() + (bElif ? "elif 1" : "elif 0") + End() + "\n" +
                 Block(iDepth, bTaken && !bDone && bElif);
            bDone = bDone || bElif;
        }
        if (Pick(2) == 0)
            s += Start() + "else" + End() + "\n" + Block(iDepth, bTaken && !bDone);
        return s + Start() + "endif" + End() + "\n";
    }

    // An argument of CAT, S or XS: up to three pieces, with or without space between them (two #
    // make ##, %: and # no one token).
    std::string Argument()
    {
        std::string s;
        for (int i = Pick(4); i > 0; --i)
        {
            s += Pick(3) == 0 ? "" : " ";
            s += Piece();
        }
        return s;
    }

    // A token or a few, with ## and # and the names of directives, or a comment that spans lines.
    std::string Piece()
    {
        if (Pick(24) == 0)
            return "/* c\n */";
        return Choose(
            std::vector<std::string>{"x",        "y",          "1",           "##",      "#",
                                     "%:",       "%:%:",       "?\?=",        "define",  "else",
                                     "if",       "/**/",       "\"s\"",       "*",       "E",
                                     "# define", "%: define",  "?\?= if",     "#  else", "# /**/ else",
                                     "x ## y",   "\"s\" ## *", "a # define b"});
    }

    std::mt19937 m_random;
};

} // namespace

// #if expressions take C's branch, and fail where C fails.
TEST(D3DCompileAgainstC, ConditionsTakeCsBranch)
{
    ExpressionGenerator generator(70);
    std::vector<std::string> vCases;
    for (int i = 0; i < 4000; ++i)
        vCases.push_back(std::string(CONDITION_MACROS) + "#if " + generator.Expression(1 + i % 5) +
                         "\nbranch_taken\n#else\nbranch_not_taken\n#endif\n");
    ExpectAsInC("#if", vCases, CONDITION_CLEANUP, {1500, 600, 80});
}

// Macro expansion gives C's tokens, and fails where C fails.
TEST(D3DCompileAgainstC, MacrosExpandAsInC)
{
    MacroGenerator generator(70);
    std::vector<std::string> vCases;
    for (int i = 0; i < 2000; ++i)
        vCases.push_back(generator.Text());
    ExpectAsInC("macros", vCases,
                "#undef A\n#undef B\n#undef C\n#undef F\n#undef G\n#undef H\n#undef V\n#undef W\n",
                {800, 800, 20});
}

// A # begins a directive only as the first token of its line, however it is spelled and whatever
// comments and splices come before it, in groups taken and skipped; a # after a macro that expands
// to nothing is text, and it and the directive's name after it are two tokens. Gives C's tokens,
// and fails where C fails.
TEST(D3DCompileAgainstC, DirectivesBeginLinesAsInC)
{
    std::vector<std::string> vCases;
    for (const char* pText : {"E #define X 1\nX\n",
                              "E #undef Y\nY\n",
                              "E #error NOPE\n",
                              "E #include \"nofile.h\"\n",
                              "F() #define X 1\nX\n",
                              "E # define X 1\nX\n",
                              "E %:define X 1\nX\n",
                              "E ?\?=define X 1\nX\n",
                              "E #if 0\na\n",
                              "E #endif\na\n",
                              "%:%: define X 1\nX\n",
                              "#ifdef NOPE\na\n/* ----\n */ #else\nb\n#endif\n",
                              "#ifdef NOPE\na\n/* ----\n */ #elif 1\nb\n#endif\n",
                              "#ifdef NOPE\na\n/* ----\n */ #endif\nb\n",
                              "#if 1\n#if 0\n/* ----\n */ #endif\na\n#endif\n",
                              "#/* a\n b */H )\n",
                              "#\\\ndefine X 1\nX\n",
                              "\\\n#define X 1\nX\n",
                              "#if 0\n#\\\nelse\nb\n#endif\n",
                              "#if 0\n%:else\nb\n%:endif\n",
                              "#if 0\nE #else\nb\n#endif\n",
                              "#if 0\na /* c\n */ #else\nb\n#endif\n"})
        vCases.push_back(std::string(EMPTY_MACROS) + pText);
    DirectiveGenerator generator(70);
    for (int i = 0; i < 1500; ++i)
        vCases.push_back(generator.Text());
    ExpectAsInC("directives", vCases, DIRECTIVE_CLEANUP, {1150, 200, 0});
}

// A ## or a # that comes in an argument is a token of the text, and a directive's name after the #
// another: pasted onto as spelled, stringized, and passed on, never acting as an operator.
// Stringizing spells what it gets as C does: a digraph as written, a trigraph as what it stands for,
// a comment and each run of whitespace as one space. Gives C's tokens, and fails where C fails.
TEST(D3DCompileAgainstC, HashesInArgumentsAreText)
{
    std::vector<std::string> vCases;
    for (const char* pText :
         {"CAT(, x ## y)\n", "CAT(w, x ## y)\n", "CAT(, \"s\" ## *)\n", "XS(CAT(, x ## y))\n",
          "CAT(1, x ##)\n", "S(a # define b)\n", "S(# /**/ else)\n", "S(%:define)\n", "S(?\?=if)\n",
          "S(#  else)\n", "S(# define)\n", "CAT(x, y ## z)\n", "CAT(## x, y)\n", "CAT(x ##, y)\n",
          "CAT(%:, #)\n", "XS(CAT(?\?=, ?\?=))\n", "XS(S(?\?=))\n"})
        vCases.push_back(std::string(PASTE_MACROS) + pText);
    DirectiveGenerator generator(71);
    for (int i = 0; i < 2000; ++i)
    {
        std::string sText = PASTE_MACROS;
        for (int j = i % 3; j >= 0; --j)
            sText += generator.Paste() + "\n";
        vCases.push_back(sText);
    }
    ExpectAsInC("arguments", vCases, DIRECTIVE_CLEANUP, {1100, 650, 0});
}

// A ## that pastes two tokens into text that is no one token is an error, as in C; the library
// kept the tokens the text lexes to. A comma before ## __VA_ARGS__ is not pasted, as gcc reads it.
TEST(D3DCompileAgainstC, PastesThatMakeNoTokenAreRefused)
{
    const auto errors = [](const std::string& sText)
    {
        std::vector<std::string> vTokens;
        std::string sErrors;
        RunOurs(sText, &vTokens, &sErrors);
        return sErrors + Join(vTokens);
    };
    const std::string sInvalid = "does not give a valid preprocessing token";
    EXPECT_NE(std::string::npos, errors("#define B x ## +\nB\n").find("pasting \"x\" and \"+\" " + sInvalid));
    EXPECT_NE(std::string::npos, errors("#define F(p) p ## 1\nF(a b)\nF(( x ))\n").find("\")\" and \"1\""));
    EXPECT_NE(std::string::npos, errors("#define W(...) __VA_ARGS__ ## 1\nW(a,)\n").find("\",\" and \"1\""));
    EXPECT_NE(std::string::npos, errors("#define W(...) x ## __VA_ARGS__\nW(,b)\n").find("\"x\" and \",\""));
    EXPECT_NE(std::string::npos, errors("#define S(p) #p ## x\nS(a)\n").find(sInvalid));
    EXPECT_EQ("x1 ab <<= -> 12 a x y xy",
              errors("#define F(a, b) a ## b\n#define E(p) p ## 1\n"
                     "E(x) F(a, b) F(<<, =) F(-, >) F(1, 2) F(a,) F(x,) F(, y) F(x, y)\n"));
    EXPECT_EQ("x , z a , b",
              errors("#define W(...) x , ## __VA_ARGS__\n#define V(p, ...) p , ## __VA_ARGS__\n"
                     "W(z) V(a, b)\n"));
}
