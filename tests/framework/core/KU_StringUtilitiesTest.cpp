#include "framework/core/KU_StringUtilities.h"

#include <gtest/gtest.h>

#include <fnmatch.h>

#include <random>
#include <string>
#include <vector>

namespace
{

std::vector<std::string> Lines(const char* pText)
{
    KB_GrowingArray<KB_String> out;
    SplitLines(out, pText);
    std::vector<std::string> result;
    for (std::uint32_t i = 0; i < out.GetNumMembers(); ++i)
        result.emplace_back(out[i].GetBuffer(), out[i].GetLength());
    return result;
}

TEST(SplitLines, KeepsNonEmptyLinesInOrder)
{
    EXPECT_EQ(Lines("\nabc\n\ndef"), (std::vector<std::string>{"abc", "def"}));
    EXPECT_EQ(Lines("one\r\ntwo\r\n"), (std::vector<std::string>{"one\r", "two\r"}));
    EXPECT_EQ(Lines("\r\n\n"), (std::vector<std::string>{"\r"}));
    EXPECT_TRUE(Lines("").empty());
    EXPECT_TRUE(Lines("\n\n\n").empty());
    EXPECT_TRUE(Lines(nullptr).empty());

    KB_GrowingArray<KB_String> out;
    out.Add("kept");
    SplitLines(out, "x");
    ASSERT_EQ(out.GetNumMembers(), 2u) << "appends to what is there";
    EXPECT_EQ(out[1], KB_String("x"));
}

TEST(MatchWildcard, AnchoredAtBothEnds)
{
    struct Case
    {
        const char* pPattern;
        const char* pName;
        bool bMatch;
    };
    const Case cases[] = {
        {"*.aud", "a.aud", true},
        {"*.aud", "a.audio", false},
        {"*.aud", "a.int", false},
        {"*.aud", ".aud", true},
        {"", "", true},
        {"", "a", false},
        {"*", "", true},
        {"**", "", true},
        {"**", "abc", true},
        {"?", "", false},
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"*.AUD", "a.aud", false},
        {"x*", "yx", false},
        {"*x", "xy", false},
        {"a*b*c", "aXbYbZc", true},
        {"a*b*c", "aXbYc", true},
        {"a*b*c", "abcb", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MatchWildcard(c.pPattern, c.pName), c.bMatch) << c.pPattern << " vs " << c.pName;
    const std::string longPattern(260, '*');
    EXPECT_FALSE(MatchWildcard(longPattern.c_str(), "anything"));
    EXPECT_TRUE(MatchWildcard(std::string(259, '*').c_str(), "anything"));
}

TEST(MatchWildcard, AgreesWithFnmatchOnRandomPatterns)
{
    std::mt19937 random(27);
    const char patternAlphabet[] = {'*', '?', 'a', 'b', '.'};
    const char nameAlphabet[] = {'a', 'b', '.'};
    for (int i = 0; i < 20000; ++i)
    {
        std::string pattern(random() % 7, ' ');
        for (char& c : pattern)
            c = patternAlphabet[random() % sizeof(patternAlphabet)];
        std::string name(random() % 8, ' ');
        for (char& c : name)
            c = nameAlphabet[random() % sizeof(nameAlphabet)];
        const bool bExpected = fnmatch(pattern.c_str(), name.c_str(), FNM_NOESCAPE) == 0;
        ASSERT_EQ(MatchWildcard(pattern.c_str(), name.c_str()), bExpected)
            << "pattern '" << pattern << "' name '" << name << "'";
    }
}

} // namespace
