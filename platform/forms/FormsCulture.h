#pragma once
// Cultures and numbers of the forms stand-in: parsing and formatting of numbers with a culture's
// decimal separator. Known cultures: "en-US" (the default current culture), "" (invariant),
// "de-DE" and "fr-FR" (decimal comma); others read as en-US. Thread-safe.
//
// Parsing honours the styles AllowLeadingWhite, AllowTrailingWhite, AllowLeadingSign,
// AllowDecimalPoint and AllowExponent (Float is all five): no thousands separators, at least one
// digit, and no infinite or NaN result (an overflow fails; an underflow gives 0 or a denormal).
// Formatting: "F" or "Fn" (fixed, n decimals, default 2; a result that rounds to zero has no minus
// sign) and "G" or "Gn" or "" (general: n significant digits, by default 7 for Single and 15 for
// Double; scientific as "1.5E-05" when the exponent is below -5 or not below n). Digits are rounded
// half away from zero on the exact value. Non-finite values give "NaN", "Infinity", "-Infinity".

#include <cstdint>
#include <string>

namespace forms
{

enum class NumberStyles : std::uint32_t
{
    None = 0,
    AllowLeadingWhite = 0x01,
    AllowTrailingWhite = 0x02,
    AllowLeadingSign = 0x04,
    AllowDecimalPoint = 0x20,
    AllowExponent = 0x80,
    Float = 0xA7,
};

class CultureInfo
{
public:
    explicit CultureInfo(const std::string& name);

    const std::string& GetName() const { return m_sName; }
    const std::string& GetDecimalSeparator() const { return m_sDecimalSeparator; }

    static const CultureInfo& CurrentCulture(); // en-US unless a test set another
    static const CultureInfo& InvariantCulture();

private:
    std::string m_sName;
    std::string m_sDecimalSeparator;
};

class Single
{
public:
    static bool TryParse(const std::string& text, NumberStyles styles, const CultureInfo& culture,
                         float* pResult);
    static std::string ToString(float value, const std::string& format, const CultureInfo& culture);
    static std::string ToString(float value) { return ToString(value, "G", CultureInfo::CurrentCulture()); }
};

class Double
{
public:
    static bool TryParse(const std::string& text, NumberStyles styles, const CultureInfo& culture,
                         double* pResult);
    static std::string ToString(double value, const std::string& format, const CultureInfo& culture);
    static std::string ToString(double value) { return ToString(value, "G", CultureInfo::CurrentCulture()); }
};

class Int32
{
public:
    static std::string ToString(std::int64_t value) { return std::to_string(value); }
};

} // namespace forms
