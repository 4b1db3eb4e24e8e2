#include "tests/platform/d3d11/D3D11TestFixture.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

using D3D11DeviceContext = D3D11Fixture;

namespace
{

std::uint32_t ReadU32(const std::vector<std::uint8_t>& vData, std::size_t uiOffset)
{
    std::uint32_t uiValue = 0;
    std::memcpy(&uiValue, vData.data() + uiOffset, sizeof(uiValue));
    return uiValue;
}

float ReadF32(const std::vector<std::uint8_t>& vData, std::size_t uiOffset)
{
    float fValue = 0.0f;
    std::memcpy(&fValue, vData.data() + uiOffset, sizeof(fValue));
    return fValue;
}

} // namespace

TEST_F(D3D11DeviceContext, ClearWritesTheColourInTheViewFormat)
{
    CreateDevice();
    struct Case
    {
        DXGI_FORMAT format;
        std::uint32_t uiExpected; // first four bytes of every element
    };
    const float aColour[4] = {1.0f, 0.5f, 0.0f, 0.25f};
    const Case aCases[] = {
        {DXGI_FORMAT_R8G8B8A8_UNORM, 0x40'00'80'FFu},      // 0.5 -> 128, 0.25 -> 64
        {DXGI_FORMAT_R8G8B8A8_UNORM_SRGB, 0x40'00'BC'FFu}, // 0.5 linear -> 188 encoded; alpha stays linear
        {DXGI_FORMAT_B8G8R8A8_UNORM, 0x40'FF'80'00u},      // stored blue, green, red, alpha
        {DXGI_FORMAT_R16G16_FLOAT, 0x3800'3C00u},          // 1.0 and 0.5 as halves
        {DXGI_FORMAT_R10G10B10A2_UNORM, 0x3FFu | (0x200u << 10) | (1u << 30)},
    };
    for (const Case& c : aCases)
    {
        const D3D11_TEXTURE2D_DESC desc = TextureDesc(3, 2, c.format, D3D11_BIND_RENDER_TARGET);
        ID3D11Texture2D* pTexture = nullptr;
        ID3D11RenderTargetView* pView = nullptr;
        ASSERT_EQ(S_OK, m_pDevice->CreateTexture2D(&desc, nullptr, &pTexture));
        ASSERT_EQ(S_OK, m_pDevice->CreateRenderTargetView(pTexture, nullptr, &pView));
        m_pContext->ClearRenderTargetView(pView, aColour);
        std::vector<std::uint8_t> vData;
        ASSERT_TRUE(D3D11Control::ReadSubresource(pTexture, 0, &vData));
        for (std::size_t uiOffset = 0; uiOffset < vData.size(); uiOffset += 4)
        {
            ASSERT_EQ(c.uiExpected, ReadU32(vData, uiOffset))
                << "format " << c.format << " byte " << uiOffset;
        }
        pView->Release();
        pTexture->Release();
    }
}

TEST_F(D3D11DeviceContext, ClearCoversOnlyTheViewsSlices)
{
    CreateDevice();
    D3D11_TEXTURE2D_DESC desc = TextureDesc(2, 2, DXGI_FORMAT_R32_FLOAT, D3D11_BIND_RENDER_TARGET);
    desc.ArraySize = 3;
    ID3D11Texture2D* pTexture = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateTexture2D(&desc, nullptr, &pTexture));
    D3D11_RENDER_TARGET_VIEW_DESC viewDesc{};
    viewDesc.Format = DXGI_FORMAT_R32_FLOAT;
    viewDesc.ViewDimension = D3D11_RTV_DIMENSION_TEXTURE2DARRAY;
    viewDesc.Texture2DArray = {0, 1, 1};
    ID3D11RenderTargetView* pView = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateRenderTargetView(pTexture, &viewDesc, &pView));
    const float aColour[4] = {7.5f, 0, 0, 0};
    m_pContext->ClearRenderTargetView(pView, aColour);
    for (UINT uiSlice = 0; uiSlice < 3; ++uiSlice)
    {
        std::vector<std::uint8_t> vData;
        ASSERT_TRUE(D3D11Control::ReadSubresource(pTexture, uiSlice, &vData));
        EXPECT_EQ(uiSlice == 1 ? 7.5f : 0.0f, ReadF32(vData, 12)) << uiSlice;
    }
    pView->Release();
    pTexture->Release();
}

TEST_F(D3D11DeviceContext, DepthClearKeepsStencilUnlessAsked)
{
    CreateDevice();
    const D3D11_TEXTURE2D_DESC desc =
        TextureDesc(2, 1, DXGI_FORMAT_D24_UNORM_S8_UINT, D3D11_BIND_DEPTH_STENCIL);
    ID3D11Texture2D* pTexture = nullptr;
    ID3D11DepthStencilView* pView = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateTexture2D(&desc, nullptr, &pTexture));
    ASSERT_EQ(S_OK, m_pDevice->CreateDepthStencilView(pTexture, nullptr, &pView));
    m_pContext->ClearDepthStencilView(pView, D3D11_CLEAR_DEPTH | D3D11_CLEAR_STENCIL, 1.0f, 0x5A);
    m_pContext->ClearDepthStencilView(pView, D3D11_CLEAR_DEPTH, 0.0f, 0x00);
    std::vector<std::uint8_t> vData;
    ASSERT_TRUE(D3D11Control::ReadSubresource(pTexture, 0, &vData));
    EXPECT_EQ(0x5A000000u, ReadU32(vData, 0));
    EXPECT_EQ(0x5A000000u, ReadU32(vData, 4));
    // No flags at all is not a clear.
    m_pContext->ClearDepthStencilView(pView, 0, 1.0f, 0);
    EXPECT_EQ(E_INVALIDARG, Calls("ClearDepthStencilView").back().Result);
    pView->Release();
    pTexture->Release();
}

TEST_F(D3D11DeviceContext, ResolveCopiesSampleZeroOfEveryPixel)
{
    CreateDevice();
    const D3D11_TEXTURE2D_DESC msDesc =
        TextureDesc(4, 2, DXGI_FORMAT_R32_TYPELESS, D3D11_BIND_DEPTH_STENCIL, 4);
    D3D11_TEXTURE2D_DESC resolvedDesc =
        TextureDesc(4, 2, DXGI_FORMAT_R32_TYPELESS, D3D11_BIND_SHADER_RESOURCE);
    ID3D11Texture2D* pMultisampled = nullptr;
    ID3D11Texture2D* pResolved = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateTexture2D(&msDesc, nullptr, &pMultisampled));
    ASSERT_EQ(S_OK, m_pDevice->CreateTexture2D(&resolvedDesc, nullptr, &pResolved));
    D3D11_DEPTH_STENCIL_VIEW_DESC dsvDesc{};
    dsvDesc.Format = DXGI_FORMAT_D32_FLOAT;
    dsvDesc.ViewDimension = D3D11_DSV_DIMENSION_TEXTURE2DMS;
    ID3D11DepthStencilView* pDsv = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateDepthStencilView(pMultisampled, &dsvDesc, &pDsv));
    m_pContext->ClearDepthStencilView(pDsv, D3D11_CLEAR_DEPTH, 0.75f, 0);

    std::vector<std::uint8_t> vData;
    UINT uiRowPitch = 0;
    ASSERT_TRUE(D3D11Control::ReadSubresource(pMultisampled, 0, &vData, &uiRowPitch));
    EXPECT_EQ(4u * 4u * 4u, uiRowPitch); // four samples of four bytes per pixel

    m_pContext->ResolveSubresource(pResolved, 0, pMultisampled, 0, DXGI_FORMAT_R32_FLOAT);
    ASSERT_TRUE(D3D11Control::ReadSubresource(pResolved, 0, &vData));
    for (std::size_t uiOffset = 0; uiOffset < vData.size(); uiOffset += 4)
        ASSERT_EQ(0.75f, ReadF32(vData, uiOffset));
    // Wrong way round or mismatched sizes do nothing but are logged as refused.
    m_pContext->ResolveSubresource(pMultisampled, 0, pResolved, 0, DXGI_FORMAT_R32_FLOAT);
    const auto vResolves = Calls("ResolveSubresource");
    ASSERT_EQ(2u, vResolves.size());
    EXPECT_EQ(S_OK, vResolves[0].Result);
    EXPECT_EQ(E_INVALIDARG, vResolves[1].Result);
    EXPECT_EQ(D3D11Control::GetObjectId(pResolved), vResolves[0].Objects[0]);
    pDsv->Release();
    pResolved->Release();
    pMultisampled->Release();
}

TEST_F(D3D11DeviceContext, BoundObjectsAreReferencedUntilUnbound)
{
    CreateDevice();
    const D3D11_TEXTURE2D_DESC desc = TextureDesc(8, 8, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_BIND_RENDER_TARGET);
    ID3D11Texture2D* pTexture = nullptr;
    ID3D11RenderTargetView* pRtv = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateTexture2D(&desc, nullptr, &pTexture));
    ASSERT_EQ(S_OK, m_pDevice->CreateRenderTargetView(pTexture, nullptr, &pRtv));
    const D3D11_RASTERIZER_DESC rsDesc{
        D3D11_FILL_SOLID, D3D11_CULL_BACK, TRUE, 0, 0.0f, 0.0f, TRUE, FALSE, FALSE, FALSE};
    ID3D11RasterizerState* pState = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateRasterizerState(&rsDesc, &pState));
    const D3D11_VIEWPORT viewport{0, 0, 8, 8, 0, 1};

    m_pContext->OMSetRenderTargets(1, &pRtv, nullptr);
    m_pContext->RSSetViewports(1, &viewport);
    m_pContext->RSSetState(pState);
    EXPECT_EQ(2u, D3D11Control::GetRefCount(pRtv));
    EXPECT_EQ(2u, D3D11Control::GetRefCount(pState));
    const D3D11Control::BoundState bound = D3D11Control::GetBoundState(m_pContext);
    ASSERT_EQ(1u, bound.RenderTargets.size());
    EXPECT_EQ(D3D11Control::GetObjectId(pRtv), bound.RenderTargets[0]);
    ASSERT_EQ(1u, bound.Viewports.size());
    EXPECT_EQ(8.0f, bound.Viewports[0].Width);

    // RSGetState adds a reference; handing it back balances.
    ID3D11RasterizerState* pGot = nullptr;
    m_pContext->RSGetState(&pGot);
    EXPECT_EQ(pState, pGot);
    EXPECT_EQ(3u, D3D11Control::GetRefCount(pState));
    m_pContext->RSSetState(pGot);
    pGot->Release();
    EXPECT_EQ(2u, D3D11Control::GetRefCount(pState));

    // So does OMGetRenderTargets, for each view it hands out; slots past the bound ones are null.
    ID3D11RenderTargetView* apTargets[2] = {nullptr, pRtv};
    ID3D11DepthStencilView* pDepth = nullptr;
    m_pContext->OMGetRenderTargets(2, apTargets, &pDepth);
    EXPECT_EQ(pRtv, apTargets[0]);
    EXPECT_EQ(nullptr, apTargets[1]);
    EXPECT_EQ(nullptr, pDepth);
    EXPECT_EQ(3u, D3D11Control::GetRefCount(pRtv));
    apTargets[0]->Release();
    m_pContext->OMGetRenderTargets(1, nullptr, nullptr);
    EXPECT_EQ(E_INVALIDARG, Calls("OMGetRenderTargets").back().Result);

    // Releasing the caller's references leaves the bound objects alive until ClearState.
    pRtv->Release();
    pTexture->Release();
    pState->Release();
    EXPECT_EQ(5u, D3D11Control::GetLiveObjectCount());
    m_pContext->ClearState();
    EXPECT_EQ(2u, D3D11Control::GetLiveObjectCount());
    const D3D11Control::BoundState cleared = D3D11Control::GetBoundState(m_pContext);
    EXPECT_TRUE(cleared.RenderTargets.empty());
    EXPECT_TRUE(cleared.Viewports.empty());
    EXPECT_EQ(0u, cleared.RasterizerState);
    pGot = pState;
    m_pContext->RSGetState(&pGot);
    EXPECT_EQ(nullptr, pGot);
}

TEST_F(D3D11DeviceContext, InvalidBindingsAreLoggedAndIgnored)
{
    CreateDevice();
    ID3D11RenderTargetView* aViews[9] = {};
    m_pContext->OMSetRenderTargets(9, aViews, nullptr);
    m_pContext->RSSetViewports(1, nullptr);
    EXPECT_EQ(E_INVALIDARG, Calls("OMSetRenderTargets").back().Result);
    EXPECT_EQ(E_INVALIDARG, Calls("RSSetViewports").back().Result);
    m_pContext->Flush();
    EXPECT_EQ(1u, D3D11Control::GetCallCount("ID3D11DeviceContext::Flush"));
}

TEST_F(D3D11DeviceContext, ADepthViewOfAnotherSizeThanTheTargetIsRefusedAndUnbindsAll)
{
    CreateDevice();
    const D3D11_TEXTURE2D_DESC targetDesc =
        TextureDesc(8, 8, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_BIND_RENDER_TARGET);
    ID3D11Texture2D* pTarget = nullptr;
    ID3D11RenderTargetView* pRtv = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateTexture2D(&targetDesc, nullptr, &pTarget));
    ASSERT_EQ(S_OK, m_pDevice->CreateRenderTargetView(pTarget, nullptr, &pRtv));
    ID3D11Texture2D* apDepth[2] = {};
    ID3D11DepthStencilView* apDsv[2] = {};
    for (int i = 0; i < 2; ++i)
    {
        const D3D11_TEXTURE2D_DESC depthDesc =
            TextureDesc(i == 0 ? 8 : 4, 8, DXGI_FORMAT_D24_UNORM_S8_UINT, D3D11_BIND_DEPTH_STENCIL);
        ASSERT_EQ(S_OK, m_pDevice->CreateTexture2D(&depthDesc, nullptr, &apDepth[i]));
        ASSERT_EQ(S_OK, m_pDevice->CreateDepthStencilView(apDepth[i], nullptr, &apDsv[i]));
    }

    m_pContext->OMSetRenderTargets(1, &pRtv, apDsv[0]);
    EXPECT_EQ(S_OK, Calls("OMSetRenderTargets").back().Result);
    EXPECT_EQ(D3D11Control::GetObjectId(apDsv[0]), D3D11Control::GetBoundState(m_pContext).DepthStencil);

    m_pContext->OMSetRenderTargets(1, &pRtv, apDsv[1]);
    EXPECT_EQ(E_INVALIDARG, Calls("OMSetRenderTargets").back().Result);
    const D3D11Control::BoundState bound = D3D11Control::GetBoundState(m_pContext);
    EXPECT_TRUE(bound.RenderTargets.empty());
    EXPECT_EQ(0u, bound.DepthStencil);

    // A depth view alone, or with no target in the slot, is any size.
    ID3D11RenderTargetView* apNone[1] = {};
    m_pContext->OMSetRenderTargets(1, apNone, apDsv[1]);
    EXPECT_EQ(S_OK, Calls("OMSetRenderTargets").back().Result);
    m_pContext->ClearState();
    for (IUnknown* pObject :
         std::initializer_list<IUnknown*>{pRtv, pTarget, apDsv[0], apDsv[1], apDepth[0], apDepth[1]})
        pObject->Release();
}

TEST_F(D3D11DeviceContext, DestroyingTheContextReleasesWhatIsBound)
{
    CreateDevice();
    const D3D11_RASTERIZER_DESC rsDesc{
        D3D11_FILL_SOLID, D3D11_CULL_NONE, FALSE, 0, 0.0f, 0.0f, TRUE, FALSE, FALSE, FALSE};
    ID3D11RasterizerState* pState = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateRasterizerState(&rsDesc, &pState));
    m_pContext->RSSetState(pState);
    pState->Release();
    Release(m_pContext);
    Release(m_pDevice);
    EXPECT_EQ(0u, D3D11Control::GetLiveObjectCount());
}

TEST_F(D3D11DeviceContext, StageBindingsHoldReferencesAndRefuseBadSlots)
{
    CreateDevice();
    const D3D11_BUFFER_DESC cbDesc{
        16, D3D11_USAGE_DYNAMIC, D3D11_BIND_CONSTANT_BUFFER, D3D11_CPU_ACCESS_WRITE, 0, 0};
    const D3D11_BUFFER_DESC vbDesc{16, D3D11_USAGE_DEFAULT, D3D11_BIND_VERTEX_BUFFER, 0, 0, 0};
    ID3D11Buffer* pConstants = nullptr;
    ID3D11Buffer* pVertices = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateBuffer(&cbDesc, nullptr, &pConstants));
    ASSERT_EQ(S_OK, m_pDevice->CreateBuffer(&vbDesc, nullptr, &pVertices));
    D3D11_SAMPLER_DESC samplerDesc{};
    samplerDesc.Filter = D3D11_FILTER_MIN_MAG_MIP_LINEAR;
    samplerDesc.AddressU = samplerDesc.AddressV = samplerDesc.AddressW = D3D11_TEXTURE_ADDRESS_CLAMP;
    samplerDesc.ComparisonFunc = D3D11_COMPARISON_NEVER;
    samplerDesc.MaxLOD = D3D11_FLOAT32_MAX;
    ID3D11SamplerState* pSampler = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateSamplerState(&samplerDesc, &pSampler));

    m_pContext->PSSetConstantBuffers(13, 1, &pConstants);
    m_pContext->CSSetSamplers(15, 1, &pSampler);
    EXPECT_EQ(2u, D3D11Control::GetRefCount(pConstants));
    EXPECT_EQ(2u, D3D11Control::GetRefCount(pSampler));
    EXPECT_EQ((std::vector<double>{13, 1}), Calls("PSSetConstantBuffers").back().Values);
    EXPECT_EQ(std::vector<std::uint64_t>{D3D11Control::GetObjectId(pConstants)},
              Calls("PSSetConstantBuffers").back().Objects);

    // Past the last slot, or a buffer that is not a constant buffer: refused, nothing bound.
    m_pContext->VSSetConstantBuffers(14, 1, &pConstants);
    m_pContext->VSSetConstantBuffers(0, 1, &pVertices);
    ID3D11ShaderResourceView* apViews[2] = {};
    m_pContext->GSSetShaderResources(127, 2, apViews);
    m_pContext->VSSetShader(nullptr, nullptr, 1);
    EXPECT_EQ(E_INVALIDARG, Calls("VSSetConstantBuffers")[0].Result);
    EXPECT_EQ(E_INVALIDARG, Calls("VSSetConstantBuffers")[1].Result);
    EXPECT_EQ(E_INVALIDARG, Calls("GSSetShaderResources").back().Result);
    EXPECT_EQ(E_INVALIDARG, Calls("VSSetShader").back().Result);
    EXPECT_EQ(2u, D3D11Control::GetRefCount(pConstants));
    EXPECT_EQ(1u, D3D11Control::GetRefCount(pVertices));

    const FLOAT afFactor[4] = {0.5f, 0.25f, 0.0f, 1.0f};
    m_pContext->OMSetBlendState(nullptr, afFactor, 0xFF);
    m_pContext->OMSetDepthStencilState(nullptr, 7);
    EXPECT_EQ((std::vector<double>{0.5, 0.25, 0.0, 1.0, 255.0}), Calls("OMSetBlendState").back().Values);
    EXPECT_EQ(std::vector<double>{7.0}, Calls("OMSetDepthStencilState").back().Values);

    // Without logging nothing is recorded or counted.
    D3D11Control::SetCallLogging(false);
    m_pContext->Flush();
    D3D11Control::SetCallLogging(true);
    EXPECT_EQ(0u, D3D11Control::GetCallCount("Flush"));

    m_pContext->ClearState();
    EXPECT_EQ(1u, D3D11Control::GetRefCount(pConstants));
    EXPECT_EQ(1u, D3D11Control::GetRefCount(pSampler));
    pConstants->Release();
    pVertices->Release();
    pSampler->Release();
}
