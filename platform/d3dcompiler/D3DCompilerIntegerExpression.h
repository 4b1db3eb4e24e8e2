#pragma once
// Internal to the HLSL compiler stand-in: the integer constant expressions the parser evaluates
// (array sizes, state member indices, thread-group sizes).

#include "platform/d3dcompiler/D3DCompilerPreprocessor.h"

#include <cctype>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

namespace d3dcompiler_internal
{

// An integer constant expression of + - * / % and parentheses in 32-bit range; false when it is
// anything else.
class IntegerExpression
{
public:
    explicit IntegerExpression(const std::vector<const SourceToken*>& v) : m_v(v) {}

    bool Evaluate(std::int64_t* pOut) { return Sum(pOut) && m_i == m_v.size(); }

private:
    bool Sum(std::int64_t* pOut)
    {
        if (!Product(pOut))
            return false;
        while (m_i < m_v.size() && (m_v[m_i]->Text == "+" || m_v[m_i]->Text == "-"))
        {
            const bool bPlus = m_v[m_i++]->Text == "+";
            std::int64_t iRight = 0;
            if (!Product(&iRight))
                return false;
            *pOut = bPlus ? *pOut + iRight : *pOut - iRight;
            if (*pOut > INT32_MAX || *pOut < INT32_MIN)
                return false;
        }
        return true;
    }
    bool Product(std::int64_t* pOut)
    {
        if (!Unary(pOut))
            return false;
        while (m_i < m_v.size() && (m_v[m_i]->Text == "*" || m_v[m_i]->Text == "/" || m_v[m_i]->Text == "%"))
        {
            const char op = m_v[m_i++]->Text[0];
            std::int64_t iRight = 0;
            if (!Unary(&iRight) || (op != '*' && iRight == 0))
                return false;
            *pOut = op == '*' ? *pOut * iRight : op == '/' ? *pOut / iRight : *pOut % iRight;
            if (*pOut > INT32_MAX || *pOut < INT32_MIN)
                return false;
        }
        return true;
    }
    bool Unary(std::int64_t* pOut)
    {
        // Nesting is bounded so that a hostile source cannot exhaust the stack.
        if (m_i >= m_v.size() || ++m_iDepth > MAX_DEPTH)
            return false;
        const bool bOk = Operand(pOut);
        --m_iDepth;
        return bOk && *pOut <= INT32_MAX && *pOut >= INT32_MIN;
    }
    bool Operand(std::int64_t* pOut)
    {
        const std::string& s = m_v[m_i]->Text;
        if (s == "-" || s == "+")
        {
            ++m_i;
            if (!Unary(pOut))
                return false;
            if (s == "-")
                *pOut = -*pOut;
            return true;
        }
        if (s == "(")
        {
            ++m_i;
            if (!Sum(pOut) || m_i >= m_v.size() || m_v[m_i]->Text != ")")
                return false;
            ++m_i;
            return true;
        }
        std::string sDigits = s;
        while (!sDigits.empty() && (sDigits.back() == 'u' || sDigits.back() == 'U' || sDigits.back() == 'l' ||
                                    sDigits.back() == 'L'))
            sDigits.pop_back();
        if (sDigits.empty() || sDigits.size() > 10 || !std::isdigit(static_cast<unsigned char>(sDigits[0])))
            return false;
        std::size_t uiUsed = 0;
        try
        {
            *pOut = std::stoll(sDigits, &uiUsed, 0);
        }
        catch (const std::exception&)
        {
            return false;
        }
        ++m_i;
        return uiUsed == sDigits.size();
    }

    static constexpr int MAX_DEPTH = 64;

    const std::vector<const SourceToken*>& m_v;
    std::size_t m_i = 0;
    int m_iDepth = 0;
};

} // namespace d3dcompiler_internal
