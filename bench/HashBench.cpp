// FNV-1a hashing of file contents: HashFNV1a64 over 1 MiB beside a plain byte-at-a-time loop,
// the limit for this serial hash. Reports bytes per second.

#include "framework/core/KU_HashUtilities.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace
{

constexpr std::size_t DATA_BYTES = 1024 * 1024;

std::vector<std::uint8_t> MakeData()
{
    std::vector<std::uint8_t> data(DATA_BYTES);
    std::uint32_t uiState = 1;
    for (std::uint8_t& byte : data)
    {
        uiState = uiState * 214013u + 2531011u;
        byte = static_cast<std::uint8_t>(uiState >> 16);
    }
    return data;
}

void BM_HashFNV1a64(benchmark::State& state)
{
    const std::vector<std::uint8_t> data = MakeData();
    for (auto _ : state)
        benchmark::DoNotOptimize(KU_HashUtilities::HashFNV1a64(data.data(), data.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_HashFNV1a64);

void BM_HashFNV1a32(benchmark::State& state)
{
    const std::vector<std::uint8_t> data = MakeData();
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(
            KU_HashUtilities::HashFNV1a32(data.data(), static_cast<std::uint32_t>(data.size())));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_HashFNV1a32);

// Reference: the same loop written inline, so the compiler sees everything.
void BM_ByteLoopReference(benchmark::State& state)
{
    const std::vector<std::uint8_t> data = MakeData();
    for (auto _ : state)
    {
        std::uint64_t uiHash = KU_HashUtilities::FNV_PRIME_64;
        for (const std::uint8_t byte : data)
            uiHash = (uiHash ^ byte) * KU_HashUtilities::FNV_PRIME_64;
        benchmark::DoNotOptimize(uiHash);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_ByteLoopReference);

} // namespace
