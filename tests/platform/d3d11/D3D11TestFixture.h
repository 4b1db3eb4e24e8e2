#pragma once
// Shared fixture of the Direct3D 11 / DXGI stand-in tests: resets the stand-in, makes a device
// on request and fails the test when any stand-in object outlives it.

#include "platform/d3d11/D3D11Control.h"
#include "platform/d3d11/d3d11.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class D3D11Fixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        D3D11Control::Reset();
        ASSERT_EQ(0u, D3D11Control::GetLiveObjectCount()) << "objects left by an earlier test";
    }

    void TearDown() override
    {
        Release(m_pContext);
        Release(m_pDevice);
        std::string sLive;
        for (const std::string& sLine : D3D11Control::GetLiveObjects())
            sLive += sLine + "\n";
        EXPECT_EQ(0u, D3D11Control::GetLiveObjectCount()) << sLive;
        D3D11Control::Reset();
    }

    void CreateDevice()
    {
        ASSERT_EQ(S_OK, D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0,
                                          D3D11_SDK_VERSION, &m_pDevice, nullptr, &m_pContext));
    }

    template <class T>
    static void Release(T*& p)
    {
        if (p != nullptr)
        {
            p->Release();
            p = nullptr;
        }
    }

    static D3D11_TEXTURE2D_DESC TextureDesc(UINT uiWidth, UINT uiHeight, DXGI_FORMAT format, UINT uiBindFlags,
                                            UINT uiSamples = 1)
    {
        D3D11_TEXTURE2D_DESC desc{};
        desc.Width = uiWidth;
        desc.Height = uiHeight;
        desc.MipLevels = 1;
        desc.ArraySize = 1;
        desc.Format = format;
        desc.SampleDesc = {uiSamples, 0};
        desc.Usage = D3D11_USAGE_DEFAULT;
        desc.BindFlags = uiBindFlags;
        return desc;
    }

    // A render target of desc with its render-target view, and a second texture of desc to copy it
    // to. The test releases all three.
    void CreateTargetAndCopy(const D3D11_TEXTURE2D_DESC& desc, ID3D11Texture2D** ppTarget,
                             ID3D11Texture2D** ppCopy, ID3D11RenderTargetView** ppView)
    {
        ASSERT_EQ(S_OK, m_pDevice->CreateTexture2D(&desc, nullptr, ppTarget));
        ASSERT_EQ(S_OK, m_pDevice->CreateTexture2D(&desc, nullptr, ppCopy));
        ASSERT_EQ(S_OK, m_pDevice->CreateRenderTargetView(*ppTarget, nullptr, ppView));
    }

    // Records of the frame in progress with that method name.
    static std::vector<D3D11Control::CallRecord> Calls(const std::string& sMethod)
    {
        std::vector<D3D11Control::CallRecord> vFound;
        for (const D3D11Control::CallRecord& record : D3D11Control::GetCallLog())
            if (record.Method == sMethod)
                vFound.push_back(record);
        return vFound;
    }

    ID3D11Device* m_pDevice = nullptr;
    ID3D11DeviceContext* m_pContext = nullptr;
};
