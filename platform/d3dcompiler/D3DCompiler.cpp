#include "platform/d3dcompiler/d3dcompiler.h"

#include "platform/d3d11/D3D11ShaderBytecode.h"
#include "platform/d3dcompiler/D3DCompilerObjects.h"
#include "platform/d3dcompiler/D3DCompilerParser.h"
#include "platform/d3dcompiler/D3DCompilerPreprocessor.h"

#include <string>
#include <vector>

using d3d11_internal::ShaderBytecode;
using d3d11_internal::ShaderStage;
using d3dcompiler_internal::Blob;
using d3dcompiler_internal::Runtime;

namespace
{

std::uint64_t HashText(const std::string& sText)
{
    std::uint64_t uiHash = 0xcbf29ce484222325ull;
    for (const char c : sText)
        uiHash = (uiHash ^ static_cast<std::uint8_t>(c)) * 0x100000001b3ull;
    return uiHash;
}

// The messages go back exactly as text, without a terminating NUL: callers read them by size.
HRESULT Fail(const std::string& sErrors, ID3DBlob** ppErrorMsgs)
{
    if (ppErrorMsgs != nullptr)
        *ppErrorMsgs = Blob::Create(sErrors.data(), sErrors.size());
    return E_FAIL;
}

} // namespace

HRESULT D3DCompile(LPCVOID pSrcData, SIZE_T SrcDataSize, LPCSTR pSourceName, const D3D_SHADER_MACRO* pDefines,
                   ID3DInclude* pInclude, LPCSTR pEntrypoint, LPCSTR pTarget, UINT Flags1, UINT Flags2,
                   ID3DBlob** ppCode, ID3DBlob** ppErrorMsgs)
{
    (void)Flags1; // optimisation and strictness change nothing in what the stand-in checks
    (void)Flags2;
    if (ppCode != nullptr)
        *ppCode = nullptr;
    if (ppErrorMsgs != nullptr)
        *ppErrorMsgs = nullptr;
    Runtime& runtime = Runtime::Get();
    runtime.CountCompile();
    const HRESULT hrInjected = runtime.TakeFailure("D3DCompile");
    if (FAILED(hrInjected))
        return hrInjected;
    if ((pSrcData == nullptr && SrcDataSize != 0) || ppCode == nullptr || pTarget == nullptr)
        return E_INVALIDARG;

    const std::string sName = pSourceName != nullptr && pSourceName[0] != '\0' ? pSourceName : "<Unknown>";
    const ShaderStage stage = d3d11_internal::StageOfTarget(pTarget);
    if (stage == ShaderStage::Unknown)
        return Fail(d3dcompiler_internal::FormatError(
                        sName, 1, 1, 3000, std::string("'") + pTarget + "': invalid compile target"),
                    ppErrorMsgs);
    if (stage != ShaderStage::Effect && (pEntrypoint == nullptr || pEntrypoint[0] == '\0'))
        return Fail(d3dcompiler_internal::FormatError(sName, 1, 1, 3501, "'': entrypoint not found"),
                    ppErrorMsgs);

    std::string sErrors;
    d3dcompiler_internal::PreprocessedSource source;
    ShaderBytecode bytecode;
    try
    {
        if (!d3dcompiler_internal::Preprocess(static_cast<const char*>(pSrcData), SrcDataSize, pSourceName,
                                              pDefines, pInclude, &source, &sErrors))
        {
            return Fail(sErrors, ppErrorMsgs);
        }
        bytecode.Target = pTarget;
        bytecode.Entry = stage == ShaderStage::Effect ? "" : pEntrypoint;
        bytecode.SourceHash = HashText(source.Text);
        if (!d3dcompiler_internal::AnalyzeSource(source.Tokens, sName, &bytecode, &sErrors))
            return Fail(sErrors, ppErrorMsgs);
        const std::vector<std::uint8_t> vBytes = d3d11_internal::EncodeShaderBytecode(bytecode);
        Blob* pCode = Blob::Create(vBytes.data(), vBytes.size());
        if (pCode == nullptr)
            return E_OUTOFMEMORY;
        *ppCode = pCode;
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT D3DCreateBlob(SIZE_T Size, ID3DBlob** ppBlob)
{
    if (ppBlob == nullptr)
        return E_INVALIDARG;
    *ppBlob = nullptr;
    const HRESULT hr = Runtime::Get().TakeFailure("D3DCreateBlob");
    if (FAILED(hr))
        return hr;
    Blob* pBlob = Blob::Create(nullptr, Size);
    if (pBlob == nullptr)
        return E_OUTOFMEMORY;
    *ppBlob = pBlob;
    return S_OK;
}

HRESULT D3DReflect(LPCVOID pSrcData, SIZE_T SrcDataSize, REFIID pInterface, void** ppReflector)
{
    if (ppReflector == nullptr)
        return E_INVALIDARG;
    *ppReflector = nullptr;
    const HRESULT hr = Runtime::Get().TakeFailure("D3DReflect");
    if (FAILED(hr))
        return hr;
    if (!IsEqualIID(pInterface, IID_ID3D11ShaderReflection))
        return E_NOINTERFACE;
    ShaderBytecode bytecode;
    if (!d3d11_internal::DecodeShaderBytecode(pSrcData, SrcDataSize, &bytecode) ||
        d3d11_internal::StageOfTarget(bytecode.Target) == ShaderStage::Effect)
    {
        return E_INVALIDARG;
    }
    d3dcompiler_internal::ShaderReflection* pReflection =
        d3dcompiler_internal::ShaderReflection::Create(bytecode.NumThreads);
    if (pReflection == nullptr)
        return E_OUTOFMEMORY;
    *ppReflector = static_cast<ID3D11ShaderReflection*>(pReflection);
    return S_OK;
}
