#include "timing/KU_TextFileHeader.h"

#include <cstring>
#include <string>
#include <string_view>

namespace
{

constexpr const char* COMMENT_BLOCK[] = {
    "# ",
    "# Text data file: one key and its values per line.",
    "# ",
    "# The legend below names the keys this kind of file holds.",
    "# A key comes first on its line, its values follow, separated by blanks.",
    "# Lines whose first word is \"#\" are comments; other unknown keys are skipped.",
    "# Numbers use '.' as the decimal point; times are in seconds.",
    "# Each line, this header included, ends with a single line feed.",
    "# Saving from the program rewrites the whole file in this layout,",
    "# so comments added by hand are not kept.",
    "# ",
};

void AppendLine(std::string& sText, const char* pLine)
{
    if (pLine)
        sText += pLine;
    sText += '\n';
}

} // namespace

KB_String KU_CreateTextFileHeader(const char* pTitle, const char* pCommentLegend,
                                  const char* const* ppLegendLines, std::uint32_t uiNumLegendLines)
{
    std::string sText;
    for (const char* pLine : COMMENT_BLOCK)
        AppendLine(sText, pLine);
    AppendLine(sText, "# ");
    AppendLine(sText, pTitle);
    AppendLine(sText, "# ");
    AppendLine(sText, pCommentLegend);
    for (std::uint32_t i = 0; ppLegendLines && i < uiNumLegendLines; ++i)
        AppendLine(sText, ppLegendLines[i]);
    AppendLine(sText, "# ");
    return KB_String(sText.c_str());
}

std::string_view KU_GetTextFileLineValue(const KB_String& sValue)
{
    const char* pValue = sValue.GetBuffer();
    if (pValue == nullptr)
        return std::string_view();
    const std::size_t uiLength = std::strcspn(pValue, "\r\n");
    return std::string_view(pValue, uiLength);
}

void KU_AppendTextFileLine(std::string& sText, const char* pKey, const KB_String& sValue)
{
    // A value that begins with a line end writes nothing either: its key line would read back as
    // an empty value, so the file would change on every save.
    const std::string_view value = KU_GetTextFileLineValue(sValue);
    if (value.empty())
        return;
    sText += pKey;
    sText += ' ';
    sText += value;
    sText += '\n';
}
