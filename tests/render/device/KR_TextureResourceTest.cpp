#include "render/device/KR_TextureResource.h"

#include "platform/d3d11/D3D11Control.h"
#include "platform/d3d11/d3d11.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

// The description a view was made with.
template <typename Desc, typename View>
Desc DescOf(View* pView)
{
    Desc desc{};
    pView->GetDesc(&desc);
    return desc;
}

class KR_TextureResourceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        D3D11Control::Reset();
        ASSERT_EQ(S_OK, D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0,
                                          D3D11_SDK_VERSION, &m_pDevice, nullptr, nullptr));
    }
    void TearDown() override
    {
        m_texture.Release();
        if (m_pDevice != nullptr)
            m_pDevice->Release();
    }

    void Create(std::uint32_t uiDepth, std::uint32_t uiArraySize, std::uint32_t uiMips, DXGI_FORMAT format,
                std::uint32_t uiBindFlags, std::uint32_t uiMiscFlags = 0)
    {
        m_texture.m_oDescription = KR_TextureResourceDescription(
            16, 16, uiDepth, uiArraySize, uiMips, format, D3D11_USAGE_DEFAULT, uiBindFlags, uiMiscFlags, 0);
        m_texture.Create(m_pDevice);
    }

    ID3D11Device* m_pDevice = nullptr;
    KR_TextureResource m_texture;
};

// Each array slice gets its own render-target view; the shader and unordered-access views see
// the whole array.
TEST_F(KR_TextureResourceTest, ArraysAreViewedPerSliceForTargetsAndWholeForShaders)
{
    Create(0, 3, 2, DXGI_FORMAT_R8G8B8A8_UNORM,
           D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE | D3D11_BIND_UNORDERED_ACCESS);
    ASSERT_TRUE(m_texture.m_bCreated);
    ASSERT_NE(nullptr, m_texture.m_pTexture2D);
    ASSERT_EQ(3u, m_texture.m_vRenderTargetViews.size());
    for (UINT uiSlice = 0; uiSlice < 3; ++uiSlice)
    {
        ASSERT_NE(nullptr, m_texture.m_vRenderTargetViews[uiSlice]);
        const auto desc = DescOf<D3D11_RENDER_TARGET_VIEW_DESC>(m_texture.m_vRenderTargetViews[uiSlice]);
        EXPECT_EQ(D3D11_RTV_DIMENSION_TEXTURE2DARRAY, desc.ViewDimension);
        EXPECT_EQ(DXGI_FORMAT_R8G8B8A8_UNORM, desc.Format);
        EXPECT_EQ(uiSlice, desc.Texture2DArray.FirstArraySlice);
        EXPECT_EQ(1u, desc.Texture2DArray.ArraySize);
    }
    ASSERT_NE(nullptr, m_texture.m_pShaderResourceView);
    const auto srv = DescOf<D3D11_SHADER_RESOURCE_VIEW_DESC>(m_texture.m_pShaderResourceView);
    EXPECT_EQ(D3D11_SRV_DIMENSION_TEXTURE2DARRAY, srv.ViewDimension);
    EXPECT_EQ(2u, srv.Texture2DArray.MipLevels);
    EXPECT_EQ(0u, srv.Texture2DArray.FirstArraySlice);
    EXPECT_EQ(3u, srv.Texture2DArray.ArraySize);
    ASSERT_NE(nullptr, m_texture.m_pUnorderedAccessView);
    const auto uav = DescOf<D3D11_UNORDERED_ACCESS_VIEW_DESC>(m_texture.m_pUnorderedAccessView);
    EXPECT_EQ(D3D11_UAV_DIMENSION_TEXTURE2DARRAY, uav.ViewDimension);
    EXPECT_EQ(3u, uav.Texture2DArray.ArraySize);
    EXPECT_TRUE(m_texture.m_vDepthStencilViews.empty());
}

TEST_F(KR_TextureResourceTest, DepthBuffersGetOneViewPerSlice)
{
    for (const UINT uiArraySize : {1u, 2u})
    {
        Create(0, uiArraySize, 1, DXGI_FORMAT_D24_UNORM_S8_UINT, D3D11_BIND_DEPTH_STENCIL);
        ASSERT_TRUE(m_texture.m_bCreated) << uiArraySize;
        ASSERT_EQ(uiArraySize, m_texture.m_vDepthStencilViews.size());
        for (UINT uiSlice = 0; uiSlice < uiArraySize; ++uiSlice)
        {
            ASSERT_NE(nullptr, m_texture.m_vDepthStencilViews[uiSlice]);
            const auto desc = DescOf<D3D11_DEPTH_STENCIL_VIEW_DESC>(m_texture.m_vDepthStencilViews[uiSlice]);
            if (uiArraySize == 1)
            {
                EXPECT_EQ(D3D11_DSV_DIMENSION_TEXTURE2D, desc.ViewDimension);
                continue;
            }
            EXPECT_EQ(D3D11_DSV_DIMENSION_TEXTURE2DARRAY, desc.ViewDimension);
            EXPECT_EQ(uiSlice, desc.Texture2DArray.FirstArraySlice);
            EXPECT_EQ(1u, desc.Texture2DArray.ArraySize);
        }
        EXPECT_TRUE(m_texture.m_vRenderTargetViews.empty());
        EXPECT_EQ(nullptr, m_texture.m_pShaderResourceView);
    }
}

// A cube is read as a cube with every mip level; its faces are render targets one by one.
TEST_F(KR_TextureResourceTest, CubesAreReadAsCubesWithEveryLevel)
{
    Create(0, 6, 3, DXGI_FORMAT_R16G16B16A16_FLOAT, D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE,
           D3D11_RESOURCE_MISC_TEXTURECUBE);
    ASSERT_TRUE(m_texture.m_bCreated);
    EXPECT_EQ(6u, m_texture.m_vRenderTargetViews.size());
    ASSERT_NE(nullptr, m_texture.m_pShaderResourceView);
    const auto srv = DescOf<D3D11_SHADER_RESOURCE_VIEW_DESC>(m_texture.m_pShaderResourceView);
    EXPECT_EQ(D3D11_SRV_DIMENSION_TEXTURECUBE, srv.ViewDimension);
    EXPECT_EQ(0u, srv.TextureCube.MostDetailedMip);
    EXPECT_EQ(3u, srv.TextureCube.MipLevels);
}

// A volume is one render target over all its depth; as a depth buffer it keeps nothing.
TEST_F(KR_TextureResourceTest, VolumesAreViewedWholeAndCannotBeDepthBuffers)
{
    Create(4, 1, 1, DXGI_FORMAT_R8G8B8A8_UNORM,
           D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE | D3D11_BIND_UNORDERED_ACCESS);
    ASSERT_TRUE(m_texture.m_bCreated);
    ASSERT_NE(nullptr, m_texture.m_pTexture3D);
    EXPECT_EQ(nullptr, m_texture.m_pTexture2D);
    ASSERT_EQ(1u, m_texture.m_vRenderTargetViews.size());
    const auto rtv = DescOf<D3D11_RENDER_TARGET_VIEW_DESC>(m_texture.m_vRenderTargetViews[0]);
    EXPECT_EQ(D3D11_RTV_DIMENSION_TEXTURE3D, rtv.ViewDimension);
    EXPECT_EQ(4u, rtv.Texture3D.WSize);
    const auto srv = DescOf<D3D11_SHADER_RESOURCE_VIEW_DESC>(m_texture.m_pShaderResourceView);
    EXPECT_EQ(D3D11_SRV_DIMENSION_TEXTURE3D, srv.ViewDimension);
    const auto uav = DescOf<D3D11_UNORDERED_ACCESS_VIEW_DESC>(m_texture.m_pUnorderedAccessView);
    EXPECT_EQ(D3D11_UAV_DIMENSION_TEXTURE3D, uav.ViewDimension);
    EXPECT_EQ(4u, uav.Texture3D.WSize);

    Create(4, 1, 1, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_BIND_RENDER_TARGET | D3D11_BIND_DEPTH_STENCIL);
    EXPECT_FALSE(m_texture.m_bCreated);
    EXPECT_EQ(nullptr, m_texture.m_pTexture3D);
    EXPECT_TRUE(m_texture.m_vRenderTargetViews.empty());
    EXPECT_TRUE(m_texture.m_vDepthStencilViews.empty());
}

TEST_F(KR_TextureResourceTest, NoDeviceOrNoTextureMakesNothing)
{
    Create(0, 1, 1, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_BIND_RENDER_TARGET);
    ASSERT_TRUE(m_texture.m_bCreated);
    m_texture.Create(nullptr);
    EXPECT_FALSE(m_texture.m_bCreated);
    EXPECT_TRUE(m_texture.m_vRenderTargetViews.empty());

    const std::uint64_t uiViews = D3D11Control::GetCallCount("CreateRenderTargetView");
    D3D11Control::FailNext("CreateTexture2D");
    Create(0, 1, 1, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_BIND_RENDER_TARGET);
    EXPECT_FALSE(m_texture.m_bCreated);
    EXPECT_EQ(uiViews, D3D11Control::GetCallCount("CreateRenderTargetView"));
}

} // namespace
