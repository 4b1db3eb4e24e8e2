// Get-or-create of the resource manager's caches against std::unordered_map behind a std::mutex
// doing the same work (hash the description, compare the whole key, return the stored object).
// Every lookup hits: this is the per-frame cost of materials and renderers asking for their
// states and programs. Sixteen distinct keys are cycled so the buckets are not all one.

#include "framework/app/KE_ApplicationManager.h"
#include "platform/d3d11/d3d11.h"
#include "render/device/KR_GraphicsDevice.h"
#include "render/device/KR_GraphicsResourceManagerDX11.h"
#include "render/device/KR_KeyHashing.h"
#include "render/device/KR_ShaderCache.h"
#include "render/device/KR_ShaderProgram.h"
#include "render/device/KR_ShaderProperties.h"
#include "tests/support/FakeGraphicsDevice.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace
{

constexpr int KEYS = 16;

using BenchGraphicsDevice = FakeGraphicsDevice;

// Programs without stages: the cache's cost is what is measured, not loading.
class EmptyShaderCache : public KR_ShaderCache
{
public:
    KR_ShaderProgram* LoadShaderProgram(const KR_ShaderProperties*) override
    {
        return new KR_ShaderProgram();
    }
};

// An engine with a stand-in device and a resource manager; torn down in reverse.
struct Engine
{
    Engine()
    {
        D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION,
                          &pDevice, nullptr, nullptr);
        graphicsDevice = std::make_unique<BenchGraphicsDevice>(pDevice);
        pEngine = new KE_ApplicationManager(nullptr, KE_ApplicationManager::MemberOwnership::Lent);
        pEngine->SetGraphicsDevice(graphicsDevice.get());
        pEngine->SetShaderCache(&cache);
        pManager = std::make_unique<KR_GraphicsResourceManagerDX11>();
    }
    ~Engine()
    {
        pManager.reset();
        delete pEngine;
        if (pDevice != nullptr)
            pDevice->Release();
    }

    ID3D11Device* pDevice = nullptr;
    std::unique_ptr<BenchGraphicsDevice> graphicsDevice;
    EmptyShaderCache cache;
    KE_ApplicationManager* pEngine = nullptr;
    std::unique_ptr<KR_GraphicsResourceManagerDX11> pManager;
};

std::vector<D3D11_RASTERIZER_DESC> RasterizerDescs()
{
    std::vector<D3D11_RASTERIZER_DESC> descs;
    for (int i = 0; i < KEYS; ++i)
        descs.push_back({D3D11_FILL_SOLID, i % 2 == 0 ? D3D11_CULL_BACK : D3D11_CULL_NONE, FALSE, i, 0.0f,
                         static_cast<float>(i), TRUE, FALSE, FALSE, FALSE});
    return descs;
}

std::vector<std::unique_ptr<KR_ShaderProperties>> Properties()
{
    static const char* const NAMES[KEYS] = {"A0", "A1", "A2", "A3", "A4", "A5", "A6", "A7",
                                            "A8", "A9", "B0", "B1", "B2", "B3", "B4", "B5"};
    std::vector<std::unique_ptr<KR_ShaderProperties>> properties;
    for (const char* pName : NAMES)
    {
        auto pProperties = std::make_unique<KR_ShaderProperties>();
        pProperties->SetShaderStage(KR_SHADER_STAGE_VERTEX, "Assets/Shader/KR_VertexShader.hlsl", "MainVS");
        pProperties->SetShaderStage(KR_SHADER_STAGE_PIXEL, "Assets/Shader/KR_PixelShader.hlsl", "MainPS");
        pProperties->AddMacro("VS_IN_NORMAL", nullptr);
        pProperties->AddMacro("VS_IN_UV0", nullptr);
        pProperties->AddMacro(pName, "1");
        properties.push_back(std::move(pProperties));
    }
    return properties;
}

struct RasterizerHash
{
    std::size_t operator()(const D3D11_RASTERIZER_DESC& desc) const
    {
        return KR_KeyHashing::HashRasterizerDesc(desc);
    }
};

struct RasterizerEqual
{
    bool operator()(const D3D11_RASTERIZER_DESC& a, const D3D11_RASTERIZER_DESC& b) const
    {
        return KR_KeyHashing::Equal(a, b);
    }
};

void BM_ManagerRasterizerState(benchmark::State& state)
{
    Engine engine;
    const std::vector<D3D11_RASTERIZER_DESC> descs = RasterizerDescs();
    for (const D3D11_RASTERIZER_DESC& desc : descs)
        engine.pManager->GetRasterizerState(&desc);
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(engine.pManager->GetRasterizerState(&descs[i++ % KEYS]));
}
BENCHMARK(BM_ManagerRasterizerState);

void BM_PeerRasterizerState(benchmark::State& state)
{
    Engine engine;
    const std::vector<D3D11_RASTERIZER_DESC> descs = RasterizerDescs();
    std::mutex mutex;
    std::unordered_map<D3D11_RASTERIZER_DESC, ID3D11RasterizerState*, RasterizerHash, RasterizerEqual> map;
    auto get = [&](const D3D11_RASTERIZER_DESC& desc)
    {
        std::lock_guard<std::mutex> lock(mutex);
        auto found = map.find(desc);
        if (found != map.end())
            return found->second;
        ID3D11RasterizerState* pState = nullptr;
        engine.pDevice->CreateRasterizerState(&desc, &pState);
        map.emplace(desc, pState);
        return pState;
    };
    for (const D3D11_RASTERIZER_DESC& desc : descs)
        get(desc);
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(get(descs[i++ % KEYS]));
    for (auto& entry : map)
        entry.second->Release();
}
BENCHMARK(BM_PeerRasterizerState);

void BM_ManagerShaderProgram(benchmark::State& state)
{
    Engine engine;
    const std::vector<std::unique_ptr<KR_ShaderProperties>> properties = Properties();
    for (const auto& pProperties : properties)
        engine.pManager->GetShaderProgram(pProperties.get());
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(engine.pManager->GetShaderProgram(properties[i++ % KEYS].get()));
}
BENCHMARK(BM_ManagerShaderProgram);

void BM_PeerShaderProgram(benchmark::State& state)
{
    const std::vector<std::unique_ptr<KR_ShaderProperties>> properties = Properties();
    EmptyShaderCache cache;
    std::mutex mutex;
    std::unordered_map<std::uint64_t, std::unique_ptr<KR_ShaderProgram>> map;
    auto get = [&](const KR_ShaderProperties* pProperties)
    {
        const std::uint64_t uiHash = pProperties->GetHash();
        std::lock_guard<std::mutex> lock(mutex);
        auto found = map.find(uiHash);
        if (found != map.end())
            return found->second.get();
        KR_ShaderProgram* pProgram = cache.LoadShaderProgram(pProperties);
        map.emplace(uiHash, std::unique_ptr<KR_ShaderProgram>(pProgram));
        return pProgram;
    };
    for (const auto& pProperties : properties)
        get(pProperties.get());
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(get(properties[i++ % KEYS].get()));
}
BENCHMARK(BM_PeerShaderProgram);

} // namespace
