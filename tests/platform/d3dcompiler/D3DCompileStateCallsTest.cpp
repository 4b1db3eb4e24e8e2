// A pass's state calls (SetBlendState, SetDepthStencilState, SetRasterizerState) are kept as
// text, which the effects split and read when an effect is made. A call with an argument empty,
// missing or extra, a float4 of other than four numbers, a state of another kind, an unknown name
// or an array of state objects compiled, and loaded with another state than the one written or
// failed at load. Each argument is now read as its call takes it, and anything else is an error
// naming the call; the forms that compiled and loaded as written keep their text.

#include "platform/d3d11/D3D11ShaderBytecode.h"
#include "platform/d3dcompiler/d3dcompiler.h"
#include "tests/platform/d3dcompiler/D3DCompileTestSupport.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace
{

using d3dcompile_test::Compile;
using d3dcompile_test::Decode;
using d3dcompile_test::Result;

class D3DCompileStateCalls : public d3dcompile_test::CompilerTest
{
};

// A pass that sets its vertex shader and then makes the call given, on line 5, after a state of
// each kind, arrays of them and a variable that is no state.
std::string CallEffect(const std::string& sCall)
{
    return "float4 VS(float4 p : POSITION) : SV_Position { return p; }\n"
           "BlendState g_bs { BlendEnable[0] = TRUE; }; DepthStencilState g_ds { DepthEnable = FALSE; };\n"
           "RasterizerState g_rs { CullMode = NONE; }; float4 g_v;\n"
           "BlendState g_ba[2] { { BlendEnable[0] = TRUE; }, { } }; RasterizerState g_ra[3] { CullMode = "
           "FRONT; };\n"
           "technique11 T { pass P { SetVertexShader(CompileShader(vs_5_0, VS())); " +
           sCall + "; } }\n";
}

// Each call fails with one error at the token after the "`", naming the call: code and text.
void ExpectCallErrors(const std::vector<std::pair<std::string, std::string>>& vCases)
{
    for (const auto& entry : vCases)
        d3dcompile_test::ExpectEffectErrorAtMark(CallEffect(entry.first), 5, entry.second, entry.first);
}

} // namespace

// Calls damaged by one comma, and each way an argument can differ from what its call takes.
TEST_F(D3DCompileStateCalls, ArgumentsOtherThanTheCallTakesAreErrors)
{
    const std::string sFactor = "3000: 'SetBlendState': the blend factor must be float4(four numbers)";
    const std::string sMask = "3000: 'SetBlendState': the sample mask must be an integer constant from 0 to "
                              "0xFFFFFFFF, or a negative one down to -2147483648";
    const std::string sReference = "3000: 'SetDepthStencilState': the stencil reference must be an integer "
                                   "constant from 0 to 0xFFFFFFFF, or a negative one down to -2147483648";
    const std::string sHalf = "' is no number the blend factor takes: half precision does not hold its value "
                              "exactly, and the effects read it as a float";
    const std::string sNumber =
        "' is no number the blend factor takes: decimal or hexadecimal, within the range of a float";
    ExpectCallErrors({
        // One ',' doubled or dropped: the empty argument was the blend factor, and the factor
        // read as the sample mask 0; the numbers of a float4 read as if whole.
        {"SetBlendState(g_bs,`, float4(0, 0, 0, 0), 0xFFFFFFFF)",
         "3000: 'SetBlendState': argument 2 is empty"},
        {"SetBlendState(g_bs float4(0, 0, 0, 0), 0xFFFFFFFF`)",
         "3000: 'SetBlendState': 3 arguments expected, not 2: SetBlendState(state or NULL, float4 blend "
         "factor, "
         "sample mask)"},
        {"SetBlendState(g_bs, float4(0.0f `0.0f, 0.0f, 0.0f), 0xFFFFFFFF)", sFactor},
        {"SetBlendState(g_bs, float4(0.0f,`, 0.0f, 0.0f, 0.0f), 0xFFFFFFFF)", sFactor},
        {"SetBlendState(g_bs, float4(0, 0, 0, 0) 0xFFFFFFFF`)",
         "3000: 'SetBlendState': 3 arguments expected, not 2: SetBlendState(state or NULL, float4 blend "
         "factor, "
         "sample mask)"},
        {"SetDepthStencilState(g_ds`)", "3000: 'SetDepthStencilState': 2 arguments expected, not 1: "
                                        "SetDepthStencilState(state or NULL, stencil "
                                        "reference)"},
        {"SetDepthStencilState(g_ds, 0`, 0)", "3000: 'SetDepthStencilState': 2 arguments expected, not 3: "
                                              "SetDepthStencilState(state or NULL, stencil "
                                              "reference)"},
        {"SetRasterizerState(`)",
         "3000: 'SetRasterizerState': 1 argument expected, not 0: SetRasterizerState(state "
         "or NULL)"},
        {"SetRasterizerState(g_rs`, 1, 2, 3)",
         "3000: 'SetRasterizerState': 1 argument expected, not 4: SetRasterizerState(state or NULL)"},
        {"SetRasterizerState(`, g_rs)", "3000: 'SetRasterizerState': argument 1 is empty"},
        {"SetRasterizerState(g_rs,`)", "3000: 'SetRasterizerState': argument 2 is empty"},
        // The state: of the call's kind, known, one variable.
        {"SetBlendState(`g_ds, float4(0, 0, 0, 0), 0xFFFFFFFF)",
         "3000: 'SetBlendState': 'g_ds' is a DepthStencilState, not a BlendState"},
        {"SetDepthStencilState(`g_v, 0)",
         "3000: 'SetDepthStencilState': 'g_v' is a float4, not a DepthStencilState"},
        {"SetRasterizerState(`g_missing)", "3004: 'SetRasterizerState': undeclared identifier 'g_missing'"},
        {"SetRasterizerState(`null)", "3004: 'SetRasterizerState': undeclared identifier 'null'"},
        {"SetRasterizerState(`(g_rs))",
         "3000: 'SetRasterizerState': a RasterizerState variable or NULL expected"},
        {"SetRasterizerState(g_rs`[0])",
         "3000: 'SetRasterizerState': a RasterizerState variable or NULL expected"},
        {"SetRasterizerState(`0x0)",
         "3000: 'SetRasterizerState': a RasterizerState variable or NULL expected"},
        // The blend factor: float4 of four numbers, each signed at most once.
        {"SetBlendState(g_bs, float4(0, 0, 0`), 0xFFFFFFFF)", sFactor},
        {"SetBlendState(g_bs, float4(0, 0, 0, 0`, 0), 0xFFFFFFFF)", sFactor},
        {"SetBlendState(g_bs, `g_v, 0xFFFFFFFF)", sFactor},
        {"SetBlendState(g_bs, `float3(0, 0, 0), 0xFFFFFFFF)", sFactor},
        {"SetBlendState(g_bs, float4(0, 0, 0, `g_v.x), 0xFFFFFFFF)", sFactor},
        {"SetBlendState(g_bs, float4(0, 0, - `-1, 0), 0xFFFFFFFF)", sFactor},
        {"SetBlendState(g_bs, float4(0, 0, 0, 0) `* 2, 0xFFFFFFFF)", sFactor},
        {"SetBlendState(g_bs, float4(`1e40, 0, 0, 0), 0xFFFFFFFF)", "3000: 'SetBlendState': '1e40" + sNumber},
        {"SetBlendState(g_bs, float4(0, -`1e39f, 0, 0), 0xFFFFFFFF)",
         "3000: 'SetBlendState': '1e39f" + sNumber},
        {"SetBlendState(g_bs, float4(0, 0, `010, 0), 0xFFFFFFFF)", "3000: 'SetBlendState': '010" + sNumber},
        // A half constant where half precision does not hold its value (HLSL's half and the
        // effects' float differ), or one that is no floating constant.
        {"SetBlendState(g_bs, float4(0, 0, 0, `0.1h), 0xFFFFFFFF)", "3000: 'SetBlendState': '0.1h" + sHalf},
        {"SetBlendState(g_bs, float4(0, 0, -`1e5h, 0), 0xFFFFFFFF)", "3000: 'SetBlendState': '1e5h" + sHalf},
        {"SetBlendState(g_bs, float4(0, `1h, 0, 0), 0xFFFFFFFF)", "3000: 'SetBlendState': '1h" + sNumber},
        {"SetBlendState(g_bs, float4(`1.0fh, 0, 0, 0), 0xFFFFFFFF)",
         "3000: 'SetBlendState': '1.0fh" + sNumber},
        // The sample mask and the stencil reference: an unsigned integer of 32 bits, or a
        // negative int that stands for its bits (-1 loads as 0xFFFFFFFF).
        {"SetBlendState(g_bs, float4(0, 0, 0, 0), `0x100000000)", sMask},
        {"SetBlendState(g_bs, float4(0, 0, 0, 0), `4294967296)", sMask},
        {"SetBlendState(g_bs, float4(0, 0, 0, 0), `-2147483649)", sMask},
        {"SetBlendState(g_bs, float4(0, 0, 0, 0), `-0x80000001)", sMask},
        {"SetBlendState(g_bs, float4(0, 0, 0, 0), `- -1)", sMask},
        {"SetBlendState(g_bs, float4(0, 0, 0, 0), `+1)", sMask},
        {"SetDepthStencilState(g_ds, `-1.0)", sReference},
        {"SetBlendState(g_bs, float4(0, 0, 0, 0), `1.5)", sMask},
        {"SetBlendState(g_bs, float4(0, 0, 0, 0), `0xFF 0)", sMask},
        {"SetDepthStencilState(g_ds, `STENCIL_REF)", sReference},
        {"SetDepthStencilState(g_ds, `1e2)", sReference},
    });
}

// An array of state objects named whole compiled, and the pass got the default state (the record
// keeps no member of an array's elements); an element named by index compiled and failed at load.
// A pass names one state variable: an array or an element of one, in range or not, is an error.
TEST_F(D3DCompileStateCalls, ArraysOfStateObjectsAreErrorsWholeOrIndexed)
{
    const std::string sBlend =
        "3000: 'SetBlendState': 'g_ba' is an array; a pass sets one BlendState variable, not "
        "an array or an element of one";
    const std::string sRasterizer = "3000: 'SetRasterizerState': 'g_ra' is an array; a pass sets one "
                                    "RasterizerState variable, not an array or an element of one";
    ExpectCallErrors({
        {"SetBlendState(`g_ba, float4(0, 0, 0, 0), 0xFFFFFFFF)", sBlend},
        {"SetBlendState(`g_ba[1], float4(0, 0, 0, 0), 0xFFFFFFFF)", sBlend},
        {"SetBlendState(`g_ba[2], float4(0, 0, 0, 0), 0xFFFFFFFF)", sBlend},
        {"SetRasterizerState(`g_ra)", sRasterizer},
        {"SetRasterizerState(`g_ra[0])", sRasterizer},
        {"SetRasterizerState(`g_ra[i])", sRasterizer},
    });
}

// The forms the engine's effects write, NULL and 0 as the state, and numbers as HLSL writes them
// compile, each call kept as the text it was kept as before, and so are the calls of the stages
// the effects bind no shader of, which take NULL only.
TEST_F(D3DCompileStateCalls, CallsAsTheyTakeThemKeepTheirText)
{
    const std::vector<std::pair<const char*, const char*>> vCases = {
        {"SetBlendState(g_bs, float4(0.0f, 0.0f, 0.0f, 0.0f), 0xFFFFFFFF)",
         "g_bs,float4(0.0f,0.0f,0.0f,0.0f),0xFFFFFFFF"},
        {"SetBlendState(NULL, float4(-1, +.5, 1e3, 0x10), 0x0Fu)", "NULL,float4(-1,+.5,1e3,0x10),0x0Fu"},
        {"SetBlendState(0, float4(1.5, 1E-3F, 2.L, 7u), 4294967295)",
         "0,float4(1.5,1E-3F,2.L,7u),4294967295"},
        {"SetDepthStencilState(g_ds, 0)", "g_ds,0"},
        {"SetDepthStencilState(NULL, 0377)", "NULL,0377"},
        {"SetRasterizerState(g_rs)", "g_rs"},
        {"SetRasterizerState(0)", "0"},
        {"SetDomainShader(NULL)", "NULL"},
        {"SetHullShader(0)", "0"},
    };
    for (const auto& entry : vCases)
    {
        const Result result = Compile(CallEffect(entry.first), nullptr, "fx_5_0");
        ASSERT_EQ(S_OK, result.hr) << entry.first << "\n" << result.sErrors;
        const d3d11_internal::EffectPass pass = Decode(result.vCode).Techniques[0].Passes[0];
        ASSERT_EQ(1u, pass.States.size()) << entry.first;
        EXPECT_EQ(std::string(entry.first).substr(0, std::string(entry.first).find('(')),
                  pass.States[0].Call);
        EXPECT_EQ(entry.second, pass.States[0].Arguments) << entry.first;
    }
}
