#pragma once
// Shared by the transparency and metaball renderer tests: an engine with the stand-in device at a
// size and sample count the test chooses, the real resource manager, shader cache (compiling the
// shipped shaders from the source tree), shader core and material manager, and reads of the
// stand-in's call log. The device's teardown fails the test when a reference is left over.

#include "framework/files/KF_DirectoryRepository.h"
#include "platform/d3d11/D3D11Control.h"
#include "platform/win32/Win32Control.h"
#include "platform/win32/Windows.h"
#include "render/device/KR_GraphicsResourceManagerDX11.h"
#include "render/device/KR_MaterialManager.h"
#include "render/device/KR_ShaderCache.h"
#include "render/device/KR_ShaderCoreManagerDX11.h"
#include "tests/render/device/StandInGraphicsDevice.h"
#include "tests/support/LibraryFactory.h"
#include "tests/support/MemoryFiles.h"
#include "tests/support/TestEngine.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

class SizedStandInDevice : public StandInGraphicsDevice
{
public:
    using StandInGraphicsDevice::StandInGraphicsDevice;

    std::uint32_t GetWidth() override { return m_uiWidth; }
    std::uint32_t GetHeight() override { return m_uiHeight; }
    std::uint32_t GetAntiAliasing() override { return m_uiSamples; }
    ID3D11Texture2D* GetDepthStencilTexture() override { return m_pDepthTexture; }
    ID3D11DepthStencilView* GetMainDepthStencilView() override { return m_pDepthView; }

    std::uint32_t m_uiWidth = 64;
    std::uint32_t m_uiHeight = 32;
    std::uint32_t m_uiSamples = 1;
    ID3D11Texture2D* m_pDepthTexture = nullptr;     // not owned
    ID3D11DepthStencilView* m_pDepthView = nullptr; // not owned
};

class MetaBallAndOITTest : public ::testing::Test
{
protected:
    static constexpr const char* LIBRARY_PATH = "Assets/Materials/Test.xml";

    void SetUp() override
    {
        Win32Control::Reset();
        // A shader that fails to compile shows a message box; the test fails on the missing program.
        Win32Control::SetMessageBoxResponder([](const Win32Control::MessageBoxRecord&) { return IDOK; });
        m_files.AddRepository(new KF_DirectoryRepository(KV_SOURCE_ROOT));
        m_files.Install();
        m_engine->SetShaderCache(&m_cache);
        m_engine->SetShaderCoreManager(&m_core);
        m_engine->SetMaterialManager(&m_materials);
        m_pResources = new KR_GraphicsResourceManagerDX11();
        m_engine->SetGraphicsResourceManager(m_pResources);
        ASSERT_TRUE(m_core.CreateResources());
        ASSERT_TRUE(m_materials.CreateMaterialShaders());
    }

    void TearDown() override
    {
        m_core.ReleaseResources();
        m_engine->SetGraphicsResourceManager(nullptr);
        delete m_pResources;
        m_pResources = nullptr;
        m_engine->SetMaterialManager(nullptr);
        m_engine->SetShaderCoreManager(nullptr);
        m_engine->SetShaderCache(nullptr);
        m_engine->SetFileManager(nullptr);
        Win32Control::Reset();
    }

    // What the engine does on a resize, around the renderer's own size-dependent calls.
    template <class TRenderer>
    void Resize(TRenderer& renderer, std::uint32_t uiWidth, std::uint32_t uiHeight)
    {
        renderer.ReleaseSizeDependentResources();
        m_pResources->DestroyUnusedTextures();
        m_pResources->DestroyUnusedBuffers();
        m_device.m_uiWidth = uiWidth;
        m_device.m_uiHeight = uiHeight;
        EXPECT_TRUE(renderer.CreateSizeDependentResources());
    }

    static std::vector<D3D11Control::CallRecord> Calls(const std::string& sMethod)
    {
        std::vector<D3D11Control::CallRecord> vFound;
        for (const D3D11Control::CallRecord& record : D3D11Control::GetCallLog())
            if (record.Method == sMethod)
                vFound.push_back(record);
        return vFound;
    }

    static std::uint64_t Id(const IUnknown* pObject) { return D3D11Control::GetObjectId(pObject); }

    ID3D11DeviceContext* Context() { return m_device.GetImmediateContext(); }

    TestEngine m_engine{new LibraryFactory(LIBRARY_PATH)};
    SizedStandInDevice m_device{m_engine};
    MemoryFiles m_files{false};
    MemoryRepository* m_pMemory = m_files.GetRepository();
    KR_ShaderCache m_cache;
    KR_ShaderCoreManagerDX11 m_core;
    KR_MaterialManager m_materials;
    KR_GraphicsResourceManagerDX11* m_pResources = nullptr; // owned
};
