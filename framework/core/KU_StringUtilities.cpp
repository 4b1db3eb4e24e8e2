#include "framework/core/KU_StringUtilities.h"

#include <cstring>

namespace
{

constexpr std::uint64_t MAX_PATTERN_LENGTH = 259;

} // namespace

void SplitLines(KB_GrowingArray<KB_String>& out, const char* pText)
{
    if (pText == nullptr)
        return;
    const char* pLine = pText;
    for (;;)
    {
        const char* pBreak = std::strstr(pLine, "\n");
        const std::size_t uiLength =
            pBreak != nullptr ? static_cast<std::size_t>(pBreak - pLine) : std::strlen(pLine);
        if (uiLength > 0)
        {
            KB_String line;
            std::memcpy(line.SetLength(uiLength), pLine, uiLength);
            out.Add(line);
        }
        if (pBreak == nullptr)
            return;
        pLine = pBreak + 1;
    }
}

bool MatchWildcard(KB_String pattern, const KB_String& name)
{
    if (pattern.GetLength() > MAX_PATTERN_LENGTH)
        return false;
    const char* pPattern = pattern.GetBuffer();
    const char* pName = name.GetBuffer();
    const std::uint64_t uiPatternLength = pattern.GetLength();
    const std::uint64_t uiNameLength = name.GetLength();

    // Greedy scan that remembers the last '*': on a mismatch the '*' takes one more character.
    // Linear in the name for each '*', so O(pattern x name) at worst.
    std::uint64_t p = 0;
    std::uint64_t n = 0;
    std::uint64_t uiStarPattern = 0;
    std::uint64_t uiStarName = 0;
    bool bHaveStar = false;
    while (n < uiNameLength)
    {
        if (p < uiPatternLength && pPattern[p] == '*')
        {
            bHaveStar = true;
            uiStarPattern = ++p;
            uiStarName = n;
        }
        else if (p < uiPatternLength && (pPattern[p] == '?' || pPattern[p] == pName[n]))
        {
            ++p;
            ++n;
        }
        else if (bHaveStar)
        {
            p = uiStarPattern;
            n = ++uiStarName;
        }
        else
        {
            return false;
        }
    }
    while (p < uiPatternLength && pPattern[p] == '*')
        ++p;
    return p == uiPatternLength;
}
