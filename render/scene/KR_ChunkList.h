#pragma once
// The text of a scene's chunk list: one model path per line, lines separated by "\n". Reading
// drops one '\r' at the end of each line (so CR LF files read the same) and then every empty
// line; writing joins the names with "\n" and ends without a line break, and an empty list is
// the single byte "\n". A name that ends in '\r' is written with one more '\r', so that what is
// written reads back the same. The line order is the chunk index. Static only; any thread.

#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"

class KR_ChunkList
{
public:
    KR_ChunkList() = delete;

    // Appends the names of the NUL-terminated text (null appends nothing).
    static void ParseText(const char* pText, KB_GrowingArray<KB_String>& gNames);
    // The file text for the names.
    static KB_String CreateText(const KB_GrowingArray<KB_String>& gNames);
};
