#pragma once
// One loaded shader program: compiled bytecode and shader object per stage (null for an absent
// stage), the states it is drawn with and the compute stage's thread-group size. The states are
// not owned: they come from the resource manager's state caches and are filled in by whoever
// asked for the program; null means the device default.

#include "platform/d3d11/d3d11.h"
#include "platform/d3dcompiler/d3dcompiler.h"
#include "render/device/KR_ShaderStageType.h"

#include <cstdint>

struct KR_ShaderProgram
{
    ID3DBlob* m_pBlob[KR_NUM_SHADER_STAGES] = {nullptr, nullptr, nullptr, nullptr};
    ID3D11VertexShader* m_pVertexShader = nullptr;
    ID3D11PixelShader* m_pPixelShader = nullptr;
    ID3D11GeometryShader* m_pGeometryShader = nullptr;
    ID3D11ComputeShader* m_pComputeShader = nullptr;
    ID3D11DepthStencilState* m_pDepthStencilState = nullptr;
    std::uint32_t m_uiStencilReference = 0;
    ID3D11BlendState* m_pBlendState = nullptr;
    float m_fBlendFactor[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    std::uint32_t m_uiSampleMask = 0xFFFFFFFFu;
    std::uint32_t m_uiThreadGroupSizeX = 0; // of the compute stage; 0 without one
    std::uint32_t m_uiThreadGroupSizeY = 0;
    std::uint32_t m_uiThreadGroupSizeZ = 0;
    ID3D11RasterizerState* m_pRasterizerState = nullptr;
};
