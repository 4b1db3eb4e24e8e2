#include "render/device/KR_GraphicsContextDX11.h"

#include "platform/d3d11/D3D11Control.h"
#include "platform/d3d11/D3D11Modules.h"
#include "platform/win32/Win32Control.h"
#include "platform/win32/Windows.h"
#include "render/device/KR_GraphicsDevice.h"
#include "render/device/KR_GraphicsResourceManagerDX11.h"
#include "tests/support/TestEngine.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace
{

LRESULT TestWindowProc(HWND hWindow, UINT uiMessage, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hWindow, uiMessage, wParam, lParam);
}

KR_ScreenResolution Resolution(std::uint32_t uiWidth, std::uint32_t uiHeight, bool bFullscreen,
                               std::uint32_t uiSamples = 1)
{
    KR_ScreenResolution resolution;
    resolution.m_uiWidth = uiWidth;
    resolution.m_uiHeight = uiHeight;
    resolution.m_uiRefreshRateNumerator = 60;
    resolution.m_bFullscreen = bFullscreen;
    resolution.m_uiAntiAliasing = uiSamples;
    return resolution;
}

std::vector<std::string> Strings(const KB_GrowingArray<KB_String>& names)
{
    std::vector<std::string> vNames;
    for (std::uint32_t i = 0; i < names.GetNumMembers(); ++i)
        vNames.emplace_back(names[i].GetBuffer());
    return vNames;
}

class KR_GraphicsContextDX11Test : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Win32Control::Reset();
        D3D11Control::Reset();
        D3D11Modules::Register();
        // Made after the stand-in's modules exist: the context loads dxgi.dll when it is constructed.
        m_pContext = std::make_unique<KR_GraphicsContextDX11>();
    }

    void TearDown() override
    {
        m_pContext.reset();
        if (m_hWindow != nullptr)
            DestroyWindow(m_hWindow);
        EXPECT_EQ(0u, D3D11Control::GetLiveObjectCount());
        D3D11Control::Reset();
        Win32Control::Reset();
    }

    HWND MakeWindow()
    {
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = &TestWindowProc;
        windowClass.lpszClassName = "KR_GraphicsContextDX11Test";
        RegisterClassExA(&windowClass);
        m_hWindow =
            CreateWindowExA(0, "KR_GraphicsContextDX11Test", "test", WS_CAPTION | WS_SYSMENU | WS_THICKFRAME,
                            0, 0, 320, 240, nullptr, nullptr, nullptr, nullptr);
        return m_hWindow;
    }

    std::unique_ptr<KR_GraphicsContextDX11> m_pContext;
    HWND m_hWindow = nullptr;
};

} // namespace

TEST_F(KR_GraphicsContextDX11Test, MissingLibrariesGiveEmptyListsAndNoDevice)
{
    for (const char* pMissing : {"dxgi.dll", "d3d11.dll"})
    {
        Win32Control::Reset();
        D3D11Modules::Register();
        Win32Control::SetModuleMissing(pMissing, true);
        KR_GraphicsContextDX11 context;
        EXPECT_FALSE(context.LoadLibraries()) << pMissing;
        std::unique_ptr<KB_GrowingArray<KB_String>> pAdapters(context.GetAdapterNames());
        ASSERT_NE(nullptr, pAdapters);
        EXPECT_EQ(0u, pAdapters->GetNumMembers()) << pMissing;
        std::unique_ptr<KB_GrowingArray<KR_ScreenResolution>> pModes(context.GetScreenResolutions(0, 0));
        EXPECT_EQ(0u, pModes->GetNumMembers()) << pMissing;
        KR_ScreenResolution resolution = Resolution(640, 480, false);
        EXPECT_EQ(nullptr, context.CreateGraphicsDevice(MakeWindow(), 0, 0, &resolution)) << pMissing;
        EXPECT_TRUE(Win32Control::GetMessageBoxes().empty()) << pMissing;
        DestroyWindow(m_hWindow);
        m_hWindow = nullptr;
    }
    // A missing library is not tried again.
    Win32Control::Reset();
    Win32Control::SetModuleMissing("d3d11.dll", true);
    KR_GraphicsContextDX11 context;
    EXPECT_FALSE(context.LoadLibraries());
    Win32Control::SetModuleMissing("d3d11.dll", false);
    EXPECT_FALSE(context.LoadLibraries());
}

TEST_F(KR_GraphicsContextDX11Test, AdapterAndOutputNamesKeepTheirIndices)
{
    D3D11Control::AdapterConfig first;
    first.Description = u"Adapter \u0141"; // U+0141 narrows to its low byte, 'A'
    first.Outputs.resize(2);
    first.Outputs[1].DeviceName = u"Second";
    first.Outputs[1].FailGetDesc = true;
    D3D11Control::AdapterConfig second;
    second.FailGetDesc = true;
    D3D11Control::SetAdapters({first, second});
    KR_GraphicsContextDX11 context;
    EXPECT_EQ("DirectX 11", std::string(context.GetName().GetBuffer()));

    std::unique_ptr<KB_GrowingArray<KB_String>> pAdapters(context.GetAdapterNames());
    EXPECT_EQ((std::vector<std::string>{"Adapter A", ""}), Strings(*pAdapters));
    std::unique_ptr<KB_GrowingArray<KB_String>> pOutputs(context.GetOutputNames(0));
    EXPECT_EQ((std::vector<std::string>{"\\\\.\\DISPLAY1", ""}), Strings(*pOutputs));
    std::unique_ptr<KB_GrowingArray<KB_String>> pNone(context.GetOutputNames(7));
    EXPECT_EQ(0u, pNone->GetNumMembers());

    // A failing enumeration ends the list where it fails.
    D3D11Control::FailNext("EnumOutputs");
    std::unique_ptr<KB_GrowingArray<KB_String>> pCut(context.GetOutputNames(0));
    EXPECT_EQ(0u, pCut->GetNumMembers());
}

TEST_F(KR_GraphicsContextDX11Test, DisplayModesBecomeScreenResolutionsInOrder)
{
    D3D11Control::AdapterConfig adapter;
    adapter.Outputs[0].Modes.push_back(adapter.Outputs[0].Modes[0]);
    D3D11Control::SetAdapters({adapter});
    KR_GraphicsContextDX11 context;
    std::unique_ptr<KB_GrowingArray<KR_ScreenResolution>> pModes(context.GetScreenResolutions(0, 0));
    ASSERT_EQ(6u, pModes->GetNumMembers());
    const std::uint32_t aWidths[] = {640, 800, 1024, 1280, 1920, 640};
    for (std::uint32_t i = 0; i < 6; ++i)
    {
        const KR_ScreenResolution& mode = (*pModes)[i];
        EXPECT_EQ(aWidths[i], mode.m_uiWidth);
        EXPECT_EQ(60u, mode.m_uiRefreshRateNumerator);
        EXPECT_EQ(1u, mode.m_uiRefreshRateDenominator);
        EXPECT_TRUE(mode.m_bFullscreen);
        EXPECT_TRUE(mode.m_bVSync);
        EXPECT_EQ(1u, mode.m_uiAntiAliasing);
        EXPECT_EQ(1u, mode.m_uiRenderingQuality);
    }
    D3D11Control::FailNext("GetDisplayModeList");
    std::unique_ptr<KB_GrowingArray<KR_ScreenResolution>> pFailed(context.GetScreenResolutions(0, 0));
    EXPECT_EQ(0u, pFailed->GetNumMembers());
}

TEST_F(KR_GraphicsContextDX11Test, WindowedDeviceCentresTheFramedWindowOnTheOutput)
{
    KR_ScreenResolution resolution = Resolution(1280, 720, false);
    std::unique_ptr<KR_GraphicsDevice> pDevice(
        m_pContext->CreateGraphicsDevice(MakeWindow(), 0, 0, &resolution));
    ASSERT_NE(nullptr, pDevice);
    RECT frame = {0, 0, 1280, 720};
    AdjustWindowRect(&frame, WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, FALSE);
    const LONG iWidth = frame.right - frame.left;
    const LONG iHeight = frame.bottom - frame.top;
    RECT window{};
    ASSERT_TRUE(GetWindowRect(m_hWindow, &window));
    EXPECT_EQ(iWidth, window.right - window.left);
    EXPECT_EQ(iHeight, window.bottom - window.top);
    EXPECT_EQ((1920 >> 1) - (iWidth >> 1), window.left);
    EXPECT_EQ((1080 >> 1) - (iHeight >> 1), window.top);
    EXPECT_EQ(0u, D3D11Control::GetCallCount("SetFullscreenState"));
    EXPECT_EQ(1280u, pDevice->GetWidth());
}

TEST_F(KR_GraphicsContextDX11Test, WithoutTheOutputTheDesktopCentresTheWindow)
{
    D3D11Control::AdapterConfig adapter;
    adapter.Outputs[0].FailGetDesc = true;
    D3D11Control::SetAdapters({adapter});
    Win32Control::SetDesktopRect({100, 50, 900, 650});
    KR_ScreenResolution resolution = Resolution(400, 300, false);
    std::unique_ptr<KR_GraphicsDevice> pDevice(
        m_pContext->CreateGraphicsDevice(MakeWindow(), 0, 0, &resolution));
    ASSERT_NE(nullptr, pDevice);
    RECT frame = {0, 0, 400, 300};
    AdjustWindowRect(&frame, WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, FALSE);
    RECT window{};
    ASSERT_TRUE(GetWindowRect(m_hWindow, &window));
    EXPECT_EQ(400 - ((frame.right - frame.left) >> 1) + 100, window.left);
    EXPECT_EQ(300 - ((frame.bottom - frame.top) >> 1) + 50, window.top);
}

TEST_F(KR_GraphicsContextDX11Test, FullscreenFitsTheWindowToTheOutputAndSwitchesTheSwapChain)
{
    D3D11Control::AdapterConfig adapter;
    adapter.Outputs.resize(2);
    adapter.Outputs[1].DesktopCoordinates = {1920, 0, 3200, 1024};
    D3D11Control::SetAdapters({adapter});
    KR_ScreenResolution resolution = Resolution(1280, 1024, true);
    std::unique_ptr<KR_GraphicsDevice> pDevice(
        m_pContext->CreateGraphicsDevice(MakeWindow(), 0, 1, &resolution));
    ASSERT_NE(nullptr, pDevice);
    RECT window{};
    ASSERT_TRUE(GetWindowRect(m_hWindow, &window));
    EXPECT_EQ(1920, window.left);
    EXPECT_EQ(0, window.top);
    EXPECT_EQ(3200, window.right);
    EXPECT_EQ(1024, window.bottom);
    // Created windowed, then switched.
    std::vector<D3D11Control::CallRecord> vCalls = D3D11Control::GetCallLog();
    bool bCreatedWindowed = false;
    bool bSwitched = false;
    for (const auto& record : vCalls)
    {
        if (record.Method == "CreateSwapChain")
            bCreatedWindowed = record.Values[9] == TRUE;
        if (record.Method == "SetFullscreenState")
            bSwitched = record.Values[0] == TRUE;
    }
    EXPECT_TRUE(bCreatedWindowed);
    EXPECT_TRUE(bSwitched);
    pDevice.reset(); // leaves fullscreen before releasing the swap chain
    EXPECT_EQ(2u, D3D11Control::GetCallCount("SetFullscreenState"));
}

TEST_F(KR_GraphicsContextDX11Test, MultisampleQualityIsTheLastLevelAndWrittenBack)
{
    D3D11Control::SetMultisampleQualityLevels(4, 3);
    KR_ScreenResolution resolution = Resolution(320, 240, false, 4);
    std::unique_ptr<KR_GraphicsDevice> pDevice(
        m_pContext->CreateGraphicsDevice(MakeWindow(), 0, 0, &resolution));
    ASSERT_NE(nullptr, pDevice);
    EXPECT_EQ(2u, resolution.m_uiMultisampleQuality);
    EXPECT_EQ(2u, pDevice->GetMultisampleQuality());
    pDevice.reset();

    // No level at all: quality 0, not -1 (the swap chain then refuses the sample count).
    D3D11Control::SetMultisampleQualityLevels(4, 0);
    D3D11Control::ClearCallLog();
    resolution = Resolution(320, 240, false, 4);
    EXPECT_EQ(nullptr, m_pContext->CreateGraphicsDevice(m_hWindow, 0, 0, &resolution));
    EXPECT_EQ(0u, resolution.m_uiMultisampleQuality);
    const auto vCalls = D3D11Control::GetCallLog();
    for (const auto& record : vCalls)
    {
        if (record.Method != "CreateSwapChain")
            continue;
        EXPECT_EQ(0.0, record.Values[6]);
    }
}

TEST_F(KR_GraphicsContextDX11Test, FailedSwapChainOrAdapterLeaveNothingBehind)
{
    KR_ScreenResolution resolution = Resolution(320, 240, false);
    D3D11Control::FailNext("CreateSwapChain");
    EXPECT_EQ(nullptr, m_pContext->CreateGraphicsDevice(MakeWindow(), 0, 0, &resolution));
    EXPECT_EQ(nullptr, m_pContext->CreateGraphicsDevice(m_hWindow, 5, 0, &resolution));
    EXPECT_TRUE(Win32Control::GetMessageBoxes().empty());
    m_pContext.reset();
    EXPECT_EQ(0u, D3D11Control::GetLiveObjectCount());
}

TEST_F(KR_GraphicsContextDX11Test, ApplyScreenResolutionRebuildsTheSingletonsDevice)
{
    TestEngine engine;
    KR_ScreenResolution resolution = Resolution(640, 480, false);
    std::unique_ptr<KR_GraphicsDevice> pDevice(
        m_pContext->CreateGraphicsDevice(MakeWindow(), 0, 0, &resolution));
    ASSERT_NE(nullptr, pDevice);
    ASSERT_TRUE(pDevice->CreateSizeDependentResources());
    KR_GraphicsResourceManagerDX11 resourceManager;
    engine->SetGraphicsDevice(pDevice.get());
    engine->SetGraphicsResourceManager(&resourceManager);
    pDevice->BindMainRenderTarget();
    D3D11Control::ClearCallLog();

    KR_ScreenResolution larger = Resolution(1024, 768, false);
    EXPECT_TRUE(m_pContext->ApplyScreenResolution(&larger));
    EXPECT_EQ(1024u, pDevice->GetWidth());
    std::vector<std::string> vMethods;
    for (const auto& record : D3D11Control::GetCallLog())
        if (record.Method != "Release" && record.Method != "GetDesc")
            vMethods.push_back(record.Method);
    ASSERT_GE(vMethods.size(), 6u);
    const std::vector<std::string> vStart(vMethods.begin(), vMethods.begin() + 6);
    EXPECT_EQ((std::vector<std::string>{"OMSetRenderTargets", "RSSetViewports", "RSSetState", "ClearState",
                                        "Flush", "ResizeBuffers"}),
              vStart);

    // A refused resize still makes the size-dependent resources again.
    D3D11Control::FailNext("ResizeBuffers");
    const std::uint64_t uiTexturesBefore = D3D11Control::GetCallCount("CreateTexture2D");
    EXPECT_FALSE(m_pContext->ApplyScreenResolution(&resolution));
    EXPECT_EQ(uiTexturesBefore + 1, D3D11Control::GetCallCount("CreateTexture2D"));
    engine->SetGraphicsDevice(nullptr);
    engine->SetGraphicsResourceManager(nullptr);
}

TEST_F(KR_GraphicsContextDX11Test, DeviceFailuresAreShownToTheUserAndLeaveNothingBehind)
{
    Win32Control::SetMessageBoxResponder([](const Win32Control::MessageBoxRecord&) { return IDOK; });
    KR_ScreenResolution resolution = Resolution(640, 480, false);
    D3D11Control::SetFeatureLevel(D3D_FEATURE_LEVEL_10_1);
    EXPECT_EQ(nullptr, m_pContext->CreateGraphicsDevice(MakeWindow(), 0, 0, &resolution));
    D3D11Control::SetFeatureLevel(D3D_FEATURE_LEVEL_11_0);
    D3D11Control::FailNext("D3D11CreateDevice");
    EXPECT_EQ(nullptr, m_pContext->CreateGraphicsDevice(m_hWindow, 0, 0, &resolution));
    EXPECT_EQ(1u, D3D11Control::GetLiveObjectCount()); // only the context's DXGI factory

    const auto vBoxes = Win32Control::GetMessageBoxes();
    ASSERT_EQ(2u, vBoxes.size());
    EXPECT_EQ("The chosen Device does not support D3D_FEATURE_LEVEL_11_0. You need a DirectX 11 capable "
              "graphics card to run this Demo.",
              vBoxes[0].text);
    EXPECT_EQ("Device Initialization", vBoxes[0].caption);
    EXPECT_EQ("Failed to initialize DirectX 11 Device.", vBoxes[1].text);
    EXPECT_EQ("Device Initialization", vBoxes[1].caption);
}
