#include "render/device/KR_Texture3DBuilder.h"

#include "platform/d3dx11/d3dx11.h"
#include "render/device/KR_ReleaseAndNull.h"

#include <cstring>
#include <memory>
#include <new>

namespace
{

// The image decoded into a CPU-readable staging texture of its own format, one mip level;
// *pInfo (the image information) is filled again by the decoder. Null on failure.
ID3D11Resource* CreateStagingTexture(ID3D11Device* pDevice, const std::uint8_t* pData, std::uint64_t uiSize,
                                     D3DX11_IMAGE_INFO* pInfo)
{
    D3DX11_IMAGE_LOAD_INFO load;
    load.Width = D3DX11_DEFAULT;
    load.Height = D3DX11_DEFAULT;
    load.Depth = D3DX11_DEFAULT;
    load.FirstMipLevel = 0;
    load.MipLevels = 1;
    load.Usage = D3D11_USAGE_STAGING;
    load.BindFlags = 0;
    load.CpuAccessFlags = D3D11_CPU_ACCESS_READ;
    load.MiscFlags = 0;
    load.Format = pInfo->Format;
    load.Filter = D3DX11_DEFAULT;
    load.MipFilter = D3DX11_DEFAULT;
    load.pSrcInfo = pInfo;
    ID3D11Resource* pStaging = nullptr;
    if (FAILED(D3DX11CreateTextureFromMemory(pDevice, pData, uiSize, &load, nullptr, &pStaging, nullptr)) ||
        pStaging == nullptr)
    {
        return nullptr;
    }
    return pStaging;
}

// A new texture as desc describes, filled from initial, and a view of all of it (the view keeps
// the texture); null on failure.
ID3D11ShaderResourceView* CreateVolumeView(ID3D11Device* pDevice, const D3D11_TEXTURE3D_DESC& desc,
                                           const D3D11_SUBRESOURCE_DATA& initial)
{
    ID3D11Texture3D* pTexture = nullptr;
    if (FAILED(pDevice->CreateTexture3D(&desc, &initial, &pTexture)) || pTexture == nullptr)
        return nullptr;

    D3D11_SHADER_RESOURCE_VIEW_DESC viewDesc{};
    viewDesc.Format = desc.Format;
    viewDesc.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE3D;
    viewDesc.Texture3D.MostDetailedMip = 0;
    viewDesc.Texture3D.MipLevels = 1;
    ID3D11ShaderResourceView* pView = nullptr;
    if (FAILED(pDevice->CreateShaderResourceView(pTexture, &viewDesc, &pView)))
        pView = nullptr;
    KR_ReleaseAndNull(pTexture); // the view keeps the texture
    return pView;
}

} // namespace

std::uint32_t KR_Texture3DBuilder::GetBytesPerPixel(DXGI_FORMAT format)
{
    const int iFormat = static_cast<int>(format);
    if (iFormat >= 1 && iFormat <= 4)
        return 16;
    if (iFormat >= 5 && iFormat <= 8)
        return 12;
    if (iFormat >= 9 && iFormat <= 22)
        return 8;
    if ((iFormat >= 23 && iFormat <= 47) || iFormat == 67 || (iFormat >= 87 && iFormat <= 93))
        return 4;
    if ((iFormat >= 48 && iFormat <= 59) || iFormat == 85 || iFormat == 86)
        return 2;
    if (iFormat >= 60 && iFormat <= 65)
        return 1;
    return 0; // R1, the packed pairs, block compression, unknown
}

ID3D11ShaderResourceView* KR_Texture3DBuilder::Create(ID3D11Device* pDevice, ID3D11DeviceContext* pContext,
                                                      const std::uint8_t* pData, std::uint64_t uiSize,
                                                      std::uint32_t uiTilesAcross, std::uint32_t uiTilesDown)
{
    if (pDevice == nullptr || pContext == nullptr || pData == nullptr || uiSize == 0 || uiTilesAcross == 0 ||
        uiTilesDown == 0)
    {
        return nullptr;
    }
    D3DX11_IMAGE_INFO info{};
    if (FAILED(D3DX11GetImageInfoFromMemory(pData, uiSize, nullptr, &info, nullptr)))
        return nullptr;
    const std::uint32_t uiPixelBytes = GetBytesPerPixel(info.Format);
    if (uiPixelBytes == 0 || info.Width < uiTilesAcross || info.Height < uiTilesDown)
        return nullptr;
    const std::uint64_t uiDepth = static_cast<std::uint64_t>(uiTilesAcross) * uiTilesDown;
    if (uiDepth > D3D11_REQ_TEXTURE3D_U_V_OR_W_DIMENSION)
        return nullptr;

    ID3D11Resource* pStaging = CreateStagingTexture(pDevice, pData, uiSize, &info);
    if (pStaging == nullptr)
        return nullptr;

    const std::uint32_t uiTileWidth = info.Width / uiTilesAcross;
    const std::uint32_t uiTileHeight = info.Height / uiTilesDown;
    const std::uint64_t uiTileRowBytes = static_cast<std::uint64_t>(uiTileWidth) * uiPixelBytes;
    const std::uint64_t uiSliceBytes = uiTileRowBytes * uiTileHeight;
    std::unique_ptr<std::uint8_t[]> pSlices(new (std::nothrow) std::uint8_t[uiSliceBytes * uiDepth]);
    D3D11_MAPPED_SUBRESOURCE mapped{};
    bool bCopied = false;
    if (pSlices != nullptr && SUCCEEDED(pContext->Map(pStaging, 0, D3D11_MAP_READ, 0, &mapped)))
    {
        // The row pitch must hold a whole row of the format's pixels, or the image is not what
        // the information said.
        if (mapped.pData != nullptr && static_cast<std::uint64_t>(mapped.RowPitch) >=
                                           static_cast<std::uint64_t>(info.Width) * uiPixelBytes)
        {
            const auto* pSource = static_cast<const std::uint8_t*>(mapped.pData);
            for (std::uint64_t z = 0; z < uiDepth; ++z)
            {
                const std::uint64_t uiTileRow = z / uiTilesAcross;
                const std::uint64_t uiTileColumn = z % uiTilesAcross;
                for (std::uint32_t y = 0; y < uiTileHeight; ++y)
                {
                    const std::uint64_t uiSourceRow = uiTileRow * uiTileHeight + y;
                    std::memcpy(pSlices.get() + z * uiSliceBytes + y * uiTileRowBytes,
                                pSource + uiSourceRow * mapped.RowPitch + uiTileColumn * uiTileRowBytes,
                                uiTileRowBytes);
                }
            }
            bCopied = true;
        }
        pContext->Unmap(pStaging, 0);
    }
    pStaging->Release();
    if (!bCopied)
        return nullptr;

    D3D11_TEXTURE3D_DESC desc{};
    desc.Width = uiTileWidth;
    desc.Height = uiTileHeight;
    desc.Depth = static_cast<UINT>(uiDepth);
    desc.MipLevels = 1;
    desc.Format = info.Format;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    D3D11_SUBRESOURCE_DATA initial{};
    initial.pSysMem = pSlices.get();
    initial.SysMemPitch = static_cast<UINT>(uiTileRowBytes);
    initial.SysMemSlicePitch = static_cast<UINT>(uiSliceBytes);
    return CreateVolumeView(pDevice, desc, initial);
}
