#include "platform/d3dx11/D3DX11Codecs.h"

#include "platform/d3dx11/D3DX11Bmp.h"
#include "platform/d3dx11/D3DX11Dds.h"

#include <stb_image.h>
#include <stb_image_write.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace d3dx11_internal
{

namespace
{

// The GIF decoder fills the whole screen a GIF's header names, whatever its first image covers: a
// 35-byte file could ask for a 16,384 x 16,384 screen, which took 1.1 s and 1 GiB to decode
// (Release). LZW data give at most about 2,700 pixels a byte (12-bit codes of strings of up to
// about 4,090 pixels), so a screen of 4,096 pixels a byte of the file holds any image that covers it.
constexpr std::uint64_t GIF_SCREEN_PIXELS_PER_BYTE = 4096;

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

// Whether a GIF holds its first image whole, the only one the decoder reads: the screen
// descriptor, the palettes, the extension blocks before the image and the image's data blocks up
// to their terminator. The decoder takes the end of the file for the end of the image data and
// leaves the pixels it did not reach black. Blocks are walked as the decoder walks them (a
// graphic control extension whose first block is not 4 bytes long ends after that block).
// Anything else ahead of the image the decoder refuses itself.
bool GifHoldsItsFirstImage(const std::uint8_t* p, std::size_t uiSize)
{
    std::size_t uiAt = 13; // signature and screen descriptor
    if (uiSize < uiAt)
        return false;
    if ((p[10] & 0x80) != 0)
        uiAt += std::size_t{3} << ((p[10] & 7) + 1);
    // The data blocks at uiAt, each led by its length, up to the empty one.
    const auto skipBlocks = [&]()
    {
        for (;;)
        {
            if (uiAt >= uiSize)
                return false;
            const std::size_t uiLength = p[uiAt++];
            if (uiLength == 0)
                return true;
            uiAt += uiLength;
        }
    };
    for (;;)
    {
        if (uiAt >= uiSize)
            return false;
        const std::uint8_t uiTag = p[uiAt++];
        if (uiTag == 0x21)
        {
            if (uiAt + 1 >= uiSize)
                return false;
            const bool bControl = p[uiAt++] == 0xf9;
            if (bControl && p[uiAt] != 4)
                uiAt += 1 + std::size_t{p[uiAt]};
            else if (!skipBlocks())
                return false;
        }
        else if (uiTag == 0x2c)
        {
            // Position and sides, flags, the local palette, the code size, then the data.
            if (uiSize - uiAt < 9)
                return false;
            const std::uint8_t uiFlags = p[uiAt + 8];
            uiAt += 9;
            if ((uiFlags & 0x80) != 0)
                uiAt += std::size_t{3} << ((uiFlags & 7) + 1);
            ++uiAt;
            return skipBlocks();
        }
        else
        {
            return true;
        }
    }
}

struct StbFree
{
    void operator()(void* p) const { stbi_image_free(p); }
};

HRESULT ReadStbImage(const std::uint8_t* pData, std::size_t uiSize, bool bHeaderOnly, Image* pOut)
{
    Image image;
    if (!DetectStbFormat(pData, uiSize, &image.fileFormat))
        return E_FAIL;
    // A file cut short is refused before anything is decoded (JPEG and PNG data the decoder finds
    // cut short itself). A BMP the decoder would misread goes to it as a copy it reads right.
    const bool bBmp = image.fileFormat == D3DX11_IFF_BMP;
    const std::uint8_t* pDecoded = pData;
    std::size_t uiDecodedSize = uiSize;
    std::vector<std::uint8_t> bmpCopy;
    if (bBmp)
    {
        BmpLayout bmp;
        if (!ReadBmpLayout(pData, uiSize, &bmp))
            return E_FAIL;
        if (!BmpForDecoder(pData, uiSize, bmp, bHeaderOnly, &bmpCopy))
            return E_OUTOFMEMORY;
        if (!bmpCopy.empty())
        {
            pDecoded = bmpCopy.data();
            uiDecodedSize = bmpCopy.size();
        }
    }
    else if (image.fileFormat == D3DX11_IFF_GIF && !GifHoldsItsFirstImage(pData, uiSize))
    {
        return E_FAIL;
    }
    if (uiDecodedSize > INT_MAX)
        return E_FAIL;
    const int iDecodedSize = static_cast<int>(uiDecodedSize);
    int iWidth = 0;
    int iHeight = 0;
    int iChannels = 0;
    if (stbi_info_from_memory(pDecoded, iDecodedSize, &iWidth, &iHeight, &iChannels) == 0)
        return E_FAIL;
    // The decoder reports a top-down BMP's height as stored, negative; it decodes the rows top
    // first. A height of -2^31 has no positive count of rows.
    if (bBmp && iHeight < 0)
        iHeight = iHeight == INT_MIN ? 0 : -iHeight;
    if (iWidth <= 0 || iHeight <= 0 || iWidth > static_cast<int>(D3D11_REQ_TEXTURE2D_U_OR_V_DIMENSION) ||
        iHeight > static_cast<int>(D3D11_REQ_TEXTURE2D_U_OR_V_DIMENSION) ||
        (image.fileFormat == D3DX11_IFF_GIF &&
         std::uint64_t{static_cast<unsigned>(iWidth)} * static_cast<unsigned>(iHeight) >
             GIF_SCREEN_PIXELS_PER_BYTE * uiSize))
    {
        return E_FAIL;
    }
    const bool b16 =
        image.fileFormat == D3DX11_IFF_PNG && stbi_is_16_bit_from_memory(pDecoded, iDecodedSize) != 0;
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
        b16 ? static_cast<void*>(stbi_load_16_from_memory(pDecoded, iDecodedSize, &iDecodedWidth,
                                                          &iDecodedHeight, &iChannels, 4))
            : static_cast<void*>(stbi_load_from_memory(pDecoded, iDecodedSize, &iDecodedWidth,
                                                       &iDecodedHeight, &iChannels, 4)));
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
