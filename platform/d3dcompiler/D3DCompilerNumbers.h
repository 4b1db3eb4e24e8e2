#pragma once
// Internal to the HLSL compiler stand-in: preprocessing numbers as C reads them. A preprocessing
// number begins with a digit, or a dot and a digit, and goes on over digits, letters, underscores,
// dots, and a sign right after e, E, p or P; only some of them are constants of C.

#include <string>
#include <string_view>

namespace d3dcompiler_internal
{

// The token is a preprocessing number ("1", "0x0F", "1.5f", ".25"): it begins with a digit, or a
// dot and a digit.
bool IsNumberToken(std::string_view token);

// The token is a name, an identifier or a keyword: it begins with a letter or an underscore.
bool IsNameToken(std::string_view token);

// The character c continues a preprocessing number whose last character is cPrevious.
bool ContinuesNumber(char cPrevious, char c);

// The text is an integer constant or a floating constant of C99, decimal or hexadecimal, with
// the suffixes C gives them: "1uu", "0xe+1", "1_000", "08" and "2.0h" are preprocessing numbers
// but no constant.
bool IsNumericConstant(std::string_view text);

// The suffix of an integer constant: u or U, and l, L, ll or LL, in either order, each at most
// once; *pUnsigned, if given, tells whether it holds u or U.
bool IsIntegerSuffix(std::string_view suffix, bool* pUnsigned = nullptr);

// A preprocessing number reads as floating rather than integer: it holds a dot or an exponent
// (e or E in a decimal number, p or P in a hexadecimal one).
bool IsFloatingNumber(std::string_view text);

// How the effects read the numbers of the text they are given. A float is read with strtof, which
// stops at a suffix and reads an octal constant's digits as decimal ("010" as 10, where the
// constant is 8): the text is taken when it is a numeric constant, not octal, and its value a
// finite float.
bool ReadsAsFloat(const std::string& text);
// An unsigned integer is read with strtoul in base 0, which stops at a suffix: the text is taken
// when it is an integer constant (without a sign) whose value is at most uiMax.
bool ReadsAsUnsigned(const std::string& text, unsigned long long uiMax);

} // namespace d3dcompiler_internal
