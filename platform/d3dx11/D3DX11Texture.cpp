// The D3DX11 stand-in's entry points: image files in memory to textures and views, and textures
// to image files.

#include "platform/d3dx11/d3dx11.h"

#include "platform/crt/CrtTemporaryFiles.h"
#include "platform/d3d11/D3D11Resources.h"
#include "platform/d3dx11/D3DX11Codecs.h"
#include "platform/d3dx11/D3DX11Dds.h"
#include "platform/d3dx11/D3DX11State.h"
#include "platform/win32/WinFiles.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

using d3dx11_internal::Image;
using d3dx11_internal::State;
using d3dx11_internal::Surface;

namespace
{

HRESULT Report(HRESULT hr, HRESULT* pHResult)
{
    if (pHResult != nullptr)
        *pHResult = hr;
    return hr;
}

bool IsDefault(UINT uiValue)
{
    return uiValue == D3DX11_DEFAULT || uiValue == D3DX11_FROM_FILE || uiValue == 0;
}

// Applies the load info to a decoded image: top levels dropped, size, format, mip count.
HRESULT Prepare(const D3DX11_IMAGE_LOAD_INFO& load, Image* pImage)
{
    const UINT uiFirst = load.FirstMipLevel == D3DX11_DEFAULT ? 0 : load.FirstMipLevel;
    HRESULT hr = d3dx11_internal::DropTopMips(pImage, uiFirst);
    if (FAILED(hr))
        return hr;
    const UINT uiWidth = IsDefault(load.Width) ? pImage->width : load.Width;
    const UINT uiHeight = IsDefault(load.Height) ? pImage->height : load.Height;
    if (!IsDefault(load.Depth) && load.Depth != pImage->depth)
        return E_FAIL; // volumes are not rescaled
    hr = d3dx11_internal::ResizeImage(pImage, uiWidth, uiHeight, load.Filter);
    if (FAILED(hr))
        return hr;
    const DXGI_FORMAT format = load.Format;
    if (format != DXGI_FORMAT_FROM_FILE && format != DXGI_FORMAT_UNKNOWN &&
        format != static_cast<DXGI_FORMAT>(D3DX11_DEFAULT))
    {
        hr = d3dx11_internal::ConvertImage(pImage, format);
        if (FAILED(hr))
            return hr;
    }
    UINT uiLevels = load.MipLevels;
    if (uiLevels == D3DX11_FROM_FILE)
        uiLevels = pImage->mipLevels;
    else if (uiLevels == D3DX11_DEFAULT || uiLevels == 0)
        uiLevels = d3dx11_internal::FullMipCount(pImage->width, pImage->height, pImage->depth);
    return d3dx11_internal::SetMipLevels(pImage, uiLevels, load.MipFilter);
}

HRESULT CreateTexture(ID3D11Device* pDevice, const D3DX11_IMAGE_LOAD_INFO& load, const Image& image,
                      ID3D11Resource** ppTexture)
{
    const bool bStaging = load.Usage == D3D11_USAGE_STAGING;
    const D3D11_USAGE usage =
        load.Usage == static_cast<D3D11_USAGE>(D3DX11_DEFAULT) ? D3D11_USAGE_DEFAULT : load.Usage;
    const UINT uiBind = load.BindFlags != D3DX11_DEFAULT ? load.BindFlags
                        : bStaging                       ? 0u
                                                         : static_cast<UINT>(D3D11_BIND_SHADER_RESOURCE);
    const UINT uiCpu = load.CpuAccessFlags != D3DX11_DEFAULT ? load.CpuAccessFlags
                       : bStaging                            ? static_cast<UINT>(D3D11_CPU_ACCESS_READ)
                                                             : 0u;
    const UINT uiMisc = load.MiscFlags != D3DX11_DEFAULT ? load.MiscFlags
                        : image.cube                     ? static_cast<UINT>(D3D11_RESOURCE_MISC_TEXTURECUBE)
                                                         : 0u;
    std::vector<D3D11_SUBRESOURCE_DATA> vInit;
    vInit.reserve(image.surfaces.size());
    for (const Surface& surface : image.surfaces)
        vInit.push_back(D3D11_SUBRESOURCE_DATA{surface.Data(), surface.rowPitch, surface.slicePitch});

    HRESULT hr = E_FAIL;
    switch (image.dimension)
    {
    case D3D11_RESOURCE_DIMENSION_TEXTURE1D:
    {
        const D3D11_TEXTURE1D_DESC desc{image.width, image.mipLevels, image.arraySize, image.format,
                                        usage,       uiBind,          uiCpu,           uiMisc};
        ID3D11Texture1D* pTexture = nullptr;
        hr = pDevice->CreateTexture1D(&desc, vInit.data(), &pTexture);
        *ppTexture = pTexture;
        break;
    }
    case D3D11_RESOURCE_DIMENSION_TEXTURE2D:
    {
        const D3D11_TEXTURE2D_DESC desc{
            image.width, image.height, image.mipLevels, image.arraySize, image.format, DXGI_SAMPLE_DESC{1, 0},
            usage,       uiBind,       uiCpu,           uiMisc};
        ID3D11Texture2D* pTexture = nullptr;
        hr = pDevice->CreateTexture2D(&desc, vInit.data(), &pTexture);
        *ppTexture = pTexture;
        break;
    }
    case D3D11_RESOURCE_DIMENSION_TEXTURE3D:
    {
        const D3D11_TEXTURE3D_DESC desc{image.width, image.height, image.depth, image.mipLevels, image.format,
                                        usage,       uiBind,       uiCpu,       uiMisc};
        ID3D11Texture3D* pTexture = nullptr;
        hr = pDevice->CreateTexture3D(&desc, vInit.data(), &pTexture);
        *ppTexture = pTexture;
        break;
    }
    default:
        *ppTexture = nullptr;
        break;
    }
    if (FAILED(hr))
        *ppTexture = nullptr;
    return hr;
}

HRESULT LoadTexture(ID3D11Device* pDevice, LPCVOID pSrcData, SIZE_T SrcDataSize,
                    D3DX11_IMAGE_LOAD_INFO* pLoadInfo, ID3D11Resource** ppTexture)
{
    const D3DX11_IMAGE_LOAD_INFO load = pLoadInfo != nullptr ? *pLoadInfo : D3DX11_IMAGE_LOAD_INFO{};
    Image image;
    State::Get().CountDecode();
    HRESULT hr =
        d3dx11_internal::DecodeImage(static_cast<const std::uint8_t*>(pSrcData), SrcDataSize, false, &image);
    if (FAILED(hr))
        return hr;
    if (load.pSrcInfo != nullptr)
        *load.pSrcInfo = image.GetInfo();
    hr = Prepare(load, &image);
    if (FAILED(hr))
        return hr;
    return CreateTexture(pDevice, load, image, ppTexture);
}

// The resource's memory as an image, every subresource in its own format.
HRESULT ReadResource(ID3D11Resource* pResource, bool bFirstOnly, Image* pOut)
{
    d3d11_internal::ResourceImpl* pImpl = d3d11_internal::ResourceImpl::From(pResource);
    if (pImpl == nullptr)
        return E_INVALIDARG;
    const d3d11_internal::ResourceShape& shape = pImpl->GetShape();
    if (shape.dimension == D3D11_RESOURCE_DIMENSION_BUFFER ||
        shape.dimension == D3D11_RESOURCE_DIMENSION_UNKNOWN || shape.sampleCount != 1)
    {
        return E_FAIL;
    }
    Image image;
    image.dimension = shape.dimension;
    image.format = shape.format;
    image.width = shape.width;
    image.height = shape.height;
    image.depth = shape.depth;
    image.arraySize = bFirstOnly ? 1 : shape.arraySize;
    image.mipLevels = bFirstOnly ? 1 : shape.mipLevels;
    image.cube =
        !bFirstOnly && (shape.miscFlags & D3D11_RESOURCE_MISC_TEXTURECUBE) != 0 && shape.arraySize % 6 == 0;
    image.surfaces.resize(std::size_t{image.arraySize} * image.mipLevels);
    for (UINT uiItem = 0; uiItem < image.arraySize; ++uiItem)
    {
        for (UINT uiMip = 0; uiMip < image.mipLevels; ++uiMip)
        {
            const UINT uiSubresource = D3D11CalcSubresource(uiMip, uiItem, shape.mipLevels);
            const d3d11_internal::SubresourceLayout* pLayout = pImpl->GetLayout(uiSubresource);
            Surface& surface = image.At(uiItem, uiMip);
            // The bytes are read without making the resource keep them (a cleared target has none).
            if (pLayout == nullptr ||
                !d3dx11_internal::MakeSurface(shape.format, pLayout->width, pLayout->height, pLayout->depth,
                                              &surface) ||
                surface.Size() != pLayout->byteSize || !pImpl->ReadData(uiSubresource, surface.bytes.data()))
            {
                return E_FAIL;
            }
        }
    }
    *pOut = std::move(image);
    return S_OK;
}

// The Win32 error a failed file call gives on Windows for the host's errno, as an HRESULT.
HRESULT FileErrorResult(int iError)
{
    switch (iError)
    {
    case ENOENT:
    case ENOTDIR:
        return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    case ENOSPC:
    case EDQUOT:
        return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
    case EFBIG:
        return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
    case ENOMEM:
        return E_OUTOFMEMORY;
    default:
        return E_FAIL;
    }
}

// Writes to a temporary file beside the target, then renames it over the target.
HRESULT WriteFileAtomically(const char* pPath, const std::vector<std::uint8_t>& vBytes)
{
    std::string sTemporary;
    std::FILE* pFile = CrtTemporaryFiles::Create(pPath, &sTemporary);
    if (pFile == nullptr)
        return FileErrorResult(errno);
    const bool bWritten = std::fwrite(vBytes.data(), 1, vBytes.size(), pFile) == vBytes.size();
    const bool bClosed = std::fclose(pFile) == 0;
    if (!bWritten || !bClosed || std::rename(sTemporary.c_str(), pPath) != 0)
    {
        const HRESULT hr = FileErrorResult(errno); // before the removal can change errno
        std::remove(sTemporary.c_str());
        return hr;
    }
    return S_OK;
}

} // namespace

HRESULT D3DX11GetImageInfoFromMemory(LPCVOID pSrcData, SIZE_T SrcDataSize, ID3DX11ThreadPump* pPump,
                                     D3DX11_IMAGE_INFO* pSrcInfo, HRESULT* pHResult)
{
    HRESULT hr = State::Get().TakeFailure("D3DX11GetImageInfoFromMemory");
    if (FAILED(hr))
        return Report(hr, pHResult);
    if (pSrcData == nullptr || pSrcInfo == nullptr || pPump != nullptr)
        return Report(E_INVALIDARG, pHResult);
    Image image;
    hr = d3dx11_internal::DecodeImage(static_cast<const std::uint8_t*>(pSrcData), SrcDataSize, true, &image);
    if (SUCCEEDED(hr))
        *pSrcInfo = image.GetInfo();
    return Report(hr, pHResult);
}

HRESULT D3DX11CreateTextureFromMemory(ID3D11Device* pDevice, LPCVOID pSrcData, SIZE_T SrcDataSize,
                                      D3DX11_IMAGE_LOAD_INFO* pLoadInfo, ID3DX11ThreadPump* pPump,
                                      ID3D11Resource** ppTexture, HRESULT* pHResult)
{
    if (ppTexture != nullptr)
        *ppTexture = nullptr;
    const HRESULT hr = State::Get().TakeFailure("D3DX11CreateTextureFromMemory");
    if (FAILED(hr))
        return Report(hr, pHResult);
    if (pDevice == nullptr || pSrcData == nullptr || ppTexture == nullptr || pPump != nullptr)
        return Report(E_INVALIDARG, pHResult);
    return Report(LoadTexture(pDevice, pSrcData, SrcDataSize, pLoadInfo, ppTexture), pHResult);
}

HRESULT D3DX11CreateShaderResourceViewFromMemory(ID3D11Device* pDevice, LPCVOID pSrcData, SIZE_T SrcDataSize,
                                                 D3DX11_IMAGE_LOAD_INFO* pLoadInfo, ID3DX11ThreadPump* pPump,
                                                 ID3D11ShaderResourceView** ppShaderResourceView,
                                                 HRESULT* pHResult)
{
    if (ppShaderResourceView != nullptr)
        *ppShaderResourceView = nullptr;
    HRESULT hr = State::Get().TakeFailure("D3DX11CreateShaderResourceViewFromMemory");
    if (FAILED(hr))
        return Report(hr, pHResult);
    if (pDevice == nullptr || pSrcData == nullptr || ppShaderResourceView == nullptr || pPump != nullptr)
        return Report(E_INVALIDARG, pHResult);
    ID3D11Resource* pTexture = nullptr;
    hr = LoadTexture(pDevice, pSrcData, SrcDataSize, pLoadInfo, &pTexture);
    if (FAILED(hr))
        return Report(hr, pHResult);
    hr = pDevice->CreateShaderResourceView(pTexture, nullptr, ppShaderResourceView);
    pTexture->Release(); // the view holds its own reference
    if (FAILED(hr))
        *ppShaderResourceView = nullptr;
    return Report(hr, pHResult);
}

HRESULT D3DX11SaveTextureToFileA(ID3D11DeviceContext* pContext, ID3D11Resource* pSrcTexture,
                                 D3DX11_IMAGE_FILE_FORMAT DestFormat, LPCSTR pDestFile)
{
    HRESULT hr = State::Get().TakeFailure("D3DX11SaveTextureToFileA");
    if (FAILED(hr))
        return hr;
    if (pContext == nullptr || pSrcTexture == nullptr || pDestFile == nullptr || *pDestFile == '\0')
        return E_INVALIDARG;
    if (DestFormat != D3DX11_IFF_PNG && DestFormat != D3DX11_IFF_DDS)
        return E_NOTIMPL;
    Image image;
    hr = ReadResource(pSrcTexture, DestFormat == D3DX11_IFF_PNG, &image);
    if (FAILED(hr))
        return hr;
    std::vector<std::uint8_t> vFile;
    if (DestFormat == D3DX11_IFF_PNG)
    {
        if (image.dimension == D3D11_RESOURCE_DIMENSION_TEXTURE3D)
            image.surfaces[0].depth = 1; // the first slice
        hr = d3dx11_internal::ConvertImage(&image, DXGI_FORMAT_R8G8B8A8_UNORM);
        if (SUCCEEDED(hr))
            hr = d3dx11_internal::EncodePng(image.surfaces[0], &vFile);
    }
    else
    {
        hr = d3dx11_internal::WriteDds(image, &vFile);
    }
    if (FAILED(hr))
        return hr;
    return WriteFileAtomically(pDestFile, vFile);
}
