// Preprocessing shader text through the compiler stand-in: a text of numbers against one of
// identifiers (each token of the same size, no macros), one of numbers of longer forms (exponents
// with signs, suffixes, letters), and a text that pastes one identifier to
// itself level by level until the expansion limit stops it. Numbers once cost twenty times an
// identifier each; the pasting text once ran for seconds before any limit saw it. The check of
// directive lines lexes every text before preprocessing does: alone, on the text of identifiers
// and on one of definitions and their uses, against preprocessing the same. A megabyte of lines
// joined by splices (backslash and LF, backslash and CR LF, ??/ and LF): the lexer once moved the
// rest of the text for each splice it took out. The constructs that each preprocessing's cost budget
// charges, a few thousand of each, timed per construct ("per_item"): _Pragma operators, pastes,
// directive-line tokens, tokens macro expansion makes, includes opened and bytes of included text
// read, and a guarded header included again and again. A line of comments in a group skipped after
// an include: the library once looked for a directive at every comment, over the rest of the line.
// A long directive line of each kind, well-formed and with each malformation the library reports,
// at 64 KiB and at the source limit: the library once quoted a malformed line a token at a time,
// copying what it had so far with each token. Texts whose cost once grew with the square of their
// length, at 64 KiB and at the source limit (a linear cost takes 16 times as long at the limit):
// many parameters with # operands or with operators in the replacement list, an argument copied
// for each use of its parameter, __VA_ARGS__ copied with its commas, comments spanning lines after
// a token or in a replacement list.

#include "platform/d3dcompiler/D3DCompilerPreprocessor.h"
#include "tests/platform/d3dcompiler/D3DCompileLongDirectiveLines.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
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

// Includes from a map, as the engine hands them: every name as written.
class MapInclude : public ID3DInclude
{
public:
    std::map<std::string, std::string> m_mapFiles;

    HRESULT Open(D3D_INCLUDE_TYPE, LPCSTR pFileName, LPCVOID, LPCVOID* ppData, UINT* pBytes) override
    {
        auto it = m_mapFiles.find(pFileName);
        if (it == m_mapFiles.end())
            return E_FAIL;
        *ppData = it->second.data();
        *pBytes = static_cast<UINT>(it->second.size());
        return S_OK;
    }
    HRESULT Close(LPCVOID) override { return S_OK; }
};

void Preprocess(benchmark::State& state, const std::string& sText, bool bSucceeds,
                MapInclude* pInclude = nullptr)
{
    for (auto _ : state)
    {
        d3dcompiler_internal::PreprocessedSource out;
        std::string sErrors;
        if (d3dcompiler_internal::Preprocess(sText.data(), sText.size(), "bench.hlsl", nullptr, pInclude,
                                             &out, &sErrors) != bSucceeds)
        {
            state.SkipWithError(sErrors.c_str());
            break;
        }
        benchmark::DoNotOptimize(out.Tokens.data());
    }
    state.SetItemsProcessed(state.iterations() * TOKENS);
}

// Preprocessing a text that holds iItems of one construct: the time of each.
void PreprocessItems(benchmark::State& state, const std::string& sText, int iItems,
                     MapInclude* pInclude = nullptr)
{
    Preprocess(state, sText, true, pInclude);
    state.SetItemsProcessed(state.iterations() * iItems);
    state.counters["per_item"] = benchmark::Counter(iItems, benchmark::Counter::kIsIterationInvariantRate |
                                                                benchmark::Counter::kInvert);
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

// "#define F(a0, a1, ..., a<n-1>)", n in proportion to the bytes: 70,000 at the source limit.
std::string ManyParameters(std::size_t uiBytes)
{
    const std::size_t uiCount = 70000 * uiBytes / (1u << 20);
    std::string s = "#define F(";
    for (std::size_t i = 0; i < uiCount; ++i)
        s.append(i == 0 ? "a" : ", a").append(std::to_string(i));
    return s + ")";
}

// What the text repeated fills of the bytes left.
std::string Fill(const std::string& sText, std::size_t uiBytes)
{
    return Repeat(sText, static_cast<int>(uiBytes / sText.size()));
}

// A text of about the bytes given of each shape, and whether it preprocesses without error at
// 64 KiB and at the source limit (those that fail pass the expansion limit).
const struct
{
    const char* pName;
    std::string (*pMake)(std::size_t uiBytes);
    bool bSucceedsSmall;
    bool bSucceedsLarge;
} LINEAR_SHAPES[] = {
    {"stringized operands among many parameters",
     [](std::size_t uiBytes)
     {
         const std::string sHead = ManyParameters(uiBytes);
         const std::size_t uiCount = 70000 * uiBytes / (1u << 20);
         return sHead + Fill(" #a" + std::to_string(uiCount - 1), uiBytes - sHead.size() - 1) + "\n";
     },
     true, true},
    {"operators among many parameters, the macro used",
     [](std::size_t uiBytes)
     {
         const std::string sHead = ManyParameters(uiBytes);
         const std::string sCall = "\nF(" + std::string(70000 * uiBytes / (1u << 20) - 1, ',') + ")\n";
         return sHead + Fill(" +", uiBytes - sHead.size() - sCall.size()) + sCall;
     },
     true, false},
    {"an argument copied for each use",
     [](std::size_t uiBytes)
     {
         const std::string sArgument = Repeat("a ", static_cast<int>(uiBytes / 32));
         return "#define F(x)" + Fill(" x", uiBytes - 20 - sArgument.size()) + "\nF(" + sArgument + ")\n";
     },
     false, false},
    {"__VA_ARGS__ copied with a quarter as many commas",
     [](std::size_t uiBytes)
     {
         const std::size_t uiUses = 85000 * uiBytes / (1u << 20);
         return "#define F(...)" + Repeat(" __VA_ARGS__", static_cast<int>(uiUses)) + "\nF(" +
                std::string(uiUses / 4, ',') + ")\n";
     },
     false, false},
    {"__VA_ARGS__ with twice as many commas",
     [](std::size_t uiBytes)
     {
         return "#define F(...)" + Repeat(" __VA_ARGS__", static_cast<int>(70000 * uiBytes / (1u << 20))) +
                "\nF(" + std::string(160000 * uiBytes / (1u << 20), ',') + ")\n";
     },
     false, false},
    {"comments spanning lines after a token",
     [](std::size_t uiBytes) { return "static const float x = 1" + Fill("/*\n*/", uiBytes - 26) + ";\n"; },
     true, true},
    {"the same with a space after each",
     [](std::size_t uiBytes) { return "static const float x = 1" + Fill("/*\n*/ ", uiBytes - 26) + ";\n"; },
     true, true},
    {"comments spanning lines in a replacement list",
     [](std::size_t uiBytes) { return "#define F(x) x" + Fill("/*\n*/", uiBytes - 40) + " y\nF(1)\n"; }, true,
     true},
};

void BM_PreprocessLinearShape(benchmark::State& state)
{
    const auto& shape = LINEAR_SHAPES[state.range(0)];
    const bool bLarge = state.range(1) != 0;
    const std::string sText = shape.pMake(bLarge ? 1u << 20 : 1u << 16);
    Preprocess(state, sText, bLarge ? shape.bSucceedsLarge : shape.bSucceedsSmall);
    state.SetLabel(shape.pName);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(sText.size()));
}
BENCHMARK(BM_PreprocessLinearShape)
    ->ArgsProduct({benchmark::CreateDenseRange(0, std::size(LINEAR_SHAPES) - 1, 1), {0, 1}})
    ->Unit(benchmark::kMillisecond);

constexpr int ITEMS = 4000;

// _Pragma operators: of the library's own keyword, which it reads as an option it does not know,
// and of a pragma it does not know, which it gives back as text.
void BM_PreprocessPragmaOperators(benchmark::State& state)
{
    const char* pOperator = state.range(0) == 0 ? "_Pragma(\"wave\") " : "_Pragma(\"unknown\") ";
    PreprocessItems(state, Repeat(pOperator, ITEMS) + "\n", ITEMS);
}
BENCHMARK(BM_PreprocessPragmaOperators)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

// Uses of a macro that pastes two identifiers.
void BM_PreprocessPastes(benchmark::State& state)
{
    PreprocessItems(state, "#define C a##b\nvoid F() {\n" + Repeat("C ", ITEMS) + "\n}\n", ITEMS);
}
BENCHMARK(BM_PreprocessPastes)->Unit(benchmark::kMillisecond);

// The tokens of one #define line, its spaces included (a space, + and 1 for each term).
void BM_PreprocessDirectiveLineTokens(benchmark::State& state)
{
    PreprocessItems(state, "#define D 1" + Repeat(" +1", ITEMS) + "\nstatic const int g_i = 1;\n", 3 * ITEMS);
}
BENCHMARK(BM_PreprocessDirectiveLineTokens)->Unit(benchmark::kMillisecond);

// The tokens macro expansion makes: a macro of eight identifiers and their spaces, used again and
// again.
void BM_PreprocessExpandedTokens(benchmark::State& state)
{
    PreprocessItems(state, "#define E a b c d e f g h\nvoid F() {\n" + Repeat("E ", ITEMS / 16) + "\n}\n",
                    ITEMS / 16 * 15);
}
BENCHMARK(BM_PreprocessExpandedTokens)->Unit(benchmark::kMillisecond);

// An empty header included again and again: what opening an include costs.
void BM_PreprocessIncludeOpens(benchmark::State& state)
{
    MapInclude include;
    include.m_mapFiles["empty.hlsli"] = std::string(1, '\n');
    PreprocessItems(state, Repeat("#include \"empty.hlsli\"\n", 1000), 1000, &include);
}
BENCHMARK(BM_PreprocessIncludeOpens)->Unit(benchmark::kMillisecond);

// A header of 1 KiB of declarations included 500 times, its declarations in a group that is
// skipped (/0) or kept (/1): the time per KiB read.
void BM_PreprocessIncludedText(benchmark::State& state)
{
    const std::string sDeclarations = Repeat("float4 g_vValue = 1;\n", 1024 / 21);
    MapInclude include;
    include.m_mapFiles["text.hlsli"] =
        state.range(0) == 0 ? "#if 0\n" + sDeclarations + "#endif\n" : sDeclarations;
    PreprocessItems(state, Repeat("#include \"text.hlsli\"\n", 500), 500, &include);
}
BENCHMARK(BM_PreprocessIncludedText)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

// A header of 20 KiB of functions, all inside #ifndef G_H, #define G_H and #endif, included
// 1,000 times: read once.
void BM_PreprocessGuardedIncludes(benchmark::State& state)
{
    std::string sFunctions;
    for (int i = 0; sFunctions.size() < 20 * 1024; ++i)
    {
        // Appended one piece at a time: GCC's -O3 warns falsely on "literal" + std::to_string.
        const std::string sNumber = std::to_string(i);
        sFunctions.append("float G").append(sNumber).append("(float x) { return x * ");
        sFunctions.append(sNumber).append(".0; }\n");
    }
    MapInclude include;
    include.m_mapFiles["g.hlsli"] = "#ifndef G_H\n#define G_H\n" + sFunctions + "#endif\n";
    PreprocessItems(state, Repeat("#include \"g.hlsli\"\n", 1000), 1000, &include);
}
BENCHMARK(BM_PreprocessGuardedIncludes)->Unit(benchmark::kMillisecond);

// A line of 4,000 comments in a group that is skipped, after an include.
void BM_PreprocessCommentsSkippedAfterInclude(benchmark::State& state)
{
    MapInclude include;
    include.m_mapFiles["x.hlsli"] = std::string(1, '\n');
    PreprocessItems(state, "#include \"x.hlsli\"\n#if 0\n" + Repeat("/**/", 4000) + "\n#endif\n", 4000,
                    &include);
}
BENCHMARK(BM_PreprocessCommentsSkippedAfterInclude)->Unit(benchmark::kMillisecond);

} // namespace
