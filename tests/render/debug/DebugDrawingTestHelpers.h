#pragma once
// Shared by the developer shapes' drawing tests: an engine with the stand-in device, the shipped
// engine shaders read from the source tree, the real resource and material managers, and a shader
// core manager that records what each draw hands it. Reads of the context's call log.

#include "framework/files/KF_DirectoryRepository.h"
#include "framework/files/KF_FileManager.h"
#include "platform/d3d11/D3D11Control.h"
#include "platform/win32/Win32Control.h"
#include "platform/win32/Windows.h"
#include "render/device/KR_GraphicsResourceManagerDX11.h"
#include "render/device/KR_MaterialManager.h"
#include "render/device/KR_ShaderCache.h"
#include "render/device/KR_ShaderCoreManager.h"
#include "render/device/KR_ShaderProgram.h"
#include "tests/render/device/StandInGraphicsDevice.h"
#include "tests/support/TestEngine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace debugdrawingtest
{

// What one draw was handed by the shader core manager's setters before ApplyShaderProgram.
struct ShaderCoreDraw
{
    DirectX::XMFLOAT4X4 worldViewProjection = {};
    DirectX::XMFLOAT4 color = {};
    const KR_ShaderProgram* pProgram = nullptr;
};

class RecordingShaderCore : public KR_ShaderCoreManager
{
public:
    bool Initialize() override { return true; }
    bool CreateResources() override { return true; }
    bool CreateSizeDependentResources() override { return true; }
    bool ReleaseResources() override { return true; }
    bool ReleaseSizeDependentResources() override { return true; }
    void SetWorldViewProjectionMatrix(const DirectX::XMMATRIX& m) override
    {
        DirectX::XMStoreFloat4x4(&m_pending.worldViewProjection, m);
    }
    void SetObjectColor(const DirectX::XMFLOAT4& color) override { m_pending.color = color; }
    void ApplyShaderProgram(const KR_ShaderProgram* pProgram) override
    {
        m_pending.pProgram = pProgram;
        m_vDraws.push_back(m_pending);
    }

    ShaderCoreDraw m_pending;
    std::vector<ShaderCoreDraw> m_vDraws;
};

// One draw call of the context with the input-assembler state set before it.
struct ContextDraw
{
    std::string sMethod; // "Draw" or "DrawIndexed"
    std::vector<double> vValues;
    double fTopology = -1;
    double fStride = -1;
    double fIndexFormat = -1;
    std::uint64_t uiVertexBuffer = 0;
    std::uint64_t uiIndexBuffer = 0;
};

inline std::vector<ContextDraw> GetContextDraws()
{
    std::vector<ContextDraw> vDraws;
    ContextDraw state;
    for (const D3D11Control::CallRecord& record : D3D11Control::GetCallLog())
    {
        if (record.Method == "IASetPrimitiveTopology" && !record.Values.empty())
            state.fTopology = record.Values[0];
        else if (record.Method == "IASetVertexBuffers" && record.Values.size() >= 3 &&
                 !record.Objects.empty())
        {
            state.uiVertexBuffer = record.Objects[0];
            state.fStride = record.Values[2];
        }
        else if (record.Method == "IASetIndexBuffer" && !record.Values.empty() && !record.Objects.empty())
        {
            state.uiIndexBuffer = record.Objects[0];
            state.fIndexFormat = record.Values[0];
        }
        else if (record.Method == "Draw" || record.Method == "DrawIndexed")
        {
            ContextDraw draw = state;
            draw.sMethod = record.Method;
            draw.vValues = record.Values;
            vDraws.push_back(draw);
        }
    }
    return vDraws;
}

class DebugDrawingTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Win32Control::Reset();
        // A failed compilation shows a message box; answer it and fail through the program check.
        Win32Control::SetMessageBoxResponder([](const Win32Control::MessageBoxRecord&) { return IDOK; });
        m_files.AddRepository(new KF_DirectoryRepository(KV_SOURCE_ROOT));
        m_engine->SetFileManager(&m_files);
        m_engine->SetShaderCache(&m_cache);
        m_engine->SetShaderCoreManager(&m_core);
        m_pResources = new KR_GraphicsResourceManagerDX11();
        m_engine->SetGraphicsResourceManager(m_pResources);
        m_engine->SetMaterialManager(&m_materials);
        m_materials.CreateMaterialShaders();
    }
    void TearDown() override
    {
        m_engine->SetMaterialManager(nullptr);
        m_engine->SetGraphicsResourceManager(nullptr);
        delete m_pResources;
        m_engine->SetShaderCoreManager(nullptr);
        m_engine->SetShaderCache(nullptr);
        m_engine->SetFileManager(nullptr);
        Win32Control::Reset();
    }

    static bool SameMatrix(const DirectX::XMFLOAT4X4& a, const DirectX::XMMATRIX& b, float fTolerance = 1e-5f)
    {
        DirectX::XMFLOAT4X4 f;
        DirectX::XMStoreFloat4x4(&f, b);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                if (std::abs(a.m[r][c] - f.m[r][c]) > fTolerance)
                    return false;
        return true;
    }

    TestEngine m_engine;
    StandInGraphicsDevice m_device{m_engine};
    KF_FileManager m_files;
    KR_ShaderCache m_cache;
    RecordingShaderCore m_core;
    KR_GraphicsResourceManagerDX11* m_pResources = nullptr; // owned
    KR_MaterialManager m_materials;
};

} // namespace debugdrawingtest
