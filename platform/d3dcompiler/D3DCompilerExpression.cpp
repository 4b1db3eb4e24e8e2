#include "platform/d3dcompiler/D3DCompilerExpression.h"

#include "platform/d3dcompiler/D3DCompilerNumbers.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace d3dcompiler_internal
{

namespace
{

constexpr std::uint64_t SIGN = std::uint64_t(1) << 63;

// A value of the expression, with the first error met where it was evaluated: an error stays
// with the value until an operator that does not evaluate it drops it.
struct Value
{
    std::uint64_t uiBits = 0;
    bool bUnsigned = false;
    ConditionError eError = ConditionError::None;
};

enum class Operator : std::uint8_t
{
    LeftParen,
    Question,
    Conditional, // a ?: whose : has been read
    Comma,
    OrOr,
    AndAnd,
    Or,
    Xor,
    And,
    Equal,
    NotEqual,
    Less,
    Greater,
    LessEqual,
    GreaterEqual,
    ShiftLeft,
    ShiftRight,
    Add,
    Subtract,
    Multiply,
    Divide,
    Remainder,
    Plus, // unary
    Minus,
    Not,
    Complement,
};

// How tightly an operator binds, as C's grammar nests them; unary operators bind tightest.
int Precedence(Operator e)
{
    switch (e)
    {
    case Operator::LeftParen:
    case Operator::Question:
        return 0;
    case Operator::Comma:
        return 1;
    case Operator::Conditional:
        return 3;
    case Operator::OrOr:
        return 4;
    case Operator::AndAnd:
        return 5;
    case Operator::Or:
        return 6;
    case Operator::Xor:
        return 7;
    case Operator::And:
        return 8;
    case Operator::Equal:
    case Operator::NotEqual:
        return 9;
    case Operator::Less:
    case Operator::Greater:
    case Operator::LessEqual:
    case Operator::GreaterEqual:
        return 10;
    case Operator::ShiftLeft:
    case Operator::ShiftRight:
        return 11;
    case Operator::Add:
    case Operator::Subtract:
        return 12;
    case Operator::Multiply:
    case Operator::Divide:
    case Operator::Remainder:
        return 13;
    default:
        return 14;
    }
}

bool IsUnary(Operator e)
{
    return e == Operator::Plus || e == Operator::Minus || e == Operator::Not || e == Operator::Complement;
}

// The binary operator the text spells (trigraphs read as what they stand for), or false.
bool BinaryOperator(const std::string& s, Operator* pOperator)
{
    static const struct
    {
        const char* pText;
        Operator eOperator;
    } OPERATORS[] = {
        {",", Operator::Comma},      {"||", Operator::OrOr},       {"&&", Operator::AndAnd},
        {"|", Operator::Or},         {"^", Operator::Xor},         {"&", Operator::And},
        {"==", Operator::Equal},     {"!=", Operator::NotEqual},   {"<", Operator::Less},
        {">", Operator::Greater},    {"<=", Operator::LessEqual},  {">=", Operator::GreaterEqual},
        {"<<", Operator::ShiftLeft}, {">>", Operator::ShiftRight}, {"+", Operator::Add},
        {"-", Operator::Subtract},   {"*", Operator::Multiply},    {"/", Operator::Divide},
        {"%", Operator::Remainder},
    };
    for (const auto& entry : OPERATORS)
    {
        if (s == entry.pText)
        {
            *pOperator = entry.eOperator;
            return true;
        }
    }
    return false;
}

// The text with the trigraphs of operators (??! for |, ??' for ^, ??- for ~) replaced.
std::string Untrigraph(std::string_view text)
{
    std::string s;
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] == '?' && i + 2 < text.size() && text[i + 1] == '?')
        {
            const char c = text[i + 2];
            if (c == '!' || c == '\'' || c == '-')
            {
                s += c == '!' ? '|' : c == '\'' ? '^' : '~';
                i += 2;
                continue;
            }
        }
        s += text[i];
    }
    return s;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

int HexDigit(char c)
{
    if (IsDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string Quoted(std::string_view text)
{
    constexpr std::size_t MAX_QUOTED = 64;
    std::string s(1, '\'');
    s.append(text.data(), std::min(text.size(), MAX_QUOTED));
    s.append(text.size() > MAX_QUOTED ? "...'" : "'");
    return s;
}

// An integer constant as C99 reads it: decimal, octal or hexadecimal digits and a suffix of u and
// l, ll (in one case), in either order. A decimal constant without u that does not fit the signed
// type is unsigned, as gcc reads it; one past 64 bits is refused.
bool ReadNumber(std::string_view text, Value* pValue, std::string* pWhat)
{
    std::size_t i = 0;
    unsigned uiBase = 10;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    {
        uiBase = 16;
        i = 2;
    }
    else if (text[0] == '0')
    {
        uiBase = 8;
    }
    const bool bHex = uiBase == 16;
    if (IsFloatingNumber(text))
    {
        *pWhat = "floating constant " + Quoted(text);
        return false;
    }
    const std::size_t uiDigits = i;
    std::uint64_t uiValue = 0;
    bool bTooLarge = false;
    for (; i < text.size(); ++i)
    {
        const int iDigit = bHex ? HexDigit(text[i]) : IsDigit(text[i]) ? text[i] - '0' : -1;
        if (iDigit < 0)
            break;
        if (iDigit >= static_cast<int>(uiBase))
        {
            *pWhat = "invalid digit in octal constant " + Quoted(text);
            return false;
        }
        bTooLarge = bTooLarge || __builtin_mul_overflow(uiValue, uiBase, &uiValue) ||
                    __builtin_add_overflow(uiValue, static_cast<std::uint64_t>(iDigit), &uiValue);
    }
    const std::string_view suffix = text.substr(i);
    if (i == uiDigits)
    {
        *pWhat = "invalid integer constant " + Quoted(text);
        return false;
    }
    bool bUnsignedSuffix = false;
    if (!IsIntegerSuffix(suffix, &bUnsignedSuffix))
    {
        *pWhat = "invalid suffix on integer constant " + Quoted(text);
        return false;
    }
    if (bTooLarge)
    {
        *pWhat = "integer constant is too large " + Quoted(text);
        return false;
    }
    pValue->uiBits = uiValue;
    pValue->bUnsigned = bUnsignedSuffix || uiValue >= SIGN;
    return true;
}

// A character constant as gcc reads it with unsigned chars: one character is an unsigned value of
// 8 bits; several are a signed int of 32 bits, each character shifted in from the right (the last
// four kept). A wide one (L'') is a signed int of 32 bits, its last character. Escapes past a
// character's range, unknown escapes and an empty constant are refused.
bool ReadCharacter(std::string_view text, Value* pValue, std::string* pWhat)
{
    const bool bWide = text[0] == 'L';
    std::string_view body = text.substr(bWide ? 1 : 0);
    if (body.size() < 2 || body.front() != '\'' || body.back() != '\'')
    {
        *pWhat = "invalid character constant " + Quoted(text);
        return false;
    }
    body = body.substr(1, body.size() - 2);
    const std::uint32_t uiMax = bWide ? 0xffffffffu : 0xffu;
    std::uint32_t uiResult = 0;
    std::size_t uiCharacters = 0;
    for (std::size_t i = 0; i < body.size();)
    {
        std::uint64_t uiCharacter = static_cast<unsigned char>(body[i++]);
        if (bWide && uiCharacter >= 0x80)
        {
            *pWhat = "character constant holds a character outside ASCII " + Quoted(text);
            return false;
        }
        if (uiCharacter == '\\')
        {
            if (i == body.size())
            {
                *pWhat = "invalid character constant " + Quoted(text);
                return false;
            }
            const char c = body[i++];
            static const char SIMPLE[] = "'\"?\\abfnrtv";
            static const char VALUES[] = "'\"?\\\a\b\f\n\r\t\v";
            const char* pSimple = c != '\0' ? std::strchr(SIMPLE, c) : nullptr;
            if (pSimple != nullptr)
            {
                uiCharacter = static_cast<unsigned char>(VALUES[pSimple - SIMPLE]);
            }
            else if (c >= '0' && c <= '7')
            {
                uiCharacter = static_cast<std::uint64_t>(c - '0');
                for (int iMore = 0; iMore < 2 && i < body.size() && body[i] >= '0' && body[i] <= '7'; ++iMore)
                    uiCharacter = uiCharacter * 8 + static_cast<std::uint64_t>(body[i++] - '0');
            }
            else if (c == 'x')
            {
                const std::size_t uiStart = i;
                uiCharacter = 0;
                while (i < body.size() && HexDigit(body[i]) >= 0)
                {
                    uiCharacter = uiCharacter * 16 + static_cast<std::uint64_t>(HexDigit(body[i++]));
                    if (uiCharacter > uiMax)
                        break;
                }
                if (i == uiStart)
                {
                    *pWhat = "\\x used with no following hex digits in " + Quoted(text);
                    return false;
                }
            }
            else
            {
                *pWhat = "unknown escape sequence in character constant " + Quoted(text);
                return false;
            }
            if (uiCharacter > uiMax)
            {
                *pWhat = "escape sequence out of range in character constant " + Quoted(text);
                return false;
            }
        }
        ++uiCharacters;
        uiResult = bWide ? static_cast<std::uint32_t>(uiCharacter)
                         : static_cast<std::uint32_t>((uiResult << 8) | uiCharacter);
    }
    if (uiCharacters == 0)
    {
        *pWhat = "empty character constant " + Quoted(text);
        return false;
    }
    if (!bWide && uiCharacters == 1)
    {
        pValue->uiBits = uiResult;
        pValue->bUnsigned = true;
        return true;
    }
    pValue->uiBits =
        static_cast<std::uint64_t>(static_cast<std::int64_t>(static_cast<std::int32_t>(uiResult)));
    pValue->bUnsigned = false;
    return true;
}

bool IsIdentifierStart(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$' ||
           static_cast<unsigned char>(c) >= 0x80 || c == '\\';
}

// The operand a token spells: a number, a character constant, or an identifier no macro
// replaced (0).
bool ReadOperand(std::string_view text, Value* pValue, std::string* pWhat)
{
    if (IsDigit(text[0]) || (text[0] == '.' && text.size() > 1 && IsDigit(text[1])))
        return ReadNumber(text, pValue, pWhat);
    if (text[0] == '\'' || (text.size() > 1 && text[0] == 'L' && text[1] == '\''))
        return ReadCharacter(text, pValue, pWhat);
    // An identifier (not a literal with a prefix, such as u'a').
    if (IsIdentifierStart(text[0]) &&
        std::all_of(text.begin(), text.end(), [](char c) { return IsIdentifierStart(c) || IsDigit(c); }))
    {
        *pValue = Value();
        return true;
    }
    *pWhat = "token " + Quoted(text) + " is not valid in preprocessor expressions";
    return false;
}

bool IsZero(const Value& value)
{
    return value.uiBits == 0;
}

std::int64_t Signed(std::uint64_t uiBits)
{
    return static_cast<std::int64_t>(uiBits);
}

ConditionError FirstError(const Value& a, const Value& b)
{
    return a.eError != ConditionError::None ? a.eError : b.eError;
}

// a << n as gcc shifts: a signed value overflows where shifting back does not give it again.
Value ShiftLeft(Value a, std::uint64_t uiCount)
{
    if (uiCount >= 64)
    {
        if (!a.bUnsigned && a.uiBits != 0)
            a.eError = ConditionError::Overflow;
        a.uiBits = 0;
        return a;
    }
    const std::uint64_t uiResult = a.uiBits << uiCount;
    if (!a.bUnsigned && (Signed(uiResult) >> uiCount) != Signed(a.uiBits))
        a.eError = ConditionError::Overflow;
    a.uiBits = uiResult;
    return a;
}

// a >> n: arithmetic for a signed value; past the width it leaves only the sign.
Value ShiftRight(Value a, std::uint64_t uiCount)
{
    const bool bNegative = !a.bUnsigned && (a.uiBits & SIGN) != 0;
    if (uiCount >= 64)
        a.uiBits = bNegative ? ~std::uint64_t(0) : 0;
    else
        a.uiBits =
            a.bUnsigned ? a.uiBits >> uiCount : static_cast<std::uint64_t>(Signed(a.uiBits) >> uiCount);
    return a;
}

Value Truth(bool b, ConditionError eError)
{
    return Value{b ? 1u : 0u, false, eError};
}

Value Unary(Operator e, Value a)
{
    switch (e)
    {
    case Operator::Minus:
        if (!a.bUnsigned && a.uiBits == SIGN && a.eError == ConditionError::None)
            a.eError = ConditionError::Overflow;
        a.uiBits = 0 - a.uiBits;
        return a;
    case Operator::Not:
        return Truth(a.uiBits == 0, a.eError);
    case Operator::Complement:
        a.uiBits = ~a.uiBits;
        return a;
    default:
        return a;
    }
}

Value Binary(Operator e, const Value& a, const Value& b)
{
    ConditionError eError = FirstError(a, b);
    switch (e)
    {
    case Operator::Comma:
        return Value{b.uiBits, b.bUnsigned, eError};
    case Operator::AndAnd:
        return Truth(!IsZero(a) && !IsZero(b), a.eError != ConditionError::None ? a.eError
                                               : IsZero(a)                      ? ConditionError::None
                                                                                : b.eError);
    case Operator::OrOr:
        return Truth(!IsZero(a) || !IsZero(b), a.eError != ConditionError::None ? a.eError
                                               : !IsZero(a)                     ? ConditionError::None
                                                                                : b.eError);
    case Operator::ShiftLeft:
    case Operator::ShiftRight:
    {
        // A negative count shifts the other way.
        bool bLeft = e == Operator::ShiftLeft;
        std::uint64_t uiCount = b.uiBits;
        if (!b.bUnsigned && (b.uiBits & SIGN) != 0)
        {
            bLeft = !bLeft;
            uiCount = 0 - b.uiBits;
        }
        const Value value{a.uiBits, a.bUnsigned, ConditionError::None};
        Value result = bLeft ? ShiftLeft(value, uiCount) : ShiftRight(value, uiCount);
        if (eError != ConditionError::None)
            result.eError = eError;
        return result;
    }
    default:
        break;
    }
    const bool bUnsigned = a.bUnsigned || b.bUnsigned;
    const std::uint64_t x = a.uiBits;
    const std::uint64_t y = b.uiBits;
    std::uint64_t r = 0;
    bool bOverflow = false;
    switch (e)
    {
    case Operator::Equal:
        return Truth(x == y, eError);
    case Operator::NotEqual:
        return Truth(x != y, eError);
    case Operator::Less:
        return Truth(bUnsigned ? x < y : Signed(x) < Signed(y), eError);
    case Operator::Greater:
        return Truth(bUnsigned ? x > y : Signed(x) > Signed(y), eError);
    case Operator::LessEqual:
        return Truth(bUnsigned ? x <= y : Signed(x) <= Signed(y), eError);
    case Operator::GreaterEqual:
        return Truth(bUnsigned ? x >= y : Signed(x) >= Signed(y), eError);
    case Operator::Or:
        r = x | y;
        break;
    case Operator::Xor:
        r = x ^ y;
        break;
    case Operator::And:
        r = x & y;
        break;
    case Operator::Add:
        r = x + y;
        bOverflow = !bUnsigned && ((~(x ^ y) & (x ^ r)) & SIGN) != 0;
        break;
    case Operator::Subtract:
        r = x - y;
        bOverflow = !bUnsigned && (((x ^ y) & (x ^ r)) & SIGN) != 0;
        break;
    case Operator::Multiply:
        if (bUnsigned)
        {
            r = x * y;
        }
        else
        {
            std::int64_t iResult = 0;
            bOverflow = __builtin_mul_overflow(Signed(x), Signed(y), &iResult);
            r = static_cast<std::uint64_t>(iResult);
        }
        break;
    case Operator::Divide:
    case Operator::Remainder:
        if (y == 0)
        {
            if (eError == ConditionError::None)
                eError = ConditionError::DivisionByZero;
        }
        else if (bUnsigned)
        {
            r = e == Operator::Divide ? x / y : x % y;
        }
        else if (x == SIGN && Signed(y) == -1)
        {
            // The quotient does not fit; C leaves the remainder undefined with it.
            bOverflow = true;
            r = e == Operator::Divide ? SIGN : 0;
        }
        else
        {
            r = static_cast<std::uint64_t>(e == Operator::Divide ? Signed(x) / Signed(y)
                                                                 : Signed(x) % Signed(y));
        }
        break;
    default:
        break;
    }
    if (bOverflow && eError == ConditionError::None)
        eError = ConditionError::Overflow;
    return Value{r, bUnsigned, eError};
}

class Evaluator
{
public:
    ConditionResult Run(const std::vector<std::string_view>& vTokens)
    {
        if (vTokens.empty())
            return Fail("#if with no expression");
        bool bOperand = true; // an operand or a unary operator comes next
        for (const std::string_view token : vTokens)
        {
            if (token.empty())
                continue;
            const std::string s = token[0] == '?' || token[0] == '|' ? Untrigraph(token) : std::string(token);
            if (bOperand)
            {
                if (s == "(")
                    m_vOperators.push_back(Operator::LeftParen);
                else if (s == "+" || s == "-" || s == "!" || s == "~")
                    m_vOperators.push_back(s == "+"   ? Operator::Plus
                                           : s == "-" ? Operator::Minus
                                           : s == "!" ? Operator::Not
                                                      : Operator::Complement);
                else
                {
                    Value value;
                    std::string sWhat;
                    if (!ReadOperand(token, &value, &sWhat))
                        return Fail(sWhat, ConditionError::IllFormed);
                    m_vValues.push_back(value);
                    bOperand = false;
                }
                continue;
            }
            Operator eOperator = Operator::Comma;
            if (s == ")")
            {
                while (!m_vOperators.empty() && m_vOperators.back() != Operator::LeftParen)
                {
                    if (m_vOperators.back() == Operator::Question)
                        return Fail("'?' without following ':'");
                    Reduce();
                }
                if (m_vOperators.empty())
                    return Fail("missing '(' in expression");
                m_vOperators.pop_back();
            }
            else if (s == "?")
            {
                while (!m_vOperators.empty() && Precedence(m_vOperators.back()) > 3)
                    Reduce();
                m_vOperators.push_back(Operator::Question);
                bOperand = true;
            }
            else if (s == ":")
            {
                while (!m_vOperators.empty() && m_vOperators.back() != Operator::Question &&
                       m_vOperators.back() != Operator::LeftParen)
                    Reduce();
                if (m_vOperators.empty() || m_vOperators.back() != Operator::Question)
                    return Fail("':' without preceding '?'");
                m_vOperators.back() = Operator::Conditional;
                bOperand = true;
            }
            else if (BinaryOperator(s, &eOperator))
            {
                const int iPrecedence = Precedence(eOperator);
                while (!m_vOperators.empty() && m_vOperators.back() != Operator::LeftParen &&
                       m_vOperators.back() != Operator::Question &&
                       Precedence(m_vOperators.back()) >= iPrecedence)
                    Reduce();
                m_vOperators.push_back(eOperator);
                bOperand = true;
            }
            else
            {
                return Fail("missing binary operator before token " + Quoted(token));
            }
        }
        if (bOperand)
            return Fail("expression ends without an operand");
        while (!m_vOperators.empty())
        {
            if (m_vOperators.back() == Operator::LeftParen)
                return Fail("missing ')' in expression");
            if (m_vOperators.back() == Operator::Question)
                return Fail("'?' without following ':'");
            Reduce();
        }
        ConditionResult result;
        result.bValue = !IsZero(m_vValues.back());
        result.eError = m_vValues.back().eError;
        return result;
    }

private:
    static ConditionResult Fail(const std::string& sWhat, ConditionError eError = ConditionError::IllFormed)
    {
        ConditionResult result;
        result.eError = eError;
        result.sWhat = sWhat;
        return result;
    }

    // Applies the operator on top to the values on top, which the reading above has put there.
    void Reduce()
    {
        const Operator e = m_vOperators.back();
        m_vOperators.pop_back();
        if (IsUnary(e))
        {
            m_vValues.back() = Unary(e, m_vValues.back());
            return;
        }
        if (e == Operator::Conditional)
        {
            const Value no = m_vValues.back();
            m_vValues.pop_back();
            const Value yes = m_vValues.back();
            m_vValues.pop_back();
            const Value condition = m_vValues.back();
            const Value& chosen = IsZero(condition) ? no : yes;
            m_vValues.back() =
                Value{chosen.uiBits, yes.bUnsigned || no.bUnsigned,
                      condition.eError != ConditionError::None ? condition.eError : chosen.eError};
            return;
        }
        const Value b = m_vValues.back();
        m_vValues.pop_back();
        m_vValues.back() = Binary(e, m_vValues.back(), b);
    }

    std::vector<Value> m_vValues;
    std::vector<Operator> m_vOperators;
};

// The text is one preprocessing token of C: an identifier, a preprocessing number, a character
// constant or string literal, or a punctuator.
bool IsOneToken(std::string_view s)
{
    if (s.empty())
        return false;
    const auto isWord = [](char c) { return IsDigit(c) || IsIdentifierStart(c); };
    if (IsIdentifierStart(s[0]) && !(s.size() > 1 && s[0] == 'L' && (s[1] == '\'' || s[1] == '"')))
        return std::all_of(s.begin(), s.end(), isWord);
    if (IsDigit(s[0]) || (s[0] == '.' && s.size() > 1 && IsDigit(s[1])))
    {
        for (std::size_t i = 1; i < s.size(); ++i)
            if (!isWord(s[i]) && s[i] != '.' &&
                !((s[i] == '+' || s[i] == '-') && ContinuesNumber(s[i - 1], s[i])))
                return false;
        return true;
    }
    const std::size_t uiQuote = s[0] == 'L' ? 1 : 0;
    if (s[uiQuote] == '"' || s[uiQuote] == '\'')
    {
        for (std::size_t i = uiQuote + 1; i < s.size(); ++i)
            if (s[i] == '\\')
                ++i;
            else if (s[i] == s[uiQuote])
                return i + 1 == s.size();
        return false;
    }
    static const char* const PUNCTUATORS[] = {
        "[",  "]",  "(",  ")", "{",  "}",   ".",  "->", "++", "--", "&",  "*",   "+",   "-",
        "~",  "!",  "/",  "%", "<<", ">>",  "<",  ">",  "<=", ">=", "==", "!=",  "^",   "|",
        "&&", "||", "?",  ":", ";",  "...", "=",  "*=", "/=", "%=", "+=", "-=",  "<<=", ">>=",
        "&=", "^=", "|=", ",", "#",  "##",  "<:", ":>", "<%", "%>", "%:", "%:%:"};
    for (const char* pPunctuator : PUNCTUATORS)
        if (s == pPunctuator)
            return true;
    return false;
}

} // namespace

std::string InvalidPaste(const std::vector<PasteOperand>& vOperands)
{
    // The last token of what the operands so far make, and whether the next operand pastes to it.
    std::string sLast;
    bool bPaste = false;
    for (const PasteOperand& operand : vOperands)
    {
        if (operand.bPaste)
        {
            bPaste = true;
            continue;
        }
        if (!bPaste || sLast.empty() || operand.sFirst.empty() || (sLast == "," && operand.bVariadic))
        {
            if (!bPaste || !operand.sFirst.empty())
                sLast = operand.sLast;
            bPaste = false;
            continue;
        }
        const std::string sPasted = sLast + std::string(operand.sFirst);
        if (!IsOneToken(sPasted))
            return "pasting \"" + sLast + "\" and \"" + std::string(operand.sFirst) +
                   "\" does not give a valid preprocessing token";
        sLast = operand.bSingle ? sPasted : std::string(operand.sLast);
        bPaste = false;
    }
    return std::string();
}

ConditionResult EvaluateCondition(const std::vector<std::string_view>& vTokens)
{
    return Evaluator().Run(vTokens);
}

} // namespace d3dcompiler_internal
