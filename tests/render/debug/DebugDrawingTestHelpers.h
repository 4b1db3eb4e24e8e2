#pragma once
// Shared by the developer shapes' drawing tests: an engine with the stand-in device, the shipped
// engine shaders read from the source tree, the real resource and material managers, and the real
// shader core manager, which also records what each draw hands it. The context's draw records
// (D3D11Control::GetDrawCalls) show the pipeline each draw would reach the screen with.

#include "framework/files/KF_DirectoryRepository.h"
#include "framework/files/KF_FileManager.h"
#include "platform/d3d11/D3D11Control.h"
#include "platform/win32/Win32Control.h"
#include "platform/win32/Windows.h"
#include "render/debug/KR_DebugDrawing.h"
#include "render/device/KR_GraphicsResourceManagerDX11.h"
#include "render/device/KR_MaterialManager.h"
#include "render/device/KR_ShaderCache.h"
#include "render/device/KR_ShaderCoreManagerDX11.h"
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

class RecordingShaderCore : public KR_ShaderCoreManagerDX11
{
public:
    void SetWorldViewProjectionMatrix(const DirectX::XMMATRIX& m) override
    {
        DirectX::XMStoreFloat4x4(&m_pending.worldViewProjection, m);
        KR_ShaderCoreManagerDX11::SetWorldViewProjectionMatrix(m);
    }
    void SetObjectColor(const DirectX::XMFLOAT4& color) override
    {
        m_pending.color = color;
        KR_ShaderCoreManagerDX11::SetObjectColor(color);
    }
    void ApplyShaderProgram(const KR_ShaderProgram* pProgram) override
    {
        m_pending.pProgram = pProgram;
        m_vDraws.push_back(m_pending);
        KR_ShaderCoreManagerDX11::ApplyShaderProgram(pProgram);
    }

    ShaderCoreDraw m_pending;
    std::vector<ShaderCoreDraw> m_vDraws;
};

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
        ASSERT_TRUE(m_core.CreateResources());
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

    // The draw would reach the screen through the shipped fixed-colour program with the material
    // manager's opaque states and the position-only layout.
    void ExpectFixedColorPipeline(const D3D11Control::CallRecord& draw) const
    {
        ASSERT_TRUE(draw.Pipeline.has_value()) << draw.Method;
        const D3D11Control::DrawPipeline& pipeline = *draw.Pipeline;
        const KR_ShaderProgram* pProgram = KR_DebugDrawing::GetFixedColorProgram();
        ASSERT_NE(pProgram, nullptr);
        EXPECT_NE(pipeline.VertexShader, 0u);
        EXPECT_EQ(pipeline.VertexShader, D3D11Control::GetObjectId(pProgram->m_pVertexShader));
        EXPECT_EQ(pipeline.PixelShader, D3D11Control::GetObjectId(pProgram->m_pPixelShader));
        EXPECT_EQ(pipeline.GeometryShader, 0u);
        EXPECT_EQ(pipeline.InputLayout, D3D11Control::GetObjectId(KR_DebugDrawing::GetInputLayout()));
        EXPECT_NE(pipeline.BlendState, 0u);
        EXPECT_EQ(pipeline.BlendState, D3D11Control::GetObjectId(m_materials.GetBlendState(0)));
        EXPECT_EQ(pipeline.DepthStencilState, D3D11Control::GetObjectId(m_materials.GetDepthStencilState(1)));
        EXPECT_EQ(pipeline.RasterizerState, D3D11Control::GetObjectId(m_materials.GetRasterizerState(0)));
        ASSERT_FALSE(pipeline.VertexBuffers.empty());
        EXPECT_EQ(pipeline.VertexBuffers[0].Stride, KR_DebugDrawing::VERTEX_STRIDE);
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
