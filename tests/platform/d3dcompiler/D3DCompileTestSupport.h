#pragma once
// What the shader compiler's tests share: a fixture, includes from a map, a compile that keeps its code and
// messages, an effect's error expected at a marked token, the tokens a text preprocesses to, repeated text,
// and the bytes the program holds on its heap.

#include "platform/d3d11/D3D11ShaderBytecode.h"
#include "platform/d3dcompiler/D3DCompilerControl.h"
#include "platform/d3dcompiler/D3DCompilerPreprocessor.h"
#include "platform/d3dcompiler/d3dcompiler.h"
#include "tests/support/SanitizerBuild.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <malloc.h>
#include <map>
#include <string>
#include <vector>

// Under a sanitizer its allocator, not malloc's, knows what is allocated.
#if defined(KV_TEST_ADDRESS_SANITIZER) || defined(KV_TEST_THREAD_SANITIZER)
// Every sanitizer runtime exports it; g++ ships no header that declares it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace d3dcompile_test
{

// Starts and ends with the compiler's counters reset, and every blob released.
class CompilerTest : public ::testing::Test
{
protected:
    void SetUp() override { D3DCompilerControl::Reset(); }
    void TearDown() override
    {
        EXPECT_EQ(0u, D3DCompilerControl::GetLiveObjectCount());
        D3DCompilerControl::Reset();
    }
};

// Include files from a map; m_iOpen counts the files open now.
class MapInclude : public ID3DInclude
{
public:
    std::map<std::string, std::string> m_mapFiles;
    int m_iOpen = 0;

    HRESULT Open(D3D_INCLUDE_TYPE, LPCSTR pFileName, LPCVOID, LPCVOID* ppData, UINT* pBytes) override
    {
        auto it = m_mapFiles.find(pFileName);
        if (it == m_mapFiles.end())
            return E_FAIL;
        *ppData = it->second.data();
        *pBytes = static_cast<UINT>(it->second.size());
        ++m_iOpen;
        return S_OK;
    }
    HRESULT Close(LPCVOID) override
    {
        --m_iOpen;
        return S_OK;
    }
};

struct Result
{
    HRESULT hr = E_FAIL;
    std::vector<std::uint8_t> vCode;
    std::string sErrors;
};

inline Result Compile(const std::string& sSource, const char* pEntry, const char* pTarget,
                      const D3D_SHADER_MACRO* pMacros = nullptr, ID3DInclude* pInclude = nullptr,
                      const char* pName = "shader.hlsl")
{
    Result result;
    ID3DBlob* pCode = nullptr;
    ID3DBlob* pErrors = nullptr;
    result.hr = D3DCompile(sSource.data(), sSource.size(), pName, pMacros, pInclude, pEntry, pTarget,
                           D3DCOMPILE_ENABLE_STRICTNESS, 0, &pCode, &pErrors);
    EXPECT_EQ(SUCCEEDED(result.hr), pCode != nullptr);
    if (pCode != nullptr)
    {
        const auto* p = static_cast<const std::uint8_t*>(pCode->GetBufferPointer());
        result.vCode.assign(p, p + pCode->GetBufferSize());
        pCode->Release();
    }
    if (pErrors != nullptr)
    {
        result.sErrors.assign(static_cast<const char*>(pErrors->GetBufferPointer()),
                              pErrors->GetBufferSize());
        pErrors->Release();
    }
    return result;
}

// The effect text, in which a "`" marks a token on line iLine, fails to compile with one error at
// that token: "error X" and sError (its code and text). sCase names the case in a failure.
inline void ExpectEffectErrorAtMark(std::string sText, int iLine, const std::string& sError,
                                    const std::string& sCase)
{
    const std::size_t uiAt = sText.find('`');
    sText.erase(uiAt, 1);
    const std::string sWhere =
        "shader.hlsl(" + std::to_string(iLine) + "," + std::to_string(uiAt - sText.rfind('\n', uiAt)) + ")";
    const Result result = Compile(sText, nullptr, "fx_5_0");
    EXPECT_EQ(E_FAIL, result.hr) << sCase;
    EXPECT_EQ(sWhere + ": error X" + sError + "\n", result.sErrors) << sCase;
}

// The pixel shader "PSMain" of the text.
inline Result CompilePixelShader(const std::string& sSource, ID3DInclude* pInclude = nullptr)
{
    return Compile(sSource, "PSMain", "ps_5_0", nullptr, pInclude);
}

inline d3d11_internal::ShaderBytecode Decode(const std::vector<std::uint8_t>& vCode)
{
    d3d11_internal::ShaderBytecode bytecode;
    EXPECT_TRUE(d3d11_internal::DecodeShaderBytecode(vCode.data(), vCode.size(), &bytecode));
    return bytecode;
}

// The tokens the text preprocesses to, one space between each; "failed: " and the errors where it
// fails.
inline std::string TokensOf(const std::string& sText, ID3DInclude* pInclude = nullptr,
                            const D3D_SHADER_MACRO* pDefines = nullptr)
{
    d3dcompiler_internal::PreprocessedSource out;
    std::string sErrors;
    if (!d3dcompiler_internal::Preprocess(sText.data(), sText.size(), "shader.hlsl", pDefines, pInclude, &out,
                                          &sErrors))
        return "failed: " + sErrors;
    std::string s;
    for (const d3dcompiler_internal::SourceToken& token : out.Tokens)
        s += (s.empty() ? "" : " ") + token.Text;
    return s;
}

// The errors of preprocessing the text, empty when it succeeds.
inline std::string Errors(const std::string& sText, ID3DInclude* pInclude = nullptr)
{
    d3dcompiler_internal::PreprocessedSource out;
    std::string sErrors;
    const bool bOk = d3dcompiler_internal::Preprocess(sText.data(), sText.size(), "shader.hlsl", nullptr,
                                                      pInclude, &out, &sErrors);
    EXPECT_EQ(bOk, sErrors.empty()) << sErrors;
    return sErrors;
}

// The system's C preprocessor with the flags given (cpp, else g++ -E on C), as a command that takes
// a file name, or an empty string when neither runs.
inline std::string SystemPreprocessor(const std::string& sFlags)
{
    for (const char* pCommand : {"cpp", "g++ -E -x c"})
    {
        const std::string sProbe = std::string(pCommand) + " " + sFlags + " /dev/null >/dev/null 2>&1";
        if (std::system(sProbe.c_str()) == 0)
            return pCommand + (" " + sFlags);
    }
    return "";
}

inline std::string Repeat(const std::string& sText, std::size_t uiCount)
{
    std::string s;
    s.reserve(sText.size() * uiCount);
    for (std::size_t i = 0; i < uiCount; ++i)
        s += sText;
    return s;
}

// Bytes the program has allocated and not freed.
inline std::size_t LiveHeapBytes()
{
#if defined(KV_TEST_ADDRESS_SANITIZER) || defined(KV_TEST_THREAD_SANITIZER)
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

inline // "shader.hlsl(line,column)" of the first occurrence of sWhat in sText.
    std::string
    Where(const std::string& sText, const std::string& sWhat)
{
    const std::size_t uiAt = sText.find(sWhat);
    const std::size_t uiLineStart =
        sText.rfind('\n', uiAt) == std::string::npos ? 0 : sText.rfind('\n', uiAt) + 1;
    std::size_t uiLine = 1;
    for (std::size_t i = 0; i < uiAt; ++i)
        uiLine += sText[i] == '\n' ? 1 : 0;
    return "shader.hlsl(" + std::to_string(uiLine) + "," + std::to_string(uiAt - uiLineStart + 1) + ")";
}

} // namespace d3dcompile_test
