#include "platform/d3d11/D3D11ShaderBytecode.h"
#include "platform/d3dcompiler/D3DCompilerControl.h"
#include "platform/d3dcompiler/D3DCompilerPreprocessor.h"
#include "platform/d3dcompiler/d3dcompiler.h"
#include "tests/support/TestTempDir.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace
{

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

struct Result
{
    HRESULT hr = E_FAIL;
    std::vector<std::uint8_t> vCode;
    std::string sErrors;
};

Result Compile(const std::string& sSource, const char* pEntry, const char* pTarget,
               const D3D_SHADER_MACRO* pMacros = nullptr, ID3DInclude* pInclude = nullptr,
               const char* pName = "shader.hlsl")
{
    Result result;
    ID3DBlob* pCode = nullptr;
    ID3DBlob* pErrors = nullptr;
    result.hr = D3DCompile(sSource.data(), sSource.size(), pName, pMacros, pInclude, pEntry, pTarget,
                           D3DCOMPILE_ENABLE_STRICTNESS, 0, &pCode, &pErrors);
    EXPECT_EQ(SUCCEEDED(result.hr), pCode != nullptr);
    if (pCode != nullptr)
    {
        const auto* p = static_cast<const std::uint8_t*>(pCode->GetBufferPointer());
        result.vCode.assign(p, p + pCode->GetBufferSize());
        pCode->Release();
    }
    if (pErrors != nullptr)
    {
        result.sErrors.assign(static_cast<const char*>(pErrors->GetBufferPointer()),
                              pErrors->GetBufferSize());
        pErrors->Release();
    }
    return result;
}

d3d11_internal::ShaderBytecode Decode(const std::vector<std::uint8_t>& vCode)
{
    d3d11_internal::ShaderBytecode bytecode;
    EXPECT_TRUE(d3d11_internal::DecodeShaderBytecode(vCode.data(), vCode.size(), &bytecode));
    return bytecode;
}

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

class D3DCompile_ : public ::testing::Test
{
protected:
    void SetUp() override { D3DCompilerControl::Reset(); }
    void TearDown() override
    {
        EXPECT_EQ(0u, D3DCompilerControl::GetLiveObjectCount());
        D3DCompilerControl::Reset();
    }
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
