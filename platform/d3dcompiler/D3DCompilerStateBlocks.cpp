#include "platform/d3dcompiler/D3DCompilerStateBlocks.h"

#include "platform/d3d11/D3D11StateMembers.h"
#include "platform/d3dcompiler/D3DCompilerIntegerExpression.h"
#include "platform/d3dcompiler/D3DCompilerNumbers.h"
#include "platform/d3dcompiler/D3DCompilerStateMembers.h"

#include <utility>
#include <vector>

namespace d3dcompiler_internal
{

using d3d11_internal::EffectVariable;

namespace
{

constexpr std::size_t NONE = TokenReader::NONE;

// A block of a kind the effects read back member by member (see
// d3d11_internal::FindStateBlockType): its type, and its variable's name for the errors of its
// members.
struct ReadBlock
{
    d3d11_internal::StateBlockType Type;
    const std::string& Name;
};

class StateBlockReader
{
public:
    StateBlockReader(TokenReader& reader, const ReadBlock* pRead) : m_r(reader), m_pRead(pRead) {}

    // The members of a state block from i to its "}" at uiClose, by the rules of a block the
    // effects read (m_pRead) or of one they do not (null).
    void ReadMembers(std::size_t i, std::size_t uiClose, EffectVariable* pVariable)
    {
        while (i < uiClose) // past the block's end after an error
            i = m_pRead != nullptr ? ReadMember(i, pVariable) : ReadUnreadMember(i, uiClose, pVariable);
    }

    // An array's blocks from i to uiClose, one for each element, between commas:
    // "{ ... }, { ... }".
    void ReadElements(std::size_t i, std::size_t uiClose)
    {
        while (i < uiClose && m_r.Ok())
        {
            if (Text(i) != "{")
            {
                MemberError(i);
                return;
            }
            EffectVariable element;
            ReadMembers(i + 1, m_r.Match(i), &element);
            i = m_r.Match(i) + 1;
            if (Text(i) == ",")
                ++i;
            else if (i < uiClose)
                MemberError(i);
        }
    }

private:
    const std::string& Text(std::size_t i) const { return m_r.Text(i); }

    // One member of a block the effects do not read, at i: its key runs to its "=" (a statement
    // without one is passed over), its value to its ";" or the block's end at uiClose, brackets
    // passed over. A second "=" is the next member without the ";" before it, an error at that
    // member's name. Past the member's ";".
    std::size_t ReadUnreadMember(std::size_t i, std::size_t uiClose, EffectVariable* pVariable)
    {
        std::size_t uiEquals = i;
        while (uiEquals < uiClose && Text(uiEquals) != "=" && Text(uiEquals) != ";")
            uiEquals = Text(uiEquals) == "[" ? m_r.Match(uiEquals) + 1 : uiEquals + 1;
        std::size_t uiEnd = uiEquals;
        while (uiEnd < uiClose && Text(uiEnd) != ";")
        {
            if (uiEnd > uiEquals && Text(uiEnd) == "=")
            {
                const std::size_t uiName = Text(uiEnd - 1) == "]" ? m_r.Match(uiEnd - 1) - 1 : uiEnd - 1;
                return MemberError(uiName > uiEquals ? uiName : uiEnd);
            }
            uiEnd = (Text(uiEnd) == "(" || Text(uiEnd) == "[") ? m_r.Match(uiEnd) + 1 : uiEnd + 1;
        }
        if (uiEquals < uiEnd && Text(uiEquals) == "=")
            pVariable->Assignments.push_back({m_r.Join(i, uiEquals), m_r.Join(uiEquals + 1, uiEnd)});
        return uiEnd + 1;
    }

    // One member of a block the effects read, at i: "name = value;" or "name[index] = value;" (or
    // a lone ";"), where the index is an integer constant and the value one token, a signed number,
    // or a call of such ("float4(0, 0, 0, 1)"): each what the effects read back as one. Anything
    // else is a syntax error at the first token that does not fit, so that two members without a
    // ";" between them never become one value. The member is then checked as the effects read it
    // (CheckStateMember), an error at its name, index or value. Past the member's ";".
    std::size_t ReadMember(std::size_t i, EffectVariable* pVariable)
    {
        if (Text(i) == ";")
            return i + 1;
        std::size_t k = i;
        if (!IsNameToken(Text(k)))
            return MemberError(k);
        ++k;
        if (Text(k) == "[")
        {
            if (!IsNumberToken(Text(k + 1)))
                return MemberError(k + 1);
            std::int64_t iIndex = 0;
            const std::vector<const SourceToken*> vIndex = {&m_r.Token(k + 1)};
            if (!IntegerExpression(vIndex).Evaluate(&iIndex))
                return MemberError(k + 1);
            if (Text(k + 2) != "]")
                return MemberError(k + 2);
            k += 3;
        }
        const std::size_t uiKeyEnd = k;
        if (Text(k) != "=")
            return MemberError(k);
        const std::size_t uiValue = ++k;
        if (IsNameToken(Text(k)) && Text(k + 1) == "(")
        {
            // A call's arguments, each one token or a signed number, between commas.
            for (k += 2;; ++k)
            {
                k = SkipScalar(k);
                if (k == NONE)
                    return m_r.Size();
                if (Text(k) == ")")
                    break;
                if (Text(k) != ",")
                    return MemberError(k);
            }
            ++k;
        }
        else
        {
            k = SkipScalar(k);
            if (k == NONE)
                return m_r.Size();
        }
        if (Text(k) != ";")
            return MemberError(k);
        std::string sValue = m_r.Join(uiValue, k);
        StateMemberFault fault;
        const bool bIndexed = uiKeyEnd > i + 1;
        if (!CheckStateMember(m_pRead->Type, m_pRead->Name, Text(i), bIndexed ? &Text(i + 2) : nullptr,
                              sValue, &fault))
        {
            const std::size_t uiAt = fault.At == StateMemberFault::Part::Name    ? i
                                     : fault.At == StateMemberFault::Part::Index ? i + 2
                                                                                 : uiValue;
            m_r.Error(uiAt, 3000, fault.Text);
            return m_r.Size();
        }
        pVariable->Assignments.push_back({m_r.Join(i, uiKeyEnd), std::move(sValue)});
        return k + 1;
    }

    // Past a value of one token (a word, a number or a string) or a number after "-" or "+"; NONE,
    // with the error, when there is none.
    std::size_t SkipScalar(std::size_t i)
    {
        const std::string& s = Text(i);
        if (s == "-" || s == "+")
        {
            if (IsNumberToken(Text(i + 1)))
                return i + 2;
            MemberError(i + 1);
            return NONE;
        }
        if (IsNameToken(s) || IsNumberToken(s) || (!s.empty() && (s[0] == '"' || s[0] == '\'')))
            return i + 1;
        MemberError(i);
        return NONE;
    }

    std::size_t MemberError(std::size_t i)
    {
        m_r.Unexpected(i);
        return m_r.Size();
    }

    TokenReader& m_r;
    const ReadBlock* m_pRead;
};

} // namespace

bool TakesBlock(const std::string& sType)
{
    d3d11_internal::StateBlockType type{};
    return d3d11_internal::FindStateBlockType(sType, &type) || sType == "SamplerState" ||
           sType == "SamplerComparisonState" || sType == "interface" || sType == "class" ||
           sType == "namespace";
}

bool TakesValue(const std::string& sType)
{
    d3d11_internal::StateBlockType type{};
    return !d3d11_internal::FindStateBlockType(sType, &type);
}

void ReadStateBlock(TokenReader& reader, std::size_t uiOpen, const std::string& sType,
                    const std::string& sName, std::uint32_t uiArraySize, EffectVariable* pVariable)
{
    d3d11_internal::StateBlockType type{};
    const bool bRead = d3d11_internal::FindStateBlockType(sType, &type);
    const ReadBlock read = {type, sName};
    StateBlockReader blocks(reader, bRead ? &read : nullptr);
    if (uiArraySize > 0 && reader.Text(uiOpen + 1) == "{")
        blocks.ReadElements(uiOpen + 1, reader.Match(uiOpen));
    else
        blocks.ReadMembers(uiOpen + 1, reader.Match(uiOpen), pVariable);
}

} // namespace d3dcompiler_internal
