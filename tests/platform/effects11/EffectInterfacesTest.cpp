#include "platform/d3d11/D3D11Control.h"
#include "platform/effects11/Effects11Control.h"
#include "platform/effects11/d3dx11effect.h"
#include "tests/platform/effects11/EffectTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace
{

const char* const EFFECT = R"(
float g_fStrength;
float g_fOffsets[4];
int g_iCount;
float4 g_vColour;
float3 g_vPosition[2];
float4 g_vLights[32];
float4x4 g_mWorld;
float4x4 g_mShadows[3];
Texture2D g_tSource;
Texture2D g_tShadowMap[2];
RWStructuredBuffer<float4> g_uOutput;
BlendState AdditiveBlending { BlendEnable[0] = TRUE; SrcBlend = ONE; DestBlend = ONE; };
DepthStencilState NoDepth { DepthEnable = FALSE; DepthWriteMask = ZERO; };
RasterizerState NoCull { CullMode = NONE; };
struct VS_IN { float3 p : SV_POSITION; float2 t : TEXCOORD0; };
float4 VSMain(VS_IN i) : SV_POSITION { return float4(i.p, 1); }
float4 PSMain() : SV_Target { return g_vColour * g_fStrength; }
float4 PSOther() : SV_Target { return g_vLights[0]; }
technique11 Compose
{
    pass Plain { SetVertexShader(CompileShader(vs_5_0, VSMain())); SetPixelShader(CompileShader(ps_5_0, PSMain())); }
    pass Add
    {
        SetVertexShader(CompileShader(vs_5_0, VSMain())); SetGeometryShader(NULL);
        SetPixelShader(CompileShader(ps_5_0, PSOther()));
        SetBlendState(AdditiveBlending, float4(0.5f, 0.25f, 0.0f, 1.0f), 0xFFFFFFFF);
        SetDepthStencilState(NoDepth, 3);
        SetRasterizerState(NoCull);
    }
}
technique11 Other { pass P0 { SetPixelShader(CompileShader(ps_5_0, PSOther())); } }
)";

class EffectInterfaces : public effects_test::DeviceTest
{
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        const effects_test::Result compiled = effects_test::CompileEffect(EFFECT);
        ASSERT_EQ(S_OK, compiled.hr) << compiled.sErrors;
        m_vCode = compiled.vCode;
        ASSERT_EQ(S_OK,
                  D3DX11CreateEffectFromMemory(m_vCode.data(), m_vCode.size(), 0, m_pDevice, &m_pEffect));
    }

    void TearDown() override
    {
        const ULONG uiLeft = m_pEffect != nullptr ? m_pEffect->Release() : 0;
        EXPECT_EQ(0u, uiLeft);
        DeviceTest::TearDown();
    }

    ID3D11ShaderResourceView* MakeView()
    {
        const D3D11_TEXTURE2D_DESC desc = {4,
                                           4,
                                           1,
                                           1,
                                           DXGI_FORMAT_R16G16B16A16_FLOAT,
                                           {1, 0},
                                           D3D11_USAGE_DEFAULT,
                                           D3D11_BIND_SHADER_RESOURCE,
                                           0,
                                           0};
        ID3D11Texture2D* pTexture = nullptr;
        EXPECT_EQ(S_OK, m_pDevice->CreateTexture2D(&desc, nullptr, &pTexture));
        ID3D11ShaderResourceView* pView = nullptr;
        EXPECT_EQ(S_OK, m_pDevice->CreateShaderResourceView(pTexture, nullptr, &pView));
        pTexture->Release();
        return pView;
    }

    ID3DX11Effect* m_pEffect = nullptr;
    std::vector<std::uint8_t> m_vCode;
};

} // namespace

TEST_F(EffectInterfaces, TechniquesAndPassesByIndexAndNameWithInvalidObjectsBeyond)
{
    D3DX11_EFFECT_DESC effectDesc{};
    ASSERT_EQ(S_OK, m_pEffect->GetDesc(&effectDesc));
    EXPECT_EQ(2u, effectDesc.Techniques);
    ID3DX11EffectTechnique* pTechnique = m_pEffect->GetTechniqueByIndex(0);
    ASSERT_TRUE(pTechnique->IsValid());
    EXPECT_EQ(pTechnique, m_pEffect->GetTechniqueByName("Compose"));
    D3DX11_TECHNIQUE_DESC techniqueDesc{};
    ASSERT_EQ(S_OK, pTechnique->GetDesc(&techniqueDesc));
    EXPECT_STREQ("Compose", techniqueDesc.Name);
    EXPECT_EQ(2u, techniqueDesc.Passes);
    EXPECT_EQ(pTechnique->GetPassByIndex(1), pTechnique->GetPassByName("Add"));

    // Unknown names and indices answer invalid objects that fail harmlessly, never null.
    ID3DX11EffectTechnique* pMissing = m_pEffect->GetTechniqueByIndex(19);
    ASSERT_NE(nullptr, pMissing);
    EXPECT_FALSE(pMissing->IsValid());
    EXPECT_FALSE(m_pEffect->GetTechniqueByName("Bloom")->IsValid());
    ID3DX11EffectPass* pNoPass = pMissing->GetPassByIndex(0);
    ASSERT_NE(nullptr, pNoPass);
    EXPECT_FALSE(pNoPass->IsValid());
    EXPECT_EQ(E_FAIL, pNoPass->Apply(0, m_pContext));
    D3DX11_PASS_DESC passDesc{};
    EXPECT_EQ(E_FAIL, pNoPass->GetDesc(&passDesc));
    EXPECT_FALSE(pTechnique->GetPassByIndex(2)->IsValid());
    EXPECT_FALSE(pTechnique->GetPassByName("Missing")->IsValid());
    EXPECT_TRUE(Effects11Control::GetApplyLog().empty());
}

TEST_F(EffectInterfaces, PassInputSignatureMakesAnInputLayout)
{
    D3DX11_PASS_DESC passDesc{};
    ASSERT_EQ(S_OK, m_pEffect->GetTechniqueByIndex(0)->GetPassByIndex(0)->GetDesc(&passDesc));
    EXPECT_STREQ("Plain", passDesc.Name);
    ASSERT_NE(nullptr, passDesc.pIAInputSignature);
    const D3D11_INPUT_ELEMENT_DESC elements[] = {
        {"SV_POSITION", 0, DXGI_FORMAT_R32G32B32_FLOAT, 0, 0, D3D11_INPUT_PER_VERTEX_DATA, 0},
        {"TEXCOORD", 0, DXGI_FORMAT_R32G32_FLOAT, 0, 12, D3D11_INPUT_PER_VERTEX_DATA, 0}};
    ID3D11InputLayout* pLayout = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateInputLayout(elements, 2, passDesc.pIAInputSignature,
                                                 passDesc.IAInputSignatureSize, &pLayout));
    pLayout->Release();
    // A semantic the vertex shader does not take is refused.
    const D3D11_INPUT_ELEMENT_DESC wrong[] = {
        {"NORMAL", 0, DXGI_FORMAT_R32G32B32_FLOAT, 0, 0, D3D11_INPUT_PER_VERTEX_DATA, 0}};
    EXPECT_NE(S_OK, m_pDevice->CreateInputLayout(wrong, 1, passDesc.pIAInputSignature,
                                                 passDesc.IAInputSignatureSize, &pLayout));

    // A pass without a vertex shader has no signature; its blend factor and stencil reference
    // come from its state calls.
    ASSERT_EQ(S_OK, m_pEffect->GetTechniqueByIndex(1)->GetPassByIndex(0)->GetDesc(&passDesc));
    EXPECT_EQ(nullptr, passDesc.pIAInputSignature);
    EXPECT_EQ(0u, passDesc.IAInputSignatureSize);
    ASSERT_EQ(S_OK, m_pEffect->GetTechniqueByIndex(0)->GetPassByIndex(1)->GetDesc(&passDesc));
    EXPECT_EQ(3u, passDesc.StencilRef);
    EXPECT_EQ(0.25f, passDesc.BlendFactor[1]);
}

TEST_F(EffectInterfaces, VariablesOfEachKindAndTheInvalidDummy)
{
    ID3DX11EffectVariable* pUnknown = m_pEffect->GetVariableByName("g_fMissing");
    ASSERT_NE(nullptr, pUnknown);
    EXPECT_FALSE(pUnknown->IsValid());
    EXPECT_FALSE(pUnknown->AsScalar()->IsValid());
    EXPECT_EQ(E_FAIL, pUnknown->AsScalar()->SetFloat(1.0f));
    EXPECT_EQ(E_FAIL, pUnknown->AsVector()->SetFloatVectorArray(nullptr, 0, 0));
    EXPECT_EQ(E_FAIL, pUnknown->AsMatrix()->SetMatrix(nullptr));
    EXPECT_EQ(E_FAIL, pUnknown->AsShaderResource()->SetResource(nullptr));
    EXPECT_FALSE(pUnknown->GetType()->IsValid());

    // A variable asked for another kind answers that kind's dummy; its own kind works.
    ID3DX11EffectVariable* pColour = m_pEffect->GetVariableByName("g_vColour");
    ASSERT_TRUE(pColour->IsValid());
    EXPECT_FALSE(pColour->AsScalar()->IsValid());
    EXPECT_FALSE(pColour->AsMatrix()->IsValid());
    EXPECT_FALSE(m_pEffect->GetVariableByName("g_tSource")->AsVector()->IsValid());
    EXPECT_FALSE(m_pEffect->GetVariableByName("g_fStrength")->AsShaderResource()->IsValid());
    EXPECT_TRUE(m_pEffect->GetVariableByName("g_uOutput")->AsUnorderedAccessView()->IsValid());
    EXPECT_FALSE(m_pEffect->GetVariableByName("AdditiveBlending")->AsScalar()->IsValid());

    const float colour[4] = {1.0f, 0.5f, 0.25f, 0.125f};
    ASSERT_EQ(S_OK, pColour->AsVector()->SetFloatVector(colour));
    float back[4] = {};
    ASSERT_EQ(S_OK, pColour->AsVector()->GetFloatVector(back));
    EXPECT_EQ(0.125f, back[3]);
    // A float3 takes three floats, also per array element.
    const float positions[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(S_OK,
              m_pEffect->GetVariableByName("g_vPosition")->AsVector()->SetFloatVectorArray(positions, 0, 2));
    ASSERT_EQ(S_OK, m_pEffect->GetVariableByName("g_iCount")->AsScalar()->SetInt(7));
    int iCount = 0;
    ASSERT_EQ(S_OK, m_pEffect->GetVariableByName("g_iCount")->AsScalar()->GetInt(&iCount));
    EXPECT_EQ(7, iCount);

    D3DX11_EFFECT_TYPE_DESC typeDesc{};
    ASSERT_EQ(S_OK, m_pEffect->GetVariableByName("g_vLights")->GetType()->GetDesc(&typeDesc));
    EXPECT_EQ(32u, typeDesc.Elements);
    EXPECT_EQ(4u, typeDesc.Columns);
    ASSERT_EQ(S_OK, m_pEffect->GetVariableByName("g_fStrength")->GetType()->GetDesc(&typeDesc));
    EXPECT_EQ(0u, typeDesc.Elements);
    EXPECT_EQ(D3D_SVC_SCALAR, typeDesc.Class);
}

TEST_F(EffectInterfaces, ArrayWritesBeyondTheDeclaredSizeAreRefusedAndChangeNothing)
{
    ID3DX11EffectVectorVariable* pLights = m_pEffect->GetVariableByName("g_vLights")->AsVector();
    std::vector<float> vOnes(33 * 4, 1.0f);
    EXPECT_EQ(S_OK, pLights->SetFloatVectorArray(vOnes.data(), 30, 2));
    std::vector<float> vTwos(33 * 4, 2.0f);
    EXPECT_EQ(E_INVALIDARG, pLights->SetFloatVectorArray(vTwos.data(), 0, 33));
    EXPECT_EQ(E_INVALIDARG, pLights->SetFloatVectorArray(vTwos.data(), 31, 2));
    EXPECT_EQ(E_INVALIDARG, pLights->SetFloatVectorArray(vTwos.data(), 0xFFFFFFFFu, 2));
    EXPECT_EQ(S_OK, pLights->SetFloatVectorArray(nullptr, 32, 0)); // count 0 is allowed
    const float offsets[5] = {1, 2, 3, 4, 5};
    EXPECT_EQ(E_INVALIDARG,
              m_pEffect->GetVariableByName("g_fOffsets")->AsScalar()->SetFloatArray(offsets, 0, 5));
    EXPECT_EQ(S_OK, m_pEffect->GetVariableByName("g_fOffsets")->AsScalar()->SetFloatArray(offsets, 0, 4));
    std::vector<float> vMatrices(4 * 16, 3.0f);
    EXPECT_EQ(E_INVALIDARG,
              m_pEffect->GetVariableByName("g_mShadows")->AsMatrix()->SetMatrixArray(vMatrices.data(), 0, 4));
    // A variable that is no array holds one element.
    EXPECT_EQ(E_INVALIDARG,
              m_pEffect->GetVariableByName("g_vColour")->AsVector()->SetFloatVectorArray(vTwos.data(), 0, 2));

    ASSERT_EQ(S_OK, m_pEffect->GetTechniqueByIndex(0)->GetPassByIndex(0)->Apply(0, m_pContext));
    const std::vector<Effects11Control::ApplyRecord> log = Effects11Control::GetApplyLog();
    ASSERT_EQ(1u, log.size());
    const Effects11Control::VariableSnapshot* pSnapshot = log[0].Find("g_vLights");
    ASSERT_NE(nullptr, pSnapshot);
    ASSERT_EQ(32u * 4u, pSnapshot->Values.size());
    EXPECT_EQ(0.0f, pSnapshot->Values[0]);
    EXPECT_EQ(1.0f, pSnapshot->Values[30 * 4]);
    EXPECT_EQ(1.0f, pSnapshot->Values[32 * 4 - 1]);
    EXPECT_EQ(std::vector<float>({1, 2, 3, 4}), log[0].Find("g_fOffsets")->Values);
    EXPECT_EQ(0.0f, log[0].Find("g_mShadows")->Values[0]);
    EXPECT_FALSE(log[0].Find("g_mShadows")->Written);
}

TEST_F(EffectInterfaces, ApplyBindsShadersAndStatesAndRecordsEveryVariable)
{
    ID3D11ShaderResourceView* pView = MakeView();
    ASSERT_EQ(S_OK, m_pEffect->GetVariableByName("g_tSource")->AsShaderResource()->SetResource(pView));
    EXPECT_EQ(2u, D3D11Control::GetRefCount(pView)); // the effect holds its own reference
    ID3D11ShaderResourceView* shadows[2] = {nullptr, pView};
    ASSERT_EQ(
        S_OK,
        m_pEffect->GetVariableByName("g_tShadowMap")->AsShaderResource()->SetResourceArray(shadows, 0, 2));
    EXPECT_EQ(
        E_INVALIDARG,
        m_pEffect->GetVariableByName("g_tShadowMap")->AsShaderResource()->SetResourceArray(shadows, 1, 2));
    ASSERT_EQ(S_OK, m_pEffect->GetVariableByName("g_fStrength")->AsScalar()->SetFloat(0.08f));
    float world[16] = {};
    world[3] = 5.0f;
    ASSERT_EQ(S_OK, m_pEffect->GetVariableByName("g_mWorld")->AsMatrix()->SetMatrix(world));

    D3D11Control::ClearCallLog();
    ASSERT_EQ(S_OK, m_pEffect->GetTechniqueByName("Compose")->GetPassByName("Add")->Apply(0, m_pContext));
    std::vector<std::string> vMethods;
    std::vector<D3D11Control::CallRecord> calls;
    for (const D3D11Control::CallRecord& call : D3D11Control::GetCallLog())
    {
        if (call.Method == "Release")
            continue;
        vMethods.push_back(call.Method);
        calls.push_back(call);
    }
    EXPECT_EQ(std::vector<std::string>({"VSSetShader", "GSSetShader", "PSSetShader", "OMSetBlendState",
                                        "OMSetDepthStencilState", "RSSetState"}),
              vMethods);
    EXPECT_EQ(0u, calls[1].Objects[0]); // SetGeometryShader(NULL)
    EXPECT_NE(0u, calls[3].Objects[0]);
    EXPECT_EQ(0.5, calls[3].Values[0]);
    EXPECT_EQ(3.0, calls[4].Values[0]);

    // The pass without states binds only its shaders.
    D3D11Control::ClearCallLog();
    ASSERT_EQ(S_OK, m_pEffect->GetTechniqueByIndex(0)->GetPassByIndex(0)->Apply(0, m_pContext));
    std::size_t uiBinds = 0;
    for (const D3D11Control::CallRecord& call : D3D11Control::GetCallLog())
        uiBinds += call.Method != "Release" ? 1 : 0;
    EXPECT_EQ(2u, uiBinds);
    EXPECT_EQ(E_INVALIDARG, m_pEffect->GetTechniqueByIndex(0)->GetPassByIndex(0)->Apply(1, m_pContext));
    Effects11Control::FailNext("Apply");
    EXPECT_EQ(E_FAIL, m_pEffect->GetTechniqueByIndex(0)->GetPassByIndex(0)->Apply(0, m_pContext));

    const std::vector<Effects11Control::ApplyRecord> log = Effects11Control::GetApplyLog();
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ(Effects11Control::GetEffectNumber(m_pEffect), log[0].Effect);
    EXPECT_EQ("Compose", log[0].TechniqueName);
    EXPECT_EQ(1u, log[0].Pass);
    EXPECT_EQ("Add", log[0].PassName);
    EXPECT_EQ(0.08f, log[0].Find("g_fStrength")->Values[0]);
    EXPECT_EQ(5.0f, log[0].Find("g_mWorld")->Values[3]);
    const std::uint64_t uiView = D3D11Control::GetObjectId(pView);
    EXPECT_EQ(std::vector<std::uint64_t>({uiView}), log[0].Find("g_tSource")->Resources);
    EXPECT_EQ(std::vector<std::uint64_t>({0, uiView}), log[0].Find("g_tShadowMap")->Resources);
    EXPECT_EQ(nullptr, log[0].Find("g_tNothing"));
    EXPECT_EQ(0u, log[1].Pass);

    // Setting null drops the effect's reference; releasing the effect drops the rest.
    ASSERT_EQ(S_OK, m_pEffect->GetVariableByName("g_tSource")->AsShaderResource()->SetResource(nullptr));
    EXPECT_EQ(2u, D3D11Control::GetRefCount(pView));
    EXPECT_EQ(0u, m_pEffect->Release());
    m_pEffect = nullptr;
    EXPECT_EQ(1u, D3D11Control::GetRefCount(pView));
    pView->Release();
}
