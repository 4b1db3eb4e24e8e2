// KV27_AssetGenerator: the colour cubes, the dirty lens and the static cube maps, through the
// D3DX11 stand-in's writers.

#include "production/KV27_AssetGenerator.h"

#include "framework/core/KU_FileUtilities.h"
#include "production/KV27_AssetGeneratorInternal.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

using namespace DirectX;

namespace KV27_AssetGeneratorInternal
{

namespace
{

std::uint8_t ToByte(double f)
{
    return static_cast<std::uint8_t>(std::lround(std::clamp(f, 0.0, 1.0) * 255.0));
}

// The colour grades: 0 leaves colours unchanged (the identity cube), the others tint the scenes.
XMFLOAT3 Grade(std::uint32_t uiGrade, double r, double g, double b)
{
    const double l = 0.2126 * r + 0.7152 * g + 0.0722 * b;
    auto contrast = [](double v, double k) { return 0.5 + (v - 0.5) * k; };
    double o[3] = {r, g, b};
    switch (uiGrade)
    {
    case 1: // cool night
        o[0] = r * 0.85 + 0.02, o[1] = g * 0.95 + 0.03, o[2] = b * 1.05 + 0.06;
        break;
    case 2: // warm dusk
        o[0] = r * 1.08 + 0.04, o[1] = g * 0.98 + 0.02, o[2] = b * 0.82;
        break;
    case 3: // bleached, hard contrast
        o[0] = contrast(0.6 * r + 0.4 * l, 1.25), o[1] = contrast(0.6 * g + 0.4 * l, 1.25),
        o[2] = contrast(0.6 * b + 0.4 * l, 1.25);
        break;
    case 4: // teal shadows, amber highlights
        o[0] = r + (l - 0.5) * 0.12, o[1] = g + 0.02, o[2] = b - (l - 0.5) * 0.12;
        break;
    case 5: // faded, lifted blacks for the close
        o[0] = 0.08 + 0.9 * r, o[1] = 0.06 + 0.88 * g, o[2] = 0.1 + 0.86 * b;
        break;
    default:
        break;
    }
    return XMFLOAT3(static_cast<float>(o[0]), static_cast<float>(o[1]), static_cast<float>(o[2]));
}

} // namespace

bool Generator::SaveTexture(const std::string& sPath, std::uint32_t uiWidth, std::uint32_t uiHeight,
                            std::uint32_t uiSlices, bool bCube, const std::vector<std::uint8_t>& pixels,
                            D3DX11_IMAGE_FILE_FORMAT eFormat)
{
    D3D11_TEXTURE2D_DESC desc = {};
    desc.Width = uiWidth;
    desc.Height = uiHeight;
    desc.MipLevels = 1;
    desc.ArraySize = uiSlices;
    desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    desc.MiscFlags = bCube ? D3D11_RESOURCE_MISC_TEXTURECUBE : 0;
    std::vector<D3D11_SUBRESOURCE_DATA> data(uiSlices);
    for (std::uint32_t i = 0; i < uiSlices; ++i)
    {
        data[i].pSysMem = pixels.data() + static_cast<std::size_t>(i) * uiWidth * uiHeight * 4;
        data[i].SysMemPitch = uiWidth * 4;
        data[i].SysMemSlicePitch = uiWidth * uiHeight * 4;
    }
    ID3D11Texture2D* pTexture = nullptr;
    if (FAILED(m_pDevice->CreateTexture2D(&desc, data.data(), &pTexture)))
        return Fail("cannot make the texture for " + sPath);
    // Folders are made below the asset folder only: once it is removed, nothing makes it again.
    const std::filesystem::path file = m_oFolder / sPath;
    KU_FileUtilities::CreateDirectoriesBelow(
        KB_String(m_oFolder.string().c_str()),
        KB_String(std::filesystem::path(sPath).parent_path().string().c_str()));
    const HRESULT hr = D3DX11SaveTextureToFileA(m_pContext, pTexture, eFormat, file.string().c_str());
    pTexture->Release();
    if (FAILED(hr))
        return Fail("cannot save " + sPath);
    return true;
}

bool Generator::WriteImages()
{
    if (FAILED(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION,
                                 &m_pDevice, nullptr, &m_pContext)))
        return Fail("cannot make a graphics device for the images");
    const bool bOk = WriteColorCubes() && WriteDirtyLens() && WriteCubeMaps();
    m_pContext->ClearState();
    m_pContext->Release();
    m_pDevice->Release();
    m_pContext = nullptr;
    m_pDevice = nullptr;
    return bOk;
}

bool Generator::WriteColorCubes()
{
    // 32 tiles of 32 x 32 across, tile z holding blue z, x red and y green.
    const std::uint32_t uiSide = 32;
    for (std::uint32_t uiScene = 0; uiScene < KV27_AssetGenerator::NUM_SCENES; ++uiScene)
    {
        const bool bLast = uiScene + 1 == KV27_AssetGenerator::NUM_SCENES;
        for (std::uint32_t uiCube = 0; uiCube < (bLast ? 1u : 2u); ++uiCube)
        {
            const std::uint32_t uiGrade = bLast ? 5 : (uiCube == 0 ? 0 : uiScene + 1);
            std::vector<std::uint8_t> pixels(uiSide * uiSide * uiSide * 4);
            for (std::uint32_t y = 0; y < uiSide; ++y)
                for (std::uint32_t x = 0; x < uiSide * uiSide; ++x)
                {
                    const XMFLOAT3 c = Grade(uiGrade, (x % uiSide) / 31.0, y / 31.0, (x / uiSide) / 31.0);
                    std::uint8_t* p = &pixels[(y * uiSide * uiSide + x) * 4];
                    p[0] = ToByte(c.x), p[1] = ToByte(c.y), p[2] = ToByte(c.z), p[3] = 255;
                }
            const std::string sPath =
                "Textures/ColorGrading/ColorCube_" + SceneName(uiScene) + (uiCube == 1 ? "_2" : "") + ".png";
            if (!SaveTexture(sPath, uiSide * uiSide, uiSide, 1, false, pixels, D3DX11_IFF_PNG))
                return false;
        }
    }
    return true;
}

bool Generator::WriteDirtyLens()
{
    // Soft specks and smudges on black.
    const std::uint32_t n = 256;
    std::vector<double> light(n * n, 0.0);
    Random random{27};
    for (int i = 0; i < 60; ++i)
    {
        const double cx = random.Next() * n, cy = random.Next() * n;
        const double fRadius = 3.0 + random.Next() * 22.0, fStrength = 0.08 + random.Next() * 0.35;
        for (std::uint32_t y = 0; y < n; ++y)
            for (std::uint32_t x = 0; x < n; ++x)
            {
                const double dx = x - cx, dy = y - cy;
                const double f = 1.0 - std::sqrt(dx * dx + dy * dy) / fRadius;
                if (f > 0.0)
                    light[y * n + x] += fStrength * f * f;
            }
    }
    std::vector<std::uint8_t> pixels(n * n * 4);
    for (std::uint32_t i = 0; i < n * n; ++i)
    {
        pixels[i * 4 + 0] = ToByte(light[i]);
        pixels[i * 4 + 1] = ToByte(light[i] * 0.95);
        pixels[i * 4 + 2] = ToByte(light[i] * 0.85);
        pixels[i * 4 + 3] = 255;
    }
    return SaveTexture("Textures/FX/FX_DirtyLens_1.dds", n, n, 1, false, pixels, D3DX11_IFF_DDS);
}

bool Generator::WriteCubeMaps()
{
    for (std::uint32_t uiScene = 0; uiScene < KV27_AssetGenerator::NUM_SCENES; ++uiScene)
    {
        // The static placers' environments: ground, horizon glow and sky of the scene's colours.
        const SceneSpec& spec = GetSceneSpec(uiScene);
        const std::uint32_t n = 32;
        std::vector<std::uint8_t> pixels(n * n * 6 * 4);
        for (std::uint32_t face = 0; face < 6; ++face)
            for (std::uint32_t y = 0; y < n; ++y)
                for (std::uint32_t x = 0; x < n; ++x)
                {
                    const double u = (x + 0.5) / n * 2.0 - 1.0, v = (y + 0.5) / n * 2.0 - 1.0;
                    const double dirs[6][3] = {{1, -v, -u}, {-1, -v, u}, {u, 1, v},
                                               {u, -1, -v}, {u, -v, 1},  {-u, -v, -1}};
                    const double* dir = dirs[face];
                    const double h = dir[1] / std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
                    const XMFLOAT3& sky = spec.vSkyColor;
                    const XMFLOAT3& key = spec.vKeyColor;
                    const double glow = std::exp(-std::fabs(h) * 6.0);
                    const double r = h > 0 ? sky.x * h + key.x * glow : 0.08 + key.x * glow * 0.6;
                    const double g = h > 0 ? sky.y * h + key.y * glow : 0.07 + key.y * glow * 0.6;
                    const double b = h > 0 ? sky.z * h + key.z * glow : 0.06 + key.z * glow * 0.6;
                    std::uint8_t* p = &pixels[((face * n + y) * n + x) * 4];
                    p[0] = ToByte(r), p[1] = ToByte(g), p[2] = ToByte(b), p[3] = 255;
                }
        if (!SaveTexture(CubeMapPath(uiScene), n, n, 6, true, pixels, D3DX11_IFF_DDS))
            return false;
    }
    return true;
}

} // namespace KV27_AssetGeneratorInternal
