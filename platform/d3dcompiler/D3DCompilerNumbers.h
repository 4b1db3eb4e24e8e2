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

// A floating constant of C99 with HLSL's half suffix, h or H, in place of f or l ("0.5h", "1.e3H";
// not "1h", which is no floating constant, nor "1.0fh"). IsNumericConstant, which reads C, takes
// none of them.
bool IsHalfConstant(std::string_view text);

// How the effects read the numbers of the text they are given. A float is read with strtof, which
// stops at a suffix and reads an octal constant's digits as decimal ("010" as 10, where the
// constant is 8): the text is taken when it is a numeric constant, not octal, and its value a
// finite float. A half constant is taken where half precision holds that float exactly, so that
// the half HLSL makes of it and the float the effects read are one value ("0.5h", "1.5h", not
// "0.1h" nor "1e5h").
bool ReadsAsFloat(const std::string& text);
// A half constant ReadsAsFloat refuses for its value alone: half precision does not hold it.
bool IsInexactHalf(const std::string& text);
// Why ReadsAsFloat refuses an inexact half, for its error.
constexpr const char* INEXACT_HALF =
    "half precision does not hold its value exactly, and the effects read it as a float";
// An unsigned integer is read with strtoul in base 0, which stops at a suffix: the text is taken
// when it is an integer constant (without a sign) whose value is at most uiMax.
bool ReadsAsUnsigned(const std::string& text, unsigned long long uiMax);
// An integer member written as a float, which HLSL converts to the integer without loss when its
// value is whole. The effects read it with strtol or strtoul in base 0, which stop at the dot
// ("1.0" as 1, "1e1" as 1, "010.0" as the octal 8): the text is taken when it is a decimal
// floating constant without a sign or an exponent, ReadsAsFloat takes it, its fraction's digits
// are all 0, and strtoull reads the same value as strtof, at most uiMax.
bool ReadsAsWholeFloat(const std::string& text, unsigned long long uiMax);

} // namespace d3dcompiler_internal
