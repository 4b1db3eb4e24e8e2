#include "tests/platform/d3d11/D3D11DefaultStates.h"
#include "tests/platform/d3d11/D3D11TestFixture.h"

using D3D11StatesViews = D3D11Fixture;

using d3d11_test::DefaultBlend;

TEST_F(D3D11StatesViews, StatesKeepTheirDescriptionsAndRejectWhatTheRuntimeRejects)
{
    CreateDevice();
    D3D11_BLEND_DESC blend = DefaultBlend();
    blend.RenderTarget[0].BlendEnable = TRUE;
    blend.RenderTarget[0].SrcBlend = D3D11_BLEND_SRC_ALPHA;
    ID3D11BlendState* pBlend = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateBlendState(&blend, &pBlend));
    D3D11_BLEND_DESC read{};
    pBlend->GetDesc(&read);
    EXPECT_EQ(D3D11_BLEND_SRC_ALPHA, read.RenderTarget[0].SrcBlend);
    pBlend->Release();
    // A colour factor for alpha is refused; an unused target is only checked with independent blending.
    blend.RenderTarget[0].SrcBlendAlpha = D3D11_BLEND_SRC_COLOR;
    EXPECT_EQ(E_INVALIDARG, m_pDevice->CreateBlendState(&blend, &pBlend));
    EXPECT_EQ(nullptr, pBlend);
    blend = DefaultBlend();
    blend.RenderTarget[3].RenderTargetWriteMask = 0x1F;
    EXPECT_EQ(S_FALSE, m_pDevice->CreateBlendState(&blend, nullptr)); // validated only
    blend.IndependentBlendEnable = TRUE;
    EXPECT_EQ(E_INVALIDARG, m_pDevice->CreateBlendState(&blend, nullptr));

    D3D11_DEPTH_STENCIL_DESC depth{};
    depth.DepthEnable = TRUE;
    depth.DepthWriteMask = D3D11_DEPTH_WRITE_MASK_ALL;
    depth.DepthFunc = D3D11_COMPARISON_LESS;
    ID3D11DepthStencilState* pDepth = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateDepthStencilState(&depth, &pDepth));
    pDepth->Release();
    depth.StencilEnable = TRUE; // stencil faces left zero
    EXPECT_EQ(E_INVALIDARG, m_pDevice->CreateDepthStencilState(&depth, &pDepth));

    D3D11_SAMPLER_DESC sampler{D3D11_FILTER_MIN_MAG_MIP_LINEAR,
                               D3D11_TEXTURE_ADDRESS_CLAMP,
                               D3D11_TEXTURE_ADDRESS_CLAMP,
                               D3D11_TEXTURE_ADDRESS_CLAMP,
                               0.0f,
                               1,
                               D3D11_COMPARISON_NEVER,
                               {0.0f, 0.0f, 0.0f, 0.0f},
                               0.0f,
                               D3D11_FLOAT32_MAX};
    ID3D11SamplerState* pSampler = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateSamplerState(&sampler, &pSampler));
    pSampler->Release();
    sampler.MaxAnisotropy = 17;
    EXPECT_EQ(E_INVALIDARG, m_pDevice->CreateSamplerState(&sampler, &pSampler));

    D3D11Control::FailNext("CreateBlendState");
    EXPECT_EQ(E_FAIL, m_pDevice->CreateBlendState(&blend, &pBlend));
    EXPECT_EQ(5u, D3D11Control::GetCallCount("CreateBlendState"));
}

TEST_F(D3D11StatesViews, UnorderedAccessViewsOfBuffersAndTextures)
{
    CreateDevice();
    const UINT uiUav = D3D11_BIND_UNORDERED_ACCESS | D3D11_BIND_SHADER_RESOURCE;
    D3D11_BUFFER_DESC structured{
        64 * 16, D3D11_USAGE_DEFAULT, uiUav, 0, D3D11_RESOURCE_MISC_BUFFER_STRUCTURED, 16};
    D3D11_BUFFER_DESC raw{256, D3D11_USAGE_DEFAULT, uiUav, 0, D3D11_RESOURCE_MISC_BUFFER_ALLOW_RAW_VIEWS, 0};
    ID3D11Buffer* pStructured = nullptr;
    ID3D11Buffer* pRaw = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateBuffer(&structured, nullptr, &pStructured));
    ASSERT_EQ(S_OK, m_pDevice->CreateBuffer(&raw, nullptr, &pRaw));

    D3D11_UNORDERED_ACCESS_VIEW_DESC uav{};
    uav.Format = DXGI_FORMAT_UNKNOWN;
    uav.ViewDimension = D3D11_UAV_DIMENSION_BUFFER;
    uav.Buffer = {0, 64, D3D11_BUFFER_UAV_FLAG_COUNTER};
    ID3D11UnorderedAccessView* pView = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateUnorderedAccessView(pStructured, &uav, &pView));
    pView->Release();
    uav.Buffer.NumElements = 65; // past the end
    EXPECT_EQ(E_INVALIDARG, m_pDevice->CreateUnorderedAccessView(pStructured, &uav, &pView));
    uav.Buffer = {0, 64, D3D11_BUFFER_UAV_FLAG_COUNTER};
    EXPECT_EQ(E_INVALIDARG,
              m_pDevice->CreateUnorderedAccessView(pRaw, &uav, &pView)); // counter needs structure

    uav.Format = DXGI_FORMAT_R32_TYPELESS;
    uav.Buffer = {0, 64, D3D11_BUFFER_UAV_FLAG_RAW};
    ASSERT_EQ(S_OK, m_pDevice->CreateUnorderedAccessView(pRaw, &uav, &pView));
    pView->Release();
    D3D11_SHADER_RESOURCE_VIEW_DESC srv{};
    srv.Format = DXGI_FORMAT_R32_TYPELESS;
    srv.ViewDimension = D3D11_SRV_DIMENSION_BUFFEREX;
    srv.BufferEx = {0, 64, D3D11_BUFFEREX_SRV_FLAG_RAW};
    ID3D11ShaderResourceView* pSrv = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateShaderResourceView(pRaw, &srv, &pSrv));
    pSrv->Release();
    pRaw->Release();
    pStructured->Release();

    D3D11_TEXTURE3D_DESC volume{8, 8, 4, 1, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_USAGE_DEFAULT, uiUav, 0, 0};
    ID3D11Texture3D* pVolume = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateTexture3D(&volume, nullptr, &pVolume));
    uav = {};
    uav.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    uav.ViewDimension = D3D11_UAV_DIMENSION_TEXTURE3D;
    uav.Texture3D = {0, 0, 4};
    ASSERT_EQ(S_OK, m_pDevice->CreateUnorderedAccessView(pVolume, &uav, &pView));
    pView->Release();
    uav.Texture3D = {0, 2, 3};
    EXPECT_EQ(E_INVALIDARG, m_pDevice->CreateUnorderedAccessView(pVolume, &uav, &pView));
    pVolume->Release();

    ID3D11Texture2D* pPlain = nullptr;
    const D3D11_TEXTURE2D_DESC plainDesc =
        TextureDesc(4, 4, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_BIND_SHADER_RESOURCE);
    ASSERT_EQ(S_OK, m_pDevice->CreateTexture2D(&plainDesc, nullptr, &pPlain));
    EXPECT_EQ(E_INVALIDARG,
              m_pDevice->CreateUnorderedAccessView(pPlain, nullptr, &pView)); // no UAV bind flag
    pPlain->Release();
}

TEST_F(D3D11StatesViews, InputAssemblyAndDrawsAreLoggedAndChecked)
{
    CreateDevice();
    D3D11_BUFFER_DESC vbDesc{96, D3D11_USAGE_DEFAULT, D3D11_BIND_VERTEX_BUFFER, 0, 0, 0};
    D3D11_BUFFER_DESC ibDesc{36, D3D11_USAGE_DEFAULT, D3D11_BIND_INDEX_BUFFER, 0, 0, 0};
    ID3D11Buffer* pVertices = nullptr;
    ID3D11Buffer* pIndices = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateBuffer(&vbDesc, nullptr, &pVertices));
    ASSERT_EQ(S_OK, m_pDevice->CreateBuffer(&ibDesc, nullptr, &pIndices));
    D3D11Control::ClearCallLog();

    const UINT uiStride = 32;
    const UINT uiOffset = 0;
    m_pContext->IASetVertexBuffers(0, 1, &pVertices, &uiStride, &uiOffset);
    m_pContext->IASetIndexBuffer(pIndices, DXGI_FORMAT_R32_UINT, 0);
    m_pContext->IASetIndexBuffer(pVertices, DXGI_FORMAT_R32_UINT, 0); // wrong bind flag: ignored
    m_pContext->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
    m_pContext->DrawIndexed(9, 3, 0);
    m_pContext->DrawIndexedInstanced(9, 4, 0, 0, 0);

    const std::vector<D3D11Control::CallRecord> vVertex = Calls("IASetVertexBuffers");
    ASSERT_EQ(1u, vVertex.size());
    EXPECT_EQ(std::vector<double>({0, 1, 32, 0}), vVertex[0].Values);
    const std::vector<D3D11Control::CallRecord> vIndex = Calls("IASetIndexBuffer");
    ASSERT_EQ(2u, vIndex.size());
    EXPECT_EQ(E_INVALIDARG, vIndex[1].Result);
    const std::vector<D3D11Control::CallRecord> vDraw = Calls("DrawIndexed");
    ASSERT_EQ(1u, vDraw.size());
    // The draw sees the index buffer that was accepted, not the refused one.
    EXPECT_EQ(std::vector<std::uint64_t>(
                  {D3D11Control::GetObjectId(pIndices), D3D11Control::GetObjectId(pVertices)}),
              vDraw[0].Objects);
    EXPECT_EQ(std::vector<double>({9, 3, 0}), vDraw[0].Values);
    const std::vector<D3D11Control::CallRecord> vInstanced = Calls("DrawIndexedInstanced");
    ASSERT_EQ(1u, vInstanced.size());
    EXPECT_EQ(std::vector<double>({9, 4, 0, 0, 0}), vInstanced[0].Values);

    // The context holds its bound buffers until ClearState.
    EXPECT_EQ(2u, D3D11Control::GetRefCount(pIndices));
    m_pContext->ClearState();
    EXPECT_EQ(1u, D3D11Control::GetRefCount(pIndices));
    pIndices->Release();
    pVertices->Release();
}
