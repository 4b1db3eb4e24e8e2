// What a technique, a pass and a state object's declaration hold is read whole. A statement the
// compiler did not know there was stepped over to its ';': a misspelled call, a state assignment
// in the old style, a misspelled "pass" or "technique11", a group of techniques, or a stray token
// before a state block compiled, and the pass lost its state, the technique a pass, the effect a
// technique, or the block its members. Each is now an error naming the token it does not know;
// the forms that compiled as written keep their record.

#include "platform/d3d11/D3D11ShaderBytecode.h"
#include "platform/d3dcompiler/d3dcompiler.h"
#include "tests/platform/d3dcompiler/D3DCompileTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace
{

using d3dcompile_test::Compile;
using d3dcompile_test::Decode;
using d3dcompile_test::ExpectEffectErrorAtMark;
using d3dcompile_test::Result;

class D3DCompileEffectStatements : public d3dcompile_test::CompilerTest
{
};

// Functions for every stage and a state object of each kind on lines 1-4; the text given follows
// on line 5.
const char* const DECLARATIONS =
    "float4 VS(float4 p : POSITION) : SV_Position { return p; }\n"
    "float4 HS(float4 p : POSITION) : SV_Position { return p; } float4 DS(float4 p : POSITION) : "
    "SV_Position { return p; }\n"
    "RasterizerState g_rs { CullMode = NONE; }; DepthStencilState g_ds { DepthEnable = FALSE; };\n"
    "BlendState g_bs { BlendEnable[0] = TRUE; };\n";

std::string Effect(const std::string& sLine5)
{
    return DECLARATIONS + sLine5 + "\n";
}

// A technique T of one pass P that sets its vertex shader and then holds the statements given.
std::string PassEffect(const std::string& sStatements)
{
    return Effect("technique11 T { pass P { SetVertexShader(CompileShader(vs_5_0, VS())); " + sStatements +
                  " } }");
}

// Each text fails with one error at the token after the "`" on line 5: code and text.
void ExpectErrors(const std::vector<std::pair<std::string, std::string>>& vCases)
{
    for (const auto& entry : vCases)
        ExpectEffectErrorAtMark(entry.first, 5, entry.second, entry.first);
}

std::string Unexpected(const std::string& sToken)
{
    return "3000: syntax error: unexpected token '" + sToken + "'";
}

d3d11_internal::ShaderBytecode CompiledRecord(const std::string& sText)
{
    const Result result = Compile(sText, nullptr, "fx_5_0");
    EXPECT_EQ(S_OK, result.hr) << sText << "\n" << result.sErrors;
    return result.hr == S_OK ? Decode(result.vCode) : d3d11_internal::ShaderBytecode();
}

} // namespace

// A pass holds calls of the nine it knows, each ended by ';' (the last may end with the pass).
// Anything else is an error at its first token; a call of another name an undeclared identifier.
TEST_F(D3DCompileEffectStatements, APassHoldsOnlyTheCallsItKnows)
{
    const std::string sUndeclared = "3004: undeclared identifier '";
    ExpectErrors({
        {PassEffect("`SetRasterizerStat(g_rs);"), sUndeclared + "SetRasterizerStat'"},
        {PassEffect("`setrasterizerstate(g_rs);"), sUndeclared + "setrasterizerstate'"},
        {PassEffect("`SetVertexShadr(CompileShader(vs_5_0, VS()));"), sUndeclared + "SetVertexShadr'"},
        {PassEffect("`SetStreamOutput(g_bs, 1);"), sUndeclared + "SetStreamOutput'"},
        {PassEffect("`SetRasterizerState;"), Unexpected("SetRasterizerState")},
        {PassEffect("`(SetRasterizerState(g_rs));"), Unexpected("(")},
        {PassEffect("`{ SetRasterizerState(g_rs); }"), Unexpected("{")},
        {PassEffect("`CullMode = NONE;"), Unexpected("CullMode")},
        {PassEffect("`VertexShader = compile vs_5_0 VS();"), Unexpected("VertexShader")},
        {PassEffect("`pass Q { }"), Unexpected("pass")},
        {PassEffect("`1;"), Unexpected("1")},
        // A call not ended by ';' before the next statement.
        {PassEffect("SetDepthStencilState(g_ds, 2) `CullMode;"), Unexpected("CullMode")},
        {PassEffect("SetDepthStencilState(g_ds, 2) `SetRasterizerState(g_rs);"),
         Unexpected("SetRasterizerState")},
        {PassEffect("SetRasterizerState(g_rs) `= 1;"), Unexpected("=")},
        // Stages the effects cannot bind: only NULL is taken.
        {PassEffect("SetHullShader(`CompileShader(hs_5_0, HS()));"),
         "3000: 'SetHullShader': the effects bind no hull shader; only NULL or 0 is taken"},
        {PassEffect("SetDomainShader(`CompileShader(ds_5_0, DS()));"),
         "3000: 'SetDomainShader': the effects bind no domain shader; only NULL or 0 is taken"},
        {PassEffect("SetHullShader(`g_rs);"),
         "3000: 'SetHullShader': the effects bind no hull shader; only NULL or 0 is taken"},
    });

    // What was read stays as it was: lone ';', a last call without one, NULL for every stage.
    const d3d11_internal::ShaderBytecode record =
        CompiledRecord(PassEffect("; SetHullShader(NULL); SetDomainShader(0);; SetGeometryShader(NULL); "
                                  "SetPixelShader(0); SetComputeShader(NULL); SetRasterizerState(g_rs)"));
    ASSERT_EQ(1u, record.Techniques.size());
    const d3d11_internal::EffectPass& pass = record.Techniques[0].Passes.at(0);
    EXPECT_EQ(4u, pass.Shaders.size());
    ASSERT_EQ(3u, pass.States.size());
    EXPECT_EQ("SetHullShader", pass.States[0].Call);
    EXPECT_EQ("NULL", pass.States[0].Arguments);
    EXPECT_EQ("SetDomainShader", pass.States[1].Call);
    EXPECT_EQ("SetRasterizerState", pass.States[2].Call);
    EXPECT_EQ("g_rs", pass.States[2].Arguments);

    // The statements are read after preprocessing: a macro that makes nothing or the ';', and a
    // group left out, hold no statement; a macro that makes an unknown one is an error.
    const std::string sMacros = "#define NOTHING\n#define END ;\n#define CALL SetRasterizerStat(g_rs)\n";
    const d3d11_internal::ShaderBytecode preprocessed = CompiledRecord(
        sMacros + Effect("technique11 T { pass P { NOTHING SetVertexShader(CompileShader(vs_5_0, VS())) END\n"
                         "#if 0\nCullMode = NONE;\n#endif\nSetRasterizerState(g_rs) NOTHING } }"));
    ASSERT_EQ(1u, preprocessed.Techniques.size());
    EXPECT_EQ(1u, preprocessed.Techniques[0].Passes.at(0).Shaders.size());
    EXPECT_EQ(1u, preprocessed.Techniques[0].Passes.at(0).States.size());
    const Result result = Compile(sMacros + PassEffect("CALL;"), nullptr, "fx_5_0");
    EXPECT_EQ(E_FAIL, result.hr);
    EXPECT_NE(std::string::npos,
              result.sErrors.find("error X3004: undeclared identifier 'SetRasterizerStat'"))
        << result.sErrors;
}

// A technique holds passes (a lone ';' between them); anything else is an error at its first token.
TEST_F(D3DCompileEffectStatements, ATechniqueHoldsOnlyPasses)
{
    ExpectErrors({
        {Effect("technique11 T { `pas Q { SetRasterizerState(g_rs); } }"), Unexpected("pas")},
        {Effect("technique11 T { pass P { } `pas Q { SetRasterizerState(g_rs); } }"), Unexpected("pas")},
        {Effect("technique11 T { pass P { } `pas Q { SetRasterizerState(g_rs); }; }"), Unexpected("pas")},
        {Effect("technique11 T { `int x; pass P { } }"), Unexpected("int")},
        {Effect("technique11 T { pass P { } `SetRasterizerState(g_rs); }"), Unexpected("SetRasterizerState")},
        {Effect("technique11 T { pass P { } `technique11 U { pass P { } } }"), Unexpected("technique11")},
        {Effect("technique11 T { `{ } pass P { } }"), Unexpected("{")},
    });

    const d3d11_internal::ShaderBytecode record = CompiledRecord(
        Effect("technique11 T { ; pass P { }; ; pass Q < int i = 1; > { SetRasterizerState(g_rs); } "
               "}"));
    ASSERT_EQ(1u, record.Techniques.size());
    ASSERT_EQ(2u, record.Techniques[0].Passes.size());
    EXPECT_EQ("Q", record.Techniques[0].Passes[1].Name);
    EXPECT_EQ(1u, record.Techniques[0].Passes[1].States.size());
}

// A block after a declaration belongs to a state object, an interface, a class or a namespace
// only: another type's is an error naming it, a type neither HLSL nor the text has (a misspelled
// "technique11") an unrecognized identifier, and a group an error naming fxgroup.
TEST_F(D3DCompileEffectStatements, ABlockFollowsOnlyTheTypesThatTakeOne)
{
    const std::string sGroup =
        "3000: 'fxgroup': groups of techniques are not read; declare their techniques at the top level";
    const std::string sTechnique = "technique11 A { pass P { SetRasterizerState(g_rs); } } ";
    const std::string sBlock =
        "': only state objects, interfaces, classes and namespaces are declared with a block";
    const std::string sUnrecognized = "3000: unrecognized identifier '";
    ExpectErrors({
        {Effect(sTechnique + "`technique1 B { pass P { SetRasterizerState(g_rs); } }"),
         sUnrecognized + "technique1'"},
        {Effect(sTechnique + "`Technique11 B { pass P { } }"), sUnrecognized + "Technique11'"},
        {Effect(sTechnique + "`blendstate bs { BlendEnable[0] = TRUE; };"), sUnrecognized + "blendstate'"},
        {Effect(sTechnique + "static `float4 v { 1 };"), "3000: 'float4" + sBlock},
        {Effect(sTechnique + "`Foo x[2] < int i = 1; > { a = 1; };"), sUnrecognized + "Foo'"},
        {Effect(sTechnique + "`Texture2D<float4> t { a = 1; };"), "3000: 'Texture2D<float4>" + sBlock},
        {Effect(sTechnique + "`fxgroup G { technique11 B { pass P { } } }"), sGroup},
        {Effect("`fxgroup G { technique11 B { pass P { } } }"), sGroup},
        {Effect("`fxgroup G { technique11 B { pass P { } } } " + sTechnique), sGroup},
    });

    // The blocks HLSL and the effects read keep compiling.
    const d3d11_internal::ShaderBytecode record = CompiledRecord(Effect(
        "SamplerState g_s { Filter = MIN_MAG_MIP_LINEAR; AddressU = CLAMP; }; SamplerComparisonState "
        "g_c { ComparisonFunc = LESS; }; interface I { float f(); }; class C { float g() { return 1; } "
        "}; namespace N { float h() { return 2; } }; struct S { float a; }; cbuffer B { float b; }; "
        "tbuffer TB { float c; }; " +
        sTechnique));
    ASSERT_EQ(1u, record.Techniques.size());
    bool bSampler = false;
    for (const d3d11_internal::EffectVariable& variable : record.Variables)
        if (variable.Name == "g_s")
        {
            bSampler = true;
            EXPECT_EQ(2u, variable.Assignments.size());
        }
    EXPECT_TRUE(bSampler);
}

// A state object's block follows its name (with its array size, annotations); a stray token or
// an '=' before it was an error nowhere and the block was dropped, members unchecked.
TEST_F(D3DCompileEffectStatements, AStateObjectsBlockFollowsItsName)
{
    const std::string sUse =
        " technique11 T { pass P { SetRasterizerState(rs); SetBlendState(bs, float4(0, 0, 0, 0), "
        "0xFFFFFFFF); SetDepthStencilState(ds, 0); } }";
    const std::string sOthers = " BlendState bs; DepthStencilState ds; RasterizerState rs;";
    ExpectErrors({
        {Effect("RasterizerState rs `1 { CullMode = NONE; }; BlendState bs; DepthStencilState ds;" + sUse),
         Unexpected("1")},
        {Effect("RasterizerState rs `1 { CullMode = BAKC; NoSuchMember = 7; }; BlendState bs; "
                "DepthStencilState ds;" +
                sUse),
         Unexpected("1")},
        {Effect("BlendState bs, `{ BlendEnable[0] = TRUE; }; DepthStencilState ds; RasterizerState rs;" +
                sUse),
         Unexpected("{")},
        {Effect("RasterizerState rs `= { CullMode = NONE; }; BlendState bs; DepthStencilState ds;" + sUse),
         Unexpected("=")},
        {Effect("DepthStencilState ds `= NULL; BlendState bs; RasterizerState rs;" + sUse), Unexpected("=")},
        {Effect("RasterizerState rs { CullMode = NONE; } `rs2; BlendState bs; DepthStencilState ds;" + sUse),
         Unexpected("rs2")},
        {Effect("float4 v `1;" + sOthers + sUse), Unexpected("1")},
    });

    const d3d11_internal::ShaderBytecode record = CompiledRecord(
        Effect("RasterizerState a < int i = 1; > { CullMode = NONE; }, b { FillMode = WIREFRAME; }; "
               "BlendState c[2] { { BlendEnable[0] = TRUE; }, { } }; SamplerState d = sampler_state { };"
               "technique11 T { pass P { SetRasterizerState(b); } }"));
    int iFound = 0;
    for (const d3d11_internal::EffectVariable& variable : record.Variables)
        if (variable.Name == "a" || variable.Name == "b")
        {
            ++iFound;
            ASSERT_EQ(1u, variable.Assignments.size()) << variable.Name;
            EXPECT_EQ(variable.Name == "a" ? "CullMode" : "FillMode", variable.Assignments[0].Key);
        }
    EXPECT_EQ(2, iFound);
}
