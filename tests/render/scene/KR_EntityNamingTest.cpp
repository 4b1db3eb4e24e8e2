#include "render/scene/KR_EntityNaming.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

std::vector<std::string> Names(const KB_GrowingArray<KB_String>& gNames)
{
    std::vector<std::string> names;
    for (std::uint32_t i = 0; i < gNames.GetNumMembers(); ++i)
        names.push_back(gNames[i].GetBuffer());
    return names;
}

TEST(KR_EntityNaming, NumbersHaveAtLeastTwoDigits)
{
    EXPECT_STREQ(KR_EntityNaming::GetNumber(0).GetBuffer(), "00");
    EXPECT_STREQ(KR_EntityNaming::GetNumber(9).GetBuffer(), "09");
    EXPECT_STREQ(KR_EntityNaming::GetNumber(10).GetBuffer(), "10");
    EXPECT_STREQ(KR_EntityNaming::GetNumber(123).GetBuffer(), "123");
    EXPECT_STREQ(KR_EntityNaming::GetBaseName("Scene1", "_OmniLight", 11).GetBuffer(), "Scene1_OmniLight11");
}

TEST(KR_EntityNaming, DuplicatesIgnoringCaseKeepTheFirstCopy)
{
    KB_GrowingArray<KB_String> gNames;
    for (const char* pName : {"b.int", "A.int", "B.INT", "c.int", "a.int", "a.int", "C.int"})
        gNames.Add(pName);
    KR_EntityNaming::RemoveDuplicateNames(gNames);
    EXPECT_EQ(Names(gNames), (std::vector<std::string>{"b.int", "A.int", "c.int"}));

    KB_GrowingArray<KB_String> gEmpty;
    KR_EntityNaming::RemoveDuplicateNames(gEmpty);
    EXPECT_EQ(gEmpty.GetNumMembers(), 0u);
}

} // namespace
