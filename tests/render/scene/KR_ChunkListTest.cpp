#include "render/scene/KR_ChunkList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

std::vector<std::string> Parse(const char* pText)
{
    KB_GrowingArray<KB_String> gNames;
    KR_ChunkList::ParseText(pText, gNames);
    std::vector<std::string> names;
    for (std::uint32_t i = 0; i < gNames.GetNumMembers(); ++i)
        names.push_back(gNames[i].GetBuffer());
    return names;
}

TEST(KR_ChunkList, ReadingDropsOneCarriageReturnAndEveryEmptyLine)
{
    using Lines = std::vector<std::string>;
    EXPECT_EQ(Parse("A.dae\r\n\r\nB.dae\r\n"), (Lines{"A.dae", "B.dae"}));
    EXPECT_EQ(Parse("A\n\n\nB\nC"), (Lines{"A", "B", "C"}));
    EXPECT_EQ(Parse("\r\n\r\n"), Lines{});
    EXPECT_EQ(Parse("\n"), Lines{});
    EXPECT_EQ(Parse(nullptr), Lines{});
    // Only one '\r' belongs to the line end.
    EXPECT_EQ(Parse("X\r\r\n"), Lines{"X\r"});
}

TEST(KR_ChunkList, WritingJoinsWithoutAFinalLineBreak)
{
    KB_GrowingArray<KB_String> gNames;
    EXPECT_STREQ(KR_ChunkList::CreateText(gNames).GetBuffer(), "\n");
    gNames.Add("X");
    EXPECT_STREQ(KR_ChunkList::CreateText(gNames).GetBuffer(), "X");
    gNames.Add("Y");
    EXPECT_STREQ(KR_ChunkList::CreateText(gNames).GetBuffer(), "X\nY");
    EXPECT_EQ(Parse(KR_ChunkList::CreateText(gNames).GetBuffer()), (std::vector<std::string>{"X", "Y"}));
}

TEST(KR_ChunkList, NamesEndingInACarriageReturnReadBackWhole)
{
    // Reading keeps "X\r" and "\r" as names; writing them must not lose their last '\r'.
    for (const char* pText : {"A.dae\r\n\r\r\n", "X\r\r\nY", "Y\nX\r\r"})
    {
        KB_GrowingArray<KB_String> gNames;
        KR_ChunkList::ParseText(pText, gNames);
        const std::string sWritten = KR_ChunkList::CreateText(gNames).GetBuffer();
        std::vector<std::string> names;
        for (std::uint32_t i = 0; i < gNames.GetNumMembers(); ++i)
            names.push_back(gNames[i].GetBuffer());
        EXPECT_EQ(Parse(sWritten.c_str()), names) << pText;
        EXPECT_STREQ(KR_ChunkList::CreateText(gNames).GetBuffer(), sWritten.c_str());
    }
    KB_GrowingArray<KB_String> gNames;
    gNames.Add("A\r");
    gNames.Add("\r");
    EXPECT_STREQ(KR_ChunkList::CreateText(gNames).GetBuffer(), "A\r\r\n\r\r");
}

} // namespace
