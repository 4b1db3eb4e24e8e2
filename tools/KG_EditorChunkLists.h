#pragma once
// The world models every editor window can add to a scene as chunks, shared by all windows:
// rebuilt by each new window, emptied when every window agreed to close.
//
// Each entry keeps three parallel values: the lower-cased path "assets/models/world/<name>"
// (what the lists compare and show), its FNV-1a hash, and the model's file name as found (used for
// every file operation: the directory repository is case-sensitive). A model found in more than
// one repository is listed once, as the first repository names it. Main thread only.

#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"

#include <cstdint>

namespace K_GUI
{

class KG_EditorChunkLists
{
public:
    static constexpr const char* WORLD_MODEL_FOLDER = "Assets/Models/World/";
    static constexpr const char* LOWER_PREFIX = "assets/models/world/";
    static constexpr std::uint32_t PREFIX_LENGTH = 20;

    // Lists "Assets/Models/World/*.dae" through the engine's file manager.
    static void CreateListOfAllChunks();
    static void ClearListsOfAllChunks();

    static const KB_GrowingArray<KB_String>& GetAllAvailableChunks();
    static const KB_GrowingArray<std::uint32_t>& GetAllAvailableChunkHashes();
    static const KB_GrowingArray<KB_String>& GetAllAvailableChunkFiles();

    // ASCII A-Z lowered, nothing else changed.
    static KB_String LowerAscii(const KB_String& s);
    static std::uint32_t Hash(const KB_String& s);
    // The entry without the 20-character prefix when it carries it (in any case); else the whole
    // entry (a hand-edited list may hold short lines).
    static KB_String StripPrefix(const KB_String& sEntry);
};

} // namespace K_GUI
