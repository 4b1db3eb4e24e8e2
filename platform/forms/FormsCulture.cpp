#include "platform/forms/FormsCulture.h"

#include "platform/forms/FormsInternal.h"

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <locale.h>
#include <mutex>
#include <vector>

namespace forms
{

namespace
{
struct CultureState
{
    std::mutex mutex;
    CultureInfo current{"en-US"};
};

CultureState& State()
{
    static CultureState* s_pState = new CultureState;
    return *s_pState;
}

bool IsWhite(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool Has(NumberStyles styles, NumberStyles flag)
{
    return (std::uint32_t(styles) & std::uint32_t(flag)) != 0;
}

bool StartsWith(const std::string& text, std::size_t at, const std::string& prefix)
{
    return !prefix.empty() && text.compare(at, prefix.size(), prefix) == 0;
}

// The text as a C-locale number ("-12.5e3"), or false when it is not a number in that style.
bool Canonical(const std::string& text, NumberStyles styles, const CultureInfo& culture, std::string* pOut)
{
    std::size_t i = 0;
    const std::size_t n = text.size();
    if (Has(styles, NumberStyles::AllowLeadingWhite))
        while (i < n && IsWhite(text[i]))
            ++i;
    std::string out;
    if (Has(styles, NumberStyles::AllowLeadingSign) && i < n && (text[i] == '-' || text[i] == '+'))
    {
        if (text[i] == '-')
            out += '-';
        ++i;
    }
    std::size_t digits = 0;
    while (i < n && text[i] >= '0' && text[i] <= '9')
    {
        out += text[i++];
        ++digits;
    }
    if (Has(styles, NumberStyles::AllowDecimalPoint) && StartsWith(text, i, culture.GetDecimalSeparator()))
    {
        i += culture.GetDecimalSeparator().size();
        out += '.';
        while (i < n && text[i] >= '0' && text[i] <= '9')
        {
            out += text[i++];
            ++digits;
        }
    }
    if (digits == 0)
        return false;
    if (Has(styles, NumberStyles::AllowExponent) && i < n && (text[i] == 'e' || text[i] == 'E'))
    {
        ++i;
        out += 'e';
        if (i < n && (text[i] == '-' || text[i] == '+'))
            out += text[i++];
        std::size_t exponentDigits = 0;
        while (i < n && text[i] >= '0' && text[i] <= '9')
        {
            out += text[i++];
            ++exponentDigits;
        }
        if (exponentDigits == 0)
            return false;
    }
    if (Has(styles, NumberStyles::AllowTrailingWhite))
        while (i < n && IsWhite(text[i]))
            ++i;
    if (i != n)
        return false;
    *pOut = out;
    return true;
}

locale_t CLocale()
{
    static locale_t s_locale = newlocale(LC_ALL_MASK, "C", locale_t(0));
    return s_locale;
}

// Every significant digit of |value| (finite, not zero) and the decimal exponent of the first.
void ExactDigits(double value, std::string* pDigits, int* pExponent)
{
    // 1100 digits hold the exact decimal expansion of every double, denormals included.
    std::vector<char> buffer(1200);
    std::snprintf(buffer.data(), buffer.size(), "%.1100e", std::fabs(value));
    const std::string text(buffer.data());
    const std::size_t e = text.find('e');
    std::string digits = text.substr(0, 1) + text.substr(2, e - 2);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    *pDigits = digits;
    *pExponent = std::atoi(text.c_str() + e + 1);
}

// Rounds a digit string to its first keep digits (keep may be <= 0), half away from zero. Returns
// the kept digits; *pCarry is set when rounding added a digit in front.
std::string RoundDigits(const std::string& digits, int keep, bool* pCarry)
{
    *pCarry = false;
    const bool up = keep >= 0 && std::size_t(keep) < digits.size() && digits[std::size_t(keep)] >= '5';
    std::string kept = keep <= 0 ? std::string() : digits.substr(0, std::size_t(keep));
    while (keep > 0 && kept.size() < std::size_t(keep))
        kept += '0';
    if (!up)
        return kept;
    int i = int(kept.size()) - 1;
    while (i >= 0 && kept[std::size_t(i)] == '9')
        kept[std::size_t(i--)] = '0';
    if (i >= 0)
    {
        ++kept[std::size_t(i)];
        return kept;
    }
    *pCarry = true;
    return "1" + kept;
}

std::string NonFinite(double value)
{
    if (std::isnan(value))
        return "NaN";
    return value < 0 ? "-Infinity" : "Infinity";
}

std::string FormatFixed(double value, int decimals, const CultureInfo& culture)
{
    std::string integer = "0";
    std::string fraction(std::size_t(decimals), '0');
    if (value != 0)
    {
        std::string digits;
        int exponent = 0;
        ExactDigits(value, &digits, &exponent);
        // Digits kept: those down to the last decimal.
        const int keep = exponent + 1 + decimals;
        bool carry = false;
        std::string kept = RoundDigits(digits, keep, &carry);
        if (kept.empty())
            kept = "0";
        // kept holds the number times 10^decimals.
        while (kept.size() < std::size_t(decimals) + 1)
            kept.insert(kept.begin(), '0');
        integer = kept.substr(0, kept.size() - std::size_t(decimals));
        fraction = kept.substr(kept.size() - std::size_t(decimals));
    }
    const bool zero = integer.find_first_not_of('0') == std::string::npos &&
                      fraction.find_first_not_of('0') == std::string::npos;
    std::string text = (value < 0 && !zero) ? "-" : "";
    text += integer;
    if (decimals > 0)
        text += culture.GetDecimalSeparator() + fraction;
    return text;
}

std::string FormatGeneral(double value, int precision, const CultureInfo& culture)
{
    if (value == 0)
        return "0";
    std::string digits;
    int exponent = 0;
    ExactDigits(value, &digits, &exponent);
    bool carry = false;
    std::string kept = RoundDigits(digits, precision, &carry);
    if (carry)
    {
        ++exponent;
        kept.pop_back();
    }
    while (kept.size() > 1 && kept.back() == '0')
        kept.pop_back();
    std::string text = value < 0 ? "-" : "";
    if (exponent > -5 && exponent < precision)
    {
        if (exponent >= 0)
        {
            while (kept.size() < std::size_t(exponent) + 1)
                kept += '0';
            text += kept.substr(0, std::size_t(exponent) + 1);
            if (kept.size() > std::size_t(exponent) + 1)
                text += culture.GetDecimalSeparator() + kept.substr(std::size_t(exponent) + 1);
        }
        else
        {
            text += "0" + culture.GetDecimalSeparator() + std::string(std::size_t(-exponent - 1), '0') + kept;
        }
        return text;
    }
    text += kept.substr(0, 1);
    if (kept.size() > 1)
        text += culture.GetDecimalSeparator() + kept.substr(1);
    char exponentText[16];
    std::snprintf(exponentText, sizeof exponentText, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
    return text + exponentText;
}

// "F3", "g", "": the kind letter (upper case) and the digit count (-1 when not given); false for
// another format.
bool ParseFormat(const std::string& format, char* pKind, int* pDigits)
{
    *pKind = 'G';
    *pDigits = -1;
    if (format.empty())
        return true;
    const char kind = format[0] == 'f' ? 'F' : format[0] == 'g' ? 'G' : format[0];
    if (kind != 'F' && kind != 'G')
        return false;
    *pKind = kind;
    if (format.size() == 1)
        return true;
    if (format.size() > 3)
        return false;
    int digits = 0;
    for (std::size_t i = 1; i < format.size(); ++i)
    {
        if (format[i] < '0' || format[i] > '9')
            return false;
        digits = digits * 10 + (format[i] - '0');
    }
    *pDigits = digits;
    return true;
}

std::string Format(double value, const std::string& format, const CultureInfo& culture, int generalDigits)
{
    if (!std::isfinite(value))
        return NonFinite(value);
    char kind = 'G';
    int digits = -1;
    if (!ParseFormat(format, &kind, &digits))
        kind = 'G', digits = -1; // an unknown format is a programming error; show the value all the same
    if (kind == 'F')
        return FormatFixed(value, digits < 0 ? 2 : digits, culture);
    return FormatGeneral(value, digits <= 0 ? generalDigits : digits, culture);
}
} // namespace

namespace forms_internal
{
void SetCurrentCulture(const std::string& name)
{
    CultureState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.current = CultureInfo(name);
}
} // namespace forms_internal

CultureInfo::CultureInfo(const std::string& name) : m_sName(name), m_sDecimalSeparator(".")
{
    if (name == "de-DE" || name == "fr-FR")
        m_sDecimalSeparator = ",";
}

const CultureInfo& CultureInfo::CurrentCulture()
{
    // The current culture is replaced only between tests; callers use it at once.
    CultureState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.current;
}

const CultureInfo& CultureInfo::InvariantCulture()
{
    static const CultureInfo* s_pInvariant = new CultureInfo("");
    return *s_pInvariant;
}

bool Single::TryParse(const std::string& text, NumberStyles styles, const CultureInfo& culture,
                      float* pResult)
{
    std::string canonical;
    if (!Canonical(text, styles, culture, &canonical))
        return false;
    const float value = strtof_l(canonical.c_str(), nullptr, CLocale());
    if (!std::isfinite(value))
        return false;
    *pResult = value;
    return true;
}

bool Double::TryParse(const std::string& text, NumberStyles styles, const CultureInfo& culture,
                      double* pResult)
{
    std::string canonical;
    if (!Canonical(text, styles, culture, &canonical))
        return false;
    const double value = strtod_l(canonical.c_str(), nullptr, CLocale());
    if (!std::isfinite(value))
        return false;
    *pResult = value;
    return true;
}

std::string Single::ToString(float value, const std::string& format, const CultureInfo& culture)
{
    return Format(double(value), format, culture, 7);
}

std::string Double::ToString(double value, const std::string& format, const CultureInfo& culture)
{
    return Format(value, format, culture, 15);
}

} // namespace forms
