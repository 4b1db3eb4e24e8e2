#pragma once
// Internal to the Direct3D 11 stand-in: what the device knows about each DXGI format (element
// size, block shape, typeless family) and the conversion of clear values into format bytes.

#include "platform/d3d11/dxgiformat.h"
#include "platform/win32/WinTypes.h"

#include <cstdint>

namespace d3d11_internal
{

enum class FormatKind : std::uint8_t
{
    Typeless,
    Unorm,
    Snorm,
    Uint,
    Sint,
    Float,
    Srgb,
    Depth,      // depth-stencil formats
    Packed,     // components of unequal size or shared parts, each format handled on its own
    Compressed, // block-compressed
};

struct FormatInfo
{
    DXGI_FORMAT family = DXGI_FORMAT_UNKNOWN; // typeless format of the family, else the format itself
    UINT bytesPerBlock = 0;                   // bytes of one block (one element for plain formats)
    UINT blockWidth = 1;                      // elements across one block: 1, 2 (pairs), 4 (BC) or 8 (R1)
    UINT blockHeight = 1;
    UINT channels = 0;    // for plain formats: components per element
    UINT channelBits = 0; // for plain formats: bits per component
    FormatKind kind = FormatKind::Typeless;
    bool bgra = false; // components stored blue, green, red, alpha
};

// False for DXGI_FORMAT_UNKNOWN and values the device does not know.
bool GetFormatInfo(DXGI_FORMAT format, FormatInfo* pInfo);

// Bytes of one row of blocks and number of block rows of a surface; false for an unknown format.
bool GetSurfacePitch(DXGI_FORMAT format, UINT uiWidth, UINT uiHeight, UINT* pRowPitch, UINT* pRowCount);

// A view of format viewFormat may be made on a resource of resourceFormat: the same format, or
// any format of the family when the resource format is typeless.
bool IsViewFormatCompatible(DXGI_FORMAT resourceFormat, DXGI_FORMAT viewFormat);
bool IsDepthFormat(DXGI_FORMAT format);
bool IsTypelessFormat(DXGI_FORMAT format);

// Bytes of one element of a render-target format holding the colour; false when the format can
// not be a render target. The colour is linear; sRGB formats store it encoded.
bool EncodeColor(DXGI_FORMAT format, const float rgba[4], std::uint8_t out[16], UINT* pSize);

// Bytes of one element of a depth-stencil format and the mask of the bytes and bits that the
// clear flags (D3D11_CLEAR_DEPTH, D3D11_CLEAR_STENCIL) write; false for a non-depth format.
bool EncodeDepthStencil(DXGI_FORMAT format, UINT uiClearFlags, float fDepth, std::uint8_t uiStencil,
                        std::uint8_t out[8], std::uint8_t mask[8], UINT* pSize);

// IEEE float to a small float with a 5-bit exponent and the given mantissa bits, rounded to
// nearest even; without a sign bit negative values become 0.
std::uint32_t EncodeSmallFloat(float fValue, int iMantissaBits, bool bSigned);

} // namespace d3d11_internal
