#include "platform/d3d11/D3D11ShaderBytecode.h"
#include "platform/d3dcompiler/D3DCompilerControl.h"
#include "platform/d3dcompiler/D3DCompilerPreprocessor.h"
#include "platform/d3dcompiler/d3dcompiler.h"
#include "tests/platform/d3dcompiler/D3DCompileTestSupport.h"
#include "tests/support/TestTempDir.h"

#include <gtest/gtest.h>

#include <cstddef>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace
{

using d3dcompile_test::Compile;
using d3dcompile_test::Decode;
using d3dcompile_test::LiveHeapBytes;
using d3dcompile_test::Repeat;
using d3dcompile_test::Result;

// Include files from a map; records every Open and Close.
class MapInclude : public ID3DInclude
{
public:
    std::map<std::string, std::string> m_mapFiles;
    std::vector<std::string> m_vOpened;             // names as asked
    std::vector<const void*> m_vParents;            // parent data of each Open
    std::map<const void*, int> m_mapOpen;           // data -> times open now
    std::map<std::string, const void*> m_mapByName; // name -> data of its last Open
    int m_iCloses = 0;

    HRESULT Open(D3D_INCLUDE_TYPE, LPCSTR pFileName, LPCVOID pParentData, LPCVOID* ppData,
                 UINT* pBytes) override
    {
        m_vOpened.push_back(pFileName);
        m_vParents.push_back(pParentData);
        auto it = m_mapFiles.find(pFileName);
        if (it == m_mapFiles.end())
            return E_FAIL;
        *ppData = it->second.data();
        *pBytes = static_cast<UINT>(it->second.size());
        ++m_mapOpen[it->second.data()];
        m_mapByName[pFileName] = it->second.data();
        return S_OK;
    }
    HRESULT Close(LPCVOID pData) override
    {
        ++m_iCloses;
        auto it = m_mapOpen.find(pData);
        EXPECT_NE(m_mapOpen.end(), it);
        if (it != m_mapOpen.end() && --it->second == 0)
            m_mapOpen.erase(it);
        return S_OK;
    }
};

const char* const VERTEX_SHADER = R"(struct VS_IN
{
    float3 position : POSITION;
    float2 uv : TEXCOORD1;
};
float4 VSMain(VS_IN input, uint id : SV_VertexID, uniform float scale) : SV_POSITION
{
    return float4(input.position * scale, 1.0);
}
)";

class D3DCompile_ : public d3dcompile_test::CompilerTest
{
};

} // namespace

TEST_F(D3DCompile_, VertexShaderRecordsTargetEntryAndInputSignature)
{
    const Result result = Compile(VERTEX_SHADER, "VSMain", "vs_5_0");
    ASSERT_EQ(S_OK, result.hr) << result.sErrors;
    const d3d11_internal::ShaderBytecode bytecode = Decode(result.vCode);
    EXPECT_EQ("vs_5_0", bytecode.Target);
    EXPECT_EQ("VSMain", bytecode.Entry);
    ASSERT_EQ(3u, bytecode.InputSignature.size());
    EXPECT_EQ("POSITION", bytecode.InputSignature[0].SemanticName);
    EXPECT_EQ("TEXCOORD", bytecode.InputSignature[1].SemanticName);
    EXPECT_EQ(1u, bytecode.InputSignature[1].SemanticIndex);
    EXPECT_EQ("SV_VertexID", bytecode.InputSignature[2].SemanticName);
    // Same text, same hash; other text, other hash.
    EXPECT_EQ(bytecode.SourceHash, Decode(Compile(VERTEX_SHADER, "VSMain", "vs_5_0").vCode).SourceHash);
    EXPECT_NE(bytecode.SourceHash,
              Decode(Compile(std::string(VERTEX_SHADER) + "float g;", "VSMain", "vs_5_0").vCode).SourceHash);
}

TEST_F(D3DCompile_, MacrosAndConditionalsDecideWhatIsCompiled)
{
    const std::string sSource = R"(#define EMPTY
#define TWICE(x) ((x) * 2)
#define NAME_OF(stage) stage##Main
#if defined(USE_LIGHT) && LIGHT_COUNT > TWICE(1)
float4 NAME_OF(PS)() : SV_Target { return EMPTY 1; }
#elif defined USE_LIGHT
float4 Fallback() : SV_Target { return 0; }
#else
#ifndef USE_LIGHT
float4 Unlit() : SV_Target { return 0; }
#endif
#endif
)";
    const D3D_SHADER_MACRO many[] = {{"USE_LIGHT", nullptr}, {"LIGHT_COUNT", "3"}, {nullptr, nullptr}};
    const D3D_SHADER_MACRO few[] = {{"USE_LIGHT", ""}, {"LIGHT_COUNT", "2"}, {nullptr, nullptr}};
    EXPECT_EQ(S_OK, Compile(sSource, "PSMain", "ps_5_0", many).hr);
    EXPECT_EQ(E_FAIL, Compile(sSource, "PSMain", "ps_5_0", few).hr);
    EXPECT_EQ(S_OK, Compile(sSource, "Fallback", "ps_5_0", few).hr);
    EXPECT_EQ(S_OK, Compile(sSource, "Unlit", "ps_5_0").hr);
    EXPECT_EQ(E_FAIL, Compile(sSource, "Unlit", "ps_5_0", few).hr);
}

TEST_F(D3DCompile_, IncludesGoThroughTheCallerNestedAndPaired)
{
    MapInclude include;
    include.m_mapFiles["sub/common.hlsli"] =
        "#include \"sub/inner.hlsli\"\nfloat4 Helper() { return INNER; }";
    include.m_mapFiles["sub/inner.hlsli"] = "#define INNER 1\n";
    include.m_mapFiles["system.h"] = "#define SYSTEM_VALUE 2\n";
    const std::string sSource = "#include \"sub/common.hlsli\"\n#include <system.h>\nfloat4 PSMain() : "
                                "SV_Target { return SYSTEM_VALUE; }\n";
    const Result result = Compile(sSource, "PSMain", "ps_5_0", nullptr, &include);
    ASSERT_EQ(S_OK, result.hr) << result.sErrors;
    EXPECT_EQ((std::vector<std::string>{"sub/common.hlsli", "sub/inner.hlsli", "system.h"}),
              include.m_vOpened);
    EXPECT_EQ(3, include.m_iCloses);
    EXPECT_TRUE(include.m_mapOpen.empty());
    // The parent of a nested include is the data of the file that includes it.
    EXPECT_EQ(include.m_mapByName["sub/common.hlsli"], include.m_vParents[1]);
    EXPECT_EQ(sSource.data(), include.m_vParents[2]);
}

TEST_F(D3DCompile_, FailedIncludeReportsFileAndLine)
{
    MapInclude include;
    include.m_mapFiles["a.hlsli"] = "float x;\n#include \"missing.hlsli\"\n";
    const Result result =
        Compile("float y;\n\n#include \"a.hlsli\"\nfloat4 PSMain() : SV_Target { return 0; }", "PSMain",
                "ps_5_0", nullptr, &include);
    EXPECT_EQ(E_FAIL, result.hr);
    EXPECT_NE(std::string::npos, result.sErrors.find("a.hlsli(2,")) << result.sErrors;
    EXPECT_NE(std::string::npos,
              result.sErrors.find("error X1507: failed to open source file: 'missing.hlsli'"))
        << result.sErrors;
    EXPECT_EQ(include.m_vOpened.size() - 1,
              static_cast<std::size_t>(include.m_iCloses)); // the failed one never opened
    EXPECT_TRUE(include.m_mapOpen.empty());
    // Without an include handler every include fails, and a file that includes itself stops.
    EXPECT_EQ(E_FAIL, Compile("#include \"a.hlsli\"\n", "PSMain", "ps_5_0").hr);
    include.m_mapFiles["self.hlsli"] = "#include \"self.hlsli\"\n";
    EXPECT_EQ(E_FAIL, Compile("#include \"self.hlsli\"\n", "PSMain", "ps_5_0", nullptr, &include).hr);
    EXPECT_TRUE(include.m_mapOpen.empty());
}

TEST_F(D3DCompile_, ErrorsNameTheProblemAndWhere)
{
    Result result = Compile(VERTEX_SHADER, "Missing", "vs_5_0");
    EXPECT_EQ(E_FAIL, result.hr);
    EXPECT_NE(std::string::npos, result.sErrors.find("error X3501: 'Missing': entrypoint not found"))
        << result.sErrors;
    // No NUL: the text is exactly the buffer.
    EXPECT_EQ('\n', result.sErrors.back());

    result = Compile("float4 PSMain() : SV_Target\n{\n    return 0;\n}\n}\n", "PSMain", "ps_5_0");
    EXPECT_EQ(E_FAIL, result.hr);
    EXPECT_EQ("shader.hlsl(5,1): error X3000: syntax error: unexpected token '}'\n", result.sErrors);

    result = Compile("float4 PSMain() : SV_Target\n{\n    return (0;\n}\n", "PSMain", "ps_5_0");
    EXPECT_EQ("shader.hlsl(4,1): error X3000: syntax error: unexpected token '}'\n", result.sErrors);

    result = Compile("#error stop here\n", "PSMain", "ps_5_0");
    EXPECT_NE(std::string::npos, result.sErrors.find("shader.hlsl(1,")) << result.sErrors;

    // Array sizes must be sane constants; absurd ones fail instead of overflowing.
    EXPECT_EQ(S_OK, Compile("float g[(2 + 2) * 3];\n" + std::string(VERTEX_SHADER), "VSMain", "vs_5_0").hr);
    EXPECT_EQ(E_FAIL, Compile("float g[4294967296 * 4294967296];", "VSMain", "vs_5_0").hr);
    EXPECT_EQ(E_FAIL, Compile("float g[" + std::string(5000, '(') + "1" + std::string(5000, ')') + "];\n" +
                                  VERTEX_SHADER,
                              "VSMain", "vs_5_0")
                          .hr);
    EXPECT_EQ(E_FAIL, Compile(VERTEX_SHADER, "VSMain", "vs_4_0").hr);
    EXPECT_EQ(E_FAIL, Compile("float4 x;", nullptr, "fx_5_0").hr); // no technique11
}

TEST_F(D3DCompile_, ReflectionGivesTheThreadGroupSize)
{
    const char* pSource =
        "#define GROUP 8\nRWStructuredBuffer<float> output;\n"
        "[numthreads(GROUP, GROUP / 2, 2)]\nvoid CSMain(uint3 id : SV_DispatchThreadID) { }\n";
    const Result result = Compile(pSource, "CSMain", "cs_5_0");
    ASSERT_EQ(S_OK, result.hr) << result.sErrors;
    ID3D11ShaderReflection* pReflection = nullptr;
    ASSERT_EQ(S_OK, D3DReflect(result.vCode.data(), result.vCode.size(), IID_ID3D11ShaderReflection,
                               reinterpret_cast<void**>(&pReflection)));
    UINT x = 0, y = 0, z = 0;
    EXPECT_EQ(64u, pReflection->GetThreadGroupSize(&x, &y, &z));
    EXPECT_EQ(8u, x);
    EXPECT_EQ(4u, y);
    EXPECT_EQ(2u, z);
    pReflection->Release();

    EXPECT_EQ(E_FAIL, Compile("void CSMain() { }", "CSMain", "cs_5_0").hr);
    EXPECT_EQ(E_FAIL, Compile("[numthreads(64, 64, 1)] void CSMain() { }", "CSMain", "cs_5_0").hr);
    const std::uint8_t junk[16] = {};
    void* pJunk = nullptr;
    EXPECT_EQ(E_INVALIDARG, D3DReflect(junk, sizeof junk, IID_ID3D11ShaderReflection, &pJunk));
    EXPECT_EQ(nullptr, pJunk);
}

TEST_F(D3DCompile_, EffectKeepsTechniquesPassesAndVariables)
{
    const char* pSource = R"(#define LIGHTS 4
cbuffer PerFrame : register(b0)
{
    float4x4 g_mViewProjection;
    float4 g_vLights[LIGHTS * 2];
};
Texture2D<float4> g_tDiffuse;
BlendState AlphaBlend { BlendEnable[0] = TRUE; SrcBlend[0] = SRC_ALPHA; };
struct VS_IN { float3 position : POSITION; };
float4 VSMain(VS_IN input) : SV_POSITION { return float4(input.position, 1); }
float4 PSMain() : SV_Target { return g_vLights[0]; }
technique11 Render < string info = "annotations hold ;"; >
{
    pass P0
    {
        SetVertexShader(CompileShader(vs_5_0, VSMain()));
        SetGeometryShader(NULL);
        SetPixelShader(CompileShader(ps_5_0, PSMain()));
        SetBlendState(AlphaBlend, float4(0, 0, 0, 0), 0xFFFFFFFF);
    }
}
)";
    const Result result = Compile(pSource, nullptr, "fx_5_0");
    ASSERT_EQ(S_OK, result.hr) << result.sErrors;
    const d3d11_internal::ShaderBytecode effect = Decode(result.vCode);
    ASSERT_EQ(1u, effect.Techniques.size());
    EXPECT_EQ("Render", effect.Techniques[0].Name);
    ASSERT_EQ(1u, effect.Techniques[0].Passes.size());
    const d3d11_internal::EffectPass& pass = effect.Techniques[0].Passes[0];
    EXPECT_EQ("P0", pass.Name);
    ASSERT_EQ(3u, pass.Shaders.size());
    EXPECT_EQ(d3d11_internal::ShaderStage::Vertex, pass.Shaders[0].Stage);
    EXPECT_EQ("VSMain", Decode(pass.Shaders[0].Bytecode).Entry);
    EXPECT_EQ(1u, Decode(pass.Shaders[0].Bytecode).InputSignature.size());
    EXPECT_TRUE(pass.Shaders[1].Bytecode.empty());
    ASSERT_EQ(1u, pass.States.size());
    EXPECT_EQ("SetBlendState", pass.States[0].Call);
    ASSERT_EQ(4u, effect.Variables.size());
    EXPECT_EQ("g_vLights", effect.Variables[1].Name);
    EXPECT_EQ("PerFrame", effect.Variables[1].Buffer);
    EXPECT_EQ(8u, effect.Variables[1].ArraySize);
    EXPECT_EQ("Texture2D<float4>", effect.Variables[2].Type);
    EXPECT_EQ(2u, effect.Variables[3].Assignments.size());
    EXPECT_EQ("BlendEnable[0]", effect.Variables[3].Assignments[0].Key);

    const std::string sWrongEntry =
        std::string(pSource).replace(std::string(pSource).find("PSMain()));"), 6, "PSMane");
    EXPECT_EQ(E_FAIL, Compile(sWrongEntry, nullptr, "fx_5_0").hr);
}

TEST_F(D3DCompile_, TruncatedOrDamagedBytecodeIsRefused)
{
    const Result result = Compile(VERTEX_SHADER, "VSMain", "vs_5_0");
    ASSERT_EQ(S_OK, result.hr);
    d3d11_internal::ShaderBytecode out;
    for (std::size_t n = 0; n < result.vCode.size(); ++n)
        EXPECT_FALSE(d3d11_internal::DecodeShaderBytecode(result.vCode.data(), n, &out)) << n;
    std::vector<std::uint8_t> vDamaged = result.vCode;
    vDamaged[24] = 0xFF; // the target string's length
    EXPECT_FALSE(d3d11_internal::DecodeShaderBytecode(vDamaged.data(), vDamaged.size(), &out));
}

TEST_F(D3DCompile_, CountsInjectsFailuresAndRunsOnSeveralThreads)
{
    D3DCompilerControl::FailNext("D3DCompile");
    const Result failed = Compile(VERTEX_SHADER, "VSMain", "vs_5_0");
    EXPECT_EQ(E_FAIL, failed.hr);
    EXPECT_TRUE(failed.sErrors.empty());
    D3DCompilerControl::FailNext("D3DCreateBlob", E_OUTOFMEMORY);
    ID3DBlob* pBlob = nullptr;
    EXPECT_EQ(E_OUTOFMEMORY, D3DCreateBlob(16, &pBlob));
    ASSERT_EQ(S_OK, D3DCreateBlob(16, &pBlob));
    EXPECT_EQ(16u, pBlob->GetBufferSize());
    EXPECT_EQ(0, static_cast<const std::uint8_t*>(pBlob->GetBufferPointer())[15]);
    pBlob->Release();

    std::vector<std::thread> vThreads;
    std::vector<int> vOk(4, 0);
    for (int t = 0; t < 4; ++t)
        vThreads.emplace_back(
            [t, &vOk]
            {
                MapInclude include;
                include.m_mapFiles["x.hlsli"] = "#define X 1\n";
                for (int i = 0; i < 10; ++i)
                    vOk[t] += Compile(std::string("#include \"x.hlsli\"\n") + VERTEX_SHADER, "VSMain",
                                      "vs_5_0", nullptr, &include)
                                  .hr == S_OK;
            });
    for (std::thread& thread : vThreads)
        thread.join();
    EXPECT_EQ((std::vector<int>{10, 10, 10, 10}), vOk);
    EXPECT_EQ(41u, D3DCompilerControl::GetCompileCount());
}

// The preprocessor's output must match the system's C preprocessor on the same input, token for
// token (whitespace aside).
TEST(D3DCompilerPreprocessor, MatchesTheSystemPreprocessor)
{
    TestTempDir dir;
    ASSERT_TRUE(dir.IsValid());
    const std::string sInclude = "#define SCALE(v, s) ((v) * (s))\n#define PI 3.14159f\n";
    const std::string sSource = R"(#include "common.hlsli"
#define STR(x) #x
#define CAT(a, b) a##b
#define VARIADIC(fmt, ...) call(fmt, __VA_ARGS__)
#if defined(USE_SHADOWS) && SHADOW_TAPS >= 4
float shadow = SCALE(PI, SHADOW_TAPS);
#elif defined(USE_SHADOWS)
float shadow = 1;
#else
float shadow = 0;
#endif
#ifdef USE_FOG
float CAT(fog, Density) = FOG_DENSITY;
#endif
#ifndef USE_SKIN
static const char* name = STR(no skin);
#endif
float4 main(float4 p : POSITION) : SV_POSITION { return VARIADIC(p, 1, 2) + SCALE(p.x + 1, 2); }
)";
    {
        std::ofstream(dir.Join("common.hlsli")) << sInclude;
        std::ofstream(dir.Join("main.hlsl")) << sSource;
    }
    const D3D_SHADER_MACRO macros[] = {{"USE_SHADOWS", nullptr},
                                       {"SHADOW_TAPS", "8"},
                                       {"USE_FOG", ""},
                                       {"FOG_DENSITY", "0.25"},
                                       {nullptr, nullptr}};
    const std::string sCommand = "cpp -P -DUSE_SHADOWS= -DSHADOW_TAPS=8 -DUSE_FOG= -DFOG_DENSITY=0.25 '" +
                                 dir.Join("main.hlsl") + "' 2>/dev/null";
    FILE* pPipe = popen(sCommand.c_str(), "r");
    ASSERT_NE(nullptr, pPipe);
    std::string sExpected;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pPipe)) > 0;)
        sExpected.append(buffer, n);
    if (pclose(pPipe) != 0)
        GTEST_SKIP() << "no working cpp on this machine";

    MapInclude include;
    include.m_mapFiles["common.hlsli"] = sInclude;
    d3dcompiler_internal::PreprocessedSource out;
    std::string sErrors;
    ASSERT_TRUE(d3dcompiler_internal::Preprocess(sSource.data(), sSource.size(), "main.hlsl", macros,
                                                 &include, &out, &sErrors))
        << sErrors;

    // Tokens: runs of identifier characters, string literals, and single other characters.
    auto tokenize = [](const std::string& s)
    {
        std::vector<std::string> v;
        for (std::size_t i = 0; i < s.size();)
        {
            const unsigned char c = static_cast<unsigned char>(s[i]);
            std::size_t j = i + 1;
            if (std::isspace(c))
            {
                ++i;
                continue;
            }
            if (std::isalnum(c) || c == '_' || c == '.')
                while (j < s.size() &&
                       (std::isalnum(static_cast<unsigned char>(s[j])) || s[j] == '_' || s[j] == '.'))
                    ++j;
            else if (c == '"')
                while (j < s.size() && s[j++] != '"')
                    ;
            v.push_back(s.substr(i, j - i));
            i = j;
        }
        return v;
    };
    const std::vector<std::string> vExpected = tokenize(sExpected);
    EXPECT_GT(vExpected.size(), 50u);
    EXPECT_EQ(vExpected, tokenize(out.Text));
}

namespace
{

const char* const RETURN_ONE = "float4 PSMain() : SV_Target { return 1; }\n";

// The shapes of text the preprocessor follows one level deeper per step, at a given depth. Each
// is a pixel shader with the entry point PSMain where the depth is allowed.
std::string DeepParentheses(std::size_t uiDepth)
{
    return "#if " + std::string(uiDepth, '(') + "1" + std::string(uiDepth, ')') + "\n" + RETURN_ONE +
           "#endif\n";
}

// An even count, so that the condition holds.
std::string ManyNots(std::size_t uiCount)
{
    return "#if " + std::string(uiCount, '!') + "1\n" + RETURN_ONE + "#endif\n";
}

std::string NestedCalls(std::size_t uiDepth)
{
    return "#define F(x) x\nfloat4 PSMain() : SV_Target { return " + Repeat("F(", uiDepth) + "1" +
           std::string(uiDepth, ')') + "; }\n";
}

std::string MacroChain(std::size_t uiLength)
{
    std::string s = "#define M0 1\n";
    for (std::size_t i = 1; i <= uiLength; ++i)
        s += "#define M" + std::to_string(i) + " M" + std::to_string(i - 1) + "\n";
    return s + "float4 PSMain() : SV_Target { return M" + std::to_string(uiLength) + "; }\n";
}

// #define X0 1, then each level names the one below twice: 2^levels tokens from one use.
std::string Doubling(int iLevels, const std::string& sUse)
{
    std::string s = "#define X0 1\n";
    for (int i = 1; i <= iLevels; ++i)
        s += "#define X" + std::to_string(i) + " X" + std::to_string(i - 1) + " X" + std::to_string(i - 1) +
             "\n";
    return s + sUse + "\n" + RETURN_ONE;
}

// The compile fails with the one error of a passed limit, at the place given.
void ExpectLimitError(const Result& result, const std::string& sWhere, const std::string& sText)
{
    EXPECT_EQ(E_FAIL, result.hr) << sText;
    EXPECT_EQ(sWhere + ": error X1000: " + sText + "\n", result.sErrors);
}

const std::string NESTED_MACROS = "macro expansion nests deeper than 256 levels";
const std::string TOO_MANY_TOKENS = "macro expansion passes 131072 tokens read and made";
const std::string TOO_MANY_BYTES = "macro expansion passes 2097152 bytes read and made";

// #define A0 as one identifier of the given letters, then each level pastes two of the level
// below into one: the identifier of A13 has 2^13 times the letters, from 13 macro calls.
std::string Pasting(std::size_t uiLetters)
{
    std::string s =
        "#define CAT(a,b) a##b\n#define X(a,b) CAT(a,b)\n#define A0 " + std::string(uiLetters, 'a') + "\n";
    for (int i = 1; i <= 13; ++i)
        s += "#define A" + std::to_string(i) + " X(A" + std::to_string(i - 1) + ",A" + std::to_string(i - 1) +
             ")\n";
    return s + "int A13;\n" + RETURN_ONE;
}

// Terms joined by an operator.
std::string Terms(std::size_t uiCount, const std::string& sOperator)
{
    return "1" + Repeat(sOperator + "1", uiCount - 1);
}

// T0 of 500 terms joined by ||, and T naming it the given count of times.
std::string TermMacros(std::size_t uiUses)
{
    return "#define T0 " + Terms(500, "||") + "\n#define T T0" + Repeat(" || T0", uiUses - 1) + "\n";
}

} // namespace

// The macro shapes, far beyond what the preprocessor allows, overflowed the stack inside the
// library. #if expressions are evaluated without recursion: the expression shapes, which did the
// same in the library's grammar, evaluate at any depth.
TEST_F(D3DCompile_, NestingBeyondTheLimitFailsWithAnError)
{
    ExpectLimitError(Compile(NestedCalls(20000), "PSMain", "ps_5_0"), "shader.hlsl(2,38)", TOO_MANY_TOKENS);
    ExpectLimitError(Compile(NestedCalls(260), "PSMain", "ps_5_0"), "shader.hlsl(2,38)", NESTED_MACROS);
    ExpectLimitError(Compile(MacroChain(5000), "PSMain", "ps_5_0"), "shader.hlsl(5002,38)", NESTED_MACROS);
    const std::string sCalls = Repeat("F(", 260) + "1" + std::string(260, ')');
    const D3D_SHADER_MACRO macros[] = {{"F(x)", "x"}, {"DEEP", sCalls.c_str()}, {nullptr, nullptr}};
    ExpectLimitError(Compile("float4 PSMain() : SV_Target { return DEEP; }\n", "PSMain", "ps_5_0", macros),
                     "shader.hlsl(1,38)", NESTED_MACROS);
}

TEST_F(D3DCompile_, DeepConditionsEvaluate)
{
    const auto compiles = [](const std::string& sText, MapInclude* pInclude = nullptr)
    {
        const Result result = Compile(sText, "PSMain", "ps_5_0", nullptr, pInclude);
        EXPECT_EQ(S_OK, result.hr) << result.sErrors;
    };
    compiles(DeepParentheses(5000));
    compiles(ManyNots(50000));
    // Unary minus, the conditional operator, #elif, a directive split over lines, parentheses
    // that macros make.
    compiles("#if " + Repeat("- ", 50000) + "1\n" + RETURN_ONE + "#endif\n");
    compiles("#if " + Repeat("1 ? ", 20000) + "1" + Repeat(" : 0", 20000) + "\n" + RETURN_ONE + "#endif\n");
    compiles("#if 0\n#elif " + std::string(50000, '~') + "1\n" + RETURN_ONE + "#endif\n");
    compiles("#if 0 /*\n*/ || \\\n" + std::string(5000, '(') + "1" + std::string(5000, ')') + "\n" +
             RETURN_ONE + "#endif\n");
    // A comment's opening mark inside a literal, its closing one in a line comment.
    compiles("#if '/*' + " + std::string(5000, '(') + "1" + std::string(5000, ')') + " //*/\n" + RETURN_ONE +
             "#endif\n");
    // Spread over lines: spliced, in a comment, spliced by a trigraph.
    for (const char* pJoin : {"\\\n", "/*\n*/", "?\?/\n"})
        compiles("#if " + std::string(200, '(') + pJoin + std::string(200, '(') + "1" +
                 std::string(400, ')') + "\n" + RETURN_ONE + "#endif\n");
    compiles("#define L " + std::string(200, '(') + "\n#define R " + std::string(200, ')') + "\n#if " +
             Repeat("L ", 50) + "1" + Repeat(" R", 50) + "\n" + RETURN_ONE + "#endif\n");
    // In an include.
    MapInclude include;
    include.m_mapFiles["deep.hlsli"] = DeepParentheses(5000);
    compiles("#include \"deep.hlsli\"\n", &include);
    EXPECT_TRUE(include.m_mapOpen.empty());
}

TEST_F(D3DCompile_, NestingWithinTheLimitCompiles)
{
    const Result parentheses = Compile(DeepParentheses(200), "PSMain", "ps_5_0");
    EXPECT_EQ(S_OK, parentheses.hr) << parentheses.sErrors;
    const Result nots = Compile(ManyNots(200), "PSMain", "ps_5_0");
    EXPECT_EQ(S_OK, nots.hr) << nots.sErrors;
    const Result calls = Compile(NestedCalls(200), "PSMain", "ps_5_0");
    EXPECT_EQ(S_OK, calls.hr) << calls.sErrors;
    const Result chain = Compile(MacroChain(200), "PSMain", "ps_5_0");
    EXPECT_EQ(S_OK, chain.hr) << chain.sErrors;
    // What counts is the nesting, not the length: many shallow expressions and calls are fine.
    const Result wide = Compile("#define F(x) x\n#if " + Repeat("(!1) + ", 250) + "1\n" + RETURN_ONE +
                                    "float g = " + Repeat("F(1) + ", 20000) + "1;\n#endif\n",
                                "PSMain", "ps_5_0");
    EXPECT_EQ(S_OK, wide.hr) << wide.sErrors;
    // Parentheses from macros count against an expression only while it is read: not after an
    // #elif that is never evaluated.
    const Result after =
        Compile("#define P(x) ((x))\n#if 1\n#elif P(1)\n#endif\nfloat g = " + Repeat("P(1) + ", 300) +
                    "1;\n" + RETURN_ONE,
                "PSMain", "ps_5_0");
    EXPECT_EQ(S_OK, after.hr) << after.sErrors;
}

// 549 bytes that make 2^26 tokens hung the compile and then ran out of memory.
TEST_F(D3DCompile_, RunawayExpansionFailsAndTheNextCompileWorks)
{
    ExpectLimitError(Compile(Doubling(26, "float g = X26;"), "PSMain", "ps_5_0"), "shader.hlsl(28,11)",
                     TOO_MANY_TOKENS);
    // In an expression too.
    const Result condition = Compile(Doubling(26, "#if X26\n#endif"), "PSMain", "ps_5_0");
    EXPECT_NE(std::string::npos, condition.sErrors.find(TOO_MANY_TOKENS)) << condition.sErrors;
    // Each level of nested calls copies the arguments of the level below: 200,000 nested calls
    // (600 KB) ran out of memory at 3 GB, before they could nest too deep.
    ExpectLimitError(Compile(NestedCalls(200000), "PSMain", "ps_5_0"), "shader.hlsl(2,38)", TOO_MANY_TOKENS);
    const Result next = Compile(VERTEX_SHADER, "VSMain", "vs_5_0");
    EXPECT_EQ(S_OK, next.hr) << next.sErrors;
    // Some doubling is fine.
    const Result some = Compile(Doubling(10, "float F() { return X10; }"), "PSMain", "ps_5_0");
    EXPECT_EQ(S_OK, some.hr) << some.sErrors;
}

// Pasting and stringizing made tokens that doubled in size with each level of macros while the
// count of tokens stayed small: these 4.5 KB took seconds and hundreds of MB before the output
// limit stopped them, with a 256 KB identifier more than two minutes and 800 MB.
TEST_F(D3DCompile_, TokensDoublingWithEachLevelHaveALimit)
{
    ExpectLimitError(Compile(Pasting(4096), "PSMain", "ps_5_0"), "shader.hlsl(17,5)", TOO_MANY_BYTES);
    // The identifier of 256 KB comes from the caller's macro table: a directive line holds less.
    std::string sFromTable = Pasting(1);
    sFromTable.erase(sFromTable.find("#define A0 a\n"), 13);
    const std::string sLetters(1u << 18, 'a');
    const D3D_SHADER_MACRO table[] = {{"A0", sLetters.c_str()}, {nullptr, nullptr}};
    ExpectLimitError(Compile(sFromTable, "PSMain", "ps_5_0", table), "shader.hlsl(16,5)", TOO_MANY_BYTES);
    std::string sStringizing =
        "#define STR(a) #a\n#define Y(a) STR(a)\n#define D0 " + std::string(4096, 'd') + "\n";
    for (int i = 1; i <= 13; ++i)
        sStringizing += "#define D" + std::to_string(i) + " D" + std::to_string(i - 1) + " D" +
                        std::to_string(i - 1) + "\n";
    for (const char* pUse : {"D11", "D13"})
        ExpectLimitError(
            Compile(sStringizing + "float g = Y(" + pUse + ");\n" + RETURN_ONE, "PSMain", "ps_5_0"),
            "shader.hlsl(17,11)", TOO_MANY_BYTES);
    // One definition that pastes its argument to itself again and again: each paste makes the
    // token so far once more, and the definition is counted before any of them is made.
    ExpectLimitError(Compile("#define P(a) a" + Repeat("##a", 1000) + "\nint P(" + std::string(2000, 'x') +
                                 ");\n" + RETURN_ONE,
                             "PSMain", "ps_5_0"),
                     "shader.hlsl(2,5)", TOO_MANY_BYTES);
}

// The library builds a stringized literal a token at a time, copying it whole each time: 120,000
// tokens took a second and 100 MB of copies.
TEST_F(D3DCompile_, StringizedBytesHaveALimit)
{
    ExpectLimitError(Compile("#define S(a) #a\nstatic const char* g_pText = S(" + Repeat("a ", 20000) +
                                 ");\n" + RETURN_ONE,
                             "PSMain", "ps_5_0"),
                     "shader.hlsl(2,30)",
                     "macro expansion passes 67108864 bytes copied into string literals");
    ExpectLimitError(Compile("#define V(...) #__VA_ARGS__\nstatic const char* g_pText = V(" +
                                 Repeat("a, ", 20000) + "a);\n" + RETURN_ONE,
                             "PSMain", "ps_5_0"),
                     "shader.hlsl(2,30)",
                     "macro expansion passes 67108864 bytes copied into string literals");
    // Ordinary pasting and stringizing, and the next compile, work.
    const Result some =
        Compile("#define CAT(a,b) a##b\n#define STR(a) #a\nstatic const string g_sName = STR(" +
                    std::string(4096, 'n') + ");\nfloat4 CAT(PS, Main)() : SV_Target { return 1; }\n",
                "PSMain", "ps_5_0");
    EXPECT_EQ(S_OK, some.hr) << some.sErrors;
}

// The text being compiled had no size limit, and every term of a long #if line cost hundreds of
// bytes: 4 MB of "#if 1+1+...+1" took 16 s and 1.5 GB, a 1 MB one 4 s and 386 MB.
TEST_F(D3DCompile_, SourceTextHasALimitAndLongConditionsEvaluate)
{
    const std::string sHuge = "#if " + Terms(2000000, "+") + "\n" + RETURN_ONE + "#endif\n";
    ASSERT_GT(sHuge.size(), 4000000u);
    ExpectLimitError(Compile(sHuge, "PSMain", "ps_5_0"), "shader.hlsl(1,1)",
                     "source text passes 1048576 bytes");
    const std::string sHugeDefinition = Terms(600000, "+");
    const D3D_SHADER_MACRO table[] = {{"HUGE", sHugeDefinition.c_str()}, {nullptr, nullptr}};
    ExpectLimitError(Compile(RETURN_ONE, "PSMain", "ps_5_0", table), "shader.hlsl(1,1)",
                     "macro table passes 1048576 bytes");
    // Lines under that size, past the 65,536 tokens an #if line once held, in the text and in an
    // include: each term costs the evaluator a few bytes.
    const std::size_t uiTerms = kv_test::ShapeSize(70000, 70000, 35000);
    for (const char* pOperator : {"+", "||"})
    {
        const std::string sLong = "#if " + Terms(uiTerms, pOperator) + "\n" + RETURN_ONE + "#endif\n";
        const Result direct = Compile(sLong, "PSMain", "ps_5_0");
        EXPECT_EQ(S_OK, direct.hr) << direct.sErrors;
        MapInclude include;
        include.m_mapFiles["long.hlsli"] = sLong;
        const Result included = Compile("#include \"long.hlsli\"\n", "PSMain", "ps_5_0", nullptr, &include);
        EXPECT_EQ(S_OK, included.hr) << included.sErrors;
        EXPECT_TRUE(include.m_mapOpen.empty());
    }
    // And what the line's macros make: T stands for 80,000 tokens.
    const Result made = Compile(TermMacros(80) + "#if T\n" + RETURN_ONE + "#endif\n", "PSMain", "ps_5_0");
    EXPECT_EQ(S_OK, made.hr) << made.sErrors;
    const Result within =
        Compile(TermMacros(20) + "#if " + Terms(1000, "||") + " || T\n" + RETURN_ONE + "#endif\n", "PSMain",
                "ps_5_0");
    EXPECT_EQ(S_OK, within.hr) << within.sErrors;
}

// The output, and what includes may read, have limits.
TEST_F(D3DCompile_, OutputAndIncludedTextHaveLimits)
{
    // Output from few tokens: a long name, used again and again.
    ExpectLimitError(Compile("#define W " + std::string(4000, 'w') + "\nfloat4 " + Repeat("W, ", 300) +
                                 "w;\n" + RETURN_ONE,
                             "PSMain", "ps_5_0"),
                     "shader.hlsl(1,11)", "preprocessed output passes 1048576 bytes");
    // Text without output, included again and again, counts against the cost of the preprocessing:
    // each of these files includes the next twice, 2^31 includes in all, each with a skipped
    // comment of 4 KiB; and a skipped comment of 1 MiB, included six times.
    const std::string sCost =
        "preprocessing costs more than " + std::to_string(d3dcompiler_internal::MAX_PREPROCESS_COST) +
        " (directive-line tokens, text read / 4, includes, pastes and _Pragma operators) in all";
    MapInclude doubling;
    for (int i = 0; i < 30; ++i)
    {
        // Appended, not "literal" + std::to_string: GCC's -O3 warns falsely on that form.
        std::string sName = "f";
        sName += std::to_string(i);
        std::string sLine = "#include \"f";
        sLine += std::to_string(i + 1);
        sLine += "\"\n";
        doubling.m_mapFiles[sName] = "#if 0\n/*" + std::string(4096, ' ') + "*/\n#endif\n" + Repeat(sLine, 2);
    }
    doubling.m_mapFiles["f30"] = "#define A 1\n";
    const Result doubled =
        Compile("#include \"f0\"\n" + std::string(RETURN_ONE), "PSMain", "ps_5_0", nullptr, &doubling);
    EXPECT_EQ(E_FAIL, doubled.hr);
    EXPECT_NE(std::string::npos, doubled.sErrors.find("): error X1000: " + sCost + "\n")) << doubled.sErrors;
    EXPECT_TRUE(doubling.m_mapOpen.empty());
    MapInclude include;
    include.m_mapFiles["comment.hlsli"] =
        "#if 0\n/*" + std::string(d3dcompiler_internal::MAX_INCLUDED_BYTES - 18, ' ') + "*/\n#endif\n";
    ExpectLimitError(Compile(Repeat("#include \"comment.hlsli\"\n", 6) + RETURN_ONE, "PSMain", "ps_5_0",
                             nullptr, &include),
                     "shader.hlsl(6,1)", sCost);
    EXPECT_TRUE(include.m_mapOpen.empty());
    // Below it, text is read as often as it is included (1 MiB of included text in all was once
    // a limit of its own).
    include.m_mapFiles["skipped.hlsli"] =
        "#if 0\n" + Repeat("float4 g_vValue[4] = { 1, 2, 3, 4 };\n", 7000) + "#endif\n";
    EXPECT_EQ(S_OK, Compile(Repeat("#include \"skipped.hlsli\"\n", 5) + RETURN_ONE, "PSMain", "ps_5_0",
                            nullptr, &include)
                        .hr);
    // One include larger than any text the compiler reads.
    include.m_mapFiles["huge.hlsli"] =
        "//" + std::string(d3dcompiler_internal::MAX_INCLUDED_BYTES, 'x') + "\n";
    ExpectLimitError(
        Compile("#include \"huge.hlsli\"\n" + std::string(RETURN_ONE), "PSMain", "ps_5_0", nullptr, &include),
        "shader.hlsl(1,1)", "include passes 1048576 bytes");
    EXPECT_TRUE(include.m_mapOpen.empty());
    include.m_mapFiles["big.hlsli"] = Repeat("float4 g_vValue;\n", 4096);
    EXPECT_EQ(S_OK, Compile(Repeat("#include \"big.hlsli\"\n", 10) + RETURN_ONE, "PSMain", "ps_5_0", nullptr,
                            &include)
                        .hr);
}

// The limits leave the engine's shaders, every option they test switched on, far below them.
TEST(D3DCompilerPreprocessor, EngineShadersStayFarBelowTheLimits)
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(KV_SOURCE_ROOT) / "assets" / "Shader";
    MapInclude include;
    std::vector<fs::path> vShaders;
    std::set<std::string> options;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
    {
        std::ifstream file(entry.path(), std::ios::binary);
        const std::string sText((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        if (entry.path().extension() == ".hlsli")
            include.m_mapFiles[entry.path().filename().string()] = sText;
        else if (entry.path().extension() == ".hlsl" || entry.path().extension() == ".fx")
            vShaders.push_back(entry.path());
        const std::regex option(R"((?:#ifn?def\s+|defined\s*\(?\s*)([A-Za-z_]\w*))");
        for (auto it = std::sregex_iterator(sText.begin(), sText.end(), option); it != std::sregex_iterator();
             ++it)
            options.insert((*it)[1].str());
    }
    ASSERT_GE(vShaders.size(), 8u);
    EXPECT_GE(options.size(), 10u);
    std::vector<D3D_SHADER_MACRO> vAll;
    for (const std::string& sOption : options)
        vAll.push_back({sOption.c_str(), "1"});
    vAll.push_back({nullptr, nullptr});
    for (const fs::path& path : vShaders)
    {
        std::ifstream file(path, std::ios::binary);
        const std::string sText((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        const D3D_SHADER_MACRO* const tables[] = {nullptr, vAll.data()};
        for (const D3D_SHADER_MACRO* pMacros : tables)
        {
            d3dcompiler_internal::PreprocessedSource out;
            std::string sErrors;
            EXPECT_TRUE(d3dcompiler_internal::Preprocess(sText.data(), sText.size(), path.filename().c_str(),
                                                         pMacros, &include, &out, &sErrors))
                << path << ": " << sErrors;
            EXPECT_LT(out.Text.size(), d3dcompiler_internal::MAX_OUTPUT_BYTES / 16) << path;
            EXPECT_LT(out.ExpandedTokens, d3dcompiler_internal::MAX_EXPANDED_TOKENS / 16) << path;
            EXPECT_LT(out.ExpandedBytes, d3dcompiler_internal::MAX_EXPANDED_BYTES / 16) << path;
            EXPECT_LT(out.Cost, d3dcompiler_internal::MAX_PREPROCESS_COST / 16) << path;
        }
    }
}

// Tokens the library's lexer made went back to this code's copy of the token pool when released,
// so the library's copy grew by about 400 KB with every compile of this shader, for good.
TEST_F(D3DCompile_, RepeatedCompilesKeepNoMemory)
{
    const std::string sFolder = std::string(KV_SOURCE_ROOT) + "/assets/Shader/";
    auto read = [&sFolder](const char* pName)
    {
        std::ifstream file(sFolder + pName, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    };
    MapInclude include;
    for (const char* pName : {"KR_ShaderCommon.hlsli", "KR_OITCommon.hlsli"})
        include.m_mapFiles[pName] = read(pName);
    const std::string sSource = read("KR_PixelShader.hlsl");
    ASSERT_GT(sSource.size(), 10000u);
    std::size_t uiBefore = 0;
    for (int i = 0; i < 200; ++i)
    {
        if (i == 50)
            uiBefore = LiveHeapBytes();
        ASSERT_EQ(S_OK, Compile(sSource, "MainPS", "ps_5_0", nullptr, &include).hr);
        include.m_vOpened.clear();
        include.m_vParents.clear();
    }
    EXPECT_LT(LiveHeapBytes(), uiBefore + (4u << 20));
}
