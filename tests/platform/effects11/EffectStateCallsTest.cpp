// A pass's state calls as an effect made from the compiled record sets them: each call the
// compiler accepts loads with the state and the numbers as written, and what the effects could
// only guess at (a name that is no state block, an array of state objects) is refused when
// compiling.

#include "platform/d3d11/D3D11Control.h"
#include "platform/d3d11/D3D11ShaderBytecode.h"
#include "platform/effects11/d3dx11effect.h"
#include "tests/platform/effects11/EffectTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
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
            ID3D11RasterizerState* pState = nullptr;
            m_pContext->RSGetState(&pState);
            sApplied = "no state";
            if (pState != nullptr)
            {
                D3D11_RASTERIZER_DESC desc{};
                pState->GetDesc(&desc);
                sApplied = "CullMode " + std::to_string(desc.CullMode);
                pState->Release();
            }
        }
        pEffect->Release();
        return sApplied;
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
