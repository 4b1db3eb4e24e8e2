#include "framework/core/KU_HashUtilities.h"

std::uint32_t KU_HashUtilities::HashFNV1a32(const std::uint8_t* pData, std::uint32_t uiLength)
{
    std::uint32_t uiHash = FNV_PRIME_32;
    if (pData == nullptr)
    {
        return uiHash;
    }
    for (std::uint32_t i = 0; i < uiLength; ++i)
    {
        uiHash = (uiHash ^ pData[i]) * FNV_PRIME_32;
    }
    return uiHash;
}

std::uint64_t KU_HashUtilities::HashFNV1a64(const std::uint8_t* pData, std::uint64_t uiLength)
{
    std::uint64_t uiHash = FNV_PRIME_64;
    if (pData == nullptr)
    {
        return uiHash;
    }
    for (std::uint64_t i = 0; i < uiLength; ++i)
    {
        uiHash = (uiHash ^ pData[i]) * FNV_PRIME_64;
    }
    return uiHash;
}
