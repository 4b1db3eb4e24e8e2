#include "platform/d3dcompiler/D3DCompilerPreprocessor.h"

#include "platform/d3dcompiler/D3DCompilerLineSplices.h"

// The lexer and the grammars that make and release tokens are compiled here rather than taken from
// the library. Tokens come from a memory pool, and the library's copy of that pool is its own: a
// token made on one side and released on the other went back to the other pool, so the pool of
// the side that makes them grew with each preprocessing, for good (about 400 KB for a 12 KB
// shader). The #if expression evaluator only reads tokens; it is compiled here too, so that its
// arithmetic goes through the checked operations below.
#define BOOST_WAVE_SEPARATE_LEXER_INSTANTIATION 0
#define BOOST_WAVE_SEPARATE_GRAMMAR_INSTANTIATION 0
// With assertions on, the library asks the file system whether each include name is a folder
// there, and aborts when it is ("#include \".\"") or fails when the name is longer than a path may
// be. Includes are never looked up on the file system here (the caller's ID3DInclude reads them),
// so every build reads them as a build without assertions does.
#define BOOST_DISABLE_ASSERTS

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

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <deque>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string_view>
#include <type_traits>
#include <utility>

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

// Not in an unnamed namespace: the grammar's operators below derive from them.
namespace d3dcompiler_internal
{

using ExpressionValue = boost::wave::grammars::closures::closure_value;

// Whether the #if operation has a result the 64-bit values cannot hold (the smallest value divided
// by -1 or negated, a sum, difference or product out of range) or shifts by a count outside 0 to
// 63. The library's operators do such an operation as it is, which is undefined (the division
// kills the process), and their own checks, which rely on signed overflow, are removed by the
// compiler. Operands of the library's unsigned arithmetic never overflow.
inline bool Overflows(char cOperator, const ExpressionValue& lhs, const ExpressionValue& rhs)
{
    const bool bSigned =
        lhs.get_type() == ExpressionValue::is_int && rhs.get_type() != ExpressionValue::is_uint;
    const std::int64_t iLeft = as_long(lhs);
    const std::int64_t iRight = as_long(rhs);
    std::int64_t iResult = 0;
    switch (cOperator)
    {
    case '+':
        return bSigned && __builtin_add_overflow(iLeft, iRight, &iResult);
    case '-':
        return bSigned && __builtin_sub_overflow(iLeft, iRight, &iResult);
    case '*':
        return bSigned && __builtin_mul_overflow(iLeft, iRight, &iResult);
    case '/':
    case '%':
        return bSigned && iLeft == std::numeric_limits<std::int64_t>::min() && iRight == -1;
    case '<':
    case '>':
        return rhs.get_type() == ExpressionValue::is_uint ? as_ulong(rhs) > 63 : iRight < 0 || iRight > 63;
    }
    return false;
}

// An #if operation of the library's, applied where it has a defined result; elsewhere the left
// operand gets the library's mark of an overflow, which fails the #if line with an error.
template <char OPERATOR>
struct CheckedOperation
{
    using result_type = ExpressionValue&;
    static ExpressionValue& eval(ExpressionValue& lhs, const ExpressionValue& rhs)
    {
        if (Overflows(OPERATOR, lhs, rhs))
        {
            lhs = ExpressionValue(as_long(lhs), boost::wave::grammars::value_error(
                                                    lhs.is_valid() | rhs.is_valid() |
                                                    boost::wave::grammars::error_integer_overflow));
            return lhs;
        }
        // The library's check of a signed quotient negates its left operand, which the smallest
        // value cannot be, and a compiler reads it as "the left operand is 0": 0 / -1 was an
        // overflow. Signed quotients are made here (a divisor of 0 is the library's error).
        const bool bSignedQuotient = (OPERATOR == '/' || OPERATOR == '%') &&
                                     lhs.get_type() == ExpressionValue::is_int &&
                                     rhs.get_type() != ExpressionValue::is_uint && as_long(rhs) != 0;
        if (bSignedQuotient)
        {
            const std::int64_t iLeft = as_long(lhs);
            const std::int64_t iRight = as_long(rhs);
            lhs = ExpressionValue(OPERATOR == '/' ? iLeft / iRight : iLeft % iRight, lhs.is_valid());
            return lhs;
        }
        switch (OPERATOR)
        {
        case '+':
            return lhs += rhs;
        case '-':
            return lhs -= rhs;
        case '*':
            return lhs *= rhs;
        case '/':
            return lhs /= rhs;
        case '%':
            return lhs %= rhs;
        case '<':
            return lhs <<= rhs;
        default:
            return lhs >>= rhs;
        }
    }
};

// Negation, likewise: of the smallest value (or of an unsigned value read as it) it overflows.
struct CheckedNegation
{
    using result_type = const ExpressionValue;
    static const ExpressionValue eval(const ExpressionValue& value)
    {
        const std::int64_t iValue = value.get_type() == ExpressionValue::is_uint
                                        ? static_cast<std::int64_t>(as_ulong(value))
                                        : as_long(value);
        if (value.get_type() != ExpressionValue::is_bool &&
            iValue == std::numeric_limits<std::int64_t>::min())
            return ExpressionValue(iValue,
                                   boost::wave::grammars::value_error(
                                       value.is_valid() | boost::wave::grammars::error_integer_overflow));
        return -value;
    }
};

} // namespace d3dcompiler_internal

// The #if expression grammar, compiled here with the lexer, does its arithmetic through these.
namespace phoenix
{

template <typename T1>
struct binary_operator<plus_assign_op, d3dcompiler_internal::ExpressionValue, T1>
    : d3dcompiler_internal::CheckedOperation<'+'>
{
};
template <typename T1>
struct binary_operator<minus_assign_op, d3dcompiler_internal::ExpressionValue, T1>
    : d3dcompiler_internal::CheckedOperation<'-'>
{
};
template <typename T1>
struct binary_operator<times_assign_op, d3dcompiler_internal::ExpressionValue, T1>
    : d3dcompiler_internal::CheckedOperation<'*'>
{
};
template <typename T1>
struct binary_operator<divide_assign_op, d3dcompiler_internal::ExpressionValue, T1>
    : d3dcompiler_internal::CheckedOperation<'/'>
{
};
template <typename T1>
struct binary_operator<mod_assign_op, d3dcompiler_internal::ExpressionValue, T1>
    : d3dcompiler_internal::CheckedOperation<'%'>
{
};
template <typename T1>
struct binary_operator<shift_l_assign_op, d3dcompiler_internal::ExpressionValue, T1>
    : d3dcompiler_internal::CheckedOperation<'<'>
{
};
template <typename T1>
struct binary_operator<shift_r_assign_op, d3dcompiler_internal::ExpressionValue, T1>
    : d3dcompiler_internal::CheckedOperation<'>'>
{
};
template <>
struct unary_operator<negative_op, d3dcompiler_internal::ExpressionValue>
    : d3dcompiler_internal::CheckedNegation
{
};
template <>
struct unary_operator<negative_op, const d3dcompiler_internal::ExpressionValue>
    : d3dcompiler_internal::CheckedNegation
{
};

} // namespace phoenix

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

// The library's category macro mixes two enumerations, which newer compilers warn about.
bool InCategory(boost::wave::token_id id, boost::wave::token_category category)
{
    const auto uiMask = static_cast<unsigned>(boost::wave::TokenTypeMask);
    return (static_cast<unsigned>(id) & uiMask) == (static_cast<unsigned>(category) & uiMask);
}

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
// A comment that spans lines is one space, as in C, where a token came before it on its line and
// a directive or a # comes after it: the library takes any such comment for a line break, so the
// directive began a line of its own ("a /*", "*/ #define X 1" defined X). Elsewhere the comment
// is left as it is, and the library's output, which has a line break for it, stays the same.
class LexerAdapter : public boost::wave::cpplexer::lex_input_interface<Token>
{
public:
    explicit LexerAdapter(boost::wave::cpplexer::lex_input_interface<Token>* pLexer) : m_pLexer(pLexer) {}

    Token& get(Token& token) override
    {
        Next(token);
        if (!token.is_eoi() && Is(token, boost::wave::T_PP_PRAGMA))
        {
            if (m_dHeld.empty())
            {
                m_dHeld.emplace_back();
                m_pLexer->get(m_dHeld.back());
            }
            if (EndsLine(m_dHeld.front()))
                m_dHeld.push_front(Token(boost::wave::T_SPACE, " ", token.get_position()));
        }
        // In a directive line the library reads on over the comment, and acts on the line (a #line
        // sets the lexer's position) before the tokens after it are read: none are read ahead.
        if (!token.is_eoi() && IsMultiLineComment(token) && m_bLineHasToken && !m_bLineIsDirective &&
            NextStartsDirective())
            token = Token(boost::wave::T_SPACE, " ", token.get_position());
        if (token.is_eoi() || EndsLine(token))
        {
            m_bLineHasToken = false;
            m_bLineIsDirective = false;
        }
        else if (!InCategory(boost::wave::token_id(token), boost::wave::WhiteSpaceTokenType) &&
                 !m_bLineHasToken)
        {
            m_bLineHasToken = true;
            m_bLineIsDirective = StartsDirective(token);
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
    void set_position(const position_type& position) override { m_pLexer->set_position(position); }
#if BOOST_WAVE_SUPPORT_PRAGMA_ONCE != 0
    bool has_include_guards(std::string& sGuardName) const override
    {
        return m_pLexer->has_include_guards(sGuardName);
    }
#endif

private:
    void Next(Token& token)
    {
        if (m_dHeld.empty())
        {
            m_pLexer->get(token);
            return;
        }
        token = m_dHeld.front();
        m_dHeld.pop_front();
    }

    static bool EndsLine(const Token& token)
    {
        return token.is_eoi() || Is(token, boost::wave::T_NEWLINE) || Is(token, boost::wave::T_CPPCOMMENT) ||
               Is(token, boost::wave::T_EOF);
    }

    static bool IsMultiLineComment(const Token& token)
    {
        return Is(token, boost::wave::T_CCOMMENT) && token.get_value().find('\n') != Token::string_type::npos;
    }

    // Whether the first token after the whitespace and comments that come next is a directive or a
    // #, read ahead and held.
    bool NextStartsDirective()
    {
        for (std::size_t i = 0;; ++i)
        {
            if (i == m_dHeld.size())
            {
                m_dHeld.emplace_back();
                m_pLexer->get(m_dHeld.back());
            }
            const Token& next = m_dHeld[i];
            if (EndsLine(next))
                return false;
            if (!InCategory(boost::wave::token_id(next), boost::wave::WhiteSpaceTokenType))
                return StartsDirective(next);
        }
    }

    static bool StartsDirective(const Token& token)
    {
        return InCategory(boost::wave::token_id(token), boost::wave::PPTokenType) ||
               Is(token, boost::wave::T_POUND);
    }

    std::unique_ptr<boost::wave::cpplexer::lex_input_interface<Token>> m_pLexer;
    Token::position_type::string_type m_sFile; // of the last token, shared with it
    std::deque<Token> m_dHeld;                 // tokens read ahead, to give before reading on
    bool m_bLineHasToken = false;              // a token other than whitespace since the last line break
    bool m_bLineIsDirective = false;           // and the first of them is a directive or a #
};

void CheckLexedText(std::string::iterator first, std::string::iterator last,
                    const Token::position_type& position);

// The library's lexer, reading numbers as the literals they are. The library has every file's
// lexer read preprocessing numbers and then reads each number it gets again with a lexer made for
// it alone, which costs about 100,000 instructions and 200 allocations: a text of numbers took
// 13 microseconds a number, 20 times an identifier. A number read as a literal at once is the
// same token of the same text; only malformed numbers ("1e", "0xe+1") split differently.
class LexIterator : public boost::wave::cpplexer::lex_iterator<Token>
{
public:
    LexIterator() = default;
    template <typename IteratorT>
    LexIterator(const IteratorT& first, const IteratorT& last, const Token::position_type& position,
                boost::wave::language_support language)
    {
        using MultiPass = boost::wave::cpplexer::make_multi_pass<
            boost::wave::cpplexer::impl::lex_iterator_functor_shim<Token>>;
        MultiPass::type::operator=(MultiPass::type(MultiPass::functor_data_type(
            {},
            new LexerAdapter(boost::wave::cpplexer::lex_input_interface_generator<Token>::new_lexer(
                first, last, position,
                boost::wave::language_support(language & ~boost::wave::support_option_prefer_pp_numbers))))));
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
    std::vector<const void*> vOpen;  // data of the files being read, the source itself first
    bool bNextIsSystem = false;      // the directive being handled used <name>
    std::string sFailedInclude;      // the include that could not be opened
    std::size_t uiIncludes = 0;      // includes opened so far
    std::size_t uiIncludedBytes = 0; // and the bytes they held

    std::size_t uiMacroNesting = 0;      // macro expansions under way, one inside the other
    Token::position_type outerCall;      // of the outermost of them, where errors point
    std::size_t uiExpandedTokens = 0;    // tokens the macro expansions have read and made so far
    std::size_t uiExpandedBytes = 0;     // and their bytes
    std::size_t uiLiteralBytes = 0;      // of the literals stringizing and __FILE__ made
    std::size_t uiLiteralCopies = 0;     // and the bytes the library copied to build them
    bool bInCondition = false;           // the expansions belong to an #if or #elif expression
    std::size_t uiConditionLevels = 0;   // nesting tokens they have added to that expression
    std::size_t uiConditionTokens = 0;   // and tokens in all
    std::size_t uiDirectiveCost = 0;     // of the directive lines of all texts read so far
    std::vector<const char*> vFileTexts; // the texts of the source and the includes open, as read
    bool bCheckingText = false;          // CheckLexedText is lexing a text of its own
};

thread_local PreprocessState* t_pState = nullptr;

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

// A token after which the expression evaluator goes one level deeper: an opening parenthesis,
// a conditional or a unary operator (+ and - counted whether unary or not).
bool OpensLevel(const Token& token)
{
    return Is(token, boost::wave::T_LEFTPAREN) || Is(token, boost::wave::T_QUESTION_MARK) ||
           Is(token, boost::wave::T_NOT) || Is(token, boost::wave::T_COMPL) ||
           Is(token, boost::wave::T_PLUS) || Is(token, boost::wave::T_MINUS);
}

// How deep the evaluator goes for one #if or #elif expression, fed its tokens in order. Each
// open parenthesis holds the levels of what comes before it; a conditional operator stays open
// to the end of its parenthesis (a ? b : c ? d : e nests to the right); a run of unary operators
// lasts until its operand.
class ConditionDepth
{
public:
    // The depth reached with this token.
    std::size_t Add(const Token& token)
    {
        if (IsSpace(token))
            return m_uiBase + m_uiConditionals + m_uiUnary;
        if (Is(token, boost::wave::T_LEFTPAREN))
        {
            m_vEnclosing.push_back({m_uiBase, m_uiConditionals});
            m_uiBase += m_uiConditionals + m_uiUnary + 1;
            m_uiConditionals = 0;
            m_uiUnary = 0;
        }
        else if (Is(token, boost::wave::T_RIGHTPAREN))
        {
            if (!m_vEnclosing.empty())
            {
                m_uiBase = m_vEnclosing.back().first;
                m_uiConditionals = m_vEnclosing.back().second;
                m_vEnclosing.pop_back();
            }
            m_uiUnary = 0;
            m_bOperand = true;
            return m_uiBase + m_uiConditionals;
        }
        else if (Is(token, boost::wave::T_QUESTION_MARK))
        {
            ++m_uiConditionals;
            m_uiUnary = 0;
        }
        else if (Is(token, boost::wave::T_NOT) || Is(token, boost::wave::T_COMPL) ||
                 ((Is(token, boost::wave::T_PLUS) || Is(token, boost::wave::T_MINUS)) && !m_bOperand))
        {
            ++m_uiUnary;
        }
        else
        {
            m_uiUnary = 0;
        }
        m_bOperand = !InCategory(boost::wave::token_id(token), boost::wave::OperatorTokenType);
        return m_uiBase + m_uiConditionals + m_uiUnary;
    }

private:
    std::vector<std::pair<std::size_t, std::size_t>> m_vEnclosing; // base and conditionals
    std::size_t m_uiBase = 0;
    std::size_t m_uiConditionals = 0;
    std::size_t m_uiUnary = 0;
    bool m_bOperand = false; // the last token ends an operand: + and - after it are binary
};

// The character continues a preprocessing number whose last character is cPrevious: C reads a
// number on as long as letters, digits, underscores, dots and signs after an exponent's e or p
// follow, although only a prefix of that may be a literal.
bool ContinuesNumber(char cPrevious, char c)
{
    if (c == '+' || c == '-')
        return cPrevious == 'e' || cPrevious == 'E' || cPrevious == 'p' || cPrevious == 'P';
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
           c == '.' || c == '\\';
}

// What the library makes of a directive line: text it quotes in a message (and may make again
// for each line, as for #warning), text it quotes once in the error that ends preprocessing (#if
// and #elif), or tokens it parses and keeps.
enum class LineKind
{
    Parsed,
    Quoted,
    QuotedOnError,
    PragmaPending, // a #pragma whose first word is still to come
};

LineKind KindOfDirective(const Token& directive)
{
    if (Is(directive, boost::wave::T_PP_DEFINE))
        return LineKind::Parsed;
    if (Is(directive, boost::wave::T_PP_PRAGMA))
        return LineKind::PragmaPending;
    if (Is(directive, boost::wave::T_PP_IF) || Is(directive, boost::wave::T_PP_ELIF))
        return LineKind::QuotedOnError;
    return LineKind::Quoted;
}

// The first word of a pragma's text: the library makes text of a message and of its own options.
bool IsQuotedPragma(const Token& word)
{
    return Is(word, boost::wave::T_IDENTIFIER) &&
           (word.get_value() == "message" || word.get_value() == "wave");
}

// The cost of a directive line of uiTokens tokens and uiBytes bytes (see MAX_DIRECTIVE_COST).
std::size_t LineCost(LineKind eKind, std::size_t uiTokens, std::size_t uiBytes)
{
    return uiTokens + (eKind == LineKind::Quoted ? uiTokens * uiBytes / QUOTED_LINE_COST_BYTES : 0);
}

// Fails with a LimitError where a directive line of the text passes a limit, before the library
// reads any of it. Every text is read, with the library's own lexer as preprocessing reads it
// (line splices, comments and literals alike), so no line is taken shorter than the library takes
// it: a line runs on to the next line break outside a comment, as the library's grammar reads it.
// Where the lexer fails, preprocessing fails there too and the rest is never read. A line is a
// directive line where its first token that is not blank is a directive or a # (a comment that
// spans lines begins a line where nothing but blanks came before it on its line). The cost of each
// directive line, whitespace and comments included, counts against the cost all directive lines of
// the preprocessing may have (*pDirectiveCost, carried from text to text), and the bytes of a line
// of a kind the library quotes against the limit of one such line. #if and #elif lines, and
// directives of that kind wherever they stand, are held to the nesting and token limits of an #if
// expression, and refused where they hold a malformed number.
void CheckDirectiveLines(std::string::iterator first, std::string::iterator last, const std::string& sName,
                         std::size_t* pDirectiveCost)
{
    // Every directive, and the # of a null directive, begins with #, %: or ??= (the lexer reads
    // the last two over line splices too): a text without #, % and ? has no directive line.
    if (std::string_view(&*first, static_cast<std::size_t>(last - first)).find_first_of("#%?") ==
        std::string_view::npos)
        return;
    try
    {
        LexIterator it(first, last, Token::position_type(sName.c_str()), LANGUAGE);
        const LexIterator end;
        bool bLineStart = true;
        bool bInDirective = false;
        LineKind eKind = LineKind::Parsed;
        std::size_t uiLineTokens = 0; // of the directive line being read
        std::size_t uiLineBytes = 0;
        bool bInCondition = false;
        ConditionDepth depth;
        std::size_t uiTokens = 0;
        // The preprocessing number of the #if line being read, while its next character may
        // continue it, and where it began.
        std::string sNumber;
        Token::position_type numberPosition;
        std::size_t uiNumberLiteral = 0; // the characters of it the lexer read as a literal
        const auto endNumber = [&]()
        {
            if (sNumber.size() > uiNumberLiteral)
                throw LimitError(numberPosition, "#if expression holds a malformed number: " + sNumber);
            sNumber.clear();
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
            if (Is(token, boost::wave::T_NEWLINE) || Is(token, boost::wave::T_CPPCOMMENT) ||
                Is(token, boost::wave::T_EOF))
            {
                endNumber();
                endLine();
                bLineStart = true;
                bInCondition = false;
                continue;
            }
            const bool bSpace = IsSpace(token);
            if (!bInDirective && bLineStart && !bSpace &&
                (InCategory(id, boost::wave::PPTokenType) || Is(token, boost::wave::T_POUND)))
            {
                bInDirective = true;
                eKind = KindOfDirective(token);
                uiLineTokens = 0;
                uiLineBytes = 0;
            }
            else if (bInDirective && eKind == LineKind::PragmaPending && !bSpace)
            {
                eKind = IsQuotedPragma(token) ? LineKind::Quoted : LineKind::Parsed;
            }
            if (bSpace && Is(token, boost::wave::T_CCOMMENT))
                bLineStart = bLineStart || token.get_value().find('\n') != Token::string_type::npos;
            else if (!bSpace)
                bLineStart = false;
            if (bInDirective)
            {
                ++uiLineTokens;
                uiLineBytes += token.get_value().size();
                if (eKind == LineKind::Quoted || eKind == LineKind::QuotedOnError)
                    CheckLimit(uiLineBytes, MAX_QUOTED_LINE_BYTES, token.get_position(),
                               "directive line holds more than ", " bytes");
                CheckLimit(*pDirectiveCost + LineCost(eKind, uiLineTokens, uiLineBytes), MAX_DIRECTIVE_COST,
                           token.get_position(), "directive lines cost more than ",
                           " (tokens, and tokens times bytes / 65536 of lines made into text) in all");
            }
            if (Is(token, boost::wave::T_PP_IF) || Is(token, boost::wave::T_PP_ELIF))
            {
                bInCondition = true;
                depth = ConditionDepth();
                uiTokens = 0;
                continue;
            }
            if (!bInCondition)
                continue;
            CheckLimit(depth.Add(token), MAX_CONDITION_NESTING, token.get_position(),
                       "#if expression nests deeper than ", " levels");
            uiTokens += bSpace ? 0 : 1;
            CheckLimit(uiTokens, MAX_CONDITION_TOKENS, token.get_position(),
                       "#if expression holds more than ", " tokens");
            // The lexer reads the longest literal at the start of a number; C reads the whole
            // preprocessing number, which the tokens right after it may continue.
            const auto& sValue = token.get_value();
            std::size_t uiContinued = 0;
            while (!sNumber.empty() && !bSpace && uiContinued < sValue.size() &&
                   ContinuesNumber(sNumber.back(), sValue[uiContinued]))
                sNumber += sValue[uiContinued++];
            if (uiContinued < sValue.size())
                endNumber();
            if (sNumber.empty() && (InCategory(id, boost::wave::IntegerLiteralTokenType) ||
                                    InCategory(id, boost::wave::FloatingLiteralTokenType)))
            {
                sNumber = sValue.c_str();
                uiNumberLiteral = sNumber.size();
                numberPosition = token.get_position();
            }
        }
        endLine();
    }
    catch (const boost::wave::cpplexer::lexing_exception&)
    {
    }
}

// Charges the text a _Pragma operator makes, which the library reads with a lexer of its own, as a
// #pragma line of the same tokens: the library makes text of a message or of its own options a
// token at a time, as of a directive line, and the check of directive lines never saw it (a
// _Pragma("message(...)") of a megabyte took 8.5 s). Texts of the files being read are checked as
// they are opened; other texts the library lexes (pasted tokens, the caller's macro table) begin
// otherwise.
void CheckLexedText(std::string::iterator first, std::string::iterator last,
                    const Token::position_type& position)
{
    PreprocessState* pState = t_pState;
    if (pState == nullptr || pState->bCheckingText || first == last)
        return;
    const char* pText = &*first;
    if (std::find(pState->vFileTexts.begin(), pState->vFileTexts.end(), pText) != pState->vFileTexts.end())
        return;
    const std::string_view sText(pText, static_cast<std::size_t>(last - first));
    const std::size_t uiWord = std::min(sText.find_first_not_of(" \t"), sText.size());
    std::size_t uiWordEnd = uiWord;
    while (uiWordEnd < sText.size() &&
           (std::isalnum(static_cast<unsigned char>(sText[uiWordEnd])) != 0 || sText[uiWordEnd] == '_'))
        ++uiWordEnd;
    const std::string_view sWord = sText.substr(uiWord, uiWordEnd - uiWord);
    if (sWord != "message" && sWord != "wave")
        return;
    CheckLimit(sText.size(), MAX_QUOTED_LINE_BYTES, position, "_Pragma text holds more than ", " bytes");
    std::size_t uiTokens = 0;
    pState->bCheckingText = true;
    try
    {
        const LexIterator end;
        for (LexIterator it(first, last, position, LANGUAGE); it != end; ++it)
            uiTokens += Is(*it, boost::wave::T_EOF) ? 0 : 1;
    }
    catch (const boost::wave::cpplexer::lexing_exception&)
    {
        uiTokens = sText.size(); // what the library reads of it, at most
    }
    pState->bCheckingText = false;
    pState->uiDirectiveCost += LineCost(LineKind::Quoted, uiTokens, sText.size());
    CheckLimit(pState->uiDirectiveCost, MAX_DIRECTIVE_COST, position, "directive lines cost more than ",
               " (tokens, and tokens times bytes / 65536 of lines made into text) in all");
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
            pState->uiIncludedBytes += uiBytes;
            CheckLimit(++pState->uiIncludes, MAX_INCLUDES, actPos, "more than ", " includes");
            CheckLimit(pState->uiIncludedBytes, MAX_INCLUDED_BYTES, actPos, "included text passes ",
                       " bytes");
            iterCtx.m_sText.assign(static_cast<const char*>(pData), uiBytes);
            if (iterCtx.m_sText.empty() || iterCtx.m_sText.back() != '\n')
                iterCtx.m_sText += '\n';
            pState->vFileTexts.push_back(iterCtx.m_sText.data());
            CheckDirectiveLines(iterCtx.m_sText.begin(), iterCtx.m_sText.end(), iterCtx.filename.c_str(),
                                &pState->uiDirectiveCost);
            iterCtx.first = iterator_type(iterCtx.m_sText.begin(), iterCtx.m_sText.end(),
                                          PositionT(iterCtx.filename), language);
            iterCtx.last = iterator_type();
        }

    private:
        const void* m_pOpened = nullptr;
        std::string m_sText;
    };
};

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
    // for each escape, and __FILE__ escapes it again.
    template <typename ContextT>
    bool found_include_directive(const ContextT& ctx, const std::string& sFileName, bool)
    {
        CheckLimit(sFileName.size() - std::min<std::size_t>(sFileName.size(), 2), MAX_FILE_NAME_BYTES,
                   ctx.get_main_pos(), "include file name passes ", " bytes");
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
    bool expanding_function_like_macro(const ContextT&, const Token&, const std::vector<Token>&,
                                       const ContainerT& definition, const Token& macroCall,
                                       const std::vector<ContainerT>& arguments, const IteratorT&,
                                       const IteratorT&)
    {
        EnterMacro(macroCall);
        // The arguments are copies the library has collected, the calls inside them included: a
        // call nested in the arguments of another is collected once more at each level.
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
        return false;
    }

    template <typename ContextT, typename ContainerT>
    void expanded_macro(const ContextT&, const ContainerT& result)
    {
        PreprocessState* pState = t_pState;
        if (pState == nullptr || result.empty())
            return;
        AddExpanded(result.size(), BytesOf(result));
        // Every level and token the expression gains from a macro counts, wherever it lands; a
        // token passed on from one expansion to the one around it counts again.
        if (pState->bInCondition)
        {
            for (const Token& token : result)
            {
                pState->uiConditionLevels += OpensLevel(token) ? 1 : 0;
                pState->uiConditionTokens += IsSpace(token) ? 0 : 1;
            }
            CheckLimit(pState->uiConditionLevels, MAX_CONDITION_NESTING, pState->outerCall,
                       "#if expression: macros add more than ", " parentheses and operators");
            CheckLimit(pState->uiConditionTokens, MAX_CONDITION_TOKENS, pState->outerCall,
                       "#if expression: macros add more than ", " tokens");
        }
    }

    template <typename ContextT, typename ContainerT>
    void rescanned_macro(const ContextT&, const ContainerT&)
    {
        if (t_pState != nullptr && t_pState->uiMacroNesting > 0)
            --t_pState->uiMacroNesting;
    }

    // The expansions that follow, up to the evaluation, belong to the expression of an #if or
    // #elif. The next token read from a file ends that (an #elif need not be evaluated).
    template <typename ContextT>
    bool found_directive(const ContextT&, const Token& directive)
    {
        if (t_pState != nullptr)
        {
            t_pState->bInCondition =
                Is(directive, boost::wave::T_PP_IF) || Is(directive, boost::wave::T_PP_ELIF);
            t_pState->uiConditionLevels = 0;
            t_pState->uiConditionTokens = 0;
        }
        return false;
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

private:
    template <typename ContainerT>
    static std::size_t BytesOf(const ContainerT& tokens)
    {
        std::size_t uiBytes = 0;
        for (const Token& token : tokens)
            uiBytes += token.get_value().size();
        return uiBytes;
    }

    // Tokens and bytes of a macro argument, or of a token of a replacement list, with the
    // characters that stringizing escapes (in its string and character literals) and the bytes
    // the library copies to escape them.
    struct Extent
    {
        std::size_t uiTokens = 0;
        std::size_t uiBytes = 0;
        std::size_t uiEscapes = 0;
        std::size_t uiEscapeCopies = 0;
    };

    // The library escapes a text by appending it a piece at a time, up to each character to
    // escape, to a string that it copies whole with each piece.
    static Extent EscapedExtent(const char* pText, std::size_t uiSize)
    {
        Extent extent{1, uiSize, 0, 0};
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
        const auto extentOf = [&vArguments](const Token& token) -> Extent
        {
            const boost::wave::token_id id = boost::wave::token_id(token);
            if (InExtCategory(id, boost::wave::ParameterTokenType))
            {
                const std::size_t i = id - boost::wave::T_PARAMETERBASE;
                return i < vArguments.size() ? vArguments[i] : Extent();
            }
            if (!InExtCategory(id, boost::wave::ExtParameterTokenType))
                return {1, token.get_value().size()};
            Extent all; // the arguments with a comma after each
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
        CheckLimit(pState->uiExpandedTokens, MAX_EXPANDED_TOKENS, pState->outerCall,
                   "macro expansion passes ", " tokens read and made");
        CheckLimit(pState->uiExpandedBytes, MAX_EXPANDED_BYTES, pState->outerCall, "macro expansion passes ",
                   " bytes read and made");
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

// Boost.Wave's grammars keep static parser state that is not safe to share between threads,
// so one preprocessing runs at a time.
std::mutex s_mutex;

// A remark or warning (a missing line break at the end, #warning, #pragma message, a macro
// defined again): preprocessing goes on after it, and it is not reported.
bool IsWarning(const boost::wave::cpp_exception& e)
{
    return e.is_recoverable() && e.get_severity() < boost::wave::util::severity_error;
}

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
    return e.description();
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
        CheckDirectiveLines(sText.begin(), sText.end(), pName, pDirectiveCost);
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
    std::string sSource(pSource != nullptr ? pSource : "", pSource != nullptr ? uiSize : 0);
    if (sSource.empty() || sSource.back() != '\n')
        sSource += '\n';

    std::lock_guard<std::mutex> lock(s_mutex);
    PreprocessState state;
    state.pInclude = pInclude;
    state.vOpen.push_back(pSource);
    t_pState = &state;
    PreprocessedSource out;
    bool bOk = true;
    // Wave names the main file by its absolute path; errors and tokens show the caller's name.
    std::string sWaveName;
    try
    {
        state.vFileTexts.push_back(sSource.data());
        CheckDirectiveLines(sSource.begin(), sSource.end(), sName, &state.uiDirectiveCost);
        Context ctx(sSource.begin(), sSource.end(), sName.c_str());
        ctx.set_language(LANGUAGE);
        ctx.set_max_include_nesting_depth(MAX_INCLUDE_DEPTH);
        for (const D3D_SHADER_MACRO* pMacro = pDefines; pMacro != nullptr && pMacro->Name != nullptr;
             ++pMacro)
        {
            std::string sDefinition = pMacro->Name;
            sDefinition += '=';
            if (pMacro->Definition != nullptr)
                sDefinition += pMacro->Definition;
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
            // The library reads a token when the iterator is compared as well as when it steps: a
            // remark or warning met in either lets preprocessing go on.
            for (;;)
            {
                try
                {
                    if (it == end)
                        break;
                    const Token& token = *it;
                    const boost::wave::token_id id = boost::wave::token_id(token);
                    out.Text += token.get_value().c_str();
                    CheckLimit(out.Text.size(), MAX_OUTPUT_BYTES, token.get_position(),
                               "preprocessed output passes ", " bytes");
                    if (!InCategory(id, boost::wave::WhiteSpaceTokenType) &&
                        !InCategory(id, boost::wave::EOLTokenType) &&
                        !InCategory(id, boost::wave::EOFTokenType))
                    {
                        const auto& position = token.get_position();
                        if (pLastFile == nullptr || position.get_file().c_str() != sLastFile.c_str())
                        {
                            sLastFile = position.get_file();
                            const std::string sFile =
                                sLastFile == sWaveName.c_str() ? sName : sLastFile.c_str();
                            std::shared_ptr<const std::string>& pShared = mapFiles[sFile];
                            if (pShared == nullptr)
                                pShared = std::make_shared<const std::string>(sFile);
                            pLastFile = pShared;
                        }
                        out.Tokens.push_back({token.get_value().c_str(), pLastFile,
                                              static_cast<std::uint32_t>(position.get_line()),
                                              static_cast<std::uint32_t>(position.get_column())});
                    }
                    ++it;
                }
                catch (const boost::wave::cpp_exception& e)
                {
                    // A warning lets preprocessing go on, also from inside an expansion, which is then
                    // abandoned.
                    if (!IsWarning(e))
                        throw;
                    state.uiMacroNesting = 0;
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
        *pErrors += FormatError(sFile, static_cast<std::uint32_t>(e.line_no()),
                                static_cast<std::uint32_t>(e.column_no()), 1000, e.description());
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
    if (bOk)
        *pOut = std::move(out);
    return bOk;
}

} // namespace d3dcompiler_internal
