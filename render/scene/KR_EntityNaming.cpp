#include "render/scene/KR_EntityNaming.h"

KB_String KR_EntityNaming::GetNumber(std::uint32_t uiIndex)
{
    return KB_String::Formatted(uiIndex < 10 ? "0%u" : "%u", uiIndex);
}

KB_String KR_EntityNaming::GetBaseName(const KB_String& sSceneName, const char* pKindWord,
                                       std::uint32_t uiIndex)
{
    return sSceneName + pKindWord + GetNumber(uiIndex);
}

void KR_EntityNaming::RemoveDuplicateNames(KB_GrowingArray<KB_String>& gNames)
{
    std::uint32_t i = 0;
    while (i < gNames.GetNumMembers())
    {
        bool bSeen = false;
        for (std::uint32_t j = 0; j < i && !bSeen; ++j)
            bSeen = gNames[j].CompareNoCase(gNames[i]) == 0;
        if (bSeen)
            gNames.Remove(i, false);
        else
            ++i;
    }
    gNames.ShrinkArrayIfNecessary();
}
