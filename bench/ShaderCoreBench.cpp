// ApplyShaderProgram per draw through the stand-in device with its call log off: once with every
// constant buffer and the view table changed (the first draw after the scene filled its lights
// and a material reset its textures), once with nothing changed (the next draw of the same
// object). The second is the floor every draw pays: four shaders, buffers, samplers and states.

#include "framework/app/KE_ApplicationManager.h"
#include "platform/d3d11/D3D11Control.h"
#include "platform/d3d11/d3d11.h"
#include "platform/d3dcompiler/d3dcompiler.h"
#include "render/device/KR_GraphicsDevice.h"
#include "render/device/KR_ShaderCache.h"
#include "render/device/KR_ShaderCoreManagerDX11.h"
#include "render/device/KR_ShaderProgram.h"
#include "tests/support/FakeGraphicsDevice.h"

#include <benchmark/benchmark.h>

#include <cstring>

namespace
{

using BenchGraphicsDevice = FakeGraphicsDevice;

// An engine with a stand-in device, a shader core manager with its resources and a vertex and
// pixel program; torn down in reverse.
struct Engine
{
    Engine()
    {
        D3D11Control::SetCallLogging(false);
        D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION,
                          &pDevice, nullptr, &pContext);
        graphicsDevice = new BenchGraphicsDevice(pDevice, pContext);
        pEngine = new KE_ApplicationManager(nullptr, KE_ApplicationManager::MemberOwnership::Lent);
        pEngine->SetGraphicsDevice(graphicsDevice);
        manager.CreateResources();
        pProgram = new KR_ShaderProgram();
        Create("float4 M(float3 p : POSITION) : SV_POSITION { return float4(p, 1); }", "vs_5_0");
        Create("float4 M() : SV_TARGET { return float4(1, 1, 1, 1); }", "ps_5_0");
    }
    ~Engine()
    {
        KR_ShaderCache::DeleteShaderProgram(pProgram);
        manager.ReleaseResources();
        pContext->ClearState();
        delete pEngine;
        delete graphicsDevice;
        pContext->Release();
        pDevice->Release();
        D3D11Control::SetCallLogging(true);
    }
    void Create(const char* pSource, const char* pTarget)
    {
        ID3DBlob* pCode = nullptr;
        if (FAILED(D3DCompile(pSource, std::strlen(pSource), "bench.hlsl", nullptr, nullptr, "M", pTarget, 0,
                              0, &pCode, nullptr)))
            return;
        if (pTarget[0] == 'v')
            pDevice->CreateVertexShader(pCode->GetBufferPointer(), pCode->GetBufferSize(), nullptr,
                                        &pProgram->m_pVertexShader);
        else
            pDevice->CreatePixelShader(pCode->GetBufferPointer(), pCode->GetBufferSize(), nullptr,
                                       &pProgram->m_pPixelShader);
        pCode->Release();
    }

    ID3D11Device* pDevice = nullptr;
    ID3D11DeviceContext* pContext = nullptr;
    BenchGraphicsDevice* graphicsDevice = nullptr;
    KE_ApplicationManager* pEngine = nullptr;
    KR_ShaderCoreManagerDX11 manager;
    KR_ShaderProgram* pProgram = nullptr;
};

void BM_ApplyShaderProgramAllChanged(benchmark::State& state)
{
    Engine engine;
    KB_GrowingArray<DirectX::XMMATRIX> gBones;
    gBones.Add(DirectX::XMMatrixIdentity());
    const DirectX::XMMATRIX mWorld = DirectX::XMMatrixTranslation(1.0f, 2.0f, 3.0f);
    for (auto _ : state)
    {
        engine.manager.SetBoneMatrices(gBones);
        engine.manager.ResetMaterialTextures();
        engine.manager.SetWorldMatrix(mWorld);
        engine.manager.AddMatrix(mWorld);
        engine.manager.AddVector(DirectX::XMFLOAT4(1.0f, 2.0f, 3.0f, 4.0f));
        engine.manager.ApplyShaderProgram(engine.pProgram);
        engine.manager.ResetMatrixArray();
        engine.manager.ResetVectorArray();
    }
}
BENCHMARK(BM_ApplyShaderProgramAllChanged);

void BM_ApplyShaderProgramNoneChanged(benchmark::State& state)
{
    Engine engine;
    engine.manager.ApplyShaderProgram(engine.pProgram);
    for (auto _ : state)
        engine.manager.ApplyShaderProgram(engine.pProgram);
}
BENCHMARK(BM_ApplyShaderProgramNoneChanged);

} // namespace
