#include "platform/d3dx11/D3DX11Dds.h"

#include "platform/d3d11/D3D11Formats.h"

#include <cstring>
#include <new>

namespace d3dx11_internal
{

namespace
{

constexpr std::uint32_t DDS_MAGIC = 0x20534444; // "DDS "
constexpr std::size_t HEADER_SIZE = 124;
constexpr std::size_t PIXEL_FORMAT_SIZE = 32;
constexpr std::size_t DX10_HEADER_SIZE = 20;

// Header flags.
constexpr std::uint32_t DDSD_CAPS = 0x1;
constexpr std::uint32_t DDSD_HEIGHT = 0x2;
constexpr std::uint32_t DDSD_WIDTH = 0x4;
constexpr std::uint32_t DDSD_PITCH = 0x8;
constexpr std::uint32_t DDSD_PIXELFORMAT = 0x1000;
constexpr std::uint32_t DDSD_MIPMAPCOUNT = 0x20000;
constexpr std::uint32_t DDSD_LINEARSIZE = 0x80000;
constexpr std::uint32_t DDSD_DEPTH = 0x800000;
// Pixel-format flags.
constexpr std::uint32_t DDPF_ALPHAPIXELS = 0x1;
constexpr std::uint32_t DDPF_ALPHA = 0x2;
constexpr std::uint32_t DDPF_FOURCC = 0x4;
constexpr std::uint32_t DDPF_RGB = 0x40;
constexpr std::uint32_t DDPF_LUMINANCE = 0x20000;
// Caps.
constexpr std::uint32_t DDSCAPS_COMPLEX = 0x8;
constexpr std::uint32_t DDSCAPS_TEXTURE = 0x1000;
constexpr std::uint32_t DDSCAPS_MIPMAP = 0x400000;
constexpr std::uint32_t DDSCAPS2_CUBEMAP = 0x200;
constexpr std::uint32_t DDSCAPS2_CUBEMAP_ALLFACES = 0xFC00;
constexpr std::uint32_t DDSCAPS2_VOLUME = 0x200000;
// Extended header.
constexpr std::uint32_t DX10_DIMENSION_1D = 2;
constexpr std::uint32_t DX10_DIMENSION_2D = 3;
constexpr std::uint32_t DX10_DIMENSION_3D = 4;
constexpr std::uint32_t DX10_MISC_TEXTURECUBE = 0x4;

constexpr std::uint32_t FourCC(char a, char b, char c, char d)
{
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(a)) |
           (static_cast<std::uint32_t>(static_cast<std::uint8_t>(b)) << 8) |
           (static_cast<std::uint32_t>(static_cast<std::uint8_t>(c)) << 16) |
           (static_cast<std::uint32_t>(static_cast<std::uint8_t>(d)) << 24);
}

std::uint32_t ReadU32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void WriteU32(std::vector<std::uint8_t>* pOut, std::uint32_t uiValue)
{
    for (int i = 0; i < 4; ++i)
        pOut->push_back(static_cast<std::uint8_t>(uiValue >> (8 * i)));
}

struct PixelFormat
{
    std::uint32_t flags = 0;
    std::uint32_t fourCC = 0;
    std::uint32_t bitCount = 0;
    std::uint32_t masks[4] = {}; // r, g, b, a
};

// Legacy formats by FourCC: the DXTn names, the ATI and BCn names, and D3DFMT numbers.
struct FourCCFormat
{
    std::uint32_t fourCC;
    DXGI_FORMAT format;
};
constexpr FourCCFormat FOURCC_FORMATS[] = {
    {FourCC('D', 'X', 'T', '1'), DXGI_FORMAT_BC1_UNORM},
    {FourCC('D', 'X', 'T', '2'), DXGI_FORMAT_BC2_UNORM},
    {FourCC('D', 'X', 'T', '3'), DXGI_FORMAT_BC2_UNORM},
    {FourCC('D', 'X', 'T', '4'), DXGI_FORMAT_BC3_UNORM},
    {FourCC('D', 'X', 'T', '5'), DXGI_FORMAT_BC3_UNORM},
    {FourCC('A', 'T', 'I', '1'), DXGI_FORMAT_BC4_UNORM},
    {FourCC('B', 'C', '4', 'U'), DXGI_FORMAT_BC4_UNORM},
    {FourCC('B', 'C', '4', 'S'), DXGI_FORMAT_BC4_SNORM},
    {FourCC('A', 'T', 'I', '2'), DXGI_FORMAT_BC5_UNORM},
    {FourCC('B', 'C', '5', 'U'), DXGI_FORMAT_BC5_UNORM},
    {FourCC('B', 'C', '5', 'S'), DXGI_FORMAT_BC5_SNORM},
    {36, DXGI_FORMAT_R16G16B16A16_UNORM},
    {110, DXGI_FORMAT_R16G16B16A16_SNORM},
    {111, DXGI_FORMAT_R16_FLOAT},
    {112, DXGI_FORMAT_R16G16_FLOAT},
    {113, DXGI_FORMAT_R16G16B16A16_FLOAT},
    {114, DXGI_FORMAT_R32_FLOAT},
    {115, DXGI_FORMAT_R32G32_FLOAT},
    {116, DXGI_FORMAT_R32G32B32A32_FLOAT},
};

// Legacy formats by bit masks.
struct MaskFormat
{
    std::uint32_t flags; // DDPF_RGB, DDPF_LUMINANCE or DDPF_ALPHA
    std::uint32_t bitCount;
    std::uint32_t masks[4];
    DXGI_FORMAT format;
};
constexpr MaskFormat MASK_FORMATS[] = {
    {DDPF_RGB, 32, {0x000000ff, 0x0000ff00, 0x00ff0000, 0xff000000}, DXGI_FORMAT_R8G8B8A8_UNORM},
    {DDPF_RGB, 32, {0x00ff0000, 0x0000ff00, 0x000000ff, 0xff000000}, DXGI_FORMAT_B8G8R8A8_UNORM},
    {DDPF_RGB, 32, {0x00ff0000, 0x0000ff00, 0x000000ff, 0x00000000}, DXGI_FORMAT_B8G8R8X8_UNORM},
    {DDPF_RGB, 32, {0x3ff00000, 0x000ffc00, 0x000003ff, 0xc0000000}, DXGI_FORMAT_R10G10B10A2_UNORM},
    {DDPF_RGB, 32, {0x0000ffff, 0xffff0000, 0x00000000, 0x00000000}, DXGI_FORMAT_R16G16_UNORM},
    {DDPF_RGB, 16, {0xf800, 0x07e0, 0x001f, 0x0000}, DXGI_FORMAT_B5G6R5_UNORM},
    {DDPF_RGB, 16, {0x7c00, 0x03e0, 0x001f, 0x8000}, DXGI_FORMAT_B5G5R5A1_UNORM},
    {DDPF_LUMINANCE, 8, {0xff, 0, 0, 0}, DXGI_FORMAT_R8_UNORM},
    {DDPF_LUMINANCE, 16, {0xffff, 0, 0, 0}, DXGI_FORMAT_R16_UNORM},
    {DDPF_LUMINANCE, 16, {0x00ff, 0, 0, 0xff00}, DXGI_FORMAT_R8G8_UNORM},
    {DDPF_ALPHA, 8, {0, 0, 0, 0xff}, DXGI_FORMAT_A8_UNORM},
};

DXGI_FORMAT FromPixelFormat(const PixelFormat& pf)
{
    if ((pf.flags & DDPF_FOURCC) != 0)
    {
        for (const FourCCFormat& entry : FOURCC_FORMATS)
            if (entry.fourCC == pf.fourCC)
                return entry.format;
        return DXGI_FORMAT_UNKNOWN;
    }
    const std::uint32_t uiKind = pf.flags & (DDPF_RGB | DDPF_LUMINANCE | DDPF_ALPHA);
    for (const MaskFormat& entry : MASK_FORMATS)
    {
        const bool bKind = entry.flags == DDPF_ALPHA ? uiKind == DDPF_ALPHA : (uiKind & entry.flags) != 0;
        // The alpha mask only counts when the file says it has alpha.
        const std::uint32_t uiAlpha = (pf.flags & (DDPF_ALPHAPIXELS | DDPF_ALPHA)) != 0 ? pf.masks[3] : 0;
        if (bKind && entry.bitCount == pf.bitCount && entry.masks[0] == pf.masks[0] &&
            entry.masks[1] == pf.masks[1] && entry.masks[2] == pf.masks[2] && entry.masks[3] == uiAlpha)
        {
            return entry.format;
        }
    }
    return DXGI_FORMAT_UNKNOWN;
}

// The legacy description of a format, when it has one.
bool ToPixelFormat(DXGI_FORMAT format, PixelFormat* pOut)
{
    switch (format)
    {
    case DXGI_FORMAT_BC1_UNORM:
        pOut->flags = DDPF_FOURCC;
        pOut->fourCC = FourCC('D', 'X', 'T', '1');
        return true;
    case DXGI_FORMAT_BC2_UNORM:
        pOut->flags = DDPF_FOURCC;
        pOut->fourCC = FourCC('D', 'X', 'T', '3');
        return true;
    case DXGI_FORMAT_BC3_UNORM:
        pOut->flags = DDPF_FOURCC;
        pOut->fourCC = FourCC('D', 'X', 'T', '5');
        return true;
    default:
        break;
    }
    for (const FourCCFormat& entry : FOURCC_FORMATS)
    {
        if (entry.format == format && entry.fourCC < 256)
        {
            pOut->flags = DDPF_FOURCC;
            pOut->fourCC = entry.fourCC;
            return true;
        }
    }
    for (const MaskFormat& entry : MASK_FORMATS)
    {
        if (entry.format == format)
        {
            pOut->flags =
                entry.flags | (entry.masks[3] != 0 && entry.flags != DDPF_ALPHA ? DDPF_ALPHAPIXELS : 0);
            pOut->bitCount = entry.bitCount;
            std::memcpy(pOut->masks, entry.masks, sizeof(pOut->masks));
            return true;
        }
    }
    return false;
}

UINT MipSide(UINT uiSide, UINT uiMip)
{
    const UINT uiSideAtMip = uiSide >> uiMip;
    return uiSideAtMip == 0 ? 1 : uiSideAtMip;
}

} // namespace

bool IsDds(const std::uint8_t* pData, std::size_t uiSize)
{
    return uiSize >= 4 && ReadU32(pData) == DDS_MAGIC;
}

HRESULT ReadDds(const std::uint8_t* pData, std::size_t uiSize, bool bHeaderOnly, Image* pOut)
{
    if (!IsDds(pData, uiSize) || uiSize < 4 + HEADER_SIZE)
        return E_FAIL;
    const std::uint8_t* pHeader = pData + 4;
    if (ReadU32(pHeader) != HEADER_SIZE || ReadU32(pHeader + 72) != PIXEL_FORMAT_SIZE)
        return E_FAIL;
    const std::uint32_t uiFlags = ReadU32(pHeader + 4);
    Image image;
    image.fileFormat = D3DX11_IFF_DDS;
    image.height = ReadU32(pHeader + 8);
    image.width = ReadU32(pHeader + 12);
    const std::uint32_t uiDepth = ReadU32(pHeader + 20);
    const std::uint32_t uiMipCount = ReadU32(pHeader + 24);
    PixelFormat pf;
    pf.flags = ReadU32(pHeader + 76);
    pf.fourCC = ReadU32(pHeader + 80);
    pf.bitCount = ReadU32(pHeader + 84);
    for (int i = 0; i < 4; ++i)
        pf.masks[i] = ReadU32(pHeader + 88 + 4 * i);
    const std::uint32_t uiCaps2 = ReadU32(pHeader + 108);
    std::size_t uiOffset = 4 + HEADER_SIZE;

    image.mipLevels = (uiFlags & DDSD_MIPMAPCOUNT) != 0 && uiMipCount > 0 ? uiMipCount : 1;
    if ((pf.flags & DDPF_FOURCC) != 0 && pf.fourCC == FourCC('D', 'X', '1', '0'))
    {
        if (uiSize < uiOffset + DX10_HEADER_SIZE)
            return E_FAIL;
        const std::uint8_t* pDx10 = pData + uiOffset;
        uiOffset += DX10_HEADER_SIZE;
        image.format = static_cast<DXGI_FORMAT>(ReadU32(pDx10));
        const std::uint32_t uiDimension = ReadU32(pDx10 + 4);
        const std::uint32_t uiMisc = ReadU32(pDx10 + 8);
        image.arraySize = ReadU32(pDx10 + 12);
        if (image.arraySize == 0 || image.arraySize > D3D11_REQ_TEXTURE2D_ARRAY_AXIS_DIMENSION)
            return E_FAIL;
        switch (uiDimension)
        {
        case DX10_DIMENSION_1D:
            image.dimension = D3D11_RESOURCE_DIMENSION_TEXTURE1D;
            image.height = 1;
            break;
        case DX10_DIMENSION_2D:
            image.dimension = D3D11_RESOURCE_DIMENSION_TEXTURE2D;
            if ((uiMisc & DX10_MISC_TEXTURECUBE) != 0)
            {
                image.cube = true;
                image.arraySize *= 6;
            }
            break;
        case DX10_DIMENSION_3D:
            image.dimension = D3D11_RESOURCE_DIMENSION_TEXTURE3D;
            image.depth = uiDepth;
            if (image.arraySize != 1)
                return E_FAIL;
            break;
        default:
            return E_FAIL;
        }
    }
    else
    {
        image.format = FromPixelFormat(pf);
        if ((uiCaps2 & DDSCAPS2_VOLUME) != 0 || (uiFlags & DDSD_DEPTH) != 0)
        {
            image.dimension = D3D11_RESOURCE_DIMENSION_TEXTURE3D;
            image.depth = uiDepth;
        }
        else if ((uiCaps2 & DDSCAPS2_CUBEMAP) != 0)
        {
            // Cube maps with missing faces have no Direct3D 11 texture.
            if ((uiCaps2 & DDSCAPS2_CUBEMAP_ALLFACES) != DDSCAPS2_CUBEMAP_ALLFACES)
                return E_FAIL;
            image.cube = true;
            image.arraySize = 6;
        }
    }

    d3d11_internal::FormatInfo info;
    if (image.format == DXGI_FORMAT_UNKNOWN || !d3d11_internal::GetFormatInfo(image.format, &info) ||
        info.kind == d3d11_internal::FormatKind::Depth)
    {
        return E_FAIL;
    }
    const UINT uiMaxSide = image.dimension == D3D11_RESOURCE_DIMENSION_TEXTURE3D
                               ? D3D11_REQ_TEXTURE3D_U_V_OR_W_DIMENSION
                               : D3D11_REQ_TEXTURE2D_U_OR_V_DIMENSION;
    if (image.width == 0 || image.height == 0 || image.depth == 0 || image.width > uiMaxSide ||
        image.height > uiMaxSide || image.depth > uiMaxSide || (image.cube && image.width != image.height) ||
        image.mipLevels > FullMipCount(image.width, image.height, image.depth))
    {
        return E_FAIL;
    }

    // Every surface must lie inside the file before anything is allocated.
    std::uint64_t uiPayload = 0;
    for (UINT uiMip = 0; uiMip < image.mipLevels; ++uiMip)
    {
        UINT uiRowPitch = 0;
        UINT uiRowCount = 0;
        if (!d3d11_internal::GetSurfacePitch(image.format, MipSide(image.width, uiMip),
                                             MipSide(image.height, uiMip), &uiRowPitch, &uiRowCount))
        {
            return E_FAIL;
        }
        uiPayload += std::uint64_t{uiRowPitch} * uiRowCount * MipSide(image.depth, uiMip);
    }
    uiPayload *= image.arraySize;
    if (uiPayload > MAX_IMAGE_BYTES || uiPayload > uiSize - uiOffset)
        return E_FAIL;
    if (bHeaderOnly)
    {
        *pOut = std::move(image);
        return S_OK;
    }

    try
    {
        image.surfaces.resize(std::size_t{image.arraySize} * image.mipLevels);
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }
    for (UINT uiItem = 0; uiItem < image.arraySize; ++uiItem)
    {
        for (UINT uiMip = 0; uiMip < image.mipLevels; ++uiMip)
        {
            Surface& surface = image.At(uiItem, uiMip);
            if (!MakeSurface(image.format, MipSide(image.width, uiMip), MipSide(image.height, uiMip),
                             MipSide(image.depth, uiMip), &surface, pData + uiOffset))
            {
                return E_OUTOFMEMORY;
            }
            uiOffset += surface.Size();
        }
    }
    *pOut = std::move(image);
    return S_OK;
}

HRESULT WriteDds(const Image& image, std::vector<std::uint8_t>* pOut)
{
    PixelFormat pf;
    const bool bLegacy = image.dimension != D3D11_RESOURCE_DIMENSION_TEXTURE1D &&
                         (image.arraySize == 1 || (image.cube && image.arraySize == 6)) &&
                         ToPixelFormat(image.format, &pf);
    d3d11_internal::FormatInfo info;
    UINT uiRowPitch = 0;
    UINT uiRowCount = 0;
    if (!d3d11_internal::GetFormatInfo(image.format, &info) ||
        !d3d11_internal::GetSurfacePitch(image.format, image.width, image.height, &uiRowPitch, &uiRowCount))
    {
        return E_FAIL;
    }
    if (!bLegacy)
    {
        pf = PixelFormat{};
        pf.flags = DDPF_FOURCC;
        pf.fourCC = FourCC('D', 'X', '1', '0');
    }
    const bool bCompressed = info.blockWidth > 1;
    const bool bVolume = image.dimension == D3D11_RESOURCE_DIMENSION_TEXTURE3D;
    std::uint32_t uiFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
    uiFlags |= bCompressed ? DDSD_LINEARSIZE : DDSD_PITCH;
    if (image.mipLevels > 1)
        uiFlags |= DDSD_MIPMAPCOUNT;
    if (bVolume)
        uiFlags |= DDSD_DEPTH;
    std::uint32_t uiCaps = DDSCAPS_TEXTURE;
    if (image.mipLevels > 1)
        uiCaps |= DDSCAPS_COMPLEX | DDSCAPS_MIPMAP;
    if (image.cube || bVolume)
        uiCaps |= DDSCAPS_COMPLEX;
    std::uint32_t uiCaps2 = 0;
    if (image.cube)
        uiCaps2 |= DDSCAPS2_CUBEMAP | DDSCAPS2_CUBEMAP_ALLFACES;
    if (bVolume)
        uiCaps2 |= DDSCAPS2_VOLUME;

    try
    {
        pOut->clear();
        WriteU32(pOut, DDS_MAGIC);
        WriteU32(pOut, HEADER_SIZE);
        WriteU32(pOut, uiFlags);
        WriteU32(pOut, image.height);
        WriteU32(pOut, image.width);
        WriteU32(pOut, bCompressed ? uiRowPitch * uiRowCount : uiRowPitch);
        WriteU32(pOut, bVolume ? image.depth : 0);
        WriteU32(pOut, image.mipLevels);
        for (int i = 0; i < 11; ++i)
            WriteU32(pOut, 0);
        WriteU32(pOut, PIXEL_FORMAT_SIZE);
        WriteU32(pOut, pf.flags);
        WriteU32(pOut, pf.fourCC);
        WriteU32(pOut, pf.bitCount);
        for (const std::uint32_t uiMask : pf.masks)
            WriteU32(pOut, uiMask);
        WriteU32(pOut, uiCaps);
        WriteU32(pOut, uiCaps2);
        WriteU32(pOut, 0);
        WriteU32(pOut, 0);
        WriteU32(pOut, 0);
        if (!bLegacy)
        {
            WriteU32(pOut, static_cast<std::uint32_t>(image.format));
            WriteU32(pOut, image.dimension == D3D11_RESOURCE_DIMENSION_TEXTURE1D ? DX10_DIMENSION_1D
                           : bVolume                                             ? DX10_DIMENSION_3D
                                                                                 : DX10_DIMENSION_2D);
            WriteU32(pOut, image.cube ? DX10_MISC_TEXTURECUBE : 0);
            WriteU32(pOut, image.cube ? image.arraySize / 6 : image.arraySize);
            WriteU32(pOut, 0);
        }
        for (const Surface& surface : image.surfaces)
            pOut->insert(pOut->end(), surface.Data(), surface.Data() + surface.Size());
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

} // namespace d3dx11_internal
