#include "platform/d3dx11/D3DX11Bmp.h"

#include "platform/d3d11/d3d11.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace d3dx11_internal
{

namespace
{

constexpr std::uint32_t FILE_HEADER_SIZE = 14;
constexpr std::uint32_t OS2_HEADER_SIZE = 64;
constexpr std::uint32_t RLE8 = 1;
constexpr std::uint32_t RLE4 = 2;
constexpr std::uint32_t BIT_FIELDS = 3;
// Run-length rows give at most 127.5 pixels a byte through their runs (255 pixels in two bytes),
// but any number through deltas and an early end of bitmap: an 88-byte file could ask for a
// 16,384 x 16,384 image, which took 2 s and 2.3 GB to decode (Release). The image may have 1,024
// pixels a byte of the file, which leaves room for skipping most of a picture (and all of a small
// one) and bounds a file's cost at about 9 us and 9 KB of memory a byte (a 64 KB file of 8,192 x
// 8,192 pixels: 0.58 s, 593 MB).
constexpr std::uint64_t RUN_LENGTH_PIXELS_PER_BYTE = 1024;

std::uint32_t ReadLe(const std::uint8_t* p, int iBytes)
{
    std::uint32_t uiValue = 0;
    for (int i = iBytes - 1; i >= 0; --i)
        uiValue = (uiValue << 8) | p[i];
    return uiValue;
}

void PutLe32(std::uint8_t* p, std::uint32_t uiValue)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(uiValue >> (8 * i));
}

// Walks the run-length rows from the pixel offset, bottom row first, and with pRows writes each
// pixel's palette index there, a byte a pixel in rows of layout.uiRowBytes (pixels no run reaches
// are left as they are). Runs may fill a row's padding (ImageMagick's encoder writes the padding
// bytes of RLE8 rows as pixels), whose pixels are dropped. False when a run or a delta leaves the
// padded row or the image, or the file ends before an end of bitmap or the last row's end of line.
bool WalkRunLengthRows(const std::uint8_t* p, std::size_t uiSize, const BmpLayout& layout,
                       std::uint8_t* pRows)
{
    const bool bRle4 = layout.uiCompression == RLE4;
    const std::uint64_t uiWidth = layout.uiWidth;
    const std::uint64_t uiPadded = (uiWidth * layout.uiBitCount + 31) / 32 * 32 / layout.uiBitCount;
    std::uint64_t x = 0;
    std::uint64_t y = 0;
    std::size_t uiAt = layout.uiOffset;
    // Pixel i of a run, with its index, unless it lies in the padding.
    const auto put = [&](std::uint64_t i, std::uint8_t uiIndex)
    {
        if (x + i < uiWidth)
            pRows[y * layout.uiRowBytes + x + i] = uiIndex;
    };
    while (y < layout.uiRows)
    {
        if (uiSize - uiAt < 2)
            return false;
        const std::uint8_t uiCount = p[uiAt];
        const std::uint8_t uiValue = p[uiAt + 1];
        uiAt += 2;
        if (uiCount > 0)
        {
            // An encoded run: uiCount pixels of one index, or of the byte's two nibbles by turns.
            if (uiCount > uiPadded - x)
                return false;
            for (std::uint32_t i = 0; pRows != nullptr && i < uiCount; ++i)
                put(i, !bRle4 ? uiValue : (i & 1) == 0 ? uiValue >> 4 : uiValue & 15);
            x += uiCount;
        }
        else if (uiValue == 0)
        {
            x = 0; // end of line
            ++y;
        }
        else if (uiValue == 1)
        {
            return true; // end of bitmap
        }
        else if (uiValue == 2)
        {
            // A delta: right and up by the next two bytes.
            if (uiSize - uiAt < 2 || p[uiAt] > uiPadded - x || p[uiAt + 1] >= layout.uiRows - y)
                return false;
            x += p[uiAt];
            y += p[uiAt + 1];
            uiAt += 2;
        }
        else
        {
            // An absolute run of uiValue pixels, padded to an even count of bytes.
            const std::size_t uiBytes = bRle4 ? (uiValue + 1u) / 2 : uiValue;
            if (uiValue > uiPadded - x || uiSize - uiAt < uiBytes + uiBytes % 2)
                return false;
            const std::uint8_t* pRun = p + uiAt;
            for (std::uint32_t i = 0; pRows != nullptr && i < uiValue; ++i)
                put(i, !bRle4 ? pRun[i] : (i & 1) == 0 ? pRun[i / 2] >> 4 : pRun[i / 2] & 15);
            x += uiValue;
            uiAt += uiBytes + uiBytes % 2;
        }
    }
    return true;
}

// A copy of uiOffset bytes of headers (and palette) and uiPixelBytes of rows, zeros but for its file
// header; with bHeadersOnly the copy ends before its rows. Null when memory runs out.
std::uint8_t* StartCopy(std::vector<std::uint8_t>* pOut, std::uint32_t uiOffset, std::uint64_t uiPixelBytes,
                        bool bHeadersOnly)
{
    const std::uint64_t uiTotal = uiOffset + uiPixelBytes;
    try
    {
        pOut->assign(static_cast<std::size_t>(bHeadersOnly ? uiOffset : uiTotal), 0);
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
    std::uint8_t* pCopy = pOut->data();
    pCopy[0] = 'B';
    pCopy[1] = 'M';
    PutLe32(pCopy + 2, static_cast<std::uint32_t>(uiTotal));
    PutLe32(pCopy + 10, uiOffset);
    return pCopy;
}

// The palette image's copy: a 40-byte header, a palette of all 2 to the copy's bit count entries
// (8 for run-length rows) and the rows.
bool PaletteBmpForDecoder(const std::uint8_t* p, std::size_t uiSize, const BmpLayout& layout,
                          bool bHeadersOnly, std::vector<std::uint8_t>* pOut)
{
    constexpr std::uint32_t HEADERS_SIZE = FILE_HEADER_SIZE + 40;
    const std::uint32_t uiBitCount = layout.IsRunLength() ? 8 : layout.uiBitCount;
    const std::uint32_t uiEntries = 1u << uiBitCount;
    const std::uint32_t uiOffset = HEADERS_SIZE + uiEntries * 4;
    const std::uint64_t uiPixelBytes = layout.uiRowBytes * layout.uiRows;
    std::uint8_t* pCopy = StartCopy(pOut, uiOffset, uiPixelBytes, bHeadersOnly);
    if (pCopy == nullptr)
        return false;
    PutLe32(pCopy + 14, 40);
    PutLe32(pCopy + 18, layout.uiWidth);
    PutLe32(pCopy + 22, static_cast<std::uint32_t>(layout.iHeight));
    pCopy[26] = 1; // planes
    pCopy[28] = static_cast<std::uint8_t>(uiBitCount);
    PutLe32(pCopy + 46, uiEntries);
    const std::uint8_t* pPalette = p + FILE_HEADER_SIZE + layout.uiHeaderSize;
    for (std::uint32_t i = 0; i < layout.uiPalette; ++i)
        std::memcpy(pCopy + HEADERS_SIZE + i * 4, pPalette + i * layout.uiEntrySize, 3);
    if (bHeadersOnly || uiPixelBytes == 0)
        return true;
    if (layout.IsRunLength())
        return WalkRunLengthRows(p, uiSize, layout, pCopy + uiOffset);
    std::memcpy(pCopy + uiOffset, p + layout.uiOffset, static_cast<std::size_t>(uiPixelBytes));
    return true;
}

} // namespace

bool ReadBmpLayout(const std::uint8_t* p, std::size_t uiSize, BmpLayout* pOut)
{
    if (uiSize < FILE_HEADER_SIZE + 4)
        return false;
    BmpLayout layout;
    layout.uiOffset = ReadLe(p + 10, 4);
    layout.uiHeaderSize = ReadLe(p + 14, 4);
    if (layout.uiHeaderSize != 12 && layout.uiHeaderSize != 40 && layout.uiHeaderSize != 56 &&
        layout.uiHeaderSize != OS2_HEADER_SIZE && layout.uiHeaderSize != 108 && layout.uiHeaderSize != 124)
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
    if (layout.uiWidth == 0 || layout.uiWidth > D3D11_REQ_TEXTURE2D_U_OR_V_DIMENSION || layout.uiRows == 0 ||
        layout.uiRows > D3D11_REQ_TEXTURE2D_U_OR_V_DIMENSION)
    {
        return false;
    }
    layout.uiBitCount = ReadLe(p + (bCore ? 24 : 28), 2);
    layout.uiCompression = bCore ? 0 : ReadLe(p + 30, 4);
    const bool bPalette = layout.uiBitCount <= 8;
    const bool bRunLength = (layout.uiCompression == RLE8 && layout.uiBitCount == 8) ||
                            (layout.uiCompression == RLE4 && layout.uiBitCount == 4);
    if (layout.uiCompression != 0 && !bRunLength &&
        (layout.uiCompression != BIT_FIELDS || bPalette || layout.uiHeaderSize == OS2_HEADER_SIZE))
    {
        return false;
    }
    if (bRunLength && layout.iHeight < 0)
        return false;
    if (layout.uiBitCount != 1 && layout.uiBitCount != 4 && layout.uiBitCount != 8 &&
        layout.uiBitCount != 16 && layout.uiBitCount != 24 && layout.uiBitCount != 32)
    {
        return false;
    }
    // After a 40- or 56-byte header the decoder reads bit masks from the 12 bytes that follow it;
    // the longer headers hold them.
    if (layout.uiCompression == BIT_FIELDS && (layout.uiHeaderSize == 40 || layout.uiHeaderSize == 56))
        layout.uiMaskBytes = 12;
    const std::uint64_t uiHeadersEnd =
        std::uint64_t{FILE_HEADER_SIZE} + layout.uiHeaderSize + layout.uiMaskBytes;
    if (layout.uiOffset < uiHeadersEnd || layout.uiOffset > uiSize)
        return false;
    if (bPalette)
    {
        // The palette holds the entries the header counts (all 2 to the bit count when it counts
        // none or more), as many of them as lie before the rows. An OS/2 2.x palette's entries
        // are four bytes, but some writers put three, as after a core header: read so when only
        // three-byte entries leave room for all it counts before the rows.
        const std::uint32_t uiMost = 1u << layout.uiBitCount;
        const std::uint32_t uiColours = bCore ? 0 : ReadLe(p + 46, 4);
        const std::uint64_t uiCounted = uiColours != 0 && uiColours < uiMost ? uiColours : uiMost;
        const std::uint64_t uiRoom = layout.uiOffset - uiHeadersEnd;
        const bool bThreeBytes = bCore || (layout.uiHeaderSize == OS2_HEADER_SIZE && uiRoom < 4 * uiCounted &&
                                           uiRoom >= 3 * uiCounted);
        layout.uiEntrySize = bThreeBytes ? 3 : 4;
        if (uiRoom < layout.uiEntrySize)
            return false;
        layout.uiPalette = static_cast<std::uint32_t>(std::min(uiRoom / layout.uiEntrySize, uiCounted));
    }
    if (bRunLength)
    {
        layout.uiRowBytes = (std::uint64_t{layout.uiWidth} + 3) / 4 * 4;
        if (layout.uiWidth * layout.uiRows > RUN_LENGTH_PIXELS_PER_BYTE * uiSize ||
            !WalkRunLengthRows(p, uiSize, layout, nullptr))
        {
            return false;
        }
    }
    else
    {
        layout.uiRowBytes = (std::uint64_t{layout.uiWidth} * layout.uiBitCount + 31) / 32 * 4;
        if (layout.uiRows > (uiSize - layout.uiOffset) / layout.uiRowBytes)
            return false;
    }
    *pOut = layout;
    return true;
}

bool BmpForDecoder(const std::uint8_t* p, std::size_t uiSize, const BmpLayout& layout, bool bHeadersOnly,
                   std::vector<std::uint8_t>* pOut)
{
    pOut->clear();
    if (layout.uiBitCount <= 8)
        return PaletteBmpForDecoder(p, uiSize, layout, bHeadersOnly, pOut);
    const bool bOs2 = layout.uiHeaderSize == OS2_HEADER_SIZE;
    const std::uint32_t uiHeadersSize = FILE_HEADER_SIZE + layout.uiHeaderSize + layout.uiMaskBytes;
    if (!bOs2 && layout.uiOffset == uiHeadersSize)
        return true;
    // The headers as the file has them (the OS/2 header's first 40 bytes, which are the 40-byte
    // header's fields), the masks, the rows.
    const std::uint32_t uiHeaderSize = bOs2 ? 40 : layout.uiHeaderSize;
    const std::uint32_t uiOffset = FILE_HEADER_SIZE + uiHeaderSize + layout.uiMaskBytes;
    const std::uint64_t uiPixelBytes = layout.uiRowBytes * layout.uiRows;
    std::uint8_t* pCopy = StartCopy(pOut, uiOffset, uiPixelBytes, bHeadersOnly);
    if (pCopy == nullptr)
        return false;
    std::memcpy(pCopy + FILE_HEADER_SIZE, p + FILE_HEADER_SIZE, uiHeaderSize);
    PutLe32(pCopy + FILE_HEADER_SIZE, uiHeaderSize);
    std::memcpy(pCopy + FILE_HEADER_SIZE + uiHeaderSize, p + FILE_HEADER_SIZE + layout.uiHeaderSize,
                layout.uiMaskBytes);
    if (!bHeadersOnly)
        std::memcpy(pCopy + uiOffset, p + layout.uiOffset, static_cast<std::size_t>(uiPixelBytes));
    return true;
}

} // namespace d3dx11_internal
