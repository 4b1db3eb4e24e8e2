#pragma once
// FNV-1a style hashes that start from the FNV prime instead of the offset basis: the 32-bit one
// for names, the 64-bit one for file contents (repository hashes, cache source stamps). The
// values are stored in files, so the start values must not change. Static only; any thread.

#include <cstdint>

class KU_HashUtilities
{
public:
    static constexpr std::uint32_t FNV_PRIME_32 = 16777619u;
    static constexpr std::uint64_t FNV_PRIME_64 = 0x100000001b3ull;

    KU_HashUtilities() = delete;

    // h = 16777619; per byte h = (h ^ byte) * 16777619 mod 2^32. No bytes give 16777619.
    static std::uint32_t HashFNV1a32(const std::uint8_t* pData, std::uint32_t uiLength);
    // The same with 0x100000001b3 as start value and multiplier, mod 2^64.
    static std::uint64_t HashFNV1a64(const std::uint8_t* pData, std::uint64_t uiLength);
};
