#include "render/scene/KR_ChunkList.h"

#include "framework/core/KU_StringUtilities.h"

void KR_ChunkList::ParseText(const char* pText, KB_GrowingArray<KB_String>& gNames)
{
    KB_GrowingArray<KB_String> gLines;
    SplitLines(gLines, pText);
    for (std::uint32_t i = 0; i < gLines.GetNumMembers(); ++i)
    {
        KB_String sLine = gLines[i];
        const std::uint64_t uiLength = sLine.GetLength();
        if (uiLength > 0 && sLine[uiLength - 1] == '\r')
            sLine = sLine.SubString(uiLength - 1, 0);
        if (sLine.GetLength() > 0)
            gNames.Add(sLine);
    }
}

KB_String KR_ChunkList::CreateText(const KB_GrowingArray<KB_String>& gNames)
{
    if (gNames.GetNumMembers() == 0)
        return KB_String("\n");
    KB_String sText = gNames[0];
    for (std::uint32_t i = 1; i < gNames.GetNumMembers(); ++i)
    {
        sText += "\n";
        sText += gNames[i];
    }
    return sText;
}
