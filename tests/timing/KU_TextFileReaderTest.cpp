#include "timing/KU_TextFileReader.h"

#include <gtest/gtest.h>

#include <cmath>
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
        m_pData[sText.size()] = 'X'; // past the end: must never be read as text
    }
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
    ASSERT_TRUE(reader->ReadKey(4)); // the rest of a longer word is the next word
    EXPECT_TRUE(reader->IsKey("ef"));
    ASSERT_TRUE(reader->ReadKey());
    EXPECT_TRUE(reader->IsKey("g"));
    EXPECT_FALSE(reader->IsKey("gX"));
    EXPECT_FALSE(reader->ReadKey());
    EXPECT_EQ(reader->ReadRestOfLine(), KB_String(""));
    EXPECT_TRUE(reader->IsOk());

    KU_TextFileReader none(nullptr, 0);
    EXPECT_FALSE(none.ReadKey());
}

TEST(KU_TextFileReader, NumbersFollowTheStreamGrammarAndFailForGood)
{
    ExactText reader("1.5 -2\n+3 .5 5. 1e3 -1.25E-2 7abc");
    double f = 0.0;
    for (double expected : {1.5, -2.0, 3.0, 0.5, 5.0, 1000.0, -0.0125, 7.0})
    {
        ASSERT_TRUE(reader->ReadDouble(&f));
        EXPECT_EQ(f, expected);
    }
    EXPECT_FALSE(reader->ReadDouble(&f)); // "abc"
    EXPECT_EQ(f, 7.0);
    EXPECT_FALSE(reader->ReadKey()); // the failure is sticky

    for (const char* pText : {"", "  ", "-", "+", ".", "e5", "1e", "1e+", "+-1", "nan", "inf", "-inf"})
    {
        ExactText one(pText);
        EXPECT_FALSE(one->ReadDouble(&f)) << '"' << pText << '"';
    }

    ExactText numbers("+7 4294967295 4294967296");
    std::uint32_t u = 0;
    EXPECT_TRUE(numbers->ReadU32(&u));
    EXPECT_TRUE(numbers->ReadU32(&u));
    EXPECT_EQ(u, 4294967295u);
    EXPECT_FALSE(numbers->ReadU32(&u));
    ExactText negative("-1");
    EXPECT_FALSE(negative->ReadU32(&u));
}

TEST(KU_TextFileReader, LineValuesNeverCrossTheirLine)
{
    ExactText reader("d " + std::string(20, 'x') + "\nn\nnext x\nn toolong");
    ASSERT_TRUE(reader->ReadKey());
    EXPECT_EQ(reader->ReadRestOfLine(8), KB_String("xxxxxxxx")); // cut, and the line consumed whole
    ASSERT_TRUE(reader->ReadKey());
    KB_String sWord("stale");
    EXPECT_FALSE(reader->ReadLineWord(&sWord, 16)); // nothing more on this line
    EXPECT_EQ(sWord, KB_String(""));
    reader->SkipLine();
    ASSERT_TRUE(reader->ReadKey());
    EXPECT_TRUE(reader->IsKey("next"));
    reader->SkipLine();
    ASSERT_TRUE(reader->ReadKey());
    EXPECT_FALSE(reader->ReadLineWord(&sWord, 4)); // longer than allowed
    reader->SkipLine();
    EXPECT_FALSE(reader->ReadKey());
}

TEST(KU_TextFileReader, LineValuesDropOneCarriageReturnBeforeTheCut)
{
    ExactText reader("cp  two words\r\ncp\r\ncp abcd\r\ncp x\r\r\ncp tail\r");
    ASSERT_TRUE(reader->ReadKey());
    EXPECT_EQ(reader->ReadLineValue(), KB_String(" two words")); // only the first blank is skipped
    ASSERT_TRUE(reader->ReadKey());
    EXPECT_EQ(reader->ReadLineValue(), KB_String(""));
    ASSERT_TRUE(reader->ReadKey());
    EXPECT_EQ(reader->ReadLineValue(4), KB_String("abcd")); // the CR is not what the cut keeps
    ASSERT_TRUE(reader->ReadKey());
    EXPECT_EQ(reader->ReadLineValue(), KB_String("x\r")); // one CR only
    ASSERT_TRUE(reader->ReadKey());
    EXPECT_EQ(reader->ReadLineValue(), KB_String("tail")); // at the end of the text too
    EXPECT_FALSE(reader->ReadKey());
}

// Out-of-range numbers read as a classic-locale stream reads them, and the text goes on.
TEST(KU_TextFileReader, NumbersOutOfRangeSaturateOrVanishWithoutFailing)
{
    constexpr float FLT_LARGEST = std::numeric_limits<float>::max();
    ExactText floats(
        "1e-50 -1e-50 1e-40 7e-46 0.0000000000000000000000000000000000000000000000001 3.4e38 1e39 "
        "-1e39 123456789012345678901234567890123456789012 0.5e-45 1e999999999999 1e-999999999999 "
        "0e999 4");
    const float expected[] = {0.0f,         -0.0f,       1e-40f, 0.0f,        0.0f, 3.4e38f, FLT_LARGEST,
                              -FLT_LARGEST, FLT_LARGEST, 0.0f,   FLT_LARGEST, 0.0f, 0.0f,    4.0f};
    for (float fExpected : expected)
    {
        float fValue = 99.0f;
        ASSERT_TRUE(floats->ReadFloat(&fValue)) << fExpected;
        EXPECT_EQ(fValue, fExpected);
        EXPECT_EQ(std::signbit(fValue), std::signbit(fExpected)) << fExpected;
    }
    EXPECT_TRUE(floats->IsOk());

    ExactText doubles("1e-400 -1e400 2.5");
    double f = 0.0;
    ASSERT_TRUE(doubles->ReadDouble(&f));
    EXPECT_EQ(f, 0.0);
    ASSERT_TRUE(doubles->ReadDouble(&f));
    EXPECT_EQ(f, -std::numeric_limits<double>::max());
    ASSERT_TRUE(doubles->ReadDouble(&f));
    EXPECT_EQ(f, 2.5);
}

TEST(KU_TextFileReader, WordsCrossLinesAreCutToTheirWidthAndEndTheParseAtTheEnd)
{
    ExactText reader("cp\r\n  abcdefgh.int rest");
    ASSERT_TRUE(reader->ReadKey());
    KB_String sWord;
    ASSERT_TRUE(reader->ReadWord(&sWord, 5)); // like a stream's word with a width
    EXPECT_EQ(sWord, KB_String("abcde"));
    ASSERT_TRUE(reader->ReadWord(&sWord, 100));
    EXPECT_EQ(sWord, KB_String("fgh.int"));
    reader->SkipLine();
    EXPECT_FALSE(reader->ReadWord(&sWord, 100));
    EXPECT_EQ(sWord, KB_String(""));
    EXPECT_FALSE(reader->IsOk());
}
