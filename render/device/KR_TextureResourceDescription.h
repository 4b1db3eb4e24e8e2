#pragma once
// Description of a pooled texture, the key of the resource manager's texture table: two records
// are interchangeable when all ten fields are equal. Depth 0 means a 2-D texture.

#include "platform/d3d11/d3d11.h"

#include <cstdint>

struct KR_TextureResourceDescription
{
    KR_TextureResourceDescription() = default;
    KR_TextureResourceDescription(std::uint32_t uiWidth, std::uint32_t uiHeight, std::uint32_t uiDepth,
                                  std::uint32_t uiArraySize, std::uint32_t uiMipLevels, DXGI_FORMAT format,
                                  D3D11_USAGE usage, std::uint32_t uiBindFlags, std::uint32_t uiMiscFlags,
                                  std::uint32_t uiCPUAccessFlags)
        : m_uiWidth(uiWidth), m_uiHeight(uiHeight), m_uiDepth(uiDepth), m_uiArraySize(uiArraySize),
          m_uiMipLevels(uiMipLevels), m_eFormat(format), m_eUsage(usage), m_uiBindFlags(uiBindFlags),
          m_uiMiscFlags(uiMiscFlags), m_uiCPUAccessFlags(uiCPUAccessFlags)
    {
    }

    bool operator==(const KR_TextureResourceDescription& other) const = default;

    std::uint32_t m_uiWidth = 0;
    std::uint32_t m_uiHeight = 0;
    std::uint32_t m_uiDepth = 0;
    std::uint32_t m_uiArraySize = 1;
    std::uint32_t m_uiMipLevels = 1;
    DXGI_FORMAT m_eFormat = DXGI_FORMAT_UNKNOWN; // for the caller to set
    D3D11_USAGE m_eUsage = D3D11_USAGE_DEFAULT;
    std::uint32_t m_uiBindFlags = 0;
    std::uint32_t m_uiMiscFlags = 0;
    std::uint32_t m_uiCPUAccessFlags = 0;
};
