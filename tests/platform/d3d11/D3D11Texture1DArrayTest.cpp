#include "tests/platform/d3d11/D3D11TestFixture.h"

#include <cstring>
#include <vector>

using D3D11Texture1DArray = D3D11Fixture;

TEST_F(D3D11Texture1DArray, SlicesKeepTheirInitialDataAndArrayViewsCheckTheirRange)
{
    CreateDevice();
    constexpr UINT WIDTH = 8192;
    const D3D11_TEXTURE1D_DESC desc{
        WIDTH, 1, 2, DXGI_FORMAT_R32G32B32A32_FLOAT, D3D11_USAGE_DEFAULT, D3D11_BIND_SHADER_RESOURCE, 0, 0};
    std::vector<float> vSlice0(WIDTH * 4, 0.25f);
    std::vector<float> vSlice1(WIDTH * 4);
    for (std::size_t i = 0; i < vSlice1.size(); ++i)
        vSlice1[i] = static_cast<float>(i);
    const UINT uiPitch = WIDTH * 16;
    const D3D11_SUBRESOURCE_DATA aInit[2] = {{vSlice0.data(), uiPitch, uiPitch},
                                             {vSlice1.data(), uiPitch, uiPitch}};
    ID3D11Texture1D* pTexture = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateTexture1D(&desc, aInit, &pTexture));

    // One subresource per slice (one mip each), in slice order.
    std::vector<std::uint8_t> vData;
    UINT uiRowPitch = 0;
    ASSERT_TRUE(D3D11Control::ReadSubresource(pTexture, 1, &vData, &uiRowPitch));
    EXPECT_EQ(uiPitch, uiRowPitch);
    ASSERT_EQ(vSlice1.size() * sizeof(float), vData.size());
    EXPECT_EQ(0, std::memcmp(vSlice1.data(), vData.data(), vData.size()));
    ASSERT_TRUE(D3D11Control::ReadSubresource(pTexture, 0, &vData));
    EXPECT_EQ(0, std::memcmp(vSlice0.data(), vData.data(), vData.size()));
    EXPECT_FALSE(D3D11Control::ReadSubresource(pTexture, 2, &vData));

    D3D11_SHADER_RESOURCE_VIEW_DESC viewDesc{};
    viewDesc.Format = DXGI_FORMAT_R32G32B32A32_FLOAT;
    viewDesc.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE1DARRAY;
    viewDesc.Texture1DArray = {0, 1, 0, 2};
    ID3D11ShaderResourceView* pView = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateShaderResourceView(pTexture, &viewDesc, &pView));
    D3D11_SHADER_RESOURCE_VIEW_DESC got{};
    pView->GetDesc(&got);
    EXPECT_EQ(D3D11_SRV_DIMENSION_TEXTURE1DARRAY, got.ViewDimension);
    EXPECT_EQ(2u, got.Texture1DArray.ArraySize);
    pView->Release();

    // A slice past the end, a second mip and a 2-D dimension are refused.
    viewDesc.Texture1DArray = {0, 1, 1, 2};
    EXPECT_EQ(E_INVALIDARG, m_pDevice->CreateShaderResourceView(pTexture, &viewDesc, &pView));
    viewDesc.Texture1DArray = {1, 1, 0, 2};
    EXPECT_EQ(E_INVALIDARG, m_pDevice->CreateShaderResourceView(pTexture, &viewDesc, &pView));
    viewDesc.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2DARRAY;
    viewDesc.Texture2DArray = {0, 1, 0, 2};
    EXPECT_EQ(E_INVALIDARG, m_pDevice->CreateShaderResourceView(pTexture, &viewDesc, &pView));
    EXPECT_EQ(nullptr, pView);
    pTexture->Release();
}
