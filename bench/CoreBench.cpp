// Core containers against their standard counterparts: string append, path split and
// case-insensitive compare, growing-array growth, string search and byte-cursor throughput.

#include "framework/core/KB_ByteCursor.h"
#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"
#include "framework/core/KU_FileUtilities.h"

#include <benchmark/benchmark.h>

#include <string>
#include <string_view>
#include <strings.h>
#include <utility>
#include <vector>

namespace
{

void BM_KB_StringAppend(benchmark::State& state)
{
    const auto pieces = static_cast<int>(state.range(0));
    for (auto _ : state)
    {
        KB_String s;
        for (int i = 0; i < pieces; ++i)
            s += "piece/";
        benchmark::DoNotOptimize(s.GetBuffer());
    }
    state.SetItemsProcessed(state.iterations() * pieces);
}
BENCHMARK(BM_KB_StringAppend)->Arg(8)->Arg(64)->Arg(512);

void BM_StdStringAppend(benchmark::State& state)
{
    const auto pieces = static_cast<int>(state.range(0));
    for (auto _ : state)
    {
        std::string s;
        for (int i = 0; i < pieces; ++i)
            s += "piece/";
        benchmark::DoNotOptimize(s.data());
    }
    state.SetItemsProcessed(state.iterations() * pieces);
}
BENCHMARK(BM_StdStringAppend)->Arg(8)->Arg(64)->Arg(512);

// A path as the loaders split it: a handful of short components and a file name.
constexpr const char* SPLIT_PATH = "Assets/Entities/Scene3/Lights/Spot/Omni_Key.omn";

void BM_KU_SplitPath(benchmark::State& state)
{
    const KB_String path(SPLIT_PATH);
    for (auto _ : state)
    {
        KB_GrowingArray<KB_String> components = KU_FileUtilities::SplitPath(path);
        benchmark::DoNotOptimize(&components[0]);
    }
}
BENCHMARK(BM_KU_SplitPath);

template <class Component>
std::vector<Component> SplitStd(std::string_view path)
{
    std::vector<Component> components;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= path.size(); ++i)
    {
        if (i < path.size() && path[i] != '/' && path[i] != '\\')
            continue;
        if (i > start)
            components.emplace_back(path.substr(start, i - start));
        start = i + 1;
    }
    return components;
}

void BM_StdStringSplitPath(benchmark::State& state)
{
    const std::string path(SPLIT_PATH);
    for (auto _ : state)
    {
        std::vector<std::string> components = SplitStd<std::string>(path);
        benchmark::DoNotOptimize(components.data());
    }
}
BENCHMARK(BM_StdStringSplitPath);

void BM_StringViewSplitPath(benchmark::State& state)
{
    const std::string path(SPLIT_PATH);
    for (auto _ : state)
    {
        std::vector<std::string_view> components = SplitStd<std::string_view>(path);
        benchmark::DoNotOptimize(components.data());
    }
}
BENCHMARK(BM_StringViewSplitPath);

// Archive names compared ignoring case: equal up to the last byte.
constexpr const char* COMPARE_LEFT = "Assets/Textures/Environment/SkyDome_Night.dds";
constexpr const char* COMPARE_RIGHT = "assets/textures/environment/skydome_night.DDT";

void BM_KB_StringCompareNoCase(benchmark::State& state)
{
    const KB_String left(COMPARE_LEFT);
    const KB_String right(COMPARE_RIGHT);
    for (auto _ : state)
        benchmark::DoNotOptimize(left.CompareNoCase(right));
}
BENCHMARK(BM_KB_StringCompareNoCase);

void BM_Strcasecmp(benchmark::State& state)
{
    const std::string left(COMPARE_LEFT);
    const std::string right(COMPARE_RIGHT);
    for (auto _ : state)
        benchmark::DoNotOptimize(strcasecmp(left.c_str(), right.c_str()));
}
BENCHMARK(BM_Strcasecmp);

// Moving a string into a slot against copying it.
void BM_KB_StringMoveAround(benchmark::State& state)
{
    KB_String a("Assets/Entities/Lights/Omni.omn");
    KB_String b;
    for (auto _ : state)
    {
        b = std::move(a);
        a = std::move(b);
        benchmark::DoNotOptimize(a.GetBuffer());
    }
}
BENCHMARK(BM_KB_StringMoveAround);

void BM_StdStringMoveAround(benchmark::State& state)
{
    std::string a("Assets/Entities/Lights/Omni.omn");
    std::string b;
    for (auto _ : state)
    {
        b = std::move(a);
        a = std::move(b);
        benchmark::DoNotOptimize(a.data());
    }
}
BENCHMARK(BM_StdStringMoveAround);

void BM_KB_StringFind(benchmark::State& state)
{
    KB_String path;
    for (int i = 0; i < 32; ++i)
        path += "Assets/Models/";
    path += "Dev_UnloadedModel.dae";
    const KB_String what("Dev_");
    for (auto _ : state)
        benchmark::DoNotOptimize(path.Find(what));
}
BENCHMARK(BM_KB_StringFind);

void BM_KB_GrowingArrayAddU32(benchmark::State& state)
{
    const auto count = static_cast<std::uint32_t>(state.range(0));
    for (auto _ : state)
    {
        KB_GrowingArray<std::uint32_t> array;
        for (std::uint32_t i = 0; i < count; ++i)
            array.Add(i);
        benchmark::DoNotOptimize(&array[0]);
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_KB_GrowingArrayAddU32)->Arg(16)->Arg(1024)->Arg(65536);

void BM_StdVectorPushBackU32(benchmark::State& state)
{
    const auto count = static_cast<std::uint32_t>(state.range(0));
    for (auto _ : state)
    {
        std::vector<std::uint32_t> array;
        for (std::uint32_t i = 0; i < count; ++i)
            array.push_back(i);
        benchmark::DoNotOptimize(array.data());
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_StdVectorPushBackU32)->Arg(16)->Arg(1024)->Arg(65536);

void BM_KB_GrowingArrayAddString(benchmark::State& state)
{
    const auto count = static_cast<std::uint32_t>(state.range(0));
    const KB_String name("Assets/Entities/Lights/Omni.omn");
    for (auto _ : state)
    {
        KB_GrowingArray<KB_String> array;
        for (std::uint32_t i = 0; i < count; ++i)
            array.Add(name);
        benchmark::DoNotOptimize(&array[0]);
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_KB_GrowingArrayAddString)->Arg(16)->Arg(256);

void BM_StdVectorPushBackString(benchmark::State& state)
{
    const auto count = static_cast<std::uint32_t>(state.range(0));
    const std::string name("Assets/Entities/Lights/Omni.omn");
    for (auto _ : state)
    {
        std::vector<std::string> array;
        for (std::uint32_t i = 0; i < count; ++i)
            array.push_back(name);
        benchmark::DoNotOptimize(array.data());
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_StdVectorPushBackString)->Arg(16)->Arg(256);

void BM_KB_ByteCursorRoundTrip(benchmark::State& state)
{
    constexpr std::uint32_t KEYS = 1024;
    std::vector<std::uint8_t> buffer(KEYS * 20);
    for (auto _ : state)
    {
        KB_ByteWriter writer(buffer.data(), buffer.size());
        for (std::uint32_t i = 0; i < KEYS; ++i)
        {
            writer.WriteF64(i * 0.5);
            writer.WriteF32(1.0f);
            writer.WriteF32(2.0f);
            writer.WriteF32(3.0f);
        }
        KB_ByteReader reader(buffer.data(), writer.GetWritten());
        double t = 0;
        float f = 0;
        for (std::uint32_t i = 0; i < KEYS; ++i)
        {
            reader.ReadF64(&t);
            reader.ReadF32(&f);
            reader.ReadF32(&f);
            reader.ReadF32(&f);
        }
        benchmark::DoNotOptimize(t + f);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(buffer.size()) * 2);
}
BENCHMARK(BM_KB_ByteCursorRoundTrip);

} // namespace
