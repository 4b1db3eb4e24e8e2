#include "framework/core/KB_ByteCursor.h"

#include <bit>
#include <cstring>

KB_ByteWriter::KB_ByteWriter(std::uint8_t* pBuffer, std::uint64_t capacity)
    : m_pBuffer(pBuffer), m_uiCapacity(pBuffer != nullptr ? capacity : 0)
{
}

bool KB_ByteWriter::Reserve(std::uint64_t size)
{
    if (m_bFailed || size > m_uiCapacity - m_uiWritten)
    {
        m_bFailed = true;
        return false;
    }
    return true;
}

bool KB_ByteWriter::WriteLittleEndian(std::uint64_t value, std::uint32_t bytes)
{
    if (!Reserve(bytes))
        return false;
    std::uint8_t* pOut = m_pBuffer + m_uiWritten;
    for (std::uint32_t i = 0; i < bytes; ++i)
        pOut[i] = static_cast<std::uint8_t>(value >> (8 * i));
    m_uiWritten += bytes;
    return true;
}

bool KB_ByteWriter::WriteBytes(const void* pData, std::uint64_t size)
{
    if (!Reserve(size))
        return false;
    if (size != 0)
        std::memcpy(m_pBuffer + m_uiWritten, pData, static_cast<std::size_t>(size));
    m_uiWritten += size;
    return true;
}

bool KB_ByteWriter::WriteU8(std::uint8_t value)
{
    return WriteLittleEndian(value, 1);
}

bool KB_ByteWriter::WriteU16(std::uint16_t value)
{
    return WriteLittleEndian(value, 2);
}

bool KB_ByteWriter::WriteU32(std::uint32_t value)
{
    return WriteLittleEndian(value, 4);
}

bool KB_ByteWriter::WriteU64(std::uint64_t value)
{
    return WriteLittleEndian(value, 8);
}

bool KB_ByteWriter::WriteI32(std::int32_t value)
{
    return WriteLittleEndian(static_cast<std::uint32_t>(value), 4);
}

bool KB_ByteWriter::WriteI64(std::int64_t value)
{
    return WriteLittleEndian(static_cast<std::uint64_t>(value), 8);
}

bool KB_ByteWriter::WriteF32(float value)
{
    return WriteLittleEndian(std::bit_cast<std::uint32_t>(value), 4);
}

bool KB_ByteWriter::WriteF64(double value)
{
    return WriteLittleEndian(std::bit_cast<std::uint64_t>(value), 8);
}

bool KB_ByteWriter::WriteBool(bool value)
{
    return WriteLittleEndian(value ? 1u : 0u, 1);
}

bool KB_ByteWriter::WriteString(const char* pText)
{
    if (pText == nullptr)
        pText = "";
    return WriteBytes(pText, std::strlen(pText) + 1);
}

bool KB_ByteWriter::WriteString(const KB_String& text)
{
    return WriteString(text.GetBuffer());
}

KB_ByteReader::KB_ByteReader(const std::uint8_t* pBegin, const std::uint8_t* pEnd)
    : m_pBegin(pBegin), m_pCursor(pBegin), m_pEnd(pEnd < pBegin ? pBegin : pEnd)
{
}

KB_ByteReader::KB_ByteReader(const void* pData, std::uint64_t size)
    : KB_ByteReader(static_cast<const std::uint8_t*>(pData),
                    static_cast<const std::uint8_t*>(pData) + (pData != nullptr ? size : 0))
{
}

bool KB_ByteReader::Take(std::uint64_t size)
{
    if (m_bFailed || size > GetRemaining())
    {
        m_bFailed = true;
        return false;
    }
    return true;
}

bool KB_ByteReader::ReadLittleEndian(std::uint64_t* pValue, std::uint32_t bytes)
{
    if (!Take(bytes))
        return false;
    std::uint64_t value = 0;
    for (std::uint32_t i = 0; i < bytes; ++i)
        value |= static_cast<std::uint64_t>(m_pCursor[i]) << (8 * i);
    m_pCursor += bytes;
    *pValue = value;
    return true;
}

bool KB_ByteReader::ReadBytes(void* pData, std::uint64_t size)
{
    if (!Take(size))
        return false;
    if (size != 0)
        std::memcpy(pData, m_pCursor, static_cast<std::size_t>(size));
    m_pCursor += size;
    return true;
}

bool KB_ByteReader::ReadU32Array(std::uint32_t* pValues, std::uint64_t count)
{
    if (!CheckCount(count, 4))
        return false;
    if (count == 0)
        return true;
    const std::uint64_t size = count * 4;
    if constexpr (std::endian::native == std::endian::little)
    {
        std::memcpy(pValues, m_pCursor, static_cast<std::size_t>(size));
    }
    else
    {
        for (std::uint64_t i = 0; i < count; ++i)
        {
            const std::uint8_t* pBytes = m_pCursor + i * 4;
            pValues[i] = static_cast<std::uint32_t>(pBytes[0]) | static_cast<std::uint32_t>(pBytes[1]) << 8 |
                         static_cast<std::uint32_t>(pBytes[2]) << 16 |
                         static_cast<std::uint32_t>(pBytes[3]) << 24;
        }
    }
    m_pCursor += size;
    return true;
}

bool KB_ByteReader::Skip(std::uint64_t size)
{
    if (!Take(size))
        return false;
    m_pCursor += size;
    return true;
}

bool KB_ByteReader::ReadU8(std::uint8_t* pValue)
{
    std::uint64_t value = 0;
    if (!ReadLittleEndian(&value, 1))
        return false;
    *pValue = static_cast<std::uint8_t>(value);
    return true;
}

bool KB_ByteReader::ReadU16(std::uint16_t* pValue)
{
    std::uint64_t value = 0;
    if (!ReadLittleEndian(&value, 2))
        return false;
    *pValue = static_cast<std::uint16_t>(value);
    return true;
}

bool KB_ByteReader::ReadU32(std::uint32_t* pValue)
{
    std::uint64_t value = 0;
    if (!ReadLittleEndian(&value, 4))
        return false;
    *pValue = static_cast<std::uint32_t>(value);
    return true;
}

bool KB_ByteReader::ReadU64(std::uint64_t* pValue)
{
    return ReadLittleEndian(pValue, 8);
}

bool KB_ByteReader::ReadI32(std::int32_t* pValue)
{
    std::uint64_t value = 0;
    if (!ReadLittleEndian(&value, 4))
        return false;
    *pValue = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    return true;
}

bool KB_ByteReader::ReadI64(std::int64_t* pValue)
{
    std::uint64_t value = 0;
    if (!ReadLittleEndian(&value, 8))
        return false;
    *pValue = static_cast<std::int64_t>(value);
    return true;
}

bool KB_ByteReader::ReadF32(float* pValue)
{
    std::uint64_t value = 0;
    if (!ReadLittleEndian(&value, 4))
        return false;
    *pValue = std::bit_cast<float>(static_cast<std::uint32_t>(value));
    return true;
}

bool KB_ByteReader::ReadF64(double* pValue)
{
    std::uint64_t value = 0;
    if (!ReadLittleEndian(&value, 8))
        return false;
    *pValue = std::bit_cast<double>(value);
    return true;
}

bool KB_ByteReader::ReadBool(bool* pValue)
{
    std::uint64_t value = 0;
    if (!ReadLittleEndian(&value, 1))
        return false;
    *pValue = value != 0;
    return true;
}

bool KB_ByteReader::ReadString(KB_String* pText)
{
    if (m_bFailed || GetRemaining() == 0)
    {
        m_bFailed = true;
        return false;
    }
    const void* pNul = std::memchr(m_pCursor, 0, static_cast<std::size_t>(GetRemaining()));
    if (pNul == nullptr)
    {
        m_bFailed = true;
        return false;
    }
    const std::uint64_t length =
        static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(pNul) - m_pCursor);
    char* pBuffer = pText->SetLength(length);
    std::memcpy(pBuffer, m_pCursor, static_cast<std::size_t>(length));
    m_pCursor += length + 1;
    return true;
}

bool KB_ByteReader::CheckCount(std::uint64_t count, std::uint64_t elementSize)
{
    if (m_bFailed)
        return false;
    if (elementSize != 0 && count > GetRemaining() / elementSize)
    {
        m_bFailed = true;
        return false;
    }
    return true;
}
