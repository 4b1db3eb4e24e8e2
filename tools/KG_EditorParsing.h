#pragma once
// Number and vector parsing for the editor pages. Numbers follow a culture's rules (the pages use
// en-US, the light times the user's culture); values that are not finite never parse, so a typed
// "NaN" or "Infinity" can never reach an entity or curve file.
//
// ParseVector/ParseVector2 report what went wrong in a warning box (OK button, caption
// "Invalid Data Warning") and answer false; the quiet forms answer false without a box, for boxes
// parsed on every keystroke.

#include "platform/forms/FormsCulture.h"

#include <string>

namespace K_GUI
{

class KG_EditorParsing
{
public:
    static constexpr const char* INVALID_DATA_CAPTION = "Invalid Data Warning";

    // A finite float (double) in the culture's rules; *pOut is changed only on success.
    static bool TryParseFloat(const std::string& sText, const forms::CultureInfo& culture, float* pOut);
    static bool TryParseDouble(const std::string& sText, const forms::CultureInfo& culture, double* pOut);

    // Trimmed text split at single spaces into exactly uiCount finite en-US floats; false
    // otherwise (pOut untouched then).
    static bool TryParseFloats(const std::string& sText, unsigned int uiCount, float* pOut);

    // Three (two) floats; on failure a box names sLabel and false is answered.
    static bool ParseVector(const std::string& sText, const std::string& sLabel, float* pX, float* pY,
                            float* pZ);
    static bool ParseVector2(const std::string& sText, const std::string& sLabel, float* pX, float* pY);

    // Three numbers joined by single spaces, in en-US ("G" format).
    static std::string FormatVector(float fX, float fY, float fZ);
};

} // namespace K_GUI
