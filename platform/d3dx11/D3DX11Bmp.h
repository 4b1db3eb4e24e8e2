#pragma once
// Internal to the D3DX11 stand-in: BMP files as stb_image reads them right. The decoder reads
// uncompressed rows that follow the headers (and for 16 and 32 bits the bit masks) at once, with
// no colour table or gap before them, after one of the headers it knows (12, 40, 56, 108 or 124
// bytes); it reads no run-length rows and misreads palettes. A BMP it would misread or refuse
// goes to it as a copy it reads right: run-length rows expanded, the palette whole, the rows at
// once after the headers, a 64-byte OS/2 2.x header made a 40-byte one.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace d3dx11_internal
{

// A BMP's layout as read from its headers.
struct BmpLayout
{
    std::uint32_t uiHeaderSize = 0;
    std::uint32_t uiWidth = 0;
    std::int32_t iHeight = 0; // negative: rows stored top-down
    std::uint64_t uiRows = 0;
    std::uint32_t uiBitCount = 0;
    std::uint32_t uiCompression = 0; // 0 none, 1 RLE8, 2 RLE4, 3 bit fields (16 and 32 bits)
    std::uint32_t uiMaskBytes = 0;   // of the bit masks the decoder reads after the header
    std::uint32_t uiOffset = 0;      // of the pixel rows
    std::uint64_t uiRowBytes = 0;    // padded to 4 bytes; of the expanded rows for run-length ones
    std::uint32_t uiPalette = 0;     // entries the file holds, at most 2 to the bit count
    std::uint32_t uiEntrySize = 0;   // bytes of a palette entry: 3 after a core header, else 4

    bool IsRunLength() const { return uiCompression == 1 || uiCompression == 2; }
};

// Reads the layout of a BMP with a core header (12 bytes, 16-bit sides, no compression), an info
// header (40, 56, 108 or 124 bytes) or an OS/2 2.x header (64 bytes; its compressions 3 and 4 are
// not bit fields but Huffman and RLE24, which are not read). False unless the sides are 1 to the
// texture limit and the file holds every pixel the header promises: uncompressed rows (the
// header's bit depth times the width, padded to 4 bytes) between the pixel offset and the end of
// the file, run-length rows (RLE8 of 8 bits, RLE4 of 4, stored bottom-up) whose runs and deltas
// stay inside the image and that end with an end of bitmap or the last row's end of line before
// the end of the file, and that ask for at most 1,024 pixels a byte of the file (an image that
// deltas or an early end of bitmap leave mostly unwritten costs memory and time the file's bytes
// do not bound). Also refused: other compressions, bit fields but for 16 and 32 bits, bit
// depths other than 1, 4, 8, 16, 24 and 32, pixels said to start inside the headers (and bit
// masks), or, for a palette image, before the end of the first palette entry.
bool ReadBmpLayout(const std::uint8_t* p, std::size_t uiSize, BmpLayout* pOut);

// The copy of a BMP that stb_image reads right, or nothing (pOut empty) when it reads the file
// right as it is; with bHeadersOnly the copy ends before its rows (the decoder's header query
// reads no further). A palette image always goes as a copy: the decoder counts a core header's
// palette as if the header were 12 bytes longer and leaves entries past the palette it read
// uninitialised, so the copy has a 40-byte header, all 2 to the bit count entries of four bytes
// (those the file lacks black) and the rows right after them, run-length rows expanded to 8 bits
// a pixel. Pixels that a delta or an early end of bitmap skip take palette entry 0, as other
// decoders give them. Other images go as a copy when the rows do not start right after the
// headers and masks, or the header is the OS/2 one. The sides are within the texture limit, so a
// copy is below 2^30 + 1,200 bytes. False when memory runs out.
bool BmpForDecoder(const std::uint8_t* p, std::size_t uiSize, const BmpLayout& layout, bool bHeadersOnly,
                   std::vector<std::uint8_t>* pOut);

} // namespace d3dx11_internal
