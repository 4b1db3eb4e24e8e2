#pragma once
// Reads the key-per-line text of curve and entity files from a buffer it does not own, without
// trusting it: every read stays inside the buffer, words and line values are bounded, and numbers
// are parsed the same in every locale ('.' as the decimal point).
//
// Use: ReadKey, compare with IsKey, read the key's values, then SkipLine (except after a key whose
// value took the rest of its line). A number that cannot be read fails the reader for good:
// ReadKey then answers false, so the parse ends with what was read before.
//
// Does NOT allocate except for the strings it returns, and knows no key. One reader per thread.

#include "framework/core/KB_String.h"

#include <cstdint>

class KU_TextFileReader
{
public:
    // Longest key word the loaders take; the rest of a longer word is the next word.
    static constexpr std::uint32_t MAX_KEY_LENGTH = 511;
    // Longest text a line value keeps (debug names).
    static constexpr std::uint32_t MAX_LINE_LENGTH = 511;

    // Reads [pText, pText + uiSize); pText may be null only with size 0.
    KU_TextFileReader(const char* pText, std::uint64_t uiSize);

    // Skips white space (line ends too) and takes the next word, at most uiMaxLength characters.
    // False at the end of the text or once the reader has failed.
    bool ReadKey(std::uint32_t uiMaxLength = MAX_KEY_LENGTH);
    // Whether the last key read is exactly pKey (case-sensitive).
    bool IsKey(const char* pKey) const;
    KB_String GetKey() const;

    // Formatted number reads: white space (line ends too) is skipped, then an optional sign,
    // digits with an optional '.' and fraction and an optional exponent are taken. Anything else
    // or the end of the text fails the reader; *pValue is then unchanged. A floating-point number
    // out of the type's range reads as a classic-locale stream reads it, without failing: too
    // small as zero (or the denormal it rounds to), too large as the largest finite value, each
    // with the number's sign. An integer out of range fails.
    bool ReadDouble(double* pValue);
    bool ReadFloat(float* pValue);
    bool ReadU32(std::uint32_t* pValue); // digits only (an optional '+'), at most 4294967295

    // The rest of the current line after one optional blank, without its line end (a '\r' before
    // it stays), cut to uiMaxLength characters; the whole line is consumed. Empty at the end of
    // the text.
    KB_String ReadRestOfLine(std::uint32_t uiMaxLength = MAX_LINE_LENGTH);
    // ReadRestOfLine for free-text values (names, paths): one '\r' before the line end is dropped
    // before the cut, so a file saved with CRLF line ends gives the same value.
    KB_String ReadLineValue(std::uint32_t uiMaxLength = MAX_LINE_LENGTH);
    // The next word on the current line only (blanks skipped, the line end not crossed). False,
    // with *pWord emptied, when the line holds no further word or the word is longer than
    // uiMaxLength; the word is consumed either way.
    bool ReadLineWord(KB_String* pWord, std::uint32_t uiMaxLength);
    // The next word as a stream reads a word with a width: white space (line ends too) is
    // skipped, then at most uiMaxLength characters are taken and the rest of a longer word is left
    // as the next word. At the end of the text the reader fails (the value cannot be read), with
    // *pWord emptied.
    bool ReadWord(KB_String* pWord, std::uint32_t uiMaxLength);
    // Consumes everything up to and including the next line end (however long the line is).
    void SkipLine();

    bool IsOk() const { return !m_bFailed; }

private:
    KB_String ReadLine(std::uint32_t uiMaxLength, bool bDropCarriageReturn);
    bool SkipWhiteSpace(); // false when the text (or the reader) has ended
    // Scans a number at the cursor; [*pBegin, *pEnd) is the text for the converter (a leading
    // '+' dropped). False when no number starts here.
    bool ScanNumber(bool bAllowFraction, const char** ppBegin, const char** ppEnd);
    // Scans a number (ScanNumber) and converts all of it into *pValue; false, with the reader
    // failed and *pValue unchanged, when either step does not take it.
    template <typename T>
    bool ReadNumber(bool bAllowFraction, T* pValue);

    const char* m_pCursor = nullptr; // not owned
    const char* m_pEnd = nullptr;    // not owned
    const char* m_pKey = nullptr;    // last key, inside the text; not owned
    std::uint32_t m_uiKeyLength = 0;
    bool m_bFailed = false;
};
