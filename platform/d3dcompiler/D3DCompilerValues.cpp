#include "platform/d3dcompiler/D3DCompilerValues.h"

#include "platform/d3dcompiler/D3DCompilerNumbers.h"
#include "platform/d3dcompiler/D3DCompilerTypes.h"

#include <string_view>
#include <vector>

namespace d3dcompiler_internal
{

namespace
{

constexpr std::size_t NONE = TokenReader::NONE;

constexpr std::string_view BINARY_OPERATORS[] = {"*",  "/",  "%",  "+",  "-", "<<", ">>", "<",  ">",
                                                 "<=", ">=", "==", "!=", "&", "^",  "|",  "&&", "||"};
constexpr std::string_view PREFIX_OPERATORS[] = {"-", "+", "!", "~", "++", "--"};

template <std::size_t N>
bool IsOneOf(const std::string& s, const std::string_view (&list)[N])
{
    for (std::string_view entry : list)
        if (s == entry)
            return true;
    return false;
}

bool IsLiteral(const std::string& s)
{
    return !s.empty() && (s[0] == '"' || s[0] == '\'');
}

class ValueReader
{
public:
    ValueReader(TokenReader& reader, std::size_t uiEnd, const std::set<std::string>& setTypes)
        : m_r(reader), m_uiEnd(uiEnd), m_setTypes(setTypes)
    {
    }

    std::size_t Read(std::size_t i)
    {
        m_vOpen = {{Kind::Value, m_uiEnd, 0}};
        m_bOperand = true;
        m_bValueStart = true;
        m_bMayClose = false;
        while (i != NONE)
        {
            if (m_bOperand)
            {
                i = ReadOperand(i);
                continue;
            }
            Open& open = m_vOpen.back();
            if (open.What == Kind::Value && open.Conditions == 0 &&
                (i >= m_uiEnd || Text(i) == "," || Text(i) == ";"))
                return i;
            i = ReadAfterOperand(i);
        }
        return NONE;
    }

private:
    // What a bracket the value holds opens.
    enum class Kind
    {
        Value,     // the value itself, up to its ',' or ';'
        Group,     // "( expression )", with C's ',' in it
        Arguments, // a call's "( value, ... )"
        Index,     // "[ expression ]"
        List,      // "{ value, ... }"
    };

    struct Open
    {
        Kind What;
        std::size_t Close; // its closing bracket
        int Conditions;    // '?' whose ':' is still to come
    };

    const std::string& Text(std::size_t i) const { return m_r.Text(i); }

    std::size_t Fail(std::size_t i)
    {
        if (i >= m_r.Size())
            m_r.Error(m_r.Size() - 1, 3000, "syntax error: unexpected end of file");
        else
            m_r.Unexpected(i);
        return NONE;
    }

    std::size_t Push(Kind what, std::size_t i)
    {
        m_vOpen.push_back({what, m_r.Match(i), 0});
        m_bOperand = true;
        m_bValueStart = what == Kind::List;
        m_bMayClose = what == Kind::List || what == Kind::Arguments;
        return i + 1;
    }

    // An operand at i, after the prefix operators and casts before it.
    std::size_t ReadOperand(std::size_t i)
    {
        const std::string& s = Text(i);
        const Open& open = m_vOpen.back();
        if (m_bMayClose && i == open.Close)
        {
            m_vOpen.pop_back(); // an empty list or call, or a list's last ','
            m_bOperand = false;
            return i + 1;
        }
        if (i >= m_uiEnd)
            return Fail(i);
        if (s == "{" && m_bValueStart)
            return Push(Kind::List, i);
        const bool bValueStart = m_bValueStart;
        m_bValueStart = false;
        m_bMayClose = false;
        if ((s == "sampler_state" || s == "stateblock_state") && Text(i + 1) == "{")
        {
            m_bOperand = false;
            return m_r.Match(i + 1) + 1;
        }
        if (s == "compile" && IsNameToken(Text(i + 1)))
        {
            m_bValueStart = bValueStart;
            return i + 2; // the entry's call follows
        }
        if (IsOneOf(s, PREFIX_OPERATORS))
            return i + 1;
        if (s == "(")
            return IsCast(i) ? m_r.Match(i) + 1 : Push(Kind::Group, i);
        m_bOperand = false;
        if (IsNumberToken(s))
            return i + 1;
        if (IsLiteral(s))
        {
            while (IsLiteral(Text(++i)))
            {
            }
            return i;
        }
        if (!IsNameToken(s))
            return Fail(i);
        ++i;
        while (Text(i) == "::" && IsNameToken(Text(i + 1)))
            i += 2;
        if (Text(i) == "<" && IsType(s))
            i = m_r.SkipAngles(i); // a template type's constructor
        return Text(i) == "(" ? Push(Kind::Arguments, i) : i;
    }

    // What follows an operand at i, within a bracket the value holds or at the value's own level
    // before its end.
    std::size_t ReadAfterOperand(std::size_t i)
    {
        const std::string& s = Text(i);
        Open& open = m_vOpen.back();
        if (s == "[")
            return Push(Kind::Index, i);
        if (s == "." && IsNameToken(Text(i + 1)))
            return Text(i + 2) == "(" ? Push(Kind::Arguments, i + 2) : i + 2;
        if (s == "++" || s == "--")
            return i + 1;
        m_bOperand = true;
        if (IsOneOf(s, BINARY_OPERATORS))
            return i + 1;
        if (s == "?")
        {
            ++open.Conditions;
            return i + 1;
        }
        if (s == ":" && open.Conditions > 0)
        {
            --open.Conditions;
            return i + 1;
        }
        if (open.Conditions == 0 && open.What != Kind::Value)
        {
            if (s == "," && open.What != Kind::Index)
            {
                m_bValueStart = open.What == Kind::List;
                m_bMayClose = open.What == Kind::List;
                return i + 1;
            }
            if (i == open.Close)
            {
                m_vOpen.pop_back();
                m_bOperand = false;
                return i + 1;
            }
        }
        return Fail(i);
    }

    // The "(" at i holds a type alone ("(float4)", "(S)", "(unsigned int)"): a cast.
    bool IsCast(std::size_t i) const
    {
        const std::size_t uiClose = m_r.Match(i);
        std::size_t k = i + 1;
        if ((Text(k) == "unsigned" || Text(k) == "signed") && Text(k + 1) == "int")
            return k + 2 == uiClose;
        if (!IsType(Text(k)))
            return false;
        ++k;
        return (Text(k) == "<" ? m_r.SkipAngles(k) : k) == uiClose;
    }

    bool IsType(const std::string& s) const { return IsHlslType(s) || m_setTypes.count(s) != 0; }

    TokenReader& m_r;
    const std::size_t m_uiEnd;
    const std::set<std::string>& m_setTypes;
    std::vector<Open> m_vOpen;
    bool m_bOperand = true;    // an operand is next
    bool m_bValueStart = true; // a value starts here, which may be a list in braces
    bool m_bMayClose = false;  // the bracket open may close here: it holds nothing yet, or a list's ','
};

} // namespace

std::size_t ReadValue(TokenReader& reader, std::size_t i, std::size_t uiEnd,
                      const std::set<std::string>& setTypes)
{
    return ValueReader(reader, uiEnd, setTypes).Read(i);
}

} // namespace d3dcompiler_internal
