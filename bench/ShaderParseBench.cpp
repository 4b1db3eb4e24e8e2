// Parsing preprocessed shader text in the compiler stand-in, against the text's size: declarations
// whose template argument list never closes ("a<;", "a<b;", and such struct members) at 40 KB and
// ten times that, an effect of 60,000 function declarations of one name with 9,000 pass calls,
// and an entry of many parameters compiled by many passes.
// Each declaration once read its list to the end of the text (1.3 s at 40 KB, a hundred times that
// at 400 KB), and each pass call looked its entry up among every function. Only the parse is timed:
// the text is preprocessed once, before the loop.

#include "platform/d3d11/D3D11ShaderBytecode.h"
#include "platform/d3dcompiler/D3DCompilerParser.h"
#include "platform/d3dcompiler/D3DCompilerPreprocessor.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

namespace
{

std::string Repeat(const std::string& sText, std::int64_t iCount)
{
    std::string s;
    for (std::int64_t i = 0; i < iCount; ++i)
        s += sText;
    return s;
}

void Parse(benchmark::State& state, const std::string& sText, const char* pTarget, const char* pEntry,
           bool bSucceeds)
{
    d3dcompiler_internal::PreprocessedSource source;
    std::string sErrors;
    if (!d3dcompiler_internal::Preprocess(sText.data(), sText.size(), "bench.fx", nullptr, nullptr, &source,
                                          &sErrors))
    {
        state.SkipWithError(sErrors.c_str());
        return;
    }
    for (auto _ : state)
    {
        d3d11_internal::ShaderBytecode bytecode;
        bytecode.Target = pTarget;
        bytecode.Entry = pEntry;
        sErrors.clear();
        if (d3dcompiler_internal::AnalyzeSource(source.Tokens, "bench.fx", &bytecode, &sErrors) != bSucceeds)
        {
            state.SkipWithError(sErrors.empty() ? "compiled" : sErrors.c_str());
            break;
        }
        benchmark::DoNotOptimize(bytecode.Techniques.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(sText.size()));
    state.counters["KB"] = static_cast<double>(sText.size()) / 1000.0;
}

// "a<;" is 4 bytes with its line break: 10,000 make 40 KB.
void BM_ParseUnclosedAngles(benchmark::State& state)
{
    Parse(state, Repeat("a<;\n", state.range(0)), "ps_5_0", "PSMain", false);
}
BENCHMARK(BM_ParseUnclosedAngles)->Arg(10000)->Arg(50000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ParseUnclosedAngleArguments(benchmark::State& state)
{
    Parse(state, Repeat("a<b;\n", state.range(0)), "ps_5_0", "PSMain", false);
}
BENCHMARK(BM_ParseUnclosedAngleArguments)->Arg(8000)->Arg(80000)->Unit(benchmark::kMillisecond);

void BM_ParseUnclosedAngleMembers(benchmark::State& state)
{
    Parse(state, "struct S {\n" + Repeat("a<b;\n", state.range(0)) + "};\n", "ps_5_0", "PSMain", false);
}
BENCHMARK(BM_ParseUnclosedAngleMembers)->Arg(8000)->Arg(80000)->Unit(benchmark::kMillisecond);

void BM_ParseManyFunctionsAndPasses(benchmark::State& state)
{
    const std::string sText = Repeat("void f();", 60000) +
                              "\nfloat4 f(float4 p : P) : SV_Position { return p; }\ntechnique11 T {\n" +
                              Repeat("pass{SetVertexShader(CompileShader(vs_5_0,f()));}\n", 9000) + "}\n";
    Parse(state, sText, "fx_5_0", "", true);
}
BENCHMARK(BM_ParseManyFunctionsAndPasses)->Unit(benchmark::kMillisecond);

// One entry of range(0) parameters of a struct without semantics, compiled by range(1) passes:
// each pass walked every parameter again, 290 ms at 10,000 by 1,100 and 29 s at 100,000 by 11,000
// (30 s in kvfxc). The entry is read once for each stage: 6 ms and 64 ms.
void BM_ParsePassesOfOneLongEntry(benchmark::State& state)
{
    std::string sParameters = "S a";
    for (std::int64_t i = 1; i < state.range(0); ++i)
        sParameters += ",S a";
    const std::string sText =
        "struct S{float a;};float4 f(" + sParameters + "):SV_Position{return 0;}\ntechnique11 T{\n" +
        Repeat("pass{SetVertexShader(CompileShader(vs_5_0,f()));}\n", state.range(1)) + "}\n";
    Parse(state, sText, "fx_5_0", "", true);
}
BENCHMARK(BM_ParsePassesOfOneLongEntry)
    ->Args({10000, 1100})
    ->Args({100000, 11000})
    ->Unit(benchmark::kMillisecond);

} // namespace
