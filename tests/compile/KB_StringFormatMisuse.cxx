// Compiled by CheckFormatDiagnosed.cmake, never linked: with KV_MISUSE the format and its
// argument disagree and -Werror=format must stop the compile; without it the file is clean.
#include "framework/core/KB_String.h"

KB_String Describe(double value)
{
#ifdef KV_MISUSE
    return KB_String::Formatted("%s", value);
#else
    return KB_String::Formatted("%f", value);
#endif
}
