// Fuzzes the readers of compiled shader records (the stand-in compiler's bytecode, which ".fxo"
// effect files and the shader cache also hold): the record decoder, with a decoded record written
// and read back, and the calls that take bytecode from files: D3DReflect, the device's shader and
// input-layout creation and the effect creation.

#include "platform/d3d11/D3D11ShaderBytecode.h"
#include "platform/d3d11/d3d11.h"
#include "platform/d3dcompiler/d3d11shader.h"
#include "platform/d3dcompiler/d3dcompiler.h"
#include "platform/effects11/d3dx11effect.h"

#include <cstdint>
#include <vector>

namespace
{

ID3D11Device* Device()
{
    static ID3D11Device* s_pDevice = []
    {
        ID3D11Device* pDevice = nullptr;
        if (FAILED(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0,
                                     D3D11_SDK_VERSION, &pDevice, nullptr, nullptr)))
        {
            __builtin_trap();
        }
        return pDevice;
    }();
    return s_pDevice;
}

template <class T>
void ReleaseIfMade(T* p)
{
    if (p != nullptr)
        p->Release();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize)
{
    // A copy of exactly the record, so reading past its end is caught.
    const std::vector<std::uint8_t> record(pData, pData + uiSize);
    const void* pRecord = record.empty() ? static_cast<const void*>(&record) : record.data();

    d3d11_internal::ShaderBytecode decoded;
    if (d3d11_internal::DecodeShaderBytecode(pRecord, record.size(), &decoded))
    {
        // Whatever the decoder accepts, the encoder writes back in a form it accepts again.
        const std::vector<std::uint8_t> again = d3d11_internal::EncodeShaderBytecode(decoded);
        d3d11_internal::ShaderBytecode twice;
        if (!d3d11_internal::DecodeShaderBytecode(again.data(), again.size(), &twice))
            __builtin_trap();
    }

    ID3D11ShaderReflection* pReflection = nullptr;
    if (SUCCEEDED(D3DReflect(pRecord, record.size(), IID_ID3D11ShaderReflection,
                             reinterpret_cast<void**>(&pReflection))))
    {
        UINT x = 0, y = 0, z = 0;
        pReflection->GetThreadGroupSize(&x, &y, &z);
        pReflection->Release();
    }
    ID3D11Device* pDevice = Device();
    ID3D11VertexShader* pVertex = nullptr;
    pDevice->CreateVertexShader(pRecord, record.size(), nullptr, &pVertex);
    ReleaseIfMade(pVertex);
    ID3D11PixelShader* pPixel = nullptr;
    pDevice->CreatePixelShader(pRecord, record.size(), nullptr, &pPixel);
    ReleaseIfMade(pPixel);
    ID3D11ComputeShader* pCompute = nullptr;
    pDevice->CreateComputeShader(pRecord, record.size(), nullptr, &pCompute);
    ReleaseIfMade(pCompute);
    const D3D11_INPUT_ELEMENT_DESC elements[] = {
        {"POSITION", 0, DXGI_FORMAT_R32G32B32_FLOAT, 0, 0, D3D11_INPUT_PER_VERTEX_DATA, 0}};
    ID3D11InputLayout* pLayout = nullptr;
    pDevice->CreateInputLayout(elements, 1, pRecord, record.size(), &pLayout);
    ReleaseIfMade(pLayout);
    ID3DX11Effect* pEffect = nullptr;
    if (SUCCEEDED(D3DX11CreateEffectFromMemory(pRecord, record.size(), 0, pDevice, &pEffect)))
        pEffect->Release();
    return 0;
}
