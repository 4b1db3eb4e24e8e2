#pragma once
// Internal to the HLSL compiler stand-in: the tokens of a preprocessed text as its parser reads
// them, each bracket with its partner, and the errors found reading them. The readers of a text's
// parts (the top level, state blocks, techniques) share one, and so its errors and whether it failed.

#include "platform/d3dcompiler/D3DCompilerPreprocessor.h"

#include <cstddef>
#include <string>
#include <vector>

namespace d3dcompiler_internal
{

class TokenReader
{
public:
    static constexpr std::size_t NONE = static_cast<std::size_t>(-1);

    // The tokens and the name must outlive the reader; errors are appended to *pErrors.
    TokenReader(const std::vector<SourceToken>& vTokens, const std::string& sSourceName,
                std::string* pErrors);

    std::size_t Size() const { return m_v.size(); }
    const std::vector<SourceToken>& Tokens() const { return m_v; }
    const SourceToken& Token(std::size_t i) const { return m_v[i]; }
    // The text of token i; empty past the last.
    const std::string& Text(std::size_t i) const
    {
        static const std::string s_sEnd;
        return i < m_v.size() ? m_v[i].Text : s_sEnd;
    }
    // The partner of the bracket at i (see CheckBalance); NONE for any other token.
    std::size_t Match(std::size_t i) const { return m_vMatch[i]; }
    // No error yet.
    bool Ok() const { return m_bOk; }

    // An error at token i (at the text's start when i is past the last), in the compiler's form.
    void Error(std::size_t i, int iCode, const std::string& sText);
    void Unexpected(std::size_t i);

    // Every ( [ { closed by its partner, in order; Match gives each bracket's partner, and each "<"
    // the ">" or ">>" that closes it at its own bracket level (">>" closes two). A "<" still open
    // when its brackets close, or at the end, keeps NONE: it opens no list. False, with the error,
    // when they do not balance or a string literal never closes.
    bool CheckBalance();

    // Past a template argument list or an annotation block (which holds ';') starting at i ("<");
    // i itself when that "<" is not closed within its brackets, and so opens no list.
    std::size_t SkipAngles(std::size_t i) const { return m_vMatch[i] == NONE ? i : m_vMatch[i] + 1; }

    // The texts of the tokens from uiBegin to uiEnd, a space only between two that would run
    // together (a name after a name or a number).
    std::string Join(std::size_t uiBegin, std::size_t uiEnd) const;

protected:
    const std::vector<SourceToken>& m_v;
    const std::string& m_sSourceName;
    std::string* m_pErrors;
    bool m_bOk = true;
    std::vector<std::size_t> m_vMatch;
};

} // namespace d3dcompiler_internal
