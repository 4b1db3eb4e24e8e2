// Fuzzes shader text through the compiler stand-in: the preprocessor (macros, conditions, includes)
// and the checks after it. The first byte picks the target and entry point (bits 0-2) and whether
// a macro table of engine options comes with it (bit 3); the rest is the source, then any number
// of include files, each after a NUL byte as its name, a line break and its text. Includes are
// served from memory by name (exactly as written), every other name fails to open. Every Open must
// be matched by one Close; a compile that succeeds gives bytecode the decoder reads back, one that
// fails gives error text ending with a line break. Two properties of preprocessing hold as well:
// (a) the source followed by "\n\n#error X\n" never compiles (two line breaks, so that a last line
// ending in a splice cannot take the #error in); (b) the source compiles exactly when the same
// source after one empty line compiles, except where a line number can change the result (the
// source or an include names __LINE__ or #line, or pastes tokens, which can make __LINE__), the
// source starts with a byte-order mark, or it sits at the source or output limit.

#include "platform/d3d11/D3D11ShaderBytecode.h"
#include "platform/d3dcompiler/D3DCompilerLimits.h"
#include "platform/d3dcompiler/d3dcompiler.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace
{

// Include files from the input; counts what is open.
class MemoryInclude : public ID3DInclude
{
public:
    std::map<std::string, std::vector<char>> m_mapFiles;
    int m_iOpen = 0;

    HRESULT Open(D3D_INCLUDE_TYPE, LPCSTR pFileName, LPCVOID, LPCVOID* ppData, UINT* pBytes) override
    {
        auto it = m_mapFiles.find(pFileName);
        if (it == m_mapFiles.end())
            return E_FAIL;
        // A copy of exactly the file, so reading past its end is caught.
        auto* pCopy = new char[it->second.size() + 1];
        if (!it->second.empty()) // an empty file's data may be null, which memcpy may not take
            std::memcpy(pCopy, it->second.data(), it->second.size());
        *ppData = pCopy;
        *pBytes = static_cast<UINT>(it->second.size());
        ++m_iOpen;
        return S_OK;
    }
    HRESULT Close(LPCVOID pData) override
    {
        delete[] static_cast<const char*>(pData);
        --m_iOpen;
        return S_OK;
    }
};

const struct
{
    const char* pTarget;
    const char* pEntry;
} TARGETS[] = {{"vs_5_0", "MainVS"},
               {"ps_5_0", "MainPS"},
               {"gs_5_0", "MainGS"},
               {"cs_5_0", "MainCS"},
               {"fx_5_0", nullptr}};

const D3D_SHADER_MACRO OPTIONS[] = {{"VS_IN_NORMAL", "1"},        {"VS_IN_UV0", nullptr},
                                    {"VS_OUT_NORMAL", ""},        {"PS_SHADOWMAP", "1"},
                                    {"BLENDSTATE", "1"},          {"DEPTHSTENCILSTATE", "ENABLED"},
                                    {"SCALE(x, s)", "((x) * s)"}, {nullptr, nullptr}};

struct Outcome
{
    bool bCompiled = false;
    std::string sErrors;
};

// Compiles the source as the input asks, and checks what any compile must give.
Outcome Compile(const std::vector<char>& source, std::uint8_t uiOptions, MemoryInclude* pInclude)
{
    const auto& target = TARGETS[(uiOptions & 7) % (sizeof TARGETS / sizeof TARGETS[0])];
    ID3DBlob* pCode = nullptr;
    ID3DBlob* pErrors = nullptr;
    const HRESULT hr = D3DCompile(source.empty() ? nullptr : source.data(), source.size(), "fuzz.hlsl",
                                  (uiOptions & 8) != 0 ? OPTIONS : nullptr, pInclude, target.pEntry,
                                  target.pTarget, D3DCOMPILE_ENABLE_STRICTNESS, 0, &pCode, &pErrors);
    if (pInclude->m_iOpen != 0 || SUCCEEDED(hr) != (pCode != nullptr))
        __builtin_trap();
    Outcome outcome;
    outcome.bCompiled = SUCCEEDED(hr);
    if (pCode != nullptr)
    {
        d3d11_internal::ShaderBytecode bytecode;
        if (!d3d11_internal::DecodeShaderBytecode(pCode->GetBufferPointer(), pCode->GetBufferSize(),
                                                  &bytecode))
            __builtin_trap();
        pCode->Release();
    }
    if (pErrors != nullptr)
    {
        const auto* pMessage = static_cast<const char*>(pErrors->GetBufferPointer());
        if (pErrors->GetBufferSize() == 0 || pMessage[pErrors->GetBufferSize() - 1] != '\n')
            __builtin_trap();
        outcome.sErrors.assign(pMessage, pErrors->GetBufferSize());
        pErrors->Release();
    }
    else if (hr == E_FAIL)
    {
        __builtin_trap(); // a failed compile says why
    }
    return outcome;
}

// The text with its line splices (a backslash or ??/ before a line break) taken out.
std::string Unspliced(const char* pText, std::size_t uiSize)
{
    std::string s;
    for (std::size_t i = 0; i < uiSize; ++i)
    {
        std::size_t uiBackslash = pText[i] == '\\' ? 1 : 0;
        if (pText[i] == '?' && i + 2 < uiSize && pText[i + 1] == '?' && pText[i + 2] == '/')
            uiBackslash = 3;
        std::size_t uiBreak = i + uiBackslash;
        if (uiBackslash > 0 && uiBreak < uiSize && (pText[uiBreak] == '\n' || pText[uiBreak] == '\r'))
        {
            if (pText[uiBreak] == '\r' && uiBreak + 1 < uiSize && pText[uiBreak + 1] == '\n')
                ++uiBreak;
            i = uiBreak;
            continue;
        }
        s += pText[i];
    }
    return s;
}

// The text may name the line it stands on: __LINE__, #line, or a paste that may make either.
bool MayNameLine(const char* pText, std::size_t uiSize)
{
    const std::string s = Unspliced(pText, uiSize);
    return s.find("line") != std::string::npos || s.find("LINE") != std::string::npos ||
           s.find("##") != std::string::npos || s.find("%:%:") != std::string::npos;
}

void Fail(const char* pProperty, const Outcome& first, const Outcome& second)
{
    std::fprintf(stderr, "property %s does not hold:\n%s---\n%s", pProperty, first.sErrors.c_str(),
                 second.sErrors.c_str());
    __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize)
{
    if (uiSize < 1)
        return 0;
    const std::uint8_t uiOptions = pData[0];
    const char* pText = reinterpret_cast<const char*>(pData + 1);
    const char* const pEnd = reinterpret_cast<const char*>(pData + uiSize);
    const char* pPart =
        static_cast<const char*>(std::memchr(pText, '\0', static_cast<std::size_t>(pEnd - pText)));
    if (pPart == nullptr)
        pPart = pEnd;
    // A copy of exactly the source.
    const std::vector<char> source(pText, pPart);
    MemoryInclude include;
    while (pPart < pEnd)
    {
        const char* pName = pPart + 1;
        const char* pNext =
            static_cast<const char*>(std::memchr(pName, '\0', static_cast<std::size_t>(pEnd - pName)));
        if (pNext == nullptr)
            pNext = pEnd;
        const char* pBreak =
            static_cast<const char*>(std::memchr(pName, '\n', static_cast<std::size_t>(pNext - pName)));
        if (pBreak == nullptr)
            pBreak = pNext;
        include.m_mapFiles[std::string(pName, pBreak)].assign(pBreak < pNext ? pBreak + 1 : pNext, pNext);
        pPart = pNext;
    }

    const Outcome outcome = Compile(source, uiOptions, &include);

    // (a) An #error after the text is always reached.
    std::vector<char> withError = source;
    for (const char c : std::string("\n\n#error X\n"))
        withError.push_back(c);
    const Outcome error = Compile(withError, uiOptions, &include);
    if (error.bCompiled)
        Fail("(a), an #error after the text", outcome, error);

    // (b) An empty line before the text changes nothing.
    bool bExempt =
        source.size() + 1 > D3DCompilerLimits::MAX_SOURCE_BYTES ||
        (source.size() >= 3 && static_cast<unsigned char>(source[0]) == 0xEF &&
         static_cast<unsigned char>(source[1]) == 0xBB && static_cast<unsigned char>(source[2]) == 0xBF) ||
        MayNameLine(source.data(), source.size());
    for (const auto& file : include.m_mapFiles)
        bExempt = bExempt || MayNameLine(file.second.data(), file.second.size());
    if (bExempt)
        return 0;
    std::vector<char> shifted(1, '\n');
    shifted.insert(shifted.end(), source.begin(), source.end());
    const Outcome shiftedOutcome = Compile(shifted, uiOptions, &include);
    const char* const pOutputLimit = "preprocessed output passes";
    if (shiftedOutcome.bCompiled != outcome.bCompiled &&
        outcome.sErrors.find(pOutputLimit) == std::string::npos &&
        shiftedOutcome.sErrors.find(pOutputLimit) == std::string::npos)
        Fail("(b), an empty line before the text", outcome, shiftedOutcome);
    return 0;
}
