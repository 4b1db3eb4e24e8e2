#pragma once
// Bounded byte cursors for the byte form of persistent objects: little-endian, packed, strings
// NUL-terminated, no padding, magic or version.
//
// KB_ByteWriter writes into a buffer of fixed capacity and fails instead of writing past it.
// KB_ByteReader reads between a cursor and an end pointer and fails on a short read or a string
// without its NUL. Failure is sticky: after the first failed call every later call fails and
// moves nothing, so a caller may write or read a whole record and check once at the end. A failed
// call writes or reads nothing at all (no partial values).
//
// Does NOT own its buffer, allocate, or know any record layout. One cursor per thread.

#include "framework/core/KB_String.h"

#include <cstdint>

class KB_ByteWriter
{
public:
    // pBuffer may be null only with capacity 0.
    KB_ByteWriter(std::uint8_t* pBuffer, std::uint64_t capacity);

    bool WriteBytes(const void* pData, std::uint64_t size);
    bool WriteU8(std::uint8_t value);
    bool WriteU16(std::uint16_t value);
    bool WriteU32(std::uint32_t value);
    bool WriteU64(std::uint64_t value);
    bool WriteI32(std::int32_t value);
    bool WriteI64(std::int64_t value);
    bool WriteF32(float value);
    bool WriteF64(double value);
    bool WriteBool(bool value);              // one byte, 0 or 1
    bool WriteString(const char* pText);     // the bytes up to and with the NUL; null as ""
    bool WriteString(const KB_String& text); // up to the first NUL, then the NUL

    bool IsOk() const { return !m_bFailed; }
    std::uint64_t GetWritten() const { return m_uiWritten; }
    std::uint64_t GetRemaining() const { return m_uiCapacity - m_uiWritten; }
    std::uint8_t* GetCursor() const { return m_pBuffer + m_uiWritten; }

private:
    bool Reserve(std::uint64_t size);
    bool WriteLittleEndian(std::uint64_t value, std::uint32_t bytes);

    std::uint8_t* m_pBuffer = nullptr; // not owned
    std::uint64_t m_uiCapacity = 0;
    std::uint64_t m_uiWritten = 0;
    bool m_bFailed = false;
};

class KB_ByteReader
{
public:
    // Reads [pBegin, pEnd); pEnd before pBegin is treated as an empty range.
    KB_ByteReader(const std::uint8_t* pBegin, const std::uint8_t* pEnd);
    KB_ByteReader(const void* pData, std::uint64_t size);

    // On failure the output is left unchanged.
    bool ReadBytes(void* pData, std::uint64_t size);
    bool Skip(std::uint64_t size);
    bool ReadU8(std::uint8_t* pValue);
    bool ReadU16(std::uint16_t* pValue);
    bool ReadU32(std::uint32_t* pValue);
    bool ReadU64(std::uint64_t* pValue);
    bool ReadI32(std::int32_t* pValue);
    bool ReadI64(std::int64_t* pValue);
    bool ReadF32(float* pValue);
    bool ReadF64(double* pValue);
    bool ReadBool(bool* pValue);       // one byte; any value but 0 reads as true
    bool ReadString(KB_String* pText); // fails when no NUL comes before the end
    // count values at once: one bound check for the whole run, then a block copy where the
    // machine is little-endian. All or nothing, like the single reads.
    bool ReadU32Array(std::uint32_t* pValues, std::uint64_t count);

    // Whether count elements of elementSize bytes can still follow (overflow-safe); a failed
    // check marks the reader failed. Check counts from the data with this before allocating.
    bool CheckCount(std::uint64_t count, std::uint64_t elementSize);

    bool IsOk() const { return !m_bFailed; }
    std::uint64_t GetRemaining() const { return static_cast<std::uint64_t>(m_pEnd - m_pCursor); }
    std::uint64_t GetConsumed() const { return static_cast<std::uint64_t>(m_pCursor - m_pBegin); }
    const std::uint8_t* GetCursor() const { return m_pCursor; }
    const std::uint8_t* GetEnd() const { return m_pEnd; }

private:
    bool Take(std::uint64_t size);
    bool ReadLittleEndian(std::uint64_t* pValue, std::uint32_t bytes);

    const std::uint8_t* m_pBegin = nullptr;  // not owned
    const std::uint8_t* m_pCursor = nullptr; // not owned
    const std::uint8_t* m_pEnd = nullptr;    // not owned
    bool m_bFailed = false;
};
