#pragma once
// Shared by the shader core manager's tests: a manager with its resources on the stand-in device,
// programs compiled from small sources, reads of the uploaded buffers and of the call log.

#include "platform/d3d11/D3D11Control.h"
#include "platform/d3dcompiler/D3DCompilerControl.h"
#include "render/device/KR_ShaderCache.h"
#include "render/device/KR_ShaderCoreManagerDX11.h"
#include "render/device/KR_ShaderProgram.h"
#include "tests/render/device/StandInGraphicsDevice.h"
#include "tests/support/TestEngine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

class ShaderCoreTest : public ::testing::Test
{
protected:
    enum Stages : unsigned
    {
        VS = 1,
        PS = 2,
        GS = 4,
        CS = 8
    };

    void SetUp() override { ASSERT_TRUE(m_manager.CreateResources()); }
    void TearDown() override
    {
        for (KR_ShaderProgram* pProgram : m_vPrograms)
            KR_ShaderCache::DeleteShaderProgram(pProgram);
        m_manager.ReleaseResources();
    }

    // A program with shader objects for the given stages (owned by the fixture).
    KR_ShaderProgram* MakeProgram(unsigned uiStages)
    {
        auto* pProgram = new KR_ShaderProgram();
        m_vPrograms.push_back(pProgram);
        ID3D11Device* pDevice = m_device.GetDevice();
        if (uiStages & VS)
        {
            const std::string sCode =
                Compile("float4 M(float3 p : POSITION) : SV_POSITION { return float4(p, 1); }", "vs_5_0");
            pDevice->CreateVertexShader(sCode.data(), sCode.size(), nullptr, &pProgram->m_pVertexShader);
        }
        if (uiStages & PS)
        {
            const std::string sCode =
                Compile("float4 M() : SV_TARGET { return float4(1, 1, 1, 1); }", "ps_5_0");
            pDevice->CreatePixelShader(sCode.data(), sCode.size(), nullptr, &pProgram->m_pPixelShader);
        }
        if (uiStages & GS)
        {
            const std::string sCode =
                Compile("float4 M(float4 p : SV_POSITION) : SV_POSITION { return p; }", "gs_5_0");
            pDevice->CreateGeometryShader(sCode.data(), sCode.size(), nullptr, &pProgram->m_pGeometryShader);
        }
        if (uiStages & CS)
        {
            const std::string sCode = Compile("[numthreads(1, 1, 1)] void M() {}", "cs_5_0");
            pDevice->CreateComputeShader(sCode.data(), sCode.size(), nullptr, &pProgram->m_pComputeShader);
        }
        return pProgram;
    }

    static std::string Compile(const char* pSource, const char* pTarget)
    {
        ID3DBlob* pCode = nullptr;
        EXPECT_TRUE(SUCCEEDED(D3DCompile(pSource, std::strlen(pSource), "test.hlsl", nullptr, nullptr, "M",
                                         pTarget, 0, 0, &pCode, nullptr)))
            << pTarget;
        if (pCode == nullptr)
            return {};
        std::string sCode(static_cast<const char*>(pCode->GetBufferPointer()), pCode->GetBufferSize());
        pCode->Release();
        return sCode;
    }

    // The bytes the device holds for buffer 0 (b8) ... 4 (b12).
    std::vector<std::uint8_t> Uploaded(std::uint32_t uiBuffer)
    {
        std::vector<std::uint8_t> vData;
        EXPECT_TRUE(D3D11Control::ReadSubresource(m_manager.GetConstantBuffer(uiBuffer), 0, &vData));
        return vData;
    }
    template <class T>
    static T At(const std::vector<std::uint8_t>& vData, std::uint32_t uiOffset)
    {
        T value{};
        if (uiOffset + sizeof(T) <= vData.size())
            std::memcpy(&value, vData.data() + uiOffset, sizeof(T));
        return value;
    }
    static std::vector<float> Floats(const std::vector<std::uint8_t>& vData, std::uint32_t uiOffset,
                                     std::uint32_t uiCount)
    {
        std::vector<float> v;
        for (std::uint32_t i = 0; i < uiCount; ++i)
            v.push_back(At<float>(vData, uiOffset + 4 * i));
        return v;
    }

    // Calls of that method in the log, in order.
    static std::vector<D3D11Control::CallRecord> Calls(const std::string& sMethod)
    {
        std::vector<D3D11Control::CallRecord> vCalls;
        for (const D3D11Control::CallRecord& record : D3D11Control::GetCallLog())
            if (record.Method == sMethod)
                vCalls.push_back(record);
        return vCalls;
    }
    // Maps of one constant buffer in the log.
    std::size_t MapsOf(std::uint32_t uiBuffer)
    {
        const std::uint64_t uiId = D3D11Control::GetObjectId(m_manager.GetConstantBuffer(uiBuffer));
        std::size_t uiCount = 0;
        for (const D3D11Control::CallRecord& record : Calls("Map"))
            uiCount += record.Result == S_OK && record.Objects == std::vector<std::uint64_t>{uiId} ? 1 : 0;
        return uiCount;
    }

    TestEngine m_engine;
    StandInGraphicsDevice m_device{m_engine};
    KR_ShaderCoreManagerDX11 m_manager;
    std::vector<KR_ShaderProgram*> m_vPrograms;
};
