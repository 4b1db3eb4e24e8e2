#include "timing/KU_TextFileReader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>
#include <string>

namespace
{

// A reader over an exact-size heap copy, so a read past the text is caught by AddressSanitizer.
class ExactText
{
public:
    explicit ExactText(const std::string& sText)
        : m_pData(new char[sText.size() + 1]), m_reader(m_pData.get(), sText.size())
    {
        std::memcpy(m_pData.get(), sText.data(), sText.size());
        m_pData[sText.size()] = 'X';   // past the end: must never be read as text
    }
    KU_TextFileReader& operator*() { return m_reader; }
    KU_TextFileReader* operator->() { return &m_reader; }

private:
    std::unique_ptr<char[]> m_pData;
    KU_TextFileReader m_reader;
};

} // namespace

TEST(KU_TextFileReader, KeysAreBoundedWordsAcrossLines)
{
    ExactText reader(" \tabcdef\r\n\n  g");
    ASSERT_TRUE(reader->ReadKey(4));
    EXPECT_EQ(reader->GetKey(), KB_String("abcd"));
    EXPECT_FALSE(reader->IsKey("abcdef"));
    ASSERT_TRUE(reader->ReadKey(4));   // the rest of a longer word is the next word
    EXPECT_TRUE(reader->IsKey("ef"));
    ASSERT_TRUE(reader->ReadKey());
    EXPECT_TRUE(reader->IsKey("g"));
    EXPECT_FALSE(reader->IsKey("gX"));
    EXPECT_FALSE(reader->ReadKey());
    EXPECT_TRUE(reader->IsOk());

    ExactText empty("");
    EXPECT_FALSE(empty->ReadKey());
    KU_TextFileReader none(nullptr, 0);
    EXPECT_FALSE(none.ReadKey());
    EXPECT_EQ(none.ReadRestOfLine(), KB_String(""));
}

TEST(KU_TextFileReader, NumbersInStreamFormat)
{
    ExactText reader("1.5 -2\n+3 .5 5. 1e3 -1.25E-2 7abc");
    double f = 0.0;
    const double expected[] = {1.5, -2.0, 3.0, 0.5, 5.0, 1000.0, -0.0125, 7.0};
    for (double e : expected)
    {
        ASSERT_TRUE(reader->ReadDouble(&f));
        EXPECT_EQ(f, e);
    }
    // "abc" is no number: the reader fails for good and keeps the value.
    EXPECT_FALSE(reader->ReadDouble(&f));
    EXPECT_EQ(f, 7.0);
    EXPECT_FALSE(reader->IsOk());
    EXPECT_FALSE(reader->ReadKey());

    const char* const bad[] = {"",    "  ",  "-",   "+",   ".",     "e5",  "1e",
                               "1e+", "+-1", "nan", "inf", "1e400", "0x10"};
    for (const char* pText : bad)
    {
        ExactText one(pText);
        double fValue = 0.0;
        // "0x10" reads as 0 followed by the word "x10", as a stream reads it.
        if (std::string(pText) == "0x10")
        {
            EXPECT_TRUE(one->ReadDouble(&fValue));
            EXPECT_FALSE(one->ReadDouble(&fValue));
            continue;
        }
        EXPECT_FALSE(one->ReadDouble(&fValue)) << pText;
    }
}

TEST(KU_TextFileReader, FloatAndUnsignedRanges)
{
    ExactText floats("3.4e38 1e39");
    float f = 0.0f;
    EXPECT_TRUE(floats->ReadFloat(&f));
    EXPECT_EQ(f, 3.4e38f);
    EXPECT_FALSE(floats->ReadFloat(&f));

    ExactText numbers("0 +7 4294967295 4294967296");
    std::uint32_t u = 1;
    EXPECT_TRUE(numbers->ReadU32(&u));
    EXPECT_EQ(u, 0u);
    EXPECT_TRUE(numbers->ReadU32(&u));
    EXPECT_EQ(u, 7u);
    EXPECT_TRUE(numbers->ReadU32(&u));
    EXPECT_EQ(u, std::numeric_limits<std::uint32_t>::max());
    EXPECT_FALSE(numbers->ReadU32(&u));

    for (const char* pText : {"-1", "1.5x"})
    {
        ExactText one(pText);
        std::uint32_t uValue = 0;
        if (std::string(pText) == "1.5x")
        {
            EXPECT_TRUE(one->ReadU32(&uValue));   // 1, then ".5x" is not a number
            EXPECT_FALSE(one->ReadU32(&uValue));
            continue;
        }
        EXPECT_FALSE(one->ReadU32(&uValue)) << pText;
    }
}

TEST(KU_TextFileReader, RestOfLineSkipsOneBlankAndIsCut)
{
    ExactText reader("d  two blanks\r\nd\nd " + std::string(20, 'x') + "\nd last");
    ASSERT_TRUE(reader->ReadKey());
    EXPECT_EQ(reader->ReadRestOfLine(), KB_String(" two blanks\r"));
    ASSERT_TRUE(reader->ReadKey());
    EXPECT_EQ(reader->ReadRestOfLine(), KB_String(""));
    ASSERT_TRUE(reader->ReadKey());
    EXPECT_EQ(reader->ReadRestOfLine(8), KB_String("xxxxxxxx"));
    ASSERT_TRUE(reader->ReadKey());   // the cut line was consumed whole
    EXPECT_TRUE(reader->IsKey("d"));
    EXPECT_EQ(reader->ReadRestOfLine(), KB_String("last"));
    EXPECT_FALSE(reader->ReadKey());
}

TEST(KU_TextFileReader, LineWordsStayOnTheirLine)
{
    ExactText reader("n  Linear  rest\nn\nnext\nn toolong\nn x");
    KB_String sWord;
    ASSERT_TRUE(reader->ReadKey());
    EXPECT_TRUE(reader->ReadLineWord(&sWord, 16));
    EXPECT_EQ(sWord, KB_String("Linear"));
    reader->SkipLine();
    ASSERT_TRUE(reader->ReadKey());
    EXPECT_FALSE(reader->ReadLineWord(&sWord, 16));   // nothing on this line
    EXPECT_EQ(sWord, KB_String(""));
    reader->SkipLine();
    ASSERT_TRUE(reader->ReadKey());
    EXPECT_TRUE(reader->IsKey("next"));
    reader->SkipLine();
    ASSERT_TRUE(reader->ReadKey());
    EXPECT_FALSE(reader->ReadLineWord(&sWord, 4));   // longer than allowed
    reader->SkipLine();
    ASSERT_TRUE(reader->ReadKey());
    EXPECT_TRUE(reader->ReadLineWord(&sWord, 4));
    EXPECT_EQ(sWord, KB_String("x"));
    reader->SkipLine();
    EXPECT_FALSE(reader->ReadKey());
}
