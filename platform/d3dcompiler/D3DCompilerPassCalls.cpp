#include "platform/d3dcompiler/D3DCompilerPassCalls.h"

#include "platform/d3dcompiler/D3DCompilerNumbers.h"

#include <utility>

namespace d3dcompiler_internal
{

using d3d11_internal::EffectVariable;

namespace
{

// A call that sets a state object: the type of the variables it takes and how many arguments.
struct StateCall
{
    const char* Name;
    const char* Kind;
    std::size_t Arguments;
    const char* Usage; // for the error about their count
};

const StateCall STATE_CALLS[] = {
    {"SetBlendState", "BlendState", 3, "SetBlendState(state or NULL, float4 blend factor, sample mask)"},
    {"SetDepthStencilState", "DepthStencilState", 2,
     "SetDepthStencilState(state or NULL, stencil reference)"},
    {"SetRasterizerState", "RasterizerState", 1, "SetRasterizerState(state or NULL)"},
};

const StateCall* FindStateCall(const std::string& sName)
{
    for (const StateCall& call : STATE_CALLS)
        if (sName == call.Name)
            return &call;
    return nullptr;
}

class StateCallChecker
{
public:
    StateCallChecker(const std::vector<SourceToken>& vTokens, const StateCall& call,
                     const d3d11_internal::EffectVariableMap& mapVariables, PassCallError* pError)
        : m_v(vTokens), m_call(call), m_mapVariables(mapVariables), m_pError(pError)
    {
    }

    bool Check(std::size_t uiName, std::size_t uiClose)
    {
        if (!Split(uiName + 2, uiClose))
            return false;
        if (m_uiArguments != m_call.Arguments)
        {
            const std::size_t uiAt =
                m_uiArguments > m_call.Arguments ? m_vArguments[m_call.Arguments].first - 1 : uiClose;
            return Fail(uiAt, std::to_string(m_call.Arguments) + " argument" +
                                  (m_call.Arguments > 1 ? "s" : "") + " expected, not " +
                                  std::to_string(m_uiArguments) + ": " + m_call.Usage);
        }
        if (!CheckState(m_vArguments[0]))
            return false;
        if (m_call.Arguments == 3)
            return CheckFactor(m_vArguments[1]) && CheckUnsigned(m_vArguments[2], "sample mask");
        if (m_call.Arguments == 2)
            return CheckUnsigned(m_vArguments[1], "stencil reference");
        return true;
    }

private:
    using Argument = std::pair<std::size_t, std::size_t>; // its first token, and the "," or ")" after it

    const std::string& Text(std::size_t i) const { return m_v[i].Text; }

    bool Fail(std::size_t uiToken, const std::string& sText, int iCode = 3000)
    {
        m_pError->Token = uiToken;
        m_pError->Code = iCode;
        std::string sMessage(1, '\'');
        sMessage.append(m_call.Name).append("': ").append(sText);
        m_pError->Text = std::move(sMessage);
        return false;
    }

    // The arguments from uiFirst to uiClose, at the commas outside brackets; none is empty. Those
    // past the first extra one are counted, not kept.
    bool Split(std::size_t uiFirst, std::size_t uiClose)
    {
        int iDepth = 0;
        std::size_t uiStart = uiFirst;
        for (std::size_t k = uiFirst; k <= uiClose; ++k)
        {
            const std::string& s = Text(k);
            if (k == uiClose || (iDepth == 0 && s == ","))
            {
                if (k == uiClose && k == uiFirst)
                    return true; // no arguments at all
                if (k == uiStart)
                    return Fail(k,
                                std::string("argument ") + std::to_string(m_uiArguments + 1) + " is empty");
                if (m_uiArguments++ <= m_call.Arguments)
                    m_vArguments.emplace_back(uiStart, k);
                uiStart = k + 1;
            }
            else if (s == "(" || s == "[" || s == "{")
            {
                ++iDepth;
            }
            else if (s == ")" || s == "]" || s == "}")
            {
                --iDepth;
            }
        }
        return true;
    }

    // NULL, 0 or a variable of the call's kind.
    bool CheckState(const Argument& argument)
    {
        const std::size_t uiFirst = argument.first;
        const std::string& sName = Text(uiFirst);
        const bool bOne = argument.second == uiFirst + 1;
        if (bOne && (sName == "NULL" || sName == "0"))
            return true;
        const std::string sExpected = std::string("a ") + m_call.Kind + " variable or NULL expected";
        if (!IsNameToken(sName) || (!bOne && Text(uiFirst + 1) != "["))
            return Fail(uiFirst, sExpected);
        const auto it = m_mapVariables.find(sName);
        if (it == m_mapVariables.end())
            return Fail(uiFirst, "undeclared identifier '" + sName + "'", 3004);
        const EffectVariable* pVariable = it->second;
        if (pVariable->Type != m_call.Kind)
            return Fail(uiFirst, "'" + sName + "' is a " + pVariable->Type + ", not a " + m_call.Kind);
        // The record holds one state block for each variable and none for an array's elements.
        if (pVariable->ArraySize != 0)
            return Fail(uiFirst, "'" + sName + "' is an array; a pass sets one " + m_call.Kind +
                                     " variable, not an array or an element of one");
        if (!bOne)
            return Fail(uiFirst + 1, sExpected);
        return true;
    }

    // float4(n, n, n, n), each number with at most one sign.
    bool CheckFactor(const Argument& argument)
    {
        const std::string sExpected = "the blend factor must be float4(four numbers)";
        std::size_t k = argument.first;
        if (Text(k) != "float4" || k + 1 >= argument.second || Text(k + 1) != "(")
            return Fail(k, sExpected);
        k += 2;
        for (int n = 0; n < 4; ++n, ++k)
        {
            if (n > 0 && Text(k++) != ",")
                return Fail(k - 1, sExpected);
            if (Text(k) == "-" || Text(k) == "+")
                ++k;
            if (!IsNumberToken(Text(k)))
                return Fail(k, sExpected);
            if (!ReadsAsFloat(Text(k)))
                return Fail(k, "'" + Text(k) + "' is no number the blend factor takes: " +
                                   (IsInexactHalf(Text(k))
                                        ? INEXACT_HALF
                                        : "decimal or hexadecimal, within the range of a float"));
        }
        if (Text(k) != ")")
            return Fail(k, sExpected);
        if (k + 1 != argument.second)
            return Fail(k + 1, sExpected);
        return true;
    }

    // An integer constant up to 0xFFFFFFFF, or after a '-' one down to -2147483648, which the
    // effects read with strtoul as its 32 bits, as HLSL converts a negative int to a uint.
    bool CheckUnsigned(const Argument& argument, const char* pWhat)
    {
        const std::size_t uiTokens = argument.second - argument.first;
        const bool bNegative = uiTokens == 2 && Text(argument.first) == "-";
        if ((uiTokens != 1 && !bNegative) ||
            !ReadsAsUnsigned(Text(argument.second - 1), bNegative ? 0x80000000ull : 0xFFFFFFFFull))
            return Fail(argument.first,
                        std::string("the ") + pWhat +
                            " must be an integer constant from 0 to 0xFFFFFFFF, or a negative "
                            "one down to -2147483648");
        return true;
    }

    const std::vector<SourceToken>& m_v;
    const StateCall& m_call;
    const d3d11_internal::EffectVariableMap& m_mapVariables;
    PassCallError* m_pError;
    std::vector<Argument> m_vArguments; // at most one past those the call takes
    std::size_t m_uiArguments = 0;
};

} // namespace

StateCallChecks::StateCallChecks(const std::vector<EffectVariable>& vVariables)
    : m_mapVariables(d3d11_internal::MapEffectVariables(vVariables))
{
}

bool StateCallChecks::Check(const std::vector<SourceToken>& vTokens, std::size_t uiName, std::size_t uiClose,
                            PassCallError* pError) const
{
    const StateCall* pCall = FindStateCall(vTokens[uiName].Text);
    if (pCall == nullptr)
        return true;
    return StateCallChecker(vTokens, *pCall, m_mapVariables, pError).Check(uiName, uiClose);
}

} // namespace d3dcompiler_internal
