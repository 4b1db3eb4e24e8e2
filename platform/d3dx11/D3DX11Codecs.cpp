#include "platform/d3dx11/D3DX11Codecs.h"

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

// A BMP's layout as read from its headers.
struct BmpLayout
{
    std::uint32_t uiHeaderSize = 0;
    std::uint32_t uiWidth = 0;
    std::int32_t iHeight = 0; // negative: rows stored top-down
    std::uint64_t uiRows = 0;
    std::uint32_t uiBitCount = 0;
    std::uint32_t uiOffset = 0;    // of the pixel rows
    std::uint64_t uiRowBytes = 0;  // padded to 4 bytes
    std::uint32_t uiPalette = 0;   // entries the file holds, at most 2 to the bit count
    std::uint32_t uiEntrySize = 0; // bytes of a palette entry: 3 after a core header, else 4
};

// Reads the layout of a BMP with one of the headers stb_image reads: the core header (12 bytes,
// 16-bit sides) and the info headers (40, 56, 108 or 124 bytes, 32-bit sides, a negative height
// for rows stored top-down). False when the file does not hold every pixel row its header
// promises after its pixel offset: a row holds width times the header's bit depth in bits, padded
// to 4 bytes (the decoder itself reads past the end of the file as zeros, and allocates the whole
// image first). Also refused: compressions other than none and, for 16 and 32 bits, bit fields
// (run-length rows have no length the header states, and the decoder reads none of them), bit
// depths other than 1, 4, 8, 16, 24 and 32 (the decoder reads no rows of those), and pixels said
// to start inside the headers or, for a palette image, before the end of the first palette entry.
bool ReadBmpLayout(const std::uint8_t* p, std::size_t uiSize, BmpLayout* pOut)
{
    constexpr std::size_t FILE_HEADER_SIZE = 14;
    if (uiSize < FILE_HEADER_SIZE + 4)
        return false;
    BmpLayout layout;
    layout.uiOffset = ReadLe(p + 10, 4);
    layout.uiHeaderSize = ReadLe(p + 14, 4);
    if (layout.uiHeaderSize != 12 && layout.uiHeaderSize != 40 && layout.uiHeaderSize != 56 &&
        layout.uiHeaderSize != 108 && layout.uiHeaderSize != 124)
    {
        return false;
    }
    if (uiSize < FILE_HEADER_SIZE + layout.uiHeaderSize)
        return false;
    const bool bCore = layout.uiHeaderSize == 12;
    layout.uiWidth = ReadLe(p + 18, bCore ? 2 : 4);
    layout.iHeight =
        bCore ? static_cast<std::int32_t>(ReadLe(p + 20, 2)) : static_cast<std::int32_t>(ReadLe(p + 22, 4));
    layout.uiRows = static_cast<std::uint64_t>(layout.iHeight < 0 ? -static_cast<std::int64_t>(layout.iHeight)
                                                                  : layout.iHeight);
    layout.uiBitCount = ReadLe(p + (bCore ? 24 : 28), 2);
    const std::uint32_t uiCompression = bCore ? 0 : ReadLe(p + 30, 4);
    const bool bPalette = layout.uiBitCount <= 8;
    if (uiCompression != 0 && (uiCompression != 3 || bPalette))
        return false;
    if (layout.uiBitCount != 1 && layout.uiBitCount != 4 && layout.uiBitCount != 8 &&
        layout.uiBitCount != 16 && layout.uiBitCount != 24 && layout.uiBitCount != 32)
    {
        return false;
    }
    const std::uint64_t uiHeadersEnd = FILE_HEADER_SIZE + layout.uiHeaderSize;
    if (bPalette)
    {
        layout.uiEntrySize = bCore ? 3 : 4;
        if (layout.uiOffset < uiHeadersEnd + layout.uiEntrySize)
            return false;
        layout.uiPalette = static_cast<std::uint32_t>(std::min<std::uint64_t>(
            (layout.uiOffset - uiHeadersEnd) / layout.uiEntrySize, 1u << layout.uiBitCount));
    }
    if (layout.uiOffset < uiHeadersEnd || layout.uiOffset > uiSize)
        return false;
    layout.uiRowBytes = (std::uint64_t{layout.uiWidth} * layout.uiBitCount + 31) / 32 * 4;
    if (layout.uiRowBytes != 0 && layout.uiRows > (uiSize - layout.uiOffset) / layout.uiRowBytes)
        return false;
    *pOut = layout;
    return true;
}

// A palette BMP as the decoder reads it right: stb_image counts a core header's palette as if
// the header were 12 bytes longer (it misses the last four entries) and leaves entries past the
// palette it read uninitialised, so a pixel naming one would come out as whatever its stack held.
// The copy has an info header of 40 bytes, a palette of all 2 to the bit count entries of four
// bytes (those the file lacks black) and the rows, in their order, right after it. The sides are
// within the texture limit, so the copy is below 2^28 + 1,078 bytes. False when memory runs out.
bool PaletteBmpForDecoder(const std::uint8_t* p, const BmpLayout& layout, std::vector<std::uint8_t>* pOut)
{
    constexpr std::uint32_t HEADERS_SIZE = 14 + 40;
    const std::uint32_t uiEntries = 1u << layout.uiBitCount;
    const std::uint32_t uiOffset = HEADERS_SIZE + uiEntries * 4;
    const std::uint64_t uiPixelBytes = layout.uiRowBytes * layout.uiRows;
    const std::uint64_t uiTotal = uiOffset + uiPixelBytes;
    try
    {
        pOut->assign(static_cast<std::size_t>(uiTotal), 0);
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    std::uint8_t* pCopy = pOut->data();
    const auto put = [](std::uint8_t* pAt, std::uint32_t uiValue)
    {
        for (int i = 0; i < 4; ++i)
            pAt[i] = static_cast<std::uint8_t>(uiValue >> (8 * i));
    };
    pCopy[0] = 'B';
    pCopy[1] = 'M';
    put(pCopy + 2, static_cast<std::uint32_t>(uiTotal));
    put(pCopy + 10, uiOffset);
    put(pCopy + 14, 40);
    put(pCopy + 18, layout.uiWidth);
    put(pCopy + 22, static_cast<std::uint32_t>(layout.iHeight));
    pCopy[26] = 1; // planes
    pCopy[28] = static_cast<std::uint8_t>(layout.uiBitCount);
    put(pCopy + 46, uiEntries);
    const std::uint8_t* pPalette = p + 14 + layout.uiHeaderSize;
    for (std::uint32_t i = 0; i < layout.uiPalette; ++i)
        std::memcpy(pCopy + HEADERS_SIZE + i * 4, pPalette + i * layout.uiEntrySize, 3);
    if (uiPixelBytes != 0)
        std::memcpy(pCopy + uiOffset, p + layout.uiOffset, static_cast<std::size_t>(uiPixelBytes));
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
    if (!DetectStbFormat(pData, uiSize, &image.fileFormat) || uiSize > INT_MAX)
        return E_FAIL;
    const int iSize = static_cast<int>(uiSize);
    int iWidth = 0;
    int iHeight = 0;
    int iChannels = 0;
    if (stbi_info_from_memory(pData, iSize, &iWidth, &iHeight, &iChannels) == 0)
        return E_FAIL;
    // The decoder reports a top-down BMP's height as stored, negative; it decodes the rows top
    // first. A height of -2^31 has no positive count of rows.
    const bool bBmp = image.fileFormat == D3DX11_IFF_BMP;
    if (bBmp && iHeight < 0)
        iHeight = iHeight == INT_MIN ? 0 : -iHeight;
    if (iWidth <= 0 || iHeight <= 0 || iWidth > static_cast<int>(D3D11_REQ_TEXTURE2D_U_OR_V_DIMENSION) ||
        iHeight > static_cast<int>(D3D11_REQ_TEXTURE2D_U_OR_V_DIMENSION))
    {
        return E_FAIL;
    }
    // A file cut short is refused before anything is decoded (JPEG and PNG data the decoder finds
    // cut short itself).
    BmpLayout bmp;
    if ((bBmp && !ReadBmpLayout(pData, uiSize, &bmp)) ||
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

    const std::uint8_t* pDecoded = pData;
    int iDecodedSize = iSize;
    std::vector<std::uint8_t> paletteCopy;
    if (bBmp && bmp.uiBitCount <= 8)
    {
        if (!PaletteBmpForDecoder(pData, bmp, &paletteCopy))
            return E_OUTOFMEMORY;
        pDecoded = paletteCopy.data();
        iDecodedSize = static_cast<int>(paletteCopy.size());
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
