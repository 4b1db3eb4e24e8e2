// Preprocessing compared with the system's C preprocessor on generated texts: #if expressions
// (signed, unsigned, hexadecimal, octal and character constants, values near and past the 64-bit
// limits, every operator, parentheses, ?: and defined, numbers that are no constant, pastes that
// make numbers) and texts of macros (object-like and function-like, #, ##, __VA_ARGS__, ... in
// bodies, # before what is no parameter, repeated and misplaced ##, macros in macros and in
// arguments, preprocessing numbers with suffixes and letters after their digits and pastes that
// make them, tokens written with and without space between them, line splices and comments that
// span lines inside arguments, identical redefinitions, #undef). The system's preprocessor runs as
//   cpp -P -undef -std=c99 -pedantic -funsigned-char -nostdinc
// (or g++ -E -x c with the same flags); the test fails when neither runs. Where it reads a text
// without a diagnostic, preprocessing here gives the same tokens in the same order (whitespace
// aside) and every #if takes the same branch; where it gives an error, preprocessing here fails
// too; where it only warns, the text is not compared. Agreements and refusals are counted, and
// each count has a floor, so the test cannot pass by comparing nothing.
//
// What C cannot know, and is never generated here: the predefined macros (__STDC__,
// __STDC_VERSION__ and the library's own), __FILE__, __LINE__, __DATE__ and __TIME__, and what
// #pragma lines (and _Pragma) produce. A macro is never defined again with another body (C warns,
// so it would not be compared). An #error line inside a macro call's arguments is refused by both;
// a _Pragma remark in a body or an argument leaves the rest of its expansion as C leaves it. A
// macro call is never directly followed by a number: C's output text runs a name the expansion
// ends with into the number (B0x1p-3 for B and 0x1p-3), which reads back as other tokens.
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

// The token with each trigraph replaced by the character it stands for. The output here keeps the
// spelling of a punctuator written as a trigraph (??= for #), as it keeps a digraph's, where C's
// output has the character. A literal is left as it is: a trigraph inside one changes its text.
std::string Untrigraphed(const std::string& sToken)
{
    const std::size_t uiQuote = sToken.find_first_of("\"'");
    if (uiQuote != std::string::npos && sToken.compare(uiQuote < 2 ? 0 : uiQuote - 2, 2, "??") != 0)
        return sToken;
    static const char* const TRIGRAPHS = "=#(['^)]!|<{>}-~/\\";
    std::string s;
    for (std::size_t i = 0; i < sToken.size(); ++i)
    {
        const char* pPair = nullptr;
        if (sToken.compare(i, 2, "??") == 0 && i + 2 < sToken.size())
            for (const char* p = TRIGRAPHS; *p != '\0' && pPair == nullptr; p += 2)
                pPair = *p == sToken[i + 2] ? p : nullptr;
        s += pPair != nullptr ? pPair[1] : sToken[i];
        i += pPair != nullptr ? 2 : 0;
    }
    return s;
}

// Preprocessing here: false where it fails, else the tokens of the output, trigraphs of
// punctuators as C's output spells them.
bool RunOurs(const std::string& sText, std::vector<std::string>* pTokens, std::string* pErrors)
{
    d3dcompiler_internal::PreprocessedSource out;
    pErrors->clear();
    if (!d3dcompiler_internal::Preprocess(sText.data(), sText.size(), "case.c", nullptr, nullptr, &out,
                                          pErrors))
        return false;
    pTokens->clear();
    for (const auto& token : out.Tokens)
        pTokens->push_back(Untrigraphed(token.Text));
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
