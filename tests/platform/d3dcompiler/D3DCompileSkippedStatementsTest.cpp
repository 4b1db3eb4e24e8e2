// Top-level statements were once skipped up to their ';', and a skip passed over the declarations
// after a statement left without its end. Each statement is now read to its end: one left without
// it is a syntax error where the next begins, one the compiler does not read an error at its first
// token; a string literal that never closes is an error too. Each member of a state block ends at
// its own ';'. Damaged copies of generated effects and of the engine's own fail, or keep what the
// others declare.

#include "platform/d3d11/D3D11ShaderBytecode.h"
#include "platform/d3dcompiler/d3dcompiler.h"
#include "tests/platform/d3dcompiler/D3DCompileEngineEffects.h"
#include "tests/platform/d3dcompiler/D3DCompileTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace
{

using d3dcompile_test::Compile;
using d3dcompile_test::CompileEffect;
using d3dcompile_test::Decode;
using d3dcompile_test::EngineEffects;
using d3dcompile_test::Misspelled;
using d3dcompile_test::Result;
using d3dcompile_test::WithoutHashes;
using d3dcompile_test::Word;
using d3dcompile_test::WordsOf;

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

// VALID_EFFECT's functions, the declarations on line 3, and a technique that sets a depth-stencil
// state (none: a pass call names a state of its kind, which not every text declares).
std::string StateEffect(const std::string& sDeclarations)
{
    const std::string sEffect = VALID_EFFECT;
    return sEffect.substr(0, sEffect.find("technique11")) + sDeclarations +
           "technique11 T { pass P { SetVertexShader(CompileShader(vs_5_0, VS())); "
           "SetDepthStencilState(NULL, 0); } }\n";
}

// Each declaration fails with a syntax error at the token after the "`", the second of the pair.
void ExpectStateErrors(const std::vector<std::pair<const char*, const char*>>& vCases)
{
    for (const auto& entry : vCases)
    {
        std::string sText = StateEffect(entry.first + std::string("\n"));
        const std::size_t uiAt = sText.find('`');
        sText.erase(uiAt, 1);
        const std::string sWhere = "shader.hlsl(3," + std::to_string(uiAt - sText.rfind('\n', uiAt)) + ")";
        const Result result = CompileEffect(sText);
        EXPECT_EQ(E_FAIL, result.hr) << sText;
        EXPECT_EQ(sWhere + ": error X3000: syntax error: unexpected token '" + entry.second + "'\n",
                  result.sErrors)
            << sText;
    }
}

// The effect's variables in order, each "name:" ("name[size]:" for an array) followed by its state
// block's members as "key=value".
std::vector<std::string> StateMembers(const std::string& sDeclarations)
{
    const Result result = CompileEffect(StateEffect(sDeclarations));
    EXPECT_EQ(S_OK, result.hr) << result.sErrors;
    std::vector<std::string> vMembers;
    if (result.hr != S_OK)
        return vMembers;
    for (const d3d11_internal::EffectVariable& variable : Decode(result.vCode).Variables)
    {
        const std::string sSize =
            variable.ArraySize == 0 ? "" : "[" + std::to_string(variable.ArraySize) + "]";
        vMembers.push_back(variable.Name + sSize + ":");
        for (const d3d11_internal::StateAssignment& assignment : variable.Assignments)
            vMembers.push_back(assignment.Key + "=" + assignment.Value);
    }
    return vMembers;
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
    EXPECT_EQ("shader.hlsl(4,1): error X3000: syntax error: unexpected token '@'\n", result.sErrors);

    result = CompileEffect(VALID_EFFECT + std::string("\"abc"));
    EXPECT_EQ(E_FAIL, result.hr);
    EXPECT_EQ("shader.hlsl(4,1): error X3000: syntax error: unterminated string literal\n", result.sErrors);
    result = CompileEffect("string s = 'abc;\n" + std::string(VALID_EFFECT));
    EXPECT_EQ("shader.hlsl(1,12): error X3000: syntax error: unterminated string literal\n", result.sErrors);
}

// A statement left without its end fails where the declaration after it starts, or where it goes
// wrong; one the compiler does not read fails at its first token. The statements once skipped that
// HLSL has are read, and compile.
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
        "|F(float4 p) : SV_Target { return p; }\nfloat4 g;\n",
        "float4 g :\n|float4 h;\n",
        "float4 f(float4 p) :\n|float4 h;\n",
        "|Texture2D <\nstatic const float k = 1;\n",
        "float4 g |@ technique11 V { }\n",
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

    // Typedefs, prototypes and what ends a statement's own declarators.
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
// inside a pass a call without its ';' took the next call with it: the pixel shader was lost. A
// technique holds passes only, and a pass calls only: anything else is an error at its first token.
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
    EXPECT_EQ("shader.hlsl(3,17): error X3000: syntax error: unexpected token 'x'\n", result.sErrors);
    result = CompileEffect(sFunctions + "technique11 T { pass P { VertexShader = compile vs_5_0 VS();\n"
                                        "SetPixelShader(CompileShader(ps_5_0, PS())) } }\n");
    EXPECT_EQ("shader.hlsl(3,26): error X3000: syntax error: unexpected token 'VertexShader'\n",
              result.sErrors);
    result = CompileEffect(sFunctions + "technique11 T { pass P { } x { } }\n");
    EXPECT_EQ("shader.hlsl(3,28): error X3000: syntax error: unexpected token 'x'\n", result.sErrors);

    // Calls in calls and a call left open at the pass's end read as before.
    result = CompileEffect(sFunctions + "technique11 T { pass P {\n"
                                        "SetBlendState(NULL, float4(0, 0, 0, 0), 0xFFFFFFFF); SetPixelShader("
                                        "CompileShader(ps_5_0, PS())) } }\n");
    ASSERT_EQ(S_OK, result.hr) << result.sErrors;
    const d3d11_internal::ShaderBytecode effect = Decode(result.vCode);
    ASSERT_EQ(1u, effect.Techniques[0].Passes.size());
    EXPECT_EQ(1u, effect.Techniques[0].Passes[0].Shaders.size());
    EXPECT_EQ(1u, effect.Techniques[0].Passes[0].States.size());
}

// Two members without a ';' between them were one: "DepthEnable = TRUE DepthWriteMask = ZERO;"
// compiled, and the record held DepthEnable = "TRUE DepthWriteMask=ZERO", which the effects read
// as depth testing off. In a block the effects read, each member is "name = value;" or
// "name[index] = value;", and the value is what the effects read as one: anything else is an error
// where the member should go on or end.
TEST_F(D3DCompileSkippedStatements, StateBlockMembersEndAtTheirSemicolons)
{
    // "`" marks the token the error is at.
    ExpectStateErrors({
        {"DepthStencilState g_ds { DepthEnable = TRUE `DepthWriteMask = ZERO; };", "DepthWriteMask"},
        {"DepthStencilState g_ds { DepthEnable = TRUE; DepthWriteMask = ZERO `};", "}"},
        {"DepthStencilState g_ds { DepthEnable `TRUE; };", "TRUE"},
        {"DepthStencilState g_ds { `= TRUE; };", "="},
        {"DepthStencilState g_ds { DepthEnable = `; };", ";"},
        {"DepthStencilState g_ds { `{ DepthEnable = TRUE; } };", "{"},
        {"BlendState g_b { RenderTargetWriteMask[0] = 0x0F `| 0x30; };", "|"},
        {"BlendState g_b { BlendEnable[1 `+ 1] = TRUE; };", "+"},
        {"BlendState g_b { BlendEnable[`i] = TRUE; };", "i"},
        {"BlendState g_b { BlendEnable[0] `BlendEnable[1] = TRUE; };", "BlendEnable"},
        {"BlendState g_b { BlendEnable[0] = TRUE `[1]; };", "["},
        {"RasterizerState g_r { DepthBias = -1 `- 1; };", "-"},
        {"RasterizerState g_r { DepthBias = - `NONE; };", "NONE"},
        {"RasterizerState g_r { CullMode = `(NONE); };", "("},
        {"BlendState g_b { BlendFactor = float4(0, 0, 0 `1); };", "1"},
        {"BlendState g_b { BlendFactor = float4(0, 0, 0, 1) `float4(1, 1, 1, 1); };", "float4"},
        {"BlendState g_b { BlendFactor = float4(0, 0, 0, g`(1)); };", "("},
    });

    // Each member as written, spaced as the effects read it. (A blend state has no member that
    // takes a call: BlendFactor above is a syntax error before it is an unknown member.)
    const std::vector<std::string> vExpected = {"g_ds:",
                                                "DepthEnable=TRUE",
                                                "DepthWriteMask=ZERO",
                                                "g_r:",
                                                "DepthBias=-1",
                                                "SlopeScaledDepthBias=+1.5f",
                                                "DepthBiasClamp=.25",
                                                "g_s:",
                                                "Filter=MIN_MAG_MIP_LINEAR",
                                                "BorderColor=float4(0,-1,0.5f,1)",
                                                "MaxLOD=FLT_MAX",
                                                "g_b:",
                                                "BlendEnable[1]=TRUE",
                                                "RenderTargetWriteMask[0x1]=0x0F",
                                                "SrcBlend[2]=INV_SRC_ALPHA",
                                                "g_e:"};
    EXPECT_EQ(vExpected,
              StateMembers("DepthStencilState g_ds { DepthEnable = TRUE; DepthWriteMask = ZERO; ; };\n"
                           "RasterizerState g_r { DepthBias = -1; SlopeScaledDepthBias = +1.5f; "
                           "DepthBiasClamp = .25; };\n"
                           "SamplerState g_s { Filter = MIN_MAG_MIP_LINEAR; BorderColor = float4(0, -1, "
                           "0.5f, 1); MaxLOD = FLT_MAX; };\n"
                           "BlendState g_b { BlendEnable [ 1 ] = TRUE; RenderTargetWriteMask[0x1] = 0x0F; "
                           "SrcBlend [ 2 ] = INV_SRC_ALPHA; };\n"
                           "BlendState g_e { };\n"));
}

// The effects never read a sampler's block, and one was refused where its value was more than a
// token or a signed number: "MinLOD = -FLT_MAX" at FLT_MAX. In a block of a kind the effects do
// not read, a value is every token up to its member's ';' or the block's end, brackets passed
// over; a second '=' is the next member without the ';' before it, an error at its name. The blocks
// the effects read keep their rules.
TEST_F(D3DCompileSkippedStatements, UnreadBlocksTakeEachValueToItsSemicolon)
{
    ExpectStateErrors({
        {"SamplerState g_s { MinLOD = -FLT_MAX `MaxLOD = FLT_MAX; };", "MaxLOD"},
        {"SamplerComparisonState g_c { Filter = POINT `BorderColor[0] = 1; };", "BorderColor"},
        {"SamplerState g_s { BorderColor = float4(0, 0, 0, 1) `AddressU = WRAP };", "AddressU"},
        {"SamplerState g_s { MinLOD = `= 0; };", "="},
        {"RasterizerState g_r { DepthBiasClamp = -`FLT_MAX; };", "FLT_MAX"},
    });

    const std::vector<std::string> vExpected = {"g_s:",
                                                "BorderColor=float4(0.0,0.0,0.0,1.0)",
                                                "MinLOD=-FLT_MAX",
                                                "MaxLOD=FLT_MAX",
                                                "g_c:",
                                                "MipLODBias=-(1.0f/2)",
                                                "BorderColor=float4(-FLT_MAX,0,0,1)",
                                                "ComparisonFunc=LESS_EQUAL"};
    EXPECT_EQ(vExpected, StateMembers("SamplerState g_s { BorderColor = float4(0.0, 0.0, 0.0, 1.0); "
                                      "MinLOD = -FLT_MAX; MaxLOD = FLT_MAX; };\n"
                                      "SamplerComparisonState g_c { MipLODBias = -(1.0f / 2); BorderColor = "
                                      "float4(-FLT_MAX, 0, 0, 1); ComparisonFunc = LESS_EQUAL };\n"));
}

// An array of state objects has a block for each element, "{ { ... }, { ... } }", and was refused
// at the second '{'. Each element's block is read by the rules of its kind. The record holds one
// block for each variable, so an array keeps none of its elements' members; a single block after
// an array is that block, as it is for one object.
TEST_F(D3DCompileSkippedStatements, ArraysOfStateObjectsReadABlockForEachElement)
{
    ExpectStateErrors({
        {"SamplerState g_sa[2] { { Filter = MIN_MAG_MIP_LINEAR; } `{ Filter = MIN_MAG_MIP_POINT; } };", "{"},
        {"SamplerState g_sa[2] { { Filter = POINT `AddressU = WRAP; }, { } };", "AddressU"},
        {"RasterizerState g_ra[2] { { CullMode = NONE; }, { DepthBias = - `NONE; } };", "NONE"},
        {"BlendState g_ba[2] { { BlendEnable[0] = TRUE; }, `BlendEnable[0] = TRUE; };", "BlendEnable"},
        {"DepthStencilState g_da[2] { { DepthEnable = TRUE `} };", "}"},
        {"DepthStencilState g_da[2] { { DepthEnable = TRUE; }, `, { } };", ","},
    });

    const std::vector<std::string> vExpected = {
        "g_sa[2]:", "g_da[2]:", "g_ba[3]:", "BlendEnable[0]=TRUE", "g_s:", "Filter=MIN_MAG_MIP_POINT"};
    EXPECT_EQ(vExpected,
              StateMembers("SamplerState g_sa[2] { { Filter = MIN_MAG_MIP_LINEAR; }, { Filter = "
                           "MIN_MAG_MIP_POINT; MinLOD = -FLT_MAX; } };\n"
                           "DepthStencilState g_da[2] { { DepthEnable = TRUE; }, { DepthEnable = FALSE; "
                           "DepthWriteMask = ZERO; }, };\n"
                           "BlendState g_ba[3] { BlendEnable[0] = TRUE; };\n"
                           "SamplerState g_s { Filter = MIN_MAG_MIP_POINT; };\n"));
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
        switch (random() % 16)
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
        case 9:
            v.push_back(
                {Split("DepthStencilState g_ds" + s +
                       " { DepthEnable = TRUE ; DepthWriteMask = ZERO ; DepthFunc = LESS_EQUAL ; } ;"),
                 {"g_ds" + s}});
            break;
        case 10:
            v.push_back({Split("RasterizerState g_r" + s +
                               " { CullMode = NONE ; DepthBias = - 1 ; SlopeScaledDepthBias = 1.5f ; } ;"),
                         {"g_r" + s}});
            break;
        case 11:
            v.push_back({Split("SamplerState g_s" + s +
                               " { BorderColor = float4 ( 0 , 0 , 0 , 1 ) ; AddressU = WRAP ; } ;"),
                         {"g_s" + s}});
            break;
        case 12:
            v.push_back({Split("SamplerState g_l" + s + " { MinLOD = - FLT_MAX ; MaxLOD = FLT_MAX ; } ;"),
                         {"g_l" + s}});
            break;
        case 13:
            v.push_back({Split("SamplerState g_sa" + s +
                               " [ 2 ] { { Filter = MIN_MAG_MIP_LINEAR ; } , { MinLOD = - FLT_MAX ; } } ;"),
                         {"g_sa" + s}});
            break;
        case 14:
            v.push_back({Split("DepthStencilState g_da" + s +
                               " [ 2 ] { { DepthEnable = FALSE ; } , { DepthWriteMask = ZERO ; } } ;"),
                         {"g_da" + s}});
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

// Each technique and variable of an effect by name, as a record of its own. A technique's pass
// shaders are left empty: they are read from the entry function, which every technique shares.
std::map<std::string, std::vector<std::uint8_t>> Entries(const std::vector<std::uint8_t>& vCode)
{
    const d3d11_internal::ShaderBytecode effect = Decode(vCode);
    std::map<std::string, std::vector<std::uint8_t>> entries;
    for (const d3d11_internal::EffectTechnique& technique : effect.Techniques)
    {
        d3d11_internal::ShaderBytecode one;
        one.Target = effect.Target;
        one.Techniques.push_back(technique);
        for (d3d11_internal::EffectPass& pass : one.Techniques[0].Passes)
            for (d3d11_internal::PassShader& shader : pass.Shaders)
                shader.Bytecode.clear();
        entries[technique.Name] = d3d11_internal::EncodeShaderBytecode(one);
    }
    for (const d3d11_internal::EffectVariable& variable : effect.Variables)
    {
        d3d11_internal::ShaderBytecode one;
        one.Target = effect.Target;
        one.Variables.push_back(variable);
        entries[variable.Name] = d3d11_internal::EncodeShaderBytecode(one);
    }
    return entries;
}

// The names of an effect's techniques, passes and state object declarations a misspelling of
// which the compiler must notice, by their words' indices: "technique11", "pass", the calls of
// the passes (and of the #define lines, which write passes), the state object types, and the members
// and values of the blocks the effects read. Not the names a technique, a pass or a state object
// is given, which a record holds whatever they are. Into *pOpens the "{" of each technique and
// each pass.
std::vector<std::size_t> DeclarationNames(const std::vector<Word>& vWords, const std::string& sText,
                                          std::vector<std::size_t>* pOpens)
{
    enum class In
    {
        Other,
        Technique,
        ReadState,
        Sampler,
    };
    std::vector<std::size_t> vNames;
    In in = In::Other;
    for (std::size_t n = 0; n < vWords.size(); ++n)
    {
        const Word& word = vWords[n];
        const bool bNamed = word.Text == "technique11" || word.Text == "pass";
        if (word.Depth == 0 && !word.Define)
        {
            in = word.Text == "technique11" ? In::Technique
                 : word.Text == "BlendState" || word.Text == "DepthStencilState" ||
                         word.Text == "RasterizerState"
                     ? In::ReadState
                 : word.Text == "SamplerState" || word.Text == "SamplerComparisonState" ? In::Sampler
                                                                                        : In::Other;
            if (in == In::Other)
                continue;
            vNames.push_back(n++); // the type or keyword; the name after it is its own
        }
        else if ((in == In::Technique && (word.Call || word.Text == "pass")) || in == In::ReadState ||
                 (word.Define && word.Call))
        {
            vNames.push_back(n);
            if (word.Text == "pass")
                ++n;
        }
        if (bNamed && !word.Define)
            pOpens->push_back(sText.find('{', word.At));
    }
    return vNames;
}

} // namespace

// Valid effects (fixed seed) with one declaration cut short, a token of it dropped or replaced by
// one the parser cannot read: each fails, or keeps every technique and variable of the others as
// they were. With one of its ';', '}' and ')' dropped, it fails or keeps the whole record.
TEST_F(D3DCompileSkippedStatements, DamagedDeclarationsFailOrLoseOnlyThemselves)
{
    std::mt19937 random(71u);
    int iFailed = 0;
    int iCompiled = 0;
    int iCloserKept = 0;
    for (int iCase = 0; iCase < 1500; ++iCase)
    {
        std::vector<Declaration> v = GenerateEffect(random, 2 + static_cast<int>(random() % 6));
        const Result valid = CompileEffect(Join(v));
        ASSERT_EQ(S_OK, valid.hr) << Join(v) << valid.sErrors;
        const std::map<std::string, std::vector<std::uint8_t>> all = Entries(valid.vCode);

        const std::size_t uiDamaged = random() % v.size();
        std::vector<std::string>& vTokens = v[uiDamaged].Tokens;
        const std::size_t uiAt = random() % vTokens.size();
        std::vector<std::size_t> vClosers;
        for (std::size_t i = 0; i < vTokens.size(); ++i)
            if (vTokens[i] == ";" || vTokens[i] == "}" || vTokens[i] == ")")
                vClosers.push_back(i);
        const unsigned uiKind = random() % 4;
        switch (uiKind)
        {
        case 0:
            vTokens.resize(uiAt);
            break;
        case 1:
            vTokens.erase(vTokens.begin() + static_cast<std::ptrdiff_t>(uiAt));
            break;
        case 2:
            vTokens[uiAt] = random() % 2 == 0 ? "@" : "#";
            break;
        default:
            vTokens.erase(vTokens.begin() +
                          static_cast<std::ptrdiff_t>(vClosers[random() % vClosers.size()]));
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
        if (uiKind == 3)
        {
            EXPECT_EQ(WithoutHashes(valid.vCode), WithoutHashes(result.vCode)) << sText;
            ++iCloserKept;
        }
        const std::map<std::string, std::vector<std::uint8_t>> kept = Entries(result.vCode);
        for (const auto& entry : all)
        {
            const std::vector<std::string>& vOwn = v[uiDamaged].Names;
            if (std::find(vOwn.begin(), vOwn.end(), entry.first) != vOwn.end())
                continue;
            auto it = kept.find(entry.first);
            EXPECT_TRUE(it != kept.end() && it->second == entry.second)
                << entry.first << " lost or changed in\n"
                << sText;
        }
    }
    EXPECT_GE(iFailed, 400);
    EXPECT_GE(iCompiled, 200);
    EXPECT_GE(iCloserKept, 40);
}

// Each ';', '}' and ')' of the engine's effects dropped in turn, and each ',' dropped and doubled,
// one text each: it fails, or compiles to the record of the whole effect (a ';' dropped or a ','
// doubled in a function body, which is only checked for balance, leaves the record as it is). A
// state block that lost the ';' between two members compiled with the two as one value; a pass
// call with a ',' dropped or doubled compiled, and the effects read its arguments shifted.
TEST_F(D3DCompileSkippedStatements, DamagedEngineEffectsFailOrKeepTheirRecord)
{
    // Every damaged text in Release; every uiStride-th under the sanitizers, which make each
    // compile far slower.
    const std::size_t uiStride = kv_test::ShapeSize(1, 2, 7);
    int iEffects = 0;
    int iFailed = 0;
    int iKept = 0;
    int iCommaFailed = 0;
    int iCommaKept = 0;
    std::size_t uiDamage = 0;
    for (const auto& [sName, sText] : EngineEffects())
    {
        ++iEffects;
        const Result whole = CompileEffect(sText);
        ASSERT_EQ(S_OK, whole.hr) << sName << whole.sErrors;
        const std::vector<std::uint8_t> vWhole = WithoutHashes(whole.vCode);
        for (std::size_t i = 0; i < sText.size(); ++i)
        {
            const char c = sText[i];
            if (c != ';' && c != '}' && c != ')' && c != ',')
                continue;
            // A closer is dropped; a ',' is dropped, then doubled.
            for (const bool bDouble : {false, true})
            {
                if ((bDouble && c != ',') || uiDamage++ % uiStride != 0)
                    continue;
                std::string sDamaged = sText;
                if (bDouble)
                    sDamaged.insert(i, 1, ',');
                else
                    sDamaged.erase(i, 1);
                const Result result = CompileEffect(sDamaged);
                const bool bFailed = result.hr != S_OK;
                const bool bKept = !bFailed && WithoutHashes(result.vCode) == vWhole;
                iFailed += bFailed ? 1 : 0;
                iKept += bKept ? 1 : 0;
                iCommaFailed += c == ',' && bFailed ? 1 : 0;
                iCommaKept += c == ',' && bKept ? 1 : 0;
                EXPECT_TRUE(bFailed || bKept)
                    << sName << " compiled to another record with the '" << c << "' of line "
                    << std::count(sText.begin(), sText.begin() + i, '\n') + 1 << ", column "
                    << i - sText.rfind('\n', i) << (bDouble ? " doubled" : " dropped");
            }
        }
    }
    EXPECT_GE(iEffects, 3);
    const int iStride = static_cast<int>(uiStride);
    EXPECT_GE(iFailed, 650 / iStride);
    EXPECT_GE(iKept, 600 / iStride);
    // Of the texts with a ',' dropped or doubled, those of the pass calls and of the parameter
    // lists fail (111 fail and 439 are kept in Release, every text).
    EXPECT_GE(iCommaFailed, 90 / iStride);
    EXPECT_GE(iCommaKept, 350 / iStride);
}

// Each name of the engine's techniques, passes and state object declarations (see
// DeclarationNames) with one letter dropped, doubled and changed, one text each: it fails, or
// compiles to the record of the whole effect. And a statement the compiler does not know put in
// each pass and each technique: it fails. A misspelled call, "pass" or "technique11" was passed
// over with what it held, and the pass lost its state, the technique a pass, the effect a
// technique.
TEST_F(D3DCompileSkippedStatements, MisspelledNamesInEngineEffectsFailOrKeepTheirRecord)
{
    const std::size_t uiStride = kv_test::ShapeSize(1, 2, 7);
    const char* const passStatements[] = {"CullMode = NONE;",      "SetRasterizerStat(NULL);",
                                          "VertexShader = NULL;",  "{ }",
                                          "setpixelshader(NULL);", "SetPixelShader;"};
    const char* const techniqueStatements[] = {"pas Q { }", "int x;", "SetPixelShader(NULL);",
                                               "technique11 U { pass { } }", "x = 1;"};
    int iFailed = 0;
    int iInserted = 0;
    std::size_t uiDamage = 0;
    for (const auto& [sName, sText] : EngineEffects())
    {
        const Result whole = CompileEffect(sText);
        ASSERT_EQ(S_OK, whole.hr) << sName << whole.sErrors;
        const std::vector<std::uint8_t> vWhole = WithoutHashes(whole.vCode);
        const std::vector<Word> vWords = WordsOf(sText);
        std::vector<std::size_t> vOpens;
        for (const std::size_t n : DeclarationNames(vWords, sText, &vOpens))
        {
            const Word& word = vWords[n];
            for (int iKind = 0; iKind < 3; ++iKind)
            {
                if (uiDamage++ % uiStride != 0)
                    continue;
                const std::string sDamaged = Misspelled(sText, word, n, iKind);
                const Result result = CompileEffect(sDamaged);
                const bool bFailed = result.hr != S_OK;
                const bool bKept = !bFailed && WithoutHashes(result.vCode) == vWhole;
                iFailed += bFailed ? 1 : 0;
                EXPECT_TRUE(bFailed || bKept)
                    << sName << " compiled to another record with '" << word.Text << "' of line "
                    << std::count(sText.begin(), sText.begin() + static_cast<std::ptrdiff_t>(word.At), '\n') +
                           1
                    << " written '" << sDamaged.substr(word.At, word.Text.size() + 1 - (iKind == 0 ? 2 : 0))
                    << "'";
            }
        }
        for (std::size_t k = 0; k < vOpens.size(); ++k)
        {
            const bool bPass = sText.compare(sText.rfind("pass", vOpens[k]), 4, "pass") == 0 &&
                               sText.rfind("pass", vOpens[k]) > sText.rfind("technique11", vOpens[k]);
            const char* pStatement = bPass ? passStatements[k % std::size(passStatements)]
                                           : techniqueStatements[k % std::size(techniqueStatements)];
            if (uiDamage++ % uiStride != 0)
                continue;
            std::string sDamaged = sText;
            sDamaged.insert(vOpens[k] + 1, std::string(" ") + pStatement + " ");
            ++iInserted;
            EXPECT_NE(S_OK, CompileEffect(sDamaged).hr)
                << sName << " compiled with \"" << pStatement << "\" in the "
                << (bPass ? "pass" : "technique") << " of line "
                << std::count(sText.begin(), sText.begin() + static_cast<std::ptrdiff_t>(vOpens[k]), '\n') +
                       1;
        }
    }
    const int iStride = static_cast<int>(uiStride);
    EXPECT_GE(iFailed, 600 / iStride);
    EXPECT_GE(iInserted, 50 / iStride);
}
