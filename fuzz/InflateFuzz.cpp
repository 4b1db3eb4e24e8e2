// Fuzzes inflating an archive entry: the bytes are a stored payload (size prefix and zlib stream)
// for KF_Zipper::Decompress. What inflates must compress and inflate back to the same bytes.

#include "framework/files/KF_Zipper.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize)
{
    std::uint8_t* pInflated = nullptr;
    std::uint64_t uiInflated = 0;
    if (!KF_Zipper::Decompress(pData, &pInflated, &uiInflated, uiSize))
    {
        if (pInflated != nullptr)
            __builtin_trap(); // a failure hands out no buffer
        return 0;
    }
    if (uiInflated > KF_Zipper::GetMaxUncompressedSize(uiSize) || pInflated[uiInflated] != 0)
        __builtin_trap();

    std::uint8_t* pPacked = nullptr;
    std::uint64_t uiPacked = 0;
    if (KF_Zipper::Compress(pInflated, uiInflated, &pPacked, &uiPacked))
    {
        std::uint8_t* pAgain = nullptr;
        std::uint64_t uiAgain = 0;
        if (!KF_Zipper::Decompress(pPacked, &pAgain, &uiAgain, uiPacked) || uiAgain != uiInflated ||
            std::memcmp(pAgain, pInflated, uiInflated) != 0)
        {
            __builtin_trap();
        }
        delete[] pAgain;
        delete[] pPacked;
    }
    delete[] pInflated;
    return 0;
}
