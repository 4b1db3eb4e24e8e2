// Texture loading through the D3DX11 stand-in against its peers on the same files, in one run:
// a 2048x2048 PNG with one level against stb_image alone, with a full mip chain against
// stb_image plus stb_image_resize, and a DDS with a full mip chain against a plain copy of its
// payload. Targets: the stand-in's overhead under 10% for PNG, within 1.5x for DDS. Each
// iteration makes and releases the texture, as a loader does.

#include "platform/d3d11/d3d11.h"
#include "platform/d3dx11/d3dx11.h"

#include <benchmark/benchmark.h>
#include <stb_image.h>
#include <stb_image_resize.h>
#include <stb_image_write.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace
{

constexpr int SIDE = 2048;

struct Fixture
{
    ID3D11Device* pDevice = nullptr;
    ID3D11DeviceContext* pContext = nullptr;
    std::vector<std::uint8_t> png;
    std::vector<std::uint8_t> dds;
    std::size_t uiDdsPayload = 0;

    Fixture()
    {
        D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION,
                          &pDevice, nullptr, &pContext);
        // Smooth gradients with some noise: compresses as photographs and painted textures do.
        std::vector<std::uint8_t> pixels(std::size_t{SIDE} * SIDE * 4);
        std::mt19937 random(7);
        for (int y = 0; y < SIDE; ++y)
        {
            for (int x = 0; x < SIDE; ++x)
            {
                std::uint8_t* p = &pixels[(std::size_t{static_cast<unsigned>(y)} * SIDE + x) * 4];
                p[0] = static_cast<std::uint8_t>(x / 8 + random() % 8);
                p[1] = static_cast<std::uint8_t>(y / 8 + random() % 8);
                p[2] = static_cast<std::uint8_t>((x + y) / 16);
                p[3] = 255;
            }
        }
        stbi_write_png_to_func(
            [](void* pContext, void* pData, int iSize)
            {
                auto* pOut = static_cast<std::vector<std::uint8_t>*>(pContext);
                pOut->insert(pOut->end(), static_cast<std::uint8_t*>(pData),
                             static_cast<std::uint8_t*>(pData) + iSize);
            },
            &png, SIDE, SIDE, 4, pixels.data(), SIDE * 4);

        // The same pixels as a DDS with every level, through the stand-in's own writer.
        D3DX11_IMAGE_LOAD_INFO load;
        ID3D11Resource* pTexture = nullptr;
        D3DX11CreateTextureFromMemory(pDevice, png.data(), png.size(), &load, nullptr, &pTexture, nullptr);
        const char* pPath = "/tmp/kv_d3dx11_bench.dds";
        D3DX11SaveTextureToFileA(pContext, pTexture, D3DX11_IFF_DDS, pPath);
        pTexture->Release();
        std::FILE* pFile = std::fopen(pPath, "rb");
        std::uint8_t aBuffer[1 << 16];
        for (std::size_t n; (n = std::fread(aBuffer, 1, sizeof(aBuffer), pFile)) > 0;)
            dds.insert(dds.end(), aBuffer, aBuffer + n);
        std::fclose(pFile);
        std::remove(pPath);
        uiDdsPayload = dds.size() - 128;
    }
    ~Fixture()
    {
        pContext->Release();
        pDevice->Release();
    }
};

Fixture& Get()
{
    static Fixture s_fixture;
    return s_fixture;
}

void LoadThroughStandIn(benchmark::State& state, UINT uiMipLevels, const std::vector<std::uint8_t>& file)
{
    Fixture& fixture = Get();
    for (auto _ : state)
    {
        D3DX11_IMAGE_LOAD_INFO load;
        load.MipLevels = uiMipLevels;
        ID3D11Resource* pTexture = nullptr;
        if (FAILED(D3DX11CreateTextureFromMemory(fixture.pDevice, file.data(), file.size(), &load, nullptr,
                                                 &pTexture, nullptr)))
        {
            state.SkipWithError("load failed");
            break;
        }
        pTexture->Release();
    }
}

void BM_StandIn_Png_OneLevel(benchmark::State& state)
{
    LoadThroughStandIn(state, 1, Get().png);
}

void BM_Peer_StbImage_Png(benchmark::State& state)
{
    const std::vector<std::uint8_t>& png = Get().png;
    for (auto _ : state)
    {
        int w = 0, h = 0, c = 0;
        stbi_uc* pPixels = stbi_load_from_memory(png.data(), static_cast<int>(png.size()), &w, &h, &c, 4);
        benchmark::DoNotOptimize(pPixels);
        stbi_image_free(pPixels);
    }
}

void BM_StandIn_Png_FullChain(benchmark::State& state)
{
    LoadThroughStandIn(state, D3DX11_DEFAULT, Get().png);
}

void BM_Peer_StbImageAndResize_Png_FullChain(benchmark::State& state)
{
    const std::vector<std::uint8_t>& png = Get().png;
    for (auto _ : state)
    {
        int w = 0, h = 0, c = 0;
        stbi_uc* pPixels = stbi_load_from_memory(png.data(), static_cast<int>(png.size()), &w, &h, &c, 4);
        std::vector<std::vector<std::uint8_t>> levels;
        const std::uint8_t* pAbove = pPixels;
        for (int iSide = w; iSide > 1;)
        {
            const int iNext = std::max(1, iSide / 2);
            levels.emplace_back(std::size_t{static_cast<unsigned>(iNext)} * iNext * 4);
            stbir_resize_uint8_generic(pAbove, iSide, iSide, iSide * 4, levels.back().data(), iNext, iNext,
                                       iNext * 4, 4, STBIR_ALPHA_CHANNEL_NONE, 0, STBIR_EDGE_CLAMP,
                                       STBIR_FILTER_BOX, STBIR_COLORSPACE_LINEAR, nullptr);
            pAbove = levels.back().data();
            iSide = iNext;
        }
        benchmark::DoNotOptimize(levels.data());
        stbi_image_free(pPixels);
    }
}

void BM_StandIn_Dds_FullChain(benchmark::State& state)
{
    LoadThroughStandIn(state, D3DX11_FROM_FILE, Get().dds);
}

void BM_Peer_Memcpy_DdsPayload(benchmark::State& state)
{
    const std::vector<std::uint8_t>& dds = Get().dds;
    for (auto _ : state)
    {
        std::vector<std::uint8_t> copy(Get().uiDdsPayload);
        std::memcpy(copy.data(), dds.data() + 128, copy.size());
        benchmark::DoNotOptimize(copy.data());
    }
}

} // namespace

BENCHMARK(BM_StandIn_Png_OneLevel)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Peer_StbImage_Png)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StandIn_Png_FullChain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Peer_StbImageAndResize_Png_FullChain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StandIn_Dds_FullChain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Peer_Memcpy_DdsPayload)->Unit(benchmark::kMillisecond);
