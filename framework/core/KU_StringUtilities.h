#pragma once
// Line splitting and wildcard matching on text. Free functions; any thread.

#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"

// Appends to out every non-empty line of the NUL-terminated text, split at "\n". A '\r' before
// a line break stays part of its line. Null text appends nothing.
void SplitLines(KB_GrowingArray<KB_String>& out, const char* pText);

// True when the whole name matches the whole pattern, case-sensitively: '*' stands for any run
// of characters (also none), '?' for exactly one, every other character for itself. A pattern
// of 260 characters or more never matches.
bool MatchWildcard(KB_String pattern, const KB_String& name);
