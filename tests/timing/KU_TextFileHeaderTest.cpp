#include "timing/KU_TextFileHeader.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace
{

std::vector<std::string> Lines(const KB_String& sText)
{
    std::vector<std::string> lines;
    std::istringstream stream(sText.GetBuffer());
    std::string sLine;
    while (std::getline(stream, sLine))
        lines.push_back(sLine);
    return lines;
}

} // namespace

TEST(KU_TextFileHeader, CommentBlockTitleAndLegendInOrder)
{
    const char* const legend[] = {"# d == debug name (string)", "# s == start (double)"};
    const KB_String sHeader =
        KU_CreateTextFileHeader("# Simple Omni Light file", KU_PLAIN_COMMENT_LEGEND, legend, 2);
    const std::string sText = sHeader.GetBuffer();
    ASSERT_FALSE(sText.empty());
    EXPECT_EQ(sText.back(), '\n');
    EXPECT_EQ(sText.find('\r'), std::string::npos);

    const std::vector<std::string> lines = Lines(sHeader);
    ASSERT_EQ(lines.size(), 11u + 7u);
    // The block: separator, one notice line, separator, seven notice lines, separator.
    for (std::size_t i : {0u, 2u, 10u})
        EXPECT_EQ(lines[i], "# ") << i;
    for (std::size_t i : {1u, 3u, 4u, 5u, 6u, 7u, 8u, 9u})
    {
        EXPECT_EQ(lines[i].rfind("# ", 0), 0u) << i;
        EXPECT_GT(lines[i].size(), 2u) << i;
    }
    const std::vector<std::string> tail(lines.begin() + 11, lines.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"# ", "# Simple Omni Light file", "# ", "# == comment line",
                                              "# d == debug name (string)", "# s == start (double)", "# "}));
}

TEST(KU_TextFileHeader, LineValuesStopAtTheirFirstLineEnd)
{
    EXPECT_EQ(KU_GetTextFileLineValue(KB_String("name\nfov 1")), "name");
    EXPECT_EQ(KU_GetTextFileLineValue(KB_String("name\r\n")), "name");
    EXPECT_EQ(KU_GetTextFileLineValue(KB_String(" two words")), " two words");
    EXPECT_EQ(KU_GetTextFileLineValue(KB_String()), "");
}

TEST(KU_TextFileHeader, KeyLinesAreLeftOutWhenNothingOfTheValueIsWritten)
{
    std::string sText;
    KU_AppendTextFileLine(sText, "d", KB_String("name\rrest"));
    KU_AppendTextFileLine(sText, "d", KB_String());
    // Would be written "d " and read back as no name: the next save would drop the line.
    KU_AppendTextFileLine(sText, "d", KB_String("\r\r name"));
    KU_AppendTextFileLine(sText, "cp", KB_String("\nfov 1"));
    EXPECT_EQ(sText, "d name\n");
}
