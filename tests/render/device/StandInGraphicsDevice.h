#pragma once
// A graphics device over a stand-in Direct3D 11 device, installed in a test engine: what the
// resource manager and the meshes need (device and immediate context), nothing else. Resets the
// stand-in first and fails the test when a stand-in object outlives it.

#include "platform/d3d11/D3D11Control.h"
#include "platform/d3d11/d3d11.h"
#include "tests/support/FakeGraphicsDevice.h"
#include "tests/support/TestEngine.h"

#include <gtest/gtest.h>

#include <string>

class StandInGraphicsDevice : public FakeGraphicsDevice
{
public:
    explicit StandInGraphicsDevice(TestEngine& engine) : m_engine(engine)
    {
        D3D11Control::Reset();
        EXPECT_EQ(S_OK, D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0,
                                          D3D11_SDK_VERSION, &m_pDevice, nullptr, &m_pContext));
        m_engine->SetGraphicsDevice(this);
    }
    ~StandInGraphicsDevice() override
    {
        m_engine->SetGraphicsDevice(nullptr);
        if (m_pContext != nullptr)
            m_pContext->ClearState();
        Release(m_pContext);
        Release(m_pDevice);
        std::string sLive;
        for (const std::string& sLine : D3D11Control::GetLiveObjects())
            sLive += sLine + "\n";
        EXPECT_EQ(0u, D3D11Control::GetLiveObjectCount()) << sLive;
        D3D11Control::Reset();
    }

private:
    template <class T>
    static void Release(T*& p)
    {
        if (p != nullptr)
            p->Release();
        p = nullptr;
    }

    TestEngine& m_engine;
};
