#include "framework/core/KB_String.h"

#include "framework/core/KB_Memory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

namespace
{

TEST(KB_String, ConstructorsKeepTheBufferExactAndTerminated)
{
    const KB_String empty;
    EXPECT_EQ(empty.GetLength(), 0u);
    ASSERT_NE(empty.GetBuffer(), nullptr);
    EXPECT_EQ(empty[0], '\0');

    const KB_String fromNull(static_cast<const char*>(nullptr));
    EXPECT_EQ(fromNull.GetLength(), 0u);

    const KB_String zeros(static_cast<std::uint64_t>(4));
    EXPECT_EQ(zeros.GetLength(), 4u);
    for (std::uint64_t i = 0; i <= 4; ++i)
        EXPECT_EQ(zeros[i], '\0');

    const KB_String wide(L"W\u0141x"); // U+0141 keeps only its low byte 0x41
    EXPECT_STREQ(wide.GetBuffer(), "WAx");

    const KB_String formatted = KB_String::Formatted("%s-%04d", "id", 7);
    EXPECT_STREQ(formatted.GetBuffer(), "id-0007");
    EXPECT_EQ(formatted.GetLength(), 7u);
    EXPECT_TRUE(KB_Memory::IsAligned(formatted.GetBuffer()));

    const KB_String percent("100%"); // one argument: plain text, not a format
    EXPECT_STREQ(percent.GetBuffer(), "100%");
}

TEST(KB_String, FormatSizesTheBufferToTheResult)
{
    KB_String s("old");
    const std::string longText(10000, 'x');
    s.Format("<%s>", longText.c_str());
    EXPECT_EQ(s.GetLength(), 10002u);
    EXPECT_EQ(s[0], '<');
    EXPECT_EQ(s[10001], '>');
    EXPECT_EQ(s[10002], '\0');

    s.Format("%s", "");
    EXPECT_EQ(s.GetLength(), 0u);
}

TEST(KB_String, AssignmentAndConcatenation)
{
    KB_String a("abc");
    const KB_String& self = a; // through a reference: clang rejects a plain self-assignment
    a = self;
    EXPECT_STREQ(a.GetBuffer(), "abc");

    KB_String b;
    b = a;
    EXPECT_STREQ(b.GetBuffer(), "abc");
    EXPECT_NE(b.GetBuffer(), a.GetBuffer());

    const KB_String c = a + "de" + KB_String("f");
    EXPECT_STREQ(c.GetBuffer(), "abcdef");
    EXPECT_EQ(c.GetLength(), 6u);

    a += a;
    EXPECT_STREQ(a.GetBuffer(), "abcabc");
    a += static_cast<const char*>(nullptr);
    EXPECT_EQ(a.GetLength(), 6u);
}

TEST(KB_String, ComparisonsAreUnsignedAndStopAtNul)
{
    EXPECT_EQ(KB_String("abc").Compare("abc"), 0);
    EXPECT_EQ(KB_String("abc").Compare("abd"), -1);
    EXPECT_EQ(KB_String("abd").Compare(KB_String("abc")), 1);
    EXPECT_EQ(KB_String("\xFF").Compare("a"), 1); // 0xFF above 'a' as unsigned
    EXPECT_EQ(KB_String("ab").Compare("abc"), -1);

    EXPECT_EQ(KB_String("ABC").CompareNoCase("abc"), 0);
    EXPECT_LT(KB_String("abc").CompareNoCase(KB_String("ABD")), 0);

    EXPECT_TRUE(KB_String("abc") == KB_String("abc"));
    EXPECT_TRUE(KB_String("abc") != KB_String("abcd"));
    EXPECT_TRUE(KB_String("abc") < KB_String("abd"));
    EXPECT_FALSE(KB_String("abd") < KB_String("abc"));

    // Equal text but different lengths (an embedded NUL) are not equal.
    KB_String padded(static_cast<std::uint64_t>(4));
    std::memcpy(padded.GetBuffer(), "abc", 3);
    EXPECT_EQ(padded.Compare("abc"), 0);
    EXPECT_FALSE(padded == KB_String("abc"));
}

TEST(KB_String, SetLengthReplacesTheContents)
{
    KB_String s("previous");
    char* pBuffer = s.SetLength(3);
    EXPECT_EQ(s.GetLength(), 3u);
    EXPECT_EQ(pBuffer[3], '\0');
    std::memcpy(pBuffer, "xyz", 3);
    EXPECT_STREQ(s.GetBuffer(), "xyz");
}

TEST(KB_String, StartsWithAndEndsWith)
{
    const KB_String s("Assets/Models/box.dae");
    EXPECT_TRUE(s.StartsWith("Assets/"));
    EXPECT_TRUE(s.StartsWith(""));
    EXPECT_FALSE(s.StartsWith("assets/"));
    EXPECT_FALSE(KB_String("ab").StartsWith("abc"));

    EXPECT_TRUE(s.EndsWith(".dae"));
    EXPECT_TRUE(s.EndsWith(s));
    EXPECT_TRUE(s.EndsWith(""));
    EXPECT_FALSE(s.EndsWith(".DAE"));
    EXPECT_FALSE(KB_String("bc").EndsWith("abc"));
    EXPECT_FALSE(KB_String().EndsWith("a"));
}

TEST(KB_String, FindBounds)
{
    const KB_String s("abcabc");
    EXPECT_EQ(s.Find("bc"), 1u);
    EXPECT_EQ(s.Find("bc", 2), 4u); // absolute index
    EXPECT_EQ(s.Find("abc", 3), 3u);
    EXPECT_EQ(s.Find("x"), KB_String::NOT_FOUND);
    EXPECT_EQ(s.Find(""), KB_String::NOT_FOUND);
    EXPECT_EQ(s.Find("c", 6), KB_String::NOT_FOUND);
    EXPECT_EQ(s.Find("c", 100), KB_String::NOT_FOUND);
    EXPECT_EQ(s.Find("abcabcd"), KB_String::NOT_FOUND);
}

TEST(KB_String, SubStringBounds)
{
    const KB_String s("abc");
    EXPECT_STREQ(s.SubString(10, 1).GetBuffer(), "bc");
    EXPECT_STREQ(s.SubString(1, 1).GetBuffer(), "b");
    EXPECT_STREQ(s.SubString(2, 0).GetBuffer(), "ab");
    EXPECT_EQ(s.SubString(10, 3).GetLength(), 0u);
    EXPECT_EQ(s.SubString(0, 1).GetLength(), 0u);
    // A count that would overflow start + count takes the rest.
    EXPECT_STREQ(s.SubString(~static_cast<std::uint64_t>(0), 1).GetBuffer(), "bc");
    EXPECT_STREQ(s.SubString(~static_cast<std::uint64_t>(0) - 1, 2).GetBuffer(), "c");

    KB_String withNul(static_cast<std::uint64_t>(5));
    std::memcpy(withNul.GetBuffer(), "ab\0cd", 5);
    const KB_String cut = withNul.SubString(5, 0);
    EXPECT_EQ(cut.GetLength(), 2u);
    EXPECT_STREQ(cut.GetBuffer(), "ab");
}

TEST(KB_String, AppendingGrowsTheBufferGeometrically)
{
    KB_String s;
    std::string expected;
    int buffers = 0;
    const char* pLast = nullptr;
    for (int i = 0; i < 512; ++i)
    {
        s += "piece/";
        expected += "piece/";
        if (s.GetBuffer() != pLast)
            ++buffers;
        pLast = s.GetBuffer();
        ASSERT_GE(s.GetCapacity(), s.GetLength());
        ASSERT_EQ(s[s.GetLength()], '\0');
    }
    EXPECT_EQ(std::string(s.GetBuffer()), expected);
    EXPECT_EQ(s.GetLength(), expected.size());
    EXPECT_LE(buffers, 10) << "3072 bytes in doubling steps from 15";
    EXPECT_TRUE(KB_Memory::IsAligned(s.GetBuffer()));

    // Chained + appends to the temporary it builds.
    EXPECT_STREQ((KB_String("a") + "b" + KB_String("c") + static_cast<const char*>(nullptr)).GetBuffer(),
                 "abc");

    // Shorter contents keep the buffer; the NUL follows the new end.
    const char* pBuffer = s.GetBuffer();
    const KB_String shorter("xy");
    s = shorter;
    EXPECT_STREQ(s.GetBuffer(), "xy");
    s.SetLength(2);
    EXPECT_EQ(s.GetBuffer(), pBuffer);
    EXPECT_EQ(s[2], '\0');
}

TEST(KB_String, AppendingItselfOrPartOfItself)
{
    for (const std::uint64_t reserve : {0u, 100u})
    {
        KB_String s("abcdefgh");
        s.Reserve(reserve);
        s += s;
        EXPECT_STREQ(s.GetBuffer(), "abcdefghabcdefgh");
        s += s.GetBuffer() + 12; // "efgh", from the buffer being appended to
        EXPECT_STREQ(s.GetBuffer(), "abcdefghabcdefghefgh");
        s = s.SubString(3, 1);
        EXPECT_STREQ(s.GetBuffer(), "bcd");
        s = s.GetBuffer() + 1; // assigned from inside itself
        EXPECT_STREQ(s.GetBuffer(), "cd");
        s.Format("%s-%s", s.GetBuffer(), s.GetBuffer()); // formatted from itself
        EXPECT_STREQ(s.GetBuffer(), "cd-cd");
    }
}

TEST(KB_String, MovesTakeTheBufferAndLeaveAValidEmptyString)
{
    KB_String source("a text longer than the smallest buffer");
    const char* pBuffer = source.GetBuffer();
    KB_String moved(std::move(source));
    EXPECT_EQ(moved.GetBuffer(), pBuffer);
    ASSERT_NE(source.GetBuffer(),
              nullptr); // NOLINT(bugprone-use-after-move): the moved-from state is specified
    EXPECT_EQ(source.GetLength(), 0u);
    EXPECT_STREQ(source.GetBuffer(), "");
    EXPECT_TRUE(source == KB_String());
    source += "reused";
    EXPECT_STREQ(source.GetBuffer(), "reused");

    KB_String target("old");
    target = std::move(moved);
    EXPECT_EQ(target.GetBuffer(), pBuffer);
    EXPECT_EQ(moved.GetLength(), 0u);
    EXPECT_STREQ(moved.GetBuffer(), "");
    KB_String& alias = target;
    target = std::move(alias);
    EXPECT_EQ(target.GetBuffer(), pBuffer) << "moving into itself changes nothing";

    // Empty strings and empty results allocate nothing, yet read as terminated text.
    const KB_String empty = KB_String() + "";
    EXPECT_EQ(empty.GetCapacity(), 0u);
    EXPECT_EQ(KB_String(static_cast<std::uint64_t>(0)).GetCapacity(), 0u);
    EXPECT_STREQ(KB_String("").GetBuffer(), "");
}

TEST(KB_String, FormattedSizesTheResult)
{
    const std::string longText(5000, 'y');
    const KB_String s = KB_String::Formatted("[%s|%d]", longText.c_str(), -12);
    EXPECT_EQ(s.GetLength(), 5006u);
    EXPECT_EQ(s[5001], '|');
    EXPECT_EQ(s[5006], '\0');
    EXPECT_EQ(KB_String::Formatted("%s", "").GetLength(), 0u);
    EXPECT_STREQ(KB_String::Formatted("%u%%", 100u).GetBuffer(), "100%");
}

TEST(KB_String, CaseConversionCopies)
{
    const KB_String s("MiXeD_1\xC4");
    EXPECT_STREQ(s.ToLower().GetBuffer(), "mixed_1\xC4");
    EXPECT_STREQ(s.ToUpper().GetBuffer(), "MIXED_1\xC4");
    EXPECT_STREQ(s.GetBuffer(), "MiXeD_1\xC4");
}

} // namespace
