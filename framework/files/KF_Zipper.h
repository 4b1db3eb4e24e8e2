#pragma once
// Compression of the data archive's packed entries: one zlib stream at level 9 behind a u32
// little-endian prefix that holds the uncompressed size. Static only; any thread.
//
// Buffers handed out are allocated with new[] and released by the caller with delete[].
// Does NOT stream: the whole input and the whole output are in memory at once.

#include <cstdint>

class KF_Zipper
{
public:
    KF_Zipper() = delete;

    // Prefix, then the zlib stream of size bytes of pSource. Inputs of 4 GiB or more do not fit
    // the prefix and fail. On success *ppData holds *pSize bytes (at least 4); on failure
    // *ppData is null and *pSize 0.
    static bool Compress(const std::uint8_t* pSource, std::uint64_t size, std::uint8_t** ppData,
                         std::uint64_t* pSize);
    // Reads storedSize bytes of pData (prefix and stream). The stream must end exactly at the end
    // of the input and give exactly the announced size; the announced size must also be within
    // what zlib can expand the input to, so a damaged prefix never causes a huge allocation.
    // On success *ppData holds *pSize bytes followed by one NUL; on failure *ppData is null.
    static bool Decompress(const std::uint8_t* pData, std::uint8_t** ppData, std::uint64_t* pSize,
                           std::uint64_t storedSize);

    // Size of the prefix that precedes the zlib stream.
    static constexpr std::uint64_t PREFIX_SIZE = 4;
    // The largest uncompressed size that storedSize bytes can announce without being damaged.
    static std::uint64_t GetMaxUncompressedSize(std::uint64_t storedSize);
};
