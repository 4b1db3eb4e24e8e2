#include "platform/d3dcompiler/D3DCompilerTokenReader.h"

#include "platform/d3dcompiler/D3DCompilerNumbers.h"

#include <cctype>

namespace d3dcompiler_internal
{

TokenReader::TokenReader(const std::vector<SourceToken>& vTokens, const std::string& sSourceName,
                         std::string* pErrors)
    : m_v(vTokens), m_sSourceName(sSourceName), m_pErrors(pErrors)
{
}

void TokenReader::Error(std::size_t i, int iCode, const std::string& sText)
{
    m_bOk = false;
    if (i < m_v.size())
        *m_pErrors += FormatError(*m_v[i].File, m_v[i].Line, m_v[i].Column, iCode, sText);
    else
        *m_pErrors += FormatError(m_sSourceName, 1, 1, iCode, sText);
}

void TokenReader::Unexpected(std::size_t i)
{
    Error(i, 3000, "syntax error: unexpected token '" + Text(i) + "'");
}

bool TokenReader::CheckBalance()
{
    m_vMatch.assign(m_v.size(), NONE);
    std::vector<std::size_t> vOpen;
    std::vector<std::size_t> vAngles;     // open "<", of every bracket level
    std::vector<std::size_t> vAngleFloor; // per open bracket: vAngles' size when it opened
    for (std::size_t i = 0; i < m_v.size(); ++i)
    {
        const std::string& s = m_v[i].Text;
        if (!s.empty() && (s[0] == '"' || s[0] == '\'') && (s.size() < 2 || s.back() != s[0]))
        {
            // The lexer hands the quote of a literal that never closes over alone.
            Error(i, 3000, "syntax error: unterminated string literal");
            return false;
        }
        if (s == "<")
        {
            vAngles.push_back(i);
            continue;
        }
        if (s == ">" || s == ">>")
        {
            const std::size_t uiFloor = vAngleFloor.empty() ? 0 : vAngleFloor.back();
            for (int n = s == ">" ? 1 : 2; n > 0 && vAngles.size() > uiFloor; --n)
            {
                m_vMatch[vAngles.back()] = i;
                vAngles.pop_back();
            }
            continue;
        }
        if (s == "(" || s == "[" || s == "{")
        {
            vOpen.push_back(i);
            vAngleFloor.push_back(vAngles.size());
            continue;
        }
        if (s != ")" && s != "]" && s != "}")
            continue;
        const char opener = s == ")" ? '(' : s == "]" ? '[' : '{';
        if (vOpen.empty() || m_v[vOpen.back()].Text[0] != opener)
        {
            Unexpected(i);
            return false;
        }
        m_vMatch[vOpen.back()] = i;
        m_vMatch[i] = vOpen.back();
        vOpen.pop_back();
        vAngles.resize(vAngleFloor.back());
        vAngleFloor.pop_back();
    }
    if (!vOpen.empty())
    {
        Error(vOpen.back(), 3000,
              "syntax error: unexpected end of file; '" + m_v[vOpen.back()].Text + "' is never closed");
        return false;
    }
    return true;
}

std::string TokenReader::Join(std::size_t uiBegin, std::size_t uiEnd) const
{
    std::string s;
    for (std::size_t i = uiBegin; i < uiEnd && i < m_v.size(); ++i)
    {
        if (!s.empty() && IsNameToken(m_v[i].Text) &&
            (IsNameToken(m_v[i - 1].Text) ||
             std::isdigit(static_cast<unsigned char>(m_v[i - 1].Text.back()))))
            s += ' ';
        s += m_v[i].Text;
    }
    return s;
}

} // namespace d3dcompiler_internal
