#pragma once
// Shared helpers of the model tests: byte forms written into and read from exact-size buffers
// (records also after bytes already written, and with guard bytes past the capacity), and matrix
// comparisons.

#include "platform/directxmath/DirectXMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace modeltest
{

// One write of a record with uiAlreadyWritten bytes already in a buffer of uiCapacity bytes: the
// outcome, where the cursor and the total ended (as offsets from the buffer), the bytes written
// from the start offset on, and whether anything outside [uiAlreadyWritten, uiCapacity) changed.
struct WriteOutcome
{
    bool bOk = false;
    std::uint64_t uiCursor = 0;
    std::uint64_t uiWritten = 0;
    bool bOutsideIntact = true;
    std::vector<std::uint8_t> vRecord;
};

constexpr std::uint64_t GUARD_BYTES = 64;
constexpr std::uint8_t GUARD_VALUE = 0xA5;

// With bGuarded the buffer has GUARD_BYTES more past the capacity, checked afterwards; otherwise
// it is an exact-size heap allocation, so AddressSanitizer reports any write past the capacity.
// The bytes before the start offset are guards in both cases. A start offset past the capacity
// gets a buffer reaching it, so the cursor still points into the allocation.
template <typename T>
WriteOutcome WriteAt(const T& object, std::uint64_t uiAlreadyWritten, std::uint64_t uiCapacity, bool bGuarded)
{
    const std::uint64_t uiRoom = uiCapacity > uiAlreadyWritten ? uiCapacity : uiAlreadyWritten;
    const std::uint64_t uiAllocated = uiRoom + (bGuarded ? GUARD_BYTES : 0);
    std::unique_ptr<std::uint8_t[]> pBuffer(new std::uint8_t[uiAllocated == 0 ? 1 : uiAllocated]);
    std::memset(pBuffer.get(), GUARD_VALUE, uiAllocated);
    std::uint8_t* pCursor = pBuffer.get() + uiAlreadyWritten;
    std::uint64_t uiWritten = uiAlreadyWritten;
    WriteOutcome outcome;
    outcome.bOk = object.Serialize(&pCursor, uiCapacity, &uiWritten);
    outcome.uiCursor = static_cast<std::uint64_t>(pCursor - pBuffer.get());
    outcome.uiWritten = uiWritten;
    for (std::uint64_t i = 0; i < uiAllocated; ++i)
        if ((i < uiAlreadyWritten || i >= uiCapacity) && pBuffer[i] != GUARD_VALUE)
            outcome.bOutsideIntact = false;
    if (outcome.bOk && uiWritten <= uiCapacity)
        outcome.vRecord.assign(pBuffer.get() + uiAlreadyWritten, pBuffer.get() + uiWritten);
    return outcome;
}

// Whether a record of uiSize bytes written after uiAlreadyWritten bytes into uiCapacity behaves,
// both guarded and exact-size: it succeeds exactly when it fits the bytes left, then moves the
// cursor and the total by uiSize; otherwise it moves neither; it never writes outside its room.
template <typename T>
::testing::AssertionResult WritesWithinBytesLeft(const T& object, std::uint64_t uiSize,
                                                 std::uint64_t uiAlreadyWritten, std::uint64_t uiCapacity)
{
    const bool bFits = uiAlreadyWritten <= uiCapacity && uiCapacity - uiAlreadyWritten >= uiSize;
    const std::uint64_t uiEnd = bFits ? uiAlreadyWritten + uiSize : uiAlreadyWritten;
    for (const bool bGuarded : {true, false})
    {
        const WriteOutcome outcome = WriteAt(object, uiAlreadyWritten, uiCapacity, bGuarded);
        if (outcome.bOk != bFits || outcome.uiCursor != uiEnd || outcome.uiWritten != uiEnd ||
            !outcome.bOutsideIntact)
        {
            return ::testing::AssertionFailure()
                   << "record of " << uiSize << " bytes after " << uiAlreadyWritten << " of " << uiCapacity
                   << (bGuarded ? " (guarded)" : " (exact size)") << ": "
                   << (outcome.bOk ? "written" : "refused") << ", cursor at " << outcome.uiCursor
                   << ", total " << outcome.uiWritten
                   << (outcome.bOutsideIntact ? "" : ", bytes outside its room changed");
        }
    }
    return ::testing::AssertionSuccess();
}

// The whole record of anything with the (cursor, capacity, running total) Serialize, written into
// exact-size buffers from offset 0, from an odd offset and after as many bytes as the record has;
// each time the same bytes. With bCheckShorter also checks, from each of those offsets, every
// capacity that leaves fewer bytes than the record: each fails, moves neither the cursor nor the
// total and writes nothing outside its room, though from the later offsets most of those
// capacities would hold the record from 0.
template <typename T>
std::vector<std::uint8_t> Serialize(const T& object, bool bCheckShorter = true)
{
    std::vector<std::uint8_t> vRecord;
    bool bMeasured = false;
    for (std::uint64_t uiCapacity = 64; !bMeasured && uiCapacity <= (std::uint64_t{1} << 24); uiCapacity *= 2)
    {
        WriteOutcome outcome = WriteAt(object, 0, uiCapacity, false);
        bMeasured = outcome.bOk;
        vRecord = std::move(outcome.vRecord);
    }
    EXPECT_TRUE(bMeasured) << "the record was not written into any buffer up to 16 MiB";
    if (!bMeasured)
        return vRecord;
    const std::uint64_t uiSize = vRecord.size();
    for (const std::uint64_t uiOffset : {std::uint64_t{0}, std::uint64_t{7}, uiSize})
    {
        EXPECT_TRUE(WritesWithinBytesLeft(object, uiSize, uiOffset, uiOffset + uiSize));
        EXPECT_EQ(vRecord, WriteAt(object, uiOffset, uiOffset + uiSize, false).vRecord)
            << "offset " << uiOffset;
        for (std::uint64_t uiCapacity = uiOffset; bCheckShorter && uiCapacity < uiOffset + uiSize;
             ++uiCapacity)
        {
            EXPECT_TRUE(WritesWithinBytesLeft(object, uiSize, uiOffset, uiCapacity));
        }
    }
    if (bCheckShorter && uiSize != 0)
    {
        // A total already past the capacity leaves no room at all.
        const ::testing::AssertionResult result = WritesWithinBytesLeft(object, uiSize, uiSize, uiSize - 1);
        EXPECT_TRUE(result);
    }
    return vRecord;
}

// A record written after bytes of an enclosing record is bounded by the bytes left, not by the
// buffer: from several start offsets, capacities that hold the record from 0 (but not from the
// offset) refuse it without writing past them, and the capacity that leaves exactly its size
// takes it.
template <typename T>
::testing::AssertionResult BoundedByBytesLeft(const T& object)
{
    const std::vector<std::uint8_t> vRecord = Serialize(object, false);
    const std::uint64_t uiSize = vRecord.size();
    if (uiSize < 2)
        return ::testing::AssertionFailure() << "record of " << uiSize << " bytes";
    for (const std::uint64_t uiBefore : {std::uint64_t{1}, std::uint64_t{20}, uiSize - 1, uiSize})
    {
        for (const std::uint64_t uiCapacity :
             {uiSize, uiBefore + uiSize / 2, uiBefore + uiSize - 1, uiBefore + uiSize})
        {
            if (uiCapacity < uiSize)
                continue;
            ::testing::AssertionResult result = WritesWithinBytesLeft(object, uiSize, uiBefore, uiCapacity);
            if (!result)
                return result;
        }
    }
    return ::testing::AssertionSuccess();
}

// Reads the first uiLength bytes from an exact-size heap copy, so AddressSanitizer catches any read
// past them; checks that the cursor moved to the end on success and not at all on failure.
template <typename T>
bool Deserialize(T& object, const std::vector<std::uint8_t>& bytes, std::uint64_t uiLength)
{
    std::unique_ptr<std::uint8_t[]> pCopy(new std::uint8_t[uiLength == 0 ? 1 : uiLength]);
    if (uiLength != 0)
        std::memcpy(pCopy.get(), bytes.data(), uiLength);
    const std::uint8_t* pCursor = pCopy.get();
    const bool bOk = object.Deserialize(&pCursor, pCopy.get() + uiLength);
    EXPECT_EQ(pCursor, bOk ? pCopy.get() + uiLength : pCopy.get());
    return bOk;
}

template <typename T>
bool Deserialize(T& object, const std::vector<std::uint8_t>& bytes)
{
    return Deserialize(object, bytes, bytes.size());
}

inline ::testing::AssertionResult MatrixNear(const DirectX::XMMATRIX& actual,
                                             const DirectX::XMMATRIX& expected, float tolerance = 0.0f)
{
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            if (!(std::fabs(actual(row, column) - expected(row, column)) <= tolerance))
                return ::testing::AssertionFailure()
                       << "element (" << row << ", " << column << "): got " << actual(row, column)
                       << ", expected " << expected(row, column);
    return ::testing::AssertionSuccess();
}

} // namespace modeltest
