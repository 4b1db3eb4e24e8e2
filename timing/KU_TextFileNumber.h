#pragma once
// Numbers as curve and entity files write them: a text stream's default format in the classic
// locale (printf's "%.6g"), whatever the global locale is, and always something KU_TextFileReader
// reads back. "nan" and "inf" never appear (the reader refuses them, which would end the parse of
// the file and lose every later key on the next load): NaN is written as 0, an infinity as the
// largest finite double of its sign, which reads back as the largest value of the type read, as
// any overflowing number does. Static only; any thread.

#include <cstddef>
#include <string>

class KU_TextFileNumber
{
public:
    KU_TextFileNumber() = delete;

    // Room for the longest text Write produces ("-1.79769e+308").
    static constexpr std::size_t MAX_LENGTH = 32;

    // Writes fValue into buffer (not NUL-terminated) and returns its length.
    static std::size_t Write(double fValue, char (&buffer)[MAX_LENGTH]);
    // The text Write produces.
    static std::string Format(double fValue);
};
