#pragma once
// The header every text curve and entity file of the program begins with: a fixed block of eleven
// comment lines on the format, "# ", the file kind's title line, "# ", the comment legend line,
// one legend line per key and "# ". Every line begins with "#", so readers skip the whole header.
// Free function; any thread.

#include "framework/core/KB_String.h"

#include "timing/KU_TextFileNumber.h"

#include <cstdint>
#include <string>
#include <string_view>

// Comment legend lines: curve, camera and audio entity files use the first, light and cube-map
// placer files the second.
inline constexpr const char* KU_HASH_COMMENT_LEGEND = "# # == comment line";
inline constexpr const char* KU_PLAIN_COMMENT_LEGEND = "# == comment line";

// The header text, every line ending in "\n". Lines are passed without their line end: pTitle
// such as "# Simple Vertex Interpolation file", pCommentLegend one of the legends above, and
// uiNumLegendLines lines at ppLegendLines such as "# s == start time stamp (double)". A null line
// is written as an empty one.
KB_String KU_CreateTextFileHeader(const char* pTitle, const char* pCommentLegend,
                                  const char* const* ppLegendLines, std::uint32_t uiNumLegendLines);

// What a writer puts after a key whose value is free text (a debug name, a path): the text up to
// its first line end, so that a value can never start a line of its own and be read as a key.
std::string_view KU_GetTextFileLineValue(const KB_String& sValue);

// One key line of free text: the key, a blank, the value (as KU_GetTextFileLineValue gives it) and
// a line end; nothing when that value is empty (also for a value that begins with a line end).
void KU_AppendTextFileLine(std::string& sText, const char* pKey, const KB_String& sValue);

// One key line of numbers: the key, then each value after a blank as KU_TextFileNumber writes it,
// and a line end.
template <typename T>
void KU_AppendTextFileNumbers(std::string& sText, const char* pKey, const T* pValues, std::uint32_t uiCount)
{
    sText += pKey;
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        sText += ' ';
        sText += KU_TextFileNumber::Format(static_cast<double>(pValues[i]));
    }
    sText += '\n';
}

inline void KU_AppendTextFileNumber(std::string& sText, const char* pKey, double fValue)
{
    KU_AppendTextFileNumbers(sText, pKey, &fValue, 1);
}
