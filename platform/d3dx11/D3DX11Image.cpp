#include "platform/d3dx11/D3DX11Image.h"

#include "platform/d3d11/D3D11Formats.h"

#include <stb_image_resize.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace d3dx11_internal
{

using d3d11_internal::FormatInfo;
using d3d11_internal::FormatKind;

namespace
{

struct Float4
{
    float v[4] = {0.0f, 0.0f, 0.0f, 1.0f};
};

float DecodeHalf(std::uint16_t uiHalf)
{
    const int iExponent = (uiHalf >> 10) & 0x1f;
    const int iMantissa = uiHalf & 0x3ff;
    float fValue = 0.0f;
    if (iExponent == 0)
        fValue = std::ldexp(static_cast<float>(iMantissa), -24);
    else if (iExponent == 31)
        fValue = iMantissa == 0 ? INFINITY : NAN;
    else
        fValue = std::ldexp(static_cast<float>(iMantissa | 0x400), iExponent - 25);
    return (uiHalf & 0x8000) != 0 ? -fValue : fValue;
}

std::uint32_t ReadBits(const std::uint8_t* p, UINT uiBits)
{
    switch (uiBits)
    {
    case 8:
        return p[0];
    case 16:
        return static_cast<std::uint32_t>(p[0] | (p[1] << 8));
    default:
        return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
               (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    }
}

void WriteBits(std::uint8_t* p, UINT uiBits, std::uint32_t uiValue)
{
    for (UINT i = 0; i < uiBits / 8; ++i)
        p[i] = static_cast<std::uint8_t>(uiValue >> (8 * i));
}

std::uint32_t ToUnorm(float f, UINT uiBits)
{
    const double dMax = static_cast<double>((std::uint64_t{1} << uiBits) - 1);
    const double d = std::isnan(f) ? 0.0 : std::clamp(static_cast<double>(f), 0.0, 1.0);
    return static_cast<std::uint32_t>(std::lround(d * dMax));
}

// Plain formats of 8, 16 or 32 bits per channel that read and write as floats.
bool IsPlain(const FormatInfo& info)
{
    return (info.kind == FormatKind::Unorm || info.kind == FormatKind::Srgb ||
            info.kind == FormatKind::Snorm || info.kind == FormatKind::Float) &&
           info.channels >= 1 && info.channels <= 4 &&
           (info.channelBits == 8 || info.channelBits == 16 || info.channelBits == 32) &&
           !(info.kind == FormatKind::Float && info.channelBits == 8) &&
           !((info.kind == FormatKind::Unorm || info.kind == FormatKind::Srgb ||
              info.kind == FormatKind::Snorm) &&
             info.channelBits == 32);
}

bool HasNoAlpha(DXGI_FORMAT format)
{
    return format == DXGI_FORMAT_B8G8R8X8_UNORM || format == DXGI_FORMAT_B8G8R8X8_UNORM_SRGB;
}

bool ReadPixel(DXGI_FORMAT format, const FormatInfo& info, const std::uint8_t* p, Float4* pOut)
{
    Float4 out;
    if (format == DXGI_FORMAT_A8_UNORM)
    {
        out.v[3] = p[0] / 255.0f;
        out.v[0] = out.v[1] = out.v[2] = 0.0f;
    }
    else if (format == DXGI_FORMAT_B5G6R5_UNORM)
    {
        const std::uint32_t u = ReadBits(p, 16);
        out.v[0] = ((u >> 11) & 31) / 31.0f;
        out.v[1] = ((u >> 5) & 63) / 63.0f;
        out.v[2] = (u & 31) / 31.0f;
    }
    else if (format == DXGI_FORMAT_B5G5R5A1_UNORM)
    {
        const std::uint32_t u = ReadBits(p, 16);
        out.v[0] = ((u >> 10) & 31) / 31.0f;
        out.v[1] = ((u >> 5) & 31) / 31.0f;
        out.v[2] = (u & 31) / 31.0f;
        out.v[3] = static_cast<float>(u >> 15);
    }
    else if (format == DXGI_FORMAT_R10G10B10A2_UNORM)
    {
        const std::uint32_t u = ReadBits(p, 32);
        for (int c = 0; c < 3; ++c)
            out.v[c] = ((u >> (10 * c)) & 1023) / 1023.0f;
        out.v[3] = (u >> 30) / 3.0f;
    }
    else if (IsPlain(info))
    {
        const UINT uiBytes = info.channelBits / 8;
        for (UINT c = 0; c < info.channels; ++c)
        {
            const std::uint32_t u = ReadBits(p + c * uiBytes, info.channelBits);
            float f = 0.0f;
            if (info.kind == FormatKind::Float)
            {
                if (info.channelBits == 16)
                    f = DecodeHalf(static_cast<std::uint16_t>(u));
                else
                    std::memcpy(&f, &u, sizeof(f));
            }
            else if (info.kind == FormatKind::Snorm)
            {
                const std::int32_t iSigned =
                    info.channelBits == 8 ? static_cast<std::int8_t>(u) : static_cast<std::int16_t>(u);
                const float fMax = static_cast<float>((1 << (info.channelBits - 1)) - 1);
                f = std::max(-1.0f, static_cast<float>(iSigned) / fMax);
            }
            else
            {
                f = static_cast<float>(static_cast<double>(u) /
                                       static_cast<double>((1u << info.channelBits) - 1));
            }
            out.v[c] = f;
        }
        if (info.bgra)
            std::swap(out.v[0], out.v[2]);
        if (HasNoAlpha(format))
            out.v[3] = 1.0f;
    }
    else
    {
        return false;
    }
    *pOut = out;
    return true;
}

bool WritePixel(DXGI_FORMAT format, const FormatInfo& info, const Float4& in, std::uint8_t* p)
{
    if (format == DXGI_FORMAT_A8_UNORM)
    {
        p[0] = static_cast<std::uint8_t>(ToUnorm(in.v[3], 8));
        return true;
    }
    if (!IsPlain(info))
        return false;
    Float4 value = in;
    if (info.bgra)
        std::swap(value.v[0], value.v[2]);
    if (HasNoAlpha(format))
        value.v[3] = 1.0f;
    const UINT uiBytes = info.channelBits / 8;
    for (UINT c = 0; c < info.channels; ++c)
    {
        const float f = value.v[c];
        std::uint32_t u = 0;
        if (info.kind == FormatKind::Float)
        {
            if (info.channelBits == 16)
                u = d3d11_internal::EncodeSmallFloat(f, 10, true);
            else
                std::memcpy(&u, &f, sizeof(u));
        }
        else if (info.kind == FormatKind::Snorm)
        {
            const double dMax = static_cast<double>((1 << (info.channelBits - 1)) - 1);
            const double d = std::isnan(f) ? 0.0 : std::clamp(static_cast<double>(f), -1.0, 1.0);
            u = static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(d * dMax)));
        }
        else
        {
            u = ToUnorm(f, info.channelBits);
        }
        WriteBits(p + c * uiBytes, info.channelBits, u);
    }
    return true;
}

// Pixels of a surface as four floats each, row after row.
bool ReadSurface(DXGI_FORMAT format, const Surface& surface, std::vector<float>* pOut)
{
    FormatInfo info;
    if (!d3d11_internal::GetFormatInfo(format, &info))
        return false;
    pOut->resize(std::size_t{surface.width} * surface.height * surface.depth * 4);
    float* pDst = pOut->data();
    for (UINT z = 0; z < surface.depth; ++z)
    {
        for (UINT y = 0; y < surface.height; ++y)
        {
            const std::uint8_t* pRow =
                surface.Data() + std::size_t{z} * surface.slicePitch + std::size_t{y} * surface.rowPitch;
            for (UINT x = 0; x < surface.width; ++x, pDst += 4)
            {
                Float4 pixel;
                if (!ReadPixel(format, info, pRow + std::size_t{x} * info.bytesPerBlock, &pixel))
                    return false;
                std::memcpy(pDst, pixel.v, sizeof(pixel.v));
            }
        }
    }
    return true;
}

bool WriteSurface(DXGI_FORMAT format, const float* pPixels, Surface* pSurface)
{
    FormatInfo info;
    if (!d3d11_internal::GetFormatInfo(format, &info))
        return false;
    for (UINT z = 0; z < pSurface->depth; ++z)
    {
        for (UINT y = 0; y < pSurface->height; ++y)
        {
            std::uint8_t* pRow = pSurface->bytes.data() + std::size_t{z} * pSurface->slicePitch +
                                 std::size_t{y} * pSurface->rowPitch;
            for (UINT x = 0; x < pSurface->width; ++x, pPixels += 4)
            {
                Float4 pixel;
                std::memcpy(pixel.v, pPixels, sizeof(pixel.v));
                if (!WritePixel(format, info, pixel, pRow + std::size_t{x} * info.bytesPerBlock))
                    return false;
            }
        }
    }
    return true;
}

// Four 8-bit channels, for which scaling runs on bytes directly.
bool IsRgba8(DXGI_FORMAT format)
{
    switch (format)
    {
    case DXGI_FORMAT_R8G8B8A8_UNORM:
    case DXGI_FORMAT_R8G8B8A8_UNORM_SRGB:
    case DXGI_FORMAT_B8G8R8A8_UNORM:
    case DXGI_FORMAT_B8G8R8A8_UNORM_SRGB:
    case DXGI_FORMAT_B8G8R8X8_UNORM:
    case DXGI_FORMAT_B8G8R8X8_UNORM_SRGB:
        return true;
    default:
        return false;
    }
}

// Nearest source pixel for every target pixel (the point filter; "none" scales the same way).
void ScaleNearest(const std::uint8_t* pSrc, UINT uiSrcW, UINT uiSrcH, UINT uiSrcPitch, std::uint8_t* pDst,
                  UINT uiDstW, UINT uiDstH, UINT uiDstPitch, UINT uiPixelBytes)
{
    for (UINT y = 0; y < uiDstH; ++y)
    {
        const UINT uiSrcY = static_cast<UINT>((std::uint64_t{y} * uiSrcH) / uiDstH);
        for (UINT x = 0; x < uiDstW; ++x)
        {
            const UINT uiSrcX = static_cast<UINT>((std::uint64_t{x} * uiSrcW) / uiDstW);
            std::memcpy(pDst + std::size_t{y} * uiDstPitch + std::size_t{x} * uiPixelBytes,
                        pSrc + std::size_t{uiSrcY} * uiSrcPitch + std::size_t{uiSrcX} * uiPixelBytes,
                        uiPixelBytes);
        }
    }
}

// Along one axis. Shrinking always averages the source area under each target pixel (the box
// filter): that is what the triangle filter means when shrinking ("every source pixel contributes
// equally"), and stb's tent filter trips its own coefficient check on shrink ratios between 1
// and 2 (7 to 5, say), which ends the process. Growing takes the tent unless a box is asked for.
stbir_filter ToStbFilter(UINT uiFilter, bool bMip, UINT uiSource, UINT uiTarget)
{
    UINT uiKind = uiFilter & 0xff;
    if (uiFilter == D3DX11_DEFAULT)
        uiKind = bMip ? D3DX11_FILTER_BOX : D3DX11_FILTER_TRIANGLE;
    return uiKind == D3DX11_FILTER_BOX || uiTarget < uiSource ? STBIR_FILTER_BOX : STBIR_FILTER_TRIANGLE;
}

bool IsPointFilter(UINT uiFilter)
{
    return uiFilter != D3DX11_DEFAULT &&
           ((uiFilter & 0xff) == D3DX11_FILTER_NONE || (uiFilter & 0xff) == D3DX11_FILTER_POINT);
}

// Scales one 2-D surface into another of the same format.
bool ScaleSurface(DXGI_FORMAT format, const Surface& src, Surface* pDst, UINT uiFilter, bool bMip)
{
    FormatInfo info;
    if (!d3d11_internal::GetFormatInfo(format, &info) || info.blockWidth != 1 || info.blockHeight != 1)
        return false;
    if (IsPointFilter(uiFilter))
    {
        ScaleNearest(src.Data(), src.width, src.height, src.rowPitch, pDst->bytes.data(), pDst->width,
                     pDst->height, pDst->rowPitch, info.bytesPerBlock);
        return true;
    }
    const stbir_edge edge = (uiFilter != D3DX11_DEFAULT && (uiFilter & D3DX11_FILTER_MIRROR) != 0)
                                ? STBIR_EDGE_REFLECT
                                : STBIR_EDGE_CLAMP;
    const stbir_colorspace space =
        (uiFilter != D3DX11_DEFAULT && (uiFilter & D3DX11_FILTER_SRGB) == D3DX11_FILTER_SRGB)
            ? STBIR_COLORSPACE_SRGB
            : STBIR_COLORSPACE_LINEAR;
    const stbir_filter filterX = ToStbFilter(uiFilter, bMip, src.width, pDst->width);
    const stbir_filter filterY = ToStbFilter(uiFilter, bMip, src.height, pDst->height);
    if (IsRgba8(format))
    {
        return stbir_resize(src.Data(), static_cast<int>(src.width), static_cast<int>(src.height),
                            static_cast<int>(src.rowPitch), pDst->bytes.data(), static_cast<int>(pDst->width),
                            static_cast<int>(pDst->height), static_cast<int>(pDst->rowPitch),
                            STBIR_TYPE_UINT8, 4, STBIR_ALPHA_CHANNEL_NONE, 0, edge, edge, filterX, filterY,
                            space, nullptr) != 0;
    }
    std::vector<float> vSrc;
    if (!ReadSurface(format, src, &vSrc))
        return false;
    std::vector<float> vDst(std::size_t{pDst->width} * pDst->height * 4);
    if (stbir_resize(vSrc.data(), static_cast<int>(src.width), static_cast<int>(src.height),
                     static_cast<int>(src.width * 4 * sizeof(float)), vDst.data(),
                     static_cast<int>(pDst->width), static_cast<int>(pDst->height),
                     static_cast<int>(pDst->width * 4 * sizeof(float)), STBIR_TYPE_FLOAT, 4,
                     STBIR_ALPHA_CHANNEL_NONE, 0, edge, edge, filterX, filterY, STBIR_COLORSPACE_LINEAR,
                     nullptr) == 0)
    {
        return false;
    }
    return WriteSurface(format, vDst.data(), pDst);
}

UINT Half(UINT uiSide)
{
    return std::max(1u, uiSide / 2);
}

} // namespace

D3DX11_IMAGE_INFO Image::GetInfo() const
{
    D3DX11_IMAGE_INFO info{};
    info.Width = width;
    info.Height = height;
    info.Depth = depth;
    info.ArraySize = arraySize;
    info.MipLevels = mipLevels;
    info.MiscFlags = cube ? D3D11_RESOURCE_MISC_TEXTURECUBE : 0;
    info.Format = format;
    info.ResourceDimension = dimension;
    info.ImageFileFormat = fileFormat;
    return info;
}

bool MakeSurface(DXGI_FORMAT format, UINT uiWidth, UINT uiHeight, UINT uiDepth, Surface* pOut,
                 const std::uint8_t* pView)
{
    UINT uiRowPitch = 0;
    UINT uiRowCount = 0;
    if (!d3d11_internal::GetSurfacePitch(format, uiWidth, uiHeight, &uiRowPitch, &uiRowCount))
        return false;
    const std::uint64_t uiSlice = std::uint64_t{uiRowPitch} * uiRowCount;
    const std::uint64_t uiSize = uiSlice * uiDepth;
    if (uiSize > MAX_IMAGE_BYTES)
        return false;
    pOut->pView = pView;
    try
    {
        if (pView == nullptr)
            pOut->bytes.resize(static_cast<std::size_t>(uiSize));
        else
            pOut->bytes = d3d11_internal::ByteBuffer();
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    pOut->width = uiWidth;
    pOut->height = uiHeight;
    pOut->depth = uiDepth;
    pOut->rowPitch = uiRowPitch;
    pOut->rowCount = uiRowCount;
    pOut->slicePitch = static_cast<UINT>(uiSlice);
    return true;
}

bool CanConvert(DXGI_FORMAT format)
{
    FormatInfo info;
    if (!d3d11_internal::GetFormatInfo(format, &info))
        return false;
    Float4 probe;
    std::uint8_t aBytes[16] = {};
    return WritePixel(format, info, probe, aBytes) && ReadPixel(format, info, aBytes, &probe);
}

HRESULT ConvertImage(Image* pImage, DXGI_FORMAT format)
{
    if (pImage->format == format)
        return S_OK;
    if (!CanConvert(pImage->format) || !CanConvert(format))
        return E_FAIL;
    FormatInfo from;
    FormatInfo to;
    if (!d3d11_internal::GetFormatInfo(pImage->format, &from) || !d3d11_internal::GetFormatInfo(format, &to))
        return E_FAIL;
    // Pixel by pixel through one Float4: a whole surface of floats would be four times the
    // size of an 8-bit image (half a gigabyte for an enlarged screenshot).
    for (Surface& surface : pImage->surfaces)
    {
        Surface converted;
        if (!MakeSurface(format, surface.width, surface.height, surface.depth, &converted))
            return E_FAIL;
        for (UINT z = 0; z < surface.depth; ++z)
        {
            for (UINT y = 0; y < surface.height; ++y)
            {
                const std::uint8_t* pSource =
                    surface.Data() + std::size_t{z} * surface.slicePitch + std::size_t{y} * surface.rowPitch;
                std::uint8_t* pTarget = converted.bytes.data() + std::size_t{z} * converted.slicePitch +
                                        std::size_t{y} * converted.rowPitch;
                for (UINT x = 0; x < surface.width; ++x)
                {
                    Float4 pixel;
                    if (!ReadPixel(pImage->format, from, pSource + std::size_t{x} * from.bytesPerBlock,
                                   &pixel) ||
                        !WritePixel(format, to, pixel, pTarget + std::size_t{x} * to.bytesPerBlock))
                    {
                        return E_FAIL;
                    }
                }
            }
        }
        surface = std::move(converted);
    }
    pImage->format = format;
    return S_OK;
}

HRESULT DropTopMips(Image* pImage, UINT uiFirst)
{
    if (uiFirst == 0)
        return S_OK;
    if (uiFirst >= pImage->mipLevels)
        return E_INVALIDARG;
    std::vector<Surface> vKept;
    const UINT uiItems = pImage->arraySize;
    vKept.reserve(std::size_t{uiItems} * (pImage->mipLevels - uiFirst));
    for (UINT uiItem = 0; uiItem < uiItems; ++uiItem)
        for (UINT uiMip = uiFirst; uiMip < pImage->mipLevels; ++uiMip)
            vKept.push_back(std::move(pImage->At(uiItem, uiMip)));
    pImage->surfaces = std::move(vKept);
    pImage->mipLevels -= uiFirst;
    pImage->width = pImage->surfaces[0].width;
    pImage->height = pImage->surfaces[0].height;
    pImage->depth = pImage->surfaces[0].depth;
    return S_OK;
}

HRESULT ResizeImage(Image* pImage, UINT uiWidth, UINT uiHeight, UINT uiFilter)
{
    if (pImage->width == uiWidth && pImage->height == uiHeight)
        return S_OK;
    if (pImage->dimension == D3D11_RESOURCE_DIMENSION_TEXTURE3D || uiWidth == 0 || uiHeight == 0 ||
        uiWidth > D3D11_REQ_TEXTURE2D_U_OR_V_DIMENSION || uiHeight > D3D11_REQ_TEXTURE2D_U_OR_V_DIMENSION)
    {
        return E_FAIL;
    }
    std::vector<Surface> vScaled(pImage->arraySize);
    for (UINT uiItem = 0; uiItem < pImage->arraySize; ++uiItem)
    {
        if (!MakeSurface(pImage->format, uiWidth, uiHeight, 1, &vScaled[uiItem]) ||
            !ScaleSurface(pImage->format, pImage->At(uiItem, 0), &vScaled[uiItem], uiFilter, false))
        {
            return E_FAIL;
        }
    }
    pImage->surfaces = std::move(vScaled);
    pImage->mipLevels = 1;
    pImage->width = uiWidth;
    pImage->height = uiHeight;
    return S_OK;
}

UINT FullMipCount(UINT uiWidth, UINT uiHeight, UINT uiDepth)
{
    UINT uiLargest = std::max({uiWidth, uiHeight, uiDepth, 1u});
    UINT uiCount = 1;
    while (uiLargest > 1)
    {
        uiLargest /= 2;
        ++uiCount;
    }
    return uiCount;
}

HRESULT SetMipLevels(Image* pImage, UINT uiLevels, UINT uiMipFilter)
{
    uiLevels = std::clamp(uiLevels, 1u, FullMipCount(pImage->width, pImage->height, pImage->depth));
    FormatInfo info;
    const bool bCanBuild = pImage->dimension != D3D11_RESOURCE_DIMENSION_TEXTURE3D &&
                           d3d11_internal::GetFormatInfo(pImage->format, &info) && info.blockWidth == 1 &&
                           info.blockHeight == 1 && (IsRgba8(pImage->format) || CanConvert(pImage->format));
    if (uiLevels > pImage->mipLevels && !bCanBuild)
        uiLevels = pImage->mipLevels;
    if (uiLevels == pImage->mipLevels)
        return S_OK;
    std::vector<Surface> vSurfaces;
    vSurfaces.reserve(std::size_t{pImage->arraySize} * uiLevels);
    for (UINT uiItem = 0; uiItem < pImage->arraySize; ++uiItem)
    {
        for (UINT uiMip = 0; uiMip < uiLevels; ++uiMip)
        {
            if (uiMip < pImage->mipLevels)
            {
                vSurfaces.push_back(std::move(pImage->At(uiItem, uiMip)));
                continue;
            }
            const Surface& above = vSurfaces.back();
            Surface level;
            if (!MakeSurface(pImage->format, Half(above.width), Half(above.height), 1, &level) ||
                !ScaleSurface(pImage->format, above, &level, uiMipFilter, true))
            {
                return E_FAIL;
            }
            vSurfaces.push_back(std::move(level));
        }
    }
    pImage->surfaces = std::move(vSurfaces);
    pImage->mipLevels = uiLevels;
    return S_OK;
}

} // namespace d3dx11_internal
