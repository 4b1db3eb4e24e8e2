#include "timing/KU_TextFileNumber.h"

#include <charconv>
#include <cmath>
#include <limits>

std::size_t KU_TextFileNumber::Write(double fValue, char (&buffer)[MAX_LENGTH])
{
    if (std::isnan(fValue))
        fValue = 0.0;
    else if (std::isinf(fValue))
        fValue = fValue > 0.0 ? std::numeric_limits<double>::max() : -std::numeric_limits<double>::max();
    const std::to_chars_result result =
        std::to_chars(buffer, buffer + MAX_LENGTH, fValue, std::chars_format::general, 6);
    return static_cast<std::size_t>(result.ptr - buffer);
}

std::string KU_TextFileNumber::Format(double fValue)
{
    char buffer[MAX_LENGTH];
    return std::string(buffer, Write(fValue, buffer));
}
