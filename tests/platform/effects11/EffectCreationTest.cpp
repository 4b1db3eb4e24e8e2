#include "platform/d3d11/D3D11Control.h"
#include "platform/d3d11/D3D11ShaderBytecode.h"
#include "platform/effects11/Effects11Control.h"
#include "platform/effects11/Effects11Effect.h"
#include "platform/effects11/d3dx11effect.h"
#include "tests/platform/d3dcompiler/D3DCompileTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace
{

std::vector<std::uint8_t> CompileBytes(const std::string& sSource, const char* pEntry, const char* pTarget)
{
    const d3dcompile_test::Result compiled = d3dcompile_test::Compile(sSource, pEntry, pTarget);
    EXPECT_EQ(S_OK, compiled.hr) << compiled.sErrors;
    return compiled.vCode;
}

const char* const EFFECT = R"(float4 g_vColours[3];
float4 PSMain() : SV_Target { return g_vColours[0]; }
float4 VSMain(float3 p : POSITION) : SV_POSITION { return float4(p, 1); }
technique11 Draw { pass Solid { SetVertexShader(CompileShader(vs_5_0, VSMain())); SetPixelShader(CompileShader(ps_5_0, PSMain())); } }
)";

} // namespace

TEST(EffectCreation, SavedBytecodeMakesAnEffectThatHoldsItsDevice)
{
    D3D11Control::Reset();
    Effects11Control::Reset();
    ID3D11Device* pDevice = nullptr;
    ASSERT_EQ(S_OK, D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0,
                                      D3D11_SDK_VERSION, &pDevice, nullptr, nullptr));
    // What a saved ".fxo" holds: the same bytes, read back into other memory.
    const std::vector<std::uint8_t> vSaved = CompileBytes(EFFECT, nullptr, "fx_5_0");
    const std::vector<std::uint8_t> vLoaded(vSaved);
    ID3DX11Effect* pEffect = nullptr;
    ASSERT_EQ(S_OK, D3DX11CreateEffectFromMemory(vLoaded.data(), vLoaded.size(), 0, pDevice, &pEffect));
    EXPECT_EQ(2u, D3D11Control::GetRefCount(pDevice));
    const auto* pOurs = static_cast<const effects11_internal::Effect*>(pEffect);
    ASSERT_EQ(1u, pOurs->GetBytecode().Techniques.size());
    EXPECT_EQ("Solid", pOurs->GetBytecode().Techniques[0].Passes[0].Name);
    EXPECT_EQ(3u, pOurs->GetBytecode().Variables[0].ArraySize);
    EXPECT_EQ(1u, Effects11Control::GetLiveEffectCount());
    EXPECT_EQ(0u, pEffect->Release());
    EXPECT_EQ(0u, Effects11Control::GetLiveEffectCount());
    EXPECT_EQ(1u, D3D11Control::GetRefCount(pDevice));

    // A single stage, cut bytes, no device and an injected failure are refused with no effect.
    const std::vector<std::uint8_t> vPixel = CompileBytes(EFFECT, "PSMain", "ps_5_0");
    EXPECT_EQ(E_INVALIDARG, D3DX11CreateEffectFromMemory(vPixel.data(), vPixel.size(), 0, pDevice, &pEffect));
    EXPECT_EQ(nullptr, pEffect);
    EXPECT_EQ(E_INVALIDARG,
              D3DX11CreateEffectFromMemory(vSaved.data(), vSaved.size() - 4, 0, pDevice, &pEffect));
    EXPECT_EQ(E_INVALIDARG, D3DX11CreateEffectFromMemory(vSaved.data(), vSaved.size(), 0, nullptr, &pEffect));
    Effects11Control::FailNext("D3DX11CreateEffectFromMemory");
    EXPECT_EQ(E_FAIL, D3DX11CreateEffectFromMemory(vSaved.data(), vSaved.size(), 0, pDevice, &pEffect));
    EXPECT_EQ(nullptr, pEffect);
    EXPECT_EQ(1u, Effects11Control::GetCreateCount());
    pDevice->Release();
    EXPECT_EQ(0u, D3D11Control::GetLiveObjectCount());
}

TEST(EffectCreation, AnArraySizeNoShaderCanDeclareIsRefused)
{
    D3D11Control::Reset();
    Effects11Control::Reset();
    ID3D11Device* pDevice = nullptr;
    ASSERT_EQ(S_OK, D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0,
                                      D3D11_SDK_VERSION, &pDevice, nullptr, nullptr));
    d3d11_internal::ShaderBytecode code;
    code.Target = "fx_5_0";
    code.Techniques.push_back({"T", {}});
    code.Variables.push_back({"float4x4", "g_mHuge", "", 0x40000000u, "", {}});
    std::vector<std::uint8_t> vBytes = d3d11_internal::EncodeShaderBytecode(code);
    ID3DX11Effect* pEffect = nullptr;
    EXPECT_EQ(E_INVALIDARG, D3DX11CreateEffectFromMemory(vBytes.data(), vBytes.size(), 0, pDevice, &pEffect));
    EXPECT_EQ(nullptr, pEffect);
    code.Variables[0].ArraySize = 4096;
    vBytes = d3d11_internal::EncodeShaderBytecode(code);
    ASSERT_EQ(S_OK, D3DX11CreateEffectFromMemory(vBytes.data(), vBytes.size(), 0, pDevice, &pEffect));
    EXPECT_EQ(0u, pEffect->Release());
    pDevice->Release();
    EXPECT_EQ(0u, D3D11Control::GetLiveObjectCount());
}
