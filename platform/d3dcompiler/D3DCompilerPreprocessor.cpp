#include "platform/d3dcompiler/D3DCompilerPreprocessor.h"

#include "platform/d3dcompiler/D3DCompilerArgumentCopies.h"
#include "platform/d3dcompiler/D3DCompilerDiagnostics.h"
#include "platform/d3dcompiler/D3DCompilerExpression.h"
#include "platform/d3dcompiler/D3DCompilerIncludeGuards.h"
#include "platform/d3dcompiler/D3DCompilerLineSplices.h"
#include "platform/d3dcompiler/D3DCompilerLineStarts.h"
#include "platform/d3dcompiler/D3DCompilerNumbers.h"

// The lexer and the grammars that make and release tokens are compiled here rather than taken from
// the library. Tokens come from a memory pool, and the library's copy of that pool is its own: a
// token made on one side and released on the other went back to the other pool, so the pool of
// the side that makes them grew with each preprocessing, for good (about 400 KB for a 12 KB
// shader). The library's #if expression evaluator is compiled here too, so that the evaluator
// below takes its place.
#define BOOST_WAVE_SEPARATE_LEXER_INSTANTIATION 0
#define BOOST_WAVE_SEPARATE_GRAMMAR_INSTANTIATION 0
// With assertions on, the library asks the file system whether each include name is a folder
// there, and aborts when it is ("#include \".\"") or fails when the name is longer than a path may
// be. Includes are never looked up on the file system here (the caller's ID3DInclude reads them),
// so every build reads them as a build without assertions does.
#define BOOST_DISABLE_ASSERTS
// The library raises most of its errors, remarks and warnings through the hooks' throw_exception,
// which decides what is thrown (see PreprocessHooks); those about macro names it threw past the
// hooks. They go through the hooks too.
#define BOOST_WAVE_THROW_NAME_CTX(ctx, cls, code, msg, act_pos, name)                                        \
    boost::wave::util::throw_<cls>(ctx, cls::code, msg, act_pos, name)

// GCC 12 takes the cleanup of a grammar's shared helper, made when the library's grammars are
// built for the lexer below, for a use after free; the warning is silenced for the library's
// headers alone.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuse-after-free"
#endif

#include <boost/wave.hpp>
#include <boost/wave/cpplexer/cpp_lex_iterator.hpp>
#include <boost/wave/cpplexer/cpp_lex_token.hpp>
#include <boost/wave/cpplexer/re2clex/cpp_re2c_lexer.hpp>
#include <boost/wave/grammars/cpp_chlit_grammar.hpp>
#include <boost/wave/grammars/cpp_defined_grammar.hpp>
#include <boost/wave/grammars/cpp_expression_grammar.hpp>
#include <boost/wave/grammars/cpp_grammar.hpp>
#include <boost/wave/grammars/cpp_has_include_grammar.hpp>
#include <boost/wave/grammars/cpp_intlit_grammar.hpp>
#include <boost/wave/grammars/cpp_predef_macros_grammar.hpp>
#include <boost/wave/preprocessing_hooks.hpp>

#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#pragma GCC diagnostic pop
#endif

#include "platform/d3dcompiler/D3DCompilerTokenValues.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <deque>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <unordered_map>
#include <utility>

namespace d3dcompiler_internal
{

// The scanner the library's lexer filled last: each lexer fills its scanner once, on its first
// token (see LexerAdapter::ReadFromLexer).
thread_local const boost::wave::cpplexer::re2clex::Scanner<std::string::iterator>* t_pFilledScanner = nullptr;

} // namespace d3dcompiler_internal

namespace boost::wave::cpplexer::re2clex
{

// The library's lexer reads its text in pieces of 196,608 bytes. When it reads the next piece in
// the middle of a token it moves what it holds, but not the place the token falls back to when it
// turns out shorter: an unterminated string or character literal across the end of a piece sent
// the lexer to a wrong place, which skipped the rest of the text or made a token of a negative
// length. This lexer reads all its text at its first fill, so nothing it holds ever moves (a text
// is at most MAX_SOURCE_BYTES, and the includes open at once at most MAX_INCLUDED_BYTES in all).
// Splices (a backslash, or its trigraph, before a line break) are taken out as the library takes
// them out of each piece, in one pass over the text, and their places kept for the line count (the
// library moves the rest of its piece for each splice: a text of splices took the square of its
// length).
template <>
uchar* fill(Scanner<std::string::iterator>* s, uchar* cursor)
{
    if (s->eof != nullptr || s->bot != nullptr)
        return cursor;
    d3dcompiler_internal::t_pFilledScanner = s;
    // The text, the mark of its end, and zeros for the characters the lexer looks ahead past it.
    constexpr std::ptrdiff_t LOOKAHEAD = 32;
    std::ptrdiff_t iBytes = std::distance(s->act, s->last);
    auto* pBuffer = static_cast<uchar*>(std::calloc(static_cast<std::size_t>(iBytes + 1 + LOOKAHEAD), 1));
    if (pBuffer == nullptr)
        throw std::bad_alloc();
    std::copy(s->act, s->last, pBuffer);
    s->act = s->last;
    s->bot = s->tok = s->cur = s->ptr = s->lim = pBuffer;
    s->top = pBuffer + iBytes + 1 + LOOKAHEAD;
    const std::size_t uiSpliced = d3dcompiler_internal::RemoveLineSplices(
        pBuffer, static_cast<std::size_t>(iBytes),
        [s](std::size_t uiOffset) { aq_enqueue(s->eol_offsets, uiOffset); });
    // What the splices freed at the end reads as zeros, as the lookahead does.
    std::fill(pBuffer + uiSpliced, pBuffer + iBytes, uchar(0));
    iBytes = static_cast<std::ptrdiff_t>(uiSpliced);
    s->lim += iBytes;
    s->eof = s->lim;
    *(s->eof)++ = '\0';
    return s->cur;
}

} // namespace boost::wave::cpplexer::re2clex

namespace boost::wave::grammars
{

// #if and #elif expressions are read by the evaluator of D3DCompilerExpression.h, on the tokens
// macro expansion left (defined already read and the identifiers left made 0), rather than by the
// library's grammar: its values do not follow C's arithmetic (a comparison's result turns the
// value it meets into a bool, a decimal too large for the signed type reads as negative), and it
// recurses once for each level of the expression. An error names the start of the expression:
// the library's message would hold all of it, built a token at a time. An #elif is evaluated only
// where its group may be taken, so its errors are errors too (the library drops them).
template <>
inline bool expression_grammar_gen<boost::wave::cpplexer::lex_token<>>::evaluate(
    const token_sequence_type::const_iterator& first, const token_sequence_type::const_iterator& last,
    const token_type::position_type& position, bool, value_error&)
{
    constexpr std::size_t MAX_QUOTED_BYTES = 256;
    std::vector<std::string_view> vTokens;
    std::string sExpression;
    for (auto it = first; it != last; ++it)
    {
        const token_id id = token_id(*it);
        if (id == T_NEWLINE || id == T_EOF || id == T_CPPCOMMENT)
            break;
        const bool bSpace = id == T_SPACE || id == T_SPACE2 || id == T_CCOMMENT;
        const auto& sValue = it->get_value();
        if (!bSpace)
            vTokens.emplace_back(sValue.c_str(), sValue.size());
        if (sExpression.size() <= MAX_QUOTED_BYTES)
            sExpression += bSpace ? std::string_view(" ") : std::string_view(sValue.c_str(), sValue.size());
    }
    if (sExpression.size() > MAX_QUOTED_BYTES)
        sExpression = sExpression.substr(0, MAX_QUOTED_BYTES) + "...";
    const d3dcompiler_internal::ConditionResult result = d3dcompiler_internal::EvaluateCondition(vTokens);
    switch (result.eError)
    {
    case d3dcompiler_internal::ConditionError::None:
        return result.bValue;
    case d3dcompiler_internal::ConditionError::Overflow:
        BOOST_WAVE_THROW(preprocess_exception, integer_overflow, sExpression.c_str(), position);
        break;
    case d3dcompiler_internal::ConditionError::DivisionByZero:
        BOOST_WAVE_THROW(preprocess_exception, division_by_zero, sExpression.c_str(), position);
        break;
    default:
        BOOST_WAVE_THROW(preprocess_exception, ill_formed_expression,
                         (result.sWhat + ": " + sExpression).c_str(), position);
        break;
    }
    return false;
}

} // namespace boost::wave::grammars

namespace d3dcompiler_internal
{

namespace
{

using Token = boost::wave::cpplexer::lex_token<>;

// The token is id in any spelling (a trigraph, say).
bool Is(const Token& token, boost::wave::token_id id)
{
    const auto uiMask = static_cast<unsigned>(boost::wave::MainTokenMask);
    return (static_cast<unsigned>(boost::wave::token_id(token)) & uiMask) ==
           (static_cast<unsigned>(id) & uiMask);
}

// A token read from a file: the directive line read before it, if any, is done with (see
// PreprocessHooks::found_directive).
void TokenRead();

// Whether the text is that of a file preprocessing reads (and not the check of its directive lines
// reading it before), whose lexer marks the tokens that begin directive lines.
bool IsFileRead(const char* pText);

// A malformed number on an #if or #elif line, found by the check of a text's directive lines before
// the library reads the text: on the text's directive line uiDirective (counted from 0), uiLines
// lines below the directive, at uiColumn. C refuses it only where it evaluates the line.
struct MalformedIfNumber
{
    std::size_t uiDirective = 0;
    std::size_t uiLines = 0;
    std::size_t uiColumn = 0;
    std::string sNumber;
};

// The malformed numbers the check of directive lines found in the file text read next.
std::vector<MalformedIfNumber> TakeMalformedNumbers();

// The token, read from a file, begins a directive line: a # or a directive that is the first token
// of its line once splices are taken out and each comment is one space. pMalformed is the
// malformed number of the line, if it is an #if or #elif line that holds one.
void DirectiveLineBegun(const Token& token, const MalformedIfNumber* pMalformed);

// The library's category macro mixes two enumerations, which newer compilers warn about.
bool InCategory(boost::wave::token_id id, boost::wave::token_category category)
{
    const auto uiMask = static_cast<unsigned>(boost::wave::TokenTypeMask);
    return (static_cast<unsigned>(id) & uiMask) == (static_cast<unsigned>(category) & uiMask);
}

// The same with the finer categories, which tell a macro's parameters from its __VA_ARGS__.
bool InExtCategory(boost::wave::token_id id, boost::wave::token_category category)
{
    const auto uiMask = static_cast<unsigned>(boost::wave::ExtTokenTypeMask);
    return (static_cast<unsigned>(id) & uiMask) == (static_cast<unsigned>(category) & uiMask);
}

bool IsSpace(const Token& token)
{
    return InCategory(boost::wave::token_id(token), boost::wave::WhiteSpaceTokenType);
}

// A line break, a // comment (which holds its line break) or the end of the text.
bool EndsLine(const Token& token)
{
    return token.is_eoi() || Is(token, boost::wave::T_NEWLINE) || Is(token, boost::wave::T_CPPCOMMENT) ||
           Is(token, boost::wave::T_EOF);
}

// A directive, or the # of one the library's lexer does not know: where it is the first token of its
// line (see LineStarts), a directive line begins.
bool StartsDirective(const Token& token)
{
    return InCategory(boost::wave::token_id(token), boost::wave::PPTokenType) ||
           Is(token, boost::wave::T_POUND);
}

// # and ## where C reads them as punctuators and not as operators or the start of a directive:
// tokens the library passes on as it does any character it does not know, but that a paste may
// make (they are preprocessing tokens).
constexpr boost::wave::token_id TextToken(boost::wave::token_id id)
{
    return boost::wave::token_id(
        (static_cast<unsigned>(id) & static_cast<unsigned>(boost::wave::TokenValueMask)) |
        static_cast<unsigned>(boost::wave::UnknownTokenType));
}
constexpr boost::wave::token_id TEXT_POUND = TextToken(boost::wave::T_POUND);
constexpr boost::wave::token_id TEXT_POUND_POUND = TextToken(boost::wave::T_POUND_POUND);

// Blank tokens in a row that go on as one token: on a line of a file (see LexerAdapter) and in a
// replacement list (see JoinBlankRuns).
constexpr std::size_t MAX_BLANK_RUN = 8;

// Charges a text the library lexes with a lexer of its own (see the definition).
void CheckLexedText(std::string::iterator first, std::string::iterator last,
                    const Token::position_type& position);

// The library's lexer, with the file name of its tokens shared and empty #pragma lines mended.
// The library's strings count their sharers in one byte: the lexer gives each token its copy of the
// file name, shared until 255 tokens hold it and a copy of its own for each token after that, so
// tokens a text keeps (macro definitions and arguments) held a name each: a 4,000-byte #line name
// and 500,000 tokens in definitions took 4 GB. Each token the lexer makes takes the name from the
// last token instead, and a fresh copy is shared again once that one is full.
// A #pragma with nothing after it on its line gets a space after it: the library's handling of the
// directive steps over the first token of the rest of the line without looking, and with none
// there it went past the end of the line's tokens (a crash). With the space it is an empty
// #pragma, which is ignored as one written so is.
// A directive begins a line where C says it does, and nowhere else: the lexer of a file marks each
// token that begins a directive line, as C reads the line (splices out, each comment one space),
// in groups taken and skipped alike, and gives the library every other # and directive name as C's
// tokens (see ReadAsC). The library took a directive wherever a line break or an empty macro
// expansion came before it ("E #define X 1" defined X), took a comment that spans lines for a
// line break, and an argument's ## for an operator.
// Numbers are read as C reads preprocessing numbers (see LexIterator) and given as the literals
// they read as.
// A #line directive written as a line number and a file name with more tokens after them is read
// as C reads it (it warns): the tokens after the file name are dropped (the library's #line took
// none, and read no line at all).
// A run of more than MAX_BLANK_RUN blank tokens on one line (comments, whitespace) goes on as one
// token of all the run's text: after an include, the library reads a group it skips looking for a
// directive at every token, over the blank tokens after it, so a line of 16,000 comments took 2 s
// (a token of many comments is one space to the library, as each of them is, and its text is
// output as theirs was).
// The lexer of a file marks each token that begins a directive line as C reads the line, which the
// library does not tell inside a macro call's arguments (see CheckNoDirective), with the malformed
// number the line holds, which the check of directive lines found on the line of the same count.
// With a guard detector, every token given is handed to it, with whether it begins its line.
class LexerAdapter : public boost::wave::cpplexer::lex_input_interface<Token>
{
public:
    // The text a lexer reads: what C reads of # and directive names differs from the library's in
    // the text of a file and in what a paste makes, and nowhere else (directive lines of the caller's
    // macro table, _Pragma text, the check of directive lines).
    enum class Text
    {
        File,  // a file preprocessing reads: directives where they begin lines
        Paste, // what a paste (##) makes: no directive, no operator
        Other,
    };

    LexerAdapter(boost::wave::cpplexer::lex_input_interface<Token>* pLexer, Text eText,
                 boost::wave::language_support language, std::shared_ptr<IncludeGuardDetector> pGuard)
        : m_pLexer(pLexer), m_pGuard(std::move(pGuard)), m_eText(eText), m_language(language)
    {
        if (m_eText == Text::File)
            m_vMalformed = TakeMalformedNumbers();
    }

    Token& get(Token& token) override
    {
        const bool bLineHadToken = m_lineStarts.LineHasToken();
        Read(token);
        if (m_eText == Text::File && !bLineHadToken && m_bLineIsDirective && !token.is_eoi() &&
            StartsDirective(token))
        {
            const MalformedIfNumber* pMalformed = nullptr;
            if (m_uiNextMalformed < m_vMalformed.size() &&
                m_vMalformed[m_uiNextMalformed].uiDirective == m_uiDirectives)
                pMalformed = &m_vMalformed[m_uiNextMalformed++];
            ++m_uiDirectives;
            DirectiveLineBegun(token, pMalformed);
        }
        return token;
    }
    void set_position(const position_type& position) override { m_pLexer->set_position(position); }
#if BOOST_WAVE_SUPPORT_PRAGMA_ONCE != 0
    bool has_include_guards(std::string& sGuardName) const override
    {
        return m_pLexer->has_include_guards(sGuardName);
    }
#endif

private:
    Token& Read(Token& token)
    {
        TokenRead();
        Next(token);
        if (!token.is_eoi() && Is(token, boost::wave::T_PP_NUMBER))
            ReadNumber(token);
        if (!token.is_eoi() && Is(token, boost::wave::T_PP_PRAGMA))
        {
            if (EndsLine(Peek()))
                m_dHeld.push_front(Token(boost::wave::T_SPACE, " ", token.get_position()));
        }
        if (!token.is_eoi() && m_eText != Text::Other)
            ReadAsC(token);
        const bool bBlank = InCategory(boost::wave::token_id(token), boost::wave::WhiteSpaceTokenType);
        m_uiBlankRun = IsBlankInLine(token) ? m_uiBlankRun + 1 : 0;
        if (m_uiBlankRun > MAX_BLANK_RUN)
            JoinBlankRun(token);
        if (m_eLine == LineDirective::FileNameRead && !EndsLine(token) && !bBlank)
            while (!EndsLine(token))
                Next(token);
        const bool bLineStart = m_lineStarts.Next(EndsLine(token), bBlank);
        FollowLineDirective(token, bLineStart, bBlank);
        if (m_pGuard != nullptr && token.is_eoi())
            m_pGuard->Add(IncludeGuardDetector::Token::End, std::string_view());
        else if (m_pGuard != nullptr)
            m_pGuard->Add(GuardTokenOf(token, bLineStart, bBlank),
                          std::string_view(token.get_value().c_str(), token.get_value().size()));
        if (EndsLine(token))
        {
            m_bLineIsDirective = false;
            m_bLineIsDefine = false;
            m_bCommentBeganLine = false;
        }
        else if (bLineStart)
        {
            m_bLineIsDirective = StartsDirective(token);
            m_bLineIsDefine = Is(token, boost::wave::T_PP_DEFINE);
        }
        if (token.is_eoi())
            return token;
        const auto& sFile = token.get_position().get_file();
        if (sFile.c_str() == m_sFile.c_str())
            return token;
        if (sFile != m_sFile)
        {
            m_sFile = sFile;
            return token;
        }
        Token::position_type position = token.get_position();
        position.set_file(m_sFile);
        token.set_position(position);
        // A full name was copied: share the copy.
        if (token.get_position().get_file().c_str() != m_sFile.c_str())
            m_sFile = token.get_position().get_file();
        return token;
    }

    // Whitespace or a comment that ends no line.
    static bool IsBlankInLine(const Token& token)
    {
        return !token.is_eoi() && !EndsLine(token) && !IsMultiLineComment(token) &&
               InCategory(boost::wave::token_id(token), boost::wave::WhiteSpaceTokenType);
    }

    // The blank tokens that come next on the line, joined to the token.
    void JoinBlankRun(Token& token)
    {
        std::string sText(token.get_value().c_str(), token.get_value().size());
        while (IsBlankInLine(Peek()))
        {
            sText.append(m_dHeld.front().get_value().c_str(), m_dHeld.front().get_value().size());
            m_dHeld.pop_front();
        }
        token.set_value(Token::string_type(sText.c_str(), sText.size()));
    }

    // How far a #line directive at the start of a line, as written, has been read.
    enum class LineDirective
    {
        None,
        Started,      // #line read
        NumberRead,   // and its line number
        FileNameRead, // and its file name: what follows up to the line's end is dropped
    };

    void FollowLineDirective(const Token& token, bool bLineStart, bool bBlank)
    {
        if (EndsLine(token))
            m_eLine = LineDirective::None;
        else if (bLineStart)
            m_eLine = Is(token, boost::wave::T_PP_LINE) ? LineDirective::Started : LineDirective::None;
        else if (!bBlank && m_eLine == LineDirective::Started)
            m_eLine = Is(token, boost::wave::T_INTLIT) ? LineDirective::NumberRead : LineDirective::None;
        else if (!bBlank && m_eLine == LineDirective::NumberRead)
            m_eLine = Is(token, boost::wave::T_STRINGLIT) ? LineDirective::FileNameRead : LineDirective::None;
    }

    static IncludeGuardDetector::Token GuardTokenOf(const Token& token, bool bLineStart, bool bBlank)
    {
        using Guard = IncludeGuardDetector::Token;
        if (token.is_eoi() || Is(token, boost::wave::T_EOF))
            return Guard::End;
        if (EndsLine(token))
            return Guard::LineEnd;
        if (bBlank)
            return Guard::Blank;
        if (bLineStart && Is(token, boost::wave::T_PP_IF))
            return Guard::If;
        if (bLineStart && Is(token, boost::wave::T_PP_IFDEF))
            return Guard::IfDef;
        if (bLineStart && Is(token, boost::wave::T_PP_IFNDEF))
            return Guard::IfNDef;
        if (bLineStart && (Is(token, boost::wave::T_PP_ELSE) || Is(token, boost::wave::T_PP_ELIF)))
            return Guard::ElseOrElif;
        if (bLineStart && Is(token, boost::wave::T_PP_ENDIF))
            return Guard::EndIf;
        if (Is(token, boost::wave::T_NOT))
            return Guard::Not;
        if (Is(token, boost::wave::T_LEFTPAREN))
            return Guard::LeftParen;
        if (Is(token, boost::wave::T_RIGHTPAREN))
            return Guard::RightParen;
        return Is(token, boost::wave::T_IDENTIFIER) ? Guard::Identifier : Guard::Other;
    }

    void Next(Token& token)
    {
        if (m_dHeld.empty())
        {
            ReadFromLexer(token);
            return;
        }
        token = m_dHeld.front();
        m_dHeld.pop_front();
    }

    // The next token, read ahead and held.
    const Token& Peek()
    {
        if (m_dHeld.empty())
        {
            m_dHeld.emplace_back();
            ReadFromLexer(m_dHeld.back());
        }
        return m_dHeld.front();
    }

    // The library's lexer gives a directive name one spelling ("#define" for "# /**/ define" and
    // "%:define"): a file's or a paste's keeps the spelling written, which C's tokens of it need
    // where it begins no line (see ReadAsC).
    void ReadFromLexer(Token& token)
    {
        if (m_eText == Text::Other)
        {
            m_pLexer->get(token);
            return;
        }
        if (m_pScanner == nullptr)
            t_pFilledScanner = nullptr;
        m_pLexer->get(token);
        if (m_pScanner == nullptr)
            m_pScanner = t_pFilledScanner;
        if (m_pScanner != nullptr && !token.is_eoi() && IsDirectiveName(token))
            token.set_value(Token::string_type(reinterpret_cast<const char*>(m_pScanner->tok),
                                               static_cast<std::size_t>(m_pScanner->cur - m_pScanner->tok)));
    }

    // A directive token whose text the library's lexer gives in one spelling: all but #include's.
    static bool IsDirectiveName(const Token& token)
    {
        return InCategory(boost::wave::token_id(token), boost::wave::PPTokenType) &&
               !Is(token, boost::wave::T_PP_INCLUDE) && !Is(token, boost::wave::T_PP_QHEADER) &&
               !Is(token, boost::wave::T_PP_HHEADER);
    }

    // The lexer reads a preprocessing number as C does, but for a sign after p or P ("0x1p-3",
    // a hexadecimal floating constant): the sign, and what continues the number after it, are
    // taken from the tokens that follow. The number is given as an integer or floating literal of
    // its whole text, which the library then keeps as it is (it reads each preprocessing number it
    // outputs again with a lexer made for it alone, about 13 microseconds a number, and outputs
    // the literal at its start and the rest as more tokens).
    void ReadNumber(Token& token)
    {
        std::string sNumber = token.get_value().c_str();
        bool bTaken = false; // tokens after the lexer's number were taken into it
        while (bTaken || sNumber.back() == 'p' || sNumber.back() == 'P')
        {
            const Token& next = Peek();
            if (next.is_eoi() || next.get_value().empty())
                break;
            const std::string sNext = next.get_value().c_str();
            const bool bSign =
                (sNext[0] == '+' || sNext[0] == '-') && ContinuesNumber(sNumber.back(), sNext[0]);
            const bool bWord = bTaken && (Is(next, boost::wave::T_PP_NUMBER) ||
                                          std::all_of(sNext.begin(), sNext.end(),
                                                      [](char c) { return ContinuesNumber('0', c); }));
            if (!bSign && !bWord)
                break;
            const Token::position_type position = next.get_position();
            m_dHeld.pop_front();
            sNumber += bSign ? sNext.substr(0, 1) : sNext;
            bTaken = true;
            if (bSign && sNext.size() > 1)
            {
                SplitPunctuators(sNext.substr(1), position);
                break;
            }
        }
        if (bTaken)
            token.set_value(Token::string_type(sNumber.c_str()));
        token.set_token_id(IsFloatingNumber(sNumber) ? boost::wave::T_FLOATLIT : boost::wave::T_INTLIT);
    }

    // Gives the text left of a punctuator whose sign a number took ("=" of "+=") as the tokens C
    // reads there, with the punctuators right after it that it may join ("=" and "==" make "==" and
    // "="), held to be given next.
    void SplitPunctuators(std::string sText, const Token::position_type& position)
    {
        static const struct
        {
            const char* pText;
            boost::wave::token_id id;
        } PUNCTUATORS[] = {
            {"<<=", boost::wave::T_SHIFTLEFTASSIGN},
            {">>=", boost::wave::T_SHIFTRIGHTASSIGN},
            {"++", boost::wave::T_PLUSPLUS},
            {"+=", boost::wave::T_PLUSASSIGN},
            {"--", boost::wave::T_MINUSMINUS},
            {"-=", boost::wave::T_MINUSASSIGN},
            {"->", boost::wave::T_ARROW},
            {"==", boost::wave::T_EQUAL},
            {"!=", boost::wave::T_NOTEQUAL},
            {"<=", boost::wave::T_LESSEQUAL},
            {">=", boost::wave::T_GREATEREQUAL},
            {"<<", boost::wave::T_SHIFTLEFT},
            {">>", boost::wave::T_SHIFTRIGHT},
            {"&&", boost::wave::T_ANDAND},
            {"&=", boost::wave::T_ANDASSIGN},
            {"||", boost::wave::T_OROR},
            {"|=", boost::wave::T_ORASSIGN},
            {"*=", boost::wave::T_STARASSIGN},
            {"%=", boost::wave::T_PERCENTASSIGN},
            {"^=", boost::wave::T_XORASSIGN},
            {"+", boost::wave::T_PLUS},
            {"-", boost::wave::T_MINUS},
            {"=", boost::wave::T_ASSIGN},
            {"!", boost::wave::T_NOT},
            {"<", boost::wave::T_LESS},
            {">", boost::wave::T_GREATER},
            {"&", boost::wave::T_AND},
            {"|", boost::wave::T_OR},
            {"*", boost::wave::T_STAR},
            {"%", boost::wave::T_PERCENT},
            {"^", boost::wave::T_XOR},
        };
        constexpr std::string_view CHARACTERS = "+-=!<>&|*%^";
        const auto isPunctuation = [CHARACTERS](const Token& next)
        {
            const auto& sNext = next.get_value();
            return !next.is_eoi() && !sNext.empty() &&
                   std::string_view(sNext.c_str(), sNext.size()).find_first_not_of(CHARACTERS) ==
                       std::string_view::npos;
        };
        while (isPunctuation(Peek()))
        {
            sText += m_dHeld.front().get_value().c_str();
            m_dHeld.pop_front();
        }
        std::vector<Token> vTokens;
        for (std::size_t i = 0; i < sText.size();)
        {
            const auto* pPunctuator = std::find_if(
                std::begin(PUNCTUATORS), std::end(PUNCTUATORS),
                [&](const auto& punctuator)
                { return sText.compare(i, std::strlen(punctuator.pText), punctuator.pText) == 0; });
            if (pPunctuator == std::end(PUNCTUATORS)) // every character taken has a punctuator of its own
            {
                vTokens.emplace_back(boost::wave::T_ANY, sText.substr(i).c_str(), position);
                break;
            }
            vTokens.emplace_back(pPunctuator->id, pPunctuator->pText, position);
            i += std::strlen(pPunctuator->pText);
        }
        m_dHeld.insert(m_dHeld.begin(), vTokens.begin(), vTokens.end());
    }

    static bool IsMultiLineComment(const Token& token)
    {
        return Is(token, boost::wave::T_CCOMMENT) && token.get_value().find('\n') != Token::string_type::npos;
    }

    // C's reading of the token, given where the library would read it otherwise:
    // - A directive or a # that begins its line goes on a line of its own for the library, which
    //   has seen a line break before it: where a comment that spans lines began the line (a space to
    //   C), a line break comes before the token (in a group it skips, the library looked for a
    //   directive only right after a line break, and found none).
    // - In a directive line a comment that spans lines is one space: the line goes on after it (the
    //   library ended a null or unknown directive there, and took what followed for text).
    // - A directive name that begins no line is C's tokens: the #, one space for the whitespace and
    //   comments after it, and the rest lexed alone ("E #define X 1", "#define" in an argument).
    // - Outside #define lines # and ## are punctuators like any other (TEXT_POUND): the library took
    //   a # after an empty expansion for a directive, and a ## of an argument for an operator.
    // Trigraphs read as what they stand for, digraphs keep their spelling, as C spells them.
    void ReadAsC(Token& token)
    {
        if (IsMultiLineComment(token))
        {
            if (m_bLineIsDirective)
                token = Token(boost::wave::T_SPACE, " ", token.get_position());
            else if (!m_lineStarts.LineHasToken())
                m_bCommentBeganLine = true;
            return;
        }
        if (EndsLine(token) || InCategory(boost::wave::token_id(token), boost::wave::WhiteSpaceTokenType))
            return;
        const bool bBeginsLine =
            m_eText == Text::File && !m_lineStarts.LineHasToken() && StartsDirective(token);
        const bool bNameGoesOn = HoldsName(token) && GoesOnWith(Peek());
        if (bNameGoesOn ||
            (!bBeginsLine && InCategory(boost::wave::token_id(token), boost::wave::PPTokenType)))
            SplitDirective(token, bNameGoesOn);
        if (bBeginsLine)
        {
            if (IsDirectiveName(token))
                token.set_value(boost::wave::get_token_value(boost::wave::token_id(token)));
            if (m_bCommentBeganLine)
            {
                m_dHeld.push_front(token);
                token = Token(boost::wave::T_NEWLINE, "\n", token.get_position());
            }
            return;
        }
        const bool bHash = Is(token, boost::wave::T_POUND);
        if (!bHash && !Is(token, boost::wave::T_POUND_POUND))
            return;
        if ((static_cast<unsigned>(boost::wave::token_id(token)) & boost::wave::TriGraphTokenType) != 0)
            token.set_value(bHash ? "#" : "##");
        if (!m_bLineIsDefine || m_eText == Text::Paste)
            token.set_token_id(bHash ? TEXT_POUND : TEXT_POUND_POUND);
    }

    // The library's lexer ends a directive name where the name of a directive ends, "#elsea" is
    // "#else" and "a" to it; in C the name goes on, and "#elsea" is no #else. A token that ends in
    // the name of a directive (its text as written), and the token after it, that begins with a
    // character of a name.
    static bool HoldsName(const Token& token)
    {
        const auto& sText = token.get_value();
        return InCategory(boost::wave::token_id(token), boost::wave::PPTokenType) && !sText.empty() &&
               IsNameCharacter(sText[sText.size() - 1]);
    }

    static bool GoesOnWith(const Token& next)
    {
        return !next.is_eoi() && !next.get_value().empty() && IsNameCharacter(next.get_value()[0]);
    }

    static bool IsNameCharacter(char c)
    {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
    }

    // Gives a directive name as C's tokens: the # (in the spelling written), then, held to be given
    // next, one space where whitespace or comments follow it and the tokens of the rest, with the
    // token after it where its name goes on (bNameGoesOn).
    void SplitDirective(Token& token, bool bNameGoesOn)
    {
        const std::string sText = token.get_value().c_str();
        const std::size_t uiHash = sText[0] == '#' ? 1 : sText[0] == '%' ? 2 : 3;
        std::string sRest = sText.substr(uiHash);
        if (bNameGoesOn)
        {
            sRest += m_dHeld.front().get_value().c_str();
            m_dHeld.pop_front();
        }
        const Token::position_type& position = token.get_position();
        CheckLexedText(sRest.begin(), sRest.end(), position);
        std::unique_ptr<boost::wave::cpplexer::lex_input_interface<Token>> pLexer(
            boost::wave::cpplexer::lex_input_interface_generator<Token>::new_lexer(sRest.begin(), sRest.end(),
                                                                                   position, m_language));
        std::vector<Token> vRest;
        for (Token next; !pLexer->get(next).is_eoi() && !Is(next, boost::wave::T_EOF);)
            if (!InCategory(boost::wave::token_id(next), boost::wave::WhiteSpaceTokenType))
                vRest.push_back(next);
            else if (vRest.empty() || !IsSpace(vRest.back()))
                vRest.emplace_back(boost::wave::T_SPACE, " ", position);
        m_dHeld.insert(m_dHeld.begin(), vRest.begin(), vRest.end());
        token = Token(uiHash == 2 ? boost::wave::T_POUND_ALT : boost::wave::T_POUND, uiHash == 2 ? "%:" : "#",
                      position);
    }

    std::unique_ptr<boost::wave::cpplexer::lex_input_interface<Token>> m_pLexer;
    std::shared_ptr<IncludeGuardDetector> m_pGuard; // shared with the include being read, or null
    LineDirective m_eLine = LineDirective::None;
    std::size_t m_uiBlankRun = 0;              // blank tokens given in a row on this line
    Token::position_type::string_type m_sFile; // of the last token, shared with it
    std::deque<Token> m_dHeld;                 // tokens read ahead, to give before reading on
    LineStarts m_lineStarts;
    bool m_bLineIsDirective = false;  // and the first of them is a directive or a #
    bool m_bLineIsDefine = false;     // and it is #define
    bool m_bCommentBeganLine = false; // a comment that spans lines came before any token
    Text m_eText;
    boost::wave::language_support m_language;
    const boost::wave::cpplexer::re2clex::Scanner<std::string::iterator>* m_pScanner = nullptr; // of m_pLexer
    std::vector<MalformedIfNumber> m_vMalformed; // of the file's #if lines, in the order of the lines
    std::size_t m_uiNextMalformed = 0;           // the first of them on a line still to come
    std::size_t m_uiDirectives = 0;              // directive lines begun so far
};

// The library's lexer, reading preprocessing numbers as C reads them ("2.0h", "1_000", "0x1p-3" and
// "0xe+1" are one token each, which no macro replaces part of), each given as a literal of its
// whole text (see LexerAdapter::ReadNumber), for every text the library lexes: files, pasted
// tokens, the caller's macro table.
class LexIterator : public boost::wave::cpplexer::lex_iterator<Token>
{
public:
    LexIterator() = default;
    template <typename IteratorT>
    LexIterator(const IteratorT& first, const IteratorT& last, const Token::position_type& position,
                boost::wave::language_support language,
                std::shared_ptr<IncludeGuardDetector> pGuard = nullptr)
    {
        using MultiPass = boost::wave::cpplexer::make_multi_pass<
            boost::wave::cpplexer::impl::lex_iterator_functor_shim<Token>>;
        LexerAdapter::Text eText =
            boost::wave::need_single_line(language) ? LexerAdapter::Text::Paste : LexerAdapter::Text::Other;
        if constexpr (std::is_same_v<IteratorT, std::string::iterator>)
            eText = first != last && IsFileRead(&*first) ? LexerAdapter::Text::File : eText;
        const auto lexed =
            boost::wave::language_support(language | boost::wave::support_option_prefer_pp_numbers);
        MultiPass::type::operator=(MultiPass::type(MultiPass::functor_data_type(
            {}, new LexerAdapter(boost::wave::cpplexer::lex_input_interface_generator<Token>::new_lexer(
                                     first, last, position, lexed),
                                 eText, lexed, std::move(pGuard)))));
        if constexpr (std::is_same_v<IteratorT, std::string::iterator>)
            CheckLexedText(first, last, position);
    }
};

constexpr boost::wave::language_support LANGUAGE =
    boost::wave::language_support(boost::wave::support_c99 | boost::wave::support_option_insert_whitespace);

// What the include policy and the hooks of the preprocessing running on this thread need. Wave
// builds its iteration contexts and calls its hooks itself, so they find it here rather than
// through an argument.
struct PreprocessState
{
    ID3DInclude* pInclude = nullptr;
    std::vector<const void*> vOpen; // data of the files being read, the source itself first
    bool bNextIsSystem = false;     // the directive being handled used <name>
    std::string sFailedInclude;     // the include that could not be opened
    std::string sIncludeName;       // of the include being opened, as written with its quotes
    // Includes whose text is one guarded group, by name as written: the guard.
    std::map<std::string, std::string> mapGuards;

    std::size_t uiMacroNesting = 0;      // macro expansions under way, one inside the other
    Token::position_type outerCall;      // of the outermost of them, where errors point
    std::size_t uiExpandedTokens = 0;    // tokens the macro expansions have read and made so far
    std::size_t uiExpandedBytes = 0;     // and their bytes
    std::size_t uiLiteralBytes = 0;      // of the literals stringizing and __FILE__ made
    std::size_t uiLiteralCopies = 0;     // and the bytes the library copied to build them
    ArgumentCopies copies;               // what the calls under way will copy of their arguments
    bool bInCondition = false;           // the expansions belong to an #if or #elif expression
    std::size_t uiCost = 0;              // of the preprocessing so far (MAX_PREPROCESS_COST)
    std::vector<const char*> vFileTexts; // the texts of the source and the includes open, as read
    bool bCheckingText = false;          // CheckLexedText is lexing a text of its own
    bool bCheckingLines = false;         // CheckDirectiveLines is reading a file's text

    // The places (file name, line, column) of the tokens that began directive lines since the
    // library last acted on a directive: those of them read into a macro call's arguments.
    std::set<std::tuple<const char*, std::size_t, std::size_t>> setLineStarts;
    // The malformed numbers of the file text read next, and the first tokens of the last two
    // directive lines begun, the last first, with the malformed numbers of their lines: the library
    // reads the token after a directive line before it acts on the line, and a #line renumbers that
    // token, a copy of it as held here. Both copies share its text.
    std::vector<MalformedIfNumber> vMalformedNumbers;
    struct LineStart
    {
        Token token;
        bool bMalformed = false;
        MalformedIfNumber malformed;
    };
    LineStart aLastLineStarts[2];

    // The expansions belong to a directive line, and the bytes they have made on it.
    bool bOnDirectiveLine = false;
    std::size_t uiDirectiveMacroBytes = 0;

    // Each file being read, the source first: the #if depth of its includer where it was included,
    // and its outermost conditional directive still open (an #if group ends in the file that
    // opened it).
    struct OpenFile
    {
        std::size_t uiIfDepth = 0;
        const char* pConditional = nullptr; // "#if", "#ifdef" or "#ifndef", while one is open
        Token::position_type conditional;
    };
    std::vector<OpenFile> vFiles;
};

thread_local PreprocessState* t_pState = nullptr;

void TokenRead()
{
    if (t_pState != nullptr)
        t_pState->bOnDirectiveLine = false;
}

// The text is that of the source or of an include open.
bool IsFileText(const PreprocessState& state, const char* pText)
{
    return std::find(state.vFileTexts.begin(), state.vFileTexts.end(), pText) != state.vFileTexts.end();
}

bool IsFileRead(const char* pText)
{
    const PreprocessState* pState = t_pState;
    return pState != nullptr && !pState->bCheckingLines && IsFileText(*pState, pText);
}

std::tuple<const char*, std::size_t, std::size_t> PlaceOf(const Token& token)
{
    const Token::position_type& position = token.get_position();
    return {position.get_file().c_str(), position.get_line(), position.get_column()};
}

std::vector<MalformedIfNumber> TakeMalformedNumbers()
{
    return t_pState != nullptr ? std::move(t_pState->vMalformedNumbers) : std::vector<MalformedIfNumber>();
}

void DirectiveLineBegun(const Token& token, const MalformedIfNumber* pMalformed)
{
    PreprocessState* pState = t_pState;
    if (pState == nullptr)
        return;
    PreprocessState::LineStart& last = pState->aLastLineStarts[0];
    pState->aLastLineStarts[1] = std::move(last);
    last.token = token;
    last.bMalformed = pMalformed != nullptr;
    if (pMalformed != nullptr)
        last.malformed = *pMalformed;
    pState->setLineStarts.insert(PlaceOf(token));
}

// A limit of D3DCompilerPreprocessor.h passed at a place of the text.
class LimitError : public std::runtime_error
{
public:
    LimitError(const Token::position_type& position, const std::string& sText)
        : std::runtime_error(sText), m_sFile(position.get_file().c_str()),
          m_uiLine(static_cast<std::uint32_t>(position.get_line())),
          m_uiColumn(static_cast<std::uint32_t>(position.get_column()))
    {
    }
    const std::string& GetFile() const { return m_sFile; }
    std::uint32_t GetLine() const { return m_uiLine; }
    std::uint32_t GetColumn() const { return m_uiColumn; }

private:
    std::string m_sFile;
    std::uint32_t m_uiLine;
    std::uint32_t m_uiColumn;
};

// Fails with a LimitError at the place once a count passes its limit; the text names the limit
// between its two parts.
void CheckLimit(std::size_t uiCount, std::size_t uiLimit, const Token::position_type& position,
                const char* pBefore, const char* pAfter)
{
    if (uiCount > uiLimit)
        throw LimitError(position, pBefore + std::to_string(uiLimit) + pAfter);
}

// Fails with a LimitError at the place where a preprocessing's cost passes MAX_PREPROCESS_COST.
void CheckCost(std::size_t uiCost, const Token::position_type& position)
{
    CheckLimit(uiCost, MAX_PREPROCESS_COST, position, "preprocessing costs more than ",
               " (directive-line tokens, text read / 4, includes, pastes and _Pragma operators) in all");
}

// Adds to the cost of the preprocessing running on this thread (if any), and fails at the place
// where the sum passes MAX_PREPROCESS_COST.
void Charge(std::size_t uiCost, const Token::position_type& position)
{
    if (t_pState == nullptr)
        return;
    t_pState->uiCost += uiCost;
    CheckCost(t_pState->uiCost, position);
}

// What the library makes of a directive line: text it quotes in a message (and may make again
// for each line, as for #warning), or tokens it parses and keeps. #define, #if and #elif lines are
// parsed: where the library would quote one (a #define it cannot read, a defined operator without
// a name), the line is refused with the start of it quoted (see the grammars below), and the
// evaluator quotes at most the start of an expression in its error. A #pragma is parsed: no
// pragma is made into text (see interpret_pragma below).
enum class LineKind
{
    Parsed,
    Quoted,
};

LineKind KindOfDirective(const Token& directive)
{
    if (Is(directive, boost::wave::T_PP_DEFINE) || Is(directive, boost::wave::T_PP_IF) ||
        Is(directive, boost::wave::T_PP_ELIF) || Is(directive, boost::wave::T_PP_PRAGMA))
        return LineKind::Parsed;
    return LineKind::Quoted;
}

// The cost of a directive line of uiTokens tokens and uiBytes bytes (see MAX_PREPROCESS_COST).
std::size_t LineCost(LineKind eKind, std::size_t uiTokens, std::size_t uiBytes)
{
    return uiTokens + (eKind == LineKind::Quoted ? uiTokens * uiBytes / QUOTED_LINE_COST_BYTES : 0);
}

// Fails with a LimitError where a directive line of the text passes a limit, before the library
// reads any of it. Every text is read, with the library's own lexer as preprocessing reads it
// (line splices, comments and literals alike), so no line is taken shorter than the library takes
// it: a line runs on to the next line break outside a comment, as the library's grammar reads it.
// Where the lexer fails, preprocessing fails there too and the rest is never read. A line is a
// directive line where its first token that is not blank is a directive or a #, as C reads it and
// as the lexer of a file marks it (each comment one space, also one that spans lines). The cost of each
// directive line, whitespace and comments included, counts against the cost all directive lines of
// the preprocessing may have (*pDirectiveCost, carried from text to text), and the bytes of a line
// of a kind the library quotes against the limit of one such line. #if and #elif lines that hold
// a malformed number are refused, or, with pvMalformed, listed there (the first of each line), to
// be refused where the library evaluates the line: C reads the lines of a group it skips only as
// far as their directives. An #if that begins no line is text, its numbers too.
void CheckDirectiveLines(std::string::iterator first, std::string::iterator last, const std::string& sName,
                         std::size_t* pDirectiveCost, std::vector<MalformedIfNumber>* pvMalformed)
{
    if (pvMalformed != nullptr)
        pvMalformed->clear();
    // Every directive, and the # of a null directive, begins with #, %: or ??= (the lexer reads
    // the last two over line splices too): a text without #, % and ? has no directive line.
    if (std::string_view(&*first, static_cast<std::size_t>(last - first)).find_first_of("#%?") ==
        std::string_view::npos)
        return;
    // Preprocessing's own lexer of the text marks the tokens that begin directive lines.
    struct CheckingLines
    {
        CheckingLines()
        {
            if (t_pState != nullptr)
                t_pState->bCheckingLines = true;
        }
        ~CheckingLines()
        {
            if (t_pState != nullptr)
                t_pState->bCheckingLines = false;
        }
    } checking;
    try
    {
        LexIterator it(first, last, Token::position_type(sName.c_str()), LANGUAGE);
        const LexIterator end;
        LineStarts lineStarts;
        bool bInDirective = false;
        LineKind eKind = LineKind::Parsed;
        std::size_t uiLineTokens = 0; // of the directive line being read
        std::size_t uiLineBytes = 0;
        bool bInCondition = false;
        std::size_t uiDirectives = 0; // directive lines begun so far
        std::size_t uiDirectiveLine = 0;
        // A malformed number of the #if line being read: refused, or listed as the line's first.
        const auto malformed = [&](const Token& number)
        {
            const Token::position_type& position = number.get_position();
            const std::string sNumber = number.get_value().c_str();
            if (pvMalformed == nullptr)
                throw LimitError(position, "#if expression holds a malformed number: " + sNumber);
            if (pvMalformed->empty() || pvMalformed->back().uiDirective != uiDirectives - 1)
                pvMalformed->push_back({uiDirectives - 1, position.get_line() - uiDirectiveLine,
                                        position.get_column(), sNumber});
        };
        const auto endLine = [&]()
        {
            if (bInDirective)
                *pDirectiveCost += LineCost(eKind, uiLineTokens, uiLineBytes);
            bInDirective = false;
        };
        for (; it != end; ++it)
        {
            const Token& token = *it;
            const boost::wave::token_id id = boost::wave::token_id(token);
            if (EndsLine(token))
            {
                lineStarts.Next(true, false);
                endLine();
                bInCondition = false;
                continue;
            }
            const bool bSpace = IsSpace(token);
            const bool bBeginsDirective = lineStarts.Next(false, bSpace) && StartsDirective(token);
            if (bBeginsDirective)
            {
                bInDirective = true;
                eKind = KindOfDirective(token);
                uiLineTokens = 0;
                uiLineBytes = 0;
                ++uiDirectives;
                uiDirectiveLine = token.get_position().get_line();
            }
            if (bInDirective)
            {
                ++uiLineTokens;
                uiLineBytes += token.get_value().size();
                if (eKind == LineKind::Quoted)
                    CheckLimit(uiLineBytes, MAX_QUOTED_LINE_BYTES, token.get_position(),
                               "directive line holds more than ", " bytes");
                CheckCost(*pDirectiveCost + LineCost(eKind, uiLineTokens, uiLineBytes), token.get_position());
            }
            if (bBeginsDirective && (Is(token, boost::wave::T_PP_IF) || Is(token, boost::wave::T_PP_ELIF)))
            {
                bInCondition = true;
                continue;
            }
            if (!bInCondition)
                continue;
            // The lexer reads each preprocessing number whole: one that is no constant is malformed.
            const auto& sValue = token.get_value();
            if ((InCategory(id, boost::wave::IntegerLiteralTokenType) ||
                 InCategory(id, boost::wave::FloatingLiteralTokenType)) &&
                !IsNumericConstant(std::string_view(sValue.c_str(), sValue.size())))
                malformed(token);
        }
        endLine();
    }
    catch (const boost::wave::cpplexer::lexing_exception&)
    {
    }
}

// The bytes of a UTF-8 byte-order mark at the start of a text (3 or 0). Editors save it there; it
// is no part of the text, which is read from the byte after it, its lines and columns counted from
// there.
std::size_t ByteOrderMarkBytes(const char* pText, std::size_t uiSize)
{
    return uiSize >= 3 && std::memcmp(pText, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
}

// The tokens of a text that is no file being read, as the library's lexer reads them (at most its
// bytes, where the lexer fails).
std::size_t TokensOf(std::string::iterator first, std::string::iterator last,
                     const Token::position_type& position)
{
    std::size_t uiTokens = 0;
    PreprocessState* pState = t_pState;
    const bool bChecking = pState != nullptr && pState->bCheckingText;
    if (pState != nullptr)
        pState->bCheckingText = true;
    try
    {
        const LexIterator end;
        for (LexIterator it(first, last, position, LANGUAGE); it != end; ++it)
            uiTokens += Is(*it, boost::wave::T_EOF) ? 0 : 1;
    }
    catch (const boost::wave::cpplexer::lexing_exception&)
    {
        uiTokens = static_cast<std::size_t>(last - first);
    }
    if (pState != nullptr)
        pState->bCheckingText = bChecking;
    return uiTokens;
}

// Charges each text the library lexes with a lexer of its own (what a paste makes, the text of a
// _Pragma operator, a definition of the caller's macro table) a lexer (LEXER_COST) and its bytes as
// text read. Texts of the files being read are charged as they are opened.
void CheckLexedText(std::string::iterator first, std::string::iterator last,
                    const Token::position_type& position)
{
    PreprocessState* pState = t_pState;
    if (pState == nullptr || pState->bCheckingText || first == last)
        return;
    if (IsFileText(*pState, &*first))
        return;
    Charge(LEXER_COST + static_cast<std::size_t>(last - first) / TEXT_BYTES_PER_COST, position);
}

// Reads an include through the caller's ID3DInclude. The file stays open while Wave reads it
// (its data is the parent of the includes it makes) and is closed when Wave drops its context.
struct IncludeInputPolicy
{
    template <typename IterContextT>
    class inner
    {
    public:
        inner() = default;
        inner(const inner&) = delete;
        inner& operator=(const inner&) = delete;
        ~inner()
        {
            PreprocessState* pState = t_pState;
            if (m_pOpened == nullptr || pState == nullptr)
                return;
            auto it = std::find(pState->vOpen.rbegin(), pState->vOpen.rend(), m_pOpened);
            if (it != pState->vOpen.rend())
                pState->vOpen.erase(std::next(it).base());
            auto itText = std::find(pState->vFileTexts.begin(), pState->vFileTexts.end(), m_sText.data());
            if (itText != pState->vFileTexts.end())
                pState->vFileTexts.erase(itText);
            // Read to its end, one guarded group: not read again while its guard is defined.
            if (m_pGuard != nullptr && !m_pGuard->GetGuard().empty())
                pState->mapGuards[m_sName] = m_pGuard->GetGuard();
            pState->pInclude->Close(m_pOpened);
        }

        template <typename PositionT>
        static void init_iterators(IterContextT& iterCtx, const PositionT& actPos,
                                   boost::wave::language_support language)
        {
            using iterator_type = typename IterContextT::iterator_type;
            PreprocessState* pState = t_pState;
            const void* pData = nullptr;
            UINT uiBytes = 0;
            const bool bOpened =
                pState != nullptr && pState->pInclude != nullptr &&
                SUCCEEDED(pState->pInclude->Open(
                    pState->bNextIsSystem ? D3D_INCLUDE_SYSTEM : D3D_INCLUDE_LOCAL, iterCtx.filename.c_str(),
                    pState->vOpen.empty() ? nullptr : pState->vOpen.back(), &pData, &uiBytes));
            if (bOpened && pData == nullptr && uiBytes != 0)
                pState->pInclude->Close(pData);
            if (!bOpened || (pData == nullptr && uiBytes != 0))
            {
                if (pState != nullptr)
                    pState->sFailedInclude = iterCtx.filename.c_str();
                BOOST_WAVE_THROW_CTX(iterCtx.ctx, boost::wave::preprocess_exception, bad_include_file,
                                     iterCtx.filename.c_str(), actPos);
                return;
            }
            iterCtx.m_pOpened = pData;
            pState->vOpen.push_back(pData);
            // On failure from here on the file is closed as Wave drops the context it was building.
            CheckLimit(uiBytes, MAX_INCLUDED_BYTES, actPos, "include passes ", " bytes");
            Charge(INCLUDE_COST + uiBytes / TEXT_BYTES_PER_COST, actPos);
            iterCtx.m_sName = pState->sIncludeName;
            iterCtx.m_pGuard = std::make_shared<IncludeGuardDetector>();
            const std::size_t uiMark = ByteOrderMarkBytes(static_cast<const char*>(pData), uiBytes);
            iterCtx.m_sText.assign(static_cast<const char*>(pData) + uiMark, uiBytes - uiMark);
            if (iterCtx.m_sText.empty() || iterCtx.m_sText.back() != '\n')
                iterCtx.m_sText += '\n';
            pState->vFileTexts.push_back(iterCtx.m_sText.data());
            CheckDirectiveLines(iterCtx.m_sText.begin(), iterCtx.m_sText.end(), iterCtx.filename.c_str(),
                                &pState->uiCost, &pState->vMalformedNumbers);
            iterCtx.first = iterator_type(iterCtx.m_sText.begin(), iterCtx.m_sText.end(),
                                          PositionT(iterCtx.filename), language, iterCtx.m_pGuard);
            iterCtx.last = iterator_type();
        }

    private:
        const void* m_pOpened = nullptr;
        std::string m_sText;
        std::string m_sName;                            // as written, with its quotes
        std::shared_ptr<IncludeGuardDetector> m_pGuard; // reads the text as the library does
    };
};

// A message that quotes a line (#error, an ill-formed directive) is cut to its first bytes and
// "...": the library keeps at most 511 bytes of it and cuts the rest without a word.
std::string Shortened(std::string sText)
{
    constexpr std::size_t MAX_MESSAGE_BYTES = 300;
    if (sText.size() > MAX_MESSAGE_BYTES)
    {
        sText.resize(MAX_MESSAGE_BYTES);
        sText += "...";
    }
    return sText;
}

// The depth of #if groups the library has open, in all files (its accessor is protected).
template <typename ContextT>
std::size_t IfBlockDepth(const ContextT& ctx)
{
    struct Reader : ContextT
    {
        static std::size_t Of(const ContextT& context) { return (context.*&Reader::get_if_block_depth)(); }
    };
    return Reader::Of(ctx);
}

// Whether a group of the innermost #if the library has open was taken, so that an #elif there is
// not evaluated (its accessor is protected).
template <typename ContextT>
bool IfGroupTaken(const ContextT& ctx)
{
    struct Reader : ContextT
    {
        static bool Of(const ContextT& context)
        {
            return (context.*&Reader::get_if_block_some_part_status)();
        }
    };
    return Reader::Of(ctx);
}

// The first and last token of an argument, whitespace and the library's mark of an empty argument
// left out, and whether it is one token.
template <typename ContainerT>
PasteOperand ArgumentOperand(const ContainerT& argument)
{
    PasteOperand operand;
    std::size_t uiTokens = 0;
    for (auto it = argument.begin(); it != argument.end() && uiTokens < 2; ++it)
    {
        if (IsSpace(*it) || Is(*it, boost::wave::T_PLACEMARKER))
            continue;
        if (uiTokens++ == 0)
            operand.sFirst = std::string_view(it->get_value().c_str(), it->get_value().size());
    }
    for (auto it = argument.rbegin(); it != argument.rend(); ++it)
    {
        if (IsSpace(*it) || Is(*it, boost::wave::T_PLACEMARKER))
            continue;
        operand.sLast = std::string_view(it->get_value().c_str(), it->get_value().size());
        break;
    }
    operand.bSingle = uiTokens == 1;
    return operand;
}

// Fails where a ## of the replacement list pastes two tokens that do not make one token, as C
// does: the library keeps what such a paste makes as the tokens it lexes to. The operands of ##
// are the arguments as written; # makes a literal of its parameter.
template <typename ContainerT>
void CheckPastes(const ContainerT& definition, const std::vector<ContainerT>& arguments, bool bFunction)
{
    PreprocessState* pState = t_pState;
    if (pState == nullptr ||
        std::none_of(definition.begin(), definition.end(),
                     [](const Token& token) { return Is(token, boost::wave::T_POUND_POUND); }))
        return;
    std::vector<PasteOperand> vOperands;
    bool bStringize = false;
    std::optional<PasteOperand> variadic; // read at the first __VA_ARGS__, the same for each
    for (const Token& token : definition)
    {
        if (IsSpace(token))
            continue;
        PasteOperand operand;
        const boost::wave::token_id id = boost::wave::token_id(token);
        if (Is(token, boost::wave::T_POUND_POUND))
        {
            operand.bPaste = true;
        }
        else if (bFunction && Is(token, boost::wave::T_POUND))
        {
            bStringize = true;
            continue;
        }
        else if (bStringize)
        {
            operand.sFirst = operand.sLast = "\"\"";
        }
        else if (InExtCategory(id, boost::wave::ParameterTokenType))
        {
            const std::size_t i = id - boost::wave::T_PARAMETERBASE;
            if (i < arguments.size())
                operand = ArgumentOperand(arguments[i]);
        }
        else if (InExtCategory(id, boost::wave::ExtParameterTokenType) && variadic)
        {
            operand = *variadic;
        }
        else if (InExtCategory(id, boost::wave::ExtParameterTokenType))
        {
            // The arguments from its own on, with a comma between each two.
            const std::size_t uiFirst = id - boost::wave::T_EXTPARAMETERBASE;
            std::size_t uiTokens = 0;
            for (std::size_t i = uiFirst; i < arguments.size(); ++i)
            {
                const PasteOperand argument = ArgumentOperand(arguments[i]);
                if (i > uiFirst)
                {
                    operand.sFirst = operand.sFirst.empty() ? std::string_view(",") : operand.sFirst;
                    operand.sLast = ",";
                    ++uiTokens;
                }
                if (!argument.sFirst.empty())
                {
                    operand.sFirst = operand.sFirst.empty() ? argument.sFirst : operand.sFirst;
                    operand.sLast = argument.sLast;
                    uiTokens += argument.bSingle ? 1 : 2;
                }
            }
            operand.bSingle = uiTokens == 1;
            operand.bVariadic = true;
            variadic = operand;
        }
        else
        {
            operand.sFirst = operand.sLast =
                std::string_view(token.get_value().c_str(), token.get_value().size());
        }
        bStringize = false;
        vOperands.push_back(operand);
    }
    const std::string sInvalid = InvalidPaste(vOperands);
    if (!sInvalid.empty())
        throw LimitError(pState->outerCall, sInvalid);
}

// Every include name is handed to the ID3DInclude as written: no search path, no file system.
// Macro expansion is held to the limits of D3DCompilerPreprocessor.h: the hooks see each
// expansion begin (before its arguments are expanded) and end, and what it made.
class PreprocessHooks : public boost::wave::context_policies::default_preprocessing_hooks
{
public:
    template <typename ContextT>
    bool locate_include_file(ContextT&, std::string& sFilePath, bool bIsSystem, const char*,
                             std::string& sDirPath, std::string& sNativeName)
    {
        if (t_pState != nullptr)
            t_pState->bNextIsSystem = bIsSystem;
        sDirPath.clear();
        sNativeName = sFilePath;
        return true;
    }

    // The name as written, between its quotes or brackets: the library unescapes it with a copy
    // for each escape, and __FILE__ escapes it again. An include whose text was one group guarded by
    // a macro (see IncludeGuardDetector) is skipped while that macro is defined: C would read
    // nothing from it. It is known by its name as written, quotes or brackets included, as the
    // library knows a #pragma once file by its name: both callers' include handlers resolve every
    // name against the folder of the file being compiled, so a name is one file.
    template <typename ContextT>
    bool found_include_directive(const ContextT& ctx, const std::string& sFileName, bool)
    {
        CheckLimit(sFileName.size() - std::min<std::size_t>(sFileName.size(), 2), MAX_FILE_NAME_BYTES,
                   ctx.get_main_pos(), "include file name passes ", " bytes");
        PreprocessState* pState = t_pState;
        if (pState == nullptr)
            return false;
        const auto it = pState->mapGuards.find(sFileName);
        if (it != pState->mapGuards.end() && ctx.is_defined_macro(it->second))
            return true;
        pState->sIncludeName = sFileName;
        return false;
    }

    template <typename ContextT, typename ContainerT>
    void found_line_directive(const ContextT& ctx, const ContainerT&, unsigned int,
                              const std::string& sFileName)
    {
        CheckLimit(sFileName.size(), MAX_FILE_NAME_BYTES, ctx.get_main_pos(), "#line file name passes ",
                   " bytes");
    }

    template <typename ContextT, typename ContainerT, typename IteratorT>
    bool expanding_function_like_macro(const ContextT&, const Token&, const std::vector<Token>& vParameters,
                                       const ContainerT& definition, const Token& macroCall,
                                       const std::vector<ContainerT>& arguments, const IteratorT&,
                                       const IteratorT&)
    {
        EnterMacro(macroCall);
        CheckNoDirective(macroCall, arguments);
        TrimArguments(vParameters, arguments);
        // The arguments are copies the library has collected, the calls inside them included: a
        // call nested in the arguments of another is collected once more at each level. What the
        // pastes make is counted before they are checked: the check makes each paste's text too.
        std::vector<Extent> vArguments;
        vArguments.reserve(arguments.size());
        Extent all;
        for (const ContainerT& argument : arguments)
        {
            vArguments.push_back(ExtentOf(argument));
            all.uiTokens += vArguments.back().uiTokens;
            all.uiBytes += vArguments.back().uiBytes;
        }
        AddExpanded(all.uiTokens, all.uiBytes + OperatorBytes(definition, vArguments));
        BeginCopies(vParameters, definition, &arguments, vArguments);
        CheckPastes(definition, arguments, true);
        return false;
    }

    // __FILE__ comes here too, with no definition: it makes a literal of the escaped name of the
    // file being read.
    template <typename ContextT, typename ContainerT>
    bool expanding_object_like_macro(const ContextT& ctx, const Token& macro, const ContainerT& definition,
                                     const Token& macroCall)
    {
        EnterMacro(macroCall);
        if (definition.empty() && macro.get_value() == "__FILE__")
        {
            const char* pName = ctx.get_main_pos().get_file().c_str();
            const Extent name = EscapedExtent(pName, std::strlen(pName));
            AddLiteral(name.uiBytes + name.uiEscapes + 2, name.uiEscapeCopies);
            AddExpanded(0, name.uiBytes + name.uiEscapes + 2);
        }
        AddExpanded(0, OperatorBytes(definition, {}));
        CheckPastes(definition, std::vector<ContainerT>(), false);
        return false;
    }

    template <typename ContextT, typename ContainerT>
    void expanded_macro(const ContextT&, const ContainerT& result)
    {
        PreprocessState* pState = t_pState;
        if (pState == nullptr)
            return;
        pState->copies.EndCall(pState->uiMacroNesting);
        if (result.empty())
            return;
        const std::size_t uiBytes = BytesOf(result);
        AddExpanded(result.size(), uiBytes);
        // The library makes a message or a name of what a directive line expands to a token at a
        // time, copying what it has so far with each token.
        if (pState->bOnDirectiveLine && !pState->bInCondition)
        {
            pState->uiDirectiveMacroBytes += uiBytes;
            CheckLimit(pState->uiDirectiveMacroBytes, MAX_DIRECTIVE_MACRO_BYTES, pState->outerCall,
                       "directive line: macros make more than ", " bytes");
        }
    }

    template <typename ContextT, typename ContainerT>
    void rescanned_macro(const ContextT&, const ContainerT&)
    {
        if (t_pState != nullptr && t_pState->uiMacroNesting > 0)
            --t_pState->uiMacroNesting;
    }

    // The expansions that follow, up to the evaluation, belong to the expression of an #if or
    // #elif. The next token read from a file ends that (an #elif need not be evaluated). The
    // library has read a directive line whole when it calls this for a directive that expands
    // macros, and expands them before it reads on: those expansions belong to the line. It calls
    // this for each directive it acts on; in a group it skips, not for the #if, #else and #endif
    // lines, which there belong to the file's own groups (where a file has closed its own groups,
    // its text is never skipped).
    template <typename ContextT>
    bool found_directive(const ContextT& ctx, const Token& directive)
    {
        PreprocessState* pState = t_pState;
        if (pState == nullptr)
            return false;
        pState->bInCondition = Is(directive, boost::wave::T_PP_IF) || Is(directive, boost::wave::T_PP_ELIF);
        pState->bOnDirectiveLine = true;
        pState->uiDirectiveMacroBytes = 0;
        pState->setLineStarts.clear();
        // An #if is evaluated where the library acts on it, an #elif where no group before it was
        // taken: there a malformed number the line holds is refused.
        for (const PreprocessState::LineStart& start : pState->aLastLineStarts)
        {
            if (!start.bMalformed || start.token.get_value().c_str() != directive.get_value().c_str() ||
                !(Is(directive, boost::wave::T_PP_IF) ||
                  (Is(directive, boost::wave::T_PP_ELIF) && !IfGroupTaken(ctx))))
                continue;
            Token::position_type position = directive.get_position();
            position.set_line(position.get_line() + start.malformed.uiLines);
            position.set_column(start.malformed.uiColumn);
            throw LimitError(position, "#if expression holds a malformed number: " + start.malformed.sNumber);
        }
        if (pState->vFiles.empty())
            return false;
        PreprocessState::OpenFile& file = pState->vFiles.back();
        const std::size_t uiDepth = IfBlockDepth(ctx);
        const char* pOpening = Is(directive, boost::wave::T_PP_IF)       ? "#if"
                               : Is(directive, boost::wave::T_PP_IFDEF)  ? "#ifdef"
                               : Is(directive, boost::wave::T_PP_IFNDEF) ? "#ifndef"
                                                                         : nullptr;
        if (pOpening != nullptr && uiDepth == file.uiIfDepth)
        {
            file.pConditional = pOpening;
            file.conditional = directive.get_position();
        }
        // An include's #else, #elif or #endif with no group of its own open would close or flip its
        // includer's (the library's message covers the source's own).
        const char* pClosing = Is(directive, boost::wave::T_PP_ELSE)    ? "#else"
                               : Is(directive, boost::wave::T_PP_ELIF)  ? "#elif"
                               : Is(directive, boost::wave::T_PP_ENDIF) ? "#endif"
                                                                        : nullptr;
        if (pClosing != nullptr && pState->vFiles.size() > 1 && uiDepth <= file.uiIfDepth)
            throw LimitError(directive.get_position(), std::string(pClosing) + " without #if in this file");
        return false;
    }

    template <typename ContextT>
    void opened_include_file(const ContextT& ctx, const std::string&, const std::string&, bool)
    {
        if (t_pState != nullptr)
        {
            t_pState->vFiles.emplace_back();
            t_pState->vFiles.back().uiIfDepth = IfBlockDepth(ctx);
        }
    }

    // The include read to its end must have closed every group it opened.
    template <typename ContextT>
    void returning_from_include_file(const ContextT& ctx)
    {
        PreprocessState* pState = t_pState;
        if (pState == nullptr || pState->vFiles.size() < 2)
            return;
        const PreprocessState::OpenFile& file = pState->vFiles.back();
        if (IfBlockDepth(ctx) > file.uiIfDepth)
        {
            if (file.pConditional != nullptr)
                throw LimitError(file.conditional, std::string("unterminated ") + file.pConditional);
            throw LimitError(ctx.get_main_pos(), "unterminated conditional directive");
        }
        pState->vFiles.pop_back();
    }

    // The library's remarks and warnings come here with its errors; those that pass (see
    // PassesWarning) are not thrown, and the library goes on after them as it does after any
    // directive it has done with.
    template <typename ContextT, typename ExceptionT>
    void throw_exception(const ContextT&, const ExceptionT& e)
    {
        if constexpr (std::is_base_of_v<boost::wave::cpp_exception, ExceptionT>)
            if (PassesWarning(e))
                return;
        boost::throw_exception(e);
    }

    template <typename ContextT, typename ContainerT>
    bool evaluated_conditional_expression(const ContextT&, const Token&, const ContainerT&, bool)
    {
        if (t_pState != nullptr)
            t_pState->bInCondition = false;
        return false;
    }

    template <typename ContextT>
    bool may_skip_whitespace(const ContextT& ctx, Token& token, bool& bSkippedNewline)
    {
        if (t_pState != nullptr)
            t_pState->bInCondition = false;
        return default_preprocessing_hooks::may_skip_whitespace(ctx, token, bSkippedNewline);
    }

    // The library expanded an argument of the call whose arguments are at pArguments, and is about
    // to copy it (see macromap<Context>::expand_argument below).
    template <typename ContainerT>
    static void ArgumentExpanded(const void* pArguments, std::size_t uiArgument, const ContainerT& expanded)
    {
        if (t_pState == nullptr)
            return;
        t_pState->copies.ArgumentExpanded(pArguments, uiArgument, {expanded.size(), BytesOf(expanded)});
        AddExpanded(0, 0);
    }

private:
    // Tokens and bytes of a macro argument, or of a token of a replacement list, with the
    // characters that stringizing escapes (in its string and character literals) and the bytes
    // the library copies to escape them.
    struct Extent
    {
        std::size_t uiTokens = 0;
        std::size_t uiBytes = 0;
        std::size_t uiEscapes = 0;
        std::size_t uiEscapeCopies = 0;
        TokenCount visible; // the tokens other than whitespace and the mark of an empty argument
    };

    // What the replacement list of a function-like macro will copy of the arguments (at
    // pArguments, whose extents are given) is pending from here on, against the expansion limits
    // (see ArgumentCopies): each argument by its tokens other than whitespace and the library's
    // mark of an empty argument.
    template <typename ContainerT>
    static void BeginCopies(const std::vector<Token>& vParameters, const ContainerT& definition,
                            const void* pArguments, const std::vector<Extent>& vExtents)
    {
        PreprocessState* pState = t_pState;
        if (pState == nullptr)
            return;
        ParameterUses uses(vParameters.size(),
                           !vParameters.empty() && Is(vParameters.back(), boost::wave::T_ELLIPSIS));
        for (const Token& token : definition)
        {
            const boost::wave::token_id id = boost::wave::token_id(token);
            if (InExtCategory(id, boost::wave::ParameterTokenType))
                uses.Read(ReplacementToken::Parameter, id - boost::wave::T_PARAMETERBASE);
            else if (InExtCategory(id, boost::wave::ExtParameterTokenType))
                uses.Read(ReplacementToken::Parameter, id - boost::wave::T_EXTPARAMETERBASE);
            else
                uses.Read(IsSpace(token)                          ? ReplacementToken::Blank
                          : Is(token, boost::wave::T_POUND_POUND) ? ReplacementToken::Paste
                          : Is(token, boost::wave::T_POUND)       ? ReplacementToken::Stringize
                                                                  : ReplacementToken::Other);
        }
        std::vector<TokenCount> vArguments;
        vArguments.reserve(vExtents.size());
        for (const Extent& extent : vExtents)
            vArguments.push_back(extent.visible);
        pState->copies.BeginCall(pArguments, pState->uiMacroNesting, uses, vArguments);
        AddExpanded(0, 0);
    }

    // A line inside a macro call's arguments that begins with a directive (C leaves it undefined)
    // is refused: the library would take its tokens for the argument's. The library keeps an
    // argument's line breaks, splices and comments alike, as one space: the lexer of the file
    // marked the tokens that begin directive lines, and a # or a directive after a splice or
    // after a comment that spans lines is none of them.
    template <typename ContainerT>
    static void CheckNoDirective(const Token& macroCall, const std::vector<ContainerT>& arguments)
    {
        const PreprocessState* pState = t_pState;
        if (pState == nullptr || pState->setLineStarts.empty())
            return;
        for (const ContainerT& argument : arguments)
        {
            for (const Token& token : argument)
            {
                if ((InCategory(boost::wave::token_id(token), boost::wave::PPTokenType) ||
                     Is(token, boost::wave::T_POUND)) &&
                    pState->setLineStarts.count(PlaceOf(token)) != 0)
                {
                    throw LimitError(token.get_position(),
                                     Shortened(std::string("directive in the arguments of macro ") +
                                               macroCall.get_value().c_str() + ": " +
                                               token.get_value().c_str()));
                }
            }
        }
    }

    // Takes the whitespace before the first token of each argument and after its last out, as C
    // reads arguments: the library kept it, so that a parameter brought its argument's spaces where
    // the replacement list had none, which # then put in its literal (XSTR(dir/name) with the
    // argument " b" for name made "a/ b"). The arguments of the variadic part are one argument, the
    // whitespace after their commas its own. The library's mark of an empty argument stays.
    template <typename ContainerT>
    static void TrimArguments(const std::vector<Token>& vParameters, const std::vector<ContainerT>& arguments)
    {
        // The library hands the arguments it goes on to expand as constant; they are its own.
        auto& vArguments = const_cast<std::vector<ContainerT>&>(arguments);
        const bool bVariadic = !vParameters.empty() && Is(vParameters.back(), boost::wave::T_ELLIPSIS);
        const std::size_t uiVariadic = vParameters.size() - (bVariadic ? 1 : 0);
        const auto isToken = [](const Token& token)
        { return !IsSpace(token) && !Is(token, boost::wave::T_PLACEMARKER); };
        for (std::size_t i = 0; i < vArguments.size(); ++i)
        {
            ContainerT& argument = vArguments[i];
            if (i <= uiVariadic)
                for (auto it = argument.begin(); it != argument.end() && !isToken(*it);)
                    it = IsSpace(*it) ? argument.erase(it) : std::next(it);
            if (i < uiVariadic || i + 1 == vArguments.size())
                for (auto it = argument.end(); it != argument.begin() && !isToken(*std::prev(it));)
                {
                    const auto last = std::prev(it);
                    if (IsSpace(*last))
                        argument.erase(last);
                    else
                        it = last;
                }
        }
    }

    template <typename ContainerT>
    static std::size_t BytesOf(const ContainerT& tokens)
    {
        std::size_t uiBytes = 0;
        for (const Token& token : tokens)
            uiBytes += token.get_value().size();
        return uiBytes;
    }

    // The library escapes a text by appending it a piece at a time, up to each character to
    // escape, to a string that it copies whole with each piece.
    static Extent EscapedExtent(const char* pText, std::size_t uiSize)
    {
        Extent extent{1, uiSize, 0, 0, {}};
        for (std::size_t i = 0; i < uiSize; ++i)
            extent.uiEscapes += pText[i] == '"' || pText[i] == '\\' || pText[i] == '?' ? 1 : 0;
        extent.uiEscapeCopies = (extent.uiEscapes + 1) * (uiSize + extent.uiEscapes);
        return extent;
    }

    template <typename ContainerT>
    static Extent ExtentOf(const ContainerT& tokens)
    {
        Extent extent;
        for (const Token& token : tokens)
        {
            const std::size_t uiBytes = token.get_value().size();
            ++extent.uiTokens;
            extent.uiBytes += uiBytes;
            if (!IsSpace(token) && !Is(token, boost::wave::T_PLACEMARKER))
            {
                ++extent.visible.uiTokens;
                extent.visible.uiBytes += uiBytes;
            }
            if (Is(token, boost::wave::T_STRINGLIT) || Is(token, boost::wave::T_CHARLIT))
            {
                const Extent literal = EscapedExtent(token.get_value().c_str(), uiBytes);
                extent.uiEscapes += literal.uiEscapes;
                extent.uiEscapeCopies += literal.uiEscapeCopies;
            }
        }
        return extent;
    }

    // The bytes the pastes and stringizings of a replacement list will make, from its tokens and
    // the arguments as collected: each paste of a chain a ## b ## c makes a token of all the chain
    // so far; # a makes a literal of the argument in quotes, its literals escaped (counted with
    // the literal's copies by AddLiteral). A parameter stands for its argument, __VA_ARGS__ for
    // all from its own.
    template <typename ContainerT>
    static std::size_t OperatorBytes(const ContainerT& definition, const std::vector<Extent>& vArguments)
    {
        std::optional<Extent> variadic; // summed at the first __VA_ARGS__, the same for each
        const auto extentOf = [&vArguments, &variadic](const Token& token) -> Extent
        {
            const boost::wave::token_id id = boost::wave::token_id(token);
            if (InExtCategory(id, boost::wave::ParameterTokenType))
            {
                const std::size_t i = id - boost::wave::T_PARAMETERBASE;
                return i < vArguments.size() ? vArguments[i] : Extent();
            }
            if (!InExtCategory(id, boost::wave::ExtParameterTokenType))
                return {1, token.get_value().size(), 0, 0, {}};
            if (variadic)
                return *variadic;
            Extent& all = variadic.emplace(); // the arguments with a comma after each
            for (std::size_t i = id - boost::wave::T_EXTPARAMETERBASE; i < vArguments.size(); ++i)
            {
                all.uiTokens += vArguments[i].uiTokens + 1;
                all.uiBytes += vArguments[i].uiBytes + 1;
                all.uiEscapes += vArguments[i].uiEscapes;
                all.uiEscapeCopies += vArguments[i].uiEscapeCopies;
            }
            return all;
        };
        std::size_t uiMade = 0;
        std::size_t uiChain = 0; // bytes of the last operand, with all pasted to it
        bool bPaste = false;
        bool bStringize = false;
        for (const Token& token : definition)
        {
            if (IsSpace(token))
                continue;
            if (Is(token, boost::wave::T_POUND_POUND))
            {
                bPaste = true;
                continue;
            }
            if (Is(token, boost::wave::T_POUND))
            {
                bStringize = true;
                continue;
            }
            const Extent extent = extentOf(token);
            std::size_t uiBytes = extent.uiBytes;
            if (bStringize)
            {
                // One copy of the literal so far for each token, the closing quote and the
                // finished token.
                uiBytes += extent.uiEscapes + 2;
                AddLiteral(uiBytes, (extent.uiTokens + 2) * uiBytes + extent.uiEscapeCopies);
                uiMade += uiBytes;
            }
            uiChain = bPaste ? uiChain + uiBytes : uiBytes;
            uiMade += bPaste ? uiChain : 0;
            bPaste = false;
            bStringize = false;
        }
        return uiMade;
    }

    static void AddExpanded(std::size_t uiTokens, std::size_t uiBytes)
    {
        PreprocessState* pState = t_pState;
        if (pState == nullptr)
            return;
        pState->uiExpandedTokens += uiTokens;
        pState->uiExpandedBytes += uiBytes;
        // With what the calls under way will copy of their arguments, before the copies are made.
        const TokenCount pending = pState->copies.GetPending();
        CheckLimit(pState->uiExpandedTokens + pending.uiTokens, MAX_EXPANDED_TOKENS, pState->outerCall,
                   "macro expansion passes ", " tokens read and made");
        CheckLimit(pState->uiExpandedBytes + pending.uiBytes, MAX_EXPANDED_BYTES, pState->outerCall,
                   "macro expansion passes ", " bytes read and made");
    }

    // A literal of the bytes given, which the library copies the bytes given to build; its bytes
    // count against the expansion budget with what the caller adds.
    static void AddLiteral(std::size_t uiBytes, std::size_t uiCopies)
    {
        PreprocessState* pState = t_pState;
        if (pState == nullptr)
            return;
        pState->uiLiteralBytes += uiBytes;
        pState->uiLiteralCopies += uiCopies;
        CheckLimit(pState->uiLiteralCopies, MAX_LITERAL_COPIES, pState->outerCall, "macro expansion passes ",
                   " bytes copied into string literals");
    }

    static void EnterMacro(const Token& macroCall)
    {
        PreprocessState* pState = t_pState;
        if (pState == nullptr)
            return;
        if (++pState->uiMacroNesting == 1)
            pState->outerCall = macroCall.get_position();
        CheckLimit(pState->uiMacroNesting, MAX_MACRO_NESTING, pState->outerCall,
                   "macro expansion nests deeper than ", " levels");
    }
};

using Context = boost::wave::context<std::string::iterator, LexIterator, IncludeInputPolicy, PreprocessHooks>;

void RefuseDefinedAsName(const Token::string_type& sName, const Token::position_type& position)
{
    if (sName == "defined")
        throw LimitError(position, "\"defined\" cannot be used as a macro name");
}

// The names of a macro's parameters, its ... left out, and the index of each (the first, for a
// name given twice), each found in one step: a name compared with the parameters in turn cost the
// parameters times the names looked for.
std::unordered_map<std::string_view, std::size_t> ParameterIndices(const std::vector<Token>& vParameters)
{
    const std::size_t uiNamed =
        vParameters.size() -
        (!vParameters.empty() && Is(vParameters.back(), boost::wave::T_ELLIPSIS) ? 1 : 0);
    std::unordered_map<std::string_view, std::size_t> mapIndices;
    mapIndices.reserve(uiNamed);
    for (std::size_t i = 0; i < uiNamed; ++i)
        mapIndices.emplace(
            std::string_view(vParameters[i].get_value().c_str(), vParameters[i].get_value().size()), i);
    return mapIndices;
}

// A run of more than 8 blank tokens in a replacement list (comments that span lines, which end the
// runs the lexer joins on a line, see LexerAdapter) is one token of all their text: at each
// expansion the library looks from each blank token over the rest of its run for a ## (a run of
// 200,000 comments took a minute). The run is a comment where it holds a line break: where the
// library makes a line break of each comment that spans lines, it makes one of the run.
void JoinBlankRuns(Context::token_sequence_type& definition)
{
    for (auto it = definition.begin(); it != definition.end();)
    {
        auto itEnd = it;
        std::size_t uiRun = 0;
        for (; itEnd != definition.end() && IsSpace(*itEnd); ++itEnd)
            ++uiRun;
        if (uiRun > MAX_BLANK_RUN)
        {
            std::string sText;
            for (auto itBlank = it; itBlank != itEnd; ++itBlank)
                sText.append(itBlank->get_value().c_str(), itBlank->get_value().size());
            it->set_value(Token::string_type(sText.c_str(), sText.size()));
            if (sText.find('\n') != std::string::npos)
                it->set_token_id(boost::wave::T_CCOMMENT);
            definition.erase(std::next(it), itEnd);
        }
        it = uiRun == 0 ? std::next(it) : itEnd;
    }
}

// Fails where C refuses a definition when the macro is defined (the library refused some only where
// the macro is used, and read others its own way): defined as the name, ## at either end of the
// replacement list, and in a function-like macro a # not followed by a parameter. Consecutive ##
// operators paste once, as gcc reads them (the library kept the second as a token). The ... of a
// variadic macro's parameters is renamed to a spelling no token has: the library took a ... of the
// replacement list for that parameter, and so for the first argument.
void CheckDefinition(const Token& name, bool bHasParameters, std::vector<Token>& vParameters,
                     Context::token_sequence_type& definition)
{
    RefuseDefinedAsName(name.get_value(), name.get_position());
    JoinBlankRuns(definition);
    const auto next = [&definition](Context::token_sequence_type::iterator it)
    {
        while (it != definition.end() && IsSpace(*it))
            ++it;
        return it;
    };
    for (auto it = next(definition.begin()); it != definition.end(); it = next(std::next(it)))
    {
        if (!Is(*it, boost::wave::T_POUND_POUND))
            continue;
        auto itNext = next(std::next(it));
        while (itNext != definition.end() && Is(*itNext, boost::wave::T_POUND_POUND))
            itNext = next(definition.erase(std::next(it), std::next(itNext)));
    }
    const auto itFirst = next(definition.begin());
    if (itFirst != definition.end())
    {
        auto itLast = std::prev(definition.end());
        while (IsSpace(*itLast))
            --itLast;
        for (const auto& it : {itFirst, itLast})
            if (Is(*it, boost::wave::T_POUND_POUND))
                throw LimitError(it->get_position(), "'##' cannot appear at either end of a macro expansion");
    }
    if (!bHasParameters)
        return;
    const bool bVariadic = !vParameters.empty() && Is(vParameters.back(), boost::wave::T_ELLIPSIS);
    std::optional<std::unordered_map<std::string_view, std::size_t>> parameters; // read at the first #
    for (auto it = itFirst; it != definition.end(); it = next(std::next(it)))
    {
        if (!Is(*it, boost::wave::T_POUND))
            continue;
        if (!parameters)
            parameters = ParameterIndices(vParameters);
        const auto itOperand = next(std::next(it));
        const bool bParameter = itOperand != definition.end() &&
                                ((bVariadic && itOperand->get_value() == "__VA_ARGS__") ||
                                 parameters->count(std::string_view(itOperand->get_value().c_str(),
                                                                    itOperand->get_value().size())) != 0);
        if (!bParameter)
            throw LimitError(it->get_position(), "'#' is not followed by a macro parameter");
    }
    if (bVariadic)
        vParameters.back().set_value(" ...");
}

// The start of a directive line, from the token given to the end of the line: the first
// MAX_QUOTED_LINE_START bytes, and "..." where there is more. The library quoted the rest of a line
// it could not read whole, made a token at a time into a string it copied with each token: a line
// of a megabyte took 14 s.
template <typename IteratorT>
std::string QuotedLineStart(IteratorT it, const IteratorT& last)
{
    constexpr std::size_t MAX_QUOTED_LINE_START = 64;
    std::string sQuoted;
    for (; it != last && sQuoted.size() <= MAX_QUOTED_LINE_START; ++it)
    {
        if (Is(*it, boost::wave::T_NEWLINE) || Is(*it, boost::wave::T_CPPCOMMENT) ||
            Is(*it, boost::wave::T_EOF))
            break;
        sQuoted += it->get_value().c_str();
    }
    if (sQuoted.size() > MAX_QUOTED_LINE_START)
        sQuoted = sQuoted.substr(0, MAX_QUOTED_LINE_START) + "...";
    return sQuoted;
}

// A defined operator followed by something other than a name or a name in parentheses is
// refused with the start of what follows it quoted, where the library quoted all of it (after an
// #if defined and a megabyte of "(", 14 s).
template <typename IteratorT, typename ContainerT>
boost::spirit::classic::parse_info<IteratorT> ParseDefined(const IteratorT& first, const IteratorT& last,
                                                           ContainerT& name)
{
    boost::wave::grammars::defined_grammar<ContainerT> grammar(name);
    const boost::spirit::classic::parse_info<IteratorT> hit =
        boost::spirit::classic::parse(first, last, grammar,
                                      boost::spirit::classic::ch_p(boost::wave::T_SPACE) |
                                          boost::spirit::classic::ch_p(boost::wave::T_CCOMMENT));
    if (!hit.hit)
        BOOST_WAVE_THROW(boost::wave::preprocess_exception, ill_formed_expression,
                         ("defined(): " + QuotedLineStart(first, last)).c_str(), first->get_position());
    return hit;
}

} // namespace
} // namespace d3dcompiler_internal

namespace boost::wave::grammars
{

// A directive line the library's grammar cannot read (a #define whose name or parameter list is
// ill-formed, say) is refused with its start quoted, before the library quotes the whole line.
template <>
boost::spirit::classic::tree_parse_info<
    d3dcompiler_internal::LexIterator,
    cpp_grammar_gen<d3dcompiler_internal::LexIterator,
                    d3dcompiler_internal::Context::token_sequence_type>::node_factory_type>
cpp_grammar_gen<d3dcompiler_internal::LexIterator, d3dcompiler_internal::Context::token_sequence_type>::
    parse_cpp_grammar(const iterator_type& first, const iterator_type& last, const position_type& position,
                      bool& bFoundEof, token_type& foundDirective, token_container_type& foundEolTokens)
{
    cpp_grammar<token_type, token_container_type> grammar(bFoundEof, foundDirective, foundEolTokens);
    const boost::spirit::classic::tree_parse_info<iterator_type, node_factory_type> hit =
        parsetree_parse<node_factory_type>(first, last, grammar);
    if (!hit.match && token_id(foundDirective) != T_EOF)
        BOOST_WAVE_THROW(preprocess_exception, ill_formed_directive,
                         d3dcompiler_internal::QuotedLineStart(first, last).c_str(), position);
    return hit;
}

template <>
boost::spirit::classic::parse_info<defined_grammar_gen<d3dcompiler_internal::LexIterator>::iterator1_type>
defined_grammar_gen<d3dcompiler_internal::LexIterator>::parse_operator_defined(const iterator1_type& first,
                                                                               const iterator1_type& last,
                                                                               token_sequence_type& name)
{
    return d3dcompiler_internal::ParseDefined(first, last, name);
}

template <>
boost::spirit::classic::parse_info<defined_grammar_gen<d3dcompiler_internal::LexIterator>::iterator2_type>
defined_grammar_gen<d3dcompiler_internal::LexIterator>::parse_operator_defined(const iterator2_type& first,
                                                                               const iterator2_type& last,
                                                                               token_sequence_type& name)
{
    return d3dcompiler_internal::ParseDefined(first, last, name);
}

} // namespace boost::wave::grammars

namespace boost::wave::util
{

// An argument is expanded as the library expands it, and what the uses of its parameter will copy
// of it is pending before the first copy is made (see ArgumentCopies).
template <>
template <>
void macromap<d3dcompiler_internal::Context>::expand_argument(
    std::vector<d3dcompiler_internal::Context::token_sequence_type>::size_type arg,
    std::vector<d3dcompiler_internal::Context::token_sequence_type>& arguments,
    std::vector<d3dcompiler_internal::Context::token_sequence_type>& expanded_args,
    bool expand_operator_defined, bool expand_operator_has_include, std::vector<bool>& has_expanded_args)
{
    if (has_expanded_args[arg])
        return;
    auto itFirst = arguments[arg].begin();
    expand_whole_tokensequence(expanded_args[arg], itFirst, arguments[arg].end(), expand_operator_defined,
                               expand_operator_has_include);
    impl::remove_placeholders(expanded_args[arg]);
    has_expanded_args[arg] = true;
    d3dcompiler_internal::PreprocessHooks::ArgumentExpanded(&arguments, arg, expanded_args[arg]);
}

// The tokens of a replacement list that name a parameter are marked as the library marks them at
// the macro's first use, each name found in one step: the library compared each identifier,
// keyword and operator with the parameters in turn (70,000 parameters and 200,000 operators took
// over a minute).
template <>
template <>
void macro_definition<d3dcompiler_internal::Token, d3dcompiler_internal::Context::token_sequence_type>::
    replace_parameters(const d3dcompiler_internal::Context& ctx)
{
    using d3dcompiler_internal::InCategory;
    using d3dcompiler_internal::InExtCategory;
    if (replaced_parameters)
        return;
    const auto mapIndices = d3dcompiler_internal::ParameterIndices(macroparameters);
    has_ellipsis = !macroparameters.empty() && T_ELLIPSIS == token_id(macroparameters.back());
    for (d3dcompiler_internal::Token& token : macrodefinition)
    {
        const token_id id = token_id(token);
        if (id != T_IDENTIFIER && !InCategory(id, KeywordTokenType) && !InCategory(id, OperatorTokenType) &&
            !InExtCategory(id, token_category(OperatorTokenType | AltExtTokenType)))
            continue;
        const auto it =
            mapIndices.find(std::string_view(token.get_value().c_str(), token.get_value().size()));
        if (it != mapIndices.end())
            token.set_token_id(token_id(T_PARAMETERBASE + it->second));
        else if (has_ellipsis && need_variadics(ctx.get_language()) && token.get_value() == "__VA_ARGS__")
            token.set_token_id(token_id(T_EXTPARAMETERBASE + macroparameters.size() - 1));
    }
    replaced_parameters = true;
}

// What a #pragma line or a _Pragma operator does: #pragma once marks the file being read, and every
// other pragma is dropped unread, as one the library does not know is. The library made text of a
// message and of its own options ("wave") a token at a time, into a string it copied with each
// token, only to raise it as a remark that preprocessing drops; an unclosed message it collected
// twice (three #pragma message lines of 128 KiB took 2.2 s, one _Pragma operator of 128 KiB 1.8 s).
template <typename IteratorT>
bool InterpretPragma(d3dcompiler_internal::Context& ctx, const d3dcompiler_internal::Token& pragma,
                     IteratorT it, const IteratorT& end)
{
    return it != end && d3dcompiler_internal::Is(*it, T_IDENTIFIER) && it->get_value() == "once" &&
           ctx.add_pragma_once_header(pragma, ctx.get_current_filename());
}

// A #pragma line.
template <>
bool interpret_pragma(d3dcompiler_internal::Context& ctx, const d3dcompiler_internal::Token& pragma,
                      d3dcompiler_internal::Context::token_sequence_type::const_iterator it,
                      const d3dcompiler_internal::Context::token_sequence_type::const_iterator& end,
                      d3dcompiler_internal::Context::token_sequence_type&)
{
    return InterpretPragma(ctx, pragma, it, end);
}

// A _Pragma operator.
template <>
bool interpret_pragma(d3dcompiler_internal::Context& ctx, const d3dcompiler_internal::Token& pragma,
                      d3dcompiler_internal::Context::token_sequence_type::iterator it,
                      const d3dcompiler_internal::Context::token_sequence_type::iterator& end,
                      d3dcompiler_internal::Context::token_sequence_type&)
{
    return InterpretPragma(ctx, pragma, it, end);
}

} // namespace boost::wave::util

// A macro defined again with another body takes the new one, as C compilers do (they warn); the
// library kept the first. Every definition, the caller's macro table's included, comes here, and
// is checked as C checks it first (CheckDefinition). A predefined macro, and a name the library
// refuses, keep the library's handling.
template <>
bool d3dcompiler_internal::Context::add_macro_definition(const token_type& name, bool bHasParameters,
                                                         std::vector<token_type>& parameters,
                                                         token_sequence_type& definition, bool bPredefined)
{
    d3dcompiler_internal::CheckDefinition(name, bHasParameters, parameters, definition);
    const string_type& sName = name.get_value();
    if (!bPredefined && macros.is_defined(sName) &&
        !boost::wave::util::impl::is_special_macroname(*this, sName))
    {
        bool bOldHasParameters = false;
        bool bOldPredefined = false;
        position_type oldPosition;
        std::vector<token_type> vOldParameters;
        token_sequence_type oldDefinition;
        macros.get_macro(sName, bOldHasParameters, bOldPredefined, oldPosition, vOldParameters,
                         oldDefinition);
        if (!bOldPredefined)
            macros.remove_macro(sName, name.get_position());
    }
    return macros.add_macro(name, bHasParameters, parameters, definition, bPredefined);
}

// As the library removes a definition, but that defined is refused as a name, as C refuses it.
template <>
template <>
bool d3dcompiler_internal::Context::remove_macro_definition(const string_type& sUndefined,
                                                            bool bEvenPredefined)
{
    string_type sName = sUndefined;
    const std::size_t uiFirst = sName.find_first_not_of(" \t");
    if (uiFirst != string_type::npos)
        sName = sName.substr(uiFirst, sName.find_last_not_of(" \t") - uiFirst + 1);
    d3dcompiler_internal::RefuseDefinedAsName(sName, macros.get_main_pos());
#if BOOST_WAVE_SUPPORT_PRAGMA_ONCE != 0
    includes.remove_pragma_once_header(sName.c_str());
#endif
    return macros.remove_macro(sName, macros.get_main_pos(), bEvenPredefined);
}

namespace d3dcompiler_internal
{
namespace
{

// Boost.Wave's grammars keep static parser state that is not safe to share between threads,
// so one preprocessing runs at a time.
std::mutex s_mutex;

int ErrorCodeOf(const boost::wave::cpp_exception& e)
{
    if (const auto* pPre = dynamic_cast<const boost::wave::preprocess_exception*>(&e))
    {
        if (pPre->get_errorcode() == boost::wave::preprocess_exception::bad_include_file)
            return 1507;
        if (pPre->get_errorcode() == boost::wave::preprocess_exception::error_directive)
            return 1503;
    }
    return 1000;
}

std::string DescriptionOf(const boost::wave::cpp_exception& e, const PreprocessState& state)
{
    if (const auto* pPre = dynamic_cast<const boost::wave::preprocess_exception*>(&e))
        if (pPre->get_errorcode() == boost::wave::preprocess_exception::bad_include_file)
            return "failed to open source file: '" + state.sFailedInclude + "'";
    return Shortened(ErrorTextOf(e));
}

} // namespace

std::string FormatError(const std::string& sFile, std::uint32_t uiLine, std::uint32_t uiColumn, int iCode,
                        const std::string& sText)
{
    char code[16];
    std::snprintf(code, sizeof code, "X%04d", iCode);
    return sFile + "(" + std::to_string(uiLine) + "," + std::to_string(uiColumn) + "): error " + code + ": " +
           sText + "\n";
}

bool CheckDirectiveLines(const char* pText, std::size_t uiSize, const char* pName,
                         std::size_t* pDirectiveCost, std::string* pErrors)
{
    std::string sText(pText, uiSize);
    if (sText.empty() || sText.back() != '\n')
        sText += '\n';
    try
    {
        CheckDirectiveLines(sText.begin(), sText.end(), pName, pDirectiveCost, nullptr);
    }
    catch (const LimitError& e)
    {
        *pErrors += FormatError(e.GetFile(), e.GetLine(), e.GetColumn(), 1000, e.what());
        return false;
    }
    return true;
}

bool Preprocess(const char* pSource, std::size_t uiSize, const char* pSourceName,
                const D3D_SHADER_MACRO* pDefines, ID3DInclude* pInclude, PreprocessedSource* pOut,
                std::string* pErrors)
{
    const std::string sName = pSourceName != nullptr && pSourceName[0] != '\0' ? pSourceName : "<Unknown>";
    std::size_t uiTableBytes = 0;
    for (const D3D_SHADER_MACRO* pMacro = pDefines; pMacro != nullptr && pMacro->Name != nullptr; ++pMacro)
        uiTableBytes +=
            std::strlen(pMacro->Name) + (pMacro->Definition != nullptr ? std::strlen(pMacro->Definition) : 0);
    if (pSource != nullptr && uiSize > MAX_SOURCE_BYTES)
    {
        *pErrors += FormatError(sName, 1, 1, 1000,
                                "source text passes " + std::to_string(MAX_SOURCE_BYTES) + " bytes");
        return false;
    }
    if (uiTableBytes > MAX_SOURCE_BYTES)
    {
        *pErrors += FormatError(sName, 1, 1, 1000,
                                "macro table passes " + std::to_string(MAX_SOURCE_BYTES) + " bytes");
        return false;
    }
    const std::size_t uiMark = pSource != nullptr ? ByteOrderMarkBytes(pSource, uiSize) : 0;
    std::string sSource(pSource != nullptr ? pSource + uiMark : "", pSource != nullptr ? uiSize - uiMark : 0);
    if (sSource.empty() || sSource.back() != '\n')
        sSource += '\n';

    std::lock_guard<std::mutex> lock(s_mutex);
    PreprocessState state;
    state.pInclude = pInclude;
    state.vOpen.push_back(pSource);
    state.vFiles.emplace_back();
    t_pState = &state;
    PreprocessedSource out;
    bool bOk = true;
    // Wave names the main file by its absolute path; errors and tokens show the caller's name.
    std::string sWaveName;
    try
    {
        const Token::position_type start(sName.c_str());
        Charge(sSource.size() / TEXT_BYTES_PER_COST, start);
        state.vFileTexts.push_back(sSource.data());
        CheckDirectiveLines(sSource.begin(), sSource.end(), sName, &state.uiCost, &state.vMalformedNumbers);
        Context ctx(sSource.begin(), sSource.end(), sName.c_str());
        ctx.set_language(LANGUAGE);
        ctx.set_max_include_nesting_depth(MAX_INCLUDE_DEPTH);
        for (const D3D_SHADER_MACRO* pMacro = pDefines; pMacro != nullptr && pMacro->Name != nullptr;
             ++pMacro)
        {
            // Each definition costs the tokens of a #define line, and its text as the library's
            // lexer reads it, "name=body" (CheckLexedText).
            std::string sDefinition = pMacro->Name;
            sDefinition += ' ';
            if (pMacro->Definition != nullptr)
                sDefinition += pMacro->Definition;
            Charge(LineCost(LineKind::Parsed, 1 + TokensOf(sDefinition.begin(), sDefinition.end(), start),
                            sDefinition.size()),
                   start);
            sDefinition[std::strlen(pMacro->Name)] = '=';
            if (!ctx.add_macro_definition(sDefinition))
            {
                *pErrors += FormatError(sName, 1, 1, 1000, "invalid macro definition: '" + sDefinition + "'");
                bOk = false;
            }
        }
        if (bOk)
        {
            sWaveName = sName;
            if (sName != "<Unknown>")
                sWaveName = boost::wave::util::complete_path(boost::filesystem::path(sName)).string();
            Context::iterator_type it = ctx.begin();
            const Context::iterator_type end = ctx.end();
            // Each name once, shared by its tokens; the name of the last token is at hand (held, so
            // that a token with the same storage has the same name).
            std::map<std::string, std::shared_ptr<const std::string>> mapFiles;
            Token::position_type::string_type sLastFile;
            std::shared_ptr<const std::string> pLastFile;
            // A _Pragma operator the library does not act on (its own remarks and pragmas it does
            // not know) it gives back as text: dropped, as a #pragma line it does not know is. Its
            // tokens are _Pragma, "(", one string literal and ")".
            int iPragmaTokens = 0;
            for (; it != end; ++it)
            {
                const Token& token = *it;
                const boost::wave::token_id id = boost::wave::token_id(token);
                const bool bSpace = InCategory(id, boost::wave::WhiteSpaceTokenType);
                if (iPragmaTokens > 0)
                {
                    iPragmaTokens -= bSpace ? 0 : 1;
                    continue;
                }
                if (Is(token, boost::wave::T_IDENTIFIER) && token.get_value() == "_Pragma")
                {
                    iPragmaTokens = 3;
                    continue;
                }
                out.Text += token.get_value().c_str();
                CheckLimit(out.Text.size(), MAX_OUTPUT_BYTES, token.get_position(),
                           "preprocessed output passes ", " bytes");
                if (!bSpace && !InCategory(id, boost::wave::EOLTokenType) &&
                    !InCategory(id, boost::wave::EOFTokenType))
                {
                    const auto& position = token.get_position();
                    if (pLastFile == nullptr || position.get_file().c_str() != sLastFile.c_str())
                    {
                        sLastFile = position.get_file();
                        const std::string sFile = sLastFile == sWaveName.c_str() ? sName : sLastFile.c_str();
                        std::shared_ptr<const std::string>& pShared = mapFiles[sFile];
                        if (pShared == nullptr)
                            pShared = std::make_shared<const std::string>(sFile);
                        pLastFile = pShared;
                    }
                    out.Tokens.push_back({token.get_value().c_str(), pLastFile,
                                          static_cast<std::uint32_t>(position.get_line()),
                                          static_cast<std::uint32_t>(position.get_column())});
                }
            }
        }
    }
    catch (const LimitError& e)
    {
        const std::string sFile = e.GetFile() == sWaveName || sWaveName.empty() ? sName : e.GetFile();
        *pErrors += FormatError(sFile, e.GetLine(), e.GetColumn(), 1000, e.what());
        bOk = false;
    }
    catch (const boost::wave::cpp_exception& e)
    {
        const std::string sFile = e.file_name() == sWaveName || sWaveName.empty() ? sName : e.file_name();
        *pErrors +=
            FormatError(sFile, static_cast<std::uint32_t>(e.line_no()),
                        static_cast<std::uint32_t>(e.column_no()), ErrorCodeOf(e), DescriptionOf(e, state));
        bOk = false;
    }
    catch (const boost::wave::cpplexer::lexing_exception& e)
    {
        const std::string sFile = e.file_name() == sWaveName || sWaveName.empty() ? sName : e.file_name();
        *pErrors +=
            FormatError(sFile, static_cast<std::uint32_t>(e.line_no()),
                        static_cast<std::uint32_t>(e.column_no()), 1000, AsErrorText(e.description()));
        bOk = false;
    }
    catch (const std::exception& e)
    {
        *pErrors += FormatError(sName, 1, 1, 1000, std::string("preprocessing failed: ") + e.what());
        bOk = false;
    }
    t_pState = nullptr;
    out.ExpandedTokens = state.uiExpandedTokens;
    out.ExpandedBytes = state.uiExpandedBytes;
    out.LiteralBytes = state.uiLiteralBytes;
    out.LiteralCopies = state.uiLiteralCopies;
    out.Cost = state.uiCost;
    if (bOk)
        *pOut = std::move(out);
    return bOk;
}

} // namespace d3dcompiler_internal
