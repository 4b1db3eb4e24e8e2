#include "render/device/KR_UtilitiesDX11.h"

#include "framework/app/KE_ApplicationManager.h"
#include "framework/core/KU_FileUtilities.h"
#include "framework/files/KF_FileManager.h"
#include "platform/win32/Windows.h"
#include "render/device/KR_GraphicsDevice.h"
#include "render/device/KR_ShaderProgram.h"
#include "render/device/KR_UtilitiesDX11IncludeHandler.h"

#include <cstring>

namespace
{

constexpr const char* ERROR_CAPTION = "Shader Compile Error";
constexpr const char* NO_MESSAGES = "Could not compile shader file. No error messages returned.";

KF_FileManager* GetFileManager()
{
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    return pEngine != nullptr ? pEngine->GetFileManager() : nullptr;
}

ID3D11Device* GetDevice()
{
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    KR_GraphicsDevice* pGraphicsDevice = pEngine != nullptr ? pEngine->GetGraphicsDevice() : nullptr;
    return pGraphicsDevice != nullptr ? pGraphicsDevice->GetDevice() : nullptr;
}

// The compiler's messages are text of the blob's size, not NUL-terminated.
void ShowCompileError(ID3DBlob* pErrors)
{
    KB_String sText(NO_MESSAGES);
    if (pErrors != nullptr && pErrors->GetBufferSize() != 0)
    {
        sText = KB_String(static_cast<std::uint64_t>(pErrors->GetBufferSize()));
        std::memcpy(sText.GetBuffer(), pErrors->GetBufferPointer(), pErrors->GetBufferSize());
    }
    MessageBoxA(nullptr, sText.GetBuffer(), ERROR_CAPTION, MB_ICONEXCLAMATION);
}

template <class T>
void ReleaseAndNull(T*& p)
{
    if (p != nullptr)
        p->Release();
    p = nullptr;
}

KB_String BaseDirectoryOf(const KB_String& sFile)
{
    KB_String sDirectory = KU_FileUtilities::ExtractDirectory(sFile);
    if (sDirectory.GetLength() != 0)
        sDirectory += "/";
    return sDirectory;
}

// Compiles the file's bytes with a handler on the file's directory; the file stays read.
HRESULT CompileRead(const KB_String& sFile, const std::uint8_t* pData, std::uint64_t uiSize,
                    const D3D_SHADER_MACRO* pMacros, const char* pEntry, const char* pTarget,
                    ID3DBlob** ppCode, ID3DBlob** ppErrors)
{
    KR_UtilitiesDX11IncludeHandler includeHandler(BaseDirectoryOf(sFile));
    return D3DCompile(pData, static_cast<SIZE_T>(uiSize), sFile.GetBuffer(), pMacros, &includeHandler, pEntry,
                      pTarget, D3DCOMPILE_ENABLE_STRICTNESS, 0, ppCode, ppErrors);
}

} // namespace

std::int32_t KR_UtilitiesDX11::CompileShader(const KB_String& sFile, const D3D_SHADER_MACRO* pMacros,
                                             const char* pEntry, const char* pTarget, ID3DBlob** ppOut)
{
    if (ppOut != nullptr)
        *ppOut = nullptr;
    KF_FileManager* pFiles = GetFileManager();
    std::uint64_t uiSize = 0;
    std::uint8_t* pData = nullptr;
    if (pFiles == nullptr || !pFiles->FileExists(sFile) || !pFiles->ReadFile(sFile, &uiSize, &pData))
        return 1;
    ID3DBlob* pCode = nullptr;
    ID3DBlob* pErrors = nullptr;
    const HRESULT hr = CompileRead(sFile, pData, uiSize, pMacros, pEntry, pTarget, &pCode, &pErrors);
    pFiles->RemoveReference(sFile);
    if (FAILED(hr) || pCode == nullptr)
    {
        ShowCompileError(pErrors);
        ReleaseAndNull(pErrors);
        ReleaseAndNull(pCode);
        return 1;
    }
    ReleaseAndNull(pErrors); // warnings
    if (ppOut != nullptr)
        *ppOut = pCode;
    else
        pCode->Release();
    return 0;
}

std::int32_t KR_UtilitiesDX11::CompileEffect(const KB_String& sFile, const D3D_SHADER_MACRO* pMacros,
                                             ID3DX11Effect** ppOut)
{
    if (ppOut != nullptr)
        *ppOut = nullptr;
    KF_FileManager* pFiles = GetFileManager();
    if (pFiles == nullptr)
        return 1;
    const KB_String sPrecompiled = KU_FileUtilities::ReplaceExtension(sFile, "fxo");
    const bool bPrecompiled = sPrecompiled.GetLength() != 0 && pFiles->FileExists(sPrecompiled);
    const KB_String sUsed = bPrecompiled ? sPrecompiled : sFile;
    std::uint64_t uiSize = 0;
    std::uint8_t* pData = nullptr;
    if (!pFiles->FileExists(sUsed) || !pFiles->ReadFile(sUsed, &uiSize, &pData))
        return 1;

    ID3DBlob* pCode = nullptr;
    ID3DBlob* pErrors = nullptr;
    const void* pBytecode = pData;
    SIZE_T uiBytecodeSize = static_cast<SIZE_T>(uiSize);
    if (!bPrecompiled)
    {
        const HRESULT hr = CompileRead(sUsed, pData, uiSize, pMacros, nullptr, "fx_5_0", &pCode, &pErrors);
        if (FAILED(hr) || pCode == nullptr)
        {
            ShowCompileError(pErrors);
            ReleaseAndNull(pErrors);
            ReleaseAndNull(pCode);
            pFiles->RemoveReference(sUsed);
            return 1;
        }
        pBytecode = pCode->GetBufferPointer();
        uiBytecodeSize = pCode->GetBufferSize();
    }
    ID3DX11Effect* pEffect = nullptr;
    const HRESULT hr = D3DX11CreateEffectFromMemory(pBytecode, uiBytecodeSize, 0, GetDevice(), &pEffect);
    std::int32_t iResult = 0;
    if (FAILED(hr) || pEffect == nullptr)
    {
        ShowCompileError(pErrors);
        ReleaseAndNull(pEffect);
        iResult = 1;
    }
    ReleaseAndNull(pErrors);
    ReleaseAndNull(pCode);
    pFiles->RemoveReference(sUsed);
    if (ppOut != nullptr)
        *ppOut = pEffect;
    else
        ReleaseAndNull(pEffect);
    return iResult;
}

ID3DBlob* KR_UtilitiesDX11::CreateBlob(std::uint32_t uiSize)
{
    ID3DBlob* pBlob = nullptr;
    if (FAILED(D3DCreateBlob(uiSize, &pBlob)))
        return nullptr;
    return pBlob;
}

std::array<std::uint32_t, 3> KR_UtilitiesDX11::GetDispatchSize(const std::uint32_t threads[3],
                                                               const KR_ShaderProgram* pProgram)
{
    if (threads == nullptr || pProgram == nullptr || pProgram->m_pBlob[KR_SHADER_STAGE_COMPUTE] == nullptr)
        return {0, 0, 0};
    const std::uint32_t size[3] = {pProgram->m_uiThreadGroupSizeX, pProgram->m_uiThreadGroupSizeY,
                                   pProgram->m_uiThreadGroupSizeZ};
    if (size[0] == 0 || size[1] == 0 || size[2] == 0)
        return {0, 0, 0};
    std::array<std::uint32_t, 3> groups{};
    // Rounded up without the overflow of (threads + size - 1) near 2^32.
    for (int i = 0; i < 3; ++i)
        groups[i] = threads[i] / size[i] + (threads[i] % size[i] != 0 ? 1u : 0u);
    return groups;
}
