#include "platform/d3dcompiler/D3DCompilerStateMembers.h"

#include "platform/d3dcompiler/D3DCompilerNumbers.h"

#include <cstdio>
#include <limits>
#include <utility>

namespace d3dcompiler_internal
{

using d3d11_internal::StateMember;
using d3d11_internal::StateValueKind;

namespace
{

// The text without its sign, if it begins with one; *pNegative tells whether that was a '-'.
std::string WithoutSign(const std::string& s, bool* pNegative)
{
    *pNegative = !s.empty() && s[0] == '-';
    return !s.empty() && (s[0] == '-' || s[0] == '+') ? s.substr(1) : s;
}

// The value is of the member's kind, read as written (see CheckStateMember).
bool TakesValue(const StateMember& member, const std::string& sValue)
{
    bool bNegative = false;
    const std::string sDigits = WithoutSign(sValue, &bNegative);
    switch (member.Kind)
    {
    case StateValueKind::Bool:
        return d3d11_internal::FindStateEnumName(member, sValue) != nullptr ||
               ReadsAsUnsigned(sDigits, std::numeric_limits<unsigned long long>::max()) ||
               ReadsAsWholeFloat(sDigits, std::numeric_limits<unsigned long long>::max());
    case StateValueKind::Enum:
        return d3d11_internal::FindStateEnumName(member, sValue) != nullptr;
    case StateValueKind::Mask:
        return ReadsAsUnsigned(sValue, member.MaxMask) || ReadsAsWholeFloat(sValue, member.MaxMask);
    case StateValueKind::Int32:
    {
        const unsigned long long uiMax = bNegative ? 0x80000000ull : 0x7FFFFFFFull;
        return ReadsAsUnsigned(sDigits, uiMax) || ReadsAsWholeFloat(sDigits, uiMax);
    }
    case StateValueKind::Float:
        return ReadsAsFloat(sDigits);
    }
    return false;
}

// What a member of that kind takes, for its error.
std::string Takes(const StateMember& member)
{
    const char* const pWholeFloat = ", or a float holding such an integer exactly, without an exponent";
    switch (member.Kind)
    {
    case StateValueKind::Bool:
        return "TRUE, FALSE, an integer constant, or a float holding an integer exactly, without an exponent";
    case StateValueKind::Enum:
    {
        std::string s = "one of ";
        for (const d3d11_internal::StateEnumName& name : member.Names)
            s.append(&name == member.Names.data() ? "" : ", ").append(name.Name);
        return s;
    }
    case StateValueKind::Mask:
    {
        char aMax[16];
        std::snprintf(aMax, sizeof(aMax), "0x%X", static_cast<unsigned>(member.MaxMask));
        return std::string("an integer constant from 0 to ") + aMax + pWholeFloat;
    }
    case StateValueKind::Int32:
        return std::string("an integer constant from -2147483648 to 2147483647") + pWholeFloat;
    case StateValueKind::Float:
        return "a number, decimal or hexadecimal, within the range of a float";
    }
    return "";
}

bool Fail(StateMemberFault::Part at, std::string sText, StateMemberFault* pError)
{
    pError->At = at;
    pError->Text = std::move(sText);
    return false;
}

} // namespace

bool CheckStateMember(d3d11_internal::StateBlockType type, const std::string& sBlock,
                      const std::string& sName, const std::string* pIndex, const std::string& sValue,
                      StateMemberFault* pError)
{
    using Part = StateMemberFault::Part;
    std::string sWhere = d3d11_internal::StateBlockTypeName(type);
    sWhere.append(" '").append(sBlock).append("': ");
    const StateMember* pMember = d3d11_internal::FindStateMember(type, sName);
    if (pMember == nullptr)
        return Fail(Part::Name, sWhere + "unknown member '" + sName + "'", pError);
    sWhere.append("'").append(sName).append("' takes ");
    if (pIndex != nullptr && !pMember->PerTarget)
        return Fail(Part::Index, sWhere + "no index", pError);
    if (pIndex != nullptr && !ReadsAsUnsigned(*pIndex, d3d11_internal::STATE_RENDER_TARGETS - 1))
        return Fail(Part::Index,
                    sWhere + "a render target index from 0 to " +
                        std::to_string(d3d11_internal::STATE_RENDER_TARGETS - 1) + ", not '" + *pIndex + "'",
                    pError);
    if (!TakesValue(*pMember, sValue))
    {
        bool bNegative = false;
        return Fail(
            Part::Value,
            sWhere + Takes(*pMember) + ", not '" + sValue + "'" +
                (IsInexactHalf(WithoutSign(sValue, &bNegative)) ? std::string(": ") + INEXACT_HALF : ""),
            pError);
    }
    return true;
}

} // namespace d3dcompiler_internal
