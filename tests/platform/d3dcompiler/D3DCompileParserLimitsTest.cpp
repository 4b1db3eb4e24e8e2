// Shapes of shader text whose parsing once cost far more than the text's size: template argument
// lists that never close, input signatures of nested structs, and many functions of one name.
// The results are what they always were; what changed is how much work a text can ask for.

#include "platform/d3d11/D3D11ShaderBytecode.h"
#include "platform/d3dcompiler/D3DCompilerControl.h"
#include "platform/d3dcompiler/d3dcompiler.h"
#include "tests/platform/d3dcompiler/D3DCompileTestSupport.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace
{

using d3dcompile_test::Compile;
using d3dcompile_test::Decode;
using d3dcompile_test::Repeat;
using d3dcompile_test::Result;
using d3dcompile_test::Where;

const char* const PIXEL_SHADER = "float4 PSMain() : SV_Target { return 0; }\n";
const char* const VERTEX_TECHNIQUE =
    "technique11 T { pass P { SetVertexShader(CompileShader(vs_5_0, MainVS())); } }\n";

// S0 holds the leaf declaration, each level above it iWidth members of the level below; MainVS
// takes the top level, and a technique compiles it.
std::string StructTree(int iLevels, int iWidth, const std::string& sLeaf)
{
    std::string s = "struct S0 { " + sLeaf + " };\n";
    for (int i = 1; i < iLevels; ++i)
    {
        s += "struct S" + std::to_string(i) + " { S" + std::to_string(i - 1) + " m0";
        for (int m = 1; m < iWidth; ++m)
            s += ", m" + std::to_string(m);
        s += "; };\n";
    }
    return s + "float4 MainVS(S" + std::to_string(iLevels - 1) + " v) : SV_Position { return 0; }\n" +
           VERTEX_TECHNIQUE;
}

// The error of a signature past the limit, at MainVS's declaration.
void ExpectSignatureError(const std::string& sText, const char* pTarget)
{
    const Result result = Compile(sText, pTarget[0] == 'f' ? nullptr : "MainVS", pTarget);
    EXPECT_EQ(E_FAIL, result.hr);
    EXPECT_EQ(Where(sText, "MainVS(") +
                  ": error X3000: 'MainVS': the input signature holds more than 32 elements\n",
              result.sErrors);
}

std::vector<d3d11_internal::SignatureElement> Signature(const std::string& sText)
{
    const Result result = Compile(sText, "MainVS", "vs_5_0");
    EXPECT_EQ(S_OK, result.hr) << result.sErrors;
    if (result.hr != S_OK)
        return {};
    return Decode(result.vCode).InputSignature;
}

class D3DCompileParserLimits : public d3dcompile_test::CompilerTest
{
};

} // namespace

// Each declaration read its template argument list to the end of the text when it never closed:
// 200 KB of "a<;" took half a minute, 160 KB of "a<b;" or of such struct members 20 s. A list that
// never closes opens none, and such a statement, no declaration, is an error at its first token.
TEST_F(D3DCompileParserLimits, UnclosedAngleListsEndWithAnError)
{
    const std::string sAngles = Repeat("Buffer<;\n", 25000);
    ASSERT_GE(sAngles.size(), 200000u);
    const std::string sError = ": error X3000: syntax error: unexpected token 'Buffer'\n";
    Result result = Compile(sAngles + PIXEL_SHADER, "PSMain", "ps_5_0");
    EXPECT_EQ(E_FAIL, result.hr);
    EXPECT_EQ("shader.hlsl(1,1)" + sError, result.sErrors);
    result = Compile(sAngles, nullptr, "fx_5_0");
    EXPECT_EQ("shader.hlsl(1,1)" + sError, result.sErrors);
    result = Compile(Repeat("Buffer<b;\n", 20000) + PIXEL_SHADER, "PSMain", "ps_5_0");
    EXPECT_EQ("shader.hlsl(1,1)" + sError, result.sErrors);
    result =
        Compile("struct S {\n" + Repeat("Buffer<b;\n", 20000) + "};\n" + PIXEL_SHADER, "PSMain", "ps_5_0");
    EXPECT_EQ("shader.hlsl(2,1)" + sError, result.sErrors);
    result = Compile("struct S { float4 p : P; Buffer<; };\nfloat4 MainVS(S s) : SV_Position { return 0; }\n",
                     "MainVS", "vs_5_0");
    EXPECT_EQ("shader.hlsl(1,26)" + sError, result.sErrors);
    // A technique's list that never closes leaves it without its block.
    result = Compile(std::string(PIXEL_SHADER) + "technique11 T < { pass P { } }\n", nullptr, "fx_5_0");
    EXPECT_EQ(E_FAIL, result.hr);
    EXPECT_NE(std::string::npos,
              result.sErrors.find("error X3000: syntax error: '{' expected after technique 'T'"))
        << result.sErrors;
}

// A statement left without its ';' ended only at the next ';' after its block, and an
// initializer's value was read past the block too: 45,000 such cbuffers, 120,000 such passes or
// 40,000 techniques each read the rest of the text (past a minute, 27 s). Each ends with its block.
// A technique holds passes only, and a pass calls only, the last of which may be left open: as
// many such passes or techniques as the text's limit holds.
TEST_F(D3DCompileParserLimits, StatementsLeftOpenEndWithTheirBlock)
{
    const std::string sTechnique =
        "technique11 T0 { pass { SetPixelShader(CompileShader(ps_5_0, PSMain())); } }\n";
    Result result =
        Compile(PIXEL_SHADER + Repeat("cbuffer B{float a=1}\n", 45000) + sTechnique, nullptr, "fx_5_0");
    ASSERT_EQ(S_OK, result.hr) << result.sErrors;
    d3d11_internal::ShaderBytecode effect = Decode(result.vCode);
    ASSERT_EQ(45000u, effect.Variables.size());
    EXPECT_EQ("a", effect.Variables[44999].Name);
    EXPECT_EQ("B", effect.Variables[44999].Buffer);
    EXPECT_EQ(1u, effect.Techniques.size());

    // Passes whose one call is left open, as many as the text's limit takes.
    result = Compile(PIXEL_SHADER + std::string("technique11 T {\n") +
                         Repeat("pass{SetPixelShader(0)}\n", 40000) + "};\n" + sTechnique,
                     nullptr, "fx_5_0");
    ASSERT_EQ(S_OK, result.hr) << result.sErrors;
    effect = Decode(result.vCode);
    ASSERT_EQ(2u, effect.Techniques.size());
    EXPECT_EQ(40000u, effect.Techniques[0].Passes.size());
    EXPECT_EQ(1u, effect.Techniques[1].Passes[0].Shaders.size());

    result = Compile(PIXEL_SHADER + Repeat("technique11 T{pass{SetPixelShader(0)}}\n", 25000) + ";\n",
                     nullptr, "fx_5_0");
    ASSERT_EQ(S_OK, result.hr) << result.sErrors;
    EXPECT_EQ(25000u, Decode(result.vCode).Techniques.size());
}

// A declaration whose annotation held ';' was read again from inside the annotation, so nested
// ones shared what follows the last of them: 40,000 of them read one 300 KB value each (past a
// minute). An annotation is passed over whole, the value after it read once; the variable keeps
// the last CompileShader in it, as before.
TEST_F(D3DCompileParserLimits, DeclarationsSharingOneValueReadItOnce)
{
    const std::string sText =
        PIXEL_SHADER + Repeat("float a<;\n", 40000) + Repeat("> =", 40000) + Repeat("1+", 150000) +
        "1;\nPixelShader ps<;> = CompileShader(ps_4_0, Missing()) + CompileShader(ps_5_0, PSMain());\n" +
        "technique11 T { pass { SetPixelShader(ps); } }\n";
    ASSERT_LT(sText.size(), 1u << 20);
    const Result result = Compile(sText, nullptr, "fx_5_0");
    ASSERT_EQ(S_OK, result.hr) << result.sErrors;
    const d3d11_internal::ShaderBytecode effect = Decode(result.vCode);
    ASSERT_EQ(2u, effect.Variables.size());
    EXPECT_EQ("a", effect.Variables[0].Name);
    EXPECT_EQ("PSMain", Decode(effect.Techniques[0].Passes[0].Shaders[0].Bytecode).Entry);
}

// Each declarator keeps its own copy of its type and buffer names: a 240 KB type shared by
// 120,000 declarators asked for 57 GB and ran out of memory, and so did a long buffer name. The
// copies have a limit far above what ordinary declarations reach.
TEST_F(D3DCompileParserLimits, SharedTypesAndBufferNamesHaveALimit)
{
    const std::string sError = ": error X3000: 'b': declared types and buffer names pass 33554432 bytes\n";
    const std::string sType = "Buffer<" + Repeat("a,", 120000) + "a> ";
    Result result = Compile(sType + Repeat("b,", 120000) + "b;\n", "PSMain", "ps_5_0");
    EXPECT_EQ(E_FAIL, result.hr);
    EXPECT_EQ("shader.hlsl(1,", result.sErrors.substr(0, 14)) << result.sErrors.substr(0, 200);
    EXPECT_NE(std::string::npos, result.sErrors.find(sError)) << result.sErrors.substr(0, 200);
    result = Compile("struct S { " + sType + Repeat("b,", 120000) + "b; };\n", "PSMain", "ps_5_0");
    EXPECT_NE(std::string::npos, result.sErrors.find(sError)) << result.sErrors.substr(0, 200);
    result = Compile("cbuffer " + std::string(400000, 'c') + " { float " + Repeat("b,", 120000) + "b; };\n",
                     "PSMain", "ps_5_0");
    EXPECT_NE(std::string::npos, result.sErrors.find(sError)) << result.sErrors.substr(0, 200);

    // Many ordinary declarations of a long type stay far below it.
    result = Compile("RWStructuredBuffer<vector<float, 4>> " + Repeat("b,", 100000) + "b;\n" + PIXEL_SHADER +
                         "technique11 T { pass { SetPixelShader(CompileShader(ps_5_0, PSMain())); } }\n",
                     nullptr, "fx_5_0");
    ASSERT_EQ(S_OK, result.hr) << result.sErrors;
    EXPECT_EQ(100001u, Decode(result.vCode).Variables.size());
}

// Lists that close keep their whole text, nested ones and ">>" included, and annotations keep
// holding ';'.
TEST_F(D3DCompileParserLimits, ClosedAngleListsKeepTheirText)
{
    const std::string sText = "Texture2D<float4> g_tA;\nRWStructuredBuffer<vector<float, 4>> g_bB;\n"
                              "float4 g_vC < string s = \"a;b\"; >;\n"
                              "Buffer<vector<float, (2 > 1) ? 4 : 2> > g_bD;\n" +
                              std::string(PIXEL_SHADER) +
                              "technique11 T < string s = \";\"; > { pass P < int n = 2; > { "
                              "SetPixelShader(CompileShader(ps_5_0, PSMain())); } }\n";
    const Result result = Compile(sText, nullptr, "fx_5_0");
    ASSERT_EQ(S_OK, result.hr) << result.sErrors;
    const d3d11_internal::ShaderBytecode effect = Decode(result.vCode);
    ASSERT_EQ(4u, effect.Variables.size());
    EXPECT_EQ("Texture2D<float4>", effect.Variables[0].Type);
    EXPECT_EQ("RWStructuredBuffer<vector<float,4>>", effect.Variables[1].Type);
    EXPECT_EQ("g_vC", effect.Variables[2].Name);
    EXPECT_EQ("Buffer<vector<float,(2>1)?4:2>>", effect.Variables[3].Type);
    ASSERT_EQ(1u, effect.Techniques.size());
    ASSERT_EQ(1u, effect.Techniques[0].Passes.size());
    EXPECT_EQ(1u, effect.Techniques[0].Passes[0].Shaders.size());
}

namespace
{

// Where a list opened at tokens [uiOpen] ("<") ends as it was always read: each bracket group
// skipped whole, ">>" closing two levels; vTokens.size() when it does not close.
std::size_t ListEnd(const std::vector<std::string>& vTokens, std::size_t uiOpen)
{
    int iDepth = 0;
    int iBrackets = 0;
    for (std::size_t i = uiOpen; i < vTokens.size(); ++i)
    {
        const std::string& s = vTokens[i];
        iBrackets += s == "(" ? 1 : s == ")" ? -1 : 0;
        if (iBrackets > 0 || s == ")")
            continue;
        iDepth += s == "<" ? 1 : s == ">" ? -1 : s == ">>" ? -2 : 0;
        if (iDepth <= 0)
            return i + 1;
    }
    return vTokens.size();
}

bool IsWordToken(const std::string& s)
{
    return std::isalpha(static_cast<unsigned char>(s[0])) != 0;
}

} // namespace

// Random template lists (fixed seed) of words, numbers, commas, "<", ">", ">>" and parentheses:
// a list that closes gives the type it always gave, and one that does not close opens none: with
// no name after the type the statement declares nothing, an error at its first token.
TEST_F(D3DCompileParserLimits, GeneratedListsReadAsBefore)
{
    std::mt19937 random(20261207u);
    const char* const pieces[] = {"a", "b", "1", ",", "<", "<", ">", ">", ">>", "(", ")"};
    int iClosed = 0;
    int iUnended = 0;
    for (int iCase = 0; iCase < 2000; ++iCase)
    {
        std::vector<std::string> vTokens = {"Buffer", "<"};
        int iOpen = 0;
        const int iLength = 1 + static_cast<int>(random() % 12);
        for (int n = 0; n < iLength; ++n)
        {
            std::string sPiece = pieces[random() % (sizeof pieces / sizeof pieces[0])];
            if (sPiece == ")" && iOpen == 0)
                sPiece = ">";
            iOpen += sPiece == "(" ? 1 : sPiece == ")" ? -1 : 0;
            vTokens.push_back(sPiece);
        }
        for (; iOpen > 0; --iOpen)
            vTokens.push_back(")");
        vTokens.push_back(random() % 2 == 0 ? "v" : ">");
        vTokens.push_back("v");
        std::string sText;
        for (const std::string& sToken : vTokens)
            sText += sToken + " ";
        const Result result = Compile(sText + ";\ntechnique11 X { }\n", nullptr, "fx_5_0");
        const std::size_t uiEnd = ListEnd(vTokens, 1);
        const bool bNamed = uiEnd < vTokens.size() && IsWordToken(vTokens[uiEnd]);
        // Where a name or number follows the variable's name ("v v", "b<1()> v"), the statement
        // should have ended before it.
        if (result.hr != S_OK)
        {
            ++iUnended;
            // A name and "(" after the type make a function, whose parameters' types are checked.
            const std::string sError = bNamed ? "error X3000: syntax error: unexpected token '"
                                              : "(1,1): error X3000: syntax error: unexpected token 'Buffer'";
            ASSERT_TRUE(result.sErrors.find(sError) != std::string::npos ||
                        (bNamed &&
                         result.sErrors.find("error X3000: unrecognized identifier '") != std::string::npos))
                << sText << "\n"
                << result.sErrors;
            continue;
        }
        const d3d11_internal::ShaderBytecode effect = Decode(result.vCode);
        ASSERT_TRUE(bNamed) << sText;
        ++iClosed;
        std::string sType;
        for (std::size_t i = 0; i < uiEnd; ++i)
        {
            if (i > 0 && IsWordToken(vTokens[i]) &&
                (IsWordToken(vTokens[i - 1]) ||
                 std::isdigit(static_cast<unsigned char>(vTokens[i - 1].back()))))
                sType += ' ';
            sType += vTokens[i];
        }
        ASSERT_FALSE(effect.Variables.empty()) << sText;
        EXPECT_EQ(sType, effect.Variables[0].Type) << sText;
        EXPECT_EQ(vTokens[uiEnd], effect.Variables[0].Name) << sText;
    }
    // A name or number after the variable's name is an error there, where it was passed over.
    EXPECT_GT(iClosed, 150);
    EXPECT_LT(iUnended, 1900);
}

// A stage's input signature holds at most 32 elements: a member with a semantic adds one per array
// element, a struct parameter declared as an array adds its struct once.
TEST_F(D3DCompileParserLimits, OneStructHoldsAtMostThirtyTwoElements)
{
    std::string sMembers32;
    for (int i = 0; i < 32; ++i)
        sMembers32 += "float4 p" + std::to_string(i) + " : P" + std::to_string(i) + "; ";
    const std::string sEntry = "float4 MainVS(S s) : SV_Position { return 0; }\n";
    EXPECT_EQ(32u, Signature("struct S { " + sMembers32 + "};\n" + sEntry).size());
    EXPECT_EQ(32u, Signature("struct S { float4 p[32] : P; };\n" + sEntry).size());
    EXPECT_EQ(32u, Signature("struct S { float4 p[4][8] : P; };\n" + sEntry).size());
    EXPECT_EQ(
        32u, Signature("struct S { " + sMembers32 + "};\nfloat4 MainVS(S s[3]) : SV_Position { return 0; }\n")
                 .size());
    const std::vector<d3d11_internal::SignatureElement> vSplit =
        Signature("struct S { float4 p[16] : P; };\nfloat4 MainVS(S s, float4 q[15] : Q, uint i : "
                  "SV_VertexID) : SV_Position { return 0; }\n");
    ASSERT_EQ(32u, vSplit.size());
    EXPECT_EQ("P", vSplit[15].SemanticName);
    EXPECT_EQ(15u, vSplit[15].SemanticIndex);
    EXPECT_EQ("Q", vSplit[30].SemanticName);
    EXPECT_EQ(14u, vSplit[30].SemanticIndex);
    EXPECT_EQ("SV_VertexID", vSplit[31].SemanticName);

    const std::string sOver[] = {
        "struct S { " + sMembers32 + "float4 q : Q; };\n" + sEntry,
        "struct S { float4 p[33] : P; };\n" + sEntry, "struct S { float4 p[65536][65536] : P; };\n" + sEntry,
        "struct S { " + sMembers32 +
            "};\nfloat4 MainVS(S s, uint i : SV_VertexID) : SV_Position { return 0; }\n",
        "struct S { float4 p[16] : P; };\nstruct T { S a, b; float4 c : C; };\n"
        "float4 MainVS(T t) : SV_Position { return 0; }\n"};
    for (const std::string& sText : sOver)
    {
        ExpectSignatureError(sText, "vs_5_0");
        ExpectSignatureError(sText + VERTEX_TECHNIQUE, "fx_5_0");
    }
    // Parameters that are outputs or uniform are not inputs.
    EXPECT_EQ(32u, Signature("struct S { " + sMembers32 +
                             "};\nfloat4 MainVS(S s, out float4 o : O, uniform float4 u : U) : SV_Position "
                             "{ return 0; }\n")
                       .size());
}

// Trees of structs: 8^6 * 32 elements compiled after taking 496 MB, 8^7 * 32 took 3.2 GB and failed
// without a message, 16^8 ran past a minute; a tree without semantics visited every member.
TEST_F(D3DCompileParserLimits, StructTreesEndAtTheLimit)
{
    ExpectSignatureError(StructTree(7, 8, "float4 p[32] : P;"), "fx_5_0");
    ExpectSignatureError(StructTree(8, 8, "float4 p[32] : P;"), "fx_5_0");
    ExpectSignatureError(StructTree(9, 16, "float4 p : P;"), "fx_5_0");
    ExpectSignatureError(StructTree(9, 16, "float4 p : P;"), "vs_5_0");

    Result result = Compile(StructTree(9, 16, "float4 p;"), nullptr, "fx_5_0");
    ASSERT_EQ(S_OK, result.hr) << result.sErrors;
    const d3d11_internal::ShaderBytecode effect = Decode(result.vCode);
    EXPECT_TRUE(Decode(effect.Techniques[0].Passes[0].Shaders[0].Bytecode).InputSignature.empty());
    EXPECT_TRUE(Signature(StructTree(9, 16, "float4 p;")).empty());

    // Within the limit: 2 x 2 x 8 elements; the same struct reached by many members counts each time.
    const std::vector<d3d11_internal::SignatureElement> vSmall =
        Signature(StructTree(3, 2, "float4 p[8] : P;"));
    ASSERT_EQ(32u, vSmall.size());
    for (std::size_t i = 0; i < vSmall.size(); ++i)
        EXPECT_EQ(i % 8, vSmall[i].SemanticIndex);
    ExpectSignatureError(StructTree(3, 3, "float4 p[4] : P;"), "vs_5_0");
    // Members past the eighth level of structs add nothing, as before: the leaf of a tree of ten
    // levels is too deep.
    EXPECT_EQ(1u, Signature(StructTree(9, 1, "float4 p : P;")).size());
    EXPECT_TRUE(Signature(StructTree(10, 1, "float4 p : P;")).empty());
    // A struct that holds itself stops there too.
    EXPECT_EQ(9u,
              Signature("struct S { float4 p : P; S s; };\nfloat4 MainVS(S s) : SV_Position { return 0; }\n")
                  .size());
}

// Every pass call looked its entry up among all functions: 60,000 declarations and 9,000 passes
// took 1.7 s. The entry is still the first function of that name with a body.
TEST_F(D3DCompileParserLimits, PassesCompileTheFirstFunctionWithABody)
{
    // Within the source limit of 1 MiB.
    const std::string sText = Repeat("void f();", 60000) + "\nfloat4 f(float4 a : A) : SV_Position;\n" +
                              "float4 f(float4 p : P, float4 q : Q) : SV_Position { return p; }\n" +
                              "float4 f(float4 r : R) : SV_Position { return r; }\n" + "technique11 T {\n" +
                              Repeat("pass{SetVertexShader(CompileShader(vs_5_0,f()));}\n", 9000) + "}\n";
    ASSERT_LT(sText.size(), 1u << 20);
    const Result result = Compile(sText, nullptr, "fx_5_0");
    ASSERT_EQ(S_OK, result.hr) << result.sErrors;
    const d3d11_internal::ShaderBytecode effect = Decode(result.vCode);
    ASSERT_EQ(1u, effect.Techniques.size());
    ASSERT_EQ(9000u, effect.Techniques[0].Passes.size());
    for (const d3d11_internal::EffectPass& pass : effect.Techniques[0].Passes)
    {
        ASSERT_EQ(1u, pass.Shaders.size());
        const d3d11_internal::ShaderBytecode shader = Decode(pass.Shaders[0].Bytecode);
        ASSERT_EQ("f", shader.Entry);
        ASSERT_EQ(2u, shader.InputSignature.size());
        ASSERT_EQ("P", shader.InputSignature[0].SemanticName);
        ASSERT_EQ("Q", shader.InputSignature[1].SemanticName);
    }
    // A compute entry's thread group is read once, not once per pass: a 400 KB numthreads
    // expression compiled by 11,000 passes ran past two minutes.
    const std::string sCompute =
        "[numthreads(" + Repeat("1*", 200000) + "4, 2, 1)] void c() { }\ntechnique11 C {\n" +
        Repeat("pass{SetComputeShader(CompileShader(cs_5_0,c()));}\n", 11000) + "}\n";
    ASSERT_LT(sCompute.size(), 1u << 20);
    const Result compute = Compile(sCompute, nullptr, "fx_5_0");
    ASSERT_EQ(S_OK, compute.hr) << compute.sErrors;
    const d3d11_internal::ShaderBytecode computeEffect = Decode(compute.vCode);
    ASSERT_EQ(11000u, computeEffect.Techniques[0].Passes.size());
    for (const d3d11_internal::EffectPass& pass : computeEffect.Techniques[0].Passes)
    {
        const d3d11_internal::ShaderBytecode shader = Decode(pass.Shaders[0].Bytecode);
        ASSERT_EQ(4u, shader.NumThreads[0]);
        ASSERT_EQ(2u, shader.NumThreads[1]);
        ASSERT_EQ(1u, shader.NumThreads[2]);
    }
    // Without a body there is no entry.
    const Result declared =
        Compile(Repeat("void f();\n", 100) +
                    "technique11 T { pass { SetVertexShader(CompileShader(vs_5_0, f())); } }\n",
                nullptr, "fx_5_0");
    EXPECT_EQ(E_FAIL, declared.hr);
    EXPECT_NE(std::string::npos, declared.sErrors.find("error X3501: 'f': entrypoint not found"))
        << declared.sErrors;
}
