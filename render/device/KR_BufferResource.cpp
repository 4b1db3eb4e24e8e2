#include "render/device/KR_BufferResource.h"

#include "render/device/KR_ReleaseAndNull.h"

#include <cstdint>

void KR_BufferResource::Release()
{
    KR_ReleaseAndNull(m_pBuffer);
    KR_ReleaseAndNull(m_pUnordererAccessView);
    KR_ReleaseAndNull(m_pShaderResourceView);
    m_bCreated = false;
}

void KR_BufferResource::Create(ID3D11Device* pDevice)
{
    Release();
    const KR_BufferResourceDescription& d = m_oDescription;
    const std::uint64_t uiBytes = std::uint64_t{d.m_uiElementCount} * d.m_uiElementStride;
    if (pDevice == nullptr || uiBytes > UINT32_MAX)
        return;
    const D3D11_BUFFER_DESC desc{static_cast<UINT>(uiBytes), d.m_eUsage,      d.m_uiBindFlags,
                                 d.m_uiCPUAccessFlags,       d.m_uiMiscFlags, d.m_uiElementStride};
    pDevice->CreateBuffer(&desc, nullptr, &m_pBuffer);
    if (m_pBuffer == nullptr)
        return;
    m_bCreated = true;
    const bool bStructured = (d.m_uiMiscFlags & D3D11_RESOURCE_MISC_BUFFER_STRUCTURED) != 0;
    const bool bRaw = (d.m_uiMiscFlags & D3D11_RESOURCE_MISC_BUFFER_ALLOW_RAW_VIEWS) != 0;

    if ((d.m_uiBindFlags & D3D11_BIND_UNORDERED_ACCESS) != 0)
    {
        D3D11_UNORDERED_ACCESS_VIEW_DESC uav{};
        uav.ViewDimension = D3D11_UAV_DIMENSION_BUFFER;
        uav.Format = DXGI_FORMAT_UNKNOWN;
        uav.Buffer = {0, d.m_uiElementCount, 0};
        if (bStructured)
        {
            uav.Buffer.Flags = D3D11_BUFFER_UAV_FLAG_COUNTER;
        }
        else if (bRaw)
        {
            uav.Format = DXGI_FORMAT_R32_TYPELESS;
            uav.Buffer.Flags = D3D11_BUFFER_UAV_FLAG_RAW;
        }
        pDevice->CreateUnorderedAccessView(m_pBuffer, &uav, &m_pUnordererAccessView);
    }

    if ((d.m_uiBindFlags & D3D11_BIND_SHADER_RESOURCE) != 0)
    {
        D3D11_SHADER_RESOURCE_VIEW_DESC srv{};
        if (bStructured)
        {
            srv.Format = DXGI_FORMAT_UNKNOWN;
            srv.ViewDimension = D3D11_SRV_DIMENSION_BUFFER;
            srv.Buffer.FirstElement = 0;
            srv.Buffer.NumElements = d.m_uiElementCount;
            pDevice->CreateShaderResourceView(m_pBuffer, &srv, &m_pShaderResourceView);
        }
        else if (bRaw)
        {
            srv.Format = DXGI_FORMAT_R32_TYPELESS;
            srv.ViewDimension = D3D11_SRV_DIMENSION_BUFFEREX;
            srv.BufferEx = {0, d.m_uiElementCount, D3D11_BUFFEREX_SRV_FLAG_RAW};
            pDevice->CreateShaderResourceView(m_pBuffer, &srv, &m_pShaderResourceView);
        }
    }
}
