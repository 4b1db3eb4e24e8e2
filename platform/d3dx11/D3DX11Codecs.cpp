#include "platform/d3dx11/D3DX11Codecs.h"

#include "platform/d3dx11/D3DX11Dds.h"

#include <stb_image.h>
#include <stb_image_write.h>

#include <climits>
#include <cstring>
#include <memory>
#include <new>

namespace d3dx11_internal
{

namespace
{

// The file kinds stb_image reads that the loader accepts, by their signatures.
bool DetectStbFormat(const std::uint8_t* p, std::size_t uiSize, D3DX11_IMAGE_FILE_FORMAT* pFormat)
{
    static const std::uint8_t PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', 0x0d, 0x0a, 0x1a, 0x0a};
    if (uiSize >= 8 && std::memcmp(p, PNG_SIGNATURE, 8) == 0)
        *pFormat = D3DX11_IFF_PNG;
    else if (uiSize >= 3 && p[0] == 0xff && p[1] == 0xd8 && p[2] == 0xff)
        *pFormat = D3DX11_IFF_JPG;
    else if (uiSize >= 2 && p[0] == 'B' && p[1] == 'M')
        *pFormat = D3DX11_IFF_BMP;
    else if (uiSize >= 4 && std::memcmp(p, "GIF8", 4) == 0)
        *pFormat = D3DX11_IFF_GIF;
    else
        return false;
    return true;
}

struct StbFree
{
    void operator()(void* p) const { stbi_image_free(p); }
};

HRESULT ReadStbImage(const std::uint8_t* pData, std::size_t uiSize, bool bHeaderOnly, Image* pOut)
{
    Image image;
    if (!DetectStbFormat(pData, uiSize, &image.fileFormat) || uiSize > INT_MAX)
        return E_FAIL;
    const int iSize = static_cast<int>(uiSize);
    int iWidth = 0;
    int iHeight = 0;
    int iChannels = 0;
    if (stbi_info_from_memory(pData, iSize, &iWidth, &iHeight, &iChannels) == 0 || iWidth <= 0 ||
        iHeight <= 0 || iWidth > static_cast<int>(D3D11_REQ_TEXTURE2D_U_OR_V_DIMENSION) ||
        iHeight > static_cast<int>(D3D11_REQ_TEXTURE2D_U_OR_V_DIMENSION))
    {
        return E_FAIL;
    }
    const bool b16 = image.fileFormat == D3DX11_IFF_PNG && stbi_is_16_bit_from_memory(pData, iSize) != 0;
    image.format = b16 ? DXGI_FORMAT_R16G16B16A16_UNORM : DXGI_FORMAT_R8G8B8A8_UNORM;
    image.width = static_cast<UINT>(iWidth);
    image.height = static_cast<UINT>(iHeight);
    if (bHeaderOnly)
    {
        *pOut = std::move(image);
        return S_OK;
    }

    int iDecodedWidth = 0;
    int iDecodedHeight = 0;
    std::unique_ptr<void, StbFree> pPixels(
        b16 ? static_cast<void*>(
                  stbi_load_16_from_memory(pData, iSize, &iDecodedWidth, &iDecodedHeight, &iChannels, 4))
            : static_cast<void*>(
                  stbi_load_from_memory(pData, iSize, &iDecodedWidth, &iDecodedHeight, &iChannels, 4)));
    if (pPixels == nullptr || iDecodedWidth != iWidth || iDecodedHeight != iHeight)
        return E_FAIL;
    image.surfaces.resize(1);
    Surface& surface = image.surfaces[0];
    if (!MakeSurface(image.format, image.width, image.height, 1, &surface))
        return E_OUTOFMEMORY;
    // stb rows are tightly packed, as are ours for these formats.
    std::memcpy(surface.bytes.data(), pPixels.get(), surface.Size());
    *pOut = std::move(image);
    return S_OK;
}

struct PngSink
{
    std::vector<std::uint8_t>* pOut = nullptr;
    bool bFailed = false;
};

void AppendBytes(void* pContext, void* pData, int iSize)
{
    auto* pSink = static_cast<PngSink*>(pContext);
    const auto* pBytes = static_cast<const std::uint8_t*>(pData);
    try
    {
        if (!pSink->bFailed)
            pSink->pOut->insert(pSink->pOut->end(), pBytes, pBytes + iSize);
    }
    catch (const std::bad_alloc&)
    {
        pSink->bFailed = true;
    }
}

} // namespace

HRESULT DecodeImage(const std::uint8_t* pData, std::size_t uiSize, bool bHeaderOnly, Image* pOut)
{
    if (pData == nullptr || uiSize == 0)
        return E_FAIL;
    if (IsDds(pData, uiSize))
        return ReadDds(pData, uiSize, bHeaderOnly, pOut);
    return ReadStbImage(pData, uiSize, bHeaderOnly, pOut);
}

HRESULT EncodePng(const Surface& surface, std::vector<std::uint8_t>* pOut)
{
    pOut->clear();
    if (surface.width > INT_MAX / 4 || surface.height > INT_MAX || surface.rowPitch > INT_MAX)
        return E_FAIL;
    PngSink sink{pOut, false};
    if (stbi_write_png_to_func(AppendBytes, &sink, static_cast<int>(surface.width),
                               static_cast<int>(surface.height), 4, surface.Data(),
                               static_cast<int>(surface.rowPitch)) == 0 ||
        sink.bFailed || pOut->empty())
    {
        pOut->clear();
        return E_FAIL;
    }
    return S_OK;
}

} // namespace d3dx11_internal
