#pragma once
// Names of a scene's entity files and the listing rule that decides which files it loads. Saved
// entities are numbered by their array position with at least two digits ("00" to "09", then
// "10", "123"), renumbered from 0 on every save, so a file name is a pure function of the scene
// name, the kind word and the index. Static only; any thread.

#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"

#include <cstdint>

class KR_EntityNaming
{
public:
    KR_EntityNaming() = delete;

    // The index in decimal with a "0" in front below 10.
    static KB_String GetNumber(std::uint32_t uiIndex);
    // Scene name + kind word + number, e.g. ("Scene1", "_OmniLight", 3) -> "Scene1_OmniLight03".
    static KB_String GetBaseName(const KB_String& sSceneName, const char* pKindWord, std::uint32_t uiIndex);
    // Drops every name equal to an earlier one without regard to case, keeping the order of the
    // rest. A listing over several repositories names a file once per repository that holds it;
    // the first copy is the one reads get, so it is the one kept.
    static void RemoveDuplicateNames(KB_GrowingArray<KB_String>& gNames);
};
