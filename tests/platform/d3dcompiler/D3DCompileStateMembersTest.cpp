// The members of the blend, depth-stencil and rasterizer blocks are kept as text, which the effects
// read when an effect is made. A misspelled member or enum name, an index past the last render
// target, a mask of more than 8 bits, a bool that is neither TRUE, FALSE nor an integer, a
// fractional depth bias and a float out of range compiled, and the effects left the default or
// read another value without a word. Each member is now checked as the effects read it, and
// anything else is an error naming the member and its block.

#include "tests/platform/d3dcompiler/D3DCompileTestSupport.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <utility>
#include <vector>

namespace
{

using d3dcompile_test::Compile;
using d3dcompile_test::Result;

class D3DCompileStateMembers : public d3dcompile_test::CompilerTest
{
};

// Each declaration, on line 2 of an effect, fails with one error at the token after the "`": the
// second of the pair, after "error X3000: ".
void ExpectMemberErrors(const std::vector<std::pair<std::string, std::string>>& vCases)
{
    for (const auto& entry : vCases)
        d3dcompile_test::ExpectEffectErrorAtMark(
            "float4 VS(float4 p : POSITION) : SV_Position { return p; }\n" + entry.first +
                "\ntechnique11 T { pass P { SetVertexShader(CompileShader(vs_5_0, VS())); } }\n",
            2, "3000: " + entry.second, entry.first);
}

} // namespace

TEST_F(D3DCompileStateMembers, MembersTheEffectsCannotReadAsWrittenAreErrors)
{
    const std::string sBlends = "ZERO, ONE, SRC_COLOR, INV_SRC_COLOR, SRC_ALPHA, INV_SRC_ALPHA, DEST_ALPHA, "
                                "INV_DEST_ALPHA, DEST_COLOR, INV_DEST_COLOR, SRC_ALPHA_SAT, BLEND_FACTOR, "
                                "INV_BLEND_FACTOR, SRC1_COLOR, INV_SRC1_COLOR, SRC1_ALPHA, INV_SRC1_ALPHA";
    const std::string sComparisons =
        "NEVER, LESS, EQUAL, LESS_EQUAL, GREATER, NOT_EQUAL, GREATER_EQUAL, ALWAYS";
    const std::string sStencilOps = "KEEP, ZERO, REPLACE, INCR_SAT, DECR_SAT, INVERT, INCR, DECR";
    const std::string sWholeFloat =
        ", or a float holding such an integer exactly, without an exponent, not '";
    const std::string sBool = "' takes TRUE, FALSE, an integer constant, or a float holding an integer "
                              "exactly, without an exponent, "
                              "not '";
    const std::string sMask = "' takes an integer constant from 0 to 0xFF" + sWholeFloat;
    const std::string sColourMask = "' takes an integer constant from 0 to 0xF" + sWholeFloat;
    const std::string sBias = "RasterizerState 'g_rs': 'DepthBias' takes an integer constant from "
                              "-2147483648 to 2147483647" +
                              sWholeFloat;
    const std::string sFloat = "' takes a number, decimal or hexadecimal, within the range of a float, not '";
    const std::string sHalf =
        "': half precision does not hold its value exactly, and the effects read it as a "
        "float";
    const std::string sTarget = "' takes a render target index from 0 to 7, not '";
    ExpectMemberErrors({
        // A name the effects do not know, or one of another kind of block.
        {"DepthStencilState g_ds { `DepthFnuc = LESS; };",
         "DepthStencilState 'g_ds': unknown member 'DepthFnuc'"},
        {"BlendState g_bs { `BlendFactor = float4(0, 0, 0, 0); };",
         "BlendState 'g_bs': unknown member 'BlendFactor'"},
        {"RasterizerState g_rs { `DepthEnable = FALSE; };",
         "RasterizerState 'g_rs': unknown member 'DepthEnable'"},
        {"RasterizerState g_ra[2] { { CullMode = NONE; }, { `Cull = NONE; } };",
         "RasterizerState 'g_ra': unknown member 'Cull'"},
        // An index: the render target of a per-target blend member, from 0 to 7, and on no other.
        {"BlendState g_bs { BlendEnable[`9] = TRUE; };", "BlendState 'g_bs': 'BlendEnable" + sTarget + "9'"},
        {"BlendState g_bs { RenderTargetWriteMask[`8] = 0x0F; };",
         "BlendState 'g_bs': 'RenderTargetWriteMask" + sTarget + "8'"},
        {"BlendState g_bs { SrcBlend[`0x10] = ONE; };", "BlendState 'g_bs': 'SrcBlend" + sTarget + "0x10'"},
        {"BlendState g_bs { AlphaToCoverageEnable[`0] = TRUE; };",
         "BlendState 'g_bs': 'AlphaToCoverageEnable' takes no index"},
        {"DepthStencilState g_ds { DepthEnable[`0] = TRUE; };",
         "DepthStencilState 'g_ds': 'DepthEnable' takes no index"},
        {"RasterizerState g_rs { CullMode[`1] = NONE; };",
         "RasterizerState 'g_rs': 'CullMode' takes no index"},
        // One of an enum's names, in any case, and nothing else.
        {"DepthStencilState g_ds { DepthFunc = `LESS_EQUALS; };",
         "DepthStencilState 'g_ds': 'DepthFunc' takes one of " + sComparisons + ", not 'LESS_EQUALS'"},
        {"RasterizerState g_rs { CullMode = `BAKC; };",
         "RasterizerState 'g_rs': 'CullMode' takes one of NONE, FRONT, BACK, not 'BAKC'"},
        {"RasterizerState g_rs { FillMode = `3; };",
         "RasterizerState 'g_rs': 'FillMode' takes one of WIREFRAME, SOLID, not '3'"},
        {"RasterizerState g_rs { CullMode = `NONE(1); };",
         "RasterizerState 'g_rs': 'CullMode' takes one of NONE, FRONT, BACK, not 'NONE(1)'"},
        {"BlendState g_bs { DestBlend[1] = `ADD; };",
         "BlendState 'g_bs': 'DestBlend' takes one of " + sBlends + ", not 'ADD'"},
        {"BlendState g_bs { BlendOpAlpha = `-1; };",
         "BlendState 'g_bs': 'BlendOpAlpha' takes one of ADD, SUBTRACT, REV_SUBTRACT, MIN, MAX, not '-1'"},
        {"BlendState g_bs { SrcBlendAlpha = `\"ONE\"; };",
         "BlendState 'g_bs': 'SrcBlendAlpha' takes one of " + sBlends + ", not '\"ONE\"'"},
        {"DepthStencilState g_ds { DepthWriteMask = `TRUE; };",
         "DepthStencilState 'g_ds': 'DepthWriteMask' takes one of ZERO, ALL, not 'TRUE'"},
        {"DepthStencilState g_ds { FrontFaceStencilPass = `LESS; };",
         "DepthStencilState 'g_ds': 'FrontFaceStencilPass' takes one of " + sStencilOps + ", not 'LESS'"},
        {"DepthStencilState g_ds { BackFaceStencilFunc = `KEEP; };",
         "DepthStencilState 'g_ds': 'BackFaceStencilFunc' takes one of " + sComparisons + ", not 'KEEP'"},
        // A bool: TRUE or FALSE in any case, or an integer constant.
        {"DepthStencilState g_ds { DepthEnable = `MAYBE; };",
         "DepthStencilState 'g_ds': 'DepthEnable" + sBool + "MAYBE'"},
        {"BlendState g_bs { BlendEnable[0] = `0.5; };", "BlendState 'g_bs': 'BlendEnable" + sBool + "0.5'"},
        {"RasterizerState g_rs { ScissorEnable = `\"TRUE\"; };",
         "RasterizerState 'g_rs': 'ScissorEnable" + sBool + "\"TRUE\"'"},
        {"RasterizerState g_rs { MultisampleEnable = `08; };",
         "RasterizerState 'g_rs': 'MultisampleEnable" + sBool + "08'"},
        // A float for a bool, a mask or the depth bias: a whole value the effects read alike (they
        // stop at the dot, and read a leading 0 as octal) that a float holds, and a half too.
        {"BlendState g_bs { BlendEnable[0] = `1e1; };", "BlendState 'g_bs': 'BlendEnable" + sBool + "1e1'"},
        {"BlendState g_bs { BlendEnable[0] = `010.0; };",
         "BlendState 'g_bs': 'BlendEnable" + sBool + "010.0'"},
        {"BlendState g_bs { BlendEnable[0] = `0.0e0; };",
         "BlendState 'g_bs': 'BlendEnable" + sBool + "0.0e0'"},
        {"DepthStencilState g_ds { StencilEnable = `0x1p0; };",
         "DepthStencilState 'g_ds': 'StencilEnable" + sBool + "0x1p0'"},
        {"DepthStencilState g_ds { DepthEnable = `2049.0h; };",
         "DepthStencilState 'g_ds': 'DepthEnable" + sBool + "2049.0h" + sHalf},
        // A mask: an integer constant without a sign, at most 0xFF for the stencil and 0xF for the
        // four channels of a render target (the device refuses more).
        {"BlendState g_bs { RenderTargetWriteMask = `0x1FF; };",
         "BlendState 'g_bs': 'RenderTargetWriteMask" + sColourMask + "0x1FF'"},
        {"BlendState g_bs { RenderTargetWriteMask[2] = `0x10; };",
         "BlendState 'g_bs': 'RenderTargetWriteMask" + sColourMask + "0x10'"},
        {"DepthStencilState g_ds { StencilReadMask = `256; };",
         "DepthStencilState 'g_ds': 'StencilReadMask" + sMask + "256'"},
        {"DepthStencilState g_ds { StencilWriteMask = `-1; };",
         "DepthStencilState 'g_ds': 'StencilWriteMask" + sMask + "-1'"},
        {"DepthStencilState g_ds { StencilWriteMask = `ALL; };",
         "DepthStencilState 'g_ds': 'StencilWriteMask" + sMask + "ALL'"},
        {"BlendState g_bs { RenderTargetWriteMask[1] = `15.5; };",
         "BlendState 'g_bs': 'RenderTargetWriteMask" + sColourMask + "15.5'"},
        {"BlendState g_bs { RenderTargetWriteMask[1] = `16.0; };",
         "BlendState 'g_bs': 'RenderTargetWriteMask" + sColourMask + "16.0'"},
        {"DepthStencilState g_ds { StencilReadMask = `-0.0; };",
         "DepthStencilState 'g_ds': 'StencilReadMask" + sMask + "-0.0'"},
        // The depth bias: an integer constant of 32 bits after at most one sign.
        {"RasterizerState g_rs { DepthBias = `1.5; };", sBias + "1.5'"},
        {"RasterizerState g_rs { DepthBias = `2147483648; };", sBias + "2147483648'"},
        {"RasterizerState g_rs { DepthBias = `-2147483649; };", sBias + "-2147483649'"},
        {"RasterizerState g_rs { DepthBias = `0xFFFFFFFF; };", sBias + "0xFFFFFFFF'"},
        {"RasterizerState g_rs { DepthBias = `NONE; };", sBias + "NONE'"},
        {"RasterizerState g_rs { DepthBias = `1.5e0; };", sBias + "1.5e0'"},
        {"RasterizerState g_rs { DepthBias = `2147483647.0; };", sBias + "2147483647.0'"},
        {"RasterizerState g_rs { DepthBias = `-16777217.0; };", sBias + "-16777217.0'"},
        {"RasterizerState g_rs { DepthBias = `1.00001; };", sBias + "1.00001'"},
        // A float: a finite constant after at most one sign, not octal (read as decimal).
        {"RasterizerState g_rs { DepthBiasClamp = `1e39; };",
         "RasterizerState 'g_rs': 'DepthBiasClamp" + sFloat + "1e39'"},
        {"RasterizerState g_rs { SlopeScaledDepthBias = `-1e39f; };",
         "RasterizerState 'g_rs': 'SlopeScaledDepthBias" + sFloat + "-1e39f'"},
        {"RasterizerState g_rs { SlopeScaledDepthBias = `010; };",
         "RasterizerState 'g_rs': 'SlopeScaledDepthBias" + sFloat + "010'"},
        {"RasterizerState g_rs { DepthBiasClamp = `0.1h; };",
         "RasterizerState 'g_rs': 'DepthBiasClamp" + sFloat + "0.1h" + sHalf},
        {"RasterizerState g_rs { SlopeScaledDepthBias = `-65505.0h; };",
         "RasterizerState 'g_rs': 'SlopeScaledDepthBias" + sFloat + "-65505.0h" + sHalf},
        {"RasterizerState g_rs { DepthBiasClamp = `2.98023223876953125e-8h; };",
         "RasterizerState 'g_rs': 'DepthBiasClamp" + sFloat + "2.98023223876953125e-8h" + sHalf},
        {"RasterizerState g_rs { DepthBiasClamp = `2h; };",
         "RasterizerState 'g_rs': 'DepthBiasClamp" + sFloat + "2h'"},
        {"RasterizerState g_rs { DepthBiasClamp = `FLT_MAX; };",
         "RasterizerState 'g_rs': 'DepthBiasClamp" + sFloat + "FLT_MAX'"},
    });
}

// The engine's effects with one member of a blend, depth-stencil or rasterizer block misspelled,
// its name or its value, one text each: each compiled, the effects leaving the default for a
// misspelled name or value. Each now fails with an error naming the member.
TEST_F(D3DCompileStateMembers, EngineEffectsWithAMisspelledMemberFail)
{
    namespace fs = std::filesystem;
    const std::regex block(R"((BlendState|DepthStencilState|RasterizerState)\s+\w+\s*\{[^}]*\})");
    const std::regex member(R"((\w+)\s*(\[\s*\w+\s*\])?\s*=\s*[-+]?\s*(\w+)\s*;)");
    int iMembers = 0;
    for (const fs::directory_entry& entry :
         fs::directory_iterator(fs::path(KV_SOURCE_ROOT) / "assets" / "Shader"))
    {
        if (entry.path().extension() != ".fx")
            continue;
        std::ifstream file(entry.path(), std::ios::binary);
        const std::string sText((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        ASSERT_EQ(S_OK, Compile(sText, nullptr, "fx_5_0").hr) << entry.path();
        for (auto b = std::sregex_iterator(sText.begin(), sText.end(), block); b != std::sregex_iterator();
             ++b)
        {
            const std::string sBlock = b->str();
            for (auto m = std::sregex_iterator(sBlock.begin(), sBlock.end(), member);
                 m != std::sregex_iterator(); ++m)
            {
                ++iMembers;
                const std::string sName = (*m)[1].str();
                // A letter after the name, then after the value.
                for (const int iPart : {1, 3})
                {
                    std::string sDamaged = sText;
                    sDamaged.insert(
                        static_cast<std::size_t>(b->position() + m->position(iPart) + m->length(iPart)), 1,
                        'Q');
                    const Result result = Compile(sDamaged, nullptr, "fx_5_0");
                    EXPECT_EQ(E_FAIL, result.hr)
                        << entry.path().filename() << ": " << m->str() << " part " << iPart;
                    // Appended, not "'" + sName: g++ 12 at -O3 misreads that as an overlapping copy.
                    std::string sNamed = iPart == 1 ? "unknown member '" : "'";
                    sNamed.append(sName).append(iPart == 1 ? "Q'" : "' takes");
                    EXPECT_NE(std::string::npos, result.sErrors.find(sNamed)) << result.sErrors;
                }
            }
        }
    }
    EXPECT_GE(iMembers, 29);
}
