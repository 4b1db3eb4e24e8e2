// Fuzzes the key-per-line text reader: the first two bytes set the longest key and line value,
// the rest is the text. Each key read picks (by its length and first letter) what is read next:
// a double, a float, an unsigned, the rest of the line, a word of the line, or a skipped line.

#include "framework/core/KB_String.h"
#include "timing/KU_TextFileReader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize)
{
    if (uiSize < 2)
        return 0;
    // Up to 520: around both limits of the reader and the loaders.
    const std::uint32_t uiKeyLength = std::min(pData[0] * 2u + 1u, 520u);
    const std::uint32_t uiLineLength = std::min(pData[1] * 2u, 520u);
    // A copy of exactly the text, so reading past its end is caught.
    const std::vector<char> text(pData + 2, pData + uiSize);
    KU_TextFileReader reader(text.empty() ? nullptr : text.data(), text.size());
    std::uint32_t uiSteps = 0;
    while (reader.ReadKey(uiKeyLength) && ++uiSteps < 100000)
    {
        const KB_String key = reader.GetKey();
        if (key.GetLength() > uiKeyLength || key.GetLength() == 0)
            __builtin_trap();
        // A key holding a NUL cannot be named as a C string.
        if (std::strlen(key.GetBuffer()) == key.GetLength() && !reader.IsKey(key.GetBuffer()))
            __builtin_trap();
        switch ((key.GetLength() + static_cast<unsigned char>(key[0])) % 6)
        {
        case 0:
        {
            double fValue = 0.0;
            reader.ReadDouble(&fValue);
            break;
        }
        case 1:
        {
            float fValue = 0.0f;
            reader.ReadFloat(&fValue);
            break;
        }
        case 2:
        {
            std::uint32_t uiValue = 0;
            reader.ReadU32(&uiValue);
            break;
        }
        case 3:
        {
            const KB_String line = reader.ReadRestOfLine(uiLineLength);
            if (line.GetLength() > uiLineLength)
                __builtin_trap();
            continue; // the line is consumed
        }
        case 4:
        {
            KB_String word;
            if (reader.ReadLineWord(&word, uiLineLength) && word.GetLength() > uiLineLength)
                __builtin_trap();
            break;
        }
        default:
            break;
        }
        reader.SkipLine();
    }
    return 0;
}
