#include "tests/platform/d3d11/D3D11TestFixture.h"
#include "tests/support/CountingAllocator.h"

#include <string>
#include <vector>

namespace
{

class D3D11Runtime : public D3D11Fixture
{
protected:
    void TearDown() override
    {
        for (IUnknown* p : m_vObjects)
            p->Release();
        Release(m_pSwapChain);
        Release(m_pFactory);
        D3D11Fixture::TearDown();
    }

    template <class T>
    T* Keep(T* p)
    {
        EXPECT_NE(p, nullptr);
        if (p != nullptr)
            m_vObjects.push_back(p);
        return p;
    }

    std::vector<IUnknown*> m_vObjects;
    IDXGIFactory* m_pFactory = nullptr;
    IDXGISwapChain* m_pSwapChain = nullptr;
};

} // namespace

// The call log, the call counts and the frame's bookkeeping keep their memory from frame to
// frame: once a frame's calls have been logged, the same frame again allocates nothing, and it
// is still logged in full.
TEST_F(D3D11Runtime, AFrameOfCallsAllocatesNothingOnceTheLogHasGrown)
{
    CreateDevice();
    ASSERT_EQ(S_OK, CreateDXGIFactory(IID_IDXGIFactory, reinterpret_cast<void**>(&m_pFactory)));
    static int s_iWindow = 0;
    DXGI_SWAP_CHAIN_DESC chainDesc{};
    chainDesc.BufferDesc.Width = 64;
    chainDesc.BufferDesc.Height = 32;
    chainDesc.BufferDesc.RefreshRate = {60, 1};
    chainDesc.BufferDesc.Format = DXGI_FORMAT_R8G8B8A8_UNORM_SRGB;
    chainDesc.SampleDesc = {1, 0};
    chainDesc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
    chainDesc.BufferCount = 1;
    chainDesc.OutputWindow = reinterpret_cast<HWND>(&s_iWindow);
    chainDesc.Windowed = TRUE;
    ASSERT_EQ(S_OK, m_pFactory->CreateSwapChain(m_pDevice, &chainDesc, &m_pSwapChain));

    ID3D11Texture2D* pBackBuffer = nullptr;
    ASSERT_EQ(S_OK, m_pSwapChain->GetBuffer(0, IID_ID3D11Texture2D, reinterpret_cast<void**>(&pBackBuffer)));
    Keep(pBackBuffer);
    ID3D11RenderTargetView* pBackView = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateRenderTargetView(pBackBuffer, nullptr, &pBackView));
    Keep(pBackView);
    const D3D11_TEXTURE2D_DESC targetDesc = TextureDesc(
        64, 32, DXGI_FORMAT_R16G16B16A16_FLOAT, D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE);
    ID3D11Texture2D* pTarget = nullptr;
    ID3D11Texture2D* pCopy = nullptr;
    ID3D11RenderTargetView* pTargetView = nullptr;
    ASSERT_NO_FATAL_FAILURE(CreateTargetAndCopy(targetDesc, &pTarget, &pCopy, &pTargetView));
    Keep(pTarget);
    Keep(pCopy);
    Keep(pTargetView);
    ID3D11ShaderResourceView* pTargetResource = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateShaderResourceView(pTarget, nullptr, &pTargetResource));
    Keep(pTargetResource);
    const D3D11_TEXTURE2D_DESC depthDesc =
        TextureDesc(64, 32, DXGI_FORMAT_D24_UNORM_S8_UINT, D3D11_BIND_DEPTH_STENCIL);
    ID3D11Texture2D* pDepth = nullptr;
    ID3D11DepthStencilView* pDepthView = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateTexture2D(&depthDesc, nullptr, &pDepth));
    ASSERT_EQ(S_OK, m_pDevice->CreateDepthStencilView(Keep(pDepth), nullptr, &pDepthView));
    Keep(pDepthView);
    D3D11_BUFFER_DESC constantDesc{64, D3D11_USAGE_DEFAULT, D3D11_BIND_CONSTANT_BUFFER, 0, 0, 0};
    ID3D11Buffer* pConstants = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateBuffer(&constantDesc, nullptr, &pConstants));
    Keep(pConstants);
    D3D11_BUFFER_DESC vertexDesc{
        256, D3D11_USAGE_DYNAMIC, D3D11_BIND_VERTEX_BUFFER, D3D11_CPU_ACCESS_WRITE, 0, 0};
    ID3D11Buffer* pVertices = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateBuffer(&vertexDesc, nullptr, &pVertices));
    Keep(pVertices);
    D3D11_SAMPLER_DESC samplerDesc{};
    samplerDesc.Filter = D3D11_FILTER_MIN_MAG_MIP_LINEAR;
    samplerDesc.AddressU = samplerDesc.AddressV = samplerDesc.AddressW = D3D11_TEXTURE_ADDRESS_CLAMP;
    samplerDesc.MaxLOD = D3D11_FLOAT32_MAX;
    ID3D11SamplerState* pSampler = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateSamplerState(&samplerDesc, &pSampler));
    Keep(pSampler);

    const auto frame = [&]
    {
        const float afBlack[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        const float afConstants[16] = {1.0f, 2.0f, 3.0f};
        const D3D11_VIEWPORT viewport = {0.0f, 0.0f, 64.0f, 32.0f, 0.0f, 1.0f};
        const UINT uiStride = 16;
        const UINT uiOffset = 0;
        m_pContext->ClearRenderTargetView(pTargetView, afBlack);
        m_pContext->ClearDepthStencilView(pDepthView, D3D11_CLEAR_DEPTH | D3D11_CLEAR_STENCIL, 1.0f, 0);
        m_pContext->OMSetRenderTargets(1, &pTargetView, pDepthView);
        m_pContext->RSSetViewports(1, &viewport);
        m_pContext->UpdateSubresource(pConstants, 0, nullptr, afConstants, 0, 0);
        D3D11_MAPPED_SUBRESOURCE mapped{};
        if (m_pContext->Map(pVertices, 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped) == S_OK)
            m_pContext->Unmap(pVertices, 0);
        m_pContext->IASetVertexBuffers(0, 1, &pVertices, &uiStride, &uiOffset);
        m_pContext->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLESTRIP);
        m_pContext->VSSetConstantBuffers(0, 1, &pConstants);
        m_pContext->PSSetSamplers(0, 1, &pSampler);
        for (int i = 0; i < 50; ++i)
            m_pContext->Draw(4, 0);
        m_pContext->CopyResource(pCopy, pTarget);
        m_pContext->ClearRenderTargetView(pBackView, afBlack);
        m_pContext->OMSetRenderTargets(1, &pBackView, nullptr);
        m_pContext->PSSetShaderResources(0, 1, &pTargetResource);
        m_pContext->DrawIndexed(6, 0, 0);
        ID3D11ShaderResourceView* const pNone = nullptr;
        m_pContext->PSSetShaderResources(0, 1, &pNone);
        m_pSwapChain->Present(1, 0);
    };
    for (int i = 0; i < 3; ++i)
        frame();
    // Sanitizer builds keep their own allocator: there the counter counts nothing.
    CountingAllocator::Start(false);
    frame();
    CountingAllocator::Stop();
    EXPECT_EQ(0u, CountingAllocator::GetCounts().Total);

    const std::vector<D3D11Control::CallRecord> vFrame = D3D11Control::GetLastFrameCallLog();
    std::string sMethods;
    for (const auto& call : vFrame)
        if (call.Method.rfind("Draw", 0) != 0)
            sMethods += call.Method + " ";
    ASSERT_EQ(75u, vFrame.size()) << sMethods; // rebinding releases what was bound
    EXPECT_EQ("ClearRenderTargetView", vFrame.front().Method);
    EXPECT_EQ("Present", vFrame.back().Method);
    ASSERT_TRUE(vFrame[64].Pipeline.has_value());
    EXPECT_EQ("Draw", vFrame[64].Method);
    EXPECT_EQ((std::vector<double>{4.0, 0.0}), vFrame[64].Values);
    EXPECT_EQ(4u, D3D11Control::GetCallCount("ID3D11DeviceContext::DrawIndexed"));
    EXPECT_EQ(4u, D3D11Control::GetCallCount("Present"));
}
