#include "tests/platform/d3d11/D3D11TestFixture.h"

#include "platform/d3dx11/D3DX11Control.h"
#include "platform/d3dx11/d3dx11.h"
#include "tests/support/TestTempDir.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

namespace
{

using Bytes = std::vector<std::uint8_t>;

void PutU32(Bytes* pOut, std::uint32_t uiValue)
{
    for (int i = 0; i < 4; ++i)
        pOut->push_back(static_cast<std::uint8_t>(uiValue >> (8 * i)));
}

void PutU16(Bytes* pOut, std::uint16_t uiValue)
{
    pOut->push_back(static_cast<std::uint8_t>(uiValue));
    pOut->push_back(static_cast<std::uint8_t>(uiValue >> 8));
}

// Entry i of the palettes MakeBmp writes, as red, green and blue: no two alike, none grey.
std::array<std::uint8_t, 3> PaletteColour(std::uint32_t i)
{
    return {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
            static_cast<std::uint8_t>(i * 97 + 31)};
}

// A BMP file written by hand: the file header, an image header of headerSize bytes (12: sides of
// 16 bits and no compression; 40, 56, 108 or 124 with 32-bit sides, the longer ones holding the
// colour masks), the masks after a 40-byte header with bit fields, a palette of PaletteColour
// entries (three bytes each after a 12-byte header, else four) and the pixel bytes as given.
struct BmpSpec
{
    std::int32_t width = 64;
    std::int32_t height = 64; // negative: rows top-down
    std::uint16_t bitCount = 32;
    std::uint32_t compression = 0; // 3: bit fields
    std::uint32_t headerSize = 40;
    std::uint32_t paletteSize = 0; // entries
};

Bytes MakeBmp(const BmpSpec& spec, const Bytes& pixels)
{
    const bool bCore = spec.headerSize == 12;
    const std::uint32_t uiMaskBytes = spec.headerSize == 40 && spec.compression == 3 ? 12 : 0;
    const std::uint32_t uiOffset = 14 + spec.headerSize + uiMaskBytes + spec.paletteSize * (bCore ? 3 : 4);
    const std::uint32_t auiMasks[4] = {
        spec.bitCount == 16 ? 0xf800u : 0x00ff0000u, spec.bitCount == 16 ? 0x07e0u : 0x0000ff00u,
        spec.bitCount == 16 ? 0x001fu : 0x000000ffu, spec.bitCount == 16 ? 0u : 0xff000000u};
    Bytes out = {'B', 'M'};
    PutU32(&out, uiOffset + static_cast<std::uint32_t>(pixels.size()));
    PutU32(&out, 0);
    PutU32(&out, uiOffset);
    PutU32(&out, spec.headerSize);
    if (bCore)
    {
        PutU16(&out, static_cast<std::uint16_t>(spec.width));
        PutU16(&out, static_cast<std::uint16_t>(spec.height));
    }
    else
    {
        PutU32(&out, static_cast<std::uint32_t>(spec.width));
        PutU32(&out, static_cast<std::uint32_t>(spec.height));
    }
    PutU16(&out, 1);
    PutU16(&out, spec.bitCount);
    if (!bCore)
    {
        for (std::uint32_t uiValue : {spec.compression, static_cast<std::uint32_t>(pixels.size()), 2835u,
                                      2835u, spec.paletteSize, 0u})
        {
            PutU32(&out, uiValue);
        }
        if (spec.headerSize > 40)
            for (std::uint32_t uiMask : auiMasks)
                PutU32(&out, uiMask);
        out.resize(14 + spec.headerSize, 0);
        for (std::uint32_t i = 0; i < uiMaskBytes / 4; ++i)
            PutU32(&out, auiMasks[i]);
    }
    for (std::uint32_t i = 0; i < spec.paletteSize; ++i)
    {
        const std::array<std::uint8_t, 3> colour = PaletteColour(i);
        out.insert(out.end(), {colour[2], colour[1], colour[0]});
        if (!bCore)
            out.push_back(0);
    }
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

// A GIF file of one image with a global palette of four colours, written by hand: the pixels'
// codes are three bits wide, a clear code before every second pixel keeps them so.
Bytes MakeGif(std::uint16_t uiWidth, std::uint16_t uiHeight, const Bytes& indices)
{
    Bytes out = {'G', 'I', 'F', '8', '9', 'a'};
    PutU16(&out, uiWidth);
    PutU16(&out, uiHeight);
    out.insert(out.end(), {0x81, 0, 0});
    out.insert(out.end(), {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255});
    out.insert(out.end(), {0x21, 0xf9, 4, 0, 0, 0, 0, 0}); // a graphic control extension
    out.push_back(0x2c);
    PutU16(&out, 0);
    PutU16(&out, 0);
    PutU16(&out, uiWidth);
    PutU16(&out, uiHeight);
    out.insert(out.end(), {0, 2});
    Bytes codes;
    std::uint32_t uiBits = 0;
    int iBits = 0;
    const auto put = [&](std::uint32_t uiCode)
    {
        uiBits |= uiCode << iBits;
        iBits += 3;
        for (; iBits >= 8; iBits -= 8, uiBits >>= 8)
            codes.push_back(static_cast<std::uint8_t>(uiBits));
    };
    for (std::size_t i = 0; i < indices.size(); ++i)
    {
        if (i % 2 == 0)
            put(4);
        put(indices[i] & 3u);
    }
    put(5);
    if (iBits > 0)
        codes.push_back(static_cast<std::uint8_t>(uiBits));
    for (std::size_t i = 0; i < codes.size(); i += 255)
    {
        const std::size_t uiLength = std::min<std::size_t>(255, codes.size() - i);
        out.push_back(static_cast<std::uint8_t>(uiLength));
        out.insert(out.end(), codes.begin() + static_cast<std::ptrdiff_t>(i),
                   codes.begin() + static_cast<std::ptrdiff_t>(i + uiLength));
    }
    out.insert(out.end(), {0, 0x3b});
    return out;
}

// A DDS header written by hand: legacy pixel format (FourCC or masks) or, with dxgiFormat set,
// the extended header. The payload follows as given.
struct DdsSpec
{
    std::uint32_t width = 4;
    std::uint32_t height = 4;
    std::uint32_t depth = 0;
    std::uint32_t mips = 1;
    std::uint32_t pfFlags = 0x41; // RGB | ALPHAPIXELS
    std::uint32_t fourCC = 0;
    std::uint32_t bitCount = 32;
    std::uint32_t masks[4] = {0x000000ff, 0x0000ff00, 0x00ff0000, 0xff000000};
    std::uint32_t caps2 = 0;
    std::uint32_t dxgiFormat = 0; // extended header when not 0
    std::uint32_t dx10Dimension = 3;
    std::uint32_t dx10Misc = 0;
    std::uint32_t dx10ArraySize = 1;
};

Bytes MakeDds(const DdsSpec& spec, const Bytes& payload)
{
    Bytes out;
    PutU32(&out, 0x20534444);
    PutU32(&out, 124);
    PutU32(&out, 0x1 | 0x2 | 0x4 | 0x1000 | (spec.mips > 1 ? 0x20000 : 0) | (spec.depth > 0 ? 0x800000 : 0));
    PutU32(&out, spec.height);
    PutU32(&out, spec.width);
    PutU32(&out, 0);
    PutU32(&out, spec.depth);
    PutU32(&out, spec.mips);
    for (int i = 0; i < 11; ++i)
        PutU32(&out, 0);
    PutU32(&out, 32);
    PutU32(&out, spec.dxgiFormat != 0 ? 0x4 : spec.pfFlags);
    PutU32(&out, spec.dxgiFormat != 0 ? 0x30315844 : spec.fourCC); // "DX10"
    PutU32(&out, spec.bitCount);
    for (std::uint32_t uiMask : spec.masks)
        PutU32(&out, uiMask);
    PutU32(&out, 0x1000);
    PutU32(&out, spec.caps2);
    for (int i = 0; i < 3; ++i)
        PutU32(&out, 0);
    if (spec.dxgiFormat != 0)
    {
        PutU32(&out, spec.dxgiFormat);
        PutU32(&out, spec.dx10Dimension);
        PutU32(&out, spec.dx10Misc);
        PutU32(&out, spec.dx10ArraySize);
        PutU32(&out, 0);
    }
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

Bytes Ramp(std::size_t uiCount, unsigned uiSeed = 1)
{
    Bytes v(uiCount);
    for (std::size_t i = 0; i < uiCount; ++i)
        v[i] = static_cast<std::uint8_t>(i * 13 + uiSeed);
    return v;
}

Bytes ReadFile(const std::string& sPath)
{
    std::ifstream file(sPath, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// A file of tests/platform/d3dx11/data: BMPs and ImageMagick's decoding of each as 8-bit RGBA,
// rows top first (make_bmp_fixtures.py there writes both).
Bytes ReadFixture(const std::string& sName)
{
    return ReadFile(std::string(KV_SOURCE_ROOT) + "/tests/platform/d3dx11/data/" + sName);
}

std::uint32_t GetU32(const Bytes& file, std::size_t uiAt)
{
    return static_cast<std::uint32_t>(file[uiAt] | file[uiAt + 1] << 8 | file[uiAt + 2] << 16 |
                                      static_cast<std::uint32_t>(file[uiAt + 3]) << 24);
}

void SetU32(Bytes* pFile, std::size_t uiAt, std::uint32_t uiValue)
{
    for (int i = 0; i < 4; ++i)
        (*pFile)[uiAt + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(uiValue >> (8 * i));
}

// A BMP with bytes put at uiAt (the rows' start by default), its pixel offset and size moved on.
Bytes WithBytesInserted(Bytes file, const Bytes& inserted, std::size_t uiAt = 0)
{
    const std::uint32_t uiOffset = GetU32(file, 10);
    uiAt = uiAt == 0 ? uiOffset : uiAt;
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(uiAt), inserted.begin(), inserted.end());
    SetU32(&file, 10, uiOffset + static_cast<std::uint32_t>(inserted.size()));
    SetU32(&file, 2, static_cast<std::uint32_t>(file.size()));
    return file;
}

// A BMP of a 40-byte header with that header made the 64-byte OS/2 2.x one (its own fields zero).
Bytes WithOs2Header(const Bytes& file)
{
    Bytes out = WithBytesInserted(file, Bytes(24, 0), 54);
    SetU32(&out, 14, 64);
    return out;
}

// Run-length rows: an encoded run, absolute runs (RLE8: a byte a pixel; RLE4: two pixels a byte,
// the high nibble first), both padded to an even count of bytes, end of line, delta, end of bitmap.
Bytes EncodedRun(std::uint8_t uiCount, std::uint8_t uiIndex)
{
    return {uiCount, uiIndex};
}

Bytes Absolute8(const Bytes& indices)
{
    Bytes out(2 + indices.size() + indices.size() % 2, 0);
    out[1] = static_cast<std::uint8_t>(indices.size());
    std::copy(indices.begin(), indices.end(), out.begin() + 2);
    return out;
}

Bytes Absolute4(const Bytes& indices)
{
    Bytes out = {0, static_cast<std::uint8_t>(indices.size())};
    for (std::size_t i = 0; i < indices.size(); i += 2)
        out.push_back(
            static_cast<std::uint8_t>(indices[i] << 4 | (i + 1 < indices.size() ? indices[i + 1] : 0)));
    if ((indices.size() + 1) / 2 % 2 != 0)
        out.push_back(0);
    return out;
}

Bytes Delta(std::uint8_t uiRight, std::uint8_t uiUp)
{
    return {0, 2, uiRight, uiUp};
}

const Bytes END_OF_LINE = {0, 0};
const Bytes END_OF_BITMAP = {0, 1};

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class D3DX11 : public D3D11Fixture
{
protected:
    void SetUp() override
    {
        D3D11Fixture::SetUp();
        D3DX11Control::Reset();
        CreateDevice();
    }

    // Loads as a staging texture that the test can read back.
    HRESULT LoadStaging(const Bytes& file, UINT uiMips, ID3D11Texture2D** ppTexture,
                        DXGI_FORMAT format = DXGI_FORMAT_FROM_FILE, D3DX11_IMAGE_INFO* pInfo = nullptr)
    {
        D3DX11_IMAGE_LOAD_INFO load;
        load.MipLevels = uiMips;
        load.Usage = D3D11_USAGE_STAGING;
        load.BindFlags = 0;
        load.CpuAccessFlags = D3D11_CPU_ACCESS_READ;
        load.Format = format;
        load.pSrcInfo = pInfo;
        ID3D11Resource* pResource = nullptr;
        const HRESULT hr = D3DX11CreateTextureFromMemory(m_pDevice, file.data(), file.size(), &load, nullptr,
                                                         &pResource, nullptr);
        *ppTexture = nullptr;
        if (SUCCEEDED(hr))
        {
            EXPECT_EQ(S_OK,
                      pResource->QueryInterface(IID_ID3D11Texture2D, reinterpret_cast<void**>(ppTexture)));
            pResource->Release();
        }
        return hr;
    }

    // The pixels of an image file loaded as R8G8B8A8, rows top first and tightly packed; empty when
    // the file is refused.
    Bytes LoadPixels(const Bytes& file)
    {
        ID3D11Texture2D* pTexture = nullptr;
        if (FAILED(LoadStaging(file, 1, &pTexture, DXGI_FORMAT_R8G8B8A8_UNORM)))
            return {};
        D3D11_TEXTURE2D_DESC desc{};
        pTexture->GetDesc(&desc);
        D3D11_MAPPED_SUBRESOURCE mapped{};
        Bytes pixels;
        if (SUCCEEDED(m_pContext->Map(pTexture, 0, D3D11_MAP_READ, 0, &mapped)))
        {
            for (UINT y = 0; y < desc.Height; ++y)
            {
                const auto* pRow = static_cast<const std::uint8_t*>(mapped.pData) + y * mapped.RowPitch;
                pixels.insert(pixels.end(), pRow, pRow + desc.Width * 4);
            }
            m_pContext->Unmap(pTexture, 0);
        }
        Release(pTexture);
        return pixels;
    }

    // A 2-D texture holding the pixels, saved in that file format and read back as bytes.
    Bytes SaveTexture(UINT uiWidth, UINT uiHeight, DXGI_FORMAT format, const Bytes& pixels, UINT uiPitch,
                      D3DX11_IMAGE_FILE_FORMAT fileFormat)
    {
        const D3D11_TEXTURE2D_DESC desc = TextureDesc(uiWidth, uiHeight, format, D3D11_BIND_SHADER_RESOURCE);
        const D3D11_SUBRESOURCE_DATA init{pixels.data(), uiPitch, 0};
        ID3D11Texture2D* pTexture = nullptr;
        EXPECT_EQ(S_OK, m_pDevice->CreateTexture2D(&desc, &init, &pTexture));
        const std::string sPath = m_Temp.Join("saved.img");
        EXPECT_EQ(S_OK, D3DX11SaveTextureToFileA(m_pContext, pTexture, fileFormat, sPath.c_str()));
        Release(pTexture);
        return ReadFile(sPath);
    }

    TestTempDir m_Temp;
};

} // namespace

TEST_F(D3DX11, PngRoundTripKeepsEveryPixelAndMapReadsRowsAtTheirPitch)
{
    const Bytes pixels = Ramp(5 * 3 * 4);
    const Bytes png = SaveTexture(5, 3, DXGI_FORMAT_R8G8B8A8_UNORM, pixels, 20, D3DX11_IFF_PNG);
    ASSERT_GT(png.size(), 8u);

    D3DX11_IMAGE_INFO info{};
    ASSERT_EQ(S_OK, D3DX11GetImageInfoFromMemory(png.data(), png.size(), nullptr, &info, nullptr));
    EXPECT_EQ(5u, info.Width);
    EXPECT_EQ(3u, info.Height);
    EXPECT_EQ(1u, info.MipLevels);
    EXPECT_EQ(DXGI_FORMAT_R8G8B8A8_UNORM, info.Format);
    EXPECT_EQ(D3DX11_IFF_PNG, info.ImageFileFormat);
    EXPECT_EQ(0u, D3DX11Control::GetDecodeCount()); // the header only

    ID3D11Texture2D* pTexture = nullptr;
    ASSERT_EQ(S_OK, LoadStaging(png, 1, &pTexture));
    D3D11_MAPPED_SUBRESOURCE mapped{};
    ASSERT_EQ(S_OK, m_pContext->Map(pTexture, 0, D3D11_MAP_READ, 0, &mapped));
    for (UINT y = 0; y < 3; ++y)
        EXPECT_EQ(0, std::memcmp(static_cast<const std::uint8_t*>(mapped.pData) + y * mapped.RowPitch,
                                 &pixels[y * 20], 20));
    m_pContext->Unmap(pTexture, 0);
    Release(pTexture);
}

TEST_F(D3DX11, DefaultMipLevelsBuildAFullChainFromTheTopLevel)
{
    // Columns alternate black and white; every lower level is the grey between them.
    Bytes pixels(4 * 4 * 4);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = (i / 4) % 2 == 0 ? 0 : 255;
    const Bytes png = SaveTexture(4, 4, DXGI_FORMAT_R8G8B8A8_UNORM, pixels, 16, D3DX11_IFF_PNG);
    ID3D11Texture2D* pTexture = nullptr;
    ASSERT_EQ(S_OK, LoadStaging(png, D3DX11_DEFAULT, &pTexture));
    D3D11_TEXTURE2D_DESC desc{};
    pTexture->GetDesc(&desc);
    EXPECT_EQ(3u, desc.MipLevels);
    for (UINT uiMip = 1; uiMip < 3; ++uiMip)
    {
        Bytes level;
        ASSERT_TRUE(D3D11Control::ReadSubresource(pTexture, uiMip, &level));
        for (std::uint8_t uiValue : level)
            EXPECT_NEAR(uiValue, 127.5, 1.0) << "mip " << uiMip;
    }
    Release(pTexture);

    // The shader-resource path makes a default texture and a view of every level.
    ID3D11ShaderResourceView* pView = nullptr;
    ASSERT_EQ(S_OK, D3DX11CreateShaderResourceViewFromMemory(m_pDevice, png.data(), png.size(), nullptr,
                                                             nullptr, &pView, nullptr));
    D3D11_SHADER_RESOURCE_VIEW_DESC viewDesc{};
    pView->GetDesc(&viewDesc);
    EXPECT_EQ(D3D11_SRV_DIMENSION_TEXTURE2D, viewDesc.ViewDimension);
    EXPECT_EQ(3u, viewDesc.Texture2D.MipLevels);
    Release(pView);
}

TEST_F(D3DX11, ResizingKeepsTheAverageAtEveryRatio)
{
    // Shrinking by less than half (7x4 to 5x3) and growing both keep a flat image flat.
    const Bytes png = SaveTexture(7, 4, DXGI_FORMAT_R8G8B8A8_UNORM, Bytes(7 * 4 * 4, 90), 28, D3DX11_IFF_PNG);
    for (const UINT uiWidth : {5u, 11u})
    {
        D3DX11_IMAGE_LOAD_INFO load;
        load.Width = uiWidth;
        load.Height = 3;
        load.MipLevels = 1;
        load.Usage = D3D11_USAGE_STAGING;
        load.BindFlags = 0;
        load.CpuAccessFlags = D3D11_CPU_ACCESS_READ;
        ID3D11Resource* pTexture = nullptr;
        ASSERT_EQ(S_OK, D3DX11CreateTextureFromMemory(m_pDevice, png.data(), png.size(), &load, nullptr,
                                                      &pTexture, nullptr));
        Bytes pixels;
        ASSERT_TRUE(D3D11Control::ReadSubresource(pTexture, 0, &pixels));
        EXPECT_EQ(Bytes(uiWidth * 3 * 4, 90), pixels) << uiWidth;
        Release(pTexture);
    }
}

TEST_F(D3DX11, DdsMipChainsLoadAsStoredAndConvertToRgba)
{
    // B8G8R8A8 by masks, 4x4 with three levels of distinct bytes.
    DdsSpec spec;
    spec.mips = 3;
    spec.masks[0] = 0x00ff0000;
    spec.masks[2] = 0x000000ff;
    const Bytes payload = Ramp((16 + 4 + 1) * 4, 5);
    const Bytes dds = MakeDds(spec, payload);

    ID3D11Texture2D* pTexture = nullptr;
    D3DX11_IMAGE_INFO info{};
    ASSERT_EQ(S_OK, LoadStaging(dds, D3DX11_FROM_FILE, &pTexture, DXGI_FORMAT_FROM_FILE, &info));
    EXPECT_EQ(DXGI_FORMAT_B8G8R8A8_UNORM, info.Format);
    EXPECT_EQ(3u, info.MipLevels);
    const std::size_t aOffsets[] = {0, 64, 80};
    for (UINT uiMip = 0; uiMip < 3; ++uiMip)
    {
        Bytes level;
        ASSERT_TRUE(D3D11Control::ReadSubresource(pTexture, uiMip, &level));
        EXPECT_EQ(Bytes(payload.begin() + aOffsets[uiMip], payload.begin() + aOffsets[uiMip] + level.size()),
                  level);
    }
    Release(pTexture);

    // Converted: blue and red change places, nothing else moves.
    ASSERT_EQ(S_OK, LoadStaging(dds, 1, &pTexture, DXGI_FORMAT_R8G8B8A8_UNORM));
    Bytes top;
    ASSERT_TRUE(D3D11Control::ReadSubresource(pTexture, 0, &top));
    for (std::size_t i = 0; i < 64; i += 4)
    {
        EXPECT_EQ(payload[i + 2], top[i]);
        EXPECT_EQ(payload[i + 1], top[i + 1]);
        EXPECT_EQ(payload[i], top[i + 2]);
        EXPECT_EQ(payload[i + 3], top[i + 3]);
    }
    Release(pTexture);
}

TEST_F(D3DX11, CubeMapsAndArraysKeepTheirFacesAndBlocks)
{
    // Legacy cube map of BC1 blocks: one 8-byte block per 4x4 face.
    DdsSpec cube;
    cube.pfFlags = 0x4;
    cube.fourCC = 0x31545844; // "DXT1"
    cube.bitCount = 0;
    cube.caps2 = 0x200 | 0xFC00;
    const Bytes faces = Ramp(6 * 8, 9);
    const Bytes cubeFile = MakeDds(cube, faces);
    ID3D11ShaderResourceView* pView = nullptr;
    ASSERT_EQ(S_OK, D3DX11CreateShaderResourceViewFromMemory(m_pDevice, cubeFile.data(), cubeFile.size(),
                                                             nullptr, nullptr, &pView, nullptr));
    D3D11_SHADER_RESOURCE_VIEW_DESC viewDesc{};
    pView->GetDesc(&viewDesc);
    EXPECT_EQ(D3D11_SRV_DIMENSION_TEXTURECUBE, viewDesc.ViewDimension);
    EXPECT_EQ(DXGI_FORMAT_BC1_UNORM, viewDesc.Format);
    ID3D11Resource* pResource = nullptr;
    pView->GetResource(&pResource);
    Bytes face3;
    ASSERT_TRUE(D3D11Control::ReadSubresource(pResource, 3, &face3));
    EXPECT_EQ(Bytes(faces.begin() + 24, faces.begin() + 32), face3);
    Release(pResource);
    Release(pView);

    // A cube map missing a face has no texture.
    cube.caps2 = 0x200 | 0x7C00;
    const Bytes partial = MakeDds(cube, faces);
    EXPECT_EQ(E_FAIL, D3DX11CreateShaderResourceViewFromMemory(m_pDevice, partial.data(), partial.size(),
                                                               nullptr, nullptr, &pView, nullptr));

    // Extended header: an array of two BC3 textures of 8x8 (four 16-byte blocks each).
    DdsSpec array;
    array.width = array.height = 8;
    array.dxgiFormat = DXGI_FORMAT_BC3_UNORM;
    array.dx10ArraySize = 2;
    const Bytes arrayFile = MakeDds(array, Ramp(2 * 64, 3));
    D3DX11_IMAGE_INFO info{};
    ASSERT_EQ(S_OK,
              D3DX11GetImageInfoFromMemory(arrayFile.data(), arrayFile.size(), nullptr, &info, nullptr));
    EXPECT_EQ(2u, info.ArraySize);
    EXPECT_EQ(DXGI_FORMAT_BC3_UNORM, info.Format);
    EXPECT_EQ(D3DX11_IFF_DDS, info.ImageFileFormat);
    ID3D11Texture2D* pTexture = nullptr;
    ASSERT_EQ(S_OK, LoadStaging(arrayFile, D3DX11_DEFAULT, &pTexture));
    D3D11_TEXTURE2D_DESC desc{};
    pTexture->GetDesc(&desc);
    EXPECT_EQ(2u, desc.ArraySize);
    EXPECT_EQ(1u, desc.MipLevels); // block-compressed levels are not built
    Release(pTexture);
}

TEST_F(D3DX11, DdsSaveKeepsEveryByteOfAFloatTexture)
{
    Bytes pixels(3 * 2 * 8);
    for (std::size_t i = 0; i < pixels.size(); i += 2)
    {
        pixels[i] = static_cast<std::uint8_t>(i);
        pixels[i + 1] = 0x3c; // halves near 1.0
    }
    const Bytes dds = SaveTexture(3, 2, DXGI_FORMAT_R16G16B16A16_FLOAT, pixels, 24, D3DX11_IFF_DDS);
    ID3D11Texture2D* pTexture = nullptr;
    ASSERT_EQ(S_OK, LoadStaging(dds, D3DX11_FROM_FILE, &pTexture));
    D3D11_TEXTURE2D_DESC desc{};
    pTexture->GetDesc(&desc);
    EXPECT_EQ(DXGI_FORMAT_R16G16B16A16_FLOAT, desc.Format);
    Bytes loaded;
    ASSERT_TRUE(D3D11Control::ReadSubresource(pTexture, 0, &loaded));
    EXPECT_EQ(pixels, loaded);
    Release(pTexture);

    // A failed save leaves the old file whole.
    const std::string sPath = m_Temp.Join("saved.img");
    D3DX11Control::FailNext("D3DX11SaveTextureToFileA");
    ID3D11Texture2D* pOther = nullptr;
    const D3D11_TEXTURE2D_DESC otherDesc = TextureDesc(1, 1, DXGI_FORMAT_R8G8B8A8_UNORM, 0);
    ASSERT_EQ(S_OK, m_pDevice->CreateTexture2D(&otherDesc, nullptr, &pOther));
    EXPECT_EQ(E_FAIL, D3DX11SaveTextureToFileA(m_pContext, pOther, D3DX11_IFF_PNG, sPath.c_str()));
    EXPECT_EQ(dds, ReadFile(sPath));
    Release(pOther);
}

TEST_F(D3DX11, DamagedFilesFailCleanly)
{
    DdsSpec spec;
    spec.mips = 3;
    const Bytes dds = MakeDds(spec, Ramp(84));
    const Bytes png = SaveTexture(4, 4, DXGI_FORMAT_R8G8B8A8_UNORM, Ramp(64), 16, D3DX11_IFF_PNG);

    // Every truncation of both files (a PNG whose pixels are whole may lack its 12-byte end chunk).
    const std::pair<const Bytes*, std::size_t> aFiles[] = {{&dds, dds.size()}, {&png, png.size() - 12}};
    for (const auto& [pFile, uiEnd] : aFiles)
    {
        for (std::size_t uiLength = 0; uiLength < uiEnd; ++uiLength)
        {
            const Bytes cut(pFile->begin(), pFile->begin() + uiLength);
            ID3D11Texture2D* pTexture = nullptr;
            EXPECT_TRUE(FAILED(LoadStaging(cut, D3DX11_DEFAULT, &pTexture))) << uiLength;
            Release(pTexture);
        }
    }
    // Headers that lie about sizes and counts.
    DdsSpec bad = spec;
    const auto expectFails = [&](const DdsSpec& s, const char* pWhat)
    {
        const Bytes file = MakeDds(s, Ramp(84));
        D3DX11_IMAGE_INFO info{};
        EXPECT_EQ(E_FAIL, D3DX11GetImageInfoFromMemory(file.data(), file.size(), nullptr, &info, nullptr))
            << pWhat;
    };
    bad.width = 0;
    expectFails(bad, "zero width");
    bad = spec;
    bad.width = bad.height = 1u << 20;
    expectFails(bad, "huge sides");
    bad = spec;
    bad.mips = 4;
    expectFails(bad, "more levels than the chain has");
    bad = spec;
    bad.masks[1] = 0x00ff00ff;
    expectFails(bad, "unknown masks");
    bad = spec;
    bad.dxgiFormat = DXGI_FORMAT_D32_FLOAT;
    expectFails(bad, "depth format");
    bad = spec;
    bad.dxgiFormat = DXGI_FORMAT_R8G8B8A8_UNORM;
    bad.dx10ArraySize = 0xffffffffu;
    expectFails(bad, "array size");

    // Garbage and nothing.
    const Bytes garbage = Ramp(300);
    ID3D11Texture2D* pTexture = nullptr;
    EXPECT_EQ(E_FAIL, LoadStaging(garbage, 1, &pTexture));
    D3DX11_IMAGE_INFO info{};
    EXPECT_EQ(E_INVALIDARG, D3DX11GetImageInfoFromMemory(nullptr, 0, nullptr, &info, nullptr));
    HRESULT hr = S_OK;
    D3DX11Control::FailNext("D3DX11CreateTextureFromMemory", E_OUTOFMEMORY);
    ID3D11Resource* pResource = nullptr;
    EXPECT_EQ(E_OUTOFMEMORY, D3DX11CreateTextureFromMemory(m_pDevice, dds.data(), dds.size(), nullptr,
                                                           nullptr, &pResource, &hr));
    EXPECT_EQ(E_OUTOFMEMORY, hr);
    EXPECT_EQ(nullptr, pResource);
}

TEST_F(D3DX11, BmpWhosePixelsStopEarlyIsRefusedBeforeDecoding)
{
    // 16 of the 16,384 pixel bytes of a 64 x 64 image, and 17 of the 1 GiB of a 16,384 x 16,384
    // one: nothing is decoded (the memory of the second would be 1 GiB, and as much again for the
    // texture).
    BmpSpec huge;
    huge.width = huge.height = 16384;
    for (const Bytes& file : {MakeBmp(BmpSpec(), Ramp(16)), MakeBmp(huge, Ramp(17))})
    {
        D3DX11_IMAGE_INFO info{};
        EXPECT_EQ(E_FAIL, D3DX11GetImageInfoFromMemory(file.data(), file.size(), nullptr, &info, nullptr));
        ID3D11Texture2D* pTexture = nullptr;
        EXPECT_EQ(E_FAIL, LoadStaging(file, 1, &pTexture)) << file.size();
        Release(pTexture);
    }
    EXPECT_EQ(71u, MakeBmp(huge, Ramp(17)).size());

    // The whole 64 x 64 file loads with its pixels (rows bottom-up, blue first); one byte fewer is
    // refused.
    const Bytes pixels = Ramp(64 * 64 * 4, 7);
    const Bytes whole = MakeBmp(BmpSpec(), pixels);
    ID3D11Texture2D* pTexture = nullptr;
    ASSERT_EQ(S_OK, LoadStaging(whole, 1, &pTexture));
    D3D11_MAPPED_SUBRESOURCE mapped{};
    ASSERT_EQ(S_OK, m_pContext->Map(pTexture, 0, D3D11_MAP_READ, 0, &mapped));
    int iDifferent = 0;
    for (UINT y = 0; y < 64; ++y)
    {
        const auto* pRow = static_cast<const std::uint8_t*>(mapped.pData) + y * mapped.RowPitch;
        for (UINT x = 0; x < 64; ++x)
        {
            const std::uint8_t* pFile = &pixels[((63 - y) * 64 + x) * 4];
            const std::uint8_t aExpected[4] = {pFile[2], pFile[1], pFile[0], pFile[3]};
            iDifferent += std::memcmp(pRow + x * 4, aExpected, 4) != 0 ? 1 : 0;
        }
    }
    EXPECT_EQ(0, iDifferent);
    m_pContext->Unmap(pTexture, 0);
    Release(pTexture);
    for (std::size_t uiLength : {whole.size() - 1, whole.size() - 4, whole.size() / 2, std::size_t{54}})
    {
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(uiLength));
        EXPECT_EQ(E_FAIL, LoadStaging(cut, 1, &pTexture)) << uiLength;
        Release(pTexture);
    }
}

TEST_F(D3DX11, BmpRowsAreCountedByTheHeadersBitDepthPaddedToFourBytes)
{
    struct Case
    {
        const char* pWhat;
        BmpSpec spec;
        std::size_t uiRowBytes; // padded
    };
    const Case aCases[] = {
        {"core header, 24 bits", {5, 3, 24, 0, 12, 0}, 16},
        {"24 bits", {5, 3, 24, 0, 40, 0}, 16},
        {"16 bits", {3, 3, 16, 0, 40, 0}, 8},
        {"16 bits in bit fields", {3, 3, 16, 3, 40, 0}, 8},
        {"8 bits", {5, 3, 8, 0, 40, 256}, 8},
        {"4 bits", {13, 3, 4, 0, 40, 16}, 8},
        {"1 bit", {13, 3, 1, 0, 40, 2}, 4},
        {"56-byte header, 32 bits", {3, 3, 32, 0, 56, 0}, 12},
        {"108-byte header, 32 bits in bit fields", {3, 3, 32, 3, 108, 0}, 12},
        {"124-byte header, 24 bits", {5, 3, 24, 0, 124, 0}, 16},
    };
    for (const Case& c : aCases)
    {
        const Bytes whole = MakeBmp(c.spec, Ramp(c.uiRowBytes * 3, 3));
        D3DX11_IMAGE_INFO info{};
        EXPECT_EQ(S_OK, D3DX11GetImageInfoFromMemory(whole.data(), whole.size(), nullptr, &info, nullptr))
            << c.pWhat;
        EXPECT_EQ(static_cast<UINT>(c.spec.width), info.Width) << c.pWhat;
        ID3D11Texture2D* pTexture = nullptr;
        EXPECT_EQ(S_OK, LoadStaging(whole, 1, &pTexture)) << c.pWhat;
        Release(pTexture);
        // Short by one byte, the last row's padding included.
        const Bytes cut(whole.begin(), whole.end() - 1);
        EXPECT_EQ(E_FAIL, D3DX11GetImageInfoFromMemory(cut.data(), cut.size(), nullptr, &info, nullptr))
            << c.pWhat;
        EXPECT_EQ(E_FAIL, LoadStaging(cut, 1, &pTexture)) << c.pWhat;
        Release(pTexture);
    }

    // Run-length rows whose runs overrun the rows are refused, as are bit depths other than 1, 4,
    // 8, 16, 24 and 32, and pixels said to start inside the headers.
    const Bytes rows = Ramp(4096);
    std::vector<std::pair<const char*, Bytes>> refused = {
        {"RLE8 overrunning its rows", MakeBmp({5, 3, 8, 1, 40, 256}, rows)},
        {"RLE4 overrunning its rows", MakeBmp({5, 3, 4, 2, 40, 16}, rows)},
        {"2 bits", MakeBmp({5, 3, 2, 0, 40, 4}, rows)},
        {"48 bits", MakeBmp({5, 3, 48, 3, 124, 0}, rows)},
        {"offset inside the header", MakeBmp({5, 3, 8, 0, 40, 256}, rows)},
    };
    refused.back().second[10] = 20; // 20 of the 1,078 header and palette bytes
    refused.back().second[11] = 0;
    for (const auto& [pWhat, file] : refused)
    {
        D3DX11_IMAGE_INFO info{};
        EXPECT_EQ(E_FAIL, D3DX11GetImageInfoFromMemory(file.data(), file.size(), nullptr, &info, nullptr))
            << pWhat;
        ID3D11Texture2D* pTexture = nullptr;
        EXPECT_EQ(E_FAIL, LoadStaging(file, 1, &pTexture)) << pWhat;
        Release(pTexture);
    }
}

TEST_F(D3DX11, PaletteBmpPixelsAreTheirPaletteEntries)
{
    // Each palette depth with the core header (three bytes an entry) and the info header (four):
    // every entry is used, the last ones too, in rows that need padding.
    for (std::uint32_t uiHeaderSize : {12u, 40u})
    {
        for (std::uint16_t uiBits : {1, 4, 8})
        {
            const std::uint32_t uiEntries = 1u << uiBits;
            const std::uint32_t uiWidth = 19;
            const std::uint32_t uiHeight = uiEntries / uiWidth + 2;
            const std::size_t uiRowBytes = (uiWidth * uiBits + 31) / 32 * 4;
            Bytes rows(uiRowBytes * uiHeight, 0);
            std::vector<std::uint32_t> indices; // in file order, the bottom row first
            for (std::uint32_t n = 0; n < uiWidth * uiHeight; ++n)
            {
                const std::uint32_t uiIndex = (n * 3 + 1) % uiEntries;
                const std::uint32_t uiBit = (n % uiWidth) * uiBits;
                rows[(n / uiWidth) * uiRowBytes + uiBit / 8] |=
                    static_cast<std::uint8_t>(uiIndex << (8 - uiBits - uiBit % 8));
                indices.push_back(uiIndex);
            }
            const BmpSpec spec{static_cast<std::int32_t>(uiWidth),
                               static_cast<std::int32_t>(uiHeight),
                               uiBits,
                               0,
                               uiHeaderSize,
                               uiEntries};
            const Bytes pixels = LoadPixels(MakeBmp(spec, rows));
            EXPECT_EQ(uiWidth * uiHeight * 4, pixels.size()) << uiHeaderSize << " " << uiBits;
            if (pixels.size() != uiWidth * uiHeight * 4)
                continue;
            int iDifferent = 0;
            for (std::uint32_t y = 0; y < uiHeight; ++y)
            {
                for (std::uint32_t x = 0; x < uiWidth; ++x)
                {
                    const std::array<std::uint8_t, 3> colour =
                        PaletteColour(indices[(uiHeight - 1 - y) * uiWidth + x]);
                    const std::uint8_t aExpected[4] = {colour[0], colour[1], colour[2], 255};
                    iDifferent += std::memcmp(&pixels[(y * uiWidth + x) * 4], aExpected, 4) != 0 ? 1 : 0;
                }
            }
            EXPECT_EQ(0, iDifferent) << uiHeaderSize << " " << uiBits;
        }
    }

    // A pixel naming an entry past the palette the file holds is black, with either header.
    for (std::uint32_t uiHeaderSize : {12u, 40u})
    {
        const Bytes pixels = LoadPixels(MakeBmp({4, 1, 8, 0, uiHeaderSize, 2}, {1, 2, 200, 255}));
        const Bytes expected = {1, 254, 128, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
        EXPECT_EQ(expected, pixels) << uiHeaderSize;
    }
}

TEST_F(D3DX11, TopDownBmpLoadsLikeItsBottomUpTwin)
{
    const BmpSpec aSpecs[] = {
        {13, 3, 1, 0, 40, 2},  {13, 3, 4, 0, 40, 16},  {5, 3, 8, 0, 40, 256}, {3, 3, 16, 0, 40, 0},
        {3, 3, 16, 3, 40, 0},  {5, 3, 24, 0, 40, 0},   {3, 3, 32, 0, 40, 0},  {3, 3, 32, 3, 108, 0},
        {5, 3, 24, 0, 124, 0}, {5, 3, 8, 0, 124, 256},
    };
    for (const BmpSpec& spec : aSpecs)
    {
        const std::size_t uiRowBytes = (static_cast<std::size_t>(spec.width) * spec.bitCount + 31) / 32 * 4;
        const Bytes rows = Ramp(uiRowBytes * 3, spec.bitCount);
        Bytes reversed;
        for (std::size_t uiRow = 3; uiRow-- > 0;)
            reversed.insert(reversed.end(), rows.begin() + static_cast<std::ptrdiff_t>(uiRow * uiRowBytes),
                            rows.begin() + static_cast<std::ptrdiff_t>((uiRow + 1) * uiRowBytes));
        BmpSpec topDown = spec;
        topDown.height = -3;
        const Bytes file = MakeBmp(topDown, reversed);
        D3DX11_IMAGE_INFO info{};
        EXPECT_EQ(S_OK, D3DX11GetImageInfoFromMemory(file.data(), file.size(), nullptr, &info, nullptr))
            << spec.bitCount << " " << spec.headerSize;
        EXPECT_EQ(3u, info.Height);
        const Bytes pixels = LoadPixels(file);
        EXPECT_EQ(static_cast<std::size_t>(spec.width) * 3 * 4, pixels.size())
            << spec.bitCount << " " << spec.headerSize;
        EXPECT_EQ(LoadPixels(MakeBmp(spec, rows)), pixels) << spec.bitCount << " " << spec.headerSize;

        const Bytes cut(file.begin(), file.end() - 1);
        EXPECT_EQ(E_FAIL, D3DX11GetImageInfoFromMemory(cut.data(), cut.size(), nullptr, &info, nullptr));
        EXPECT_TRUE(LoadPixels(cut).empty()) << spec.bitCount << " " << spec.headerSize;
    }

    // A height of -2^31 has no size as a count of rows.
    BmpSpec lowest = {1, INT32_MIN, 8, 0, 40, 256};
    const Bytes file = MakeBmp(lowest, Ramp(4096));
    D3DX11_IMAGE_INFO info{};
    EXPECT_EQ(E_FAIL, D3DX11GetImageInfoFromMemory(file.data(), file.size(), nullptr, &info, nullptr));
    EXPECT_TRUE(LoadPixels(file).empty());
}

TEST_F(D3DX11, GifCutShortInItsImageIsRefused)
{
    Bytes indices(7 * 5);
    for (std::size_t i = 0; i < indices.size(); ++i)
        indices[i] = static_cast<std::uint8_t>((i * 7 / 3) % 4);
    const Bytes gif = MakeGif(7, 5, indices);
    ID3D11Texture2D* pTexture = nullptr;
    ASSERT_EQ(S_OK, LoadStaging(gif, 1, &pTexture));
    D3D11_MAPPED_SUBRESOURCE mapped{};
    ASSERT_EQ(S_OK, m_pContext->Map(pTexture, 0, D3D11_MAP_READ, 0, &mapped));
    const std::uint8_t aaColours[4][4] = {
        {0, 0, 0, 255}, {255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}};
    for (UINT i = 0; i < 7 * 5; ++i)
        EXPECT_EQ(0, std::memcmp(static_cast<const std::uint8_t*>(mapped.pData) + (i / 7) * mapped.RowPitch +
                                     (i % 7) * 4,
                                 aaColours[indices[i]], 4))
            << i;
    m_pContext->Unmap(pTexture, 0);
    Release(pTexture);

    // The decoder takes the end of the file for the end of the image and leaves the rest black:
    // every cut before the image's last data block ends is refused. Without only its trailer the
    // image is whole.
    for (std::size_t uiLength = 0; uiLength + 1 < gif.size(); ++uiLength)
    {
        const Bytes cut(gif.begin(), gif.begin() + static_cast<std::ptrdiff_t>(uiLength));
        EXPECT_TRUE(FAILED(LoadStaging(cut, 1, &pTexture))) << uiLength;
        Release(pTexture);
    }
    const Bytes noTrailer(gif.begin(), gif.end() - 1);
    EXPECT_EQ(S_OK, LoadStaging(noTrailer, 1, &pTexture));
    Release(pTexture);
}

TEST_F(D3DX11, GifWhoseScreenFarOutgrowsItsFileIsRefused)
{
    // The decoder fills the whole screen a GIF's header names, whatever its first image covers. A
    // screen of up to 4,096 pixels a byte of the file loads; one more row, or a 16,384 x 16,384
    // screen around the same few pixels, is refused.
    const Bytes gif = MakeGif(7, 5, Bytes(35, 1));
    const auto withScreen = [&](std::size_t uiWidth, std::size_t uiHeight)
    {
        Bytes out = gif;
        out[6] = static_cast<std::uint8_t>(uiWidth);
        out[7] = static_cast<std::uint8_t>(uiWidth >> 8);
        out[8] = static_cast<std::uint8_t>(uiHeight);
        out[9] = static_cast<std::uint8_t>(uiHeight >> 8);
        return out;
    };
    const Bytes atLimit = withScreen(4096, gif.size());
    ID3D11Texture2D* pTexture = nullptr;
    EXPECT_EQ(S_OK, LoadStaging(atLimit, 1, &pTexture));
    Release(pTexture);
    for (const Bytes& file : {withScreen(4096, gif.size() + 1), withScreen(16384, 16384)})
    {
        D3DX11_IMAGE_INFO info{};
        EXPECT_EQ(E_FAIL, D3DX11GetImageInfoFromMemory(file.data(), file.size(), nullptr, &info, nullptr))
            << info.Width << " x " << info.Height;
    }
    EXPECT_EQ(E_FAIL, LoadStaging(withScreen(4096, gif.size() + 1), 1, &pTexture));
    Release(pTexture);
}

TEST_F(D3DX11, BmpFilesLoadWithTheReferenceDecodersPixelsAndCutShortAreRefusedOrWhole)
{
    // RLE8 as ImageMagick writes it (40- and 124-byte headers), RLE8 and RLE4 with absolute runs,
    // deltas and an end of bitmap before the last row (the pixels they skip are palette entry 0,
    // as the reference decoder gives them), 24 bits after a colour table, rows after a gap, and
    // the 64-byte OS/2 2.x header (with four-byte palette entries, and with three as some writers
    // put them).
    const char* const apNames[] = {"rle8_magick", "rle8_magick_v5", "rle8_delta_eob",
                                   "rle4",        "rle4_early_end", "rgb24_colour_table",
                                   "gap_pal4",    "gap_rgb24",      "gap_rle8",
                                   "os2v2_rle8",  "os2v2_rgb24",    "os2v2_pal4_three_byte_entries"};
    for (const char* pName : apNames)
    {
        const Bytes file = ReadFixture(std::string(pName) + ".bmp");
        const Bytes expected = ReadFixture(std::string(pName) + ".rgba");
        ASSERT_FALSE(file.empty()) << pName;
        ASSERT_FALSE(expected.empty()) << pName;
        const Bytes pixels = LoadPixels(file);
        EXPECT_EQ(expected.size(), pixels.size()) << pName;
        if (pixels.size() != expected.size())
            continue;
        std::size_t uiDifferent = 0;
        std::size_t uiFirst = 0;
        for (std::size_t i = pixels.size(); i >= 4; i -= 4)
        {
            if (std::memcmp(&pixels[i - 4], &expected[i - 4], 4) != 0)
            {
                ++uiDifferent;
                uiFirst = i / 4 - 1;
            }
        }
        EXPECT_EQ(0u, uiDifferent) << pName << ", the first at pixel " << uiFirst;

        // Cut short anywhere: refused by both calls, or loaded whole (only an end of bitmap after
        // the last row's end of line, and the padding after it, may be missing).
        int iLoaded = 0;
        for (std::size_t uiLength = 0; uiLength < file.size(); ++uiLength)
        {
            const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(uiLength));
            const Bytes cutPixels = LoadPixels(cut);
            D3DX11_IMAGE_INFO info{};
            const HRESULT hrInfo =
                D3DX11GetImageInfoFromMemory(cut.data(), cut.size(), nullptr, &info, nullptr);
            EXPECT_EQ(cutPixels.empty(), FAILED(hrInfo)) << pName << " " << uiLength;
            if (!cutPixels.empty())
            {
                ++iLoaded;
                EXPECT_EQ(pixels, cutPixels) << pName << " " << uiLength;
            }
        }
        EXPECT_LE(iLoaded, 2) << pName;
    }
}

TEST_F(D3DX11, GeneratedRunLengthBmpsLoadWithTheReferenceDecodersPixelsOrAreRefusedWhenSpoilt)
{
    // Random RLE8 and RLE4 images (a fixed seed): runs, absolute runs, deltas, ends of line and of
    // bitmap, all inside the image; a quarter spoilt (cut short, a run past the padded row, a
    // delta past the image). Each record: 1 for a sound file, the BMP and the reference decoder's
    // pixels (none for a spoilt one), each led by its length.
    const Bytes pack = ReadFixture("rle_generated.pack");
    ASSERT_FALSE(pack.empty());
    int iSound = 0;
    int iSpoilt = 0;
    for (std::size_t uiAt = 0; uiAt < pack.size();)
    {
        const auto take = [&]()
        {
            const std::size_t uiLength = GetU32(pack, uiAt);
            const auto begin = pack.begin() + static_cast<std::ptrdiff_t>(uiAt + 4);
            uiAt += 4 + uiLength;
            return Bytes(begin, begin + static_cast<std::ptrdiff_t>(uiLength));
        };
        const bool bSound = pack[uiAt++] == 1;
        const Bytes file = take();
        const Bytes expected = take();
        ASSERT_LE(uiAt, pack.size());
        D3DX11_IMAGE_INFO info{};
        const HRESULT hrInfo =
            D3DX11GetImageInfoFromMemory(file.data(), file.size(), nullptr, &info, nullptr);
        const Bytes pixels = LoadPixels(file);
        EXPECT_EQ(bSound ? S_OK : E_FAIL, hrInfo) << "record " << iSound + iSpoilt;
        EXPECT_EQ(expected, pixels) << "record " << iSound + iSpoilt;
        (bSound ? iSound : iSpoilt) += 1;
    }
    EXPECT_EQ(18, iSound);
    EXPECT_EQ(6, iSpoilt);
}

TEST_F(D3DX11, RunLengthBmpPastItsBoundsEndingEarlyOrTopDownIsRefused)
{
    // 4 x 2 images of 16 palette entries; the bottom row first.
    const BmpSpec rle8 = {4, 2, 8, 1, 40, 16};
    const BmpSpec rle4 = {4, 2, 4, 2, 40, 16};
    const Bytes rows = EncodedRun(4, 1) + END_OF_LINE + EncodedRun(4, 2) + END_OF_BITMAP;
    struct Case
    {
        const char* pWhat;
        BmpSpec spec;
        Bytes rows;
        Bytes indices; // of the same image uncompressed
    };
    const Bytes twoRows = {1, 1, 1, 1, 2, 2, 2, 2};
    const Case aLoaded[] = {
        {"RLE8", rle8, rows, twoRows},
        {"RLE4", rle4, EncodedRun(4, 0x11) + END_OF_LINE + EncodedRun(4, 0x22) + END_OF_BITMAP, twoRows},
        {"RLE8 absolute", rle8,
         Absolute8({1, 1, 1, 1}) + END_OF_LINE + Absolute8({2, 2, 2}) + EncodedRun(1, 2) + END_OF_BITMAP,
         twoRows},
        {"RLE4 absolute", rle4,
         Absolute4({1, 1, 1}) + EncodedRun(1, 0x11) + END_OF_LINE + Absolute4({2, 2, 2, 2}) + END_OF_BITMAP,
         twoRows},
        {"RLE4 runs of two entries",
         rle4,
         EncodedRun(3, 0x12) + EncodedRun(1, 0x30) + END_OF_LINE + EncodedRun(4, 0x45) + END_OF_LINE,
         {1, 2, 1, 3, 4, 5, 4, 5}},
        {"the last row ended by an end of line", rle8,
         EncodedRun(4, 1) + END_OF_LINE + EncodedRun(4, 2) + END_OF_LINE, twoRows},
        {"deltas in a row, to its end and up",
         rle8,
         EncodedRun(1, 1) + Delta(2, 0) + EncodedRun(1, 1) + Delta(0, 1) + END_OF_LINE,
         {1, 0, 0, 1, 0, 0, 0, 0}},
        {"a delta up from the start of a row",
         rle8,
         Delta(1, 1) + EncodedRun(3, 2) + END_OF_BITMAP,
         {0, 0, 0, 0, 0, 2, 2, 2}},
        {"an end of bitmap at once", rle8, END_OF_BITMAP, Bytes(8, 0)},
        {"RLE4 runs and deltas into the row's padding", rle4,
         EncodedRun(8, 0x11) + END_OF_LINE + EncodedRun(4, 0x22) + Delta(4, 0) + END_OF_BITMAP, twoRows},
    };
    for (const Case& c : aLoaded)
    {
        const Bytes expected = LoadPixels(MakeBmp({4, 2, 8, 0, 40, 16}, c.indices));
        ASSERT_EQ(32u, expected.size());
        EXPECT_EQ(expected, LoadPixels(MakeBmp(c.spec, c.rows))) << c.pWhat;
    }

    // ImageMagick's encoder writes the padding byte of an RLE8 row as a pixel; it is dropped.
    EXPECT_EQ(LoadPixels(MakeBmp({3, 2, 8, 0, 40, 16}, {1, 1, 1, 0, 2, 2, 2, 0})),
              LoadPixels(MakeBmp({3, 2, 8, 1, 40, 16},
                                 EncodedRun(4, 1) + END_OF_LINE + Absolute8({2, 2, 2, 7}) + END_OF_BITMAP)));

    // An image of up to 1,024 pixels a byte of the file loads, whatever its runs leave unwritten;
    // one more row is refused (the 120-byte file of an end of bitmap alone could otherwise ask for
    // 16,384 x 16,384 pixels).
    const Bytes blank = MakeBmp({480, 256, 8, 1, 40, 16}, END_OF_BITMAP);
    ASSERT_EQ(120u, blank.size());
    EXPECT_EQ(LoadPixels(MakeBmp({480, 256, 8, 0, 40, 16}, Bytes(480 * 256, 0))), LoadPixels(blank));
    EXPECT_TRUE(LoadPixels(MakeBmp({480, 257, 8, 1, 40, 16}, END_OF_BITMAP)).empty());

    BmpSpec topDown = rle8;
    topDown.height = -2;
    BmpSpec rle8In4Bits = rle8;
    rle8In4Bits.bitCount = 4;
    BmpSpec rle4In8Bits = rle4;
    rle4In8Bits.bitCount = 8;
    struct Refusal
    {
        const char* pWhat;
        BmpSpec spec;
        Bytes rows;
    };
    const Refusal aRefused[] = {
        {"top-down", topDown, rows},
        {"RLE8 of 4 bits", rle8In4Bits, rows},
        {"RLE4 of 8 bits", rle4In8Bits, rows},
        {"RLE8 run past the row's end", rle8,
         EncodedRun(5, 1) + END_OF_LINE + EncodedRun(4, 2) + END_OF_BITMAP},
        {"RLE8 run after a full row", rle8,
         EncodedRun(4, 1) + EncodedRun(1, 1) + END_OF_LINE + EncodedRun(4, 2) + END_OF_BITMAP},
        {"RLE8 absolute run past the row's end", rle8, Absolute8({1, 1, 1, 1, 1}) + END_OF_LINE + rows},
        {"RLE4 run past the row's padding", rle4,
         EncodedRun(9, 0x11) + END_OF_LINE + EncodedRun(4, 0x22) + END_OF_BITMAP},
        {"RLE4 absolute run past the row's padding", rle4,
         Absolute4({1, 1, 1, 1, 1, 1, 1, 1, 1}) + END_OF_LINE + rows},
        {"delta past the right edge", rle8, EncodedRun(2, 1) + Delta(3, 0) + END_OF_BITMAP},
        {"delta past the last row", rle8, Delta(0, 2) + END_OF_BITMAP},
        {"delta up from the last row", rle8, EncodedRun(4, 1) + END_OF_LINE + Delta(0, 1) + END_OF_BITMAP},
        {"no rows", rle8, {}},
        {"the data ends in the last row", rle8, EncodedRun(4, 1) + END_OF_LINE + EncodedRun(4, 2)},
        {"the data ends before the last row", rle8, EncodedRun(4, 1) + END_OF_LINE},
        {"the data ends in a run", rle8, EncodedRun(4, 1) + END_OF_LINE + Bytes{4}},
        {"the data ends in an escape", rle8, EncodedRun(4, 1) + END_OF_LINE + Bytes{0}},
        {"the data ends in a delta", rle8, EncodedRun(4, 1) + END_OF_LINE + Bytes{0, 2, 1}},
        {"the data ends in an absolute run", rle8, EncodedRun(4, 1) + END_OF_LINE + Bytes{0, 4, 2, 2, 2}},
        {"the data ends in an absolute run's padding", rle8,
         EncodedRun(4, 1) + END_OF_LINE + Bytes{0, 3, 2, 2, 2}},
    };
    for (const Refusal& c : aRefused)
    {
        const Bytes file = MakeBmp(c.spec, c.rows);
        D3DX11_IMAGE_INFO info{};
        EXPECT_EQ(E_FAIL, D3DX11GetImageInfoFromMemory(file.data(), file.size(), nullptr, &info, nullptr))
            << c.pWhat;
        EXPECT_TRUE(LoadPixels(file).empty()) << c.pWhat;
    }
}

TEST_F(D3DX11, BmpRowsAfterAColourTableOrAGapOrAnOs2HeaderLoadLikeTheirTwin)
{
    const BmpSpec aSpecs[] = {
        {5, 3, 16, 0, 40, 0},  {5, 3, 16, 3, 40, 0},  {5, 3, 24, 0, 40, 0},  {3, 3, 32, 0, 40, 0},
        {3, 3, 32, 3, 40, 0},  {3, 3, 32, 3, 124, 0}, {5, 3, 24, 0, 124, 0}, {5, 3, 24, 0, 12, 0},
        {13, 3, 4, 0, 40, 16}, {5, 3, 8, 0, 40, 256}, {13, 3, 1, 0, 40, 2},  {5, 3, 8, 0, 12, 256},
    };
    Bytes table = Ramp(16 * 4, 5);
    for (std::size_t i = 3; i < table.size(); i += 4)
        table[i] = 0;
    const Bytes gap(1100, 0x5a); // past the decoder's own limit of 1,024 bytes
    for (const BmpSpec& spec : aSpecs)
    {
        const std::size_t uiRowBytes = (static_cast<std::size_t>(spec.width) * spec.bitCount + 31) / 32 * 4;
        const Bytes twin = MakeBmp(spec, Ramp(uiRowBytes * 3, 11));
        const Bytes pixels = LoadPixels(twin);
        ASSERT_EQ(static_cast<std::size_t>(spec.width) * 3 * 4, pixels.size()) << spec.bitCount;
        std::vector<std::pair<const char*, Bytes>> variants = {{"gap", WithBytesInserted(twin, gap)}};
        if (spec.bitCount > 8 && spec.headerSize != 12)
        {
            Bytes withTable = WithBytesInserted(twin, table);
            SetU32(&withTable, 46, 16);
            variants.emplace_back("colour table", withTable);
        }
        if (spec.headerSize == 40 && spec.compression == 0)
            variants.emplace_back("OS/2 2.x header", WithOs2Header(twin));
        for (const auto& [pWhat, file] : variants)
        {
            EXPECT_EQ(pixels, LoadPixels(file)) << pWhat << ", " << spec.bitCount << " bits, header "
                                                << spec.headerSize << ", compression " << spec.compression;
        }
    }

    // The OS/2 2.x header's compressions 3 and 4 are Huffman and RLE24 (not bit fields and JPEG),
    // which are not read.
    for (std::uint32_t uiCompression : {3u, 4u})
    {
        Bytes file = WithOs2Header(MakeBmp({5, 3, 24, 0, 40, 0}, Ramp(16 * 3)));
        SetU32(&file, 30, uiCompression);
        EXPECT_TRUE(LoadPixels(file).empty()) << uiCompression;
    }
    // A palette is as long as the header says: a pixel naming an entry past it is black, not the
    // bytes of a gap after it.
    const Bytes pixels = LoadPixels(WithBytesInserted(MakeBmp({4, 1, 8, 0, 40, 2}, {1, 0, 2, 5}), gap));
    const Bytes expected = {1, 254, 128, 255, 0, 255, 31, 255, 0, 0, 0, 255, 0, 0, 0, 255};
    EXPECT_EQ(expected, pixels);
}
