#pragma once
// Description of a pooled buffer, the key of the resource manager's buffer table: element count
// and stride (the buffer holds count x stride bytes), usage and flags.

#include "platform/d3d11/d3d11.h"

#include <cstdint>

struct KR_BufferResourceDescription
{
    KR_BufferResourceDescription() = default;
    KR_BufferResourceDescription(std::uint32_t uiElementCount, std::uint32_t uiElementStride,
                                 D3D11_USAGE usage, std::uint32_t uiBindFlags, std::uint32_t uiMiscFlags,
                                 std::uint32_t uiCPUAccessFlags)
        : m_uiElementCount(uiElementCount), m_uiElementStride(uiElementStride), m_eUsage(usage),
          m_uiBindFlags(uiBindFlags), m_uiMiscFlags(uiMiscFlags), m_uiCPUAccessFlags(uiCPUAccessFlags)
    {
    }

    // Describes count elements of that stride into description; false, leaving it empty, for no
    // elements or when their bytes do not fit a buffer's 32-bit width.
    static bool Describe(KR_BufferResourceDescription& description, std::uint64_t uiCount,
                         std::uint32_t uiStride, D3D11_USAGE usage, std::uint32_t uiBindFlags,
                         std::uint32_t uiMiscFlags, std::uint32_t uiCPUAccessFlags)
    {
        description = KR_BufferResourceDescription();
        if (uiCount == 0 || uiCount * uiStride > UINT32_MAX)
            return false;
        description = KR_BufferResourceDescription(static_cast<std::uint32_t>(uiCount), uiStride, usage,
                                                   uiBindFlags, uiMiscFlags, uiCPUAccessFlags);
        return true;
    }

    bool operator==(const KR_BufferResourceDescription& other) const = default;

    std::uint32_t m_uiElementCount = 0;
    std::uint32_t m_uiElementStride = 0;
    D3D11_USAGE m_eUsage = D3D11_USAGE_DEFAULT;
    std::uint32_t m_uiBindFlags = 0;
    std::uint32_t m_uiMiscFlags = 0;
    std::uint32_t m_uiCPUAccessFlags = 0;
};
