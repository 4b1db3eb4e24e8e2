#include "render/models/KR_ModelCacheHeader.h"

#include "framework/core/KB_ByteCursor.h"

bool KR_ModelCacheHeader::Read(const std::uint8_t* pData, std::uint64_t uiSize)
{
    if (pData == nullptr || uiSize < SIZE)
        return false;
    KB_ByteReader reader(pData, SIZE);
    KR_ModelCacheHeader header;
    reader.ReadU32(&header.m_uiVersion);
    reader.ReadU64(&header.m_uiSourceTime);
    reader.ReadU64(&header.m_uiSourceHash);
    if (!reader.IsOk())
        return false;
    *this = header;
    return true;
}

bool KR_ModelCacheHeader::Write(std::uint8_t** ppCursor, std::uint64_t uiCapacity,
                                std::uint64_t* pWritten) const
{
    if (ppCursor == nullptr || *ppCursor == nullptr || pWritten == nullptr || *pWritten > uiCapacity ||
        uiCapacity - *pWritten < SIZE)
    {
        return false;
    }
    KB_ByteWriter writer(*ppCursor, SIZE);
    writer.WriteU32(m_uiVersion);
    writer.WriteU64(m_uiSourceTime);
    writer.WriteU64(m_uiSourceHash);
    if (!writer.IsOk())
        return false;
    *ppCursor += SIZE;
    *pWritten += SIZE;
    return true;
}
