#include "framework/core/KU_HashUtilities.h"

namespace
{

// h = uiPrime; per byte h = (h ^ byte) * uiPrime in the width of T. A null pData hashes no bytes.
template <typename T>
T HashFNV1a(const std::uint8_t* pData, std::uint64_t uiLength, T uiPrime)
{
    T uiHash = uiPrime;
    if (pData == nullptr)
        return uiHash;
    for (std::uint64_t i = 0; i < uiLength; ++i)
        uiHash = static_cast<T>((uiHash ^ pData[i]) * uiPrime);
    return uiHash;
}

} // namespace

std::uint32_t KU_HashUtilities::HashFNV1a32(const std::uint8_t* pData, std::uint32_t uiLength)
{
    return HashFNV1a(pData, uiLength, FNV_PRIME_32);
}

std::uint64_t KU_HashUtilities::HashFNV1a64(const std::uint8_t* pData, std::uint64_t uiLength)
{
    return HashFNV1a(pData, uiLength, FNV_PRIME_64);
}
