#include "tests/platform/d3d11/D3D11TestFixture.h"

#include <cstdint>
#include <vector>

namespace
{

class DXGI : public D3D11Fixture
{
protected:
    void TearDown() override
    {
        Release(m_pSwapChain);
        Release(m_pFactory);
        D3D11Fixture::TearDown();
    }

    void CreateFactory()
    {
        ASSERT_EQ(S_OK, CreateDXGIFactory(IID_IDXGIFactory, reinterpret_cast<void**>(&m_pFactory)));
    }

    static DXGI_SWAP_CHAIN_DESC SwapChainDesc(UINT uiWidth, UINT uiHeight, UINT uiSamples = 1)
    {
        DXGI_SWAP_CHAIN_DESC desc{};
        desc.BufferDesc.Width = uiWidth;
        desc.BufferDesc.Height = uiHeight;
        desc.BufferDesc.RefreshRate = {60, 1};
        desc.BufferDesc.Format = DXGI_FORMAT_R8G8B8A8_UNORM_SRGB;
        desc.SampleDesc = {uiSamples, 0};
        desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
        desc.BufferCount = 1;
        desc.OutputWindow = reinterpret_cast<HWND>(&s_iWindow);
        desc.Windowed = TRUE;
        desc.SwapEffect = DXGI_SWAP_EFFECT_DISCARD;
        return desc;
    }

    void CreateSwapChain(UINT uiWidth = 320, UINT uiHeight = 200)
    {
        CreateFactory();
        CreateDevice();
        DXGI_SWAP_CHAIN_DESC desc = SwapChainDesc(uiWidth, uiHeight);
        ASSERT_EQ(S_OK, m_pFactory->CreateSwapChain(m_pDevice, &desc, &m_pSwapChain));
    }

    static inline int s_iWindow = 0; // only its address is used, as a window handle
    IDXGIFactory* m_pFactory = nullptr;
    IDXGISwapChain* m_pSwapChain = nullptr;
};

} // namespace

TEST_F(DXGI, AdaptersAndOutputsFollowTheConfiguration)
{
    D3D11Control::AdapterConfig first;
    first.Description = u"First \u00e9 adapter";
    first.Outputs.resize(2);
    first.Outputs[1].DeviceName = u"\\\\.\\DISPLAY2";
    first.Outputs[1].DesktopCoordinates = {1920, 0, 3200, 1024};
    D3D11Control::AdapterConfig second;
    second.FailGetDesc = true;
    second.Outputs.clear();
    D3D11Control::SetAdapters({first, second});
    CreateFactory();

    IDXGIAdapter* pAdapter = nullptr;
    ASSERT_EQ(S_OK, m_pFactory->EnumAdapters(0, &pAdapter));
    DXGI_ADAPTER_DESC adapterDesc{};
    ASSERT_EQ(S_OK, pAdapter->GetDesc(&adapterDesc));
    EXPECT_EQ(std::u16string(u"First \u00e9 adapter"), std::u16string(adapterDesc.Description));
    IDXGIOutput* pOutput = nullptr;
    ASSERT_EQ(S_OK, pAdapter->EnumOutputs(1, &pOutput));
    DXGI_OUTPUT_DESC outputDesc{};
    ASSERT_EQ(S_OK, pOutput->GetDesc(&outputDesc));
    EXPECT_EQ(std::u16string(u"\\\\.\\DISPLAY2"), std::u16string(outputDesc.DeviceName));
    EXPECT_EQ(1920, outputDesc.DesktopCoordinates.left);
    EXPECT_EQ(3200, outputDesc.DesktopCoordinates.right);
    pOutput->Release();
    EXPECT_EQ(DXGI_ERROR_NOT_FOUND, pAdapter->EnumOutputs(2, &pOutput));
    EXPECT_EQ(nullptr, pOutput);
    pAdapter->Release();

    ASSERT_EQ(S_OK, m_pFactory->EnumAdapters(1, &pAdapter));
    EXPECT_EQ(E_FAIL, pAdapter->GetDesc(&adapterDesc));
    EXPECT_EQ(DXGI_ERROR_NOT_FOUND, pAdapter->EnumOutputs(0, &pOutput));
    pAdapter->Release();
    EXPECT_EQ(DXGI_ERROR_NOT_FOUND, m_pFactory->EnumAdapters(2, &pAdapter));

    // A queued failure of one interface's GetDesc leaves the other interface's alone.
    D3D11Control::FailNext("IDXGIOutput::GetDesc");
    ASSERT_EQ(S_OK, m_pFactory->EnumAdapters(0, &pAdapter));
    EXPECT_EQ(S_OK, pAdapter->GetDesc(&adapterDesc));
    ASSERT_EQ(S_OK, pAdapter->EnumOutputs(0, &pOutput));
    EXPECT_EQ(E_FAIL, pOutput->GetDesc(&outputDesc));
    EXPECT_EQ(S_OK, pOutput->GetDesc(&outputDesc));
    pOutput->Release();
    pAdapter->Release();
}

TEST_F(DXGI, DisplayModesAreCountedThenListedInTheirOrder)
{
    D3D11Control::AdapterConfig adapter;
    std::vector<DXGI_MODE_DESC> vModes = D3D11Control::DefaultDisplayModes();
    ASSERT_EQ(5u, vModes.size());
    vModes.push_back(vModes[1]); // duplicates are reported as they are
    DXGI_MODE_DESC other = vModes[0];
    other.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
    vModes.push_back(other);
    adapter.Outputs[0].Modes = vModes;
    D3D11Control::SetAdapters({adapter});
    CreateFactory();
    IDXGIAdapter* pAdapter = nullptr;
    IDXGIOutput* pOutput = nullptr;
    ASSERT_EQ(S_OK, m_pFactory->EnumAdapters(0, &pAdapter));
    ASSERT_EQ(S_OK, pAdapter->EnumOutputs(0, &pOutput));

    UINT uiCount = 0;
    ASSERT_EQ(S_OK, pOutput->GetDisplayModeList(DXGI_FORMAT_R8G8B8A8_UNORM_SRGB, DXGI_ENUM_MODES_SCALING,
                                                &uiCount, nullptr));
    ASSERT_EQ(6u, uiCount);
    std::vector<DXGI_MODE_DESC> vList(uiCount);
    ASSERT_EQ(S_OK, pOutput->GetDisplayModeList(DXGI_FORMAT_R8G8B8A8_UNORM_SRGB, DXGI_ENUM_MODES_SCALING,
                                                &uiCount, vList.data()));
    const UINT aWidths[] = {640, 800, 1024, 1280, 1920, 800};
    for (UINT i = 0; i < 6; ++i)
    {
        EXPECT_EQ(aWidths[i], vList[i].Width);
        EXPECT_EQ(60u, vList[i].RefreshRate.Numerator);
        EXPECT_EQ(1u, vList[i].RefreshRate.Denominator);
    }
    uiCount = 2;
    EXPECT_EQ(DXGI_ERROR_MORE_DATA,
              pOutput->GetDisplayModeList(DXGI_FORMAT_R8G8B8A8_UNORM_SRGB, 0, &uiCount, vList.data()));
    EXPECT_EQ(2u, uiCount);
    EXPECT_EQ(DXGI_ERROR_INVALID_CALL,
              pOutput->GetDisplayModeList(DXGI_FORMAT_R8G8B8A8_UNORM_SRGB, 0, nullptr, nullptr));
    pOutput->Release();
    pAdapter->Release();
}

TEST_F(DXGI, SwapChainBackBufferIsARenderableTexture)
{
    CreateSwapChain(320, 200);
    EXPECT_EQ(2u, D3D11Control::GetRefCount(m_pDevice)); // the swap chain holds the device
    ID3D11Texture2D* pBackBuffer = nullptr;
    ASSERT_EQ(S_OK, m_pSwapChain->GetBuffer(0, IID_ID3D11Texture2D, reinterpret_cast<void**>(&pBackBuffer)));
    D3D11_TEXTURE2D_DESC desc{};
    pBackBuffer->GetDesc(&desc);
    EXPECT_EQ(320u, desc.Width);
    EXPECT_EQ(200u, desc.Height);
    EXPECT_EQ(DXGI_FORMAT_R8G8B8A8_UNORM_SRGB, desc.Format);
    EXPECT_EQ(static_cast<UINT>(D3D11_BIND_RENDER_TARGET), desc.BindFlags);
    void* pSecond = nullptr;
    EXPECT_EQ(DXGI_ERROR_INVALID_CALL, m_pSwapChain->GetBuffer(1, IID_ID3D11Texture2D, &pSecond));
    pBackBuffer->Release();
}

TEST_F(DXGI, SwapChainCreationRefusesWhatDXGIRefuses)
{
    CreateFactory();
    CreateDevice();
    IDXGISwapChain* pSwapChain = nullptr;
    DXGI_SWAP_CHAIN_DESC desc = SwapChainDesc(64, 64);
    desc.OutputWindow = nullptr;
    EXPECT_EQ(DXGI_ERROR_INVALID_CALL, m_pFactory->CreateSwapChain(m_pDevice, &desc, &pSwapChain));
    desc = SwapChainDesc(64, 64, 4);
    desc.SampleDesc.Quality = 3; // one quality level only
    EXPECT_EQ(DXGI_ERROR_INVALID_CALL, m_pFactory->CreateSwapChain(m_pDevice, &desc, &pSwapChain));
    desc = SwapChainDesc(64, 64);
    EXPECT_EQ(DXGI_ERROR_INVALID_CALL, m_pFactory->CreateSwapChain(m_pFactory, &desc, &pSwapChain));
    D3D11Control::FailNext("CreateSwapChain");
    EXPECT_EQ(E_FAIL, m_pFactory->CreateSwapChain(m_pDevice, &desc, &pSwapChain));
    EXPECT_EQ(nullptr, pSwapChain);
    EXPECT_EQ(1u, D3D11Control::GetRefCount(m_pDevice));
}

TEST_F(DXGI, PresentEndsTheFrameAndRecordsTheSyncInterval)
{
    CreateSwapChain();
    m_pContext->Flush();
    EXPECT_EQ(S_OK, m_pSwapChain->Present(1, 0));
    EXPECT_EQ(1u, D3D11Control::GetPresentCount());
    EXPECT_EQ(1u, D3D11Control::GetLastSyncInterval());
    const auto vFrame = D3D11Control::GetLastFrameCallLog();
    ASSERT_GE(vFrame.size(), 2u);
    EXPECT_EQ("Flush", vFrame[vFrame.size() - 2].Method);
    EXPECT_EQ("Present", vFrame.back().Method);
    EXPECT_EQ(1.0, vFrame.back().Values[0]);
    EXPECT_TRUE(D3D11Control::GetCallLog().empty());

    m_pContext->Flush();
    EXPECT_EQ(S_OK, m_pSwapChain->Present(0, 0));
    EXPECT_EQ(0u, D3D11Control::GetLastSyncInterval());
    EXPECT_EQ(1u, D3D11Control::GetLastFrameCallLog().front().Frame);
    EXPECT_EQ(DXGI_ERROR_INVALID_CALL, m_pSwapChain->Present(5, 0));
    EXPECT_EQ(2u, D3D11Control::GetPresentCount());
}

TEST_F(DXGI, FrameReportsCountTheFrameAndItsDrawsAndThrottleWhileTheHookSeesEveryPresent)
{
    CreateSwapChain();
    std::vector<std::uint64_t> vHooked;
    D3D11Control::SetPresentHook([&](std::uint64_t uiFrames) { vHooked.push_back(uiFrames); });
    ::testing::internal::CaptureStdout();
    m_pSwapChain->Present(0, 0); // reports are off after Reset
    D3D11Control::SetFrameReports(true);
    m_pContext->Draw(3, 0);
    m_pContext->DrawInstanced(3, 2, 0, 0);
    m_pSwapChain->Present(0, 0);
    m_pContext->Draw(3, 0);
    m_pSwapChain->Present(0, 0); // well inside the interval: not reported
    D3D11Control::FailNext("Present");
    m_pSwapChain->Present(0, 0); // no frame, no hook
    EXPECT_EQ("frame 2: 2 draw calls\n", ::testing::internal::GetCapturedStdout());
    EXPECT_EQ((std::vector<std::uint64_t>{1, 2, 3}), vHooked);

    D3D11Control::Reset();
    ::testing::internal::CaptureStdout();
    m_pSwapChain->Present(0, 0);
    EXPECT_EQ("", ::testing::internal::GetCapturedStdout());
    EXPECT_EQ(3u, vHooked.size());
}

TEST_F(DXGI, ResizeNeedsEveryBackBufferReferenceGone)
{
    CreateSwapChain(320, 200);
    ID3D11Texture2D* pBackBuffer = nullptr;
    ASSERT_EQ(S_OK, m_pSwapChain->GetBuffer(0, IID_ID3D11Texture2D, reinterpret_cast<void**>(&pBackBuffer)));
    ID3D11RenderTargetView* pView = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateRenderTargetView(pBackBuffer, nullptr, &pView));
    pBackBuffer->Release();
    EXPECT_EQ(DXGI_ERROR_INVALID_CALL, m_pSwapChain->ResizeBuffers(0, 640, 480, DXGI_FORMAT_UNKNOWN, 0));
    pView->Release();

    ASSERT_EQ(S_OK, m_pSwapChain->ResizeBuffers(0, 640, 480, DXGI_FORMAT_UNKNOWN, 0));
    DXGI_SWAP_CHAIN_DESC desc{};
    ASSERT_EQ(S_OK, m_pSwapChain->GetDesc(&desc));
    EXPECT_EQ(640u, desc.BufferDesc.Width);
    EXPECT_EQ(480u, desc.BufferDesc.Height);
    EXPECT_EQ(1u, desc.BufferCount);
    EXPECT_EQ(DXGI_FORMAT_R8G8B8A8_UNORM_SRGB, desc.BufferDesc.Format);

    D3D11Control::FailNext("ResizeBuffers", DXGI_ERROR_DEVICE_REMOVED);
    EXPECT_EQ(DXGI_ERROR_DEVICE_REMOVED, m_pSwapChain->ResizeBuffers(0, 800, 600, DXGI_FORMAT_UNKNOWN, 0));
    ASSERT_EQ(S_OK, m_pSwapChain->GetDesc(&desc));
    EXPECT_EQ(640u, desc.BufferDesc.Width);
}

TEST_F(DXGI, FullscreenStateIsRecordedAndReportedThroughGetDesc)
{
    CreateSwapChain();
    EXPECT_EQ(S_OK, m_pSwapChain->SetFullscreenState(TRUE, nullptr));
    DXGI_SWAP_CHAIN_DESC desc{};
    ASSERT_EQ(S_OK, m_pSwapChain->GetDesc(&desc));
    EXPECT_EQ(FALSE, desc.Windowed);
    const auto vCalls = Calls("SetFullscreenState");
    ASSERT_EQ(1u, vCalls.size());
    EXPECT_EQ(1.0, vCalls[0].Values[0]);
    EXPECT_EQ(S_OK, m_pSwapChain->SetFullscreenState(FALSE, nullptr));
}

TEST_F(DXGI, FactoryAnswersOnlyItsInterfaces)
{
    void* pFactory = nullptr;
    EXPECT_EQ(E_NOINTERFACE, CreateDXGIFactory(IID_ID3D11Device, &pFactory));
    EXPECT_EQ(nullptr, pFactory);
    D3D11Control::FailNext("CreateDXGIFactory");
    EXPECT_EQ(E_FAIL, CreateDXGIFactory(IID_IDXGIFactory, &pFactory));
}

// The frame logs keep their storage from frame to frame: a record holds only its own call's
// objects, values and pipeline, whatever call held that place in an earlier frame.
TEST_F(DXGI, FrameLogsHoldEachCallsOwnRecordWhateverTheEarlierFramesLoggedInItsPlace)
{
    CreateSwapChain();
    D3D11_BUFFER_DESC vbDesc{};
    vbDesc.ByteWidth = 64;
    vbDesc.Usage = D3D11_USAGE_DEFAULT;
    vbDesc.BindFlags = D3D11_BIND_VERTEX_BUFFER;
    ID3D11Buffer* pVertices = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateBuffer(&vbDesc, nullptr, &pVertices));
    const UINT uiStride = 16;
    const UINT uiOffset = 0;
    const D3D11_VIEWPORT viewports[2] = {{0.0f, 0.0f, 8.0f, 4.0f, 0.0f, 1.0f},
                                         {1.0f, 2.0f, 3.0f, 4.0f, 0.0f, 1.0f}};

    // Frame 1: draws with a vertex buffer bound and a two-viewport call.
    m_pContext->IASetVertexBuffers(0, 1, &pVertices, &uiStride, &uiOffset);
    m_pContext->Draw(3, 0);
    m_pContext->Draw(6, 3);
    m_pContext->RSSetViewports(2, viewports);
    ASSERT_EQ(S_OK, m_pSwapChain->Present(0, 0));
    // Frame 2: fewer calls, none a draw where frame 1 drew.
    m_pContext->RSSetViewports(1, viewports);
    m_pContext->Flush();
    ASSERT_EQ(S_OK, m_pSwapChain->Present(0, 0));
    const auto vFrame2 = D3D11Control::GetLastFrameCallLog();
    ASSERT_EQ(3u, vFrame2.size());
    EXPECT_EQ("RSSetViewports", vFrame2[0].Method);
    EXPECT_EQ((std::vector<double>{1.0, 0.0, 0.0, 8.0, 4.0, 0.0, 1.0}), vFrame2[0].Values);
    EXPECT_TRUE(vFrame2[0].Objects.empty());
    EXPECT_FALSE(vFrame2[0].Pipeline.has_value());
    EXPECT_EQ("Flush", vFrame2[1].Method);
    EXPECT_FALSE(vFrame2[1].Pipeline.has_value());
    EXPECT_TRUE(vFrame2[1].Values.empty());
    EXPECT_EQ("Present", vFrame2[2].Method);
    EXPECT_EQ("IDXGISwapChain", vFrame2[2].Interface);

    // Frame 3: a draw without vertex buffers where frame 1 drew with one.
    ID3D11Buffer* pNone = nullptr;
    m_pContext->IASetVertexBuffers(0, 1, &pNone, &uiStride, &uiOffset);
    m_pContext->Draw(4, 1);
    ASSERT_EQ(S_OK, m_pSwapChain->Present(0, 0));
    // Unbinding the buffer released the context's reference: the draw comes third.
    const auto vFrame3 = D3D11Control::GetLastFrameCallLog();
    ASSERT_EQ(4u, vFrame3.size());
    EXPECT_EQ((std::vector<std::uint64_t>{0}), vFrame3[0].Objects);
    EXPECT_EQ("Release", vFrame3[1].Method);
    EXPECT_FALSE(vFrame3[1].Pipeline.has_value());
    EXPECT_EQ("Draw", vFrame3[2].Method);
    EXPECT_EQ((std::vector<double>{4.0, 1.0}), vFrame3[2].Values);
    ASSERT_TRUE(vFrame3[2].Pipeline.has_value());
    EXPECT_TRUE(vFrame3[2].Pipeline->VertexBuffers.empty());
    EXPECT_EQ((std::vector<std::uint64_t>{0}), vFrame3[2].Objects);
    EXPECT_EQ(2u, vFrame3[2].Frame);
    EXPECT_EQ(3u, D3D11Control::GetCallCount("Draw"));
    EXPECT_EQ(2u, D3D11Control::GetCallCount("ID3D11DeviceContext::RSSetViewports"));
    Release(pVertices);
}

TEST_F(DXGI, AFrameThatNeverEndsKeepsItsNewestCallsInOrder)
{
    CreateSwapChain();
    D3D11Control::ClearCallLog();
    const std::size_t uiCalls = 65536 + 10;
    for (std::size_t i = 0; i < uiCalls; ++i)
        m_pContext->Flush();
    const auto vLog = D3D11Control::GetCallLog();
    ASSERT_EQ(32768u + 10u, vLog.size());
    for (std::size_t i = 1; i < vLog.size(); ++i)
        ASSERT_EQ(vLog[i - 1].Sequence + 1, vLog[i].Sequence) << i;
    EXPECT_EQ(uiCalls, D3D11Control::GetCallCount("Flush"));
}

// Paced, a present with a sync interval of N returns N refresh periods of the swap chain's mode
// after its previous present; an interval of 0 and a late present do not wait, and Reset leaves
// pacing off. The manual clock shows the waits.
TEST_F(DXGI, PacedPresentsWaitTheirSyncIntervalOfRefreshPeriods)
{
    CreateFactory();
    CreateDevice();
    DXGI_SWAP_CHAIN_DESC desc = SwapChainDesc(320, 200);
    desc.BufferDesc.RefreshRate = {50, 1}; // 20 ms a refresh
    ASSERT_EQ(S_OK, m_pFactory->CreateSwapChain(m_pDevice, &desc, &m_pSwapChain));
    D3D11Control::UseManualClock();
    EXPECT_EQ(S_OK, m_pSwapChain->Present(1, 0));
    EXPECT_EQ(S_OK, m_pSwapChain->Present(1, 0));
    EXPECT_EQ(0u, D3D11Control::GetClock());

    D3D11Control::SetPresentPacing(true);
    struct Step
    {
        std::uint64_t uiAdvance; // nanoseconds the test spends before the present
        UINT uiSyncInterval;
        std::uint64_t uiClockAfter;
    };
    for (const Step& step :
         {Step{0, 1, 20000000}, Step{0, 2, 60000000}, Step{0, 0, 60000000}, Step{5000000, 1, 80000000},
          Step{100000000, 1, 180000000}, Step{0, 4, 260000000}})
    {
        D3D11Control::AdvanceClock(step.uiAdvance);
        EXPECT_EQ(S_OK, m_pSwapChain->Present(step.uiSyncInterval, 0));
        EXPECT_EQ(step.uiClockAfter, D3D11Control::GetClock()) << "sync interval " << step.uiSyncInterval;
    }
    // Refused and failed presents do not wait; a resize keeps the mode's rate.
    EXPECT_EQ(DXGI_ERROR_INVALID_CALL, m_pSwapChain->Present(5, 0));
    D3D11Control::FailNext("Present");
    EXPECT_EQ(E_FAIL, m_pSwapChain->Present(1, 0));
    EXPECT_EQ(260000000u, D3D11Control::GetClock());
    ASSERT_EQ(S_OK, m_pSwapChain->ResizeBuffers(0, 640, 400, DXGI_FORMAT_UNKNOWN, 0));
    EXPECT_EQ(S_OK, m_pSwapChain->Present(1, 0));
    EXPECT_EQ(280000000u, D3D11Control::GetClock());

    // A mode without a rate paces at 60 Hz, each swap chain from its own previous present.
    IDXGISwapChain* pSecond = nullptr;
    desc.BufferDesc.RefreshRate = {0, 0};
    ASSERT_EQ(S_OK, m_pFactory->CreateSwapChain(m_pDevice, &desc, &pSecond));
    EXPECT_EQ(S_OK, pSecond->Present(1, 0)); // its first: nothing to wait for
    EXPECT_EQ(280000000u, D3D11Control::GetClock());
    EXPECT_EQ(S_OK, pSecond->Present(1, 0));
    EXPECT_EQ(280000000u + 16666666u, D3D11Control::GetClock());
    pSecond->Release();

    D3D11Control::Reset(); // pacing off again
    D3D11Control::UseManualClock();
    EXPECT_EQ(S_OK, m_pSwapChain->Present(4, 0));
    EXPECT_EQ(0u, D3D11Control::GetClock());
}
