#include "platform/d3d11/D3D11Formats.h"

#include <cmath>
#include <cstring>

namespace d3d11_internal
{

namespace
{

// Indexed by DXGI_FORMAT value.
constexpr FormatInfo FORMAT_TABLE[] = {
    {DXGI_FORMAT_UNKNOWN, 0, 1, 1, 0, 0, FormatKind::Typeless, false},
    {DXGI_FORMAT_R32G32B32A32_TYPELESS, 16, 1, 1, 4, 32, FormatKind::Typeless,
     false},                                                                          // R32G32B32A32_TYPELESS
    {DXGI_FORMAT_R32G32B32A32_TYPELESS, 16, 1, 1, 4, 32, FormatKind::Float, false},   // R32G32B32A32_FLOAT
    {DXGI_FORMAT_R32G32B32A32_TYPELESS, 16, 1, 1, 4, 32, FormatKind::Uint, false},    // R32G32B32A32_UINT
    {DXGI_FORMAT_R32G32B32A32_TYPELESS, 16, 1, 1, 4, 32, FormatKind::Sint, false},    // R32G32B32A32_SINT
    {DXGI_FORMAT_R32G32B32_TYPELESS, 12, 1, 1, 3, 32, FormatKind::Typeless, false},   // R32G32B32_TYPELESS
    {DXGI_FORMAT_R32G32B32_TYPELESS, 12, 1, 1, 3, 32, FormatKind::Float, false},      // R32G32B32_FLOAT
    {DXGI_FORMAT_R32G32B32_TYPELESS, 12, 1, 1, 3, 32, FormatKind::Uint, false},       // R32G32B32_UINT
    {DXGI_FORMAT_R32G32B32_TYPELESS, 12, 1, 1, 3, 32, FormatKind::Sint, false},       // R32G32B32_SINT
    {DXGI_FORMAT_R16G16B16A16_TYPELESS, 8, 1, 1, 4, 16, FormatKind::Typeless, false}, // R16G16B16A16_TYPELESS
    {DXGI_FORMAT_R16G16B16A16_TYPELESS, 8, 1, 1, 4, 16, FormatKind::Float, false},    // R16G16B16A16_FLOAT
    {DXGI_FORMAT_R16G16B16A16_TYPELESS, 8, 1, 1, 4, 16, FormatKind::Unorm, false},    // R16G16B16A16_UNORM
    {DXGI_FORMAT_R16G16B16A16_TYPELESS, 8, 1, 1, 4, 16, FormatKind::Uint, false},     // R16G16B16A16_UINT
    {DXGI_FORMAT_R16G16B16A16_TYPELESS, 8, 1, 1, 4, 16, FormatKind::Snorm, false},    // R16G16B16A16_SNORM
    {DXGI_FORMAT_R16G16B16A16_TYPELESS, 8, 1, 1, 4, 16, FormatKind::Sint, false},     // R16G16B16A16_SINT
    {DXGI_FORMAT_R32G32_TYPELESS, 8, 1, 1, 2, 32, FormatKind::Typeless, false},       // R32G32_TYPELESS
    {DXGI_FORMAT_R32G32_TYPELESS, 8, 1, 1, 2, 32, FormatKind::Float, false},          // R32G32_FLOAT
    {DXGI_FORMAT_R32G32_TYPELESS, 8, 1, 1, 2, 32, FormatKind::Uint, false},           // R32G32_UINT
    {DXGI_FORMAT_R32G32_TYPELESS, 8, 1, 1, 2, 32, FormatKind::Sint, false},           // R32G32_SINT
    {DXGI_FORMAT_R32G8X24_TYPELESS, 8, 1, 1, 0, 0, FormatKind::Typeless, false},      // R32G8X24_TYPELESS
    {DXGI_FORMAT_R32G8X24_TYPELESS, 8, 1, 1, 0, 0, FormatKind::Depth, false},         // D32_FLOAT_S8X24_UINT
    {DXGI_FORMAT_R32G8X24_TYPELESS, 8, 1, 1, 0, 0, FormatKind::Packed, false}, // R32_FLOAT_X8X24_TYPELESS
    {DXGI_FORMAT_R32G8X24_TYPELESS, 8, 1, 1, 0, 0, FormatKind::Packed, false}, // X32_TYPELESS_G8X24_UINT
    {DXGI_FORMAT_R10G10B10A2_TYPELESS, 4, 1, 1, 0, 0, FormatKind::Typeless, false}, // R10G10B10A2_TYPELESS
    {DXGI_FORMAT_R10G10B10A2_TYPELESS, 4, 1, 1, 0, 0, FormatKind::Packed, false},   // R10G10B10A2_UNORM
    {DXGI_FORMAT_R10G10B10A2_TYPELESS, 4, 1, 1, 0, 0, FormatKind::Packed, false},   // R10G10B10A2_UINT
    {DXGI_FORMAT_R11G11B10_FLOAT, 4, 1, 1, 0, 0, FormatKind::Packed, false},        // R11G11B10_FLOAT
    {DXGI_FORMAT_R8G8B8A8_TYPELESS, 4, 1, 1, 4, 8, FormatKind::Typeless, false},    // R8G8B8A8_TYPELESS
    {DXGI_FORMAT_R8G8B8A8_TYPELESS, 4, 1, 1, 4, 8, FormatKind::Unorm, false},       // R8G8B8A8_UNORM
    {DXGI_FORMAT_R8G8B8A8_TYPELESS, 4, 1, 1, 4, 8, FormatKind::Srgb, false},        // R8G8B8A8_UNORM_SRGB
    {DXGI_FORMAT_R8G8B8A8_TYPELESS, 4, 1, 1, 4, 8, FormatKind::Uint, false},        // R8G8B8A8_UINT
    {DXGI_FORMAT_R8G8B8A8_TYPELESS, 4, 1, 1, 4, 8, FormatKind::Snorm, false},       // R8G8B8A8_SNORM
    {DXGI_FORMAT_R8G8B8A8_TYPELESS, 4, 1, 1, 4, 8, FormatKind::Sint, false},        // R8G8B8A8_SINT
    {DXGI_FORMAT_R16G16_TYPELESS, 4, 1, 1, 2, 16, FormatKind::Typeless, false},     // R16G16_TYPELESS
    {DXGI_FORMAT_R16G16_TYPELESS, 4, 1, 1, 2, 16, FormatKind::Float, false},        // R16G16_FLOAT
    {DXGI_FORMAT_R16G16_TYPELESS, 4, 1, 1, 2, 16, FormatKind::Unorm, false},        // R16G16_UNORM
    {DXGI_FORMAT_R16G16_TYPELESS, 4, 1, 1, 2, 16, FormatKind::Uint, false},         // R16G16_UINT
    {DXGI_FORMAT_R16G16_TYPELESS, 4, 1, 1, 2, 16, FormatKind::Snorm, false},        // R16G16_SNORM
    {DXGI_FORMAT_R16G16_TYPELESS, 4, 1, 1, 2, 16, FormatKind::Sint, false},         // R16G16_SINT
    {DXGI_FORMAT_R32_TYPELESS, 4, 1, 1, 1, 32, FormatKind::Typeless, false},        // R32_TYPELESS
    {DXGI_FORMAT_R32_TYPELESS, 4, 1, 1, 0, 0, FormatKind::Depth, false},            // D32_FLOAT
    {DXGI_FORMAT_R32_TYPELESS, 4, 1, 1, 1, 32, FormatKind::Float, false},           // R32_FLOAT
    {DXGI_FORMAT_R32_TYPELESS, 4, 1, 1, 1, 32, FormatKind::Uint, false},            // R32_UINT
    {DXGI_FORMAT_R32_TYPELESS, 4, 1, 1, 1, 32, FormatKind::Sint, false},            // R32_SINT
    {DXGI_FORMAT_R24G8_TYPELESS, 4, 1, 1, 0, 0, FormatKind::Typeless, false},       // R24G8_TYPELESS
    {DXGI_FORMAT_R24G8_TYPELESS, 4, 1, 1, 0, 0, FormatKind::Depth, false},          // D24_UNORM_S8_UINT
    {DXGI_FORMAT_R24G8_TYPELESS, 4, 1, 1, 0, 0, FormatKind::Packed, false},         // R24_UNORM_X8_TYPELESS
    {DXGI_FORMAT_R24G8_TYPELESS, 4, 1, 1, 0, 0, FormatKind::Packed, false},         // X24_TYPELESS_G8_UINT
    {DXGI_FORMAT_R8G8_TYPELESS, 2, 1, 1, 2, 8, FormatKind::Typeless, false},        // R8G8_TYPELESS
    {DXGI_FORMAT_R8G8_TYPELESS, 2, 1, 1, 2, 8, FormatKind::Unorm, false},           // R8G8_UNORM
    {DXGI_FORMAT_R8G8_TYPELESS, 2, 1, 1, 2, 8, FormatKind::Uint, false},            // R8G8_UINT
    {DXGI_FORMAT_R8G8_TYPELESS, 2, 1, 1, 2, 8, FormatKind::Snorm, false},           // R8G8_SNORM
    {DXGI_FORMAT_R8G8_TYPELESS, 2, 1, 1, 2, 8, FormatKind::Sint, false},            // R8G8_SINT
    {DXGI_FORMAT_R16_TYPELESS, 2, 1, 1, 1, 16, FormatKind::Typeless, false},        // R16_TYPELESS
    {DXGI_FORMAT_R16_TYPELESS, 2, 1, 1, 1, 16, FormatKind::Float, false},           // R16_FLOAT
    {DXGI_FORMAT_R16_TYPELESS, 2, 1, 1, 0, 0, FormatKind::Depth, false},            // D16_UNORM
    {DXGI_FORMAT_R16_TYPELESS, 2, 1, 1, 1, 16, FormatKind::Unorm, false},           // R16_UNORM
    {DXGI_FORMAT_R16_TYPELESS, 2, 1, 1, 1, 16, FormatKind::Uint, false},            // R16_UINT
    {DXGI_FORMAT_R16_TYPELESS, 2, 1, 1, 1, 16, FormatKind::Snorm, false},           // R16_SNORM
    {DXGI_FORMAT_R16_TYPELESS, 2, 1, 1, 1, 16, FormatKind::Sint, false},            // R16_SINT
    {DXGI_FORMAT_R8_TYPELESS, 1, 1, 1, 1, 8, FormatKind::Typeless, false},          // R8_TYPELESS
    {DXGI_FORMAT_R8_TYPELESS, 1, 1, 1, 1, 8, FormatKind::Unorm, false},             // R8_UNORM
    {DXGI_FORMAT_R8_TYPELESS, 1, 1, 1, 1, 8, FormatKind::Uint, false},              // R8_UINT
    {DXGI_FORMAT_R8_TYPELESS, 1, 1, 1, 1, 8, FormatKind::Snorm, false},             // R8_SNORM
    {DXGI_FORMAT_R8_TYPELESS, 1, 1, 1, 1, 8, FormatKind::Sint, false},              // R8_SINT
    {DXGI_FORMAT_A8_UNORM, 1, 1, 1, 0, 0, FormatKind::Packed, false},               // A8_UNORM
    {DXGI_FORMAT_R1_UNORM, 1, 8, 1, 0, 0, FormatKind::Packed, false},               // R1_UNORM
    {DXGI_FORMAT_R9G9B9E5_SHAREDEXP, 4, 1, 1, 0, 0, FormatKind::Packed, false},     // R9G9B9E5_SHAREDEXP
    {DXGI_FORMAT_R8G8_B8G8_UNORM, 4, 2, 1, 0, 0, FormatKind::Packed, false},        // R8G8_B8G8_UNORM
    {DXGI_FORMAT_G8R8_G8B8_UNORM, 4, 2, 1, 0, 0, FormatKind::Packed, false},        // G8R8_G8B8_UNORM
    {DXGI_FORMAT_BC1_TYPELESS, 8, 4, 4, 0, 0, FormatKind::Typeless, false},         // BC1_TYPELESS
    {DXGI_FORMAT_BC1_TYPELESS, 8, 4, 4, 0, 0, FormatKind::Compressed, false},       // BC1_UNORM
    {DXGI_FORMAT_BC1_TYPELESS, 8, 4, 4, 0, 0, FormatKind::Compressed, false},       // BC1_UNORM_SRGB
    {DXGI_FORMAT_BC2_TYPELESS, 16, 4, 4, 0, 0, FormatKind::Typeless, false},        // BC2_TYPELESS
    {DXGI_FORMAT_BC2_TYPELESS, 16, 4, 4, 0, 0, FormatKind::Compressed, false},      // BC2_UNORM
    {DXGI_FORMAT_BC2_TYPELESS, 16, 4, 4, 0, 0, FormatKind::Compressed, false},      // BC2_UNORM_SRGB
    {DXGI_FORMAT_BC3_TYPELESS, 16, 4, 4, 0, 0, FormatKind::Typeless, false},        // BC3_TYPELESS
    {DXGI_FORMAT_BC3_TYPELESS, 16, 4, 4, 0, 0, FormatKind::Compressed, false},      // BC3_UNORM
    {DXGI_FORMAT_BC3_TYPELESS, 16, 4, 4, 0, 0, FormatKind::Compressed, false},      // BC3_UNORM_SRGB
    {DXGI_FORMAT_BC4_TYPELESS, 8, 4, 4, 0, 0, FormatKind::Typeless, false},         // BC4_TYPELESS
    {DXGI_FORMAT_BC4_TYPELESS, 8, 4, 4, 0, 0, FormatKind::Compressed, false},       // BC4_UNORM
    {DXGI_FORMAT_BC4_TYPELESS, 8, 4, 4, 0, 0, FormatKind::Compressed, false},       // BC4_SNORM
    {DXGI_FORMAT_BC5_TYPELESS, 16, 4, 4, 0, 0, FormatKind::Typeless, false},        // BC5_TYPELESS
    {DXGI_FORMAT_BC5_TYPELESS, 16, 4, 4, 0, 0, FormatKind::Compressed, false},      // BC5_UNORM
    {DXGI_FORMAT_BC5_TYPELESS, 16, 4, 4, 0, 0, FormatKind::Compressed, false},      // BC5_SNORM
    {DXGI_FORMAT_B5G6R5_UNORM, 2, 1, 1, 0, 0, FormatKind::Packed, false},           // B5G6R5_UNORM
    {DXGI_FORMAT_B5G5R5A1_UNORM, 2, 1, 1, 0, 0, FormatKind::Packed, false},         // B5G5R5A1_UNORM
    {DXGI_FORMAT_B8G8R8A8_TYPELESS, 4, 1, 1, 4, 8, FormatKind::Unorm, true},        // B8G8R8A8_UNORM
    {DXGI_FORMAT_B8G8R8X8_TYPELESS, 4, 1, 1, 4, 8, FormatKind::Unorm, true},        // B8G8R8X8_UNORM
    {DXGI_FORMAT_R10G10B10A2_TYPELESS, 4, 1, 1, 0, 0, FormatKind::Packed,
     false},                                                                    // R10G10B10_XR_BIAS_A2_UNORM
    {DXGI_FORMAT_B8G8R8A8_TYPELESS, 4, 1, 1, 4, 8, FormatKind::Typeless, true}, // B8G8R8A8_TYPELESS
    {DXGI_FORMAT_B8G8R8A8_TYPELESS, 4, 1, 1, 4, 8, FormatKind::Srgb, true},     // B8G8R8A8_UNORM_SRGB
    {DXGI_FORMAT_B8G8R8X8_TYPELESS, 4, 1, 1, 4, 8, FormatKind::Typeless, true}, // B8G8R8X8_TYPELESS
    {DXGI_FORMAT_B8G8R8X8_TYPELESS, 4, 1, 1, 4, 8, FormatKind::Srgb, true},     // B8G8R8X8_UNORM_SRGB
    {DXGI_FORMAT_BC6H_TYPELESS, 16, 4, 4, 0, 0, FormatKind::Typeless, false},   // BC6H_TYPELESS
    {DXGI_FORMAT_BC6H_TYPELESS, 16, 4, 4, 0, 0, FormatKind::Compressed, false}, // BC6H_UF16
    {DXGI_FORMAT_BC6H_TYPELESS, 16, 4, 4, 0, 0, FormatKind::Compressed, false}, // BC6H_SF16
    {DXGI_FORMAT_BC7_TYPELESS, 16, 4, 4, 0, 0, FormatKind::Typeless, false},    // BC7_TYPELESS
    {DXGI_FORMAT_BC7_TYPELESS, 16, 4, 4, 0, 0, FormatKind::Compressed, false},  // BC7_UNORM
    {DXGI_FORMAT_BC7_TYPELESS, 16, 4, 4, 0, 0, FormatKind::Compressed, false},  // BC7_UNORM_SRGB
};

constexpr UINT FORMAT_COUNT = sizeof(FORMAT_TABLE) / sizeof(FORMAT_TABLE[0]);
static_assert(FORMAT_COUNT == 100, "one entry per format of the 11.0 runtime");

double Clamp(double fValue, double fLow, double fHigh)
{
    if (std::isnan(fValue))
        return 0.0;
    return fValue < fLow ? fLow : (fValue > fHigh ? fHigh : fValue);
}

std::uint32_t EncodeUnorm(float fValue, UINT uiBits)
{
    const double fMax = static_cast<double>((std::uint64_t{1} << uiBits) - 1);
    return static_cast<std::uint32_t>(std::floor(Clamp(fValue, 0.0, 1.0) * fMax + 0.5));
}

std::uint32_t EncodeSnorm(float fValue, UINT uiBits)
{
    const double fMax = static_cast<double>((std::uint64_t{1} << (uiBits - 1)) - 1);
    const auto iValue = static_cast<std::int64_t>(std::floor(Clamp(fValue, -1.0, 1.0) * fMax + 0.5));
    return static_cast<std::uint32_t>(iValue) & static_cast<std::uint32_t>((std::uint64_t{1} << uiBits) - 1);
}

std::uint32_t EncodeUint(float fValue, UINT uiBits)
{
    const double fMax = static_cast<double>((std::uint64_t{1} << uiBits) - 1);
    return static_cast<std::uint32_t>(std::trunc(Clamp(fValue, 0.0, fMax)));
}

std::uint32_t EncodeSint(float fValue, UINT uiBits)
{
    const double fMax = static_cast<double>((std::int64_t{1} << (uiBits - 1)) - 1);
    const auto iValue = static_cast<std::int64_t>(std::trunc(Clamp(fValue, -fMax - 1.0, fMax)));
    return static_cast<std::uint32_t>(iValue) & static_cast<std::uint32_t>((std::uint64_t{1} << uiBits) - 1);
}

float LinearToSrgb(float fValue)
{
    const double f = Clamp(fValue, 0.0, 1.0);
    return static_cast<float>(f <= 0.0031308 ? f * 12.92 : 1.055 * std::pow(f, 1.0 / 2.4) - 0.055);
}

std::uint32_t FloatBits(float fValue)
{
    std::uint32_t uiBits = 0;
    std::memcpy(&uiBits, &fValue, sizeof(uiBits));
    return uiBits;
}

void StoreLittleEndian(std::uint8_t* pOut, std::uint32_t uiValue, UINT uiBytes)
{
    for (UINT i = 0; i < uiBytes; ++i)
        pOut[i] = static_cast<std::uint8_t>(uiValue >> (8 * i));
}

std::uint32_t EncodeChannel(FormatKind kind, float fValue, UINT uiBits)
{
    switch (kind)
    {
    case FormatKind::Unorm:
        return EncodeUnorm(fValue, uiBits);
    case FormatKind::Srgb:
        return EncodeUnorm(LinearToSrgb(fValue), uiBits);
    case FormatKind::Snorm:
        return EncodeSnorm(fValue, uiBits);
    case FormatKind::Uint:
        return EncodeUint(fValue, uiBits);
    case FormatKind::Sint:
        return EncodeSint(fValue, uiBits);
    case FormatKind::Float:
        return uiBits == 32 ? FloatBits(fValue) : EncodeSmallFloat(fValue, 10, true);
    default:
        return 0;
    }
}

bool EncodePacked(DXGI_FORMAT format, const float rgba[4], std::uint8_t out[16], UINT* pSize)
{
    std::uint32_t uiValue = 0;
    UINT uiBytes = 4;
    switch (format)
    {
    case DXGI_FORMAT_R10G10B10A2_UNORM:
        uiValue = EncodeUnorm(rgba[0], 10) | (EncodeUnorm(rgba[1], 10) << 10) |
                  (EncodeUnorm(rgba[2], 10) << 20) | (EncodeUnorm(rgba[3], 2) << 30);
        break;
    case DXGI_FORMAT_R10G10B10A2_UINT:
        uiValue = EncodeUint(rgba[0], 10) | (EncodeUint(rgba[1], 10) << 10) |
                  (EncodeUint(rgba[2], 10) << 20) | (EncodeUint(rgba[3], 2) << 30);
        break;
    case DXGI_FORMAT_R11G11B10_FLOAT:
        uiValue = EncodeSmallFloat(rgba[0], 6, false) | (EncodeSmallFloat(rgba[1], 6, false) << 11) |
                  (EncodeSmallFloat(rgba[2], 5, false) << 22);
        break;
    case DXGI_FORMAT_A8_UNORM:
        uiValue = EncodeUnorm(rgba[3], 8);
        uiBytes = 1;
        break;
    case DXGI_FORMAT_B5G6R5_UNORM:
        uiValue = EncodeUnorm(rgba[2], 5) | (EncodeUnorm(rgba[1], 6) << 5) | (EncodeUnorm(rgba[0], 5) << 11);
        uiBytes = 2;
        break;
    case DXGI_FORMAT_B5G5R5A1_UNORM:
        uiValue = EncodeUnorm(rgba[2], 5) | (EncodeUnorm(rgba[1], 5) << 5) | (EncodeUnorm(rgba[0], 5) << 10) |
                  (EncodeUnorm(rgba[3], 1) << 15);
        uiBytes = 2;
        break;
    default:
        return false;
    }
    StoreLittleEndian(out, uiValue, uiBytes);
    *pSize = uiBytes;
    return true;
}

} // namespace

bool GetFormatInfo(DXGI_FORMAT format, FormatInfo* pInfo)
{
    const auto uiIndex = static_cast<UINT>(format);
    if (uiIndex == 0 || uiIndex >= FORMAT_COUNT)
        return false;
    *pInfo = FORMAT_TABLE[uiIndex];
    return true;
}

bool GetSurfacePitch(DXGI_FORMAT format, UINT uiWidth, UINT uiHeight, UINT* pRowPitch, UINT* pRowCount)
{
    FormatInfo info;
    if (!GetFormatInfo(format, &info))
        return false;
    const UINT uiBlocksAcross = (uiWidth + info.blockWidth - 1) / info.blockWidth;
    const UINT uiBlocksDown = (uiHeight + info.blockHeight - 1) / info.blockHeight;
    *pRowPitch = (uiBlocksAcross > 0 ? uiBlocksAcross : 1) * info.bytesPerBlock;
    *pRowCount = uiBlocksDown > 0 ? uiBlocksDown : 1;
    return true;
}

bool IsViewFormatCompatible(DXGI_FORMAT resourceFormat, DXGI_FORMAT viewFormat)
{
    if (resourceFormat == viewFormat)
        return true;
    FormatInfo resourceInfo;
    FormatInfo viewInfo;
    if (!GetFormatInfo(resourceFormat, &resourceInfo) || !GetFormatInfo(viewFormat, &viewInfo))
        return false;
    return resourceInfo.kind == FormatKind::Typeless && resourceInfo.family == viewInfo.family;
}

bool IsDepthFormat(DXGI_FORMAT format)
{
    FormatInfo info;
    return GetFormatInfo(format, &info) && info.kind == FormatKind::Depth;
}

bool IsTypelessFormat(DXGI_FORMAT format)
{
    FormatInfo info;
    return GetFormatInfo(format, &info) && info.kind == FormatKind::Typeless;
}

bool EncodeColor(DXGI_FORMAT format, const float rgba[4], std::uint8_t out[16], UINT* pSize)
{
    FormatInfo info;
    if (!GetFormatInfo(format, &info))
        return false;
    if (info.kind == FormatKind::Packed)
        return EncodePacked(format, rgba, out, pSize);
    if (info.channels == 0 || info.kind == FormatKind::Typeless || info.kind == FormatKind::Depth ||
        info.kind == FormatKind::Compressed)
    {
        return false;
    }
    const UINT uiChannelBytes = info.channelBits / 8;
    for (UINT i = 0; i < info.channels; ++i)
    {
        // Colour index of memory component i.
        UINT uiSource = i;
        if (info.bgra && i < 3)
            uiSource = 2 - i;
        // sRGB encodes colour only; alpha stays linear.
        const FormatKind kind =
            (info.kind == FormatKind::Srgb && uiSource == 3) ? FormatKind::Unorm : info.kind;
        StoreLittleEndian(out + i * uiChannelBytes, EncodeChannel(kind, rgba[uiSource], info.channelBits),
                          uiChannelBytes);
    }
    *pSize = info.bytesPerBlock;
    return true;
}

bool EncodeDepthStencil(DXGI_FORMAT format, UINT uiClearFlags, float fDepth, std::uint8_t uiStencil,
                        std::uint8_t out[8], std::uint8_t mask[8], UINT* pSize)
{
    const bool bDepth = (uiClearFlags & 0x1u) != 0;
    const bool bStencil = (uiClearFlags & 0x2u) != 0;
    const float fClamped = static_cast<float>(Clamp(fDepth, 0.0, 1.0));
    std::memset(out, 0, 8);
    std::memset(mask, 0, 8);
    switch (format)
    {
    case DXGI_FORMAT_D32_FLOAT:
        StoreLittleEndian(out, FloatBits(fClamped), 4);
        std::memset(mask, bDepth ? 0xFF : 0x00, 4);
        *pSize = 4;
        return true;
    case DXGI_FORMAT_D16_UNORM:
        StoreLittleEndian(out, EncodeUnorm(fClamped, 16), 2);
        std::memset(mask, bDepth ? 0xFF : 0x00, 2);
        *pSize = 2;
        return true;
    case DXGI_FORMAT_D24_UNORM_S8_UINT:
        StoreLittleEndian(out, EncodeUnorm(fClamped, 24) | (std::uint32_t{uiStencil} << 24), 4);
        std::memset(mask, bDepth ? 0xFF : 0x00, 3);
        mask[3] = bStencil ? 0xFF : 0x00;
        *pSize = 4;
        return true;
    case DXGI_FORMAT_D32_FLOAT_S8X24_UINT:
        StoreLittleEndian(out, FloatBits(fClamped), 4);
        out[4] = uiStencil;
        std::memset(mask, bDepth ? 0xFF : 0x00, 4);
        mask[4] = bStencil ? 0xFF : 0x00;
        *pSize = 8;
        return true;
    default:
        return false;
    }
}

std::uint32_t EncodeSmallFloat(float fValue, int iMantissaBits, bool bSigned)
{
    constexpr int EXPONENT_BIAS = 15;
    constexpr std::uint32_t EXPONENT_MAX = 31;
    const std::uint32_t uiBits = FloatBits(fValue);
    const std::uint32_t uiAbs = uiBits & 0x7FFFFFFFu;
    const bool bNegative = (uiBits >> 31) != 0;
    const std::uint32_t uiInfinity = EXPONENT_MAX << iMantissaBits;
    if (uiAbs > 0x7F800000u)
        return uiInfinity | (1u << (iMantissaBits - 1)); // NaN
    std::uint32_t uiSign = 0;
    if (bNegative)
    {
        if (!bSigned)
            return 0;
        uiSign = 1u << (5 + iMantissaBits);
    }
    if (uiAbs == 0x7F800000u)
        return uiSign | uiInfinity;
    const int iExponent = static_cast<int>(uiAbs >> 23) - 127;
    std::uint32_t uiFull = uiAbs & 0x7FFFFFu;
    std::uint32_t uiResult = 0;
    int iShift = 0;
    if (iExponent >= 1 - EXPONENT_BIAS)
    {
        // Normal in the small format: keep the top mantissa bits, round, let a carry raise the exponent.
        iShift = 23 - iMantissaBits;
        uiResult =
            (static_cast<std::uint32_t>(iExponent + EXPONENT_BIAS) << iMantissaBits) | (uiFull >> iShift);
    }
    else
    {
        // Subnormal: the value in units of the smallest subnormal.
        uiFull |= 0x800000u;
        iShift = (1 - EXPONENT_BIAS - iMantissaBits) - (iExponent - 23);
        if (iShift >= 32)
            return uiSign;
        uiResult = uiFull >> iShift;
    }
    const std::uint32_t uiRemainder = uiFull & ((1u << iShift) - 1);
    const std::uint32_t uiHalf = 1u << (iShift - 1);
    if (uiRemainder > uiHalf || (uiRemainder == uiHalf && (uiResult & 1u) != 0))
        ++uiResult;
    if (uiResult >= uiInfinity)
        uiResult = uiInfinity;
    return uiSign | uiResult;
}

} // namespace d3d11_internal
