#include "tests/platform/d3d11/D3D11TestFixture.h"

#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

using D3D11Device = D3D11Fixture;

TEST_F(D3D11Device, CreationReachesTheConfiguredFeatureLevel)
{
    D3D_FEATURE_LEVEL level = D3D_FEATURE_LEVEL_9_1;
    ID3D11Device* pDevice = nullptr;
    ID3D11DeviceContext* pContext = nullptr;
    ASSERT_EQ(S_OK, D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0,
                                      D3D11_SDK_VERSION, &pDevice, &level, &pContext));
    EXPECT_EQ(D3D_FEATURE_LEVEL_11_0, level);
    ASSERT_NE(nullptr, pContext);
    pContext->Release();
    pDevice->Release();

    // Weaker hardware: the default list falls back to the best level it allows.
    D3D11Control::SetFeatureLevel(D3D_FEATURE_LEVEL_10_1);
    ASSERT_EQ(S_OK, D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0,
                                      D3D11_SDK_VERSION, &pDevice, &level, nullptr));
    EXPECT_EQ(D3D_FEATURE_LEVEL_10_1, level);
    pDevice->Release();

    // An explicit list the hardware cannot reach fails.
    const D3D_FEATURE_LEVEL only11 = D3D_FEATURE_LEVEL_11_0;
    EXPECT_EQ(E_FAIL, D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, &only11, 1,
                                        D3D11_SDK_VERSION, &pDevice, &level, nullptr));
    EXPECT_EQ(nullptr, pDevice);
}

TEST_F(D3D11Device, CreationValidatesItsArgumentsAndCanBeMadeToFail)
{
    ID3D11Device* pDevice = nullptr;
    // Wrong SDK version; a driver type of UNKNOWN without an adapter.
    EXPECT_EQ(E_INVALIDARG, D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0, 6,
                                              &pDevice, nullptr, nullptr));
    EXPECT_EQ(E_INVALIDARG, D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_UNKNOWN, nullptr, 0, nullptr, 0,
                                              D3D11_SDK_VERSION, &pDevice, nullptr, nullptr));
    // No output pointers: only validation.
    EXPECT_EQ(S_FALSE, D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0,
                                         D3D11_SDK_VERSION, nullptr, nullptr, nullptr));

    D3D11Control::FailNext("D3D11CreateDevice", DXGI_ERROR_UNSUPPORTED);
    ID3D11DeviceContext* pContext = nullptr;
    EXPECT_EQ(DXGI_ERROR_UNSUPPORTED,
              D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION,
                                &pDevice, nullptr, &pContext));
    EXPECT_EQ(nullptr, pDevice);
    EXPECT_EQ(nullptr, pContext);
    EXPECT_EQ(4u, D3D11Control::GetCallCount("D3D11CreateDevice"));
}

TEST_F(D3D11Device, ContextOutlivesTheDeviceOnlyWhileReferenced)
{
    CreateDevice();
    Release(m_pDevice);
    EXPECT_EQ(1u, D3D11Control::GetLiveObjectCount()); // the context the caller still holds
    Release(m_pContext);
}

TEST_F(D3D11Device, TexturesKeepTheirInitialDataPerSubresource)
{
    CreateDevice();
    // 4x2 RGBA8 with two mips and two slices: 4 subresources, each filled with its own byte.
    D3D11_TEXTURE2D_DESC desc = TextureDesc(4, 2, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_BIND_SHADER_RESOURCE);
    desc.MipLevels = 2;
    desc.ArraySize = 2;
    std::vector<std::vector<std::uint8_t>> vSource;
    std::vector<D3D11_SUBRESOURCE_DATA> vInit;
    for (UINT uiSub = 0; uiSub < 4; ++uiSub)
    {
        // Source rows padded to 32 bytes: the device must use the pitch, not the row size.
        const UINT uiRows = (uiSub % 2 == 0) ? 2 : 1;
        vSource.emplace_back(32 * uiRows, static_cast<std::uint8_t>(0xA0 + uiSub));
    }
    for (auto& vBytes : vSource)
        vInit.push_back({vBytes.data(), 32, 0});
    ID3D11Texture2D* pTexture = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateTexture2D(&desc, vInit.data(), &pTexture));

    for (UINT uiSub = 0; uiSub < 4; ++uiSub)
    {
        std::vector<std::uint8_t> vData;
        UINT uiRowPitch = 0;
        ASSERT_TRUE(D3D11Control::ReadSubresource(pTexture, uiSub, &vData, &uiRowPitch));
        EXPECT_EQ(uiSub % 2 == 0 ? 16u : 8u, uiRowPitch);
        EXPECT_EQ(uiSub % 2 == 0 ? 32u : 8u, vData.size());
        for (std::uint8_t uiByte : vData)
            ASSERT_EQ(0xA0 + uiSub, uiByte);
    }
    std::vector<std::uint8_t> vData;
    EXPECT_FALSE(D3D11Control::ReadSubresource(pTexture, 4, &vData));
    pTexture->Release();
}

TEST_F(D3D11Device, ZeroMipLevelsMeansTheFullChainAndGetDescReportsIt)
{
    CreateDevice();
    D3D11_TEXTURE2D_DESC desc = TextureDesc(256, 64, DXGI_FORMAT_BC1_UNORM, D3D11_BIND_SHADER_RESOURCE);
    desc.MipLevels = 0;
    ID3D11Texture2D* pTexture = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateTexture2D(&desc, nullptr, &pTexture));
    D3D11_TEXTURE2D_DESC out{};
    pTexture->GetDesc(&out);
    EXPECT_EQ(9u, out.MipLevels);
    // Block-compressed levels smaller than a block still take one block (8 bytes for BC1).
    std::vector<std::uint8_t> vData;
    UINT uiRowPitch = 0;
    ASSERT_TRUE(D3D11Control::ReadSubresource(pTexture, 8, &vData, &uiRowPitch));
    EXPECT_EQ(8u, uiRowPitch);
    EXPECT_EQ(8u, vData.size());
    pTexture->Release();
}

TEST_F(D3D11Device, InvalidDescriptionsAreRefused)
{
    CreateDevice();
    struct Case
    {
        const char* pName;
        D3D11_TEXTURE2D_DESC desc;
    };
    std::vector<Case> vCases;
    auto add = [&](const char* pName, auto change)
    {
        D3D11_TEXTURE2D_DESC desc =
            TextureDesc(64, 64, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_BIND_SHADER_RESOURCE);
        change(desc);
        vCases.push_back({pName, desc});
    };
    add("zero width", [](D3D11_TEXTURE2D_DESC& d) { d.Width = 0; });
    add("too wide", [](D3D11_TEXTURE2D_DESC& d) { d.Width = 16385; });
    add("too many mips", [](D3D11_TEXTURE2D_DESC& d) { d.MipLevels = 8; });
    add("unknown format", [](D3D11_TEXTURE2D_DESC& d) { d.Format = DXGI_FORMAT_UNKNOWN; });
    add("default usage with CPU access",
        [](D3D11_TEXTURE2D_DESC& d) { d.CPUAccessFlags = D3D11_CPU_ACCESS_READ; });
    add("staging with bind flags",
        [](D3D11_TEXTURE2D_DESC& d)
        {
            d.Usage = D3D11_USAGE_STAGING;
            d.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
        });
    add("immutable without data", [](D3D11_TEXTURE2D_DESC& d) { d.Usage = D3D11_USAGE_IMMUTABLE; });
    add("depth bind on a colour format",
        [](D3D11_TEXTURE2D_DESC& d) { d.BindFlags = D3D11_BIND_DEPTH_STENCIL; });
    add("cube of five faces",
        [](D3D11_TEXTURE2D_DESC& d)
        {
            d.ArraySize = 5;
            d.MiscFlags = D3D11_RESOURCE_MISC_TEXTURECUBE;
        });
    add("multisampled with mips",
        [](D3D11_TEXTURE2D_DESC& d)
        {
            d.SampleDesc.Count = 4;
            d.MipLevels = 2;
        });
    add("quality beyond the levels",
        [](D3D11_TEXTURE2D_DESC& d)
        {
            d.SampleDesc.Count = 4;
            d.SampleDesc.Quality = 1;
        });
    add("block-compressed side not a whole block",
        [](D3D11_TEXTURE2D_DESC& d)
        {
            d.Format = DXGI_FORMAT_BC3_UNORM;
            d.Width = 62;
        });
    for (const Case& c : vCases)
    {
        ID3D11Texture2D* pTexture = nullptr;
        EXPECT_EQ(E_INVALIDARG, m_pDevice->CreateTexture2D(&c.desc, nullptr, &pTexture)) << c.pName;
        EXPECT_EQ(nullptr, pTexture) << c.pName;
    }
}

TEST_F(D3D11Device, BuffersHoldTheirBytesAndFollowTheBufferRules)
{
    CreateDevice();
    const std::uint8_t aBytes[48] = {1, 2, 3, 4, 5};
    D3D11_BUFFER_DESC desc{48, D3D11_USAGE_DEFAULT, D3D11_BIND_VERTEX_BUFFER, 0, 0, 0};
    D3D11_SUBRESOURCE_DATA init{aBytes, 0, 0};
    ID3D11Buffer* pBuffer = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateBuffer(&desc, &init, &pBuffer));
    std::vector<std::uint8_t> vData;
    ASSERT_TRUE(D3D11Control::ReadSubresource(pBuffer, 0, &vData));
    EXPECT_EQ(0, std::memcmp(aBytes, vData.data(), sizeof(aBytes)));
    pBuffer->Release();

    const D3D11_BUFFER_DESC aInvalid[] = {
        {40, D3D11_USAGE_DYNAMIC, D3D11_BIND_CONSTANT_BUFFER, D3D11_CPU_ACCESS_WRITE, 0,
         0}, // not 16-byte multiple
        {64, D3D11_USAGE_DYNAMIC, D3D11_BIND_CONSTANT_BUFFER, D3D11_CPU_ACCESS_READ, 0, 0}, // dynamic reads
        {64, D3D11_USAGE_DEFAULT, D3D11_BIND_SHADER_RESOURCE, 0, D3D11_RESOURCE_MISC_BUFFER_STRUCTURED,
         24 + 1},
        {0, D3D11_USAGE_DEFAULT, D3D11_BIND_VERTEX_BUFFER, 0, 0, 0},
    };
    for (const D3D11_BUFFER_DESC& bad : aInvalid)
        EXPECT_EQ(E_INVALIDARG, m_pDevice->CreateBuffer(&bad, nullptr, &pBuffer));
}

TEST_F(D3D11Device, NamedFailuresHitOnlyTheNextCallOfThatName)
{
    CreateDevice();
    const D3D11_TEXTURE2D_DESC desc = TextureDesc(8, 8, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_BIND_RENDER_TARGET);
    D3D11Control::FailNext("CreateTexture2D", E_OUTOFMEMORY);
    ID3D11Texture2D* pTexture = nullptr;
    ID3D11Buffer* pBuffer = nullptr;
    const D3D11_BUFFER_DESC bufferDesc{16, D3D11_USAGE_DEFAULT, D3D11_BIND_VERTEX_BUFFER, 0, 0, 0};
    EXPECT_EQ(S_OK, m_pDevice->CreateBuffer(&bufferDesc, nullptr, &pBuffer));
    EXPECT_EQ(E_OUTOFMEMORY, m_pDevice->CreateTexture2D(&desc, nullptr, &pTexture));
    EXPECT_EQ(S_OK, m_pDevice->CreateTexture2D(&desc, nullptr, &pTexture));
    const auto vCreates = Calls("CreateTexture2D");
    ASSERT_EQ(2u, vCreates.size());
    EXPECT_EQ(E_OUTOFMEMORY, vCreates[0].Result);
    EXPECT_EQ(D3D11Control::GetObjectId(pTexture), vCreates[1].Objects.back());
    Release(pTexture);
    Release(pBuffer);
}

TEST_F(D3D11Device, ViewsFillDefaultsHoldTheirResourceAndCheckFormats)
{
    CreateDevice();
    D3D11_TEXTURE2D_DESC desc =
        TextureDesc(32, 32, DXGI_FORMAT_R32_TYPELESS, D3D11_BIND_DEPTH_STENCIL | D3D11_BIND_SHADER_RESOURCE);
    desc.MipLevels = 0;
    ID3D11Texture2D* pTexture = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateTexture2D(&desc, nullptr, &pTexture));

    // A typeless resource needs typed view formats; depth formats only in depth-stencil views.
    ID3D11ShaderResourceView* pSrv = nullptr;
    EXPECT_EQ(E_INVALIDARG, m_pDevice->CreateShaderResourceView(pTexture, nullptr, &pSrv));
    D3D11_SHADER_RESOURCE_VIEW_DESC srvDesc{};
    srvDesc.Format = DXGI_FORMAT_D32_FLOAT;
    srvDesc.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2D;
    srvDesc.Texture2D = {1, static_cast<UINT>(-1)};
    EXPECT_EQ(E_INVALIDARG, m_pDevice->CreateShaderResourceView(pTexture, &srvDesc, &pSrv));
    srvDesc.Format = DXGI_FORMAT_R32_FLOAT;
    ASSERT_EQ(S_OK, m_pDevice->CreateShaderResourceView(pTexture, &srvDesc, &pSrv));
    D3D11_SHADER_RESOURCE_VIEW_DESC srvOut{};
    pSrv->GetDesc(&srvOut);
    EXPECT_EQ(5u, srvOut.Texture2D.MipLevels); // "all remaining" resolved: 6 levels from mip 1

    D3D11_DEPTH_STENCIL_VIEW_DESC dsvDesc{};
    dsvDesc.Format = DXGI_FORMAT_D32_FLOAT;
    dsvDesc.ViewDimension = D3D11_DSV_DIMENSION_TEXTURE2D;
    ID3D11DepthStencilView* pDsv = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateDepthStencilView(pTexture, &dsvDesc, &pDsv));
    ID3D11RenderTargetView* pRtv = nullptr;
    EXPECT_EQ(E_INVALIDARG, m_pDevice->CreateRenderTargetView(pTexture, nullptr, &pRtv)); // no RT binding

    // Each view holds a reference; the texture lives on after the caller lets go.
    EXPECT_EQ(3u, D3D11Control::GetRefCount(pTexture));
    pTexture->Release();
    ID3D11Resource* pResource = nullptr;
    pDsv->GetResource(&pResource);
    EXPECT_EQ(D3D11Control::GetObjectId(pTexture), D3D11Control::GetObjectId(pResource));
    pResource->Release();
    pSrv->Release();
    pDsv->Release();
}

TEST_F(D3D11Device, CubeViewsAndQueryInterface)
{
    CreateDevice();
    D3D11_TEXTURE2D_DESC desc =
        TextureDesc(16, 16, DXGI_FORMAT_R16G16B16A16_FLOAT, D3D11_BIND_SHADER_RESOURCE);
    desc.MipLevels = 0;
    desc.ArraySize = 6;
    desc.MiscFlags = D3D11_RESOURCE_MISC_TEXTURECUBE;
    ID3D11Texture2D* pTexture = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateTexture2D(&desc, nullptr, &pTexture));
    D3D11_SHADER_RESOURCE_VIEW_DESC srvDesc{};
    srvDesc.Format = desc.Format;
    srvDesc.ViewDimension = D3D11_SRV_DIMENSION_TEXTURECUBE;
    srvDesc.TextureCube = {0, static_cast<UINT>(-1)};
    ID3D11ShaderResourceView* pSrv = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateShaderResourceView(pTexture, &srvDesc, &pSrv));
    D3D11_SHADER_RESOURCE_VIEW_DESC out{};
    pSrv->GetDesc(&out);
    EXPECT_EQ(5u, out.TextureCube.MipLevels);

    ID3D11Resource* pResource = nullptr;
    pSrv->GetResource(&pResource);
    ID3D11Texture2D* pAgain = nullptr;
    ASSERT_EQ(S_OK, pResource->QueryInterface(IID_ID3D11Texture2D, reinterpret_cast<void**>(&pAgain)));
    EXPECT_EQ(pTexture, pAgain);
    void* pNot = &out;
    EXPECT_EQ(E_NOINTERFACE, pResource->QueryInterface(IID_ID3D11Buffer, &pNot));
    EXPECT_EQ(nullptr, pNot);
    pAgain->Release();
    pResource->Release();
    pSrv->Release();
    pTexture->Release();
}

TEST_F(D3D11Device, QualityLevelsFollowTheConfiguration)
{
    CreateDevice();
    UINT uiLevels = 99;
    EXPECT_EQ(S_OK, m_pDevice->CheckMultisampleQualityLevels(DXGI_FORMAT_R8G8B8A8_UNORM_SRGB, 4, &uiLevels));
    EXPECT_EQ(1u, uiLevels);
    EXPECT_EQ(S_OK, m_pDevice->CheckMultisampleQualityLevels(DXGI_FORMAT_R8G8B8A8_UNORM_SRGB, 3, &uiLevels));
    EXPECT_EQ(0u, uiLevels);
    D3D11Control::SetMultisampleQualityLevels(4, 0);
    D3D11Control::SetMultisampleQualityLevels(4, 8, DXGI_FORMAT_R32_TYPELESS);
    EXPECT_EQ(S_OK, m_pDevice->CheckMultisampleQualityLevels(DXGI_FORMAT_R8G8B8A8_UNORM_SRGB, 4, &uiLevels));
    EXPECT_EQ(0u, uiLevels);
    EXPECT_EQ(S_OK, m_pDevice->CheckMultisampleQualityLevels(DXGI_FORMAT_R32_TYPELESS, 4, &uiLevels));
    EXPECT_EQ(8u, uiLevels);
    // Block-compressed formats are never multisampled, whatever is configured.
    D3D11Control::SetMultisampleQualityLevels(4, 8, DXGI_FORMAT_BC1_UNORM);
    EXPECT_EQ(S_OK, m_pDevice->CheckMultisampleQualityLevels(DXGI_FORMAT_BC1_UNORM, 4, &uiLevels));
    EXPECT_EQ(0u, uiLevels);
}

TEST_F(D3D11Device, CreationFromManyThreadsKeepsCountsAndRegistryWhole)
{
    CreateDevice();
    constexpr int THREADS = 8;
    constexpr int PER_THREAD = 50;
    std::vector<std::thread> vThreads;
    std::vector<std::vector<ID3D11Texture2D*>> vMade(THREADS);
    for (int t = 0; t < THREADS; ++t)
    {
        vThreads.emplace_back(
            [this, t, &vMade]
            {
                const D3D11_TEXTURE2D_DESC desc =
                    TextureDesc(16, 16, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_BIND_SHADER_RESOURCE);
                for (int i = 0; i < PER_THREAD; ++i)
                {
                    ID3D11Texture2D* pTexture = nullptr;
                    if (m_pDevice->CreateTexture2D(&desc, nullptr, &pTexture) == S_OK)
                    {
                        m_pDevice->AddRef();
                        m_pDevice->Release();
                        vMade[t].push_back(pTexture);
                    }
                }
            });
    }
    for (std::thread& thread : vThreads)
        thread.join();
    EXPECT_EQ(2u + THREADS * PER_THREAD, D3D11Control::GetLiveObjectCount());
    EXPECT_EQ(1u, D3D11Control::GetRefCount(m_pDevice));
    for (auto& vTextures : vMade)
        for (ID3D11Texture2D* pTexture : vTextures)
            pTexture->Release();
}
