#include "framework/core/KB_ByteCursor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace
{

// One record of every field kind: 1 + 2 + 4 + 8 + 4 + 8 + 4 + 8 + 1 + 6 + 1 + 3 bytes.
constexpr std::uint64_t RECORD_SIZE = 50;

bool WriteRecord(KB_ByteWriter& writer)
{
    writer.WriteU8(0xA1);
    writer.WriteU16(0xB2C3);
    writer.WriteU32(0x01020304u);
    writer.WriteU64(0x1122334455667788ull);
    writer.WriteI32(-2);
    writer.WriteI64(-3);
    writer.WriteF32(1.5f);
    writer.WriteF64(-0.25);
    writer.WriteBool(true);
    writer.WriteString("hello");
    writer.WriteString(KB_String());
    return writer.WriteBytes("xyz", 3);
}

TEST(KB_ByteCursor, WritesLittleEndianPackedAndReadsBack)
{
    std::uint8_t buffer[RECORD_SIZE];
    KB_ByteWriter writer(buffer, sizeof(buffer));
    ASSERT_TRUE(WriteRecord(writer));
    EXPECT_EQ(writer.GetWritten(), RECORD_SIZE);
    EXPECT_EQ(writer.GetRemaining(), 0u);
    const std::uint8_t head[] = {0xA1, 0xC3, 0xB2, 0x04, 0x03, 0x02, 0x01, 0x88, 0x77};
    EXPECT_EQ(std::memcmp(buffer, head, sizeof(head)), 0);
    EXPECT_EQ(std::memcmp(buffer + 15, "\xFE\xFF\xFF\xFF", 4), 0);
    EXPECT_EQ(std::memcmp(buffer + 27, "\x00\x00\xC0\x3F", 4), 0); // 1.5f
    EXPECT_EQ(std::memcmp(buffer + 40, "hello\0\0xyz", 10), 0);

    KB_ByteReader reader(buffer, sizeof(buffer));
    std::uint8_t u8 = 0;
    std::uint16_t u16 = 0;
    std::uint32_t u32 = 0;
    std::uint64_t u64 = 0;
    std::int32_t i32 = 0;
    std::int64_t i64 = 0;
    float f32 = 0;
    double f64 = 0;
    bool flag = false;
    KB_String text, empty("not empty");
    char tail[3];
    EXPECT_TRUE(reader.ReadU8(&u8) && reader.ReadU16(&u16) && reader.ReadU32(&u32) && reader.ReadU64(&u64));
    EXPECT_TRUE(reader.ReadI32(&i32) && reader.ReadI64(&i64) && reader.ReadF32(&f32) && reader.ReadF64(&f64));
    EXPECT_TRUE(reader.ReadBool(&flag) && reader.ReadString(&text) && reader.ReadString(&empty));
    EXPECT_TRUE(reader.ReadBytes(tail, 3));
    EXPECT_EQ(u8, 0xA1);
    EXPECT_EQ(u16, 0xB2C3);
    EXPECT_EQ(u32, 0x01020304u);
    EXPECT_EQ(u64, 0x1122334455667788ull);
    EXPECT_EQ(i32, -2);
    EXPECT_EQ(i64, -3);
    EXPECT_EQ(f32, 1.5f);
    EXPECT_EQ(f64, -0.25);
    EXPECT_TRUE(flag);
    EXPECT_STREQ(text.GetBuffer(), "hello");
    EXPECT_EQ(empty.GetLength(), 0u);
    EXPECT_EQ(std::memcmp(tail, "xyz", 3), 0);
    EXPECT_EQ(reader.GetRemaining(), 0u);
    EXPECT_EQ(reader.GetConsumed(), RECORD_SIZE);
    EXPECT_TRUE(reader.IsOk());
}

TEST(KB_ByteCursor, WriterFailsAtEveryCapacityShortOfTheRecord)
{
    std::vector<std::uint8_t> buffer(RECORD_SIZE + 1, 0xEE);
    for (std::uint64_t capacity = 0; capacity <= RECORD_SIZE; ++capacity)
    {
        std::fill(buffer.begin(), buffer.end(), 0xEE);
        KB_ByteWriter writer(buffer.data(), capacity);
        const bool written = WriteRecord(writer);
        EXPECT_EQ(written, capacity == RECORD_SIZE) << capacity;
        EXPECT_EQ(writer.IsOk(), capacity == RECORD_SIZE);
        EXPECT_LE(writer.GetWritten(), capacity);
        for (std::uint64_t i = capacity; i < buffer.size(); ++i)
            ASSERT_EQ(buffer[i], 0xEE) << "wrote past capacity " << capacity;
    }

    // Failure is sticky even when a later, smaller value would still fit.
    std::uint8_t small[4];
    KB_ByteWriter writer(small, sizeof(small));
    EXPECT_FALSE(writer.WriteU64(1));
    EXPECT_FALSE(writer.WriteU8(1));
    EXPECT_EQ(writer.GetWritten(), 0u);

    KB_ByteWriter none(nullptr, 100);
    EXPECT_FALSE(none.WriteU8(0));
    EXPECT_TRUE(KB_ByteWriter(nullptr, 0).WriteBytes(nullptr, 0));
}

TEST(KB_ByteCursor, ReaderFailsOnEveryTruncation)
{
    std::uint8_t buffer[RECORD_SIZE];
    KB_ByteWriter writer(buffer, sizeof(buffer));
    ASSERT_TRUE(WriteRecord(writer));
    for (std::uint64_t size = 0; size < RECORD_SIZE; ++size)
    {
        // A copy of exactly size bytes, so ASan sees any read past the end.
        std::vector<std::uint8_t> truncated(buffer, buffer + size);
        KB_ByteReader reader(truncated.data(), truncated.size());
        std::uint8_t u8 = 0;
        std::uint16_t u16 = 0;
        std::uint32_t u32 = 0;
        std::uint64_t u64 = 0;
        std::int32_t i32 = 0;
        std::int64_t i64 = 0;
        float f32 = 0;
        double f64 = 0;
        bool flag = false;
        KB_String text, empty;
        char tail[3];
        reader.ReadU8(&u8);
        reader.ReadU16(&u16);
        reader.ReadU32(&u32);
        reader.ReadU64(&u64);
        reader.ReadI32(&i32);
        reader.ReadI64(&i64);
        reader.ReadF32(&f32);
        reader.ReadF64(&f64);
        reader.ReadBool(&flag);
        reader.ReadString(&text);
        reader.ReadString(&empty);
        EXPECT_FALSE(reader.ReadBytes(tail, 3)) << size;
        EXPECT_FALSE(reader.IsOk());
        EXPECT_LE(reader.GetConsumed(), size);
    }
}

TEST(KB_ByteCursor, ReaderRejectsUnterminatedStringsAndHugeCounts)
{
    const char noNul[] = {'a', 'b', 'c'};
    KB_ByteReader strings(noNul, sizeof(noNul));
    KB_String text("kept");
    EXPECT_FALSE(strings.ReadString(&text));
    EXPECT_STREQ(text.GetBuffer(), "kept");
    EXPECT_EQ(strings.GetConsumed(), 0u);

    std::uint8_t data[16] = {};
    KB_ByteReader counts(data, sizeof(data));
    EXPECT_TRUE(counts.CheckCount(4, 4));
    EXPECT_TRUE(counts.CheckCount(1000, 0));
    EXPECT_FALSE(counts.CheckCount(5, 4));
    EXPECT_FALSE(counts.IsOk());

    KB_ByteReader overflow(data, sizeof(data));
    EXPECT_FALSE(overflow.CheckCount(0x4000000000000001ull, 4)); // count x 4 wraps to 4
    KB_ByteReader skip(data, sizeof(data));
    EXPECT_FALSE(skip.Skip(~0ull));
    EXPECT_EQ(skip.GetRemaining(), 16u);

    KB_ByteReader reversed(data + 8, data);
    EXPECT_EQ(reversed.GetRemaining(), 0u);
    std::uint8_t value = 7;
    EXPECT_FALSE(reversed.ReadU8(&value));
    EXPECT_EQ(value, 7);
    KB_ByteReader nothing(nullptr, 5);
    EXPECT_FALSE(nothing.ReadString(&text));
}

TEST(KB_ByteCursor, FloatsKeepTheirExactBits)
{
    const float values[] = {0.0f, -0.0f, 1e-45f, 3.4028235e38f, INFINITY, NAN};
    std::uint8_t buffer[sizeof(values)];
    KB_ByteWriter writer(buffer, sizeof(buffer));
    for (float v : values)
        writer.WriteF32(v);
    KB_ByteReader reader(buffer, sizeof(buffer));
    for (float v : values)
    {
        float read = 0;
        ASSERT_TRUE(reader.ReadF32(&read));
        EXPECT_EQ(std::memcmp(&read, &v, sizeof(float)), 0);
    }
}

} // namespace

TEST(KB_ByteCursor, U32ArrayReadsLittleEndianAllOrNothing)
{
    const std::uint8_t data[] = {0x01, 0x02, 0x03, 0x04, 0xff, 0x00, 0x00,
                                 0x80, 0x10, 0x20, 0x30, 0x40, 0xaa};
    std::uint32_t values[3] = {};
    KB_ByteReader reader(data + 1, data + 13); // an odd start: no alignment is assumed
    ASSERT_TRUE(reader.ReadU32Array(values, 3));
    EXPECT_EQ(values[0], 0xff040302u);
    EXPECT_EQ(values[1], 0x10800000u);
    EXPECT_EQ(values[2], 0xaa403020u);
    EXPECT_EQ(reader.GetRemaining(), 0u);
    EXPECT_TRUE(reader.ReadU32Array(nullptr, 0));

    // One value short: nothing is written, nothing consumed, and the reader stays failed.
    for (std::uint64_t size = 0; size < 12; ++size)
    {
        std::vector<std::uint8_t> truncated(data, data + size);
        KB_ByteReader shortReader(truncated.data(), truncated.size());
        std::uint32_t kept[3] = {7, 7, 7};
        EXPECT_FALSE(shortReader.ReadU32Array(kept, 3)) << size;
        EXPECT_EQ(kept[0] + kept[1] + kept[2], 21u) << size;
        EXPECT_EQ(shortReader.GetConsumed(), 0u);
        EXPECT_FALSE(shortReader.ReadU32Array(kept, 0));
    }
    KB_ByteReader huge(data, sizeof(data));
    EXPECT_FALSE(huge.ReadU32Array(values, 0x4000000000000001ull)); // count x 4 wraps to 4
    EXPECT_EQ(huge.GetConsumed(), 0u);
}
