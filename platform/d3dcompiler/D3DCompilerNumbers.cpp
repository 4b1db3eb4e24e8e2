#include "platform/d3dcompiler/D3DCompilerNumbers.h"

#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdlib>

namespace d3dcompiler_internal
{

namespace
{

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsHexDigit(char c)
{
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsHexadecimal(std::string_view text)
{
    return text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

// The end of the digits of the base given that begin at uiFrom.
std::size_t DigitsEnd(std::string_view text, std::size_t uiFrom, bool bHex)
{
    while (uiFrom < text.size() && (bHex ? IsHexDigit(text[uiFrom]) : IsDigit(text[uiFrom])))
        ++uiFrom;
    return uiFrom;
}

// Half precision: 11 significant bits, exponents from -14 (subnormal below, down to 2^-24) to 15.
bool IsExactInHalf(float fValue)
{
    const double f = std::fabs(static_cast<double>(fValue));
    if (f == 0.0)
        return true;
    if (f > 65504.0)
        return false;
    int iExponent = 0;
    std::frexp(f, &iExponent); // f = m * 2^iExponent, m in [0.5, 1)
    const int iLowest = (iExponent - 1 < -14 ? -14 : iExponent - 1) - 10;
    const double fSteps = std::ldexp(f, -iLowest);
    return fSteps == std::floor(fSteps);
}

} // namespace

bool IsIntegerSuffix(std::string_view suffix, bool* pUnsigned)
{
    const bool bUnsigned = !suffix.empty() && (suffix.front() == 'u' || suffix.front() == 'U' ||
                                               suffix.back() == 'u' || suffix.back() == 'U');
    if (bUnsigned && (suffix.front() == 'u' || suffix.front() == 'U'))
        suffix.remove_prefix(1);
    else if (bUnsigned)
        suffix.remove_suffix(1);
    if (pUnsigned != nullptr)
        *pUnsigned = bUnsigned;
    return suffix.empty() || suffix == "l" || suffix == "L" || suffix == "ll" || suffix == "LL";
}

bool ContinuesNumber(char cPrevious, char c)
{
    if (c == '+' || c == '-')
        return cPrevious == 'e' || cPrevious == 'E' || cPrevious == 'p' || cPrevious == 'P';
    return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '.' ||
           c == '\\';
}

bool IsNumberToken(std::string_view token)
{
    const std::size_t uiDigit = !token.empty() && token[0] == '.' ? 1 : 0;
    return uiDigit < token.size() && std::isdigit(static_cast<unsigned char>(token[uiDigit])) != 0;
}

bool IsNameToken(std::string_view token)
{
    return !token.empty() && (std::isalpha(static_cast<unsigned char>(token[0])) != 0 || token[0] == '_');
}

bool IsNumericConstant(std::string_view text)
{
    const bool bHex = IsHexadecimal(text);
    const std::size_t uiStart = bHex ? 2 : 0;
    std::size_t i = DigitsEnd(text, uiStart, bHex);
    std::size_t uiDigits = i - uiStart;
    bool bFloating = false;
    if (i < text.size() && text[i] == '.')
    {
        const std::size_t uiFraction = DigitsEnd(text, i + 1, bHex);
        uiDigits += uiFraction - (i + 1);
        i = uiFraction;
        bFloating = true;
    }
    if (uiDigits == 0)
        return false;
    const char cExponent = bHex ? 'p' : 'e';
    if (i < text.size() && (text[i] == cExponent || text[i] == cExponent - 'a' + 'A'))
    {
        i += i + 1 < text.size() && (text[i + 1] == '+' || text[i + 1] == '-') ? 2 : 1;
        const std::size_t uiExponent = DigitsEnd(text, i, false);
        if (uiExponent == i)
            return false;
        i = uiExponent;
        bFloating = true;
    }
    else if (bHex && bFloating)
    {
        return false; // a hexadecimal floating constant has an exponent
    }
    const std::string_view suffix = text.substr(i);
    if (bFloating)
        return suffix.empty() || (suffix.size() == 1 && (suffix[0] == 'f' || suffix[0] == 'F' ||
                                                         suffix[0] == 'l' || suffix[0] == 'L'));
    // An octal constant: a 0 and octal digits.
    if (!bHex && text[0] == '0')
        for (std::size_t j = 1; j < text.size() - suffix.size(); ++j)
            if (text[j] > '7')
                return false;
    return IsIntegerSuffix(suffix);
}

bool IsFloatingNumber(std::string_view text)
{
    const bool bHex = IsHexadecimal(text);
    for (std::size_t i = bHex ? 2 : 0; i < text.size(); ++i)
    {
        const char c = text[i];
        if (c == '.' || (bHex ? c == 'p' || c == 'P' : c == 'e' || c == 'E'))
            return true;
    }
    return false;
}

bool IsHalfConstant(std::string_view text)
{
    if (text.size() < 3 || (text.back() != 'h' && text.back() != 'H'))
        return false;
    text.remove_suffix(1);
    return (IsDigit(text.back()) || text.back() == '.') && IsFloatingNumber(text) && IsNumericConstant(text);
}

bool ReadsAsFloat(const std::string& text)
{
    const bool bHalf = IsHalfConstant(text);
    if (!bHalf && !IsNumericConstant(text))
        return false;
    if (!IsHexadecimal(text) && !IsFloatingNumber(text) && text[0] == '0' && text.size() > 1 &&
        IsDigit(text[1]))
        return false;
    const float fValue = std::strtof(text.c_str(), nullptr);
    return std::isfinite(fValue) && (!bHalf || IsExactInHalf(fValue));
}

bool IsInexactHalf(const std::string& text)
{
    return IsHalfConstant(text) && !ReadsAsFloat(text);
}

bool ReadsAsUnsigned(const std::string& text, unsigned long long uiMax)
{
    return IsNumericConstant(text) && !IsFloatingNumber(text) &&
           std::strtoull(text.c_str(), nullptr, 0) <= uiMax;
}

bool ReadsAsWholeFloat(const std::string& text, unsigned long long uiMax)
{
    if (IsHexadecimal(text) || text.find_first_of("eE") != std::string::npos || !IsFloatingNumber(text) ||
        !ReadsAsFloat(text))
        return false;
    for (std::size_t i = text.find('.') + 1; i < text.size() && IsDigit(text[i]); ++i)
        if (text[i] != '0')
            return false;
    const unsigned long long uiValue = std::strtoull(text.c_str(), nullptr, 0);
    return uiValue <= uiMax &&
           static_cast<double>(std::strtof(text.c_str(), nullptr)) == static_cast<double>(uiValue);
}

} // namespace d3dcompiler_internal
