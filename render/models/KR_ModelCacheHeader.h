#pragma once
// The first 20 bytes of a model cache file: u32 version (3), then the source model file's u64
// last-write time and u64 content hash as the repositories reported them when the cache was
// written. Little-endian, packed. The model record follows it to the end of the file.

#include <cstdint>

struct KR_ModelCacheHeader
{
    static constexpr std::uint32_t VERSION = 3;
    static constexpr std::uint64_t SIZE = 20;

    // False, changing nothing, when fewer than 20 bytes are given.
    bool Read(const std::uint8_t* pData, std::uint64_t uiSize);
    // Writes the 20 bytes at *ppCursor within uiCapacity - *pWritten and advances both; false,
    // moving nothing, when they do not fit.
    bool Write(std::uint8_t** ppCursor, std::uint64_t uiCapacity, std::uint64_t* pWritten) const;

    std::uint32_t m_uiVersion = VERSION;
    std::uint64_t m_uiSourceTime = 0;
    std::uint64_t m_uiSourceHash = 0;
};
