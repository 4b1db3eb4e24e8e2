#include "tests/platform/d3d11/D3D11TestFixture.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace
{

class D3D11Memory : public D3D11Fixture
{
protected:
    void SetUp() override
    {
        D3D11Fixture::SetUp();
        CreateDevice();
    }

    ID3D11Texture2D* MakeTexture(UINT uiWidth, UINT uiHeight, DXGI_FORMAT format, D3D11_USAGE usage,
                                 UINT uiCpu, const void* pInitial = nullptr, UINT uiPitch = 0)
    {
        D3D11_TEXTURE2D_DESC desc = TextureDesc(uiWidth, uiHeight, format, 0);
        desc.Usage = usage;
        desc.CPUAccessFlags = uiCpu;
        if (usage == D3D11_USAGE_DEFAULT || usage == D3D11_USAGE_DYNAMIC)
            desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
        const D3D11_SUBRESOURCE_DATA init{pInitial, uiPitch, 0};
        ID3D11Texture2D* pTexture = nullptr;
        EXPECT_EQ(S_OK, m_pDevice->CreateTexture2D(&desc, pInitial != nullptr ? &init : nullptr, &pTexture));
        return pTexture;
    }

    static std::vector<std::uint8_t> Read(ID3D11Resource* pResource, UINT uiSubresource = 0)
    {
        std::vector<std::uint8_t> vData;
        EXPECT_TRUE(D3D11Control::ReadSubresource(pResource, uiSubresource, &vData));
        return vData;
    }
};

std::vector<std::uint8_t> Ramp(std::size_t uiCount)
{
    std::vector<std::uint8_t> v(uiCount);
    for (std::size_t i = 0; i < uiCount; ++i)
        v[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return v;
}

} // namespace

TEST_F(D3D11Memory, MapFollowsUsageAndAccessAndMapsOnce)
{
    const std::vector<std::uint8_t> vPixels = Ramp(4 * 4 * 4);
    ID3D11Texture2D* pStaging = MakeTexture(4, 4, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_USAGE_STAGING,
                                            D3D11_CPU_ACCESS_READ, vPixels.data(), 16);
    ID3D11Texture2D* pDefault = MakeTexture(4, 4, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_USAGE_DEFAULT, 0);
    ID3D11Texture2D* pDynamic =
        MakeTexture(4, 4, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_USAGE_DYNAMIC, D3D11_CPU_ACCESS_WRITE);

    D3D11_MAPPED_SUBRESOURCE mapped{};
    ASSERT_EQ(S_OK, m_pContext->Map(pStaging, 0, D3D11_MAP_READ, 0, &mapped));
    EXPECT_EQ(16u, mapped.RowPitch);
    EXPECT_EQ(64u, mapped.DepthPitch);
    EXPECT_EQ(0, std::memcmp(mapped.pData, vPixels.data(), vPixels.size()));
    // Mapped once until unmapped; a second map and a copy into it are refused.
    EXPECT_EQ(E_INVALIDARG, m_pContext->Map(pStaging, 0, D3D11_MAP_READ, 0, &mapped));
    m_pContext->CopyResource(pStaging, pDefault);
    EXPECT_EQ(E_INVALIDARG, Calls("CopyResource").back().Result);
    m_pContext->Unmap(pStaging, 0);
    EXPECT_EQ(S_OK, m_pContext->Map(pStaging, 0, D3D11_MAP_READ, 0, &mapped));
    m_pContext->Unmap(pStaging, 0);

    EXPECT_EQ(E_INVALIDARG, m_pContext->Map(pStaging, 0, D3D11_MAP_WRITE, 0, &mapped)); // no write access
    EXPECT_EQ(E_INVALIDARG, m_pContext->Map(pStaging, 1, D3D11_MAP_READ, 0, &mapped));  // no such subresource
    EXPECT_EQ(nullptr, mapped.pData);
    EXPECT_EQ(E_INVALIDARG, m_pContext->Map(pDefault, 0, D3D11_MAP_READ, 0, &mapped));
    EXPECT_EQ(E_INVALIDARG, m_pContext->Map(pDynamic, 0, D3D11_MAP_READ, 0, &mapped));
    ASSERT_EQ(S_OK, m_pContext->Map(pDynamic, 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped));
    std::memset(mapped.pData, 0xab, 64);
    m_pContext->Unmap(pDynamic, 0);
    EXPECT_EQ(std::vector<std::uint8_t>(64, 0xab), Read(pDynamic));

    D3D11Control::FailNext("Map", E_OUTOFMEMORY);
    EXPECT_EQ(E_OUTOFMEMORY, m_pContext->Map(pStaging, 0, D3D11_MAP_READ, 0, &mapped));
    Release(pStaging);
    Release(pDefault);
    Release(pDynamic);
}

TEST_F(D3D11Memory, UpdateSubresourceWritesTheBoxWithTheCallersPitch)
{
    ID3D11Texture2D* pTexture = MakeTexture(4, 4, DXGI_FORMAT_R8_UNORM, D3D11_USAGE_DEFAULT, 0);
    // Rows of the source lie 10 bytes apart; only the 2x3 box at (1, 1) changes.
    const std::vector<std::uint8_t> vSource = Ramp(30);
    const D3D11_BOX box{1, 1, 0, 3, 4, 1};
    m_pContext->UpdateSubresource(pTexture, 0, &box, vSource.data(), 10, 0);
    const std::vector<std::uint8_t> vData = Read(pTexture);
    const std::vector<std::uint8_t> vExpected = {0, 0,           0,           0, //
                                                 0, vSource[0],  vSource[1],  0, //
                                                 0, vSource[10], vSource[11], 0, //
                                                 0, vSource[20], vSource[21], 0};
    EXPECT_EQ(vExpected, vData);

    // A box past the edge, a staging target and a pitch shorter than a row are refused.
    const D3D11_BOX outside{3, 0, 0, 5, 1, 1};
    m_pContext->UpdateSubresource(pTexture, 0, &outside, vSource.data(), 10, 0);
    m_pContext->UpdateSubresource(pTexture, 0, nullptr, vSource.data(), 3, 0);
    ID3D11Texture2D* pStaging =
        MakeTexture(4, 4, DXGI_FORMAT_R8_UNORM, D3D11_USAGE_STAGING, D3D11_CPU_ACCESS_READ);
    m_pContext->UpdateSubresource(pStaging, 0, nullptr, vSource.data(), 4, 0);
    std::vector<HRESULT> vResults;
    for (const D3D11Control::CallRecord& record : Calls("UpdateSubresource"))
        vResults.push_back(record.Result);
    EXPECT_EQ((std::vector<HRESULT>{S_OK, E_INVALIDARG, E_INVALIDARG, E_INVALIDARG}), vResults);
    EXPECT_EQ(vExpected, Read(pTexture));
    Release(pTexture);
    Release(pStaging);
}

TEST_F(D3D11Memory, CopiesNeedMatchingShapesAndKeepToBlockEdges)
{
    const std::vector<std::uint8_t> vPixels = Ramp(8 * 8 * 4);
    ID3D11Texture2D* pSource =
        MakeTexture(8, 8, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_USAGE_DEFAULT, 0, vPixels.data(), 32);
    ID3D11Texture2D* pStaging =
        MakeTexture(8, 8, DXGI_FORMAT_R8G8B8A8_UNORM_SRGB, D3D11_USAGE_STAGING, D3D11_CPU_ACCESS_READ);
    m_pContext->CopyResource(pStaging, pSource); // same family: allowed
    EXPECT_EQ(vPixels, Read(pStaging));

    ID3D11Texture2D* pSmall = MakeTexture(4, 4, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_USAGE_DEFAULT, 0);
    ID3D11Texture2D* pFloat = MakeTexture(8, 8, DXGI_FORMAT_R32_FLOAT, D3D11_USAGE_DEFAULT, 0);
    m_pContext->CopyResource(pSmall, pSource);
    m_pContext->CopyResource(pFloat, pSource);
    EXPECT_EQ(3u, Calls("CopyResource").size());
    EXPECT_EQ(E_INVALIDARG, Calls("CopyResource")[1].Result);
    EXPECT_EQ(E_INVALIDARG, Calls("CopyResource")[2].Result);

    // The 2x2 block at (6, 6) of the source lands at (1, 2) of the small texture.
    const D3D11_BOX box{6, 6, 0, 8, 8, 1};
    m_pContext->CopySubresourceRegion(pSmall, 0, 1, 2, 0, pSource, 0, &box);
    const std::vector<std::uint8_t> vSmall = Read(pSmall);
    for (UINT y = 0; y < 2; ++y)
        for (UINT x = 0; x < 2; ++x)
            EXPECT_EQ(
                0, std::memcmp(&vSmall[(2 + y) * 16 + (1 + x) * 4], &vPixels[(6 + y) * 32 + (6 + x) * 4], 4));
    m_pContext->CopySubresourceRegion(pSmall, 0, 3, 3, 0, pSource, 0, &box); // would pass the edge
    EXPECT_EQ(E_INVALIDARG, Calls("CopySubresourceRegion").back().Result);

    // Block-compressed: boxes start on block edges.
    D3D11_TEXTURE2D_DESC bcDesc = TextureDesc(8, 8, DXGI_FORMAT_BC1_UNORM, D3D11_BIND_SHADER_RESOURCE);
    ID3D11Texture2D* pBc1 = nullptr;
    ID3D11Texture2D* pBc2 = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateTexture2D(&bcDesc, nullptr, &pBc1));
    ASSERT_EQ(S_OK, m_pDevice->CreateTexture2D(&bcDesc, nullptr, &pBc2));
    const D3D11_BOX aligned{4, 0, 0, 8, 4, 1};
    const D3D11_BOX unaligned{2, 0, 0, 6, 4, 1};
    m_pContext->CopySubresourceRegion(pBc2, 0, 0, 4, 0, pBc1, 0, &aligned);
    EXPECT_EQ(S_OK, Calls("CopySubresourceRegion").back().Result);
    m_pContext->CopySubresourceRegion(pBc2, 0, 0, 4, 0, pBc1, 0, &unaligned);
    EXPECT_EQ(E_INVALIDARG, Calls("CopySubresourceRegion").back().Result);

    for (ID3D11Texture2D* p : {pSource, pStaging, pSmall, pFloat, pBc1, pBc2})
        p->Release();
}
