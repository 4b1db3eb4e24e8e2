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

    // The viewport getter: the count bound on request, unbound entries zeroed.
    UINT uiViewports = 0;
    m_pContext->RSGetViewports(&uiViewports, nullptr);
    EXPECT_EQ(1u, uiViewports);
    D3D11_VIEWPORT aViewports[2] = {viewport, viewport};
    uiViewports = 2;
    m_pContext->RSGetViewports(&uiViewports, aViewports);
    EXPECT_EQ(8.0f, aViewports[0].Height);
    EXPECT_EQ(0.0f, aViewports[1].Width);

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

namespace
{

// A default-usage buffer with unordered and shader-resource access, structured or raw.
ID3D11Buffer* MakeComputeBuffer(ID3D11Device* pDevice, UINT uiBytes, UINT uiStride)
{
    D3D11_BUFFER_DESC desc{};
    desc.ByteWidth = uiBytes;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_UNORDERED_ACCESS | D3D11_BIND_SHADER_RESOURCE;
    desc.MiscFlags =
        uiStride != 0 ? D3D11_RESOURCE_MISC_BUFFER_STRUCTURED : D3D11_RESOURCE_MISC_BUFFER_ALLOW_RAW_VIEWS;
    desc.StructureByteStride = uiStride;
    ID3D11Buffer* pBuffer = nullptr;
    EXPECT_EQ(S_OK, pDevice->CreateBuffer(&desc, nullptr, &pBuffer));
    return pBuffer;
}

ID3D11UnorderedAccessView* MakeBufferView(ID3D11Device* pDevice, ID3D11Buffer* pBuffer, bool bRaw,
                                          UINT uiFirst, UINT uiCount)
{
    D3D11_UNORDERED_ACCESS_VIEW_DESC desc{};
    desc.ViewDimension = D3D11_UAV_DIMENSION_BUFFER;
    desc.Format = bRaw ? DXGI_FORMAT_R32_TYPELESS : DXGI_FORMAT_UNKNOWN;
    desc.Buffer = {uiFirst, uiCount,
                   bRaw ? UINT(D3D11_BUFFER_UAV_FLAG_RAW) : UINT(D3D11_BUFFER_UAV_FLAG_COUNTER)};
    ID3D11UnorderedAccessView* pView = nullptr;
    EXPECT_EQ(S_OK, pDevice->CreateUnorderedAccessView(pBuffer, &desc, &pView));
    return pView;
}

} // namespace

TEST_F(D3D11DeviceContext, UnorderedAccessViewsFollowTheTargetsAndResetTheirCounters)
{
    CreateDevice();
    ID3D11Texture2D* pTexture = nullptr;
    ID3D11RenderTargetView* pTarget = nullptr;
    const D3D11_TEXTURE2D_DESC targetDesc =
        TextureDesc(4, 4, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_BIND_RENDER_TARGET);
    ASSERT_EQ(S_OK, m_pDevice->CreateTexture2D(&targetDesc, nullptr, &pTexture));
    ASSERT_EQ(S_OK, m_pDevice->CreateRenderTargetView(pTexture, nullptr, &pTarget));
    ID3D11Buffer* pList = MakeComputeBuffer(m_pDevice, 12 * 8, 12);
    ID3D11Buffer* pHeads = MakeComputeBuffer(m_pDevice, 64, 0);
    ID3D11UnorderedAccessView* apViews[2] = {MakeBufferView(m_pDevice, pList, false, 0, 8),
                                             MakeBufferView(m_pDevice, pHeads, true, 0, 16)};
    m_pContext->OMSetRenderTargets(1, &pTarget, nullptr);

    const UINT auiFive[2] = {5, 5};
    m_pContext->OMSetRenderTargetsAndUnorderedAccessViews(D3D11_KEEP_RENDER_TARGETS_AND_DEPTH_STENCIL,
                                                          nullptr, nullptr, 4, 2, apViews, auiFive);
    D3D11Control::BoundState state = D3D11Control::GetBoundState(m_pContext);
    ASSERT_EQ(8u, state.UnorderedAccessViews.size());
    EXPECT_EQ(D3D11Control::GetObjectId(apViews[0]), state.UnorderedAccessViews[4]);
    EXPECT_EQ(D3D11Control::GetObjectId(apViews[1]), state.UnorderedAccessViews[5]);
    EXPECT_EQ(std::vector<std::uint64_t>{D3D11Control::GetObjectId(pTarget)}, state.RenderTargets);
    UINT uiCounter = 0;
    ASSERT_TRUE(D3D11Control::GetUnorderedAccessViewCounter(apViews[0], &uiCounter));
    EXPECT_EQ(5u, uiCounter);
    EXPECT_FALSE(D3D11Control::GetUnorderedAccessViewCounter(apViews[1], &uiCounter)); // raw: no counter

    // 0xFFFFFFFF keeps the counter, 0 resets it; a start slot below the bound targets is refused.
    const UINT auiKeep[2] = {0xFFFFFFFFu, 0};
    m_pContext->OMSetRenderTargetsAndUnorderedAccessViews(D3D11_KEEP_RENDER_TARGETS_AND_DEPTH_STENCIL,
                                                          nullptr, nullptr, 4, 2, apViews, auiKeep);
    ASSERT_TRUE(D3D11Control::GetUnorderedAccessViewCounter(apViews[0], &uiCounter));
    EXPECT_EQ(5u, uiCounter);
    const UINT auiZero[2] = {0, 0};
    m_pContext->OMSetRenderTargetsAndUnorderedAccessViews(D3D11_KEEP_RENDER_TARGETS_AND_DEPTH_STENCIL,
                                                          nullptr, nullptr, 4, 2, apViews, auiZero);
    ASSERT_TRUE(D3D11Control::GetUnorderedAccessViewCounter(apViews[0], &uiCounter));
    EXPECT_EQ(0u, uiCounter);
    D3D11Control::ClearCallLog();
    m_pContext->OMSetRenderTargetsAndUnorderedAccessViews(D3D11_KEEP_RENDER_TARGETS_AND_DEPTH_STENCIL,
                                                          nullptr, nullptr, 0, 2, apViews, auiZero);
    ASSERT_EQ(1u, Calls("OMSetRenderTargetsAndUnorderedAccessViews").size());
    EXPECT_EQ(E_INVALIDARG, Calls("OMSetRenderTargetsAndUnorderedAccessViews")[0].Result);
    EXPECT_EQ(D3D11Control::GetObjectId(apViews[0]),
              D3D11Control::GetBoundState(m_pContext).UnorderedAccessViews[4]);

    // Binding one view elsewhere unbinds the others; the views hold a reference only while bound.
    const ULONG ulBound = D3D11Control::GetRefCount(apViews[1]);
    m_pContext->OMSetRenderTargetsAndUnorderedAccessViews(D3D11_KEEP_RENDER_TARGETS_AND_DEPTH_STENCIL,
                                                          nullptr, nullptr, 1, 1, apViews, nullptr);
    state = D3D11Control::GetBoundState(m_pContext);
    EXPECT_EQ(D3D11Control::GetObjectId(apViews[0]), state.UnorderedAccessViews[1]);
    EXPECT_EQ(0u, state.UnorderedAccessViews[4]);
    EXPECT_EQ(0u, state.UnorderedAccessViews[5]);
    EXPECT_EQ(ulBound - 1, D3D11Control::GetRefCount(apViews[1]));

    // New targets and no views: everything else unbound.
    m_pContext->OMSetRenderTargetsAndUnorderedAccessViews(0, nullptr, nullptr, 0, 0, nullptr, nullptr);
    state = D3D11Control::GetBoundState(m_pContext);
    EXPECT_TRUE(state.RenderTargets.empty());
    EXPECT_EQ(std::vector<std::uint64_t>(8, 0), state.UnorderedAccessViews);

    for (ID3D11UnorderedAccessView* pView : apViews)
        pView->Release();
    pHeads->Release();
    pList->Release();
    pTarget->Release();
    pTexture->Release();
}

TEST_F(D3D11DeviceContext, UintClearWritesTheViewSpanOrTheComponentsLowBits)
{
    CreateDevice();
    // Raw view of words 2..5 of an 8-word buffer: only those change.
    ID3D11Buffer* pRaw = MakeComputeBuffer(m_pDevice, 32, 0);
    ID3D11UnorderedAccessView* pRawView = MakeBufferView(m_pDevice, pRaw, true, 2, 4);
    const UINT auiHeads[4] = {0xFFFFFFFFu, 1, 2, 3};
    m_pContext->ClearUnorderedAccessViewUint(pRawView, auiHeads);
    std::vector<std::uint8_t> vData;
    ASSERT_TRUE(D3D11Control::ReadSubresource(pRaw, 0, &vData));
    for (std::size_t i = 0; i < 8; ++i)
        EXPECT_EQ(i >= 2 && i < 6 ? 0xFFFFFFFFu : 0u, ReadU32(vData, i * 4)) << "word " << i;

    // Structured: every word of the covered elements gets the first value.
    ID3D11Buffer* pList = MakeComputeBuffer(m_pDevice, 12 * 4, 12);
    ID3D11UnorderedAccessView* pListView = MakeBufferView(m_pDevice, pList, false, 1, 2);
    const UINT auiSeven[4] = {7, 8, 9, 10};
    m_pContext->ClearUnorderedAccessViewUint(pListView, auiSeven);
    ASSERT_TRUE(D3D11Control::ReadSubresource(pList, 0, &vData));
    for (std::size_t i = 0; i < 12; ++i)
        EXPECT_EQ(i >= 3 && i < 9 ? 7u : 0u, ReadU32(vData, i * 4)) << "word " << i;

    // Typed texture views: each component keeps the low bits of its value; packed is refused.
    struct Case
    {
        DXGI_FORMAT format;
        bool bAccepted;
        std::uint32_t uiExpected;
    };
    const UINT auiValues[4] = {0x1FF, 0x102, 0x3, 0x4};
    for (const Case& c :
         {Case{DXGI_FORMAT_R8G8B8A8_UINT, true, 0x04'03'02'FFu},
          Case{DXGI_FORMAT_R16G16_UINT, true, 0x0102'01FFu}, Case{DXGI_FORMAT_R32_UINT, true, 0x1FFu},
          Case{DXGI_FORMAT_R10G10B10A2_UINT, false, 0u}})
    {
        const D3D11_TEXTURE2D_DESC desc = TextureDesc(2, 2, c.format, D3D11_BIND_UNORDERED_ACCESS);
        ID3D11Texture2D* pTexture = nullptr;
        ID3D11UnorderedAccessView* pView = nullptr;
        ASSERT_EQ(S_OK, m_pDevice->CreateTexture2D(&desc, nullptr, &pTexture));
        ASSERT_EQ(S_OK, m_pDevice->CreateUnorderedAccessView(pTexture, nullptr, &pView));
        D3D11Control::ClearCallLog();
        m_pContext->ClearUnorderedAccessViewUint(pView, auiValues);
        EXPECT_EQ(c.bAccepted ? S_OK : E_INVALIDARG, Calls("ClearUnorderedAccessViewUint").at(0).Result);
        ASSERT_TRUE(D3D11Control::ReadSubresource(pTexture, 0, &vData));
        for (std::size_t uiOffset = 0; uiOffset < vData.size(); uiOffset += 4)
            EXPECT_EQ(c.uiExpected, ReadU32(vData, uiOffset)) << "format " << c.format;
        pView->Release();
        pTexture->Release();
    }
    pListView->Release();
    pList->Release();
    pRawView->Release();
    pRaw->Release();
}

TEST_F(D3D11DeviceContext, TargetQueryAddsReferences)
{
    CreateDevice();
    ID3D11Texture2D* pTexture = nullptr;
    ID3D11RenderTargetView* pTarget = nullptr;
    const D3D11_TEXTURE2D_DESC desc = TextureDesc(4, 4, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_BIND_RENDER_TARGET);
    ASSERT_EQ(S_OK, m_pDevice->CreateTexture2D(&desc, nullptr, &pTexture));
    ASSERT_EQ(S_OK, m_pDevice->CreateRenderTargetView(pTexture, nullptr, &pTarget));
    m_pContext->OMSetRenderTargets(1, &pTarget, nullptr);
    const ULONG ulBefore = D3D11Control::GetRefCount(pTarget);
    ID3D11RenderTargetView* apTargets[2] = {};
    ID3D11DepthStencilView* pDepth = reinterpret_cast<ID3D11DepthStencilView*>(&apTargets);
    m_pContext->OMGetRenderTargets(2, apTargets, &pDepth);
    EXPECT_EQ(pTarget, apTargets[0]);
    EXPECT_EQ(nullptr, apTargets[1]);
    EXPECT_EQ(nullptr, pDepth);
    EXPECT_EQ(ulBefore + 1, D3D11Control::GetRefCount(pTarget));
    apTargets[0]->Release();

    pTarget->Release();
    pTexture->Release();
}

namespace
{

class D3D11EventQuery : public D3D11Fixture
{
};

TEST_F(D3D11EventQuery, AnswersDoneAfterTheConfiguredPollsFromEachEnd)
{
    CreateDevice();
    D3D11_QUERY_DESC desc = {D3D11_QUERY_EVENT, 0};
    ID3D11Query* pQuery = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateQuery(&desc, &pQuery));
    EXPECT_EQ(pQuery->GetDataSize(), sizeof(BOOL));
    BOOL bDone = FALSE;
    EXPECT_EQ(m_pContext->GetData(pQuery, &bDone, sizeof(bDone), 0), DXGI_ERROR_INVALID_CALL); // not ended
    m_pContext->Begin(pQuery); // event queries have no beginning
    EXPECT_EQ(D3D11Control::GetCallLog().back().Result, E_INVALIDARG);

    m_pContext->End(pQuery); // no polls configured: done at once
    EXPECT_EQ(m_pContext->GetData(pQuery, &bDone, sizeof(bDone), 0), S_OK);
    EXPECT_EQ(bDone, TRUE);
    EXPECT_EQ(m_pContext->GetData(pQuery, &bDone, 2, 0), E_INVALIDARG);

    D3D11Control::SetEventQueryPolls(2);
    m_pContext->End(pQuery);
    EXPECT_EQ(m_pContext->GetData(pQuery, nullptr, 0, 0), S_FALSE);
    EXPECT_EQ(m_pContext->GetData(pQuery, &bDone, sizeof(bDone), 0), S_FALSE);
    EXPECT_EQ(m_pContext->GetData(pQuery, &bDone, sizeof(bDone), 0), S_OK);
    pQuery->Release();
}

TEST_F(D3D11EventQuery, OtherKindsAndFlagsAreRefused)
{
    CreateDevice();
    D3D11_QUERY_DESC desc = {static_cast<D3D11_QUERY>(1), 0};
    ID3D11Query* pQuery = nullptr;
    EXPECT_EQ(E_INVALIDARG, m_pDevice->CreateQuery(&desc, &pQuery));
    EXPECT_EQ(pQuery, nullptr);
    desc = {D3D11_QUERY_EVENT, 1};
    EXPECT_EQ(E_INVALIDARG, m_pDevice->CreateQuery(&desc, &pQuery));
    desc.MiscFlags = 0;
    EXPECT_EQ(S_FALSE, m_pDevice->CreateQuery(&desc, nullptr));
    D3D11Control::FailNext("CreateQuery");
    EXPECT_EQ(E_FAIL, m_pDevice->CreateQuery(&desc, &pQuery));
    EXPECT_EQ(pQuery, nullptr);
}

} // namespace

TEST_F(D3D11DeviceContext, GenerateMipsBoxFiltersEachCoveredSliceFromItsTopLevel)
{
    CreateDevice();
    // A 4x4 cube of three levels; face f's top level holds f * 10 + texel index in every component.
    D3D11_TEXTURE2D_DESC desc =
        TextureDesc(4, 4, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE);
    desc.MipLevels = 3;
    desc.ArraySize = 6;
    desc.MiscFlags = D3D11_RESOURCE_MISC_TEXTURECUBE | D3D11_RESOURCE_MISC_GENERATE_MIPS;
    ID3D11Texture2D* pTexture = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateTexture2D(&desc, nullptr, &pTexture));
    const auto fillTop = [&]()
    {
        for (UINT uiFace = 0; uiFace < 6; ++uiFace)
        {
            std::vector<std::uint8_t> vTexels;
            for (std::uint8_t i = 0; i < 16; ++i)
                for (int c = 0; c < 4; ++c)
                    vTexels.push_back(static_cast<std::uint8_t>(uiFace * 10 + i));
            m_pContext->UpdateSubresource(pTexture, D3D11CalcSubresource(0, uiFace, 3), nullptr,
                                          vTexels.data(), 16, 0);
        }
    };
    const auto texel = [&](UINT uiMip, UINT uiFace, std::size_t uiIndex)
    {
        std::vector<std::uint8_t> vData;
        EXPECT_TRUE(D3D11Control::ReadSubresource(pTexture, D3D11CalcSubresource(uiMip, uiFace, 3), &vData));
        return uiIndex * 4 < vData.size() ? ReadU32(vData, uiIndex * 4) : 0u;
    };
    fillTop();

    // The whole cube: level 1 texel (1, 0) covers top texels 2, 3, 6, 7 (mean 4.5, rounded to 5).
    ID3D11ShaderResourceView* pCube = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateShaderResourceView(pTexture, nullptr, &pCube));
    m_pContext->GenerateMips(pCube);
    EXPECT_EQ(S_OK, Calls("GenerateMips").back().Result);
    for (UINT uiFace = 0; uiFace < 6; ++uiFace)
    {
        const std::uint32_t uiBase = uiFace * 10;
        EXPECT_EQ((uiBase + 5) * 0x01010101u, texel(1, uiFace, 1)) << uiFace;
        EXPECT_EQ((uiBase + 13) * 0x01010101u, texel(1, uiFace, 3)) << uiFace; // 10, 11, 14, 15
        // Level 2 from level 1 (3, 5, 11, 13 on face 0: mean 8).
        EXPECT_EQ((uiBase + 8) * 0x01010101u, texel(2, uiFace, 0)) << uiFace;
    }

    // A 2-D array view of faces 2 and 3 from level 1 on: only their level 2 is made again.
    const D3D11_BOX box = {0, 0, 0, 1, 1, 1};
    const std::uint8_t aZero[4] = {};
    for (UINT uiFace = 0; uiFace < 6; ++uiFace)
        m_pContext->UpdateSubresource(pTexture, D3D11CalcSubresource(2, uiFace, 3), &box, aZero, 4, 0);
    const std::uint8_t aLevel1[16] = {40, 40, 40, 40, 60, 60, 60, 60, 0, 0, 0, 0, 0, 0, 0, 0};
    m_pContext->UpdateSubresource(pTexture, D3D11CalcSubresource(1, 2, 3), nullptr, aLevel1, 8, 0);
    D3D11_SHADER_RESOURCE_VIEW_DESC viewDesc{};
    viewDesc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    viewDesc.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2DARRAY;
    viewDesc.Texture2DArray = {1, 2, 2, 2};
    ID3D11ShaderResourceView* pFaces = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateShaderResourceView(pTexture, &viewDesc, &pFaces));
    m_pContext->GenerateMips(pFaces);
    EXPECT_EQ(25u * 0x01010101u, texel(2, 2, 0)); // (40 + 60 + 0 + 0) / 4
    EXPECT_EQ(38u * 0x01010101u, texel(2, 3, 0)); // face 3's level 1 as made above
    EXPECT_EQ(0u, texel(2, 1, 0));
    EXPECT_EQ(0u, texel(2, 4, 0));
    EXPECT_EQ(60u * 0x01010101u, texel(1, 2, 1)); // the view's top level is read, not written
    pFaces->Release();
    pCube->Release();
    pTexture->Release();
}

TEST_F(D3D11DeviceContext, GenerateMipsRefusesTexturesWithoutTheFlagAndLeavesUnfilteredFormats)
{
    CreateDevice();
    struct Case
    {
        DXGI_FORMAT format;
        UINT uiMiscFlags;
        HRESULT hrExpected;
    };
    const Case aCases[] = {
        {DXGI_FORMAT_R32_FLOAT, D3D11_RESOURCE_MISC_GENERATE_MIPS, S_OK},
        {DXGI_FORMAT_R32_FLOAT, 0, E_INVALIDARG},
        {DXGI_FORMAT_R8G8B8A8_UNORM_SRGB, D3D11_RESOURCE_MISC_GENERATE_MIPS, E_NOTIMPL},
    };
    for (const Case& c : aCases)
    {
        D3D11_TEXTURE2D_DESC desc =
            TextureDesc(2, 2, c.format, D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE);
        desc.MipLevels = 2;
        desc.MiscFlags = c.uiMiscFlags;
        ID3D11Texture2D* pTexture = nullptr;
        ID3D11ShaderResourceView* pView = nullptr;
        ASSERT_EQ(S_OK, m_pDevice->CreateTexture2D(&desc, nullptr, &pTexture));
        ASSERT_EQ(S_OK, m_pDevice->CreateShaderResourceView(pTexture, nullptr, &pView));
        const float afTop[4] = {1.0f, 2.0f, 3.0f, 4.5f}; // also the bytes of the 8-bit format
        m_pContext->UpdateSubresource(pTexture, 0, nullptr, afTop, 8, 0);
        m_pContext->GenerateMips(pView);
        EXPECT_EQ(c.hrExpected, Calls("GenerateMips").back().Result) << c.format;
        std::vector<std::uint8_t> vData;
        ASSERT_TRUE(D3D11Control::ReadSubresource(pTexture, 1, &vData));
        if (c.format == DXGI_FORMAT_R32_FLOAT)
            EXPECT_EQ(c.hrExpected == S_OK ? 2.625f : 0.0f, ReadF32(vData, 0));
        else
            EXPECT_EQ(0u, ReadU32(vData, 0)); // left as it was
        pView->Release();
        pTexture->Release();
    }
    m_pContext->GenerateMips(nullptr);
    EXPECT_EQ(E_INVALIDARG, Calls("GenerateMips").back().Result);
}
