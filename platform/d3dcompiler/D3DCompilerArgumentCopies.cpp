#include "platform/d3dcompiler/D3DCompilerArgumentCopies.h"

#include <algorithm>

namespace d3dcompiler_internal
{

ParameterUses::ParameterUses(std::size_t uiParameters, bool bVariadic)
    : m_vExpanded(uiParameters, 0), m_vAsWritten(uiParameters, 0), m_bVariadic(bVariadic)
{
}

// As the library reads a replacement list: a parameter after # is stringized, one after ## (blanks
// between) or before ## is copied as written, any other is copied expanded. A # stays in force
// until a parameter follows it.
void ParameterUses::Read(ReplacementToken eToken, std::size_t uiParameter)
{
    if (eToken == ReplacementToken::Blank)
        return;
    if (eToken == ReplacementToken::Paste)
    {
        if (m_uiPending != NONE)
            ++m_vAsWritten[m_uiPending];
        m_uiPending = NONE;
        m_bAfterPaste = true;
        return;
    }
    if (m_uiPending != NONE)
        ++m_vExpanded[m_uiPending];
    m_uiPending = NONE;
    if (eToken == ReplacementToken::Stringize)
    {
        m_bAfterStringize = true;
        return;
    }
    if (eToken == ReplacementToken::Parameter && uiParameter < m_vExpanded.size())
    {
        if (m_bAfterStringize)
            m_bAfterStringize = false;
        else if (m_bAfterPaste)
            ++m_vAsWritten[uiParameter];
        else
            m_uiPending = uiParameter;
    }
    m_bAfterPaste = false;
}

std::size_t ParameterUses::GetExpandedUses(std::size_t uiParameter) const
{
    return m_vExpanded[uiParameter] + (m_uiPending == uiParameter ? 1 : 0);
}

std::size_t ParameterUses::GetAsWrittenUses(std::size_t uiParameter) const
{
    return m_vAsWritten[uiParameter];
}

// A paste joins the last token of its left operand and the first of its right into one, and drops
// the whitespace around the ##: an operand of n tokens other than whitespace leaves at least n - 1
// of them, and all their bytes.
void ArgumentCopies::BeginCall(const void* pArguments, std::size_t uiLevel, const ParameterUses& uses,
                               const std::vector<TokenCount>& vArguments)
{
    while (!m_vCalls.empty() && m_vCalls.back().uiLevel >= uiLevel)
        EndCall(m_vCalls.back().uiLevel);
    Call call;
    call.pArguments = pArguments;
    call.uiLevel = uiLevel;
    call.bVariadic = uses.IsVariadic();
    const std::size_t uiParameters = uses.GetParameters();
    const std::size_t uiNamed = uiParameters - (call.bVariadic && uiParameters > 0 ? 1 : 0);
    call.vExpandedUses.reserve(uiParameters);
    for (std::size_t i = 0; i < uiParameters; ++i)
        call.vExpandedUses.push_back(uses.GetExpandedUses(i));
    for (std::size_t i = 0; i < std::min(uiNamed, vArguments.size()); ++i)
        Add(call, uses.GetAsWrittenUses(i),
            {std::max<std::size_t>(vArguments[i].uiTokens, 1) - 1, vArguments[i].uiBytes});
    if (call.bVariadic && uiParameters > 0)
    {
        TokenCount all;
        for (std::size_t i = uiNamed; i < vArguments.size(); ++i)
        {
            all.uiTokens += vArguments[i].uiTokens;
            all.uiBytes += vArguments[i].uiBytes;
        }
        const std::size_t uiCommas = vArguments.size() > uiNamed + 1 ? vArguments.size() - uiNamed - 1 : 0;
        Add(call, uses.GetAsWrittenUses(uiNamed),
            {std::max<std::size_t>(all.uiTokens + uiCommas, 1) - 1, all.uiBytes + uiCommas});
        Add(call, uses.GetExpandedUses(uiNamed), {uiCommas, uiCommas});
    }
    m_vCalls.push_back(std::move(call));
}

void ArgumentCopies::ArgumentExpanded(const void* pArguments, std::size_t uiArgument, TokenCount expanded)
{
    const auto it = std::find_if(m_vCalls.rbegin(), m_vCalls.rend(),
                                 [pArguments](const Call& call) { return call.pArguments == pArguments; });
    if (it == m_vCalls.rend() || it->vExpandedUses.empty())
        return;
    const std::size_t uiLast = it->vExpandedUses.size() - 1;
    if (uiArgument > uiLast && !it->bVariadic)
        return;
    Add(*it, it->vExpandedUses[std::min(uiArgument, uiLast)], expanded);
}

void ArgumentCopies::EndCall(std::size_t uiLevel)
{
    if (m_vCalls.empty() || m_vCalls.back().uiLevel != uiLevel)
        return;
    m_pending.uiTokens -= m_vCalls.back().pending.uiTokens;
    m_pending.uiBytes -= m_vCalls.back().pending.uiBytes;
    m_vCalls.pop_back();
}

void ArgumentCopies::Add(Call& call, std::size_t uiCopies, TokenCount count)
{
    call.pending.uiTokens += uiCopies * count.uiTokens;
    call.pending.uiBytes += uiCopies * count.uiBytes;
    m_pending.uiTokens += uiCopies * count.uiTokens;
    m_pending.uiBytes += uiCopies * count.uiBytes;
}

} // namespace d3dcompiler_internal
