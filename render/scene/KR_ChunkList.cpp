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
    KB_String sText;
    for (std::uint32_t i = 0; i < gNames.GetNumMembers(); ++i)
    {
        if (i > 0)
            sText += "\n";
        sText += gNames[i];
        // Reading drops one '\r' at a line's end: a name that ends in one gets another, so that
        // it reads back whole rather than shortened (or, a lone "\r", dropped).
        const std::uint64_t uiLength = gNames[i].GetLength();
        if (uiLength > 0 && gNames[i][uiLength - 1] == '\r')
            sText += "\r";
    }
    return sText;
}
