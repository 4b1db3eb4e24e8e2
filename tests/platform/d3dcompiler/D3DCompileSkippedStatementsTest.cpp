// Top-level statements the parser does not read (typedefs, prototypes, text it cannot read) are
// skipped up to their ';'. A skip that would pass over a declaration the parser reads is a syntax
// error where the skipped statement should have ended, so no declaration is dropped without one;
// a string literal that never closes is an error too.

#include "platform/d3d11/D3D11ShaderBytecode.h"
#include "platform/d3dcompiler/d3dcompiler.h"
#include "tests/platform/d3dcompiler/D3DCompileTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace
{

using d3dcompile_test::Compile;
using d3dcompile_test::Decode;
using d3dcompile_test::Result;

class D3DCompileSkippedStatements : public d3dcompile_test::CompilerTest
{
};

const char* const VALID_EFFECT = "float4 VS(float4 p : POSITION) : SV_Position { return p; }\n"
                                 "float4 PS(float4 p : SV_Position) : SV_Target { return p; }\n"
                                 "technique11 T { pass P { SetVertexShader(CompileShader(vs_5_0, VS())); "
                                 "SetPixelShader(CompileShader(ps_5_0, PS())); } }\n";
// Fails to compile whenever it is read: its pass names a function that does not exist.
const char* const MISSING_ENTRY =
    "technique11 U { pass Q { SetVertexShader(CompileShader(vs_5_0, Missing())); } }\n";

Result CompileEffect(const std::string& sText)
{
    return Compile(sText, nullptr, "fx_5_0");
}

} // namespace

// Each text compiled with exit code 0 and without its second technique (the literal lost nothing,
// but was accepted).
TEST_F(D3DCompileSkippedStatements, MissingSemicolonsAndStrayTokensAreErrors)
{
    const std::string sUnexpected =
        "shader.hlsl(5,1): error X3000: syntax error: unexpected token 'technique11'\n";
    // With its ';' the variable ends and the second technique is read, and fails as it should.
    Result result = CompileEffect(VALID_EFFECT + std::string("float4 x = 1;\n") + MISSING_ENTRY);
    EXPECT_EQ(E_FAIL, result.hr);
    EXPECT_EQ("shader.hlsl(5,64): error X3501: 'Missing': entrypoint not found\n", result.sErrors);

    result = CompileEffect(VALID_EFFECT + std::string("float4 x = 1\n") + MISSING_ENTRY);
    EXPECT_EQ(E_FAIL, result.hr);
    EXPECT_EQ(sUnexpected, result.sErrors);
    result = CompileEffect(VALID_EFFECT + std::string("struct S { float a; }\n") + MISSING_ENTRY);
    EXPECT_EQ(E_FAIL, result.hr);
    EXPECT_EQ(sUnexpected, result.sErrors);
    result = CompileEffect(VALID_EFFECT + std::string("@\n") + MISSING_ENTRY);
    EXPECT_EQ(E_FAIL, result.hr);
    EXPECT_EQ(sUnexpected, result.sErrors);

    result = CompileEffect(VALID_EFFECT + std::string("\"abc"));
    EXPECT_EQ(E_FAIL, result.hr);
    EXPECT_EQ("shader.hlsl(4,1): error X3000: syntax error: unterminated string literal\n", result.sErrors);
    result = CompileEffect("string s = 'abc;\n" + std::string(VALID_EFFECT));
    EXPECT_EQ("shader.hlsl(1,12): error X3000: syntax error: unterminated string literal\n", result.sErrors);
}

// The declarations a skip must not pass over, each where it starts, and the statements it passes
// over as before.
TEST_F(D3DCompileSkippedStatements, SkipsEndWhereADeclarationStarts)
{
    // "|" marks where the error is.
    const char* const cases[] = {
        "typedef float4 F4\n|float4 g_v;\n",
        "float4 f(float4 p)\n|cbuffer B { float a; };\n",
        "float g = 2.5f\n|static const float3 k = 1;\n",
        "float4 g\n|float4 F(float4 p) : SV_Target { return p; }\n",
        "float4 g = \"a\" |Texture2D<float4> t;\n",
        "BlendState B { BlendEnable[0] = FALSE; }\n|BlendState C { };\n",
        "cbuffer B\n|float4 F(float4 p) : SV_Target { return p; }\n",
        "cbuffer B { float a |float b; };\n",
        "struct S { float4 a : A |float4 b : B; };\n",
        "float4 g = float4(1, 2, 3, 4) |struct S2 { float a; };\n",
        "F(float4 p) : SV_Target { return p; }\n|float4 g;\n",
        "float4 g :\n|float4 h;\n",
        "float4 f(float4 p) :\n|float4 h;\n",
        "Texture2D <\n|static const float k = 1;\n",
        "float4 g @ |technique11 V { }\n",
    };
    for (const char* pCase : cases)
    {
        std::string sText = VALID_EFFECT + std::string(pCase);
        const std::size_t uiAt = sText.find('|');
        sText.erase(uiAt, 1);
        const std::size_t uiLineStart = sText.rfind('\n', uiAt) + 1;
        const std::string sWhere = "shader.hlsl(" +
                                   std::to_string(std::count(sText.begin(), sText.begin() + uiAt, '\n') + 1) +
                                   "," + std::to_string(uiAt - uiLineStart + 1) + ")";
        const std::string sToken = sText.substr(uiAt, sText.find_first_of(" <(\n", uiAt) - uiAt);
        const Result result = CompileEffect(sText);
        EXPECT_EQ(E_FAIL, result.hr) << sText;
        EXPECT_EQ(sWhere + ": error X3000: syntax error: unexpected token '" + sToken + "'\n", result.sErrors)
            << sText;
    }

    // What the skip passes over by design, and what ends a statement's own declarators.
    const char* const kept[] = {
        "typedef const float4 F4;\ntypedef struct { float a; } S;\n",
        "float4 f(float4 p);\nvoid g(in out float a) : A;\n",
        "static const float k = 1, m[2] = {1, 2};\nVertexShader v = compile vs_5_0 VS();\n",
        "unsigned int u;\nrow_major float4x4 m : M <string s = \"x\";>;\n",
        "Texture2D<float4> t : register(t0);\n",
        "sampler s = sampler_state { Filter = MIN_MAG_MIP_LINEAR; };\nstruct S { float a; } g_s;\n",
        "GeometryShader gs = ConstructGSWithSO(CompileShader(vs_5_0, VS()), \"SV_Position.xyzw\");\n",
    };
    for (const char* pText : kept)
    {
        const Result result = CompileEffect(VALID_EFFECT + std::string(pText));
        EXPECT_EQ(S_OK, result.hr) << pText << result.sErrors;
    }
}

// Inside a technique a statement it does not read ended at its ';' past the passes after it, and
// inside a pass a call without its ';' took the next call with it: the pixel shader was lost.
TEST_F(D3DCompileSkippedStatements, PassesAndPassCallsAreNeverSkipped)
{
    const std::string sFunctions =
        std::string(VALID_EFFECT).substr(0, std::string(VALID_EFFECT).find("technique11"));
    Result result =
        CompileEffect(sFunctions + "technique11 T { pass P { SetVertexShader(CompileShader(vs_5_0, VS()))\n"
                                   "SetPixelShader(CompileShader(ps_5_0, PS())); } }\n");
    EXPECT_EQ(E_FAIL, result.hr);
    EXPECT_EQ("shader.hlsl(4,1): error X3000: syntax error: unexpected token 'SetPixelShader'\n",
              result.sErrors);
    result = CompileEffect(sFunctions + "technique11 T { x = 1\npass P { } }\n");
    EXPECT_EQ(E_FAIL, result.hr);
    EXPECT_EQ("shader.hlsl(4,1): error X3000: syntax error: unexpected token 'pass'\n", result.sErrors);

    // Calls in calls, state assignments and statements left open at the block's end read as before.
    result = CompileEffect(sFunctions + "technique11 T { pass P { VertexShader = compile vs_5_0 VS();\n"
                                        "SetBlendState(B, float4(0, 0, 0, 0), 0xFFFFFFFF); SetPixelShader("
                                        "CompileShader(ps_5_0, PS())) } x { } }\n");
    ASSERT_EQ(S_OK, result.hr) << result.sErrors;
    const d3d11_internal::ShaderBytecode effect = Decode(result.vCode);
    ASSERT_EQ(1u, effect.Techniques[0].Passes.size());
    EXPECT_EQ(1u, effect.Techniques[0].Passes[0].Shaders.size());
    EXPECT_EQ(1u, effect.Techniques[0].Passes[0].States.size());
}

namespace
{

// One declaration of a generated effect: its tokens and the techniques and variables it declares.
struct Declaration
{
    std::vector<std::string> Tokens;
    std::vector<std::string> Names;
};

std::vector<std::string> Split(const std::string& sText)
{
    std::vector<std::string> v;
    std::size_t i = 0;
    while (i < sText.size())
    {
        const std::size_t uiEnd = sText.find(' ', i);
        v.push_back(sText.substr(i, uiEnd == std::string::npos ? std::string::npos : uiEnd - i));
        i = uiEnd == std::string::npos ? sText.size() : uiEnd + 1;
    }
    return v;
}

// A valid effect of iCount declarations of every kind the parser reads or skips, numbered n.
std::vector<Declaration> GenerateEffect(std::mt19937& random, int iCount)
{
    std::vector<Declaration> v;
    v.push_back({Split("float4 VS ( float4 p : POSITION ) : SV_Position { return p ; }"), {}});
    for (int n = 0; n < iCount; ++n)
    {
        const std::string s = std::to_string(n);
        switch (random() % 10)
        {
        case 0:
            v.push_back({Split("float4 g_v" + s + " ;"), {"g_v" + s}});
            break;
        case 1:
            v.push_back(
                {Split("static const float3 g_k" + s + " = float3 ( 1 , 2 , 3 ) , g_m" + s + " = 2.5f ;"),
                 {"g_k" + s, "g_m" + s}});
            break;
        case 2:
            v.push_back({Split("Texture2D < float4 > g_t" + s + " : register ( t0 ) ;"), {"g_t" + s}});
            break;
        case 3:
            v.push_back({Split("BlendState g_b" + s + " { BlendEnable [ 0 ] = FALSE ; } ;"), {"g_b" + s}});
            break;
        case 4:
            v.push_back({Split("cbuffer B" + s + " { float4 g_c" + s + " ; float g_d" + s + " [ 2 ] ; } ;"),
                         {"g_c" + s, "g_d" + s}});
            break;
        case 5:
            v.push_back({Split("struct S" + s + " { float4 p : POSITION ; float2 t : TEXCOORD0 ; } ;"), {}});
            break;
        case 6:
            v.push_back(
                {Split("float4 F" + s + " ( float4 p : SV_Position ) : SV_Target { return p ; }"), {}});
            break;
        case 7:
            v.push_back({Split("float4 P" + s + " ( float4 p ) ;"), {}});
            break;
        case 8:
            v.push_back({Split("typedef float4 T" + s + " ;"), {}});
            break;
        default:
            v.push_back({Split("technique11 Tech" + s +
                               " { pass P { SetVertexShader ( CompileShader ( vs_5_0 , "
                               "VS ( ) ) ) ; } }"),
                         {"Tech" + s}});
            break;
        }
    }
    v.push_back({Split("technique11 Last { pass P { } }"), {"Last"}});
    return v;
}

std::string Join(const std::vector<Declaration>& v)
{
    std::string sText;
    for (const Declaration& declaration : v)
    {
        for (const std::string& sToken : declaration.Tokens)
            sText += sToken + " ";
        sText += "\n";
    }
    return sText;
}

// The names of an effect's techniques and variables.
std::set<std::string> Names(const d3d11_internal::ShaderBytecode& effect)
{
    std::set<std::string> names;
    for (const d3d11_internal::EffectTechnique& technique : effect.Techniques)
        names.insert(technique.Name);
    for (const d3d11_internal::EffectVariable& variable : effect.Variables)
        names.insert(variable.Name);
    return names;
}

} // namespace

// Valid effects (fixed seed) with one declaration cut short, a token of it dropped or replaced by
// one the parser cannot read: each fails, or keeps every technique and variable of the others.
TEST_F(D3DCompileSkippedStatements, DamagedDeclarationsFailOrLoseOnlyThemselves)
{
    std::mt19937 random(71u);
    int iFailed = 0;
    int iCompiled = 0;
    for (int iCase = 0; iCase < 1500; ++iCase)
    {
        std::vector<Declaration> v = GenerateEffect(random, 2 + static_cast<int>(random() % 6));
        const Result valid = CompileEffect(Join(v));
        ASSERT_EQ(S_OK, valid.hr) << Join(v) << valid.sErrors;
        const std::set<std::string> all = Names(Decode(valid.vCode));

        const std::size_t uiDamaged = random() % v.size();
        std::vector<std::string>& vTokens = v[uiDamaged].Tokens;
        const std::size_t uiAt = random() % vTokens.size();
        switch (random() % 3)
        {
        case 0:
            vTokens.resize(uiAt);
            break;
        case 1:
            vTokens.erase(vTokens.begin() + static_cast<std::ptrdiff_t>(uiAt));
            break;
        default:
            vTokens[uiAt] = random() % 2 == 0 ? "@" : "#";
            break;
        }
        // "typedef" followed by a variable declaration is a typedef of that name, rightly.
        if (vTokens.size() == 1 && vTokens[0] == "typedef")
            continue;
        const std::string sText = Join(v);
        const Result result = CompileEffect(sText);
        if (result.hr != S_OK)
        {
            ++iFailed;
            continue;
        }
        ++iCompiled;
        const std::set<std::string> kept = Names(Decode(result.vCode));
        for (const std::string& sName : all)
        {
            bool bDamaged = false;
            for (const std::string& sOwn : v[uiDamaged].Names)
                bDamaged = bDamaged || sOwn == sName;
            EXPECT_TRUE(bDamaged || kept.count(sName) == 1) << sName << " lost from\n" << sText;
        }
    }
    EXPECT_GE(iFailed, 400);
    EXPECT_GE(iCompiled, 300);
}
