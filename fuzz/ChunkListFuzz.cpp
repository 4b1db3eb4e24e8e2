// Fuzzes the chunk-list text: the bytes up to the first NUL are read as a list, the list is
// written and the written text must read back to the same names, and writing those again must
// give the same text.

#include "render/scene/KR_ChunkList.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace
{

bool SameNames(const KB_GrowingArray<KB_String>& gA, const KB_GrowingArray<KB_String>& gB)
{
    if (gA.GetNumMembers() != gB.GetNumMembers())
        return false;
    for (std::uint32_t i = 0; i < gA.GetNumMembers(); ++i)
        if (gA[i].GetLength() != gB[i].GetLength() ||
            std::memcmp(gA[i].GetBuffer(), gB[i].GetBuffer(), gA[i].GetLength()) != 0)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize)
{
    // The file manager hands readers their data with a NUL after the last byte.
    const std::string sText(reinterpret_cast<const char*>(pData), uiSize);
    KB_GrowingArray<KB_String> gNames;
    KR_ChunkList::ParseText(sText.c_str(), gNames);
    for (std::uint32_t i = 0; i < gNames.GetNumMembers(); ++i)
        if (gNames[i].GetLength() == 0 || std::memchr(gNames[i].GetBuffer(), '\n', gNames[i].GetLength()))
            __builtin_trap();

    const KB_String sWritten = KR_ChunkList::CreateText(gNames);
    KB_GrowingArray<KB_String> gRead;
    KR_ChunkList::ParseText(sWritten.GetBuffer(), gRead);
    if (!SameNames(gNames, gRead))
        __builtin_trap();
    if (std::strcmp(KR_ChunkList::CreateText(gRead).GetBuffer(), sWritten.GetBuffer()) != 0)
        __builtin_trap();
    return 0;
}
