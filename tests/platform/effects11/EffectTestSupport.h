#pragma once
// What the effects stand-in's tests share: a fixture with a device and its context that fails the
// test when an effect or a device object outlives it, and the shader compiler tests' compile, which
// keeps the record and the messages.

#include "platform/d3d11/D3D11Control.h"
#include "platform/effects11/Effects11Control.h"
#include "tests/platform/d3dcompiler/D3DCompileTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace effects_test
{

using d3dcompile_test::Result;

// The text compiled as the effect "effect.fx".
inline Result CompileEffect(const std::string& sText)
{
    return d3dcompile_test::Compile(sText, nullptr, "fx_5_0", nullptr, nullptr, "effect.fx");
}

// Resets both stand-ins and makes a device with its immediate context; a test that makes effects
// releases them.
class DeviceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        D3D11Control::Reset();
        Effects11Control::Reset();
        ASSERT_EQ(S_OK, D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0,
                                          D3D11_SDK_VERSION, &m_pDevice, nullptr, &m_pContext));
    }

    void TearDown() override
    {
        m_pContext->Release();
        m_pDevice->Release();
        EXPECT_EQ(0u, Effects11Control::GetLiveEffectCount());
        EXPECT_EQ(0u, D3D11Control::GetLiveObjectCount());
    }

    ID3D11Device* m_pDevice = nullptr;
    ID3D11DeviceContext* m_pContext = nullptr;
};

} // namespace effects_test
