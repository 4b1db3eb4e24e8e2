#include "platform/d3dx11/D3DX11Codecs.h"

#include "platform/d3dx11/D3DX11Dds.h"

#include <stb_image.h>
#include <stb_image_write.h>

#include <climits>
#include <cstdint>
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

std::uint32_t ReadLe(const std::uint8_t* p, int iBytes)
{
    std::uint32_t uiValue = 0;
    for (int i = iBytes - 1; i >= 0; --i)
        uiValue = (uiValue << 8) | p[i];
    return uiValue;
}

// Whether a BMP holds every pixel row its header promises after its pixel offset, for the headers
// stb_image reads: the core header (12 bytes, 16-bit sides) and the info headers (40, 56, 108 or
// 124 bytes, 32-bit sides, a negative height for rows stored top-down). A row holds width times
// the header's bit depth in bits, padded to 4 bytes. The decoder itself reads past the end of the
// file as zeros, and allocates the whole image first. Refused outright: compressions other than
// none and bit fields (run-length rows have no length the header states, and the decoder reads
// none of them), bit depths other than 1, 4, 8, 16, 24 and 32 (the decoder reads no rows of
// those), and pixels said to start inside the headers or, for a palette image, before the end of
// the first palette entry as the decoder counts it (it would look colours up in a palette it never
// read; it counts a core header's palette from 24 bytes after the file header, 12 bytes late).
bool BmpHoldsItsRows(const std::uint8_t* p, std::size_t uiSize)
{
    constexpr std::size_t FILE_HEADER_SIZE = 14;
    if (uiSize < FILE_HEADER_SIZE + 4)
        return false;
    const std::uint32_t uiOffset = ReadLe(p + 10, 4);
    const std::uint32_t uiHeaderSize = ReadLe(p + 14, 4);
    if (uiHeaderSize != 12 && uiHeaderSize != 40 && uiHeaderSize != 56 && uiHeaderSize != 108 &&
        uiHeaderSize != 124)
    {
        return false;
    }
    if (uiSize < FILE_HEADER_SIZE + uiHeaderSize)
        return false;
    const bool bCore = uiHeaderSize == 12;
    const std::uint64_t uiWidth = ReadLe(p + 18, bCore ? 2 : 4);
    std::uint64_t uiRows = 0;
    if (bCore)
    {
        uiRows = ReadLe(p + 20, 2);
    }
    else
    {
        const auto iHeight = static_cast<std::int32_t>(ReadLe(p + 22, 4));
        uiRows = static_cast<std::uint64_t>(iHeight < 0 ? -static_cast<std::int64_t>(iHeight) : iHeight);
    }
    const std::uint32_t uiBitCount = ReadLe(p + (bCore ? 24 : 28), 2);
    const std::uint32_t uiCompression = bCore ? 0 : ReadLe(p + 30, 4);
    if (uiCompression != 0 && uiCompression != 3)
        return false;
    if (uiBitCount != 1 && uiBitCount != 4 && uiBitCount != 8 && uiBitCount != 16 && uiBitCount != 24 &&
        uiBitCount != 32)
    {
        return false;
    }
    std::uint64_t uiPixelsEarliest = FILE_HEADER_SIZE + uiHeaderSize;
    if (uiBitCount <= 8)
        uiPixelsEarliest = FILE_HEADER_SIZE + (bCore ? 24 + 3 : uiHeaderSize + 4);
    if (uiOffset < uiPixelsEarliest || uiOffset > uiSize)
        return false;
    const std::uint64_t uiRowBytes = (uiWidth * uiBitCount + 31) / 32 * 4;
    return uiRowBytes == 0 || uiRows <= (uiSize - uiOffset) / uiRowBytes;
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
    // A file cut short is refused before anything is decoded (JPEG and PNG data the decoder finds
    // cut short itself).
    if ((image.fileFormat == D3DX11_IFF_BMP && !BmpHoldsItsRows(pData, uiSize)) ||
        (image.fileFormat == D3DX11_IFF_GIF && !GifHoldsItsFirstImage(pData, uiSize)))
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
