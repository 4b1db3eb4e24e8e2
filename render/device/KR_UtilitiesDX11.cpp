#include "render/device/KR_UtilitiesDX11.h"

#include "framework/app/KE_EngineMembers.h"
#include "framework/core/KU_FileUtilities.h"
#include "framework/files/KF_FileManager.h"
#include "platform/d3dcompiler/D3DCompilerLimits.h"
#include "platform/d3dx11/d3dx11.h"
#include "platform/win32/Windows.h"
#include "render/device/KR_EngineDevice.h"
#include "render/device/KR_GraphicsDevice.h"
#include "render/device/KR_ShaderProgram.h"
#include "render/device/KR_UtilitiesDX11IncludeHandler.h"

#include <cstring>

namespace
{

constexpr const char* ERROR_CAPTION = "Shader Compile Error";
constexpr const char* NO_MESSAGES = "Could not compile shader file. No error messages returned.";

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

// A source larger than the compiler takes fails as a compile failure, unread, when a repository
// can tell its size: true after the box has said so.
bool RefuseLargeSource(KF_FileManager* pFiles, const KB_String& sFile)
{
    std::uint64_t uiSize = 0;
    if (!pFiles->GetFileSize(sFile, &uiSize) || uiSize <= D3DCompilerLimits::MAX_SOURCE_BYTES)
        return false;
    const KB_String sText =
        KB_String::Formatted("%s: source text of %llu bytes passes the compiler's %zu", sFile.GetBuffer(),
                             static_cast<unsigned long long>(uiSize), D3DCompilerLimits::MAX_SOURCE_BYTES);
    MessageBoxA(nullptr, sText.GetBuffer(), ERROR_CAPTION, MB_ICONEXCLAMATION);
    return true;
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

// One image of a texture array as a staging texture in R8G8B8A8_UNORM with a full mip chain made
// with the mip filter; null when it cannot be read or decoded.
ID3D11Texture2D* LoadArrayImage(ID3D11Device* pDevice, KF_FileManager* pFiles, const KB_String& sFile,
                                UINT uiMipFilter)
{
    std::uint64_t uiSize = 0;
    std::uint8_t* pData = nullptr;
    if (!pFiles->ReadFile(sFile, &uiSize, &pData))
        return nullptr;
    D3DX11_IMAGE_LOAD_INFO load;
    load.Height = 0;
    load.FirstMipLevel = 0;
    load.Usage = D3D11_USAGE_STAGING;
    load.BindFlags = 0;
    load.CpuAccessFlags = D3D11_CPU_ACCESS_READ;
    load.MiscFlags = 0;
    load.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    load.Filter = D3DX11_FILTER_NONE;
    load.MipFilter = uiMipFilter;
    ID3D11Resource* pResource = nullptr;
    const HRESULT hr = D3DX11CreateTextureFromMemory(pDevice, pData, static_cast<SIZE_T>(uiSize), &load,
                                                     nullptr, &pResource, nullptr);
    pFiles->RemoveReference(sFile);
    if (FAILED(hr))
        return nullptr;
    ID3D11Texture2D* pTexture = nullptr;
    pResource->QueryInterface(IID_ID3D11Texture2D, reinterpret_cast<void**>(&pTexture));
    pResource->Release();
    return pTexture;
}

// Copies levels [0, uiLevels) of a staging image into slice uiSlice of an array with uiArrayMips
// levels per slice.
bool CopyIntoSlice(ID3D11DeviceContext* pContext, ID3D11Texture2D* pStaging, ID3D11Resource* pArray,
                   UINT uiSlice, UINT uiLevels, UINT uiArrayMips)
{
    for (UINT uiMip = 0; uiMip < uiLevels; ++uiMip)
    {
        D3D11_MAPPED_SUBRESOURCE mapped{};
        if (FAILED(pContext->Map(pStaging, uiMip, D3D11_MAP_READ, 0, &mapped)))
            return false;
        pContext->UpdateSubresource(pArray, D3D11CalcSubresource(uiMip, uiSlice, uiArrayMips), nullptr,
                                    mapped.pData, mapped.RowPitch, mapped.DepthPitch);
        pContext->Unmap(pStaging, uiMip);
    }
    return true;
}

// What the copy needs to know of an array texture.
struct ArrayShape
{
    ID3D11Resource* pResource = nullptr;
    UINT width = 0;
    UINT mipLevels = 0;
    UINT arraySize = 0;
};

// The walk both array kinds share: loads each image, checks it against the first, lets
// makeArray give the array (made on the first image) and copies the image's levels into its
// slice. bAllLevels: every level, else the top one. False when an image fails; *pFirst
// describes the first image.
template <class MakeArray>
bool FillArray(const KB_GrowingArray<KB_String>& gFiles, UINT uiMipFilter, bool bAllLevels,
               D3D11_TEXTURE2D_DESC* pFirst, MakeArray makeArray)
{
    ID3D11Device* pDevice = KR_GetEngineDevice();
    ID3D11DeviceContext* pContext = KR_GetEngineContext();
    KF_FileManager* pFiles = KE_GetFileManager();
    if (pDevice == nullptr || pContext == nullptr || pFiles == nullptr || gFiles.GetNumMembers() == 0)
        return false;
    for (std::uint32_t i = 0; i < gFiles.GetNumMembers(); ++i)
    {
        ID3D11Texture2D* pStaging = LoadArrayImage(pDevice, pFiles, gFiles[i], uiMipFilter);
        if (pStaging == nullptr)
            return false;
        D3D11_TEXTURE2D_DESC desc{};
        pStaging->GetDesc(&desc);
        if (i == 0)
            *pFirst = desc;
        // A smaller or deeper image would be read past its end or written past its slice.
        bool bOk = desc.Format == DXGI_FORMAT_R8G8B8A8_UNORM && desc.Width == pFirst->Width &&
                   desc.Height == pFirst->Height && desc.MipLevels == pFirst->MipLevels;
        const ArrayShape array = bOk ? makeArray(pDevice, desc) : ArrayShape{};
        const UINT uiLevels = bAllLevels ? desc.MipLevels : 1;
        bOk = bOk && array.pResource != nullptr && array.width == desc.Width && i < array.arraySize &&
              uiLevels <= array.mipLevels &&
              CopyIntoSlice(pContext, pStaging, array.pResource, i, uiLevels, array.mipLevels);
        pStaging->Release();
        if (!bOk)
            return false;
    }
    return true;
}

} // namespace

HRESULT KR_UtilitiesDX11::CreateTexture1DArrayFromFiles(KB_GrowingArray<KB_String> gFiles,
                                                        ID3D11Texture1D** ppTexture,
                                                        ID3D11ShaderResourceView** ppView)
{
    if (ppTexture == nullptr || ppView == nullptr)
        return E_FAIL;
    *ppView = nullptr;
    const UINT uiCount = gFiles.GetNumMembers();
    D3D11_TEXTURE2D_DESC first{};
    const auto makeArray = [&](ID3D11Device* pDevice, const D3D11_TEXTURE2D_DESC& image)
    {
        if (*ppTexture == nullptr)
        {
            const D3D11_TEXTURE1D_DESC desc{image.Width,
                                            1,
                                            uiCount,
                                            DXGI_FORMAT_R8G8B8A8_UNORM,
                                            D3D11_USAGE_DEFAULT,
                                            D3D11_BIND_SHADER_RESOURCE,
                                            0,
                                            0};
            if (FAILED(pDevice->CreateTexture1D(&desc, nullptr, ppTexture)))
                *ppTexture = nullptr;
        }
        ArrayShape shape;
        if (*ppTexture != nullptr)
        {
            D3D11_TEXTURE1D_DESC desc{};
            (*ppTexture)->GetDesc(&desc);
            shape = {*ppTexture, desc.Width, desc.MipLevels, desc.ArraySize};
        }
        return shape;
    };
    if (!FillArray(gFiles, D3DX11_FILTER_NONE, false, &first, makeArray))
        return E_FAIL;
    D3D11_SHADER_RESOURCE_VIEW_DESC view{};
    view.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    view.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE1DARRAY;
    view.Texture1DArray = {0, 1, 0, uiCount};
    return KR_GetEngineDevice()->CreateShaderResourceView(*ppTexture, &view, ppView);
}

HRESULT KR_UtilitiesDX11::CreateTexture2DArrayFromFiles(KB_GrowingArray<KB_String> gFiles,
                                                        ID3D11Texture2D** ppTexture,
                                                        ID3D11ShaderResourceView** ppView)
{
    if (ppTexture == nullptr || ppView == nullptr)
        return E_FAIL;
    *ppView = nullptr;
    const UINT uiCount = gFiles.GetNumMembers();
    D3D11_TEXTURE2D_DESC first{};
    const auto makeArray = [&](ID3D11Device* pDevice, const D3D11_TEXTURE2D_DESC& image)
    {
        if (*ppTexture == nullptr)
        {
            D3D11_TEXTURE2D_DESC desc = image;
            desc.ArraySize = uiCount;
            desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
            desc.Usage = D3D11_USAGE_DEFAULT;
            desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
            desc.CPUAccessFlags = 0;
            desc.MiscFlags = 0;
            if (FAILED(pDevice->CreateTexture2D(&desc, nullptr, ppTexture)))
                *ppTexture = nullptr;
        }
        ArrayShape shape;
        if (*ppTexture != nullptr)
        {
            D3D11_TEXTURE2D_DESC desc{};
            (*ppTexture)->GetDesc(&desc);
            // Rows are copied whole, so the array's height must be the image's too.
            if (desc.Height == image.Height)
                shape = {*ppTexture, desc.Width, desc.MipLevels, desc.ArraySize};
        }
        return shape;
    };
    if (!FillArray(gFiles, D3DX11_FILTER_TRIANGLE, true, &first, makeArray))
        return E_FAIL;
    D3D11_SHADER_RESOURCE_VIEW_DESC view{};
    view.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    view.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2DARRAY;
    view.Texture2DArray = {0, first.MipLevels, 0, uiCount};
    return KR_GetEngineDevice()->CreateShaderResourceView(*ppTexture, &view, ppView);
}

std::int32_t KR_UtilitiesDX11::CompileShader(const KB_String& sFile, const D3D_SHADER_MACRO* pMacros,
                                             const char* pEntry, const char* pTarget, ID3DBlob** ppOut)
{
    if (ppOut != nullptr)
        *ppOut = nullptr;
    KF_FileManager* pFiles = KE_GetFileManager();
    std::uint64_t uiSize = 0;
    std::uint8_t* pData = nullptr;
    if (pFiles == nullptr || !pFiles->FileExists(sFile) || RefuseLargeSource(pFiles, sFile) ||
        !pFiles->ReadFile(sFile, &uiSize, &pData))
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
    KF_FileManager* pFiles = KE_GetFileManager();
    if (pFiles == nullptr)
        return 1;
    const KB_String sPrecompiled = KU_FileUtilities::ReplaceExtension(sFile, "fxo");
    const bool bPrecompiled = sPrecompiled.GetLength() != 0 && pFiles->FileExists(sPrecompiled);
    const KB_String sUsed = bPrecompiled ? sPrecompiled : sFile;
    std::uint64_t uiSize = 0;
    std::uint8_t* pData = nullptr;
    if (!pFiles->FileExists(sUsed) || (!bPrecompiled && RefuseLargeSource(pFiles, sUsed)) ||
        !pFiles->ReadFile(sUsed, &uiSize, &pData))
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
    const HRESULT hr =
        D3DX11CreateEffectFromMemory(pBytecode, uiBytecodeSize, 0, KR_GetEngineDevice(), &pEffect);
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

D3D11_RASTERIZER_DESC KR_UtilitiesDX11::SolidRasterizerDesc(D3D11_CULL_MODE cull, bool bMultisample,
                                                            bool bAntialiasedLines)
{
    D3D11_RASTERIZER_DESC desc{};
    desc.FillMode = D3D11_FILL_SOLID;
    desc.CullMode = cull;
    desc.FrontCounterClockwise = TRUE;
    desc.DepthBias = 0;
    desc.DepthBiasClamp = 0.0f;
    desc.SlopeScaledDepthBias = 0.0f;
    desc.DepthClipEnable = TRUE;
    desc.ScissorEnable = FALSE;
    desc.MultisampleEnable = bMultisample ? TRUE : FALSE;
    desc.AntialiasedLineEnable = bAntialiasedLines ? TRUE : FALSE;
    return desc;
}

ID3D11Buffer* KR_UtilitiesDX11::CreateScreenCornersBuffer(ID3D11Device* pDevice)
{
    static const float s_afCorners[12] = {-1.0f, 1.0f, 0.0f, -1.0f, -1.0f, 0.0f,
                                          1.0f,  1.0f, 0.0f, 1.0f,  -1.0f, 0.0f};
    const D3D11_BUFFER_DESC desc{sizeof(s_afCorners), D3D11_USAGE_DEFAULT, D3D11_BIND_VERTEX_BUFFER, 0, 0, 0};
    const D3D11_SUBRESOURCE_DATA initial{s_afCorners, 0, 0};
    ID3D11Buffer* pBuffer = nullptr;
    if (pDevice == nullptr || FAILED(pDevice->CreateBuffer(&desc, &initial, &pBuffer)))
        return nullptr;
    return pBuffer;
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
