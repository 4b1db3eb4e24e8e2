// Making an effect on the stand-in device from its compiled record, against the number of state
// blocks and state calls: range(0) passes, each setting a blend, a depth-stencil and a rasterizer
// state of its own, so the effect has three blocks and three calls a pass. Each call once looked
// its block up among every variable of the effect, so the load grew with the square of the
// effect's size (about 1 s for 21,500 blocks and 19,339 calls); with the variables found by name
// once per effect the time per call stays flat from the smaller size to the larger. The record is
// made as the compiler makes it (the larger one would pass the compiler's limits of source text
// and macro expansion if written out), once, before the loop; only the load and the release are
// timed.

#include "platform/d3d11/D3D11Control.h"
#include "platform/d3d11/D3D11ShaderBytecode.h"
#include "platform/d3d11/d3d11.h"
#include "platform/effects11/d3dx11effect.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace
{

// The letter and the number: "b12". Appended, not "b" + number: g++ 12 at -O3 misreads that as an
// overlapping copy.
std::string Named(char cLetter, std::int64_t iNumber)
{
    std::string s(1, cLetter);
    s += std::to_string(iNumber);
    return s;
}

std::vector<std::uint8_t> StateBlocksEffect(std::int64_t iPasses)
{
    d3d11_internal::ShaderBytecode record;
    record.Target = "fx_5_0";
    d3d11_internal::EffectTechnique technique{"T", {}};
    for (std::int64_t i = 0; i < iPasses; ++i)
    {
        const std::string b = Named('b', i), d = Named('d', i), r = Named('r', i);
        record.Variables.push_back(
            {"BlendState",
             b,
             "",
             0,
             "",
             {{"BlendEnable[0]", "TRUE"}, {"SrcBlend", "SRC_ALPHA"}, {"DestBlend", "INV_SRC_ALPHA"}}});
        record.Variables.push_back({"DepthStencilState", d, "", 0, "", {{"DepthEnable", "FALSE"}}});
        record.Variables.push_back({"RasterizerState", r, "", 0, "", {{"CullMode", "NONE"}}});
        technique.Passes.push_back({Named('P', i),
                                    {},
                                    {{"SetBlendState", b + ",float4(0,0,0,0),0xFFFFFFFF"},
                                     {"SetDepthStencilState", d + ",0"},
                                     {"SetRasterizerState", r}}});
    }
    record.Techniques.push_back(std::move(technique));
    return d3d11_internal::EncodeShaderBytecode(record);
}

void BM_LoadEffectOfManyStateCalls(benchmark::State& state)
{
    const std::vector<std::uint8_t> vCode = StateBlocksEffect(state.range(0));
    D3D11Control::SetCallLogging(false);
    ID3D11Device* pDevice = nullptr;
    D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION, &pDevice,
                      nullptr, nullptr);
    for (auto _ : state)
    {
        ID3DX11Effect* pEffect = nullptr;
        if (FAILED(D3DX11CreateEffectFromMemory(vCode.data(), vCode.size(), 0, pDevice, &pEffect)))
        {
            state.SkipWithError("the effect was not made");
            break;
        }
        pEffect->Release();
    }
    const std::int64_t iCalls = 3 * state.range(0);
    state.SetItemsProcessed(state.iterations() * iCalls);
    state.counters["calls"] = static_cast<double>(iCalls);
    pDevice->Release();
    D3D11Control::SetCallLogging(true);
}
BENCHMARK(BM_LoadEffectOfManyStateCalls)->Arg(700)->Arg(7000)->Unit(benchmark::kMillisecond);

} // namespace
