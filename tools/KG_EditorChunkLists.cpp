#include "tools/KG_EditorChunkLists.h"

#include "framework/app/KE_EngineMembers.h"
#include "framework/core/KU_HashUtilities.h"
#include "framework/files/KF_FileManager.h"

namespace K_GUI
{

namespace
{

KB_GrowingArray<KB_String> s_gAllAvailableChunks;
KB_GrowingArray<std::uint32_t> s_gAllAvailableChunkHashes;
KB_GrowingArray<KB_String> s_gAllAvailableChunkFiles;

} // namespace

KB_String KG_EditorChunkLists::LowerAscii(const KB_String& s)
{
    KB_String sOut(s);
    char* p = sOut.GetBuffer();
    for (std::uint64_t i = 0; i < sOut.GetLength(); ++i)
        if (p[i] >= 'A' && p[i] <= 'Z')
            p[i] = char(p[i] - 'A' + 'a');
    return sOut;
}

std::uint32_t KG_EditorChunkLists::Hash(const KB_String& s)
{
    return KU_HashUtilities::HashFNV1a32(reinterpret_cast<const std::uint8_t*>(s.GetBuffer()),
                                         static_cast<std::uint32_t>(s.GetLength()));
}

KB_String KG_EditorChunkLists::StripPrefix(const KB_String& sEntry)
{
    if (sEntry.GetLength() < PREFIX_LENGTH || LowerAscii(sEntry.SubString(PREFIX_LENGTH, 0)) != LOWER_PREFIX)
        return sEntry;
    return sEntry.SubString(sEntry.GetLength() - PREFIX_LENGTH, PREFIX_LENGTH);
}

void KG_EditorChunkLists::CreateListOfAllChunks()
{
    s_gAllAvailableChunks.RemoveAll();
    s_gAllAvailableChunkHashes.RemoveAll();
    s_gAllAvailableChunkFiles.RemoveAll();
    KF_FileManager* pFiles = KE_GetFileManager();
    if (pFiles == nullptr)
        return;
    KB_GrowingArray<KB_String> gFound;
    pFiles->FindFiles(KB_String(WORLD_MODEL_FOLDER) + "*.dae", gFound);
    for (std::uint32_t i = 0; i < gFound.GetNumMembers(); ++i)
    {
        const KB_String sPath = KB_String(LOWER_PREFIX) + LowerAscii(gFound[i]);
        const std::uint32_t uiHash = Hash(sPath);
        // Every repository answers for itself: the first one's entry stands.
        bool bKnown = false;
        for (std::uint32_t k = 0; k < s_gAllAvailableChunkHashes.GetNumMembers() && !bKnown; ++k)
            bKnown = s_gAllAvailableChunkHashes[k] == uiHash && s_gAllAvailableChunks[k] == sPath;
        if (bKnown)
            continue;
        s_gAllAvailableChunks.Add(sPath);
        s_gAllAvailableChunkHashes.Add(uiHash);
        s_gAllAvailableChunkFiles.Add(gFound[i]);
    }
}

void KG_EditorChunkLists::ClearListsOfAllChunks()
{
    s_gAllAvailableChunks.RemoveAll();
    s_gAllAvailableChunkHashes.RemoveAll();
    s_gAllAvailableChunkFiles.RemoveAll();
}

const KB_GrowingArray<KB_String>& KG_EditorChunkLists::GetAllAvailableChunks()
{
    return s_gAllAvailableChunks;
}

const KB_GrowingArray<std::uint32_t>& KG_EditorChunkLists::GetAllAvailableChunkHashes()
{
    return s_gAllAvailableChunkHashes;
}

const KB_GrowingArray<KB_String>& KG_EditorChunkLists::GetAllAvailableChunkFiles()
{
    return s_gAllAvailableChunkFiles;
}

} // namespace K_GUI
