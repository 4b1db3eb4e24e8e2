// Loading the generated model of about 100k triangles (bench/BenchModels.h) from its model cache,
// against importing it from its COLLADA document and against a plain read of the cache file plus
// a copy of its bytes, in one run. The material library is loaded and the programs are cached
// (the first load makes them), so each load pays only what it does itself. The cache is written
// once, by the loader's writer, with the production's flags (tangents and boxes).

#include "bench/BenchModels.h"
#include "render/models/KR_ColladaImporter.h"
#include "render/models/KR_ModelCacheReader.h"
#include "render/models/KR_ModelLoader.h"
#include "render/models/KR_ModelResource.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace
{

using benchmodels::ModelFixture;

const char* const SOURCE = "grid.dae";
const char* const CACHE = "grid.dae.bin";

struct CacheFixture
{
    CacheFixture()
    {
        std::unique_ptr<KR_ModelResource> pModel(KR_ColladaImporter::Import(SOURCE, 1, 1, 0));
        bReady = models.bLibraryLoaded && pModel != nullptr &&
                 KR_ModelLoader::WriteModelCache(pModel.get(), SOURCE);
        std::uint64_t uiSize = 0;
        std::uint8_t* pData = nullptr;
        if (bReady && models.files.ReadFile(CACHE, &uiSize, &pData))
        {
            uiCacheBytes = uiSize;
            models.files.RemoveReference(CACHE);
        }
    }

    ModelFixture models;
    bool bReady = false;
    std::uint64_t uiCacheBytes = 0;
};

CacheFixture& GetFixture()
{
    static CacheFixture fixture;
    return fixture;
}

void BM_ModelFromCache(benchmark::State& state)
{
    CacheFixture& fixture = GetFixture();
    if (!fixture.bReady)
    {
        state.SkipWithError("the cache could not be written");
        return;
    }
    for (auto _ : state)
    {
        std::unique_ptr<KR_ModelResource> pModel(KR_ModelCacheReader::LoadSerializedModel(CACHE));
        if (pModel == nullptr)
        {
            state.SkipWithError("the cache did not read");
            break;
        }
        benchmark::DoNotOptimize(pModel.get());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fixture.uiCacheBytes));
}
BENCHMARK(BM_ModelFromCache)->Unit(benchmark::kMillisecond);

void BM_ModelFromCollada(benchmark::State& state)
{
    CacheFixture& fixture = GetFixture();
    if (!fixture.bReady)
    {
        state.SkipWithError("the cache could not be written");
        return;
    }
    for (auto _ : state)
    {
        std::unique_ptr<KR_ModelResource> pModel(KR_ColladaImporter::Import(SOURCE, 1, 1, 0));
        if (pModel == nullptr)
        {
            state.SkipWithError("the import failed");
            break;
        }
        benchmark::DoNotOptimize(pModel.get());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fixture.models.uiBytes));
}
BENCHMARK(BM_ModelFromCollada)->Unit(benchmark::kMillisecond);

// The floor: the cache file read through the same file manager and its bytes copied once.
void BM_CacheReadAndCopy(benchmark::State& state)
{
    CacheFixture& fixture = GetFixture();
    if (!fixture.bReady)
    {
        state.SkipWithError("the cache could not be written");
        return;
    }
    for (auto _ : state)
    {
        std::uint64_t uiSize = 0;
        std::uint8_t* pData = nullptr;
        if (!fixture.models.files.ReadFile(CACHE, &uiSize, &pData))
        {
            state.SkipWithError("the cache file did not read");
            break;
        }
        std::unique_ptr<std::uint8_t[]> pCopy(new std::uint8_t[uiSize]);
        std::memcpy(pCopy.get(), pData, uiSize);
        fixture.models.files.RemoveReference(CACHE);
        benchmark::DoNotOptimize(pCopy.get());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fixture.uiCacheBytes));
}
BENCHMARK(BM_CacheReadAndCopy)->Unit(benchmark::kMillisecond);

} // namespace
