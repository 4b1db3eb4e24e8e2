// The top level of a text holds declarations (variables, state objects, structs, constant buffers,
// typedefs, functions with their attributes, interfaces, classes, namespaces), techniques and lone
// ';'. A statement the compiler did not read there was stepped over to its ';' or to the next
// declaration, and a declaration of a type neither HLSL nor the text has was a variable of that
// type: a technique misspelled or closed early lost its passes or calls, and a misspelled texture
// bound nothing. Each is now an error at its first token, on its line; the forms that compiled keep
// their record.

#include "platform/d3d11/D3D11ShaderBytecode.h"
#include "platform/d3dcompiler/d3dcompiler.h"
#include "tests/platform/d3dcompiler/D3DCompileTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace
{

using d3dcompile_test::Compile;
using d3dcompile_test::Decode;
using d3dcompile_test::ExpectEffectErrorAtMark;
using d3dcompile_test::Result;

class D3DCompileTopLevel : public d3dcompile_test::CompilerTest
{
};

// A function and a state object of each kind the passes set on lines 1-4; line 5 follows.
const char* const DECLARATIONS = "float4 VS(float4 p : POSITION) : SV_Position { return p; }\n"
                                 "RasterizerState g_rs { CullMode = NONE; };\n"
                                 "BlendState g_bs { BlendEnable[0] = TRUE; };\n"
                                 "struct S { float4 a : A; };\n";
const char* const TECHNIQUE = "technique11 T { pass P { SetVertexShader(CompileShader(vs_5_0, VS())); } }";

std::string Unexpected(const std::string& sToken)
{
    return "3000: syntax error: unexpected token '" + sToken + "'";
}

std::string Unrecognized(const std::string& sType)
{
    return "3000: unrecognized identifier '" + sType + "'";
}

// Each statement, in which a "`" marks the token of its error, fails with that error: on line 5
// before a technique on line 6, and after a technique on line 5 as the text's last statement.
void ExpectStatementErrors(const std::vector<std::pair<std::string, std::string>>& vCases)
{
    for (const auto& [sStatement, sError] : vCases)
    {
        ExpectEffectErrorAtMark(DECLARATIONS + sStatement + "\n" + TECHNIQUE + "\n", 5, sError, sStatement);
        ExpectEffectErrorAtMark(DECLARATIONS + (TECHNIQUE + (" " + sStatement)) + "\n", 5, sError,
                                sStatement + " (last)");
    }
}

d3d11_internal::ShaderBytecode CompiledRecord(const std::string& sText, const char* pEntry = nullptr,
                                              const char* pTarget = "fx_5_0")
{
    const Result result = Compile(sText, pEntry, pTarget);
    EXPECT_EQ(S_OK, result.hr) << sText << "\n" << result.sErrors;
    return result.hr == S_OK ? Decode(result.vCode) : d3d11_internal::ShaderBytecode();
}

// The effect's variables, each "type name" ("type name[size]" for an array, ": semantic" after a
// semantic, "@buffer" after a buffer's).
std::vector<std::string> Variables(const d3d11_internal::ShaderBytecode& record)
{
    std::vector<std::string> v;
    for (const d3d11_internal::EffectVariable& variable : record.Variables)
        v.push_back(variable.Type + " " + variable.Name +
                    (variable.ArraySize == 0 ? "" : "[" + std::to_string(variable.ArraySize) + "]") +
                    (variable.Semantic.empty() ? "" : " : " + variable.Semantic) +
                    (variable.Buffer.empty() ? "" : " @" + variable.Buffer));
    return v;
}

} // namespace

// Each compiled, the statement stepped over (or the technique after it refused, at its own line).
TEST_F(D3DCompileTopLevel, AStatementTheCompilerDoesNotReadIsAnErrorAtItsFirstToken)
{
    ExpectStatementErrors({
        {"`CullMode = FRONT;", Unexpected("CullMode")},
        {"`g_rs = NULL;", Unexpected("g_rs")},
        {"`x = 1;", Unexpected("x")},
        {"`1;", Unexpected("1")},
        {"`1 2 3;", Unexpected("1")},
        {"`frobnicate;", Unexpected("frobnicate")},
        {"`foo = { 1 };", Unexpected("foo")},
        {"`@ { };", Unexpected("@")},
        // After a technique, the call of a pass closed one statement early.
        {"`SetRasterizerState(g_rs);", Unexpected("SetRasterizerState")},
        {"`pass { SetRasterizerState(g_rs); }", Unexpected("pass")},
        {"`pass { SetRasterizerState(g_rs); };", Unexpected("pass")},
        {"`{ pass Q { } }", Unexpected("{")},
        {"`foo(bar) { }", Unexpected("foo")},
        {"`foo(bar) { };", Unexpected("foo")},
        {"`junk", Unexpected("junk")},
        {"`technique1 { pass Q { SetRasterizerState(g_rs); } }", Unexpected("technique1")},
        {"`Technique11 < string s = \"x\"; > { pass Q { SetRasterizerState(g_rs); } }",
         Unexpected("Technique11")},
        {"`static x = 1;", Unexpected("static")},
        {"`S;", Unexpected("S")},
        {"`[numthreads(1, 1, 1)] float4 g;", Unexpected("[")},
        {"`[numthreads(1, 1, 1)];", Unexpected("[")},
        // A declaration read to its end, and what follows it.
        {"float4 g = 1 `junk;", Unexpected("junk")},
        {"float4 g = float4(1, 2, 3, 4) `float4(1, 1, 1, 1);", Unexpected("float4")},
        {"float4 g = (1 + 2) `3;", Unexpected("3")},
        {"float4 g = f(1 `2);", Unexpected("2")},
        {"float g[2] = { 1, 2 } `3;", Unexpected("3")},
        {"float g[2] = { 1 `2 };", Unexpected("2")},
        {"float g = 1 + `;", Unexpected(";")},
        {"float g = `= 1;", Unexpected("=")},
        {"SamplerState g = sampler_state { Filter = POINT; } `junk;", Unexpected("junk")},
        {"struct S2 { float a; } `float b;", Unexpected("float")},
        {"cbuffer B : register(b0) `float4 a; { float4 b; };", Unexpected("float4")},
        {"float4 F(float4 p) : SV_Target `float4 h;", Unexpected("float4")},
        {"typedef float4 F4 `float4 g;", Unexpected("float4")},
    });
}

// Each compiled as a variable of that type, which the effects take for no resource.
TEST_F(D3DCompileTopLevel, ADeclarationsTypeIsOneHlslOrTheTextHas)
{
    ExpectStatementErrors({
        {"`Textue2D g_t;", Unrecognized("Textue2D")},
        {"static const `Flaot4 g = 1;", Unrecognized("Flaot4")},
        {"`Texture4D g_t[2] : register(t0);", Unrecognized("Texture4D")},
        {"`float5 g;", Unrecognized("float5")},
        {"`float4x5 g;", Unrecognized("float4x5")},
        {"`Samplerstate g_s;", Unrecognized("Samplerstate")},
        {"`S2 g;", Unrecognized("S2")},
        {"`S2 F(float4 p) { return p; }", Unrecognized("S2")},
        {"`S2 F(float4 p);", Unrecognized("S2")},
        {"struct S2 { `flaot a; };", Unrecognized("flaot")},
        {"cbuffer B { `flaot a; };", Unrecognized("flaot")},
        {"typedef `flaot F;", Unrecognized("flaot")},
        {"`technique1 B { pass P { SetRasterizerState(g_rs); } }", Unrecognized("technique1")},
        // A keyword where the type goes is out of place, not a type nobody declared.
        {"shared `cbuffer B { float4 a; };", Unexpected("cbuffer")},
        {"static `struct S3 { float a; } g;", Unexpected("struct")},
    });

    // Every base type in every size, the template types, the legacy types (in any case), the state
    // objects, and the types the text declares: struct, typedef (of a struct too), interface, class.
    const std::string sText =
        std::string(DECLARATIONS) +
        "typedef float4 F4, F4x2[2]; typedef struct { float a; } TS; typedef S TS2;\n"
        "interface I { float f(); }; class C : I { float f() { return 1; } };\n"
        "bool b1; int2 i2; uint3 u3; dword d; half4 h4; float1x4 f14; double2x2 d22; min16float3 m3;\n"
        "min10float m10; min16int2x3 mi23; min12int mi12; min16uint4 mu4; unsigned int ui; const uint cu;\n"
        "vector v; vector<float, 2> v2; matrix m; matrix<int, 2, 3> m23; string s; texture t;\n"
        "texture2D t2; textureCUBE tc; sampler sa; sampler2D s2 = sampler_state { Texture = <t2>; };\n"
        "samplerCUBE sc; Texture1DArray ta; Texture2DMS<float4, 4> tms; TextureCubeArray tca;\n"
        "Buffer<float4> bu; RWBuffer<uint> rb; StructuredBuffer<S> sb; RWStructuredBuffer<S> rsb;\n"
        "ByteAddressBuffer bab; RWByteAddressBuffer rbab; AppendStructuredBuffer<S> asb;\n"
        "ConsumeStructuredBuffer<S> csb; RWTexture2D<float4> rt; RWTexture3D<float> rt3;\n"
        "SamplerComparisonState scs; DepthStencilState dss; VertexShader vs; PixelShader ps;\n"
        "GeometryShader gs; ComputeShader cs; HullShader hs; DomainShader ds; Texture tu; Sampler2D su;\n"
        "pixelshader psl; F4 f4; F4x2 f42; TS ts;\n"
        "TS2 ts2; I i; C c; S s0;\n" +
        TECHNIQUE + "\n";
    const std::vector<std::string> vVariables = Variables(CompiledRecord(sText));
    EXPECT_EQ(60u, vVariables.size());
    for (const char* pVariable :
         {"interface I", "class C : I", "unsigned int ui", "vector<float,2> v2", "Texture tu", "Sampler2D su",
          "pixelshader psl", "F4 f4", "F4x2 f42", "TS ts", "TS2 ts2", "I i", "C c", "S s0"})
        EXPECT_NE(vVariables.end(), std::find(vVariables.begin(), vVariables.end(), pVariable)) << pVariable;
}

// Forms realistic texts hold, each read to its end, with their records as they were.
TEST_F(D3DCompileTopLevel, RealisticFormsKeepTheirRecord)
{
    const d3d11_internal::ShaderBytecode record = CompiledRecord(
        std::string(DECLARATIONS) +
        "float4x4 g_mWorld : WORLD < string UIName = \"World\"; int i = 1; >;\n"
        "static const float g_k = 1.0f, g_w[3] = { 0.25f, 0.5f, 0.25f, };\n"
        "groupshared float4 g_shared[64];\n"
        "Texture2D<float4> g_t : register(t0); SamplerState g_s : register(s0);\n"
        "cbuffer cb0 : register(b0) { float4 g_c : packoffset(c0); float g_d; }\n"
        "cbuffer cb1 { row_major float4x4 g_m; };\n"
        "tbuffer tb { float4 g_tb[2]; }\n"
        "GeometryShader g_gs = ConstructGSWithSO(CompileShader(vs_5_0, VS()), \"SV_Position.xyzw\");\n"
        "sampler2D g_s2 = sampler_state { Texture = <g_t>; MinFilter = LINEAR; };\n"
        "float4 g_v = float4(1, -2, 3 * (4 + 5), g_k > 0 ? 1 : 0) + (float4)0 + g_t.Load(int3(0, 0, 0)).x;\n"
        // A template type's constructor, whose ',' was taken for the end of the declarator.
        "vector<float, 2> g_v2 = vector<float, 2>(0, 1);\n"
        "float2x2 g_m2 = { { 1, 2 }, { 3, 4 }, };\n"
        "string g_str = \"a\" \"b\";\n"
        "VertexShader g_vs = compile vs_5_0 VS();\n"
        "[numthreads(8, 8, 1)] void CS(uint3 id : SV_DispatchThreadID) { }\n"
        "[maxvertexcount(3)]\n[instance(2)]\nvoid GS(triangle float4 p[3] : SV_Position, inout "
        "TriangleStream<float4> s) { }\n" +
        TECHNIQUE + "\n");
    const std::vector<std::string> vExpected = {"RasterizerState g_rs",
                                                "BlendState g_bs",
                                                "float4x4 g_mWorld : WORLD",
                                                "float g_k",
                                                "float g_w[3]",
                                                "float4 g_shared[64]",
                                                "Texture2D<float4> g_t",
                                                "SamplerState g_s",
                                                "float4 g_c @cb0",
                                                "float g_d @cb0",
                                                "float4x4 g_m @cb1",
                                                "float4 g_tb[2] @tb",
                                                "GeometryShader g_gs",
                                                "sampler2D g_s2",
                                                "float4 g_v",
                                                "vector<float,2> g_v2",
                                                "float2x2 g_m2",
                                                "string g_str",
                                                "VertexShader g_vs"};
    EXPECT_EQ(vExpected, Variables(record));
}

// "SetVertexShader((CompileShader(...)))" was not a shader, and the prototype "unsigned int
// Count(uint a);" an unexpected '(' (the function was looked for one word after the type);
// "unsigned int f(uint a) { return a; }" was refused at the declaration after it.
TEST_F(D3DCompileTopLevel, ParenthesisedShadersAndTwoWordReturnTypesCompile)
{
    const d3d11_internal::ShaderBytecode record = CompiledRecord(
        std::string(DECLARATIONS) +
        "unsigned int Count(uint a);\nunsigned int f(uint a) { return a; }\nfloat4 g_after;\n"
        "signed int g(int a) { return a; } const unsigned int h(uint a) : A;\n"
        "technique11 T { pass P {\n"
        "SetVertexShader((CompileShader(vs_5_0, VS())));\n"
        "SetGeometryShader(((ConstructGSWithSO((CompileShader(gs_5_0, VS())), \"SV_Position.xyzw\"))));\n"
        "SetPixelShader((NULL)); } }\n");
    EXPECT_EQ((std::vector<std::string>{"RasterizerState g_rs", "BlendState g_bs", "float4 g_after"}),
              Variables(record));
    ASSERT_EQ(1u, record.Techniques.size());
    ASSERT_EQ(1u, record.Techniques[0].Passes.size());
    const d3d11_internal::EffectPass& pass = record.Techniques[0].Passes[0];
    ASSERT_EQ(3u, pass.Shaders.size());
    const d3d11_internal::ShaderBytecode vertex = Decode(pass.Shaders[0].Bytecode);
    EXPECT_EQ("vs_5_0", vertex.Target);
    EXPECT_EQ("VS", vertex.Entry);
    EXPECT_EQ(d3d11_internal::ShaderStage::Geometry, pass.Shaders[1].Stage);
    EXPECT_EQ("gs_5_0", Decode(pass.Shaders[1].Bytecode).Target);
    EXPECT_TRUE(pass.Shaders[2].Bytecode.empty()); // NULL
}

// A member function followed by another member was "unexpected token" at that member; it compiled
// only as the struct's last member or followed by ';'.
TEST_F(D3DCompileTopLevel, AStructsMemberFunctionsKeepTheMembersAfterThem)
{
    const d3d11_internal::ShaderBytecode shader = CompiledRecord(
        "struct V { float4 x : POSITION; float4 Get() { return x; } float4 y : COLOR1; float Twice(float a) "
        "{ return a * 2; } float2 z[2] : TEXCOORD2; };\n"
        "float4 VS(V v) : SV_Position { return v.Get(); }\n",
        "VS", "vs_5_0");
    std::vector<std::string> vElements;
    for (const d3d11_internal::SignatureElement& element : shader.InputSignature)
        vElements.push_back(element.SemanticName + std::to_string(element.SemanticIndex));
    EXPECT_EQ((std::vector<std::string>{"POSITION0", "COLOR1", "TEXCOORD2", "TEXCOORD3"}), vElements);

    // What follows a member function is read as any member.
    ExpectEffectErrorAtMark(std::string(DECLARATIONS) +
                                "struct S2 { float4 x; float4 Get() { return x; } `flaot4 y; };\n" +
                                TECHNIQUE,
                            5, Unrecognized("flaot4"), "a member after a function");
    ExpectEffectErrorAtMark(std::string(DECLARATIONS) +
                                "struct S2 { float4 Get() { return 0; } `x = 1; };\n" + TECHNIQUE,
                            5, Unexpected("x"), "a statement after a function");
}

// A function's parameters are read to their ends, whether or not the function is an entry: each
// "[modifiers] type name [dimensions] [: semantics] [= value]", between ','; "(void)" takes none. A
// type neither HLSL nor the text has, and a token no parameter holds, are errors at it. They were
// passed over to the next ',', so a misspelled type or a stray word compiled.
TEST_F(D3DCompileTopLevel, ParametersAreReadToTheirEnds)
{
    const auto parameterError =
        [](const std::string& sFunction, const std::string& sParameter, const std::string& sToken)
    {
        return "3000: '" + sFunction + "': syntax error in the parameter '" + sParameter +
               "': unexpected token '" + sToken + "'";
    };
    ExpectStatementErrors({
        {"float4 F(`floa4 p : POSITION) : SV_Position { return p; }", Unrecognized("floa4")},
        {"float4 F(in `S2 s) { return 0; }", Unrecognized("S2")},
        {"float4 F(uniform `Texture2 t, float4 p) { return p; }", Unrecognized("Texture2")},
        {"float4 F(float4 p, float4 q `junk) { return p; }", parameterError("F", "float4 q junk", "junk")},
        {"float4 F(float4 p `@) { return p; }", parameterError("F", "float4 p@", "@")},
        {"float4 F(float4 p = 1 `2) { return p; }", Unexpected("2")},
        {"float4 F(float4 p, `) { return p; }", Unexpected(")")},
        {"float4 F(`, float4 p) { return p; }", Unexpected(",")},
        {"float4 F(`void x) { return 0; }", Unexpected("void")},
        {"float4 F(in `) { return 0; }", Unexpected(")")},
    });

    // What parameters hold in the effects people write compiles, as before.
    const std::string sText =
        std::string(DECLARATIONS) +
        "float4 A(void) { return 0; }\n"
        "float4 B(float4 p : POSITION, uniform int n, uniform bool b = false, in const float2 uv[2] : "
        "TEXCOORD0, out float4 c : COLOR0, inout float d) : SV_Position { return p; }\n"
        "struct GS { float4 p : SV_Position; };\n"
        "[maxvertexcount(3)] void G(triangle GS v[3], inout TriangleStream<GS> s, uint id : "
        "SV_PrimitiveID) { }\n"
        "float C(InputPatch<GS, 4> p, const OutputPatch<GS, 4> q, nointerpolation float4 f : F, "
        "SamplerComparisonState sc, Texture2D<float4> t, row_major float4x4 m, unsigned int u, "
        "S s, float2 x = float2(0, 1)) { return 0; }\n" +
        TECHNIQUE + "\n";
    CompiledRecord(sText);
}
