// A pass's state calls as an effect made from the compiled record sets them: each call the
// compiler accepts loads with the state and the numbers as written, and what the effects could
// only guess at (a name that is no state block, an array of state objects) is refused when
// compiling. The members of the state blocks the calls name load as written too.

#include "platform/d3d11/D3D11Control.h"
#include "platform/d3d11/D3D11ShaderBytecode.h"
#include "platform/effects11/d3dx11effect.h"
#include "tests/platform/d3d11/D3D11DefaultStates.h"
#include "tests/platform/effects11/EffectTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace
{

// A vertex shader, the declarations given and one technique of one pass per call list.
std::string StateEffect(const std::string& sDeclarations, const std::vector<std::string>& vPasses)
{
    std::string s =
        "float4 VS(float4 p : POSITION) : SV_Position { return p; }\n" + sDeclarations + "technique11 T {\n";
    for (const std::string& sCalls : vPasses)
        s += "pass { SetVertexShader(CompileShader(vs_5_0, VS())); " + sCalls + " }\n";
    return s + "}\n";
}

// The description of the rasterizer state bound on the context; none when none is.
std::optional<D3D11_RASTERIZER_DESC> BoundRasterizer(ID3D11DeviceContext* pContext)
{
    ID3D11RasterizerState* pState = nullptr;
    pContext->RSGetState(&pState);
    if (pState == nullptr)
        return std::nullopt;
    D3D11_RASTERIZER_DESC desc{};
    pState->GetDesc(&desc);
    pState->Release();
    return desc;
}

class EffectStates : public effects_test::DeviceTest
{
protected:
    // The effect made from the record; null, with the result in *pResult, when it is refused.
    ID3DX11Effect* Load(const std::vector<std::uint8_t>& vCode, HRESULT* pResult)
    {
        ID3DX11Effect* pEffect = nullptr;
        *pResult = D3DX11CreateEffectFromMemory(vCode.data(), vCode.size(), 0, m_pDevice, &pEffect);
        return pEffect;
    }

    // What the first pass of the compiled effect does with the rasterizer state: "load failed"
    // when the effect is refused, else the cull mode it binds ("CullMode 3"; "no state" for none).
    std::string AppliedCullMode(const std::vector<std::uint8_t>& vCode)
    {
        HRESULT hr = S_OK;
        ID3DX11Effect* pEffect = Load(vCode, &hr);
        if (pEffect == nullptr)
            return "load failed with " + std::to_string(hr);
        std::string sApplied = "Apply failed";
        if (pEffect->GetTechniqueByIndex(0)->GetPassByIndex(0)->Apply(0, m_pContext) == S_OK)
        {
            const std::optional<D3D11_RASTERIZER_DESC> desc = BoundRasterizer(m_pContext);
            sApplied = desc.has_value() ? "CullMode " + std::to_string(desc->CullMode) : "no state";
        }
        pEffect->Release();
        return sApplied;
    }

    // The effect of the declarations and passes (see StateEffect) compiled and made on the device;
    // null, with the test failed, when either refuses it.
    ID3DX11Effect* CompileAndLoad(const std::string& sDeclarations, const std::vector<std::string>& vPasses)
    {
        const effects_test::Result compiled =
            effects_test::CompileEffect(StateEffect(sDeclarations, vPasses));
        EXPECT_EQ(S_OK, compiled.hr) << compiled.sErrors;
        if (compiled.hr != S_OK)
            return nullptr;
        HRESULT hr = E_FAIL;
        ID3DX11Effect* pEffect = Load(compiled.vCode, &hr);
        EXPECT_EQ(S_OK, hr);
        return pEffect;
    }

    // What Apply binds, one call a line: a shader set or NULL; the blend state's first source
    // factor, the depth-stencil state's comparison and the rasterizer state's cull mode, or NULL;
    // then the numbers the call takes (blend factor and sample mask, stencil reference).
    std::string Bound(ID3DX11EffectPass* pPass)
    {
        D3D11Control::ClearCallLog();
        if (pPass->Apply(0, m_pContext) != S_OK)
            return "Apply failed";
        const D3D11Control::BoundState bound = D3D11Control::GetBoundState(m_pContext);
        std::string s;
        for (const D3D11Control::CallRecord& call : D3D11Control::GetCallLog())
        {
            const bool bShader = call.Method.find("SetShader") != std::string::npos;
            if (!bShader && call.Method != "OMSetBlendState" && call.Method != "OMSetDepthStencilState" &&
                call.Method != "RSSetState")
                continue; // the releases of what the calls replaced
            s += call.Method;
            if (call.Objects[0] == 0)
                s += " NULL";
            else if (bShader)
                s += " set";
            else if (call.Method == "OMSetBlendState")
                s += " SrcBlend " + std::to_string(bound.BlendDesc->RenderTarget[0].SrcBlend);
            else if (call.Method == "OMSetDepthStencilState")
                s += " DepthFunc " + std::to_string(bound.DepthStencilDesc->DepthFunc);
            else
                s += " CullMode " + std::to_string(BoundRasterizer(m_pContext)->CullMode);
            for (std::size_t i = 0; i < call.Values.size() && !bShader; ++i)
            {
                const double fValue = call.Values[i];
                char aValue[32];
                std::snprintf(aValue, sizeof(aValue), " %g", fValue);
                s += aValue;
            }
            s += "\n";
        }
        return s;
    }
};

} // namespace

// A name that is no state block of the effect compiled, and the effect failed when it was made.
// The compiler refuses it; a record that names none (as one compiled before) still fails creation.
TEST_F(EffectStates, AStateCallNamingNoStateBlockIsRefused)
{
    const effects_test::Result compiled = effects_test::CompileEffect(
        StateEffect("", {"SetBlendState(Missing, float4(0, 0, 0, 0), 0xFFFFFFFF);"}));
    EXPECT_EQ(E_FAIL, compiled.hr);
    EXPECT_EQ("effect.fx(3,68): error X3004: 'SetBlendState': undeclared identifier 'Missing'\n",
              compiled.sErrors);

    d3d11_internal::ShaderBytecode record;
    record.Target = "fx_5_0";
    record.Techniques.push_back(
        {"T", {{"P", {}, {{"SetBlendState", "Missing,float4(0,0,0,0),0xFFFFFFFF"}}}}});
    const std::vector<std::uint8_t> vCode = d3d11_internal::EncodeShaderBytecode(record);
    HRESULT hr = S_OK;
    EXPECT_EQ(nullptr, Load(vCode, &hr));
    EXPECT_EQ(E_INVALIDARG, hr);
}

// An array of state objects named whole compiled, and the pass set the default state, as the
// record keeps no member of an array's elements; an element named by index compiled and failed
// at load. Each is refused when compiling, or sets the state of the element it names.
TEST_F(EffectStates, AnArrayOfStatesIsRefusedOrSetsTheElementNamed)
{
    const std::string sArray = "RasterizerState g_ra[2] { { CullMode = NONE; }, { CullMode = FRONT; } };\n";
    // The element's cull mode; -1: there is no element, and the call must be refused.
    const std::vector<std::pair<std::string, int>> vCases = {
        {"g_ra", -1}, {"g_ra[0]", D3D11_CULL_NONE}, {"g_ra[1]", D3D11_CULL_FRONT}, {"g_ra[2]", -1}};
    for (const auto& entry : vCases)
    {
        const effects_test::Result compiled =
            effects_test::CompileEffect(StateEffect(sArray, {"SetRasterizerState(" + entry.first + ");"}));
        if (compiled.hr != S_OK)
        {
            EXPECT_NE(std::string::npos, compiled.sErrors.find("'SetRasterizerState'")) << compiled.sErrors;
            continue;
        }
        const std::string sApplied = AppliedCullMode(compiled.vCode);
        EXPECT_TRUE(entry.second >= 0 && sApplied == "CullMode " + std::to_string(entry.second))
            << "SetRasterizerState(" << entry.first << ") compiled, and the pass gets " << sApplied;
    }

    // The array of blend states named whole, as in the report: no blend state is the array's.
    const effects_test::Result compiled = effects_test::CompileEffect(StateEffect(
        "BlendState g_ba[2] { { BlendEnable[0] = TRUE; SrcBlend = ONE; DestBlend = ONE; }, { } };\n",
        {"SetBlendState(g_ba, float4(0, 0, 0, 0), 0xFFFFFFFF);"}));
    EXPECT_EQ(E_FAIL, compiled.hr);
    EXPECT_NE(std::string::npos, compiled.sErrors.find("'SetBlendState': 'g_ba' is an array"))
        << compiled.sErrors;
}

// Of two state blocks of one name, a call takes the last, in the compiler's check and in the
// effect made from the record alike (both find the blocks by name once for the whole effect).
TEST_F(EffectStates, AStateCallTakesTheLastBlockOfItsName)
{
    const effects_test::Result compiled = effects_test::CompileEffect(
        StateEffect("RasterizerState g_r { CullMode = NONE; };\nBlendState g_r { BlendEnable[0] = TRUE; };\n"
                    "RasterizerState g_r { CullMode = FRONT; };\n",
                    {"SetRasterizerState(g_r);"}));
    ASSERT_EQ(S_OK, compiled.hr) << compiled.sErrors;
    EXPECT_EQ("CullMode " + std::to_string(D3D11_CULL_FRONT), AppliedCullMode(compiled.vCode));
}

// A state call repeated in a pass bound the earlier call's state with the later call's numbers:
// SetBlendState(g_bs, ...) then SetBlendState(NULL, float4(1, 1, 1, 1), 0xF) bound g_bs with the
// factor 1 and the mask 0xF, SetRasterizerState(g_rs) then SetRasterizerState(NULL) bound g_rs. As
// calls applied in order would, the later call wins whole, NULL included, and so does a repeated
// shader call.
TEST_F(EffectStates, ARepeatedCallWinsWhole)
{
    const std::string sBlocks =
        "float4 PS() : SV_Target { return 1; }\n"
        "BlendState g_bs { BlendEnable[0] = TRUE; SrcBlend = SRC_ALPHA; };\n"
        "BlendState g_bs2 { BlendEnable[0] = TRUE; SrcBlend = DEST_COLOR; };\n"
        "DepthStencilState g_ds { DepthFunc = GREATER; }; DepthStencilState g_ds2 { DepthFunc = EQUAL; };\n"
        "RasterizerState g_rs { CullMode = NONE; }; RasterizerState g_rs2 { CullMode = FRONT; };\n";
    const std::string sNull = "SetVertexShader(NULL); SetPixelShader(CompileShader(ps_5_0, PS())); "
                              "SetPixelShader(NULL); "
                              "SetBlendState(g_bs, float4(0, 0, 0, 0), 0xFFFFFFFF); "
                              "SetBlendState(NULL, float4(1, 1, 1, 1), 0xF); "
                              "SetDepthStencilState(g_ds, 1); SetDepthStencilState(NULL, 2); "
                              "SetRasterizerState(g_rs); SetRasterizerState(NULL);";
    const std::string sAfterNull = "SetVertexShader(NULL); SetVertexShader(CompileShader(vs_5_0, VS())); "
                                   "SetBlendState(NULL, float4(0.5, 0.5, 0.5, 0.5), 1); "
                                   "SetBlendState(g_bs, float4(0.25, 0, 0, 1), 3); "
                                   "SetDepthStencilState(NULL, 7); SetDepthStencilState(g_ds, 4); "
                                   "SetRasterizerState(NULL); SetRasterizerState(g_rs);";
    const std::string sTwoBlocks = "SetBlendState(g_bs, float4(0, 0, 0, 0), 0xFFFFFFFF); "
                                   "SetBlendState(g_bs2, float4(0, 1, 0, 0), 2); "
                                   "SetDepthStencilState(g_ds, 5); SetDepthStencilState(g_ds2, 6); "
                                   "SetRasterizerState(g_rs); SetRasterizerState(g_rs2);";
    ID3DX11Effect* pEffect = CompileAndLoad(sBlocks, {sNull, sAfterNull, sTwoBlocks});
    ASSERT_NE(nullptr, pEffect);
    ID3DX11EffectTechnique* pTechnique = pEffect->GetTechniqueByIndex(0);
    EXPECT_EQ("VSSetShader NULL\nPSSetShader NULL\nOMSetBlendState NULL 1 1 1 1 15\n"
              "OMSetDepthStencilState NULL 2\nRSSetState NULL\n",
              Bound(pTechnique->GetPassByIndex(0)));
    EXPECT_EQ(
        "VSSetShader set\nOMSetBlendState SrcBlend 5 0.25 0 0 1 3\nOMSetDepthStencilState DepthFunc 5 4\n"
        "RSSetState CullMode 1\n",
        Bound(pTechnique->GetPassByIndex(1)));
    EXPECT_EQ("VSSetShader set\nOMSetBlendState SrcBlend 9 0 1 0 0 2\nOMSetDepthStencilState DepthFunc 3 6\n"
              "RSSetState CullMode 2\n",
              Bound(pTechnique->GetPassByIndex(2)));
    // The input signature is the last vertex shader's: none after NULL.
    D3DX11_PASS_DESC desc{};
    ASSERT_EQ(S_OK, pTechnique->GetPassByIndex(0)->GetDesc(&desc));
    EXPECT_EQ(nullptr, desc.pIAInputSignature);
    ASSERT_EQ(S_OK, pTechnique->GetPassByIndex(1)->GetDesc(&desc));
    EXPECT_NE(nullptr, desc.pIAInputSignature);
    m_pContext->ClearState();
    EXPECT_EQ(0u, pEffect->Release());
}

// Whatever the compiler accepts in a state call, the effect reads as written: the numbers of a
// blend factor in each form it takes, the sample mask and the stencil reference in decimal, octal
// and hexadecimal with their suffixes, NULL and 0 for no state.
TEST_F(EffectStates, AcceptedCallsLoadAsWritten)
{
    const effects_test::Result compiled = effects_test::CompileEffect(StateEffect(
        "BlendState g_bs { BlendEnable[0] = TRUE; }; DepthStencilState g_ds { DepthEnable = FALSE; };\n",
        {"SetBlendState(g_bs, float4(-1, +.5, 1e3, 0x10), 0x0Fu); SetDepthStencilState(g_ds, 0377);",
         "SetBlendState(NULL, float4(1.5, 1E-3F, 2.L, 7u), 4294967295); SetDepthStencilState(0, 0xFFul);"}));
    ASSERT_EQ(S_OK, compiled.hr) << compiled.sErrors;
    HRESULT hr = E_FAIL;
    ID3DX11Effect* pEffect = Load(compiled.vCode, &hr);
    ASSERT_EQ(S_OK, hr);

    D3DX11_PASS_DESC desc{};
    ASSERT_EQ(S_OK, pEffect->GetTechniqueByIndex(0)->GetPassByIndex(0)->GetDesc(&desc));
    EXPECT_EQ(std::vector<float>({-1.0f, 0.5f, 1000.0f, 16.0f}),
              std::vector<float>(desc.BlendFactor, desc.BlendFactor + 4));
    EXPECT_EQ(0x0Fu, desc.SampleMask);
    EXPECT_EQ(255u, desc.StencilRef);
    ASSERT_EQ(S_OK, pEffect->GetTechniqueByIndex(0)->GetPassByIndex(1)->GetDesc(&desc));
    EXPECT_EQ(std::vector<float>({1.5f, 1e-3f, 2.0f, 7.0f}),
              std::vector<float>(desc.BlendFactor, desc.BlendFactor + 4));
    EXPECT_EQ(0xFFFFFFFFu, desc.SampleMask);
    EXPECT_EQ(255u, desc.StencilRef);

    // The states named are bound, and none for NULL and 0.
    D3D11Control::ClearCallLog();
    ASSERT_EQ(S_OK, pEffect->GetTechniqueByIndex(0)->GetPassByIndex(0)->Apply(0, m_pContext));
    ASSERT_EQ(S_OK, pEffect->GetTechniqueByIndex(0)->GetPassByIndex(1)->Apply(0, m_pContext));
    std::vector<std::uint64_t> vBound;
    for (const D3D11Control::CallRecord& call : D3D11Control::GetCallLog())
        if (call.Method == "OMSetBlendState" || call.Method == "OMSetDepthStencilState")
            vBound.push_back(call.Objects[0]);
    ASSERT_EQ(4u, vBound.size());
    EXPECT_NE(0u, vBound[0]);
    EXPECT_NE(0u, vBound[1]);
    EXPECT_EQ(0u, vBound[2]);
    EXPECT_EQ(0u, vBound[3]);
    EXPECT_EQ(0u, pEffect->Release());
}

namespace
{

std::string Describe(const D3D11_BLEND_DESC& d)
{
    std::string s = "AlphaToCoverage " + std::to_string(d.AlphaToCoverageEnable) + " Independent " +
                    std::to_string(d.IndependentBlendEnable);
    for (const D3D11_RENDER_TARGET_BLEND_DESC& t : d.RenderTarget)
        s += "\n  " + std::to_string(t.BlendEnable) + " " + std::to_string(t.SrcBlend) + " " +
             std::to_string(t.DestBlend) + " " + std::to_string(t.BlendOp) + " " +
             std::to_string(t.SrcBlendAlpha) + " " + std::to_string(t.DestBlendAlpha) + " " +
             std::to_string(t.BlendOpAlpha) + " mask " + std::to_string(t.RenderTargetWriteMask);
    return s;
}

std::string Describe(const D3D11_DEPTH_STENCILOP_DESC& f)
{
    return std::to_string(f.StencilFailOp) + " " + std::to_string(f.StencilDepthFailOp) + " " +
           std::to_string(f.StencilPassOp) + " " + std::to_string(f.StencilFunc);
}

std::string Describe(const D3D11_DEPTH_STENCIL_DESC& d)
{
    return "Depth " + std::to_string(d.DepthEnable) + " " + std::to_string(d.DepthWriteMask) + " " +
           std::to_string(d.DepthFunc) + " Stencil " + std::to_string(d.StencilEnable) + " " +
           std::to_string(d.StencilReadMask) + " " + std::to_string(d.StencilWriteMask) + " front " +
           Describe(d.FrontFace) + " back " + Describe(d.BackFace);
}

std::string Describe(const D3D11_RASTERIZER_DESC& d)
{
    char aBuffer[64];
    std::snprintf(aBuffer, sizeof(aBuffer), " %a %a ", static_cast<double>(d.DepthBiasClamp),
                  static_cast<double>(d.SlopeScaledDepthBias));
    return std::to_string(d.FillMode) + " " + std::to_string(d.CullMode) + " " +
           std::to_string(d.FrontCounterClockwise) + " " + std::to_string(d.DepthBias) + aBuffer +
           std::to_string(d.DepthClipEnable) + " " + std::to_string(d.ScissorEnable) + " " +
           std::to_string(d.MultisampleEnable) + " " + std::to_string(d.AntialiasedLineEnable);
}

// The states the effects make when a block sets nothing: the device's defaults.
using d3d11_test::DefaultBlend;
using d3d11_test::DefaultDepthStencil;
using d3d11_test::DefaultRasterizer;

// Applies the passes of the effect's first technique in turn, each checked against the element
// of the same index of each list that has one: the blend, depth-stencil and rasterizer states it
// binds.
void ExpectPassStates(ID3DX11Effect* pEffect, ID3D11DeviceContext* pContext,
                      const std::vector<D3D11_BLEND_DESC>& vBlends,
                      const std::vector<D3D11_DEPTH_STENCIL_DESC>& vDepths,
                      const std::vector<D3D11_RASTERIZER_DESC>& vRasterizers)
{
    const std::size_t uiPasses = std::max({vBlends.size(), vDepths.size(), vRasterizers.size()});
    for (UINT uiPass = 0; uiPass < uiPasses; ++uiPass)
    {
        ASSERT_EQ(S_OK, pEffect->GetTechniqueByIndex(0)->GetPassByIndex(uiPass)->Apply(0, pContext));
        const D3D11Control::BoundState bound = D3D11Control::GetBoundState(pContext);
        if (uiPass < vBlends.size())
        {
            ASSERT_TRUE(bound.BlendDesc.has_value()) << "pass " << uiPass;
            EXPECT_EQ(Describe(vBlends[uiPass]), Describe(*bound.BlendDesc)) << "pass " << uiPass;
        }
        if (uiPass < vDepths.size())
        {
            ASSERT_TRUE(bound.DepthStencilDesc.has_value()) << "pass " << uiPass;
            EXPECT_EQ(Describe(vDepths[uiPass]), Describe(*bound.DepthStencilDesc)) << "pass " << uiPass;
        }
        if (uiPass < vRasterizers.size())
        {
            const std::optional<D3D11_RASTERIZER_DESC> desc = BoundRasterizer(pContext);
            ASSERT_TRUE(desc.has_value()) << "pass " << uiPass;
            EXPECT_EQ(Describe(vRasterizers[uiPass]), Describe(*desc)) << "pass " << uiPass;
        }
    }
}

} // namespace

// Every member of the three kinds of block in the forms the compiler takes: each enum name in
// any case, bools as TRUE, FALSE or integers, the masks at their bounds, octal and hexadecimal
// integers, the depth bias at both ends of 32 bits, floats decimal and hexadecimal with a sign,
// and a render target named by index up to 7. Each pass's states carry every value as written.
TEST_F(EffectStates, AcceptedStateMembersLoadAsWritten)
{
    const std::string sBlocks =
        "BlendState g_b0 { AlphaToCoverageEnable = true; BlendEnable[0] = TRUE; SrcBlend = ZERO;\n"
        "  DestBlend = one; BlendOp = Add; SrcBlendAlpha = SRC_ALPHA; DestBlendAlpha = INV_SRC_ALPHA;\n"
        "  BlendOpAlpha = SUBTRACT; RenderTargetWriteMask = 0;\n"
        "  BlendEnable[1] = 1; SrcBlend[1] = SRC_COLOR; DestBlend[1] = INV_SRC_COLOR; BlendOp[1] = "
        "REV_SUBTRACT;\n"
        "  SrcBlendAlpha[1] = DEST_ALPHA; DestBlendAlpha[1] = INV_DEST_ALPHA; BlendOpAlpha[1] = MIN;\n"
        "  RenderTargetWriteMask[1] = 0xF;\n"
        "  BlendEnable[2] = -1; SrcBlend[2] = DEST_COLOR; DestBlend[2] = INV_DEST_COLOR; BlendOp[2] = MAX;\n"
        "  SrcBlendAlpha[2] = SRC_ALPHA_SAT; DestBlendAlpha[2] = BLEND_FACTOR; BlendOpAlpha[2] = max;\n"
        "  RenderTargetWriteMask[2] = 0x0Fu;\n"
        "  BlendEnable[3] = 0x10; SrcBlendAlpha[3] = INV_BLEND_FACTOR; RenderTargetWriteMask[3] = 010;\n"
        "  BlendEnable[4] = False; BlendEnable[5] = 0; BlendEnable[6] = +00;\n"
        "  BlendEnable[07] = TRUE; SrcBlend[0x7] = INV_BLEND_FACTOR; RenderTargetWriteMask[7u] = 5; };\n"
        "BlendState g_b1 { blendenable = 1; };\n"
        "DepthStencilState g_d0 { DepthEnable = TRUE; DepthWriteMask = zero; DepthFunc = NEVER;\n"
        "  StencilEnable = true; StencilReadMask = 0; StencilWriteMask = 0xFF;\n"
        "  FrontFaceStencilFail = KEEP; FrontFaceStencilDepthFail = ZERO; FrontFaceStencilPass = REPLACE;\n"
        "  FrontFaceStencilFunc = LESS; BackFaceStencilFail = INCR_SAT; BackFaceStencilDepthFail = "
        "DECR_SAT;\n"
        "  BackFaceStencilPass = INVERT; BackFaceStencilFunc = EQUAL; };\n"
        "DepthStencilState g_d1 { DepthWriteMask = ALL; DepthFunc = LESS_EQUAL; StencilEnable = 1;\n"
        "  StencilReadMask = 255; StencilWriteMask = 0377; FrontFaceStencilFail = incr;\n"
        "  FrontFaceStencilDepthFail = DECR; FrontFaceStencilFunc = GREATER; BackFaceStencilFunc = "
        "NOT_EQUAL; };\n"
        "DepthStencilState g_d2 { DepthEnable = false; DepthFunc = GREATER_EQUAL; StencilReadMask = 0x80;\n"
        "  BackFaceStencilFunc = ALWAYS; };\n"
        "RasterizerState g_r0 { FillMode = WIREFRAME; CullMode = NONE; FrontCounterClockwise = TRUE;\n"
        "  DepthBias = -2147483648; DepthBiasClamp = -1.5; SlopeScaledDepthBias = +0x1p-2;\n"
        "  DepthClipEnable = FALSE; ScissorEnable = 1; MultisampleEnable = true; AntialiasedLineEnable = -1; "
        "};\n"
        "RasterizerState g_r1 { FillMode = solid; CullMode = FRONT; DepthBias = 2147483647;\n"
        "  DepthBiasClamp = 1e3f; SlopeScaledDepthBias = .25; };\n"
        "RasterizerState g_r2 { cullmode = Back; DepthBias = -0x10; DepthBiasClamp = 0x10;\n"
        "  SlopeScaledDepthBias = -3.4e38; };\n"
        "RasterizerState g_r3 { DepthBias = 017; DepthBiasClamp = 7u; };\n";
    const std::string sFactor = ", float4(0, 0, 0, 0), 0xFFFFFFFF); ";
    const effects_test::Result compiled = effects_test::CompileEffect(StateEffect(
        sBlocks, {"SetBlendState(g_b0" + sFactor + "SetDepthStencilState(g_d0, 0); SetRasterizerState(g_r0);",
                  "SetBlendState(g_b1" + sFactor + "SetDepthStencilState(g_d1, 0); SetRasterizerState(g_r1);",
                  "SetDepthStencilState(g_d2, 0); SetRasterizerState(g_r2);", "SetRasterizerState(g_r3);"}));
    ASSERT_EQ(S_OK, compiled.hr) << compiled.sErrors;

    std::vector<D3D11_BLEND_DESC> vBlends(2, DefaultBlend());
    D3D11_BLEND_DESC& b = vBlends[0];
    b.AlphaToCoverageEnable = TRUE;
    b.IndependentBlendEnable = TRUE;
    b.RenderTarget[0] = {TRUE,
                         D3D11_BLEND_ZERO,
                         D3D11_BLEND_ONE,
                         D3D11_BLEND_OP_ADD,
                         D3D11_BLEND_SRC_ALPHA,
                         D3D11_BLEND_INV_SRC_ALPHA,
                         D3D11_BLEND_OP_SUBTRACT,
                         0};
    b.RenderTarget[1] = {TRUE,
                         D3D11_BLEND_SRC_COLOR,
                         D3D11_BLEND_INV_SRC_COLOR,
                         D3D11_BLEND_OP_REV_SUBTRACT,
                         D3D11_BLEND_DEST_ALPHA,
                         D3D11_BLEND_INV_DEST_ALPHA,
                         D3D11_BLEND_OP_MIN,
                         0xF};
    b.RenderTarget[2] = {TRUE,
                         D3D11_BLEND_DEST_COLOR,
                         D3D11_BLEND_INV_DEST_COLOR,
                         D3D11_BLEND_OP_MAX,
                         D3D11_BLEND_SRC_ALPHA_SAT,
                         D3D11_BLEND_BLEND_FACTOR,
                         D3D11_BLEND_OP_MAX,
                         0xF};
    b.RenderTarget[3].BlendEnable = TRUE;
    b.RenderTarget[3].SrcBlendAlpha = D3D11_BLEND_INV_BLEND_FACTOR;
    b.RenderTarget[3].RenderTargetWriteMask = 8;
    b.RenderTarget[7].BlendEnable = TRUE;
    b.RenderTarget[7].SrcBlend = D3D11_BLEND_INV_BLEND_FACTOR;
    b.RenderTarget[7].RenderTargetWriteMask = 5;
    vBlends[1].RenderTarget[0].BlendEnable = TRUE;

    std::vector<D3D11_DEPTH_STENCIL_DESC> vDepths(3, DefaultDepthStencil());
    vDepths[0] = {
        TRUE,
        D3D11_DEPTH_WRITE_MASK_ZERO,
        D3D11_COMPARISON_NEVER,
        TRUE,
        0,
        0xFF,
        {D3D11_STENCIL_OP_KEEP, D3D11_STENCIL_OP_ZERO, D3D11_STENCIL_OP_REPLACE, D3D11_COMPARISON_LESS},
        {D3D11_STENCIL_OP_INCR_SAT, D3D11_STENCIL_OP_DECR_SAT, D3D11_STENCIL_OP_INVERT,
         D3D11_COMPARISON_EQUAL}};
    vDepths[1].DepthFunc = D3D11_COMPARISON_LESS_EQUAL;
    vDepths[1].StencilEnable = TRUE;
    vDepths[1].StencilReadMask = 255;
    vDepths[1].StencilWriteMask = 255;
    vDepths[1].FrontFace = {D3D11_STENCIL_OP_INCR, D3D11_STENCIL_OP_DECR, D3D11_STENCIL_OP_KEEP,
                            D3D11_COMPARISON_GREATER};
    vDepths[1].BackFace.StencilFunc = D3D11_COMPARISON_NOT_EQUAL;
    vDepths[2].DepthEnable = FALSE;
    vDepths[2].DepthFunc = D3D11_COMPARISON_GREATER_EQUAL;
    vDepths[2].StencilReadMask = 0x80;
    vDepths[2].BackFace.StencilFunc = D3D11_COMPARISON_ALWAYS;

    std::vector<D3D11_RASTERIZER_DESC> vRasterizers(4, DefaultRasterizer());
    vRasterizers[0] = {
        D3D11_FILL_WIREFRAME, D3D11_CULL_NONE, TRUE, -2147483647 - 1, -1.5f, 0.25f, FALSE, TRUE, TRUE, TRUE};
    vRasterizers[1].CullMode = D3D11_CULL_FRONT;
    vRasterizers[1].DepthBias = 2147483647;
    vRasterizers[1].DepthBiasClamp = 1000.0f;
    vRasterizers[1].SlopeScaledDepthBias = 0.25f;
    vRasterizers[2].DepthBias = -16;
    vRasterizers[2].DepthBiasClamp = 16.0f;
    vRasterizers[2].SlopeScaledDepthBias = -3.4e38f;
    vRasterizers[3].DepthBias = 15;
    vRasterizers[3].DepthBiasClamp = 7.0f;

    HRESULT hr = E_FAIL;
    ID3DX11Effect* pEffect = Load(compiled.vCode, &hr);
    ASSERT_EQ(S_OK, hr);
    ExpectPassStates(pEffect, m_pContext, vBlends, vDepths, vRasterizers);
    m_pContext->ClearState();
    EXPECT_EQ(0u, pEffect->Release());
}

// The dual-source blend factors were refused when compiling (before that, left at the default).
// The device takes all four as colour factors and SRC1_ALPHA and INV_SRC1_ALPHA as alpha factors:
// each loads as written. As alpha factors SRC1_COLOR and INV_SRC1_COLOR fare as SRC_COLOR does:
// they compile, and the device refuses them where blending is on, so the effect is not made.
TEST_F(EffectStates, DualSourceBlendFactorsLoadWhereTheDeviceTakesThem)
{
    ID3DX11Effect* pEffect = CompileAndLoad(
        "BlendState g_b { BlendEnable[0] = TRUE; SrcBlend = SRC1_COLOR; DestBlend = INV_SRC1_COLOR;\n"
        "  SrcBlendAlpha = SRC1_ALPHA; DestBlendAlpha = inv_src1_alpha;\n"
        "  BlendEnable[1] = TRUE; SrcBlend[1] = Src1_Alpha; DestBlend[1] = INV_SRC1_ALPHA; };\n",
        {"SetBlendState(g_b, float4(0, 0, 0, 0), 0xFFFFFFFF);"});
    ASSERT_NE(nullptr, pEffect);
    D3D11_BLEND_DESC expected = DefaultBlend();
    expected.IndependentBlendEnable = TRUE;
    expected.RenderTarget[0] = {TRUE,
                                D3D11_BLEND_SRC1_COLOR,
                                D3D11_BLEND_INV_SRC1_COLOR,
                                D3D11_BLEND_OP_ADD,
                                D3D11_BLEND_SRC1_ALPHA,
                                D3D11_BLEND_INV_SRC1_ALPHA,
                                D3D11_BLEND_OP_ADD,
                                D3D11_COLOR_WRITE_ENABLE_ALL};
    expected.RenderTarget[1].BlendEnable = TRUE;
    expected.RenderTarget[1].SrcBlend = D3D11_BLEND_SRC1_ALPHA;
    expected.RenderTarget[1].DestBlend = D3D11_BLEND_INV_SRC1_ALPHA;
    ExpectPassStates(pEffect, m_pContext, {expected}, {}, {});
    m_pContext->ClearState();
    EXPECT_EQ(0u, pEffect->Release());

    // A colour as an alpha factor, with blending on and off: the device's verdict, and the
    // factor loaded where it takes it.
    for (const char* pMember : {"SrcBlendAlpha", "DestBlendAlpha"})
    {
        for (const char* pName : {"SRC_COLOR", "SRC1_COLOR", "INV_SRC1_COLOR"})
        {
            for (const char* pEnable : {"TRUE", "FALSE"})
            {
                const std::string sCase =
                    std::string(pMember) + " = " + pName + " with BlendEnable " + pEnable;
                const effects_test::Result alpha = effects_test::CompileEffect(
                    StateEffect("BlendState g_a { BlendEnable[0] = " + std::string(pEnable) + "; " + pMember +
                                    " = " + pName + "; };\n",
                                {"SetBlendState(g_a, float4(0, 0, 0, 0), 0xFFFFFFFF);"}));
                ASSERT_EQ(S_OK, alpha.hr) << sCase << "\n" << alpha.sErrors;
                HRESULT hr = E_FAIL;
                ID3DX11Effect* pAlpha = Load(alpha.vCode, &hr);
                if (std::string(pEnable) == "TRUE")
                {
                    EXPECT_EQ(nullptr, pAlpha) << sCase;
                    EXPECT_EQ(E_INVALIDARG, hr) << sCase;
                    continue;
                }
                ASSERT_EQ(S_OK, hr) << sCase;
                ASSERT_EQ(S_OK, pAlpha->GetTechniqueByIndex(0)->GetPassByIndex(0)->Apply(0, m_pContext));
                const D3D11_RENDER_TARGET_BLEND_DESC target =
                    D3D11Control::GetBoundState(m_pContext).BlendDesc->RenderTarget[0];
                const D3D11_BLEND blend = std::string(pName) == "SRC_COLOR"    ? D3D11_BLEND_SRC_COLOR
                                          : std::string(pName) == "SRC1_COLOR" ? D3D11_BLEND_SRC1_COLOR
                                                                               : D3D11_BLEND_INV_SRC1_COLOR;
                EXPECT_EQ(blend, std::string(pMember) == "SrcBlendAlpha" ? target.SrcBlendAlpha
                                                                         : target.DestBlendAlpha)
                    << sCase;
                m_pContext->ClearState();
                EXPECT_EQ(0u, pAlpha->Release());
            }
        }
    }
}

// A negative sample mask or stencil reference loaded as its 32 bits (-1 as 0xFFFFFFFF), as HLSL
// converts a negative int to a uint, and was then refused when compiling. An integer constant
// after a '-' down to -2147483648 loads so again; the compiler's tests hold those refused.
TEST_F(EffectStates, NegativeSampleMaskAndStencilReferenceLoadAsTheirBits)
{
    ID3DX11Effect* pEffect = CompileAndLoad(
        "BlendState g_bs { BlendEnable[0] = TRUE; }; DepthStencilState g_ds { StencilEnable = TRUE; };\n",
        {"SetBlendState(g_bs, float4(0, 0, 0, 0), -1); SetDepthStencilState(g_ds, - 1);",
         "SetBlendState(NULL, float4(0, 0, 0, 0), -2147483648); SetDepthStencilState(NULL, -0x80000000);",
         "SetBlendState(g_bs, float4(0, 0, 0, 0), -0); SetDepthStencilState(g_ds, -010u);"});
    ASSERT_NE(nullptr, pEffect);
    const std::vector<std::pair<UINT, UINT>> vExpected = {
        {0xFFFFFFFFu, 0xFFFFFFFFu}, {0x80000000u, 0x80000000u}, {0u, 0xFFFFFFF8u}};
    for (UINT uiPass = 0; uiPass < vExpected.size(); ++uiPass)
    {
        D3DX11_PASS_DESC desc{};
        ASSERT_EQ(S_OK, pEffect->GetTechniqueByIndex(0)->GetPassByIndex(uiPass)->GetDesc(&desc));
        EXPECT_EQ(vExpected[uiPass], std::make_pair(desc.SampleMask, desc.StencilRef)) << "pass " << uiPass;
    }
    EXPECT_EQ(0u, pEffect->Release());
}

// A half constant in the blend factor or a float member loaded as the float it reads as, and was
// then refused when compiling. Where half precision holds its value exactly, the half HLSL makes
// and the float the effects read are one value, and it loads so again; the compiler's tests hold
// the others refused.
TEST_F(EffectStates, HalfConstantsLoadWhereHalfPrecisionHoldsThem)
{
    ID3DX11Effect* pEffect =
        CompileAndLoad("RasterizerState g_rs { DepthBiasClamp = -6.103515625e-5H;\n"
                       "  SlopeScaledDepthBias = 5.9604644775390625e-8h; };\n",
                       {"SetBlendState(NULL, float4(0.5h, 1.5H, -.25h, 65504.0h), 0xFFFFFFFF); "
                        "SetRasterizerState(g_rs);"});
    ASSERT_NE(nullptr, pEffect);
    D3DX11_PASS_DESC desc{};
    ASSERT_EQ(S_OK, pEffect->GetTechniqueByIndex(0)->GetPassByIndex(0)->GetDesc(&desc));
    EXPECT_EQ(std::vector<float>({0.5f, 1.5f, -0.25f, 65504.0f}),
              std::vector<float>(desc.BlendFactor, desc.BlendFactor + 4));
    D3D11_RASTERIZER_DESC expected = DefaultRasterizer();
    expected.DepthBiasClamp = -0x1p-14f;      // the smallest normal half
    expected.SlopeScaledDepthBias = 0x1p-24f; // the smallest half of all
    ExpectPassStates(pEffect, m_pContext, {}, {}, {expected});
    m_pContext->ClearState();
    EXPECT_EQ(0u, pEffect->Release());
}

// An integer, bool or mask member written as a float of a whole value loaded as that value, and
// was then refused when compiling. HLSL converts it without loss, and the effects read it as the
// same integer where it has no exponent (they stop at the dot: "1e1" would read as 1): it loads
// so again; the compiler's tests hold the others refused.
TEST_F(EffectStates, WholeFloatsLoadInIntegerAndBoolMembers)
{
    ID3DX11Effect* pEffect = CompileAndLoad(
        "BlendState g_bs { BlendEnable[0] = 1.0; RenderTargetWriteMask = 5.; AlphaToCoverageEnable = -1.0f;\n"
        "  BlendEnable[1] = 0.0; RenderTargetWriteMask[1] = 3.0h; };\n"
        "DepthStencilState g_ds { DepthEnable = 0.0; StencilEnable = 2.00; StencilReadMask = 255.0;\n"
        "  StencilWriteMask = .0; };\n"
        "RasterizerState g_rs { DepthBias = -2147483648.0; FrontCounterClockwise = 1.0L;\n"
        "  ScissorEnable = +0.0; };\n"
        "RasterizerState g_rs2 { DepthBias = 16777216.0; MultisampleEnable = 00.0; };\n",
        {"SetBlendState(g_bs, float4(0, 0, 0, 0), 0xFFFFFFFF); SetDepthStencilState(g_ds, 0); "
         "SetRasterizerState(g_rs);",
         "SetRasterizerState(g_rs2);"});
    ASSERT_NE(nullptr, pEffect);
    D3D11_BLEND_DESC blend = DefaultBlend();
    blend.AlphaToCoverageEnable = TRUE;
    blend.IndependentBlendEnable = TRUE;
    blend.RenderTarget[0].BlendEnable = TRUE;
    blend.RenderTarget[0].RenderTargetWriteMask = 5;
    blend.RenderTarget[1].RenderTargetWriteMask = 3;
    D3D11_DEPTH_STENCIL_DESC depth = DefaultDepthStencil();
    depth.DepthEnable = FALSE;
    depth.StencilEnable = TRUE;
    depth.StencilWriteMask = 0;
    std::vector<D3D11_RASTERIZER_DESC> vRasterizers(2, DefaultRasterizer());
    vRasterizers[0].DepthBias = -2147483647 - 1;
    vRasterizers[0].FrontCounterClockwise = TRUE;
    vRasterizers[1].DepthBias = 16777216;
    ExpectPassStates(pEffect, m_pContext, {blend}, {depth}, vRasterizers);
    m_pContext->ClearState();
    EXPECT_EQ(0u, pEffect->Release());
}
