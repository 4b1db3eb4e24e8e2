// The per-frame beat-trigger analysis of one sound: the combined pass over n bands and the channel
// pass over 2n values, at the program's 256 bands.
#include "audio/KA_AudioResourceFmod.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace
{

void TriggerAnalysis(benchmark::State& state)
{
    const std::uint32_t bands = static_cast<std::uint32_t>(state.range(0));
    alignas(64) static float channelSpectrum[2 * 8192];
    alignas(64) static float spectrum[8192];
    alignas(64) static float channelLast[2 * 8192];
    alignas(64) static float last[8192];
    alignas(64) static std::uint32_t channelFlags[2 * 8192];
    alignas(64) static std::uint32_t flags[8192];
    for (std::uint32_t i = 0; i < 2 * bands; ++i)
        channelSpectrum[i] = static_cast<float>(i % 17) / 16.0f;
    float time = 0.0f;
    for (auto _ : state)
    {
        time += 1.0f / 60.0f;
        KA_AudioResourceFmod::ApplyTriggerRule(channelSpectrum, channelSpectrum + bands, spectrum, last,
                                               flags, bands, time, 0.8f, 0.1f);
        KA_AudioResourceFmod::ApplyTriggerRule(channelSpectrum, nullptr, nullptr, channelLast, channelFlags,
                                               2 * bands, time, 0.8f, 0.1f);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 3 * bands);
}

} // namespace

BENCHMARK(TriggerAnalysis)->Arg(256)->Arg(8192);
