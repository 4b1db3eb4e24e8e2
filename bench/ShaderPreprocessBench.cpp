// Preprocessing shader text through the compiler stand-in: a text of numbers against one of
// identifiers (each token of the same size, no macros), one of numbers of longer forms (exponents
// with signs, suffixes, letters), and a text that pastes one identifier to
// itself level by level until the expansion limit stops it. Numbers once cost twenty times an
// identifier each; the pasting text once ran for seconds before any limit saw it. The check of
// directive lines lexes every text before preprocessing does: alone, on the text of identifiers
// and on one of definitions and their uses, against preprocessing the same. A megabyte of lines
// joined by splices (backslash and LF, backslash and CR LF, ??/ and LF): the lexer once moved the
// rest of the text for each splice it took out. A long directive line of each kind, well-formed and
// with each malformation the library reports, at 64 KiB and at the source limit: the library once
// quoted a malformed line a token at a time, copying what it had so far with each token.

#include "platform/d3dcompiler/D3DCompilerPreprocessor.h"
#include "tests/platform/d3dcompiler/D3DCompileLongDirectiveLines.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

namespace
{

constexpr int TOKENS = 16000;

std::string Repeat(const std::string& sText, int iCount)
{
    std::string s;
    for (int i = 0; i < iCount; ++i)
        s += sText;
    return s;
}

void Preprocess(benchmark::State& state, const std::string& sText, bool bSucceeds)
{
    for (auto _ : state)
    {
        d3dcompiler_internal::PreprocessedSource out;
        std::string sErrors;
        if (d3dcompiler_internal::Preprocess(sText.data(), sText.size(), "bench.hlsl", nullptr, nullptr, &out,
                                             &sErrors) != bSucceeds)
        {
            state.SkipWithError(sErrors.c_str());
            break;
        }
        benchmark::DoNotOptimize(out.Tokens.data());
    }
    state.SetItemsProcessed(state.iterations() * TOKENS);
}

void BM_PreprocessNumbers(benchmark::State& state)
{
    Preprocess(state, "float g_aValues[] = { " + Repeat("1, ", TOKENS / 2) + "};\n", true);
}
BENCHMARK(BM_PreprocessNumbers)->Unit(benchmark::kMillisecond);

// Numbers of the forms C reads whole where a literal is only their start, or that the lexer reads on
// after their p: 0x1p-3, 2.0h, 1.5e+3f, 1_000.
void BM_PreprocessNumberForms(benchmark::State& state)
{
    Preprocess(state,
               "float g_aValues[] = { " + Repeat("0x1p-3, 2.0h, 1.5e+3f, 1_000, ", TOKENS / 8) + "};\n",
               true);
}
BENCHMARK(BM_PreprocessNumberForms)->Unit(benchmark::kMillisecond);

void BM_PreprocessIdentifiers(benchmark::State& state)
{
    Preprocess(state, "float g_aValues[] = { " + Repeat("a, ", TOKENS / 2) + "};\n", true);
}
BENCHMARK(BM_PreprocessIdentifiers)->Unit(benchmark::kMillisecond);

void BM_PreprocessRunawayPasting(benchmark::State& state)
{
    std::string sText =
        "#define CAT(a,b) a##b\n#define X(a,b) CAT(a,b)\n#define A0 " + std::string(4096, 'a') + "\n";
    for (int i = 1; i <= 13; ++i)
        sText += "#define A" + std::to_string(i) + " X(A" + std::to_string(i - 1) + ",A" +
                 std::to_string(i - 1) + ")\n";
    Preprocess(state, sText + "int A13;\n", false);
}
BENCHMARK(BM_PreprocessRunawayPasting)->Unit(benchmark::kMillisecond);

// 1,000 definitions and a use of each.
std::string Definitions()
{
    std::string s;
    for (int i = 0; i < 1000; ++i)
        s += "#define A" + std::to_string(i) + " (" + std::to_string(i) + " + 1)\n";
    s += "float g_fSum = 0";
    for (int i = 0; i < 1000; ++i)
        s += " + A" + std::to_string(i);
    return s + ";\n";
}

void CheckDirectiveLines(benchmark::State& state, const std::string& sText)
{
    for (auto _ : state)
    {
        std::size_t uiDirectiveCost = 0;
        std::string sErrors;
        if (!d3dcompiler_internal::CheckDirectiveLines(sText.data(), sText.size(), "bench.hlsl",
                                                       &uiDirectiveCost, &sErrors))
        {
            state.SkipWithError(sErrors.c_str());
            break;
        }
        benchmark::DoNotOptimize(uiDirectiveCost);
    }
}

void BM_CheckDirectiveLinesIdentifiers(benchmark::State& state)
{
    CheckDirectiveLines(state, "float g_aValues[] = { " + Repeat("a, ", TOKENS / 2) + "};\n");
}
BENCHMARK(BM_CheckDirectiveLinesIdentifiers)->Unit(benchmark::kMillisecond);

void BM_PreprocessDefinitions(benchmark::State& state)
{
    Preprocess(state, Definitions(), true);
}
BENCHMARK(BM_PreprocessDefinitions)->Unit(benchmark::kMillisecond);

void BM_CheckDirectiveLinesDefinitions(benchmark::State& state)
{
    CheckDirectiveLines(state, Definitions());
}
BENCHMARK(BM_CheckDirectiveLinesDefinitions)->Unit(benchmark::kMillisecond);

// Lines of "float a" ending in the splice given, to a megabyte.
void BM_PreprocessSplices(benchmark::State& state)
{
    static const char* const splices[] = {"\\\n", "\\\r\n", "?\?/\n"};
    const std::string sLine = std::string("float a ") + splices[state.range(0)];
    const std::string sText = Repeat(sLine, static_cast<int>((1u << 20) / sLine.size())) + "\n";
    Preprocess(state, sText, true);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(sText.size()));
}
BENCHMARK(BM_PreprocessSplices)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// The line of D3DCompileLongDirectiveLines.h numbered by the first argument, in a text of the
// bytes the second gives; the label names it.
void BM_PreprocessLongDirectiveLine(benchmark::State& state)
{
    const d3dcompile_test::LongDirectiveLine& line =
        d3dcompile_test::LongDirectiveLines()[static_cast<std::size_t>(state.range(0))];
    const std::string sText =
        d3dcompile_test::LongDirectiveText(line, static_cast<std::size_t>(state.range(1)));
    for (auto _ : state)
    {
        d3dcompiler_internal::PreprocessedSource out;
        std::string sErrors;
        benchmark::DoNotOptimize(d3dcompiler_internal::Preprocess(sText.data(), sText.size(), "bench.hlsl",
                                                                  nullptr, nullptr, &out, &sErrors));
    }
    state.SetLabel(line.pName);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(sText.size()));
}
BENCHMARK(BM_PreprocessLongDirectiveLine)
    ->Apply(
        [](benchmark::internal::Benchmark* pBenchmark)
        {
            for (std::size_t i = 0; i < d3dcompile_test::LongDirectiveLines().size(); ++i)
                for (const std::int64_t iBytes : {std::int64_t(1) << 16, std::int64_t(1) << 20})
                    pBenchmark->Args({static_cast<std::int64_t>(i), iBytes});
        })
    ->Unit(benchmark::kMillisecond);

} // namespace
