#pragma once
// Internal to the HLSL compiler stand-in: line splices taken out of a text before the lexer reads it.

#include <cstddef>

namespace d3dcompiler_internal
{

// Takes the line splices out of the uiBytes bytes at pText, in place, in one pass, and returns the
// bytes left. A splice is a backslash, or its trigraph ??/, followed by a line break (LF, CR LF or
// a lone CR), read as the library's lexer reads them: from the start of the text to 3 bytes before
// its end, each place looked at once with what follows it (a backslash that a splice's removal
// brings before a line break is not a splice), and at the very end a backslash followed by LF or
// CR. onSplice(offset) is called for each splice, in order, with the offset in the result where it
// was, which the lexer needs to count lines.
template <typename SpliceFunction>
std::size_t RemoveLineSplices(unsigned char* pText, std::size_t uiBytes, SpliceFunction onSplice)
{
    std::size_t uiRead = 0;
    std::size_t uiWritten = 0;
    // The lexer looks at a place while 3 bytes of the text remain from it.
    while (uiBytes - uiRead > 2)
    {
        const unsigned char* p = pText + uiRead;
        std::size_t uiBackslash = 0;
        if (p[0] == '\\')
            uiBackslash = 1;
        else if (p[0] == '?' && p[1] == '?' && p[2] == '/')
            uiBackslash = 3;
        std::size_t uiSplice = 0;
        // The byte after a trigraph may lie past the end, where the lexer has its terminating zero.
        const unsigned char cNext = uiRead + uiBackslash < uiBytes ? p[uiBackslash] : 0;
        if (uiBackslash != 0 && cNext == '\n')
            uiSplice = uiBackslash + 1;
        else if (uiBackslash != 0 && cNext == '\r')
            uiSplice = uiRead + uiBackslash + 1 < uiBytes && p[uiBackslash + 1] == '\n' ? uiBackslash + 2
                                                                                        : uiBackslash + 1;
        if (uiSplice == 0)
        {
            pText[uiWritten++] = pText[uiRead++];
            continue;
        }
        uiRead += uiSplice;
        onSplice(uiWritten);
    }
    while (uiRead < uiBytes)
        pText[uiWritten++] = pText[uiRead++];
    // A splice the pass above leaves at the very end.
    if (uiWritten >= 2 && pText[uiWritten - 2] == '\\' &&
        (pText[uiWritten - 1] == '\n' || pText[uiWritten - 1] == '\r'))
    {
        uiWritten -= 2;
        onSplice(uiWritten);
    }
    return uiWritten;
}

} // namespace d3dcompiler_internal
