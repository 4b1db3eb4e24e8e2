#include "tools/KG_EditorParsing.h"

#include "platform/forms/FormsMessageBox.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace K_GUI
{

namespace
{

const forms::CultureInfo& EnUs()
{
    static const forms::CultureInfo culture("en-US");
    return culture;
}

std::string Trim(const std::string& s)
{
    const char* pBlank = " \t\r\n\v\f";
    const std::size_t uiFirst = s.find_first_not_of(pBlank);
    if (uiFirst == std::string::npos)
        return std::string();
    return s.substr(uiFirst, s.find_last_not_of(pBlank) - uiFirst + 1);
}

// Split at every single space: two blanks in a row give an empty part, as the editor always did.
std::vector<std::string> SplitAtSpaces(const std::string& s)
{
    std::vector<std::string> aParts;
    std::size_t uiStart = 0;
    for (;;)
    {
        const std::size_t uiSpace = s.find(' ', uiStart);
        aParts.push_back(s.substr(uiStart, uiSpace - uiStart));
        if (uiSpace == std::string::npos)
            return aParts;
        uiStart = uiSpace + 1;
    }
}

void Warn(const char* pFormat, const std::string& sLabel)
{
    char text[512];
    std::snprintf(text, sizeof(text), pFormat, sLabel.c_str());
    forms::MessageBox::Show(text, KG_EditorParsing::INVALID_DATA_CAPTION, forms::MessageBoxButtons::OK,
                            forms::MessageBoxIcon::Warning);
}

// 0: parsed, 1: wrong number of parts, 2: a part that is not a number.
int ParseParts(const std::string& sText, unsigned int uiCount, float* pOut)
{
    const std::vector<std::string> aParts = SplitAtSpaces(Trim(sText));
    if (aParts.size() != uiCount)
        return 1;
    std::vector<float> aValues(uiCount, 0.0f);
    for (unsigned int i = 0; i < uiCount; ++i)
        if (!KG_EditorParsing::TryParseFloat(aParts[i], EnUs(), &aValues[i]))
            return 2;
    for (unsigned int i = 0; i < uiCount; ++i)
        pOut[i] = aValues[i];
    return 0;
}

} // namespace

bool KG_EditorParsing::TryParseFloat(const std::string& sText, const forms::CultureInfo& culture, float* pOut)
{
    float fValue = 0.0f;
    if (!forms::Single::TryParse(sText, forms::NumberStyles::Float, culture, &fValue) ||
        !std::isfinite(fValue))
        return false;
    *pOut = fValue;
    return true;
}

bool KG_EditorParsing::TryParseDouble(const std::string& sText, const forms::CultureInfo& culture,
                                      double* pOut)
{
    double fValue = 0.0;
    if (!forms::Double::TryParse(sText, forms::NumberStyles::Float, culture, &fValue) ||
        !std::isfinite(fValue))
        return false;
    *pOut = fValue;
    return true;
}

bool KG_EditorParsing::TryParseFloats(const std::string& sText, unsigned int uiCount, float* pOut)
{
    return ParseParts(sText, uiCount, pOut) == 0;
}

bool KG_EditorParsing::ParseVector(const std::string& sText, const std::string& sLabel, float* pX, float* pY,
                                   float* pZ)
{
    float afValues[3] = {0.0f, 0.0f, 0.0f};
    const int iResult = ParseParts(sText, 3, afValues);
    if (iResult == 1)
        Warn("String for %s does not consist of 3 float values. No Camera created.", sLabel);
    else if (iResult == 2)
        Warn("Could not convert one of the values for %s to a float value. No Camera created.", sLabel);
    if (iResult != 0)
        return false;
    *pX = afValues[0];
    *pY = afValues[1];
    *pZ = afValues[2];
    return true;
}

bool KG_EditorParsing::ParseVector2(const std::string& sText, const std::string& sLabel, float* pX, float* pY)
{
    float afValues[2] = {0.0f, 0.0f};
    const int iResult = ParseParts(sText, 2, afValues);
    if (iResult == 1)
        Warn("String for %s does not consist of 2 float values", sLabel);
    else if (iResult == 2)
        Warn("Could not convert one of the values for %s to a float value.", sLabel);
    if (iResult != 0)
        return false;
    *pX = afValues[0];
    *pY = afValues[1];
    return true;
}

std::string KG_EditorParsing::FormatVector(float fX, float fY, float fZ)
{
    return forms::Single::ToString(fX, "G", EnUs()) + " " + forms::Single::ToString(fY, "G", EnUs()) + " " +
           forms::Single::ToString(fZ, "G", EnUs());
}

} // namespace K_GUI
