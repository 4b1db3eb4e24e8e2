#include "framework/files/KF_Zipper.h"

#include <zlib.h>

#include <climits>
#include <cstring>
#include <new>

namespace
{

// The archive format names this zlib version; any 1.x library accepts it.
constexpr const char* ZLIB_STREAM_VERSION = "1.2.8";
constexpr int COMPRESSION_LEVEL = 9;
// zlib counts in 32-bit units; larger buffers are handed over in windows of this size.
constexpr std::uint64_t ZLIB_WINDOW = 0x40000000u;
// Deflate never expands more than this factor (a run of 258-byte matches at one bit each).
constexpr std::uint64_t MAX_INFLATE_RATIO = 1032;
constexpr std::uint64_t MAX_INFLATE_SLACK = 1024;

uInt NextWindow(std::uint64_t remaining)
{
    return static_cast<uInt>(remaining < ZLIB_WINDOW ? remaining : ZLIB_WINDOW);
}

void WriteU32(std::uint8_t* pTarget, std::uint32_t value)
{
    pTarget[0] = static_cast<std::uint8_t>(value);
    pTarget[1] = static_cast<std::uint8_t>(value >> 8);
    pTarget[2] = static_cast<std::uint8_t>(value >> 16);
    pTarget[3] = static_cast<std::uint8_t>(value >> 24);
}

std::uint32_t ReadU32(const std::uint8_t* pSource)
{
    return static_cast<std::uint32_t>(pSource[0]) | (static_cast<std::uint32_t>(pSource[1]) << 8) |
           (static_cast<std::uint32_t>(pSource[2]) << 16) | (static_cast<std::uint32_t>(pSource[3]) << 24);
}

} // namespace

std::uint64_t KF_Zipper::GetMaxUncompressedSize(std::uint64_t storedSize)
{
    if (storedSize <= PREFIX_SIZE)
        return 0;
    const std::uint64_t streamSize = storedSize - PREFIX_SIZE;
    if (streamSize > (UINT64_MAX - MAX_INFLATE_SLACK) / MAX_INFLATE_RATIO)
        return UINT64_MAX;
    return streamSize * MAX_INFLATE_RATIO + MAX_INFLATE_SLACK;
}

bool KF_Zipper::Compress(const std::uint8_t* pSource, std::uint64_t size, std::uint8_t** ppData,
                         std::uint64_t* pSize)
{
    if (ppData == nullptr || pSize == nullptr)
        return false;
    *ppData = nullptr;
    *pSize = 0;
    if ((pSource == nullptr && size > 0) || size > UINT32_MAX)
        return false;

    z_stream stream;
    std::memset(&stream, 0, sizeof(stream));
    if (deflateInit_(&stream, COMPRESSION_LEVEL, ZLIB_STREAM_VERSION, static_cast<int>(sizeof(z_stream))) !=
        Z_OK)
    {
        return false;
    }
    // One buffer large enough for the whole stream; it grows only if zlib's bound was short.
    std::uint64_t capacity = PREFIX_SIZE + deflateBound(&stream, static_cast<uLong>(size));
    std::uint8_t* pBuffer = new (std::nothrow) std::uint8_t[capacity];
    if (pBuffer == nullptr)
    {
        deflateEnd(&stream);
        return false;
    }

    stream.next_in = const_cast<Bytef*>(pSource);
    std::uint64_t inputLeft = size;
    std::uint64_t produced = 0;
    int status = Z_OK;
    while (status == Z_OK)
    {
        if (stream.avail_in == 0)
        {
            stream.avail_in = NextWindow(inputLeft);
            inputLeft -= stream.avail_in;
        }
        if (PREFIX_SIZE + produced == capacity)
        {
            const std::uint64_t grown = capacity + 0x40000u;
            std::uint8_t* pGrown = new (std::nothrow) std::uint8_t[grown];
            if (pGrown == nullptr)
            {
                status = Z_MEM_ERROR;
                break;
            }
            std::memcpy(pGrown, pBuffer, capacity);
            delete[] pBuffer;
            pBuffer = pGrown;
            capacity = grown;
        }
        const std::uint64_t outputLeft = capacity - PREFIX_SIZE - produced;
        stream.next_out = pBuffer + PREFIX_SIZE + produced;
        stream.avail_out = NextWindow(outputLeft);
        const uInt offered = stream.avail_out;
        status = deflate(&stream, inputLeft == 0 ? Z_FINISH : Z_NO_FLUSH);
        produced += offered - stream.avail_out;
    }
    deflateEnd(&stream);
    if (status != Z_STREAM_END)
    {
        delete[] pBuffer;
        return false;
    }

    // Keep only what was produced: the bound can be far larger than a well-compressed result.
    const std::uint64_t total = PREFIX_SIZE + produced;
    std::uint8_t* pResult = new (std::nothrow) std::uint8_t[total];
    if (pResult == nullptr)
    {
        delete[] pBuffer;
        return false;
    }
    std::memcpy(pResult, pBuffer, total);
    delete[] pBuffer;
    WriteU32(pResult, static_cast<std::uint32_t>(size));
    *ppData = pResult;
    *pSize = total;
    return true;
}

bool KF_Zipper::Decompress(const std::uint8_t* pData, std::uint8_t** ppData, std::uint64_t* pSize,
                           std::uint64_t storedSize)
{
    if (ppData == nullptr || pSize == nullptr)
        return false;
    *ppData = nullptr;
    if (pData == nullptr || storedSize <= PREFIX_SIZE)
        return false;
    const std::uint64_t announced = ReadU32(pData);
    if (announced > GetMaxUncompressedSize(storedSize))
        return false;
    std::uint8_t* pBuffer = new (std::nothrow) std::uint8_t[announced + 1];
    if (pBuffer == nullptr)
        return false;

    z_stream stream;
    std::memset(&stream, 0, sizeof(stream));
    if (inflateInit_(&stream, ZLIB_STREAM_VERSION, static_cast<int>(sizeof(z_stream))) != Z_OK)
    {
        delete[] pBuffer;
        return false;
    }
    stream.next_in = const_cast<Bytef*>(pData + PREFIX_SIZE);
    stream.next_out = pBuffer;
    std::uint64_t inputLeft = storedSize - PREFIX_SIZE;
    // One byte more than announced is offered, so a stream that is too long is seen producing it.
    std::uint64_t outputLeft = announced + 1;
    int status = Z_OK;
    while (status == Z_OK)
    {
        if (stream.avail_in == 0)
        {
            stream.avail_in = NextWindow(inputLeft);
            inputLeft -= stream.avail_in;
        }
        if (stream.avail_out == 0)
        {
            stream.avail_out = NextWindow(outputLeft);
            outputLeft -= stream.avail_out;
        }
        // Without progress zlib answers Z_BUF_ERROR, which ends the loop: no hang on a short stream.
        status = inflate(&stream, Z_NO_FLUSH);
    }
    const bool consumedAll = inputLeft == 0 && stream.avail_in == 0;
    const bool exactSize = static_cast<std::uint64_t>(stream.total_out) == announced;
    inflateEnd(&stream);
    if (status != Z_STREAM_END || !consumedAll || !exactSize)
    {
        delete[] pBuffer;
        return false;
    }
    pBuffer[announced] = 0;
    *ppData = pBuffer;
    *pSize = announced;
    return true;
}
